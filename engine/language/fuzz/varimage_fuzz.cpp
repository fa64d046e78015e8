// Feeds arbitrary bytes to the program-image loader of the variable store;
// an image it accepts must save and load again to the same image.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/ramfiles.h"
#include "engine/language/variables.h"
#include "engine/units.h"

namespace {

std::vector<uint8_t> Save() {
  RamFiles::TRamFile f;
  RamFiles::RamRewrite(f, "");
  ZetVars::SaveVariableImage(f);
  return std::vector<uint8_t>(f.buffer.begin(), f.buffer.begin() + f.position);
}

int Load(const std::vector<uint8_t>& image) {
  RamFiles::TRamFile f;
  f.buffer = image;
  f.size = uint32_t(image.size());
  f.open = true;
  return ZetVars::LoadVariableImage(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  if (size > RamFiles::kLoadLimit) return 0;
  ZetVars::PushVarScope();
  if (Load(std::vector<uint8_t>(data, data + size)) == 0) {
    const std::vector<uint8_t> saved = Save();
    ZetVars::PopVarScope();
    ZetVars::PushVarScope();
    if (Load(saved) != 0) __builtin_trap();
  }
  ZetVars::PopVarScope();
  return 0;
}
