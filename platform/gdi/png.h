// PNG files of bitmaps, for golden pictures in tests and screenshots: a
// bitmap is written as 8-bit RGB (its alpha is always opaque) and read back
// as a colour bitmap. Both answer failure instead of throwing.
#pragma once

#include <memory>
#include <string>

#include "platform/gdi/raster.h"

namespace win {

bool WritePng(const Bitmap& bitmap, const std::string& path);
// Null when the file is missing, not a PNG, or larger than Bitmap::kMaxPixels.
std::shared_ptr<Bitmap> ReadPng(const std::string& path);

}  // namespace win
