#include "platform/media/mci.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/media/audio.h"
#include "platform/win/clock.h"

namespace media {

namespace {

struct Device {
  std::vector<uint8_t> image;
  Wave wave;
  uint64_t position = 0;   // ms into the samples
  uint64_t startedAt = 0;  // clock time of the last start, while playing
  bool playing = false;
  bool paused = false;

  uint64_t Length() const { return DurationMs(wave.format, wave.data.size()); }

  // Rule 3: a device that has played to the end is stopped there.
  void Update() {
    if (!playing) return;
    const uint64_t now = win::CurrentClock().Now();
    position = std::min(Length(), position + (now - startedAt));
    startedAt = now;
    if (position >= Length()) playing = false;
  }

  void Start(bool wait) {
    paused = false;
    const uint64_t offset = std::min<uint64_t>(OffsetOfMs(wave.format, position), wave.data.size());
    if (offset >= wave.data.size()) return;
    const Wave rest{wave.format, wave.data.subspan(size_t(offset))};
    playing = true;
    startedAt = win::CurrentClock().Now();
    CurrentAudioSink().Play(rest, wait);
    if (wait) playing = false, position = Length();
  }
};

std::map<uint32_t, Device>& Devices() {
  static std::map<uint32_t, Device> devices;
  return devices;
}
uint32_t lastId = 0;

Device* Find(uint32_t id) {
  const auto it = Devices().find(id);
  if (it == Devices().end()) return nullptr;
  it->second.Update();
  return &it->second;
}

bool EndsWithWav(std::string_view name) {
  if (name.size() < 4) return false;
  std::string ext(name.substr(name.size() - 4));
  for (char& c : ext) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
  return ext == ".WAV";
}

std::optional<std::vector<uint8_t>> ReadWholeFile(std::string_view name) {
  platform::FileHandle file = platform::kNoFile;
  if (platform::OpenFile(name, platform::kAccessRead | platform::kShareDenyNone, file) != 0) return {};
  uint64_t size = 0;
  size_t got = 0;
  std::vector<uint8_t> bytes;
  bool ok = platform::FileSize(file, size) == 0;
  if (ok) {
    bytes.resize(size_t(size));
    ok = platform::ReadAt(file, 0, bytes.data(), bytes.size(), got) == 0 && got == bytes.size();
  }
  platform::CloseFile(file);
  if (!ok) return {};
  return bytes;
}

}  // namespace

uint32_t MciOpen(std::string_view element, uint32_t& deviceId) {
  if (!EndsWithWav(element)) return kMciErrNoDeviceForExtension;
  std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(element);
  if (!bytes) return kMciErrFileNotFound;
  Device device;
  device.image = std::move(*bytes);
  const std::optional<Wave> wave = ParseWave(device.image);
  if (!wave) return kMciErrInvalidFile;
  device.wave = *wave;  // the span points into the vector's heap block, which the move keeps
  deviceId = ++lastId;
  Devices().emplace(deviceId, std::move(device));
  return 0;
}

uint32_t MciClose(uint32_t deviceId) {
  Device* device = Find(deviceId);
  if (!device) return kMciErrInvalidDevice;
  if (device->playing) CurrentAudioSink().Stop();
  Devices().erase(deviceId);
  return 0;
}

uint32_t MciPlay(uint32_t deviceId, bool wait) {
  Device* device = Find(deviceId);
  if (!device) return kMciErrInvalidDevice;
  if (device->playing) CurrentAudioSink().Stop();
  device->Start(wait);
  return 0;
}

uint32_t MciStop(uint32_t deviceId) {
  Device* device = Find(deviceId);
  if (!device) return kMciErrInvalidDevice;
  if (device->playing) CurrentAudioSink().Stop();
  device->playing = device->paused = false;
  return 0;
}

uint32_t MciPause(uint32_t deviceId) {
  Device* device = Find(deviceId);
  if (!device) return kMciErrInvalidDevice;
  if (!device->playing) return kMciErrNotApplicable;
  CurrentAudioSink().Stop();
  device->playing = false;
  device->paused = true;
  return 0;
}

uint32_t MciResume(uint32_t deviceId, bool wait) {
  Device* device = Find(deviceId);
  if (!device) return kMciErrInvalidDevice;
  if (!device->paused) return kMciErrNotApplicable;
  device->Start(wait);
  return 0;
}

uint32_t MciStatusMode(uint32_t deviceId, uint32_t& mode) {
  const Device* device = Find(deviceId);
  if (!device) return kMciErrInvalidDevice;
  mode = device->playing ? kMciModePlay : device->paused ? kMciModePause : kMciModeStop;
  return 0;
}

uint32_t MciWindow(uint32_t deviceId, uint32_t) {
  return Find(deviceId) ? kMciErrUnsupported : kMciErrInvalidDevice;
}

}  // namespace media
