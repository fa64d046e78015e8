// DefWindowProc: what a window does with a message its own proc passes on
// (see window.h).
#include <algorithm>
#include <cstring>

#include "platform/win/input.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "platform/win/system_internal.h"
#include "platform/win/window.h"

namespace win {

using detail::Find;
using detail::Window;

namespace {

LRESULT HitTest(HWND hwnd, POINT screen) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return HTNOWHERE;
  if (screen.x < r.left || screen.y < r.top || screen.x >= r.right || screen.y >= r.bottom) return HTNOWHERE;
  const Window* w = Find(hwnd);
  const POINT p{screen.x - r.left, screen.y - r.top};
  if (p.x >= w->client.left && p.y >= w->client.top && p.x < w->client.right && p.y < w->client.bottom)
    return HTCLIENT;
  const RECT insets = NonClientInsets(w->style, w->exStyle);
  if ((w->style & WS_CAPTION) == WS_CAPTION && p.y < insets.top && p.y >= insets.left) return HTCAPTION;
  if (detail::MenuBarItemAt(hwnd, p) >= 0) return HTMENU;
  return HTBORDER;
}

}  // namespace

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE: return 1;
    case WM_NCCALCSIZE: {
      auto* r = reinterpret_cast<RECT*>(lParam);
      const RECT in = NonClientInsets(w->style, w->exStyle);
      r->left += in.left, r->top += in.top + detail::MenuBarHeight(*w), r->right -= in.right, r->bottom -= in.bottom;
      return 0;
    }
    case WM_NCHITTEST: return HitTest(hwnd, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_NCPAINT: {
      if (Dc* dc = GetWindowDC(hwnd)) {
        DrawDefaultFrame(hwnd, *dc, GetActiveWindow() == GetTopLevel(hwnd));
        ReleaseDC(hwnd, dc);
      }
      return 0;
    }
    case WM_NCLBUTTONDOWN:
      if (wParam == WPARAM(HTMENU)) {
        RECT r;
        GetWindowRect(hwnd, &r);
        const int item = detail::MenuBarItemAt(hwnd, {GET_X_LPARAM(lParam) - r.left, GET_Y_LPARAM(lParam) - r.top});
        if (item >= 0) detail::OpenMenuBarItem(hwnd, item);
      }
      return 0;
    case WM_SYSCHAR: {
      // Alt and a letter: the bar item of the top-level window with that mnemonic.
      const HWND top = GetTopLevel(hwnd);
      if (const int item = detail::MenuBarMnemonic(top, uint8_t(wParam)); item >= 0) detail::OpenMenuBarItem(top, item);
      return 0;
    }
    case WM_NCACTIVATE:
      RedrawWindow(hwnd, nullptr, RDW_FRAME);
      return 1;
    case WM_ERASEBKGND: {
      if (w->background == CLR_INVALID) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      reinterpret_cast<Dc*>(wParam)->FillRect(r, CreateSolidBrush(w->background));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SETTEXT: {
      const char* text = reinterpret_cast<const char*>(lParam);
      w->text = text ? text : "";
      if ((w->style & WS_CAPTION) == WS_CAPTION) RedrawWindow(hwnd, nullptr, RDW_FRAME);
      return 1;
    }
    case WM_GETTEXT: {
      if (wParam == 0 || !lParam) return 0;
      const size_t n = std::min(w->text.size(), size_t(wParam) - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
      reinterpret_cast<char*>(lParam)[n] = 0;
      return LRESULT(n);
    }
    case WM_GETTEXTLENGTH: return LRESULT(w->text.size());
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_KEYDOWN:
      // F1 asks for help on the window that has the keys.
      if (wParam == VK_F1) {
        HELPINFO info;
        info.iCtrlId = int(w->ctrlId);
        info.hItemHandle = hwnd;
        info.MousePos = GetCursorPos();
        SendMessage(hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
      }
      return 0;
    case WM_HELP:
      // Help goes up to the parent, or to the owner of a top-level window.
      if (const HWND up = GetParent(hwnd)) return SendMessage(up, WM_HELP, wParam, lParam);
      return 0;
    case WM_MOUSEACTIVATE:
      if (w->IsChild()) {
        if (const LRESULT r = SendMessage(w->parent, WM_MOUSEACTIVATE, wParam, lParam)) return r;
      }
      return MA_ACTIVATE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (!focus || GetTopLevel(focus) != hwnd) SetFocus(hwnd);
      }
      return 0;
  }
  return 0;
}

}  // namespace win
