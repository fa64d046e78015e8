// The shell's resources, compiled from shell.qrc into this program.
#include <gtest/gtest.h>

#include <string_view>

#include "platform/resources/resources.h"

using namespace platform;

namespace {

TEST(ShellResources, Toolbar22014IsByteExact) {
  std::string_view bytes;
  ASSERT_TRUE(FindResource("KXTOOLBAR", 22014, bytes));
  // count 3; (23036, 12002, 0); separator (0, 8, 0); (23000, 12013, 0)
  EXPECT_EQ(bytes, std::string_view("\x03\x00"
                                    "\xfc\x59\xe2\x2e\x00\x00"
                                    "\x00\x00\x08\x00\x00\x00"
                                    "\xd8\x59\xed\x2e\x00\x00",
                                    20));
  std::vector<ToolbarEntry> bar;
  ASSERT_TRUE(LoadToolbar(22014, bar));
  EXPECT_EQ(bar, (std::vector<ToolbarEntry>{{23036, 12002, 0}, {0, 8, 0}, {23000, 12013, 0}}));
  EXPECT_FALSE(LoadToolbar(22006, bar));
}

TEST(ShellResources, StatusLayouts) {
  char text[64];
  EXPECT_GT(LoadStringResource(50068, text, sizeof text), 0);
  EXPECT_STREQ(text, "Seite 99|");
}

}  // namespace
