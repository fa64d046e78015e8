// The JPEG loader: its two entry points, the DIB layouts they make, the
// densities, and failures that must answer 0 without leaking.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/base/globalmem.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxjpeg.h"
#include "runtime/toolkit/tests/picture_support.h"

namespace {

using kxobject::TKxDib;
using pictest::Bytes;

struct Source {
  Bytes bytes;
  size_t at = 0;
  int calls = 0;
};

uint32_t ReadSource(void* buffer, uint32_t count, void* data) {
  auto* s = static_cast<Source*>(data);
  ++s->calls;
  const size_t n = std::min<size_t>(count, s->bytes.size() - s->at);
  if (n > 0) std::memcpy(buffer, s->bytes.data() + s->at, n);
  s->at += n;
  return uint32_t(n);
}

win::HGLOBAL FromStream(const Bytes& bytes, bool quantize) {
  Source s{bytes};
  return kxobject::LoadDibFromJpegStream(ReadSource, quantize, &s);
}

Bytes Picture(const char* name) { return pictest::FileBytes(pictest::Pictures() / name); }

TEST(JpegLoaderTest, GreyPicturesByFileAndByStream) {
  ASSERT_FALSE(pictest::Pictures().empty());
  const auto path = pictest::Pictures() / "jpeggrey.jpg";
  TKxDib byFile(kxobject::LoadDibFromJpegFile(path.c_str()), true);
  ASSERT_EQ(byFile.Status, 1);
  EXPECT_EQ(byFile.BitCount(), 8);
  EXPECT_EQ(byFile.Info->biClrUsed, 256u);
  const uint8_t* table = byFile.InfoBytes().data() + 40;
  EXPECT_EQ(Bytes(table + 4 * 255, table + 4 * 256), (Bytes{255, 255, 255, 0}));
  EXPECT_EQ(Bytes(table + 4 * 7, table + 4 * 8), (Bytes{7, 7, 7, 0}));
  const auto reference = pictest::ReadReference("jpeggrey");
  EXPECT_LE(pictest::MaxDifference(byFile, reference), 2);

  TKxDib byStream(FromStream(Picture("jpeggrey.jpg"), false), true);
  ASSERT_EQ(byStream.Status, 1);
  EXPECT_EQ(byStream.BitCount(), 24);
  EXPECT_LE(pictest::MaxDifference(byStream, reference), 2);

  // Quantized: 8 bits through the colours the library chose.
  TKxDib quantized(FromStream(Picture("jpegbaseline.jpg"), true), true);
  ASSERT_EQ(quantized.Status, 1);
  EXPECT_EQ(quantized.BitCount(), 8);
  EXPECT_LE(pictest::MaxDifference(quantized, pictest::ReadReference("jpegbaseline")), 128);
}

TEST(JpegLoaderTest, RowLayoutAndDensity) {
  ASSERT_FALSE(pictest::Pictures().empty());
  TKxDib narrow(FromStream(Picture("jpeg3x1.jpg"), false), true);
  ASSERT_EQ(narrow.Status, 1);
  EXPECT_EQ(narrow.ComputeImageSize(), 12);
  const auto bits = narrow.BitsBytes();
  EXPECT_EQ(Bytes(bits.begin() + 9, bits.end()), (Bytes{0, 0, 0}));
  EXPECT_LE(pictest::MaxDifference(narrow, pictest::ReadReference("jpeg3x1")), 2);

  // Densities 40 x 40 per centimetre: 4000 pixels per metre.
  TKxDib dense(FromStream(Picture("jpegdensity.jpg"), false), true);
  ASSERT_EQ(dense.Status, 1);
  EXPECT_EQ(dense.Info->biXPelsPerMeter, 4000);
  EXPECT_EQ(dense.Info->biYPelsPerMeter, 4000);
  // Per inch: no resolution.
  TKxDib perInch(FromStream(Picture("jpegbaseline.jpg"), false), true);
  EXPECT_EQ(perInch.Info->biXPelsPerMeter, 0);
}

TEST(JpegLoaderTest, FailuresAnswerNothingAndLeakNothing) {
  ASSERT_FALSE(pictest::Pictures().empty());
  const size_t alive = platform::GlobalBlocksAlive();
  Source empty;
  EXPECT_FALSE(kxobject::LoadDibFromJpegStream(ReadSource, false, &empty));
  EXPECT_EQ(empty.calls, 1);
  EXPECT_FALSE(FromStream(Picture("jpegcmyk.jpg"), false)) << "CMYK";
  EXPECT_FALSE(kxobject::LoadDibFromJpegFile((pictest::Pictures() / "jpegcmyk.jpg").c_str())) << "CMYK";
  EXPECT_FALSE(FromStream(Bytes(100, 'x'), false)) << "not a JPEG";
  EXPECT_FALSE(kxobject::LoadDibFromJpegFile("/no/such/file.jpg"));
  EXPECT_FALSE(kxobject::LoadDibFromJpegFile(nullptr));
  kxobject::SetPicturePixelLimit(100);
  EXPECT_FALSE(FromStream(Picture("jpegbaseline.jpg"), false)) << "over the pixel limit";
  kxobject::SetPicturePixelLimit(0);
  EXPECT_EQ(platform::GlobalBlocksAlive(), alive);

  // A picture cut short still decodes, whole in size.
  Bytes cut = Picture("jpegbaseline.jpg");
  cut.resize(cut.size() / 2);
  TKxDib truncated(FromStream(cut, false), true);
  ASSERT_EQ(truncated.Status, 1);
  EXPECT_EQ(truncated.Width(), 67);

  // ReadJpeg: a failure gives -1 and leaves the stream without error.
  auto stream = pictest::StreamOf(Picture("jpegcmyk.jpg"));
  TKxDib dib(*stream, kxobject::kPictureJpeg);
  EXPECT_EQ(dib.Status, -1);
  EXPECT_EQ(stream->Status, 0);
}

}  // namespace
