// Sounds read from and written to streams, and the media player over the
// media stand-in on a virtual clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/media/audio.h"
#include "platform/media/wave.h"
#include "platform/win/clock.h"
#include "runtime/toolkit/kxsound.h"
#include "runtime/toolkit/tests/picture_support.h"

namespace {

using kxobject::TMediaPlayer;
using kxobject::TMemStream;
using kxobject::TSound;
using pictest::Bytes;

// A mono 8-bit wave at 1000 bytes per second: ms milliseconds long.
Bytes WaveOf(size_t ms) {
  Bytes samples(ms);
  for (size_t i = 0; i < ms; ++i) samples[i] = uint8_t(i * 13);
  return media::BuildWave(media::PcmFormat(1, 1000, 8), samples);
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Written(TMemStream& s) { return Bytes(s.Block->Data, s.Block->Data + s.Size); }

class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::SetClock(&clock_);
    media::SetAudioSink(&sink_);
    dir_ = std::filesystem::temp_directory_path() / ("kxsound_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    const char* old = std::getenv("TMPDIR");
    oldTmp_ = old ? old : "";
    setenv("TMPDIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (oldTmp_.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", oldTmp_.c_str(), 1);
    media::SetAudioSink(nullptr);
    win::SetClock(nullptr);
    std::filesystem::remove_all(dir_);
  }
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    return names;
  }

  win::VirtualClock clock_;
  media::RecordingSink sink_;
  std::filesystem::path dir_;
  std::string oldTmp_;
};

TEST_F(SoundTest, StateTellsWhatTheStreamHeld) {
  const Bytes riff16 = {'R', 'I', 'F', 'F', 8, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  Bytes notWave = WaveOf(20);
  notWave[9] = 'X';
  const struct {
    const char* what;
    Bytes bytes;
    int16_t state;
  } cases[] = {{"stream at its end", {}, -1},
               {"16-byte RIFF header only", riff16, -3},
               {"no RIFF", Bytes(40, 'x'), -3},
               {"RIFF but not WAVEfmt", notWave, -3},
               {"a wave", WaveOf(20), 1}};
  for (const auto& c : cases) {
    auto stream = pictest::StreamOf(c.bytes);
    const TSound sound(*stream);
    EXPECT_EQ(sound.State, c.state) << c.what;
    EXPECT_EQ(sound.Play(), c.state == 1) << c.what;
  }
  ASSERT_EQ(sink_.played.size(), 1u);
  EXPECT_EQ(clock_.Now(), 20u) << "Play returns when the sound has ended";
}

TEST_F(SoundTest, ALongWaveRoundTripsWholeAndStopsAtItsOwnEnd) {
  const Bytes wave = WaveOf(70000 - 44);
  ASSERT_EQ(wave.size(), 70000u);
  const Bytes after = {0x11, 0x22, 0x33};
  auto stream = pictest::StreamOf(Concat(wave, after));
  const TSound sound(*stream);
  ASSERT_EQ(sound.State, 1);
  EXPECT_EQ(sound.GetSize(), 70000u);
  EXPECT_EQ(stream->GetPos(), 70000) << "what follows the wave is left for the next reader";
  TMemStream out(16, 4096);
  EXPECT_EQ(sound.Write(out), 0);
  EXPECT_EQ(Written(out), wave);
  const TSound copy(sound);
  TMemStream again(16, 4096);
  EXPECT_EQ(copy.Write(again), 0);
  EXPECT_EQ(Written(again), wave);
}

TEST_F(SoundTest, AWaveCutShortByTheStreamWritesWhatWasKept) {
  const Bytes wave = WaveOf(100);
  auto stream = pictest::StreamOf(Bytes(wave.begin(), wave.begin() + 90));
  const TSound sound(*stream);
  ASSERT_EQ(sound.State, 1);
  TMemStream out(16, 256);
  sound.Write(out);
  out.WriteString("danach");
  out.Seek(0);
  const TSound back(out);
  EXPECT_EQ(back.GetSize(), 90u);
  char* text = out.ReadString();
  EXPECT_STREQ(text, "danach");
  delete[] text;
}

TEST_F(SoundTest, WritingNothingAnswersMinusOne) {
  TMemStream out(16, 256);
  EXPECT_EQ(TSound().Write(out), -1);
  auto stream = pictest::StreamOf(Bytes(40, 'x'));
  EXPECT_EQ(TSound(*stream).Write(out), -1);
  EXPECT_EQ(out.Size, 0);
}

TEST_F(SoundTest, LoadStreamKeepsOneTemporaryWaveFile) {
  const Bytes first = WaveOf(100), second = WaveOf(200);
  auto stream = pictest::StreamOf(Concat({9, 9, 9}, second));
  {
    TMediaPlayer player;
    auto one = pictest::StreamOf(first);
    player.LoadStream(*one);
    const std::string firstName = player.FileName;
    EXPECT_TRUE(player.DeleteFile);
    EXPECT_EQ(firstName.substr(firstName.size() - 4), ".WAV");
    EXPECT_EQ(std::filesystem::path(firstName).filename().string().substr(0, 3), "qmk");
    EXPECT_EQ(pictest::FileBytes(firstName), first);
    player.Open();
    ASSERT_TRUE(player.IsOpen);
    stream->Seek(3);
    player.LoadStream(*stream);
    EXPECT_FALSE(std::filesystem::exists(firstName)) << "the first temporary file goes";
    EXPECT_FALSE(player.IsOpen) << "with the device that played it";
    EXPECT_EQ(pictest::FileBytes(player.FileName), second) << "the rest of the stream from its position";
    EXPECT_EQ(TempFiles().size(), 1u);
  }
  EXPECT_TRUE(TempFiles().empty()) << "destroying the player deletes the second";
}

TEST_F(SoundTest, ThePlayerFollowsTheDeviceOnTheClock) {
  TMediaPlayer player;
  auto wave = pictest::StreamOf(WaveOf(1000));
  player.LoadStream(*wave);
  player.Play();
  EXPECT_TRUE(sink_.played.empty()) << "nothing plays before Open";
  player.Open();
  ASSERT_TRUE(player.IsOpen);
  EXPECT_NE(player.DeviceId, 0u);
  player.TogglePause();
  EXPECT_EQ(player.GetMode(), 1) << "TogglePause on a stopped device does nothing";
  player.Play();
  EXPECT_EQ(player.GetMode(), 2);
  clock_.Advance(300);
  player.TogglePause();
  EXPECT_EQ(player.GetMode(), 5);
  clock_.Advance(10000);
  player.TogglePause();
  EXPECT_EQ(player.GetMode(), 2);
  clock_.Advance(699);
  EXPECT_EQ(player.GetMode(), 2);
  clock_.Advance(1);
  EXPECT_EQ(player.GetMode(), 1) << "stopped once the wave's length has passed";

  player.Open();  // closes and reopens: position 0
  player.Play();
  clock_.Advance(200);
  player.Stop();
  player.Resume();  // a stopped device refuses to resume, so Play is sent
  EXPECT_EQ(player.LastError, 0u);
  EXPECT_EQ(player.GetMode(), 2);
  EXPECT_EQ(sink_.played.back().samples.size(), 800u) << "from the current position";

  player.SetWait(true);
  player.Open();
  player.Play();
  EXPECT_EQ(player.GetMode(), 1) << "with Wait, Play returns at the end";
  player.Close();
  EXPECT_FALSE(player.IsOpen);
  EXPECT_EQ(player.DeviceId, 0u);
}

TEST_F(SoundTest, APlayerThatCannotOpenKeepsTheError) {
  TMediaPlayer player;
  player.SetFileName((dir_ / "clip.avi").c_str());
  player.Open();
  EXPECT_FALSE(player.IsOpen);
  EXPECT_NE(player.LastError, 0u);
  EXPECT_EQ(player.GetMode(), 0);
}

}  // namespace
