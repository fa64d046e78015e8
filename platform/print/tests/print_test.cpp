// Printers, jobs and sinks: the registry and WIN.INI [devices], device modes
// and capabilities, the job sequence with its abort procedure, and the PDF,
// PNG and metafile sinks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/fonts/font.h"
#include "platform/gdi/png.h"
#include "platform/print/job.h"
#include "platform/settings/profile.h"
#include "platform/testing/golden.h"

namespace fs = std::filesystem;
using namespace win;
using namespace platform::print;

namespace {

class Print : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() / ("qmk_print_" + std::to_string(getpid()));
    fs::remove_all(home_);
    fs::create_directories(home_ / "qmkrun32");
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    previousFont_ = platform::fonts::TestFontOn();
    ClearTestJobs();
  }
  void TearDown() override {
    RemoveTestPrinters();
    ClearTestJobs();
    platform::fonts::SetTestFont(previousFont_);
    fs::remove_all(home_);
  }
  fs::path home_;
  bool previousFont_ = false;
};

// A page of one text line per call, in a 20-pixel font.
void PrintPages(Dc& dc, const std::vector<std::string>& lines) {
  LOGFONT lf;
  lf.lfHeight = -100;
  SetFaceName(lf, "Arial");
  dc.SelectFont(lf);
  for (const std::string& line : lines) {
    ASSERT_GT(StartPage(dc), 0);
    dc.Rectangle(200, 200, 2000, 500);
    dc.TextOut(300, 300, line);
    ASSERT_GT(EndPage(dc), 0);
  }
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

TEST_F(Print, RegistryListsThePdfPrinterFirstAndWinIniDevicesFollowIt) {
  AddTestPrinter({"Testdrucker", "", "", PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  const auto all = Printers();
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(all.front().name, "QMK PDF");
  EXPECT_EQ(all.back().name, "Testdrucker");
  EXPECT_EQ(FindPrinter("qmk pdf")->name, "QMK PDF");
  EXPECT_FALSE(FindPrinter("kein Drucker"));

  char buffer[1024];
  const uint32_t n = GetProfileStringA("devices", nullptr, "", buffer, sizeof buffer);
  std::vector<std::string> keys;
  for (const char* p = buffer; p < buffer + n && *p; p += std::strlen(p) + 1) keys.push_back(p);
  EXPECT_EQ(keys.front(), "QMK PDF");
  EXPECT_EQ(keys.back(), "Testdrucker");
  GetProfileStringA("devices", "QMK PDF", "", buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "qmkpdf,PDF:");
  GetProfileStringA("windows", "device", "", buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "QMK PDF,qmkpdf,PDF:");
  // The file's own entries come first and win.
  WriteProfileStringA("devices", "QMK PDF", "anders,LPT1:");
  GetProfileStringA("devices", "qmk pdf", "", buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "anders,LPT1:");
}

TEST_F(Print, DeviceModesGivePaperAndCapabilities) {
  AddTestPrinter({"Rand", "", "", PrinterKind::kTestMetafiles, 254, {}, 100, 50, 101, 51});
  const Printer pdf = *FindPrinter("QMK PDF");
  DevMode mode = DefaultDevMode(pdf);
  EXPECT_STREQ(mode.dmDeviceName, "QMK PDF");
  struct Case {
    int16_t paper, orientation, width, length;
    SIZE size;
  } cases[] = {
      {DMPAPER_A4, DMORIENT_PORTRAIT, 0, 0, {2100, 2970}},
      {DMPAPER_A4, DMORIENT_LANDSCAPE, 0, 0, {2970, 2100}},
      {DMPAPER_LETTER, DMORIENT_PORTRAIT, 0, 0, {2159, 2794}},
      {DMPAPER_USER, DMORIENT_PORTRAIT, 2000, 3000, {2000, 3000}},
      {77, DMORIENT_PORTRAIT, 0, 0, {2100, 2970}},  // a code the printer lacks: A4
  };
  for (const Case& c : cases) {
    mode.dmPaperSize = c.paper, mode.dmOrientation = c.orientation;
    mode.dmPaperWidth = c.width, mode.dmPaperLength = c.length;
    EXPECT_EQ(PaperSize(pdf, &mode), c.size) << c.paper;
  }
  // 600 dpi, no margins: A4 is 4961 x 7016 pixels.
  const auto ic = CreateIC("qmkpdf", "QMK PDF", "PDF:", nullptr);
  ASSERT_TRUE(ic);
  EXPECT_EQ(ic->GetDeviceCaps(LOGPIXELSX), 600);
  EXPECT_EQ(ic->GetDeviceCaps(HORZRES), 4961);
  EXPECT_EQ(ic->GetDeviceCaps(VERTRES), 7016);
  EXPECT_EQ(ic->GetDeviceCaps(HORZSIZE), 210);
  EXPECT_EQ(ic->GetDeviceCaps(PHYSICALOFFSETX), 0);
  // 254 dpi is 1 pixel a tenth of a millimetre: margins come off the paper.
  const auto rand = CreateIC(nullptr, "rand", nullptr, nullptr);
  EXPECT_EQ(rand->GetDeviceCaps(PHYSICALWIDTH), 2100);
  EXPECT_EQ(rand->GetDeviceCaps(HORZRES), 2100 - 201);
  EXPECT_EQ(rand->GetDeviceCaps(VERTRES), 2970 - 101);
  EXPECT_EQ(rand->GetDeviceCaps(PHYSICALOFFSETX), 100);
  EXPECT_EQ(rand->GetDeviceCaps(PHYSICALOFFSETY), 50);
  EXPECT_FALSE(CreateIC(nullptr, "niemand", nullptr, nullptr));

  EXPECT_EQ(DeviceCapabilities("QMK PDF", "PDF:", DC_PAPERS, nullptr), 5);
  EXPECT_EQ(DeviceCapabilities("niemand", "", DC_PAPERS, nullptr), -1);
  EXPECT_EQ(PaperNames("QMK PDF")[3], "A4");
  EXPECT_EQ(PaperSizes("QMK PDF")[3], (POINT{2100, 2970}));
  EXPECT_EQ(PaperCodes("QMK PDF")[3], DMPAPER_A4);
}

TEST_F(Print, ThreePagesToThePdfPrinterCarryTheirTextsInOrder) {
  platform::fonts::SetTestFont(false);
  const std::string pdf = (home_ / "drei.pdf").string();
  auto dc = CreateDC("qmkpdf", "QMK PDF", "PDF:", nullptr);
  ASSERT_TRUE(dc);
  ASSERT_GT(StartDoc(*dc, {"Drei", pdf}), 0);
  PrintPages(*dc, {"Erste Seite", "Zweite Seite", "Dritte Seite"});
  ASSERT_GT(EndDoc(*dc), 0);
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_FALSE(fs::exists(pdf + ".part"));
  const std::string text = Output("pdftotext -layout '" + pdf + "' -");
  const size_t a = text.find("Erste Seite"), b = text.find("Zweite Seite"), c = text.find("Dritte Seite");
  ASSERT_NE(a, std::string::npos) << text;
  ASSERT_NE(b, std::string::npos) << text;
  ASSERT_NE(c, std::string::npos) << text;
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  // One form feed after each page.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3);
  EXPECT_NE(Output("pdfinfo '" + pdf + "'").find("595.32 x 841.92"), std::string::npos);
  if (const char* keep = std::getenv("QMK_KEEP_PDF")) fs::copy_file(pdf, keep, fs::copy_options::overwrite_existing);
  // Without an output name the job goes to the configured folder.
  WriteProfileStringA("QMK PDF", "Folder", (home_ / "ablage").c_str());
  ASSERT_GT(StartDoc(*dc, {"Ohne Namen", ""}), 0);
  PrintPages(*dc, {"x"});
  ASSERT_GT(EndDoc(*dc), 0);
  EXPECT_TRUE(fs::exists(home_ / "ablage" / "Ohne Namen.pdf"));
}

TEST_F(Print, AbortProcedureAnsweringFalseEndsTheJobWithoutOutput) {
  platform::fonts::SetTestFont(true);
  const std::string pdf = (home_ / "abbruch.pdf").string();
  auto dc = CreateDC(nullptr, "QMK PDF", nullptr, nullptr);
  int calls = 0;
  SetAbortProc(*dc, [&](Dc& on, int code) {
    EXPECT_EQ(&on, dc.get());
    EXPECT_EQ(code, 0);
    return ++calls < 2;  // the second page is refused
  });
  ASSERT_GT(StartDoc(*dc, {"Abbruch", pdf}), 0);
  PrintPages(*dc, {"eins"});
  ASSERT_GT(StartPage(*dc), 0);
  EXPECT_EQ(EndPage(*dc), SP_APPABORT);
  EXPECT_EQ(calls, 2);
  // The job is gone: nothing more goes, and no file is left.
  EXPECT_EQ(StartPage(*dc), SP_ERROR);
  EXPECT_EQ(EndDoc(*dc), SP_ERROR);
  EXPECT_FALSE(fs::exists(pdf));
  EXPECT_FALSE(fs::exists(pdf + ".part"));
}

TEST_F(Print, CallsOutOfOrderAreRefused) {
  AddTestPrinter({"Folge", "", "", PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  auto dc = CreateDC(nullptr, "Folge", nullptr, nullptr);
  Dc plain(Bitmap::Create(4, 4, 32));
  struct Case {
    const char* name;
    int answer;
  } cases[] = {
      {"page before the job", StartPage(*dc)},
      {"end page before the job", EndPage(*dc)},
      {"end before the job", EndDoc(*dc)},
      {"abort before the job", AbortDoc(*dc)},
      {"a job on a screen DC", StartDoc(plain, {"x", ""})},
      {"a job", StartDoc(*dc, {"Folge", ""})},
      {"a second job", StartDoc(*dc, {"Folge", ""})},
      {"end page without a page", EndPage(*dc)},
      {"a page", StartPage(*dc)},
      {"a page in a page", StartPage(*dc)},
      {"end with the page open", EndDoc(*dc)},
  };
  const int expected[] = {SP_ERROR, SP_ERROR, SP_ERROR, SP_ERROR, SP_ERROR, 1, SP_ERROR, SP_ERROR, 1, SP_ERROR, 1};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].answer, expected[i]) << cases[i].name;
  ASSERT_EQ(TestJobs().size(), 1u);
  EXPECT_TRUE(TestJobs()[0].finished);
  EXPECT_EQ(TestJobs()[0].pages.size(), 1u);  // the page EndDoc found open
}

TEST_F(Print, TestPrinterKeepsPagesWithTextsAndPositions) {
  platform::fonts::SetTestFont(true);
  AddTestPrinter({"Ablage", "", "", PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  auto dc = CreateDC(nullptr, "ablage", nullptr, nullptr);
  ASSERT_GT(StartDoc(*dc, {"Liste", ""}), 0);
  LOGFONT lf;
  lf.lfHeight = 10;
  dc->SelectFont(lf);
  ASSERT_GT(StartPage(*dc), 0);
  dc->TextOut(10, 20, "oben");
  dc->SetTextAlign(TA_RIGHT);
  dc->TextOut(100, 40, "rechts");
  ASSERT_GT(EndPage(*dc), 0);
  ASSERT_GT(StartPage(*dc), 0);  // the next page keeps font and alignment
  dc->TextOut(100, 10, "zwei");
  ASSERT_GT(EndDoc(*dc), 0);
  const TestJob& job = TestJobs().at(0);
  ASSERT_EQ(job.pages.size(), 2u);
  const DeviceCaps caps = dc->Caps();
  const auto first = PageTexts(job.pages[0], caps), second = PageTexts(job.pages[1], caps);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].text, "oben");
  EXPECT_EQ(first[0].at, (POINT{10, 20}));
  EXPECT_EQ(first[1].at, (POINT{100 - 6 * 5, 40}));
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].at, (POINT{100 - 4 * 5, 10}));
}

TEST_F(Print, PngPrinterPageMatchesItsGolden) {
  platform::fonts::SetTestFont(true);
  // 20 dpi: an A5 page is 117 x 165 pixels.
  Printer png{"Bild", "", "", PrinterKind::kTestPng, 20, {}, 0, 0, 0, 0};
  AddTestPrinter(png);
  DevMode mode = DefaultDevMode(png);
  mode.dmPaperSize = DMPAPER_A5;
  auto dc = CreateDC(nullptr, "Bild", nullptr, &mode);
  const std::string base = (home_ / "seite").string();
  ASSERT_GT(StartDoc(*dc, {"Bild", base}), 0);
  ASSERT_GT(StartPage(*dc), 0);
  LOGFONT lf;
  lf.lfHeight = 12;
  dc->SelectFont(lf);
  dc->SelectBrush(CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 160)));
  dc->Rectangle(5, 5, 112, 60);
  dc->SetBkMode(TRANSPARENT);
  dc->TextOut(10, 70, "Seite 1");
  dc->SelectPen(CreatePen(PS_DOT, 0, RGB(200, 0, 0)));
  dc->MoveToEx(5, 100);
  dc->LineTo(112, 160);
  ASSERT_GT(EndPage(*dc), 0);
  ASSERT_GT(EndDoc(*dc), 0);
  const auto page = ReadPng(base + "-1.png");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->Width(), 117);
  EXPECT_TRUE(zettest::MatchesGolden(*page, std::string(ZET_PRINT_TESTS_DIR) + "/golden/png_page.png"));
}

}  // namespace
