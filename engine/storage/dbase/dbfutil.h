// Converting whole tables to dBase files and back.
//
// TableToDbf writes a table as a dBase III file (DBF, with a DBT for its
// memos); DbfToTable makes a new table from a DBF file of dBase III, dBase IV
// or FoxPro with its DBT or FPT (dbffile.h reads and writes those files).
//
//   table field -> DBF field               DBF field -> table field
//   | type        | DBF | length         | | DBF            | type | size | byte 44        |
//   |-------------|-----|----------------| |----------------|------|------|----------------|
//   | 0 C         | C   | 1              | | C, length 1    | 0 C  | 0    | 1              |
//   | 1 S         | C   | size code      | | C, length L    | 1 S  | L    | L, 64 from 65  |
//   | 2 I, 4 B    | N   | byte 44        | | D              | 6 D  | 3    | 10             |
//   | 3 F         | N   | high nibble,   | | N/F 1-4 digits | 2 I  | 1    | the length     |
//   |             |     | decimals: low  | | N/F other      | 3 F  | 7    | 16 x length +  |
//   | 5 J         | L   | 1              | |                |      |      | decimals (each |
//   | 6 D         | D   | 8              | |                |      |      | at most 15)    |
//   | 7 M         | M   | 10             | | L              | 5 J  | 0    | 4              |
//   | 8 A         | C   | longest choice | | M              | 7 M  | 1    | 4 (16-bit      |
//   | 9 N, 10 L   | N   | 10             | |                |      |      | memo links)    |
//   | 11 P        | C   | 9 (size code 3)|
//   |             |     | else size code |
//   | 13 Z        | C   | 5              |
//
// Values that do not fit their DBF field are written as asterisks; dates
// go out as yyyymmdd from the packed value, blanks for no date. DBF field
// names are the leading name characters of the field name with umlauts
// spelled out, upper case, at most 10 characters, made unique by a number
// at their end. Texts of a table file of version 1 go out in the OEM code
// page, as that file keeps them.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/storage/zet00_index.h"

namespace DbfUtil {

// Errors of the conversion besides those of dbffile.h.
inline constexpr uint16_t kErrCancelled = 114;  // "Operation abgebrochen"
// Longest record of a table (converted records longer than this are refused
// with 117).
inline constexpr uint16_t kMaxTableRecord = 10000;

using TProgressProc = Zet00::TProgressProc;

// Writes the table fileName (all fields when fieldCount is 0, else its first
// fieldCount fields; those without record bytes and internal fields are left
// out) as the dBase file dbfName with the extension ".DBF" (and ".DBT" beside
// it with a memo field). A table that is open already is read through its
// slot, another one is opened read-only for the time of the conversion.
// progress (may be null) gets (record, count) every count div 20 records
// and stops the conversion with 1. Answers 0, 3 (table not opened, files
// not created or not written), 2 (a record or memo not read), 114
// (stopped; the file holds the records written so far) or 117 (a record of
// more than 65535 bytes).
int TableToDbf(std::string_view fileName, std::string_view dbfName, TProgressProc progress, uint16_t fieldCount);

// What an import did besides copying records: records the file flags
// deleted are left out, and a memo of a binary kind (an FPT picture or
// object) has no text that a memo field could hold, so its field stays
// empty. Both are counted here for the caller to tell.
struct TDbfImportReport {
  uint32_t recordsCopied = 0;
  uint32_t deletedSkipped = 0;
  uint32_t memosNotText = 0;
};

// Creates the table tableName (table file version 2) from the dBase file
// dbfName with the extension ".DBF" and copies its live records. A table
// that is open in the engine is refused with 35 before anything is read or
// written. Texts of a file whose code-page byte names code page 437 or 850
// are converted to Windows-1252. A logical value of "?" or blank is no
// value: null where the field takes null, else no.
// Answers 0, the errors of TDbfReader::Open, 117 for more fields or a longer record than a
// table holds, the errors of creating, opening and appending to the table,
// or 114 when progress stopped it (the table keeps the records copied). A
// DBF field of another type than C, D, F, L, M or N is refused with 117
// before anything is created.
// option is the callers' option byte; no option is defined. report (may be
// null) receives the counts of the import, also when it stopped early.
int DbfToTable(std::string_view dbfName, std::string_view tableName, TProgressProc progress, uint8_t option,
               TDbfImportReport* report = nullptr);

}  // namespace DbfUtil
