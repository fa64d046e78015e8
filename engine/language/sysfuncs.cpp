// The SysFuncs unit: installs the handlers of every system-function group
// when the engine starts (the installers are in sysfuncs_*.cpp) and takes
// them out again when it stops, so a restarted engine starts clean.
#include "engine/language/sysfuncs.h"

#include <cstdint>

#include "engine/language/bytecode.h"
#include "engine/language/interp.h"

namespace SysFuncs {

void UnitInit() {
  RegisterTextFunctions();
  RegisterTableFunctions();
  RegisterMiscFunctions();
}

void UnitDone() {
  for (int g = ByteCode::tkSysFuncFirst; g <= ByteCode::tkSysFuncLast; ++g)
    Zet02::SetGroupHandler(uint8_t(g), nullptr);
  Zet02::SetGroupHandler(ByteCode::tkStarFunc, nullptr);
}

}  // namespace SysFuncs
