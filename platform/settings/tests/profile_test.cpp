#include "platform/settings/profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/settings/registry.h"

namespace fs = std::filesystem;
using namespace win;

namespace {

struct Settings : ::testing::Test {
  fs::path home;
  void SetUp() override {
    home = fs::temp_directory_path() / ("qmk_settings_" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "qmkrun32");
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(home); }
  void Put(const std::string& name, const std::string& text) {
    std::ofstream(home / "qmkrun32" / name, std::ios::binary) << text;
  }
  std::string Get(const std::string& name) {
    std::ifstream in(home / "qmkrun32" / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string Read(const char* section, const char* key, const char* def, uint32_t size = 80) {
    char buf[256];
    uint32_t n = GetPrivateProfileStringA(section, key, def, buf, size, "qmkrun32.ini");
    return std::string(buf, n);
  }
};

// The reading rules, one row per case, against one file.
TEST_F(Settings, ReadsFollowTheProfileRules) {
  Put("QMKRUN32.INI",
      "[Start]\r\nPosition =  10, 20, 800  \r\nposition=second\r\n"
      "[Tips]\r\nBeimStart=0\r\nAktTip=x7\r\nMinus=-12abc\r\n"
      "[Modem]\r\nAnschlu\xdf=COM2\r\n");
  struct Case {
    const char *section, *key, *def;
    uint32_t size;
    std::string want;
  } cases[] = {
      {"Start", "Position", "", 80, "10, 20, 800"},      // trimmed, first match wins
      {"START", "POSITION", "", 80, "10, 20, 800"},      // names ignore case
      {"Start", "Position", "", 5, "10, "},              // cut to the buffer: 4 + NUL
      {"Start", "Position", "", 1, ""},
      {"Start", "Missing", "dflt  ", 80, "dflt"},        // default without trailing blanks
      {"Start", "Missing", nullptr, 80, ""},
      {"Nowhere", "Position", "d", 80, "d"},
      {"Modem", "ANSCHLU\xdf", "", 80, "COM2"},         // cp1252 bytes pass unchanged
  };
  for (const auto& c : cases)
    EXPECT_EQ(Read(c.section, c.key, c.def, c.size), c.want) << c.section << "/" << c.key << "/" << c.size;

  EXPECT_EQ(GetPrivateProfileIntA("Tips", "BeimStart", 1, "qmkrun32.ini"), 0);
  EXPECT_EQ(GetPrivateProfileIntA("Tips", "AktTip", 5, "qmkrun32.ini"), 0);  // no digits
  EXPECT_EQ(GetPrivateProfileIntA("Tips", "Minus", 5, "qmkrun32.ini"), -12);
  EXPECT_EQ(GetPrivateProfileIntA("Tips", "Absent", 5, "qmkrun32.ini"), 5);
}

TEST_F(Settings, NullNamesListSectionsAndKeys) {
  Put("lists.ini", "[A]\r\nb=1\r\na=2\r\n[C]\r\nx=3\r\n");
  char buf[64];
  uint32_t n = GetPrivateProfileStringA("A", nullptr, "", buf, sizeof buf, "lists.ini");
  EXPECT_EQ(std::string(buf, n + 1), std::string("b\0a\0\0", 5));  // file order
  n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, "lists.ini");
  EXPECT_EQ(std::string(buf, n + 1), std::string("A\0C\0\0", 5));
  // A list that does not fit is cut and ends with two NULs.
  n = GetPrivateProfileStringA("A", nullptr, "", buf, 4, "lists.ini");
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(std::string(buf, 4), std::string("b\0\0\0", 4));
}

TEST_F(Settings, WritesReachTheDiskAsCp1252WithCrLf) {
  EXPECT_TRUE(WritePrivateProfileStringA("Start", "Position", "1, 2, 3, 4, 0", "qmkrun32.ini"));
  EXPECT_TRUE(WritePrivateProfileStringA("Modem", "Anschlu\xdf", "COM1", "qmkrun32.ini"));
  std::string file = Get("qmkrun32.ini");
  EXPECT_EQ(file.find("[Start]\r\nPosition = 1, 2, 3, 4, 0\r\n"), 0u) << file;
  EXPECT_NE(file.find("[Modem]\r\nAnschlu\xdf = COM1\r\n"), std::string::npos) << file;
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] == '\n') {
      EXPECT_EQ(file[i - 1], '\r') << "bare LF at " << i;
    }
  }
  // Replacing through another case of the name keeps one key.
  EXPECT_TRUE(WritePrivateProfileStringA("start", "POSITION", "9", "QMKRUN32.INI"));
  EXPECT_EQ(Read("Start", "Position", ""), "9");
  EXPECT_EQ(Get("qmkrun32.ini").find("1, 2"), std::string::npos);
  // A null value deletes the key, a null key the section.
  EXPECT_TRUE(WritePrivateProfileStringA("Start", "Position", nullptr, "qmkrun32.ini"));
  EXPECT_EQ(Read("Start", "Position", "gone"), "gone");
  EXPECT_TRUE(WritePrivateProfileStringA("Modem", nullptr, nullptr, "qmkrun32.ini"));
  EXPECT_EQ(Read("Modem", "Anschlu\xdf", "gone"), "gone");
  EXPECT_EQ(Get("qmkrun32.ini").find("Modem"), std::string::npos);
}

TEST_F(Settings, WinIniAnswersTheLocaleSeparatorAndAnnouncesWrites) {
  char buf[8];
  GetProfileStringA("intl", "sDecimal", "?", buf, sizeof buf);
  EXPECT_TRUE(std::string(buf) == "." || std::string(buf) == ",") << buf;
  static std::string changed;
  platform::SetWinIniChangedHook([](const char* section) { changed = section; });
  EXPECT_TRUE(WriteProfileStringA("intl", "sDecimal", ","));
  EXPECT_EQ(changed, "intl");
  GetProfileStringA("INTL", "SDECIMAL", "?", buf, sizeof buf);
  EXPECT_STREQ(buf, ",");
  platform::SetWinIniChangedHook(nullptr);
  EXPECT_EQ(GetProfileIntA("intl", "iDigits", 2), 2);
  WriteProfileStringA("intl", "iDigits", "3");
  EXPECT_EQ(GetPrivateProfileIntA("intl", "iDigits", 2, nullptr), 3);  // no file name: WIN.INI
  EXPECT_NE(Get("WIN.INI").find("sDecimal = ,\r\n"), std::string::npos);
}

TEST_F(Settings, RegistryKeepsStringAndNumberValues) {
  HKEY key;
  uint32_t disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quorvel\\qmkrun32", &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  const char dir[] = "C:\\PRIVAT";
  // Stored without its NUL, as the shell writes it.
  ASSERT_EQ(RegSetValueExA(key, "PrivateDir", REG_SZ, dir, uint32_t(sizeof dir - 1)), ERROR_SUCCESS);
  uint32_t n = 42;
  ASSERT_EQ(RegSetValueExA(key, "Count", REG_DWORD, &n, 4), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  HKEY again;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\quorvel\\QMKRUN32", &again), ERROR_SUCCESS);
  char text[32];
  uint32_t type = 0, size = 3;
  EXPECT_EQ(RegQueryValueExA(again, "PrivateDir", &type, text, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof dir);
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(again, "privatedir", &type, text, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_STREQ(text, dir);
  uint32_t value = 0;
  size = 4;
  ASSERT_EQ(RegQueryValueExA(again, "Count", &type, &value, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(RegQueryValueExA(again, "Absent", &type, text, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(again);
  HKEY missing;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nobody", &missing), ERROR_FILE_NOT_FOUND);
}

}  // namespace
