#include "platform/gdi/dc.h"

#include "platform/gdi/wmf/records.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <utility>

namespace win {
namespace {

using Span = Region::Span;


// b - a, saturated; never below -INT32_MAX, so std::abs of it is safe.
int32_t Distance(int32_t a, int32_t b) {
  return int32_t(std::clamp<int64_t>(int64_t(b) - a, -INT32_MAX, INT32_MAX));
}

// num / den rounded half up, exactly, for any 64-bit operands; den is never
// 0. The doubled numerator needs more than 64 bits.
int64_t RoundDiv(__int128 num, __int128 den) {
  if (den < 0) {
    num = -num;
    den = -den;
  }
  const __int128 twice = 2 * num + den, q = twice / (2 * den);
  const __int128 floor = (twice % (2 * den) != 0 && twice < 0) ? q - 1 : q;
  return int64_t(std::clamp<__int128>(floor, INT64_MIN, INT64_MAX));
}

// |length| * |to| / |from| rounded half up, with the sign of length.
int32_t ScaleLength(int64_t length, int32_t from, int32_t to) {
  const int64_t m = RoundDiv(__int128(length < 0 ? -length : length) * std::abs(int64_t(to)), std::abs(int64_t(from)));
  return Clamp32(length < 0 ? -m : m);
}

int32_t MapAxis(int32_t v, int32_t fromOrg, int32_t fromExt, int32_t toExt, int32_t toOrg) {
  return Clamp32(RoundDiv(__int128(int64_t(v) - fromOrg) * toExt, fromExt) + toOrg);
}

// Units per inch of the fixed mapping modes.
int UnitsPerInch(int mode) {
  switch (mode) {
    case MM_LOMETRIC: return 254;
    case MM_HIMETRIC: return 2540;
    case MM_LOENGLISH: return 100;
    case MM_HIENGLISH: return 1000;
    case MM_TWIPS: return 1440;
    default: return 0;
  }
}

// Collects the pixels of lines and strokes row by row, for the rows
// top <= y < bottom only (the visible ones).
class RowSet {
 public:
  RowSet(int32_t top, int32_t bottom) : top_(top), rows_(size_t(std::max<int64_t>(0, int64_t(bottom) - top))) {}
  // A span that overlaps or touches the row's last one extends it, so a wide
  // pen's steps along a row cost one span, not one each.
  void Add(int32_t y, int32_t left, int32_t right) {
    if (left >= right || y < top_ || int64_t(y) - top_ >= int64_t(rows_.size())) return;
    std::vector<Span>& row = rows_[size_t(int64_t(y) - top_)];
    if (!row.empty() && left <= row.back().right && right >= row.back().left) {
      row.back() = {std::min(row.back().left, left), std::max(row.back().right, right)};
      return;
    }
    row.push_back({left, right});
  }
  Region Build() const { return Region::FromRows(top_, rows_); }

 private:
  int32_t top_;
  std::vector<std::vector<Span>> rows_;
};

// Calls f(x, y, i) for the pixels of the line from a towards b, b excluded;
// i counts the pixels from a. Step i moves the major axis by i and the minor
// one by i x minor / major, rounded half up in size, so a pixel's place does
// not depend on where the walk starts. Only the steps whose major coordinate
// lies in [low, high) of the window are walked: a line of any length costs
// at most the window's size.
template <typename F>
void ForEachLinePixel(POINT a, POINT b, const RECT& window, F&& f) {
  const int64_t dx = std::llabs(int64_t(b.x) - a.x), dy = std::llabs(int64_t(b.y) - a.y);
  const int sx = b.x >= a.x ? 1 : -1, sy = b.y >= a.y ? 1 : -1;
  const bool xMajor = dx >= dy;
  const int64_t major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
  const int64_t start = xMajor ? a.x : a.y, step = xMajor ? sx : sy;
  const int64_t low = xMajor ? window.left : window.top, high = xMajor ? window.right : window.bottom;
  // Steps i with low <= start + step * i < high.
  int64_t first = step > 0 ? low - start : start - (high - 1);
  int64_t last = step > 0 ? high - 1 - start : start - low;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, major - 1);
  for (int64_t i = first; i <= last; ++i) {
    const int64_t along = start + step * i;
    const int64_t across = major ? int64_t((__int128(2) * i * minor + major) / (2 * major)) : 0;
    const int64_t x = xMajor ? along : a.x + sx * across, y = xMajor ? a.y + sy * across : along;
    f(int32_t(x), int32_t(y), i);
  }
}

// On/off run lengths in pixels of the styled one-pixel pens.
std::span<const int> DashPattern(int style) {
  static const int dash[] = {18, 6}, dot[] = {3, 3}, dashDot[] = {9, 6, 3, 6},
                   dashDotDot[] = {9, 3, 3, 3, 3, 3};
  switch (style) {
    case PS_DASH: return dash;
    case PS_DOT: return dot;
    case PS_DASHDOT: return dashDot;
    case PS_DASHDOTDOT: return dashDotDot;
    default: return {};
  }
}

bool OnDash(std::span<const int> pattern, int64_t i) {
  int total = 0;
  for (int run : pattern) total += run;
  int64_t pos = i % total;
  for (size_t k = 0; k < pattern.size(); ++k) {
    if (pos < pattern[k]) return k % 2 == 0;
    pos -= pattern[k];
  }
  return true;
}

// Row y of a box with rounded corners: corners are quarter ellipses of width
// ew and height eh (0 for square corners). A pixel belongs to the row when its
// centre lies within the row's extent; rows outside the box are empty.
Span RoundedRow(const RECT& box, int32_t ew, int32_t eh, int64_t y) {
  const int64_t width = int64_t(box.right) - box.left, height = int64_t(box.bottom) - box.top;
  if (width <= 0 || height <= 0 || y < box.top || y >= box.bottom) return {0, 0};
  const double rx = double(std::min<int64_t>(std::abs(int64_t(ew)), width)) / 2;
  const double ry = double(std::min<int64_t>(std::abs(int64_t(eh)), height)) / 2;
  const double yc = double(y) + 0.5;
  double dy = 0;
  if (ry > 0 && yc < box.top + ry)
    dy = (box.top + ry - yc) / ry;
  else if (ry > 0 && yc > box.bottom - ry)
    dy = (yc - (box.bottom - ry)) / ry;
  const double inset = rx > 0 ? rx * (1 - std::sqrt(std::max(0.0, 1 - dy * dy))) : 0;
  const int64_t x0 = int64_t(std::ceil(box.left + inset - 0.5));
  const int64_t x1 = int64_t(std::floor(box.right - inset - 0.5)) + 1;
  return x1 > x0 ? Span{int32_t(x0), int32_t(x1)} : Span{0, 0};
}

// Sets a mode that must lie in low..high; answers the old one, or 0 (and
// keeps it) for a value out of range.
int SetInRange(int& field, int value, int low, int high) {
  if (value < low || value > high) return 0;
  return std::exchange(field, value);
}

// The one-pixel frame just inside a device rectangle.
Region FrameOf(const RECT& d) {
  return Region::Combined(Region(d), Region(RECT{d.left + 1, d.top + 1, d.right - 1, d.bottom - 1}), RGN_DIFF);
}

std::shared_ptr<const Bitmap> CheckerPattern() {
  static const std::shared_ptr<const Bitmap> pattern = [] {
    auto b = Bitmap::Create(2, 2, 1);
    b->Set(1, 0, kWhite);
    b->Set(0, 1, kWhite);
    return std::shared_ptr<const Bitmap>(b);
  }();
  return pattern;
}

}  // namespace

// --- construction and state ---

Dc::Dc(std::shared_ptr<Bitmap> surface, DeviceCaps caps) : caps_(caps) {
  s_.surface = surface ? std::move(surface) : Bitmap::Create(1, 1, 1);
  if (caps_.width <= 0 || caps_.height <= 0) {
    caps_.width = s_.surface->Width();
    caps_.height = s_.surface->Height();
  }
}

Dc::~Dc() = default;

std::unique_ptr<DcOutput> Dc::SetOutput(std::unique_ptr<DcOutput> output) {
  return std::exchange(out_, std::move(output));
}

std::unique_ptr<Dc> Dc::CreateCompatible(const Dc* ref) {
  DeviceCaps screen;
  screen.width = 1024;
  screen.height = 768;
  auto dc = std::make_unique<Dc>(Bitmap::Create(1, 1, 1), ref ? ref->caps_ : screen);
  dc->memory_ = true;
  return dc;
}

int Dc::GetDeviceCaps(int index) const {
  const int width = caps_.width, height = caps_.height;
  switch (index) {
    case TECHNOLOGY: return caps_.technology;
    case HORZRES: return width;
    case VERTRES: return height;
    case HORZSIZE: return int(RoundDiv(int64_t(width) * 254, int64_t(caps_.dpiX) * 10));
    case VERTSIZE: return int(RoundDiv(int64_t(height) * 254, int64_t(caps_.dpiY) * 10));
    case PHYSICALWIDTH: return caps_.physicalWidth ? caps_.physicalWidth : width;
    case PHYSICALHEIGHT: return caps_.physicalHeight ? caps_.physicalHeight : height;
    case PHYSICALOFFSETX: return caps_.offsetX;
    case PHYSICALOFFSETY: return caps_.offsetY;
    case LOGPIXELSX: return caps_.dpiX;
    case LOGPIXELSY: return caps_.dpiY;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case RASTERCAPS: return caps_.rasterCaps;
    case SIZEPALETTE: return 0;
    default: return 0;
  }
}

int Dc::SaveDC() {
  if (out_) out_->State(wmf::kSaveDc, {});
  saved_.push_back(s_);
  return int(saved_.size());
}

bool Dc::RestoreDC(int level) {
  const int depth = int(saved_.size());
  if (level < 0) level = depth + 1 + level;
  if (level < 1 || level > depth) return false;
  if (out_) out_->State(wmf::kRestoreDc, {level - depth - 1});
  s_ = std::move(saved_[size_t(level - 1)]);
  saved_.resize(size_t(level - 1));
  return true;
}

COLORREF Dc::SetTextColor(COLORREF c) {
  if (out_) out_->State(wmf::kSetTextColor, {int32_t(c & 0xFFFFFF)});
  return std::exchange(s_.textColor, c & 0xFFFFFF);
}
COLORREF Dc::SetBkColor(COLORREF c) {
  if (out_) out_->State(wmf::kSetBkColor, {int32_t(c & 0xFFFFFF)});
  return std::exchange(s_.bkColor, c & 0xFFFFFF);
}

int Dc::SetMode(uint16_t function, int& field, int value, int low, int high) {
  const int old = SetInRange(field, value, low, high);
  if (out_ && old) out_->State(function, {value});
  return old;
}
int Dc::SetBkMode(int mode) { return SetMode(wmf::kSetBkMode, s_.bkMode, mode, TRANSPARENT, OPAQUE); }
int Dc::SetROP2(int rop2) { return SetMode(wmf::kSetRop2, s_.rop2, rop2, R2_BLACK, R2_WHITE); }
int Dc::SetPolyFillMode(int mode) { return SetMode(wmf::kSetPolyFillMode, s_.polyFillMode, mode, ALTERNATE, WINDING); }
int Dc::SetStretchBltMode(int mode) {
  return SetMode(wmf::kSetStretchBltMode, s_.stretchMode, mode, BLACKONWHITE, HALFTONE);
}
POINT Dc::SetBrushOrg(POINT org) { return std::exchange(s_.brushOrg, org); }
Pen Dc::SelectPen(const Pen& pen) {
  if (out_) out_->PenSelected(pen);
  return std::exchange(s_.pen, pen);
}
Brush Dc::SelectBrush(const Brush& brush) {
  if (out_) out_->BrushSelected(brush);
  return std::exchange(s_.brush, brush);
}
std::shared_ptr<const Palette> Dc::SelectPalette(std::shared_ptr<const Palette> palette) {
  return std::exchange(s_.palette, std::move(palette));
}
std::shared_ptr<Bitmap> Dc::SelectBitmap(std::shared_ptr<Bitmap> bitmap) {
  if (!memory_ || !bitmap) return nullptr;
  return std::exchange(s_.surface, std::move(bitmap));
}

// --- mapping ---

int Dc::SetMapMode(int mode) {
  if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
  if (out_) out_->State(wmf::kSetMapMode, {mode});
  const int old = s_.mapMode;
  s_.mapMode = mode;
  if (mode == MM_TEXT) {
    s_.windowExt = {1, 1};
    s_.viewportExt = {1, 1};
  } else if (int units = UnitsPerInch(mode)) {
    s_.windowExt = {units, units};
    s_.viewportExt = {caps_.dpiX, -caps_.dpiY};
  } else if (mode == MM_ISOTROPIC) {
    AdjustIsotropic();
  }
  return old;
}

void Dc::AdjustIsotropic() {
  if (s_.mapMode != MM_ISOTROPIC) return;
  SIZE& v = s_.viewportExt;
  const SIZE& w = s_.windowExt;
  // Device units per logical unit on each axis, in inches.
  const double xdim = std::abs(double(v.cx)) / caps_.dpiX / std::abs(double(w.cx));
  const double ydim = std::abs(double(v.cy)) / caps_.dpiY / std::abs(double(w.cy));
  if (xdim > ydim) {
    const int32_t cx = Clamp32(std::llround(v.cx * ydim / xdim));
    v.cx = cx ? cx : (v.cx >= 0 ? 1 : -1);
  } else if (ydim > xdim) {
    const int32_t cy = Clamp32(std::llround(v.cy * xdim / ydim));
    v.cy = cy ? cy : (v.cy >= 0 ? 1 : -1);
  }
}

bool Dc::SetOrigin(uint16_t function, POINT& origin, int x, int y, POINT* old) {
  if (out_) out_->State(function, {y, x});
  if (old) *old = origin;
  origin = {x, y};
  return true;
}
bool Dc::SetWindowOrgEx(int x, int y, POINT* old) { return SetOrigin(wmf::kSetWindowOrg, s_.windowOrg, x, y, old); }
bool Dc::SetViewportOrgEx(int x, int y, POINT* old) {
  return SetOrigin(wmf::kSetViewportOrg, s_.viewportOrg, x, y, old);
}
bool Dc::OffsetWindowOrgEx(int dx, int dy, POINT* old) {
  if (out_) out_->State(wmf::kOffsetWindowOrg, {dy, dx});
  return MoveOrigin(s_.windowOrg, dx, dy, old);
}
bool Dc::OffsetViewportOrgEx(int dx, int dy, POINT* old) {
  if (out_) out_->State(wmf::kOffsetViewportOrg, {dy, dx});
  return MoveOrigin(s_.viewportOrg, dx, dy, old);
}
bool Dc::MoveOrigin(POINT& origin, int dx, int dy, POINT* old) {
  if (old) *old = origin;
  origin = {Clamp32(int64_t(origin.x) + dx), Clamp32(int64_t(origin.y) + dy)};
  return true;
}

bool Dc::SetExtent(SIZE& extent, int cx, int cy, SIZE* old) {
  if (old) *old = extent;
  if (s_.mapMode != MM_ISOTROPIC && s_.mapMode != MM_ANISOTROPIC) return true;
  if (cx == 0 || cy == 0) return false;
  extent = {cx, cy};
  AdjustIsotropic();
  return true;
}

bool Dc::SetWindowExtEx(int cx, int cy, SIZE* old) {
  if (out_ && cx && cy) out_->State(wmf::kSetWindowExt, {cy, cx});
  return SetExtent(s_.windowExt, cx, cy, old);
}
bool Dc::SetViewportExtEx(int cx, int cy, SIZE* old) {
  if (out_ && cx && cy) out_->State(wmf::kSetViewportExt, {cy, cx});
  return SetExtent(s_.viewportExt, cx, cy, old);
}

POINT Dc::ToDevice(POINT p) const {
  return {MapAxis(p.x, s_.windowOrg.x, s_.windowExt.cx, s_.viewportExt.cx, s_.viewportOrg.x),
          MapAxis(p.y, s_.windowOrg.y, s_.windowExt.cy, s_.viewportExt.cy, s_.viewportOrg.y)};
}

void Dc::LPtoDP(std::span<POINT> points) const {
  for (POINT& p : points) p = ToDevice(p);
}

void Dc::DPtoLP(std::span<POINT> points) const {
  for (POINT& p : points)
    p = {MapAxis(p.x, s_.viewportOrg.x, s_.viewportExt.cx, s_.windowExt.cx, s_.windowOrg.x),
         MapAxis(p.y, s_.viewportOrg.y, s_.viewportExt.cy, s_.windowExt.cy, s_.windowOrg.y)};
}

RECT Dc::ToDevice(const RECT& r) const {
  const POINT a = ToDevice(POINT{r.left, r.top}), b = ToDevice(POINT{r.right, r.bottom});
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

int Dc::DevicePenWidth() const {
  if (s_.pen.width <= 1) return 1;
  const int64_t w = RoundDiv(int64_t(s_.pen.width) * std::abs(int64_t(s_.viewportExt.cx)),
                             std::abs(int64_t(s_.windowExt.cx)));
  return int(std::clamp<int64_t>(w, 1, 1 << 16));
}

int32_t Dc::DeviceLengthX(int64_t logical) const { return ScaleLength(logical, s_.windowExt.cx, s_.viewportExt.cx); }
int32_t Dc::DeviceLengthY(int64_t logical) const { return ScaleLength(logical, s_.windowExt.cy, s_.viewportExt.cy); }
int32_t Dc::LogicalLengthX(int64_t device) const { return ScaleLength(device, s_.viewportExt.cx, s_.windowExt.cx); }
int32_t Dc::LogicalLengthY(int64_t device) const { return ScaleLength(device, s_.viewportExt.cy, s_.windowExt.cy); }

Region Dc::LogicalToDevice(const Region& region) const {
  Region out;
  for (const Region::Band& band : region.Bands())
    for (const Span& s : band.spans)
      out = Region::Combined(out, Region(ToDevice(RECT{s.left, band.top, s.right, band.bottom})), RGN_OR);
  return out;
}

// --- clipping ---

Region Dc::Visible() const {
  const Region bounds(RECT{0, 0, Surface().Width(), Surface().Height()});
  return s_.clip ? Region::Combined(bounds, *s_.clip, RGN_AND) : bounds;
}

int Dc::SelectClipRgn(const Region* region) {
  if (out_) out_->ClipSelected(region);
  if (region)
    s_.clip = *region;
  else
    s_.clip.reset();
  return Visible().Kind();
}

int Dc::ClipWith(const Region& region, int op) {
  // Without a clip region everything is inside; the surface bounds are
  // applied when drawing, so a bitmap selected later is not cut to the old one.
  const Region base = s_.clip ? *s_.clip : Region(RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
  s_.clip = Region::Combined(base, region, op);
  return Visible().Kind();
}

int Dc::IntersectClipRect(int left, int top, int right, int bottom) {
  if (out_) out_->State(wmf::kIntersectClipRect, {bottom, right, top, left});
  return ClipWith(Region(ToDevice(RECT{left, top, right, bottom})), RGN_AND);
}

int Dc::ExcludeClipRect(int left, int top, int right, int bottom) {
  if (out_) out_->State(wmf::kExcludeClipRect, {bottom, right, top, left});
  return ClipWith(Region(ToDevice(RECT{left, top, right, bottom})), RGN_DIFF);
}

int Dc::OffsetClipRgn(int dx, int dy) {
  if (out_) out_->State(wmf::kOffsetClipRgn, {dy, dx});
  if (s_.clip) {
    const POINT o = ToDevice(POINT{0, 0}), d = ToDevice(POINT{dx, dy});
    s_.clip->Offset(Distance(o.x, d.x), Distance(o.y, d.y));
  }
  return Visible().Kind();
}

int Dc::GetClipBox(RECT* box) const {
  const Region visible = Visible();
  const RECT b = visible.Box();
  POINT corners[2] = {{b.left, b.top}, {b.right, b.bottom}};
  DPtoLP(corners);
  *box = {std::min(corners[0].x, corners[1].x), std::min(corners[0].y, corners[1].y),
          std::max(corners[0].x, corners[1].x), std::max(corners[0].y, corners[1].y)};
  return visible.Kind();
}

bool Dc::PtVisible(int x, int y) const {
  const POINT p = ToDevice(POINT{x, y});
  return Visible().Contains(p.x, p.y);
}

// --- painting ---

bool Dc::Ink::At(int32_t x, int32_t y, uint32_t& pixel) const {
  bool fg = true;
  switch (kind) {
    case kNone: return false;
    case kSolid: pixel = fore; return true;
    case kHatch: {
      const int32_t hx = (x - org.x) & 7, hy = (y - org.y) & 7;
      const bool h = hy == 0, v = hx == 0, f = ((hx - hy) & 7) == 0, b = ((hx + hy) & 7) == 7;
      switch (hatch) {
        case HS_HORIZONTAL: fg = h; break;
        case HS_VERTICAL: fg = v; break;
        case HS_FDIAGONAL: fg = f; break;
        case HS_BDIAGONAL: fg = b; break;
        case HS_CROSS: fg = h || v; break;
        default: fg = f || b; break;
      }
      break;
    }
    case kPattern: {
      const int32_t w = pattern->Width(), h = pattern->Height();
      const int32_t px = int32_t(((int64_t(x) - org.x) % w + w) % w);
      const int32_t py = int32_t(((int64_t(y) - org.y) % h + h) % h);
      const uint32_t value = pattern->Get(px, py);
      if (!pattern->Mono()) {
        pixel = value;
        return true;
      }
      fg = value == kBlack;
      break;
    }
  }
  if (fg) {
    pixel = fore;
    return true;
  }
  pixel = back;
  return opaqueBack;
}

Dc::Ink Dc::BrushInk(const Brush& brush) const {
  Ink ink;
  ink.org = s_.brushOrg;
  switch (brush.style) {
    case BS_SOLID:
      ink.kind = Ink::kSolid;
      ink.fore = ToPixel(brush.color);
      break;
    case BS_HATCHED:
      ink.kind = Ink::kHatch;
      ink.hatch = brush.hatch;
      ink.fore = ToPixel(brush.color);
      ink.back = ToPixel(s_.bkColor);
      ink.opaqueBack = s_.bkMode == OPAQUE;
      break;
    case BS_PATTERN:
      if (!brush.pattern) break;
      ink.kind = Ink::kPattern;
      ink.pattern = brush.pattern.get();
      ink.fore = ToPixel(s_.textColor);
      ink.back = ToPixel(s_.bkColor);
      break;
    default: break;
  }
  return ink;
}

void Dc::PaintRegion(const Region& region, const Ink& ink, int rop2) {
  if (ink.kind == Ink::kNone || region.Empty()) return;
  Bitmap& surface = Surface();
  const Region target = Region::Combined(region, Visible(), RGN_AND);
  for (const Region::Band& band : target.Bands()) {
    for (int32_t y = band.top; y < band.bottom; ++y) {
      uint32_t* row = surface.Row(y);
      for (const Span& s : band.spans) {
        if (ink.kind == Ink::kSolid && rop2 == R2_COPYPEN) {
          std::fill(row + s.left, row + s.right, surface.Fit(ink.fore));
          continue;
        }
        for (int32_t x = s.left; x < s.right; ++x) {
          uint32_t p;
          if (ink.At(x, y, p)) row[x] = surface.Fit(ApplyRop2(rop2, surface.Fit(p), row[x]));
        }
      }
    }
  }
}

void Dc::PaintLine(POINT a, POINT b, int64_t* dashPos) {
  const Pen& pen = s_.pen;
  if (pen.style == PS_NULL) return;
  const int w = DevicePenWidth();
  const std::span<const int> dashes = w == 1 ? DashPattern(pen.style) : std::span<const int>{};
  // Pixels farther than the pen width from the visible area change nothing.
  const RECT box = Visible().Box();
  const RECT window{Clamp32(int64_t(box.left) - w), Clamp32(int64_t(box.top) - w),
                    Clamp32(int64_t(box.right) + w), Clamp32(int64_t(box.bottom) + w)};
  RowSet on(box.top, box.bottom), gap(box.top, box.bottom);
  ForEachLinePixel(a, b, window, [&](int32_t x, int32_t y, int64_t i) {
    RowSet& set = dashes.empty() || OnDash(dashes, (dashPos ? *dashPos : 0) + i) ? on : gap;
    const int64_t x0 = int64_t(x) - w / 2, y0 = int64_t(y) - w / 2;
    const int64_t top = std::max<int64_t>(y0, box.top), bottom = std::min<int64_t>(y0 + w, box.bottom);
    // Columns beyond the visible ones are cut off too (one past each side).
    const int32_t left = Clamp32(std::max<int64_t>(x0, int64_t(box.left) - 1));
    const int32_t right = Clamp32(std::min<int64_t>(x0 + w, int64_t(box.right) + 1));
    for (int64_t row = top; row < bottom; ++row) set.Add(int32_t(row), left, right);
  });
  if (dashPos) *dashPos += std::max(std::llabs(int64_t(b.x) - a.x), std::llabs(int64_t(b.y) - a.y));
  Ink ink;
  ink.kind = Ink::kSolid;
  ink.fore = ToPixel(pen.color);
  PaintRegion(on.Build(), ink, s_.rop2);
  if (!dashes.empty() && s_.bkMode == OPAQUE) {
    ink.fore = ToPixel(s_.bkColor);
    PaintRegion(gap.Build(), ink, s_.rop2);
  }
}

void Dc::PaintShape(const RECT& box, const std::function<Span(int64_t)>& rowAt, bool outline) {
  const int w = outline ? DevicePenWidth() : 0;
  // Only the visible rows are worked out. The outline test looks w rows up
  // and down; rows outside the box are empty, so a row nearer than w to the
  // box's top or bottom has no inside, and the rows the test reads are
  // worked out once each, not once per row that reads them.
  const RECT visible = Visible().Box();
  const int32_t top = std::max(box.top, visible.top), bottom = std::min(box.bottom, visible.bottom);
  if (top >= bottom) return;
  const size_t n = size_t(int64_t(bottom) - top);
  const int64_t first = std::max<int64_t>(int64_t(top) - w, box.top);
  const int64_t last = std::min<int64_t>(int64_t(bottom) + w, box.bottom);
  std::vector<Span> rows(size_t(last - first));
  for (int64_t y = first; y < last; ++y) rows[size_t(y - first)] = rowAt(y);
  std::vector<std::vector<Span>> inner(n), border(n);
  for (size_t i = 0; i < n; ++i) {
    const int64_t y = int64_t(top) + int64_t(i);
    const Span all = rows[size_t(y - first)];
    Span in = all;
    // A pixel is inside when every pixel within w steps (a diamond) is in
    // the shape, which keeps a one-pixel outline 8-connected and thin.
    if (w > 0 && (y - w < box.top || y + w >= box.bottom)) in = {0, 0};
    for (int k = -w; k <= w && w > 0 && in.left < in.right; ++k) {
      const Span other = rows[size_t(y + k - first)];
      const int shrink = w - std::abs(k);
      in.left = int32_t(std::max<int64_t>(in.left, int64_t(other.left) + shrink));
      in.right = int32_t(std::min<int64_t>(in.right, int64_t(other.right) - shrink));
    }
    if (in.left < in.right) {
      inner[i].push_back(in);
      border[i] = {{all.left, in.left}, {in.right, all.right}};
    } else {
      border[i].push_back(all);
    }
  }
  PaintRegion(Region::FromRows(top, inner), BrushInk(s_.brush), s_.rop2);
  if (w > 0) {
    Ink ink;
    ink.kind = Ink::kSolid;
    ink.fore = ToPixel(s_.pen.color);
    PaintRegion(Region::FromRows(top, border), ink, s_.rop2);
  }
}

// --- lines and shapes ---

bool Dc::MoveToEx(int x, int y, POINT* old) {
  if (old) *old = s_.pos;
  if (out_) out_->State(wmf::kMoveTo, {y, x});
  s_.pos = {x, y};
  return true;
}

bool Dc::LineTo(int x, int y) {
  if (out_)
    out_->LineTo(*this, s_.pos, POINT{x, y});
  else
    PaintLine(ToDevice(s_.pos), ToDevice(POINT{x, y}));
  s_.pos = {x, y};
  return true;
}

bool Dc::Polyline(std::span<const POINT> points) {
  if (points.size() < 2) return false;
  if (out_) {
    out_->Poly(*this, false, points);
    return true;
  }
  int64_t dashPos = 0;  // the pen's style runs on along the whole path
  for (size_t i = 1; i < points.size(); ++i) PaintLine(ToDevice(points[i - 1]), ToDevice(points[i]), &dashPos);
  return true;
}

Region Dc::PolygonRegion(std::span<const POINT> dev, int fillMode) const {
  int32_t top = dev[0].y, bottom = dev[0].y;
  for (const POINT& p : dev) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  const RECT visible = Visible().Box();
  top = std::max(top, visible.top);
  bottom = std::min(bottom, visible.bottom);
  std::vector<std::vector<Span>> rows(size_t(std::max<int64_t>(0, int64_t(bottom) - top)));
  struct Crossing {
    double x;
    int dir;
  };
  std::vector<Crossing> crossings;
  for (int32_t y = top; y < bottom; ++y) {
    const double yc = y + 0.5;
    crossings.clear();
    for (size_t i = 0; i < dev.size(); ++i) {
      const POINT a = dev[i], b = dev[(i + 1) % dev.size()];
      if (a.y == b.y) continue;
      const bool down = b.y > a.y;
      const POINT lo = down ? a : b, hi = down ? b : a;
      if (yc < lo.y || yc >= hi.y) continue;
      crossings.push_back({lo.x + (yc - lo.y) * (double(hi.x) - lo.x) / (double(hi.y) - lo.y), down ? 1 : -1});
    }
    std::sort(crossings.begin(), crossings.end(), [](const Crossing& p, const Crossing& q) { return p.x < q.x; });
    int winding = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
      winding += crossings[i].dir;
      const bool inside = fillMode == WINDING ? winding != 0 : i % 2 == 0;
      if (!inside) continue;
      const int32_t x0 = Clamp32(int64_t(std::ceil(crossings[i].x - 0.5)));
      const int32_t x1 = Clamp32(int64_t(std::ceil(crossings[i + 1].x - 0.5)));
      if (x0 < x1) rows[size_t(y - top)].push_back({x0, x1});
    }
  }
  return Region::FromRows(top, rows);
}

bool Dc::Polygon(std::span<const POINT> points) {
  if (points.size() < 2) return false;
  if (out_) {
    out_->Poly(*this, true, points);
    return true;
  }
  std::vector<POINT> dev(points.begin(), points.end());
  LPtoDP(dev);
  PaintRegion(PolygonRegion(dev, s_.polyFillMode), BrushInk(s_.brush), s_.rop2);
  int64_t dashPos = 0;
  for (size_t i = 0; i < dev.size(); ++i) PaintLine(dev[i], dev[(i + 1) % dev.size()], &dashPos);
  return true;
}

bool Dc::Rectangle(int left, int top, int right, int bottom) {
  if (out_) {
    out_->Box(*this, wmf::kRectangle, RECT{left, top, right, bottom}, 0, 0);
    return true;
  }
  DrawBox(RECT{left, top, right, bottom}, 0, 0);
  return true;
}

bool Dc::Ellipse(int left, int top, int right, int bottom) {
  if (out_) {
    out_->Box(*this, wmf::kEllipse, RECT{left, top, right, bottom}, 0, 0);
    return true;
  }
  const RECT box = ToDevice(RECT{left, top, right, bottom});
  DrawBox(RECT{left, top, right, bottom}, Distance(box.left, box.right), Distance(box.top, box.bottom));
  return true;
}

bool Dc::RoundRect(int left, int top, int right, int bottom, int width, int height) {
  if (out_) {
    out_->Box(*this, wmf::kRoundRect, RECT{left, top, right, bottom}, width, height);
    return true;
  }
  // Corner sizes are logical extents too.
  const POINT o = ToDevice(POINT{0, 0}), c = ToDevice(POINT{width, height});
  DrawBox(RECT{left, top, right, bottom}, std::abs(Distance(o.x, c.x)), std::abs(Distance(o.y, c.y)));
  return true;
}

void Dc::DrawBox(const RECT& logical, int32_t cornerWidth, int32_t cornerHeight) {
  RECT box = ToDevice(logical);
  const bool outline = s_.pen.style != PS_NULL;
  if (!outline) {
    --box.right;
    --box.bottom;
  } else if (const int w = DevicePenWidth(); w > 1 && s_.pen.style != PS_INSIDEFRAME) {
    box = {Clamp32(int64_t(box.left) - w / 2), Clamp32(int64_t(box.top) - w / 2),
           Clamp32(int64_t(box.right) + (w - 1) / 2), Clamp32(int64_t(box.bottom) + (w - 1) / 2)};
  }
  if (box.right <= box.left || box.bottom <= box.top) return;
  if (outline && cornerWidth == 0 && cornerHeight == 0 && DevicePenWidth() == 1 && !DashPattern(s_.pen.style).empty()) {
    // A styled frame runs its dashes around the edge, clockwise from the top left.
    PaintRegion(Region(RECT{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}), BrushInk(s_.brush), s_.rop2);
    const POINT path[] = {{box.left, box.top}, {box.right - 1, box.top}, {box.right - 1, box.bottom - 1},
                          {box.left, box.bottom - 1}, {box.left, box.top}};
    int64_t dashPos = 0;
    for (size_t i = 1; i < std::size(path); ++i) PaintLine(path[i - 1], path[i], &dashPos);
    return;
  }
  PaintShape(box, [&](int64_t y) { return RoundedRow(box, cornerWidth, cornerHeight, y); }, outline);
}

COLORREF Dc::SetPixel(int x, int y, COLORREF c) {
  if (out_) {
    out_->SetPixel(*this, x, y, c & 0xFFFFFF);
    return c & 0xFFFFFF;
  }
  const POINT p = ToDevice(POINT{x, y});
  if (!Visible().Contains(p.x, p.y)) return CLR_INVALID;
  Surface().Set(p.x, p.y, ToPixel(c));
  return ToColor(Surface().Get(p.x, p.y));
}

COLORREF Dc::GetPixel(int x, int y) const {
  const POINT p = ToDevice(POINT{x, y});
  if (!Visible().Contains(p.x, p.y)) return CLR_INVALID;
  return ToColor(Surface().Get(p.x, p.y));
}

// --- fills ---

bool Dc::FillRect(const RECT& r, const Brush& brush) {
  if (out_) return FillRgn(Region(r), brush);
  PaintRegion(Region(ToDevice(r)), BrushInk(brush), R2_COPYPEN);
  return true;
}

bool Dc::FrameRect(const RECT& r, const Brush& brush) {
  if (out_) return FrameRgn(Region(r), brush, 1, 1);
  PaintRegion(FrameOf(ToDevice(r)), BrushInk(brush), R2_COPYPEN);
  return true;
}

bool Dc::InvertRect(const RECT& r) {
  if (out_) return InvertRgn(Region(r));
  Ink ink;
  ink.kind = Ink::kSolid;
  ink.fore = kWhite;
  PaintRegion(Region(ToDevice(r)), ink, R2_XORPEN);
  return true;
}

bool Dc::DrawFocusRect(const RECT& r) {
  // A focus frame belongs to the screen; a metafile or a page has none.
  if (out_) return true;
  Ink ink;
  ink.kind = Ink::kPattern;
  ink.pattern = CheckerPattern().get();
  ink.fore = kWhite;
  ink.opaqueBack = false;
  PaintRegion(FrameOf(ToDevice(r)), ink, R2_XORPEN);
  return true;
}

bool Dc::FillRgn(const Region& region, const Brush& brush) {
  if (out_) {
    out_->FillRegion(*this, wmf::kFillRegion, region, &brush, 0, 0);
    return true;
  }
  PaintRegion(LogicalToDevice(region), BrushInk(brush), R2_COPYPEN);
  return true;
}

bool Dc::PaintRgn(const Region& region) {
  if (out_) {
    out_->FillRegion(*this, wmf::kPaintRegion, region, nullptr, 0, 0);
    return true;
  }
  PaintRegion(LogicalToDevice(region), BrushInk(s_.brush), s_.rop2);
  return true;
}

bool Dc::InvertRgn(const Region& region) {
  if (out_) {
    out_->FillRegion(*this, wmf::kInvertRegion, region, nullptr, 0, 0);
    return true;
  }
  Ink ink;
  ink.kind = Ink::kSolid;
  ink.fore = kWhite;
  PaintRegion(LogicalToDevice(region), ink, R2_XORPEN);
  return true;
}

bool Dc::FrameRgn(const Region& region, const Brush& brush, int width, int height) {
  if (out_) {
    out_->FillRegion(*this, wmf::kFrameRegion, region, &brush, width, height);
    return true;
  }
  const Region dev = LogicalToDevice(region);
  const POINT o = ToDevice(POINT{0, 0}), c = ToDevice(POINT{width, height});
  const int32_t w = std::abs(Distance(o.x, c.x)), h = std::abs(Distance(o.y, c.y));
  Region inner = dev;
  for (const auto& [dx, dy] : {std::pair{w, 0}, std::pair{-w, 0}, std::pair{0, h}, std::pair{0, -h}}) {
    Region moved = dev;
    moved.Offset(dx, dy);
    inner = Region::Combined(inner, moved, RGN_AND);
  }
  PaintRegion(Region::Combined(dev, inner, RGN_DIFF), BrushInk(brush), R2_COPYPEN);
  return true;
}

std::shared_ptr<Bitmap> CreateCompatibleBitmap(const Dc& dc, int width, int height) {
  return Bitmap::Create(width, height, dc.Surface().BitsPixel());
}

BITMAP GetObject(const Bitmap& bitmap) {
  BITMAP b;
  b.bmWidth = bitmap.Width();
  b.bmHeight = bitmap.Height();
  b.bmBitsPixel = uint16_t(bitmap.BitsPixel());
  b.bmWidthBytes = int32_t((int64_t(bitmap.Width()) * bitmap.BitsPixel() + 15) / 16 * 2);
  return b;
}

std::shared_ptr<Bitmap> CreateBitmapIndirect(const BITMAP& description) {
  return CreateBitmap(description.bmWidth, description.bmHeight, description.bmPlanes * description.bmBitsPixel);
}

std::shared_ptr<Bitmap> CreateBitmap(int width, int height, int bitsPixel) {
  return Bitmap::Create(width, height, bitsPixel == 1 ? 1 : 32);
}

}  // namespace win
