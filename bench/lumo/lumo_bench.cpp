// The Lumo interpreter against Lua 5.4 on the same small programs, in one
// run: a counting loop of 10^7 passes, recursive fib(27), building a text of
// 10^5 pieces, filling and summing 10^6 array elements. Lumo texts stop at
// 255 characters and its arrays at 64 KiB of data, so the text program keeps
// the last 255 characters on both sides and the array program fills an array
// of 8000 elements 125 times on both sides. Procedure bodies run through the
// interpreter's procedure hook as the job runner will run them. The program
// prints each time (the best of three runs per side), the ratio Lumo / Lua
// and both results.
//
//   lumo_bench [scale [marks]]   (the loop counts divided by scale, default 1;
//                                  marks n, default and at most 100000)
//
// Both sides must give the same result for each program; the benchmark says
// so, or stops. Lua runs with the collector as the standalone lua5.4 sets it
// (generational).
//
// Where the time goes (perf, Release). A line that runs again, or holds an
// NLoop, runs from its translation (engine/language/translate.h): operands
// and operators found once, number chains worked out without the levels, and
// an NLoop whose items assign plain numbers runs compiled: each item a tree
// of small expression functions that hand their values back in registers,
// with operands that are a variable or a constant read by the operator
// itself and the variables' and arrays' places resolved once for the loop.
// A counting pass is then the load, add and store of its variable, as in
// Lua's own loop; whole-number subscripts skip the rounding call, and an
// item that assigns an element whose one subscript is the loop's counter
// (arr[i] := ...) runs through a runner of its own that takes the pass's
// number as the element's place, one call per item (before it, the place
// and the value were two calls more per pass, and arrays ran at 1.2-2.0
// times Lua). Before the compiled items, the passes pushed every value
// through a stack in memory, and half of a pass was store-to-load waits
// on it. Recursive calls ran at 7-10
// times Lua while each call made its parameters entries of the one variable
// table and ran its body as a nested run through the procedure hook. Now
// the hook names each body's line (procedureLine), and a body of numbers
// only runs compiled like the loops, with every procedure it calls: the
// arguments go into a frame of numbers on the machine stack, a call is an
// indirect call of the callee's expression tree. Ratios Lumo / Lua
// measured (Release, a shared machine of 8 cores under a load of 10 to 36,
// best of three per side): counting 0.9-1.1, fib 0.43-0.53, texts
// 0.7-1.0, arrays 0.45-0.8 (1.2-2.0 before the element runners; before the
// compiled calls, in the quietest runs:
// counting 1.04-1.08, fib 7.3, texts 0.64, arrays 1.0-1.2; before the
// compiled items: 1.9-2.7, 7.7-10, 0.6, 1.5-2.0; before the translation:
// 11.6, 10.1, 0.49, 12.1).
// selection_bench in this folder compares selections with SQLite.
//
// Marks: a table of n / 4, n / 2 and n records (in memory, no file; n from
// the command line, 100,000 when not given) has every record marked one at
// a time from Lumo (NLoop over SetMark), then its marks read into a bit
// array (GetMarks) and set again from it (PutMarks); Lua does the same with
// a table as the set and an array as the order. Each line prints the
// seconds and the ratio Lumo / Lua per phase, and the time per mark; the
// times grow in proportion to n (the last column stays flat), because the
// mark list answers "is it marked" from its own count table. Measured
// (Release, 100,000 marks): about 0.4 us per mark for all three phases;
// SetMark from Lumo about as fast as Lua's table insert (ratio 0.5 to 1.5),
// GetMarks and PutMarks far below Lua (ratios 0.03 and 0.1 to 0.2).
#include <lua.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/variables.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zettable.h"
#include "engine/units.h"

namespace {

using Clock = std::chrono::steady_clock;

std::map<uint16_t, std::string> g_bodies;

int RunBody(uint16_t proc, Zet02::TRunValue& value) {
  auto it = g_bodies.find(proc);
  if (it == g_bodies.end()) return 0;
  size_t pos = 0;
  int dependency = 0;
  return Zet02::ExecuteCode(it->second, pos, 3, value, dependency);
}

std::string Compile(const std::string& text) {
  ShortStr code(text);
  uint64_t set = 0;
  if (Zet02::CompileExpression(code, set) != 0) {
    std::fprintf(stderr, "lumo_bench: does not compile: %s\n", text.c_str());
    std::exit(1);
  }
  return code.str();
}

void Declare(const char* text) {
  size_t pos = 1;
  uint16_t err = 0;
  ZetVars::ParseVarDeclaration(0, text, pos, err, false);
  if (err != 0) std::exit(1);
}

// The body line of a procedure: RunBody runs nothing else.
std::string_view BodyLine(uint16_t proc) {
  const auto it = g_bodies.find(proc);
  return it == g_bodies.end() ? std::string_view() : std::string_view(it->second);
}

double TimeLumo(const std::string& text, double& result) {
  const std::string code = Compile(text);
  const auto start = Clock::now();
  Zet02::TRunValue value;
  size_t pos = 0;
  int dependency = 0;
  const int e = Zet02::ExecuteCode(code, pos, 3, value, dependency);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (e != 0) {
    std::fprintf(stderr, "lumo_bench: run error %d in %s\n", e, text.c_str());
    std::exit(1);
  }
  result = value.type == Zet02::kValString ? double(value.text.size()) : value.number;
  return seconds;
}

double TimeLua(lua_State* L, const std::string& chunk, double& result) {
  const auto start = Clock::now();
  if (luaL_dostring(L, chunk.c_str()) != LUA_OK) {
    std::fprintf(stderr, "lumo_bench: lua: %s\n", lua_tostring(L, -1));
    std::exit(1);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result = lua_tonumber(L, -1);
  lua_pop(L, 1);
  return seconds;
}

// Marking n records one by one, then through a bit array, for n / 4, n / 2
// and n; each phase against Lua doing the same with a table as the set and
// an array as the order of the marks.
void BenchMarks(lua_State* L, int largest) {
  const int sizes[] = {largest / 4, largest / 2, largest};
  // A bound stops at five digits below 65000: two dimensions give the bits.
  Declare("bits: TBITS[10, 9999]");
  Declare("r: REAL");
  std::printf("\nmarks: Lumo (mark list, bit array of 100,000 records) / Lua (set table and order array)\n");
  std::printf("%-10s %10s %10s %10s %10s %10s %10s %12s\n", "marks n", "SetMark s", "ratio", "GetMarks s", "ratio",
              "PutMarks s", "ratio", "us per mark");
  for (int n : sizes) {
    if (n <= 0 || n > 100000) continue;
    auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeInteger, 1, 5}});
    t->fileName = "MARKEN.DAT";
    t->recordCount = n;
    zettable_test::Install(std::move(t));
    double value = 0;
    const double one = TimeLumo("NLoop(r, " + std::to_string(n - 1) + ", SetMark(1, r + 1))", value);
    const double get = TimeLumo("GetMarks(1, bits)", value);
    const double put = TimeLumo("PutMarks(1, bits)", value);
    if (ZetTable::MarkList(*ZetTable::Table(1)).Count() != uint32_t(n)) {
      std::fprintf(stderr, "lumo_bench: %d marks expected, %u made\n", n, ZetTable::MarkList(*ZetTable::Table(1)).Count());
      std::exit(1);
    }
    const std::string count = std::to_string(n);
    double luaValue = 0;
    const double luaOne = TimeLua(L,
        "local m, o = {}, {} for r = 1, " + count + " do if not m[r] then m[r] = true o[#o + 1] = r end end "
        "M, O = m, o return #o", luaValue);
    const double luaGet = TimeLua(L,
        "local b = {} for _, r in ipairs(O) do local k = r >> 3 b[k] = (b[k] or 0) | (1 << (r & 7)) end "
        "B = b return #O", luaValue);
    const double luaPut = TimeLua(L,
        "local m, o = {}, {} for k, v in pairs(B) do for i = 0, 7 do if v & (1 << i) ~= 0 then "
        "local r = k * 8 + i if not m[r] then m[r] = true o[#o + 1] = r end end end end return #o", luaValue);
    if (luaValue != n) {
      std::fprintf(stderr, "lumo_bench: Lua made %.0f marks of %d\n", luaValue, n);
      std::exit(1);
    }
    std::printf("%-10d %10.4f %10.2f %10.4f %10.2f %10.4f %10.2f %12.3f\n", n, one, one / luaOne, get, get / luaGet, put,
                put / luaPut, (one + get + put) * 1e6 / n);
    ZetTable::RemoveTable(1);
    ZetTable::SetOpenCount(0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  // The largest number of marks (at most 100,000, the bit array's records).
  const int marks = argc > 2 ? std::atoi(argv[2]) : 100000;
  Units::StartEngine();
  Declare("i, n, acc: REAL");
  Declare("s: STRING");
  Declare("arr: REAL[7999]");
  Zet02::TRunHooks hooks{};
  hooks.runProcedure = RunBody;
  hooks.procedureLine = BodyLine;
  Zet02::SetRunHooks(hooks);
  size_t pos = 1;
  uint16_t err = 0;
  const uint16_t fib = ZetVars::DefineProcedure("Fib(k: REAL): REAL", 0, pos, err);
  ZetVars::SetLocalBase(ZetVars::VariableCount());
  ZetVars::InstantiateParameters(fib, false);
  g_bodies[fib] = Compile("Choice(k, 1, 1, Fib(k - 1) + Fib(k - 2))");
  ZetVars::DropLocalVariables();
  ZetVars::SetLocalBase(0);
  Zet02::SetWriteEnable(true);

  lua_State* L = luaL_newstate();
  // The collector as the standalone lua5.4 runs it: stopped while the
  // libraries open, then restarted in generational mode.
  lua_gc(L, LUA_GCSTOP);
  luaL_openlibs(L);
  lua_gc(L, LUA_GCRESTART);
  lua_gc(L, LUA_GCGEN, 0, 0);
  struct Program {
    const char* name;
    std::string lumo;
    std::string lua;
  };
  // The workload divided by scale (for profiling runs); fib keeps its depth.
  const std::string count = std::to_string(10000000 / scale - 1);
  const std::string pieces = std::to_string(100000 / scale - 1);
  const std::string rounds = std::to_string(std::max(1, 125 / scale) - 1);
  const Program programs[] = {
      {"count 10^7", "(acc := 0) + NLoop(i, " + count + ", acc := acc + 1) * 0 + acc",
       "local acc = 0 for i = 0, " + count + " do acc = acc + 1 end return acc"},
      {"fib(27)", "Fib(27)",
       "local function fib(k) if k < 3 then return 1 end return fib(k - 1) + fib(k - 2) end return fib(27)"},
      {"text 10^5", "NLoop(i, " + pieces + ", s := s + 'ab')",
       "local s = '' for i = 0, " + pieces + " do s = string.sub(s .. 'ab', 1, 255) end return " + pieces},
      {"array 10^6",
       "(acc := 0) + NLoop(n, " + rounds + ", NLoop(i, 7999, arr[i] := i)) * 0 + NLoop(i, 7999, acc := acc + arr[i]) * 0 + acc",
       "local arr = {} for n = 0, " + rounds + " do for i = 0, 7999 do arr[i] = i end end "
       "local acc = 0 for i = 0, 7999 do acc = acc + arr[i] end return acc"},
  };
  std::printf("%-12s %10s %10s %8s %12s %12s\n", "program", "lumo s", "lua s", "ratio", "lumo value", "lua value");
  for (const Program& p : programs) {
    double a = 0;
    double b = 0;
    // The best of three runs on each side, so that a busy machine shows less.
    double lumo = TimeLumo(p.lumo, a);
    double lua = TimeLua(L, p.lua, b);
    for (int round = 1; round < 3; ++round) {
      lumo = std::min(lumo, TimeLumo(p.lumo, a));
      lua = std::min(lua, TimeLua(L, p.lua, b));
    }
    std::printf("%-12s %10.3f %10.3f %8.2f %12.0f %12.0f\n", p.name, lumo, lua, lumo / lua, a, b);
    if (a != b) {
      std::fprintf(stderr, "lumo_bench: %s: Lumo gives %.17g, Lua %.17g\n", p.name, a, b);
      std::exit(1);
    }
  }
  std::printf("both sides give the same results\n");
  if (scale == 1) BenchMarks(L, marks);  // profiling runs leave the marks out
  lua_close(L);
  Units::StopEngine();
  return 0;
}
