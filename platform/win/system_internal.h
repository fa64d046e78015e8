// The window system's shared state, seen only by the files of platform/win.
//
// What always holds:
//   1. One System object per process, made on first use; ResetWindowSystem
//      empties it. Windows are owned by the table `windows`, keyed by id;
//      every other reference to a window (tree links, focus, capture,
//      active, queued messages, timers) is a handle, checked when used.
//   2. A window's `children` are its child windows in z order (topmost
//      first); `tops` are the top-level windows in z order.
//   3. Rectangles of a Window: `rect` in its parent's client coordinates
//      (screen for a top-level window); `client` inside `rect`, relative to
//      rect's top-left corner.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi/raster.h"
#include "platform/gdi/region.h"
#include "platform/win/menu.h"
#include "platform/win/message.h"
#include "platform/win/scrollinfo.h"
#include "platform/win/window.h"

namespace win {
class Dc;
}

namespace win::detail {

struct Window {
  uint32_t id = 0;
  std::string className;
  UINT classStyle = 0;
  COLORREF background = CLR_INVALID;
  WNDPROC proc = nullptr;
  DWORD style = 0, exStyle = 0;
  UINT_PTR ctrlId = 0;
  intptr_t userData = 0;
  void* object = nullptr;
  std::vector<uint8_t> extra;
  std::vector<std::pair<std::string, intptr_t>> props;
  std::string text;
  HWND parent, owner;
  std::vector<HWND> children;
  RECT rect, client;
  Region update;  // client coordinates
  bool erase = false, frameDirty = false;
  // While its WM_PAINT runs: what is invalidated meanwhile (client coordinates).
  bool painting = false;
  Region invalidatedWhilePainting;
  bool destroying = false;
  std::shared_ptr<Bitmap> surface;  // top-level windows only
  HMENU menu;  // the menu bar (top-level windows only); destroyed with the window
  SCROLLINFO bars[2];  // SB_HORZ, SB_VERT (scrollinfo.h)

  HWND Handle() const { return HWND(id); }
  bool IsChild() const { return (style & WS_CHILD) != 0; }
};

struct Timer {
  HWND hwnd;
  UINT_PTR id = 0;
  UINT period = 0;
  uint64_t due = 0;
  TIMERPROC proc = nullptr;
};

struct Modal {
  HWND window;
  bool ended = false;
  int result = -1;
};

struct RawInput {
  UINT kind = 0;  // WM_MOUSEMOVE, WM_LBUTTONDOWN, ..., WM_KEYDOWN, WM_KEYUP
  POINT pt;
  WPARAM wParam = 0;  // vk for keys, wheel delta for WM_MOUSEWHEEL
  uint8_t character = 0;
  DWORD time = 0;
};

struct WaitSource {
  int token = 0;
  int fd = -1;
  std::function<void()> ready;
};

struct Hook {
  HHOOK handle;
  HOOKPROC proc = nullptr;
};

struct System {
  uint32_t nextWindowId = 1;
  uint32_t nextHookId = 1;
  std::unordered_map<uint32_t, std::unique_ptr<Window>> windows;
  std::vector<WNDCLASS> classes;
  std::vector<std::string> classNames;
  std::vector<HWND> tops;
  HWND focus, capture, active;
  std::deque<MSG> posted;
  std::deque<RawInput> input;
  bool quit = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  std::vector<Modal> modals;
  std::vector<std::string> loops;
  std::vector<std::string> registered;
  std::vector<WaitSource> sources;
  std::vector<Hook> hooks;  // newest last
  int nextSource = 1;
  int depth = 0;
  MessageFilter filter = nullptr;
  MessageObserver observer = nullptr;
  void* observerContext = nullptr;
  // Input state.
  uint8_t keys[256] = {};
  POINT cursor;
  HWND lastClickWindow;
  UINT lastClickKind = 0;
  DWORD lastClickTime = 0;
  POINT lastClickPt;
  bool lastWasDouble = false;
  HWND leaveTracked;  // asked for WM_MOUSELEAVE
  // Screen.
  int screenWidth = 1024, screenHeight = 768;
  std::shared_ptr<Bitmap> screen;
  Region screenDirty;
};

System& Sys();
// The live window of a handle, or null.
Window* Find(HWND hwnd);
// Find where a call enters the window system: with QMK_STRICT_HANDLES=1 in
// the environment a handle that names no live window (other than null)
// aborts, so a test finds where a stale handle is used. Inside, liveness is
// asked with Find (a proc may destroy a window while it is handled).
Window* Resolve(HWND hwnd);
// Calls a window's proc through the observer, counting the depth.
LRESULT CallProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam, bool posted);
// The window's client area in its top-level window's coordinates, and the
// part of it every ancestor's client area lets show.
RECT ClientInTop(const Window& w);
RECT VisibleClientInTop(const Window& w);
RECT WindowInTop(const Window& w);
Window& TopOf(Window& w);
// Marks part of the screen as changed (screen coordinates).
void ScreenChanged(const RECT& r);
void ScreenChangedForWindow(const Window& top);
// Drops the queue entries, timers and special-window references of a dying window.
void ForgetWindow(HWND hwnd);
// Sends WM_NCCALCSIZE and recomputes the client rectangle.
void RecalcClient(Window& w);
// The message for an input event, routed (input.cpp); false when dropped.
bool RouteInput(const RawInput& in, MSG& out, bool remove);
uint64_t NowMs();
// The next window WM_PAINT goes to (see message.h rule 2), within filter.
HWND NextPaint(HWND filter);

// Pop-ups and the menu bar (popup.cpp, menubar.cpp). ShowPopup tells the
// owner WM_INITMENUPOPUP with the pop-up's position, asks the asker and
// sends the command (flags as TrackPopupMenu); it answers the command taken.
UINT ShowPopup(HMENU menu, UINT flags, POINT screen, HWND owner, UINT position);
// The height the bar takes from the non-client area (0 without one).
int MenuBarHeight(const Window& w);
void PaintMenuBar(const Window& w, Dc& dc);
// The bar item at a point in window coordinates, -1 for none.
int MenuBarItemAt(HWND hwnd, POINT window);
// Opens the bar's item at position: its pop-up below it, or a command item's
// command at once.
void OpenMenuBarItem(HWND hwnd, int position);
// The bar item whose mnemonic is the character, -1 for none.
int MenuBarMnemonic(HWND hwnd, uint8_t character);

}  // namespace win::detail
