// The parts every standard control shares (see control_base.h).
#include "platform/controls/control_base.h"

#include "platform/controls/controls.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace win {

DWORD StyleOf(HWND hwnd) { return DWORD(GetWindowLongPtr(hwnd, GWL_STYLE)); }

void Notify(HWND hwnd, UINT code) {
  SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(uint16_t(GetDlgCtrlID(hwnd)), uint16_t(code)),
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
