// Files with DOS open modes on Linux.
//
// Share modes hold between every open of a file, in this process or any
// other, through open-file-description locks on four reserved bytes far
// beyond any real data. Each open takes shared locks on the bytes that
// describe it (open for reading, open for writing, denies reading, denies
// writing) and then tests the bytes it would conflict with for locks of
// other opens:
//
//   offset                 held by an open that    tested by an open that
//   kShareLockBase + 0     reads                   denies reading
//   kShareLockBase + 1     writes                  denies writing
//   kShareLockBase + 2     denies reading          reads
//   kShareLockBase + 3     denies writing          writes
//
// Because each open publishes itself before it tests, two conflicting opens
// racing each other never both succeed (at worst both are refused). Closing the descriptor drops the
// locks, also when a process dies.
#include "platform/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/files_internal.h"

namespace platform {

namespace detail {

int DosErrorFromErrno(int error, int fallback) {
  switch (error) {
    case ENOENT:
      return kDosFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kDosPathNotFound;
    case EMFILE:
    case ENFILE:
      return kDosTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kDosAccessDenied;
    case EBADF:
      return kDosInvalidHandle;
    case EEXIST:
      return kDosFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kDosDiskFull;
    case EXDEV:
      return kDosNotSameDevice;
    default:
      return fallback;
  }
}

int MissingNameError(const std::string& systemPath, int error) {
  if (error != ENOENT) return DosErrorFromErrno(error, kDosAccessDenied);
  size_t slash = systemPath.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return kDosFileNotFound;
  struct stat info;
  std::string directory = systemPath.substr(0, slash);
  if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return kDosPathNotFound;
  return kDosFileNotFound;
}

uint32_t AttributesOf(const struct stat& info, std::string_view name) {
  uint32_t attributes = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  // Linux hides names that start with a dot; "." and ".." are no such names.
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
  return attributes;
}

void ToDosDateTime(time_t when, uint16_t& date, uint16_t& time) {
  // DOS date: bits 9-15 year - 1980, 5-8 month, 0-4 day.
  // DOS time: bits 11-15 hour, 5-10 minute, 0-4 seconds / 2.
  constexpr int kDosFirstYear = 1980, kDosLastYear = 2107;
  tm parts{};
  localtime_r(&when, &parts);
  int year = parts.tm_year + 1900;
  if (year < kDosFirstYear) {
    parts = tm{};
    parts.tm_year = kDosFirstYear - 1900;
    parts.tm_mon = 0;
    parts.tm_mday = 1;
    year = kDosFirstYear;
  } else if (year > kDosLastYear) {
    parts = tm{};
    parts.tm_mon = 11;
    parts.tm_mday = 31;
    parts.tm_hour = 23;
    parts.tm_min = 59;
    parts.tm_sec = 59;
    year = kDosLastYear;
  }
  date = uint16_t(((year - kDosFirstYear) << 9) | ((parts.tm_mon + 1) << 5) | parts.tm_mday);
  int seconds = parts.tm_sec > 59 ? 59 : parts.tm_sec;
  time = uint16_t((parts.tm_hour << 11) | (parts.tm_min << 5) | (seconds / 2));
}

}  // namespace detail

namespace {

using detail::DosErrorFromErrno;
using detail::MissingNameError;

// ---- fault injection -------------------------------------------------------

struct FaultPlan {
  FileOp op;
  int remaining;  // operations of this kind until the fault, counting it
  int dosError;
};
std::vector<FaultPlan> faultPlans;

// Counts one operation of the kind; answers the planned error when its turn
// has come, else 0.
int TakeFault(FileOp op) {
  int error = kDosOk;
  for (auto plan = faultPlans.begin(); plan != faultPlans.end();) {
    if (plan->op == op && --plan->remaining == 0) {
      if (error == kDosOk) error = plan->dosError;
      plan = faultPlans.erase(plan);
    } else {
      ++plan;
    }
  }
  return error;
}

// Crash plan of the tests: 0 = none.
int changesUntilCrash = 0;
int changesCounted = 0;
bool tearPlannedWrite = false;

// Counts an operation that changes a file; dies before it when its turn has
// come. A write counted so (handle given) that crosses a page boundary in
// the file first writes its bytes before that boundary, when the plan says
// so.
void CountChange(int handle = -1, uint64_t pos = 0, const void* buffer = nullptr, size_t count = 0) {
  ++changesCounted;
  if (changesUntilCrash <= 0 || --changesUntilCrash != 0) return;
  const uint64_t boundary = (pos / kTearPage + 1) * kTearPage;
  if (tearPlannedWrite && handle >= 0 && pos + count > boundary) {
    const size_t head = size_t(boundary - pos);
    if (pwrite(handle, buffer, head, off_t(pos)) != ssize_t(head)) _exit(99);
  }
  kill(getpid(), SIGKILL);
}

// Power-loss journal of the tests.
bool journalOn = false;
std::vector<JournalEntry> journal;

// Only for the journal: a readlink per call, so callers ask journalOn first.
std::string PathOfHandle(int fd) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  const ssize_t n = readlink(link, target, sizeof target - 1);
  return n > 0 ? std::string(target, size_t(n)) : std::string();
}

void Record(JournalEntry::Kind kind, std::string path, uint64_t position = 0, const void* data = nullptr,
            size_t count = 0, std::string target = {}) {
  if (!journalOn) return;
  JournalEntry e;
  e.kind = kind;
  e.path = std::move(path);
  e.target = std::move(target);
  e.position = position;
  if (data) e.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + count);
  journal.push_back(std::move(e));
}

std::string AbsolutePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) return resolved;
  // A file that does not exist yet: its directory resolved, its name kept.
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  if (!realpath(dir.c_str(), resolved)) return path;
  return std::string(resolved) + "/" + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

// ---- open modes and share locks --------------------------------------------

constexpr int kAccessMask = 0x07;
constexpr int kShareMask = 0x70;
constexpr off_t kShareLockBase = off_t(1) << 62;
enum ShareByte : off_t { kOpenRead = 0, kOpenWrite = 1, kDenyRead = 2, kDenyWrite = 3 };
constexpr off_t kShareByteCount = 4;

struct OpenRequest {
  bool read = false, write = false, denyRead = false, denyWrite = false;
};

int DecodeMode(int mode, OpenRequest& request) {
  int access = mode & kAccessMask;
  if (access != kAccessRead && access != kAccessWrite && access != kAccessReadWrite)
    return kDosInvalidAccess;
  request.read = access != kAccessWrite;
  request.write = access != kAccessRead;
  switch (mode & kShareMask) {
    case kShareCompat:  // the compatibility mode of DOS lets everyone in
    case kShareDenyNone:
      break;
    case kShareDenyWrite:
      request.denyWrite = true;
      break;
    case kShareDenyRead:
      request.denyRead = true;
      break;
    default:  // deny all, and the undefined values 0x50..0x70 likewise
      request.denyRead = request.denyWrite = true;
      break;
  }
  return kDosOk;
}

flock ShareLock(short type, off_t byte, off_t count) {
  flock lock{};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = kShareLockBase + byte;
  lock.l_len = count;
  return lock;
}

int Publish(int fd, off_t byte) {
  flock lock = ShareLock(F_RDLCK, byte, 1);
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return kDosOk;
  // Only a foreign exclusive lock on these bytes can be in the way.
  if (errno == EAGAIN || errno == EACCES) return kDosSharingViolation;
  return DosErrorFromErrno(errno, kDosAccessDenied);
}

// True when an open other than fd's holds a lock within the bytes.
bool OthersHold(int fd, off_t byte, off_t count) {
  flock lock = ShareLock(F_WRLCK, byte, count);
  return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// The truncating create counts as a writer for the test, whatever its mode.
int ClaimShare(int fd, const OpenRequest& request, bool truncates) {
  const std::pair<bool, off_t> holds[] = {{request.read, kOpenRead},
                                          {request.write, kOpenWrite},
                                          {request.denyRead, kDenyRead},
                                          {request.denyWrite, kDenyWrite}};
  for (auto [wanted, byte] : holds)
    if (wanted)
      if (int error = Publish(fd, byte)) return error;
  const std::pair<bool, off_t> tests[] = {{request.read, kDenyRead},
                                          {request.write || truncates, kDenyWrite},
                                          {request.denyRead, kOpenRead},
                                          {request.denyWrite, kOpenWrite}};
  for (auto [wanted, byte] : tests)
    if (wanted && OthersHold(fd, byte, 1)) return kDosSharingViolation;
  return kDosOk;
}

int CloseQuietly(int fd, int error) {
  close(fd);
  return error;
}

int OpenOrCreate(std::string_view name, int mode, bool create, FileHandle& handle) {
  handle = kNoFile;
  OpenRequest request;
  if (int error = DecodeMode(mode, request)) return error;
  if (int error = TakeFault(create ? FileOp::Create : FileOp::Open)) return error;
  if (create) CountChange();

  std::string path = ResolvePath(name);
  // Share locks need a readable descriptor, so a write-only open reads too.
  int flags = O_CLOEXEC | (create ? O_RDWR | O_CREAT : request.write ? O_RDWR : O_RDONLY);
  int fd;
  do fd = open(path.c_str(), flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return MissingNameError(path, errno);

  struct stat info;
  if (fstat(fd, &info) != 0) return CloseQuietly(fd, DosErrorFromErrno(errno, kDosAccessDenied));
  // A directory is no file, and the read-only attribute refuses writers even
  // where the permission bits would not (the super-user).
  if (S_ISDIR(info.st_mode)) return CloseQuietly(fd, kDosAccessDenied);
  if ((request.write || create) && (info.st_mode & S_IWUSR) == 0)
    return CloseQuietly(fd, kDosAccessDenied);

  if (int error = ClaimShare(fd, request, create)) return CloseQuietly(fd, error);
  if (create && ftruncate(fd, 0) != 0)
    return CloseQuietly(fd, DosErrorFromErrno(errno, kDosAccessDenied));
  if (create && journalOn) Record(JournalEntry::Kind::Truncate, PathOfHandle(fd), 0);
  handle = fd;
  return kDosOk;
}

// Delete and rename act on a file no open holds anywhere, as on DOS, and
// hold it meanwhile: an exclusive lock on every share byte keeps any open
// from beginning until the caller closes fd (an open publishes its own locks
// on those bytes first, so it fails). A file that cannot be opened to take
// the lock cannot be shown free and is refused: 5, or 2/3 when it is gone. A
// file without write permission cannot carry the exclusive lock; it is only
// tested (nobody can open it for writing anyway).
int HoldExclusively(const std::string& path, int& fd) {
  fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return MissingNameError(path, errno);
    if (OthersHold(fd, 0, kShareByteCount)) return CloseQuietly(fd, kDosSharingViolation);
    return kDosOk;
  }
  if (fd < 0) return MissingNameError(path, errno);
  flock lock = ShareLock(F_WRLCK, 0, kShareByteCount);
  if (fcntl(fd, F_OFD_SETLK, &lock) != 0) return CloseQuietly(fd, kDosSharingViolation);
  return kDosOk;
}

}  // namespace

void InjectFileFault(FileOp op, int nth, int dosError) {
  if (nth >= 1) faultPlans.push_back({op, nth, dosError});
}

void ResetFileFaults() { faultPlans.clear(); }

void InjectCrashAtChange(int nth, bool tearWrite) {
  changesUntilCrash = nth > 0 ? nth : 0;
  changesCounted = 0;
  tearPlannedWrite = tearWrite;
}

int ChangesCounted() { return changesCounted; }

void StartJournal() {
  journal.clear();
  journalOn = true;
}

size_t JournalLength() { return journal.size(); }

std::vector<JournalEntry> StopJournal() {
  journalOn = false;
  return std::move(journal);
}

int OpenFile(std::string_view name, int mode, FileHandle& handle) {
  return OpenOrCreate(name, mode, false, handle);
}

int CreateFile(std::string_view name, int mode, FileHandle& handle) {
  return OpenOrCreate(name, mode, true, handle);
}

int CloseFile(FileHandle handle) {
  if (handle < 0) return kDosInvalidHandle;
  // Linux closes the descriptor even when close reports an error, so it is
  // never retried.
  if (close(handle) != 0 && errno != EINTR) return DosErrorFromErrno(errno, kDosAccessDenied);
  return kDosOk;
}

int ReadAt(FileHandle handle, uint64_t pos, void* buffer, size_t count, size_t& got) {
  got = 0;
  if (handle < 0) return kDosInvalidHandle;
  if (int error = TakeFault(FileOp::Read)) return error;
  if (pos > uint64_t(LLONG_MAX) - count) return kDosReadFault;
  while (got < count) {
    ssize_t n = pread(handle, static_cast<char*>(buffer) + got, count - got, off_t(pos + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return DosErrorFromErrno(errno, kDosReadFault);
    }
    if (n == 0) break;
    got += size_t(n);
  }
  return kDosOk;
}

int WriteAt(FileHandle handle, uint64_t pos, const void* buffer, size_t count) {
  if (handle < 0) return kDosInvalidHandle;
  if (int error = TakeFault(FileOp::Write)) return error;
  if (pos > uint64_t(LLONG_MAX) - count) return kDosWriteFault;
  CountChange(handle, pos, buffer, count);
  size_t done = 0;
  while (done < count) {
    ssize_t n = pwrite(handle, static_cast<const char*>(buffer) + done, count - done, off_t(pos + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return DosErrorFromErrno(errno, kDosWriteFault);
    }
    if (n == 0) return kDosWriteFault;
    done += size_t(n);
  }
  if (journalOn) Record(JournalEntry::Kind::Write, PathOfHandle(handle), pos, buffer, count);
  return kDosOk;
}

int FileSize(FileHandle handle, uint64_t& size) {
  size = 0;
  struct stat info;
  if (fstat(handle, &info) != 0) return DosErrorFromErrno(errno, kDosAccessDenied);
  size = uint64_t(info.st_size);
  return kDosOk;
}

int TruncateFile(FileHandle handle, uint64_t size) {
  if (handle < 0) return kDosInvalidHandle;
  if (int error = TakeFault(FileOp::Truncate)) return error;
  CountChange();
  if (size > uint64_t(LLONG_MAX)) return kDosWriteFault;
  if (ftruncate(handle, off_t(size)) != 0) return DosErrorFromErrno(errno, kDosWriteFault);
  if (journalOn) Record(JournalEntry::Kind::Truncate, PathOfHandle(handle), size);
  return kDosOk;
}

int FlushFile(FileHandle handle) {
  if (fsync(handle) != 0) return DosErrorFromErrno(errno, kDosWriteFault);
  if (journalOn) Record(JournalEntry::Kind::Sync, PathOfHandle(handle));
  return kDosOk;
}

int FlushDirectory(std::string_view name) {
  std::string path = ResolvePath(name);
  if (path.empty()) path = ".";
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return MissingNameError(path, errno);
  const int error = fsync(fd) != 0 ? DosErrorFromErrno(errno, kDosWriteFault) : kDosOk;
  close(fd);
  if (error == kDosOk && journalOn) Record(JournalEntry::Kind::Sync, AbsolutePath(path));
  return error;
}

int DeleteFile(std::string_view name) {
  if (int error = TakeFault(FileOp::Delete)) return error;
  CountChange();
  std::string path = ResolvePath(name);
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return MissingNameError(path, errno);
  if (S_ISDIR(info.st_mode)) return kDosAccessDenied;
  if (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return kDosAccessDenied;
  int held = -1;
  if (int error = HoldExclusively(path, held)) return error;
  const std::string absolute = journalOn ? AbsolutePath(path) : std::string();
  const int error = unlink(path.c_str()) != 0 ? DosErrorFromErrno(errno, kDosAccessDenied) : kDosOk;
  if (error == kDosOk) Record(JournalEntry::Kind::Delete, absolute);
  close(held);
  return error;
}

int RenameFile(std::string_view from, std::string_view to) {
  if (int error = TakeFault(FileOp::Rename)) return error;
  CountChange();
  std::string source = ResolvePath(from);
  struct stat sourceInfo, targetInfo;
  if (lstat(source.c_str(), &sourceInfo) != 0) return MissingNameError(source, errno);
  std::string target = ResolvePath(to);
  if (lstat(target.c_str(), &targetInfo) == 0) {
    bool sameEntry = targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino;
    if (!sameEntry) return kDosFileExists;
    // Only the case of the name changes: the last component as written.
    target = detail::ResolveKeepingLastName(to);
  }
  int held = -1;
  if (int error = HoldExclusively(source, held)) return error;
  const std::string absolute = journalOn ? AbsolutePath(source) : std::string();
  const int error = rename(source.c_str(), target.c_str()) != 0 ? MissingNameError(target, errno) : kDosOk;
  if (error == kDosOk) Record(JournalEntry::Kind::Rename, absolute, 0, nullptr, 0, AbsolutePath(target));
  close(held);
  return error;
}

int ReplaceFile(std::string_view from, std::string_view to) {
  if (int error = TakeFault(FileOp::Rename)) return error;
  CountChange();
  std::string source = ResolvePath(from);
  struct stat sourceInfo;
  if (lstat(source.c_str(), &sourceInfo) != 0) return MissingNameError(source, errno);
  int held = -1;
  if (int error = HoldExclusively(source, held)) return error;
  std::string target = ResolvePath(to);
  int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
  const bool deniesWriting = fd >= 0 && OthersHold(fd, kDenyWrite, 1);
  if (fd >= 0) close(fd);
  int error = kDosSharingViolation;
  const std::string absolute = journalOn ? AbsolutePath(source) : std::string();
  if (!deniesWriting) error = rename(source.c_str(), target.c_str()) != 0 ? MissingNameError(target, errno) : kDosOk;
  if (!deniesWriting && error == kDosOk)
    Record(JournalEntry::Kind::Rename, absolute, 0, nullptr, 0, AbsolutePath(target));
  close(held);
  return error;
}

int CopyFile(std::string_view from, std::string_view to, bool keepTimes) {
  constexpr size_t kCopyBlock = 64 * 1024;
  FileIdentity sourceId, targetId;
  // Copying a file onto itself would truncate it before reading it.
  if (GetFileIdentity(from, sourceId) && GetFileIdentity(to, targetId) && sourceId == targetId)
    return kDosSharingViolation;
  FileHandle source, target;
  if (int error = OpenFile(from, kAccessRead | kShareDenyNone, source)) return error;
  if (int error = CreateFile(to, kAccessReadWrite | kShareDenyWrite, target)) {
    CloseFile(source);
    return error;
  }
  std::vector<char> block(kCopyBlock);
  int error = kDosOk;
  for (uint64_t pos = 0;;) {
    size_t got = 0;
    error = ReadAt(source, pos, block.data(), block.size(), got);
    if (error == kDosOk && got > 0) error = WriteAt(target, pos, block.data(), got);
    if (error != kDosOk || got < block.size()) break;
    pos += got;
  }
  struct stat info;
  if (error == kDosOk && keepTimes) {
    if (fstat(source, &info) != 0) {
      error = DosErrorFromErrno(errno, kDosReadFault);
    } else {
      const timespec times[2] = {info.st_atim, info.st_mtim};
      if (futimens(target, times) != 0) error = DosErrorFromErrno(errno, kDosWriteFault);
    }
  }
  CloseFile(source);
  int closeError = CloseFile(target);
  if (error == kDosOk) error = closeError;
  // A partial copy must not pass for the file.
  if (error != kDosOk) unlink(ResolvePath(to).c_str());
  return error;
}

int MakeDirectory(std::string_view name) {
  if (int error = TakeFault(FileOp::Directory)) return error;
  std::string path = ResolvePath(name);
  if (mkdir(path.c_str(), 0777) != 0) return MissingNameError(path, errno);
  return kDosOk;
}

int RemoveDirectory(std::string_view name) {
  if (int error = TakeFault(FileOp::Directory)) return error;
  std::string path = ResolvePath(name);
  if (rmdir(path.c_str()) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST || errno == EBUSY) return kDosAccessDenied;
    return MissingNameError(path, errno);
  }
  return kDosOk;
}

int ChangeDirectory(std::string_view name) {
  if (int error = TakeFault(FileOp::Directory)) return error;
  std::string path = ResolvePath(name);
  if (chdir(path.c_str()) != 0) return MissingNameError(path, errno);
  return kDosOk;
}

bool FreeDiskBytes(std::string_view directory, uint64_t& bytes) {
  bytes = 0;
  struct statvfs info;
  const std::string path = directory.empty() ? std::string(".") : ResolvePath(directory);
  if (statvfs(path.c_str(), &info) != 0) return false;
  bytes = uint64_t(info.f_bavail) * uint64_t(info.f_frsize);
  return true;
}

bool FileExists(std::string_view name) {
  struct stat info;
  return stat(ResolvePath(name).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(std::string_view name) {
  struct stat info;
  std::string path = ResolvePath(name);
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int GetAttributes(std::string_view name, uint32_t& attributes) {
  attributes = 0;
  std::string path = ResolvePath(name);
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return MissingNameError(path, errno);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  attributes = detail::AttributesOf(info, std::string_view(path).substr(path.find_last_of('/') + 1));
  return kDosOk;
}

// Only the read-only bit of a file has a counterpart here: the write
// permission of the owner. The other bits, and a directory's read-only bit
// (which does not keep DOS from creating files in it), are accepted and
// ignored.
int SetAttributes(std::string_view name, uint32_t attributes) {
  std::string path = ResolvePath(name);
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return MissingNameError(path, errno);
  if (S_ISDIR(info.st_mode)) return kDosOk;
  mode_t mode = info.st_mode & 07777;
  constexpr mode_t kAllWrite = S_IWUSR | S_IWGRP | S_IWOTH;
  if (attributes & kAttrReadOnly)
    mode &= ~kAllWrite;
  else if ((mode & S_IWUSR) == 0)
    mode |= S_IWUSR;
  if (mode != (info.st_mode & 07777) && chmod(path.c_str(), mode) != 0)
    return DosErrorFromErrno(errno, kDosAccessDenied);
  return kDosOk;
}

int GetFileDosDateTime(std::string_view name, uint16_t& date, uint16_t& time) {
  date = time = 0;
  std::string path = ResolvePath(name);
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return MissingNameError(path, errno);
  detail::ToDosDateTime(info.st_mtime, date, time);
  return kDosOk;
}

int GetFileDosDateTime(FileHandle handle, uint16_t& date, uint16_t& time) {
  date = time = 0;
  struct stat info;
  if (fstat(handle, &info) != 0) return DosErrorFromErrno(errno, kDosAccessDenied);
  detail::ToDosDateTime(info.st_mtime, date, time);
  return kDosOk;
}

bool GetFileIdentity(std::string_view name, FileIdentity& id) {
  struct stat info;
  std::string path = ResolvePath(name);
  if (path.empty() || stat(path.c_str(), &info) != 0) return false;
  id.device = uint64_t(info.st_dev);
  id.inode = uint64_t(info.st_ino);
  return true;
}

}  // namespace platform
