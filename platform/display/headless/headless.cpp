// The headless display (see headless.h).
#include "platform/display/headless/headless.h"

#include "platform/win/paint.h"

namespace display {

HeadlessBackend::~HeadlessBackend() {
  if (win::CurrentBackend() == this) win::SetBackend(nullptr);
}

void HeadlessBackend::Install() { win::SetBackend(this); }

void HeadlessBackend::Present(const win::Bitmap&, const win::RECT&) { ++presents_; }

bool HeadlessBackend::Wait(int64_t timeoutMs) {
  if (script_ && script_()) return true;
  return win::WaitDefault(timeoutMs);
}

std::shared_ptr<win::Bitmap> SnapshotScreen() { return std::make_shared<win::Bitmap>(win::ComposeScreen()); }

}  // namespace display
