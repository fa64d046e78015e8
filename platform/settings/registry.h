// The registry as the runtime uses it: keys under HKEY_CURRENT_USER holding
// REG_SZ and REG_DWORD values, kept in registry.ini in the settings folder
// (one section per key path, "sz:" or "dword:" before each value).
//
// Key handles are ids that are never reused; a closed handle is refused.
// Answers are Win32's error numbers (0 success, 2 missing, 6 bad handle,
// 234 buffer too small, 87 bad argument).
#pragma once

#include <cstdint>

namespace win {

struct HKEY {
  uint32_t id = 0;
  friend bool operator==(HKEY a, HKEY b) { return a.id == b.id; }
};

inline constexpr HKEY HKEY_CURRENT_USER{0x80000001u};

constexpr int32_t ERROR_SUCCESS = 0;
constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr int32_t ERROR_INVALID_HANDLE = 6;
constexpr int32_t ERROR_INVALID_PARAMETER = 87;
constexpr int32_t ERROR_MORE_DATA = 234;

constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

// subKey: "Software\\Maker\\Program" ("\" separates). The options, access
// and security arguments of Win32 do not matter here and are left out.
int32_t RegCreateKeyExA(HKEY parent, const char* subKey, HKEY* result, uint32_t* disposition);
int32_t RegOpenKeyExA(HKEY parent, const char* subKey, HKEY* result);
int32_t RegCloseKey(HKEY key);
// REG_SZ data is the text (a NUL within size ends it); REG_DWORD 4 bytes.
int32_t RegSetValueExA(HKEY key, const char* name, uint32_t type, const void* data, uint32_t size);
// data may be null to ask only for type and size; a REG_SZ answer carries a
// NUL, counted in size.
int32_t RegQueryValueExA(HKEY key, const char* name, uint32_t* type, void* data, uint32_t* size);

}  // namespace win
