// The engine interface's own state: the login, the 50 cursors, and the
// services that move a cursor's state in and out of its table.
//
// A cursor is a view of one open table with its own position, order, record
// buffer, key, range and marks. The table object of table storage has only
// one of each, so every cursor operation loads the cursor into its table,
// works, and then takes the table's state back (SaveTableIntoCursor) or drops
// what the operation did to it (DiscardTablePosition).
//
// What always holds:
//   1. A slot 1..50 holds a cursor or nothing; handles are slot numbers. An
//      export resolves its handle once (Cursor) and passes the cursor by
//      reference below; nothing below checks a handle again.
//   2. A cursor's buffers have its table's record length; its key buffer is
//      260 bytes. The table it names is the one that was open in its slot
//      when the cursor was made (the table's serial is kept): a cursor whose
//      table was closed or replaced reaches no table (TableOf answers null)
//      and its delete writes nothing back.
//   3. Edit and append depths never go below 0.
//   4. Only records that another cursor does not edit are written: the edit
//      lock is tested before an edit starts and before a delete.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/base/shortstr.h"
#include "engine/interface/include/zetcore.h"
#include "engine/storage/marklist.h"
#include "engine/storage/zettable.h"

namespace ZETEng {

inline constexpr int kMaxCursors = 50;
inline constexpr int32_t kVersion = 4003;

// Interface codes.
inline constexpr int32_t kBadCursor = -101;
inline constexpr int32_t kBadRelation = -17;
inline constexpr int32_t kNoRecord = -11;
inline constexpr int32_t kEmptyOrder = -201;
inline constexpr int32_t kUnknownField = -7;

// Access modes.
inline constexpr uint8_t kAccessRecords = ZetTable::kOrderRecords;
inline constexpr uint8_t kAccessMarks = ZetTable::kOrderMarks;
inline constexpr uint8_t kAccessIndex = ZetTable::kOrderIndex;

struct TCursorFormula {
  uint16_t field = 0;
  ShortStr text;
};

struct TCursor {
  uint8_t relation = 0;
  uint64_t tableSerial = 0;
  uint16_t recordLength = 0;
  uint16_t fieldCount = 0;
  uint32_t recno = 0;
  uint32_t savedRecno = 0;
  uint8_t accessMode = kAccessRecords;
  uint8_t indexSlot = 0;
  std::vector<uint8_t> record;
  std::vector<uint8_t> savedRecord;
  uint64_t relationSet = 0;
  uint64_t formulaSet = 0;
  uint64_t linkedSet = 0;
  uint64_t embeddedSet = 0;
  uint64_t savedRelationSet = 0;
  uint64_t savedFormulaSet = 0;
  std::array<uint8_t, ZetTable::kMaxKeySize> key{};
  std::vector<uint8_t> lowKey;   // empty: no lower range
  std::vector<uint8_t> highKey;  // empty: no upper range
  MarkLists::TMarkList accessMarks;
  MarkLists::TMarkList userMarks;
  bool changed = false;
  bool positionLost = false;
  uint16_t editDepth = 0;
  uint16_t appendDepth = 0;
  // Made by ZetTableCreateRelTable: the entries of one identifier of the
  // owning table; appends take appendMaster's current identifier.
  bool relationTableCursor = false;
  // Cursor whose current record new records are linked to (0 none), and the
  // cursor this one was made from (0 none). Handles, checked when used.
  uint8_t appendMaster = 0;
  uint8_t masterCursor = 0;
  std::vector<TCursorFormula> formulas;
  std::vector<uint8_t> fieldFlags;
  // The last search (zeteng_search.cpp): state 0 none, 1 find (in index
  // findIndex), 2 search by the compiled condition over searchSet.
  uint8_t searchState = 0;
  uint8_t findIndex = 0;
  ShortStr searchCode;
  uint64_t searchSet = 0;
};

// ---- Login state ----------------------------------------------------------
uint32_t RegisteredClient();
void SetRegisteredClient(uint32_t id);
// The project directory the host set (at most 255 characters).
const ShortStr& ProjectDirectory();
void SetProjectDirectory(std::string_view directory);

// ---- Handles ---------------------------------------------------------------
// The cursor of a handle, nullptr when the handle is not a cursor in use.
TCursor* Cursor(int32_t handle);
int32_t HandleOf(const TCursor& cursor);
bool ValidRelation(int32_t relation);
// The table a cursor stands on, nullptr when it was closed or replaced.
ZetTable::TZetTable* TableOf(const TCursor& cursor);
// A handle resolved where an export enters: the cursor and its table, or the
// answer for a bad handle (-101) or a cursor whose table is gone (-17).
struct TResolved {
  TCursor* cursor = nullptr;
  ZetTable::TZetTable* table = nullptr;
  int32_t error = 0;
};
TResolved Resolve(int32_t handle);
// A field of the cursor's table by name or user field number written as
// text; 0 when unknown.
uint16_t FieldOfText(const TCursor& c, std::string_view text);
// The open relation table of an R field of the table (its file name from the
// field's name), 0 when the field is none or its table is not open.
int RelationTableOfField(const ZetTable::TZetTable& t, uint16_t field);
// The slot of an index by name (without regard to case, cut at 44
// characters), from slot 0 for a table with an identifier index, else from
// slot 1; -1 when none.
int FindIndexSlot(const ZetTable::TZetTable& t, std::string_view name);
// The cursor slots, for walks over all cursors (nullptr: free).
TCursor* CursorInSlot(int slot);
int ActiveCursor();
// The host's cursor query for the language's context numbers (null: none).
void SetCursorQuery(ZetCursorQueryProc query);
// Installs the job runner's services for the language (job parameters and
// fonts, module compile and load); called at start.
void InstallJobServices();
// Brackets opened through the exports and not yet closed, innermost last.
// Their saves share the engine stack, so an end is taken only when it closes
// the innermost bracket (same kind, same cursor); any other end does nothing
// and the stack is never popped into another bracket's entries.
// A bracket keeps what its end needs to tell whether the tables are still
// the ones whose state it saved (their serials, or a record length).
enum class TBracket { State, Protected, ContinuousRead, Report };
void OpenBracket(TBracket kind, int cursor, std::vector<uint64_t> guard = {});
// True (and the bracket is closed, its guard handed out) when it is the
// innermost one.
bool CloseBracket(TBracket kind, int cursor, std::vector<uint64_t>* guard = nullptr);
// The serials of the open tables 1..count.
std::vector<uint64_t> OpenTableSerials();
// Takes n entries off the engine stack whatever their sizes (the saves of
// tables that are no longer there).
void DropStackEntries(size_t n);
void SetActiveCursor(int handle);

// Makes a cursor on a relation: its handle, -17 or -2.
int32_t CreateCursor(int relation);
void FreeCursor(int handle);

// ---- Cursor and table ------------------------------------------------------
void LoadCursorIntoTable(TCursor& c, ZetTable::TZetTable& t);
void SaveTableIntoCursor(TCursor& c, ZetTable::TZetTable& t);
void DiscardTablePosition(TCursor& c, ZetTable::TZetTable& t);
// Reads the cursor's current record (with its relation and formula sets)
// into its buffer and key: 0 read with every linked record, 1 read with
// some linked record missing, -1 not read.
int RereadCursorRecord(TCursor& c, ZetTable::TZetTable& t);
// Another cursor edits record recno of the table (the edit lock).
bool EditedByOther(const TCursor& c, uint32_t recno);

// ---- Texts -----------------------------------------------------------------
// A text in: NULL is empty, cut at max characters.
std::string_view TextIn(const char* text, size_t max = 255);
// A text out by the capacity rule of zetcore.h.
void TextOut(char* buffer, int32_t capacity, std::string_view text);

// ---- Stepping (navigation) -------------------------------------------------
// First or last record number of the cursor's order; end set when none.
uint32_t FirstOrLastRecordNo(TCursor& c, ZetTable::TZetTable& t, bool first, bool& end);
// The record after or before the cursor's; end set at the end.
uint32_t NextOrPriorRecordNo(TCursor& c, ZetTable::TZetTable& t, bool forward, bool& end);
// Rebuilds the cursor's key from its record buffer in index order.
void RebuildCursorKey(TCursor& c, ZetTable::TZetTable& t);
// Goes to the first record of the order (ZetTableFirst on a resolved cursor).
int32_t GoFirstOrLast(TCursor& c, ZetTable::TZetTable& t, bool first);

// The record of the first key not below the cursor's key in its index (the
// last key when none follows); the key found becomes the cursor's. 0 when
// the index is empty.
uint32_t SeekFromKey(TCursor& c, ZetTable::TZetTable& t);
// While set, a deletion runs over many records (see zeteng_links.cpp).
void SetBulkDelete(bool on);

// ---- Compiling -------------------------------------------------------------
// Makes a table current for the life of the object (0 leaves the current
// one), then makes the former current table current again when it is still
// open.
class TCurrentTable {
 public:
  explicit TCurrentTable(int slot);
  ~TCurrentTable();
  TCurrentTable(const TCurrentTable&) = delete;
  TCurrentTable& operator=(const TCurrentTable&) = delete;

 private:
  int former_;
};
// The answer of an export whose work raised an exception: minus 99 when
// memory ran out; else minus the error that stands, or minus 52 ("Unbekannter
// Fehler: %s" with what) when none does. what is kept as the compile error.
int32_t RaisedAnswer(std::string_view what, bool outOfMemory);
// RaisedAnswer for the exception being handled; only inside a handler. Every
// export that reaches code which may raise (the language's runs and parsers,
// key compares, allocation, readers of files) ends in a handler that answers
// this, so that no exception leaves the C interface.
int32_t RaisedNow() noexcept;
// Runs the work of an export under such a handler.
template <class Work>
int32_t Guarded(Work&& work) noexcept {
  try {
    return work();
  } catch (...) {
    return RaisedNow();
  }
}

// Empties both compile-error records, as every compiling export does first.
void ClearCompileErrors();
// Compiles a text (expression, condition or statement) against the current
// table: 0 with its code and the tables it reads, or the 1-based position
// of the error (recorded). A text longer than 255 characters is error 60 at
// 256: a cut text would be another one.
int32_t CompileText(std::string_view text, ShortStr& code, uint64_t& tables);

// Reports the progress of a walk or a run (done, total) to the host's
// procedure: (0, total) first, then every hundredth of the work, (total,
// total) at the end. A NULL procedure is never called.
class TProgress {
 public:
  TProgress(ZetProgressProc proc, uint32_t total)
      : proc_(proc), total_(int32_t(std::min<uint32_t>(total, INT32_MAX))), step_(std::max<int32_t>(total_ / 100, 1)) {
    if (proc_) proc_(0, total_);
  }
  // Counts one step; false when the procedure answered 1 (stop).
  bool Count() { return !(proc_ && ++done_ % step_ == 0 && proc_(done_, total_) == 1); }
  void Finish() {
    if (proc_) proc_(total_, total_);
  }

 private:
  ZetProgressProc proc_;
  int32_t total_;
  int32_t step_;
  int32_t done_ = 0;
};

// ---- Services for table storage -------------------------------------------
void NotifyCursors(int table, int changingCursor);
uint8_t AdjustCursorsAfterMove(int table, uint32_t deleted, uint32_t formerLast);

// ---- Copying records between tables (zeteng_create.cpp) -------------------
// A field of the source table whose values fill a field of the target.
struct TFieldPair {
  uint16_t from = 0;
  uint16_t to = 0;
};
// Moves the value of field pair.from of the source's record buffer into field
// pair.to of the target's: equal fields byte for byte, numbers as numbers,
// memos and blobs as new chains of the target's files, a text into a memo,
// anything else through its text form; relation fields are left alone.
// False when a memo or blob could not be written (the error recorded).
bool CopyFieldValue(ZetTable::TZetTable& source, ZetTable::TZetTable& target, const TFieldPair& pair);
// The last pass of a record's copy, after its identifier and formulas: a
// text paired with an L field (type 10) or an R field (type 12) is stored
// through the field store that resolves the names to linked records (found
// by key text, appended when missing), as the macro language stores one.
// Answers 0 or the store's error (recorded).
int StoreResolvedFields(ZetTable::TZetTable& source, int targetSlot, const std::vector<TFieldPair>& map);
// Whether fields paired by name carry a value from the type to the type:
// the same class (text, number, memo, blob, relation), a text onto a number,
// memo or relation, or a number onto a text.
bool PairableTypes(uint8_t fromType, uint8_t toType);

// Finishes the file swap of a restructure of this table that a process left
// half done (zeteng_create.cpp); nothing when none is pending.
void FinishInterruptedRestructure(std::string_view tablePath);

// The files of the set of an open table that exist, as (path, path under
// the new name) pairs in the table's directory, the table file last; the
// table itself is left as it was (zeteng_restructure.cpp).
std::vector<std::pair<std::string, std::string>> TableFileSet(ZetTable::TZetTable& t, std::string_view newName);

// Whether a copy through the map carries the identifiers over: the target
// is empty and its identifier field is filled from one of the source.
bool CarriesIdentifiers(const ZetTable::TZetTable& source, const ZetTable::TZetTable& target,
                        const std::vector<TFieldPair>& map);
// Appends every record of the source table (in record order) to the target
// table through the map: values by type class (text, numbers, memo and blob
// chains copied into the target's files), a new identifier unless they are
// carried over (then the counter goes on after the highest), the target's
// formulas for the fields the map does not fill, then the texts paired with
// L and R fields through StoreResolvedFields. Both tables are open in
// their slots; the target is flushed at the end. Answers 0 or the error
// (recorded); a progress procedure that answers 1 stops the copy with 114
// (the records appended so far stay).
int CopyRecords(int sourceSlot, int targetSlot, const std::vector<TFieldPair>& map, ZetProgressProc progress);

// The record copy of the language (SetRecord): the target's record buffer
// is cleared and filled from the source's current record, field by field of
// the same name (identifier fields included) through the value transfer of
// CopyRecords; the target's formulas are evaluated for the fields the
// source does not fill, and texts paired with L and R fields are resolved.
// Nothing is written to the target's file. 0 or the error (recorded)
// (zeteng_transfer.cpp).
int CopyRecordByNames(int slot, int targetSlot);

// Sorts a list of marks of the table in slot by a key description (the
// language's SortMark and ZetTableSortMarkedRecs; zeteng_search.cpp). The
// table's position is as it was afterwards. 0, or 98 for a bad description
// or 99 for too many marks, recorded.
int SortMarksByKey(int slot, std::string_view keyText, MarkLists::TMarkList& marks);

// Puts the cursor's position, record, order, marks and range into its table
// (ZetTableRestore), and that of every cursor made from it after it.
void RestoreCursor(TCursor& c, ZetTable::TZetTable& t);
void RestoreCursorWithLinked(TCursor& c, ZetTable::TZetTable& t);

// Opens the relation tables of the hidden relation fields of every open
// table that are not open yet, while the open-relation-tables switch is on:
// 0, -2 (62 tables) or -1 (zeteng_relations.cpp).
int OpenMissingRelationTables();

// Installs the blob file import for the macro language (zeteng_memos.cpp).
void InstallTransferServices();

void UnitInit();
void UnitDone();

}  // namespace ZETEng
