// The interpreter's two ways against each other: the input's bytes make a
// Lumo line by the grammar of two_ways.h, which is compiled and run with its
// translation and as a plain descent over the bytes, each from the same
// state, in run mode 3 and check mode 0; the input's bytes themselves run
// the same way as byte code. Any difference in value, error, position,
// dependency, variables or record is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/tests/two_ways.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    Units::StartEngine();
    lumo_test::InstallFixtureTables();
    lumo_test::TwoWays::Install();
    return true;
  }();
  (void)ready;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string program = lumo_test::TwoWays::Program(bytes);
  const std::string code = lumo_test::TwoWays::Compile(program);
  for (const std::string_view line : {std::string_view(code), bytes.substr(0, 255)}) {
    if (line.empty()) continue;
    for (int mode : {3, 0}) {
      const std::string difference = lumo_test::TwoWays::Difference(line, mode);
      if (!difference.empty()) {
        std::fprintf(stderr, "%s (mode %d)\n%s\n", program.c_str(), mode, difference.c_str());
        __builtin_trap();
      }
    }
  }
  return 0;
}
