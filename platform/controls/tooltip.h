// The tool-tip control: a small pop-up that names the tool under the mouse.
// Its owner registers tools (a window, or a rectangle of a window) and relays
// the mouse messages of those windows to it; the tip shows after the mouse
// rested on one tool for the initial delay.
//
// What always holds:
//   1. The control sees the mouse only through TTM_RELAYEVENT (lParam: a
//      MSG, read during the call and never kept); it does not watch the
//      tools' windows itself. It keeps the last kRelayRecord messages it was
//      given (RelayedMessages), so a program can see what reached it.
//   2. A relayed WM_MOUSEMOVE onto another tool (or off every tool) hides the
//      tip and starts over: the tip of the new tool shows when the initial
//      delay (timer on the current clock) runs out with the mouse still on
//      it, and hides itself after the auto-pop delay. A relayed button press
//      or release hides the tip; it shows again only after the mouse moved
//      to another tool and rested there.
//   3. A tool whose text is LPSTR_TEXTCALLBACK is asked for its text when the
//      tip shows: WM_NOTIFY with TTN_GETDISPINFO to the tool's window. An
//      empty text shows nothing.
//   4. The tip never takes the activation or the focus; it lies below and to
//      the right of the mouse, moved back inside the screen.
//   5. Tool texts are copied at TTM_ADDTOOL; the caller's buffers are not
//      kept. TTM_ACTIVATE with 0 hides the tip and ignores relays until it
//      is activated again.
#pragma once

#include <vector>

#include "platform/win/winuser.h"

namespace win {

constexpr const char* kToolTipClass = "tooltips_class32";

constexpr UINT TTM_ACTIVATE = WM_USER + 1;
constexpr UINT TTM_SETDELAYTIME = WM_USER + 3;
constexpr UINT TTM_ADDTOOL = WM_USER + 4;
constexpr UINT TTM_DELTOOL = WM_USER + 5;
constexpr UINT TTM_RELAYEVENT = WM_USER + 7;
constexpr UINT TTM_GETTOOLCOUNT = WM_USER + 13;
constexpr UINT TTM_POP = WM_USER + 28;

// TTM_SETDELAYTIME's wParam: which delay (lParam: milliseconds; -1 the default).
constexpr WPARAM TTDT_AUTOPOP = 2;
constexpr WPARAM TTDT_INITIAL = 3;
constexpr UINT kToolTipInitialDelay = 500;
constexpr UINT kToolTipAutoPopDelay = 5000;

// The tool's uId is a window handle's id: the whole window is the tool.
constexpr UINT TTF_IDISHWND = 0x0001;

inline char* const LPSTR_TEXTCALLBACK = reinterpret_cast<char*>(-1);

struct TOOLINFO {
  UINT cbSize = sizeof(TOOLINFO);
  UINT uFlags = 0;
  HWND hwnd;         // the window whose mouse messages are relayed
  UINT_PTR uId = 0;  // the tool's id, or with TTF_IDISHWND a window's id
  RECT rect;         // the tool's area in hwnd's client coordinates
  void* hinst = nullptr;
  char* lpszText = nullptr;  // cp1252, or LPSTR_TEXTCALLBACK
  LPARAM lParam = 0;
};

constexpr UINT TTN_FIRST = UINT(-520);
constexpr UINT TTN_GETDISPINFO = TTN_FIRST - 0;

// TTN_GETDISPINFO: the tool's window points lpszText at its text, or fills
// szText.
struct NMTTDISPINFO {
  NMHDR hdr;
  char* lpszText = nullptr;
  char szText[80] = {};
  void* hinst = nullptr;
  UINT uFlags = 0;
  LPARAM lParam = 0;
};

constexpr size_t kRelayRecord = 64;

void RegisterToolTipClass();
// The messages relayed to a tip so far, oldest first (at most kRelayRecord).
std::vector<MSG> RelayedMessages(HWND tooltip);

}  // namespace win
