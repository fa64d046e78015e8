// Index descriptions: compiling them into key descriptions, and making user
// indexes from them.
//
// A description is either a list of parts,
//     part  = ["-" | "+"] field [":" length]
//     field = name | "$" user-field-number | table "." name
// separated by "," (at most 9 parts; "-" sorts descending), or an
// expression in parentheses with an optional length: "(" expression ")"
// [":" length]. A name that is no field of the table but a variable of the
// language makes a part that takes the variable's value. For S fields the
// length counts characters (the part then holds one byte more), capped at
// the field's size; other fields always take their whole width.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/storage/zet00_index.h"

namespace MakeIV {

// Longest description text; a longer one is refused, never cut.
inline constexpr size_t kMaxDescription = 255;
// Parts of a field list (the tenth is refused).
inline constexpr size_t kMaxDescriptionParts = 9;
// Lengths of expression and variable parts.
inline constexpr uint16_t kNumberPartLength = 8;
inline constexpr uint16_t kNumberPartLengthV1 = 6;
inline constexpr uint16_t kTextExpressionLength = 256;
inline constexpr uint16_t kTextVariableLength = 255;

inline constexpr uint16_t kErrNotAField = 14;       // "Kein Datenfeld"
inline constexpr uint16_t kErrIndexExists = 22;     // "Indexdatei existiert bereits"
inline constexpr uint16_t kErrSyntax = 25;          // "Syntax-Fehler"
inline constexpr uint16_t kErrIncomplete = 41;      // "Ausdruck nicht vollständig"
inline constexpr uint16_t kErrTypeNotInKey = 44;    // "Typen stimmen nicht überein: %s"
inline constexpr uint16_t kErrTooComplex = 60;      // "Ausdruck zu komplex"
inline constexpr uint16_t kErrOtherTable = 87;      // "Illegaler Zugriff"

// Checks an expression for the table and gives its result type (S or F).
// Answers 0 or the compiler's error (43 counts as success). Until the
// language installs its compiler, every expression is refused with 25.
using TCheckExpressionProc = int (*)(int handle, std::string_view expression, uint8_t& resultType);
extern TCheckExpressionProc CheckExpressionHook;
// Finds a language variable by name: its number and type (S or F).
using TFindVariableProc = bool (*)(std::string_view name, uint16_t& number, uint8_t& type);
extern TFindVariableProc FindVariableHook;

// Compiles a description against the table into a 50-byte key description.
// Answers 0 or the error, which is reported with the table's file name
// unless report is false: 41 empty or incomplete, 14 not a field of the
// table, 87 a field of another table, 44 a field type no key holds (R, M,
// P), 60 a tenth part, an expression of more than 39 characters or a text of
// more than 255, 11 a key of more than 256 bytes, or the compiler's error.
int CompileIndexDescription(int handle, std::string_view text, uint8_t* description, bool report = true);

// Makes a user index "<name>.IND" (name cut to 40 characters, 8 in
// version-1 tables) in the table's directory from a description, builds it
// and rewrites the index directory. Nothing happens (0) without apply or
// when the table may not maintain its indexes (open mode bit 3). Answers
// the new slot, or 0 with the error reported: 22 the file exists, the
// description's error, 67 no free slot, the build's error.
int CreateUserIndex(bool apply, int handle, std::string_view description, std::string_view indexName,
                    bool idIndex, Zet00::TProgressProc progress);

void UnitInit();
void UnitDone();

}  // namespace MakeIV
