// The progress bar and the progress channel (see kxprogress.h).
#include "runtime/toolkit/kxprogress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kxprogress {

namespace {

struct Channel {
  TProgressBar* primary = nullptr;
  TProgressBar* secondary = nullptr;
  int8_t cancelled = 0;
};
Channel channel;

// Rule 3 for one bar.
int32_t Advance(TProgressBar* bar, int32_t current, int32_t total, bool dropTimers) {
  if (!bar) return -1;
  const double percent = total == 0 ? 100.0 : std::floor(double(current) * 100.0 / double(total) + 0.5);
  bar->SetPercent(int(std::clamp(percent, -32768.0, 32767.0)));
  fw::TWindow* parent = bar->GetParent();
  win::MSG msg;
  while (win::PeekMessage(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    if (msg.message == win::WM_QUIT) {
      win::PostQuitMessage(int(msg.wParam));
      break;
    }
    if (dropTimers && msg.message == win::WM_TIMER) continue;
    if (parent && parent->PreProcessMsg(msg)) continue;
    win::TranslateMessage(&msg);
    win::DispatchMessage(&msg);
  }
  return channel.cancelled;
}

}  // namespace

TProgressBar::TProgressBar(fw::TWindow* parent, int resourceId, unsigned, win::COLORREF barColor)
    : TWindow(parent, resourceId), barColor_(barColor) {}

TProgressBar::~TProgressBar() {
  if (channel.primary == this) channel.primary = nullptr;
  if (channel.secondary == this) channel.secondary = nullptr;
}

bool TProgressBar::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_PAINT, &TProgressBar::EvPaint>()};
  return table.Search(e) || TWindow::Find(e);
}

void TProgressBar::SetPercent(int percent) {
  const int16_t value = int16_t(std::min(percent, 100));
  if (value == percent_) return;
  percent_ = value;
  if (!GetHandle()) return;
  Invalidate(true);
  UpdateWindow();
}

void TProgressBar::Paint(win::Dc& dc, bool, win::RECT&) {
  win::RECT r;
  win::GetClientRect(GetHandle(), &r);
  const int x = std::clamp(int(int64_t(percent_) * r.right / 100), r.left, r.right);
  dc.FillRect({r.left, r.top, x, r.bottom}, win::CreateSolidBrush(barColor_));
  dc.FillRect({x, r.top, r.right, r.bottom}, win::CreateSolidBrush(win::RGB(255, 255, 255)));
  char text[16];
  std::snprintf(text, sizeof text, "%d %%", int(percent_));
  dc.SetBkMode(win::TRANSPARENT);
  dc.DrawText(text, &r, win::DT_CENTER | win::DT_VCENTER | win::DT_SINGLELINE);
}

void SetActiveProgressDlg(TProgressBar* bar) { channel.primary = bar; }
void SetSecondaryProgressBar(TProgressBar* bar) { channel.secondary = bar; }
void SetProgressCancelled(int8_t flag) { channel.cancelled = flag; }

int32_t ProgressCallback(int32_t current, int32_t total) { return Advance(channel.primary, current, total, true); }

int32_t SecondaryProgressCallback(int32_t current, int32_t total) {
  return Advance(channel.secondary, current, total, false);
}

int32_t NullProgressCallback(int32_t, int32_t) { return 0; }

}  // namespace kxprogress
