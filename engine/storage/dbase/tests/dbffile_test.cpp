#include "engine/storage/dbase/dbffile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/base/common_errors.h"
#include "engine/storage/dbase/tests/dbf_test_util.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace dbf_test;
using DbfUtil::TDbfField;
using DbfUtil::TDbfReader;
using DbfUtil::TDbfWriter;

// Text of n characters: words, blanks and CR LF line ends.
std::string Prose(size_t n, char seed) {
  std::string text;
  for (size_t i = 0; text.size() < n; ++i) {
    if (i % 37 == 36 && text.size() + 2 <= n)
      text += "\r\n";
    else
      text += (i % 7 == 6) ? ' ' : char('a' + (i * 5 + size_t(seed)) % 26);
  }
  return text;
}

class DbfUtilFileTest : public zettest::EngineTest {
 protected:
  // Reads every record of the file with the reader: field texts, memo
  // fields replaced by their memo text.
  std::vector<std::vector<std::string>> ReadAll(const std::string& path) {
    TDbfReader reader;
    EXPECT_EQ(reader.Open(path), 0) << Common::LastErrorText().view();
    std::vector<std::vector<std::string>> rows;
    for (uint32_t r = 1; r <= reader.RecordCount(); ++r) {
      EXPECT_EQ(reader.ReadRecord(r), 0);
      std::vector<std::string> row;
      for (size_t i = 0; i < reader.Fields().size(); ++i) {
        std::string text(reader.FieldBytes(i));
        bool isText = true;
        if (reader.Fields()[i].type == 'M') {
          EXPECT_EQ(reader.ReadMemo(reader.FieldBytes(i), text, isText), 0);
          if (!isText) text = "<binary>";
        }
        row.push_back(text);
      }
      rows.push_back(row);
    }
    return rows;
  }
};

void Put(TDbfWriter& writer, size_t field, const std::string& text) {
  const TDbfField& f = writer.Fields()[field];
  ASSERT_LE(text.size(), f.length);
  std::memcpy(writer.Record() + f.offset, text.data(), text.size());
}

// Memo lengths around the block size: a text that fills a block up to its
// last two bytes takes one block, one more character takes two.
const size_t kMemoLengths[] = {1, 509, 510, 511, 512, 1300};

TEST_F(DbfUtilFileTest, WrittenFileIsReadByDbfreadAndPythonDbf) {
  const std::string path = TempPath("OUT.DBF");
  TDbfWriter writer;
  ASSERT_EQ(writer.Create(path, {{"NAME", 'C', 12, 0}, {"PRICE", 'N', 8, 2}, {"OK", 'L', 1, 0},
                                 {"DAY", 'D', 8, 0}, {"NOTE", 'M', 10, 0}}),
            0);
  std::string expected = "expected = [\n";
  for (size_t i = 0; i < std::size(kMemoLengths); ++i) {
    const std::string memo = Prose(kMemoLengths[i], char(i));
    uint32_t block = 0;
    ASSERT_EQ(writer.WriteMemo(memo, block), 0);
    Put(writer, 0, "row" + std::to_string(i));
    Put(writer, 1, "  -12.5" + std::to_string(i));
    Put(writer, 2, i % 2 ? "T" : "F");
    Put(writer, 3, "2024010" + std::to_string(i + 1));
    std::string number = std::to_string(block);
    Put(writer, 4, std::string(10 - number.size(), ' ') + number);
    ASSERT_EQ(writer.AppendRecord(), 0);
    expected += "  ('row" + std::to_string(i) + "', -12.5" + std::to_string(i) + ", " + (i % 2 ? "True" : "False") +
                ", datetime.date(2024, 1, " + std::to_string(i + 1) + "), " + std::to_string(kMemoLengths[i]) +
                ", " + std::to_string(i) + "),\n";
  }
  ASSERT_EQ(writer.AppendRecord(), 0);  // a blank record: no memo, no date
  expected += "  ('', None, None, None, None, None),\n]\n";
  ASSERT_EQ(writer.Finish(), 0);

  // Both modules must see every value; the memo text is compared with the
  // text the test wrote, rebuilt in Python from its length and seed.
  const std::string prose =
      "def prose(n, seed):\n"
      "    t = ''\n"
      "    i = 0\n"
      "    while len(t) < n:\n"
      "        if i % 37 == 36 and len(t) + 2 <= n: t += '\\r\\n'\n"
      "        elif i % 7 == 6: t += ' '\n"
      "        else: t += chr(ord('a') + (i * 5 + seed) % 26)\n"
      "        i += 1\n"
      "    return t\n";
  const std::string check =
      "got = [tuple(r) for r in rows]\n"
      "want = [e if e[4] is None else e[:4] + (prose(e[4], e[5]),) for e in expected]\n"
      "want = [w[:5] for w in want]\n"
      "bad = [i for i in range(max(len(got), len(want))) if got[i:i + 1] != want[i:i + 1]]\n"
      "print('OK' if not bad else 'DIFF in rows %r: %.300r' % (bad, got[bad[0]:bad[0] + 1]))\n";
  ScriptResult dbfread = RunPython(
      TempDir(), "import datetime, dbfread\n" + prose + expected +
                     "t = dbfread.DBF('" + path + "', encoding='cp1252')\n"
                     "rows = [(r['NAME'], r['PRICE'], r['OK'], r['DAY'], r['NOTE'] or None) for r in t]\n" +
                     check);
  EXPECT_EQ(dbfread.output, "OK\n");
  ScriptResult dbf = RunPython(
      TempDir(), "import datetime, dbf\n" + prose + expected +
                     "t = dbf.Table('" + path + "')\n"
                     "t.open(dbf.READ_ONLY)\n"
                     "rows = []\n"
                     "for r in t:\n"
                     "    rows.append((r.name.rstrip(), r.price, r.ok, r.day or None, r.note or None))\n"
                     "t.close()\n" +
                     check);
  EXPECT_EQ(dbf.output, "OK\n");

  // The file layout itself.
  const std::vector<uint8_t> file = ReadFile(path);
  ASSERT_GE(file.size(), 32u);
  EXPECT_EQ(file[0], DbfUtil::kVersionDbase3Memo);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1, file.begin() + 4), (std::vector<uint8_t>{90, 6, 26}));
  EXPECT_EQ(file[8] | file[9] << 8, 32 * 6 + 1);
  EXPECT_EQ(file[10] | file[11] << 8, 1 + 12 + 8 + 1 + 8 + 10);
  EXPECT_EQ(file[32 + 12], 0);       // running offsets among the data bytes
  EXPECT_EQ(file[64 + 12], 12);
  EXPECT_EQ(file[32 * 6], 0x0D);
  EXPECT_EQ(file.back(), 0x1A);
  EXPECT_EQ(file.size(), size_t(32 * 6 + 1 + 7 * 40 + 1));
  const std::vector<uint8_t> dbt = ReadFile(TempPath("OUT.DBT"));
  // Blocks: 1, 1, 1, 2, 2, 3 for the memos, after block 0.
  EXPECT_EQ(dbt.size(), size_t(11 * 512));
  EXPECT_EQ(dbt[0] | dbt[1] << 8 | dbt[2] << 16 | dbt[3] << 24, 11);
  // The memo of 510 characters (block 3) ends with exactly two 0x1A.
  EXPECT_NE(dbt[3 * 512 + 509], 0x1A);
  EXPECT_EQ(dbt[3 * 512 + 510], 0x1A);
  EXPECT_EQ(dbt[3 * 512 + 511], 0x1A);

  // And the reader gives the same texts back.
  auto rows = ReadAll(path);
  ASSERT_EQ(rows.size(), std::size(kMemoLengths) + 1);
  for (size_t i = 0; i < std::size(kMemoLengths); ++i) EXPECT_EQ(rows[i][4], Prose(kMemoLengths[i], char(i)));
  EXPECT_EQ(rows.back(), (std::vector<std::string>{std::string(12, ' '), std::string(8, ' '), " ",
                                                    std::string(8, ' '), ""}));
}

TEST_F(DbfUtilFileTest, WithoutMemoFieldsNoDbtIsMade) {
  const std::string path = TempPath("PLAIN.DBF");
  TDbfWriter writer;
  ASSERT_EQ(writer.Create(path, {{"A", 'C', 3, 0}}), 0);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(ReadFile(path)[0], DbfUtil::kVersionDbase3);
  EXPECT_FALSE(std::filesystem::exists(TempPath("PLAIN.DBT")));
  EXPECT_EQ(ReadFile(path).size(), size_t(32 * 2 + 1 + 1));
  EXPECT_TRUE(ReadAll(path).empty());
}

TEST_F(DbfUtilFileTest, CreateFailureReportsWriteError) {
  TDbfWriter writer;
  const std::string path = TempPath("missing/dir/X.DBF");
  EXPECT_EQ(writer.Create(path, {{"A", 'C', 3, 0}}), Common::kErrWrite);
  EXPECT_EQ(Common::LastError(), -Common::kErrWrite);
}

// Files written by python3-dbf: dBase III with DBT, FoxPro with FPT of
// several block sizes. Memos end inside a block, at its last byte, and one
// byte into the next block; the FoxPro files keep 263 bytes of backlink room
// behind the descriptors.
struct PythonDbfCase {
  const char* kind;
  int memoSize;           // asked of the module
  uint32_t blockSize;     // what the memo file then uses
  const char* memoFile;
};

class DbfUtilPythonFiles : public DbfUtilFileTest, public ::testing::WithParamInterface<PythonDbfCase> {};

TEST_P(DbfUtilPythonFiles, EveryValueAndMemoIsRead) {
  const PythonDbfCase& c = GetParam();
  // Memo lengths that end exactly at a block boundary: DBT texts with their
  // two 0x1A, FPT texts with their 8-byte header.
  const size_t overhead = std::string(c.kind) == "db3" ? 2 : 8;
  const std::vector<size_t> lengths = {0, 1, c.blockSize - overhead, c.blockSize - overhead + 1,
                                       3 * c.blockSize - overhead, 700};
  std::string script = "import datetime, dbf\n"
                       "t = dbf.Table('" + TempPath("PY.DBF") + "', 'NAME C(15); NUM N(9,3); TINY N(2,0); "
                       "FLAG L; DAY D; NOTE M', dbf_type='" + c.kind + "', memo_size=" + std::to_string(c.memoSize) +
                       ", codepage='cp1252')\n"
                       "t.open(dbf.READ_WRITE)\n";
  for (size_t i = 0; i < lengths.size(); ++i) {
    std::string memo;
    for (size_t k = 0; k < lengths[i]; ++k) memo += char('A' + (k + i) % 26);
    script += "t.append(('N" + std::to_string(i) + "', " + std::to_string(i) + ".125, -" + std::to_string(i) +
              ", " + (i % 2 ? "True" : "False") + ", datetime.date(1999, 12, " + std::to_string(20 + i) +
              "), '" + memo + "'))\n";
  }
  script += "t.close()\nprint('made')\n";
  ASSERT_EQ(RunPython(TempDir(), script).output, "made\n");
  ASSERT_TRUE(std::filesystem::exists(TempPath(std::string("PY.") + c.memoFile)));

  TDbfReader reader;
  ASSERT_EQ(reader.Open(TempPath("PY.DBF")), 0) << Common::LastErrorText().view();
  ASSERT_EQ(reader.Fields().size(), 6u);
  EXPECT_EQ(reader.Fields()[1].name, "NUM");
  EXPECT_EQ(reader.Fields()[1].length, 9);
  EXPECT_EQ(reader.Fields()[1].decimals, 3);
  auto rows = ReadAll(TempPath("PY.DBF"));
  ASSERT_EQ(rows.size(), lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i) {
    std::string memo;
    for (size_t k = 0; k < lengths[i]; ++k) memo += char('A' + (k + i) % 26);
    EXPECT_EQ(rows[i][0], "N" + std::to_string(i) + std::string(15 - 1 - std::to_string(i).size(), ' '));
    EXPECT_EQ(std::stod(rows[i][1]), double(i) + 0.125);
    EXPECT_EQ(std::stoi(rows[i][2]), -int(i));
    EXPECT_EQ(rows[i][3], i % 2 ? "T" : "F");
    EXPECT_EQ(rows[i][4], "199912" + std::to_string(20 + i));
    EXPECT_EQ(rows[i][5], memo) << "memo " << i << " of " << lengths[i] << " characters";
  }
}

INSTANTIATE_TEST_SUITE_P(DbfUtil, DbfUtilPythonFiles,
                         ::testing::Values(PythonDbfCase{"db3", 512, 512, "DBT"},
                                           PythonDbfCase{"fp", 128, 128, "FPT"},
                                           PythonDbfCase{"fp", 48, 48, "FPT"},
                                           PythonDbfCase{"fp", 33, 33, "FPT"}),
                         [](const auto& info) {
                           return std::string(info.param.kind) + std::to_string(info.param.memoSize);
                         });

// dBase IV memos carry a header with their length, the header's 8 bytes
// included (little-endian); FPT files whose header gives block size 0 use
// 64-byte blocks, and an FPT memo of a binary kind is no text.
TEST_F(DbfUtilFileTest, MemoHeadersOfDbase4AndFptDefaultBlockSize) {
  const std::vector<RawField> fields = {{"NOTE", 'M', 10}};
  WriteFile(TempPath("D4.DBF"), MakeDbf(DbfUtil::kVersionDbase4Memo, fields, {"         1", "         2"}));
  std::vector<uint8_t> dbt(3 * 512, 0);
  const std::string a = "first memo, length from its header";
  dbt[512] = 0xFF, dbt[513] = 0xFF, dbt[514] = 8, dbt[516] = uint8_t(8 + a.size());
  std::memcpy(&dbt[520], a.data(), a.size());
  std::memset(&dbt[520 + a.size()], 'X', 20);  // no terminator: the length ends it
  const std::string b = "second";
  dbt[1024] = 0xFF, dbt[1025] = 0xFF, dbt[1026] = 8, dbt[1028] = 200;
  std::memcpy(&dbt[1032], b.data(), b.size());
  dbt[1032 + b.size()] = 0x1A;  // the terminator comes before the length
  WriteFile(TempPath("D4.DBT"), dbt);
  auto rows = ReadAll(TempPath("D4.DBF"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], a);
  EXPECT_EQ(rows[1][0], b);

  WriteFile(TempPath("FP.DBF"), MakeDbf(DbfUtil::kVersionFoxPro, fields, {"         9", "        10"}));
  std::vector<uint8_t> fpt(11 * 64, 0);
  fpt[3] = 11;  // next free block; bytes 6-7 (block size) stay 0
  fpt[9 * 64 + 3] = 1;
  fpt[9 * 64 + 7] = 5;
  std::memcpy(&fpt[9 * 64 + 8], "hello", 5);
  fpt[10 * 64 + 3] = 0;  // a picture: kind 0, five bytes of data
  fpt[10 * 64 + 7] = 5;
  std::memcpy(&fpt[10 * 64 + 8], "GIF89", 5);
  WriteFile(TempPath("FP.FPT"), fpt);
  rows = ReadAll(TempPath("FP.DBF"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "hello");
  EXPECT_EQ(rows[1][0], "<binary>");
}

// Hand-broken files: each is refused with its error before anything outside
// the file is read (the sanitizer build would catch an overrun).
struct BrokenCase {
  const char* what;
  std::vector<uint8_t> dbf;
  int error;
};

std::vector<uint8_t> Patched(std::vector<uint8_t> data, size_t at, std::vector<uint8_t> bytes) {
  if (data.size() < at + bytes.size()) data.resize(at + bytes.size());
  std::copy(bytes.begin(), bytes.end(), data.begin() + long(at));
  return data;
}

TEST_F(DbfUtilFileTest, TruncatedOrLyingHeadersAreRefused) {
  const std::vector<RawField> fields = {{"A", 'C', 4}, {"B", 'N', 3}};
  const std::vector<uint8_t> good = MakeDbf(3, fields, {"abcd123", "efgh456"});
  const size_t hs = 32 * 3 + 1;
  std::vector<BrokenCase> cases = {
      {"empty file", {}, 117},
      {"one byte of a known version", {3}, 117},
      {"one byte of another version", {0x30}, 129},
      {"Visual FoxPro", Patched(good, 0, {0x30}), 129},
      {"dBase 7", Patched(good, 0, {0x04}), 129},
      {"header cut in the middle", std::vector<uint8_t>(good.begin(), good.begin() + 20), 117},
      {"descriptors cut", std::vector<uint8_t>(good.begin(), good.begin() + 50), 117},
      {"header size 0", Patched(good, 8, {0, 0}), 117},
      {"header size below one field", Patched(good, 8, {63, 0}), 117},
      {"header size beyond the file", Patched(good, 8, {0xFF, 0xFF}), 117},
      {"no descriptor before 0x0D", Patched(good, 32, {0x0D}), 117},
      {"field of length 0", Patched(good, 32 + 16, {0}), 117},
      {"fields longer than the record", Patched(good, 32 + 16, {200}), 117},
      {"record size 0", Patched(good, 10, {0, 0}), 117},
      {"record size below the fields", Patched(good, 10, {7, 0}), 117},
      {"more records than the file holds", Patched(good, 4, {3}), 117},
      {"record count near 2^32", Patched(good, 4, {0xFF, 0xFF, 0xFF, 0xFF}), 117},
      {"records cut", std::vector<uint8_t>(good.begin(), good.begin() + long(hs + 10)), 117},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(TempPath("BAD.DBF"), c.dbf);
    Common::ResetLastError();
    TDbfReader reader;
    EXPECT_EQ(reader.Open(TempPath("BAD.DBF")), c.error);
    EXPECT_EQ(Common::LastError(), -c.error);
  }
  // A record size larger than the fields is fine as long as the records fit
  // the file: the rest of each record is not read.
  TDbfReader reader;
  WriteFile(TempPath("WIDE.DBF"), Patched(good, 10, {8, 0}));
  EXPECT_EQ(reader.Open(TempPath("WIDE.DBF")), 0);
  WriteFile(TempPath("WIDE.DBF"), Patched(good, 10, {9, 0}));
  EXPECT_EQ(reader.Open(TempPath("WIDE.DBF")), 117);
  // A file that does not exist cannot be read.
  EXPECT_EQ(reader.Open(TempPath("NONE.DBF")), Common::kErrRead);
}

TEST_F(DbfUtilFileTest, BrokenMemoFilesAndMemoFields) {
  const std::vector<RawField> fields = {{"NOTE", 'M', 10}};
  TDbfReader reader;
  std::string text;
  bool isText = true;

  // No memo file at all.
  WriteFile(TempPath("M.DBF"), MakeDbf(0x83, fields, {"         1"}));
  EXPECT_EQ(reader.Open(TempPath("M.DBF")), DbfUtil::kErrMemoOpen);

  // An FPT too short for its header.
  WriteFile(TempPath("M.FPT"), {0, 0, 0, 2, 0});
  EXPECT_EQ(reader.Open(TempPath("M.DBF")), 117);
  std::filesystem::remove(TempPath("M.FPT"));

  // A DBT of one block: memo fields that name no block, or a block outside.
  WriteFile(TempPath("M.DBT"), std::vector<uint8_t>(512, 0));
  ASSERT_EQ(reader.Open(TempPath("M.DBF")), 0);
  const struct {
    const char* field;
    int error;
  } fieldCases[] = {{"          ", 0}, {"         0", 0}, {"  12a     ", 117}, {"-1        ", 117},
                    {"4294967296", 117}, {"         1", 2},  {"4294967295", 2}};
  for (const auto& c : fieldCases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(reader.ReadMemo(c.field, text, isText), c.error);
    EXPECT_EQ(text, "");
  }
  reader.Close();

  // A DBT memo without terminator runs to the end of the file.
  std::vector<uint8_t> dbt(512 + 3, 0);
  std::memcpy(&dbt[512], "abc", 3);
  WriteFile(TempPath("M.DBT"), dbt);
  ASSERT_EQ(reader.Open(TempPath("M.DBF")), 0);
  EXPECT_EQ(reader.ReadMemo("1", text, isText), 0);
  EXPECT_EQ(text, "abc");
  reader.Close();
  std::filesystem::remove(TempPath("M.DBT"));

  // FPT: a memo header cut by the end of the file, and a length far beyond it.
  std::vector<uint8_t> fpt = {0, 0, 0, 3, 0, 0, 0, 16};
  fpt.resize(16 + 6, 0);
  fpt[16 + 3] = 1;
  WriteFile(TempPath("M.FPT"), fpt);
  ASSERT_EQ(reader.Open(TempPath("M.DBF")), 0);
  EXPECT_EQ(reader.ReadMemo("1", text, isText), 2);
  fpt.resize(16 + 8 + 4, 'z');
  fpt[16 + 4] = 0x7F, fpt[16 + 5] = 0xFF, fpt[16 + 6] = 0xFF, fpt[16 + 7] = 0xFF;
  WriteFile(TempPath("M.FPT"), fpt);
  ASSERT_EQ(reader.Open(TempPath("M.DBF")), 0);
  EXPECT_EQ(reader.ReadMemo("1", text, isText), 0);
  EXPECT_EQ(text, "zzzz");
}

}  // namespace
