// Writing a table file's header (layout: zet00.h).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/zettable.h"

namespace Zet06 {

// The table's header as the file holds it, from the magic (version 2) or the
// record count (version 1) to the next auto number: the index directory of
// slots 1..15 (version 1: 1..5), the descriptors, the table code as the
// object holds it, then for the fields in order their choices (as many as
// byte 44 counts), formulas and value ranges, and with an N field the ID key
// description and the next auto number. Version-1 texts go out in the OEM
// code page and value ranges as 6-byte reals; the object is not changed.
std::vector<uint8_t> BuildTableHeader(const ZetTable::TZetTable& table);

// Writes the header at the start of the table's open file, and for a
// version-1 table with more than five index slots the ".CIN" companion; sets
// the header size. Answers 0, or 3 reported with the file name.
int WriteTableHeader(ZetTable::TZetTable& table);

}  // namespace Zet06
