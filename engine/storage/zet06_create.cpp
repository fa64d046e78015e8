#include "engine/storage/zet06_create.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/engassert.h"
#include "engine/base/lowfiles.h"
#include "engine/base/uppercas.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet06.h"

namespace Zet06 {

using ZetTable::TIndexDescriptor;
using ZetTable::TZetTable;

TCloseTableProc CloseTableHook = nullptr;
TDropLinksProc DropLinksHook = nullptr;

namespace {

struct TQueuedLabel {
  uint16_t field = 0;
  ShortStr label;
};
std::vector<TQueuedLabel> g_queue;

constexpr std::string_view kTableExtension = ".DAT";
constexpr std::string_view kMemoExtension = ".MMO";
constexpr std::string_view kBlobExtension = ".BLB";
// Descriptor bytes of the link fields of a relation table.
constexpr uint8_t kRelationColumn = 1;
constexpr uint8_t kRelationSizeCode = 3;
constexpr uint8_t kRelationShown = 1;
constexpr std::string_view kRelationNameOpen = "(";
constexpr std::string_view kRelationNameClose = "): ";

ShortStr QueuedLabel(uint16_t field) {
  for (const TQueuedLabel& q : g_queue)
    if (q.field == field) return q.label;
  return {};
}

ShortStr SidePath(const TZetTable& t, std::string_view extension) {
  return Common::AppendStrCopy(Common::AppendStrCopy(t.directory, Common::SplitFileName(t.fileName).name),
                               extension);
}

// The descriptors describe a table the reader will accept.
bool DescribesTable(const TZetTable& t) {
  if (t.fieldCount < 1 || t.fieldCount > ZetTable::kMaxFieldCount || t.recordLength < 1 ||
      t.recordLength > ZetTable::kMaxRecordLength ||
      t.descriptors.size() != size_t(t.fieldCount) * ZetTable::kDescriptorSize)
    return false;
  uint32_t stored = 0;
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    if (t.Descriptor(n)[ZetTable::kDescName] > ZetTable::kMaxFieldName) return false;
    if (t.IsStored(n)) stored += uint32_t(t.SizeCode(n)) + 1;
  }
  return stored <= t.recordLength;
}

// Settles what the fields ask of the table before its header is written:
// the auto-number field, link widths, relation fields, and the side files
// the fields need.
void AdjustFields(TZetTable& t, bool withRelations) {
  t.hasAutoNumber = false;
  t.autoNumberField = 0;
  t.hasMemoFile = t.memoLinks32 = t.hasBlobFile = false;
  t.memoLinkSize = WINMEMOS::kLinkSize16;
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    uint8_t* d = t.Descriptor(n);
    switch (t.FieldType(n)) {
      case Common::kTypeAutoNumber:
        if (d[ZetTable::kDescShown] != 0) {
          t.hasAutoNumber = true;
          t.autoNumberField = n;
        }
        break;
      case Common::kTypeLink: d[ZetTable::kDescShown] %= 16; break;
      case Common::kTypeRelation:
        if (d[ZetTable::kDescShown] == 0) {
          d[ZetTable::kDescSizeCode] = 0;
          if (!withRelations) d[ZetTable::kDescType] = 0;
        }
        break;
      case Common::kTypeMemo:
        if (t.StoredName(n).empty()) break;
        t.hasMemoFile = true;
        if (t.SizeCode(n) == ZetTable::kSizeMemo32) {
          t.memoLinks32 = true;
          t.memoLinkSize = WINMEMOS::kLinkSize32;
        }
        break;
      case Common::kTypeBlob:
        if (t.SizeCode(n) <= ZetTable::kMaxBlobSizeCode) t.hasBlobFile = true;
        break;
      default: break;
    }
  }
  t.ComputeLayout();
}

// Sets up the index slots of a new table: the automatic ones, then the user
// indexes the object carries, in their order.
int ArrangeIndexSlots(TZetTable& t) {
  std::vector<std::unique_ptr<TIndexDescriptor>> user;
  for (auto& d : t.indexes) {
    if (d && Common::HasExtension(d->fileName, Zet00::kUserIndexExtension)) user.push_back(std::move(d));
    d.reset();
  }
  t.highestIndexSlot = 0;
  if (int e = Zet00::AssignIndexFileNames(t)) return e;
  int slot = Zet00::FirstIndexSlot(t) + t.automaticIndexSlots;
  if (slot - 1 + int(user.size()) > ZetTable::kMaxIndexSlot) {
    Common::SetFileError(Zet00::kErrTooManyIndexes, Common::AppendStrCopy(t.directory, t.fileName));
    return Zet00::kErrTooManyIndexes;
  }
  for (auto& d : user) {
    d->tableVersion = t.version;
    t.indexes[size_t(slot)] = std::move(d);
    t.highestIndexSlot = uint16_t(slot++);
  }
  return 0;
}

// The files a creation has made so far (or begun to make), erased again
// when it fails: no half-made table stays behind. Files it has not reached,
// which may belong to others (a user index name is free), stay untouched.
using TMadeFiles = std::vector<ShortStr>;

void EraseMadeFiles(const TMadeFiles& made) {
  for (const ShortStr& name : made) Common::EraseFile(name);
}

int CreateIndexFiles(TZetTable& t, TMadeFiles& made) {
  for (int slot = Zet00::FirstIndexSlot(t); slot <= t.highestIndexSlot; ++slot) {
    TIndexDescriptor* d = t.indexes[size_t(slot)].get();
    if (!d) continue;
    if (slot == 1 && t.hasAutoNumber && t.idIndexFlag) {
      Zet00::SetIdMark(d->header.data());
      d->idIndex = true;
    }
    made.push_back(Zet00::IndexPath(t, slot));
    if (int e = Zet00::CreateIndexFile(t, slot)) return e;
  }
  return 0;
}

int CreateSideFiles(const TZetTable& t, TMadeFiles& made) {
  if (t.hasMemoFile) {
    made.push_back(SidePath(t, kMemoExtension));
    if (WINMEMOS::CreateMemoFile(made.back(), t.tableKey, uint8_t(t.memoLinkSize)) != 0) return kErrMemoFile;
  }
  if (t.hasBlobFile) {
    made.push_back(SidePath(t, kBlobExtension));
    if (WinBlobs::CreateBlobFile(made.back(), t.tableKey) != 0) return kErrBlobFile;
  }
  return 0;
}

// Makes the made files and their directory entries durable: a machine that
// stops once the creation has returned keeps the table whole, with every
// index holding its header and key description (a user index knows its key
// only from its own file). Nothing when syncs are off.
int SyncMadeFiles(const TZetTable& t, const TMadeFiles& made) {
  if (!LOWFILES::SyncWrites()) return 0;
  for (const ShortStr& name : made) {
    LOWFILES::TLowFile file;
    const bool synced = LOWFILES::OpenLowFile(file, name, LOWFILES::kModeReadShared) == 0 &&
                        LOWFILES::SyncFile(file) == 0;
    if (file.isRegistered) LOWFILES::CloseLowFile(file, false);
    if (!synced) {
      Common::SetFileError(Common::kErrWrite, name);
      return Common::kErrWrite;
    }
  }
  if (LOWFILES::SyncDirectory(t.directory.view()) != 0) {
    Common::SetFileError(Common::kErrWrite, Common::AppendStrCopy(t.directory, t.fileName));
    return Common::kErrWrite;
  }
  return 0;
}

// A relation table field's name: the label up to its first character that
// no name holds, then "(" table name "): ", at most 40 characters.
ShortStr RelationFieldName(std::string_view label, std::string_view tableName) {
  size_t n = 0;
  while (n < label.size() && Common::IsFieldNameChar(label[n])) ++n;
  ShortStr name(label.substr(0, n));
  name.append(kRelationNameOpen);
  name.append(tableName);
  name.append(kRelationNameClose);
  name.truncate(ZetTable::kMaxFieldName);
  return name;
}

// The name of a relation field for the table at path (a name without a
// directory lies in directory).
ShortStr FieldNameFor(std::string_view directory, std::string_view path) {
  const Common::FileNameParts parts = Common::SplitFileName(path);
  const ShortStr full = parts.directory.empty() ? Common::AppendStrCopy(directory, path) : ShortStr(path);
  bool missing = false;
  return RelationFieldName(AutoLabel(false, full, missing), Common::BaseName(parts.name));
}

void PutRelationField(TZetTable& rel, uint16_t n, std::string_view name) {
  uint8_t* d = rel.Descriptor(n);
  std::memset(d, 0, ZetTable::kDescriptorSize);
  d[ZetTable::kDescLayoutColumn] = kRelationColumn;
  d[ZetTable::kDescLayoutLine] = uint8_t(n);
  d[ZetTable::kDescName] = uint8_t(name.size());
  std::memcpy(d + ZetTable::kDescName + 1, name.data(), name.size());
  d[ZetTable::kDescSizeCode] = kRelationSizeCode;
  d[ZetTable::kDescShown] = kRelationShown;
  d[ZetTable::kDescType] = Common::kTypeLink;
}

bool ParentUsesRelation(int parentHandle, std::string_view relationName) {
  const TZetTable* parent = ZetTable::Table(parentHandle);
  if (!parent) return false;
  ShortStr wanted(relationName);
  UPPERCAS::UpperStr(wanted);
  for (uint16_t n = 1; n <= parent->fieldCount; ++n) {
    if (parent->FieldType(n) != Common::kTypeRelation || parent->IsStored(n)) continue;
    ShortStr used = ZetTable::RelationFileName(*parent, parent->StoredName(n));
    if (used == wanted) return true;
  }
  return false;
}

int CreateRelationTables(const TZetTable& t, int parentHandle) {
  const ShortStr ownPath = Common::AppendStrCopy(t.directory, t.fileName);
  const TZetTable* parent = ZetTable::Table(parentHandle);
  const ShortStr firstName =
      parent ? FieldNameFor(t.directory, Common::AppendStrCopy(parent->directory, parent->fileName))
             : FieldNameFor(t.directory, ownPath);
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    if (t.FieldType(n) != Common::kTypeRelation) continue;
    const ShortStr relName = ZetTable::RelationFileName(t, t.StoredName(n));
    if (parent && ParentUsesRelation(parentHandle, relName)) continue;
    const ShortStr relPath = Common::AppendStrCopy(t.directory, relName);
    if (Common::FileExists(relPath)) {
      Common::SetFileError(kErrRelationExists, relPath);
      return kErrRelationExists;
    }
    const ShortStr label = QueuedLabel(n);
    const ShortStr secondName =
        label == kOwnTableLabel ? FieldNameFor(t.directory, ownPath) : FieldNameFor(t.directory, label);
    TZetTable rel;
    rel.version = t.version;
    rel.SetFieldCount(2);
    PutRelationField(rel, 1, firstName);
    PutRelationField(rel, 2, secondName);
    rel.recordLength = kRelationRecordLength;
    if (int e = CreateTable(rel, relPath, {}, false, 0, 0)) return e;
  }
  return 0;
}

void DefaultCloseTable(int handle) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return;
  Zet00::CloseIndexes(handle, false);
  if (t->tableFile) LOWFILES::CloseLowFile(*t->tableFile, false);
  ZetTable::RemoveTable(handle);
}

}  // namespace

int CreateTable(TZetTable& table, std::string_view fileName, std::string_view code, bool withRelations,
                int parentHandle, uint32_t tableKey) {
  if (!Common::PathFits(fileName)) return Common::RefuseLongPath(fileName);
  const Common::FileNameParts parts = Common::SplitFileName(fileName);
  table.directory = parts.directory;
  table.fileName = Common::AppendStrCopy(parts.name, parts.extension);
  const ShortStr path = Common::AppendStrCopy(table.directory, table.fileName);
  if (!DescribesTable(table)) {
    Common::SetFileError(ZetTable::kErrBadStructure, path);
    return ZetTable::kErrBadStructure;
  }
  table.recordCount = 0;
  table.countUnknown = false;
  table.tableCode.assign(code, ZetTable::kMaxTableCode);
  table.tableKey = tableKey;
  AdjustFields(table, withRelations);
  if (int e = ArrangeIndexSlots(table)) return e;
  if (int e = ZetTable::CheckPathLengths(table)) return e;

  table.tableFile = std::make_unique<LOWFILES::TLowFile>();
  table.fileOpenMode = LOWFILES::kModeReadWriteShared;
  if (LOWFILES::CreateLowFile(*table.tableFile, path, table.fileOpenMode) != 0) {
    table.tableFile.reset();
    Common::SetFileError(Common::kErrWrite, path);
    return Common::kErrWrite;
  }
  // The header writes the companion file of a version-1 table with many
  // indexes as well.
  TMadeFiles made = {path, Zet00::CompanionFileName(table)};
  if (!Zet00::IsVersion1(table.version) || table.highestIndexSlot <= int(Zet00::kV1DirectoryEntries)) made.pop_back();
  int error = WriteTableHeader(table);
  if (error == 0) error = CreateIndexFiles(table, made);
  if (error == 0) error = CreateSideFiles(table, made);
  LOWFILES::CloseLowFile(*table.tableFile, false);
  table.tableFile.reset();
  if (error == 0) error = SyncMadeFiles(table, made);
  if (error != 0) {
    EraseMadeFiles(made);
    return error;
  }
  // A relation table that cannot be made leaves this table whole.
  if (withRelations) error = CreateRelationTables(table, parentHandle);
  return error;
}

bool AddToCreateQueue(uint16_t field, std::string_view label) {
  if (g_queue.size() >= kMaxCreateQueue) return false;
  g_queue.push_back({field, ShortStr(label)});
  return true;
}

void ClearCreateQueue() { g_queue.clear(); }

ShortStr AutoLabel(bool flag, std::string_view name, bool& missing) {
  ZET_ASSERT(name.find('=') == std::string_view::npos, "Unexpected filename in function AutoLabel");
  missing = false;
  ShortStr upper(name);
  UPPERCAS::UpperStr(upper);
  const Common::FileNameParts parts = Common::SplitFileName(upper);
  const ShortStr stem = Common::AppendStrCopy(parts.directory, parts.name);
  if (!Common::FileExists(Common::AppendStrCopy(stem, kTableExtension))) {
    missing = true;
    return {};
  }
  if (flag && !Common::FileExists(Common::AppendStrCopy(stem, Zet00::kNumberIndexExtension))) return {};
  ShortStr label(kLabelPrefix);
  label.append(parts.name);
  label.truncate(ZetTable::kMaxFieldName);
  return label;
}

void CloseTablesFrom(int handle) {
  const int from = std::max(handle, 1);
  uint64_t open = ZetTable::OpenTableSet();
  for (int h = ZetTable::OpenCount(); h >= from; --h) {
    if (ZetTable::Table(h)) CloseTableHook(h);
    ZetTable::ExcludeHandle(open, h);
  }
  ZetTable::SetOpenTableSet(open);
  if (ZetTable::OpenCount() >= from) ZetTable::SetOpenCount(from - 1);
  int highest = ZetTable::OpenCount();
  while (highest > 0 && !ZetTable::Table(highest)) --highest;
  if (highest == 0) {
    ZetTable::SetCurrentHandle(0);
    if (DropLinksHook) DropLinksHook(true);
    return;
  }
  if (ZetTable::CurrentHandle() >= from) ZetTable::SetCurrentHandle(highest);
  if (DropLinksHook) DropLinksHook(false);
}

bool TablesInOpenSet(uint64_t set) { return (set & ~ZetTable::OpenTableSet()) == 0; }

void UnitInit() {
  g_queue.clear();
  CloseTableHook = DefaultCloseTable;
  DropLinksHook = nullptr;
  Zet00::CreateTableHook = CreateTable;
}

void UnitDone() {
  g_queue.clear();
  Zet00::CreateTableHook = nullptr;
}

}  // namespace Zet06
