// The scroll bar control: a bar with an arrow at each end that tells its
// parent which arrow was pressed.
//
// What always holds:
//   1. The control keeps no position of its own: the parent owns what is
//      scrolled and decides what a press means. A press on the first half
//      (left, or top with SBS_VERT) sends SB_LINEUP, on the second half
//      SB_LINEDOWN, then SB_ENDSCROLL, as WM_HSCROLL (WM_VSCROLL with
//      SBS_VERT) with MAKEWPARAM(code, 0) and the control's handle.
//   2. A disabled bar takes no input (the window system drops it) and draws
//      its arrows grey.
#pragma once

#include "platform/win/scrollinfo.h"
#include "platform/win/winuser.h"

namespace win {

constexpr const char* kScrollBarClass = "ScrollBar";

constexpr DWORD SBS_HORZ = 0x0;
constexpr DWORD SBS_VERT = 0x1;

// Registers the class; RegisterControlClasses calls it.
void RegisterScrollBarClass();

}  // namespace win
