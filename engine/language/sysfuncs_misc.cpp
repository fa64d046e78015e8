// System functions of text files, serial ports and the miscellaneous group.
#include "engine/language/sysfuncs.h"

namespace SysFuncs {

void RegisterMiscFunctions() {}

}  // namespace SysFuncs
