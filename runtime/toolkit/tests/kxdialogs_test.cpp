// The dialog base, the simple dialogs, the application's message boxes and
// help contexts, the numeric edits and the browse buttons, driven headless.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing/ui.h"
#include "runtime/toolkit/tests/toolkit_ui.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxbrowse.h"
#include "runtime/toolkit/kxdialogs.h"
#include "runtime/toolkit/kxnumedit.h"
#include "runtime/toolkit/kxutil.h"

using namespace kxdlg;

namespace {

class kxdialogs : public toolkittest::DialogTest {};

// --- 4.127: the input dialog, centring, help, disabling the top ---

TEST_F(kxdialogs, InputDialog11702FocusesItsEditSkipsDisabledButtonsAndEndsWithEnterOrEsc) {
  struct Case {
    win::UINT key;
    int result;
    const char* buffer;
  };
  for (const Case& c : {Case{win::VK_RETURN, win::IDOK, "Meier"}, Case{win::VK_ESCAPE, win::IDCANCEL, "alt"}}) {
    char buffer[21] = "alt";
    TInputStringDlg dialog(owner_, "Kunde suchen", "Name des Kunden:", buffer, 20, 0);
    Then([&] {
      const win::HWND d = Modal();
      EXPECT_EQ(win::GetFocus(), win::GetDlgItem(d, 201));
      EXPECT_EQ(win::GetDlgItemText(d, 200), "Name des Kunden:");
      EXPECT_EQ(win::GetWindowText(d), "Kunde suchen");
      EXPECT_FALSE(win::IsWindowEnabled(owner_->GetHandle()));
      win::EnableWindow(win::GetDlgItem(d, 1), false);
      Key(win::VK_TAB);
      EXPECT_EQ(win::GetFocus(), win::GetDlgItem(d, 2));
      Key(win::VK_TAB);
      win::EnableWindow(win::GetDlgItem(d, 1), true);
      Type("Meier");
      Key(c.key);
    });
    EXPECT_EQ(dialog.Execute(), c.result);
    EXPECT_STREQ(buffer, c.buffer);
    EXPECT_TRUE(win::IsWindowEnabled(owner_->GetHandle()));
  }
}

TEST_F(kxdialogs, InputDialog11702MatchesItsGolden) {
  char buffer[21] = "Eingabe";
  TInputStringDlg dialog(owner_, nullptr, "Bitte Namen eingeben:", buffer, 20, 0);
  Then([&] {
    EXPECT_TRUE(MatchesWindowGolden(Modal(), ZET_TOOLKIT_TESTS_DIR, "input_11702"));
    Key(win::VK_ESCAPE);
  });
  dialog.Execute();
}

TEST_F(kxdialogs, OnlyPasswordModeOneMasksTheInput) {
  for (int16_t mode : {0, 1, 2}) {
    char buffer[9] = "geheim";
    TInputStringDlg dialog(owner_, "Kennwort", "Kennwort:", buffer, 8, mode);
    Then([&] {
      EXPECT_EQ(win::SendDlgItemMessage(Modal(), 201, win::EM_GETPASSWORDCHAR), mode == 1 ? '*' : 0) << mode;
      Key(win::VK_RETURN);
    });
    EXPECT_EQ(dialog.Execute(), win::IDOK);
    EXPECT_STREQ(buffer, "geheim");
  }
}

TEST_F(kxdialogs, DialogsAreCentredOnTheScreenEvenWhenLargerThanIt) {
  for (const auto& [w, h] : {std::pair{1024, 768}, std::pair{200, 50}}) {
    win::SetScreenSize(w, h);
    char buffer[21] = "";
    TInputStringDlg dialog(owner_, "Zentriert", "", buffer, 20, 0);
    Then([&] {
      win::RECT r;
      win::GetWindowRect(Modal(), &r);
      EXPECT_EQ(r.left, (w - (r.right - r.left)) / 2);
      EXPECT_EQ(r.top, (h - (r.bottom - r.top)) / 2);
      if (w == 200) EXPECT_LT(r.left, 0);
      Key(win::VK_ESCAPE);
    });
    dialog.Execute();
  }
  win::SetScreenSize(1024, 768);
}

TEST_F(kxdialogs, HelpCarriesTheDialogsHelpIdPlus10000UnlessAContextIsSet) {
  char buffer[21] = "";
  TInputStringDlg input(owner_, "Hilfe", "", buffer, 20, 0);
  Then([&] {
    Key(win::VK_F1);  // in the edit
    win::HELPINFO preset;
    preset.dwContextId = 77;
    win::SendMessage(Modal(), win::WM_HELP, 0, reinterpret_cast<win::LPARAM>(&preset));
    Key(win::VK_ESCAPE);
  });
  input.Execute();
  TListDlg list(owner_, "Liste");
  Then([&] {
    win::SendDlgItemMessage(Modal(), win::IDHELP, win::BM_CLICK);
    Key(win::VK_ESCAPE);
  });
  list.Execute();
  EXPECT_EQ(owner_->contexts, (std::vector<uintptr_t>{21702, 77, 10000}));
}

TEST_F(kxdialogs, ListDialogConfirmsADoubleClickAndMatchesItsGolden) {
  TListDlg list(owner_, "Tabelle w\xe4hlen");
  Then([&] {
    for (const char* t : {"Kunden", "Artikel", "Lager"}) list.ListBox->AddString(t);
    EXPECT_TRUE(MatchesWindowGolden(Modal(), ZET_TOOLKIT_TESTS_DIR, "list_11701"));
    const win::HWND box = win::GetDlgItem(Modal(), 200);
    win::RECT r;
    win::GetClientRect(box, &r);
    Click(box, 5, 3);
    Click(box, 5, 3);
  });
  EXPECT_EQ(list.Execute(), win::IDOK);
}

TEST_F(kxdialogs, ExecuteDisablingTopLeavesADisabledTopWindowDisabled) {
  for (bool enabledBefore : {true, false}) {
    win::EnableWindow(owner_->GetHandle(), enabledBefore);
    char buffer[21] = "";
    TInputStringDlg dialog(owner_, "Top", "", buffer, 20, 0);
    Then([&] {
      EXPECT_FALSE(win::IsWindowEnabled(owner_->GetHandle()));
      Key(win::VK_ESCAPE);
    });
    EXPECT_EQ(dialog.ExecuteDisablingTop(), win::IDCANCEL);
    EXPECT_EQ(win::IsWindowEnabled(owner_->GetHandle()), enabledBefore);
  }
}

// --- 4.133: message boxes and help contexts ---

TEST_F(kxdialogs, MessageBoxTextsAreCutAndHelpIdsAddTheHelpButton) {
  const std::string long600(600, 'x');
  struct Case {
    kxapp::TextOrId text, caption;
    uint16_t helpId;
    size_t textLength, captionLength;
  };
  const Case cases[] = {
      {long600.c_str(), "Titel", 0, 511, 5},
      {"kurz", long600.c_str(), 5, 4, 40},
      {53803u, 53801u, 0, std::strlen("Bitte geben Sie eine Zahl ein."), std::strlen("Zahl eingeben")},
      {59999u, "leer", 0, 0, 4},  // a missing string shows an empty text
  };
  for (const Case& c : cases) {
    Answers().MessageBox(win::IDOK);
    EXPECT_EQ(kxapp::AppMessageBox(owner_->GetHandle(), c.text, c.caption, win::MB_ICONSTOP, c.helpId), win::IDOK);
    const dialogs::MessageBoxRequest& r = Answers().LastMessageBox();
    EXPECT_EQ(r.text.size(), c.textLength);
    EXPECT_EQ(r.caption.size(), c.captionLength);
    EXPECT_EQ(r.type, win::MB_ICONSTOP | win::MB_TASKMODAL | (c.helpId ? win::MB_HELP : 0));
    EXPECT_EQ(r.helpId, c.helpId);
    EXPECT_FALSE(r.owner);
  }
  EXPECT_EQ(app_->GetHelpContext(), 0);
}

TEST(kxapp, FormattingTakesOneArgumentAndIsBounded) {
  struct Case {
    std::string format, shown;
  };
  const Case cases[] = {
      {"%d S\xe4tze", "42 S\xe4tze"},   {"%5ld|", "   42|"},       {"%x %d", "2a %d"},
      {"%s und %d", "%s und 42"},       {"100%% %u", "100% 42"},     {"ohne", "ohne"},
      {std::string(600, 'a') + "%d", std::string(511, 'a')},
  };
  for (const Case& c : cases) EXPECT_EQ(kxapp::FormatOneArgument(c.format, 42), c.shown) << c.format;
}

// Answers every box; the first one opens a second inside it.
class NestingProvider : public dialogs::InteractionProvider {
 public:
  void MessageBox(dialogs::MessageBoxRequest& r) override {
    contexts.push_back(kxapp::CurrentKxApplication()->HelpContext);
    if (contexts.size() == 1) kxapp::ShowMessageBox(nullptr, "innen", "", 0, 9);
    contexts.push_back(kxapp::CurrentKxApplication()->HelpContext);
    r.answer = win::IDOK;
  }
  std::vector<int> contexts;
};

TEST_F(kxdialogs, NestedBoxesRestoreTheHelpContextInReverse) {
  NestingProvider nesting;
  dialogs::SetInteractionProvider(&nesting);
  kxapp::ShowMessageBox(nullptr, "aussen", "", 0, 4);
  dialogs::SetInteractionProvider(&Answers());
  EXPECT_EQ(nesting.contexts, (std::vector<int>{4, 9, 9, 4}));
  EXPECT_EQ(app_->GetHelpContext(), 0);
}

TEST_F(kxdialogs, ExecuteDialogSetsTheContextAndFillsOnlyAnEmptyHelpId) {
  struct Case {
    uint32_t ownHelpId;
    bool topEnabled;
    uint32_t helpIdAfter;
  };
  for (const Case& c : {Case{7, true, 7}, Case{0, true, 5}, Case{7, false, 7}}) {
    win::EnableWindow(owner_->GetHandle(), c.topEnabled);
    TCenteredDlg dialog(owner_, 11702, "Dialog", c.ownHelpId);
    Then([&] {
      EXPECT_EQ(app_->GetHelpContext(), 10005);
      EXPECT_FALSE(win::IsWindowEnabled(owner_->GetHandle()));
      Key(win::VK_ESCAPE);
    });
    EXPECT_EQ(kxapp::ExecuteDialog(&dialog, 5), win::IDCANCEL);
    EXPECT_EQ(dialog.HelpId, c.helpIdAfter);
    EXPECT_EQ(app_->GetHelpContext(), 0);
    EXPECT_EQ(win::IsWindowEnabled(owner_->GetHandle()), c.topEnabled);
  }
  EXPECT_EQ(kxapp::GetTopMostParent(owner_), owner_);
}

TEST(kxapp, TheHelpFileIsTheProgramsNameWithHlp) {
  const std::string name = kxapp::TKxApplication::HelpFileName();
  EXPECT_EQ(name.substr(name.size() - 4), ".HLP");
  EXPECT_NE(name.find("toolkit_tests"), std::string::npos);
}

// --- 4.121: numeric edits ---

class NumberHost : public fw::TWindow {
 public:
  NumberHost() : fw::TWindow(nullptr, "Zahlen") {
    Attr.X = 50, Attr.Y = 50, Attr.W = 300, Attr.H = 200;
    Attr.Style = win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE;
  }
};

TEST_F(kxdialogs, NumericEditsReadValidateAndReport) {
  enum Kind { kInt, kLong, kDecimal };
  struct Case {
    const char* what;
    Kind kind;
    double min, max;
    int decimals;
    const char* text;
    double value;
    bool valid;
    const char* message;  // "" for none
  };
  const Case cases[] = {
      {"empty, not allowed", kInt, 1, 99, 0, "", 0, false, "Feld darf nicht leer bleiben."},
      {"above the range", kInt, 1, 99, 0, "150", 150, false, "Wert muss zwischen 1 und 99 liegen."},
      {"no number", kInt, 1, 99, 0, "abc", 100, false, "Bitte geben Sie eine Zahl ein."},
      {"beyond 16 bits", kInt, 1, 99, 0, "70000", 70000, false, "Wert muss zwischen 1 und 99 liegen."},
      {"a real is truncated", kInt, 1, 99, 0, "12.7", 12, true, ""},
      {"a bound at the type's limit", kInt, -32768, 32767, 0, "", -32769, false, "Feld darf nicht leer bleiben."},
      {"the smallest long", kLong, INT32_MIN, 0, 0, "-2147483648", INT32_MIN, true, ""},
      {"long out of range", kLong, 0, 10, 0, "11", 11, false, "Wert muss zwischen 0 und 10 liegen."},
      {"decimal empty", kDecimal, 0, 5, 2, "", -0.01, false, "Feld darf nicht leer bleiben."},
      {"decimal bounds with a point", kDecimal, 0, 5, 1, "7,5", 7.5, false, "Wert muss zwischen 0.0 und 5.0 liegen."},
      {"decimal reads 19 characters", kDecimal, 0, 1e30, 0, "12345678901234567895", 1234567890123456789.0, true, ""},
  };
  const char saved = kxutil::DecimalSeparator;
  kxutil::DecimalSeparator = ',';
  for (const Case& c : cases) {
    NumberHost host;
    kxnum::TNumberEdit* edit = nullptr;
    if (c.kind == kInt) edit = new kxnum::TIntEdit(&host, 10, 5, 5, 100, 20, int16_t(c.min), int16_t(c.max), false);
    else if (c.kind == kLong) edit = new kxnum::TLongIntEdit(&host, 10, 5, 5, 100, 20, int32_t(c.min), int32_t(c.max), false);
    else edit = new kxnum::TDecimalEdit(&host, 10, 5, 5, 100, 20, int16_t(c.decimals), c.min, c.max, false);
    ASSERT_TRUE(host.Create());
    edit->SetText(c.text);
    double value = 0;
    if (c.kind == kInt) value = static_cast<kxnum::TIntEdit*>(edit)->GetValue();
    else if (c.kind == kLong) value = double(static_cast<kxnum::TLongIntEdit*>(edit)->GetValue());
    else value = static_cast<kxnum::TDecimalEdit*>(edit)->GetValue();
    EXPECT_DOUBLE_EQ(value, c.value) << c.what;
    if (*c.message) Answers().MessageBox(win::IDOK).IfText(c.message);
    win::SetFocus(host.GetHandle());
    EXPECT_EQ(edit->CanClose(), c.valid) << c.what;
    if (*c.message) {
      EXPECT_EQ(Answers().LastMessageBox().caption, "Zahl eingeben") << c.what;
      EXPECT_EQ(Answers().LastMessageBox().type & 0xFF, 0x30u) << c.what;
      EXPECT_EQ(win::GetFocus(), edit->GetHandle()) << c.what;
    }
  }
  kxutil::DecimalSeparator = saved;
}

TEST_F(kxdialogs, NumericEditsWriteStepAndAnswerTheirMessages) {
  const char saved = kxutil::DecimalSeparator;
  kxutil::DecimalSeparator = ',';
  NumberHost host;
  auto* small = new kxnum::TIntEdit(&host, 10, 5, 5, 100, 20, 1, 99, false);
  auto* big = new kxnum::TLongIntEdit(&host, 11, 5, 30, 100, 20, 0, 1000, false);
  auto* real = new kxnum::TDecimalEdit(&host, 12, 5, 55, 100, 20, 1, 0, 10.05, false);
  ASSERT_TRUE(host.Create());
  // Writing: each class's own rule for an empty field.
  big->SetValue(-1);
  EXPECT_EQ(big->GetText(), "");
  big->SetValue(-5);
  EXPECT_EQ(big->GetText(), "-5");
  small->SetValue(100);
  EXPECT_EQ(small->GetText(), "");
  real->SetValue(2.5);
  EXPECT_EQ(real->GetText(), "2,5");
  // Stepping by the keys and the scroll arrows.
  small->SetValue(5);
  small->ClearModify();
  win::SetFocus(small->GetHandle());
  Type("-");
  EXPECT_EQ(small->GetText(), "4");
  EXPECT_TRUE(small->IsModified());
  small->SetValue(1);
  Type("-");
  EXPECT_EQ(small->GetText(), "1");
  EXPECT_EQ(Display().Beeps(), 1);
  small->SetText("");
  win::SendMessage(small->GetHandle(), win::WM_VSCROLL, kxnum::SB_LINEUP, 0);
  EXPECT_EQ(small->GetText(), "1");  // empty + up gives Min
  real->SetValue(10.0);
  win::SendMessage(real->GetHandle(), win::WM_VSCROLL, kxnum::SB_LINEUP, 0);
  EXPECT_EQ(real->GetText(), "10,1");  // above Max, not clamped
  // The private messages; the decimal edit's roles are swapped.
  EXPECT_EQ(win::SendMessage(small->GetHandle(), kxnum::WM_NUMSET, 0, win::MAKELPARAM(7, 1)), 1);
  EXPECT_EQ(win::SendMessage(small->GetHandle(), kxnum::WM_NUMGET), 7);
  double out = 0, in = 3.5;
  win::SendMessage(real->GetHandle(), kxnum::WM_NUMGET, 0, reinterpret_cast<win::LPARAM>(&in));
  win::SendMessage(real->GetHandle(), kxnum::WM_NUMSET, 0, reinterpret_cast<win::LPARAM>(&out));
  EXPECT_EQ(out, 3.5);
  // Transfer sizes 2, 4, 8 in creation order.
  uint8_t buffer[14] = {};
  host.SetTransferBuffer(buffer, sizeof buffer);
  EXPECT_TRUE(host.TransferData(fw::TTransferDirection::GetData));
  int16_t s;
  std::memcpy(&s, buffer, 2);
  EXPECT_EQ(s, 7);
  double d;
  std::memcpy(&d, buffer + 6, 8);
  EXPECT_EQ(d, 3.5);
  kxutil::DecimalSeparator = saved;
}

// --- 4.123: browse buttons ---

class BrowseDialog : public fw::TDialog {
 public:
  BrowseDialog(fw::TWindow* parent, fw::TOpenSaveData* data, bool dirOnly) : fw::TDialog(parent, 11702) {
    edit = new fw::TEdit(this, 201, 260);
    browse = new kxbrowse::TBrowseButton(this, 1, data, edit, dirOnly);
    folder = new kxbrowse::TFolderBtn(this, 2, edit);
  }
  fw::TEdit* edit;
  kxbrowse::TBrowseButton* browse;
  kxbrowse::TFolderBtn* folder;
};

TEST_F(kxdialogs, BrowseButtonStartsInTheEditsDirectoryAndWritesTheChoice) {
  struct Case {
    const char* text;
    bool dirOnly, cancel;
    const char* start;
    const char* after;
  };
  const Case cases[] = {
      {"C:\\DATA\\KUNDEN.DAT", false, false, "C:\\DATA\\", "D:\\X\\Y.TXT"},
      {"C:\\DATA\\KUNDEN.DAT", true, false, "C:\\DATA\\", "D:\\X\\"},
      {"C:\\DATA\\KUNDEN.DAT", false, true, "C:\\DATA\\", "C:\\DATA\\KUNDEN.DAT"},
      {"", false, false, "", "D:\\X\\Y.TXT"},
  };
  for (const Case& c : cases) {
    fw::TOpenSaveData data;
    data.Filter = "Alle Dateien|*.*|";
    BrowseDialog dialog(owner_, &data, c.dirOnly);
    ASSERT_TRUE(dialog.Create());
    dialog.edit->SetText(c.text);
    Answers().OpenFile("D:\\X\\Y.TXT", c.cancel).IfText("Durchsuchen");
    win::SendMessage(dialog.browse->GetHandle(), win::BM_CLICK);
    EXPECT_EQ(Answers().LastOpenFile().initialDir, c.start) << c.text;
    EXPECT_EQ(Answers().LastOpenFile().fileName, c.start);
    EXPECT_TRUE(Answers().LastOpenFile().flags & fw::OFN_HIDEREADONLY);
    EXPECT_EQ(dialog.edit->GetText(), c.after);
    EXPECT_TRUE(win::IsWindow(dialog.GetHandle()));  // the click is the button's, not the dialog's OK
  }
}

TEST_F(kxdialogs, FolderButtonWritesTheFolderCutTo255Characters) {
  BrowseDialog dialog(owner_, nullptr, false);
  ASSERT_TRUE(dialog.Create());
  const std::string deep = "/" + std::string(300, 'v');
  Answers().BrowseFolder("/home/daten").IfText("Verzeichnis");
  Answers().BrowseFolder(deep);
  Answers().BrowseFolder("", true);
  win::SendMessage(dialog.folder->GetHandle(), win::BM_CLICK);
  EXPECT_EQ(dialog.edit->GetText(), "/home/daten");
  win::SendMessage(dialog.folder->GetHandle(), win::BM_CLICK);
  EXPECT_EQ(dialog.edit->GetText(), deep.substr(0, 255));
  win::SendMessage(dialog.folder->GetHandle(), win::BM_CLICK);
  EXPECT_EQ(dialog.edit->GetText(), deep.substr(0, 255));
}

TEST_F(kxdialogs, ListButtonPostsOnThePressAndSinksOnlyWhenTold) {
  auto* button = new kxbrowse::TListBtn(owner_, 44, 10, 10, 20, 20);
  ASSERT_TRUE(button->Create());
  auto& spy = Spy(owner_->GetHandle());
  const win::HWND h = button->GetHandle();
  win::POINT p{5, 5};
  win::ClientToScreen(h, &p);
  win::InjectMouse(p, win::MouseButton::kNone, false);
  win::InjectMouse(p, win::MouseButton::kLeft, true);
  Settle();
  EXPECT_EQ(spy.Messages({win::WM_COMMAND}), (std::vector<win::UINT>{win::WM_COMMAND}));
  for (const auto& e : spy.Entries())
    if (e.message == win::WM_COMMAND) {
      EXPECT_EQ(e.wParam, 44u);
      EXPECT_EQ(e.lParam, win::LPARAM(h.id));
    }
  EXPECT_FALSE(button->Pressed);
  EXPECT_TRUE(MatchesWindowGolden(h, ZET_TOOLKIT_TESTS_DIR, "listbtn_raised"));
  win::InjectMouse(p, win::MouseButton::kLeft, false);
  Settle();
  button->SetPressed(true);
  EXPECT_TRUE(MatchesWindowGolden(h, ZET_TOOLKIT_TESTS_DIR, "listbtn_pressed"));
}

// --- the scripted provider ---

void AskUnanswered() {
  zettest::ScriptedAnswers answers;
  dialogs::SetInteractionProvider(&answers);
  win::MessageBox(nullptr, "Speichern?", "Frage", win::MB_YESNO);
  dialogs::SetInteractionProvider(nullptr);
}

void LeaveAnAnswer() {
  zettest::ScriptedAnswers answers;
  answers.OpenFile("C:\\A.TXT");
  answers.ExpectAllUsed();
}

void AskTheWrongKind() {
  zettest::ScriptedAnswers answers;
  dialogs::SetInteractionProvider(&answers);
  answers.MessageBox(win::IDOK);
  dialogs::OpenFileRequest request;
  request.title = "Datei";
  dialogs::AskOpenFile(request);  // the box's answer does not serve it
  dialogs::SetInteractionProvider(nullptr);
}

TEST(ScriptedAnswers, UnansweredQuestionsAndUnusedAnswersFailTheTest) {
  EXPECT_NONFATAL_FAILURE(AskUnanswered(), "unanswered question: Frage: Speichern?");
  EXPECT_NONFATAL_FAILURE(LeaveAnAnswer(), "answer never used: C:\\A.TXT");
  EXPECT_NONFATAL_FAILURE(AskTheWrongKind(), "unanswered question: open: Datei");
}

}  // namespace
