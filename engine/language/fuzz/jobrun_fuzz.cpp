// Loads arbitrary bytes as a compiled job or program image and, when the
// loader accepts them, runs them over the fixture tables with a silent print
// host, as ZetExecuteJob runs a ".DBJ" file. What the loader accepts must
// run to an end: every statement, loop descriptor, sort key and expression
// it holds either works or ends the run with an error, never reads outside
// the code, recurses without bound or raises an exception.
//
// Holds for every input:
//   1. An image is refused with 29 or 82, or it runs; a run answers its job
//      error and leaves no value on the language's stack.
//   2. A run that takes long is stopped as the host stops one: a Ctrl+U
//      reaches code that polls for it, and after a second the host's break
//      request (ZetBreakExecution) ends the job before its next statement,
//      so loops that turn breaks off end too.
//   3. Every input runs over the same tables in a variable scope of its own;
//      the outside functions it declares are dropped before it runs, so no
//      library that an input names is ever loaded; file functions act in a
//      scratch folder.
#include <signal.h>
#include <sys/time.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/ramfiles.h"
#include "engine/language/extcalls.h"
#include "engine/language/fuzz/lumo_fuzz_input.h"
#include "engine/language/interp.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobimage.h"
#include "engine/language/jobrun.h"
#include "engine/language/lumostack.h"
#include "engine/language/printcalls.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/variables.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/units.h"

namespace {



void BreakFromHost(int) { JobRun::RequestBreak(); }

// A print host that prints nowhere: every page and output call succeeds.
void InstallSilentHost() {
  PrintCalls::SetPrintCtlProcs([]() -> int16_t { return 0; }, []() -> int16_t { return 0; },
                               [](int16_t) -> int16_t { return 0; }, [] {});
  PrintCalls::SetPrintProcs(
      [](uint16_t* width, uint16_t* height) {
        *width = 800;
        *height = 400;
      },
      [](int16_t, int16_t, const char*) {}, nullptr,
      [](const char* text, uint16_t* width, uint16_t* height) {
        *width = uint16_t(10 * std::char_traits<char>::length(text));
        *height = 20;
      },
      [](int16_t, int16_t) {}, [](int16_t, int16_t) {});
  PrintCalls::SetFontProcs([](uint8_t) {}, [](uint8_t) {},
                           [](const char*, int16_t, uint8_t, uint8_t, uint8_t) -> int16_t { return 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const lumo_fuzz::TLumoInput scope("jobrun_fuzz");
  static const bool ready = [] {
    Units::StartEngine();
    lumo_test::InstallFixtureTables();
    InstallSilentHost();
    lumo_fuzz::InstallSlowBreak();
    signal(SIGALRM, BreakFromHost);
    return true;
  }();
  (void)ready;
  if (size > RamFiles::kLoadLimit) return 0;
  RamFiles::TRamFile f;
  f.buffer.assign(data, data + size);
  f.size = uint32_t(size);
  f.open = true;
  ZetVars::PushVarScope();
  JobCompile::TJob job;
  const int e = JobImage::ReadImage(f, job.image);
  if (e != 0 && e != JobImage::kErrWrongFormat && e != JobImage::kErrBadCode) __builtin_trap();
  if (e == 0) {
    // Libraries that an input names are never bound: its outside functions
    // answer as unknown.
    ExtCalls::OutsideFunctions().Clear();
    JobCompile::TakeImageSettings(job);
    itimerval once{};
    once.it_value.tv_sec = 1;
    setitimer(ITIMER_REAL, &once, nullptr);
    JobRun::RunJob(job, "");
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    if (LumoExec::ValueStack().Used() != 0) __builtin_trap();
  }
  ZetVars::PopVarScope();
  ExtCalls::OutsideFunctions().Clear();
  if (ZetTable::OpenCount() != 4) {
    Zet06::CloseTablesFrom(1);
    lumo_test::InstallFixtureTables();
  }
  return 0;
}
