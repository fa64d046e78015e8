// Fuzzes the stored form of a picture field: the input is read as the bytes of
// a picture field (kind word, then picture data or a linked file's name).
// Whatever it holds, the value read is consistent: a link has a name and no
// picture, embedded data has no name, and a picture is a valid DIB. Seeds
// come from the data source's own writer (blobs_streams_test.cpp writes them
// with DATAVIEWS_WRITE_FUZZ_SEEDS=<folder>).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/dataviews/zetdatasrc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kxobject::SetPicturePixelLimit(1 << 20);
  kxobject::TMemStream in(0, 256);
  in.WriteHuge(data, uint32_t(size));
  in.Seek(0);
  const auto blob = dataviews::ReadBlobRecord(in, "/DATA/TABLES/");
  if (blob->Picture && (!blob->Embedded || !blob->Picture->IsOK())) std::abort();
  if (!blob->Embedded && (blob->FileName.empty() || blob->Picture)) std::abort();
  if (blob->Embedded && !blob->FileName.empty()) std::abort();
  return 0;
}
