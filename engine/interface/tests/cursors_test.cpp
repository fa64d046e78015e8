// Cursors through the exports: navigation in record, mark and index order
// with ranges, two cursors on one table, and the append and edit protocols.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/interface/tests/interface_test_util.h"
#include "engine/interface/zeteng.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/tests/memo_test_util.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_memocheck.h"
#include "engine/storage/zet01_open.h"

namespace {

using interface_test::AddArticle;
using interface_test::Field;
using interface_test::InterfaceTest;
using interface_test::WalkNames;
using Names = std::vector<std::string>;

// Ten articles: code k, names out of alphabetical order, amount 10 - k.
class FilledTable : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    cursor_ = ZetTableCreate(relation_);
    for (int k = 1; k <= 10; ++k) ASSERT_EQ(AddArticle(cursor_, k, kNames[k - 1], 10 - k), 0);
  }
  static constexpr const char* kNames[10] = {"Kiwi", "Apfel", "Mango", "Birne", "Zitrone",
                                             "Dattel", "Feige", "Orange", "Banane", "Limette"};
  int32_t relation_ = 0;
  int32_t cursor_ = 0;
};

TEST_F(FilledTable, RecordOrderWalksAndStopsAtTheEnds) {
  const int32_t c = ZetTableCreate(relation_);
  EXPECT_EQ(ZetTableGetRecNo(c), 0);
  EXPECT_EQ(WalkNames(c), Names(std::begin(kNames), std::end(kNames)));
  EXPECT_EQ(ZetTableGetRecNo(c), 10);
  EXPECT_EQ(ZetTableMoveBy(c, 1), -11);
  EXPECT_EQ(ZetTableGetRecNo(c), 10);
  EXPECT_EQ(ZetTableMoveBy(c, -4), 1);
  EXPECT_EQ(ZetTableGetRecNo(c), 6);
  EXPECT_EQ(ZetTableMoveBy(c, -20), -11);
  EXPECT_EQ(ZetTableGetRecNo(c), 1);
  EXPECT_EQ(ZetTableMoveBy(c, 0), 1);
  EXPECT_EQ(ZetTableLast(c), 1);
  EXPECT_EQ(Field(c, "NAME"), "Limette");
  EXPECT_EQ(ZetTableSetRecNo(c, 99), 10);
  EXPECT_EQ(ZetTableSetRecNo(c, 3), 3);
  EXPECT_EQ(ZetTableSetRecNo(c, 0), -11);
  EXPECT_EQ(ZetTableSetRecNo(c, -5), -11);
  EXPECT_EQ(ZetTableGetRecNo(c), 3) << "a refused number leaves the cursor";
  EXPECT_EQ(ZetTableRecordCount(c), 10);
  EXPECT_EQ(ZetRltnRecordCount(relation_), 10);
  EXPECT_EQ(Field(c, "2"), "3") << "a number names the n-th user field";
}

TEST_F(FilledTable, IndexOrderFollowsTheKeysAndHonoursRanges) {
  const int32_t c = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetAccess(c, "namen.ind", 0), 0);
  EXPECT_EQ(WalkNames(c), (Names{"Apfel", "Banane", "Birne", "Dattel", "Feige", "Kiwi", "Limette", "Mango",
                                 "Orange", "Zitrone"}));
  ASSERT_EQ(ZetTableSetAccess(c, "MENGE.IND", 0), 0);
  EXPECT_EQ(ZetTableFirst(c), 1);
  EXPECT_EQ(Field(c, "NAME"), "Kiwi") << "descending amounts";
  char name[64];
  ASSERT_EQ(ZetTableGetAccess(c, name, sizeof name - 1), 0);
  EXPECT_STREQ(name, "MENGE.IND");
  EXPECT_EQ(ZetTableSetAccess(c, "NOPE", 0), -15);

  // A range over the name index: "Birne" .. "Kiwi".
  ASSERT_EQ(ZetTableSetAccess(c, "NAMEN.IND", 0), 0);
  ZETEng::TCursor& cursor = *ZETEng::Cursor(c);
  auto keyOfRecord = [&](int32_t recno) {
    EXPECT_EQ(ZetTableSetRecNo(c, recno), recno);
    return std::vector<uint8_t>(cursor.key.begin(), cursor.key.end());
  };
  cursor.lowKey = keyOfRecord(4);   // Birne
  cursor.highKey = keyOfRecord(1);  // Kiwi
  EXPECT_EQ(WalkNames(c), (Names{"Birne", "Dattel", "Feige", "Kiwi"}));
  EXPECT_EQ(ZetTableMoveBy(c, 1), -11) << "past the upper key";
  EXPECT_EQ(Field(c, "NAME"), "Kiwi");
  EXPECT_EQ(ZetTableLast(c), 1);
  EXPECT_EQ(Field(c, "NAME"), "Kiwi");

  // A range in record order: records 3 .. 5.
  ASSERT_EQ(ZetTableSetAccess(c, "Nummer", 0), 0);
  cursor.lowKey.assign(ZetTable::kMaxKeySize, 0);
  cursor.highKey.assign(ZetTable::kMaxKeySize, 0);
  Zet00::SetKeyRecordNumber(cursor.lowKey.data(), 3);
  Zet00::SetKeyRecordNumber(cursor.highKey.data(), 5);
  EXPECT_EQ(WalkNames(c), (Names{"Mango", "Birne", "Zitrone"}));
  EXPECT_EQ(ZetTableGetAccessIndex(c), -1);
}

TEST_F(FilledTable, MarkedOrderTakesTheUserMarks) {
  const int32_t c = ZetTableCreate(relation_);
  ASSERT_EQ(ZetSetPrimaryTable(c), 0);
  double marks[] = {7, 2, 9};
  EngineHooks::SetCursorMarksFromArray(0, marks, 3);
  EXPECT_EQ(ZetTableSetAccess(c, "markierung", 0), -15);
  ASSERT_EQ(ZetTableSetAccess(c, "markierung", 1), 0);
  EXPECT_EQ(ZetTableGetAccessIndex(c), -2);
  EXPECT_EQ(ZetTableRecordCount(c), 3);
  EXPECT_EQ(EngineHooks::ContextCount(0), 0) << "the user marks moved into the order";
  EXPECT_EQ(WalkNames(c), (Names{"Feige", "Apfel", "Banane"}));
  EXPECT_EQ(ZetTableSetRecNo(c, 3), -11) << "not marked";
  EXPECT_EQ(ZetTableGetRecNo(c), 9);
  // Back to record order: the marks become user marks again.
  ASSERT_EQ(ZetTableSetAccess(c, "Nummer", 1), 0);
  EXPECT_EQ(EngineHooks::ContextCount(0), 3);
  ASSERT_EQ(ZetTableSetRecNo(c, 1), 1);
  EXPECT_EQ(ZetTableGotoMark(c, 1), 1);
  EXPECT_EQ(ZetTableGetRecNo(c), 2);
  EXPECT_EQ(ZetTableGotoMark(c, 1), 1);
  EXPECT_EQ(ZetTableGotoMark(c, 1), 1);
  EXPECT_EQ(ZetTableGetRecNo(c), 9);
  EXPECT_EQ(ZetTableGotoMark(c, 1), -11);
  EXPECT_EQ(ZetTableGetRecNo(c), 9) << "no further mark: the cursor stays";
}

TEST_F(FilledTable, TwoCursorsKeepTheirOwnPositionsAndSeeEachOthersWrites) {
  const int32_t a = ZetTableCreate(relation_), b = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetAccess(b, "NAMEN.IND", 0), 0);
  ASSERT_EQ(ZetTableSetRecNo(a, 5), 5);
  ASSERT_EQ(ZetTableFirst(b), 1);
  EXPECT_EQ(Field(a, "NAME"), "Zitrone");
  EXPECT_EQ(Field(b, "NAME"), "Apfel");
  ASSERT_EQ(ZetTableMoveBy(b, 1), 1);
  EXPECT_EQ(ZetTableGetRecNo(a), 5);
  EXPECT_EQ(Field(b, "NAME"), "Banane");

  // A change through a reaches b's buffer when b stands on the record.
  ASSERT_EQ(ZetTableSetRecNo(a, 9), 9);  // Banane
  EXPECT_EQ(ZetTableIsDirty(b), 0) << "made after the appends";
  ASSERT_EQ(ZetTableEdit(a), 0);
  ASSERT_EQ(ZetTableSetStr(a, "MENGE", "77"), 0);
  EXPECT_EQ(Field(b, "MENGE"), "1") << "an unconfirmed edit stays in a";
  ASSERT_EQ(ZetTableEditConfirm(a), 0);
  EXPECT_EQ(Field(b, "MENGE"), "77");
  EXPECT_EQ(ZetTableIsDirty(b), 1);
  EXPECT_EQ(ZetTableIsDirty(b), 0) << "reported once";
  EXPECT_EQ(ZetTableIsDirty(a), 0) << "its own change";
  ASSERT_EQ(ZetTableMoveBy(b, 1), 1);
  EXPECT_EQ(Field(b, "NAME"), "Birne") << "b's index position survived";
}

TEST_F(FilledTable, AppendConfirmsCancelsAndGivesTheNumberBack) {
  const int32_t c = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableAppend(c), 0);
  const int32_t number = ZetTableGetAutoNo(c);
  EXPECT_GT(number, 10);
  EXPECT_EQ(ZetTableAppendConfirm(c), -33) << "an empty record is not stored";
  EXPECT_EQ(ZetRltnRecordCount(relation_), 10);
  ASSERT_EQ(ZetTableAppend(c), 0);
  EXPECT_EQ(ZetTableGetAutoNo(c), number) << "the cancelled append gave its number back";
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "5"), 0);
  ASSERT_EQ(ZetTableSetStr(c, "NAME", "Doppelt"), 0);
  EXPECT_EQ(ZetTableAppendConfirm(c), -26) << "code 5 exists";
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "11"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(c), 0) << "the failed append stayed open";
  EXPECT_EQ(ZetTableGetRecNo(c), 11);
  EXPECT_EQ(ZetRltnRecordCount(relation_), 11);

  ASSERT_EQ(ZetTableSetRecNo(c, 2), 2);
  ASSERT_EQ(ZetTableAppendDuplicate(c), 0);
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "12"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(c), 0);
  EXPECT_EQ(Field(c, "NAME"), "Apfel");
  EXPECT_NE(ZetTableGetAutoNo(c), number + 0) << "a duplicate takes a number of its own";
  ASSERT_EQ(ZetTableAppend(c), 0);
  ASSERT_EQ(ZetTableAppendCancel(c), 0);
  EXPECT_EQ(ZetTableGetRecNo(c), 12) << "cancel returns to the record before";
  EXPECT_EQ(ZetTableAppendCancel(c), 0) << "a stray cancel does nothing";
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "77"), 0);
  EXPECT_EQ(ZetTableAppendConfirm(c), -11) << "a confirm without an append stores nothing";
  EXPECT_EQ(ZetRltnRecordCount(relation_), 12);
  editing_test::ExpectIndexesAgree(relation_);
}

std::string ReadBlob(WinBlobs::TBlobFile& f, uint32_t first) {
  const int32_t length = WinBlobs::InitGetBlob(f, first);
  std::string data(size_t(std::max(length, 0)), '\0');
  if (length > 0) data.resize(size_t(std::max(WinBlobs::GetBlobBlock(length, data.data()), 0)));
  WinBlobs::DoneGetBlob();
  return data;
}

TEST_F(FilledTable, ADuplicateOwnsCopiesOfTheMemoAndBlob) {
  ZetTable::TZetTable& t = *ZetTable::Table(relation_);
  const std::string memo = memo_test::MemoFor(2, 8, 700);
  const std::string blob(3000, 'b');
  ASSERT_EQ(Zet01::ReadRecord(relation_, 2), 0);
  t.currentRecord = 2;
  const std::vector<uint8_t> old = t.recordBuffer;
  editing_test::Article a = editing_test::ArticleOf(t, old.data());
  a.notiz = memo_test::WriteMemo(t.memoFile, memo);
  ASSERT_EQ(WinBlobs::InitPutBlob(t.blobFile, 0), 0);
  WinBlobs::PutBlobBlock(int32_t(blob.size()), blob.data());
  a.bild = WinBlobs::DonePutBlob();
  ASSERT_NE(a.notiz, 0u);
  ASSERT_NE(a.bild, 0u);
  editing_test::PutArticle(relation_, a);
  bool changed = false;
  ASSERT_EQ(Zet01::UpdateRecord(relation_, old.data(), changed, 0, true, false), 0);

  const int32_t c = ZetTableCreate(relation_);
  // A cancelled duplicate gives its copies back; the file stays sound.
  ASSERT_EQ(ZetTableSetRecNo(c, 2), 2);
  ASSERT_EQ(ZetTableAppendDuplicate(c), 0);
  const uint32_t memoBlocks = t.memoFile.highest, blobBlocks = t.blobFile.highest;
  ASSERT_EQ(ZetTableAppendCancel(c), 0);
  ASSERT_EQ(Zet01::FlushTable(relation_, true), 0);
  EXPECT_EQ(Zet01::CheckMemoFile(relation_), Zet01::kMemoSound);

  ASSERT_EQ(ZetTableSetRecNo(c, 2), 2);
  ASSERT_EQ(ZetTableAppendDuplicate(c), 0);
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "12"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(c), 0);
  EXPECT_EQ(t.memoFile.highest, memoBlocks) << "the cancelled copy's blocks were reused";
  EXPECT_EQ(t.blobFile.highest, blobBlocks);
  const uint32_t copyNr = uint32_t(ZetTableGetRecNo(c));
  ASSERT_EQ(Zet01::ReadRecord(relation_, copyNr), 0);
  const editing_test::Article copy = editing_test::ArticleOf(t, t.recordBuffer.data());
  EXPECT_NE(copy.notiz, a.notiz);
  EXPECT_NE(copy.bild, a.bild);
  EXPECT_EQ(memo_test::ReadMemo(t.memoFile, copy.notiz), memo);
  EXPECT_EQ(ReadBlob(t.blobFile, copy.bild), blob);

  // Deleting the original frees its chains only: the copy keeps its texts.
  ASSERT_EQ(ZetTableSetRecNo(c, 2), 2);
  ASSERT_EQ(ZetTableDeleteRecord(c), 0);
  const int32_t reuse = ZetTableCreate(relation_);
  ASSERT_EQ(AddArticle(reuse, 13, "Quitte", 1), 0);
  EXPECT_EQ(Zet01::CheckMemoFile(relation_), Zet01::kMemoSound);
  for (uint32_t r = 1; r <= uint32_t(t.recordCount); ++r) {
    ASSERT_EQ(Zet01::ReadRecord(relation_, r), 0);
    const editing_test::Article now = editing_test::ArticleOf(t, t.recordBuffer.data());
    if (now.code != 12) continue;
    EXPECT_EQ(memo_test::ReadMemo(t.memoFile, now.notiz), memo);
    EXPECT_EQ(ReadBlob(t.blobFile, now.bild), blob);
  }
  editing_test::ExpectIndexesAgree(relation_);
}

TEST_F(FilledTable, SetFieldStoresIntoTheGivenBufferOnly) {
  const int32_t c = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(c, 4), 4);
  std::vector<uint8_t> record(size_t(ZetTableGetRecordSize(c)));
  ASSERT_EQ(ZetTableGetRecord(c, record.data()), 0);
  const int32_t menge = ZetTableGetFieldNo(c, "MENGE");
  ASSERT_GT(menge, 0);
  const int16_t value = 42;
  const std::vector<uint8_t> before = record;
  for (int32_t bad : {0, -1, ZetTableGetNumFields(c) + 1}) {
    EXPECT_EQ(ZetTableSetField(c, bad, record.data(), &value), -10) << bad;
    EXPECT_EQ(record, before);
  }
  EXPECT_EQ(ZetTableSetField(c, menge, nullptr, &value), -10);
  EXPECT_EQ(ZetTableSetField(c, menge, record.data(), nullptr), -10);
  ASSERT_EQ(ZetTableSetField(c, menge, record.data(), &value), 0);
  EXPECT_EQ(Field(c, "MENGE"), "6") << "the cursor's own record is left alone";
  ASSERT_EQ(ZetTableEdit(c), 0);
  ASSERT_EQ(ZetTableSetRecord(c, record.data()), 0);
  ASSERT_EQ(ZetTableEditConfirm(c), 0);
  EXPECT_EQ(Field(c, "MENGE"), "42");
  EXPECT_EQ(Field(c, "NAME"), "Birne");
  editing_test::ExpectIndexesAgree(relation_);
}

TEST_F(FilledTable, AFailedEditConfirmKeepsTheOriginal) {
  const int32_t c = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(c, 3), 3);
  EXPECT_EQ(ZetTableIsDirtyRecord(c), 1) << "no edit runs";
  ASSERT_EQ(ZetTableEdit(c), 0);
  EXPECT_EQ(ZetTableIsDirtyRecord(c), 0);
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "4"), 0);  // taken by Birne
  ASSERT_EQ(ZetTableSetStr(c, "NAME", "Melone"), 0);
  EXPECT_EQ(ZetTableIsDirtyRecord(c), 1);
  EXPECT_EQ(ZetTableEditConfirm(c), -26);
  char text[64];
  EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), -30);
  char previous[64];
  ASSERT_EQ(ZetTableGetPrevStr(c, "NAME", previous, sizeof previous - 1), 0);
  EXPECT_STREQ(previous, "Mango") << "the original is kept for cancel";
  EXPECT_EQ(ZetTableEditConfirm(c), -26) << "a retry still sees the change";
  ASSERT_EQ(ZetTableSetStr(c, "CODE", "33"), 0);
  ASSERT_EQ(ZetTableEditConfirm(c), 0);
  EXPECT_EQ(Field(c, "NAME"), "Melone");
  editing_test::ExpectIndexesAgree(relation_);

  ASSERT_EQ(ZetTableEdit(c), 0);
  ASSERT_EQ(ZetTableSetStr(c, "NAME", "Quitte"), 0);
  ASSERT_EQ(ZetTableEditCancel(c), 0);
  EXPECT_EQ(Field(c, "NAME"), "Melone");
  ASSERT_EQ(ZetTableEdit(c), 0);
  EXPECT_EQ(ZetTableEditConfirm(c), -38) << "nothing changed";
  EXPECT_EQ(ZetTableEditCancel(c), 0) << "the -38 ended the edit";
  EXPECT_EQ(ZetTableSetStr(c, "NOPE", "1"), -7);
  EXPECT_EQ(ZetTableSetStr(c, "MENGE", "zwölf"), -7);
}

// A field set while no edit runs (the identifier too) is a change of the
// record that the next edit writes with its keys: every index agrees with the
// records afterwards, also when the edit changes another field only.
TEST_F(FilledTable, AFieldSetBeforeTheEditReachesTheIndexes) {
  const int32_t c = ZetTableCreate(relation_);
  for (const bool appended : {false, true}) {
    SCOPED_TRACE(appended ? "after an append" : "on a record");
    if (appended) {
      ASSERT_EQ(AddArticle(c, 77, "Quitte", 1), 0);
    } else {
      ASSERT_EQ(ZetTableSetRecNo(c, 3), 3);
    }
    ASSERT_EQ(ZetTableSetStr(c, "NR", appended ? "-19" : "-20"), 0);
    ASSERT_EQ(ZetTableEdit(c), 0);
    ASSERT_EQ(ZetTableSetStr(c, "MENGE", "5"), 0);
    ASSERT_EQ(ZetTableEditConfirm(c), 0);
    EXPECT_EQ(Field(c, "NR"), appended ? "-19" : "-20");
    editing_test::ExpectIndexesAgree(relation_);
  }
}

TEST_F(FilledTable, EditLocksAndDeletesKeepTheOtherCursorsRight) {
  const int32_t a = ZetTableCreate(relation_), b = ZetTableCreate(relation_), d = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(a, 3), 3);
  ASSERT_EQ(ZetTableSetRecNo(b, 3), 3);
  ASSERT_EQ(ZetTableSetRecNo(d, 3), 3);
  ASSERT_EQ(ZetTableEdit(a), 0);
  EXPECT_EQ(ZetTableEdit(b), -1);
  char text[64];
  EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), -105);
  EXPECT_STREQ(text, "Datensatz wird bereits editiert");
  EXPECT_EQ(ZetTableDeleteRecord(d), -31);
  ASSERT_EQ(ZetTableEditCancel(a), 0);

  // Delete record 3 of 10 while b stands on 10: the last record moves into 3.
  ASSERT_EQ(ZetTableSetRecNo(b, 10), 10);
  ASSERT_EQ(ZetTableSetAccess(a, "NAMEN.IND", 0), 0);
  ASSERT_EQ(ZetTableSetRecNo(a, 3), 3);  // Mango; next by name: Orange
  ASSERT_GE(ZetTableDeleteRecord(d), 0);
  EXPECT_EQ(ZetRltnRecordCount(relation_), 9);
  EXPECT_EQ(ZetTableGetRecNo(b), 3);
  EXPECT_EQ(Field(b, "NAME"), "Limette");
  EXPECT_EQ(Field(a, "NAME"), "Orange") << "an index cursor goes to the next key";
  EXPECT_EQ(ZetTableMoveBy(a, 1), 1);
  EXPECT_EQ(Field(a, "NAME"), "Zitrone");
  EXPECT_EQ(ZetTableDeleteRecord(ZetTableCreate(relation_)), -11) << "no current record";
  editing_test::ExpectIndexesAgree(relation_);
}

TEST_F(FilledTable, FieldsReadAsTextRealAndRecord) {
  const int32_t c = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(c, 4), 4);
  EXPECT_EQ(ZetTableGetFieldNo(c, "NAME"), 3);
  EXPECT_EQ(ZetTableGetFieldNo(c, "ARTIKEL.NAME"), 0);
  EXPECT_EQ(ZetTableGetFieldNo(c, "NOPE"), 0);
  EXPECT_EQ(ZetTableGetNumFields(c), 6);
  double value = 0;
  EXPECT_EQ(ZetTableGetReal(c, "NAME", &value), -23);
  EXPECT_EQ(ZetTableGetStr(c, "NOPE", nullptr, 0), -7);
  ZetFieldSpec fieldSpec;
  ASSERT_EQ(ZetTableGetFieldSpec(c, 3, &fieldSpec), 0);
  EXPECT_STREQ(fieldSpec.name, "NAME");
  EXPECT_EQ(fieldSpec.type, 1);
  EXPECT_EQ(fieldSpec.size, 20);
  EXPECT_EQ(ZetTableGetFieldSpec(c, 0, &fieldSpec), -10);
  EXPECT_EQ(ZetTableGetFieldSpec(c, 7, &fieldSpec), -10);
  std::vector<uint8_t> record(size_t(ZetTableGetRecordSize(c)));
  ASSERT_EQ(ZetTableGetRecord(c, record.data()), 0);
  const int32_t other = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(other, 7), 7);
  std::vector<uint8_t> again(record.size());
  ASSERT_EQ(ZetTableGetRecord(c, again.data()), 0);
  EXPECT_EQ(record, again) << "the cursor's own record, not the table's last";
  char id[64];
  ASSERT_EQ(ZetTableGetIdInfo(c, id, sizeof id - 1), 0);
  EXPECT_STREQ(id, "4");

  int32_t integer = 0;
  double real = 0;
  char text[8];
  ASSERT_EQ(ZetTableGetRecordField(c, nullptr, 4, 1, &integer, nullptr, nullptr, 0), 0);
  EXPECT_EQ(integer, 6);
  ASSERT_EQ(ZetTableGetRecordField(c, record.data(), 4, 2, nullptr, &real, nullptr, 0), 0);
  EXPECT_EQ(real, 6.0);
  EXPECT_EQ(ZetTableGetRecordField(c, nullptr, 3, 1, &integer, nullptr, nullptr, 0), -203) << "a text";
  ASSERT_EQ(ZetTableGetRecordField(c, nullptr, 3, 3, nullptr, nullptr, text, 3), 0);
  EXPECT_STREQ(text, "Bir");
  ASSERT_EQ(ZetTableGetRecordField(c, nullptr, 3, 4, nullptr, nullptr, text, 4), 0);
  EXPECT_EQ(text[0], 3);
  EXPECT_EQ(std::string(text + 1, 3), "Bir");
  EXPECT_EQ(ZetTableGetRecordField(c, nullptr, 3, 5, nullptr, nullptr, text, 4), -203);
  EXPECT_EQ(ZetTableGetRecordField(c, nullptr, 9, 3, nullptr, nullptr, text, 4), -203);
}

}  // namespace

namespace {

TEST_F(FilledTable, MarkedRecordsAreDeletedAndTheCursorsFollow) {
  const int32_t c = ZetTableCreate(relation_), watcher = ZetTableCreate(relation_);
  ASSERT_EQ(ZetSetPrimaryTable(c), 0);
  double marks[] = {2, 9, 10};
  EngineHooks::SetCursorMarksFromArray(0, marks, 3);
  ASSERT_EQ(ZetTableSetRecNo(watcher, 8), 8);  // Orange survives
  std::vector<std::pair<int32_t, int32_t>> calls;
  static std::vector<std::pair<int32_t, int32_t>>* seen;
  seen = &calls;
  ASSERT_EQ(ZetTableDeleteMarkedRecs(c, [](int32_t done, int32_t total) { seen->push_back({done, total}); return 0; }, 0), 0);
  EXPECT_EQ(ZetRltnRecordCount(relation_), 7);
  EXPECT_EQ(EngineHooks::ContextCount(0), 0);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), (std::pair<int32_t, int32_t>{0, 3}));
  EXPECT_EQ(Field(watcher, "NAME"), "Orange");
  Names left = WalkNames(c);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (Names{"Birne", "Dattel", "Feige", "Kiwi", "Mango", "Orange", "Zitrone"}));
  editing_test::ExpectIndexesAgree(relation_);
}

TEST_F(FilledTable, IdentifiersNameRecordsAndAutomaticNumbers) {
  const int32_t c = ZetTableCreate(relation_);
  EXPECT_EQ(ZetRltnGetAutoNo(relation_, "4"), 4);
  EXPECT_EQ(ZetRltnGetAutoNo(relation_, "44"), 0);
  ASSERT_EQ(ZetTableAppendWithIDInfo(c, "44"), 0);
  EXPECT_EQ(Field(c, "CODE"), "44");
  ASSERT_EQ(ZetTableSetStr(c, "NAME", "Pflaume"), 0);
  ASSERT_EQ(ZetTableAppendConfirm(c), 0);
  EXPECT_EQ(ZetRltnGetAutoNo(relation_, "44"), ZetTableGetAutoNo(c));
}

TEST_F(FilledTable, BracketsPutTheTablePositionsBack) {
  const int32_t c = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableSetRecNo(c, 6), 6);
  ASSERT_EQ(ZetTableStartProtected(c), 0);
  ASSERT_EQ(ZetTableStartContinousRead(c), 0);
  ASSERT_EQ(ZetTableSetAccess(c, "NAMEN.IND", 0), 0);
  ASSERT_EQ(ZetTableLast(c), 1);
  ASSERT_EQ(ZetTableEndContinousRead(c), 0);
  EXPECT_EQ(ZetTableGetRecNo(c), 6);
  EXPECT_EQ(ZetTableGetAccessIndex(c), -1);
  EXPECT_EQ(Field(c, "NAME"), "Dattel");
  ASSERT_EQ(ZetTableEndProtected(c), 0);
  EXPECT_EQ(ZetTableEndProtected(c), 0) << "an end without a start does nothing";
  EXPECT_EQ(ZetTableEndContinousRead(c), 0);
  ASSERT_EQ(ZetTableStartReport(c, 1, 0), 0);
  ASSERT_EQ(ZetTableEndReport(c), 0);
  EXPECT_EQ(ZetPushState(), 0);
  EXPECT_EQ(ZetPopState(), 0);
  EXPECT_EQ(ZetPopState(), 0) << "a pop without a push does nothing";
}

}  // namespace

namespace {

TEST_F(FilledTable, ARawRecordNeverTakesAnotherRecordsMemoChain) {
  const int32_t c = ZetTableCreate(relation_);
  const ZetTable::TZetTable& t = *ZetTable::Table(relation_);
  const uint32_t memo = t.FieldOffset(editing_test::kNotiz);
  ASSERT_EQ(ZetTableSetRecNo(c, 2), 2);
  std::vector<uint8_t> record(size_t(ZetTableGetRecordSize(c)));
  ASSERT_EQ(ZetTableGetRecord(c, record.data()), 0);
  const std::vector<uint8_t> own(record.begin() + memo, record.begin() + memo + 4);
  record[memo] = 0x5A;  // a chain of some other record
  record[t.FieldOffset(editing_test::kName) + 1] = 'X';
  ASSERT_EQ(ZetTableSetRecord(c, record.data()), 0);
  std::vector<uint8_t> now(record.size());
  ASSERT_EQ(ZetTableGetRecord(c, now.data()), 0);
  EXPECT_EQ(std::vector<uint8_t>(now.begin() + memo, now.begin() + memo + 4), own);
  EXPECT_EQ(Field(c, "NAME"), "Xpfel");
}

}  // namespace

namespace {

TEST_F(FilledTable, TwoCursorsKeepTheirOwnMarks) {
  const int32_t a = ZetTableCreate(relation_), b = ZetTableCreate(relation_);
  double marksA[] = {1, 2, 3}, marksB[] = {9};
  ASSERT_EQ(ZetSetPrimaryTable(a), 0);
  EngineHooks::SetCursorMarksFromArray(0, marksA, 3);
  ASSERT_EQ(ZetSetPrimaryTable(b), 0);
  EngineHooks::SetCursorMarksFromArray(0, marksB, 1);
  ASSERT_EQ(ZetTableSetAccess(a, "Markierung", 1), 0);
  ASSERT_EQ(ZetTableSetAccess(b, "Markierung", 1), 0);
  EXPECT_EQ(ZetTableRecordCount(a), 3);
  EXPECT_EQ(ZetTableRecordCount(b), 1);
  EXPECT_EQ(WalkNames(b), (Names{"Banane"}));
  EXPECT_EQ(WalkNames(a), (Names{"Kiwi", "Apfel", "Mango"}));
  // Deleting a marked record renumbers the other cursor's marks too.
  ASSERT_EQ(ZetTableSetRecNo(a, 2), 2);
  ASSERT_GE(ZetTableDeleteRecord(a), 0);  // record 10 (Limette) moves into 2
  EXPECT_EQ(ZetTableRecordCount(a), 2);
  EXPECT_EQ(WalkNames(b), (Names{"Banane"}));
  ZetTableDelete(a);
  ZetTableDelete(b);
  EXPECT_EQ(EngineHooks::ContextCount(0), -1) << "the active cursor was deleted";
}

}  // namespace
