// The replaceable services: clock, key messages, clipboard.
#include <gtest/gtest.h>

#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/messages.h"

namespace {

TEST(HooksTest, ClockSourcesAreReplacedAndRestored) {
  uint64_t before = platform::TickCountMs();
  platform::SleepMs(1);
  EXPECT_GE(platform::TickCountMs(), before);

  platform::SetTickSource([]() -> uint64_t { return uint64_t(1) << 40; });
  EXPECT_EQ(platform::TickCountMs(), uint64_t(1) << 40);
  platform::SetTickSource(nullptr);
  EXPECT_LT(platform::TickCountMs(), uint64_t(1) << 40);

  platform::SetLocalTimeSource([] {
    platform::LocalDateTime t;
    t.year = 1999;
    return t;
  });
  EXPECT_EQ(platform::LocalNow().year, 1999);
  platform::SetLocalTimeSource(nullptr);
  platform::LocalDateTime now = platform::LocalNow();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.millisecond >= 0 && now.millisecond < 1000);
}

TEST(HooksTest, KeyQueueIsEmptyUntilTheHostInstallsOne) {
  platform::KeyMessage message;
  EXPECT_FALSE(platform::PeekKey(true, message));
  platform::SetPeekKeyHook([](bool, platform::KeyMessage& m) {
    m = {platform::kMsgKeyDown, 'U', true};
    return true;
  });
  ASSERT_TRUE(platform::PeekKey(false, message));
  EXPECT_TRUE(message.ctrlDown);
  EXPECT_EQ(message.key, uint32_t('U'));
  platform::SetPeekKeyHook(nullptr);
  EXPECT_FALSE(platform::PeekKey(true, message));

  static int pumped = 0;
  platform::SetPumpHook([] { ++pumped; });
  platform::PumpMessages();
  platform::SetPumpHook(nullptr);
  platform::PumpMessages();
  EXPECT_EQ(pumped, 1);
}

TEST(HooksTest, ClipboardStoreAndHooks) {
  platform::SetClipboardHooks(nullptr, nullptr);
  ASSERT_TRUE(platform::ClipboardSetText("Gr\xFC\xDF" "e"));
  std::string text;
  ASSERT_TRUE(platform::ClipboardGetText(text));
  EXPECT_EQ(text, "Gr\xFC\xDF" "e");

  platform::SetClipboardHooks([](std::string&) { return false; }, [](std::string_view) { return false; });
  EXPECT_FALSE(platform::ClipboardGetText(text));
  EXPECT_FALSE(platform::ClipboardSetText("x"));
  platform::SetClipboardHooks(nullptr, nullptr);
  ASSERT_TRUE(platform::ClipboardGetText(text));
  EXPECT_EQ(text, "Gr\xFC\xDF" "e");
}

}  // namespace
