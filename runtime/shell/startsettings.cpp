#include "runtime/shell/startsettings.h"

#include <cerrno>
#include <cstdlib>

#include "platform/settings/profile.h"

namespace shell {

namespace {

std::string Text(const char* section, const char* key, const char* fallback, uint32_t length) {
  std::string buffer(length, '\0');
  uint32_t n = win::GetPrivateProfileStringA(section, key, fallback, buffer.data(), length, kIniFileName);
  buffer.resize(n);
  return buffer;
}

// The whole text as a decimal number, else the fallback.
int64_t Number(const std::string& text, int64_t fallback, int64_t low, int64_t high) {
  if (text.empty()) return fallback;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno || *end || v < low || v > high) return fallback;
  return v;
}

}  // namespace

StartSettings ReadStartSettings() {
  StartSettings s;
  s.showTips = win::GetPrivateProfileIntA("Tips", "BeimStart", 1, kIniFileName) != 0;
  s.setupDirectory = Text("Start", "Setup-Verzeichnis", "", 256);
  s.indexPageSize = int32_t(Number(Text("Einstellungen", "Index-Seite", "4096", 10), 4096, INT32_MIN, INT32_MAX));
  s.pictureBlockSize = int32_t(Number(Text("Einstellungen", "Bild-Block", "512", 10), 512, INT32_MIN, INT32_MAX));
  s.stationNumber = int32_t(Number(Text("Netzwerk", "StatNr", "0", 40), 0, INT32_MIN, INT32_MAX));
  s.clockInterval = int16_t(Number(Text("Netzwerk", "Takt", "1", 10), 1, INT16_MIN, INT16_MAX));
  return s;
}

}  // namespace shell
