// Text on a device context: the selected font, text alignment, metrics and
// extents in logical units, TextOut, ExtTextOut and DrawText.
//
// Every call realises the selected LOGFONT for the device (fonts are cached
// by the fonts module, so this is a look-up), works in device pixels and
// converts its answers back to logical units. Glyphs and underline or
// strike-out bands are coverage masks; PaintMask is the only code that puts
// text pixels on the surface, and it touches only pixels of the clip region
// it is given, which never reaches outside Visible().
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/fonts/drawtext.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/wmf/records.h"

namespace win {

namespace fonts = platform::fonts;

namespace {

// x / 255 rounded, for each 16-bit lane of x (each lane at most 255 * 255).
constexpr uint32_t DivideLanes255(uint32_t x) {
  x += 0x00800080u;
  return ((x + ((x >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// ink over pixel d with coverage a (0 .. 255), each channel rounded.
constexpr uint32_t Blend(uint32_t ink, uint32_t d, uint32_t a) {
  const uint32_t keep = 255 - a;
  const uint32_t rb = DivideLanes255((ink & 0x00FF00FFu) * a + (d & 0x00FF00FFu) * keep);
  const uint32_t g = DivideLanes255(((ink >> 8) & 0xFFu) * a + ((d >> 8) & 0xFFu) * keep);
  return kBlack | rb | (g << 8);
}
static_assert(Blend(0xFF0000FFu, 0xFFFFFFFFu, 128) == 0xFF7F7FFFu);
static_assert(Blend(0xFF102030u, 0xFFF0E0D0u, 255) == 0xFF102030u);
static_assert(Blend(0xFF102030u, 0xFFF0E0D0u, 0) == 0xFFF0E0D0u);

}  // namespace

LOGFONT SystemFont() {
  LOGFONT lf;
  lf.lfHeight = 16;
  lf.lfWeight = FW_BOLD;
  SetFaceName(lf, "System");
  return lf;
}

LOGFONT Dc::SelectFont(const LOGFONT& font) {
  if (out_) out_->FontSelected(font);
  LOGFONT old = s_.font;
  s_.font = font;
  return old;
}

std::shared_ptr<const fonts::Font> Dc::DeviceFont() const {
  LOGFONT lf = s_.font;
  // A size that was asked for stays at least one pixel.
  const auto scale = [](int32_t v, int32_t scaled) { return v != 0 && scaled == 0 ? (v < 0 ? -1 : 1) : scaled; };
  lf.lfHeight = scale(lf.lfHeight, DeviceLengthY(lf.lfHeight));
  lf.lfWidth = scale(lf.lfWidth, std::abs(DeviceLengthX(lf.lfWidth)));
  return fonts::Font::Create(lf);
}

UINT Dc::SetTextAlign(UINT align) {
  const UINT old = s_.textAlign;
  s_.textAlign = align & TA_MASK;
  if (out_) out_->State(wmf::kSetTextAlign, {int32_t(s_.textAlign)});
  return old;
}

bool Dc::GetTextMetrics(TEXTMETRIC* metrics) const {
  if (!metrics) return false;
  const auto font = DeviceFont();
  TEXTMETRIC tm = font->Metrics();
  const auto y = [&](int32_t& v) { v = std::abs(LogicalLengthY(v)); };
  const auto x = [&](int32_t& v) { v = std::abs(LogicalLengthX(v)); };
  y(tm.tmHeight), y(tm.tmAscent), y(tm.tmDescent), y(tm.tmInternalLeading), y(tm.tmExternalLeading);
  x(tm.tmAveCharWidth), x(tm.tmMaxCharWidth), x(tm.tmOverhang);
  *metrics = tm;
  return true;
}

std::string Dc::GetTextFace() const { return DeviceFont()->FaceName(); }

bool Dc::GetTextExtentPoint32(std::string_view text, SIZE* size) const {
  if (!size) return false;
  const auto font = DeviceFont();
  const fonts::Point extent = font->TextExtent(text);
  *size = SIZE{std::abs(LogicalLengthX(extent.x)), std::abs(LogicalLengthY(extent.y))};
  return true;
}

Region Dc::TextClip(const RECT* deviceRect) const {
  Region clip = Visible();
  if (deviceRect) clip.Combine(clip, Region(*deviceRect), RGN_AND);
  return clip;
}

void Dc::PaintMask(const fonts::CoverageMask& mask, POINT anchor, const Region& clip) {
  if (mask.Empty()) return;
  Bitmap& surface = Surface();
  const int64_t x0 = int64_t(anchor.x) + mask.left, y0 = int64_t(anchor.y) + mask.top;
  const int64_t x1 = x0 + mask.width, y1 = y0 + mask.height;
  const uint32_t ink = ToPixel(s_.textColor);
  const uint32_t monoInk = surface.Fit(ink);
  for (const Region::Band& band : clip.Bands()) {
    const int64_t top = std::max<int64_t>(band.top, y0), bottom = std::min<int64_t>(band.bottom, y1);
    if (top >= bottom) continue;
    for (int64_t y = top; y < bottom; ++y) {
      uint32_t* row = surface.Row(int32_t(y));
      const uint8_t* alpha = mask.alpha.data() + size_t(y - y0) * size_t(mask.width);
      for (const Region::Span& s : band.spans) {
        const int64_t left = std::max<int64_t>(s.left, x0), right = std::min<int64_t>(s.right, x1);
        for (int64_t x = left; x < right; ++x) {
          const uint32_t a = alpha[x - x0];
          if (a == 0) continue;
          if (surface.Mono()) {
            if (a >= 128) row[x] = monoInk;
            continue;
          }
          if (a == 255) {
            row[x] = ink;
            continue;
          }
          row[x] = Blend(ink, row[x], a);
        }
      }
    }
  }
}

void Dc::PaintText(const fonts::Font& font, POINT ref, std::string_view text, const int* dx, const Region& clip) {
  if (clip.Empty()) return;
  // Where pixels can show, from the reference point: a huge font renders no
  // more of its glyphs than that.
  const RECT box = clip.Box();
  const fonts::Rect window{Clamp32(int64_t(box.left) - ref.x), Clamp32(int64_t(box.top) - ref.y),
                           Clamp32(int64_t(box.right) - ref.x), Clamp32(int64_t(box.bottom) - ref.y)};
  const fonts::TextRun run = font.Layout(text, dx, &window);
  int64_t advance = 0;
  if (dx) {
    for (size_t i = 0; i < text.size(); ++i) advance += dx[i];
  } else {
    advance = font.TextWidth(text);
  }
  if (s_.bkMode == OPAQUE && advance > 0) {
    // The cell's corners, turned with the text: from the top of the ascent
    // to the bottom of the descent along the whole advance.
    const TEXTMETRIC& tm = font.Metrics();
    const auto corner = [&](int64_t along, int64_t down) {
      const fonts::Point p = font.Offset(along, down);
      return POINT{Clamp32(int64_t(ref.x) + p.x), Clamp32(int64_t(ref.y) + p.y)};
    };
    const int64_t length = std::min<int64_t>(advance, INT32_MAX);
    const POINT cell[4] = {corner(0, -tm.tmAscent), corner(length, -tm.tmAscent), corner(length, tm.tmDescent),
                           corner(0, tm.tmDescent)};
    Ink back;
    back.kind = Ink::kSolid;
    back.fore = ToPixel(s_.bkColor);
    PaintRegion(Region::Combined(PolygonRegion(cell, ALTERNATE), clip, RGN_AND), back, R2_COPYPEN);
  }
  for (const fonts::PlacedMask& glyph : run.glyphs) {
    PaintMask(*glyph.mask, POINT{Clamp32(int64_t(ref.x) + glyph.anchor.x), Clamp32(int64_t(ref.y) + glyph.anchor.y)},
              clip);
  }
  for (const fonts::CoverageMask& line : run.lines) PaintMask(line, ref, clip);
}

bool Dc::TextOut(int x, int y, std::string_view text) { return ExtTextOut(x, y, 0, nullptr, text, nullptr); }

Dc::TextPlacement Dc::PlaceText(int x, int y, std::string_view text, const int* dx) const {
  TextPlacement t;
  t.font = DeviceFont();
  const TEXTMETRIC& tm = t.font->Metrics();
  const bool updateCp = (s_.textAlign & TA_UPDATECP) != 0;
  const POINT start = updateCp ? s_.pos : POINT{x, y};

  // Spacing: the logical positions of the characters, converted as a whole
  // so that rounding does not add up along the text.
  if (dx) {
    t.advances.resize(text.size());
    int64_t sum = 0;
    int32_t previous = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      sum += dx[i];
      const int32_t at = DeviceLengthX(sum);
      t.advances[i] = at - previous;
      previous = at;
    }
    for (const int d : t.advances) t.width += d;
  } else {
    t.width = t.font->TextWidth(text);
  }

  int64_t along = 0, down = 0;
  switch (s_.textAlign & TA_CENTER) {
    case TA_RIGHT: along = -t.width; break;
    case TA_CENTER: along = -t.width / 2; break;
    default: break;
  }
  switch (s_.textAlign & TA_BASELINE) {
    case TA_BASELINE: break;
    case TA_BOTTOM: down = -tm.tmDescent; break;
    default: down = tm.tmAscent; break;
  }
  t.origin = ToDevice(start);
  const fonts::Point shift = t.font->Offset(along, down);
  t.ref = POINT{Clamp32(int64_t(t.origin.x) + shift.x), Clamp32(int64_t(t.origin.y) + shift.y)};
  return t;
}

bool Dc::ExtTextOut(int x, int y, UINT options, const RECT* rect, std::string_view text, const int* dx) {
  if (out_) {
    out_->Text(*this, x, y, options, rect, text, dx);
    // Only the current position still needs the placement below.
    if (!(s_.textAlign & TA_UPDATECP)) return true;
  }
  const bool updateCp = (s_.textAlign & TA_UPDATECP) != 0;
  const TextPlacement t = PlaceText(x, y, text, dx);

  std::optional<RECT> box;
  if (rect) box = ToDevice(*rect);
  if (box && (options & ETO_OPAQUE) && !out_) {
    Ink back;
    back.kind = Ink::kSolid;
    back.fore = ToPixel(s_.bkColor);
    PaintRegion(Region(*box), back, R2_COPYPEN);
  }
  const Region clip = TextClip(box && (options & ETO_CLIPPED) ? &*box : nullptr);
  if (!text.empty() && !out_) PaintText(*t.font, t.ref, text, dx ? t.advances.data() : nullptr, clip);

  if (updateCp) {
    // Left-aligned text leaves the position after it, right-aligned text
    // before it; centred text leaves it where it was.
    const UINT h = s_.textAlign & TA_CENTER;
    if (h != TA_CENTER) {
      const fonts::Point step = t.font->Offset(h == TA_RIGHT ? -t.width : t.width, 0);
      POINT p{Clamp32(int64_t(t.origin.x) + step.x), Clamp32(int64_t(t.origin.y) + step.y)};
      DPtoLP(std::span<POINT>(&p, 1));
      s_.pos = p;
    }
  }
  return true;
}

int Dc::DrawText(std::string_view text, RECT* rect, UINT format) {
  if (!rect) return 0;
  const auto font = DeviceFont();
  const RECT box = ToDevice(*rect);
  const fonts::DrawTextLayout layout =
      fonts::LayoutDrawText(*font, text, fonts::Rect{box.left, box.top, box.right, box.bottom}, format);
  const int height = std::abs(LogicalLengthY(layout.height));
  if (format & DT_CALCRECT) {
    POINT corner{layout.rect.right, layout.rect.bottom};
    DPtoLP(std::span<POINT>(&corner, 1));
    rect->right = corner.x;
    rect->bottom = corner.y;
    return height;
  }
  const RECT clipBox{layout.rect.left, layout.rect.top, layout.rect.right, layout.rect.bottom};
  if (out_) {
    OutputDrawText(layout, layout.clip ? &clipBox : nullptr);
    return height;
  }
  const Region clip = TextClip(layout.clip ? &clipBox : nullptr);
  const int ascent = font->Metrics().tmAscent;
  for (const fonts::DrawTextRun& run : layout.runs) {
    PaintText(*font, POINT{run.origin.x, Clamp32(int64_t(run.origin.y) + ascent)}, run.text, nullptr, clip);
  }
  Ink ink;
  ink.kind = Ink::kSolid;
  ink.fore = ToPixel(s_.textColor);
  for (const fonts::Rect& u : layout.underlines) {
    PaintRegion(Region::Combined(Region(RECT{u.left, u.top, u.right, u.bottom}), clip, RGN_AND), ink, R2_COPYPEN);
  }
  return height;
}

void Dc::OutputDrawText(const fonts::DrawTextLayout& layout, const RECT* deviceClip) {
  // The lines go out as ExtTextOut calls from their top left corner, and
  // the prefix underlines as fills, all within a saved state.
  const auto logical = [&](RECT r) {
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    DPtoLP(corners);
    return RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  };
  std::optional<RECT> clip;
  if (deviceClip) clip = logical(*deviceClip);
  SaveDC();
  SetTextAlign(TA_TOP | TA_LEFT | TA_NOUPDATECP);
  for (const fonts::DrawTextRun& run : layout.runs) {
    POINT at{run.origin.x, run.origin.y};
    DPtoLP(std::span<POINT>(&at, 1));
    ExtTextOut(at.x, at.y, clip ? ETO_CLIPPED : 0, clip ? &*clip : nullptr, run.text);
  }
  if (!layout.underlines.empty()) {
    if (clip) IntersectClipRect(clip->left, clip->top, clip->right, clip->bottom);
    const Brush ink = CreateSolidBrush(s_.textColor);
    for (const fonts::Rect& u : layout.underlines) FillRect(logical(RECT{u.left, u.top, u.right, u.bottom}), ink);
  }
  RestoreDC(-1);
}

}  // namespace win
