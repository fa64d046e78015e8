// Windows: classes, the window tree, placement, styles, text, enabling and
// the three special windows (focus, capture, active).
//
// What always holds:
//   1. A window lives from CreateWindowEx until DestroyWindow (or the
//      destruction of its parent or owner); afterwards its handle names
//      nothing and every call given it does nothing and answers 0/false.
//      With QMK_STRICT_HANDLES=1 in the environment such a call aborts, so
//      tests find stale handles where they are used.
//   2. The tree: a child (WS_CHILD) has a parent and lies in its client
//      area; a top-level window may have an owner, which it stays above and
//      dies with. Siblings are kept in z order, topmost first.
//   3. Rectangles: GetWindowRect answers screen coordinates, GetClientRect
//      (0, 0, width, height) of the client area; a child's position is given
//      in its parent's client coordinates. The non-client insets come from
//      WM_NCCALCSIZE (the default: border, frame and caption by style).
//   4. Destruction sends WM_DESTROY to the window before its children and
//      WM_NCDESTROY to the children before the window; owned windows die
//      first. A window being destroyed takes the focus, capture and
//      activation with it.
//   5. Class names compare without regard to case; a class is looked up when
//      a window is made and the window keeps a copy of what it needs.
//   6. A write to WIN.INI is sent to every top-level window as
//      WM_WININICHANGE (lParam: the section name).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/winuser.h"

namespace win {

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbWndExtra = 0;
  COLORREF background = CLR_INVALID;  // erase colour; CLR_INVALID: no erasing
  const char* lpszClassName = "";
};

// Answers false when the name is taken or the record lacks a proc or name.
bool RegisterClass(const WNDCLASS& wc);
bool UnregisterClass(std::string_view name);
bool GetClassInfo(std::string_view name, WNDCLASS* wc);
// Lower case of a cp1252 letter (A-Z and the accented capitals), the fold
// under which class names, property names and control mnemonics compare.
uint8_t FoldChar(uint8_t c);
std::string GetClassName(HWND hwnd);

constexpr int CW_USEDEFAULT = int(0x80000000);

// parent: the parent of a child, the owner of a top-level window. For a child,
// id is its identifier. Answers null when the class is unknown, a child has
// no valid parent, or WM_NCCREATE answers 0 / WM_CREATE answers -1.
HWND CreateWindowEx(DWORD exStyle, std::string_view className, std::string_view title, DWORD style, int x,
                    int y, int width, int height, HWND parent, UINT_PTR id, void* param = nullptr);
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);

// The default handling of every message the core gives a meaning to.
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls proc as SendMessage would call a window's proc (depth counted).
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Called with every new window before its first message (WM_NCCREATE); the
// framework binds its objects to their windows here.
using CreateHook = void (*)(HWND hwnd);
void SetCreateHook(CreateHook hook);

// --- the tree ---
HWND GetParent(HWND hwnd);   // the parent of a child, else the owner
HWND GetOwner(HWND hwnd);    // top-level windows only
HWND GetTopLevel(HWND hwnd); // the window itself when it is top-level
bool IsChild(HWND parent, HWND hwnd);  // any depth
// Children in z order, topmost first; the top-level windows for null.
std::vector<HWND> GetChildren(HWND parent);
HWND GetDlgItem(HWND parent, int id);
int GetDlgCtrlID(HWND hwnd);
HWND WindowFromPoint(POINT screen);  // the deepest visible window there
// Calls proc with every descendant of parent, each before its own children,
// siblings in z order, topmost first; stops when proc answers false. The
// list is taken before the first call, so proc may move or destroy windows
// (a destroyed one is skipped). Answers whether the walk ran to its end.
using WNDENUMPROC = bool (*)(HWND hwnd, LPARAM param);
bool EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param);

// --- data ---
intptr_t GetWindowLongPtr(HWND hwnd, int index);
// Answers the previous value; for GWLP_WNDPROC the proc this one replaces.
intptr_t SetWindowLongPtr(HWND hwnd, int index, intptr_t value);
// The framework's slot: the object a window belongs to.
void* GetWindowObject(HWND hwnd);
void SetWindowObject(HWND hwnd, void* object);
bool SetProp(HWND hwnd, std::string_view name, intptr_t value);
intptr_t GetProp(HWND hwnd, std::string_view name);
intptr_t RemoveProp(HWND hwnd, std::string_view name);

bool SetWindowText(HWND hwnd, std::string_view text);
int GetWindowText(HWND hwnd, char* buffer, int size);
std::string GetWindowText(HWND hwnd);
int GetWindowTextLength(HWND hwnd);

// --- placement ---
bool GetWindowRect(HWND hwnd, RECT* rect);
bool GetClientRect(HWND hwnd, RECT* rect);
// The client area's origin on the screen.
POINT ClientOrigin(HWND hwnd);
bool ClientToScreen(HWND hwnd, POINT* p);
bool ScreenToClient(HWND hwnd, POINT* p);
// Converts points from the client coordinates of `from` to those of `to`
// (null: the screen); answers the offset packed as MAKELONG(dx, dy).
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
// x, y in the parent's client coordinates (screen for top-level windows).
bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint = true);
bool SetWindowPos(HWND hwnd, HWND after, int x, int y, int width, int height, UINT flags);
bool BringWindowToTop(HWND hwnd);
bool ShowWindow(HWND hwnd, int command);
bool IsWindowVisible(HWND hwnd);  // this one and every ancestor visible

// --- enabling and the special windows ---
// Answers whether the window was disabled before.
bool EnableWindow(HWND hwnd, bool enable);
bool IsWindowEnabled(HWND hwnd);
HWND SetFocus(HWND hwnd);  // answers the former focus
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
bool SetForegroundWindow(HWND hwnd);
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();
HWND GetCapture();

// --- metrics and colours of the display ---
int GetSystemMetrics(int index);
COLORREF GetSysColor(int index);
// The virtual screen's size; the display backend sets it.
void SetScreenSize(int width, int height);

// The non-client insets a style implies (what the default WM_NCCALCSIZE takes off).
RECT NonClientInsets(DWORD style, DWORD exStyle);

}  // namespace win
