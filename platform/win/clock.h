// The clock the window system's timers and message times run on: the real
// monotonic clock, or a virtual one that only tests move.
//
// What always holds:
//   1. Now() never goes back.
//   2. A VirtualClock moves only by Advance (or by the headless display when
//      every open loop waits for a timer and nothing else can happen); no
//      test ever sleeps.
//   3. Exactly one clock is current (SetClock); the real clock is current
//      until one is set. The caller keeps a clock it sets alive while it is
//      current.
#pragma once

#include <cstdint>

namespace win {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start.
  virtual uint64_t Now() const = 0;
  virtual bool IsVirtual() const { return false; }
  // Moves a virtual clock on to at least `when`; the real clock can not be moved.
  virtual void AdvanceTo(uint64_t) {}
};

class RealClock final : public Clock {
 public:
  uint64_t Now() const override;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint64_t start = 0) : now_(start) {}
  uint64_t Now() const override { return now_; }
  bool IsVirtual() const override { return true; }
  void AdvanceTo(uint64_t when) override {
    if (when > now_) now_ = when;
  }
  void Advance(uint64_t ms) { now_ += ms; }

 private:
  uint64_t now_;
};

// The current clock; SetClock(nullptr) goes back to the real clock.
Clock& CurrentClock();
void SetClock(Clock* clock);

}  // namespace win
