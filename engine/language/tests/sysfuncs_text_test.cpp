// System functions of dates, texts, numbers, two texts and print attributes,
// reached from Lumo source; the text and number algorithms behind them; the
// file and directory functions in a temporary folder; the catalogue tables.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/dynstr.h"
#include "engine/base/ramfiles.h"
#include "engine/language/listing.h"
#include "engine/language/nametables.h"
#include "engine/language/selection.h"
#include "engine/language/sysalgo.h"
#include "engine/language/sysservices.h"
#include "engine/language/tests/lumo_test.h"
#include "platform/files.h"
#include "platform/messages.h"

namespace {

namespace fs = std::filesystem;
using lumo_test::LumoTest;

// ---- Algorithms ----------------------------------------------------------------

TEST(SysAlgo, PhoneticCodeCases) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"a", "A"},
      {"Pfeiffer", "P116"},  // the first F is coded though P has its digit
      {"Ashcraft", "A226"},  // H separates like a vowel
      {"Tymczak", "T522"},
      {"Lee", "L"},
      {"Bw", "B"},
      {"Schmidt", "S253"},
      {"m\xFCller", "M46"},
      {"Stra\xDF""e", "S362"},  // the sharp s counts with S
      {"B1b2", "B1"},
  };
  for (const auto& [text, code] : cases) EXPECT_EQ(Zet02::PhoneticCode(text).str(), code) << text;
}

// The similarity walk as the steps describe it, with the memo keyed by the
// start position in the first text only; the fast walk must give the same
// numbers.
int ReferenceMatch(const std::string& a, const std::string& b, int i, int j, std::vector<std::pair<int, int>>& memo) {
  const int la = int(a.size());
  const int lb = int(b.size());
  if (i > la || j > lb) return 0;
  if (memo[size_t(i)].first == j) return memo[size_t(i)].second;
  const int startI = i;
  const int startJ = j;
  int r = 0;
  while (i <= la && j <= lb && a[size_t(i - 1)] == b[size_t(j - 1)]) ++i, ++j, ++r;
  const int si = i;
  const int sj = j;
  // The first equal pair from (si, sj), the outer walk over the first text
  // (iOuter) or over the second.
  auto firstPair = [&](bool iOuter) {
    int x = si;
    int y = sj;
    while (iOuter ? x <= la : y <= lb) {
      if (iOuter ? y > lb : x > la) {
        if (iOuter) ++x, y = sj;
        else ++y, x = si;
        continue;
      }
      if (a[size_t(x - 1)] == b[size_t(y - 1)]) return ReferenceMatch(a, b, x, y, memo);
      if (iOuter) ++y;
      else ++x;
    }
    return 0;
  };
  const int r1 = firstPair(true);
  const int r2 = firstPair(false);
  const int result = r + std::max(r1, r2);
  memo[size_t(startI)] = {startJ, result};
  return result;
}

TEST(SysAlgo, SimilarityCases) {
  struct Case {
    const char* a;
    const char* b;
    double expected;
  };
  const Case cases[] = {
      {"", "abc", 1.0}, {"abc", "", 1.0}, {"", "", 1.0},       {"abc", "abc", 1.0},
      {"abc", "xyz", 0}, {"abcd", "abxd", 0.75}, {"ABC", "abc", 0}, {"Meier", "Maier", 0.8},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(SysAlgo::StrComp(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

TEST(SysAlgo, SimilarityEqualsTheStepByStepWalk) {
  std::mt19937 random(13);
  for (int round = 0; round < 3000; ++round) {
    auto text = [&] {
      std::string s(random() % 12 + 1, ' ');
      for (char& c : s) c = char('a' + random() % 3);
      return s;
    };
    const std::string a = text();
    const std::string b = text();
    std::vector<std::pair<int, int>> memo(a.size() + 2, {0, 0});
    EXPECT_EQ(SysAlgo::StrCompMatches(a, b), ReferenceMatch(a, b, 1, 1, memo)) << a << " / " << b;
  }
}

// Texts that make a walk without a full memo search again and again; each
// must finish (the test's time limit catches an exponential search).
TEST(SysAlgo, SimilarityOfLongAdversarialTextsFinishes) {
  std::string abab;
  std::string baba;
  for (int i = 0; i < 255; ++i) {
    abab += char('a' + i % 2);
    baba += char('b' - i % 2);
  }
  std::string abc(255, ' ');
  std::string cba(255, ' ');
  for (int i = 0; i < 255; ++i) {
    abc[size_t(i)] = char('a' + i % 7);
    cba[size_t(254 - i)] = abc[size_t(i)];
  }
  const double v1 = SysAlgo::StrComp(abab, baba);
  EXPECT_GT(v1, 0.99);
  const double v2 = SysAlgo::StrComp(abc, cba);
  EXPECT_GT(v2, 0);
  EXPECT_LE(v2, 1);
  EXPECT_DOUBLE_EQ(SysAlgo::StrComp(std::string(255, 'a'), std::string(255, 'a')), 1.0);
  // Longer texts count their first 255 characters.
  EXPECT_DOUBLE_EQ(SysAlgo::StrComp(std::string(400, 'a'), std::string(255, 'a')), 1.0);
}

TEST(SysAlgo, AdditionOfNumberTexts) {
  const std::string forty(40, '9');
  const std::pair<std::pair<std::string, std::string>, const char*> cases[] = {
      {{"12.50", "1.25"}, "13.75"},
      {{"12.5", "1.25"}, "37.0"},  // points in different columns
      {{"0.5", "0"}, ".5"},
      {{"00012", "0"}, "12"},
      {{"00000", "0"}, "0"},
      {{"", ""}, "0"},
      {{forty, "1"}, "0"},  // the 41st digit is lost
      {{"999", "1"}, "1000"},
      {{" 7", "5"}, "12"},  // a blank counts as 0
  };
  for (const auto& [args, sum] : cases) EXPECT_EQ(SysAlgo::StrAdd(args.first, args.second).str(), sum) << args.first;
}

TEST(SysAlgo, RoundingOnTheDecimalText) {
  struct Case {
    double x;
    int n;
    double expected;
  };
  const Case cases[] = {
      {2.675, 2, 2.68},    {-2.675, 2, -2.68},  {2.5, 0, 3},       {1.25, 1, 1.3},
      {1.005, 2, 1.01},    {2.674, 2, 2.67},    {0.125, 2, 0.13},  {5, 2, 5},
      {1.2345, -1, 1.2345}, {1.2345, 20, 1.2345}, {-0.5, 0, -1},   {123456.789, 1, 123456.8},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(SysAlgo::RoundNumber(c.x, c.n), c.expected) << c.x << " " << c.n;
  EXPECT_TRUE(std::isnan(SysAlgo::RoundNumber(NAN, 2)));
}

TEST(SysAlgo, GeneralNumberText) {
  const std::pair<double, const char*> cases[] = {
      {3, "3"},          {-12, "-12"},       {0.1, "0.1"},       {2.675, "2.675"},
      {-1.5, "-1.5"},    {1.0 / 3, "0.333333333"}, {123456.789, "123456.789"}, {1e-12, "0"},
      {-1e-12, "0"},     {12345678901.5, "12345678902"},
  };
  for (const auto& [x, text] : cases) EXPECT_EQ(SysAlgo::NumberText(x).str(), text) << x;
}

TEST(SysAlgo, SmallTextRules) {
  EXPECT_EQ(SysAlgo::ScanCount("aa", "aaaa"), 3);
  EXPECT_EQ(SysAlgo::ScanCount("", "aaaa"), 0);
  EXPECT_EQ(SysAlgo::PosOf("", "abc"), 0);
  EXPECT_EQ(SysAlgo::SubPath("C:\\A\\B", "C:\\A\\").str(), "B");
  EXPECT_EQ(SysAlgo::SubPath("C:\\A\\B", "D:").str(), "C:\\A\\B");
  EXPECT_EQ(SysAlgo::SubPath("x" + std::string(200, 'y'), "x").size(), 127u);
  EXPECT_EQ(SysAlgo::Swap("ab^cd").str(), "cd^ab");
  EXPECT_EQ(SysAlgo::Swap("abcd").str(), "abcd");
  EXPECT_EQ(SysAlgo::TestLn("  ab  ").str(), "ab\r\n");
  EXPECT_EQ(SysAlgo::TestLn("   ").str(), "");
  EXPECT_EQ(SysAlgo::NTimes("ab", 3).str(), "ababab");
  EXPECT_EQ(SysAlgo::NTimes("ab", 0).str(), "");
  EXPECT_EQ(SysAlgo::NTimes("abc", -1).size(), 255u);
  EXPECT_EQ(SysServices::AccessLetters(2 | 4).str(), "NI");
  EXPECT_EQ(SysServices::AttributeMask("DHx"), 18u);
}

TEST(SysServices, FlattenedPiecesReplaceInTheTextBuffer) {
  dynstr::LineChain chain = std::make_unique<dynstr::LineNode>(dynstr::HeapStr("a<b"), dynstr::kPieceContinues);
  chain->next = std::make_unique<dynstr::LineNode>(dynstr::HeapStr("c"), dynstr::kLineBreakFollows);
  std::string text;
  EXPECT_EQ(SysServices::FlattenPieces(chain.get(), false, text), 8);
  EXPECT_EQ(text, "a<b c\r\n");
  EXPECT_EQ(SysServices::FlattenPieces(chain.get(), true, text), 11);
  EXPECT_EQ(text, "a&lt;b c\r\n");
  // A chain that would fill the buffer is refused whole.
  dynstr::LineChain big;
  for (int i = 0; i < 300; ++i) {
    auto node = std::make_unique<dynstr::LineNode>(dynstr::HeapStr(std::string(250, 'x')), dynstr::kLineBreakFollows);
    node->next = std::move(big);
    big = std::move(node);
  }
  EXPECT_EQ(SysServices::FlattenPieces(big.get(), false, text), -1);
  EXPECT_TRUE(text.empty());

  RamFiles::TextBufRewrite();
  RamFiles::TextBufWrite("Sehr geehrte ANREDE,");
  EXPECT_EQ(SysServices::SubstInTextBuffer("ANREDE", chain.get(), false), 1);
  EXPECT_EQ(SysServices::SubstInTextBuffer("FEHLT", chain.get(), false), 0);
  EXPECT_EQ(SysServices::SubstInTextBuffer("a<b", big.get(), false), 0);
  ShortStr line;
  RamFiles::TextBufReset();
  RamFiles::TextBufRead(line, 255);
  EXPECT_EQ(line.str(), "Sehr geehrte a<b c\r\n,");
}

// ---- Functions from Lumo source ----------------------------------------------

struct Expect {
  const char* source;
  int error;
  double number;
  const char* text;  // a STRING result when not null
};

class SysFuncsText : public LumoTest {
 protected:
  void Check(const Expect& c, bool apply) {
    const Outcome o = Eval(c.source, apply);
    EXPECT_EQ(o.error, c.error) << c.source << " apply " << apply;
    if (c.error > 0) return;
    if (c.text) {
      EXPECT_EQ(o.value.type, Zet02::kValString) << c.source;
      EXPECT_EQ(o.value.text.str(), c.text) << c.source << " apply " << apply;
    } else {
      EXPECT_EQ(o.value.type, Zet02::kValReal) << c.source;
      EXPECT_NEAR(o.value.number, c.number, 1e-9) << c.source << " apply " << apply;
    }
  }
  void CheckBoth(const std::vector<Expect>& cases) {
    for (const Expect& c : cases) {
      Check(c, true);
      Check(c, false);
    }
  }
};

// 730486 is 1 January 2000 (a Saturday), 730495 Monday 10 January 2000.
TEST_F(SysFuncsText, DateFunctions) {
  CheckBoth({
      {"Day(730495)", 0, 10, nullptr},
      {"Tag(730495.4)", 0, 10, nullptr},
      {"Month(730486)", 0, 1, nullptr},
      {"Monat(730486 + 31)", 0, 2, nullptr},
      {"Year(730486)", 0, 2000, nullptr},
      {"Jahr(730485)", 0, 1999, nullptr},
      {"TimeStr(125.9)", 0, 0, "02:05"},
      {"TimeStr(1440)", 0, 0, ""},
      {"TimeStr(-1)", 0, 0, ""},
      {"DateStr(730486)", 0, 0, "01.01.2000"},
      {"DateStr(0)", 0, 0, ""},
      {"DayOfWeek(730486)", 0, 0, "Samstag"},
      {"Week(730495)", 0, 2, nullptr},
      {"Day('x')", 44, 0, nullptr},
  });
}

TEST_F(SysFuncsText, OneTextFunctions) {
  setenv("H13_SYSFUNC_VALUE", "wert", 1);
  CheckBoth({
      {"Soundex('Pfeiffer')", 0, 0, "P116"},
      {"Upper('ab\xE4')", 0, 0, "AB\xC4"},
      {"Gro\xDF('x')", 0, 0, "X"},
      {"Lower('AB\xC4')", 0, 0, "ab\xE4"},
      {"Klein('X')", 0, 0, "x"},
      {"Length('abc')", 0, 3, nullptr},
      {"L\xE4nge('')", 0, 0, nullptr},
      {"Swap('Meier^Hans')", 0, 0, "Hans^Meier"},
      {"LTrim('  a ')", 0, 0, "a "},
      {"RTrim('  a ')", 0, 0, "  a"},
      {"Asc('A')", 0, 65, nullptr},
      {"Asc('')", 0, 0, nullptr},
      {"GetEnv('H13_SYSFUNC_VALUE')", 0, 0, "wert"},
      {"GetEnv('H13_SYSFUNC_MISSING')", 0, 0, ""},
      {"Val('1 + 2 * 3')", 0, 7, nullptr},
      {"Val('')", 0, 0, nullptr},
      {"Val('Unbekannt')", 0, 0, nullptr},  // a compile error
      {"Val('1 +')", 41, 0, nullptr},       // a run error of the text is the call's
      {"ValStr(\"'a' + 'b'\")", 0, 0, "ab"},
      {"ValStr('2.5')", 0, 2.5, nullptr},
      {"ValStr('(')", 0, 0, ""},
      {"GetPara('RW')", 0, 0, nullptr},
      {"OemToAnsi(Chr(132))", 0, 0, "\xE4"},
      {"AnsiToOem('\xE4')", 0, 0, "\x84"},
      {"TestLn('  ab ')", 0, 0, "ab\r\n"},
      {"GetSize('RAMTEXT')", 0, 0, nullptr},
      {"GetSize('/no/such/file.txt')", 0, -1, nullptr},
      {"IsFile('/no/such/file.txt')", 0, 0, nullptr},
      {"Length(1)", 44, 0, nullptr},
  });
  EXPECT_EQ(Eval("Length(1)").error, 44);
  EXPECT_EQ(Common::ErrorArgument().str(), "REAL->STRING");
}

TEST_F(SysFuncsText, NumberFunctions) {
  CheckBoth({
      {"Abs(-2.5)", 0, 2.5, nullptr},
      {"Frac(-2.75)", 0, -0.75, nullptr},
      {"Int(-2.7)", 0, -2, nullptr},
      {"Sin(0)", 0, 0, nullptr},
      {"Cos(0)", 0, 1, nullptr},
      {"Log(1)", 0, 0, nullptr},
      {"Log(0)", 43, 0, nullptr},
      {"Exp(0)", 0, 1, nullptr},
      {"Exp(71)", 43, 0, nullptr},
      {"Sqrt(9)", 0, 3, nullptr},
      {"Sqrt(-1)", 43, 0, nullptr},
      {"Arctan(0)", 0, 0, nullptr},
      {"Chr(321)", 0, 0, "A"},
      {"DigitStr(120.7)", 0, 0, "eins*zwei*null"},
      {"ParamStr(1)", 0, 0, ""},
      {"Abs('a')", 44, 0, nullptr},
  });
  // Outside their domain the functions are quiet in a check run.
  EXPECT_EQ(Run(Compile("Log(0)"), 0, false).error, 0);
  EXPECT_EQ(Eval("Abs('a')").error, 44);
  EXPECT_EQ(Common::ErrorArgument().str(), "STRING->REAL");
  for (int i = 0; i < 50; ++i) {
    const Outcome o = Eval("Random(10)");
    EXPECT_EQ(o.error, 0);
    EXPECT_GE(o.value.number, 0);
    EXPECT_LT(o.value.number, 10);
    EXPECT_EQ(o.value.number, std::floor(o.value.number));
  }
  EXPECT_EQ(Run(Compile("Random(10)"), 0, false).error, Zet02::kSoftStop);
}

// Functions with an effect outside their result act only with the apply
// flag; without it they deliver 0 or the empty text.
TEST_F(SysFuncsText, EffectsOnlyWithTheApplyFlag) {
  struct Case {
    const char* source;
    double applied;  // NAN: a result that depends on the machine
    const char* appliedText;
  };
  const Case cases[] = {
      {"Pause(1)", 1, nullptr},   {"GetDrive(2)", 3, nullptr}, {"GetDrive(30)", 0, nullptr},
      {"DirtyChk(1)", 1, nullptr}, {"DelMemo(1)", 1, nullptr}, {"DiskFree(0)", NAN, nullptr},
      // A font description without "=" is refused (2); a module file that
      // is not there does not compile (3).
      {"SetPara('.RW 3')", 0, nullptr}, {"InitFont('Arial,10')", 2, nullptr}, {"Compile('X')", 3, nullptr},
      {"TestKeys('')", 0, ""},    {"GetDir(0)", 0, "?"},
  };
  for (const Case& c : cases) {
    const Outcome on = Eval(c.source, true);
    const Outcome off = Eval(c.source, false);
    EXPECT_EQ(on.error, 0) << c.source;
    EXPECT_EQ(off.error, 0) << c.source;
    if (c.appliedText) {
      if (std::string(c.appliedText) != "?") EXPECT_EQ(on.value.text.str(), c.appliedText) << c.source;
      else EXPECT_FALSE(on.value.text.empty()) << c.source;
      EXPECT_EQ(off.value.text.str(), "") << c.source;
    } else {
      if (std::isnan(c.applied)) EXPECT_GT(on.value.number, 0) << c.source;
      else EXPECT_EQ(on.value.number, c.applied) << c.source;
      EXPECT_EQ(off.value.number, 0) << c.source;
    }
  }
  SysServices::ResetServices();
  EXPECT_EQ(Eval("DirtyChk(0)").value.number, 1);
  EXPECT_FALSE(SysServices::EngineSwitches().dirtyCheck);
  EXPECT_EQ(Eval("DirtyChk(1)", false).value.number, 0);
  EXPECT_FALSE(SysServices::EngineSwitches().dirtyCheck);
}

// A long pause ends at the user's Ctrl+U.
TEST_F(SysFuncsText, PauseEndsAtTheUserBreak) {
  platform::SetPeekKeyHook([](bool, platform::KeyMessage& m) {
    m = {platform::kMsgKeyDown, 'U', true};
    return true;
  });
  const Outcome o = Eval("Pause(100000000)");
  platform::SetPeekKeyHook(nullptr);
  Common::BreakRequested = false;
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.value.number, 1);
}

TEST_F(SysFuncsText, TestKeysTakesOneKeyFromTheQueue) {
  static std::vector<platform::KeyMessage> queue;
  queue = {{platform::kMsgKeyDown, 'J', false}, {platform::kMsgKeyDown, 'X', false}, {platform::kMsgKeyUp, 'J', false}};
  platform::SetPeekKeyHook([](bool remove, platform::KeyMessage& m) {
    if (queue.empty()) return false;
    m = queue.front();
    if (remove) queue.erase(queue.begin());
    return true;
  });
  EXPECT_EQ(Eval("TestKeys('JN')").value.text.str(), "J");
  EXPECT_EQ(Eval("TestKeys('JN')").value.text.str(), "");  // X is not asked for
  EXPECT_EQ(Eval("TestKeys('')").value.text.str(), "");    // J released
  EXPECT_EQ(Eval("TestKeys('')").value.text.str(), "");    // empty queue
  platform::SetPeekKeyHook(nullptr);
}

TEST_F(SysFuncsText, TwoTextAndPrintFunctions) {
  CheckBoth({
      {"Pos('b', 'abc')", 0, 2, nullptr},
      {"Pos('x', 'abc')", 0, 0, nullptr},
      {"Scan('aa', 'aaaa')", 0, 3, nullptr},
      {"StrComp('abcd', 'abxd')", 0, 0.75, nullptr},
      {"StrAdd('12.50', '1.25')", 0, 0, "13.75"},
      {"SubPath('C:\\DATEN\\KUNDEN.DAT', 'C:\\DATEN\\')", 0, 0, "KUNDEN.DAT"},
      {"Bold(1)", 0, 0, "\x06"},
      {"Bold(0)", 0, 0, "\x07"},
      {"Italic(2)", 0, 0, "\x0B"},
      {"Italic(0)", 0, 0, "\x0C"},
      {"Pos('a')", 56, 0, nullptr},
      {"Pos('a', 1)", 44, 0, nullptr},
      {"Bold('a')", 44, 0, nullptr},
  });
  EXPECT_EQ(Eval("Pos('a')").error, 56);
  EXPECT_EQ(Common::ErrorArgument().str(), ",");
}

// The first failing argument ends the call: nothing after it is read or
// done, so the file is not deleted.
TEST_F(SysFuncsText, AnArgumentErrorSkipsTheEffect) {
  const std::string file = TempPath("keep.txt");
  std::ofstream(file) << "x";
  EXPECT_EQ(Eval("Rename('" + file + "', 1)").error, 44);
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(SysFuncsText, FileAndDirectoryFunctionsInATemporaryFolder) {
  const std::string dir = TempPath("NEU");
  const std::string q = "'" + dir + "'";
  EXPECT_EQ(Eval("MakeDir(" + q + ")", false).value.number, 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_EQ(Eval("MakeDir(" + q + ")").value.number, 0);
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_EQ(Eval("MakeDir(" + q + ")").value.number, 2);  // exists already
  EXPECT_EQ(Eval("MakeDir('" + TempPath("NO/SUCH/DIR") + "')").value.number, 2);

  // A file in it, written through the text buffer.
  RamFiles::TextBufRewrite();
  RamFiles::TextBufWrite("Hallo");
  const std::string file = dir + "/A.TXT";
  EXPECT_EQ(Eval("CopyFile('RAMTEXT', '" + file + "')", false).value.number, 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(Eval("CopyFile('RAMTEXT', '" + file + "')").value.number, 0);
  EXPECT_EQ(Eval("GetSize('" + file + "')").value.number, 5);
  EXPECT_EQ(Eval("GetSize('RAMTEXT')").value.number, 5);
  EXPECT_EQ(Eval("IsFile('" + file + "')").value.number, 1);
  // DOS-style spellings reach the same file: a drive, "\" and other case.
  std::string dosName = "C:" + dir + "\\a.txt";
  EXPECT_EQ(Eval("IsFile('" + dosName + "')").value.number, 1);
  EXPECT_EQ(Eval("GetSize('" + dosName + "')").value.number, 5);

  EXPECT_EQ(Eval("Rename('" + file + "', '" + dir + "/B.TXT')", false).value.number, 0);
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(Eval("Rename('" + dosName + "', '" + dir + "/B.TXT')").value.number, 1);
  EXPECT_TRUE(fs::exists(dir + "/B.TXT"));
  EXPECT_EQ(Eval("Rename('" + file + "', '" + dir + "/C.TXT')").value.number, 0);  // gone

  EXPECT_EQ(Eval("RemDir(" + q + ")").value.number, 1);  // not empty
  EXPECT_EQ(Eval("DelFile('" + dir + "/B.TXT')", false).value.number, 0);
  EXPECT_TRUE(fs::exists(dir + "/B.TXT"));
  fs::permissions(dir + "/B.TXT", fs::perms::owner_read);
  EXPECT_EQ(Eval("DelFile('" + dir + "/B.TXT')").value.number, 5);  // read-only
  fs::permissions(dir + "/B.TXT", fs::perms::owner_all);
  EXPECT_EQ(Eval("DelFile('" + dir + "/b.txt')").value.number, 0);
  EXPECT_FALSE(fs::exists(dir + "/B.TXT"));
  EXPECT_EQ(Eval("DelFile('" + dir + "/B.TXT')").value.number, 2);

  // ChDir and GetDir, and back.
  const fs::path before = fs::current_path();
  EXPECT_EQ(Eval("ChDir('" + TempPath("NO_SUCH") + "')").value.number, 2);
  EXPECT_EQ(Eval("ChDir(" + q + ")", false).value.number, 0);
  EXPECT_EQ(fs::current_path(), before);
  EXPECT_EQ(Eval("ChDir(" + q + ")").value.number, 0);
  EXPECT_EQ(fs::current_path(), fs::path(dir));
  EXPECT_EQ(Eval("GetDir(0)").value.text.str(), fs::current_path().string());
  fs::current_path(before);

  EXPECT_EQ(Eval("RemDir(" + q + ")", false).value.number, 0);
  EXPECT_TRUE(fs::exists(dir));
  EXPECT_EQ(Eval("RemDir(" + q + ")").value.number, 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_EQ(Eval("RemDir(" + q + ")").value.number, 2);
}

// Access denied is answered 1 by MakeDir, ChDir and RemDir. A folder
// without write permission refuses an ordinary user; the super-user is
// refused through the file layer's fault plan.
TEST_F(SysFuncsText, AccessDeniedAnswersOne) {
  const std::string locked = TempPath("LOCKED");
  fs::create_directory(locked);
  fs::create_directory(locked + "/SUB");
  if (geteuid() != 0) {
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(Eval("MakeDir('" + locked + "/NEW')").value.number, 1);
    EXPECT_EQ(Eval("RemDir('" + locked + "/SUB')").value.number, 1);
    fs::permissions(locked, fs::perms::owner_all);
  }
  for (const char* call : {"MakeDir('%s/NEW')", "RemDir('%s/SUB')", "ChDir('%s/SUB')"}) {
    platform::InjectFileFault(platform::FileOp::Directory, 1, platform::kDosAccessDenied);
    char source[512];
    std::snprintf(source, sizeof source, call, locked.c_str());
    EXPECT_EQ(Eval(source).value.number, 1) << source;
  }
  platform::ResetFileFaults();
  EXPECT_TRUE(fs::exists(locked + "/SUB"));
  EXPECT_FALSE(fs::exists(locked + "/NEW"));
}

TEST_F(SysFuncsText, DirectorySearchLines) {
  const std::string dir = TempPath("SUCHE");
  fs::create_directory(dir);
  std::ofstream(dir + "/EINS.TXT") << "12345";
  std::ofstream(dir + "/ZWEI.TXT") << "1";
  fs::create_directory(dir + "/UNTER.TXT");
  const std::string mask = "'" + dir + "/*.TXT'";

  EXPECT_EQ(Eval("FirstDir(" + mask + ", '')", false).value.text.str(), "");
  std::vector<std::string> lines;
  std::string line = Eval("FirstDir(" + mask + ", '')").value.text.str();
  while (!line.empty()) {
    lines.push_back(line);
    line = SysServices::NextDir().str();
  }
  // Without "D" the directory is not listed; the line has its columns.
  ASSERT_GE(lines.size(), 1u);
  for (const std::string& l : lines) {
    ASSERT_GE(l.size(), 53u);
    EXPECT_EQ(l.substr(53), dir + "/");
    EXPECT_EQ(l.substr(45, 6), "      ") << l;
    EXPECT_EQ(l[28], '.');
    EXPECT_EQ(l[31], '.');
    EXPECT_EQ(l[39], ':');
  }
  const std::string first = lines.front();
  EXPECT_TRUE(first.rfind("EINS.TXT", 0) == 0 || first.rfind("ZWEI.TXT", 0) == 0) << first;
  std::vector<std::string> names;
  for (const std::string& l : lines) names.push_back(l.substr(0, l.find(' ')));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"EINS.TXT", "ZWEI.TXT"}));
  for (const std::string& l : lines)
    if (l.rfind("EINS.TXT", 0) == 0) {
      EXPECT_EQ(l.substr(14, 10), "         5");
    }

  // "D" adds the directory with its letter; "A" shows the archive letter.
  names.clear();
  for (std::string l = SysServices::FirstDir(dir + "/*.TXT", "DA").str(); !l.empty(); l = SysServices::NextDir().str()) {
    if (l.rfind("UNTER.TXT", 0) == 0) EXPECT_EQ(l.substr(45, 6), "    D ");
    else EXPECT_EQ(l.substr(45, 6), "     A");
    names.push_back(l.substr(0, l.find(' ')));
  }
  EXPECT_EQ(names.size(), 3u);
  // A DOS-style mask: a drive, "\" and other case find the same entries.
  std::string dosMask = "C:" + dir + "\\*.txt";
  EXPECT_EQ(SysServices::FirstDir(dosMask, "").str().substr(53), dir + "/");
  // "X" only expands the mask.
  EXPECT_EQ(Eval("FirstDir('" + dir + "/../SUCHE/*.TXT', 'X')").value.text.str(), dir + "/*.TXT");
  EXPECT_EQ(Eval("FirstDir('" + dir + "/*.XYZ', '')").value.text.str(), "");
  EXPECT_EQ(SysServices::NextDir().str(), "");
}

TEST_F(SysFuncsText, KeyValueFileLookup) {
  const std::string file = TempPath("werte.ini");
  std::ofstream(file) << "top = 1\r\n[Start]\r\n\t Font = Arial , 10 \r\nohne Gleich\r\n\r\n[Ende]\r\nx=\r\nFont=Courier\r\n";
  // 206/14 has no name: its code is the group, the number and the two
  // arguments.
  auto lookup = [&](const std::string& key, bool apply) {
    std::string code = {char(206), char(14), char(40)};
    code += char(65);
    code += char(file.size());
    code += file;
    code += char(44);
    code += char(65);
    code += char(key.size());
    code += key;
    code += char(41);
    const Outcome o = Run(code, 3, apply);
    EXPECT_EQ(o.error, 0);
    return o.value.text.str();
  };
  EXPECT_EQ(lookup("Start.Font", true), "Arial , 10");
  EXPECT_EQ(lookup("Start.Font", false), "");
  EXPECT_EQ(lookup("start.font", true), "");  // keys keep their case
  EXPECT_EQ(lookup("Ende.Font", true), "Courier");
  EXPECT_EQ(lookup("top", true), "1");
  EXPECT_EQ(lookup("Ende.x", true), "");
  // The file is read once; a changed file is seen after another was asked.
  std::ofstream(file) << "[Start]\nFont=Neu\n";
  EXPECT_EQ(lookup("Start.Font", true), "Arial , 10");
  EXPECT_EQ(SysServices::LookupKeyValue(TempPath("missing.ini"), "Start.Font").str(), "");
  EXPECT_EQ(lookup("Start.Font", true), "Neu");
}

TEST_F(SysFuncsText, CgiFunctionsThroughTheHooks) {
  static std::string written;
  written.clear();
  SysServices::TServiceHooks hooks{};
  hooks.cgiWrite = [](std::string_view text) {
    written += text;
    return 0;
  };
  hooks.cgiParam = [](std::string_view name) { return ShortStr(name == "kunde" ? "Meier" : ""); };
  SysServices::SetServiceHooks(hooks);
  EXPECT_EQ(Eval("CgiWrite('a')", false).value.number, 0);
  EXPECT_EQ(written, "");
  EXPECT_EQ(Eval("CgiWrite('a')").value.number, 0);
  EXPECT_EQ(Eval("CgiWriteLn('b')").value.number, 0);
  EXPECT_EQ(Eval("CgiWriteHtm('<\xE4>')").value.number, 0);
  EXPECT_EQ(written, "ab\r\n&lt;&auml;&gt;");
  EXPECT_EQ(Eval("CgiGetParam('kunde')").value.text.str(), "Meier");
  EXPECT_EQ(Eval("CgiGetParam('x')").value.text.str(), "");
  hooks.cgiWrite = [](std::string_view) { return platform::kDosAccessDenied; };
  SysServices::SetServiceHooks(hooks);
  EXPECT_EQ(Eval("CgiWrite('a')").value.number, 1);
  SysServices::SetServiceHooks({});
  // The default reads the query string of the environment.
  setenv("QUERY_STRING", "a=1&kunde=M%FCller+Hans&leer", 1);
  EXPECT_EQ(Eval("CgiGetParam('kunde')").value.text.str(), "M\xFCller Hans");
  EXPECT_EQ(Eval("CgiGetParam('leer')").value.text.str(), "");
  unsetenv("QUERY_STRING");
}

TEST_F(SysFuncsText, UnnamedHtmlConversions) {
  auto call = [&](uint8_t number, const std::string& text) {
    std::string code = {char(201), char(number), char(40), char(65), char(text.size())};
    code += text;
    code += char(41);
    return Run(code, 3, true).value.text.str();
  };
  EXPECT_EQ(call(31, "<b>a&amp;b</b>"), "a&b");
  EXPECT_EQ(call(36, "a<b"), "a&lt;b");
  // A number a group does not know is error 34; group 202 answers 1.
  EXPECT_EQ(Run(std::string{char(201), char(99), char(40), char(65), char(0), char(41)}, 3, true).error, 34);
  const Outcome other = Run(std::string{char(202), char(99), char(40), char(67), char(5), char(41)}, 3, true);
  EXPECT_EQ(other.error, 0);
  EXPECT_EQ(other.value.number, 1);
}

// Every name of these groups compiles to a call that its handler takes,
// with the apply flag off so that nothing outside changes.
TEST_F(SysFuncsText, EveryNamedFunctionIsReachedFromSource) {
  const std::pair<uint8_t, const char*> groups[] = {
      {200, "(730486)"}, {201, "('')"}, {202, "(0.5)"}, {206, "('a', 'b')"}, {209, "(1)"}};
  for (const auto& [g, args] : groups) {
    ShortStr name;
    uint8_t language = 0;
    for (int n = 1; Zet02::GetKeywordInGroup(g, n, name, language); ++n) {
      const Outcome o = Eval(name.str() + args, false);
      EXPECT_TRUE(o.error == 0 || o.error == 43) << name.str() << " " << o.error;
    }
  }
}

// ---- Catalogue -----------------------------------------------------------------

TEST(SysCatalogue, EveryNamedFunctionOfTheseGroupsHasAHandlerAndADescription) {
  const uint8_t groups[] = {200, 201, 202, 206, 209};
  int named = 0;
  for (uint8_t g : groups) {
    for (int n = 1;; ++n) {
      ShortStr name;
      uint8_t language = 0;
      if (!Zet02::GetKeywordInGroup(g, n, name, language)) break;
      ++named;
      uint8_t group = 0;
      uint8_t code = 0;
      ASSERT_TRUE(Zet02::LookupKeyword(name, group, code)) << name.str();
      EXPECT_GE(Zet02::FindFunctionDesc(group, code), 1) << name.str();
    }
  }
  EXPECT_EQ(named, 10 + 32 + 19 + 8 + 2);
  EXPECT_EQ(Zet02::FunctionDescCount(), 245);
  EXPECT_EQ(Zet02::GetFunctionSignature(Zet02::FindFunctionDesc(202, 1)).str(), "R R");
  EXPECT_EQ(Zet02::GetFunctionDescFlag(Zet02::FindFunctionDesc(203, 22)), 1);
  EXPECT_EQ(Zet02::FindFunctionDesc(207, 20), -1);  // Message
  EXPECT_EQ(Zet02::GetFunctionHelpText(Zet02::FindFunctionDesc(205, 7)).str(),
            "Liert die Anzahl der noch zu sendenen Bytes in der seriellen Schnittstelle.");
}

TEST(SysCatalogue, ValueToTextByFieldType) {
  EXPECT_EQ(Zet02::ValueToText(Common::kTypeBool, 1).str(), "Ja");
  EXPECT_EQ(Zet02::ValueToText(Common::kTypeBool, 0).str(), "Nein");
  EXPECT_EQ(Zet02::ValueToText(Common::kTypeDate, 730486).str(), "01.01.2000");
  EXPECT_EQ(Zet02::ValueToText(Common::kTypeTime, 125).str(), "02:05");
  EXPECT_EQ(Zet02::ValueToText(Common::kTypeChoice, 3).str(), "3");
  EXPECT_EQ(Zet02::ValueToText(Common::kTypeReal, 2.5).str(), "2.5");
  EXPECT_EQ(Zet02::ValueToText(16 + Common::kTypeBool, 1).str(), "Ja");  // low four bits
}

}  // namespace
