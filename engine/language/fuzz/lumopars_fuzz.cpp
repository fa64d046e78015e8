// Feeds arbitrary text to the module parser, strict and lenient. A text that
// parses must write back to a text that parses again to the same text: the
// writer and the parser agree on every item the parser can build.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/language/lumopars.h"
#include "engine/units.h"

namespace {

void Check(std::string_view input, bool lenient) {
  lumopars::TLumoParser parser;
  parser.lenient = lenient;
  std::string written;
  try {
    written = parser.WriteModule(*parser.Parse(input));
  } catch (const lumopars::EParser&) {
    return;
  }
  try {
    if (parser.WriteModule(*parser.Parse(written)) != written) __builtin_trap();
  } catch (const lumopars::EParser&) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  Check(input, true);
  Check(input, false);
  return 0;
}
