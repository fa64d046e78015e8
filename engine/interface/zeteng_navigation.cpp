// Cursors and their access orders: making, cloning and deleting cursors,
// choosing an order, and moving through it.
//
// A cursor walks its table in record order, in the order of its access marks,
// or in the order of one index, optionally inside a range of keys. Record and
// index order are stepped by table storage with the cursor loaded into its
// table; marked order is stepped here over the cursor's own access marks.
// Whatever a step does to the table's position is dropped afterwards: the
// cursor keeps its record number, key and record buffer for itself.
//
// A walk that runs into the end keeps the last record it reached; a go-to-mark
// that finds no further marked record returns to where it started; a
// record number that cannot be taken leaves the cursor where it was.
#include <algorithm>
#include <cstring>

#include "engine/base/stacklib.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_open.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr std::string_view kRecordOrder = "Nummer";
constexpr std::string_view kMarkOrder = "Markierung";

// The record number in the first four bytes of a range key.
uint32_t RangeRecno(const std::vector<uint8_t>& key) { return Zet00::KeyRecordNumber(key.data()); }

uint32_t RecordCount(const TZetTable& t) { return uint32_t(std::max(t.recordCount, 0)); }

// Steps record or index order through table storage with the cursor loaded;
// the key reached becomes the cursor's, the table's own key is kept.
template <typename Step>
uint32_t StepInTable(TCursor& c, TZetTable& t, bool& end, Step step) {
  const auto savedKey = t.currentKey;
  const uint32_t savedRecord = t.currentRecord;
  const uint8_t savedOrder = t.orderMode, savedIndex = t.currentIndex;
  LoadCursorIntoTable(c, t);
  uint16_t endWord = 0;
  const uint32_t recno = step(endWord);
  end = endWord != 0;
  if (c.accessMode == kAccessIndex && !end) c.key = t.currentKey;
  t.lowLimit.clear();
  t.highLimit.clear();
  t.currentKey = savedKey;
  t.currentRecord = savedRecord;
  t.orderMode = savedOrder;
  t.currentIndex = savedIndex;
  return end ? c.recno : recno;
}

}  // namespace

uint32_t FirstOrLastRecordNo(TCursor& c, TZetTable& t, bool first, bool& end) {
  end = false;
  if (t.countUnknown) {
    c.accessMode = kAccessIndex;
    c.indexSlot = 1;
  }
  if (!t.countUnknown && t.recordCount <= 0) {
    end = true;
    return 0;
  }
  switch (c.accessMode) {
    case kAccessMarks: {
      const uint32_t r = first ? MarkLists::MarkListFirst(c.accessMarks) : MarkLists::MarkListLast(c.accessMarks);
      end = MarkLists::EndFlag() != 0 || r == 0;
      return end ? 0 : r;
    }
    case kAccessRecords: {
      const uint32_t count = RecordCount(t);
      uint32_t r = first ? (c.lowKey.empty() ? 1 : RangeRecno(c.lowKey))
                         : (c.highKey.empty() ? count : std::min(RangeRecno(c.highKey), count));
      r = std::clamp<uint32_t>(r, 1, count);
      return r;
    }
    default:
      return StepInTable(c, t, end,
                         [&](uint16_t& e) { return Zet01::FirstOrLastRecNo(c.relation, first, e); });
  }
}

uint32_t NextOrPriorRecordNo(TCursor& c, TZetTable& t, bool forward, bool& end) {
  end = false;
  switch (c.accessMode) {
    case kAccessMarks: {
      if (!MarkLists::MarkListContains(c.accessMarks, c.recno)) {
        end = true;
        return c.recno;
      }
      const uint32_t r = forward ? MarkLists::MarkListNext(c.accessMarks, c.recno)
                                 : MarkLists::MarkListPrior(c.accessMarks, c.recno);
      end = MarkLists::EndFlag() != 0 || r == 0;
      return end ? c.recno : r;
    }
    case kAccessRecords: {
      const uint32_t count = RecordCount(t);
      const uint32_t high = c.highKey.empty() ? count : std::min(RangeRecno(c.highKey), count);
      const uint32_t low = c.lowKey.empty() ? 1 : std::max<uint32_t>(RangeRecno(c.lowKey), 1);
      if (forward ? c.recno < high : (c.recno > low && c.recno <= count + 1)) return forward ? c.recno + 1 : c.recno - 1;
      end = true;
      return c.recno;
    }
    default:
      return StepInTable(c, t, end,
                         [&](uint16_t& e) { return Zet01::NextOrPriorRecNo(c.relation, forward, e); });
  }
}

void RebuildCursorKey(TCursor& c, TZetTable&) {
  if (c.accessMode != kAccessIndex || c.recno == 0) return;
  std::array<uint8_t, ZetTable::kMaxKeySize> key{};
  if (Zet00::MakeKey(c.relation, c.indexSlot, c.record.data(), key.data(), c.recno) == 0) c.key = key;
}

// 1 all linked records found, 0 some not, -1 not read.
static int32_t ReadResult(int r) { return r == 0 ? 1 : r == 1 ? 0 : -1; }

int32_t GoFirstOrLast(TCursor& c, TZetTable& t, bool first) {
  bool end = false;
  const uint32_t recno = FirstOrLastRecordNo(c, t, first, end);
  if (end) return kEmptyOrder;
  c.recno = recno;
  const int32_t r = ReadResult(RereadCursorRecord(c, t));
  return r < 0 ? kNoRecord : r;
}

void RestoreCursor(TCursor& c, TZetTable& t) {
  t.currentKey = c.key;
  t.recordBuffer = c.record;
  t.currentRecord = c.recno;
  t.orderMode = c.accessMode;
  t.currentIndex = c.indexSlot;
  MarkLists::MarkListCopy(c.accessMarks, t.marks);
  t.lowLimit = c.lowKey;
  t.highLimit = c.highKey;
}

void RestoreCursorWithLinked(TCursor& c, TZetTable& t) {
  RestoreCursor(c, t);
  const int handle = HandleOf(c);
  for (int slot = 1; slot <= kMaxCursors; ++slot) {
    TCursor* linked = CursorInSlot(slot);
    if (!linked || slot == handle || linked->masterCursor != handle) continue;
    if (TZetTable* table = TableOf(*linked)) RestoreCursor(*linked, *table);
  }
}

}  // namespace ZETEng

using namespace ZETEng;

namespace {


// The state a continuous read keeps on the engine stack.
struct TContinuousState {
  uint32_t recno;
  std::array<uint8_t, ZetTable::kMaxKeySize> key;
  uint8_t accessMode;
  uint8_t indexSlot;
};

}  // namespace

extern "C" {

// ---- Cursors ---------------------------------------------------------------

int32_t ZetTableCreate(int32_t relation) try {
  return CreateCursor(relation);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableDelete(int32_t cursor) try {
  if (!Cursor(cursor)) return kBadCursor;
  FreeCursor(cursor);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableClone(int32_t cursor) try {
  TCursor* source = Cursor(cursor);
  if (!source) return kBadCursor;
  if (!TableOf(*source)) return kBadRelation;
  const int32_t h = CreateCursor(source->relation);
  if (h < 0) return h;
  TCursor& c = *Cursor(h);
  c.linkedSet = source->linkedSet;
  c.fieldFlags = source->fieldFlags;
  c.formulas = source->formulas;
  c.accessMode = kAccessRecords;
  c.indexSlot = 0;
  return h;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableAttach(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return 0;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  LINKFILE::SelectPrimaryTable(c.relation);
  MarkLists::MarkListCopy(t.marks, c.accessMarks);
  c.key = t.currentKey;
  t.recordBuffer.resize(c.recordLength);
  c.record = t.recordBuffer;
  c.recno = t.currentRecord;
  c.accessMode = t.orderMode;
  c.indexSlot = t.currentIndex;
  c.lowKey = t.lowLimit;
  c.highKey = t.highLimit;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableRestore(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (!r.error) RestoreCursor(*r.cursor, *r.table);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetPrimaryTable(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  LINKFILE::SelectPrimaryTable(r.cursor->relation);
  SetActiveCursor(cursor);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetRltnHdl(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : r.cursor->relation;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetRltnName(int32_t cursor, char* buffer, int32_t capacity, int32_t withExtension) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : ZetRltnGetName(r.cursor->relation, buffer, capacity, withExtension);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetRltnVersion(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : r.table->version;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetNumFields(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : r.table->userFieldCount;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Orders ----------------------------------------------------------------

int32_t ZetTableSetAccess(int32_t cursor, const char* accessName, int32_t moveMarks) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (t.countUnknown) {
    c.accessMode = kAccessIndex;
    c.indexSlot = 1;
    return 0;
  }
  const std::string_view name = TextIn(accessName, ZetTable::kMaxIndexName);
  uint8_t mode = kAccessIndex;
  int slot = 0;
  if (UPPERCAS::CollateCompare(name, kRecordOrder) == 0) mode = kAccessRecords;
  else if (UPPERCAS::CollateCompare(name, kMarkOrder) == 0) mode = kAccessMarks;
  else if ((slot = FindIndexSlot(t, name)) < 0) return -15;
  if (mode == kAccessMarks) {
    if (moveMarks == 0) return -15;
    if (!c.userMarks.Empty()) {
      MarkLists::MarkListCopy(c.userMarks, c.accessMarks);
      MarkLists::MarkListClear(c.userMarks);
    }
    c.accessMode = kAccessMarks;
    if (!MarkLists::MarkListContains(c.accessMarks, c.recno)) {
      const int32_t g = GoFirstOrLast(c, t, true);
      if (g == kEmptyOrder) c.recno = 0;
    }
    return 0;
  }
  if (moveMarks != 0 && c.accessMode == kAccessMarks) {
    MarkLists::MarkListCopy(c.accessMarks, c.userMarks);
    MarkLists::MarkListClear(c.accessMarks);
  }
  c.accessMode = mode;
  c.indexSlot = uint8_t(mode == kAccessIndex ? slot : 0);
  if (c.recno == 0) {
    GoFirstOrLast(c, t, true);
  } else {
    RereadCursorRecord(c, t);
    RebuildCursorKey(c, t);
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetAccess(int32_t cursor, char* buffer, int32_t capacity) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TCursor& c = *r.cursor;
  std::string_view name = kRecordOrder;
  if (c.accessMode == kAccessMarks) name = kMarkOrder;
  else if (c.accessMode == kAccessIndex && r.table->indexes[c.indexSlot])
    name = r.table->indexes[c.indexSlot]->fileName.view();
  TextOut(buffer, capacity, name);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetAccessIndex(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  switch (r.cursor->accessMode) {
    case kAccessRecords: return -1;
    case kAccessMarks: return -2;
    default: return r.cursor->indexSlot;
  }
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Moving ----------------------------------------------------------------

int32_t ZetTableFirst(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : GoFirstOrLast(*r.cursor, *r.table, true);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableLast(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : GoFirstOrLast(*r.cursor, *r.table, false);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableMoveBy(int32_t cursor, int32_t steps) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (steps == 0) {
    const int32_t g = ReadResult(RereadCursorRecord(c, t));
    return g < 0 ? kNoRecord : g;
  }
  if (c.positionLost) {
    RereadCursorRecord(c, t);
    RebuildCursorKey(c, t);
    c.positionLost = false;
  }
  const bool forward = steps > 0;
  const int64_t count = steps > 0 ? int64_t(steps) : -int64_t(steps);
  bool end = false;
  for (int64_t i = 0; i < count && !end; ++i) {
    const uint32_t next = NextOrPriorRecordNo(c, t, forward, end);
    if (!end) {
      c.recno = next;
      if (c.accessMode == kAccessIndex) Zet00::SetKeyRecordNumber(c.key.data(), next);
    }
  }
  if (c.recno == 0) return kEmptyOrder;
  const int32_t g = ReadResult(RereadCursorRecord(c, t));
  if (g < 0) return kEmptyOrder;
  return end ? kNoRecord : g;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGotoMark(int32_t cursor, int32_t direction) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (c.userMarks.Empty() || c.recno == 0) return kNoRecord;
  const uint32_t savedRecno = c.recno;
  const auto savedKey = c.key;
  bool end = false;
  for (;;) {
    const uint32_t next = NextOrPriorRecordNo(c, t, direction >= 1, end);
    if (end) break;
    c.recno = next;
    if (MarkLists::MarkListContains(c.userMarks, next)) break;
  }
  if (end) {
    c.recno = savedRecno;
    c.key = savedKey;
    return kNoRecord;
  }
  const int32_t g = ReadResult(RereadCursorRecord(c, t));
  if (g < 0) {
    c.recno = savedRecno;
    c.key = savedKey;
    return kNoRecord;
  }
  return g;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableSetRecNo(int32_t cursor, int32_t recno) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (recno < 1) return kNoRecord;
  uint32_t n = uint32_t(recno);
  if (!t.countUnknown) {
    if (t.recordCount <= 0) return kNoRecord;
    n = std::min(n, uint32_t(t.recordCount));
  }
  if (c.accessMode == kAccessMarks && !MarkLists::MarkListContains(c.accessMarks, n)) return kNoRecord;
  const uint32_t savedRecno = c.recno;
  const auto savedKey = c.key;
  const auto savedRecord = c.record;
  c.recno = n;
  if (RereadCursorRecord(c, t) < 0) {
    c.recno = savedRecno;
    c.key = savedKey;
    c.record = savedRecord;
    return kNoRecord;
  }
  RebuildCursorKey(c, t);
  return int32_t(n);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetRecNo(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  return r.table->recordCount == 0 && !r.table->countUnknown ? 0 : int32_t(r.cursor->recno);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableRecordCount(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  if (r.cursor->accessMode == kAccessMarks) return int32_t(r.cursor->accessMarks.Count());
  return r.table->countUnknown ? 1 : std::max(r.table->recordCount, 0);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnRecordCount(int32_t relation) try {
  if (!ValidRelation(relation)) return kBadRelation;
  const TZetTable& t = *ZetTable::Table(relation);
  return t.countUnknown ? 1 : std::max(t.recordCount, 0);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableSetRelationSet(int32_t cursor, uint32_t setLow, uint32_t setHigh) try {
  TCursor* c = Cursor(cursor);
  if (!c) return kBadCursor;
  c->relationSet = uint64_t(setLow) | (uint64_t(setHigh) << 32);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Brackets --------------------------------------------------------------

int32_t ZetTableStartContinousRead(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  const TContinuousState state{c.recno, c.key, c.accessMode, c.indexSlot};
  STACKLIB::Push(c.record.data(), c.record.size());
  STACKLIB::Push(&state, sizeof state);
  const int32_t current = ZetTable::CurrentHandle();
  STACKLIB::Push(&current, sizeof current);
  LINKFILE::SelectPrimaryTable(c.relation);
  c.changed = false;
  OpenBracket(TBracket::ContinuousRead, cursor, {c.record.size()});
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableEndContinousRead(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  std::vector<uint64_t> guard;
  if (!CloseBracket(TBracket::ContinuousRead, cursor, &guard)) return 0;
  int32_t current = 0;
  STACKLIB::Pop(&current, sizeof current);
  if (current > 0 && current <= ZetTable::OpenCount()) LINKFILE::SelectPrimaryTable(current);
  TContinuousState state{};
  STACKLIB::Pop(&state, sizeof state);
  if (guard.size() != 1 || guard[0] != c.record.size()) {
    DropStackEntries(1);  // another cursor took the handle meanwhile
    return 0;
  }
  STACKLIB::Pop(c.record.data(), c.record.size());
  c.recno = state.recno;
  c.key = state.key;
  c.accessMode = state.accessMode;
  c.indexSlot = state.indexSlot;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableStartProtected(int32_t cursor) try {
  if (!Cursor(cursor)) return kBadCursor;
  const int32_t current = ZetTable::CurrentHandle();
  STACKLIB::Push(&current, sizeof current);
  Zet01::StartProtected();
  for (int h = 1; h <= ZetTable::OpenCount(); ++h) Zet00::PushTablePosition(h);
  const int32_t count = ZetTable::OpenCount();
  STACKLIB::Push(&count, sizeof count);
  OpenBracket(TBracket::Protected, 0, OpenTableSerials());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableEndProtected(int32_t cursor) try {
  if (!Cursor(cursor)) return kBadCursor;
  std::vector<uint64_t> guard;
  if (!CloseBracket(TBracket::Protected, 0, &guard)) return 0;
  int32_t count = 0;
  STACKLIB::Pop(&count, sizeof count);
  // Positions go back only to the tables they were taken from.
  constexpr size_t kEntriesPerTable = 6;  // what Zet00::PushTablePosition saves
  if (guard == OpenTableSerials()) {
    for (int h = count; h >= 1; --h) Zet00::PopTablePosition(h);
  } else {
    DropStackEntries(size_t(count) * kEntriesPerTable);
  }
  Zet01::EndProtected();
  int32_t current = 0;
  STACKLIB::Pop(&current, sizeof current);
  if (current > 0 && current <= ZetTable::OpenCount()) Zet01::SetCurrentTable(current);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
