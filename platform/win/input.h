// Input: what display backends and tests feed in, and the key table.
//
// What always holds:
//   1. Input goes into the queue raw (screen position, key) and is routed
//      when a loop takes it: mouse input to the capture window, else to the
//      deepest visible window under the pointer, in client coordinates, or
//      as WM_NC* with the hit-test code outside a client area; keys to the
//      focus window, else the active window.
//   2. A button press on an inactive top-level window, or on a document
//      window (WS_EX_MDICHILD) that is not the top one of its client, first
//      sends WM_MOUSEACTIVATE to it and activates it (unless it answers
//      MA_NOACTIVATE).
//   3. Input for a disabled window, or a window with a disabled ancestor or
//      owner held by a modal loop, is dropped.
//   4. A second press of the same button within the double-click time (500
//      ms) and distance (4 px) on the same window becomes *BUTTONDBLCLK when
//      its class has CS_DBLCLKS.
//   5. A window that asked with TrackMouseLeave gets one WM_MOUSELEAVE
//      (posted) when the first mouse input taken afterwards goes to another
//      window or to none; then it must ask again.
//   6. GetKeyState answers from the key table as the input taken so far left
//      it: bit 15 down, bit 0 toggled.
#pragma once

#include <cstdint>

#include "platform/win/winuser.h"

namespace win {

enum class MouseButton { kNone, kLeft, kRight, kMiddle };

// A pointer move (button kNone), a press or release at a screen position.
void InjectMouse(POINT screen, MouseButton button, bool down);
void InjectWheel(POINT screen, int delta);
// A key event; character is the cp1252 character it types (0 for none),
// which TranslateMessage turns into WM_CHAR.
void InjectKey(UINT vk, bool down, uint8_t character = 0);

// Asks for the one WM_MOUSELEAVE of rule 5 (a later request from another
// window replaces this one; the replaced window gets its WM_MOUSELEAVE now).
bool TrackMouseLeave(HWND hwnd);

int16_t GetKeyState(int vk);
POINT GetCursorPos();

}  // namespace win
