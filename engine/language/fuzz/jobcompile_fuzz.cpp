// Feeds arbitrary job texts (lines split at line feeds) to the job compiler:
// it must answer an error or compile, never read outside its lines, and
// compiled code must pass the verifier of loaded code.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/language/extcalls.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobimage.h"
#include "engine/language/printcalls.h"
#include "engine/language/variables.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  if (size > 20000) return 0;
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') lines.emplace_back();
    else if (lines.back().size() < 255) lines.back() += char(data[i]);
  }
  ZetVars::PushVarScope();
  PrintCalls::ClearFonts();
  PrintCalls::DefineStandardFonts();
  JobCompile::TJob job;
  const bool program = size > 0 && data[0] == 'M';
  if (JobCompile::Compile(lines, program, "FUZZ.JOB", job) == 0) {
    std::array<uint32_t, JobImage::kSectionCount> sections = job.image.sections;
    if (JobImage::VerifyCode(job.image.code, sections) != 0) __builtin_trap();
  }
  ZetVars::PopVarScope();
  ExtCalls::OutsideFunctions().Clear();  // DLLPROC declarations
  return 0;
}
