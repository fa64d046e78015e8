// Record editing: append, update and delete with their indexes, marks,
// memo and blob chains and auto numbers; failures half-way; field values,
// link and relation fields; deleting table files; the engine hooks.
#include "engine/storage/zet01_edit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common_errors.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/btrees.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/tests/fault_test_util.h"
#include "engine/storage/tests/zet01_test_util.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using namespace editing_test;

class Zet01EditTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    platform::ResetFileFaults();
    zettest::EngineTest::TearDown();
  }
  TZetTable& T(int h) { return *ZetTable::Table(h); }
  uint64_t FileSize(const std::string& path) const { return std::filesystem::file_size(path); }
  uint64_t RecordsEnd(int h) {
    return T(h).headerSize + uint64_t(T(h).recordCount) * T(h).recordLength;
  }
  // A fresh article table holding the given articles in record order.
  int OpenWith(const std::string& name, const std::vector<Article>& articles) {
    const int h = OpenArticles(CreateArticles(TempPath(name)));
    EXPECT_GT(h, 0);
    for (const Article& a : articles) EXPECT_EQ(Append(h, a), 0);
    return h;
  }
  int Append(int h, const Article& a, bool flush = true) {
    T(h).recordBuffer.assign(T(h).recordLength, 0);
    PutArticle(h, a);
    EXPECT_EQ(Zet01::AssignAutoNumber(h), 0);
    return Zet01::AppendRecord(h, flush, 0);
  }
  int Update(int h, uint32_t recno, const Article& a, bool flush = true) {
    T(h).currentRecord = recno;
    EXPECT_EQ(Zet01::ReadRecord(h, recno), 0);
    const std::vector<uint8_t> old = T(h).recordBuffer;
    PutArticle(h, a);
    bool changed = false;
    return Zet01::UpdateRecord(h, old.data(), changed, 0, flush, false);
  }
  int Delete(int h, uint32_t recno, bool flush = true, bool notify = true) {
    T(h).currentRecord = recno;
    return Zet01::DeleteRecord(h, flush, notify, 0);
  }
  // Random appends, updates, deletes and marks, with and without flush,
  // against a model, in every order; reopen closes and opens the table
  // between the phases.
  void RunRandomEdits(bool reopen, int opsPerPhase);
  // Tables of one test share their index names: each starts afresh.
  void ClearTempDir() {
    for (const auto& e : std::filesystem::directory_iterator(TempDir())) std::filesystem::remove_all(e.path());
  }
  static std::vector<Article> Numbered(int n) {
    std::vector<Article> all;
    for (int i = 1; i <= n; ++i) all.push_back({0, int16_t(i * 10), "N" + std::to_string(i), int16_t(i % 4)});
    return all;
  }
};

// A record-number-ordered model of the table: what append, update and
// delete must leave behind.
struct Model {
  std::vector<Article> rows;
  std::vector<uint32_t> marks;
  std::map<int16_t, int> codes;  // code -> records holding it

  // Another record than row `except` holds the code.
  bool CodeTaken(int16_t code, size_t except) const {
    auto it = codes.find(code);
    const int holders = it == codes.end() ? 0 : it->second;
    return holders > (except < rows.size() && rows[except].code == code ? 1 : 0);
  }
  void Put(size_t row, const Article& a) {
    if (row == rows.size()) {
      rows.push_back(a);
    } else {
      --codes[rows[row].code];
      rows[row] = a;
    }
    ++codes[a.code];
  }
  void Delete(uint32_t n) {
    const uint32_t last = uint32_t(rows.size());
    --codes[rows[n - 1].code];
    rows[n - 1] = rows[last - 1];
    rows.pop_back();
    marks.erase(std::remove(marks.begin(), marks.end(), n), marks.end());
    std::replace(marks.begin(), marks.end(), last, n);
  }
};

std::string RandomName(std::mt19937& rng) {
  static const std::string letters = "abcMNZ\xE4\xF6\xDF ";
  std::string name;
  for (size_t k = 1 + rng() % 12; k > 0; --k) name += letters[rng() % letters.size()];
  return name;
}

// The record count the table file's header holds.
int32_t CountInFile(const std::string& path, uint16_t version) {
  std::ifstream f(path, std::ios::binary);
  f.seekg(std::streamoff(Zet00::RecordCountPosition(version)));
  uint8_t raw[4] = {};
  f.read(reinterpret_cast<char*>(raw), sizeof raw);
  return bytes::GetI32(raw);
}

TEST_F(Zet01EditTest, RandomEditsKeepEveryIndexExact) { RunRandomEdits(false, 10000); }

TEST_F(Zet01EditTest, RandomEditsReadTheSameThroughAGrownRecordCache) {
  for (const size_t budget : {size_t(3000), size_t(1) << 20}) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    ClearTempDir();
    Zet01::SetRecordCacheBudget(budget);
    RunRandomEdits(true, 4000);
    if (HasFatalFailure()) return;
    // Every cache ended with its table: the budget is whole again.
    EXPECT_EQ(Zet01::RecordCacheGrownBytes(), 0u);
  }
}

void Zet01EditTest::RunRandomEdits(bool reopen, int opsPerPhase) {
  // Plain records keep the many reads cheap; scrambling is no concern here.
  const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"), 0);
  int h = OpenArticles(path, 0);
  ASSERT_GT(h, 0);
  std::mt19937 rng(20240611);
  // A second table (in a folder of its own: the index names are the same),
  // whose cache takes from the same budget.
  std::filesystem::create_directories(TempPath("zwei"));
  const int other = OpenArticles(CreateArticles(TempPath("zwei/ARTIKEL.DAT"), 0), 0);
  ASSERT_GT(other, 0);
  for (const Article& a : Numbered(300)) ASSERT_EQ(Append(other, a, false), 0);
  ASSERT_EQ(Zet01::FlushTable(other, true), 0);
  const std::vector<Article> otherRows = ScanArticles(other);
  Model model;
  int32_t nextNr = 1;
  constexpr int kPhases = 5;
  const int kOpsPerPhase = opsPerPhase;
  // Each phase walks the table in another order, which decides where a
  // delete leaves the table and how appends set the current key.
  const uint8_t orders[kPhases][2] = {{ZetTable::kOrderRecords, 0},
                                      {ZetTable::kOrderIndex, kNameIndex},
                                      {ZetTable::kOrderIndex, kMengeIndex},
                                      {ZetTable::kOrderMarks, 0},
                                      {ZetTable::kOrderRecords, 0}};
  int duplicates = 0;
  for (int phase = 0; phase < kPhases; ++phase) {
    SCOPED_TRACE("phase " + std::to_string(phase));
    T(h).orderMode = orders[phase][0];
    T(h).currentIndex = orders[phase][1];
    for (int op = 0; op < kOpsPerPhase; ++op) {
      const bool flush = rng() % 100 == 0;
      const uint32_t count = uint32_t(model.rows.size());
      const uint32_t kind = rng() % 100;
      Article a{0, int16_t(rng() % 20000), RandomName(rng), int16_t(int(rng() % 101) - 50)};
      if (kind < 40 || count == 0) {
        const bool taken = model.CodeTaken(a.code, SIZE_MAX);
        const int result = Append(h, a, flush);
        a.nr = nextNr++;
        ASSERT_EQ(result, taken ? Zet01::kErrDuplicateKey : 0) << "append " << op;
        if (taken) {
          ++duplicates;
        } else {
          model.Put(model.rows.size(), a);
        }
      } else if (kind < 65) {
        const uint32_t r = 1 + rng() % count;
        a.nr = model.rows[r - 1].nr;
        if (rng() % 4 == 0) a.code = model.rows[r - 1].code;  // its own key is no duplicate
        const bool taken = model.CodeTaken(a.code, r - 1);
        ASSERT_EQ(Update(h, r, a, flush), taken ? Zet01::kErrDuplicateKey : 0) << "update " << op;
        if (!taken) model.Put(r - 1, a);
      } else if (kind < 95) {
        const uint32_t r = 1 + rng() % count;
        ASSERT_EQ(Delete(h, r, flush), 0) << "delete " << op;
        model.Delete(r);
        // The file's count never takes in the old last record; a flush
        // cuts the file behind the records; what lies behind them is no
        // record.
        ASSERT_LE(CountInFile(path, T(h).version), T(h).recordCount);
        if (flush) ASSERT_EQ(FileSize(path), RecordsEnd(h));
        ASSERT_NE(Zet01::ReadRecord(h, uint32_t(T(h).recordCount) + 1), 0);
      } else {
        const uint32_t r = 1 + rng() % count;
        if (std::find(model.marks.begin(), model.marks.end(), r) == model.marks.end()) {
          ASSERT_EQ(ZetTable::AddMark(h, r), 0);
          model.marks.push_back(r);
        }
      }
    }
    ASSERT_EQ(T(h).recordCount, int32_t(model.rows.size()));
    ASSERT_EQ(ScanArticles(h), model.rows);
    ASSERT_EQ(ZetTable::MarkList(T(h)).Items(), model.marks);
    ExpectIndexesAgree(h);
    ASSERT_EQ(ScanArticles(other), otherRows);
    if (Zet01::RecordCacheBudget() != 0)
      EXPECT_GT(Zet01::RecordCacheBytes(h), size_t(Zet01::RecordCacheSlots(h)) * T(h).recordLength);
    if (HasFatalFailure()) return;
    if (reopen) {
      // A close writes the count and cuts the file behind the records; the
      // marks go with the table object.
      const uint64_t end = RecordsEnd(h);
      CloseArticles(h);
      EXPECT_EQ(FileSize(path), end);
      h = OpenArticles(path, 0);
      ASSERT_GT(h, 0);
      model.marks.clear();
      ASSERT_EQ(ScanArticles(h), model.rows);
    }
  }
  CloseArticles(other);
  EXPECT_GT(duplicates, opsPerPhase / 100);
  // The files themselves, read afresh: no index is rebuilt at the open.
  ASSERT_EQ(Zet01::FlushTable(h, true), 0);
  CloseArticles(h);
  Common::ResetLastError();
  const int again = OpenArticles(path, 0);
  ASSERT_GT(again, 0);
  EXPECT_EQ(Common::LastError(), 0);
  EXPECT_EQ(ScanArticles(again), model.rows);
  ExpectIndexesAgree(again);
  CloseArticles(again);
}

TEST_F(Zet01EditTest, UniqueKeyIsRefusedWhateverTheRecordNumberOfTheDuplicate) {
  const std::string path = TempPath("ARTIKEL.DAT");
  const int h = OpenWith("ARTIKEL.DAT", Numbered(5));
  const uint64_t size = FileSize(path);

  // Code 10 belongs to record 1, below the number a new record gets.
  EXPECT_EQ(Append(h, {0, 10, "X", 1}), Zet01::kErrDuplicateKey);
  EXPECT_EQ(Zet01::DuplicateIndex(), kCodeIndex);
  EXPECT_EQ(Common::LastError(), -Zet01::kErrDuplicateKey);
  EXPECT_NE(Common::LastErrorText().view().find("ARTIKEL.ID"), std::string_view::npos);
  EXPECT_EQ(T(h).recordCount, 5);
  EXPECT_EQ(FileSize(path), size);

  // Record 4 may not take record 2's code (below it) nor record 5's (above);
  // keeping its own code while its name changes is no duplicate.
  EXPECT_EQ(Update(h, 4, {0, 20, "X", 1}), Zet01::kErrDuplicateKey);
  EXPECT_EQ(Update(h, 4, {0, 50, "X", 1}), Zet01::kErrDuplicateKey);
  EXPECT_EQ(ReadArticle(h, 4).name, "N4");
  EXPECT_EQ(Update(h, 4, {0, 40, "Y", 1}), 0);
  EXPECT_EQ(ReadArticle(h, 4).name, "Y");
  ExpectIndexesAgree(h);
}

// A flush of the index headers alone (without the count) after an append
// without flush: the headers count the records their keys belong to, not
// the count the table file still holds. When the process dies right after
// it, the next open finds the counts apart and rebuilds; no key of the lost
// record stays behind to refuse it when it comes again.
TEST_F(Zet01EditTest, IndexHeadersFlushedWithoutTheCountNeverClaimTheOldCount) {
  const std::string path = TempPath("ARTIKEL.DAT");
  int h = OpenWith("ARTIKEL.DAT", Numbered(5));
  const Article sixth{0, 60, "N6", 2};
  ASSERT_EQ(Append(h, sixth, false), 0);
  {
    fault_test::TFaultReset reset;
    ASSERT_EQ(Zet01::FlushTable(h, false), 0);
    fault_test::DieAfterWrites();
    Zet01::CloseTable(h);
    ZetTable::SetOpenCount(0);
  }
  h = OpenArticles(path);
  ASSERT_GT(h, 0);
  EXPECT_EQ(T(h).recordCount, 5);
  ExpectIndexesAgree(h);
  ASSERT_EQ(Append(h, sixth), 0);
  EXPECT_EQ(ReadArticle(h, 6).name, "N6");
  ExpectIndexesAgree(h);
}

TEST_F(Zet01EditTest, UpdateWithoutChangeWritesNothingAndCallsNoHook) {
  static int calls;
  calls = 0;
  EngineHooks::NotifyTableChanged = [](int, int) { ++calls; };
  const int h = OpenWith("ARTIKEL.DAT", Numbered(3));
  calls = 0;
  T(h).currentRecord = 2;
  ASSERT_EQ(Zet01::ReadRecord(h, 2), 0);
  const std::vector<uint8_t> old = T(h).recordBuffer;
  // Any write would fail now.
  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosWriteFault);
  bool changed = true;
  EXPECT_EQ(Zet01::UpdateRecord(h, old.data(), changed, 0, true, false), 0);
  EXPECT_FALSE(changed);
  EXPECT_EQ(calls, 0);
  platform::ResetFileFaults();

  // A change of a key field is written and told; with the notify switch
  // off it is written only.
  T(h).recordBuffer = old;
  PutArticle(h, {0, 20, "Anders", 7});
  EXPECT_EQ(Zet01::UpdateRecord(h, old.data(), changed, 0, true, false), 0);
  EXPECT_TRUE(changed);
  EXPECT_EQ(calls, 1);
  Zet01::SetNotifySwitch(false);
  EXPECT_EQ(Update(h, 2, {0, 20, "Wieder", 7}), 0);
  EXPECT_EQ(calls, 1);
  Zet01::SetNotifySwitch(true);
  ExpectIndexesAgree(h);
}

TEST_F(Zet01EditTest, DeleteMovesTheLastRecordIntoTheGapWithItsMarks) {
  static std::vector<uint32_t> moved;
  moved.clear();
  EngineHooks::NotifyRecordMoved = [](int, uint32_t deleted, uint32_t last) -> uint8_t {
    moved = {deleted, last};
    return 0;
  };
  const std::string path = TempPath("ARTIKEL.DAT");
  const std::vector<Article> ten = Numbered(10);
  const int h = OpenWith("ARTIKEL.DAT", ten);
  ASSERT_EQ(ZetTable::AddMark(h, 10), 0);
  ASSERT_EQ(ZetTable::AddMark(h, 3), 0);
  ASSERT_EQ(ZetTable::AddMark(h, 5), 0);
  const Article tenth = ReadArticle(h, 10);
  const uint64_t size = FileSize(path);

  EXPECT_EQ(Delete(h, 3), 0);
  EXPECT_EQ(moved, (std::vector<uint32_t>{3, 10}));
  EXPECT_EQ(T(h).recordCount, 9);
  EXPECT_EQ(ReadArticle(h, 3), tenth);
  EXPECT_EQ(ZetTable::MarkList(T(h)).Items(), (std::vector<uint32_t>{3, 5}));
  EXPECT_EQ(FileSize(path), size - T(h).recordLength);
  // The record after 2 in record order is now the moved one.
  EXPECT_EQ(T(h).currentRecord, 3u);
  EXPECT_EQ(Zet01::AfterDeleteEnd(), 0);

  // The first record has none before it, the only record none at all: the
  // file shrinks all the same.
  EXPECT_EQ(Delete(h, 1), 0);
  EXPECT_EQ(T(h).currentRecord, 1u);
  EXPECT_EQ(FileSize(path), RecordsEnd(h));
  while (T(h).recordCount > 0) ASSERT_EQ(Delete(h, 1), 0);
  EXPECT_EQ(T(h).currentRecord, 0u);
  EXPECT_EQ(Zet01::AfterDeleteEnd(), 1);
  EXPECT_EQ(FileSize(path), T(h).headerSize);
  EXPECT_TRUE(ZetTable::MarkList(T(h)).Empty());
  ExpectIndexesAgree(h);
}

// Deletes without flush leave the moved records' bytes behind the last
// record; the file's count follows at once where it took them in, and the
// next flush or close cuts the file.
TEST_F(Zet01EditTest, DeleteWithoutFlushLowersTheFileCountAndTheFlushCuts) {
  const std::string path = TempPath("ARTIKEL.DAT");
  std::vector<Article> rows = Numbered(10);
  const int h = OpenWith("ARTIKEL.DAT", rows);
  for (size_t i = 0; i < rows.size(); ++i) rows[i].nr = int32_t(i + 1);
  const uint64_t size = FileSize(path);
  const auto remove = [&](uint32_t r) {
    rows[r - 1] = rows.back();
    rows.pop_back();
  };

  ASSERT_EQ(Delete(h, 3, false), 0);
  remove(3);
  EXPECT_EQ(CountInFile(path, T(h).version), 9);
  EXPECT_EQ(FileSize(path), size);
  // The old last record lies behind the count: no record, cached or not.
  EXPECT_EQ(Zet01::ReadRecord(h, 10), LOWFILES::kErrReadFailed);
  Zet01::ClearRecordCache(h);
  EXPECT_EQ(Zet01::ReadRecord(h, 10), LOWFILES::kErrReadFailed);
  EXPECT_EQ(ScanArticles(h), rows);
  ASSERT_EQ(Zet01::FlushTable(h, true), 0);
  EXPECT_EQ(FileSize(path), RecordsEnd(h));

  // Appends not yet flushed: the file's count takes in neither them nor
  // what a delete leaves behind them, and stays.
  for (int16_t code : {501, 502}) {
    ASSERT_EQ(Append(h, {0, code, "X", 1}, false), 0);
    rows.push_back({int32_t(10 + code - 500), code, "X", 1});  // numbers are not given back
  }
  ASSERT_EQ(Delete(h, 2, false), 0);
  remove(2);
  EXPECT_EQ(CountInFile(path, T(h).version), 9);
  EXPECT_EQ(T(h).recordCount, 10);
  const uint64_t end = RecordsEnd(h);
  const uint16_t version = T(h).version;
  CloseArticles(h);
  EXPECT_EQ(CountInFile(path, version), 10);
  EXPECT_EQ(FileSize(path), end);
  const int again = OpenArticles(path);
  ASSERT_GT(again, 0);
  EXPECT_EQ(ScanArticles(again), rows);
  ExpectIndexesAgree(again);
}

TEST_F(Zet01EditTest, DeleteLeavesTheNextRecordOfTheOrderCurrent) {
  // Names sort B < D < F < H; amounts sort 4 > 3 > 2 > 1 (descending).
  const std::vector<Article> four = {{0, 1, "D", 3}, {0, 2, "H", 1}, {0, 3, "B", 2}, {0, 4, "F", 4}};
  struct Case {
    const char* what;
    uint8_t order;
    uint8_t index;
    uint32_t deleted;
    std::string current;  // name of the record current afterwards
    uint8_t end;
  };
  const std::vector<Case> cases = {
      {"record order, middle", ZetTable::kOrderRecords, 0, 2, "F", 0},  // record 4 moved into 2
      {"record order, last", ZetTable::kOrderRecords, 0, 4, "B", 1},
      {"by name, middle", ZetTable::kOrderIndex, kNameIndex, 1, "F", 0},
      {"by name, last", ZetTable::kOrderIndex, kNameIndex, 2, "F", 1},
      {"by name, first", ZetTable::kOrderIndex, kNameIndex, 3, "D", 0},
      {"by amount, prior was the last record", ZetTable::kOrderIndex, kMengeIndex, 1, "B", 0},
      {"marks without notify", ZetTable::kOrderMarks, 0, 1, "F", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearTempDir();
    const int h = OpenWith("ARTIKEL.DAT", four);
    T(h).orderMode = c.order;
    T(h).currentIndex = c.index;
    for (uint32_t r : {3u, 1u, 4u}) ASSERT_EQ(ZetTable::AddMark(h, r), 0);
    T(h).currentRecord = c.deleted;
    ASSERT_EQ(Zet01::DeleteRecord(h, true, c.order != ZetTable::kOrderMarks, 0), 0);
    EXPECT_EQ(ArticleOf(T(h), T(h).recordBuffer.data()).name, c.current);
    EXPECT_EQ(Zet01::AfterDeleteEnd(), c.end);
    if (c.order == ZetTable::kOrderIndex) {
      EXPECT_EQ(Zet00::KeyRecordNumber(T(h).currentKey.data()), T(h).currentRecord);
    }
    ExpectIndexesAgree(h);
    CloseArticles(h);
  }
}

TEST_F(Zet01EditTest, AutoNumberKeepsALargerOwnNumber) {
  struct Case {
    int32_t own;
    uint32_t counter;
    int32_t given;
    uint32_t after;
  };
  for (const Case& c : {Case{500, 17, 500, 501}, Case{0, 17, 17, 18}, Case{17, 17, 17, 18}}) {
    SCOPED_TRACE(c.own);
    ClearTempDir();
    const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"));
    const int h = OpenArticles(path);
    TZetTable& t = T(h);
    const uint64_t counterAt = t.headerSize - Zet00::kAutoNumberSize;
    uint8_t raw[4];
    bytes::PutU32(raw, c.counter);
    ASSERT_EQ(LOWFILES::WriteBlock(*t.tableFile, counterAt, 4, 0, raw), 0);
    t.recordBuffer.assign(t.recordLength, 0);
    bytes::PutI32(t.recordBuffer.data() + t.FieldOffset(kNr), c.own);
    ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
    EXPECT_EQ(Zet01::AutoNumberOf(h), c.given);
    ASSERT_EQ(LOWFILES::ReadBlock(*t.tableFile, counterAt, 4, 0, raw), 0);
    EXPECT_EQ(bytes::GetU32(raw), c.after);
    CloseArticles(h);
  }
}

// Memo text of a block, and a new memo with a text.
std::string MemoText(WINMEMOS::TMemoFile& f, uint32_t first) { return WINMEMOS::MemoAsString(f, first).str(); }
uint32_t PutMemo(WINMEMOS::TMemoFile& f, const std::string& text) {
  EXPECT_EQ(WINMEMOS::InitPutMemo(f), 0);
  EXPECT_EQ(WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data()), int32_t(text.size()));
  return WINMEMOS::DonePutMemo(f, 0);
}
uint32_t PutBlob(WinBlobs::TBlobFile& f, const std::string& bytes) {
  EXPECT_EQ(WinBlobs::InitPutBlob(f, 0), 0);
  EXPECT_EQ(WinBlobs::PutBlobBlock(int32_t(bytes.size()), bytes.data()), int32_t(bytes.size()));
  return WinBlobs::DonePutBlob();
}

TEST_F(Zet01EditTest, DeleteFreesTheChainsOfTheDeletedRecordOnly) {
  const int h = OpenWith("ARTIKEL.DAT", {});
  TZetTable& t = T(h);
  const std::string longText(700, 'm');  // three memo blocks
  for (int i = 1; i <= 3; ++i) {
    Article a{0, int16_t(i), "N" + std::to_string(i), 0};
    a.notiz = PutMemo(t.memoFile, longText + std::to_string(i));
    a.bild = PutBlob(t.blobFile, std::string(1500, char('a' + i)));
    ASSERT_EQ(Append(h, a), 0);
  }
  const uint32_t memoHighest = t.memoFile.highest, blobHighest = t.blobFile.highest;
  const Article third = ReadArticle(h, 3);

  ASSERT_EQ(Delete(h, 1), 0);
  // Record 3 moved into 1 with its chains.
  EXPECT_EQ(ReadArticle(h, 1), third);
  EXPECT_EQ(MemoText(t.memoFile, third.notiz).substr(0, 5), "mmmmm");
  EXPECT_EQ(WINMEMOS::MemoLength(t.memoFile, third.notiz), int32_t(longText.size() + 1));
  ASSERT_EQ(WinBlobs::InitGetBlob(t.blobFile, third.bild), 1500);
  char first = 0;
  EXPECT_EQ(WinBlobs::GetBlobBlock(1, &first), 1);
  WinBlobs::DoneGetBlob();
  EXPECT_EQ(first, 'd');
  // Record 1's chains are free: new ones fit without the files growing.
  PutMemo(t.memoFile, longText);
  PutBlob(t.blobFile, std::string(1500, 'x'));
  EXPECT_EQ(t.memoFile.highest, memoHighest);
  EXPECT_EQ(t.blobFile.highest, blobHighest);
  ExpectIndexesAgree(h);
}

// Fault injection: for every n, the n-th write (or read) of the operation
// fails. Whatever the operation then answers, the table must hold either
// the state before it or the state after it, with indexes that agree with
// the records (an index out of use counts when the next open rebuilds it).
class Zet01EditFaultTest : public Zet01EditTest {
 protected:
  enum class Op { Append, Update, Delete };
  void RunWithFault(Op op, platform::FileOp kind, int nth) {
    SCOPED_TRACE(std::string(kind == platform::FileOp::Write ? "write " : "read ") + std::to_string(nth));
    ClearTempDir();
    const std::string path = TempPath("ARTIKEL.DAT");
    const std::vector<Article> before = Numbered(40);
    int h = OpenWith("ARTIKEL.DAT", before);
    // The operation starts from the files: no page is held in memory.
    CloseArticles(h);
    h = OpenArticles(path);
    ASSERT_GT(h, 0);
    std::vector<Article> after = before;
    for (size_t i = 0; i < after.size(); ++i) after[i].nr = int32_t(i + 1);
    std::vector<Article> unchanged = after;
    // The record buffer is made ready before the fault is planned.
    TZetTable& t = T(h);
    const Article fresh{41, 5, "Neu", 9};
    std::vector<uint8_t> old;
    switch (op) {
      case Op::Append:
        t.recordBuffer.assign(t.recordLength, 0);
        PutArticle(h, fresh);
        ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
        after.push_back(fresh);
        break;
      case Op::Update:
        t.currentRecord = 7;
        ASSERT_EQ(Zet01::ReadRecord(h, 7), 0);
        old = t.recordBuffer;
        PutArticle(h, {7, 5, "Neu", 9});
        after[6] = {7, 5, "Neu", 9};
        break;
      case Op::Delete:
        t.currentRecord = 7;
        after[6] = after.back();
        after.pop_back();
        break;
    }
    Common::ResetLastError();
    platform::InjectFileFault(kind, nth, kind == platform::FileOp::Write ? platform::kDosWriteFault
                                                                        : platform::kDosReadFault);
    bool changed = false;
    const int result = op == Op::Append   ? Zet01::AppendRecord(h, true, 0)
                       : op == Op::Update ? Zet01::UpdateRecord(h, old.data(), changed, 0, true, false)
                                          : Zet01::DeleteRecord(h, true, true, 0);
    platform::ResetFileFaults();
    // A failure is reported; success means the whole change is there (a
    // failed flush after a complete change answers its error too).
    const std::vector<Article> now = ScanArticles(h);
    EXPECT_TRUE(now == after || now == unchanged) << "result " << result;
    if (result == 0) {
      EXPECT_EQ(now, after);
    } else {
      EXPECT_NE(Common::LastError(), 0);
    }
    EXPECT_EQ(FileSize(path), RecordsEnd(h));
    ExpectIndexesAgree(h, true);
    // What the table holds now goes to the file as it is.
    EXPECT_EQ(Zet01::FlushTable(h, true), 0);
    CloseArticles(h);
    h = OpenArticles(path);
    ASSERT_GT(h, 0);
    EXPECT_EQ(ScanArticles(h), now);
    ExpectIndexesAgree(h);
    CloseArticles(h);
  }
  void RunEveryFault(Op op) {
    for (platform::FileOp kind : {platform::FileOp::Write, platform::FileOp::Read})
      for (int nth = 1; nth <= 24; ++nth) {
        RunWithFault(op, kind, nth);
        if (HasFatalFailure()) return;
      }
  }
};

TEST_F(Zet01EditFaultTest, FailedAppendLeavesNoKeyBehind) { RunEveryFault(Op::Append); }
TEST_F(Zet01EditFaultTest, FailedUpdatePutsTheRecordBack) { RunEveryFault(Op::Update); }
TEST_F(Zet01EditFaultTest, FailedDeleteKeepsTheRecordAndIndexesAgree) { RunEveryFault(Op::Delete); }

// A table whose one index keys the expression NAME, which fails for the
// name "BAD": the keys of such a record cannot be made.
class Zet01EditExpressionTest : public Zet01EditFaultTest {
 protected:
  static constexpr int kFailedExpression = 44;
  void SetUp() override {
    Zet01EditFaultTest::SetUp();
    Zet00::ExpressionValueHook = [](int handle, std::string_view, Zet00::TKeyValue& value) {
      value.isText = true;
      value.text = zet01_test::FieldOf(handle, 1);
      return value.text.view() == "BAD" ? kFailedExpression : 0;
    };
  }
  void TearDown() override {
    Zet00::ExpressionValueHook = nullptr;
    Zet01EditFaultTest::TearDown();
  }
  // AUSDRUCK.DAT afresh with the records "eins", "zwei", "drei".
  int OpenNames() {
    ClearTempDir();
    const std::string path = TempPath("AUSDRUCK.DAT");
    zet01_test::CreateTableFile(path, {{"NAME", Common::kTypeString, 10, 10}}, 0, "", 0, [](TZetTable& t) {
      auto d = std::make_unique<ZetTable::TIndexDescriptor>();
      d->fileName = "NAME.IND";
      Zet00::SetKeyPart(d->header.data(), 0, {ZetTable::kKeyExpression, 11, Common::kTypeString});
      Zet00::SetKeyExpressionText(d->header.data(), "NAME");
      t.indexes[1] = std::move(d);
    });
    const int h = ZetTable::OpenCount() + 1;
    EXPECT_EQ(Zet01::OpenTable(h, ZetTable::kRightsMask, path, 0, 0, ""), 0);
    for (const char* name : {"eins", "zwei", "drei"}) {
      ZetTable::ClearRecordBuffer(h);
      zet01_test::SetField(h, 1, name);
      EXPECT_EQ(Zet01::AppendRecord(h, true, 0), 0);
    }
    return h;
  }
  void CloseNames(int h) {
    EXPECT_EQ(Zet01::CloseTable(h), 0);
    if (ZetTable::OpenCount() == h) ZetTable::SetOpenCount(h - 1);
  }
};

// An update whose keys cannot be made for the new record writes the old
// record back. When that write fails as well, the edited record stays, the
// indexes are built for it, and the failed write is what the update
// answers. Each write of the update fails in turn; one of them is the write
// that puts the record back.
TEST_F(Zet01EditExpressionTest, UpdateThatCannotBePutBackAnswersTheWriteFailure) {
  bool keptEdited = false;
  for (int nth = 1; nth <= 6; ++nth) {
    SCOPED_TRACE("write " + std::to_string(nth));
    const int h = OpenNames();
    T(h).currentRecord = 2;
    ASSERT_EQ(Zet01::ReadRecord(h, 2), 0);
    const std::vector<uint8_t> old = T(h).recordBuffer;
    zet01_test::SetField(h, 1, "BAD");
    Common::ResetLastError();
    platform::InjectFileFault(platform::FileOp::Write, nth, platform::kDosWriteFault);
    bool changed = false;
    const int result = Zet01::UpdateRecord(h, old.data(), changed, 0, true, false);
    platform::ResetFileFaults();
    EXPECT_NE(result, 0);
    ASSERT_EQ(Zet01::ReadRecord(h, 2), 0);
    if (zet01_test::FieldOf(h, 1) == "BAD") {
      keptEdited = true;
      EXPECT_EQ(result, Common::kErrWrite);
      EXPECT_EQ(Common::LastError(), -Common::kErrWrite);
    } else {
      EXPECT_EQ(zet01_test::FieldOf(h, 1), "zwei");
    }
    CloseNames(h);
  }
  EXPECT_TRUE(keptEdited);
}

// An append whose keys cannot be made cuts its record off again; when the
// cut fails, that is answered, and the record stays behind the count, where
// nothing reads it and the next append takes its place.
TEST_F(Zet01EditExpressionTest, AppendWhoseCutFailsAnswersIt) {
  int h = OpenNames();
  ZetTable::ClearRecordBuffer(h);
  zet01_test::SetField(h, 1, "BAD");
  platform::InjectFileFault(platform::FileOp::Truncate, 1, platform::kDosWriteFault);
  EXPECT_EQ(Zet01::AppendRecord(h, true, 0), Common::kErrWrite);
  platform::ResetFileFaults();
  EXPECT_EQ(Common::LastError(), -Common::kErrWrite);
  EXPECT_EQ(T(h).recordCount, 3);
  ZetTable::ClearRecordBuffer(h);
  zet01_test::SetField(h, 1, "vier");
  ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
  CloseNames(h);
  h = ZetTable::OpenCount() + 1;
  ASSERT_EQ(Zet01::OpenTable(h, ZetTable::kRightsMask, TempPath("AUSDRUCK.DAT"), 0, 0, ""), 0);
  ASSERT_EQ(T(h).recordCount, 4);
  ASSERT_EQ(Zet01::ReadRecord(h, 4), 0);
  EXPECT_EQ(zet01_test::FieldOf(h, 1), "vier");
  CloseNames(h);
}

// A delete whose key changes fail after the last record has moved into the
// deleted record's place (here the index lacks the moved record's key), and
// whose write putting the record back fails as well: the delete is finished
// instead of leaving the moved record in the table twice. Each write of the
// delete fails in turn; one of them is the write that puts the record back.
TEST_F(Zet01EditFaultTest, DeleteThatCannotBePutBackIsFinished) {
  constexpr int kNamesIndex = 2;
  const std::vector<Article> before = Numbered(10);
  std::vector<Article> unchanged = before;
  for (size_t i = 0; i < unchanged.size(); ++i) unchanged[i].nr = int32_t(i + 1);
  std::vector<Article> after = unchanged;
  after[2] = after.back();
  after.pop_back();
  bool finished = false;
  for (int nth = 1; nth <= 12; ++nth) {
    SCOPED_TRACE("write " + std::to_string(nth));
    ClearTempDir();
    const std::string path = TempPath("ARTIKEL.DAT");
    int h = OpenWith("ARTIKEL.DAT", before);
    TZetTable& t = T(h);
    ASSERT_EQ(Zet01::ReadRecord(h, 10), 0);
    ASSERT_EQ(Zet00::MakeKey(h, kNamesIndex, t.recordBuffer.data(), t.currentKey.data(), 10), 0);
    ASSERT_EQ(Zet00::IndexDeleteKey(h, kNamesIndex), Zet00::kStatusFound);
    t.currentRecord = 3;
    Common::ResetLastError();
    platform::InjectFileFault(platform::FileOp::Write, nth, platform::kDosWriteFault);
    const int result = Zet01::DeleteRecord(h, true, true, 0);
    platform::ResetFileFaults();
    EXPECT_NE(result, 0);
    EXPECT_NE(Common::LastError(), 0);
    const std::vector<Article> now = ScanArticles(h);
    EXPECT_TRUE(now == unchanged || now == after);
    // A finished delete has built its indexes from the records.
    if (now == after) {
      finished = true;
      ExpectIndexesAgree(h, true);
    }
    bool outOfUse = false;
    for (const auto& d : t.indexes) outOfUse = outOfUse || (d && d->openFailed);
    EXPECT_EQ(Zet01::FlushTable(h, true), 0);
    CloseArticles(h);
    // The records read the same when the table is opened again; an index
    // whose rebuild failed makes that open fail with an index error instead.
    h = OpenArticles(path);
    if (h == 0) {
      EXPECT_TRUE(outOfUse) << Common::LastErrorText().view();
      continue;
    }
    EXPECT_EQ(ScanArticles(h), now);
    CloseArticles(h);
  }
  EXPECT_TRUE(finished);
}

TEST_F(Zet01EditTest, FieldValuesComeFromTheKeyInIndexOrder) {
  const int h = OpenWith("ARTIKEL.DAT", Numbered(3));
  TZetTable& t = T(h);
  ZetTable::SetCurrentHandle(h);
  t.orderMode = ZetTable::kOrderIndex;
  t.currentIndex = kNameIndex;
  ASSERT_EQ(Zet01::ReadRecord(h, 2), 0);
  // The buffer says otherwise than the key: the key wins outside mode 3.
  PutArticle(h, {0, 20, "Puffer", 2});
  int valueClass = 0;
  Common::FieldValue value;
  EXPECT_EQ(Zet01::GetFieldValue(1, h, kName, valueClass, value), 0);
  EXPECT_EQ(valueClass, Common::kClassText);
  EXPECT_EQ(value.text, "N2");
  EXPECT_EQ(Zet01::GetFieldValue(3, h, kName, valueClass, value), 0);
  EXPECT_EQ(value.text, "Puffer");
  // A field outside the key comes from the buffer, answered -1.
  EXPECT_EQ(Zet01::GetFieldValue(1, h, kCode, valueClass, value), -1);
  EXPECT_EQ(valueClass, Common::kClassNumber);
  EXPECT_EQ(value.number, 20);
  // Memo fields are remembered.
  bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(kNotiz), 9);
  EXPECT_EQ(Zet01::GetFieldValue(3, h, kNotiz, valueClass, value), 0);
  EXPECT_EQ(valueClass, Common::kTypeMemo);
  EXPECT_EQ(Zet01::LastBlockFieldRead().field, kNotiz);
  EXPECT_EQ(Zet01::LastBlockFieldRead().block, 9u);

  value = {};
  value.number = 77;
  EXPECT_EQ(Zet01::SetFieldValue(h, kMenge, value, 3), 0);
  EXPECT_EQ(ArticleOf(t, t.recordBuffer.data()).menge, 77);
}

TEST_F(Zet01EditTest, LinkAndRelationFieldsFindOrCreateTheLinkedRecords) {
  const int articles = OpenWith("ARTIKEL.DAT", Numbered(3));
  // KUNDE: NR, ARTIKEL (L into ARTIKEL), POSTEN (R with POSTEN.REL).
  auto k = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                        {"ARTIKEL", Common::kTypeLink, 3, 10, ZetTable::kTypeNullable},
                                        {"POSTEN", Common::kTypeRelation, 0, 0}});
  Zet00::SetKeyPart(k->idKeyDescription.data(), 0, {1, 4, Common::kTypeAutoNumber});
  k->nextAutoNumber = 1;
  ASSERT_TRUE(Zet06::AddToCreateQueue(3, TempPath("ARTIKEL")));
  ASSERT_EQ(Zet06::CreateTable(*k, TempPath("KUNDE.DAT"), Common::ScrambleString(""), true, 0, 0), 0);
  int slot = ZetTable::OpenCount() + 1;
  ASSERT_EQ(Zet01::OpenTable(slot, ZetTable::kRightsMask, TempPath("KUNDE.DAT"), 0, 0, ""), 0);
  const int customers = slot++;
  ASSERT_EQ(Zet01::OpenTable(slot, ZetTable::kRightsMask, TempPath("POSTEN.REL"), 0, 0, ""), 0);
  const int relation = slot;
  TZetTable& c = T(customers);
  c.bindings.resize(c.fieldCount + 1);
  c.bindings[2].linkedTable = uint8_t(articles);
  c.bindings[3] = {uint8_t(relation), uint8_t(articles), 0, true};

  c.recordBuffer.assign(c.recordLength, 0);
  ASSERT_EQ(Zet01::AssignAutoNumber(customers), 0);
  // Code 20 exists (NR 2); code 77 does not and is appended.
  Common::FieldValue value;
  value.text = "20";
  ASSERT_EQ(Zet01::SetFieldValue(customers, 2, value, Zet01::kValueIsText), 0);
  EXPECT_EQ(bytes::GetI32(c.recordBuffer.data() + c.FieldOffset(2)), 2);
  value.text = "77";
  ASSERT_EQ(Zet01::SetFieldValue(customers, 2, value, Zet01::kValueIsText), 0);
  EXPECT_EQ(bytes::GetI32(c.recordBuffer.data() + c.FieldOffset(2)), 4);
  EXPECT_EQ(T(articles).recordCount, 4);
  EXPECT_EQ(ReadArticle(articles, 4).code, 77);

  value.text = "  30 / 88/";
  ASSERT_EQ(Zet01::SetFieldValue(customers, 3, value, Zet01::kValueIsText), 0);
  EXPECT_EQ(T(articles).recordCount, 5);
  ASSERT_EQ(T(relation).recordCount, 2);
  std::vector<uint8_t> entry(T(relation).recordLength);
  const int32_t expected[2][2] = {{1, 3}, {1, 5}};
  for (uint32_t r = 1; r <= 2; ++r) {
    ASSERT_EQ(Zet01::ReadRecordInto(relation, r, entry.data(), nullptr, 0, 0), 0);
    EXPECT_EQ(bytes::GetI32(entry.data()), expected[r - 1][0]);
    EXPECT_EQ(bytes::GetI32(entry.data() + 4), expected[r - 1][1]);
  }
  EXPECT_TRUE(Zet01::UsesRelationTable(customers, "posten.rel"));
  EXPECT_FALSE(Zet01::UsesRelationTable(customers, "ARTIKEL.REL"));
  ExpectIndexesAgree(articles);
}

TEST_F(Zet01EditTest, DeleteTableFilesRemovesTheWholeSetButSkippedRelations) {
  auto make = [&](const std::string& name) {
    auto k = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                          {"NOTIZ", Common::kTypeMemo, 3, 4},
                                          {"BILD", Common::kTypeBlob, 3, 4},
                                          {"KUNDE", Common::kTypeLink, 3, 10},
                                          {"POSTEN", Common::kTypeRelation, 0, 0}});
    Zet00::SetKeyPart(k->idKeyDescription.data(), 0, {1, 4, Common::kTypeAutoNumber});
    k->indexes[3] = UserIndex("EIGEN.IND", 1, 4, Common::kTypeAutoNumber);
    Zet06::ClearCreateQueue();
    ASSERT_TRUE(Zet06::AddToCreateQueue(5, Zet06::kOwnTableLabel));
    ASSERT_EQ(Zet06::CreateTable(*k, TempPath(name), Common::ScrambleString("ABC"), true, 0, 9), 0);
  };
  auto files = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(TempDir())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  };
  make("lager.dat");
  EXPECT_EQ(files(), (std::vector<std::string>{"EIGEN.IND", "LAGER.ID", "LAGER.IN1", "LAGER.INR", "POSTEN.IN1",
                                              "POSTEN.IN2", "POSTEN.REL", "lager.BLB", "lager.MMO", "lager.dat"}));
  int code = -1;
  const uint16_t skip[] = {5};
  EXPECT_TRUE(Zet01::DeleteTableFiles(TempPath("lager.dat"), "ABC", 9, code, skip, true));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(files(), (std::vector<std::string>{"POSTEN.IN1", "POSTEN.IN2", "POSTEN.REL"}));
  EXPECT_EQ(ZetTable::OpenCount(), 0);

  std::filesystem::remove_all(TempDir());
  std::filesystem::create_directories(TempDir());
  make("LAGER.DAT");
  EXPECT_FALSE(Zet01::DeleteTableFiles(TempPath("LAGER.DAT"), "FALSCH", 9, code, {}, true));
  EXPECT_EQ(code, Zet01::kErrWrongCode);
  EXPECT_TRUE(Zet01::DeleteTableFiles(TempPath("LAGER.DAT"), "ABC", 9, code, {}, true));
  EXPECT_TRUE(files().empty());
  EXPECT_FALSE(Zet01::DeleteTableFiles(TempPath("LAGER.DAT"), "ABC", 9, code, {}, true));
}

TEST_F(Zet01EditTest, TableWithoutCountKeepsItsRecordsAsKeys) {
  const std::string path = TempPath("ARTIKEL.DAT");
  int h = OpenWith("ARTIKEL.DAT", {});
  CloseArticles(h);
  // A negative count in the header: the records live only in the ID index.
  std::vector<uint8_t> raw(4);
  bytes::PutI32(raw.data(), -1);
  {
    LOWFILES::TLowFile f;
    ASSERT_EQ(LOWFILES::OpenLowFile(f, path, LOWFILES::kModeReadWriteShared), 0);
    ASSERT_EQ(LOWFILES::WriteBlock(f, Zet00::kV2RecordCount, 4, 0, raw.data()), 0);
    LOWFILES::CloseLowFile(f, false);
  }
  h = OpenArticles(path);
  ASSERT_GT(h, 0);
  ASSERT_TRUE(T(h).countUnknown);
  for (int16_t code : {30, 10, 20}) ASSERT_EQ(Append(h, {0, code, "X", 0}), 0);
  auto codes = [&] {
    std::vector<int16_t> all;
    for (uint8_t s = Zet00::IndexFirst(h, kCodeIndex); s == Zet00::kStatusFound;
         s = Zet00::IndexNext(h, kCodeIndex))
      all.push_back(bytes::GetI16(T(h).currentKey.data() + ZetTable::kKeyRecordNumber));
    return all;
  };
  EXPECT_EQ(codes(), (std::vector<int16_t>{10, 20, 30}));
  // The current record is the one appended last: code 20 becomes 25.
  const std::vector<uint8_t> old = T(h).recordBuffer;
  PutArticle(h, {0, 25, "X", 0});
  bool changed = false;
  ASSERT_EQ(Zet01::UpdateRecord(h, old.data(), changed, 0, true, false), 0);
  EXPECT_EQ(codes(), (std::vector<int16_t>{10, 25, 30}));
  // Deleting the entry of 10 leaves the one after it current.
  ASSERT_EQ(Zet00::IndexFirst(h, kCodeIndex), Zet00::kStatusFound);
  T(h).currentRecord = Zet00::KeyRecordNumber(T(h).currentKey.data());
  ASSERT_EQ(Zet01::DeleteRecord(h, true, true, 0), 0);
  EXPECT_EQ(codes(), (std::vector<int16_t>{25, 30}));
  EXPECT_EQ(Zet01::AfterDeleteEnd(), 0);
}

TEST_F(Zet01EditTest, LinkIdTextNamesTheRecordOfAnAutoNumber) {
  const int h = OpenWith("ARTIKEL.DAT", Numbered(4));
  TZetTable& t = T(h);
  t.currentRecord = 1;
  ASSERT_EQ(Zet01::ReadRecord(h, 1), 0);
  const std::vector<uint8_t> buffer = t.recordBuffer;
  ShortStr text("alt");
  EngineHooks::LinkIdText(h, 3, text);
  EXPECT_EQ(text, "30");
  EngineHooks::LinkIdText(h, 0, text);
  EXPECT_EQ(text, "");
  EngineHooks::LinkIdText(h, 99, text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(t.currentRecord, 1u);
  EXPECT_EQ(t.recordBuffer, buffer);

  // A table without an auto number cannot name records by it.
  auto plain = zettable_test::MakeTable(2, {{"A", Common::kTypeInteger, 1, 10}});
  ASSERT_EQ(Zet06::CreateTable(*plain, TempPath("PLAIN.DAT"), Common::ScrambleString(""), false, 0, 0), 0);
  const int p = ZetTable::OpenCount() + 1;
  ASSERT_EQ(Zet01::OpenTable(p, ZetTable::kRightsMask, TempPath("PLAIN.DAT"), 0, 0, ""), 0);
  text = "alt";
  EngineHooks::LinkIdText(p, 5, text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Common::LastError(), -EngineHooks::kErrBadIndexDefinition);
}

}  // namespace
