// Code pages: the engine keeps Windows-1252; old table files hold code page
// 850 (OEM); dBase files of other programs may hold code page 437 or 850.
// UTF-8 only where a person or the system reads the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// One character between code page 850 and Windows-1252. Characters that have
// no counterpart map to a best-fit character; the pairs that exist in both
// code pages round-trip exactly.
uint8_t OemToAnsiChar(uint8_t c);
uint8_t AnsiToOemChar(uint8_t c);
// True when c (code page 850) has an exact Windows-1252 counterpart.
bool OemCharRoundTrips(uint8_t c);
void OemToAnsiBuffer(char* buffer, size_t count);
void AnsiToOemBuffer(char* buffer, size_t count);

// Code page 437 to Windows-1252, the same way (best fits for what 1252
// lacks). Only files of other programs hold it; nothing is written in it.
uint8_t Oem437ToAnsiChar(uint8_t c);
void Oem437ToAnsiBuffer(char* buffer, size_t count);

std::string Cp1252ToUtf8(std::string_view text);
// Characters that Windows-1252 cannot hold become "?".
std::string Utf8ToCp1252(std::string_view text);

}  // namespace platform
