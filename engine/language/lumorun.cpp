// The unit that starts the interpreter: it resets the run state, the
// selection evaluator and the call layer, and installs the interpreter into
// the compiler (compile-time runs of Choice, NLoop and brace definitions,
// the extension-function names) and into table storage (expression keys,
// expression checks and variable key parts of index descriptions, the
// compile errors of table lists).
#include <string_view>

#include "engine/language/calls.h"
#include "engine/language/compiler.h"
#include "engine/language/formulas.h"
#include "engine/language/interp.h"
#include "engine/language/selection.h"

namespace LumoRun {

namespace {

int ExecuteForCompiler(std::string_view code, int mode, Zet02::TRunValue& value) {
  size_t position = 0;
  int dependency = 0;
  return Zet02::ExecuteCode(code, position, mode, value, dependency);
}

bool FindExtensionForCompiler(std::string_view name, uint16_t& index) { return Zet02::FindExtension(name, index); }

}  // namespace

void UnitInit() {
  Zet02::InterpreterInit();
  Zet02::SelectionInit();
  Zet02::CallsInit();
  Zet02::TCompilerHooks hooks{};
  hooks.execute = ExecuteForCompiler;
  hooks.findExtension = FindExtensionForCompiler;
  Zet02::SetCompilerHooks(hooks);
  Formeln::InstallStorageHooks();
}

void UnitDone() {
  Formeln::RemoveStorageHooks();
  Zet02::ResetCompilerHooks();
  Zet02::CallsDone();
  Zet02::SelectionDone();
  Zet02::InterpreterDone();
}

}  // namespace LumoRun
