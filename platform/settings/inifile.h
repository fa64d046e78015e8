// One INI file in memory, read from and written back to disk whole: the piece
// that the profile functions and the registry share. Not for use outside
// platform/settings.
//
// The bytes pass through unchanged (Windows-1252); lines are written with
// CR LF. Names compare without regard to case and a repeated key keeps all
// its lines, of which the first answers.
#pragma once

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <string>
#include <vector>

namespace platform::detail {

class IniFile {
 public:
  // Reads the file (a system path); a missing file is an empty one.
  explicit IniFile(std::string systemPath);

  const char* Value(const char* section, const char* key) const;
  void Set(const char* section, const char* key, const char* value);
  void DeleteKey(const char* section, const char* key);
  void DeleteSection(const char* section);
  std::vector<std::string> Sections() const;
  std::vector<std::string> Keys(const char* section) const;
  // Writes the whole file at once, creating its folder; false on failure.
  bool Save() const;

 private:
  std::string path_;
  CSimpleIniA ini_{false, true, false};  // bytes, repeated keys, single-line values
};

}  // namespace platform::detail
