// The picture the picture benchmarks decode: a photo-like RGB image of
// width x height (rows top first, 3 bytes a pixel), smooth gradients with
// some texture, the same bytes on every run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bench {

inline std::vector<uint8_t> PhotoRgb(int width, int height) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  uint32_t seed = 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525 + 1013904223;
      uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
      const int noise = int(seed >> 28) - 8;
      p[0] = uint8_t(std::clamp((x * 255) / width + noise, 0, 255));
      p[1] = uint8_t(std::clamp((y * 255) / height + noise, 0, 255));
      p[2] = uint8_t(std::clamp(((x + y) / 16 % 2) * 120 + 60 + noise, 0, 255));
    }
  return rgb;
}

}  // namespace bench
