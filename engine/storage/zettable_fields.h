// Field values as text: the text form of each field type and the parser
// that turns a text back into record bytes.
//
//   | type | text form                        | parsing                     |
//   |------|----------------------------------|-----------------------------|
//   | C    | the one character                | the first character; "" 0   |
//   | S    | the text                         | cut to the size code        |
//   | I B  | decimal                          | number, rounded, low bytes  |
//   | N L  | decimal                          | number, rounded, clamped    |
//   | F    | fixed point with the decimals    | number                      |
//   | J    | "Ja" / "Nein"                    | "N..." 0, else 1; "" -> 1   |
//   | D    | the date in the date format      | date text; bad -> 44        |
//   | M P  | "Memo" / "Bild" when not 0       | refused (1), record kept    |
//   | A    | the choice in name form          | choice number or name       |
//   | R    | empty                            | refused (1), record kept    |
//   | Z    | hh:mm; empty when null           | hh:mm up to 24:00; bad -> 1 |
//
// A number that does not parse, an empty one included, stores 0 and answers
// the position (1-based, in the given text) of the first character that does
// not fit. A nullable field given an empty or blank text is stored as null
// and answers 0, whatever its type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/storage/zettable.h"

namespace ZetTable {

// Result codes of SetFieldText besides 0 and positions.
inline constexpr int kTextRefused = 1;
inline constexpr int kTextBadDate = 44;
// Decimals written for F fields whose decimals nibble is 1 (trailing zeros
// are then removed).
inline constexpr int kFloatingDecimals = 9;
// Characters of a number text that are converted.
inline constexpr size_t kMaxNumberText = 15;
// Characters of a time text that are read.
inline constexpr size_t kMaxTimeText = 5;
// Most blanks that stand for a null value.
inline constexpr size_t kMaxNullText = 15;

// Modes of GetRecordField and what out points to.
inline constexpr int kFieldAsInteger = 1;  // int32_t
inline constexpr int kFieldAsReal = 2;     // double
inline constexpr int kFieldAsCText = 3;    // char[outSize], zero-terminated
inline constexpr int kFieldAsShortStr = 4; // ShortStr

// The text form of field n of record (a buffer of the table's record
// length). A null value gives blanks (at most 15) for the text's characters.
ShortStr FieldText(const TZetTable& table, uint16_t n, const uint8_t* record);
void GetFieldText(int handle, uint16_t n, const uint8_t* record, ShortStr& text);
// Parses text into field n of record. Answers 0 when accepted, else the
// position of a bad character in a number, 1 or 44 as drawn above.
int SetFieldText(int handle, uint16_t n, uint8_t* record, std::string_view text);
int SetFieldText(const TZetTable& table, uint16_t n, uint8_t* record, std::string_view text);
// Field n of record (nullptr: the table's record buffer) in one of the four
// modes; modes 1 and 2 answer false for S and R fields.
bool GetRecordField(const TZetTable& table, const uint8_t* record, uint16_t n, int mode, void* out,
                    size_t outSize = 0);

}  // namespace ZetTable
