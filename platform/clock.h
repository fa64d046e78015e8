// Time for the engine: a 64-bit monotonic millisecond clock, sleeping, and the
// local date and time. Tests can replace the clocks.
#pragma once

#include <cstdint>

namespace platform {

uint64_t TickCountMs();
void SleepMs(uint32_t ms);

struct LocalDateTime {
  int year = 0, month = 0, day = 0;  // month 1..12
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int weekday = 0;  // 0 = Sunday
};
LocalDateTime LocalNow();

// Test hooks: replace the monotonic clock or the local time (nullptr restores).
using TickSource = uint64_t (*)();
using LocalTimeSource = LocalDateTime (*)();
void SetTickSource(TickSource source);
void SetLocalTimeSource(LocalTimeSource source);

}  // namespace platform
