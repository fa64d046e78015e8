// DrawText's layout, checked exactly with the test font: cell height 20,
// ascent 16, external leading 2, every character 10 pixels wide.
#include <gtest/gtest.h>

#include "platform/fonts/drawtext.h"
#include "platform/fonts/tests/fonts_fixture.h"

namespace platform::fonts {
namespace {

using testing::MakeLogFont;
using testing::RealFontTest;
using testing::TestFontTest;
using namespace win;

constexpr Rect kBox{10, 20, 110, 120};  // 100 x 100: ten characters a line

struct Case {
  const char* name;
  const char* text;
  uint32_t format;
  std::vector<DrawTextRun> runs;
  int height;
  std::vector<Rect> underlines = {};
};

TEST_F(TestFontTest, DrawTextFlagTable) {
  const auto font = Font::Create(MakeLogFont("Arial", 20));
  const Case cases[] = {
      {"left top", "Hello", DT_LEFT, {{{10, 20}, "Hello"}}, 20},
      {"centre", "Hello", DT_CENTER, {{{35, 20}, "Hello"}}, 20},
      {"centre rounds toward zero", "Hell", DT_CENTER, {{{40, 20}, "Hell"}}, 20},
      {"right", "Hello", DT_RIGHT, {{{60, 20}, "Hello"}}, 20},
      {"right wins over centre", "Hello", DT_RIGHT | DT_CENTER, {{{60, 20}, "Hello"}}, 20},
      {"vertical centre", "Hello", DT_SINGLELINE | DT_VCENTER, {{{10, 60}, "Hello"}}, 60},
      {"bottom", "Hello", DT_SINGLELINE | DT_BOTTOM, {{{10, 100}, "Hello"}}, 100},
      {"vertical centre needs single line", "Hello", DT_VCENTER, {{{10, 20}, "Hello"}}, 20},
      {"centred both ways with a prefix", "&?", DT_CENTER | DT_VCENTER | DT_SINGLELINE, {{{55, 60}, "?"}}, 60,
       {{55, 77, 65, 78}}},
      {"line breaks", "a\r\nb\nc\rd", DT_LEFT, {{{10, 20}, "a"}, {{10, 40}, "b"}, {{10, 60}, "c"}, {{10, 80}, "d"}}, 80},
      {"empty lines count", "a\r\n\r\nb", DT_LEFT, {{{10, 20}, "a"}, {{10, 60}, "b"}}, 60},
      {"a final break adds no line", "a\r\n", DT_LEFT, {{{10, 20}, "a"}}, 20},
      {"single line keeps breaks as text", "a\r\nb", DT_SINGLELINE, {{{10, 20}, "a\r\nb"}}, 20},
      {"external leading", "a\nb", DT_EXTERNALLEADING, {{{10, 20}, "a"}, {{10, 42}, "b"}}, 44},
      {"word break", "one two three four", DT_WORDBREAK, {{{10, 20}, "one two"}, {{10, 40}, "three four"}}, 40},
      {"word break centres each line", "one two three four", DT_WORDBREAK | DT_CENTER,
       {{{25, 20}, "one two"}, {{10, 40}, "three four"}}, 40},
      {"blanks at the break vanish", "abc   defghijkl", DT_WORDBREAK, {{{10, 20}, "abc"}, {{10, 40}, "defghijkl"}}, 40},
      {"a long word stays whole", "ab verylongword cd", DT_WORDBREAK,
       {{{10, 20}, "ab"}, {{10, 40}, "verylongword"}, {{10, 60}, "cd"}}, 60},
      {"without word break a line runs on", "one two three four", DT_LEFT, {{{10, 20}, "one two three four"}}, 20},
      {"word break and line breaks", "one two three\r\nx", DT_WORDBREAK,
       {{{10, 20}, "one two"}, {{10, 40}, "three"}, {{10, 60}, "x"}}, 60},
      {"prefix underlines the next character", "&File", DT_LEFT, {{{10, 20}, "File"}}, 20, {{10, 37, 20, 38}}},
      {"prefix in the middle", "Sa&ve", DT_LEFT, {{{10, 20}, "Save"}}, 20, {{30, 37, 40, 38}}},
      {"double ampersand", "A&&B", DT_LEFT, {{{10, 20}, "A&B"}}, 20},
      {"a last ampersand is shown", "Trail&", DT_LEFT, {{{10, 20}, "Trail&"}}, 20},
      {"only the last prefix of a line", "&a&b", DT_LEFT, {{{10, 20}, "ab"}}, 20, {{20, 37, 30, 38}}},
      {"no prefix", "&File", DT_NOPREFIX, {{{10, 20}, "&File"}}, 20},
      {"prefix on the second line", "ab\n&cd", DT_LEFT, {{{10, 20}, "ab"}, {{10, 40}, "cd"}}, 40, {{10, 57, 20, 58}}},
      {"tabs are characters without expansion", "a\tb", DT_LEFT, {{{10, 20}, "a\tb"}}, 20},
      {"expanded tabs start runs", "a\tb\tc", DT_EXPANDTABS, {{{10, 20}, "a"}, {{90, 20}, "b"}, {{170, 20}, "c"}}, 20},
      {"tab stop of two characters", "a\tbcd\te", DT_EXPANDTABS | DT_TABSTOP | (2u << 8),
       {{{10, 20}, "a"}, {{30, 20}, "bcd"}, {{70, 20}, "e"}}, 20},
      {"end ellipsis", "abcdefghijklmnop", DT_SINGLELINE | DT_END_ELLIPSIS, {{{10, 20}, "abcdefg..."}}, 20},
      {"end ellipsis leaves a fitting line alone", "abcdefghij", DT_SINGLELINE | DT_END_ELLIPSIS,
       {{{10, 20}, "abcdefghij"}}, 20},
      {"end ellipsis keeps a shown prefix", "&abcdefghijklmnop", DT_SINGLELINE | DT_END_ELLIPSIS,
       {{{10, 20}, "abcdefg..."}}, 20, {{10, 37, 20, 38}}},
      {"end ellipsis drops a cut prefix", "abcdefghi&jklmnop", DT_SINGLELINE | DT_END_ELLIPSIS,
       {{{10, 20}, "abcdefg..."}}, 20},
      {"end ellipsis on a long word", "ab verylongword", DT_WORDBREAK | DT_END_ELLIPSIS,
       {{{10, 20}, "ab"}, {{10, 40}, "verylon..."}}, 40},
      {"empty text", "", DT_SINGLELINE | DT_VCENTER, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DrawTextLayout layout = LayoutDrawText(*font, c.text, kBox, c.format);
    EXPECT_EQ(layout.runs, c.runs);
    EXPECT_EQ(layout.height, c.height);
    EXPECT_EQ(layout.underlines, c.underlines);
    EXPECT_EQ(layout.rect, kBox);
    EXPECT_TRUE(layout.clip);
  }
}

TEST_F(TestFontTest, DrawTextLineCells) {
  const auto font = Font::Create(MakeLogFont("Arial", 20));
  EXPECT_EQ(LayoutDrawText(*font, "one two three four", kBox, DT_WORDBREAK | DT_CENTER | DT_EXTERNALLEADING).lines,
            (std::vector<Rect>{{25, 20, 95, 40}, {10, 42, 110, 62}}));
  EXPECT_EQ(LayoutDrawText(*font, "a\tb", kBox, DT_EXPANDTABS | DT_RIGHT).lines, (std::vector<Rect>{{20, 20, 110, 40}}));
  EXPECT_EQ(LayoutDrawText(*font, "a\r\n\r\n&&", kBox, DT_LEFT).lines,
            (std::vector<Rect>{{10, 20, 20, 40}, {10, 40, 10, 60}, {10, 60, 20, 80}}));
}

TEST_F(TestFontTest, DrawTextCalcRectAndClipping) {
  const auto font = Font::Create(MakeLogFont("Arial", 20));
  struct CalcCase {
    const char* name;
    const char* text;
    uint32_t format;
    Rect rect;
    int height;
  };
  const CalcCase cases[] = {
      {"wrapped lines", "one two three four", DT_WORDBREAK | DT_CALCRECT, {10, 20, 110, 60}, 40},
      {"narrower than the box", "one two", DT_WORDBREAK | DT_CALCRECT, {10, 20, 80, 40}, 20},
      {"a long word widens the box", "ab verylongword", DT_WORDBREAK | DT_CALCRECT, {10, 20, 130, 60}, 40},
      {"single line ignores vertical centring", "Hi", DT_SINGLELINE | DT_VCENTER | DT_CALCRECT, {10, 20, 30, 40},
       20},
      {"external leading", "a\nbc", DT_EXTERNALLEADING | DT_CALCRECT, {10, 20, 30, 64}, 44},
      {"empty text", "", DT_CALCRECT, {10, 20, 10, 20}, 0},
  };
  for (const CalcCase& c : cases) {
    SCOPED_TRACE(c.name);
    const DrawTextLayout layout = LayoutDrawText(*font, c.text, kBox, c.format);
    EXPECT_EQ(layout.rect, c.rect);
    EXPECT_EQ(layout.height, c.height);
    EXPECT_FALSE(layout.clip);
  }
  EXPECT_FALSE(LayoutDrawText(*font, "Hello", kBox, DT_NOCLIP).clip);
  // A long line is cut once, not measured again for every length.
  const std::string longLine(200000, 'x');
  const DrawTextLayout cut = LayoutDrawText(*font, longLine, kBox, DT_SINGLELINE | DT_END_ELLIPSIS);
  ASSERT_EQ(cut.runs.size(), 1u);
  EXPECT_EQ(cut.runs[0].text, "xxxxxxx...");
}

TEST_F(TestFontTest, TabbedTextExtent) {
  const auto font = Font::Create(MakeLogFont("Arial", 20));  // 10 pixels a character
  const int one[] = {25};
  const int several[] = {15, 40};
  const int none[] = {0};
  EXPECT_EQ(TabbedTextExtent(*font, "a\tb"), (Point{90, 20}));
  EXPECT_EQ(TabbedTextExtent(*font, "a\tb\tc", one), (Point{60, 20}));
  EXPECT_EQ(TabbedTextExtent(*font, "a\tb\tc\td", several), (Point{90, 20}));
  EXPECT_EQ(TabbedTextExtent(*font, "a\tb", none), (Point{90, 20}));
  EXPECT_EQ(TabbedTextExtent(*font, ""), (Point{0, 0}));
}

// With a real face the same rules hold over its own widths.
TEST_F(RealFontTest, DrawTextWithARealFace) {
  const auto font = Font::Create(MakeLogFont("Arial", -13));
  const DrawTextLayout layout = LayoutDrawText(*font, "&?", {0, 0, 100, 40}, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  const int width = font->CharWidth('?');
  ASSERT_EQ(layout.runs.size(), 1u);
  EXPECT_EQ(layout.runs[0].origin, (Point{(100 - width) / 2, (40 - 15) / 2}));
  ASSERT_EQ(layout.underlines.size(), 1u);
  EXPECT_EQ(layout.underlines[0], (Rect{(100 - width) / 2, 12 + 12 + 1, (100 - width) / 2 + width, 12 + 12 + 2}));

  // Words wrap at the measured widths: every line but the last fits.
  const DrawTextLayout wrapped =
      LayoutDrawText(*font, "Der Inhalt der Zwischenablage passt nicht in dieses Feld.", {0, 0, 120, 200},
                     DT_WORDBREAK);
  ASSERT_GT(wrapped.runs.size(), 2u);
  for (const DrawTextRun& run : wrapped.runs) EXPECT_LE(font->TextWidth(run.text), 120) << run.text;
  EXPECT_EQ(wrapped.height, static_cast<int>(wrapped.runs.size()) * 15);
}

}  // namespace
}  // namespace platform::fonts
