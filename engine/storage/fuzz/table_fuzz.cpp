// A damaged table with its memo file, indexes and record guard file, from
// arbitrary bytes: the table is opened (which may repair it), every record
// and field read, every
// memo read, every index walked, and the memo file checked. Nothing may read
// or write outside its buffers and every walk must end.
//
// Input: a sequence of files, each a name byte (kFiles), a 32-bit length
// (little-endian) and the bytes. The table key is fixed (the seeds are
// written with it).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/base/bytes.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/fuzz_file.h"

namespace {

// The guard file of a record written across a page boundary comes last.
constexpr const char* kFiles[] = {".DAT", ".MMO", ".BLB", ".INR", ".ID", ".IN1", ".IND", ".$$W"};
constexpr uint32_t kTableKey = 0x5EED1234;
constexpr int kMaxSteps = 5000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The table file comes first and names the directory of the others.
  std::string directory;
  std::vector<std::unique_ptr<zetfuzz::InputFile>> files;
  for (size_t at = 0; at + 5 <= size;) {
    const uint8_t name = data[at] % (sizeof kFiles / sizeof kFiles[0]);
    const size_t length = std::min<size_t>(bytes::GetU32(data + at + 1), size - at - 5);
    files.push_back(std::make_unique<zetfuzz::InputFile>(data + at + 5, length, kFiles[name]));
    at += 5 + length;
  }
  if (files.empty()) return 0;
  const std::string table = files.front()->path().substr(0, files.front()->path().rfind('.')) + ".DAT";
  if (table != files.front()->path()) return 0;
  const int slot = ZetTable::OpenCount() + 1;
  if (Zet01::OpenTable(slot, ZetTable::kRightsMask, table, 0, kTableKey, "") != 0) return 0;
  ZetTable::TZetTable& t = *ZetTable::Table(slot);
  for (int32_t r = 1; r <= t.recordCount && r <= 2000; ++r) {
    if (Zet01::ReadRecord(slot, uint32_t(r)) != 0) break;
    for (uint16_t n = 1; n <= t.fieldCount; ++n) {
      ZetTable::FieldText(t, n, t.recordBuffer.data());
      if (t.FieldType(n) == Common::kTypeMemo && t.hasMemoFile) {
        Common::FieldValue value;
        Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(n), t.version, value);
        const int32_t length = WINMEMOS::InitGetMemo(t.memoFile, value.block);
        std::string text(size_t(std::clamp(length, 0, 1 << 20)), '\0');
        WINMEMOS::GetMemoBlock(int32_t(text.size()), text.data());
        WINMEMOS::DoneGetMemo();
      }
    }
  }
  for (int s = 0; s <= t.highestIndexSlot; ++s) {
    if (!t.indexes[size_t(s)]) continue;
    uint8_t st = Zet00::IndexFirst(slot, s);
    for (int steps = 0; st == Zet00::kStatusFound && steps < kMaxSteps; ++steps) st = Zet00::IndexNext(slot, s);
    st = Zet00::IndexLast(slot, s);
    for (int steps = 0; st == Zet00::kStatusFound && steps < kMaxSteps; ++steps) st = Zet00::IndexPrior(slot, s);
  }
  Zet01::CloseTable(slot);
  if (ZetTable::OpenCount() >= slot) ZetTable::SetOpenCount(slot - 1);
  for (const auto& f : files)
    if (f->path().ends_with(".MMO")) WINMEMOS::ReadEveryMemo(f->path(), WINMEMOS::kLinkSize32, kTableKey);
  // Files the open made (rebuilt indexes) go with the input's.
  for (const char* extension : {".INR", ".ID", ".IN1", ".$$R"})
    std::remove((table.substr(0, table.size() - 4) + extension).c_str());
  return 0;
}
