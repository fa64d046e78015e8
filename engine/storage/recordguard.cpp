#include "engine/storage/recordguard.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/base/bytes.h"
#include "platform/files.h"

namespace RecordGuard {
namespace {

constexpr size_t kPositionAt = 4;
constexpr size_t kLengthAt = 12;
constexpr size_t kMovedFromAt = 14;
constexpr size_t kBytesAt = 18;
constexpr size_t kSumSize = 4;
// The longest record a guard file of one block write holds.
constexpr size_t kMaxLength = (UINT16_MAX - kBytesAt - kSumSize) / 2;

size_t GuardSize(size_t length) { return kBytesAt + 2 * length + kSumSize; }

uint32_t CheckSum(const uint8_t* data, size_t size) {
  uint32_t sum = 2166136261u;
  for (size_t i = 0; i < size; ++i) sum = (sum ^ data[i]) * 16777619u;
  return sum;
}

// The guard file written last, kept open with the size it was written at:
// the next guarded write of the same table writes over it in place (a
// write torn there leaves a guard whose check sum fails, and the record it
// would guard untouched). Remove closes it.
struct TKeptGuard {
  LOWFILES::TLowFile file;
  size_t size = 0;
  bool move = false;  // it guards a delete's move (rule 4)
};

TKeptGuard& Kept() {
  static TKeptGuard kept;
  return kept;
}

void CloseKept() {
  TKeptGuard& kept = Kept();
  if (kept.file.isRegistered || kept.file.isOpen) LOWFILES::CloseLowFile(kept.file, false);
  kept.size = 0;
  kept.move = false;
}

// Writes the guard file whole and makes it durable, its directory entry too
// when the file is new.
int16_t WriteGuard(std::string_view guardPath, const std::vector<uint8_t>& guard) {
  TKeptGuard& kept = Kept();
  bool existed = true;
  if (!kept.file.isRegistered || kept.file.name != guardPath || kept.size != guard.size()) {
    CloseKept();
    existed = platform::FileExists(guardPath);
    if (LOWFILES::CreateLowFile(kept.file, guardPath, LOWFILES::kModeReadWriteShared) != 0)
      return LOWFILES::Error = LOWFILES::kErrWriteFailed;
    kept.size = guard.size();
  }
  const bool written = LOWFILES::WriteBlock(kept.file, 0, uint16_t(guard.size()), 0, guard.data()) == 0 &&
                       LOWFILES::SyncFile(kept.file) == 0;
  if (!written) {
    CloseKept();
    return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  }
  const size_t slash = guardPath.find_last_of("\\/");
  if (!existed && LOWFILES::SyncDirectory(slash == std::string_view::npos ? "" : guardPath.substr(0, slash + 1)) != 0)
    return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  return LOWFILES::Error = 0;
}

// Reads a guard file that is whole and sound; false otherwise.
bool ReadGuard(std::string_view guardPath, std::vector<uint8_t>& guard) {
  LOWFILES::TLowFile file;
  if (LOWFILES::OpenLowFile(file, guardPath, LOWFILES::kModeReadShared) != 0) return false;
  const uint64_t size = LOWFILES::LowFileSize(file);
  bool sound = size >= GuardSize(1) && size <= GuardSize(kMaxLength);
  if (sound) {
    guard.resize(size_t(size));
    uint16_t got = 0;
    sound = LOWFILES::ReadUpTo(file, 0, uint16_t(size), guard.data(), got) == 0 && got == size;
  }
  if (file.isRegistered) LOWFILES::CloseLowFile(file, false);
  return sound && bytes::GetU32(guard.data()) == kMagic &&
         GuardSize(bytes::GetU16(guard.data() + kLengthAt)) == guard.size() &&
         CheckSum(guard.data(), guard.size() - kSumSize) == bytes::GetU32(guard.data() + guard.size() - kSumSize);
}

}  // namespace

std::string GuardPath(std::string_view tablePath) {
  const size_t dot = tablePath.find_last_of('.');
  const size_t separator = tablePath.find_last_of("\\/");
  const bool hasExtension = dot != std::string_view::npos && (separator == std::string_view::npos || dot > separator);
  return std::string(tablePath.substr(0, hasExtension ? dot : tablePath.size())) + std::string(kExtension);
}

bool CrossesPage(uint64_t position, size_t length) {
  return length > 0 && position / platform::kTearPage != (position + length - 1) / platform::kTearPage;
}

int16_t WriteRecord(LOWFILES::TLowFile& table, std::string_view guardPath, uint64_t position, const uint8_t* stored,
                    uint16_t length, uint32_t movedFrom) {
  if ((movedFrom != 0 || CrossesPage(position, length)) && length <= kMaxLength) {
    std::vector<uint8_t> guard(GuardSize(length));
    uint8_t* old = guard.data() + kBytesAt;
    uint16_t got = 0;
    if (LOWFILES::ReadUpTo(table, position, length, old, got) != 0) return LOWFILES::Error = LOWFILES::kErrWriteFailed;
    if (got == length && std::memcmp(old, stored, length) != 0) {
      bytes::PutU32(guard.data(), kMagic);
      bytes::PutU64(guard.data() + kPositionAt, position);
      bytes::PutU16(guard.data() + kLengthAt, length);
      bytes::PutU32(guard.data() + kMovedFromAt, movedFrom);
      std::memcpy(old + length, stored, length);
      bytes::PutU32(guard.data() + guard.size() - kSumSize, CheckSum(guard.data(), guard.size() - kSumSize));
      if (int16_t e = WriteGuard(guardPath, guard)) return e;
      Kept().move = movedFrom != 0;
    }
  }
  return LOWFILES::WriteBlock(table, position, length, 0, stored);
}

int16_t Repair(LOWFILES::TLowFile& table, std::string_view guardPath, const TFinishMove& finishMove) {
  if (!platform::FileExists(guardPath)) return 0;
  std::vector<uint8_t> guard;
  if (ReadGuard(guardPath, guard)) {
    const uint64_t position = bytes::GetU64(guard.data() + kPositionAt);
    const uint16_t length = bytes::GetU16(guard.data() + kLengthAt);
    const uint8_t* old = guard.data() + kBytesAt;
    const uint8_t* written = old + length;
    std::vector<uint8_t> now(length);
    uint16_t got = 0;
    if (LOWFILES::ReadUpTo(table, position, length, now.data(), got) != 0) return LOWFILES::Error;
    // Page part by page part: old, new, or neither.
    bool someOld = false, someNew = false, neither = got != length;
    for (size_t from = 0; from < length && !neither;) {
      const size_t to = std::min<size_t>(length, (position + from) / platform::kTearPage * platform::kTearPage +
                                                     platform::kTearPage - position);
      const bool isOld = std::memcmp(now.data() + from, old + from, to - from) == 0;
      const bool isNew = std::memcmp(now.data() + from, written + from, to - from) == 0;
      someOld = someOld || (isOld && !isNew);
      someNew = someNew || (isNew && !isOld);
      neither = !isOld && !isNew;
      from = to;
    }
    if (someOld && someNew && !neither) {
      if (LOWFILES::WriteBlock(table, position, length, 0, old) != 0 || LOWFILES::SyncFile(table) != 0)
        return LOWFILES::Error = LOWFILES::kErrWriteFailed;
    } else if (const uint32_t movedFrom = bytes::GetU32(guard.data() + kMovedFromAt);
               movedFrom != 0 && someNew && !someOld && !neither) {
      if (int16_t e = finishMove(movedFrom, std::span<const uint8_t>(written, length))) return LOWFILES::Error = e;
    }
  }
  Remove(table, guardPath);
  return LOWFILES::Error = 0;
}

int16_t Retire(LOWFILES::TLowFile& table, std::string_view guardPath) {
  TKeptGuard& kept = Kept();
  if (!kept.move || kept.file.name != guardPath) return 0;
  static constexpr uint8_t kRetired[sizeof kMagic] = {};
  if (LOWFILES::SyncFile(table) != 0 || LOWFILES::WriteBlock(kept.file, 0, sizeof kRetired, 0, kRetired) != 0) {
    CloseKept();
    return LOWFILES::Error = LOWFILES::kErrWriteFailed;
  }
  kept.move = false;
  return 0;
}

void Remove(LOWFILES::TLowFile& table, std::string_view guardPath) {
  if (Kept().file.name == guardPath) CloseKept();
  if (platform::FileExists(guardPath) && LOWFILES::SyncFile(table) == 0) platform::DeleteFile(guardPath);
}

}  // namespace RecordGuard
