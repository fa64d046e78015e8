// The drawing layer's names and numbers, in the shape callers of a Win32-style
// GDI expect: colour references, points and rectangles, and the constants of
// mapping modes, raster operations, pens, brushes, stretch modes and device
// capabilities. Everything here is plain data; the state and the drawing live
// in dc.h, the raster in raster.h.
//
// What always holds:
//   1. A COLORREF is 0x00BBGGRR (red in the low byte). A raster pixel is
//      0xFFRRGGBB (see raster.h); ToPixel and ToColor convert between the two.
//   2. Every number equals the one Win32 uses, so values stored by callers
//      (map modes in documents, raster codes in tables) mean the same here.
//   3. A ROP3 code carries its truth table in bits 16..23: for pattern P,
//      source S and destination D the result bit is bit (P*4 + S*2 + D) of it.
//      A ROP2 code r (1..16) has the truth table r-1 over (P*2 + D).
#pragma once

#include <cstdint>

namespace win {

using COLORREF = uint32_t;
using DWORD = uint32_t;
using UINT = unsigned;

struct POINT {
  int32_t x = 0, y = 0;
  friend bool operator==(const POINT&, const POINT&) = default;
};
struct SIZE {
  int32_t cx = 0, cy = 0;
  friend bool operator==(const SIZE&, const SIZE&) = default;
};
struct RECT {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const RECT&, const RECT&) = default;
};

// A 64-bit coordinate cut to the 32-bit range.
constexpr int32_t Clamp32(int64_t v) {
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

// a * b / c rounded to the nearest, halves away from zero; -1 when c is 0
// or the result does not fit 32 bits.
constexpr int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t p = int64_t(a) * b;
  const int64_t q = (p < 0) != (c < 0) ? -((p < 0 ? -p : p) + (c < 0 ? -int64_t(c) : c) / 2) / (c < 0 ? -int64_t(c) : c)
                                       : ((p < 0 ? -p : p) + (c < 0 ? -int64_t(c) : c) / 2) / (c < 0 ? -int64_t(c) : c);
  return q < INT32_MIN || q > INT32_MAX ? -1 : int32_t(q);
}
static_assert(MulDiv(2540, 576, 2540) == 576 && MulDiv(3, 1, 2) == 2 && MulDiv(-3, 1, 2) == -2);

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return uint8_t(c); }
constexpr uint8_t GetGValue(COLORREF c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return uint8_t(c >> 16); }
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Mapping modes.
constexpr int MM_TEXT = 1;
constexpr int MM_LOMETRIC = 2;
constexpr int MM_HIMETRIC = 3;
constexpr int MM_LOENGLISH = 4;
constexpr int MM_HIENGLISH = 5;
constexpr int MM_TWIPS = 6;
constexpr int MM_ISOTROPIC = 7;
constexpr int MM_ANISOTROPIC = 8;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Polygon fill modes.
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;

// Stretch modes.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// ROP2 codes.
constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;

// Named ROP3 codes.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_DASHDOT = 3;
constexpr int PS_DASHDOTDOT = 4;
constexpr int PS_NULL = 5;
constexpr int PS_INSIDEFRAME = 6;

// Brush styles and hatches.
constexpr int BS_SOLID = 0;
constexpr int BS_NULL = 1;
constexpr int BS_HATCHED = 2;
constexpr int BS_PATTERN = 3;
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// Region results and combine modes.
constexpr int ERROR_REGION = 0;  // Win32's ERROR
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

// DIB colour use and compression.
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD CBM_INIT = 4;

// GetDeviceCaps indexes and answers.
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int PHYSICALWIDTH = 110;
constexpr int PHYSICALHEIGHT = 111;
constexpr int PHYSICALOFFSETX = 112;
constexpr int PHYSICALOFFSETY = 113;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_RASPRINTER = 2;
constexpr int DT_METAFILE = 5;
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_BITMAP64 = 0x0008;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

}  // namespace win
