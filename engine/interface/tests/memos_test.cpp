// Memo and blob contents moved in blocks through the exports, and the blob
// file import of the macro language.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/tests/fault_test_util.h"
#include "engine/storage/winblobs.h"

namespace {

using interface_test::AddArticle;
using interface_test::InterfaceTest;

class Transfer : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    c_ = ZetTableCreate(relation_);
    ASSERT_EQ(AddArticle(c_, 1, "Apfel", 3), 0);
    ASSERT_EQ(AddArticle(c_, 2, "Birne", 5), 0);
    ASSERT_EQ(ZetTableSetRecNo(c_, 1), 1);
  }
  // Writes a memo in blocks of `block` bytes and confirms the edit.
  int32_t PutMemo(const std::string& text, const char* field = "NOTIZ", size_t block = 4096) {
    EXPECT_EQ(ZetTableEdit(c_), 0);
    EXPECT_EQ(ZetTableInitPutMemo(c_, field), 0);
    for (size_t at = 0; at < text.size(); at += block) {
      const int32_t n = int32_t(std::min(block, text.size() - at));
      EXPECT_EQ(ZetTablePutMemoBlock(text.data() + at, n), n);
    }
    const int32_t done = ZetTableDonePutMemo(c_, field);
    if (done != 0) {
      ZetTableEditCancel(c_);
      return done;
    }
    return ZetTableEditConfirm(c_);
  }
  // Reads a memo in blocks: the length Init answered and the text.
  std::pair<int32_t, std::string> GetMemo(const char* field = "NOTIZ", int32_t block = 5) {
    const int32_t length = ZetTableInitGetMemo(c_, field);
    std::string text;
    std::vector<char> buffer(static_cast<size_t>(block));
    for (int32_t n; (n = ZetTableGetMemoBlock(buffer.data(), block)) > 0;) text.append(buffer.data(), size_t(n));
    ZetTableDoneGetMemo();
    return {length, text};
  }
  int32_t PutBlob(const std::vector<uint8_t>& data, size_t block) {
    EXPECT_EQ(ZetTableEdit(c_), 0);
    EXPECT_EQ(ZetTableInitPutBlob(c_, "BILD", int32_t(data.size())), 0);
    for (size_t at = 0; at < data.size(); at += block) {
      const int32_t n = int32_t(std::min(block, data.size() - at));
      EXPECT_EQ(ZetTablePutBlobBlock(data.data() + at, n), n);
    }
    const int32_t done = ZetTableDonePutBlob(c_, "BILD");
    if (done != 0) {
      ZetTableEditCancel(c_);
      return done;
    }
    return ZetTableEditConfirm(c_);
  }
  std::vector<uint8_t> GetBlob(size_t block) {
    const int32_t length = ZetTableInitGetBlob(c_, "BILD");
    std::vector<uint8_t> data;
    std::vector<uint8_t> buffer(block);
    for (int32_t n; (n = ZetTableGetBlobBlock(buffer.data(), int32_t(block))) > 0;)
      data.insert(data.end(), buffer.begin(), buffer.begin() + n);
    ZetTableDoneGetBlob();
    EXPECT_EQ(length, int32_t(data.size()));
    return data;
  }
  int32_t relation_ = 0;
  int32_t c_ = 0;
};

TEST_F(Transfer, MemoLinesRoundTripAsCrLfInAnyBlockSize) {
  ASSERT_EQ(PutMemo("ab\r\ncd", "NOTIZ", 1), 0);
  EXPECT_EQ(GetMemo(), std::make_pair(6, std::string("ab\r\ncd")));
  // A bare LF is dropped; the other names of the field reach the same memo.
  ASSERT_EQ(PutMemo("erste Zeile\r\nzweite\nZeile\r\n\r\nletzte", "ARTIKEL.NOTIZ", 7), 0);
  const std::string expected = "erste Zeile\r\nzweiteZeile\r\n\r\nletzte";
  for (const char* name : {"NOTIZ", "notiz", "ARTIKEL.NOTIZ", "ARTIKEL_NOTIZ-"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(GetMemo(name, 3), std::make_pair(int32_t(expected.size()), expected));
  }
  // The other record has its own (empty) memo; the first one survives a
  // reopen of the table.
  ASSERT_EQ(ZetTableSetRecNo(c_, 2), 2);
  EXPECT_EQ(GetMemo(), std::make_pair(0, std::string()));
  ASSERT_EQ(ZetRltnCloseAll(), 0);
  relation_ = OpenArticles();
  c_ = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(c_, 1), 1);
  EXPECT_EQ(GetMemo().second, expected);
}

TEST_F(Transfer, FieldTextsThatNameNoFieldOfTheKindAreRefused) {
  struct Case {
    const char* field;
    int32_t memo;
    int32_t blob;
  };
  for (const Case& k : {Case{"NAME", -23, -23}, Case{"BILD", -23, 0}, Case{"NOTIZ", 0, -23},
                        Case{"NOFIELD", -7, -7}, Case{"MENGE + 1", -23, -23}, Case{"", -23, -23}}) {
    SCOPED_TRACE(k.field);
    EXPECT_EQ(ZetTableInitGetMemo(c_, k.field), k.memo);
    ZetTableDoneGetMemo();
    EXPECT_EQ(ZetTableInitPutMemo(c_, k.field), k.memo);
    EXPECT_EQ(ZetTableDonePutMemo(c_, k.field), k.memo == 0 ? 0 : k.memo);
    EXPECT_EQ(ZetTableInitGetBlob(c_, k.field), k.blob);
    ZetTableDoneGetBlob();
  }
  ZetTableEditCancel(c_);
  // Without an open transfer the block functions move nothing.
  char buffer[8];
  EXPECT_EQ(ZetTableGetMemoBlock(buffer, 8), -12);
  EXPECT_EQ(ZetTablePutMemoBlock("x", 1), -12);
  EXPECT_EQ(ZetTableGetBlobBlock(buffer, 8), -12);
  EXPECT_EQ(ZetTablePutBlobBlock("x", 1), -12);
  EXPECT_EQ(ZetTableDonePutBlob(c_, "BILD"), -25);
}

TEST_F(Transfer, BlobsOf100KbRoundTripInSeveralBlockSizes) {
  std::vector<uint8_t> data(100 * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 131) ^ (i >> 8));
  for (size_t put : {size_t(1000), size_t(4096), size_t(32767), data.size()}) {
    SCOPED_TRACE(put);
    data[0] = uint8_t(put);  // each write differs from the one before
    ASSERT_EQ(PutBlob(data, put), 0);
    for (size_t get : {size_t(333), size_t(65536)}) EXPECT_EQ(GetBlob(get), data);
  }
  ASSERT_EQ(PutBlob({}, 16), 0);
  EXPECT_TRUE(GetBlob(16).empty());
}

TEST_F(Transfer, AFailedWriteKeepsTheOldContent) {
  ASSERT_EQ(PutMemo("alter Text"), 0);
  std::vector<uint8_t> old(5000, 7);
  ASSERT_EQ(PutBlob(old, 4096), 0);
  {
    fault_test::TFaultReset reset;
    ASSERT_EQ(ZetTableEdit(c_), 0);
    ASSERT_EQ(ZetTableInitPutMemo(c_, "NOTIZ"), 0);
    ASSERT_EQ(ZetTablePutMemoBlock("neuer Text", 10), 10);
    fault_test::DieAfterWrites();
    EXPECT_EQ(ZetTableDonePutMemo(c_, "NOTIZ"), -25);
    platform::ResetFileFaults();
    EXPECT_EQ(GetMemo().second, "alter Text") << "the field still names the old memo";

    ASSERT_EQ(ZetTableInitPutBlob(c_, "BILD", 6000), 0);
    std::vector<uint8_t> fresh(6000, 9);
    ASSERT_EQ(ZetTablePutBlobBlock(fresh.data(), 6000), 6000);
    fault_test::DieAfterWrites();
    EXPECT_EQ(ZetTableDonePutBlob(c_, "BILD"), -25);
    platform::ResetFileFaults();
    EXPECT_EQ(GetBlob(1024), old);
    ZetTableEditConfirm(c_);
  }
  ASSERT_EQ(ZetTableSetRecNo(c_, 1), 1);
  EXPECT_EQ(GetMemo().second, "alter Text");
  EXPECT_EQ(GetBlob(1024), old);
}

TEST_F(Transfer, TheBlobImportWritesTheKindWordAndTheFile) {
  std::vector<uint8_t> file(70000);
  for (size_t i = 0; i < file.size(); ++i) file[i] = uint8_t(i * 7);
  const std::string gif = TempPath("bild.gif");
  std::ofstream(gif, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  std::ofstream(TempPath("bild.xyz")) << "x";

  ZetTable::TZetTable& t = *ZetTable::Table(relation_);
  const uint16_t bild = uint16_t(ZetTableGetFieldNo(c_, "BILD"));
  ASSERT_GT(bild, 0);
  ASSERT_EQ(ZetTableFirst(c_), 1);
  EXPECT_EQ(EngineHooks::LinkBlobFile(relation_, bild, TempPath("bild.xyz"), 0), 0);
  EXPECT_EQ(EngineHooks::LinkBlobFile(relation_, bild, TempPath("missing.gif"), 0), 0);
  EXPECT_EQ(EngineHooks::LinkBlobFile(relation_, bild, gif, 0), 70002) << "the blob's length";
  const uint32_t first = bytes::GetU32(t.recordBuffer.data() + t.FieldOffset(bild));
  ASSERT_EQ(WinBlobs::InitGetBlob(t.blobFile, first), 70002);
  std::vector<uint8_t> stored(70002);
  EXPECT_EQ(WinBlobs::GetBlobBlock(70002, stored.data()), 70002);
  WinBlobs::DoneGetBlob();
  EXPECT_EQ(bytes::GetU16(stored.data()), 10) << "kind 5 (GIF) embedded";
  EXPECT_TRUE(std::equal(file.begin(), file.end(), stored.begin() + 2));
}

}  // namespace
