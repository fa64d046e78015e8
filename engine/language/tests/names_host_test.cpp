#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/uppercas.h"
#include "engine/language/hostcmds.h"
#include "engine/language/nametables.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

class Names : public zettest::EngineTest {};

TEST_F(Names, KeywordTableIsSortedAndComplete) {
  int group0 = 0;
  int system = 0;
  for (size_t i = 0; i < Zet02::kKeywordCount; ++i) {
    const Zet02::TKeyword& k = Zet02::KeywordAt(i);
    if (i > 0) {
      EXPECT_LT(UPPERCAS::CollateCompare(Zet02::KeywordAt(i - 1).name, k.name), 0) << k.name;
    }
    EXPECT_LE(std::strlen(k.name), 14u);
    if (k.group == 0) ++group0;
    if (k.group >= 200 && k.group <= 209) ++system;
    uint8_t group = 0;
    uint8_t code = 0;
    ASSERT_TRUE(Zet02::LookupKeyword(k.name, group, code)) << k.name;
    EXPECT_EQ(group, k.group);
    EXPECT_EQ(code, k.code);
  }
  EXPECT_EQ(group0, 58);
  EXPECT_EQ(system, 211);
  EXPECT_EQ(Zet02::CountKeywordsInGroup(0), 58);
}

struct NameCase {
  const char* name;
  uint8_t group;
  uint8_t code;
};

TEST_F(Names, BothLanguagesFindTheSameFunction) {
  const NameCase cases[] = {
      {"UND", 0, 44},       {"and", 0, 44},        {"oder", 0, 92},       {"GR\xD6\xDF" "ER", 0, 133},
      {"enth\xE4lt", 0, 134}, {"\xC4hnlich", 0, 136}, {"Upper", 201, 3},  {"gro\xDF", 201, 3},
      {"RecNo", 203, 25},   {"RECNR", 203, 25},    {"Calc", 207, 26},     {"wert", 207, 26},
      {"NTimes", 207, 27},  {"XMal", 207, 27},     {"Day", 200, 1},       {"Tag", 200, 1},
      {"Abs", 202, 1},      {"Arctan", 202, 27},   {"AnsiToOem", 201, 27}, {"Bold", 209, 1},
      {"CommOut", 205, 7},  {"ExecMacro", 0, 247}, {"Default", 0, 226},   {"Sub", 0, 218},
  };
  for (const NameCase& c : cases) {
    uint8_t group = 0;
    uint8_t code = 0;
    ASSERT_TRUE(Zet02::LookupKeyword(c.name, group, code)) << c.name;
    EXPECT_EQ(group, c.group) << c.name;
    EXPECT_EQ(code, c.code) << c.name;
  }
  uint8_t group = 0;
  uint8_t code = 0;
  EXPECT_FALSE(Zet02::LookupKeyword("Kunden", group, code));
  EXPECT_FALSE(Zet02::LookupKeyword("", group, code));
  EXPECT_TRUE(Zet02::LookupMarkFunction("isstar", code));
  EXPECT_EQ(code, 62);
  ShortStr name;
  uint8_t language = 0;
  ASSERT_TRUE(Zet02::GetKeywordInGroup(200, 1, name, language));
  EXPECT_FALSE(Zet02::GetKeywordInGroup(209, 3, name, language));
}

TEST_F(Names, FunctionDescriptions) {
  const int abs = Zet02::FindFunctionDesc(202, 1);
  ASSERT_GT(abs, 0);
  EXPECT_EQ(Zet02::GetFunctionSignature(abs), "R R");
  EXPECT_EQ(Zet02::GetFunctionDescFlag(abs), 1);
  EXPECT_EQ(Zet02::GetFunctionParamCount(abs), 1);
  EXPECT_EQ(Zet02::GetFunctionSignature(Zet02::FindFunctionDesc(203, 22)), "X T S");
  EXPECT_EQ(Zet02::GetFunctionHelpText(Zet02::FindFunctionDesc(205, 2)), "\xD6" "ffnet die serialle Schnittstelle.");
  EXPECT_EQ(Zet02::FindFunctionDesc(207, 20), -1);  // Message has no description
  EXPECT_EQ(Zet02::FindFunctionDesc(201, 2), -1);
  EXPECT_EQ(Zet02::GetFunctionSignature(999), "");
  // Every named function has a description unless it is Message.
  for (size_t i = 0; i < Zet02::kKeywordCount; ++i) {
    const Zet02::TKeyword& k = Zet02::KeywordAt(i);
    if (k.group == 207 && k.code == 20) continue;
    const int index = Zet02::FindFunctionDesc(k.group, k.code);
    EXPECT_GT(index, 0) << k.name;
    if (k.group != 0) {
      EXPECT_FALSE(Zet02::GetFunctionHelpText(index).empty()) << k.name;
    }
  }
}

class HostCommands : public zettest::EngineTest {};

TEST_F(HostCommands, DeclarationsRegister) {
  using LumoHost::ParseAndRegisterCommand;
  struct Case {
    const char* declaration;
    int result;
  };
  const Case cases[] = {
      {"PRINTFORM:R( S R)", 0}, {"PRINTFORM:S", -1}, {"printform:S", -1}, {"NOCOLON", 1},
      {"NAME:", 2},             {"NAME:R( S", 3},   {"SHOW:R( S)7", 0},  {"Open:X", 0},
      {"OPEN:X", -1},           {"BIG:R( R)300", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseAndRegisterCommand(c.declaration, 230, 5, 1), c.result) << c.declaration;
  ShortStr sig;
  uint16_t id = 0;
  uint16_t count = 0;
  uint8_t kind = 0;
  ASSERT_TRUE(LumoHost::FindCommand("printForm", sig, id, count, kind));
  EXPECT_EQ(sig, "R S R");
  EXPECT_EQ(id, 5);
  EXPECT_EQ(kind, 230);
  ASSERT_TRUE(LumoHost::FindCommand("SHOW", sig, id, count, kind));
  EXPECT_EQ(id, 7);
  ASSERT_TRUE(LumoHost::FindCommand("big", sig, id, count, kind));
  EXPECT_EQ(id, 300);  // 16 bits survive
  ShortStr name;
  ASSERT_TRUE(LumoHost::CommandNameOf(300, name));
  EXPECT_EQ(name, "BIG");
  ASSERT_TRUE(LumoHost::CommandNameOf(44, name) == false);
  EXPECT_EQ(name, "BIG");  // unchanged
}

TEST_F(HostCommands, RecordsRegisterByBothNamesWithWideIds) {
  ZetCommandRecord records[3] = {};
  records[0].id = 0x0101;
  std::memcpy(records[0].name, "OpenForm", 8);
  std::memcpy(records[0].params, "SR", 2);
  records[0].count = 2;
  records[0].result = 'R';
  records[1] = records[0];
  std::memset(records[1].name, 0, sizeof records[1].name);
  std::memcpy(records[1].name, "FormOeffnen", 11);
  records[2].id = 0x0201;  // same low byte as the first
  std::memset(records[2].name, 'X', sizeof records[2].name);  // not terminated
  std::memset(records[2].params, 'S', sizeof records[2].params);
  records[2].result = 'S';
  EXPECT_EQ(LumoHost::CommandDeclaration(records[0]), "OpenForm:R( S R)");
  EXPECT_EQ(LumoHost::RegisterCommands(3, records), 230);
  ShortStr sig;
  uint16_t id = 0;
  uint16_t count = 0;
  uint8_t kind = 0;
  ASSERT_TRUE(LumoHost::FindCommand("FORMOEFFNEN", sig, id, count, kind));
  EXPECT_EQ(id, 0x0101);
  ASSERT_TRUE(LumoHost::FindCommand(std::string(40, 'x'), sig, id, count, kind));
  EXPECT_EQ(id, 0x0201);
  EXPECT_EQ(sig.size(), 41u);  // result letter and 20 parameters
  ShortStr name;
  ASSERT_TRUE(LumoHost::CommandNameOf(0x0201, name));
  EXPECT_EQ(name.size(), 40u);
}

TEST_F(HostCommands, DefaultsAnswerMinus1001) {
  uint8_t area[LumoHost::kDescriptionArea];
  std::memset(area, 0xAA, sizeof area);
  EXPECT_EQ(LumoHost::HostLookup(0, "Anything"), -1001);
  EXPECT_EQ(LumoHost::HostDescribe(0, 1, area), -1001);
  EXPECT_EQ(area[41], 0);  // zeroed before the call
  EXPECT_EQ(LumoHost::DispatchProc(3)(0, 1, nullptr), -1001);
  EXPECT_EQ(LumoHost::DispatchProc(5)(0, 1, nullptr), -1001);
  ASSERT_EQ(LumoHost::ParseAndRegisterCommand("TITLE:S", 230, 9, 0), 0);
  ASSERT_EQ(LumoHost::ParseAndRegisterCommand("SUM:R", 230, 10, 0), 0);
  ZetArgDescriptor args[2] = {};
  uint8_t result[8];
  std::memset(result, 0xFF, 8);
  args[0].value = result;
  EXPECT_EQ(LumoHost::ExecProc()(230, 10, args), -1001);
  EXPECT_EQ(bytes::GetF64(result), 0.0);
  EXPECT_EQ(LumoHost::ExecProc()(230, 9, args), -1001);
  EXPECT_STREQ(reinterpret_cast<char*>(args[0].value), "default");
  // A host's procedure, then a null install brings the default back.
  LumoHost::InstallDispatchProcs([](uint16_t, const char*) -> int16_t { return 7; }, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(LumoHost::HostLookup(0, "x"), 7);
  LumoHost::InstallDispatchProcs(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(LumoHost::HostLookup(0, "x"), -1001);
}

}  // namespace
