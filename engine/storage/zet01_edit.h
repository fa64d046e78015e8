// Record editing: appending, updating and deleting records of an open table
// with its indexes kept in step, automatic numbers, field values (link and
// relation fields included) and deleting a table with its side files.
//
// Records are dense: an append writes record count + 1, an update rewrites
// a record in place, and a delete moves the former last record into the
// deleted record's number. Every operation that changed the table may flush
// it (the record count and the index headers go to the files) and tells the
// engine interface through EngineHooks, so that the cursors follow.
//
// What always holds after an operation returns, whether it succeeded or not:
//   1. Every index holds exactly one key per record 1..count, built from the
//      record as the table file holds it; or the index is out of use and its
//      file header makes the next open rebuild it. A failed operation puts
//      the records back where it can and rebuilds the indexes it touched
//      from the records; a rebuild that fails too leaves its index out of
//      use that way.
//   2. The table file ends behind record count, and the memo and blob chains
//      of a deleted record are free (they are freed only once the record is
//      gone from every index).
//
// Crash safety. A process may die between any two writes; its page writes
// that were made stay. Before an operation first changes an index after
// the index's header was written (open, flush, rebuild), the header's record
// count in the file is set to Zet00::kUnsettledCount, which never equals a
// table's count, and the same count stands in memory, where the key
// operations move it by one per key. Flushing the table writes every changed
// page back and then the true count over it (a flush that fails marks them
// unsettled again). An index whose file still says unsettled when the table
// is opened is therefore rebuilt from the records, and an index whose header
// is settled holds every change made before that flush. A record whose
// append (or update) with flush has returned is in the file and counted. A
// delete moves the last record before it writes the smaller count: dying
// between the two leaves the moved record twice, never lost. A record
// written in place is old or new after a crash, never a mix of both, also
// when it crosses a page boundary of the file (recordguard.h).
//
// Aliases (linkfile.h). An edit through an alias is an edit of the table it
// aliases: the record goes to that table's file and record cache, the keys
// to its indexes (zet00_index.h, rule 4), freed chains to its memo and blob
// files, the new count to the table and all its aliases at once
// (ZetTable::ShareRecordCount), and a flush writes that table's count and
// index headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/base/common.h"
#include "engine/base/shortstr.h"

namespace Zet01 {

// Engine errors of editing.
inline constexpr uint16_t kErrIndexDelete = 5;   // "Fehler bei Indexlöschung"
inline constexpr uint16_t kErrDuplicateKey = 30; // "Doppelter Eintrag"

// The index slot whose unique key an append or update violated last.
uint16_t DuplicateIndex();
// 1 when the record that a delete made current is the one before the
// deleted record (nothing followed it) or the table became empty, else 0.
uint8_t AfterDeleteEnd();
// While off, append, update and delete do not call the table-changed hook
// (starts on).
bool NotifySwitch();
void SetNotifySwitch(bool on);

// The last memo or blob field whose value GetFieldValue read.
struct TBlockFieldRead {
  int slot = 0;
  uint16_t field = 0;
  uint32_t block = 0;
};
const TBlockFieldRead& LastBlockFieldRead();

// Computes the formula fields of a table's record buffer; answers 0 or an
// engine error (left reported). The formula unit installs it; until then no
// formula is computed.
using TFormulaProc = int (*)(int slot);
extern TFormulaProc FormulaHook;

// Appends the record buffer as record count + 1 (with flush the count is
// written to the file afterwards). Answers 0 (the
// record is current, and in index order its key the current key), 30 for a
// unique key that exists under any record number (nothing written), 3 when
// an index cannot be opened, the write error, or the index error (the
// record is taken back, no key stays behind).
int AppendRecord(int slot, bool flush, int cursor);
// Writes the record buffer over the current record, whose former contents
// are oldRecord. Answers 0 (written, or nothing to write when both agree:
// then no flush and no hook), 30 for a unique key that another record has, 3
// when the current record is 0 or beyond the count, an index cannot be
// opened or the write failed, or the index error (the record is put back).
// keysChanged tells whether any index key changed. With evaluateFormulas
// the formula hook computes the buffer first.
int UpdateRecord(int slot, const uint8_t* oldRecord, bool& keysChanged, int cursor, bool flush,
                 bool evaluateFormulas);
// Deletes the current record n: its keys go, the former last record moves
// into n, its memo and blob chains are freed (a chain that cannot be freed
// stays allocated and its error is the answer; the record is deleted all
// the same), the count drops and the file is cut behind the last record. With notify the record-moved hook is
// called and the table's marks follow (n unmarked, the former last renamed
// n). Then the record after n in the table's order is current, or the one
// before it when none follows (AfterDeleteEnd). Answers the error word of
// reading the new current record, or 2, 3, 4, 5 for a delete that failed
// (the record stays, the indexes agree with the records).
int DeleteRecord(int slot, bool flush, bool notify, int cursor);

// Gives the record buffer its automatic number: the counter in the table
// file's header, or the buffer's own number when that is not below it; the
// counter then stands one above the number given. Answers 0, or 2 / 3.
int AssignAutoNumber(int slot);
// The auto-number field's value in the record buffer (0 without one).
int32_t AutoNumberOf(int slot);
// Takes back the record buffer's automatic number when no later one was
// handed out (the header counter stands one above it): the counter goes down
// by one. Answers 0, or 2 / 3.
int GiveBackAutoNumber(int slot);

// Reads field n of the table: unless mode is 3, a field of the current
// table walked in index order whose value the current key holds comes from
// the key (answer 0); otherwise from the record buffer (answer 0 in mode 3,
// else -1). valueClass: 1 text, 3 number, 7 memo, 11 blob. Memo and blob
// fields are remembered as the last read (LastBlockFieldRead).
int GetFieldValue(int mode, int slot, uint16_t n, int& valueClass, Common::FieldValue& value);
// Mode of SetFieldValue whose value is a text to look up in a linked table.
inline constexpr int kValueIsText = 1;
// Stores a value into field n of the record buffer: an R field takes the
// text as relation entries, an L field given a text (kValueIsText) takes the
// auto number of the linked record that the text names. Answers 0 or the
// error of finding or appending the linked record (the field is then kept).
int SetFieldValue(int slot, uint16_t n, Common::FieldValue& value, int mode);
// L field n: the record of the linked table whose ID key the text is, made
// by appending it when there is none; value.number takes its auto number
// (0 for an empty text or a field without linked table). The linked
// table's position is kept. Answers 0 or the error.
int LinkFieldFromText(int slot, uint16_t n, Common::FieldValue& value);
// R field n: for each part of text between "/" (blanks trimmed, at most 60
// characters), the linked record as for an L field, and a relation entry
// {own auto number, linked auto number} unless the relation table's index 3
// holds the pair. Answers 0 or the first error.
int RelationEntriesFromText(int slot, uint16_t n, std::string_view text);

// Deletes a table file with its index, companion, memo and blob files, and
// with recurse the relation tables of its R fields whose numbers skip does
// not list (those without recursing further). The file's name is taken
// upper-cased, its directory as given. False when the file does not exist
// or cannot be opened (its error in code) or a relation table could not be
// deleted.
bool DeleteTableFiles(std::string_view fileName, std::string_view tableCode, uint32_t tableKey, int& code,
                      std::span<const uint16_t> skip, bool recurse);
// An R field of the table has this relation table (name with ".REL").
bool UsesRelationTable(int slot, std::string_view relationName);
bool SameBytes(const void* a, const void* b, size_t count);

}  // namespace Zet01

// The editing state of unit Zet01 (started after the rest of the unit).
namespace Zet01::Edit {
void UnitInit();
void UnitDone();
}  // namespace Zet01::Edit
