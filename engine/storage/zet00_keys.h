// Index keys: reading key descriptions, building a record's key, ordering
// keys.
//
// A key description (layout in zettable.h) lists up to 10 parts; the list
// ends at the first part whose field word is 0. An expression key has one
// part {65535, length, result type} and its text at bytes 10..49, so nothing
// after part 1 is read as a part. A key is the u32 record number followed by
// each part's value in exactly its length:
//
//   | offset                 | width      | content                         |
//   |------------------------|------------|---------------------------------|
//   | 0                      | u32        | record number                   |
//   | 4                      | length 1   | value of part 1                 |
//   | 4 + length 1           | length 2   | value of part 2, and so on      |
//
// Part values by type (the raw bytes of the field; nothing is converted):
//   C, B, J, A   u8, compared unsigned
//   S            length byte + at most (part length - 1) characters, compared
//                by the collation (version-1 tables: from OEM first); a text
//                "a^b" is stored as "b^a"
//   I, Z         i16
//   F            f64, or the 6-byte real of version-1 files when the part is
//                shorter than 8 bytes (a nullable field's flag byte follows)
//   D, N, L, 25  i32 (25: the record number of the linked record)
// A descending part (bit 15 of its field word) reverses its order, an
// expression part never. Keys whose parts all agree are ordered by record
// number, so every key of an index is unique.
//
// Values are read through bounded copies: a part never reads beyond its own
// length, whatever a damaged description claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/storage/btrees.h"
#include "engine/storage/zettable.h"

namespace Zet00 {

// The ID index's mark in part 10: {0, 0, 255}.
inline constexpr size_t kIdMarkPart = 9;
inline constexpr uint8_t kIdMarkType = 255;
// The record numbers of range limits: the lower limit sorts before, the
// upper after every key with equal parts.
inline constexpr uint32_t kLowLimitRecord = 1;
inline constexpr uint32_t kHighLimitRecord = 0x7FFFFFFF;

// Engine errors of the index layer.
inline constexpr uint16_t kErrIndexCreate = 4;     // "Fehler bei Indexerstellung"
inline constexpr uint16_t kErrKeyTooLong = 11;     // "Indexschlüssel zu groß"
inline constexpr uint16_t kErrIndexNotFit = 13;    // "Index paßt nicht zur Tabelle"
inline constexpr uint16_t kErrIllegalOp = 34;      // "Illegale Operation"
inline constexpr uint16_t kErrTooManyIndexes = 67; // "Zu viele Indexe"
inline constexpr uint16_t kErrIndexWrite = 90;     // "Fehler beim Schreiben des Index"
inline constexpr uint16_t kErrIndexRead = 91;      // "Fehler beim Lesen des Index"
inline constexpr uint16_t kErrIndexDamaged = 95;   // "Index defekt"
inline constexpr uint16_t kErrBreak = 114;         // "Operation abgebrochen"
// The check of an expression answers this for a value it cannot compute
// without data; it counts as success.
inline constexpr uint16_t kErrRealOverflow = 43;

struct TKeyPart {
  uint16_t field = 0;
  uint16_t length = 0;
  uint8_t type = 0;

  bool IsExpression() const { return field == ZetTable::kKeyExpression; }
  bool IsVariable() const { return !IsExpression() && (field & ZetTable::kKeyVariable) != 0; }
  bool IsDescending() const { return !IsExpression() && (field & ZetTable::kKeyDescending) != 0; }
  // The field (or variable) number without the flag bits.
  uint16_t Number() const { return uint16_t(field & ZetTable::kKeyFieldMask); }
};

TKeyPart KeyPart(const uint8_t* description, size_t index);
void SetKeyPart(uint8_t* description, size_t index, const TKeyPart& part);
// The parts in use: 1 for an expression key, else those before the first
// field word 0 (at most 10).
size_t PartCount(const uint8_t* description);
bool IsExpressionKey(const uint8_t* description);
// The expression text of an expression key (at most 39 characters).
ShortStr KeyExpressionText(const uint8_t* description);
void SetKeyExpressionText(uint8_t* description, std::string_view text);
bool HasIdMark(const uint8_t* description);
void SetIdMark(uint8_t* description);
// 4 + the lengths of the parts in use.
uint32_t KeyLength(const uint8_t* description);

uint32_t KeyRecordNumber(const uint8_t* key);
void SetKeyRecordNumber(uint8_t* key, uint32_t recno);

// "a^b" becomes "b^a" (split at the first "^"); a text without "^" is kept.
ShortStr RotateAtCaret(std::string_view text);

// Forgets the key descriptions prepared for comparison (engine start).
void ResetPreparedKeys();

// Orders two keys of a description: -1, 0 or 1. oemTexts: the S parts are in
// the OEM code page (version-1 tables). Without the record number, keys whose
// parts agree compare 0. The parts of the description are read once and kept
// prepared for the next comparisons while its 50 bytes stay the same.
int CompareKeys(const uint8_t* a, const uint8_t* b, const uint8_t* description, bool oemTexts,
                bool withRecordNumber);
// Whether CompareKeys knows the type of every part it compares. A key
// description that comes from outside (a loaded job) is refused without it.
bool ComparableKey(const uint8_t* description);
// A description read from a file that the key routines can work with: parts
// of some length whose types CompareKeys compares, a key of at most 260
// bytes, an expression text of 1..39 characters. A description without
// parts keys the record numbers alone.
bool SoundDescription(const uint8_t* description);
// The compare procedures of the B-trees: compareData is the index header,
// whose first 50 bytes are the key description.
bool KeyBefore(const uint8_t* a, const uint8_t* b, const uint8_t* compareData);
bool KeyBeforeOem(const uint8_t* a, const uint8_t* b, const uint8_t* compareData);
// The procedure for a table of the given header version.
BTREES::TCompareProc KeyCompareProc(uint16_t version);
// True when the two keys agree in every part of the description.
bool SameKey(const uint8_t* a, const uint8_t* b, const uint8_t* description, uint16_t version = 2);

// ---------------------------------------------------------------------------
// Values from the language
//
// Expression parts and parts that take a language variable's value reach the
// language through these slots; the language installs them when it starts.
// Until then an expression or variable part stays at its lowest value.

struct TKeyValue {
  bool isText = false;
  double number = 0;
  ShortStr text;
};
// Computes an expression for the table's record buffer; answers 0 or an
// engine error (43 counts as success).
using TExpressionValueProc = int (*)(int handle, std::string_view expression, TKeyValue& value);
// The current value of a language variable; false when it has none.
using TVariableValueProc = bool (*)(uint16_t variable, TKeyValue& value);
// The name of a language variable (empty when unknown).
using TVariableNameProc = ShortStr (*)(uint16_t variable);
extern TExpressionValueProc ExpressionValueHook;
extern TVariableValueProc VariableValueHook;
extern TVariableNameProc VariableNameHook;

// Stores a value into a part of the given type and length (numbers narrowed
// to the type's width, texts rotated at "^" and cut to length - 1).
void PutPartValue(const TKeyPart& part, const TKeyValue& value, bool real6, uint8_t* out);
// Stores the part of field `part` from a record; nothing is read beyond the
// field and the part is zero-filled past the value.
void PutFieldPart(const ZetTable::TZetTable& table, const TKeyPart& part, const uint8_t* record,
                  uint8_t* out);

// Builds the key of a record: the record number, then each part. The key
// description is the slot's (slot >= 0) or the one given (slot -1). key needs
// room for 260 bytes. Answers 0, or the error of an expression part, or 95
// for a description whose key would not fit 260 bytes.
int MakeKey(int handle, int slot, const uint8_t* record, uint8_t* key, uint32_t recno,
            const uint8_t* description = nullptr);

}  // namespace Zet00
