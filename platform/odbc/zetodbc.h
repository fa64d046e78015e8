/* The ODBC bridge zetodbc: the fourteen functions through which the engine
 * imports the result of an SQL statement from an ODBC data source. The
 * library libzetodbc.so sits on the system's ODBC driver manager (unixODBC);
 * the engine opens it when an import runs, so the engine itself never
 * depends on ODBC.
 *
 * What always holds:
 *   1. Every function answers an int32_t; below 0 is a failure. A field getter
 *      answers 0 for a value and 1 for NULL (the value is then zero or the
 *      empty text).
 *   2. A cursor owns a connection and a statement from a successful
 *      ZetOdbcCreateCursor until ZetOdbcDeleteCursor, which releases both
 *      whatever happened in between (also after a failed fetch); a failed
 *      ZetOdbcCreateCursor has released what it acquired. ZetOdbcDeleteCursor
 *      of a cursor that owns nothing does nothing. ZetOdbcClose releases the
 *      environment that ZetOdbcOpen acquired.
 *   3. After ZetOdbcFetch, rows holds the rows of the current block (at most
 *      the block size given at creation); the getters read only a row of the
 *      block and a column of the result, anything else is a failure (-1).
 *   4. Texts cross the bridge in Windows-1252, the engine's code page; the
 *      bridge speaks UTF-8 to the driver manager. Characters that Windows-1252
 *      cannot hold arrive as "?".
 *   5. A text getter writes at most capacity - 1 characters and a zero.
 */
#ifndef ZETODBC_H
#define ZETODBC_H

#include <stdint.h>

#if defined(__GNUC__)
#define ZETODBC_EXPORT __attribute__((visibility("default")))
#else
#define ZETODBC_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Type codes of a result column. */
enum {
  ZETODBC_TEXT = 1,       /* also 1000 */
  ZETODBC_INT16 = 2,
  ZETODBC_REAL = 3,       /* also 1002, 1003, 1005, 1007 */
  ZETODBC_YESNO = 5,
  ZETODBC_DATE = 6,
  ZETODBC_MEMO = 7,       /* also 1001 */
  ZETODBC_TIME = 13,
  ZETODBC_LONGTEXT = 1000,
  ZETODBC_LONGMEMO = 1001,
  ZETODBC_DECIMAL = 1002,
  ZETODBC_INT32 = 1004,
  ZETODBC_TIMESTAMP = 1012
};

typedef struct ZetOdbcColumn {
  char name[129];
  int16_t type;
} ZetOdbcColumn;

/* The caller's record of a cursor: zero-filled, magic and rows set to 99
   before ZetOdbcCreateCursor. */
typedef struct ZetOdbcCursor {
  uint32_t magic;
  ZetOdbcColumn* columns;
  int32_t columnCount;
  uint32_t rows;
  void* state;
} ZetOdbcCursor;

typedef struct ZetOdbcDate {
  uint16_t year, month, day;
} ZetOdbcDate;
typedef struct ZetOdbcTime {
  uint16_t hour, minute, second, millisecond;
} ZetOdbcTime;
typedef struct ZetOdbcTimeStamp {
  uint16_t year, month, day, hour, minute, second, millisecond;
} ZetOdbcTimeStamp;

ZETODBC_EXPORT int32_t ZetOdbcOpen(void);
ZETODBC_EXPORT int32_t ZetOdbcClose(void);
/* dataSource is a data source name, or a connection string when it holds
   "="; user and password are added to it when they are not empty. */
ZETODBC_EXPORT int32_t ZetOdbcCreateCursor(const char* dataSource, const char* user, const char* password,
                                           const char* sql, int32_t blockRows, ZetOdbcCursor* cursor);
ZETODBC_EXPORT int32_t ZetOdbcFetch(ZetOdbcCursor* cursor);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldString(ZetOdbcCursor* cursor, int32_t row, int32_t column, char* buffer,
                                             int32_t capacity);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldInt16(ZetOdbcCursor* cursor, int32_t row, int32_t column, int16_t* value);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldInt32(ZetOdbcCursor* cursor, int32_t row, int32_t column, int32_t* value);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldDouble(ZetOdbcCursor* cursor, int32_t row, int32_t column, double* value);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldDate(ZetOdbcCursor* cursor, int32_t row, int32_t column, ZetOdbcDate* value);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldTime(ZetOdbcCursor* cursor, int32_t row, int32_t column, ZetOdbcTime* value);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldTimeStamp(ZetOdbcCursor* cursor, int32_t row, int32_t column,
                                                ZetOdbcTimeStamp* value);
/* The length of a memo text (0 for NULL). */
ZETODBC_EXPORT int32_t ZetOdbcGetMemoLen(ZetOdbcCursor* cursor, int32_t row, int32_t column);
ZETODBC_EXPORT int32_t ZetOdbcGetFieldMemo(ZetOdbcCursor* cursor, int32_t row, int32_t column, char* buffer,
                                           int32_t capacity);
ZETODBC_EXPORT int32_t ZetOdbcDeleteCursor(ZetOdbcCursor* cursor);

#ifdef __cplusplus
}
#endif

#endif /* ZETODBC_H */
