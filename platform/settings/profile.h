// Profile files: the private INI files of the runtime and WIN.INI, with the
// answers the runtime's callers expect of the Win32 profile functions.
//
// Files live in $XDG_CONFIG_HOME/qmkrun32/ (~/.config/qmkrun32/). A bare file
// name is looked up in that folder without regard to case; a name with a
// folder is taken as it stands (resolved like every engine name).
//
// Rules (each read goes to the file, each write reaches the disk at once):
//   1. Section and key names compare without regard to case; when a key
//      occurs twice in a section, the first one answers.
//   2. Values are answered without leading and trailing blanks, and cut to
//      the buffer: a buffer of n bytes takes n - 1 characters and a NUL. The
//      answer is the count of characters copied.
//   3. A null key answers the names of the section's keys, a null section the
//      names of the sections, in file order, each ended by a NUL and the list
//      by one more; a list that does not fit is cut and answers n - 2.
//   4. A missing key answers the default (null: "") without trailing blanks.
//   5. Writing a null value deletes the key; a null key deletes the section.
//   6. Files are Windows-1252 text with CR LF line ends; a missing file is
//      created at the first write (its folder too).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace win {

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName);
// The value's leading decimal number (with sign); 0 when the value starts with
// no digit; the default when the key is missing.
int32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue,
                              const char* fileName);
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);

// WIN.INI. "[intl] sDecimal" answers the locale's decimal separator while the
// file has none; other sections may get such fallbacks through
// SetWinIniFallback. Every write is announced through the change hook (the
// window system turns it into WM_WININICHANGE).
uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size);
int32_t GetProfileIntA(const char* section, const char* key, int32_t defaultValue);
bool WriteProfileStringA(const char* section, const char* key, const char* value);

}  // namespace win

namespace platform {

// The folder of the runtime's settings, ending with "/".
std::string SettingsDirectory();
// The path of a profile file name as rule set above describes.
std::string ProfilePath(std::string_view fileName);

// A fallback answers a WIN.INI key that the file lacks; true when it knows one.
using WinIniFallback = bool (*)(std::string_view section, std::string_view key, std::string& value);
void SetWinIniFallback(std::string_view section, WinIniFallback fallback);  // nullptr removes
// The keys a section's fallback knows; a null key lists them after the
// file's own keys (a key the file has already is not listed twice).
using WinIniKeysFallback = std::vector<std::string> (*)(std::string_view section);
void SetWinIniKeysFallback(std::string_view section, WinIniKeysFallback fallback);  // nullptr removes
using WinIniChanged = void (*)(const char* section);
void SetWinIniChangedHook(WinIniChanged hook);

}  // namespace platform
