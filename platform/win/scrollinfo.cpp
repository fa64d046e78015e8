// Scroll information on windows: see scrollinfo.h.
#include "platform/win/scrollinfo.h"

#include <algorithm>

#include "platform/win/paint.h"
#include "platform/win/system_internal.h"

namespace win {
namespace {

SCROLLINFO* Bar(HWND hwnd, int bar) {
  detail::Window* w = detail::Resolve(hwnd);
  if (!w || (bar != SB_HORZ && bar != SB_VERT)) return nullptr;
  return &w->bars[bar];
}

// Rule 2: page within the range's length, position within what the page leaves.
void Clamp(SCROLLINFO& s) {
  const int64_t length = int64_t(s.nMax) - s.nMin + 1;
  if (int64_t(s.nPage) > std::max<int64_t>(length, 0)) s.nPage = UINT(std::max<int64_t>(length, 0));
  const int64_t last = std::max<int64_t>(s.nMin, int64_t(s.nMax) - int64_t(s.nPage ? s.nPage : 1) + 1);
  s.nPos = int(std::clamp<int64_t>(s.nPos, s.nMin, last));
}

}  // namespace

bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
  const SCROLLINFO* s = Bar(hwnd, bar);
  if (!s || !info) return false;
  if (info->fMask & SIF_RANGE) info->nMin = s->nMin, info->nMax = s->nMax;
  if (info->fMask & SIF_PAGE) info->nPage = s->nPage;
  if (info->fMask & SIF_POS) info->nPos = s->nPos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = s->nPos;
  return true;
}

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& info, bool redraw) {
  SCROLLINFO* s = Bar(hwnd, bar);
  if (!s) return 0;
  if (info.fMask & SIF_RANGE) s->nMin = info.nMin, s->nMax = std::max(info.nMin, info.nMax);
  if (info.fMask & SIF_PAGE) s->nPage = info.nPage;
  if (info.fMask & SIF_POS) s->nPos = info.nPos;
  Clamp(*s);
  if (redraw) RedrawWindow(hwnd, nullptr, RDW_FRAME);
  return s->nPos;
}

int GetScrollPos(HWND hwnd, int bar) {
  const SCROLLINFO* s = Bar(hwnd, bar);
  return s ? s->nPos : 0;
}

int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw) {
  const int old = GetScrollPos(hwnd, bar);
  SCROLLINFO info;
  info.fMask = SIF_POS;
  info.nPos = pos;
  SetScrollInfo(hwnd, bar, info, redraw);
  return old;
}

}  // namespace win
