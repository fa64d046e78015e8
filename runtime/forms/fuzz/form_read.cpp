// Fuzzes the form file reader with the program's form: the input is read as
// a form file, elements of every record code and the form's own extension
// with its filters. A form read whole is written again; that file must read
// back whole and write the very same bytes again. Any read answers one of
// the reader's codes, never more. Seeds come from the forms' own writer
// (maskfile_test.cpp writes them with FORMS_WRITE_FUZZ_SEEDS=<folder>).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/forms/tests/forms_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kxobject::TMemStream in(0, 4096);
  in.WriteHuge(data, uint32_t(size));
  in.Seek(0);
  forms::TZetMask mask(nullptr);
  const int32_t result = mask.Read(in);
  if (result < -5 || result > 0) std::abort();
  if (result != 0) return 0;
  const std::string once = formstest::Bytes(mask);
  kxobject::TMemStream again(0, 4096);
  again.WriteHuge(once.data(), uint32_t(once.size()));
  again.Seek(0);
  forms::TZetMask reread(nullptr);
  if (reread.Read(again) != 0 || formstest::Bytes(reread) != once) std::abort();
  return 0;
}
