#include "platform/settings/inifile.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace platform::detail {

IniFile::IniFile(std::string systemPath) : path_(std::move(systemPath)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ini_.LoadData(data);
}

const char* IniFile::Value(const char* section, const char* key) const {
  return ini_.GetValue(section, key, nullptr);
}

void IniFile::Set(const char* section, const char* key, const char* value) {
  ini_.SetValue(section, key, value, nullptr, true);
}

void IniFile::DeleteKey(const char* section, const char* key) { ini_.Delete(section, key); }

void IniFile::DeleteSection(const char* section) { ini_.Delete(section, nullptr); }

std::vector<std::string> IniFile::Sections() const {
  CSimpleIniA::TNamesDepend names;
  ini_.GetAllSections(names);
  names.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> out;
  for (const auto& n : names)
    if (*n.pItem) out.emplace_back(n.pItem);  // the unnamed head of the file is no section
  return out;
}

std::vector<std::string> IniFile::Keys(const char* section) const {
  CSimpleIniA::TNamesDepend names;
  ini_.GetAllKeys(section, names);
  names.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> out;
  for (const auto& n : names) out.emplace_back(n.pItem);
  return out;
}

bool IniFile::Save() const {
  std::string text;
  if (ini_.Save(text) < 0) return false;
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out << crlf;
  out.flush();
  return bool(out);
}

}  // namespace platform::detail
