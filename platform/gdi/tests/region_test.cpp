#include <gtest/gtest.h>

#include "platform/gdi/region.h"

namespace {

using win::RECT;
using win::Region;

// The pixels of a region in a small window, one string per row.
std::vector<std::string> Pixels(const Region& r, int w = 8, int h = 6) {
  std::vector<std::string> rows;
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int x = 0; x < w; ++x) row += r.Contains(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST(RegionTest, CombineModes) {
  const Region a(RECT{1, 1, 5, 4}), b(RECT{3, 2, 7, 5});
  struct Case {
    int op;
    int kind;
    std::vector<std::string> pixels;
  } cases[] = {
      {win::RGN_AND, win::SIMPLEREGION, {"........", "........", "...##...", "...##...", "........", "........"}},
      {win::RGN_OR, win::COMPLEXREGION, {"........", ".####...", ".######.", ".######.", "...####.", "........"}},
      {win::RGN_XOR, win::COMPLEXREGION, {"........", ".####...", ".##..##.", ".##..##.", "...####.", "........"}},
      {win::RGN_DIFF, win::COMPLEXREGION, {"........", ".####...", ".##.....", ".##.....", "........", "........"}},
      {win::RGN_COPY, win::SIMPLEREGION, {"........", ".####...", ".####...", ".####...", "........", "........"}},
  };
  for (const Case& c : cases) {
    Region r;
    EXPECT_EQ(r.Combine(a, b, c.op), c.kind) << c.op;
    EXPECT_EQ(Pixels(r), c.pixels) << c.op;
  }
  Region r;
  EXPECT_EQ(r.Combine(a, b, 9), win::ERROR_REGION);
}

// The form is canonical: the same pixels reached two ways compare equal.
TEST(RegionTest, EqualRegionsCompareEqual) {
  const Region whole(RECT{0, 0, 6, 4});
  Region left(RECT{0, 0, 3, 4}), right(RECT{3, 0, 6, 4}), top(RECT{0, 0, 6, 2}), bottom(RECT{0, 2, 6, 4});
  EXPECT_EQ(Region::Combined(left, right, win::RGN_OR), whole);
  EXPECT_EQ(Region::Combined(top, bottom, win::RGN_OR), whole);
  EXPECT_EQ(Region::Combined(whole, top, win::RGN_DIFF), bottom);
  EXPECT_EQ(Region::Combined(whole, whole, win::RGN_XOR), Region());
  EXPECT_EQ(Region::Combined(whole, whole, win::RGN_XOR).Kind(), win::NULLREGION);
  EXPECT_NE(whole, top);
  // Rows given one by one collapse into bands.
  const Region rows = Region::FromRows(0, {{{0, 3}, {3, 6}}, {{4, 6}, {0, 4}}, {{0, 6}}, {{0, 6}}});
  EXPECT_EQ(rows, whole);
  EXPECT_EQ(rows.Bands().size(), 1u);
}

TEST(RegionTest, BoxOffsetAndHits) {
  Region r = Region::Combined(Region(RECT{1, 1, 3, 2}), Region(RECT{4, 3, 6, 5}), win::RGN_OR);
  EXPECT_EQ(r.Box(), (RECT{1, 1, 6, 5}));
  EXPECT_TRUE(r.Contains(1, 1));
  EXPECT_FALSE(r.Contains(3, 1));  // right edge excluded
  EXPECT_FALSE(r.Contains(2, 3));  // inside the box, outside the region
  EXPECT_TRUE(r.Intersects(RECT{0, 0, 2, 2}));
  EXPECT_FALSE(r.Intersects(RECT{3, 1, 4, 5}));
  r.Offset(-1, 2);
  EXPECT_EQ(r.Box(), (RECT{0, 3, 5, 7}));
  EXPECT_TRUE(r.Contains(0, 3));
  EXPECT_FALSE(r.Contains(1, 1));
  EXPECT_EQ(Region(RECT{5, 5, 5, 9}).Kind(), win::NULLREGION);
  EXPECT_EQ(Region(RECT{5, 5, 2, 9}).Box(), (RECT{}));
}

}  // namespace
