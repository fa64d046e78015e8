#include "platform/framework/pxvalidator.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// ASCII letters and the cp1252 a-umlaut pair, enough to see that the rule
// handed in decides what a letter is and how case folds.
bool TestIsLetter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == 0xC4 || u == 0xE4;
}
char TestUpper(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return char(u - 32);
  if (u == 0xE4) return char(0xC4);
  return c;
}
const framework::TPXCharRule kRule{TestIsLetter, TestUpper};

bool Valid(const char* picture, const char* text) {
  return framework::TPXPictureValidator(picture, kRule).IsValid(text);
}

struct Case {
  const char* picture;
  const char* text;
  bool valid;
};

TEST(PictureValidator, MatchesWholeTextsByTheTable) {
  const Case cases[] = {
      {"###-##", "123-45", true},
      {"###-##", "12-345", false},
      {"###-##", "123-4", false},
      {"###-##", "123-456", false},
      {"[+]###", "123", true},
      {"[+]###", "+123", true},
      {"[+]###", "-123", false},
      {"*3#", "123", true},
      {"*3#", "12", false},
      {"*3#", "1234", false},
      {"{A,B}#", "b7", true},
      {"{A,B}#", "A7", true},
      {"{A,B}#", "C7", false},
      {"*#", "", true},
      {"*#", "0123456789", true},
      {"*#", "12a", false},
      {"&&-##", "ab-12", true},
      {"?", "\xE4", true},
      {"?", "1", false},
      {"@@", "x!", true},
      {"!", "", false},
      {";#;*", "#*", true},
      {";#", "1", false},
      {"abc", "ABC", true},
      {"\xE4", "\xC4", true},
      {"Ja,Nein", "nein", true},
      {"Ja,Nein", "Ja", true},
      {"Ja,Nein", "Jein", false},
      {"#[#][#]", "12", true},
      {"#[#][#]", "1234", false},
      // Backtracking: the optional part must give way to the rest.
      {"[#]#", "5", true},
      {"*#5", "125", true},
      {"*{ab,a}b", "aabb", true},
      {"*2[#]", "", true},
      {"*2[#]", "12", true},
      {"*2[#]", "123", false},
      {"{#,#-#}#", "1-23", true},
      {"", "", true},
      {"", "x", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Valid(c.picture, c.text), c.valid) << '"' << c.picture << "\" on \"" << c.text << '"';
}

TEST(PictureValidator, ABrokenPictureAcceptsNothing) {
  for (const char* picture : {"[#", "{#", "#]", "#}", ";", "*", "*3", "[*]", "{#,", "[#}"}) {
    framework::TPXPictureValidator v(picture, kRule);
    EXPECT_FALSE(v.SyntaxOk()) << picture;
    EXPECT_FALSE(v.IsValid("")) << picture;
    EXPECT_FALSE(v.IsValid("1")) << picture;
  }
  EXPECT_TRUE(framework::TPXPictureValidator("{#,[a]}", kRule).SyntaxOk());
}

TEST(PictureValidator, DeepNestingIsRefusedAndLongTextsStayCheap) {
  std::string deep(framework::kMaxPictureDepth + 1, '{');
  deep += "#" + std::string(framework::kMaxPictureDepth + 1, '}');
  EXPECT_FALSE(framework::TPXPictureValidator(deep.c_str(), kRule).SyntaxOk());
  std::string nested(framework::kMaxPictureDepth - 1, '[');
  nested += "#" + std::string(framework::kMaxPictureDepth - 1, ']');
  EXPECT_TRUE(Valid(nested.c_str(), "1"));
  // Nested stars over a long text that almost matches: bounded by position sets.
  const std::string text(1000, 'a');
  EXPECT_FALSE(Valid("*{*a}b", text.c_str()));
  EXPECT_TRUE(Valid("*{*a}", text.c_str()));
  EXPECT_FALSE(Valid("*65535*65535@", "x"));
}

}  // namespace
