// The serial-port services behind Lumo's port functions (CommOpen, CommMode,
// CommClose, CommRead, CommWrite, CommIn, CommOut, CommState). A program
// opens a port by its device name and keeps the handle it gets; the engine
// keeps nothing per port besides what the platform layer needs to know that
// a handle is an open port.
//
// What holds:
//   1. No service raises an engine error: failures show only in the results
//      (-1, a negative count, the empty text, 65535) and in the error word.
//   2. The error word holds the outcome of the last open, read or queue
//      query: 0 after a successful open or read, -1 after a failed read or
//      a failed query, else the line error bits the query found.
//   3. No service waits for the line (platform/serial.h); a port whose
//      device went away answers failures, never "nothing yet".
//   4. A read takes at most 255 bytes, whatever the program wants.
//   5. A handle that is no open port is refused by every service; a number a
//      program made up never reaches another descriptor of the process.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "platform/serial.h"

namespace LumoComm {

// Function numbers of the queue services.
inline constexpr int kCommIn = 6;
inline constexpr int kCommOut = 7;
inline constexpr int kCommState = 8;
// Answer of CommIn and CommOut when the query found line errors or failed.
inline constexpr uint16_t kQueueError = 65535;

// The port's handle, or -1 when the device cannot be opened.
int32_t CommOpen(std::string_view device, uint16_t receiveQueue, uint16_t sendQueue);
// Sets the line: baud rate, data bits, parity (1 odd, 2 even, else none),
// stop bits (2 one and a half, 3 two, else one) and, when not 0, the control
// flags; 0, or -1 when the state cannot be read or written.
int32_t CommMode(int32_t handle, int32_t baudRate, uint8_t dataBits, int32_t parity, int32_t stopBits,
                 int32_t unused, int16_t controlFlags);
// The line state CommMode asks for, made from the port's current one.
platform::SerialState ModeState(platform::SerialState current, int32_t baudRate, uint8_t dataBits,
                                int32_t parity, int32_t stopBits, int16_t controlFlags);
// 0, always.
int32_t CommClose(int32_t handle);
// The bytes that have arrived, at most min(wanted, 255); empty on failure.
ShortStr CommRead(int32_t handle, int32_t wanted);
// The count written; on failure minus the count written, and at least -1.
int32_t CommWrite(int32_t handle, std::string_view text);
// CommIn: bytes in the receive queue; CommOut: bytes still to be sent;
// CommState: the hold and sent flags. 65535 for CommIn and CommOut when the
// query found errors, for every function when it failed, and for a function
// number other than these three.
uint16_t CommQuery(int function, int32_t handle);

// The error word (invariant 2) and the low word of the control flags that the
// last CommMode found on its port.
int32_t ErrorWord();
uint16_t SavedControlFlags();

void UnitInit();
void UnitDone();

}  // namespace LumoComm
