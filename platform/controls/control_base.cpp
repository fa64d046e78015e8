// The parts every standard control shares (see control_base.h).
#include "platform/controls/control_base.h"

#include "platform/controls/controls.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace win {

DWORD StyleOf(HWND hwnd) { return DWORD(GetWindowLongPtr(hwnd, GWL_STYLE)); }

RECT ClientRectOf(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  return r;
}

void Notify(HWND hwnd, UINT code, HWND to) {
  SendMessage(to ? to : GetParent(hwnd), WM_COMMAND, MAKEWPARAM(uint16_t(GetDlgCtrlID(hwnd)), uint16_t(code)),
              LPARAM(hwnd.id));
}

std::shared_ptr<const platform::fonts::Font> FontOf(const ControlState& c) {
  return platform::fonts::Font::Create(c.font);
}

bool CommonMessage(HWND hwnd, ControlState& c, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_SETFONT:
      if (wParam) {
        c.font = *reinterpret_cast<const LOGFONT*>(wParam);
        c.hasFont = true;
      }
      if (lParam) InvalidateRect(hwnd, nullptr, true);
      result = 0;
      return true;
    case WM_GETFONT: result = c.hasFont ? reinterpret_cast<LRESULT>(&c.font) : 0; return true;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, true); result = 0; return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      c.focused = msg == WM_SETFOCUS;
      InvalidateRect(hwnd, nullptr, true);
      result = 0;
      return true;
  }
  return false;
}

void Line(Dc& dc, int x0, int y0, int x1, int y1, int color) {
  dc.FillRect({x0, y0, x1, y1}, CreateSolidBrush(GetSysColor(color)));
}

void Edge(Dc& dc, const RECT& r, bool raised) {
  const int outerLight = raised ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW;
  const int outerDark = raised ? COLOR_3DDKSHADOW : COLOR_BTNHIGHLIGHT;
  const int innerLight = raised ? COLOR_BTNFACE : COLOR_3DDKSHADOW;
  const int innerDark = raised ? COLOR_BTNSHADOW : COLOR_BTNFACE;
  Line(dc, r.left, r.top, r.right - 1, r.top + 1, outerLight);
  Line(dc, r.left, r.top, r.left + 1, r.bottom - 1, outerLight);
  Line(dc, r.left, r.bottom - 1, r.right, r.bottom, outerDark);
  Line(dc, r.right - 1, r.top, r.right, r.bottom, outerDark);
  Line(dc, r.left + 1, r.top + 1, r.right - 2, r.top + 2, innerLight);
  Line(dc, r.left + 1, r.top + 1, r.left + 2, r.bottom - 2, innerLight);
  Line(dc, r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1, innerDark);
  Line(dc, r.right - 2, r.top + 1, r.right - 1, r.bottom - 1, innerDark);
}

void Background(HWND hwnd, Dc& dc, UINT ctlColor, int defaultColor) {
  RECT r;
  GetClientRect(hwnd, &r);
  dc.SetTextColor(GetSysColor(IsWindowEnabled(hwnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  dc.SetBkMode(TRANSPARENT);
  const LRESULT answer = SendMessage(GetParent(hwnd), ctlColor, reinterpret_cast<WPARAM>(&dc), LPARAM(hwnd.id));
  if (defaultColor < 0) return;
  if (answer) dc.FillRect(r, *reinterpret_cast<const Brush*>(answer));
  else dc.FillRect(r, CreateSolidBrush(GetSysColor(defaultColor)));
}

}  // namespace win
