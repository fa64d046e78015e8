#include "engine/storage/zet01_edit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common_errors.h"
#include "engine/base/engassert.h"
#include "engine/base/lowfiles.h"
#include "engine/base/uppercas.h"
#include "engine/storage/btrees.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace Zet01 {

TFormulaProc FormulaHook = nullptr;

namespace {

using ZetTable::TZetTable;
using KeyBuffer = std::array<uint8_t, ZetTable::kMaxKeySize>;
using Record = std::vector<uint8_t>;

// Open mode word of the open that deletes a table: every right.
constexpr uint16_t kAllRights = 65535;
// Index that keeps the entries of a table whose count is unknown.
constexpr int kCountUnknownIndex = 1;
constexpr int kCountUnknownRelationIndex = 2;
// Index of a relation table that keys the pair of auto numbers.
constexpr int kRelationPairIndex = 3;
// RelationEntriesFromText: parts are separated by this and cut to this.
constexpr char kRelationSeparator = '/';
constexpr size_t kMaxRelationPart = 60;
// Fields of a relation table entry.
constexpr uint16_t kRelationOwnField = 1;
constexpr uint16_t kRelationLinkedField = 2;
// Mode of GetFieldValue that always reads the record buffer.
constexpr int kModeFromRecord = 3;

uint16_t g_duplicateIndex = 0;
uint8_t g_afterDeleteEnd = 0;
bool g_notifySwitch = true;
TBlockFieldRead g_lastBlockRead;

ShortStr TablePath(const TZetTable& t) { return Common::AppendStrCopy(t.directory, t.fileName); }

uint32_t RecordCount(const TZetTable& t) { return uint32_t(std::max(t.recordCount, 0)); }

// Reports an error with a file name and answers it.
int Report(uint16_t error, std::string_view path) {
  Common::SetFileError(error, path);
  return error;
}

// The file the records live in: the table's own, or that of the table an
// alias shares.
LOWFILES::TLowFile* RecordFile(const TZetTable& t) {
  if (t.tableFile) return t.tableFile.get();
  const TZetTable* owner = t.aliasOf != 0 ? ZetTable::Table(t.aliasOf) : nullptr;
  return owner ? owner->tableFile.get() : nullptr;
}


// Cuts the table file behind its last record.
int CutBehindLastRecord(const TZetTable& t) {
  LOWFILES::TLowFile* file = RecordFile(t);
  const uint64_t end = t.headerSize + uint64_t(RecordCount(t)) * t.recordLength;
  if (!file || LOWFILES::TruncateAt(*file, end) != 0) return Report(Common::kErrWrite, TablePath(t));
  return 0;
}

// The index slots a table uses, in order (held in place: every edit walks
// them several times).
class TIndexSlots {
 public:
  explicit TIndexSlots(const TZetTable& t) {
    for (int s = Zet00::FirstIndexSlot(t); s <= t.highestIndexSlot && s < ZetTable::kIndexSlots; ++s)
      if (t.indexes[size_t(s)]) slots_[count_++] = s;
  }
  const int* begin() const { return slots_.data(); }
  const int* end() const { return slots_.data() + count_; }

 private:
  std::array<int, ZetTable::kIndexSlots> slots_{};
  size_t count_ = 0;
};

// Opens every index of the table; false when one cannot be opened.
bool IndexesAvailable(int slot, const TZetTable& t) {
  for (int s : TIndexSlots(t))
    if (!Zet00::IndexAvailable(slot, s, false)) return false;
  return true;
}

int32_t HeaderCount(const ZetTable::TIndexDescriptor& d) {
  return bytes::GetI32(d.header.data() + ZetTable::kIdxRecordCount);
}

// The key operations move an unsettled count by one per key; it stays far
// below every count a table can have.
bool Unsettled(const ZetTable::TIndexDescriptor& d) { return HeaderCount(d) < Zet00::kUnsettledCount / 2; }

// The first change of an index after its header was written: the file's
// header is made to say unsettled before any page changes (see the crash
// rules in the header). A table whose records live only in its index counts
// them in the index's header; it is left alone. Through an alias the
// indexes are those of the table it aliases (and the alias's own temporary
// ones).
int MarkIndexesUnsettled(int slot, TZetTable& t) {
  if (t.countUnknown) return 0;
  uint8_t raw[sizeof(int32_t)];
  bytes::PutI32(raw, Zet00::kUnsettledCount);
  for (int s = 0; s < ZetTable::kIndexSlots; ++s) {
    ZetTable::TIndexDescriptor* d = Zet00::IndexDescriptor(slot, s);
    if (!d || Unsettled(*d)) continue;
    BTREES::PTree tree = Zet00::IndexTree(slot, s);
    if (!tree) continue;
    // The mark is on the disk before any page it covers.
    if (LOWFILES::WriteBlock(tree->file, BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount, sizeof raw, 0,
                             raw) != 0 ||
        LOWFILES::SyncFile(tree->file) != 0)
      return Report(Common::kErrWrite, Zet00::IndexPath(t, s));
    bytes::PutI32(d->header.data() + ZetTable::kIdxRecordCount, Zet00::kUnsettledCount);
  }
  return 0;
}

// The key of a record moved from number `from` to `to` in index s: in place
// when no other key lies between the two.
int RenumberKey(int slot, TZetTable& t, int s, const uint8_t* record, uint32_t from, uint32_t to) {
  KeyBuffer oldKey{}, newKey{};
  if (int e = Zet00::MakeKey(slot, s, record, oldKey.data(), from)) return e;
  if (int e = Zet00::MakeKey(slot, s, record, newKey.data(), to)) return e;
  if (Zet00::IndexReplaceKey(slot, s, oldKey.data(), newKey.data()) == Zet00::kStatusFound) return 0;
  return Report(kErrIndexDelete, Zet00::IndexPath(t, s));
}

// One key of a record deleted from or inserted into index s. A key that is
// not there to delete, or there already, means the index did not agree
// with the records: that fails too.
int ChangeKey(int slot, TZetTable& t, int s, const uint8_t* record, uint32_t recno, bool insert) {
  KeyBuffer key{};
  if (int e = Zet00::MakeKey(slot, s, record, key.data(), recno)) return e;
  t.currentKey = key;
  const uint8_t status = insert ? Zet00::IndexInsertKey(slot, s) : Zet00::IndexDeleteKey(slot, s);
  if (status == Zet00::kStatusFound) return 0;
  const uint16_t error = insert ? Zet00::kErrIndexCreate : kErrIndexDelete;
  return Report(error, Zet00::IndexPath(t, s));
}

// Flushes a table after a change; a change made through an alias is
// flushed from the table it aliases, whose files took it. A flush that
// failed may have left index headers that claim the count of the file while
// the keys name the records in memory: they are marked unsettled again.
int FlushAfterChange(int slot, TZetTable& t) {
  const int error = FlushTable(t.aliasOf != 0 ? t.aliasOf : slot, true);
  if (error != 0) MarkIndexesUnsettled(slot, t);
  return error;
}

// After a delete the records end at the new count; the bytes of the old
// last record stay behind them until a flush that writes the count cuts
// the file (tailToCut). A delete with flush writes the count and cuts now;
// when that flush is deferred or fails, the file is cut at once as before.
// Without flush, a count in the file that still takes in the old last
// record is lowered at once, after a sync of the moved record: a stop
// before the next flush then never finds that record twice, nor loses it (a count that the file holds lower, with appends not
// yet flushed, stays: the records it takes in are all still there). When
// the file's count is not known the file is cut at once. Answers 0 or the
// error (reported).
int EndRecordsAtCount(int slot, TZetTable& t, bool flush) {
  TZetTable* owner = ZetTable::FileOwner(slot);
  if (!owner) return 0;
  owner->tailToCut = true;
  const int flushed = flush ? FlushAfterChange(slot, t) : 0;
  int error = 0;
  if (flush && owner->tailToCut) {
    // The flush was deferred or failed before its cut: the file is cut
    // now, as the count would end it.
    if ((error = CutBehindLastRecord(t)) == 0) owner->tailToCut = false;
  } else if (owner->countInFile >= 0 && owner->countInFile <= t.recordCount) {
    error = 0;
  } else if (LOWFILES::TLowFile* file = RecordFile(t); !file || LOWFILES::SyncFile(*file) != 0) {
    // The moved record reaches the disk before the count (or the cut) that
    // leaves its old place out: a machine that stops in between keeps it.
    error = Report(Common::kErrWrite, TablePath(t));
  } else if (owner->countInFile > t.recordCount) {
    error = WriteRecordCount(slot);
  } else if ((error = CutBehindLastRecord(t)) == 0) {
    owner->tailToCut = false;
  }
  return flushed != 0 ? flushed : error;
}

// Rebuilds every index of the table from its records after an operation
// failed half-way. An index whose rebuild fails stays out of use, its file
// saying unsettled, and is rebuilt when the table is opened next. Every
// index is tried; answers 0 or the first rebuild's error (reported).
int RebuildAfterFailure(int slot, const TZetTable& t) {
  int first = 0;
  for (int s : TIndexSlots(t))
    if (int e = Zet00::RebuildIndex(slot, s); e != 0 && first == 0) first = e;
  return first;
}

// The temporary indexes of the other slots on the same file (an alias and
// the table it aliases; zet00_index.h, rule 4) are their own trees, which a
// change through this slot does not reach key by key: they are built again
// from the records, so that a search through them never finds a stale key (a
// temporary index holds at most kMaxRecordsForTemporaryIndex records). One
// whose rebuild fails stays out of use and fails at its next use; the change
// itself stands.
void RefreshOtherTemporaryIndexes(int slot) {
  const TZetTable* owner = ZetTable::FileOwner(slot);
  for (int other = 1; owner && other <= ZetTable::OpenCount(); ++other) {
    const TZetTable* o = other == slot ? nullptr : ZetTable::Table(other);
    if (!o || ZetTable::FileOwner(other) != owner) continue;
    for (int s : TIndexSlots(*o))
      if (o->indexes[size_t(s)]->fileName.view().find(Zet00::kTemporaryMark) != std::string_view::npos)
        Zet00::RebuildIndex(other, s);
  }
}

// The error that a failed operation answers after its rollback: a step of
// the rollback that failed tells more about the table's state than the
// failure that started it, so its report stands.
int AfterRollback(int failure, int rollback) { return rollback != 0 ? rollback : failure; }

// Writes record bytes as record recno (the record buffer is used and keeps
// them). Answers the write's error word.
int WriteRecordBytes(int slot, TZetTable& t, const Record& record, uint32_t recno) {
  t.recordBuffer = record;
  return WriteRecord(slot, recno);
}

int SlotOfCountUnknown(const TZetTable& t) {
  return t.isRelationTable ? kCountUnknownRelationIndex : kCountUnknownIndex;
}

// A table whose count is unknown keeps its records as keys of one index.
int AppendIndexOnlyRecord(int slot, TZetTable& t) {
  const int s = SlotOfCountUnknown(t);
  if (!Zet00::IndexAvailable(slot, s, false)) return Common::kErrWrite;
  t.currentRecord = t.isRelationTable ? uint32_t(HeaderCount(*Zet00::IndexDescriptor(slot, s)) + 1) : t.nextAutoNumber;
  if (int e = ChangeKey(slot, t, s, t.recordBuffer.data(), t.currentRecord, true)) return e;
  CacheCurrentRecord(slot);
  return 0;
}

int UpdateIndexOnlyRecord(int slot, TZetTable& t, const uint8_t* oldRecord) {
  const int s = SlotOfCountUnknown(t);
  if (!Zet00::IndexAvailable(slot, s, false)) return Common::kErrWrite;
  if (int e = ChangeKey(slot, t, s, oldRecord, t.currentRecord, false)) return e;
  if (int e = ChangeKey(slot, t, s, t.recordBuffer.data(), t.currentRecord, true)) return e;
  CacheCurrentRecord(slot);
  return 0;
}

// The current key's entry goes; the entry now at its place (or the last
// one when none follows) becomes current.
int DeleteIndexOnlyRecord(int slot, TZetTable& t, bool flush) {
  const int s = SlotOfCountUnknown(t);
  if (Zet00::IndexDeleteKey(slot, s) != Zet00::kStatusFound)
    return Report(kErrIndexDelete, Zet00::IndexPath(t, s));
  uint8_t status = Zet00::IndexSeek(slot, s);
  g_afterDeleteEnd = status == Zet00::kStatusFound ? 0 : 1;
  if (status != Zet00::kStatusFound) status = Zet00::IndexLast(slot, s);
  t.currentRecord = status == Zet00::kStatusFound ? Zet00::KeyRecordNumber(t.currentKey.data()) : 0;
  if (flush)
    if (int e = Zet00::WriteIndexHeader(slot, s)) return e;
  RereadCurrentRecord(slot);
  return 0;
}

// The slot of the index whose keys name records by text.
int KeyTextSlot(const TZetTable& t) { return t.keyTextIndex != 0 ? t.keyTextIndex : 1; }

// The record of the linked table whose key text is text, appended when it
// has none; autoNumber gets its auto number. The linked table's position is
// kept.
int FindOrAppendLinked(int linked, std::string_view text, int32_t& autoNumber) {
  TZetTable* lt = ZetTable::Table(linked);
  autoNumber = 0;
  if (!lt) return 0;
  const int s = KeyTextSlot(*lt);
  KeyBuffer wanted{};
  if (int e = Zet00::KeyFromText(linked, s, text, wanted.data(), 0)) return e;
  Zet00::PushTablePosition(linked);
  int error = 0;
  lt->currentKey = wanted;
  const uint8_t status = Zet00::IndexSeek(linked, s);
  if (status == Zet00::kStatusFailed) {
    error = Zet00::kErrIndexWrite;
  } else if (status == Zet00::kStatusFound &&
             Zet00::SameKey(lt->currentKey.data(), wanted.data(), lt->indexes[size_t(s)]->header.data(),
                            lt->version)) {
    lt->currentRecord = Zet00::KeyRecordNumber(lt->currentKey.data());
    if (ReadRecord(linked, lt->currentRecord) != 0) error = Report(Common::kErrRead, TablePath(*lt));
  } else {
    lt->recordBuffer.resize(lt->recordLength);
    Zet00::KeyToRecord(linked, wanted.data(), lt->recordBuffer.data());
    error = AssignAutoNumber(linked);
    if (error == 0) error = AppendRecord(linked, true, 0);
  }
  if (error == 0) autoNumber = AutoNumberOf(linked);
  Zet00::PopTablePosition(linked);
  return error;
}

const ZetTable::TFieldBinding* BindingOf(const TZetTable& t, uint16_t n) {
  return n < t.bindings.size() ? &t.bindings[n] : nullptr;
}

// Stores a 32-bit number into a field of a record.
void PutNumber(const TZetTable& t, uint16_t n, uint8_t* record, int32_t value) {
  uint8_t raw[sizeof(int32_t)];
  bytes::PutI32(raw, value);
  Common::PutFieldValue(record, t.Place(n), t.version, raw, false);
}


// Before a record that names a chain the old record (when given) did not
// name is written, the side files that hold the new chains are synced: a
// stopped machine may then lose the record, never the chain it names.
// Answers 0 or 3 (reported).
int SyncNewChains(int slot, const TZetTable& t, const uint8_t* record, const uint8_t* old) {
  TZetTable* files = ZetTable::FileOwner(slot);
  if (!files) return 0;
  const std::vector<TChainRef> before = old ? ChainsNamed(t, old) : std::vector<TChainRef>();
  bool memo = false, blob = false;
  for (const TChainRef& c : ChainsNamed(t, record)) {
    if (std::find(before.begin(), before.end(), c) != before.end()) continue;
    (c.blob ? blob : memo) = true;
  }
  for (memofiles::TBlockFile* f : {memo ? static_cast<memofiles::TBlockFile*>(&files->memoFile) : nullptr,
                                   blob ? static_cast<memofiles::TBlockFile*>(&files->blobFile) : nullptr})
    if (f && f->open && LOWFILES::SyncFile(f->file) != 0) return Report(Common::kErrWrite, f->file.name);
  return 0;
}

// Gives up the memo and blob chains a record of the table in slot holds,
// except those that keep (when given) names as well: they are freed in the
// memo and blob files that serve the slot (an alias has none of its own) by
// the next flush that writes the count, after the record change.
void ReleaseChains(int slot, const TZetTable& t, const uint8_t* record, const uint8_t* keep) {
  TZetTable* files = ZetTable::FileOwner(slot);
  const std::vector<TChainRef> kept = keep ? ChainsNamed(t, keep) : std::vector<TChainRef>();
  for (const TChainRef& c : ChainsNamed(t, record)) {
    const bool stillNamed = std::find(kept.begin(), kept.end(), c) != kept.end();
    if (!stillNamed) files->pendingChainFrees.push_back({c.blob, c.first});
  }
}

// After a delete: the record that now follows the one before the deleted
// record in the table's order, or that one when nothing follows; without a
// record before it, the first of the order.
uint32_t RecordAfterDelete(int slot, TZetTable& t, uint32_t n, bool hasPrior, uint32_t prior, bool notify) {
  uint16_t end = 0;
  if (!hasPrior) {
    const uint32_t first = FirstOrLastRecNo(slot, true, end);
    g_afterDeleteEnd = end != 0 ? 1 : 0;
    return end != 0 ? 0 : first;
  }
  if (t.orderMode == ZetTable::kOrderMarks && !notify) {
    // The marks still hold n: the one after it, or else the one before.
    t.currentRecord = n;
    const uint32_t after = ZetTable::NextMark(slot);
    g_afterDeleteEnd = ZetTable::EndOfList() != 0 ? 1 : 0;
    const uint32_t chosen = g_afterDeleteEnd ? prior : after;
    return chosen > RecordCount(t) ? n : chosen;
  }
  t.currentRecord = prior;
  if (t.orderMode == ZetTable::kOrderIndex) ReadRecord(slot, prior);  // its key becomes the current key
  const uint32_t following = NextOrPriorRecNo(slot, true, end);
  g_afterDeleteEnd = end != 0 ? 1 : 0;
  return end != 0 ? prior : following;
}

}  // namespace

// ---------------------------------------------------------------------------

uint16_t DuplicateIndex() { return g_duplicateIndex; }
uint8_t AfterDeleteEnd() { return g_afterDeleteEnd; }
bool NotifySwitch() { return g_notifySwitch; }
void SetNotifySwitch(bool on) { g_notifySwitch = on; }
const TBlockFieldRead& LastBlockFieldRead() { return g_lastBlockRead; }

int AppendRecord(int slot, bool flush, int cursor) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return Common::kErrWrite;
  const ShortStr path = TablePath(*t);
  t->recordBuffer.resize(t->recordLength);
  if (FormulaHook) FormulaHook(slot);
  if (t->countUnknown) return AppendIndexOnlyRecord(slot, *t);
  // The count is the one in memory, never read back from the file: the file
  // may still hold the count before changes made without flush, and no other
  // program appends to a table this one may write (it is opened deny-write).

  const uint32_t recno = RecordCount(*t) + 1;
  for (int s : TIndexSlots(*t)) {
    if (!Zet00::IndexAvailable(slot, s, false)) return Common::kErrWrite;
    if (!Zet00::IsUniqueIndex(*t, s)) continue;
    KeyBuffer key{};
    if (int e = Zet00::MakeKey(slot, s, t->recordBuffer.data(), key.data(), recno)) return e;
    if (Zet00::KeyExists(slot, s, key.data())) {
      g_duplicateIndex = uint16_t(s);
      return Report(kErrDuplicateKey, t->indexes[size_t(s)]->fileName);
    }
    if (Zet00::IndexStatus() == Zet00::kStatusFailed) return Zet00::kErrIndexWrite;
  }
  if (int e = SyncNewChains(slot, *t, t->recordBuffer.data(), nullptr)) return e;
  if (int e = MarkIndexesUnsettled(slot, *t)) return e;
  if (int e = WriteRecord(slot, recno)) {
    Common::SetFileError(Common::kErrWrite, path);
    return e;
  }
  ++t->recordCount;
  if (int e = Zet00::InsertRecordKeys(slot, recno)) {
    // The keys are out again; the record goes too. Should the cut fail, the
    // record's bytes stay behind the count, which on disk never took them
    // in, and the next append overwrites them.
    --t->recordCount;
    return AfterRollback(e, CutBehindLastRecord(*t));
  }
  ZetTable::ShareRecordCount(slot);
  RefreshOtherTemporaryIndexes(slot);
  t->currentRecord = recno;
  if (t->orderMode == ZetTable::kOrderIndex)
    Zet00::MakeKey(slot, t->currentIndex, t->recordBuffer.data(), t->currentKey.data(), recno);
  if (!flush) return 0;
  const int flushed = FlushAfterChange(slot, *t);
  if (g_notifySwitch) EngineHooks::NotifyTableChanged(slot, cursor);
  return flushed;
}

int UpdateRecord(int slot, const uint8_t* oldRecord, bool& keysChanged, int cursor, bool flush,
                 bool evaluateFormulas) {
  keysChanged = false;
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return Common::kErrWrite;
  t->recordBuffer.resize(t->recordLength);
  if (evaluateFormulas && FormulaHook) FormulaHook(slot);
  if (SameBytes(t->recordBuffer.data(), oldRecord, t->recordLength)) return 0;
  if (t->countUnknown) return UpdateIndexOnlyRecord(slot, *t, oldRecord);

  const uint32_t n = t->currentRecord;
  if (n == 0 || n > RecordCount(*t)) return Common::kErrWrite;
  const ShortStr path = TablePath(*t);
  int result = 0;
  for (int s : TIndexSlots(*t)) {
    if (!Zet00::IndexAvailable(slot, s, false)) return Common::kErrWrite;
    if (!Zet00::IsUniqueIndex(*t, s)) continue;
    KeyBuffer key{};
    if (int e = Zet00::MakeKey(slot, s, t->recordBuffer.data(), key.data(), n)) return e;
    if (Zet00::KeyExists(slot, s, key.data(), n)) {
      g_duplicateIndex = uint16_t(s);
      result = Report(kErrDuplicateKey, t->indexes[size_t(s)]->fileName);
      break;
    }
    if (Zet00::IndexStatus() == Zet00::kStatusFailed) return Zet00::kErrIndexWrite;
  }
  if (result == 0) {
    if (int e = SyncNewChains(slot, *t, t->recordBuffer.data(), oldRecord)) return e;
    if (int e = MarkIndexesUnsettled(slot, *t)) return e;
    if (WriteRecord(slot, n) != 0) return Report(Common::kErrWrite, path);
    bool changed = false;
    if (int e = Zet00::UpdateRecordKeys(slot, oldRecord, n, changed)) {
      // Back to the record as it was, and indexes that agree with it. When
      // the old record cannot be written back, the edited one stays in the
      // file and the indexes are built for it.
      const Record edited = t->recordBuffer;
      const bool restored = WriteRecordBytes(slot, *t, Record(oldRecord, oldRecord + t->recordLength), n) == 0;
      int rollback = RebuildAfterFailure(slot, *t);
      if (!restored) rollback = Report(Common::kErrWrite, path);
      t->recordBuffer = edited;
      return AfterRollback(e, rollback);
    }
    keysChanged = changed;
    // Chains the record named before and names no more (a replaced memo)
    // are freed once the record is on disk.
    ReleaseChains(slot, *t, oldRecord, t->recordBuffer.data());
    RefreshOtherTemporaryIndexes(slot);
    if (t->orderMode == ZetTable::kOrderIndex)
      Zet00::MakeKey(slot, t->currentIndex, t->recordBuffer.data(), t->currentKey.data(), n);
  }
  if (!flush) return result;
  // With the count, so that index headers never claim fewer records than
  // their keys name (records appended without flush).
  const int flushed = FlushAfterChange(slot, *t);
  if (g_notifySwitch) EngineHooks::NotifyTableChanged(slot, cursor);
  return result != 0 ? result : flushed;
}

int DeleteRecord(int slot, bool flush, bool notify, int cursor) {
  g_afterDeleteEnd = 1;
  TZetTable* t = ZetTable::Table(slot);
  if (!t) return 0;
  if (t->countUnknown) return DeleteIndexOnlyRecord(slot, *t, flush);
  const uint32_t n = t->currentRecord;
  const uint32_t last = RecordCount(*t);
  if (n == 0 || n > last) return 0;
  const ShortStr path = TablePath(*t);
  const KeyBuffer savedKey = t->currentKey;

  if (ReadRecord(slot, n) != 0) return Report(Common::kErrRead, path);
  const Record deleted = t->recordBuffer;
  // The record before n in the table's order; when that is the last record,
  // it is about to become record n.
  uint16_t end = 0;
  uint32_t prior = NextOrPriorRecNo(slot, false, end);
  const bool hasPrior = end == 0;
  if (hasPrior && prior == last) prior = n;
  t->currentKey = savedKey;

  // Everything that can fail before a change is done first.
  Record moved(t->recordLength);
  int error = 0;
  if (n != last && ReadRecordInto(slot, last, moved.data(), nullptr, 0, ZetTable::kOrderRecords) != 0)
    error = Report(Common::kErrRead, path);
  else if (!IndexesAvailable(slot, *t))
    error = Report(kErrIndexDelete, path);
  else
    error = MarkIndexesUnsettled(slot, *t);
  if (error != 0) return error;

  bool recordTouched = false, movedInPlace = false;
  for (int s : TIndexSlots(*t))
    if ((error = ChangeKey(slot, *t, s, deleted.data(), n, false)) != 0) break;
  if (error == 0 && n != last) {
    recordTouched = true;
    t->recordBuffer = moved;
    if (WriteMovedRecord(slot, n, last) != 0) {
      error = Report(Common::kErrWrite, path);
    } else {
      movedInPlace = true;
      for (int s : TIndexSlots(*t))
        if ((error = RenumberKey(slot, *t, s, moved.data(), last, n)) != 0) break;
    }
  }
  int result = 0;
  if (error != 0) {
    const bool restored = !recordTouched || WriteRecordBytes(slot, *t, deleted, n) == 0;
    if (restored || !movedInPlace) {
      // The record stays: its bytes go back in place (or were never
      // replaced: the write of the moved record failed) and the indexes are
      // built again from the records.
      int rollback = RebuildAfterFailure(slot, *t);
      if (!restored) rollback = Report(Common::kErrWrite, path);
      else if (recordTouched && rollback == 0) rollback = RetireMoveGuard(slot);
      t->recordBuffer = deleted;
      t->currentRecord = n;
      t->currentKey = savedKey;
      return AfterRollback(error, rollback);
    }
    // Record n cannot be put back, but it holds the last record whole: the
    // delete is finished instead, so that no record is doubled and none but
    // the deleted one is lost, and the indexes are built for the table
    // without it. The failed write is answered (an index whose rebuild
    // failed as well waits, unsettled, for the next open).
    --t->recordCount;
    ZetTable::ShareRecordCount(slot);
    const int rebuilt = RebuildAfterFailure(slot, *t);
    result = AfterRollback(rebuilt, Report(Common::kErrWrite, path));
  } else {
    --t->recordCount;
    ZetTable::ShareRecordCount(slot);
  }
  ForgetCachedRecord(slot, last);
  // The moved record may name the deleted one's chains: a copy left by a
  // delete that was cut short names the same ones.
  ReleaseChains(slot, *t, deleted.data(), n != last ? moved.data() : nullptr);
  if (int e = EndRecordsAtCount(slot, *t, flush); e != 0 && result == 0)
    result = e;
  else if (int r = n != last ? RetireMoveGuard(slot) : 0; r != 0 && result == 0)
    result = r;
  RefreshOtherTemporaryIndexes(slot);
  if (notify && EngineHooks::NotifyRecordMoved(slot, n, last) != slot) {
    ZetTable::RemoveMark(slot, n);
    if (n != last && ZetTable::IsMarked(slot, last)) ZetTable::ReplaceMark(slot, last, n);
  }
  if (flush && notify && g_notifySwitch) EngineHooks::NotifyTableChanged(slot, cursor);

  t->currentRecord = RecordAfterDelete(slot, *t, n, hasPrior, prior, notify);
  const int reread = RereadCurrentRecord(slot);
  return result != 0 ? result : reread;
}

namespace {

// The automatic-number counter in the table file's header: read into raw
// (0, or 2 reported), and written from it (0, or 3 reported).
int ReadAutoNumberCounter(TZetTable& t, uint8_t (&raw)[Zet00::kAutoNumberSize]) {
  LOWFILES::TLowFile* file = RecordFile(t);
  if (!file || LOWFILES::ReadBlock(*file, t.headerSize - Zet00::kAutoNumberSize, sizeof raw, 0, raw) != 0)
    return Report(Common::kErrRead, TablePath(t));
  return 0;
}

// A counter torn by a stop in its write (it may cross a page boundary of the
// file) would hand out numbers again or skip ahead: it goes through the
// table's guard file, which puts the old counter back at the next open.
int WriteAutoNumberCounter(int slot, TZetTable& t, const uint8_t (&raw)[Zet00::kAutoNumberSize]) {
  if (WriteGuardedBytes(slot, t.headerSize - Zet00::kAutoNumberSize, raw, sizeof raw) != 0)
    return Report(Common::kErrWrite, TablePath(t));
  return 0;
}

}  // namespace

int AssignAutoNumber(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t || !t->hasAutoNumber) return 0;
  uint8_t raw[Zet00::kAutoNumberSize];
  if (int e = ReadAutoNumberCounter(*t, raw)) return e;
  int64_t next = bytes::GetU32(raw);
  next = std::max<int64_t>(next, AutoNumberOf(slot));
  t->recordBuffer.resize(t->recordLength);
  PutNumber(*t, t->autoNumberField, t->recordBuffer.data(), int32_t(next));
  t->nextAutoNumber = uint32_t(next + 1);
  bytes::PutU32(raw, t->nextAutoNumber);
  return WriteAutoNumberCounter(slot, *t, raw);
}

int32_t AutoNumberOf(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t || !t->hasAutoNumber) return 0;
  t->recordBuffer.resize(t->recordLength);
  uint8_t raw[sizeof(int32_t)] = {};
  bool isNull = false;
  Common::GetFieldValue(t->recordBuffer.data(), t->Place(t->autoNumberField), t->version, raw, isNull);
  return bytes::GetI32(raw);
}

int GiveBackAutoNumber(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t || !t->hasAutoNumber) return 0;
  uint8_t raw[Zet00::kAutoNumberSize];
  if (int e = ReadAutoNumberCounter(*t, raw)) return e;
  const int64_t number = AutoNumberOf(slot);
  if (number < 1 || int64_t(bytes::GetU32(raw)) != number + 1) return 0;
  bytes::PutU32(raw, uint32_t(number));
  if (int e = WriteAutoNumberCounter(slot, *t, raw)) return e;
  t->nextAutoNumber = uint32_t(number);
  return 0;
}

int GetFieldValue(int mode, int slot, uint16_t n, int& valueClass, Common::FieldValue& value) {
  TZetTable* t = ZetTable::Table(slot);
  ZET_ASSERT(t && t->ValidField(n), "Field of GetFieldValue does not exist.");
  bool isNull = false;
  if (mode != kModeFromRecord && Zet00::KeyFieldValue(slot, n, value, valueClass, isNull)) {
    Common::LastFieldNullable = Common::HasNullFlag(t->TypeByte(n));
    Common::LastValueIsNull = isNull;
    return 0;
  }
  t->recordBuffer.resize(t->recordLength);
  value = Common::FieldValue();
  valueClass = Common::GetFieldAsNumber(t->recordBuffer.data(), t->Place(n), t->version, value);
  if (valueClass == Common::kTypeMemo || valueClass == Common::kTypeBlob) g_lastBlockRead = {slot, n, value.block};
  return mode == kModeFromRecord ? 0 : -1;
}

int SetFieldValue(int slot, uint16_t n, Common::FieldValue& value, int mode) {
  TZetTable* t = ZetTable::Table(slot);
  ZET_ASSERT(t && t->ValidField(n), "Field of SetFieldValue does not exist.");
  const uint8_t type = t->FieldType(n);
  if (type == Common::kTypeRelation) return RelationEntriesFromText(slot, n, value.text);
  if (type == Common::kTypeLink && mode == kValueIsText)
    if (int e = LinkFieldFromText(slot, n, value)) return e;
  t->recordBuffer.resize(t->recordLength);
  Common::PutFieldFromValue(t->recordBuffer.data(), t->Place(n), t->version, value);
  return 0;
}

int LinkFieldFromText(int slot, uint16_t n, Common::FieldValue& value) {
  const TZetTable* t = ZetTable::Table(slot);
  const ZetTable::TFieldBinding* binding = t ? BindingOf(*t, n) : nullptr;
  value.number = 0;
  if (value.text.empty() || !binding || binding->linkedTable == 0) return 0;
  int32_t number = 0;
  const int error = FindOrAppendLinked(binding->linkedTable, value.text, number);
  value.number = number;
  return error;
}

int RelationEntriesFromText(int slot, uint16_t n, std::string_view text) {
  const TZetTable* t = ZetTable::Table(slot);
  const ZetTable::TFieldBinding* binding = t ? BindingOf(*t, n) : nullptr;
  if (!binding || binding->linkedTable == 0 || binding->relatedTable == 0) return 0;
  const int relation = binding->linkedTable;
  TZetTable* rt = ZetTable::Table(relation);
  if (!rt) return 0;
  const int32_t own = AutoNumberOf(slot);
  ShortStr rest(text);
  Common::DeleteLeading(rest, ' ');
  std::string_view remaining = rest.view();
  while (!remaining.empty()) {
    const size_t cut = std::min(remaining.find(kRelationSeparator), remaining.size());
    ShortStr part(remaining.substr(0, std::min(cut, kMaxRelationPart)));
    remaining.remove_prefix(std::min(cut + 1, remaining.size()));
    Common::TrimBlanks(part);
    if (part.empty()) continue;
    int32_t linkedNumber = 0;
    if (int e = FindOrAppendLinked(binding->relatedTable, part, linkedNumber)) return e;
    rt->recordBuffer.assign(rt->recordLength, 0);
    PutNumber(*rt, kRelationOwnField, rt->recordBuffer.data(), own);
    PutNumber(*rt, kRelationLinkedField, rt->recordBuffer.data(), linkedNumber);
    if (rt->indexes[kRelationPairIndex] && Zet00::IndexAvailable(relation, kRelationPairIndex, false)) {
      KeyBuffer pair{};
      if (int e = Zet00::MakeKey(relation, kRelationPairIndex, rt->recordBuffer.data(), pair.data(), 0)) return e;
      if (Zet00::KeyExists(relation, kRelationPairIndex, pair.data())) continue;
    }
    if (int e = AppendRecord(relation, true, 0)) return e;
  }
  return 0;
}

bool DeleteTableFiles(std::string_view fileName, std::string_view tableCode, uint32_t tableKey, int& code,
                      std::span<const uint16_t> skip, bool recurse) {
  code = 0;
  // A cut path would name another table's files.
  if (!Common::PathFits(fileName)) {
    code = Common::RefuseLongPath(fileName);
    return false;
  }
  const Common::FileNameParts parts = Common::SplitFileName(fileName);
  const ShortStr name = Common::MakeFileName(parts.directory, parts.name, parts.extension);
  if (!Common::FileExists(name)) return false;
  EnterHeaderOnly();
  const int slot = ZetTable::OpenCount() + 1;
  code = OpenTable(slot, kAllRights, name, 0, tableKey, tableCode);
  if (code != 0) {
    LeaveHeaderOnly();
    return false;
  }
  TZetTable& t = *ZetTable::Table(slot);
  // The directory names the indexes of the slots; the automatic ones (with
  // the ".INR" and ".ID" files of an ID table) are named as the table does.
  Zet00::AssignIndexFileNames(t);
  for (int s = 0; s < ZetTable::kIndexSlots; ++s)
    if (t.indexes[size_t(s)]) Common::EraseFile(Zet00::IndexPath(t, s));
  Common::EraseFile(Zet00::CompanionFileName(t));
  const ShortStr stem = Common::AppendStrCopy(t.directory, Common::SplitFileName(t.fileName).name);
  if (t.hasMemoFile) Common::EraseFile(Common::AppendStrCopy(stem, ".MMO"));
  if (t.hasBlobFile) Common::EraseFile(Common::AppendStrCopy(stem, WinBlobs::kBlobExtension));

  bool all = true;
  for (uint16_t n = 1; recurse && n <= t.fieldCount; ++n) {
    if (t.FieldType(n) != Common::kTypeRelation || std::find(skip.begin(), skip.end(), n) != skip.end())
      continue;
    const ShortStr relation = Common::AppendStrCopy(t.directory, ZetTable::RelationFileName(t, t.StoredName(n)));
    int relationCode = 0;
    if (!DeleteTableFiles(relation, {}, 0, relationCode, {}, false)) all = false;
  }
  CloseTable(slot);
  if (ZetTable::OpenCount() == slot) ZetTable::SetOpenCount(slot - 1);
  Common::EraseFile(name);
  LeaveHeaderOnly();
  return all;
}

bool UsesRelationTable(int slot, std::string_view relationName) {
  const TZetTable* t = ZetTable::Table(slot);
  if (!t) return false;
  const Common::FileNameParts wanted = Common::SplitFileName(relationName);
  ShortStr name = Common::AppendStrCopy(wanted.name, wanted.extension);
  UPPERCAS::UpperStr(name);
  for (uint16_t n = 1; n <= t->fieldCount; ++n)
    if (t->FieldType(n) == Common::kTypeRelation && ZetTable::RelationFileName(*t, t->StoredName(n)) == name)
      return true;
  return false;
}

bool SameBytes(const void* a, const void* b, size_t count) { return std::memcmp(a, b, count) == 0; }

}  // namespace Zet01

namespace Zet01::Edit {

void UnitInit() {
  g_duplicateIndex = 0;
  g_afterDeleteEnd = 0;
  g_notifySwitch = true;
  g_lastBlockRead = {};
  FormulaHook = nullptr;
}

void UnitDone() { UnitInit(); }

}  // namespace Zet01::Edit
