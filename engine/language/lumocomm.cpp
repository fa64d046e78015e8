#include "engine/language/lumocomm.h"

#include <algorithm>


namespace LumoComm {
namespace {

int32_t g_errorWord = 0;
uint16_t g_savedFlags = 0;

}  // namespace

int32_t CommOpen(std::string_view device, uint16_t receiveQueue, uint16_t sendQueue) {
  const platform::SerialHandle h = platform::SerialOpen(device);
  if (h == platform::kNoSerial) return -1;
  platform::SerialSetQueueSizes(h, receiveQueue, sendQueue);
  g_errorWord = 0;
  return h;
}

platform::SerialState ModeState(platform::SerialState state, int32_t baudRate, uint8_t dataBits,
                                int32_t parity, int32_t stopBits, int16_t controlFlags) {
  state.baudRate = baudRate;
  state.byteSize = dataBits;
  state.parity = parity == 1 ? platform::kParityOdd : parity == 2 ? platform::kParityEven : platform::kParityNone;
  state.stopBits = stopBits == 2   ? platform::kStopOneAndHalf
                   : stopBits == 3 ? platform::kStopTwo
                                   : platform::kStopOne;
  if (controlFlags != 0) state.flags = uint32_t(int32_t(controlFlags));
  return state;
}

int32_t CommMode(int32_t handle, int32_t baudRate, uint8_t dataBits, int32_t parity, int32_t stopBits,
                 int32_t, int16_t controlFlags) {
  platform::SerialState state;
  if (!platform::SerialGetState(handle, state)) return -1;
  g_savedFlags = uint16_t(state.flags);
  state = ModeState(state, baudRate, dataBits, parity, stopBits, controlFlags);
  return platform::SerialSetState(handle, state) ? 0 : -1;
}

int32_t CommClose(int32_t handle) {
  platform::SerialClose(handle);
  return 0;
}

ShortStr CommRead(int32_t handle, int32_t wanted) {
  ShortStr text;
  const size_t count = size_t(std::clamp<int32_t>(wanted, 0, int32_t(ShortStr::kMax)));
  const int32_t n = platform::SerialRead(handle, text.data(), count);
  if (n < 0) {
    g_errorWord = -1;
    text.setLength(0);
    return text;
  }
  text.setLength(size_t(n));
  g_errorWord = 0;
  return text;
}

int32_t CommWrite(int32_t handle, std::string_view text) {
  size_t written = 0;
  const int32_t n = platform::SerialWrite(handle, text.data(), text.size(), written);
  if (n >= 0) return n;
  // A failure never reads as success, also when nothing went out.
  return -std::max<int32_t>(int32_t(written), 1);
}

uint16_t CommQuery(int function, int32_t handle) {
  if (function != kCommIn && function != kCommOut && function != kCommState) return kQueueError;
  platform::SerialQueues queues;
  if (!platform::SerialQuery(handle, queues)) {
    g_errorWord = -1;
    return kQueueError;
  }
  g_errorWord = int32_t(queues.errors);
  if (function == kCommState) return queues.status;
  if (g_errorWord != 0) return kQueueError;
  return uint16_t(function == kCommIn ? queues.received : queues.toSend);
}

int32_t ErrorWord() { return g_errorWord; }
uint16_t SavedControlFlags() { return g_savedFlags; }

void UnitInit() {
  g_errorWord = 0;
  g_savedFlags = 0;
}

void UnitDone() {}

}  // namespace LumoComm
