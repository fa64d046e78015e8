#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/resources/qrc/reader.h"
#include "platform/resources/resources.h"

using namespace platform;

namespace {

bool NoFiles(const std::string&, std::string&) { return false; }

std::vector<qrc::Resource> Compile(const std::string& text, const qrc::FileLoader& load = NoFiles) {
  qrc::Compiler c;
  c.AddScript(text, "dir/test.qrc", load);
  return c.Resources();
}

std::string ErrorOf(const std::string& text) {
  try {
    Compile(text);
  } catch (const qrc::Error& e) {
    return e.what();
  }
  return "";
}

// Registers compiled resources for the lookups (once; they stay for the program).
void Register(const std::vector<qrc::Resource>& resources) {
  static std::vector<qrc::Resource> kept;
  static std::vector<ResourceEntry> entries;
  kept = resources;
  for (const auto& r : kept)
    entries.push_back({r.typeNumber, r.typeNumber ? nullptr : r.typeName.c_str(), r.idNumber,
                        r.idNumber ? nullptr : r.idName.c_str(), reinterpret_cast<const uint8_t*>(r.bytes.data()),
                        uint32_t(r.bytes.size())});
  RegisterResourceTable(entries.data(), entries.size());
}

TEST(Qrc, ScriptErrorsNameFileAndLine) {
  struct Case {
    const char* script;
    const char* error;
  } cases[] = {
      {"strings\n 1 \"a\"\n 1 \"b\"\nend", "dir/test.qrc:3: duplicate resource (type 6 id 1, first at dir/test.qrc:2)"},
      {"objectmenu M { \"x\" 1 }\nobjectmenu m { \"y\" 2 }", "dir/test.qrc:2: duplicate resource"},
      {"strings\n 5 \"\xe2\x82\xac ok\"\n 6 \"\xe2\x86\x92\"\nend", "dir/test.qrc:3: text not representable in Windows-1252"},
      {"strings 5 \"open\nend", "dir/test.qrc:1: unterminated string"},
      {"dialog 1 at 0 0 1 1\n edit 2 \"\" 0 0 1 1 style defpushbutton\nend", "dir/test.qrc:2: unknown style 'defpushbutton'"},
      {"dialog 70000 at 0 0 1 1 end", "dir/test.qrc:1: resource id out of range: 70000"},
      {"kxtoolbar 1 { 0 5 0 }", "dir/test.qrc:1: bitmap id out of range: 0"},
      {"bitmap 8000 \"ok.bmp\"", "dir/test.qrc:1: cannot read bitmap dir/ok.bmp"},
      {"menu 1 { item \"a\" }", "dir/test.qrc:1: expected command id"},
      {"sound 1 \"x\"", "dir/test.qrc:1: unknown resource kind 'sound'"},
  };
  for (const auto& c : cases) {
    std::string error = ErrorOf(c.script);
    EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << c.script << "\n -> " << error;
  }
}

TEST(Qrc, ResourcesDecodeToWhatTheScriptSays) {
  Register(Compile(R"(# every kind once
strings
  50300 "Texteditor - "
  50303 "Datei öffnen"
end
dialog QRCTEST font "Helv" 8 at 1 2 167 52 style popup modalframe
  title "Über"
  listbox 200 "" 7 7 109 98 style notify sort nointegralheight vscroll border
  control "kxRuler" 300 "r" -1 0 10 10 style 0x5
  button 301 "&Einfügen" 0 0 10 10 style hidden tabstop
end
menu 9100 { popup "&Datei" { item "&Öffnen...\tStrg+O" 24001; separator; item "E&nde" 24002 grayed }; item "&Hilfe" 9 }
accelerators 9100 { "O" 24001 virtkey control; 112 12014 virtkey shift }
bitmap 9100 "pic.bmp"
icon pvw_icon "pic.png"
)",
                    [](const std::string& path, std::string& bytes) {
                      if (path == "dir/pic.bmp") bytes = "BM" + std::string(12, 'h') + std::string(40, 'i') + "px";
                      else if (path == "dir/pic.png") bytes = std::string("\x89PNG\r\n\x1a\n", 8) + "png";
                      else return false;
                      return true;
                    }));

  char text[8];
  EXPECT_EQ(LoadStringResource(50300, text, sizeof text), 7);
  EXPECT_STREQ(text, "Textedi");
  char full[32];
  LoadStringResource(50303, full, sizeof full);
  EXPECT_STREQ(full, "Datei \xf6" "ffnen");
  EXPECT_EQ(LoadStringResource(1, full, sizeof full), 0);
  EXPECT_STREQ(full, "");

  DialogTemplate d;
  ASSERT_TRUE(LoadDialogTemplate("qrcTest", d));  // names ignore case
  EXPECT_EQ(d.style, 0x80000000u | 0x80u | 0x40u);
  EXPECT_EQ(d.font, "Helv");
  EXPECT_EQ(d.pointSize, 8);
  EXPECT_EQ(d.caption, "\xdc" "ber");
  EXPECT_EQ((std::vector<int>{d.x, d.y, d.cx, d.cy}), (std::vector<int>{1, 2, 167, 52}));
  ASSERT_EQ(d.items.size(), 3u);
  EXPECT_EQ(d.items[0], (DialogItem{"ListBox", 200, "", 7, 7, 109, 98, 0x50000000u | 0x1 | 0x2 | 0x100 | 0x00200000 | 0x00800000}));
  EXPECT_EQ(d.items[1], (DialogItem{"kxRuler", 300, "r", -1, 0, 10, 10, 0x50000005u}));
  EXPECT_EQ(d.items[2], (DialogItem{"Button", 301, "&Einf\xfcgen", 0, 0, 10, 10, 0x40010000u})) << "hidden";

  std::vector<MenuItem> menu;
  ASSERT_TRUE(LoadMenuTemplate(9100, menu));
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].flags, MF_POPUP);
  ASSERT_EQ(menu[0].items.size(), 3u);
  EXPECT_EQ(menu[0].items[0], (MenuItem{0, 24001, "&\xd6" "ffnen...\tStrg+O", {}}));
  EXPECT_EQ(menu[0].items[1].flags, MF_SEPARATOR);
  EXPECT_EQ(menu[0].items[2], (MenuItem{MF_GRAYED, 24002, "E&nde", {}}));
  EXPECT_EQ(menu[1], (MenuItem{0, 9, "&Hilfe", {}}));

  std::string_view bytes;
  ASSERT_TRUE(FindResource(RT_ACCELERATOR, 9100, bytes));
  EXPECT_EQ(bytes, std::string_view("\x09\x00O\x00\xc1\x5d"
                                    "\x85\x00\x70\x00\xee\x2e", 12));
  std::vector<Accel> accel;
  ASSERT_TRUE(LoadAccelerators(9100, accel));
  EXPECT_EQ(accel, (std::vector<Accel>{{FVIRTKEY | FCONTROL, 'O', 24001}, {FVIRTKEY | FSHIFT, 112, 12014}}));

  ASSERT_TRUE(FindResource(RT_BITMAP, 9100, bytes));
  EXPECT_EQ(bytes, std::string(40, 'i') + "px");  // packed DIB: the file header is gone
  ASSERT_TRUE(FindResource(RT_ICON, "PVW_ICON", bytes));
  EXPECT_EQ(bytes.substr(1, 3), "PNG");
  EXPECT_FALSE(FindResource(RT_ICON, 9100, bytes));
}

TEST(Qrc, DecodersStayInsideTheResource) {
  std::vector<ToolbarEntry> bar;
  EXPECT_TRUE(DecodeToolbar(std::string_view("\0\0", 2), bar));
  EXPECT_TRUE(bar.empty());
  // A count that promises more entries than the bytes hold, or fewer.
  EXPECT_FALSE(DecodeToolbar(std::string_view("\x02\0\1\0\2\0\0\0", 8), bar));
  EXPECT_FALSE(DecodeToolbar(std::string_view("\x01\0\1\0\2\0\0\0\0", 9), bar));
  EXPECT_FALSE(DecodeToolbar(std::string_view("\x01", 1), bar));

  std::vector<ObjectMenuEntry> menu;
  EXPECT_FALSE(DecodeObjectMenu(std::string_view("Cut", 3), menu));       // text without its NUL
  EXPECT_FALSE(DecodeObjectMenu(std::string_view("Cut\0\x01", 5), menu));  // id cut off
  EXPECT_FALSE(DecodeObjectMenu(std::string_view("-\0", 2), menu));       // no end mark
  ASSERT_TRUE(DecodeObjectMenu(std::string_view("-\0\0", 3), menu));
  EXPECT_EQ(menu, (std::vector<ObjectMenuEntry>{{true, "", 0}}));

  std::vector<Accel> accel;
  EXPECT_FALSE(DecodeAccelerators(std::string_view("\x01\0A\0\1\0", 6), accel));  // no last mark
  EXPECT_FALSE(DecodeAccelerators(std::string_view("\x81\0A\0\1", 5), accel));

  DialogTemplate d;
  std::string good = EncodeDialog({0, "Helv", 8, "", 0, 0, 1, 1, {{"Edit", 1, "x", 0, 0, 1, 1, 0}}});
  ASSERT_TRUE(DecodeDialog(good, d));
  for (size_t cut = 0; cut < good.size(); ++cut) EXPECT_FALSE(DecodeDialog(good.substr(0, cut), d)) << cut;
  std::vector<MenuItem> items;
  std::string deep = std::string("\x01\0\x10\0\0\0\0\0", 8);
  std::string nested;
  for (int i = 0; i < 40; ++i) nested += deep;
  EXPECT_FALSE(DecodeMenu(nested, items));  // nesting is bounded
}

}  // namespace
