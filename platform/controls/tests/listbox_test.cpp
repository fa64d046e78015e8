// The list box: its model against a plain vector, owner-drawn lists and the
// messages their parent gets, selecting several items, tab stops and the
// double-click notification, headless.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/collate.h"
#include "platform/controls/dialog.h"
#include "platform/controls/listmodel.h"
#include "platform/testing/ui.h"

using namespace win;

namespace {

std::vector<std::string> Texts(const ListModel& m) {
  std::vector<std::string> out;
  for (int i = 0; i < m.Count(); ++i) out.push_back(m.At(i)->text);
  return out;
}

TEST(ListModel, ManyBlocksBehaveAsOneVectorAndSortByTheCollation) {
  // Inserts and deletes at places spread over many blocks, mirrored on a vector.
  ListModel m;
  std::vector<std::string> mirror;
  std::mt19937 random(7);
  for (int step = 0; step < 3000; ++step) {
    const int n = int(mirror.size());
    if (n > 0 && random() % 4 == 0) {
      const int at = int(random() % unsigned(n));
      ASSERT_TRUE(m.Delete(at));
      mirror.erase(mirror.begin() + at);
    } else {
      const int at = int(random() % unsigned(n + 1));
      const std::string text = std::to_string(step);
      ASSERT_EQ(m.Insert(at, text), at);
      mirror.insert(mirror.begin() + at, text);
    }
  }
  EXPECT_EQ(Texts(m), mirror);
  // A sorted list filled in random order holds the collation's order.
  ListModel sorted(true);
  std::vector<std::string> words;
  const char* stems[] = {"M\xfcller", "Muller", "Mueller", "stra\xdf" "e", "Strasse", "\xe9t\xe9", "ete", "Zander"};
  for (int i = 0; i < 1500; ++i) words.push_back(std::string(stems[i % 8]) + std::to_string(i % 37));
  std::shuffle(words.begin(), words.end(), random);
  for (const std::string& w : words) sorted.Add(w);
  const std::vector<std::string> got = Texts(sorted);
  EXPECT_TRUE(std::is_sorted(got.begin(), got.end(), [](const std::string& a, const std::string& b) {
    return platform::Collate(a, b, true) < 0;
  }));
  EXPECT_EQ(got.size(), words.size());
}

TEST(ListModel, SelectionMarksCaretAndAnchorFollowTheirItems) {
  ListModel m;
  for (const char* t : {"a", "b", "c", "d", "e"}) m.Add(t);
  EXPECT_TRUE(m.SelectRange(3, 1, true));
  EXPECT_FALSE(m.SelectRange(7, 9, true));
  m.SetCaret(3);
  m.SetAnchor(1);
  EXPECT_EQ(m.SelectedItems(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(m.SelectedItems(2), (std::vector<int>{1, 2}));
  m.Insert(0, "z");
  EXPECT_EQ(m.SelectedItems(), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(m.Caret(), 4);
  EXPECT_EQ(m.Anchor(), 2);
  m.Delete(2);
  EXPECT_EQ(m.Anchor(), -1);
  EXPECT_EQ(m.Caret(), 3);
  EXPECT_EQ(m.SelectedCount(), 2);
}

// --- windows ---

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

platform::DialogTemplate OneList(DWORD style) {
  platform::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  t.caption = "Liste";
  t.font = "Helv";
  t.pointSize = 8;
  t.cx = 120, t.cy = 100;
  t.items = {{"ListBox", 100, "", 5, 5, 110, 90, kChild | WS_BORDER | WS_TABSTOP | LBS_NOTIFY | style}};
  return t;
}

// What the dialog procedure below saw.
struct Seen {
  std::vector<UINT> measured;                  // item ids of WM_MEASUREITEM
  std::vector<std::pair<UINT, UINT>> drawn;    // (item, state) of WM_DRAWITEM
  std::vector<WPARAM> notes;                   // WM_COMMAND wParams from the list
} seen;

// Measures item i as 10 + 5 i pixels high and draws items as grey bars,
// black when selected.
LRESULT OwnerProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      seen.measured.push_back(mis->itemID);
      mis->itemHeight = 10 + 5 * mis->itemID;
      return 1;
    }
    case WM_DRAWITEM: {
      const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      seen.drawn.emplace_back(dis->itemID, dis->itemState);
      const RECT r{dis->rcItem.left + 1, dis->rcItem.top + 1, dis->rcItem.right - 1, dis->rcItem.bottom - 1};
      dis->hDC->FillRect(r, CreateSolidBrush((dis->itemState & ODS_SELECTED) ? RGB(0, 0, 0) : RGB(160, 160, 160)));
      return 1;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == 100) seen.notes.push_back(wParam);
      return 0;
  }
  return 0;
}

class listbox : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    seen = {};
  }
  HWND Make(DWORD style) {
    dialog = CreateDialogIndirectParam(OneList(style), nullptr, OwnerProc, 0);
    list = GetDlgItem(dialog, 100);
    return list;
  }
  void Add(std::initializer_list<const char*> texts) {
    for (const char* t : texts) SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  }
  std::vector<int> Selection() {
    std::vector<int> items(size_t(SendMessage(list, LB_GETCOUNT)));
    items.resize(size_t(SendMessage(list, LB_GETSELITEMS, items.size(), reinterpret_cast<LPARAM>(items.data()))));
    return items;
  }
  HWND dialog, list;
};

TEST_F(listbox, AVariableOwnerDrawnListMeasuresEachItemOnceAndDrawsTheSelection) {
  Make(LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS);
  EXPECT_TRUE(seen.measured.empty());  // nothing to measure at creation
  Add({"eins", "zwei", "drei"});
  SendMessage(list, LB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("neu"));
  EXPECT_EQ(seen.measured, (std::vector<UINT>{0, 1, 2, 1}));
  // Heights 10 (eins), 15 (neu), 15 (zwei), 20 (drei).
  EXPECT_EQ(SendMessage(list, LB_GETITEMHEIGHT, 2), 15);
  SendMessage(list, LB_SETCURSEL, 2);
  SetFocus(list);
  seen.drawn.clear();
  UpdateWindow(dialog);
  EXPECT_EQ(seen.drawn, (std::vector<std::pair<UINT, UINT>>{
                            {0, 0}, {1, 0}, {2, ODS_SELECTED | ODS_FOCUS}, {3, 0}}));
  Click(list, 5, 10 + 15 + 15 + 3);  // the fourth row, by the measured heights
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL), 3);
  EXPECT_EQ(SendMessage(list, LB_SETITEMHEIGHT, 0, 300), LB_ERR);
  SendMessage(list, LB_SETITEMHEIGHT, 0, 30);
  EXPECT_EQ(SendMessage(list, LB_GETITEMHEIGHT, 0), 30);
  EXPECT_TRUE(MatchesWindowGolden(list, ZET_CONTROLS_TESTS_DIR, "listbox-ownerdraw"));
}

TEST_F(listbox, AFixedOwnerDrawnListAsksOnceAndKeepsDataWithoutStrings) {
  Make(LBS_OWNERDRAWFIXED);
  EXPECT_EQ(seen.measured, (std::vector<UINT>{0}));
  for (intptr_t d : {111, 222}) SendMessage(list, LB_ADDSTRING, 0, d);
  EXPECT_EQ(seen.measured.size(), 1u);
  EXPECT_EQ(SendMessage(list, LB_GETITEMHEIGHT, 1), 10);
  EXPECT_EQ(SendMessage(list, LB_GETITEMDATA, 1), 222);
  intptr_t data = 0;
  EXPECT_EQ(SendMessage(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(&data)), LRESULT(sizeof data));
  EXPECT_EQ(data, 111);
  // An empty focused list still shows where the focus is.
  SendMessage(list, LB_RESETCONTENT);
  SetFocus(list);
  seen.drawn.clear();
  UpdateWindow(dialog);
  EXPECT_EQ(seen.drawn, (std::vector<std::pair<UINT, UINT>>{{UINT(-1), ODS_FOCUS}}));
}

TEST_F(listbox, ExtendedAndMultipleSelectionFollowClicksKeysAndModifiers) {
  struct Action {
    int row;   // a click on this row, or -1 for the key
    UINT key;
    bool shift, ctrl;
  };
  struct Case {
    const char* what;
    DWORD style;
    std::vector<Action> actions;
    std::vector<int> selected;
    int caret;
  };
  const Case cases[] = {
      {"click selects one", LBS_EXTENDEDSEL, {{1, 0, false, false}, {3, 0, false, false}}, {3}, 3},
      {"shift-click extends from the anchor", LBS_EXTENDEDSEL, {{1, 0, false, false}, {4, 0, true, false}}, {1, 2, 3, 4}, 4},
      {"ctrl-click toggles", LBS_EXTENDEDSEL, {{1, 0, false, false}, {3, 0, false, true}, {1, 0, false, true}}, {3}, 1},
      {"ctrl-shift adds a range", LBS_EXTENDEDSEL,
       {{0, 0, false, false}, {2, 0, false, true}, {4, 0, true, true}}, {0, 2, 3, 4}, 4},
      {"shift-down extends", LBS_EXTENDEDSEL, {{2, 0, false, false}, {-1, VK_DOWN, true, false}, {-1, VK_DOWN, true, false}}, {2, 3, 4}, 4},
      {"down alone moves the selection", LBS_EXTENDEDSEL, {{2, 0, false, false}, {-1, VK_DOWN, false, false}}, {3}, 3},
      {"multiple: clicks toggle", LBS_MULTIPLESEL, {{1, 0, false, false}, {3, 0, false, false}, {1, 0, false, false}}, {3}, 1},
      {"multiple: keys move the caret, space toggles", LBS_MULTIPLESEL,
       {{0, 0, false, false}, {-1, VK_DOWN, false, false}, {-1, VK_DOWN, false, false}, {-1, VK_SPACE, false, false}}, {0, 2}, 2},
  };
  for (const Case& c : cases) {
    Make(c.style);
    Add({"a", "b", "c", "d", "e"});
    for (const Action& a : c.actions) {
      if (a.shift) InjectKey(VK_SHIFT, true);
      if (a.ctrl) InjectKey(VK_CONTROL, true);
      if (a.row >= 0) Click(list, 5, 13 * a.row + 3);
      else Key(a.key, a.key == VK_SPACE ? ' ' : 0);
      if (a.shift) InjectKey(VK_SHIFT, false);
      if (a.ctrl) InjectKey(VK_CONTROL, false);
      Settle();
    }
    EXPECT_EQ(Selection(), c.selected) << c.what;
    EXPECT_EQ(SendMessage(list, LB_GETSELCOUNT), LRESULT(c.selected.size())) << c.what;
    EXPECT_EQ(SendMessage(list, LB_GETCARETINDEX), c.caret) << c.what;
    EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 1), LB_ERR) << c.what;
    DestroyWindow(dialog);
    Clock().Advance(1000);  // no double click across cases
  }
  // A program's selection: no notification; a list selecting one item refuses it.
  Make(LBS_EXTENDEDSEL);
  Add({"a", "b", "c"});
  seen.notes.clear();
  SendMessage(list, LB_SETSEL, 1, -1);
  SendMessage(list, LB_SETSEL, 0, 1);
  EXPECT_EQ(Selection(), (std::vector<int>{0, 2}));
  SendMessage(list, LB_SELITEMRANGE, 0, MAKELPARAM(0, 1));
  EXPECT_EQ(Selection(), (std::vector<int>{2}));
  EXPECT_TRUE(seen.notes.empty());
  Make(0);
  Add({"a"});
  EXPECT_EQ(SendMessage(list, LB_SETSEL, 1, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_GETSELCOUNT), LB_ERR);
}

TEST_F(listbox, ADoubleClickNotifiesAfterTheSelection) {
  Make(0);
  Add({"Kunden", "Artikel"});
  Click(list, 5, 16);
  Clock().Advance(100);
  Click(list, 5, 16);
  EXPECT_EQ(seen.notes, (std::vector<WPARAM>{MAKEWPARAM(100, LBN_SELCHANGE), MAKEWPARAM(100, LBN_DBLCLK)}));
}

TEST_F(listbox, TabStopsNeedTheirStyleAndCountInDialogUnitsOfTheListsFont) {
  Make(0);
  const int stops[] = {40, 80};
  EXPECT_EQ(SendMessage(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops)), 0);
  Make(LBS_USETABSTOPS | LBS_SORT);
  EXPECT_EQ(SendMessage(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops)), 1);
  // "Helv" 8 in the test font: 6 pixels a character, so the stops lie at 60 and 120.
  Add({"\xc4pfel\t12\t3,50", "Birnen\t7\t2,10", "apfel\t1\t0,99", "Zitronen\t30\t0,40"});
  char text[64];
  SendMessage(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "\xc4pfel\t12\t3,50");
  SendMessage(list, LB_SETCURSEL, 2);
  EXPECT_TRUE(MatchesWindowGolden(list, ZET_CONTROLS_TESTS_DIR, "listbox-tabs"));
}

}  // namespace
