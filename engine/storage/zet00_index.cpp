#include "engine/storage/zet00_index.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/engassert.h"
#include "engine/base/lowfiles.h"
#include "engine/base/stacklib.h"
#include "engine/base/uppercas.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_keytext.h"
#include "platform/files.h"

namespace Zet00 {

using ZetTable::TIndexDescriptor;
using ZetTable::TZetTable;

TReadRecordProc ReadRecordHook = nullptr;
TSameExpressionProc SameExpressionHook = nullptr;
TCreateTableProc CreateTableHook = nullptr;
TCreateIndexProc CreateIndexHook = nullptr;

namespace {

// Above this setting 8-byte keys get pages of the setting / 8, else 512.
constexpr int32_t kSmallKeyPageThreshold = 4096;
constexpr int32_t kPageHeader = 4;  // first child and count of a page
// The header count of an index that must be rebuilt at its next open: no
// table ever holds this many records.
constexpr int32_t kCountForcingRebuild = -1;
// Longest name part of index files: version 2 and version 1.
constexpr size_t kMaxIndexBaseName = 40;
// A temporary index's name ends with the slot in two digits.
constexpr size_t kTemporarySlotDigits = 2;
constexpr int kFirstLetterDigit = 10;

int32_t g_pageSize = kDefaultIndexPageSize;
uint8_t g_status = kStatusFound;

// The open trees of the index slots. The table object's descriptor carries
// no tree of its own, so the index layer keeps them by descriptor; an entry
// counts only while its descriptor says it is open.
std::unordered_map<const TIndexDescriptor*, BTREES::PTree> g_trees;

using KeyBuffer = std::array<uint8_t, ZetTable::kMaxKeySize>;

TIndexDescriptor* SlotOf(TZetTable& t, int slot) {
  if (slot < 0 || slot >= ZetTable::kIndexSlots) return nullptr;
  return t.indexes[size_t(slot)].get();
}

// Where the index of a slot is kept. An alias shares the index files of the
// table it aliases, and with them that table's trees, open state and header
// counts (the slot of the same file there): keys written through either are
// seen by both, and only one tree ever writes a file. The temporary indexes
// an alias made itself are its own.
struct TSlotRef {
  int handle = 0;
  TZetTable* table = nullptr;
  int slot = 0;
  TIndexDescriptor* d = nullptr;
};

TSlotRef Resolve(int handle, int slot) {
  TZetTable* t = ZetTable::Table(handle);
  TIndexDescriptor* d = t ? SlotOf(*t, slot) : nullptr;
  if (!d || t->aliasOf == 0) return {handle, t, slot, d};
  if (TZetTable* owner = ZetTable::Table(t->aliasOf)) {
    for (int s = 0; s < ZetTable::kIndexSlots; ++s) {
      TIndexDescriptor* shared = SlotOf(*owner, s);
      if (shared && shared->fileName == d->fileName.view()) return {t->aliasOf, owner, s, shared};
    }
  }
  return {handle, t, slot, d};
}

BTREES::PTree TreeOf(const TIndexDescriptor* d) {
  if (!d || !d->isOpen) return nullptr;
  auto it = g_trees.find(d);
  return it == g_trees.end() ? nullptr : it->second;
}

void SetTree(TIndexDescriptor& d, BTREES::PTree tree) {
  g_trees[&d] = tree;
  d.isOpen = true;
  d.openFailed = false;
}

// Closes the tree of a slot; answers the B-tree's result word.
uint16_t CloseTreeOf(TIndexDescriptor& d, bool writeHeader) {
  auto it = g_trees.find(&d);
  uint16_t result = 0;
  if (d.isOpen && it != g_trees.end()) {
    BTREES::PTree tree = it->second;
    result = BTREES::CloseTree(tree, d.header.data(), ZetTable::kIndexHeaderSize, writeHeader);
  }
  if (it != g_trees.end()) g_trees.erase(it);
  d.isOpen = false;
  return result;
}

int32_t HeaderCount(const TIndexDescriptor& d) { return bytes::GetI32(d.header.data() + ZetTable::kIdxRecordCount); }
void SetHeaderCount(TIndexDescriptor& d, int32_t count) {
  bytes::PutI32(d.header.data() + ZetTable::kIdxRecordCount, count);
}

ShortStr TablePath(const TZetTable& t) { return Common::AppendStrCopy(t.directory, t.fileName); }

// The record count in the table file's header; false when it cannot be read.
bool ReadFileRecordCount(TZetTable& t, int32_t& count) {
  if (!t.tableFile) return false;
  uint8_t raw[4];
  if (LOWFILES::ReadBlock(*t.tableFile, RecordCountPosition(t.version), sizeof raw, 0, raw) != 0) return false;
  count = bytes::GetI32(raw);
  return true;
}

// The name part of the table's index files.
ShortStr IndexBaseName(const TZetTable& t, size_t reserve = 0) {
  ShortStr base = Common::SplitFileName(t.fileName).name;
  const size_t limit = IsVersion1(t.version) ? Common::kShortBaseName : kMaxIndexBaseName;
  base.truncate(limit - reserve);
  UPPERCAS::UpperStr(base);
  return base;
}

char SlotDigit(int n) { return n < kFirstLetterDigit ? char('0' + n) : char('A' + n - kFirstLetterDigit); }

void MarkFailed(TIndexDescriptor& d, uint16_t error, std::string_view path) {
  d.openFailed = true;
  d.isOpen = false;
  Common::SetFileError(error, path);
}

// Takes an index out of use after it was left inconsistent: its header
// forces a rebuild at the next open with the count check, and until then
// the slot fails at once.
void AbandonIndex(TIndexDescriptor& d) {
  SetHeaderCount(d, kCountForcingRebuild);
  CloseTreeOf(d, true);
  d.openFailed = true;
}

// The field type a part over field n must have.
uint8_t KeyTypeOfField(const TZetTable& t, uint16_t n) {
  const uint8_t type = t.FieldType(n);
  if (type == Common::kTypeBlob && t.SizeCode(n) > ZetTable::kMaxBlobSizeCode) return Common::kTypeString;
  return type;
}

// Every field part names a field of the table with the part's type (a
// type-25 part an L field).
bool DescriptionFitsTable(const TZetTable& t, const uint8_t* desc) {
  for (size_t i = 0, n = PartCount(desc); i < n; ++i) {
    const TKeyPart part = KeyPart(desc, i);
    if (part.IsExpression() || part.IsVariable()) continue;
    if (!t.ValidField(part.Number())) return false;
    const uint8_t fieldType = KeyTypeOfField(t, part.Number());
    const uint8_t wanted = part.type == ZetTable::kKeyTypeLinkedRecord ? uint8_t(Common::kTypeLink) : part.type;
    if (fieldType != wanted) return false;
  }
  return true;
}

// Two descriptions describe the same key; the ID mark does not count.
bool SameDescription(const uint8_t* a, const uint8_t* b) {
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> plainA{}, plainB{};
  std::memcpy(plainA.data(), a, plainA.size());
  std::memcpy(plainB.data(), b, plainB.size());
  for (auto* d : {&plainA, &plainB})
    if (HasIdMark(d->data())) SetKeyPart(d->data(), kIdMarkPart, {});
  return plainA == plainB;
}

bool IsAutomaticSlot(const TZetTable& t, int slot) {
  const int first = FirstIndexSlot(t);
  return slot >= first && slot < first + t.automaticIndexSlots;
}

uint8_t Finish(uint8_t status) {
  g_status = status;
  return status;
}

int RunTreeOp(BTREES::PTree tree, TIndexOp op, uint8_t* key) {
  switch (op) {
    case TIndexOp::First: return BTREES::First(tree, key);
    case TIndexOp::Last: return BTREES::Last(tree, key);
    case TIndexOp::Prior: return BTREES::Prior(tree, key);
    case TIndexOp::Next: return BTREES::Next(tree, key);
    case TIndexOp::Seek: return BTREES::FindNearest(tree, key);
    case TIndexOp::Delete: return BTREES::Delete(tree, key);
    case TIndexOp::Insert: return BTREES::Insert(tree, key);
  }
  return BTREES::kResultFailed;
}

// What a key operation's result gives: a failure takes a damaged file out
// of use and is reported, a success moves the header's count by the mode.
uint8_t FinishKeyOp(const TSlotRef& ref, int mode, int result) {
  TIndexDescriptor& d = *ref.d;
  if (result == BTREES::kResultFailed) {
    const ShortStr path = IndexPath(*ref.table, ref.slot);
    // A damaged file is taken out of use; a table that may write its index
    // headers has it rebuilt from the records at its next open.
    if (BTREES::Error == BTREES::kErrDamaged && ref.table->Writable()) AbandonIndex(d);
    Common::SetFileError(mode == kModeNavigate ? kErrIndexWrite : kErrIndexRead, path);
    return Finish(kStatusFailed);
  }
  if (result == BTREES::kResultOk) {
    if (mode == kModeInsert) SetHeaderCount(d, HeaderCount(d) + 1);
    if (mode == kModeDelete) SetHeaderCount(d, HeaderCount(d) - 1);
    return Finish(kStatusFound);
  }
  return Finish(kStatusNone);
}

// One operation on an open or openable slot with the key in key.
uint8_t KeyOp(int handle, int slot, int mode, TIndexOp op, uint8_t* key) {
  if (!IndexAvailable(handle, slot, false)) return Finish(kStatusFailed);
  const TSlotRef ref = Resolve(handle, slot);
  return FinishKeyOp(ref, mode, RunTreeOp(TreeOf(ref.d), op, key));
}

bool BeginsWithParts(int handle, const uint8_t* slotDesc, const uint8_t* wanted) {
  const size_t n = PartCount(wanted);
  if (n == 0 || PartCount(slotDesc) < n || IsExpressionKey(wanted) != IsExpressionKey(slotDesc)) return false;
  if (IsExpressionKey(wanted)) {
    return KeyPart(wanted, 0).length == KeyPart(slotDesc, 0).length &&
           SameExpressionHook(handle, KeyExpressionText(slotDesc), KeyExpressionText(wanted));
  }
  for (size_t i = 0; i < n; ++i) {
    const TKeyPart a = KeyPart(slotDesc, i), b = KeyPart(wanted, i);
    if (a.field != b.field || a.length != b.length) return false;
  }
  return true;
}

// The stored description begins with the automatic one, part for part with
// the same field word, length and type, and may add parts after it: the
// full-text relation index keeps the word's link part first and adds the
// source record and the weight, which only its keys hold.
bool ExtendsAutomaticKey(int handle, const uint8_t* stored, const uint8_t* automatic) {
  if (IsExpressionKey(automatic) || !BeginsWithParts(handle, stored, automatic)) return false;
  for (size_t i = 0, n = PartCount(automatic); i < n; ++i)
    if (KeyPart(stored, i).type != KeyPart(automatic, i).type) return false;
  return true;
}

// The key description of an index file whose tree cannot be opened, when
// its user header can still be read and describes a key of the table; it
// becomes the slot's.
bool ReadStoredDescription(const TZetTable& t, std::string_view path, TIndexDescriptor& d) {
  LOWFILES::TLowFile file;
  std::array<uint8_t, ZetTable::kIndexHeaderSize> header{};
  if (LOWFILES::OpenLowFile(file, path, LOWFILES::kModeReadShared) != 0) return false;
  const bool read =
      LOWFILES::ReadBlock(file, BTREES::kUserHeaderOffset, uint16_t(header.size()), 0, header.data()) == 0;
  if (file.isRegistered) LOWFILES::CloseLowFile(file, false);
  if (!read || !SoundDescription(header.data()) || !DescriptionFitsTable(t, header.data())) return false;
  std::memcpy(d.header.data(), header.data(), ZetTable::kKeyDescriptionSize);
  return true;
}

// A user index whose file is missing, or too short or damaged to hold the
// description of its key: it cannot be built again from the records.
bool UserIndexLost(const TZetTable& t, int slot) {
  if (!IsUserIndex(t, slot)) return false;
  const ShortStr path = IndexPath(t, slot);
  if (!Common::FileExists(path)) return true;
  TIndexDescriptor probe;
  return !ReadStoredDescription(t, path, probe);
}

// Opens an existing or missing index file of a slot (see IndexAvailable).
bool OpenIndex(int handle, TZetTable& t, int slot, bool checkCount) {
  TIndexDescriptor& d = *SlotOf(t, slot);
  const ShortStr path = IndexPath(t, slot);
  d.tableVersion = t.version;
  const bool automatic = IsAutomaticSlot(t, slot);
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> expected{};
  std::memcpy(expected.data(), d.header.data(), expected.size());

  if (d.fileName.empty() || !Common::FileExists(path)) {
    if (d.fileName.empty() || IsUserIndex(t, slot) || PartCount(expected.data()) == 0) {
      MarkFailed(d, kErrIndexWrite, path);
      return false;
    }
    return RebuildIndex(handle, slot) == 0;
  }
  BTREES::PTree tree = nullptr;
  if (BTREES::OpenTree(tree, path, KeyCompareProc(t.version), t.fileOpenMode, ZetTable::kIndexHeaderSize,
                       d.header.data()) != 0) {
    const uint16_t error = BTREES::Error;
    if (automatic) std::memcpy(d.header.data(), expected.data(), expected.size());
    // A file cut short or that cannot be read (a machine that stopped while
    // it was written) is built again from the records, like an unsettled
    // one, when its key is known: the table's for an automatic index, else
    // the description the file still holds.
    const bool unreadable = error == BTREES::kErrDamaged || error == uint16_t(LOWFILES::kErrReadFailed);
    if (unreadable && !t.countUnknown && (automatic || ReadStoredDescription(t, path, d))) {
      Common::SetFileError(kErrIndexNotFit, path);
      return RebuildIndex(handle, slot) == 0;
    }
    MarkFailed(d, error == BTREES::kErrDamaged ? kErrIndexDamaged : kErrIndexWrite, path);
    return false;
  }
  SetTree(d, tree);
  bool fits = true;
  const bool marked = HasIdMark(d.header.data());
  if (automatic && !SameDescription(expected.data(), d.header.data()) &&
      (marked || !ExtendsAutomaticKey(handle, d.header.data(), expected.data()))) {
    // The table decides what its automatic indexes hold; the file keeps
    // whether the index is the unique ID index, whose key stays exactly the
    // table's. Another index keeps a key that only adds parts to the
    // table's.
    std::memcpy(d.header.data(), expected.data(), expected.size());
    if (marked) SetIdMark(d.header.data());
    fits = false;
  }
  if (!SoundDescription(d.header.data())) {
    CloseTreeOf(d, false);
    MarkFailed(d, kErrIndexDamaged, path);
    return false;
  }
  fits = fits && DescriptionFitsTable(t, d.header.data()) && tree->header.keyLength == KeyLength(d.header.data());
  const bool countDiffers = checkCount && !t.countUnknown && HeaderCount(d) != t.recordCount;
  if (fits && !countDiffers) return true;
  Common::SetFileError(kErrIndexNotFit, path);
  return RebuildIndex(handle, slot) == 0;
}

// The file a rebuild builds the new tree in: the index file's name with the
// extension ".$$R", in the same directory.
std::string RebuildPath(std::string_view indexPath) {
  const size_t dot = indexPath.find_last_of('.');
  const size_t separator = indexPath.find_last_of("\\/");
  const size_t end = dot != std::string_view::npos && (separator == std::string_view::npos || dot > separator)
                         ? dot
                         : indexPath.size();
  return std::string(indexPath.substr(0, end)) + ".$$R";
}

// After a rebuild: every page and the tree's header go to the file, and
// only then the true count over the unsettled one.
bool SettleRebuiltIndex(BTREES::PTree tree, TIndexDescriptor& d, int32_t count) {
  if (BTREES::WriteHeaders(tree, d.header.data(), ZetTable::kIndexHeaderSize, 0) != 0) return false;
  SetHeaderCount(d, count);
  return BTREES::WriteHeaders(tree, d.header.data(), ZetTable::kIndexHeaderSize, 0) == 0;
}

// Follows the removal of slot in a reference to a slot; false when the
// reference named the removed slot.
bool RemapSlot(uint8_t& ref, int slot) {
  if (ref == slot) {
    ref = 0;
    return false;
  }
  if (ref > slot) --ref;
  return true;
}

int DefaultReadRecord(int handle, uint32_t recno, uint8_t* buffer) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !t->tableFile || recno == 0) return LOWFILES::kErrReadFailed;
  const uint64_t position = t->headerSize + uint64_t(recno - 1) * t->recordLength;
  return LOWFILES::ReadBlock(*t->tableFile, position, t->recordLength, t->tableKey, buffer);
}

bool DefaultSameExpression(int, std::string_view a, std::string_view b) { return a == b; }

template <typename T>
void PushValue(T value) {
  STACKLIB::Push(&value, sizeof value);
}

template <typename T>
void PopValue(T& value) {
  STACKLIB::Pop(&value, sizeof value);
}

}  // namespace

// ---------------------------------------------------------------------------
// Settings and names

int32_t IndexPageSize() { return g_pageSize; }

bool SetIndexPageSize(int32_t size) {
  if (size < kMinIndexPageSize || size > kMaxIndexPageSize) return false;
  g_pageSize = size;
  return true;
}

uint16_t PageSizeFor(uint16_t keyLength) {
  int32_t size = g_pageSize;
  if (keyLength == kSmallKeyLength)
    size = size > kSmallKeyPageThreshold ? size / kSmallKeyPageDivisor : kMinIndexPageSize;
  const int32_t entry = int32_t(keyLength) + BTREES::kEntryOverhead;
  while ((size - kPageHeader) / entry / 2 == 0 ||
         size < int32_t(BTREES::kUserHeaderOffset + ZetTable::kIndexHeaderSize))
    size += kMinIndexPageSize;
  return uint16_t(size);
}

uint8_t IndexStatus() { return g_status; }

int FirstIndexSlot(const TZetTable& table) { return table.hasAutoNumber ? 0 : 1; }

ShortStr IndexPath(const TZetTable& table, int slot) {
  const auto& d = table.indexes[size_t(slot)];
  return Common::AppendStrCopy(table.directory, d ? d->fileName.view() : std::string_view());
}

bool IsUserIndex(const TZetTable& table, int slot) {
  const auto& d = table.indexes[size_t(slot)];
  return d && Common::HasExtension(d->fileName, kUserIndexExtension);
}

bool IsUniqueIndex(const TZetTable& table, int slot) {
  if (slot < 0 || slot >= ZetTable::kIndexSlots) return false;
  const auto& d = table.indexes[size_t(slot)];
  return d && (d->idIndex || HasIdMark(d->header.data()));
}

int AssignIndexFileNames(TZetTable& table) {
  struct TAutomatic {
    ShortStr name;
    std::array<uint8_t, ZetTable::kKeyDescriptionSize> description{};
  };
  std::vector<TAutomatic> automatic;
  const ShortStr base = IndexBaseName(table);
  const int first = FirstIndexSlot(table);
  if (table.hasAutoNumber) {
    TAutomatic number{Common::AppendStrCopy(base, kNumberIndexExtension)};
    SetKeyPart(number.description.data(), 0,
               {table.autoNumberField, ZetTable::kKeyRecordNumber, Common::kTypeAutoNumber});
    automatic.push_back(number);
    TAutomatic id{Common::AppendStrCopy(base, kIdIndexExtension)};
    id.description = table.idKeyDescription;
    automatic.push_back(id);
  }
  for (uint16_t n = 1; n <= table.fieldCount; ++n) {
    if (table.FieldType(n) != Common::kTypeLink || !table.IsStored(n) ||
        (table.TypeByte(n) & ZetTable::kTypeNullable))
      continue;
    const int slot = first + int(automatic.size());
    ShortStr name = Common::AppendStrCopy(base, kLinkIndexExtension);
    name[name.size() - 1] = SlotDigit(table.hasAutoNumber ? slot - 1 : slot);
    TAutomatic link{name};
    SetKeyPart(link.description.data(), 0, {n, ZetTable::kKeyRecordNumber, Common::kTypeLink});
    automatic.push_back(link);
  }
  const int last = first + int(automatic.size()) - 1;
  if (last > ZetTable::kMaxIndexSlot) {
    Common::SetFileError(kErrTooManyIndexes, TablePath(table));
    return kErrTooManyIndexes;
  }
  for (size_t i = 0; i < automatic.size(); ++i) {
    auto& slot = table.indexes[size_t(first) + i];
    if (slot) CloseTreeOf(*slot, false);
    slot = std::make_unique<TIndexDescriptor>();
    slot->fileName = automatic[i].name;
    slot->tableVersion = table.version;
    std::memcpy(slot->header.data(), automatic[i].description.data(), ZetTable::kKeyDescriptionSize);
  }
  table.automaticIndexSlots = uint8_t(automatic.size());
  table.highestIndexSlot = uint16_t(std::max<int>(table.highestIndexSlot, last));
  return 0;
}

// ---------------------------------------------------------------------------
// Creating and opening

int CreateIndexFile(TZetTable& table, int slot) {
  TIndexDescriptor* d = SlotOf(table, slot);
  ZET_ASSERT(d != nullptr, "No index to create");
  const ShortStr path = IndexPath(table, slot);
  const uint32_t keyLength = KeyLength(d->header.data());
  if (!SoundDescription(d->header.data())) {
    Common::SetFileError(kErrIndexCreate, path);
    return kErrIndexCreate;
  }
  d->header[ZetTable::kIdxWrittenFlag] = 1;
  SetHeaderCount(*d, 0);
  bytes::PutU16(d->header.data() + ZetTable::kIdxKeyLength, uint16_t(keyLength));
  BTREES::PTree tree = nullptr;
  if (BTREES::CreateTree(tree, path, PageSizeFor(uint16_t(keyLength)), LOWFILES::kModeReadWriteShared,
                         ZetTable::kIndexHeaderSize, d->header.data(), KeyCompareProc(table.version),
                         uint16_t(keyLength)) != 0 ||
      BTREES::CloseTree(tree, d->header.data(), ZetTable::kIndexHeaderSize, true) != 0) {
    Common::SetFileError(kErrIndexCreate, path);
    return kErrIndexCreate;
  }
  return 0;
}

bool IndexAvailable(int handle, int slot, bool checkCount) {
  const TSlotRef ref = Resolve(handle, slot);
  TIndexDescriptor* d = ref.d;
  if (!d) return false;
  if (d->isOpen) return TreeOf(d) != nullptr;
  if (d->openFailed) {
    if (!Common::FileExists(IndexPath(*ref.table, ref.slot))) RemoveIndexSlot(*ref.table, ref.slot);
    return false;
  }
  return OpenIndex(ref.handle, *ref.table, ref.slot, checkCount);
}

int OpenIndexes(int handle) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return kErrIndexWrite;
  for (int slot = FirstIndexSlot(*t); slot <= t->highestIndexSlot; ++slot) {
    if (!t->indexes[size_t(slot)] || IndexAvailable(handle, slot, true)) continue;
    if (!UserIndexLost(*t, slot)) return kErrIndexWrite;
    // Nothing tells the lost index's key any more: the table opens without
    // it, and the open's error names its file. Its slot is taken by the next
    // index, which is looked at in turn.
    const ShortStr path = IndexPath(*t, slot);
    RemoveIndexSlot(*t, slot--);
    Common::SetFileError(kErrIndexWrite, path);
  }
  return 0;
}

BTREES::PTree IndexTree(int handle, int slot) { return TreeOf(Resolve(handle, slot).d); }

bool FirstKeyHoldsZeroAt(int handle, int slot, size_t offset) {
  if (!IndexAvailable(handle, slot, false)) return false;
  BTREES::PTree tree = IndexTree(handle, slot);
  std::array<uint8_t, ZetTable::kMaxKeySize> key{};
  return tree && offset + 4 <= tree->header.keyLength && BTREES::First(tree, key.data()) == BTREES::kResultOk &&
         bytes::GetI32(key.data() + offset) == 0;
}

ZetTable::TIndexDescriptor* IndexDescriptor(int handle, int slot) { return Resolve(handle, slot).d; }

int WriteIndexHeader(int handle, int slot) {
  const TSlotRef ref = Resolve(handle, slot);
  BTREES::PTree tree = TreeOf(ref.d);
  if (!tree) return 0;
  // The keys name records 1..count as the table holds them in memory; the
  // file's count may still be the one before appends made without flush.
  // A count that settles the index goes to the disk only after every page
  // it covers.
  if (ref.table->recordCount >= 0 && HeaderCount(*ref.d) != ref.table->recordCount) {
    if (BTREES::WritePages(tree) != 0 || LOWFILES::SyncFile(tree->file) != 0) {
      Common::SetFileError(Common::kErrWrite, IndexPath(*ref.table, ref.slot));
      return Common::kErrWrite;
    }
    SetHeaderCount(*ref.d, ref.table->recordCount);
  }
  if (BTREES::WriteHeaders(tree, ref.d->header.data() + ZetTable::kIdxWrittenFlag,
                           ZetTable::kIndexHeaderSize - ZetTable::kIdxWrittenFlag, ZetTable::kIdxWrittenFlag) != 0) {
    Common::SetFileError(Common::kErrWrite, IndexPath(*ref.table, ref.slot));
    return Common::kErrWrite;
  }
  return 0;
}

int WriteIndexHeaderRestructure(int handle, int slot) {
  const TSlotRef ref = Resolve(handle, slot);
  BTREES::PTree tree = TreeOf(ref.d);
  if (!tree) return 0;
  int32_t count = 0;
  if (ReadFileRecordCount(*ref.table, count)) SetHeaderCount(*ref.d, count);
  if (BTREES::WriteHeaders(tree, ref.d->header.data(), ZetTable::kIndexHeaderSize, 0) != 0) {
    Common::SetFileError(Common::kErrWrite, IndexPath(*ref.table, ref.slot));
    return Common::kErrWrite;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Key operations

uint8_t IndexOperation(int handle, int slot, int mode, TIndexOp op) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return Finish(kStatusFailed);
  return KeyOp(handle, slot, mode, op, t->currentKey.data());
}

uint8_t IndexFirst(int handle, int slot) { return IndexOperation(handle, slot, kModeNavigate, TIndexOp::First); }
uint8_t IndexLast(int handle, int slot) { return IndexOperation(handle, slot, kModeNavigate, TIndexOp::Last); }
uint8_t IndexPrior(int handle, int slot) { return IndexOperation(handle, slot, kModeNavigate, TIndexOp::Prior); }
uint8_t IndexNext(int handle, int slot) { return IndexOperation(handle, slot, kModeNavigate, TIndexOp::Next); }
uint8_t IndexSeek(int handle, int slot) { return IndexOperation(handle, slot, kModeNavigate, TIndexOp::Seek); }
uint8_t IndexDeleteKey(int handle, int slot) { return IndexOperation(handle, slot, kModeDelete, TIndexOp::Delete); }
uint8_t IndexInsertKey(int handle, int slot) { return IndexOperation(handle, slot, kModeInsert, TIndexOp::Insert); }

uint8_t IndexWalk(int handle, int slot, uint8_t* key, BTREES::TVisitProc visit, void* context) {
  if (!IndexAvailable(handle, slot, false)) return Finish(kStatusFailed);
  const TSlotRef ref = Resolve(handle, slot);
  return FinishKeyOp(ref, kModeNavigate, BTREES::WalkFrom(TreeOf(ref.d), key, visit, context));
}

uint8_t IndexReplaceKey(int handle, int slot, const uint8_t* oldKey, const uint8_t* newKey) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !IndexAvailable(handle, slot, false)) return Finish(kStatusFailed);
  const TSlotRef ref = Resolve(handle, slot);
  std::memcpy(t->currentKey.data(), newKey, KeyLength(ref.d->header.data()));
  return FinishKeyOp(ref, kModeReplace, BTREES::Replace(TreeOf(ref.d), oldKey, newKey));
}

int InsertRecordKeys(int handle, uint32_t recno) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return Common::kErrWrite;
  std::vector<int> inserted;
  int error = 0;
  KeyBuffer key{};
  for (int slot = FirstIndexSlot(*t); slot <= t->highestIndexSlot && error == 0; ++slot) {
    if (!t->indexes[size_t(slot)]) continue;
    if (!IndexAvailable(handle, slot, false)) {
      error = Common::kErrWrite;
    } else if ((error = MakeKey(handle, slot, t->recordBuffer.data(), key.data(), recno)) == 0) {
      if (KeyOp(handle, slot, kModeInsert, TIndexOp::Insert, key.data()) == kStatusFailed)
        error = kErrIndexRead;
      else
        inserted.push_back(slot);
    }
  }
  if (error == 0) return 0;
  // Take the keys out again, so that no index names a record that was not
  // appended.
  for (int slot : inserted) {
    if (MakeKey(handle, slot, t->recordBuffer.data(), key.data(), recno) != 0 ||
        KeyOp(handle, slot, kModeDelete, TIndexOp::Delete, key.data()) != kStatusFound)
      AbandonIndex(*Resolve(handle, slot).d);
  }
  return error;
}

int UpdateRecordKeys(int handle, const uint8_t* oldRecord, uint32_t recno, bool& changed) {
  changed = false;
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return Common::kErrWrite;
  KeyBuffer oldKey{}, newKey{};
  for (int slot = FirstIndexSlot(*t); slot <= t->highestIndexSlot; ++slot) {
    if (!t->indexes[size_t(slot)]) continue;
    if (!IndexAvailable(handle, slot, false)) return Common::kErrWrite;
    if (int e = MakeKey(handle, slot, oldRecord, oldKey.data(), recno)) return e;
    if (int e = MakeKey(handle, slot, t->recordBuffer.data(), newKey.data(), recno)) return e;
    if (std::memcmp(oldKey.data(), newKey.data(), KeyLength(t->indexes[size_t(slot)]->header.data())) == 0)
      continue;
    changed = true;
    if (KeyOp(handle, slot, kModeDelete, TIndexOp::Delete, oldKey.data()) == kStatusFailed ||
        KeyOp(handle, slot, kModeInsert, TIndexOp::Insert, newKey.data()) == kStatusFailed) {
      AbandonIndex(*Resolve(handle, slot).d);
      return kErrIndexRead;
    }
  }
  return 0;
}

bool KeyExists(int handle, int slot, const uint8_t* key, uint32_t ownRecord, uint32_t* found) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !IndexAvailable(handle, slot, false)) {
    Finish(kStatusFailed);
    return false;
  }
  const TSlotRef ref = Resolve(handle, slot);
  const TIndexDescriptor& d = *ref.d;
  BTREES::PTree tree = TreeOf(&d);
  KeyBuffer probe{};
  std::memcpy(probe.data(), key, tree->header.keyLength);
  SetKeyRecordNumber(probe.data(), 0);
  int result = BTREES::FindNearest(tree, probe.data());
  while (result == BTREES::kResultOk && SameKey(probe.data(), key, d.header.data(), t->version)) {
    if (KeyRecordNumber(probe.data()) != ownRecord) {
      if (found) *found = KeyRecordNumber(probe.data());
      Finish(kStatusFound);
      return true;
    }
    result = BTREES::Next(tree, probe.data());
  }
  if (result == BTREES::kResultFailed) {
    Common::SetFileError(kErrIndexWrite, IndexPath(*ref.table, ref.slot));
    Finish(kStatusFailed);
  } else {
    Finish(kStatusNone);
  }
  return false;
}

uint32_t RecordOfAutoNumber(int handle, int32_t number) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !t->hasAutoNumber || !IndexAvailable(handle, 0, false)) return 0;
  KeyBuffer key{};
  bytes::PutI32(key.data() + ZetTable::kKeyRecordNumber, number);
  if (BTREES::FindNearest(IndexTree(handle, 0), key.data()) != BTREES::kResultOk) return 0;
  return bytes::GetI32(key.data() + ZetTable::kKeyRecordNumber) == number ? KeyRecordNumber(key.data()) : 0;
}

uint32_t LinkedRecordNumber(int linkedHandle, int32_t number) {
  const TZetTable* t = ZetTable::Table(linkedHandle);
  if (!t) return 0;
  if (uint32_t recno = RecordOfAutoNumber(linkedHandle, number)) return recno;
  return uint32_t(std::max(t->recordCount, 0)) + 1;
}

int CloseIndexes(int handle, bool withoutHeaders) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return 0;
  const bool writeHeaders = !withoutHeaders && t->Writable();
  // As WriteIndexHeader: the count the keys belong to is the one in memory.
  const bool countKnown = writeHeaders && t->recordCount >= 0;
  int error = 0;
  for (int slot = 0; slot < ZetTable::kIndexSlots; ++slot) {
    TIndexDescriptor* d = SlotOf(*t, slot);
    if (!d) continue;
    if (d->isOpen) {
      // As WriteIndexHeader: the pages reach the disk before the count that
      // settles them.
      if (countKnown && HeaderCount(*d) != t->recordCount) {
        BTREES::PTree tree = TreeOf(d);
        if (tree && (BTREES::WritePages(tree) != 0 || LOWFILES::SyncFile(tree->file) != 0)) {
          CloseTreeOf(*d, false);
          if (error == 0) error = Common::kErrWrite;
          Common::SetFileError(Common::kErrWrite, IndexPath(*t, slot));
          t->indexes[size_t(slot)].reset();
          continue;
        }
        SetHeaderCount(*d, t->recordCount);
      }
      if (CloseTreeOf(*d, writeHeaders) != 0 && error == 0) {
        error = Common::kErrWrite;
        Common::SetFileError(error, IndexPath(*t, slot));
      }
    }
    t->indexes[size_t(slot)].reset();
  }
  return error;
}

// ---------------------------------------------------------------------------
// Building and removing

int FindOrCreateIndex(int handle, const uint8_t* description, bool mayCreate) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return -1;
  for (int slot = FirstIndexSlot(*t); slot <= t->highestIndexSlot; ++slot) {
    if (t->indexes[size_t(slot)] && IndexAvailable(handle, slot, false) &&
        BeginsWithParts(handle, t->indexes[size_t(slot)]->header.data(), description))
      return slot;
  }
  if (!mayCreate || t->countUnknown || t->recordCount > kMaxRecordsForTemporaryIndex ||
      t->highestIndexSlot >= ZetTable::kMaxIndexSlot)
    return -1;
  const int slot = t->highestIndexSlot + 1;
  auto d = std::make_unique<TIndexDescriptor>();
  std::memcpy(d->header.data(), description, ZetTable::kKeyDescriptionSize);
  d->tableVersion = t->version;
  // Each temporary index of a table gets a file of its own.
  d->fileName = IndexBaseName(*t, kTemporarySlotDigits);
  d->fileName.append(char('0' + slot / 10));
  d->fileName.append(char('0' + slot % 10));
  d->fileName.append(kTemporaryIndexExtension);
  t->indexes[size_t(slot)] = std::move(d);
  t->highestIndexSlot = uint16_t(slot);
  if (RebuildIndex(handle, slot) != 0) {
    const ShortStr path = IndexPath(*t, slot);
    RemoveIndexSlot(*t, slot);
    Common::EraseFile(path);
    return -1;
  }
  return slot;
}

namespace {

// One index of a rebuild: its slot, the new tree being built beside the
// old file, the keys gathered for it, and its outcome.
struct TRebuild {
  int slot = 0;
  TIndexDescriptor* d = nullptr;
  ShortStr path;
  std::string building;
  BTREES::PTree tree = nullptr;
  std::unique_ptr<BTREES::TKeySorter> keys;
  int error = 0;
};

// Checks the slot and creates the new tree's file. Answers 0 or the error
// (reported; the slot is then out of use as before).
int BeginRebuild(TZetTable& t, TRebuild& r) {
  TIndexDescriptor& d = *r.d;
  r.path = IndexPath(t, r.slot);
  if (t.countUnknown) {
    // Such a table keeps its records only as keys of its index.
    Common::SetFileError(kErrIllegalOp, r.path);
    return kErrIllegalOp;
  }
  CloseTreeOf(d, false);
  d.tableVersion = t.version;
  if (!SoundDescription(d.header.data())) {
    MarkFailed(d, kErrIndexCreate, r.path);
    return kErrIndexCreate;
  }
  const uint16_t keyLength = uint16_t(KeyLength(d.header.data()));
  d.header[ZetTable::kIdxWrittenFlag] = 1;
  bytes::PutU16(d.header.data() + ZetTable::kIdxKeyLength, keyLength);
  // The new tree is built in a file of its own that takes the index file's
  // place only when it is whole: a rebuild cut short (even by the process
  // dying) leaves the old file, which is then rebuilt again at the next
  // open. Until the last key is in, the new file says unsettled too.
  r.building = RebuildPath(r.path);
  SetHeaderCount(d, kUnsettledCount);
  if (BTREES::CreateTree(r.tree, r.building, PageSizeFor(keyLength), LOWFILES::kModeReadWriteShared,
                         ZetTable::kIndexHeaderSize, d.header.data(), KeyCompareProc(t.version), keyLength) != 0) {
    MarkFailed(d, kErrIndexCreate, r.path);
    return kErrIndexCreate;
  }
  return 0;
}

// Writes the sorted keys as the new tree and puts its file in the old
// one's place. Answers 0 or the error (reported).
int FinishRebuild(TZetTable& t, TRebuild& r, int32_t count) {
  TIndexDescriptor& d = *r.d;
  int error = r.error;
  if (error == 0) {
    if (r.keys->Sort(KeyCompareProc(t.version), d.header.data()) != 0 || BTREES::BuildTree(r.tree, *r.keys) != 0) {
      error = kErrIndexCreate;
      Common::SetFileError(error, r.path);
    }
  }
  r.keys.reset();
  // The new file is on the disk before it takes the old one's place.
  if (error == 0 && (!SettleRebuiltIndex(r.tree, d, count) || LOWFILES::SyncFile(r.tree->file) != 0)) {
    error = kErrIndexCreate;
    Common::SetFileError(error, r.path);
  }
  if (BTREES::CloseTree(r.tree, d.header.data(), ZetTable::kIndexHeaderSize, error == 0) != 0 && error == 0) {
    error = kErrIndexCreate;
    Common::SetFileError(error, r.path);
  }
  // The new name is durable before the index counts as rebuilt.
  if (error == 0 && (platform::ReplaceFile(r.building, r.path) != 0 ||
                     LOWFILES::SyncDirectory(Common::SplitFileName(r.path).directory.view()) != 0)) {
    error = kErrIndexCreate;
    Common::SetFileError(error, r.path);
  }
  if (error != 0) {
    Common::EraseFile(r.building);
    // The old file (or none) stays; the slot is out of use until a rebuild
    // succeeds, at the latest at the next open.
    d.openFailed = true;
    return error;
  }
  BTREES::PTree tree = nullptr;
  if (BTREES::OpenTree(tree, r.path, KeyCompareProc(t.version), t.fileOpenMode, ZetTable::kIndexHeaderSize,
                       d.header.data()) != 0) {
    MarkFailed(d, kErrIndexCreate, r.path);
    return kErrIndexCreate;
  }
  SetTree(d, tree);
  return 0;
}

// Reads the records once for the keys of every index begun, then finishes
// each. Answers 0 or the first error.
int RebuildInOnePass(int handle, TZetTable& t, std::vector<TRebuild>& rebuilds, TProgressProc progress) {
  const int32_t count = std::max(t.recordCount, 0);
  std::vector<uint8_t> record(t.recordLength);
  KeyBuffer key{};
  const int32_t step = std::max(count / 100, 1);
  int passError = 0;
  for (int32_t recno = 1; recno <= count && passError == 0 && !rebuilds.empty(); ++recno) {
    if (ReadRecordHook(handle, uint32_t(recno), record.data()) != 0) {
      passError = Common::kErrRead;
      Common::SetFileError(passError, TablePath(t));
      break;
    }
    bool anyLeft = false;
    for (TRebuild& r : rebuilds) {
      if (r.error != 0) continue;
      if ((r.error = MakeKey(handle, r.slot, record.data(), key.data(), uint32_t(recno))) == 0) {
        r.keys->Add(key.data());
        anyLeft = true;
      }
    }
    if (!anyLeft) break;
    if (progress && recno % step == 0 && progress(recno, count) == 1) {
      passError = kErrBreak;
      Common::SetFileError(passError, rebuilds.front().path);
    }
  }
  int firstError = 0;
  for (TRebuild& r : rebuilds) {
    if (r.error == 0) r.error = passError;
    if (const int e = FinishRebuild(t, r, count); e != 0 && firstError == 0) firstError = e;
  }
  return firstError;
}

}  // namespace

int RebuildIndexes(int handle, std::span<const int> slots, TProgressProc progress) {
  if (slots.empty()) return 0;
  // The slots an alias shares resolve to its table's; one pass over the
  // records serves slots of one table only.
  const TSlotRef first = Resolve(handle, slots.front());
  for (const int slot : slots) {
    const TSlotRef ref = Resolve(handle, slot);
    if (!ref.d) return kErrIllegalOp;
    if (ref.handle != first.handle) {
      int error = 0;
      for (const int s : slots)
        if (const int e = RebuildIndexes(handle, std::span<const int>(&s, 1), progress); e != 0 && error == 0)
          error = e;
      return error;
    }
  }
  handle = first.handle;
  TZetTable& t = *first.table;
  // Slots are begun in order; one that cannot begin ends the list there,
  // as rebuilding them one after the other would. Indexes whose files
  // differ only in their extension build in the same temporary file: they
  // go in passes of their own.
  int error = 0, beginError = 0;
  for (size_t next = 0; next < slots.size() && beginError == 0;) {
    std::vector<TRebuild> rebuilds;
    for (; next < slots.size(); ++next) {
      const TSlotRef ref = Resolve(handle, slots[next]);
      const std::string building = RebuildPath(IndexPath(t, ref.slot));
      if (std::any_of(rebuilds.begin(), rebuilds.end(), [&](const TRebuild& r) { return r.building == building; }))
        break;
      TRebuild r;
      r.slot = ref.slot;
      r.d = ref.d;
      if ((beginError = BeginRebuild(t, r)) != 0) break;
      // The keys are sorted (beyond the sort memory limit, which the
      // indexes share, in runs merged from a temporary file) and each tree
      // is written bottom-up.
      r.keys = std::make_unique<BTREES::TKeySorter>(r.tree->header.keyLength, KeyCompareProc(t.version),
                                                    r.d->header.data(), BTREES::SortMemoryLimit() / slots.size());
      r.keys->Reserve(size_t(std::max(t.recordCount, 0)));
      r.keys->KeysDistinct();  // one key a record, each with its number
      rebuilds.push_back(std::move(r));
    }
    if (const int e = RebuildInOnePass(handle, t, rebuilds, progress); e != 0 && error == 0) error = e;
  }
  return error != 0 ? error : beginError;
}

int RebuildIndex(int handle, int slot, TProgressProc progress) {
  return RebuildIndexes(handle, std::span<const int>(&slot, 1), progress);
}

int FillIndex(int handle, int slot, BTREES::TKeySorter& keys) {
  if (!IndexAvailable(handle, slot, false)) return kErrIndexRead;
  const TSlotRef ref = Resolve(handle, slot);
  TIndexDescriptor& d = *ref.d;
  BTREES::PTree tree = TreeOf(&d);
  if (tree->header.height != 0 || tree->header.pageCount != 0) {
    keys.Rewind();
    for (const uint8_t* key; (key = keys.Next()) != nullptr;) {
      std::memcpy(ref.table->currentKey.data(), key, tree->header.keyLength);
      if (KeyOp(ref.handle, ref.slot, kModeInsert, TIndexOp::Insert, ref.table->currentKey.data()) ==
          kStatusFailed)
        return kErrIndexRead;
    }
    return 0;
  }
  if (BTREES::BuildTree(tree, keys) != 0) {
    AbandonIndex(d);
    Common::SetFileError(kErrIndexRead, IndexPath(*ref.table, ref.slot));
    return kErrIndexRead;
  }
  SetHeaderCount(d, HeaderCount(d) + int32_t(keys.Size()));
  return 0;
}

int FillIndex(int handle, int slot, uint32_t count, const std::function<uint16_t(const TKeySink&)>& produce) {
  if (!IndexAvailable(handle, slot, false)) return kErrIndexRead;
  const TSlotRef ref = Resolve(handle, slot);
  TIndexDescriptor& d = *ref.d;
  BTREES::PTree tree = TreeOf(&d);
  uint16_t error = 0;
  if (tree->header.height != 0 || tree->header.pageCount != 0) {
    bool failed = false;
    error = produce([&](const uint8_t* key) {
      std::memcpy(ref.table->currentKey.data(), key, tree->header.keyLength);
      failed = KeyOp(ref.handle, ref.slot, kModeInsert, TIndexOp::Insert, ref.table->currentKey.data()) ==
               kStatusFailed;
      return !failed;
    });
    return error != 0 || failed ? kErrIndexRead : 0;
  }
  BTREES::TBulkBuilder builder;
  error = builder.Begin(tree, count);
  if (error == 0) {
    const uint16_t produced = produce([&](const uint8_t* key) { return (error = builder.Add(key)) == 0; });
    if (error == 0) error = produced != 0 ? produced : builder.Finish();
  }
  if (error != 0) {
    AbandonIndex(d);
    Common::SetFileError(kErrIndexRead, IndexPath(*ref.table, ref.slot));
    return kErrIndexRead;
  }
  SetHeaderCount(d, HeaderCount(d) + int32_t(count));
  return 0;
}

int RefreshIndexes(int handle, TProgressProc progress) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !(t->openModeWord & ZetTable::kRightIndex)) return 0;
  std::vector<int> slots;
  for (int slot = FirstIndexSlot(*t); slot <= t->highestIndexSlot; ++slot)
    if (t->indexes[size_t(slot)]) slots.push_back(slot);
  return RebuildIndexes(handle, slots, progress);
}

int DeleteIndex(int handle, int slot) {
  TZetTable* t = ZetTable::Table(handle);
  TIndexDescriptor* d = t ? SlotOf(*t, slot) : nullptr;
  // The index files an alias shares belong to the table it aliases.
  const bool shared = d && Resolve(handle, slot).d != d;
  if (!d || shared || !IsUserIndex(*t, slot) || !(t->openModeWord & ZetTable::kRightIndex)) {
    Common::SetFileError(kErrIllegalOp, t && d ? IndexPath(*t, slot) : ShortStr());
    return kErrIllegalOp;
  }
  const ShortStr path = IndexPath(*t, slot);
  if (CloseTreeOf(*d, false) != 0) {
    Common::SetFileError(Common::kErrWrite, path);
    return Common::kErrWrite;
  }
  Common::EraseFile(path);
  RemoveIndexSlot(*t, slot);
  if (WriteIndexDirectory(handle) < 0) return Common::kErrWrite;
  return 0;
}

void RemoveIndexSlot(TZetTable& table, int slot) {
  TIndexDescriptor* d = SlotOf(table, slot);
  if (!d) return;
  if (IsAutomaticSlot(table, slot)) --table.automaticIndexSlots;
  CloseTreeOf(*d, false);
  for (int s = slot; s < ZetTable::kMaxIndexSlot; ++s) table.indexes[size_t(s)] = std::move(table.indexes[size_t(s) + 1]);
  table.indexes[ZetTable::kMaxIndexSlot].reset();
  if (table.highestIndexSlot > 0 && table.highestIndexSlot >= slot) --table.highestIndexSlot;
  if (!RemapSlot(table.currentIndex, slot) && table.orderMode == ZetTable::kOrderIndex)
    table.orderMode = ZetTable::kOrderRecords;
  RemapSlot(table.linkIndex, slot);
  RemapSlot(table.keyTextIndex, slot);
  for (ZetTable::TFieldBinding& b : table.bindings) RemapSlot(b.indexSlot, slot);
}

// ---------------------------------------------------------------------------
// Positions

void PushTablePosition(int handle) {
  TZetTable* t = ZetTable::Table(handle);
  if (handle < 1 || handle > ZetTable::OpenCount() || !t) return;
  t->recordBuffer.resize(t->recordLength);
  PushValue(t->currentRecord);
  STACKLIB::Push(t->recordBuffer.data(), t->recordBuffer.size());
  PushValue(t->orderMode);
  PushValue(t->currentIndex);
  PushValue(t->masterTable);
  STACKLIB::Push(t->currentKey.data(), t->currentKey.size());
}

void PopTablePosition(int handle) {
  TZetTable* t = ZetTable::Table(handle);
  if (handle < 1 || handle > ZetTable::OpenCount() || !t) return;
  t->recordBuffer.resize(t->recordLength);
  STACKLIB::Pop(t->currentKey.data(), t->currentKey.size());
  PopValue(t->masterTable);
  PopValue(t->currentIndex);
  PopValue(t->orderMode);
  STACKLIB::Pop(t->recordBuffer.data(), t->recordBuffer.size());
  PopValue(t->currentRecord);
}

// ---------------------------------------------------------------------------

void UnitInit() {
  g_trees.clear();
  ResetPreparedKeys();
  ClearRangeTexts();
  g_pageSize = kDefaultIndexPageSize;
  g_status = kStatusFound;
  ReadRecordHook = DefaultReadRecord;
  SameExpressionHook = DefaultSameExpression;
  ExpressionValueHook = nullptr;
  VariableValueHook = nullptr;
  VariableNameHook = nullptr;
  CreateTableHook = nullptr;
  CreateIndexHook = nullptr;
}

void UnitDone() {
  for (auto& [descriptor, tree] : g_trees) BTREES::CloseTree(tree, nullptr, 0, false);
  UnitInit();
}

}  // namespace Zet00
