#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/language/pageformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/tests/fake_print_host.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using fakehost::Transcript;
using PageFormat::Layout;

class PageFormatter : public zettest::EngineTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    fakehost::Install();
    PageFormat::InitPageFormatter(800, 400, 0, 0, 0, 0, 0);
    PageFormat::SetPrinting(true);
  }
};

std::vector<std::string> g_measured;
extern "C" void RecordingMeasure(const char* text, uint16_t* w, uint16_t* h) {
  g_measured.emplace_back(text);
  fakehost::TextSize(text, w, h);
}

TEST(PrintCallsDefaults, EverySlotAnswersWithoutAHost) {
  PrintCalls::UnitInit();
  const PrintCalls::TSlots& s = PrintCalls::Slots();
  uint16_t w = 0, h = 0;
  s.pageSize(&w, &h);
  EXPECT_EQ(w, 10000);
  EXPECT_EQ(h, 10000);
  EXPECT_EQ(s.beginPrinting(), 0);
  EXPECT_EQ(s.endPage(1), 0);
  EXPECT_EQ(s.drawBlob(0, "x.bmp", 0, 0, 1, 1), 0);
  EXPECT_EQ(s.playSound(1, "ding"), 0);
  s.printText(0, 0, "x");
  s.moveTo(1, 1);
  s.lineTo(2, 2);
  s.boldFace(1);
  s.italic(1);
  PrintCalls::MeasureText("ab\x06", w, h);
  EXPECT_EQ(w, 2 * PrintCalls::kDefaultCellWidth);
  EXPECT_EQ(h, PrintCalls::kDefaultCellHeight);
}

TEST_F(PageFormatter, NullInstallRestoresTheDefaultSlot) {
  PrintCalls::SetPrintProcs(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  PageFormat::PrintControlledLine("abc");
  EXPECT_EQ(Transcript(), "");
  uint16_t w = 0, h = 0;
  PrintCalls::Slots().pageSize(&w, &h);
  EXPECT_EQ(w, 10000);
}

TEST_F(PageFormatter, SegmentIsCutAtTheRightMarginNeverWrapped) {
  Layout().pageWidth = 100;
  Layout().x = 50;
  PageFormat::PrintSegment("abcdefgh");
  EXPECT_EQ(Layout().x, 100);
  Layout().x = 100;
  PageFormat::PrintSegment("xyz");
  EXPECT_EQ(Layout().x, 100);
  PageFormat::PrintSegment("a^b");
  EXPECT_EQ(Transcript(), "text 50 0 'abcde'\ntext 100 0 ''\ntext 100 0 ''\n");
  Transcript().clear();
  Layout().x = 0;
  PageFormat::PrintSegment("a^b");
  EXPECT_EQ(Transcript(), "text 0 0 'a b'\n");
}

TEST_F(PageFormatter, MeasureVisibleNeverShowsControlCodesToTheHost) {
  PrintCalls::SetPrintProcs(fakehost::PageSize, fakehost::PrintText, nullptr, RecordingMeasure,
                            fakehost::MoveTo, fakehost::LineTo);
  g_measured.clear();
  std::string text = "a";
  for (char c = 1; c <= 20; ++c) text += c;
  text += "b\x15";
  EXPECT_EQ(PageFormat::MeasureVisible(text), 2 * fakehost::kCellWidth);  // code 21 is not drawn
  ASSERT_EQ(g_measured.size(), 1u);
  EXPECT_EQ(g_measured[0], "ab\x15");
}

TEST_F(PageFormatter, SplitToFitCases) {
  struct Case {
    const char* text;
    int available;
    bool wrap;
    int16_t x, left;
    const char* piece;
    const char* rest;
  };
  const Case cases[] = {
      {"short", 100, true, 0, 0, "short", ""},
      {"two words here", 80, false, 0, 0, "two", "words here"},
      {"abcdefghij", 50, false, 0, 0, "abcde", "fghij"},
      {"ab-cdefgh", 50, false, 0, 0, "ab-", "cdefgh"},
      {"abcdefghij", 50, true, 30, 0, "", "abcdefghij"},
      {"abcdefghij", 50, true, 30, 30, "abcde", "fghij"},
      {"ab\ncd", 100, false, 0, 0, "ab", "cd"},
      {"\nab", 100, false, 0, 0, "\nab", ""},
  };
  for (const Case& c : cases) {
    Layout().x = c.x;
    Layout().left = c.left;
    ShortStr text(c.text), rest;
    PageFormat::SplitToFit(text, rest, c.available, c.wrap);
    EXPECT_EQ(text.view(), c.piece) << c.text;
    EXPECT_EQ(rest.view(), c.rest) << c.text;
  }
}

TEST_F(PageFormatter, PrintWrappedEndsEvenWhenNoCharacterFits) {
  Layout().pageWidth = 5;  // narrower than one character
  ShortStr text("abc");
  PageFormat::PrintWrapped(text);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(Transcript(), "text 0 0 ''\ntext 0 20 ''\ntext 0 40 ''\n");
}

TEST_F(PageFormatter, ControlCharactersSwitchFacesAndSplitSegments) {
  PrintCalls::DefineStandardFonts();
  PrintCalls::SetOutputActive(true);
  PageFormat::PrintControlledLine(std::string("a\x06" "b\x07\x0B" "c\x0C\x1A\x02" "d"));
  EXPECT_EQ(Transcript(),
            "text 0 0 'a'\nbold 1\ntext 10 0 'b'\nbold 0\ntext 20 0 ''\nitalic 1\n"
            "text 20 0 'c'\nitalic 0\ntext 30 0 ''\nfont 'Arial' 16 010\ntext 30 0 'd'\n");
  EXPECT_EQ(PrintCalls::CurrentFontNumber(), 2);
  EXPECT_EQ(PrintCalls::CurrentLineHeight(), 91);  // round(16 x 5.7)
}

TEST_F(PageFormatter, FontNumbersOutsideTheTableChangeNothing) {
  PrintCalls::DefineStandardFonts();
  PrintCalls::SetOutputActive(true);
  PrintCalls::SelectFont(3);
  Transcript().clear();
  PrintCalls::SelectFont(0);
  PrintCalls::SelectFont(7);
  EXPECT_EQ(Transcript(), "");
  EXPECT_EQ(PrintCalls::CurrentFontNumber(), 3);
  PrintCalls::SetOutputActive(false);
  PrintCalls::SelectFont(1);  // no page begun: the host is not asked
  EXPECT_EQ(Transcript(), "");
  EXPECT_EQ(PrintCalls::CurrentLineHeight(), 137);  // round(24 x 5.7)
}

TEST_F(PageFormatter, FontDefinitions) {
  PrintCalls::ClearFonts();
  EXPECT_EQ(PrintCalls::DefineFont("t = Arial"), 0);
  EXPECT_EQ(PrintCalls::DefineFont("s=Courier New, 10"), 0);
  EXPECT_EQ(PrintCalls::DefineFont("u=Times,14,biu"), 0);
  EXPECT_EQ(PrintCalls::DefineFont("no equals"), 2);
  const auto& f = PrintCalls::Fonts();
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].face, "Arial");
  EXPECT_EQ(f[0].size, 12);
  EXPECT_EQ(f[0].bold + f[0].italic + f[0].underline, 0);
  EXPECT_EQ(f[1].size, 10);
  EXPECT_EQ(f[2].bold + f[2].italic + f[2].underline, 3);
  for (int i = 3; i < 20; ++i) EXPECT_EQ(PrintCalls::DefineFont("f" + std::to_string(i) + "=X"), 0);
  EXPECT_EQ(PrintCalls::DefineFont("extra=X"), 1);
  EXPECT_EQ(PrintCalls::Fonts().size(), 20u);
  EXPECT_EQ(PrintCalls::DefineFont("t=Arial,8,k"), 0);  // an existing id is replaced
  EXPECT_EQ(PrintCalls::Fonts()[0].size, 8);
  EXPECT_EQ(PrintCalls::FindFont("T"), 1);
}

TEST_F(PageFormatter, OverflowIsNeverReportedWhileABreakIsPending) {
  Layout().y = 380;
  EXPECT_TRUE(PageFormat::WouldOverflow(2));
  PageFormat::MoveToPageEnd();
  EXPECT_EQ(Layout().y, 400);
  EXPECT_FALSE(PageFormat::WouldOverflow(30000));
  PageFormat::ClearPageBreakPending();
  EXPECT_TRUE(PageFormat::WouldOverflow(1));
}

TEST_F(PageFormatter, PageTooSmallIsError79) {
  PageFormat::InitPageFormatter(800, 39, 0, 0, 0, 0, 0);
  PageFormat::CheckPageFits();
  EXPECT_EQ(Layout().error, PageFormat::kErrNoRoom);
  Layout().error = 0;
  PageFormat::InitPageFormatter(800, 400, 0, 0, 0, 0, 0);
  PageFormat::CheckPageFits();
  EXPECT_EQ(Layout().error, 0);
}

TEST_F(PageFormatter, RulesWithoutALineAdvanceShareTheirY) {
  Layout().y = 40;
  PageFormat::DrawHorizontalRule(-1);
  PageFormat::DrawHorizontalRule(-1);
  EXPECT_EQ(Transcript(), "move 10 45\nline 810 45\nmove 10 45\nline 810 45\n");
  EXPECT_EQ(Layout().y, 50);
}

TEST_F(PageFormatter, BoxedTableGolden) {
  Layout().y = 20;
  PageFormat::AddRuledColumn(10);
  PageFormat::AddRuledColumn(5);
  PageFormat::DrawHorizontalRule(-1);
  PageFormat::NewLineDefault();
  PageFormat::MarkVerticalRule();
  PageFormat::PrintControlledLine("cell");
  PageFormat::DrawHorizontalRule(0);
  PageFormat::NewLineDefault();
  PageFormat::DrawHorizontalRule(-1);
  PageFormat::DrawVerticalRules();
  fakehost::ExpectGolden("boxed_table", Transcript());
}

TEST_F(PageFormatter, AHundredAndFirstVerticalRuleIsDropped) {
  Layout().pageWidth = 30000;
  for (int i = 0; i < 101; ++i) PageFormat::MarkVerticalRule();
  EXPECT_EQ(Layout().ruleCount, PageFormat::kMaxVerticalRules);
  PageFormat::DrawVerticalRules();
  EXPECT_EQ(Layout().ruleCount, 0u);
}

TEST_F(PageFormatter, TextFileModeWritesPlainLines) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  PageFormat::SetTextFile(f);
  Layout().left = 20;  // two characters
  PageFormat::PrintControlledLine(std::string("ab\x06" "c"));
  PageFormat::NewLineDefault();
  Layout().fileCharWidth = 0;  // no cell: no margin blanks, no division
  PageFormat::PrintControlledLine("d");
  std::rewind(f);
  char buf[64] = {};
  size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  PageFormat::SetTextFile(nullptr);
  EXPECT_EQ(std::string(buf, n), "  abc\r\nd");
  EXPECT_EQ(Transcript(), "");
}

}  // namespace
