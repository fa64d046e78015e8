// Opening and closing tables, reading and writing records through the
// per-table record cache, the record count and flushing.
//
// A table lives in a slot (zettable.h). OpenTable fills a slot from a table
// file with every check of its header (zet01.h reads it), opens its memo,
// blob and index files and leaves the table in record order without a
// current record; CloseTable undoes that. An alias slot (aliasOf set) is a
// second view of a table open in an earlier slot: it has no table file of
// its own, every record access goes through the file of the table it
// aliases, and it shares that table's record cache.
//
// Record n (1-based) lies at header size + (n - 1) x record length and is
// record length bytes long, scrambled with the table key (0: stored plain).
// An append (record count + 1) goes through the table file's write-behind
// buffer (lowfiles.h, rules 6-8): appends in a row reach the file in blocks,
// and always before the count or anything else written to the file later.
//
// The record cache of a table is a fixed ring of min(32767 div record
// length, 2000) slots, each {record number (0 = empty), record bytes}:
//   1. A record number is in at most one slot; a lookup hit hands out the
//      bytes of the last successful read or write of that record.
//   2. Only reads that succeeded and writes that succeeded are stored; a
//      failed write drops the record from the cache.
//   3. A record not yet cached goes into the slot after the one filled last
//      (after the last slot: slot 1), whatever that slot held; a record
//      already cached is overwritten in its slot. There is no recency.
//   4. A cache belongs to the table object it was started for; a slot whose
//      table was replaced without CloseTable reads and writes the file
//      directly until its cache is started again.
//   5. A miss on the record after the last one fetched from the file (a
//      sequential read) fetches up to min(slots / 2, 16384 div record length)
//      records from it on, within the record count, in one read; each is
//      unscrambled on its own and stored by rule 3, except those the cache
//      holds already (a cached record is never older than the file's).
//   6. Beyond its fixed ring a cache may grow, from one budget all caches
//      share (SetRecordCacheBudget; 0 at the start, so none grows): when a
//      record not yet cached would go into slot 1 after the last slot, the
//      ring first doubles as far as the budget has room, and the record
//      takes the first new slot. A cache gives its grown slots back to
//      the budget when it ends; a smaller budget stops growth only. With room for
//      every record of a table, look-ups, updates and deletes read each
//      record from the file once.
// Every read and write of this unit goes through the cache, so a record once
// written is read back from it. Other processes' writes are not seen.
//
// Results: the record routines answer the low-level error word (0, 2 read
// error, 3 write error, 99 record number out of range) and leave reporting
// to their callers; every other routine answers 0 or an engine error number
// and reports it with the table's file name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/storage/zettable.h"

namespace Zet01 {

// Engine errors of opening.
inline constexpr uint16_t kErrAlreadyOpen = 35;     // "Tabelle bereits geöffnet"
inline constexpr uint16_t kErrFileNotFound = 37;    // "Datei nicht gefunden oder Zugriff verweigert"
inline constexpr uint16_t kErrWrongCode = 38;       // "Falscher Code"
inline constexpr uint16_t kErrIndexOpen = 90;       // "Fehler beim Schreiben des Index"
inline constexpr uint16_t kErrNoWriteRight = 115;   // "Kein Schreibrecht auf Datei"
// The record routines' word for a record number outside 1..count + 1.
inline constexpr int16_t kErrRecordRange = 99;

// Bytes of records one cache holds at most, and its most slots.
inline constexpr uint32_t kCacheBytes = 32767;
inline constexpr uint16_t kMaxCacheSlots = 2000;
// Highest choice number an A field may hold in a plausible record.
inline constexpr uint8_t kMaxChoiceValue = 15;

// Opens the table file fileName into slot (1..62; above: 94): expands the
// name, refuses a file already open in another slot under any spelling (35,
// unless SkipNameCheck), opens the file for reading and writing with others
// only reading when a rights bit (low four bits of openModeWord) is set, else
// for reading (115 / 37), reads and checks the header (117, 2; a record count
// the file cannot hold is cut to the records present and written back),
// compares the code (38), checks that record 1 unscrambles to a plausible
// record unless the table is a relation table (38), and then, unless
// HeaderOnly, opens memo (31), blob (111) and index files (90). On success
// the slot holds the table in record order, the open-table count is at least
// slot, and the answer is 0. On failure the slot is empty, every file opened
// is closed, and the error is reported with the expanded file name.
int OpenTable(int slot, uint16_t openModeWord, std::string_view fileName, uint8_t openFlag,
              uint32_t tableKey, std::string_view code);
// The slot whose table file is fileName (expanded) under any spelling, as
// OpenTable compares names; 0 when no open table holds that file.
int OpenSlotOfFile(std::string_view fileName);
// Closes the table of slot and empties the slot (the caller lowers the
// open-table count). A writable table first writes back what it keeps in
// memory, as FlushTable does: its record count (where the file's differs; 3
// on failure), then its index headers as its indexes close; after a failed
// count write the index headers are left as the file holds them. Temporary
// indexes (file name holding ".$$") are closed, deleted and taken out of the
// slots; the index directory is rewritten when one was dropped and the table
// is writable. An alias only lets go of its own buffers, indexes and share
// of the cache: the file it shares stays open, and its count and index
// headers are left to the table it aliases. In header-only mode only memory
// and the table file are released. Answers 0 or the first error met
// (reported).
int CloseTable(int slot);

// Reads record recno into the table's record buffer. Record 0, or any record
// while reading is disabled, gives a zero-filled buffer and 0. In index order
// a record read builds the current key for it, so that navigation can go on
// from there.
int ReadRecord(int slot, uint32_t recno);
// The same into a caller's buffer (record length bytes); with orderMode 2 the
// key of index indexSlot is built into keyBuffer (260 bytes).
int ReadRecordInto(int slot, uint32_t recno, uint8_t* buffer, uint8_t* keyBuffer, uint8_t indexSlot,
                   uint8_t orderMode);
// Reads the run of records first .. first + count - 1, cut at the record
// count and at one block read (64 KB), into records, straight from the table
// file: nothing read enters the record cache, so a walk that reads ahead
// leaves the cache to the records its caller keeps. A record the cache holds
// is taken from there (it is at least as new). got: the records read.
// Answers 0 or the read error; a table whose records live only in its
// index, or while reading is disabled, reads none.
int ReadRecordRun(int slot, uint32_t first, uint32_t count, uint8_t* records, uint32_t& got);
// Reads the current record again. A table whose records live only in its
// index (count unknown) takes the cached record, or rebuilds it from the
// current key and caches it; the answer is then 0.
int RereadCurrentRecord(int slot);
// Writes the record buffer as record recno, 1..count + 1 (count + 1 appends;
// the count itself is left to the caller), and caches it; any other number
// answers 99. Either way the table's named slots are cleared. A record that
// crosses a page boundary is written through the table's guard file
// (recordguard.h); the open of a table that may be written repairs what it
// names, closing removes it.
int WriteRecord(int slot, uint32_t recno);
// Writes the record buffer, the former record `from` (the last one), over
// record recno < from for a delete, as WriteRecord does, but always through
// the guard file while the file's count takes in `from`: an open after a
// stop before the smaller count is written finishes the delete, so the
// record is never there twice. RetireMoveGuard, once the smaller count is
// written, lets the guard go (recordguard.h, rule 4); it answers 0 or 3
// (reported).
int WriteMovedRecord(int slot, uint32_t recno, uint32_t from);
// Writes length bytes as stored at position of the table's file (a header
// field), through the guard file when they cross a page boundary, so that
// a stop in the write leaves them old or new. Answers the low-level error
// word.
int16_t WriteGuardedBytes(int slot, uint64_t position, const uint8_t* stored, uint16_t length);
int RetireMoveGuard(int slot);
// Writes the record buffer over record recno (1..count), whose contents are
// now oldRecord, as WriteRecord does, but only the bytes that differ in the
// file when they lie within one page of it: one write there lands whole or
// not at all, so the record is old or new after a crash without the guard
// file. Answers as WriteRecord (0 with nothing written when both agree). The
// keys are the caller's affair: for changes no index key reads.
int WriteRecordChange(int slot, uint32_t recno, const uint8_t* oldRecord);
// Writes count records (record length bytes each, plain) as the records
// first .. first + count - 1, first in 1..count + 1, with few block writes
// (each record scrambled on its own, as WriteRecord does), and caches them.
// Answers as WriteRecord; the count is left to the caller.
int WriteRecords(int slot, uint32_t first, const uint8_t* records, uint32_t count);
// Puts the record buffer into the cache as the current record.
void CacheCurrentRecord(int slot);
// Drops one record from the table's cache (a record a delete took away).
void ForgetCachedRecord(int slot, uint32_t recno);
// Empties every slot of the table's cache.
void ClearRecordCache(int slot);
// Starts the table's record cache (OpenTable does it). For an alias slot the
// cache of the aliased table is shared instead.
void StartRecordCache(int slot);
// Lets go of the slot's share of its cache.
void EndRecordCache(int slot);
// Slots of the table's fixed ring; 0 when it has none.
uint16_t RecordCacheSlots(int slot);
// Bytes of records the table's cache holds room for now (rule 6 included).
size_t RecordCacheBytes(int slot);
// The shared budget of rule 6 in bytes (0, the start: no ring grows), and
// the bytes the grown slots of all caches take now.
void SetRecordCacheBudget(size_t bytes);
size_t RecordCacheBudget();
size_t RecordCacheGrownBytes();

// The record count at its header position, plain: read into the table
// object (2 on failure), or written from it (3 on failure).
int ReadRecordCount(int slot);
int WriteRecordCount(int slot);

// Writes back what a writable table keeps in memory: the record count (when
// writeCount; only where the file's bytes differ; 3 on failure) and, unless
// that failed, the headers of the open indexes (which take the count from
// the file); then lets the file layer release queued handles. Does nothing
// while DeferredFlush is set.
int FlushTable(int slot, bool writeCount);
// When DeferredFlush is set: clears it and flushes every open table with its
// record count.
int FlushDeferredTables();

// 1 <= slot <= open-table count and the table has field n.
bool IsValidField(int slot, uint16_t n);

// A memo or blob chain that a record names: its first block and which file.
struct TChainRef {
  bool blob = false;
  uint32_t first = 0;
  auto operator<=>(const TChainRef&) const = default;
};
// The chains a record of t names; empty fields and memos still held in
// memory name none.
std::vector<TChainRef> ChainsNamed(const ZetTable::TZetTable& t, const uint8_t* record);
// Makes slot the current table; 0 leaves it unchanged.
void SetCurrentTable(int slot);

// Engine switches.
// While false, every record read yields a zero-filled record (starts true).
bool ReadingEnabled();
void SetReadingEnabled(bool on);
// While set, OpenTable does not compare the name with the open tables (the
// reopen of a rebuilt file while the old one is still open).
bool SkipNameCheck();
void SetSkipNameCheck(bool on);
// Nested: while entered, OpenTable reads only the header (and checks code
// and record 1) and CloseTable releases only memory and the table file.
void EnterHeaderOnly();
void LeaveHeaderOnly();
bool HeaderOnly();
// While set, FlushTable does nothing (no engine operation sets it; the job
// runner reads it).
bool DeferredFlush();
void SetDeferredFlush(bool on);

void UnitInit();
void UnitDone();

}  // namespace Zet01
