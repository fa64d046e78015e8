// Text on the DC. With the test font every non-blank character is a solid box
// from the top of the ascent to the baseline, one advance wide, so where text
// lands can be checked pixel for pixel: height 10 gives ascent 8, descent 2
// and advance 5, of which a character's box covers the first 4 columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fonts/font.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/tests/gdi_fixture.h"
#include "platform/testing/golden.h"

namespace {

using gditest::Canvas;
using win::RECT;

win::LOGFONT Font(const std::string& face, int height, int weight = 0) {
  win::LOGFONT lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  win::SetFaceName(lf, face);
  return lf;
}

// The smallest rectangle around every pixel that is not paper, and how many.
struct Ink {
  RECT box{};
  int count = 0;
};
Ink InkOf(const win::Bitmap& b, uint32_t paper = win::kWhite) {
  Ink ink{{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}, 0};
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
      if (b.Get(x, y) == paper) continue;
      ++ink.count;
      ink.box = {std::min(ink.box.left, x), std::min(ink.box.top, y), std::max(ink.box.right, x + 1),
                 std::max(ink.box.bottom, y + 1)};
    }
  }
  if (ink.count == 0) ink.box = {};
  return ink;
}
int Area(const RECT& r) { return (r.right - r.left) * (r.bottom - r.top); }

// The boxes of the test font at height 10 for text whose cell starts at (x, top).
std::vector<RECT> Glyphs(int x, int top, std::string_view text) {
  std::vector<RECT> boxes;
  for (const char ch : text) {
    if (ch != ' ') boxes.push_back({x, top, x + 4, top + 8});
    x += 5;
  }
  return boxes;
}
std::vector<RECT> operator+(std::vector<RECT> a, const std::vector<RECT>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A picture with '#' inside any of the rectangles and '.' elsewhere.
std::vector<std::string> Boxes(int w, int h, const std::vector<RECT>& boxes) {
  std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
  for (const RECT& r : boxes) {
    for (int y = std::max(0, r.top); y < std::min(h, r.bottom); ++y) {
      for (int x = std::max(0, r.left); x < std::min(w, r.right); ++x) rows[size_t(y)][size_t(x)] = '#';
    }
  }
  return rows;
}

class TestFontText : public ::testing::Test {
 protected:
  TestFontText() : previous_(platform::fonts::TestFontOn()) { platform::fonts::SetTestFont(true); }
  ~TestFontText() override { platform::fonts::SetTestFont(previous_); }

 private:
  bool previous_;
};

class RealFontText : public ::testing::Test {
 protected:
  RealFontText() : previous_(platform::fonts::TestFontOn()) { platform::fonts::SetTestFont(false); }
  ~RealFontText() override { platform::fonts::SetTestFont(previous_); }

 private:
  bool previous_;
};

TEST_F(TestFontText, DefaultFontIsTheSystemFontAndSaveDcKeepsTheSelection) {
  Canvas c(8, 8);
  EXPECT_EQ(c.dc.GetTextFace(), "System");
  win::TEXTMETRIC tm;
  ASSERT_TRUE(c.dc.GetTextMetrics(&tm));
  EXPECT_EQ(tm.tmHeight, 16);
  EXPECT_EQ(tm.tmWeight, win::FW_BOLD);

  const int level = c.dc.SaveDC();
  c.dc.SelectFont(Font("Arial", 10));
  c.dc.SetTextAlign(win::TA_BASELINE | win::TA_RIGHT);
  EXPECT_EQ(c.dc.GetTextFace(), "Arial");
  c.dc.RestoreDC(level);
  EXPECT_EQ(c.dc.GetTextFace(), "System");
  EXPECT_EQ(c.dc.GetTextAlign(), win::TA_TOP | win::TA_LEFT);
}

TEST_F(TestFontText, AlignmentMovesTheReferencePoint) {
  struct Case {
    win::UINT align;
    RECT ink;
  };
  const Case cases[] = {
      {win::TA_TOP | win::TA_LEFT, {40, 30, 50, 38}},
      {win::TA_BASELINE | win::TA_LEFT, {40, 22, 50, 30}},
      {win::TA_BOTTOM | win::TA_LEFT, {40, 20, 50, 28}},
      {win::TA_TOP | win::TA_RIGHT, {30, 30, 40, 38}},
      {win::TA_TOP | win::TA_CENTER, {35, 30, 45, 38}},
      {win::TA_BASELINE | win::TA_CENTER, {35, 22, 45, 30}},
  };
  for (const Case& k : cases) {
    Canvas c(80, 60);
    c.dc.SelectFont(Font("Arial", 10));
    c.dc.SetBkMode(win::TRANSPARENT);
    c.dc.SetTextAlign(k.align);
    ASSERT_TRUE(c.dc.TextOut(40, 30, "AB"));
    EXPECT_EQ(c.Mask(win::kBlack), Boxes(80, 60, Glyphs(k.ink.left, k.ink.top, "AB"))) << "align " << k.align;
  }
}

TEST_F(TestFontText, UpdateCpDrawsAtTheCurrentPositionAndMovesIt) {
  Canvas c(60, 20);
  c.dc.SelectFont(Font("Arial", 10));
  c.dc.SetTextAlign(win::TA_UPDATECP);
  c.dc.MoveToEx(5, 5);
  c.dc.TextOut(100, 100, "AB");
  c.dc.TextOut(100, 100, "C");
  EXPECT_EQ(c.dc.Current().pos, (win::POINT{20, 5}));
  EXPECT_EQ(c.Mask(win::kBlack), Boxes(60, 20, Glyphs(5, 5, "ABC")));

  // Right-aligned text ends at the position and leaves it at its start.
  c.dc.SetTextAlign(win::TA_UPDATECP | win::TA_RIGHT);
  c.dc.MoveToEx(50, 5);
  c.dc.TextOut(0, 0, "D");
  EXPECT_EQ(c.dc.Current().pos, (win::POINT{45, 5}));
  EXPECT_EQ(c.bitmap->Get(45, 5), win::kBlack);
  EXPECT_EQ(c.bitmap->Get(44, 5), win::kWhite);
}

TEST_F(TestFontText, OpaqueBackgroundFillsTheCellTransparentLeavesIt) {
  const uint32_t red = win::ToPixel(win::RGB(255, 0, 0));
  for (const int mode : {win::OPAQUE, win::TRANSPARENT}) {
    Canvas c(17, 11);
    c.dc.SelectFont(Font("Arial", 10));
    c.dc.SetBkColor(win::RGB(255, 0, 0));
    c.dc.SetBkMode(mode);
    c.dc.TextOut(1, 0, "A B");
    const char b = mode == win::OPAQUE ? '?' : '.';  // '?' marks the red background
    const std::string glyphRow = std::string(".####") + b + std::string(5, b) + "####" + b + ".";
    const std::string descentRow = "." + std::string(15, b) + ".";
    std::vector<std::string> want(8, glyphRow);
    want.push_back(descentRow);
    want.push_back(descentRow);
    want.push_back(std::string(17, '.'));
    EXPECT_EQ(c.Mask(win::kBlack), want) << "mode " << mode;
    if (mode == win::OPAQUE) {
      EXPECT_EQ(c.bitmap->Get(6, 0), red);
    }
  }
}

TEST_F(TestFontText, TextStaysInsideTheClipRegion) {
  // Two rectangles: text paints exactly their intersection with its boxes.
  Canvas c(30, 12);
  c.dc.SelectFont(Font("Arial", 10));
  c.dc.SetBkMode(win::TRANSPARENT);
  win::Region clip;
  clip.Combine(win::Region(RECT{2, 2, 8, 6}), win::Region(RECT{12, 0, 30, 3}), win::RGN_OR);
  c.dc.SelectClipRgn(&clip);
  c.dc.TextOut(0, 0, "AAAAA");
  // Boxes of "AAAAA": 0-3, 5-8, 10-13, 15-18, 20-23.
  EXPECT_EQ(c.Mask(win::kBlack), Boxes(30, 12, {{2, 2, 4, 6}, {5, 2, 8, 6}, {12, 0, 14, 3}, {15, 0, 19, 3},
                                                {20, 0, 24, 3}}));
}

TEST_F(TestFontText, ExtTextOutOpaqueClippedAndSpacing) {
  const uint32_t blue = win::ToPixel(win::RGB(0, 0, 255));
  {
    // ETO_OPAQUE fills the rectangle whatever the background mode;
    // ETO_CLIPPED keeps the text inside it.
    Canvas c(30, 12);
    c.dc.SelectFont(Font("Arial", 10));
    c.dc.SetBkMode(win::TRANSPARENT);
    c.dc.SetBkColor(win::RGB(0, 0, 255));
    const RECT r{3, 1, 12, 10};
    c.dc.ExtTextOut(0, 0, win::ETO_OPAQUE | win::ETO_CLIPPED, &r, "AAAA");
    // '#' text, '.' the blue rectangle, '?' the white outside it.
    auto want = Boxes(30, 12, {{3, 1, 4, 8}, {5, 1, 9, 8}, {10, 1, 12, 8}});
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 30; ++x) {
        const bool inRect = x >= 3 && x < 12 && y >= 1 && y < 10;
        if (want[y][x] != '#') want[y][x] = inRect ? '.' : '?';
      }
    }
    EXPECT_EQ(c.Mask(win::kBlack, blue), want);
  }
  {
    // Without ETO_CLIPPED the text runs past the rectangle.
    Canvas c(30, 12);
    c.dc.SelectFont(Font("Arial", 10));
    const RECT r{3, 1, 12, 10};
    c.dc.ExtTextOut(0, 0, win::ETO_OPAQUE, &r, "AAAA");
    EXPECT_EQ(InkOf(*c.bitmap).box, (RECT{0, 0, 19, 8}));
  }
  {
    Canvas c(30, 12);
    c.dc.SelectFont(Font("Arial", 10));
    const int dx[] = {10, 3, 5};
    c.dc.ExtTextOut(0, 0, 0, nullptr, "ABC", dx);
    EXPECT_EQ(c.Mask(win::kBlack), Boxes(30, 12, Glyphs(0, 0, "A") + Glyphs(10, 0, "B") + Glyphs(13, 0, "C")));
  }
}

TEST_F(TestFontText, MappingScalesFontsAndAnswersLogicalUnits) {
  Canvas c(60, 60);
  c.dc.SetMapMode(win::MM_ANISOTROPIC);
  c.dc.SetWindowExtEx(1, 1);
  c.dc.SetViewportExtEx(2, -2);  // twice as large, y upward
  c.dc.SetViewportOrgEx(0, 50);
  c.dc.SelectFont(Font("Arial", 10));
  win::TEXTMETRIC tm;
  c.dc.GetTextMetrics(&tm);
  EXPECT_EQ(tm.tmHeight, 10);
  EXPECT_EQ(tm.tmAscent, 8);
  EXPECT_EQ(tm.tmAveCharWidth, 5);
  win::SIZE size;
  c.dc.GetTextExtentPoint32("AB", &size);
  EXPECT_EQ(size, (win::SIZE{10, 10}));
  EXPECT_EQ(c.dc.DeviceFont()->Metrics().tmHeight, 20);

  // Text stays upright: its cell runs down the device from the reference point.
  c.dc.TextOut(5, 20, "A");
  const Ink ink = InkOf(*c.bitmap);
  EXPECT_EQ(ink.box, (RECT{10, 10, 19, 26}));
  EXPECT_EQ(ink.count, Area(ink.box));

  // DrawText answers and calculates in logical units too.
  RECT r{0, 20, 100, -100};
  EXPECT_EQ(c.dc.DrawText("AB CD", &r, win::DT_CALCRECT), 10);
  EXPECT_EQ(r, (RECT{0, 20, 25, 10}));
}

TEST_F(TestFontText, DrawTextFlagTable) {
  struct Case {
    const char* name;
    const char* text;
    win::UINT format;
    RECT rect;
    int height;
    std::vector<RECT> ink;
  };
  using namespace win;
  const Case cases[] = {
      {"left", "Hello", DT_SINGLELINE, {0, 0, 60, 30}, 10, Glyphs(0, 0, "Hello")},
      {"centre", "Hello", DT_SINGLELINE | DT_CENTER, {0, 0, 60, 30}, 10, Glyphs(17, 0, "Hello")},
      {"right", "Hello", DT_SINGLELINE | DT_RIGHT, {0, 0, 60, 30}, 10, Glyphs(35, 0, "Hello")},
      {"vcentre", "Hello", DT_SINGLELINE | DT_VCENTER, {0, 0, 60, 30}, 20, Glyphs(0, 10, "Hello")},
      {"bottom", "Hello", DT_SINGLELINE | DT_BOTTOM, {0, 0, 60, 30}, 30, Glyphs(0, 20, "Hello")},
      {"offset rect", "Hi", DT_SINGLELINE, {7, 3, 60, 30}, 10, Glyphs(7, 3, "Hi")},
      {"prefix", "&File", DT_SINGLELINE, {0, 0, 60, 30}, 10, Glyphs(0, 0, "File") + std::vector<RECT>{{0, 9, 5, 10}}},
      {"prefix in the middle", "Fi&le", DT_SINGLELINE, {0, 0, 60, 30}, 10,
       Glyphs(0, 0, "File") + std::vector<RECT>{{10, 9, 15, 10}}},
      {"no prefix", "&File", DT_SINGLELINE | DT_NOPREFIX, {0, 0, 60, 30}, 10, Glyphs(0, 0, "&File")},
      {"double ampersand", "a&&b", DT_SINGLELINE, {0, 0, 60, 30}, 10, Glyphs(0, 0, "a&b")},
      {"lines", "ab\r\nc\nde", 0, {0, 0, 60, 30}, 30, Glyphs(0, 0, "ab") + Glyphs(0, 10, "c") + Glyphs(0, 20, "de")},
      {"word break", "aaa bbb ccc", DT_WORDBREAK, {0, 0, 40, 30}, 20, Glyphs(0, 0, "aaa bbb") + Glyphs(0, 10, "ccc")},
      {"word break centred", "aaa bbb ccc", DT_WORDBREAK | DT_CENTER, {0, 0, 40, 30}, 20,
       Glyphs(2, 0, "aaa bbb") + Glyphs(12, 10, "ccc")},
      {"external leading", "a\nb", DT_EXTERNALLEADING, {0, 0, 60, 30}, 22, Glyphs(0, 0, "a") + Glyphs(0, 11, "b")},
      {"tabs", "a\tb", DT_SINGLELINE | DT_EXPANDTABS, {0, 0, 60, 30}, 10, Glyphs(0, 0, "a") + Glyphs(40, 0, "b")},
      {"tab stop", "a\tb", DT_SINGLELINE | DT_EXPANDTABS | DT_TABSTOP | (2 << 8), {0, 0, 60, 30}, 10,
       Glyphs(0, 0, "a") + Glyphs(10, 0, "b")},
      {"clipped", "abcdefghij", DT_SINGLELINE, {0, 0, 28, 6}, 10,
       std::vector<RECT>{{0, 0, 4, 6}, {5, 0, 9, 6}, {10, 0, 14, 6}, {15, 0, 19, 6}, {20, 0, 24, 6}, {25, 0, 28, 6}}},
      {"no clip", "abcdefghij", DT_SINGLELINE | DT_NOCLIP, {0, 0, 28, 6}, 10, Glyphs(0, 0, "abcdefghij")},
      {"end ellipsis", "ab cdefghij", DT_SINGLELINE | DT_END_ELLIPSIS, {0, 0, 30, 30}, 10, Glyphs(0, 0, "ab ...")},
      {"empty", "", DT_SINGLELINE, {0, 0, 60, 30}, 0, {}},
  };
  for (const Case& k : cases) {
    Canvas c(60, 30);
    c.dc.SelectFont(Font("Arial", 10));
    c.dc.SetBkMode(TRANSPARENT);
    RECT r = k.rect;
    EXPECT_EQ(c.dc.DrawText(k.text, &r, k.format), k.height) << k.name;
    EXPECT_EQ(r, k.rect) << k.name;
    EXPECT_EQ(c.Mask(kBlack), Boxes(60, 30, k.ink)) << k.name;
  }
}

TEST_F(TestFontText, DrawTextCalcRectDrawsNothing) {
  struct Case {
    const char* text;
    win::UINT format;
    RECT rect, want;
    int height;
  };
  using namespace win;
  const Case cases[] = {
      {"Hello", DT_SINGLELINE, {4, 2, 100, 100}, {4, 2, 29, 12}, 10},
      {"aaa bbb ccc", DT_WORDBREAK, {0, 0, 40, 0}, {0, 0, 35, 20}, 20},
      {"ab\ncde", 0, {0, 0, 5, 5}, {0, 0, 15, 20}, 20},
      {"Hello", DT_SINGLELINE | DT_VCENTER, {0, 0, 100, 100}, {0, 0, 25, 10}, 10},
  };
  for (const Case& k : cases) {
    Canvas c(60, 30);
    c.dc.SelectFont(Font("Arial", 10));
    RECT r = k.rect;
    EXPECT_EQ(c.dc.DrawText(k.text, &r, k.format | DT_CALCRECT), k.height) << k.text;
    EXPECT_EQ(r, k.want) << k.text;
    EXPECT_EQ(InkOf(*c.bitmap).count, 0) << k.text;
  }
}

TEST_F(RealFontText, GlyphsBlendOnColourAndFollowTheOneBitRuleOnMonochrome) {
  const win::COLORREF blue = win::RGB(0, 0, 200);
  Canvas colour(120, 30);
  colour.dc.SelectFont(Font("Arial", -16));
  colour.dc.SetTextColor(blue);
  colour.dc.SetBkMode(win::TRANSPARENT);
  colour.dc.TextOut(2, 2, "Wag the dog");
  int full = 0, partial = 0;
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 120; ++x) {
      const uint32_t p = colour.bitmap->Get(x, y);
      if (p == win::ToPixel(blue)) ++full;
      else if (p != win::kWhite) {
        ++partial;
        // Between white and the text colour: red and green equal, blue at most 255.
        EXPECT_EQ((p >> 16) & 0xFF, (p >> 8) & 0xFF);
      }
    }
  }
  EXPECT_GT(full, 20);
  EXPECT_GT(partial, 20);

  auto mono = win::Bitmap::Create(120, 30, 1);
  mono->Fill(win::kWhite);
  win::Dc dc(mono);
  dc.SelectFont(Font("Arial", -16));
  dc.SetBkMode(win::TRANSPARENT);
  dc.TextOut(2, 2, "Wag the dog");
  const Ink ink = InkOf(*mono);
  EXPECT_GT(ink.count, full);  // half-covered pixels count as ink
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 120; ++x) {
      const uint32_t p = mono->Get(x, y);
      EXPECT_TRUE(p == win::kBlack || p == win::kWhite);
      // A monochrome pixel is ink exactly where the colour picture is at least half covered.
      const uint32_t c = colour.bitmap->Get(x, y);
      EXPECT_EQ(p == win::kBlack, ((c >> 16) & 0xFF) <= 127) << x << "," << y;
    }
  }
}

TEST_F(RealFontText, GoldenPictures) {
  Canvas c(200, 70);
  c.dc.SelectFont(Font("Arial", -15));
  c.dc.SetTextColor(win::RGB(0, 0, 0));
  c.dc.SetBkMode(win::TRANSPARENT);
  c.dc.TextOut(4, 2, "Kundennummer: 4711");
  win::LOGFONT bold = Font("Times New Roman", 18, win::FW_BOLD);
  bold.lfUnderline = 1;
  c.dc.SelectFont(bold);
  c.dc.SetTextColor(win::RGB(128, 0, 0));
  c.dc.TextOut(4, 22, "\xDC" "berschrift 1");
  c.dc.SelectFont(Font("Courier New", -13));
  c.dc.SetBkMode(win::OPAQUE);
  c.dc.SetBkColor(win::RGB(255, 255, 0));
  RECT r{4, 44, 196, 68};
  c.dc.DrawText("&Datei\t\xD6" "ffnen", &r, win::DT_SINGLELINE | win::DT_EXPANDTABS | win::DT_VCENTER);
  // Installed fonts may render a little differently from one FreeType to the
  // next: up to 48 in a channel on at most 0.5% of the pixels.
  EXPECT_TRUE(zettest::MatchesGolden(*c.bitmap, std::string(ZET_GDI_TESTS_DIR) + "/golden/text_real_fonts.png", 48,
                                     0.005));
}

}  // namespace

namespace {

TEST_F(TestFontText, EscapementTurnsTextAndItsAlignment) {
  // 90 degrees: the baseline runs up the surface, the ascent lies to its left.
  Canvas c(40, 50);
  win::LOGFONT lf = Font("Arial", 10);
  lf.lfEscapement = 900;
  c.dc.SelectFont(lf);
  c.dc.SetBkMode(win::TRANSPARENT);
  c.dc.SetTextAlign(win::TA_BASELINE);
  c.dc.TextOut(20, 40, "AB");
  EXPECT_EQ(c.Mask(win::kBlack), Boxes(40, 50, {{12, 36, 20, 40}, {12, 31, 20, 35}}));

  Canvas top(40, 50);
  top.dc.SelectFont(lf);
  top.dc.SetBkMode(win::TRANSPARENT);
  top.dc.TextOut(20, 40, "AB");  // TA_TOP moves the reference point by the ascent, to the right
  EXPECT_EQ(top.Mask(win::kBlack), Boxes(40, 50, {{20, 36, 28, 40}, {20, 31, 28, 35}}));

  // An opaque background fills the turned cell: the advance along, ascent
  // plus descent across.
  Canvas opaque(40, 50);
  opaque.dc.SelectFont(lf);
  opaque.dc.SetBkColor(win::RGB(255, 0, 0));
  opaque.dc.SetTextAlign(win::TA_BASELINE);
  opaque.dc.TextOut(20, 40, "AB");
  auto want = Boxes(40, 50, {{12, 30, 22, 40}});
  const auto glyphs = Boxes(40, 50, {{12, 36, 20, 40}, {12, 31, 20, 35}});
  for (size_t y = 0; y < want.size(); ++y) {
    for (size_t x = 0; x < want[y].size(); ++x) {
      if (want[y][x] == '#') want[y][x] = glyphs[y][x] == '#' ? '#' : '?';
    }
  }
  EXPECT_EQ(opaque.Mask(win::kBlack), want);
}

}  // namespace
