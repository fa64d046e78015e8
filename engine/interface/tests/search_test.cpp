// Search, find and marks through the exports, over seven articles whose
// names repeat (for equal keys) and whose amounts differ.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/interface/tests/interface_test_util.h"
#include "engine/storage/fulltext/tests/fulltext_test_util.h"

namespace {

using interface_test::AddArticle;
using interface_test::InterfaceTest;
using Recnos = std::vector<int32_t>;

// NAMEN.IND order: Apfel 2, Apfel 4, Birne 3, Birne 5, Birne 6, Kiwi 1,
// Mango 7.
class Articles : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    c_ = ZetTableCreate(relation_);
    const struct {
      const char* name;
      int menge;
    } rows[] = {{"Kiwi", 5}, {"Apfel", 3}, {"Birne", 8}, {"Apfel", 6}, {"Birne", 2}, {"Birne", 9}, {"Mango", 1}};
    int code = 1;
    for (const auto& row : rows) ASSERT_EQ(AddArticle(c_, code++, row.name, row.menge), 0);
  }
  // The record numbers of the user marks in their order.
  Recnos Marks() {
    const int32_t other = ZetTableClone(c_);
    Recnos marks;
    for (int32_t r = ZetTableFirst(other); r >= 0; r = ZetTableMoveBy(other, 1))
      if (ZetTableIsMarked(c_, ZetTableGetRecNo(other))) marks.push_back(ZetTableGetRecNo(other));
    ZetTableDelete(other);
    return marks;
  }
  // The user marks in list order, read through marked order.
  Recnos MarkOrder() {
    EXPECT_EQ(ZetTableSetAccess(c_, "Markierung", 1), 0);
    Recnos order;
    for (int32_t r = ZetTableFirst(c_); r >= 0; r = ZetTableMoveBy(c_, 1)) order.push_back(ZetTableGetRecNo(c_));
    EXPECT_EQ(ZetTableSetAccess(c_, "Nummer", 1), 0);
    return order;
  }
  int32_t relation_ = 0;
  int32_t c_ = 0;
};

// Progress calls of the last walk, and an answer to give.
std::vector<std::pair<int32_t, int32_t>> g_calls;
int32_t g_answer = 0;
int32_t Record(int32_t done, int32_t total) {
  g_calls.emplace_back(done, total);
  return g_answer;
}

TEST_F(Articles, SearchAndContinueFollowTheCursorsOrder) {
  struct Case {
    const char* order;
    Recnos found;
  };
  for (const Case& k : {Case{"Nummer", {3, 4, 6}}, Case{"NAMEN.IND", {4, 3, 6}}, Case{"MENGE.IND", {6, 3, 4}}}) {
    SCOPED_TRACE(k.order);
    ASSERT_EQ(ZetTableSetAccess(c_, k.order, 0), 0);
    ASSERT_EQ(ZetTableSetRecNo(c_, 7), 7);
    Recnos found = {ZetTableSearch(c_, "MENGE > 5", nullptr)};
    EXPECT_EQ(ZetTableGetRecNo(c_), found[0]);
    for (int32_t r; (r = ZetTableSearchContinue(c_, nullptr)) > 0;) found.push_back(r);
    EXPECT_EQ(found, k.found);
    EXPECT_EQ(ZetTableSearchContinue(c_, nullptr), -11);
    EXPECT_EQ(ZetTableGetRecNo(c_), k.found.back()) << "the end keeps the last record found";
    EXPECT_EQ(interface_test::Field(c_, "MENGE"), ZetTableGetRecNo(c_) == 6 ? "9" : ZetTableGetRecNo(c_) == 3 ? "8" : "6");
  }
}

TEST_F(Articles, ASearchThatFindsNothingOrIsStoppedStaysWhereItWas) {
  ASSERT_EQ(ZetTableSetRecNo(c_, 5), 5);
  EXPECT_EQ(ZetTableSearch(c_, "MENGE > 100", nullptr), 0);
  EXPECT_EQ(ZetTableGetRecNo(c_), 5);
  EXPECT_EQ(interface_test::Field(c_, "MENGE"), "2");

  // A walk stopped by its progress procedure has found nothing, although
  // the first record matches.
  g_calls.clear();
  g_answer = 1;
  EXPECT_EQ(ZetTableSearch(c_, "MENGE > 0", Record), 0);
  EXPECT_EQ(ZetTableGetRecNo(c_), 5);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0], std::make_pair(0, 7));
  EXPECT_EQ(g_calls[1], std::make_pair(1, 7));
  g_answer = 0;
  g_calls.clear();
  EXPECT_EQ(ZetTableSearch(c_, "NAME = \"Mango\"", Record), 7);
  EXPECT_EQ(g_calls.size(), 8u) << "(0, total) and every record";
}

TEST_F(Articles, ConditionsThatDoNotCompileAreRefusedAndEndTheSearch) {
  ASSERT_EQ(ZetTableSetRecNo(c_, 2), 2);
  ASSERT_EQ(ZetTableSearch(c_, "MENGE > 5", nullptr), 3);
  const std::string tooLong = "MENGE > 0" + std::string(300, ' ');
  for (const char* bad : {"MENGE > ", "NOFIELD = 1", tooLong.c_str()}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ZetTableSearch(c_, bad, nullptr), -7);
    char text[256];
    EXPECT_LT(ZetGetLastError(text, sizeof text - 1), 0) << "the compile error is recorded";
    EXPECT_EQ(ZetTableSearchContinue(c_, nullptr), -19);
    EXPECT_EQ(ZetTableMark(c_, bad, 1, nullptr), -7);
    EXPECT_EQ(ZetTableGetRecNo(c_), 3);
  }
  const int32_t fresh = ZetTableCreate(relation_);
  EXPECT_EQ(ZetTableSearchContinue(fresh, nullptr), -19);
}

TEST_F(Articles, FindTakesTheFirstKeyNotBelowAndContinuesFromTheCursor) {
  struct Case {
    const char* key;
    int32_t recno;
    uint8_t exact;
  };
  for (const Case& k : {Case{"Birne", 3, 1}, Case{"birne", 3, 1}, Case{"Bz", 1, 0}, Case{"A", 2, 0},
                        Case{"Zz", -11, 0}}) {
    SCOPED_TRACE(k.key);
    uint8_t exact = 7;
    EXPECT_EQ(ZetTableFindRec(c_, "namen.ind", k.key, &exact), k.recno);
    EXPECT_EQ(exact, k.exact);
  }
  uint8_t exact = 0;
  EXPECT_EQ(ZetTableFindRec(c_, "NOPE.IND", "Birne", &exact), -16);
  EXPECT_EQ(ZetTableSearchContinue(c_, nullptr), -19) << "a failed find ends the search";

  // The cursor stays; the host moves it, and continuing steps on by the
  // index from the cursor's record.
  ASSERT_EQ(ZetTableSetRecNo(c_, 7), 7);
  ASSERT_EQ(ZetTableFindRec(c_, "NAMEN.IND", "Birne", &exact), 3);
  EXPECT_EQ(ZetTableGetRecNo(c_), 7);
  ASSERT_EQ(ZetTableSetRecNo(c_, 3), 3);
  Recnos next;
  for (int32_t r; (r = ZetTableSearchContinue(c_, nullptr)) > 0;) next.push_back(r);
  EXPECT_EQ(next, (Recnos{5, 6, 1, 7}));
  EXPECT_EQ(ZetTableGetRecNo(c_), 7);
  EXPECT_EQ(interface_test::Field(c_, "NAME"), "Mango");
  EXPECT_EQ(ZetTableSearchContinue(c_, nullptr), -11) << "the end of the index keeps the find";
}

TEST_F(Articles, MarkingModesMarkToggleUnmarkAndCount) {
  ASSERT_EQ(ZetTableSetAccess(c_, "NAMEN.IND", 0), 0);
  ASSERT_EQ(ZetTableSetRecNo(c_, 5), 5);
  struct Step {
    const char* condition;
    int32_t mode;
    int32_t matches;
    Recnos marks;
  };
  const Step steps[] = {
      {"MENGE > 5", 1, 3, {3, 4, 6}},
      {"MENGE > 5", 1, 3, {3, 4, 6}},          // no doubles
      {"MENGE < 4", 3, 3, {3, 4, 6}},          // unmarking unmarked records changes nothing
      {"NAME = \"Birne\"", 2, 3, {4, 5}},      // toggles 3, 5, 6
      {"NAME = \"Apfel\"", 0, 2, {4, 5}},      // only counts
      {"MENGE < 3", 3, 2, {4}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.condition) + " mode " + std::to_string(s.mode));
    EXPECT_EQ(ZetTableMark(c_, s.condition, s.mode, nullptr), s.matches);
    EXPECT_EQ(Marks(), s.marks);
    EXPECT_EQ(ZetTableGetNumMarks(c_), int32_t(s.marks.size()));
    EXPECT_EQ(ZetTableGetRecNo(c_), 5) << "marking never moves the cursor";
  }
  EXPECT_EQ(ZetTableIsMarked(c_, 4), 1);
  EXPECT_EQ(ZetTableIsMarked(c_, -1), 0);
  EXPECT_EQ(ZetTableToggleMark(c_), 0);
  EXPECT_EQ(ZetTableIsMarked(c_, -1), 1);
  EXPECT_EQ(ZetTableIsMarked(c_, 0), 0);
  EXPECT_EQ(ZetTableToggleMark(c_), 0);
  EXPECT_EQ(ZetTableIsMarked(c_, 5), 0);
  EXPECT_EQ(ZetTableUnmark(c_), 0);
  EXPECT_EQ(ZetTableGetNumMarks(c_), 0);

  g_calls.clear();
  EXPECT_EQ(ZetTableMark(c_, "MENGE > 0", 1, Record), 7);
  ASSERT_FALSE(g_calls.empty());
  EXPECT_EQ(g_calls.front(), std::make_pair(0, 7));
  EXPECT_EQ(g_calls.back(), std::make_pair(7, 7));
}

TEST_F(Articles, MarkingInMarkedOrderVisitsOnlyTheAccessMarks) {
  ASSERT_EQ(ZetTableMark(c_, "NAME = \"Birne\"", 1, nullptr), 3);
  ASSERT_EQ(ZetTableSetAccess(c_, "Markierung", 1), 0);
  EXPECT_EQ(ZetTableMark(c_, "MENGE > 5", 1, nullptr), 2) << "records 3 and 6 of 3, 5, 6";
  EXPECT_EQ(ZetTableSearch(c_, "MENGE < 5", nullptr), 5);
  EXPECT_EQ(ZetTableSearchContinue(c_, nullptr), -11);
  uint8_t exact = 0;
  EXPECT_EQ(ZetTableFindRec(c_, "NAMEN.IND", "A", &exact), 3) << "keys of unmarked records are passed over";
}

TEST_F(Articles, MarkingByTheSelectionWalkAgreesWithAVisitOfEveryRecord) {
  // Without a progress procedure a condition on the table is decided by the
  // selection walk (through NAMEN.IND or MENGE.IND where the condition lets
  // it, from the keys); with one every record is visited. Both ways count
  // the same matches and leave the same marks in the same order, from the
  // same marks before, whatever order the cursor reads in; a condition that
  // fails on a record (a division by 0 on MENGE 5) passes that record over.
  const char* conditions[] = {
      "NAME = \"Birne\"", "NAME >= \"B\" AND NAME < \"L\"", "NAME = \"Apfel\" OR MENGE = 9", "MENGE > 5",
      "MENGE = 2 OR MENGE = 8", "NOT NAME = \"Kiwi\"", "NAME = \"Pflaume\"", "1 / (MENGE - 5) > 0",
  };
  for (const char* condition : conditions) {
    for (const int32_t mode : {0, 1, 2, 3}) {
      SCOPED_TRACE(std::string(condition) + " mode " + std::to_string(mode));
      Recnos order[2];
      int32_t matches[2] = {};
      for (int way = 0; way < 2; ++way) {
        ASSERT_EQ(ZetTableUnmark(c_), 0);
        for (const int32_t recno : {6, 2, 3}) {
          ASSERT_EQ(ZetTableSetRecNo(c_, recno), recno);
          ASSERT_EQ(ZetTableToggleMark(c_), 0);
        }
        ASSERT_EQ(ZetTableSetAccess(c_, way == 0 ? "NAMEN.IND" : "MENGE.IND", 0), 0);
        ASSERT_EQ(ZetTableSetRecNo(c_, 5), 5);
        matches[way] = ZetTableMark(c_, condition, mode, way == 0 ? nullptr : Record);
        EXPECT_EQ(ZetTableGetRecNo(c_), 5);
        order[way] = MarkOrder();
      }
      EXPECT_EQ(matches[0], matches[1]);
      EXPECT_EQ(order[0], order[1]);
    }
  }
}

TEST_F(Articles, SortMarksByAKeyDescription) {
  ASSERT_EQ(ZetTableMark(c_, "MENGE > 0", 1, nullptr), 7);
  EXPECT_EQ(ZetTableSortMarkedRecs(c_, "MENGE"), 0);
  EXPECT_EQ(MarkOrder(), (Recnos{7, 5, 2, 1, 4, 3, 6}));
  // Equal keys keep the order they had.
  EXPECT_EQ(ZetTableSortMarkedRecs(c_, "NAME"), 0);
  EXPECT_EQ(MarkOrder(), (Recnos{2, 4, 5, 3, 6, 1, 7}));

  EXPECT_EQ(ZetTableSortMarkedRecs(c_, "NOFIELD"), 98);
  char text[256];
  EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), -98);
  EXPECT_EQ(MarkOrder(), (Recnos{2, 4, 5, 3, 6, 1, 7})) << "a refused sort keeps the marks";
}

TEST_F(Articles, MarkDoublesMarksEveryKeyEqualToTheOneBefore) {
  ASSERT_EQ(ZetTableMark(c_, "MENGE > 0", 1, nullptr), 7);
  EXPECT_EQ(ZetTableMarkDoubles(c_, nullptr), 0) << "record order";
  EXPECT_EQ(ZetTableGetNumMarks(c_), 7);
  ASSERT_EQ(ZetTableSetAccess(c_, "NAMEN.IND", 0), 0);
  ASSERT_EQ(ZetTableSetRecNo(c_, 1), 1);
  g_calls.clear();
  EXPECT_EQ(ZetTableMarkDoubles(c_, Record), 3);
  EXPECT_EQ(Marks(), (Recnos{4, 5, 6}));
  EXPECT_EQ(g_calls.back(), std::make_pair(7, 7));
  EXPECT_EQ(ZetTableGetRecNo(c_), 1);

  // A unique index has no doubles to mark.
  char names[256];
  ASSERT_EQ(ZetRltnGetIndexNames(relation_, names, sizeof names - 1), 0);
  const std::string first = std::string(names).substr(0, std::string(names).find(','));
  ASSERT_EQ(ZetTableSetAccess(c_, first.c_str(), 0), 0);
  EXPECT_EQ(ZetTableMarkDoubles(c_, nullptr), 0);
}

// The full-text index of the storage tests, queried through a cursor.
class FullTextMarks : public fulltext_test::FullTextTableTest {};

TEST_F(FullTextMarks, QueryMarksTheRecordsFound) {
  CreateTables();
  Append({"Roter Apfel", "", 0});
  Append({"Gruene Birne", "", 0});
  Append({"Apfel und Birne", "", 0});
  ASSERT_GE(FullText::BuildIndex(Request(), nullptr), 0);
  const int32_t c = ZetTableCreate(fulltext_test::kSource);
  ASSERT_GT(c, 0);
  ASSERT_EQ(ZetTableUnmark(c), 0);

  const char relations[] = "VOLLTEXT.REL\0";
  ZetFullTextQuery q{"WORTE", relations, "Apfel", "", "", 0};
  EXPECT_EQ(ZetTableMarkFullText(c, &q), 2);
  EXPECT_EQ(ZetTableIsMarked(c, 1), 1);
  EXPECT_EQ(ZetTableIsMarked(c, 2), 0);
  EXPECT_EQ(ZetTableIsMarked(c, 3), 1);
  EXPECT_EQ(ZetTable::MarkList(T(fulltext_test::kSource)).Count(), 0u) << "the table's own list is cleared";

  q.query = "Birne";
  EXPECT_EQ(ZetTableMarkFullText(c, &q), 2);
  EXPECT_EQ(ZetTableIsMarked(c, 1), 0);

  q.query = "(Apfel";
  EXPECT_EQ(ZetTableMarkFullText(c, &q), -7);
  char line[256];
  ZetGetLastErrorPos(line, sizeof line - 1);
  EXPECT_STREQ(line, "(Apfel");

  q.query = "Apfel";
  q.indexRelation = "NOPE";
  EXPECT_EQ(ZetTableMarkFullText(c, &q), -17);
  q.indexRelation = "WORTE";
  const char ten[] = "VOLLTEXT.REL\0VOLLTEXT.REL\0VOLLTEXT.REL\0VOLLTEXT.REL\0VOLLTEXT.REL\0"
                     "VOLLTEXT.REL\0VOLLTEXT.REL\0VOLLTEXT.REL\0VOLLTEXT.REL\0VOLLTEXT.REL\0";
  q.relationNames = ten;
  EXPECT_EQ(ZetTableMarkFullText(c, &q), -7) << "at most nine relations";
  EXPECT_EQ(ZetTableMarkFullText(c, nullptr), -7);
}

// A relation index the open built again from its records (after a crash)
// answers no records but the index error with the relation table's name.
TEST_F(FullTextMarks, ARelationIndexBuiltAgainAtOpenIsReportedDamaged) {
  CreateTables();
  Append({"Roter Apfel", "", 0});
  ASSERT_GE(FullText::BuildIndex(Request(), nullptr), 0);
  ReopenWithRelationIndexUnsettled();
  const int32_t c = ZetTableCreate(fulltext_test::kSource);
  ASSERT_GT(c, 0);
  const char relations[] = "VOLLTEXT.REL\0";
  ZetFullTextQuery q{"WORTE", relations, "Apfel", "", "", 0};
  EXPECT_EQ(ZetTableMarkFullText(c, &q), -7);
  EXPECT_EQ(Common::LastError(), -95);
  EXPECT_NE(Common::LastErrorText().str().find("VOLLTEXT.REL"), std::string::npos) << Common::LastErrorText().str();
  ASSERT_GE(FullText::BuildIndex(Request(), nullptr), 0);
  EXPECT_EQ(ZetTableMarkFullText(c, &q), 1);
}

// A name list of zetcore.h read back: the names before the empty one.
std::vector<std::string> Names(const char* list) {
  std::vector<std::string> names;
  for (const char* p = list; *p != 0; p += std::strlen(p) + 1) names.emplace_back(p);
  return names;
}

TEST_F(FullTextMarks, AnIndexBuiltThroughTheInterfaceIsListedAndQueried) {
  CreateTables();
  Append({"Roter Apfel", "", 0});
  Append({"Gruene Birne", "", 0});
  Append({"Apfel und Birne", "", 0});
  const int32_t source = fulltext_test::kSource;
  ZetFullTextIndexRequest request{};
  request.relationField = "VOLLTEXT";
  request.indexRelation = "WORTE";
  request.fieldNames = "TITEL\0TEXT\0";
  struct Refusal {
    const char *field, *index, *names;
    int32_t result;
  } const refusals[] = {
      {"TITEL", "WORTE", "TITEL\0", -10},
      {"NICHTDA", "WORTE", "TITEL\0", -10},
      {"VOLLTEXT", "NICHTDA", "TITEL\0", -17},
      {"VOLLTEXT", "VOLLTEXT.REL", "TITEL\0", -17},
      {"VOLLTEXT", "WORTE", "NICHTDA\0", -7},
      {"VOLLTEXT", "WORTE", "", -7},
  };
  for (const Refusal& r : refusals) {
    ZetFullTextIndexRequest bad = request;
    bad.relationField = r.field;
    bad.indexRelation = r.index;
    bad.fieldNames = r.names;
    EXPECT_EQ(ZetRltnCreateFullTextIndex(source, &bad, nullptr), r.result) << r.field << " " << r.index;
  }
  EXPECT_EQ(ZetRltnCreateFullTextIndex(source, nullptr, nullptr), -7);

  ASSERT_EQ(ZetRltnCreateFullTextIndex(source, &request, nullptr), 0);
  EXPECT_EQ(request.sourceRecords, 3);
  EXPECT_EQ(request.indexRecords, ZetRltnRecordCount(fulltext_test::kRel));
  EXPECT_GT(request.indexRecords, 0);
  const int32_t c = ZetTableCreate(source);
  const char relations[] = "VOLLTEXT.REL\0";
  ZetFullTextQuery q{"WORTE", relations, "Birne", "", "", 0};
  EXPECT_EQ(ZetTableMarkFullText(c, &q), 2);

  char list[64];
  std::memset(list, 'x', sizeof list);
  ASSERT_EQ(ZetRltnFullTextIndexGetIndexNames(source, list, sizeof list - 1), 0);
  EXPECT_EQ(Names(list), std::vector<std::string>{"VOLLTEXT"});
  ASSERT_EQ(ZetRltnFullTextIndexGetRelationNames(source, fulltext_test::kRel, list, sizeof list - 1), 0);
  EXPECT_EQ(Names(list), std::vector<std::string>{"VOLLTEXT"});
  ASSERT_EQ(ZetRltnFullTextIndexGetRelationNames(source, fulltext_test::kWords, list, sizeof list - 1), 0);
  EXPECT_TRUE(Names(list).empty());
  ASSERT_EQ(ZetRltnFullTextIndexGetIndexNames(fulltext_test::kWords, list, sizeof list - 1), 0);
  EXPECT_TRUE(Names(list).empty());
  // Only whole names fit, and the end marker always does.
  for (int32_t capacity : {0, 1, 8}) {
    std::memset(list, 'x', sizeof list);
    ASSERT_EQ(ZetRltnFullTextIndexGetIndexNames(source, list, capacity), 0);
    EXPECT_TRUE(Names(list).empty()) << capacity;
    EXPECT_EQ(list[capacity + 1], 'x') << "nothing beyond the capacity";
  }
  ASSERT_EQ(ZetRltnFullTextIndexGetIndexNames(source, list, 9), 0);
  EXPECT_EQ(Names(list), std::vector<std::string>{"VOLLTEXT"});
}

}  // namespace
