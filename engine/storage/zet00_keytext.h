// Index keys as texts: search keys from part values, the text that names a
// record, the text form of a key description, the order chosen by name and
// the key-range limits.
//
// A key text lists the part values in part order, separated by ","; a value
// that holds commas is written in parentheses: "Meier, 12" or
// "(Schmidt, Hans), 3". A missing value takes the end of its part's order
// that keeps every value inside the key: in a lower limit (or search key)
// the first, in an upper limit the last. That is a value below every value
// of its type (the empty text, the type's smallest number) for an ascending
// part of a lower limit and a descending part of an upper limit, else a
// value above every value of its type (texts: 254s over the whole part,
// which collate after every text; numbers: the type's largest value).
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/common.h"
#include "engine/base/shortstr.h"

namespace Zet00 {

// The order names besides the index file names.
inline constexpr std::string_view kOrderNameMarks = "Markierung";
inline constexpr std::string_view kOrderNameRecords = "Nummer";
// RecordKeyText adds a separator only while the text is at most this long.
inline constexpr size_t kMaxKeyTextBeforeSeparator = 235;
inline constexpr std::string_view kKeyTextSeparator = ", ";
// Digits of an expression value in a key text.
inline constexpr int kKeyTextDecimals = 4;

// Builds a search key for a slot from a key text, with record number recno
// (0x7FFFFFFF makes the upper limit of a range). Each value is parsed into
// a scratch record by its field's text rule; an L part whose text is not a
// number names a record of the field's linked table by its ID text, and that
// record's auto number is taken. key needs room for 260 bytes. Answers 0, or
// the error of an index that cannot be used.
int KeyFromText(int handle, int slot, std::string_view text, uint8_t* key, uint32_t recno);
// Clears record and stores into it the field parts of a key of the table's
// key-text index (slot 1 unless the table names another), as raw bytes with
// the null flags the key holds; texts are rotated back.
void KeyToRecord(int handle, const uint8_t* key, uint8_t* record);
// For the current table walked in index order whose key has a part for the
// field: the field's value from the current key (class 1 text for C and S,
// class 3 number for the numeric types, a date as its day number) and its
// null state. False otherwise.
bool KeyFieldValue(int handle, uint16_t field, Common::FieldValue& value, int& valueClass, bool& isNull);
// The text that names the current record by an index (slot 0: slot 1 when
// the table has indexes, else the empty text): each part's field text
// without trailing blanks (S parts cut to the part's length - 1), joined by
// ", "; an expression key's value from the record's key, a number with four
// decimals.
ShortStr RecordKeyText(int handle, int slot);
// The text form of a slot's key description: parts joined by ", ", "-" for
// descending parts, the field name (with numbers: "$" and the user field
// number), with lengths ":" and the length (S: its characters); an
// expression key as "(" text ")" and, with lengths, ":" and its length.
ShortStr GetIndexDesc(int handle, int slot, bool withLengths, bool withNumbers);
// A field's name as descriptions write it: upper case, without the ": " the
// creator appends, blanks as "_".
ShortStr KeyFieldName(int handle, uint16_t n);
// Clears the range limits, then selects the order by name: "Markierung"
// the marked records, "Nummer" record order, else the index whose file name
// equals the name (case ignored). False (order kept) for an unknown name.
bool SetOrderByName(int handle, std::string_view name);

// Key-range limits. In index order a limit is a key of the current index
// made from a key text (lower: record number 1, upper: 0x7FFFFFFF);
// otherwise a record number given as text. Adding a part extends the text
// that made the limit by "," and the part. Answers 0 or KeyFromText's error.
int SetRangeLimit(int handle, bool upper, std::string_view text);
int SetRangeStart(int handle, std::string_view text);
int SetRangeEnd(int handle, std::string_view text);
int AddRangeStartPart(int handle, std::string_view part);
int AddRangeEndPart(int handle, std::string_view part);

// Forgets the texts of the limits (unit start).
void ClearRangeTexts();

}  // namespace Zet00
