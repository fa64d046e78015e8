#include "engine/storage/zet01_memocheck.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace Zet01 {
namespace {

using ZetTable::TZetTable;

// Marks of a block.
constexpr uint8_t kFree = 1;
constexpr uint8_t kOwned = 2;
// Characters that end a memo's text.
constexpr uint8_t kTextEnd = 0;
constexpr uint8_t kTextEof = 26;

struct TBlock {
  uint32_t link = 0;
  bool endsMemo = false;
};

class TMemoCheck {
 public:
  TMemoCheck(WINMEMOS::TMemoFile& f, uint32_t blocks) : f_(f), blocks_(blocks), marks_(size_t(blocks) + 2, 0) {}

  // Reads a data block; false on a read error (reported).
  bool Read(uint32_t n, TBlock& out) {
    std::array<uint8_t, WINMEMOS::kMemoBlockSize> block{};
    if (LOWFILES::ReadBlock(f_.file, uint64_t(n) * block.size(), uint16_t(block.size()), f_.key, block.data()) !=
        0) {
      Common::SetFileError(Common::kErrRead, f_.file.name);
      return false;
    }
    out.link = Word(block.data());
    out.endsMemo = std::any_of(block.begin() + f_.linkSize, block.end(),
                               [](uint8_t c) { return c == kTextEnd || c == kTextEof; });
    return true;
  }

  uint32_t Word(const uint8_t* p) const { return f_.linkSize == 2 ? bytes::GetU16(p) : bytes::GetU32(p); }

  int32_t WalkFreeList(uint32_t head, uint32_t highest) {
    // The list ends in highest + 1 (or anything outside the blocks in use).
    for (uint32_t n = head; n >= 1 && n <= highest;) {
      if (marks_[n] & kFree) return kMemoFreeListLoop;
      marks_[n] |= kFree;
      TBlock b;
      if (!Read(n, b)) return Common::kErrRead;
      n = b.link;
    }
    return kMemoSound;
  }

  int32_t WalkMemo(uint32_t first) {
    for (uint32_t n = first; n != 0 && n != blocks_ + 1;) {
      if (int32_t(n) < 0 || n > blocks_ + 1) return kMemoBadLink;
      if (marks_[n] & kFree) return kMemoFreeBlockUsed;
      if (marks_[n] & kOwned) return kMemoBlockShared;
      marks_[n] |= kOwned;
      TBlock b;
      if (!Read(n, b)) return Common::kErrRead;
      if (b.endsMemo) break;
      n = b.link;
    }
    return kMemoSound;
  }

 private:
  WINMEMOS::TMemoFile& f_;
  uint32_t blocks_;
  std::vector<uint8_t> marks_;
};

}  // namespace

int32_t CheckMemoFile(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t || !t->hasMemoFile) return kMemoSound;
  TZetTable* owner = ZetTable::FileOwner(slot);
  if (!owner || !owner->memoFile.open) return kMemoSound;
  WINMEMOS::TMemoFile& f = owner->memoFile;

  const uint64_t blocksInFile = LOWFILES::LowFileSize(f.file) / WINMEMOS::kMemoBlockSize;
  std::array<uint8_t, 2 * WINMEMOS::kLinkSize32> header{};
  if (blocksInFile == 0 ||
      LOWFILES::ReadBlock(f.file, 0, uint16_t(2 * f.linkSize), f.key, header.data()) != 0)
    return kMemoBadHeader;
  const uint32_t blocks = uint32_t(std::min<uint64_t>(blocksInFile - 1, WINMEMOS::kBlockNumberLimit));
  TMemoCheck check(f, blocks);
  const uint32_t head = check.Word(header.data());
  const uint32_t highest = check.Word(header.data() + f.linkSize);
  if (head > uint64_t(blocks) + 1 || highest > blocks) return kMemoBadHeader;
  if (int32_t e = check.WalkFreeList(head, highest)) return e;

  std::vector<uint8_t> record(t->recordLength);
  const uint32_t count = uint32_t(std::max(t->recordCount, 0));
  for (uint32_t r = 1; r <= count; ++r) {
    if (ReadRecordInto(slot, r, record.data(), nullptr, 0, ZetTable::kOrderRecords) != 0) {
      Common::SetFileError(Common::kErrRead, Common::AppendStrCopy(t->directory, t->fileName));
      return Common::kErrRead;
    }
    for (uint16_t n = 1; n <= t->fieldCount; ++n) {
      if (t->FieldType(n) != Common::kTypeMemo || !t->IsStored(n)) continue;
      Common::FieldValue value;
      Common::GetFieldAsNumber(record.data(), t->Place(n), t->version, value);
      if (int32_t e = check.WalkMemo(value.block)) return e;
    }
  }
  return kMemoSound;
}

}  // namespace Zet01
