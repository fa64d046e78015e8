// The ODBC bridge over the driver manager (zetodbc.h, zetodbc_sqlapi.h).
//
// A cursor's state keeps its connection, its statement, the result's columns
// and the rows of the current block, each value read once at fetch time in
// the form its column's type code asks for. Release runs through one routine
// (Release) that every failure path and ZetOdbcDeleteCursor share.
#include "platform/odbc/zetodbc.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/odbc/zetodbc_sqlapi.h"

namespace zetodbc {

namespace {

const SqlApi kDriverManager{SQLAllocHandle, SQLFreeHandle, SQLSetEnvAttr, SQLDriverConnect, SQLConnect,
                            SQLDisconnect,  SQLExecDirect, SQLNumResultCols, SQLDescribeCol, SQLFetch,
                            SQLGetData,     SQLGetDiagRec};
const SqlApi* g_api = &kDriverManager;

const SqlApi& Api() { return *g_api; }

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

SQLHENV g_env = SQL_NULL_HENV;
int g_opens = 0;

// One value of the block, in the form of its column's type.
struct Cell {
  bool null = true;
  std::string text;  // text and memo, Windows-1252
  int64_t integer = 0;
  double real = 0;
  ZetOdbcTimeStamp stamp{};
};

struct State {
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  bool connected = false;
  int32_t blockRows = 10;
  std::vector<ZetOdbcColumn> columns;
  std::vector<std::vector<Cell>> rows;
};

void Release(State& s) {
  if (s.stmt != SQL_NULL_HSTMT) Api().freeHandle(SQL_HANDLE_STMT, s.stmt);
  s.stmt = SQL_NULL_HSTMT;
  if (s.connected) Api().disconnect(s.dbc);
  s.connected = false;
  if (s.dbc != SQL_NULL_HDBC) Api().freeHandle(SQL_HANDLE_DBC, s.dbc);
  s.dbc = SQL_NULL_HDBC;
}

int16_t TypeCode(SQLSMALLINT sqlType, SQLULEN size) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      return size > 255 || size == 0 ? ZETODBC_MEMO : ZETODBC_TEXT;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return ZETODBC_MEMO;
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return ZETODBC_INT16;
    case SQL_INTEGER:
      return ZETODBC_INT32;
    case SQL_BIGINT:
      return ZETODBC_LONGTEXT;  // decimal text keeps every digit
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ZETODBC_REAL;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return ZETODBC_DECIMAL;
    case SQL_BIT:
      return ZETODBC_YESNO;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return ZETODBC_DATE;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return ZETODBC_TIME;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return ZETODBC_TIMESTAMP;
    default:
      return 0;
  }
}

// A data exception (SQLSTATE class 22) of the statement's last call: the
// value cannot be had in the asked form.
bool DataException(SQLHSTMT stmt) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR message[8];
  SQLSMALLINT length = 0;
  SQLRETURN rc = Api().getDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message, &length);
  return (Ok(rc) || rc == SQL_SUCCESS_WITH_INFO) && state[0] == '2' && state[1] == '2';
}

// Reads a character value whole, in pieces.
bool ReadText(SQLHSTMT stmt, SQLUSMALLINT column, Cell& cell) {
  std::string utf8;
  char piece[4096];
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = Api().getData(stmt, column, SQL_C_CHAR, piece, sizeof piece, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) return false;
    if (indicator == SQL_NULL_DATA) {
      cell.null = true;
      return true;
    }
    const size_t got = (indicator == SQL_NO_TOTAL || indicator >= SQLLEN(sizeof piece))
                           ? sizeof piece - 1
                           : size_t(indicator);
    utf8.append(piece, got);
    if (rc == SQL_SUCCESS) break;
  }
  cell.null = false;
  cell.text = platform::Utf8ToCp1252(utf8);
  return true;
}

// Reads a fixed-size value; a value that cannot be had in that form counts
// as NULL.
bool ReadFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, void* target, SQLLEN size, Cell& cell) {
  SQLLEN indicator = 0;
  SQLRETURN rc = Api().getData(stmt, column, cType, target, size, &indicator);
  if (!Ok(rc)) {
    if (rc == SQL_ERROR && DataException(stmt)) {
      cell.null = true;
      return true;
    }
    return false;
  }
  cell.null = indicator == SQL_NULL_DATA;
  return true;
}

bool ReadCell(SQLHSTMT stmt, SQLUSMALLINT column, int16_t type, Cell& cell) {
  switch (type) {
    case ZETODBC_TEXT:
    case ZETODBC_LONGTEXT:
    case ZETODBC_MEMO:
    case ZETODBC_LONGMEMO:
      return ReadText(stmt, column, cell);
    case ZETODBC_INT16:
    case ZETODBC_INT32:
    case ZETODBC_YESNO: {
      SQLBIGINT v = 0;
      if (!ReadFixed(stmt, column, SQL_C_SBIGINT, &v, sizeof v, cell)) return false;
      cell.integer = cell.null ? 0 : v;
      return true;
    }
    case ZETODBC_REAL:
    case ZETODBC_DECIMAL:
    case 1003:
    case 1005:
    case 1007: {
      SQLDOUBLE v = 0;
      if (!ReadFixed(stmt, column, SQL_C_DOUBLE, &v, sizeof v, cell)) return false;
      cell.real = cell.null ? 0 : v;
      return true;
    }
    case ZETODBC_DATE: {
      SQL_DATE_STRUCT d{};
      if (!ReadFixed(stmt, column, SQL_C_TYPE_DATE, &d, sizeof d, cell)) return false;
      if (!cell.null) cell.stamp = {uint16_t(d.year), d.month, d.day, 0, 0, 0, 0};
      return true;
    }
    case ZETODBC_TIME: {
      SQL_TIME_STRUCT t{};
      if (!ReadFixed(stmt, column, SQL_C_TYPE_TIME, &t, sizeof t, cell)) return false;
      if (!cell.null) cell.stamp = {0, 0, 0, t.hour, t.minute, t.second, 0};
      return true;
    }
    case ZETODBC_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT t{};
      if (!ReadFixed(stmt, column, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, cell)) return false;
      if (!cell.null)
        cell.stamp = {uint16_t(t.year), t.month, t.day, t.hour, t.minute, t.second, uint16_t(t.fraction / 1000000)};
      return true;
    }
    default:
      cell.null = true;
      return true;
  }
}

State* StateOf(ZetOdbcCursor* cursor) { return cursor ? static_cast<State*>(cursor->state) : nullptr; }

// The cell at (row, column) of the block, null when outside it.
const Cell* CellAt(ZetOdbcCursor* cursor, int32_t row, int32_t column) {
  State* s = StateOf(cursor);
  if (!s || row < 0 || size_t(row) >= s->rows.size() || column < 0 || size_t(column) >= s->columns.size())
    return nullptr;
  return &s->rows[size_t(row)][size_t(column)];
}

void CopyText(const std::string& text, char* buffer, int32_t capacity) {
  if (!buffer || capacity < 1) return;
  const size_t n = std::min(text.size(), size_t(capacity - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
}

std::string ConnectionString(std::string_view dataSource, std::string_view user, std::string_view password) {
  std::string text(dataSource);
  if (!user.empty()) text += (text.empty() || text.back() == ';' ? "" : ";") + std::string("UID=") + std::string(user);
  if (!password.empty())
    text += (text.empty() || text.back() == ';' ? "" : ";") + std::string("PWD=") + std::string(password);
  return text;
}

}  // namespace

const SqlApi& DriverManagerApi() { return kDriverManager; }
void SetSqlApi(const SqlApi* api) { g_api = api ? api : &kDriverManager; }

}  // namespace zetodbc

using namespace zetodbc;

int32_t ZetOdbcOpen(void) {
  if (g_opens > 0) {
    ++g_opens;
    return 0;
  }
  SQLHENV env = SQL_NULL_HENV;
  if (!Ok(Api().allocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return -1;
  if (!Ok(Api().setEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    Api().freeHandle(SQL_HANDLE_ENV, env);
    return -1;
  }
  g_env = env;
  g_opens = 1;
  return 0;
}

int32_t ZetOdbcClose(void) {
  if (g_opens == 0) return 0;
  if (--g_opens == 0) {
    Api().freeHandle(SQL_HANDLE_ENV, g_env);
    g_env = SQL_NULL_HENV;
  }
  return 0;
}

int32_t ZetOdbcCreateCursor(const char* dataSource, const char* user, const char* password, const char* sql,
                            int32_t blockRows, ZetOdbcCursor* cursor) {
  if (!cursor || g_opens == 0) return -1;
  cursor->state = nullptr;
  cursor->columns = nullptr;
  cursor->columnCount = 0;
  auto s = std::make_unique<State>();
  s->blockRows = blockRows > 0 ? blockRows : 1;
  const std::string source = platform::Cp1252ToUtf8(dataSource ? dataSource : "");
  const std::string uid = platform::Cp1252ToUtf8(user ? user : "");
  const std::string pwd = platform::Cp1252ToUtf8(password ? password : "");
  std::string statement = platform::Cp1252ToUtf8(sql ? sql : "");

  bool ok = Ok(Api().allocHandle(SQL_HANDLE_DBC, g_env, &s->dbc));
  if (!ok) s->dbc = SQL_NULL_HDBC;
  if (ok) {
    SQLRETURN rc;
    if (source.find('=') != std::string::npos) {
      std::string text = ConnectionString(source, uid, pwd);
      rc = Api().driverConnect(s->dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                               nullptr, SQL_DRIVER_NOPROMPT);
    } else {
      std::string d = source, u = uid, p = pwd;
      rc = Api().connect(s->dbc, reinterpret_cast<SQLCHAR*>(d.data()), SQL_NTS, reinterpret_cast<SQLCHAR*>(u.data()),
                         SQL_NTS, reinterpret_cast<SQLCHAR*>(p.data()), SQL_NTS);
    }
    ok = s->connected = Ok(rc);
  }
  if (ok) {
    ok = Ok(Api().allocHandle(SQL_HANDLE_STMT, s->dbc, &s->stmt));
    if (!ok) s->stmt = SQL_NULL_HSTMT;
  }
  if (ok) ok = Ok(Api().execDirect(s->stmt, reinterpret_cast<SQLCHAR*>(statement.data()), SQL_NTS));
  SQLSMALLINT count = 0;
  if (ok) ok = Ok(Api().numResultCols(s->stmt, &count)) && count > 0;
  for (SQLSMALLINT c = 1; ok && c <= count; ++c) {
    ZetOdbcColumn column{};
    SQLCHAR name[129] = {};
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ok = Ok(Api().describeCol(s->stmt, SQLUSMALLINT(c), name, sizeof name, &nameLength, &type, &size, &digits,
                              &nullable));
    const std::string cp = platform::Utf8ToCp1252(reinterpret_cast<const char*>(name));
    CopyText(cp, column.name, sizeof column.name);
    column.type = TypeCode(type, size);
    s->columns.push_back(column);
  }
  if (!ok) {
    Release(*s);
    return -1;
  }
  cursor->columns = s->columns.data();
  cursor->columnCount = int32_t(s->columns.size());
  cursor->rows = 0;
  cursor->state = s.release();
  return 0;
}

int32_t ZetOdbcFetch(ZetOdbcCursor* cursor) {
  State* s = StateOf(cursor);
  if (!s || s->stmt == SQL_NULL_HSTMT) return -1;
  s->rows.clear();
  cursor->rows = 0;
  while (int32_t(s->rows.size()) < s->blockRows) {
    SQLRETURN rc = Api().fetch(s->stmt);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) {
      s->rows.clear();
      return -1;
    }
    std::vector<Cell> row(s->columns.size());
    for (size_t c = 0; c < row.size(); ++c) {
      if (!ReadCell(s->stmt, SQLUSMALLINT(c + 1), s->columns[c].type, row[c])) {
        s->rows.clear();
        return -1;
      }
    }
    s->rows.push_back(std::move(row));
  }
  cursor->rows = uint32_t(s->rows.size());
  return int32_t(s->rows.size());
}

int32_t ZetOdbcGetFieldString(ZetOdbcCursor* cursor, int32_t row, int32_t column, char* buffer, int32_t capacity) {
  const Cell* cell = CellAt(cursor, row, column);
  if (!cell) return -1;
  CopyText(cell->null ? std::string() : cell->text, buffer, capacity);
  return cell->null ? 1 : 0;
}

namespace {
// A fixed-size getter: the cell's value in the asked form, 1 for NULL.
template <typename T, typename Convert>
int32_t GetFixed(ZetOdbcCursor* cursor, int32_t row, int32_t column, T* value, Convert convert) {
  const Cell* cell = CellAt(cursor, row, column);
  if (!cell || !value) return -1;
  *value = convert(*cell);
  return cell->null ? 1 : 0;
}
}  // namespace

int32_t ZetOdbcGetFieldInt16(ZetOdbcCursor* cursor, int32_t row, int32_t column, int16_t* value) {
  return GetFixed(cursor, row, column, value, [](const Cell& c) { return int16_t(c.integer); });
}

int32_t ZetOdbcGetFieldInt32(ZetOdbcCursor* cursor, int32_t row, int32_t column, int32_t* value) {
  return GetFixed(cursor, row, column, value, [](const Cell& c) { return int32_t(c.integer); });
}

int32_t ZetOdbcGetFieldDouble(ZetOdbcCursor* cursor, int32_t row, int32_t column, double* value) {
  return GetFixed(cursor, row, column, value, [](const Cell& c) { return c.real; });
}

int32_t ZetOdbcGetFieldDate(ZetOdbcCursor* cursor, int32_t row, int32_t column, ZetOdbcDate* value) {
  return GetFixed(cursor, row, column, value,
                  [](const Cell& c) { return ZetOdbcDate{c.stamp.year, c.stamp.month, c.stamp.day}; });
}

int32_t ZetOdbcGetFieldTime(ZetOdbcCursor* cursor, int32_t row, int32_t column, ZetOdbcTime* value) {
  return GetFixed(cursor, row, column, value, [](const Cell& c) {
    return ZetOdbcTime{c.stamp.hour, c.stamp.minute, c.stamp.second, c.stamp.millisecond};
  });
}

int32_t ZetOdbcGetFieldTimeStamp(ZetOdbcCursor* cursor, int32_t row, int32_t column, ZetOdbcTimeStamp* value) {
  return GetFixed(cursor, row, column, value, [](const Cell& c) { return c.stamp; });
}

int32_t ZetOdbcGetMemoLen(ZetOdbcCursor* cursor, int32_t row, int32_t column) {
  const Cell* cell = CellAt(cursor, row, column);
  if (!cell) return -1;
  return cell->null ? 0 : int32_t(std::min<size_t>(cell->text.size(), INT32_MAX - 1));
}

int32_t ZetOdbcGetFieldMemo(ZetOdbcCursor* cursor, int32_t row, int32_t column, char* buffer, int32_t capacity) {
  return ZetOdbcGetFieldString(cursor, row, column, buffer, capacity);
}

int32_t ZetOdbcDeleteCursor(ZetOdbcCursor* cursor) {
  State* s = StateOf(cursor);
  if (!s) return 0;
  Release(*s);
  delete s;
  cursor->state = nullptr;
  cursor->columns = nullptr;
  cursor->columnCount = 0;
  cursor->rows = 0;
  return 0;
}
