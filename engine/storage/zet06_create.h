// Creating a table's files from a prepared table object, the relation tables
// of its relation fields, and closing tables from a handle upwards.
//
// A relation table (one per R field, file <field name>.REL next to the new
// table) is an ordinary table of the owner's header version with two link
// fields and 8-byte records:
//
//   | field | column | line | size code | byte 44 | type | name              |
//   |-------|--------|------|-----------|---------|------|-------------------|
//   | 1     | 1      | 1    | 3         | 1       | L    | owner's label     |
//   | 2     | 1      | 2    | 3         | 1       | L    | related label     |
//
// A field name is a label cut before its first character that no name
// holds, then "(", the table's name without directory and extension, and
// "): ", at most 40 characters. Its two link fields give it the automatic
// indexes .IN1 and .IN2. Relation tables get table key 0 and no code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/storage/zettable.h"

namespace Zet06 {

// Relation labels queued for the next creation.
inline constexpr size_t kMaxCreateQueue = 10;
// The label that names the owning table itself.
inline constexpr std::string_view kOwnTableLabel = "@";
inline constexpr std::string_view kLabelPrefix = "R-";
inline constexpr std::string_view kRelationExtension = ".REL";
// Record length of a relation table: two link fields.
inline constexpr uint16_t kRelationRecordLength = 8;

inline constexpr uint16_t kErrMemoFile = 31;        // "Memo-Datei nicht zu öffnen"
inline constexpr uint16_t kErrRelationExists = 72;  // "Relations-Tabelle existiert bereits"
inline constexpr uint16_t kErrBlobFile = 111;       // "Blob-Datei nicht zu öffnen"

// Writes the files of a new table described by table: the table file
// (header, no records), the index files of the automatic slots and of the
// user indexes the object carries (descriptors whose file names end in
// ".IND"; they follow the automatic slots), the memo and blob files, and
// with relations the relation table of every R field (labels from the
// queue). With a parent handle, relations that the parent has under the same
// name are skipped and field 1 of each relation table is named after the
// parent. code is stored as given (the caller scrambles it); tableKey
// scrambles records, memo and blob blocks. The object then describes the new
// table (its file is closed). Answers 0, or the first error reported with
// the file's name: 117 (the object does not describe a table), 67 (more
// indexes than slots; nothing is created), 26 (a path of the table's files
// would pass 255 characters; nothing is created), 3, 4, 31, 111 (the files
// made so far are erased again), 72 (a relation table exists; it is left
// alone, no further one is made, and the table stays).
int CreateTable(ZetTable::TZetTable& table, std::string_view fileName, std::string_view code,
                bool withRelations, int parentHandle, uint32_t tableKey);

// The relation-label queue: false when all 10 entries are taken.
bool AddToCreateQueue(uint16_t field, std::string_view label);
void ClearCreateQueue();

// The label of a table name: "R-" and the name without directory and
// extension (at most 40 characters) when its table file (".DAT") exists;
// otherwise the empty label with missing set. With flag, a table without an
// ".INR" file gets the empty label too. A name holding "=" is an internal
// error of the caller.
ShortStr AutoLabel(bool flag, std::string_view name, bool& missing);

// Closes every open table from handle to the open count, takes them out of
// the set of open tables and lowers the open count to handle - 1. Then the
// links follow: without a table left the current table becomes 0 and all
// links are dropped; otherwise a closed current table gives way to the
// highest remaining one and the link definitions of the closed tables are
// dropped.
void CloseTablesFrom(int handle);
// Every table of the set is open.
bool TablesInOpenSet(uint64_t set);

// Slots filled by units linked later.
// Closes one table (the record layer installs its close; until then the
// indexes and the table file are closed and the slot emptied).
using TCloseTableProc = void (*)(int handle);
extern TCloseTableProc CloseTableHook;
// Drops link definitions: all of them, or those of tables no longer open
// (the link tree installs it; until then nothing happens).
using TDropLinksProc = void (*)(bool all);
extern TDropLinksProc DropLinksHook;

void UnitInit();
void UnitDone();

}  // namespace Zet06
