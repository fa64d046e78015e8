#include "platform/media/audio.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/win/clock.h"

namespace media {

namespace {

SilentSink silentSink;
AudioSink* currentSink = &silentSink;

}  // namespace

void PassTime(uint64_t ms) {
  win::Clock& clock = win::CurrentClock();
  if (clock.IsVirtual()) {
    clock.AdvanceTo(clock.Now() + ms);
    return;
  }
  for (uint64_t left = ms; left;) {
    const uint32_t step = uint32_t(std::min<uint64_t>(left, UINT32_MAX));
    platform::SleepMs(step);
    left -= step;
  }
}

void SilentSink::Play(const Wave& wave, bool wait) {
  if (wait) PassTime(DurationMs(wave.format, wave.data.size()));
}

void RecordingSink::Play(const Wave& wave, bool wait) {
  played.push_back({wave.format, std::vector<uint8_t>(wave.data.begin(), wave.data.end()), wait,
                    win::CurrentClock().Now()});
  SilentSink::Play(wave, wait);
}

AudioSink& CurrentAudioSink() { return *currentSink; }
void SetAudioSink(AudioSink* sink) { currentSink = sink ? sink : &silentSink; }

bool PlayWaveImage(std::span<const uint8_t> image) {
  const std::optional<Wave> wave = ParseWave(image);
  if (!wave) return false;
  currentSink->Play(*wave, true);
  return true;
}

}  // namespace media
