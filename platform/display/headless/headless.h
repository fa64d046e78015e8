// The headless display: a virtual screen in memory, no events of its own.
//
// What always holds:
//   1. The screen is what the window system composes; nothing is shown.
//   2. A blocking wait first runs the script's next step (a test's scripted
//      answers and input), then falls back to the default wait (wait
//      sources, the virtual clock's next timer). When neither can make
//      progress, the wait answers false and the window system throws
//      UiDeadlock: a headless run never hangs.
//   3. Install() makes it the current backend and sets the screen size;
//      the destructor removes it again when it is still current.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/win/backend.h"

namespace display {

class HeadlessBackend final : public win::Backend {
 public:
  explicit HeadlessBackend(int width = 1024, int height = 768) : width_(width), height_(height) {}
  ~HeadlessBackend() override;
  void Install();

  int ScreenWidth() const override { return width_; }
  int ScreenHeight() const override { return height_; }
  void Present(const win::Bitmap&, const win::RECT& dirty) override;
  bool Wait(int64_t timeoutMs) override;
  void Beep() override { ++beeps_; }

  // A step answers true when it did something (answered, typed, clicked).
  using Script = std::function<bool()>;
  void SetScript(Script script) { script_ = std::move(script); }

  int Presents() const { return presents_; }
  int Beeps() const { return beeps_; }

 private:
  int width_, height_;
  Script script_;
  int presents_ = 0;
  int beeps_ = 0;
};

// A copy of the whole screen, brought up to date (win::WritePng saves it).
std::shared_ptr<win::Bitmap> SnapshotScreen();

}  // namespace display
