#include "engine/storage/zet01_links.h"

#include <algorithm>
#include <array>

#include "engine/base/bytes.h"
#include "engine/base/stacklib.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zettable.h"

namespace Zet01 {
namespace {

using ZetTable::TZetTable;
using KeyBuffer = std::array<uint8_t, ZetTable::kMaxKeySize>;

std::array<uint8_t, kChainSize> g_chain{};
uint64_t g_notFound = 0;
uint64_t g_optional = 0;

// What SaveAllTablePositions keeps of each table, as one block:
//   | offset | width | content                  |
//   |--------|-------|--------------------------|
//   | 0      | u32   | current record           |
//   | 4      | 260   | current key              |
//   | 264    | u8    | link index               |
//   | 265    | 50    | link key description     |
//   | 315    | u8    | parent                   |
constexpr size_t kSavedRecord = 0;
constexpr size_t kSavedKey = 4;
constexpr size_t kSavedLinkIndex = kSavedKey + ZetTable::kMaxKeySize;
constexpr size_t kSavedLinkKey = kSavedLinkIndex + 1;
constexpr size_t kSavedParent = kSavedLinkKey + ZetTable::kKeyDescriptionSize;
constexpr size_t kSavedTableSize = kSavedParent + 1;

bool Active() { return g_chain[kChainActive] != 0; }
int Count() { return g_chain[kChainCount]; }
size_t EntryAt(int entry) { return kChainEntries + size_t(entry) * kChainEntrySize; }
bool Found(int entry) { return g_chain[EntryAt(entry) + kChainEntryFound] != 0; }
void SetFound(int entry, bool found) { g_chain[EntryAt(entry) + kChainEntryFound] = found ? 1 : 0; }
int SlotAt(int entry) { return g_chain[EntryAt(entry) + kChainEntrySlot]; }

bool InSet(uint64_t set, int slot) { return ZetTable::HandleInSet(set, slot); }

// The table of an open slot (1..open-table count), else nullptr.
TZetTable* OpenSlot(int slot) {
  return slot >= 1 && slot <= ZetTable::OpenCount() ? ZetTable::Table(slot) : nullptr;
}

uint64_t OpenSlots() {
  uint64_t set = 0;
  for (int h = 1; h <= ZetTable::OpenCount(); ++h)
    if (ZetTable::Table(h)) ZetTable::IncludeHandle(set, h);
  return set;
}

// The parent a linked read follows: an open table other than the table.
int ParentOf(int slot, const TZetTable& t) {
  const int parent = t.masterTable;
  return parent != slot && OpenSlot(parent) ? parent : 0;
}

// The chain entry of a slot, -1 when it is not in the chain.
int EntryOf(int slot) {
  if (!Active()) return -1;
  for (int e = 0; e <= Count(); ++e)
    if (SlotAt(e) == slot) return e;
  return -1;
}

void ClearCurrent(TZetTable& t) {
  t.currentRecord = 0;
  t.recordBuffer.assign(t.recordLength, 0);
}

// The key that finds the table's records from its parent's record buffer.
bool BuildLinkKey(int parent, const TZetTable& t, KeyBuffer& key) {
  TZetTable& p = *ZetTable::Table(parent);
  p.recordBuffer.resize(p.recordLength);
  key.fill(0);
  return Zet00::MakeKey(parent, -1, p.recordBuffer.data(), key.data(), 0, t.linkKeyDescription.data()) == 0;
}

bool MatchesLinkKey(const TZetTable& t, const KeyBuffer& key) {
  return Zet00::SameKey(t.currentKey.data(), key.data(), t.linkKeyDescription.data(), t.version);
}

// Reads record recno as the table's current record. A linked table builds the
// key of its link index, so that the walk goes on from the record whatever
// order the table was left in.
bool ReadCurrent(int slot, TZetTable& t, uint32_t recno) {
  t.currentRecord = recno;
  if (ParentOf(slot, t) == 0) return RereadCurrentRecord(slot) == 0;
  t.recordBuffer.resize(t.recordLength);
  return ReadRecordInto(slot, recno, t.recordBuffer.data(), t.currentKey.data(), t.linkIndex,
                        ZetTable::kOrderIndex) == 0;
}

// The first record of a table that matches its parent's record, or for a
// table without parent the first record of its order. Without one the table
// is left without a record.
bool ReadFirstLinkedRecord(int slot) {
  TZetTable& t = *ZetTable::Table(slot);
  if (const int parent = ParentOf(slot, t)) {
    KeyBuffer key{};
    if (Zet00::IndexAvailable(slot, t.linkIndex, false) && BuildLinkKey(parent, t, key)) {
      t.currentKey = key;
      const uint8_t status = Zet00::IndexSeek(slot, t.linkIndex);
      if (status == Zet00::kStatusFound && MatchesLinkKey(t, key))
        return ReadCurrent(slot, t, Zet00::KeyRecordNumber(t.currentKey.data()));
    }
    ClearCurrent(t);
    return false;
  }
  uint16_t end = 0;
  const uint32_t recno = t.recordCount == 0 ? 0 : FirstOrLastRecNo(slot, true, end);
  if (recno == 0 || end != 0) {
    ClearCurrent(t);
    return false;
  }
  return ReadCurrent(slot, t, recno);
}

// The table's parent stands in the chain without a match.
bool ParentWithoutMatch(int slot, const TZetTable& t) {
  const int parentEntry = EntryOf(ParentOf(slot, t));
  return parentEntry >= 0 && !Found(parentEntry);
}

// Reads chain entry e afresh: a table whose parent has no match stays
// without a record.
bool ReadEntry(int e) {
  const int slot = SlotAt(e);
  TZetTable& t = *ZetTable::Table(slot);
  bool found = false;
  if (ParentWithoutMatch(slot, t))
    ClearCurrent(t);
  else
    found = ReadFirstLinkedRecord(slot);
  SetFound(e, found);
  return found;
}

// The chain tables without a match that are not optional.
void RecountNotFound() {
  g_notFound = 0;
  for (int e = 1; e <= Count(); ++e)
    if (!Found(e) && !InSet(g_optional, SlotAt(e))) ZetTable::IncludeHandle(g_notFound, SlotAt(e));
}

enum class TStep { Advanced, Exhausted, OutOfStep };

// Moves chain entry e to its next record: the next key of the link index that
// still matches the parent, or the next record in the order of a table
// without parent.
TStep Advance(int slot, TZetTable& t) {
  const int parent = ParentOf(slot, t);
  if (parent == 0) {
    uint16_t end = 0;
    const uint32_t recno = NextOrPriorRecNo(slot, true, end);
    if (end != 0) return TStep::Exhausted;
    t.currentRecord = recno;
    return TStep::Advanced;
  }
  if (!Zet00::IndexAvailable(slot, t.linkIndex, false)) return TStep::Exhausted;
  const KeyBuffer saved = t.currentKey;
  const uint32_t left = t.currentRecord;
  KeyBuffer key{};
  const uint8_t status = Zet00::IndexNext(slot, t.linkIndex);
  if (status == Zet00::kStatusFound && BuildLinkKey(parent, t, key) && MatchesLinkKey(t, key)) {
    const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
    if (recno == left) {
      // The index holds the record twice: it no longer agrees with the table.
      Zet00::RebuildIndex(slot, t.linkIndex);
      return TStep::OutOfStep;
    }
    t.currentRecord = recno;
    return TStep::Advanced;
  }
  t.currentKey = saved;
  return TStep::Exhausted;
}

// Reads entry e's record again and the first linked record of every later
// entry. Answers 0 when the combination holds, e when entry e cannot be
// read, else the first later entry that has no match and is not optional.
int ReadDeeper(int e) {
  const int slot = SlotAt(e);
  TZetTable& t = *ZetTable::Table(slot);
  if (!ReadCurrent(slot, t, t.currentRecord)) return e;
  SetFound(e, true);
  for (int i = e + 1; i <= Count(); ++i)
    if (!ReadEntry(i) && !InSet(g_optional, SlotAt(i))) return i;
  return 0;
}

// The next slot of a non-empty set after `after`, wrapping after the
// open-table count.
int NextInSet(uint64_t set, int after) {
  const int count = ZetTable::OpenCount();
  for (int step = 1; step <= count; ++step) {
    const int slot = (after + step - 1) % count + 1;
    if (InSet(set, slot)) return slot;
  }
  return 0;
}

void PushChain() { STACKLIB::Push(g_chain.data(), g_chain.size()); }
void PopChain() { STACKLIB::Pop(g_chain.data(), g_chain.size()); }

void PushSlotNumber(int slot) {
  const uint8_t number = uint8_t(slot);
  STACKLIB::Push(&number, sizeof number);
}

int PopSlotNumber() {
  uint8_t number = 0;
  STACKLIB::Pop(&number, sizeof number);
  return number;
}

}  // namespace

bool LinkChainActive() { return Active(); }
int LinkChainCount() { return Active() ? Count() : 0; }

TChainEntry LinkChainEntry(int entry) {
  if (!Active() || entry < 0 || entry > Count()) return {};
  return {Found(entry), SlotAt(entry)};
}

uint64_t NotFoundSet() { return g_notFound; }
uint64_t OptionalSet() { return g_optional; }
void SetOptionalSet(uint64_t set) { g_optional = set; }

int ReadFirstLinked(int primary, bool fromCurrent, uint64_t tableSet) {
  g_notFound = 0;
  g_chain.fill(0);
  TZetTable* p = OpenSlot(primary);
  if (!p) {
    g_notFound = tableSet;
    return 0;
  }
  if (fromCurrent) {
    if (int e = RereadCurrentRecord(primary)) return e;
    if (p->currentRecord == 0) {
      g_notFound = tableSet;
      ZetTable::IncludeHandle(g_notFound, primary);
      return 0;
    }
  }
  uint64_t work = tableSet & OpenSlots();
  ZetTable::ExcludeHandle(work, primary);
  uint64_t done = 0;
  ZetTable::IncludeHandle(done, primary);
  g_chain[kChainActive] = 1;
  g_chain[EntryAt(0) + kChainEntrySlot] = uint8_t(primary);
  SetFound(0, true);

  int last = primary;
  while (work != 0) {
    const int slot = NextInSet(work, last);
    last = slot;
    TZetTable& t = *ZetTable::Table(slot);
    const int parent = ParentOf(slot, t);
    if (parent != 0 && !InSet(done, parent)) {
      // The parent is read first; it may lack a match when its child may.
      ZetTable::IncludeHandle(work, parent);
      if (InSet(g_optional, slot)) ZetTable::IncludeHandle(g_optional, parent);
      continue;
    }
    const int e = Count() + 1;
    g_chain[kChainCount] = uint8_t(e);
    g_chain[EntryAt(e) + kChainEntrySlot] = uint8_t(slot);
    ZetTable::IncludeHandle(done, slot);
    ZetTable::ExcludeHandle(work, slot);
    // A required table without a match moves the earlier tables on until a
    // combination gives it one (unless its parent has none).
    if (!ReadEntry(e) && !InSet(g_optional, slot) && !ParentWithoutMatch(slot, t)) ReadNextLinked(e + 1);
  }
  RecountNotFound();
  return 0;
}

bool ReadNextLinked(int level) {
  if (!Active()) return false;
  int e = std::min(level - 1, Count());
  while (e >= 1) {
    const int slot = SlotAt(e);
    TZetTable* t = OpenSlot(slot);
    if (!t) return false;
    if (!Found(e)) {
      --e;
      continue;
    }
    const TStep step = Advance(slot, *t);
    if (step == TStep::OutOfStep) return false;
    if (step == TStep::Exhausted) {
      --e;
      continue;
    }
    const int failed = ReadDeeper(e);
    if (failed == 0) {
      RecountNotFound();
      return true;
    }
    if (failed == e) return false;
    // Entries before the one without a match may still have other records
    // that give it one.
    e = failed - 1;
  }
  return false;
}

int LinkLevelOfTable(int slot) {
  if (!Active()) return slot == ZetTable::CurrentHandle() ? 1 : 2;
  const int e = slot == 0 ? -1 : EntryOf(slot);
  return e >= 0 ? e + 1 : Count() + 1;
}

int FirstChainTableInSet(uint64_t set) {
  if (Active())
    for (int e = 0; e <= Count(); ++e)
      if (InSet(set, SlotAt(e))) return SlotAt(e);
  return ZetTable::CurrentHandle();
}

void ValidateLinkChain() {
  if (!Active()) return;
  const int open = ZetTable::OpenCount();
  bool valid = ZetTable::CurrentHandle() <= open;
  for (int e = 0; e <= Count() && valid; ++e) valid = SlotAt(e) <= open;
  if (!valid) ResetLinkChain();
}

void ResetLinkChain() { g_chain[kChainActive] = 0; }

void StartProtected() { PushChain(); }
void EndProtected() { PopChain(); }

void PushLinkState() {
  const int current = ZetTable::CurrentHandle();
  Zet00::PushTablePosition(current);
  PushSlotNumber(current);
  if (Active())
    for (int e = 1; e <= Count(); ++e) Zet00::PushTablePosition(SlotAt(e));
  PushChain();
}

void PopLinkState() {
  PopChain();
  if (Active())
    for (int e = Count(); e >= 1; --e) Zet00::PopTablePosition(SlotAt(e));
  const int current = PopSlotNumber();
  ZetTable::SetCurrentHandle(current);
  Zet00::PopTablePosition(current);
}

void PushTableSetPositions(uint64_t set) {
  PushChain();
  for (int h = 1; h <= ZetTable::OpenCount(); ++h)
    if (InSet(set, h) && ZetTable::Table(h)) Zet00::PushTablePosition(h);
}

void PopTableSetPositions(uint64_t set) {
  for (int h = ZetTable::OpenCount(); h >= 1; --h)
    if (InSet(set, h) && ZetTable::Table(h)) Zet00::PopTablePosition(h);
  PopChain();
}

void SaveAllTablePositions(int except) {
  PushSlotNumber(ZetTable::CurrentHandle());
  PushChain();
  std::array<uint8_t, kSavedTableSize> saved{};
  for (int h = 1; h <= ZetTable::OpenCount(); ++h) {
    const TZetTable* t = ZetTable::Table(h);
    if (h == except || !t) continue;
    bytes::PutU32(saved.data() + kSavedRecord, t->currentRecord);
    std::copy(t->currentKey.begin(), t->currentKey.end(), saved.begin() + kSavedKey);
    saved[kSavedLinkIndex] = t->linkIndex;
    std::copy(t->linkKeyDescription.begin(), t->linkKeyDescription.end(), saved.begin() + kSavedLinkKey);
    saved[kSavedParent] = t->masterTable;
    STACKLIB::Push(saved.data(), saved.size());
  }
}

void RestoreAllTablePositions(int except) {
  std::array<uint8_t, kSavedTableSize> saved{};
  for (int h = ZetTable::OpenCount(); h >= 1; --h) {
    TZetTable* t = ZetTable::Table(h);
    if (h == except || !t) continue;
    STACKLIB::Pop(saved.data(), saved.size());
    t->currentRecord = bytes::GetU32(saved.data() + kSavedRecord);
    std::copy_n(saved.begin() + kSavedKey, t->currentKey.size(), t->currentKey.begin());
    t->linkIndex = saved[kSavedLinkIndex];
    std::copy_n(saved.begin() + kSavedLinkKey, t->linkKeyDescription.size(), t->linkKeyDescription.begin());
    t->masterTable = saved[kSavedParent];
  }
  PopChain();
  ZetTable::SetCurrentHandle(PopSlotNumber());
}

}  // namespace Zet01

namespace Zet01::Links {

void UnitInit() {
  g_chain.fill(0);
  g_notFound = 0;
  g_optional = 0;
  ClearFieldPath();
}

void UnitDone() { UnitInit(); }

}  // namespace Zet01::Links
