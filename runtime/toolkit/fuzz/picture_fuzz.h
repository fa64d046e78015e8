// The body the picture readers' fuzz targets share: any bytes read as a
// picture of one type from a memory stream must give a status, never a read
// or write outside the input, the DIB or the stream. Pictures are capped at
// 2^20 pixels and inputs at 1 MB so every run stays fast; a picture read is
// drawn and written as a BMP, which must read back with the same size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxstream.h"

inline int FuzzPicture(const uint8_t* data, size_t size, uint16_t type) {
  if (size > (1u << 20)) return 0;
  kxobject::SetPicturePixelLimit(int64_t(1) << 20);
  kxobject::TMemStream stream(uint32_t(size + 1), 4096);
  if (size) stream.WriteHuge(data, uint32_t(size));
  stream.Seek(0);
  kxobject::TKxDib dib(stream, type);
  if (dib.Status != 1) return 0;
  auto surface = win::Bitmap::Create(16, 16, 32);
  win::Dc dc(surface);
  dib.Draw(dc, dc, kxobject::TRect{0, 0, 16, 16}, kxobject::kDrawFit);
  kxobject::TMemStream out(64, 4096);
  dib.WriteBmp(out);
  out.Seek(0);
  kxobject::TKxDib back(out, kxobject::kPictureBmp);
  if (back.Status != 1 || back.ComputeImageSize() != dib.ComputeImageSize()) __builtin_trap();
  return 0;
}
