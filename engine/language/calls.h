// Calls from Lumo code to functions whose bodies lie outside the
// interpreter: host commands (group 230), outside-library functions (231),
// the engine's extension functions (232) and members of host objects (233
// with a value, 235 without).
//
// A call reads its arguments from the code by a parameter signature (result
// letter, then a mode and a type letter per parameter: "V" for VAR, a blank
// for a value; types I, R, S, O), lays them on the value stack TStack with
// the result slot first and the current object handle second, hands the
// stack's argument descriptors to the callee, then writes the VAR arguments
// back into their variables and takes the result off the stack.
//
// What holds:
//   1. The stack is balanced on return: every slot pushed is popped, or the
//      stack is cut back to where the call found it when an argument fails.
//   2. The callee is called only with the apply flag. Without it the
//      arguments are read and typed, VAR variables get back the values that
//      were pushed, and the result keeps its initial value.
//   3. A negative answer -k of a host is run error k. Extension answers
//      other than 0 and -1 (the soft stop) become positive run errors, so a
//      failure never passes as success.
//
// The eight extension functions of the engine:
//   1 CLOSEFINDFILE "X"                  5 GETODBCERROR "R RVRVRVS"
//   2 FINDFIRSTFILE "R S SVSVRVRVRVSVS"  6 ASSIGNED "R O"
//   3 FINDNEXTFILE "RVSVRVRVRVSVS"       7 SETNUMBERFORMATS "X R R R"
//   4 IMPORTODBC "R R S S S S"           8 CHECKMEMOS "R R"
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"
#include "zetcore.h"

namespace Zet02 {

inline constexpr uint8_t kGroupHostMember = 233;
inline constexpr uint8_t kGroupHostMemberProc = 235;
// Run error for an extension number the engine does not have.
inline constexpr uint16_t kErrUnknownExtension = 45;

// Reads the call at the run's position (behind the group byte) and runs it.
void ExecuteSystemFuntion(uint8_t group, TRunValue& result);

// Outside-library functions of the loaded program: their description and
// their call. Until a library layer installs itself, no function exists
// and every call answers -2 (not found).
struct TOutsideFunctions {
  bool (*describe)(uint16_t number, ShortStr& name, ShortStr& signature, uint16_t& required);
  // 0 good, -1 the call failed, -2 library or entry point not found.
  int (*call)(uint16_t number, ZetArgDescriptor* args, size_t count);
};
void SetOutsideFunctions(const TOutsideFunctions& functions);

// The extension functions.
struct TExtension {
  const char* name;
  const char* signature;
  uint16_t required;
};
inline constexpr uint16_t kExtensionCount = 8;
const TExtension* Extension(uint16_t number);
// Case-insensitive lookup by name; number 1..8.
bool FindExtension(std::string_view name, uint16_t& number);
// Runs extension number with its arguments laid on the value stack by its
// signature; answers 0, -1 or a run error.
int RunExtension(uint16_t number);
// The ODBC import behind IMPORTODBC: (table, source, four texts) answers
// the import's result (negative for a failure). Default: no driver, -1.
using TOdbcImportProc = int (*)(int table, const std::vector<ShortStr>& texts);
void SetOdbcImport(TOdbcImportProc proc);

void CallsInit();
void CallsDone();

}  // namespace Zet02
