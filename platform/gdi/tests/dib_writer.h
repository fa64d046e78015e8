// Packs pixels into DIBs for the tests and the fuzzer's seed corpus: any bit
// count the drawing layer reads, either row order, an optional bit-field
// header. Pixels are 0xFFRRGGBB, rows top first; at 8 bits or fewer every
// pixel must be in the palette.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/gdi/dib.h"

namespace gditest {

struct PackedDib {
  std::vector<uint8_t> info, bits;
};

inline void Put(std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

inline PackedDib EncodeDib(const std::vector<std::vector<uint32_t>>& pixels, int bitCount, bool topDown,
                           const std::vector<uint32_t>& palette = {}, bool bitfields = false) {
  const int32_t height = int32_t(pixels.size()), width = int32_t(pixels[0].size());
  const size_t stride = size_t((width * bitCount + 31) / 32 * 4);
  PackedDib dib;
  const size_t tableBytes = bitCount <= 8 ? 4 * palette.size() : bitfields ? 12 : 0;
  dib.info.assign(win::kBitmapInfoHeaderSize + tableBytes, 0);
  Put(dib.info, 0, 40, 4);
  Put(dib.info, 4, uint32_t(width), 4);
  Put(dib.info, 8, uint32_t(topDown ? -height : height), 4);
  Put(dib.info, 12, 1, 2);
  Put(dib.info, 14, uint32_t(bitCount), 2);
  Put(dib.info, 16, bitfields ? win::BI_BITFIELDS : win::BI_RGB, 4);
  Put(dib.info, 20, uint32_t(stride * size_t(height)), 4);
  Put(dib.info, 32, bitCount <= 8 ? uint32_t(palette.size()) : 0, 4);
  const uint32_t masks[3] = {bitCount == 16 ? 0xF800u : 0xFF0000u, bitCount == 16 ? 0x07E0u : 0xFF00u,
                             bitCount == 16 ? 0x001Fu : 0xFFu};
  if (bitCount <= 8)
    for (size_t i = 0; i < palette.size(); ++i) Put(dib.info, 40 + 4 * i, palette[i] & 0xFFFFFF, 4);
  else if (bitfields)
    for (size_t i = 0; i < 3; ++i) Put(dib.info, 40 + 4 * i, masks[i], 4);
  dib.bits.assign(stride * size_t(height), 0);
  for (int32_t y = 0; y < height; ++y) {
    const size_t row = size_t(topDown ? y : height - 1 - y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[size_t(y)][size_t(x)];
      const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (bitCount <= 8) {
        const uint32_t index = uint32_t(std::find(palette.begin(), palette.end(), p) - palette.begin());
        const size_t bit = size_t(x) * size_t(bitCount);
        dib.bits[row + bit / 8] |= uint8_t(index << (8 - bitCount - bit % 8));
      } else if (bitCount == 16) {
        const uint32_t v = bitfields ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3 : (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
        Put(dib.bits, row + 2 * size_t(x), v, 2);
      } else {
        Put(dib.bits, row + size_t(x) * size_t(bitCount / 8), p & 0xFFFFFF, bitCount / 8);
      }
    }
  }
  return dib;
}

}  // namespace gditest
