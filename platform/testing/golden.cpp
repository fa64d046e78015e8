// Golden-picture comparison (see golden.h).
#include "platform/testing/golden.h"

#include <cstdlib>
#include <filesystem>

#include "platform/gdi/png.h"

namespace zettest {

namespace {

int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
    worst = std::max(worst, d);
  }
  return worst;
}

// The golden (or a white picture of the drawing's size) dimmed, with the
// differing pixels red.
std::shared_ptr<win::Bitmap> DiffPicture(const win::Bitmap& actual, const win::Bitmap* golden, int tolerance) {
  auto diff = win::Bitmap::Create(actual.Width(), actual.Height(), 32);
  for (int32_t y = 0; y < actual.Height(); ++y)
    for (int32_t x = 0; x < actual.Width(); ++x) {
      const bool inside = golden && x < golden->Width() && y < golden->Height();
      const uint32_t g = inside ? golden->Get(x, y) : win::kWhite;
      const bool differs = !inside || ChannelDistance(g, actual.Get(x, y)) > tolerance;
      const uint32_t grey = (((g >> 16) & 0xFF) + ((g >> 8) & 0xFF) + (g & 0xFF)) / 3 / 4 + 0xC0;
      diff->Set(x, y, differs ? 0xFFFF0000 : 0xFF000000 | grey << 16 | grey << 8 | grey);
    }
  return diff;
}

}  // namespace

::testing::AssertionResult MatchesGolden(const win::Bitmap& actual, const std::string& goldenPath, int tolerance,
                                         double fraction) {
  namespace fs = std::filesystem;
  const char* update = std::getenv("QMK_UPDATE_GOLDENS");
  if (update && std::string(update) == "1") {
    if (!win::WritePng(actual, goldenPath)) return ::testing::AssertionFailure() << "cannot write " << goldenPath;
    return ::testing::AssertionSuccess();
  }
  const auto golden = win::ReadPng(goldenPath);
  std::string problem;
  if (!golden) {
    problem = "no golden picture " + goldenPath;
  } else if (golden->Width() != actual.Width() || golden->Height() != actual.Height()) {
    problem = "size " + std::to_string(actual.Width()) + "x" + std::to_string(actual.Height()) + ", golden " +
              std::to_string(golden->Width()) + "x" + std::to_string(golden->Height());
  } else {
    int64_t differing = 0;
    for (int32_t y = 0; y < actual.Height(); ++y)
      for (int32_t x = 0; x < actual.Width(); ++x)
        if (ChannelDistance(golden->Get(x, y), actual.Get(x, y)) > tolerance) ++differing;
    const double allowed = tolerance > 0 ? fraction * double(actual.Width()) * actual.Height() : 0.0;
    if (double(differing) <= allowed) return ::testing::AssertionSuccess();
    problem = std::to_string(differing) + " pixels differ";
  }
  const fs::path dir = fs::current_path() / "golden-failures";
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string name = fs::path(goldenPath).stem().string();
  const fs::path actualPath = dir / (name + ".actual.png"), diffPath = dir / (name + ".diff.png");
  win::WritePng(actual, actualPath.string());
  win::WritePng(*DiffPicture(actual, golden.get(), tolerance), diffPath.string());
  return ::testing::AssertionFailure() << goldenPath << ": " << problem << "; see " << actualPath.string() << " and "
                                       << diffPath.string();
}

}  // namespace zettest
