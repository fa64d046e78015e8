// System functions of tables, records, marks, fields and the table context.
#include "engine/language/sysfuncs.h"

namespace SysFuncs {

void RegisterTableFunctions() {}

}  // namespace SysFuncs
