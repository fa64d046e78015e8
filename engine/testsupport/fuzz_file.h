// Support for libFuzzer targets whose reader takes a file name: the input is
// written to a private temporary file that lives for one run.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/units.h"

namespace zetfuzz {

class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size, const char* extension) {
    static const std::string dir = MakeDir();
    path_ = dir + "/INPUT" + extension;
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
  static std::string MakeDir() {
    char pattern[] = "/tmp/zetfuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    Units::StartEngine();
    return pattern;
  }
  std::string path_;
};

}  // namespace zetfuzz
