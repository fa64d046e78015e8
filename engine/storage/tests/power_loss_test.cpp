// A machine that stops: the engine's writes since each file's last sync may
// reach the disk in any part and order. From a journal of every change and
// sync of a run of edits, disk states a power loss may leave are built; each
// must open, agree with its indexes (rebuilt where marked), hold no record
// twice (every third number has no memo, so a second copy of it names no
// chain that would tell), keep its automatic-number counter above every
// number a record holds, and keep what a synced flush wrote: a record
// appended by a flush whose count a later sync covered is there with its
// values and memo.
//
// The number of disk states tried is ZET_POWER_LOSS_TRIALS (default
// kDefaultTrials); runs by hand take thousands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/base/lowfiles.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/tests/memo_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_memocheck.h"
#include "engine/storage/zet01_open.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using namespace editing_test;
namespace fs = std::filesystem;
using platform::JournalEntry;
using memo_test::ReadMemo;
using memo_test::WriteMemo;

constexpr int kDefaultTrials = 60;

int TrialCount() {
  const char* text = std::getenv("ZET_POWER_LOSS_TRIALS");
  const int trials = text ? std::atoi(text) : 0;
  return trials > 0 ? trials : kDefaultTrials;
}

bool HasMemo(int32_t nr) { return nr % 3 != 0; }

std::string MemoFor(int32_t nr, int16_t menge) {
  return HasMemo(nr) ? memo_test::MemoFor(nr, menge, 300 + size_t(nr % 5) * 150) : std::string();
}

// The memo of a record made in the run; 0 for a number without one.
uint32_t MemoOf(WINMEMOS::TMemoFile& f, int32_t nr, int16_t menge) {
  return HasMemo(nr) ? WriteMemo(f, MemoFor(nr, menge)) : 0;
}

// Builds the files a power loss after the first `cut` journal entries may
// leave in `into`, from the files in `base` (the state when the journal
// started, in directory `from`): every change up to the cut in order, except
// writes made after the last sync of their file, of which each is kept or
// lost at random (or, with prefixes, a random number of the first ones per
// file is kept); of such a write kept that crosses page boundaries, each
// page's part may be lost on its own (half the time).
void BuildLossState(const std::vector<JournalEntry>& journal, size_t cut, const fs::path& from, const fs::path& base,
                    const fs::path& into, std::mt19937& rng, bool prefixes) {
  fs::create_directories(into);
  for (const auto& e : fs::directory_iterator(base)) fs::copy_file(e.path(), into / e.path().filename());
  // Which writes are not covered by a later sync of their file.
  std::map<std::string, std::vector<size_t>> unsynced;
  for (size_t i = 0; i < cut; ++i) {
    const JournalEntry& e = journal[i];
    switch (e.kind) {
      case JournalEntry::Kind::Write: unsynced[e.path].push_back(i); break;
      case JournalEntry::Kind::Sync: unsynced.erase(e.path); break;
      case JournalEntry::Kind::Rename: {
        auto moved = std::move(unsynced[e.path]);
        unsynced.erase(e.path);
        unsynced[e.target] = std::move(moved);
        break;
      }
      default: break;
    }
  }
  std::set<size_t> lost, torn;
  for (const auto& [path, writes] : unsynced) {
    const size_t keep = prefixes ? rng() % (writes.size() + 1) : writes.size();
    for (size_t k = 0; k < writes.size(); ++k) {
      if (k >= keep || (!prefixes && rng() % 2 == 0))
        lost.insert(writes[k]);
      else if (rng() % 2 == 0)
        torn.insert(writes[k]);
    }
  }
  const auto local = [&](const std::string& path) { return into / fs::path(path).lexically_relative(from); };
  for (size_t i = 0; i < cut; ++i) {
    const JournalEntry& e = journal[i];
    if (lost.count(i)) continue;
    switch (e.kind) {
      case JournalEntry::Kind::Write: {
        if (!fs::exists(local(e.path))) std::ofstream(local(e.path), std::ios::binary);
        std::fstream f(local(e.path), std::ios::binary | std::ios::in | std::ios::out);
        for (size_t from = 0; from < e.data.size();) {
          const uint64_t at = e.position + from;
          const size_t to = std::min<size_t>(e.data.size(), size_t(at / platform::kTearPage + 1) *
                                                                   size_t(platform::kTearPage) - size_t(e.position));
          // A part lost beyond the file's end would leave a hole: parts
          // are lost only within the file.
          if (!torn.count(i) || rng() % 2 == 0 || at >= fs::file_size(local(e.path))) {
            f.seekp(std::streamoff(at));
            f.write(reinterpret_cast<const char*>(e.data.data() + from), std::streamsize(to - from));
            f.flush();
          }
          from = to;
        }
        break;
      }
      case JournalEntry::Kind::Truncate:
        if (!fs::exists(local(e.path))) std::ofstream(local(e.path), std::ios::binary);
        fs::resize_file(local(e.path), e.position);
        break;
      case JournalEntry::Kind::Rename: fs::rename(local(e.path), local(e.target)); break;
      case JournalEntry::Kind::Delete: fs::remove(local(e.path)); break;
      case JournalEntry::Kind::Sync: break;
    }
  }
}

class PowerLossTest : public zettest::EngineTest {
 protected:
  // Runs 60 random edits under the journal, then opens disk states a power
  // loss may leave. With bulkAppends, some appends come in runs of records
  // without flush (held back by the table file's write-behind buffer) and
  // one flush after the run.
  void RunEditsAndCheckLossStates(bool bulkAppends);
};

// A machine that stops right after a table with user indexes was created
// loses every write no later sync of its file covers, and every file made
// whose directory no later sync covers. The creation returned, so the table
// must open with every index in use (a user index knows its key only from
// its own file, so a lost one could not be rebuilt).
TEST_F(PowerLossTest, ATableCreatedBeforeAPowerLossOpensWithEveryIndex) {
  const fs::path dir = TempDir() / "run";
  fs::create_directory(dir);
  const std::string from = fs::canonical(dir).string();
  platform::StartJournal();
  CreateArticles((dir / "ARTIKEL.DAT").string());
  const std::vector<JournalEntry> journal = platform::StopJournal();
  ASSERT_FALSE(HasFailure());

  std::map<std::string, std::vector<size_t>> unsynced;
  std::set<std::string> unnamed;  // made, their directory not synced since
  for (size_t i = 0; i < journal.size(); ++i) {
    const JournalEntry& e = journal[i];
    if (e.kind == JournalEntry::Kind::Write) unsynced[e.path].push_back(i);
    if (e.kind == JournalEntry::Kind::Truncate && e.position == 0) unnamed.insert(e.path);
    if (e.kind != JournalEntry::Kind::Sync) continue;
    unsynced.erase(e.path);
    std::erase_if(unnamed, [&](const std::string& p) { return fs::path(p).parent_path() == fs::path(e.path); });
  }
  std::set<size_t> lost;
  for (const auto& [path, writes] : unsynced) lost.insert(writes.begin(), writes.end());
  const fs::path into = TempDir() / "loss";
  fs::create_directory(into);
  const auto local = [&](const std::string& path) { return into / fs::path(path).lexically_relative(from); };
  for (size_t i = 0; i < journal.size(); ++i) {
    const JournalEntry& e = journal[i];
    if (e.kind == JournalEntry::Kind::Truncate) {
      std::ofstream(local(e.path), std::ios::binary | std::ios::app).close();
      fs::resize_file(local(e.path), e.position);
    } else if (e.kind == JournalEntry::Kind::Write && !lost.count(i)) {
      std::fstream f(local(e.path), std::ios::binary | std::ios::in | std::ios::out);
      f.seekp(std::streamoff(e.position));
      f.write(reinterpret_cast<const char*>(e.data.data()), std::streamsize(e.data.size()));
    } else if (e.kind == JournalEntry::Kind::Rename) {
      fs::rename(local(e.path), local(e.target));
    } else if (e.kind == JournalEntry::Kind::Delete) {
      fs::remove(local(e.path));
    }
  }
  for (const std::string& path : unnamed) fs::remove(local(path));

  const int h = OpenArticles((into / "ARTIKEL.DAT").string());
  ASSERT_GT(h, 0) << Common::LastErrorText().str();
  const TZetTable& t = *ZetTable::Table(h);
  ASSERT_EQ(t.highestIndexSlot, kMengeIndex) << "a user index was lost";
  EXPECT_EQ(t.indexes[kNameIndex]->fileName, ShortStr("NAMEN.IND"));
  EXPECT_EQ(t.indexes[kMengeIndex]->fileName, ShortStr("MENGE.IND"));
  for (int s = kNrIndex; s <= kMengeIndex; ++s) EXPECT_TRUE(Zet00::IndexAvailable(h, s, true)) << s;
  ExpectIndexesAgree(h);
  CloseArticles(h);
}

TEST_F(PowerLossTest, StatesAPowerLossLeavesOpenWholeAndKeepWhatWasSynced) { RunEditsAndCheckLossStates(false); }

TEST_F(PowerLossTest, StatesLeftDuringBulkAppendsOpenWholeAndKeepWhatWasSynced) { RunEditsAndCheckLossStates(true); }

void PowerLossTest::RunEditsAndCheckLossStates(bool bulkAppends) {
  const fs::path dir = TempDir() / "run";
  fs::create_directory(dir);
  const std::string path = CreateArticles((dir / "ARTIKEL.DAT").string());
  // Records made before the run, up to the first one that crosses a page
  // boundary of the file (and a few more): the run updates that one often.
  std::set<int32_t> made;
  uint32_t crossing = 0;
  {
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0);
    TZetTable& t = *ZetTable::Table(h);
    for (int i = 0; crossing == 0 || uint32_t(t.recordCount) < crossing + 3; ++i) {
      ASSERT_LT(i, 2000);
      t.recordBuffer.assign(t.recordLength, 0);
      ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
      Article a{Zet01::AutoNumberOf(h), 0, "B" + std::to_string(i % 50), int16_t(i % 100)};
      a.code = int16_t(a.nr);
      a.notiz = MemoOf(t.memoFile, a.nr, a.menge);
      PutArticle(h, a);
      ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
      made.insert(a.nr);
      if (crossing == 0 && LastRecordCrossesPage(t)) crossing = uint32_t(t.recordCount);
    }
    CloseArticles(h);
  }
  const fs::path base = TempDir() / "base";
  fs::create_directory(base);
  for (const auto& e : fs::directory_iterator(dir)) fs::copy_file(e.path(), base / e.path().filename());
  const std::string from = fs::canonical(dir).string();

  // Per operation: the journal position where it began, the number it
  // touched; appends also their amount; the run of appends it belongs to
  // (0: none), which one flush ends.
  struct Op {
    size_t begin;
    int32_t nr;
    bool append;
    int16_t menge;
    int run = 0;
  };
  std::vector<Op> ops;
  platform::StartJournal();
  {
    const int h = OpenArticles(path);
    ASSERT_GT(h, 0);
    TZetTable& t = *ZetTable::Table(h);
    std::mt19937 rng(5);
    int runs = 0;
    for (int i = 0; i < 60; ++i) {
      const uint32_t count = uint32_t(t.recordCount);
      const uint32_t kind = rng() % 10;
      if (kind < 6 || count < 4) {
        const bool bulk = bulkAppends && kind < 3;
        const int records = bulk ? 2 + int(rng() % 40) : 1;
        if (bulk) ++runs;
        for (int r = 0; r < records; ++r) {
          t.recordBuffer.assign(t.recordLength, 0);
          ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
          Article a{Zet01::AutoNumberOf(h), 0, "P" + std::to_string(rng() % 50), int16_t(rng() % 100)};
          a.code = int16_t(a.nr);
          a.notiz = MemoOf(t.memoFile, a.nr, a.menge);
          PutArticle(h, a);
          made.insert(a.nr);
          ops.push_back({platform::JournalLength(), a.nr, true, a.menge, bulk ? runs : 0});
          ASSERT_EQ(Zet01::AppendRecord(h, !bulk, 0), 0);
        }
        if (bulk) {
          ASSERT_EQ(Zet01::FlushTable(h, true), 0);
        }
        continue;
      }
      t.currentRecord = kind % 2 == 0 && crossing <= count ? crossing : 1 + rng() % count;
      ASSERT_EQ(Zet01::ReadRecord(h, t.currentRecord), 0);
      Article a = ArticleOf(t, t.recordBuffer.data());
      ops.push_back({platform::JournalLength(), a.nr, false, 0});
      if (kind < 8) {
        const std::vector<uint8_t> old = t.recordBuffer;
        a.menge = int16_t(rng() % 100);
        a.notiz = MemoOf(t.memoFile, a.nr, a.menge);
        PutArticle(h, a);
        bool changed = false;
        ASSERT_EQ(Zet01::UpdateRecord(h, old.data(), changed, 0, true, false), 0);
      } else {
        // In the bulk run, some deletes without flush: they lower the
        // file's count themselves.
        const bool flush = !bulkAppends || rng() % 2 == 0;
        ASSERT_EQ(Zet01::DeleteRecord(h, flush, false, 0), 0);
      }
    }
    CloseArticles(h);
  }
  const std::vector<JournalEntry> journal = platform::StopJournal();
  ASSERT_GT(journal.size(), 100u);
  ops.push_back({journal.size(), 0, false, 0});  // the end
  // Where the table file is synced after each position.
  const std::string tableFile = (fs::path(from) / "ARTIKEL.DAT").string();
  const auto syncAfter = [&](size_t position) {
    for (size_t i = position; i < journal.size(); ++i)
      if (journal[i].kind == JournalEntry::Kind::Sync && journal[i].path == tableFile) return i;
    return journal.size();
  };

  std::mt19937 rng(11);
  const int trialCount = TrialCount();
  int trials = 0;
  for (int trial = 0; trial < trialCount; ++trial) {
    const size_t cut = rng() % (journal.size() + 1);
    SCOPED_TRACE("trial " + std::to_string(trial) + ", cut at " + std::to_string(cut));
    const fs::path into = TempDir() / ("loss" + std::to_string(trial));
    BuildLossState(journal, cut, from, base, into, rng, trial % 2 == 1);
    const std::string lossPath = (into / "ARTIKEL.DAT").string();
    const int h = OpenArticles(lossPath);
    ASSERT_GT(h, 0) << Common::LastErrorText().str();
    ExpectIndexesAgree(h);
    EXPECT_EQ(Zet01::CheckMemoFile(h), Zet01::kMemoSound);
    std::map<int32_t, Article> present;
    for (const Article& a : ScanArticles(h)) {
      EXPECT_TRUE(present.emplace(a.nr, a).second) << a.nr << " is there twice";
      // Every record is one the run made, with its own memo.
      ASSERT_TRUE(made.count(a.nr)) << "a record holds an unknown number " << a.nr;
      EXPECT_EQ(a.code, int16_t(a.nr));
      EXPECT_EQ(ReadMemo(ZetTable::Table(h)->memoFile, a.notiz), MemoFor(a.nr, a.menge)) << "memo of " << a.nr;
    }
    if (!present.empty()) {
      EXPECT_GT(int64_t(ZetTable::Table(h)->nextAutoNumber), int64_t(present.rbegin()->first))
          << "the automatic-number counter would hand out a number again";
    }
    for (size_t i = 0; i + 1 < ops.size(); ++i) {
      // The operation after the flush that ended op i's run.
      size_t next = i + 1;
      while (ops[i].run != 0 && next + 1 < ops.size() && ops[next].run == ops[i].run) ++next;
      if (!ops[i].append || syncAfter(ops[next].begin) >= cut) continue;
      bool touchedLater = false;
      for (size_t j = i + 1; j + 1 < ops.size(); ++j) touchedLater |= ops[j].nr == ops[i].nr && ops[j].begin < cut;
      if (touchedLater) continue;
      ASSERT_TRUE(present.count(ops[i].nr)) << ops[i].nr << " was appended and synced";
      const Article& a = present[ops[i].nr];
      EXPECT_EQ(a.menge, ops[i].menge);
      EXPECT_EQ(ReadMemo(ZetTable::Table(h)->memoFile, a.notiz), MemoFor(a.nr, a.menge));
    }
    CloseArticles(h);
    fs::remove_all(into);
    ++trials;
    if (HasFailure()) break;
  }
  EXPECT_EQ(trials, trialCount);
}

}  // namespace
