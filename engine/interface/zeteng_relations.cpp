// Relations: opening and closing tables by handle, what a relation is, and
// the user indexes of a relation.
//
// Open relations always form the range 1..count: a table opens into slot
// count + 1, and closing a relation closes every relation opened after it.
// At most 62 tables are open; an open that would make 63 is refused before
// any file is touched. While the open-relation-tables switch is on (it
// starts on), opening a relation also opens the relation tables (".REL") of
// its hidden relation fields; when that fails, the call closes what it
// opened.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/storage/btrees.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"

using namespace ZETEng;
using ZetTable::TZetTable;

namespace {

constexpr uint16_t kErrTooManyTables = 94;
constexpr uint16_t kErrIndexInUse = 116;
constexpr uint16_t kErrDuplicate = 30;

int OpenError(int error) {
  switch (error) {
    case Zet01::kErrNoWriteRight: return -30;
    case Zet01::kErrWrongCode: return -12;
    default: return -1;
  }
}

// Opens the relation tables of the hidden relation fields of the tables
// open at the start of the call, each into the next slot with its parent's
// open mode; answers 0, -2 (62 tables) or -1.
int OpenRelationTables(int from) {
  const int last = ZetTable::OpenCount();
  for (int r = from; r <= last; ++r) {
    TZetTable* t = ZetTable::Table(r);
    if (!t) continue;
    for (uint16_t n = 1; n <= t->fieldCount; ++n) {
      if (t->FieldType(n) != Common::kTypeRelation || t->Shown(n) != 0) continue;
      ShortStr name = Common::AppendStrCopy(
          t->directory, ZetTable::RelationFileName(*t, Common::NameOf(t->StoredName(n)).view()).view());
      if (ZetTable::FindOpenTable(name) != 0) continue;
      const int slot = ZetTable::OpenCount() + 1;
      if (slot > ZetTable::kMaxOpenTables) {
        Common::SetError(kErrTooManyTables, "");
        return -2;
      }
      if (Zet01::OpenTable(slot, t->openModeWord, name, 0, 0, "") != 0) return -1;
    }
  }
  return 0;
}

bool g_openRelationTables = true;

}  // namespace

int ZETEng::OpenMissingRelationTables() { return g_openRelationTables ? OpenRelationTables(1) : 0; }

int ZETEng::RelationTableOfField(const TZetTable& t, uint16_t field) {
  if (!t.ValidField(field) || t.FieldType(field) != Common::kTypeRelation) return 0;
  const ShortStr file = ZetTable::RelationFileName(t, Common::NameOf(t.StoredName(field)).view());
  if (const int h = ZetTable::FindOpenTable(Common::AppendStrCopy(t.directory, file).view())) return h;
  return ZetTable::FindOpenTable(file.view());
}

extern "C" {

int32_t ZetGetNumRelations(void) { return ZetTable::OpenCount(); }

int32_t ZetRltnOpen(const char* fileName, const char* accessCode, uint32_t tableKey, int32_t openMode) try {
  const int slot = ZetTable::OpenCount() + 1;
  if (slot > ZetTable::kMaxOpenTables) {
    Common::SetError(kErrTooManyTables, "");
    return -2;
  }
  ShortStr code(TextIn(accessCode, Common::kMaxCodeLength));
  UPPERCAS::UpperStr(code);
  const int error =
      Zet01::OpenTable(slot, uint16_t(openMode & 0xFFFF), TextIn(fileName), 0, tableKey, code);
  if (error != 0) return OpenError(error);
  uint64_t open = ZetTable::OpenTableSet();
  ZetTable::IncludeHandle(open, slot);
  ZetTable::SetOpenTableSet(open);
  if (g_openRelationTables) {
    const int result = OpenRelationTables(1);
    if (result != 0) {
      Zet06::CloseTablesFrom(slot);
      return result;
    }
  }
  return slot;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnClose(int32_t relation) try {
  if (!ValidRelation(relation)) return kBadRelation;
  int firstError = 0;
  uint64_t open = ZetTable::OpenTableSet();
  for (int h = ZetTable::OpenCount(); h >= relation; --h) {
    if (ZetTable::Table(h)) {
      const int e = Zet01::CloseTable(h);
      if (e != 0 && firstError == 0) firstError = e;
    }
    ZetTable::ExcludeHandle(open, h);
    ZetTable::SetOpenCount(h - 1);
  }
  ZetTable::SetOpenTableSet(open);
  // The links follow the closed tables.
  Zet06::CloseTablesFrom(relation);
  Zet01::ValidateLinkChain();
  return firstError == 0 ? 0 : -firstError;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnCloseAll(void) try {
  if (ZetTable::OpenCount() > 0) ZetRltnClose(1);
  Zet01::ResetLinkChain();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetName(int32_t relation, char* buffer, int32_t capacity, int32_t withExtension) try {
  if (!ValidRelation(relation)) return kBadRelation;
  std::string_view name = ZetTable::Table(relation)->fileName.view();
  if (withExtension == 0) name = name.substr(0, std::min(name.find('.'), name.size()));
  TextOut(buffer, capacity, name);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetDir(int32_t relation, char* buffer, int32_t capacity) try {
  if (!ValidRelation(relation)) return kBadRelation;
  TextOut(buffer, capacity, ZetTable::Table(relation)->directory.view());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetParentRltn(int32_t relation, char* buffer, int32_t capacity) try {
  if (!ValidRelation(relation)) return kBadRelation;
  const TZetTable& t = *ZetTable::Table(relation);
  TextOut(buffer, capacity, "");
  if (relation == ZetTable::CurrentHandle() || t.masterTable == 0) return 0;
  return t.masterTable;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetLinkIndex(int32_t relation) try {
  if (!ValidRelation(relation)) return kBadRelation;
  return ZetTable::Table(relation)->linkIndex;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetRelationTableName(int32_t relation, const char* fieldName, char* buffer, int32_t capacity) try {
  if (!ValidRelation(relation)) return kBadRelation;
  const TZetTable& t = *ZetTable::Table(relation);
  const uint16_t n = ZetTable::FieldNoFromText(relation, TextIn(fieldName, ZetTable::kMaxFieldName));
  if (n == 0 || t.FieldType(n) != Common::kTypeRelation) return -10;
  TextOut(buffer, capacity, ZetTable::RelationFileName(t, Common::NameOf(t.StoredName(n)).view()).view());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnIsAdlRltn(int32_t relation) try {
  if (!ValidRelation(relation)) return 0;
  return ZetTable::Table(relation)->hasAutoNumber ? 1 : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetIndexNames(int32_t relation, char* buffer, int32_t capacity) try {
  if (!ValidRelation(relation)) return kBadRelation;
  const TZetTable& t = *ZetTable::Table(relation);
  std::string list;
  const size_t room = capacity < 0 ? 0 : size_t(capacity);
  for (int s = Zet00::FirstIndexSlot(t); s <= t.highestIndexSlot && s < ZetTable::kIndexSlots; ++s) {
    const auto& d = t.indexes[size_t(s)];
    if (!d) continue;
    const size_t needed = list.size() + (list.empty() ? 0 : 1) + d->fileName.size();
    if (needed > room) break;  // whole names only
    if (!list.empty()) list += ',';
    list += d->fileName.view();
  }
  TextOut(buffer, capacity, list);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetIndexDesc(int32_t relation, const char* indexName, char* buffer, int32_t capacity,
                            int32_t detail) try {
  TextOut(buffer, capacity, "");
  if (!ValidRelation(relation)) return kBadRelation;
  TZetTable& t = *ZetTable::Table(relation);
  const int slot = FindIndexSlot(t, TextIn(indexName));
  if (slot < 0) return -16;
  if (!Zet00::IndexAvailable(relation, slot, false)) return -32;
  TextOut(buffer, capacity, Zet00::GetIndexDesc(relation, slot, detail != 0, false).view());
  return Zet00::IsUniqueIndex(t, slot) ? 1 : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnCreateIndex(int32_t relation, const char* indexName, const char* keyDescription, int32_t unique,
                           ZetProgressProc progress) try {
  if (!ValidRelation(relation)) return kBadRelation;
  const std::string_view description = TextIn(keyDescription, 256);
  if (description.size() > 255) {
    Common::SetError(60, "");
    return -16;
  }
  const int slot = MakeIV::CreateUserIndex(true, relation, description, TextIn(indexName, ZetTable::kMaxFieldName),
                                           false, progress);
  if (slot < 1) return -16;
  if (!Zet00::IndexAvailable(relation, slot, false)) return -32;
  if (unique != 0) {
    // A unique index is asked for: it stays non-unique when the records hold
    // a key twice.
    TZetTable& t = *ZetTable::Table(relation);
    uint8_t previous[ZetTable::kMaxKeySize] = {};
    bool first = true, duplicate = false;
    const size_t keyLength = Zet00::KeyLength(t.indexes[size_t(slot)]->header.data());
    const auto savedKey = t.currentKey;
    for (uint8_t st = Zet00::IndexFirst(relation, slot); st == Zet00::kStatusFound;
         st = Zet00::IndexNext(relation, slot)) {
      const uint8_t* key = t.currentKey.data() + ZetTable::kKeyRecordNumber;
      if (!first && std::memcmp(previous, key, keyLength - ZetTable::kKeyRecordNumber) == 0) {
        duplicate = true;
        break;
      }
      std::memcpy(previous, key, keyLength - ZetTable::kKeyRecordNumber);
      first = false;
    }
    t.currentKey = savedKey;
    if (duplicate) {
      Common::SetError(kErrDuplicate, t.indexes[size_t(slot)]->fileName.view());
      return 1;
    }
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnDeleteIndex(int32_t relation, const char* indexName) try {
  if (!ValidRelation(relation)) return kBadRelation;
  TZetTable& t = *ZetTable::Table(relation);
  const int slot = FindIndexSlot(t, TextIn(indexName));
  if (slot < 0 || !Zet00::IsUserIndex(t, slot)) return -16;
  for (int h = 1; h <= kMaxCursors; ++h) {
    const TCursor* c = CursorInSlot(h);
    if (c && TableOf(*c) == &t && c->accessMode == kAccessIndex && c->indexSlot == slot) {
      Common::SetError(kErrIndexInUse, t.indexes[size_t(slot)]->fileName.view());
      return -27;
    }
  }
  if (Zet00::DeleteIndex(relation, slot) != 0) return -16;
  for (int h = 1; h <= kMaxCursors; ++h) {
    TCursor* c = CursorInSlot(h);
    if (c && TableOf(*c) == &t && c->indexSlot > slot) --c->indexSlot;
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnRefreshIndex(int32_t relation, const char* indexName, ZetProgressProc progress) try {
  if (!ValidRelation(relation)) return kBadRelation;
  TZetTable& t = *ZetTable::Table(relation);
  int error = 0;
  if (indexName) {
    const int slot = FindIndexSlot(t, TextIn(indexName));
    if (slot < 0) {
      Common::SetError(Zet01::kErrFileNotFound, TextIn(indexName));
      return -int32_t(Zet01::kErrFileNotFound);
    }
    error = Zet00::RebuildIndex(relation, slot, progress);
  } else {
    error = Zet00::RefreshIndexes(relation, progress);
    for (uint16_t n = 1; n <= t.fieldCount && error == 0; ++n) {
      if (t.FieldType(n) != Common::kTypeRelation) continue;
      const int r = ZetTable::FindOpenTable(ZetTable::RelationFileName(t, Common::NameOf(t.StoredName(n)).view()));
      if (r != 0 && r != relation) error = Zet00::RefreshIndexes(r, progress);
    }
  }
  return -error;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetInfo(int32_t relation, ZetRltnInfo* info) try {
  if (!ValidRelation(relation)) return kBadRelation;
  if (!info) return 0;
  const TZetTable& t = *ZetTable::Table(relation);
  std::memset(info, 0, sizeof *info);
  TextOut(info->name, sizeof info->name - 1, t.fileName.view());
  TextOut(info->directory, sizeof info->directory - 1, t.directory.view());
  info->recordCount = uint32_t(std::max(t.recordCount, 0));
  info->userFields = t.userFieldCount;
  info->recordLength = t.recordLength;
  const std::string path = Common::ExpandName(Common::AppendStrCopy(t.directory, t.fileName.view()).view());
  auto sizeOf = [](const std::string& p) -> uint64_t {
    std::error_code ec;
    const auto n = std::filesystem::file_size(p, ec);
    return ec ? 0 : n;
  };
  const uint64_t data = sizeOf(path);
  uint64_t total = data;
  const std::string stem = path.substr(0, path.rfind('.'));
  for (const char* ext : {".MMO", ".BLB", ".INR", ".ID"}) total += sizeOf(stem + ext);
  for (int s = 0; s < ZetTable::kIndexSlots; ++s)
    if (t.indexes[size_t(s)] && Zet00::IsUserIndex(t, s))
      total += sizeOf(Common::ExpandName(Zet00::IndexPath(t, s).view()));
  info->dataKB = uint32_t(data / 1024);
  info->totalKB = uint32_t(total / 1024);
  info->flags[0] = uint8_t(~t.openFlag);
  info->flags[1] = uint8_t(t.idIndexFlag ? 0 : 1);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetIndexGetInfo(int32_t relation, const char* indexName, ZetIndexInfo* info) try {
  if (!ValidRelation(relation)) return kBadRelation;
  if (!info) return 0;
  std::memset(info, 0, sizeof *info);
  TZetTable& t = *ZetTable::Table(relation);
  const int slot = FindIndexSlot(t, TextIn(indexName));
  if (slot < 0 || !Zet00::IndexAvailable(relation, slot, false)) return 0;
  const BTREES::PTree tree = Zet00::IndexTree(relation, slot);
  if (!tree) return 0;
  const BTREES::TTreeHeader& h = tree->header;
  TextOut(info->name, sizeof info->name - 1, t.indexes[size_t(slot)]->fileName.view());
  info->keyLength = uint16_t(h.keyLength >= ZetTable::kKeyRecordNumber ? h.keyLength - ZetTable::kKeyRecordNumber : 0);
  info->order = h.order;
  info->height = h.height;
  const uint32_t capacity = uint32_t(h.order) * 65534u;
  info->capacity[0] = uint16_t(capacity & 0xFFFF);
  info->capacity[1] = uint16_t(capacity >> 16);
  info->pageSize = h.pageSize;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
