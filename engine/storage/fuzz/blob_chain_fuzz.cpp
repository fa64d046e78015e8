// Feeds arbitrary bytes to the blob file reader as a blob file and follows
// every chain it can start, plain and scrambled.
#include <cstddef>
#include <cstdint>

#include "engine/storage/winblobs.h"
#include "engine/testsupport/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  zetfuzz::InputFile file(data + 1, size - 1, ".BLB");
  WinBlobs::ReadEveryBlob(file.path(), (mode & 1) ? 0x5EED1234u : 0u);
  return 0;
}
