// Finding records through a cursor: by a condition walked record by record
// (search, search continue, mark by condition), by the key of a named index
// (find), and through the full-text index; and the cursor's user marks.
//
// A condition is compiled against the cursor's table; the tables it reads
// become the cursor's search set, and every record visited is read with the
// linked records of that set and tested with each combination of them until
// one matches. A walk follows the cursor's own order (its access marks in
// marked order); marking outside marked order walks record order.
//
// What always holds:
//   1. A search or find that finds nothing, and a walk that the progress
//      procedure stops, leave the cursor on the record it stood on: a
//      stopped walk has found nothing. Marking never moves the cursor.
//   2. The current table is the one the caller had when an export returns.
//   3. Search state: 0 none, 1 after a find (the find index kept, also at
//      the end of the index), 2 after a search (its condition kept). A failed
//      search or find resets it to 0; continuing keeps it.
//   4. The user marks change only by the mark exports, a sort of the marks,
//      mark doubles and a full-text query; the access marks are never
//      changed here.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/shortstr.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/language/programerror.h"
#include "engine/language/selection.h"
#include "engine/language/selectwalk.h"
#include "engine/language/variables.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_internal.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_open.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr int32_t kConditionUnusable = -7;
constexpr int32_t kNoSearchToContinue = -19;
constexpr int32_t kUnknownIndex = -16;
constexpr int32_t kBadDescription = 98;
constexpr int32_t kOutOfMemory = 99;
constexpr uint16_t kErrFullTextQuery = 128;
constexpr size_t kMaxFullTextRelations = 9;

// The position a cursor goes back to when a walk found nothing.
struct TPosition {
  uint32_t recno;
  std::array<uint8_t, ZetTable::kMaxKeySize> key;
  std::vector<uint8_t> record;
};
TPosition PositionOf(const TCursor& c) { return {c.recno, c.key, c.record}; }
void Restore(TCursor& c, TZetTable& t, TPosition p) {
  c.recno = p.recno;
  c.key = p.key;
  c.record = std::move(p.record);
  DiscardTablePosition(c, t);
}

bool OemKeys(const TZetTable& t) { return t.version < Common::kFirstVersionWithDoubles; }
const uint8_t* KeyDescription(const TZetTable& t, int slot) { return t.indexes[size_t(slot)]->header.data(); }

// Compiles a condition against the current table and prepares it: 0 with
// its code and the tables it reads, or not 0 (the error recorded).
int32_t CompileCondition(std::string_view text, ShortStr& code, uint64_t& tables) {
  ClearCompileErrors();
  if (const int32_t position = CompileText(text, code, tables); position != 0) return position;
  return Zet02::CheckSelection(code, 0);
}

// Reads record recno of the cursor's order with the search set and tests the
// condition with every combination of linked records until one matches.
bool RecordMatches(TCursor& c, TZetTable& t) {
  const int slot = c.relation;
  LoadCursorIntoTable(c, t);
  int error = 0;
  int dependency = 0;
  const uint64_t self = uint64_t(1) << (slot - 1);
  if ((c.searchSet & ~self) == 0) {
    if (Zet01::ReadRecord(slot, c.recno) != 0) return false;
    return Zet02::EvalSelection(c.searchCode, 3, error, dependency) && error == 0;
  }
  if (Zet01::ReadFirstLinked(slot, true, c.searchSet) != 0) return false;
  do {
    if ((Zet01::NotFoundSet() & c.searchSet) != 0) continue;
    if (Zet02::EvalSelection(c.searchCode, 3, error, dependency) && error == 0) return true;
    if (error != 0) return false;
  } while (Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
  return false;
}

uint32_t WalkTotal(const TCursor& c, const TZetTable& t) {
  if (c.accessMode == kAccessMarks) return c.accessMarks.Count();
  return uint32_t(std::max(t.recordCount, 0));
}

// Walks the cursor's order from its current record on. Every match is handed
// to onMatch, which answers whether the walk ends there. Answers true when
// onMatch ended it (the cursor then stands on that record); false at the end
// of the order and when the progress procedure stopped the walk.
bool Walk(TCursor& c, TZetTable& t, TProgress& progress, const std::function<bool()>& onMatch) {
  for (;;) {
    if (!progress.Count()) return false;
    if (RecordMatches(c, t) && onMatch()) return true;
    bool end = false;
    const uint32_t next = NextOrPriorRecordNo(c, t, true, end);
    if (end) return false;
    c.recno = next;
    if (c.accessMode == kAccessIndex) Zet00::SetKeyRecordNumber(c.key.data(), next);
  }
}

// The cursor stands on the record a walk found: read it with its own sets.
int32_t TakeFound(TCursor& c, TZetTable& t) {
  if (RereadCursorRecord(c, t) < 0) return kNoRecord;
  return int32_t(c.recno);
}

// Compiles a condition for a cursor into its search code and set: 0 or -7.
int32_t PrepareSearch(TCursor& c, const char* condition) {
  ShortStr code;
  uint64_t tables = 0;
  if (CompileCondition(TextIn(condition, ShortStr::kMax + 1), code, tables) != 0) return kConditionUnusable;
  c.searchCode = code;
  c.searchSet = tables | (uint64_t(1) << (c.relation - 1));
  return 0;
}

// Steps index slot of the table from its current key to the next key whose
// record the cursor may visit (in marked order, only access marks).
uint8_t NextVisibleKey(TCursor& c, int slot, uint8_t status, uint8_t (*step)(int, int)) {
  TZetTable& t = *ZetTable::Table(c.relation);
  while (status == Zet00::kStatusFound && c.accessMode == kAccessMarks &&
         !MarkLists::MarkListContains(c.accessMarks, Zet00::KeyRecordNumber(t.currentKey.data())))
    status = step(c.relation, slot);
  return status;
}

// The search continued after a find: the next key of the find index.
int32_t ContinueFind(TCursor& c, TZetTable& t) {
  const int slot = c.findIndex;
  if (c.recno == 0 || !t.indexes[size_t(slot)]) return kNoRecord;
  LoadCursorIntoTable(c, t);
  if (Zet00::MakeKey(c.relation, slot, c.record.data(), t.currentKey.data(), c.recno) != 0) {
    DiscardTablePosition(c, t);
    return kNoRecord;
  }
  const uint8_t status =
      NextVisibleKey(c, slot, Zet00::IndexNext(c.relation, slot), [](int h, int s) { return Zet00::IndexNext(h, s); });
  if (status != Zet00::kStatusFound) {
    DiscardTablePosition(c, t);
    return kNoRecord;
  }
  const auto key = t.currentKey;
  const TPosition before = PositionOf(c);
  c.recno = Zet00::KeyRecordNumber(key.data());
  if (c.accessMode == kAccessIndex && c.indexSlot == slot) c.key = key;
  if (RereadCursorRecord(c, t) < 0) {
    Restore(c, t, before);
    return kNoRecord;
  }
  RebuildCursorKey(c, t);
  return int32_t(c.recno);
}

// The search continued after a search: walk on from the next record.
int32_t ContinueSearch(TCursor& c, TZetTable& t, ZetProgressProc progress) {
  const TPosition before = PositionOf(c);
  bool end = false;
  const uint32_t next = NextOrPriorRecordNo(c, t, true, end);
  if (end || next == 0) return kNoRecord;
  c.recno = next;
  if (c.accessMode == kAccessIndex) Zet00::SetKeyRecordNumber(c.key.data(), next);
  TCurrentTable current(c.relation);
  TProgress counter(progress, WalkTotal(c, t));
  if (Walk(c, t, counter, [] { return true; })) {
    const int32_t found = TakeFound(c, t);
    if (found > 0) return found;
  }
  Restore(c, t, before);
  return kNoRecord;
}

// The records of the whole table that a condition on the table alone
// selects, in record order, as the selection walk finds them: through an
// index the condition can use, deciding each record on its key where the
// key holds the fields. False when the walk met an evaluation error or a
// failed read, which a visit of every record only passes over. The table's
// position, order and range come back as they were.
bool SelectedRecords(TCursor& c, TZetTable& t, std::vector<uint32_t>& selected) {
  const int slot = c.relation;
  Zet00::PushTablePosition(slot);
  auto low = std::move(t.lowLimit), high = std::move(t.highLimit);
  t.lowLimit.clear();
  t.highLimit.clear();
  t.orderMode = ZetTable::kOrderRecords;
  uint8_t oldIndex = 0;
  uint8_t oldOrder = 0;
  const bool chosen = Zet02::ChooseSearchIndex(c.searchCode, oldIndex, oldOrder);
  bool ended = false;
  {
    Zet02::TSelectionWalk walk(slot, c.searchCode);
    int status = 0;
    if (walk.Next(status)) {
      selected.push_back(t.currentRecord);
      walk.CountRest(status, &selected);
    }
    ended = walk.Ended();
  }
  if (chosen) Zet02::RestoreSearchIndex(oldIndex, oldOrder);
  t.lowLimit = std::move(low);
  t.highLimit = std::move(high);
  Zet00::PopTablePosition(slot);
  if (!ended) selected.clear();
  std::sort(selected.begin(), selected.end());
  return ended;
}

// The mark operation of ZetTableMark on the record the cursor stands on.
void TreatMatch(TCursor& c, int32_t mode, bool startedEmpty) {
  switch (mode) {
    case 1:
      if (startedEmpty || !MarkLists::MarkListContains(c.userMarks, c.recno))
        MarkLists::MarkListAdd(c.userMarks, c.recno);
      break;
    case 2: MarkLists::MarkListToggle(c.userMarks, c.recno); break;
    case 3: MarkLists::MarkListRemove(c.userMarks, c.recno); break;
    default: break;
  }
}

// Reads the names of a list of zero-terminated names ended by an empty one.
std::vector<std::string_view> NameList(const char* list, size_t max) {
  std::vector<std::string_view> names;
  for (const char* p = list; p && *p != 0 && names.size() <= max; p += std::strlen(p) + 1)
    names.push_back(TextIn(p));
  return names;
}

// The relation table of an R field when it holds full-text keys, else 0.
int FullTextRelationOf(const TZetTable& t, uint16_t field) {
  const int h = RelationTableOfField(t, field);
  const TZetTable* rel = h != 0 ? ZetTable::Table(h) : nullptr;
  return rel && rel->isRelationTable && FullText::HasFullTextKeys(*rel) ? h : 0;
}

// Writes names in the list form of zetcore.h: each followed by a zero, an
// empty name at the end. Only whole names that fit the capacity are written.
void NamesOut(char* buffer, int32_t capacity, const std::vector<std::string>& names) {
  if (!buffer || capacity < 0) return;
  size_t used = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 1 > size_t(capacity)) break;
    std::memcpy(buffer + used, name.c_str(), name.size() + 1);
    used += name.size() + 1;
  }
  buffer[used] = 0;
}

// The compiled field list of the full-text builder for names of the current
// table: the code of Fields(name,name,...); false when it does not compile.
bool CompileFieldList(const std::vector<std::string_view>& names, ShortStr& list) {
  std::string text = "Fields(";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i != 0) text += ',';
    text += names[i];
  }
  text += ')';
  ShortStr code;
  uint64_t tables = 0;
  if (names.empty() || CompileText(text, code, tables) != 0) return false;
  const std::string_view c = code.view();
  if (c.size() < 2 || uint8_t(c[0]) != ByteCode::tkFields || size_t(uint8_t(c[1])) + 2 > c.size()) return false;
  list = ShortStr(c.substr(2, uint8_t(c[1])));
  return true;
}

}  // namespace

// Sorts a list of marks of the table in slot by a key description: each
// marked record is read and its key built; marks whose records cannot be
// read stay marked, after the others. The table's position and record
// buffer are as they were afterwards. 0, or 98 (bad description) or 99 (too
// many marks for memory), recorded.
int SortMarksByKey(int slot, std::string_view keyText, MarkLists::TMarkList& marks) {
  TZetTable& t = *ZetTable::Table(slot);
  TCurrentTable current(slot);
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> description{};
  if (keyText.size() > ShortStr::kMax ||
      MakeIV::CompileIndexDescription(slot, keyText, description.data(), false) != 0) {
    Common::SetError(uint16_t(kBadDescription), "");
    return kBadDescription;
  }
  const uint64_t keyLength = Zet00::KeyLength(description.data());
  if (uint64_t(marks.Count()) * (keyLength + 8) > uint64_t(2147483647 - 20000)) {
    Common::SetError(uint16_t(kOutOfMemory), "");
    return kOutOfMemory;
  }
  struct TEntry {
    std::array<uint8_t, ZetTable::kMaxKeySize> key;
    uint32_t recno;
  };
  std::vector<TEntry> sorted;
  std::vector<uint32_t> unread;
  Zet00::PushTablePosition(slot);
  for (const uint32_t recno : marks.Items()) {
    TEntry e{{}, recno};
    if (Zet01::ReadRecord(slot, recno) != 0 ||
        Zet00::MakeKey(slot, -1, t.recordBuffer.data(), e.key.data(), recno, description.data()) != 0) {
      unread.push_back(recno);
      continue;
    }
    sorted.push_back(e);
  }
  Zet00::PopTablePosition(slot);
  Common::ResetLastError();
  const bool oem = OemKeys(t);
  std::stable_sort(sorted.begin(), sorted.end(), [&](const TEntry& a, const TEntry& b) {
    return Zet00::CompareKeys(a.key.data(), b.key.data(), description.data(), oem, false) < 0;
  });
  MarkLists::MarkListClear(marks);
  for (const TEntry& e : sorted) MarkLists::MarkListAdd(marks, e.recno);
  for (const uint32_t recno : unread) MarkLists::MarkListAdd(marks, recno);
  return 0;
}

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

// ---- Search by condition -------------------------------------------------

int32_t ZetTableSearch(int32_t cursor, const char* condition, ZetProgressProc progress) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  TCurrentTable current(c.relation);
  if (PrepareSearch(c, condition) != 0) {
    c.searchState = 0;
    return kConditionUnusable;
  }
  const TPosition before = PositionOf(c);
  c.searchState = 2;
  bool end = false;
  const uint32_t first = FirstOrLastRecordNo(c, t, true, end);
  if (!end && first != 0) {
    c.recno = first;
    TProgress counter(progress, WalkTotal(c, t));
    if (Walk(c, t, counter, [] { return true; })) {
      const int32_t found = TakeFound(c, t);
      if (found > 0) return found;
    }
  }
  Restore(c, t, before);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableSearchContinue(int32_t cursor, ZetProgressProc progress) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  switch (c.searchState) {
    case 1: return ContinueFind(c, *r.table);
    case 2: return ContinueSearch(c, *r.table, progress);
    default: return kNoSearchToContinue;
  }
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableFindRec(int32_t cursor, const char* indexName, const char* keyText, uint8_t* exact) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (exact) *exact = 0;
  const int slot = FindIndexSlot(t, TextIn(indexName));
  if (slot < 0 || !t.indexes[size_t(slot)] || !Zet00::IndexAvailable(c.relation, slot, false)) {
    c.searchState = 0;
    return kUnknownIndex;
  }
  LoadCursorIntoTable(c, t);
  std::array<uint8_t, ZetTable::kMaxKeySize> searchKey{};
  if (Zet00::KeyFromText(c.relation, slot, TextIn(keyText), searchKey.data(), 0) != 0) {
    DiscardTablePosition(c, t);
    c.searchState = 0;
    return kUnknownIndex;
  }
  t.currentKey = searchKey;
  const uint8_t status =
      NextVisibleKey(c, slot, Zet00::IndexSeek(c.relation, slot), [](int h, int s) { return Zet00::IndexNext(h, s); });
  c.searchState = 1;
  c.findIndex = uint8_t(slot);
  if (status != Zet00::kStatusFound) {
    DiscardTablePosition(c, t);
    return kNoRecord;
  }
  const auto foundKey = t.currentKey;
  const uint32_t recno = Zet00::KeyRecordNumber(foundKey.data());
  if (exact) *exact = Zet00::SameKey(foundKey.data(), searchKey.data(), KeyDescription(t, slot), t.version) ? 1 : 0;
  DiscardTablePosition(c, t);
  if (t.countUnknown) {
    // Such a table is walked by its identifier index only: the cursor
    // takes the record found.
    const TPosition before = PositionOf(c);
    c.recno = recno;
    if (c.accessMode == kAccessIndex && c.indexSlot == slot) c.key = foundKey;
    if (RereadCursorRecord(c, t) < 0) Restore(c, t, before);
  }
  return int32_t(recno);
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Marks -----------------------------------------------------------------

int32_t ZetTableMark(int32_t cursor, const char* condition, int32_t mode, ZetProgressProc progress) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  TCurrentTable current(c.relation);
  if (PrepareSearch(c, condition) != 0) return kConditionUnusable;
  const TPosition before = PositionOf(c);
  // Outside marked order every record is visited, whatever the order and
  // range of the cursor.
  const uint8_t accessMode = c.accessMode;
  auto lowKey = std::move(c.lowKey), highKey = std::move(c.highKey);
  c.lowKey.clear();
  c.highKey.clear();
  if (c.accessMode != kAccessMarks) c.accessMode = kAccessRecords;

  const uint32_t total = WalkTotal(c, t);
  TProgress counter(progress, total);
  const bool startedEmpty = c.userMarks.Empty();
  int32_t matches = 0;
  bool end = false;
  // Without a progress procedure, which sees every record go by, a
  // condition on this table alone is decided by the selection walk; the
  // records it selects are treated in record order as a visit treats them.
  std::vector<uint32_t> selected;
  const bool walked = !progress && c.accessMode == kAccessRecords &&
                      (c.searchSet & ~(uint64_t(1) << (c.relation - 1))) == 0 && SelectedRecords(c, t, selected);
  const uint32_t first = walked ? 0 : FirstOrLastRecordNo(c, t, true, end);
  for (const uint32_t recno : selected) {
    c.recno = recno;
    ++matches;
    TreatMatch(c, mode, startedEmpty);
  }
  if (!end && first != 0) {
    c.recno = first;
    Walk(c, t, counter, [&] {
      ++matches;
      TreatMatch(c, mode, startedEmpty);
      return false;
    });
  }
  counter.Finish();
  c.accessMode = accessMode;
  c.lowKey = std::move(lowKey);
  c.highKey = std::move(highKey);
  Restore(c, t, before);
  return matches;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetNumMarks(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : int32_t(r.cursor->userMarks.Count());
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableToggleMark(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  if (r.cursor->recno != 0) MarkLists::MarkListToggle(r.cursor->userMarks, r.cursor->recno);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableUnmark(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  MarkLists::MarkListClear(r.cursor->userMarks);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableIsMarked(int32_t cursor, int32_t recno) try {
  TResolved r = Resolve(cursor);
  if (r.error) return 0;
  const uint32_t n = recno == -1 ? r.cursor->recno : recno > 0 ? uint32_t(recno) : 0;
  return n != 0 && MarkLists::MarkListContains(r.cursor->userMarks, n) ? 1 : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

static int32_t TableSortMarkedRecsWork(int32_t cursor, const char* keyDescription) {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  return SortMarksByKey(r.cursor->relation, TextIn(keyDescription, ShortStr::kMax + 1), r.cursor->userMarks);
}

int32_t ZetTableSortMarkedRecs(int32_t cursor, const char* keyDescription) {
  return ZETEng::Guarded([&] { return TableSortMarkedRecsWork(cursor, keyDescription); });
}

int32_t ZetTableMarkDoubles(int32_t cursor, ZetProgressProc progress) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  const int slot = c.indexSlot;
  if (c.accessMode != kAccessIndex || slot <= 0 || !t.indexes[size_t(slot)] ||
      !Zet00::IndexAvailable(c.relation, slot, false) || Zet00::IsUniqueIndex(t, slot))
    return 0;
  MarkLists::MarkListClear(c.userMarks);
  LoadCursorIntoTable(c, t);
  const uint32_t total = uint32_t(std::max(t.recordCount, 0));
  TProgress counter(progress, total);
  const uint8_t* description = KeyDescription(t, slot);
  std::array<uint8_t, ZetTable::kMaxKeySize> previous{};
  bool havePrevious = false;
  uint8_t status = Zet00::IndexFirst(c.relation, slot);
  while (status == Zet00::kStatusFound) {
    if (!counter.Count()) {
      DiscardTablePosition(c, t);
      return int32_t(c.userMarks.Count());
    }
    if (havePrevious && Zet00::SameKey(t.currentKey.data(), previous.data(), description, t.version))
      MarkLists::MarkListAdd(c.userMarks, Zet00::KeyRecordNumber(t.currentKey.data()));
    previous = t.currentKey;
    havePrevious = true;
    status = Zet00::IndexNext(c.relation, slot);
  }
  counter.Finish();
  DiscardTablePosition(c, t);
  if (status == Zet00::kStatusFailed) return Common::LastError() < 0 ? Common::LastError() : -3;
  return int32_t(c.userMarks.Count());
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnCreateFullTextIndex(int32_t relation, ZetFullTextIndexRequest* request, ZetProgressProc progress) try {
  if (!ValidRelation(relation)) return kBadRelation;
  if (!request) return kConditionUnusable;
  TZetTable& t = *ZetTable::Table(relation);
  const uint16_t n = ZetTable::FieldNoFromText(relation, TextIn(request->relationField, ZetTable::kMaxFieldName));
  // The field's relation table takes the entries; the index relation is the
  // word table, as a query names it.
  const int rel = RelationTableOfField(t, n);
  if (rel == 0) return -10;
  const int words = ZetTable::FindOpenTable(TextIn(request->indexRelation));
  if (words <= 0 || words == rel || words == relation) return kBadRelation;
  ClearCompileErrors();
  TCurrentTable current(relation);
  FullText::TIndexRequest r;
  r.source = relation;
  r.relationTable = rel;
  r.wordTable = words;
  const auto fields = NameList(request->fieldNames, ZetTable::kMaxFieldCount);
  const auto exclusions = NameList(request->exclusionFields, ZetTable::kMaxFieldCount);
  if (!CompileFieldList(fields, r.fieldList)) return kConditionUnusable;
  if (!exclusions.empty() && !CompileFieldList(exclusions, r.exclusionList)) return kConditionUnusable;
  r.extraChars = ShortStr(TextIn(request->extraChars));
  r.stopWordFile = ShortStr(TextIn(request->stopWordFile));
  r.weightField = uint16_t(std::clamp<int32_t>(request->weightField, 0, 65535));
  r.maxHits = request->maxHits <= 0 ? FullText::kNoHitLimit : request->maxHits;
  r.memoryLimit = request->memoryLimit;
  r.options = uint16_t(request->options & 31);
  const int32_t built = FullText::BuildIndex(r, progress);
  request->sourceRecords = std::max(t.recordCount, 0);
  request->indexRecords = std::max(built, 0);
  return built < 0 ? built : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnFullTextIndexGetIndexNames(int32_t relation, char* buffer, int32_t capacity) try {
  NamesOut(buffer, capacity, {});
  if (!ValidRelation(relation)) return kBadRelation;
  const TZetTable& t = *ZetTable::Table(relation);
  std::vector<std::string> names;
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    const int rel = FullTextRelationOf(t, n);
    if (rel == 0) continue;
    // The relation table's name without its extension.
    const Common::FileNameParts parts = Common::SplitFileName(ZetTable::Table(rel)->fileName.view());
    names.emplace_back(parts.name.view());
  }
  NamesOut(buffer, capacity, names);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnFullTextIndexGetRelationNames(int32_t relation, int32_t indexRelation, char* buffer,
                                             int32_t capacity) try {
  NamesOut(buffer, capacity, {});
  if (!ValidRelation(relation)) return kBadRelation;
  const TZetTable& t = *ZetTable::Table(relation);
  std::vector<std::string> names;
  for (uint16_t n = 1; n <= t.fieldCount; ++n)
    if (indexRelation > 0 && FullTextRelationOf(t, n) == indexRelation)
      names.emplace_back(Common::NameOf(t.StoredName(n)).view());
  NamesOut(buffer, capacity, names);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableMarkFullText(int32_t cursor, const ZetFullTextQuery* query) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (!query) return kConditionUnusable;
  const int wordTable = ZetTable::FindOpenTable(TextIn(query->indexRelation));
  if (wordTable <= 0) return kBadRelation;
  FullText::TRelationSlots relations{};
  const auto names = NameList(query->relationNames, kMaxFullTextRelations);
  if (names.size() > kMaxFullTextRelations) return kConditionUnusable;
  for (size_t i = 0; i < names.size(); ++i) {
    const int h = ZetTable::FindOpenTable(names[i]);
    if (h <= 0) return kBadRelation;
    relations[i] = uint16_t(h);
  }
  const std::string_view text = TextIn(query->query);
  TCurrentTable current(c.relation);
  const int16_t e = FullText::MarkRecords(c.relation, wordTable, text, TextIn(query->extraChars),
                                          TextIn(query->operatorChars), relations, int32_t(query->options));
  if (e != 0) {
    // A relation index to build again stays reported as such, with its name.
    if (e != FullText::kErrRelationKeysLost) ZetVars::RecordCompileError(kErrFullTextQuery, text, 0);
    MarkLists::MarkListClear(t.marks);
    return kConditionUnusable;
  }
  MarkLists::MarkListCopy(t.marks, c.userMarks);
  MarkLists::MarkListClear(t.marks);
  return int32_t(c.userMarks.Count());
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
