// Playback of metafile records onto a DC (metafile.h invariant 4). Every
// parameter is read through Params, so nothing outside a record is read; a
// record whose parameters are short does nothing.
#include <algorithm>
#include <cstring>
#include <variant>

#include "platform/gdi/dib.h"
#include "platform/gdi/wmf/metafile.h"
#include "platform/gdi/wmf/records.h"

namespace win::wmf {

namespace {

uint32_t Get32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Get16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

using Object = std::variant<std::monostate, Pen, Brush, LOGFONT, Region>;

// The length of a packed DIB's header and colour table; the bits follow.
size_t DibInfoSize(std::span<const uint8_t> dib, UINT usage) {
  if (dib.size() < kBitmapInfoHeaderSize) return 0;
  const uint32_t header = Get32(dib, 0);
  const int bitCount = Get16(dib, 14);
  const uint32_t compression = Get32(dib, 16), used = Get32(dib, 32);
  size_t size = header;
  if (compression == BI_BITFIELDS && header == kBitmapInfoHeaderSize) size += 12;
  if (bitCount <= 8) {
    const size_t entries = used ? std::min<size_t>(used, size_t(1) << bitCount) : size_t(1) << bitCount;
    size += entries * (usage == DIB_PAL_COLORS ? 2 : 4);
  }
  return std::min(size, dib.size());
}

// The union of a region record's scans, merged pairwise so that many
// scans cost n log n.
Region ReadRegion(Params& p) {
  const size_t scans = p.U16(4);
  std::vector<Region> parts;
  size_t i = 10;
  for (size_t s = 0; s < scans && !p.Short(); ++s) {
    const size_t n = p.U16(i);
    const int16_t top = p.S16(i + 1), bottom = p.S16(i + 2);
    if (n % 2 != 0 || i + 3 + n >= p.Words()) break;
    std::vector<Region::Span> spans;
    for (size_t k = 0; k < n; k += 2) spans.push_back({p.S16(i + 3 + k), p.S16(i + 4 + k)});
    if (bottom > top) parts.push_back(Region::FromBand(top, bottom, spans));
    i += 4 + n;
  }
  while (parts.size() > 1) {
    std::vector<Region> next;
    for (size_t k = 0; k + 1 < parts.size(); k += 2) next.push_back(Region::Combined(parts[k], parts[k + 1], RGN_OR));
    if (parts.size() % 2) next.push_back(std::move(parts.back()));
    parts = std::move(next);
  }
  return parts.empty() ? Region() : std::move(parts[0]);
}

class Player {
 public:
  Player(Dc& dc, size_t slots) : dc_(dc), slots_(slots) {}

  void Play(uint16_t function, Params& p);

 private:
  COLORREF Colour(Params& p, size_t i) { return COLORREF(p.U32(i) & 0xFFFFFF); }
  // An object takes the lowest free slot of the header's count; the table
  // grows only as far as objects are made, and no slot below firstFree_ is
  // free, so making many objects stays linear.
  void Create(Object object) {
    while (firstFree_ < objects_.size() && !std::holds_alternative<std::monostate>(objects_[firstFree_])) ++firstFree_;
    if (firstFree_ == objects_.size()) {
      if (objects_.size() == slots_) return;
      objects_.emplace_back();
    }
    objects_[firstFree_++] = std::move(object);
  }
  void Delete(size_t slot) {
    if (slot >= objects_.size()) return;
    objects_[slot] = std::monostate{};
    firstFree_ = std::min(firstFree_, slot);
  }
  template <typename T>
  const T* Get(size_t slot) const {
    return slot < objects_.size() ? std::get_if<T>(&objects_[slot]) : nullptr;
  }
  void Restore(int level) {
    // Only the metafile's own saves can be restored.
    if (level < 0 && -level <= saves_) {
      dc_.RestoreDC(level);
      saves_ += level;
    } else if (level > 0 && level <= saves_) {
      dc_.RestoreDC(level - saves_ - 1);
      saves_ = level - 1;
    }
  }

  Dc& dc_;
  size_t slots_;
  std::vector<Object> objects_;
  size_t firstFree_ = 0;
  int saves_ = 0;
};

void Player::Play(uint16_t function, Params& p) {
  // Reads every parameter first (a short record changes nothing), then acts.
  const auto act = [&](auto&& f) {
    if (!p.Short()) f();
  };
  switch (function) {
    case kSaveDc:
      dc_.SaveDC();
      ++saves_;
      break;
    case kRestoreDc: {
      const int level = p.S16(0);
      act([&] { Restore(level); });
      break;
    }
    case kSetBkColor: {
      const COLORREF c = Colour(p, 0);
      act([&] { dc_.SetBkColor(c); });
      break;
    }
    case kSetTextColor: {
      const COLORREF c = Colour(p, 0);
      act([&] { dc_.SetTextColor(c); });
      break;
    }
    case kSetBkMode:
    case kSetMapMode:
    case kSetRop2:
    case kSetPolyFillMode:
    case kSetStretchBltMode:
    case kSetTextAlign: {
      const int v = p.U16(0);
      act([&] {
        switch (function) {
          case kSetBkMode: dc_.SetBkMode(v); break;
          case kSetMapMode: dc_.SetMapMode(v); break;
          case kSetRop2: dc_.SetROP2(v); break;
          case kSetPolyFillMode: dc_.SetPolyFillMode(v); break;
          case kSetStretchBltMode: dc_.SetStretchBltMode(v); break;
          default: dc_.SetTextAlign(UINT(v)); break;
        }
      });
      break;
    }
    case kSetWindowOrg:
    case kSetWindowExt:
    case kSetViewportOrg:
    case kSetViewportExt:
    case kOffsetWindowOrg:
    case kOffsetViewportOrg:
    case kMoveTo:
    case kLineTo:
    case kOffsetClipRgn: {
      const int y = p.S16(0), x = p.S16(1);
      act([&] {
        switch (function) {
          case kSetWindowOrg: dc_.SetWindowOrgEx(x, y); break;
          case kSetWindowExt: dc_.SetWindowExtEx(x, y); break;
          case kSetViewportOrg: dc_.SetViewportOrgEx(x, y); break;
          case kSetViewportExt: dc_.SetViewportExtEx(x, y); break;
          case kOffsetWindowOrg: dc_.OffsetWindowOrgEx(x, y); break;
          case kOffsetViewportOrg: dc_.OffsetViewportOrgEx(x, y); break;
          case kMoveTo: dc_.MoveToEx(x, y); break;
          case kLineTo: dc_.LineTo(x, y); break;
          default: dc_.OffsetClipRgn(x, y); break;
        }
      });
      break;
    }
    case kExcludeClipRect:
    case kIntersectClipRect:
    case kEllipse:
    case kRectangle: {
      const int bottom = p.S16(0), right = p.S16(1), top = p.S16(2), left = p.S16(3);
      act([&] {
        switch (function) {
          case kExcludeClipRect: dc_.ExcludeClipRect(left, top, right, bottom); break;
          case kIntersectClipRect: dc_.IntersectClipRect(left, top, right, bottom); break;
          case kEllipse: dc_.Ellipse(left, top, right, bottom); break;
          default: dc_.Rectangle(left, top, right, bottom); break;
        }
      });
      break;
    }
    case kRoundRect: {
      const int h = p.S16(0), w = p.S16(1), bottom = p.S16(2), right = p.S16(3), top = p.S16(4), left = p.S16(5);
      act([&] { dc_.RoundRect(left, top, right, bottom, w, h); });
      break;
    }
    case kSetPixel: {
      const COLORREF c = Colour(p, 0);
      const int y = p.S16(2), x = p.S16(3);
      act([&] { dc_.SetPixel(x, y, c); });
      break;
    }
    case kPatBlt: {
      const DWORD rop = p.U32(0);
      const int h = p.S16(2), w = p.S16(3), y = p.S16(4), x = p.S16(5);
      act([&] { dc_.PatBlt(x, y, w, h, rop); });
      break;
    }
    case kPolygon:
    case kPolyline: {
      const size_t n = p.U16(0);
      if (1 + 2 * n > p.Words()) break;
      std::vector<POINT> points(n);
      for (size_t i = 0; i < n; ++i) points[i] = {p.S16(1 + 2 * i), p.S16(2 + 2 * i)};
      act([&] { function == kPolygon ? dc_.Polygon(points) : dc_.Polyline(points); });
      break;
    }
    case kTextOut: {
      const size_t n = p.U16(0);
      const auto text = p.From(1);
      if (n > text.size()) break;
      const size_t after = 1 + (n + 1) / 2;
      const int y = p.S16(after), x = p.S16(after + 1);
      act([&] { dc_.TextOut(x, y, std::string_view(reinterpret_cast<const char*>(text.data()), n)); });
      break;
    }
    case kExtTextOut: {
      const int y = p.S16(0), x = p.S16(1);
      const size_t n = p.U16(2);
      const UINT options = p.U16(3);
      size_t at = 4;
      std::optional<RECT> rect;
      if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
        rect = RECT{p.S16(4), p.S16(5), p.S16(6), p.S16(7)};
        at = 8;
      }
      const auto text = p.From(at);
      if (p.Short() || n > text.size()) break;
      at += (n + 1) / 2;
      std::vector<int> dx;
      if (n > 0 && at + n <= p.Words())
        for (size_t i = 0; i < n; ++i) dx.push_back(p.S16(at + i));
      dc_.ExtTextOut(x, y, options, rect ? &*rect : nullptr,
                     std::string_view(reinterpret_cast<const char*>(text.data()), n), dx.empty() ? nullptr : dx.data());
      break;
    }
    case kCreatePenIndirect: {
      Pen pen{p.U16(0), p.S16(1), Colour(p, 3)};
      if (pen.style > PS_INSIDEFRAME) pen.style = PS_SOLID;
      act([&] { Create(pen); });
      break;
    }
    case kCreateBrushIndirect: {
      Brush brush;
      brush.style = p.U16(0);
      brush.color = Colour(p, 1);
      brush.hatch = std::min<int>(p.U16(3), HS_DIAGCROSS);
      if (brush.style != BS_NULL && brush.style != BS_HATCHED) brush.style = BS_SOLID;
      act([&] { Create(brush); });
      break;
    }
    case kCreateFontIndirect: {
      LOGFONT f;
      f.lfHeight = p.S16(0);
      f.lfWidth = p.S16(1);
      f.lfEscapement = p.S16(2);
      f.lfOrientation = p.S16(3);
      f.lfWeight = p.S16(4);
      const uint16_t a = p.U16(5), b = p.U16(6), c = p.U16(7), d = p.U16(8);
      f.lfItalic = uint8_t(a), f.lfUnderline = uint8_t(a >> 8), f.lfStrikeOut = uint8_t(b), f.lfCharSet = uint8_t(b >> 8);
      f.lfOutPrecision = uint8_t(c), f.lfClipPrecision = uint8_t(c >> 8), f.lfQuality = uint8_t(d);
      f.lfPitchAndFamily = uint8_t(d >> 8);
      const auto face = p.From(9);
      const size_t n = std::min({face.size(), sizeof f.lfFaceName - 1, size_t(31)});
      std::copy_n(face.data(), n, f.lfFaceName);
      f.lfFaceName[n] = 0;
      act([&] { Create(f); });
      break;
    }
    case kCreateRegion: {
      Region region = ReadRegion(p);
      Create(std::move(region));
      break;
    }
    case kSelectObject: {
      const size_t slot = p.U16(0);
      if (const Pen* pen = Get<Pen>(slot)) dc_.SelectPen(*pen);
      if (const Brush* brush = Get<Brush>(slot)) dc_.SelectBrush(*brush);
      if (const LOGFONT* font = Get<LOGFONT>(slot)) dc_.SelectFont(*font);
      if (const Region* region = Get<Region>(slot)) dc_.SelectClipRgn(region);
      break;
    }
    case kSelectClipRegion: {
      const size_t slot = p.U16(0);
      if (p.Short()) break;
      dc_.SelectClipRgn(Get<Region>(slot));
      break;
    }
    case kDeleteObject: {
      Delete(p.U16(0));
      break;
    }
    case kFillRegion:
    case kFrameRegion: {
      const Region* region = Get<Region>(p.U16(0));
      const Brush* brush = Get<Brush>(p.U16(1));
      const int h = p.S16(2), w = p.S16(3);
      if (!region || !brush) break;
      if (function == kFillRegion)
        dc_.FillRgn(*region, *brush);
      else if (!p.Short())
        dc_.FrameRgn(*region, *brush, w, h);
      break;
    }
    case kPaintRegion:
    case kInvertRegion: {
      const Region* region = Get<Region>(p.U16(0));
      if (!region) break;
      function == kPaintRegion ? dc_.PaintRgn(*region) : dc_.InvertRgn(*region);
      break;
    }
    case kStretchDib:
    case kDibStretchBlt:
    case kSetDibToDev: {
      // The three share a tail of destination and source; StretchDib has
      // the colour use after the raster operation, SetDibToDev the scans.
      const bool stretch = function == kStretchDib;
      const size_t base = function == kSetDibToDev ? 3 : stretch ? 3 : 2;
      const DWORD rop = function == kSetDibToDev ? SRCCOPY : p.U32(0);
      const UINT usage = function == kSetDibToDev ? p.U16(0) : stretch ? p.U16(2) : DIB_RGB_COLORS;
      int srcH = 0, srcW = 0, srcY, srcX, h, w, y, x;
      if (function == kSetDibToDev) {
        srcY = p.S16(3), srcX = p.S16(4), h = p.S16(5), w = p.S16(6), y = p.S16(7), x = p.S16(8);
      } else {
        srcH = p.S16(base), srcW = p.S16(base + 1), srcY = p.S16(base + 2), srcX = p.S16(base + 3);
        h = p.S16(base + 4), w = p.S16(base + 5), y = p.S16(base + 6), x = p.S16(base + 7);
      }
      const auto dib = p.From(function == kSetDibToDev ? 9 : base + 8);
      if (p.Short()) break;
      if (dib.empty()) {
        if (function == kDibStretchBlt) dc_.PatBlt(x, y, w, h, rop);
        break;
      }
      const size_t infoSize = DibInfoSize(dib, usage);
      const auto info = dib.first(infoSize), bits = dib.subspan(infoSize);
      if (function == kSetDibToDev) {
        const UINT lines = p.U16(1), start = p.U16(2);
        SetDIBitsToDevice(dc_, x, y, DWORD(uint16_t(w)), DWORD(uint16_t(h)), srcX, srcY, start, lines, bits, info,
                          usage);
      } else {
        StretchDIBits(dc_, x, y, w, h, srcX, srcY, srcW, srcH, bits, info, usage, rop);
      }
      break;
    }
    default: break;  // not a record this player knows: skipped
  }
}

}  // namespace

std::optional<size_t> MetaFileSize(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeaderBytes) return std::nullopt;
  const uint16_t type = Get16(bytes, 0);
  if ((type != 1 && type != 2) || Get16(bytes, 2) != 9) return std::nullopt;
  const uint64_t size = uint64_t(Get32(bytes, 6)) * 2;
  if (size < kHeaderBytes) return std::nullopt;
  return size_t(size);
}

bool PlayMetaFile(Dc& dc, std::span<const uint8_t> bytes) {
  const auto size = MetaFileSize(bytes);
  if (!size) return false;
  bytes = bytes.first(std::min(*size, bytes.size()));
  Player player(dc, Get16(bytes, 10));
  const int base = dc.SaveDC();
  bool whole = false;
  for (size_t at = kHeaderBytes; at + 6 <= bytes.size();) {
    const uint64_t words = Get32(bytes, at);
    const uint16_t function = Get16(bytes, at + 4);
    if (words < kRecordHeaderWords || words * 2 > bytes.size() - at) break;
    if (function == kEof) {
      whole = true;
      break;
    }
    Params params(bytes.subspan(at + 6, size_t(words) * 2 - 6));
    player.Play(function, params);
    at += size_t(words) * 2;
  }
  dc.RestoreDC(base);
  return whole;
}

}  // namespace win::wmf
