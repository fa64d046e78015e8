// The text edits and list boxes: the list edit's lines on plain texts, and the
// controls driven headless in dialogs.
#include "runtime/toolkit/kxedits.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/testing/ui.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxbtns.h"
#include "runtime/toolkit/kxdialogs.h"

namespace {

using namespace kxctl;

TEST(ListEditLines, ListsBecomeLinesAndReadBackAsTheyWere) {
  struct Case {
    const char* list;
    const char* lines;
  } cases[] = {
      {"", ""},
      {"a;b;c", "a\r\nb\r\nc"},
      {"a;;b", "a\r\n\r\nb"},
      {"a;b;", "a\r\nb\r\n"},
      {";", "\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListToLines(c.list, ';'), c.lines) << c.list;
    EXPECT_EQ(LinesToList(c.lines, ';'), c.list) << c.list;
  }
  // What a user types: lines x and y; a carriage return at the very end.
  EXPECT_EQ(LinesToList("x\r\ny", ';'), "x;y");
  EXPECT_EQ(LinesToList("x\r", ';'), "x;");
}

class kxedits_ui : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    app_ = std::make_unique<kxapp::TKxApplication>("QMK Runtime Kernel");
  }
  void TearDown() override {
    app_.reset();
    UiTest::TearDown();
  }
  win::HWND Modal() { return win::ModalWindows().empty() ? win::HWND() : win::ModalWindows().back(); }
  std::unique_ptr<kxapp::TKxApplication> app_;
};

TEST_F(kxedits_ui, ADoubleClickInTheSingleListboxEndsTheDialogAsOk) {
  kxdlg::TCenteredDlg dialog(nullptr, 11701, "Tabelle wählen", 0);
  auto* list = new TSingleListbox(&dialog, 200);
  Then([&] {
    for (const char* t : {"Kunden", "Artikel"}) list->AddString(t);
    const win::HWND h = list->GetHandle();
    Click(h, 5, 3);
    Clock().Advance(100);
    Click(h, 5, 3);
  });
  EXPECT_EQ(dialog.Execute(), win::IDOK);
}

TEST_F(kxedits_ui, TabStopsAreCopiedAndOnlyThePositionalFormAddsTheStyle) {
  kxdlg::TCenteredDlg dialog(nullptr, 11701, "Spalten", 0);
  std::vector<int32_t> stops{20, 40, 60};
  auto* fromResource = new TTabbedListBox(&dialog, 200, stops.data(), 3);
  auto* positional = new TTabbedListBox(&dialog, 300, 2, 2, 60, 40, stops.data(), 2);
  stops.assign({1, 1, 1});
  EXPECT_EQ(fromResource->TabStops, (std::vector<int32_t>{20, 40, 60}));
  EXPECT_EQ(positional->TabStops, (std::vector<int32_t>{20, 40}));
  ASSERT_TRUE(dialog.Create());
  constexpr win::DWORD kUseTabStops = 0x80;
  EXPECT_EQ(win::GetWindowLongPtr(fromResource->GetHandle(), win::GWL_STYLE) & kUseTabStops, 0);
  EXPECT_EQ(win::GetWindowLongPtr(positional->GetHandle(), win::GWL_STYLE) & kUseTabStops, kUseTabStops);
}

TEST_F(kxedits_ui, TheListEditShowsOneItemALineReadsThemBackAndLeavesTabToTheDialog) {
  kxdlg::TCenteredDlg dialog(nullptr, 11702, "Liste", 0);
  auto* edit = new TListEdit(&dialog, 300, 7, 40, 150, 40, 40, ';');
  auto* plain = new fw::TEdit(&dialog, 301, "", 7, 90, 150, 20, 40);
  plain->Attr.Style |= win::ES_MULTILINE;
  Then([&] {
    const win::HWND h = edit->GetHandle();
    // A multi-line edit wants Tab; the list edit leaves it to the dialog.
    EXPECT_NE(win::SendMessage(plain->GetHandle(), win::WM_GETDLGCODE) & win::DLGC_WANTTAB, 0);
    EXPECT_EQ(win::SendMessage(h, win::WM_GETDLGCODE) & win::DLGC_WANTTAB, 0);
    struct Case {
      const char* list;
      int lines;
    } cases[] = {{"", 1}, {"a;;b", 3}, {"a;b;", 3}, {"a;b;c", 3}};
    for (const Case& c : cases) {
      char buffer[40];
      std::strcpy(buffer, c.list);
      EXPECT_EQ(edit->Transfer(buffer, fw::TTransferDirection::SetData), 40u);
      EXPECT_STREQ(buffer, c.list);  // the caller's buffer is unchanged
      EXPECT_EQ(win::SendMessage(h, win::EM_GETLINECOUNT), c.lines) << c.list;
      std::memset(buffer, 'q', sizeof buffer);
      EXPECT_EQ(edit->Transfer(buffer, fw::TTransferDirection::GetData), 40u);
      EXPECT_STREQ(buffer, c.list);
    }
    // Lines typed by the user.
    win::SetWindowText(h, "");
    win::SetFocus(h);
    Type("x");
    win::SendMessage(h, win::WM_CHAR, '\r');  // a line break (Enter alone presses the default button)
    Type("y");
    char buffer[40];
    edit->Transfer(buffer, fw::TTransferDirection::GetData);
    EXPECT_STREQ(buffer, "x;y");
    Key(win::VK_TAB);
    EXPECT_NE(win::GetFocus(), h);
    // A text longer than the limit is cut when read.
    win::SetWindowText(h, std::string(60, 'z'));
    edit->Transfer(buffer, fw::TTransferDirection::GetData);
    EXPECT_EQ(std::string(buffer), std::string(39, 'z'));
    Key(win::VK_ESCAPE);
  });
  EXPECT_EQ(dialog.Execute(), win::IDCANCEL);
}

TEST_F(kxedits_ui, TheBigEditIsMadeAsAskedAndTheWinButtonOnTheSystemsClass) {
  fw::TWindow host(nullptr, "Notizen");
  host.Attr.Style = win::WS_POPUP | win::WS_VISIBLE;
  host.Attr.W = 300, host.Attr.H = 200;
  auto* single = new TBigEdit(&host, 100, "Zeile", 5, 5, 200, 20, false);
  auto* multi = new TBigEdit(&host, 101, "eins\r\nzwei", 5, 30, 200, 60, true);
  auto* button = new TWinButton(&host, 102, "&Los", 5, 100, 60, 20);
  ASSERT_TRUE(host.Create());
  const struct {
    TBigEdit* edit;
    win::DWORD multiline;
    int lines;
  } cases[] = {{single, 0, 1}, {multi, win::ES_MULTILINE, 2}};
  for (const auto& c : cases) {
    const win::DWORD style = win::DWORD(win::GetWindowLongPtr(c.edit->GetHandle(), win::GWL_STYLE));
    EXPECT_EQ(style & win::ES_NOHIDESEL, win::ES_NOHIDESEL);
    EXPECT_EQ(style & win::ES_MULTILINE, c.multiline);
    EXPECT_EQ(win::SendMessage(c.edit->GetHandle(), win::EM_GETLINECOUNT), c.lines);
  }
  EXPECT_EQ(win::GetClassName(button->GetHandle()), "Button");
  auto& spy = Spy(host.GetHandle());
  Click(button->GetHandle(), 3, 3);
  EXPECT_EQ(spy.Messages({win::WM_COMMAND}).size(), 1u);
}

}  // namespace
