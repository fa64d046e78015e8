// The GIF reader on hand-made files: row order, interlacing, header checks,
// extensions, the LZW decoder's special codes and damaged image data.
#include <gtest/gtest.h>

#include <chrono>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/tests/picture_support.h"

namespace {

using kxobject::TKxDib;
using pictest::Bytes;
using pictest::LzwData;
using pictest::MakeGif;

struct Read {
  std::unique_ptr<kxobject::TMemStream> stream;
  std::unique_ptr<TKxDib> dib;
};

Read ReadGif(const Bytes& bytes) {
  Read r{pictest::StreamOf(bytes), nullptr};
  r.dib = std::make_unique<TKxDib>(*r.stream, kxobject::kPictureGif);
  return r;
}

// The palette indexes of the DIB, top row first.
std::vector<Bytes> Indexes(const TKxDib& dib) {
  std::vector<Bytes> rows;
  const size_t stride = size_t((dib.Width() + 3) / 4 * 4);
  for (int32_t y = 0; y < dib.Height(); ++y) {
    const uint8_t* row = dib.Bits + size_t(dib.Height() - 1 - y) * stride;
    rows.emplace_back(row, row + dib.Width());
  }
  return rows;
}

TEST(GifReaderTest, RowsAreStoredBottomUpAndPadded) {
  // Rows A = 0 1 2 and B = 3 0 1.
  const Read r = ReadGif(MakeGif(3, 2, 4, LzwData(2, {4, 0, 1, 2, 3, 0, 1, 5})));
  ASSERT_EQ(r.dib->Status, 1);
  EXPECT_EQ(r.dib->BitCount(), 8);
  EXPECT_EQ(r.dib->Info->biClrUsed, 256u);
  EXPECT_EQ(r.dib->Info->biXPelsPerMeter, 10000);
  EXPECT_EQ(r.dib->HeaderSize(), 1064);
  const Bytes bits(r.dib->BitsBytes().begin(), r.dib->BitsBytes().end());
  EXPECT_EQ(bits, (Bytes{3, 0, 1, 0, 0, 1, 2, 0}));
  EXPECT_EQ(r.dib->PixelAt(1, 0), 0xFF0A0A0Au);  // colour 1 of the table
  EXPECT_EQ(r.dib->PixelAt(0, 0), 0xFF000000u);
  EXPECT_EQ(r.stream->GetPos(), r.stream->GetSize()) << "the trailer is read";
}

TEST(GifReaderTest, InterlacedRowsGoToTheirPasses) {
  // Height 10: stored rows 0..9 hold the values 0..9 and go to display rows
  // 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
  std::vector<uint32_t> codes{16};
  for (uint32_t j = 0; j < 10; ++j) codes.push_back(j), codes.push_back(16);  // clear keeps codes short
  codes.back() = 17;
  const Read r = ReadGif(MakeGif(1, 10, 16, LzwData(4, codes), true));
  ASSERT_EQ(r.dib->Status, 1);
  const int display[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  const auto rows = Indexes(*r.dib);
  for (int j = 0; j < 10; ++j) EXPECT_EQ(rows[size_t(display[j])][0], j) << "stored row " << j;
}

TEST(GifReaderTest, HeaderChecks) {
  const Bytes data = LzwData(2, {4, 1, 5});
  Bytes g88 = MakeGif(1, 1, 4, data, false, "88a");
  EXPECT_EQ(ReadGif(g88).dib->Status, -3);
  Bytes notGif = MakeGif(1, 1, 4, data);
  notGif[0] = 'J';
  EXPECT_EQ(ReadGif(notGif).dib->Status, -11);
  EXPECT_EQ(ReadGif(Bytes{'G', 'I', 'F', '8', '9', 'a', 1}).dib->Status, -2);
  // Two-colour tables, global or local, are read (black-and-white pictures).
  const Read two = ReadGif(MakeGif(1, 1, 2, data));
  ASSERT_EQ(two.dib->Status, 1);
  EXPECT_EQ(two.dib->PixelAt(0, 0), 0xFF0A0A0Au);
  Bytes local = MakeGif(1, 1, 4, data);
  const size_t descriptor = 13 + 12;
  local[descriptor + 9] = 0x80;  // a local table of 2 colours follows
  local.insert(local.begin() + long(descriptor + 10), {0, 0, 0, 50, 60, 70});
  const Read loc = ReadGif(local);
  ASSERT_EQ(loc.dib->Status, 1);
  EXPECT_EQ(loc.dib->PixelAt(0, 0), 0xFF323C46u);
  // A size of 0, or one beyond the pixel limit.
  EXPECT_EQ(ReadGif(MakeGif(0, 5, 4, data)).dib->Status, -3);
  kxobject::SetPicturePixelLimit(1000);
  EXPECT_EQ(ReadGif(MakeGif(100, 11, 4, data)).dib->Status, -5);
  kxobject::SetPicturePixelLimit(0);
}

TEST(GifReaderTest, ExtensionsBeforeTheImageAreSkipped) {
  Bytes g = MakeGif(1, 1, 4, LzwData(2, {4, 2, 5}));
  Bytes ext{0x21, 0xFE, 255};
  ext.insert(ext.end(), 255, 'c');
  ext.insert(ext.end(), {3, 'a', 'b', 'c', 0, 0x21, 0xFF, 11});
  ext.insert(ext.end(), 11, 'n');
  ext.push_back(0);
  g.insert(g.begin() + 13 + 12, ext.begin(), ext.end());
  const Read r = ReadGif(g);
  ASSERT_EQ(r.dib->Status, 1);
  EXPECT_EQ(Indexes(*r.dib)[0][0], 2);
}

TEST(GifReaderTest, SpecialCodesAndCodeWidths) {
  // Code 6 is the next free code when it arrives: 0, then "0 0".
  const Read kwk = ReadGif(MakeGif(3, 1, 4, LzwData(2, {4, 0, 6, 5})));
  ASSERT_EQ(kwk.dib->Status, 1);
  EXPECT_EQ(Indexes(*kwk.dib)[0], (Bytes{0, 0, 0}));
  // 600 literal codes at 8 bits: the width grows from 9 to 10 once the next
  // free code passes 511, and the picture comes out whole.
  std::vector<uint32_t> codes{256};
  for (uint32_t i = 0; i < 600; ++i) codes.push_back(i % 251);
  codes.push_back(257);
  const Read wide = ReadGif(MakeGif(600, 1, 256, LzwData(8, codes)));
  ASSERT_EQ(wide.dib->Status, 1);
  const Bytes row = Indexes(*wide.dib)[0];
  for (uint32_t i = 0; i < 600; ++i) ASSERT_EQ(row[i], i % 251) << i;
  // 5000 codes without a clear code: the table fills at 4096, the width
  // stays 12 and the codes keep decoding.
  codes.assign(1, 4);
  for (uint32_t i = 0; i < 5000; ++i) codes.push_back(i % 4);
  codes.push_back(5);
  const Read full = ReadGif(MakeGif(5000, 1, 4, LzwData(2, codes)));
  ASSERT_EQ(full.dib->Status, 1);
  const Bytes fullRow = Indexes(*full.dib)[0];
  for (uint32_t i = 0; i < 5000; ++i) ASSERT_EQ(fullRow[i], i % 4) << i;
}

TEST(GifReaderTest, DamagedImageDataStillGivesAWholePicture) {
  struct Damage {
    const char* what;
    Bytes data;
  };
  Bytes truncated = LzwData(2, {4, 1, 1, 1, 1, 1, 1, 1, 1, 5});
  truncated.resize(3);  // code size, sub-block size, one byte; no terminator
  Bytes endless{2, 255};
  endless.insert(endless.end(), 255, 0x00);  // code 0 over and over, no end code
  endless.push_back(0);
  const Damage cases[] = {
      {"undefined code", LzwData(2, {4, 1, 7, 2, 5})},
      {"first code not a root", LzwData(2, {4, 7, 1, 5})},
      {"no clear code first", LzwData(2, {1, 2, 5})},
      {"data ends early", truncated},
      {"no end code", endless},
      {"code size 12", Bytes{12, 2, 0xFF, 0xFF, 0}},
      {"code size 0", Bytes{0, 2, 0x55, 0x55, 0}},
      {"no image data at all", Bytes{}},
  };
  for (const Damage& d : cases) {
    Bytes g = MakeGif(4, 3, 4, d.data);
    if (d.data.empty()) g.resize(13 + 12 + 10);
    const auto started = std::chrono::steady_clock::now();
    const Read r = ReadGif(g);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << d.what;
    ASSERT_EQ(r.dib->Status, 1) << d.what;
    EXPECT_EQ(r.dib->Width(), 4);
    EXPECT_EQ(r.dib->Height(), 3);
    EXPECT_LE(r.stream->GetPos(), r.stream->GetSize());
    EXPECT_EQ(r.stream->Status, 0) << d.what;
  }
  // What the undefined code leaves: the pixel before it, the rest 0.
  const Read undefined = ReadGif(MakeGif(4, 1, 4, LzwData(2, {4, 1, 7, 2, 5})));
  EXPECT_EQ(Indexes(*undefined.dib)[0], (Bytes{1, 0, 0, 0}));
  // The first code decides when no clear code came first.
  const Read noClear = ReadGif(MakeGif(3, 1, 4, LzwData(2, {1, 2, 5})));
  EXPECT_EQ(Indexes(*noClear.dib)[0], (Bytes{1, 2, 0}));
}

}  // namespace
