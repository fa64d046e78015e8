#include "platform/process.h"

#include <unistd.h>

#include <climits>
#include <string>

#include "platform/codepage.h"

namespace platform {

std::string ProgramPath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return Utf8ToCp1252(std::string_view(buffer, size_t(n)));
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return "/";
  std::string dir = Utf8ToCp1252(buffer);
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace platform
