#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

namespace {

constexpr uint64_t kMsPerSecond = 1000;
constexpr long kNsPerMs = 1000000;

uint64_t SystemTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * kMsPerSecond + uint64_t(now.tv_nsec / kNsPerMs);
}

LocalDateTime SystemLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  LocalDateTime result;
  result.year = parts.tm_year + 1900;
  result.month = parts.tm_mon + 1;
  result.day = parts.tm_mday;
  result.hour = parts.tm_hour;
  result.minute = parts.tm_min;
  result.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;  // no leap second downstream
  result.millisecond = int(now.tv_nsec / kNsPerMs);
  result.weekday = parts.tm_wday;
  return result;
}

TickSource tickSource = SystemTicks;
LocalTimeSource localTimeSource = SystemLocalTime;

}  // namespace

uint64_t TickCountMs() { return tickSource(); }

void SleepMs(uint32_t ms) {
  timespec wait{time_t(ms / kMsPerSecond), long(ms % kMsPerSecond) * kNsPerMs};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

LocalDateTime LocalNow() { return localTimeSource(); }

void SetTickSource(TickSource source) { tickSource = source ? source : SystemTicks; }

void SetLocalTimeSource(LocalTimeSource source) {
  localTimeSource = source ? source : SystemLocalTime;
}

}  // namespace platform
