// Storage units working together: an alias reaches the memo and blob files
// of the table it aliases through the routines that take a table handle.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/storage/bytes.h"
#include "engine/storage/common.h"
#include "engine/storage/dbfutil.h"
#include "engine/storage/fulltext.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/tests/links_test_util.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_memocheck.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace {

using links_test::Number;
using links_test::Text;
using ZetTable::TZetTable;

constexpr uint16_t kNotiz = 3, kBild = 4;

class AliasFilesTest : public links_test::LinkTest {
 protected:
  // KUNDEN {NR N, NAME S20, NOTIZ M, BILD P} with one record, still without
  // memo and blob, and its alias CHEF.
  void SetUp() override {
    LinkTest::SetUp();
    Create("KUNDEN", {Number(), Text("NAME"), {"NOTIZ", Common::kTypeMemo, 3, 4}, {"BILD", Common::kTypeBlob, 3, 4}});
    kunden_ = Open("KUNDEN");
    Add(kunden_, {"Meier"});
    ASSERT_EQ(LINKFILE::OpenAlias("Chef", kunden_), 0);
    chef_ = ZetTable::OpenCount();
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

}  // namespace
