// The table object, the table slots, field lookup, marks and mark lists.
#include "engine/storage/zettable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/storage/tests/zettable_test_util.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using ZetTable::TZetTable;
using zettable_test::FieldDef;
using zettable_test::Install;
using zettable_test::MakeTable;

class ZetTableTest : public zettest::EngineTest {};

TEST_F(ZetTableTest, SlotsTakeHandles1To62Only) {
  for (int h = 1; h <= 62; ++h) ASSERT_EQ(ZetTable::InstallTable(h, std::make_unique<TZetTable>()), 0) << h;
  EXPECT_EQ(ZetTable::InstallTable(63, std::make_unique<TZetTable>()), 94);
  EXPECT_EQ(Common::LastError(), -94);
  EXPECT_EQ(ZetTable::InstallTable(64, std::make_unique<TZetTable>()), 94);
  EXPECT_EQ(ZetTable::Table(63), nullptr);
  EXPECT_EQ(ZetTable::Table(65), nullptr);
  EXPECT_EQ(ZetTable::Table(0), nullptr);
  auto t = ZetTable::RemoveTable(62);
  EXPECT_NE(t, nullptr);
  EXPECT_EQ(ZetTable::Table(62), nullptr);
}

TEST_F(ZetTableTest, UnstoredFieldsTakeNoRecordBytes) {
  auto t = MakeTable(2, {{"A", 2, 1, 10}, {"HIDDEN", 2, 1, 0}, {"B", 10, 3, 10}, {"REL", 12, 0, 0}, {"", 0, 0, 1}});
  EXPECT_EQ(t->recordLength, 2 + 4 + 1);
  EXPECT_EQ(t->FieldOffset(3), 2u);  // HIDDEN does not move B
  EXPECT_EQ(t->FieldOffset(5), 6u);
  // User fields: named, and stored or a relation field.
  EXPECT_EQ(t->userFieldCount, 3);
  const int h = Install(std::move(t));
  EXPECT_EQ(ZetTable::NthUserField(h, 1), 1);
  EXPECT_EQ(ZetTable::NthUserField(h, 2), 3);
  EXPECT_EQ(ZetTable::NthUserField(h, 3), 4);
  EXPECT_EQ(ZetTable::NthUserField(h, 4), 0);
  EXPECT_EQ(ZetTable::UserFieldIndex(h, 4), 3);
  EXPECT_EQ(ZetTable::UserFieldIndex(h, 2), 0);
}

TEST_F(ZetTableTest, FieldLookupByNameAndNumber) {
  const int h = Install(MakeTable(2, {{"Vor name", 1, 20, 20},
                                      {"stra\xDF" "e", 1, 30, 30},
                                      {"2", 2, 1, 10},
                                      {"Kunde (KUNDEN)", 10, 3, 10},
                                      {"\xE9t\xE9", 2, 1, 10}}));
  ZetTable::BuildFieldNameHash(h);
  // Case-insensitive by the character rule, blanks as "_".
  EXPECT_EQ(ZetTable::FindFieldByName(h, "VOR_NAME"), 1);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "vor name"), 1);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "STRA\xDF" "E"), 2);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "\xC9T\xC9"), 5);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "VORNAME"), 0);
  // A number names the n-th user field, not a field of that name.
  EXPECT_EQ(ZetTable::FieldNoFromText(h, "2"), 2);
  EXPECT_EQ(ZetTable::FieldNoFromText(h, "0"), 0);
  EXPECT_EQ(ZetTable::FieldNoFromText(h, "99999999999"), 0);
  EXPECT_EQ(ZetTable::FieldNoFromText(h, "Vor_Name"), 1);
  EXPECT_EQ(ZetTable::FieldNoFromText(h, ""), 0);
  EXPECT_EQ(ZetTable::FieldNoFromText(h + 1, "Vor_Name"), 0);
  EXPECT_EQ(ZetTable::FieldNoFromText(h, "kunde (kunden)"), 4);
  // Loose names compare the text with every name as stored, by the
  // collation ("^" compares as a blank).
  EXPECT_EQ(ZetTable::FieldNoFromText(h, "vor^name"), 0);
  ZetTable::SetLooseNames(true);
  EXPECT_EQ(ZetTable::FieldNoFromText(h, "vor^name"), 1);
  ZetTable::SetLooseNames(false);

  // Consume-names takes a found field out of the hash.
  ZetTable::SetConsumeNames(true);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "VOR_NAME"), 1);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "VOR_NAME"), 0);
  ZetTable::SetConsumeNames(false);
  ZetTable::BuildFieldNameHash(h);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "VOR_NAME"), 1);

  EXPECT_EQ(ZetTable::FieldName(h, 4).str(), "KUNDE (KUNDEN)");
  EXPECT_EQ(ZetTable::FieldName(h, 4, true).str(), "Kunde (KUNDEN)");
  EXPECT_EQ(ZetTable::FieldName(h, 1, true).str(), "VOR NAME");  // raw only for L fields
  EXPECT_EQ(ZetTable::FieldTypeText(h, 2, 6).str(), "S030  ");
  EXPECT_EQ(ZetTable::FieldTypeText(h, 4, 0).str(), "L");
}

TEST_F(ZetTableTest, FieldLookupSurvivesCollidingBuckets) {
  // "AB" and "BA" hash alike (sum of the codes).
  const int h = Install(MakeTable(2, {{"AB", 0, 0, 1}, {"BA", 0, 0, 1}}));
  ZetTable::BuildFieldNameHash(h);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "BA"), 2);
  EXPECT_EQ(ZetTable::FindFieldByName(h, "AB"), 1);
}

TEST_F(ZetTableTest, ChoicesAndValueRanges) {
  auto t = MakeTable(2, {{"A", 8, 0, 243}, {"X", 3, 7, 242}});
  t->choiceLists.push_back({1, {"Sehr gut ", "Meier^Hans", "Rot"}});
  t->fieldSpecs.push_back({2, -1.5, 9.25});
  const int h = Install(std::move(t));
  EXPECT_EQ(ZetTable::GetChoiceText(h, 1, 1).str(), "Sehr_gut");
  EXPECT_EQ(ZetTable::GetChoiceText(h, 1, 2).str(), "MeierHans");
  EXPECT_EQ(ZetTable::GetChoiceText(h, 1, 4).str(), "");
  EXPECT_EQ(ZetTable::GetChoiceText(h, 1, 0).str(), "");
  EXPECT_EQ(ZetTable::FindChoice(h, 1, "ROT"), 3);
  EXPECT_EQ(ZetTable::FindChoice(h, 1, "Sehr gut"), 1);
  EXPECT_EQ(ZetTable::FindChoice(h, 1, "Blau"), 0);
  double lo = 1, hi = 1;
  EXPECT_TRUE(ZetTable::GetFieldSpec(h, 2, lo, hi));
  EXPECT_EQ(lo, -1.5);
  EXPECT_EQ(hi, 9.25);
  EXPECT_FALSE(ZetTable::GetFieldSpec(h, 1, lo, hi));
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
}

TEST_F(ZetTableTest, CreateCopyResizesRealFieldsKeepingNullFlags) {
  auto source = MakeTable(2, {{"A", 3, 7, 242}, {"B", 3, 8, 242, ZetTable::kTypeNullable},
                              {"HIDDEN", 3, 7, 0}, {"C", 2, 1, 10}});
  source->recordCount = 5;
  source->tableCode = "CODE";
  source->choiceLists.push_back({4, {"x"}});
  source->indexes[1] = std::make_unique<ZetTable::TIndexDescriptor>();
  source->indexes[1]->fileName = "T.IND";
  source->indexes[1]->isOpen = true;
  ASSERT_EQ(source->recordLength, 8 + 9 + 2);

  auto v1 = TZetTable::CreateCopy(*source, 1);
  EXPECT_EQ(v1->version, 1);
  EXPECT_EQ(v1->SizeCode(1), 5);
  EXPECT_EQ(v1->SizeCode(2), 6);  // value + flag byte
  EXPECT_EQ(v1->SizeCode(3), 5);
  EXPECT_EQ(v1->recordLength, 6 + 7 + 2);  // the unstored field changes nothing
  EXPECT_EQ(v1->FieldOffset(4), 13u);
  EXPECT_EQ(v1->recordCount, 5);
  EXPECT_EQ(v1->tableCode.str(), "CODE");
  EXPECT_EQ(v1->choiceLists[0].entries[0].str(), "x");
  ASSERT_TRUE(v1->indexes[1]);
  EXPECT_EQ(v1->indexes[1]->fileName.str(), "T.IND");
  EXPECT_FALSE(v1->indexes[1]->isOpen);  // open state stays with the source
  EXPECT_FALSE(v1->tableFile);
  EXPECT_EQ(source->SizeCode(1), 7);  // the source is untouched

  auto back = TZetTable::CreateCopy(*v1, 2);
  EXPECT_EQ(back->descriptors, source->descriptors);
  EXPECT_EQ(back->recordLength, source->recordLength);
  auto same = TZetTable::CreateCopy(*source, 2);
  EXPECT_EQ(same->recordLength, source->recordLength);
}

TEST_F(ZetTableTest, MarksOfATable) {
  const int h = Install(MakeTable(2, {{"A", 0, 0, 1}}));
  EXPECT_EQ(ZetTable::AddMark(h, 0), 19);
  EXPECT_EQ(Common::LastError(), -19);
  for (uint32_t r : {5u, 3u, 9u, 3u}) EXPECT_EQ(ZetTable::AddMark(h, r), 0);  // no duplicate test
  EXPECT_TRUE(ZetTable::IsMarked(h, 9));
  EXPECT_FALSE(ZetTable::IsMarked(h, 4));
  EXPECT_EQ(ZetTable::FirstMark(h), 5u);
  EXPECT_EQ(ZetTable::EndOfList(), 0);
  EXPECT_EQ(ZetTable::LastMark(h), 3u);

  TZetTable& t = *ZetTable::Table(h);
  t.currentRecord = 3;
  EXPECT_EQ(ZetTable::NextMark(h), 9u);  // after the first node holding 3
  EXPECT_EQ(ZetTable::PriorMark(h), 5u);
  t.currentRecord = 5;
  EXPECT_EQ(ZetTable::PriorMark(h), 0u);
  EXPECT_EQ(ZetTable::EndOfList(), 1);
  t.currentRecord = 4;
  EXPECT_EQ(ZetTable::NextMark(h), 0u);
  EXPECT_EQ(ZetTable::EndOfList(), 1);

  ZetTable::ReplaceMark(h, 3, 7);  // a marked record moved
  EXPECT_EQ(t.marks.Items(), (std::vector<uint32_t>{5, 7, 9, 3}));
  ZetTable::RemoveMark(h, 5);
  EXPECT_EQ(ZetTable::FirstMark(h), 7u);
  ZetTable::ClearMarks(h);
  EXPECT_EQ(ZetTable::FirstMark(h), 0u);
  EXPECT_EQ(ZetTable::EndOfList(), 1);
}

TEST_F(ZetTableTest, RelationFileNamesAndOpenTables) {
  auto v2 = MakeTable(2, {{"A", 0, 0, 1}});
  auto v1 = MakeTable(1, {{"A", 0, 0, 1}});
  EXPECT_EQ(ZetTable::RelationFileName(*v2, "Positionen").str(), "POSITIONEN.REL");
  EXPECT_EQ(ZetTable::RelationFileName(*v1, "Positionen").str(), "POSITION.REL");

  v2->directory = TempDir().string() + "/";
  v2->fileName = "KUNDEN.DAT";
  v1->directory = TempDir().string() + "/";
  v1->fileName = "POSITION.REL";
  const int h2 = Install(std::move(v2));
  const int h1 = Install(std::move(v1));
  EXPECT_EQ(ZetTable::FindOpenTable("kunden"), h2);
  EXPECT_EQ(ZetTable::FindOpenTable("Position"), h1);
  EXPECT_EQ(ZetTable::FindOpenTable("KUNDEN.REL"), 0);
  EXPECT_EQ(ZetTable::FindOpenTable(TempDir().string() + "/kunden.dat"), h2);
  EXPECT_EQ(ZetTable::FindOpenTable("/elsewhere/KUNDEN.DAT"), 0);
}

TEST_F(ZetTableTest, LinkedTableSetClimbsTheMasterChain) {
  for (int i = 0; i < 5; ++i) Install(MakeTable(2, {{"A", 0, 0, 1}}));
  ZetTable::Table(3)->masterTable = 2;
  ZetTable::Table(2)->masterTable = 1;
  ZetTable::Table(5)->masterTable = 5;  // a circle ends
  uint64_t set = 0;
  ZetTable::IncludeHandle(set, 3);
  ZetTable::IncludeHandle(set, 5);
  const uint64_t linked = ZetTable::LinkedTableSet(set);
  EXPECT_EQ(linked, (1u << 0) | (1u << 1) | (1u << 2) | (1u << 4));
  EXPECT_TRUE(ZetTable::HandleInSet(linked, 1));
  EXPECT_FALSE(ZetTable::HandleInSet(linked, 4));
}

TEST_F(ZetTableTest, RecordBufferAndRangeLimits) {
  const int h = Install(MakeTable(2, {{"A", 1, 9, 9}}));
  TZetTable& t = *ZetTable::Table(h);
  ZetTable::ClearRecordBuffer(h);
  EXPECT_EQ(t.recordBuffer, std::vector<uint8_t>(10, 0));
  t.recordBuffer[3] = 7;
  ZetTable::ClearRecordBuffer(h);
  EXPECT_EQ(t.recordBuffer, std::vector<uint8_t>(10, 0));
  t.lowLimit.assign(ZetTable::kMaxKeySize, 1);
  ZetTable::ClearRangeLimits(h);
  EXPECT_TRUE(t.lowLimit.empty());
}

// Mark lists on their own.
class MarkListsTest : public zettest::EngineTest {};

TEST_F(MarkListsTest, ListOperations) {
  using namespace MarkLists;
  TMarkList list;
  EXPECT_EQ(MarkListFirst(list), 0u);
  EXPECT_EQ(EndFlag(), kNoMark);
  for (uint32_t r : {4u, 8u, 15u}) MarkListAdd(list, r);
  EXPECT_EQ(MarkListFirst(list), 4u);
  EXPECT_EQ(EndFlag(), 0);
  EXPECT_EQ(MarkListLast(list), 15u);
  EXPECT_EQ(MarkListNext(list, 8), 15u);
  EXPECT_EQ(MarkListNext(list, 15), 0u);  // last
  EXPECT_EQ(EndFlag(), kNoMark);
  EXPECT_EQ(MarkListNext(list, 16), 0u);  // absent
  EXPECT_EQ(EndFlag(), kNoMark);
  EXPECT_EQ(MarkListPrior(list, 4), 0u);
  EXPECT_EQ(MarkListPrior(list, 15), 8u);

  // Toggling twice leaves the list as it was.
  EXPECT_EQ(MarkListToggle(list, 23), 0);
  EXPECT_EQ(list.Count(), 4u);
  MarkListToggle(list, 23);
  EXPECT_EQ(list.Items(), (std::vector<uint32_t>{4, 8, 15}));

  // Duplicates: lookups use the first occurrence, removal takes one.
  MarkListAdd(list, 4);
  EXPECT_EQ(MarkListNext(list, 4), 8u);
  MarkListRemove(list, 4);
  EXPECT_EQ(list.Items(), (std::vector<uint32_t>{8, 15, 4}));
  EXPECT_TRUE(MarkListContains(list, 4));
  MarkListReplace(list, 4, 42);
  EXPECT_FALSE(MarkListContains(list, 4));
  EXPECT_EQ(MarkListLast(list), 42u);

  TMarkList copy;
  MarkListAdd(copy, 99);
  MarkListCopy(list, copy);
  EXPECT_EQ(copy.Items(), list.Items());
  MarkListClear(list);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_FALSE(MarkListContains(list, 8));
  EXPECT_EQ(copy.Count(), 3u);
}

TEST_F(MarkListsTest, WalkingManyMarksStaysLinear) {
  using namespace MarkLists;
  TMarkList list;
  const uint32_t n = 200000;
  for (uint32_t r = n; r >= 1; --r) MarkListAdd(list, r);
  // Each step finds its number where the last one ended; a search from the
  // front on every step would take 2 x 10^10 comparisons here.
  uint32_t seen = 0;
  for (MarkListFirst(list); EndFlag() == 0;) {
    ++seen;
    MarkListNext(list, n + 1 - seen);
  }
  EXPECT_EQ(seen, n);
}

}  // namespace
