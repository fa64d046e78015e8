// Feeds arbitrary bytes to the dBase import as a DBF file with its memo file
// and lets it make a table of them.
//
// Input: byte 0 picks the memo file (bit 0: FPT, else DBT), bytes 1-2 give
// the length of the DBF part (little-endian), the DBF follows, the rest is
// the memo file.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/storage/dbase/dbfutil.h"
#include "engine/testsupport/fuzz_file.h"

namespace {

constexpr size_t kPrefix = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPrefix) return 0;
  const bool fpt = (data[0] & 1) != 0;
  const size_t dbfSize = std::min<size_t>(size - kPrefix, size_t(data[1] | data[2] << 8));
  zetfuzz::InputFile dbf(data + kPrefix, dbfSize, ".DBF");
  zetfuzz::InputFile memo(data + kPrefix + dbfSize, size - kPrefix - dbfSize, fpt ? ".FPT" : ".DBT");
  const std::string dir = dbf.path().substr(0, dbf.path().rfind('/') + 1);
  DbfUtil::DbfToTable(dbf.path(), dir + "OUT.DAT", nullptr, 1);
  unlink((dir + "OUT.DAT").c_str());
  unlink((dir + "OUT.MMO").c_str());
  return 0;
}
