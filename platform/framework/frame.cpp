// Frame windows, menu enabling and object menus (see frame.h).
#include "platform/framework/frame.h"

#include <utility>
#include <vector>

#include "platform/win/accel.h"

namespace fw {

void TMenuItemEnabler::Enable(bool enable) {
  TCommandEnabler::Enable(enable);
  win::EnableMenuItem(menu_, win::UINT(position_), win::MF_BYPOSITION | (enable ? win::MF_ENABLED : win::MF_GRAYED));
}

void TMenuItemEnabler::SetCheck(int state) {
  TCommandEnabler::SetCheck(state);
  win::CheckMenuItem(menu_, win::UINT(position_), win::MF_BYPOSITION | (state ? win::MF_CHECKED : win::MF_UNCHECKED));
}

void EnableMenuItems(TWindow& window, win::HMENU menu) {
  for (int i = 0; i < win::GetMenuItemCount(menu); ++i) {
    if (win::GetSubMenu(menu, i) || win::GetMenuItemID(menu, i) == 0) continue;
    TMenuItemEnabler enabler(menu, i);
    window.RouteCommandEnable(enabler);
  }
}

bool TFrameWindow::AssignMenu(const platform::ResId& id) {
  const win::HMENU menu = win::LoadMenuA(id);
  if (!menu) return false;
  if (GetHandle()) {
    ShowMenu(menu);
  } else {
    win::DestroyMenu(pendingMenu_);
    pendingMenu_ = menu;
  }
  return true;
}

void TFrameWindow::ShowMenu(win::HMENU menu) {
  const win::HMENU old = win::GetMenu(GetHandle());
  win::SetMenu(GetHandle(), menu);
  if (old != menu) win::DestroyMenu(old);
}

void TFrameWindow::SetupWindow() {
  TWindow::SetupWindow();
  if (pendingMenu_) ShowMenu(std::exchange(pendingMenu_, win::HMENU()));
}

bool TFrameWindow::PreProcessMsg(win::MSG& msg) {
  return HAccel && win::TranslateAcceleratorA(GetHandle(), HAccel, &msg);
}

TObjectMenu::TObjectMenu(TWindow* owner, const platform::ResId& id) : owner_(owner), menu_(win::CreatePopupMenu()) {
  std::vector<platform::ObjectMenuEntry> entries;
  if (!platform::LoadObjectMenu(id, entries)) return;
  for (const platform::ObjectMenuEntry& e : entries) {
    if (e.separator) win::AppendMenuA(menu_, win::MF_SEPARATOR, 0, nullptr);
    else win::AppendMenuA(menu_, win::MF_STRING, e.command, e.text.c_str());
  }
}

TObjectMenu::~TObjectMenu() { win::DestroyMenu(menu_); }

bool TObjectMenu::Track(int16_t x, int16_t y) {
  const HWND owner = owner_ ? owner_->GetHandle() : HWND();
  win::RECT client;
  if (!win::GetClientRect(owner, &client)) return false;
  const win::POINT origin = win::ClientOrigin(owner);
  const win::RECT exclude{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  return win::TrackPopupMenu(menu_, win::TPM_RIGHTBUTTON, origin.x + x, origin.y + y, owner, &exclude) != 0;
}

}  // namespace fw
