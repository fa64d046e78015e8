// Table storage against SQLite 3 on one workload, in one run.
//
// Both sides hold the same records (200,000 unless --records says
// otherwise: a 20-character key, a 16-bit amount, a 40-character text) with
// an index on the key and one on the amount, and run the same phases: bulk
// append, point look-ups by key, a full scan, a rebuild of both indexes
// (REINDEX), updates of the indexed amount, deletes of random records. Each
// phase is one transaction on SQLite; on the engine its operations run
// without flush and the phase ends with one flush. Neither side syncs to
// disk: SQLite runs with synchronous=OFF. The engine's caches share
// --cache=KiB (2048 unless given): the record caches may grow beyond their
// fixed rings by --record-cache=KiB of it (unless given: a quarter from
// 8 MB on, none below, where so few records fit that the index pages need
// the memory more), the index trees' shared page cache has the rest. SQLite's page cache is as
// large as all the engine's caches together (--cache, the fixed record ring
// and the trees' path slots). Both files live in the same directory. The
// program prints each phase's time for both sides and the ratio
// engine / SQLite. After each phase, untimed, both sides must agree on a
// count or a sum; after the rebuild the engine's indexes are walked key by
// key (each key the one its record makes, ascending, one per record) and
// SQLite runs its integrity check.
//
//   storage_bench [directory] [--records=N] [--cache=KiB] [--record-cache=KiB] [--journal=OFF|WAL]
//                 [--engine-only]
//
// --engine-only runs the engine's phases alone, for a profiler.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/common/bench_support.h"
#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/btrees.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/units.h"

namespace {

// The workload scales with the record count (--records=N): half as many
// look-ups, a quarter as many updates, a tenth as many deletes.
int kRecords = 200000;
int kLookups = 100000;
int kUpdates = 50000;
int kDeletes = 20000;
constexpr uint8_t kKeyLength = 20;
constexpr uint8_t kTextLength = 40;
constexpr uint16_t kKeyField = 1, kAmountField = 2, kTextField = 3;
constexpr unsigned kSeed = 4711;

enum Phase { kAppend, kLookup, kScan, kRebuild, kUpdate, kDelete, kPhaseCount };
std::string PhaseName(int phase) {
  switch (phase) {
    case kAppend: return "bulk append " + std::to_string(kRecords);
    case kLookup: return "point look-ups " + std::to_string(kLookups);
    case kScan: return "full scan";
    case kRebuild: return "rebuild both indexes";
    case kUpdate: return "updates " + std::to_string(kUpdates) + " (indexed field)";
    default: return "deletes " + std::to_string(kDeletes);
  }
}

using bench::Clock;
using bench::Fail;
using bench::SecondsSince;

struct Row {
  std::string key;
  int16_t amount;
  std::string text;
};

// The records, and the random choices every phase makes, drawn once so
// that both sides do exactly the same.
struct Workload {
  std::vector<Row> rows;
  std::vector<int> lookups;             // row indexes
  std::vector<std::pair<int, int16_t>> updates;  // (record 1..count, new amount)
  std::vector<double> deletes;          // fraction of the current count
};

Workload MakeWorkload() {
  std::mt19937 rng(kSeed);
  Workload w;
  std::vector<int> ids(kRecords);
  std::iota(ids.begin(), ids.end(), 0);
  std::shuffle(ids.begin(), ids.end(), rng);
  for (int id : ids) {
    char key[32];
    std::snprintf(key, sizeof key, "K%019d", id);
    std::string text(kTextLength, ' ');
    for (char& c : text) c = char('a' + rng() % 26);
    w.rows.push_back({key, int16_t(rng() % 30000), text});
  }
  for (int i = 0; i < kLookups; ++i) w.lookups.push_back(int(rng() % kRecords));
  for (int i = 0; i < kUpdates; ++i) w.updates.push_back({int(1 + rng() % kRecords), int16_t(rng() % 30000)});
  std::uniform_real_distribution<double> fraction(0.0, 1.0);
  for (int i = 0; i < kDeletes; ++i) w.deletes.push_back(fraction(rng));
  return w;
}



// ---------------------------------------------------------------------------
// The engine

class EngineSide {
 public:
  explicit EngineSide(const std::string& directory) : path_(directory + "/BENCH.DAT") {}

  void Create() {
    auto t = zettable_test::MakeTable(2, {{"KEY", Common::kTypeString, kKeyLength, kKeyLength},
                                          {"AMOUNT", Common::kTypeInteger, 1, 10},
                                          {"TEXT", Common::kTypeString, kTextLength, kTextLength}});
    t->indexes[1] = Index("KEYS.IND", kKeyField, kKeyLength + 1, Common::kTypeString);
    t->indexes[2] = Index("AMOUNTS.IND", kAmountField, 2, Common::kTypeInteger);
    if (int e = Zet06::CreateTable(*t, path_, Common::ScrambleString(""), false, 0, 0)) Fail("create", e);
    if (int e = Zet01::OpenTable(kSlot, ZetTable::kRightsMask, path_, 0, 0, "")) Fail("open", e);
  }

  // Bytes of the fixed record ring and index path slots the table may hold
  // (the budgets of the page cache and of grown record caches come on top).
  size_t RecordCacheBytes() const {
    return size_t(Zet01::RecordCacheSlots(kSlot)) * Table().recordLength;
  }
  size_t PathSlotBytes() const {
    size_t bytes = 0;
    for (int s = 1; s <= Table().highestIndexSlot; ++s)
      bytes += size_t(BTREES::kPageSlots) * Zet00::IndexTree(kSlot, s)->header.pageSize;
    return bytes;
  }

  // Bytes of record cache and index pages in memory now.
  size_t HeldBytes() const {
    size_t bytes = Zet01::RecordCacheBytes(kSlot) + BTREES::CachedBytes();
    for (int s = 1; s <= Table().highestIndexSlot; ++s) {
      const BTREES::TTree& tree = *Zet00::IndexTree(kSlot, s);
      for (const BTREES::TPageSlot& slot : tree.slots) bytes += slot.buffer ? tree.header.pageSize : 0;
    }
    return bytes;
  }

  void Append(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      Buffer().assign(Table().recordLength, 0);
      Put(kKeyField, r.key);
      Put(kAmountField, r.amount);
      Put(kTextField, r.text);
      if (int e = Zet01::AppendRecord(kSlot, false, 0)) Fail("append", e);
    }
    Flush();
  }

  long Lookup(const Workload& w) {
    long sum = 0;
    ZetTable::TZetTable& t = Table();
    const uint8_t* description = t.indexes[kKeyIndex]->header.data();
    std::array<uint8_t, ZetTable::kMaxKeySize> wanted{};
    for (int i : w.lookups) {
      if (int e = Zet00::KeyFromText(kSlot, kKeyIndex, w.rows[size_t(i)].key, wanted.data(), 0)) Fail("key", e);
      t.currentKey = wanted;
      if (Zet00::IndexSeek(kSlot, kKeyIndex) != Zet00::kStatusFound ||
          !Zet00::SameKey(t.currentKey.data(), wanted.data(), description))
        Fail("look-up", i);
      if (int e = Zet01::ReadRecord(kSlot, Zet00::KeyRecordNumber(t.currentKey.data()))) Fail("read", e);
      sum += Amount();
    }
    return sum;
  }

  long Scan() {
    long sum = 0;
    for (uint32_t r = 1; r <= uint32_t(Table().recordCount); ++r) {
      if (int e = Zet01::ReadRecord(kSlot, r)) Fail("read", e);
      sum += Amount();
    }
    return sum;
  }

  // Walks every index from its first key: each key is the key its record
  // makes, the keys ascend and there is one per record. Fails otherwise;
  // answers the scan sum.
  long CheckIndexes() {
    ZetTable::TZetTable& t = Table();
    std::vector<uint8_t> record(t.recordLength);
    for (int s = 1; s <= t.highestIndexSlot; ++s) {
      const uint8_t* description = t.indexes[size_t(s)]->header.data();
      const BTREES::TCompareProc before = Zet00::KeyCompareProc(t.version);
      std::array<uint8_t, ZetTable::kMaxKeySize> prior{}, made{};
      long keys = 0;
      for (uint8_t status = Zet00::IndexFirst(kSlot, s); status == Zet00::kStatusFound;
           status = Zet00::IndexNext(kSlot, s)) {
        const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
        if (int e = Zet00::ReadRecordHook(kSlot, recno, record.data())) Fail("read", e);
        if (int e = Zet00::MakeKey(kSlot, s, record.data(), made.data(), recno)) Fail("key", e);
        if (!Zet00::SameKey(made.data(), t.currentKey.data(), description, t.version)) Fail("index key", s);
        if (keys > 0 && !before(prior.data(), t.currentKey.data(), description)) Fail("index order", s);
        prior = t.currentKey;
        ++keys;
      }
      if (keys != t.recordCount) Fail("index key count", s);
    }
    return Scan();
  }

  // Every index built afresh from the records.
  void Rebuild() {
    std::vector<int> slots;
    for (int slot = 1; slot <= Table().highestIndexSlot; ++slot) slots.push_back(slot);
    if (int e = Zet00::RebuildIndexes(kSlot, slots)) Fail("rebuild", e);
    Flush();
  }

  void Update(const Workload& w) {
    std::vector<uint8_t> old;
    for (const auto& [recno, amount] : w.updates) {
      Table().currentRecord = uint32_t(recno);
      if (int e = Zet01::ReadRecord(kSlot, uint32_t(recno))) Fail("read", e);
      old = Buffer();
      Put(kAmountField, amount);
      bool changed = false;
      if (int e = Zet01::UpdateRecord(kSlot, old.data(), changed, 0, false, false)) Fail("update", e);
    }
    Flush();
  }

  void Delete(const Workload& w) {
    for (double f : w.deletes) {
      Table().currentRecord = 1 + uint32_t(f * Table().recordCount);
      if (int e = Zet01::DeleteRecord(kSlot, false, false, 0)) Fail("delete", e);
    }
    Flush();
  }

  long Count() { return Table().recordCount; }
  void Close() { Zet01::CloseTable(kSlot); }

 private:
  static constexpr int kSlot = 1;
  static constexpr int kKeyIndex = 1;

  static std::unique_ptr<ZetTable::TIndexDescriptor> Index(const char* name, uint16_t field, uint16_t length,
                                                            uint8_t type) {
    auto d = std::make_unique<ZetTable::TIndexDescriptor>();
    d->fileName = name;
    Zet00::SetKeyPart(d->header.data(), 0, {field, length, type});
    return d;
  }
  ZetTable::TZetTable& Table() const { return *ZetTable::Table(kSlot); }
  std::vector<uint8_t>& Buffer() { return Table().recordBuffer; }
  void Put(uint16_t field, const std::string& text) {
    Common::FieldValue v;
    v.text = text;
    Zet01::SetFieldValue(kSlot, field, v, Zet01::kValueIsText);
  }
  void Put(uint16_t field, int16_t number) {
    Common::FieldValue v;
    v.number = number;
    Zet01::SetFieldValue(kSlot, field, v, 0);
  }
  long Amount() {
    int valueClass = 0;
    Common::FieldValue v;
    Zet01::GetFieldValue(3, kSlot, kAmountField, valueClass, v);
    return long(v.number);
  }
  void Flush() {
    if (int e = Zet01::FlushTable(kSlot, true)) Fail("flush", e);
  }

  std::string path_;
};

// ---------------------------------------------------------------------------
// SQLite

class SqliteSide : public bench::SqliteDb {
 public:
  SqliteSide(const std::string& directory, const std::string& journal, size_t cacheKiB)
      : SqliteDb(directory, journal, cacheKiB) {
    Exec("CREATE TABLE t(key TEXT, amount INTEGER, text TEXT)");
    Exec("CREATE INDEX t_key ON t(key)");
    Exec("CREATE INDEX t_amount ON t(amount)");
  }

  void Append(const std::vector<Row>& rows) {
    Exec("BEGIN");
    sqlite3_stmt* s = Prepare("INSERT INTO t(key, amount, text) VALUES (?, ?, ?)");
    for (const Row& r : rows) {
      sqlite3_bind_text(s, 1, r.key.data(), int(r.key.size()), SQLITE_STATIC);
      sqlite3_bind_int(s, 2, r.amount);
      sqlite3_bind_text(s, 3, r.text.data(), int(r.text.size()), SQLITE_STATIC);
      Step(s);
    }
    sqlite3_finalize(s);
    Exec("COMMIT");
  }

  long Lookup(const Workload& w) {
    long sum = 0;
    Exec("BEGIN");
    sqlite3_stmt* s = Prepare("SELECT amount, text FROM t WHERE key = ?");
    for (int i : w.lookups) {
      const std::string& key = w.rows[size_t(i)].key;
      sqlite3_bind_text(s, 1, key.data(), int(key.size()), SQLITE_STATIC);
      if (sqlite3_step(s) != SQLITE_ROW) Fail("sqlite look-up", i);
      sum += sqlite3_column_int(s, 0);
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    Exec("COMMIT");
    return sum;
  }

  long Scan() {
    long sum = 0;
    sqlite3_stmt* s = Prepare("SELECT key, amount, text FROM t");
    while (sqlite3_step(s) == SQLITE_ROW) sum += sqlite3_column_int(s, 1);
    sqlite3_finalize(s);
    return sum;
  }

  void Rebuild() { Exec("REINDEX"); }

  // Records are numbered by rowid; the engine's record n is SQLite's n-th
  // row while nothing was deleted.
  void Update(const Workload& w) {
    Exec("BEGIN");
    sqlite3_stmt* s = Prepare("UPDATE t SET amount = ? WHERE rowid = ?");
    for (const auto& [recno, amount] : w.updates) {
      sqlite3_bind_int(s, 1, amount);
      sqlite3_bind_int(s, 2, recno);
      Step(s);
    }
    sqlite3_finalize(s);
    Exec("COMMIT");
  }

  // The same share of the current rows as the engine deletes: the row at
  // that position of the rowids still present.
  void Delete(const Workload& w) {
    std::vector<int64_t> rowids;
    sqlite3_stmt* all = Prepare("SELECT rowid FROM t");
    while (sqlite3_step(all) == SQLITE_ROW) rowids.push_back(sqlite3_column_int64(all, 0));
    sqlite3_finalize(all);
    std::vector<int64_t> victims;
    for (double f : w.deletes) {
      const size_t at = size_t(f * double(rowids.size()));
      victims.push_back(rowids[at]);
      rowids[at] = rowids.back();
      rowids.pop_back();
    }
    const Clock::time_point start = Clock::now();
    Exec("BEGIN");
    sqlite3_stmt* s = Prepare("DELETE FROM t WHERE rowid = ?");
    for (int64_t id : victims) {
      sqlite3_bind_int64(s, 1, id);
      Step(s);
    }
    sqlite3_finalize(s);
    Exec("COMMIT");
    deleteSeconds_ = SecondsSince(start);
  }
  double DeleteSeconds() const { return deleteSeconds_; }

  long Count() {
    sqlite3_stmt* s = Prepare("SELECT count(*) FROM t");
    const long n = sqlite3_step(s) == SQLITE_ROW ? long(sqlite3_column_int64(s, 0)) : -1;
    sqlite3_finalize(s);
    return n;
  }

 private:
  double deleteSeconds_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::string directory, journal = "OFF";
  bool engineOnly = false;
  size_t pageCacheKiB = 2048;
  long recordBudgetKiB = -1;  // see the top unless given
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--journal=", 0) == 0)
      journal = arg.substr(10);
    else if (arg == "--engine-only")
      engineOnly = true;
    else if (arg.rfind("--record-cache=", 0) == 0)
      recordBudgetKiB = std::max(0, std::atoi(arg.c_str() + 15));
    else if (arg.rfind("--cache=", 0) == 0)
      pageCacheKiB = size_t(std::max(0, std::atoi(arg.c_str() + 8)));
    else if (arg.rfind("--records=", 0) == 0)
      kRecords = std::max(10, std::atoi(arg.c_str() + 10));
    else
      directory = arg;
  }
  kLookups = kRecords / 2;
  kUpdates = kRecords / 4;
  kDeletes = kRecords / 10;
  bool ownDirectory = false;
  if (directory.empty()) {
    char pattern[] = "/tmp/storage_bench_XXXXXX";
    if (!mkdtemp(pattern)) Fail("mkdtemp", errno);
    directory = pattern;
    ownDirectory = true;
  }
  const Workload w = MakeWorkload();
  Units::StartEngine();
  // Bulk work, matched with SQLite's synchronous=OFF: the engine's syncs
  // at its ordering points are off.
  LOWFILES::SetSyncWrites(false);
  const size_t totalKiB = pageCacheKiB;
  constexpr size_t kRecordShareFromKiB = 8192;
  const size_t defaultRecordKiB = totalKiB >= kRecordShareFromKiB ? totalKiB / 4 : 0;
  const size_t recordGrowKiB = std::min(totalKiB, recordBudgetKiB < 0 ? defaultRecordKiB : size_t(recordBudgetKiB));
  pageCacheKiB = totalKiB - recordGrowKiB;
  BTREES::SetCacheBudget(pageCacheKiB * 1024);
  Zet01::SetRecordCacheBudget(recordGrowKiB * 1024);
  EngineSide engine(directory);
  engine.Create();
  const size_t recordCacheKiB = (engine.RecordCacheBytes() + 1023) / 1024;
  const size_t slotKiB = (engine.PathSlotBytes() + 1023) / 1024;
  const size_t cacheKiB = pageCacheKiB + recordGrowKiB + recordCacheKiB + slotKiB;
  SqliteSide sqlite(directory, journal, cacheKiB);

  // Each phase is timed alone; its check (a count or a sum that both sides
  // must agree on) is taken afterwards.
  double times[2][kPhaseCount] = {};
  long checks[2][kPhaseCount] = {};
  auto run = [&](int side, Phase phase, auto&& work, auto&& check) {
    if (side == 1 && engineOnly) return;
    const Clock::time_point start = Clock::now();
    work();
    times[side][phase] = SecondsSince(start);
    checks[side][phase] = check();
  };
  run(0, kAppend, [&] { engine.Append(w.rows); }, [&] { return engine.Count(); });
  run(1, kAppend, [&] { sqlite.Append(w.rows); }, [&] { return sqlite.Count(); });
  long sums[2] = {};
  run(0, kLookup, [&] { sums[0] = engine.Lookup(w); }, [&] { return sums[0]; });
  run(1, kLookup, [&] { sums[1] = sqlite.Lookup(w); }, [&] { return sums[1]; });
  run(0, kScan, [&] { sums[0] = engine.Scan(); }, [&] { return sums[0]; });
  run(1, kScan, [&] { sums[1] = sqlite.Scan(); }, [&] { return sums[1]; });
  // Rebuilt indexes are walked (the engine's) or checked by SQLite itself.
  run(0, kRebuild, [&] { engine.Rebuild(); }, [&] { return engine.CheckIndexes(); });
  run(1, kRebuild, [&] { sqlite.Rebuild(); }, [&] {
    if (sqlite.Setting("integrity_check") != "ok") Fail("integrity_check", 0);
    return sqlite.Scan();
  });
  run(0, kUpdate, [&] { engine.Update(w); }, [&] { return engine.Scan(); });
  run(1, kUpdate, [&] { sqlite.Update(w); }, [&] { return sqlite.Scan(); });
  run(0, kDelete, [&] { engine.Delete(w); }, [&] { return engine.Count(); });
  if (!engineOnly) {
    sqlite.Delete(w);
    times[1][kDelete] = sqlite.DeleteSeconds();
    checks[1][kDelete] = sqlite.Count();
  }

  std::printf("Table storage vs SQLite %s, %d records of %d bytes, 2 indexes (key, amount)\n", sqlite3_libversion(),
              kRecords, int(kKeyLength + 1 + 2 + kTextLength + 1));
  std::printf("engine: syncs off (LOWFILES::SetSyncWrites), flush at the end of each phase, caches %zu KiB = "
              "shared index page cache %zu + record caches' growth budget %zu + fixed record ring %zu + index "
              "path slots %zu\n",
              cacheKiB, pageCacheKiB, recordGrowKiB, recordCacheKiB, slotKiB);
  std::printf("sqlite: synchronous=%s journal_mode=%s cache_size=%s page_size=%s, one transaction per phase\n",
              sqlite.Setting("synchronous").c_str(), sqlite.Setting("journal_mode").c_str(),
              sqlite.Setting("cache_size").c_str(), sqlite.Setting("page_size").c_str());
  std::printf("%-32s %12s %12s %10s\n", "phase", "engine s", "sqlite s", "ratio");
  for (int p = 0; p < kPhaseCount; ++p)
    std::printf("%-32s %12.3f %12.3f %10.2f%s\n", PhaseName(p).c_str(), times[0][p], times[1][p], times[0][p] / times[1][p],
                checks[0][p] == checks[1][p] ? "" : "  (results differ)");
  std::printf("memory held in caches at the end: engine %zu KiB (record cache + index pages), sqlite %zu KiB (page cache)\n",
              (engine.HeldBytes() + 1023) / 1024, engineOnly ? size_t(0) : (sqlite.CacheUsed() + 1023) / 1024);
  engine.Close();
  Units::StopEngine();
  if (ownDirectory) std::filesystem::remove_all(directory);
  return 0;
}
