// Fuzzes the number conversions with any text: the error position always
// lies within the text or just behind it, a ranged conversion stores only
// when the position is 0, and formatting the values read back stays within
// its 255 characters. Seeds come from the formatters themselves
// (kxutil_test.cpp writes them with KXUTIL_WRITE_FUZZ_SEEDS=<folder>).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/toolkit/kxutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kxutil;
  const std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 300));
  const char* s = text.c_str();  // cut at the first NUL, as callers' texts are
  const int limit = int(std::strlen(s)) + 1;
  const auto check = [&](int pos) {
    if (pos < 0 || pos > limit) std::abort();
  };
  int pos = -1;
  // A ranged conversion stores only when the whole text is a number.
  const auto ranged = [&](auto convert, auto sentinel) {
    auto value = sentinel;
    convert(s, &value, &pos);
    check(pos);
    if (pos != 0 && value != sentinel) std::abort();
  };
  ranged(StrToShort, int16_t(7));
  ranged(StrToUShort, uint16_t(7));
  ranged(StrToLong, int32_t(7));
  ranged(StrToULong, uint32_t(7));
  int32_t i = 7;
  StrToInt(s, &i, &pos);
  check(pos);
  double d = 0;
  StrToDouble(s, &d, &pos);
  check(pos);
  char buffer[kFormatBuffer + 8];
  std::memset(buffer, 'X', sizeof buffer);
  FormatDouble(buffer, d, int(size % 40));
  if (std::strlen(buffer) > 255 || buffer[kFormatBuffer] != 'X') std::abort();
  for (char sep : {',', '.'}) {
    DecimalSeparator = sep;
    StrToDoubleLocal(s, &d, &pos);
    if (pos < 0 || pos > 20) std::abort();
    FormatDoubleLocal(buffer, d, 2);
    if (std::strlen(buffer) > 255) std::abort();
  }
  return 0;
}
