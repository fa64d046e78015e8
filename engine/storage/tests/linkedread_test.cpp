// Linked reads over a three-level link tree, saved positions, field paths,
// the pattern search of a record and the memo file check.
#include "engine/storage/zet01_links.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/lowfiles.h"
#include "engine/base/stacklib.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/tests/links_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_memocheck.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_relations.h"

namespace {

using namespace links_test;

constexpr uint16_t NAME = 2;                  // KUNDEN
constexpr uint16_t KUNDE = 2, TEXT = 3;       // AUFTRAG
constexpr uint16_t AUFTRAG = 2, ARTIKEL = 3;  // POSTEN

// Customers, their orders and the items of the orders:
//   Meier (1): A1 (Apfel, Birne), A2 (Kiwi), A3 (no items)
//   Schulz (2): B1 (Pflaume)
//   Huber (3): no orders
class Zet01LinkedReadTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Create("KUNDEN", {Number(), Text("NAME")}, NAME);
    Create("AUFTRAG", {Number(), Link("KUNDE", "KUNDEN"), Text("TEXT")}, TEXT);
    Create("POSTEN", {Number(), Link("AUFTRAG", "AUFTRAG"), Text("ARTIKEL")});
    const int k = Open("KUNDEN"), a = Open("AUFTRAG"), p = Open("POSTEN");
    for (const char* name : {"Meier", "Schulz", "Huber"}) Add(k, {name});
    for (auto [kunde, text] : {std::pair{"1", "A1"}, {"1", "A2"}, {"2", "B1"}, {"1", "A3"}}) Add(a, {kunde, text});
    for (auto [auftrag, artikel] : {std::pair{"1", "Apfel"}, {"1", "Birne"}, {"2", "Kiwi"}, {"3", "Pflaume"}})
      Add(p, {auftrag, artikel});
    Zet06::CloseTablesFrom(1);
  }

  // Opens the three tables in the given order (names), binds the relations
  // and makes KUNDEN the primary table.
  void OpenShop(const std::vector<std::string>& order) {
    for (const std::string& name : order) {
      const int slot = Open(name);
      if (name == "KUNDEN") kunden = slot;
      if (name == "AUFTRAG") auftrag = slot;
      if (name == "POSTEN") posten = slot;
    }
    Zet01::BuildRelations(1);
    ASSERT_EQ(LINKFILE::SelectPrimaryTable(kunden), 0);
  }

  // The current combination; a table without a match in the chain shows "-".
  std::string Combination() {
    auto part = [&](int slot, uint16_t field) {
      for (int e = 0; e <= Zet01::LinkChainCount(); ++e)
        if (Zet01::LinkChainEntry(e).slot == slot && !Zet01::LinkChainEntry(e).found) return std::string("-");
      return FieldOf(slot, field);
    };
    return FieldOf(kunden, NAME) + "/" + part(auftrag, TEXT) + "/" + part(posten, ARTIKEL);
  }

  // Every combination for customer record r whose not-found set is empty.
  std::vector<std::string> CombinationsOf(uint32_t r, uint64_t set) {
    std::vector<std::string> result;
    T(kunden).currentRecord = r;
    EXPECT_EQ(Zet01::ReadFirstLinked(kunden, true, set), 0);
    if (Zet01::NotFoundSet() != 0) return result;
    do result.push_back(Combination());
    while (Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
    return result;
  }

  std::vector<std::string> AllCombinations(uint64_t set) {
    std::vector<std::string> result;
    for (uint32_t r = 1; r <= 3; ++r)
      for (const std::string& c : CombinationsOf(r, set)) result.push_back(c);
    return result;
  }

  int kunden = 0, auftrag = 0, posten = 0;
};

TEST_F(Zet01LinkedReadTest, TheTreeIsReadAsAJoinWithRequiredAndOptionalTables) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  EXPECT_EQ(T(auftrag).masterTable, kunden);
  EXPECT_EQ(T(posten).masterTable, auftrag);
  const uint64_t both = Set({auftrag, posten});

  struct Case {
    const char* what;
    uint64_t optional;
    std::vector<std::string> combinations;
  } cases[] = {
      {"both required: orders without items and customers without orders drop out",
       0,
       {"Meier/A1/Apfel", "Meier/A1/Birne", "Meier/A2/Kiwi", "Schulz/B1/Pflaume"}},
      {"items optional",
       Set({posten}),
       {"Meier/A1/Apfel", "Meier/A1/Birne", "Meier/A2/Kiwi", "Meier/A3/-", "Schulz/B1/Pflaume"}},
      {"both optional: every customer gives at least one combination",
       both,
       {"Meier/A1/Apfel", "Meier/A1/Birne", "Meier/A2/Kiwi", "Meier/A3/-", "Schulz/B1/Pflaume", "Huber/-/-"}},
  };
  for (const Case& c : cases) {
    Zet01::SetOptionalSet(c.optional);
    EXPECT_EQ(AllCombinations(both), c.combinations) << c.what;
  }
  Zet01::SetOptionalSet(0);
}

TEST_F(Zet01LinkedReadTest, TablesWithoutMatchAreInTheNotFoundSet) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  const uint64_t both = Set({auftrag, posten});
  // Huber has no order: the order has no record, and the item under it none
  // either (its buffer is empty, not filled from a zero link).
  T(kunden).currentRecord = 3;
  ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, both), 0);
  EXPECT_EQ(Zet01::NotFoundSet(), both);
  EXPECT_EQ(T(auftrag).currentRecord, 0u);
  EXPECT_EQ(T(posten).currentRecord, 0u);
  EXPECT_EQ(FieldOf(posten, ARTIKEL), "");
  EXPECT_FALSE(Zet01::LinkChainEntry(1).found);

  // Meier's first order has items; the chain holds primary, order, item.
  T(kunden).currentRecord = 1;
  ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, both), 0);
  EXPECT_EQ(Zet01::NotFoundSet(), 0u);
  ASSERT_EQ(Zet01::LinkChainCount(), 2);
  EXPECT_EQ(Zet01::LinkChainEntry(0).slot, kunden);
  EXPECT_EQ(Zet01::LinkChainEntry(1).slot, auftrag);
  EXPECT_EQ(Zet01::LinkChainEntry(2).slot, posten);

  // A primary without a current record: the set and the primary.
  T(kunden).currentRecord = 0;
  ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, both), 0);
  EXPECT_EQ(Zet01::NotFoundSet(), Set({kunden, auftrag, posten}));
  EXPECT_FALSE(Zet01::LinkChainActive());
}

TEST_F(Zet01LinkedReadTest, AChildBeforeItsParentReadsTheParentFirst) {
  // Slots: POSTEN 1, AUFTRAG 2, KUNDEN 3; the set names only the items.
  OpenShop({"POSTEN", "AUFTRAG", "KUNDEN"});
  EXPECT_EQ(CombinationsOf(1, Set({posten})),
            (std::vector<std::string>{"Meier/A1/Apfel", "Meier/A1/Birne", "Meier/A2/Kiwi"}));
  ASSERT_EQ(Zet01::LinkChainCount(), 2);
  EXPECT_EQ(Zet01::LinkChainEntry(1).slot, auftrag);
  EXPECT_EQ(Zet01::LinkChainEntry(2).slot, posten);
  // An optional child makes the parent it pulls in optional too.
  Zet01::SetOptionalSet(Set({posten}));
  EXPECT_EQ(CombinationsOf(3, Set({posten})), (std::vector<std::string>{"Huber/-/-"}));
  EXPECT_TRUE(ZetTable::HandleInSet(Zet01::OptionalSet(), auftrag));
}

TEST_F(Zet01LinkedReadTest, AnIndependentTableIsCrossedWithTheTree) {
  Create("FARBEN", {Number(), Text("FARBE")});
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  const int farben = Open("FARBEN");
  Add(farben, {"rot"});
  Add(farben, {"blau"});
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(kunden), 0);
  EXPECT_EQ(T(farben).masterTable, 0);
  std::vector<std::string> seen;
  T(kunden).currentRecord = 2;
  ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, Set({auftrag, farben})), 0);
  do seen.push_back(FieldOf(auftrag, TEXT) + "+" + FieldOf(farben, 2));
  while (Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
  EXPECT_EQ(seen, (std::vector<std::string>{"B1+rot", "B1+blau"}));
}

TEST_F(Zet01LinkedReadTest, LinkLevelsAndChainTables) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  Zet01::ResetLinkChain();
  EXPECT_EQ(Zet01::LinkLevelOfTable(kunden), 1);
  EXPECT_EQ(Zet01::LinkLevelOfTable(posten), 2);
  EXPECT_EQ(Zet01::FirstChainTableInSet(Set({posten})), kunden);

  T(kunden).currentRecord = 1;
  ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, Set({auftrag, posten})), 0);
  EXPECT_EQ(Zet01::LinkLevelOfTable(kunden), 1);
  EXPECT_EQ(Zet01::LinkLevelOfTable(auftrag), 2);
  EXPECT_EQ(Zet01::LinkLevelOfTable(posten), 3);
  EXPECT_EQ(Zet01::LinkLevelOfTable(0), 3);
  EXPECT_EQ(Zet01::FirstChainTableInSet(Set({posten, auftrag})), auftrag);

  // Advancing from the order skips the order's remaining items.
  EXPECT_EQ(Combination(), "Meier/A1/Apfel");
  ASSERT_TRUE(Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(auftrag)));
  EXPECT_EQ(Combination(), "Meier/A2/Kiwi");
  EXPECT_FALSE(Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(auftrag)));
  // The primary is never advanced.
  EXPECT_FALSE(Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(kunden)));

  // A chain that names a closed table is dropped.
  Zet01::ValidateLinkChain();
  EXPECT_TRUE(Zet01::LinkChainActive());
  Zet06::CloseTablesFrom(posten);
  EXPECT_FALSE(Zet01::LinkChainActive());
}

// A nested linked read between every step of an outer one, saved and
// restored by each kind of push, leaves the outer read where it was.
TEST_F(Zet01LinkedReadTest, SavedPositionsRestoreAfterNestedWork) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  const uint64_t both = Set({auftrag, posten});
  const std::vector<std::string> plain = CombinationsOf(1, both);
  const void* stackTop = STACKLIB::StackTop();

  struct Saver {
    const char* what;
    std::function<void()> push, pop;
  };
  const uint64_t all = Set({kunden, auftrag, posten});
  const Saver savers[] = {
      {"link state", [] { Zet01::PushLinkState(); }, [] { Zet01::PopLinkState(); }},
      {"table set positions", [&] { Zet01::PushTableSetPositions(all); },
       [&] { Zet01::PopTableSetPositions(all); }},
      {"protected section and every table",
       [&] {
         Zet01::StartProtected();
         for (int h : {kunden, auftrag, posten}) Zet00::PushTablePosition(h);
       },
       [&] {
         for (int h : {posten, auftrag, kunden}) Zet00::PopTablePosition(h);
         Zet01::EndProtected();
       }},
  };
  for (const Saver& s : savers) {
    std::vector<std::string> seen;
    T(kunden).currentRecord = 1;
    ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, both), 0);
    do {
      seen.push_back(Combination());
      s.push();
      // The nested read walks other customers and leaves the chain elsewhere.
      CombinationsOf(2, both);
      CombinationsOf(3, both);
      ZetTable::SetCurrentHandle(posten);
      s.pop();
      EXPECT_EQ(Combination(), seen.back()) << s.what;
    } while (Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
    EXPECT_EQ(seen, plain) << s.what;
    EXPECT_EQ(STACKLIB::StackTop(), stackTop) << s.what;
  }
  EXPECT_EQ(ZetTable::CurrentHandle(), posten);  // only the link state restores it
}

TEST_F(Zet01LinkedReadTest, AllTablePositionsKeepRecordKeyAndLink) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  T(kunden).currentRecord = 1;
  ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, Set({auftrag, posten})), 0);
  ASSERT_TRUE(Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
  const uint32_t record = T(posten).currentRecord;
  const auto key = T(posten).currentKey;
  const auto linkKey = T(posten).linkKeyDescription;
  const uint8_t linkIndex = T(posten).linkIndex;
  const uint32_t kundenRecord = T(kunden).currentRecord;

  Zet01::SaveAllTablePositions(kunden);
  ZetTable::SetCurrentHandle(auftrag);
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(posten), 0);  // a new tree: POSTEN at the top
  EXPECT_EQ(T(posten).masterTable, 0);
  T(posten).currentRecord = 4;
  T(kunden).currentRecord = 3;
  Zet01::ResetLinkChain();
  Zet01::RestoreAllTablePositions(kunden);

  EXPECT_EQ(ZetTable::CurrentHandle(), kunden);
  EXPECT_TRUE(Zet01::LinkChainActive());
  EXPECT_EQ(T(posten).currentRecord, record);
  EXPECT_EQ(T(posten).currentKey, key);
  EXPECT_EQ(T(posten).linkKeyDescription, linkKey);
  EXPECT_EQ(T(posten).linkIndex, linkIndex);
  EXPECT_EQ(T(posten).masterTable, auftrag);
  EXPECT_EQ(T(kunden).currentRecord, 3u);  // the excepted table keeps its own
  EXPECT_NE(kundenRecord, 3u);
}

// The link index of a table follows when an index slot below it goes
// away, and the linked read goes on through it.
TEST_F(Zet01LinkedReadTest, ALinkIndexFollowsWhenALowerIndexSlotGoesAway) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  ASSERT_EQ(MakeIV::CreateUserIndex(true, posten, "NR", "POSTNR", false, nullptr), 3);
  ASSERT_EQ(MakeIV::CreateUserIndex(true, posten, "ARTIKEL", "POSTART", false, nullptr), 4);
  Add(posten, {"9", "Schulz"});
  ASSERT_EQ(LINKFILE::AddLinkDefinition("POSTEN[ARTIKEL]=KUNDEN[NAME]", false), 0);
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(kunden), 0);
  ASSERT_EQ(T(posten).masterTable, kunden);
  ASSERT_EQ(T(posten).linkIndex, 4);

  ASSERT_EQ(Zet00::DeleteIndex(posten, 3), 0);
  EXPECT_EQ(T(posten).linkIndex, 3);
  EXPECT_EQ(T(posten).currentIndex, 3);
  T(kunden).currentRecord = 2;
  ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, Set({posten})), 0);
  EXPECT_EQ(Zet01::NotFoundSet(), 0u);
  EXPECT_EQ(T(posten).currentRecord, 5u);
  EXPECT_EQ(FieldOf(posten, ARTIKEL), "Schulz");
  EXPECT_FALSE(Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
}

TEST_F(Zet01LinkedReadTest, FieldPathsFollowLinksToTheFinalRecord) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  // From Birne (item 2) over its order (A1) to the order's customer.
  ASSERT_EQ(Zet01::ReadRecord(posten, 2), 0);
  T(posten).currentRecord = 2;
  Zet01::SetFieldPathEntry(0, posten, AUFTRAG);
  Zet01::SetFieldPathEntry(1, auftrag, KUNDE);
  Zet01::SetFieldPathEntry(2, kunden, NAME);
  ASSERT_TRUE(Zet01::FieldPathValid(2));
  EXPECT_FALSE(Zet01::FieldPathValid(3));  // entry 3 names no table

  T(kunden).currentRecord = 3;
  ASSERT_EQ(Zet01::ReadRecord(kunden, 3), 0);
  const void* stackTop = STACKLIB::StackTop();
  int table = -1, error = -1;
  uint16_t field = 0;
  EXPECT_EQ(Zet01::FollowFieldPath(2, table, field, error), 1u);
  EXPECT_EQ(table, kunden);
  EXPECT_EQ(field, NAME);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(FieldOf(kunden, NAME), "Meier");
  // The final table's position stays saved for the caller.
  Zet00::PopTablePosition(kunden);
  EXPECT_EQ(STACKLIB::StackTop(), stackTop);
  EXPECT_EQ(T(kunden).currentRecord, 3u);
  EXPECT_EQ(FieldOf(kunden, NAME), "Huber");

  // One level: the order itself.
  EXPECT_EQ(Zet01::FollowFieldPath(1, table, field, error), 1u);
  EXPECT_EQ(table, auftrag);
  EXPECT_EQ(FieldOf(auftrag, TEXT), "A1");
  Zet00::PopTablePosition(auftrag);

  // Level 0 only reads the start field.
  EXPECT_EQ(Zet01::FollowFieldPath(0, table, field, error), 0u);
  EXPECT_EQ(table, 0);
  EXPECT_EQ(bytes::GetI32(Zet01::FieldPathValue()), 1);

  // A level whose table has no auto-number field ends the walk.
  Create("NOTIZ", {Text("TEXT")});
  const int notiz = Open("NOTIZ");
  Zet01::SetFieldPathEntry(1, notiz, 1);
  EXPECT_EQ(Zet01::FollowFieldPath(2, table, field, error), 0u);
  EXPECT_EQ(table, 0);
  EXPECT_EQ(STACKLIB::StackTop(), stackTop);
}

TEST_F(Zet01LinkedReadTest, RecordMatchesPatternLooksAtEveryTextField) {
  OpenShop({"KUNDEN", "AUFTRAG", "POSTEN"});
  ASSERT_EQ(Zet01::ReadRecord(posten, 4), 0);
  struct Case {
    const char* pattern;
    bool match;
  } cases[] = {{"pflaume", true}, {"Pf*", true}, {"?flaum?", true}, {"*au*", true},
               {"Apfel", false}, {"3", false}, {"Pf", false}};
  for (const Case& c : cases) EXPECT_EQ(Zet01::RecordMatchesPattern(posten, c.pattern), c.match) << c.pattern;
}

// Memo file checks on crafted damage. NOTIZEN holds two records: record 1 a
// memo of two blocks (1 -> 2), record 2 a memo of block 3; block 4 was a
// memo that was deleted and heads the free list (4 -> 5 = highest + 1).
class Zet01MemoCheckTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Create("NOTIZEN", {Number(), {"TEXT", Common::kTypeMemo, 3, 4}});
    slot = Open("NOTIZEN");
    WINMEMOS::TMemoFile& f = T(slot).memoFile;
    const uint32_t first = PutMemo(f, std::string(300, 'x'));
    const uint32_t second = PutMemo(f, "kurz");
    ASSERT_EQ((std::pair{first, second}), (std::pair{1u, 3u}));
    ASSERT_EQ(WINMEMOS::DeleteMemo(f, PutMemo(f, "weg")), 0);
    for (uint32_t block : {first, second}) {
      TZetTable& t = T(slot);
      t.recordBuffer.assign(t.recordLength, 0);
      bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(2), block);
      ASSERT_EQ(Zet01::AssignAutoNumber(slot), 0);
      ASSERT_EQ(Zet01::AppendRecord(slot, true, 0), 0);
    }
  }

  static uint32_t PutMemo(WINMEMOS::TMemoFile& f, const std::string& text) {
    EXPECT_EQ(WINMEMOS::InitPutMemo(f), 0);
    EXPECT_EQ(WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data()), int32_t(text.size()));
    return WINMEMOS::DonePutMemo(f, 0);
  }

  // Writes a 32-bit word into the memo file.
  void Patch(uint64_t position, uint32_t value) {
    uint8_t raw[4];
    bytes::PutU32(raw, value);
    ASSERT_EQ(LOWFILES::WriteBlock(T(slot).memoFile.file, position, sizeof raw, 0, raw), 0);
  }

  int slot = 0;
};

TEST_F(Zet01MemoCheckTest, EachKindOfDamageHasItsCode) {
  constexpr uint64_t kBlock = WINMEMOS::kMemoBlockSize;
  constexpr uint64_t kHead = 0, kHighest = 4;
  struct Case {
    const char* what;
    uint64_t position;
    uint32_t value;
    int32_t result;
  } cases[] = {
      {"sound", kHead, 4, Zet01::kMemoSound},
      {"link 0 ends a chain", kBlock, 0, Zet01::kMemoSound},
      {"link to the end of the file ends a chain", kBlock, 5, Zet01::kMemoSound},
      {"free-list head beyond the file", kHead, 6, Zet01::kMemoBadHeader},
      {"highest block beyond the file", kHighest, 5, Zet01::kMemoBadHeader},
      {"free list meets a block twice", 4 * kBlock, 4, Zet01::kMemoFreeListLoop},
      {"link beyond the file", kBlock, 6, Zet01::kMemoBadLink},
      {"negative link", kBlock, 0x80000000u, Zet01::kMemoBadLink},
      {"memo runs into the free list", kBlock, 4, Zet01::kMemoFreeBlockUsed},
      {"memo loops back into itself", kBlock, 1, Zet01::kMemoBlockShared},
      {"two memos share a block", kBlock, 3, Zet01::kMemoBlockShared},
  };
  const uint32_t original[] = {4, 4, 2, 5};  // head, highest, link of block 1, link of block 4
  for (const Case& c : cases) {
    Patch(kHead, original[0]);
    Patch(kHighest, original[1]);
    Patch(kBlock, original[2]);
    Patch(4 * kBlock, original[3]);
    Patch(c.position, c.value);
    EXPECT_EQ(Zet01::CheckMemoFile(slot), c.result) << c.what;
  }
  // The check changes nothing: after the last case the file says the same.
  EXPECT_EQ(Zet01::CheckMemoFile(slot), Zet01::kMemoBlockShared);
}

}  // namespace
