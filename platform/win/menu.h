// Menus: an in-memory model of menu bars and pop-up menus behind menu
// handles, with the calls of a Win32-style user interface (create, append,
// insert, delete and remove by position or by command, query items and
// sub-menus).
//
// What always holds:
//   1. An HMENU is a Handle: ids count up from 1 and are never handed out
//      twice, so a handle kept after its menu was destroyed names nothing
//      (IsMenu false) and every call on it fails without touching another
//      menu.
//   2. A menu owns the pop-ups attached to it: DestroyMenu and DeleteMenu
//      destroy an item's pop-up with it (recursively); RemoveMenu detaches
//      the item and leaves its pop-up alive for the caller. DestroyMenu
//      refuses a pop-up that still hangs in a menu.
//   3. A pop-up is attached to at most one item at a time. Appending or
//      inserting a pop-up that already hangs somewhere, or a menu into its
//      own tree, fails: the model never forms a cycle.
//   4. An item is a separator (MF_SEPARATOR, or a string item without text;
//      its id is 0), a command (id, text) or a pop-up (text, sub-menu).
//      GetMenuItemID answers 0 for a separator, -1 for a pop-up and the
//      command id otherwise; positions outside the menu answer -1.
//   5. Texts are cp1252 and kept as given, "&" and tab included.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/win/winuser.h"

namespace win {

struct MenuTag;
using HMENU = Handle<MenuTag>;

constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;

HMENU CreateMenu();
HMENU CreatePopupMenu();
bool DestroyMenu(HMENU menu);
bool IsMenu(HMENU menu);
// A new, unattached menu with copies of every item and pop-up of menu; the
// null handle for a menu that does not exist.
HMENU CopyMenuTree(HMENU menu);

// For MF_POPUP, item is the pop-up's handle id (HMENU::id), else the command
// id. A string item with a null text is a separator.
bool AppendMenuA(HMENU menu, UINT flags, UINT_PTR item, const char* text);
// Inserts before the item at position (MF_BYPOSITION; past the end appends)
// or before the item with that command id (searched in sub-menus too).
bool InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR item, const char* text);
bool DeleteMenu(HMENU menu, UINT position, UINT flags);
bool RemoveMenu(HMENU menu, UINT position, UINT flags);

int GetMenuItemCount(HMENU menu);
// 0 for a separator, -1 (0xFFFFFFFF) for a pop-up or a position outside.
UINT GetMenuItemID(HMENU menu, int position);
HMENU GetSubMenu(HMENU menu, int position);
// Copies the item's text (at most size - 1 characters) and answers its
// length; 0 when there is no such item. A null buffer answers the length.
int GetMenuStringA(HMENU menu, UINT item, char* buffer, int size, UINT flags);

// The item's state bits (MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_SEPARATOR,
// MF_POPUP); for a pop-up the count of its items in the high byte. -1 when
// there is no such item.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// Set the item's enabling (MF_ENABLED, MF_GRAYED, MF_DISABLED) or check mark
// (MF_CHECKED, MF_UNCHECKED) and answer the former one; -1 when there is no
// such item.
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags);
UINT CheckMenuItem(HMENU menu, UINT item, UINT flags);

// Pop-up menu flags (TrackPopupMenu): TPM_RETURNCMD answers the chosen
// command instead of sending it; TPM_NONOTIFY sends no message to the owner.
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// Shows menu as a pop-up at the screen point (x, y) for owner. Unless
// TPM_NONOTIFY, the owner first gets WM_INITMENUPOPUP for the menu (its
// enablers run) and, unless TPM_RETURNCMD, WM_COMMAND for the chosen command.
// With TPM_RETURNCMD it answers the chosen command, or 0 when none was chosen;
// otherwise true when menu and owner exist. Only an enabled command item of
// the menu's tree can be chosen; any other answer counts as none.
UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner, const RECT* exclude = nullptr);

// Who picks from a shown pop-up: the user interface's menu loop, or a test's
// script (the interaction provider installs itself here). Without one every
// pop-up is dismissed.
using PopupAsker = UINT (*)(HMENU menu, UINT flags, POINT screen, HWND owner);
void SetPopupAsker(PopupAsker asker);

// The positions leading from menu through its pop-ups to the first item,
// depth first, that match accepts (match gets the menu holding the item and
// its position); empty when none does.
std::vector<int> FindMenuItem(HMENU menu, const std::function<bool(HMENU, int)>& match);
// Follows the positions from menu as a user opening pop-ups would: every
// pop-up entered sends owner WM_INITMENUPOPUP first, so its enablers decide.
// Answers the command the path ends at, or 0 when an item on the way is
// disabled or grayed, or the path leads nowhere.
UINT OpenMenuPath(HWND owner, HMENU menu, const std::vector<int>& path);

}  // namespace win
