// Blits: every ROP3 code over pattern (the destination DC's brush), source
// and destination, with stretching and the monochrome/colour conversions.
//
// Each destination pixel takes its source from a box of source pixels: the
// one pixel under its centre when enlarging or in COLORONCOLOR mode, else
// the pixels it covers, merged by AND (BLACKONWHITE, which keeps black
// dots), OR (WHITEONBLACK) or their average (HALFTONE). The source value
// then goes through the colour conversion and, with the pattern and the
// destination pixel, through the ROP3 truth table.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi/dc.h"

namespace win {
namespace {

struct Box {
  int32_t first, last;  // source pixels first <= p < last; empty when none lies in the bitmap
};

// The source boxes of destination pixels first .. first + count - 1 of n
// that cover a source extent of m pixels from origin (in one direction; the
// caller handles mirroring). Only the pixels the caller can paint are asked
// for, so the cost follows the visible area, not the extents.
std::vector<Box> SourceBoxes(int64_t first, int64_t count, int64_t n, int64_t origin, int64_t m, bool merge,
                             int32_t limit) {
  std::vector<Box> boxes(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; ++k) {
    const int64_t i = first + k;
    int64_t a, b;
    if (merge && m > n) {
      a = i * m / n;
      b = std::max(a + 1, (i + 1) * m / n);
    } else {
      a = (2 * i + 1) * m / (2 * n);
      b = a + 1;
    }
    a = std::clamp<int64_t>(origin + a, 0, limit);
    b = std::clamp<int64_t>(origin + b, 0, limit);
    boxes[size_t(k)] = {int32_t(a), int32_t(std::max(a, b))};
  }
  return boxes;
}

// The source value of one destination pixel: the box's pixels in rows
// (the box's rows, first to last) merged as the stretch mode says.
uint32_t MergeBox(const uint32_t* const* rows, bool mono, const Box& bx, const Box& by, int mode) {
  if (bx.last - bx.first == 1 && by.last - by.first == 1) return rows[0][bx.first];
  uint32_t all = kWhite, any = kBlack;
  uint64_t r = 0, g = 0, b = 0, count = 0;
  for (int32_t y = 0; y < by.last - by.first; ++y) {
    for (int32_t x = bx.first; x < bx.last; ++x) {
      const uint32_t p = rows[y][x];
      all &= p;
      any |= p;
      r += (p >> 16) & 0xFF;
      g += (p >> 8) & 0xFF;
      b += p & 0xFF;
      ++count;
    }
  }
  switch (mode) {
    case WHITEONBLACK: return any;
    case HALFTONE: {
      const uint32_t avg = kBlack | uint32_t((r + count / 2) / count) << 16 | uint32_t((g + count / 2) / count) << 8 |
                           uint32_t((b + count / 2) / count);
      return mono ? ToMono(avg) : avg;
    }
    default: return all;
  }
}

// A bitmap's pixels as rows; they all exist already.
class BitmapRows final : public PixelRows {
 public:
  explicit BitmapRows(const Bitmap& bitmap) : bitmap_(bitmap) {}
  int32_t Width() const override { return bitmap_.Width(); }
  int32_t Height() const override { return bitmap_.Height(); }
  bool Mono() const override { return bitmap_.Mono(); }
  void Prepare(int32_t, int32_t) override {}
  const uint32_t* Row(int32_t y) const override { return bitmap_.Row(y); }

 private:
  const Bitmap& bitmap_;
};

}  // namespace

void StretchPixels(Dc& dst, const RECT& dstRect, const Bitmap* src, const RECT& srcRect, SourceColors colors,
                   uint32_t sourceBack, DWORD rop) {
  if (!src) return StretchPixels(dst, dstRect, static_cast<PixelRows*>(nullptr), srcRect, colors, sourceBack, rop);
  BitmapRows rows(*src);
  StretchPixels(dst, dstRect, &rows, srcRect, colors, sourceBack, rop);
}

void StretchPixels(Dc& dst, const RECT& dstRect, PixelRows* src, const RECT& srcRect, SourceColors colors,
                   uint32_t sourceBack, DWORD rop) {
  const int64_t dw = int64_t(dstRect.right) - dstRect.left, dh = int64_t(dstRect.bottom) - dstRect.top;
  const int64_t sw = int64_t(srcRect.right) - srcRect.left, sh = int64_t(srcRect.bottom) - srcRect.top;
  if (dw == 0 || dh == 0 || (src && (sw == 0 || sh == 0))) return;
  const bool flipX = src && ((dw < 0) != (sw < 0)), flipY = src && ((dh < 0) != (sh < 0));
  const RECT area{std::min(dstRect.left, dstRect.right), std::min(dstRect.top, dstRect.bottom),
                  std::max(dstRect.left, dstRect.right), std::max(dstRect.top, dstRect.bottom)};
  const Region target = Region::Combined(Region(area), dst.Visible(), RGN_AND);
  if (target.Empty()) return;

  const int mode = dst.Current().stretchMode;
  const int64_t width = std::abs(dw), height = std::abs(dh);
  // Destination pixel x has index x - area.left from the left edge, or from
  // the right edge when mirrored; boxes are kept for the painted pixels only.
  const RECT painted = target.Box();
  const auto index = [](int64_t offset, int64_t size, bool flip) { return flip ? size - 1 - offset : offset; };
  const int64_t firstCol = std::min(index(int64_t(painted.left) - area.left, width, flipX),
                                    index(int64_t(painted.right) - 1 - area.left, width, flipX));
  const int64_t firstRow = std::min(index(int64_t(painted.top) - area.top, height, flipY),
                                    index(int64_t(painted.bottom) - 1 - area.top, height, flipY));
  std::vector<Box> cols, rows;
  if (src) {
    const bool merge = mode != COLORONCOLOR;
    cols = SourceBoxes(firstCol, int64_t(painted.right) - painted.left, width, std::min(srcRect.left, srcRect.right),
                       std::abs(sw), merge, src->Width());
    rows = SourceBoxes(firstRow, int64_t(painted.bottom) - painted.top, height,
                       std::min(srcRect.top, srcRect.bottom), std::abs(sh), merge, src->Height());
  }

  Bitmap& surface = dst.Surface();
  const Dc::Ink pattern = dst.BrushInk(dst.Current().brush);
  const bool usesPattern = RopUsesPattern(rop);
  const uint8_t table = Rop3Table(rop);
  const uint32_t textPixel = ToPixel(dst.Current().textColor), backPixel = ToPixel(dst.Current().bkColor);
  const bool plainCopy = src && table == Rop3Table(SRCCOPY) && colors == SourceColors::kSame;
  const bool mono = src && src->Mono();
  std::vector<const uint32_t*> sourceRows;  // the rows of the current row's box

  for (const Region::Band& band : target.Bands()) {
    for (int32_t y = band.top; y < band.bottom; ++y) {
      uint32_t* row = surface.Row(y);
      const Box* by = src ? &rows[size_t(index(int64_t(y) - area.top, height, flipY) - firstRow)] : nullptr;
      if (by && by->first == by->last) continue;
      if (by) {
        src->Prepare(by->first, by->last);
        sourceRows.clear();
        for (int32_t r = by->first; r < by->last; ++r) sourceRows.push_back(src->Row(r));
      }
      for (const Region::Span& span : band.spans) {
        for (int32_t x = span.left; x < span.right; ++x) {
          uint32_t s = 0;
          if (src) {
            const Box& bx = cols[size_t(index(int64_t(x) - area.left, width, flipX) - firstCol)];
            if (bx.first == bx.last) continue;
            s = MergeBox(sourceRows.data(), mono, bx, *by, mode);
            switch (colors) {
              case SourceColors::kMonoToColor: s = s == kWhite ? backPixel : textPixel; break;
              case SourceColors::kColorToMono: s = ((s ^ sourceBack) & 0xFFFFFF) == 0 ? kWhite : kBlack; break;
              case SourceColors::kNearestMono: s = ToMono(s); break;
              case SourceColors::kSame: break;
            }
            if (plainCopy) {
              row[x] = surface.Fit(s);
              continue;
            }
          }
          uint32_t p = backPixel;
          if (usesPattern && !pattern.At(x, y, p)) p = backPixel;
          row[x] = surface.Fit(ApplyRop3(table, surface.Fit(p), s, row[x]));
        }
      }
    }
  }
}

bool Dc::PatBlt(int x, int y, int width, int height, DWORD rop) {
  if (RopUsesSource(rop)) return false;
  if (out_) {
    out_->PatBlt(*this, x, y, width, height, rop);
    return true;
  }
  const POINT a = ToDevice(POINT{x, y});
  const POINT b = ToDevice(POINT{Clamp32(int64_t(x) + width), Clamp32(int64_t(y) + height)});
  StretchPixels(*this, RECT{a.x, a.y, b.x, b.y}, static_cast<PixelRows*>(nullptr), RECT{}, SourceColors::kSame, 0, rop);
  return true;
}

namespace {

// A blit onto an output: the source rectangle's pixels become a top-down
// 32-bit DIB, a monochrome source's bits already in the destination's text
// and background colours (as a blit would turn them).
bool OutputBlt(Dc& dst, int x, int y, int width, int height, const Dc& src, int xSrc, int ySrc, int widthSrc,
               int heightSrc, DWORD rop) {
  const RECT s = src.ToDevice(
      RECT{xSrc, ySrc, Clamp32(int64_t(xSrc) + widthSrc), Clamp32(int64_t(ySrc) + heightSrc)});
  const Bitmap& bits = src.Surface();
  const RECT in{std::max(s.left, 0), std::max(s.top, 0), std::min(s.right, bits.Width()),
                std::min(s.bottom, bits.Height())};
  if (in.right <= in.left || in.bottom <= in.top) return true;
  const int32_t w = in.right - in.left, h = in.bottom - in.top;
  std::vector<uint8_t> info(40, 0), pixels(size_t(w) * size_t(h) * 4);
  const auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) info[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, uint32_t(w));
  put32(8, uint32_t(-h));
  info[12] = 1;
  info[14] = 32;
  const uint32_t fore = ToPixel(dst.Current().textColor), back = ToPixel(dst.Current().bkColor);
  for (int32_t row = 0; row < h; ++row) {
    for (int32_t col = 0; col < w; ++col) {
      uint32_t p = bits.Get(in.left + col, in.top + row);
      if (bits.Mono()) p = p == kBlack ? fore : back;
      std::memcpy(&pixels[(size_t(row) * size_t(w) + size_t(col)) * 4], &p, 4);
    }
  }
  // The destination takes the part of its rectangle the clipped source covers.
  const auto part = [](int32_t d0, int32_t d1, int32_t s0, int32_t s1, int32_t c0, int32_t c1) {
    const int64_t span = int64_t(s1) - s0;
    return std::pair{Clamp32(d0 + (int64_t(c0) - s0) * (int64_t(d1) - d0) / span),
                     Clamp32(d0 + (int64_t(c1) - s0) * (int64_t(d1) - d0) / span)};
  };
  const auto [l, r] = part(x, Clamp32(int64_t(x) + width), s.left, s.right, in.left, in.right);
  const auto [t, b] = part(y, Clamp32(int64_t(y) + height), s.top, s.bottom, in.top, in.bottom);
  dst.Output()->Dib(dst, RECT{l, t, r, b}, RECT{0, 0, w, h}, info, pixels, DIB_RGB_COLORS, rop);
  return true;
}

}  // namespace

bool StretchBlt(Dc& dst, int x, int y, int width, int height, const Dc* src, int xSrc, int ySrc, int widthSrc,
                int heightSrc, DWORD rop) {
  if (!RopUsesSource(rop)) return dst.PatBlt(x, y, width, height, rop);
  if (!src) return false;
  if (dst.Output()) return OutputBlt(dst, x, y, width, height, *src, xSrc, ySrc, widthSrc, heightSrc, rop);
  const POINT a = dst.ToDevice(POINT{x, y});
  const POINT b = dst.ToDevice(POINT{Clamp32(int64_t(x) + width), Clamp32(int64_t(y) + height)});
  const POINT sa = src->ToDevice(POINT{xSrc, ySrc});
  const POINT sb = src->ToDevice(POINT{Clamp32(int64_t(xSrc) + widthSrc), Clamp32(int64_t(ySrc) + heightSrc)});
  const Bitmap& bits = src->Surface();
  SourceColors colors = SourceColors::kSame;
  if (bits.Mono() && !dst.Surface().Mono())
    colors = SourceColors::kMonoToColor;
  else if (!bits.Mono() && dst.Surface().Mono())
    colors = SourceColors::kColorToMono;
  // A DC that blits onto itself reads the pixels as they were before the call.
  std::shared_ptr<Bitmap> copy;
  const Bitmap* from = &bits;
  if (&bits == &dst.Surface()) {
    copy = std::make_shared<Bitmap>(bits);
    from = copy.get();
  }
  StretchPixels(dst, RECT{a.x, a.y, b.x, b.y}, from, RECT{sa.x, sa.y, sb.x, sb.y}, colors,
                ToPixel(src->Current().bkColor), rop);
  return true;
}

bool BitBlt(Dc& dst, int x, int y, int width, int height, const Dc* src, int xSrc, int ySrc, DWORD rop) {
  return StretchBlt(dst, x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

}  // namespace win
