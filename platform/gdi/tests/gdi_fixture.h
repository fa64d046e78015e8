// Helpers of the drawing tests: a small colour surface with its DC, and
// pictures written as rows of characters, one character a pixel.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/dc.h"

namespace gditest {

// Rows of characters: '#' where the pixel equals ink, '.' where it equals
// paper, '?' for any other colour.
inline std::vector<std::string> Mask(const win::Bitmap& b, uint32_t ink, uint32_t paper = win::kWhite) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < b.Height(); ++y) {
    std::string row;
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint32_t p = b.Get(x, y);
      row += p == ink ? '#' : p == paper ? '.' : '?';
    }
    rows.push_back(row);
  }
  return rows;
}

struct Canvas {
  explicit Canvas(int w, int h, uint32_t paper = win::kWhite) : bitmap(win::Bitmap::Create(w, h, 32)), dc(bitmap) {
    bitmap->Fill(paper);
  }
  std::vector<std::string> Mask(uint32_t ink, uint32_t paper = win::kWhite) const {
    return gditest::Mask(*bitmap, ink, paper);
  }
  std::shared_ptr<win::Bitmap> bitmap;
  win::Dc dc;
};

}  // namespace gditest
