#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/language/bytecode.h"
#include "engine/language/calls.h"
#include "engine/language/compiler.h"
#include "engine/language/hostcmds.h"
#include "engine/language/interp.h"
#include "engine/language/lumostack.h"
#include "engine/language/selection.h"
#include "engine/language/tests/lumo_test.h"
#include "engine/language/variables.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/messages.h"

namespace {

using namespace lumo_test;
using Zet02::TRunValue;

std::map<uint16_t, std::string> g_bodies;

int RunBody(uint16_t proc, TRunValue& value) {
  auto it = g_bodies.find(proc);
  if (it == g_bodies.end()) return 0;
  size_t pos = 0;
  int dependency = 0;
  const std::string body = it->second;
  return Zet02::ExecuteCode(body, pos, 3, value, dependency);
}

class Interpreter : public LumoTest {
 protected:
  void SetUp() override {
    LumoTest::SetUp();
    Declare("a, i: REAL");        // 2, 3
    Declare("m: REAL[3,4]");      // 4
    Declare("s: STRING");         // 5
    Declare("names: STRING[2]");  // 6
    g_bodies.clear();
    Zet02::TRunHooks hooks{};
    hooks.runProcedure = RunBody;
    Zet02::SetRunHooks(hooks);
    SetField(kName, "Meier");
    SetField(kOrt, "K\xF6ln");
    SetField(kAlter, "30");
  }
  // Defines a procedure from a header and compiles its body against its
  // parameters.
  static uint16_t Procedure(const std::string& header, const std::string& body) {
    size_t pos = 1;
    uint16_t err = 0;
    const uint16_t p = ZetVars::DefineProcedure(header, 0, pos, err);
    EXPECT_EQ(err, 0) << header;
    const uint16_t base = ZetVars::VariableCount();
    ZetVars::SetLocalBase(base);
    ZetVars::InstantiateParameters(p, false);
    g_bodies[p] = Compile(body);
    ZetVars::DropLocalVariables();
    ZetVars::SetLocalBase(0);
    return p;
  }
};

struct ExprCase {
  const char* text;
  int error;
  double number;
  const char* str;  // a text result when not null
};

TEST_F(Interpreter, ExpressionCasesWithApplyOnAndOff) {
  const ExprCase cases[] = {
      {"1 + 2 * 3", 0, 7, nullptr},
      {"(1 + 2) * 3", 0, 9, nullptr},
      {"10 / 4", 0, 2.5, nullptr},
      {"-7 Mod 3", 0, -1, nullptr},
      {"-7 Div 2", 0, -3, nullptr},
      {"7 Mod 0", 43, 0, nullptr},
      {"1 / 0", 43, 0, nullptr},
      {"- 3 + 1", 0, -2, nullptr},
      {"'ab' + 'cd'", 0, 0, "abcd"},
      {"'ab' - 'cd'", 44, 0, nullptr},
      {"'a' + 1", 44, 0, nullptr},
      {"1 + 'a'", 44, 0, nullptr},
      {"'abcdef'[2,3]", 0, 0, "bcd"},
      {"'abc'[5]", 0, 0, ""},
      {"'abc'[0,2]", 0, 0, "ab"},
      {"'abc'[2,-1]", 0, 0, ""},
      {"12:30 + 30", 0, 780, nullptr},
      {"2.1.2024 - 1.1.2024", 0, 1, nullptr},
      {"Ja + Nein", 0, 1, nullptr},
      {"ALTER * 2", 0, 60, nullptr},
      {"NAME + '/' + ORT", 0, 0, "Meier/K\xF6ln"},
      {"$'NAME' + '/' + $\"ORT\"", 0, 0, "Meier/K\xF6ln"},
  };
  for (const ExprCase& c : cases) {
    for (bool apply : {true, false}) {
      SCOPED_TRACE(std::string(c.text) + (apply ? " applied" : " not applied"));
      const Outcome o = Eval(c.text, apply);
      EXPECT_EQ(o.error, c.error);
      if (c.error != 0) continue;
      if (c.str) {
        EXPECT_EQ(o.value.type, Zet02::kValString);
        EXPECT_EQ(o.value.text.str(), c.str);
      } else {
        EXPECT_EQ(o.value.type, Zet02::kValReal);
        EXPECT_DOUBLE_EQ(o.value.number, c.number);
      }
    }
  }
  // A check run gives numeric faults as 0 without an error.
  const Outcome check = Run(Compile("7 Mod 0"), 0, false);
  EXPECT_EQ(check.error, 0);
  EXPECT_EQ(check.value.number, 0);
  // The error argument names both types.
  EXPECT_EQ(Eval("'a' + 1").error, 44);
  EXPECT_EQ(Common::ErrorArgument().str(), "REAL->STRING");
  // A concatenation stops at 255 characters.
  Declare("t: STRING");
  EXPECT_EQ(Eval("t := '" + std::string(200, 'x') + "'").error, 0);
  const Outcome longer = Eval("t + t");
  EXPECT_EQ(longer.value.text.size(), 255u);
}

TEST_F(Interpreter, RoundingSuffixAndIntegerConversion) {
  // 2.675 ;C 2 and ;C 12 (capped at ten places)
  for (auto [digits, expected] : {std::pair{2, 2.68}, {12, 2.675}, {0, 3.0}}) {
    std::string code;
    ShortStr c;
    ByteCode::PutByte(c, ByteCode::tkRealConst);
    ByteCode::PutReal(c, 2.675);
    ByteCode::PutByte(c, ByteCode::tkSemicolon);
    ByteCode::PutByte(c, ByteCode::tkByteConst);
    ByteCode::PutByte(c, uint8_t(digits));
    const Outcome o = Run(c.str(), 3, true);
    EXPECT_EQ(o.error, 0);
    EXPECT_DOUBLE_EQ(o.value.number, expected) << digits;
  }
  EXPECT_DOUBLE_EQ(Zet02::RoundDecimal(-2.675, 2), -2.68);
  EXPECT_EQ(Zet02::ValueToInteger(3000000000.0), 2147483647);
  EXPECT_EQ(Zet02::ValueToInteger(-3000000000.0), -2147483647);
  EXPECT_EQ(Zet02::ValueToInteger(2.5), 2);
  EXPECT_EQ(Zet02::ValueToInteger(3.5), 4);
  // Whole numbers and the edges of the range: halves go to the even
  // neighbour, the ends stay at +-2147483647, not a number is 0.
  const std::pair<double, int32_t> cases[] = {
      {7.0, 7},          {-7.0, -7},          {-0.0, 0},          {-2.5, -2},
      {0.49999, 0},      {2147483647.0, 2147483647},              {-2147483647.0, -2147483647},
      {2147483646.5, 2147483646},             {-2147483646.5, -2147483646},
      {2147483647.4, 2147483647},             {-2147483648.0, -2147483647},
      {std::nan(""), 0}, {1e300, 2147483647}, {-1e300, -2147483647}};
  for (const auto& [value, whole] : cases) EXPECT_EQ(Zet02::ValueToInteger(value), whole) << value;
}

TEST_F(Interpreter, DamagedCodeNeverReadsPastItsEnd) {
  // Each code ends where an operand or one of its bytes is needed.
  const std::vector<std::string> codes = {
      std::string("\x43", 1),          // '+' then nothing
      std::string("\x40\x01\x02", 3),  // a real cut short
      std::string("\x41\x09" "ab", 4),  // a text longer than the code
      std::string("\xFF\x02", 2),      // a variable without its high byte
      std::string("\xFE\x40", 2),      // a field path of 64 steps
      std::string("\xD5\xFA\x30", 3),  // NLoop with a body beyond the code
      std::string("\x01", 1),          // an unknown operand
  };
  for (const std::string& code : codes) {
    const Outcome o = Run(code, 3, true);
    EXPECT_GT(o.error, 0) << int(uint8_t(code[0]));
  }
}

TEST_F(Interpreter, FieldsAndAssignmentsTakeEffectOnlyWithApply) {
  EXPECT_EQ(Eval("ALTER := 41", false).error, 0);
  EXPECT_EQ(Field(kAlter), "30");
  EXPECT_EQ(Eval("ALTER := 41").error, 0);
  EXPECT_EQ(Field(kAlter), "41");
  EXPECT_EQ(Eval("NAME := 5").error, 44);
  EXPECT_EQ(Field(kName), "Meier");
  // Numbers of every sign and size reach number fields; a memo field given
  // a number outside the block numbers names no memo.
  for (const auto& [text, field, shown] : {std::tuple{"PREIS := -5", kPreis, "-5.00"}, {"PREIS := 0 - 5.25", kPreis, "-5.25"},
                                          {"ALTER := -7", kAlter, "-7"}, {"BEMERKUNG := -3", kBemerkung, ""},
                                          {"BEMERKUNG := 70000 * 70000 * 70000", kBemerkung, ""}}) {
    EXPECT_EQ(Eval(text).error, 0) << text;
    EXPECT_EQ(Field(field), shown) << text;
  }
  // A field operand of a table that is not open.
  std::string code = Compile("NAME");
  code[1] = 9;
  EXPECT_EQ(Run(code, 3, true).error, 58);
  code[1] = 0;
  EXPECT_EQ(Run(code, 3, true).error, 58);
  // Variables too change only with apply; the value is computed all the same.
  EXPECT_EQ(Eval("a := 5 * 2", false).value.number, 10);
  EXPECT_EQ(Eval("a + 1").value.number, 1);
  EXPECT_EQ(Eval("a := 5 * 2").error, 0);
  EXPECT_EQ(Eval("a + 1").value.number, 11);
}

TEST_F(Interpreter, ArrayElementsStayInsideTheirData) {
  EXPECT_EQ(Eval("m[1,2] := 5").error, 0);
  EXPECT_EQ(Eval("m[1,2]").value.number, 5);
  EXPECT_EQ(Eval("m[3,4] := 7").error, 0);
  EXPECT_EQ(Eval("m[3,4]").value.number, 7);
  // Row-major addressing: a second subscript above its bound but inside
  // the data reaches the next row.
  EXPECT_EQ(Eval("m[0,7]").value.number, 5);
  for (const char* text : {"m[-1,0]", "m[0,-1]", "m[4,0]", "m[3,5]", "m[-1,0] := 1", "m[9,9] := 1"}) {
    EXPECT_EQ(Eval(text).error, 81) << text;
  }
  // Without apply nothing is written.
  EXPECT_EQ(Eval("m[2,2] := 9", false).error, 0);
  EXPECT_EQ(Eval("m[2,2]").value.number, 0);
  EXPECT_EQ(Eval("m[1] := 1").error, 56);
  EXPECT_EQ(Eval("names[1] := 'x'").error, 0);
  EXPECT_EQ(Eval("names[1] + names[0]").value.text.str(), "x");
  EXPECT_EQ(Eval("names[1] := 3").error, 44);
}

TEST_F(Interpreter, ChoiceRunsOnlyTheChosenAlternative) {
  struct Case {
    int selector;
    double a;
    double result;
  };
  for (const Case& c : {Case{1, 10, 10}, {2, 20, 20}, {3, 30, 30}, {0, 30, 30}, {-4, 30, 30}, {9, 30, 30}}) {
    SCOPED_TRACE(c.selector);
    EXPECT_EQ(Eval("a := 0").error, 0);
    const Outcome o = Eval("Choice(" + std::to_string(c.selector) + ", a := 10, a := 20, a := 30) + 1");
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(o.value.number, c.result + 1);
    EXPECT_EQ(Eval("a").value.number, c.a);
  }
}

TEST_F(Interpreter, ChoiceWithoutAlternativesIsIncomplete) { EXPECT_EQ(Eval("Choice(2) + 1").error, 41); }

TEST_F(Interpreter, NLoopRunsCountPlusOnePasses) {
  EXPECT_EQ(Eval("a := 0").error, 0);
  const Outcome o = Eval("NLoop(i, 3, a := a + i + 1)");
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.value.number, 3);
  EXPECT_EQ(Eval("a").value.number, 1 + 2 + 3 + 4);
  EXPECT_EQ(Eval("a := 0").error, 0);
  EXPECT_EQ(Eval("NLoop(i, -2, a := a + 1)").value.number, -2);
  EXPECT_EQ(Eval("a").value.number, 0);
}

// A long loop stops at the user's Ctrl+U with 114, after a bounded number of
// rounds, instead of running to its count.
TEST_F(Interpreter, NLoopStopsAtTheUsersBreak) {
  platform::SetPeekKeyHook([](bool, platform::KeyMessage& m) {
    m = {platform::kMsgKeyDown, Common::kBreakKey, true};
    return true;
  });
  EXPECT_EQ(Eval("a := 0").error, 0);
  EXPECT_EQ(Eval("NLoop(i, 2000000000, a := a + 1)").error, Zet02::kErrUserBreak);
  platform::SetPeekKeyHook(nullptr);
  const double rounds = Eval("a").value.number;
  EXPECT_GE(rounds, 1.0);
  EXPECT_LE(rounds, 1024.0);
}

TEST_F(Interpreter, ProceduresReturnToTheCaller) {
  Procedure("Fib(n: REAL): REAL", "Choice(n, 1, 1, Fib(n - 1) + Fib(n - 2))");
  const Outcome o = Eval("Fib(10) * 2 + 1");
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.value.number, 55 * 2 + 1);
  // Not applied, the body does not run.
  EXPECT_EQ(Eval("Fib(10)", false).value.number, 0);
  // VAR parameters write into the caller's variable.
  Procedure("Setze(VAR x: REAL; v: REAL)", "x := v * 3");
  EXPECT_EQ(Eval("Setze(a, 4)").error, 0);
  EXPECT_EQ(Eval("a").value.number, 12);
  // A call without parameters may carry empty brackets.
  Procedure("Sieben: REAL", "7");
  for (const char* text : {"Sieben() + 1", "Fib(Sieben()) + Sieben()", "Sieben + 1"}) {
    const Outcome call = Eval(text);
    EXPECT_EQ(call.error, 0) << text;
    EXPECT_EQ(call.value.number, text[0] == 'F' ? 20 : 8) << text;
  }
  // The frames are gone afterwards.
  const uint16_t count = ZetVars::VariableCount();
  EXPECT_EQ(Eval("Fib(5)").error, 0);
  EXPECT_EQ(ZetVars::VariableCount(), count);
}

TEST_F(Interpreter, ProcedureSignatureLetters) {
  const uint16_t p = Procedure("Sig(a, b: REAL; VAR t: STRING; VAR n: REAL; VAR arr: REAL[4]; o: OBJECT)", "0");
  EXPECT_EQ(Zet02::ProcedureSignature(p).str(), "RRsrA?");
  EXPECT_EQ(Zet02::ProcedureSignature(999).str(), "");
}

TEST_F(Interpreter, EndlessRecursionEndsWithError60) {
  Procedure("Endlos(n: REAL): REAL", "Endlos(n + 1) + 1");
  EXPECT_EQ(Eval("Endlos(1)").error, 60);
  // An expression variable that reads itself.
  ShortStr first("{x = 1} + 0");
  uint64_t set = 0;
  ASSERT_EQ(Zet02::CompileExpression(first, set), 0);
  ShortStr again("{x = x + 1} + 0");
  ASSERT_EQ(Zet02::CompileExpression(again, set), 0);
  EXPECT_EQ(Run(again.str(), 3, true).error, 60);
  // The engine still runs afterwards.
  EXPECT_EQ(Eval("1 + 1").value.number, 2);
}

TEST_F(Interpreter, AnExpressionVariableNamingItselfOftenListsItsErrorInBoundedTime) {
  // Each level of the recursion fails, and the listing of the code names
  // the variable ten times at every level: the listing stops at what its
  // text can show, so compiling and running end at once.
  ShortStr first("{y = 1}");
  uint64_t set = 0;
  ASSERT_EQ(Zet02::CompileExpression(first, set), 0);
  const std::string body = "y+y+y+y+y+y+y+y+y+y";
  ShortStr again("{y = " + body + "} + 0");
  ASSERT_EQ(Zet02::CompileExpression(again, set), 0);  // the compile-time run reads the old y
  EXPECT_EQ(Run(again.str(), 3, true).error, 60);
  // Now the compile-time run itself recurses.
  ShortStr third("{y = " + body + "}");
  EXPECT_EQ(Zet02::CompileExpression(third, set), 60);
  const std::string listing = ZetVars::CompileError().line.str();
  EXPECT_EQ(listing.size(), ShortStr::kMax);  // the listing shows what fits
  EXPECT_EQ(listing.rfind("y y y", 0), 0u) << listing;
}

// ---- Selections ------------------------------------------------------------

class Selections : public Interpreter {
 protected:
  bool Select(const std::string& text, int mode, int* error = nullptr) {
    ShortStr code(text);
    uint64_t set = 0;
    EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << text;
    int e = 0;
    int dependency = 0;
    const bool selected = Zet02::EvalSelection(code, mode, e, dependency);
    if (error) *error = e;
    else EXPECT_EQ(e, 0) << text;
    return selected;
  }
};

TEST_F(Selections, TruthTablesOfTheThreeModes) {
  // T certainly true, F certainly false, U undecided outside mode 3.
  const std::map<char, std::string> atoms = {{'T', "1 = 1"}, {'F', "1 = 2"}, {'U', "ALTER = 30"}};
  struct Case {
    const char* shape;
    bool mode3;
    bool mode2;
    bool mode0;
  };
  const Case cases[] = {
      {"T", true, true, false},       {"F", false, false, false},     {"U", true, true, true},
      {"T&F", false, false, false},   {"T&U", true, true, false},     {"U&F", false, false, false},
      {"U&U", true, true, true},      {"T\\F", true, true, false},    {"F\\U", true, true, true},
      {"T\\U", true, true, true},     {"~T", false, false, false},    {"~F", true, true, false},
      {"~U", false, true, true},      {"(F\\T)&T", true, true, false}, {"~(F&U)", true, true, false},
  };
  for (const Case& c : cases) {
    std::string text;
    for (const char* p = c.shape; *p; ++p) {
      auto it = atoms.find(*p);
      if (it != atoms.end()) text += it->second;
      else if (*p == '&') text += " & ";
      else if (*p == '\\') text += " \\ ";
      else text += *p;
    }
    SCOPED_TRACE(text);
    EXPECT_EQ(Select(text, 3), c.mode3);
    EXPECT_EQ(Select(text, 2), c.mode2);
    EXPECT_EQ(Select(text, 0), c.mode0);
  }
}

TEST_F(Selections, ComparisonCases) {
  SetField(kBemerkung, "");
  struct Case {
    const char* text;
    bool selected;
    int error;
  };
  const Case cases[] = {
      {"ORT = 'K\xF6ln'", true, 0},
      {"ORT = 'k\xF6ln'", false, 0},  // case counts
      {"ALTER >= 18 & ALTER < 31", true, 0},
      {"ALTER <> 30", false, 0},
      {"ALTER von 20 bis 30", true, 0},
      {"NAME von 'A' bis 'M'", false, 0},
      {"NAME von 'A' bis 'N'", true, 0},
      {"ALTER von 20", false, 48},
      {"NAME | 'eie'", true, 0},
      {"NAME | 'x'", false, 0},
      {"NAME ? 'm*r'", true, 0},
      {"NAME ? 'M?er'", false, 0},
      {"NAME similar 'Mayer'", true, 0},
      {"NAME similar 'Müller'", false, 0},
      {"ALTER in [10, 30, 50]", true, 0},
      {"ALTER in [10, 50]", false, 0},
      {"NAME in ['X*', 'M*']", true, 0},
      {"NAME in ['Meier']", true, 0},
      {"NAME in [1]", false, 44},
      {"'Mei*' in Alles", true, 0},
      {"'*ln' in Alles", true, 0},
      {"'X*' in Alles", false, 0},
      {"NAME = 1", false, 44},
      {"NAME", true, 0},
      {"ALTER", true, 0},
      {"ALTER - 30", false, 0},
      {"'Hans^Meier' ? 'Meier*'", true, 0},
      {"'Hans^Meier' = 'Meier^Hans'", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int error = 0;
    EXPECT_EQ(Select(c.text, 3, &error), c.selected);
    EXPECT_EQ(error, c.error);
  }
  // An empty code selects.
  ShortStr empty;
  int e = 0;
  int d = 0;
  EXPECT_TRUE(Zet02::EvalSelection(empty, 3, e, d));
}

TEST_F(Selections, SkipMarkersGoInOnceAndOnlyWhileTheCodeFits) {
  ShortStr code("ORT = 'Bonn' \\ ORT = 'K\xF6ln'");
  uint64_t set = 0;
  ASSERT_EQ(Zet02::CompileExpression(code, set), 0);
  const size_t length = code.size();
  int e = 0;
  int d = 0;
  EXPECT_TRUE(Zet02::EvalSelection(code, 3, e, d));
  ASSERT_EQ(code.size(), length + 2);
  const size_t orAt = code.view().find(char(ByteCode::tkOr));
  EXPECT_EQ(code.byte(orAt + 1), ByteCode::tkSkip);
  EXPECT_TRUE(Zet02::EvalSelection(code, 3, e, d));
  EXPECT_EQ(code.size(), length + 2);
  // Skipping: a true left side jumps over the right one.
  SetField(kOrt, "Bonn");
  EXPECT_TRUE(Zet02::EvalSelection(code, 3, e, d));
  // A code of 254 bytes gets no marker.
  std::string longText = "ALTER = 1 \\ NAME = '" + std::string(220, 'x') + "'";
  ShortStr full(longText);
  ASSERT_EQ(Zet02::CompileExpression(full, set), 0);
  ASSERT_GE(full.size(), 228u);
  std::string padded = full.str();
  ShortStr big(padded);
  const size_t before = big.size();
  EXPECT_FALSE(Zet02::EvalSelection(big, 3, e, d));
  EXPECT_LE(big.size(), 255u);
  EXPECT_TRUE(big.size() == before || big.size() == before + 2);
}

TEST_F(Selections, AccumulatorsPerGroup) {
  struct Case {
    const char* name;
    std::vector<double> values;
    double result;
  };
  const Case cases[] = {{"Max", {3, 5, 5, 2}, 5}, {"Min", {3, 5, 1, 2}, 1}, {"Mean", {2, 4}, 3},
                        {"Sum", {1, 2, 3}, 6},    {"Count", {7, 7}, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShortStr code(std::string(c.name) + "(a)");
    uint64_t set = 0;
    ASSERT_EQ(Zet02::CompileExpression(code, set), 0);
    const uint16_t acc = bytes::GetU16(reinterpret_cast<const uint8_t*>(code.data()) + 1);
    Zet02::ResetStatFuncs(0, false, ~uint64_t(0));
    for (double v : c.values) {
      ASSERT_EQ(Eval("a := " + std::to_string(int(v))).error, 0);
      Zet02::UpdateStatFuncs(0);
    }
    EXPECT_EQ(Run(code.str(), 3, true).value.number, c.result);
    EXPECT_EQ(ZetVars::GetWideValue(acc)[24], 1);
    // A group number clears only its own accumulators.
    Zet02::ResetStatFuncs(7, false, 0);
    EXPECT_EQ(Run(code.str(), 3, true).value.number, c.result);
    Zet02::ResetStatFuncs(0, false, ~uint64_t(0));
    EXPECT_EQ(Run(code.str(), 3, true).value.number, 0);
  }
}

// ---- Calls ---------------------------------------------------------------------

struct HostCall {
  int kind = 0;
  uint16_t id = 0;
  double number = 0;
  std::string text;
};
std::vector<HostCall> g_calls;

int16_t FakeExec(int32_t kind, uint16_t id, ZetArgDescriptor* args) {
  HostCall call;
  call.kind = kind;
  call.id = id;
  call.number = bytes::GetF64(args[2].value);
  call.text = reinterpret_cast<const char*>(args[3].value);
  g_calls.push_back(call);
  if (call.number < 0) return -1234;
  // The result, and the VAR text written back.
  bytes::PutF64(args[0].value, call.number * 2);
  std::strcpy(reinterpret_cast<char*>(args[3].value), "vom Host");
  return 0;
}

TEST_F(Interpreter, HostCommandsMarshalArgumentsAndWriteBack) {
  ASSERT_EQ(LumoHost::ParseAndRegisterCommand("SETZE:R( RVS)", 230, 400, 1), 0);
  LumoHost::SetExecProc(FakeExec);
  g_calls.clear();
  ASSERT_EQ(Eval("s := 'vorher'").error, 0);
  const Outcome o = Eval("SETZE(21, s)");
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.value.number, 42);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].id, 400);
  EXPECT_EQ(g_calls[0].text, "vorher");
  EXPECT_EQ(Eval("s").value.text.str(), "vom Host");
  // Optional parameter left out: an empty text, no write-back.
  EXPECT_EQ(Eval("SETZE(1)").error, 0);
  EXPECT_EQ(g_calls.back().text, "");
  // Without apply the host is not called, the VAR keeps its value.
  EXPECT_EQ(Eval("SETZE(3, s)", false).value.number, 0);
  EXPECT_EQ(g_calls.size(), 2u);
  // A negative answer is the run error; a missing required argument 56; a
  // VAR argument that is no variable 56.
  EXPECT_EQ(Eval("SETZE(-1, s)").error, 1234);
  EXPECT_EQ(Eval("SETZE").error, 56);
  EXPECT_EQ(Eval("SETZE(1, 'x')").error, 56);
  EXPECT_EQ(LumoExec::ValueStack().Used(), 0u);
  // Without a host the default answers -1001.
  LumoHost::SetExecProc(nullptr);
  EXPECT_EQ(Eval("SETZE(1)").error, 1001);
  EXPECT_EQ(LumoExec::ValueStack().Used(), 0u);
}

TEST_F(Interpreter, ExtensionFunctions) {
  Declare("o: OBJECT");
  EXPECT_EQ(Eval("ASSIGNED(o)").value.number, 0);
  ZetVars::TVarValue handle;
  handle.number = 3;
  ZetVars::SetVariable(ZetVars::FindVariable("o"), ZetVars::kTypeObject, handle, 0);
  EXPECT_EQ(Eval("ASSIGNED(o)").value.number, 1);
  EXPECT_EQ(Eval("ASSIGNED('x')").error, 44);
  const char saved = Common::GetDecimalChar();
  EXPECT_EQ(Eval("SETNUMBERFORMATS(2, 0, 0)").error, 0);
  EXPECT_EQ(Common::GetDecimalChar(), '.');
  EXPECT_EQ(Eval("SETNUMBERFORMATS(0, 3, 0)").error, Zet02::kSoftStop);
  EXPECT_EQ(Common::GetDecimalChar(), '.');
  Common::SetDecimalChar(saved);
  // The directory search over a directory of our own.
  const std::string dir = TempPath("suche");
  std::filesystem::create_directories(dir + "/unter");
  std::FILE* f = std::fopen((dir + "/a.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("12345", f);
  std::fclose(f);
  f = std::fopen((dir + "/.versteckt").c_str(), "w");
  std::fclose(f);
  Declare("nm, at, vz: STRING");
  Declare("gr, dt, zt: REAL");
  auto names = [&](const std::string& letters) {
    std::vector<std::string> found;
    const Outcome first = Eval("FINDFIRSTFILE('" + dir + "/*', '" + letters + "', nm, gr, dt, zt, at, vz)");
    EXPECT_EQ(first.error, 0);
    if (first.value.number != 0) return found;
    found.push_back(Eval("nm").value.text.str());
    while (Eval("FINDNEXTFILE(nm, gr, dt, zt, at, vz)").value.number == 0) found.push_back(Eval("nm").value.text.str());
    std::sort(found.begin(), found.end());
    return found;
  };
  EXPECT_EQ(names(""), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(names("D"), (std::vector<std::string>{"a.txt", "unter"}));
  EXPECT_EQ(names("DH"), (std::vector<std::string>{".", "..", ".versteckt", "a.txt", "unter"}));
  EXPECT_EQ(Eval("CLOSEFINDFILE").error, 0);
  EXPECT_EQ(Eval("FINDFIRSTFILE('" + dir + "/a.txt', '', nm, gr, dt, zt, at, vz)").value.number, 0);
  EXPECT_EQ(Eval("gr").value.number, 5);
  EXPECT_EQ(Eval("at").value.text.str(), "A");
  EXPECT_EQ(Eval("vz").value.text.str(), dir + "/");
}

}  // namespace

namespace {

double g_memberObject = 0;
std::string g_printed;

int16_t DescribeMember(uint16_t, uint16_t id, char* area) {
  if (id == 7) bytes::PutU32(reinterpret_cast<uint8_t*>(area) + 42, 1);      // REAL
  else if (id == 8) bytes::PutU32(reinterpret_cast<uint8_t*>(area) + 42, 1005);  // an object of class 1005
  else return -5;
  return 0;
}

int16_t RunMember(double object, uint16_t id, ZetArgDescriptor* args) {
  g_memberObject = object;
  bytes::PutF64(args[0].value, id == 7 ? 42.0 : 77.0);
  return 0;
}

int PrintLine(std::string_view line) {
  g_printed.append(line);
  return 0;
}

TEST_F(Interpreter, HostObjectMembersChainTheirHandles) {
  LumoHost::InstallDispatchProcs(nullptr, DescribeMember, RunMember, nullptr, nullptr);
  // host object 1000, then .member 8 (an object), then .member 7 (a real)
  std::string code;
  for (int b : {184, 0xE8, 0x03, 46, 182, 8, 0, 46, 182, 7, 0}) code.push_back(char(b));
  const Outcome o = Run(code, 3, true);
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.value.type, Zet02::kValReal);
  EXPECT_EQ(o.value.number, 42);
  EXPECT_EQ(g_memberObject, 77);  // the second call got the first one's handle
  // An unknown member is the host's error; a member after a number is 126.
  code[5] = 9;
  EXPECT_EQ(Run(code, 3, true).error, 5);
  EXPECT_EQ(Run(std::string{char(182), char(7), char(0)}, 3, true).error, 126);
  EXPECT_EQ(LumoExec::ValueStack().Used(), 0u);
}

TEST_F(Interpreter, PrintReachesTheLineFormatterOnlyWithApply) {
  Zet02::TRunHooks hooks{};
  hooks.printLine = PrintLine;
  hooks.runProcedure = RunBody;
  Zet02::SetRunHooks(hooks);
  g_printed.clear();
  const std::string code = Compile("Print(NAME)");
  EXPECT_EQ(Run(code, 3, false).error, 0);
  EXPECT_EQ(g_printed, "");
  EXPECT_EQ(Run(code, 3, true).error, 0);
  EXPECT_FALSE(g_printed.empty());
}

}  // namespace
