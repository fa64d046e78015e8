#include <gtest/gtest.h>

#include <string>

#include "engine/base/bytes.h"
#include "engine/base/engassert.h"
#include "engine/language/lumostack.h"
#include "engine/language/scanner.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using LumoExec::TStack;
using namespace LumoScan;

TEST(ValueStack, StringSlotsFillTheStackWithoutReachingItsLastByte) {
  TStack s;
  for (int i = 0; i < 252; ++i) s.PushString("x");
  EXPECT_EQ(s.Used(), 65520u);
  EXPECT_THROW(s.PushString("x"), LumoExec::ELumoStackOverflow);
  EXPECT_EQ(s.Used(), 65520u);
  // Mixed pushes near the end: every refused push leaves the stack as it was.
  s.PushDWord(7);
  EXPECT_THROW(s.PushString("y"), LumoExec::ELumoStackOverflow);
  while (s.Used() + 8 < TStack::kSize) s.PushReal(1);
  EXPECT_LT(s.Used(), size_t(TStack::kSize));
  EXPECT_THROW(s.PushReal(1), LumoExec::ELumoStackOverflow);
}

TEST(ValueStack, PopsBelowTheBaseAreRefused) {
  TStack s;
  try {
    s.PopReal();
    FAIL();
  } catch (const LumoExec::ELumoStackUnderflow& e) {
    EXPECT_STREQ(e.what(), "Lumo Stack Underflow");
  }
  s.PushWord(3);
  EXPECT_THROW(s.PopString(), LumoExec::ELumoStackUnderflow);
  EXPECT_THROW(s.SetTop(s.Top()), EAssertion);
}

TEST(ValueStack, ValuesComeBackAsPushed) {
  TStack s;
  s.PushReal(2.5);
  s.PushWord(0xBEEF);
  s.PushDWord(0xDEADBEEF);
  s.PushString("Meier");
  EXPECT_EQ(s.PopString(), "Meier");
  EXPECT_EQ(s.PopDWord(), 0xDEADBEEFu);
  EXPECT_EQ(s.PopWord(), 0xBEEF);
  EXPECT_EQ(s.PopReal(), 2.5);
  EXPECT_EQ(s.Used(), 0u);
}

dynstr::LineChain Chain(const std::string& text) {
  std::string copy = text;
  return dynstr::SplitToPieces(copy);
}

TEST(ValueStack, LongTextsKeepTheirLineEndsAndPopAs255Characters) {
  TStack s;
  auto chain = Chain(std::string(300, 'a') + "\r\nb");
  s.PushText(chain.get());
  const uint32_t size = bytes::GetU32(s.Top() - 4);
  EXPECT_GE(size, 256u);
  const std::string stored(reinterpret_cast<char*>(s.Top() - 4 - size));
  EXPECT_EQ(stored, std::string(253, 'a') + " " + std::string(47, 'a') + "\r\nb ");
  EXPECT_EQ(s.PopString(), std::string(253, 'a') + " a");
  EXPECT_EQ(s.Used(), 0u);
}

TEST(ValueStack, TextsDropPiecesThatWouldPassTheEnd) {
  TStack s;
  for (int i = 0; i < 250; ++i) s.PushString("");
  std::string big;
  for (int i = 0; i < 30; ++i) big += std::string(100, char('a' + i % 26)) + "\r\n";
  auto chain = Chain(big);
  s.PushText(chain.get());
  EXPECT_LT(s.Used(), size_t(TStack::kSize));
  const uint32_t size = bytes::GetU32(s.Top() - 4);
  EXPECT_EQ(size + 4 + 250 * TStack::kStringSlot, s.Used());
  EXPECT_EQ(size, 511u);  // five pieces with their CR LF, then the 0
}

// A long text of any length is cut where the stack ends; short ones are
// padded to the 256 bytes of a string slot.
TEST(ValueStack, LongTextsAreCutAtTheStackEnd) {
  struct Case {
    int strings;  // string slots pushed first
    size_t length;
    uint32_t size;  // the slot's size word
  };
  const Case cases[] = {{0, 10, 256}, {0, 300, 301}, {250, 70000, TStack::kSize - 1 - 250 * TStack::kStringSlot - 4},
                        {0, 70000, TStack::kSize - 1 - 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    TStack s;
    for (int i = 0; i < c.strings; ++i) s.PushString("");
    s.PushLongText(std::string(c.length, 'q'));
    EXPECT_LT(s.Used(), size_t(TStack::kSize));
    EXPECT_EQ(bytes::GetU32(s.Top() - 4), c.size);
    EXPECT_EQ(s.PopString().str(), std::string(std::min<size_t>(c.length, 255), 'q'));
  }
  TStack full;
  for (int i = 0; i < 252; ++i) full.PushString("");
  EXPECT_THROW(full.PushLongText("x"), LumoExec::ELumoStackOverflow);
}

TEST(ValueStack, DescriptorsFollowTheSignature) {
  TStack s;
  s.PushReal(0);  // result R
  s.PushReal(0);  // object slot
  s.PushString("abc");
  s.PushWord(12);  // variable index of the VAR real
  s.PushReal(4.5);
  auto d = s.GetUserStack("R SVR");
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[0].type, 'R');
  EXPECT_EQ(d[0].value, s.Base());
  EXPECT_EQ(d[1].value, s.Base() + 8);
  EXPECT_EQ(d[2].type, 'S');
  EXPECT_EQ(d[2].mode, ' ');
  EXPECT_STREQ(reinterpret_cast<char*>(d[2].value), "abc");
  EXPECT_EQ(d[3].mode, 'V');
  EXPECT_EQ(bytes::GetF64(d[3].value), 4.5);
  EXPECT_EQ(d[3].value, s.Base() + 16 + TStack::kStringSlot + 2);
  EXPECT_THROW(s.GetUserStack("R Q"), EAssertion);
  // A signature that describes more than the stack holds.
  EXPECT_THROW(s.GetUserStack("R S S S"), LumoExec::ELumoStackUnderflow);
}

struct TokenCase {
  const char* line;
  std::vector<std::pair<TokenClass, std::string>> tokens;
};

TEST(Scanner, ClassifiesTokens) {
  const TokenCase cases[] = {
      {"  := 5", {{tcColon, ""}, {tcEquals, ""}, {tcNumber, "5"}}},
      {"12.5", {{tcNumber, "12.5"}}},
      {"1.2.99", {{tcDate, "1.2.99"}}},
      {"8:30", {{tcTime, "8:30"}}},
      {"1.2.3.4", {{tcNone, ""}}},
      {"Gr\xF6\xDF" "e_2;", {{tcName, "Gr\xF6\xDF" "e_2"}, {tcSemicolon, ""}}},
      {"2Teile", {{tcNumber, "2"}, {tcName, "Teile"}}},
      {"'abc", {{tcString, "abc"}}},
      {"'a \"b\" c' x", {{tcString, "a \"b\" c"}, {tcName, "x"}}},
      {"\"say 'hi' now\";", {{tcString, "say 'hi' now"}, {tcSemicolon, ""}}},
      {"%", {{tcNone, ""}}},
  };
  for (const TokenCase& c : cases) {
    size_t pos = 1;
    ShortStr token;
    for (const auto& [cls, text] : c.tokens) {
      EXPECT_EQ(NextToken(c.line, pos, token), cls) << c.line;
      EXPECT_EQ(token.str(), text) << c.line;
    }
  }
  size_t pos = 1;
  ShortStr token;
  EXPECT_EQ(NextToken("'abc", pos, token), tcString);
  EXPECT_EQ(pos, 5u);
  pos = 1;
  EXPECT_EQ(NextToken("%", pos, token), tcNone);
  EXPECT_EQ(pos, 1u);  // not consumed
}

class ScannerEngine : public zettest::EngineTest {};

TEST_F(ScannerEngine, TokensConvertToNumbers) {
  EXPECT_EQ(TokenToNumber("8:30", tcTime), 510);
  EXPECT_EQ(TokenToNumber("12.5", tcNumber), 12.5);
  EXPECT_EQ(TokenToNumber("1.1.2000", tcDate), 730486);
  EXPECT_THROW(TokenToNumber("x", tcName), EConvertError);
  EXPECT_THROW(TokenToNumber("25:00", tcTime), EConvertError);
  try {
    TokenToNumber("a", tcString);
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Unknown token");
  }
}

}  // namespace
