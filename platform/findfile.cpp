// Directory search with DOS wildcards, the way FindFirst/FindNext answer it:
// the matches of the last component of a pattern, without regard to case,
// sorted by name.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/files_internal.h"

namespace platform {

struct FindSearch::State {
  std::vector<FindData> entries;
  size_t next = 0;
};

namespace {

using detail::FoldNameChar;

// "*" any run of characters (also none), "?" exactly one.
bool WildcardFits(std::string_view name, std::string_view pattern) {
  size_t n = 0, p = 0;
  size_t starPattern = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldNameChar(uint8_t(pattern[p])) == FoldNameChar(uint8_t(name[n])))) {
      ++p;
      ++n;
    } else if (starPattern != std::string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// As on DOS, a pattern ending in ".*" also matches a name without an
// extension ("*.*" matches every name, "KUNDEN.*" matches "KUNDEN").
bool DosWildcardMatch(std::string_view name, std::string_view pattern) {
  if (WildcardFits(name, pattern)) return true;
  constexpr std::string_view kAnyExtension = ".*";
  return pattern.ends_with(kAnyExtension) && name.find('.') == std::string_view::npos &&
         WildcardFits(name, pattern.substr(0, pattern.size() - kAnyExtension.size()));
}

bool FoldedLess(const FindData& a, const FindData& b) {
  size_t common = std::min(a.name.size(), b.name.size());
  for (size_t i = 0; i < common; ++i) {
    uint8_t x = FoldNameChar(uint8_t(a.name[i])), y = FoldNameChar(uint8_t(b.name[i]));
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

}  // namespace

FindSearch::~FindSearch() { Close(); }

void FindSearch::Close() {
  delete state_;
  state_ = nullptr;
}

int FindSearch::First(std::string_view pattern, uint32_t attributes, FindData& found) {
  Close();
  size_t cut = pattern.find_last_of("/\\");
  if (cut == std::string_view::npos && pattern.size() >= 2 && pattern[1] == ':') cut = 1;
  std::string_view directoryPart = cut == std::string_view::npos ? "" : pattern.substr(0, cut + 1);
  std::string_view namePattern = pattern.substr(directoryPart.size());

  std::string directory = ResolvePath(directoryPart);
  if (directory.empty()) directory.push_back('.');
  if (directory.back() != '/') directory.push_back('/');
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return errno == ENOENT ? kDosPathNotFound : detail::MissingNameError(directory, errno);

  // Normal files always qualify; hidden, system and directory entries only
  // when the caller asks for them.
  constexpr uint32_t kSelectable = kAttrHidden | kAttrSystem | kAttrDirectory;
  auto state = std::make_unique<State>();
  while (const dirent* entry = readdir(dir)) {
    std::string_view systemName = entry->d_name;
    std::string name = Utf8ToCp1252(systemName);
    if (Cp1252ToUtf8(name) != systemName || !DosWildcardMatch(name, namePattern)) continue;
    struct stat info;
    if (stat((directory + entry->d_name).c_str(), &info) != 0) continue;
    uint32_t entryAttributes = detail::AttributesOf(info, name);
    if ((entryAttributes & kSelectable & ~attributes) != 0) continue;
    FindData data;
    data.name = std::move(name);
    data.attributes = entryAttributes;
    data.size = S_ISDIR(info.st_mode) ? 0 : uint64_t(info.st_size);
    detail::ToDosDateTime(info.st_mtime, data.dosDate, data.dosTime);
    state->entries.push_back(std::move(data));
  }
  closedir(dir);
  if (state->entries.empty()) return kDosFileNotFound;
  std::sort(state->entries.begin(), state->entries.end(), FoldedLess);
  state_ = state.release();
  return Next(found);
}

int FindSearch::Next(FindData& found) {
  if (state_ == nullptr) return kDosInvalidHandle;
  if (state_->next >= state_->entries.size()) return kDosNoMoreFiles;
  found = state_->entries[state_->next++];
  return kDosOk;
}

}  // namespace platform
