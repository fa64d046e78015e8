// The static name tables of Lumo: the keyword table through which the
// compiler turns a name into its group and code, the four mark functions, and
// the function description table offered to the host's expression editor.
//
// Keyword table: 269 entries {name (at most 14 characters), code, group,
// language (1 German, 2 English or shared)}. Group 0 holds the 58 operator
// words and constructs; groups 200-209 the 211 names of system functions.
// The entries are kept sorted by the engine's collating comparison (case
// folded), no two names compare equal, and lookups are binary searches.
//
// Description table: entries numbered from 1 {group, code, kind (1 function,
// 2 operator, 3 procedure), parameter count, signature, flag, help text}.
// 245 records: one per distinct named function of the catalogue (Message
// has none), one per operator code of group 0, and seven functions that have
// no name in the keyword table (201/31, 201/36, 206/14 and the four mark
// functions of group 220); lookups by (group, code) take the first match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace Zet02 {

inline constexpr size_t kKeywordCount = 269;
inline constexpr size_t kFunctionDescCount = 245;
inline constexpr uint8_t kLanguageGerman = 1;
inline constexpr uint8_t kLanguageEnglish = 2;

struct TKeyword {
  const char* name;
  uint8_t code;
  uint8_t group;
  uint8_t language;
};

struct TFunctionDesc {
  uint8_t group;
  uint8_t code;
  uint8_t kind;
  uint8_t paramCount;
  const char* signature;
  uint8_t flag;
  const char* help;
};

// Entry i (0-based) of the sorted keyword table.
const TKeyword& KeywordAt(size_t i);
// Binary search, case-insensitive; false when the name is no keyword.
bool LookupKeyword(std::string_view name, uint8_t& group, uint8_t& code);
// The name of the first entry (in table order) with that group and code;
// empty when none.
std::string_view KeywordNameOf(uint8_t group, uint8_t code);
int CountKeywordsInGroup(uint8_t group);
// The n-th (1-based) name of the group; false when there is none.
bool GetKeywordInGroup(uint8_t group, int n, ShortStr& name, uint8_t& language);

// GETSTARS 59, ISSTAR 62, PUTSTARS 68, STARNUM 61 (any case).
bool LookupMarkFunction(std::string_view name, uint8_t& code);

int FunctionDescCount();
// 1-based index of the first description of group and code; -1 when none.
int FindFunctionDesc(uint8_t group, uint8_t code);
const TFunctionDesc* FunctionDesc(int index);
ShortStr GetFunctionSignature(int index);
int GetFunctionParamCount(int index);
int GetFunctionDescFlag(int index);
ShortStr GetFunctionHelpText(int index);

}  // namespace Zet02
