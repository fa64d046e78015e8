// Reads a form file of N elements (default 1,000) from memory and writes it
// again, R times (default 200), checks that every writing gives the bytes it
// read, and prints the time of one read and write beside the budget of
// 20 ms.
//
// Usage: forms_bench [elements] [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/forms/tests/forms_test_util.h"

namespace {

[[noreturn]] void Fail(const char* what, long code) {
  std::fprintf(stderr, "forms_bench: %s failed (%ld)\n", what, code);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int elements = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
  const std::string file = formstest::Bytes(*formstest::MakeForm(elements));
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    kxobject::TMemStream in(0, 1 << 16);
    in.WriteHuge(file.data(), uint32_t(file.size()));
    in.Seek(0);
    formstest::TTestMask mask(nullptr);
    if (const int32_t result = mask.Read(in); result != 0) Fail("Read", result);
    if (formstest::Bytes(mask) != file) Fail("byte-identical writing", i);
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / rounds;
  std::printf("form file of %d elements (%zu bytes): read + write %.3f ms (budget 20 ms, %.1f%% of it)\n", elements,
              file.size(), ms, ms * 100 / 20);
  return 0;
}
