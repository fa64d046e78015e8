// Storage units working together: an alias reaches the memo and blob files
// of the table it aliases through the routines that take a table handle, and
// edits through an alias and through its table see one record count and one
// set of indexes.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/storage/dbase/dbfutil.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/memofiles.h"
#include "engine/storage/tests/links_test_util.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_memocheck.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace {

using links_test::Number;
using links_test::Text;
using ZetTable::TZetTable;
using Keys = std::vector<std::string>;

constexpr uint16_t kName = 2, kNotiz = 3, kBild = 4;
// The unique ID index of KUNDEN and its user index KUNDEN_2.IND, both keyed
// by the name.
constexpr int kNameIndex = 1, kUserIndex = 2;

class AliasFilesTest : public links_test::LinkTest {
 protected:
  // KUNDEN {NR N, NAME S20 (the unique ID key, and a user index), NOTIZ M,
  // BILD P} with one record, still without memo and blob, and its alias
  // CHEF.
  void SetUp() override {
    LinkTest::SetUp();
    Create("KUNDEN", {Number(), Text("NAME"), {"NOTIZ", Common::kTypeMemo, 3, 4}, {"BILD", Common::kTypeBlob, 3, 4}},
           kName, {kName}, {}, true);
    kunden_ = Open("KUNDEN");
    Add(kunden_, {"Meier"});
    ASSERT_EQ(LINKFILE::OpenAlias("Chef", kunden_), 0);
    chef_ = ZetTable::OpenCount();
  }
  // Renames record recno through slot h.
  static int Rename(int h, uint32_t recno, const std::string& name) {
    T(h).currentRecord = recno;
    EXPECT_EQ(Zet01::ReadRecord(h, recno), 0);
    const std::vector<uint8_t> old = T(h).recordBuffer;
    ZetTable::SetFieldText(h, kName, T(h).recordBuffer.data(), name);
    bool keysChanged = false;
    return Zet01::UpdateRecord(h, old.data(), keysChanged, 0, true, false);
  }
  // Appends a record named name through slot h.
  static int Append(int h, const std::string& name) {
    T(h).recordBuffer.assign(T(h).recordLength, 0);
    ZetTable::SetFieldText(h, kName, T(h).recordBuffer.data(), name);
    EXPECT_EQ(Zet01::AssignAutoNumber(h), 0);
    return Zet01::AppendRecord(h, true, 0);
  }
  // "recno:name" for every key of an index on the name, walked through
  // slot h, with the name read from the record the key names.
  static Keys NameIndex(int h, int index = kNameIndex) {
    Keys keys;
    TZetTable& t = T(h);
    std::vector<uint8_t> record(t.recordLength);
    for (uint8_t st = Zet00::IndexFirst(h, index); st == Zet00::kStatusFound; st = Zet00::IndexNext(h, index)) {
      const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
      EXPECT_EQ(Zet01::ReadRecordInto(h, recno, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0) << recno;
      ShortStr name = ZetTable::FieldText(t, kName, record.data());
      Common::TrimRight(name);
      keys.push_back(std::to_string(recno) + ":" + name.str());
    }
    EXPECT_NE(Zet00::IndexStatus(), Zet00::kStatusFailed);
    return keys;
  }

  static uint32_t Block(int slot, uint16_t n) {
    const TZetTable& t = T(slot);
    Common::FieldValue value;
    Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(n), t.version, value);
    return value.block;
  }
  static void SetBlock(int slot, uint16_t n, uint32_t block) {
    TZetTable& t = T(slot);
    uint8_t raw[sizeof(uint32_t)];
    bytes::PutU32(raw, block);
    Common::PutFieldValue(t.recordBuffer.data(), t.Place(n), t.version, raw, false);
  }
  // Record 1 of the slot made its current record.
  static void ReadFirst(int slot) {
    ASSERT_EQ(Zet01::ReadRecord(slot, 1), 0);
    T(slot).currentRecord = 1;
  }

  int kunden_ = 0;
  int chef_ = 0;
};

TEST_F(AliasFilesTest, AnAliasReadsAndWritesTheMemosAndBlobsOfItsTable) {
  // Through the table: a memo with markup.
  TZetTable& t = T(kunden_);
  ReadFirst(kunden_);
  const std::vector<uint8_t> old = t.recordBuffer;
  const std::string memo = "<b>Haus</b> &amp; Hof";
  ASSERT_EQ(WINMEMOS::InitPutMemo(t.memoFile), 0);
  WINMEMOS::PutMemoBlock(int32_t(memo.size()), memo.data());
  SetBlock(kunden_, kNotiz, WINMEMOS::DonePutMemo(t.memoFile, 0));
  ASSERT_NE(Block(kunden_, kNotiz), 0u);
  bool keysChanged = false;
  ASSERT_EQ(Zet01::UpdateRecord(kunden_, old.data(), keysChanged, 0, true, false), 0);

  // Through the alias: the export reads the memo, the markup cleaner reads it
  // and writes the cleaned memo back.
  ASSERT_EQ(DbfUtil::TableToDbf(TempPath("CHEF.DAT"), TempPath("CHEF"), nullptr, 0), 0)
      << Common::LastErrorText().view();
  std::ifstream dbt(TempPath("CHEF.DBT"), std::ios::binary);
  const std::string exported{std::istreambuf_iterator<char>(dbt), std::istreambuf_iterator<char>()};
  EXPECT_NE(exported.find(memo), std::string::npos);
  ReadFirst(chef_);
  ASSERT_EQ(FullText::CleanMemoHtml(chef_, kNotiz), 0) << Common::LastErrorText().view();
  EXPECT_EQ(Zet01::CheckMemoFile(chef_), Zet01::kMemoSound);

  // Through the alias: a blob.
  const std::vector<uint8_t> picture(1500, 0xA5);
  ReadFirst(chef_);
  TZetTable* files = ZetTable::FileOwner(chef_);
  ASSERT_EQ(files, &t);
  ASSERT_EQ(WinBlobs::InitPutBlob(files->blobFile, Block(chef_, kBild)), 0);
  ASSERT_EQ(WinBlobs::PutBlobBlock(int32_t(picture.size()), picture.data()), int32_t(picture.size()));
  SetBlock(chef_, kBild, WinBlobs::DonePutBlob());
  ASSERT_EQ(Zet01::WriteRecord(chef_, 1), 0);

  // Through the table: both as the alias wrote them.
  ReadFirst(kunden_);
  EXPECT_EQ(WINMEMOS::MemoAsString(t.memoFile, Block(kunden_, kNotiz)).view(), "Haus & Hof");
  std::vector<uint8_t> read(picture.size() + 1);
  ASSERT_EQ(WinBlobs::InitGetBlob(t.blobFile, Block(kunden_, kBild)), int32_t(picture.size()));
  read.resize(size_t(WinBlobs::GetBlobBlock(int32_t(read.size()), read.data())));
  WinBlobs::DoneGetBlob();
  EXPECT_EQ(read, picture);
}

// Edits through the alias and through the table, alternating, each seen by
// the other: one count, one set of keys, the unique check over all of them,
// and what the files hold afterwards.
TEST_F(AliasFilesTest, EditsThroughAnAliasAndItsTableShareCountAndIndexes) {
  // An append through the table counts for the alias.
  ASSERT_EQ(Append(kunden_, "Schulz"), 0);
  EXPECT_EQ(T(chef_).recordCount, 2);

  // Updates through the alias, more than one: each goes to the table's index.
  ASSERT_EQ(Rename(chef_, 2, "Adam"), 0) << Common::LastErrorText().view();
  ASSERT_EQ(Rename(chef_, 2, "Bauer"), 0) << Common::LastErrorText().view();
  EXPECT_EQ(NameIndex(kunden_), (Keys{"2:Bauer", "1:Meier"}));

  // An append through the alias counts for the table; a name either holds
  // is refused through both.
  ASSERT_EQ(Append(chef_, "Zander"), 0) << Common::LastErrorText().view();
  EXPECT_EQ(T(kunden_).recordCount, 3);
  EXPECT_EQ(Append(chef_, "Meier"), Zet01::kErrDuplicateKey);
  EXPECT_EQ(Append(kunden_, "Zander"), Zet01::kErrDuplicateKey);
  EXPECT_EQ(Rename(kunden_, 3, "Bauer"), Zet01::kErrDuplicateKey);
  ASSERT_EQ(Rename(kunden_, 3, "Huber"), 0);

  // A delete through the alias moves the last record into the gap, for both.
  T(chef_).currentRecord = 1;
  ASSERT_EQ(Zet01::DeleteRecord(chef_, true, true, 0), 0) << Common::LastErrorText().view();
  EXPECT_EQ(T(kunden_).recordCount, 2);
  EXPECT_EQ(T(chef_).recordCount, 2);
  const Keys expected{"2:Bauer", "1:Huber"};
  EXPECT_EQ(NameIndex(kunden_), expected);
  EXPECT_EQ(NameIndex(chef_), expected);
  EXPECT_EQ(NameIndex(chef_, kUserIndex), expected);
  // The table's index files are not the alias's to delete.
  EXPECT_EQ(Zet00::DeleteIndex(chef_, kUserIndex), Zet00::kErrIllegalOp);
  EXPECT_EQ(NameIndex(kunden_, kUserIndex), expected);

  // What the alias flushed is on disk: the table opens with the count and
  // its indexes as they are, without a rebuild of stale keys.
  ASSERT_EQ(Zet01::CloseTable(chef_), 0);
  ASSERT_EQ(Zet01::CloseTable(kunden_), 0);
  ZetTable::SetOpenCount(0);
  kunden_ = Open("KUNDEN");
  EXPECT_EQ(T(kunden_).recordCount, 2);
  EXPECT_EQ(NameIndex(kunden_), expected);
  EXPECT_EQ(NameIndex(kunden_, kUserIndex), expected);
}

// A delete through the alias frees the memo and blob chains of the record in
// the table's files; a chain that cannot be freed is reported, and the
// record is deleted all the same.
TEST_F(AliasFilesTest, DeletingThroughAnAliasFreesTheChainsInTheTablesFiles) {
  TZetTable& t = T(kunden_);
  ReadFirst(kunden_);
  std::vector<uint8_t> old = t.recordBuffer;
  const std::string memo = "Notiz";
  ASSERT_EQ(WINMEMOS::InitPutMemo(t.memoFile), 0);
  WINMEMOS::PutMemoBlock(int32_t(memo.size()), memo.data());
  SetBlock(kunden_, kNotiz, WINMEMOS::DonePutMemo(t.memoFile, 0));
  const std::vector<uint8_t> picture(700, 0x5A);
  ASSERT_EQ(WinBlobs::InitPutBlob(t.blobFile, 0), 0);
  ASSERT_EQ(WinBlobs::PutBlobBlock(int32_t(picture.size()), picture.data()), int32_t(picture.size()));
  SetBlock(kunden_, kBild, WinBlobs::DonePutBlob());
  const uint32_t memoBlock = Block(kunden_, kNotiz), blobBlock = Block(kunden_, kBild);
  ASSERT_NE(memoBlock, 0u);
  ASSERT_NE(blobBlock, 0u);
  bool keysChanged = false;
  ASSERT_EQ(Zet01::UpdateRecord(kunden_, old.data(), keysChanged, 0, true, false), 0);

  T(chef_).currentRecord = 1;
  ASSERT_EQ(Zet01::DeleteRecord(chef_, true, true, 0), 0) << Common::LastErrorText().view();
  EXPECT_EQ(t.recordCount, 0);
  // Freed chains head the free lists.
  EXPECT_EQ(t.memoFile.nextFree, memoBlock);
  EXPECT_EQ(t.blobFile.nextFree, blobBlock);

  // A memo block number no memo file can hold.
  Add(kunden_, {"Schulz"});
  ReadFirst(kunden_);
  old = t.recordBuffer;
  SetBlock(kunden_, kNotiz, WINMEMOS::kBlockNumberLimit);
  ASSERT_EQ(Zet01::UpdateRecord(kunden_, old.data(), keysChanged, 0, true, false), 0);
  T(chef_).currentRecord = 1;
  EXPECT_EQ(Zet01::DeleteRecord(chef_, true, true, 0), memofiles::kErrBlockNumber);
  EXPECT_EQ(Common::LastError(), -int32_t(memofiles::kErrBlockNumber));
  EXPECT_EQ(t.recordCount, 0);
  EXPECT_EQ(T(chef_).recordCount, 0);
}

}  // namespace
