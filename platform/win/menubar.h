// Menu bars: the menu a top-level window shows in its non-client area, under
// the caption, and menus made from menu resources.
//
// What always holds:
//   1. Only a top-level window has a bar. SetMenu replaces the bar (the old
//      menu stays alive for the caller) and recomputes the client area: the
//      bar takes one row of SM_CYMENU pixels, whatever its items' widths
//      (items that do not fit are cut off at the right edge, never wrapped).
//   2. DestroyWindow destroys the window's bar menu with it.
//   3. The default WM_NCPAINT draws the bar's items left to right, each its
//      text (the "&" mnemonic underlined) with 8 pixels on either side; a
//      grayed item is drawn in the gray text colour.
//   4. The bar is used through the pop-up path (TrackPopupMenu's asker): a
//      click on a bar item (WM_NCLBUTTONDOWN on HTMENU) or Alt and the item's
//      mnemonic letter opens its pop-up below the item; a command item on the
//      bar itself sends its command. A grayed item opens nothing.
#pragma once

#include "platform/resources/resources.h"
#include "platform/win/menu.h"
#include "platform/win/winuser.h"

namespace win {


bool SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
// Draws the bar again after its items changed.
bool DrawMenuBar(HWND hwnd);
// A new menu from a menu resource; the null handle when there is none or it
// does not decode.
HMENU LoadMenuA(const platform::ResId& id);

}  // namespace win
