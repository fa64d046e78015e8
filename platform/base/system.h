// What the runtime asks of the system besides files: unique temporary names,
// the lock that keeps a second instance out, starting programs, and opening a
// document with the desktop's handler.
//
// Names are Windows-1252, as the runtime keeps them; "\" and "/" both separate.
// They become UTF-8 only at the system call (platform::ResolvePath).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Creates an empty file "<prefix><hex>.TMP" in dir (the system's temporary
// folder when dir is empty) that did not exist before, and answers its name
// ("/" separators); "" when no file could be made. The prefix keeps at most
// three characters, as the callers expect of such names.
std::string MakeTempFileName(std::string_view dir, std::string_view prefix);

// The system's temporary folder, ending with "/".
std::string TempDirectory();

// The lock that makes a program single-instance: held by one process at a
// time, released when the holder ends or drops it, even when it dies.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this object now holds the lock named name (a plain word). The
  // lock files live in $XDG_RUNTIME_DIR (else the temporary folder).
  bool Acquire(std::string_view name);
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Starts a program from a command line: the first word is the program (found
// on PATH when it has no separator), the others its arguments; words are
// separated by blanks, and double quotes keep blanks inside one word. Answers
// the process id, or -1 when the program could not be started.
int SpawnProgram(std::string_view commandLine);
// True when the process has ended; its exit code (or 128 + signal) is stored.
bool ProcessEnded(int pid, int& exitCode);
// Waits until the process ends and answers its exit code (-1: no such child).
int WaitForProcess(int pid);
// A descriptor that becomes readable when the process ends (a pidfd), for a
// loop that waits for the process and its messages at once; -1 when the
// system has none. The caller closes it.
int ProcessEndFd(int pid);

// Splits a command line as SpawnProgram does.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Opens a document or address with the desktop's handler (xdg-open, or the
// program named in $QMK_OPEN_COMMAND). Answers the process id of the handler
// or -1; the handler runs on without being waited for.
int OpenDocument(std::string_view document);

}  // namespace platform
