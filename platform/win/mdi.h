// Multiple-document windows: the "MDIClient" class that holds a frame's
// document windows (MDI children), the default procs of the frame and of a
// child, and the keys that switch and close children.
//
// What always holds:
//   1. A client is a child of its frame; its children are the documents,
//      each made through WM_MDICREATE (or created directly under the client
//      with a proc that passes on to DefMDIChildProc). Their control ids run
//      from the first id given at creation (0xFF00 by custom) in the order
//      they were made; when one dies the later ones move down by one, so the
//      ids stay dense and match the window menu.
//   2. At most one child is active. Activation sends WM_MDIACTIVATE
//      (wParam the losing child, lParam the winning one) first to the losing
//      child and then to the winning one; activating the active child sends
//      nothing. The active child is on top of its siblings. When the active
//      child dies the next one in z order becomes active.
//   3. At most one child is maximized, and then it is the active one: its
//      client area covers the client's (its caption and frame lie outside,
//      clipped), and the frame's title reads "Frame - [Child]". Activating
//      another child while one is maximized maximizes the new one and
//      restores the old one, so the look stays. A restored child returns to
//      the rectangle it had before.
//   4. The window menu, when the client has one, ends with a separator and
//      one item per child ("&1 Title", ids from the first id), the active
//      child's checked; it is rebuilt whenever a child comes, goes, is
//      renamed or is activated, and moved when WM_MDISETMENU names a new one.
//   5. The frame's own title is the one last set on it; the composed title
//      is only what the window shows (GetWindowText of the frame).
//   6. Nothing here owns a menu: the caller keeps the frame and window
//      menus it hands over.
#pragma once

#include "platform/win/menu.h"
#include "platform/win/message.h"
#include "platform/win/winuser.h"

namespace win {

constexpr const char* kMdiClientClass = "MDIClient";

constexpr UINT WM_CHILDACTIVATE = 0x0022;
constexpr UINT WM_MDICREATE = 0x0220;
constexpr UINT WM_MDIDESTROY = 0x0221;
constexpr UINT WM_MDIACTIVATE = 0x0222;
constexpr UINT WM_MDIRESTORE = 0x0223;
constexpr UINT WM_MDINEXT = 0x0224;
constexpr UINT WM_MDIMAXIMIZE = 0x0225;
constexpr UINT WM_MDITILE = 0x0226;
constexpr UINT WM_MDICASCADE = 0x0227;
constexpr UINT WM_MDIICONARRANGE = 0x0228;
constexpr UINT WM_MDIGETACTIVE = 0x0229;
constexpr UINT WM_MDISETMENU = 0x0230;
constexpr UINT WM_MDIREFRESHMENU = 0x0234;

constexpr DWORD WS_EX_MDICHILD = 0x00000040;

constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_NEXTWINDOW = 0xF040;
constexpr WPARAM SC_PREVWINDOW = 0xF050;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

constexpr WPARAM MDITILE_VERTICAL = 0x0000;
constexpr WPARAM MDITILE_HORIZONTAL = 0x0001;
constexpr WPARAM MDITILE_SKIPDISABLED = 0x0002;

constexpr UINT VK_F4 = 0x73;
constexpr UINT VK_F6 = 0x75;

constexpr UINT kFirstMdiChildId = 0xFF00;

// lpCreateParams of the client's CreateWindowEx.
struct CLIENTCREATESTRUCT {
  HMENU hWindowMenu;
  UINT idFirstChild = kFirstMdiChildId;
};

// lParam of WM_MDICREATE; a child receives it as its lpCreateParams.
// CW_USEDEFAULT for a position or size gives the next cascade place.
struct MDICREATESTRUCT {
  const char* szClass = "";
  const char* szTitle = "";
  int x = 0x80000000, y = 0x80000000, cx = 0x80000000, cy = 0x80000000;
  DWORD style = 0;
  LPARAM lParam = 0;
};

// Registers the client class (done by the first client made through
// CreateMdiClient, or by the caller before CreateWindowEx).
void RegisterMdiClientClass();
// A client filling the frame's client area.
HWND CreateMdiClient(HWND frame, HMENU windowMenu, UINT idFirstChild = kFirstMdiChildId);

// What a frame's proc passes on: window-menu commands, the title, sizing of
// the client, the focus.
LRESULT DefFrameProc(HWND frame, HWND client, UINT msg, WPARAM wParam, LPARAM lParam);
// What a child's proc passes on: system commands, closing, activation by
// the mouse, renaming, destruction.
LRESULT DefMDIChildProc(HWND child, UINT msg, WPARAM wParam, LPARAM lParam);
// Ctrl+F4 closes the active child, Ctrl+F6 (Ctrl+Shift+F6) activates the
// next (previous) one; true when the key was taken.
bool TranslateMDISysAccel(HWND client, const MSG& msg);

// The frame menu last handed over by WM_MDISETMENU (null before).
HMENU GetMdiFrameMenu(HWND client);

}  // namespace win
