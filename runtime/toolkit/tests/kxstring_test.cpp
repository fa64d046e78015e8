#include "runtime/toolkit/kxstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace kxstring;

namespace {

TEST(KxString, BoundedCopiesAndHeapTexts) {
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  StrLCopy(buf, "ABCDE", 3);
  EXPECT_EQ(std::string(buf, 5), std::string("ABC\0#", 5));
  std::memset(buf, '#', sizeof buf);
  StrLCopy(buf, "AB", 3);  // NUL-padded up to m
  EXPECT_EQ(std::string(buf, 5), std::string("AB\0\0#", 5));
  StrLCat(buf, "CDEF", 3);
  EXPECT_STREQ(buf, "ABC");
  StrLCopyOrEmpty(buf, nullptr, 7);
  EXPECT_STREQ(buf, "");
  StrLCatOrEmpty(buf, nullptr, 7);
  EXPECT_STREQ(buf, "");

  EXPECT_EQ(StrDup(""), nullptr);
  EXPECT_EQ(StrDup(nullptr), nullptr);
  EXPECT_EQ(StrNDup("abc", 0), nullptr);
  char* two = StrNDup("abc", 2);
  EXPECT_STREQ(two, "ab");
  StrReplaceDup(two, two + 1);  // from its own text
  EXPECT_STREQ(two, "b");
  StrFree(two);
  EXPECT_TRUE(IsEmptyStr(nullptr));
  EXPECT_TRUE(IsEmptyStr(""));

  char path[] = "C:\\A\\B";
  EXPECT_EQ(StrRScan(path, '\\'), path + 4);
  EXPECT_EQ(StrRScan(path, '\0'), path + 6);
  EXPECT_EQ(StrRScan(path, 'x'), nullptr);
}

TEST(KxString, TrimmingAndGermanCase) {
  char s[] = "  a b  ";
  TrimLeft(s);
  EXPECT_STREQ(s, "a b  ");
  EXPECT_EQ(TrimRight(s), s + 3);
  EXPECT_STREQ(s, "a b");

  char german[] = "stra\xdf" "e \xe4\xf6\xfc \xe9";
  EXPECT_EQ(StrUpperGerman(german), 12);
  EXPECT_STREQ(german, "STRA\xdf" "E \xc4\xd6\xdc \xe9");  // ß and é stay
  EXPECT_TRUE(StrEqualNoCase(nullptr, ""));
  EXPECT_TRUE(StrEqualNoCase("M\xfcller", "M\xdcLLER"));
  EXPECT_FALSE(StrEqualNoCase("ab", "abc"));
  EXPECT_FALSE(StrEqualNoCase("", "a"));
}

TEST(KxString, StringClassAppendsItsOwnText) {
  TKxString s("abc");
  EXPECT_EQ(s.Length(), 3);
  s.Append(s.CStr());  // grows while reading its own buffer
  EXPECT_STREQ(s.CStr(), "abcabc");
  s.Assign(s.CStr() + 2, 2);
  EXPECT_STREQ(s.CStr(), "ca");
  s.Assign(nullptr, -1);
  EXPECT_STREQ(s.CStr(), "ca");
  s.Attach(StrDup("own"));
  EXPECT_EQ(s.Capacity(), 4);
  s.Clear();
  EXPECT_STREQ(s.CStr(), "");
  TKxString none(nullptr);
  EXPECT_EQ(none.Length(), 0);
}

TEST(KxString, PatternsOutsideQuotes) {
  struct Case {
    const char* s;
    const char* pattern;
    int at;  // -1: not found
  } cases[] = {
      {"x = 'a=b' = c", "=", 2},
      {"'a=b' = c", "=", 6},
      {"\"a'=\" = c", "=", 6},  // a single quote inside double quotes
      {"aab", "ab", 1},         // the match restarts on the second a
      {"abab", "bab", 1},
      {"'ab' ab", "ab", 5},
      {"abc", "", -1},
      {"'x=y'", "=", -1},
  };
  for (const auto& c : cases) {
    const char* p = StrPosOutsideQuotes(c.s, c.pattern);
    EXPECT_EQ(p ? int(p - c.s) : -1, c.at) << c.s << " / " << c.pattern;
  }
}

TEST(KxString, ReplaceAndKeyValue) {
  char s[16] = "a-b-c";
  EXPECT_TRUE(StrReplaceFirst(s, "-", "+++", 6));
  EXPECT_STREQ(s, "a+++b-");  // cut to 6
  EXPECT_FALSE(StrReplaceFirst(s, "x", "y", 15));

  struct Case {
    const char* line;
    bool ok;
    const char* key;
    const char* value;
  } cases[] = {
      {"Name = Wert ", true, "Name", "Wert"},
      {"a==  = b c  ", true, "a", "b c"},  // further equals signs skipped
      {"  =x", true, " ", "x"},             // the key keeps its first character
      {"no pair", false, "", ""},
  };
  for (const auto& c : cases) {
    char key[8] = "", value[8] = "";
    EXPECT_EQ(SplitKeyValue(c.line, key, 7, value, 7), c.ok) << c.line;
    EXPECT_STREQ(key, c.key) << c.line;
    EXPECT_STREQ(value, c.value) << c.line;
  }
}

TEST(KxString, Tokens) {
  EXPECT_EQ(CountTokens("a;b;;c", ';'), 4);
  EXPECT_EQ(CountTokens("", ';'), 0);
  char field[4];
  struct Case {
    int index;
    bool ok;
    const char* field;
  } cases[] = {{0, true, "a"}, {2, true, ""}, {3, true, "c"}, {4, false, ""}, {-1, false, ""}};
  for (const auto& c : cases) {
    std::strcpy(field, "zz");
    EXPECT_EQ(GetToken("a;b;;c", ';', c.index, field, 3), c.ok) << c.index;
    EXPECT_STREQ(field, c.field) << c.index;
  }
  GetToken("abcdef;g", ';', 0, field, 3);
  EXPECT_STREQ(field, "abc");
  EXPECT_EQ(FindToken("AB;CD", ';', "ABX"), 0);  // the field's length decides
  EXPECT_EQ(FindToken("AB;CD", ';', "CD"), 1);
  EXPECT_EQ(FindToken("AB;CD", ';', "C"), -1);

  char list[] = "x;y;z";
  std::vector<std::string> seen;
  auto collect = [](char* f, void* arg) { static_cast<std::vector<std::string>*>(arg)->push_back(f); };
  ForEachToken(list, ';', collect, &seen);
  EXPECT_EQ(seen, (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_STREQ(list, "x;y;z");  // delimiters restored
  seen.clear();
  ForEachTerminatedToken(list, ';', collect, &seen);
  EXPECT_EQ(seen, (std::vector<std::string>{"x", "y"}));
}

TEST(KxString, Lines) {
  char dest[32] = "0";
  DelimitedToLines(dest, "a|b|c", 31, '|');
  EXPECT_STREQ(dest, "0a\r\nb\r\nc");
  char* lines = CharToLineBreaks("a|b", '|');
  EXPECT_STREQ(lines, "a\r\nb");
  StrFree(lines);
  EXPECT_EQ(CharToLineBreaks(nullptr, '|'), nullptr);
  LineBreaksToChar(dest, "a\r\nb", 31, '|');
  EXPECT_STREQ(dest, "a|b");
  EXPECT_EQ(CountLines("a\r\nb"), 2);
  EXPECT_EQ(CountLines(""), 1);
  char line[8];
  EXPECT_TRUE(GetLine("one\r\ntwo\r\n", 1, line, 7));
  EXPECT_STREQ(line, "two");
  EXPECT_TRUE(GetLine("one\r\ntwo\r\n", 2, line, 7));
  EXPECT_STREQ(line, "");
  EXPECT_FALSE(GetLine("one\r\ntwo\r\n", 3, line, 7));
  EXPECT_EQ(FindLine("one\r\ntwo\r\nthree", "three"), 2);
  EXPECT_EQ(FindLine("one\r\ntwo", "tw"), -1);
}

TEST(KxString, PathPartsAndChars) {
  char d[32];
  EXPECT_STREQ(GetDriveDir(d, "C:\\A\\B\\P.PRJ", 31), "C:\\A\\B\\");
  EXPECT_STREQ(GetDriveDirName(d, "C:\\A\\B\\P.PRJ", 31), "C:\\A\\B\\P");
  EXPECT_STREQ(GetNameExt(d, "C:\\A\\B\\P.PRJ", 31), "P.PRJ");
  EXPECT_STREQ(GetNameExt(d, "C:P.PRJ", 31), "P.PRJ");
  EXPECT_STREQ(GetDriveDirName(d, "dir.x/name", 31), "dir.x/name");
  char dir[8] = "C:\\A";
  EXPECT_STREQ(AddBackslash(dir, 7), "C:\\A\\");
  EXPECT_STREQ(AddBackslash(dir, 7), "C:\\A\\");
  EXPECT_EQ(CheckPathChars("C:\\X_1-a.b/c"), 1);
  EXPECT_EQ(CheckPathChars("ab c"), -2);
  EXPECT_EQ(CheckPathChars("*"), 0);
  EXPECT_FALSE(IsPathChar('\xe4'));
  char hex[3];
  EXPECT_STREQ(ByteToHex(0xA7, hex), "A7");
  EXPECT_EQ(HexDigit(16), '\0');
  char scrambled[] = "Hallo!?";
  SwapInvertBytes(scrambled);
  EXPECT_NE(std::string(scrambled), "Hallo!?");
  SwapInvertBytes(scrambled);
  EXPECT_STREQ(scrambled, "Hallo!?");
}

TEST(KxString, AbsoluteAndRelativePaths) {
  struct Case {
    const char* path;
    const char* base;
    int result;
    const char* absolute;
  } cases[] = {
      {"..\\X\\F.DAT", "C:\\A\\B\\P.PRJ", 0, "C:\\A\\X\\F.DAT"},
      {"..\\..\\X", "C:\\A\\B\\P.PRJ", 0, "C:\\X"},
      {"..\\..\\..\\X", "C:\\A\\B\\P.PRJ", -2, ""},
      {"f.dat", "c:\\a\\b\\p.prj", 0, "C:\\A\\B\\F.DAT"},  // upper-cased
      {"\\X\\Y", "D:\\A\\P.PRJ", 0, "D:\\X\\Y"},           // gets the base's drive
      {"E:\\Q", "C:\\A\\P.PRJ", 0, "E:\\Q"},                // a drive path unchanged
      {"../X/F.DAT", "C:/A/B/P.PRJ", 0, "C:/A\\X/F.DAT"},  // "/" separates too
  };
  for (const auto& c : cases) {
    char path[64], base[64], dest[64] = "";
    std::strcpy(path, c.path);
    std::strcpy(base, c.base);
    EXPECT_EQ(MakeAbsolutePath(dest, path, base, 63), c.result) << c.path;
    if (c.result == 0) {
      EXPECT_STREQ(dest, c.absolute) << c.path;
    }
  }
  char path[] = "x", dest[8] = "keep";
  EXPECT_EQ(MakeAbsolutePath(dest, path, nullptr, 7), -1);
  char shortDest[4];
  char p2[] = "\\LONG\\NAME", b2[] = "C:\\A\\P.PRJ";
  EXPECT_EQ(MakeAbsolutePath(shortDest, p2, b2, 3), 0);
  EXPECT_STREQ(shortDest, "C:\\");

  struct RelCase {
    const char* path;
    const char* base;
    const char* relative;
  } rel[] = {
      {"C:\\A\\X\\F.DAT", "C:\\A\\B\\P.PRJ", "..\\X\\F.DAT"},
      {"C:\\A\\BX\\F.DAT", "C:\\A\\B\\P.PRJ", "..\\BX\\F.DAT"},  // a common prefix inside a name
      {"c:\\a\\b\\f.dat", "C:\\A\\B\\P.PRJ", "F.DAT"},
      {"C:\\X", "C:\\A\\B\\P.PRJ", "..\\..\\X"},
      {"D:\\X\\F.DAT", "C:\\A\\P.PRJ", "D:\\X\\F.DAT"},
      {"C:\\A\\", "C:\\A\\P.PRJ", ""},
  };
  for (const auto& c : rel) {
    char p[64], b[64], d[64] = "unchanged";
    std::strcpy(p, c.path);
    std::strcpy(b, c.base);
    MakeRelativePath(d, p, b, 63);
    EXPECT_STREQ(d, c.relative) << c.path;
    // And back, for the paths on the base's drive.
    if (c.relative[0] && c.relative[1] != ':') {
      char abs[64];
      std::strcpy(b, c.base);
      ASSERT_EQ(MakeAbsolutePath(abs, d, b, 63), 0);
      std::string want = c.path;
      for (char& ch : want) ch = char(std::toupper(uint8_t(ch)));
      EXPECT_EQ(std::string(abs), want);
    }
  }
  char p3[] = "C:\\X", d3[8] = "same";
  MakeRelativePath(d3, p3, nullptr, 7);
  EXPECT_STREQ(d3, "same");
}

}  // namespace
