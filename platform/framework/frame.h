// Frame windows, their menus and accelerators, and context menus from
// "OBJECTMENU" resources.
//
// What always holds:
//   1. Every framework window answers WM_INITMENUPOPUP by asking the
//      command route about each command item of the pop-up (a
//      TMenuItemEnabler per item): an enabler's answer grays or enables the
//      item and sets its check mark; a command no table on the route
//      handles is grayed.
//   2. A TFrameWindow owns the bar it assigned: AssignMenu before the window
//      exists keeps the menu until SetupWindow shows it (or the object dies
//      without a window); a later AssignMenu destroys the bar it replaces.
//      It translates the keys of its accelerator table HAccel
//      before any other translation (PreProcessMsg); the keys reach the
//      frame's menu rules (a disabled item's key sends nothing). HAccel is
//      only borrowed: whoever loaded it (a TAccTable) destroys it.
//   3. A TObjectMenu owns its pop-up menu: the menu is destroyed with the
//      object. Its items are those of the resource when the resource decodes
//      whole (up to its end mark); otherwise the menu stays empty.
//   4. TObjectMenu::Track(x, y) opens at the owner's client point (x, y) on
//      the screen, not at its frame corner; the chosen command reaches the
//      owner as a menu command (WM_COMMAND).
#pragma once

#include <cstdint>

#include "platform/framework/window.h"
#include "platform/resources/resources.h"
#include "platform/win/accel.h"
#include "platform/win/menubar.h"

namespace fw {

using win::TAccTable;

// The enabler of one menu item: the answer goes into the item's state.
class TMenuItemEnabler : public TCommandEnabler {
 public:
  TMenuItemEnabler(win::HMENU menu, int position)
      : TCommandEnabler(int(win::GetMenuItemID(menu, position))), menu_(menu), position_(position) {}
  void Enable(bool enable) override;
  void SetCheck(int state) override;

 private:
  win::HMENU menu_;
  int position_;
};

// Asks the command route of window about every command item of menu (rule 1).
void EnableMenuItems(TWindow& window, win::HMENU menu);

class TFrameWindow : public TWindow {
 public:
  explicit TFrameWindow(TWindow* parent, const char* title = nullptr) : TWindow(parent, title) {
    Attr.Style = win::WS_OVERLAPPEDWINDOW;
  }
  ~TFrameWindow() override { win::DestroyMenu(pendingMenu_); }
  // Loads the menu resource as the frame's bar (rule 2); false when there
  // is no such menu.
  bool AssignMenu(const platform::ResId& id);
  void SetupWindow() override;
  bool PreProcessMsg(win::MSG& msg) override;

  win::HACCEL HAccel;

 private:
  // Shows menu as the bar, destroying the one it replaces.
  void ShowMenu(win::HMENU menu);
  win::HMENU pendingMenu_;  // assigned before the window existed
};

class TObjectMenu {
 public:
  TObjectMenu(TWindow* owner, const platform::ResId& id);
  virtual ~TObjectMenu();
  TObjectMenu(const TObjectMenu&) = delete;
  TObjectMenu& operator=(const TObjectMenu&) = delete;

  win::HMENU GetHandle() const { return menu_; }
  // Shows the menu at the owner's client point (x, y); true when shown.
  bool Track(int16_t x, int16_t y);

 private:
  TWindow* owner_;
  win::HMENU menu_;
};

}  // namespace fw
