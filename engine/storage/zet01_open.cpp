#include "engine/storage/zet01_open.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/crypt.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/btrees.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/memofiles.h"
#include "engine/storage/recordguard.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01.h"
#include "engine/storage/zet06_create.h"
#include "platform/files.h"

namespace Zet01 {
namespace {

using ZetTable::TZetTable;

constexpr std::string_view kRelationExtension = ".REL";
constexpr std::string_view kMemoExtension = ".MMO";
constexpr std::string_view kBlobExtension = ".BLB";
// Low-level word of an open refused for lack of rights.
constexpr int16_t kAccessDenied = 5;

// The longest block read or write (a block's length is u16).
constexpr size_t kMaxBlockBytes = 65535;
// Bytes of record slots all caches took beyond their fixed rings (rule 6),
// and how many they may take.
size_t g_grownBytes = 0;
size_t g_growBudget = 0;

// One table's ring of cached records (rules 1-6 of the header). Beside the
// ring an open-addressing index (linear probing, at most half full) finds a
// record's slot without a scan. The ring grows only when the slot filled
// last is its last one and the shared budget lets it (rule 6).
class TRecordCache {
 public:
  explicit TRecordCache(uint16_t recordLength)
      : length_(recordLength),
        slots_(uint16_t(std::min<uint32_t>(kCacheBytes / recordLength, kMaxCacheSlots))),
        capacity_(slots_),
        numbers_(slots_, 0),
        bytes_(size_t(slots_) * recordLength) {
    Reindex();
  }
  ~TRecordCache() { g_grownBytes -= GrownBytes(); }
  TRecordCache(const TRecordCache&) = delete;
  TRecordCache& operator=(const TRecordCache&) = delete;

  uint16_t Slots() const { return slots_; }
  uint16_t RecordLength() const { return length_; }
  // Bytes of records the ring may hold now.
  size_t CapacityBytes() const { return size_t(capacity_) * length_; }
  // Records a sequential miss fetches at once (rule 5); below 2: none.
  uint32_t ReadAheadRecords() const {
    return std::min<uint32_t>(slots_ / 2, kReadAheadBytes / length_);
  }
  // The record after the last one fetched from the file on a miss.
  uint32_t sequel = 0;

  bool Contains(uint32_t recno) const { return Find(recno) != 0; }

  bool Lookup(uint32_t recno, uint8_t* out) const {
    const uint32_t slot = Find(recno);
    if (slot == 0) return false;
    std::memcpy(out, Bytes(slot), length_);
    return true;
  }

  void Store(uint32_t recno, const uint8_t* record) {
    uint32_t slot = Find(recno);
    if (slot == 0) {
      if (last_ == capacity_) Grow();
      slot = last_ = last_ % capacity_ + 1;
      if (numbers_[slot - 1] != 0) Unindex(numbers_[slot - 1]);
      numbers_[slot - 1] = recno;
      size_t i = Home(recno);
      while (index_[i] != 0) i = Following(i);
      index_[i] = slot;
    }
    std::memcpy(Bytes(slot), record, length_);
  }

  void Forget(uint32_t recno) {
    const uint32_t slot = Find(recno);
    if (slot == 0) return;
    Unindex(recno);
    numbers_[slot - 1] = 0;
  }

  void Clear() {
    std::fill(numbers_.begin(), numbers_.end(), 0);
    std::fill(index_.begin(), index_.end(), 0);
  }

 private:
  // Fetched at once on a sequential miss, at most (a block read is u16).
  static constexpr uint32_t kReadAheadBytes = 16384;
  // Fibonacci hashing spreads record numbers over the index.
  static constexpr uint32_t kHashMultiplier = 2654435769u;
  // Slot numbers are u32; a ring never grows beyond this many slots.
  static constexpr uint32_t kMaxSlots = 1u << 30;

  // Bytes a slot takes: the record, its number and its share of the index.
  size_t SlotBytes() const { return size_t(length_) + sizeof(uint32_t) * 3; }
  size_t GrownBytes() const { return size_t(capacity_ - slots_) * SlotBytes(); }

  // Doubles the ring (at least by its fixed size) within what the shared
  // budget has left; the new slots come after the last one.
  void Grow() {
    const size_t room = g_growBudget > g_grownBytes ? (g_growBudget - g_grownBytes) / SlotBytes() : 0;
    const uint32_t more = uint32_t(std::min<size_t>({room, std::max<size_t>(capacity_, slots_), kMaxSlots - capacity_}));
    if (more == 0) return;
    g_grownBytes -= GrownBytes();
    capacity_ += more;
    g_grownBytes += GrownBytes();
    numbers_.resize(capacity_, 0);
    bytes_.resize(size_t(capacity_) * length_);
    Reindex();
  }

  // Builds the index afresh for the ring's size from the slots' numbers.
  void Reindex() {
    indexBits_ = 1;
    while ((size_t(1) << indexBits_) < 2 * size_t(capacity_)) ++indexBits_;
    index_.assign(size_t(1) << indexBits_, 0);
    for (uint32_t slot = 1; slot <= capacity_; ++slot) {
      if (numbers_[slot - 1] == 0) continue;
      size_t i = Home(numbers_[slot - 1]);
      while (index_[i] != 0) i = Following(i);
      index_[i] = slot;
    }
  }

  uint8_t* Bytes(uint32_t slot) { return bytes_.data() + size_t(slot - 1) * length_; }
  const uint8_t* Bytes(uint32_t slot) const { return bytes_.data() + size_t(slot - 1) * length_; }

  size_t Home(uint32_t recno) const { return size_t(uint32_t(recno * kHashMultiplier) >> (32 - indexBits_)); }
  size_t Following(size_t i) const { return (i + 1) & (index_.size() - 1); }

  // The slot holding recno; 0 when none.
  uint32_t Find(uint32_t recno) const {
    for (size_t i = Home(recno); index_[i] != 0; i = Following(i))
      if (numbers_[index_[i] - 1] == recno) return index_[i];
    return 0;
  }

  // Takes a cached record number out of the index; the entries after it in
  // its run move back where their probe would otherwise miss them.
  void Unindex(uint32_t recno) {
    size_t hole = Home(recno);
    while (numbers_[index_[hole] - 1] != recno) hole = Following(hole);
    index_[hole] = 0;
    for (size_t i = Following(hole); index_[i] != 0; i = Following(i)) {
      const size_t home = Home(numbers_[index_[i] - 1]);
      // The entry stays when its home lies cyclically in (hole, i].
      const bool stays = hole < i ? (home > hole && home <= i) : (home > hole || home <= i);
      if (stays) continue;
      index_[hole] = index_[i];
      index_[i] = 0;
      hole = i;
    }
  }

  uint16_t length_;
  uint16_t slots_;     // the fixed ring (rule 3)
  uint32_t capacity_;  // slots now, the grown ones included (rule 6)
  uint32_t last_ = 0;  // the slot filled last (1-based; 0 before the first)
  unsigned indexBits_ = 1;
  std::vector<uint32_t> numbers_;
  std::vector<uint8_t> bytes_;
  std::vector<uint32_t> index_;  // slot numbers, 0 = empty
};

// A slot's share of a cache and the table object it was started for.
struct TCacheShare {
  const TZetTable* table = nullptr;
  std::shared_ptr<TRecordCache> cache;
};

std::array<TCacheShare, ZetTable::kTableSlots> g_caches;
bool g_readingEnabled = true;
bool g_skipNameCheck = false;
int g_headerOnlyDepth = 0;
bool g_deferredFlush = false;
// The block a sequential miss reads into (rule 5); kept between reads.
std::vector<uint8_t> g_readAhead;

ShortStr TablePath(const TZetTable& t) { return Common::AppendStrCopy(t.directory, t.fileName); }

ShortStr SidePath(const TZetTable& t, std::string_view extension) {
  return Common::AppendStrCopy(Common::AppendStrCopy(t.directory, Common::SplitFileName(t.fileName).name),
                               extension);
}

TRecordCache* CacheOf(int slot) {
  if (slot < 1 || slot > ZetTable::kTableSlots) return nullptr;
  const TCacheShare& share = g_caches[size_t(slot - 1)];
  const TZetTable* t = ZetTable::Table(slot);
  return t && share.table == t ? share.cache.get() : nullptr;
}

// The file the table's records live in: its own, or for an alias the file of
// the table it aliases.
LOWFILES::TLowFile* RecordFile(const TZetTable& t) {
  if (t.tableFile) return t.tableFile.get();
  const TZetTable* owner = t.aliasOf != 0 ? ZetTable::Table(t.aliasOf) : nullptr;
  return owner ? owner->tableFile.get() : nullptr;
}

// The table whose object keeps the facts of the table file (countInFile,
// tailToCut): the table itself, or the one an alias reads through.
TZetTable& FileOwnerOf(TZetTable& t) {
  TZetTable* owner = t.tableFile || t.aliasOf == 0 ? &t : ZetTable::Table(t.aliasOf);
  return owner ? *owner : t;
}

uint64_t RecordPosition(const TZetTable& t, uint32_t recno) {
  return t.headerSize + uint64_t(recno - 1) * t.recordLength;
}

// The guard file of the table file the records live in (recordguard.h).
std::string GuardPathOf(const TZetTable& t) {
  const TZetTable* owner = t.tableFile || t.aliasOf == 0 ? &t : ZetTable::Table(t.aliasOf);
  return RecordGuard::GuardPath(TablePath(owner ? *owner : t).view());
}

// Writes a plain record as record recno; a record that crosses a page
// boundary goes through the guard file, so that a kill in the middle of its
// write cannot leave a mix of old and new bytes, and so does a delete's move
// of the last record (movedFrom, its number while the file counts it).
int16_t WriteRecordAt(const TZetTable& t, LOWFILES::TLowFile& file, uint32_t recno, const uint8_t* plain,
                      uint32_t movedFrom = 0) {
  const uint64_t position = RecordPosition(t, recno);
  if (movedFrom == 0 && !RecordGuard::CrossesPage(position, t.recordLength))
    return LOWFILES::WriteBlock(file, position, t.recordLength, t.tableKey, plain);
  std::vector<uint8_t> stored(plain, plain + t.recordLength);
  Crypt::ScrambleBlock(stored.data(), stored.size(), t.tableKey);
  return RecordGuard::WriteRecord(file, GuardPathOf(t), position, stored.data(), t.recordLength, movedFrom);
}

// The cache after a write of record recno: the record as written, or none
// when the write failed.
void CacheWritten(int slot, uint32_t recno, const uint8_t* record, int16_t error) {
  TRecordCache* cache = CacheOf(slot);
  if (!cache) return;
  if (error == 0)
    cache->Store(recno, record);
  else
    cache->Forget(recno);
}

// Records a miss on recno fetches: on a sequential miss as many as the
// cache reads ahead, within the record count; else 1. A table whose records
// live in its index has none in the file to fetch ahead.
uint32_t RecordsToFetch(const TZetTable& t, const TRecordCache* cache, uint32_t recno) {
  if (!cache || recno != cache->sequel || t.countUnknown || t.recordCount <= 0 ||
      recno >= uint32_t(t.recordCount))
    return 1;
  return std::max<uint32_t>(1, std::min(cache->ReadAheadRecords(), uint32_t(t.recordCount) - recno + 1));
}

// Reads record recno into buffer through the cache. A sequential miss reads
// the records after it in the same read (rule 5); when the file ends before
// record recno is whole, the record is read alone, so that it fails as
// before.
int16_t ReadThroughCache(int slot, TZetTable& t, uint32_t recno, uint8_t* buffer) {
  if (recno == 0 || !g_readingEnabled) {
    LOWFILES::Error = 0;
    std::memset(buffer, 0, t.recordLength);
    return 0;
  }
  // Bytes that deletes left behind the last record (tailToCut) are no
  // record, as the cut file holds none there. (Behind the count of a file
  // without such bytes, another process may have appended one.)
  if (int64_t(recno) > int64_t(t.recordCount) && !t.countUnknown && FileOwnerOf(t).tailToCut)
    return LOWFILES::Error = LOWFILES::kErrReadFailed;
  TRecordCache* cache = CacheOf(slot);
  if (cache && cache->Lookup(recno, buffer)) {
    LOWFILES::Error = 0;
    return 0;
  }
  LOWFILES::TLowFile* file = RecordFile(t);
  if (!file) return LOWFILES::Error = LOWFILES::kErrReadFailed;
  const uint32_t ahead = RecordsToFetch(t, cache, recno);
  if (ahead > 1) {
    const size_t length = t.recordLength;
    g_readAhead.resize(ahead * length);
    uint16_t got = 0;
    if (int16_t e = LOWFILES::ReadUpTo(*file, RecordPosition(t, recno), uint16_t(ahead * length),
                                       g_readAhead.data(), got))
      return e;
    const uint32_t fetched = got / length;
    for (uint32_t i = 0; i < fetched; ++i) {
      // A record the cache holds is at least as new as the file's.
      if (i > 0 && cache->Contains(recno + i)) continue;
      uint8_t* record = g_readAhead.data() + i * length;
      Crypt::UnscrambleBlock(record, length, t.tableKey);
      if (i == 0) std::memcpy(buffer, record, length);
      cache->Store(recno + i, record);
    }
    if (fetched > 0) {
      cache->sequel = recno + fetched;
      return 0;
    }
  }
  const int16_t e = LOWFILES::ReadBlock(*file, RecordPosition(t, recno), t.recordLength, t.tableKey, buffer);
  if (e == 0 && cache) {
    cache->Store(recno, buffer);
    cache->sequel = recno + 1;
  }
  return e;
}

// The key of index indexSlot for a record read into record, for navigation
// in index order to go on from it.
int BuildOrderKey(int slot, const TZetTable& t, uint8_t indexSlot, const uint8_t* record, uint32_t recno,
                  uint8_t* key) {
  if (indexSlot >= ZetTable::kIndexSlots || !t.indexes[indexSlot]) return 0;
  return Zet00::MakeKey(slot, indexSlot, record, key, recno);
}

int ReadIntoTableBuffer(int slot, uint32_t recno) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrReadFailed;
  t->recordBuffer.resize(t->recordLength);
  const bool realRead = recno != 0 && g_readingEnabled;
  if (int16_t e = ReadThroughCache(slot, *t, recno, t->recordBuffer.data())) return e;
  if (!realRead || t->orderMode != ZetTable::kOrderIndex) return 0;
  return BuildOrderKey(slot, *t, t->currentIndex, t->recordBuffer.data(), recno, t->currentKey.data());
}

// The record reader the index layer uses to build indexes.
int ReadRecordForIndex(int slot, uint32_t recno, uint8_t* buffer) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::kErrReadFailed;
  return ReadThroughCache(slot, *t, recno, buffer);
}

int16_t PutRecordCount(TZetTable& t, bool onlyWhenChanged) {
  LOWFILES::TLowFile* file = RecordFile(t);
  if (!file) return LOWFILES::kErrWriteFailed;
  uint8_t count[4];
  bytes::PutI32(count, t.recordCount);
  const uint64_t position = Zet00::RecordCountPosition(t.version);
  const int16_t e = onlyWhenChanged ? LOWFILES::WriteBlockIfChanged(*file, position, sizeof count, count)
                                    : LOWFILES::WriteBlock(*file, position, sizeof count, 0, count);
  FileOwnerOf(t).countInFile = e == 0 ? t.recordCount : -1;
  return e;
}


int Fail(int error, std::string_view path) {
  Common::SetFileError(uint16_t(error), path);
  return error;
}

// Cuts the bytes that deletes left behind the last record, once the file's
// header holds the count that ends the records. Answers 0 or 3 (reported).
int CutTail(TZetTable& t) {
  TZetTable& owner = FileOwnerOf(t);
  if (!owner.tailToCut || t.countUnknown || owner.countInFile != t.recordCount || t.recordCount < 0) return 0;
  LOWFILES::TLowFile* file = RecordFile(t);
  if (!file || LOWFILES::TruncateAt(*file, RecordPosition(t, uint32_t(t.recordCount) + 1)) != 0)
    return Fail(Common::kErrWrite, TablePath(t));
  owner.tailToCut = false;
  return 0;
}

// Writes the record count where the file's differs; 3 (reported) on failure.
// The index headers take their count from the file afterwards, so after a
// failure none may be written: an index changed since its header was last
// written then still says unsettled on disk and is rebuilt at the next open,
// instead of claiming the old count over keys of records that count leaves
// out.
int WriteCountIfChanged(TZetTable& t) {
  return PutRecordCount(t, true) == 0 ? 0 : Fail(Common::kErrWrite, TablePath(t));
}

// Whether a flush of the table has something to order: an index whose
// header does not count the table's records yet, chains to free, or a count
// the file does not hold.
bool ChangedSinceFlush(int slot, TZetTable& t) {
  if (!t.pendingChainFrees.empty()) return true;
  for (int index = 0; index < ZetTable::kIndexSlots; ++index) {
    const ZetTable::TIndexDescriptor* d = Zet00::IndexDescriptor(slot, index);
    if (d && d->isOpen && bytes::GetI32(d->header.data() + ZetTable::kIdxRecordCount) != t.recordCount) return true;
  }
  LOWFILES::TLowFile* file = RecordFile(t);
  uint8_t raw[4];
  return !file || LOWFILES::ReadBlock(*file, Zet00::RecordCountPosition(t.version), sizeof raw, 0, raw) != 0 ||
         bytes::GetI32(raw) != t.recordCount;
}

// Syncs the memo, blob and table files, in that order. Answers 0 or 3
// (reported).
int SyncTableFiles(TZetTable& t) {
  if (t.hasMemoFile && t.memoFile.file.isRegistered && LOWFILES::SyncFile(t.memoFile.file) != 0)
    return Fail(Common::kErrWrite, t.memoFile.file.name);
  if (t.hasBlobFile && t.blobFile.file.isRegistered && LOWFILES::SyncFile(t.blobFile.file) != 0)
    return Fail(Common::kErrWrite, t.blobFile.file.name);
  LOWFILES::TLowFile* file = RecordFile(t);
  if (file && LOWFILES::SyncFile(*file) != 0) return Fail(Common::kErrWrite, TablePath(t));
  return 0;
}

// Frees the chains that records of the table stopped naming (see
// pendingChainFrees), once the record count that goes with the change is
// written. Every chain is tried; answers 0 or the first failure as an
// engine error (reported).
int FreePendingChains(TZetTable& t) {
  int error = 0;
  for (const TZetTable::TPendingChain& c : t.pendingChainFrees) {
    const int status = c.blob ? WinBlobs::DeleteBlob(t.blobFile, c.first) : WINMEMOS::DeleteMemo(t.memoFile, c.first);
    // The memo and blob units report what failed; their status 1 stands for
    // a bad block number as well as for a damaged file, so the number is
    // taken from the report.
    if (status != 0 && error == 0) error = -Common::LastError();
  }
  t.pendingChainFrees.clear();
  return error;
}

// ---------------------------------------------------------------------------
// Opening

// Two spellings name one file when both name existing files of the same
// identity; a name that names no existing file matches only itself.
bool SameTableFile(std::string_view path, const platform::FileIdentity* identity, const TZetTable& other) {
  const ShortStr otherPath = TablePath(other);
  platform::FileIdentity otherIdentity;
  if (identity && platform::GetFileIdentity(otherPath, otherIdentity)) return *identity == otherIdentity;
  return otherPath.view() == path;
}

// The first slot other than except whose table file is path; 0 when none.
int SlotOfFile(std::string_view path, int except) {
  platform::FileIdentity identity;
  const bool exists = platform::GetFileIdentity(path, identity);
  for (int h = 1; h <= ZetTable::kTableSlots; ++h) {
    const TZetTable* other = ZetTable::Table(h);
    if (h != except && other && SameTableFile(path, exists ? &identity : nullptr, *other)) return h;
  }
  return 0;
}

// Record 1 of a table read with a wrong key unscrambles to noise: a text
// longer than its field, a choice beyond 15, a negative link.
bool RecordOnePlausible(int slot, TZetTable& t) {
  if (t.recordCount <= 0) return true;
  if (ReadRecord(slot, 1) != 0) return false;
  t.currentRecord = 1;
  const uint8_t* record = t.recordBuffer.data();
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    if (!t.IsStored(n)) continue;
    const uint8_t* value = record + t.FieldOffset(n);
    switch (t.FieldType(n)) {
      case Common::kTypeString:
        if (value[0] > t.SizeCode(n)) return false;
        break;
      case Common::kTypeChoice:
        if (value[0] > kMaxChoiceValue) return false;
        break;
      case Common::kTypeLink:
        if (bytes::GetI32(value) < 0) return false;
        break;
      default: break;
    }
  }
  return true;
}

void CloseSideFiles(TZetTable& t) {
  WINMEMOS::CloseMemoFile(t.memoFile);
  WinBlobs::CloseBlobFile(t.blobFile);
}

// Undoes a failed open: indexes, side files, the table file, the cache and
// the slot.
void DiscardSlot(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return;
  Zet00::CloseIndexes(slot, true);
  CloseSideFiles(*t);
  if (t->tableFile) LOWFILES::CloseLowFile(*t->tableFile, false);
  EndRecordCache(slot);
  ZetTable::RemoveTable(slot);
}


// Whether a change of the table was cut short: an index file whose header
// does not count the table's records (it says unsettled), or that cannot
// be read. The marks stay on the disk until the indexes are rebuilt, so a
// repair cut short is found again. A table without indexes cannot tell.
bool ChangeCutShort(const TZetTable& t) {
  bool anyIndex = false;
  for (int index = 0; index < ZetTable::kIndexSlots; ++index) {
    if (!t.indexes[size_t(index)]) continue;
    anyIndex = true;
    LOWFILES::TLowFile file;
    uint8_t raw[4];
    if (LOWFILES::OpenLowFile(file, Zet00::IndexPath(t, index), LOWFILES::kModeReadShared) != 0) return true;
    const bool read = LOWFILES::ReadBlock(file, BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount, sizeof raw,
                                          0, raw) == 0;
    if (file.isRegistered) LOWFILES::CloseLowFile(file, false);
    if (!read || bytes::GetI32(raw) != t.recordCount) return true;
  }
  return !anyIndex;
}

// A memo or blob file whose header a stopped machine left ahead of its
// blocks (memofiles::LacksBlocks) is taken back to the blocks present, when
// the table may be written. Answers 0 or the error (reported).
int TakeInSideFileBlocks(TZetTable& t) {
  if (!t.Writable()) return 0;
  for (memofiles::TBlockFile* f : {static_cast<memofiles::TBlockFile*>(&t.memoFile),
                                   static_cast<memofiles::TBlockFile*>(&t.blobFile)})
    if (memofiles::LacksBlocks(*f))
      if (int e = memofiles::TakeInBlocksPresent(*f)) return e == memofiles::kStatusDamaged ? 0 : e;
  return 0;
}

// A delete moves the last record into the gap and then writes the smaller
// count; cut short between the two it leaves the last record twice, both
// copies naming the same memo and blob chains. When the last record names a
// non-empty chain that another record names too, that delete is finished:
// the count goes down by one (the indexes, opened afterwards, are rebuilt
// for the new count). Only after a change cut short (ChangeCutShort) is the
// table scanned for it. Answers 0 or the error (reported).
int FinishInterruptedDelete(int slot, TZetTable& t) {
  if (!t.Writable() || t.countUnknown || t.recordCount < 2 || !(t.hasMemoFile || t.hasBlobFile) ||
      !ChangeCutShort(t))
    return 0;
  const uint32_t last = uint32_t(t.recordCount);
  std::vector<uint8_t> record(t.recordLength);
  if (ReadThroughCache(slot, t, last, record.data()) != 0) return Fail(Common::kErrRead, TablePath(t));
  std::vector<TChainRef> lastChains = ChainsNamed(t, record.data());
  if (lastChains.empty()) return 0;
  std::sort(lastChains.begin(), lastChains.end());
  bool copy = false;
  for (uint32_t recno = 1; recno < last && !copy; ++recno) {
    if (ReadThroughCache(slot, t, recno, record.data()) != 0) return Fail(Common::kErrRead, TablePath(t));
    for (const TChainRef& c : ChainsNamed(t, record.data()))
      copy = copy || std::binary_search(lastChains.begin(), lastChains.end(), c);
  }
  if (!copy) return 0;
  --t.recordCount;
  if (int e = WriteCountIfChanged(t)) return e;
  if (LOWFILES::TruncateAt(*t.tableFile, t.headerSize + uint64_t(t.recordCount) * t.recordLength) != 0)
    return Fail(Common::kErrWrite, TablePath(t));
  EndRecordCache(slot);
  StartRecordCache(slot);
  return 0;
}


// A delete whose move of the last record (count, as stored) the guard file
// found whole: when the file still counts that record and holds it at its
// place, it is there twice and the count goes down by one (the indexes,
// unsettled since before the move, are rebuilt at the open). Answers the
// low-level error word.
int16_t FinishGuardedMove(TZetTable& t, uint32_t count, std::span<const uint8_t> stored) {
  if (t.countUnknown || count < 2 || int64_t(count) != int64_t(t.recordCount)) return 0;
  std::vector<uint8_t> last(stored.size());
  uint16_t got = 0;
  if (LOWFILES::ReadUpTo(*t.tableFile, RecordPosition(t, count), uint16_t(last.size()), last.data(), got) != 0)
    return LOWFILES::kErrReadFailed;
  if (got != last.size() || !std::equal(last.begin(), last.end(), stored.begin())) return 0;
  --t.recordCount;
  if (PutRecordCount(t, true) != 0 || LOWFILES::TruncateAt(*t.tableFile, RecordPosition(t, count)) != 0)
    return LOWFILES::kErrWriteFailed;
  return 0;
}

// The automatic-number counter that ends the header, read again.
int RereadAutoNumberCounter(TZetTable& t) {
  if (!t.hasAutoNumber) return 0;
  uint8_t raw[Zet00::kAutoNumberSize];
  if (LOWFILES::ReadBlock(*t.tableFile, t.headerSize - sizeof raw, sizeof raw, 0, raw) != 0)
    return Fail(Common::kErrRead, TablePath(t));
  t.nextAutoNumber = bytes::GetU32(raw);
  return 0;
}

// The steps after the table object is in its slot; the caller discards the
// slot when one fails. Steps that report their own error pass it through.
int OpenInSlot(int slot, TZetTable& t, std::string_view path, std::string_view code) {
  if (LOWFILES::OpenLowFile(*t.tableFile, path, t.fileOpenMode) != 0)
    return Fail(LOWFILES::Error == kAccessDenied ? kErrNoWriteRight : kErrFileNotFound, path);
  if (int e = ReadTableHeader(t)) return e;
  if (int e = ZetTable::CheckPathLengths(t)) return e;
  // A record a crash left half written is put back before anything reads it.
  if (t.Writable() && platform::FileExists(GuardPathOf(t))) {
    if (RecordGuard::Repair(*t.tableFile, GuardPathOf(t), [&t](uint32_t count, std::span<const uint8_t> stored) {
          return FinishGuardedMove(t, count, stored);
        }) != 0)
      return Fail(Common::kErrWrite, path);
    // The automatic-number counter, read with the header, may have been put back.
    if (int e = RereadAutoNumberCounter(t)) return e;
  }
  StartRecordCache(slot);
  t.recordBuffer.assign(t.recordLength, 0);
  if (!HeaderOnly()) {
    t.orderMode = ZetTable::kOrderRecords;
    ZetTable::BuildFieldNameHash(slot);
  }
  if (int e = CheckTableCode(t, code)) return e;
  if (!t.isRelationTable && !RecordOnePlausible(slot, t)) return Fail(kErrWrongCode, path);
  if (HeaderOnly()) return 0;

  if (int e = Zet00::AssignIndexFileNames(t)) return e;
  const bool oemText = Zet00::IsVersion1(t.version);
  if (t.hasMemoFile && WINMEMOS::OpenMemoFile(t.memoFile, SidePath(t, kMemoExtension), t.fileOpenMode,
                                              t.tableKey, uint8_t(t.memoLinkSize), oemText) != 0)
    return memofiles::kErrMemoOpen;
  if (t.hasBlobFile &&
      WinBlobs::OpenBlobFile(t.blobFile, SidePath(t, kBlobExtension), t.fileOpenMode, t.tableKey) != 0) {
    CloseSideFiles(t);
    return memofiles::kErrBlobOpen;
  }
  if (int e = TakeInSideFileBlocks(t)) {
    CloseSideFiles(t);
    return e;
  }
  if (int e = FinishInterruptedDelete(slot, t)) {
    CloseSideFiles(t);
    return e;
  }
  if (Zet00::OpenIndexes(slot) != 0) {
    CloseSideFiles(t);
    return Fail(kErrIndexOpen, path);
  }
  return 0;
}

// Takes the temporary indexes out of the table's slots and deletes their
// files; true when there was one.
bool DropTemporaryIndexes(TZetTable& t) {
  bool dropped = false;
  for (int slot = ZetTable::kMaxIndexSlot; slot >= 0; --slot) {
    const auto& d = t.indexes[size_t(slot)];
    if (!d || d->fileName.view().find(Zet00::kTemporaryMark) == std::string_view::npos) continue;
    const ShortStr path = Zet00::IndexPath(t, slot);
    Zet00::RemoveIndexSlot(t, slot);
    Common::EraseFile(path);
    dropped = true;
  }
  return dropped;
}

}  // namespace

// ---------------------------------------------------------------------------

int OpenTable(int slot, uint16_t openModeWord, std::string_view fileName, uint8_t openFlag, uint32_t tableKey,
              std::string_view code) {
  if (slot < 1 || slot > ZetTable::kMaxOpenTables) return Fail(ZetTable::kErrTooManyTables, fileName);
  const std::string fullPath = Common::ExpandName(fileName);
  if (!Common::PathFits(fullPath)) return Common::RefuseLongPath(fullPath);
  const ShortStr path(fullPath);
  if (!g_skipNameCheck && SlotOfFile(path, slot) != 0) return Fail(kErrAlreadyOpen, path);
  if (EngineHooks::BeforeTableOpen) EngineHooks::BeforeTableOpen(path.view());

  auto table = std::make_unique<TZetTable>();
  const Common::FileNameParts parts = Common::SplitFileName(path);
  table->directory = parts.directory;
  table->fileName = Common::AppendStrCopy(parts.name, parts.extension);
  table->isRelationTable = Common::HasExtension(path, kRelationExtension);
  table->tableFile = std::make_unique<LOWFILES::TLowFile>();
  table->memoLinks32 = false;
  table->memoLinkSize = WINMEMOS::kLinkSize16;
  table->tableKey = tableKey;
  table->openModeWord = openModeWord;
  table->openFlag = openFlag;
  table->fileOpenMode =
      (openModeWord & ZetTable::kRightsMask) ? LOWFILES::kModeReadWriteDenyWrite : LOWFILES::kModeReadShared;
  TZetTable& t = *table;
  if (int e = ZetTable::InstallTable(slot, std::move(table))) return e;

  int error;
  try {
    error = OpenInSlot(slot, t, path, code);
  } catch (...) {
    DiscardSlot(slot);
    throw;
  }
  if (error != 0) {
    DiscardSlot(slot);
    return error;
  }
  if (slot > ZetTable::OpenCount()) ZetTable::SetOpenCount(slot);
  return 0;
}

int OpenSlotOfFile(std::string_view fileName) {
  const std::string path = Common::ExpandName(fileName);
  // No open table has a path that does not fit; a cut one may name another.
  if (!Common::PathFits(path)) return 0;
  return SlotOfFile(ShortStr(path), 0);
}

int CloseTable(int slot) {
  LOWFILES::Error = 0;
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return 0;
  int error = 0;
  if (!HeaderOnly()) {
    // A table of its own writes what it keeps in memory, as a flush does:
    // the count, then the index headers (which close with their pages). An
    // alias's count and index headers are those of the table it aliases,
    // which writes them.
    const bool ownsFile = t->aliasOf == 0;
    // In the order of a flush (FlushTable).
    if (ownsFile && t->Writable()) {
      if (ChangedSinceFlush(slot, *t)) error = SyncTableFiles(*t);
      if (error == 0) error = WriteCountIfChanged(*t);
    }
    const bool countWritten = error == 0;
    if (countWritten && ownsFile && !t->pendingChainFrees.empty()) {
      error = LOWFILES::SyncFile(*t->tableFile) != 0 ? Fail(Common::kErrWrite, TablePath(*t)) : FreePendingChains(*t);
    }
    if (countWritten && ownsFile && t->Writable())
      if (int e = CutTail(*t); e != 0 && error == 0) error = e;
    if (ownsFile && t->Writable()) RecordGuard::Remove(*t->tableFile, GuardPathOf(*t));
    // An alias's own temporary indexes go with it; the directory it would
    // rewrite belongs to the table it aliases.
    if (DropTemporaryIndexes(*t) && t->Writable() && ownsFile && Zet00::WriteIndexDirectory(slot) < 0 && error == 0)
      error = Common::kErrWrite;
    CloseSideFiles(*t);
    if (int e = Zet00::CloseIndexes(slot, !ownsFile || !countWritten); e != 0 && error == 0) error = e;
  }
  if (t->tableFile) LOWFILES::CloseLowFile(*t->tableFile, false);
  EndRecordCache(slot);
  ZetTable::RemoveTable(slot);
  return error;
}

int ReadRecord(int slot, uint32_t recno) { return ReadIntoTableBuffer(slot, recno); }

int ReadRecordRun(int slot, uint32_t first, uint32_t count, uint8_t* records, uint32_t& got) {
  got = 0;
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrReadFailed;
  if (!g_readingEnabled || t->countUnknown || first == 0 || int64_t(first) > int64_t(t->recordCount)) return 0;
  LOWFILES::TLowFile* file = RecordFile(*t);
  if (!file) return LOWFILES::Error = LOWFILES::kErrReadFailed;
  const size_t length = t->recordLength;
  count = std::min({count, uint32_t(t->recordCount) - first + 1, uint32_t(kMaxBlockBytes / length)});
  uint16_t bytes = 0;
  if (int16_t e = LOWFILES::ReadUpTo(*file, RecordPosition(*t, first), uint16_t(count * length), records, bytes))
    return e;
  got = uint32_t(bytes / length);
  const TRecordCache* cache = CacheOf(slot);
  for (uint32_t i = 0; i < got; ++i) {
    uint8_t* record = records + i * length;
    if (!cache || !cache->Lookup(first + i, record)) Crypt::UnscrambleBlock(record, length, t->tableKey);
  }
  return 0;
}

int ReadRecordInto(int slot, uint32_t recno, uint8_t* buffer, uint8_t* keyBuffer, uint8_t indexSlot,
                   uint8_t orderMode) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrReadFailed;
  const bool realRead = recno != 0 && g_readingEnabled;
  if (int16_t e = ReadThroughCache(slot, *t, recno, buffer)) return e;
  if (!realRead || orderMode != ZetTable::kOrderIndex) return 0;
  return BuildOrderKey(slot, *t, indexSlot, buffer, recno, keyBuffer);
}

int RereadCurrentRecord(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrReadFailed;
  if (!t->countUnknown || t->currentRecord == 0) return ReadRecord(slot, t->currentRecord);
  t->recordBuffer.resize(t->recordLength);
  TRecordCache* cache = CacheOf(slot);
  if (cache && cache->Lookup(t->currentRecord, t->recordBuffer.data())) {
    if (t->orderMode != ZetTable::kOrderIndex) return 0;
    return BuildOrderKey(slot, *t, t->currentIndex, t->recordBuffer.data(), t->currentRecord,
                         t->currentKey.data());
  }
  Zet00::KeyToRecord(slot, t->currentKey.data(), t->recordBuffer.data());
  if (cache) cache->Store(t->currentRecord, t->recordBuffer.data());
  return 0;
}

int WriteRecord(int slot, uint32_t recno) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  for (auto& named : t->namedSlots) named = {};
  if (recno < 1 || int64_t(recno) > int64_t(t->recordCount) + 1) return LOWFILES::Error = kErrRecordRange;
  t->recordBuffer.resize(t->recordLength);
  LOWFILES::TLowFile* file = RecordFile(*t);
  // An appended record may wait in the file's write-behind buffer with the
  // records appended before it: it reaches the file before any other access
  // to the file, the count that takes it in included (lowfiles.h, rules 6-8).
  // A record written over an old one goes through the guard when it crosses
  // a page (WriteRecordAt); an append has no old bytes to keep.
  const bool append = int64_t(recno) == int64_t(t->recordCount) + 1;
  const int16_t e = !file  ? (LOWFILES::Error = LOWFILES::kErrWriteFailed)
                    : append ? LOWFILES::WriteBehind(*file, RecordPosition(*t, recno), t->recordLength,
                                                     t->tableKey, t->recordBuffer.data())
                             : WriteRecordAt(*t, *file, recno, t->recordBuffer.data());
  CacheWritten(slot, recno, t->recordBuffer.data(), e);
  return e;
}

int WriteMovedRecord(int slot, uint32_t recno, uint32_t from) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  for (auto& named : t->namedSlots) named = {};
  if (recno < 1 || recno >= from || int64_t(from) > int64_t(t->recordCount)) return LOWFILES::Error = kErrRecordRange;
  t->recordBuffer.resize(t->recordLength);
  LOWFILES::TLowFile* file = RecordFile(*t);
  // Only a count in the file that takes in the moved record can leave it
  // twice (appends not yet flushed stand beyond the file's count).
  const int32_t inFile = FileOwnerOf(*t).countInFile;
  const uint32_t movedFrom = inFile >= 0 && int64_t(inFile) < int64_t(from) ? 0 : from;
  const int16_t e = file ? WriteRecordAt(*t, *file, recno, t->recordBuffer.data(), movedFrom)
                         : (LOWFILES::Error = LOWFILES::kErrWriteFailed);
  CacheWritten(slot, recno, t->recordBuffer.data(), e);
  return e;
}

int16_t WriteGuardedBytes(int slot, uint64_t position, const uint8_t* stored, uint16_t length) {
  TZetTable* t = ZetTable::Table(slot);
  LOWFILES::TLowFile* file = t ? RecordFile(*t) : nullptr;
  if (!file) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  return RecordGuard::WriteRecord(*file, GuardPathOf(*t), position, stored, length);
}

int RetireMoveGuard(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  LOWFILES::TLowFile* file = t ? RecordFile(*t) : nullptr;
  if (!file || RecordGuard::Retire(*file, GuardPathOf(*t)) != 0) return Fail(Common::kErrWrite, t ? TablePath(*t) : "");
  return 0;
}

int WriteRecordChange(int slot, uint32_t recno, const uint8_t* oldRecord) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  if (recno < 1 || int64_t(recno) > int64_t(t->recordCount)) return LOWFILES::Error = kErrRecordRange;
  t->recordBuffer.resize(t->recordLength);
  LOWFILES::TLowFile* file = RecordFile(*t);
  if (!file) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  // The stored forms of both: a scrambled record may differ in more bytes
  // than its plain form does.
  std::vector<uint8_t> before(oldRecord, oldRecord + t->recordLength);
  std::vector<uint8_t> after(t->recordBuffer);
  Crypt::ScrambleBlock(before.data(), before.size(), t->tableKey);
  Crypt::ScrambleBlock(after.data(), after.size(), t->tableKey);
  size_t first = 0, end = after.size();
  while (first < end && before[first] == after[first]) ++first;
  while (end > first && before[end - 1] == after[end - 1]) --end;
  if (first == end) return 0;
  for (auto& named : t->namedSlots) named = {};
  const uint64_t position = RecordPosition(*t, recno);
  const int16_t e = RecordGuard::CrossesPage(position + first, end - first)
                        ? WriteRecordAt(*t, *file, recno, t->recordBuffer.data())
                        : LOWFILES::WriteBlock(*file, position + first, uint16_t(end - first), 0, after.data() + first);
  CacheWritten(slot, recno, t->recordBuffer.data(), e);
  return e;
}

int WriteRecords(int slot, uint32_t first, const uint8_t* records, uint32_t count) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  for (auto& named : t->namedSlots) named = {};
  if (first < 1 || int64_t(first) > int64_t(t->recordCount) + 1) return LOWFILES::Error = kErrRecordRange;
  LOWFILES::TLowFile* file = RecordFile(*t);
  if (!file) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  const size_t length = t->recordLength;
  const uint32_t perBlock = std::max<uint32_t>(1, uint32_t(kMaxBlockBytes / length));
  std::vector<uint8_t> block;
  TRecordCache* cache = CacheOf(slot);
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = std::min(perBlock, count - done);
    block.assign(records + done * length, records + (done + n) * length);
    for (uint32_t i = 0; i < n; ++i) Crypt::ScrambleBlock(block.data() + i * length, length, t->tableKey);
    const int16_t e = LOWFILES::WriteBlock(*file, RecordPosition(*t, first + done), uint16_t(n * length), 0,
                                           block.data());
    for (uint32_t i = 0; cache && i < n; ++i) {
      if (e == 0)
        cache->Store(first + done + i, records + (done + i) * length);
      else
        cache->Forget(first + done + i);
    }
    if (e != 0) return e;
    done += n;
  }
  return 0;
}

void CacheCurrentRecord(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  TRecordCache* cache = CacheOf(slot);
  if (!t || !cache || t->currentRecord == 0) return;
  t->recordBuffer.resize(t->recordLength);
  cache->Store(t->currentRecord, t->recordBuffer.data());
}

void ForgetCachedRecord(int slot, uint32_t recno) {
  if (TRecordCache* cache = CacheOf(slot)) cache->Forget(recno);
}

void ClearRecordCache(int slot) {
  if (TRecordCache* cache = CacheOf(slot)) cache->Clear();
}

void StartRecordCache(int slot) {
  const TZetTable* t = ZetTable::Table(slot);
  if (!t) return;
  TCacheShare& share = g_caches[size_t(slot - 1)];
  share.table = t;
  TRecordCache* owner = t->aliasOf != 0 ? CacheOf(t->aliasOf) : nullptr;
  if (owner && owner->RecordLength() == t->recordLength)
    share.cache = g_caches[size_t(t->aliasOf - 1)].cache;
  else
    share.cache = std::make_shared<TRecordCache>(t->recordLength);
}

void EndRecordCache(int slot) {
  if (slot < 1 || slot > ZetTable::kTableSlots) return;
  g_caches[size_t(slot - 1)] = {};
}

uint16_t RecordCacheSlots(int slot) {
  const TRecordCache* cache = CacheOf(slot);
  return cache ? cache->Slots() : 0;
}

size_t RecordCacheBytes(int slot) {
  const TRecordCache* cache = CacheOf(slot);
  return cache ? cache->CapacityBytes() : 0;
}

void SetRecordCacheBudget(size_t bytes) { g_growBudget = bytes; }
size_t RecordCacheBudget() { return g_growBudget; }
size_t RecordCacheGrownBytes() { return g_grownBytes; }

int ReadRecordCount(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return Common::kErrRead;
  LOWFILES::TLowFile* file = RecordFile(*t);
  uint8_t count[4];
  if (!file || LOWFILES::ReadBlock(*file, Zet00::RecordCountPosition(t->version), sizeof count, 0, count) != 0)
    return Fail(Common::kErrRead, TablePath(*t));
  t->recordCount = bytes::GetI32(count);
  FileOwnerOf(*t).countInFile = t->recordCount;
  return 0;
}

int WriteRecordCount(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return Common::kErrWrite;
  if (PutRecordCount(*t, false) != 0) return Fail(Common::kErrWrite, TablePath(*t));
  return 0;
}

int FlushTable(int slot, bool writeCount) {
  if (g_deferredFlush) return 0;
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return 0;
  int error = 0;
  if (t->Writable()) {
    // What reaches the disk first: memo and blob chains, then the records
    // that name them, then the count that counts them; an index's pages
    // before the count that settles it (WriteIndexHeader); and the count
    // before the freeing of chains the records stopped naming.
    if (writeCount && ChangedSinceFlush(slot, *t)) error = SyncTableFiles(*t);
    if (writeCount && error == 0) error = WriteCountIfChanged(*t);
    if (error == 0)
      for (int index = Zet00::FirstIndexSlot(*t); index <= t->highestIndexSlot; ++index)
        if (int e = Zet00::WriteIndexHeader(slot, index); e != 0 && error == 0) error = e;
    if (writeCount && error == 0 && !t->pendingChainFrees.empty()) {
      if (LOWFILES::SyncFile(*t->tableFile) != 0) error = Fail(Common::kErrWrite, TablePath(*t));
      if (error == 0) error = FreePendingChains(*t);
    }
    if (writeCount && error == 0) error = CutTail(*t);
  }
  LOWFILES::FreeHandles(0);
  return error;
}

int FlushDeferredTables() {
  if (!g_deferredFlush) return 0;
  g_deferredFlush = false;
  int error = 0;
  for (int slot = 1; slot <= ZetTable::OpenCount(); ++slot)
    if (int e = FlushTable(slot, true); e != 0 && error == 0) error = e;
  return error;
}

std::vector<TChainRef> ChainsNamed(const TZetTable& t, const uint8_t* record) {
  std::vector<TChainRef> chains;
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    const uint8_t type = t.FieldType(n);
    const bool memo = type == Common::kTypeMemo && t.hasMemoFile;
    const bool blob = type == Common::kTypeBlob && t.hasBlobFile;
    if (!t.IsStored(n) || !(memo || blob)) continue;
    Common::FieldValue value;
    Common::GetFieldAsNumber(record, t.Place(n), t.version, value);
    if (value.block != 0 && value.block != WINMEMOS::kInMemoryMemo) chains.push_back({blob, value.block});
  }
  return chains;
}

bool IsValidField(int slot, uint16_t n) {
  const TZetTable* t = ZetTable::Table(slot);
  return slot >= 1 && slot <= ZetTable::OpenCount() && t && t->ValidField(n);
}

void SetCurrentTable(int slot) {
  if (slot != 0) ZetTable::SetCurrentHandle(slot);
}

bool ReadingEnabled() { return g_readingEnabled; }
void SetReadingEnabled(bool on) { g_readingEnabled = on; }
bool SkipNameCheck() { return g_skipNameCheck; }
void SetSkipNameCheck(bool on) { g_skipNameCheck = on; }
void EnterHeaderOnly() { ++g_headerOnlyDepth; }
void LeaveHeaderOnly() {
  if (g_headerOnlyDepth > 0) --g_headerOnlyDepth;
}
bool HeaderOnly() { return g_headerOnlyDepth > 0; }
bool DeferredFlush() { return g_deferredFlush; }
void SetDeferredFlush(bool on) { g_deferredFlush = on; }

void UnitInit() {
  for (TCacheShare& share : g_caches) share = {};
  g_growBudget = 0;
  std::vector<uint8_t>().swap(g_readAhead);
  g_readingEnabled = true;
  g_skipNameCheck = false;
  g_headerOnlyDepth = 0;
  g_deferredFlush = false;
  Zet00::ReadRecordHook = ReadRecordForIndex;
  Zet06::CloseTableHook = [](int slot) { CloseTable(slot); };
}

void UnitDone() {
  for (TCacheShare& share : g_caches) share = {};
  std::vector<uint8_t>().swap(g_readAhead);
}

}  // namespace Zet01
