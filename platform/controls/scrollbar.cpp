// The scroll bar control (see scrollbar.h).
#include "platform/controls/scrollbar.h"

#include "platform/controls/control_base.h"
#include "platform/gdi/dc.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace win {

namespace {

bool Vertical(HWND hwnd) { return (StyleOf(hwnd) & SBS_VERT) != 0; }

// One arrow box: face, raised edge, and a triangle pointing along the bar.
void PaintArrow(Dc& dc, const RECT& box, bool vertical, bool forward, bool enabled) {
  dc.FillRect(box, SolidBrush(GetSysColor(COLOR_BTNFACE)));
  Edge(dc, box, true);
  const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
  const int s = 3, d = forward ? 1 : -1;
  POINT tip, a, b;
  if (vertical) {
    tip = {cx, cy + d * s / 2 + d}, a = {cx - s, cy - d * s / 2}, b = {cx + s, cy - d * s / 2};
  } else {
    tip = {cx + d * s / 2 + d, cy}, a = {cx - d * s / 2, cy - s}, b = {cx - d * s / 2, cy + s};
  }
  const COLORREF ink = GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
  const Pen oldPen = dc.SelectPen(Pen{PS_SOLID, 1, ink});
  const Brush oldBrush = dc.SelectBrush(SolidBrush(ink));
  const POINT points[] = {tip, a, b};
  dc.Polygon(points);
  dc.SelectBrush(oldBrush);
  dc.SelectPen(oldPen);
}

LRESULT ScrollBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_LBUTTONDOWN: {
      const RECT r = ClientRectOf(hwnd);
      const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const bool vertical = Vertical(hwnd);
      const bool second = vertical ? p.y >= r.bottom / 2 : p.x >= r.right / 2;
      const UINT scroll = vertical ? WM_VSCROLL : WM_HSCROLL;
      const LPARAM self = LPARAM(hwnd.id);
      SendMessage(GetParent(hwnd), scroll, MAKEWPARAM(second ? SB_LINEDOWN : SB_LINEUP, 0), self);
      if (IsWindow(hwnd)) SendMessage(GetParent(hwnd), scroll, MAKEWPARAM(SB_ENDSCROLL, 0), self);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (Dc* dc = BeginPaint(hwnd, &ps)) {
        const RECT r = ClientRectOf(hwnd);
        const bool vertical = Vertical(hwnd), enabled = IsWindowEnabled(hwnd);
        RECT first = r, second = r;
        if (vertical) first.bottom = second.top = r.bottom / 2;
        else first.right = second.left = r.right / 2;
        PaintArrow(*dc, first, vertical, false, enabled);
        PaintArrow(*dc, second, vertical, true, enabled);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterScrollBarClass() {
  if (GetClassInfo(kScrollBarClass, nullptr)) return;
  WNDCLASS wc;
  wc.lpfnWndProc = ScrollBarProc;
  wc.lpszClassName = kScrollBarClass;
  RegisterClass(wc);
}

}  // namespace win
