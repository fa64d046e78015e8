// Expressions, selections, macros, variables, host commands and conversions
// through the exports.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/language/variables.h"

namespace {

using interface_test::AddArticle;
using interface_test::InterfaceTest;

class Expressions : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    c_ = ZetTableCreate(relation_);
    ASSERT_EQ(AddArticle(c_, 1, "Apfel", 3), 0);
    ASSERT_EQ(AddArticle(c_, 2, "Birne", 5), 0);
    ASSERT_EQ(ZetTableSetRecNo(c_, 1), 1);
  }
  // Compiles and evaluates a text for a cursor: the answer and the text.
  std::pair<int32_t, std::string> Solve(int32_t cursor, const char* text, int32_t decimals = 0) {
    uint8_t code[256];
    EXPECT_EQ(ZetTokenize(cursor, code, text), 0) << text;
    char result[256] = "unchanged";
    const int32_t answer = ZetSolve(cursor, result, code, sizeof result - 1, decimals);
    return {answer, result};
  }
  int32_t relation_ = 0;
  int32_t c_ = 0;
};

TEST_F(Expressions, CompileFailuresAnswerAPositionAndRunFailuresAnError) {
  EXPECT_EQ(ZetCheckExpression(c_, "MENGE * 2 + 1"), 0);
  const int32_t unknown = ZetCheckExpression(c_, "1 + NOFIELD");
  EXPECT_GT(unknown, 0);
  char line[256];
  ZetGetLastErrorPos(line, sizeof line - 1);
  EXPECT_NE(std::string(line).find("NOFIELD"), std::string::npos) << line;
  const std::string tooLong = "1" + std::string(300, ' ');
  EXPECT_EQ(ZetCheckExpression(c_, tooLong.c_str()), 256);
  uint8_t code[256];
  EXPECT_EQ(ZetTokenize(c_, code, tooLong.c_str()), 256);
  EXPECT_EQ(code[0], 0) << "no code for a failed compile";
  // A compile that succeeds clears the record of the last one.
  EXPECT_EQ(ZetCheckExpression(c_, "MENGE"), 0);
  EXPECT_EQ(ZetGetLastErrorPos(line, sizeof line - 1), 0);
  EXPECT_STREQ(line, "");
}

TEST_F(Expressions, SolveEvaluatesForTheCursorsRecord) {
  EXPECT_EQ(Solve(c_, "MENGE * 2"), std::make_pair(0, std::string("6")));
  EXPECT_EQ(Solve(c_, "NAME"), std::make_pair(0, std::string("Apfel")));
  const int32_t other = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(other, 2), 2);
  EXPECT_EQ(Solve(other, "NAME"), std::make_pair(0, std::string("Birne")));
  EXPECT_EQ(Solve(c_, "NAME"), std::make_pair(0, std::string("Apfel"))) << "each cursor its own record";
  EXPECT_EQ(ZetTableGetRecNo(c_), 1);

  // Expressions separated by ";": the last one counts; anything else
  // between them is error 56.
  EXPECT_EQ(Solve(c_, "1; MENGE + 1"), std::make_pair(0, std::string("4")));
  // A whole number behind ";" is a statement of its own, never a rounding
  // suffix.
  for (const auto& [text, answer] : {std::pair{"1;2", "2"}, {"1;2;3;4", "4"}, {"2.5;0", "0"}, {"1;00:00", "0"},
                                     {"1;Nein", "0"}, {"MENGE;2;MENGE", "3"}})
    EXPECT_EQ(Solve(c_, text), std::make_pair(0, std::string(answer))) << text;
  EXPECT_EQ(Solve(c_, "1 2").first, -56);

  // Cursor 0 is the active cursor; without one the code runs without a
  // table.
  EXPECT_EQ(Solve(0, "2 + 2"), std::make_pair(0, std::string("4")));
  uint8_t code[256];
  ASSERT_EQ(ZetTokenize(c_, code, "NAME"), 0);
  char result[256];
  EXPECT_EQ(ZetSolve(51, result, code, 255, 0), -101);
  ASSERT_EQ(ZetSetPrimaryTable(other), 0);
  EXPECT_EQ(ZetSolve(0, result, code, 255, 0), 0);
  EXPECT_STREQ(result, "Birne");
}

TEST_F(Expressions, RealsTakeTheirDecimalsAndMacrosAlwaysAComma) {
  const char saved = Common::GetDecimalChar();
  Common::SetDecimalChar('.');
  EXPECT_EQ(Solve(c_, "MENGE / 4", 2), std::make_pair(0, std::string("0.75")));
  uint8_t code[256];
  ASSERT_EQ(ZetTokenize(c_, code, "MENGE / 4"), 0);
  char result[256];
  EXPECT_EQ(ZetExecMacro(c_, result, code, 255, 2), 0);
  EXPECT_STREQ(result, "0,75");
  char text[32];
  RealToStr(3.14159, 3, text, sizeof text - 1);
  EXPECT_STREQ(text, "3.142");
  Common::SetDecimalChar(saved);
}

TEST_F(Expressions, AnalyseTellsFieldsConstantsAndTables) {
  struct Case {
    const char* text;
    uint16_t kind;
  };
  for (const Case& k : {Case{"NAME", 1}, Case{" MENGE ", 1}, Case{"MENGE + 1", 3}}) {
    SCOPED_TRACE(k.text);
    uint16_t kind = 0;
    uint32_t low = 0, high = 7;
    EXPECT_EQ(ZetAnalizeExpression(c_, k.text, &kind, &low, &high), 0);
    EXPECT_EQ(kind, k.kind);
    EXPECT_EQ(low & 1u, 1u) << "reads table 1";
    EXPECT_EQ(high, 0u);
  }
  uint16_t kind = 0;
  EXPECT_GT(ZetAnalizeExpression(c_, "1 + NOFIELD", &kind, nullptr, nullptr), 0);
  EXPECT_EQ(kind, 3);
}

TEST_F(Expressions, SelectionsDecideForTheCursorsRecord) {
  uint8_t code[256];
  ASSERT_EQ(ZetTokenizeSelection(c_, code, "MENGE > 4"), 0);
  EXPECT_GT(ZetEvalSelection(c_, code), 0);
  const int32_t other = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(other, 2), 2);
  EXPECT_EQ(ZetEvalSelection(other, code), 0);
  EXPECT_EQ(ZetEvalSelection(0, code), -101);
  EXPECT_NE(ZetTokenizeSelection(c_, code, "MENGE > "), 0);
  EXPECT_GT(ZetTokenizeSelection(c_, code, "NOFIELD > 1"), 0);
}

TEST_F(Expressions, IndexDescriptionsAreCheckedAgainstTheRelation) {
  EXPECT_EQ(ZetCheckIndexDescription(relation_, "NAME"), 0);
  EXPECT_NE(ZetCheckIndexDescription(relation_, "NOFIELD"), 0);
  EXPECT_EQ(ZetCheckIndexDescription(relation_ + 1, "NAME"), -17);
}

TEST_F(Expressions, VariablesAreDefinedSetAndScoped) {
  EXPECT_EQ(ZetDefineNewVar("ZAHL", 'R'), 0);
  ASSERT_EQ(ZetSetVar("ZAHL", "2 * 21"), 0);
  EXPECT_EQ(Solve(0, "ZAHL"), std::make_pair(0, std::string("42")));
  EXPECT_EQ(ZetSetVar("NOPE", "1"), -1);
  EXPECT_LT(ZetSetVar("ZAHL", "1 +"), 0);
  EXPECT_LT(ZetDefineNewVar("OHNE", 'X'), 0) << "a declaration without a type";

  ZetStartVarSection();
  EXPECT_EQ(ZetDefineNewVar("INNEN", 'S'), 0);
  EXPECT_EQ(ZetSetVar("INNEN", "\"abc\""), 0);
  EXPECT_EQ(Solve(0, "INNEN"), std::make_pair(0, std::string("abc")));
  ZetEndVarSection();
  EXPECT_EQ(ZetSetVar("INNEN", "\"abc\""), -1) << "the scope's variables are gone";
  EXPECT_EQ(ZetSetVar("ZAHL", "1"), 0);

  ZetVarsSetPageNo(4);
  ZetVarsIncPageNo();
  EXPECT_EQ(ZetVars::GetSystemVarInt(5), 5);
}

// The calls the host's exec procedure received.
std::vector<std::pair<int32_t, uint16_t>> g_exec;
int16_t Exec(int32_t kind, uint16_t id, ZetArgDescriptor*) {
  g_exec.emplace_back(kind, id);
  return 0;
}

TEST_F(Expressions, RegisteredHostCommandsReachTheExecProcedure) {
  ZetCommandRecord records[2] = {};
  records[0].id = 7;
  std::strcpy(records[0].name, "PIEP");
  records[0].count = 0;
  records[0].result = 'R';
  records[1].id = 0x107;  // the same low byte
  std::strcpy(records[1].name, "TUTE");
  std::strcpy(records[1].params, "S");
  records[1].count = 1;
  records[1].result = 'R';
  EXPECT_EQ(ZetRegisterCommands(0, records), 230);
  EXPECT_EQ(ZetRegisterCommands(2, records), 230);
  ZetSetExecProc(Exec);
  g_exec.clear();
  uint8_t code[256];
  char result[256];
  ASSERT_EQ(ZetTokenize(c_, code, "PIEP"), 0);
  EXPECT_EQ(ZetExecMacro(c_, result, code, 255, 0), 0);
  ASSERT_EQ(ZetTokenize(c_, code, "TUTE(\"x\")"), 0);
  EXPECT_EQ(ZetExecMacro(c_, result, code, 255, 0), 0);
  EXPECT_EQ(g_exec, (std::vector<std::pair<int32_t, uint16_t>>{{230, 7}, {230, 0x107}}));

  InitCommands();
  EXPECT_GT(ZetTokenize(c_, code, "PIEP"), 0) << "the registry is empty again";
  ZetSetExecProc(nullptr);
  ExitCommands();
}

// A dBase file whose field has a type no table field takes (here one of
// another dialect) is refused as a damaged file; the engine goes on.
TEST_F(Expressions, DBaseFieldOfAnUnknownTypeIsRefused) {
  const std::string dbf = TempPath("TYPEN.DBF");
  ASSERT_EQ(ZetConvertToDBase(Path().c_str(), dbf.c_str(), nullptr), 0);
  {
    // The first field's type byte becomes one of another dialect.
    constexpr std::streamoff kFirstFieldType = 32 + 11;
    std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kFirstFieldType);
    file.put('Y');
  }
  EXPECT_EQ(ZetConvertFromDBase(dbf.c_str(), TempPath("TYPEN.DAT").c_str(), 0), -117);

  EXPECT_EQ(Solve(c_, "NAME").second, "Apfel") << "the engine goes on";
}

TEST(Conversions, DatesTimesAndReals) {
  uint16_t bad = 7;
  EXPECT_EQ(DateStrToLongInt("24.12.2026", &bad), DATUM::PackDate(2026, 12, 24));
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(DateStrToLongInt("24.12.26", &bad), DATUM::PackDate(2026, 12, 24));
  EXPECT_EQ(DateStrToLongInt("kein Datum", &bad), 0);
  EXPECT_EQ(bad, 1);
  char text[32];
  LongIntToDateStr(DATUM::PackDate(2026, 12, 24), text, 9);
  EXPECT_STREQ(text, "");
  LongIntToDateStr(DATUM::PackDate(2026, 12, 24), text, 10);
  EXPECT_STREQ(text, "24.12.2026");
  EXPECT_EQ(TimeStrToLongInt("13:45", &bad), 13 * 60 + 45);
  EXPECT_EQ(bad, 0);
  TimeStrToLongInt("25:99", &bad);
  EXPECT_EQ(bad, 1);
  LongIntToTimeStr(13 * 60 + 45, text, sizeof text - 1);
  EXPECT_STREQ(text, "13:45");
  ZetGetDate(text, sizeof text - 1);
  EXPECT_EQ(std::string(text).size(), 10u);
  ZetGetTime(text, sizeof text - 1);
  EXPECT_EQ(std::string(text).size(), 5u);
}

}  // namespace

namespace {

TEST(FunctionLists, NamesAndDescriptionsOfTheBuiltInFunctions) {
  // Group 200 holds the first system functions.
  const int32_t count = ZetGetFunctionCount(200);
  ASSERT_GT(count, 0);
  char name[64];
  uint32_t code = 0;
  ZetGetFunctionName(200, 1, name, sizeof name - 1, &code);
  ASSERT_NE(name[0], 0);
  ZetGetFunctionName(200, count + 1, name + 32, 31, &code);
  EXPECT_EQ(name[32], 0) << "beyond the group: empty";
  uint32_t params = 99, flag = 99;
  char help[256], signature[64];
  ASSERT_EQ(ZetGetFunctionDescription(name, &params, help, sizeof help - 1, signature, sizeof signature - 1, &flag), 0)
      << name;
  EXPECT_LT(params, 99u);
  EXPECT_NE(help[0], 0);
  EXPECT_EQ(ZetGetFunctionDescription("KEINEFUNKTION", &params, help, 255, signature, 63, &flag), -203);
  EXPECT_EQ(ZetGetFunctionCount(-1), 0);
}

TEST(NetworkParameters, OnlyDefaults) {
  ZetNetParams params;
  std::memset(&params, 'x', sizeof params);
  ZetGetDefaultNetParams(&params);
  EXPECT_STREQ(params.lockingMode, "AUTO");
  EXPECT_STREQ(params.networkDirectory, "C:\\QMK");
  EXPECT_STREQ(params.userName, "Undefined");
  EXPECT_STREQ(params.other, "");
  EXPECT_EQ(ZetSetNetParams(&params), 0);
  uint16_t a = 1, b = 2, c = 3;
  char text[8] = "x";
  EXPECT_EQ(ZetGetNetMonitorInfo(0, &a, &b, &c, text, 7), 0);
  EXPECT_EQ(a + b + c, 0);
  EXPECT_STREQ(text, "");
}

TEST_F(Expressions, StaticLinksAndDBaseFiles) {
  EXPECT_EQ(ZetCheckStaticLink("ARTIKEL"), -54) << "no \"=\"";
  EXPECT_LT(ZetCheckStaticLink("NOPE[NAME]=ARTIKEL[NAME]"), 0);

  const std::string dbf = TempPath("AUSZUG.DBF");
  EXPECT_EQ(ZetConvertToDBase(Path().c_str(), dbf.c_str(), nullptr), 0);
  const std::string back = TempPath("ZURUECK.DAT");
  ASSERT_EQ(ZetConvertFromDBase(dbf.c_str(), back.c_str(), 0), 0);
  const int32_t r = ZetRltnOpen(back.c_str(), "", 0, 15);
  ASSERT_GT(r, 0);
  EXPECT_EQ(ZetRltnRecordCount(r), 2);
  EXPECT_LT(ZetConvertFromDBase(TempPath("FEHLT.DBF").c_str(), back.c_str(), 0), 0);
}

}  // namespace

namespace {

using FormatCheck = interface_test::InterfaceTest;

TEST_F(FormatCheck, AcceptsValuesWithFormatSuffixesOnly) {
  struct Case {
    const char* text;
    int32_t result;
  };
  const Case cases[] = {
      {"'abc'", 0},        {"'abc':10", 0},   {"(1 + 2)", 0},     {"'a' (3):5 'b'", 0},
      {"1 + 2", -45},      {"'a' + 'b'", -45}, {"'a' :", -41},    {"(1 +", -56},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ZetCheckFormat(c.text), c.result);
  }
  // The refused token's offset is the one in the caller's text.
  const Case positions[] = {{"'abc' 12", 6}, {"'abc'   (1) 2:3", 12}, {"'x' (2) 'y' 5", 12}, {"1 + 2", 0}};
  for (const Case& c : positions) {
    SCOPED_TRACE(c.text);
    char source[256] = {};
    EXPECT_EQ(ZetCheckFormat(c.text), -45);
    EXPECT_EQ(ZetGetLastErrorPos(source, 255), c.result);
  }
}

}  // namespace
