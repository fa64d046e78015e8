// The common steps of the Lumo tests, over the fixture tables of
// lumo_fixture.h: a started engine, variable declarations, field texts of
// KUNDEN, and compiling and running one line with the apply flag on or off.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/variables.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/engine_fixture.h"

namespace lumo_test {

// A started engine with the fixture tables installed, and the steps of a
// Lumo test: declare variables, set and read fields of KUNDEN, compile a
// line and run it with the apply flag on or off.
class LumoTest : public zettest::EngineTest {
 protected:
  using TRunValue = Zet02::TRunValue;
  void SetUp() override {
    zettest::EngineTest::SetUp();
    InstallFixtureTables();
  }
  static void Declare(const std::string& text) {
    size_t pos = 1;
    uint16_t err = 0;
    ZetVars::ParseVarDeclaration(0, text, pos, err, false);
    ASSERT_EQ(err, 0) << text;
  }
  static void SetField(uint16_t n, const std::string& text) {
    ZetTable::TZetTable* t = ZetTable::Table(kKunden);
    ZetTable::SetFieldText(kKunden, n, t->recordBuffer.data(), text);
  }
  static std::string Field(uint16_t n) {
    ZetTable::TZetTable* t = ZetTable::Table(kKunden);
    return ZetTable::FieldText(*t, n, t->recordBuffer.data()).str();
  }
  static std::string Compile(const std::string& text) {
    ShortStr code(text);
    uint64_t set = 0;
    EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << text;
    return code.str();
  }
  struct Outcome {
    int error = 0;
    TRunValue value;
  };
  static Outcome Run(const std::string& code, int mode, bool apply) {
    Zet02::SetWriteEnable(apply);
    Outcome o;
    size_t pos = 0;
    int dependency = 0;
    o.error = Zet02::ExecuteCode(code, pos, mode, o.value, dependency);
    Zet02::SetWriteEnable(false);
    return o;
  }
  static Outcome Eval(const std::string& text, bool apply = true) { return Run(Compile(text), 3, apply); }
};


}  // namespace lumo_test
