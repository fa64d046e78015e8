// The settings that qmkrun32 reads when it starts, from its private INI file
// "qmkrun32.ini" in the settings folder: the ones that need no window yet.
// Missing files, sections or keys give the defaults; a number that does not
// parse gives its fallback.
#pragma once

#include <cstdint>
#include <string>

namespace shell {

constexpr const char* kIniFileName = "qmkrun32.ini";

struct StartSettings {
  bool showTips = true;        // "Tips" "BeimStart"
  std::string setupDirectory;  // "Start" "Setup-Verzeichnis"
  int32_t indexPageSize = 4096;  // "Einstellungen" "Index-Seite"
  int32_t pictureBlockSize = 512;  // "Einstellungen" "Bild-Block"
  int32_t stationNumber = 0;   // "Netzwerk" "StatNr"
  int16_t clockInterval = 1;   // "Netzwerk" "Takt"
};

StartSettings ReadStartSettings();

}  // namespace shell
