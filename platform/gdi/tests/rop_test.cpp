#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/gdi/tests/gdi_fixture.h"

namespace {

using win::Bitmap;
using win::Dc;

// The documented meaning of a ROP3 code, one bit at a time: bit (P*4 + S*2 + D)
// of the code's third byte.
uint32_t ReferenceRop3(uint8_t table, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (int bit = 0; bit < 24; ++bit) {
    const int index = int((p >> bit) & 1) * 4 + int((s >> bit) & 1) * 2 + int((d >> bit) & 1);
    r |= uint32_t((table >> index) & 1) << bit;
  }
  return r | win::kBlack;
}

// Every code through a real blit: the pattern comes from a colour pattern
// brush, the source from a memory DC, the destination from the surface.
TEST(Rop3Test, AllCodesMatchTheTruthTableThroughBitBlt) {
  constexpr int kPixels = 24;
  std::mt19937 random(20);
  std::vector<uint32_t> p(kPixels), s(kPixels), d(kPixels);
  for (int i = 0; i < kPixels; ++i) {
    p[size_t(i)] = win::kBlack | (random() & 0xFFFFFF);
    s[size_t(i)] = win::kBlack | (random() & 0xFFFFFF);
    d[size_t(i)] = win::kBlack | (random() & 0xFFFFFF);
  }
  // Full black and white corners catch codes that confuse the operands.
  p[0] = win::kBlack, s[0] = win::kWhite, d[0] = win::kBlack;
  p[1] = win::kWhite, s[1] = win::kBlack, d[1] = win::kWhite;

  auto pattern = Bitmap::Create(kPixels, 1, 32);
  auto source = Bitmap::Create(kPixels, 1, 32);
  for (int i = 0; i < kPixels; ++i) {
    pattern->Set(i, 0, p[size_t(i)]);
    source->Set(i, 0, s[size_t(i)]);
  }
  auto memory = Dc::CreateCompatible(nullptr);
  memory->SelectBitmap(source);

  for (int code = 0; code < 256; ++code) {
    gditest::Canvas c(kPixels, 1);
    for (int i = 0; i < kPixels; ++i) c.bitmap->Set(i, 0, d[size_t(i)]);
    c.dc.SelectBrush(win::CreatePatternBrush(pattern));
    const win::DWORD rop = win::DWORD(code) << 16;
    ASSERT_TRUE(win::BitBlt(c.dc, 0, 0, kPixels, 1, memory.get(), 0, 0, rop));
    for (int i = 0; i < kPixels; ++i)
      ASSERT_EQ(c.bitmap->Get(i, 0), ReferenceRop3(uint8_t(code), p[size_t(i)], s[size_t(i)], d[size_t(i)]))
          << "code " << code << " pixel " << i;
  }
}

TEST(Rop3Test, SourceAndPatternUseFollowTheTable) {
  EXPECT_TRUE(win::RopUsesSource(win::SRCCOPY));
  EXPECT_TRUE(win::RopUsesSource(win::SRCAND));
  EXPECT_FALSE(win::RopUsesSource(win::PATCOPY));
  EXPECT_FALSE(win::RopUsesSource(win::DSTINVERT));
  EXPECT_FALSE(win::RopUsesSource(win::BLACKNESS));
  EXPECT_TRUE(win::RopUsesPattern(win::PATINVERT));
  EXPECT_TRUE(win::RopUsesPattern(win::MERGECOPY));
  EXPECT_FALSE(win::RopUsesPattern(win::SRCPAINT));
  // PatBlt refuses codes that need a source; BitBlt without a source too.
  gditest::Canvas c(2, 2);
  EXPECT_FALSE(c.dc.PatBlt(0, 0, 2, 2, win::SRCCOPY));
  EXPECT_FALSE(win::BitBlt(c.dc, 0, 0, 2, 2, nullptr, 0, 0, win::SRCCOPY));
  EXPECT_TRUE(win::BitBlt(c.dc, 0, 0, 2, 2, nullptr, 0, 0, win::BLACKNESS));
  EXPECT_EQ(c.Mask(win::kBlack), (std::vector<std::string>{"##", "##"}));
}

TEST(Rop3Test, PatBltInvertsAndPaints) {
  gditest::Canvas c(4, 1);
  c.bitmap->Set(0, 0, win::ToPixel(win::RGB(0x12, 0x34, 0x56)));
  c.dc.PatBlt(0, 0, 2, 1, win::DSTINVERT);
  EXPECT_EQ(c.bitmap->Get(0, 0), win::ToPixel(win::RGB(0xED, 0xCB, 0xA9)));
  EXPECT_EQ(c.bitmap->Get(1, 0), win::kBlack);
  c.dc.SelectBrush(win::CreateSolidBrush(win::RGB(0xFF, 0, 0)));
  c.dc.PatBlt(2, 0, 2, 1, win::PATCOPY);
  EXPECT_EQ(c.bitmap->Get(3, 0), 0xFFFF0000);
  c.dc.PatBlt(3, 0, 1, 1, win::PATINVERT);  // red XOR red
  EXPECT_EQ(c.bitmap->Get(3, 0), win::kBlack);
}

TEST(Rop2Test, AllSixteenCodesOnLines) {
  using F = std::function<uint32_t(uint32_t, uint32_t)>;
  const std::pair<int, F> codes[] = {
      {win::R2_BLACK, [](uint32_t, uint32_t) { return 0u; }},
      {win::R2_NOTMERGEPEN, [](uint32_t p, uint32_t d) { return ~(p | d); }},
      {win::R2_MASKNOTPEN, [](uint32_t p, uint32_t d) { return ~p & d; }},
      {win::R2_NOTCOPYPEN, [](uint32_t p, uint32_t) { return ~p; }},
      {win::R2_MASKPENNOT, [](uint32_t p, uint32_t d) { return p & ~d; }},
      {win::R2_NOT, [](uint32_t, uint32_t d) { return ~d; }},
      {win::R2_XORPEN, [](uint32_t p, uint32_t d) { return p ^ d; }},
      {win::R2_NOTMASKPEN, [](uint32_t p, uint32_t d) { return ~(p & d); }},
      {win::R2_MASKPEN, [](uint32_t p, uint32_t d) { return p & d; }},
      {win::R2_NOTXORPEN, [](uint32_t p, uint32_t d) { return ~(p ^ d); }},
      {win::R2_NOP, [](uint32_t, uint32_t d) { return d; }},
      {win::R2_MERGENOTPEN, [](uint32_t p, uint32_t d) { return ~p | d; }},
      {win::R2_COPYPEN, [](uint32_t p, uint32_t) { return p; }},
      {win::R2_MERGEPENNOT, [](uint32_t p, uint32_t d) { return p | ~d; }},
      {win::R2_MERGEPEN, [](uint32_t p, uint32_t d) { return p | d; }},
      {win::R2_WHITE, [](uint32_t, uint32_t) { return 0xFFFFFFu; }},
  };
  const uint32_t pen = 0xFF3C5A0F;
  const uint32_t dest[] = {0xFF000000, 0xFFFFFFFF, 0xFF55AA33, 0xFFC0FFEE};
  for (const auto& [code, expected] : codes) {
    gditest::Canvas c(4, 1);
    for (int i = 0; i < 4; ++i) c.bitmap->Set(i, 0, dest[i]);
    c.dc.SelectPen(win::CreatePen(win::PS_SOLID, 1, win::ToColor(pen)));
    EXPECT_EQ(c.dc.SetROP2(code), win::R2_COPYPEN);
    c.dc.MoveToEx(0, 0);
    c.dc.LineTo(4, 0);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(c.bitmap->Get(i, 0), (expected(pen, dest[i]) & 0xFFFFFF) | win::kBlack) << "code " << code;
  }
  gditest::Canvas c(1, 1);
  EXPECT_EQ(c.dc.SetROP2(0), 0);
  EXPECT_EQ(c.dc.SetROP2(17), 0);
}

}  // namespace
