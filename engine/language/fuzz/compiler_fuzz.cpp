// Feeds arbitrary text to the Lumo compiler over the fixture tables, inside a
// fresh variable scope per input, and lists the code it produced; the same
// bytes are also listed as if they were code, as loaded code may be.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"
#include "engine/language/listing.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/variables.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    Units::StartEngine();
    lumo_test::InstallFixtureTables();
    return true;
  }();
  (void)ready;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  ZetVars::PushVarScope();
  size_t pos = 1;
  uint16_t err = 0;
  ZetVars::ParseVarDeclaration(0, "a, X: REAL", pos, err, false);
  ShortStr text(input.substr(0, ShortStr::kMax));
  uint64_t tables = 0;
  size_t end = 0;
  Zet02::CompileLine(text, tables, end);
  if (text.size() > ShortStr::kMax || end > input.size() + 1) __builtin_trap();
  size_t column = 0;
  Zet02::CodeToText(text, 0, text.size(), column);
  Zet02::CodeToText(input, 0, size / 2, column);
  ZetVars::PopVarScope();
  return 0;
}
