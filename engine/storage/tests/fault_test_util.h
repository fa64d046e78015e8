// A process that dies between two writes, for the crash-safety tests: from
// some write on, nothing more reaches the files.
#pragma once

#include "platform/files.h"

namespace fault_test {

// More writes than any test makes between its "death" and the reset.
inline constexpr int kWritesAfterDeath = 200;

// After `after` more writes that succeed, every file write and truncation
// fails, as if the process had died there. platform::ResetFileFaults (or a
// TFaultReset going out of scope) brings the files back.
inline void DieAfterWrites(int after = 0) {
  for (int n = 1; n <= kWritesAfterDeath; ++n) {
    platform::InjectFileFault(platform::FileOp::Write, after + n, platform::kDosWriteFault);
    platform::InjectFileFault(platform::FileOp::Truncate, n, platform::kDosWriteFault);
  }
}

// Ends every planned fault when it goes out of scope, also when a test
// fails half-way.
struct TFaultReset {
  TFaultReset() = default;
  TFaultReset(const TFaultReset&) = delete;
  TFaultReset& operator=(const TFaultReset&) = delete;
  ~TFaultReset() { platform::ResetFileFaults(); }
};

}  // namespace fault_test
