// Serial ports for the engine on Linux, over termios, in the shape the
// language's port functions expect: a port opened by its DOS name, a line
// state of baud rate, byte size, parity, stop bits and control flags, reads
// and writes that never wait for the line, and a query of both queues.
//
// What holds:
//   1. Only ports opened here are ever touched: a handle is the descriptor of
//      an open port and is looked up in the set of open ports before any
//      call, so a stray number from a program never reads, writes, sets or
//      closes a table file or the process's standard streams.
//   2. No call blocks: the descriptor is non-blocking, reads take what has
//      arrived, and a write waits for the line at most kWriteWaitMs in all
//      before it answers with the bytes that went out.
//   3. A port whose device went away (a pseudo terminal whose other side
//      closed, a USB adapter pulled) fails every read, write and queue query;
//      it never reads as "no data".
//   4. An open port is in raw mode (no echo, no line editing, no character
//      translation, receiver on, modem lines ignored), as a serial port
//      is on the system the programs were written for; its line settings
//      stay as the device had them until a state is set. It is opened
//      exclusively: a second open of the same device fails.
//
// DOS names: "COM1" to "COM255" (any case, with an optional ":" behind and
// an optional "\\.\" before) name the device mapped to them by
// MapSerialDevice, else the one in the environment variable QMK_COM<n>,
// else /dev/ttyS<n-1>. Any other name is a device path as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct termios;

namespace platform {

using SerialHandle = int32_t;
constexpr SerialHandle kNoSerial = -1;

// Parity and stop-bit codes of a line state.
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kParityOdd = 1;
constexpr uint8_t kParityEven = 2;
constexpr uint8_t kStopOne = 0;
constexpr uint8_t kStopOneAndHalf = 1;  // two stop bits on the line unless the byte has 5 bits
constexpr uint8_t kStopTwo = 2;

// Control-flag bits of a line state that the line honours; other bits are
// kept as given and read back unchanged.
constexpr uint32_t kSerialBinary = 0x0001;       // always set when read
constexpr uint32_t kSerialParityCheck = 0x0002;  // check parity of input
constexpr uint32_t kSerialCtsFlow = 0x0004;      // hardware handshake
constexpr uint32_t kSerialXonXoffOut = 0x0100;   // XON/XOFF on output
constexpr uint32_t kSerialXonXoffIn = 0x0200;    // XON/XOFF on input

// Status bits of a queue query.
constexpr uint8_t kSerialCtsHold = 0x01;

// Longest time a write waits for the line to take its bytes.
constexpr uint32_t kWriteWaitMs = 2000;

struct SerialState {
  int32_t baudRate = 0;
  uint8_t byteSize = 8;  // 5..8
  uint8_t parity = kParityNone;
  uint8_t stopBits = kStopOne;
  uint32_t flags = kSerialBinary;
};

struct SerialQueues {
  uint32_t received = 0;  // bytes waiting to be read
  uint32_t toSend = 0;    // bytes not yet sent
  uint32_t errors = 0;    // line errors since the last query (frame 8, overrun 2, parity 4, break 16)
  uint8_t status = 0;     // kSerialCtsHold
};

// The device a port name stands for (see above).
std::string SerialDevice(std::string_view name);
// Maps a DOS port name ("COM1") to a device; an empty device removes the
// mapping. Answers false when name is not a COM name.
bool MapSerialDevice(std::string_view name, std::string_view device);

// Opens the port for reading and writing; kNoSerial when the device does
// not exist, is no terminal, is in use or cannot be set up.
SerialHandle SerialOpen(std::string_view name);
// Closes an open port; false for a handle that is not one.
bool SerialClose(SerialHandle handle);
bool SerialIsOpen(SerialHandle handle);
// The system keeps queues of its own size: accepted and ignored.
bool SerialSetQueueSizes(SerialHandle handle, uint32_t receive, uint32_t send);
// False when the handle is no open port or the device refuses the state
// (a baud rate the system has no setting for, a byte size outside 5..8).
bool SerialGetState(SerialHandle handle, SerialState& state);
bool SerialSetState(SerialHandle handle, const SerialState& state);
// The terminal settings of a state, built on the port's current ones; false
// for a baud rate or byte size the line has no setting for. A pseudo
// terminal keeps only the rate, the stop bits and the flags of them: it has
// no line on which parity or byte size would mean anything.
bool ApplySerialState(termios& settings, const SerialState& state);
// Bytes read (0 when nothing has arrived) or -1 on failure.
int32_t SerialRead(SerialHandle handle, void* buffer, size_t count);
// Bytes written; -1 with written set when the port failed.
int32_t SerialWrite(SerialHandle handle, const void* data, size_t count, size_t& written);
// False when the handle is no open port or the device is gone.
bool SerialQuery(SerialHandle handle, SerialQueues& queues);

}  // namespace platform
