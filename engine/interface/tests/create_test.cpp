// Tables made field by field through the exports, and restructured tables:
// the type table of creation, the screen layout, refused fields, and a
// restructure of a filled table (fields dropped, retyped and added, with
// indexes and memos) that keeps every record, also when a file operation
// fails at any step or the process is killed at any change of a file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/interface/zeteng.h"
#include "engine/storage/zettable.h"
#include "platform/files.h"

namespace {

using interface_test::Field;
using interface_test::InterfaceTest;
using interface_test::kAllRights;
using interface_test::PeopleFields;

struct Def {
  const char* name;
  uint16_t type;
  uint16_t parameter = 0;
  int16_t source = 0;
  uint8_t properties = 0;
  const char* first = "";
  const char* second = "";
};
std::vector<Def> g_defs;

void FieldProc(int32_t field, ZetFieldDef* def, uint32_t) {
  const Def& d = g_defs.at(size_t(field - 1));
  def->sourceField = d.source;
  std::strncpy(def->name, d.name, sizeof def->name - 1);
  def->properties = d.properties;
  std::strncpy(def->first, d.first, sizeof def->first - 1);
  std::strncpy(def->second, d.second, sizeof def->second - 1);
  def->type = d.type;
  def->parameter = d.parameter;
}

int32_t Create(const std::string& path, int32_t version, std::vector<Def> defs) {
  g_defs = std::move(defs);
  return ZetRltnCreate(path.c_str(), "", 0, version, int32_t(g_defs.size()), FieldProc, 0, 0);
}

std::string LastError() {
  char text[256];
  const int32_t e = ZetGetLastError(text, sizeof text - 1);
  return std::to_string(e) + " " + text;
}

enum : uint16_t { C, S, I, F, B, J, D, M, A, N, L, P, R, Z };

TEST_F(InterfaceTest, CreationBuildsEachFieldTypeByTheTable) {
  const std::string path = TempPath("TYPEN.DAT");
  ASSERT_EQ(Create(path, 2,
                   {{"C1", C, 0, 0, 8}, {"S1", S, 1, 0, 1, "1"}, {"S20", S, 20}, {"I", I}, {"F", F, 2}, {"B", B},
                    {"J", J}, {"D", D}, {"M", M}, {"A", A, 0, 0, 0, "rot,gelb,gruen"}, {"P", P}, {"Z", Z, 0, 0, 8},
                    {"W", F, 1, 0, 2, "1\r\n100"}}),
            0)
      << LastError();
  const int32_t r = ZetRltnOpen(path.c_str(), "", 0, kAllRights);
  ASSERT_GT(r, 0) << LastError();
  const ZetTable::TZetTable& t = *ZetTable::Table(r);
  struct Want {
    uint8_t type, size, width;
  };
  const std::vector<Want> want = {{C, 0, 1},  {C, 0, 1},  {S, 20, 20}, {I, 1, 10}, {F, 7, 242}, {B, 0, 10}, {J, 0, 4},
                                  {D, 3, 10}, {M, 3, 4},  {A, 0, 243}, {P, 3, 4},  {Z, 2, 5},   {F, 7, 241}};
  ASSERT_EQ(t.fieldCount, want.size());
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(t.FieldType(n), want[n - 1].type);
    EXPECT_EQ(t.SizeCode(n), want[n - 1].size);
    EXPECT_EQ(t.Shown(n), want[n - 1].width);
  }
  EXPECT_EQ(t.TypeByte(12) & ZetTable::kTypeNullable, ZetTable::kTypeNullable) << "Z keeps its null flag";
  EXPECT_EQ(t.TypeByte(1) & ZetTable::kTypeNullable, 0) << "C never has one";
  EXPECT_EQ(t.StoredName(3), "S20: ");
  EXPECT_TRUE(t.hasMemoFile);
  EXPECT_TRUE(t.hasBlobFile);

  // The fields are found by their names; the choice list, the range and
  // the null flag come back through ZetTableGetFieldSpec.
  const int32_t cursor = ZetTableCreate(r);
  ZetFieldSpec described;
  ASSERT_EQ(ZetTableGetFieldSpec(cursor, 10, &described), 0);
  EXPECT_STREQ(described.name, "A");
  EXPECT_STREQ(described.extra, "rot,gelb,gruen");
  ASSERT_EQ(ZetTableGetFieldSpec(cursor, 13, &described), 0);
  EXPECT_STREQ(described.formula, "1.0\r\n100.0");
  EXPECT_EQ(ZetTableGetFieldNo(cursor, "S20"), 3);
  ASSERT_EQ(ZetTableAppend(cursor), 0);
  ASSERT_EQ(ZetTableSetStr(cursor, "S20", "Hallo"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(cursor), 0);
  EXPECT_EQ(Field(cursor, "S20"), "Hallo");
  ZetRltnCloseAll();

  // A version-1 table stores reals in 6 bytes.
  const std::string old = TempPath("ALT.DAT");
  ASSERT_EQ(Create(old, 1, {{"F", F, 2}}), 0) << LastError();
  const int32_t r1 = ZetRltnOpen(old.c_str(), "", 0, kAllRights);
  ASSERT_GT(r1, 0);
  EXPECT_EQ(ZetTable::Table(r1)->SizeCode(1), ZetTable::kSizeReal6);
}

TEST_F(InterfaceTest, ChoiceListsAreWordsSeparatedByBlanksAndAnOptionalComma) {
  // ZetTableGetFieldSpec lists the choices in name form, up to the first empty
  // one (a single blank).
  struct Case {
    const char* text;
    const char* choices;
    uint8_t count;
    const char* value;  // set as text and read back as the same choice
  };
  const Case cases[] = {
      {"rot gruen blau", "rot,gruen,blau", 3, "gruen"},
      {"rot,gruen,blau", "rot,gruen,blau", 3, "blau"},
      {"Rot, Gr\xFCn, Blau", "Rot,Gr\xFCn,Blau", 3, "Gr\xFCn"},
      {"'dunkel rot' \"hell blau\" , x^y", "dunkel_rot,hell_blau,xy", 3, "hell_blau"},
      {"a,,b", "a", 3, "a"},
      {"eins / zwei", "eins,zwei", 2, "zwei"},
      {"a b c d e f g h i j k l m n o p q", "a,b,c,d,e,f,g,h,i,j,k,l,m,n,o", 15, "o"},
      {"Zwanzigzeichenundmehr", "Zwanzigzeichenundmeh", 1, "Zwanzigzeichenundmeh"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = TempPath("WAHL" + std::to_string(++n) + ".DAT");
    ASSERT_EQ(Create(path, 2, {{"X", I}, {"A", A, 0, 0, 0, c.text}}), 0) << LastError();
    const int32_t r = ZetRltnOpen(path.c_str(), "", 0, kAllRights);
    ASSERT_GT(r, 0) << LastError();
    const int32_t cursor = ZetTableCreate(r);
    ZetFieldSpec described;
    ASSERT_EQ(ZetTableGetFieldSpec(cursor, 2, &described), 0);
    EXPECT_STREQ(described.extra, c.choices);
    EXPECT_EQ(ZetTable::Table(r)->Shown(2), 240 + c.count);
    ASSERT_EQ(ZetTableAppend(cursor), 0);
    ASSERT_EQ(ZetTableSetStr(cursor, "X", "1"), 0);
    EXPECT_EQ(ZetTableSetStr(cursor, "A", c.value), 0);
    ASSERT_EQ(ZetTableAppendConfirm(cursor), 0);
    EXPECT_EQ(Field(cursor, "A"), c.value);
    ZetRltnCloseAll();
  }
}

TEST_F(InterfaceTest, CreationLaysFieldsOutInColumnsOf18Rows) {
  std::vector<Def> defs;
  static std::vector<std::string> names;
  names.clear();
  for (int i = 1; i <= 20; ++i) names.push_back("F" + std::to_string(i));
  for (const std::string& n : names) defs.push_back({n.c_str(), I});
  const std::string path = TempPath("LAYOUT.DAT");
  ASSERT_EQ(Create(path, 2, defs), 0) << LastError();
  const int32_t r = ZetRltnOpen(path.c_str(), "", 0, kAllRights);
  ASSERT_GT(r, 0);
  const ZetTable::TZetTable& t = *ZetTable::Table(r);
  EXPECT_EQ(t.Descriptor(1)[ZetTable::kDescLayoutLine], 1);
  EXPECT_EQ(t.Descriptor(18)[ZetTable::kDescLayoutLine], 18);
  EXPECT_EQ(t.Descriptor(19)[ZetTable::kDescLayoutLine], 1 | (1 << 6)) << "column 1, row 1";
  EXPECT_EQ(t.Descriptor(20)[ZetTable::kDescLayoutLine], 2 | (1 << 6));
}

TEST_F(InterfaceTest, CreationRefusesBadFieldsAndLeavesNoFiles) {
  struct Case {
    const char* what;
    std::vector<Def> defs;
    int32_t result;
    int32_t error;
  };
  std::vector<Def> tenLinks;
  static const char* linkNames[] = {"L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "L10"};
  for (const char* name : linkNames) tenLinks.push_back({name, L, 0, 0, 0, "", "ZIEL"});
  const std::vector<Case> cases = {
      {"empty choice list", {{"X", I}, {"A", A}}, -14, -68},
      {"string of length 0", {{"S", S, 0}}, -14, -68},
      {"range that does not compile", {{"W", F, 2, 0, 2, "1 +"}}, -14, -70},
      {"range of one value", {{"W", F, 2, 0, 2, "7"}}, -14, -70},
      {"tenth link field", tenLinks, -14, -73},
      {"identifier key that does not compile", {{"NR", N, 1, 0, 0, "", "NICHTDA"}}, -18, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = TempPath("FALSCH.DAT");
    EXPECT_EQ(Create(path, 2, c.defs), c.result);
    char text[256];
    const int32_t e = ZetGetLastError(text, sizeof text - 1);
    if (c.error != 0) {
      EXPECT_EQ(e, c.error) << text;
    }
    EXPECT_FALSE(platform::FileExists(path));
  }
}

// ---- Restructuring ------------------------------------------------------------

constexpr int kRecords = 12;

std::string MemoOf(int code) { return "Notiz " + std::to_string(code) + "\r\nzweite Zeile"; }

void PutMemo(int32_t cursor, const std::string& text) {
  ASSERT_EQ(ZetTableInitPutMemo(cursor, "NOTIZ"), 0);
  ASSERT_GE(ZetTablePutMemoBlock(text.c_str(), int32_t(text.size())), 0);
  ASSERT_EQ(ZetTableDonePutMemo(cursor, "NOTIZ"), 0);
}

std::string GetMemo(int32_t cursor) {
  const int32_t length = ZetTableInitGetMemo(cursor, "NOTIZ");
  if (length <= 0) return "";
  std::string text(size_t(length), '\0');
  const int32_t got = ZetTableGetMemoBlock(text.data(), length);
  ZetTableDoneGetMemo();
  text.resize(size_t(std::max(got, 0)));
  return text;
}

// The articles with codes 1..n, names "Artikel k", amounts 100 - k, a memo
// each and a blob on every third.
void FillArticles(const std::string& path) {
  const int32_t r = ZetRltnOpen(path.c_str(), "", editing_test::kTableKey, kAllRights);
  ASSERT_GT(r, 0);
  const int32_t c = ZetTableCreate(r);
  for (int k = 1; k <= kRecords; ++k) {
    ASSERT_EQ(interface_test::AddArticle(c, k, "Artikel " + std::to_string(k), 100 - k), 0);
    ASSERT_EQ(ZetTableEdit(c), 0);
    PutMemo(c, MemoOf(k));
    if (k % 3 == 0) {
      const std::string blob(5000, char('a' + k));
      ASSERT_EQ(ZetTableInitPutBlob(c, "BILD", int32_t(blob.size())), 0);
      ASSERT_GE(ZetTablePutBlobBlock(blob.data(), int32_t(blob.size())), 0);
      ASSERT_EQ(ZetTableDonePutBlob(c, "BILD"), 0);
    }
    ASSERT_EQ(ZetTableEditConfirm(c), 0);
  }
  ZetTableDelete(c);
  ZetRltnCloseAll();
}

// The new structure: NR kept, CODE kept, NAME widened to 30 (its index is
// built again), MENGE kept with its index, NOTIZ kept, BILD dropped, NEU
// added.
const std::vector<Def>& NewStructure() {
  static const std::vector<Def> defs = {{"NR", N, 1, 1, 0, "", "CODE"}, {"CODE", I, 0, 2}, {"NAME", S, 30, 3},
                                        {"MENGE", I, 0, 4},            {"NOTIZ", M, 0, 5}, {"NEU", S, 10, 0}};
  return defs;
}

int32_t Restructure(int32_t relation) {
  g_defs = NewStructure();
  return ZetRltnRestructure(relation, "", editing_test::kTableKey, 2, int32_t(g_defs.size()), FieldProc, 0, nullptr);
}

std::vector<std::string> IndexNames(int32_t relation) {
  char names[512] = {};
  EXPECT_EQ(ZetRltnGetIndexNames(relation, names, sizeof names - 1), 0);
  std::vector<std::string> list;
  std::string text(names);
  for (size_t start = 0; start < text.size();) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    list.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return list;
}

// What the table is: "old" or "new" when it opens and every record, memo and
// index agrees with that structure, else a description of what is wrong.
std::string TableState(const std::string& path) {
  const int32_t r = ZetRltnOpen(path.c_str(), "", editing_test::kTableKey, kAllRights);
  if (r <= 0) return "does not open: " + LastError();
  const int32_t c = ZetTableCreate(r);
  if (c <= 0) return "no cursor";
  const bool isNew = ZetTableGetFieldNo(c, "NEU") > 0;
  std::string state = isNew ? "new" : "old";
  auto fail = [&](const std::string& what) {
    if (state == "new" || state == "old") state = std::string(isNew ? "new" : "old") + " table but " + what;
  };
  if (ZetTableRecordCount(c) != kRecords) fail("count " + std::to_string(ZetTableRecordCount(c)));
  if (ZetTableGetNumFields(c) != (isNew ? 6 : 6)) fail("field count");
  for (int k = 1; k <= kRecords && state.size() <= 3; ++k) {
    if (ZetTableSetRecNo(c, k) != k) fail("record " + std::to_string(k));
    const int code = std::stoi(Field(c, "CODE"));
    if (Field(c, "NAME") != "Artikel " + std::to_string(code)) fail("name of " + std::to_string(code));
    if (Field(c, "MENGE") != std::to_string(100 - code)) fail("amount of " + std::to_string(code));
    if (GetMemo(c) != MemoOf(code)) fail("memo of " + std::to_string(code));
    if (isNew && Field(c, "NEU") != "") fail("new field not empty");
  }
  // The amount index walks every record, descending.
  if (ZetTableSetAccess(c, "MENGE.IND", 0) != 0) {
    fail("no amount index");
  } else {
    int previous = 1000, seen = 0;
    for (int32_t s = ZetTableFirst(c); s >= 0; s = ZetTableMoveBy(c, 1), ++seen) {
      const int amount = std::stoi(Field(c, "MENGE"));
      if (amount > previous) fail("amount index out of order");
      previous = amount;
    }
    if (seen != kRecords) fail("amount index holds " + std::to_string(seen));
  }
  const auto names = IndexNames(r);
  if (std::find(names.begin(), names.end(), "NAMEN.IND") == names.end()) fail("no name index");
  if (isNew && ZetTableGetFieldNo(c, "BILD") != 0) fail("BILD still there");
  ZetTableDelete(c);
  ZetRltnCloseAll();
  return state;
}

// Every file operation of a restructure fails in turn, kind by kind from
// the first one up: the answer is 0 and the table the new one, or -20/-21
// and the table the old one with no work directory left; the relation is
// open under its handle either way. A failure in the last steps (removing
// what the swap left) is not the restructure's: it answers 0 and later
// steps may still fail, so a kind ends only after four successes in a row.
// Reads are many and fail alike: the first 120 stand for them. Answers the
// number of failures seen.
struct TFaultWalk {
  std::function<int32_t()> open;  // the relation handle
  std::function<int32_t(int32_t)> restructure;
  std::function<std::string()> state;  // "old", "new" or what is wrong
  std::function<void()> refill;
  std::string stem;  // the table's path without extension
};

int WalkFileFaults(const TFaultWalk& w, std::initializer_list<platform::FileOp> ops) {
  using platform::FileOp;
  int failuresSeen = 0;
  for (FileOp op : ops) {
    int successes = 0;
    const int last = op == FileOp::Read ? 120 : 300;
    for (int nth = 1; successes < 4 && nth <= last; ++nth) {
      SCOPED_TRACE("operation " + std::to_string(int(op)) + " number " + std::to_string(nth));
      const int32_t r = w.open();
      platform::InjectFileFault(op, nth, platform::kDosWriteFault);
      const int32_t result = w.restructure(r);
      platform::ResetFileFaults();
      const bool open = ZetGetNumRelations() >= r && ZetTable::Table(r) != nullptr;
      ZetRltnCloseAll();
      const std::string state = w.state();
      EXPECT_TRUE(open) << "the relation is open under its handle";
      if (result == 0) {
        ++successes;
        EXPECT_EQ(state, "new");
      } else {
        successes = 0;
        ++failuresSeen;
        EXPECT_EQ(state, "old") << "answer " << result;
        EXPECT_TRUE(result == -20 || result == -21) << result;
        const std::string directory = w.stem.substr(0, w.stem.find_last_of('/') + 1);
        const std::string name = w.stem.substr(directory.size());
        EXPECT_FALSE(platform::DirectoryExists(directory + "~" + name)) << "work directory left";
        EXPECT_FALSE(platform::DirectoryExists(directory + "$" + name)) << "backup directory left";
      }
      if (state != "old") w.refill();
    }
  }
  return failuresSeen;
}

class RestructureTest : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    FillArticles(Path());
  }
  void TearDown() override {
    platform::ResetFileFaults();
    InterfaceTest::TearDown();
  }
  // A fresh filled table (after a restructure changed it).
  void Refill() {
    ZetRltnCloseAll();
    for (const char* f : {"ARTIKEL.DAT", "ARTIKEL.MMO", "ARTIKEL.BLB", "ARTIKEL.INR", "ARTIKEL.ID",
                                 "NAMEN.IND", "MENGE.IND"})
      platform::DeleteFile(TempPath(f));
    editing_test::CreateArticles(Path());
    FillArticles(Path());
  }
  bool NoWorkLeft() {
    return !platform::DirectoryExists(TempPath("~ARTIKEL")) && !platform::DirectoryExists(TempPath("$ARTIKEL"));
  }
  // A restructure in a child process that is killed right before its k-th
  // change of a file (0: never): minus the signal, the changes counted
  // (at most 250) or 255 for a failed restructure.
  int RunKilledRestructure(int k) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int32_t r = ZetRltnOpen(Path().c_str(), "", editing_test::kTableKey, kAllRights);
      platform::InjectCrashAtChange(k);
      const int32_t result = r > 0 ? Restructure(r) : -999;
      const int changes = platform::ChangesCounted();
      _exit(result == 0 ? std::min(changes, 250) : 255);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
  }
};

TEST_F(RestructureTest, KeepsEveryRecordThroughDroppedRetypedAndAddedFields) {
  ASSERT_EQ(TableState(Path()), "old");
  const int32_t r = OpenArticles();
  ASSERT_EQ(Restructure(r), 0) << LastError();
  EXPECT_EQ(ZetGetNumRelations(), r) << "the relation stays open under its handle";
  const int32_t c = ZetTableCreate(r);
  EXPECT_EQ(ZetTableRecordCount(c), kRecords);
  ASSERT_EQ(ZetTableAppend(c), 0);
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "500"), 0);
  EXPECT_EQ(ZetTableAppendConfirm(c), 0);
  EXPECT_EQ(std::stoi(Field(c, "NR")), kRecords + 1) << "the identifier counter goes on";
  ASSERT_GE(ZetTableDeleteRecord(c), 0);
  ZetRltnCloseAll();
  EXPECT_EQ(TableState(Path()), "new");
  EXPECT_TRUE(NoWorkLeft());
  EXPECT_FALSE(platform::FileExists(TempPath("ARTIKEL.BLB"))) << "the dropped blob field's file goes";
}

// A table with a relation field: its relation table opens with it.
// An open that fails at any file step leaves no file and no slot held: the
// next open, without any close between, succeeds and finds every record.
// Both a table with memo, blob and indexes and one whose relation table
// opens with it.
TEST_F(RestructureTest, AnOpenFailingAtAnyFileStepLeavesNothingHeld) {
  struct Plan {
    platform::FileOp op;
    int steps, error;
    const char* name;
  } const plans[] = {
      {platform::FileOp::Open, 16, platform::kDosSharingViolation, "open"},
      {platform::FileOp::Read, 48, platform::kDosReadFault, "read"},
      {platform::FileOp::Write, 8, platform::kDosWriteFault, "write"},
      {platform::FileOp::Create, 4, platform::kDosAccessDenied, "create"},
      {platform::FileOp::Truncate, 2, platform::kDosWriteFault, "truncate"},
  };
  ZetRltnCloseAll();
  const std::string friends = TempPath("LEUTE.DAT");
  ASSERT_EQ(ZetRltnCreate(friends.c_str(), "", 0, 2, 3, PeopleFields, 0, 0), 0);
  struct Table {
    std::string path;
    uint32_t key;
    int32_t relations, records;
  } const tables[] = {{Path(), editing_test::kTableKey, 1, kRecords}, {friends, 0, 2, 0}};
  for (const Table& table : tables) {
    for (const Plan& plan : plans) {
      int failures = 0;
      for (int nth = 1; nth <= plan.steps; ++nth) {
        SCOPED_TRACE(table.path + ": " + plan.name + " fault at step " + std::to_string(nth));
        platform::InjectFileFault(plan.op, nth, plan.error);
        const int32_t failed = ZetRltnOpen(table.path.c_str(), "", table.key, kAllRights);
        platform::ResetFileFaults();
        if (failed > 0) {
          ZetRltnCloseAll();
        } else {
          ++failures;
          EXPECT_EQ(ZetGetNumRelations(), 0) << "a failed open keeps no slot";
        }
        const int32_t r = ZetRltnOpen(table.path.c_str(), "", table.key, kAllRights);
        ASSERT_GT(r, 0) << LastError();
        EXPECT_EQ(ZetGetNumRelations(), table.relations);
        const int32_t c = ZetTableCreate(r);
        EXPECT_EQ(ZetTableRecordCount(c), table.records);
        ZetTableDelete(c);
        ZetRltnCloseAll();
      }
      if (plan.op == platform::FileOp::Open || plan.op == platform::FileOp::Read) {
        EXPECT_GT(failures, 0) << plan.name << " faults reached the open";
      }
    }
  }
}

TEST_F(RestructureTest, IsRefusedWithoutRightsAndOnBadHandles) {
  const int32_t r = ZetRltnOpen(Path().c_str(), "", editing_test::kTableKey, 0);
  ASSERT_GT(r, 0);
  EXPECT_EQ(Restructure(r), -21);
  EXPECT_EQ(Restructure(r + 1), -17);
  EXPECT_EQ(Restructure(0), -17);
  ZetRltnCloseAll();
  EXPECT_EQ(TableState(Path()), "old");
  EXPECT_TRUE(NoWorkLeft());
}

// Every file operation of a restructure fails in turn: the answer is 0 and
// the table the new one, or an error and the table the old one, open again.
TEST_F(RestructureTest, AFailureAtAnyFileStepLeavesTheOldOrTheNewTableWhole) {
  using platform::FileOp;
  const TFaultWalk walk = {[&] { return OpenArticles(); }, [](int32_t r) { return Restructure(r); },
                           [&] { return TableState(Path()); }, [&] { Refill(); }, TempPath("ARTIKEL")};
  EXPECT_GT(WalkFileFaults(walk, {FileOp::Create, FileOp::Write, FileOp::Rename, FileOp::Delete, FileOp::Open,
                                  FileOp::Directory, FileOp::Truncate, FileOp::Read}),
            20);
  EXPECT_TRUE(NoWorkLeft());
}

// The restructure runs in a child process that is killed right before its
// k-th change of a file, for k spread over the whole run: the next open
// finds the old or the new table, whole.
TEST_F(RestructureTest, AKillAtAnyChangeLeavesTheOldOrTheNewTableWhole) {
  auto runChild = [&](int k) { return RunKilledRestructure(k); };
  ZetRltnCloseAll();
  // A run without a kill tells how many changes a restructure makes.
  const int total = runChild(0);
  ASSERT_GT(total, 10);
  ASSERT_EQ(TableState(Path()), "new");
  Refill();
  std::mt19937 random(20261210);
  std::vector<int> points = {1, total / 2, total - 2, total - 1, total};
  for (int i = 0; i < 10; ++i) points.push_back(1 + int(random() % unsigned(total)));
  int sawOld = 0, sawNew = 0;
  for (int k : points) {
    SCOPED_TRACE("killed before change " + std::to_string(k));
    const int status = runChild(k);
    EXPECT_TRUE(status == -SIGKILL || status < 255) << status;
    const std::string state = TableState(Path());
    EXPECT_TRUE(state == "old" || state == "new") << state;
    (state == "new" ? sawNew : sawOld)++;
    EXPECT_TRUE(NoWorkLeft() || state == "old");
    if (state == "new") Refill();
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

// A user index over an expression is built again when its key text still
// compiles over the new structure, and left out, with the reason as the
// last error, when it does not.
TEST_F(RestructureTest, ExpressionIndexesAreRebuiltWhileTheirKeyStillCompiles) {
  const int32_t r = OpenArticles();
  ASSERT_EQ(ZetRltnCreateIndex(r, "DOPPELT", "(MENGE*2)", 0, nullptr), 0) << LastError();
  ASSERT_EQ(ZetRltnCreateIndex(r, "PLUSEINS", "(CODE+1)", 0, nullptr), 0) << LastError();
  g_defs = NewStructure();
  g_defs[0].second = "KODE";
  g_defs[1].name = "KODE";
  ASSERT_EQ(ZetRltnRestructure(r, "", editing_test::kTableKey, 2, int32_t(g_defs.size()), FieldProc, 0, nullptr), 0)
      << LastError();
  EXPECT_NE(LastError().find("PLUSEINS: (CODE+1)"), std::string::npos) << LastError();
  const auto names = IndexNames(r);
  EXPECT_NE(std::find(names.begin(), names.end(), "DOPPELT.IND"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "PLUSEINS.IND"), names.end());
  EXPECT_FALSE(platform::FileExists(TempPath("PLUSEINS.IND")));
  const int32_t c = ZetTableCreate(r);
  ASSERT_EQ(ZetTableSetAccess(c, "DOPPELT.IND", 0), 0);
  std::vector<int> amounts;
  for (int32_t s = ZetTableFirst(c); s >= 0; s = ZetTableMoveBy(c, 1)) amounts.push_back(std::stoi(Field(c, "MENGE")));
  EXPECT_EQ(amounts.size(), size_t(kRecords));
  EXPECT_TRUE(std::is_sorted(amounts.begin(), amounts.end())) << "in the order of the rebuilt key";
  ZetTableDelete(c);
}

// A user index whose key field changes type or size is built again over the
// new field (by its number, so a new name does not matter); one that cannot
// be is left out and named, with the reason, in the last error.
TEST_F(RestructureTest, IndexesOverRetypedOrResizedFieldsAreRebuiltOrNamed) {
  struct Case {
    const char* what;
    Def name, amount;  // the new NAME and MENGE fields
    bool nameIndex, amountIndex;
    const char* error;  // what the last error holds, "" none
  } const cases[] = {
      {"name widened", {"NAME", S, 30, 3}, {"MENGE", I, 0, 4}, true, true, ""},
      {"name narrowed", {"NAME", S, 10, 3}, {"MENGE", I, 0, 4}, true, true, ""},
      {"name renamed and widened", {"TITEL", S, 25, 3}, {"MENGE", I, 0, 4}, true, true, ""},
      {"amount a real", {"NAME", S, 20, 3}, {"MENGE", F, 2, 4}, true, true, ""},
      {"amount a text", {"NAME", S, 20, 3}, {"MENGE", S, 5, 4}, true, true, ""},
      {"amount a byte", {"NAME", S, 20, 3}, {"MENGE", B, 0, 4}, true, true, ""},
      {"name a memo", {"NAME", M, 0, 3}, {"MENGE", I, 0, 4}, false, true, "NAMEN: NAME"},
      {"name a new field", {"NAME", S, 20, 0}, {"MENGE", F, 2, 4}, false, true, "NAMEN: NAME"},
      {"name a memo, amount a new field", {"NAME", M, 0, 3}, {"MENGE", I, 0, 0}, false, false, "-MENGE:2; NAMEN: NAME"},
  };
  // The order of the writes on a disk is not what this shows.
  struct TNoSyncs {
    TNoSyncs() { LOWFILES::SetSyncWrites(false); }
    ~TNoSyncs() { LOWFILES::SetSyncWrites(true); }
  } noSyncs;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Refill();
    const int32_t r = OpenArticles();
    g_defs = {{"NR", N, 1, 1, 0, "", "CODE"}, {"CODE", I, 0, 2}, c.name, c.amount, {"NOTIZ", M, 0, 5}};
    ASSERT_EQ(ZetRltnRestructure(r, "", editing_test::kTableKey, 2, int32_t(g_defs.size()), FieldProc, 0, nullptr), 0);
    const std::string error = LastError();
    if (*c.error == 0) {
      EXPECT_EQ(error, "0 ");
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    const auto names = IndexNames(r);
    EXPECT_EQ(std::find(names.begin(), names.end(), "NAMEN.IND") != names.end(), c.nameIndex);
    EXPECT_EQ(std::find(names.begin(), names.end(), "MENGE.IND") != names.end(), c.amountIndex);
    EXPECT_EQ(platform::FileExists(TempPath("NAMEN.IND")), c.nameIndex);
    // Each index kept walks every record in the order of its key.
    const int32_t cursor = ZetTableCreate(r);
    auto walk = [&](const char* index, const char* field) {
      std::vector<std::string> values;
      EXPECT_EQ(ZetTableSetAccess(cursor, index, 0), 0);
      for (int32_t s = ZetTableFirst(cursor); s >= 0; s = ZetTableMoveBy(cursor, 1)) values.push_back(Field(cursor, field));
      return values;
    };
    if (c.nameIndex) {
      const auto names = walk("NAMEN.IND", c.name.name);
      EXPECT_EQ(names.size(), size_t(kRecords));
      EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    }
    if (c.amountIndex) {
      std::vector<double> amounts;
      for (const std::string& v : walk("MENGE.IND", "MENGE")) amounts.push_back(std::stod(v));
      EXPECT_EQ(amounts.size(), size_t(kRecords));
      EXPECT_TRUE(std::is_sorted(amounts.rbegin(), amounts.rend())) << "descending";
    }
    ZetTableDelete(cursor);
  }
}

// A swap that a killed process left half done is finished by any open of
// the table, also by one from the macro language.
TEST_F(RestructureTest, AnOpenFromTheLanguageFinishesAnInterruptedSwap) {
  ZetRltnCloseAll();
  const int total = RunKilledRestructure(0);
  ASSERT_GT(total, 10);
  Refill();
  ZetRltnCloseAll();
  const std::string journal = TempPath("~ARTIKEL/RESTRUCT.JNL");
  int k = total;
  while (k > 1 && !platform::FileExists(journal)) {
    ASSERT_EQ(RunKilledRestructure(--k), -SIGKILL);
    if (!platform::FileExists(journal) && TableState(Path()) != "old") Refill();
  }
  ASSERT_TRUE(platform::FileExists(journal)) << "a kill within the swap";
  uint8_t code[256];
  char result[256];
  const std::string open = "OpenDb(\"" + Path() + "\", \"\", 15, " + std::to_string(editing_test::kTableKey) + ")";
  ASSERT_EQ(ZetTokenize(0, code, open.c_str()), 0) << open;
  ASSERT_EQ(ZetExecMacro(0, result, code, 255, 0), 0);
  EXPECT_STREQ(result, "1") << "the table opened into slot 1";
  EXPECT_TRUE(NoWorkLeft());
  ZetRltnCloseAll();
  EXPECT_EQ(TableState(Path()), "new");
}

}  // namespace

namespace {

// LEUTE (NR, NAME, FREUNDE a relation to itself) with Anna, Bert and Carl
// and the entries 1>2, 1>3, 2>3; restructured, its relation field renamed to
// BEKANNTE and NAME widened.
class RelationRestructureTest : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    Fill();
  }
  void TearDown() override {
    platform::ResetFileFaults();
    InterfaceTest::TearDown();
  }
  void Fill() {
    ZetRltnCloseAll();
    for (const auto& e : std::filesystem::directory_iterator(TempDir()))
      for (const char* stem : {"LEUTE", "FREUNDE", "BEKANNTE", "~LEUTE", "$LEUTE"})
        if (e.path().filename().string().rfind(stem, 0) == 0) std::filesystem::remove_all(e.path());
    ZetTableDelete(interface_test::OpenPeopleWithFriends(Path()));
    ZetRltnCloseAll();
  }
  std::string Path() { return TempPath("LEUTE.DAT"); }
  int32_t Restructure(int32_t relation, const char* relationField, int16_t idSource = 1) {
    g_defs = {{"NR", N, 1, idSource, 0, "", "NAME"}, {"NAME", S, 30, 2}, {relationField, R, 0, 3, 0, "", "@"}};
    return ZetRltnRestructure(relation, "", 0, 2, 3, FieldProc, 0, nullptr);
  }
  // "old" or "new" when the table opens with its relation table and every
  // person and entry is there under the field of that structure.
  std::string State() {
    const int32_t r = ZetRltnOpen(Path().c_str(), "", 0, kAllRights);
    if (r <= 0) return "does not open: " + LastError();
    const int32_t people = ZetTableCreate(r);
    const bool isNew = ZetTableGetFieldNo(people, "BEKANNTE") > 0;
    const std::string field = isNew ? "BEKANNTE" : "FREUNDE";
    std::string state = isNew ? "new" : "old";
    auto fail = [&](const std::string& what) { state += (state.size() <= 3 ? " table but " : ", ") + what; };
    if (ZetGetNumRelations() != 2) fail("relations open " + std::to_string(ZetGetNumRelations()));
    if (ZetTableRecordCount(people) != 3) fail("count");
    const std::vector<std::vector<std::string>> want = {{"1>2", "1>3"}, {"2>3"}, {}};
    for (int k = 1; k <= 3; ++k) {
      if (ZetTableSetRecNo(people, k) != k) {
        fail("record");
        continue;
      }
      const int32_t entries = ZetTableCreateRelTable(people, field.c_str());
      std::vector<std::string> seen;
      for (int32_t s = ZetTableFirst(entries); entries > 0 && s >= 0; s = ZetTableMoveBy(entries, 1))
        seen.push_back(Field(entries, "1") + ">" + Field(entries, "2"));
      if (seen != want[size_t(k - 1)]) fail("entries of " + std::to_string(k));
      ZetTableDelete(entries);
    }
    if (platform::FileExists(TempPath(isNew ? "FREUNDE.REL" : "BEKANNTE.REL"))) fail("other relation table");
    ZetTableDelete(people);
    ZetRltnCloseAll();
    return state;
  }
};

TEST_F(RelationRestructureTest, ARenamedRelationFieldTakesItsEntriesAlong) {
  int32_t r = ZetRltnOpen(Path().c_str(), "", 0, kAllRights);
  ASSERT_EQ(Restructure(r, "FREUNDE"), 0) << LastError();
  EXPECT_EQ(ZetGetNumRelations(), 2);
  ZetRltnCloseAll();
  EXPECT_EQ(State(), "old") << "kept under its name";

  r = ZetRltnOpen(Path().c_str(), "", 0, kAllRights);
  ASSERT_EQ(Restructure(r, "BEKANNTE"), 0) << LastError();
  EXPECT_EQ(ZetGetNumRelations(), 2) << "the relation table stays open, under its new name";
  char name[64] = {};
  ASSERT_EQ(ZetRltnGetName(2, name, sizeof name - 1, 1), 0);
  EXPECT_STREQ(name, "BEKANNTE.REL");
  const int32_t people = ZetTableCreate(r);
  ASSERT_EQ(ZetTableSetRecNo(people, 2), 2);
  const int32_t entries = ZetTableCreateRelTable(people, "BEKANNTE");
  ASSERT_GT(entries, 0);
  ASSERT_EQ(ZetTableAppend(entries), 0);
  ASSERT_EQ(ZetTableSetStr(entries, "2", "1"), 0);
  EXPECT_EQ(ZetTableAppendConfirm(entries), 0) << "the moved relation table takes new entries";
  ASSERT_GE(ZetTableDeleteRecord(entries), 0);
  ZetTableDelete(entries);
  ZetTableDelete(people);
  ZetRltnCloseAll();
  EXPECT_EQ(State(), "new");
  EXPECT_FALSE(platform::DirectoryExists(TempPath("~LEUTE")));

  // Entries belong to identifiers: a structure that numbers its records
  // anew cannot take them along, and is refused.
  r = ZetRltnOpen(Path().c_str(), "", 0, kAllRights);
  EXPECT_EQ(Restructure(r, "FREUNDE", 0), -21);
  ZetRltnCloseAll();
  EXPECT_EQ(State(), "new");

  // A relation table of the new name that is not the table's own would be
  // pushed out by the swap: refused, nothing changed.
  std::filesystem::copy_file(TempPath("BEKANNTE.REL"), TempPath("FREUNDE.REL"));
  r = ZetRltnOpen(Path().c_str(), "", 0, kAllRights);
  EXPECT_EQ(Restructure(r, "FREUNDE"), -21);
  ZetRltnCloseAll();
  EXPECT_TRUE(platform::FileExists(TempPath("FREUNDE.REL")));
  std::filesystem::remove(TempPath("FREUNDE.REL"));
  EXPECT_EQ(State(), "new");
}

// Every file operation of a restructure that renames the relation field
// fails in turn: the table and its relation table are old or new, whole.
TEST_F(RelationRestructureTest, AFailureAtAnyFileStepLeavesOldOrNewWholeWithTheEntries) {
  using platform::FileOp;
  const TFaultWalk walk = {[&] { return ZetRltnOpen(Path().c_str(), "", 0, kAllRights); },
                           [&](int32_t r) { return Restructure(r, "BEKANNTE"); }, [&] { return State(); },
                           [&] { Fill(); }, TempPath("LEUTE")};
  EXPECT_GT(WalkFileFaults(walk, {FileOp::Create, FileOp::Write, FileOp::Rename, FileOp::Delete, FileOp::Open,
                                  FileOp::Directory, FileOp::Read}),
            20);
}

}  // namespace

namespace {

// A formula field filled from a source keeps the copied value; a formula
// field without one is computed over the record as stored, also when it
// reads a kept formula field.
TEST_F(InterfaceTest, RestructureKeepsFilledFormulaFieldsAndComputesTheOthersFromThem) {
  const std::string path = TempPath("WERTE.DAT");
  ASSERT_EQ(Create(path, 2, {{"X", I}, {"Y", I}}), 0) << LastError();
  int32_t r = ZetRltnOpen(path.c_str(), "", 0, kAllRights);
  ASSERT_GT(r, 0);
  int32_t c = ZetTableCreate(r);
  for (int k = 1; k <= 3; ++k) {
    ASSERT_EQ(ZetTableAppend(c), 0);
    ASSERT_EQ(ZetTableSetStr(c, "X", std::to_string(k).c_str()), 0);
    ASSERT_EQ(ZetTableSetStr(c, "Y", std::to_string(100 * k).c_str()), 0);
    ASSERT_EQ(ZetTableAppendConfirm(c), 0);
  }
  ZetTableDelete(c);
  g_defs = {{"Z", I, 0, 0, 1, "Y + 1"}, {"X", I, 0, 1}, {"Y", I, 0, 2, 1, "X * 10"}, {"W", I, 0, 0, 1, "Z * 2"}};
  ASSERT_EQ(ZetRltnRestructure(r, "", 0, 2, 4, FieldProc, 0, nullptr), 0) << LastError();
  c = ZetTableCreate(r);
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(ZetTableSetRecNo(c, k), k);
    EXPECT_EQ(Field(c, "Y"), std::to_string(100 * k)) << "kept from its source";
    EXPECT_EQ(Field(c, "Z"), std::to_string(100 * k + 1)) << "computed from the kept value";
    EXPECT_EQ(Field(c, "W"), std::to_string(2 * (100 * k + 1))) << "a formula over a formula";
  }
  ASSERT_EQ(ZetTableAppend(c), 0);
  ASSERT_EQ(ZetTableSetStr(c, "X", "7"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(c), 0);
  EXPECT_EQ(Field(c, "Y"), "70") << "the formula of a kept field works for new records";
  EXPECT_EQ(Field(c, "W"), "142");
  ZetTableDelete(c);
}

}  // namespace

namespace {

// Texts that become L fields name their linked records by the linked
// table's key text, as the field store of the macro language takes them: a
// name by a name key, digits by a number key (the identifier found, not the
// digits), a name no record has as a new record of the linked table, an
// empty text as no link. A text into a new R field makes an entry of the
// record's identifier for each record it names.
TEST_F(InterfaceTest, RestructureLinksTextsToTheRecordsTheyName) {
  // Creates and opens a table, appends rows of texts for the named fields.
  auto fill = [this](const char* file, std::vector<Def> defs, std::vector<const char*> names,
                 const std::vector<std::vector<const char*>>& rows) {
    EXPECT_EQ(Create(TempPath(file), 2, std::move(defs)), 0) << LastError();
    const int32_t r = ZetRltnOpen(TempPath(file).c_str(), "", 0, kAllRights);
    EXPECT_GT(r, 0) << LastError();
    const int32_t c = ZetTableCreate(r);
    for (const auto& row : rows) {
      EXPECT_EQ(ZetTableAppend(c), 0);
      for (size_t k = 0; k < row.size(); ++k) EXPECT_EQ(ZetTableSetStr(c, names[k], row[k]), 0);
      EXPECT_EQ(ZetTableAppendConfirm(c), 0) << LastError();
    }
    ZetTableDelete(c);
    return r;
  };
  const int32_t customers = fill("KUNDEN.DAT", {{"NR", N, 1, 0, 0, "", "NAME"}, {"NAME", S, 20}}, {"NAME"},
                                 {{"Anna"}, {"Bert"}});
  fill("LAGER.DAT", {{"NR", N, 1, 0, 0, "", "FACH"}, {"FACH", I}}, {"FACH"}, {{"30"}, {"12"}});
  const int32_t orders = fill("AUFTRAG.DAT", {{"NR", N, 1, 0, 0, "", "NR"}, {"KUNDE", S, 20}, {"FACH", S, 10}},
                              {"KUNDE", "FACH"}, {{"Bert", "12"}, {"Anna", " 30"}, {"Carl", ""}, {"", "12"}});
  ASSERT_FALSE(HasFailure());
  g_defs = {{"NR", N, 1, 1, 0, "", "NR"},
            {"KUNDE", L, 0, 2, 0, "", "KUNDEN"},
            {"FACH", L, 0, 3, 0, "", "LAGER"},
            {"MENGE", I},
            {"BETEILIGT", R, 0, 2, 0, "", "KUNDEN"}};
  ASSERT_EQ(ZetRltnRestructure(orders, "", 0, 2, 5, FieldProc, 0, nullptr), 0) << LastError();

  const int32_t c = ZetTableCreate(orders);
  const std::vector<std::pair<std::string, std::string>> want = {{"2", "2"}, {"1", "1"}, {"3", "0"}, {"0", "2"}};
  ASSERT_EQ(ZetTableRecordCount(c), int32_t(want.size()));
  for (int k = 1; k <= int(want.size()); ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(ZetTableSetRecNo(c, k), k);
    EXPECT_EQ(Field(c, "KUNDE"), want[size_t(k - 1)].first);
    EXPECT_EQ(Field(c, "FACH"), want[size_t(k - 1)].second);
    std::string entries;
    const int32_t e = ZetTableCreateRelTable(c, "BETEILIGT");
    for (int32_t s = ZetTableFirst(e); e > 0 && s >= 0; s = ZetTableMoveBy(e, 1))
      entries += Field(e, "1") + ">" + Field(e, "2") + " ";
    ZetTableDelete(e);
    EXPECT_EQ(entries, want[size_t(k - 1)].first == "0" ? "" : std::to_string(k) + ">" + want[size_t(k - 1)].first + " ");
  }
  ZetTableDelete(c);
  const int32_t people = ZetTableCreate(customers);
  ASSERT_EQ(ZetTableRecordCount(people), 3) << "the unknown name became a customer";
  ASSERT_EQ(ZetTableSetRecNo(people, 3), 3);
  EXPECT_EQ(Field(people, "NAME"), "Carl");
  EXPECT_EQ(Field(people, "NR"), "3");
  ZetTableDelete(people);
}

}  // namespace
