#include "runtime/toolkit/kxsound.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/base/system.h"
#include "platform/files.h"
#include "platform/media/audio.h"
#include "platform/media/mci.h"
#include "platform/media/wave.h"
#include "runtime/toolkit/kxpicio.h"

namespace kxobject {

namespace {

constexpr uint32_t kMinWaveSize = 16;
constexpr size_t kMaxElementName = 155;
constexpr int kModeBase = 524;

}  // namespace

TSound::TSound(TKxStream& stream) {
  const int64_t left = int64_t(stream.GetSize()) - stream.GetPos();
  uint8_t head[media::kRiffHeaderSize] = {};
  const uint32_t headSize = uint32_t(std::clamp<int64_t>(left, 0, sizeof head));
  const uint32_t got = headSize ? stream.ReadHuge(head, headSize) : 0;
  const uint64_t announced = media::RiffImageLength(std::span(head, got));
  const uint32_t length = uint32_t(announced ? std::min<int64_t>(left, int64_t(announced)) : std::max<int64_t>(left, 0));
  Wave = std::make_unique<TMemoryBlock>(length, kMemShareable, true);
  if (length == 0 || !Wave->Data) {
    Wave.reset();
    State = -1;
    return;
  }
  Wave->Put(0, head, got);
  if (length > got) stream.ReadHuge(Wave->Data + got, length - got);
  // A wave cut short by the stream's end keeps a size that says so, so it
  // reads back as what was kept when it is written.
  if (announced > length) PutLe32(Wave->Data + 4, length - media::kRiffHeaderSize);
  State = stream.Status != 0 ? -2 : IsWave() ? 1 : -3;
}

TSound::TSound(const TSound& other) : TKxObject(), State(other.State) {
  if (!other.Wave) return;
  Wave = std::make_unique<TMemoryBlock>(other.Wave->Size, kMemShareable, true);
  if (!Wave->Assign(*other.Wave)) Wave.reset(), State = -1;
}

bool TSound::IsWave() const {
  return Wave && Wave->Size > kMinWaveSize && std::memcmp(Wave->Data, "RIFF", 4) == 0 &&
         std::memcmp(Wave->Data + 8, "WAVEfmt", 7) == 0;
}

bool TSound::Play() const {
  return State == 1 && media::PlayWaveImage(std::span<const uint8_t>(Wave->Data, Wave->Size));
}

int TSound::Write(TKxStream& stream) const {
  if (State != 1 || !Wave || !Wave->Size) return -1;
  stream.WriteHuge(Wave->Data, Wave->Size);
  return stream.Status != 0 ? -2 : 0;
}

TMediaPlayer::~TMediaPlayer() { DropTemporaryFile(); }

void TMediaPlayer::DropTemporaryFile() {
  if (IsOpen) Close();
  if (DeleteFile && !FileName.empty()) platform::DeleteFile(FileName);
  DeleteFile = false;
}

void TMediaPlayer::SetFileName(const char* name) { FileName = name ? name : ""; }

void TMediaPlayer::Open() {
  if (IsOpen) Close();
  uint32_t id = 0;
  LastError = media::MciOpen(std::string_view(FileName).substr(0, kMaxElementName), id);
  if (LastError == 0) IsOpen = true, DeviceId = id;
}

void TMediaPlayer::Close() {
  if (!DeviceId) return;
  LastError = media::MciClose(DeviceId);
  if (LastError == 0) IsOpen = false, DeviceId = 0;
}

void TMediaPlayer::Play() {
  if (IsOpen) LastError = media::MciPlay(DeviceId, Wait);
}

void TMediaPlayer::Stop() {
  if (IsOpen) LastError = media::MciStop(DeviceId);
}

void TMediaPlayer::Pause() {
  if (IsOpen) LastError = media::MciPause(DeviceId);
}

void TMediaPlayer::Resume() {
  if (!IsOpen) return;
  LastError = media::MciResume(DeviceId, Wait);
  if (LastError != 0) Play();
}

void TMediaPlayer::TogglePause() {
  const int mode = GetMode();
  if (mode == 2) Pause();
  else if (mode == 5) Resume();
}

int TMediaPlayer::GetMode() {
  uint32_t mode = 0;
  LastError = media::MciStatusMode(DeviceId, mode);
  return LastError == 0 ? int(mode) - kModeBase : 0;
}

void TMediaPlayer::SetWindow(uint32_t window) { LastError = media::MciWindow(DeviceId, window); }

void TMediaPlayer::LoadStream(TKxStream& stream) {
  const std::string made = platform::MakeTempFileName("", "qmk");
  if (made.empty()) return;
  const std::string name = made.substr(0, made.size() - 3) + "WAV";
  if (platform::RenameFile(made, name) != 0) {
    platform::DeleteFile(made);
    return;
  }
  {
    TKxFileStream file(name.c_str(), kFileCreate);
    file.CopyFrom(stream, uint32_t(std::max<int64_t>(int64_t(stream.GetSize()) - stream.GetPos(), 0)));
  }
  DropTemporaryFile();
  FileName = name;
  DeleteFile = true;
}

}  // namespace kxobject
