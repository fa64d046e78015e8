// Fuzzes the browser's column-set record: the input is read as a column set
// with font and, from the start again, without font. A set read whole is
// written again; that record must read back whole and write the very same
// bytes again (texts are zero-terminated, so a stored zero byte ends a text
// and the first writing may be shorter than the input). Seeds
// come from the record's own writer (browfmt_test.cpp writes them with
// DATAVIEWS_WRITE_FUZZ_SEEDS=<folder>).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/dataviews/browfmt.h"

namespace {

void ReadAndCheck(const uint8_t* data, size_t size, bool withFont) {
  kxobject::TMemStream in(0, 256);
  in.WriteHuge(data, uint32_t(size));
  in.Seek(0);
  const dataviews::TBrowserFormat set(in, withFont);
  char text[64];
  int16_t width, decimals;
  for (int32_t i = 0; i < set.Count(); ++i) set.GetColumnInfo(i, text, 20, width, decimals, text, 20);
  if (in.Status != 0) return;
  kxobject::TMemStream out(0, 256), again(0, 256);
  withFont ? set.Write(out) : set.WriteWithoutFont(out);
  if (size_t(out.Size) > size) std::abort();
  out.Seek(0);
  const dataviews::TBrowserFormat reread(out, withFont);
  withFont ? reread.Write(again) : reread.WriteWithoutFont(again);
  if (out.Status != 0 || again.Size != out.Size || std::memcmp(again.Block->Data, out.Block->Data, size_t(out.Size)) != 0)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAndCheck(data, size, true);
  ReadAndCheck(data, size, false);
  return 0;
}
