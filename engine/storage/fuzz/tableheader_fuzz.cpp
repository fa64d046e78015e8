// Table file headers from arbitrary bytes: the reader must refuse what does
// not hold together and never read outside the input; a header it accepts
// must give field texts without reading outside a record.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/zet00.h"
#include "engine/storage/zet01.h"
#include "engine/storage/zettable_fields.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  // The first bytes double as the ".CIN" companion of a version-1 header.
  const uint8_t* companion = size >= Zet00::kCompanionSize ? data : nullptr;
  ZetTable::TZetTable table;
  if (Zet01::ReadTableHeaderFromBytes(table, data, size, companion) != 0) return 0;
  std::vector<uint8_t> record(table.recordLength, 0xFF);
  for (uint16_t n = 1; n <= table.fieldCount; ++n) {
    ZetTable::FieldText(table, n, record.data());
    ZetTable::SetFieldText(table, n, record.data(), "12");
  }
  return 0;
}
