// Byte helpers the picture readers share.
//
// ReadExact reads through the stream as it is, so a short read leaves the
// stream's error status for the reader to turn into its code. BoundedRead
// never asks for bytes past the stream's size: readers whose pictures may
// end early (GIF, JPEG) use it, so a truncated picture still yields a DIB and
// leaves no error on a stream that the caller goes on reading.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/toolkit/kxstream.h"

namespace kxobject {

inline bool ReadExact(TKxStream& stream, void* buffer, uint32_t count) {
  return stream.ReadHuge(buffer, count) == count && stream.Status == 0;
}

inline uint32_t BoundedRead(TKxStream& stream, void* buffer, uint32_t count) {
  const int64_t left = int64_t(stream.GetSize()) - stream.GetPos();
  if (left <= 0 || stream.Status != 0) return 0;
  return stream.ReadHuge(buffer, uint32_t(std::min<int64_t>(count, left)));
}

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline void PutLe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
inline void PutLe32(uint8_t* p, uint32_t v) { PutLe16(p, v), PutLe16(p + 2, v >> 16); }

}  // namespace kxobject
