// The progress, tip and abort dialogs and the tool-tip hook, driven headless
// with real messages.
#include "runtime/toolkit/kxdlgs20.h"

#include <gtest/gtest.h>

#include "engine/base/engassert.h"
#include "platform/controls/tooltip.h"
#include "platform/print/job.h"
#include "platform/print/printers.h"
#include "platform/settings/profile.h"
#include "platform/testing/ui.h"
#include "runtime/toolkit/tests/toolkit_ui.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxprint.h"

namespace {

using namespace kxdlg;

class kxdlgs20 : public toolkittest::DialogTest {
 protected:
  void TearDown() override {
    kxobject::UserAbort = false;
    DialogTest::TearDown();
  }
  void ClickItem(win::HWND dialog, int id) { Click(win::GetDlgItem(dialog, id), 3, 3); }
};

// --- the progress dialog ---

TEST_F(kxdlgs20, OnlyACancellableProgressDialogTakesCancelAndNoneClosesByTheUser) {
  for (const bool mayCancel : {false, true}) {
    auto* dialog = new TProgressDlg(owner_, "Sortieren", mayCancel, false);
    ASSERT_TRUE(dialog->Create());
    const win::HWND h = dialog->GetHandle();
    EXPECT_EQ(win::IsWindowEnabled(win::GetDlgItem(h, win::IDCANCEL)), mayCancel);
    EXPECT_EQ(kxprogress::ProgressCallback(1, 4), 0);
    EXPECT_EQ(dialog->MainBar->GetPercent(), 25);
    win::SetFocus(h);
    Key(win::VK_ESCAPE);
    win::PostMessage(h, win::WM_CLOSE);
    Settle();
    ASSERT_TRUE(win::IsWindow(h)) << mayCancel;
    EXPECT_EQ(kxprogress::ProgressCallback(2, 4), mayCancel ? 1 : 0) << mayCancel;
    delete dialog;
    EXPECT_EQ(kxprogress::ProgressCallback(3, 4), -1);
  }
}

TEST_F(kxdlgs20, TheTwoBarDialogFeedsBothCallBacks) {
  auto* dialog = new TProgressDlg(owner_, nullptr, true, true);
  ASSERT_TRUE(dialog->Create());
  EXPECT_EQ(win::GetWindowText(dialog->GetHandle()), "Fortschritt2");
  EXPECT_EQ(kxprogress::ProgressCallback(1, 2), 0);
  EXPECT_EQ(kxprogress::SecondaryProgressCallback(1, 4), 0);
  ASSERT_NE(dialog->SecondBar, nullptr);
  EXPECT_EQ(dialog->SecondBar->GetPercent(), 25);
  ClickItem(dialog->GetHandle(), win::IDCANCEL);
  EXPECT_EQ(kxprogress::SecondaryProgressCallback(2, 4), 1);
  EXPECT_TRUE(MatchesWindowGolden(dialog->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "progress_11704"));
  delete dialog;
  EXPECT_EQ(kxprogress::SecondaryProgressCallback(3, 4), -1);
}

// --- the tip of the day ---

TEST_F(kxdlgs20, TipsWrapToTheFirstAndOkWritesTheNextTip) {
  const std::string ini = TempDir() + "/tips.ini";
  win::WritePrivateProfileStringA("Tips", "AktTip", "7", ini.c_str());
  for (int i = 1; i <= 5; ++i)
    win::WritePrivateProfileStringA("Tips", ("Tip" + std::to_string(i)).c_str(), ("Tipp " + std::to_string(i)).c_str(),
                                    ini.c_str());
  struct Case {
    std::vector<int> presses;  // buttons pressed before the dialog ends
    int end;
    std::vector<const char*> shown;  // the tip after the set-up and after each press
    int aktTip;
    int beimStart;
  } cases[] = {
      {{}, win::IDOK, {"Tipp 1"}, 2, 1},
      // Back from tip 1 asks for tip 0, which wraps to tip 1 again.
      {{201, 201, 200, 110}, win::IDOK, {"Tipp 2", "Tipp 1", "Tipp 1", "Tipp 2", "Tipp 2"}, 3, 0},
      // Cancel writes nothing.
      {{200}, win::IDCANCEL, {"Tipp 3", "Tipp 4"}, 3, 0},
  };
  for (const Case& c : cases) {
    TTipDlg dialog(owner_, ini.c_str());
    Then([&] {
      const win::HWND d = Modal();
      std::vector<std::string> shown{win::GetDlgItemText(d, 100)};
      if (c.presses.empty()) EXPECT_TRUE(MatchesWindowGolden(d, ZET_TOOLKIT_TESTS_DIR, "tip_11700"));
      for (int id : c.presses) {
        ClickItem(d, id);
        shown.push_back(win::GetDlgItemText(d, 100));
      }
      EXPECT_EQ(shown, std::vector<std::string>(c.shown.begin(), c.shown.end()));
      if (c.end == win::IDOK) ClickItem(d, win::IDOK);
      else Key(win::VK_ESCAPE);  // the dialog has no Cancel button
    });
    EXPECT_EQ(dialog.Execute(), c.end);
    EXPECT_EQ(win::GetPrivateProfileIntA("Tips", "AktTip", 0, ini.c_str()), c.aktTip);
    EXPECT_EQ(win::GetPrivateProfileIntA("Tips", "BeimStart", -1, ini.c_str()), c.beimStart);
  }
}

TEST_F(kxdlgs20, BelowTipZeroTheDialogOnlyBeeps) {
  const std::string ini = TempDir() + "/leer.ini";
  win::WritePrivateProfileStringA("Tips", "AktTip", "-3", ini.c_str());
  TTipDlg dialog(owner_, ini.c_str());
  Then([&] {
    const win::HWND d = Modal();
    EXPECT_EQ(win::GetDlgItemText(d, 100), "");
    const int beeps = Display().Beeps();
    ClickItem(d, 201);
    ClickItem(d, 201);
    EXPECT_EQ(Display().Beeps(), beeps + 2);
    Key(win::VK_ESCAPE);
  });
  EXPECT_EQ(dialog.Execute(), win::IDCANCEL);
}

// --- the abort dialog ---

TEST(AbortLines, LongNamesAreCutWithDotsToTheLine) {
  const std::string long300(300, 'x');
  struct Case {
    std::string format, value, line;
  } cases[] = {
      {"%s", "Rechnung", "Rechnung"},
      {"in Datei %s", "C:\\AUS\\LISTE.TXT", "in Datei C:\\AUS\\LISTE.TXT"},
      {"%s", long300, std::string(100, 'x') + "..."},
      {"in Datei %s", long300, "in Datei " + std::string(91, 'x') + "..."},
      {"%s", std::string(103, 'y'), std::string(103, 'y')},
      {"100%% %s", "z", "100% z"},
      {"ohne", "z", "ohne"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatAbortLine(c.format, c.value), c.line) << c.format;
}

TEST_F(kxdlgs20, TheAbortDialogNamesTheDocumentAndTheTarget) {
  fw::TPrinter printer;
  printer.Device = "Laser";
  printer.Output = "LPT1:";
  struct Case {
    const char* file;
    std::string doc;
    std::string line1, line3;
  } cases[] = {
      {"", "Rechnung", "Rechnung", "LPT1:"},
      {"C:\\AUS\\LISTE.TXT", "Liste", "Liste", "in Datei C:\\AUS\\LISTE.TXT"},
      {"", std::string(300, 'D'), std::string(100, 'D') + "...", "LPT1:"},
  };
  for (const Case& c : cases) {
    TAbortDlg dialog(owner_, c.doc.c_str(), c.file, &printer);
    ASSERT_TRUE(dialog.Create());
    const win::HWND d = dialog.GetHandle();
    EXPECT_EQ(win::GetDlgItemText(d, 101), c.line1);
    EXPECT_EQ(win::GetDlgItemText(d, 102), "Laser");
    EXPECT_EQ(win::GetDlgItemText(d, 103), c.line3);
    if (c.doc == "Rechnung") EXPECT_TRUE(MatchesWindowGolden(d, ZET_TOOLKIT_TESTS_DIR, "abort_dlg"));
  }
}

// The printing spooler as the abort dialog meets it: it clears UserAbort and
// installs the abort procedure when the document starts, starts a page only
// while UserAbort is clear, and aborts the document when it is set.
struct SpoolerDouble {
  std::vector<int> pagesStarted;
  void Print(win::Dc& dc, int pages, const std::function<void(int)>& duringPage) {
    kxobject::UserAbort = false;
    win::SetAbortProc(dc, kxobject::PrintAbortProc);
    win::StartDoc(dc, {"Liste", ""});
    for (int page = 1; page <= pages && !kxobject::UserAbort; ++page) {
      if (win::StartPage(dc) <= 0) break;
      pagesStarted.push_back(page);
      duringPage(page);
      if (win::EndPage(dc) < 0) break;
    }
    if (kxobject::UserAbort) win::AbortDoc(dc);
    else win::EndDoc(dc);
  }
};

TEST_F(kxdlgs20, CancelInTheAbortDialogAbortsTheRunningJob) {
  platform::print::AddTestPrinter({"Ablage", "", "", platform::print::PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  platform::print::ClearTestJobs();
  fw::TPrinter printer;
  printer.Device = "Ablage";
  printer.Output = "TEST:";
  TAbortDlg dialog(owner_, "Liste", "", &printer);
  ASSERT_TRUE(dialog.Create());
  const win::HWND cancel = win::GetDlgItem(dialog.GetHandle(), win::IDCANCEL);
  auto dc = win::CreateDC("qmktest", "Ablage", "TEST:", nullptr);
  ASSERT_TRUE(dc);
  SpoolerDouble spooler;
  spooler.Print(*dc, 4, [&](int page) {
    if (page != 2) return;
    // The user clicks Cancel while page 2 prints; the abort procedure sees it.
    win::POINT p{3, 3};
    win::ClientToScreen(cancel, &p);
    win::InjectMouse(p, win::MouseButton::kLeft, true);
    win::InjectMouse(p, win::MouseButton::kLeft, false);
  });
  EXPECT_TRUE(kxobject::UserAbort);
  EXPECT_EQ(spooler.pagesStarted, (std::vector<int>{1, 2}));
  EXPECT_EQ(win::GetDlgItemText(dialog.GetHandle(), 102), "");
  EXPECT_EQ(win::GetDlgItemText(dialog.GetHandle(), 103), "ABGEBROCHEN");
  ASSERT_EQ(platform::print::TestJobs().size(), 1u);
  EXPECT_TRUE(platform::print::TestJobs()[0].aborted);
  platform::print::RemoveTestPrinters();
}

// --- the tool-tip hook ---

std::vector<win::MSG> relayed;
win::LRESULT RecordRelays(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  if (msg == win::TTM_RELAYEVENT) relayed.push_back(*reinterpret_cast<const win::MSG*>(lParam));
  return win::DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST_F(kxdlgs20, TheHookRelaysOnlyTheMouseMessagesOfTheDialogsChildren) {
  static const bool registered = [] {
    win::WNDCLASS wc;
    wc.lpfnWndProc = RecordRelays;
    wc.lpszClassName = "QmkRelayProbe";
    return win::RegisterClass(wc);
  }();
  ASSERT_TRUE(registered);
  relayed.clear();
  TAbortDlg dialog(owner_, "Liste", "", nullptr);
  ASSERT_TRUE(dialog.Create());
  const win::HWND d = dialog.GetHandle();
  const win::HWND tip = win::CreateWindowEx(0, "QmkRelayProbe", "", win::WS_POPUP, 0, 0, 10, 10, d, 0);
  ASSERT_TRUE(InstallDlgToolTipHook(d, tip));
  EXPECT_THROW(InstallDlgToolTipHook(d, tip), EAssertion);
  const win::HWND child = win::GetDlgItem(d, win::IDCANCEL);
  const struct {
    win::HWND hwnd;
    win::UINT msg;
    bool relayed;
  } cases[] = {
      {child, win::WM_MOUSEMOVE, true},     {child, win::WM_LBUTTONDOWN, true}, {child, win::WM_LBUTTONUP, true},
      {child, win::WM_RBUTTONDOWN, true},   {child, win::WM_RBUTTONUP, true},   {child, win::WM_LBUTTONDBLCLK, false},
      {child, win::WM_KEYDOWN, false},      {d, win::WM_MOUSEMOVE, false},      {owner_->GetHandle(), win::WM_MOUSEMOVE, false},
  };
  for (const auto& c : cases) {
    relayed.clear();
    win::PostMessage(c.hwnd, c.msg, 0, win::MAKELPARAM(4, 5));
    Settle();
    ASSERT_EQ(relayed.size(), c.relayed ? 1u : 0u) << std::hex << c.msg;
    if (c.relayed) {
      EXPECT_EQ(relayed[0].hwnd, c.hwnd);
      EXPECT_EQ(relayed[0].message, c.msg);
      EXPECT_EQ(relayed[0].lParam, win::MAKELPARAM(4, 5));
    }
  }
  EXPECT_THROW(RemoveDlgToolTipHook(owner_->GetHandle()), EAssertion);
  RemoveDlgToolTipHook(d);
  relayed.clear();
  win::PostMessage(child, win::WM_MOUSEMOVE);
  Settle();
  EXPECT_TRUE(relayed.empty());
  // With the hook gone a new one may be installed: the real tool-tip window shows after its delay.
  win::RegisterControlClasses();
  const win::HWND tt = win::CreateWindowEx(0, win::kToolTipClass, "", win::WS_POPUP, 0, 0, 0, 0, d, 0);
  ASSERT_TRUE(InstallDlgToolTipHook(d, tt));
  RemoveDlgToolTipHook(d);
}

}  // namespace
