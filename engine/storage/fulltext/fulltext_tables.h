// Table services of the full-text build that the record layer does not
// offer: emptying a table and its automatic-number counter.
#pragma once

#include <cstdint>

namespace FullText {

// The next automatic number as the header holds it (its last 4 bytes, plain;
// 0 without an N field), and writing it there.
uint32_t ReadNextAutoNumber(int handle);
int WriteNextAutoNumber(int handle, uint32_t next);
// Deletes every record: the record cache is emptied, the file cut behind the
// header, the count becomes 0, the counter of an ID table restarts at 1, and
// every index is rebuilt empty. Answers 0 or the engine error, reported.
int EmptyTable(int handle);

}  // namespace FullText
