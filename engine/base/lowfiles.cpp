#include "engine/base/lowfiles.h"

#include <cstring>
#include <vector>

#include "engine/base/crypt.h"

namespace LOWFILES {

int16_t Error = 0;
int16_t AttrResult = 0;
int16_t HandleBudget = kInitialHandleBudget;
int32_t RegisteredCount = 0;

namespace {

bool syncWrites = true;

// Most recently used file; head->next is the least recently used one.
TLowFile* queueHead = nullptr;
// Handles held by queued files.
int openHandles = 0;
// Scratch block for scrambled writes and compared reads; grows as needed.
std::vector<uint8_t> scratch;

bool WantsWrite(uint8_t mode) { return (mode & kAccessMask) != platform::kAccessRead; }
constexpr uint8_t kShareMask = 0x70;

// Puts a file that is not queued at the head (most recently used).
void Enqueue(TLowFile& file) {
  if (queueHead == nullptr) {
    file.next = file.prev = &file;
  } else {
    file.prev = queueHead;
    file.next = queueHead->next;
    queueHead->next->prev = &file;
    queueHead->next = &file;
  }
  queueHead = &file;
}

void Dequeue(TLowFile& file) {
  if (file.next == &file) {
    queueHead = nullptr;
  } else {
    file.prev->next = file.next;
    file.next->prev = file.prev;
    if (queueHead == &file) queueHead = file.prev;
  }
  file.next = file.prev = nullptr;
}

// Gives the file's handle back to the system; the caller fixes budget and
// queue.
int CloseHandle(TLowFile& file) {
  int result = platform::CloseFile(file.handle);
  file.handle = platform::kNoFile;
  file.isOpen = false;
  --openHandles;
  return result;
}

// A file whose mode denies other opens something holds its share locks on
// its handle: closing the handle would let another process in.
bool HoldsShareLock(const TLowFile& file) {
  const int share = file.openMode & kShareMask;
  return share != platform::kShareCompat && share != platform::kShareDenyNone;
}

// The least recently used queued file that may give up its handle; nullptr
// when every queued file holds share locks.
TLowFile* RecyclableFile() {
  if (queueHead == nullptr) return nullptr;
  TLowFile* file = queueHead->next;
  for (;;) {
    if (!HoldsShareLock(*file)) return file;
    if (file == queueHead) return nullptr;
    file = file->next;
  }
}

// Closes the least recently used file that may give up its handle; it stays
// registered. False when there is none.
bool CloseLeastRecentlyUsed() {
  TLowFile* lru = RecyclableFile();
  if (lru == nullptr) return false;
  Dequeue(*lru);
  Error = int16_t(CloseHandle(*lru));
  return true;
}

// Opens the file's handle from its name and mode. Only modes with write
// access clear a read-only attribute first; reading never changes the file's
// protection.
int16_t Reopen(TLowFile& file) {
  Error = 0;
  if (WantsWrite(file.openMode) && SetReadOnly(file, false) != 0) {
    file.isOpen = false;
    return Error;
  }
  Error = int16_t(platform::OpenFile(file.name, file.openMode, file.handle));
  file.isOpen = Error == 0;
  if (file.isOpen) ++openHandles;
  return Error;
}

// Runs an open or create; when the system refuses for too many open files
// while the budget still looked positive, the budget drops to 0, up to six
// queued files are closed and the step is tried once more.
template <typename Step>
int16_t WithRefusalRetry(Step step) {
  int16_t result = step();
  if (result == platform::kDosTooManyOpenFiles && HandleBudget > 0) {
    HandleBudget = 0;
    FreeHandles(kHandlesFreedOnRefusal);
    result = step();
    HandleBudget = 0;
  }
  return result;
}

// Makes sure the file holds a handle and is the most recently used one.
int16_t EnsureOpen(TLowFile& file) {
  if (file.isOpen) {
    Error = 0;
    Dequeue(file);
    Enqueue(file);
    return 0;
  }
  for (;;) {
    if (HandleBudget <= 0 && RecyclableFile() != nullptr) {
      // Trade the least recently used file's handle for this one.
      CloseLeastRecentlyUsed();
      if (Reopen(file) == 0) {
        Enqueue(file);
      } else {
        ++HandleBudget;  // the freed handle went unused
      }
      return Error;
    }
    --HandleBudget;
    if (Reopen(file) == 0) {
      Enqueue(file);
      return 0;
    }
    if (Error == platform::kDosTooManyOpenFiles && RecyclableFile() != nullptr) {
      HandleBudget = 0;  // close queued files from now on
      continue;
    }
    ++HandleBudget;
    return Error;
  }
}

// Closes and unregisters the file; held bytes stay held.
int16_t CloseKeepingPending(TLowFile& file, bool setReadOnly) {
  if (file.isRegistered) {
    --RegisteredCount;
    file.isRegistered = false;
  }
  if (file.isOpen) {
    Dequeue(file);
    Error = int16_t(CloseHandle(file));
    ++HandleBudget;
  } else {
    Error = 0;
  }
  if (setReadOnly && Error == 0) {
    SetReadOnly(file, true);
    Error = 0;
  }
  return Error;
}

// A failed block access closes and unregisters the file.
int16_t FailBlock(TLowFile& file, int16_t code) {
  CloseKeepingPending(file, false);
  Error = code;
  return Error;
}

uint8_t* Scratch(size_t size) {
  if (scratch.size() < size) scratch.resize(size);
  return scratch.data();
}

// Shared start of open and create: a file that is still open or registered
// is closed first, so it never sits in the queue twice.
void PrepareOpen(TLowFile& file, std::string_view name, uint8_t mode) {
  if (file.isOpen || file.isRegistered) CloseLowFile(file, false);
  FreeHandles(1);
  AssignFileName(file, name);
  file.openMode = mode;
}

// A name longer than a TLowFile keeps is refused as the system refuses a
// path that is too long; cut, it would name another file.
int16_t RefuseName(TLowFile& file) {
  if (file.isOpen || file.isRegistered) CloseLowFile(file, false);
  Error = int16_t(platform::kDosPathNotFound);
  return Error;
}

int16_t FinishOpen(TLowFile& file) {
  Error = WithRefusalRetry([&] { return Reopen(file); });
  if (Error != 0) return Error;
  --HandleBudget;
  Enqueue(file);
  ++RegisteredCount;
  file.isRegistered = true;
  return 0;
}

}  // namespace

TLowFile::~TLowFile() {
  if (isOpen || isRegistered) {
    int16_t saved = Error;
    CloseLowFile(*this, false);
    Error = saved;
  }
}

int16_t OpenLowFile(TLowFile& file, std::string_view name, uint8_t mode) {
  if (name.size() > kMaxFileName) return RefuseName(file);
  PrepareOpen(file, name, mode);
  return FinishOpen(file);
}

int16_t CreateLowFile(TLowFile& file, std::string_view name, uint8_t mode) {
  if (name.size() > kMaxFileName) return RefuseName(file);
  PrepareOpen(file, name, mode);
  Error = WithRefusalRetry([&] {
    platform::FileHandle created = platform::kNoFile;
    int16_t result = int16_t(platform::CreateFile(file.name, kModeReadWriteShared, created));
    if (result == 0) result = int16_t(platform::CloseFile(created));
    return result;
  });
  if (Error != 0) return Error;
  return FinishOpen(file);
}

int16_t CloseLowFile(TLowFile& file, bool setReadOnly) {
  // Held bytes that cannot be written are let go with the file: whatever
  // would have counted them was to be written after them and is not.
  const int16_t pendingError = WritePending(file);
  std::vector<uint8_t>().swap(file.pending);
  if (pendingError != 0) {
    CloseKeepingPending(file, false);
    Error = pendingError;
    return Error;
  }
  return CloseKeepingPending(file, setReadOnly);
}

int16_t ReadBlock(TLowFile& file, uint64_t position, uint16_t count, uint32_t key, void* buffer) {
  uint16_t got = 0;
  if (ReadUpTo(file, position, count, buffer, got) != 0) return Error;
  if (got != count) return FailBlock(file, kErrReadFailed);
  Crypt::UnscrambleBlock(static_cast<uint8_t*>(buffer), count, key);
  return 0;
}

int16_t ReadUpTo(TLowFile& file, uint64_t position, uint16_t count, void* buffer, uint16_t& got) {
  got = 0;
  if (WritePending(file) != 0) return Error;
  if (EnsureOpen(file) != 0) return FailBlock(file, kErrReadFailed);
  size_t n = 0;
  if (platform::ReadAt(file.handle, position, buffer, count, n) != 0) {
    return FailBlock(file, kErrReadFailed);
  }
  got = uint16_t(n);
  return 0;
}

int16_t WriteBlock(TLowFile& file, uint64_t position, uint16_t count, uint32_t key,
                   const void* buffer) {
  if (WritePending(file) != 0) return Error;
  if (EnsureOpen(file) != 0) return FailBlock(file, kErrWriteFailed);
  const void* data = buffer;
  if (key != 0 && count != 0) {
    uint8_t* copy = Scratch(count);
    std::memcpy(copy, buffer, count);
    Crypt::Scramble(copy, count, key);
    data = copy;
  }
  if (platform::WriteAt(file.handle, position, data, count) != 0) {
    return FailBlock(file, kErrWriteFailed);
  }
  return 0;
}

int16_t WriteBlockIfChanged(TLowFile& file, uint64_t position, uint16_t count, const void* buffer) {
  if (count > kMaxCompareBlock) {
    Error = kErrWriteFailed;
    return Error;
  }
  if (WritePending(file) != 0) return Error;
  if (EnsureOpen(file) != 0) return FailBlock(file, kErrWriteFailed);
  // A read that comes back short finds the file shorter than the block.
  uint8_t* onDisk = Scratch(count);
  size_t got = 0;
  if (platform::ReadAt(file.handle, position, onDisk, count, got) == 0 && got == count &&
      std::memcmp(onDisk, buffer, count) == 0) {
    return 0;
  }
  return WriteBlock(file, position, count, 0, buffer);
}

int16_t WriteBehind(TLowFile& file, uint64_t position, uint16_t count, uint32_t key, const void* buffer) {
  Error = 0;
  std::vector<uint8_t>& held = file.pending;
  const uint64_t end = file.pendingAt + held.size();
  uint8_t* into = nullptr;
  if (!held.empty() && position >= file.pendingAt && position + count <= end) {
    into = held.data() + (position - file.pendingAt);
  } else if (!held.empty() && position == end && held.size() + count <= kWriteBehindBytes) {
    held.resize(held.size() + count);
    into = held.data() + (position - file.pendingAt);
  } else {
    if (WritePending(file) != 0) return Error;
    if (count > kWriteBehindBytes) return WriteBlock(file, position, count, key, buffer);
    if (held.capacity() < kWriteBehindBytes) held.reserve(kWriteBehindBytes);
    file.pendingAt = position;
    held.resize(count);
    into = held.data();
  }
  if (count == 0) return 0;
  std::memcpy(into, buffer, count);
  if (key != 0) Crypt::Scramble(into, count, key);
  return 0;
}

int16_t WritePending(TLowFile& file) {
  Error = 0;
  if (file.pending.empty()) return 0;
  // Bytes that could not be written stay held, so that nothing written to
  // the file later (a count naming them) overtakes them; the next access
  // tries them again.
  if (EnsureOpen(file) != 0 ||
      platform::WriteAt(file.handle, file.pendingAt, file.pending.data(), file.pending.size()) != 0)
    return FailBlock(file, kErrWriteFailed);
  file.pending.clear();  // the buffer is kept for the next blocks
  return 0;
}

bool SyncWrites() { return syncWrites; }
void SetSyncWrites(bool on) { syncWrites = on; }

int16_t SyncFile(TLowFile& file) {
  if (WritePending(file) != 0) return Error;
  if (!syncWrites) return 0;
  if (EnsureOpen(file) != 0 || platform::FlushFile(file.handle) != 0) return FailBlock(file, kErrWriteFailed);
  return 0;
}

int16_t SyncDirectory(std::string_view directory) {
  Error = 0;
  if (syncWrites && platform::FlushDirectory(directory) != 0) Error = kErrWriteFailed;
  return Error;
}

uint64_t LowFileSize(TLowFile& file) {
  if (WritePending(file) != 0 || EnsureOpen(file) != 0) return 0;
  uint64_t size = 0;
  Error = int16_t(platform::FileSize(file.handle, size));
  return Error == 0 ? size : 0;
}

int16_t TruncateAt(TLowFile& file, uint64_t position) {
  uint64_t size = LowFileSize(file);
  if (Error != 0) return Error;
  if (size > position) Error = int16_t(platform::TruncateFile(file.handle, position));
  return Error;
}

void FreeHandles(int16_t n) {
  while (HandleBudget < n && CloseLeastRecentlyUsed()) ++HandleBudget;
}

int16_t SetReadOnly(TLowFile& file, bool readOnly) {
  uint32_t attributes = 0;
  GetFileAttr(file, attributes);
  if (AttrResult != 0) return Error;
  if (((attributes & platform::kAttrReadOnly) != 0) == readOnly) return Error;
  SetFileAttr(file, (attributes & platform::kAttrArchive) | (readOnly ? platform::kAttrReadOnly : 0));
  if (AttrResult != 0 && Error == 0) Error = kErrAttributes;
  return Error;
}

void GetFileAttr(const TLowFile& file, uint32_t& attributes) {
  AttrResult = platform::GetAttributes(file.name, attributes) == 0 ? 0 : -1;
}

void SetFileAttr(const TLowFile& file, uint32_t attributes) {
  AttrResult = platform::SetAttributes(file.name, attributes) == 0 ? 0 : -1;
}

void AssignFileName(TLowFile& file, std::string_view name) {
  file.name.assign(name.substr(0, kMaxFileName));
}

int CopyDiskFile(std::string_view source, std::string_view target) {
  return platform::CopyFile(source, target, true);
}

int OpenHandleCount() { return openHandles; }

void UnitInit() {
  UnitDone();
  Error = 0;
  AttrResult = 0;
  HandleBudget = kInitialHandleBudget;
  RegisteredCount = 0;
  syncWrites = true;
}

void UnitDone() {
  while (queueHead != nullptr) {
    TLowFile& file = *queueHead;
    Dequeue(file);
    CloseHandle(file);
    file.isRegistered = false;
  }
  openHandles = 0;
  std::vector<uint8_t>().swap(scratch);
}

}  // namespace LOWFILES
