#include "engine/base/crypt.h"

#include <bit>

namespace Crypt {
namespace {

// One step of a pass, on the register pair (H, L):
//
//   1. H += A                          carry c out of bit 15
//   2. L += B + c                      carry dropped
//   3. L <<= 1; H rotates right through the bit that left L (it becomes
//      bit 15 of H); the bit that leaves H at the bottom is added to lo(L)
//   4. if lo(L) has an even number of 1-bits:
//        L ^= M; H ^= N; swap hi(L) with lo(H); H rotates right by 1
//   5. byte +/- hi(H)
//   6. lo(L) ^= scrambled byte; hi(H) ^= lo(L)
struct PassConstants {
  uint16_t a;  // step constant for H
  uint16_t b;  // step constant for L
  uint16_t m;  // mask for L
  uint16_t n;  // mask for H
  bool forward;
};

constexpr PassConstants kPass1{0x5A3C, 0x2C6A, 0x6D2E, 0xB4D2, true};
constexpr PassConstants kPass2{0x2F81, 0x7B46, 0x5D1F, 0x91A5, false};
constexpr PassConstants kPass3{0x4C19, 0xE672, 0x38BD, 0xA05F, true};

uint8_t Lo(uint16_t w) { return uint8_t(w & 0xFF); }
uint8_t Hi(uint16_t w) { return uint8_t(w >> 8); }
uint16_t Word(uint8_t hi, uint8_t lo) { return uint16_t(hi << 8 | lo); }
uint16_t RotateRight(uint16_t w) { return uint16_t(w >> 1 | w << 15); }
bool EvenParity(uint8_t b) { return std::popcount(b) % 2 == 0; }

class KeyStream {
 public:
  KeyStream(uint32_t key, const PassConstants& pass) : h_(uint16_t(key >> 16)), l_(uint16_t(key)), pass_(pass) {}

  // Steps 1 to 4; answers the byte that is added to (or taken from) the data.
  uint8_t Next() {
    uint32_t sum = uint32_t(h_) + pass_.a;
    uint16_t carry = uint16_t(sum >> 16);
    h_ = uint16_t(sum);
    l_ = uint16_t(l_ + pass_.b + carry);

    uint16_t outOfL = l_ >> 15;
    uint8_t outOfH = uint8_t(h_ & 1);
    l_ = uint16_t(l_ << 1);
    h_ = uint16_t(h_ >> 1 | outOfL << 15);
    l_ = Word(Hi(l_), uint8_t(Lo(l_) + outOfH));

    if (EvenParity(Lo(l_))) {
      l_ ^= pass_.m;
      h_ ^= pass_.n;
      uint8_t hiL = Hi(l_);
      l_ = Word(Lo(h_), Lo(l_));
      h_ = Word(Hi(h_), hiL);
      h_ = RotateRight(h_);
    }
    return Hi(h_);
  }

  // Step 6, always with the scrambled form of the byte.
  void Feedback(uint8_t scrambled) {
    l_ = Word(Hi(l_), uint8_t(Lo(l_) ^ scrambled));
    h_ = Word(uint8_t(Hi(h_) ^ Lo(l_)), Lo(h_));
  }

 private:
  uint16_t h_;
  uint16_t l_;
  const PassConstants& pass_;
};

void RunPass(uint8_t* buffer, size_t length, uint32_t key, const PassConstants& pass, bool scramble) {
  KeyStream stream(key, pass);
  for (size_t i = 0; i < length; ++i) {
    uint8_t& b = buffer[pass.forward ? i : length - 1 - i];
    uint8_t add = stream.Next();
    uint8_t scrambled;
    if (scramble) {
      b = uint8_t(b + add);
      scrambled = b;
    } else {
      scrambled = b;
      b = uint8_t(b - add);
    }
    stream.Feedback(scrambled);
  }
}

}  // namespace

void Scramble(uint8_t* buffer, size_t length, uint32_t key) {
  RunPass(buffer, length, key, kPass1, true);
  RunPass(buffer, length, key, kPass2, true);
  RunPass(buffer, length, key, kPass3, true);
}

void Unscramble(uint8_t* buffer, size_t length, uint32_t key) {
  RunPass(buffer, length, key, kPass3, false);
  RunPass(buffer, length, key, kPass2, false);
  RunPass(buffer, length, key, kPass1, false);
}

void ScrambleBlock(uint8_t* buffer, size_t length, uint32_t key) {
  if (key != 0) Scramble(buffer, length, key);
}

void UnscrambleBlock(uint8_t* buffer, size_t length, uint32_t key) {
  if (key != 0) Unscramble(buffer, length, key);
}

void UnitInit() {}
void UnitDone() {}

}  // namespace Crypt
