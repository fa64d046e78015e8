// The toolkit's own resources, compiled from toolkit.qrc into this program.
#include <gtest/gtest.h>

#include <string_view>

#include "platform/resources/resources.h"

using namespace platform;

namespace {

constexpr uint32_t kChild = 0x40000000, kVisible = 0x10000000, kBorder = 0x00800000, kTabStop = 0x00010000;

TEST(ToolkitResources, InputDialog11702) {
  DialogTemplate d;
  ASSERT_TRUE(LoadDialogTemplate(11702, d));
  EXPECT_EQ(d.font, "Helv");
  EXPECT_EQ(d.pointSize, 8);
  EXPECT_EQ(d.caption, "");  // the dialog's creator gives the caption
  EXPECT_EQ((std::vector<int>{d.cx, d.cy}), (std::vector<int>{167, 52}));
  std::vector<DialogItem> want = {
      {"Static", 200, "Eingabeaufforderung", 7, 5, 153, 8, kChild | kVisible},
      {"Edit", 201, "", 7, 16, 153, 12, kChild | kVisible | 0x80 /*autohscroll*/ | kBorder | kTabStop},
      {"Button", 1, "&Ok", 58, 34, 50, 14, kChild | kVisible | 0x1 /*default*/ | kTabStop},
      {"Button", 2, "&Abbrechen", 110, 34, 50, 14, kChild | kVisible | kTabStop},
  };
  EXPECT_EQ(d.items, want);
}

TEST(ToolkitResources, TextEditorMenu11900IsByteExact) {
  std::string_view bytes;
  ASSERT_TRUE(FindResource("objectmenu", 11900, bytes));
  std::string_view want(
      "&Ausschneiden\0\x02\x5f"
      "&Kopieren\0\x03\x5f"
      "&Einf\xfcgen\0\x04\x5f"
      "&L\xf6schen\0\x05\x5f"
      "-\0"
      "Text ein&lesen\0\x0c\x5f"
      "Text &speichern unter\0\x0e\x5f"
      "\0",
      14 + 2 + 10 + 2 + 10 + 2 + 9 + 2 + 2 + 15 + 2 + 22 + 2 + 1);
  EXPECT_EQ(bytes, want);
  std::vector<ObjectMenuEntry> entries;
  ASSERT_TRUE(LoadObjectMenu(11900, entries));
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[4], (ObjectMenuEntry{true, "", 0}));
  EXPECT_EQ(entries[6], (ObjectMenuEntry{false, "Text &speichern unter", 24334}));
}

}  // namespace
