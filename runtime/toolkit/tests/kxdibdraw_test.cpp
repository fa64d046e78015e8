// Drawing DIBs and bitmaps in the three display modes, checked against
// golden pictures (tests/goldens/draw_*.png) and by the box they cover.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <unistd.h>

#include "platform/gdi/dc.h"
#include "platform/gdi/png.h"
#include "platform/testing/golden.h"
#include "runtime/toolkit/kxdib.h"

namespace {

using kxobject::TKxBitmap;
using kxobject::TKxDib;
using kxobject::TRect;

// An 8-bit DIB of width x height: a frame of colour 1, the top left pixel
// colour 2, rows shading from colour 3 (top) to 6 (bottom); palette: white,
// black, red, then greens and blues.
std::unique_ptr<TKxDib> MakeDib(int32_t width, int32_t height) {
  kxobject::DibBuilder b;
  if (b.Start(width, height, 8, 8) != 1) return nullptr;
  const uint8_t colors[8][3] = {{255, 255, 255}, {0, 0, 0},   {255, 0, 0}, {0, 160, 0},
                                {0, 200, 120},   {0, 90, 220}, {40, 40, 160}, {0, 0, 0}};
  for (int i = 0; i < 8; ++i)
    b.Table()[4 * i] = colors[i][2], b.Table()[4 * i + 1] = colors[i][1], b.Table()[4 * i + 2] = colors[i][0];
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = b.Row(height - 1 - y);
    for (int32_t x = 0; x < width; ++x)
      row[x] = x == 0 && y == 0 ? 2 : x == 0 || y == 0 || x == width - 1 || y == height - 1 ? 1 : uint8_t(3 + y * 4 / height);
  }
  return std::make_unique<TKxDib>(b.Finish(), true);
}

// The box of the pixels that are not white.
TRect Inked(const win::Bitmap& b) {
  TRect box{b.Width(), b.Height(), 0, 0};
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x)
      if (b.Get(x, y) != win::kWhite) {
        box.left = std::min(box.left, x), box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1), box.bottom = std::max(box.bottom, y + 1);
      }
  return box.right ? box : TRect{};
}

std::string Golden(const std::string& name) { return std::string(ZET_TOOLKIT_TESTS_DIR) + "/goldens/draw_" + name + ".png"; }

struct Case {
  const char* name;
  std::function<void(win::Dc& dc)> draw;
  TRect inked;  // in device pixels
};

TEST(DrawPictureTest, ModesMatchTheirGoldens) {
  const auto wide = MakeDib(20, 10), tall = MakeDib(10, 20);
  ASSERT_TRUE(wide && tall);
  const auto bitmap = wide->CreateBitmap(kxobject::ScreenDc());
  ASSERT_TRUE(bitmap);
  const Case cases[] = {
      // Fit keeps the proportions from the top left of the rectangle.
      {"dib_fit_wide", [&](win::Dc& dc) { wide->Draw(dc, dc, TRect{2, 2, 22, 22}, kxobject::kDrawFit); }, {2, 2, 22, 12}},
      {"dib_fit_tall", [&](win::Dc& dc) { tall->Draw(dc, dc, TRect{2, 2, 22, 22}, kxobject::kDrawFit); }, {2, 2, 12, 22}},
      // Natural size, clipped to a smaller rectangle: the top rows and left
      // columns are shown unscaled.
      {"dib_natural_clipped", [&](win::Dc& dc) { wide->Draw(dc, dc, TRect{3, 3, 15, 9}, kxobject::kDrawNatural); },
       {3, 3, 15, 9}},
      {"dib_natural", [&](win::Dc& dc) { wide->Draw(dc, dc, TRect{3, 3, 30, 30}, kxobject::kDrawNatural); },
       {3, 3, 23, 13}},
      // Natural size under a mapping of 2 logical units a pixel: still one
      // picture pixel a device pixel.
      {"dib_natural_mapped",
       [&](win::Dc& dc) {
         dc.SetMapMode(win::MM_ANISOTROPIC);
         dc.SetWindowExtEx(2, 2);
         dc.SetViewportExtEx(1, 1);
         wide->Draw(dc, dc, TRect{4, 4, 60, 60}, kxobject::kDrawNatural);
       },
       {2, 2, 22, 12}},
      {"dib_stretch", [&](win::Dc& dc) { wide->Draw(dc, dc, TRect{1, 4, 31, 28}, 2); }, {1, 4, 31, 28}},
      {"dib_draw_at", [&](win::Dc&) {}, {5, 7, 25, 17}},  // drawn below through DrawAt
      // Bitmaps: natural size is centred in a larger rectangle.
      {"bitmap_natural_centred",
       [&](win::Dc& dc) {
         TRect r{0, 0, 30, 30};
         bitmap->Draw(dc, dc, r, kxobject::kDrawNatural);
         EXPECT_EQ(r, (TRect{5, 10, 25, 20}));
       },
       {5, 10, 25, 20}},
      {"bitmap_fit",
       [&](win::Dc& dc) {
         TRect r{2, 2, 22, 22};
         bitmap->Draw(dc, dc, r, kxobject::kDrawFit);
         EXPECT_EQ(r, (TRect{2, 2, 22, 12}));
       },
       {2, 2, 22, 12}},
      {"bitmap_stretch",
       [&](win::Dc& dc) {
         TRect r{4, 1, 14, 31};
         bitmap->Draw(dc, dc, r, 2);
       },
       {4, 1, 14, 31}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto surface = win::Bitmap::Create(32, 32, 32);
    surface->Fill(win::kWhite);
    win::Dc dc(surface);
    if (std::string(c.name) == "dib_draw_at")
      EXPECT_TRUE(wide->DrawAt(dc, 5, 7));
    else
      c.draw(dc);
    EXPECT_EQ(Inked(*surface), c.inked);
    EXPECT_TRUE(zettest::MatchesGolden(*surface, Golden(c.name)));
  }
}

TEST(DrawPictureTest, EmptyRectanglesAndEmptyPictures) {
  const auto dib = MakeDib(6, 4);
  auto surface = win::Bitmap::Create(16, 16, 32);
  surface->Fill(win::kWhite);
  win::Dc dc(surface);
  dib->Draw(dc, dc, TRect{2, 2, 2, 12}, kxobject::kDrawFit);
  dib->Draw(dc, dc, TRect{2, 2, 12, 2}, 2);
  TKxDib().Draw(dc, dc, TRect{0, 0, 16, 16}, 2);
  EXPECT_FALSE(TKxDib().DrawAt(dc, 0, 0));
  EXPECT_EQ(Inked(*surface), TRect{}) << "nothing drawn";
  // A bitmap given an empty rectangle draws at natural size from its corner.
  TKxBitmap bitmap(*dib, nullptr);
  TRect r{3, 3, 3, 3};
  bitmap.Draw(dc, dc, r, 2);
  EXPECT_EQ(Inked(*surface), (TRect{3, 3, 9, 7}));
  EXPECT_EQ(surface->Get(3, 3), 0xFFFF0000u) << "top left stays at the top left";
}

// The golden comparison itself: a changed pixel fails and leaves the drawing
// and a diff picture with that pixel red.
TEST(DrawPictureTest, GoldenMismatchWritesTheDrawingAndADiff) {
  namespace fs = std::filesystem;
  const fs::path golden = fs::temp_directory_path() / ("kxdraw_probe_" + std::to_string(::getpid()) + ".png");
  auto picture = win::Bitmap::Create(6, 4, 32);
  picture->Fill(0xFF204060);
  ASSERT_TRUE(win::WritePng(*picture, golden.string()));
  EXPECT_TRUE(zettest::MatchesGolden(*picture, golden.string()));
  picture->Set(2, 1, 0xFF204061);
  EXPECT_TRUE(zettest::MatchesGolden(*picture, golden.string(), 1, 0.0)) << "within the tolerance";
  picture->Set(4, 3, win::kWhite);
  EXPECT_FALSE(zettest::MatchesGolden(*picture, golden.string()));
  const fs::path diff = fs::current_path() / "golden-failures" / (golden.stem().string() + ".diff.png");
  const auto written = win::ReadPng(diff.string());
  ASSERT_TRUE(written);
  EXPECT_EQ(written->Get(4, 3), 0xFFFF0000u);
  EXPECT_NE(written->Get(0, 0), 0xFFFF0000u);
  EXPECT_TRUE(fs::exists(fs::current_path() / "golden-failures" / (golden.stem().string() + ".actual.png")));
  fs::remove(diff);
  fs::remove(fs::current_path() / "golden-failures" / (golden.stem().string() + ".actual.png"));
  fs::remove(golden);
}

}  // namespace
