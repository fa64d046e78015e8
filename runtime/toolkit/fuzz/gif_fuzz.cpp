// Fuzz target of the GIF reader (see picture_fuzz.h); seeds in corpus/gif_fuzz.
#include "runtime/toolkit/fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzPicture(data, size, kxobject::kPictureGif);
}
