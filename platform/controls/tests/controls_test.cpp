// The controls' models, the controls driven by input, and the dialog
// manager's keyboard interface, headless.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/controls/dialog.h"
#include "platform/controls/listmodel.h"
#include "platform/controls/models.h"
#include "platform/controls/tests/dialog_keys.h"
#include "platform/testing/ui.h"

using namespace win;

namespace {

// --- models ---

TEST(EditModel, EditsKeepTheLimitTheSelectionAndTheModifiedFlag) {
  struct Case {
    const char* what;
    const char* start;
    int limit, selStart, selEnd;
    const char* typed;  // "\b" backspace, "\x7f" delete forward, else inserted
    const char* text;
    int caret;
    bool whole;
  };
  const Case cases[] = {
      {"insert at the caret", "abc", 10, 1, 1, "X", "aXbc", 2, true},
      {"replace a selection", "abcdef", 10, 1, 4, "Z", "aZef", 2, true},
      {"cut at the limit", "abcd", 5, 4, 4, "XYZ", "abcdX", 5, false},
      {"full field refuses", "abcde", 5, 5, 5, "X", "abcde", 5, false},
      {"replace at the limit fits", "abcde", 5, 0, 2, "XY", "XYcde", 2, true},
      {"backspace", "abc", 10, 3, 3, "\b", "ab", 2, true},
      {"backspace at the start", "abc", 10, 0, 0, "\b", "abc", 0, false},
      {"delete forward", "abc", 10, 0, 0, "\x7f", "bc", 0, true},
      {"line ends are dropped", "", 10, 0, 0, "a\r\nb", "ab", 2, true},
  };
  for (const Case& c : cases) {
    EditModel m;
    m.SetLimit(c.limit);
    m.SetText(c.start);
    m.SetSel(c.selStart, c.selEnd);
    bool whole;
    if (std::string(c.typed) == "\b") whole = m.Backspace();
    else if (std::string(c.typed) == "\x7f") whole = m.DeleteForward();
    else whole = m.ReplaceSel(c.typed, true);
    EXPECT_EQ(m.Text(), c.text) << c.what;
    EXPECT_EQ(m.Caret(), c.caret) << c.what;
    EXPECT_EQ(whole, c.whole) << c.what;
    EXPECT_EQ(m.Modified(), m.Text() != c.start) << c.what;
  }
}

TEST(EditModel, SetTextIsAProgramsWriteAndPasswordAndUpperCaseShapeWhatIsShownAndTyped) {
  EditModel m;
  m.SetLimit(4);
  m.SetText("abcdef");
  EXPECT_EQ(m.Text(), "abcd");
  EXPECT_FALSE(m.Modified());
  m.SetSel(0, -1);
  EXPECT_EQ(m.SelEnd(), 4);
  m.SetPasswordChar('*');
  EXPECT_EQ(m.Shown(), "****");
  m.SetUpperCase(true);
  m.SetText("");
  m.ReplaceSel("m\xfc", true);
  EXPECT_EQ(m.Text(), "M\xdc");
}

TEST(ListModel, SortedItemsCollateAndTheCurrentItemMovesWithItsItem) {
  ListModel sorted(true);
  for (const char* t : {"birne", "Apfel", "\xc4pfel", "apfel", "Zitrone"}) sorted.Add(t);
  std::vector<std::string> order;
  for (int i = 0; i < sorted.Count(); ++i) order.push_back(sorted.At(i)->text);
  // An umlaut sorts with its base letter, after the same word without it.
  EXPECT_EQ(order, (std::vector<std::string>{"Apfel", "apfel", "\xc4pfel", "birne", "Zitrone"}));
  EXPECT_EQ(sorted.FindPrefix(-1, "AP"), 0);
  EXPECT_EQ(sorted.FindPrefix(0, "ap"), 1);
  EXPECT_EQ(sorted.FindPrefix(1, "ap"), 0);  // wraps
  EXPECT_EQ(sorted.FindPrefix(-1, "x"), -1);
  ASSERT_TRUE(sorted.SetCurrent(3));
  sorted.Delete(0);
  EXPECT_EQ(sorted.Current(), 2);
  sorted.Delete(2);
  EXPECT_EQ(sorted.Current(), -1);
  EXPECT_FALSE(sorted.SetCurrent(7));
  ListModel plain;
  EXPECT_EQ(plain.Insert(1, "x"), -1);
  EXPECT_EQ(plain.Insert(-1, "x"), 0);
}

// --- the dialog manager ---

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

platform::DialogTemplate InputLike() {
  platform::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  t.font = "Helv";
  t.pointSize = 8;
  t.cx = 167, t.cy = 52;
  t.items = {
      {"Static", 200, "&Name", 7, 5, 153, 8, kChild},
      {"Edit", 201, "", 7, 16, 153, 12, kChild | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
      {"Button", 1, "&Ok", 58, 34, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {"Button", 2, "&Abbrechen", 110, 34, 50, 14, kChild | WS_TABSTOP},
  };
  return t;
}

// A dialog procedure that ends on IDOK and IDCANCEL and records clicks.
std::vector<int> commands;
LRESULT RecordingProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  commands.push_back(LOWORD(wParam));
  if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
  return 1;
}

class controls : public zettest::DialogKeysTest {
 protected:
  void SetUp() override {
    DialogKeysTest::SetUp();
    commands.clear();
  }
  HWND Make(const platform::DialogTemplate& t) {
    platform::DialogTemplate shown = t;
    shown.style |= WS_VISIBLE;
    return CreateDialogIndirectParam(shown, nullptr, RecordingProc, 0);
  }
};

TEST_F(controls, DialogUnitsComeFromTheDialogFont) {
  const HWND d = Make(InputLike());
  ASSERT_TRUE(d);
  // "Helv" 8 at 96 dpi is an 11-pixel em: the test font's cell is 13, its characters 6 wide.
  EXPECT_EQ(DialogBaseUnitsOf(DialogFontOf(InputLike())).cx, 6);
  EXPECT_EQ(DialogBaseUnitsOf(DialogFontOf(InputLike())).cy, 13);
  RECT r{7, 16, 160, 28};
  ASSERT_TRUE(MapDialogRect(d, &r));
  EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{11, 26, 240, 46}));
  RECT client;
  GetClientRect(d, &client);
  EXPECT_EQ(client.right, 251);  // 167 * 6 / 4, rounded
  EXPECT_EQ(client.bottom, 85);  // 52 * 13 / 8, rounded
  EXPECT_EQ(GetDialogBaseUnits(), 8 | (16 << 16));
  platform::DialogTemplate noFont = InputLike();
  noFont.font.clear();
  EXPECT_EQ(DialogBaseUnitsOf(DialogFontOf(noFont)).cx, 8);
}

TEST_F(controls, InitDialogFocusesTheFirstTabStopAndTabSkipsDisabledControls) {
  const HWND d = Make(InputLike());
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 201));
  EnableWindow(GetDlgItem(d, 1), false);
  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 2));
  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 201));  // cyclic
  InjectKey(VK_SHIFT, true);
  Key(VK_TAB);
  InjectKey(VK_SHIFT, false);
  Settle();
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 2));
}

TEST_F(controls, EnterAndEscapeEndAModalDialog) {
  struct Case {
    UINT key;
    int focusId;  // 0: leave the focus in the edit
    bool disableDefault;
    int result;
    std::vector<int> commands;
  };
  const Case cases[] = {
      {VK_RETURN, 0, false, IDOK, {IDOK}},
      {VK_ESCAPE, 0, false, IDCANCEL, {IDCANCEL}},
      {VK_RETURN, 2, false, IDCANCEL, {IDCANCEL}},         // the focused push button
      {VK_RETURN, 0, true, IDCANCEL, {IDCANCEL}},          // a disabled default only beeps; Esc ends
  };
  for (const Case& c : cases) {
    commands.clear();
    Then([&] {
      const HWND d = ModalWindows().back();
      if (c.focusId) SendMessage(d, WM_NEXTDLGCTL, WPARAM(GetDlgItem(d, c.focusId).id), 1);
      if (c.disableDefault) EnableWindow(GetDlgItem(d, 1), false);
      Key(c.key);
      if (c.disableDefault) {
        EXPECT_EQ(Display().Beeps(), 1);
        Key(VK_ESCAPE);
      }
    });
    EXPECT_EQ(DialogBoxIndirectParam(InputLike(), nullptr, RecordingProc, 0), c.result);
    EXPECT_EQ(commands, c.commands);
  }
}

TEST_F(controls, TypingGoesIntoTheEditAndGetDlgCodeDecidesWhatTheDialogTakes) {
  const HWND d = Make(InputLike());
  Type("Müller");
  EXPECT_EQ(GetDlgItemText(d, 201), "M\xfcller");
  EXPECT_TRUE(SendDlgItemMessage(d, 201, EM_GETMODIFY));
  struct Case {
    int id;
    LRESULT code;
  };
  for (const Case& c : {Case{200, DLGC_STATIC}, Case{201, DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS},
                        Case{1, DLGC_BUTTON | DLGC_DEFPUSHBUTTON}, Case{2, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON}})
    EXPECT_EQ(SendDlgItemMessage(d, c.id, WM_GETDLGCODE), c.code) << c.id;
  // A tab into the edit selects its whole text.
  Key(VK_TAB);
  Key(VK_TAB);
  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 201));
  DWORD start = 9, end = 9;
  SendDlgItemMessage(d, 201, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 6u);
}

TEST_F(controls, FocusOnAPushButtonMakesItLookLikeTheDefault) {
  const HWND d = Make(InputLike());
  EXPECT_EQ(SendMessage(d, DM_GETDEFID), LRESULT(MAKELPARAM(1, DC_HASDEFID)));
  SendMessage(d, WM_NEXTDLGCTL, WPARAM(GetDlgItem(d, 2).id), 1);
  EXPECT_EQ(GetWindowLongPtr(GetDlgItem(d, 2), GWL_STYLE) & BS_TYPEMASK, LPARAM(BS_DEFPUSHBUTTON));
  EXPECT_EQ(GetWindowLongPtr(GetDlgItem(d, 1), GWL_STYLE) & BS_TYPEMASK, LPARAM(BS_PUSHBUTTON));
  SendMessage(d, WM_NEXTDLGCTL, WPARAM(GetDlgItem(d, 201).id), 1);
  EXPECT_EQ(GetWindowLongPtr(GetDlgItem(d, 1), GWL_STYLE) & BS_TYPEMASK, LPARAM(BS_DEFPUSHBUTTON));
  SendMessage(d, DM_SETDEFID, 2, 0);
  EXPECT_EQ(GetWindowLongPtr(GetDlgItem(d, 2), GWL_STYLE) & BS_TYPEMASK, LPARAM(BS_DEFPUSHBUTTON));
}

platform::DialogTemplate Choices() {
  platform::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION;
  t.caption = "Auswahl";
  t.font = "Helv";
  t.pointSize = 8;
  t.cx = 150, t.cy = 120;
  t.items = {
      {"Button", 300, "Art", 4, 2, 90, 50, kChild | BS_GROUPBOX},
      {"Button", 301, "&Eins", 8, 12, 60, 10, kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
      {"Button", 302, "&Zwei", 8, 24, 60, 10, kChild | BS_AUTORADIOBUTTON},
      {"Button", 303, "&Drei", 8, 36, 60, 10, kChild | BS_AUTORADIOBUTTON},
      {"Button", 304, "&Kopie", 8, 56, 60, 10, kChild | BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP},
      {"ListBox", 305, "", 8, 70, 80, 40, kChild | LBS_NOTIFY | LBS_SORT | WS_BORDER | WS_TABSTOP},
      {"Button", 1, "&Ok", 96, 70, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP},
      {"Button", 2, "Abbrechen", 96, 88, 50, 14, kChild | WS_TABSTOP},
  };
  return t;
}

TEST_F(controls, ArrowsMoveWithinAGroupAndMnemonicsClick) {
  const HWND d = Make(Choices());
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 301));
  Key(VK_DOWN);
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 302));
  EXPECT_EQ(IsDlgButtonChecked(d, 302), BST_CHECKED);
  Key(VK_DOWN);
  Key(VK_DOWN);  // wraps within the group
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 301));
  EXPECT_EQ(IsDlgButtonChecked(d, 301), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(d, 302), BST_UNCHECKED);
  Key('K', 'k');  // the check box's mnemonic
  EXPECT_EQ(IsDlgButtonChecked(d, 304), BST_CHECKED);
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 304));
  Key(VK_SPACE, ' ');
  EXPECT_EQ(IsDlgButtonChecked(d, 304), BST_UNCHECKED);
  Key('O', 'o');
  EXPECT_EQ(commands, (std::vector<int>{302, 303, 301, 304, 304, IDOK}));
}

TEST_F(controls, ListBoxKeepsItsItemsSortedAndNotifiesClicks) {
  const HWND d = Make(Choices());
  const HWND list = GetDlgItem(d, 305);
  for (const char* t : {"Kunden", "Artikel", "Lager"}) SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  char text[32];
  SendMessage(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "Kunden");
  auto& spy = Spy(d);
  Click(list, 5, 13 * 2 + 3);  // the third row
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL), 2);
  std::vector<WPARAM> notes;
  for (const auto& e : spy.Entries())
    if (e.message == WM_COMMAND && LOWORD(e.wParam) == 305) notes.push_back(e.wParam);
  EXPECT_EQ(notes, (std::vector<WPARAM>{MAKEWPARAM(305, LBN_SELCHANGE)}));
  Key(VK_UP);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL), 1);
}

TEST_F(controls, AnUnknownControlClassFailsTheWholeDialog) {
  platform::DialogTemplate t = InputLike();
  t.items.push_back({"NoSuchClass", 9, "", 0, 0, 10, 10, kChild});
  const size_t before = GetChildren(nullptr).size();
  EXPECT_FALSE(Make(t));
  EXPECT_EQ(GetChildren(nullptr).size(), before);
  EXPECT_EQ(DialogBoxIndirectParam(t, nullptr, RecordingProc, 0), -1);
}

TEST_F(controls, F1AsksTheParentForHelpWithTheControlsId) {
  const HWND d = Make(InputLike());
  static std::vector<int> ids;
  ids.clear();
  SetWindowLongPtr(d, GWLP_WNDPROC, reinterpret_cast<intptr_t>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                     if (m == WM_HELP) ids.push_back(reinterpret_cast<HELPINFO*>(l)->iCtrlId);
                     return DefDlgProc(h, m, w, l);
                   }));
  Key(VK_F1);
  EXPECT_EQ(ids, (std::vector<int>{201}));
}

TEST_F(controls, AnOwnerDrawnButtonIsDrawnByItsParentInEveryState) {
  platform::DialogTemplate t = InputLike();
  t.items.push_back({"Button", 3, "&Bild", 110, 18, 50, 14, kChild | BS_OWNERDRAW | WS_TABSTOP});
  const HWND d = Make(t);
  static std::vector<UINT> states;
  states.clear();
  SetWindowLongPtr(d, GWLP_WNDPROC, reinterpret_cast<intptr_t>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                     const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
                     if (m == WM_DRAWITEM && dis->CtlType == ODT_BUTTON && dis->CtlID == 3) states.push_back(dis->itemState);
                     return DefDlgProc(h, m, w, l);
                   }));
  const HWND button = GetDlgItem(d, 3);
  UpdateWindow(d);
  SendMessage(d, WM_NEXTDLGCTL, WPARAM(button.id), 1);  // would make a push button look like the default
  EXPECT_EQ(GetWindowLongPtr(button, GWL_STYLE) & BS_TYPEMASK, LPARAM(BS_OWNERDRAW));
  UpdateWindow(d);
  POINT p{5, 5};
  ClientToScreen(button, &p);
  InjectMouse(p, MouseButton::kLeft, true);
  Settle();
  UpdateWindow(d);
  InjectMouse(p, MouseButton::kLeft, false);
  Settle();
  EnableWindow(button, false);
  UpdateWindow(d);
  EXPECT_EQ(states, (std::vector<UINT>{0, ODS_FOCUS, ODS_FOCUS | ODS_SELECTED, ODS_FOCUS, ODS_DISABLED}));
  EXPECT_EQ(commands, (std::vector<int>{3}));
}

TEST_F(controls, ControlKindsMatchTheirGoldens) {
  const HWND d = Make(Choices());
  const HWND list = GetDlgItem(d, 305);
  for (const char* t : {"Kunden", "Artikel", "Lager"}) SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  SendMessage(list, LB_SETCURSEL, 1);
  CheckDlgButton(d, 302, BST_CHECKED);
  CheckDlgButton(d, 304, BST_CHECKED);
  EnableWindow(GetDlgItem(d, 2), false);
  EXPECT_TRUE(MatchesWindowGolden(d, ZET_CONTROLS_TESTS_DIR, "choices"));
  const HWND e = Make(InputLike());
  SetDlgItemText(e, 201, "Eingabe");
  SendDlgItemMessage(e, 201, EM_SETSEL, 2, 5);
  EXPECT_TRUE(MatchesWindowGolden(e, ZET_CONTROLS_TESTS_DIR, "input"));
}

}  // namespace
