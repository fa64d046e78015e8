// The sound card sink over ALSA (see audio.h, CreateSoundCardSink).
//
// What always holds:
//   1. At most one play is under way: a new Play or Stop ends the one before
//      (dropping what it had not played) and closes its device.
//   2. A play that waits writes every frame in blocking writes and drains the
//      device before it returns; one that does not wait keeps its own copy of
//      the samples and feeds them in non-blocking writes, now and from a
//      thread timer of the window system every kFeedMs, so no thread is made
//      and what the caller passed may go away at once.
//   3. A device that cannot be opened, a format it refuses, or a write that
//      cannot be recovered ends the play silently; a play that could not
//      start at all waits as the silent sink does, so time runs the same way.
//   4. ALSA's own messages never reach the standard error stream.
#include <alsa/asoundlib.h>

#include <string>
#include <vector>

#include "platform/media/audio.h"
#include "platform/win/message.h"

namespace media {

namespace {

constexpr win::UINT kFeedMs = 20;
constexpr unsigned kLatencyUs = 200000;

void Quiet(const char*, int, const char*, int, const char*, ...) {}

// The ALSA sample format of a PCM wave, or SND_PCM_FORMAT_UNKNOWN.
snd_pcm_format_t SampleFormat(const WaveFormat& f) {
  if (f.formatTag != kWaveFormatPcm) return SND_PCM_FORMAT_UNKNOWN;
  switch (f.bitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
  }
}

class AlsaSink final : public SilentSink {
 public:
  explicit AlsaSink(std::string device) : device_(std::move(device)) { snd_lib_error_set_handler(&Quiet); }
  ~AlsaSink() override {
    Stop();
    snd_config_update_free_global();
  }

  void Play(const Wave& wave, bool wait) override {
    Stop();
    if (!Open(wave.format, !wait)) return SilentSink::Play(wave, wait);
    samples_.assign(wave.data.begin(), wave.data.end());
    written_ = 0;
    Feed();
    if (wait) {
      if (pcm_) snd_pcm_drain(pcm_);
      Close();
    } else if (pcm_) {
      feeding_ = this;
      timerId_ = win::SetTimer(win::HWND(), 0, kFeedMs, &AlsaSink::OnTimer);
    }
  }

  void Stop() override {
    if (pcm_) snd_pcm_drop(pcm_);
    Close();
  }

 private:
  bool Open(const WaveFormat& f, bool nonBlocking) {
    const snd_pcm_format_t format = SampleFormat(f);
    if (format == SND_PCM_FORMAT_UNKNOWN || f.blockAlign == 0) return false;
    if (snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, nonBlocking ? SND_PCM_NONBLOCK : 0) < 0) {
      pcm_ = nullptr;
      return false;
    }
    if (snd_pcm_set_params(pcm_, format, SND_PCM_ACCESS_RW_INTERLEAVED, f.channels, f.samplesPerSec, 1,
                           kLatencyUs) < 0) {
      Close();
      return false;
    }
    frameBytes_ = f.blockAlign;
    return true;
  }

  void Close() {
    if (feeding_ == this) {
      win::KillTimer(win::HWND(), timerId_);
      feeding_ = nullptr;
    }
    if (pcm_) snd_pcm_close(pcm_);
    pcm_ = nullptr;
    samples_.clear();
  }

  // Writes what the device takes now (rule 2); closes the device on a
  // failure it cannot recover from.
  void Feed() {
    while (pcm_ && written_ + frameBytes_ <= samples_.size()) {
      const snd_pcm_uframes_t frames = (samples_.size() - written_) / frameBytes_;
      snd_pcm_sframes_t n = snd_pcm_writei(pcm_, samples_.data() + written_, frames);
      if (n == -EAGAIN) return;
      if (n < 0) n = snd_pcm_recover(pcm_, int(n), 1);
      if (n < 0) return Stop();
      written_ += size_t(n) * frameBytes_;
    }
  }

  static void OnTimer(win::HWND, win::UINT, win::UINT_PTR, win::DWORD) {
    AlsaSink* sink = feeding_;
    if (!sink) return;
    sink->Feed();
    // Everything written: the device plays the rest on its own until it runs dry.
    if (sink->pcm_ && sink->written_ + sink->frameBytes_ > sink->samples_.size() &&
        snd_pcm_state(sink->pcm_) != SND_PCM_STATE_RUNNING)
      sink->Close();
  }

  static inline AlsaSink* feeding_ = nullptr;
  std::string device_;
  snd_pcm_t* pcm_ = nullptr;
  std::vector<uint8_t> samples_;
  size_t written_ = 0;
  size_t frameBytes_ = 1;
  win::UINT_PTR timerId_ = 0;
};

}  // namespace

std::unique_ptr<AudioSink> CreateSoundCardSink(const char* device) {
  return std::make_unique<AlsaSink>(device && *device ? device : "default");
}

}  // namespace media
