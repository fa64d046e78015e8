#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/variables.h"
#include "engine/language/lineformat.h"
#include "engine/language/pageformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/tests/fake_print_host.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using fakehost::Transcript;
using PageFormat::Layout;

// Builders of print-line code.
std::string Lit(std::string_view s) {
  return std::string(1, char(ByteCode::tkStringConst)) + char(s.size()) + std::string(s);
}
std::string Real(double v) {
  std::string out(1, char(ByteCode::tkRealConst));
  char b[8];
  std::memcpy(b, &v, 8);
  return out + std::string(b, 8);
}
std::string N(int n) { return std::string{char(ByteCode::tkByteConst), char(n)}; }
// A format: letter, width, then a, b, c (-1 = left out).
std::string Fmt(uint8_t letter, int width, int a = -1, int b = -1, int c = -1) {
  std::string out(1, char(letter));
  out += width == 0 ? std::string{char(ByteCode::tkByteConst), 0} : N(width);
  const int rest[] = {a, b, c};
  int last = -1;
  for (int i = 0; i < 3; ++i)
    if (rest[i] >= 0) last = i;
  for (int i = 0; i <= last; ++i) out += std::string(1, ':') + N(std::max(rest[i], 0));
  return out;
}
// The code of a Lumo expression.
std::string Code(const std::string& text) {
  ShortStr t(text);
  uint64_t tables = 0;
  EXPECT_EQ(Zet02::CompileExpression(t, tables), 0) << text;
  return std::string(t.view());
}
// Declares v as a number variable holding value; answers its code.
std::string NumberVar(double value) {
  size_t pos = 1;
  uint16_t err = 0;
  ZetVars::ParseVarDeclaration(0, "v: REAL", pos, err, false);
  EXPECT_EQ(err, 0);
  Zet02::SetWriteEnable(true);
  Zet02::TRunValue r;
  char text[64];
  std::snprintf(text, sizeof text, "v := %.6f", value);
  EXPECT_EQ(Zet02::SolveExpression(Code(text), r), 0);
  return Code("v");
}
constexpr char kColon = ':';
const std::string kLess(1, char(ByteCode::tkLess));
const std::string kSlash(1, '/');

int g_pageBreaks = 0;
void TestPageBreak(uint16_t) {
  ++g_pageBreaks;
  fakehost::Log("page-break");
  PageFormat::NewPageTop();
}

class LineFormatter : public zettest::EngineTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    fakehost::Install();
    PageFormat::InitPageFormatter(800, 400, 0, 0, 0, 0, 0);
    PageFormat::SetPrinting(true);
    PageFormat::SetPageBreakProc(TestPageBreak);
    g_pageBreaks = 0;
  }
  // Formats each line, logging its result, and answers the transcript.
  std::string Run(std::initializer_list<std::string> lines) {
    for (const std::string& l : lines) {
      const uint16_t r = LineFormat::FormatLine(l, false);
      fakehost::Log("= " + std::to_string(r));
      PageFormat::NewLineDefault();
    }
    return Transcript();
  }
};

TEST_F(LineFormatter, AlignmentLeadersCutsAndWidthZero) {
  const std::string abc = Lit("abc");
  fakehost::ExpectGolden(
      "line_alignment",
      Run({abc + Fmt(kColon, 20) + ".", abc + Fmt(ByteCode::tkRForm, 20) + ".",
           abc + Fmt(ByteCode::tkCForm, 20) + ".", abc + Fmt(ByteCode::tkCForm, 8) + "_",
           Lit("abcdefghij") + Fmt(kColon, 5) + Lit("|"), abc + Fmt(kColon, 0) + Lit("|"),
           abc + Fmt(ByteCode::tkRForm, 10) + Lit("x") + Fmt(ByteCode::tkLForm, 3)}));
}

TEST_F(LineFormatter, NumberFormats) {
  const std::string v = NumberVar(1234567.5);
  fakehost::ExpectGolden("line_numbers",
                         Run({v + Fmt(kColon, 16, 2) + "F", v + Fmt(ByteCode::tkLForm, 16, 2) + "F",
                              v + Fmt(kColon, 6, 0), v + Lit("|"), v + Fmt(kColon, 8, 3) + ".",
                              v + Fmt(kColon, 14) + "F"}));
}

TEST_F(LineFormatter, ItemsWithoutFormatsAndAttachedItems) {
  fakehost::ExpectGolden(
      "line_items",
      Run({Lit("one") + Lit("two"), Lit("one") + "+" + Lit("two"), Lit("a") + "," + Lit("b"),
           Lit("x") + kLess + Lit("y"), Lit("left") + kSlash + Lit("next"),
           Lit("  ") + kLess + Lit("blank line keeps going")}));
}

TEST_F(LineFormatter, ColumnTextLineCountsAndSideBySide) {
  const std::string longText = Lit("the quick brown fox jumps over the lazy dog again");
  fakehost::ExpectGolden(
      "line_columns",
      Run({longText + Fmt(kColon, 12, 3), Lit("short") + Fmt(kColon, 12, 3) + Lit("|"),
           longText + Fmt(kColon, 12, 0), longText + Fmt(kColon, 12, 1),
           longText + Fmt(kColon, 12, 3, 0, 0) + longText + Fmt(kColon, 12, 5, 0, 0), Lit("below"),
           longText + Fmt(kColon, 20, 0, 3)}));
}

TEST_F(LineFormatter, RepeatSuppression) {
  const std::string field = Fmt(kColon, 6) + "!";
  fakehost::ExpectGolden("line_repeat", Run({Lit("A") + field + Lit("1"), Lit("A") + field + Lit("2"),
                                             Lit("B") + field + Lit("3")}));
}

TEST_F(LineFormatter, ColumnContinuesOverThePageEnd) {
  // 400 units are 20 lines; the item starts two lines above the end.
  Layout().y = 340;
  const std::string line = Lit("alpha beta gamma delta epsilon") + Fmt(kColon, 6, 0, 0, 0) + "+" +
                           Lit("|") + Fmt(kColon, 1);
  uint16_t r = LineFormat::FormatLine(line, false);
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(LineFormat::AnyColumnContinues());
  PageFormat::NewLineDefault();  // meets the page end
  EXPECT_EQ(g_pageBreaks, 1);
  int passes = 0;
  while (LineFormat::AnyColumnContinues() && passes < 10) {
    ++passes;
    r = LineFormat::FormatLine(line, false);
    EXPECT_EQ(r, 0);
    PageFormat::NewLineDefault();
  }
  EXPECT_EQ(passes, 1);
  fakehost::ExpectGolden("line_continuation", Transcript());
}

TEST_F(LineFormatter, MoreThanTwentyColumnItemsStayInsideTheStates) {
  std::string line;
  for (int i = 0; i < 24; ++i) line += Lit("aa bb cc dd ee ff") + Fmt(kColon, 2, 0, 0, 0);
  Layout().y = 360;
  EXPECT_EQ(LineFormat::FormatLine(line, false), 0);
  int inUse = 0;
  for (size_t i = 1; i <= PageFormat::kColumnStates; ++i) inUse += Layout().columns[i].inUse;
  EXPECT_EQ(inUse, 20);
  LineFormat::ReleaseColumnStates();
  EXPECT_FALSE(LineFormat::AnyColumnContinues());
}

TEST_F(LineFormatter, MalformedLinesEndWithoutReadingPastThem) {
  struct Case {
    std::string line;
    uint16_t error;
  };
  const Case cases[] = {
      {Lit("x") + ":", 45},                             // a format letter as the last code
      {Lit("x") + "+", 0},                              // a prefix at the end
      {Lit("x") + ",", 0},                              //
      {Real(2), 45},                                    // number constants are no items
      {Lit("x") + std::string{':', char(ByteCode::tkByteConst)}, 41},
      {std::string{char(ByteCode::tkFontRef), 1}, 41},
      {std::string(1, char(ByteCode::tkWordConst)) + "ab", 45},
      {std::string(1, char(ByteCode::tkTable)), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LineFormat::FormatLine(c.line, false), c.error) << testing::PrintToString(c.line);
  }
  EXPECT_EQ(Layout().error, 0);  // the caller's error word is back
}

TEST_F(LineFormatter, TextFileFieldsWithAndWithoutACell) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  PageFormat::SetTextFile(f);
  LineFormat::FormatLine(Lit("ab") + Fmt(ByteCode::tkRForm, 5) + Lit("cd") + Fmt(ByteCode::tkCForm, 6) + "_",
                         false);
  PageFormat::NewLineDefault();
  Layout().fileCharWidth = 0;
  LineFormat::FormatLine(Lit("z") + Fmt(kColon, 3) + ".", false);
  std::rewind(f);
  char buf[128] = {};
  size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  PageFormat::SetTextFile(nullptr);
  // Without a cell one unit counts as one character: 3 columns are 30 units.
  EXPECT_EQ(std::string(buf, n), "   ab__cd__\r\nz" + std::string(29, '.'));
}

TEST(CentreText, FillsBackThenFront) {
  ShortStr t("ab");
  LineFormat::CentreText(t, 7, '.');
  EXPECT_EQ(t.view(), "..ab...");
  EXPECT_TRUE(LineFormat::IsBlankText(" \t\x01"));
  EXPECT_FALSE(LineFormat::IsBlankText(" a"));
}

}  // namespace
