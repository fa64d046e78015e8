#include "platform/settings/registry.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>
#include <unordered_map>

#include "platform/settings/inifile.h"
#include "platform/settings/profile.h"

namespace {

// Open keys: id -> key path below HKEY_CURRENT_USER ("Software\Maker\Prog").
std::unordered_map<uint32_t, std::string> openKeys;
uint32_t lastKey = 0;
constexpr const char* kSzPrefix = "sz:";
constexpr const char* kDwordPrefix = "dword:";

std::string RegistryPath() { return platform::SettingsDirectory() + "registry.ini"; }

bool PathOf(win::HKEY key, std::string& path) {
  if (key == win::HKEY_CURRENT_USER) {
    path.clear();
    return true;
  }
  auto it = openKeys.find(key.id);
  if (it == openKeys.end()) return false;
  path = it->second;
  return true;
}

// The key path of a sub key: "\" or "/" separate, empty parts drop out.
std::string Join(const std::string& base, const char* subKey) {
  std::string out = base;
  std::string part;
  for (const char* p = subKey ? subKey : "";; ++p) {
    if (*p == '\\' || *p == '/' || *p == 0) {
      if (!part.empty()) out += (out.empty() ? "" : "\\") + part;
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  return out;
}

int32_t OpenOrCreate(win::HKEY parent, const char* subKey, win::HKEY* result, uint32_t* disposition,
                     bool create) {
  std::string base;
  if (!result) return win::ERROR_INVALID_PARAMETER;
  if (!PathOf(parent, base)) return win::ERROR_INVALID_HANDLE;
  std::string path = Join(base, subKey);
  platform::detail::IniFile ini(RegistryPath());
  bool exists = false;
  for (const auto& s : ini.Sections())
    if (strcasecmp(s.c_str(), path.c_str()) == 0) exists = true;
  if (!exists) {
    if (!create) return win::ERROR_FILE_NOT_FOUND;
    // A key without values is kept as an empty section.
    ini.Set(path.c_str(), nullptr, nullptr);
    ini.Save();
  }
  if (disposition) *disposition = exists ? win::REG_OPENED_EXISTING_KEY : win::REG_CREATED_NEW_KEY;
  result->id = ++lastKey;
  openKeys[result->id] = path;
  return win::ERROR_SUCCESS;
}

}  // namespace

namespace win {

int32_t RegCreateKeyExA(HKEY parent, const char* subKey, HKEY* result, uint32_t* disposition) {
  return OpenOrCreate(parent, subKey, result, disposition, true);
}

int32_t RegOpenKeyExA(HKEY parent, const char* subKey, HKEY* result) {
  return OpenOrCreate(parent, subKey, result, nullptr, false);
}

int32_t RegCloseKey(HKEY key) {
  return openKeys.erase(key.id) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

int32_t RegSetValueExA(HKEY key, const char* name, uint32_t type, const void* data, uint32_t size) {
  std::string path;
  if (!PathOf(key, path) || path.empty()) return ERROR_INVALID_HANDLE;
  if (!data && size) return ERROR_INVALID_PARAMETER;
  std::string stored;
  if (type == REG_SZ) {
    const char* text = static_cast<const char*>(data);
    stored = kSzPrefix + std::string(text ? text : "", text ? strnlen(text, size) : 0);
  } else if (type == REG_DWORD) {
    if (size != 4) return ERROR_INVALID_PARAMETER;
    uint32_t v;
    std::memcpy(&v, data, 4);
    stored = kDwordPrefix + std::to_string(v);
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  platform::detail::IniFile ini(RegistryPath());
  // The unnamed default value of a key is kept under the name "@".
  ini.Set(path.c_str(), name && *name ? name : "@", stored.c_str());
  return ini.Save() ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

int32_t RegQueryValueExA(HKEY key, const char* name, uint32_t* type, void* data, uint32_t* size) {
  std::string path;
  if (!PathOf(key, path)) return ERROR_INVALID_HANDLE;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  platform::detail::IniFile ini(RegistryPath());
  const char* stored = ini.Value(path.c_str(), name && *name ? name : "@");
  if (!stored) return ERROR_FILE_NOT_FOUND;
  std::string bytes;
  uint32_t kind;
  if (std::strncmp(stored, kDwordPrefix, 6) == 0) {
    kind = REG_DWORD;
    uint32_t v = uint32_t(std::strtoul(stored + 6, nullptr, 10));
    bytes.assign(reinterpret_cast<const char*>(&v), 4);
  } else {
    kind = REG_SZ;
    bytes = std::strncmp(stored, kSzPrefix, 3) == 0 ? stored + 3 : stored;
    bytes.push_back('\0');
  }
  if (type) *type = kind;
  if (!size) return ERROR_SUCCESS;
  uint32_t room = *size;
  *size = uint32_t(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (room < bytes.size()) return ERROR_MORE_DATA;
  std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

}  // namespace win
