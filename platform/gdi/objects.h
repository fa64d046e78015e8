// The drawing objects a device context selects: pens, brushes and palettes.
// They are plain values; a DC keeps its own copy of each selected one, so
// changing or dropping the caller's object never changes a DC. A pattern
// brush shares its pattern bitmap, which nothing changes after creation.
//
// What always holds:
//   1. A pen's width is in logical units; 0 draws one device pixel wide.
//      Styled pens (dash, dot, ...) keep their style only when one device
//      pixel wide; wider ones draw solid, as Win32's cosmetic pens do.
//   2. A brush is solid, null, hatched (one of the HS_* hatches) or a
//      pattern (a bitmap tiled from the DC's brush origin). A monochrome
//      pattern draws its 0 bits in the DC's text colour and its 1 bits in
//      the background colour; a hatched brush draws its lines in the brush
//      colour and the gaps in the background colour when the background
//      mode is OPAQUE.
//   3. A palette holds up to 256 colours. The raster is true colour, so a
//      palette only maps the indexes of DIB_PAL_COLORS bitmaps to colours.
#pragma once

#include <memory>
#include <vector>

#include "platform/gdi/raster.h"
#include "platform/gdi/wingdi.h"

namespace win {

struct Pen {
  int style = PS_SOLID;
  int width = 0;
  COLORREF color = RGB(0, 0, 0);
};

struct Brush {
  int style = BS_SOLID;
  COLORREF color = RGB(255, 255, 255);
  int hatch = HS_HORIZONTAL;
  std::shared_ptr<const Bitmap> pattern;  // BS_PATTERN only
};

// A solid brush of one colour.
inline Brush SolidBrush(COLORREF color) {
  Brush b;
  b.color = color;
  return b;
}

struct Palette {
  std::vector<COLORREF> entries;
};

inline Pen CreatePen(int style, int width, COLORREF color) { return {style, width, color}; }
inline Brush CreateSolidBrush(COLORREF color) { return {BS_SOLID, color, HS_HORIZONTAL, nullptr}; }
inline Brush CreateHatchBrush(int hatch, COLORREF color) { return {BS_HATCHED, color, hatch, nullptr}; }
// A null pattern gives a null brush.
inline Brush CreatePatternBrush(std::shared_ptr<const Bitmap> pattern) {
  return pattern ? Brush{BS_PATTERN, RGB(0, 0, 0), HS_HORIZONTAL, std::move(pattern)}
                 : Brush{BS_NULL, RGB(0, 0, 0), HS_HORIZONTAL, nullptr};
}
inline Pen NullPen() { return {PS_NULL, 0, RGB(0, 0, 0)}; }
inline Brush NullBrush() { return {BS_NULL, RGB(0, 0, 0), HS_HORIZONTAL, nullptr}; }

}  // namespace win
