// The edit control: its model's lines and undo without windows, then the
// multi-line edit driven by keys, the clipboard and the dialog manager,
// headless.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clipboard.h"
#include "platform/controls/dialog.h"
#include "platform/controls/models.h"
#include "platform/controls/tests/dialog_keys.h"
#include "platform/testing/ui.h"

using namespace win;

namespace {

TEST(EditLines, BreakLinesWrapsAfterSpacesAndInsideLongWords) {
  struct Case {
    const char* text;
    int width;  // in characters: every character is one unit wide
    bool wrap;
    std::vector<std::pair<int, int>> lines;  // (start, length)
  };
  const Case cases[] = {
      {"", 5, true, {{0, 0}}},
      {"ab\r\ncd", 5, false, {{0, 2}, {4, 2}}},
      {"ab\r\n", 5, true, {{0, 2}, {4, 0}}},
      {"aaa bbb ccc", 7, true, {{0, 8}, {8, 3}}},  // the space after "bbb" hangs
      {"aaa bbb ccc", 6, true, {{0, 4}, {4, 4}, {8, 3}}},
      {"aaa bbb ccc", 7, false, {{0, 11}}},
      {"abcdefghij", 4, true, {{0, 4}, {4, 4}, {8, 2}}},
      {"ab    cd", 4, true, {{0, 6}, {6, 2}}},  // spaces hang at the end of the line
      {"ab cdefgh\r\nx", 4, true, {{0, 3}, {3, 4}, {7, 2}, {11, 1}}},
      {"abc", 0, true, {{0, 1}, {1, 1}, {2, 1}}},  // a width below one character still moves on
  };
  for (const Case& c : cases) {
    std::vector<std::pair<int, int>> got;
    for (const EditLine& l : BreakLines(c.text, c.width, c.wrap, [](uint8_t) { return 1; }))
      got.emplace_back(l.start, l.length);
    EXPECT_EQ(got, c.lines) << c.text << " in " << c.width;
  }
  const std::vector<EditLine> lines = BreakLines("aaa bbb ccc", 6, true, [](uint8_t) { return 1; });
  EXPECT_EQ(LineOf(lines, 3), 0);
  EXPECT_EQ(LineOf(lines, 4), 1);  // a soft break's position begins the next line
  EXPECT_EQ(LineOf(lines, 11), 2);
}

TEST(EditModel, UndoIsOneChangeDeepAndASecondUndoRedoes) {
  struct Case {
    const char* what;
    const char* start;
    int selStart, selEnd;
    std::vector<const char*> typed;  // each typed, "\b" a backspace
    bool canUndo;
    const char* afterUndo;
  };
  const Case cases[] = {
      {"a run of typing is one change", "", 0, 0, {"a", "b", "c"}, true, ""},
      {"a replaced selection comes back", "Hallo Welt", 6, 10, {"X"}, true, "Hallo Welt"},
      {"a backspace over CR LF is one step", "ab\r\ncd", 4, 4, {"\b"}, true, "ab\r\ncd"},
  };
  for (const Case& c : cases) {
    EditModel m;
    m.SetMultiLine(true);
    m.SetText(c.start);
    EXPECT_FALSE(m.CanUndo()) << c.what;
    m.SetSel(c.selStart, c.selEnd);
    for (const char* t : c.typed) std::string(t) == "\b" ? m.Backspace() : m.ReplaceSel(t, true);
    const std::string changed = m.Text();
    EXPECT_EQ(m.CanUndo(), c.canUndo) << c.what;
    EXPECT_TRUE(m.Undo()) << c.what;
    EXPECT_EQ(m.Text(), c.afterUndo) << c.what;
    EXPECT_TRUE(m.Undo()) << c.what;
    EXPECT_EQ(m.Text(), changed) << c.what;
  }
  EditModel m;
  m.SetMultiLine(true);
  m.ReplaceSel("abc", false, false);
  EXPECT_FALSE(m.CanUndo());
  EXPECT_EQ(m.Step(0, 1), 1);
  m.SetText("a\r\nb");
  EXPECT_EQ(m.Step(1, 1), 3);
  EXPECT_EQ(m.Step(3, -1), 1);
  // The limit never cuts a line break in two.
  m.SetLimit(5);
  m.SetSel(4, 4);
  EXPECT_FALSE(m.ReplaceSel("\r\n", true));
  EXPECT_EQ(m.Text(), "a\r\nb");
}

// --- windows ---

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

platform::DialogTemplate Notes(DWORD editStyle) {
  platform::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  t.caption = "Notiz";
  t.font = "Helv";
  t.pointSize = 8;
  t.cx = 120, t.cy = 80;
  t.items = {
      {"Edit", 201, "", 5, 5, 80, 40, kChild | WS_BORDER | WS_TABSTOP | ES_MULTILINE | editStyle},
      {"Button", 1, "&Ok", 90, 5, 25, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {"Edit", 202, "", 5, 50, 80, 12, kChild | WS_BORDER | WS_TABSTOP},
  };
  return t;
}

std::vector<int> clicked;
LRESULT NotesProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) clicked.push_back(LOWORD(wParam));
  return 0;
}

class edit : public zettest::DialogKeysTest {
 protected:
  void SetUp() override {
    DialogKeysTest::SetUp();
    clicked.clear();
  }
  HWND Make(DWORD style) {
    dialog = CreateDialogIndirectParam(Notes(style), nullptr, NotesProc, 0);
    return GetDlgItem(dialog, 201);
  }
  void KeyWith(UINT modifier, UINT vk, uint8_t character = 0) {
    InjectKey(modifier, true);
    Key(vk, character);
    InjectKey(modifier, false);
    Settle();
  }
  std::string Line(HWND e, int n) {
    char buffer[64] = {};
    const uint16_t room = sizeof buffer - 1;
    std::memcpy(buffer, &room, sizeof room);
    const LRESULT got = SendMessage(e, EM_GETLINE, WPARAM(n), reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, size_t(got));
  }
  HWND dialog;
};

TEST_F(edit, EnterBreaksTheLineOnlyWithWantReturnAndTabIsTheEditsUnlessCleared) {
  struct Case {
    DWORD style;
    UINT key;
    LRESULT code;
  };
  const HWND e = Make(ES_WANTRETURN);
  const HWND single = GetDlgItem(dialog, 202);
  const LRESULT base = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
  for (const auto& [hwnd, key, code] : {std::tuple{single, VK_RETURN, base}, std::tuple{e, VK_RETURN, base | DLGC_WANTTAB | DLGC_WANTALLKEYS},
                                        std::tuple{e, VK_ESCAPE, base | DLGC_WANTTAB}}) {
    MSG m;
    m.hwnd = hwnd, m.message = WM_KEYDOWN, m.wParam = key;
    EXPECT_EQ(SendMessage(hwnd, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&m)), code) << key;
  }
  Type("x");
  Key(VK_RETURN, '\r');
  Type("y");
  Key(VK_TAB, '\t');
  EXPECT_EQ(GetWindowText(e), "x\r\ny\t");
  EXPECT_TRUE(clicked.empty());
  EXPECT_EQ(SendMessage(e, EM_GETLINECOUNT), 2);
  EXPECT_EQ(SendMessage(e, EM_LINEINDEX, 1), 3);
  EXPECT_EQ(SendMessage(e, EM_LINEINDEX, 2), -1);
  EXPECT_EQ(Line(e, 1), "y\t");
  DestroyWindow(dialog);
  // Without ES_WANTRETURN, Enter presses the default button.
  const HWND plain = Make(0);
  Type("x");
  Key(VK_RETURN, '\r');
  EXPECT_EQ(GetWindowText(plain), "x");
  EXPECT_EQ(clicked, (std::vector<int>{IDOK}));
}

TEST_F(edit, CaretKeysMoveByLinesAndCtrlEndScrollsToTheEnd) {
  const HWND e = Make(ES_AUTOVSCROLL);
  std::string text;
  for (int i = 0; i < 20; ++i) text += (i ? "\r\n" : "") + std::string("Zeile ") + char('A' + i);
  SetWindowText(e, text);
  SetFocus(e);
  KeyWith(VK_CONTROL, VK_END);
  DWORD start = 0, end = 0;
  SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end, DWORD(text.size()));
  // 40 dialog units of "Helv" 8 are 65 pixels, 63 inside the border: four 13-pixel lines show.
  EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE), 16);
  Key(VK_HOME);
  Key(VK_RIGHT);
  Key(VK_RIGHT);
  Key(VK_UP);
  EXPECT_EQ(SendMessage(e, EM_LINEFROMCHAR, WPARAM(-1)), 18);
  SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end, DWORD(SendMessage(e, EM_LINEINDEX, 18) + 2));
  InjectKey(VK_SHIFT, true);
  Key(VK_RIGHT);  // over "i" of "Zeile"
  InjectKey(VK_SHIFT, false);
  KeyWith(VK_CONTROL, VK_HOME);
  EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE), 0);
  SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end, 0u);
}

TEST_F(edit, ClipboardCommandsAndUndoFollowTheirKeys) {
  const HWND e = Make(0);
  SetFocus(e);
  Type("Hallo Welt");
  SendMessage(e, EM_SETSEL, 6, 10);
  struct Case {
    const char* what;
    UINT modifier, vk;
    const char* text;
    const char* clipboard;
  };
  const Case cases[] = {
      {"Ctrl+C copies", VK_CONTROL, 'C', "Hallo Welt", "Welt"},
      {"Ctrl+X cuts", VK_CONTROL, 'X', "Hallo ", "Welt"},
      {"Ctrl+V pastes", VK_CONTROL, 'V', "Hallo Welt", "Welt"},
      {"Shift+Ins pastes again", VK_SHIFT, 0x2D, "Hallo WeltWelt", "Welt"},
      {"Ctrl+Z undoes the paste", VK_CONTROL, 'Z', "Hallo Welt", "Welt"},
  };
  for (const Case& c : cases) {
    KeyWith(c.modifier, c.vk);
    EXPECT_EQ(GetWindowText(e), c.text) << c.what;
    std::string clip;
    EXPECT_TRUE(platform::ClipboardGetText(clip)) << c.what;
    EXPECT_EQ(clip, c.clipboard) << c.what;
  }
  EXPECT_TRUE(SendMessage(e, EM_CANUNDO));
  SendMessage(e, EM_SETSEL, 0, 5);
  SendMessage(e, WM_CLEAR);
  EXPECT_EQ(GetWindowText(e), " Welt");
  // A replacement made without undo empties the undo.
  SendMessage(e, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("Gute"));
  EXPECT_FALSE(SendMessage(e, EM_CANUNDO));
  // Read-only copies but never cuts; a password edit gives nothing away.
  SendMessage(e, EM_SETREADONLY, 1);
  SendMessage(e, EM_SETSEL, 0, 4);
  SendMessage(e, WM_CUT);
  EXPECT_EQ(GetWindowText(e), "Gute Welt");
  const HWND secret = GetDlgItem(dialog, 202);
  SetWindowText(secret, "geheim");
  SendMessage(secret, EM_SETPASSWORDCHAR, '*');
  SendMessage(secret, EM_SETSEL, 0, -1);
  SendMessage(secret, WM_COPY);
  std::string clip;
  platform::ClipboardGetText(clip);
  EXPECT_EQ(clip, "Gute");
}

TEST_F(edit, AppendingPastTheEndBuildsLinesAndAWrappedEditKeepsItsSelectionShown) {
  const HWND e = Make(ES_NOHIDESEL);
  // An item list written as its caller appends: the caret past the end is clipped.
  for (const char* item : {"Kunden", "\r\n", "", "\r\n", "Artikel mit langem Namen"}) {
    const int n = GetWindowTextLength(e);
    SendMessage(e, EM_SETSEL, WPARAM(n + 1), n + 1);
    SendMessage(e, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(item));
  }
  EXPECT_EQ(GetWindowText(e), "Kunden\r\n\r\nArtikel mit langem Namen");
  // 80 dialog units are 120 pixels, 20 characters of the test font: the last item wraps.
  EXPECT_EQ(SendMessage(e, EM_GETLINECOUNT), 4);
  EXPECT_EQ(Line(e, 1), "");
  EXPECT_EQ(Line(e, 3), "Namen");
  SendMessage(e, EM_SETSEL, 0, 6);
  SetFocus(GetDlgItem(dialog, 202));
  EXPECT_TRUE(MatchesWindowGolden(e, ZET_CONTROLS_TESTS_DIR, "edit-multiline"));
}

}  // namespace
