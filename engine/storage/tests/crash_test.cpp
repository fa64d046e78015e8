// Crash safety of record editing: a writer process is killed at random
// moments; each time the table must open, its indexes must agree with its
// records, and every append the writer saw return must be there.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace editing_test;

constexpr int kKills = 32;
// Most operations of one writer; it is killed long before.
constexpr int kMaxWriterOps = 200000;
constexpr int kMaxKillDelayMs = 40;

// What the writer reports, one line each: "a n" before and "A n" after the
// append of the record with auto number n returned 0; "d n" before and
// "D n" after the delete of record n returned 0; "R" once it is ready.
void Report(int fd, char what, int32_t nr = 0) {
  const std::string line = std::string(1, what) + " " + std::to_string(nr) + "\n";
  if (write(fd, line.data(), line.size()) != ssize_t(line.size())) _exit(2);
}

Article Expected(int32_t nr) { return {nr, int16_t(nr % 30000), "N" + std::to_string(nr), 0}; }

// The writer: appends, updates and deletes with flush until it is killed.
[[noreturn]] void RunWriter(const std::string& path, int fd, unsigned seed) {
  const int h = OpenArticles(path);
  if (h == 0) _exit(3);
  TZetTable& t = *ZetTable::Table(h);
  Report(fd, 'R');
  std::mt19937 rng(seed);
  for (int op = 0; op < kMaxWriterOps; ++op) {
    const uint32_t count = uint32_t(t.recordCount);
    const uint32_t kind = rng() % 10;
    if (kind < 6 || count < 5) {
      t.recordBuffer.assign(t.recordLength, 0);
      if (Zet01::AssignAutoNumber(h) != 0) _exit(4);
      const int32_t nr = Zet01::AutoNumberOf(h);
      PutArticle(h, Expected(nr));
      Report(fd, 'a', nr);
      if (Zet01::AppendRecord(h, true, 0) != 0) _exit(5);
      Report(fd, 'A', nr);
      continue;
    }
    t.currentRecord = 1 + rng() % count;
    if (Zet01::ReadRecord(h, t.currentRecord) != 0) _exit(6);
    Article a = ArticleOf(t, t.recordBuffer.data());
    if (kind < 8) {
      const std::vector<uint8_t> old = t.recordBuffer;
      ++a.menge;
      PutArticle(h, a);
      bool changed = false;
      if (Zet01::UpdateRecord(h, old.data(), changed, 0, true, false) != 0) _exit(7);
    } else {
      Report(fd, 'd', a.nr);
      if (Zet01::DeleteRecord(h, true, false, 0) != 0) _exit(8);
      Report(fd, 'D', a.nr);
    }
  }
  _exit(0);
}

class Zet01CrashTest : public zettest::EngineTest {};

TEST_F(Zet01CrashTest, KilledWriterLeavesATableThatOpensWhole) {
  const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"));
  std::set<int32_t> begun, appended, deleting, deleted;
  std::mt19937 rng(7);
  int repaired = 0;
  for (int kill = 0; kill < kKills; ++kill) {
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
    // Once the writer has the table open, it dies a random moment later.
    std::string reports;
    char buffer[4096];
    while (reports.find('R') == std::string::npos) {
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

    std::istringstream lines(reports);
    char what;
    int32_t nr;
    while (lines >> what >> nr) {
      switch (what) {
        case 'a': begun.insert(nr); break;
        case 'A': appended.insert(nr); break;
        case 'd': deleting.insert(nr); break;
        case 'D': deleted.insert(nr); break;
      }
    }

    const int h = OpenArticles(path);
    ASSERT_GT(h, 0) << Common::LastErrorText().str();
    ExpectIndexesAgree(h);
    std::map<int32_t, std::vector<uint32_t>> where;
    const std::vector<Article> records = ScanArticles(h);
    for (uint32_t r = 1; r <= records.size(); ++r) {
      Article a = records[r - 1];
      ASSERT_TRUE(begun.count(a.nr)) << "record " << r << " holds an unknown number " << a.nr;
      a.menge = 0;
      ASSERT_EQ(a, Expected(a.nr)) << "record " << r;
      where[a.nr].push_back(r);
    }
    for (int32_t n : appended) {
      if (deleted.count(n)) {
        EXPECT_FALSE(where.count(n)) << n << " was deleted";
      } else if (!deleting.count(n)) {
        EXPECT_TRUE(where.count(n)) << n << " was appended";
      }
    }
    // A delete killed between moving the last record and writing the
    // smaller count leaves that record twice; one copy goes.
    for (const auto& [n, recnos] : where) {
      if (recnos.size() < 2) continue;
      ASSERT_EQ(recnos.size(), 2u) << n;
      ZetTable::Table(h)->currentRecord = recnos[1];
      ASSERT_EQ(Zet01::DeleteRecord(h, true, false, 0), 0);
      ++repaired;
      break;
    }
    CloseArticles(h);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(appended.size(), 100u);
  EXPECT_GT(deleted.size(), 10u);
  RecordProperty("duplicatesRepaired", repaired);
}

}  // namespace
