// Services around compiled code: the small numeric operands of format
// suffixes, quoting, type compatibility, and the code listing that turns a
// compiled line back into readable text for error messages.
//
// Code positions here are 0-based offsets into the code bytes (without the
// length byte). Every reader is bounds-checked: a token whose operands run
// past the end of the code ends the walk, so damaged or loaded code is never
// read behind its length. The listing names what it cannot resolve (a table
// no longer open, a field that does not exist, an unknown token) "!undef!".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace Zet02 {

inline constexpr std::string_view kUndefined = "!undef!";
inline constexpr uint16_t kErrIncomplete = 41;  // "Ausdruck nicht vollständig"

// The value of a 67 (one byte) or 66 (two bytes) constant at position,
// which moves behind it; error 41 otherwise.
uint16_t ReadSmallConst(std::string_view code, size_t& position, uint16_t& error);
// A 66/67 constant, or a variable token (255 and index) whose value is a
// number (error 44 otherwise), rounded; anything else error 41.
int32_t ReadNumberOperand(std::string_view code, size_t& position, uint16_t& error);
// 0 when no ":" stands at position; else the number after it plus 1.
int32_t ParseFormatSuffix(size_t& position, std::string_view code, uint16_t& error);

// Double quotes around the text, tabs as blanks.
void QuoteText(ShortStr& text);
// Whether a value of type given may be stored where expected is asked.
bool TypesCompatible(uint16_t expected, uint16_t given);

// The display text of a value of a field type (low four bits): "Ja" or
// "Nein" for a logical, the date of a day number, the time of a count of
// minutes, the digit of a choice number, else the general number text
// (SysAlgo::NumberText).
ShortStr ValueToText(uint16_t type, double value);

// The listing of code from start; errorColumn receives the listing's length
// when the walk passed stop.
ShortStr CodeToText(std::string_view code, size_t start, size_t stop, size_t& errorColumn);
// Records error with the listing of the code (SetCompilerError).
void ReportCompileError(uint16_t error, std::string_view code, size_t start, bool force, size_t stop);
// ReportCompileError with force, unless run-error reports are switched off.
void ReportRunError(uint16_t error, std::string_view code, size_t start, size_t stop);
void SetSuppressRunErrors(bool on);

}  // namespace Zet02
