#include <gtest/gtest.h>

#include <memory>

#include "platform/clipboard.h"
#include "platform/gdi/clipobjects.h"

namespace {

// Bitmaps and palettes live while the clipboard holds them: refused when it
// is not open, given back while it is, freed when replaced or emptied.
TEST(ClipboardObjects, LiveWhileTheClipboardHoldsThem) {
  auto first = std::shared_ptr<const win::Bitmap>(win::Bitmap::Create(2, 2, 32));
  const std::weak_ptr<const win::Bitmap> firstAlive = first;
  EXPECT_FALSE(win::SetClipboardBitmap(first)) << "the clipboard is not open";
  ASSERT_TRUE(win::OpenClipboard(0));
  win::EmptyClipboard();
  EXPECT_FALSE(win::SetClipboardBitmap(nullptr));
  ASSERT_TRUE(win::SetClipboardBitmap(std::move(first)));
  ASSERT_TRUE(win::SetClipboardPalette(win::Palette{{win::RGB(1, 2, 3)}}));
  EXPECT_EQ(win::GetClipboardBitmap(), firstAlive.lock());
  ASSERT_TRUE(win::GetClipboardPalette());
  EXPECT_EQ(win::GetClipboardPalette()->entries, std::vector<win::COLORREF>{win::RGB(1, 2, 3)});

  auto second = std::shared_ptr<const win::Bitmap>(win::Bitmap::Create(3, 1, 1));
  ASSERT_TRUE(win::SetClipboardBitmap(second));
  EXPECT_TRUE(firstAlive.expired()) << "the replaced bitmap is freed";
  EXPECT_EQ(win::GetClipboardBitmap(), second);
  const std::weak_ptr<const win::Bitmap> secondAlive = second;
  second.reset();
  win::EmptyClipboard();
  EXPECT_TRUE(secondAlive.expired());
  EXPECT_FALSE(win::GetClipboardBitmap());
  EXPECT_FALSE(win::GetClipboardPalette());
  win::CloseClipboard();
}

}  // namespace
