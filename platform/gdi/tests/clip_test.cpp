#include <gtest/gtest.h>

#include <functional>

#include "platform/gdi/tests/dib_writer.h"
#include "platform/gdi/tests/gdi_fixture.h"

namespace {

using gditest::Canvas;
using Rows = std::vector<std::string>;
using win::Region;

// A clip region of two pieces: every call below draws over the whole surface
// and must change only pixels inside it.
TEST(ClipTest, EveryDrawingCallStaysInsideTheClipRegion) {
  const auto source = win::Dc::CreateCompatible(nullptr);
  source->SelectBitmap(win::CreateBitmap(12, 10, 32));  // black
  const gditest::PackedDib dib = gditest::EncodeDib(std::vector<std::vector<uint32_t>>(10, std::vector<uint32_t>(12, 0xFF123456)), 24, false);
  const win::POINT polygon[] = {{0, 0}, {12, 0}, {12, 10}, {0, 10}};
  const std::pair<const char*, std::function<void(win::Dc&)>> calls[] = {
      {"LineTo", [](win::Dc& dc) { for (int y = 0; y < 10; ++y) { dc.MoveToEx(0, y); dc.LineTo(12, y); } }},
      {"Rectangle", [](win::Dc& dc) { dc.Rectangle(0, 0, 12, 10); }},
      {"RoundRect", [](win::Dc& dc) { dc.RoundRect(-2, -2, 14, 12, 3, 3); }},
      {"Ellipse", [](win::Dc& dc) { dc.Ellipse(-6, -6, 18, 16); }},
      {"Polygon", [&](win::Dc& dc) { dc.Polygon(polygon); }},
      {"FillRect", [](win::Dc& dc) { dc.FillRect({0, 0, 12, 10}, win::CreateSolidBrush(0)); }},
      {"FrameRgn", [](win::Dc& dc) { dc.FrameRgn(Region(win::RECT{0, 0, 12, 10}), win::CreateSolidBrush(0), 6, 5); }},
      {"FillRgn", [](win::Dc& dc) { dc.FillRgn(Region(win::RECT{0, 0, 12, 10}), win::CreateSolidBrush(0)); }},
      {"InvertRect", [](win::Dc& dc) { dc.InvertRect({0, 0, 12, 10}); }},
      {"DrawFocusRect", [](win::Dc& dc) { for (int i = 0; i < 5; ++i) dc.DrawFocusRect({i, i, 12 - i, 10 - i}); }},
      {"SetPixel", [](win::Dc& dc) { for (int y = 0; y < 10; ++y) for (int x = 0; x < 12; ++x) dc.SetPixel(x, y, 0); }},
      {"PatBlt", [](win::Dc& dc) { dc.PatBlt(0, 0, 12, 10, win::BLACKNESS); }},
      {"BitBlt", [&](win::Dc& dc) { win::BitBlt(dc, 0, 0, 12, 10, source.get(), 0, 0, win::SRCCOPY); }},
      {"StretchBlt", [&](win::Dc& dc) { win::StretchBlt(dc, 0, 0, 12, 10, source.get(), 0, 0, 3, 2, win::SRCCOPY); }},
      {"StretchDIBits", [&](win::Dc& dc) { win::StretchDIBits(dc, 0, 0, 12, 10, 0, 0, 12, 10, dib.bits, dib.info, 0, win::SRCCOPY); }},
      {"SetDIBitsToDevice", [&](win::Dc& dc) { win::SetDIBitsToDevice(dc, 0, 0, 12, 10, 0, 0, 0, 10, dib.bits, dib.info, 0); }},
  };
  const Region clip = Region::Combined(Region(win::RECT{1, 1, 5, 4}), Region(win::RECT{7, 3, 11, 9}), win::RGN_OR);
  for (const auto& [name, draw] : calls) {
    Canvas c(12, 10);
    c.dc.SelectBrush(win::CreateSolidBrush(0));
    EXPECT_EQ(c.dc.SelectClipRgn(&clip), win::COMPLEXREGION);
    draw(c.dc);
    int inside = 0;
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 12; ++x) {
        const bool changed = c.bitmap->Get(x, y) != win::kWhite;
        if (!clip.Contains(x, y)) {
          ASSERT_FALSE(changed) << name << " at " << x << "," << y;
        }
        inside += changed;
      }
    EXPECT_GT(inside, 0) << name;
  }
}

TEST(ClipTest, ClipRectanglesAreLogicalAndCombine) {
  Canvas c(8, 6);
  c.dc.SetMapMode(win::MM_ANISOTROPIC);
  c.dc.SetWindowExtEx(2, 2);
  c.dc.SetViewportExtEx(1, 1);  // two logical units a pixel
  EXPECT_EQ(c.dc.IntersectClipRect(2, 2, 14, 10), win::SIMPLEREGION);
  EXPECT_EQ(c.dc.ExcludeClipRect(6, 4, 10, 8), win::COMPLEXREGION);
  win::RECT box;
  EXPECT_EQ(c.dc.GetClipBox(&box), win::COMPLEXREGION);
  EXPECT_EQ(box, (win::RECT{2, 2, 14, 10}));
  EXPECT_TRUE(c.dc.PtVisible(2, 2));
  EXPECT_FALSE(c.dc.PtVisible(6, 4));
  c.dc.FillRect({0, 0, 16, 12}, win::CreateSolidBrush(0));
  EXPECT_EQ(c.Mask(win::kBlack), (Rows{"........", ".######.", ".##..##.", ".##..##.", ".######.", "........"}));
  EXPECT_EQ(c.dc.OffsetClipRgn(2, 2), win::COMPLEXREGION);
  EXPECT_TRUE(c.dc.PtVisible(4, 4));
  EXPECT_FALSE(c.dc.PtVisible(2, 2));
  EXPECT_EQ(c.dc.SelectClipRgn(nullptr), win::SIMPLEREGION);
  EXPECT_TRUE(c.dc.PtVisible(0, 0));
  const Region empty;
  EXPECT_EQ(c.dc.SelectClipRgn(&empty), win::NULLREGION);
  EXPECT_EQ(c.dc.GetPixel(0, 0), win::CLR_INVALID);
}

TEST(SaveDcTest, RestoreReturnsToTheSavedStateAndDropsLaterSaves) {
  Canvas c(4, 4);
  win::Dc& dc = c.dc;
  dc.SetTextColor(win::RGB(1, 2, 3));
  EXPECT_EQ(dc.SaveDC(), 1);
  dc.SetMapMode(win::MM_LOMETRIC);
  dc.SelectPen(win::CreatePen(win::PS_DOT, 2, win::RGB(9, 9, 9)));
  dc.SetROP2(win::R2_XORPEN);
  dc.IntersectClipRect(0, 0, 10, -10);
  dc.MoveToEx(5, 5);
  EXPECT_EQ(dc.SaveDC(), 2);
  dc.SetTextColor(win::RGB(4, 5, 6));
  dc.SetBkMode(win::TRANSPARENT);
  EXPECT_EQ(dc.SaveDC(), 3);
  dc.SetMapMode(win::MM_TEXT);

  EXPECT_TRUE(dc.RestoreDC(-1));  // the last save: depth 3
  EXPECT_EQ(dc.GetMapMode(), win::MM_LOMETRIC);
  EXPECT_EQ(dc.Current().bkMode, win::TRANSPARENT);
  EXPECT_TRUE(dc.RestoreDC(1));  // back to depth 1, dropping save 2
  EXPECT_EQ(dc.GetMapMode(), win::MM_TEXT);
  EXPECT_EQ(dc.Current().textColor, win::RGB(1, 2, 3));
  EXPECT_EQ(dc.Current().pen.style, win::PS_SOLID);
  EXPECT_EQ(dc.Current().rop2, win::R2_COPYPEN);
  EXPECT_FALSE(dc.Current().clip.has_value());
  EXPECT_EQ(dc.Current().pos, (win::POINT{0, 0}));
  EXPECT_FALSE(dc.RestoreDC(1));  // nothing saved any more
  EXPECT_FALSE(dc.RestoreDC(-1));
  EXPECT_EQ(dc.SaveDC(), 1);
  EXPECT_FALSE(dc.RestoreDC(2));
  EXPECT_FALSE(dc.RestoreDC(0));
  EXPECT_TRUE(dc.RestoreDC(-1));
}

TEST(ClipTest, ClipMadeBeforeABitmapIsSelectedHoldsForIt) {
  auto dc = win::Dc::CreateCompatible(nullptr);
  dc->ExcludeClipRect(0, 0, 2, 2);
  dc->SelectBitmap(win::CreateBitmap(4, 4, 32));
  dc->PatBlt(0, 0, 4, 4, win::WHITENESS);
  EXPECT_EQ(gditest::Mask(dc->Surface(), win::kWhite, win::kBlack), (Rows{"..##", "..##", "####", "####"}));
}

TEST(SaveDcTest, MemoryDcRestoresItsBitmap) {
  auto dc = win::Dc::CreateCompatible(nullptr);
  auto first = win::CreateBitmap(2, 2, 32), second = win::CreateBitmap(3, 3, 32);
  dc->SelectBitmap(first);
  dc->SaveDC();
  dc->SelectBitmap(second);
  EXPECT_EQ(&dc->Surface(), second.get());
  dc->RestoreDC(-1);
  EXPECT_EQ(&dc->Surface(), first.get());
}

}  // namespace

namespace {

// Shapes and blits far larger than the surface are clipped before they are
// rasterized: each call here would walk or allocate billions of pixels
// otherwise, and ends at once instead.
TEST(ClipTest, HugeCoordinatesCostOnlyTheVisiblePixels) {
  constexpr int kFar = 2000000000;
  Canvas c(6, 6);
  c.dc.MoveToEx(-kFar, -kFar);
  c.dc.LineTo(kFar, kFar);
  EXPECT_EQ(c.Mask(win::kBlack), (Rows{"#.....", ".#....", "..#...", "...#..", "....#.", ".....#"}));

  c.dc.SelectPen(win::CreatePen(win::PS_SOLID, 1000, 0));
  c.dc.MoveToEx(kFar, -kFar);
  c.dc.LineTo(-kFar, kFar);
  c.dc.SelectPen(win::CreatePen(win::PS_SOLID, 1, 0));
  c.dc.Ellipse(-kFar, -kFar, kFar, kFar);
  c.dc.RoundRect(-kFar, -kFar, kFar, kFar, kFar, kFar);
  const win::POINT far[] = {{-kFar, -kFar}, {kFar, -kFar}, {0, kFar}};
  c.dc.Polygon(far);
  c.dc.FrameRgn(win::Region(win::RECT{0, 0, 6, 6}), win::CreateSolidBrush(0), kFar, kFar);
  auto source = win::Dc::CreateCompatible(nullptr);
  source->SelectBitmap(win::CreateBitmap(2, 2, 32));
  win::StretchBlt(c.dc, -kFar, -kFar, kFar, kFar, source.get(), 0, 0, 2, 2, win::SRCCOPY);
  win::StretchBlt(c.dc, kFar, kFar, -kFar, -kFar, source.get(), 0, 0, kFar, kFar, win::SRCINVERT);
  const gditest::PackedDib dib = gditest::EncodeDib({{win::kBlack}}, 24, false);
  win::SetDIBitsToDevice(c.dc, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, -kFar, -kFar, 0, 1, dib.bits, dib.info, 0);
  win::StretchDIBits(c.dc, -kFar, -kFar, INT32_MAX, INT32_MAX, 0, 0, 1, 1, dib.bits, dib.info, 0, win::SRCCOPY);
  EXPECT_EQ(c.Mask(win::kBlack), Rows(6, "######"));
  win::Region moved(win::RECT{0, 0, 4, 4});
  moved.Offset(kFar, kFar);
  moved.Offset(kFar, kFar);  // saturates instead of overflowing
  EXPECT_EQ(moved.Kind(), win::NULLREGION);
}

}  // namespace
