// Checking a table's memo file for damage without changing it.
//
// The memo file (winmemos.h) is block 0, the header {next free, highest},
// then data blocks of 256 bytes {link, text}; a block whose text holds a 0
// or ^Z ends its memo. Blocks 1..B exist in a file of (B + 1) x 256 bytes.
// The check walks the free list from the header, then every memo chain of
// every record, and marks each block it meets: a block may belong to the
// free list or to one memo, never to two of them.
#pragma once

#include <cstdint>

namespace Zet01 {

// Results of CheckMemoFile.
inline constexpr int32_t kMemoSound = 0;
inline constexpr int32_t kMemoBadHeader = -1;     // head beyond B + 1 or highest above B
inline constexpr int32_t kMemoFreeListLoop = -2;  // the free list meets a block twice
inline constexpr int32_t kMemoBadLink = -3;       // a link below 0 or above B + 1
inline constexpr int32_t kMemoFreeBlockUsed = -4; // a memo runs into the free list
inline constexpr int32_t kMemoBlockShared = -5;   // a block of two memos, or a loop

// Checks the memo file of the table (0 for a table without one): answers
// kMemoSound or the first damage found. A memo chain ends without fault at
// the block that ends its text, and at a link of 0 or B + 1. A block or
// record that cannot be read ends the check with 2 ("Lesefehler", reported).
int32_t CheckMemoFile(int slot);

}  // namespace Zet01
