#include "platform/base/system.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/process.h"

extern char** environ;

namespace platform {

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string out = dir && *dir ? dir : "/tmp";
  if (out.back() != '/') out += '/';
  return out;
}

std::string MakeTempFileName(std::string_view dir, std::string_view prefix) {
  std::string folder = dir.empty() ? TempDirectory() : std::string(dir);
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (folder.back() != '/') folder += '/';
  std::string head = folder + std::string(prefix.substr(0, 3));
  // The counter starts from the process id, so two processes rarely probe the
  // same names; O_EXCL settles any collision.
  static unsigned counter = unsigned(getpid()) & 0xFFFF;
  for (int tries = 0; tries < 0x10000; ++tries) {
    counter = (counter + 1) & 0xFFFF;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", counter);
    std::string name = head + hex + ".TMP";
    int fd = ::open(ResolvePath(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) return "";
  }
  return "";
}

InstanceLock::~InstanceLock() { Release(); }

bool InstanceLock::Acquire(std::string_view name) {
  Release();
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = run && *run ? std::string(run) + "/" : TempDirectory();
  std::string path = dir + Cp1252ToUtf8(name) + ".lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing the last descriptor drops the flock
  fd_ = -1;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

namespace {

// Starts argv (UTF-8, as the system takes it).
int Spawn(std::vector<std::string> args) {
  if (args.empty()) return -1;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  bool hasSeparator = args[0].find('/') != std::string::npos;
  pid_t pid = -1;
  int rc = hasSeparator ? posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ)
                        : posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  return rc == 0 ? int(pid) : -1;
}

// The program name is a file name like any other (found without regard to
// case); the arguments are texts for the program and only change encoding.
std::vector<std::string> SystemArguments(const std::vector<std::string>& words) {
  std::vector<std::string> args;
  for (size_t i = 0; i < words.size(); ++i) {
    bool file = i == 0 && words[0].find_first_of("/\\") != std::string::npos;
    args.push_back(file ? ResolvePath(words[i]) : Cp1252ToUtf8(words[i]));
  }
  return args;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int SpawnProgram(std::string_view commandLine) {
  return Spawn(SystemArguments(SplitCommandLine(commandLine)));
}

int ProcessEndFd(int pid) {
#ifdef SYS_pidfd_open
  return int(syscall(SYS_pidfd_open, pid_t(pid), 0));
#else
  (void)pid;
  return -1;
#endif
}

bool ProcessEnded(int pid, int& exitCode) {
  int status = 0;
  pid_t r = ::waitpid(pid, &status, WNOHANG);
  if (r == 0) return false;
  exitCode = r < 0 ? -1 : ExitCodeOf(status);
  return true;
}

int WaitForProcess(int pid) {
  int status = 0;
  pid_t r;
  do r = ::waitpid(pid, &status, 0);
  while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : ExitCodeOf(status);
}

int OpenDocument(std::string_view document) {
  const char* handler = std::getenv("QMK_OPEN_COMMAND");
  // The handler's command is already in the system's encoding.
  std::vector<std::string> args = SplitCommandLine(handler && *handler ? handler : "xdg-open");
  std::string target(document);
  // A stored DOS path names a file; an address ("http:", "mailto:") goes as it is.
  bool isAddress = target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0;
  args.push_back(isAddress ? Cp1252ToUtf8(target) : ResolvePath(FullPath(target)));
  return Spawn(std::move(args));
}

}  // namespace platform
