#include "platform/settings/profile.h"

#include <dirent.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/settings/inifile.h"

namespace platform {

namespace {

std::map<std::string, WinIniFallback, std::less<>> winIniFallbacks;
std::map<std::string, WinIniKeysFallback, std::less<>> winIniKeysFallbacks;
WinIniChanged winIniChanged = nullptr;

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(detail::FoldNameChar(uint8_t(c)));
  return out;
}

// The decimal separator of the user's locale, read without touching the
// process's own (C) locale.
bool IntlFallback(std::string_view, std::string_view key, std::string& value) {
  if (!detail::SameNameIgnoringCase(key, "sDecimal")) return false;
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (!loc) {
    value = ".";
    return true;
  }
  value = Utf8ToCp1252(nl_langinfo_l(RADIXCHAR, loc));
  freelocale(loc);
  if (value.empty()) value = ".";
  return true;
}

struct InstallIntl {
  InstallIntl() { winIniFallbacks[Folded("intl")] = IntlFallback; }
} installIntl;

uint32_t CopyCut(const std::string& text, char* buffer, uint32_t size) {
  uint32_t n = uint32_t(text.size()) < size - 1 ? uint32_t(text.size()) : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return n;
}

// A list of names, each ended by a NUL and the whole by one more; a list that
// does not fit ends with two NULs and answers size - 2.
uint32_t CopyList(const std::vector<std::string>& names, char* buffer, uint32_t size) {
  std::string all;
  for (const auto& n : names) all.append(n).push_back('\0');
  if (all.size() + 1 <= size) {
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = 0;
    return uint32_t(all.size());
  }
  if (size < 2) {
    buffer[0] = 0;
    return 0;
  }
  std::memcpy(buffer, all.data(), size - 2);
  buffer[size - 2] = 0;
  buffer[size - 1] = 0;
  return size - 2;
}

std::string TrimBlanks(std::string_view s, bool leading) {
  size_t b = 0, e = s.size();
  if (leading)
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// The value of a key (WIN.INI: or its fallback); false when there is none.
bool FindValue(const detail::IniFile& ini, const char* section, const char* key, bool winIni, std::string& value) {
  if (const char* v = ini.Value(section, key)) {
    value = TrimBlanks(v, true);
    return true;
  }
  if (!winIni) return false;
  auto it = winIniFallbacks.find(Folded(section));
  return it != winIniFallbacks.end() && it->second(section, key, value);
}

uint32_t ReadString(const std::string& path, const char* section, const char* key,
                    const char* defaultValue, char* buffer, uint32_t size, bool winIni) {
  if (!buffer || size == 0) return 0;
  detail::IniFile ini(path);
  if (!section) return CopyList(ini.Sections(), buffer, size);
  if (!key) {
    std::vector<std::string> keys = ini.Keys(section);
    auto it = winIni ? winIniKeysFallbacks.find(Folded(section)) : winIniKeysFallbacks.end();
    if (it != winIniKeysFallbacks.end()) {
      for (std::string& more : it->second(section)) {
        const bool listed = std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
          return Folded(k) == Folded(more);
        });
        if (!listed) keys.push_back(std::move(more));
      }
    }
    return CopyList(keys, buffer, size);
  }
  std::string value;
  if (!FindValue(ini, section, key, winIni, value)) value = TrimBlanks(defaultValue ? defaultValue : "", false);
  return CopyCut(value, buffer, size);
}

// The value's leading decimal number; the default when the key is missing.
int32_t ReadInt(const std::string& path, const char* section, const char* key, int32_t defaultValue,
                bool winIni) {
  std::string value;
  if (!section || !key || !FindValue(detail::IniFile(path), section, key, winIni, value)) return defaultValue;
  return int32_t(std::strtol(value.c_str(), nullptr, 10));
}

bool WriteString(const std::string& path, const char* section, const char* key, const char* value) {
  if (!section) return false;
  detail::IniFile ini(path);
  if (!key) ini.DeleteSection(section);
  else if (!value) ini.DeleteKey(section, key);
  else ini.Set(section, key, TrimBlanks(value, true).c_str());
  return ini.Save();
}

std::string WinIniPath() { return ProfilePath("WIN.INI"); }

}  // namespace

std::string SettingsDirectory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string dir;
  if (config && *config) dir = config;
  else {
    const char* home = std::getenv("HOME");
    dir = std::string(home && *home ? home : ".") + "/.config";
  }
  return dir + "/qmkrun32/";
}

std::string ProfilePath(std::string_view fileName) {
  if (fileName.find_first_of("/\\") != std::string_view::npos) return ResolvePath(fileName);
  std::string dir = SettingsDirectory();
  if (DIR* d = opendir(dir.c_str())) {
    std::string found;
    while (dirent* e = readdir(d)) {
      if (detail::SameNameIgnoringCase(Utf8ToCp1252(e->d_name), fileName)) {
        found = e->d_name;
        break;
      }
    }
    closedir(d);
    if (!found.empty()) return dir + found;
  }
  return dir + Cp1252ToUtf8(fileName);
}

void SetWinIniKeysFallback(std::string_view section, WinIniKeysFallback fallback) {
  if (fallback) winIniKeysFallbacks[Folded(section)] = fallback;
  else winIniKeysFallbacks.erase(Folded(section));
}

void SetWinIniFallback(std::string_view section, WinIniFallback fallback) {
  if (fallback) winIniFallbacks[Folded(section)] = fallback;
  else winIniFallbacks.erase(Folded(section));
}

void SetWinIniChangedHook(WinIniChanged hook) { winIniChanged = hook; }

}  // namespace platform

namespace win {

using platform::ProfilePath;

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName) {
  if (!fileName) return GetProfileStringA(section, key, defaultValue, buffer, size);
  return platform::ReadString(ProfilePath(fileName), section, key, defaultValue, buffer, size, false);
}

int32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue,
                              const char* fileName) {
  if (!fileName) return GetProfileIntA(section, key, defaultValue);
  return platform::ReadInt(ProfilePath(fileName), section, key, defaultValue, false);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  if (!fileName) return WriteProfileStringA(section, key, value);
  return platform::WriteString(ProfilePath(fileName), section, key, value);
}

uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size) {
  return platform::ReadString(platform::WinIniPath(), section, key, defaultValue, buffer, size, true);
}

int32_t GetProfileIntA(const char* section, const char* key, int32_t defaultValue) {
  return platform::ReadInt(platform::WinIniPath(), section, key, defaultValue, true);
}

bool WriteProfileStringA(const char* section, const char* key, const char* value) {
  bool ok = platform::WriteString(platform::WinIniPath(), section, key, value);
  if (ok && platform::winIniChanged) platform::winIniChanged(section);
  return ok;
}

}  // namespace win
