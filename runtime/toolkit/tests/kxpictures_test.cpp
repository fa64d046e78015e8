// Pictures written by Pillow, read by our readers and compared pixel for
// pixel with what Pillow decodes from the same files.
#include <gtest/gtest.h>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/tests/picture_support.h"

namespace {

using kxobject::TKxDib;
using pictest::Bytes;

struct Case {
  const char* file;
  uint16_t type;
  int tolerance;  // largest channel difference allowed
  int bitCount;   // of the DIB read
};

const Case kCases[] = {
    {"bmp1.bmp", kxobject::kPictureBmp, 0, 1},      {"bmp4.bmp", kxobject::kPictureBmp, 0, 4},
    {"bmp8.bmp", kxobject::kPictureBmp, 0, 8},      {"bmp8grey.bmp", kxobject::kPictureBmp, 0, 8},
    {"bmp24.bmp", kxobject::kPictureBmp, 0, 24},    {"bmp16v5.bmp", kxobject::kPictureBmp, 7, 16},
    {"pcx1.pcx", kxobject::kPicturePcx, 0, 1},      {"pcx4.pcx", kxobject::kPicturePcx, 0, 4},
    {"pcx8.pcx", kxobject::kPicturePcx, 0, 8},      {"pcx24.pcx", kxobject::kPicturePcx, 0, 24},
    {"gif87.gif", kxobject::kPictureGif, 0, 8},     {"gif89.gif", kxobject::kPictureGif, 0, 8},
    {"gifinterlaced.gif", kxobject::kPictureGif, 0, 8}, {"gif2colour.gif", kxobject::kPictureGif, 0, 8},
    {"gifbig.gif", kxobject::kPictureGif, 0, 8},    {"jpegbaseline.jpg", kxobject::kPictureJpeg, 2, 24},
    {"jpegprogressive.jpg", kxobject::kPictureJpeg, 2, 24}, {"jpeggrey.jpg", kxobject::kPictureJpeg, 2, 24},
};

std::string Stem(const char* file) {
  const std::string f(file);
  return f.substr(0, f.find('.'));
}

// Every picture read from a stream that holds more after it: the pixels
// match Pillow's, and the stream stands right after the picture (a PCX has
// no length of its own and takes the rest).
TEST(PictureFilesTest, ReadFromStreamsMatchPillowAndStopAtTheirEnd) {
  ASSERT_FALSE(pictest::Pictures().empty()) << "make_pictures.py failed (needs /usr/bin/python3 with Pillow)";
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    Bytes bytes = pictest::FileBytes(pictest::Pictures() / c.file);
    ASSERT_FALSE(bytes.empty());
    const size_t size = bytes.size();
    const bool pcx = c.type == kxobject::kPicturePcx;
    if (!pcx) bytes.insert(bytes.end(), {'N', 'E', 'X', 'T'});
    auto stream = pictest::StreamOf(bytes);
    TKxDib dib(*stream, c.type);
    ASSERT_EQ(dib.Status, 1);
    EXPECT_EQ(dib.BitCount(), c.bitCount);
    EXPECT_LE(pictest::MaxDifference(dib, pictest::ReadReference(Stem(c.file))), c.tolerance);
    EXPECT_EQ(stream->Status, 0);
    EXPECT_EQ(stream->GetPos(), int32_t(size));
  }
}

TEST(PictureFilesTest, ReadFileRoutesByExtension) {
  ASSERT_FALSE(pictest::Pictures().empty());
  for (const char* file : {"bmp8.bmp", "pcx24.pcx", "gif87.gif"}) {
    SCOPED_TRACE(file);
    TKxDib dib;
    dib.ReadFile((pictest::Pictures() / file).c_str());
    ASSERT_EQ(dib.Status, 1);
    EXPECT_EQ(pictest::MaxDifference(dib, pictest::ReadReference(Stem(file))), 0);
  }
  // Upper-case extensions, .DIB, and the names that have no reader here.
  const auto upper = pictest::Pictures() / "COPY.DIB";
  std::filesystem::copy_file(pictest::Pictures() / "bmp4.bmp", upper);
  TKxDib dib;
  dib.ReadFile(upper.c_str());
  EXPECT_EQ(dib.Status, 1);
  struct {
    const char* name;
    int16_t status;
  } const failures[] = {{"logo.jpg", -22}, {"/no/such/folder/picture.bmp", -1}, {"", -23}, {nullptr, -23}};
  for (const auto& f : failures) {
    TKxDib none;
    none.ReadFile(f.name);
    EXPECT_EQ(none.Status, f.status) << (f.name ? f.name : "(null)");
  }
}

// A picture of any format is stored as a BMP image; reading that back gives
// the same DIB.
TEST(PictureFilesTest, EveryFormatWritesAsBmpAndReadsBack) {
  ASSERT_FALSE(pictest::Pictures().empty());
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    auto in = pictest::StreamOf(pictest::FileBytes(pictest::Pictures() / c.file));
    TKxDib dib(*in, c.type);
    ASSERT_EQ(dib.Status, 1);
    kxobject::TMemStream out(64, 4096);
    dib.WriteBmp(out);
    ASSERT_EQ(out.GetSize(), 14 + dib.HeaderSize() + dib.ComputeImageSize());
    out.Seek(0);
    TKxDib back(out, kxobject::kPictureBmp);
    ASSERT_EQ(back.Status, 1);
    ASSERT_EQ(back.InfoBytes().size(), dib.InfoBytes().size());
    EXPECT_TRUE(std::equal(back.InfoBytes().begin(), back.InfoBytes().end(), dib.InfoBytes().begin()));
    EXPECT_TRUE(std::equal(back.BitsBytes().begin(), back.BitsBytes().end(), dib.BitsBytes().begin()));
  }
}

}  // namespace
