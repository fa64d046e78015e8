// The printer object: printers chosen by name, paper codes from sizes and
// back, margins, the saved device mode, the set-up question; the abort
// procedure of print jobs, pumping headless.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "engine/base/engassert.h"
#include "platform/print/job.h"
#include "platform/testing/ui.h"
#include "runtime/toolkit/kxprint.h"

using namespace kxobject;
namespace fs = std::filesystem;

namespace {

class PrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() / ("qmk_kxprint_" + std::to_string(getpid()));
    fs::create_directories(home_ / "qmkrun32");
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    platform::print::RemoveTestPrinters();
    fs::remove_all(home_);
  }
  fs::path home_;
};

TEST_F(PrinterTest, PaperSizesSelectTheFirstCodeOrTheUserSize) {
  TKxPrinter printer;
  ASSERT_EQ(printer.Device, "QMK PDF");
  struct Case {
    int width, height;
    int16_t code, orientation;
    int readWidth, readHeight;
  } cases[] = {
      {2100, 2970, 9, win::DMORIENT_PORTRAIT, 2100, 2970},
      {2970, 2100, 9, win::DMORIENT_LANDSCAPE, 2970, 2100},
      {2000, 3000, 256, win::DMORIENT_PORTRAIT, 2000, 3000},
      {2159, 2794, 1, win::DMORIENT_PORTRAIT, 2159, 2794},  // also codes 2 and 18: the lowest wins
      {4318, 2794, 3, win::DMORIENT_LANDSCAPE, 4318, 2794},  // code 3 swapped comes before code 4
      {1000, 1000, 24, win::DMORIENT_PORTRAIT, 1000, 1000},
  };
  for (const Case& c : cases) {
    printer.SetPaperSize(c.width, c.height);
    EXPECT_EQ(printer.DevMode->dmPaperSize, c.code) << c.width << "x" << c.height;
    EXPECT_EQ(printer.DevMode->dmOrientation, c.orientation) << c.width << "x" << c.height;
    const bool user = c.code == win::DMPAPER_USER;
    EXPECT_EQ((printer.DevMode->dmFields & (win::DM_PAPERWIDTH | win::DM_PAPERLENGTH)) != 0, user);
    int code = 0, w = 0, h = 0;
    printer.GetPaperSize(code, w, h);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(w, c.readWidth) << c.width << "x" << c.height;
    EXPECT_EQ(h, c.readHeight) << c.width << "x" << c.height;
  }
  // Codes outside the table answer 0 x 0 and read nothing outside it.
  for (const int16_t unknown : {0, 42, 255, -3}) {
    printer.DevMode->dmPaperSize = unknown;
    int code = 0, w = 1, h = 1;
    printer.GetPaperSize(code, w, h);
    EXPECT_EQ(code, unknown);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
  }
  // Without a device mode: code 8, nothing changes.
  printer.DevMode.reset();
  printer.SetPaperSize(2100, 2970);
  printer.SetOrientation(2);
  int code = 0, w = 0, h = 0;
  printer.GetPaperSize(code, w, h);
  EXPECT_EQ(code, 8);
  EXPECT_EQ(w, 2970);
  EXPECT_EQ(h, 4200);
}

TEST_F(PrinterTest, SelectPrinterFindsDevicesWhateverTheirCase) {
  platform::print::AddTestPrinter({"Etiketten", "", "", platform::print::PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  TKxPrinter printer;
  EXPECT_EQ(printer.SelectPrinter("etiketten"), 0);
  EXPECT_EQ(printer.Device, "Etiketten");
  EXPECT_EQ(printer.Driver, "qmktest");
  EXPECT_EQ(printer.Output, "TEST:");
  EXPECT_STREQ(printer.DevMode->dmDeviceName, "Etiketten");
  EXPECT_EQ(printer.SelectPrinter("qmk pdf"), 0);
  EXPECT_EQ(printer.Device, "QMK PDF");
  EXPECT_EQ(printer.SelectPrinter("Kein Drucker"), -1);
  EXPECT_EQ(printer.Device, "QMK PDF");
  EXPECT_EQ(printer.GetPaperCount(), 5);
  EXPECT_EQ(printer.GetPaperNames().size(), 5u);
  EXPECT_EQ(printer.GetPaperSizes()[3], (win::POINT{2100, 2970}));
}

TEST_F(PrinterTest, MarginsSplitTheUnprintableRest) {
  // 254 dpi: a pixel is a tenth of a millimetre; margins 100/50/101/51.
  platform::print::AddTestPrinter({"Rand", "", "", platform::print::PrinterKind::kTestMetafiles, 254, {}, 100, 50, 101, 51});
  TKxPrinter printer;
  win::RECT m;
  printer.GetMargins(m);
  EXPECT_EQ(m, (win::RECT{0, 0, 0, 0}));  // the PDF printer prints the whole paper
  ASSERT_EQ(printer.SelectPrinter("Rand"), 0);
  printer.GetMargins(m);
  // Printable 2100 - 201 = 1899 -> 190 mm: 200 left over; 2970 - 101 = 2869 -> 287 mm: 100.
  EXPECT_EQ(m, (win::RECT{100, 50, 100, 50}));
  printer.SetPaperSize(2159, 2794);  // an odd difference puts the extra tenth right and bottom
  printer.GetMargins(m);
  EXPECT_EQ(m.left + m.right, 2159 - 1960);  // 1958 -> 196 mm
  EXPECT_EQ(m.right - m.left, 1);
}

TEST_F(PrinterTest, SavedDevModeIsRestoredOnceAndChecked) {
  TKxPrinter printer;
  EXPECT_THROW(printer.RestoreDevMode(), EAssertion);
  printer.SaveDevMode();
  EXPECT_THROW(printer.SaveDevMode(), EAssertion);
  printer.SetPaperSize(2970, 2100);
  printer.RestoreDevMode();
  EXPECT_EQ(printer.DevMode->dmOrientation, win::DMORIENT_PORTRAIT);
  EXPECT_EQ(printer.DevMode->dmPaperSize, win::DMPAPER_A4);
  EXPECT_FALSE(printer.SavedDevMode);
}

// Answers the set-up question with OK and landscape, or not at all.
struct SetupAnswer : dialogs::InteractionProvider {
  void MessageBox(dialogs::MessageBoxRequest&) override { ADD_FAILURE() << "unexpected message box"; }
  void PrintDialog(dialogs::PrintDialogRequest& r) override {
    flags.push_back(r.flags);
    r.devMode.dmOrientation = win::DMORIENT_LANDSCAPE;
    r.answer = ok;
  }
  bool ok = false;
  std::vector<win::DWORD> flags;
};

TEST_F(PrinterTest, SetupAsksOnlyTheSetUpQuestion) {
  TKxPrinter printer;
  SetupAnswer answer;
  dialogs::SetInteractionProvider(&answer);
  printer.Flags = win::PD_RETURNDC | win::PD_RETURNDEFAULT | win::PD_PAGENUMS;
  EXPECT_FALSE(printer.Setup(nullptr));
  EXPECT_EQ(printer.DevMode->dmOrientation, win::DMORIENT_PORTRAIT);
  answer.ok = true;
  EXPECT_TRUE(printer.Setup(nullptr));
  dialogs::SetInteractionProvider(nullptr);
  EXPECT_EQ(answer.flags, (std::vector<win::DWORD>(2, win::PD_PRINTSETUP | win::PD_PAGENUMS)));
  EXPECT_EQ(printer.DevMode->dmOrientation, win::DMORIENT_LANDSCAPE);
  EXPECT_EQ(printer.Device, "QMK PDF");
}

class AbortProcTest : public zettest::UiTest {
 protected:
  void TearDown() override {
    UserAbort = false;
    platform::print::RemoveTestPrinters();
    UiTest::TearDown();
  }
};

// A window whose user message stands for the abort dialog's Cancel.
win::LRESULT CancelProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  if (msg == win::WM_USER) UserAbort = true;
  return win::DefWindowProc(hwnd, msg, wParam, lParam);
}

win::HWND CancelWindow() {
  static const bool registered = [] {
    win::WNDCLASS wc;
    wc.lpfnWndProc = CancelProc;
    wc.lpszClassName = "QmkCancelProbe";
    return win::RegisterClass(wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return win::CreateWindowEx(0, "QmkCancelProbe", "", win::WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, 0);
}

TEST_F(AbortProcTest, PumpsWaitingMessagesAndGoesOnOnlyWhileNotCancelled) {
  const win::HWND cancel = CancelWindow();
  ASSERT_TRUE(cancel);
  win::Dc dc(win::Bitmap::Create(4, 4, 32));
  struct Case {
    const char* name;
    bool pressed;  // the Cancel message waits in the queue
    bool flag;
    int code;
    bool goOn;
  } cases[] = {
      {"nothing waiting", false, false, 0, true},
      {"Cancel waiting is pumped and stops", true, false, 0, false},
      {"flag set before", false, true, 0, false},
      {"an error code stops", false, false, win::SP_OUTOFDISK, false},
  };
  for (const Case& c : cases) {
    UserAbort = c.flag;
    if (c.pressed) win::PostMessage(cancel, win::WM_USER);
    EXPECT_EQ(PrintAbortProc(dc, c.code), c.goOn) << c.name;
    EXPECT_FALSE(win::HasWork()) << c.name;
  }
}

TEST_F(AbortProcTest, CancelDuringAJobLeavesNoOutput) {
  platform::print::AddTestPrinter({"Ablage", "", "", platform::print::PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  platform::print::ClearTestJobs();
  const win::HWND cancel = CancelWindow();
  auto dc = win::CreateDC("qmktest", "Ablage", "TEST:", nullptr);
  ASSERT_TRUE(dc);
  UserAbort = false;
  win::SetAbortProc(*dc, PrintAbortProc);
  ASSERT_GT(win::StartDoc(*dc, {"Liste", ""}), 0);
  std::vector<int> ends;
  for (int page = 1; page <= 3; ++page) {
    win::StartPage(*dc);
    dc->TextOut(0, 0, "Seite");
    if (page == 2) win::PostMessage(cancel, win::WM_USER);
    ends.push_back(win::EndPage(*dc));
    if (ends.back() < 0) break;
  }
  EXPECT_EQ(ends, (std::vector<int>{1, win::SP_APPABORT}));
  ASSERT_EQ(platform::print::TestJobs().size(), 1u);
  EXPECT_TRUE(platform::print::TestJobs()[0].aborted);
  EXPECT_FALSE(platform::print::TestJobs()[0].finished);
}

}  // namespace
