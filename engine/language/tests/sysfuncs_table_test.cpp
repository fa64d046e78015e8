// The table functions of Lumo (group 203), the table-context functions
// (group 220) and the mark, array and relation services behind them, run
// from Lumo source over an article table on disk.
//
// ARTIKEL (editing_test_util.h) holds five records, record 3 current,
// records 2 and 4 marked:
//   1 code 10 "Apfel" 5 / 2 code 20 "Birne" 3 / 3 code 30 "Kirsche" 8 /
//   4 code 40 "Mango" 1 / 5 code 50 "Quitte" 2
// Index slots: 0 ARTIKEL.INR (NR), 1 ARTIKEL.ID (CODE), 2 NAMEN.IND,
// 3 MENGE.IND (descending).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/lowfiles.h"
#include "engine/language/bytecode.h"
#include "engine/language/tableservices.h"
#include "engine/language/tests/lumo_test.h"
#include "engine/language/variables.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/fulltext/tests/fulltext_test_util.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/marklist.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zet06_create.h"

namespace {

using editing_test::Article;
using ZetTable::TZetTable;

const std::vector<Article> kArticles = {
    {0, 10, "Apfel", 5}, {0, 20, "Birne", 3}, {0, 30, "Kirsche", 8}, {0, 40, "Mango", 1}, {0, 50, "Quitte", 2}};

class TableFunctionsTest : public lumo_test::LumoTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    LOWFILES::SetSyncWrites(false);  // the fixture is made afresh for every case
    Declare("a: REAL[9]");   // 2: ten elements
    Declare("b: TBITS[63]");  // 3
    Declare("c: TBITS[63]");  // 4
    Declare("m: MARKS");      // 5
    Declare("s: STRING[3]");  // 6
    Declare("r: REAL");       // 7
    Reset();
  }

  static TZetTable& T() { return *ZetTable::Table(1); }

  // A fresh fixture: the table made, opened and filled again, the variables
  // cleared, a = [2, 5, 0, ...].
  void Reset() {
    Zet06::CloseTablesFrom(1);
    for (const auto& e : std::filesystem::directory_iterator(TempDir())) std::filesystem::remove_all(e.path());
    const int h = editing_test::OpenArticles(editing_test::CreateArticles(TempPath("ARTIKEL.DAT")));
    ASSERT_EQ(h, 1);
    for (const Article& a : kArticles) ASSERT_EQ(Append(a), 0);
    T().currentRecord = 3;
    ASSERT_EQ(Zet01::ReadRecord(1, 3), 0);
    ZetTable::ClearMarks(1);
    ZetTable::AddMark(1, 2);
    ZetTable::AddMark(1, 4);
    ZetTable::SetCurrentHandle(1);
    ZetTable::SetOpenTableSet(1);
    ZetTable::SetVisibleTableSet(1);
    for (uint16_t v : {2, 3, 4}) std::fill(ZetVars::GetArrayData(v)->begin(), ZetVars::GetArrayData(v)->end(), 0);
    SetArray({2, 5});
    MarkLists::MarkListClear(*ZetVars::GetMarkVariable(5));
    *ZetVars::GetArrayStrings(6) = {"pflaume", "", "Apfel", "birne"};
  }

  static int Append(const Article& a) {
    T().recordBuffer.assign(T().recordLength, 0);
    editing_test::PutArticle(1, a);
    EXPECT_EQ(Zet01::AssignAutoNumber(1), 0);
    return Zet01::AppendRecord(1, true, 0);
  }

  static void SetArray(const std::vector<double>& values) {
    std::vector<uint8_t>& data = *ZetVars::GetArrayData(2);
    std::fill(data.begin(), data.end(), 0);
    std::memcpy(data.data(), values.data(), std::min(data.size(), values.size() * sizeof(double)));
  }
  static std::vector<double> Array(size_t n) {
    std::vector<double> v(n);
    std::memcpy(v.data(), ZetVars::GetArrayData(2)->data(), n * sizeof(double));
    return v;
  }
  static std::vector<uint32_t> Marks() { return ZetTable::MarkList(T()).Items(); }
  static std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const Article& a : editing_test::ScanArticles(1)) names.push_back(a.name);
    return names;
  }
  static void SetBits(uint16_t v, std::initializer_list<int> bits) {
    uint8_t* d = ZetVars::GetArrayData(v)->data();
    for (int b : bits) d[b / 8] |= uint8_t(1u << (b % 8));
  }
  static std::vector<int> Bits(uint16_t v) {
    std::vector<int> bits;
    const std::vector<uint8_t>& d = *ZetVars::GetArrayData(v);
    for (int b = 0; b < int(d.size()) * 8; ++b)
      if (d[size_t(b / 8)] & (1u << (b % 8))) bits.push_back(b);
    return bits;
  }

  // The value as a test writes it: a text as it is, a number with %g.
  static std::string Shown(const TRunValue& v) {
    if (v.type == Zet02::kValString) return "'" + v.text.str() + "'";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.10g", v.number);
    return buffer;
  }
};

// What a table function leaves: records, count, marks, order, current record.
struct Snapshot {
  std::vector<std::string> names;
  int32_t count = 0;
  std::vector<uint32_t> marks;
  uint8_t order = 0;
  uint32_t current = 0;
  std::vector<double> array;
  bool operator==(const Snapshot&) const = default;
};

// Every named function of group 203 with the apply flag on and off. Each
// case runs on a fresh fixture; with the flag off the result is the neutral
// one (or the one the function delivers anyway) and nothing changes.
TEST_F(TableFunctionsTest, EveryNamedFunctionWithApplyOnAndOff) {
  struct Case {
    const char* source;
    std::string on;   // result with the apply flag
    int onError;      // run error with the apply flag
    std::string off;  // result without it
    int offError = 0;  // run error without it: argument errors stay
  };
  const Case cases[] = {
      {"FirstRec(1)", "1", 0, "0"},
      {"LastRec(1)", "5", 0, "0"},
      {"NextRec(1)", "4", 0, "0"},
      {"PrevRec(1)", "2", 0, "0"},
      {"FindRec(1, 'Mango', 'NAMEN')", "4", 0, "0"},
      {"FindRec(1, 'Ki', 'namen.ind')", "3", 0, "0"},
      {"FindRec(1, 'Ki', 'NAMEN', 1)", "0", 0, "0"},
      {"FindRec(1, 'Kirsche', 'NAMEN', 1)", "3", 0, "0"},
      {"FindRec(1, 'Mango', 'GIBTSNICHT')", "0", 87, "0"},
      {"FindRec(1, 'Mango')", "0", 87, "0"},
      {"ReadRec(1, 5)", "5", 0, "0"},
      {"WriteRec(1, 3)", "3", 0, "0"},
      {"WriteRec(1, 2)", "0", 30, "0"},  // the buffer holds record 3's unique code
      {"WriteRec(1, 0)", "0", 49, "0"},
      {"DelRec(1, 1)", "1", 0, "0"},
      {"DelRec(1, 0)", "0", 49, "0"},
      {"FileSize(1)", "5", 0, "0"},
      {"IsMark(1, 2)", "1", 0, "2"},
      {"IsMark(1, 3)", "0", 0, "3"},
      {"SetMark(1, 5)", "5", 0, "5"},
      {"SetMark(1, 2)", "2", 0, "2"},
      {"DelMark(1, 4)", "4", 0, "4"},
      {"DelMarks(1)", "1", 0, "0"},
      {"NMarks(1)", "2", 0, "0"},
      {"NMarks(1, 1)", "-1", 0, "0"},  // no cursor stands on the table
      {"DbName(1)", "'ARTIKEL.DAT'", 0, "'ARTIKEL.DAT'"},
      {"Label(1, 3)", "'NAME'", 0, "''"},
      {"TransOn(1)", "0", 0, "0"},
      {"TransOff(1)", "0", 0, "0"},
      {"RollBack(1)", "0", 0, "0"},
      {"PrimFile(1)", "1", 0, "0"},
      {"Access(1, 'NAMEN.IND')", "2", 0, "0"},
      {"Access(1, 'Markierung')", "-2", 0, "0"},
      {"RegenAll(1)", "0", 0, "0"},
      {"RecNo(1)", "3", 0, "3"},
      {"RecNr(1, 1)", "-1", 0, "0"},  // no cursor stands on the table
      {"IndName(1, 2)", "'NAMEN.IND'", 0, "''"},
      {"IndName(1, 9)", "''", 0, "''"},
      {"IndDef(1, 3)", "'-MENGE:2'", 0, "''"},
      {"IndDef(1, 3, 1)", "'-MENGE'", 0, "''"},
      {"IndDef(1, 2, 3)", "'$3'", 0, "''"},
      {"GenIndex(1, 'MENGE,NAME', 'MN')", "4", 0, "0"},
      {"GenIndex(1, 'MENGE', 'NAMEN')", "0", 0, "0"},
      {"IndNo(1)", "-1", 0, "0"},
      {"IndNr(1)", "-1", 0, "0"},
      {"EditOn(1)", "1", 0, "0"},
      {"EditOff(1)", "0", 0, "0"},
      {"SortMark(1, 'NAME')", "1", 0, "0"},
      {"GetType(1, 3)", "'S020'", 0, "''"},
      {"LabelNo(1, 'MENGE')", "4", 0, "0"},
      {"LabelNr(1, 'NAME')", "3", 0, "0"},
      {"MaxLabel(1)", "6", 0, "0"},
      {"Lock(1, 2, 3)", "1", 0, "1"},
      {"Unlock(1)", "1", 0, "1"},
      {"RegenInd(1, 2)", "0", 0, "0"},
      {"GetField(1, 3)", "'Kirsche'", 0, "''"},
      {"GetField(1, 7)", "''", 83, "''"},
      {"SetField(1, 3, 'Pflaume')", "'Pflaume'", 0, "'Pflaume'"},
      {"NetUsers(1)", "0", 0, "0"},
      {"SetAuto(1, 40)", "40", 0, "0"},
      {"SetAuto(1, 0)", "6", 0, "0"},
      {"FileMode(1)", "''", 0, "''"},
      {"ClearDat(1)", "0", 0, "0"},
      {"DbDir(1)", "", 0, ""},
      {"PutMarks(1, a)", "0", 0, "0"},
      {"GetMarks(1, a)", "0", 0, "0"},
      {"GetRec(1, a)", "0", 0, "0"},
      {"PutRec(1, a)", "0", 0, "0"},
      {"AndMarks(1, a)", "0", 0, "0"},
      {"NotMarks(1, a)", "0", 0, "0"},
      {"PutMarks(1, r)", "0", 0, "0"},
      {"PutMarks(1, s)", "44", 0, "44"},
      {"NewTable(1, '%TKOPIE.DAT')", "0", 0, "0"},
      {"SetRecord(1, 1)", "0", 58, "0"},
      {"ScanRecs(1, 1, 1, 'NAME')", "0", 44, "0", 44},
      {"ScanRec(1, 9, 1, 'NAME')", "0", 44, "0", 44},
      {"MarkTable(1, 9, 'Apfel')", "0", 58, "0"},
      {"ConvBlob(1, 64)", "0", 0, "0"},
      {"SetFilter(1, 'Ki')", "0", 0, "0"},
      {"DatToDbf(1, 'nichtda/X.DBF')", "0", -1, "0"},
      {"IncField(1, 4)", "0", 0, "0"},
      {"FirstMark(1)", "2", 0, "0"},
      {"NextMark(1, 2)", "4", 0, "0"},
      {"FileSize(9)", "0", 58, "0"},
  };
  for (const Case& c : cases) {
    for (bool apply : {true, false}) {
      SCOPED_TRACE(std::string(c.source) + (apply ? " (apply)" : " (no apply)"));
      Reset();
      // "%T" stands for the test's own directory.
      std::string source = c.source;
      if (const size_t at = source.find("%T"); at != std::string::npos) source.replace(at, 2, TempPath(""));
      const std::string code = Compile(source);
      const auto before = Snapshot{Names(), T().recordCount, Marks(), T().orderMode, T().currentRecord, Array(4)};
      const Outcome o = Run(code, 3, apply);
      if (std::string(c.source).rfind("DbDir", 0) == 0) {
        EXPECT_EQ(Shown(o.value), "'" + T().directory.str() + "'");
        continue;
      }
      EXPECT_EQ(Shown(o.value), apply ? c.on : c.off);
      if (apply) {
        if (c.onError >= 0) EXPECT_EQ(o.error, c.onError);
        else EXPECT_GT(o.error, 0);
      }
      if (!apply) {
        EXPECT_EQ(o.error, c.offError);
        const auto after = Snapshot{Names(), T().recordCount, Marks(), T().orderMode, T().currentRecord, Array(4)};
        EXPECT_TRUE(before == after) << "changed without the apply flag";
      }
    }
  }
}

// Navigation in the table's order: the ends give 0 without a run error.
TEST_F(TableFunctionsTest, NavigationEndsAndIndexOrder) {
  EXPECT_EQ(Eval("Access(1, 'NAMEN.IND')").value.number, 2);
  EXPECT_EQ(Eval("FirstRec(1)").value.number, 1);  // Apfel
  EXPECT_EQ(Eval("NextRec(1)").value.number, 2);   // Birne
  EXPECT_EQ(Eval("LastRec(1)").value.number, 5);   // Quitte
  const Outcome end = Eval("NextRec(1)");
  EXPECT_EQ(end.error, 0);
  EXPECT_EQ(end.value.number, 0);
  EXPECT_EQ(Eval("Access(1, 'MENGE.IND')").value.number, 3);
  EXPECT_EQ(Eval("FirstRec(1)").value.number, 3);  // 8 pieces first: descending
  EXPECT_EQ(Eval("PrevRec(1)").value.number, 0);
  EXPECT_EQ(Eval("IndNo(1)").value.number, 3);
  EXPECT_EQ(Eval("Access(1, 'Nummer')").value.number, -1);
  EXPECT_EQ(Eval("LastRec(1)").value.number, 5);
  EXPECT_EQ(Eval("NextRec(1)").value.number, 0);
}

// The rights byte: a missing right is no error, the call delivers 0.
TEST_F(TableFunctionsTest, RecordFunctionsFollowTheRightsByte) {
  struct Case {
    uint16_t rights;
    const char* source;
    double result;
    int32_t count;
  };
  // The buffer gets a code of its own, so that writing it anywhere is
  // possible.
  const Case cases[] = {
      {ZetTable::kRightsMask & ~ZetTable::kRightDelete, "DelRec(1, 2)", 0, 5},
      {ZetTable::kRightDelete, "DelRec(1, 2)", 2, 4},
      {ZetTable::kRightWrite, "WriteRec(1, 6)", 0, 5},
      {ZetTable::kRightAppend, "WriteRec(1, 6)", 6, 6},
      {ZetTable::kRightAppend, "WriteRec(1, 2)", 0, 5},
      {ZetTable::kRightWrite, "WriteRec(1, 2)", 2, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Reset();
    ASSERT_EQ(Eval("SetField(1, 2, '99')").error, 0);
    T().openModeWord = c.rights;
    const Outcome o = Eval(c.source);
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(o.value.number, c.result);
    EXPECT_EQ(T().recordCount, c.count);
  }
  Reset();
  // FileMode names the rights not granted: writing and deleting granted.
  T().openModeWord = ZetTable::kRightWrite | ZetTable::kRightDelete;
  EXPECT_EQ(Eval("FileMode(1)").value.text.str(), "NI");
  // WriteRec writes the record buffer: the name set by SetField reaches the file.
  Reset();
  EXPECT_EQ(Eval("ReadRec(1, 2)").value.number, 2);
  EXPECT_EQ(Eval("SetField(1, 3, 'Banane')").error, 0);
  EXPECT_EQ(Eval("WriteRec(1, 2)").value.number, 2);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Apfel", "Banane", "Kirsche", "Mango", "Quitte"}));
  EXPECT_EQ(Eval("FindRec(1, 'Banane', 'NAMEN', 1)").value.number, 2);
}

// 203/70 and 203/71 have no name: the table's code text and key.
TEST_F(TableFunctionsTest, NamelessCodeAndKeyQueries) {
  for (uint8_t code : {70, 71}) {
    std::string bytes = Compile("DbName(1)");
    const size_t at = bytes.find(std::string("\xCB\x10", 2));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 1] = char(code);
    const Outcome o = Run(bytes, 3, true);
    EXPECT_EQ(o.error, 0);
    if (code == 70) EXPECT_EQ(Shown(o.value), "''");
    else EXPECT_EQ(o.value.number, double(editing_test::kTableKey));
  }
}

TEST_F(TableFunctionsTest, ArgumentErrors) {
  struct Case {
    const char* source;
    int error;
  };
  const Case cases[] = {
      {"FileSize(1", 56}, {"IndName(1)", 56}, {"Label(1, 'x')", 44}, {"DbName('x')", 44},
      {"SetField(1, 3, 4)", 44}, {"GenIndex(1, 'NAME')", 56}, {"SetAuto(1)", 56},
      {"PutMarks(1, 5)", 51}, {"FileSize(0)", 58},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    ShortStr code(c.source);
    uint64_t set = 0;
    if (Zet02::CompileExpression(code, set) != 0) continue;  // refused by the compiler already
    EXPECT_EQ(Run(code.str(), 3, true).error, c.error);
  }
  const Outcome typed = Eval("Label(1, 'x')");
  EXPECT_EQ(typed.error, 44);
}

// The mark transfers of arrays, bit arrays and mark variables.
TEST_F(TableFunctionsTest, MarksAndArrays) {
  // PutMarks from [5, 3, 0, 7] marks 5 and 3 only, after the marks there.
  SetArray({5, 3, 0, 7});
  ZetTable::ClearMarks(1);
  EXPECT_EQ(Eval("PutMarks(1, a)").value.number, 0);
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{5, 3}));
  // Array to marks with 5, 0, 7 marks 5 only.
  ZetTable::ClearMarks(1);
  SetArray({5, 0, 7});
  Eval("PutMarks(1, a)");
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{5}));
  // Already marked records are not marked twice.
  SetArray({4, 5, 1});
  Eval("PutMarks(1, a)");
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{5, 4, 1}));
  // GetMarks into an array of 2 elements with 5 marks fills 2.
  Reset();
  for (uint32_t r : {1, 3, 5}) ZetTable::AddMark(1, r);
  Declare("kurz: REAL[1]");
  EXPECT_EQ(Eval("GetMarks(1, kurz)").value.number, 0);
  std::vector<double> two(2);
  std::memcpy(two.data(), ZetVars::GetArrayData(ZetVars::FindVariable("kurz"))->data(), 16);
  EXPECT_EQ(two, (std::vector<double>{2, 4}));
  // NotMarks with [1, 2, 3] while 2 is marked: 1 and 3 marked, [1, -1, 3].
  Reset();
  ZetTable::ClearMarks(1);
  ZetTable::AddMark(1, 2);
  SetArray({1, 2, 3});
  Eval("NotMarks(1, a)");
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{1, 3}));
  EXPECT_EQ(Array(4), (std::vector<double>{1, -1, 3, 0}));
  // AndMarks keeps the marks the array holds, in their order.
  Reset();
  for (uint32_t r : {5, 1, 3}) ZetTable::AddMark(1, r);  // 2 4 5 1 3
  SetArray({3, 4, 1, 0, 2});
  Eval("AndMarks(1, a)");
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{4, 1, 3}));
  // Bit arrays: GetMarks sets bits, PutMarks clears and marks up to the count.
  Reset();
  SetBits(3, {0, 9});
  Eval("GetMarks(1, b)");
  EXPECT_EQ(Bits(3), (std::vector<int>{0, 2, 4, 9}));
  SetBits(4, {1, 3, 6});
  Eval("PutMarks(1, c)");
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{1, 3}));
  // Mark variables copy the list both ways.
  Reset();
  Eval("GetMarks(1, m)");
  ZetTable::ClearMarks(1);
  EXPECT_TRUE(Marks().empty());
  Eval("PutMarks(1, m)");
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{2, 4}));
  // GetRec and PutRec: the result is the shortfall against the record.
  Reset();
  const int32_t length = T().recordLength;
  EXPECT_EQ(Eval("GetRec(1, a)").value.number, std::min(80 - length, 0));
  Declare("knapp: REAL[1]");
  EXPECT_EQ(Eval("PutRec(1, knapp)").value.number, 16 - length);
}

TEST_F(TableFunctionsTest, BitArrayServices) {
  // BitOr of a 2-byte into an 8-byte array changes only the first 2 bytes.
  Declare("zwei: TBITS[15]");
  const uint16_t two = ZetVars::FindVariable("zwei");
  ZetVars::GetArrayData(two)->assign(2, 0xFF);
  EXPECT_EQ(Zet02::BitArrayOperation(true, 71, 3, two, 0), 16);
  EXPECT_EQ(Bits(3).size(), 16u);
  EXPECT_EQ(Zet02::BitArrayOperation(true, 76, 3, 0, 40), 17);
  EXPECT_EQ(Zet02::BitArrayOperation(true, 70, 3, two, 0), 1);
  EXPECT_EQ(Zet02::BitArrayOperation(true, 77, 3, 0, 40), 0);
  EXPECT_EQ(Zet02::BitArrayOperation(true, 71, 2, 3, 0), Zet02::kNotBitArray);
  EXPECT_EQ(Zet02::BitArrayOperation(false, 76, 3, 0, 1), 0);
  EXPECT_TRUE(Bits(3).empty());
  // InArray compares before it looks for the end marker.
  SetArray({0, 4});
  EXPECT_TRUE(Zet02::NumberInArray(0, 2));
  EXPECT_FALSE(Zet02::NumberInArray(4, 2));
  SetArray({3, 4.4});
  EXPECT_TRUE(Zet02::NumberInArray(4, 2));
  EXPECT_FALSE(Zet02::NumberInArray(4, 3));
}

TEST_F(TableFunctionsTest, SortTextArrayPutsEmptyTextsFirst) {
  EXPECT_EQ(Zet02::SortTextArray(false, 6, 3), 0);
  EXPECT_EQ(*ZetVars::GetArrayStrings(6), (std::vector<std::string>{"pflaume", "", "Apfel", "birne"}));
  EXPECT_EQ(Zet02::SortTextArray(true, 6, 99), 0);
  EXPECT_EQ(*ZetVars::GetArrayStrings(6), (std::vector<std::string>{"", "Apfel", "birne", "pflaume"}));
  *ZetVars::GetArrayStrings(6) = {"c", "b", "", "a"};
  Zet02::SortTextArray(true, 6, 1);
  EXPECT_EQ(*ZetVars::GetArrayStrings(6), (std::vector<std::string>{"b", "c", "", "a"}));
  EXPECT_EQ(Zet02::SortTextArray(true, 2, 3), Zet02::kErrVariableKind);
}

TEST_F(TableFunctionsTest, TableServices) {
  // Only indexes 1 and 2 can be rebuilt.
  EXPECT_EQ(Zet02::RebuildTableIndex(1, 3, 0), Zet02::kErrIndexNumber);
  EXPECT_EQ(Zet02::RebuildTableIndex(1, 2, 0), 0);
  editing_test::ExpectIndexesAgree(1);
  // Emptying: no records, the counter restarts, memo and blob files shrink.
  EXPECT_EQ(Eval("ClearDat(1)").value.number, 0);
  EXPECT_EQ(T().recordCount, 0);
  EXPECT_EQ(Eval("SetAuto(1, 0)").value.number, 1);
  EXPECT_EQ(Eval("FirstRec(1)").value.number, 0);
  ASSERT_EQ(Append({0, 70, "Neu", 1}), 0);
  EXPECT_EQ(editing_test::ReadArticle(1, 1).nr, 1);
  editing_test::ExpectIndexesAgree(1);
  // A copy in version 3 takes the table's own version, no records.
  EXPECT_EQ(Eval("NewTable(1, '" + TempPath("KOPIE.DAT") + "', 7, 3)").value.number, 0);
  ASSERT_EQ(Zet01::OpenTable(2, ZetTable::kRightsMask, TempPath("KOPIE.DAT"), 0, 0, ""), 0);
  EXPECT_EQ(ZetTable::Table(2)->version, T().version);
  EXPECT_EQ(ZetTable::Table(2)->recordCount, 0);
  EXPECT_EQ(Zet02::AutoNumberCounter(true, 2, 0), 7);
  // SetRecord names another open table.
  EXPECT_EQ(Eval("SetRecord(1, 2)").error, 0);
  EXPECT_EQ(Eval("SetRecord(1, 3)").error, 58);
}

TEST_F(TableFunctionsTest, SetFilterLimitsTheIndexWalk) {
  ASSERT_EQ(Append({0, 60, "M\xFCsli", 4}), 0);  // 6
  ASSERT_EQ(Append({0, 70, "Mais", 4}), 0);      // 7
  // Record order: only cleared.
  EXPECT_EQ(Eval("SetFilter(1, 'M\xFC')").error, 0);
  EXPECT_TRUE(T().lowLimit.empty());
  Eval("Access(1, 'NAMEN.IND')");
  Eval("SetFilter(1, 'M\xFC')");
  std::vector<double> walk;
  for (double r = Eval("FirstRec(1)").value.number; r != 0; r = Eval("NextRec(1)").value.number) walk.push_back(r);
  EXPECT_EQ(walk, (std::vector<double>{6}));
  Eval("SetFilter(1, 'B', 'Mango')");
  walk.clear();
  for (double r = Eval("FirstRec(1)").value.number; r != 0; r = Eval("NextRec(1)").value.number) walk.push_back(r);
  EXPECT_EQ(walk, (std::vector<double>{2, 3, 7, 4}));  // Birne Kirsche Mais Mango
}

TEST_F(TableFunctionsTest, ContextFunctionsReachTheCursorServices) {
  static double seen = 0;
  EngineHooks::SetCursorMarksFromArray = [](int32_t, double* e, int32_t count) {
    seen = e[0] + count;
    return int32_t(7);
  };
  EngineHooks::GetCursorMarksIntoArray = [](int32_t, double* e, int32_t) {
    e[0] = 42;
    return int32_t(3);
  };
  EngineHooks::ContextCount = [](int32_t) { return int32_t(12); };
  EngineHooks::ContextValue = [](int32_t, uint32_t recno) { return recno == 4; };
  EXPECT_EQ(Eval("PUTSTARS(a)").value.number, 7);
  EXPECT_EQ(seen, 12);
  EXPECT_EQ(Eval("GETSTARS(a)").value.number, 3);
  EXPECT_EQ(Array(1)[0], 42);
  EXPECT_EQ(Eval("STARNUM").value.number, 12);
  EXPECT_EQ(Eval("ISSTAR(4)").value.number, 1);
  EXPECT_EQ(Eval("ISSTAR(5)").value.number, 0);
  EXPECT_EQ(Eval("GETSTARS(s)").value.number, -44);
  // Without the apply flag no cursor service is called.
  EXPECT_EQ(Eval("STARNUM", false).value.number, 0);
  EXPECT_EQ(Eval("GETSTARS(a)", false).value.number, 0);
}

TEST_F(TableFunctionsTest, BlobsMoveToTheNewBlockSize) {
  // Three records with pictures; after re-blocking each reads back the same.
  std::vector<std::string> pictures = {std::string(300, 'a'), std::string(20, 'b'), std::string(1000, 'c')};
  for (uint32_t r = 1; r <= 3; ++r) {
    T().currentRecord = r;
    ASSERT_EQ(Zet01::ReadRecord(1, r), 0);
    ASSERT_GT(WinBlobs::InitPutBlob(T().blobFile, 0), -1);
    WinBlobs::PutBlobBlock(int32_t(pictures[r - 1].size()), pictures[r - 1].data());
    const uint32_t first = WinBlobs::DonePutBlob();
    std::vector<uint8_t> old = T().recordBuffer;
    bytes::PutU32(T().recordBuffer.data() + T().FieldOffset(editing_test::kBild), first);
    bool changed = false;
    ASSERT_EQ(Zet01::UpdateRecord(1, old.data(), changed, 0, true, false), 0);
  }
  EXPECT_EQ(Eval("ConvBlob(1, 32)").error, 0);
  EXPECT_EQ(T().blobFile.blockSize, 32u);
  for (uint32_t r = 1; r <= 3; ++r) {
    const uint32_t first = editing_test::ReadArticle(1, r).bild;
    const int32_t size = WinBlobs::InitGetBlob(T().blobFile, first);
    ASSERT_EQ(size, int32_t(pictures[r - 1].size()));
    std::string back(size_t(size), '\0');
    WinBlobs::GetBlobBlock(size, back.data());
    WinBlobs::DoneGetBlob();
    EXPECT_EQ(back, pictures[r - 1]) << r;
  }
}

// Relation marking over KUNDE -> POSTEN.REL -> ARTIKEL.
class RelationMarkTest : public TableFunctionsTest {
 protected:
  void SetUp() override {
    TableFunctionsTest::SetUp();
    auto k = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                          {"POSTEN", Common::kTypeRelation, 0, 0}});
    Zet00::SetKeyPart(k->idKeyDescription.data(), 0, {1, 4, Common::kTypeAutoNumber});
    k->nextAutoNumber = 1;
    Zet06::ClearCreateQueue();
    ASSERT_TRUE(Zet06::AddToCreateQueue(2, TempPath("ARTIKEL")));
    ASSERT_EQ(Zet06::CreateTable(*k, TempPath("KUNDE.DAT"), Common::ScrambleString(""), true, 0, 0), 0);
    ASSERT_EQ(Zet01::OpenTable(2, ZetTable::kRightsMask, TempPath("KUNDE.DAT"), 0, 0, ""), 0);
    ASSERT_EQ(Zet01::OpenTable(3, ZetTable::kRightsMask, TempPath("POSTEN.REL"), 0, 0, ""), 0);
    ZetTable::SetOpenTableSet(7);
    Zet01::BuildRelations(1);
  }
  // Customer c (appended when needed) with relation entries to records.
  static void Relate(int32_t customer, const std::vector<int32_t>& articles) {
    TZetTable& r = *ZetTable::Table(3);
    for (int32_t a : articles) {
      r.recordBuffer.assign(r.recordLength, 0);
      bytes::PutI32(r.recordBuffer.data() + r.FieldOffset(1), customer);
      bytes::PutI32(r.recordBuffer.data() + r.FieldOffset(2), a);
      ASSERT_EQ(Zet01::AppendRecord(3, false, 0), 0);
    }
    ASSERT_EQ(Zet01::FlushTable(3, true), 0);
  }
  static void AddCustomers(int n) {
    TZetTable& k = *ZetTable::Table(2);
    for (int i = 0; i < n; ++i) {
      k.recordBuffer.assign(k.recordLength, 0);
      ASSERT_EQ(Zet01::AssignAutoNumber(2), 0);
      ASSERT_EQ(Zet01::AppendRecord(2, true, 0), 0);
    }
  }
  static void Current(uint32_t customer) {
    ZetTable::Table(2)->currentRecord = customer;
    ASSERT_EQ(Zet01::ReadRecord(2, customer), 0);
  }
};

TEST_F(RelationMarkTest, ModesMarkKeepAndUnmark) {
  AddCustomers(2);
  Relate(1, {1, 3, 5});
  Relate(2, {2, 3});
  Current(1);
  ZetTable::ClearMarks(1);
  ZetTable::AddMark(1, 3);
  EXPECT_EQ(Zet02::MarkRel(2, 3, 0, 0), 2);  // 1 and 5 added, 3 was marked
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{3, 1, 5}));
  Current(2);
  EXPECT_EQ(Zet02::MarkRel(2, 3, 1, 0), 1);  // only 3 is linked and was marked
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{3}));
  ZetTable::AddMark(1, 2);
  ZetTable::AddMark(1, 4);
  EXPECT_EQ(Zet02::MarkRel(2, 3, 2, 0), 0);
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{4}));
  // Into a bit array instead of the marks.
  std::vector<uint8_t> bits(2, 0);
  EXPECT_EQ(Zet02::MarkLinkedRecords(2, 3, 0, bits.data(), 2), 2);
  EXPECT_EQ(bits[0], 0x0C);
  // A table without a relation index for its side.
  EXPECT_EQ(Zet02::MarkRel(1, 2, 0, 0), -int32_t(Zet02::kErrNoRelationIndex));
}

// MarkRel and RelIndex from Lumo source: the flag off changes nothing, the
// tables are checked, a missing relation index is the run error
// "Kein Relindex".
TEST_F(RelationMarkTest, RelationFunctionsFromSource) {
  AddCustomers(1);
  Relate(1, {1, 5});
  Current(1);
  ZetTable::ClearMarks(1);
  EXPECT_EQ(Eval("MarkRel(2, 3)", false).value.number, 0);
  EXPECT_TRUE(Marks().empty());
  EXPECT_EQ(Eval("MarkRel(2, 3, 0, 0)").value.number, 2);
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{1, 5}));
  EXPECT_EQ(Eval("MarkRel(2, 3, 2)").value.number, 0);
  EXPECT_TRUE(Marks().empty());
  EXPECT_EQ(Eval("MarkRel(2, 1)").error, 58);  // not a relation table
  EXPECT_EQ(Eval("MarkRel(2, 9)").error, 58);  // not open
  EXPECT_EQ(Eval("RelIndex(3, 3)").value.number, 58);
  EXPECT_EQ(Eval("RelIndex(3, 1)").value.number, 0);
  EXPECT_EQ(Eval("RelIndex(3, 1)", false).value.number, 0);
  EXPECT_EQ(Eval("RelIndex(2, 1)").value.number, 0);  // an ordinary table: nothing
  EXPECT_EQ(Eval("MarkRel(2, 3)").value.number, 2);  // the rebuilt index still serves
  // Without a relation index.
  for (auto& index : ZetTable::Table(3)->indexes) index.reset();
  EXPECT_EQ(Eval("MarkRel(2, 3)").error, Zet02::kErrNoRelationIndex);
  EXPECT_EQ(Common::ErrorArgument().str(), Zet02::kNoRelationIndexText);
}

// Keeping only linked marks loses none, however many there are: more than
// the 16001 entries a fixed buffer would hold.
TEST_F(RelationMarkTest, KeepModeHasNoFixedLimit) {
  constexpr int kRecords = 16010;
  ZetTable::MarkList(T());
  TZetTable& a = T();
  for (int i = 6; i <= kRecords; ++i) {
    a.recordBuffer.assign(a.recordLength, 0);
    editing_test::PutArticle(1, {0, int16_t(-i), "X", 0});
    ASSERT_EQ(Zet01::AssignAutoNumber(1), 0);
    ASSERT_EQ(Zet01::AppendRecord(1, false, 0), 0);
  }
  ASSERT_EQ(Zet01::FlushTable(1, true), 0);
  AddCustomers(1);
  Relate(1, {2, 16005, kRecords});
  Current(1);
  ZetTable::ClearMarks(1);
  for (uint32_t r = 1; r <= kRecords; ++r) ZetTable::AddMark(1, r);
  EXPECT_EQ(Zet02::MarkRel(2, 3, 1, 0), 3);
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{2, 16005, uint32_t(kRecords)}));
}

// PutMarks of 100,000 numbers and AndMarks over them stay quick; the
// benchmark measures the time, this only guards the result.
TEST_F(TableFunctionsTest, LargeMarkTransfersKeepEveryNumber) {
  Declare("viele: REAL[8000]");
  const uint16_t v = ZetVars::FindVariable("viele");
  std::vector<uint8_t>& data = *ZetVars::GetArrayData(v);
  for (size_t k = 0; k < data.size() / 8; ++k) {
    const double n = double(k + 1);
    std::memcpy(data.data() + k * 8, &n, 8);
  }
  ZetTable::ClearMarks(1);
  EXPECT_EQ(Zet02::VariableToMarks(true, 1, v), 0);
  EXPECT_EQ(Marks().size(), 8001u);
  SetArray({8001, 7, 3});
  EXPECT_EQ(Zet02::KeepMarksInArray(true, 1, 2), 0);
  EXPECT_EQ(Marks(), (std::vector<uint32_t>{3, 7, 8001}));
}

// The full-text functions over QUELLE.DAT (1), WORTE.DAT (2) and
// VOLLTEXT.REL (3) of the full-text tests.
class FullTextFunctionsTest : public fulltext_test::FullTextTableTest {
 protected:
  void SetUp() override {
    FullTextTableTest::SetUp();
    CreateTables();
    Append({"Apfel Birne", "", 0});
    Append({"Birne Kirsche", "", 0});
    Append({"Mango", "", 0});
    ZetTable::SetCurrentHandle(1);
    ZetTable::SetOpenTableSet(7);
    ZetTable::SetVisibleTableSet(1);
    size_t pos = 1;
    uint16_t err = 0;
    ZetVars::ParseVarDeclaration(0, "b: TBITS[15]", pos, err, false);
    ASSERT_EQ(err, 0);
  }
  static std::string Compile(const std::string& text) {
    ShortStr code(text);
    uint64_t set = 0;
    EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << text;
    return code.str();
  }
  static Zet02::TRunValue Run(const std::string& code, int& error) {
    Zet02::SetWriteEnable(true);
    Zet02::TRunValue value;
    size_t pos = 0;
    int dependency = 0;
    error = Zet02::ExecuteCode(code, pos, 3, value, dependency);
    Zet02::SetWriteEnable(false);
    return value;
  }
  static double Eval(const std::string& text, int expectedError = 0) {
    int error = 0;
    const Zet02::TRunValue v = Run(Compile(text), error);
    EXPECT_EQ(error, expectedError) << text;
    return v.number;
  }
  static std::vector<uint32_t> MarksNow() {
    std::vector<uint32_t> marks = ZetTable::MarkList(T(1)).Items();
    std::sort(marks.begin(), marks.end());
    return marks;
  }
};

TEST_F(FullTextFunctionsTest, BuildAndQuery) {
  // The word and relation tables must be open, the relation table one.
  EXPECT_EQ(Eval("ScanRecs(1, 2, 2, Fields(TITEL))", 58), 0);
  EXPECT_EQ(Eval("ScanRecs(1, 2, 3, 'TITEL')", 44), 0);
  EXPECT_EQ(T(3).recordCount, 0);
  EXPECT_EQ(Eval("ScanRecs(1, 2, 3, Fields(TITEL))"), 5);  // five words in three records
  EXPECT_EQ(T(3).recordCount, 5);
  EXPECT_EQ(Eval("MarkTable(1, 2, 'Birne', '', '', 0, 3)"), 0);
  EXPECT_EQ(MarksNow(), (std::vector<uint32_t>{1, 2}));
  // An unclosed parenthesis: 65333 and the marks of the part evaluated.
  EXPECT_EQ(Eval("MarkTable(1, 2, '(Mango', '', '', 0, 3)"), 65333);
  EXPECT_EQ(MarksNow(), (std::vector<uint32_t>{3}));
  // A word table that is not open is refused before the full text is read.
  EXPECT_EQ(Eval("MarkTable(1, 9, 'Birne')", 58), 0);
  EXPECT_EQ(MarksNow(), (std::vector<uint32_t>{3}));
  // The bit-array form (no name: 203/65) counts into the array and leaves
  // the marks alone; a REAL variable gives -52.
  std::string code = Compile("MarkTable(1, 2, 'Birne', '', '', 0, b, 3)");
  const size_t at = code.find(std::string("\xCB\x3C", 2));
  ASSERT_NE(at, std::string::npos);
  code[at + 1] = char(65);
  int error = 0;
  EXPECT_EQ(Run(code, error).number, 2);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ZetVars::GetArrayData(ZetVars::FindVariable("b"))->at(0), 0x06);
  EXPECT_EQ(MarksNow(), (std::vector<uint32_t>{3}));
  // ScanRec adds the current record and delivers 0.
  Append({"Zitrone", "", 0});
  T(1).currentRecord = 4;
  ASSERT_EQ(Zet01::ReadRecord(1, 4), 0);
  EXPECT_EQ(Eval("ScanRec(1, 2, 3, Fields(TITEL))"), 0);
  EXPECT_EQ(Eval("MarkTable(1, 2, 'Zitrone', '', '', 0, 3)"), 0);
  EXPECT_EQ(MarksNow(), (std::vector<uint32_t>{4}));
}

}  // namespace
