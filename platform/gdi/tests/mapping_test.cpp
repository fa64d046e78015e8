#include <gtest/gtest.h>

#include "platform/gdi/tests/gdi_fixture.h"

namespace {

using win::Dc;
using win::POINT;

struct MapCase {
  const char* name;
  int mode;
  POINT windowOrg, viewportOrg;
  win::SIZE windowExt, viewportExt;  // only for the scalable modes
  POINT logical, device;             // LPtoDP(logical) == device
  POINT deviceBack, logicalBack;     // DPtoLP(deviceBack) == logicalBack
};

void Apply(Dc& dc, const MapCase& c) {
  dc.SetMapMode(c.mode);
  if (c.mode == win::MM_ISOTROPIC || c.mode == win::MM_ANISOTROPIC) {
    dc.SetWindowExtEx(c.windowExt.cx, c.windowExt.cy);
    dc.SetViewportExtEx(c.viewportExt.cx, c.viewportExt.cy);
  }
  dc.SetWindowOrgEx(c.windowOrg.x, c.windowOrg.y);
  dc.SetViewportOrgEx(c.viewportOrg.x, c.viewportOrg.y);
}

// Device = (logical - window origin) * viewport extent / window extent +
// viewport origin, rounded half up; fixed modes at 96 dots per inch.
TEST(MappingTest, PointsMapBothWaysWithRounding) {
  const MapCase cases[] = {
      {"text_identity", win::MM_TEXT, {0, 0}, {0, 0}, {}, {}, {7, -3}, {7, -3}, {7, -3}, {7, -3}},
      {"text_origins", win::MM_TEXT, {10, 20}, {3, 4}, {}, {}, {15, 25}, {8, 9}, {8, 9}, {15, 25}},
      // (2540,1270) -> (100,50): 1 device pixel per 25.4 logical units.
      {"aniso_corner", win::MM_ANISOTROPIC, {0, 0}, {0, 0}, {2540, 1270}, {100, 50}, {2540, 1270}, {100, 50},
       {100, 50}, {2540, 1270}},
      {"aniso_half_up", win::MM_ANISOTROPIC, {0, 0}, {0, 0}, {2540, 1270}, {100, 50}, {13, 13}, {1, 1},
       {1, 1}, {25, 25}},
      {"aniso_below_half", win::MM_ANISOTROPIC, {0, 0}, {0, 0}, {2540, 1270}, {100, 50}, {12, 12}, {0, 0},
       {3, 3}, {76, 76}},
      {"aniso_negative_half", win::MM_ANISOTROPIC, {0, 0}, {0, 0}, {2, 2}, {1, 1}, {-1, -3}, {0, -1},
       {-1, -1}, {-2, -2}},
      {"aniso_origins", win::MM_ANISOTROPIC, {100, 100}, {10, 20}, {10, 10}, {4, 4}, {110, 90}, {14, 16},
       {14, 16}, {110, 90}},
      {"aniso_flip_y", win::MM_ANISOTROPIC, {0, 0}, {0, 100}, {10, 10}, {10, -10}, {5, 30}, {5, 70},
       {5, 70}, {5, 30}},
      // Metric and English modes grow upward.
      {"lometric", win::MM_LOMETRIC, {0, 0}, {0, 0}, {}, {}, {254, -254}, {96, 96}, {96, 96}, {254, -254}},
      {"himetric", win::MM_HIMETRIC, {0, 0}, {0, 0}, {}, {}, {1000, 0}, {38, 0}, {38, 0}, {1005, 0}},
      {"loenglish", win::MM_LOENGLISH, {0, 0}, {0, 0}, {}, {}, {50, -25}, {48, 24}, {48, 24}, {50, -25}},
      {"hienglish", win::MM_HIENGLISH, {0, 0}, {0, 0}, {}, {}, {5, 0}, {0, 0}, {1, 0}, {10, 0}},
      {"twips", win::MM_TWIPS, {0, 0}, {0, 0}, {}, {}, {1440, -720}, {96, 48}, {1, 1}, {15, -15}},
  };
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.name);
    gditest::Canvas canvas(4, 4);
    Apply(canvas.dc, c);
    POINT p = c.logical;
    canvas.dc.LPtoDP({&p, 1});
    EXPECT_EQ(p, c.device);
    POINT q = c.deviceBack;
    canvas.dc.DPtoLP({&q, 1});
    EXPECT_EQ(q, c.logicalBack);
  }
}

TEST(MappingTest, ExtentsChangeOnlyInScalableModes) {
  gditest::Canvas c(4, 4);
  win::SIZE old;
  EXPECT_TRUE(c.dc.SetWindowExtEx(10, 10, &old));  // answered, but ignored in MM_TEXT
  EXPECT_EQ(c.dc.GetWindowExt(), (win::SIZE{1, 1}));
  EXPECT_EQ(c.dc.SetMapMode(win::MM_LOMETRIC), win::MM_TEXT);
  c.dc.SetViewportExtEx(5, 5);
  EXPECT_EQ(c.dc.GetViewportExt(), (win::SIZE{96, -96}));
  // Switching to MM_ANISOTROPIC keeps the extents of the mode before.
  c.dc.SetMapMode(win::MM_ANISOTROPIC);
  EXPECT_EQ(c.dc.GetWindowExt(), (win::SIZE{254, 254}));
  EXPECT_FALSE(c.dc.SetWindowExtEx(0, 5));
  EXPECT_EQ(c.dc.GetWindowExt(), (win::SIZE{254, 254}));
  EXPECT_EQ(c.dc.SetMapMode(99), 0);
  EXPECT_EQ(c.dc.GetMapMode(), win::MM_ANISOTROPIC);
}

TEST(MappingTest, IsotropicShrinksTheLargerScale) {
  struct Case {
    win::SIZE window, viewport, expected;
  } cases[] = {
      {{100, 100}, {200, 50}, {50, 50}},     // x would be four times y: x shrinks
      {{100, 100}, {50, -200}, {50, -50}},   // keeps the sign of the shrunk axis
      {{1000, 10}, {100, 100}, {100, 1}},    // y shrinks
      {{1000, 1}, {1, 100}, {1, 1}},         // never to 0
  };
  for (const Case& t : cases) {
    gditest::Canvas c(4, 4);
    c.dc.SetMapMode(win::MM_ISOTROPIC);
    c.dc.SetWindowExtEx(t.window.cx, t.window.cy);
    c.dc.SetViewportExtEx(t.viewport.cx, t.viewport.cy);
    EXPECT_EQ(c.dc.GetViewportExt(), t.expected);
  }
}

// Shapes map their corners: a logical rectangle in (2540,1270)->(100,50)
// fills the device pixels its rounded corners enclose.
TEST(MappingTest, ShapesDrawInMappedUnits) {
  gditest::Canvas c(8, 4);
  c.dc.SetMapMode(win::MM_ANISOTROPIC);
  c.dc.SetWindowExtEx(2540, 1270);
  c.dc.SetViewportExtEx(100, 50);
  c.dc.FillRect({26, 26, 152, 77}, win::CreateSolidBrush(win::RGB(0, 0, 0)));
  EXPECT_EQ(c.Mask(win::kBlack), (std::vector<std::string>{"........", ".#####..", ".#####..", "........"}));
  // Upward modes take rectangles with top above bottom in logical units.
  c.dc.SetMapMode(win::MM_LOENGLISH);  // 1/100 inch: 96 pixels per 100 units
  c.dc.InvertRect({0, 0, 3, -3});  // 2.88 pixels each way: 3
  EXPECT_EQ(c.Mask(win::kBlack), (std::vector<std::string>{"###.....", "#..###..", "#..###..", "........"}));
}

}  // namespace
