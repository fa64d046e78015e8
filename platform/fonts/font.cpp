// Realised fonts over FreeType, and the box test font (see font.h for the
// metric rules).
#include "platform/fonts/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <list>
#include <stdexcept>

#include "platform/codepage.h"
#include "platform/fonts/fontmatch.h"

namespace platform::fonts {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kCacheSize = 64;
// The cache lets go of its least recently made fonts while their glyphs take
// more than this many bytes (a font still in use keeps its glyphs).
constexpr size_t kGlyphBudget = size_t{64} << 20;

size_t& GlyphBytes() {
  static size_t bytes = 0;
  return bytes;
}

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) throw std::runtime_error("fonts: FreeType could not be started");
    return lib;
  }();
  return library;
}

// value * num / den rounded to nearest, halves away from zero.
int Scale(int64_t value, int64_t num, int64_t den) {
  if (den == 0) return 0;
  const int64_t n = value * num;
  const int64_t r = (2 * std::llabs(n) + std::llabs(den)) / (2 * std::llabs(den));
  return static_cast<int>((n < 0) != (den < 0) ? -r : r);
}

int TestFontSetting() {
  const char* env = std::getenv("QMK_TEST_FONT");
  return env && std::strcmp(env, "1") == 0 ? 1 : 0;
}

int& TestFontFlag() {
  static int flag = TestFontSetting();
  return flag;
}

// The Unicode character of a Windows-1252 byte.
uint32_t UnicodeOf(uint8_t c) {
  const std::string utf8 = Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(&c), 1));
  const auto* u = reinterpret_cast<const unsigned char*>(utf8.data());
  if (utf8.size() == 1) return u[0];
  if (utf8.size() == 2) return ((u[0] & 0x1Fu) << 6) | (u[1] & 0x3Fu);
  if (utf8.size() == 3) return ((u[0] & 0x0Fu) << 12) | ((u[1] & 0x3Fu) << 6) | (u[2] & 0x3Fu);
  return c;
}

// The average character width in font units by the weighted lower-case
// letters and blank of the OS/2 table's first versions. The faces we ship
// carry a newer table whose average runs over all glyphs and is far wider;
// the faces they stand in for carry this weighted value, and their advance
// widths are the same, so this gives the average layouts were made with.
int WeightedAverageWidth(FT_Face face) {
  static constexpr int kWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                       56, 17, 4,  49, 56,  71, 31, 10, 18, 3,  18, 2, 166};
  int64_t sum = 0;
  for (int i = 0; i < 27; ++i) {
    FT_Fixed advance = 0;
    FT_Get_Advance(face, FT_Get_Char_Index(face, i < 26 ? 'a' + i : ' '), FT_LOAD_NO_SCALE, &advance);
    sum += advance * kWeights[i];
  }
  const int average = static_cast<int>(sum / 1000);
  return average > 0 ? average : std::max(1, static_cast<int>(face->units_per_EM) / 2);
}

// The fields of the metrics that every font fills alike: style flags from the
// request, the Windows-1252 character range, 96 dpi.
void SetStyleFields(win::TEXTMETRIC& tm, const win::LOGFONT& lf, bool faceItalic) {
  tm.tmItalic = lf.lfItalic || faceItalic ? 255 : 0;
  tm.tmUnderlined = lf.lfUnderline ? 255 : 0;
  tm.tmStruckOut = lf.lfStrikeOut ? 255 : 0;
  tm.tmFirstChar = 0x1E;
  tm.tmLastChar = 0xFF;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
  tm.tmCharSet = win::ANSI_CHARSET;
}

bool IsBoldRequest(const win::LOGFONT& lf) { return lf.lfWeight >= win::FW_SEMIBOLD; }

// Renders an outline (26.6 pixels, y up) into a coverage mask anchored at the
// outline's origin. A mask of more than kMaxWholeMask pixels is cut to the
// window (device pixels from the origin, y down) when one is given, and cut
// says so.
CoverageMask RenderOutline(FT_Outline& outline, const Rect* window, bool* cut) {
  CoverageMask mask;
  if (cut) *cut = false;
  FT_BBox box;
  FT_Outline_Get_CBox(&outline, &box);
  // In whole pixels, y down.
  int64_t left = box.xMin >> 6, right = (box.xMax + 63) >> 6;
  int64_t top = -((box.yMax + 63) >> 6), bottom = -(box.yMin >> 6);
  if (outline.n_points == 0 || right <= left || bottom <= top) return mask;
  if (window && (right - left) * (bottom - top) > kMaxWholeMask) {
    left = std::max<int64_t>(left, window->left), right = std::min<int64_t>(right, window->right);
    top = std::max<int64_t>(top, window->top), bottom = std::min<int64_t>(bottom, window->bottom);
    if (cut) *cut = true;
    if (right <= left || bottom <= top) return mask;
  }
  mask.left = static_cast<int>(left);
  mask.top = static_cast<int>(top);
  mask.width = static_cast<int>(right - left);
  mask.height = static_cast<int>(bottom - top);
  mask.alpha.assign(static_cast<size_t>(mask.width) * mask.height, 0);
  FT_Outline_Translate(&outline, static_cast<FT_Pos>(-left * 64), static_cast<FT_Pos>(bottom * 64));
  FT_Bitmap bitmap;
  std::memset(&bitmap, 0, sizeof bitmap);
  bitmap.rows = mask.height;
  bitmap.width = mask.width;
  bitmap.pitch = mask.width;
  bitmap.buffer = mask.alpha.data();
  bitmap.num_grays = 256;
  bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
  FT_Outline_Get_Bitmap(Library(), &outline, &bitmap);
  return mask;
}

// A rectangle [x0, x1) x [y0, y1) in device pixels (y down) turned about the
// origin by the direction (cos, sin) and rendered (cut as RenderOutline cuts).
CoverageMask RenderRect(int x0, int y0, int x1, int y1, double cos, double sin, const Rect* window = nullptr,
                        bool* cut = nullptr) {
  FT_Vector points[4];
  const int corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  for (int i = 0; i < 4; ++i) {
    // To FreeType's y-up space, then rotate counter-clockwise.
    const double x = corners[i][0], y = -corners[i][1];
    points[i].x = std::lround((x * cos - y * sin) * 64);
    points[i].y = std::lround((x * sin + y * cos) * 64);
  }
  char tags[4] = {FT_CURVE_TAG_ON, FT_CURVE_TAG_ON, FT_CURVE_TAG_ON, FT_CURVE_TAG_ON};
  short contours[1] = {3};
  FT_Outline outline;
  std::memset(&outline, 0, sizeof outline);
  outline.n_points = 4;
  outline.n_contours = 1;
  outline.points = points;
  outline.tags = tags;
  outline.contours = contours;
  return RenderOutline(outline, window, cut);
}

struct CacheEntry {
  win::LOGFONT lf;
  int testFont;
  std::shared_ptr<const Font> font;
};

std::list<CacheEntry>& Cache() {
  static std::list<CacheEntry> cache;
  return cache;
}

bool SameRequest(const win::LOGFONT& a, const win::LOGFONT& b) {
  return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
         a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic && a.lfUnderline == b.lfUnderline &&
         a.lfStrikeOut == b.lfStrikeOut && a.lfPitchAndFamily == b.lfPitchAndFamily &&
         win::FaceNameOf(a) == win::FaceNameOf(b);
}

}  // namespace

int TextMeasurer::TextWidth(std::string_view text) const {
  int width = 0;
  for (char c : text) width += CharWidth(static_cast<uint8_t>(c));
  return width;
}

void SetTestFont(bool on) { TestFontFlag() = on ? 1 : 0; }
bool TestFontOn() { return TestFontFlag() != 0; }

std::shared_ptr<const Font> Font::Create(const win::LOGFONT& lf) {
  auto& cache = Cache();
  const int testFont = TestFontFlag();
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->testFont == testFont && SameRequest(it->lf, lf)) {
      cache.splice(cache.begin(), cache, it);
      return cache.front().font;
    }
  }
  std::shared_ptr<Font> font(new Font());
  font->logFont_ = lf;
  const double angle = lf.lfEscapement / 10.0 * kPi / 180.0;
  if (lf.lfEscapement % 3600 != 0) {
    font->cos_ = std::cos(angle);
    font->sin_ = std::sin(angle);
  }
  if (testFont) {
    font->RealiseTestFont();
  } else {
    const FaceFile face = MatchFace(lf);
    if (face.path.empty()) throw std::runtime_error("fonts: no installed face for \"" + win::FaceNameOf(lf) + "\"");
    font->faceName_ = ReportedFaceName(lf, face);
    font->RealiseFace(face.path, face.index, face.italic, face.weight);
  }
  cache.push_front({lf, testFont, font});
  while (cache.size() > kCacheSize || (cache.size() > 1 && GlyphBytes() > kGlyphBudget)) cache.pop_back();
  return font;
}

Font::~Font() {
  GlyphBytes() -= glyphBytes_;
  if (face_) FT_Done_Face(face_);
}

FT_FaceRec_* Font::FreeTypeFace() const { return face_; }

void Font::RealiseTestFont() {
  const win::LOGFONT& lf = logFont_;
  int height;
  if (lf.lfHeight > 0) {
    height = std::min(lf.lfHeight, kMaxEm + kMaxEm / 4);
  } else {
    const int em = lf.lfHeight < 0 ? std::min(-static_cast<int64_t>(lf.lfHeight), int64_t{kMaxEm}) : kDefaultEm;
    height = em + em / 4;
  }
  const int bold = IsBoldRequest(lf) ? 1 : 0;
  const int width = (lf.lfWidth > 0 ? std::min(lf.lfWidth, kMaxEm) : height / 2) + bold;
  win::TEXTMETRIC& tm = metrics_;
  tm.tmHeight = height;
  tm.tmDescent = height / 5;
  tm.tmAscent = height - tm.tmDescent;
  tm.tmInternalLeading = height / 5;
  tm.tmExternalLeading = height / 10;
  tm.tmAveCharWidth = width;
  tm.tmMaxCharWidth = width;
  tm.tmWeight = bold ? win::FW_BOLD : win::FW_NORMAL;
  tm.tmPitchAndFamily = win::TMPF_VECTOR | win::TMPF_TRUETYPE | (lf.lfPitchAndFamily & 0xF0);
  em_ = height - tm.tmInternalLeading;
  widths_.fill(width);
  const int thickness = std::max(1, height / 20);
  underlineTop_ = tm.tmDescent / 2;
  strikeTop_ = -(tm.tmAscent / 2);
  underlineSize_ = strikeSize_ = thickness;
  const std::string requested = win::FaceNameOf(lf);
  faceName_ = requested.empty() ? "QMK Test" : requested;
  SetStyleFields(tm, lf, false);
}

void Font::RealiseFace(const std::string& path, int index, bool faceItalic, int faceWeight) {
  filePath_ = path;
  if (FT_New_Face(Library(), path.c_str(), index, &face_) != 0) {
    face_ = nullptr;
    throw std::runtime_error("fonts: cannot load " + path);
  }
  const win::LOGFONT& lf = logFont_;
  const FT_Face face = face_;
  const int upm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
  int winA = os2 ? os2->usWinAscent : 0, winD = os2 ? os2->usWinDescent : 0;
  if (winA + winD == 0) {
    winA = face->ascender;
    winD = -face->descender;
  }
  if (winA + winD <= 0) {
    winA = upm;
    winD = 0;
  }

  int64_t requestedEm = kDefaultEm;
  if (lf.lfHeight < 0) requestedEm = -static_cast<int64_t>(lf.lfHeight);
  else if (lf.lfHeight > 0) requestedEm = Scale(lf.lfHeight, upm, winA + winD);
  const int em = static_cast<int>(std::clamp<int64_t>(requestedEm, 1, kMaxEm));
  em_ = em;

  win::TEXTMETRIC& tm = metrics_;
  if (lf.lfHeight > 0 && em == requestedEm) {
    tm.tmAscent = Scale(winA, lf.lfHeight, winA + winD);
    tm.tmDescent = lf.lfHeight - tm.tmAscent;
  } else {
    tm.tmAscent = Scale(winA, em, upm);
    tm.tmDescent = Scale(winD, em, upm);
  }
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max(0, tm.tmHeight - em);
  if (hhea) {
    const int gap = hhea->Line_Gap - ((winA + winD) - (hhea->Ascender - hhea->Descender));
    tm.tmExternalLeading = Scale(std::max(0, gap), em, upm);
  }

  // The horizontal scale as a fraction sxNum / sxDen pixels per font unit.
  const int xAvg = WeightedAverageWidth(face);
  int64_t sxNum = em, sxDen = upm;
  if (lf.lfWidth > 0) {  // no wider than kMaxEm pixels per em either
    sxNum = std::clamp<int64_t>(lf.lfWidth, 1, std::max<int64_t>(1, int64_t{kMaxEm} * xAvg / upm));
    sxDen = xAvg;
  }
  emboldened_ = IsBoldRequest(lf) && faceWeight < win::FW_SEMIBOLD;
  slanted_ = lf.lfItalic && !faceItalic;
  const int bold = emboldened_ ? 1 : 0;

  for (int c = 0; c < 256; ++c) {
    glyphIds_[c] = FT_Get_Char_Index(face, UnicodeOf(static_cast<uint8_t>(c)));
    FT_Fixed advance = 0;
    FT_Get_Advance(face, glyphIds_[c], FT_LOAD_NO_SCALE, &advance);
    widths_[c] = Scale(advance, sxNum, sxDen) + bold;
  }
  tm.tmAveCharWidth = std::max(1, Scale(xAvg, sxNum, sxDen)) + bold;
  tm.tmMaxCharWidth = Scale(face->bbox.xMax - face->bbox.xMin, sxNum, sxDen) + bold;
  tm.tmWeight = emboldened_ ? win::FW_BOLD : (os2 && os2->usWeightClass > 0 && os2->usWeightClass <= 1000
                                                    ? os2->usWeightClass
                                                    : faceWeight);
  SetStyleFields(tm, lf, faceItalic);

  // Family: fixed pitch is modern; otherwise the IBM class of the OS/2 table,
  // then the PANOSE serif style.
  uint8_t family = win::FF_DONTCARE;
  const bool fixed = FT_IS_FIXED_WIDTH(face);
  if (fixed) {
    family = win::FF_MODERN;
  } else if (os2) {
    const int ibmClass = os2->sFamilyClass >> 8;
    if ((ibmClass >= 1 && ibmClass <= 5) || ibmClass == 7) family = win::FF_ROMAN;
    else if (ibmClass == 8) family = win::FF_SWISS;
    else if (ibmClass == 10) family = win::FF_SCRIPT;
    else if (ibmClass == 9 || ibmClass == 12) family = win::FF_DECORATIVE;
    else if (os2->panose[0] == 2) family = os2->panose[1] >= 11 && os2->panose[1] <= 13 ? win::FF_SWISS : win::FF_ROMAN;
  }
  tm.tmPitchAndFamily = static_cast<uint8_t>(family | win::TMPF_VECTOR | win::TMPF_TRUETYPE |
                                             (fixed ? 0 : win::TMPF_FIXED_PITCH));

  // The packaged faces store the underline's position one thickness above
  // its centre line.
  const int underlineThick = post && post->underlineThickness > 0 ? post->underlineThickness : upm / 20;
  const int underlineCentre = post ? post->underlinePosition - underlineThick : -upm / 10;
  underlineSize_ = std::max(1, Scale(underlineThick, em, upm));
  underlineTop_ = -Scale(underlineCentre, em, upm) - underlineSize_ / 2;
  const int strikePos = os2 ? os2->yStrikeoutPosition : winA / 3;
  const int strikeSize = os2 ? os2->yStrikeoutSize : upm / 20;
  strikeTop_ = -Scale(strikePos, em, upm);
  strikeSize_ = std::max(1, Scale(strikeSize, em, upm));

  charWidth_ = std::max<long>(std::lround(64.0 * sxNum * upm / sxDen), 1);
  SetFaceSize();
}

void Font::SetFaceSize() const {
  FT_Set_Char_Size(face_, charWidth_, static_cast<FT_F26Dot6>(em_) * 64, 72, 72);
  xScale_ = face_->size->metrics.x_scale;
  yScale_ = face_->size->metrics.y_scale;
}

CoverageMask Font::RenderGlyph(uint8_t c, const Rect* window, bool* cut) const {
  if (cut) *cut = false;
  if (!face_) {
    if (c == ' ' || c == 0xA0) return {};
    return RenderRect(0, -metrics_.tmAscent, widths_[c] - 1, 0, cos_, sin_, window, cut);
  }
  // A sink that draws with the same face may have sized it for itself.
  if (face_->size->metrics.x_scale != xScale_ || face_->size->metrics.y_scale != yScale_) SetFaceSize();
  if (FT_Load_Glyph(face_, glyphIds_[c], FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
      face_->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
    return {};
  FT_Outline& outline = face_->glyph->outline;
  if (emboldened_) FT_Outline_EmboldenXY(&outline, 64, 0);  // one pixel, as the width grows
  FT_Matrix matrix;
  // Slant for a synthetic italic, then the escapement's rotation.
  const double shear = slanted_ ? 0.2 : 0.0;
  matrix.xx = std::lround(cos_ * 65536);
  matrix.xy = std::lround((cos_ * shear - sin_) * 65536);
  matrix.yx = std::lround(sin_ * 65536);
  matrix.yy = std::lround((sin_ * shear + cos_) * 65536);
  FT_Outline_Transform(&outline, &matrix);
  return RenderOutline(outline, window, cut);
}

const CoverageMask& Font::Keep(uint8_t c, CoverageMask mask) const {
  auto& slot = glyphs_[c];
  slot = std::make_unique<CoverageMask>(std::move(mask));
  glyphBytes_ += slot->alpha.size();
  GlyphBytes() += slot->alpha.size();
  return *slot;
}

const CoverageMask& Font::Glyph(uint8_t c) const {
  return glyphs_[c] ? *glyphs_[c] : Keep(c, RenderGlyph(c, nullptr, nullptr));
}

const CoverageMask& Font::RunGlyph(uint8_t c, const Rect* window, TextRun& run) const {
  if (glyphs_[c]) return *glyphs_[c];
  bool cut = false;
  CoverageMask mask = RenderGlyph(c, window, &cut);
  if (!cut) return Keep(c, std::move(mask));
  run.cut.push_back(std::make_unique<CoverageMask>(std::move(mask)));
  return *run.cut.back();
}

void Font::AddBand(std::vector<CoverageMask>& lines, int length, int top, int size, const Rect* window) const {
  if (sin_ == 0.0 && cos_ == 1.0) {
    lines.push_back(RenderRect(0, top, length, top + size, cos_, sin_, window));
    return;
  }
  for (int start = 0; start < length; start += kBandPiece)
    lines.push_back(RenderRect(start, top, std::min(start + kBandPiece, length), top + size, cos_, sin_, window));
}

Point Font::Offset(int64_t along, int64_t down) const {
  if (sin_ == 0.0 && cos_ == 1.0) return Point{static_cast<int>(along), static_cast<int>(down)};
  return Point{static_cast<int>(std::lround(along * cos_ + down * sin_)),
               static_cast<int>(std::lround(-along * sin_ + down * cos_))};
}

TextRun Font::Layout(std::string_view text, const int* dx, const Rect* window) const {
  TextRun run;
  run.glyphs.reserve(text.size());
  int64_t pen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    const Point at = Offset(pen, 0);
    // The window as the glyph sees it, from its own anchor.
    const auto shift = [](int64_t v, int d) { return static_cast<int>(std::clamp<int64_t>(v - d, INT32_MIN, INT32_MAX)); };
    const Rect own = window ? Rect{shift(window->left, at.x), shift(window->top, at.y), shift(window->right, at.x),
                                   shift(window->bottom, at.y)}
                            : Rect{};
    const CoverageMask& mask = RunGlyph(c, window ? &own : nullptr, run);
    if (!mask.Empty()) run.glyphs.push_back({at, &mask});
    pen += dx ? dx[i] : widths_[c];
  }
  run.end = Offset(pen, 0);
  const int length = static_cast<int>(std::min<int64_t>(pen, kMaxLineLength));
  if (length > 0 && logFont_.lfUnderline) AddBand(run.lines, length, underlineTop_, underlineSize_, window);
  if (length > 0 && logFont_.lfStrikeOut) AddBand(run.lines, length, strikeTop_, strikeSize_, window);
  return run;
}

}  // namespace platform::fonts
