// The translated line against the descent over the bytes (two_ways.h): the
// same programs and byte codes run both ways from the same state and must
// agree on everything a run leaves. The programs are the language's cases
// (sums, texts, rounding, arrays, Choice, NLoop, procedures, fields, nesting
// limits, and mixed types where a translated chain hands over to the
// descent); the byte codes are the seeds of the interpreter's fuzz corpus
// and every prefix of some compiled lines, that of the interpreter's target
// where the line is translated.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/language/bytecode.h"
#include "engine/language/tests/lumo_test.h"
#include "engine/language/translate.h"
#include "engine/language/tests/two_ways.h"

namespace {

using namespace lumo_test;

class Translation : public LumoTest {
 protected:
  void SetUp() override {
    LumoTest::SetUp();
    TwoWays::Install();
  }
  static std::string Compiled(const char* text) {
    const std::string code = TwoWays::Compile(text);
    EXPECT_FALSE(code.empty()) << text;
    return code;
  }
};

TEST_F(Translation, LanguageCasesAgreeWithTheDescent) {
  const char* programs[] = {
      // sums, terms, signs, rounding
      "1 + 2 * 3", "7 Mod 0", "-7 Mod 3", "-7 Div 2", "10 / 4 - -2", "1 / 0 + 5", "(1 + 2) * 3 - 4 / 8",
      "(a := 65000 * 65000 * 65000 * 65000) * a * a * a * a * a * a * a * a * a * a * a * a * a * a * a * a",
      "(a := 3) * (a := a + 1)", "+ 5 * - 2",
      // texts and types that do not fit
      "'ab' + 'cd'", "'ab' - 'cd'", "'ab' + 1", "1 + 'ab'", "'abcdef'[2,3]", "'abc'[5]", "s := 'xy' + s",
      "s * 2", "(s * 2) + 1", "a := 'x'", "(a := 'x') * 2 + 1", "- 'x'", "Ja + Nein", "o := 3", "o * 2 + 1",
      // arrays
      "m[1,2] := 5", "m[1,2] := m[1,2] + m[0,0] + 1", "m[9,9] := 1", "m[3,4]", "m[-1,0]", "m[1,2] := 'x'",
      "names[1] := 'eins'", "names[1] + names[2]", "bits[3] := 1", "bits[3] + bits[4]", "m['x', 1]",
      "m[m[0,0], 1] := 2", "a := m[1,1] * m[2,2] / 4",
      // Choice and NLoop
      "Choice(2, a := 10, a := 20, a := 30)", "Choice(0, 1, 2, 3)", "Choice(-4, 1, 2, 3)", "Choice(a, 1, 2)",
      "NLoop(i, 3, a := a + i)", "NLoop(i, -1, a := a + 1)", "NLoop(i, 4, m[0, i] := i * i, s := s + 'x')",
      "(a := 0) + NLoop(i, 99, a := a + 1) * 0 + a", "NLoop(i, 3, s := s + 'ab') + 1", "NLoop(i, a, a := 1)",
      "NLoop(i, 2, NLoop(n, 2, m[i, n] := i + n))", "NLoop(i, 300, s := s + 'abc')", "NLoop(i, 3, a := s * 2)",
      // procedures
      "Fib(12)", "Fib(1) + Fib(2) * 3", "(a := 5) + Twice(a) * 0 + a", "Glue('x', 'y')", "Glue(1, 'y')",
      "Glue('x')", "Down(1)", "Fill(m) * 0 + m[1,2]", "Twice(3)", "Glue('x', 'y') + Glue('z', s)",
      // fields
      "Name + '/' + Ort", "Alter * 2", "Alter := Alter + 1", "Name := 'Schulz' + Name", "Preis := Preis * 2",
      "Alter := 'x'", "Name := 3",
  };
  size_t translated = 0;
  for (const char* text : programs) {
    const std::string code = Compiled(text);
    EXPECT_EQ(TwoWays::Difference(code, 3), "") << text;
    Zet02::TTranslation translation;
    size_t hi = 0;
    if (Zet02::Translate(code, 0, translation, hi)) ++translated;
  }
  // Only the lines with a text index are left to the descent.
  EXPECT_EQ(translated, std::size(programs) - 2);
}

TEST_F(Translation, CompiledLoopsAgree) {
  // Loops whose items are all number assignments run compiled: counting,
  // filling and summing arrays of one and two dimensions, subscripts worked
  // out, rounded and nested, and passes where an item gives up part way (an
  // element outside its array, a division by 0, an overflow) and the rest
  // runs the long way.
  const char* programs[] = {
      "(a := 0) + NLoop(i, 999, a := a + 1) * 0 + a",
      "(a := 0) + NLoop(n, 3, NLoop(i, 4, m[1, i] := i)) * 0 + NLoop(i, 4, a := a + m[1, i]) * 0 + a",
      "NLoop(i, 3, m[i, 4 - i] := i * 2 - 1, a := a + m[i, 4 - i] / 4)",
      "NLoop(i, 4, m[2, i / 2] := i + 0, n := m[2, i / 2] Div 2 + i Mod 3)",
      "NLoop(i, 3, m[0, m[0, 0] + i] := i + 1)", "NLoop(i, 2, m[0, i - 1] := 1)",
      "NLoop(i, 5, m[0, i] := i, a := a + 1)", "NLoop(i, 3, a := a + 1, m[0, i + 2] := i, n := n + a)",
      "NLoop(i, 3, a := 10 / (i - 2), n := n + 1)", "NLoop(i, 3, a := 10 / (2 - i) * 0)",
      "NLoop(i, 3, a := a + 7 Mod i, n := 7 Div i)", "NLoop(i, 3, a := 7 Div (i - 1) + m[1, i Div 2])",
      "(a := 65000) + NLoop(i, 6, a := a * a * 65000)", "NLoop(i, 3, a := i - 10, m[1, 1] := m[1, 1] - a * 3)",
      "NLoop(i, 3, a := a + i, n := a * a - i)", "NLoop(i, 2, a := i) + NLoop(i, 2, n := i + a)",
      "NLoop(i, 2, i := i + 5, a := a + i)",
      // an array of one dimension filled by the counter: the counter's pass
      // past the array's end, an item that moves the counter, another
      // loop's counter, a value that fails
      "NLoop(i, 5, v[i] := i * 2) + v[5]", "NLoop(i, 7, v[i] := i, a := a + 1)",
      "NLoop(i, 4, v[i] := a, a := a + v[i] + 1)", "NLoop(i, 3, v[i] := 9, i := i + 2, v[i] := i)",
      "NLoop(i, 3, i := i + 1, v[i] := i)", "NLoop(n, 2, NLoop(i, 5, v[i] := v[i] + n, v[n] := i))",
      "NLoop(i, 5, v[i] := 10 / (i - 3), a := a + 1)", "NLoop(i, 5, v[i] := v[i - 1] + i)",
      "(i := 2) + NLoop(n, 3, v[i] := n)",
      // loops that the run's budget of passes ends
      "NLoop(i, 2147483646, a := a + 1)", "NLoop(i, 2147483646, a := a + 1, s := 'x')",
      "NLoop(n, 99, NLoop(i, 9999, a := a + i))",
  };
  for (const char* text : programs) EXPECT_EQ(TwoWays::Difference(Compiled(text), 3), "") << text;
}

TEST_F(Translation, CallsAgreeWithTheDescent) {
  // Calls of bodies that compute numbers only run compiled, the others the
  // long way: recursion, a parameter that shadows a variable, eight
  // parameters, signs and brackets, calls in arguments and in loops, errors
  // inside the called body (a division by 0, a Div by 0, a text where a
  // number is wanted), the limits of runs, operands and variable entries,
  // by-reference parameters and text results.
  const char* programs[] = {
      "Fib(15)", "Fib(0)", "Fib(a := 7)", "Fib(1 + 2) * Fib(4) - Inv(4)", "Fib(Fib(5))", "Fib(-2)",
      "Inv(0)", "Inv(0) + 1", "Inv(8) + Fib(3)", "Inv(Inv(0))", "Inv(1 / 0)",
      "(a := 2) + (n := 5) * 0 + Scale(3) + a", "Scale(a)", "(n := 'x') + Scale(2)", "(s := 'x') + Mix(1)",
      "Mix(2)", "Deep(50)", "Deep(99)", "Deep(110)", "Deep(130)", "Deep(-1)", "(a := 4) + Deep(a * 10)",
      "Many(3, 1, 2, 3, 4, 5, 6, 7)", "Many(40, 1, 2, 3, 4, 5, 6, 7)", "Many(3, 1, 2, 3, 4, 0, 6, 7)",
      "Many(70, 1, 2, 3, 4, 5, 6, 7)", "Many(3, 1, 2)", "Sign(1)", "Sign(2)", "Sign(3)", "Sign(7)", "Sign(-3)",
      "Sign(Fib(4))", "(a := 5) + Twice(a) * 0 + Fib(a)", "Glue('x', 'y') + Glue('z', s)",
      "NLoop(i, 5, a := a + Fib(i))", "NLoop(i, 3, a := Inv(i - 1))", "Choice(2, Fib(3), Deep(4))",
      "Fib(m[1, 2])", "Fib(Alter / 10)", "Fib('x')", "Fib(3, 4)", "Fib()", "Fib",
  };
  for (const char* text : programs) EXPECT_EQ(TwoWays::Difference(Compiled(text), 3), "") << text;
}

TEST_F(Translation, NumberBodiesRunWithoutTheHook) {
  // A body of numbers only runs compiled (so the test above holds compiled
  // calls to the long way); a body with a text runs through the hook, and
  // so does every body once another procedure runner is installed after
  // the one that named the lines.
  const std::string fib = Compiled("Fib(10)");
  TwoWays::HookRuns() = 0;
  TwoWays::Run(Zet02::TTranslationMode::kAtOnce, fib, 3, 0);
  EXPECT_EQ(TwoWays::HookRuns(), 0);
  TwoWays::Run(Zet02::TTranslationMode::kOff, fib, 3, 0);
  EXPECT_EQ(TwoWays::HookRuns(), 3 * 109);
  TwoWays::HookRuns() = 0;
  TwoWays::Run(Zet02::TTranslationMode::kAtOnce, Compiled("Mix(1)"), 3, 0);
  EXPECT_EQ(TwoWays::HookRuns(), 3);

  Zet02::TRunHooks hooks = Zet02::RunHooks();
  hooks.runProcedure = [](uint16_t, TRunValue& value) {
    value.type = Zet02::kValReal;
    value.number = -1;
    return 0;
  };
  Zet02::SetRunHooks(hooks);
  const std::vector<std::string> seen = TwoWays::Run(Zet02::TTranslationMode::kAtOnce, fib, 3, 0, 1);
  EXPECT_NE(seen[0].find(" number -1 "), std::string::npos) << seen[0];
}

TEST_F(Translation, RoundingSuffixesAgree) {
  // The suffix ";" 67 d behind a sum, an assignment, an element and a
  // bracket, with d below and above the ten places.
  for (const char* text : {"2.675", "2.675 + 1", "a := 2.675", "m[1,2] := 2.675 * 1", "(2.675)", "s := 'x'"}) {
    for (const uint8_t d : {0, 2, 12}) {
      const std::string code = Compiled(text) + char(ByteCode::tkSemicolon) + char(ByteCode::tkByteConst) + char(d);
      EXPECT_EQ(TwoWays::Difference(code, 3), "") << text << " ;C " << int(d);
    }
  }
}

TEST_F(Translation, CutCodeAgrees) {
  // Every prefix of some compiled lines: runs that end where an operand or a
  // closing code is needed.
  for (const char* text : {"(a := 3) * (a := a + 1)", "m[1,2] := m[1,2] + 1", "Choice(2, 10, 20)",
                           "NLoop(i, 3, a := a + i)", "Fib(3) + Glue('x', 'y')"}) {
    const std::string code = Compiled(text);
    for (size_t n = 1; n <= code.size(); ++n)
      EXPECT_EQ(TwoWays::Difference(code.substr(0, n), 3), "") << text << " cut at " << n;
  }
}

TEST_F(Translation, ChecksAndRunsFromAPositionAgree) {
  for (const char* text : {"a := 1 + 2 * 3", "Fib(5)", "NLoop(i, 2, a := a + i)", "Name + 'x'"}) {
    const std::string code = Compiled(text);
    for (int mode : {0, 2}) EXPECT_EQ(TwoWays::Difference(code, mode), "") << text << " mode " << mode;
    EXPECT_EQ(TwoWays::Difference(code, 3, 1), "") << text << " from 1";
  }
}

TEST_F(Translation, FuzzCorpusAgrees) {
  // The interpreter's seeds are byte code; the translation target's seeds
  // are the bytes its program writer reads.
  size_t seeds = 0;
  for (const bool programs : {false, true}) {
    const std::filesystem::path corpus = std::filesystem::path(ZET_LANGUAGE_SOURCE_DIR) / "fuzz/corpus" /
                                         (programs ? "translate_fuzz" : "interp_fuzz");
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const std::string code = programs ? TwoWays::Compile(TwoWays::Program(bytes)) : bytes.substr(0, 255);
      // Byte code that is not translated runs the same way twice; what it
      // does outside the fixture (files, tables) need not repeat.
      Zet02::TTranslation translation;
      size_t hi = 0;
      if (!Zet02::Translate(code, 0, translation, hi)) continue;
      for (int mode : {0, 3}) EXPECT_EQ(TwoWays::Difference(code, mode), "") << entry.path() << " mode " << mode;
      ++seeds;
    }
  }
  EXPECT_GT(seeds, 0u);
}

TEST_F(Translation, ChangedCodeIsReadAgain) {
  // The same buffer with other bytes: the translation kept for the old ones
  // must not run.
  Zet02::SetTranslationMode(Zet02::TTranslationMode::kAtOnce);
  std::string code = Compiled("1 + 2");
  TRunValue value;
  EXPECT_EQ(Zet02::SolveExpression(code, value), 0);
  EXPECT_EQ(value.number, 3);
  code[code.size() - 1] = 7;  // the constant 2 becomes 7 in place
  EXPECT_EQ(Zet02::SolveExpression(code, value), 0);
  EXPECT_EQ(value.number, 8);
  Zet02::SetTranslationMode(Zet02::TTranslationMode::kNormal);
}

}  // namespace
