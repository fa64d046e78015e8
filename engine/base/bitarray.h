// Bit arrays: one bit per record for record sets, and 16 global slots that
// keep copies of them.
//
// Bit n lives in byte n div 8, at bit n mod 8 counted from the least
// significant bit. The array is a plain view {byte count, buffer}: Create and
// Free manage a buffer of its own, while callers may also lay it over memory
// they own (a bit-array variable of the language).
#pragma once

#include <cstdint>

namespace Bitarray {

struct TBitArray {
  int32_t byteCount = 0;
  uint8_t* buffer = nullptr;
};

inline constexpr int kGlobalSlots = 16;

// Allocates byteCount zero bytes (none for a count of 0 or less).
void Create(TBitArray& array, int32_t byteCount);
// Frees a buffer made by Create; the array becomes empty.
void Free(TBitArray& array);
// Zeroes all bytes.
void Clear(TBitArray& array);

// Bits outside the array (n < 0 or beyond the byte count) are ignored by
// SetBit and ClearBit and read as false by TestBit.
void SetBit(TBitArray& array, int32_t n);
void ClearBit(TBitArray& array, int32_t n);
bool TestBit(const TBitArray& array, int32_t n);

// target := target AND / OR / AND NOT source, byte by byte over the smaller
// of the two byte counts; the target's bytes beyond it stay.
void AndBits(TBitArray& target, const TBitArray& source);
void OrBits(TBitArray& target, const TBitArray& source);
void AndNotBits(TBitArray& target, const TBitArray& source);
// Copies the smaller of the two byte counts.
void CopyBits(TBitArray& target, const TBitArray& source);
// Number of set bits.
int32_t CountBits(const TBitArray& array);

// Slot numbers are taken modulo 16. StoreGlobal replaces the slot's copy by a
// copy of the array (byte count and bits); LoadGlobal copies the slot into
// the array over the smaller byte count.
void StoreGlobal(const TBitArray& array, int slot);
void LoadGlobal(TBitArray& array, int slot);

void UnitInit();
void UnitDone();

}  // namespace Bitarray
