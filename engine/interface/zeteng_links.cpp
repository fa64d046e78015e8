// Exports over linked tables: report passes and linked reads, relations
// built from link definitions, embedded relations, link texts, automatic
// numbers by identifier key, appends with an identifier, the deletion of
// marked records, and the calls kept for hosts that still make them.
//
// Report passes save every table position on the engine stack and put them
// back at their end; brackets of different kinds close in the reverse order
// of opening. A deletion of marked records flags the cursors that stood on a
// deleted record and repositions them once, when the run ends.
#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"

using namespace ZETEng;
using ZetTable::TZetTable;

namespace {

constexpr int kIdIndex = 1;


uint64_t SetOf(uint32_t low, uint32_t high) { return uint64_t(low) | (uint64_t(high) << 32); }


}  // namespace

extern "C" {

int32_t ZetTableStartReport(int32_t cursor, uint32_t setLow, uint32_t setHigh) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  Zet01::SaveAllTablePositions(0);
  c.savedRelationSet = c.relationSet;
  c.savedFormulaSet = c.formulaSet;
  c.relationSet = SetOf(setLow, setHigh);
  c.formulaSet = 0;
  OpenBracket(TBracket::Report, cursor);
  LoadCursorIntoTable(c, *r.table);
  Zet01::ReadFirstLinked(c.relation, true, c.relationSet);
  DiscardTablePosition(c, *r.table);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableEndReport(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  if (!CloseBracket(TBracket::Report, cursor)) return 0;
  c.relationSet = c.savedRelationSet;
  c.formulaSet = c.savedFormulaSet;
  c.savedRelationSet = c.savedFormulaSet = 0;
  Zet01::RestoreAllTablePositions(0);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableReadNextLinked(int32_t cursor, int32_t level) try {
  if (!Cursor(cursor)) return 0;
  if (level <= 0) level = Zet01::LinkLevelOfTable(0);
  return Zet01::ReadNextLinked(level) ? 1 : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableRegisterEmbeddedRltn(int32_t cursor, int32_t relation) try {
  TResolved r = Resolve(cursor);
  if (r.error || !ValidRelation(relation)) return 0;
  TCursor& c = *r.cursor;
  int t = relation;
  for (int guard = 0; t != 0 && t != c.relation && guard < ZetTable::kMaxOpenTables; ++guard) {
    ZetTable::IncludeHandle(c.embeddedSet, t);
    const TZetTable* table = ZetTable::Table(t);
    t = table ? table->masterTable : 0;
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetBuildRelations(const uint8_t* definitions) try {
  if (ZetTable::OpenCount() == 0) return 0;
  Zet01::BuildRelations(1);
  Zet01::SetCurrentTable(1);
  LINKFILE::ClearLinkError();
  // Length-prefixed texts, ended by an empty one.
  for (const uint8_t* p = definitions; p && *p != 0 && LINKFILE::LinkError() == 0; p += 1 + *p)
    LINKFILE::AddLinkDefinition(std::string_view(reinterpret_cast<const char*>(p + 1), *p), false);
  if (LINKFILE::LinkError() == 0) LINKFILE::ResolveLinkTree();
  if (LINKFILE::LinkError() == 0) LINKFILE::RememberBaseTableCount();
  return LINKFILE::LinkError() == 0 ? 0 : kBadRelation;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetUnBuildRelations(void) try {
  LINKFILE::ForgetBaseTableCount();
  if (ZetTable::OpenCount() > 0) {
    LINKFILE::CloseTemporaryTables(false);
    LINKFILE::FreeLinkDefinitions();
    Zet01::UnBuildRelations(1);
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetLinkInfo(int32_t cursor, const char* field, char* buffer, int32_t capacity) try {
  TextOut(buffer, capacity, "");
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TCursor& c = *r.cursor;
  const TZetTable& t = *r.table;
  const uint16_t n = FieldOfText(c, TextIn(field));
  if (n == 0 || t.FieldType(n) != Common::kTypeLink) return kUnknownField;
  Common::FieldValue v;
  Common::GetFieldAsNumber(c.record.data(), t.Place(n), t.version, v);
  const int32_t id = int32_t(v.number);
  const int linked = Zet01::LinkedTableOfField(c.relation, n);
  if (id == 0 || linked == 0) return 0;
  ShortStr text;
  EngineHooks::LinkIdText(linked, id, text);
  TextOut(buffer, capacity, text);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnGetAutoNo(int32_t relation, const char* keyText) try {
  if (!ValidRelation(relation)) return kBadRelation;
  TZetTable& t = *ZetTable::Table(relation);
  if (!t.hasAutoNumber) return 0;
  if (!t.indexes[kIdIndex] || !Zet00::IndexAvailable(relation, kIdIndex, false)) return -22;
  uint8_t search[ZetTable::kMaxKeySize] = {};
  if (Zet00::KeyFromText(relation, kIdIndex, TextIn(keyText), search, 0) != 0) return -22;
  const uint8_t* description = t.indexes[kIdIndex]->header.data();
  Zet00::PushTablePosition(relation);
  int32_t answer = 0;
  std::memcpy(t.currentKey.data(), search, sizeof search);
  if (Zet00::IndexSeek(relation, kIdIndex) == Zet00::kStatusFound &&
      Zet00::SameKey(t.currentKey.data(), search, description, t.version)) {
    const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
    const bool second = Zet00::IndexNext(relation, kIdIndex) == Zet00::kStatusFound &&
                        Zet00::SameKey(t.currentKey.data(), search, description, t.version);
    if (!second && Zet01::ReadRecord(relation, recno) == 0) answer = Zet01::AutoNumberOf(relation);
  }
  Zet00::PopTablePosition(relation);
  return answer;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableAppendWithIDInfo(int32_t cursor, const char* idKeyText) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  c.savedRecno = c.recno;
  LoadCursorIntoTable(c, t);
  ZetTable::ClearRecordBuffer(c.relation);
  t.currentRecord = 0;
  if (t.indexes[kIdIndex]) {
    uint8_t key[ZetTable::kMaxKeySize] = {};
    if (Zet00::KeyFromText(c.relation, kIdIndex, TextIn(idKeyText), key, 0) == 0)
      Zet00::KeyToRecord(c.relation, key, t.recordBuffer.data());
  }
  const int error = Zet01::AssignAutoNumber(c.relation);
  SaveTableIntoCursor(c, t);
  if (error != 0) return -error;
  ++c.appendDepth;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableDeleteMarkedRecs(int32_t cursor, ZetProgressProc progress, uint32_t) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (t.countUnknown) return -19;
  const int slot = c.relation;
  Common::ResetLastError();
  SetBulkDelete(true);
  const int32_t total = int32_t(std::min<uint32_t>(c.userMarks.Count(), INT32_MAX));
  const int32_t step = std::max<int32_t>(total / 100, 1);
  if (progress) progress(0, total);
  Zet00::PushTablePosition(slot);
  t.orderMode = ZetTable::kOrderRecords;
  int error = 0;
  for (int32_t done = 0; !c.userMarks.Empty() && error == 0;) {
    ++done;
    if (progress && done % step == 0 && progress(done, total) == 1) break;
    const uint32_t recno = MarkLists::MarkListFirst(c.userMarks);
    if (EditedByOther(c, recno)) {
      MarkLists::MarkListRemove(c.userMarks, recno);
      continue;
    }
    t.currentRecord = recno;
    const int e = Zet01::DeleteRecord(slot, false, true, cursor);
    // The record-moved service took the number out of the marks (and
    // renamed the moved last record's mark).
    if (e == 2 || e == 3 || e == 4 || e == 5) error = e;
  }
  Zet01::FlushTable(slot, true);
  Zet00::PopTablePosition(slot);
  SetBulkDelete(false);
  // Cursors that lost their record find their place again.
  const uint32_t count = uint32_t(std::max(t.recordCount, 0));
  for (int h = 1; h <= kMaxCursors; ++h) {
    TCursor* o = CursorInSlot(h);
    if (!o || TableOf(*o) != &t || !o->positionLost) continue;
    if (o->recno > count) o->recno = count;
    if (o->recno == 0) {
      std::fill(o->record.begin(), o->record.end(), 0);
      continue;
    }
    if (o->accessMode == kAccessIndex) o->recno = SeekFromKey(*o, t);
    if (o->recno == 0 || RereadCursorRecord(*o, t) < 0) std::fill(o->record.begin(), o->record.end(), 0);
    o->positionLost = false;
  }
  NotifyCursors(slot, cursor);
  return error != 0 ? -error : Common::LastError();
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableCreateRelTable(int32_t cursor, const char* relationField) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& owner = *r.cursor;
  const TZetTable& t = *r.table;
  if (!t.hasAutoNumber || t.autoNumberField == 0) return -22;
  const uint16_t n = FieldOfText(owner, TextIn(relationField, ZetTable::kMaxFieldName));
  if (n == 0 || t.FieldType(n) != Common::kTypeRelation) return -10;
  Common::FieldValue id;
  Common::GetFieldAsNumber(owner.record.data(), t.Place(t.autoNumberField), t.version, id);
  // The relation table opens with its table; the cursor is made only when
  // every check passed, so a refusal leaves no cursor behind.
  const int relation = RelationTableOfField(t, n);
  if (relation == 0) return kBadRelation;
  TZetTable& rel = *ZetTable::Table(relation);
  const int slot = std::max(Zet01::IndexOfFieldKey(relation, 1), 1);
  if (!rel.indexes[size_t(slot)] || rel.fieldCount < 2) return kBadRelation;
  const int32_t h = CreateCursor(relation);
  if (h < 0) return h;
  TCursor& c = *Cursor(h);
  c.relationTableCursor = true;
  c.appendMaster = uint8_t(cursor);
  c.masterCursor = uint8_t(cursor);
  // The range holds every entry {identifier, any target}: from record 0 with
  // target 0 up to the highest record number and target.
  std::vector<uint8_t> entry(rel.recordLength, 0);
  const uint32_t identifier = uint32_t(std::max(id.number, 0.0));
  bytes::PutU32(entry.data() + rel.FieldOffset(1), identifier);
  c.lowKey.assign(ZetTable::kMaxKeySize, 0);
  Zet00::MakeKey(relation, slot, entry.data(), c.lowKey.data(), 0);
  bytes::PutI32(entry.data() + rel.FieldOffset(2), INT32_MAX);
  c.highKey.assign(ZetTable::kMaxKeySize, 0);
  Zet00::MakeKey(relation, slot, entry.data(), c.highKey.data(), uint32_t(INT32_MAX));
  c.accessMode = kAccessIndex;
  c.indexSlot = uint8_t(slot);
  GoFirstOrLast(c, rel, true);
  return h;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableCreateLinkedTable(int32_t masterCursor, int32_t relation, const char* orderText) try {
  TResolved m = Resolve(masterCursor);
  if (m.error) return m.error;
  if (!ValidRelation(relation)) return kBadRelation;
  TCursor& master = *m.cursor;
  TZetTable& mt = *m.table;
  TZetTable& t = *ZetTable::Table(relation);
  const std::string_view order = TextIn(orderText);
  const int32_t h = CreateCursor(relation);
  if (h < 0) return h;
  TCursor& c = *Cursor(h);
  c.masterCursor = uint8_t(masterCursor);

  TCurrentTable current(0);
  Zet01::SaveAllTablePositions(0);
  LINKFILE::SelectPrimaryTable(master.relation);
  if (t.masterTable != 0 && relation != master.relation) {
    if (t.masterTable == master.relation && t.linkIndex != 0) c.appendMaster = uint8_t(masterCursor);
    // The records that match the master's current one, each once.
    uint64_t only = 0;
    ZetTable::IncludeHandle(only, relation);
    LoadCursorIntoTable(master, mt);
    if (master.recno != 0 && Zet01::ReadFirstLinked(master.relation, true, only) == 0 &&
        (Zet01::NotFoundSet() & only) == 0) {
      do {
        if (!MarkLists::MarkListContains(c.userMarks, t.currentRecord)) MarkLists::MarkListAdd(c.userMarks, t.currentRecord);
      } while (Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(relation)));
    }
    DiscardTablePosition(master, mt);
    if (!order.empty()) ZetTableSortMarkedRecs(h, orderText);
    MarkLists::MarkListCopy(c.userMarks, c.accessMarks);
    MarkLists::MarkListClear(c.userMarks);
    c.accessMode = kAccessMarks;
    if (GoFirstOrLast(c, t, true) < 0) c.recno = 0;
  } else {
    c.accessMode = kAccessRecords;
    std::array<uint8_t, ZetTable::kKeyDescriptionSize> description{};
    if (!order.empty() && order.size() <= ShortStr::kMax) {
      TCurrentTable own(relation);
      if (MakeIV::CompileIndexDescription(relation, order, description.data(), false) == 0) {
        const int slot = Zet00::FindOrCreateIndex(relation, description.data(), true);
        if (slot > 0) {
          c.accessMode = kAccessIndex;
          c.indexSlot = uint8_t(slot);
        }
      }
    }
    if (GoFirstOrLast(c, t, true) < 0) c.recno = 0;
  }
  Zet01::RestoreAllTablePositions(0);
  return h;
} catch (...) {
  return ZETEng::RaisedNow();
}

// Calls without effect, kept for hosts that still make them.
int32_t ZetTableCalcFileSet(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }
int32_t ZetTableGetFormat(uint32_t, uint32_t, uint32_t) { return 0; }
int32_t ZetTableSetFormat(uint32_t, uint32_t) { return 0; }
int32_t ZetTableGetMaxStrLen(uint32_t, uint32_t) { return 0; }
int32_t ZetTableGetLine(uint32_t, uint32_t, uint32_t) { return 0; }
int32_t ZetTableIsInvalidStr(uint32_t, uint32_t, uint32_t) { return 0; }

}  // extern "C"
