// Walking tables in record, mark and index order, with and without limits.
#include "engine/storage/zet01_navigation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/storage/tests/zet01_test_util.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet06_create.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace zet01_test;
using Recnos = std::vector<uint32_t>;

constexpr uint16_t NAME = 1, NR = 2;
constexpr int kIndex = 1;
// NR of records 1..10; in NR order the records are 4 2 6 9 1 8 5 10 3 7.
const std::vector<int> kNumbers = {50, 20, 90, 10, 70, 30, 100, 60, 40, 80};
const Recnos kByNumber = {4, 2, 6, 9, 1, 8, 5, 10, 3, 7};

void IndexByNumber(TZetTable& t) { AddUserIndex(t, kIndex, "NUMMERN.IND", {{NR, 2, Common::kTypeInteger}}); }
void IndexByNumberAndName(TZetTable& t) {
  AddUserIndex(t, kIndex, "NUMMERN.IND", {{NR, 2, Common::kTypeInteger}, {NAME, 11, Common::kTypeString}});
}

class Zet01NavigationTest : public zettest::EngineTest {
 protected:
  // ZAHLEN.DAT: NAME S10, NR I, index 1 on NR (with parts, on NR and NAME),
  // records as in kNumbers (none when empty).
  int Open(bool empty = false, bool byNumberAndName = false) {
    const std::string path = TempPath("ZAHLEN.DAT");
    CreateTableFile(path, {{"NAME", Common::kTypeString, 10, 10}, {"NR", Common::kTypeInteger, 1, 6}}, 0, "", 0,
                    byNumberAndName ? IndexByNumberAndName : IndexByNumber);
    EXPECT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, 0, ""), 0);
    if (!empty) {
      for (size_t i = 0; i < kNumbers.size(); ++i) {
        ZetTable::ClearRecordBuffer(1);
        SetField(1, NAME, "R" + std::to_string(i + 1));
        SetField(1, NR, std::to_string(kNumbers[i]));
        AppendRecord(1);
      }
      EXPECT_EQ(Zet01::FlushTable(1, true), 0);
    }
    return 1;
  }

  TZetTable& T() { return *ZetTable::Table(1); }

  // A limit: in index order the key of a record with that NR, otherwise a
  // record number.
  Bytes Limit(int value, bool upper) {
    if (T().orderMode != ZetTable::kOrderIndex) {
      Bytes recno(4);
      bytes::PutU32(recno.data(), uint32_t(value));
      return recno;
    }
    Bytes record(T().recordLength, 0), key(ZetTable::kMaxKeySize, 0);
    ZetTable::SetFieldText(1, NR, record.data(), std::to_string(value));
    EXPECT_EQ(Zet00::MakeKey(1, kIndex, record.data(), key.data(),
                             upper ? Zet00::kHighLimitRecord : Zet00::kLowLimitRecord),
              0);
    return key;
  }

  // The records met from the first (or last) one on, stepping forward (or
  // backward), each made current and read.
  Recnos Walk(bool fromFirst, bool forward) {
    Recnos seen;
    uint16_t end = 0;
    uint32_t recno = Zet01::FirstOrLastRecNo(1, fromFirst, end);
    while (end == 0 && seen.size() <= kNumbers.size()) {
      seen.push_back(recno);
      T().currentRecord = recno;
      EXPECT_EQ(Zet01::RereadCurrentRecord(1), 0);
      recno = Zet01::NextOrPriorRecNo(1, forward, end);
    }
    EXPECT_LE(end, 1);
    return seen;
  }
};

Recnos Reversed(Recnos r) {
  std::reverse(r.begin(), r.end());
  return r;
}

TEST_F(Zet01NavigationTest, WalksInEveryOrderWithinItsLimits) {
  struct Case {
    const char* what;
    uint8_t order;
    int low, high;  // 0: no limit
    bool fromFirst, forward;
    Recnos expected;
  };
  const bool kFirst = true, kLast = false, kForward = true, kBackward = false;
  const std::vector<Case> cases = {
      {"records", 0, 0, 0, kFirst, kForward, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"records backward", 0, 0, 0, kLast, kBackward, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
      {"records from 5", 0, 5, 0, kFirst, kForward, {5, 6, 7, 8, 9, 10}},
      {"low limit bounds only the start", 0, 5, 0, kFirst, kBackward, {5, 4, 3, 2, 1}},
      {"records up to 7", 0, 0, 7, kFirst, kForward, {1, 2, 3, 4, 5, 6, 7}},
      {"last ignores the high limit", 0, 0, 7, kLast, kBackward, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
      {"low limit beyond the count", 0, 12, 0, kFirst, kForward, {}},
      {"high limit beyond the count", 0, 0, 15, kFirst, kForward, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"marks", 1, 0, 0, kFirst, kForward, {3, 8, 1}},
      {"marks backward", 1, 0, 0, kLast, kBackward, {1, 8, 3}},
      {"index", 2, 0, 0, kFirst, kForward, kByNumber},
      {"index backward", 2, 0, 0, kLast, kBackward, Reversed(kByNumber)},
      {"index 30..70", 2, 30, 70, kFirst, kForward, {6, 9, 1, 8, 5}},
      {"index 70..30", 2, 30, 70, kLast, kBackward, {5, 8, 1, 9, 6}},
      {"low limit between keys", 2, 35, 0, kFirst, kForward, {9, 1, 8, 5, 10, 3, 7}},
      {"high limit between keys", 2, 0, 65, kLast, kBackward, {8, 1, 9, 6, 2, 4}},
      {"high limit between keys, forward", 2, 0, 65, kFirst, kForward, {4, 2, 6, 9, 1, 8}},
      {"high limit above every key", 2, 0, 500, kLast, kBackward, Reversed(kByNumber)},
      {"low limit above every key", 2, 200, 0, kFirst, kForward, {}},
      {"high limit below every key", 2, 0, 5, kLast, kBackward, {}},
  };
  Open();
  for (uint32_t recno : {3u, 8u, 1u}) ASSERT_EQ(ZetTable::AddMark(1, recno), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    T().orderMode = c.order;
    T().currentIndex = kIndex;
    T().currentRecord = 0;
    ZetTable::ClearRangeLimits(1);
    if (c.low) T().lowLimit = Limit(c.low, false);
    if (c.high) T().highLimit = Limit(c.high, true);
    EXPECT_EQ(Walk(c.fromFirst, c.forward), c.expected);
  }
}

TEST_F(Zet01NavigationTest, EmptyTableHasNoFirstOrLastRecordInAnyOrder) {
  Open(true);
  for (uint8_t order : {ZetTable::kOrderRecords, ZetTable::kOrderMarks, ZetTable::kOrderIndex}) {
    T().orderMode = order;
    T().currentIndex = kIndex;
    for (bool first : {true, false}) {
      uint16_t end = 0;
      EXPECT_EQ(Zet01::FirstOrLastRecNo(1, first, end), 0u) << int(order);
      EXPECT_EQ(end, 1) << int(order);
    }
  }
}

// Stepping past the last record leaves the table where it was: the record
// number, and in index order the current key.
TEST_F(Zet01NavigationTest, RunningPastTheEndKeepsThePosition) {
  Open();
  uint16_t end = 0;
  for (uint8_t order : {ZetTable::kOrderRecords, ZetTable::kOrderIndex}) {
    SCOPED_TRACE(int(order));
    T().orderMode = order;
    T().currentIndex = kIndex;
    const uint32_t last = Zet01::FirstOrLastRecNo(1, false, end);
    ASSERT_EQ(end, 0);
    T().currentRecord = last;
    ASSERT_EQ(Zet01::ReadRecord(1, last), 0);
    const auto key = T().currentKey;
    EXPECT_EQ(Zet01::NextOrPriorRecNo(1, true, end), last);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(T().currentKey, key);
    EXPECT_EQ(Zet01::NextOrPriorRecNo(1, false, end), order == ZetTable::kOrderIndex ? 3u : 9u);
    EXPECT_EQ(end, 0);
  }

  // In index order a record read brings the current key with it, so the
  // walk goes on from any record made current.
  T().currentRecord = 1;
  ASSERT_EQ(Zet01::ReadRecord(1, 1), 0);
  EXPECT_EQ(Zet01::NextOrPriorRecNo(1, true, end), 8u);
}

// A table whose header holds a negative count keeps its records only as keys
// of index 1: it is walked by that index whatever order was set, and each
// record is rebuilt from its key (and cached).
TEST_F(Zet01NavigationTest, TableOfUnknownCountIsWalkedByIndexOneAndRebuiltFromKeys) {
  Open(true, true);
  for (size_t i = 0; i < kNumbers.size(); ++i) {
    ZetTable::ClearRecordBuffer(1);
    SetField(1, NAME, "R" + std::to_string(i + 1));
    SetField(1, NR, std::to_string(kNumbers[i]));
    ASSERT_EQ(Zet00::InsertRecordKeys(1, uint32_t(i + 1)), 0);
  }
  T().recordCount = -1;
  ASSERT_EQ(Zet01::WriteRecordCount(1), 0);
  ASSERT_EQ(Zet01::CloseTable(1), 0);

  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, TempPath("ZAHLEN.DAT"), 0, 0, ""), 0);
  ASSERT_TRUE(T().countUnknown);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    T().orderMode = ZetTable::kOrderRecords;
    std::vector<std::string> names;
    uint16_t end = 0;
    for (uint32_t recno = Zet01::FirstOrLastRecNo(1, true, end); end == 0;
         recno = Zet01::NextOrPriorRecNo(1, true, end)) {
      T().currentRecord = recno;
      ASSERT_EQ(Zet01::RereadCurrentRecord(1), 0);
      names.push_back(FieldOf(1, NAME) + "=" + FieldOf(1, NR));
    }
    EXPECT_EQ(T().orderMode, ZetTable::kOrderIndex);
    EXPECT_EQ(names, (std::vector<std::string>{"R4=10", "R2=20", "R6=30", "R9=40", "R1=50", "R8=60", "R5=70",
                                               "R10=80", "R3=90", "R7=100"}));
  }
}

// Ranges made from key texts, on tables of both file versions: a version-1
// table keeps its texts in the OEM code page, and an upper limit that leaves
// a text part open must still lie above every text, umlauts included.
class Zet01RangeTest : public zettest::EngineTest, public ::testing::WithParamInterface<uint16_t> {};

TEST_P(Zet01RangeTest, KeyTextRangesWithOpenTextParts) {
  const std::string path = TempPath("NAMEN.DAT");
  auto t = zettable_test::MakeTable(GetParam(), {{"NAME", Common::kTypeString, 10, 10},
                                                 {"NR", Common::kTypeInteger, 1, 6}});
  IndexByNumberAndName(*t);
  ASSERT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, 0), 0);
  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, 0, ""), 0);
  const std::vector<std::pair<int, std::string>> rows = {
      {30, "Zorn"}, {10, "Adam"}, {30, "\xC4rger"}, {40, "Bach"}, {30, "M\xFCller"}, {20, "\xFF"}, {30, "Abel"}};
  for (const auto& [nr, name] : rows) {
    ZetTable::ClearRecordBuffer(1);
    SetField(1, NAME, name);
    SetField(1, NR, std::to_string(nr));
    AppendRecord(1);
  }
  TZetTable& table = *ZetTable::Table(1);
  table.orderMode = ZetTable::kOrderIndex;
  table.currentIndex = kIndex;
  const struct {
    const char *low, *high;
    Recnos expected;
  } cases[] = {
      {"", "30", {2, 6, 7, 3, 5, 1}},
      {"30", "30", {7, 3, 5, 1}},
      {"20", "30,M", {6, 7, 3}},
      {"30,M", "", {5, 1, 4}},
      {"", "10", {2}},
      {"", "25", {2, 6}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.low) + ".." + c.high);
    ZetTable::ClearRangeLimits(1);
    if (*c.low) {
      ASSERT_EQ(Zet00::SetRangeStart(1, c.low), 0);
    }
    if (*c.high) {
      ASSERT_EQ(Zet00::SetRangeEnd(1, c.high), 0);
    }
    Recnos seen;
    uint16_t end = 0;
    for (uint32_t r = Zet01::FirstOrLastRecNo(1, true, end); end == 0 && seen.size() <= rows.size();
         r = Zet01::NextOrPriorRecNo(1, true, end))
      seen.push_back(r);
    EXPECT_EQ(seen, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Zet01, Zet01RangeTest, ::testing::Values(uint16_t(1), uint16_t(2)),
                         [](const auto& info) { return "version" + std::to_string(info.param); });

}  // namespace
