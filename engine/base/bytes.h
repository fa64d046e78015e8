// Little-endian reads and writes of the integers and reals that the engine's
// files and in-memory records hold. Every file layout goes through these; no
// host struct is ever laid over file bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace bytes {

inline uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline int16_t GetI16(const uint8_t* p) { return int16_t(GetU16(p)); }
inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t GetI32(const uint8_t* p) { return int32_t(GetU32(p)); }
inline uint64_t GetU64(const uint8_t* p) { return uint64_t(GetU32(p)) | (uint64_t(GetU32(p + 4)) << 32); }
inline double GetF64(const uint8_t* p) {
  uint64_t bits = GetU64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void PutI16(uint8_t* p, int16_t v) { PutU16(p, uint16_t(v)); }
inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void PutI32(uint8_t* p, int32_t v) { PutU32(p, uint32_t(v)); }
inline void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, uint32_t(v));
  PutU32(p + 4, uint32_t(v >> 32));
}
inline void PutF64(uint8_t* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  PutU64(p, bits);
}

}  // namespace bytes
