#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/gdi/png.h"

namespace {

TEST(PngTest, WrittenPicturesReadBackPixelForPixel) {
  const auto path = std::filesystem::temp_directory_path() / ("gdi_png_test_" + std::to_string(::getpid()) + ".png");
  auto b = win::Bitmap::Create(7, 3, 32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) b->Set(x, y, 0xFF000000 | uint32_t(x * 0x2503 + y * 0x410700));
  ASSERT_TRUE(win::WritePng(*b, path.string()));
  auto back = win::ReadPng(path.string());
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Width(), 7);
  ASSERT_EQ(back->Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(back->Get(x, y), b->Get(x, y));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "not a picture";
  EXPECT_FALSE(win::ReadPng(path.string()));
  std::filesystem::remove(path);
  EXPECT_FALSE(win::ReadPng(path.string()));
  EXPECT_FALSE(win::WritePng(*b, "/nonexistent-folder/x.png"));
}

}  // namespace
