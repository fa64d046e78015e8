#include "platform/base/globalmem.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace win;

namespace {

struct GlobalMem : ::testing::Test {
  void TearDown() override { platform::SetGlobalAllocFailure(-1); }
};

TEST_F(GlobalMem, SizesAreExactAndNewBytesZero) {
  size_t before = platform::GlobalBlocksAlive();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 1001);
  ASSERT_TRUE(h);
  EXPECT_EQ(GlobalSize(h), 1001u);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[1000], 0);
  std::memset(p, 0x5A, 1001);
  GlobalUnlock(h);
  ASSERT_EQ(GlobalReAlloc(h, 3000, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
  EXPECT_EQ(GlobalSize(h), 3000u);
  p = static_cast<uint8_t*>(GlobalLock(h));
  EXPECT_EQ(p[1000], 0x5A);
  EXPECT_EQ(p[1001], 0);
  EXPECT_EQ(p[2999], 0);
  GlobalUnlock(h);
  EXPECT_FALSE(GlobalFree(h));
  EXPECT_EQ(platform::GlobalBlocksAlive(), before);
}

TEST_F(GlobalMem, StaleHandlesAreRefused) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 10);
  GlobalFree(h);
  HGLOBAL again = GlobalAlloc(GMEM_MOVEABLE, 10);
  EXPECT_NE(again.id, h.id);  // ids are never reused
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_EQ(GlobalFree(h), h);
  GlobalFree(again);
}

TEST_F(GlobalMem, FailedReallocationKeepsTheBlock) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 4);
  std::memcpy(GlobalLock(h), "abcd", 4);
  GlobalUnlock(h);
  platform::SetGlobalAllocFailure(0);
  EXPECT_FALSE(GlobalReAlloc(h, 100, GMEM_MOVEABLE));
  EXPECT_FALSE(GlobalAlloc(GMEM_MOVEABLE, 1));
  platform::SetGlobalAllocFailure(-1);
  EXPECT_EQ(GlobalSize(h), 4u);
  EXPECT_EQ(std::memcmp(GlobalLock(h), "abcd", 4), 0);
  EXPECT_EQ(GlobalFlags(h) & GMEM_DDESHARE, GMEM_DDESHARE);
  GlobalUnlock(h);
  GlobalFree(h);
}

}  // namespace
