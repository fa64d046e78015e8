// Menu bars and accelerators driven headless: the bar's room in the frame,
// its picture, opening its pop-ups by mouse and by Alt and a letter, and
// accelerator keys that respect the menu's enabling.
#include <gtest/gtest.h>

#include <functional>

#include "platform/testing/ui.h"
#include "platform/win/accel.h"
#include "platform/win/menubar.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace {

using namespace win;

constexpr UINT kOpen = 24001, kQuit = 24002, kCopy = 24003, kHelp = 24004;

std::vector<UINT> commands;
std::function<void(HMENU)> onInitPopup;

LRESULT BarProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_COMMAND) {
    commands.push_back(LOWORD(w));
    return 0;
  }
  if (m == WM_INITMENUPOPUP && onInitPopup) onInitPopup(HMENU(uint32_t(w)));
  return DefWindowProc(h, m, w, l);
}

class menu_bar : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    commands.clear();
    onInitPopup = nullptr;
    WNDCLASS wc;
    wc.lpfnWndProc = BarProc;
    wc.background = RGB(255, 255, 255);
    wc.lpszClassName = "BarWindow";
    if (!GetClassInfo("BarWindow", nullptr)) {
      ASSERT_TRUE(RegisterClass(wc));
    }
    frame = CreateWindowEx(0, "BarWindow", "Men\xFC", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 30, 240, 120, nullptr, 0);
    SetFocus(frame);
  }
  void TearDown() override {
    onInitPopup = nullptr;
    UiTest::TearDown();
  }
  // A press on the bar at a point in window coordinates.
  void ClickBar(int x, int y) {
    RECT r;
    GetWindowRect(frame, &r);
    InjectMouse({r.left + x, r.top + y}, MouseButton::kLeft, true);
    InjectMouse({r.left + x, r.top + y}, MouseButton::kLeft, false);
    Settle();
  }
  void AltLetter(UINT vk, uint8_t character) {
    InjectKey(VK_MENU, true);
    InjectKey(vk, true, character);
    InjectKey(vk, false);
    InjectKey(VK_MENU, false);
    Settle();
  }
  HWND frame;
};

TEST_F(menu_bar, TakesOneRowOfTheFrameAndGivesItBack) {
  RECT before, with, after;
  GetClientRect(frame, &before);
  const HMENU bar = LoadMenuA(100);
  ASSERT_TRUE(bar);
  EXPECT_EQ(GetMenuItemCount(bar), 3);
  auto& spy = Spy(frame);
  ASSERT_TRUE(SetMenu(frame, bar));
  EXPECT_EQ(GetMenu(frame), bar);
  GetClientRect(frame, &with);
  EXPECT_EQ(with.bottom, before.bottom - GetSystemMetrics(SM_CYMENU));
  EXPECT_EQ(spy.Messages({WM_SIZE}), std::vector<UINT>{WM_SIZE});
  // The row lies between the caption and the client area.
  RECT frameRect;
  GetWindowRect(frame, &frameRect);
  const POINT origin = ClientOrigin(frame);
  EXPECT_EQ(SendMessage(frame, WM_NCHITTEST, 0, MAKELPARAM(uint16_t(origin.x + 5), uint16_t(origin.y - 5))), HTMENU);
  SetMenu(frame, HMENU());
  GetClientRect(frame, &after);
  EXPECT_EQ(after.bottom, before.bottom);
  EXPECT_TRUE(IsMenu(bar));  // the caller still owns the old bar

  // Children have no bar; a menu that does not exist is refused; a bar goes
  // with its window.
  const HWND child = CreateWindowEx(0, "BarWindow", "", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, frame, 1);
  EXPECT_FALSE(SetMenu(child, bar));
  EXPECT_FALSE(SetMenu(frame, HMENU(9999)));
  EXPECT_FALSE(LoadMenuA(999));
  SetMenu(frame, bar);
  DestroyWindow(frame);
  EXPECT_FALSE(IsMenu(bar));
}

TEST_F(menu_bar, IsDrawnUnderTheCaption) {
  SetMenu(frame, LoadMenuA(100));
  Settle();
  EXPECT_TRUE(MatchesWindowGolden(frame, ZET_WIN_TESTS_DIR, "menu_bar"));
}

TEST_F(menu_bar, AClickOrAltAndALetterOpensThePopupBelowItsItem) {
  const HMENU bar = LoadMenuA(100);
  SetMenu(frame, bar);
  Settle();
  const POINT origin = ClientOrigin(frame);
  RECT frameRect;
  GetWindowRect(frame, &frameRect);
  const int barY = origin.y - frameRect.top - 5;  // inside the row, window coordinates
  std::vector<WPARAM> opened;
  onInitPopup = [&](HMENU m) { opened.push_back(m.id); };

  Answers().PopupMenu("&Öffnen...");
  ClickBar(12, barY);
  EXPECT_EQ(commands, std::vector<UINT>{kOpen});
  EXPECT_EQ(opened, std::vector<WPARAM>{GetSubMenu(bar, 0).id});
  EXPECT_EQ(Answers().LastPopupMenu().point.x, origin.x);  // the item's left edge
  EXPECT_EQ(Answers().LastPopupMenu().point.y, origin.y);  // the row's bottom

  Answers().PopupMenu("&Beenden");
  AltLetter('D', 'd');
  EXPECT_EQ(commands, (std::vector<UINT>{kOpen, kQuit}));

  // A grayed item cannot be picked; a command on the bar itself needs no pop-up.
  Answers().PopupMenu("&Kopieren");
  AltLetter('B', 'b');
  Answers().PopupMenu("&Kopieren");
  onInitPopup = [](HMENU m) { EnableMenuItem(m, kCopy, MF_ENABLED); };
  AltLetter('B', 'b');
  AltLetter('H', 'h');
  EXPECT_EQ(commands, (std::vector<UINT>{kOpen, kQuit, kCopy, kHelp}));

  // A grayed bar item opens nothing; a letter no item has does nothing.
  EnableMenuItem(bar, 0, MF_BYPOSITION | MF_GRAYED);
  const size_t asked = Answers().Log().size();
  ClickBar(12, barY);
  AltLetter('Q', 'q');
  EXPECT_EQ(Answers().Log().size(), asked);
  EXPECT_EQ(commands.size(), 4u);
}

TEST_F(menu_bar, AcceleratorsSendTheirCommandUnlessTheMenuDisablesIt) {
  const HMENU bar = LoadMenuA(100);
  SetMenu(frame, bar);
  const HACCEL table = LoadAcceleratorsA(100);
  ASSERT_TRUE(table);
  ACCEL records[3];
  ASSERT_EQ(CopyAcceleratorTableA(table, records, 3), 3);
  EXPECT_EQ(records[2].fVirt, FACCEL_END);
  EXPECT_FALSE(LoadAcceleratorsA(999));

  struct Case {
    std::vector<UINT> held;
    UINT message;
    WPARAM key;
    bool enableCopy;  // the enabler of the pop-up holding "Kopieren"
    bool taken;
    std::vector<UINT> sent;
  };
  const Case cases[] = {
      {{VK_CONTROL}, WM_KEYDOWN, 'O', false, true, {kOpen}},
      {{}, WM_KEYDOWN, 'O', false, false, {}},
      {{VK_CONTROL, VK_SHIFT}, WM_KEYDOWN, 'O', false, false, {}},
      {{VK_CONTROL}, WM_KEYUP, 'O', false, false, {}},
      // Alt+F7 names a grayed item: the key is swallowed, nothing is sent...
      {{VK_MENU}, WM_SYSKEYDOWN, 118, false, true, {}},
      // ...unless the enablers, asked first, enable it.
      {{VK_MENU}, WM_SYSKEYDOWN, 118, true, true, {kCopy}},
      {{}, WM_CHAR, 'x', false, true, {kQuit}},
      {{}, WM_CHAR, 'X', false, false, {}},
      {{VK_MENU}, WM_SYSCHAR, 'x', false, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.message << " " << c.key);
    EnableMenuItem(bar, kCopy, MF_GRAYED);
    onInitPopup = [&](HMENU m) {
      if (c.enableCopy) EnableMenuItem(m, kCopy, MF_ENABLED);
    };
    for (UINT vk : c.held) InjectKey(vk, true);
    Settle();
    commands.clear();
    MSG msg;
    msg.hwnd = frame, msg.message = c.message, msg.wParam = c.key;
    EXPECT_EQ(TranslateAcceleratorA(frame, table, &msg), c.taken);
    EXPECT_EQ(commands, c.sent);
    for (UINT vk : c.held) InjectKey(vk, false);
    Settle();
  }
  DestroyAcceleratorTable(table);
  MSG msg;
  msg.message = WM_CHAR, msg.wParam = 'x';
  EXPECT_FALSE(TranslateAcceleratorA(frame, table, &msg));
}

}  // namespace
