// The toolkit's shared routines (see kxutil.h).
#include "runtime/toolkit/kxutil.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/base/system.h"
#include "platform/dialogs/provider.h"
#include "platform/files.h"
#include "platform/framework/application.h"
#include "platform/settings/profile.h"
#include "platform/win/message.h"
#include "platform/win/window.h"
#include "runtime/toolkit/kxstring.h"

namespace kxutil {

char DecimalSeparator = '.';

void ReadDecimalSeparator() {
  char value[8] = {};
  win::GetProfileStringA("intl", "sDecimal", ".", value, sizeof value);
  DecimalSeparator = value[0] ? value[0] : '.';
}

namespace {

// Read once at start-up, after the settings are in place.
const bool decimalSeparatorRead = (ReadDecimalSeparator(), true);

// Parses text with strtod: the value, and the error position of rule 1
// (position 0 when the whole text is a number).
double Parse(const char* text, int* errorPos) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  *errorPos = *end ? int(end - text) + 1 : 0;
  return v;
}

template <class T>
void Ranged(const char* text, T* result, int* errorPos, double low, double high) {
  int pos = 0;
  const double v = Parse(text, &pos);
  if (pos == 0 && !(v >= low && v <= high)) pos = int(std::strlen(text)) + 1;
  *errorPos = pos;
  if (pos == 0) *result = T(std::trunc(v));
}

}  // namespace

int ExecProgram(const char* commandLine, bool wait, int) {
  const int pid = platform::SpawnProgram(commandLine ? commandLine : "");
  if (pid < 0) return -1;
  if (!wait) return 0;
  fw::TApplication* app = fw::TApplication::Current();
  const win::HWND main = app && app->GetMainWindow() ? app->GetMainWindow()->GetHandle() : win::HWND();
  if (main) win::EnableWindow(main, false);
  int exitCode = 0;
  const int fd = platform::ProcessEndFd(pid);
  {
    win::LoopScope scope(std::string("ExecProgram ") + commandLine);
    const int source = fd >= 0 ? win::AddWaitSource(fd, [] {}) : 0;
    while (!platform::ProcessEnded(pid, exitCode)) {
      win::MSG msg;
      if (win::PeekMessage(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
        if (msg.message == win::WM_QUIT) {
          win::PostQuitMessage(int(msg.wParam));  // for the loops outside; the program still runs
          break;
        }
        win::ProcessMessage(msg);
      } else if (fd >= 0) {
        win::WaitForWork();
      } else {
        usleep(10000);
      }
    }
    if (source) win::RemoveWaitSource(source);
  }
  if (fd >= 0) close(fd);
  if (main && win::IsWindow(main)) {
    win::EnableWindow(main, true);
    win::SetForegroundWindow(main);
  }
  return 0;
}

win::HWND GetTopParent(win::HWND hwnd) {
  while (const win::HWND up = win::GetParent(hwnd)) hwnd = up;
  return hwnd;
}

void MemCopy(void* dest, const void* src, size_t count) {
  if (count) std::memmove(dest, src, count);
}

win::HGLOBAL CopyGlobalMemory(uint32_t flags, win::HGLOBAL block) {
  const size_t size = win::GlobalSize(block);
  win::HGLOBAL copy = win::GlobalAlloc(flags, size);
  if (!copy.id) return copy;
  const void* from = win::GlobalLock(block);
  void* to = win::GlobalLock(copy);
  if (from && to && size) std::memcpy(to, from, size);
  win::GlobalUnlock(copy);
  win::GlobalUnlock(block);
  return copy;
}

void StrToLong(const char* text, int32_t* result, int* errorPos) {
  Ranged(text, result, errorPos, -2147483648.0, 2147483647.0);
}
void StrToULong(const char* text, uint32_t* result, int* errorPos) {
  Ranged(text, result, errorPos, 0.0, 4294967295.0);
}
void StrToShort(const char* text, int16_t* result, int* errorPos) { Ranged(text, result, errorPos, -32768.0, 32767.0); }
void StrToUShort(const char* text, uint16_t* result, int* errorPos) { Ranged(text, result, errorPos, 0.0, 65535.0); }

void StrToInt(const char* text, int32_t* result, int* errorPos) {
  const double v = std::trunc(Parse(text, errorPos));
  if (!(v >= -2147483648.0 && v <= 2147483647.0)) {
    *errorPos = 1;
    *result = 0;
    return;
  }
  *result = int32_t(v);
}

void StrToDouble(const char* text, double* result, int* errorPos) { *result = Parse(text, errorPos); }

void StrToDoubleLocal(const char* text, double* result, int* errorPos) {
  char cut[20];
  kxstring::StrLCopy(cut, text, 19);
  for (char* p = cut; *p; ++p)
    if (*p == DecimalSeparator) *p = '.';
  *result = Parse(cut, errorPos);
}

char* FormatStr(char* buffer, const char* format, ...) {
  char work[kFormatBuffer];
  va_list args;
  va_start(args, format);
  std::vsnprintf(work, sizeof work, format, args);
  va_end(args);
  std::memcpy(buffer, work, std::strlen(work) + 1);
  return buffer;
}

char* FormatDouble(char* buffer, double value, int decimals) {
  return FormatStr(buffer, "%.*f", std::clamp(decimals, 0, 100), value);
}

char* FormatDoubleLocal(char* buffer, double value, int decimals) {
  FormatDouble(buffer, value, decimals);
  for (char* p = buffer; *p; ++p)
    if (*p == '.') *p = DecimalSeparator;
  return buffer;
}

int ColorsForBitCount(int bits) {
  switch (bits) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    case 16:
    case 24:
    case 32: return 0;
  }
  return -1;
}

void ShowRunError(int code) {
  char text[kFormatBuffer];
  FormatStr(text, "ErrorCode %d", code);
  win::MessageBox(nullptr, text, "RunErrorFunction", win::MB_ICONSTOP | win::MB_OK);
}

long StackAvail() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
  void* low = nullptr;
  size_t size = 0;
  pthread_attr_getstack(&attr, &low, &size);
  pthread_attr_destroy(&attr);
  char here;
  return long(&here - static_cast<char*>(low));
}

namespace {

// Every file with normal attributes (and those `attributes` adds) that the
// wildcard matches, with the path it is found under.
struct Match {
  std::string path;
  std::string name;
  uint64_t size;
};
std::vector<Match> Matches(const char* wildcard, uint32_t attributes) {
  std::vector<Match> list;
  char dir[kMaxPathLength + 1];
  kxstring::GetDriveDir(dir, wildcard, kMaxPathLength);
  platform::FindSearch search;
  platform::FindData found;
  for (int rc = search.First(wildcard, attributes & ~platform::kAttrDirectory, found); rc == 0; rc = search.Next(found))
    if (!(found.attributes & platform::kAttrDirectory)) list.push_back({std::string(dir) + found.name, found.name, found.size});
  return list;
}

int32_t Clamp32(uint64_t v) { return int32_t(std::min<uint64_t>(v, INT32_MAX)); }

}  // namespace

int64_t CopyFiles(const char* targetDir, const char* wildcard, ProgressProc progress, uint32_t attributes) {
  const std::vector<Match> matches = Matches(wildcard, attributes);
  uint64_t total = 0;
  for (const Match& m : matches) total += m.size;
  if (total == 0) return -1;
  std::string target = targetDir;
  if (target.empty() || (target.back() != '\\' && target.back() != '/')) target += '\\';
  std::vector<uint8_t> buffer(4096);
  uint64_t copied = 0;
  for (const Match& m : matches) {
    platform::FileHandle in = platform::kNoFile, out = platform::kNoFile;
    if (platform::OpenFile(m.path, platform::kAccessRead | platform::kShareDenyNone, in) != 0) return -2;
    const std::string to = target + m.name;
    if (platform::CreateFile(to, platform::kAccessReadWrite | platform::kShareDenyNone, out) != 0) {
      platform::CloseFile(in);
      return -3;
    }
    const uint64_t piece = std::clamp<uint64_t>(m.size / 6, 1, buffer.size());
    bool failed = false;
    for (uint64_t pos = 0; pos < m.size && !failed;) {
      const size_t want = size_t(std::min(piece, m.size - pos));
      size_t got = 0;
      failed = platform::ReadAt(in, pos, buffer.data(), want, got) != 0 || got != want ||
               platform::WriteAt(out, pos, buffer.data(), want) != 0;
      if (failed) break;
      pos += want;
      copied += want;
      if (progress) progress(Clamp32(copied), Clamp32(total));
    }
    platform::CloseFile(in);
    failed = platform::CloseFile(out) != 0 || failed;
    if (failed) {
      platform::DeleteFile(to);
      return -4;
    }
  }
  return int64_t(total);
}

int DeleteFiles(const char* wildcard) {
  const std::vector<Match> matches = Matches(wildcard, 0);
  if (matches.empty()) return -1;
  int result = 0;
  for (const Match& m : matches)
    if (platform::DeleteFile(m.path) != 0) result = -2;
  return result;
}

int ChmodFiles(const char* wildcard, int mode) {
  const std::vector<Match> matches = Matches(wildcard, 0);
  if (matches.empty()) return -1;
  int result = 0;
  for (const Match& m : matches) {
    uint32_t attributes = 0;
    if (platform::GetAttributes(m.path, attributes) != 0) {
      result = -2;
      continue;
    }
    attributes = (mode & kWriteBit) ? attributes & ~platform::kAttrReadOnly : attributes | platform::kAttrReadOnly;
    if (platform::SetAttributes(m.path, attributes) != 0) result = -2;
  }
  return result;
}

void MakeDir(const char* path) { platform::MakeDirectory(path); }

bool FileExists(const char* path) {
  platform::FindSearch search;
  platform::FindData found;
  return search.First(path, 0, found) == 0;
}

bool FileOrDirExists(const char* path) {
  platform::FindSearch search;
  platform::FindData found;
  return search.First(path, platform::kAttrDirectory | platform::kAttrHidden | platform::kAttrSystem, found) == 0;
}

void SetFileAttr(const char* path, uint32_t attributes) { platform::SetAttributes(path, attributes); }

bool MakeUniqueFileName(char* path, int m) {
  char dir[kMaxPathLength + 1], nameExt[kMaxPathLength + 1];
  kxstring::GetDriveDir(dir, path, kMaxPathLength);
  kxstring::GetNameExt(nameExt, path, kMaxPathLength);
  const char* dot = std::strrchr(nameExt, '.');
  const std::string name(nameExt, dot ? size_t(dot - nameExt) : std::strlen(nameExt));
  const std::string ext = dot ? dot : "";
  int32_t counter = 0;
  while (FileExists(path)) {
    if (counter == INT32_MAX) return false;
    ++counter;
    const std::string next = std::string(dir) + name + std::to_string(counter) + ext;
    kxstring::StrLCopy(path, next.c_str(), m);
  }
  return true;
}

namespace {

std::unique_ptr<TLog>& LogSlot() {
  static std::unique_ptr<TLog> slot;  // emptied by the exit routines
  return slot;
}

}  // namespace

void SetLog(TLog* log) { LogSlot().reset(log); }
TLog* GetLog() { return LogSlot().get(); }

}  // namespace kxutil
