// Fuzzes the DIB input path: a header, colour table and bits handed to
// StretchDIBits, SetDIBitsToDevice and CreateDIBitmap, onto a colour and a
// monochrome surface. Input layout (the seeds come from the tests' DIB
// writer, see dib_test.cpp):
//
//   offset  size  field
//   0       8     destination x, y, width, height, source x, y, width,
//                 height (signed bytes)
//   8       2     first scan line, scan line count (SetDIBitsToDevice)
//   10      2     info length n (little-endian)
//   12      n     info: header and colour table
//   12+n    ...   bits
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/gdi/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  const std::span<const uint8_t> input(data, size);
  const auto s8 = [&](size_t i) { return int(int8_t(input[i])); };
  const size_t infoSize = std::min<size_t>(size_t(input[10] | input[11] << 8), size - 12);
  const auto info = input.subspan(12, infoSize);
  const auto bits = input.subspan(12 + infoSize);

  static const auto colour = win::Bitmap::Create(32, 32, 32);
  static win::Dc screen(colour);
  static const auto memory = [] {
    auto dc = win::Dc::CreateCompatible(nullptr);
    dc->SelectBitmap(win::CreateCompatibleBitmap(*dc, 16, 16));
    return dc;
  }();
  for (win::Dc* dc : {&screen, memory.get()}) {
    dc->SetStretchBltMode(1 + (input[8] & 3));
    win::StretchDIBits(*dc, s8(0), s8(1), s8(2), s8(3), s8(4), s8(5), s8(6), s8(7), bits, info,
                       input[9] & 1, win::SRCCOPY);
    win::SetDIBitsToDevice(*dc, s8(0), s8(1), uint8_t(s8(2)), uint8_t(s8(3)), s8(4), s8(5), input[8], input[9], bits,
                           info, win::DIB_RGB_COLORS);
  }
  win::CreateDIBitmap(screen, info, win::CBM_INIT, bits, win::DIB_RGB_COLORS);
  return 0;
}
