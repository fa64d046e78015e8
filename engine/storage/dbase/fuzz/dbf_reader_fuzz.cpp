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

#include "engine/base/engassert.h"
#include "engine/storage/dbase/dbfutil.h"
#include "engine/testsupport/fuzz_file.h"

namespace {

constexpr size_t kPrefix = 3;
constexpr std::string_view kUnknownType = "Unknown field type in table: ";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPrefix) return 0;
  const bool fpt = (data[0] & 1) != 0;
  const size_t dbfSize = std::min<size_t>(size - kPrefix, size_t(data[1] | data[2] << 8));
  zetfuzz::InputFile dbf(data + kPrefix, dbfSize, ".DBF");
  zetfuzz::InputFile memo(data + kPrefix + dbfSize, size - kPrefix - dbfSize, fpt ? ".FPT" : ".DBT");
  const std::string dir = dbf.path().substr(0, dbf.path().rfind('/') + 1);
  try {
    DbfUtil::DbfToTable(dbf.path(), dir + "OUT.DAT", nullptr, 1);
  } catch (const EAssertion& e) {
    // The one exception the import raises on purpose.
    if (std::string_view(e.what()).substr(0, kUnknownType.size()) != kUnknownType) abort();
  }
  unlink((dir + "OUT.DAT").c_str());
  unlink((dir + "OUT.MMO").c_str());
  return 0;
}
