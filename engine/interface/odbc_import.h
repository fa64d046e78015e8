// Import of the result of an SQL statement from an ODBC data source into the
// current table, through the outside bridge libzetodbc.so (zetodbc.h).
//
// The engine knows the bridge only as a table of its fourteen functions. By
// default the table is filled from libzetodbc.so, looked for first beside the
// library that holds the engine and then by the loader's search path, once,
// when the first import runs; a test installs a table of its own.
//
// What always holds:
//   1. Once ZetOdbcOpen succeeded, ZetOdbcClose is called before the import
//      answers; once the cursor exists, ZetOdbcDeleteCursor is called before
//      ZetOdbcClose, whatever ended the run (a failed fetch or getter, a value
//      the field refuses, a failed append, a break, a selection that does not
//      compile). The table's position is restored on every path after the
//      cursor exists, and the break flag is left clear.
//   2. A value is read only from a row of the current block and a column the
//      result has; a mapped column beyond the result leaves the field empty,
//      as does a NULL (a getter's answer 1) and a date or time that is not a
//      valid calendar date or time of day.
//   3. A fetch that fails (an answer below 0) is an error of the run, never
//      its normal end: rows that the data source did not deliver are not
//      silently missing.
//   4. Records appended before an error stay; the last error then tells how
//      many ("Erfolgreich importiert: n, Feld: text").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/odbc/zetodbc.h"

namespace OdbcImport {

struct TBridge {
  int32_t (*open)(void);
  int32_t (*close)(void);
  int32_t (*createCursor)(const char*, const char*, const char*, const char*, int32_t, ZetOdbcCursor*);
  int32_t (*fetch)(ZetOdbcCursor*);
  int32_t (*getString)(ZetOdbcCursor*, int32_t, int32_t, char*, int32_t);
  int32_t (*getInt16)(ZetOdbcCursor*, int32_t, int32_t, int16_t*);
  int32_t (*getInt32)(ZetOdbcCursor*, int32_t, int32_t, int32_t*);
  int32_t (*getDouble)(ZetOdbcCursor*, int32_t, int32_t, double*);
  int32_t (*getDate)(ZetOdbcCursor*, int32_t, int32_t, ZetOdbcDate*);
  int32_t (*getTime)(ZetOdbcCursor*, int32_t, int32_t, ZetOdbcTime*);
  int32_t (*getTimeStamp)(ZetOdbcCursor*, int32_t, int32_t, ZetOdbcTimeStamp*);
  int32_t (*getMemoLen)(ZetOdbcCursor*, int32_t, int32_t);
  int32_t (*getMemo)(ZetOdbcCursor*, int32_t, int32_t, char*, int32_t);
  int32_t (*deleteCursor)(ZetOdbcCursor*);
};

// Fills bridge from the library at path; false when it cannot be loaded or
// lacks a function.
bool LoadBridge(const std::string& path, TBridge& bridge);
// The bridge in use (nullptr: load libzetodbc.so at the next import).
void SetBridge(const TBridge* bridge);

// Texts of the values: a date in the engine's date format (a date field
// takes the date itself), a time as "hh:mm:ss".
std::string DateText(uint16_t year, uint16_t month, uint16_t day);  // "" when not a date
std::string TimeText(uint16_t hour, uint16_t minute, uint16_t second);  // "" when not a time

// ZetRltnImportFromOdbc on the current table.
int32_t Import(std::string_view dataSource, std::string_view user, std::string_view password, std::string_view sql,
               std::string_view selection, const int16_t* map, int32_t (*progress)(int32_t, int32_t));

}  // namespace OdbcImport
