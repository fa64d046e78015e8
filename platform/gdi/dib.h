// Device-independent bitmaps: the packed layout callers hand to
// StretchDIBits, SetDIBitsToDevice and CreateDIBitmap, and get back from
// GetDIBits.
//
// Layout (little-endian), as `info` and `bits` carry it:
//
//   offset  size  field
//   0       4     biSize: header size, at least 40 (larger headers are
//                 skipped; their bit-field masks at 40 are taken)
//   4       4     biWidth, > 0
//   8       4     biHeight: > 0 rows stored bottom-up, < 0 top-down
//   12      2     biPlanes, 1
//   14      2     biBitCount: 1, 4, 8, 16, 24 or 32
//   16      4     biCompression: BI_RGB, or BI_BITFIELDS at 16 and 32 bits
//   20      4     biSizeImage (not trusted: the size of `bits` is)
//   24      8     resolutions (ignored)
//   32      4     biClrUsed: colour table entries, 0 = all 2^bits
//   36      4     biClrImportant (ignored)
//   biSize  ...   three 4-byte masks (BI_BITFIELDS with a 40-byte header),
//                 or the colour table: 4-byte blue, green, red, 0 entries
//                 (DIB_RGB_COLORS) or 2-byte indexes into the DC's palette
//                 (DIB_PAL_COLORS), for 8 bits or fewer.
//   bits          rows of pixels, each padded to a multiple of 4 bytes.
//
// What always holds: nothing reads outside `info` or `bits`. A header that
// does not describe a picture within the limits above, a colour table that
// `info` does not hold, or `bits` shorter than the rows to draw make the call
// fail (answer 0) before anything is drawn. Pixel indexes beyond the colour
// table draw black. The picture may hold at most Bitmap::kMaxPixels pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/gdi/dc.h"

namespace win {

constexpr size_t kBitmapInfoHeaderSize = 40;

struct DibFormat {
  int32_t width = 0, height = 0;  // height > 0
  bool topDown = false;
  int bitCount = 0;
  uint32_t masks[3] = {0, 0, 0};  // red, green, blue, for 16 and 32 bits
  std::vector<uint32_t> colors;   // pixels of the colour table, for 8 bits or fewer
  size_t stride = 0;              // bytes per row
};

// Null when the header is not one this layer draws. The palette resolves
// DIB_PAL_COLORS tables (missing entries are black).
std::optional<DibFormat> ParseDibInfo(std::span<const uint8_t> info, UINT usage, const Palette* palette);

// Rows 0 .. lines-1 of bits, in storage order, as a top-down colour bitmap
// (the last stored row on top for bottom-up DIBs). Null when bits is short.
std::shared_ptr<Bitmap> DecodeDibRows(const DibFormat& format, std::span<const uint8_t> bits, int32_t lines);

// Answer the number of scan lines drawn, 0 on failure. Source coordinates
// count rows from the bottom for bottom-up DIBs, from the top for top-down.
int StretchDIBits(Dc& dc, int xDst, int yDst, int widthDst, int heightDst, int xSrc, int ySrc, int widthSrc,
                  int heightSrc, std::span<const uint8_t> bits, std::span<const uint8_t> info, UINT usage,
                  DWORD rop);
// bits holds the scan lines startScan .. startScan + lines - 1 only; the
// extent is in device pixels from the logical destination point.
int SetDIBitsToDevice(Dc& dc, int xDst, int yDst, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, std::span<const uint8_t> bits, std::span<const uint8_t> info,
                      UINT usage);

// A bitmap in the DC's format (colour, or monochrome for a fresh memory DC),
// with the DIB's pixels when init holds CBM_INIT. Null on failure.
std::shared_ptr<Bitmap> CreateDIBitmap(const Dc& dc, std::span<const uint8_t> info, DWORD init,
                                       std::span<const uint8_t> bits, UINT usage);

// Reads rows of bitmap into a DIB. info holds a 40-byte header (room for the
// colour table after it for 8 bits or fewer). A biBitCount of 0 asks only
// for the format: width, height, the bitmap's bit count (1 or 32) and
// biSizeImage are filled in and 1 is answered. Otherwise width, height
// (keeping its sign), biSizeImage and the colour table are filled in and,
// when bits is not empty, rows startScan .. startScan + lines - 1 (counted as
// the DIB stores them) are written; answers the rows written (or the rows
// the header describes when bits is empty), 0 on failure. Bit counts 1
// (black and white, the nearer of the two), 24 and 32 are written; the
// bitmaps of this layer hold nothing that needs more.
int GetDIBits(const Bitmap& bitmap, UINT startScan, UINT lines, std::span<uint8_t> bits, std::span<uint8_t> info);

}  // namespace win
