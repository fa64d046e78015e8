#include "platform/gdi/png.h"

#include <png.h>

#include <bit>
#include <cstring>
#include <vector>

namespace win {

// A pixel 0xFFRRGGBB lies in memory as B, G, R, A on the little-endian
// machines this runs on, which is libpng's BGRA layout.
static_assert(std::endian::native == std::endian::little);

bool WritePng(const Bitmap& bitmap, const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(bitmap.Width());
  image.height = png_uint_32(bitmap.Height());
  // Written without alpha: every pixel is opaque.
  std::vector<uint8_t> rgb(size_t(bitmap.Width()) * size_t(bitmap.Height()) * 3);
  size_t at = 0;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const uint32_t* row = bitmap.Row(y);
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      rgb[at++] = uint8_t(row[x] >> 16);
      rgb[at++] = uint8_t(row[x] >> 8);
      rgb[at++] = uint8_t(row[x]);
    }
  }
  image.format = PNG_FORMAT_RGB;
  const bool ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

std::shared_ptr<Bitmap> ReadPng(const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return nullptr;
  auto bitmap = Bitmap::Create(int32_t(image.width), int32_t(image.height), 32);
  if (!bitmap || image.width > INT32_MAX || image.height > INT32_MAX) {
    png_image_free(&image);
    return nullptr;
  }
  image.format = PNG_FORMAT_BGRA;
  if (!png_image_finish_read(&image, nullptr, bitmap->Row(0), 0, nullptr)) {
    png_image_free(&image);
    return nullptr;
  }
  for (int32_t y = 0; y < bitmap->Height(); ++y)
    for (int32_t x = 0; x < bitmap->Width(); ++x) bitmap->Row(y)[x] |= kBlack;
  return bitmap;
}

}  // namespace win
