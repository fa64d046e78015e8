// Table and mark services of the system functions (see tableservices.h).
#include "engine/language/tableservices.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/base/bitarray.h"
#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/language/interp.h"
#include "engine/language/variables.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/fulltext/fulltext_tables.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "platform/files.h"

namespace Zet02 {
namespace {

using ZetTable::TZetTable;
using Key = std::array<uint8_t, ZetTable::kMaxKeySize>;

int32_t NoProgress(int32_t, int32_t) { return 0; }
Zet00::TProgressProc g_progress = NoProgress;

// Relation tables: field 1 names the owning side, field 2 the linked side,
// an optional third field holds the flag word of the entry.
constexpr uint16_t kRelationFirstField = 1;
constexpr uint16_t kRelationSecondField = 2;
constexpr uint16_t kRelationFlagField = 3;

// The elements of a REAL array variable; empty for any other variable.
struct TRealArray {
  double* data = nullptr;
  size_t count = 0;
  bool valid = false;
};

TRealArray RealArray(uint16_t variable) {
  TRealArray a;
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(variable);
  std::vector<uint8_t>* data = ZetVars::GetArrayData(variable);
  if (!info.valid || info.type != ZetVars::kTypeReal || !data) return a;
  a.valid = true;
  a.count = data->size() / sizeof(double);
  a.data = reinterpret_cast<double*>(data->data());
  return a;
}

Bitarray::TBitArray BitArrayOf(uint16_t variable, bool& valid) {
  Bitarray::TBitArray bits;
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(variable);
  std::vector<uint8_t>* data = ZetVars::GetArrayData(variable);
  valid = info.valid && info.type == ZetVars::kTypeBits && data;
  if (valid) {
    bits.buffer = data->data();
    bits.byteCount = int32_t(data->size());
  }
  return bits;
}

double ElementAt(const TRealArray& a, size_t k) {
  double v = 0;
  std::memcpy(&v, a.data + k, sizeof v);
  return v;
}

void SetElement(const TRealArray& a, size_t k, double v) { std::memcpy(a.data + k, &v, sizeof v); }

// The whole number of an element (rounded half to even, as every number
// argument).
int64_t Rounded(double v) { return ValueToInteger(v); }

// The record numbers of an array up to its first 0 element.
template <typename F>
void ForEachArrayRecord(const TRealArray& a, F f) {
  for (size_t k = 0; k < a.count; ++k) {
    const double v = ElementAt(a, k);
    if (v == 0) break;
    f(k, Rounded(v));
  }
}

// Replaces a table's marks by numbers in one pass.
void ReplaceMarks(TZetTable& t, const std::vector<uint32_t>& numbers) {
  MarkLists::TMarkList& list = ZetTable::MarkList(t);
  MarkLists::MarkListClear(list);
  for (uint32_t n : numbers) MarkLists::MarkListAdd(list, n);
}

// The variable kinds a mark transfer accepts.
enum class TKind { Real, Bits, Marks, Other };

TKind KindOf(uint16_t variable) {
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(variable);
  if (!info.valid) return TKind::Other;
  if (info.type == ZetVars::kTypeMarks) return TKind::Marks;
  if (!ZetVars::GetArrayData(variable)) return TKind::Other;
  if (info.type == ZetVars::kTypeReal) return TKind::Real;
  if (info.type == ZetVars::kTypeBits) return TKind::Bits;
  return TKind::Other;
}

bool HasRight(const TZetTable& t, uint16_t right) { return (t.openModeWord & right) != 0; }

int32_t FieldInteger(const TZetTable& t, uint16_t field, const uint8_t* record) {
  if (!t.ValidField(field) || !t.IsStored(field)) return 0;
  Common::FieldValue value;
  Common::GetFieldAsNumber(record, t.Place(field), t.version, value);
  return ValueToInteger(value.number);
}

}  // namespace

Zet00::TProgressProc EngineProgress() { return g_progress; }
void SetEngineProgress(Zet00::TProgressProc progress) { g_progress = progress ? progress : NoProgress; }

bool TableNumberInRange(int table) { return table >= 1 && table <= ZetTable::OpenCount() && ZetTable::Table(table); }

// --- Table services ----------------------------------------------------------

int32_t AutoNumberCounter(bool apply, int table, int32_t newValue) {
  if (!apply || !TableNumberInRange(table)) return 0;
  TZetTable& t = *ZetTable::Table(table);
  if (!t.hasAutoNumber) return 0;
  if (newValue != 0) {
    if (FullText::WriteNextAutoNumber(table, uint32_t(newValue)) != 0) return 0;
    t.nextAutoNumber = uint32_t(newValue);
  }
  return int32_t(FullText::ReadNextAutoNumber(table));
}

int WriteBackRecord(int table) {
  TZetTable& t = *ZetTable::Table(table);
  if (!HasRight(t, ZetTable::kRightWrite)) return kErrNoAccess;
  std::vector<uint8_t> old(t.recordLength);
  if (int e = Zet01::ReadRecordInto(table, t.currentRecord, old.data(), nullptr, 0, ZetTable::kOrderRecords)) return e;
  bool keysChanged = false;
  return Zet01::UpdateRecord(table, old.data(), keysChanged, 0, true, true);
}

int EmptyTable(int table) {
  if (!TableNumberInRange(table)) return kErrTableNumber;
  if (int e = FullText::EmptyTable(table)) return e;
  TZetTable& owner = *ZetTable::FileOwner(table);
  // Memo and blob files start again as new: header only, every block free.
  for (memofiles::TBlockFile* f : {static_cast<memofiles::TBlockFile*>(&owner.memoFile),
                                   static_cast<memofiles::TBlockFile*>(&owner.blobFile)}) {
    if (!f->open) continue;
    f->nextFree = 1;
    f->highest = 0;
    if (memofiles::WriteHeader(*f) != 0 || LOWFILES::TruncateAt(f->file, f->blockSize) != 0) return 3;
  }
  owner.pendingChainFrees.clear();
  ZetTable::ClearMarks(table);
  EngineHooks::ResetCursorsOfTable(table);
  EngineHooks::NotifyTableChanged(table, 0);
  return 0;
}

int CreateTableCopy(int table, std::string_view fileName, uint32_t counter, uint16_t version) {
  if (!TableNumberInRange(table)) return kErrTableNumber;
  const TZetTable& source = *ZetTable::Table(table);
  // Only a table open on its file describes a table that can be copied; a
  // table object built in memory has no file to take the structure from.
  if (!ZetTable::FileOwner(table)->tableFile) return kErrNotOpenOnFile;
  const uint16_t target = version == 1 || version == 2 ? version : source.version;
  std::unique_ptr<TZetTable> copy = TZetTable::CreateCopy(source, target);
  // Only the automatic indexes: the user slots are cleared.
  for (auto& d : copy->indexes) d.reset();
  copy->highestIndexSlot = 0;
  copy->nextAutoNumber = counter;
  Zet06::ClearCreateQueue();
  return Zet06::CreateTable(*copy, fileName, Common::ScrambleString(""), true, 0, 0);
}

void SetKeyFilter(int table, std::string_view low, std::string_view high) {
  const ZetTable::TZetTable* t = ZetTable::Table(table);
  if (!t) return;
  ZetTable::ClearRangeLimits(table);
  if (t->orderMode != ZetTable::kOrderIndex || low.empty()) return;
  Zet00::SetRangeStart(table, low);
  Zet00::SetRangeEnd(table, high.empty() ? std::string(low) + '\xFE' : std::string(high));
}

int ReblockTableBlobs(int table, int32_t blockSize) {
  if (!TableNumberInRange(table)) return kErrTableNumber;
  TZetTable& t = *ZetTable::FileOwner(table);
  const int slot = ZetTable::Table(table) == &t ? table : ZetTable::Table(table)->aliasOf;
  if (!t.hasBlobFile || !t.blobFile.open) return 0;
  std::vector<uint16_t> blobFields;
  for (uint16_t n = 1; n <= t.fieldCount; ++n)
    if (t.IsStored(n) && t.FieldType(n) == Common::kTypeBlob) blobFields.push_back(n);
  const uint32_t count = uint32_t(std::max(t.recordCount, 0));
  std::vector<uint8_t> record(t.recordLength);
  std::vector<uint32_t> firsts;
  for (uint32_t r = 1; r <= count; ++r) {
    if (int e = Zet01::ReadRecordInto(slot, r, record.data(), nullptr, 0, ZetTable::kOrderRecords)) return e;
    for (uint16_t n : blobFields)
      if (const uint32_t b = bytes::GetU32(record.data() + t.FieldOffset(n))) firsts.push_back(b);
  }
  std::map<uint32_t, uint32_t> moved;
  if (int e = WinBlobs::ReblockBlobFile(t.blobFile, t.directory, blockSize, firsts, moved)) return e;
  // The new file takes the old one's place, then the records follow it.
  const ShortStr path = Common::AppendStrCopy(
      Common::AppendStrCopy(t.directory, Common::SplitFileName(t.fileName).name), ".BLB");
  const ShortStr fresh = Common::MakeFileName(t.directory, WinBlobs::kReblockName, ".BLB");
  WinBlobs::CloseBlobFile(t.blobFile);
  if (platform::ReplaceFile(fresh, path) != 0) return 3;
  if (int e = WinBlobs::OpenBlobFile(t.blobFile, path, t.fileOpenMode, t.tableKey)) return e;
  const std::vector<uint8_t> saved = t.recordBuffer;
  const uint32_t current = t.currentRecord;
  for (uint32_t r = 1; r <= count && !blobFields.empty(); ++r) {
    t.recordBuffer.resize(t.recordLength);
    if (int e = Zet01::ReadRecordInto(slot, r, t.recordBuffer.data(), nullptr, 0, ZetTable::kOrderRecords)) return e;
    bool changed = false;
    for (uint16_t n : blobFields) {
      uint8_t* place = t.recordBuffer.data() + t.FieldOffset(n);
      auto it = moved.find(bytes::GetU32(place));
      if (it == moved.end() || it->second == it->first) continue;
      bytes::PutU32(place, it->second);
      changed = true;
    }
    if (changed)
      if (int e = Zet01::WriteRecord(slot, r)) return e;
  }
  t.recordBuffer = saved;
  t.currentRecord = current;
  Zet01::RereadCurrentRecord(slot);
  return 0;
}

int RebuildTableIndex(int table, int index, uint16_t /*weightField*/) {
  if (index != 1 && index != 2) return kErrIndexNumber;
  if (!TableNumberInRange(table)) return kErrTableNumber;
  const TZetTable& t = *ZetTable::Table(table);
  if (index > t.highestIndexSlot || !t.indexes[size_t(index)]) return kErrIndexNumber;
  return Zet00::RebuildIndex(table, index, g_progress);
}

int32_t RecordByNumber(int function, int table, uint32_t recno, int32_t flag, int& error) {
  error = 0;
  TZetTable& t = *ZetTable::Table(table);
  const bool beyond = int64_t(recno) > int64_t(t.recordCount);
  bool allowed = function == 7;
  if (function == 8) allowed = HasRight(t, beyond ? ZetTable::kRightAppend : ZetTable::kRightWrite);
  if (function == 9) allowed = HasRight(t, ZetTable::kRightDelete) && !beyond;
  if (!allowed) return 0;
  if (recno == 0 && function != 7) {
    error = kErrRecordZero;
    return 0;
  }
  if (function == 7) {
    if (beyond) {
      error = ZetTable::kErrRecordNotFound;
      return 0;
    }
    t.currentRecord = recno;
    error = Zet01::RereadCurrentRecord(table);
  } else if (function == 9) {
    t.currentRecord = recno;
    error = Zet01::DeleteRecord(table, true, true, 0);
  } else if (beyond) {
    if (t.hasAutoNumber && Zet01::AutoNumberOf(table) == 0) error = Zet01::AssignAutoNumber(table);
    if (error == 0) error = Zet01::AppendRecord(table, true, 0);
  } else {
    std::vector<uint8_t> old(t.recordLength);
    error = Zet01::ReadRecordInto(table, recno, old.data(), nullptr, 0, ZetTable::kOrderRecords);
    t.currentRecord = recno;
    bool keysChanged = false;
    if (error == 0) error = Zet01::UpdateRecord(table, old.data(), keysChanged, 0, true, flag != 0);
  }
  return error == 0 ? int32_t(t.currentRecord) : 0;
}

uint32_t FindByKey(int table, std::string_view key, std::string_view indexName, bool exact, int& error) {
  error = 0;
  TZetTable& t = *ZetTable::Table(table);
  int slot = -1;
  if (!indexName.empty()) {
    for (int s = Zet00::FirstIndexSlot(t); s <= t.highestIndexSlot; ++s) {
      const auto& d = t.indexes[size_t(s)];
      if (!d) continue;
      const Common::FileNameParts parts = Common::SplitFileName(d->fileName.view());
      if (UPPERCAS::CollateCompare(parts.name.view(), indexName) == 0 ||
          UPPERCAS::CollateCompare(d->fileName.view(), indexName) == 0) {
        slot = s;
        break;
      }
    }
  } else if (t.orderMode == ZetTable::kOrderIndex) {
    slot = t.currentIndex;
  }
  if (slot < 0 || !Zet00::IndexAvailable(table, slot, false)) {
    error = kErrNoIndex;
    return 0;
  }
  t.orderMode = ZetTable::kOrderIndex;
  t.currentIndex = uint8_t(slot);
  Key search{};
  if ((error = Zet00::KeyFromText(table, slot, key, search.data(), 0)) != 0) return 0;
  if (t.recordCount <= 0) return 0;
  std::memcpy(t.currentKey.data(), search.data(), search.size());
  if (Zet00::IndexSeek(table, slot) != Zet00::kStatusFound) return 0;
  const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
  t.currentRecord = recno;
  error = Zet01::ReadRecord(table, recno);
  if (error != 0) return 0;
  if (exact) {
    const BTREES::PTree tree = Zet00::IndexTree(table, slot);
    const size_t length = tree ? tree->header.keyLength : 0;
    if (length <= ZetTable::kKeyRecordNumber ||
        std::memcmp(search.data() + ZetTable::kKeyRecordNumber, t.currentKey.data() + ZetTable::kKeyRecordNumber,
                    length - ZetTable::kKeyRecordNumber) != 0)
      return 0;
  }
  return recno;
}

// --- Marks and variables ------------------------------------------------------

int MarksToVariable(bool apply, int table, uint16_t variable) {
  const TKind kind = KindOf(variable);
  if (kind == TKind::Other) return kErrVariableKind;
  if (!apply) return 0;
  if (!TableNumberInRange(table)) return kErrTableNumber;
  TZetTable& t = *ZetTable::Table(table);
  const std::vector<uint32_t>& marks = ZetTable::MarkList(t).Items();
  if (kind == TKind::Real) {
    const TRealArray a = RealArray(variable);
    const size_t n = std::min(a.count, marks.size());
    for (size_t k = 0; k < n; ++k) SetElement(a, k, double(marks[k]));
  } else if (kind == TKind::Bits) {
    bool valid = false;
    Bitarray::TBitArray bits = BitArrayOf(variable, valid);
    for (uint32_t r : marks) Bitarray::SetBit(bits, int32_t(r));
  } else {
    MarkLists::MarkListCopy(ZetTable::MarkList(t), *ZetVars::GetMarkVariable(variable));
  }
  return 0;
}

int VariableToMarks(bool apply, int table, uint16_t variable) {
  const TKind kind = KindOf(variable);
  if (kind == TKind::Other) return kErrVariableKind;
  if (!apply) return 0;
  if (!TableNumberInRange(table)) return kErrTableNumber;
  TZetTable& t = *ZetTable::Table(table);
  MarkLists::TMarkList& list = ZetTable::MarkList(t);
  if (kind == TKind::Real) {
    const bool hadMarks = !list.Empty();
    ForEachArrayRecord(RealArray(variable), [&](size_t, int64_t r) {
      if (r <= 0 || r > UINT32_MAX) return;
      if (hadMarks && MarkLists::MarkListContains(list, uint32_t(r))) return;
      MarkLists::MarkListAdd(list, uint32_t(r));
    });
  } else if (kind == TKind::Bits) {
    bool valid = false;
    const Bitarray::TBitArray bits = BitArrayOf(variable, valid);
    MarkLists::MarkListClear(list);
    const int64_t last = std::min<int64_t>(std::max(t.recordCount, 0), int64_t(bits.byteCount) * 8 - 1);
    for (int64_t r = 1; r <= last; ++r)
      if (Bitarray::TestBit(bits, int32_t(r))) MarkLists::MarkListAdd(list, uint32_t(r));
  } else {
    MarkLists::MarkListCopy(*ZetVars::GetMarkVariable(variable), list);
  }
  return 0;
}

namespace {

// The record numbers a REAL array holds before its first 0.
std::unordered_set<uint32_t> ArrayRecordSet(const TRealArray& a) {
  std::unordered_set<uint32_t> set;
  ForEachArrayRecord(a, [&](size_t, int64_t r) {
    if (r > 0 && r <= UINT32_MAX) set.insert(uint32_t(r));
  });
  return set;
}

int FilterMarks(bool apply, int table, uint16_t variable, bool keepListed) {
  const TRealArray a = RealArray(variable);
  if (!a.valid) return kErrVariableKind;
  if (!apply) return 0;
  if (!TableNumberInRange(table)) return kErrTableNumber;
  TZetTable& t = *ZetTable::Table(table);
  const std::unordered_set<uint32_t> listed = ArrayRecordSet(a);
  std::vector<uint32_t> kept;
  for (uint32_t r : ZetTable::MarkList(t).Items())
    if (listed.contains(r) == keepListed) kept.push_back(r);
  ReplaceMarks(t, kept);
  return 0;
}

}  // namespace

int KeepMarksInArray(bool apply, int table, uint16_t variable) { return FilterMarks(apply, table, variable, true); }
int RemoveMarksInArray(bool apply, int table, uint16_t variable) { return FilterMarks(apply, table, variable, false); }

int InvertMarksWithArray(bool apply, int table, uint16_t variable) {
  const TRealArray a = RealArray(variable);
  if (!a.valid) return kErrVariableKind;
  if (!apply) return 0;
  if (!TableNumberInRange(table)) return kErrTableNumber;
  ForEachArrayRecord(a, [&](size_t k, int64_t r) {
    if (r > 0 && r <= UINT32_MAX && ZetTable::IsMarked(table, uint32_t(r))) SetElement(a, k, -1);
  });
  ZetTable::ClearMarks(table);
  return VariableToMarks(apply, table, variable);
}

int32_t RecordToVariable(bool apply, int table, uint16_t variable, bool toVariable, int& error) {
  error = 0;
  const TRealArray a = RealArray(variable);
  if (!a.valid) {
    error = kErrVariableKind;
    return 0;
  }
  if (!apply) return 0;
  if (!TableNumberInRange(table)) {
    error = kErrTableNumber;
    return 0;
  }
  TZetTable& t = *ZetTable::Table(table);
  t.recordBuffer.resize(t.recordLength);
  std::vector<uint8_t>& data = *ZetVars::GetArrayData(variable);
  const size_t n = std::min<size_t>(data.size(), t.recordLength);
  if (toVariable) std::memcpy(data.data(), t.recordBuffer.data(), n);
  else std::memcpy(t.recordBuffer.data(), data.data(), n);
  return int32_t(n) - int32_t(t.recordLength);
}

int32_t BitArrayOperation(bool apply, int function, uint16_t a, uint16_t b, int32_t n) {
  bool validA = false;
  bool validB = false;
  Bitarray::TBitArray bitsA = BitArrayOf(a, validA);
  const bool twoArrays = function == 68 || function == 70 || function == 71;
  Bitarray::TBitArray bitsB = twoArrays ? BitArrayOf(b, validB) : Bitarray::TBitArray{};
  if (!validA || (twoArrays && !validB)) return kNotBitArray;
  if (!apply) return 0;
  switch (function) {
    case 68: Bitarray::AndBits(bitsA, bitsB); break;
    case 70: Bitarray::AndNotBits(bitsA, bitsB); break;
    case 71: Bitarray::OrBits(bitsA, bitsB); break;
    case 76: Bitarray::SetBit(bitsA, n); break;
    case 77: Bitarray::ClearBit(bitsA, n); break;
    default: break;
  }
  return Bitarray::CountBits(bitsA);
}

bool NumberInArray(double x, uint16_t variable) {
  const TRealArray a = RealArray(variable);
  const int64_t wanted = Rounded(x);
  for (size_t k = 0; k < a.count; ++k) {
    const int64_t v = Rounded(ElementAt(a, k));
    if (v == wanted) return true;
    if (v == 0) return false;
  }
  return false;
}

int SortTextArray(bool apply, uint16_t variable, int32_t n) {
  std::vector<std::string>* strings = ZetVars::GetArrayStrings(variable);
  if (!strings) return kErrVariableKind;
  if (!apply || n < 0) return 0;
  const size_t count = std::min<size_t>(size_t(n) + 1, strings->size());
  std::stable_sort(strings->begin(), strings->begin() + ptrdiff_t(count),
                   [](const std::string& x, const std::string& y) { return UPPERCAS::CollateCompare(x, y) < 0; });
  return 0;
}

// --- Relation marking -----------------------------------------------------

namespace {

// The records of the linked table that the relation entries of the source's
// current record name, in index order; false without a usable index.
bool LinkedRecords(int source, int relation, uint16_t mask, std::vector<uint32_t>& records, int& linkedTable) {
  TZetTable& s = *ZetTable::Table(source);
  TZetTable& r = *ZetTable::Table(relation);
  // The side of the source table decides which field selects the entries.
  const bool sourceFirst = Zet01::LinkedTableOfField(relation, kRelationFirstField) == source;
  const uint16_t ownField = sourceFirst ? kRelationFirstField : kRelationSecondField;
  const uint16_t otherField = sourceFirst ? kRelationSecondField : kRelationFirstField;
  linkedTable = Zet01::LinkedTableOfField(relation, otherField);
  const int slot = Zet01::IndexOfFieldKey(relation, ownField);
  if (slot <= 0 || linkedTable <= 0 || !ZetTable::Table(linkedTable) || !Zet00::IndexAvailable(relation, slot, false))
    return false;
  const ZetTable::TIndexDescriptor& d = *r.indexes[size_t(slot)];
  const size_t partLength = bytes::GetU16(d.header.data() + ZetTable::kKeyPartLength);
  BTREES::PTree tree = Zet00::IndexTree(relation, slot);
  if (!tree) return false;
  // The key of an entry that names the source's current record.
  const int32_t own = s.autoNumberField ? FieldInteger(s, s.autoNumberField, s.recordBuffer.data()) : 0;
  std::vector<uint8_t> probeRecord(r.recordLength, 0);
  bytes::PutI32(probeRecord.data() + r.FieldOffset(ownField), own);
  Key wanted{};
  if (Zet00::MakeKey(relation, slot, probeRecord.data(), wanted.data(), 0) != 0) return false;
  Key probe = wanted;
  const size_t compare = std::min<size_t>(partLength, tree->header.keyLength - ZetTable::kKeyRecordNumber);
  std::vector<uint8_t> entry(r.recordLength);
  int result = BTREES::FindNearest(tree, probe.data());
  while (result == BTREES::kResultOk &&
         std::memcmp(probe.data() + ZetTable::kKeyRecordNumber, wanted.data() + ZetTable::kKeyRecordNumber,
                     compare) == 0) {
    if (Common::BreakRequested) break;
    const uint32_t entryRecord = Zet00::KeyRecordNumber(probe.data());
    if (Zet01::ReadRecordInto(relation, entryRecord, entry.data(), nullptr, 0, ZetTable::kOrderRecords) == 0) {
      const bool selected = mask == 0 || (FieldInteger(r, kRelationFlagField, entry.data()) & mask) != 0;
      const int32_t linkedNumber = FieldInteger(r, otherField, entry.data());
      const uint32_t linked = selected ? Zet00::RecordOfAutoNumber(linkedTable, linkedNumber) : 0;
      if (linked != 0) records.push_back(linked);
    }
    result = BTREES::Next(tree, probe.data());
  }
  return true;
}

}  // namespace

int32_t MarkRel(int source, int relation, int mode, uint16_t mask) {
  std::vector<uint32_t> records;
  int linked = 0;
  if (!LinkedRecords(source, relation, mask, records, linked)) return -int32_t(kErrNoRelationIndex);
  TZetTable& t = *ZetTable::Table(linked);
  MarkLists::TMarkList& list = ZetTable::MarkList(t);
  int32_t added = 0;
  if (mode == 0) {
    for (uint32_t r : records)
      if (!MarkLists::MarkListContains(list, r)) {
        MarkLists::MarkListAdd(list, r);
        ++added;
      }
  } else if (mode == 1) {
    // Every old mark is kept in a buffer that grows with the list.
    const std::unordered_set<uint32_t> old(list.Items().begin(), list.Items().end());
    MarkLists::MarkListClear(list);
    for (uint32_t r : records)
      if (old.contains(r) && !MarkLists::MarkListContains(list, r)) {
        MarkLists::MarkListAdd(list, r);
        ++added;
      }
  } else if (mode == 2) {
    const std::unordered_set<uint32_t> linkedSet(records.begin(), records.end());
    std::vector<uint32_t> kept;
    for (uint32_t r : list.Items())
      if (!linkedSet.contains(r)) kept.push_back(r);
    ReplaceMarks(t, kept);
  }
  return added;
}

int32_t MarkLinkedRecords(int source, int relation, uint16_t mask, uint8_t* bits, int32_t byteCount) {
  std::vector<uint32_t> records;
  int linked = 0;
  if (!LinkedRecords(source, relation, mask, records, linked)) return -int32_t(kErrNoRelationIndex);
  Bitarray::TBitArray array{byteCount, bits};
  int32_t added = 0;
  for (uint32_t r : records)
    if (!Bitarray::TestBit(array, int32_t(r))) {
      Bitarray::SetBit(array, int32_t(r));
      ++added;
    }
  return added;
}

void TableServicesInit() { g_progress = NoProgress; }

}  // namespace Zet02
