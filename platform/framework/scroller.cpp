// TScroller: see scroller.h.
#include "platform/framework/scroller.h"

#include <algorithm>

#include "platform/framework/window.h"
#include "platform/win/scrollinfo.h"

namespace fw {

TScroller::TScroller(TWindow* window, int xUnit, int yUnit, long xRange, long yRange)
    : Window(window), XRange(std::max(0L, xRange)), YRange(std::max(0L, yRange)), XTotalUnits(xRange),
      YTotalUnits(yRange), XUnit(xUnit), YUnit(yUnit) {}

win::HWND TScroller::Handle() const {
  return Window && win::IsWindow(Window->GetHandle()) ? Window->GetHandle() : win::HWND();
}

void TScroller::SetUnits(int xUnit, int yUnit) {
  XUnit = xUnit, YUnit = yUnit;
  SetPageSize();
}

void TScroller::SetRange(long xRange, long yRange) {
  XRange = std::max(0L, xRange), YRange = std::max(0L, yRange);
  SetSBarRange();
  ScrollTo(XPos, YPos);
}

void TScroller::SetTotalRangeOfUnits(long xTotal, long yTotal) {
  XTotalUnits = xTotal, YTotalUnits = yTotal;
  SetSBarRange();
  ScrollTo(XPos, YPos);
}

void TScroller::SetPageSize() {
  const win::HWND h = Handle();
  if (!h) return;
  win::RECT r;
  win::GetClientRect(h, &r);
  if (r.right > 0 && XUnit > 0) XPage = std::max(1L, long(r.right + 1) / XUnit - 1);
  if (r.bottom > 0 && YUnit > 0) YPage = std::max(1L, long(r.bottom + 1) / YUnit - 1);
}

void TScroller::ShowOnBar(int bar, long max, long page) {
  const win::HWND h = Handle();
  win::SCROLLINFO now;
  now.fMask = win::SIF_RANGE | win::SIF_PAGE;
  win::GetScrollInfo(h, bar, &now);
  const int newMax = int(std::clamp(max, 0L, 32767L));
  const win::UINT newPage = win::UINT(std::max(0L, page));
  if (now.nMin == 0 && now.nMax == newMax && now.nPage == newPage) return;
  win::SCROLLINFO info;
  info.fMask = win::SIF_RANGE | win::SIF_PAGE;
  info.nMin = 0, info.nMax = newMax, info.nPage = newPage;
  win::SetScrollInfo(h, bar, info, true);
}

void TScroller::SetSBarRange() {
  if (!Handle()) return;
  if (HasHScrollBar) ShowOnBar(win::SB_HORZ, XRange, 0);
  if (HasVScrollBar) ShowOnBar(win::SB_VERT, YRange, 0);
}

void TScroller::ScrollTo(long x, long y) {
  const long nx = std::clamp(x, 0L, XRange), ny = std::clamp(y, 0L, YRange);
  if (nx == XPos && ny == YPos) return;
  const win::HWND h = Handle();
  if (h && AutoOrg)
    win::ScrollWindowEx(h, int((XPos - nx) * XUnit), int((YPos - ny) * YUnit), nullptr, nullptr, nullptr, nullptr,
                        win::SW_INVALIDATE | win::SW_ERASE);
  XPos = nx, YPos = ny;
  if (!h) return;
  if (HasHScrollBar) win::SetScrollPos(h, win::SB_HORZ, int(XPos), true);
  if (HasVScrollBar) win::SetScrollPos(h, win::SB_VERT, int(YPos), true);
  win::UpdateWindow(h);
}

long TScroller::Request(win::UINT code, int thumb, long pos, long line, long page, long range) {
  switch (code) {
    case win::SB_LINEUP: return pos - line;
    case win::SB_LINEDOWN: return pos + line;
    case win::SB_PAGEUP: return pos - page;
    case win::SB_PAGEDOWN: return pos + page;
    case win::SB_THUMBPOSITION: return thumb;
    case win::SB_TOP: return 0;
    case win::SB_BOTTOM: return range;
    default: return pos;
  }
}

void TScroller::HScroll(win::UINT code, int thumb) {
  if (code == win::SB_THUMBTRACK && !TrackMode) return;
  const long to = code == win::SB_THUMBTRACK ? thumb : Request(code, thumb, XPos, XLine, XPage, XRange);
  ScrollTo(to, YPos);
}

void TScroller::VScroll(win::UINT code, int thumb) {
  if (code == win::SB_THUMBTRACK && !TrackMode) return;
  const long to = code == win::SB_THUMBTRACK ? thumb : Request(code, thumb, YPos, YLine, YPage, YRange);
  ScrollTo(XPos, to);
}

void TScroller::SizeChanged() {
  SetPageSize();
  SetSBarRange();
  ScrollTo(XPos, YPos);
}

void TScroller::BeginView(win::Dc& dc) const {
  if (AutoOrg) dc.OffsetViewportOrgEx(int(-XPos * XUnit), int(-YPos * YUnit));
}

}  // namespace fw
