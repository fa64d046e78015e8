#include <gtest/gtest.h>

#include <string>

#include "engine/base/uppercas.h"
#include "engine/base/userbreak.h"
#include "engine/language/jobformat.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace JobFormat;

class JobText : public zettest::EngineTest {};

TEST_F(JobText, KeywordTableIsOrderedAndSynonymsShareCodes) {
  for (size_t n = 2; n <= kKeywordCount; ++n)
    EXPECT_LT(UPPERCAS::CollateCompare(Keyword(n - 1)->text, Keyword(n)->text), 0) << Keyword(n)->text;
  EXPECT_EQ(Keyword(0), nullptr);
  EXPECT_EQ(Keyword(kKeywordCount + 1), nullptr);
  EXPECT_STREQ(Keyword(1)->text, "ANDERNFALLS");
  EXPECT_STREQ(Keyword(68)->text, "ZUGRIFF");
  EXPECT_EQ(LookupKeyword("zugriff"), LookupKeyword("SETACCESS"));
  EXPECT_EQ(LookupKeyword("Fu\xDF"), LookupKeyword("FUSS"));
  EXPECT_EQ(LookupKeyword("prim\xE4rdatei"), stPrimary);
  EXPECT_EQ(LookupKeyword("FOO"), stNone);
  EXPECT_EQ(DotCommandNumber("pa"), 0);
  EXPECT_EQ(DotCommandNumber("DB"), 32);
  EXPECT_EQ(DotCommandNumber("XX"), 33);
}

TEST_F(JobText, DotLinesSettingsAndErrors) {
  struct Case {
    const char* line;
    int result;
    size_t column;
  };
  const Case cases[] = {
      {".PL 72, PW 80", 0, 0},
      {".PL 72 PW 80", 56, 8},
      {".XY 3", 82, 2},
      {".pl72,", 0, 0},
      {".EC", 0, 0},
  };
  for (const Case& c : cases) {
    TDotState s;
    size_t column = 0;
    EXPECT_EQ(ApplyDotLine(c.line, false, s, nullptr, column), c.result) << c.line;
    if (c.result) {
      EXPECT_EQ(column, c.column) << c.line;
    }
  }
  TDotState s;
  size_t column = 0;
  ASSERT_EQ(ApplyDotLine(".PL 72, PW 80, EC 1, NB 1, MT 3", false, s, nullptr, column), 0);
  EXPECT_EQ(s.values[4], 72);
  EXPECT_EQ(s.values[5], 80);
  EXPECT_TRUE(s.ec);
  EXPECT_FALSE(Common::BreakEnabled) << "NB 1 turns the host's break switch off";
  Common::BreakEnabled = true;
  EXPECT_EQ(s.topMargin, 3);
  bool turnedOn = false;
  ApplyDotLine(".AB 1", true, s, nullptr, column, &turnedOn);
  EXPECT_FALSE(s.lineEndOn);
  ApplyDotLine(".AB 0", true, s, nullptr, column, &turnedOn);
  EXPECT_TRUE(s.lineEndOn);
  EXPECT_TRUE(turnedOn);
}

TEST_F(JobText, MarkupBecomesExpressions) {
  EXPECT_EQ(RewriteMarkup("x <b>$(Name)</b> y", ""), "x $(bold(1))$(Name)$(bold(0)) y");
  EXPECT_EQ(RewriteMarkup("<i>a</i>", ""), "$(italic(1))a$(italic(0))");
  EXPECT_EQ(RewriteMarkup("<h1>Title</h1>", "f2"), "$(@h1)Title$(@f2)");
  EXPECT_EQ(RewriteMarkup("<h1>Title</h1>", ""), "$(@h1)Title$(@n1)");
  EXPECT_EQ(RewriteMarkup("a < b", ""), "a < b");
  EXPECT_EQ(RewriteMarkup(std::string(100, '<') + std::string(100, 'b') + "<b><b><b><b><b><b><b><b><b>", "").size(),
            255u);
}

}  // namespace
