#include "engine/storage/dbase/dbfutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/base/ramfiles.h"
#include "engine/storage/dbase/dbffile.h"
#include "engine/storage/dbase/tests/dbf_test_util.h"
#include "engine/storage/tests/zet01_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace dbf_test;
using zettable_test::FieldDef;
using DbfUtil::TDbfField;
using ZetTable::TZetTable;

constexpr uint8_t kNullable = ZetTable::kTypeNullable;

class DbfUtilTest : public zettest::EngineTest {
 protected:
  int Open(const std::string& path, uint16_t rights = ZetTable::kRightsMask) {
    const int slot = ZetTable::OpenCount() + 1;
    EXPECT_EQ(Zet01::OpenTable(slot, rights, path, 0, 0, ""), 0) << Common::LastErrorText().view();
    return slot;
  }
  void Close(int slot) {
    EXPECT_EQ(Zet01::CloseTable(slot), 0);
    if (ZetTable::OpenCount() == slot) ZetTable::SetOpenCount(slot - 1);
  }
  static TZetTable& T(int slot) { return *ZetTable::Table(slot); }

  // Writes text as the memo of field n of the record buffer.
  static void SetMemo(int slot, uint16_t n, const std::string& text) {
    TZetTable& t = T(slot);
    ASSERT_EQ(WINMEMOS::InitPutMemo(t.memoFile), 0);
    WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data());
    const uint32_t block = WINMEMOS::DonePutMemo(t.memoFile, 0);
    ASSERT_EQ(WINMEMOS::Status(), 0);
    uint8_t raw[4];
    bytes::PutU32(raw, block);
    Common::PutFieldValue(t.recordBuffer.data(), t.Place(n), t.version, raw, false);
  }
  // The memo of field n of the record buffer, line ends as CR LF.
  static std::string Memo(int slot, uint16_t n) {
    TZetTable& t = T(slot);
    Common::FieldValue v;
    Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(n), t.version, v);
    const int32_t length = WINMEMOS::InitGetMemo(t.memoFile, v.block);
    std::string text(size_t(std::max(length, 0)), '\0');
    if (length > 0) text.resize(size_t(WINMEMOS::GetMemoBlock(length, text.data())));
    WINMEMOS::DoneGetMemo();
    return text;
  }
  static std::string Text(int slot, uint16_t n) { return zet01_test::FieldOf(slot, n); }
  static double Number(int slot, uint16_t n) {
    Common::FieldValue v;
    Common::GetFieldAsNumber(T(slot).recordBuffer.data(), T(slot).Place(n), T(slot).version, v);
    return v.number;
  }
  static int32_t PackedDate(int slot, uint16_t n) {
    return bytes::GetI32(T(slot).recordBuffer.data() + T(slot).FieldOffset(n));
  }
  static void Append(int slot) {
    ASSERT_EQ(Zet01::AssignAutoNumber(slot), 0);
    ASSERT_EQ(Zet01::AppendRecord(slot, true, 0), 0) << Common::LastErrorText().view();
  }

  // Imports the dBase file name into the table name.DAT, checks the counts
  // of the import and opens the table (0 when the import failed).
  int ImportAndOpen(const std::string& name, const DbfUtil::TDbfImportReport& want) {
    DbfUtil::TDbfImportReport report;
    const int rc = DbfUtil::DbfToTable(TempPath(name), TempPath(name + ".DAT"), nullptr, 1, &report);
    EXPECT_EQ(rc, 0) << Common::LastErrorText().view();
    EXPECT_EQ(report.recordsCopied, want.recordsCopied);
    EXPECT_EQ(report.deletedSkipped, want.deletedSkipped);
    EXPECT_EQ(report.memosNotText, want.memosNotText);
    return rc == 0 ? Open(TempPath(name + ".DAT")) : 0;
  }

  // The DBF fields and record texts of a file, as the reader gives them.
  struct DbfContents {
    std::vector<TDbfField> fields;
    std::vector<std::vector<std::string>> rows;
  };
  DbfContents ReadDbf(const std::string& path) {
    DbfUtil::TDbfReader reader;
    DbfContents c;
    EXPECT_EQ(reader.Open(path), 0) << Common::LastErrorText().view();
    c.fields = reader.Fields();
    for (uint32_t r = 1; r <= reader.RecordCount(); ++r) {
      EXPECT_EQ(reader.ReadRecord(r), 0);
      std::vector<std::string> row;
      for (size_t i = 0; i < c.fields.size(); ++i) row.emplace_back(reader.FieldBytes(i));
      c.rows.push_back(row);
    }
    return c;
  }
};

// Fields of the export table: every type, a relation field (no record
// bytes) and an internal field (no name), which are not written.
enum : uint16_t {
  kZeichen = 1, kName, kMenge, kPreis, kStufe, kAktiv, kDatum, kNotiz, kFarbe, kNr, kKunde, kBild, kZeit,
  kBezug, kIntern
};
const std::vector<FieldDef> kEveryType = {
    {"Zeichen: ", Common::kTypeChar, 0, 1},
    {"Name: ", Common::kTypeString, 20, 20},
    {"Menge: ", Common::kTypeInteger, 2, 4, kNullable},
    {"Preis: ", Common::kTypeReal, 7, 0x92},
    {"Stufe: ", Common::kTypeByte, 0, 3},
    {"Aktiv: ", Common::kTypeBool, 0, 4},
    {"Datum: ", Common::kTypeDate, 3, 10},
    {"Notiz: ", Common::kTypeMemo, 3, 4},
    {"Farbe: ", Common::kTypeChoice, 0, 3},
    {"Nr: ", Common::kTypeAutoNumber, 3, 10},
    {"Kunde: ", Common::kTypeLink, 3, 1},
    {"Bild: ", Common::kTypeBlob, 3, 4},
    {"Zeit: ", Common::kTypeTime, 1, 5},
    {"Bezug: ", Common::kTypeRelation, 0, 0},
    {"", Common::kTypeString, 5, 5},
};
void AddColours(TZetTable& t) {
  t.choiceLists.push_back({kFarbe, {"Rot", "Gruen", "Dunkel blau"}});
  t.nextAutoNumber = 1;
}

// A memo with line ends, a line longer than the memo writer's wrap width,
// and umlauts.
const std::string kLongMemo =
    "Erste Zeile\r\n"
    "eine lange Zeile mit vielen W\xF6rtern, die der Schreiber umbrechen muss, weil sie so lang ist\r\n"
    "\r\n"
    "letzte Zeile";

TEST_F(DbfUtilTest, EveryTypeIsWrittenAndReadByDbfreadAndBackAsTable) {
  const std::string path = TempPath("KUNDEN.DAT");
  zet01_test::CreateTableFile(path, kEveryType, 0, "", 0, AddColours);
  int h = Open(path);
  struct Row {
    const char* zeichen;
    const char* name;
    const char* menge;  // "" for null
    const char* preis;
    const char* stufe;
    const char* aktiv;
    const char* datum;
    std::string notiz;
    const char* farbe;
    const char* kunde;
    uint32_t bild;
    const char* zeit;
  };
  const std::vector<Row> rows = {
      {"x", "M\xFCller & S\xF6hne", "42", "1234,5", "7", "Ja", "29.02.2024", kLongMemo, "Dunkel_blau", "17", 5,
       "08:30"},
      {"", "", "", "-0,126", "0", "Nein", "", "", "", "0", 0, "00:00"},
      {"z", "Rand", "-1234", "0", "255", "Ja", "01.01.1900", std::string(510, 'm'), "Rot", "-1", 0, "23:59"},
  };
  for (const Row& r : rows) {
    ZetTable::ClearRecordBuffer(h);
    zet01_test::SetField(h, kZeichen, r.zeichen);
    zet01_test::SetField(h, kName, r.name);
    zet01_test::SetField(h, kMenge, r.menge);
    zet01_test::SetField(h, kPreis, r.preis);
    zet01_test::SetField(h, kStufe, r.stufe);
    zet01_test::SetField(h, kAktiv, r.aktiv);
    zet01_test::SetField(h, kDatum, r.datum);
    zet01_test::SetField(h, kFarbe, r.farbe);
    zet01_test::SetField(h, kKunde, r.kunde);
    zet01_test::SetField(h, kZeit, r.zeit);
    zet01_test::SetField(h, kIntern, "geheim");
    bytes::PutU32(T(h).recordBuffer.data() + T(h).FieldOffset(kBild), r.bild);
    if (!r.notiz.empty()) SetMemo(h, kNotiz, r.notiz);
    Append(h);
  }
  Close(h);

  ASSERT_EQ(DbfUtil::TableToDbf(path, TempPath("export.txt"), nullptr, 0), 0) << Common::LastErrorText().view();
  const std::string dbf = TempPath("EXPORT.DBF");
  ASSERT_TRUE(std::filesystem::exists(dbf));
  ASSERT_TRUE(std::filesystem::exists(TempPath("EXPORT.DBT")));

  // An independent reader sees the fields and every value; -1234 does not
  // fit N(4) and is written as asterisks, which read as no number.
  const std::string script =
      "import datetime, dbfread\n"
      "t = dbfread.DBF('" + dbf + "', encoding='cp1252')\n"
      "fields = [(f.name, f.type, f.length, f.decimal_count) for f in t.fields]\n"
      "want_fields = [('ZEICHEN','C',1,0), ('NAME','C',20,0), ('MENGE','N',4,0), ('PREIS','N',9,2),\n"
      "  ('STUFE','N',3,0), ('AKTIV','L',1,0), ('DATUM','D',8,0), ('NOTIZ','M',10,0), ('FARBE','C',11,0),\n"
      "  ('NR','N',10,0), ('KUNDE','N',10,0), ('BILD','C',9,0), ('ZEIT','C',5,0)]\n"
      "memo = 'Erste Zeile\\r\\neine lange Zeile mit vielen W\\xf6rtern, die der Schreiber umbrechen muss, "
      "weil sie so lang ist\\r\\n\\r\\nletzte Zeile'\n"
      "want = [\n"
      " ['x', 'M\\xfcller & S\\xf6hne', 42, 1234.5, 7, True, datetime.date(2024, 2, 29), memo, 'Dunkel_blau', 1, 17,"
      " 'Bild', '08:30'],\n"
      " ['', '', None, -0.13, 0, False, None, None, '', 2, 0, '', '00:00'],\n"
      " ['z', 'Rand', None, 0.0, 255, True, datetime.date(1900, 1, 1), 'm' * 510, 'Rot', 3, -1, '', '23:59']]\n"
      "got = [[r[f[0]] for f in want_fields] for r in t]\n"
      "raw = open('" + dbf + "', 'rb').read()\n"
      "bad = [(i, k) for i in range(3) for k in range(13) if got[i][k] != want[i][k]]\n"
      "print('OK' if fields == want_fields and not bad else 'DIFF %r %r: %.300r' % (fields, bad, got))\n"
      "print(raw.count(b'*'))\n";
  const ScriptResult result = RunPython(TempDir(), script);
  EXPECT_EQ(result.output, "OK\n4\n");

  // Back into a table: what the DBF holds comes back.
  ASSERT_EQ(DbfUtil::DbfToTable(dbf, TempPath("BACK.DAT"), nullptr, 1), 0) << Common::LastErrorText().view();
  h = Open(TempPath("BACK.DAT"));
  ASSERT_EQ(T(h).recordCount, 3);
  ASSERT_EQ(T(h).fieldCount, 13);
  ASSERT_EQ(Zet01::ReadRecord(h, 1), 0);
  EXPECT_EQ(Text(h, 1), "x");
  EXPECT_EQ(Text(h, 2), "M\xFCller & S\xF6hne");
  EXPECT_EQ(Number(h, 3), 42);
  EXPECT_EQ(Number(h, 4), 1234.5);
  EXPECT_EQ(Number(h, 5), 7);
  EXPECT_EQ(Text(h, 6), "Ja");
  EXPECT_EQ(PackedDate(h, 7), DATUM::PackDate(2024, 2, 29));
  EXPECT_EQ(Memo(h, 8), kLongMemo);
  EXPECT_EQ(Text(h, 9), "Dunkel_blau");
  EXPECT_EQ(Number(h, 10), 1);
  EXPECT_EQ(Number(h, 11), 17);
  EXPECT_EQ(Text(h, 12), "Bild");
  EXPECT_EQ(Text(h, 13), "08:30");
  ASSERT_EQ(Zet01::ReadRecord(h, 2), 0);
  EXPECT_EQ(Text(h, 2), "");
  EXPECT_EQ(Number(h, 4), -0.13);
  EXPECT_EQ(Text(h, 6), "Nein");
  EXPECT_EQ(PackedDate(h, 7), 0);
  EXPECT_EQ(Memo(h, 8), "");
  ASSERT_EQ(Zet01::ReadRecord(h, 3), 0);
  EXPECT_EQ(Number(h, 3), 0);  // the asterisks
  EXPECT_EQ(Memo(h, 8), std::string(510, 'm'));
  EXPECT_EQ(Number(h, 11), -1);
  Close(h);
}

// Values wider than their field become asterisks; dates come from the packed
// value whatever the date format; names are unique after the cut.
TEST_F(DbfUtilTest, OverflowDatesAndNamesOfTheExport) {
  const std::string path = TempPath("T.DAT");
  zet01_test::CreateTableFile(path, {{"Kundennummer alt: ", Common::kTypeInteger, 1, 2},
                                     {"Kundennummer neu: ", Common::kTypeLink, 3, 1},
                                     {"Kundennummer: ", Common::kTypeReal, 7, 0x41},
                                     {"Gr\xF6\xDF" "e-Klasse: ", Common::kTypeTime, 1, 5},
                                     {"\xC4nderung: ", Common::kTypeDate, 3, 10},
                                     {"Kundennumm1: ", Common::kTypeBool, 0, 4},
                                     {"Kundennummer!: ", Common::kTypeString, 3, 3}});
  int h = Open(path);
  DATUM::SetDateTimeFormat(DATUM::kDateMonthDayYear, DATUM::kTimeTwelveHour);
  const struct {
    const char* values[7];
  } records[] = {{{"99", "2147483647", "99,94", "", "", "", ""}},
                 {{"-50", "-2147483647", "123,45", "13:15", "02/29/24", "Ja", "abc"}}};
  for (const auto& r : records) {
    ZetTable::ClearRecordBuffer(h);
    for (uint16_t n = 1; n <= 7; ++n) zet01_test::SetField(h, n, r.values[n - 1]);
    Append(h);
  }
  Close(h);
  ASSERT_EQ(DbfUtil::TableToDbf(path, TempPath("O"), nullptr, 0), 0) << Common::LastErrorText().view();
  const DbfContents c = ReadDbf(TempPath("O.DBF"));
  std::vector<std::string> names;
  for (const TDbfField& f : c.fields) names.push_back(std::string(f.name.view()));
  EXPECT_EQ(names, (std::vector<std::string>{"KUNDENNUMM", "KUNDENNUM1", "KUNDENNUM2", "GROESSEKLA", "AENDERUNG",
                                            "KUNDENNUM3", "KUNDENNUM4"}));
  ASSERT_EQ(c.rows.size(), 2u);
  // The time 0 is "12:00 am" in the twelve-hour format: too wide as well.
  EXPECT_EQ(c.rows[0], (std::vector<std::string>{"99", "2147483647", "99.9", "*****", "        ", "F", "   "}));
  EXPECT_EQ(c.rows[1], (std::vector<std::string>{"**", "**********", "****", "*****", "20240229", "T", "abc"}));
  EXPECT_FALSE(std::filesystem::exists(TempPath("O.DBT")));
  EXPECT_EQ(ReadFile(TempPath("O.DBF"))[0], DbfUtil::kVersionDbase3);
}

// A table file of version 1 keeps its texts in the OEM code page, and so
// does its dBase file.
TEST_F(DbfUtilTest, VersionOneTableGoesOutInOemCodePage) {
  auto t = zettable_test::MakeTable(1, {{"Name: ", Common::kTypeString, 10, 10}, {"Notiz: ", Common::kTypeMemo, 1, 4}});
  const std::string path = TempPath("ALT.DAT");
  ASSERT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, 0), 0);
  int h = Open(path);
  ZetTable::ClearRecordBuffer(h);
  zet01_test::SetField(h, 1, "Gr\xF6\xDF" "e");
  SetMemo(h, 2, "\xDC" "ber");
  Append(h);
  Close(h);
  ASSERT_EQ(DbfUtil::TableToDbf(path, TempPath("ALT"), nullptr, 0), 0);
  const DbfContents c = ReadDbf(TempPath("ALT.DBF"));
  ASSERT_EQ(c.rows.size(), 1u);
  EXPECT_EQ(c.rows[0][0], "Gr\x94\xE1" "e     ");
  const std::vector<uint8_t> dbt = ReadFile(TempPath("ALT.DBT"));
  ASSERT_GE(dbt.size(), 1024u);
  EXPECT_EQ(std::string(dbt.begin() + 512, dbt.begin() + 516), "\x9A" "ber");
}

// The first n fields only; progress every count div 20 records; a cancel
// keeps the records written so far; a table that does not open gives 3.
TEST_F(DbfUtilTest, FieldCountProgressAndCancel) {
  const std::string path = TempPath("P.DAT");
  zet01_test::CreateTableFile(path, {{"A: ", Common::kTypeInteger, 1, 5}, {"B: ", Common::kTypeInteger, 1, 5}});
  int h = Open(path);
  for (int i = 1; i <= 45; ++i) {
    ZetTable::ClearRecordBuffer(h);
    zet01_test::SetField(h, 1, std::to_string(i));
    Append(h);
  }
  Close(h);

  static std::vector<std::pair<int32_t, int32_t>> calls;
  static int32_t stopAt;
  calls.clear();
  stopAt = 0;
  auto progress = [](int32_t done, int32_t total) -> int32_t {
    calls.emplace_back(done, total);
    return done == stopAt ? 1 : 0;
  };
  ASSERT_EQ(DbfUtil::TableToDbf(path, TempPath("P"), progress, 1), 0);
  EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{{2, 45}, {4, 45}, {6, 45}, {8, 45}, {10, 45},
                                                             {12, 45}, {14, 45}, {16, 45}, {18, 45}, {20, 45},
                                                             {22, 45}, {24, 45}, {26, 45}, {28, 45}, {30, 45},
                                                             {32, 45}, {34, 45}, {36, 45}, {38, 45}, {40, 45},
                                                             {42, 45}, {44, 45}}));
  DbfContents c = ReadDbf(TempPath("P.DBF"));
  EXPECT_EQ(c.fields.size(), 1u);
  EXPECT_EQ(c.rows.size(), 45u);

  calls.clear();
  stopAt = 10;
  EXPECT_EQ(DbfUtil::TableToDbf(path, TempPath("P"), progress, 0), DbfUtil::kErrCancelled);
  EXPECT_EQ(Common::LastError(), -DbfUtil::kErrCancelled);
  c = ReadDbf(TempPath("P.DBF"));
  EXPECT_EQ(c.fields.size(), 2u);
  EXPECT_EQ(c.rows.size(), 10u);

  // Importing reports and cancels the same way.
  calls.clear();
  stopAt = 4;
  EXPECT_EQ(DbfUtil::DbfToTable(TempPath("P.DBF"), TempPath("Q.DAT"), progress, 1), DbfUtil::kErrCancelled);
  EXPECT_EQ(calls.size(), 4u);
  h = Open(TempPath("Q.DAT"));
  EXPECT_EQ(T(h).recordCount, 4);
  Close(h);

  EXPECT_EQ(DbfUtil::TableToDbf(TempPath("NONE.DAT"), TempPath("N"), nullptr, 0), Common::kErrWrite);
  EXPECT_FALSE(std::filesystem::exists(TempPath("N.DBF")));
  // A dBase file that cannot be made: write error, answered as such.
  EXPECT_EQ(DbfUtil::TableToDbf(path, TempPath("no/such/dir/P"), nullptr, 0), Common::kErrWrite);
  EXPECT_EQ(Common::LastError(), -Common::kErrWrite);
}

// A table open already is read through its slot (and stays open).
TEST_F(DbfUtilTest, OpenTableIsExportedThroughItsSlot) {
  const std::string path = TempPath("OFFEN.DAT");
  zet01_test::CreateTableFile(path, {{"A: ", Common::kTypeString, 5, 5}}, 0x1234ABCD);
  const int slot = ZetTable::OpenCount() + 1;
  ASSERT_EQ(Zet01::OpenTable(slot, ZetTable::kRightsMask, path, 0, 0x1234ABCD, ""), 0);
  zet01_test::AppendTexts(slot, 1, {"eins", "zwei"});
  ASSERT_EQ(DbfUtil::TableToDbf(path, TempPath("OFFEN"), nullptr, 0), 0) << Common::LastErrorText().view();
  EXPECT_EQ(ZetTable::Table(slot), &T(slot));
  const DbfContents c = ReadDbf(TempPath("OFFEN.DBF"));
  ASSERT_EQ(c.rows.size(), 2u);
  EXPECT_EQ(c.rows[1][0], "zwei ");
  Close(slot);
}

// Importing into the file of an open table is refused before anything is
// written, under any spelling of its name: the table reads on as before.
TEST_F(DbfUtilTest, ImportIntoAnOpenTableIsRefused) {
  const std::string path = TempPath("OFFEN.DAT");
  zet01_test::CreateTableFile(path, {{"A: ", Common::kTypeString, 5, 5}});
  const int slot = Open(path);
  zet01_test::AppendTexts(slot, 1, {"eins", "zwei"});
  ASSERT_EQ(DbfUtil::TableToDbf(path, TempPath("QUELLE"), nullptr, 0), 0) << Common::LastErrorText().view();
  const auto size = std::filesystem::file_size(path);
  for (const std::string& name : {path, TempPath("offen.dat")}) {
    EXPECT_EQ(DbfUtil::DbfToTable(TempPath("QUELLE"), name, nullptr, 0), Zet01::kErrAlreadyOpen) << name;
    EXPECT_EQ(Common::LastError(), -Zet01::kErrAlreadyOpen);
  }
  EXPECT_EQ(std::filesystem::file_size(path), size);
  ASSERT_EQ(Zet01::ReadRecord(slot, 2), 0);
  EXPECT_EQ(Text(slot, 1), "zwei");
  Close(slot);
  // Once closed, the table is made anew from the dBase file.
  EXPECT_EQ(DbfUtil::DbfToTable(TempPath("QUELLE"), path, nullptr, 0), 0) << Common::LastErrorText().view();
}

// Files written by python3-dbf become tables; every value and memo is
// checked, memos ending exactly at a block boundary included.
struct ImportCase {
  const char* kind;
  int memoSize;
  size_t memoOverhead;  // bytes a memo takes besides its text
};

class DbfUtilImport : public DbfUtilTest, public ::testing::WithParamInterface<ImportCase> {};

TEST_P(DbfUtilImport, PythonDbfFileBecomesTable) {
  const ImportCase& c = GetParam();
  const size_t block = size_t(c.memoSize);
  const std::string line100 =
      "Eine Zeile von genau hundert Zeichen, mit Leerzeichen, die beim Einlesen umbrochen wird, ganz sicher";
  ASSERT_EQ(line100.size(), 100u);
  const std::vector<std::string> memos = {"", "kurz\r\nzweite Zeile", std::string(block - c.memoOverhead, 'b'),
                                          std::string(2 * block - c.memoOverhead, 'c'), line100};
  std::string script =
      "import datetime, dbf\n"
      "t = dbf.Table('" + TempPath("IMPORT.DBF") + "', 'CH C(1); NAME C(30); LANG C(100); TINY N(2,0); "
      "SMALL N(4,0); PRICE N(8,2); BIG N(18,0); FLAG L; DAY D; NOTE M', dbf_type='" + c.kind +
      "', memo_size=" + std::to_string(c.memoSize) + ", codepage='cp1252')\n"
      "t.open(dbf.READ_WRITE)\n";
  for (size_t i = 0; i < memos.size(); ++i) {
    const std::string memo = memos[i] == memos[1] ? "'kurz\\r\\nzweite Zeile'" : "'" + memos[i] + "'";
    script += "t.append(('" + std::string(1, char('a' + i)) + "', 'Name " + std::to_string(i) + " \\xe4\\xf6', '" +
              std::string(100, char('0' + i)) + "', -" + std::to_string(i) + ", " + std::to_string(1000 * i) +
              ", " + std::to_string(i) + ".25, " + std::to_string(123456789012345 * (i + 1)) + ", " +
              (i % 2 ? "True" : "False") + ", " +
              (i == 0 ? "None" : "datetime.date(2001, 2, " + std::to_string(i) + ")") + ", " + memo + "))\n";
  }
  script += "t.close()\nprint('made')\n";
  ASSERT_EQ(RunPython(TempDir(), script).output, "made\n");

  ASSERT_EQ(DbfUtil::DbfToTable(TempPath("import"), TempPath("IMPORT.DAT"), nullptr, 1), 0)
      << Common::LastErrorText().view();
  const int h = Open(TempPath("IMPORT.DAT"));
  TZetTable& t = T(h);
  ASSERT_EQ(t.fieldCount, 10);
  const struct {
    const char* name;
    uint8_t type, size, shown;
  } want[] = {{"CH: ", 0, 0, 1},    {"NAME: ", 1, 30, 30}, {"LANG: ", 1, 100, 64}, {"TINY: ", 2, 1, 2},
              {"SMALL: ", 2, 1, 4}, {"PRICE: ", 3, 7, 0x82}, {"BIG: ", 3, 7, 0xF0}, {"FLAG: ", 5, 0, 4},
              {"DAY: ", 6, 3, 10},  {"NOTE: ", 7, 1, 4}};
  for (uint16_t n = 1; n <= 10; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(t.StoredName(n), want[n - 1].name);
    EXPECT_EQ(t.FieldType(n), want[n - 1].type);
    EXPECT_EQ(t.SizeCode(n), want[n - 1].size);
    EXPECT_EQ(t.Shown(n), want[n - 1].shown);
  }
  ASSERT_EQ(t.recordCount, int32_t(memos.size()));
  for (uint32_t r = 1; r <= memos.size(); ++r) {
    SCOPED_TRACE(r);
    const size_t i = r - 1;
    ASSERT_EQ(Zet01::ReadRecord(h, r), 0);
    EXPECT_EQ(Text(h, 1), std::string(1, char('a' + i)));
    EXPECT_EQ(Text(h, 2), "Name " + std::to_string(i) + " \xE4\xF6");
    EXPECT_EQ(Text(h, 3), std::string(100, char('0' + i)));
    EXPECT_EQ(Number(h, 4), -double(i));
    EXPECT_EQ(Number(h, 5), 1000.0 * double(i));
    EXPECT_EQ(Number(h, 6), double(i) + 0.25);
    EXPECT_EQ(Number(h, 7), 123456789012345.0 * double(i + 1));
    EXPECT_EQ(Number(h, 8), i % 2 ? 1 : 0);
    EXPECT_EQ(PackedDate(h, 9), i == 0 ? 0 : DATUM::PackDate(2001, 2, int32_t(i)));
    EXPECT_EQ(Memo(h, 10), memos[i]);
  }
  // The line of 100 characters is one line in two pieces, cut at its last
  // blank within 78 characters.
  dynstr::LineChain lines;
  Common::FieldValue v;
  Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(10), t.version, v);
  WINMEMOS::ReadMemoLines(t.memoFile, v.block, lines);
  ASSERT_TRUE(lines && lines->next);
  EXPECT_EQ(lines->continued, RamFiles::kLineCutAtBlank);
  EXPECT_EQ(lines->text.view(), line100.substr(0, line100.rfind(' ', 78)));
  EXPECT_EQ(lines->text.view().size() + 1 + lines->next->text.view().size(), line100.size());
  EXPECT_EQ(lines->next->next, nullptr);
  Close(h);
}

INSTANTIATE_TEST_SUITE_P(DbfUtil, DbfUtilImport,
                         ::testing::Values(ImportCase{"db3", 512, 2}, ImportCase{"fp", 128, 8},
                                           ImportCase{"fp", 48, 8}),
                         [](const auto& info) {
                           return std::string(info.param.kind) + std::to_string(info.param.memoSize);
                         });

// Import rules: small N fields as I (negative values kept),
// the record limit of a table, no table for an unknown field type or
// version, dates that are none, the layout position of the labels, and
// dBase IV memos.
TEST_F(DbfUtilTest, ImportRulesAndRefusals) {
  // 39 text fields of 255 characters take 9984 bytes in a table, 40 too many.
  std::vector<RawField> wide(40, RawField{"T", 'C', 255});
  std::vector<std::string> none;
  WriteFile(TempPath("W40.DBF"), MakeDbf(3, wide, none));
  EXPECT_EQ(DbfUtil::DbfToTable(TempPath("W40.DBF"), TempPath("W40.DAT"), nullptr, 1), 117);
  EXPECT_FALSE(std::filesystem::exists(TempPath("W40.DAT")));
  wide.pop_back();
  WriteFile(TempPath("W39.DBF"), MakeDbf(3, wide, none));
  EXPECT_EQ(DbfUtil::DbfToTable(TempPath("W39.DBF"), TempPath("W39.DAT"), nullptr, 1), 0);

  WriteFile(TempPath("TYP.DBF"), MakeDbf(3, {{"A", 'C', 2}, {"B", 'I', 4}}, {"ab\x01\x02\x03\x04"}));
  EXPECT_EQ(DbfUtil::DbfToTable(TempPath("TYP.DBF"), TempPath("TYP.DAT"), nullptr, 1), 117);
  EXPECT_EQ(Common::LastError(), -117);
  EXPECT_FALSE(std::filesystem::exists(TempPath("TYP.DAT")));

  WriteFile(TempPath("VFP.DBF"), MakeDbf(0x30, {{"A", 'C', 2}}, {"ab"}));
  EXPECT_EQ(DbfUtil::DbfToTable(TempPath("VFP.DBF"), TempPath("VFP.DAT"), nullptr, 1), 129);
  EXPECT_EQ(Common::LastError(), -129);
  EXPECT_FALSE(std::filesystem::exists(TempPath("VFP.DAT")));

  // 18 fields: the 18th label goes to column 1 of row 1; a text of 200
  // characters takes three more columns.
  std::vector<RawField> many = {{"LONG", 'C', 200}};
  for (int i = 2; i <= 18; ++i) many.push_back({"F" + std::to_string(i), 'N', 2});
  std::string record(200, 'x');
  for (int i = 2; i <= 18; ++i) record += i % 2 ? "-5" : " 7";
  std::vector<RawField> dates = {{"D", 'D', 8}, {"E", 'N', 8, 2}, {"M", 'M', 10}};
  many.insert(many.end(), dates.begin(), dates.end());
  const std::string records[] = {record + "        " + "   -1.5 " + "         1",
                                 record + "20231340" + "        " + "          "};
  WriteFile(TempPath("MANY.DBF"), MakeDbf(DbfUtil::kVersionDbase4Memo, many, {records[0], records[1]}));
  std::vector<uint8_t> dbt(512 + 8 + 12, 0);
  dbt[512] = 0xFF, dbt[513] = 0xFF, dbt[514] = 8, dbt[516] = 8 + 12;
  std::memcpy(&dbt[520], "line1\r\nline2", 12);
  WriteFile(TempPath("MANY.DBT"), dbt);
  ASSERT_EQ(DbfUtil::DbfToTable(TempPath("MANY.DBF"), TempPath("MANY.DAT"), nullptr, 1), 0)
      << Common::LastErrorText().view();
  const int h = Open(TempPath("MANY.DAT"));
  const uint8_t wantColumn[] = {1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 1 + 64, 2 + 64, 3 + 64, 4 + 64};
  for (uint16_t n = 1; n <= 18; ++n) EXPECT_EQ(T(h).Descriptor(n)[ZetTable::kDescLayoutColumn], wantColumn[n - 1]) << n;
  EXPECT_EQ(T(h).FieldType(2), Common::kTypeInteger);
  EXPECT_EQ(T(h).Shown(2), 2);
  ASSERT_EQ(Zet01::ReadRecord(h, 1), 0);
  EXPECT_EQ(Number(h, 2), 7);
  EXPECT_EQ(Number(h, 3), -5);
  EXPECT_EQ(PackedDate(h, 19), 0);  // blanks: no date
  EXPECT_EQ(Number(h, 20), -1.5);
  EXPECT_EQ(T(h).Shown(20), 0x82);
  EXPECT_EQ(Memo(h, 21), "line1\r\nline2");
  ASSERT_EQ(Zet01::ReadRecord(h, 2), 0);
  EXPECT_EQ(PackedDate(h, 19), 0);  // month 13: no date
  EXPECT_EQ(Number(h, 20), 0);      // blanks
  EXPECT_EQ(Memo(h, 21), "");
  Close(h);
}


// Files of other programs: records flagged deleted stay out and are
// counted, "?" is no value, and texts and memos of a file in code page 437
// or 850 (as the code-page byte says) arrive in Windows-1252.
class DbfUtilCodePage : public DbfUtilTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DbfUtilCodePage, PythonDbfFileOfOtherProgram) {
  const std::string codepage = GetParam();
  const std::string script =
      "import dbf\n"
      "t = dbf.Table('" + TempPath("OEM.DBF") + "', 'NAME C(20); FLAG L; NOTE M', dbf_type='db3', codepage='" +
      codepage + "')\n"
      "t.open(dbf.READ_WRITE)\n"
      "t.append(('M\\xfcller', True, 'Gr\\xf6\\xdfe \\xb5\\r\\nZeile'))\n"
      "t.append(('weg', True, 'geloescht'))\n"
      "t.append(('offen', None, ''))\n"
      "t.append(('nein', False, ''))\n"
      "dbf.delete(t[1])\n"
      "t.close()\n"
      "print('made')\n";
  ASSERT_EQ(RunPython(TempDir(), script).output, "made\n");
  const int h = ImportAndOpen("OEM", {3, 1, 0});
  ASSERT_GT(h, 0);
  ASSERT_EQ(T(h).recordCount, 3);
  const struct {
    const char* name;
    double flag;
    const char* memo;
  } want[] = {{"M\xFCller", 1, "Gr\xF6\xDF" "e \xB5\r\nZeile"}, {"offen", 0, ""}, {"nein", 0, ""}};
  for (uint32_t r = 1; r <= 3; ++r) {
    SCOPED_TRACE(r);
    ASSERT_EQ(Zet01::ReadRecord(h, r), 0);
    EXPECT_EQ(Text(h, 1), want[r - 1].name);
    EXPECT_EQ(Number(h, 2), want[r - 1].flag);
    EXPECT_EQ(Memo(h, 3), want[r - 1].memo);
  }
  Close(h);
}

INSTANTIATE_TEST_SUITE_P(DbfUtil, DbfUtilCodePage, ::testing::Values("cp437", "cp850", "cp1252"),
                         [](const auto& info) { return std::string(info.param); });

// Hand-made FoxPro file: a name with the rest of an older name behind its
// zero byte, every form of a logical value, and a picture memo, which is
// counted and leaves its field empty.
TEST_F(DbfUtilTest, NamesLogicalsAndBinaryMemosOfOtherPrograms) {
  std::vector<uint8_t> dbf = MakeDbf(DbfUtil::kVersionFoxPro, {{"KURZ", 'L', 1}, {"NOTE", 'M', 10}},
                                     {"T         1", "y         2", "n          ", "?          ",
                                      "           ", "F          "});
  std::memcpy(&dbf[32 + 5], "XYZ", 3);  // "KURZ\0XYZ"
  WriteFile(TempPath("FOX.DBF"), dbf);
  std::vector<uint8_t> fpt(3 * 64, 0);
  fpt[3] = 3;
  fpt[7] = 64;  // block size 64
  fpt[64 + 3] = 1, fpt[64 + 7] = 4;  // block 1: text "Text"
  std::memcpy(&fpt[64 + 8], "Text", 4);
  fpt[128 + 3] = 0, fpt[128 + 7] = 4;  // block 2: a picture of four bytes
  std::memcpy(&fpt[128 + 8], "\x89PNG", 4);
  WriteFile(TempPath("FOX.FPT"), fpt);
  const int h = ImportAndOpen("FOX", {6, 0, 1});
  ASSERT_GT(h, 0);
  EXPECT_EQ(T(h).StoredName(1), "KURZ: ");
  const double flags[] = {1, 1, 0, 0, 0, 0};
  for (uint32_t r = 1; r <= 6; ++r) {
    ASSERT_EQ(Zet01::ReadRecord(h, r), 0);
    EXPECT_EQ(Number(h, 1), flags[r - 1]) << r;
  }
  ASSERT_EQ(Zet01::ReadRecord(h, 1), 0);
  EXPECT_EQ(Memo(h, 2), "Text");
  ASSERT_EQ(Zet01::ReadRecord(h, 2), 0);
  EXPECT_EQ(Memo(h, 2), "");
  Close(h);
}

// A dBase name whose file names would pass 255 characters is refused, never
// cut to another file's name.
TEST_F(DbfUtilTest, DbfNamesThatDoNotFitAreRefused) {
  const std::string longName = TempPath(std::string(250, 'd'));
  ASSERT_GT(longName.size(), 255u);
  EXPECT_EQ(DbfUtil::DbfToTable(longName, TempPath("X.DAT"), nullptr, 1), Common::kErrPathTooLong);
  EXPECT_EQ(Common::LastError(), -26);
  EXPECT_FALSE(std::filesystem::exists(TempPath("X.DAT")));
  const std::string path = TempPath("Y.DAT");
  zet01_test::CreateTableFile(path, {{"NAME", Common::kTypeString, 10, 10}});
  EXPECT_EQ(DbfUtil::TableToDbf(path, longName, nullptr, 0), Common::kErrPathTooLong);
}

}  // namespace
