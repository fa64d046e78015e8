#include <gtest/gtest.h>
#include <map>

#include "platform/gdi/tests/gdi_fixture.h"

namespace {

using gditest::Canvas;
using Rows = std::vector<std::string>;
using win::Bitmap;
using win::Dc;

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

std::shared_ptr<Bitmap> Picture(const Rows& rows, std::map<char, uint32_t> colors) {
  auto b = Bitmap::Create(int32_t(rows[0].size()), int32_t(rows.size()), 32);
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x) b->Set(int32_t(x), int32_t(y), colors.at(rows[y][x]));
  return b;
}

Rows Letters(const Bitmap& b, std::map<uint32_t, char> names) {
  Rows rows;
  for (int32_t y = 0; y < b.Height(); ++y) {
    std::string row;
    for (int32_t x = 0; x < b.Width(); ++x) row += names.count(b.Get(x, y)) ? names[b.Get(x, y)] : '?';
    rows.push_back(row);
  }
  return rows;
}

TEST(MemoryDcTest, FreshMemoryDcHoldsAMonochromeBitmap) {
  Canvas screen(4, 4);
  auto memory = Dc::CreateCompatible(&screen.dc);
  EXPECT_TRUE(memory->IsMemory());
  EXPECT_EQ(memory->Surface().Width(), 1);
  EXPECT_TRUE(memory->Surface().Mono());
  EXPECT_TRUE(win::CreateCompatibleBitmap(*memory, 8, 8)->Mono());
  EXPECT_FALSE(win::CreateCompatibleBitmap(screen.dc, 8, 8)->Mono());
  auto colour = win::CreateCompatibleBitmap(screen.dc, 8, 8);
  auto old = memory->SelectBitmap(colour);
  ASSERT_TRUE(old);
  EXPECT_TRUE(old->Mono());
  EXPECT_FALSE(win::CreateCompatibleBitmap(*memory, 8, 8)->Mono());
  // Only memory DCs take bitmaps; sizes are checked.
  EXPECT_FALSE(screen.dc.SelectBitmap(colour));
  EXPECT_FALSE(win::CreateCompatibleBitmap(screen.dc, 0, 5));
  EXPECT_FALSE(win::CreateBitmap(100000, 100000, 32));
  EXPECT_EQ(screen.dc.GetDeviceCaps(win::RASTERCAPS) & win::RC_BITBLT, win::RC_BITBLT);
  EXPECT_EQ(screen.dc.GetDeviceCaps(win::TECHNOLOGY), win::DT_RASDISPLAY);
  EXPECT_EQ(screen.dc.GetDeviceCaps(win::LOGPIXELSY), 96);
  // A memory DC answers for its device, not for its bitmap.
  EXPECT_EQ(memory->GetDeviceCaps(win::HORZRES), 4);
  EXPECT_EQ(win::Dc::CreateCompatible(nullptr)->GetDeviceCaps(win::VERTRES), 768);

  const win::BITMAP mono = win::GetObject(*win::CreateBitmap(17, 3, 1));
  EXPECT_EQ(mono.bmWidthBytes, 4);
  EXPECT_EQ(mono.bmBitsPixel, 1);
  const win::BITMAP wide = win::GetObject(*colour);
  EXPECT_EQ(wide.bmWidthBytes, 32);
  EXPECT_EQ(wide.bmPlanes * wide.bmBitsPixel, 32);
  EXPECT_TRUE(win::CreateBitmapIndirect(mono)->Mono());
  EXPECT_EQ(win::CreateBitmapIndirect(wide)->Width(), 8);
}

TEST(BlitTest, MonochromeAndColourConvertThroughTheDcColours) {
  // Colour to monochrome: the source DC's background colour becomes white.
  auto image = Picture({"RGBR"}, {{'R', kRed}, {'G', kGreen}, {'B', kBlue}});
  auto source = Dc::CreateCompatible(nullptr);
  source->SelectBitmap(image);
  source->SetBkColor(win::RGB(255, 0, 0));
  auto maskDc = Dc::CreateCompatible(nullptr);
  auto mask = win::CreateCompatibleBitmap(*maskDc, 4, 1);
  maskDc->SelectBitmap(mask);
  win::BitBlt(*maskDc, 0, 0, 4, 1, source.get(), 0, 0, win::SRCCOPY);
  EXPECT_EQ(gditest::Mask(*mask, win::kWhite, win::kBlack), (Rows{"#..#"}));

  // Monochrome to colour: 0 bits take the text colour, 1 bits the background.
  Canvas c(4, 1);
  c.dc.SetTextColor(win::RGB(0, 0, 255));
  c.dc.SetBkColor(win::RGB(0, 255, 0));
  win::BitBlt(c.dc, 0, 0, 4, 1, maskDc.get(), 0, 0, win::SRCCOPY);
  EXPECT_EQ(Letters(*c.bitmap, {{kBlue, 'b'}, {kGreen, 'g'}}), (Rows{"gbbg"}));
}

// A bitmap drawn transparently with a mask: AND the mask, OR the bitmap.
TEST(BlitTest, MaskBlitDrawsATransparentBitmap) {
  const uint32_t kKey = 0xFFFF00FF;  // the transparent colour
  const std::map<char, uint32_t> colors{{'k', kKey}, {'R', kRed}, {'B', kBlue}, {'g', kGreen}};
  auto image = Picture({"kRRk", "RBBR", "kRRk"}, colors);
  const Bitmap original = *image;
  auto imageDc = Dc::CreateCompatible(nullptr);
  imageDc->SelectBitmap(image);

  auto maskDc = Dc::CreateCompatible(nullptr);
  maskDc->SelectBitmap(win::CreateCompatibleBitmap(*maskDc, 4, 3));
  imageDc->SetBkColor(win::ToColor(kKey));
  win::BitBlt(*maskDc, 0, 0, 4, 3, imageDc.get(), 0, 0, win::SRCCOPY);

  imageDc->SetBkColor(win::RGB(0, 0, 0));
  imageDc->SetTextColor(win::RGB(255, 255, 255));
  win::BitBlt(*imageDc, 0, 0, 4, 3, maskDc.get(), 0, 0, win::SRCAND);

  Canvas button(6, 5, kGreen);
  button.dc.SetBkColor(win::RGB(255, 255, 255));
  button.dc.SetTextColor(win::RGB(0, 0, 0));
  win::BitBlt(button.dc, 1, 1, 4, 3, maskDc.get(), 0, 0, win::SRCAND);
  win::BitBlt(button.dc, 1, 1, 4, 3, imageDc.get(), 0, 0, win::SRCPAINT);
  EXPECT_EQ(Letters(*button.bitmap, {{kGreen, 'g'}, {kRed, 'R'}, {kBlue, 'B'}}),
            (Rows{"gggggg", "ggRRgg", "gRBBRg", "ggRRgg", "gggggg"}));

  imageDc->SetBkColor(win::ToColor(kKey));
  imageDc->SetTextColor(win::RGB(0, 0, 0));
  win::BitBlt(*imageDc, 0, 0, 4, 3, maskDc.get(), 0, 0, win::SRCPAINT);
  EXPECT_EQ(Letters(*image, {{kKey, 'k'}, {kRed, 'R'}, {kBlue, 'B'}}), Letters(original, {{kKey, 'k'}, {kRed, 'R'}, {kBlue, 'B'}}));
}

TEST(BlitTest, StretchModesWhenShrinking) {
  // Four columns into two: each target pixel covers two source pixels.
  auto stripes = Picture({"BW..", "W.B."}, {{'B', win::kBlack}, {'W', win::kWhite}, {'.', win::kWhite}});
  auto source = Dc::CreateCompatible(nullptr);
  source->SelectBitmap(stripes);
  struct Case {
    int mode;
    Rows expected;
  } cases[] = {
      {win::BLACKONWHITE, {"#.", ".#"}},  // AND keeps black dots
      {win::WHITEONBLACK, {"..", ".."}},  // OR keeps white
      {win::COLORONCOLOR, {"..", ".."}},  // the pixel under each centre
  };
  for (const Case& t : cases) {
    Canvas c(2, 2);
    c.dc.SetStretchBltMode(t.mode);
    win::StretchBlt(c.dc, 0, 0, 2, 2, source.get(), 0, 0, 4, 2, win::SRCCOPY);
    EXPECT_EQ(c.Mask(win::kBlack), t.expected) << t.mode;
  }
  Canvas half(1, 1);
  half.dc.SetStretchBltMode(win::HALFTONE);
  auto grey = Picture({"BW"}, {{'B', win::kBlack}, {'W', win::kWhite}});
  source->SelectBitmap(grey);
  win::StretchBlt(half.dc, 0, 0, 1, 1, source.get(), 0, 0, 2, 1, win::SRCCOPY);
  EXPECT_EQ(half.bitmap->Get(0, 0), 0xFF808080);
}

TEST(BlitTest, StretchEnlargesAndMirrors) {
  auto image = Picture({"RG", "BR"}, {{'R', kRed}, {'G', kGreen}, {'B', kBlue}});
  auto source = Dc::CreateCompatible(nullptr);
  source->SelectBitmap(image);
  const std::map<uint32_t, char> names{{kRed, 'R'}, {kGreen, 'G'}, {kBlue, 'B'}, {win::kWhite, '.'}};
  Canvas big(4, 4);
  win::StretchBlt(big.dc, 0, 0, 4, 4, source.get(), 0, 0, 2, 2, win::SRCCOPY);
  EXPECT_EQ(Letters(*big.bitmap, names), (Rows{"RRGG", "RRGG", "BBRR", "BBRR"}));
  Canvas mirrored(2, 2);
  win::StretchBlt(mirrored.dc, 2, 0, -2, 2, source.get(), 0, 0, 2, 2, win::SRCCOPY);
  EXPECT_EQ(Letters(*mirrored.bitmap, names), (Rows{"GR", "RB"}));
  Canvas flipped(2, 2);
  win::StretchBlt(flipped.dc, 0, 0, 2, 2, source.get(), 0, 2, 2, -2, win::SRCCOPY);
  EXPECT_EQ(Letters(*flipped.bitmap, names), (Rows{"BR", "RG"}));
  // Source pixels outside the bitmap leave the target alone.
  Canvas partial(3, 1);
  win::BitBlt(partial.dc, 0, 0, 3, 1, source.get(), 1, 0, win::SRCCOPY);
  EXPECT_EQ(Letters(*partial.bitmap, names), (Rows{"G.."}));
}

TEST(BlitTest, OverlappingBlitWithinOneSurfaceReadsTheOldPixels) {
  Canvas c(5, 1);
  const uint32_t ramp[] = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005};
  for (int x = 0; x < 5; ++x) c.bitmap->Set(x, 0, ramp[x]);
  win::BitBlt(c.dc, 1, 0, 4, 1, &c.dc, 0, 0, win::SRCCOPY);
  for (int x = 1; x < 5; ++x) EXPECT_EQ(c.bitmap->Get(x, 0), ramp[x - 1]);
}

}  // namespace
