#include "engine/storage/zet01_open.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/storage/bytes.h"
#include "engine/storage/common.h"
#include "engine/storage/lowfiles.h"
#include "engine/storage/memofiles.h"
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

// One table's ring of cached records (rules 1-3 of the header).
class TRecordCache {
 public:
  explicit TRecordCache(uint16_t recordLength)
      : length_(recordLength),
        slots_(uint16_t(std::min<uint32_t>(kCacheBytes / recordLength, kMaxCacheSlots))),
        numbers_(slots_, 0),
        bytes_(size_t(slots_) * recordLength) {}

  uint16_t Slots() const { return slots_; }
  uint16_t RecordLength() const { return length_; }

  bool Lookup(uint32_t recno, uint8_t* out) const {
    auto it = where_.find(recno);
    if (it == where_.end()) return false;
    std::memcpy(out, Bytes(it->second), length_);
    return true;
  }

  void Store(uint32_t recno, const uint8_t* record) {
    auto it = where_.find(recno);
    uint16_t slot;
    if (it != where_.end()) {
      slot = it->second;
    } else {
      slot = last_ = uint16_t(last_ % slots_ + 1);
      if (numbers_[slot - 1] != 0) where_.erase(numbers_[slot - 1]);
      numbers_[slot - 1] = recno;
      where_[recno] = slot;
    }
    std::memcpy(Bytes(slot), record, length_);
  }

  void Forget(uint32_t recno) {
    auto it = where_.find(recno);
    if (it == where_.end()) return;
    numbers_[it->second - 1] = 0;
    where_.erase(it);
  }

  void Clear() {
    std::fill(numbers_.begin(), numbers_.end(), 0);
    where_.clear();
  }

 private:
  uint8_t* Bytes(uint16_t slot) { return bytes_.data() + size_t(slot - 1) * length_; }
  const uint8_t* Bytes(uint16_t slot) const { return bytes_.data() + size_t(slot - 1) * length_; }

  uint16_t length_;
  uint16_t slots_;
  uint16_t last_ = 0;  // the slot filled last (1-based; 0 before the first)
  std::vector<uint32_t> numbers_;
  std::vector<uint8_t> bytes_;
  // Record number -> its slot, beside the ring, so a lookup needs no scan.
  std::unordered_map<uint32_t, uint16_t> where_;
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

uint64_t RecordPosition(const TZetTable& t, uint32_t recno) {
  return t.headerSize + uint64_t(recno - 1) * t.recordLength;
}

// Reads record recno into buffer through the cache.
int16_t ReadThroughCache(int slot, TZetTable& t, uint32_t recno, uint8_t* buffer) {
  if (recno == 0 || !g_readingEnabled) {
    LOWFILES::Error = 0;
    std::memset(buffer, 0, t.recordLength);
    return 0;
  }
  TRecordCache* cache = CacheOf(slot);
  if (cache && cache->Lookup(recno, buffer)) {
    LOWFILES::Error = 0;
    return 0;
  }
  LOWFILES::TLowFile* file = RecordFile(t);
  if (!file) return LOWFILES::Error = LOWFILES::kErrReadFailed;
  const int16_t e = LOWFILES::ReadBlock(*file, RecordPosition(t, recno), t.recordLength, t.tableKey, buffer);
  if (e == 0 && cache) cache->Store(recno, buffer);
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
  return onlyWhenChanged ? LOWFILES::WriteBlockIfChanged(*file, position, sizeof count, count)
                         : LOWFILES::WriteBlock(*file, position, sizeof count, 0, count);
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

int Fail(int error, std::string_view path) {
  Common::SetFileError(uint16_t(error), path);
  return error;
}

// The steps after the table object is in its slot; the caller discards the
// slot when one fails. Steps that report their own error pass it through.
int OpenInSlot(int slot, TZetTable& t, std::string_view path, std::string_view code) {
  if (LOWFILES::OpenLowFile(*t.tableFile, path, t.fileOpenMode) != 0)
    return Fail(LOWFILES::Error == kAccessDenied ? kErrNoWriteRight : kErrFileNotFound, path);
  if (int e = ReadTableHeader(t)) return e;
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
  const ShortStr path(Common::ExpandName(fileName));
  if (!g_skipNameCheck && SlotOfFile(path, slot) != 0) return Fail(kErrAlreadyOpen, path);

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
  return SlotOfFile(ShortStr(Common::ExpandName(fileName)), 0);
}

int CloseTable(int slot) {
  LOWFILES::Error = 0;
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return 0;
  int error = 0;
  if (!HeaderOnly()) {
    // An alias's own temporary indexes go with it; the directory it would
    // rewrite belongs to the table it aliases.
    if (DropTemporaryIndexes(*t) && t->Writable() && t->aliasOf == 0 && Zet00::WriteIndexDirectory(slot) < 0)
      error = Common::kErrWrite;
    CloseSideFiles(*t);
    if (int e = Zet00::CloseIndexes(slot, t->aliasOf != 0); e != 0 && error == 0) error = e;
  }
  if (t->tableFile) LOWFILES::CloseLowFile(*t->tableFile, false);
  EndRecordCache(slot);
  ZetTable::RemoveTable(slot);
  return error;
}

int ReadRecord(int slot, uint32_t recno) { return ReadIntoTableBuffer(slot, recno); }

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
  const int16_t e = file ? LOWFILES::WriteBlock(*file, RecordPosition(*t, recno), t->recordLength, t->tableKey,
                                                t->recordBuffer.data())
                         : (LOWFILES::Error = LOWFILES::kErrWriteFailed);
  if (TRecordCache* cache = CacheOf(slot)) {
    if (e == 0)
      cache->Store(recno, t->recordBuffer.data());
    else
      cache->Forget(recno);
  }
  return e;
}

void CacheCurrentRecord(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  TRecordCache* cache = CacheOf(slot);
  if (!t || !cache || t->currentRecord == 0) return;
  t->recordBuffer.resize(t->recordLength);
  cache->Store(t->currentRecord, t->recordBuffer.data());
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

int ReadRecordCount(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return Common::kErrRead;
  LOWFILES::TLowFile* file = RecordFile(*t);
  uint8_t count[4];
  if (!file || LOWFILES::ReadBlock(*file, Zet00::RecordCountPosition(t->version), sizeof count, 0, count) != 0)
    return Fail(Common::kErrRead, TablePath(*t));
  t->recordCount = bytes::GetI32(count);
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
    if (writeCount && PutRecordCount(*t, true) != 0) error = Fail(Common::kErrWrite, TablePath(*t));
    for (int index = Zet00::FirstIndexSlot(*t); index <= t->highestIndexSlot; ++index)
      if (int e = Zet00::WriteIndexHeader(slot, index); e != 0 && error == 0) error = e;
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
  g_readingEnabled = true;
  g_skipNameCheck = false;
  g_headerOnlyDepth = 0;
  g_deferredFlush = false;
  Zet00::ReadRecordHook = ReadRecordForIndex;
  Zet06::CloseTableHook = [](int slot) { CloseTable(slot); };
}

void UnitDone() {
  for (TCacheShare& share : g_caches) share = {};
}

}  // namespace Zet01
