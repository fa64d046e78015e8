#include "platform/gdi/dib.h"

#include <algorithm>
#include <cstdlib>

namespace win {
namespace {

// Offsets of the 40-byte info header.
constexpr size_t kSize = 0, kWidth = 4, kHeight = 8, kPlanes = 12, kBitCount = 14, kCompression = 16,
                 kSizeImage = 20, kClrUsed = 32;

uint32_t Get32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Get16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
void Put32(std::span<uint8_t> b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void Put16(std::span<uint8_t> b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

size_t Stride(int64_t width, int bitCount) { return size_t((width * bitCount + 31) / 32 * 4); }

// A channel under mask, scaled to 0..255.
uint32_t Channel(uint32_t value, uint32_t mask) {
  if (!mask) return 0;
  const int shift = __builtin_ctz(mask);
  const uint64_t max = mask >> shift;
  return uint32_t(((value & mask) >> shift) * 255 / max);
}

uint32_t Entry(const std::vector<uint32_t>& colors, uint32_t index) {
  return index < colors.size() ? colors[index] : kBlack;
}

}  // namespace

std::optional<DibFormat> ParseDibInfo(std::span<const uint8_t> info, UINT usage, const Palette* palette) {
  if (info.size() < kBitmapInfoHeaderSize) return std::nullopt;
  const uint32_t headerSize = Get32(info, kSize);
  if (headerSize < kBitmapInfoHeaderSize || headerSize > info.size()) return std::nullopt;
  const int32_t width = int32_t(Get32(info, kWidth)), height = int32_t(Get32(info, kHeight));
  const int bitCount = Get16(info, kBitCount);
  const uint32_t compression = Get32(info, kCompression);
  if (width <= 0 || height == 0 || height == INT32_MIN || Get16(info, kPlanes) != 1) return std::nullopt;
  if (int64_t(width) * std::abs(int64_t(height)) > Bitmap::kMaxPixels) return std::nullopt;
  switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return std::nullopt;
  }
  const bool bitfields = compression == BI_BITFIELDS;
  if (compression != BI_RGB && !(bitfields && (bitCount == 16 || bitCount == 32))) return std::nullopt;

  DibFormat f;
  f.width = width;
  f.height = std::abs(height);
  f.topDown = height < 0;
  f.bitCount = bitCount;
  f.stride = Stride(width, bitCount);
  if (bitfields) {
    const size_t at = headerSize >= kBitmapInfoHeaderSize + 12 ? kBitmapInfoHeaderSize : headerSize;
    if (info.size() < at + 12) return std::nullopt;
    for (int i = 0; i < 3; ++i) f.masks[i] = Get32(info, at + 4 * size_t(i));
  } else if (bitCount == 16) {
    f.masks[0] = 0x7C00, f.masks[1] = 0x03E0, f.masks[2] = 0x001F;
  } else if (bitCount == 32) {
    f.masks[0] = 0xFF0000, f.masks[1] = 0xFF00, f.masks[2] = 0xFF;
  }
  if (bitCount <= 8) {
    const uint32_t all = 1u << bitCount, used = Get32(info, kClrUsed);
    const size_t count = used && used < all ? used : all;
    const size_t entrySize = usage == DIB_PAL_COLORS ? 2 : 4;
    if ((info.size() - headerSize) / entrySize < count) return std::nullopt;
    f.colors.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const size_t at = headerSize + i * entrySize;
      if (usage == DIB_PAL_COLORS) {
        const uint16_t index = Get16(info, at);
        f.colors[i] = palette && index < palette->entries.size() ? ToPixel(palette->entries[index]) : kBlack;
      } else {
        f.colors[i] = kBlack | Get32(info, at);
      }
    }
  }
  return f;
}

namespace {

// One stored row of a DIB as 32-bit pixels.
void DecodeDibRow(const DibFormat& f, const uint8_t* in, uint32_t* row) {
  for (int32_t x = 0; x < f.width; ++x) {
    switch (f.bitCount) {
      case 1: row[x] = Entry(f.colors, (in[x >> 3] >> (7 - (x & 7))) & 1); break;
      case 4: row[x] = Entry(f.colors, (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
      case 8: row[x] = Entry(f.colors, in[x]); break;
      case 24: row[x] = kBlack | uint32_t(in[3 * x + 2]) << 16 | uint32_t(in[3 * x + 1]) << 8 | in[3 * x]; break;
      default: {
        const std::span<const uint8_t> pixel(in + size_t(x) * size_t(f.bitCount / 8), size_t(f.bitCount / 8));
        const uint32_t v = f.bitCount == 16 ? Get16(pixel, 0) : Get32(pixel, 0);
        row[x] = kBlack | Channel(v, f.masks[0]) << 16 | Channel(v, f.masks[1]) << 8 | Channel(v, f.masks[2]);
      }
    }
  }
}

// The rows of a whole DIB, each decoded only when the blit engine is about
// to read it; only the rows of one source box are held at a time.
class DibRows final : public PixelRows {
 public:
  DibRows(const DibFormat& f, std::span<const uint8_t> bits) : f_(f), bits_(bits) {}
  int32_t Width() const override { return f_.width; }
  int32_t Height() const override { return f_.height; }
  bool Mono() const override { return false; }
  void Prepare(int32_t first, int32_t last) override {
    if (first == first_ && last == last_) return;
    first_ = first, last_ = last;
    pixels_.resize(size_t(last - first) * size_t(f_.width));
    for (int32_t y = first; y < last; ++y) {
      const int32_t stored = f_.topDown ? y : f_.height - 1 - y;
      DecodeDibRow(f_, bits_.data() + size_t(stored) * f_.stride, pixels_.data() + size_t(y - first) * size_t(f_.width));
    }
  }
  const uint32_t* Row(int32_t y) const override { return pixels_.data() + size_t(y - first_) * size_t(f_.width); }

 private:
  const DibFormat& f_;
  std::span<const uint8_t> bits_;
  int32_t first_ = 0, last_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace

std::shared_ptr<Bitmap> DecodeDibRows(const DibFormat& f, std::span<const uint8_t> bits, int32_t lines) {
  if (lines < 1 || bits.size() / f.stride < size_t(lines)) return nullptr;
  auto out = Bitmap::Create(f.width, lines, 32);
  if (!out) return nullptr;
  for (int32_t r = 0; r < lines; ++r)
    DecodeDibRow(f, bits.data() + size_t(r) * f.stride, out->Row(f.topDown ? r : lines - 1 - r));
  return out;
}

namespace {

SourceColors DibColors(const Dc& dc) {
  return dc.Surface().Mono() ? SourceColors::kNearestMono : SourceColors::kSame;
}

}  // namespace

int StretchDIBits(Dc& dc, int xDst, int yDst, int widthDst, int heightDst, int xSrc, int ySrc, int widthSrc,
                  int heightSrc, std::span<const uint8_t> bits, std::span<const uint8_t> info, UINT usage,
                  DWORD rop) {
  const auto format = ParseDibInfo(info, usage, dc.Current().palette.get());
  if (!format) return 0;
  if (dc.Output()) {
    dc.Output()->Dib(dc, RECT{xDst, yDst, Clamp32(int64_t(xDst) + widthDst), Clamp32(int64_t(yDst) + heightDst)},
                     RECT{xSrc, ySrc, Clamp32(int64_t(xSrc) + widthSrc), Clamp32(int64_t(ySrc) + heightSrc)}, info,
                     bits, usage, rop);
    return format->height;
  }
  // The rows are decoded as the blit reads them, never the whole picture.
  if (bits.size() / format->stride < size_t(format->height)) return 0;
  DibRows picture(*format, bits);
  const int64_t h = format->height;
  const RECT src = format->topDown
                       ? RECT{xSrc, ySrc, Clamp32(int64_t(xSrc) + widthSrc), Clamp32(int64_t(ySrc) + heightSrc)}
                       : RECT{xSrc, Clamp32(h - ySrc - heightSrc), Clamp32(int64_t(xSrc) + widthSrc),
                              Clamp32(h - ySrc)};
  const POINT a = dc.ToDevice(POINT{xDst, yDst});
  const POINT b = dc.ToDevice(POINT{Clamp32(int64_t(xDst) + widthDst), Clamp32(int64_t(yDst) + heightDst)});
  StretchPixels(dc, RECT{a.x, a.y, b.x, b.y}, &picture, src, DibColors(dc), 0, rop);
  return format->height;
}

int SetDIBitsToDevice(Dc& dc, int xDst, int yDst, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, std::span<const uint8_t> bits, std::span<const uint8_t> info,
                      UINT usage) {
  const auto format = ParseDibInfo(info, usage, dc.Current().palette.get());
  if (!format || startScan >= UINT(format->height) || lines == 0) return 0;
  if (dc.Output()) {
    // On an output the whole picture goes at once, as a DIB stretched to
    // the device extent's logical size (source rows count as StretchDIBits
    // counts them); bands are refused.
    if (startScan != 0 || lines < UINT(format->height)) return 0;
    POINT corners[2] = {dc.ToDevice(POINT{xDst, yDst}), {}};
    corners[1] = {Clamp32(int64_t(corners[0].x) + std::min<int64_t>(width, INT32_MAX)),
                  Clamp32(int64_t(corners[0].y) + std::min<int64_t>(height, INT32_MAX))};
    dc.DPtoLP(corners);
    const int32_t h = int32_t(std::min<int64_t>(height, INT32_MAX)), w = int32_t(std::min<int64_t>(width, INT32_MAX));
    dc.Output()->Dib(dc, RECT{xDst, yDst, corners[1].x, corners[1].y},
                     RECT{xSrc, ySrc, Clamp32(int64_t(xSrc) + w), Clamp32(int64_t(ySrc) + h)}, info,
                     bits, usage, SRCCOPY);
    return format->height;
  }
  const int32_t count = int32_t(std::min<int64_t>(lines, int64_t(format->height) - startScan));
  const auto band = DecodeDibRows(*format, bits, count);
  if (!band) return 0;
  // The band's top row is scan line startScan + count - 1 (bottom-up) or
  // startScan (top-down); source rows are counted the same way.
  const int64_t w = std::min<int64_t>(width, INT32_MAX), hgt = std::min<int64_t>(height, INT32_MAX);
  const int64_t top = format->topDown ? int64_t(ySrc) - startScan : int64_t(startScan) + count - (ySrc + hgt);
  const RECT src{xSrc, Clamp32(top), Clamp32(xSrc + w), Clamp32(top + hgt)};
  const POINT a = dc.ToDevice(POINT{xDst, yDst});
  const RECT dst{a.x, a.y, Clamp32(a.x + w), Clamp32(a.y + hgt)};
  StretchPixels(dc, dst, band.get(), src, DibColors(dc), 0, SRCCOPY);
  return count;
}

std::shared_ptr<Bitmap> CreateDIBitmap(const Dc& dc, std::span<const uint8_t> info, DWORD init,
                                       std::span<const uint8_t> bits, UINT usage) {
  const auto format = ParseDibInfo(info, usage, dc.Current().palette.get());
  if (!format) return nullptr;
  if (!(init & CBM_INIT)) return CreateCompatibleBitmap(dc, format->width, format->height);
  // Decoding first checks that the bits are there before a bitmap of the
  // header's size is made.
  const auto picture = DecodeDibRows(*format, bits, format->height);
  if (!picture) return nullptr;
  if (!dc.Surface().Mono()) return picture;
  auto bitmap = CreateCompatibleBitmap(dc, format->width, format->height);
  for (int32_t y = 0; y < bitmap->Height(); ++y)
    for (int32_t x = 0; x < bitmap->Width(); ++x) bitmap->Set(x, y, picture->Get(x, y));
  return bitmap;
}

int GetDIBits(const Bitmap& bitmap, UINT startScan, UINT lines, std::span<uint8_t> bits, std::span<uint8_t> info) {
  if (info.size() < kBitmapInfoHeaderSize) return 0;
  int bitCount = Get16(info, kBitCount);
  const int32_t askedHeight = int32_t(Get32(info, kHeight));
  const bool topDown = askedHeight < 0;
  const int32_t width = bitmap.Width(), height = bitmap.Height();
  const bool formatOnly = bitCount == 0;
  if (formatOnly) bitCount = bitmap.BitsPixel();
  if (bitCount != 1 && bitCount != 24 && bitCount != 32) return 0;
  const size_t stride = Stride(width, bitCount);
  const size_t colors = bitCount == 1 ? 2 : 0;
  if (!formatOnly && info.size() < kBitmapInfoHeaderSize + 4 * colors) return 0;

  Put32(info, kSize, uint32_t(kBitmapInfoHeaderSize));
  Put32(info, kWidth, uint32_t(width));
  Put32(info, kHeight, uint32_t(topDown ? -height : height));
  Put16(info, kPlanes, 1);
  Put16(info, kBitCount, uint16_t(bitCount));
  Put32(info, kCompression, BI_RGB);
  Put32(info, kSizeImage, uint32_t(stride * size_t(height)));
  if (formatOnly) return 1;
  Put32(info, kClrUsed, 0);
  if (colors) {
    Put32(info, kBitmapInfoHeaderSize, 0);
    Put32(info, kBitmapInfoHeaderSize + 4, 0x00FFFFFF);
  }
  if (startScan >= UINT(height)) return 0;
  const int32_t count = int32_t(std::min<int64_t>(lines, int64_t(height) - startScan));
  if (bits.empty()) return count;
  if (bits.size() / stride < size_t(count)) return 0;
  for (int32_t r = 0; r < count; ++r) {
    const int32_t stored = int32_t(startScan) + r;
    const uint32_t* row = bitmap.Row(topDown ? stored : height - 1 - stored);
    uint8_t* out = bits.data() + size_t(r) * stride;
    std::fill(out, out + stride, 0);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = row[x];
      if (bitCount == 1) {
        if (ToMono(p) == kWhite) out[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else {
        const size_t at = size_t(x) * size_t(bitCount / 8);
        out[at] = uint8_t(p), out[at + 1] = uint8_t(p >> 8), out[at + 2] = uint8_t(p >> 16);
      }
    }
  }
  return count;
}

}  // namespace win
