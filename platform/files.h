// Files for the engine on Linux: DOS-style open modes with share modes that
// hold between processes, positional I/O, attributes, DOS file times, find
// first/next with DOS wildcards, and path resolution that accepts "\" and "/",
// drops a drive prefix and finds an existing file without regard to case.
//
// Names passed in are Windows-1252 bytes, as the engine keeps them; they are
// converted to UTF-8 only at the system call. Every routine answers 0 or a
// DOS error code (the engine's callers expect those numbers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// DOS error codes.
constexpr int kDosOk = 0;
constexpr int kDosFileNotFound = 2;
constexpr int kDosPathNotFound = 3;
constexpr int kDosTooManyOpenFiles = 4;
constexpr int kDosAccessDenied = 5;
constexpr int kDosInvalidHandle = 6;
constexpr int kDosInvalidAccess = 12;  // access bits of an open mode out of range
constexpr int kDosNotSameDevice = 17;  // a rename across file systems
constexpr int kDosNoMoreFiles = 18;    // a directory search is exhausted
constexpr int kDosSharingViolation = 32;
constexpr int kDosLockViolation = 33;
constexpr int kDosFileExists = 80;
constexpr int kDosDiskFull = 112;
constexpr int kDosReadFault = 30;
constexpr int kDosWriteFault = 29;

// Open mode byte, as DOS builds it: access in bits 0-2, sharing in bits 4-6.
// 64 = read, deny none; 66 = read/write, deny none; 34 = read/write, deny write;
// 16 = read, exclusive. Bit 7 (0x80; 160 = 0x80 + deny write + read) asks that
// child processes not inherit the handle; no handle is ever inherited here.
constexpr int kAccessRead = 0;
constexpr int kAccessWrite = 1;
constexpr int kAccessReadWrite = 2;
constexpr int kShareCompat = 0x00;
constexpr int kShareDenyAll = 0x10;
constexpr int kShareDenyWrite = 0x20;
constexpr int kShareDenyRead = 0x30;
constexpr int kShareDenyNone = 0x40;

// File attributes (DOS bits).
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;

using FileHandle = int;
constexpr FileHandle kNoFile = -1;

// Opens an existing file. The share part of mode is enforced against every
// other open of the same file, in this process or another (32). A file with
// the read-only attribute refuses write access (5), as does a directory.
int OpenFile(std::string_view name, int mode, FileHandle& handle);
// Creates a file (truncating an existing one) and opens it with mode.
int CreateFile(std::string_view name, int mode, FileHandle& handle);
int CloseFile(FileHandle handle);

// Reads up to count bytes at pos; got tells how many came (fewer at the end).
int ReadAt(FileHandle handle, uint64_t pos, void* buffer, size_t count, size_t& got);
// Writes all count bytes at pos, or answers an error.
int WriteAt(FileHandle handle, uint64_t pos, const void* buffer, size_t count);
int FileSize(FileHandle handle, uint64_t& size);
int TruncateFile(FileHandle handle, uint64_t size);
int FlushFile(FileHandle handle);
// Syncs a directory, so that the entries of files made or renamed in it
// survive a machine that stops.
int FlushDirectory(std::string_view name);

// Delete and rename refuse a file that is open anywhere (32); delete also
// refuses a read-only file (5), rename an existing target (80).
int DeleteFile(std::string_view name);
int RenameFile(std::string_view from, std::string_view to);
// Puts the file from in the place of the file to in one step (a process that
// dies meanwhile leaves one or the other whole), as a truncating create of
// to would: refused (32) while an open of to denies writing, or while from
// is open anywhere. to need not exist.
int ReplaceFile(std::string_view from, std::string_view to);
// Copies a file; with keepTimes the copy gets the source's modification time.
int CopyFile(std::string_view from, std::string_view to, bool keepTimes);
int MakeDirectory(std::string_view name);
// Removes an empty directory; a directory that still holds entries is
// refused with 5, as DOS does.
int RemoveDirectory(std::string_view name);
// Makes the directory the process's current directory.
int ChangeDirectory(std::string_view name);
// Free bytes on the file system that holds the directory; false when it
// cannot be asked.
bool FreeDiskBytes(std::string_view directory, uint64_t& bytes);

bool FileExists(std::string_view name);
bool DirectoryExists(std::string_view name);
int GetAttributes(std::string_view name, uint32_t& attributes);
int SetAttributes(std::string_view name, uint32_t attributes);

// Modification time of a file as DOS date and time words.
int GetFileDosDateTime(std::string_view name, uint16_t& date, uint16_t& time);
int GetFileDosDateTime(FileHandle handle, uint16_t& date, uint16_t& time);

// The path to hand to the system for an engine name: "\" becomes "/", a drive
// prefix "X:" is dropped, each component that does not exist as written is
// looked up without regard to case, and the result is UTF-8. A name that does
// not exist yet keeps its last components as written.
std::string ResolvePath(std::string_view name);
// The absolute form of a name (Windows-1252, "/" separators), whether or not
// the file exists; "." and ".." are folded.
std::string FullPath(std::string_view name);
// The canonical identity of an existing file (device and inode), so that two
// spellings of one file compare equal. False when the file does not exist.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
bool GetFileIdentity(std::string_view name, FileIdentity& id);

// Directory search with DOS wildcards ("*", "?") in the last component.
struct FindData {
  std::string name;  // Windows-1252, without directory
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
};
class FindSearch {
 public:
  FindSearch() = default;
  ~FindSearch();
  FindSearch(const FindSearch&) = delete;
  FindSearch& operator=(const FindSearch&) = delete;
  // Starts a search; attributes selects hidden, system and directory entries
  // in addition to normal files, as DOS does. Answers 0 or kDosFileNotFound
  // (no match) / kDosPathNotFound.
  int First(std::string_view pattern, uint32_t attributes, FindData& found);
  int Next(FindData& found);
  void Close();

 private:
  struct State;
  State* state_ = nullptr;
};

// Fault injection for tests: the n-th next operation of a kind fails with the
// given DOS error (n = 1 is the very next one). Reset clears every plan.
// Directory covers making, removing and changing directories.
enum class FileOp { Open, Create, Read, Write, Rename, Delete, Truncate, Directory };
void InjectFileFault(FileOp op, int nth, int dosError);
void ResetFileFaults();
// Crash tests: the process kills itself (SIGKILL) right before the n-th next
// operation that changes a file (create, write, truncate, rename, replace,
// delete); 0 stops counting. With tearWrite, when that operation is a write
// that crosses a boundary of kTearPage bytes in the file, its bytes before
// the first boundary are written first: a kill that reaches a process inside
// such a write leaves it so (the system copies a write page by page and
// stops between pages for a kill). ChangesCounted tells how many such
// operations ran since the plan was made.
inline constexpr uint64_t kTearPage = 4096;
void InjectCrashAtChange(int nth, bool tearWrite = false);
int ChangesCounted();

// Power-loss tests: while the journal runs, every change of a file and every
// sync is recorded in order, with the system path of the file (a write or
// truncate to the file's path when it was made, a create as a truncate to
// 0, a directory's sync as a sync of its path). From it and a copy of the files taken when it started, a test builds
// the disk states a machine that stopped may leave.
struct JournalEntry {
  enum class Kind { Write, Truncate, Sync, Rename, Delete };
  Kind kind = Kind::Write;
  std::string path;
  std::string target;  // Rename: the new path
  uint64_t position = 0;  // Write: where; Truncate: the new size
  std::vector<uint8_t> data;  // Write: the bytes
};
void StartJournal();
// Entries recorded so far.
size_t JournalLength();
// Stops recording and hands the entries over.
std::vector<JournalEntry> StopJournal();

}  // namespace platform
