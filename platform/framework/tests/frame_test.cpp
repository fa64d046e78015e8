// Frame windows over the headless window system: their menu bar asks the
// command route before a command is chosen, their accelerators go through
// the application's loop, and context menus come from "OBJECTMENU"
// resources and open at client points.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/framework/application.h"
#include "platform/framework/frame.h"
#include "platform/testing/ui.h"

namespace {

using namespace win;

// An object menu whose last item is cut off before the end mark: not valid.
const uint8_t kCutOff[] = {'C', 'u', 't', 0, 0x01, 0x5F, 'x', 0};
const platform::ResourceEntry kRaw[] = {{0, platform::kObjectMenuType, 3, nullptr, kCutOff, sizeof kCutOff}};
const platform::ResourceTableRegistration kRawRegistration(kRaw, 1);

constexpr UINT kOpen = 24001, kQuit = 24002, kBold = 24005, kSave = 24334;

std::vector<UINT> handled;

// Handles "Öffnen" and the object menu's "speichern unter"; ticks "Fett".
// "Beenden" has no handler anywhere.
class Frame : public fw::TFrameWindow {
 public:
  Frame() : TFrameWindow(nullptr, "Rahmen") { Attr.W = 300, Attr.H = 200, Attr.Style |= WS_VISIBLE; }
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnCommand<kOpen, &Frame::CmOpen>(),
                                          fw::OnCommand<kSave, &Frame::CmSave>(),
                                          fw::OnCommand<kBold, &Frame::CmBold>(),
                                          fw::OnCommandEnable<kBold, &Frame::CeBold>()};
    return table.Search(e) || TFrameWindow::Find(e);
  }
  void CmOpen() { handled.push_back(kOpen); }
  void CmSave() { handled.push_back(kSave); }
  void CmBold() { handled.push_back(kBold); }
  void CeBold(fw::TCommandEnabler& e) {
    e.Enable(true);
    e.SetCheck(1);
  }
};

class frame_window : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    handled.clear();
    app = std::make_unique<fw::TApplication>("Test");
    app->SetMainWindow(std::make_unique<Frame>());
    frame = static_cast<Frame*>(app->GetMainWindow());
    ASSERT_TRUE(frame->Create());
    ASSERT_TRUE(frame->AssignMenu(100));
    SetFocus(frame->GetHandle());
    Settle();
  }
  void TearDown() override {
    app.reset();
    UiTest::TearDown();
  }
  void CtrlKey(UINT vk) {
    InjectKey(VK_CONTROL, true);
    InjectKey(vk, true);
    InjectKey(vk, false);
    InjectKey(VK_CONTROL, false);
    Settle();
  }
  std::unique_ptr<fw::TApplication> app;
  Frame* frame = nullptr;
};

TEST_F(frame_window, TheMenuRunsTheEnablersAndSendsOnlyHandledCommands) {
  const HMENU file = GetSubMenu(GetMenu(frame->GetHandle()), 0);
  EXPECT_TRUE(Menu(frame->GetHandle(), {"&Datei", "&Öffnen..."}));
  // No handler on the route: the enablers gray it, nothing is sent.
  EXPECT_FALSE(Menu(frame->GetHandle(), {"&Datei", "&Beenden"}));
  EXPECT_EQ(GetMenuState(file, kQuit, MF_BYCOMMAND), MF_GRAYED);
  EXPECT_EQ(GetMenuState(file, kBold, MF_BYCOMMAND), MF_CHECKED);
  EXPECT_TRUE(Menu(frame->GetHandle(), {"&Datei", "&Fett"}));
  EXPECT_EQ(handled, (std::vector<UINT>{kOpen, kBold}));
  // An unknown menu changes nothing; a second one replaces the first.
  EXPECT_FALSE(frame->AssignMenu(999));
  EXPECT_TRUE(IsMenu(file));
  EXPECT_TRUE(frame->AssignMenu(100));
  EXPECT_FALSE(IsMenu(file));
}

TEST_F(frame_window, AMenuAssignedBeforeTheWindowIsShownWhenItIsMade) {
  Frame early;
  ASSERT_TRUE(early.AssignMenu(100));
  ASSERT_TRUE(early.AssignMenu(100));  // the first one is not leaked
  EXPECT_FALSE(GetMenu(early.GetHandle()));
  ASSERT_TRUE(early.Create());
  EXPECT_TRUE(GetMenu(early.GetHandle()));
  EXPECT_EQ(SendMessage(early.GetHandle(), WM_NCHITTEST, 0,
                        MAKELPARAM(uint16_t(ClientOrigin(early.GetHandle()).x + 5),
                                   uint16_t(ClientOrigin(early.GetHandle()).y - 5))),
            HTMENU);
}

TEST_F(frame_window, AcceleratorsAreTranslatedBeforeTheKeysReachTheWindow) {
  fw::TAccTable table(LoadAcceleratorsA(100), true);
  frame->HAccel = table.GetHandle();
  auto& spy = Spy(frame->GetHandle());
  CtrlKey('O');
  // Ctrl+B names "Beenden", which no one handles: the key is swallowed.
  CtrlKey('B');
  EXPECT_EQ(handled, std::vector<UINT>{kOpen});
  // Only Ctrl itself reached the window; then, without the table, O does.
  const auto keysDown = [&] {
    std::vector<WPARAM> keys;
    for (const auto& e : spy.Entries())
      if (e.message == WM_KEYDOWN) keys.push_back(e.wParam);
    return keys;
  };
  EXPECT_EQ(keysDown(), (std::vector<WPARAM>{VK_CONTROL, VK_CONTROL}));
  frame->HAccel = HACCEL();
  CtrlKey('O');
  EXPECT_EQ(handled, std::vector<UINT>{kOpen});
  EXPECT_EQ(keysDown().back(), WPARAM('O'));
}

TEST_F(frame_window, ObjectMenusComeFromTheirResource) {
  struct Case {
    platform::ResId id;
    std::vector<std::pair<UINT, std::string>> items;  // (command or 0 for a separator, text)
  };
  const Case cases[] = {
      {1, {}},                                      // only the end mark
      {2, {{0, ""}, {0, ""}}},                      // two separators in a row
      {11000, {{11000, "Auffrischen"}}},
      {999, {}},                                    // no such resource
      {3, {}},                                      // no end mark: none of it
      {11900,
       {{24322, "&Ausschneiden"}, {24323, "&Kopieren"}, {24324, "&Einf\xFCgen"}, {24325, "&L\xF6schen"}, {0, ""},
        {24332, "Text ein&lesen"}, {kSave, "Text &speichern unter"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id.number);
    fw::TObjectMenu menu(frame, c.id);
    std::vector<std::pair<UINT, std::string>> items;
    for (int i = 0; i < GetMenuItemCount(menu.GetHandle()); ++i) {
      char text[64];
      GetMenuStringA(menu.GetHandle(), UINT(i), text, sizeof text, MF_BYPOSITION);
      items.emplace_back(GetMenuItemID(menu.GetHandle(), i), text);
    }
    EXPECT_EQ(items, c.items);
  }
}

TEST_F(frame_window, AnObjectMenuOpensAtTheOwnersClientPoint) {
  struct Case {
    int16_t x, y;
  };
  HMENU shown;
  {
    fw::TObjectMenu menu(frame, 11900);
    shown = menu.GetHandle();
    const POINT origin = ClientOrigin(frame->GetHandle());
    for (const Case c : {Case{0, 0}, Case{25, -4}}) {
      Answers().PopupMenu("Text &speichern unter");
      EXPECT_TRUE(menu.Track(c.x, c.y));
      EXPECT_EQ(Answers().LastPopupMenu().point.x, origin.x + c.x);
      EXPECT_EQ(Answers().LastPopupMenu().point.y, origin.y + c.y);
      EXPECT_EQ(Answers().LastPopupMenu().owner, frame->GetHandle());
      EXPECT_EQ(Answers().LastPopupMenu().flags, TPM_RIGHTBUTTON);
    }
    EXPECT_EQ(handled, (std::vector<UINT>(2, kSave)));
    // Commands no one handles are grayed before the user sees them.
    Answers().PopupMenu("&Kopieren");
    EXPECT_TRUE(menu.Track(0, 0));
    EXPECT_EQ(Answers().Log().back(), "popup: &Kopieren (disabled)");
    // An empty menu shows nothing useful but does not fail.
    fw::TObjectMenu empty(frame, 999);
    EXPECT_TRUE(empty.Track(0, 0));
  }
  EXPECT_FALSE(IsMenu(shown));  // the menu goes with its object
}

}  // namespace
