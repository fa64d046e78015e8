// Feeds arbitrary bytes to the profile reader as an INI file: every read
// (lists, values, numbers) must stay inside its buffer, and a write after it
// must leave a file that reads back the written value.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/settings/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/qmk_profile_fuzz_" + std::to_string(getpid()) + ".ini";
  static const struct RemoveAtExit {
    ~RemoveAtExit() { unlink(path.c_str()); }
  } removeAtExit;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  char small[5], big[512];
  const char* file = path.c_str();
  win::GetPrivateProfileStringA(nullptr, nullptr, "", big, sizeof big, file);
  win::GetPrivateProfileStringA(nullptr, nullptr, "", small, sizeof small, file);
  // The first section's keys and values, read into a small buffer too.
  std::string section = big;
  win::GetPrivateProfileStringA(section.c_str(), nullptr, "", big, sizeof big, file);
  std::string key = big;
  win::GetPrivateProfileStringA(section.c_str(), key.c_str(), "d", small, sizeof small, file);
  win::GetPrivateProfileIntA(section.c_str(), key.c_str(), 7, file);

  win::WritePrivateProfileStringA("Fuzz", "Key", "value", file);
  win::GetPrivateProfileStringA("fuzz", "KEY", "", big, sizeof big, file);
  if (std::strcmp(big, "value") != 0) __builtin_trap();
  return 0;
}
