// Realised fonts: a LOGFONT resolved to a face at a pixel size, with the
// metrics, widths and anti-aliased glyphs a device context needs for TextOut,
// ExtTextOut, GetTextExtentPoint32 and GetTextMetrics.
//
// Coordinates are device pixels with y growing downwards. A text's reference
// point is the start of its baseline; the drawing layer moves it for its text
// alignment (TA_TOP: down by tmAscent along the text's up direction).
//
// Metrics follow the TrueType rules of the Windows font mapper, computed from
// the face's own tables (upm = units per em, winA/winD = OS/2 usWinAscent and
// usWinDescent, round() = to nearest, halves away from zero):
//   1. em (pixels per em): lfHeight < 0 gives -lfHeight; lfHeight > 0 gives
//      round(lfHeight * upm / (winA + winD)); lfHeight 0 is em 12. The em is
//      capped at kMaxEm pixels.
//   2. lfHeight > 0: tmAscent = round(winA * lfHeight / (winA + winD)) and
//      tmDescent = lfHeight - tmAscent, so tmHeight is the cell height asked
//      for. lfHeight <= 0: tmAscent = round(winA * em / upm), tmDescent =
//      round(winD * em / upm).
//   3. tmHeight = tmAscent + tmDescent; tmInternalLeading = tmHeight - em (not
//      below 0); tmExternalLeading = round(max(0, lineGap - ((winA + winD) -
//      (ascender - descender))) * em / upm) from the hhea table.
//   4. Horizontal scale sx = em / upm, or lfWidth / xAvgCharWidth when lfWidth
//      is set. A character's width is round(unhinted advance * sx), each
//      character rounded on its own; a text's width is the sum (no kerning).
//      tmAveCharWidth = round(xAvgCharWidth * sx) (at least 1), tmMaxCharWidth
//      = round((bbox.xMax - bbox.xMin) * sx). xAvgCharWidth is the weighted
//      average of the lower-case letters and the blank (the OS/2 table's
//      original definition), which the faces stood in for carry.
//   5. A request for weight >= FW_SEMIBOLD on a face lighter than that is
//      emboldened: every width and both average and maximum width grow by 1,
//      tmWeight is FW_BOLD. An italic request on an upright face is slanted.
//   6. Underline: thickness t = round(post.underlineThickness * em / upm), at
//      least 1; its centre lies round((underlinePosition - underlineThickness)
//      * em / upm) above the baseline (the packaged faces' convention), its
//      top t/2 rows higher. Strike-out: OS/2 yStrikeoutPosition is the top,
//      yStrikeoutSize the thickness, both scaled and at least 1 pixel.
//   7. Characters are Windows-1252; one without a glyph shows the face's
//      missing-glyph shape at its width.
//
// The test font (SetTestFont(true), or QMK_TEST_FONT=1 in the environment when
// the first font is made) replaces every face with boxes of fixed metrics, so
// that tests depend on no installed font. For the cell height H (lfHeight > 0:
// H = lfHeight; otherwise em = -lfHeight, or 12 for 0, and H = em + em / 4):
// tmAscent = H - H/5, tmDescent = H/5, tmInternalLeading = H/5, external
// leading H/10; every character is H/2 wide (lfWidth when set), plus 1 for a
// weight >= FW_SEMIBOLD. Each non-blank character is a full box from x = 0 to
// width - 1 and from the top of the ascent to the baseline; the underline's
// top is tmDescent/2 below the baseline, the strike-out's top tmAscent/2 above
// it, both max(1, H/20) thick.
//
// Glyph masks are rendered once per font and character and kept with the font,
// except glyphs whose whole mask would exceed kMaxWholeMask pixels (a huge
// font): a layout given the window in which its pixels can show renders
// those, and underline and strike-out bands of that size, cut to the window,
// for the one run. A cut mask holds the pixels the whole mask holds inside
// the window (the rasteriser keeps the coverage of what lies left of its
// clip; an edge pixel may round a few levels of 255 apart). Masks up to
// kMaxWholeMask pixels are never cut, so text of usual sizes is drawn alike
// whatever the window.
// Fonts are shared: Font::Create answers the same object for the same LOGFONT
// while it is in the cache: the 64 fonts made last, fewer while their glyphs
// take more than 64 MiB. Fonts are made and used on the one UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts/logfont.h"

struct FT_FaceRec_;

namespace platform::fonts {

inline constexpr int kMaxEm = 4096;
// Underline and strike-out end after kMaxLineLength pixels (ExtTextOut's
// spacing may come from a file); along a turned baseline they come in pieces
// of kBandPiece pixels so that no mask grows with the square of the length.
inline constexpr int kMaxLineLength = 1 << 16;
inline constexpr int kBandPiece = 128;
inline constexpr int kDefaultEm = 12;
inline constexpr int64_t kMaxWholeMask = int64_t{1} << 18;

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Rect&) const = default;
};

// An 8-bit coverage mask: 0 leaves a pixel alone, 255 covers it fully. Pixel
// (i, j) of the mask lies at (anchor.x + left + i, anchor.y + top + j).
struct CoverageMask {
  int left = 0, top = 0;
  int width = 0, height = 0;
  std::vector<uint8_t> alpha;  // height rows of width bytes
  bool Empty() const { return width == 0 || height == 0; }
};

// One mask of a laid-out text and where its anchor lies, relative to the
// text's reference point.
struct PlacedMask {
  Point anchor;
  const CoverageMask* mask = nullptr;
};

// A string laid out for drawing: its glyphs, then its underline and strike-out
// (rotated with the text: several pieces each), and where the pen stands after
// the last character.
struct TextRun {
  std::vector<PlacedMask> glyphs;
  std::vector<CoverageMask> lines;  // anchored at the reference point
  // Glyphs cut to the layout's window, which the font does not keep.
  std::vector<std::unique_ptr<CoverageMask>> cut;
  Point end;
};

// What text layout needs to know of a font. The drawing layer may implement it
// in logical units over a device font.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual const win::TEXTMETRIC& Metrics() const = 0;
  virtual int CharWidth(uint8_t c) const = 0;
  // The sum of the characters' widths.
  int TextWidth(std::string_view text) const;
};

class Font final : public TextMeasurer {
 public:
  // The font for a LOGFONT whose sizes are in device pixels; never null. It
  // throws std::runtime_error only when no face at all can be loaded.
  static std::shared_ptr<const Font> Create(const win::LOGFONT& lf);

  ~Font() override;
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  const win::LOGFONT& LogFont() const { return logFont_; }
  const win::TEXTMETRIC& Metrics() const override { return metrics_; }
  int CharWidth(uint8_t c) const override { return widths_[c]; }
  // GetTextExtentPoint32: the width of the text and tmHeight.
  Point TextExtent(std::string_view text) const { return {TextWidth(text), metrics_.tmHeight}; }
  // GetTextFace.
  const std::string& FaceName() const { return faceName_; }
  // The face's file; empty for the test font.
  const std::string& FilePath() const { return filePath_; }
  bool IsTestFont() const { return face_ == nullptr; }
  int Em() const { return em_; }
  // The FreeType face behind the font (null for the test font), for a sink
  // that draws the same glyphs itself. The sink may size the face for itself;
  // the font sizes it again before it renders a glyph.
  FT_FaceRec_* FreeTypeFace() const;
  // The face's glyph of a character (0 for the test font).
  uint32_t GlyphIndex(uint8_t c) const { return glyphIds_[c]; }

  // The glyph of a character, drawn upright or along the escapement.
  const CoverageMask& Glyph(uint8_t c) const;
  // Lays out a text from its reference point. dx, when given, holds one
  // advance per character (ExtTextOut's spacing) instead of the widths.
  // window, when given, is where pixels can show, relative to the reference
  // point: masks larger than kMaxWholeMask pixels cover only that.
  TextRun Layout(std::string_view text, const int* dx = nullptr, const Rect* window = nullptr) const;

  // A step of `along` pixels in the text's direction and `down` pixels
  // towards its descent, in device pixels, rounded. The drawing layer moves
  // the reference point with it for its text alignment: TA_TOP is
  // Offset(0, tmAscent), TA_BOTTOM Offset(0, -tmDescent), TA_RIGHT
  // Offset(-width, 0), TA_CENTER Offset(-width / 2, 0).
  Point Offset(int64_t along, int64_t down) const;

  // Underline and strike-out rows relative to the baseline (y down).
  int UnderlineTop() const { return underlineTop_; }
  int UnderlineSize() const { return underlineSize_; }
  int StrikeOutTop() const { return strikeTop_; }
  int StrikeOutSize() const { return strikeSize_; }

 private:
  Font() = default;
  void RealiseTestFont();
  void RealiseFace(const std::string& path, int index, bool faceItalic, int faceWeight);
  // cut (when not null) is set when the mask was cut to the window.
  CoverageMask RenderGlyph(uint8_t c, const Rect* window, bool* cut) const;
  // The glyph for a run: the kept one, or one cut to the window into run.cut.
  const CoverageMask& RunGlyph(uint8_t c, const Rect* window, TextRun& run) const;
  const CoverageMask& Keep(uint8_t c, CoverageMask mask) const;
  void SetFaceSize() const;
  void AddBand(std::vector<CoverageMask>& lines, int length, int top, int size, const Rect* window) const;

  win::LOGFONT logFont_{};
  win::TEXTMETRIC metrics_{};
  std::array<int, 256> widths_{};
  std::string faceName_, filePath_;
  int em_ = 0;
  int underlineTop_ = 0, underlineSize_ = 1, strikeTop_ = 0, strikeSize_ = 1;
  bool emboldened_ = false, slanted_ = false;
  double cos_ = 1.0, sin_ = 0.0;  // the escapement's direction
  FT_FaceRec_* face_ = nullptr;
  long charWidth_ = 0;                  // 26.6 points at 72 dpi, i.e. pixels
  mutable long xScale_ = 0, yScale_ = 0;  // the face's scales while sized for us
  std::array<uint32_t, 256> glyphIds_{};
  mutable std::array<std::unique_ptr<CoverageMask>, 256> glyphs_;
  mutable size_t glyphBytes_ = 0;
};

// Switches the test font on or off for every font created afterwards.
void SetTestFont(bool on);
bool TestFontOn();

}  // namespace platform::fonts
