// Helpers of the font tests: LOGFONT construction and switching the test font
// for one test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/fonts/font.h"

namespace platform::fonts::testing {

inline win::LOGFONT MakeLogFont(const std::string& face, int height, int weight = 0, bool italic = false,
                                uint8_t pitchAndFamily = 0) {
  win::LOGFONT lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic ? 1 : 0;
  lf.lfPitchAndFamily = pitchAndFamily;
  win::SetFaceName(lf, face);
  return lf;
}

// Runs each test with the test font on or off and restores the setting.
class FontTest : public ::testing::Test {
 protected:
  explicit FontTest(bool testFont) : previous_(TestFontOn()) { SetTestFont(testFont); }
  ~FontTest() override { SetTestFont(previous_); }

 private:
  bool previous_;
};

class RealFontTest : public FontTest {
 protected:
  RealFontTest() : FontTest(false) {}
};

class TestFontTest : public FontTest {
 protected:
  TestFontTest() : FontTest(true) {}
};

}  // namespace platform::fonts::testing
