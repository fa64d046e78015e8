#include "engine/base/common.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <fstream>
#include <limits>
#include <string>

#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"

namespace {

using CommonTest = zettest::EngineTest;

TEST_F(CommonTest, FormatRealFollowsDecimalsGroupingAndWidth) {
  struct Case {
    int width, decimals;
    char group, decimal, fill;
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {1, 2, '.', ',', ' ', 1234567.5, "1.234.567,50"},
      {1, 2, '.', ',', ' ', -123.5, "-123,50"},
      {1, 2, '.', ',', ' ', -1234.5, "-1.234,50"},
      {1, 0, '.', ',', ' ', 1234567.6, "1.234.568"},
      {1, 0, '.', ',', ' ', 1234, "1.234"},
      {1, 0, '.', ',', ' ', 123, "123"},
      {1, 2, 0, '.', ' ', 1234567.5, "1234567.50"},
      {1, 15, 0, ',', ' ', 0.123456789012345, "0,12345678901"},
      {1, -3, 0, ',', ' ', 2.5, "2"},
      {10, 2, 0, ',', '*', 123.456, "****123,46"},
      {3, 2, 0, ',', '*', 123.456, "123,46"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Common::FormatReal(c.width, c.decimals, c.group, c.decimal, c.fill, c.value).str(),
              c.expected)
        << c.value << " " << c.decimals;
  }
  EXPECT_EQ(Common::FormatReal(100, 0, 0, ',', ' ', 7).str(), std::string(79, ' ') + "7");
  // Huge values stop at the short text's 255 characters.
  ShortStr huge = Common::FormatReal(1, 11, '.', ',', ' ', 1e300);
  EXPECT_EQ(huge.size(), ShortStr::kMax);
  EXPECT_EQ(huge.view().substr(0, 9), "1.000.000");
}

TEST_F(CommonTest, RealToLongIntRoundsToEvenAndClamps) {
  const std::pair<double, int32_t> cases[] = {
      {3e9, 2147483647},    {-3e9, -2147483647}, {2147483647.4, 2147483647},
      {-2147483648.0, -2147483647}, {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-0.6, -1},
      {std::numeric_limits<double>::infinity(), 2147483647},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (auto [value, expected] : cases) EXPECT_EQ(Common::RealToLongInt(value), expected) << value;
}

// Integer texts hold all eleven characters of the widest 32-bit number.
TEST_F(CommonTest, IntegerTextsNeverLoseDigits) {
  EXPECT_EQ(Common::IntToStrLeft(-2147483647 - 1, 0).str(), "-2147483648");
  EXPECT_EQ(Common::IntToStrWidth(-2147483647, 4).str(), "-2147483647");
  EXPECT_EQ(Common::IntToStrLeft(5, 3).str(), "5  ");
  EXPECT_EQ(Common::IntToStrWidth(5, 3).str(), "  5");
  EXPECT_EQ(Common::IntToStrWidth(5, 40).str(), std::string(10, ' ') + "5");
  EXPECT_EQ(Common::IntToStrLeft(5, 40).str(), "5" + std::string(10, ' '));

  struct Case {
    const char* text;
    size_t start;
    uint16_t value;
    size_t end;
  };
  const Case numbers[] = {{"ab123x", 3, 123, 6}, {"99999", 1, 9999, 6}, {"650012", 1, 6500, 7},
                          {"64999", 1, 64999, 6}, {"x", 1, 0, 1}};
  for (const Case& c : numbers) {
    size_t position = c.start;
    uint16_t value = 77;
    Common::ReadNumber(c.text, position, value);
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(position, c.end) << c.text;
  }
  EXPECT_EQ(Common::DigitWords(-120).str(), "eins*zwei*null");
  EXPECT_EQ(Common::DigitWords(5).str(), "f\xFCnf");
}

TEST_F(CommonTest, NameRules) {
  const std::pair<std::string, bool> names[] = {
      {"", false},          {"A", true},           {std::string(40, 'a'), true},
      {std::string(41, 'a'), false}, {"1abc", false}, {"_abc", false},
      {"\xC4rger", true},   {"\xE4rger-1_x", true}, {"\xDF", true},
      {"a b", false},       {"a.b", false},        {"\xE9t\xE9", false},
  };
  for (const auto& [name, valid] : names) EXPECT_EQ(Common::IsValidName(name), valid) << name;

  EXPECT_TRUE(Common::IsFieldNameChar('@'));
  EXPECT_TRUE(Common::IsFieldNameChar('\xFC'));
  EXPECT_FALSE(Common::IsFieldNameChar('.'));
  EXPECT_FALSE(Common::IsFieldNameChar('\xE9'));
  EXPECT_EQ(Common::NameOf("Kunden.Nr__ rest").str(), "Kunden.Nr");
  EXPECT_EQ(Common::NameOf(std::string(45, 'x')).size(), Common::kMaxNameLength);
}

TEST_F(CommonTest, ReadIdentifierAndReadWord) {
  size_t position = 1;
  ShortStr word;
  Common::ReadIdentifier("  Kunde.Name rest", position, word);
  EXPECT_EQ(word.str(), "Kunde");
  EXPECT_EQ(position, 8u);
  position = 1;
  Common::ReadWord("\tKunde.Name. rest", position, word);
  EXPECT_EQ(word.str(), "Kunde.Name");  // a trailing "." is no part of the word
  EXPECT_EQ(position, 13u);
  position = 1;
  Common::ReadWord(" 'a b'x", position, word);
  EXPECT_EQ(word.str(), "a b");
  EXPECT_EQ(position, 7u);  // behind the closing quote
  position = 1;
  Common::ReadWord("\"open", position, word);
  EXPECT_EQ(word.str(), "open");
  EXPECT_EQ(position, 6u);

  Common::ExtraNameChar = '^';
  position = 1;
  Common::ReadIdentifier("Meier^Hans^ x", position, word);
  EXPECT_EQ(word.str(), "Meier^Hans");
  position = 20;
  Common::ReadIdentifier("short", position, word);
  EXPECT_TRUE(word.empty());

  EXPECT_EQ(Common::ParenArgument("Func( 'x y' )").str(), "x y");
  EXPECT_EQ(Common::ParenArgument("Func(Name.Ext)").str(), "Name.Ext");
  EXPECT_EQ(Common::ParenArgument("Func").str(), "");
}

TEST_F(CommonTest, MatchBracketsFindsTheCloserOrNamesTheExpectedOne) {
  struct Case {
    const char* text;
    size_t start;
    uint16_t result;
    size_t end;            // position afterwards, when matched
    const char* expected;  // error argument, when not
  };
  const Case cases[] = {
      {"([)]", 1, 56, 0, "]"},         {"(')')x", 1, 0, 6, ""},  {"(abc", 1, 56, 0, ")"},
      {"x[a(b)c]y", 2, 0, 9, ""},      {"('abc", 1, 56, 0, "'"}, {"(a^)b)", 1, 0, 7, ""},
      {"{\"}\"}", 1, 0, 6, ""},        {")", 1, 56, 0, " "},
  };
  for (const Case& c : cases) {
    size_t position = c.start;
    Common::SetErrorArgument("-");
    EXPECT_EQ(Common::MatchBrackets(c.text, position), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(position, c.end) << c.text;
    } else {
      EXPECT_EQ(Common::ErrorArgument().str(), c.expected) << c.text;
    }
  }
}

TEST_F(CommonTest, ShortTextRoutines) {
  EXPECT_EQ(Common::CharPos('b', "abcb"), 2u);
  EXPECT_EQ(Common::CharPos('z', "abc"), 0u);
  EXPECT_EQ(Common::CharPosOrEnd('z', "abc"), 4u);
  EXPECT_EQ(Common::DotPos("a.b.c"), 2u);
  EXPECT_EQ(Common::PosFrom("ab", "abxab", 2), 4u);
  EXPECT_EQ(Common::PosFrom("ab", "abxab", 9), 0u);
  EXPECT_EQ(Common::CopyStr("abcdef", 3, 2).str(), "cd");
  EXPECT_EQ(Common::CopyStr("abcdef", 5, 10).str(), "ef");
  EXPECT_EQ(Common::CopyStr("abcdef", 7, 1).str(), "");
  EXPECT_EQ(Common::LeftStr("abcdef", 2).str(), "ab");

  ShortStr full(std::string(255, 'x'));
  Common::PrependChar(full, 'a');
  EXPECT_EQ(full.size(), 255u);
  EXPECT_EQ(full[0], 'a');
  EXPECT_EQ(full[254], 'x');
  EXPECT_EQ(Common::AppendStrCopy(std::string(250, 'y'), "0123456789").size(), 255u);

  ShortStr text("  ab  ");
  Common::TrimRight(text);
  EXPECT_EQ(text.str(), "  ab");
  text = "  ab  ";
  Common::TrimBlanks(text);
  EXPECT_EQ(text.str(), "ab");
  text = "000120";
  Common::DeleteLeading(text, '0');
  EXPECT_EQ(text.str(), "120");

  // Characters below 32 take no width.
  EXPECT_EQ(Common::VisibleLength("a\x01" "b"), 2u);
  EXPECT_EQ(Common::CutToVisibleWidth("abc\x01" "de", 3).str(), "abc\x01");
  EXPECT_EQ(Common::PadRight("a\x01" "b", 4, '.').str(), "a\x01" "b..");
  EXPECT_EQ(Common::PadLeft("abcdef", 3, '.').str(), "abc");
  EXPECT_EQ(Common::PadLeft("ab", 4, '\x01').str(), "\x01\x01" "ab");

  text = "aaa";
  Common::ReplaceAll(text, "a", "aa");
  EXPECT_EQ(text.str(), "aaaaaa");
  Common::ReplaceAll(text, "", "x");
  EXPECT_EQ(text.str(), "aaaaaa");
  text = std::string(200, 'a');
  Common::ReplaceAll(text, "a", "bb");
  EXPECT_EQ(text.str(), std::string(255, 'b'));
  text = "a.b.c";
  Common::ReplaceChar(text, '.', '/');
  EXPECT_EQ(text.str(), "a/b/c");
}

TEST_F(CommonTest, ScrambleStringIsItsOwnInverseOnTenCharacters) {
  ShortStr once = Common::ScrambleString("ABCDEFGHIJKL");
  ASSERT_EQ(once.size(), 10u);
  EXPECT_EQ(once.byte(0), uint8_t('J' ^ 0xFF));
  EXPECT_EQ(once.byte(9), uint8_t('A' ^ 0xFF));
  EXPECT_EQ(Common::ScrambleString(once).str(), "ABCDEFGHIJ");
}

TEST_F(CommonTest, FileNamesSplitOnBothSeparators) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
  };
  const Case cases[] = {
      {"C:\\DATEN\\KUNDEN.DAT", "C:\\DATEN\\", "KUNDEN", ".DAT"},
      {"/tmp/x/kunden.dat", "/tmp/x/", "kunden", ".dat"},
      {"a\\b/c.tar.gz", "a\\b/", "c", ".tar.gz"},
      {"C:NAME", "C:", "NAME", ""},
      {"x.abcdefghijklmn", "", "x", ".abcdefghi"},
      {"dir/", "dir/", "", ""},
  };
  for (const Case& c : cases) {
    Common::FileNameParts parts = Common::SplitFileName(c.path);
    EXPECT_EQ(parts.directory.str(), c.directory) << c.path;
    EXPECT_EQ(parts.name.str(), c.name) << c.path;
    EXPECT_EQ(parts.extension.str(), c.extension) << c.path;
  }
  EXPECT_EQ(Common::MakeFileName("/tmp/Dir/", "kunden", ".dat").str(), "/tmp/Dir/KUNDEN.DAT");
  EXPECT_EQ(Common::MakeFileName8("", "langername", ".dat").str(), "LANGERNA.DAT");
  EXPECT_EQ(Common::BaseName("c:\\daten\\kunden.dat rest").str(), "KUNDEN");
  EXPECT_EQ(Common::BaseName("/x/y/m\xFCller.dat").str(), "M\xDCLLER");
  EXPECT_EQ(Common::FileNamePrefix("dir/a~1.txt,rest").str(), "dir/a~1.txt");
  EXPECT_TRUE(Common::HasExtension("a/b.Dat", ".DAT"));
  EXPECT_FALSE(Common::HasExtension("a/b.DATX", ".DAT"));
}

TEST_F(CommonTest, FileHelpers) {
  std::string name = TempPath("DATA.BIN");
  char out[5] = {'a', 'b', 'c', 'd', 'e'};
  ASSERT_EQ(Common::FileBlockIO(name, true, out, sizeof out), 0);
  char in[8] = {};
  ASSERT_EQ(Common::FileBlockIO(name, false, in, sizeof in), 0);
  EXPECT_EQ(std::string(in, 5), "abcde");
  EXPECT_EQ(Common::FileBlockIO(TempPath("NONE.BIN"), false, in, sizeof in), platform::kDosFileNotFound);

  EXPECT_TRUE(Common::FileExists(name));
  EXPECT_TRUE(Common::FileExists(TempPath("*.BIN")));
  EXPECT_FALSE(Common::FileExists(TempPath("*.DAT")));
  EXPECT_EQ(Common::ExpandName("sub/../x.dat"), platform::CurrentDirectory() + "x.dat");

  ASSERT_EQ(platform::SetAttributes(name, platform::kAttrReadOnly), 0);
  Common::EraseFile(name);
  EXPECT_FALSE(Common::FileExists(name));
  Common::EraseFile(name);  // a missing file is no failure
}

TEST_F(CommonTest, TableSetsAndValueLists) {
  uint64_t set = 0;
  Common::Include64(set, 0);
  Common::Include64(set, 63);
  Common::Include64(set, 64);
  Common::Include64(set, -1);
  EXPECT_EQ(set, 0x8000000000000001ull);
  EXPECT_TRUE(Common::BitIn64(set, 63));
  EXPECT_FALSE(Common::BitIn64(set, 64));
  Common::Exclude64(set, 0);
  EXPECT_FALSE(Common::BitIn64(set, 0));

  Common::ValueNode* head = nullptr;
  EXPECT_TRUE(Common::AddToValueList(head, 5));
  EXPECT_TRUE(Common::AddToValueList(head, -2));
  EXPECT_FALSE(Common::AddToValueList(head, 5));
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->value, 5);
  EXPECT_EQ(head->next->value, -2);
  EXPECT_EQ(head->next->next, nullptr);
  Common::FreeValueList(head);
  EXPECT_EQ(head, nullptr);
}

TEST_F(CommonTest, UnitStateStartsFresh) {
  Common::SetDecimalChar('.');
  Common::ExtraNameChar = '^';
  Common::BreakRequested = true;
  Units::StopEngine();
  Units::StartEngine();
  EXPECT_EQ(Common::GetDecimalChar(), ',');
  EXPECT_EQ(Common::ExtraNameChar, 'A');
  EXPECT_FALSE(Common::BreakRequested);
  EXPECT_EQ(Common::ProgramName.str(), "base_tests");
  EXPECT_EQ(Common::ProgramDirectory.view().back(), '/');
  EXPECT_EQ(Common::WorkingDirectory, Common::ProgramDirectory);
}

// ---------------------------------------------------------------------------
// Break test and waiting through the platform's hooks

std::deque<platform::KeyMessage> keyQueue;
int pumps = 0;
uint64_t fakeNow = 0;

bool TestPeekKey(bool remove, platform::KeyMessage& message) {
  if (keyQueue.empty()) return false;
  message = keyQueue.front();
  if (remove) keyQueue.pop_front();
  return true;
}
void TestPump() { ++pumps; }
uint64_t FakeTicks() { return fakeNow += 7; }

class CommonHookTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    keyQueue.clear();
    pumps = 0;
    platform::SetPeekKeyHook(TestPeekKey);
    platform::SetPumpHook(TestPump);
  }
  void TearDown() override {
    platform::SetPeekKeyHook(nullptr);
    platform::SetPumpHook(nullptr);
    platform::SetTickSource(nullptr);
    EngineTest::TearDown();
  }
};

TEST_F(CommonHookTest, OnlyCtrlUBreaksAndEveryKeyMessageIsConsumed) {
  keyQueue = {{platform::kMsgKeyDown, 'U', false},
              {platform::kMsgKeyDown, 'A', true},
              {platform::kMsgKeyDown, 'U', true}};
  EXPECT_FALSE(Common::UserBreakRequested());
  EXPECT_EQ(keyQueue.size(), 2u);
  EXPECT_FALSE(Common::UserBreakRequested());
  EXPECT_TRUE(Common::UserBreakRequested());
  EXPECT_TRUE(keyQueue.empty());
  EXPECT_FALSE(Common::UserBreakRequested());

  keyQueue = {{platform::kMsgKeyDown, 'U', true}};
  Common::BreakRequested = true;
  EXPECT_TRUE(Common::UserBreakRequested());
  EXPECT_EQ(keyQueue.size(), 1u);  // the flag answers without asking the queue
}

TEST_F(CommonHookTest, WaitMillisecondsEndsOnAFakeClockAcross32Bits) {
  platform::SetTickSource(FakeTicks);
  for (uint64_t start : {uint64_t(0), (uint64_t(1) << 32) - 20, ~uint64_t(0) - 1000}) {
    fakeNow = start;
    pumps = 0;
    Common::WaitMilliseconds(50);
    EXPECT_GE(fakeNow - start, 50u);
    EXPECT_GE(pumps, 1);
  }
  EXPECT_TRUE(keyQueue.empty());
  fakeNow = 5;
  Common::WaitMilliseconds(0);
  EXPECT_LE(fakeNow, 5u + 2 * 7);
}

}  // namespace
