// System functions of dates, texts, numbers, two texts and print attributes.
#include "engine/language/sysfuncs.h"

namespace SysFuncs {

void RegisterTextFunctions() {}

}  // namespace SysFuncs
