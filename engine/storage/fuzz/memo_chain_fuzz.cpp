// Feeds arbitrary bytes to the memo file reader as a memo file and follows
// every chain it can start, with 16- and 32-bit links, plain and scrambled:
// as pieces and strings (ReadEveryMemo) and as whole texts (ReadMemoText).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/storage/winmemos.h"
#include "engine/testsupport/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the reading mode; the rest is the file.
  const uint8_t mode = data[0];
  zetfuzz::InputFile file(data + 1, size - 1, ".MMO");
  const uint8_t linkSize = (mode & 1) ? 4 : 2;
  const uint32_t key = (mode & 2) ? 0x1234ABCDu : 0u;
  WINMEMOS::ReadEveryMemo(file.path(), linkSize, key);
  WINMEMOS::TMemoFile f;
  if (WINMEMOS::OpenMemoFile(f, file.path(), LOWFILES::kModeReadShared, key, linkSize, (mode & 4) != 0) != 0) return 0;
  constexpr uint32_t kMostChains = 4096;
  std::string text;
  for (uint32_t n = 1; n <= std::min(f.highest, kMostChains); ++n) WINMEMOS::ReadMemoText(f, n, text);
  WINMEMOS::CloseMemoFile(f);
  return 0;
}
