// Feeds arbitrary bytes to the compiled-job loader: it must refuse damaged
// images with 29 or 82 and never read outside them; an image it accepts
// must write and read again to the same sections and code.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/ramfiles.h"
#include "engine/language/extcalls.h"
#include "engine/language/jobimage.h"
#include "engine/language/variables.h"
#include "engine/units.h"

namespace {

int Read(const std::string& bytes, JobImage::TImage& image) {
  RamFiles::TRamFile f;
  f.buffer.assign(bytes.begin(), bytes.end());
  f.size = uint32_t(bytes.size());
  f.open = true;
  return JobImage::ReadImage(f, image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  if (size > RamFiles::kLoadLimit) return 0;
  JobImage::TImage image;
  ZetVars::PushVarScope();
  const int e = Read(std::string(reinterpret_cast<const char*>(data), size), image);
  if (e != 0 && e != JobImage::kErrWrongFormat && e != JobImage::kErrBadCode) __builtin_trap();
  if (e == 0) {
    RamFiles::TRamFile out;
    RamFiles::RamRewrite(out, "");
    if (JobImage::WriteImage(out, image) == 0) {
      const std::string again(out.buffer.begin(), out.buffer.begin() + out.position);
      ZetVars::PopVarScope();
      ZetVars::PushVarScope();
      JobImage::TImage back;
      if (Read(again, back) != 0 || back.code != image.code || back.sections != image.sections)
        __builtin_trap();
    }
  }
  ZetVars::PopVarScope();
  ExtCalls::OutsideFunctions().Clear();
  return 0;
}
