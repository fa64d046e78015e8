// Fuzz target of the PCX reader (see picture_fuzz.h); seeds in corpus/pcx_fuzz.
#include "runtime/toolkit/fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzPicture(data, size, kxobject::kPicturePcx);
}
