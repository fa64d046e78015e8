// Entry and exit of libzetcore.so: the units start when the library is loaded
// and stop when it is unloaded.
#include "engine/units.h"

namespace {
__attribute__((constructor)) void ZetcoreLoad() { Units::StartEngine(); }
__attribute__((destructor)) void ZetcoreUnload() { Units::StopEngine(); }
}  // namespace
