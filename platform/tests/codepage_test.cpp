#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::AnsiToOemChar;
using platform::OemCharRoundTrips;
using platform::OemToAnsiChar;

TEST(CodepageTest, KnownPairsMapBothWays) {
  struct Pair {
    uint8_t oem, ansi;
  };
  const Pair pairs[] = {
      {0x81, 0xFC},  // ü
      {0xE1, 0xDF},  // ß
      {0x8E, 0xC4},  // Ä
      {0x99, 0xD6},  // Ö
      {0x9A, 0xDC},  // Ü
      {0x84, 0xE4},  // ä
      {0x94, 0xF6},  // ö
      {0x9F, 0x83},  // ƒ, the one letter of 0x80..0x9F that both pages hold
      {0xF8, 0xB0},  // °
      {0xFF, 0xA0},  // no-break space
      {'A', 'A'},
  };
  for (const Pair& pair : pairs) {
    EXPECT_EQ(OemToAnsiChar(pair.oem), pair.ansi) << int(pair.oem);
    EXPECT_EQ(AnsiToOemChar(pair.ansi), pair.oem) << int(pair.ansi);
    EXPECT_TRUE(OemCharRoundTrips(pair.oem)) << int(pair.oem);
  }
}

TEST(CodepageTest, EveryCodeThatRoundTripsComesBackAndTheRestFitsAscii) {
  int exact = 0;
  for (int c = 0; c < 256; ++c) {
    uint8_t ansi = OemToAnsiChar(uint8_t(c));
    if (OemCharRoundTrips(uint8_t(c))) {
      ++exact;
      EXPECT_EQ(AnsiToOemChar(ansi), c) << c;
    } else {
      EXPECT_LT(ansi, 0x80) << c;  // box drawing and the like become ASCII art
    }
  }
  // ASCII, the 96 characters of Latin-1 from 0xA0 and the florin sign.
  EXPECT_EQ(exact, 128 + 96 + 1);
  // Every Latin-1 character of Windows-1252 exists in code page 850.
  for (int c = 0xA0; c < 256; ++c) EXPECT_EQ(OemToAnsiChar(AnsiToOemChar(uint8_t(c))), c) << c;
}

TEST(CodepageTest, BestFitsForCharactersWithoutCounterpart) {
  EXPECT_EQ(OemToAnsiChar(0xC5), '+');  // ┼
  EXPECT_EQ(OemToAnsiChar(0xB3), '|');  // │
  EXPECT_EQ(OemToAnsiChar(0xC4), '-');  // ─
  EXPECT_EQ(OemToAnsiChar(0xB1), '#');  // ▒
  EXPECT_EQ(OemToAnsiChar(0xD5), 'i');  // dotless i
  EXPECT_FALSE(OemCharRoundTrips(0xD5));
  EXPECT_EQ(AnsiToOemChar(0x80), 'E');  // €
  EXPECT_EQ(AnsiToOemChar(0x96), '-');  // en dash
  EXPECT_EQ(AnsiToOemChar(0x81), '?');  // undefined in Windows-1252
}

TEST(CodepageTest, BuffersConvertInPlaceWithEmbeddedZeros) {
  std::string text("M\x81hle\0\xE1", 7);
  platform::OemToAnsiBuffer(text.data(), text.size());
  EXPECT_EQ(text, std::string("M\xFChle\0\xDF", 7));
  platform::AnsiToOemBuffer(text.data(), text.size());
  EXPECT_EQ(text, std::string("M\x81hle\0\xE1", 7));
}

TEST(CodepageTest, Utf8RoundTripOfAllBytes) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += char(c);
  std::string utf8 = platform::Cp1252ToUtf8(all);
  EXPECT_EQ(platform::Utf8ToCp1252(utf8), all);
  EXPECT_EQ(platform::Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");      // €
  EXPECT_EQ(platform::Cp1252ToUtf8("\xFC"), "\xC3\xBC");          // ü
  EXPECT_EQ(platform::Cp1252ToUtf8("\x8D"), "\xC2\x8D");          // undefined: U+008D
  EXPECT_EQ(platform::Utf8ToCp1252("\xE2\x80\x94"), "\x97");      // em dash
}

TEST(CodepageTest, Utf8ThatWindows1252CannotHoldBecomesQuestionMarks) {
  struct Case {
    std::string utf8, expected;
  };
  const Case cases[] = {
      {"\xE6\x97\xA5", "?"},           // a CJK character
      {"\xF0\x9F\x98\x80x", "?x"},     // outside the basic plane
      {"\xC3", "?"},                   // cut short
      {"\xC0\xAF", "?"},               // overlong "/"
      {"a\x80z", "a?z"},               // stray continuation byte
      {"\xC2\x80", "?"},               // U+0080 has no code in Windows-1252
      {"\xED\xA0\x80", "?"},           // surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(platform::Utf8ToCp1252(c.utf8), c.expected) << c.utf8;
}

}  // namespace

// Code page 437 shares the letters of 850 and differs where 850 put the
// letters that 437 lacks: those places hold currency signs, box drawing and
// Greek in 437.
TEST(CodepageTest, CodePage437ToWindows1252) {
  struct Pair {
    uint8_t oem, ansi;
  };
  const Pair pairs[] = {
      {0x81, 0xFC},  // ü, as in 850
      {0xE1, 0xDF},  // ß, as in 850
      {0x9A, 0xDC},  // Ü, as in 850
      {0x9B, 0xA2},  // ¢ (ø in 850)
      {0x9D, 0xA5},  // ¥ (Ø in 850)
      {0xE6, 0xB5},  // µ
      {0xF8, 0xB0},  // °
      {0xFF, 0xA0},  // no-break space
      {0xB6, '+'},   // box drawing (Â in 850)
      {0xDE, '#'},   // right half block
      {0xE0, '?'},   // α: no counterpart (Ó in 850)
      {'M', 'M'},
  };
  for (const Pair& pair : pairs) EXPECT_EQ(platform::Oem437ToAnsiChar(pair.oem), pair.ansi) << int(pair.oem);
  char text[] = "M\x81ller \x9B";
  platform::Oem437ToAnsiBuffer(text, sizeof text - 1);
  EXPECT_EQ(std::string(text), "M\xFCller \xA2");
}
