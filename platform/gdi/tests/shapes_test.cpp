#include <gtest/gtest.h>

#include "platform/gdi/tests/gdi_fixture.h"

namespace {

using gditest::Canvas;
using Rows = std::vector<std::string>;

// Lines cover their first pixel and not their last, and a line drawn
// backwards covers the same pixels between its ends.
TEST(LineTest, EndPointRules) {
  struct Case {
    const char* name;
    win::POINT from, to;
    Rows expected;
  } cases[] = {
      {"shallow", {1, 1}, {7, 3}, {"........", ".##.....", "...###..", "......#.", "........"}},
      {"shallow_back", {7, 3}, {1, 1}, {"........", "..#.....", "...###..", "......##", "........"}},
      {"diagonal", {1, 1}, {5, 4}, {"........", ".#......", "..#.....", "...##...", "........"}},
      {"steep", {2, 0}, {3, 5}, {"..#.....", "..#.....", "..#.....", "...#....", "...#....", ""}},
      {"horizontal", {6, 2}, {2, 2}, {"........", "........", "...####.", "........", "........"}},
      {"point", {3, 3}, {3, 3}, {"........", "........", "........", "........", "........"}},
  };
  for (const Case& c : cases) {
    Canvas canvas(8, 5);
    canvas.dc.MoveToEx(c.from.x, c.from.y);
    canvas.dc.LineTo(c.to.x, c.to.y);
    Rows expected = c.expected;
    if (expected.back().empty()) expected.pop_back();
    EXPECT_EQ(canvas.Mask(win::kBlack), expected) << c.name;
    win::POINT pos;
    canvas.dc.MoveToEx(0, 0, &pos);
    EXPECT_EQ(pos, c.to) << c.name;  // LineTo moves the current position
  }
}

// With XOR, the shared corner of two segments of a polyline is painted once,
// because each segment leaves out its last pixel.
TEST(LineTest, XorPolylinePaintsCornersOnce) {
  Canvas c(6, 6);
  c.dc.SetROP2(win::R2_XORPEN);
  c.dc.SelectPen(win::CreatePen(win::PS_SOLID, 0, win::RGB(255, 255, 255)));
  const win::POINT path[] = {{1, 1}, {4, 1}, {4, 4}, {1, 4}, {1, 1}};
  c.dc.Polyline(path);
  EXPECT_EQ(c.Mask(win::kBlack), (Rows{"......", ".####.", ".#..#.", ".#..#.", ".####.", "......"}));
}

TEST(LineTest, StyledAndWidePens) {
  Canvas dots(12, 3);
  dots.dc.SelectPen(win::CreatePen(win::PS_DOT, 1, 0));
  dots.dc.SetBkMode(win::TRANSPARENT);
  dots.dc.MoveToEx(0, 1);
  dots.dc.LineTo(12, 1);
  EXPECT_EQ(dots.Mask(win::kBlack), (Rows{"............", "###...###...", "............"}));
  // An opaque background fills the gaps with the background colour.
  dots.dc.SetBkMode(win::OPAQUE);
  dots.dc.SetBkColor(win::RGB(255, 0, 0));
  dots.dc.MoveToEx(0, 1);
  dots.dc.LineTo(12, 1);
  EXPECT_EQ(gditest::Mask(*dots.bitmap, win::kBlack, 0xFFFF0000)[1], "###...###...");

  Canvas wide(7, 5);
  // Wide pens draw solid, a square of the pen's width around each pixel.
  wide.dc.SelectPen(win::CreatePen(win::PS_DASH, 3, 0));
  wide.dc.MoveToEx(1, 2);
  wide.dc.LineTo(5, 2);
  EXPECT_EQ(wide.Mask(win::kBlack), (Rows{".......", "######.", "######.", "######.", "......."}));
}

TEST(ShapeTest, FilledShapesMatchTheirPixelMaps) {
  struct Case {
    const char* name;
    int width, height;
    bool nullPen;
    void (*draw)(win::Dc&);
    Rows expected;
  } cases[] = {
      {"rectangle", 7, 5, false, [](win::Dc& dc) { dc.Rectangle(1, 1, 6, 4); },
       {".......", ".#####.", ".#...#.", ".#####.", "......."}},
      {"rectangle_reversed_corners", 7, 5, false, [](win::Dc& dc) { dc.Rectangle(6, 4, 1, 1); },
       {".......", ".#####.", ".#...#.", ".#####.", "......."}},
      // Without an outline the shape is one pixel smaller each way.
      {"rectangle_null_pen", 7, 5, true, [](win::Dc& dc) { dc.Rectangle(1, 1, 6, 4); },
       {".......", ".####..", ".####..", ".......", "......."}},
      {"round_rectangle", 12, 10, false, [](win::Dc& dc) { dc.RoundRect(1, 1, 11, 9, 6, 4); },
       {"............", "..########..", ".#........#.", ".#........#.", ".#........#.", ".#........#.",
        ".#........#.", ".#........#.", "..########..", "............"}},
      {"ellipse", 12, 8, false, [](win::Dc& dc) { dc.Ellipse(1, 1, 11, 7); },
       {"............", "...######...", "..#......#..", ".#........#.", ".#........#.", "..#......#..",
        "...######...", "............"}},
      {"disc", 9, 9, true, [](win::Dc& dc) { dc.Ellipse(0, 0, 10, 10); },
       {"..#####..", ".#######.", "#########", "#########", "#########", "#########", "#########",
        ".#######.", "..#####.."}},
      {"wide_pen_rectangle", 11, 11, false,
       [](win::Dc& dc) {
         dc.SelectPen(win::CreatePen(win::PS_SOLID, 3, 0));
         dc.Rectangle(2, 2, 9, 9);
       },
       {"...........", ".#########.", ".#########.", ".#########.", ".###...###.", ".###...###.", ".###...###.",
        ".#########.", ".#########.", ".#########.", "..........."}},
  };
  for (const Case& c : cases) {
    Canvas canvas(c.width, c.height);
    if (c.nullPen) {
      canvas.dc.SelectPen(win::NullPen());
      canvas.dc.SelectBrush(win::CreateSolidBrush(0));
    }
    c.draw(canvas.dc);
    EXPECT_EQ(canvas.Mask(win::kBlack), c.expected) << c.name;
  }
}

// Styled pens run their pattern on along a polyline and around a frame.
TEST(LineTest, StylesRunOnAlongPathsAndFrames) {
  Canvas path(9, 3);
  path.dc.SetBkMode(win::TRANSPARENT);
  path.dc.SelectPen(win::CreatePen(win::PS_DOT, 0, 0));
  const win::POINT points[] = {{0, 0}, {4, 0}, {4, 2}, {9, 2}};
  path.dc.Polyline(points);
  EXPECT_EQ(path.Mask(win::kBlack), (Rows{"###......", ".........", "....###.."}));
  Canvas frame(8, 5);
  frame.dc.SetBkMode(win::TRANSPARENT);
  frame.dc.SelectPen(win::CreatePen(win::PS_DOT, 1, 0));
  frame.dc.SelectBrush(win::NullBrush());
  frame.dc.Rectangle(0, 0, 8, 5);
  EXPECT_EQ(frame.Mask(win::kBlack), (Rows{"###...##", ".......#", "#.......", "#.......", "#...###."}));
}

TEST(ShapeTest, PolygonFillModes) {
  const win::POINT star[] = {{5, 0}, {8, 10}, {0, 3}, {10, 3}, {2, 10}};
  const Rows alternate{"..........", "..........", "....##....", ".###..###.", "..##..##..",
                       "..........", "...#..#...", "...####...", "..##..##..", "..#....#.."};
  const Rows winding{"..........", "..........", "....##....", ".########.", "..######..",
                     "...####...", "...####...", "...####...", "..##..##..", "..#....#.."};
  for (const auto& [mode, expected] : {std::pair{win::ALTERNATE, alternate}, std::pair{win::WINDING, winding}}) {
    Canvas c(10, 10);
    c.dc.SelectPen(win::NullPen());
    c.dc.SelectBrush(win::CreateSolidBrush(0));
    c.dc.SetPolyFillMode(mode);
    c.dc.Polygon(star);
    EXPECT_EQ(c.Mask(win::kBlack), expected) << mode;
  }
  // A polygon the shape of a rectangle covers what Rectangle covers without
  // an outline, plus its right and bottom edge through the outline.
  Canvas c(6, 5);
  c.dc.SelectBrush(win::CreateSolidBrush(win::RGB(255, 0, 0)));
  const win::POINT box[] = {{1, 1}, {4, 1}, {4, 3}, {1, 3}};
  c.dc.Polygon(box);
  EXPECT_EQ(gditest::Mask(*c.bitmap, win::kBlack, 0xFFFF0000),
            (Rows{"??????", "?####?", "?#..#?", "?####?", "??????"}));
}

// Drawing with an XOR-like raster operation twice restores the pixels.
TEST(ShapeTest, XorDrawingTwiceRestores) {
  Canvas c(16, 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) c.bitmap->Set(x, y, 0xFF000000 | uint32_t(x * 0x10 + y * 0x1000 + 0x30000 * (x ^ y)));
  const win::Bitmap before = *c.bitmap;
  const win::POINT tri[] = {{2, 2}, {13, 4}, {5, 11}};
  auto drawAll = [&](win::Dc& dc) {
    dc.MoveToEx(0, 0);
    dc.LineTo(15, 11);
    dc.Rectangle(1, 1, 9, 7);
    dc.Ellipse(3, 2, 15, 11);
    dc.RoundRect(0, 4, 12, 12, 5, 5);
    dc.Polygon(tri);
    dc.DrawFocusRect({2, 2, 14, 10});
    dc.InvertRect({5, 5, 9, 8});
  };
  for (int rop : {win::R2_XORPEN, win::R2_NOTXORPEN, win::R2_NOT}) {
    c.dc.SetROP2(rop);
    c.dc.SelectPen(win::CreatePen(win::PS_SOLID, 1, win::RGB(0x5A, 0xC3, 0x0F)));
    c.dc.SelectBrush(win::CreateSolidBrush(win::RGB(0x81, 0x42, 0xFF)));
    drawAll(c.dc);
    int changed = 0;
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16; ++x) changed += c.bitmap->Get(x, y) != before.Get(x, y);
    EXPECT_GT(changed, 40) << rop;
    drawAll(c.dc);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(c.bitmap->Get(x, y), before.Get(x, y)) << rop << " at " << x << "," << y;
  }
}

TEST(BrushTest, HatchesAndPatternsUseTheDcColours) {
  Canvas hatch(8, 4);
  hatch.dc.SetBkMode(win::TRANSPARENT);
  hatch.dc.FillRect({0, 0, 8, 4}, win::CreateHatchBrush(win::HS_DIAGCROSS, 0));
  EXPECT_EQ(hatch.Mask(win::kBlack), (Rows{"#......#", ".#....#.", "..#..#..", "...##..."}));
  hatch.dc.SetBkMode(win::OPAQUE);
  hatch.dc.SetBkColor(win::RGB(255, 0, 0));
  hatch.dc.SetBrushOrg({1, 0});
  hatch.dc.FillRect({0, 0, 8, 2}, win::CreateHatchBrush(win::HS_VERTICAL, 0));
  EXPECT_EQ(gditest::Mask(*hatch.bitmap, win::kBlack, 0xFFFF0000)[0], ".#......");

  // A monochrome pattern draws 0 bits in the text colour, 1 bits in the
  // background colour.
  auto pattern = win::Bitmap::Create(2, 1, 1);
  pattern->Set(1, 0, win::kWhite);
  Canvas c(4, 1);
  c.dc.SetTextColor(win::RGB(0, 0, 255));
  c.dc.SetBkColor(win::RGB(0, 255, 0));
  c.dc.FillRect({0, 0, 4, 1}, win::CreatePatternBrush(pattern));
  EXPECT_EQ(c.bitmap->Get(0, 0), 0xFF0000FF);
  EXPECT_EQ(c.bitmap->Get(1, 0), 0xFF00FF00);
  EXPECT_EQ(c.bitmap->Get(2, 0), 0xFF0000FF);
}

TEST(ShapeTest, DrawingOnAMonochromeBitmapPicksBlackOrWhite) {
  auto dc = win::Dc::CreateCompatible(nullptr);
  auto mono = win::CreateCompatibleBitmap(*dc, 4, 1);
  ASSERT_TRUE(mono->Mono());
  dc->SelectBitmap(mono);
  dc->FillRect({0, 0, 2, 1}, win::CreateSolidBrush(win::RGB(200, 200, 200)));
  dc->FillRect({2, 0, 4, 1}, win::CreateSolidBrush(win::RGB(90, 20, 200)));
  EXPECT_EQ(dc->GetPixel(0, 0), win::RGB(255, 255, 255));
  EXPECT_EQ(dc->GetPixel(3, 0), win::RGB(0, 0, 0));
  EXPECT_EQ(dc->SetPixel(3, 0, win::RGB(250, 240, 100)), win::RGB(255, 255, 255));
  EXPECT_EQ(dc->GetPixel(4, 0), win::CLR_INVALID);
}

}  // namespace
