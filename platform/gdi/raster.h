// The raster: bitmaps of 32-bit pixels, and the bitwise raster operations
// applied to them.
//
// A pixel is 0xFFRRGGBB. The alpha byte is always 0xFF: the raster
// operations work on the 24 colour bits and set it again, so a pixel never
// carries transparency and PNG output is plain RGB.
//
// A bitmap is either colour (BitsPixel 32) or monochrome (BitsPixel 1). A
// monochrome bitmap keeps one 32-bit pixel per dot too, but every pixel is
// exactly kBlack (bit 0) or kWhite (bit 1); because the raster operations are
// bitwise, operands that are all black or white give black or white again, so
// drawing on a monochrome bitmap only has to turn its colour operands into
// black or white first (ToMono, or the blit conversions of blit.cpp).
//
// Sizes: a bitmap holds at least one pixel and at most kMaxPixels; Create
// answers null beyond that, so a damaged size can not exhaust memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/wingdi.h"

namespace win {

constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kWhite = 0xFFFFFFFF;

constexpr uint32_t ToPixel(COLORREF c) {
  return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}
constexpr COLORREF ToColor(uint32_t pixel) {
  return RGB(uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel));
}
// The nearer of black and white, by the sum of the channels.
constexpr uint32_t ToMono(uint32_t pixel) {
  const uint32_t sum = ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF);
  return sum >= 383 ? kWhite : kBlack;
}

class Bitmap {
 public:
  static constexpr int64_t kMaxPixels = int64_t(1) << 25;

  // Null when a side is below 1, the size is above kMaxPixels or bitsPixel
  // is neither 1 nor 32. A new bitmap is black.
  static std::shared_ptr<Bitmap> Create(int32_t width, int32_t height, int bitsPixel);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int BitsPixel() const { return mono_ ? 1 : 32; }
  bool Mono() const { return mono_; }

  uint32_t* Row(int32_t y) { return pixels_.data() + size_t(y) * size_t(width_); }
  const uint32_t* Row(int32_t y) const { return pixels_.data() + size_t(y) * size_t(width_); }
  uint32_t Get(int32_t x, int32_t y) const { return Row(y)[x]; }
  void Set(int32_t x, int32_t y, uint32_t pixel) { Row(y)[x] = mono_ ? ToMono(pixel) : pixel | kBlack; }
  void Fill(uint32_t pixel);
  // The pixel as this bitmap stores it: monochrome bitmaps store black or white.
  uint32_t Fit(uint32_t pixel) const { return mono_ ? ToMono(pixel) : pixel | kBlack; }

  Bitmap(int32_t width, int32_t height, bool mono);

 private:
  int32_t width_, height_;
  bool mono_;
  std::vector<uint32_t> pixels_;
};

// ROP2 code 1..16 of pen p over destination d; other codes leave d.
uint32_t ApplyRop2(int rop2, uint32_t p, uint32_t d);
// The ROP3 truth table (bits 16..23 of the code) over pattern, source, destination.
uint32_t ApplyRop3(uint8_t table, uint32_t p, uint32_t s, uint32_t d);
constexpr uint8_t Rop3Table(DWORD rop) { return uint8_t(rop >> 16); }
// Whether the result depends on the source (S) or the pattern (P).
constexpr bool RopUsesSource(DWORD rop) {
  const uint8_t t = Rop3Table(rop);
  return ((t >> 2) & 0x33) != (t & 0x33);
}
constexpr bool RopUsesPattern(DWORD rop) {
  const uint8_t t = Rop3Table(rop);
  return (t >> 4) != (t & 0x0F);
}

}  // namespace win
