// The toolkit's scrollers: see kxscroll.h.
#include "runtime/toolkit/kxscroll.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/framework/window.h"
#include "platform/win/scrollinfo.h"

namespace kxobject {

TKxScroller::TKxScroller(fw::TWindow* window, int xUnit, int yUnit, long xRange, long yRange)
    : fw::TScroller(window, xUnit, yUnit, xRange, yRange) {}

void TKxScroller::SetRange(long xRange, long yRange) {
  XTotalUnits = xRange + XPage + 1;
  YTotalUnits = yRange + YPage + 1;
  fw::TScroller::SetRange(xRange, yRange);
}

void TKxScroller::SetTotalRangeOfUnits(long xTotal, long yTotal) {
  XRange = std::max(0L, xTotal - XPage - 1);
  YRange = std::max(0L, yTotal - YPage - 1);
  fw::TScroller::SetTotalRangeOfUnits(xTotal, yTotal);
}

void TKxScroller::SetPageSize() {
  const win::HWND h = Handle();
  if (!h) return;
  win::RECT r;
  win::GetClientRect(h, &r);
  if (r.right != 0 && XUnit > 0) {
    XPage = std::max(1L, long(r.right + 1) / XUnit - 1);
    XRange = std::max(0L, XTotalUnits - XPage - 1);
  }
  if (r.bottom != 0 && YUnit > 0) {
    YPage = std::max(1L, long(r.bottom + 1) / YUnit - 1);
    YRange = std::max(0L, YTotalUnits - YPage - 1);
  }
}

void TKxScroller::SetSBarRange() {
  if (!Handle()) return;
  if (HasHScrollBar) ShowOnBar(win::SB_HORZ, XTotalUnits, XTotalUnits - XRange + 1);
  if (HasVScrollBar) ShowOnBar(win::SB_VERT, YTotalUnits, YTotalUnits - YRange + 1);
}

void TRectScroller::ScrollTo(long x, long y) {
  const win::HWND h = Handle();
  if (!h) return;
  const long nx = std::clamp(x, 0L, XRange), ny = std::clamp(y, 0L, YRange);
  if (nx == XPos && ny == YPos) return;
  if (!AutoOrg && (std::labs(ny - YPos) >= YPage || std::labs(nx - XPos) >= XPage)) {
    win::InvalidateRect(h, nullptr, true);
  } else {
    const int dx = int16_t(XPos - nx) * XUnit, dy = int16_t(YPos - ny) * YUnit;
    win::ScrollWindowEx(h, dx, dy, &ScrollRect, &ScrollRect, nullptr, nullptr,
                        win::SW_SCROLLCHILDREN | win::SW_INVALIDATE | win::SW_ERASE);
  }
  XPos = nx, YPos = ny;
  if (HasHScrollBar) win::SetScrollPos(h, win::SB_HORZ, int(XPos), true);
  if (HasVScrollBar) win::SetScrollPos(h, win::SB_VERT, int(YPos), true);
  win::UpdateWindow(h);
}

}  // namespace kxobject
