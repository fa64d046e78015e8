// Fuzz target of the JPEG reader (see picture_fuzz.h); seeds in corpus/jpeg_fuzz.
#include "runtime/toolkit/fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzPicture(data, size, kxobject::kPictureJpeg);
}
