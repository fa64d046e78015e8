// Wave images, the sinks and the media control stand-in on a virtual clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/media/audio.h"
#include "platform/media/mci.h"
#include "platform/media/wave.h"
#include "platform/win/clock.h"
#include "platform/win/message.h"

namespace {

using media::WaveFormat;
using Bytes = std::vector<uint8_t>;

Bytes Ramp(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7);
  return b;
}

class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::SetClock(&clock_);
    media::SetAudioSink(&sink_);
    dir_ = std::filesystem::temp_directory_path() / ("media_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    media::SetAudioSink(nullptr);
    win::SetClock(nullptr);
    std::filesystem::remove_all(dir_);
  }
  std::string WriteFile(const std::string& name, const Bytes& bytes) {
    const auto path = dir_ / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
  }
  // A mono 8-bit wave of 1000 bytes per second lasting ms.
  static Bytes Wave(uint32_t ms) { return media::BuildWave(media::PcmFormat(1, 1000, 8), Ramp(ms)); }
  uint32_t Mode(uint32_t id) {
    uint32_t mode = 0;
    EXPECT_EQ(media::MciStatusMode(id, mode), 0u);
    return mode;
  }

  win::VirtualClock clock_;
  media::RecordingSink sink_;
  std::filesystem::path dir_;
};

TEST_F(MediaTest, WaveImagesRoundTripAndStrangeOnesAreRefused) {
  const Bytes samples = Ramp(1001);
  for (const WaveFormat& format : {media::PcmFormat(1, 8000, 8), media::PcmFormat(2, 44100, 16)}) {
    const Bytes image = media::BuildWave(format, std::span(samples).first(samples.size() / format.blockAlign * format.blockAlign));
    EXPECT_EQ(media::RiffImageLength(image), image.size());
    const auto wave = media::ParseWave(image);
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->format, format);
    EXPECT_TRUE(std::equal(wave->data.begin(), wave->data.end(), samples.begin()));
  }
  const Bytes good = media::BuildWave(media::PcmFormat(1, 8000, 8), samples);
  struct Case {
    const char* what;
    size_t offset;
    uint8_t value;
  } cases[] = {{"not RIFF", 0, 'X'}, {"not WAVE", 8, 'X'},      {"not PCM", 20, 2},
               {"3 channels", 22, 3}, {"12 bits", 34, 12},      {"block align wrong", 32, 9}};
  for (const Case& c : cases) {
    Bytes bad = good;
    bad[c.offset] = c.value;
    EXPECT_FALSE(media::ParseWave(bad)) << c.what;
  }
  EXPECT_FALSE(media::ParseWave(std::span(good).first(16))) << "header only";
  // A data chunk claiming more than the image holds is cut to the image.
  Bytes cut(good.begin(), good.begin() + 100);
  const auto wave = media::ParseWave(cut);
  ASSERT_TRUE(wave);
  EXPECT_EQ(wave->data.size(), 100u - 44u);
}

TEST_F(MediaTest, PlayingAWaveImageWaitsForItsLength) {
  EXPECT_TRUE(media::PlayWaveImage(Wave(250)));
  ASSERT_EQ(sink_.played.size(), 1u);
  EXPECT_EQ(sink_.played[0].samples, Ramp(250));
  EXPECT_TRUE(sink_.played[0].wait);
  EXPECT_EQ(clock_.Now(), 250u);
  EXPECT_FALSE(media::PlayWaveImage(Ramp(60)));
  EXPECT_EQ(sink_.played.size(), 1u);
}

TEST_F(MediaTest, ADevicePlaysOnTheClockAndStopsAtTheEnd) {
  uint32_t id = 0;
  ASSERT_EQ(media::MciOpen(WriteFile("Ding.wav", Wave(1000)), id), 0u);
  EXPECT_EQ(Mode(id), media::kMciModeStop);
  EXPECT_EQ(media::MciPlay(id, false), 0u);
  EXPECT_EQ(Mode(id), media::kMciModePlay);
  clock_.Advance(400);
  EXPECT_EQ(media::MciPause(id), 0u);
  EXPECT_EQ(Mode(id), media::kMciModePause);
  clock_.Advance(5000);
  EXPECT_EQ(media::MciResume(id, false), 0u);
  ASSERT_EQ(sink_.played.size(), 2u);
  const Bytes all = Ramp(1000);
  EXPECT_EQ(sink_.played[1].samples, Bytes(all.begin() + 400, all.end()));
  clock_.Advance(599);
  EXPECT_EQ(Mode(id), media::kMciModePlay);
  clock_.Advance(1);
  EXPECT_EQ(Mode(id), media::kMciModeStop);
  EXPECT_EQ(media::MciPlay(id, false), 0u) << "at the end: plays nothing";
  EXPECT_EQ(sink_.played.size(), 2u);
  EXPECT_EQ(media::MciResume(id, false), media::kMciErrNotApplicable);
  EXPECT_EQ(media::MciPause(id), media::kMciErrNotApplicable);
  EXPECT_EQ(media::MciWindow(id, 5), media::kMciErrUnsupported);
  EXPECT_EQ(media::MciClose(id), 0u);
  EXPECT_EQ(media::MciClose(id), media::kMciErrInvalidDevice);
  EXPECT_EQ(media::MciPlay(id, false), media::kMciErrInvalidDevice);
}

TEST_F(MediaTest, PlayWithWaitReturnsAtTheEndAndTheFileIsNotHeld) {
  const std::string path = WriteFile("DING.WAV", Wave(300));
  uint32_t id = 0;
  ASSERT_EQ(media::MciOpen(path, id), 0u);
  std::filesystem::remove(path);
  EXPECT_EQ(media::MciPlay(id, true), 0u);
  EXPECT_EQ(clock_.Now(), 300u);
  EXPECT_EQ(Mode(id), media::kMciModeStop);
  EXPECT_EQ(media::MciClose(id), 0u);
}

TEST_F(MediaTest, OpenRefusesWhatIsNoWaveFile) {
  uint32_t id = 77;
  EXPECT_EQ(media::MciOpen(WriteFile("clip.avi", Wave(10)), id), media::kMciErrNoDeviceForExtension);
  EXPECT_EQ(media::MciOpen((dir_ / "missing.wav").string(), id), media::kMciErrFileNotFound);
  EXPECT_EQ(media::MciOpen(WriteFile("noise.wav", Ramp(100)), id), media::kMciErrInvalidFile);
  EXPECT_EQ(id, 77u);
}

// Seeds for the wave reader's fuzz target, made by our writer.
TEST_F(MediaTest, WritesFuzzSeedsOnRequest) {
  const char* folder = std::getenv("MEDIA_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  const Bytes samples = Ramp(64);
  const Bytes mono = media::BuildWave(media::PcmFormat(1, 8000, 8), samples);
  const Bytes stereo = media::BuildWave(media::PcmFormat(2, 22050, 16), samples);
  std::ofstream(std::string(folder) + "/mono8", std::ios::binary).write(reinterpret_cast<const char*>(mono.data()), std::streamsize(mono.size()));
  std::ofstream(std::string(folder) + "/stereo16", std::ios::binary).write(reinterpret_cast<const char*>(stereo.data()), std::streamsize(stereo.size()));
}

// The sound card sink needs no sound card to run: on a device that is not
// there it is silent and lets the clock pass; on ALSA's "null" device it
// plays for real, a play without wait fed from a thread timer until it is
// stopped or a new play begins.
TEST_F(MediaTest, TheSoundCardSinkRunsWithoutACard) {
  const Bytes shortImage = Wave(20), longImage = Wave(5000);
  const media::Wave shortWave = *media::ParseWave(shortImage), longWave = *media::ParseWave(longImage);

  auto missing = media::CreateSoundCardSink("qmk_no_such_device");
  const uint64_t before = clock_.Now();
  missing->Play(shortWave, true);
  EXPECT_EQ(clock_.Now() - before, 20u);
  missing->Play(longWave, false);
  EXPECT_EQ(win::NextTimerIn(), -1) << "nothing to feed";

  auto card = media::CreateSoundCardSink("null");
  card->Play(shortWave, true);
  EXPECT_EQ(clock_.Now() - before, 20u) << "a card plays in its own time";
  card->Play(longWave, false);
  EXPECT_GE(win::NextTimerIn(), 0) << "fed from a timer";
  card->Play(shortWave, false);
  card->Stop();
  EXPECT_EQ(win::NextTimerIn(), -1);
  card->Play(longWave, false);
  card.reset();
  EXPECT_EQ(win::NextTimerIn(), -1) << "a sink that goes stops its play";
}

}  // namespace
