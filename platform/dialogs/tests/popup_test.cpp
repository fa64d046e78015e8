// Pop-up menus asked of the provider: the owner's enablers run before the
// question, the chosen command reaches the owner, and only an enabled
// command of the menu's tree counts as a choice.
#include <gtest/gtest.h>

#include <functional>

#include "platform/testing/ui.h"
#include "platform/win/menu.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace {

using namespace win;

constexpr UINT kCopy = 100, kPaste = 101, kAll = 102, kBold = 103;

// The owner's enabler: on WM_INITMENUPOPUP it grays "&Einfügen" and the
// "&Format" pop-up; it records every command.
std::vector<UINT> commands;

LRESULT OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_INITMENUPOPUP) {
    const HMENU shown{uint32_t(w)};
    EnableMenuItem(shown, kPaste, MF_BYCOMMAND | MF_GRAYED);
    if (GetMenuItemCount(shown) > 4) EnableMenuItem(shown, 4, MF_BYPOSITION | MF_GRAYED);
    return 0;
  }
  if (m == WM_COMMAND) {
    commands.push_back(LOWORD(w));
    return 0;
  }
  return DefWindowProc(h, m, w, l);
}

class popup_menu : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    commands.clear();
    WNDCLASS wc;
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = "PopupOwner";
    if (!GetClassInfo("PopupOwner", nullptr)) {
      ASSERT_TRUE(RegisterClass(wc));
    }
    owner = CreateWindowEx(0, "PopupOwner", "Besitzer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 150,
                           nullptr, 0);
    // Kopieren, Einfügen, -, Mehr { Alles }, Format { Fett }
    menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, kCopy, "&Kopieren\tStrg+C");
    AppendMenuA(menu, MF_STRING, kPaste, "&Einf\xFCgen");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    more = CreatePopupMenu();
    AppendMenuA(more, MF_STRING, kAll, "&Alles");
    AppendMenuA(menu, MF_POPUP, more.id, "&Mehr");
    const HMENU format = CreatePopupMenu();
    AppendMenuA(format, MF_STRING, kBold, "&Fett");
    AppendMenuA(menu, MF_POPUP, format.id, "&Format");
  }
  void TearDown() override {
    DestroyMenu(menu);
    UiTest::TearDown();
  }
  HWND owner;
  HMENU menu, more;
};

TEST_F(popup_menu, TheScriptedUserPicksByTextOrCommand) {
  struct Case {
    std::function<void(zettest::ScriptedAnswers&)> answer;  // null: no answer
    UINT flags;
    UINT result;
    std::vector<UINT> sent;
    std::vector<WPARAM> opened;  // the menus WM_INITMENUPOPUP names, in order
    std::string log;
  };
  const Case cases[] = {
      {[](auto& a) { a.PopupMenu("&Kopieren"); }, 0, 1, {kCopy}, {menu.id}, "popup: &Kopieren"},
      {[](auto& a) { a.PopupMenu(kCopy); }, TPM_RETURNCMD, kCopy, {}, {menu.id}, "popup: 100"},
      // The enabler grayed it before the user could pick it.
      {[](auto& a) { a.PopupMenu("&Einfügen"); }, TPM_RETURNCMD, 0, {}, {menu.id}, "popup: &Einfügen (disabled)"},
      // Opening "Mehr" on the way asks its enablers too.
      {[](auto& a) { a.PopupMenu("&Alles"); }, 0, 1, {kAll}, {menu.id, more.id}, "popup: &Alles"},
      // A command in a grayed pop-up cannot be reached.
      {[](auto& a) { a.PopupMenu(kBold); }, TPM_RETURNCMD, 0, {}, {menu.id}, "popup: 103 (disabled)"},
      {nullptr, TPM_RETURNCMD, 0, {}, {menu.id}, "popup: -"},
      // No notification: neither the enablers nor the command reach the owner.
      {[](auto& a) { a.PopupMenu(kPaste); }, TPM_NONOTIFY | TPM_RETURNCMD, kPaste, {}, {}, "popup: 101"},
      {[](auto& a) { a.PopupMenu(kCopy); }, TPM_NONOTIFY, 1, {}, {}, "popup: 100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    for (UINT id : {kPaste, kBold}) EnableMenuItem(menu, id, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(menu, 4, MF_BYPOSITION | MF_ENABLED);
    commands.clear();
    auto& spy = Spy(owner);
    if (c.answer) c.answer(Answers());
    EXPECT_EQ(TrackPopupMenu(menu, c.flags, 50, 60, owner), c.result);
    EXPECT_EQ(commands, c.sent);
    std::vector<WPARAM> opened;
    for (const auto& e : spy.Entries())
      if (e.message == WM_INITMENUPOPUP) opened.push_back(e.wParam);
    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(Answers().Log().back(), c.log);
  }
}

// A provider that answers whatever it likes.
class Answering final : public dialogs::InteractionProvider {
 public:
  explicit Answering(UINT answer) : answer_(answer) {}
  void MessageBox(dialogs::MessageBoxRequest&) override {}
  void TrackPopupMenu(dialogs::TrackPopupMenuRequest& r) override {
    asked = r;
    r.answer = answer_;
  }
  dialogs::TrackPopupMenuRequest asked;

 private:
  UINT answer_;
};

TEST_F(popup_menu, OnlyAnEnabledCommandOfTheMenuCountsAsAChoice) {
  struct Case {
    UINT answer, result;
  };
  // A command of another menu, a separator's 0, a grayed command, a command
  // inside a grayed pop-up (the provider cannot reach it either way, but the
  // item itself is enabled, so it counts), a plain one.
  const Case cases[] = {{999, 0}, {0, 0}, {kPaste, 0}, {kAll, kAll}, {kCopy, kCopy}};
  for (const Case& c : cases) {
    Answering provider(c.answer);
    dialogs::SetInteractionProvider(&provider);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 7, 8, owner), c.result) << c.answer;
    EXPECT_EQ(provider.asked.menu, menu);
    EXPECT_EQ(provider.asked.owner, owner);
    EXPECT_EQ(provider.asked.point.x, 7);
    EXPECT_EQ(provider.asked.point.y, 8);
  }
  dialogs::SetInteractionProvider(&Answers());
  EXPECT_EQ(TrackPopupMenu(HMENU(), 0, 0, 0, owner), 0u);
  EXPECT_EQ(TrackPopupMenu(menu, 0, 0, 0, HWND()), 0u);
  EXPECT_TRUE(Answers().Log().empty());
}

}  // namespace
