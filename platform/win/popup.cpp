// Pop-up menus shown for an owner window (see menu.h): the owner's enablers
// run first, the asker picks, and only an enabled command of the menu's tree
// is taken as the choice.
#include "platform/win/message.h"
#include "platform/win/system_internal.h"
#include "platform/win/window.h"

namespace win {

namespace {

PopupAsker asker = nullptr;

bool Disabled(UINT state) { return state == UINT(-1) || (state & (MF_GRAYED | MF_DISABLED)); }

}  // namespace

void SetPopupAsker(PopupAsker a) { asker = a; }

std::vector<int> FindMenuItem(HMENU menu, const std::function<bool(HMENU, int)>& match) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (match(menu, i)) return {i};
    if (const HMENU sub = GetSubMenu(menu, i)) {
      std::vector<int> below = FindMenuItem(sub, match);
      if (!below.empty()) {
        below.insert(below.begin(), i);
        return below;
      }
    }
  }
  return {};
}

UINT OpenMenuPath(HWND owner, HMENU menu, const std::vector<int>& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (Disabled(GetMenuState(menu, UINT(path[i]), MF_BYPOSITION))) return 0;
    if (i + 1 == path.size()) break;
    menu = GetSubMenu(menu, path[i]);
    if (!menu) return 0;
    SendMessage(owner, WM_INITMENUPOPUP, WPARAM(menu.id), MAKELPARAM(uint16_t(path[i]), 0));
  }
  const UINT id = path.empty() ? 0 : GetMenuItemID(menu, path.back());
  return id == UINT(-1) ? 0 : id;
}

namespace detail {

UINT ShowPopup(HMENU menu, UINT flags, POINT screen, HWND owner, UINT position) {
  const bool notify = !(flags & TPM_NONOTIFY);
  if (notify) SendMessage(owner, WM_INITMENUPOPUP, WPARAM(menu.id), MAKELPARAM(uint16_t(position), 0));
  const UINT answer = asker && IsMenu(menu) ? asker(menu, flags, screen, owner) : 0;
  // The enablers may have closed the menu or its owner meanwhile; a command
  // the user could not have picked is no choice.
  const UINT command = answer && !Disabled(GetMenuState(menu, answer, MF_BYCOMMAND)) ? answer : 0;
  if (command && notify && !(flags & TPM_RETURNCMD) && IsWindow(owner))
    SendMessage(owner, WM_COMMAND, MAKEWPARAM(uint16_t(command), 0), 0);
  return command;
}

}  // namespace detail

UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner, const RECT*) {
  if (!IsMenu(menu) || !IsWindow(owner)) return 0;
  const UINT command = detail::ShowPopup(menu, flags, {x, y}, owner, 0);
  return flags & TPM_RETURNCMD ? command : 1;
}

}  // namespace win
