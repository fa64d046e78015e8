// The DIB holder and the BMP and PCX readers on hand-made files: status
// codes, the stream's position, damaged headers and the BMP writer.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "engine/base/engassert.h"
#include "platform/base/globalmem.h"
#include "platform/clipboard.h"
#include "platform/gdi/clipobjects.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/tests/picture_support.h"

namespace {

using kxobject::TKxDib;
using pictest::Bytes;

void Put(Bytes& b, size_t at, uint32_t v, int n) {
  if (b.size() < at + size_t(n)) b.resize(at + size_t(n));
  for (int i = 0; i < n; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A BMP of width x height at bits with `colors` table entries; the fields
// can be changed afterwards at their offsets.
Bytes MakeBmp(int32_t width, int32_t height, int bits, uint32_t colors, uint32_t clrUsed, uint32_t gap = 0) {
  const uint32_t stride = uint32_t((width * bits + 31) / 32 * 4);
  const uint32_t off = 14 + 40 + 4 * colors + gap, size = off + stride * uint32_t(height);
  Bytes b(size, 0);
  b[0] = 'B', b[1] = 'M';
  Put(b, 2, size, 4);
  Put(b, 10, off, 4);
  Put(b, 14, 40, 4);
  Put(b, 18, uint32_t(width), 4);
  Put(b, 22, uint32_t(height), 4);
  Put(b, 26, 1, 2);
  Put(b, 28, uint32_t(bits), 2);
  Put(b, 46, clrUsed, 4);
  for (uint32_t i = 0; i < colors; ++i) Put(b, 54 + 4 * i, i * 0x010203, 4);
  for (uint32_t i = 0; i < stride * uint32_t(height); ++i) b[off + i] = uint8_t(i * 7 + 1);
  return b;
}

int16_t ReadAs(const Bytes& bytes, uint16_t type) {
  auto stream = pictest::StreamOf(bytes);
  TKxDib dib(*stream, type);
  return dib.Status;
}

TEST(KxDibTest, HolderStatesAndSizes) {
  EXPECT_EQ(TKxDib().Status, 0);
  TKxDib placeholder(int16_t(-7));
  EXPECT_EQ(placeholder.Status, -7);
  EXPECT_EQ(placeholder.Width(), 1);
  EXPECT_EQ(placeholder.BitCount(), 1);
  // Sound and metafile types read nothing.
  for (uint16_t type : {3, 4, 99}) {
    auto stream = pictest::StreamOf(MakeBmp(2, 2, 8, 4, 4));
    TKxDib dib(*stream, type);
    EXPECT_EQ(dib.Status, 0);
    EXPECT_EQ(stream->GetPos(), 0);
  }
  // Adopting a block fills in biSizeImage: 10 x 10 at 8 bits is 12 x 10.
  Bytes packed(40 + 1024 + 120, 0);
  Put(packed, 0, 40, 4), Put(packed, 4, 10, 4), Put(packed, 8, 10, 4), Put(packed, 12, 1, 2), Put(packed, 14, 8, 2);
  const win::HGLOBAL block = win::GlobalAlloc(win::GMEM_MOVEABLE, packed.size());
  std::memcpy(win::GlobalLock(block), packed.data(), packed.size());
  win::GlobalUnlock(block);
  TKxDib adopted(block, true);
  ASSERT_EQ(adopted.Status, 1);
  EXPECT_EQ(adopted.Info->biSizeImage, 120u);
  EXPECT_EQ(adopted.GetBmpSize(), int32_t(packed.size()) + 14);
  EXPECT_EQ(TKxDib::GetHeaderSize(*adopted.Info), 40 + 1024);
  TKxDib copy(adopted);
  EXPECT_EQ(copy.Status, 1);
  EXPECT_NE(copy.Handle, adopted.Handle);
  // A block too short for its rows is refused (and freed when owned).
  const size_t alive = platform::GlobalBlocksAlive();
  const win::HGLOBAL shortBlock = win::GlobalAlloc(win::GMEM_MOVEABLE, packed.size() - 1);
  std::memcpy(win::GlobalLock(shortBlock), packed.data(), packed.size() - 1);
  win::GlobalUnlock(shortBlock);
  TKxDib refused(shortBlock, true);
  EXPECT_EQ(refused.Status, -1);
  EXPECT_EQ(refused.Info, nullptr);
  EXPECT_EQ(platform::GlobalBlocksAlive(), alive);
}

TEST(KxDibTest, PaletteBitmapAndClipboard) {
  auto stream = pictest::StreamOf(MakeBmp(3, 2, 8, 16, 16));
  TKxDib dib(*stream, kxobject::kPictureBmp);
  ASSERT_EQ(dib.Status, 1);
  const auto palette = dib.CreatePalette();
  ASSERT_TRUE(palette);
  ASSERT_EQ(palette->entries.size(), 16u);
  EXPECT_EQ(palette->entries[1], win::RGB(1, 2, 3));  // stored blue 3, green 2, red 1
  auto bmp24 = pictest::StreamOf(MakeBmp(3, 2, 24, 0, 0));
  TKxDib trueColour(*bmp24, kxobject::kPictureBmp);
  EXPECT_FALSE(trueColour.CreatePalette());

  auto bitmap = dib.CreateBitmap(kxobject::ScreenDc());
  ASSERT_TRUE(bitmap && bitmap->Bitmap);
  EXPECT_EQ(bitmap->Bitmap->Get(2, 0), dib.PixelAt(2, 0));
  EXPECT_FALSE(TKxDib().CreateBitmap(kxobject::ScreenDc()));
  // A DIB made from the bitmap holds the same pixels.
  TKxDib fromBitmap(*bitmap->Bitmap);
  ASSERT_EQ(fromBitmap.Status, 1);
  EXPECT_EQ(fromBitmap.BitCount(), 24);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(fromBitmap.PixelAt(x, y), dib.PixelAt(x, y));
  // Sizes are computed in full width: 1400 pixels at 24 bits are 4200 bytes
  // a row, more than 16 bits of width times bit count hold.
  auto broad = win::Bitmap::Create(1400, 2, 32);
  broad->Set(1399, 1, 0xFF123456);
  TKxDib fromBroad(*broad);
  ASSERT_EQ(fromBroad.Status, 1);
  EXPECT_EQ(fromBroad.ComputeImageSize(), 8400);
  EXPECT_EQ(fromBroad.PixelAt(1399, 1), 0xFF123456u);

  // The clipboard gets the DIB, its device bitmap and, with a colour table,
  // its palette, in that order; both pictures read back.
  auto emptyClipboard = [] {
    ASSERT_TRUE(win::OpenClipboard(0));
    win::EmptyClipboard();
    win::CloseClipboard();
  };
  struct Case {
    const TKxDib* dib;
    std::vector<uint32_t> formats;
  };
  for (const Case& c : {Case{&dib, {win::CF_DIB, win::CF_BITMAP, win::CF_PALETTE}},
                        Case{&trueColour, {win::CF_DIB, win::CF_BITMAP}}}) {
    SCOPED_TRACE(c.dib->BitCount());
    emptyClipboard();
    ASSERT_TRUE(c.dib->CopyToClipboard());
    ASSERT_TRUE(win::OpenClipboard(0));
    std::vector<uint32_t> formats;
    for (uint32_t f = win::EnumClipboardFormats(0); f != 0; f = win::EnumClipboardFormats(f)) formats.push_back(f);
    EXPECT_EQ(formats, c.formats);
    if (c.dib == &dib) {
      const std::optional<win::Palette> onClipboard = win::GetClipboardPalette();
      ASSERT_TRUE(onClipboard);
      EXPECT_EQ(onClipboard->entries, palette->entries);
    }
    win::CloseClipboard();
    TKxDib pasted(TKxDib::FromClipboard{}, 0);
    ASSERT_EQ(pasted.Status, 1);
    EXPECT_EQ(pasted.PixelAt(1, 1), c.dib->PixelAt(1, 1));
    kxobject::TKxBitmap pastedBitmap(TKxDib::FromClipboard{}, 0);
    ASSERT_TRUE(pastedBitmap.Bitmap);
    EXPECT_EQ(pastedBitmap.Bitmap->Get(2, 1), c.dib->PixelAt(2, 1));
    EXPECT_FALSE(pastedBitmap.Palette);
  }
  // An empty DIB puts nothing; an empty clipboard gives no pictures.
  emptyClipboard();
  EXPECT_FALSE(TKxDib().CopyToClipboard());
  EXPECT_EQ(TKxDib(TKxDib::FromClipboard{}, 0).Status, -1);
  EXPECT_FALSE(kxobject::TKxBitmap(TKxDib::FromClipboard{}, 0).Bitmap);
}

TEST(BmpReaderTest, FillsColourCountAndImageSizeAndStopsAtFileSize) {
  // biClrUsed 0 at 8 bits: a table of 256; a gap before the bits; more on
  // the stream after the picture.
  Bytes b = MakeBmp(5, 3, 8, 256, 0, 10);
  const size_t size = b.size();
  b.insert(b.end(), {'N', 'E', 'X', 'T'});
  auto stream = pictest::StreamOf(b);
  TKxDib dib(*stream, kxobject::kPictureBmp);
  ASSERT_EQ(dib.Status, 1);
  EXPECT_EQ(dib.Info->biClrUsed, 256u);
  EXPECT_EQ(dib.HeaderSize(), 40 + 1024);
  EXPECT_EQ(stream->GetPos(), int32_t(size));
  EXPECT_EQ(dib.BitsBytes()[0], 1);  // the first byte at bfOffBits
  // 24 bits with biSizeImage 0: the padded row size times the height.
  auto s24 = pictest::StreamOf(MakeBmp(3, 2, 24, 0, 0));
  TKxDib d24(*s24, kxobject::kPictureBmp);
  ASSERT_EQ(d24.Status, 1);
  EXPECT_EQ(d24.Info->biSizeImage, 24u);
}

TEST(BmpReaderTest, WritesTheColourTableItHolds) {
  // 8 bits holding 16 colours: written with 16 entries.
  auto in = pictest::StreamOf(MakeBmp(4, 2, 8, 16, 16));
  TKxDib dib(*in, kxobject::kPictureBmp);
  ASSERT_EQ(dib.Status, 1);
  kxobject::TMemStream out(16, 256);
  dib.WriteBmp(out);
  Bytes written(size_t(out.GetSize()));
  out.Seek(0);
  out.ReadHuge(written.data(), uint32_t(written.size()));
  EXPECT_EQ(written[0], 'B');
  EXPECT_EQ(written[10] | written[11] << 8, 14 + 40 + 64);
  EXPECT_EQ(int(written[2] | written[3] << 8), 14 + 40 + 64 + 8);
  Bytes expected = MakeBmp(4, 2, 8, 16, 16);
  Put(expected, 34, 8, 4);  // biSizeImage filled in
  EXPECT_EQ(written, expected) << "read and written again gives the same file";
}

TEST(BmpReaderTest, DamagedFilesGiveTheirCodeAndReadNothingOutside) {
  struct Damage {
    const char* what;
    std::function<void(Bytes&)> change;
    int16_t status;
  };
  const Damage cases[] = {
      {"short file header", [](Bytes& b) { b.resize(10); }, -2},
      {"not BM", [](Bytes& b) { b[1] = 'A'; }, -11},
      {"short info header", [](Bytes& b) { b.resize(30); }, -3},
      {"huge colour count", [](Bytes& b) { Put(b, 46, 0x40000000, 4); }, -3},
      {"negative colour count", [](Bytes& b) { Put(b, 46, 0xFFFFFFF0, 4); }, -3},
      {"colour count above 256", [](Bytes& b) { Put(b, 46, 257, 4); }, -3},
      {"bit count 2", [](Bytes& b) { Put(b, 28, 2, 2); }, -3},
      {"run-length compression", [](Bytes& b) { Put(b, 30, 1, 4); }, -3},
      {"top-down rows", [](Bytes& b) { Put(b, 22, uint32_t(-3), 4); }, -3},
      {"width 0", [](Bytes& b) { Put(b, 18, 0, 4); }, -3},
      {"beyond the pixel limit", [](Bytes& b) { Put(b, 18, 100000, 4), Put(b, 22, 100000, 4); }, -5},
      {"huge biSizeImage is not trusted", [](Bytes& b) { Put(b, 34, 0x7FFFFFF0, 4); }, 1},
      {"bits short", [](Bytes& b) { b.resize(b.size() - 1); }, -10},
      {"bits offset past the end", [](Bytes& b) { Put(b, 10, 0x7FFFFFF0, 4); }, -10},
      {"rows cut short", [](Bytes& b) { Put(b, 10, 14 + 40, 4), b.resize(14 + 40 + 8); }, -10},
      {"colour table short", [](Bytes& b) { Put(b, 10, 14, 4), b.resize(14 + 40 + 12); }, -6},
  };
  for (const Damage& d : cases) {
    Bytes b = MakeBmp(4, 3, 8, 16, 16);
    d.change(b);
    EXPECT_EQ(ReadAs(b, kxobject::kPictureBmp), d.status) << d.what;
  }
  // A stream in error reads nothing.
  auto stream = pictest::StreamOf(MakeBmp(4, 3, 8, 16, 16));
  stream->Status = -3;
  TKxDib dib(*stream, kxobject::kPictureBmp);
  EXPECT_EQ(dib.Status, -1);
  // Reading into a DIB that holds a picture is a programming error.
  auto again = pictest::StreamOf(MakeBmp(4, 3, 8, 16, 16));
  TKxDib full(*again, kxobject::kPictureBmp);
  again->Seek(0);
  EXPECT_THROW(full.ReadBmp(*again), EAssertion);
}

// A PCX header; the data follows.
Bytes PcxHeader(int bitsPlane, int planes, uint16_t width, uint16_t height, uint16_t perLine, int encoding = 1,
                int version = 5) {
  Bytes h(128, 0);
  h[0] = 10, h[1] = uint8_t(version), h[2] = uint8_t(encoding), h[3] = uint8_t(bitsPlane);
  Put(h, 8, width - 1u, 2);
  Put(h, 10, height - 1u, 2);
  h[65] = uint8_t(planes);
  Put(h, 66, perLine, 2);
  for (int i = 0; i < 48; ++i) h[16 + size_t(i)] = uint8_t(i * 5);
  return h;
}

Bytes WithPalette(Bytes b, uint8_t marker = 12) {
  b.push_back(marker);
  for (int i = 0; i < 768; ++i) b.push_back(uint8_t(i));
  return b;
}

TEST(PcxReaderTest, RunLengthLinesBecomeBottomUpRows) {
  // 5 x 2 at 8 bits, 6 bytes per line: C5 07 00 C5 08 00.
  Bytes b = PcxHeader(8, 1, 5, 2, 6);
  b.insert(b.end(), {0xC5, 0x07, 0x00, 0xC5, 0x08, 0x00});
  auto stream = pictest::StreamOf(WithPalette(b));
  TKxDib dib(*stream, kxobject::kPicturePcx);
  ASSERT_EQ(dib.Status, 1);
  const Bytes rows(dib.BitsBytes().begin(), dib.BitsBytes().end());
  EXPECT_EQ(rows, (Bytes{8, 8, 8, 8, 8, 0, 0, 0, 7, 7, 7, 7, 7, 0, 0, 0}));
  EXPECT_EQ(dib.PixelAt(0, 0), 0xFF000000u | 21u << 16 | 22u << 8 | 23u);  // palette triple 7
  // 0xC0 repeats nothing: the next byte is a code of its own (a literal 0x41).
  Bytes c = PcxHeader(8, 1, 2, 1, 2);
  c.insert(c.end(), {0xC0, 0x41, 0x42});
  auto s2 = pictest::StreamOf(WithPalette(c));
  TKxDib d2(*s2, kxobject::kPicturePcx);
  ASSERT_EQ(d2.Status, 1);
  EXPECT_EQ(d2.BitsBytes()[0], 0x41);
  EXPECT_EQ(d2.BitsBytes()[1], 0x42);
}

TEST(PcxReaderTest, VersionThreeTablesAndLongLines) {
  // Version 3 at 1 bit: black and white whatever the header holds.
  Bytes b = PcxHeader(1, 1, 8, 1, 2, 0, 3);
  b.insert(b.end(), {0x0F, 0x00});
  auto s = pictest::StreamOf(b);
  TKxDib dib(*s, kxobject::kPicturePcx);
  ASSERT_EQ(dib.Status, 1);
  EXPECT_EQ(dib.PixelAt(0, 0), win::kBlack);
  EXPECT_EQ(dib.PixelAt(7, 0), win::kWhite);
  // Lines longer than the DIB row (24 bits, 3 x 200 bytes for 2 pixels) are
  // cut to the row.
  Bytes w = PcxHeader(8, 3, 2, 2, 200, 0);
  for (int i = 0; i < 2 * 3 * 200; ++i) w.push_back(uint8_t(i));
  auto s24 = pictest::StreamOf(w);
  TKxDib d24(*s24, kxobject::kPicturePcx);
  ASSERT_EQ(d24.Status, 1);
  EXPECT_EQ(d24.PixelAt(1, 0), 0xFF000000u | 1u << 16 | uint32_t(uint8_t(201)) << 8 | uint8_t(401));
}

TEST(PcxReaderTest, DamagedFilesGiveTheirCode) {
  struct Damage {
    const char* what;
    Bytes bytes;
    int16_t status;
  };
  Bytes shortRaw = PcxHeader(8, 1, 4, 4, 4, 0);
  shortRaw.resize(shortRaw.size() + 15);  // 16 bytes needed
  Bytes runsShort = PcxHeader(8, 1, 4, 4, 4);
  runsShort.insert(runsShort.end(), {0xC8, 0x01, 0xC7});  // 8 + 7 of 16 bytes
  Bytes badMarker = PcxHeader(8, 1, 2, 1, 2);
  badMarker.insert(badMarker.end(), {0xC2, 0x01});
  Bytes inverted = PcxHeader(8, 1, 4, 4, 4);
  Put(inverted, 4, 10, 2);  // Xmin above Xmax
  Bytes notPcx = PcxHeader(8, 1, 4, 4, 4);
  notPcx[0] = 11;
  const Damage cases[] = {
      {"short header", Bytes(100, 10), -2},
      {"manufacturer", notPcx, -11},
      {"2 bits", PcxHeader(2, 1, 4, 4, 4), -3},
      {"2 bits in 2 planes", PcxHeader(1, 2, 4, 4, 4), -3},
      {"4 bits in 1 plane", PcxHeader(4, 1, 4, 4, 4), -3},
      {"8 bits as 8 planes of 1", PcxHeader(1, 8, 4, 4, 4), -3},
      {"Xmax below Xmin", inverted, -3},
      {"no bytes per line", PcxHeader(8, 1, 4, 4, 0), -3},
      {"8 bits without room for the palette", PcxHeader(8, 1, 4, 4, 4), -4},
      {"raw lines short", WithPalette(shortRaw), -6},
      {"runs end early", WithPalette(runsShort), -9},
      {"palette marker", WithPalette(badMarker, 13), -12},
      {"beyond the pixel limit", PcxHeader(8, 3, 60000, 60000, 60000, 0), -5},
  };
  for (const Damage& d : cases) EXPECT_EQ(ReadAs(d.bytes, kxobject::kPicturePcx), d.status) << d.what;
}

}  // namespace
