#include "engine/base/crypt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string ToHex(const Bytes& bytes) {
  std::string out;
  char two[3];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

Bytes Scrambled(Bytes data, uint32_t key) {
  Crypt::Scramble(data.data(), data.size(), key);
  return data;
}

Bytes Pattern(size_t length, int step) {
  Bytes data(length);
  for (size_t i = 0; i < length; ++i) data[i] = uint8_t(i * step);
  return data;
}

// Fixed vectors, checked against a separate reading of the step rules.
TEST(CryptTest, ScramblesFixedVectors) {
  struct Case {
    uint32_t key;
    Bytes plain;
    std::string scrambled;
  };
  const Case cases[] = {
      {0x12345678, Pattern(16, 1), "d661738118a6ea39a962c2fdb5aefa9f"},
      {0x00000001, Bytes(16, 0), "73492477c0a16316016e3c4dffc0556b"},
      {0xFFFFFFFF, Bytes{'K', 'u', 'n', 'd', 'e', ' ', 'M', 'e', 'i', 'e', 'r', ',', ' ', 'H', 'a', 'm', 'b', 'u', 'r', 'g'},
       "946a3736841c2c059e7b9b9ec846c659780b03f3"},
      {0x00010005, Bytes(8, 0), "6fba51f04877191a"},
      {0x00020005, Bytes(8, 0), "4a7b05ffcb7c513a"},  // differs from the first byte on
      {0x12345678, Bytes{'A'}, "3e"},
  };
  for (const Case& c : cases) {
    Bytes s = Scrambled(c.plain, c.key);
    EXPECT_EQ(ToHex(s), c.scrambled) << std::hex << c.key;
    Crypt::Unscramble(s.data(), s.size(), c.key);
    EXPECT_EQ(s, c.plain);
  }

  Bytes s = Scrambled(Pattern(1000, 7), 0xDEADBEEF);
  EXPECT_EQ(ToHex(Bytes(s.begin(), s.begin() + 8)), "42c350e665f5cc1f");
  EXPECT_EQ(ToHex(Bytes(s.end() - 8, s.end())), "500c0481fc130679");

  Bytes big(65535, 0);
  Crypt::Scramble(big.data(), big.size(), 0x0BADF00D);
  EXPECT_EQ(ToHex(Bytes(big.begin(), big.begin() + 8)), "ac36809105507b91");
  EXPECT_EQ(ToHex(Bytes(big.end() - 8, big.end())), "765cedd2ba27edd7");
  Crypt::Unscramble(big.data(), big.size(), 0x0BADF00D);
  EXPECT_TRUE(std::all_of(big.begin(), big.end(), [](uint8_t b) { return b == 0; }));
}

TEST(CryptTest, UnscrambleRestoresRandomBlocks) {
  std::mt19937 rng(1105);
  for (int round = 0; round < 300; ++round) {
    uint32_t key = rng() | 1u << (rng() % 32);  // never 0
    size_t length = round < 40 ? size_t(round + 1) : 1 + rng() % 5000;
    Bytes plain(length);
    for (uint8_t& b : plain) b = uint8_t(rng());
    Bytes s = Scrambled(plain, key);
    if (length >= 8) {
      EXPECT_NE(s, plain) << "length " << length;
    }
    Crypt::Unscramble(s.data(), s.size(), key);
    ASSERT_EQ(s, plain) << "key " << key << " length " << length;
  }
}

TEST(CryptTest, OneChangedByteSpreadsOverTheBlock) {
  const uint32_t key = 0x2C6A5A3C;
  Bytes plain = Pattern(512, 3);
  Bytes changed = plain;
  changed[256] ^= 1;
  Bytes a = Scrambled(plain, key), b = Scrambled(changed, key);
  size_t differing = 0;
  for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
  EXPECT_GT(differing, 480u);
  EXPECT_NE(a.front(), b.front());
  EXPECT_NE(a.back(), b.back());
}

TEST(CryptTest, BlockHelpersLeaveKeyZeroPlain) {
  Bytes plain = Pattern(64, 5);
  Bytes block = plain;
  Crypt::ScrambleBlock(block.data(), block.size(), 0);
  EXPECT_EQ(block, plain);
  Crypt::UnscrambleBlock(block.data(), block.size(), 0);
  EXPECT_EQ(block, plain);

  Crypt::ScrambleBlock(block.data(), block.size(), 77);
  EXPECT_EQ(block, Scrambled(plain, 77));
  Crypt::UnscrambleBlock(block.data(), block.size(), 77);
  EXPECT_EQ(block, plain);

  Crypt::Scramble(nullptr, 0, 77);  // an empty block is left alone
  Crypt::Unscramble(nullptr, 0, 77);
}

}  // namespace
