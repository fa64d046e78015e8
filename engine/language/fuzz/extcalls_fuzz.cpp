// Feeds arbitrary bytes to the loader of the outside-function list, as a
// compiled program carries it. A list that loads must store to bytes that
// load again to the same bytes, and every function it names is there.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/ramfiles.h"
#include "engine/language/extcalls.h"
#include "engine/units.h"

namespace {

std::vector<uint8_t> Stored(const ExtCalls::TFunctionList& list) {
  RamFiles::TRamFile out;
  RamFiles::RamRewrite(out, "");
  list.Store(out);
  return std::vector<uint8_t>(out.buffer.begin(), out.buffer.begin() + out.position);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  RamFiles::TRamFile in;
  in.buffer.assign(data, data + size);
  in.size = uint32_t(size);
  in.open = true;
  ExtCalls::TFunctionList list(ExtCalls::kOutsideGroup);
  if (list.Load(in) != 0) {
    if (list.FunctionCount() != 0 || list.LibraryCount() != 0) __builtin_trap();
    return 0;
  }
  const std::vector<uint8_t> first = Stored(list);
  RamFiles::TRamFile again;
  again.buffer = first;
  again.size = uint32_t(first.size());
  again.open = true;
  ExtCalls::TFunctionList copy(ExtCalls::kOutsideGroup);
  if (copy.Load(again) != 0 || Stored(copy) != first) __builtin_trap();
  return 0;
}
