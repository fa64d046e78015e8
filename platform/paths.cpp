// Engine names to system paths: DOS separators and drive prefixes, names
// matched without regard to case, Windows-1252 to UTF-8.
#include <dirent.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/process.h"

namespace platform {

namespace detail {

namespace {

constexpr uint8_t kCaseDistance = 'a' - 'A';
constexpr uint8_t kSmallAccentedFirst = 0xE0;  // à
constexpr uint8_t kSmallAccentedLast = 0xFE;   // þ
constexpr uint8_t kDivisionSign = 0xF7;        // ÷ is no letter

// Small letters of Windows-1252 whose capital lies elsewhere.
struct CasePair {
  uint8_t small, capital;
};
constexpr CasePair kOddCasePairs[] = {
    {0x9A, 0x8A},  // š Š
    {0x9C, 0x8C},  // œ Œ
    {0x9E, 0x8E},  // ž Ž
    {0xFF, 0x9F},  // ÿ Ÿ
};

}  // namespace

uint8_t FoldNameChar(uint8_t c) {
  if (c >= 'a' && c <= 'z') return uint8_t(c - kCaseDistance);
  if (c >= kSmallAccentedFirst && c <= kSmallAccentedLast && c != kDivisionSign)
    return uint8_t(c - kCaseDistance);
  for (const CasePair& pair : kOddCasePairs)
    if (pair.small == c) return pair.capital;
  return c;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldNameChar(uint8_t(a[i])) != FoldNameChar(uint8_t(b[i]))) return false;
  return true;
}

}  // namespace detail

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsDotName(std::string_view part) { return part == "." || part == ".."; }

// An engine name taken apart: drive prefix gone, components without
// separators.
struct EngineName {
  bool absolute = false;
  bool trailingSeparator = false;
  std::vector<std::string_view> parts;
};

std::string_view DropDrive(std::string_view name) {
  bool letter = name.size() >= 2 && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (letter && name[1] == ':') name.remove_prefix(2);
  return name;
}

// Windows ignores trailing dots and blanks of a name component ("DATA."
// names "DATA"); so does this layer.
std::string_view TrimComponent(std::string_view part) {
  if (IsDotName(part)) return part;
  while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
  return part;
}

EngineName SplitEngineName(std::string_view name) {
  name = DropDrive(name);
  EngineName split;
  split.absolute = !name.empty() && IsSeparator(name.front());
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::string_view part = TrimComponent(name.substr(start, end - start));
    if (!part.empty()) split.parts.push_back(part);
    start = end + 1;
  }
  split.trailingSeparator = !split.parts.empty() && IsSeparator(name.back());
  return split;
}

bool EntryExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// Looks in directory for an entry whose name equals part (Windows-1252)
// without regard to case; the first one in byte order wins. Names that
// Windows-1252 cannot spell are passed over.
bool FindIgnoringCase(const std::string& directory, std::string_view part, std::string& match) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    std::string_view systemName = entry->d_name;
    if (IsDotName(systemName)) continue;
    std::string name = Utf8ToCp1252(systemName);
    if (!detail::SameNameIgnoringCase(name, part) || Cp1252ToUtf8(name) != systemName) continue;
    if (!found || systemName < match) match = systemName;
    found = true;
  }
  closedir(dir);
  return found;
}

// Component by component: each of the first searched components that does
// not exist as written is looked up without regard to case; from the first
// one that is missing altogether on, the rest stays as written, and so do the
// components after the searched ones.
std::string Resolve(const EngineName& split, size_t searched) {
  std::string path = split.absolute ? "/" : "";
  bool directoryExists = true;
  for (size_t i = 0; i < split.parts.size(); ++i) {
    if (i > 0) path += '/';
    std::string part = Cp1252ToUtf8(split.parts[i]);
    bool search = directoryExists && i < searched && !IsDotName(split.parts[i]);
    if (search && !EntryExists(path + part)) {
      std::string match;
      directoryExists = FindIgnoringCase(path.empty() ? "." : path, split.parts[i], match);
      if (directoryExists) part = match;
    }
    path += part;
  }
  if (split.trailingSeparator) path += '/';
  return path;
}

}  // namespace

namespace detail {

std::string ResolveKeepingLastName(std::string_view name) {
  EngineName split = SplitEngineName(name);
  return Resolve(split, split.parts.empty() ? 0 : split.parts.size() - 1);
}

}  // namespace detail

std::string ResolvePath(std::string_view name) {
  EngineName split = SplitEngineName(name);
  std::string written = Resolve(split, 0);
  if (written.empty() || EntryExists(written)) return written;
  return Resolve(split, split.parts.size());
}

std::string FullPath(std::string_view name) {
  EngineName split = SplitEngineName(name);
  std::vector<std::string_view> folded;
  std::string current;
  if (!split.absolute) {
    current = CurrentDirectory();
    size_t start = 0;
    while (start < current.size()) {
      size_t end = current.find('/', start);
      if (end == std::string::npos) end = current.size();
      if (end > start) folded.push_back(std::string_view(current).substr(start, end - start));
      start = end + 1;
    }
  }
  for (std::string_view part : split.parts) {
    if (part == ".") continue;
    if (part == "..") {
      if (!folded.empty()) folded.pop_back();
      continue;
    }
    folded.push_back(part);
  }
  std::string path;
  for (std::string_view part : folded) {
    path += '/';
    path += part;
  }
  if (path.empty() || split.trailingSeparator) path += '/';
  return path;
}

}  // namespace platform
