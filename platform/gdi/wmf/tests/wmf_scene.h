// A page that uses every kind of call the recorder writes: mapping, pens
// (solid, dashed, wide), brushes (solid, hatched, null), shapes, text with
// ExtTextOut spacing and DrawText (wrapping, prefix, clipping), DIB and
// memory-DC blits, and clip regions (selected, intersected, excluded, nested
// in SaveDC). Drawn onto a 200 x 160 surface with the test font. The tests
// compare it drawn directly with it recorded and played back; its recording
// is also the fuzzer's seed.
#pragma once

#include <vector>

#include "platform/gdi/dc.h"
#include "platform/gdi/dib.h"
#include "platform/gdi/tests/dib_writer.h"

namespace wmftest {

constexpr int kWidth = 200, kHeight = 160;

inline void DrawScene(win::Dc& dc, const win::Dc& source) {
  using namespace win;
  dc.SetBkMode(TRANSPARENT);
  dc.SelectPen(CreatePen(PS_SOLID, 0, RGB(200, 0, 0)));
  dc.MoveToEx(2, 2);
  dc.LineTo(150, 30);
  dc.SelectPen(CreatePen(PS_DASH, 0, RGB(0, 0, 200)));
  const POINT zig[] = {{5, 40}, {30, 20}, {55, 40}, {80, 20}};
  dc.Polyline(zig);
  dc.SelectPen(CreatePen(PS_SOLID, 3, RGB(0, 120, 0)));
  dc.SelectBrush(CreateHatchBrush(HS_DIAGCROSS, RGB(90, 90, 0)));
  dc.Rectangle(10, 50, 60, 90);
  dc.SelectBrush(CreateSolidBrush(RGB(0, 160, 160)));
  dc.Ellipse(70, 50, 120, 85);
  dc.RoundRect(125, 50, 190, 85, 12, 10);
  dc.SelectPen(NullPen());
  const POINT star[] = {{150, 95}, {160, 125}, {135, 105}, {165, 105}, {140, 125}};
  dc.SetPolyFillMode(WINDING);
  dc.Polygon(star);
  dc.FillRect(RECT{170, 95, 195, 110}, CreateSolidBrush(RGB(250, 100, 0)));
  dc.FrameRect(RECT{170, 112, 195, 125}, CreateSolidBrush(RGB(0, 0, 0)));
  dc.SetPixel(196, 2, RGB(1, 2, 3));

  LOGFONT lf;
  lf.lfHeight = 10;
  SetFaceName(lf, "Arial");
  dc.SelectFont(lf);
  dc.SetTextColor(RGB(0, 0, 128));
  dc.TextOut(90, 2, "Kopf");
  const int spacing[] = {7, 9, 7, 9, 6};
  const RECT cell{2, 95, 40, 103};
  dc.SetBkColor(RGB(255, 255, 180));
  dc.ExtTextOut(4, 95, ETO_OPAQUE | ETO_CLIPPED, &cell, "Zeile", spacing);
  RECT box{2, 105, 70, 135};
  dc.DrawText("Ein &langer Text im Rechteck", &box, DT_WORDBREAK | DT_CENTER);

  // Blits: a DIB stretched, a memory DC's bitmap copied.
  const auto dib = gditest::EncodeDib({{0xFFFF0000, 0xFF00FF00}, {0xFF0000FF, 0xFFFFFFFF}}, 24, false);
  StretchDIBits(dc, 80, 95, 20, 20, 0, 0, 2, 2, dib.bits, dib.info, DIB_RGB_COLORS, SRCCOPY);
  BitBlt(dc, 105, 95, 20, 20, &source, 0, 0, SRCCOPY);
  StretchBlt(dc, 105, 120, 30, 10, &source, 0, 0, 20, 20, SRCINVERT);

  // Clipping: a region of two boxes, then a hole cut out, undone by RestoreDC.
  const int saved = dc.SaveDC();
  Region clip = Region::Combined(Region(RECT{0, 138, 60, 160}), Region(RECT{80, 145, 200, 160}), RGN_OR);
  dc.SelectClipRgn(&clip);
  dc.ExcludeClipRect(20, 140, 30, 160);
  dc.FillRect(RECT{0, 136, 200, 160}, CreateSolidBrush(RGB(40, 40, 220)));
  dc.IntersectClipRect(100, 0, 150, 160);
  dc.FillRect(RECT{0, 136, 200, 160}, CreateHatchBrush(HS_CROSS, RGB(255, 255, 0)));
  dc.RestoreDC(saved);
  dc.SelectClipRgn(nullptr);
  dc.SetROP2(R2_NOTXORPEN);
  dc.SelectPen(CreatePen(PS_SOLID, 0, RGB(0, 0, 0)));
  dc.MoveToEx(0, 150);
  dc.LineTo(200, 150);
}

// A 20 x 20 memory bitmap with a pattern, the scene's blit source.
inline std::unique_ptr<win::Dc> SceneSource() {
  auto src = win::Dc::CreateCompatible(nullptr);
  src->SelectBitmap(win::CreateBitmap(20, 20, 32));
  src->FillRect(win::RECT{0, 0, 20, 20}, win::CreateSolidBrush(win::RGB(255, 255, 255)));
  src->FillRect(win::RECT{0, 0, 10, 10}, win::CreateSolidBrush(win::RGB(200, 30, 30)));
  src->FillRect(win::RECT{10, 10, 20, 20}, win::CreateSolidBrush(win::RGB(30, 30, 200)));
  return src;
}

}  // namespace wmftest
