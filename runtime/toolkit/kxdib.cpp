// TKxDib and TKxBitmap: holding, checking, converting and drawing packed
// DIBs (the readers live in kxbmp.cpp, kxgif.cpp and kxjpeg.cpp).
//
// Every DIB that reaches Info and Bits went through Adopt, which checks the
// header with the drawing layer's own parser and the block's size against
// the header part and the rows; drawing and writing then rely on it.
#include "runtime/toolkit/kxdib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/base/engassert.h"
#include "platform/clipboard.h"
#include "platform/gdi/clipobjects.h"
#include "platform/gdi/dib.h"
#include "platform/resources/resources.h"

namespace kxobject {

namespace {

int64_t ImageSize(int64_t width, int64_t height, int64_t bitCount) {
  return ((width * bitCount + 31) & ~int64_t(31)) / 8 * height;
}

// Entries of the colour table, or the 3 masks of a bit-field DIB.
int64_t TableEntries(const BITMAPINFOHEADER& info) {
  if (info.biBitCount > 8) return info.biCompression == win::BI_BITFIELDS ? 3 : info.biClrUsed;
  return info.biClrUsed ? info.biClrUsed : int64_t(1) << info.biBitCount;
}

win::HGLOBAL CopyBlock(std::span<const uint8_t> bytes) {
  const win::HGLOBAL block = win::GlobalAlloc(win::GMEM_MOVEABLE, bytes.size());
  if (!block) return block;
  std::memcpy(win::GlobalLock(block), bytes.data(), bytes.size());
  win::GlobalUnlock(block);
  return block;
}

}  // namespace

namespace {
int64_t g_pixelLimit = 0;
}

void SetPicturePixelLimit(int64_t pixels) { g_pixelLimit = pixels; }
int64_t PicturePixelLimit() {
  return g_pixelLimit > 0 ? std::min(g_pixelLimit, win::Bitmap::kMaxPixels) : win::Bitmap::kMaxPixels;
}

int32_t ColorsForBitCount(int32_t bitCount) {
  switch (bitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    case 16: case 24: case 32: return 0;
    default: return -1;
  }
}

// --- DibBuilder ---

DibBuilder::~DibBuilder() {
  if (block_) {
    win::GlobalUnlock(block_);
    win::GlobalFree(block_);
  }
}

int DibBuilder::Start(int32_t width, int32_t height, int bitCount, uint32_t colors, bool zeroRows) {
  if (width < 1 || height < 1) return -3;
  if (int64_t(width) * height > PicturePixelLimit()) return -5;
  stride = size_t(ImageSize(width, 1, bitCount));
  headerPart = sizeof(BITMAPINFOHEADER) + 4 * size_t(colors);
  block_ = win::GlobalAlloc(win::GMEM_MOVEABLE | (zeroRows ? win::GMEM_ZEROINIT : 0),
                            headerPart + stride * size_t(height));
  if (!block_) return -5;
  data_ = static_cast<uint8_t*>(win::GlobalLock(block_));
  if (!zeroRows) std::memset(data_, 0, headerPart);
  BITMAPINFOHEADER& h = Header();
  h = BITMAPINFOHEADER{};
  h.biWidth = width;
  h.biHeight = height;
  h.biBitCount = uint16_t(bitCount);
  h.biSizeImage = uint32_t(stride * size_t(height));
  h.biClrUsed = bitCount <= 8 ? colors : 0;
  return 1;
}

win::HGLOBAL DibBuilder::Finish() {
  win::GlobalUnlock(block_);
  const win::HGLOBAL out = block_;
  block_ = {};
  data_ = nullptr;
  return out;
}

// --- TKxDib ---

TKxDib::TKxDib(int16_t status) {
  DibBuilder b;
  if (b.Start(1, 1, 1, 2) == 1) {
    b.Table()[4] = b.Table()[5] = b.Table()[6] = 0xFF;  // entry 1 white
    Adopt(b.Finish(), true);
  }
  Status = status;
}

TKxDib::TKxDib(win::HGLOBAL handle, bool autoDelete) { Adopt(handle, autoDelete); }

TKxDib::TKxDib(const TKxDib& other) : TKxObject() {
  if (!other.IsOK()) {
    Status = -1;
    return;
  }
  Mode = other.Mode;
  Adopt(CopyBlock({reinterpret_cast<const uint8_t*>(other.Info), win::GlobalSize(other.Handle)}), true);
}

TKxDib::TKxDib(TKxStream& stream, uint16_t type) {
  switch (type) {
    case kPictureBmp: ReadBmp(stream); break;
    case kPicturePcx: ReadPcx(stream); break;
    case kPictureGif: ReadGif(stream); break;
    case kPictureJpeg: ReadJpeg(stream); break;
    default: break;  // sounds, metafiles and unknown types are read elsewhere
  }
}

TKxDib::TKxDib(const win::Bitmap& bitmap, const win::Palette*) {
  // The raster is true colour, so a palette adds nothing to the pixels.
  const int bits = bitmap.Mono() ? 1 : 24;
  DibBuilder b;
  if (b.Start(bitmap.Width(), bitmap.Height(), bits, bits == 1 ? 2 : 0) != 1) {
    Status = -1;
    return;
  }
  const std::span<uint8_t> info(reinterpret_cast<uint8_t*>(&b.Header()), b.headerPart);
  const std::span<uint8_t> rows(b.Row(0), b.stride * size_t(bitmap.Height()));
  if (win::GetDIBits(bitmap, 0, win::UINT(bitmap.Height()), rows, info) != bitmap.Height()) {
    Status = -1;
    return;
  }
  Adopt(b.Finish(), true);
}

TKxDib::TKxDib(FromResource, const platform::ResId& id) {
  std::string_view bytes;
  if (!platform::FindResource(platform::RT_BITMAP, id, bytes)) {
    Status = -1;
    return;
  }
  Adopt(CopyBlock({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}), true);
}

TKxDib::TKxDib(FromClipboard, uint32_t ownerWindow) {
  Status = -1;
  if (!win::OpenClipboard(ownerWindow)) return;
  const win::HGLOBAL data{win::GetClipboardData(win::CF_DIB)};
  if (data) {
    const void* p = win::GlobalLock(data);
    if (p) Adopt(CopyBlock({static_cast<const uint8_t*>(p), win::GlobalSize(data)}), true);
    win::GlobalUnlock(data);
  }
  win::CloseClipboard();
}

TKxDib::~TKxDib() {
  Status = 0;
  Release();
}

void TKxDib::Release() {
  if (Handle) {
    win::GlobalUnlock(Handle);
    if (AutoDelete) win::GlobalFree(Handle);
  }
  Handle = {};
  Info = nullptr;
  Bits = nullptr;
}

void TKxDib::CheckEmpty() const { ZET_ASSERT(!Handle, "Handle == 0"); }

void TKxDib::Adopt(win::HGLOBAL block, bool owns) {
  Release();
  Status = -1;
  if (!block) return;
  auto* data = static_cast<uint8_t*>(win::GlobalLock(block));
  const size_t size = win::GlobalSize(block);
  BITMAPINFOHEADER h;
  bool ok = data && size >= sizeof h;
  if (ok) {
    std::memcpy(&h, data, sizeof h);
    ok = h.biSize == sizeof h && h.biHeight > 0 && TableEntries(h) <= 256;
  }
  int64_t headerPart = 0, image = 0;
  if (ok) {
    headerPart = GetHeaderSize(h);
    image = ImageSize(h.biWidth, h.biHeight, h.biBitCount);
    ok = win::ParseDibInfo({data, size_t(std::min<int64_t>(headerPart, int64_t(size)))}, Mode, nullptr) &&
         int64_t(size) >= headerPart + image;
  }
  if (!ok) {
    win::GlobalUnlock(block);
    if (owns) win::GlobalFree(block);
    return;
  }
  Handle = block;
  AutoDelete = owns;
  Info = reinterpret_cast<BITMAPINFOHEADER*>(data);
  if (Info->biSizeImage == 0) Info->biSizeImage = uint32_t(image);
  Bits = data + headerPart;
  Status = 1;
}

int32_t TKxDib::ComputeImageSize() const {
  return Info ? int32_t(ImageSize(Info->biWidth, Info->biHeight, Info->biBitCount)) : 0;
}

int32_t TKxDib::GetHeaderSize(const BITMAPINFOHEADER& info) {
  return int32_t(sizeof(BITMAPINFOHEADER) + 4 * TableEntries(info));
}

int32_t TKxDib::GetBmpSize() const { return Handle ? int32_t(win::GlobalSize(Handle)) + 14 : 14; }

std::span<const uint8_t> TKxDib::InfoBytes() const {
  if (!Info) return {};
  return {reinterpret_cast<const uint8_t*>(Info), size_t(HeaderSize())};
}

std::span<const uint8_t> TKxDib::BitsBytes() const {
  if (!Info) return {};
  return {Bits, size_t(ComputeImageSize())};
}

uint32_t TKxDib::PixelAt(int32_t x, int32_t y) const {
  if (!IsOK() || x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
  const auto f = win::ParseDibInfo(InfoBytes(), Mode, nullptr);
  const uint8_t* row = Bits + size_t(Height() - 1 - y) * f->stride;
  const auto entry = [&](uint32_t i) { return i < f->colors.size() ? f->colors[i] : win::kBlack; };
  switch (f->bitCount) {
    case 1: return entry((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4: return entry((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
    case 8: return entry(row[x]);
    case 24: return win::kBlack | uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
    default: {
      // 16 and 32 bits: draw the pixel through the drawing layer.
      auto one = win::DecodeDibRows(*f, BitsBytes(), Height());
      return one ? one->Get(x, y) : 0;
    }
  }
}

std::unique_ptr<win::Palette> TKxDib::CreatePalette() const {
  if (!Info || Info->biClrUsed == 0 || Info->biBitCount > 8) return nullptr;
  auto palette = std::make_unique<win::Palette>();
  const uint8_t* table = InfoBytes().data() + sizeof(BITMAPINFOHEADER);
  for (uint32_t i = 0; i < Info->biClrUsed; ++i)
    palette->entries.push_back(win::RGB(table[4 * i + 2], table[4 * i + 1], table[4 * i]));
  return palette;
}

std::unique_ptr<TKxBitmap> TKxDib::CreateBitmap(win::Dc& dc) const {
  if (Status < 1 || !Info) return nullptr;
  auto palette = CreatePalette();
  if (palette) dc.SelectPalette(std::make_shared<win::Palette>(*palette));  // stays selected
  return std::make_unique<TKxBitmap>(dc, *this, std::move(palette));
}

bool TKxDib::CopyToClipboard() const {
  if (!Handle || !win::OpenClipboard(0)) return false;
  const win::HGLOBAL copy = CopyBlock({reinterpret_cast<const uint8_t*>(Info), win::GlobalSize(Handle)});
  if (copy && !win::SetClipboardData(win::CF_DIB, copy)) win::GlobalFree(copy);
  if (std::unique_ptr<TKxBitmap> bitmap = CreateBitmap(ScreenDc())) {
    win::SetClipboardBitmap(std::move(bitmap->Bitmap));
    if (bitmap->Palette) win::SetClipboardPalette(*bitmap->Palette);
  }
  win::CloseClipboard();
  return true;
}

// --- drawing ---

void TKxDib::Draw(win::Dc& ref, win::Dc& out, int16_t x, int16_t y, int16_t width, int16_t height, int16_t mode) {
  Draw(ref, out, TRect{x, y, x + width, y + height}, mode);
}

void TKxDib::Draw(win::Dc& ref, win::Dc& out, TRect r, int16_t mode) {
  if (!IsOK() || r.right == r.left || r.bottom == r.top) return;
  std::shared_ptr<const win::Palette> previous;
  const bool palette = Info->biClrUsed > 0 && Info->biBitCount <= 8;
  if (palette) previous = out.SelectPalette(std::shared_ptr<const win::Palette>(CreatePalette()));
  const int32_t w = int16_t(Info->biWidth), h = int16_t(Info->biHeight);
  int32_t srcLeft = 0, srcTop = 0, srcWidth = w, srcHeight = h;
  if (mode == kDrawNatural) {
    win::POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    ref.LPtoDP(corners);
    if (corners[1].x - corners[0].x < w)
      srcWidth = corners[1].x - corners[0].x;
    else
      corners[1].x = corners[0].x + w;
    if (corners[1].y - corners[0].y < h)
      srcTop = h - (corners[1].y - corners[0].y), srcHeight = corners[1].y - corners[0].y;
    else
      corners[1].y = corners[0].y + h;
    ref.DPtoLP(corners);
    r = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  } else if (mode == kDrawFit) {
    const double sx = double(Info->biWidth) / (r.right - r.left), sy = double(Info->biHeight) / (r.bottom - r.top);
    if (sx > sy)
      r.bottom = r.top + int16_t(std::floor(Info->biHeight / sx + 0.5));
    else
      r.right = r.left + int16_t(std::floor(Info->biWidth / sy + 0.5));
  }
  win::StretchDIBits(out, r.left, r.top, r.right - r.left, r.bottom - r.top, srcLeft, srcTop, srcWidth, srcHeight,
                     BitsBytes(), InfoBytes(), Mode, win::SRCCOPY);
  if (palette) out.SelectPalette(previous);
}

bool TKxDib::DrawAt(win::Dc& dc, int16_t x, int16_t y) {
  if (!IsOK()) return false;
  return win::SetDIBitsToDevice(dc, x, y, win::DWORD(Info->biWidth), win::DWORD(Info->biHeight), 0, 0, 0,
                                win::UINT(Info->biHeight), BitsBytes(), InfoBytes(), Mode) > 0;
}

// --- TKxBitmap ---

TKxBitmap::TKxBitmap(const win::Dc& dc, const TKxDib& dib, std::unique_ptr<win::Palette> palette)
    : Bitmap(dib.IsOK() ? win::CreateDIBitmap(dc, dib.InfoBytes(), win::CBM_INIT, dib.BitsBytes(), dib.Mode)
                        : nullptr),
      Palette(std::move(palette)) {}

TKxBitmap::TKxBitmap(const win::Bitmap& source, int16_t maxWidth, int16_t maxHeight) {
  const int32_t w = std::min<int32_t>(source.Width(), maxWidth), h = std::min<int32_t>(source.Height(), maxHeight);
  Bitmap = win::Bitmap::Create(w, h, source.BitsPixel());
  if (!Bitmap) return;
  for (int32_t y = 0; y < h; ++y) std::copy_n(source.Row(y), w, Bitmap->Row(y));
}

TKxBitmap::TKxBitmap(TKxDib::FromClipboard, uint32_t ownerWindow) {
  if (!win::OpenClipboard(ownerWindow)) return;
  if (const std::shared_ptr<const win::Bitmap> held = win::GetClipboardBitmap())
    Bitmap = std::make_shared<win::Bitmap>(*held);
  win::CloseClipboard();
}

TKxBitmap::TKxBitmap(const TKxDib& dib, const win::Palette* palette) {
  if (palette)
    Palette = std::make_unique<win::Palette>(*palette);
  else
    Palette = dib.CreatePalette();
  if (dib.IsOK())
    Bitmap = win::CreateDIBitmap(ScreenDc(), dib.InfoBytes(), win::CBM_INIT, dib.BitsBytes(), dib.Mode);
}

void TKxBitmap::Draw(win::Dc& ref, win::Dc& out, TRect& r, int16_t mode) {
  const int rasterCaps = ref.GetDeviceCaps(win::RASTERCAPS), technology = out.GetDeviceCaps(win::TECHNOLOGY);
  if (!Bitmap || !(rasterCaps & win::RC_BITBLT)) return;
  if (r.right - r.left <= 0 || r.bottom - r.top <= 0) mode = kDrawNatural;
  int32_t w = Bitmap->Width(), h = Bitmap->Height();
  auto memory = win::Dc::CreateCompatible(&ref);
  memory->SelectBitmap(Bitmap);
  if (mode == kDrawNatural) {
    win::POINT size[2] = {{0, 0}, {w, h}};
    ref.DPtoLP(size);
    w = size[1].x - size[0].x, h = size[1].y - size[0].y;
    memory->SetMapMode(ref.GetMapMode());
    memory->SetViewportExtEx(ref.GetViewportExt().cx, ref.GetViewportExt().cy);
    memory->SetWindowExtEx(ref.GetWindowExt().cx, ref.GetWindowExt().cy);
  }
  std::shared_ptr<const win::Palette> previous;
  const bool palette = Palette && (rasterCaps & win::RC_PALETTE) && technology != win::DT_METAFILE;
  if (palette) {
    auto shared = std::make_shared<const win::Palette>(*Palette);
    memory->SelectPalette(shared);
    previous = out.SelectPalette(shared);
  }
  if (mode == kDrawNatural) {
    if (r.right - r.left > w) r.left = (r.left + r.right - w) / 2, r.right = r.left + w;
    if (r.bottom - r.top > h) r.top = (r.top + r.bottom - h) / 2, r.bottom = r.top + h;
    win::BitBlt(out, r.left, r.top, w, h, memory.get(), 0, 0, win::SRCCOPY);
  } else {
    if (mode == kDrawFit) {
      const double sx = double(w) / (r.right - r.left), sy = double(h) / (r.bottom - r.top);
      if (sx > sy)
        r.bottom = r.top + int16_t(std::floor(h / sx + 0.5));
      else
        r.right = r.left + int16_t(std::floor(w / sy + 0.5));
    }
    win::StretchBlt(out, r.left, r.top, r.right - r.left, r.bottom - r.top, memory.get(), 0, 0, w, h,
                    win::SRCCOPY);
  }
  if (palette) out.SelectPalette(previous);
}

win::Dc& ScreenDc() {
  static win::Dc screen(win::Bitmap::Create(1, 1, 32), win::DeviceCaps{win::DT_RASDISPLAY, 1024, 768});
  return screen;
}

}  // namespace kxobject
