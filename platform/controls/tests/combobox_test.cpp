// The combo box driven headless: its drop-down list by keys and mouse, the
// notifications in their order, and the edit of a drop-down combo box.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/controls/dialog.h"
#include "platform/controls/tests/dialog_keys.h"
#include "platform/testing/ui.h"

using namespace win;

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr UINT kF4 = 0x73;

platform::DialogTemplate Choice() {
  platform::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  t.caption = "Auswahl";
  t.font = "Helv";
  t.pointSize = 8;
  t.cx = 150, t.cy = 60;
  t.items = {
      {"ComboBox", 300, "", 5, 5, 80, 60, kChild | CBS_DROPDOWNLIST | WS_TABSTOP},
      {"ComboBox", 301, "", 5, 25, 80, 60, kChild | CBS_DROPDOWN | CBS_SORT | WS_TABSTOP},
      {"Button", 1, "&Ok", 95, 5, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
  };
  return t;
}

// The notifications of the combo boxes and the buttons, as (id, code).
std::vector<std::pair<int, int>> notes;
LRESULT ChoiceProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_COMMAND) notes.emplace_back(LOWORD(wParam), HIWORD(wParam));
  return 0;
}

class combobox : public zettest::DialogKeysTest {
 protected:
  void SetUp() override {
    DialogKeysTest::SetUp();
    notes.clear();
    dialog = CreateDialogIndirectParam(Choice(), nullptr, ChoiceProc, 0);
    ASSERT_TRUE(dialog);
    for (int id : {300, 301})
      for (const char* t : {"Kunden", "Artikel", "Lager", "\xc4nderungen"})
        SendDlgItemMessage(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  }
  // The drop-down list of a combo box: a list box the dialog owns.
  HWND ListOf(HWND combo) {
    const RECT field = Rect(combo);
    for (HWND h : GetChildren(nullptr))
      if (GetClassName(h) == kListBoxClass && GetOwner(h) == dialog && Rect(h).left == field.left) return h;
    return nullptr;
  }
  RECT Rect(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return r;
  }
  void AltDown() {
    InjectKey(VK_MENU, true);
    Key(VK_DOWN);
    InjectKey(VK_MENU, false);
    Settle();
  }
  std::vector<std::pair<int, int>> Take() {
    std::vector<std::pair<int, int>> taken;
    std::swap(taken, notes);
    return taken;
  }
  HWND dialog;
};

TEST_F(combobox, ADropListFollowsTheKeysAndNotifiesInOrder) {
  const HWND combo = GetDlgItem(dialog, 300);
  EXPECT_EQ(GetFocus(), combo);
  // The box is as high as its field; the list was made as high as the template said.
  EXPECT_EQ(Rect(combo).bottom - Rect(combo).top, 13 + 8);
  EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 1), 1);
  EXPECT_EQ(GetWindowText(combo), "Artikel");
  Take();
  struct Step {
    const char* what;
    std::function<void()> act;
    int selection;
    bool dropped;
    std::vector<std::pair<int, int>> notes;
  };
  const std::vector<Step> steps = {
      {"Down selects the next", [&] { Key(VK_DOWN); }, 2, false, {{300, CBN_SELCHANGE}}},
      {"F4 drops", [&] { Key(kF4); }, 2, true, {{300, CBN_DROPDOWN}}},
      {"Down in the list", [&] { Key(VK_DOWN); }, 3, true, {{300, CBN_SELCHANGE}}},
      {"Esc cancels and puts back", [&] { Key(VK_ESCAPE); }, 2, false,
       {{300, CBN_SELENDCANCEL}, {300, CBN_CLOSEUP}}},
      {"Alt+Down drops", [&] { AltDown(); }, 2, true, {{300, CBN_DROPDOWN}}},
      {"Home in the list", [&] { Key(VK_HOME); }, 0, true, {{300, CBN_SELCHANGE}}},
      {"Enter takes it", [&] { Key(VK_RETURN); }, 0, false, {{300, CBN_SELENDOK}, {300, CBN_CLOSEUP}}},
      {"a character finds an item", [&] { Key('L', 'l'); }, 2, false, {{300, CBN_SELCHANGE}}},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL), s.selection) << s.what;
    EXPECT_EQ(SendMessage(combo, CB_GETDROPPEDSTATE), LRESULT(s.dropped)) << s.what;
    EXPECT_EQ(IsWindowVisible(ListOf(combo)), s.dropped) << s.what;
    EXPECT_EQ(Take(), s.notes) << s.what;
  }
}

TEST_F(combobox, AClickInTheDroppedListSelectsAndClosesIt) {
  const HWND combo = GetDlgItem(dialog, 300);
  Click(combo, 10, 5);
  const HWND list = ListOf(combo);
  ASSERT_TRUE(IsWindowVisible(list));
  EXPECT_EQ(Rect(list).top, Rect(combo).bottom);
  EXPECT_TRUE(MatchesWindowGolden(list, ZET_CONTROLS_TESTS_DIR, "combobox-list"));
  EXPECT_EQ(GetActiveWindow(), dialog);
  Take();
  Click(list, 5, 13 * 3 + 3);  // the fourth item
  EXPECT_EQ(GetWindowText(combo), "\xc4nderungen");
  EXPECT_FALSE(IsWindowVisible(list));
  EXPECT_EQ(GetFocus(), combo);
  EXPECT_EQ(Take(), (std::vector<std::pair<int, int>>{{300, CBN_SELCHANGE}, {300, CBN_SELENDOK}, {300, CBN_CLOSEUP}}));
  EXPECT_TRUE(MatchesWindowGolden(dialog, ZET_CONTROLS_TESTS_DIR, "combobox"));
  // Losing the focus closes the list as a cancel.
  Key(kF4);
  SendMessage(dialog, WM_NEXTDLGCTL, WPARAM(GetDlgItem(dialog, IDOK).id), 1);
  EXPECT_FALSE(IsWindowVisible(list));
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL), 3);
}

TEST_F(combobox, ADropDownCombosEditTypesAndFollowsTheSelection) {
  const HWND combo = GetDlgItem(dialog, 301);
  const HWND edit = GetDlgItem(combo, kComboEditId);
  ASSERT_TRUE(edit);
  SendMessage(dialog, WM_NEXTDLGCTL, WPARAM(combo.id), 1);
  EXPECT_EQ(GetFocus(), edit);
  char text[32];
  SendMessage(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "\xc4nderungen");  // sorted: the umlaut collates as its base letter
  Take();
  Type("Neu");
  EXPECT_EQ(GetWindowText(combo), "Neu");
  EXPECT_EQ(Take(), (std::vector<std::pair<int, int>>(3, {301, CBN_EDITCHANGE})));
  Key(VK_DOWN);  // the edit gives the combo box its keys
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL), 0);
  EXPECT_EQ(GetWindowText(combo), "\xc4nderungen");
  EXPECT_EQ(Take(), (std::vector<std::pair<int, int>>{{301, CBN_SELCHANGE}}));
  Key(kF4);
  EXPECT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE));
  Key(VK_RETURN);  // closes the list; the dialog's default button stays untouched
  EXPECT_FALSE(SendMessage(combo, CB_GETDROPPEDSTATE));
  for (const auto& n : notes) EXPECT_NE(n.first, IDOK);
  Key(VK_RETURN);
  EXPECT_EQ(notes.back(), (std::pair<int, int>{IDOK, BN_CLICKED}));
}

}  // namespace
