// Block scrambling of stored table data (records, memo and blob blocks).
//
// A keyed byte stream with feedback from the scrambled bytes, run three times
// over the block: forward, backward, forward. The 32-bit key seeds a 16-bit
// register pair (low half L, high half H) afresh for every pass. A key of 0
// means "stored plain": callers use ScrambleBlock / UnscrambleBlock, which
// leave the block alone for it.
#pragma once

#include <cstddef>
#include <cstdint>

// The unit is named Crypt rather than crypt: the C library declares a
// function crypt() in <unistd.h>, and a namespace of that name cannot stand
// beside it.
namespace Crypt {

// Scrambles length bytes in place with key.
void Scramble(uint8_t* buffer, size_t length, uint32_t key);
// Restores a block that Scramble produced with the same key and length.
void Unscramble(uint8_t* buffer, size_t length, uint32_t key);

// Scramble / Unscramble, except that key 0 leaves the block plain.
void ScrambleBlock(uint8_t* buffer, size_t length, uint32_t key);
void UnscrambleBlock(uint8_t* buffer, size_t length, uint32_t key);

void UnitInit();
void UnitDone();

}  // namespace Crypt
