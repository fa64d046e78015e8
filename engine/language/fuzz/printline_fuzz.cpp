// Feeds arbitrary bytes to the line formatter as one print line (loaded job
// code hands its print lines to it unchecked): it must stop at the line's
// end, never write past the 20 column states, and leave the formatter's
// state as it found it, printed or collected into a sub-report's pool.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/sort.h"
#include "engine/language/lineformat.h"
#include "engine/language/pageformat.h"
#include "engine/language/variables.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  if (size == 0 || size > 256) return 0;
  // The first byte chooses printing or collecting; the rest is the line.
  const bool collect = (data[0] & 1) != 0;
  const std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);
  ZetVars::PushVarScope();
  PageFormat::InitPageFormatter(800, 400, 0, 0, 0, 0, 0);
  PageFormat::SetPrinting(true);
  PageFormat::TLayout& g = PageFormat::Layout();
  const int16_t left = g.left;
  SORT::BeginSort();
  LineFormat::FormatLine(line, collect);
  // A second pass takes whatever the first carried over a page end.
  if (LineFormat::AnyColumnContinues()) LineFormat::FormatLine(line, false);
  SORT::EndSort();
  LineFormat::ReleaseColumnStates();
  if (g.left != left || g.error != 0 || (g.header && !g.header->empty()) || g.moreRecords)
    __builtin_trap();
  PageFormat::SetPrinting(false);
  ZetVars::PopVarScope();
  return 0;
}
