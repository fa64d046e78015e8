// Record order and navigation: the first, last, next and previous record
// number of a table in its current order.
//
// A table is walked in record-number order, in the order of its mark list,
// or in the order of one of its indexes (order mode 0, 1, 2; the index is the
// table's current index). Two optional limits bound the walk: in index order
// keys of the order's index (the lower with record number 1, the upper with
// 0x7FFFFFFF), in the other orders their first four bytes are record
// numbers. In record order the lower limit only sets where the walk starts
// and the upper limit where it stops going forward; every answer there stays
// within 1..record count.
//
// These routines only compute record numbers; in index order they also move
// the table's current key. The caller makes the number current and reads the
// record (zet01_open.h). A table whose records live only in its index (count
// unknown) is always walked by index 1, whatever order was set.
//
// end: 0 when a record was found, 1 when there is none in that direction.
// Without a record, first and last answer 0 (in index order: the current
// record), next and prior the unchanged current record; in index order the
// current key is then put back to where it was.
#pragma once

#include <cstdint>

namespace Zet01 {

uint32_t FirstOrLastRecNo(int slot, bool first, uint16_t& end);
uint32_t NextOrPriorRecNo(int slot, bool forward, uint16_t& end);
// True when the order's index is available, an upper limit exists and the
// current key lies above it, or below a lower limit.
bool KeyOutsideRange(int slot);

}  // namespace Zet01
