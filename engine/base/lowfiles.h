// Low-level files and the handle queue.
//
// Every file of a table (table file, memo and blob files, index files,
// full-text files) is a TLowFile: a registered file that may or may not hold
// an operating-system handle at a given moment. The engine keeps far more
// files registered than it holds handles: the files that hold one sit in a
// queue ordered by last use, the least recently used one is closed when a
// handle is needed, and every block access reopens its file transparently.
//
// Rules that always hold (checked by the tests):
//   1. A file is in the queue exactly while it holds a handle (isOpen).
//   2. HandleBudget + (files in the queue) stays at the allowance of 20, except
//      that an "open files" refusal of the system lowers the budget for good:
//      the engine then lives with the handles it managed to get.
//   3. The queue is circular through next/prev; head is the most recently
//      used file, head->next the least recently used one.
//   4. isRegistered runs from a successful open or create to the close; a
//      failed block access closes and unregisters the file, and the next
//      access reopens it from its stored name and mode.
//   5. A file opened with a mode that denies other opens something (deny
//      write, deny read, deny all) keeps its handle while it is registered:
//      its share locks live on that handle, and another process could open
//      the file between a close and the reopen. The queue closes only other
//      files; when none is left, the handle is taken beyond the budget
//      (HandleBudget goes below 0).
//
// Write-behind. WriteBehind holds consecutive blocks written one after the
// other (record appends) in the file's own buffer of kWriteBehindBytes and
// writes them with one system call:
//   6. Held bytes reach the file before any other access to that file: every
//      read, write, sync, size query, truncation and close of it first writes
//      them. So the file's own order of writes is kept: records appended
//      behind the buffer go out before a header or count written after them,
//      and a sync covers them.
//   7. A block that continues the held bytes joins them while they fit; one
//      that lies inside them overwrites them there; any other block first
//      writes what is held. A failed write of held bytes fails the access
//      that caused it (answer 3) and closes the file like any failed block.
//   8. A process that dies loses what is held, as it would lose the writes it
//      had not yet made: whatever counts the held records (a table's count,
//      a settled index header) is written only later, by an access that
//      writes them first.
//
// Every routine leaves its result in LOWFILES::Error (0, the system's DOS
// error code, or 2/3/5 as named below) and also answers it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace LOWFILES {

// Open mode bytes (DOS form: access in bits 0-2, sharing in bits 4-6).
inline constexpr uint8_t kModeReadShared = 64;        // read, deny none
inline constexpr uint8_t kModeReadWriteShared = 66;   // read/write, deny none
inline constexpr uint8_t kModeReadWriteDenyWrite = 34;
inline constexpr uint8_t kModeReadOnlyKeepAttr = 160;  // read; attributes never touched
// Access part of a mode byte.
inline constexpr uint8_t kAccessMask = 0x07;

// Result codes of the block routines.
inline constexpr int16_t kErrReadFailed = 2;
inline constexpr int16_t kErrWriteFailed = 3;
inline constexpr int16_t kErrAttributes = 5;

// Handles the engine may hold at once: a fixed allowance less those kept for
// the host and the runtime.
inline constexpr int16_t kHandleAllowance = 35;
inline constexpr int16_t kHandlesKeptForOthers = 15;
inline constexpr int16_t kInitialHandleBudget = kHandleAllowance - kHandlesKeptForOthers;
inline constexpr int16_t kMinimumHandleBudget = 5;
static_assert(kInitialHandleBudget >= kMinimumHandleBudget, "Not enough file handles.");

// Files queued ones are closed for when the system refuses an open.
inline constexpr int16_t kHandlesFreedOnRefusal = 6;
// Longest block that WriteBlockIfChanged compares.
inline constexpr size_t kMaxCompareBlock = 1024;
// Longest file name a TLowFile keeps; open and create refuse longer ones.
inline constexpr size_t kMaxFileName = 259;

// A registered file. It is embedded in the objects that own files and must
// not be copied (it is linked into the queue); destroying it closes it.
struct TLowFile {
  TLowFile* next = nullptr;  // queue: towards the less recently used
  TLowFile* prev = nullptr;  // queue: towards the more recently used
  bool isOpen = false;
  bool isRegistered = false;
  uint8_t openMode = kModeReadWriteShared;  // used for every (re)open
  platform::FileHandle handle = platform::kNoFile;
  std::string name;  // Windows-1252, at most kMaxFileName characters
  // Bytes held by WriteBehind for positions pendingAt .. (rules 6-8).
  std::vector<uint8_t> pending;
  uint64_t pendingAt = 0;

  TLowFile() = default;
  TLowFile(const TLowFile&) = delete;
  TLowFile& operator=(const TLowFile&) = delete;
  ~TLowFile();
};

// Result word of the last operation.
extern int16_t Error;
// Result of the last attribute call: 0 or -1.
extern int16_t AttrResult;
// Handles the engine may still open (may drop below 0 after a refusal).
extern int16_t HandleBudget;
extern int32_t RegisteredCount;

// Registers and opens an existing file.
int16_t OpenLowFile(TLowFile& file, std::string_view name, uint8_t mode);
// Creates the file empty (truncating an existing one), then opens it.
int16_t CreateLowFile(TLowFile& file, std::string_view name, uint8_t mode);
// Closes and unregisters; with setReadOnly the file is then made read-only
// (a failure of that step is ignored).
int16_t CloseLowFile(TLowFile& file, bool setReadOnly);

// Block I/O by byte position. With key != 0 the block is unscrambled after
// the read; a write scrambles a copy, so the caller's buffer stays plain. A
// failure closes and unregisters the file and answers 2 (read) or 3 (write).
int16_t ReadBlock(TLowFile& file, uint64_t position, uint16_t count, uint32_t key, void* buffer);
// Reads up to count plain bytes at position; got tells how many came (fewer
// where the file ends). Only a failed read closes the file and answers 2.
int16_t ReadUpTo(TLowFile& file, uint64_t position, uint16_t count, void* buffer, uint16_t& got);
int16_t WriteBlock(TLowFile& file, uint64_t position, uint16_t count, uint32_t key,
                   const void* buffer);
// Most bytes a file holds back for WriteBehind.
inline constexpr size_t kWriteBehindBytes = 65536;
// As WriteBlock, but the block may be held back (rules 6-8): answers 0, or 3
// when held bytes had to be written and that failed.
int16_t WriteBehind(TLowFile& file, uint64_t position, uint16_t count, uint32_t key, const void* buffer);
// Writes what the file holds back now. Answers 0 or 3.
int16_t WritePending(TLowFile& file);
// Writes a plain block of at most 1024 bytes only when the file is shorter or
// a byte there differs (headers are rewritten this way). More than 1024 bytes
// answers 3 and writes nothing.
int16_t WriteBlockIfChanged(TLowFile& file, uint64_t position, uint16_t count, const void* buffer);

// Crash safety rests on the order in which writes reach the disk, and the
// system keeps that order only up to a sync. The storage units sync at the
// few points where order matters (once per flush, not per record); bulk
// work that rebuilds its files anyway may turn the syncs off.
bool SyncWrites();
void SetSyncWrites(bool on);
// Makes everything written to the file so far durable; nothing when syncs
// are off. Answers 0 or 3.
int16_t SyncFile(TLowFile& file);
// Makes the entries of the files made or renamed in a directory durable;
// nothing when syncs are off. Answers 0 or 3.
int16_t SyncDirectory(std::string_view directory);

// Size in bytes (0 on failure).
uint64_t LowFileSize(TLowFile& file);
// Cuts the file at position when it is longer.
int16_t TruncateAt(TLowFile& file, uint64_t position);

// Closes least recently used files until n handles are free in the budget or
// the queue is empty. The files stay registered.
void FreeHandles(int16_t n);
// Sets or clears the read-only attribute; the archive bit is kept and every
// other attribute cleared. A failure to write answers 5.
int16_t SetReadOnly(TLowFile& file, bool readOnly);
// The system's attribute calls on the file's name; AttrResult says 0 or -1.
void GetFileAttr(const TLowFile& file, uint32_t& attributes);
void SetFileAttr(const TLowFile& file, uint32_t attributes);
// Binds a name to a file that is not open (cut to kMaxFileName characters).
void AssignFileName(TLowFile& file, std::string_view name);

// Copies a whole file; the target gets the source's modification time.
// Answers the DOS result (0 = success).
int CopyDiskFile(std::string_view source, std::string_view target);

// Number of system handles the queue holds right now (for tests).
int OpenHandleCount();

void UnitInit();
void UnitDone();

}  // namespace LOWFILES
