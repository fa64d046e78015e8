// Steps through a table of N records (default 1,000,000) once on the
// engine's exports (ZetTableMoveBy and five ZetTableGetStr per record) and
// once through the data source (MoveBy(1) and five GetFieldText), and prints
// both times, their ratio against the budget of 1.5, and the heap
// allocations per field read through the source (budget: none).
//
// Usage: dataviews_bench [records] [directory]
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/interface/include/zetcore.h"
#include "runtime/dataviews/zetdatasrc.h"

namespace {

std::atomic<uint64_t> g_allocations{0};

}  // namespace

// Counts every allocation of the process (the engine's included).
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t m) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}

namespace {

using Clock = std::chrono::steady_clock;
const char* const kFields[5] = {"NAME", "MENGE", "PREIS", "ORT", "PLZ"};

void Fields(int32_t field, ZetFieldDef* def, uint32_t) {
  struct {
    const char* name;
    uint16_t type, parameter;
  } const defs[] = {{"NAME", 1, 20}, {"MENGE", 2, 0}, {"PREIS", 3, 2}, {"ORT", 1, 20}, {"PLZ", 2, 0}};
  std::strcpy(def->name, defs[field - 1].name);
  def->type = defs[field - 1].type;
  def->parameter = defs[field - 1].parameter;
}

[[noreturn]] void Fail(const char* what, long code) {
  std::fprintf(stderr, "dataviews_bench: %s failed (%ld)\n", what, code);
  std::exit(1);
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
  const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
  const std::string dir = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "dataviews_bench").string();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/BENCH.DAT";
  if (int r = ZetRltnCreate(path.c_str(), "", 0, 2, 5, Fields, 0, 0); r != 0) Fail("ZetRltnCreate", r);
  const int32_t relation = ZetRltnOpen(path.c_str(), "", 0, 15);
  if (relation <= 0) Fail("ZetRltnOpen", relation);
  {
    const int32_t c = ZetTableCreate(relation);
    char text[32];
    for (long i = 0; i < records; ++i) {
      ZetTableAppend(c);
      std::snprintf(text, sizeof text, "Name %ld", i);
      ZetTableSetStr(c, "NAME", text);
      ZetTableSetStr(c, "MENGE", std::to_string(i % 1000).c_str());
      ZetTableSetStr(c, "PREIS", "12,50");
      ZetTableSetStr(c, "ORT", "Berlin");
      ZetTableSetStr(c, "PLZ", "10115");
      if (int r = ZetTableAppendConfirm(c); r != 0) Fail("ZetTableAppendConfirm", r);
    }
    ZetTableDelete(c);
  }
  char buffer[256];
  size_t checksum = 0;

  const int32_t raw = ZetTableCreate(relation);
  auto start = Clock::now();
  long steps = 0;
  for (int32_t r = ZetTableFirst(raw); r >= 0; r = ZetTableMoveBy(raw, 1), ++steps)
    for (const char* f : kFields) {
      ZetTableGetStr(raw, f, buffer, sizeof buffer - 1);
      checksum += buffer[0];
    }
  const double rawSeconds = Seconds(start);
  ZetTableDelete(raw);

  dataviews::TZetDataSource source(relation);
  source.MoveTo(-1);
  const uint64_t before = g_allocations.load();
  start = Clock::now();
  long sourceSteps = 0;
  for (int32_t r = 0; r >= 0; r = source.MoveBy(1), ++sourceSteps)
    for (const char* f : kFields) {
      source.GetFieldText(f, buffer, sizeof buffer - 1);
      checksum += buffer[0];
    }
  const double sourceSeconds = Seconds(start);
  const uint64_t allocations = g_allocations.load() - before;

  std::printf("records                 %ld (stepped %ld / %ld)\n", records, steps, sourceSteps);
  std::printf("raw exports             %.3f s  (%.0f records/s)\n", rawSeconds, steps / rawSeconds);
  std::printf("data source             %.3f s  (%.0f records/s)\n", sourceSeconds, sourceSteps / sourceSeconds);
  std::printf("ratio source/raw        %.2f   (budget 1.50)\n", sourceSeconds / rawSeconds);
  std::printf("allocations per field   %.4f (%llu in all; budget 0)\n",
              double(allocations) / double(5 * std::max(sourceSteps, 1L)), (unsigned long long)allocations);
  std::printf("checksum                %zu\n", checksum);
  ZetRltnCloseAll();
  std::filesystem::remove_all(dir);
  return 0;
}
