// Opening and closing tables, the record cache, record input and output,
// the record count and flushing.
#include "engine/storage/zet01_open.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/base/lowfiles.h"
#include "engine/storage/btrees.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/tests/zet01_test_util.h"
#include "engine/storage/zet01_edit.h"
#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"
#include "platform/files.h"

namespace {

using namespace zet01_test;

constexpr uint16_t NAME = 1, NR = 2, FARBE = 3, KUNDE = 4;
constexpr uint32_t kKey = 0x5A17C0DE;

// NAME S10, NR I, FARBE A (two choices), KUNDE L: 18-byte records.
const std::vector<FieldDef> kFields = {
    {"NAME", Common::kTypeString, 10, 10},
    {"NR", Common::kTypeInteger, 1, 6},
    {"FARBE", Common::kTypeChoice, 0, 2},
    {"KUNDE", Common::kTypeLink, 3, 10},
};

class Zet01OpenTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    platform::ResetFileFaults();
    EngineTest::TearDown();
  }

  // KUNDEN.DAT with the records NAME = texts, scrambled with kKey, code
  // "GEHEIM"; closed again.
  std::string MakeKunden(const std::vector<std::string>& names, const std::string& file = "KUNDEN.DAT") {
    const std::string path = TempPath(file);
    CreateTableFile(path, kFields, kKey, "GEHEIM");
    EXPECT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
    AppendTexts(1, NAME, names);
    EXPECT_EQ(Zet01::CloseTable(1), 0);
    return path;
  }

  TZetTable& T(int slot) { return *ZetTable::Table(slot); }
};

// Every step of the open that can fail gives its error, leaves the slot
// empty and closes every file it opened.
TEST_F(Zet01OpenTest, EachFailingStepGivesItsErrorAndLeavesNothingOpen) {
  struct Case {
    const char* what;
    int slot;
    std::function<std::string()> prepare;  // answers the path to open
    std::string code;
    uint32_t key;
    int expected;
  };
  auto patched = [this](size_t offset, uint16_t value) {
    return [this, offset, value] {
      const std::string path = MakeKunden({"Meier"});
      Bytes file = FileBytes(path);
      bytes::PutU16(file.data() + offset, value);
      WriteFileBytes(path, file);
      return path;
    };
  };
  auto sideFileMissing = [this](uint8_t type, const char* side) {
    return [this, type, side] {
      const std::string path = TempPath("BILDER.DAT");
      CreateTableFile(path, {{"NAME", Common::kTypeString, 10, 10}, {"X", type, 3, 4}}, kKey, "GEHEIM");
      std::filesystem::remove(TempPath(side));
      return path;
    };
  };
  const std::vector<Case> cases = {
      {"slot 63", 63, [this] { return MakeKunden({"Meier"}); }, "GEHEIM", kKey, 94},
      {"slot 64", 64, [this] { return MakeKunden({"Meier"}); }, "GEHEIM", kKey, 94},
      {"already open", 2,
       [this] {
         const std::string path = MakeKunden({"Meier"});
         EXPECT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
         return path;
       },
       "GEHEIM", kKey, 35},
      {"missing file", 1, [this] { return TempPath("FEHLT.DAT"); }, "GEHEIM", kKey, 37},
      {"no write right", 1,
       [this] {
         const std::string path = MakeKunden({"Meier"});
         platform::InjectFileFault(platform::FileOp::Open, 1, platform::kDosAccessDenied);
         return path;
       },
       "GEHEIM", kKey, 115},
      {"header unreadable", 1,
       [this] {
         const std::string path = MakeKunden({"Meier"});
         platform::InjectFileFault(platform::FileOp::Read, 1, platform::kDosReadFault);
         return path;
       },
       "GEHEIM", kKey, 2},
      {"no fields", 1, patched(Zet00::kV2FieldCount, 0), "GEHEIM", kKey, 117},
      {"1001 fields", 1, patched(Zet00::kV2FieldCount, 1001), "GEHEIM", kKey, 117},
      {"record length 10001", 1, patched(Zet00::kV2RecordLength, 10001), "GEHEIM", kKey, 117},
      {"wrong code", 1, [this] { return MakeKunden({"Meier"}); }, "FALSCH", kKey, 38},
      {"code without its last character", 1, [this] { return MakeKunden({"Meier"}); }, "GEHEI", kKey, 38},
      {"wrong key", 1, [this] { return MakeKunden({"Meier", "Huber"}); }, "GEHEIM", kKey + 1, 38},
      {"memo file missing", 1, sideFileMissing(Common::kTypeMemo, "BILDER.MMO"), "GEHEIM", kKey, 31},
      {"blob file missing", 1, sideFileMissing(Common::kTypeBlob, "BILDER.BLB"), "GEHEIM", kKey, 111},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Units::StopEngine();
    Units::StartEngine();
    for (const auto& entry : std::filesystem::directory_iterator(TempDir())) std::filesystem::remove(entry);
    const std::string path = c.prepare();
    const int handles = LOWFILES::OpenHandleCount();
    const int32_t registered = LOWFILES::RegisteredCount;
    EXPECT_EQ(Zet01::OpenTable(c.slot, kAllRights, path, 0, c.key, c.code), c.expected);
    EXPECT_EQ(Common::LastError(), -c.expected);
    EXPECT_EQ(ZetTable::Table(c.slot), nullptr);
    EXPECT_EQ(LOWFILES::OpenHandleCount(), handles);
    EXPECT_EQ(LOWFILES::RegisteredCount, registered);
    platform::ResetFileFaults();
  }
}

TEST_F(Zet01OpenTest, OpenedTableStandsOnRecordOneInRecordOrder) {
  const std::string path = MakeKunden({"Meier", "Huber"});
  ASSERT_EQ(Zet01::OpenTable(62, kAllRights, path, 7, kKey, "GEHEIM"), 0);
  TZetTable& t = T(62);
  EXPECT_EQ(ZetTable::OpenCount(), 62);
  EXPECT_EQ(t.recordCount, 2);
  EXPECT_EQ(t.currentRecord, 1u);
  EXPECT_EQ(FieldOf(62, NAME), "Meier");
  EXPECT_EQ(t.orderMode, ZetTable::kOrderRecords);
  EXPECT_EQ(t.openFlag, 7);
  EXPECT_TRUE(t.Writable());
  EXPECT_EQ(ZetTable::FindFieldByName(62, "FARBE"), FARBE);
  EXPECT_TRUE(Zet01::IsValidField(62, KUNDE));
  EXPECT_FALSE(Zet01::IsValidField(62, KUNDE + 1));
  EXPECT_FALSE(Zet01::IsValidField(62, 0));
  EXPECT_FALSE(Zet01::IsValidField(63, NAME));
  EXPECT_EQ(Zet01::CloseTable(62), 0);

  // Without rights the file is opened for reading only.
  ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, kKey, "GEHEIM"), 0);
  EXPECT_FALSE(T(1).Writable());
}

// Record 1 of a table opened with the wrong key (or damaged) is noise; the
// check finds a text longer than its field, a choice above 15 or a negative
// link. Relation tables and empty tables are not checked.
TEST_F(Zet01OpenTest, ImplausibleRecordOneIsRefusedAsWrongCode) {
  struct Case {
    const char* what;
    uint16_t field;
    std::vector<uint8_t> bytes;
    int expected;
  };
  const std::vector<Case> cases = {
      {"sound record", NAME, {5, 'M', 'e', 'i', 'e', 'r'}, 0},
      {"text of 10", NAME, {10}, 0},
      {"text of 11", NAME, {11}, 38},
      {"choice 15", FARBE, {15}, 0},
      {"choice 16", FARBE, {16}, 38},
      {"link 0", KUNDE, {0, 0, 0, 0}, 0},
      {"link -1", KUNDE, {0xFF, 0xFF, 0xFF, 0xFF}, 38},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"PLAUSI.DAT", "PLAUSI.REL"}) {
      const std::string path = TempPath(name);
      CreateTableFile(path, kFields, kKey, "GEHEIM");
      ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
      ZetTable::ClearRecordBuffer(1);
      std::copy(c.bytes.begin(), c.bytes.end(), T(1).recordBuffer.begin() + T(1).FieldOffset(c.field));
      AppendRecord(1);
      ASSERT_EQ(Zet01::FlushTable(1, true), 0);
      ASSERT_EQ(Zet01::CloseTable(1), 0);
      const bool relation = std::string(name).ends_with(".REL");
      EXPECT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), relation ? 0 : c.expected) << name;
      Zet01::CloseTable(1);
    }
  }

  // With the wrong key an empty table opens.
  const std::string path = TempPath("LEER.DAT");
  CreateTableFile(path, kFields, kKey, "GEHEIM");
  EXPECT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey + 1, "GEHEIM"), 0);
}

// One file is one table, however its name is spelled.
TEST_F(Zet01OpenTest, SecondOpenOfTheSameFileIsRefusedUnderAnySpelling) {
  const std::string path = MakeKunden({"Meier"});
  std::filesystem::create_directory(TempDir() / "SUB");
  const std::string other = MakeKunden({"Huber"}, "SUB/KUNDEN.DAT");
  ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, kKey, "GEHEIM"), 0);
  for (const std::string& spelling :
       {TempPath("kunden.dat"), TempPath("Kunden.Dat"), TempPath("SUB/../KUNDEN.DAT"), TempPath("./KUNDEN.DAT")}) {
    EXPECT_EQ(Zet01::OpenTable(2, kReadOnly, spelling, 0, kKey, "GEHEIM"), 35) << spelling;
    EXPECT_EQ(ZetTable::Table(2), nullptr);
  }

  // A file of the same name elsewhere is another table.
  EXPECT_EQ(Zet01::OpenTable(2, kReadOnly, other, 0, kKey, "GEHEIM"), 0);

  // The reopen of a rebuilt file while the old one is open skips the test.
  Zet01::SetSkipNameCheck(true);
  EXPECT_EQ(Zet01::OpenTable(3, kReadOnly, TempPath("kunden.dat"), 0, kKey, "GEHEIM"), 0);
}

TEST_F(Zet01OpenTest, FileCutInsideARecordKeepsTheWholeRecordsAndTheHeaderFollows) {
  const std::string path = MakeKunden({"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"});
  ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, kKey, "GEHEIM"), 0);
  const uint32_t headerSize = T(1).headerSize;
  const uint16_t length = T(1).recordLength;
  Zet01::CloseTable(1);
  std::filesystem::resize_file(path, headerSize + 4 * length + length / 2);

  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
  EXPECT_EQ(T(1).recordCount, 4);
  EXPECT_EQ(bytes::GetI32(FileBytes(path).data() + Zet00::kV2RecordCount), 4);
  EXPECT_EQ(Zet01::ReadRecord(1, 4), 0);
  EXPECT_EQ(FieldOf(1, NAME), "D");
}

TEST_F(Zet01OpenTest, CacheHoldsAsManyRecordsAsFitIn32KBytesUpTo2000) {
  const std::vector<std::pair<uint16_t, uint16_t>> cases = {{20, 1638}, {10, 2000}, {10000, 3}};
  for (const auto& [length, slots] : cases) {
    const std::string path = TempPath("L" + std::to_string(length) + ".DAT");
    CreateTableFile(path, {{"NAME", Common::kTypeString, 9, 9}}, 0, "", length);
    ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, 0, ""), 0);
    EXPECT_EQ(Zet01::RecordCacheSlots(1), slots) << length;
    Zet01::CloseTable(1);
    EXPECT_EQ(Zet01::RecordCacheSlots(1), 0);
  }
}

TEST_F(Zet01OpenTest, RecordsRoundTripScrambledAndWritesStayWithinCountPlusOne) {
  const std::string path = MakeKunden({"Meier", "Huber", "Schulz"});
  const Bytes file = FileBytes(path);
  const std::string raw(file.begin(), file.end());
  EXPECT_EQ(raw.find("Huber"), std::string::npos);  // scrambled on disk

  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
  for (uint32_t recno : {3u, 1u, 2u}) {
    ASSERT_EQ(Zet01::ReadRecord(1, recno), 0);
    EXPECT_EQ(FieldOf(1, NAME), std::vector<std::string>({"Meier", "Huber", "Schulz"})[recno - 1]);
  }

  // Record 0, and any record while reading is off, is an empty record.
  EXPECT_EQ(Zet01::ReadRecord(1, 0), 0);
  EXPECT_EQ(T(1).recordBuffer, Bytes(T(1).recordLength, 0));
  Zet01::SetReadingEnabled(false);
  EXPECT_EQ(Zet01::ReadRecord(1, 2), 0);
  EXPECT_EQ(T(1).recordBuffer, Bytes(T(1).recordLength, 0));
  Zet01::SetReadingEnabled(true);

  // Count + 2 is refused, count + 1 is written without counting it.
  T(1).namedSlots[0].value = 42;
  SetField(1, NAME, "Neu");
  EXPECT_EQ(Zet01::WriteRecord(1, 5), Zet01::kErrRecordRange);
  EXPECT_EQ(Zet01::WriteRecord(1, 0), Zet01::kErrRecordRange);
  EXPECT_EQ(T(1).namedSlots[0].value, 0u);
  EXPECT_EQ(Zet01::WriteRecord(1, 4), 0);
  EXPECT_EQ(T(1).recordCount, 3);
  // The appended record may wait in the write-behind buffer until the file
  // is next touched.
  EXPECT_EQ(LOWFILES::LowFileSize(*T(1).tableFile), T(1).headerSize + 4u * T(1).recordLength);
  EXPECT_EQ(FileBytes(path).size(), T(1).headerSize + 4u * T(1).recordLength);
  Zet01::CloseTable(1);

  // A fresh open reads what was written, unscrambled.
  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
  T(1).recordCount = 4;
  ASSERT_EQ(Zet01::ReadRecord(1, 4), 0);
  EXPECT_EQ(FieldOf(1, NAME), "Neu");
}

// Three slots for 10000-byte records: a record read again stays where it is,
// and the next new record takes the slot after the one filled last.
TEST_F(Zet01OpenTest, CacheIsARingWithoutRecency) {
  const std::string path = TempPath("GROSS.DAT");
  CreateTableFile(path, {{"NAME", Common::kTypeString, 9, 9}}, kKey, "", 10000);
  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, ""), 0);
  AppendTexts(1, NAME, {"eins", "zwei", "drei", "vier"});
  Zet01::CloseTable(1);
  ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, kKey, ""), 0);  // caches record 1

  // Another writer changes records 1 and 2 behind the cache.
  auto writeBehind = [&](uint32_t recno, const std::string& name) {
    LOWFILES::TLowFile other;
    ASSERT_EQ(LOWFILES::OpenLowFile(other, path, LOWFILES::kModeReadWriteShared), 0);
    Bytes record(10000, 0);
    record[0] = uint8_t(name.size());
    std::copy(name.begin(), name.end(), record.begin() + 1);
    ASSERT_EQ(LOWFILES::WriteBlock(other, T(1).headerSize + uint64_t(recno - 1) * 10000, 10000, kKey, record.data()),
              0);
    LOWFILES::CloseLowFile(other, false);
  };
  auto nameOf = [&](uint32_t recno) {
    EXPECT_EQ(Zet01::ReadRecord(1, recno), 0);
    return FieldOf(1, NAME);
  };
  EXPECT_EQ(nameOf(2), "zwei");
  EXPECT_EQ(nameOf(3), "drei");
  writeBehind(1, "EINS");
  writeBehind(2, "ZWEI");
  EXPECT_EQ(nameOf(1), "eins");  // cached
  EXPECT_EQ(nameOf(4), "vier");  // takes record 1's slot, used or not
  EXPECT_EQ(nameOf(2), "zwei");  // still cached
  EXPECT_EQ(nameOf(1), "EINS");  // read afresh
}

TEST_F(Zet01OpenTest, FailedReadIsNotCached) {
  const std::string path = MakeKunden({"Meier", "Huber"});
  ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, kKey, "GEHEIM"), 0);
  EXPECT_EQ(Zet01::ReadRecord(1, 3), LOWFILES::kErrReadFailed);

  // The record appears in the file afterwards.
  LOWFILES::TLowFile other;
  ASSERT_EQ(LOWFILES::OpenLowFile(other, path, LOWFILES::kModeReadWriteShared), 0);
  Bytes record(T(1).recordLength, 0);
  record[0] = 3;
  record[1] = 'N', record[2] = 'e', record[3] = 'u';
  ASSERT_EQ(LOWFILES::WriteBlock(other, T(1).headerSize + 2u * T(1).recordLength, T(1).recordLength, kKey,
                                 record.data()),
            0);
  LOWFILES::CloseLowFile(other, false);
  EXPECT_EQ(Zet01::ReadRecord(1, 3), 0);
  EXPECT_EQ(FieldOf(1, NAME), "Neu");
}

// Reads in runs (which the cache serves by reading ahead), at random, and
// writes, over more records than the cache holds: every read gives the
// record last written, unscrambled.
TEST_F(Zet01OpenTest, CacheAgreesWithTheRecordsWrittenUnderMixedTraffic) {
  const std::string path = TempPath("VIELE.DAT");
  CreateTableFile(path, {{"NAME", Common::kTypeString, 9, 9}}, kKey, "", 20);
  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, ""), 0);
  ASSERT_EQ(Zet01::RecordCacheSlots(1), 1638);
  constexpr uint32_t kRecords = 4000;
  std::vector<std::string> names(kRecords + 1);
  auto write = [&](uint32_t recno, const std::string& name) {
    ZetTable::ClearRecordBuffer(1);
    SetField(1, NAME, name);
    ASSERT_EQ(Zet01::WriteRecord(1, recno), 0);
    names[recno] = name;
  };
  for (uint32_t r = 1; r <= kRecords; ++r) {
    write(r, "R" + std::to_string(r));
    T(1).recordCount = int32_t(r);
  }
  Zet01::ClearRecordCache(1);
  std::mt19937 rng(7);
  for (int op = 0; op < 400 && !HasFatalFailure(); ++op) {
    const uint32_t at = 1 + rng() % kRecords;
    switch (rng() % 4) {
      case 0:
      case 1: {  // a run forward
        const uint32_t end = std::min<uint32_t>(kRecords, at + rng() % 700);
        for (uint32_t r = at; r <= end; ++r) {
          ASSERT_EQ(Zet01::ReadRecord(1, r), 0) << r;
          ASSERT_EQ(FieldOf(1, NAME), names[r]) << r;
        }
        break;
      }
      case 2:
        for (int i = 0; i < 20; ++i) {
          const uint32_t r = 1 + rng() % kRecords;
          ASSERT_EQ(Zet01::ReadRecord(1, r), 0) << r;
          ASSERT_EQ(FieldOf(1, NAME), names[r]) << r;
        }
        break;
      default:
        for (int i = 0; i < 20; ++i) write(std::min<uint32_t>(kRecords, at + rng() % 40), "W" + std::to_string(op * 100 + i));
        if (rng() % 8 == 0) Zet01::ClearRecordCache(1);
        break;
    }
  }
}

// A sequential read fetches the records ahead from the file, but a record
// the cache holds keeps its cached bytes, nothing past the record count is
// cached, and a record the file no longer holds whole fails and stays
// uncached.
TEST_F(Zet01OpenTest, ReadingAheadKeepsCachedRecordsAndStopsAtTheCountAndTheFileEnd) {
  const std::string path = MakeKunden({"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"});
  ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, kKey, "GEHEIM"), 0);  // reads record 1
  const uint32_t headerSize = T(1).headerSize;
  const uint16_t length = T(1).recordLength;
  auto writeBehind = [&](uint32_t recno, const std::string& name) {
    LOWFILES::TLowFile other;
    ASSERT_EQ(LOWFILES::OpenLowFile(other, path, LOWFILES::kModeReadWriteShared), 0);
    Bytes record(length, 0);
    record[0] = uint8_t(name.size());
    std::copy(name.begin(), name.end(), record.begin() + 1);
    ASSERT_EQ(LOWFILES::WriteBlock(other, headerSize + uint64_t(recno - 1) * length, length, kKey, record.data()), 0);
    LOWFILES::CloseLowFile(other, false);
  };
  auto nameOf = [&](uint32_t recno) {
    EXPECT_EQ(Zet01::ReadRecord(1, recno), 0) << recno;
    return FieldOf(1, NAME);
  };
  EXPECT_EQ(nameOf(5), "E");
  writeBehind(5, "e");
  writeBehind(11, "k");  // behind the count
  for (uint32_t r = 2; r <= 10; ++r) EXPECT_EQ(nameOf(r), std::string(1, char('A' + r - 1))) << r;
  writeBehind(11, "K");
  EXPECT_EQ(nameOf(11), "K");

  Zet01::ClearRecordCache(1);
  std::filesystem::resize_file(path, headerSize + 6 * length + length / 2);
  for (uint32_t r = 1; r <= 6; ++r) EXPECT_EQ(nameOf(r), r == 5 ? "e" : std::string(1, char('A' + r - 1))) << r;
  EXPECT_EQ(Zet01::ReadRecord(1, 7), LOWFILES::kErrReadFailed);
  writeBehind(7, "g");
  EXPECT_EQ(nameOf(7), "g");
}

// An alias reads and writes through the file and the cache of the table it
// aliases, so neither sees stale records of the other; closing it leaves
// that table open.
TEST_F(Zet01OpenTest, AliasSharesTheCacheAndLeavesTheFileOpen) {
  const std::string path = MakeKunden({"Meier", "Huber"});
  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
  auto alias = TZetTable::CreateCopy(T(1), T(1).version);
  alias->aliasOf = 1;
  alias->fileName = "ANDERE.DAT";
  alias->recordBuffer.assign(alias->recordLength, 0);
  ASSERT_EQ(ZetTable::InstallTable(2, std::move(alias)), 0);
  ZetTable::SetOpenCount(2);
  Zet01::StartRecordCache(2);
  EXPECT_EQ(Zet01::RecordCacheSlots(2), Zet01::RecordCacheSlots(1));

  ASSERT_EQ(Zet01::ReadRecord(2, 2), 0);
  EXPECT_EQ(FieldOf(2, NAME), "Huber");
  ASSERT_EQ(Zet01::ReadRecord(1, 2), 0);
  SetField(1, NAME, "Hofer");
  ASSERT_EQ(Zet01::WriteRecord(1, 2), 0);
  ASSERT_EQ(Zet01::ReadRecord(2, 2), 0);
  EXPECT_EQ(FieldOf(2, NAME), "Hofer");
  SetField(2, NAME, "Maier");
  ASSERT_EQ(Zet01::WriteRecord(2, 1), 0);

  EXPECT_EQ(Zet01::CloseTable(2), 0);
  EXPECT_EQ(ZetTable::Table(2), nullptr);
  Zet01::ClearRecordCache(1);
  ASSERT_EQ(Zet01::ReadRecord(1, 1), 0);
  EXPECT_EQ(FieldOf(1, NAME), "Maier");
}

// The count is written only where the file differs (a write that fails is
// error 3); a deferred flush waits for FlushDeferredTables.
TEST_F(Zet01OpenTest, FlushWritesTheCountOnlyWhenItChanged) {
  const std::string path = TempPath("ZAHL.DAT");
  CreateTableFile(path, {{"NAME", Common::kTypeString, 9, 9}});
  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, 0, ""), 0);
  auto countOnDisk = [&] { return bytes::GetI32(FileBytes(path).data() + Zet00::kV2RecordCount); };

  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosWriteFault);
  EXPECT_EQ(Zet01::FlushTable(1, true), 0);  // nothing to write
  T(1).recordCount = 5;
  EXPECT_EQ(Zet01::FlushTable(1, true), Common::kErrWrite);
  EXPECT_EQ(Common::LastError(), -Common::kErrWrite);
  EXPECT_EQ(countOnDisk(), 0);

  Zet01::SetDeferredFlush(true);
  EXPECT_EQ(Zet01::FlushTable(1, true), 0);
  EXPECT_EQ(countOnDisk(), 0);
  EXPECT_EQ(Zet01::FlushDeferredTables(), 0);
  EXPECT_FALSE(Zet01::DeferredFlush());
  EXPECT_EQ(countOnDisk(), 5);

  T(1).recordCount = 0;
  ASSERT_EQ(Zet01::WriteRecordCount(1), 0);
  T(1).recordCount = 9;
  ASSERT_EQ(Zet01::ReadRecordCount(1), 0);
  EXPECT_EQ(T(1).recordCount, 0);
}

// Temporary indexes go with the table; the directory is written again only
// for a table opened for writing.
TEST_F(Zet01OpenTest, CloseDropsTemporaryIndexes) {
  const std::string path = MakeKunden({"Meier", "Huber"});
  uint8_t byName[ZetTable::kKeyDescriptionSize] = {};
  Zet00::SetKeyPart(byName, 0, {NAME, 11, Common::kTypeString});
  auto temporaryFiles = [&] {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TempDir()))
      n += entry.path().extension() == ".$$$";
    return n;
  };

  for (uint16_t rights : {kReadOnly, kAllRights}) {
    SCOPED_TRACE(rights);
    ASSERT_EQ(Zet01::OpenTable(1, rights, path, 0, kKey, "GEHEIM"), 0);
    const int slot = Zet00::FindOrCreateIndex(1, byName, true);
    ASSERT_GT(slot, 0);
    EXPECT_EQ(temporaryFiles(), 1);
    if (rights != kReadOnly) {
      ASSERT_GT(Zet00::WriteIndexDirectory(1), 0);  // the directory names it
    }
    const Bytes before = FileBytes(path);
    EXPECT_EQ(Zet01::CloseTable(1), 0);
    EXPECT_EQ(temporaryFiles(), 0);
    if (rights == kReadOnly) {
      EXPECT_EQ(FileBytes(path), before);
    }
    ASSERT_EQ(Zet01::OpenTable(1, kReadOnly, path, 0, kKey, "GEHEIM"), 0);
    EXPECT_EQ(T(1).highestIndexSlot, 1);  // the link index
    Zet01::CloseTable(1);
  }
}

// The record count and index counts of the article table's files, as they
// lie on disk.
struct DiskCounts {
  int32_t table = 0;
  std::vector<int32_t> indexes;
};

struct TableFiles {
  std::string table;
  std::vector<std::string> indexes;
};

TableFiles FilesOf(int h) {
  const TZetTable& t = *ZetTable::Table(h);
  TableFiles files{Common::AppendStrCopy(t.directory, t.fileName).str(), {}};
  for (int s = 0; s <= t.highestIndexSlot; ++s) files.indexes.push_back(Zet00::IndexPath(t, s).str());
  return files;
}

DiskCounts CountsOnDisk(const TableFiles& files) {
  DiskCounts counts;
  counts.table = bytes::GetI32(FileBytes(files.table).data() + Zet00::kV2RecordCount);
  for (const std::string& index : files.indexes)
    counts.indexes.push_back(
        bytes::GetI32(FileBytes(index).data() + BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount));
  return counts;
}

int AppendArticles(int h, int32_t from, int32_t to, bool flush) {
  for (int32_t nr = from; nr <= to; ++nr) {
    ZetTable::ClearRecordBuffer(h);
    if (int e = Zet01::AssignAutoNumber(h)) return e;
    editing_test::PutArticle(h, {nr, int16_t(nr), "N" + std::to_string(nr), int16_t(nr % 7)});
    if (int e = Zet01::AppendRecord(h, flush, 0)) return e;
  }
  return 0;
}

// Records appended without a flush are counted on disk when the table
// closes, and the index headers close settled at that count.
TEST_F(Zet01OpenTest, ClosingAfterAppendsWithoutFlushKeepsEveryRecord) {
  const std::string path = editing_test::CreateArticles(TempPath("ARTIKEL.DAT"));
  int h = editing_test::OpenArticles(path);
  ASSERT_GT(h, 0);
  ASSERT_EQ(AppendArticles(h, 1, 30, false), 0);
  ASSERT_EQ(Zet01::CloseTable(h), 0);

  h = editing_test::OpenArticles(path);
  ASSERT_GT(h, 0);
  EXPECT_EQ(T(h).recordCount, 30);
  const DiskCounts counts = CountsOnDisk(FilesOf(h));
  EXPECT_EQ(counts.table, 30);
  for (int32_t n : counts.indexes) EXPECT_EQ(n, 30);
  const std::vector<editing_test::Article> articles = editing_test::ScanArticles(h);
  ASSERT_EQ(articles.size(), 30u);
  EXPECT_EQ(articles.back().name, "N30");
  editing_test::ExpectIndexesAgree(h);
}

// When the count cannot be written, neither a flush nor a close writes
// index headers (which would claim the old count over the keys of the new
// records): the indexes stay unsettled on disk and are rebuilt at the next
// open, in agreement with the count the file holds.
TEST_F(Zet01OpenTest, ACountThatCannotBeWrittenLeavesTheIndexesUnsettled) {
  const std::string path = editing_test::CreateArticles(TempPath("ARTIKEL.DAT"));
  int h = editing_test::OpenArticles(path);
  ASSERT_GT(h, 0);
  ASSERT_EQ(AppendArticles(h, 1, 5, true), 0);
  ASSERT_EQ(AppendArticles(h, 6, 8, false), 0);
  const TableFiles files = FilesOf(h);
  const std::vector<int32_t> unsettled(files.indexes.size(), Zet00::kUnsettledCount);
  ASSERT_EQ(CountsOnDisk(files).indexes, unsettled);

  // The count write is the first write of a flush and of a close.
  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosWriteFault);
  EXPECT_EQ(Zet01::FlushTable(h, true), Common::kErrWrite);
  EXPECT_EQ(CountsOnDisk(files).table, 5);
  EXPECT_EQ(CountsOnDisk(files).indexes, unsettled);

  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosWriteFault);
  EXPECT_EQ(Zet01::CloseTable(h), Common::kErrWrite);
  ZetTable::SetOpenCount(0);
  EXPECT_EQ(CountsOnDisk(files).table, 5);
  EXPECT_EQ(CountsOnDisk(files).indexes, unsettled);
  h = editing_test::OpenArticles(path);
  ASSERT_GT(h, 0);
  EXPECT_EQ(T(h).recordCount, 5);
  editing_test::ExpectIndexesAgree(h);
}

// In header-only mode only the header is read: side files and indexes are
// left alone.
TEST_F(Zet01OpenTest, HeaderOnlyOpenLeavesSideFilesAlone) {
  const std::string path = TempPath("NOTIZEN.DAT");
  CreateTableFile(path, {{"NAME", Common::kTypeString, 10, 10}, {"TEXT", Common::kTypeMemo, 3, 4}}, kKey, "GEHEIM");
  std::filesystem::remove(TempPath("NOTIZEN.MMO"));
  Zet01::EnterHeaderOnly();
  ASSERT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 0);
  EXPECT_TRUE(T(1).hasMemoFile);
  EXPECT_EQ(Zet01::CloseTable(1), 0);
  Zet01::LeaveHeaderOnly();
  EXPECT_EQ(Zet01::OpenTable(1, kAllRights, path, 0, kKey, "GEHEIM"), 31);
}

}  // namespace
