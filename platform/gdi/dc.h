// Device contexts: one state object per DC that holds everything drawing
// depends on (mapping, selected objects, colours, modes, clip region, current
// position) and draws onto a raster bitmap.
//
// Coordinates. Callers speak logical units; the DC maps them to device pixels
//   device = round((logical - windowOrg) * viewportExt / windowExt + viewportOrg)
// per axis, computed exactly in integers and rounded half up (toward +inf),
// and back the same way with the roles swapped. MM_TEXT maps 1:1; the metric
// and English modes map their unit through the device resolution with y
// growing upward; MM_ISOTROPIC shrinks one viewport extent so both axes get
// the same scale; MM_ANISOTROPIC takes the extents as set.
//
// What always holds:
//   1. Extents are never 0. Window and viewport extents change only in
//      MM_ISOTROPIC and MM_ANISOTROPIC; elsewhere setting them is ignored
//      (and answers true), as in Win32.
//   2. The clip region is kept in device pixels; none means "the whole
//      surface". Every drawing call paints only pixels inside the surface
//      and the clip region; nothing else ever touches the raster.
//   3. The surface is never null. A memory DC starts with a 1 x 1
//      monochrome bitmap, so a bitmap made compatible with a fresh memory DC
//      is monochrome; selecting a bitmap replaces the surface.
//   4. SaveDC pushes a copy of the whole state and answers the new depth
//      (1 for the first save); RestoreDC(n) returns to the state saved at
//      depth n (n < 0 counts back from the top) and drops the saves above it.
//   5. Shapes follow Win32's pixel rules: a line covers its first pixel and
//      not its last; a filled shape covers left <= x < right, top <= y <
//      bottom of its device box, and one pixel less in both directions when
//      it has no outline (null pen). The outline and fill of a rectangle,
//      rounded rectangle or ellipse never overlap, so XOR-style raster
//      operations touch each of its pixels once per call (a polygon's
//      outline is drawn over its fill).
//   6. A styled one-pixel pen runs its pattern on along a polyline, a
//      polygon's edge and a rectangle's frame; each LineTo starts it anew.
//   7. Work follows the visible pixels: lines, shapes and blits far larger
//      than the surface cost no more than the part that can be seen.
//
//   8. Text (text.cpp). The selected font is a LOGFONT in logical units,
//      part of State (so SaveDC keeps it); each call realises it for the
//      device by scaling lfHeight and lfWidth through the mapping (never to
//      0 when they were not 0). Glyphs are blended into colour surfaces by
//      their coverage and drawn where coverage >= 128 on monochrome ones;
//      ROP2 does not apply to text. Text paints only inside the visible
//      pixels and, when asked, inside a clip rectangle (ExtTextOut's
//      ETO_CLIPPED, DrawText without DT_NOCLIP). With OPAQUE background
//      mode the text's cell (its advance long, tmHeight high, turned with
//      the escapement) is filled with the background colour first.
//   9. DrawText lays its text out in device pixels with the realised font,
//      so it works under every mapping mode; the height it answers and the
//      rectangle of DT_CALCRECT are converted back to logical units.
//  10. A DC with an output (SetOutput) keeps its state exactly as above but
//      hands every drawing call to the output instead of the raster, in
//      logical units, and tells it every state change after applying it.
//      A metafile recorder writes both down; a painter on another medium
//      reads the state when it draws. DrawText reaches the output as
//      ExtTextOut calls (one per line, within SaveDC/RestoreDC), so an
//      output never lays out text itself.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts/drawtext.h"
#include "platform/fonts/font.h"
#include "platform/fonts/logfont.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/raster.h"
#include "platform/gdi/region.h"
#include "platform/gdi/wingdi.h"

namespace win {

class Dc;

// Where a DC with an output sends its calls (invariant 10). State calls
// carry the number of the metafile record that sets the same state and its
// parameters in the record's order (wmf/records.h); the objects and the clip
// region come whole. Drawing calls come in logical units; the DC's state
// (Current(), ToDevice) is the one to draw with.
class DcOutput {
 public:
  virtual ~DcOutput() = default;
  virtual void State(uint16_t /*function*/, std::initializer_list<int32_t> /*params*/) {}
  virtual void PenSelected(const Pen& /*pen*/) {}
  virtual void BrushSelected(const Brush& /*brush*/) {}
  virtual void FontSelected(const LOGFONT& /*font*/) {}
  // Null removes the clip; regions are in device pixels.
  virtual void ClipSelected(const Region* /*region*/) {}

  // From the current position (already moved by MoveToEx) to `to`.
  virtual void LineTo(const Dc& dc, POINT from, POINT to) = 0;
  virtual void Poly(const Dc& dc, bool closed, std::span<const POINT> points) = 0;
  // kind: the record of Rectangle, Ellipse or RoundRect (corner size w, h).
  virtual void Box(const Dc& dc, uint16_t kind, const RECT& r, int w, int h) = 0;
  virtual void SetPixel(const Dc& dc, int x, int y, COLORREF c) = 0;
  // kind: the record of FillRgn, PaintRgn, InvertRgn or FrameRgn; the
  // region in logical units; brush null for PaintRgn and InvertRgn.
  virtual void FillRegion(const Dc& dc, uint16_t kind, const Region& region, const Brush* brush, int w, int h) = 0;
  virtual void PatBlt(const Dc& dc, int x, int y, int width, int height, DWORD rop) = 0;
  virtual void Text(const Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                    const int* dx) = 0;
  // A DIB drawn into the logical rectangle dst from the DIB's rectangle src
  // (rows counted as StretchDIBits counts them).
  virtual void Dib(const Dc& dc, const RECT& dst, const RECT& src, std::span<const uint8_t> info,
                   std::span<const uint8_t> bits, UINT usage, DWORD rop) = 0;
};

// What GetDeviceCaps answers. A size of 0 is taken from the surface the DC
// is made on; memory DCs answer for the device of the DC they were made
// compatible with (the 1024 x 768 screen when none).
struct DeviceCaps {
  int technology = DT_RASDISPLAY;
  int width = 0, height = 0;  // pixels
  int dpiX = 96, dpiY = 96;
  // A printer's paper: its whole size and where the printable pixels
  // (width x height) begin on it; a paper of 0 is the printable area.
  int physicalWidth = 0, physicalHeight = 0, offsetX = 0, offsetY = 0;
  int rasterCaps = RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
};

// Text alignment (SetTextAlign) and ExtTextOut options.
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
constexpr UINT TA_MASK = TA_UPDATECP | TA_CENTER | TA_BASELINE;
constexpr UINT ETO_OPAQUE = 2;
constexpr UINT ETO_CLIPPED = 4;

// The font a DC starts with: the system font, 16 pixels high, bold.
LOGFONT SystemFont();

class Dc {
 public:
  struct State {
    int mapMode = MM_TEXT;
    POINT windowOrg, viewportOrg;
    SIZE windowExt{1, 1}, viewportExt{1, 1};
    Pen pen;
    Brush brush;
    std::shared_ptr<const Palette> palette;
    std::shared_ptr<Bitmap> surface;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int polyFillMode = ALTERNATE;
    int stretchMode = BLACKONWHITE;
    POINT brushOrg;
    std::optional<Region> clip;  // device pixels
    POINT pos;                   // current position, logical
    LOGFONT font = SystemFont();  // logical units
    UINT textAlign = TA_TOP | TA_LEFT | TA_NOUPDATECP;
  };

  // A DC that draws onto surface (a window's raster, a printer page).
  explicit Dc(std::shared_ptr<Bitmap> surface, DeviceCaps caps = {});
  virtual ~Dc();
  Dc(const Dc&) = delete;
  Dc& operator=(const Dc&) = delete;
  // A memory DC on the device of ref (the screen when null), holding a
  // 1 x 1 monochrome bitmap.
  static std::unique_ptr<Dc> CreateCompatible(const Dc* ref);

  bool IsMemory() const { return memory_; }
  const DeviceCaps& Caps() const { return caps_; }
  const State& Current() const { return s_; }
  Bitmap& Surface() const { return *s_.surface; }
  int GetDeviceCaps(int index) const;
  // Invariant 10: from now on drawing goes to output (null: to the raster
  // again). Answers the previous output.
  std::unique_ptr<DcOutput> SetOutput(std::unique_ptr<DcOutput> output);
  DcOutput* Output() const { return out_.get(); }

  // --- state ---
  int SaveDC();
  bool RestoreDC(int level);

  // Each answers the previous value; the setters of ROP2, background,
  // fill and stretch modes answer 0 for a value out of range and change nothing.
  COLORREF SetTextColor(COLORREF c);
  COLORREF SetBkColor(COLORREF c);
  int SetBkMode(int mode);
  int SetROP2(int rop2);
  int SetPolyFillMode(int mode);
  int SetStretchBltMode(int mode);
  POINT SetBrushOrg(POINT org);
  Pen SelectPen(const Pen& pen);
  Brush SelectBrush(const Brush& brush);
  std::shared_ptr<const Palette> SelectPalette(std::shared_ptr<const Palette> palette);
  // Memory DCs only: answers the previous bitmap, null when refused (not a
  // memory DC, or no bitmap).
  std::shared_ptr<Bitmap> SelectBitmap(std::shared_ptr<Bitmap> bitmap);

  // --- mapping ---
  // Answers the previous mode, 0 for an unknown one.
  int SetMapMode(int mode);
  int GetMapMode() const { return s_.mapMode; }
  bool SetWindowOrgEx(int x, int y, POINT* old = nullptr);
  bool SetViewportOrgEx(int x, int y, POINT* old = nullptr);
  bool OffsetWindowOrgEx(int dx, int dy, POINT* old = nullptr);
  bool OffsetViewportOrgEx(int dx, int dy, POINT* old = nullptr);
  bool SetWindowExtEx(int cx, int cy, SIZE* old = nullptr);
  bool SetViewportExtEx(int cx, int cy, SIZE* old = nullptr);
  POINT GetWindowOrg() const { return s_.windowOrg; }
  POINT GetViewportOrg() const { return s_.viewportOrg; }
  SIZE GetWindowExt() const { return s_.windowExt; }
  SIZE GetViewportExt() const { return s_.viewportExt; }
  void LPtoDP(std::span<POINT> points) const;
  void DPtoLP(std::span<POINT> points) const;
  POINT ToDevice(POINT p) const;
  // A logical rectangle in device pixels, normalised (left <= right, top <= bottom).
  RECT ToDevice(const RECT& r) const;

  // --- clipping (regions in device pixels, rectangles in logical units) ---
  // SelectClipRgn copies the region; null removes the clip. Answers the kind.
  int SelectClipRgn(const Region* region);
  int IntersectClipRect(int left, int top, int right, int bottom);
  int ExcludeClipRect(int left, int top, int right, int bottom);
  int OffsetClipRgn(int dx, int dy);  // logical units
  int GetClipBox(RECT* box) const;    // logical units
  bool PtVisible(int x, int y) const;
  // The pixels drawing may touch: the surface within the clip region.
  Region Visible() const;

  // --- lines and shapes (logical units) ---
  bool MoveToEx(int x, int y, POINT* old = nullptr);
  bool LineTo(int x, int y);
  bool Polyline(std::span<const POINT> points);
  bool Polygon(std::span<const POINT> points);
  bool Rectangle(int left, int top, int right, int bottom);
  bool RoundRect(int left, int top, int right, int bottom, int width, int height);
  bool Ellipse(int left, int top, int right, int bottom);
  COLORREF SetPixel(int x, int y, COLORREF c);  // answers the colour set, CLR_INVALID outside
  COLORREF GetPixel(int x, int y) const;        // CLR_INVALID outside the visible pixels

  // --- fills with a given brush (logical units; ROP2 does not apply) ---
  bool FillRect(const RECT& r, const Brush& brush);
  bool FrameRect(const RECT& r, const Brush& brush);
  bool InvertRect(const RECT& r);
  // A dotted frame drawn by inverting every other pixel: drawing it twice
  // restores the pixels.
  bool DrawFocusRect(const RECT& r);
  // Regions here are in logical units, as Win32's region fills take them.
  bool FillRgn(const Region& region, const Brush& brush);
  bool PaintRgn(const Region& region);  // with the selected brush and ROP2
  bool InvertRgn(const Region& region);
  bool FrameRgn(const Region& region, const Brush& brush, int width, int height);

  // --- text (text.cpp; logical units) ---
  // Answers the previous font.
  LOGFONT SelectFont(const LOGFONT& font);
  const LOGFONT& GetFont() const { return s_.font; }
  // The selected font realised for the device: sizes in device pixels.
  std::shared_ptr<const platform::fonts::Font> DeviceFont() const;
  // Answers the previous alignment; bits outside TA_MASK are dropped.
  UINT SetTextAlign(UINT align);
  UINT GetTextAlign() const { return s_.textAlign; }
  // The metrics in logical units.
  bool GetTextMetrics(TEXTMETRIC* metrics) const;
  std::string GetTextFace() const;
  // The text's advance and the font's height, in logical units.
  bool GetTextExtentPoint32(std::string_view text, SIZE* size) const;
  // With TA_UPDATECP the text starts at the current position (x and y are
  // not used) and the current position moves past it.
  bool TextOut(int x, int y, std::string_view text);
  // rect may be null; dx, when given, holds one advance per character.
  bool ExtTextOut(int x, int y, UINT options, const RECT* rect, std::string_view text, const int* dx = nullptr);
  // Where ExtTextOut puts a text, in device pixels: the realised font, the
  // aligned start (origin), the reference point of the first character
  // (the start of its baseline), the advances (only with dx) and the width.
  struct TextPlacement {
    std::shared_ptr<const platform::fonts::Font> font;
    POINT origin, ref;
    std::vector<int> advances;
    int64_t width = 0;
  };
  TextPlacement PlaceText(int x, int y, std::string_view text, const int* dx) const;
  // DrawText with the layout's flags; answers the text's height (0 for a
  // null rectangle). DT_CALCRECT only adjusts *rect.
  int DrawText(std::string_view text, RECT* rect, UINT format);

  // --- blits (blit.cpp, dib.cpp) ---
  // Paints the device rectangle dst (edges may be given in either order)
  // with the selected brush through a ROP3 that does not use a source.
  bool PatBlt(int x, int y, int width, int height, DWORD rop);

  // Paints region (device pixels, clipped here) with one colour or the brush.
  struct Ink;
  void PaintRegion(const Region& region, const Ink& ink, int rop2);
  // The selected brush as ink, resolved against this DC's colours.
  Ink BrushInk(const Brush& brush) const;

 private:
  void AdjustIsotropic();
  // The setters of modes, origins and extents, telling the output (invariant 10).
  int SetMode(uint16_t function, int& field, int value, int low, int high);
  bool SetOrigin(uint16_t function, POINT& origin, int x, int y, POINT* old);
  static bool MoveOrigin(POINT& origin, int dx, int dy, POINT* old);
  bool SetExtent(SIZE& extent, int cx, int cy, SIZE* old);
  int DevicePenWidth() const;
  Region LogicalToDevice(const Region& region) const;
  // Outline (pen) and fill (brush) of a shape within box whose row y holds
  // the pixels rowAt(y) (one span, empty outside the shape).
  void PaintShape(const RECT& box, const std::function<Region::Span(int64_t)>& rowAt, bool outline);
  // Rectangles, rounded rectangles and ellipses: a logical box with corners
  // of the given device size (the whole box for an ellipse).
  void DrawBox(const RECT& logical, int32_t cornerWidth, int32_t cornerHeight);
  // Device pixels, last pixel excluded. A styled pen's pattern starts at
  // *dashPos (0 when null) and *dashPos moves on by the line's length.
  void PaintLine(POINT a, POINT b, int64_t* dashPos = nullptr);
  int ClipWith(const Region& region, int op);
  // The pixels inside a polygon of device points (at least 2) by the fill
  // mode, within the visible rows.
  Region PolygonRegion(std::span<const POINT> dev, int fillMode) const;
  // Lengths between logical units and device pixels, rounded, sign kept.
  int32_t DeviceLengthX(int64_t logical) const;
  int32_t DeviceLengthY(int64_t logical) const;
  int32_t LogicalLengthX(int64_t device) const;
  int32_t LogicalLengthY(int64_t device) const;
  // Draws text from the device reference point ref (the start of its
  // baseline) inside clip; fills the cell first in OPAQUE background mode.
  void PaintText(const platform::fonts::Font& font, POINT ref, std::string_view text, const int* dx,
                 const Region& clip);
  // Blends a coverage mask whose anchor lies at anchor in the text colour.
  void PaintMask(const platform::fonts::CoverageMask& mask, POINT anchor, const Region& clip);
  // DrawText on an output (invariant 10): the layout's lines as ExtTextOut
  // calls; deviceClip is the layout's clip rectangle when it clips.
  void OutputDrawText(const platform::fonts::DrawTextLayout& layout, const RECT* deviceClip);
  // The pixels text may touch: the visible ones, within rect when given.
  Region TextClip(const RECT* deviceRect) const;

  DeviceCaps caps_;
  std::unique_ptr<DcOutput> out_;
  bool memory_ = false;
  State s_;
  std::vector<State> saved_;
};

// How a region gets its pixels: one colour, or a brush pattern anchored at
// the brush origin. Transparent gaps of hatches are left alone.
struct Dc::Ink {
  enum Kind { kNone, kSolid, kHatch, kPattern } kind = kNone;
  uint32_t fore = kBlack, back = kWhite;
  bool opaqueBack = true;
  int hatch = 0;
  const Bitmap* pattern = nullptr;
  POINT org;
  // False when the pixel is left as it is.
  bool At(int32_t x, int32_t y, uint32_t& pixel) const;
};

// --- blits between DCs (blit.cpp) ---
// The source rectangle is in the source DC's logical units. A source of
// null is allowed only for ROP3 codes that do not use one.
bool BitBlt(Dc& dst, int x, int y, int width, int height, const Dc* src, int xSrc, int ySrc, DWORD rop);
bool StretchBlt(Dc& dst, int x, int y, int width, int height, const Dc* src, int xSrc, int ySrc,
                int widthSrc, int heightSrc, DWORD rop);

// How source pixels become destination pixels in a blit.
enum class SourceColors {
  kSame,         // same format, or colour DIB pixels onto colour
  kMonoToColor,  // 0 bits -> text colour, 1 bits -> background colour of the destination
  kColorToMono,  // the source DC's background colour -> white, everything else -> black
  kNearestMono,  // DIB pixels onto monochrome: the nearer of black and white
};

// The source pixels of a blit, row by row (rows counted from the top). The
// blit engine announces the rows of each destination row's source box
// (Prepare) before it reads them (Row), so a source may make its rows only
// then: a large DIB need not exist whole as 32-bit pixels.
class PixelRows {
 public:
  virtual ~PixelRows() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual bool Mono() const = 0;
  // Rows first .. last - 1 are read until the next Prepare.
  virtual void Prepare(int32_t first, int32_t last) = 0;
  virtual const uint32_t* Row(int32_t y) const = 0;
};

// The blit engine both the DC blits and the DIB blits use. dst is in device
// pixels of the destination, src in pixels of the source; negative extents
// mirror. Source pixels outside the source are not drawn. dstRect and
// srcRect run from (left, top) to (right, bottom); src may be null when the
// ROP3 code does not use a source.
void StretchPixels(Dc& dst, const RECT& dstRect, PixelRows* src, const RECT& srcRect, SourceColors colors,
                   uint32_t sourceBack, DWORD rop);
void StretchPixels(Dc& dst, const RECT& dstRect, const Bitmap* src, const RECT& srcRect, SourceColors colors,
                   uint32_t sourceBack, DWORD rop);

// A bitmap's description, as GetObject answers it: rows are counted in
// whole 16-bit words, planes are 1.
struct BITMAP {
  int32_t bmType = 0, bmWidth = 0, bmHeight = 0, bmWidthBytes = 0;
  uint16_t bmPlanes = 1, bmBitsPixel = 0;
};
BITMAP GetObject(const Bitmap& bitmap);
// A black bitmap of the description's size, monochrome for 1 bit per pixel.
std::shared_ptr<Bitmap> CreateBitmapIndirect(const BITMAP& description);

// Bitmaps compatible with a DC: its surface's format (monochrome for a fresh
// memory DC). Null for a bad size.
std::shared_ptr<Bitmap> CreateCompatibleBitmap(const Dc& dc, int width, int height);
// A monochrome or colour bitmap (bitsPixel 1, or 24/32 for colour), black.
std::shared_ptr<Bitmap> CreateBitmap(int width, int height, int bitsPixel);

}  // namespace win
