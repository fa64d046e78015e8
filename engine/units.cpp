#include "engine/units.h"

#include <iterator>

// Each unit declares its own pair; the list below is the single place that
// fixes their order. A unit later in the list may rely on every earlier one.
#define ZET_UNIT(ns) \
  namespace ns {     \
  void UnitInit();   \
  void UnitDone();   \
  }
ZET_UNIT(dynstr)
ZET_UNIT(UPPERCAS)
ZET_UNIT(Crypt)
ZET_UNIT(Common)
ZET_UNIT(DATUM)
ZET_UNIT(LOWFILES)
ZET_UNIT(STACKLIB)
ZET_UNIT(SORT)
ZET_UNIT(ZetClass)
ZET_UNIT(Bitarray)
ZET_UNIT(BTREES)
ZET_UNIT(RamFiles)
ZET_UNIT(TextFiles)
ZET_UNIT(WINMEMOS)
ZET_UNIT(WinBlobs)
ZET_UNIT(MarkLists)
ZET_UNIT(ZetTable)
ZET_UNIT(Zet00)
ZET_UNIT(MakeIV)
ZET_UNIT(Zet06)
ZET_UNIT(Zet01)
ZET_UNIT(Zet01::Links)
ZET_UNIT(LINKFILE)
ZET_UNIT(EngineHooks)
ZET_UNIT(Zet01::Edit)
ZET_UNIT(FullText)
ZET_UNIT(LumoExec)
ZET_UNIT(ZetVars)
ZET_UNIT(LumoHost)
ZET_UNIT(Zet02)
ZET_UNIT(SysFuncs)
ZET_UNIT(LumoRun)
ZET_UNIT(LumoComm)
ZET_UNIT(ProgramError)
ZET_UNIT(ZetModules)
ZET_UNIT(ExtCalls)
ZET_UNIT(PageFormat)
ZET_UNIT(ZETEng)
ZET_UNIT(CGI)
#undef ZET_UNIT

namespace Units {
namespace {

struct UnitEntry {
  const char* name;
  void (*init)();
  void (*done)();
};

#define ZET_ENTRY(ns) {#ns, &ns::UnitInit, &ns::UnitDone}
const UnitEntry kUnits[] = {
    ZET_ENTRY(dynstr),   ZET_ENTRY(UPPERCAS), ZET_ENTRY(Crypt),    ZET_ENTRY(Common),
    ZET_ENTRY(DATUM),    ZET_ENTRY(LOWFILES), ZET_ENTRY(STACKLIB), ZET_ENTRY(SORT),
    ZET_ENTRY(ZetClass), ZET_ENTRY(Bitarray),
    ZET_ENTRY(BTREES),
    ZET_ENTRY(RamFiles), ZET_ENTRY(TextFiles),
    ZET_ENTRY(WINMEMOS),
    ZET_ENTRY(WinBlobs),
    ZET_ENTRY(MarkLists),
    ZET_ENTRY(ZetTable),
    ZET_ENTRY(Zet00),
    ZET_ENTRY(MakeIV),
    ZET_ENTRY(Zet06),
    ZET_ENTRY(Zet01),
    ZET_ENTRY(Zet01::Links),
    ZET_ENTRY(LINKFILE),
    ZET_ENTRY(EngineHooks),
    ZET_ENTRY(Zet01::Edit),
    ZET_ENTRY(FullText),
    ZET_ENTRY(LumoExec),
    ZET_ENTRY(ZetVars),
    ZET_ENTRY(LumoHost),
    ZET_ENTRY(Zet02),
    ZET_ENTRY(LumoRun),
    // After LumoRun, whose start clears the interpreter's group handlers.
    ZET_ENTRY(SysFuncs),
    ZET_ENTRY(LumoComm),
    ZET_ENTRY(ProgramError),
    ZET_ENTRY(ZetModules),
    ZET_ENTRY(ExtCalls),
    ZET_ENTRY(PageFormat),
    ZET_ENTRY(ZETEng),
    ZET_ENTRY(CGI),
};
#undef ZET_ENTRY

bool g_started = false;

}  // namespace

void StartEngine() {
  if (g_started) return;
  for (const UnitEntry& u : kUnits) u.init();
  g_started = true;
}

void StopEngine() {
  if (!g_started) return;
  for (auto it = std::rbegin(kUnits); it != std::rend(kUnits); ++it) it->done();
  g_started = false;
}

bool EngineStarted() { return g_started; }

}  // namespace Units
