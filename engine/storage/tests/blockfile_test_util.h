// Raw access to memo and blob files for the tests: read a block as it lies on
// disk (unscrambled with the table key), write hand-made blocks, and build
// texts and byte patterns.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/base/crypt.h"

namespace blockfile_test {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// count bytes at offset of the file, unscrambled with key as one unit.
inline Bytes PlainBytes(const std::string& path, size_t offset, size_t count, uint32_t key) {
  Bytes all = ReadAll(path);
  Bytes part(all.begin() + std::ptrdiff_t(offset), all.begin() + std::ptrdiff_t(offset + count));
  Crypt::UnscrambleBlock(part.data(), part.size(), key);
  return part;
}

// Writes plain bytes at offset of the file, scrambled with key as one unit;
// the file grows as needed.
inline void PutPlainBytes(const std::string& path, size_t offset, Bytes plain, uint32_t key) {
  Bytes all = ReadAll(path);
  if (all.size() < offset + plain.size()) all.resize(offset + plain.size());
  Crypt::ScrambleBlock(plain.data(), plain.size(), key);
  std::copy(plain.begin(), plain.end(), all.begin() + std::ptrdiff_t(offset));
  WriteAll(path, all);
}

inline void PutU16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
inline uint32_t GetU32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Bytes that show where each one came from.
inline Bytes Pattern(size_t length, uint32_t seed) {
  Bytes data(length);
  std::mt19937 gen(seed);
  for (auto& b : data) b = uint8_t(gen());
  return data;
}

}  // namespace blockfile_test
