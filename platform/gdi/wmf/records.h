// The Windows metafile format as this layer writes and reads it: record
// numbers, the header, and bounded little-endian access to record words.
//
// A metafile is an 18-byte header followed by records and ends with the
// end record (function 0). All numbers are little-endian.
//
//   header   offset  size  field
//            0       2     type: 1 in memory, 2 on disk
//            2       2     header size in words: 9
//            4       2     version: 0x0300
//            6       4     whole size in words
//            10      2     number of object slots
//            12      4     largest record in words
//            16      2     0
//
//   record   0       4     size in words, the 3 words of size and function
//                          included
//            4       2     function: low byte the record, high byte (for
//                          most records) the number of parameter words
//            6       ...   parameters, 16-bit words, in the order the
//                          table below gives (points are y before x)
//
// What always holds for the reader: nothing is read outside the bytes it was
// given or outside the record a parameter belongs to; a word asked for past
// the record's end reads as 0 and marks the record short, and a short record
// is skipped whole. Colours are two words (low first) 0x00BBGGRR; a raster
// operation is two words, low first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace win::wmf {

constexpr size_t kHeaderBytes = 18;
constexpr size_t kRecordHeaderWords = 3;

enum Function : uint16_t {
  kEof = 0x0000,
  kSaveDc = 0x001E,
  kRealizePalette = 0x0035,
  kSetBkColor = 0x0201,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetRop2 = 0x0104,
  kSetPolyFillMode = 0x0106,
  kSetStretchBltMode = 0x0107,
  kRestoreDc = 0x0127,
  kInvertRegion = 0x012A,
  kPaintRegion = 0x012B,
  kSelectClipRegion = 0x012C,
  kSelectObject = 0x012D,
  kSetTextAlign = 0x012E,
  kDeleteObject = 0x01F0,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F,
  kOffsetViewportOrg = 0x0211,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kOffsetClipRgn = 0x0220,
  kFillRegion = 0x0228,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kSetPixel = 0x041F,
  kFrameRegion = 0x0429,
  kTextOut = 0x0521,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kCreateRegion = 0x06FF,
  kExtTextOut = 0x0A32,
  kSetDibToDev = 0x0D33,
  kDibStretchBlt = 0x0B41,
  kStretchDib = 0x0F43,
};

// The records' parameter words:
//   SetBkColor, SetTextColor     colour
//   SetBkMode ... SetTextAlign   value
//   RestoreDc                    level (negative: counted back)
//   Set/Offset...Org, ...Ext     y, x
//   MoveTo, LineTo               y, x
//   Exclude/IntersectClipRect,
//   Rectangle, Ellipse           bottom, right, top, left
//   RoundRect                    height, width, bottom, right, top, left
//   SetPixel                     colour, y, x
//   PatBlt                       rop, height, width, y, x
//   Polygon, Polyline            count, count points (x, y)
//   TextOut                      count, text padded to words, y, x
//   ExtTextOut                   y, x, count, options, [rectangle left, top,
//                                right, bottom when options hold
//                                ETO_OPAQUE or ETO_CLIPPED], text padded to
//                                words, [count advances]
//   SelectObject, DeleteObject,
//   SelectClipRegion             slot (SelectClipRegion: 0xFFFF = no clip)
//   FillRegion                   region slot, brush slot
//   PaintRegion, InvertRegion    region slot
//   FrameRegion                  region slot, brush slot, height, width
//   OffsetClipRgn                y, x
//   CreatePenIndirect            style, width x, width y, colour
//   CreateBrushIndirect          style, colour, hatch
//   CreateFontIndirect           height, width, escapement, orientation,
//                                weight, italic|underline<<8,
//                                strike-out|charset<<8, out|clip precision,
//                                quality|pitch and family, face (32 bytes)
//   CreateRegion                 0, 6, 0, size, scan count, largest scan,
//                                left, top, right, bottom, then per scan:
//                                count (2 per span), top, bottom,
//                                left, right per span, count again
//   StretchDib                   rop, usage, src height, src width, src y,
//                                src x, height, width, y, x, packed DIB
//   SetDibToDev                  usage, lines, start scan, src y, src x,
//                                height, width, y, x, packed DIB
//   DibStretchBlt                rop, src height, src width, src y, src x,
//                                height, width, y, x, packed DIB

// A record's parameters, read word by word with bounds.
class Params {
 public:
  explicit Params(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Words() const { return bytes_.size() / 2; }
  uint16_t U16(size_t i) {
    if (2 * i + 1 >= bytes_.size()) {
      short_ = true;
      return 0;
    }
    return uint16_t(bytes_[2 * i] | bytes_[2 * i + 1] << 8);
  }
  int16_t S16(size_t i) { return int16_t(U16(i)); }
  uint32_t U32(size_t i) { return U16(i) | uint32_t(U16(i + 1)) << 16; }
  // Bytes from word i to the end of the record.
  std::span<const uint8_t> From(size_t i) const {
    return 2 * i <= bytes_.size() ? bytes_.subspan(2 * i) : std::span<const uint8_t>();
  }
  bool Short() const { return short_; }

 private:
  std::span<const uint8_t> bytes_;
  bool short_ = false;
};

}  // namespace win::wmf
