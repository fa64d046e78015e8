// Raster pictures: packed device-independent bitmaps (TKxDib), the device
// bitmaps made from them (TKxBitmap), the readers of the picture formats
// (BMP, PCX, GIF, JPEG), the BMP writer and the drawing of both kinds.
//
// A TKxDib holds one packed DIB in one movable global block:
//
//   offset        size          field
//   0             40            BITMAPINFOHEADER (biSize 40, biWidth > 0,
//                               biHeight > 0: rows bottom-up, biPlanes 1,
//                               biBitCount 1/4/8/16/24/32, biCompression
//                               BI_RGB, or BI_BITFIELDS at 16 and 32 bits,
//                               biSizeImage, resolutions, biClrUsed, ...)
//   40            4 x entries   colour table (blue, green, red, 0), or the
//                               three bit-field masks (12 bytes)
//   HeaderSize()  ImageSize     rows, each padded to a multiple of 4 bytes
//
// What always holds:
//   1. Status is 1 exactly when a block is held, and then the block passed
//      the checks of InfoFromHandle: its header describes a picture the
//      drawing layer draws (at most win::Bitmap::kMaxPixels pixels) and the
//      block holds the header part and every row. Info and Bits point into
//      the locked block; nothing reads outside it.
//   2. Status 0 is an empty DIB (also for picture types without a reader);
//      a negative Status is the failure of the last read and the DIB holds
//      nothing:
//        -1 stream error before reading; -2 file header short; -3 bad info
//        header, bit count or size; -4 PCX data shorter than the header
//        needs; -5 no memory (or larger than the pixel limit); -6 colour
//        table or image data unreadable; -8 PCX decoding out of memory;
//        -9 PCX run-length data ends early; -10 BMP bits short; -11 wrong
//        signature; -12 PCX 8-bit palette missing; -13 (no longer given:
//        a GIF global table of 2 colours is read); -22 unknown extension;
//        -23 no file name.
//   3. A reader runs on an empty DIB only (the check "Handle == 0") and
//      takes from a stream exactly the bytes of its picture: a BMP its
//      bfSize, a GIF up to its trailer, a JPEG up to its end-of-image
//      marker. A PCX has no length of its own and takes the rest of the
//      stream. A failed read leaves the stream's position where the failure
//      was seen.
//   4. Every raster picture is written as a BMP file image (WriteBmp) of
//      exactly 14 + HeaderSize() + biSizeImage bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/base/globalmem.h"
#include "platform/gdi/dc.h"
#include "platform/resources/resources.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace kxobject {

struct BITMAPINFOHEADER {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// Picture type codes of the stream constructor.
constexpr uint16_t kPictureBmp = 1;
constexpr uint16_t kPicturePcx = 2;
constexpr uint16_t kPictureGif = 5;
constexpr uint16_t kPictureJpeg = 6;

// Display modes of Draw.
constexpr int16_t kDrawNatural = 0;
constexpr int16_t kDrawFit = 1;

// The most pixels a picture read from outside may have: win::Bitmap's limit,
// lowered by tests and fuzzers (0 restores it).
void SetPicturePixelLimit(int64_t pixels);
int64_t PicturePixelLimit();

// The colour-table size a bit count implies: 2, 16, 256 for 1, 4, 8 bits;
// 0 for 16, 24, 32; -1 for any other.
int32_t ColorsForBitCount(int32_t bitCount);

class TKxBitmap;

class TKxDib : public TKxObject {
 public:
  struct FromClipboard {};
  struct FromResource {};

  TKxDib() = default;
  // A 1 x 1 two-colour placeholder carrying status.
  explicit TKxDib(int16_t status);
  // Adopts a packed DIB; when biSizeImage is 0 it is set to the image size.
  // A block that fails the checks gives status -1 (and is freed when owned).
  TKxDib(win::HGLOBAL handle, bool autoDelete);
  TKxDib(const TKxDib& other);
  TKxDib& operator=(const TKxDib&) = delete;
  // Empty, then the reader of the picture type.
  TKxDib(TKxStream& stream, uint16_t type);
  // The pixels of a device bitmap (1 bit for monochrome, else 24 bits).
  explicit TKxDib(const win::Bitmap& bitmap, const win::Palette* palette = nullptr);
  // The bitmap resource id (status 1, or -1 when there is none).
  TKxDib(FromResource, const platform::ResId& id);
  // The clipboard's CF_DIB: status 1 when one was read, -1 when none.
  TKxDib(FromClipboard, uint32_t ownerWindow);
  ~TKxDib() override;

  // --- readers (each sets Status) ---
  void ReadFile(const char* fileName);
  void ReadBmp(TKxStream& stream);
  void ReadPcx(TKxStream& stream);
  void ReadGif(TKxStream& stream);
  void ReadJpeg(TKxStream& stream);
  void WriteBmp(TKxStream& stream) const;

  // --- drawing (reference DC for the mapping, output DC to draw on) ---
  virtual void Draw(win::Dc& ref, win::Dc& out, int16_t x, int16_t y, int16_t width, int16_t height,
                    int16_t mode);
  void Draw(win::Dc& ref, win::Dc& out, TRect rect, int16_t mode);
  // The whole picture, unscaled, with its top left at (x, y).
  bool DrawAt(win::Dc& dc, int16_t x, int16_t y);

  // --- the packed DIB ---
  bool IsOK() const { return Status > 0 && Info != nullptr; }
  int32_t Width() const { return Info ? Info->biWidth : 0; }
  int32_t Height() const { return Info ? Info->biHeight : 0; }
  int32_t BitCount() const { return Info ? Info->biBitCount : 0; }
  // ((biWidth * biBitCount + 31) & ~31) / 8 * biHeight.
  int32_t ComputeImageSize() const;
  // Header and colour table: 40 + 4 * the entries the table holds.
  static int32_t GetHeaderSize(const BITMAPINFOHEADER& info);
  static int32_t GetColorCount(const BITMAPINFOHEADER& info) { return ColorsForBitCount(info.biBitCount); }
  int32_t HeaderSize() const { return Info ? GetHeaderSize(*Info) : 0; }
  // The block's size plus the 14-byte BMP file header.
  int32_t GetBmpSize() const;
  std::span<const uint8_t> InfoBytes() const;
  std::span<const uint8_t> BitsBytes() const;
  // The colour of pixel (x, y), y counted from the top; for tests and viewers.
  uint32_t PixelAt(int32_t x, int32_t y) const;

  // Null when the DIB has no colour table in use (biClrUsed 0).
  std::unique_ptr<win::Palette> CreatePalette() const;
  // A device bitmap for the DC owning the DIB's palette; null below status 1.
  std::unique_ptr<TKxBitmap> CreateBitmap(win::Dc& dc) const;
  // Puts on the clipboard, in this order, a copy of the DIB (CF_DIB), the
  // device bitmap CreateBitmap makes of it on the screen (CF_BITMAP) and,
  // when the DIB has one, its palette (CF_PALETTE). False when the DIB is
  // empty or the clipboard is held open.
  bool CopyToClipboard() const;

  // The framework DIB's part.
  win::HGLOBAL Handle;
  bool AutoDelete = false;
  BITMAPINFOHEADER* Info = nullptr;  // into the locked block
  uint8_t* Bits = nullptr;
  win::UINT Mode = win::DIB_RGB_COLORS;
  int16_t Status = 0;

 protected:
  // Takes the block (owned), checks it and points Info and Bits into it.
  // Status becomes 1, or -1 (block freed) when the checks fail.
  void Adopt(win::HGLOBAL block, bool owns);
  // Readers: "Handle == 0" must hold before a read.
  void CheckEmpty() const;
  void Release();
};

// A packed DIB being built by a reader straight in its global block: the
// header part followed by zero-filled rows. The block is freed unless
// Finish hands it out.
class DibBuilder {
 public:
  DibBuilder() = default;
  ~DibBuilder();
  DibBuilder(const DibBuilder&) = delete;
  DibBuilder& operator=(const DibBuilder&) = delete;
  // Sets up the header and an image of width x height at bitCount with a
  // colour table of colors entries (black). Answers 1, -3 for a size below
  // 1, -5 beyond the pixel limit or when memory fails. Without zeroRows the
  // rows are left as the memory came: the caller writes every byte of them,
  // padding included.
  int Start(int32_t width, int32_t height, int bitCount, uint32_t colors, bool zeroRows = true);
  BITMAPINFOHEADER& Header() { return *reinterpret_cast<BITMAPINFOHEADER*>(data_); }
  uint8_t* Table() { return data_ + sizeof(BITMAPINFOHEADER); }
  // dibRow counts from the bottom, as the DIB stores its rows.
  uint8_t* Row(int32_t dibRow) { return data_ + headerPart + size_t(dibRow) * stride; }
  // The block, owned by the caller from now on.
  win::HGLOBAL Finish();

  size_t headerPart = 0, stride = 0;

 private:
  win::HGLOBAL block_;
  uint8_t* data_ = nullptr;
};

// A device bitmap with the palette it was made with (owned).
class TKxBitmap : public TKxObject {
 public:
  explicit TKxBitmap(std::shared_ptr<win::Bitmap> bitmap, std::unique_ptr<win::Palette> palette = nullptr)
      : Bitmap(std::move(bitmap)), Palette(std::move(palette)) {}
  // Made from the DIB for dc's device, taking over palette.
  TKxBitmap(const win::Dc& dc, const TKxDib& dib, std::unique_ptr<win::Palette> palette);
  // A bitmap of the source's format cut to the maxima, with the source's
  // upper-left part copied in.
  TKxBitmap(const win::Bitmap& source, int16_t maxWidth, int16_t maxHeight);
  explicit TKxBitmap(const win::BITMAP& description) : Bitmap(win::CreateBitmapIndirect(description)) {}
  // A copy of the clipboard's CF_BITMAP (no bitmap when it holds none), no
  // palette.
  TKxBitmap(TKxDib::FromClipboard, uint32_t ownerWindow);
  // From a DIB on the screen; with a palette a copy of it is kept, without
  // one the DIB's own palette (when it uses a table) is made and kept.
  TKxBitmap(const TKxDib& dib, const win::Palette* palette);

  void Create(const win::BITMAP& description) { Bitmap = win::CreateBitmapIndirect(description); }
  // Draws into rect (logical units of ref) and hands back the rectangle used.
  void Draw(win::Dc& ref, win::Dc& out, TRect& rect, int16_t mode);

  std::shared_ptr<win::Bitmap> Bitmap;
  std::unique_ptr<win::Palette> Palette;
};

// The screen's DC, as the bitmap conversions use it.
win::Dc& ScreenDc();

}  // namespace kxobject
