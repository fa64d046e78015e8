// What the fuzz targets that run Lumo code share for each input: a scratch
// folder of the run and the user's Ctrl+U once an input has run long.
//
// What holds:
//   1. While a TLumoInput lives, the scratch folder of the run (made once,
//      named after the target and the process) is current, so file and
//      directory functions act on names inside it; the fuzzer's own folder
//      is current again when it ends, whatever ChDir did.
//   2. Code that polls for Ctrl+U finds one once the input has run half a
//      second (InstallSlowBreak), as a user stops a long run.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/messages.h"

namespace lumo_fuzz {

inline uint64_t& InputStart() {
  static uint64_t start = 0;
  return start;
}

inline bool BreakWhenSlow(bool, platform::KeyMessage& message) {
  if (platform::TickCountMs() - InputStart() < 500) return false;
  message = {platform::kMsgKeyDown, 'U', true};
  return true;
}
inline void InstallSlowBreak() { platform::SetPeekKeyHook(BreakWhenSlow); }

class TLumoInput {
 public:
  explicit TLumoInput(const char* target) {
    static const std::filesystem::path scratch = [target] {
      std::filesystem::path p =
          std::filesystem::temp_directory_path() / (std::string(target) + "." + std::to_string(getpid()));
      std::filesystem::create_directories(p);
      return p;
    }();
    home_ = std::filesystem::current_path(ignored_);
    std::filesystem::current_path(scratch, ignored_);
    InputStart() = platform::TickCountMs();
  }
  ~TLumoInput() { std::filesystem::current_path(home_, ignored_); }
  TLumoInput(const TLumoInput&) = delete;
  TLumoInput& operator=(const TLumoInput&) = delete;

 private:
  std::error_code ignored_;
  std::filesystem::path home_;
};

}  // namespace lumo_fuzz
