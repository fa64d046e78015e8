// The module table behind the ZetMod... exports (zetcore.h): 128 slots of
// parsed modules (lumopars.h), addressed by handle = slot + 1. Handles travel
// as signed bytes on the host's side, so only 1..127 are handed out; slot 127
// stays empty.
//
// What holds:
//   1. A handle is valid when it lies in 1..127 and its slot holds a module;
//      every export resolves it once on entry and answers -41 otherwise.
//   2. A new module takes the lowest empty slot; a module that failed to
//      parse is never stored.
//   3. The table is empty when the engine starts and every module left in it
//      is freed when the engine stops.
//   4. No exception leaves an export: parser errors become -41 (with the
//      compiler error record filled), file and stream failures -14.
#pragma once

#include <cstdint>

#include "engine/language/lumopars.h"

namespace ZetModules {

inline constexpr int32_t kSlots = 128;
inline constexpr int32_t kMaxHandle = 127;

// The module of a handle, or null (invariant 1).
lumopars::TLumoModule* Module(int32_t handle);

void UnitInit();
void UnitDone();

}  // namespace ZetModules
