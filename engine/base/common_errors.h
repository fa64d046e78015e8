// The engine's last error: one number and one text for the whole library.
//
// Every unit that fails reports here. The word holds minus the error number
// (0: no error); the text is the German message of the number, cut to 80
// characters. Numbers 1..129 are the engine's own messages (100 is unused);
// numbers of 1000 and above belong to the host, whose texts come through the
// GetUserErrMsg call-back. The host reads the pair once (ReadLastError), which
// clears it; engine code that acts on a failure reads LastError() directly.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace Common {

// Highest number of the engine's own message table (they start at 1).
inline constexpr uint16_t kLastMessage = 129;
// Numbers from here on are the host's; their texts come from GetUserErrMsg.
inline constexpr uint16_t kFirstHostError = 1000;
// Longest stored error text and longest error argument.
inline constexpr size_t kMaxErrorText = 80;
inline constexpr size_t kMaxErrorArgument = 40;

// Engine error numbers that units report by name.
inline constexpr uint16_t kErrRead = 2;          // "Lesefehler"
inline constexpr uint16_t kErrWrite = 3;         // "Schreibfehler"
inline constexpr uint16_t kErrOutOfMemory = 99;  // "Speicher reicht nicht aus"
inline constexpr uint16_t kErrPathTooLong = 26;  // "Illegaler Dateiname"

// The host's error-text call-back: (minus the error number, buffer, buffer
// size in characters before the terminating zero). It writes a zero-terminated
// text; its result is ignored.
using GetUserErrMsgProc = int32_t (*)(int32_t code, char* buffer, int32_t size);

// The default call-back, installed at start: "Error <code> (GetUserErrMsg
// callback not available)." cut to size characters.
int32_t DefaultGetUserErrMsg(int32_t code, char* buffer, int32_t size);
// Installs a host call-back; nullptr puts the default back.
void SetGetUserErrMsg(GetUserErrMsgProc proc);
GetUserErrMsgProc GetUserErrMsg();

// Message n of the engine's table, empty when the number has none.
std::string_view MessageText(uint16_t n);

// The last error word: minus the error number, 0 when there is none. It is
// 32 bits wide so that every 16-bit number, host numbers above 32767 too,
// stays negative.
int32_t LastError();
// Clears the word only (the text stays), for code that handled a failure.
void ResetLastError();
// The text that belongs to LastError().
const ShortStr& LastErrorText();

// The argument that fills "%s" in SetFileError; at most 40 characters, one
// blank at start.
const ShortStr& ErrorArgument();
void SetErrorArgument(std::string_view argument);

// Reports error n with "%s" filled from argument.
void SetError(uint16_t n, std::string_view argument);
// Reports error n with "%s" filled from ErrorArgument() and the name of the
// file concerned (may be empty) added.
void SetFileError(uint16_t n, std::string_view fileName);
// SetFileError(n, fileName) when condition (a unit's result word) is not 0.
void ErrorIf(int32_t condition, uint16_t n, std::string_view fileName);
void OutOfMemoryError();
// Replaces the text of the last error (its number stays), cut as every text.
void SetLastErrorText(std::string_view text);
void ReadError();
void WriteError();

// Read-once access for the host: answers the word, hands out the text, and
// clears both.
int32_t ReadLastError(ShortStr& text);

// Called by Common::UnitInit / UnitDone: set up and release the error state.
void InitErrors();
void DoneErrors();

}  // namespace Common
