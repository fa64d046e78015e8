// Support for libFuzzer targets whose reader takes a file name: the input is
// written to a private temporary file that lives for one run.
//
// Each process makes one private folder under /tmp on its first input; every
// file a run writes (the input and whatever the reader makes beside it) lies
// in that folder, and the folder goes with everything in it when the process
// ends normally.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "engine/units.h"

namespace zetfuzz {

// The folder of this process: made on first use, removed at exit.
class TempDir {
 public:
  static const std::string& Path() {
    static const TempDir dir;
    return dir.path_;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

 private:
  TempDir() {
    char pattern[] = "/tmp/zetfuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    path_ = pattern;
    Units::StartEngine();
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string path_;
};

class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size, const char* extension) {
    path_ = TempDir::Path() + "/INPUT" + extension;
    FILE* f = fopen(path_.c_str(), "wb");
    if (f == nullptr) abort();
    if (size != 0 && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
  }
  ~InputFile() { unlink(path_.c_str()); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Ends the run where a rule of the target does not hold, naming the line of
// the rule (the compiler folds the aborts of a target into one).
inline void Require(bool holds, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (holds) return;
  std::fprintf(stderr, "rule broken: %s:%d\n", file, line);
  abort();
}

// The bytes of a file (empty when there is none).
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace zetfuzz
