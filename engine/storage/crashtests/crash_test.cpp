// Crash safety of record editing, tried as a process that dies would: a
// writer appends (alone, or in runs without flush that the table file holds
// back and writes in blocks), updates and deletes records with memos on a table with a
// unique, a descending and a text index, and is killed (SIGKILL) at a random
// moment; the next open, which repairs what the writer left, is itself
// killed right before each of its changes to a file in turn. All kills work
// on the same files. After each kill the table must open, every index walk
// must equal a scan of the records, every record the writer saw stored must
// be there once with its values and its own memo (every third number has
// none: a delete cut short must not leave such a record twice either), the
// memo file must read whole, and the automatic-number counter must stand
// above every number a record holds or an append returned with (none handed
// out twice, none taken back). Every other writer holds few index pages in
// memory (see RunWriter).
//
// The number of writer kills is ZET_CRASH_KILLS (default kDefaultKills, which
// CI runs under the ctest label "crash"); the full run is 1000.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/lowfiles.h"
#include "engine/storage/btrees.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/recordguard.h"
#include "engine/storage/tests/memo_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06.h"
#include "engine/testsupport/child_process.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using namespace editing_test;
using memo_test::ReadMemo;

// Every third number carries no memo: the record names no chain by which
// a second copy of it could be told.
bool HasMemo(int32_t nr) { return nr % 3 != 0; }

std::string MemoFor(int32_t nr, int16_t menge) {
  return HasMemo(nr) ? memo_test::MemoFor(nr, menge, 300 + size_t(nr % 7) * 100) : std::string();
}

// The memo of number nr with amount menge; 0 for a number without one.
uint32_t WriteMemo(WINMEMOS::TMemoFile& f, int32_t nr, int16_t menge) {
  if (!HasMemo(nr)) return 0;
  const uint32_t first = memo_test::WriteMemo(f, MemoFor(nr, menge));
  if (first == 0) _exit(9);
  return first;
}

constexpr int kDefaultKills = 8;
// Most operations of one writer; it is killed long before.
constexpr int kMaxWriterOps = 200000;
constexpr int kMaxKillDelayMs = 60;
// Most attempts to reopen after one kill (each killed one change later).
constexpr int kMaxReopens = 400;
// Above this many records the writer deletes where it would append, so the
// table stays near this size over any number of kills: the reopen that is
// killed at each of its changes then rebuilds a table of the same size
// after the first kill and the thousandth alike.
constexpr uint32_t kCrowded = 250;

int KillCount() {
  const char* text = std::getenv("ZET_CRASH_KILLS");
  const int kills = text ? std::atoi(text) : 0;
  return kills > 0 ? kills : kDefaultKills;
}

Article Expected(int32_t nr) { return {nr, int16_t(nr % 30000), "N" + std::to_string(nr % 997), 0}; }

// What the writer reports, one line each: "a n m" before the append of
// number n with amount m and "A n m" after it returned 0 with flush (for a
// run of appends without flush: after the flush that ends the run); "u n m" before and
// "U n m" after an update to amount m; "d n" before and "D n" after a
// delete; "R" once it is ready.
void Report(int fd, char what, int32_t nr = 0, int32_t menge = 0) {
  const std::string line = std::string(1, what) + " " + std::to_string(nr) + " " + std::to_string(menge) + "\n";
  if (write(fd, line.data(), line.size()) != ssize_t(line.size())) _exit(2);
}

// The writer: appends, updates and deletes with flush until it is killed.
// A kill keeps every write the process made, so it needs no syncs.
// Every other writer runs with an index page cache of a few pages, so that
// dirty pages of one index go to its file during another index's change.
[[noreturn]] void RunWriter(const std::string& path, int fd, unsigned seed) {
  LOWFILES::SetSyncWrites(false);
  if (seed % 2 == 1) BTREES::SetCacheBudget(3 * 1024);
  const int h = OpenArticles(path);
  if (h == 0) _exit(3);
  TZetTable& t = *ZetTable::Table(h);
  Report(fd, 'R');
  std::mt19937 rng(seed);
  for (int op = 0; op < kMaxWriterOps; ++op) {
    const uint32_t count = uint32_t(t.recordCount);
    const uint32_t kind = rng() % 10;
    const bool crowded = count > kCrowded;
    if ((kind < 5 && !crowded) || count < 5) {
      // Some appends come in a run without flush, held back by the table
      // file's write-behind buffer, and one flush after the run.
      const bool bulk = kind == 4;
      const int records = bulk ? 2 + int(rng() % 60) : 1;
      std::vector<Article> run;
      for (int r = 0; r < records; ++r) {
        t.recordBuffer.assign(t.recordLength, 0);
        if (Zet01::AssignAutoNumber(h) != 0) _exit(4);
        Article a = Expected(Zet01::AutoNumberOf(h));
        a.menge = int16_t(rng() % 1000);
        a.notiz = WriteMemo(t.memoFile, a.nr, a.menge);
        PutArticle(h, a);
        Report(fd, 'a', a.nr, a.menge);
        if (Zet01::AppendRecord(h, !bulk, 0) != 0) _exit(5);
        run.push_back(a);
      }
      if (bulk && Zet01::FlushTable(h, true) != 0) _exit(5);
      for (const Article& a : run) Report(fd, 'A', a.nr, a.menge);
      continue;
    }
    t.currentRecord = 1 + rng() % count;
    if (Zet01::ReadRecord(h, t.currentRecord) != 0) _exit(6);
    Article a = ArticleOf(t, t.recordBuffer.data());
    if (kind >= 5 && kind < 8) {
      const std::vector<uint8_t> old = t.recordBuffer;
      a.menge = int16_t(rng() % 1000);
      a.notiz = WriteMemo(t.memoFile, a.nr, a.menge);
      PutArticle(h, a);
      Report(fd, 'u', a.nr, a.menge);
      bool changed = false;
      if (Zet01::UpdateRecord(h, old.data(), changed, 0, true, false) != 0) _exit(7);
      Report(fd, 'U', a.nr, a.menge);
    } else {
      Report(fd, 'd', a.nr);
      if (Zet01::DeleteRecord(h, true, false, 0) != 0) _exit(8);
      Report(fd, 'D', a.nr);
    }
  }
  _exit(0);
}

// With ZET_CRASH_KEEP set to a folder, the files as the last killed writer
// left them (and its reports, in REPORTS.TXT) are copied there, so that a
// failure can be replayed: the reopens that follow are killed at fixed
// changes and act the same on the same files.
void KeepWriterState(const std::filesystem::path& dir, const std::string& reports) {
  const char* keep = std::getenv("ZET_CRASH_KEEP");
  if (!keep) return;
  namespace fs = std::filesystem;
  fs::remove_all(keep);
  fs::create_directories(keep);
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file()) fs::copy_file(entry.path(), fs::path(keep) / entry.path().filename());
  std::ofstream(fs::path(keep) / "REPORTS.TXT") << reports;
}

using zettest::InChild;

class Zet01CrashTest : public zettest::EngineTest {
 protected:
  // The folder "base" with a new article table; each run works on a copy.
  std::filesystem::path CreateBase(std::string& basePath) {
    const std::filesystem::path base = TempDir() / "base";
    std::filesystem::create_directory(base);
    basePath = CreateArticles((base / "ARTIKEL.DAT").string());
    return base;
  }
  // A copy of the base folder under name; answers its table's path.
  std::string CopyOfBase(const std::filesystem::path& base, const std::string& name) {
    std::filesystem::copy(base, TempDir() / name);
    return (TempDir() / name / "ARTIKEL.DAT").string();
  }
  // In a child: the table opened with syncs off (the child ends with 3
  // when it does not open).
  static int OpenInChild(const std::string& path) {
    LOWFILES::SetSyncWrites(false);
    const int h = OpenArticles(path);
    if (h == 0) _exit(3);
    return h;
  }
  // The open that repairs is killed before its first change, then before
  // its second, and so on, until one gets through (a write that crosses a
  // page boundary torn there, as a kill leaves it); kills counts them.
  void ReopenKilledAtEachChange(const std::string& path, int& kills) {
    for (int change = 1;; ++change) {
      ASSERT_LT(change, kMaxReopens) << "the reopen never finishes";
      const int reopen = InChild([&] {
        LOWFILES::SetSyncWrites(false);
        platform::InjectCrashAtChange(change, true);
        _exit(OpenArticles(path) > 0 ? 0 : 3);
      });
      if (WIFEXITED(reopen)) {
        ASSERT_EQ(WEXITSTATUS(reopen), 0) << "the table does not open";
        return;
      }
      ASSERT_TRUE(WIFSIGNALED(reopen));
      ++kills;
    }
  }

  // The table opens, its indexes agree with its records, every record is one
  // the writer made (with an amount it wrote, when amounts tells them) and
  // holds its own memo, none twice, the memo file reads whole, and the
  // automatic-number counter stands above every number present and above
  // returned (the highest whose append returned). Answers the numbers present.
  std::set<int32_t> ExpectRecordsWhole(const std::string& path, const std::map<int32_t, std::set<int16_t>>* amounts,
                                       int32_t returned = 0) {
    std::set<int32_t> present;
    const int h = OpenArticles(path);
    EXPECT_GT(h, 0) << Common::LastErrorText().str();
    if (h == 0) return present;
    ExpectIndexesAgree(h);
    TZetTable& t = *ZetTable::Table(h);
    for (const Article& stored : HasFailure() ? std::vector<Article>() : ScanArticles(h)) {
      const int32_t n = stored.nr;
      EXPECT_TRUE(present.insert(n).second) << n << " is there twice";
      if (amounts) {
        const auto known = amounts->find(n);
        EXPECT_TRUE(known != amounts->end()) << "a record holds an unknown number " << n;
        EXPECT_TRUE(known == amounts->end() || known->second.count(stored.menge))
            << n << " holds an amount never written: " << stored.menge;
      }
      Article a = stored;
      a.menge = 0;
      a.notiz = 0;
      EXPECT_EQ(a, Expected(n));
      EXPECT_EQ(ReadMemo(t.memoFile, stored.notiz), MemoFor(n, stored.menge)) << "memo of " << n;
      if (HasFailure()) break;
    }
    const int64_t highest = std::max<int64_t>(returned, present.empty() ? 0 : *present.rbegin());
    EXPECT_GT(int64_t(t.nextAutoNumber), highest) << "the automatic-number counter would hand out a number again";
    CloseArticles(h);
    const std::string memoPath = (std::filesystem::path(path).parent_path() / "ARTIKEL.MMO").string();
    EXPECT_EQ(WINMEMOS::ReadEveryMemo(memoPath, WINMEMOS::kLinkSize32, kTableKey), 0);
    return present;
  }
};

// Replays the reopens after the killed writer whose files ZET_CRASH_KEEP
// kept (ZET_CRASH_REPLAY names that folder); every record must be one the
// writer made, with its memo.
TEST_F(Zet01CrashTest, ReplayOfAKeptWriterState) {
  const char* replay = std::getenv("ZET_CRASH_REPLAY");
  if (!replay) GTEST_SKIP() << "ZET_CRASH_REPLAY names no kept state";
  namespace fs = std::filesystem;
  for (const auto& entry : fs::directory_iterator(replay))
    if (entry.path().extension() != ".TXT") fs::copy_file(entry.path(), TempDir() / entry.path().filename());
  const std::string path = TempPath("ARTIKEL.DAT");
  int kills = 0;
  ReopenKilledAtEachChange(path, kills);
  if (HasFatalFailure()) return;
  ExpectRecordsWhole(path, nullptr);
}

TEST_F(Zet01CrashTest, KilledWritersAndReopensLeaveATableThatOpensWhole) {
  const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"));
  const int kills = KillCount();
  // Per number: the amounts it may have (every one reported as begun).
  std::map<int32_t, std::set<int16_t>> amounts;
  std::set<int32_t> appended, deleting, deleted;
  std::mt19937 rng(7);
  int reopenKills = 0;
  for (int kill = 0; kill < kills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill));
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      RunWriter(path, fds[1], unsigned(kill));
    }
    close(fds[1]);
    // Once the writer has the table open and appended a record, it dies a
    // random moment later.
    std::string reports;
    char buffer[4096];
    while (reports.find("\nA ") == std::string::npos) {
      const ssize_t n = read(fds[0], buffer, sizeof buffer);
      ASSERT_GT(n, 0) << "the writer ended before it was ready";
      reports.append(buffer, size_t(n));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % (kMaxKillDelayMs * 1000)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) reports.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    KeepWriterState(TempDir(), reports);

    std::istringstream lines(reports);
    char what;
    int32_t nr, menge;
    while (lines >> what >> nr >> menge) {
      switch (what) {
        case 'a': amounts[nr].insert(int16_t(menge)); break;
        case 'A': appended.insert(nr); break;
        case 'u': amounts[nr].insert(int16_t(menge)); break;
        case 'd': deleting.insert(nr); break;
        case 'D': deleted.insert(nr); break;
      }
    }

    ReopenKilledAtEachChange(path, reopenKills);
    if (HasFatalFailure()) return;

    const std::set<int32_t> present = ExpectRecordsWhole(path, &amounts, appended.empty() ? 0 : *appended.rbegin());
    if (HasFailure()) return;
    for (int32_t n : appended) {
      if (deleted.count(n)) {
        EXPECT_FALSE(present.count(n)) << n << " was deleted";
      } else if (!deleting.count(n)) {
        EXPECT_TRUE(present.count(n)) << n << " was appended";
      }
    }
    if (HasFailure()) return;
  }
  EXPECT_GE(appended.size(), size_t(kills));
  RecordProperty("reopenKills", reopenKills);
}

// A record that crosses a page boundary of the table file is written over
// by an update, or by a delete that moves the last record into it; the
// operation is killed at each of its changes in turn, a write in progress
// torn at the page boundary as a kill leaves it. The table must open with
// that record old or new (a mix of both reads as a record nobody wrote), its
// memo its own, and every other record as it was.
TEST_F(Zet01CrashTest, WritesTornAtAPageBoundaryLeaveTheRecordOldOrNew) {
  namespace fs = std::filesystem;
  std::string basePath;
  const fs::path base = CreateBase(basePath);
  std::map<int32_t, std::set<int16_t>> amounts;
  uint32_t crossing = 0;
  int32_t crossingNr = 0;
  {
    const int h = OpenArticles(basePath);
    ASSERT_GT(h, 0);
    TZetTable& t = *ZetTable::Table(h);
    // Records up to two beyond the first one that crosses a page boundary.
    for (int i = 0; crossing == 0 || uint32_t(t.recordCount) < crossing + 2; ++i) {
      ASSERT_LT(i, 2000);
      t.recordBuffer.assign(t.recordLength, 0);
      ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
      Article a = Expected(Zet01::AutoNumberOf(h));
      a.menge = int16_t(i % 1000);
      a.notiz = WriteMemo(t.memoFile, a.nr, a.menge);
      PutArticle(h, a);
      ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
      amounts[a.nr].insert(a.menge);
      if (crossing == 0 && LastRecordCrossesPage(t)) {
        crossing = uint32_t(t.recordCount);
        crossingNr = a.nr;
      }
    }
    CloseArticles(h);
  }
  constexpr int16_t kNewAmount = 777;
  amounts[crossingNr].insert(kNewAmount);
  for (const bool update : {true, false}) {
    SCOPED_TRACE(update ? "update" : "delete");
    int tornInGuard = 0;
    for (int change = 1;; ++change) {
      ASSERT_LT(change, kMaxReopens) << "the operation never finishes";
      SCOPED_TRACE("killed at change " + std::to_string(change));
      const fs::path dir = TempDir() / ((update ? "u" : "d") + std::to_string(change));
      const std::string path = CopyOfBase(base, dir.filename().string());
      const int run = InChild([&] {
        const int h = OpenInChild(path);
        TZetTable& t = *ZetTable::Table(h);
        t.currentRecord = crossing;
        if (Zet01::ReadRecord(h, crossing) != 0) _exit(4);
        platform::InjectCrashAtChange(change, true);
        if (update) {
          const std::vector<uint8_t> old = t.recordBuffer;
          Article a = ArticleOf(t, old.data());
          a.menge = kNewAmount;
          a.notiz = WriteMemo(t.memoFile, a.nr, a.menge);
          PutArticle(h, a);
          bool changed = false;
          if (Zet01::UpdateRecord(h, old.data(), changed, 0, true, false) != 0) _exit(5);
        } else if (Zet01::DeleteRecord(h, true, false, 0) != 0) {
          _exit(6);
        }
        _exit(0);
      });
      ASSERT_TRUE(WIFEXITED(run) ? WEXITSTATUS(run) == 0 : WIFSIGNALED(run)) << run;
      if (WIFSIGNALED(run) && fs::exists(dir / RecordGuard::GuardPath("ARTIKEL.DAT"))) ++tornInGuard;
      std::set<int32_t> present = ExpectRecordsWhole(path, &amounts);
      if (HasFailure()) return;
      if (!update) present.insert(crossingNr);
      EXPECT_EQ(present.size(), amounts.size()) << "a record went missing";
      fs::remove_all(dir);
      if (WIFEXITED(run)) break;
    }
    EXPECT_GT(tornInGuard, 0) << "no kill came while the record was written";
  }
}

// A delete moves the last record into the deleted one's place and then
// writes the smaller count; it is killed at each of its changes in turn,
// with a last record that names a memo and with one that names none. The
// table must open with every record once: the deleted one there or gone,
// every other one there.
TEST_F(Zet01CrashTest, DeletesKilledAtEveryChangeLeaveEachRecordOnce) {
  namespace fs = std::filesystem;
  for (const int32_t last : {6, 7}) {
    SCOPED_TRACE("last record " + std::to_string(last) + (HasMemo(last) ? " with a memo" : " without a memo"));
    const fs::path base = TempDir() / ("base" + std::to_string(last));
    fs::create_directory(base);
    const std::string basePath = CreateArticles((base / "ARTIKEL.DAT").string());
    std::map<int32_t, std::set<int16_t>> amounts;
    {
      const int h = OpenArticles(basePath);
      ASSERT_GT(h, 0);
      TZetTable& t = *ZetTable::Table(h);
      for (int32_t nr = 1; nr <= last; ++nr) {
        t.recordBuffer.assign(t.recordLength, 0);
        ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
        Article a = Expected(Zet01::AutoNumberOf(h));
        a.notiz = WriteMemo(t.memoFile, a.nr, a.menge);
        PutArticle(h, a);
        ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
        amounts[a.nr].insert(a.menge);
      }
      CloseArticles(h);
    }
    for (int change = 1;; ++change) {
      ASSERT_LT(change, kMaxReopens) << "the delete never finishes";
      SCOPED_TRACE("killed at change " + std::to_string(change));
      const fs::path dir = TempDir() / ("d" + std::to_string(last) + "-" + std::to_string(change));
      fs::create_directory(dir);
      for (const auto& e : fs::directory_iterator(base)) fs::copy_file(e.path(), dir / e.path().filename());
      const std::string path = (dir / "ARTIKEL.DAT").string();
      const int run = InChild([&] {
        const int h = OpenInChild(path);
        ZetTable::Table(h)->currentRecord = 2;
        platform::InjectCrashAtChange(change, true);
        _exit(Zet01::DeleteRecord(h, true, false, 0) == 0 ? 0 : 5);
      });
      ASSERT_TRUE(WIFEXITED(run) ? WEXITSTATUS(run) == 0 : WIFSIGNALED(run)) << run;
      std::set<int32_t> present = ExpectRecordsWhole(path, &amounts, last);
      if (HasFailure()) return;
      if (WIFEXITED(run)) {
        EXPECT_FALSE(present.count(2)) << "2 was deleted";
      }
      present.insert(2);
      EXPECT_EQ(present.size(), amounts.size()) << "a record went missing";
      fs::remove_all(dir);
      if (WIFEXITED(run)) break;
    }
  }
}

// The automatic-number counter ends the table file's header; in a table of
// enough fields it crosses a page boundary of the file. Handing out the
// number whose counter turns from 0x00FFFFFF to 0x01000000 (every byte
// changes) is killed at each change in turn, a write in progress torn at
// the page boundary. The counter must read old or new at the next open: a
// mix hands out numbers again (0) or skips far ahead (0x01FFFFFF).
TEST_F(Zet01CrashTest, ACounterTornAtAPageBoundaryReadsOldOrNew) {
  namespace fs = std::filesystem;
  // Integer fields, some with a range, until the header ends 1..3 bytes
  // past a page boundary.
  std::unique_ptr<TZetTable> table;
  for (uint16_t fields = 60; !table && fields < 120; ++fields)
    for (uint16_t ranged = 0; !table && ranged <= fields; ++ranged) {
      std::vector<zettable_test::FieldDef> defs = {{"NR", Common::kTypeAutoNumber, 3, 10}};
      for (uint16_t f = 1; f <= fields; ++f)
        defs.push_back({"F" + std::to_string(f), uint8_t(Common::kTypeInteger | (f <= ranged ? ZetTable::kTypeHasRange : 0)), 1, 10});
      auto t = zettable_test::MakeTable(2, defs);
      for (uint16_t f = 1; f <= ranged; ++f) t->fieldSpecs.push_back({uint16_t(f + 1), 0, 100});
      t->nextAutoNumber = 1;
      const size_t end = Zet06::BuildTableHeader(*t).size();
      if (end % platform::kTearPage >= 1 && end % platform::kTearPage < Zet00::kAutoNumberSize) table = std::move(t);
    }
  ASSERT_TRUE(table) << "no field set ends the header across a page boundary";
  const fs::path base = TempDir() / "base";
  fs::create_directory(base);
  ASSERT_EQ(Zet06::CreateTable(*table, (base / "WIDE.DAT").string(), Common::ScrambleString(""), false, 0, kTableKey), 0);
  constexpr int32_t kBefore = 0x00FFFFFF;
  uint64_t counterAt = 0;
  {
    const int h = OpenArticles((base / "WIDE.DAT").string());
    ASSERT_GT(h, 0);
    TZetTable& t = *ZetTable::Table(h);
    counterAt = t.headerSize - Zet00::kAutoNumberSize;
    ASSERT_TRUE(RecordGuard::CrossesPage(counterAt, Zet00::kAutoNumberSize));
    // A record with its own number one below: the counter stands at kBefore.
    t.recordBuffer.assign(t.recordLength, 0);
    bytes::PutI32(t.recordBuffer.data() + t.FieldOffset(1), kBefore - 1);
    ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
    ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
    ASSERT_EQ(t.nextAutoNumber, uint32_t(kBefore));
    CloseArticles(h);
  }
  int torn = 0;
  for (int change = 1;; ++change) {
    ASSERT_LT(change, kMaxReopens) << "the number is never handed out";
    SCOPED_TRACE("killed at change " + std::to_string(change));
    const fs::path dir = TempDir() / ("c" + std::to_string(change));
    fs::create_directory(dir);
    for (const auto& e : fs::directory_iterator(base)) fs::copy_file(e.path(), dir / e.path().filename());
    const std::string path = (dir / "WIDE.DAT").string();
    const int run = InChild([&] {
      const int h = OpenInChild(path);
      TZetTable& t = *ZetTable::Table(h);
      t.recordBuffer.assign(t.recordLength, 0);
      platform::InjectCrashAtChange(change, true);
      _exit(Zet01::AssignAutoNumber(h) == 0 ? 0 : 5);
    });
    ASSERT_TRUE(WIFEXITED(run) ? WEXITSTATUS(run) == 0 : WIFSIGNALED(run)) << run;
    if (WIFSIGNALED(run)) {
      LOWFILES::TLowFile file;
      uint8_t raw[Zet00::kAutoNumberSize];
      ASSERT_EQ(LOWFILES::OpenLowFile(file, path, LOWFILES::kModeReadShared), 0);
      ASSERT_EQ(LOWFILES::ReadBlock(file, counterAt, sizeof raw, 0, raw), 0);
      LOWFILES::CloseLowFile(file, false);
      const uint32_t left = bytes::GetU32(raw);
      torn += left != uint32_t(kBefore) && left != uint32_t(kBefore) + 1;
    }
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0) << Common::LastErrorText().str();
    const uint32_t next = ZetTable::Table(h)->nextAutoNumber;
    EXPECT_TRUE(next == uint32_t(kBefore) || next == uint32_t(kBefore) + 1) << std::hex << next;
    CloseArticles(h);
    fs::remove_all(dir);
    if (HasFailure() || WIFEXITED(run)) break;
  }
  EXPECT_GT(torn, 0) << "no kill came while the counter was written";
}

// Deletes without flush (after two appends without flush), then a flush and
// a close, killed right before each of their changes to a file in turn:
// between flushes the file keeps the bytes of moved records behind the
// last one, and the count in its header says where the records end. The
// table must open with its indexes agreeing, no record twice, and every
// record that was not being deleted still there.
TEST_F(Zet01CrashTest, DeletesWithoutFlushKilledAtEveryChangeLeaveNoRecordTwice) {
  namespace fs = std::filesystem;
  std::string basePath;
  const fs::path base = CreateBase(basePath);
  std::map<int32_t, std::set<int16_t>> amounts;
  std::vector<int32_t> numbers;
  constexpr int kRecords = 24, kAppends = 2;
  const auto append = [&](int h, bool flush) {
    TZetTable& t = *ZetTable::Table(h);
    t.recordBuffer.assign(t.recordLength, 0);
    if (Zet01::AssignAutoNumber(h) != 0) _exit(7);
    Article a = Expected(Zet01::AutoNumberOf(h));
    a.notiz = WriteMemo(t.memoFile, a.nr, a.menge);
    PutArticle(h, a);
    if (Zet01::AppendRecord(h, flush, 0) != 0) _exit(8);
    return a;
  };
  {
    const int h = OpenArticles(basePath);
    ASSERT_GT(h, 0);
    for (int i = 0; i < kRecords; ++i) {
      const Article a = append(h, true);
      amounts[a.nr].insert(a.menge);
      numbers.push_back(a.nr);
    }
    CloseArticles(h);
  }
  // The child appends the next numbers.
  for (int32_t n = numbers.back() + 1; n <= numbers.back() + kAppends; ++n) amounts[n].insert(Expected(n).menge);
  // Record numbers deleted in turn: the first (the last appended one moves
  // into it), one in the middle, the last, ...
  const std::vector<uint32_t> victims = {1, 12, 24, 5, 20};
  std::set<int32_t> deleted;
  {
    std::vector<int32_t> rows = numbers;
    for (int i = 0; i < kAppends; ++i) rows.push_back(numbers.back() + 1 + i);
    for (uint32_t r : victims) {
      deleted.insert(rows[r - 1]);
      rows[r - 1] = rows.back();
      rows.pop_back();
    }
  }
  int kills = 0;
  for (int change = 1;; ++change) {
    ASSERT_LT(change, kMaxReopens) << "the deletes never finish";
    SCOPED_TRACE("killed at change " + std::to_string(change));
    const fs::path dir = TempDir() / ("d" + std::to_string(change));
    const std::string path = CopyOfBase(base, dir.filename().string());
    const int run = InChild([&] {
      const int h = OpenInChild(path);
      platform::InjectCrashAtChange(change);
      for (int i = 0; i < kAppends; ++i) append(h, false);
      for (uint32_t r : victims) {
        ZetTable::Table(h)->currentRecord = r;
        if (Zet01::DeleteRecord(h, false, false, 0) != 0) _exit(5);
      }
      if (Zet01::FlushTable(h, true) != 0) _exit(6);
      CloseArticles(h);
      _exit(0);
    });
    ASSERT_TRUE(WIFEXITED(run) ? WEXITSTATUS(run) == 0 : WIFSIGNALED(run)) << run;
    const std::set<int32_t> present = ExpectRecordsWhole(path, &amounts);
    if (HasFailure()) return;
    for (int32_t n : numbers)
      if (!deleted.count(n)) {
        EXPECT_TRUE(present.count(n)) << n << " was never deleted";
      }
    fs::remove_all(dir);
    if (WIFEXITED(run)) {
      EXPECT_EQ(present.size(), size_t(kRecords + kAppends) - victims.size());
      break;
    }
    ++kills;
  }
  EXPECT_GT(kills, int(victims.size()));
}

// A rebuild of every index, killed right before each of its changes to a
// file in turn (the open that follows repairs), leaves a table that opens
// with every index agreeing with the records.
TEST_F(Zet01CrashTest, RebuildsKilledAtEveryChangeLeaveATableThatOpensWhole) {
  const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"));
  {
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0);
    TZetTable& t = *ZetTable::Table(h);
    for (int i = 0; i < 3000; ++i) {
      t.recordBuffer.assign(t.recordLength, 0);
      ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
      Article a = Expected(Zet01::AutoNumberOf(h));
      a.menge = int16_t((i * 7919) % 1000);
      PutArticle(h, a);
      ASSERT_EQ(Zet01::AppendRecord(h, false, 0), 0);
    }
    CloseArticles(h);
  }
  int kills = 0;
  for (int change = 1;; ++change) {
    ASSERT_LT(change, 20 * kMaxReopens) << "the rebuilds never finish";
    const int run = InChild([&] {
      LOWFILES::SetSyncWrites(false);
      const int h = OpenArticles(path);
      if (h == 0) _exit(3);
      platform::InjectCrashAtChange(change);
      TZetTable& t = *ZetTable::Table(h);
      for (int slot = Zet00::FirstIndexSlot(t); slot <= t.highestIndexSlot; ++slot)
        if (t.indexes[size_t(slot)] && Zet00::RebuildIndex(h, slot) != 0) _exit(4);
      _exit(0);
    });
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0) << Common::LastErrorText().str();
    ExpectIndexesAgree(h);
    EXPECT_EQ(ZetTable::Table(h)->recordCount, 3000);
    CloseArticles(h);
    if (HasFailure()) return;
    if (WIFEXITED(run)) {
      ASSERT_EQ(WEXITSTATUS(run), 0);
      break;
    }
    ASSERT_TRUE(WIFSIGNALED(run));
    ++kills;
  }
  EXPECT_GT(kills, 10);
}

}  // namespace
