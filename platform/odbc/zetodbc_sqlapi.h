// The driver-manager calls of the ODBC bridge, as one table of functions.
// The bridge calls ODBC only through the table in use, so a test can put
// wrappers in between that count acquisitions and releases or fail a chosen
// call, while the real driver manager and driver still do the work.
//
// What holds: SetSqlApi(nullptr) restores the driver manager's own
// functions; the table is read at every call, never cached.
#pragma once

#include <sql.h>
#include <sqlext.h>

namespace zetodbc {

struct SqlApi {
  SQLRETURN (*allocHandle)(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
  SQLRETURN (*freeHandle)(SQLSMALLINT type, SQLHANDLE handle);
  SQLRETURN (*setEnvAttr)(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
  SQLRETURN (*driverConnect)(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                             SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion);
  SQLRETURN (*connect)(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user, SQLSMALLINT userLength,
                       SQLCHAR* password, SQLSMALLINT passwordLength);
  SQLRETURN (*disconnect)(SQLHDBC dbc);
  SQLRETURN (*execDirect)(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length);
  SQLRETURN (*numResultCols)(SQLHSTMT stmt, SQLSMALLINT* count);
  SQLRETURN (*describeCol)(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT nameMax,
                           SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                           SQLSMALLINT* nullable);
  SQLRETURN (*fetch)(SQLHSTMT stmt);
  SQLRETURN (*getData)(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER target,
                       SQLLEN targetLength, SQLLEN* indicator);
  SQLRETURN (*getDiagRec)(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state,
                          SQLINTEGER* nativeError, SQLCHAR* message, SQLSMALLINT messageMax,
                          SQLSMALLINT* messageLength);
};

// The driver manager's own functions.
const SqlApi& DriverManagerApi();
void SetSqlApi(const SqlApi* api);

}  // namespace zetodbc
