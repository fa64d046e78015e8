// The media control stand-in: devices opened on a wave file by name, played,
// paused, resumed and stopped, their mode asked for. Only ".WAV" files have
// a device; sound goes to the current audio sink and time is the window
// system's clock, so tests move playing on with their virtual clock.
//
// What always holds:
//   1. A device id names one open device from MciOpen until MciClose; ids
//      are never reused in a process. Any other id answers
//      kMciErrInvalidDevice and changes nothing.
//   2. A device holds the whole file, read at open: the file is not kept
//      open, so it may be deleted or replaced while the device plays.
//   3. The mode is 524 + n: not ready, stopped, playing, recording, seeking,
//      paused, open. A device plays from its position to the end of the
//      samples; when that much time has passed on the clock it is stopped
//      at the end. Stop keeps the position; play at the end plays nothing.
//   4. Play and resume with wait return when the device has played to the
//      end (the sink lets the time pass). Resume is refused
//      (kMciErrNotApplicable) unless the device is paused; pause is refused
//      unless it plays.
//   5. A failing command answers its error and leaves the device as it was.
#pragma once

#include <cstdint>
#include <string_view>

namespace media {

constexpr uint32_t kMciModeNotReady = 524;
constexpr uint32_t kMciModeStop = 525;
constexpr uint32_t kMciModePlay = 526;
constexpr uint32_t kMciModeRecord = 527;
constexpr uint32_t kMciModeSeek = 528;
constexpr uint32_t kMciModePause = 529;
constexpr uint32_t kMciModeOpen = 530;

constexpr uint32_t kMciErrInvalidDevice = 257;
constexpr uint32_t kMciErrNoDeviceForExtension = 273;
constexpr uint32_t kMciErrUnsupported = 274;
constexpr uint32_t kMciErrFileNotFound = 275;
constexpr uint32_t kMciErrInvalidFile = 296;
constexpr uint32_t kMciErrNotApplicable = 302;

// Opens a device on the file element (no device type: the extension
// chooses); deviceId is set on success.
uint32_t MciOpen(std::string_view element, uint32_t& deviceId);
uint32_t MciClose(uint32_t deviceId);
uint32_t MciPlay(uint32_t deviceId, bool wait);
uint32_t MciStop(uint32_t deviceId);
uint32_t MciPause(uint32_t deviceId);
uint32_t MciResume(uint32_t deviceId, bool wait);
uint32_t MciStatusMode(uint32_t deviceId, uint32_t& mode);
// The video window: a wave device has none, so it answers kMciErrUnsupported.
uint32_t MciWindow(uint32_t deviceId, uint32_t window);

}  // namespace media
