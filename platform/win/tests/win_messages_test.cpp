// The window core driven headless: sending and posting, the retrieval order,
// timers, nested loops, focus and activation, input routing, painting and
// the default frame.
#include <gtest/gtest.h>

#include <functional>

#include "platform/settings/profile.h"
#include "platform/testing/ui.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace {

using namespace win;

// What the test procs do beyond DefWindowProc, per test.
std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> hook;

LRESULT TestProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (hook) {
    const LRESULT r = hook(h, m, w, l);
    if (r != -12345) return r;
  }
  return DefWindowProc(h, m, w, l);
}
constexpr LRESULT kPass = -12345;

class win_messages : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    hook = nullptr;
    WNDCLASS wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = TestProc;
    wc.background = RGB(255, 255, 255);
    wc.lpszClassName = "TestWindow";
    if (!GetClassInfo("TestWindow", nullptr)) ASSERT_TRUE(RegisterClass(wc));
  }
  void TearDown() override {
    hook = nullptr;
    UiTest::TearDown();
  }
  HWND Top(const char* title = "Fenster", DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, RECT r = {10, 10, 210, 160}) {
    return CreateWindowEx(0, "TestWindow", title, style, r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, 0);
  }
  HWND Child(HWND parent, int id, RECT r, DWORD style = WS_CHILD | WS_VISIBLE, DWORD ex = 0) {
    return CreateWindowEx(ex, "TestWindow", "", style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                          UINT_PTR(id));
  }
  // The messages a retrieval takes, in order, until the queue is empty.
  std::vector<std::pair<UINT, HWND>> Drain() {
    std::vector<std::pair<UINT, HWND>> order;
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      order.emplace_back(msg.message, msg.hwnd);
      if (msg.message != WM_QUIT) DispatchMessage(&msg);
    }
    return order;
  }
};

TEST_F(win_messages, SendRunsAtOncePostWaitsForThePump) {
  const HWND h = Top();
  Settle();
  auto& spy = Spy(h);
  EXPECT_EQ(SendMessage(h, WM_USER + 1, 2, 3), 0);
  EXPECT_EQ(spy.Messages(), std::vector<UINT>{WM_USER + 1});
  PostMessage(h, WM_USER + 2, 4, 5);
  EXPECT_EQ(spy.Messages(), std::vector<UINT>{WM_USER + 1});
  Settle();
  ASSERT_EQ(spy.Entries().size(), 2u);
  EXPECT_EQ(spy.Entries()[1], (zettest::SpiedMessage{h, WM_USER + 2, 4, 5, true}));
}

TEST_F(win_messages, SendsNestToTheDepthLimitAndNoFurther) {
  const HWND h = Top();
  int deepest = 0;
  hook = [&](HWND hwnd, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m != WM_USER) return kPass;
    deepest = std::max(deepest, int(w));
    SendMessage(hwnd, WM_USER, w + 1, 0);
    return LRESULT(w);
  };
  EXPECT_EQ(SendMessage(h, WM_USER, 1, 0), 1);
  EXPECT_EQ(deepest, kMaxSendDepth);
  EXPECT_EQ(SendDepth(), 0);
}

TEST_F(win_messages, RetrievalOrderIsPostedInputQuitPaintTimer) {
  const HWND parent = Top("Eltern");
  const HWND child = Child(parent, 5, {10, 10, 60, 40});
  SetFocus(child);
  Drain();
  SetTimer(parent, 1, 100);
  Clock().Advance(100);
  InvalidateRect(parent, nullptr, true);  // reaches the child too
  PostQuitMessage(3);
  InjectKey('A', true, 'a');
  PostMessage(child, WM_USER + 7);
  const std::vector<std::pair<UINT, HWND>> expected = {
      {WM_USER + 7, child}, {WM_KEYDOWN, child}, {WM_QUIT, nullptr},
      {WM_PAINT, parent},   {WM_PAINT, child},   {WM_TIMER, parent},
  };
  EXPECT_EQ(Drain(), expected);
}

// What the hooks of the chain below saw, in call order, as "name:message".
std::vector<std::string> hooked;
HHOOK outerHook, innerHook;

LRESULT InnerHook(int code, WPARAM wParam, LPARAM lParam) {
  const MSG& m = *reinterpret_cast<MSG*>(lParam);
  hooked.push_back("inner:" + std::to_string(m.message));
  return CallNextHookEx(innerHook, code, wParam, lParam);
}

LRESULT OuterHook(int code, WPARAM wParam, LPARAM lParam) {
  MSG& m = *reinterpret_cast<MSG*>(lParam);
  EXPECT_EQ(code, HC_ACTION);
  EXPECT_EQ(wParam, WPARAM(PM_REMOVE));
  hooked.push_back("outer:" + std::to_string(m.message));
  if (m.message == WM_USER + 2) m.message = WM_NULL;  // taken by the hook
  if (m.message == WM_USER + 4) return 0;             // the chain ends here
  return CallNextHookEx(outerHook, code, wParam, lParam);
}

TEST_F(win_messages, GetMessageHooksSeeEveryRemovedMessageNewestFirst) {
  const HWND h = Top();
  Drain();
  hooked.clear();
  EXPECT_FALSE(SetWindowsHookEx(WH_GETMESSAGE + 1, InnerHook, nullptr, GetCurrentThreadId()));
  EXPECT_FALSE(SetWindowsHookEx(WH_GETMESSAGE, InnerHook, nullptr, GetCurrentThreadId() + 1));
  EXPECT_FALSE(SetWindowsHookEx(WH_GETMESSAGE, nullptr, nullptr, GetCurrentThreadId()));
  innerHook = SetWindowsHookEx(WH_GETMESSAGE, InnerHook, nullptr, GetCurrentThreadId());
  outerHook = SetWindowsHookEx(WH_GETMESSAGE, OuterHook, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(innerHook && outerHook);
  auto& spy = Spy(h);
  PostMessage(h, WM_USER + 1);
  PostMessage(h, WM_USER + 2);
  PostMessage(h, WM_USER + 4);
  MSG msg;
  EXPECT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));  // looking is not removing
  EXPECT_TRUE(hooked.empty());
  Settle();
  const std::string u1 = std::to_string(WM_USER + 1), u4 = std::to_string(WM_USER + 4);
  EXPECT_EQ(hooked, (std::vector<std::string>{"outer:" + u1, "inner:" + u1, "outer:" + std::to_string(WM_USER + 2),
                                              "inner:0", "outer:" + u4}));
  EXPECT_EQ(spy.Messages(), (std::vector<UINT>{WM_USER + 1, WM_NULL, WM_USER + 4}));
  EXPECT_TRUE(UnhookWindowsHookEx(outerHook));
  EXPECT_FALSE(UnhookWindowsHookEx(outerHook));
  EXPECT_EQ(CallNextHookEx(outerHook, HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&msg)), 0);
  hooked.clear();
  PostMessage(h, WM_USER + 3);
  Settle();
  EXPECT_EQ(hooked, (std::vector<std::string>{"inner:" + std::to_string(WM_USER + 3)}));
  UnhookWindowsHookEx(innerHook);
  PostMessage(h, WM_USER + 3);
  Settle();
  EXPECT_EQ(hooked.size(), 1u);
}

TEST_F(win_messages, FiltersTakeOnlyTheirWindowsAndRange) {
  const HWND a = Top("A"), b = Top("B");
  Drain();
  PostMessage(a, WM_USER + 1);
  PostMessage(b, WM_USER + 2);
  PostMessage(b, WM_USER + 3);
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, b, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 3);
  ASSERT_TRUE(PeekMessage(&msg, b, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2);
  EXPECT_FALSE(PeekMessage(&msg, a, WM_USER + 2, WM_USER + 9, PM_REMOVE));
  EXPECT_EQ(Drain().size(), 2u);
}

TEST_F(win_messages, TimersAreCoalescedAndReArmedWhenTaken) {
  const HWND h = Top();
  Drain();
  SetTimer(h, 1, 400);
  struct Case {
    uint64_t advance;
    size_t timers;
  };
  const Case cases[] = {{399, 0}, {1, 1}, {0, 0}, {1200, 1}, {399, 0}, {1, 1}};
  for (const Case& c : cases) {
    Clock().Advance(c.advance);
    size_t n = 0;
    for (const auto& [m, w] : Drain()) n += m == WM_TIMER && w == h;
    EXPECT_EQ(n, c.timers) << "after advancing " << c.advance;
  }
  EXPECT_TRUE(KillTimer(h, 1));
  Clock().Advance(5000);
  EXPECT_TRUE(Drain().empty());
  EXPECT_EQ(NextTimerIn(), -1);
}

TEST_F(win_messages, NestedModalLoopAnswersTheEndModalValue) {
  const HWND owner = Top("Haupt");
  const HWND dialog = Top("Dialog", WS_POPUP | WS_CAPTION | WS_VISIBLE, {50, 50, 150, 120});
  Then([] { EndModal(7); }, "EndModal(7)");
  EXPECT_EQ(RunModal(dialog), 7);
  // A loop inside a loop: the inner one ends first.
  Then([&] { PostMessage(owner, WM_USER); }, "wake");
  hook = [&](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m == WM_USER && h == owner) {
      Then([] { EndModal(2); }, "inner end");
      EXPECT_EQ(RunModal(owner), 2);
      EndModal(9);
      return 0;
    }
    return kPass;
  };
  EXPECT_EQ(RunModal(dialog), 9);
}

TEST_F(win_messages, QuitEndsAModalLoopAndIsPostedAgain) {
  const HWND dialog = Top("Dialog");
  Then([] { PostQuitMessage(4); }, "quit");
  EXPECT_EQ(RunModal(dialog), -1);
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 4u);
}

TEST_F(win_messages, ALoopWithNothingToDoNamesTheOpenLoops) {
  const HWND dialog = Top("Bitte warten");
  LoopScope outer("MessageLoop");
  try {
    RunModal(dialog);
    FAIL() << "no UiDeadlock";
  } catch (const UiDeadlock& e) {
    EXPECT_NE(std::string(e.what()).find("MessageLoop > RunModal TestWindow \"Bitte warten\""), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(OpenLoops(), std::vector<std::string>{"MessageLoop"});
  EXPECT_TRUE(ModalWindows().empty());
}

TEST_F(win_messages, AnIdleWaitMovesTheVirtualClockToTheNextTimer) {
  const HWND h = Top();
  Drain();
  SetTimer(h, 3, 250);
  MSG msg;
  ASSERT_TRUE(GetMessage(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(Clock().Now(), 250u);
}

TEST_F(win_messages, FocusActivatesTheTopLevelWindowFirst) {
  const HWND a = Top("A");
  const HWND b = Top("B");
  const HWND field = Child(a, 10, {5, 5, 50, 25});
  Settle();
  ASSERT_EQ(GetActiveWindow(), b);
  auto& spy = Spy(a, true);
  auto& spyB = Spy(b);
  SetFocus(field);
  EXPECT_EQ(spyB.Messages({WM_NCACTIVATE, WM_ACTIVATE, WM_KILLFOCUS}),
            (std::vector<UINT>{WM_NCACTIVATE, WM_ACTIVATE, WM_KILLFOCUS}));
  EXPECT_EQ(spy.Messages({WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS}),
            (std::vector<UINT>{WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS, WM_SETFOCUS}));
  EXPECT_EQ(GetFocus(), field);
  EXPECT_EQ(GetActiveWindow(), a);
  DestroyWindow(field);
  EXPECT_EQ(GetFocus(), HWND());
}

TEST_F(win_messages, MouseInputIsRoutedWhenTaken) {
  const HWND top = Top("Maus");
  const HWND button = Child(top, 1, {20, 20, 80, 50});
  const HWND off = Child(top, 2, {100, 20, 160, 50}, WS_CHILD | WS_VISIBLE | WS_DISABLED);
  Settle();
  auto& spyButton = Spy(button);
  auto& spyTop = Spy(top);
  auto& spyOff = Spy(off);
  const std::vector<UINT> clicks{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
  Click(button, 5, 6);
  ASSERT_EQ(spyButton.Messages(clicks), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  EXPECT_EQ(spyButton.Entries()[spyButton.Entries().size() - 1].lParam, MAKELPARAM(5, 6));
  Click(button, 6, 6);  // within 4 px and 500 ms
  EXPECT_EQ(spyButton.Messages(clicks),
            (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
  Clock().Advance(600);
  Click(off, 5, 5);  // disabled: dropped
  EXPECT_TRUE(spyOff.Messages(clicks).empty());
  SetCapture(button);
  Click(top, 150, 100);  // captured: the button gets it, in its own coordinates
  EXPECT_EQ(spyButton.Entries().back().lParam, MAKELPARAM(150 - 20, 100 - 20));
  ReleaseCapture();
  spyTop.Clear();
  POINT caption{60, 5};
  ClientToScreen(top, &caption);
  caption.y = 10 + 10;  // on the caption bar
  InjectMouse(caption, MouseButton::kLeft, true);
  Settle();
  EXPECT_EQ(spyTop.Messages({WM_NCLBUTTONDOWN, WM_LBUTTONDOWN}), std::vector<UINT>{WM_NCLBUTTONDOWN});
}

TEST_F(win_messages, KeysGoToTheFocusAndTranslateToCharacters) {
  const HWND top = Top();
  const HWND field = Child(top, 3, {5, 5, 100, 30});
  SetFocus(field);
  Settle();
  auto& spy = Spy(field);
  Type("Mü");
  EXPECT_EQ(spy.Messages({WM_KEYDOWN, WM_CHAR}),
            (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR}));
  std::vector<WPARAM> chars;
  for (const auto& e : spy.Entries())
    if (e.message == WM_CHAR) chars.push_back(e.wParam);
  EXPECT_EQ(chars, (std::vector<WPARAM>{'M', 0xFC}));
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
}

TEST_F(win_messages, DestructionOrderAndStaleHandles) {
  const HWND top = Top();
  const HWND child = Child(top, 1, {0, 0, 10, 10});
  const HWND owned = Top("Besitz", WS_POPUP);
  DestroyWindow(owned);
  const HWND popup = CreateWindowEx(0, "TestWindow", "Popup", WS_POPUP, 0, 0, 10, 10, top, 0);
  std::vector<std::pair<UINT, HWND>> order;
  hook = [&](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m == WM_DESTROY || m == WM_NCDESTROY) order.emplace_back(m, h);
    return kPass;
  };
  DestroyWindow(top);
  const std::vector<std::pair<UINT, HWND>> expected = {
      {WM_DESTROY, popup}, {WM_NCDESTROY, popup}, {WM_DESTROY, top},
      {WM_DESTROY, child}, {WM_NCDESTROY, child}, {WM_NCDESTROY, top},
  };
  EXPECT_EQ(order, expected);
  for (HWND h : {top, child, owned, popup}) EXPECT_FALSE(IsWindow(h));
  const HWND fresh = Top();
  for (HWND h : {top, child, owned, popup}) EXPECT_NE(fresh, h);
  EXPECT_EQ(SendMessage(top, WM_USER), 0);
}

TEST_F(win_messages, StrictHandlesAbortWhereAStaleHandleIsUsed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const HWND h = Top();
  DestroyWindow(h);
  EXPECT_EQ(SendMessage(h, WM_USER), 0);  // not strict: the call does nothing
  EXPECT_DEATH(
      {
        setenv("QMK_STRICT_HANDLES", "1", 1);
        const HWND gone = Top();
        DestroyWindow(gone);
        SendMessage(gone, WM_USER);
      },
      "");
}

TEST_F(win_messages, InvalidationReachesChildrenAndPaintsParentsFirst) {
  const HWND top = Top("Farben");
  const HWND child = Child(top, 1, {20, 20, 80, 60});
  Settle();
  const RECT inner{30, 30, 40, 40};  // inside the child
  const RECT outer{150, 90, 160, 100};
  auto& spy = Spy(top, true);
  InvalidateRect(top, &outer, false);
  Settle();
  EXPECT_EQ(spy.Messages({WM_PAINT}), std::vector<UINT>{WM_PAINT});
  spy.Clear();
  InvalidateRect(top, &inner, true);
  Settle();
  std::vector<std::pair<UINT, HWND>> seen;
  for (const auto& e : spy.Entries())
    if (e.message == WM_PAINT || e.message == WM_ERASEBKGND) seen.emplace_back(e.message, e.hwnd);
  const std::vector<std::pair<UINT, HWND>> expected = {
      {WM_PAINT, top}, {WM_ERASEBKGND, top}, {WM_PAINT, child}, {WM_ERASEBKGND, child}};
  EXPECT_EQ(seen, expected);
  RECT pending;
  EXPECT_FALSE(GetUpdateRect(child, &pending, false));
}

TEST_F(win_messages, InvalidationDuringPaintIsKeptAndAnUnpaintedRegionIsNotAskedAgain) {
  const HWND h = Top("", WS_POPUP | WS_VISIBLE, {0, 0, 50, 50});
  int paints = 0;
  hook = [&](HWND hwnd, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m != WM_PAINT) return kPass;
    // Neither BeginPaint nor EndPaint; the first time it asks for more.
    if (++paints == 1) {
      const RECT r{0, 0, 5, 5};
      InvalidateRect(hwnd, &r, false);
    }
    return 0;
  };
  Settle();
  EXPECT_EQ(paints, 2);
  RECT pending;
  EXPECT_FALSE(GetUpdateRect(h, &pending, false));
}

TEST_F(win_messages, WinIniWritesReachTheTopLevelWindows) {
  const HWND a = Top("A"), b = Top("B");
  const HWND child = Child(a, 1, {0, 0, 10, 10});
  auto& spyA = Spy(a);
  auto& spyB = Spy(b);
  auto& spyChild = Spy(child);
  std::string section;
  hook = [&](HWND h, UINT m, WPARAM, LPARAM l) -> LRESULT {
    if (m == WM_WININICHANGE && h == a) section = reinterpret_cast<const char*>(l);
    return kPass;
  };
  ASSERT_TRUE(WriteProfileStringA("intl", "sDecimal", ","));
  EXPECT_EQ(spyA.Messages({WM_WININICHANGE}).size(), 1u);
  EXPECT_EQ(spyB.Messages({WM_WININICHANGE}).size(), 1u);
  EXPECT_TRUE(spyChild.Messages({WM_WININICHANGE}).empty());
  EXPECT_EQ(section, "intl");
}

// One window of each kind, painted by the defaults and a client that draws.
TEST_F(win_messages, WindowKindsMatchTheirGoldens) {
  hook = [](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m != WM_PAINT || GetDlgCtrlID(h) != 7) return kPass;
    PAINTSTRUCT ps;
    Dc* dc = BeginPaint(h, &ps);
    dc->FillRect({4, 4, 40, 20}, CreateSolidBrush(RGB(255, 0, 0)));
    dc->TextOut(4, 24, "Text");
    EndPaint(h, &ps);
    return 0;
  };
  const HWND overlapped = Top("Hauptfenster");
  Child(overlapped, 7, {10, 10, 110, 70}, WS_CHILD | WS_VISIBLE, WS_EX_CLIENTEDGE);
  const HWND dialog = Top("Dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME | WS_VISIBLE, {260, 10, 420, 110});
  const HWND bordered = Top("", WS_POPUP | WS_BORDER | WS_VISIBLE, {260, 150, 320, 190});
  Settle();
  EXPECT_TRUE(MatchesWindowGolden(overlapped, ZET_WIN_TESTS_DIR, "overlapped_inactive"));
  EXPECT_TRUE(MatchesWindowGolden(dialog, ZET_WIN_TESTS_DIR, "dialog_frame"));
  EXPECT_TRUE(MatchesWindowGolden(bordered, ZET_WIN_TESTS_DIR, "popup_border"));
  SetActiveWindow(overlapped);
  EXPECT_TRUE(MatchesWindowGolden(overlapped, ZET_WIN_TESTS_DIR, "overlapped_active"));
}

TEST_F(win_messages, ScrollingMovesPixelsAndInvalidatesTheUncoveredStrip) {
  const HWND top = Top("", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
  hook = [](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m != WM_PAINT) return kPass;
    PAINTSTRUCT ps;
    Dc* dc = BeginPaint(h, &ps);
    dc->FillRect({0, 0, 100, 10}, CreateSolidBrush(RGB(0, 0, 255)));
    EndPaint(h, &ps);
    return 0;
  };
  Settle();
  hook = nullptr;
  Region uncovered;
  EXPECT_EQ(ScrollWindowEx(top, 0, 30, nullptr, nullptr, &uncovered, nullptr, SW_INVALIDATE), SIMPLEREGION);
  EXPECT_EQ(uncovered.Box(), (RECT{0, 0, 100, 30}));
  const auto surface = WindowSurface(top);
  EXPECT_EQ(surface->Get(50, 35), ToPixel(RGB(0, 0, 255)));
  EXPECT_EQ(surface->Get(50, 45), ToPixel(RGB(255, 255, 255)));
  RECT pending;
  ASSERT_TRUE(GetUpdateRect(top, &pending, false));
  EXPECT_EQ(pending, (RECT{0, 0, 100, 30}));
}

TEST_F(win_messages, TheScreenComposesTopLevelWindowsInZOrder) {
  const HWND low = Top("", WS_POPUP | WS_VISIBLE, {0, 0, 50, 50});
  const HWND high = Top("", WS_POPUP | WS_VISIBLE, {25, 25, 75, 75});
  hook = [&](HWND h, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m != WM_ERASEBKGND) return kPass;
    RECT r;
    GetClientRect(h, &r);
    reinterpret_cast<Dc*>(w)->FillRect(r, CreateSolidBrush(h == low ? RGB(255, 0, 0) : RGB(0, 255, 0)));
    return 1;
  };
  Settle();
  const auto screen = display::SnapshotScreen();
  EXPECT_EQ(screen->Get(10, 10), ToPixel(RGB(255, 0, 0)));
  EXPECT_EQ(screen->Get(30, 30), ToPixel(RGB(0, 255, 0)));
  EXPECT_EQ(screen->Get(90, 90), ToPixel(GetSysColor(COLOR_BACKGROUND)));
  BringWindowToTop(low);
  EXPECT_EQ(display::SnapshotScreen()->Get(30, 30), ToPixel(RGB(255, 0, 0)));
}

}  // namespace
