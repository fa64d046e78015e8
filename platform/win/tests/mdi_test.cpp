// Document windows inside a frame, driven headless: activation order,
// maximizing and the frame title, the window menu, arranging, the keys
// and the pictures of a frame with maximized and with cascaded children.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/ui.h"
#include "platform/win/input.h"
#include "platform/win/mdi.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace {

using namespace win;

HWND theClient;

LRESULT FrameProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefFrameProc(h, theClient, m, w, l); }
LRESULT ChildProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefMDIChildProc(h, m, w, l); }

class win_mdi : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    for (auto [name, proc] : {std::pair{"TestFrame", &FrameProc}, std::pair{"TestDocument", &ChildProc}}) {
      WNDCLASS wc;
      wc.lpfnWndProc = proc;
      wc.background = RGB(255, 255, 255);
      wc.lpszClassName = name;
      if (!GetClassInfo(name, nullptr)) ASSERT_TRUE(RegisterClass(wc));
    }
    windowMenu = CreatePopupMenu();
    AppendMenuA(windowMenu, MF_STRING, 500, "&Nebeneinander");
    frame = CreateWindowEx(0, "TestFrame", "Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 400, 300, nullptr, 0);
    theClient = client = CreateMdiClient(frame, windowMenu);
    ASSERT_TRUE(client);
    Settle();
  }
  void TearDown() override {
    DestroyWindow(frame);
    DestroyMenu(windowMenu);
    theClient = nullptr;
    UiTest::TearDown();
  }
  HWND Doc(const char* title, DWORD style = 0) {
    MDICREATESTRUCT mcs;
    mcs.szClass = "TestDocument";
    mcs.szTitle = title;
    mcs.style = style;
    return HWND(uint32_t(SendMessage(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs))));
  }
  HWND Active(BOOL* maximized = nullptr) {
    return HWND(uint32_t(SendMessage(client, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(maximized))));
  }
  RECT InClient(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    POINT p{r.left, r.top};
    ScreenToClient(client, &p);
    return {p.x, p.y, p.x + r.right - r.left, p.y + r.bottom - r.top};
  }
  std::vector<std::string> MenuTexts() {
    std::vector<std::string> texts;
    char buffer[80];
    for (int i = 0; i < GetMenuItemCount(windowMenu); ++i) {
      GetMenuStringA(windowMenu, UINT(i), buffer, sizeof buffer, MF_BYPOSITION);
      texts.push_back(std::to_string(GetMenuItemID(windowMenu, i)) + " " + buffer);
    }
    return texts;
  }
  void CtrlKey(UINT vk, bool expectTaken = true) {
    InjectKey(VK_CONTROL, true);
    Settle();
    MSG msg;
    msg.message = WM_KEYDOWN;
    msg.wParam = vk;
    EXPECT_EQ(TranslateMDISysAccel(client, msg), expectTaken);
    InjectKey(VK_CONTROL, false);
    Settle();
  }

  HMENU windowMenu;
  HWND frame, client;
};

TEST_F(win_mdi, ActivationTellsTheLosingChildThenTheWinningOne) {
  const HWND a = Doc("Kunden"), b = Doc("Artikel");
  EXPECT_EQ(Active(), b);
  auto& spy = Spy(client, true);
  SendMessage(client, WM_MDIACTIVATE, WPARAM(a.id), 0);
  SendMessage(client, WM_MDIACTIVATE, WPARAM(a.id), 0);  // already active: nothing
  const std::vector<zettest::SpiedMessage> expected = {
      {client, WM_MDIACTIVATE, WPARAM(a.id), 0},
      {b, WM_MDIACTIVATE, WPARAM(b.id), LPARAM(a.id)},
      {a, WM_MDIACTIVATE, WPARAM(b.id), LPARAM(a.id)},
      {client, WM_MDIACTIVATE, WPARAM(a.id), 0},
  };
  std::vector<zettest::SpiedMessage> seen;
  for (const auto& m : spy.Entries())
    if (m.message == WM_MDIACTIVATE) seen.push_back(m);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(GetChildren(client).front(), a);
  EXPECT_EQ(GetFocus(), a);
}

TEST_F(win_mdi, AMaximizedChildFillsTheClientAndNamesItselfInTheFrameTitle) {
  const HWND a = Doc("Kunden"), b = Doc("Artikel");
  const RECT normal = InClient(b);
  SendMessage(client, WM_MDIMAXIMIZE, WPARAM(b.id), 0);
  BOOL maximized = false;
  EXPECT_EQ(Active(&maximized), b);
  EXPECT_TRUE(maximized);
  EXPECT_EQ(GetWindowText(frame), "Frame - [Artikel]");
  RECT area, bClient;
  GetClientRect(client, &area);
  GetClientRect(b, &bClient);
  EXPECT_EQ(bClient.right, area.right);
  EXPECT_EQ(bClient.bottom, area.bottom);
  POINT origin{0, 0};
  ClientToScreen(b, &origin);
  ScreenToClient(client, &origin);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);

  // The look carries over to the child activated next; renaming shows at once.
  SendMessage(client, WM_MDIACTIVATE, WPARAM(a.id), 0);
  EXPECT_EQ(GetWindowText(frame), "Frame - [Kunden]");
  EXPECT_FALSE(GetWindowLongPtr(b, GWL_STYLE) & WS_MAXIMIZE);
  EXPECT_EQ(InClient(b).left, normal.left);
  EXPECT_EQ(InClient(b).right, normal.right);
  SetWindowText(a, "Kunden 2");
  EXPECT_EQ(GetWindowText(frame), "Frame - [Kunden 2]");
  SetWindowText(frame, "Programm");
  EXPECT_EQ(GetWindowText(frame), "Programm - [Kunden 2]");

  // A new child comes maximized; restoring gives the frame its own title.
  const HWND c = Doc("Rechnungen");
  EXPECT_TRUE(GetWindowLongPtr(c, GWL_STYLE) & WS_MAXIMIZE);
  EXPECT_EQ(GetWindowText(frame), "Programm - [Rechnungen]");
  SendMessage(client, WM_MDIRESTORE, WPARAM(c.id), 0);
  EXPECT_EQ(GetWindowText(frame), "Programm");
}

TEST_F(win_mdi, ClosingTheMaximizedActiveChildHandsBothOnToTheNext) {
  const HWND a = Doc("Kunden"), b = Doc("Artikel");
  SendMessage(client, WM_MDIMAXIMIZE, WPARAM(b.id), 0);
  auto& spy = Spy(a);
  SendMessage(b, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(b));
  EXPECT_EQ(Active(), a);
  EXPECT_EQ(spy.Messages({WM_MDIACTIVATE}), std::vector<UINT>{WM_MDIACTIVATE});
  EXPECT_EQ(GetWindowText(frame), "Frame - [Kunden]");
  EXPECT_EQ(GetDlgCtrlID(a), int(kFirstMdiChildId));
  SendMessage(client, WM_MDIDESTROY, WPARAM(a.id), 0);
  EXPECT_EQ(Active(), HWND());
  EXPECT_EQ(GetWindowText(frame), "Frame");
  EXPECT_EQ(MenuTexts(), std::vector<std::string>{"500 &Nebeneinander"});
}

TEST_F(win_mdi, TheWindowMenuListsTheChildrenFromTheFirstId) {
  const HWND a = Doc("Kunden");
  Doc("Artikel");
  const HWND c = Doc("Rechnungen");
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"500 &Nebeneinander", "0 ", "65280 &1 Kunden",
                                                   "65281 &2 Artikel", "65282 &3 Rechnungen"}));
  // The menu's command activates its child; the ids close up when one goes.
  SendMessage(frame, WM_COMMAND, kFirstMdiChildId, 0);
  EXPECT_EQ(Active(), a);
  DestroyWindow(a);
  EXPECT_EQ(GetDlgCtrlID(c), int(kFirstMdiChildId + 1));
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"500 &Nebeneinander", "0 ", "65280 &1 Artikel",
                                                   "65281 &2 Rechnungen"}));
  // A new window menu takes the list; the old one gives it back.
  const HMENU other = CreatePopupMenu();
  const HMENU frameMenu = CreateMenu();
  EXPECT_EQ(SendMessage(client, WM_MDISETMENU, WPARAM(frameMenu.id), LPARAM(other.id)), 0);
  EXPECT_EQ(MenuTexts(), std::vector<std::string>{"500 &Nebeneinander"});
  EXPECT_EQ(GetMenuItemCount(other), 3);
  EXPECT_EQ(SendMessage(client, WM_MDIREFRESHMENU, 0, 0), LRESULT(frameMenu.id));
  EXPECT_EQ(GetMdiFrameMenu(client), frameMenu);
  DestroyMenu(other);
  DestroyMenu(frameMenu);
}

TEST_F(win_mdi, NextPreviousAndTheControlKeys) {
  const HWND a = Doc("A"), b = Doc("B"), c = Doc("C");
  struct Case {
    UINT message;
    LPARAM previous;
    HWND expected;
  };
  // z order C B A: next sends the active one to the bottom, previous takes the bottom one.
  for (const Case& k : {Case{WM_MDINEXT, 0, b}, Case{WM_MDINEXT, 0, a}, Case{WM_MDINEXT, 0, c},
                        Case{WM_MDINEXT, 1, a}, Case{WM_MDINEXT, 1, b}}) {
    SendMessage(client, k.message, 0, k.previous);
    EXPECT_EQ(Active(), k.expected);
  }
  CtrlKey(VK_F6);  // z order B A C
  EXPECT_EQ(Active(), a);
  CtrlKey(VK_F4);
  EXPECT_FALSE(IsWindow(a));
  EXPECT_EQ(Active(), c);
  CtrlKey('A', false);
  EXPECT_TRUE(IsWindow(b) && IsWindow(c));
}

TEST_F(win_mdi, TileSharesTheClientAndCascadeStepsByACaption) {
  const HWND a = Doc("A"), b = Doc("B"), c = Doc("C");
  RECT area;
  GetClientRect(client, &area);
  SendMessage(client, WM_MDIMAXIMIZE, WPARAM(c.id), 0);
  EXPECT_EQ(SendMessage(client, WM_MDITILE, MDITILE_VERTICAL, 0), 1);
  EXPECT_FALSE(GetWindowLongPtr(c, GWL_STYLE) & WS_MAXIMIZE);
  // Three windows: one column; the active one on top.
  const int third = area.bottom / 3;
  EXPECT_EQ(InClient(c).top, 0);
  EXPECT_EQ(InClient(b).top, third);
  EXPECT_EQ(InClient(a).bottom, area.bottom);
  EXPECT_EQ(InClient(a).right, area.right);
  SendMessage(client, WM_MDICASCADE, 0, 0);
  const int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  EXPECT_EQ(InClient(a).left, 0);
  EXPECT_EQ(InClient(b).top, step);
  EXPECT_EQ(InClient(c).top, 2 * step);
  EXPECT_EQ(InClient(c).right - InClient(c).left, area.right * 3 / 4);
  // A minimized child lies at the bottom and is left out of the next tiling.
  SendMessage(a, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_EQ(InClient(a).bottom, area.bottom);
  EXPECT_EQ(InClient(a).left, 0);
  SendMessage(client, WM_MDITILE, MDITILE_HORIZONTAL, 0);
  EXPECT_EQ(InClient(c).left, 0);
  EXPECT_EQ(InClient(b).left, area.right / 2);
}

TEST_F(win_mdi, FramePictures) {
  SetActiveWindow(frame);
  Doc("Kunden");
  const HWND b = Doc("Artikel");
  SendMessage(client, WM_MDICASCADE, 0, 0);
  Settle();
  EXPECT_TRUE(MatchesWindowGolden(frame, ZET_WIN_TESTS_DIR, "mdi_cascaded"));
  SendMessage(client, WM_MDIMAXIMIZE, WPARAM(b.id), 0);
  Settle();
  EXPECT_TRUE(MatchesWindowGolden(frame, ZET_WIN_TESTS_DIR, "mdi_maximized"));
}

}  // namespace
