// The ODBC import: through a scripted bridge (the call order and release on
// every path the engine takes, value conversions, selection, progress, break)
// and through the real bridge over unixODBC and the SQLite ODBC driver (typed
// columns, dates, times, NULLs, umlauts, and release of every statement,
// connection and environment when any driver-manager call fails).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/odbc_import.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet01.h"
#include "engine/storage/zet06_create.h"

#ifdef ZET_HAVE_ODBC_BRIDGE
#include <sqlite3.h>

#include "platform/odbc/zetodbc_sqlapi.h"
#endif

namespace {

using zettable_test::FieldDef;

constexpr uint32_t kKey = 0x0DBC0DBC;

// The target table: user fields 1..9.
std::string CreateTarget(const std::string& path) {
  auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3},
                                        {"NAME", Common::kTypeString, 40},
                                        {"ANZAHL", Common::kTypeInteger, 1},
                                        {"BETRAG", Common::kTypeReal, 7},
                                        {"AKTIV", Common::kTypeBool, 0},
                                        {"DATUM", Common::kTypeDate, 3},
                                        {"ZEIT", Common::kTypeTime, 1},
                                        {"NOTIZ", Common::kTypeMemo, 3},
                                        {"INFO", Common::kTypeString, 40}});
  t->nextAutoNumber = 1;
  EXPECT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, kKey), 0);
  return path;
}

class OdbcImportTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    relation_ = ZetRltnOpen(CreateTarget(TempPath("ZIEL.DAT")).c_str(), "", kKey, interface_test::kAllRights);
    ASSERT_GT(relation_, 0);
    Zet01::SetCurrentTable(relation_);
  }
  void TearDown() override {
    OdbcImport::SetBridge(nullptr);
    zettest::EngineTest::TearDown();
  }
  // The records of the table: field name -> text, in record order.
  std::vector<std::map<std::string, std::string>> Records() {
    std::vector<std::map<std::string, std::string>> out;
    const int32_t c = ZetTableCreate(relation_);
    for (int32_t r = ZetTableFirst(c); r >= 0; r = ZetTableMoveBy(c, 1)) {
      std::map<std::string, std::string> rec;
      for (const char* f : {"NR", "NAME", "ANZAHL", "BETRAG", "AKTIV", "DATUM", "ZEIT", "INFO"})
        rec[f] = interface_test::Field(c, f);
      const int32_t length = ZetTableInitGetMemo(c, "NOTIZ");
      std::string memo(size_t(std::max(length, 0)), '\0');
      if (length > 0) memo.resize(size_t(ZetTableGetMemoBlock(memo.data(), length)));
      ZetTableDoneGetMemo();
      rec["NOTIZ"] = memo;
      out.push_back(rec);
    }
    ZetTableDelete(c);
    return out;
  }
  static std::string LastError(int32_t* code = nullptr) {
    char text[256];
    const int32_t e = ZetGetLastError(text, sizeof text - 1);
    if (code) *code = e;
    return text;
  }
  // map[k] = column for user field k + 1.
  static std::vector<int16_t> Map(std::initializer_list<std::pair<int, int>> fieldToColumn) {
    std::vector<int16_t> map(1000, 0);
    for (auto [field, column] : fieldToColumn) map[size_t(field - 1)] = int16_t(column);
    return map;
  }
  int32_t relation_ = 0;
};

// ---- A scripted bridge ------------------------------------------------------

struct Cell {
  bool null = false;
  std::string text;
  double number = 0;
  ZetOdbcTimeStamp stamp{};
};

struct Script {
  std::vector<ZetOdbcColumn> columns;
  std::vector<std::vector<Cell>> rows;
  int failOpen = 0, failCreate = 0;
  int failFetchAt = 0;         // the n-th fetch fails (1-based)
  int failGetAt = 0;           // the n-th getter call fails
  // What happened.
  std::vector<std::string> calls;
  int opened = 0, cursors = 0, fetches = 0, gets = 0;
  size_t next = 0;
  std::vector<size_t> block;
  std::string user, password;
} g_script;

ZetOdbcColumn Column(int16_t type) {
  ZetOdbcColumn c{};
  c.type = type;
  return c;
}

const Cell* At(ZetOdbcCursor* c, int32_t row, int32_t column) {
  EXPECT_EQ(c->state, &g_script);
  if (row < 0 || size_t(row) >= g_script.block.size() || column < 0 || column >= c->columnCount) {
    ADD_FAILURE() << "read outside the block: row " << row << " column " << column;
    return nullptr;
  }
  return &g_script.rows[g_script.block[size_t(row)]][size_t(column)];
}

int32_t Get(ZetOdbcCursor* c, int32_t row, int32_t column, const Cell*& cell) {
  ++g_script.gets;
  if (g_script.failGetAt == g_script.gets) return -1;
  cell = At(c, row, column);
  if (!cell) return -1;
  return cell->null ? 1 : 0;
}

const OdbcImport::TBridge kScripted{
    [] {
      g_script.calls.push_back("open");
      if (g_script.failOpen) return -1;
      ++g_script.opened;
      return 0;
    },
    [] {
      g_script.calls.push_back("close");
      --g_script.opened;
      return 0;
    },
    [](const char*, const char* user, const char* password, const char*, int32_t rows, ZetOdbcCursor* c) {
      g_script.calls.push_back("create");
      EXPECT_EQ(rows, 10);
      EXPECT_EQ(c->magic, 99u);
      EXPECT_EQ(c->rows, 99u);
      g_script.user = user;
      g_script.password = password;
      if (g_script.failCreate) return -1;
      ++g_script.cursors;
      c->columns = g_script.columns.data();
      c->columnCount = int32_t(g_script.columns.size());
      c->state = &g_script;
      return 0;
    },
    [](ZetOdbcCursor* c) {
      g_script.calls.push_back("fetch");
      ++g_script.fetches;
      g_script.block.clear();
      if (g_script.failFetchAt == g_script.fetches) return -1;
      while (g_script.block.size() < 10 && g_script.next < g_script.rows.size()) g_script.block.push_back(g_script.next++);
      c->rows = uint32_t(g_script.block.size());
      return int32_t(g_script.block.size());
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, char* buffer, int32_t capacity) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      if (rc >= 0) {
        EXPECT_EQ(capacity, 256);
        std::snprintf(buffer, size_t(capacity), "%s", cell->text.c_str());
      }
      return rc;
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, int16_t* v) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      if (rc >= 0) *v = int16_t(cell->number);
      return rc;
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, int32_t* v) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      if (rc >= 0) *v = int32_t(cell->number);
      return rc;
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, double* v) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      if (rc >= 0) *v = cell->number;
      return rc;
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, ZetOdbcDate* v) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      if (rc >= 0) *v = {cell->stamp.year, cell->stamp.month, cell->stamp.day};
      return rc;
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, ZetOdbcTime* v) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      if (rc >= 0) *v = {cell->stamp.hour, cell->stamp.minute, cell->stamp.second, 0};
      return rc;
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, ZetOdbcTimeStamp* v) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      if (rc >= 0) *v = cell->stamp;
      return rc;
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column) {
      const Cell* cell = nullptr;
      const int32_t rc = Get(c, row, column, cell);
      return rc < 0 ? rc : int32_t(cell->text.size());
    },
    [](ZetOdbcCursor* c, int32_t row, int32_t column, char* buffer, int32_t capacity) {
      const Cell* cell = At(c, row, column);
      if (!cell) return -1;
      EXPECT_EQ(size_t(capacity), cell->text.size() + 1);
      std::memcpy(buffer, cell->text.c_str(), cell->text.size() + 1);
      return 0;
    },
    [](ZetOdbcCursor* c) {
      g_script.calls.push_back("delete");
      EXPECT_EQ(c->state, &g_script);
      --g_script.cursors;
      return 0;
    },
};

class ScriptedImport : public OdbcImportTest {
 protected:
  void SetUp() override {
    OdbcImportTest::SetUp();
    g_script = Script{};
    // Columns: 1 text, 2 int16, 3 real, 4 yes/no, 5 date, 6 time, 7 timestamp,
    // 8 memo, 9 an unknown type.
    for (int16_t type : {1, 2, 3, 5, 6, 13, 1012, 7, 99}) g_script.columns.push_back(Column(type));
    OdbcImport::SetBridge(&kScripted);
  }
  static std::vector<Cell> Row(const std::string& name, double n) {
    std::vector<Cell> row(9);
    row[0].text = name;
    row[1].number = n;
    row[2].number = n / 4;
    row[3].number = int(n) % 2;
    row[4].stamp = {2024, 2, 29, 0, 0, 0, 0};
    row[5].stamp = {0, 0, 0, 7, 5, 9, 0};
    row[6].stamp = {1999, 12, 31, 23, 59, 58, 0};
    row[7].text = "Zeile 1\r\nZeile 2 " + std::string(200, 'm');
    return row;
  }
  void AddRows(int n) {
    for (int i = 1; i <= n; ++i) g_script.rows.push_back(Row("N" + std::to_string(i), i));
  }
  int32_t Import(const std::vector<int16_t>& map, const char* selection = "", ZetProgressProc progress = nullptr) {
    return ZetRltnImportFromOdbc(0, "DSN=x", "benutzer", "geheim", "SELECT 1", selection, map.data(), 0, progress);
  }
  // After any run: every cursor deleted before the bridge is closed, and the
  // bridge closed as often as it was opened.
  void ExpectReleased() {
    EXPECT_EQ(g_script.cursors, 0);
    EXPECT_EQ(g_script.opened, 0);
    const auto& calls = g_script.calls;
    const auto create = std::find(calls.begin(), calls.end(), "create");
    if (create != calls.end() && !g_script.failCreate) {
      ASSERT_GE(calls.size(), 2u);
      EXPECT_EQ(calls[calls.size() - 2], "delete");
    }
    if (!g_script.failOpen) {
      EXPECT_EQ(calls.back(), "close");
    }
  }
};

TEST_F(ScriptedImport, TypedColumnsBecomeFieldValues) {
  AddRows(2);
  g_script.rows[1][0].null = true;  // a NULL text and a NULL number leave their fields empty
  g_script.rows[1][1].null = true;
  // The timestamp column fills DATUM and the time field right after it.
  ASSERT_EQ(Import(Map({{2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 7}, {8, 8}, {9, 4}})), 0);
  ExpectReleased();
  EXPECT_EQ(g_script.user, "benutzer");
  EXPECT_EQ(g_script.password, "geheim");
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].at("NR"), "1");
  EXPECT_EQ(recs[1].at("NR"), "2");
  EXPECT_EQ(recs[0].at("NAME"), "N1");
  EXPECT_EQ(recs[0].at("ANZAHL"), "1");
  EXPECT_EQ(recs[0].at("AKTIV"), "Ja");
  EXPECT_EQ(recs[1].at("AKTIV"), "Nein");
  EXPECT_EQ(recs[0].at("INFO"), "JA");  // yes/no into a text field
  EXPECT_EQ(recs[1].at("INFO"), "NEIN");
  EXPECT_EQ(recs[0].at("DATUM"), "31.12.1999");
  EXPECT_EQ(recs[0].at("ZEIT"), "23:59");
  EXPECT_EQ(recs[0].at("NOTIZ"), g_script.rows[0][7].text);
  EXPECT_EQ(recs[1].at("NAME"), "");
  EXPECT_EQ(recs[1].at("ANZAHL"), "0");
  EXPECT_NE(recs[0].at("BETRAG").find("25"), std::string::npos) << recs[0].at("BETRAG");
}

TEST_F(ScriptedImport, DatesTimesAndMissingColumns) {
  AddRows(3);
  g_script.rows[1][4].stamp = {2023, 2, 29, 0, 0, 0, 0};  // not a date
  g_script.rows[1][5].stamp = {0, 0, 0, 24, 0, 0, 0};     // not a time of day
  g_script.rows[2][4].null = true;
  // Column 12 is not in the result, column 9 has a type without a value; an
  // empty time field shows the cleared value.
  ASSERT_EQ(Import(Map({{3, 12}, {2, 9}, {6, 5}, {7, 6}, {9, 6}})), 0);
  ExpectReleased();
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].at("DATUM"), "29.02.2024");
  EXPECT_EQ(recs[0].at("ZEIT"), "07:05");
  EXPECT_EQ(recs[0].at("INFO"), "07:05:09");
  EXPECT_EQ(recs[1].at("DATUM"), "");
  EXPECT_EQ(recs[1].at("ZEIT"), "00:00");
  EXPECT_EQ(recs[1].at("INFO"), "");
  EXPECT_EQ(recs[2].at("DATUM"), "");
  for (const auto& r : recs) EXPECT_EQ(r.at("NAME") + r.at("ANZAHL"), "0");
}

TEST_F(ScriptedImport, DateAndTimeTextsIntoTextFields) {
  AddRows(1);
  ASSERT_EQ(Import(Map({{2, 5}, {9, 6}})), 0);
  auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].at("NAME"), "29.02.2024");
  EXPECT_EQ(recs[0].at("INFO"), "07:05:09");
  EXPECT_EQ(OdbcImport::DateText(2024, 2, 29), "29.02.2024");
  EXPECT_EQ(OdbcImport::DateText(1900, 2, 29), "");
  EXPECT_EQ(OdbcImport::DateText(2000, 2, 29), "29.02.2000");
  EXPECT_EQ(OdbcImport::DateText(2024, 4, 31), "");
  EXPECT_EQ(OdbcImport::DateText(0, 1, 1), "");
  EXPECT_EQ(OdbcImport::TimeText(23, 59, 59), "23:59:59");
  EXPECT_EQ(OdbcImport::TimeText(23, 60, 0), "");
}

// A date written as text (into a text or memo field) follows the engine's
// date format; a date field takes the date itself under every format, also
// where the text has two digits of year and would read back as 1945.
TEST_F(ScriptedImport, DateTextsFollowTheDateFormat) {
  struct Case {
    int format;
    const char* date;
    const char* stamp;
  };
  const Case cases[] = {{DATUM::kDateDayMonthYear4, "01.06.2045", "07.03.1850 10:20:30"},
                        {DATUM::kDateDayMonthYear2, "01.06.45", "07.03.50 10:20:30"},
                        {DATUM::kDateMonthDayYear, "06/01/45", "03/07/50 10:20:30"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.format);
    SetUp();
    AddRows(1);
    g_script.rows[0][4].stamp = {2045, 6, 1, 0, 0, 0, 0};
    g_script.rows[0][6].stamp = {1850, 3, 7, 10, 20, 30, 0};
    DATUM::SetDateTimeFormat(k.format, DATUM::kTimeHoursMinutes);
    EXPECT_EQ(OdbcImport::DateText(2045, 6, 1), k.date);
    const int32_t result = Import(Map({{2, 5}, {6, 5}, {8, 7}}));
    DATUM::SetDateTimeFormat(DATUM::kDateDayMonthYear4, DATUM::kTimeHoursMinutes);
    ASSERT_EQ(result, 0);
    const auto recs = Records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].at("NAME"), k.date);
    EXPECT_EQ(recs[0].at("NOTIZ"), k.stamp);
    EXPECT_EQ(recs[0].at("DATUM"), "01.06.2045");
  }
}

TEST_F(ScriptedImport, NoRowsAppendsNothing) {
  ASSERT_EQ(Import(Map({{2, 1}})), 0);
  ExpectReleased();
  EXPECT_TRUE(Records().empty());
}

TEST_F(ScriptedImport, SelectionAndProgress) {
  AddRows(25);
  static std::vector<std::pair<int32_t, int32_t>> seen;
  seen.clear();
  ASSERT_EQ(Import(Map({{2, 1}, {3, 2}}), "ANZAHL > 20", [](int32_t done, int32_t total) {
              seen.emplace_back(done, total);
              return 1;  // the answer is not used
            }),
            0);
  ExpectReleased();
  EXPECT_EQ(Records().size(), 5u);
  ASSERT_EQ(seen.size(), 27u);
  EXPECT_EQ(seen.front(), std::make_pair(0, 100));
  EXPECT_EQ(seen[1], std::make_pair(5, 100));
  EXPECT_EQ(seen[20], std::make_pair(100, 100));
  EXPECT_EQ(seen[21], std::make_pair(0, 100));  // from 100 the figure starts again
  EXPECT_EQ(seen.back(), std::make_pair(100, 100));
}

// Every way the run can end after the cursor was made releases the cursor
// and then the bridge; records appended before an error stay.
TEST_F(ScriptedImport, EveryEndReleasesCursorAndBridge) {
  struct Case {
    const char* name;
    int failOpen, failCreate, failFetchAt, failGetAt;
    const char* badValueInRow;  // the 13th row's ANZAHL column as text into ANZAHL
    const char* selection;
    int32_t result;
    size_t kept;
    int32_t error;
    const char* text;
  };
  const Case cases[] = {
      {"bridge does not start", 1, 0, 0, 0, nullptr, "", -39, 0, -120, nullptr},
      {"statement does not run", 0, 1, 0, 0, nullptr, "", -100, 0, -121, nullptr},
      {"fetch fails half-way", 0, 0, 2, 0, nullptr, "", -203, 10, -121, "Erfolgreich importiert: 10, Feld: "},
      {"getter fails", 0, 0, 0, 27, nullptr, "", -203, 13, -121, "Erfolgreich importiert: 13, Feld: "},
      {"value refused", 0, 0, 0, 0, "x12", "", -203, 12, -8, "Erfolgreich importiert: 12, Feld: x12"},
      {"selection does not compile", 0, 0, 0, 0, nullptr, "ANZAHL >", -203, 0, 0, nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    SetUp();
    AddRows(25);
    g_script.failOpen = k.failOpen;
    g_script.failCreate = k.failCreate;
    g_script.failFetchAt = k.failFetchAt;
    g_script.failGetAt = k.failGetAt;
    for (size_t i = 0; i < g_script.rows.size(); ++i) g_script.rows[i][0].text = std::to_string(i + 1);
    if (k.badValueInRow) g_script.rows[12][0].text = k.badValueInRow;
    // Two getters a row: the 27th is the first of row 14.
    const int32_t result = Import(Map({{3, 1}, {2, 1}}), k.selection);
    EXPECT_EQ(result, k.result);
    ExpectReleased();
    if (k.failOpen) {
      EXPECT_EQ(g_script.calls, std::vector<std::string>{"open"});
    }
    if (k.failCreate) {
      EXPECT_EQ(g_script.calls, (std::vector<std::string>{"open", "create", "close"}));
    }
    int32_t error = 0;
    const std::string text = LastError(&error);
    if (k.error) {
      EXPECT_EQ(error, k.error);
    } else {
      EXPECT_LT(error, 0);
    }
    if (k.text) {
      EXPECT_EQ(text, k.text);
    }
    EXPECT_EQ(Records().size(), k.kept);
    TearDown();
  }
  SetUp();
}

TEST_F(ScriptedImport, BreakStopsTheRun) {
  AddRows(30);
  ASSERT_EQ(Import(Map({{2, 1}}), "", [](int32_t done, int32_t) {
              if (done == 35) Common::BreakRequested = true;
              return 0;
            }),
            -203);
  ExpectReleased();
  int32_t error = 0;
  LastError(&error);
  EXPECT_EQ(error, -114);
  EXPECT_FALSE(Common::BreakRequested);
  EXPECT_EQ(Records().size(), 7u);  // the block is finished, no further fetch
}

TEST_F(OdbcImportTest, WithoutABridgeOdbcCannotStart) {
  OdbcImport::TBridge none{};
  EXPECT_FALSE(OdbcImport::LoadBridge("/nonexistent/libzetodbc.so", none));
  OdbcImport::TBridge failing{};
  failing.open = [] { return -1; };
  OdbcImport::SetBridge(&failing);
  std::vector<int16_t> map(1000, 0);
  EXPECT_EQ(ZetRltnImportFromOdbc(0, "x", nullptr, nullptr, "SELECT 1", nullptr, map.data(), 0, nullptr), -39);
  char text[256];
  EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), -120);
  EXPECT_STREQ(text, "ODBC konnte nicht initialisiert werden");
}

#ifdef ZET_HAVE_ODBC_BRIDGE

// ---- The real bridge over unixODBC and the SQLite driver -------------------

// The SQLite ODBC driver's library, found where the system keeps drivers.
std::string SqliteDriver() {
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib/odbc",
                          "/usr/lib64/odbc", "/usr/local/lib/odbc", "/usr/lib64", "/usr/lib"}) {
    const std::string path = std::string(dir) + "/libsqlite3odbc.so";
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

// Counts what the bridge acquires and releases through the driver manager,
// and fails the n-th acquiring or working call.
struct Counter {
  int calls = 0;
  int failAt = 0;
  std::map<int, int> allocated, freed;
  int connected = 0, disconnected = 0;
  bool Fail() { return ++calls == failAt; }
} g_count;

const zetodbc::SqlApi kCounting{
    [](SQLSMALLINT type, SQLHANDLE in, SQLHANDLE* out) -> SQLRETURN {
      if (g_count.Fail()) return SQL_ERROR;
      const SQLRETURN rc = zetodbc::DriverManagerApi().allocHandle(type, in, out);
      if (SQL_SUCCEEDED(rc)) ++g_count.allocated[type];
      return rc;
    },
    [](SQLSMALLINT type, SQLHANDLE h) -> SQLRETURN {
      ++g_count.freed[type];
      return zetodbc::DriverManagerApi().freeHandle(type, h);
    },
    [](SQLHENV env, SQLINTEGER a, SQLPOINTER v, SQLINTEGER l) -> SQLRETURN {
      return g_count.Fail() ? SQL_ERROR : zetodbc::DriverManagerApi().setEnvAttr(env, a, v, l);
    },
    [](SQLHDBC dbc, SQLHWND w, SQLCHAR* in, SQLSMALLINT il, SQLCHAR* out, SQLSMALLINT om, SQLSMALLINT* ol,
       SQLUSMALLINT c) -> SQLRETURN {
      if (g_count.Fail()) return SQL_ERROR;
      const SQLRETURN rc = zetodbc::DriverManagerApi().driverConnect(dbc, w, in, il, out, om, ol, c);
      if (SQL_SUCCEEDED(rc)) ++g_count.connected;
      return rc;
    },
    [](SQLHDBC dbc, SQLCHAR* d, SQLSMALLINT dl, SQLCHAR* u, SQLSMALLINT ul, SQLCHAR* p,
       SQLSMALLINT pl) -> SQLRETURN {
      if (g_count.Fail()) return SQL_ERROR;
      const SQLRETURN rc = zetodbc::DriverManagerApi().connect(dbc, d, dl, u, ul, p, pl);
      if (SQL_SUCCEEDED(rc)) ++g_count.connected;
      return rc;
    },
    [](SQLHDBC dbc) -> SQLRETURN {
      ++g_count.disconnected;
      return zetodbc::DriverManagerApi().disconnect(dbc);
    },
    [](SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) -> SQLRETURN {
      return g_count.Fail() ? SQL_ERROR : zetodbc::DriverManagerApi().execDirect(s, t, l);
    },
    [](SQLHSTMT s, SQLSMALLINT* n) -> SQLRETURN {
      return g_count.Fail() ? SQL_ERROR : zetodbc::DriverManagerApi().numResultCols(s, n);
    },
    [](SQLHSTMT s, SQLUSMALLINT c, SQLCHAR* n, SQLSMALLINT nm, SQLSMALLINT* nl, SQLSMALLINT* t, SQLULEN* z,
       SQLSMALLINT* d, SQLSMALLINT* nu) -> SQLRETURN {
      return g_count.Fail() ? SQL_ERROR : zetodbc::DriverManagerApi().describeCol(s, c, n, nm, nl, t, z, d, nu);
    },
    [](SQLHSTMT s) -> SQLRETURN { return g_count.Fail() ? SQL_ERROR : zetodbc::DriverManagerApi().fetch(s); },
    [](SQLHSTMT s, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER p, SQLLEN l, SQLLEN* i) -> SQLRETURN {
      return g_count.Fail() ? SQL_ERROR : zetodbc::DriverManagerApi().getData(s, c, t, p, l, i);
    },
    [](SQLSMALLINT t, SQLHANDLE h, SQLSMALLINT r, SQLCHAR* st, SQLINTEGER* n, SQLCHAR* m, SQLSMALLINT mm,
       SQLSMALLINT* ml) -> SQLRETURN { return zetodbc::DriverManagerApi().getDiagRec(t, h, r, st, n, m, mm, ml); },
};

const OdbcImport::TBridge kLinked{ZetOdbcOpen,          ZetOdbcClose,          ZetOdbcCreateCursor,
                                  ZetOdbcFetch,         ZetOdbcGetFieldString, ZetOdbcGetFieldInt16,
                                  ZetOdbcGetFieldInt32, ZetOdbcGetFieldDouble, ZetOdbcGetFieldDate,
                                  ZetOdbcGetFieldTime,  ZetOdbcGetFieldTimeStamp, ZetOdbcGetMemoLen,
                                  ZetOdbcGetFieldMemo,  ZetOdbcDeleteCursor};

class SqliteImport : public OdbcImportTest {
 protected:
  void SetUp() override {
    OdbcImportTest::SetUp();
    driver_ = SqliteDriver();
    if (driver_.empty()) GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
    database_ = TempPath("quelle.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database_.c_str(), &db), SQLITE_OK);
    const char* sql =
        "CREATE TABLE kunden (name VARCHAR(40), anzahl SMALLINT, betrag DOUBLE, aktiv BIT, datum DATE,"
        " zeit TIME, stempel TIMESTAMP, notiz TEXT, gross INTEGER);"
        "INSERT INTO kunden VALUES ('M\xC3\xBCller', 12, 2.5, 1, '2024-02-29', '07:05:09',"
        " '1999-12-31 23:59:58', 'Zeile 1' || char(13,10) || 'Zeile 2', 70000);"
        "INSERT INTO kunden VALUES (NULL, NULL, NULL, 0, NULL, NULL, NULL, NULL, NULL);"
        "INSERT INTO kunden VALUES ('Stra\xC3\x9F" "e', -3, -0.125, 0, '2023-02-30', '25:61:00',"
        " 'kein Datum', 'x', -5);";
    char* message = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_close(db);
    connection_ = "DRIVER=" + driver_ + ";Database=" + database_;
    OdbcImport::SetBridge(&kLinked);
  }
  void TearDown() override {
    zetodbc::SetSqlApi(nullptr);
    OdbcImportTest::TearDown();
  }
  int32_t Import(const std::vector<int16_t>& map, const std::string& sql = "SELECT * FROM kunden ORDER BY rowid") {
    return ZetRltnImportFromOdbc(0, connection_.c_str(), nullptr, nullptr, sql.c_str(), "", map.data(), 0,
                                 nullptr);
  }
  std::string driver_, database_, connection_;
};

TEST_F(SqliteImport, TypedColumnsDatesTimesAndNulls) {
  ASSERT_EQ(Import(Map({{2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}, {8, 8}, {9, 9}})), 0)
      << LastError();
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].at("NAME"), "M\xFCller");  // UTF-8 from the driver, Windows-1252 in the table
  EXPECT_EQ(recs[0].at("ANZAHL"), "12");
  EXPECT_EQ(recs[0].at("AKTIV"), "Ja");
  EXPECT_EQ(recs[0].at("DATUM"), "29.02.2024");
  EXPECT_EQ(recs[0].at("ZEIT"), "07:05");
  EXPECT_EQ(recs[0].at("NOTIZ"), "Zeile 1\r\nZeile 2");
  EXPECT_EQ(recs[0].at("INFO"), "70000");
  // NULLs leave the fields empty.
  EXPECT_EQ(recs[1].at("NAME"), "");
  EXPECT_EQ(recs[1].at("ANZAHL"), "0");
  EXPECT_EQ(recs[1].at("DATUM"), "");
  EXPECT_EQ(recs[1].at("ZEIT"), "00:00");  // the cleared value of a time field
  EXPECT_EQ(recs[1].at("NOTIZ"), "");
  EXPECT_EQ(recs[1].at("INFO"), "");
  // An invalid date and time of day leave their fields empty too.
  EXPECT_EQ(recs[2].at("NAME"), "Stra\xDF" "e");
  EXPECT_EQ(recs[2].at("ANZAHL"), "-3");
  EXPECT_EQ(recs[2].at("AKTIV"), "Nein");
  EXPECT_EQ(recs[2].at("DATUM"), "");
  EXPECT_EQ(recs[2].at("ZEIT"), "00:00");
  EXPECT_EQ(recs[2].at("INFO"), "-5");
  // Times as text: a valid one in full, an invalid one empty.
  TearDown();
  SetUp();
  ASSERT_EQ(Import(Map({{2, 6}})), 0) << LastError();
  const auto times = Records();
  ASSERT_EQ(times.size(), 3u);
  EXPECT_EQ(times[0].at("NAME"), "07:05:09");
  EXPECT_EQ(times[1].at("NAME"), "");
  EXPECT_EQ(times[2].at("NAME"), "");
}

TEST_F(SqliteImport, TimestampFillsDateAndTimeFields) {
  ASSERT_EQ(Import(Map({{6, 7}, {2, 7}})), 0) << LastError();
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].at("DATUM"), "31.12.1999");
  EXPECT_EQ(recs[0].at("ZEIT"), "23:59");
  EXPECT_EQ(recs[0].at("NAME"), "");  // a text field ignores a timestamp
  EXPECT_EQ(recs[1].at("DATUM"), "");
}

TEST_F(SqliteImport, DateTextsFollowTheDateFormat) {
  DATUM::SetDateTimeFormat(DATUM::kDateMonthDayYear, DATUM::kTimeHoursMinutes);
  const int32_t result = Import(Map({{2, 5}, {6, 5}}));
  DATUM::SetDateTimeFormat(DATUM::kDateDayMonthYear4, DATUM::kTimeHoursMinutes);
  ASSERT_EQ(result, 0) << LastError();
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].at("NAME"), "02/29/24");
  EXPECT_EQ(recs[0].at("DATUM"), "29.02.2024");
}

TEST_F(SqliteImport, ErrorsAreAnswered) {
  EXPECT_EQ(Import(Map({{2, 1}}), "SELECT * FROM fehlt"), -100);
  char text[256];
  EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), -121);
  const std::string missing = "DRIVER=" + driver_ + ";Database=" + TempPath("kein/ordner/x.db");
  std::vector<int16_t> map = Map({{2, 1}});
  EXPECT_EQ(ZetRltnImportFromOdbc(0, "KEINE_QUELLE", "u", "p", "SELECT 1", "", map.data(), 0, nullptr), -100);
  EXPECT_EQ(ZetRltnImportFromOdbc(0, missing.c_str(), "", "", "SELECT 1", "", map.data(), 0, nullptr), -100);
  EXPECT_TRUE(Records().empty());
}

TEST_F(SqliteImport, TheSharedLibraryServesTheSame) {
  OdbcImport::TBridge loaded{};
  ASSERT_TRUE(OdbcImport::LoadBridge(ZETODBC_LIBRARY, loaded));
  OdbcImport::SetBridge(&loaded);
  ASSERT_EQ(Import(Map({{2, 1}})), 0) << LastError();
  EXPECT_EQ(Records().size(), 3u);
}

// Fails each acquiring or working call of the driver manager in turn, over a
// result that takes two blocks: whatever fails, every statement, connection
// and environment handle acquired is released and every connection closed,
// and the run answers an error.
TEST_F(SqliteImport, EveryFailingCallReleasesStatementAndConnection) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 12)"
                         " INSERT INTO kunden (name, anzahl) SELECT 'R' || i, i FROM n;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::vector<int16_t> map = Map({{2, 1}, {3, 2}, {6, 5}});
  zetodbc::SetSqlApi(&kCounting);
  g_count = Counter{};
  ASSERT_EQ(Import(map), 0) << LastError();
  const int total = g_count.calls;
  ASSERT_GT(total, 40);
  EXPECT_EQ(g_count.allocated, g_count.freed);
  EXPECT_EQ(g_count.connected, 1);
  EXPECT_EQ(g_count.disconnected, 1);
  for (int n = 1; n <= total; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    g_count = Counter{};
    g_count.failAt = n;
    const int32_t result = Import(map);
    EXPECT_TRUE(result == -39 || result == -100 || result == -203) << result;
    EXPECT_EQ(g_count.allocated, g_count.freed);
    EXPECT_EQ(g_count.connected, g_count.disconnected);
  }
  zetodbc::SetSqlApi(nullptr);
}

#endif

}  // namespace
