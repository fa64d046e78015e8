// TDynArray, a growable array of fixed-size items searched with a compare
// procedure, and the stream routines that write a text as a 16-bit length
// followed by its characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/shortstr.h"

namespace ZetClass {

// The byte stream the stream routines work on. Read and Write answer the
// number of bytes moved; fewer than asked means the stream failed or ended.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
};

// Stream form of a text (little-endian):
//   offset 0  u16   length n
//   offset 2  n     the characters, no terminator
inline constexpr size_t kStreamLengthSize = 2;
inline constexpr size_t kMaxStreamText = 0xFFFF;

// Write a text in stream form; a text longer than 65535 characters is cut
// there. Answer 0, or 3 (write error, reported) when the stream takes less.
int WriteStringToStream(TStream& stream, std::string_view text);
int WritePCharToStream(TStream& stream, const char* text);
// Read a text in stream form. Answer 0, or 2 (read error, reported) when the
// stream ends early. A short text keeps the first 255 characters, the stream
// moves past all of them.
int ReadStringFromStream(TStream& stream, ShortStr& text);
int ReadPCharFromStream(TStream& stream, std::string& text);

// Compares the item at item with key: negative, 0 or positive.
using TCompareProc = int (*)(const void* item, const void* key);

class TDynArray {
 public:
  // Items added to a full array grow its storage by this many.
  static constexpr uint32_t kGrowth = 16;

  TDynArray(uint32_t capacity, uint32_t itemSize);

  // Appends a copy of item_size bytes of item.
  void Add(const void* item);
  // Removes item index (0-based); the items after it move down.
  void Delete(uint32_t index);
  void GetItem(uint32_t index, void* item) const;
  void SetItem(uint32_t index, const void* item);
  // Count 0, storage kept.
  void Clear() { count_ = 0; }
  // Index of the first item that compares 0 with key, -1 when none. Without
  // a compare procedure it raises "Need CompareProc for FindItem.".
  int32_t FindItem(const void* key) const;
  // FindItem; index := count when nothing is found.
  bool Find(const void* key, int32_t& index) const;

  void SetCompareProc(TCompareProc compare) { compare_ = compare; }
  uint32_t Count() const { return count_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t ItemSize() const { return itemSize_; }

 private:
  unsigned char* At(uint32_t index) { return data_.data() + size_t(index) * itemSize_; }
  const unsigned char* At(uint32_t index) const { return data_.data() + size_t(index) * itemSize_; }
  void CheckIndex(uint32_t index) const;

  uint32_t capacity_;
  TCompareProc compare_ = nullptr;
  uint32_t count_ = 0;
  uint32_t itemSize_;
  std::vector<unsigned char> data_;
};

void UnitInit();
void UnitDone();

}  // namespace ZetClass
