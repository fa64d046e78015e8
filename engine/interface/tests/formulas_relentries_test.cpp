// Field formulas set through a cursor, entries of relation tables changed by
// identifier and target, the refusal of a linked append over a table that is
// not linked under the master's, and cursors made from a master cursor
// (relation-table and linked-table cursors) with their appends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/interface/tests/interface_test_util.h"

namespace {

using interface_test::AddArticle;
using interface_test::Field;
using interface_test::InterfaceTest;
using interface_test::kAllRights;
using interface_test::PeopleFields;

TEST_F(InterfaceTest, AFormulaSetThroughACursorComputesAndOutlivesTheCursor) {
  const int32_t r = OpenArticles();
  const int32_t c = ZetTableCreate(r);
  EXPECT_EQ(ZetTableSetFormula(c, "NICHTDA", "1", 0), -10);
  EXPECT_GT(ZetTableSetFormula(c, "MENGE", "CODE + NICHTDA", 0), 0) << "a compile error answers its position";
  EXPECT_LT(ZetTableSetFormula(c, "MENGE", "CODE *", 0), 0) << "a trial run error answers minus the error";
  EXPECT_EQ(ZetTableSetFormula(c, "MENGE", "", 0), 0) << "no formula to take away";
  ASSERT_EQ(ZetTableSetFormula(c, "MENGE", "CODE * 2", 1), 0);
  ZetFieldSpec described;
  ASSERT_EQ(ZetTableGetFieldSpec(c, 4, &described), 0);
  EXPECT_EQ(described.flags & 5, 5) << "formula, evaluated on every write";
  EXPECT_STREQ(described.formula, "CODE * 2");

  ASSERT_EQ(ZetTableAppend(c), 0);
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "21"), 0);
  EXPECT_EQ(Field(c, "MENGE"), "42");
  ASSERT_EQ(ZetTableAppendConfirm(c), 0);

  // The cursor's delete keeps the formula in the table; a later cursor
  // computes it too, until it is taken away.
  ASSERT_EQ(ZetTableDelete(c), 0);
  const int32_t d = ZetTableCreate(r);
  ASSERT_EQ(ZetTableAppend(d), 0);
  ASSERT_EQ(ZetTableSetStr(d, "CODE", "5"), 0);
  EXPECT_EQ(Field(d, "MENGE"), "10");
  ASSERT_EQ(ZetTableAppendCancel(d), 0);
  ASSERT_EQ(ZetTableSetFormula(d, "MENGE", "", 0), 0);
  ASSERT_EQ(ZetTableGetFieldSpec(d, 4, &described), 0);
  EXPECT_EQ(described.flags & 1, 0);
  ASSERT_EQ(ZetTableAppend(d), 0);
  ASSERT_EQ(ZetTableSetStr(d, "CODE", "6"), 0);
  EXPECT_EQ(Field(d, "MENGE"), "0");
}

TEST_F(InterfaceTest, RelationEntriesAreAppendedRewrittenAndDeletedByTarget) {
  const std::string path = TempPath("LEUTE.DAT");
  ASSERT_EQ(ZetRltnCreate(path.c_str(), "", 0, 2, 3, PeopleFields, 0, 0), 0);
  char text[256] = {};
  ASSERT_GT(ZetRltnOpen(path.c_str(), "", 0, kAllRights), 0) << ZetGetLastError(text, 255) << text;
  ASSERT_EQ(ZetGetNumRelations(), 2) << "the relation table of FREUNDE opens with its table";
  const int32_t c = ZetTableCreate(2);
  ASSERT_GT(c, 0);
  auto entries = [&] {
    std::vector<std::string> list;
    for (int32_t s = ZetTableFirst(c); s >= 0; s = ZetTableMoveBy(c, 1)) list.push_back(Field(c, "1") + ">" + Field(c, "2"));
    return list;
  };
  struct Step {
    uint32_t id;
    int32_t oldTarget, newTarget, result;
    std::vector<std::string> after;
  };
  const std::vector<Step> steps = {
      {7, 0, 3, 0, {"7>3"}},
      {7, -1, 4, 0, {"7>3", "7>4"}},
      {8, 0, 3, 0, {"7>3", "7>4", "8>3"}},
      {7, 3, 3, 0, {"7>3", "7>4", "8>3"}},
      {7, 0, 0, 0, {"7>3", "7>4", "8>3"}},
      {7, 3, 5, 0, {"7>5", "7>4", "8>3"}},
      {7, 9, 1, -11, {"7>5", "7>4", "8>3"}},
      {9, 3, 1, -11, {"7>5", "7>4", "8>3"}},
      {7, 5, 0, 0, {"8>3", "7>4"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.id) + ": " + std::to_string(s.oldTarget) + " -> " + std::to_string(s.newTarget));
    EXPECT_EQ(ZetTableChangeRelEntry(c, s.id, s.oldTarget, s.newTarget), s.result);
    EXPECT_EQ(entries(), s.after);
  }
  const int32_t people = ZetTableCreate(1);
  EXPECT_EQ(ZetTableChangeRelEntry(people, 1, 0, 2), -23) << "not a relation table";
}

TEST_F(InterfaceTest, ALinkedAppendNeedsATableLinkedUnderTheMaster) {
  const int32_t r = OpenArticles();
  const int32_t a = ZetTableCreate(r), b = ZetTableCreate(r);
  ASSERT_EQ(AddArticle(a, 1, "Apfel", 3), 0);
  EXPECT_EQ(ZetTableAppendLinked(b, a), -19);
  EXPECT_EQ(ZetTableAppendLinked(b, 51), -101);
  EXPECT_EQ(ZetTableRecordCount(b), 1);
  EXPECT_EQ(ZetTableIsDirtyRecord(b), 1) << "no append was started";
}

// Entries of a cursor as "identifier>target", in the cursor's order.
std::vector<std::string> Entries(int32_t c) {
  std::vector<std::string> list;
  for (int32_t s = ZetTableFirst(c); s >= 0; s = ZetTableMoveBy(c, 1)) list.push_back(Field(c, "1") + ">" + Field(c, "2"));
  return list;
}

class MasterCursorTest : public InterfaceTest {
 protected:
  // LEUTE with Anna (1), Bert (2), Carl (3); FREUNDE entries 1>2, 2>3, 1>3.
  void SetUp() override {
    InterfaceTest::SetUp();
    people = interface_test::OpenPeopleWithFriends(TempPath("LEUTE.DAT"));
  }
  int32_t people = 0;
};

TEST_F(MasterCursorTest, ARelationTableCursorShowsAndAppendsTheEntriesOfItsMastersIdentifier) {
  ASSERT_EQ(ZetTableSetRecNo(people, 1), 1);
  const int32_t next = ZetTableCreate(1);
  ASSERT_EQ(ZetTableDelete(next), 0);
  for (const char* bad : {"NAME", "NICHTDA", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ZetTableCreateRelTable(people, bad), -10);
  }
  EXPECT_EQ(ZetTableCreateRelTable(51, "FREUNDE"), -101);
  const int32_t entriesCursor = ZetTableCreate(2);
  EXPECT_EQ(ZetTableCreateRelTable(entriesCursor, "1"), -22) << "the relation table has no identifier";
  ASSERT_EQ(ZetTableDelete(entriesCursor), 0);
  EXPECT_EQ(ZetTableCreate(1), next) << "the refusals made no cursor";
  ASSERT_EQ(ZetTableDelete(next), 0);

  const int32_t anna = ZetTableCreateRelTable(people, "freunde");
  ASSERT_GT(anna, 0);
  EXPECT_EQ(ZetTableGetRecNo(anna), 1) << "positioned on the first entry";
  EXPECT_EQ(Entries(anna), (std::vector<std::string>{"1>2", "1>3"}));
  ASSERT_EQ(ZetTableAppend(anna), 0);
  EXPECT_EQ(Field(anna, "1"), "1") << "the entry takes the master's identifier";
  ASSERT_EQ(ZetTableSetStr(anna, "2", "2"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(anna), 0);
  EXPECT_EQ(Entries(anna), (std::vector<std::string>{"1>2", "1>3", "1>2"})) << "entries by identifier, then number";

  ASSERT_EQ(ZetTableSetRecNo(people, 2), 2);
  const int32_t bert = ZetTableCreateRelTable(people, "FREUNDE");
  EXPECT_EQ(Entries(bert), (std::vector<std::string>{"2>3"}));
  ASSERT_EQ(ZetTableSetRecNo(people, 3), 3);
  const int32_t carl = ZetTableCreateRelTable(people, "FREUNDE");
  ASSERT_GT(carl, 0);
  EXPECT_EQ(ZetTableGetRecNo(carl), 0) << "no entries: no record";
  EXPECT_TRUE(Entries(carl).empty());
}

// A change of the master's table reaches a relation-table cursor only while
// its master stands on a record and neither edits nor appends; the change
// the master itself confirms is not reported back to its entries.
TEST_F(MasterCursorTest, ARelationTableCursorHearsOfItsMastersTableOnlyWhileTheMasterRests) {
  ASSERT_EQ(ZetTableSetRecNo(people, 1), 1);
  const int32_t entries = ZetTableCreateRelTable(people, "FREUNDE");
  ASSERT_GT(entries, 0);
  const int32_t other = ZetTableCreate(1);
  ASSERT_EQ(ZetTableSetRecNo(other, 2), 2);
  auto renameThroughOther = [&](const char* name) {
    ASSERT_EQ(ZetTableEdit(other), 0);
    ASSERT_EQ(ZetTableSetStr(other, "NAME", name), 0);
    ASSERT_EQ(ZetTableEditConfirm(other), 0);
  };
  EXPECT_EQ(ZetTableIsDirty(entries), 0);

  struct Case {
    const char* masterState;
    int32_t dirty;
  } const cases[] = {{"resting", 1}, {"editing", 0}, {"appending", 0}, {"without record", 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.masterState);
    const std::string state = k.masterState;
    if (state == "editing") {
      ASSERT_EQ(ZetTableEdit(people), 0);
    } else if (state == "appending") {
      ASSERT_EQ(ZetTableAppend(people), 0);
    } else if (state == "without record") {
      ASSERT_EQ(ZetTableDelete(entries), 0);
      ASSERT_EQ(ZetTableSetRecNo(people, 1), 1);
      ASSERT_EQ(ZetTableCreateRelTable(people, "FREUNDE"), entries) << "the freed slot";
      ASSERT_EQ(ZetTableDelete(people), 0);
      ASSERT_EQ(ZetTableCreate(1), people) << "a fresh master in the same slot, on no record";
    }
    renameThroughOther(("Name " + state).c_str());
    EXPECT_EQ(ZetTableIsDirty(entries), k.dirty);
    EXPECT_EQ(ZetTableIsDirty(entries), 0) << "reported once";
    if (state == "editing") {
      ASSERT_EQ(ZetTableEditCancel(people), 0);
    } else if (state == "appending") {
      ASSERT_EQ(ZetTableAppendCancel(people), 0);
    }
  }

  // The master's own confirm comes while it still edits: its entries are
  // not told; a second cursor on the people table is.
  ASSERT_EQ(ZetTableSetRecNo(people, 1), 1);
  ASSERT_EQ(ZetTableEdit(people), 0);
  ASSERT_EQ(ZetTableSetStr(people, "NAME", "Anne"), 0);
  ASSERT_EQ(ZetTableEditConfirm(people), 0);
  EXPECT_EQ(ZetTableIsDirty(entries), 0);
  EXPECT_EQ(ZetTableIsDirty(other), 1);
  EXPECT_EQ(Field(other, "NAME"), "Name without record") << "the other cursor keeps its own record";
}

TEST_F(MasterCursorTest, ALinkedTableCursorHoldsTheRecordsOfItsMastersRecord) {
  const uint8_t noDefinitions[] = {0};
  ASSERT_EQ(ZetBuildRelations(noDefinitions), 0);
  EXPECT_EQ(ZetTableCreateLinkedTable(51, 2, nullptr), -101);
  EXPECT_EQ(ZetTableCreateLinkedTable(people, 3, nullptr), -17);
  ASSERT_EQ(ZetTableSetRecNo(people, 1), 1);
  const int32_t linked = ZetTableCreateLinkedTable(people, 2, nullptr);
  ASSERT_GT(linked, 0);
  EXPECT_EQ(Entries(linked), (std::vector<std::string>{"1>2", "1>3"}));
  EXPECT_EQ(ZetTableGetRecNo(people), 1) << "the master keeps its place";
  ASSERT_EQ(ZetTableSetRecNo(people, 2), 2);
  const int32_t sorted = ZetTableCreateLinkedTable(people, 1, "NAME");
  ASSERT_GT(sorted, 0);
  ASSERT_EQ(ZetTableGetRecNo(people), 2);
  EXPECT_EQ(ZetTableGetRecNo(sorted), 1) << "an unlinked table from its first record";
}

}  // namespace
