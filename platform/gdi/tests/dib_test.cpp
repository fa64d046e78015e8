#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/gdi/tests/dib_writer.h"
#include "platform/gdi/tests/gdi_fixture.h"

namespace {

using gditest::Canvas;
using gditest::EncodeDib;
using gditest::PackedDib;
using Pixels = std::vector<std::vector<uint32_t>>;

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kBlack = win::kBlack,
                   kWhite = win::kWhite, kYellow = 0xFFFFFF00;

// Four rows that differ, so a row-order mistake shows.
const Pixels kPicture{{kRed, kGreen, kBlue, kWhite, kBlack},
                      {kBlack, kRed, kGreen, kBlue, kWhite},
                      {kYellow, kBlack, kRed, kGreen, kBlue},
                      {kWhite, kYellow, kBlack, kRed, kGreen}};
const std::vector<uint32_t> kPalette{kRed, kGreen, kBlue, kWhite, kBlack, kYellow};

Pixels Read(const win::Bitmap& b) {
  Pixels out(size_t(b.Height()), std::vector<uint32_t>(size_t(b.Width())));
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) out[size_t(y)][size_t(x)] = b.Get(x, y);
  return out;
}

TEST(DibTest, EveryDepthAndRowOrderDrawsThePicture) {
  struct Case {
    int bitCount;
    bool bitfields;
  } cases[] = {{4, false}, {8, false}, {16, false}, {16, true}, {24, false}, {32, false}, {32, true}};
  for (const Case& c : cases) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.bitCount << (c.bitfields ? " bitfields" : "") << (topDown ? " top-down" : ""));
      const PackedDib dib = EncodeDib(kPicture, c.bitCount, topDown, kPalette, c.bitfields);
      Canvas canvas(5, 4);
      EXPECT_EQ(win::StretchDIBits(canvas.dc, 0, 0, 5, 4, 0, 0, 5, 4, dib.bits, dib.info, win::DIB_RGB_COLORS,
                                   win::SRCCOPY),
                4);
      EXPECT_EQ(Read(*canvas.bitmap), kPicture);
    }
  }
  // One bit per pixel with its own two colours.
  const Pixels two{{kBlue, kYellow, kYellow}, {kYellow, kBlue, kBlue}};
  const PackedDib mono = EncodeDib(two, 1, false, {kBlue, kYellow});
  Canvas canvas(3, 2);
  win::StretchDIBits(canvas.dc, 0, 0, 3, 2, 0, 0, 3, 2, mono.bits, mono.info, win::DIB_RGB_COLORS, win::SRCCOPY);
  EXPECT_EQ(Read(*canvas.bitmap), two);
}

// StretchDIBits decodes only the rows it reads: what it draws equals
// blitting the whole decoded picture, in every stretch mode, shrunk,
// enlarged, mirrored, from part of the picture and clipped.
TEST(DibTest, DrawingFromRowsEqualsDrawingTheDecodedPicture) {
  Pixels picture(23, std::vector<uint32_t>(37));
  for (size_t y = 0; y < picture.size(); ++y)
    for (size_t x = 0; x < picture[y].size(); ++x)
      picture[y][x] = kBlack | uint32_t((x * 53 + y * 7) & 0xFF) << 16 | uint32_t((y * 41) & 0xFF) << 8 | uint32_t(x * y & 0xFF);
  const struct {
    int x, y, w, h, xSrc, ySrc, wSrc, hSrc;
  } blits[] = {{0, 0, 9, 5, 0, 0, 37, 23},   {2, 1, 80, 50, 0, 0, 37, 23}, {30, 20, -25, -17, 0, 0, 37, 23},
               {0, 0, 12, 12, 5, 3, 20, 11}, {-4, -3, 60, 40, 0, 0, 37, 23}};
  for (bool topDown : {false, true}) {
    const PackedDib dib = EncodeDib(picture, 24, topDown);
    Canvas decoded(1, 1);
    const auto whole = win::CreateDIBitmap(decoded.dc, dib.info, win::CBM_INIT, dib.bits, win::DIB_RGB_COLORS);
    ASSERT_NE(whole, nullptr);
    win::Dc source(whole);
    for (int mode : {win::BLACKONWHITE, win::WHITEONBLACK, win::COLORONCOLOR, win::HALFTONE}) {
      for (const auto& b : blits) {
        SCOPED_TRACE(testing::Message() << (topDown ? "top-down " : "bottom-up ") << mode << " " << b.w << "x" << b.h);
        Canvas rows(40, 30), blitted(40, 30);
        rows.dc.SetStretchBltMode(mode);
        blitted.dc.SetStretchBltMode(mode);
        // DIB source rows count from the bottom; the bitmap's from the top.
        const int ySrc = topDown ? b.ySrc : 23 - b.ySrc - b.hSrc;
        win::StretchDIBits(rows.dc, b.x, b.y, b.w, b.h, b.xSrc, ySrc, b.wSrc, b.hSrc, dib.bits, dib.info,
                           win::DIB_RGB_COLORS, win::SRCCOPY);
        win::StretchBlt(blitted.dc, b.x, b.y, b.w, b.h, &source, b.xSrc, b.ySrc, b.wSrc, b.hSrc, win::SRCCOPY);
        EXPECT_EQ(Read(*rows.bitmap), Read(*blitted.bitmap));
      }
    }
  }
}

// Source rows count from the bottom of a bottom-up DIB: a source top of
// height - 2 with 2 rows shows the picture's top two rows.
TEST(DibTest, SourceRectangleCountsFromTheBottom) {
  const PackedDib dib = EncodeDib(kPicture, 24, false);
  Canvas canvas(5, 2);
  win::StretchDIBits(canvas.dc, 0, 0, 5, 2, 0, 2, 5, 2, dib.bits, dib.info, win::DIB_RGB_COLORS, win::SRCCOPY);
  EXPECT_EQ(Read(*canvas.bitmap), (Pixels{kPicture[0], kPicture[1]}));
  Canvas bottom(5, 1);
  win::StretchDIBits(bottom.dc, 0, 0, 5, 1, 0, 0, 5, 1, dib.bits, dib.info, win::DIB_RGB_COLORS, win::SRCCOPY);
  EXPECT_EQ(Read(*bottom.bitmap), (Pixels{kPicture[3]}));
  // Stretched to double size with SRCINVERT over white.
  Canvas big(10, 8);
  win::StretchDIBits(big.dc, 0, 0, 10, 8, 0, 0, 5, 4, dib.bits, dib.info, win::DIB_RGB_COLORS, win::SRCINVERT);
  EXPECT_EQ(big.bitmap->Get(1, 1), 0xFF00FFFF);  // white XOR red
  EXPECT_EQ(big.bitmap->Get(9, 7), 0xFFFF00FF);  // white XOR green
}

TEST(DibTest, PaletteIndexesAndShortColourTables) {
  const PackedDib dib = EncodeDib(kPicture, 8, false, kPalette);
  // DIB_PAL_COLORS: the table holds 2-byte indexes into the DC's palette.
  std::vector<uint8_t> info(dib.info.begin(), dib.info.begin() + 40);
  const uint16_t indexes[] = {5, 4, 3, 2, 1, 0};  // reversed
  for (uint16_t i : indexes) info.insert(info.end(), {uint8_t(i), 0});
  Canvas canvas(5, 4);
  auto palette = std::make_shared<win::Palette>();
  for (uint32_t p : kPalette) palette->entries.push_back(win::ToColor(p));
  canvas.dc.SelectPalette(palette);
  win::StretchDIBits(canvas.dc, 0, 0, 5, 4, 0, 0, 5, 4, dib.bits, info, win::DIB_PAL_COLORS, win::SRCCOPY);
  EXPECT_EQ(canvas.bitmap->Get(0, 0), kYellow);  // index 0 -> palette entry 5

  // biClrUsed 2: indexes 2 and above draw black.
  std::vector<uint8_t> shortTable(dib.info.begin(), dib.info.begin() + 48);
  shortTable[32] = 2;
  Canvas c2(5, 4);
  win::StretchDIBits(c2.dc, 0, 0, 5, 4, 0, 0, 5, 4, dib.bits, shortTable, win::DIB_RGB_COLORS, win::SRCCOPY);
  EXPECT_EQ(Read(*c2.bitmap)[0], (std::vector<uint32_t>{kRed, kGreen, kBlack, kBlack, kBlack}));
}

TEST(DibTest, SetDIBitsToDeviceDrawsTheGivenScanLines) {
  const PackedDib dib = EncodeDib(kPicture, 32, false);
  const size_t stride = 20;
  // Scan lines 1 and 2 (from the bottom) are picture rows 2 and 1.
  const std::vector<uint8_t> band(dib.bits.begin() + stride, dib.bits.begin() + 3 * stride);
  Canvas canvas(5, 4);
  EXPECT_EQ(win::SetDIBitsToDevice(canvas.dc, 0, 0, 5, 4, 0, 0, 1, 2, band, dib.info, win::DIB_RGB_COLORS), 2);
  const Pixels got = Read(*canvas.bitmap);
  EXPECT_EQ(got[0], std::vector<uint32_t>(5, kWhite));
  EXPECT_EQ(got[1], kPicture[1]);
  EXPECT_EQ(got[2], kPicture[2]);
  EXPECT_EQ(got[3], std::vector<uint32_t>(5, kWhite));
  // Lines beyond the picture are cut; a start beyond it draws nothing.
  EXPECT_EQ(win::SetDIBitsToDevice(canvas.dc, 0, 0, 5, 4, 0, 0, 3, 9, dib.bits, dib.info, win::DIB_RGB_COLORS), 1);
  EXPECT_EQ(win::SetDIBitsToDevice(canvas.dc, 0, 0, 5, 4, 0, 0, 4, 1, dib.bits, dib.info, win::DIB_RGB_COLORS), 0);
}

// Damaged input is refused before anything is drawn.
TEST(DibTest, DamagedHeadersAndShortBitsAreRefused) {
  const PackedDib good = EncodeDib(kPicture, 8, false, kPalette);
  struct Case {
    const char* name;
    size_t offset;
    uint32_t value;
    int bytes;
    size_t infoSize, bitsSize;
  } cases[] = {
      {"core_header", 0, 12, 4, 0, 0},
      {"header_beyond_info", 0, 200, 4, 0, 0},
      {"zero_width", 4, 0, 4, 0, 0},
      {"negative_width", 4, 0xFFFFFFFB, 4, 0, 0},
      {"zero_height", 8, 0, 4, 0, 0},
      {"most_negative_height", 8, 0x80000000, 4, 0, 0},
      {"two_planes", 12, 2, 2, 0, 0},
      {"seven_bits", 14, 7, 2, 0, 0},
      {"run_length", 16, 1, 4, 0, 0},
      {"bitfields_at_8_bits", 16, 3, 4, 0, 0},
      {"huge", 4, 0x7FFFFFFF, 4, 0, 0},
      {"table_cut", 0, 40, 4, 60, 0},
      {"bits_short", 0, 40, 4, 0, 1},
      {"info_short", 0, 40, 4, 39, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> info = good.info, bits = good.bits;
    gditest::Put(info, c.offset, c.value, c.bytes);
    if (c.infoSize) info.resize(c.infoSize);
    if (c.bitsSize) bits.pop_back();
    Canvas canvas(5, 4);
    EXPECT_EQ(win::StretchDIBits(canvas.dc, 0, 0, 5, 4, 0, 0, 5, 4, bits, info, win::DIB_RGB_COLORS, win::SRCCOPY), 0)
        << c.name;
    EXPECT_EQ(win::SetDIBitsToDevice(canvas.dc, 0, 0, 5, 4, 0, 0, 0, 4, bits, info, win::DIB_RGB_COLORS), 0)
        << c.name;
    EXPECT_EQ(canvas.Mask(kWhite), std::vector<std::string>(4, "#####")) << c.name;
  }
}

TEST(DibTest, GetDIBitsAndCreateDIBitmapRoundTrip) {
  Canvas source(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) source.bitmap->Set(x, y, kPicture[size_t(y)][size_t(x)]);
  for (int bitCount : {24, 32}) {
    std::vector<uint8_t> info(40, 0);
    EXPECT_EQ(win::GetDIBits(*source.bitmap, 0, 4, {}, info), 1);  // format only
    EXPECT_EQ(info[14], 32);
    info[14] = uint8_t(bitCount);
    EXPECT_EQ(win::GetDIBits(*source.bitmap, 0, 4, {}, info), 4);  // header and size
    const int size = info[20] | info[21] << 8;
    EXPECT_EQ(size, bitCount == 24 ? 16 * 4 : 20 * 4);
    std::vector<uint8_t> bits(static_cast<size_t>(size));
    EXPECT_EQ(win::GetDIBits(*source.bitmap, 0, 4, bits, info), 4);
    auto copy = win::CreateDIBitmap(source.dc, info, win::CBM_INIT, bits, win::DIB_RGB_COLORS);
    ASSERT_TRUE(copy);
    EXPECT_EQ(Read(*copy), kPicture) << bitCount;
  }
  // One bit: the nearer of black and white, with a black-and-white table.
  std::vector<uint8_t> info(48, 0);
  gditest::Put(info, 8, uint32_t(-4), 4);  // top-down
  info[14] = 1;
  std::vector<uint8_t> bits(16);
  EXPECT_EQ(win::GetDIBits(*source.bitmap, 0, 4, bits, info), 4);
  EXPECT_EQ(info[44] | info[45] << 8 | info[46] << 16, 0xFFFFFF);
  EXPECT_EQ(bits[0], 0x10);  // red green blue white black: only white is white
  // A fresh memory DC makes monochrome bitmaps of DIBs.
  auto memory = win::Dc::CreateCompatible(nullptr);
  const PackedDib dib = EncodeDib(kPicture, 24, false);
  auto mono = win::CreateDIBitmap(*memory, dib.info, win::CBM_INIT, dib.bits, win::DIB_RGB_COLORS);
  ASSERT_TRUE(mono && mono->Mono());
  EXPECT_EQ(mono->Get(3, 0), kWhite);
  EXPECT_EQ(mono->Get(0, 2), kWhite);  // yellow is nearer white
  EXPECT_EQ(mono->Get(0, 0), kBlack);
}

// Writes the libFuzzer seed corpus of dib_fuzz from our own encoder when
// GDI_WRITE_FUZZ_SEEDS names the corpus folder; otherwise checks nothing.
TEST(DibTest, WritesFuzzSeedsOnRequest) {
  const char* folder = std::getenv("GDI_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  int n = 0;
  for (int bitCount : {1, 4, 8, 16, 24, 32}) {
    for (bool topDown : {false, true}) {
      const Pixels two{{kBlue, kYellow, kYellow}, {kYellow, kBlue, kBlue}};
      const PackedDib dib = bitCount == 1 ? EncodeDib(two, 1, topDown, {kBlue, kYellow})
                                          : EncodeDib(kPicture, bitCount, topDown, kPalette, bitCount == 32 && topDown);
      // The fuzzer's input: eight signed coordinate bytes, two scan bytes,
      // the info length (2 bytes), info, bits.
      std::vector<uint8_t> seed{0, 0, 6, 5, 0, 0, 5, 4, 0, 4, uint8_t(dib.info.size()), uint8_t(dib.info.size() >> 8)};
      seed.insert(seed.end(), dib.info.begin(), dib.info.end());
      seed.insert(seed.end(), dib.bits.begin(), dib.bits.end());
      std::ofstream(std::string(folder) + "/dib" + std::to_string(++n), std::ios::binary)
          .write(reinterpret_cast<const char*>(seed.data()), std::streamsize(seed.size()));
    }
  }
}

}  // namespace
