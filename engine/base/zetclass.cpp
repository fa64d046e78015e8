#include "engine/base/zetclass.h"

#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/common_errors.h"
#include "engine/base/engassert.h"

namespace ZetClass {

namespace {

// Reads the length and the characters of a text in stream form into chars.
int ReadStreamText(TStream& stream, std::string& chars) {
  uint8_t length[kStreamLengthSize];
  if (stream.Read(length, sizeof length) != sizeof length) {
    Common::ReadError();
    return Common::kErrRead;
  }
  chars.resize(bytes::GetU16(length));
  if (stream.Read(chars.data(), chars.size()) != chars.size()) {
    chars.clear();
    Common::ReadError();
    return Common::kErrRead;
  }
  return 0;
}

}  // namespace

int WriteStringToStream(TStream& stream, std::string_view text) {
  text = text.substr(0, kMaxStreamText);
  uint8_t length[kStreamLengthSize];
  bytes::PutU16(length, uint16_t(text.size()));
  if (stream.Write(length, sizeof length) != sizeof length ||
      stream.Write(text.data(), text.size()) != text.size()) {
    Common::WriteError();
    return Common::kErrWrite;
  }
  return 0;
}

int WritePCharToStream(TStream& stream, const char* text) {
  return WriteStringToStream(stream, text ? std::string_view(text) : std::string_view());
}

int ReadStringFromStream(TStream& stream, ShortStr& text) {
  std::string chars;
  int err = ReadStreamText(stream, chars);
  text = chars;
  return err;
}

int ReadPCharFromStream(TStream& stream, std::string& text) { return ReadStreamText(stream, text); }

TDynArray::TDynArray(uint32_t capacity, uint32_t itemSize)
    : capacity_(capacity), itemSize_(itemSize), data_(size_t(capacity) * itemSize) {}

void TDynArray::CheckIndex(uint32_t index) const {
  ZET_ASSERT(index < count_, "TDynArray index out of range");
}

void TDynArray::Add(const void* item) {
  if (count_ == capacity_) {
    capacity_ += kGrowth;
    data_.resize(size_t(capacity_) * itemSize_);
  }
  ++count_;
  SetItem(count_ - 1, item);
}

void TDynArray::Delete(uint32_t index) {
  CheckIndex(index);
  std::memmove(At(index), At(index + 1), size_t(count_ - index - 1) * itemSize_);
  --count_;
}

void TDynArray::GetItem(uint32_t index, void* item) const {
  CheckIndex(index);
  if (itemSize_) std::memcpy(item, At(index), itemSize_);
}

void TDynArray::SetItem(uint32_t index, const void* item) {
  CheckIndex(index);
  if (itemSize_) std::memcpy(At(index), item, itemSize_);
}

int32_t TDynArray::FindItem(const void* key) const {
  ZET_ASSERT(compare_ != nullptr, "Need CompareProc for FindItem.");
  for (uint32_t i = 0; i < count_; ++i)
    if (compare_(At(i), key) == 0) return int32_t(i);
  return -1;
}

bool TDynArray::Find(const void* key, int32_t& index) const {
  index = FindItem(key);
  if (index >= 0) return true;
  index = int32_t(count_);
  return false;
}

void UnitInit() {}
void UnitDone() {}

}  // namespace ZetClass
