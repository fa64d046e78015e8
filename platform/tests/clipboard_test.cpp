// Clipboard formats and ownership (the text shortcut is tested with the hooks).
#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace win;

namespace {

HGLOBAL Block(const char* bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, std::strlen(bytes) + 1);
  std::memcpy(GlobalLock(h), bytes, std::strlen(bytes) + 1);
  GlobalUnlock(h);
  return h;
}

std::vector<std::pair<uint32_t, uint32_t>> deleted;

struct Clipboard : ::testing::Test {
  void SetUp() override {
    deleted.clear();
    platform::SetClipboardObjectDeleter([](uint32_t f, uint32_t o) { deleted.push_back({f, o}); });
    ASSERT_TRUE(OpenClipboard(0));
    EmptyClipboard();
    CloseClipboard();
  }
  void TearDown() override { platform::SetClipboardObjectDeleter(nullptr); }
};

TEST_F(Clipboard, OneOpenerAtATimeAndTheEmptierOwns) {
  ASSERT_TRUE(OpenClipboard(7));
  EXPECT_FALSE(OpenClipboard(8));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(GetClipboardOwner(), 7u);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
  // Closed: nothing can be set or fetched, availability is still known.
  HGLOBAL h = Block("x");
  EXPECT_EQ(SetClipboardData(CF_TEXT, h), 0u);
  GlobalFree(h);
  EXPECT_FALSE(EmptyClipboard());
}

TEST_F(Clipboard, FormatsKeepTheirOrderAndTheClipboardFreesItsData) {
  size_t before = platform::GlobalBlocksAlive();
  uint32_t mine = RegisterClipboardFormatA("WZETObject");
  EXPECT_GE(mine, kFirstRegisteredFormat);
  EXPECT_EQ(RegisterClipboardFormatA("wzetobject"), mine);
  EXPECT_NE(RegisterClipboardFormatA("WZETTable"), mine);

  ASSERT_TRUE(OpenClipboard(1));
  EmptyClipboard();
  HGLOBAL dib = Block("dib");
  HGLOBAL pict = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(METAFILEPICT));
  METAFILEPICT mf{8, 2540, 1270, 77};
  std::memcpy(GlobalLock(pict), &mf, sizeof mf);
  GlobalUnlock(pict);
  SetClipboardData(CF_DIB, dib);
  SetClipboardData(CF_BITMAP, 55);
  SetClipboardData(CF_PALETTE, 56);
  SetClipboardData(CF_METAFILEPICT, pict);
  SetClipboardData(mine, Block("own"));
  HGLOBAL text = Block("first");
  SetClipboardData(CF_TEXT, text);
  SetClipboardData(CF_TEXT, Block("second"));  // replaces and frees "first"
  EXPECT_EQ(GlobalSize(text), 0u);

  std::vector<uint32_t> order;
  for (uint32_t f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) order.push_back(f);
  EXPECT_EQ(order, (std::vector<uint32_t>{CF_DIB, CF_BITMAP, CF_PALETTE, CF_METAFILEPICT, mine, CF_TEXT}));
  EXPECT_EQ(CountClipboardFormats(), 6);
  EXPECT_EQ(GetClipboardData(CF_DIB), dib.id);
  EXPECT_EQ(GetClipboardData(CF_BITMAP), 55u);
  EXPECT_EQ(GetClipboardData(99), 0u);
  CloseClipboard();
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));

  std::string got;
  ASSERT_TRUE(platform::ClipboardGetText(got));
  EXPECT_EQ(got, "second");

  ASSERT_TRUE(OpenClipboard(2));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_EQ(GetClipboardOwner(), 2u);
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_EQ(platform::GlobalBlocksAlive(), before);
  EXPECT_EQ(deleted, (std::vector<std::pair<uint32_t, uint32_t>>{
                         {CF_BITMAP, 55}, {CF_PALETTE, 56}, {CF_METAFILEPICT, 77}}));
}

TEST_F(Clipboard, TextShortcutFailsWhileSomeoneHoldsTheClipboard) {
  ASSERT_TRUE(platform::ClipboardSetText("abc"));
  ASSERT_TRUE(OpenClipboard(3));
  std::string got;
  EXPECT_FALSE(platform::ClipboardGetText(got));
  EXPECT_FALSE(platform::ClipboardSetText("x"));
  CloseClipboard();
  ASSERT_TRUE(platform::ClipboardGetText(got));
  EXPECT_EQ(got, "abc");
}

}  // namespace
