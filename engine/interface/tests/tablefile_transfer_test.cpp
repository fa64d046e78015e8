// Table-file transfer (format 4 of ZetTableExport and ZetTableImport), and
// the index an export walks for its selection.
//
// ARTIKEL (interface_test_util.h): NR identifier, CODE (identifier key),
// NAME S20 (NAMEN.IND), MENGE (MENGE.IND, descending), NOTIZ memo, BILD blob.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/interface/include/zetcore.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"

namespace {

using interface_test::AddArticle;
using interface_test::Field;
using interface_test::InterfaceTest;

constexpr uint8_t kTableFile = 4;

// What a record of ARTIKEL holds, memo and blob included.
struct Article {
  std::string nr, code, name, menge, notiz;
  std::vector<uint8_t> bild;
  friend bool operator==(const Article&, const Article&) = default;
  friend void PrintTo(const Article& a, std::ostream* os) {
    *os << "{" << a.nr << ", " << a.code << ", \"" << a.name << "\", " << a.menge << ", memo " << a.notiz.size()
        << ", blob " << a.bild.size() << "}";
  }
};

std::string Memo(int32_t c, const char* field) {
  const int32_t length = ZetTableInitGetMemo(c, field);
  std::string text(size_t(std::max(length, 0)), '\0');
  if (length > 0) text.resize(size_t(ZetTableGetMemoBlock(text.data(), length)));
  ZetTableDoneGetMemo();
  return text;
}

std::vector<uint8_t> Blob(int32_t c) {
  const int32_t length = ZetTableInitGetBlob(c, "BILD");
  std::vector<uint8_t> data(size_t(std::max(length, 0)));
  if (length > 0) data.resize(size_t(ZetTableGetBlobBlock(data.data(), length)));
  ZetTableDoneGetBlob();
  return data;
}

std::vector<Article> Articles(int32_t c) {
  std::vector<Article> out;
  for (int32_t r = ZetTableFirst(c); r >= 0; r = ZetTableMoveBy(c, 1))
    out.push_back({Field(c, "NR"), Field(c, "CODE"), Field(c, "NAME"), Field(c, "MENGE"), Memo(c, "NOTIZ"), Blob(c)});
  return out;
}

std::string LastError(int32_t* number = nullptr) {
  char text[256];
  const int32_t e = ZetGetLastError(text, sizeof text - 1);
  if (number) *number = e;
  return text;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The identity column map over the six user fields.
std::vector<int16_t> SameFields() {
  std::vector<int16_t> map(1000, 0);
  for (int16_t k = 1; k <= 6; ++k) map[size_t(k - 1)] = k;
  return map;
}

class TableFileTransfer : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    c_ = ZetTableCreate(relation_);
  }
  // Articles with a memo on every second and a blob on every third record.
  void Fill(int count) {
    for (int i = 1; i <= count; ++i) {
      ASSERT_EQ(AddArticle(c_, 100 + i, "Artikel " + std::to_string(i), i), 0);
      if (i % 2 == 0 || i % 3 == 0) {
        ASSERT_EQ(ZetTableEdit(c_), 0);
        if (i % 2 == 0) {
          const std::string memo = "Notiz " + std::to_string(i) + std::string(size_t(i) * 40, 'n');
          ASSERT_EQ(ZetTableInitPutMemo(c_, "NOTIZ"), 0);
          ASSERT_EQ(ZetTablePutMemoBlock(memo.data(), int32_t(memo.size())), int32_t(memo.size()));
          ASSERT_EQ(ZetTableDonePutMemo(c_, "NOTIZ"), 0);
        }
        if (i % 3 == 0) {
          std::vector<uint8_t> blob(size_t(i) * 500);
          for (size_t k = 0; k < blob.size(); ++k) blob[k] = uint8_t(k * 7 + size_t(i));
          ASSERT_EQ(ZetTableInitPutBlob(c_, "BILD", int32_t(blob.size())), 0);
          ASSERT_EQ(ZetTablePutBlobBlock(blob.data(), int32_t(blob.size())), int32_t(blob.size()));
          ASSERT_EQ(ZetTableDonePutBlob(c_, "BILD"), 0);
        }
        ASSERT_EQ(ZetTableEditConfirm(c_), 0);
      }
    }
  }
  // A cursor on a table file opened through the exports.
  static int32_t OpenCursor(const std::string& path) {
    const int32_t r = ZetRltnOpen(path.c_str(), "", editing_test::kTableKey, interface_test::kAllRights);
    EXPECT_GT(r, 0) << LastError();
    return r > 0 ? ZetTableCreate(r) : 0;
  }
  // An empty article table in a directory of its own.
  std::string EmptyArticles(const std::string& directory) {
    std::filesystem::create_directories(TempPath(directory));
    return editing_test::CreateArticles(TempPath(directory + "/ARTIKEL.DAT"));
  }
  int32_t relation_ = 0;
  int32_t c_ = 0;
};

// Export writes the selected records (or the marked ones in marked order)
// into a new table file with memos, blobs and identifiers; import copies
// them back through the column map, keeping identifiers only in an empty
// table. The source and its user index files are untouched.
TEST_F(TableFileTransfer, ExportThenImportCarriesEveryField) {
  Fill(12);
  const std::vector<Article> all = Articles(c_);
  const std::string exported = TempPath("AUSZUG.DAT");  // beside the source and its NAMEN.IND
  ASSERT_EQ(ZetTableExport(c_, "MENGE > 3", exported.c_str(), kTableFile, 0, 0, nullptr), 0) << LastError();
  const std::vector<Article> selected(all.begin() + 3, all.end());
  const int32_t e = OpenCursor(exported);
  ASSERT_GT(e, 0);
  EXPECT_EQ(Articles(e), selected);
  // The identifier counter goes on where the source's stands.
  ASSERT_EQ(AddArticle(e, 999, "Neu", 1), 0);
  EXPECT_EQ(Field(e, "NR"), "13");
  ASSERT_EQ(ZetTableSetAccess(c_, "NAMEN.IND", 0), 0);
  EXPECT_EQ(interface_test::WalkNames(c_).size(), all.size());
  ASSERT_EQ(ZetTableSetAccess(c_, "Nummer", 0), 0);
  EXPECT_EQ(Articles(c_), all);

  // Marked order exports the marks only.
  ASSERT_EQ(ZetTableMark(c_, "MENGE = 2 OR MENGE = 9", 1, nullptr), 2);
  ASSERT_EQ(ZetTableSetAccess(c_, "Markierung", 1), 0);
  const std::string marked = TempPath("MARKIERT.DAT");
  ASSERT_EQ(ZetTableExport(c_, "", marked.c_str(), kTableFile, 0, 0, nullptr), 0) << LastError();
  EXPECT_EQ(Articles(OpenCursor(marked)), (std::vector<Article>{all[1], all[8]}));
  ASSERT_EQ(ZetTableSetAccess(c_, "Nummer", 0), 0);

  // Import into an empty table keeps the identifiers; the selection is
  // decided on the record as it arrives.
  const int32_t target = OpenCursor(EmptyArticles("ziel"));
  const std::vector<int16_t> map = SameFields();
  ASSERT_EQ(ZetTableImport(target, "MENGE < 8", exported.c_str(), "", editing_test::kTableKey, kTableFile, map.data(),
                           0, 0, nullptr, 0),
            0)
      << LastError();
  std::vector<Article> expected(all.begin() + 3, all.begin() + 7);
  expected.push_back({"13", "999", "Neu", "1", "", {}});
  EXPECT_EQ(Articles(target), expected);
  // A second import into the filled table gives new identifiers, going on
  // from the counter the first one carried over.
  ASSERT_EQ(ZetTableImport(target, "MENGE = 11", exported.c_str(), "", editing_test::kTableKey, kTableFile,
                           map.data(), 0, 0, nullptr, 0),
            0)
      << LastError();
  const std::vector<Article> after = Articles(target);
  ASSERT_EQ(after.size(), expected.size() + 1);
  Article again = all[10];
  again.nr = "14";
  EXPECT_EQ(after.back(), again);
}

// Import through a column map that pairs fields of other types: values go
// through their text forms, a text becomes a memo, a number a text; fields
// without a map entry stay empty and the identifier takes the target's own.
TEST_F(TableFileTransfer, ImportConvertsTypesThroughTheColumnMap) {
  Fill(3);
  ASSERT_EQ(ZetTableSetRecNo(c_, 2), 2);
  ASSERT_EQ(ZetTableEdit(c_), 0);
  ASSERT_EQ(ZetTableSetStr(c_, "NAME", "42"), 0);
  ASSERT_EQ(ZetTableEditConfirm(c_), 0);
  auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                        {"TEXT", Common::kTypeString, 20, 20},
                                        {"ZAHL", Common::kTypeInteger, 1, 10},
                                        {"BETRAG", Common::kTypeReal, 7, 2},
                                        {"LANG", Common::kTypeMemo, 3, 4},
                                        {"LEER", Common::kTypeString, 10, 10}});
  t->nextAutoNumber = 50;
  const std::string path = TempPath("MIX.DAT");
  ASSERT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, 0), 0);
  const int32_t r = ZetRltnOpen(path.c_str(), "", 0, interface_test::kAllRights);
  ASSERT_GT(r, 0);
  const int32_t mix = ZetTableCreate(r);
  std::vector<int16_t> map(1000, 0);
  map[0] = 1;  // NR <- NR: kept (an empty table, identifier fields of one name)
  map[1] = 2;  // TEXT <- CODE (number to text)
  map[2] = 3;  // ZAHL <- NAME (text to number)
  map[3] = 4;  // BETRAG <- MENGE
  map[4] = 3;  // LANG <- NAME (text to memo)
  map[5] = 0;  // LEER: not imported
  ASSERT_EQ(ZetTableImport(mix, "", Path().c_str(), "", editing_test::kTableKey, kTableFile, map.data(), 0, 0, nullptr,
                           0),
            0)
      << LastError();
  ASSERT_EQ(ZetTableRecordCount(mix), 3);
  ASSERT_EQ(ZetTableFirst(mix), 1);
  EXPECT_EQ(Field(mix, "NR"), "1");
  EXPECT_EQ(Field(mix, "TEXT"), "101");
  EXPECT_EQ(Memo(mix, "LANG"), "Artikel 1");
  EXPECT_EQ(Field(mix, "LEER"), "");
  ASSERT_EQ(ZetTableMoveBy(mix, 1), 1);
  EXPECT_EQ(Field(mix, "NR"), "2");
  EXPECT_EQ(Field(mix, "ZAHL"), "42");
  EXPECT_EQ(Field(mix, "BETRAG"), "2.00");
  // The counter stays where the target's stood, above the source's.
  ASSERT_EQ(ZetTableAppend(mix), 0);
  ASSERT_EQ(ZetTableSetStr(mix, "LEER", "neu"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(mix), 0);
  EXPECT_EQ(Field(mix, "NR"), "50");
}

// Refusals and stops: nothing is written over an open table, a file that
// does not open answers -1 with the open's error, a stop keeps the records
// before it, and every table a run opened is closed again.
TEST_F(TableFileTransfer, RefusalsAndStops) {
  Fill(30);
  const std::vector<int16_t> map = SameFields();
  const int before = ZetTable::OpenCount();
  const std::string table = Slurp(Path());
  // Export onto the table's own file, into a missing directory, format 5.
  EXPECT_EQ(ZetTableExport(c_, "", Path().c_str(), kTableFile, 0, 0, nullptr), -2);
  EXPECT_EQ(Slurp(Path()), table);
  EXPECT_EQ(ZetTableExport(c_, "", TempPath("fehlt/X.DAT").c_str(), kTableFile, 0, 0, nullptr), -2);
  int32_t number = 0;
  LastError(&number);
  EXPECT_EQ(number, -3);
  EXPECT_EQ(ZetTableExport(c_, "", TempPath("X.DAT").c_str(), 5, 0, 0, nullptr), -19);
  // Import of the cursor's own table, of a missing file, with a wrong key.
  EXPECT_EQ(ZetTableImport(c_, "", Path().c_str(), "", editing_test::kTableKey, kTableFile, map.data(), 0, 0, nullptr, 0),
            -1);
  LastError(&number);
  EXPECT_EQ(number, -35);
  const int32_t target = OpenCursor(EmptyArticles("ziel"));
  EXPECT_EQ(ZetTableImport(target, "", TempPath("NICHTDA.DAT").c_str(), "", editing_test::kTableKey, kTableFile,
                           map.data(), 0, 0, nullptr, 0),
            -1);
  const std::string copy = TempPath("KOPIE.DAT");
  ASSERT_EQ(ZetTableExport(c_, "", copy.c_str(), kTableFile, 0, 0, nullptr), 0) << LastError();
  EXPECT_EQ(ZetTableImport(target, "", copy.c_str(), "", editing_test::kTableKey + 1, kTableFile, map.data(), 0, 0,
                           nullptr, 0),
            -1);
  EXPECT_EQ(ZetTableRecordCount(target), 0);
  // The progress procedure stops an import after 10 records and an export
  // after 20: the records before stay, in the target and in the new file.
  auto stop = [](int32_t done, int32_t) -> int32_t { return done >= 10 ? 1 : 0; };
  EXPECT_EQ(ZetTableImport(target, "", copy.c_str(), "", editing_test::kTableKey, kTableFile, map.data(), 0, 0, stop, 0),
            -203);
  LastError(&number);
  EXPECT_EQ(number, -114);
  EXPECT_EQ(ZetTableRecordCount(target), 10);
  auto stop20 = [](int32_t done, int32_t) -> int32_t { return done >= 20 ? 1 : 0; };
  const std::string part = TempPath("TEIL.DAT");
  EXPECT_EQ(ZetTableExport(c_, "", part.c_str(), kTableFile, 0, 0, stop20), -203);
  EXPECT_EQ(ZetTableRecordCount(OpenCursor(part)), 20);
  EXPECT_EQ(ZetTable::OpenCount(), before + 2);  // the test's own: ziel and TEIL
}

// A table with a relation field exports beside itself (its relation table,
// named by the field, is left as it was) and into another directory (an
// empty relation table is made there).
TEST_F(TableFileTransfer, ExportOfATableWithARelationField) {
  const std::string path = TempPath("LEUTE.DAT");
  ASSERT_EQ(ZetRltnCreate(path.c_str(), "", 0, 2, 3, interface_test::PeopleFields, 0, 0), 0);
  const int32_t people = ZetTableCreate(ZetRltnOpen(path.c_str(), "", 0, interface_test::kAllRights));
  ASSERT_GT(people, 0) << LastError();
  for (const char* name : {"Anna", "Bert"}) {
    ASSERT_EQ(ZetTableAppend(people), 0);
    ASSERT_EQ(ZetTableSetStr(people, "NAME", name), 0);
    ASSERT_EQ(ZetTableAppendConfirm(people), 0);
  }
  std::vector<std::pair<std::string, std::string>> relationFiles;
  for (const auto& entry : std::filesystem::directory_iterator(TempPath("")))
    if (entry.path().extension() == ".REL") relationFiles.emplace_back(entry.path(), Slurp(entry.path()));
  ASSERT_FALSE(relationFiles.empty());
  std::filesystem::create_directories(TempPath("anders"));
  for (const std::string& target : {TempPath("LEUTE2.DAT"), TempPath("anders/LEUTE.DAT")}) {
    SCOPED_TRACE(target);
    ASSERT_EQ(ZetTableExport(people, "", target.c_str(), kTableFile, 0, 0, nullptr), 0) << LastError();
    for (const auto& [file, bytes] : relationFiles) EXPECT_EQ(Slurp(file), bytes) << file;
  }
  const int32_t copy =
      ZetTableCreate(ZetRltnOpen(TempPath("anders/LEUTE.DAT").c_str(), "", 0, interface_test::kAllRights));
  ASSERT_GT(copy, 0) << LastError();
  EXPECT_EQ(interface_test::WalkNames(copy), (std::vector<std::string>{"Anna", "Bert"}));
}

// A text column imported into a relation field names the related records,
// "/" between them: each name becomes an entry of the new record, a name no
// record has a new related record, an empty text no entry.
TEST_F(InterfaceTest, TableFileImportLinksTextsToTheRecordsTheyNameThroughARelationField) {
  const int32_t people = interface_test::OpenPeopleWithFriends(TempPath("LEUTE.DAT"));
  auto t = zettable_test::MakeTable(2, {{"NAME", Common::kTypeString, 20, 20}, {"KENNT", Common::kTypeString, 40, 40}});
  const std::string path = TempPath("NEUE.DAT");
  ASSERT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, 0), 0);
  const int32_t source = ZetTableCreate(ZetRltnOpen(path.c_str(), "", 0, interface_test::kAllRights));
  for (auto [name, friends] : {std::pair{"Dora", "Anna / Carl"}, {"Emil", "Zoe"}, {"Finn", ""}}) {
    ASSERT_EQ(ZetTableAppend(source), 0);
    ASSERT_EQ(ZetTableSetStr(source, "NAME", name), 0);
    ASSERT_EQ(ZetTableSetStr(source, "KENNT", friends), 0);
    ASSERT_EQ(ZetTableAppendConfirm(source), 0);
  }
  std::vector<int16_t> map(1000, 0);
  map[1] = 1;  // NAME <- NAME
  map[2] = 2;  // FREUNDE <- KENNT
  ASSERT_EQ(ZetTableImport(people, "", path.c_str(), "", 0, kTableFile, map.data(), 0, 0, nullptr, 0), 0)
      << LastError();
  // Zoe is appended while Emil's entries are stored, before Emil himself.
  std::vector<std::string> seen;  // "name number: entries"
  for (int32_t k = 4; k <= ZetTableRecordCount(people); ++k) {
    EXPECT_EQ(ZetTableSetRecNo(people, k), k);
    std::string p = Field(people, "NAME") + " " + Field(people, "NR") + ":";
    const int32_t entries = ZetTableCreateRelTable(people, "FREUNDE");
    for (int32_t s = ZetTableFirst(entries); entries > 0 && s >= 0; s = ZetTableMoveBy(entries, 1))
      p += " " + Field(entries, "1") + ">" + Field(entries, "2");
    ZetTableDelete(entries);
    seen.push_back(p);
  }
  const std::vector<std::string> want = {"Dora 4: 4>1 4>3", "Zoe 6:", "Emil 5: 5>6", "Finn 7:"};
  EXPECT_EQ(seen, want);
}

// Import from a table that is open already reads it where it stands and
// leaves its cursors as they were.
TEST_F(TableFileTransfer, ImportFromAnOpenTable) {
  Fill(5);
  ASSERT_EQ(ZetTableSetRecNo(c_, 4), 4);
  const int32_t target = OpenCursor(EmptyArticles("ziel"));
  const std::vector<int16_t> map = SameFields();
  ASSERT_EQ(ZetTableImport(target, "", Path().c_str(), "", editing_test::kTableKey, kTableFile, map.data(), 0, 0,
                           nullptr, 0),
            0)
      << LastError();
  EXPECT_EQ(ZetTableRecordCount(target), 5);
  EXPECT_EQ(ZetTableGetRecNo(c_), 4);
  EXPECT_EQ(Field(c_, "NAME"), "Artikel 4");
  EXPECT_EQ(ZetTableMoveBy(c_, 1), 1);
  EXPECT_EQ(ZetTableGetRecNo(c_), 5);
}

// A selection that an index answers reads only the records of that index's
// key range: the same file as the walk over every record, in the cursor's
// order (record order or the index's own), with fewer records read.
TEST_F(TableFileTransfer, SelectedExportWalksTheIndex) {
  for (int i = 1; i <= 200; ++i) ASSERT_EQ(AddArticle(c_, i, "Artikel " + std::to_string(i), (i * 37) % 200), 0);
  // The records a walk read, as far as progress tells (every second).
  static int visited = 0;
  auto count = [](int32_t done, int32_t total) -> int32_t {
    if (done < total) visited = std::max(visited, done);
    return 0;
  };
  struct Case {
    const char* what;
    const char* order;
    const char* indexed;  // a selection an index answers
    const char* scanned;  // the same records, asked so that no index helps
  };
  const Case cases[] = {
      {"record order, range", "Nummer", "MENGE >= 180", "MENGE + 0 >= 180"},
      {"record order, equal name", "Nummer", "NAME = 'Artikel 77'", "NAME + '' = 'Artikel 77'"},
      {"index order, range", "MENGE.IND", "MENGE < 15", "MENGE - 0 < 15"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ASSERT_EQ(ZetTableSetAccess(c_, k.order, 0), 0);
    const std::string a = TempPath("index.txt"), b = TempPath("scan.txt");
    visited = 0;
    ASSERT_EQ(ZetTableExport(c_, k.indexed, a.c_str(), 0, 1, 0, count), 0) << LastError();
    const int indexed = visited;
    visited = 0;
    ASSERT_EQ(ZetTableExport(c_, k.scanned, b.c_str(), 0, 1, 0, count), 0) << LastError();
    EXPECT_GE(visited, 198);
    EXPECT_LT(indexed, 25);
    EXPECT_FALSE(Slurp(a).empty());
    EXPECT_EQ(Slurp(a), Slurp(b));  // the same records in the cursor's order
  }
  ASSERT_EQ(ZetTableSetAccess(c_, "Nummer", 0), 0);
  EXPECT_EQ(ZetTableFirst(c_), 1);
}

}  // namespace
