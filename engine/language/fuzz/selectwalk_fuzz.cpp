// Decides arbitrary bytes as a selection on an arbitrary record, as a walk
// does without the interpreter, and checks the answer against the
// evaluator's: the walk's reading of the code must never read outside it,
// and where it decides a record itself (a plain condition whose values its
// rules cover) it must select exactly what the evaluator in mode 3 selects,
// with no error. The first bytes of an input are the record of the fixture's
// customer table, the rest the code.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/language/selection.h"
#include "engine/language/selectwalk.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/storage/zettable.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    Units::StartEngine();
    lumo_test::InstallFixtureTables();
    return true;
  }();
  (void)ready;
  ZetTable::TZetTable& t = *ZetTable::Table(lumo_test::kKunden);
  const size_t recordBytes = std::min(size, size_t(t.recordLength));
  std::fill(t.recordBuffer.begin(), t.recordBuffer.end(), 0);
  std::memcpy(t.recordBuffer.data(), data, recordBytes);
  const std::string_view rest(reinterpret_cast<const char*>(data) + recordBytes, size - recordBytes);
  ShortStr code(rest.substr(0, ShortStr::kMax));
  ZetTable::SetCurrentHandle(lumo_test::kKunden);
  t.orderMode = ZetTable::kOrderRecords;
  const Zet02::TSelectionWalk walk(lumo_test::kKunden, code);
  (void)walk.Answers(code.view());
  const uint8_t decided = walk.DecideRecord();
  if (decided == 2) return 0;
  int error = 0;
  int dependency = 0;
  const bool hit = Zet02::EvalSelection(code, 3, error, dependency);
  if (error != 0 || hit != (decided == 0)) __builtin_trap();
  return 0;
}
