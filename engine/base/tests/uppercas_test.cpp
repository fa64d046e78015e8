#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/base/uppercas.h"
#include "platform/codepage.h"

namespace {

using UPPERCAS::CollateCompare;
using UPPERCAS::CollateCompareExact;

uint8_t Up(int c) { return uint8_t(UPPERCAS::UpCaseChar(char(c))); }
uint8_t Low(int c) { return uint8_t(UPPERCAS::LowCaseChar(char(c))); }

TEST(UppercasCaseTest, FoldsTheWindowsLetters) {
  struct Case {
    int c, upper, lower;
  };
  const Case cases[] = {
      {'a', 'A', 'a'}, {'z', 'Z', 'z'}, {'A', 'A', 'a'}, {'@', '@', '@'}, {'[', '[', '['},
      {'`', '`', '`'}, {'{', '{', '{'}, {228, 196, 228},  // ä
      {196, 196, 228},                                    // Ä
      {255, 159, 255},                                    // ÿ -> Ÿ
      {159, 159, 255},                                    // Ÿ -> ÿ
      {223, 223, 223},                                    // ß has no capital
      {247, 247, 247},                                    // ÷
      {215, 215, 215},                                    // ×
      {254, 222, 254},                                    // þ
      {222, 222, 254},                                    // Þ
      {224, 192, 224}, {192, 192, 224}, {154, 154, 154},  // š stays
      {138, 138, 138},                                    // Š stays
      {181, 181, 181},                                    // µ
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Up(c.c), c.upper) << c.c;
    EXPECT_EQ(Low(c.c), c.lower) << c.c;
  }
  // Every character that changes goes back with the other rule.
  int changedUp = 0, changedLow = 0;
  for (int c = 0; c < 256; ++c) {
    if (Up(c) != c) {
      ++changedUp;
      EXPECT_EQ(Low(Up(c)), c) << c;
    }
    if (Low(c) != c) {
      ++changedLow;
      EXPECT_EQ(Up(Low(c)), c) << c;
    }
  }
  EXPECT_EQ(changedUp, 26 + 23 + 7 + 1);
  EXPECT_EQ(changedLow, 26 + 23 + 7 + 1);

  ShortStr text("M\xFCller-Stra\xDF" "e \xFF");
  UPPERCAS::UpperStr(text);
  EXPECT_EQ(text.view(), "M\xDCLLER-STRA\xDF" "E \x9F");
  UPPERCAS::LowerStr(text);
  EXPECT_EQ(text.view(), "m\xFCller-stra\xDF" "e \xFF");
}

TEST(UppercasCollateTest, AccentsAndSharpSOnlyBreakTies) {
  struct Case {
    std::string a, b;
    int folded, exact;
  };
  const Case cases[] = {
      {"M\xFCller", "Muller", 1, 1},              // Müller after Muller
      {"Mueller", "Muller", -1, -1},              // e before l
      {"M\xFCller", "Mueller", 1, 1},             // ü is u: l after e
      {"M\xFCller", "Mullers", -1, -1},           // the longer text still wins
      {"m\xFCller", "M\xDCLLER", 0, 1},           // case only
      {"e", "E", 0, 1},
      {"\xE9", "\xE8", 0, 0},                     // é vs è: both marked at once
      {"e", "\xE9", -1, -1},
      {"\xE9", "E", 1, 1},
      {"\xE9t\xE9", "\xE9te", 1, 1},              // the second accent is unmatched
      {"abc", "abcd", -1, -1},
      {"", "", 0, 0},
      {"", "a", -1, -1},
      {"a^b", "a b", 0, 0},
      {"Stra\xDF" "e", "Strasse", 1, 1},          // Straße after Strasse
      {"Stra\xDF" "e", "Strassen", -1, -1},       // and before Strassen
      {"Stra\xDF" "e", "Stra\xDF" "e", 0, 0},
      {"\xDF", "ss", 1, 1},
      {"\xDF", "st", -1, -1},
      {"\xDF", "s", 1, 1},
      {"\xDF", "s\x9A", 1, 1},                   // ß counts two from its first "s", š one
      {"Ma\xDF" "e", "MASSE", 1, 1},
      {"\xC5", "\xC4", 0, 0},                     // Å and Ä are both A
      {"\xFF", "Y", 1, 1},
      {"Zebra", "\x9F", 1, 1},                    // Ÿ sorts as Y, before Z
      {"\xD7", "x", 1, 1},                        // × is not a letter
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CollateCompare(c.a, c.b), c.folded) << c.a << " : " << c.b;
    EXPECT_EQ(CollateCompare(c.b, c.a), -c.folded) << c.b << " : " << c.a;
    EXPECT_EQ(CollateCompareExact(c.a, c.b), c.exact) << c.a << " : " << c.b;
    EXPECT_EQ(CollateCompareExact(c.b, c.a), -c.exact) << c.b << " : " << c.a;
  }
}

TEST(UppercasCollateTest, OrdersAListOfNames) {
  std::vector<std::string> names = {"Mullers", "M\xFCller", "Strassen", "Muller", "Stra\xDF" "e", "Mueller", "Strasse"};
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return CollateCompare(a, b) < 0; });
  const std::vector<std::string> expected = {"Mueller", "Muller", "M\xFCller", "Mullers", "Strasse", "Stra\xDF" "e", "Strassen"};
  EXPECT_EQ(names, expected);
}

TEST(UppercasCollateTest, IsAntisymmetricOnRandomTexts) {
  const std::string alphabet = "aAeE\xE9\xC9\xDFs^ \xFFyY";
  std::mt19937 rng(1104);
  auto randomText = [&] {
    std::string s;
    for (size_t n = rng() % 6; n > 0; --n) s += alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string a = randomText(), b = randomText();
    ASSERT_EQ(CollateCompare(a, b), -CollateCompare(b, a)) << a << " : " << b;
    ASSERT_EQ(CollateCompareExact(a, b), -CollateCompareExact(b, a)) << a << " : " << b;
    ASSERT_EQ(CollateCompare(a, a), 0);
  }
}

TEST(UppercasTextTest, ExpandUmlautsSpellsOutAndCutsToTen) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"Gr\xF6\xDF" "e", "GrOESSe"},
      {"\xC4pfel", "AEpfel"},
      {"\xFC" "ber", "UEber"},
      {"\xD6l-\xDC" "bung", "OElUEbung"},
      {"Stra\xDF" "en-Nr", "StraSSenNr"},
      {"ABCDEFGHI\xDF", "ABCDEFGHIS"},
      {"Kundennummer", "Kundennumm"},
      {"\xE9t\xE9", "\xE9t\xE9"},
      {"", ""},
  };
  for (const Case& c : cases) {
    ShortStr text(c.in);
    UPPERCAS::ExpandUmlauts(text);
    EXPECT_EQ(text.view(), c.out) << c.in;
  }
}

TEST(UppercasTextTest, CharInShortSetLooksAtTwentyCharacters) {
  const std::string set = "0123456789abcdefghijXYZ";
  EXPECT_TRUE(UPPERCAS::CharInShortSet('0', set));
  EXPECT_TRUE(UPPERCAS::CharInShortSet('j', set));
  EXPECT_FALSE(UPPERCAS::CharInShortSet('X', set));
  EXPECT_FALSE(UPPERCAS::CharInShortSet('J', set));
  EXPECT_FALSE(UPPERCAS::CharInShortSet(')', ""));
  EXPECT_TRUE(UPPERCAS::CharInShortSet(')', ",;)"));
}

TEST(UppercasTextTest, OemConversionRoundTrips) {
  ShortStr text("M\xFCller \xC4\xD6\xDC\xE4\xF6\xDF");
  UPPERCAS::AnsiToOemStr(text);
  EXPECT_EQ(text.view(), "M\x81ller \x8E\x99\x9A\x84\x94\xE1");
  UPPERCAS::OemToAnsiStr(text);
  EXPECT_EQ(text.view(), "M\xFCller \xC4\xD6\xDC\xE4\xF6\xDF");

  int roundTrips = 0;
  for (int c = 0; c < 256; ++c) {
    if (!platform::OemCharRoundTrips(uint8_t(c))) continue;
    ++roundTrips;
    ShortStr one(std::string(1, char(c)));
    UPPERCAS::OemToAnsiStr(one);
    UPPERCAS::AnsiToOemStr(one);
    EXPECT_EQ(one.byte(0), c) << c;
  }
  EXPECT_GE(roundTrips, 128 + 64);  // ASCII and most of the upper half
}

// The match as stated: every split of a "*" is tried. Used as the model for
// the real routine on small inputs.
bool ModelMatch(std::string_view text, std::string_view pattern, size_t t = 0, size_t p = 0) {
  auto up = [](char c) { return UPPERCAS::UpCaseChar(c); };
  if (pattern.empty()) return true;
  while (t < text.size()) {
    if (p >= pattern.size()) return false;
    if (pattern[p] == '*') {
      if (p + 1 == pattern.size()) return true;
      for (size_t k = t; k < text.size(); ++k)
        if (ModelMatch(text, pattern, k, p + 1)) return true;
      return false;
    }
    if (pattern[p] != '?' && up(pattern[p]) != up(text[t])) return false;
    ++t;
    ++p;
  }
  return p == pattern.size() || (p + 1 == pattern.size() && pattern[p] == '*');
}

TEST(UppercasWildcardTest, MatchesTheTableOfCases) {
  struct Case {
    std::string text, pattern;
    bool match;
  };
  const Case cases[] = {
      {"", "*", true},
      {"", "?", false},
      {"", "", true},
      {"abc", "", true},
      {"KUNDEN.DAT", "*.dat", true},
      {"kunden.dat", "K*.DAT", true},
      {"KUNDEN.DAT", "*.IND", false},
      {"abc", "abc*", true},
      {"abc", "abc**", false},
      {"abc", "a*c*", true},
      {"abc", "a**", true},
      {"abc", "?b?", true},
      {"abc", "??", false},
      {"abc", "????", false},
      {"abc", "*", true},
      {"abc", "*c", true},
      {"abc", "*b", false},
      {"\xE4rger", "\xC4*", true},  // case folding of the umlaut
      {"MAIN.PRG", "*.*", true},
      {"MAIN", "*.*", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UPPERCAS::WildcardMatch(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
    EXPECT_EQ(ModelMatch(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
  }
}

TEST(UppercasWildcardTest, AgreesWithTryingEverySplit) {
  std::mt19937 rng(1041);
  const char textChars[] = {'a', 'b', 'A'};
  const char patternChars[] = {'a', 'b', 'B', '*', '?'};
  for (int i = 0; i < 30000; ++i) {
    std::string text, pattern;
    for (size_t n = rng() % 7; n > 0; --n) text += textChars[rng() % 3];
    for (size_t n = rng() % 6; n > 0; --n) pattern += patternChars[rng() % 5];
    ASSERT_EQ(UPPERCAS::WildcardMatch(text, pattern), ModelMatch(text, pattern)) << text << " / " << pattern;
  }
}

// Trying every split takes time exponential in the number of stars; the
// routine must answer such patterns at once.
TEST(UppercasWildcardTest, ManyStarsOnALongTextAnswer) {
  std::string text(255, 'a');
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  EXPECT_FALSE(UPPERCAS::WildcardMatch(text, pattern + "*b"));
  EXPECT_TRUE(UPPERCAS::WildcardMatch(text, pattern + "*"));
  EXPECT_TRUE(UPPERCAS::WildcardMatch(text + "b", pattern + "*b"));
}

}  // namespace
