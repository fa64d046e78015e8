// Runs arbitrary bytes as Lumo code, as code loaded from a compiled program
// may be: once as an expression with every effect enabled, then as a
// selection in the three modes, over the fixture tables in a fresh variable
// scope. The interpreter must answer an error for damaged code, never read
// outside it or recurse without bound. A loop whose count is huge is legal
// code: the user stops it with Ctrl+U, and here a break key arrives once an
// input has run for half a second. File functions run in a scratch folder.
// Programs may open and close tables (OpenDb, CloseDb) like any other code;
// when an input leaves the table slots other than the fixture made them, the
// fixture tables are put back, so every input runs over the same tables.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/language/fuzz/lumo_fuzz_input.h"
#include "engine/language/interp.h"
#include "engine/language/lumostack.h"
#include "engine/language/selection.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/variables.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/units.h"

namespace {

std::array<uint64_t, 4> g_fixture{};  // the serial numbers of the fixture tables

void InstallFixture() {
  Zet06::CloseTablesFrom(1);
  lumo_test::InstallFixtureTables();
  for (size_t i = 0; i < g_fixture.size(); ++i) g_fixture[i] = ZetTable::Table(int(i + 1))->serial;
}

bool FixtureIntact() {
  if (ZetTable::OpenCount() != int(g_fixture.size())) return false;
  for (size_t i = 0; i < g_fixture.size(); ++i) {
    const ZetTable::TZetTable* t = ZetTable::Table(int(i + 1));
    if (!t || t->serial != g_fixture[i]) return false;
  }
  return true;
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const lumo_fuzz::TLumoInput scope("interp_fuzz");
  static const bool ready = [] {
    Units::StartEngine();
    InstallFixture();
    lumo_fuzz::InstallSlowBreak();
    return true;
  }();
  (void)ready;
  const std::string_view input(reinterpret_cast<const char*>(data), size < 255 ? size : 255);
  ZetVars::PushVarScope();
  size_t pos = 1;
  uint16_t err = 0;
  for (const char* declaration : {"a, X: REAL", "m: REAL[3,4]", "s: STRING"}) {
    pos = 1;
    ZetVars::ParseVarDeclaration(0, declaration, pos, err, false);
  }
  Zet02::SetWriteEnable(true);
  Zet02::TRunValue value;
  size_t position = 0;
  int dependency = 0;
  Zet02::ExecuteCode(input, position, 3, value, dependency);
  if (position > input.size()) __builtin_trap();
  for (int mode : {0, 2, 3}) {
    ShortStr code(input);
    int error = 0;
    Zet02::EvalSelection(code, mode, error, dependency);
    if (code.size() > ShortStr::kMax) __builtin_trap();
  }
  Zet02::SetWriteEnable(false);
  if (LumoExec::ValueStack().Used() != 0) __builtin_trap();
  ZetVars::PopVarScope();
  if (!FixtureIntact()) {
    InstallFixture();
    if (!FixtureIntact()) __builtin_trap();
  }
  return 0;
}
