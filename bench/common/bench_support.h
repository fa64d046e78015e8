// What the benchmarks share: timing, failing loudly, the directory they work
// in (a temporary one removed at the end unless one is given), and the
// SQLite side's connection with the settings that match the engine's
// durability.
#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] inline void Fail(const char* what, long code) {
  std::fprintf(stderr, "%s: %s failed (%ld)\n", program_invocation_short_name, what, code);
  std::exit(1);
}

// The directory a benchmark works in: the one given, or (given empty) a new
// one under /tmp named after the benchmark, removed with everything in it
// when the benchmark ends.
class WorkDirectory {
 public:
  WorkDirectory(const std::string& given, const std::string& name) : path_(given) {
    if (!path_.empty()) return;
    std::string pattern = "/tmp/" + name + ".XXXXXX";
    if (!mkdtemp(pattern.data())) Fail("mkdtemp", errno);
    path_ = pattern;
    temporary_ = true;
  }
  ~WorkDirectory() {
    std::error_code ignored;
    if (temporary_) std::filesystem::remove_all(path_, ignored);
  }
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool temporary_ = false;
};

// A database in directory/bench.db with the given journal mode, no syncing
// (the engine does not sync) and a page cache of cacheKiB. A database a
// former run left in the directory is removed first: every run starts empty.
class SqliteDb {
 public:
  SqliteDb(const std::string& directory, const std::string& journal, size_t cacheKiB) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      std::error_code ignored;
      std::filesystem::remove(directory + "/bench.db" + suffix, ignored);
    }
    if (sqlite3_open((directory + "/bench.db").c_str(), &db_) != SQLITE_OK) Fail("sqlite3_open", 0);
    Exec("PRAGMA journal_mode=" + journal);
    Exec("PRAGMA synchronous=OFF");
    Exec("PRAGMA cache_size=-" + std::to_string(cacheKiB));
  }
  ~SqliteDb() { sqlite3_close(db_); }
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  std::string Setting(const std::string& pragma) { return Text("PRAGMA " + pragma); }
  // Bytes the connection's page cache holds now.
  size_t CacheUsed() {
    int current = 0, highest = 0;
    sqlite3_db_status(db_, SQLITE_DBSTATUS_CACHE_USED, &current, &highest, 0);
    return size_t(current);
  }

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      std::fprintf(stderr, "%s: %s\n", sql.c_str(), message ? message : "");
      Fail("sqlite3_exec", 0);
    }
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(db_));
      Fail("sqlite3_prepare", 0);
    }
    return s;
  }
  // Runs a statement that answers no rows and makes it ready for the next.
  void Step(sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_DONE) Fail("sqlite3_step", sqlite3_errcode(db_));
    sqlite3_reset(s);
  }
  // The first column of the first row as text; "" when there is none.
  std::string Text(const std::string& sql) {
    sqlite3_stmt* s = Prepare(sql);
    std::string value;
    if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0))
      value = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    return value;
  }

 protected:
  sqlite3* db_ = nullptr;
};

}  // namespace bench
