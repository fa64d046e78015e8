// Golden pictures: a test's bitmap compared with a PNG kept beside the tests.
//
// Pictures drawn with the test font must match exactly (tolerance 0); those
// drawn with installed fonts may differ by up to 48 in a channel on at most
// 0.5% of the pixels, so that a FreeType update does not break them. A
// mismatch writes the picture drawn next to the golden one as NAME.actual.png;
// QMK_UPDATE_GOLDENS=1 in the environment writes the golden picture instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/gdi/png.h"

namespace gditest {

inline std::string GoldenPath(const std::string& name) {
  std::string dir = __FILE__;
  dir.resize(dir.find_last_of('/') + 1);
  return dir + "golden/" + name + ".png";
}

struct GoldenTolerance {
  int channel = 0;          // largest difference in a channel that counts as equal
  double badFraction = 0;   // share of pixels allowed beyond it
};
inline constexpr GoldenTolerance kRealFontTolerance{48, 0.005};

inline void ExpectMatchesGolden(const win::Bitmap& actual, const std::string& name, GoldenTolerance tolerance = {}) {
  const std::string path = GoldenPath(name);
  const char* update = std::getenv("QMK_UPDATE_GOLDENS");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(win::WritePng(actual, path)) << path;
    return;
  }
  const auto golden = win::ReadPng(path);
  ASSERT_TRUE(golden) << "no golden picture " << path << " (QMK_UPDATE_GOLDENS=1 writes it)";
  bool same = golden->Width() == actual.Width() && golden->Height() == actual.Height();
  int64_t bad = 0;
  for (int32_t y = 0; same && y < actual.Height(); ++y) {
    for (int32_t x = 0; x < actual.Width(); ++x) {
      const uint32_t a = actual.Get(x, y), g = golden->Get(x, y);
      for (int shift = 0; shift <= 16; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((g >> shift) & 0xFF)) > tolerance.channel) {
          ++bad;
          break;
        }
      }
    }
  }
  const double allowed = tolerance.badFraction * double(actual.Width()) * double(actual.Height());
  if (!same || double(bad) > allowed) {
    win::WritePng(actual, path.substr(0, path.size() - 4) + ".actual.png");
    ADD_FAILURE() << name << ": " << (same ? std::to_string(bad) + " pixels differ" : std::string("size differs"))
                  << "; the drawn picture is beside the golden one";
  }
}

}  // namespace gditest
