// Index files from arbitrary bytes: open, walk both ways, find, insert and
// delete, with a plain byte comparison and with the engine's key comparison
// over the key description the file holds. Every walk must end and no
// operation may read or write outside its buffers, whatever the pages say.
//
// Input: one mode byte (bit 0: the engine's comparison), then the file.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/base/engassert.h"
#include "engine/storage/btrees.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable.h"
#include "engine/testsupport/fuzz_file.h"

namespace {

// Compares the first header[0] + 1 key bytes (at most 8, set per input).
bool Plain(const uint8_t* a, const uint8_t* b, const uint8_t* header) {
  return std::memcmp(a, b, size_t(header[0]) + 1) < 0;
}

constexpr int kMaxSteps = 5000;

void Walk(BTREES::PTree tree, bool forward) {
  std::vector<uint8_t> key(tree->header.keyLength);
  int r = forward ? BTREES::First(tree, key.data()) : BTREES::Last(tree, key.data());
  for (int steps = 0; r == BTREES::kResultOk && steps < kMaxSteps; ++steps)
    r = forward ? BTREES::Next(tree, key.data()) : BTREES::Prior(tree, key.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool engineCompare = data[0] & 1;
  zetfuzz::InputFile file(data + 1, size - 1, ".IND");
  static std::array<uint8_t, ZetTable::kIndexHeaderSize> header;
  header.fill(0);
  BTREES::PTree tree = nullptr;
  if (BTREES::OpenTree(tree, file.path(), Plain, 66, uint16_t(header.size()), header.data()) != 0) return 0;
  const uint16_t keyLength = tree->header.keyLength;
  if (keyLength == 0) {
    BTREES::CloseTree(tree, nullptr, 0, false);
    return 0;
  }
  if (engineCompare) {
    // The engine compares keys only with a description that fits them.
    if (Zet00::KeyLength(header.data()) != keyLength) {
      BTREES::CloseTree(tree, nullptr, 0, false);
      return 0;
    }
    tree->compare = Zet00::KeyCompareProc(2);
  } else {
    // The plain comparison looks at up to 8 key bytes: keep it inside the key.
    header[0] = uint8_t(std::min<uint16_t>(keyLength, 8) - 1);
  }
  try {
    Walk(tree, true);
    Walk(tree, false);
    std::vector<uint8_t> key(keyLength);
    // Keys made from the input's own bytes, searched, inserted and deleted.
    for (size_t at = 1; at + keyLength <= size && at < 64 * size_t(keyLength); at += keyLength) {
      std::memcpy(key.data(), data + at, keyLength);
      BTREES::Find(tree, key.data());
      std::vector<uint8_t> nearest = key;
      BTREES::FindNearest(tree, nearest.data());
      if (data[at] & 1) {
        BTREES::Insert(tree, key.data());
      } else {
        BTREES::Delete(tree, key.data());
      }
    }
    Walk(tree, true);
  } catch (const EAssertion&) {
    // A description of an unknown part type: the engine refuses such an
    // index before it compares anything.
  }
  BTREES::CloseTree(tree, nullptr, 0, false);
  return 0;
}
