// Table storage after damage and crashes: damaged index files are reported
// and rebuilt from the records, index files cut short or missing are
// rebuilt, and an open that rebuilds is killed at each of its changes and
// still leaves a table the next open takes whole.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/storage/btrees.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/tests/memo_test_util.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_open.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using namespace editing_test;
namespace fs = std::filesystem;

constexpr int kArticles = 300;

Article Nth(int i) { return {0, int16_t(i), "Artikel " + std::to_string(1000 + (i * 37) % kArticles), int16_t(i % 50)}; }

class StorageReliabilityTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    platform::ResetFileFaults();
    zettest::EngineTest::TearDown();
  }

  // A closed article table of kArticles records; answers its path.
  std::string MakeTable() {
    const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"));
    const int h = OpenArticles(path);
    EXPECT_GT(h, 0);
    TZetTable& t = *ZetTable::Table(h);
    for (int i = 1; i <= kArticles; ++i) {
      t.recordBuffer.assign(t.recordLength, 0);
      EXPECT_EQ(Zet01::AssignAutoNumber(h), 0);
      PutArticle(h, Nth(i));
      EXPECT_EQ(Zet01::AppendRecord(h, false, 0), 0);
    }
    CloseArticles(h);
    return path;
  }

  void PatchU16(const std::string& name, size_t offset, uint16_t value) {
    std::fstream file(TempPath(name), std::ios::binary | std::ios::in | std::ios::out);
    uint8_t raw[2];
    bytes::PutU16(raw, value);
    file.seekp(std::streamoff(offset));
    file.write(reinterpret_cast<const char*>(raw), 2);
  }

  uint16_t ReadU16(const std::string& name, size_t offset) {
    std::ifstream file(TempPath(name), std::ios::binary);
    uint8_t raw[2] = {};
    file.seekg(std::streamoff(offset));
    file.read(reinterpret_cast<char*>(raw), 2);
    return bytes::GetU16(raw);
  }

  // The table opens, every index agrees with the records, and the records
  // are the ones written.
  void ExpectWhole(const std::string& path) {
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0) << Common::LastErrorText().str();
    ExpectIndexesAgree(h);
    const std::vector<Article> records = ScanArticles(h);
    ASSERT_EQ(records.size(), size_t(kArticles));
    for (int i = 1; i <= kArticles; ++i) {
      Article expected = Nth(i);
      expected.nr = i;
      ASSERT_EQ(records[size_t(i - 1)], expected);
    }
    CloseArticles(h);
  }
};

// Pages that lead back to pages of the same tree: the walk stops with the
// index error, the index is taken out of use, and the next open builds it
// again from the records.
TEST_F(StorageReliabilityTest, DamagedIndexIsReportedAndRebuiltFromTheRecords) {
  const std::string path = MakeTable();
  const size_t pageSize = ReadU16("NAMEN.IND", BTREES::kHeaderPageSize);
  ASSERT_GE(ReadU16("NAMEN.IND", BTREES::kHeaderHeight), 2);
  // The root's first child becomes the page right of its first entry, so
  // the keys of that page come twice.
  const uint16_t right = ReadU16("NAMEN.IND", pageSize + BTREES::kPageEntries + BTREES::kEntryChild);
  PatchU16("NAMEN.IND", pageSize + BTREES::kPageFirstChild, right);

  int h = OpenArticles(path);
  ASSERT_GT(h, 0);
  uint8_t status = Zet00::IndexFirst(h, kNameIndex);
  int steps = 0;
  while (status == Zet00::kStatusFound && steps++ <= kArticles) status = Zet00::IndexNext(h, kNameIndex);
  EXPECT_EQ(status, Zet00::kStatusFailed);
  EXPECT_EQ(Common::LastError(), -Zet00::kErrIndexWrite);
  CloseArticles(h);
  ExpectWhole(path);
}

// Index files a stopped machine or an old rebuild may leave: missing, cut
// short, cut to the tree's header, unreadable pages. Each is built again
// from the records at the next open (a user index as long as its header
// still tells its key).
TEST_F(StorageReliabilityTest, MissingOrShortIndexFilesAreRebuiltAtOpen) {
  struct Case {
    const char* what;
    const char* file;
    int64_t size;  // -1: delete the file
  };
  const Case cases[] = {
      {"ID index missing", "ARTIKEL.ID", -1},
      {"number index empty", "ARTIKEL.INR", 0},
      {"ID index cut to the tree header", "ARTIKEL.ID", int64_t(BTREES::kHeaderSize)},
      {"user index without its pages", "NAMEN.IND", 100},
      {"user index one byte short", "MENGE.IND", -2},
  };
  const std::string path = MakeTable();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path file = TempPath(c.file);
    if (c.size == -1) {
      fs::remove(file);
    } else {
      fs::resize_file(file, c.size == -2 ? fs::file_size(file) - 1 : uint64_t(c.size));
    }
    ExpectWhole(path);
  }
}

// A user index whose key nothing tells any more (its file missing, or cut
// before the description of its key) is left out of use with its file named
// in the error; the table opens and edits with the other indexes whole.
TEST_F(StorageReliabilityTest, LostUserIndexIsLeftOutAndTheTableStillOpens) {
  const std::string path = MakeTable();
  for (const int64_t size : {int64_t(-1), int64_t(10)}) {
    SCOPED_TRACE(size);
    const fs::path file = TempPath("NAMEN.IND");
    if (size < 0)
      fs::remove(file);
    else
      std::ofstream(file, std::ios::binary).write("0123456789", size);
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0) << Common::LastErrorText().str();
    EXPECT_EQ(Common::LastError(), -Zet00::kErrIndexWrite);
    EXPECT_NE(Common::LastErrorText().str().find("NAMEN.IND"), std::string::npos);
    TZetTable& t = *ZetTable::Table(h);
    for (int s = 0; s <= t.highestIndexSlot; ++s)
      if (t.indexes[size_t(s)]) {
        EXPECT_NE(t.indexes[size_t(s)]->fileName.view(), "NAMEN.IND");
      }
    ASSERT_TRUE(t.indexes[2] && t.indexes[2]->fileName.view() == "MENGE.IND") << "the next index took the slot";
    t.recordBuffer.assign(t.recordLength, 0);
    ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
    Article extra = Nth(kArticles + 1);
    PutArticle(h, extra);
    ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
    // Every index left holds one key per record; the amounts' index, now in
    // slot 2, walks them in descending order.
    const std::vector<Article> scan = ScanArticles(h);
    ASSERT_EQ(scan.size(), size_t(kArticles + 1));
    for (int s = 0; s <= t.highestIndexSlot; ++s) {
      SCOPED_TRACE("slot " + std::to_string(s));
      std::set<uint32_t> seen;
      int16_t previous = INT16_MAX;
      for (uint8_t st = Zet00::IndexFirst(h, s); st == Zet00::kStatusFound; st = Zet00::IndexNext(h, s)) {
        const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
        ASSERT_TRUE(recno >= 1 && recno <= scan.size() && seen.insert(recno).second) << recno;
        if (s != 2) continue;
        EXPECT_LE(scan[recno - 1].menge, previous);
        previous = scan[recno - 1].menge;
      }
      EXPECT_EQ(seen.size(), scan.size());
    }
    ASSERT_EQ(Zet01::DeleteRecord(h, true, false, 0), 0);
    CloseArticles(h);
  }
}

// An open that rebuilds indexes is killed right before each change it makes
// to a file, in turn; after every kill the next open takes the table whole.
TEST_F(StorageReliabilityTest, OpenKilledWhileRebuildingLeavesATableThatOpens) {
  const std::string path = MakeTable();
  // Every index needs a rebuild: unsettled headers, one index cut short.
  for (const char* name : {"ARTIKEL.INR", "ARTIKEL.ID", "NAMEN.IND", "MENGE.IND"}) {
    const size_t count = BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount;
    PatchU16(name, count, 0);
    PatchU16(name, count + 2, 0xC000);
  }
  fs::resize_file(TempPath("ARTIKEL.ID"), BTREES::kHeaderSize);
  const fs::path saved = TempDir() / "saved";
  fs::create_directory(saved);
  for (const auto& entry : fs::directory_iterator(TempDir()))
    if (entry.is_regular_file()) fs::copy_file(entry.path(), saved / entry.path().filename());

  int kills = 0;
  for (int change = 1; change < 1000; ++change) {
    SCOPED_TRACE("killed at change " + std::to_string(change));
    for (const auto& entry : fs::directory_iterator(saved))
      fs::copy_file(entry.path(), TempDir() / entry.path().filename(), fs::copy_options::overwrite_existing);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::InjectCrashAtChange(change);
      _exit(OpenArticles(path) > 0 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "the open failed";
      break;
    }
    ASSERT_TRUE(WIFSIGNALED(status));
    ++kills;
    ExpectWhole(path);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(kills, 8);
}

// ---- Memo chains after crashes --------------------------------------------

std::string MemoFor(int32_t nr, int16_t menge) { return memo_test::MemoFor(nr, menge, 600); }
using memo_test::ReadMemo;

uint32_t WriteMemo(WINMEMOS::TMemoFile& f, const std::string& text, uint32_t old) {
  EXPECT_EQ(WINMEMOS::InitPutMemo(f), 0);
  EXPECT_EQ(WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data()), int32_t(text.size()));
  return WINMEMOS::DonePutMemo(f, old);
}

class MemoCrashTest : public StorageReliabilityTest {
 protected:
  static constexpr int kRecords = 6;

  int AppendWithMemo(int h, int i) {
    TZetTable& t = *ZetTable::Table(h);
    t.recordBuffer.assign(t.recordLength, 0);
    EXPECT_EQ(Zet01::AssignAutoNumber(h), 0);
    Article a = Nth(i);
    a.nr = Zet01::AutoNumberOf(h);
    a.notiz = WriteMemo(t.memoFile, MemoFor(a.nr, a.menge), 0);
    PutArticle(h, a);
    return Zet01::AppendRecord(h, true, 0);
  }

  // Every record's memo is its own; after new memos took whatever blocks
  // are free, still so; the memo file reads whole.
  void ExpectMemosSound(const std::string& path) {
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0) << Common::LastErrorText().str();
    ExpectIndexesAgree(h);
    TZetTable& t = *ZetTable::Table(h);
    const int before = t.recordCount;
    for (int i = 0; i < 4; ++i) ASSERT_EQ(AppendWithMemo(h, 100 + i), 0);
    const std::vector<Article> records = ScanArticles(h);
    std::set<int32_t> numbers;
    for (const Article& a : records) {
      ASSERT_TRUE(numbers.insert(a.nr).second) << "record " << a.nr << " twice";
      ASSERT_EQ(ReadMemo(t.memoFile, a.notiz), MemoFor(a.nr, a.menge)) << "memo of " << a.nr;
    }
    ASSERT_EQ(int(records.size()), before + 4);
    CloseArticles(h);
    EXPECT_EQ(WINMEMOS::ReadEveryMemo(TempPath("ARTIKEL.MMO"), WINMEMOS::kLinkSize32, kTableKey), 0);
  }

  // Runs op in a child killed right before its first, second, ... change
  // of a file, each time from the same files; after each kill the table
  // must be sound. Answers the kills.
  template <typename Op>
  int KillAtEachChange(const std::string& path, Op op) {
    const fs::path saved = TempDir() / "saved";
    fs::create_directory(saved);
    for (const auto& entry : fs::directory_iterator(TempDir()))
      if (entry.is_regular_file()) fs::copy_file(entry.path(), saved / entry.path().filename());
    int kills = 0;
    for (int change = 1; change < 500; ++change) {
      SCOPED_TRACE("killed at change " + std::to_string(change));
      for (const auto& entry : fs::directory_iterator(saved))
        fs::copy_file(entry.path(), TempDir() / entry.path().filename(), fs::copy_options::overwrite_existing);
      const pid_t child = fork();
      EXPECT_GE(child, 0);
      if (child == 0) {
        const int h = OpenArticles(path);
        if (h == 0) _exit(3);
        platform::InjectCrashAtChange(change);
        _exit(op(h) == 0 ? 0 : 4);
      }
      int status = 0;
      EXPECT_EQ(waitpid(child, &status, 0), child);
      if (WIFEXITED(status)) {
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the operation failed";
        ExpectMemosSound(path);
        break;
      }
      ++kills;
      ExpectMemosSound(path);
      if (HasFailure()) break;
    }
    return kills;
  }

  std::string MakeMemoTable() {
    const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"));
    const int h = OpenArticles(path);
    EXPECT_GT(h, 0);
    for (int i = 1; i <= kRecords; ++i) EXPECT_EQ(AppendWithMemo(h, i), 0);
    CloseArticles(h);
    return path;
  }
};

// A delete moves the last record into the gap; killed anywhere, the next
// open finishes or forgets it, and no record is left naming freed blocks.
TEST_F(MemoCrashTest, DeleteKilledAtEachChangeLeavesEveryMemoWithItsRecord) {
  for (uint32_t victim : {2u, uint32_t(kRecords)}) {
    SCOPED_TRACE("deleting record " + std::to_string(victim));
    const std::string path = MakeMemoTable();
    const int kills = KillAtEachChange(path, [victim](int h) {
      ZetTable::Table(h)->currentRecord = victim;
      return Zet01::DeleteRecord(h, true, false, 0);
    });
    EXPECT_GT(kills, 3);
    for (const auto& entry : fs::directory_iterator(TempDir())) fs::remove_all(entry.path());
  }
}

// Replacing a memo: new chain, then the record, then the old chain freed.
TEST_F(MemoCrashTest, MemoReplacementKilledAtEachChangeKeepsTextAndValuesTogether) {
  const std::string path = MakeMemoTable();
  const int kills = KillAtEachChange(path, [](int h) {
    TZetTable& t = *ZetTable::Table(h);
    t.currentRecord = 2;
    if (Zet01::ReadRecord(h, 2) != 0) return 1;
    const std::vector<uint8_t> old = t.recordBuffer;
    Article a = ArticleOf(t, old.data());
    a.menge = int16_t(a.menge + 7);
    a.notiz = WriteMemo(t.memoFile, MemoFor(a.nr, a.menge), a.notiz);
    PutArticle(h, a);
    bool changed = false;
    return Zet01::UpdateRecord(h, old.data(), changed, 0, true, false);
  });
  EXPECT_GT(kills, 3);
}

// A table left with the last record twice (a delete cut short after the
// move) has the copy taken away at its next open; deleting either record
// then leaves the other's memo alone.
TEST_F(MemoCrashTest, LastRecordLeftTwiceIsDroppedAtOpen) {
  const std::string path = MakeMemoTable();
  // What the delete of record 3 leaves when its process dies after the
  // move: the indexes marked unsettled, record 3 overwritten by the last.
  for (const char* name : {"ARTIKEL.INR", "ARTIKEL.ID", "NAMEN.IND", "MENGE.IND"}) {
    const size_t count = BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount;
    PatchU16(name, count, 0);
    PatchU16(name, count + 2, 0xC000);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int h = OpenArticles(path);
    if (h == 0 || Zet01::ReadRecord(h, kRecords) != 0) _exit(3);
    _exit(Zet01::WriteRecord(h, 3) == 0 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const char* name : {"ARTIKEL.INR", "ARTIKEL.ID", "NAMEN.IND", "MENGE.IND"}) {
    const size_t count = BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount;
    PatchU16(name, count, 0);
    PatchU16(name, count + 2, 0xC000);
  }
  int h = 0;
  h = OpenArticles(path);
  ASSERT_GT(h, 0);
  EXPECT_EQ(ZetTable::Table(h)->recordCount, kRecords - 1);
  CloseArticles(h);
  ExpectMemosSound(path);
}

}  // namespace
