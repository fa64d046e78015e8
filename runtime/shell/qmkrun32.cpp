// qmkrun32, the runtime program. For now it starts (the engine library is
// loaded with it and starts its units), reads its settings and ends cleanly;
// the windows, the project and the rest of the shell come with later work.
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/media/audio.h"
#include "runtime/shell/startsettings.h"

int main(int argc, char** argv) {
  // Sounds and media go to the sound card for the whole run.
  const std::unique_ptr<media::AudioSink> soundCard = media::CreateSoundCardSink();
  media::SetAudioSink(soundCard.get());
  shell::StartSettings settings = shell::ReadStartSettings();
  // "--settings" shows what was read, so that a start can be checked.
  if (argc > 1 && std::strcmp(argv[1], "--settings") == 0) {
    std::printf("BeimStart=%d\nSetup-Verzeichnis=%s\nIndex-Seite=%d\nBild-Block=%d\nStatNr=%d\nTakt=%d\n",
                settings.showTips ? 1 : 0, settings.setupDirectory.c_str(), int(settings.indexPageSize),
                int(settings.pictureBlockSize), int(settings.stationNumber), int(settings.clockInterval));
  }
  media::SetAudioSink(nullptr);
  return 0;
}
