// Index slots and files: names, opening on demand, rebuilding, key
// operations, deleting, temporary indexes and saved positions.
#include "engine/storage/zet00_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/stacklib.h"
#include "engine/storage/tests/fault_test_util.h"
#include "engine/storage/tests/index_test_util.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet01.h"
#include "engine/storage/zet06_create.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using ZetTable::TZetTable;
using zettable_test::FieldDef;
using zettable_test::MakeTable;
using Recnos = std::vector<uint32_t>;
using Key = std::array<uint8_t, ZetTable::kMaxKeySize>;

constexpr uint16_t kName = 1, kNr = 2, kLink = 3;

class Zet00IndexTest : public zettest::EngineTest {
 protected:
  // KUNDEN: NAME S20, NR I, KUNDE L; the link index in slot 1 and the user
  // index NAMEN.IND (NAME, NR descending) in slot 2.
  int CreateCustomers(const std::vector<std::string>& names) {
    auto t = MakeTable(2, {{"NAME", 1, 20, 20}, {"NR", 2, 1, 10}, {"KUNDE", 10, 3, 10}});
    auto user = std::make_unique<ZetTable::TIndexDescriptor>();
    user->fileName = "NAMEN.IND";
    Zet00::SetKeyPart(user->header.data(), 0, {kName, 21, Common::kTypeString});
    Zet00::SetKeyPart(user->header.data(), 1, {kNr | ZetTable::kKeyDescending, 2, Common::kTypeInteger});
    t->indexes[1] = std::move(user);
    EXPECT_EQ(Zet06::CreateTable(*t, TempPath("KUNDEN.DAT"), {}, false, 0, 0), 0);
    const int h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
    EXPECT_GT(h, 0);
    for (size_t i = 0; i < names.size(); ++i) {
      index_test::SetText(h, kName, names[i]);
      index_test::SetText(h, kNr, std::to_string(i + 1));
      index_test::SetText(h, kLink, std::to_string(100 - int(i)));
      EXPECT_EQ(index_test::AppendForTest(h), 0);
    }
    return h;
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(TempDir() / name); }
  TZetTable& T(int h) { return *ZetTable::Table(h); }
};

TEST_F(Zet00IndexTest, AutomaticSlotsGetTheirNamesAndKeys) {
  struct Case {
    const char* what;
    uint16_t version;
    std::vector<FieldDef> fields;
    std::vector<std::string> names;  // from the first slot
    int first;
  };
  const std::vector<Case> cases = {
      {"two links", 2, {{"A", 10, 3, 10}, {"B", 1, 5, 5}, {"C", 10, 3, 10}}, {"TEST.IN1", "TEST.IN2"}, 1},
      {"ID table", 2, {{"A", 10, 3, 10}, {"NR", 9, 3, 10}, {"C", 10, 3, 10}},
       {"TEST.INR", "TEST.ID", "TEST.IN1", "TEST.IN2"}, 0},
      {"nullable and unstored links have none", 2,
       {{"A", 10, 3, 10, ZetTable::kTypeNullable}, {"B", 10, 3, 0}, {"C", 10, 3, 10}}, {"TEST.IN1"}, 1},
      {"no links", 2, {{"B", 1, 5, 5}}, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto t = MakeTable(c.version, c.fields);
    t->hasAutoNumber = c.first == 0;
    t->autoNumberField = 2;
    ASSERT_EQ(Zet00::AssignIndexFileNames(*t), 0);
    EXPECT_EQ(Zet00::FirstIndexSlot(*t), c.first);
    EXPECT_EQ(t->automaticIndexSlots, c.names.size());
    EXPECT_EQ(t->highestIndexSlot, c.names.empty() ? 0 : c.first + int(c.names.size()) - 1);
    for (size_t i = 0; i < c.names.size(); ++i)
      EXPECT_EQ(t->indexes[c.first + i]->fileName.view(), c.names[i]);
  }
  // The keys: the N field, the ID key description, each link field.
  auto t = MakeTable(2, {{"A", 10, 3, 10}, {"NR", 9, 3, 10}});
  t->hasAutoNumber = true;
  t->autoNumberField = 2;
  Zet00::SetKeyPart(t->idKeyDescription.data(), 0, {1, 4, Common::kTypeLink});
  ASSERT_EQ(Zet00::AssignIndexFileNames(*t), 0);
  EXPECT_EQ(Zet00::KeyPart(t->indexes[0]->header.data(), 0).field, 2);
  EXPECT_EQ(Zet00::KeyPart(t->indexes[0]->header.data(), 0).type, Common::kTypeAutoNumber);
  EXPECT_EQ(std::vector<uint8_t>(t->indexes[1]->header.begin(), t->indexes[1]->header.begin() + 50),
            std::vector<uint8_t>(t->idKeyDescription.begin(), t->idKeyDescription.end()));
  EXPECT_EQ(Zet00::KeyPart(t->indexes[2]->header.data(), 0).field, 1);
  EXPECT_EQ(Zet00::KeyLength(t->indexes[2]->header.data()), 8u);

  // Names are cut to 40 characters, or 8 in version-1 tables.
  auto longName = MakeTable(1, {{"A", 10, 3, 10}});
  longName->fileName = "LANGERNAME.DAT";
  ASSERT_EQ(Zet00::AssignIndexFileNames(*longName), 0);
  EXPECT_EQ(longName->indexes[1]->fileName.view(), "LANGERNA.IN1");
}

TEST_F(Zet00IndexTest, MoreLinkIndexesThanSlotsAreRefused) {
  for (bool idTable : {false, true}) {
    SCOPED_TRACE(idTable);
    const int fits = idTable ? 14 : 15;
    std::vector<FieldDef> fields;
    for (int i = 0; i < fits; ++i) fields.push_back({"L" + std::to_string(i), 10, 3, 10});
    auto t = MakeTable(2, fields);
    t->hasAutoNumber = idTable;
    ASSERT_EQ(Zet00::AssignIndexFileNames(*t), 0);
    EXPECT_EQ(t->highestIndexSlot, 15);
    // Link indexes 10 to 15 take letters.
    EXPECT_EQ(t->indexes[10]->fileName.view(), idTable ? "TEST.IN9" : "TEST.INA");
    EXPECT_EQ(t->indexes[15]->fileName.view(), idTable ? "TEST.INE" : "TEST.INF");

    fields.push_back({"ZUVIEL", 10, 3, 10});
    auto over = MakeTable(2, fields);
    over->hasAutoNumber = idTable;
    EXPECT_EQ(Zet00::AssignIndexFileNames(*over), Zet00::kErrTooManyIndexes);
    EXPECT_EQ(over->highestIndexSlot, 0);
    EXPECT_EQ(over->indexes[1], nullptr);
  }
}

TEST_F(Zet00IndexTest, KeysGoInOnAppendAndWalkInOrder) {
  const int h = CreateCustomers({"Meier", "Adam", "meier", "Zorn", "Adam"});
  // NAME ascending, NR descending: the two Adams 5 then 2.
  EXPECT_EQ(index_test::WalkIndex(h, 2), (Recnos{5, 2, 3, 1, 4}));
  // The link index: KUNDE = 100, 99, ... so the last record first.
  EXPECT_EQ(index_test::WalkIndex(h, 1), (Recnos{5, 4, 3, 2, 1}));
  // Seek finds the first key not below the current key.
  Key& key = T(h).currentKey;
  key.fill(0);
  key[4] = 2;
  key[5] = 'M';
  key[6] = 'a';
  EXPECT_EQ(Zet00::IndexSeek(h, 2), Zet00::kStatusFound);
  EXPECT_EQ(Zet00::KeyRecordNumber(key.data()), 3u);
  // Past the last key there is none.
  key[4] = 3;
  key[5] = key[6] = key[7] = 'z';
  EXPECT_EQ(Zet00::IndexSeek(h, 2), Zet00::kStatusNone);
  EXPECT_EQ(Zet00::IndexLast(h, 2), Zet00::kStatusFound);
  EXPECT_EQ(Zet00::KeyRecordNumber(key.data()), 4u);
  EXPECT_EQ(Zet00::IndexNext(h, 2), Zet00::kStatusNone);
  // The header counts the inserted keys.
  EXPECT_EQ(bytes::GetI32(T(h).indexes[2]->header.data() + ZetTable::kIdxRecordCount), 5);
}

TEST_F(Zet00IndexTest, DuplicatesAreFoundWhateverTheirRecordNumbers) {
  const int h = CreateCustomers({"Meier", "Adam", "Zorn"});
  const uint8_t* desc = T(h).indexes[2]->header.data();
  Key key{};
  // A key like record 1's, but under a higher number: the lower one is found.
  index_test::SetText(h, kName, "MEIER");
  index_test::SetText(h, kNr, "1");
  ASSERT_EQ(Zet00::MakeKey(h, 2, T(h).recordBuffer.data(), key.data(), 4), 0);
  T(h).currentKey.fill(0x55);
  uint32_t found = 0;
  EXPECT_TRUE(Zet00::KeyExists(h, 2, key.data(), 4, &found));
  EXPECT_EQ(found, 1u);
  EXPECT_EQ(T(h).currentKey[0], 0x55);  // the current key is kept
  // The record's own key is no duplicate of itself.
  EXPECT_FALSE(Zet00::KeyExists(h, 2, key.data(), 1));
  index_test::SetText(h, kNr, "2");
  ASSERT_EQ(Zet00::MakeKey(h, 2, T(h).recordBuffer.data(), key.data(), 1, desc), 0);
  EXPECT_FALSE(Zet00::KeyExists(h, 2, key.data()));
}

TEST_F(Zet00IndexTest, IndexWithTheWrongCountIsRebuiltOnOpen) {
  int h = CreateCustomers({"C", "A", "B", "E", "D", "F", "G", "I", "H", "J", "K"});
  index_test::CloseForTest(h);
  // The link index's header says 10 records while the table holds 11.
  {
    BTREES::PTree tree = nullptr;
    uint8_t header[ZetTable::kIndexHeaderSize];
    ASSERT_EQ(BTREES::OpenTree(tree, TempPath("KUNDEN.IN1"), Zet00::KeyBefore, LOWFILES::kModeReadWriteShared,
                               sizeof header, header),
              0);
    EXPECT_EQ(bytes::GetI32(header + ZetTable::kIdxRecordCount), 11);
    bytes::PutI32(header + ZetTable::kIdxRecordCount, 10);
    BTREES::CloseTree(tree, header, sizeof header, true);
  }

  h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
  Common::ResetLastError();
  ASSERT_TRUE(Zet00::IndexAvailable(h, 1, true));
  EXPECT_EQ(Common::LastError(), -Zet00::kErrIndexNotFit);
  EXPECT_NE(Common::LastErrorText().view().find("KUNDEN.IN1"), std::string_view::npos);
  EXPECT_EQ(index_test::WalkIndex(h, 1).size(), 11u);
  EXPECT_EQ(bytes::GetI32(T(h).indexes[1]->header.data() + ZetTable::kIdxRecordCount), 11);
  // Without the count check the user index opens as it is.
  Common::ResetLastError();
  EXPECT_TRUE(Zet00::IndexAvailable(h, 2, false));
  EXPECT_EQ(Common::LastError(), 0);
}

TEST_F(Zet00IndexTest, MissingIndexFiles) {
  int h = CreateCustomers({"B", "A"});
  index_test::CloseForTest(h);
  std::filesystem::remove(TempDir() / "KUNDEN.IN1");
  std::filesystem::remove(TempDir() / "NAMEN.IND");
  h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
  // A missing automatic index is made and built.
  ASSERT_TRUE(Zet00::IndexAvailable(h, 1, true));
  EXPECT_TRUE(Exists("KUNDEN.IN1"));
  EXPECT_EQ(index_test::WalkIndex(h, 1), (Recnos{2, 1}));
  // A missing user index is an error; the slot then fails at once, and once
  // asked for again it goes away.
  EXPECT_FALSE(Zet00::IndexAvailable(h, 2, true));
  EXPECT_EQ(Common::LastError(), -Zet00::kErrIndexWrite);
  EXPECT_TRUE(T(h).indexes[2]->openFailed);
  EXPECT_EQ(Zet00::IndexFirst(h, 2), Zet00::kStatusFailed);
  EXPECT_EQ(T(h).indexes[2], nullptr);
  EXPECT_EQ(T(h).highestIndexSlot, 1);
}

TEST_F(Zet00IndexTest, DescriptionsThatDoNotFitTheTable) {
  int h = CreateCustomers({"B", "A", "C"});
  index_test::CloseForTest(h);
  // The link index's file claims another field; the table's own description
  // wins and the index is rebuilt.
  {
    h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
    BTREES::PTree tree = nullptr;
    uint8_t header[ZetTable::kIndexHeaderSize];
    ASSERT_EQ(BTREES::OpenTree(tree, TempPath("KUNDEN.IN1"), Zet00::KeyBefore, LOWFILES::kModeReadWriteShared,
                               sizeof header, header),
              0);
    Zet00::SetKeyPart(header, 0, {kNr, 4, Common::kTypeLink});
    BTREES::CloseTree(tree, header, sizeof header, true);
  }
  ASSERT_TRUE(Zet00::IndexAvailable(h, 1, false));
  EXPECT_EQ(Common::LastError(), -Zet00::kErrIndexNotFit);
  EXPECT_EQ(Zet00::KeyPart(T(h).indexes[1]->header.data(), 0).field, kLink);
  EXPECT_EQ(index_test::WalkIndex(h, 1), (Recnos{3, 2, 1}));
  // A user index over a part type no key has is damaged: it is not used.
  index_test::CloseForTest(h);
  {
    BTREES::PTree tree = nullptr;
    uint8_t header[ZetTable::kIndexHeaderSize];
    ASSERT_EQ(BTREES::OpenTree(tree, TempPath("NAMEN.IND"), Zet00::KeyBefore, LOWFILES::kModeReadWriteShared,
                               sizeof header, header),
              0);
    Zet00::SetKeyPart(header, 1, {kNr, 2, Common::kTypeMemo});
    BTREES::CloseTree(tree, header, sizeof header, true);
  }
  h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
  EXPECT_FALSE(Zet00::IndexAvailable(h, 2, false));
  EXPECT_EQ(Common::LastError(), -Zet00::kErrIndexDamaged);
}

// An automatic index whose file holds the table's key with parts added
// after it keeps that key and its entries (the full-text relation index
// does so); one whose leading part differs, even only in its type, gets the
// table's key and is rebuilt.
TEST_F(Zet00IndexTest, AutomaticIndexKeepsAKeyThatOnlyAddsParts) {
  struct Case {
    uint8_t leadingType;
    bool kept;
  };
  index_test::CloseForTest(CreateCustomers({"B", "A", "C"}));
  for (const Case& c : {Case{Common::kTypeLink, true}, Case{Common::kTypeInteger, false}}) {
    SCOPED_TRACE(int(c.leadingType));
    // An empty tree over {KUNDE, NR} whose header counts the table's records.
    uint8_t header[ZetTable::kIndexHeaderSize] = {};
    Zet00::SetKeyPart(header, 0, {kLink, 4, c.leadingType});
    Zet00::SetKeyPart(header, 1, {kNr, 2, Common::kTypeInteger});
    header[ZetTable::kIdxWrittenFlag] = 1;
    bytes::PutI32(header + ZetTable::kIdxRecordCount, 3);
    bytes::PutU16(header + ZetTable::kIdxKeyLength, 10);
    BTREES::PTree tree = nullptr;
    ASSERT_EQ(BTREES::CreateTree(tree, TempPath("KUNDEN.IN1"), 512, LOWFILES::kModeReadWriteShared, sizeof header,
                                 header, Zet00::KeyBefore, 10),
              0);
    ASSERT_EQ(BTREES::CloseTree(tree, header, sizeof header, true), 0);

    const int h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
    Common::ResetLastError();
    ASSERT_TRUE(Zet00::IndexAvailable(h, 1, true));
    const uint8_t* kept = T(h).indexes[1]->header.data();
    EXPECT_EQ(Zet00::PartCount(kept), c.kept ? 2u : 1u);
    EXPECT_EQ(Zet00::KeyPart(kept, 0).type, Common::kTypeLink);
    EXPECT_EQ(Common::LastError(), c.kept ? 0 : -Zet00::kErrIndexNotFit);
    EXPECT_EQ(index_test::WalkIndex(h, 1).size(), c.kept ? 0u : 3u);
    index_test::CloseForTest(h);
  }
}

int32_t g_progressCalls = 0;
int32_t CountProgress(int32_t done, int32_t total) {
  ++g_progressCalls;
  EXPECT_LE(done, total);
  return 0;
}
int32_t StopAtOnce(int32_t, int32_t) { return 1; }

TEST_F(Zet00IndexTest, RebuildSortsEveryRecordsKey) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back(std::string(1, char('a' + (i * 7) % 26)) + std::to_string(i % 10));
  const int h = CreateCustomers(names);
  const Recnos before = index_test::WalkIndex(h, 2);
  g_progressCalls = 0;
  ASSERT_EQ(Zet00::RebuildIndex(h, 2, CountProgress), 0);
  EXPECT_EQ(g_progressCalls, 100);  // every 300 / 100 records
  EXPECT_EQ(index_test::WalkIndex(h, 2), before);
  EXPECT_EQ(before.size(), 300u);
  EXPECT_TRUE(std::is_permutation(before.begin(), before.end(), index_test::WalkIndex(h, 1).begin()));

  // Stopped by the progress procedure, the index is taken out of use.
  EXPECT_EQ(Zet00::RebuildIndex(h, 2, StopAtOnce), Zet00::kErrBreak);
  EXPECT_FALSE(Zet00::IndexAvailable(h, 2, false));
  // Without index rights nothing is refreshed; with them every index is.
  T(h).openModeWord = ZetTable::kRightWrite;
  EXPECT_EQ(Zet00::RefreshIndexes(h), 0);
  EXPECT_TRUE(T(h).indexes[2]->openFailed);
  T(h).openModeWord = ZetTable::kRightsMask;
  T(h).indexes[2]->openFailed = false;
  EXPECT_EQ(Zet00::RefreshIndexes(h), 0);
  EXPECT_EQ(index_test::WalkIndex(h, 2), before);
}

// The rebuild's writes run into a "death" (every later write fails) at its
// first progress call, when the new file holds only its headers, or a few
// writes into the inserts, when some pages hold keys. Either way the file's
// header says unsettled, and the next open with the count check rebuilds.
int g_writesBeforeDeath = 0;
bool g_died = false;
int32_t DieHalfWay(int32_t, int32_t) {
  if (!g_died) fault_test::DieAfterWrites(g_writesBeforeDeath);
  g_died = true;
  return 0;
}

TEST_F(Zet00IndexTest, RebuildCutShortIsDoneAgainAtTheNextOpen) {
  std::vector<std::string> names;
  for (int i = 0; i < 600; ++i) names.push_back("N" + std::to_string(i * 7 % 600));
  for (const int writes : {0, 3}) {
    SCOPED_TRACE(writes);
    int h = CreateCustomers(names);
    {
      fault_test::TFaultReset reset;
      g_writesBeforeDeath = writes;
      g_died = false;
      EXPECT_NE(Zet00::RebuildIndex(h, 2, DieHalfWay), 0);
      ASSERT_TRUE(g_died);
      index_test::CloseForTest(h);
    }
    h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
    Common::ResetLastError();
    ASSERT_TRUE(Zet00::IndexAvailable(h, 2, true));
    EXPECT_EQ(Common::LastError(), -Zet00::kErrIndexNotFit);
    const Recnos order = index_test::WalkIndex(h, 2);
    ASSERT_EQ(order.size(), names.size());
    for (size_t i = 1; i < order.size(); ++i)
      ASSERT_LT(index_test::GetText(h, kName, order[i - 1]), index_test::GetText(h, kName, order[i]));
    index_test::CloseForTest(h);
  }
}

TEST_F(Zet00IndexTest, FailedAppendTakesItsKeysOutAgain) {
  const int h = CreateCustomers({"B", "A"});
  // The user index cannot be opened any more.
  Zet00::CloseIndexes(h, false);
  Zet00::AssignIndexFileNames(T(h));
  auto user = std::make_unique<ZetTable::TIndexDescriptor>();
  user->fileName = "WEG.IND";
  T(h).indexes[2] = std::move(user);
  T(h).highestIndexSlot = 2;
  index_test::SetText(h, kName, "C");
  index_test::SetText(h, kLink, "50");
  EXPECT_EQ(index_test::AppendForTest(h), Common::kErrWrite);
  EXPECT_EQ(index_test::WalkIndex(h, 1), (Recnos{2, 1}));
  EXPECT_EQ(bytes::GetI32(T(h).indexes[1]->header.data() + ZetTable::kIdxRecordCount), 2);
}

TEST_F(Zet00IndexTest, UpdateMovesOnlyChangedKeys) {
  const int h = CreateCustomers({"B", "A", "C"});
  TZetTable& t = T(h);
  ASSERT_EQ(Zet00::ReadRecordHook(h, 2, t.recordBuffer.data()), 0);
  const std::vector<uint8_t> old = t.recordBuffer;
  bool changed = true;
  EXPECT_EQ(Zet00::UpdateRecordKeys(h, old.data(), 2, changed), 0);
  EXPECT_FALSE(changed);
  index_test::SetText(h, kName, "Z");
  EXPECT_EQ(Zet00::UpdateRecordKeys(h, old.data(), 2, changed), 0);
  EXPECT_TRUE(changed);
  EXPECT_EQ(index_test::WalkIndex(h, 2), (Recnos{1, 3, 2}));
  EXPECT_EQ(index_test::WalkIndex(h, 1), (Recnos{3, 2, 1}));
}

TEST_F(Zet00IndexTest, DeleteIndexRemovesOnlyUserIndexesAndRemapsSlots) {
  const int h = CreateCustomers({"B", "A"});
  TZetTable& t = T(h);
  // A second user index after NAMEN.IND.
  auto extra = std::make_unique<ZetTable::TIndexDescriptor>();
  extra->fileName = "NR.IND";
  Zet00::SetKeyPart(extra->header.data(), 0, {kNr, 2, Common::kTypeInteger});
  t.indexes[3] = std::move(extra);
  t.highestIndexSlot = 3;
  ASSERT_EQ(Zet00::RebuildIndex(h, 3), 0);

  EXPECT_EQ(Zet00::DeleteIndex(h, 1), Zet00::kErrIllegalOp);  // automatic
  t.openModeWord = ZetTable::kRightWrite;
  EXPECT_EQ(Zet00::DeleteIndex(h, 2), Zet00::kErrIllegalOp);  // no index rights
  t.openModeWord = ZetTable::kRightsMask;

  t.orderMode = ZetTable::kOrderIndex;
  t.currentIndex = 3;
  t.linkIndex = 2;
  t.bindings[kLink].indexSlot = 3;
  ASSERT_EQ(Zet00::DeleteIndex(h, 2), 0);
  EXPECT_FALSE(Exists("NAMEN.IND"));
  EXPECT_EQ(t.highestIndexSlot, 2);
  EXPECT_EQ(t.indexes[2]->fileName.view(), "NR.IND");
  EXPECT_EQ(t.indexes[3], nullptr);
  EXPECT_EQ(t.currentIndex, 2);
  EXPECT_EQ(t.orderMode, ZetTable::kOrderIndex);
  EXPECT_EQ(t.bindings[kLink].indexSlot, 2);
  EXPECT_EQ(t.linkIndex, 0);
  EXPECT_EQ(index_test::WalkIndex(h, 2), (Recnos{1, 2}));
  // The table file's directory follows.
  index_test::CloseForTest(h);
  const int again = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
  EXPECT_EQ(T(again).highestIndexSlot, 2);
  EXPECT_EQ(T(again).indexes[2]->fileName.view(), "NR.IND");

  // Deleting the index walked in index order falls back to record order.
  T(again).orderMode = ZetTable::kOrderIndex;
  T(again).currentIndex = 2;
  ASSERT_EQ(Zet00::DeleteIndex(again, 2), 0);
  EXPECT_EQ(T(again).orderMode, ZetTable::kOrderRecords);
}

TEST_F(Zet00IndexTest, FindOrCreateIndexTakesAPrefixOrMakesATemporaryIndex) {
  const int h = CreateCustomers({"B", "A", "C"});
  uint8_t byName[ZetTable::kKeyDescriptionSize] = {};
  Zet00::SetKeyPart(byName, 0, {kName, 21, Common::kTypeString});
  EXPECT_EQ(Zet00::FindOrCreateIndex(h, byName, true), 2);

  uint8_t byNr[ZetTable::kKeyDescriptionSize] = {};
  Zet00::SetKeyPart(byNr, 0, {kNr, 2, Common::kTypeInteger});
  EXPECT_EQ(Zet00::FindOrCreateIndex(h, byNr, false), -1);
  const int slot = Zet00::FindOrCreateIndex(h, byNr, true);
  ASSERT_EQ(slot, 3);
  EXPECT_EQ(T(h).indexes[3]->fileName.view(), "KUNDEN03.$$$");
  EXPECT_TRUE(Exists("KUNDEN03.$$$"));
  EXPECT_EQ(index_test::WalkIndex(h, 3), (Recnos{1, 2, 3}));
  EXPECT_EQ(Zet00::FindOrCreateIndex(h, byNr, true), 3);

  // Large tables get no temporary index.
  uint8_t desc[ZetTable::kKeyDescriptionSize] = {};
  Zet00::SetKeyPart(desc, 0, {kNr | ZetTable::kKeyDescending, 2, Common::kTypeInteger});
  T(h).recordCount = Zet00::kMaxRecordsForTemporaryIndex + 1;
  EXPECT_EQ(Zet00::FindOrCreateIndex(h, desc, true), -1);
  EXPECT_EQ(T(h).highestIndexSlot, 3);
}

TEST_F(Zet00IndexTest, TablePositionsNest) {
  const int h = CreateCustomers({"B", "A"});
  TZetTable& t = T(h);
  t.currentRecord = 2;
  t.recordBuffer[0] = 7;
  t.orderMode = ZetTable::kOrderIndex;
  t.currentIndex = 2;
  t.masterTable = 5;
  t.currentKey[9] = 9;
  Zet00::PushTablePosition(h);
  t.currentRecord = 1;
  t.recordBuffer[0] = 1;
  t.orderMode = ZetTable::kOrderMarks;
  t.currentIndex = 1;
  t.masterTable = 0;
  t.currentKey[9] = 0;
  Zet00::PushTablePosition(h);
  Zet00::PopTablePosition(h);
  EXPECT_EQ(t.currentRecord, 1u);
  Zet00::PopTablePosition(h);
  EXPECT_EQ(t.currentRecord, 2u);
  EXPECT_EQ(t.recordBuffer[0], 7);
  EXPECT_EQ(t.orderMode, ZetTable::kOrderIndex);
  EXPECT_EQ(t.currentIndex, 2);
  EXPECT_EQ(t.masterTable, 5);
  EXPECT_EQ(t.currentKey[9], 9);
  EXPECT_EQ(STACKLIB::TopEntrySize(), 0u);
  // Handles outside the open tables push nothing.
  Zet00::PushTablePosition(0);
  Zet00::PushTablePosition(h + 1);
  EXPECT_EQ(STACKLIB::TopEntrySize(), 0u);
}

TEST_F(Zet00IndexTest, PageSizesOfNewIndexFiles) {
  EXPECT_EQ(Zet00::PageSizeFor(8), 512);
  EXPECT_EQ(Zet00::PageSizeFor(25), 4096);
  EXPECT_TRUE(Zet00::SetIndexPageSize(8192));
  EXPECT_EQ(Zet00::PageSizeFor(8), 1024);
  EXPECT_EQ(Zet00::PageSizeFor(25), 8192);
  EXPECT_FALSE(Zet00::SetIndexPageSize(511));
  EXPECT_FALSE(Zet00::SetIndexPageSize(32769));
  EXPECT_EQ(Zet00::IndexPageSize(), 8192);
  ASSERT_TRUE(Zet00::SetIndexPageSize(512));
  // A page always holds two entries of the longest key.
  EXPECT_EQ(Zet00::PageSizeFor(260), 1024);
  EXPECT_EQ(Zet00::PageSizeFor(8), 512);
}

}  // namespace
