// Where sound goes: an audio sink that plays PCM samples, and the simple
// sound service that plays a wave image from memory.
//
// What always holds:
//   1. Exactly one sink is current. The default is the silent sink; tests
//      set a RecordingSink, and the caller keeps a sink it sets alive while
//      it is current (SetAudioSink(nullptr) goes back to the default).
//   2. Play with wait returns when the samples have played: the silent and
//      the recording sinks let the window system's clock pass for the
//      samples' duration (a virtual clock is moved on, the real one slept
//      on), so time runs the same way whether sound is heard or not.
//   3. Play without wait returns at once; a later Stop ends what plays.
//   4. PlayWaveImage plays only an image that ParseWave accepts, and the
//      sink sees only samples inside that image.
//   5. The sound card sink plays through the system's sound service (ALSA,
//      device "default" unless named); where the program was built without
//      it, or a play cannot start on the device, it is silent and waits as
//      the silent sink does.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/media/wave.h"

namespace media {

class AudioSink {
 public:
  virtual ~AudioSink() = default;
  virtual void Play(const Wave& wave, bool wait) = 0;
  virtual void Stop() {}
};

// Hears nothing; waits as rule 2 says.
class SilentSink : public AudioSink {
 public:
  void Play(const Wave& wave, bool wait) override;
};

// Keeps what it is asked to play, for tests.
class RecordingSink final : public SilentSink {
 public:
  struct Played {
    WaveFormat format;
    std::vector<uint8_t> samples;
    bool wait = false;
    uint64_t at = 0;  // the clock's time when play began
  };
  void Play(const Wave& wave, bool wait) override;
  void Stop() override { ++stops; }

  std::vector<Played> played;
  int stops = 0;
};

// The sound card (rule 5); device null or "" names the default one.
std::unique_ptr<AudioSink> CreateSoundCardSink(const char* device = nullptr);

AudioSink& CurrentAudioSink();
void SetAudioSink(AudioSink* sink);

// Lets ms milliseconds of the window system's clock pass (rule 2).
void PassTime(uint64_t ms);

// Plays a wave image synchronously; false when it is no playable wave.
bool PlayWaveImage(std::span<const uint8_t> image);

}  // namespace media
