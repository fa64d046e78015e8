// The toolkit's shared routines: running a program and waiting for it,
// windows, memory, number conversions that follow the user's decimal
// separator, bounded formatting, and file operations over wildcards.
//
// What always holds:
//   1. Number conversions never raise. They report through an error
//      position: 0 when the whole text was converted, else the 1-based
//      position of the first character not converted, or, for a value out of
//      range, the position just behind the number (the text's length + 1 when
//      it is all number). The ranged conversions store a result only at
//      position 0, truncated toward zero. StrToInt has no range of its own but
//      a value outside 32 bits (or no number at all: inf, nan) answers
//      position 1 and stores 0, so that no conversion is undefined.
//   2. Formatting writes at most 255 characters and a NUL: callers' buffers
//      hold kFormatBuffer bytes.
//   3. CopyFiles tests every read and write; a failure answers -4 and removes
//      the target it was writing, so no short copy is left behind.
//   4. Paths are cp1252 with "\" or "/" separators, at most 259 characters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/globalmem.h"
#include "platform/win/winuser.h"

namespace kxutil {

constexpr size_t kFormatBuffer = 256;
constexpr int kMaxPathLength = 259;

// The user's decimal separator ("." until read); ReadDecimalSeparator takes
// the first character of WIN.INI [intl] sDecimal (default ".").
extern char DecimalSeparator;
void ReadDecimalSeparator();

// --- processes and windows ---
// Starts the command line; with wait, disables the application's main
// window, keeps the interface alive until the program ends, then enables
// the window and brings it to the front. -1 when the program could not be
// started, else 0.
int ExecProgram(const char* commandLine, bool wait, int showCommand);
win::HWND GetTopParent(win::HWND hwnd);

// --- memory ---
inline void* HugePtrOffset(void* p, long offset) { return static_cast<char*>(p) + offset; }
void MemCopy(void* dest, const void* src, size_t count);
win::HGLOBAL CopyGlobalMemory(uint32_t flags, win::HGLOBAL block);

// --- numbers ---
void StrToLong(const char* text, int32_t* result, int* errorPos);
void StrToULong(const char* text, uint32_t* result, int* errorPos);
void StrToShort(const char* text, int16_t* result, int* errorPos);
void StrToUShort(const char* text, uint16_t* result, int* errorPos);
void StrToInt(const char* text, int32_t* result, int* errorPos);
void StrToDouble(const char* text, double* result, int* errorPos);
void StrToDoubleLocal(const char* text, double* result, int* errorPos);
char* FormatDouble(char* buffer, double value, int decimals);
char* FormatDoubleLocal(char* buffer, double value, int decimals);
char* FormatStr(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));
int ColorsForBitCount(int bitsPerPixel);
// A stop box "ErrorCode <code>" with the caption "RunErrorFunction".
void ShowRunError(int code);
// Free bytes of the calling thread's stack.
long StackAvail();

// --- files ---
using ProgressProc = int32_t (*)(int32_t done, int32_t total);
// Answers the bytes copied, or -1 nothing to copy, -2 a source can not be
// opened, -3 a target can not be created, -4 a read or write failed.
int64_t CopyFiles(const char* targetDir, const char* wildcard, ProgressProc progress, uint32_t attributes);
// 0; -1 no match; -2 at least one failed.
int DeleteFiles(const char* wildcard);
// mode: the run-time library's bits; without kWriteBit the files become
// read-only, with it writable. 0; -1 no match; -2 at least one failed.
constexpr int kWriteBit = 0x80;
int ChmodFiles(const char* wildcard, int mode);
void MakeDir(const char* path);
bool FileExists(const char* path);
bool FileOrDirExists(const char* path);
void SetFileAttr(const char* path, uint32_t attributes);
// path holds m + 1 bytes.
bool MakeUniqueFileName(char* path, int m);

// --- the log slot ---
class TLog {
 public:
  virtual ~TLog() = default;
  virtual void Add(const char*) {}
  virtual void Flush() {}
};
// Deletes the log held so far and holds the new one (null empties the slot).
void SetLog(TLog* log);
TLog* GetLog();

}  // namespace kxutil
