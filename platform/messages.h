// The message queue as the engine sees it: it only ever looks for key messages
// (the Ctrl+U break test) and lets the host pump its queue while it waits. The
// host installs its own hook; the default queue is empty.
#pragma once

#include <cstdint>

namespace platform {

constexpr uint32_t kMsgKeyDown = 0x0100;
constexpr uint32_t kMsgKeyUp = 0x0101;
constexpr uint32_t kMsgChar = 0x0102;

struct KeyMessage {
  uint32_t message = 0;  // kMsgKeyDown, kMsgChar, ...
  uint32_t key = 0;      // virtual key code, or the character for kMsgChar
  bool ctrlDown = false;
};

// Looks at the next key message; with remove it is taken from the queue.
// Answers false when there is none.
using PeekKeyHook = bool (*)(bool remove, KeyMessage& message);
// Lets the host dispatch pending messages without taking any.
using PumpHook = void (*)();

bool PeekKey(bool remove, KeyMessage& message);
void PumpMessages();
void SetPeekKeyHook(PeekKeyHook hook);  // nullptr restores the default
void SetPumpHook(PumpHook hook);

}  // namespace platform
