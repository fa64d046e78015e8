// Feeds arbitrary bytes as a sectioned key=value file (through the text
// buffer, which the reader takes like a file) and looks a few keys up; the
// first line of the input names one more key to look for.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/ramfiles.h"
#include "engine/base/shortstr.h"
#include "engine/language/sysservices.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    Units::StartEngine();
    return true;
  }();
  (void)ready;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  RamFiles::TextBufRewrite();
  RamFiles::TextBufWrite(input);
  SysServices::ForgetKeyValueFile();
  const std::string_view key = input.substr(0, input.find('\n'));
  for (std::string_view k : {key, std::string_view("Start.Font"), std::string_view("a")}) {
    const ShortStr value = SysServices::LookupKeyValue("RAMTEXT", k.substr(0, ShortStr::kMax));
    if (value.size() > ShortStr::kMax) __builtin_trap();
  }
  return 0;
}
