// Table and mark services of the system functions: the work behind the table
// functions of group 203 and the array, bit-array and relation functions of
// group 207, on open tables by table number and on variables by number.
//
// What holds for every service here:
//   1. A table number is good when it lies between 1 and the number of open
//      tables; the services that take one check it themselves (25 otherwise)
//      unless they say that their caller did.
//   2. A variable of the wrong kind is refused before anything else (44, or
//      -52 for the bit-array services, or 0 where noted), also without the
//      apply switch; without the apply switch nothing else happens.
//   3. Mark transfers run in time linear in the marks and elements they
//      touch: membership is asked of the mark list's own count table, never
//      by walking the list, and lists that lose many numbers are rebuilt in
//      one pass instead of losing them one at a time.
//   4. Relation marking has no fixed limit: it collects the linked records
//      and the old marks in buffers that grow as needed.
//   5. Answers are engine error numbers (0 good) unless said otherwise.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/storage/zet00_index.h"

namespace Zet02 {

// Errors of the services.
inline constexpr uint16_t kErrTableNumber = 25;
inline constexpr uint16_t kErrNoAccess = 36;     // "Zugriff nicht erlaubt"
inline constexpr uint16_t kErrVariableKind = 44;
inline constexpr uint16_t kErrRecordZero = 49;
inline constexpr uint16_t kErrIndexNumber = 58;
inline constexpr uint16_t kErrNoFieldNumber = 83;
inline constexpr uint16_t kErrNoIndex = 87;
inline constexpr uint16_t kErrInterrupted = 99;
inline constexpr uint16_t kErrNotOpenOnFile = 34;  // "Illegale Operation"
inline constexpr int32_t kNotBitArray = -52;
// Relation marking whose relation table has no usable index for the side of
// the source table; the run error carries kNoRelationIndexText.
inline constexpr uint16_t kErrNoRelationIndex = 34;
inline constexpr std::string_view kNoRelationIndexText = "Kein Relindex";

// The progress procedure the table functions hand to long operations (a
// routine that does nothing and answers 0 until one is installed).
Zet00::TProgressProc EngineProgress();
void SetEngineProgress(Zet00::TProgressProc progress);

bool TableNumberInRange(int table);

// --- Table services ----------------------------------------------------------

// The automatic-number counter of a table with an ID index: answers it, and
// with newValue not 0 stores newValue first. 0 without apply or ID index.
int32_t AutoNumberCounter(bool apply, int table, int32_t newValue);
// Writes the record buffer back over the current record when the rights
// byte allows writing (36 otherwise).
int WriteBackRecord(int table);
// Deletes every record and empties the memo and blob files; the counter of
// an ID table restarts at 1, the indexes are rebuilt empty, the cursors over
// the table are reset.
int EmptyTable(int table);
// A new empty table file with the table's structure, in file version 1 or 2
// (the table's own version for any other), with counter as its next
// automatic number and only the automatic indexes. A table that is not open
// on a file answers 34.
int CreateTableCopy(int table, std::string_view fileName, uint32_t counter, uint16_t version);
// Re-blocks the table's blob file with a new block size: every blob of the
// records moves into a new file, which takes the old one's place, and the
// records name the blobs' new first blocks.
int ReblockTableBlobs(int table, int32_t blockSize);
// Clears the table's key-range limits; in index order a non-empty low text
// then limits the walk to the keys from low to the last that begins with
// low, or up to high when high is not empty.
void SetKeyFilter(int table, std::string_view low, std::string_view high);
// Rebuilds index 1 or 2 of a table; any other index number answers 58.
int RebuildTableIndex(int table, int index, uint16_t weightField);
// Record by number (7 read, 8 write, 9 delete) under the rights byte; the
// record number, or 0 when the right is missing. Run errors go to error.
int32_t RecordByNumber(int function, int table, uint32_t recno, int32_t flag, int& error);
// Searches key in the index named indexName (or the current index) and
// makes the record found current; the record number, 0 for none (exact:
// also for a key that differs from the text). error 87 without an index.
uint32_t FindByKey(int table, std::string_view key, std::string_view indexName, bool exact, int& error);

// --- Marks and variables ------------------------------------------------------

// GetMarks: the table's marks into a REAL array, TBITS or MARKS variable.
int MarksToVariable(bool apply, int table, uint16_t variable);
// PutMarks: the records of a REAL array (up to its first 0), TBITS or MARKS
// variable marked.
int VariableToMarks(bool apply, int table, uint16_t variable);
// AndMarks: only the marks whose record numbers the REAL array holds stay.
int KeepMarksInArray(bool apply, int table, uint16_t variable);
// The marks whose record numbers the REAL array holds are removed.
int RemoveMarksInArray(bool apply, int table, uint16_t variable);
// NotMarks: the array's elements that are marked become -1, then the marks
// are the array's remaining records.
int InvertMarksWithArray(bool apply, int table, uint16_t variable);
// GetRec / PutRec: bytes between the record buffer and a REAL array; the
// byte count copied less the record length (0 or the negative shortfall).
int32_t RecordToVariable(bool apply, int table, uint16_t variable, bool toVariable, int& error);
// Bit arrays: 68 AND, 70 AND NOT, 71 OR of b into a; 76 sets bit n of a,
// 77 clears it, 78 nothing. Answers the set bits of a, -52 when a (or b
// where used) is no TBITS variable.
int32_t BitArrayOperation(bool apply, int function, uint16_t a, uint16_t b, int32_t n);
// Whether the rounded elements of a REAL array hold x before the first 0.
bool NumberInArray(double x, uint16_t variable);
// Sorts elements 0..n of a string array ascending (empty texts first).
int SortTextArray(bool apply, uint16_t variable, int32_t n);

// --- Relation marking -----------------------------------------------------

// From the current record of source through relation table relation: mode 0
// marks the linked records, 1 keeps only the marks that are linked, 2
// unmarks the linked records; a mask other than 0 takes only the relation
// records whose flag word shares a bit with it. Answers the number of marks
// added, or minus an engine error (minus kErrNoRelationIndex without an
// index for the source's side).
int32_t MarkRel(int source, int relation, int mode, uint16_t mask);
// The same walk, setting the bits of the linked records in a bit array.
int32_t MarkLinkedRecords(int source, int relation, uint16_t mask, uint8_t* bits, int32_t byteCount);

void TableServicesInit();

}  // namespace Zet02
