// Opening and closing tables, the record cache, record input and output,
// the record count and flushing.
#include "engine/storage/zet01_open.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/lowfiles.h"
#include "engine/storage/tests/zet01_test_util.h"
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
      {"user index missing", 1,
       [this] {
         const std::string path = TempPath("ORTE.DAT");
         CreateTableFile(path, kFields, kKey, "GEHEIM", 0, [](TZetTable& t) {
           AddUserIndex(t, 2, "ORTE.IND", {{NAME, 11, Common::kTypeString}});
         });
         std::filesystem::remove(TempPath("ORTE.IND"));
         return path;
       },
       "GEHEIM", kKey, 90},
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
