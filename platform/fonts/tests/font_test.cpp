// Face matching, metrics, widths, glyph masks and text runs of real faces and
// of the box test font.
#include <gtest/gtest.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <cstring>
#include <climits>

#include "platform/fonts/fontmatch.h"
#include "platform/fonts/tests/fonts_fixture.h"

namespace platform::fonts {
namespace {

using testing::MakeLogFont;
using testing::RealFontTest;
using testing::TestFontTest;

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

TEST_F(RealFontTest, FacesResolveThroughThePrivateConfiguration) {
  struct Case {
    const char* face;
    int weight;
    bool italic;
    uint8_t pitchAndFamily;
    const char* file;
    const char* reported;
  };
  const Case cases[] = {
      {"Arial", 400, false, 0, "LiberationSans-Regular.ttf", "Arial"},
      {"Helv", 400, false, 0, "LiberationSans-Regular.ttf", "Helv"},
      {"helv", 0, false, 0, "LiberationSans-Regular.ttf", "helv"},
      {"MS Sans Serif", 400, false, 0, "LiberationSans-Regular.ttf", "MS Sans Serif"},
      {"System", 400, false, 0, "LiberationSans-Regular.ttf", "System"},
      {"Times New Roman", 400, false, 0, "LiberationSerif-Regular.ttf", "Times New Roman"},
      {"Courier New", 400, false, 0, "LiberationMono-Regular.ttf", "Courier New"},
      {"Arial", 700, false, 0, "LiberationSans-Bold.ttf", "Arial"},
      {"Arial", 400, true, 0, "LiberationSans-Italic.ttf", "Arial"},
      {"Times New Roman", 700, true, 0, "LiberationSerif-BoldItalic.ttf", "Times New Roman"},
      {"", 400, false, win::FF_SWISS | win::VARIABLE_PITCH, "LiberationSans-Regular.ttf", "Liberation Sans"},
      {"", 400, false, win::FF_ROMAN, "LiberationSerif-Regular.ttf", "Liberation Serif"},
      {"", 400, false, win::FF_MODERN, "LiberationMono-Regular.ttf", "Liberation Mono"},
      {"", 400, false, win::FIXED_PITCH, "LiberationMono-Regular.ttf", "Liberation Mono"},
      {"", 0, false, 0, "LiberationSans-Regular.ttf", "Liberation Sans"},
      {"No Such Face", 400, false, win::FF_ROMAN, "LiberationSerif-Regular.ttf", "Liberation Serif"},
      {"No Such Face", 400, false, 0, "LiberationSans-Regular.ttf", "Liberation Sans"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("face \"") + c.face + "\" weight " + std::to_string(c.weight));
    const auto font = Font::Create(MakeLogFont(c.face, -13, c.weight, c.italic, c.pitchAndFamily));
    EXPECT_EQ(FileName(font->FilePath()), c.file);
    EXPECT_EQ(font->FaceName(), c.reported);
  }
}

// The configuration must not come from the user's fontconfig files: a user
// file that sends Arial elsewhere changes nothing. Runs in a fresh process so
// that the configuration is built after the user file exists.
TEST(FontConfiguration, IgnoresTheUsersFontconfigFiles) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const auto home = std::filesystem::temp_directory_path() / ("fonts-home-" + std::to_string(getpid()));
        std::filesystem::create_directories(home / "fontconfig");
        std::ofstream(home / "fontconfig" / "fonts.conf")
            << "<?xml version=\"1.0\"?><fontconfig><match target=\"pattern\"><test name=\"family\">"
               "<string>Arial</string></test><edit name=\"family\" mode=\"assign\" binding=\"strong\">"
               "<string>DejaVu Serif</string></edit></match></fontconfig>\n";
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        setenv("FONTCONFIG_FILE", (home / "fontconfig" / "fonts.conf").c_str(), 1);
        const FaceFile face = MatchFace(MakeLogFont("Arial", -13));
        std::filesystem::remove_all(home);
        std::exit(face.family == "Liberation Sans" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// QMK_TEST_FONT=1 turns the test font on for a whole process, before the
// first font is made.
TEST(FontConfiguration, TheEnvironmentSwitchesTheTestFontOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("QMK_TEST_FONT", "1", 1);
        std::exit(TestFontOn() && Font::Create(MakeLogFont("Arial", -13))->IsTestFont() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

struct MetricRow {
  const char* face;
  int height;
  int weight;
  // tmHeight, tmAscent, tmDescent, tmInternalLeading, tmExternalLeading,
  // tmAveCharWidth, tmMaxCharWidth
  int h, a, d, il, el, avg, max;
};

void ExpectMetrics(const MetricRow& row) {
  SCOPED_TRACE(std::string(row.face) + " lfHeight " + std::to_string(row.height) + " weight " +
               std::to_string(row.weight));
  const win::TEXTMETRIC& tm = Font::Create(MakeLogFont(row.face, row.height, row.weight))->Metrics();
  EXPECT_EQ(tm.tmHeight, row.h);
  EXPECT_EQ(tm.tmAscent, row.a);
  EXPECT_EQ(tm.tmDescent, row.d);
  EXPECT_EQ(tm.tmInternalLeading, row.il);
  EXPECT_EQ(tm.tmExternalLeading, row.el);
  EXPECT_EQ(tm.tmAveCharWidth, row.avg);
  EXPECT_EQ(tm.tmMaxCharWidth, row.max);
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  // A negative height is the em: the cell less its internal leading.
  if (row.height < 0) {
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -row.height);
  } else if (row.height > 0) {
    EXPECT_EQ(tm.tmHeight, row.height);
  }
}

// Values of the faces the Liberation fonts stand in for: Arial, for instance,
// has upm 2048, win ascent 1854, win descent 434, line gap 67, weighted
// average width 904, so at em 13 its ascent is round(11.77) = 12, its descent
// round(2.75) = 3, its average width round(5.74) = 6.
TEST_F(RealFontTest, MetricsOfTheMappedFaces) {
  const MetricRow rows[] = {
      {"Arial", -8, 400, 9, 7, 2, 1, 0, 4, 15},
      {"Arial", -11, 400, 12, 10, 2, 1, 0, 5, 20},
      {"Arial", -13, 400, 15, 12, 3, 2, 0, 6, 24},
      {"Arial", -16, 400, 17, 14, 3, 1, 1, 7, 30},
      {"Arial", -32, 400, 36, 29, 7, 4, 1, 14, 59},
      {"Arial", -13, 700, 15, 12, 3, 2, 0, 6, 23},
      {"Arial", 12, 400, 12, 10, 2, 1, 0, 5, 20},
      {"Arial", 16, 400, 16, 13, 3, 2, 0, 6, 26},
      {"Arial", 20, 400, 20, 16, 4, 2, 1, 8, 33},
      {"Arial", 0, 400, 14, 11, 3, 2, 0, 5, 22},
      {"Helv", -13, 400, 15, 12, 3, 2, 0, 6, 24},
      {"Times New Roman", -13, 400, 15, 12, 3, 2, 1, 5, 24},
      {"Times New Roman", -16, 400, 17, 14, 3, 1, 1, 6, 29},
      {"Times New Roman", 20, 400, 20, 16, 4, 2, 1, 7, 33},
      {"Courier New", -13, 400, 15, 11, 4, 2, 0, 8, 16},
      {"Courier New", -16, 400, 18, 13, 5, 2, 0, 10, 20},
      {"Courier New", 16, 400, 16, 12, 4, 2, 0, 8, 17},
  };
  for (const MetricRow& row : rows) ExpectMetrics(row);
}

TEST_F(RealFontTest, StyleFieldsOfTheMetrics) {
  const auto bold = Font::Create(MakeLogFont("Arial", -13, 700, true));
  EXPECT_EQ(bold->Metrics().tmWeight, 700);
  EXPECT_EQ(bold->Metrics().tmItalic, 255);
  EXPECT_EQ(bold->Metrics().tmPitchAndFamily, win::FF_SWISS | win::TMPF_TRUETYPE | win::TMPF_VECTOR |
                                                  win::TMPF_FIXED_PITCH);
  const auto mono = Font::Create(MakeLogFont("Courier New", -13));
  EXPECT_EQ(mono->Metrics().tmWeight, 400);
  EXPECT_EQ(mono->Metrics().tmPitchAndFamily, win::FF_MODERN | win::TMPF_TRUETYPE | win::TMPF_VECTOR);
  EXPECT_EQ(Font::Create(MakeLogFont("Times New Roman", -13))->Metrics().tmPitchAndFamily & 0xF0, win::FF_ROMAN);
  // Every character of a fixed-pitch face has the average width.
  for (int c = 0x20; c < 0x7F; ++c) EXPECT_EQ(mono->CharWidth(static_cast<uint8_t>(c)), 8) << c;
}

TEST_F(RealFontTest, WidthsAreRoundedPerCharacterAndSummed) {
  // Arial at em 13: H 1479, e 1139, l 455, o 1139 units of 2048.
  const auto font = Font::Create(MakeLogFont("Arial", -13));
  EXPECT_EQ(font->CharWidth('H'), 9);
  EXPECT_EQ(font->CharWidth('e'), 7);
  EXPECT_EQ(font->CharWidth('l'), 3);
  EXPECT_EQ(font->TextExtent("Hello"), (Point{29, 15}));
  EXPECT_EQ(font->TextExtent(""), (Point{0, 15}));
  // Windows-1252 characters above 0x7F: umlauts as wide as their letters, the
  // euro sign at 0x80 present.
  EXPECT_EQ(font->CharWidth(0xE4), font->CharWidth('a'));
  EXPECT_EQ(font->CharWidth(0xDC), font->CharWidth('U'));
  EXPECT_GT(font->CharWidth(0x80), 0);
  // lfWidth sets the average width and scales every width with it: H is
  // 1479 * 6 / 904 = 9.8 pixels.
  win::LOGFONT narrow = MakeLogFont("Arial", -26);
  narrow.lfWidth = 6;
  EXPECT_EQ(Font::Create(narrow)->Metrics().tmAveCharWidth, 6);
  EXPECT_EQ(Font::Create(narrow)->CharWidth('H'), 10);
  EXPECT_EQ(Font::Create(narrow)->Metrics().tmHeight, 30);
}

TEST_F(RealFontTest, GlyphMasksHaveInkWithinTheirCells) {
  for (const char* face : {"Arial", "Times New Roman", "Courier New"}) {
    for (int height : {-11, -13, -32}) {
      const auto font = Font::Create(MakeLogFont(face, height));
      const win::TEXTMETRIC& tm = font->Metrics();
      for (int c = 0x21; c <= 0xFF; ++c) {
        if (c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D || c == 0xA0 || c == 0xAD)
          continue;
        SCOPED_TRACE(std::string(face) + " " + std::to_string(height) + " char " + std::to_string(c));
        const CoverageMask& mask = font->Glyph(static_cast<uint8_t>(c));
        ASSERT_FALSE(mask.Empty());
        int ink = 0;
        for (uint8_t a : mask.alpha) ink += a;
        EXPECT_GT(ink, 0);
        // Ascent and descent are rounded, so a partly covered row may lie
        // just outside them.
        EXPECT_GE(mask.top, -tm.tmAscent - 1);
        EXPECT_LE(mask.top + mask.height, tm.tmDescent + 1);
        EXPECT_GE(mask.left, -2);
        EXPECT_LE(mask.left + mask.width, font->CharWidth(static_cast<uint8_t>(c)) + 2);
      }
    }
  }
  EXPECT_TRUE(Font::Create(MakeLogFont("Arial", -13))->Glyph(' ').Empty());
}

// A face with one light style only: bold and italic are made from it.
TEST_F(RealFontTest, BoldAndItalicAreSynthesisedForASingleStyleFace) {
  const auto light = Font::Create(MakeLogFont("DejaVu Sans Light", -20));
  if (FileName(light->FilePath()) != "DejaVuSans-ExtraLight.ttf") GTEST_SKIP() << "fonts-dejavu-extra is missing";
  const auto bold = Font::Create(MakeLogFont("DejaVu Sans Light", -20, 700));
  EXPECT_EQ(bold->FilePath(), light->FilePath());
  EXPECT_EQ(bold->Metrics().tmWeight, 700);
  EXPECT_EQ(bold->Metrics().tmAveCharWidth, light->Metrics().tmAveCharWidth + 1);
  EXPECT_EQ(bold->CharWidth('l'), light->CharWidth('l') + 1);
  EXPECT_EQ(bold->Metrics().tmHeight, light->Metrics().tmHeight);
  int lightInk = 0, boldInk = 0;
  for (uint8_t a : light->Glyph('l').alpha) lightInk += a;
  for (uint8_t a : bold->Glyph('l').alpha) boldInk += a;
  EXPECT_GT(boldInk, lightInk + lightInk / 2);

  const auto italic = Font::Create(MakeLogFont("DejaVu Sans Light", -20, 400, true));
  EXPECT_EQ(italic->Metrics().tmItalic, 255);
  EXPECT_EQ(italic->CharWidth('l'), light->CharWidth('l'));
  // The slant leans the top of an upright stroke to the right.
  EXPECT_GT(italic->Glyph('l').width, light->Glyph('l').width + 2);
}

TEST_F(RealFontTest, GlyphsKeepTheFontsSizeAfterASinkResizedTheFace) {
  const auto font = Font::Create(MakeLogFont("Arial", -14));
  ASSERT_NE(font->FreeTypeFace(), nullptr);
  FT_Set_Char_Size(font->FreeTypeFace(), 0, 40 * 64, 72, 72);
  const CoverageMask& glyph = font->Glyph('W');
  EXPECT_LE(glyph.height, font->Metrics().tmAscent + 1);
  EXPECT_LE(glyph.width, font->CharWidth('W') + 2);
}

TEST_F(RealFontTest, UnderlineAndStrikeOutLieBelowAndAboveTheBaseline) {
  for (int height : {-11, -13, -20, -48}) {
    win::LOGFONT lf = MakeLogFont("Arial", height);
    lf.lfUnderline = lf.lfStrikeOut = 1;
    const auto font = Font::Create(lf);
    SCOPED_TRACE(height);
    EXPECT_GE(font->UnderlineTop(), 1);
    EXPECT_LE(font->UnderlineTop() + font->UnderlineSize(), font->Metrics().tmDescent);
    EXPECT_LT(font->StrikeOutTop(), 0);
    EXPECT_GT(font->StrikeOutTop(), -font->Metrics().tmAscent + font->Metrics().tmInternalLeading);
    const TextRun run = font->Layout("Hi");
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[0].top, font->UnderlineTop());
    EXPECT_EQ(run.lines[0].height, font->UnderlineSize());
    EXPECT_EQ(run.lines[0].width, font->TextExtent("Hi").x);
    EXPECT_EQ(run.lines[1].top, font->StrikeOutTop());
  }
}

TEST_F(RealFontTest, FontsAreSharedAndHugeHeightsAreCapped) {
  const win::LOGFONT lf = MakeLogFont("Arial", -13);
  EXPECT_EQ(Font::Create(lf), Font::Create(lf));
  EXPECT_EQ(Font::Create(MakeLogFont("Arial", -100000))->Em(), kMaxEm);
  EXPECT_EQ(Font::Create(MakeLogFont("Arial", INT32_MIN))->Em(), kMaxEm);
  EXPECT_LE(Font::Create(MakeLogFont("Arial", INT32_MAX))->Em(), kMaxEm);
  // A face name that fills its field without a terminator is read to the
  // field's end.
  win::LOGFONT unterminated = MakeLogFont("", -13);
  std::memset(unterminated.lfFaceName, 'A', win::LF_FACESIZE);
  EXPECT_EQ(win::FaceNameOf(unterminated), std::string(32, 'A'));
  EXPECT_EQ(FileName(Font::Create(unterminated)->FilePath()), "LiberationSans-Regular.ttf");
}

TEST_F(TestFontTest, MetricsOfTheTestFont) {
  const MetricRow rows[] = {
      {"Arial", 20, 400, 20, 16, 4, 4, 2, 10, 10},  {"Arial", -16, 400, 20, 16, 4, 4, 2, 10, 10},
      {"Arial", -13, 400, 16, 13, 3, 3, 1, 8, 8},   {"Arial", 16, 400, 16, 13, 3, 3, 1, 8, 8},
      {"", 0, 400, 15, 12, 3, 3, 1, 7, 7},          {"Helv", -8, 400, 10, 8, 2, 2, 1, 5, 5},
      {"Courier New", 50, 700, 50, 40, 10, 10, 5, 26, 26},
  };
  for (const MetricRow& row : rows) ExpectMetrics(row);
  win::LOGFONT wide = MakeLogFont("Arial", 20, 700);
  wide.lfWidth = 7;
  EXPECT_EQ(Font::Create(wide)->CharWidth('x'), 8);
  EXPECT_EQ(Font::Create(MakeLogFont("Arial", 20))->FaceName(), "Arial");
  EXPECT_TRUE(Font::Create(MakeLogFont("Arial", 20))->IsTestFont());
}

TEST_F(TestFontTest, GlyphsAreBoxesAndRunsStepByTheWidth) {
  win::LOGFONT lf = MakeLogFont("Arial", 20);
  lf.lfUnderline = lf.lfStrikeOut = 1;
  const auto font = Font::Create(lf);
  const CoverageMask& box = font->Glyph('A');
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, -16);
  EXPECT_EQ(box.width, 9);
  EXPECT_EQ(box.height, 16);
  for (uint8_t a : box.alpha) ASSERT_EQ(a, 255);
  EXPECT_TRUE(font->Glyph(' ').Empty());

  const TextRun run = font->Layout("A B");
  ASSERT_EQ(run.glyphs.size(), 2u);
  EXPECT_EQ(run.glyphs[0].anchor, (Point{0, 0}));
  EXPECT_EQ(run.glyphs[1].anchor, (Point{20, 0}));
  EXPECT_EQ(run.end, (Point{30, 0}));
  ASSERT_EQ(run.lines.size(), 2u);
  // Underline 2 rows below the baseline, strike-out 8 above, one pixel thick.
  EXPECT_EQ((std::vector<int>{run.lines[0].left, run.lines[0].top, run.lines[0].width, run.lines[0].height}),
            (std::vector<int>{0, 2, 30, 1}));
  EXPECT_EQ((std::vector<int>{run.lines[1].left, run.lines[1].top, run.lines[1].width, run.lines[1].height}),
            (std::vector<int>{0, -8, 30, 1}));

  // ExtTextOut's own spacing.
  const int dx[] = {5, 7, 9};
  const TextRun spaced = font->Layout("A B", dx);
  EXPECT_EQ(spaced.glyphs[1].anchor, (Point{12, 0}));
  EXPECT_EQ(spaced.end, (Point{21, 0}));
}

TEST_F(TestFontTest, EscapementTurnsGlyphsAndTheBaseline) {
  win::LOGFONT lf = MakeLogFont("Arial", 20);
  lf.lfEscapement = 900;  // upwards
  const auto up = Font::Create(lf);
  const TextRun run = up->Layout("AB");
  EXPECT_EQ(run.glyphs[1].anchor, (Point{0, -10}));
  EXPECT_EQ(run.end, (Point{0, -20}));
  const CoverageMask& box = up->Glyph('A');
  EXPECT_EQ((std::vector<int>{box.left, box.top, box.width, box.height}), (std::vector<int>{-16, -9, 16, 9}));
  // Extents do not turn with the text; alignment offsets do: the top of an
  // upward text lies to its left.
  EXPECT_EQ(up->TextExtent("AB"), (Point{20, 20}));
  EXPECT_EQ(up->Offset(0, 16), (Point{16, 0}));
  EXPECT_EQ(up->Offset(-20, 0), (Point{0, 20}));

  lf.lfEscapement = 1800;
  EXPECT_EQ(Font::Create(lf)->Layout("AB").end, (Point{-20, 0}));
}

TEST_F(TestFontTest, DecorationsStayBoundedForLongAndTurnedTexts) {
  win::LOGFONT lf = MakeLogFont("Arial", 20);
  lf.lfUnderline = 1;
  lf.lfEscapement = 450;
  // 400 pixels along a diagonal: four pieces, none much larger than its part.
  const TextRun turned = Font::Create(lf)->Layout(std::string(40, 'x'));
  ASSERT_EQ(turned.lines.size(), 4u);
  for (const CoverageMask& piece : turned.lines) EXPECT_LE(piece.width * piece.height, 100 * 100);
  EXPECT_EQ(turned.end, (Point{283, -283}));
  // Spacing from a file cannot make an underline of gigabytes.
  lf.lfEscapement = 0;
  const int dx[] = {2000000000, 2000000000};
  const TextRun spaced = Font::Create(lf)->Layout("xx", dx);
  ASSERT_EQ(spaced.lines.size(), 1u);
  EXPECT_EQ(spaced.lines[0].width, kMaxLineLength);
}

// The strongest coverage any mask of the run puts on pixel (x, y) of the
// reference point's space.
int CoverageAt(const TextRun& run, int x, int y) {
  int best = 0;
  const auto at = [&](const CoverageMask& m, Point anchor) {
    const int i = x - anchor.x - m.left, j = y - anchor.y - m.top;
    if (i >= 0 && j >= 0 && i < m.width && j < m.height) best = std::max<int>(best, m.alpha[size_t(j) * m.width + i]);
  };
  for (const PlacedMask& g : run.glyphs) at(*g.mask, g.anchor);
  for (const CoverageMask& line : run.lines) at(line, Point{});
  return best;
}

// A huge font's run given a window renders only masks of about the window's
// size, and within the window they hold the whole masks' pixels (the
// rasteriser may round an edge pixel a few levels of 255 apart).
void ExpectCutRunsMatchWholeRuns(const win::LOGFONT& lf) {
  const auto font = Font::Create(lf);
  // Small windows along a strip through the letters, one far away, one empty.
  std::vector<Rect> windows{{-5000, 0, -4900, 30}, {0, 0, 0, 0}};
  for (int x = -100; x < 2500; x += 61) windows.push_back({x, -520 + x / 8, x + 24, -500 + x / 8});
  std::vector<TextRun> cuts;
  for (const Rect& w : windows) cuts.push_back(font->Layout("Wg", nullptr, &w));
  // Whole masks last: once made, they are kept and serve every run.
  const TextRun whole = font->Layout("Wg");
  int edges = 0;
  for (size_t k = 0; k < windows.size(); ++k) {
    const Rect& w = windows[k];
    const TextRun& cut = cuts[k];
    SCOPED_TRACE(std::to_string(w.left) + "," + std::to_string(w.top));
    for (const PlacedMask& g : cut.glyphs) EXPECT_LE(int64_t(g.mask->width) * g.mask->height, kMaxWholeMask);
    for (const CoverageMask& line : cut.lines) EXPECT_LE(int64_t(line.width) * line.height, kMaxWholeMask);
    for (int y = w.top; y < w.bottom; ++y)
      for (int x = w.left; x < w.right; ++x) {
        ASSERT_NEAR(CoverageAt(cut, x, y), CoverageAt(whole, x, y), 3) << x << "," << y;
        const int a = CoverageAt(whole, x, y);
        edges += a > 0 && a < 255;
      }
  }
  // The windows cross edges of the glyphs, where rounding would show.
  EXPECT_GT(edges, 10);
}

TEST_F(RealFontTest, HugeGlyphsAreRenderedOnlyWhereTheyCanShow) {
  for (int escapement : {0, 300}) {
    win::LOGFONT lf = MakeLogFont("Arial", -1200);
    lf.lfUnderline = 1;
    lf.lfEscapement = escapement;
    ExpectCutRunsMatchWholeRuns(lf);
  }
}

TEST_F(TestFontTest, HugeBoxesAreRenderedOnlyWhereTheyCanShow) {
  win::LOGFONT lf = MakeLogFont("Arial", -1200);
  lf.lfStrikeOut = 1;
  lf.lfEscapement = 450;
  ExpectCutRunsMatchWholeRuns(lf);
}

TEST_F(TestFontTest, TheCacheLetsGoOfFontsWithTooManyGlyphBytes) {
  std::weak_ptr<const Font> huge;
  {
    const auto font = Font::Create(MakeLogFont("Arial", 4000));  // boxes of 1999 x 3200 pixels
    for (uint8_t c = 'A'; c < 'A' + 12; ++c) font->Glyph(c);
    huge = font;
  }
  const auto small = Font::Create(MakeLogFont("Arial", 11));
  EXPECT_TRUE(huge.expired());
  // Fonts made since stay shared.
  EXPECT_EQ(Font::Create(MakeLogFont("Arial", 11)), small);
}

TEST_F(TestFontTest, SwitchingTheTestFontOffGivesRealFaces) {
  const win::LOGFONT lf = MakeLogFont("Arial", -13);
  const auto boxes = Font::Create(lf);
  SetTestFont(false);
  const auto real = Font::Create(lf);
  SetTestFont(true);
  EXPECT_TRUE(boxes->IsTestFont());
  EXPECT_FALSE(real->IsTestFont());
  EXPECT_NE(boxes, real);
}

}  // namespace
}  // namespace platform::fonts
