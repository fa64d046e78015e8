// The progress bar and the process-wide progress channel with its
// call-backs, which long operations of the runtime and the engine call.
//
// What always holds:
//   1. A bar shows Percent (at most 100) as a filled part in its colour and
//      white after it, with "<Percent> %" centred over both. It repaints only
//      when the value changes.
//   2. The channel holds at most one primary and one secondary bar and the
//      cancel flag. A bar registered there is unregistered when it dies, so
//      the channel never points at a dead bar.
//   3. ProgressCallback(done, total) sets the primary bar to the rounded
//      percentage (100 for a total of 0), handles every waiting message
//      (dropping WM_TIMER, so other windows' timers do not run inside a long
//      operation; a timer is re-armed by the drop), giving each first to the
//      pre-translation of the bar's parent, and answers the cancel flag.
//      Without a registered bar it answers -1 and leaves the queue alone.
//      SecondaryProgressCallback does the same for the secondary bar and
//      keeps WM_TIMER. A WM_QUIT met while pumping stops the pumping and is
//      posted again for the loops outside.
//   4. Callers stop an operation only on an answer of 1 (-1 means "no bar").
#pragma once

#include <cstdint>

#include "platform/framework/window.h"

namespace kxprogress {

class TProgressBar : public fw::TWindow {
 public:
  // Binds to the static control resourceId of the parent's window.
  TProgressBar(fw::TWindow* parent, int resourceId, unsigned textLimit, win::COLORREF barColor);
  ~TProgressBar() override;

  void SetPercent(int percent);
  int16_t GetPercent() const { return percent_; }
  win::COLORREF GetBarColor() const { return barColor_; }
  bool Find(fw::TEventInfo& e) override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;

 private:
  win::COLORREF barColor_;
  int16_t percent_ = 0;
};

void SetActiveProgressDlg(TProgressBar* bar);
void SetSecondaryProgressBar(TProgressBar* bar);
void SetProgressCancelled(int8_t flag);

int32_t ProgressCallback(int32_t current, int32_t total);
int32_t SecondaryProgressCallback(int32_t current, int32_t total);
int32_t NullProgressCallback(int32_t current, int32_t total);
// The same silent call-back under the name the data views use.
inline int32_t SilentProgressCallback(int32_t current, int32_t total) { return NullProgressCallback(current, total); }

}  // namespace kxprogress
