// Fuzzes the font and format records: the input is read as a text format
// record, a logical font record and a bare font record, one after the other
// from the same stream. Every record read is written again and must give
// back the bytes it was read from, and its names and descriptions must stay
// inside their fields and buffers. Seeds come from the records' own writers
// (kxfont_test.cpp writes them with KXFONT_WRITE_FUZZ_SEEDS=<folder>).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/toolkit/kxfont.h"

namespace {

template <typename Record>
void ReadAndCheck(kxobject::TMemStream& in, const uint8_t* data, size_t size) {
  const int32_t start = in.GetPos();
  Record record;
  record.Read(in);
  const bool whole = in.Status == 0;
  kxobject::TMemStream out(0, 128);
  record.Write(out);
  if (whole && (size_t(start) + size_t(out.Size) > size ||
                std::memcmp(out.Block->Data, data + start, size_t(out.Size)) != 0)) {
    std::abort();
  }
  char buffer[64];
  std::memset(buffer, 0, sizeof buffer);
  record.GetDescription(buffer, 40);
  if (buffer[41] != 0) std::abort();
  in.ResetError();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kxobject::TMemStream in(0, 256);
  in.WriteHuge(data, uint32_t(size));
  in.Seek(0);
  ReadAndCheck<kxfont::TKxFormat>(in, data, size);
  ReadAndCheck<kxfont::TLogicalFont>(in, data, size);
  ReadAndCheck<kxfont::TKxFont>(in, data, size);
  return 0;
}
