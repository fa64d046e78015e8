// The tool-tip control fed by a get-message hook, as a dialog with tips
// installs one: which mouse messages reach the tip, when it shows, and what
// it shows.
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

#include "platform/controls/dialog.h"
#include "platform/controls/tooltip.h"
#include "platform/testing/ui.h"

using namespace win;

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

platform::DialogTemplate WithTips() {
  platform::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  t.caption = "Tipps";
  t.font = "Helv";
  t.pointSize = 8;
  t.cx = 120, t.cy = 40;
  t.items = {
      {"Edit", 201, "", 7, 7, 60, 12, kChild | WS_BORDER | WS_TABSTOP},
      {"Button", 1, "&Ok", 70, 7, 40, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
  };
  return t;
}

// The hook a dialog with tips installs: the mouse messages of the dialog's
// children go to the tip, every message goes on down the chain.
HWND hookedDialog, hookedTip;
HHOOK relayHook;
LRESULT RelayHook(int code, WPARAM wParam, LPARAM lParam) {
  const MSG& m = *reinterpret_cast<const MSG*>(lParam);
  const bool mouse = (m.message >= WM_MOUSEMOVE && m.message <= WM_LBUTTONUP) ||
                     m.message == WM_RBUTTONDOWN || m.message == WM_RBUTTONUP;
  if (code >= 0 && mouse && IsChild(hookedDialog, m.hwnd) && hookedTip) {
    MSG copy = m;
    SendMessage(hookedTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&copy));
  }
  return CallNextHookEx(relayHook, code, wParam, lParam);
}

// The dialog answers the edit's tip text when asked.
LRESULT TipTextProc(HWND, UINT msg, WPARAM, LPARAM lParam) {
  if (msg != WM_NOTIFY) return 0;
  auto* info = reinterpret_cast<NMTTDISPINFO*>(lParam);
  if (info->hdr.code != TTN_GETDISPINFO) return 0;
  std::snprintf(info->szText, sizeof info->szText, "Name (%d)", int(info->hdr.idFrom));
  return 1;
}

class tooltip : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    dialog = CreateDialogIndirectParam(WithTips(), nullptr, TipTextProc, 0);
    ASSERT_TRUE(dialog);
    tip = CreateWindowEx(WS_EX_TOPMOST, kToolTipClass, "", WS_POPUP, 0, 0, 0, 0, dialog, 0);
    ASSERT_TRUE(tip);
    TOOLINFO ok;
    ok.uFlags = TTF_IDISHWND;
    ok.hwnd = dialog;
    ok.uId = GetDlgItem(dialog, IDOK).id;
    char text[] = "Speichern";
    ok.lpszText = text;
    SendMessage(tip, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ok));
    text[0] = 'X';  // the tip keeps its own copy
    TOOLINFO edit;
    edit.hwnd = dialog;
    edit.uId = 201;
    GetClientRect(dialog, &edit.rect);
    edit.lpszText = LPSTR_TEXTCALLBACK;
    // A rectangle tool of the dialog itself: messages of the dialog are not
    // relayed, so it never shows.
    SendMessage(tip, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&edit));
    TOOLINFO editWindow;
    editWindow.uFlags = TTF_IDISHWND;
    editWindow.hwnd = dialog;
    editWindow.uId = GetDlgItem(dialog, 201).id;
    editWindow.lpszText = LPSTR_TEXTCALLBACK;
    SendMessage(tip, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&editWindow));
    hookedDialog = dialog, hookedTip = tip;
    relayHook = SetWindowsHookEx(WH_GETMESSAGE, RelayHook, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(relayHook);
    other = CreateWindowEx(0, kButtonClass, "Fremd", WS_POPUP | WS_VISIBLE, 500, 400, 80, 30, nullptr, 0);
    Settle();
  }
  void TearDown() override {
    UnhookWindowsHookEx(relayHook);
    UiTest::TearDown();
  }
  // Moves the mouse to a client point of hwnd and handles what follows.
  void MoveTo(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    InjectMouse(p, MouseButton::kNone, false);
    Settle();
  }
  void Wait(int ms) {
    Clock().Advance(uint64_t(ms));
    Settle();
  }
  HWND dialog, tip, other;
};

TEST_F(tooltip, OnlyMouseMessagesOfTheDialogsChildrenAreRelayed) {
  const HWND ok = GetDlgItem(dialog, IDOK), edit = GetDlgItem(dialog, 201);
  struct Step {
    HWND window;
    bool click;
    std::vector<std::pair<HWND, UINT>> relayed;  // what reached the tip by this step
  };
  const Step steps[] = {
      {ok, false, {{ok, WM_MOUSEMOVE}}},
      {dialog, false, {}},                                                   // the dialog is no child of itself
      {other, true, {}},                                                     // another window's clicks
      {edit, true, {{edit, WM_MOUSEMOVE}, {edit, WM_LBUTTONDOWN}, {edit, WM_LBUTTONUP}}},
  };
  std::vector<std::pair<HWND, UINT>> expected;
  for (const Step& s : steps) {
    if (s.click) Click(s.window, 3, 3);
    else MoveTo(s.window, 3, 3);
    expected.insert(expected.end(), s.relayed.begin(), s.relayed.end());
    std::vector<std::pair<HWND, UINT>> got;
    for (const MSG& m : RelayedMessages(tip)) got.emplace_back(m.hwnd, m.message);
    EXPECT_EQ(got, expected) << GetWindowText(s.window);
  }
  // A keyboard message of a child is no mouse message.
  const size_t before = RelayedMessages(tip).size();
  SetFocus(edit);
  Key('A', 'a');
  EXPECT_EQ(RelayedMessages(tip).size(), before);
}

TEST_F(tooltip, TheTipShowsAfterTheInitialDelayAndHidesOnAClickOrAMoveAway) {
  const HWND ok = GetDlgItem(dialog, IDOK);
  MoveTo(ok, 5, 5);
  Wait(kToolTipInitialDelay - 1);
  EXPECT_FALSE(IsWindowVisible(tip));
  Wait(1);
  ASSERT_TRUE(IsWindowVisible(tip));
  EXPECT_EQ(GetWindowText(tip), "Speichern");
  EXPECT_NE(GetActiveWindow(), tip);
  EXPECT_TRUE(MatchesWindowGolden(tip, ZET_CONTROLS_TESTS_DIR, "tooltip"));
  MoveTo(ok, 8, 6);  // on the same tool: stays
  EXPECT_TRUE(IsWindowVisible(tip));
  Wait(kToolTipAutoPopDelay);
  EXPECT_FALSE(IsWindowVisible(tip));
  // A press hides the tip; resting on the same tool does not bring it back.
  MoveTo(GetDlgItem(dialog, 201), 3, 3);
  MoveTo(ok, 5, 5);
  Wait(kToolTipInitialDelay);
  ASSERT_TRUE(IsWindowVisible(tip));
  Click(ok, 5, 5);
  EXPECT_FALSE(IsWindowVisible(tip));
  Wait(kToolTipInitialDelay);
  EXPECT_FALSE(IsWindowVisible(tip));
  // A tool asked for its text; moving off every tool takes the tip away.
  MoveTo(GetDlgItem(dialog, 201), 4, 4);
  Wait(kToolTipInitialDelay);
  EXPECT_EQ(GetWindowText(tip), "Name (" + std::to_string(GetDlgItem(dialog, 201).id) + ")");
  MoveTo(other, 3, 3);  // not relayed: the tip stays until its own time runs out
  EXPECT_TRUE(IsWindowVisible(tip));
  SendMessage(tip, TTM_ACTIVATE, 0);
  EXPECT_FALSE(IsWindowVisible(tip));
  MoveTo(ok, 5, 5);
  Wait(kToolTipInitialDelay);
  EXPECT_FALSE(IsWindowVisible(tip));
  EXPECT_EQ(SendMessage(tip, TTM_GETTOOLCOUNT), 3);
}

}  // namespace
