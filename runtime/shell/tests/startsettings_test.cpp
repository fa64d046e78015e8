#include "runtime/shell/startsettings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct StartSettingsTest : ::testing::Test {
  fs::path home;
  void SetUp() override {
    home = fs::temp_directory_path() / ("qmk_start_" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "qmkrun32");
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(home); }
};

TEST_F(StartSettingsTest, MissingFileGivesTheDefaults) {
  shell::StartSettings s = shell::ReadStartSettings();
  EXPECT_TRUE(s.showTips);
  EXPECT_EQ(s.indexPageSize, 4096);
  EXPECT_EQ(s.pictureBlockSize, 512);
  EXPECT_EQ(s.stationNumber, 0);
  EXPECT_EQ(s.clockInterval, 1);
  EXPECT_EQ(s.setupDirectory, "");
}

TEST_F(StartSettingsTest, NumbersThatDoNotParseGiveTheirFallbacks) {
  std::ofstream(home / "qmkrun32" / "qmkrun32.ini", std::ios::binary)
      << "[Einstellungen]\r\nIndex-Seite=abc\r\nBild-Block= 1024 \r\n"
         "[Netzwerk]\r\nStatNr=12x\r\nTakt=70000\r\n"
         "[Start]\r\nSetup-Verzeichnis=C:\\SETUP\r\n[Tips]\r\nBeimStart=0\r\n";
  shell::StartSettings s = shell::ReadStartSettings();
  EXPECT_FALSE(s.showTips);
  EXPECT_EQ(s.indexPageSize, 4096);
  EXPECT_EQ(s.pictureBlockSize, 1024);
  EXPECT_EQ(s.stationNumber, 0);
  EXPECT_EQ(s.clockInterval, 1);  // beyond 16 bits
  EXPECT_EQ(s.setupDirectory, "C:\\SETUP");
}

}  // namespace
