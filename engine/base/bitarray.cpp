#include "engine/base/bitarray.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Bitarray {

namespace {

constexpr int kBitsPerByte = 8;

std::vector<uint8_t> g_slots[kGlobalSlots];

size_t Bytes(const TBitArray& array) { return array.byteCount > 0 && array.buffer ? size_t(array.byteCount) : 0; }

size_t Overlap(const TBitArray& a, const TBitArray& b) { return std::min(Bytes(a), Bytes(b)); }

// The byte that holds bit n, nullptr when n lies outside the array.
uint8_t* ByteOf(const TBitArray& array, int32_t n) {
  if (n < 0 || size_t(n / kBitsPerByte) >= Bytes(array)) return nullptr;
  return array.buffer + n / kBitsPerByte;
}

uint8_t Mask(int32_t n) { return uint8_t(1u << (n % kBitsPerByte)); }

size_t SlotIndex(int slot) {
  int s = slot % kGlobalSlots;
  return size_t(s < 0 ? s + kGlobalSlots : s);
}

// A view over a slot's copy.
TBitArray SlotArray(size_t index) {
  std::vector<uint8_t>& slot = g_slots[index];
  return {int32_t(slot.size()), slot.data()};
}

template <typename Op>
void Combine(TBitArray& target, const TBitArray& source, Op op) {
  size_t n = Overlap(target, source);
  for (size_t i = 0; i < n; ++i) target.buffer[i] = op(target.buffer[i], source.buffer[i]);
}

}  // namespace

void Create(TBitArray& array, int32_t byteCount) {
  array.byteCount = std::max(byteCount, 0);
  array.buffer = array.byteCount ? new uint8_t[size_t(array.byteCount)]() : nullptr;
}

void Free(TBitArray& array) {
  delete[] array.buffer;
  array = TBitArray{};
}

void Clear(TBitArray& array) {
  if (size_t n = Bytes(array)) std::memset(array.buffer, 0, n);
}

void SetBit(TBitArray& array, int32_t n) {
  if (uint8_t* byte = ByteOf(array, n)) *byte |= Mask(n);
}

void ClearBit(TBitArray& array, int32_t n) {
  if (uint8_t* byte = ByteOf(array, n)) *byte &= uint8_t(~Mask(n));
}

bool TestBit(const TBitArray& array, int32_t n) {
  const uint8_t* byte = ByteOf(array, n);
  return byte && (*byte & Mask(n));
}

void AndBits(TBitArray& target, const TBitArray& source) {
  Combine(target, source, [](uint8_t t, uint8_t s) { return uint8_t(t & s); });
}

void OrBits(TBitArray& target, const TBitArray& source) {
  Combine(target, source, [](uint8_t t, uint8_t s) { return uint8_t(t | s); });
}

void AndNotBits(TBitArray& target, const TBitArray& source) {
  Combine(target, source, [](uint8_t t, uint8_t s) { return uint8_t(t & ~s); });
}

void CopyBits(TBitArray& target, const TBitArray& source) {
  if (size_t n = Overlap(target, source)) std::memmove(target.buffer, source.buffer, n);
}

namespace {

// The set bits of a 64-bit word by halving sums (the word's bits summed in
// pairs, nibbles, then bytes by one multiplication): a build for any x86-64
// has no popcount instruction, and std::popcount would call a library
// routine per word.
int CountWordBits(uint64_t w) {
  w -= (w >> 1) & 0x5555555555555555ULL;
  w = (w & 0x3333333333333333ULL) + ((w >> 2) & 0x3333333333333333ULL);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return int((w * 0x0101010101010101ULL) >> 56);
}

}  // namespace

int32_t CountBits(const TBitArray& array) {
  const size_t n = Bytes(array);
  int32_t count = 0;
  size_t i = 0;
  for (; i + sizeof(uint64_t) <= n; i += sizeof(uint64_t)) {
    uint64_t w;
    std::memcpy(&w, array.buffer + i, sizeof w);
    count += CountWordBits(w);
  }
  for (; i < n; ++i) count += CountWordBits(array.buffer[i]);
  return count;
}

void StoreGlobal(const TBitArray& array, int slot) {
  std::vector<uint8_t>& copy = g_slots[SlotIndex(slot)];
  copy.assign(array.buffer, array.buffer + Bytes(array));
  copy.shrink_to_fit();
}

void LoadGlobal(TBitArray& array, int slot) { CopyBits(array, SlotArray(SlotIndex(slot))); }

void UnitInit() {
  for (auto& slot : g_slots) slot = std::vector<uint8_t>();
}

void UnitDone() { UnitInit(); }

}  // namespace Bitarray
