// The display backend: what the window system needs of a screen. One backend
// is installed at a time; the headless one (platform/display/headless) runs
// tests, the X11 one shows the same pixels on a real display. Nothing above
// platform/display knows which one runs.
//
// What always holds:
//   1. The window system calls Present with the composed screen and the
//      rectangle that changed, before every blocking wait.
//   2. Wait blocks until input or a wait source is ready or timeoutMs passed
//      (-1: no limit) and feeds what arrived in through input.h. It answers
//      false when it can promise no work at all: nothing can arrive and no
//      timer is set (the window system then throws UiDeadlock).
#pragma once

#include <cstdint>

#include "platform/gdi/raster.h"

namespace win {

class Backend {
 public:
  virtual ~Backend() = default;
  virtual int ScreenWidth() const = 0;
  virtual int ScreenHeight() const = 0;
  virtual void Present(const Bitmap& screen, const RECT& dirty) = 0;
  virtual bool Wait(int64_t timeoutMs) = 0;
  virtual void Beep() {}
};

// The installed backend (null: none, the window system works alone and a
// blocking wait with nothing to do throws UiDeadlock).
Backend* CurrentBackend();
void SetBackend(Backend* backend);

void MessageBeep(UINT type);

}  // namespace win

namespace win {

// The wait every backend starts from: runs the wait sources that are ready
// (blocking up to timeoutMs when nothing else can happen), moves a virtual
// clock on to the next timer, or sleeps a real one until it. Answers false
// when nothing can ever arrive.
bool WaitDefault(int64_t timeoutMs);

}  // namespace win
