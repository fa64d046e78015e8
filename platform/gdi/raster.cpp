#include "platform/gdi/raster.h"

#include <algorithm>

namespace win {

Bitmap::Bitmap(int32_t width, int32_t height, bool mono)
    : width_(width), height_(height), mono_(mono), pixels_(size_t(width) * size_t(height), kBlack) {}

std::shared_ptr<Bitmap> Bitmap::Create(int32_t width, int32_t height, int bitsPixel) {
  if (width < 1 || height < 1 || int64_t(width) * height > kMaxPixels) return nullptr;
  if (bitsPixel != 1 && bitsPixel != 32) return nullptr;
  return std::make_shared<Bitmap>(width, height, bitsPixel == 1);
}

void Bitmap::Fill(uint32_t pixel) { std::fill(pixels_.begin(), pixels_.end(), Fit(pixel)); }

uint32_t ApplyRop2(int rop2, uint32_t p, uint32_t d) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return d;
  // The table over (P*2 + D) is rop2 - 1; as a ROP3 table with S ignored its
  // bit (P*4 + S*2 + D) repeats the two D bits for both values of S.
  const unsigned t = unsigned(rop2 - 1);
  const uint8_t table = uint8_t((t & 3) | ((t & 3) << 2) | ((t & 12) << 2) | ((t & 12) << 4));
  return ApplyRop3(table, p, 0, d);
}

uint32_t ApplyRop3(uint8_t table, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!(table & (1u << i))) continue;
    r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  }
  return r | kBlack;
}

}  // namespace win
