// Raw input in, routed messages out, and the key table (see input.h).
#include "platform/win/input.h"

#include <cstdlib>

#include "platform/win/mdi.h"
#include "platform/win/message.h"
#include "platform/win/system_internal.h"

namespace win {

using detail::Find;
using detail::Sys;
using detail::Window;

namespace {

// Whether the target lies in a document window (WS_EX_MDICHILD) below a
// sibling: the active document is always the top one, so a press there
// asks an inactive document to become active.
bool InBackDocument(HWND target) {
  for (HWND h = target; h;) {
    const detail::Window* w = Find(h);
    if (!w || !w->IsChild()) return false;
    if (w->exStyle & WS_EX_MDICHILD) {
      const std::vector<HWND> siblings = GetChildren(w->parent);
      return !siblings.empty() && siblings.front() != h;
    }
    h = w->parent;
  }
  return false;
}

constexpr DWORD kDoubleClickMs = 500;

UINT ButtonMessage(MouseButton button, bool down) {
  switch (button) {
    case MouseButton::kLeft: return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case MouseButton::kRight: return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case MouseButton::kMiddle: return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    case MouseButton::kNone: break;
  }
  return WM_MOUSEMOVE;
}

UINT ButtonKey(UINT msg) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: return VK_LBUTTON;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return VK_RBUTTON;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: return VK_MBUTTON;
  }
  return 0;
}

bool IsButtonDown(UINT msg) { return msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN; }

// A window takes input only while it and every ancestor are enabled and visible.
bool TakesInput(HWND hwnd) {
  for (const Window* w = Find(hwnd); w; w = w->IsChild() ? Find(w->parent) : nullptr)
    if ((w->style & WS_DISABLED) || !(w->style & WS_VISIBLE)) return false;
  return Find(hwnd) != nullptr;
}

WPARAM MouseKeys() {
  const auto& k = Sys().keys;
  WPARAM w = 0;
  if (k[VK_LBUTTON] & 0x80) w |= MK_LBUTTON;
  if (k[VK_RBUTTON] & 0x80) w |= MK_RBUTTON;
  if (k[VK_MBUTTON] & 0x80) w |= MK_MBUTTON;
  if (k[VK_SHIFT] & 0x80) w |= MK_SHIFT;
  if (k[VK_CONTROL] & 0x80) w |= MK_CONTROL;
  return w;
}

void SetKey(UINT vk, bool down) {
  uint8_t& k = Sys().keys[vk & 0xFF];
  if (down) k = uint8_t((k & 0x80) ? k : ((k ^ 1) | 0x80));
  else k = uint8_t(k & 1);
}

void Push(const detail::RawInput& in) { Sys().input.push_back(in); }

bool RouteKey(const detail::RawInput& in, MSG& out, bool remove) {
  auto& s = Sys();
  const HWND target = s.focus ? s.focus : s.active;
  if (!target || !TakesInput(target)) return false;
  out.hwnd = target;
  // With Alt held (and not Ctrl), or for Alt itself, a key is a system key.
  const bool alt = UINT(in.wParam) == VK_MENU || (GetKeyState(VK_MENU) < 0 && GetKeyState(VK_CONTROL) >= 0);
  out.message = alt ? in.kind - WM_KEYDOWN + WM_SYSKEYDOWN : in.kind;
  out.wParam = in.wParam;
  out.lParam = (in.kind == WM_KEYUP ? LPARAM(0xC0000001u) : 1) | (alt ? LPARAM(0x20000000) : 0);
  out.character = in.character;
  if (remove) SetKey(UINT(in.wParam), in.kind == WM_KEYDOWN);
  return true;
}

bool RouteMouse(const detail::RawInput& in, MSG& out, bool remove) {
  auto& s = Sys();
  HWND target = s.capture ? s.capture : WindowFromPoint(in.pt);
  if (remove && s.leaveTracked && s.leaveTracked != target) TrackMouseLeave(HWND());
  if (!target || !TakesInput(target)) return false;
  UINT msg = in.kind;
  POINT pt = in.pt;
  LRESULT hit = HTCLIENT;
  if (!s.capture) hit = SendMessage(target, WM_NCHITTEST, 0, MAKELPARAM(uint16_t(pt.x), uint16_t(pt.y)));
  if (!Find(target)) return false;
  if (remove) {
    if (const UINT key = ButtonKey(msg)) SetKey(key, IsButtonDown(msg));
    if (IsButtonDown(msg)) {
      const HWND top = GetTopLevel(target);
      if (top != s.active || InBackDocument(target)) {
        const LRESULT answer = SendMessage(target, WM_MOUSEACTIVATE, WPARAM(top.id), MAKELPARAM(uint16_t(hit), uint16_t(msg)));
        if (answer != MA_NOACTIVATE && Find(top)) SetActiveWindow(top);
        if (!Find(target)) return false;
      }
      Window* w = Find(target);
      const bool dbl = !s.lastWasDouble && s.lastClickWindow == target && s.lastClickKind == msg &&
                       in.time - s.lastClickTime <= kDoubleClickMs && std::abs(pt.x - s.lastClickPt.x) <= 4 &&
                       std::abs(pt.y - s.lastClickPt.y) <= 4 && (w->classStyle & CS_DBLCLKS);
      s.lastWasDouble = dbl;
      s.lastClickWindow = target, s.lastClickKind = msg, s.lastClickTime = in.time, s.lastClickPt = pt;
      if (dbl) msg += 2;  // *BUTTONDOWN -> *BUTTONDBLCLK
    }
    s.cursor = in.pt;
  }
  out.hwnd = target;
  out.pt = in.pt;
  out.time = in.time;
  if (msg == WM_MOUSEWHEEL) {
    out.message = msg;
    out.wParam = MAKEWPARAM(uint16_t(MouseKeys()), uint16_t(int16_t(in.wParam)));
    out.lParam = MAKELPARAM(uint16_t(pt.x), uint16_t(pt.y));
    return true;
  }
  if (hit != HTCLIENT) {
    out.message = msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    out.wParam = WPARAM(hit);
    out.lParam = MAKELPARAM(uint16_t(pt.x), uint16_t(pt.y));
    return true;
  }
  ScreenToClient(target, &pt);
  out.message = msg;
  out.wParam = MouseKeys();
  out.lParam = MAKELPARAM(uint16_t(pt.x), uint16_t(pt.y));
  return true;
}

}  // namespace

namespace detail {

bool RouteInput(const RawInput& in, MSG& out, bool remove) {
  out = MSG();
  out.time = in.time;
  out.pt = in.pt;
  if (in.kind == WM_KEYDOWN || in.kind == WM_KEYUP) return RouteKey(in, out, remove);
  return RouteMouse(in, out, remove);
}

}  // namespace detail

void InjectMouse(POINT screen, MouseButton button, bool down) {
  detail::RawInput in;
  in.kind = ButtonMessage(button, down);
  in.pt = screen;
  in.time = DWORD(detail::NowMs());
  Push(in);
}

void InjectWheel(POINT screen, int delta) {
  detail::RawInput in;
  in.kind = WM_MOUSEWHEEL;
  in.pt = screen;
  in.wParam = WPARAM(delta);
  in.time = DWORD(detail::NowMs());
  Push(in);
}

void InjectKey(UINT vk, bool down, uint8_t character) {
  detail::RawInput in;
  in.kind = down ? WM_KEYDOWN : WM_KEYUP;
  in.wParam = vk;
  in.character = down ? character : 0;
  in.pt = Sys().cursor;
  in.time = DWORD(detail::NowMs());
  Push(in);
}

bool TrackMouseLeave(HWND hwnd) {
  auto& s = Sys();
  if (hwnd && !detail::Resolve(hwnd)) return false;
  const HWND left = s.leaveTracked;
  s.leaveTracked = hwnd;
  if (left && left != hwnd) PostMessage(left, WM_MOUSELEAVE, 0, 0);
  return true;
}

int16_t GetKeyState(int vk) {
  const uint8_t k = Sys().keys[vk & 0xFF];
  return int16_t(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

POINT GetCursorPos() { return Sys().cursor; }

}  // namespace win
