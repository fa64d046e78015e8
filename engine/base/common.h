// Common engine services: the small routines every other unit uses.
//
// The user-break test and waiting, the decimal character and number texts,
// name rules, short-text routines, file names, table sets, value lists, and
// typed access to one field of a record buffer. The error state of the unit
// lives in common_errors.h and is part of the same namespace.
//
// Positions in texts are 1-based, as the engine's texts count them: a
// position of 0 means "not found", length + 1 means "behind the end".
// Routines that build a text answer a ShortStr, cut at 255 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/common_errors.h"
#include "engine/base/shortstr.h"

namespace Common {

// ---------------------------------------------------------------------------
// Unit state

// The decimal separator the engine writes numbers with; "," at start.
char GetDecimalChar();
void SetDecimalChar(char c);

// One more character that ReadIdentifier and ReadWord take into a name; "A"
// at start (adds nothing). The language sets it to "^" while it needs it.
extern char ExtraNameChar;
// Set by long-running loops when a break was detected or requested.
extern bool BreakRequested;
// Left behind by GetFieldAsNumber: whether the field read has a null flag,
// and whether its value is null. PutFieldFromValue stores LastValueIsNull.
extern bool LastFieldNullable;
extern bool LastValueIsNull;
// The host program's directory (ending with a separator), name and extension,
// and the working directory (starts as the program directory).
extern ShortStr ProgramDirectory;
extern ShortStr ProgramName;
extern ShortStr ProgramExtension;
extern ShortStr WorkingDirectory;

// ---------------------------------------------------------------------------
// User break and waiting

// Message numbers of keyboard messages, and the key that breaks with Ctrl.
inline constexpr uint32_t kFirstKeyMessage = 256;
inline constexpr uint32_t kLastKeyMessage = 264;
inline constexpr uint32_t kBreakKey = 'U';
// Longest sleep between two looks at the message queue while waiting.
inline constexpr uint32_t kWaitPollMs = 10;

// True when BreakRequested is set, or when the next keyboard message (which
// is taken from the queue, whatever key it is) is Ctrl+U.
bool UserBreakRequested();
// Waits until the monotonic clock has advanced by n milliseconds, letting the
// host pump its messages and sleeping between looks.
void WaitMilliseconds(uint32_t n);

// ---------------------------------------------------------------------------
// Numbers

inline constexpr int kMaxRealDecimals = 11;
inline constexpr int kMaxRealWidth = 80;
inline constexpr int32_t kLongIntLimit = 2147483647;
// Longest text of a 32-bit number ("-2147483648").
inline constexpr size_t kMaxIntText = 11;
// ReadNumber stops adding digits once the value has reached this.
inline constexpr uint16_t kReadNumberStop = 6500;

// value written with min(decimals, 11) decimals and decimalChar, grouped with
// groupChar (0: none) and padded on the left with fill to min(width, 80).
ShortStr FormatReal(int width, int decimals, char groupChar, char decimalChar, char fill,
                    double value);
// Rounded to the nearest integer (ties to even), clamped to +-2147483647.
int32_t RealToLongInt(double value);
// n followed by blanks up to width / right-aligned in width; never more than
// 11 characters, and the digits are never cut.
ShortStr IntToStrLeft(int32_t n, int width);
ShortStr IntToStrWidth(int32_t n, int width);
// Reads decimal digits from position on into value and leaves position on the
// first non-digit; digits after the value reached 6500 are skipped.
void ReadNumber(std::string_view text, size_t& position, uint16_t& value);
// The digits of |n| as German words joined by "*" (12: "eins*zwei").
ShortStr DigitWords(int32_t n);
uint16_t MinWord(uint16_t a, uint16_t b);
uint16_t MaxWord(uint16_t a, uint16_t b);
bool IsDigit(char c);

// ---------------------------------------------------------------------------
// Names and characters

inline constexpr size_t kMaxNameLength = 40;

// A-Z, Ä, Ö, Ü or ß after upper-casing by the character rule.
bool IsLetter(char c);
// A letter, a digit, "-" or "_".
bool IsNameChar(char c);
// 1 to 40 characters, a letter first, name characters after it: names of
// procedures, modules and variables.
bool IsValidName(std::string_view text);
// The characters of field names: "@", letters, digits, "_", "-", umlauts, ß.
bool IsFieldNameChar(char c);
// The leading run of field-name characters and ".", trailing "_" dropped, at
// most 40 characters.
ShortStr NameOf(std::string_view text);
inline void MakeName(std::string_view text, ShortStr& name) { name = NameOf(text); }
// Skips blanks and tabs, then reads field-name characters and ExtraNameChar;
// trailing characters that are no field-name characters are dropped.
void ReadIdentifier(std::string_view text, size_t& position, ShortStr& word);
// As ReadIdentifier with "." allowed inside; a word that starts with "'" or a
// double quote runs to the matching quote, and position is left behind it
// (behind the text when the quote is not closed).
void ReadWord(std::string_view text, size_t& position, ShortStr& word);
// ReadWord after the first "(" of text; empty without one.
ShortStr ParenArgument(std::string_view text);

// The error number MatchBrackets answers ("%s erwartet").
inline constexpr uint16_t kErrExpected = 56;
// The character at position opens a bracket or quote; position moves behind
// its matching closer. Answers 0, or 56 with ErrorArgument set to the closer
// that was expected (the caller reports it).
uint16_t MatchBrackets(std::string_view text, size_t& position);

// ---------------------------------------------------------------------------
// Short texts

size_t CharPos(char c, std::string_view text);       // 0 when absent
size_t CharPosOrEnd(char c, std::string_view text);  // length + 1 when absent
size_t DotPos(std::string_view text);
// Position of sub searched from start on; 0 when absent.
size_t PosFrom(std::string_view sub, std::string_view text, size_t start);
void AppendChar(ShortStr& text, char c);
void AppendStr(ShortStr& text, std::string_view tail);
ShortStr AppendStrCopy(std::string_view text, std::string_view tail);
void PrependChar(ShortStr& text, char c);
ShortStr LeftStr(std::string_view text, size_t n);
ShortStr CopyStr(std::string_view text, size_t index, size_t count);
// Moves position over blanks and tabs.
void SkipBlanks(std::string_view text, size_t& position);
void DeleteLeading(ShortStr& text, char c);
void TrimRight(ShortStr& text);
void TrimBlanks(ShortStr& text);
// Characters with a code of 32 or more.
size_t VisibleLength(std::string_view text);
// Removes characters from the end until the visible length is at most width.
ShortStr CutToVisibleWidth(std::string_view text, size_t width);
// Cut to width, then filled on the right / left to a visible length of width.
ShortStr PadRight(std::string_view text, size_t width, char fill);
ShortStr PadLeft(std::string_view text, size_t width, char fill);
void ReplaceChar(ShortStr& text, char from, char to);
// Every occurrence of find, left to right, without rescanning inserted text.
void ReplaceAll(ShortStr& text, std::string_view find, std::string_view replacement);

// Longest code ScrambleString keeps.
inline constexpr size_t kMaxCodeLength = 10;
// Cut to 10 characters, reversed, every byte complemented; its own inverse.
ShortStr ScrambleString(std::string_view text);

// ---------------------------------------------------------------------------
// File names. "\" and "/" both separate directories.

inline constexpr size_t kMaxExtensionLength = 10;
inline constexpr size_t kShortBaseName = 8;

struct FileNameParts {
  ShortStr directory;  // up to and including the last "\", "/" or ":"
  ShortStr name;
  ShortStr extension;  // from the first "." of the rest, at most 10 characters
};
FileNameParts SplitFileName(std::string_view path);
// The leading run of field-name characters, separators, ":", "." and "~".
ShortStr FileNamePrefix(std::string_view text);
// The upper-cased name part (no directory, no extension) of FileNamePrefix.
ShortStr BaseName(std::string_view text);
// directory + name + extension, name and extension upper-cased; the directory
// is kept as given (it names an existing place on a case-sensitive system).
ShortStr MakeFileName(std::string_view directory, std::string_view name, std::string_view extension);
// The same with the name cut to 8 characters (old table files).
ShortStr MakeFileName8(std::string_view directory, std::string_view name, std::string_view extension);
// The path's extension (with its ".") equals extension under the collation.
bool HasExtension(std::string_view path, std::string_view extension);
// The full path of a name, whether or not it exists.
std::string ExpandName(std::string_view name);
// Paths are short texts: a path longer than 255 characters is refused, never
// cut (a cut path names another file). PathFits tells; RefuseLongPath reports
// error 26 with the path and answers 26.
bool PathFits(std::string_view path);
int RefuseLongPath(std::string_view path);
// A directory search for the name (wildcards allowed) finds a file.
bool FileExists(std::string_view name);
// Clears the file's attributes and deletes it; failures are ignored.
void EraseFile(std::string_view name);
// Writes size bytes from buffer into a new file, or reads up to size bytes of
// an existing one (shared reading), after freeing one handle of the engine's
// budget. Answers the DOS result (0 = success).
int FileBlockIO(std::string_view name, bool write, void* buffer, size_t size);
// Memory checks that always pass.
bool EnoughMemory(size_t bytes);
int32_t FreeMemoryKB();

// ---------------------------------------------------------------------------
// Table sets and value lists

// Bit n (0..63) stands for table slot n; other n are outside every set.
bool BitIn64(uint64_t set, int n);
void Include64(uint64_t& set, int n);
void Exclude64(uint64_t& set, int n);

struct ValueNode {
  int32_t value;
  ValueNode* next;
};
// Appends value at the end of the chain; false when the chain holds it.
bool AddToValueList(ValueNode*& head, int32_t value);
void FreeValueList(ValueNode*& head);

// ---------------------------------------------------------------------------
// Typed field access
//
// A field is described by the bytes of its descriptor that decide how it lies
// in a record, and its offset there (the sum of size + 1 over the stored
// fields before it). The field occupies size + 1 bytes; a field with a null
// flag keeps the flag in its last byte (1 = a value is present, 0 = null).
//
//   type   value in the record             type   value in the record
//   0 C    one byte                        7 M    u16 or u32 memo block
//   1 S    length byte + characters        8 A    u8 choice
//   2 I    i16                             9 N    i32 automatic number
//   3 F    f64 (version 1: 6-byte real)    10 L   i32 linked record
//   4 B    u8                              11 P   u32 blob block
//   5 J    u8 (0/1)                        12 R   no bytes
//   6 D    i32 packed date                 13 Z   u16 minutes
//
// Version-1 table files keep texts in the OEM code page and reals as 6-byte
// reals; both are converted on the way in and out.

inline constexpr uint8_t kTypeMask = 0x0F;
inline constexpr uint8_t kNullFlagBit = 0x80;
inline constexpr int kFirstVersionWithDoubles = 2;

enum FieldType : uint8_t {
  kTypeChar = 0, kTypeString = 1, kTypeInteger = 2, kTypeReal = 3, kTypeByte = 4,
  kTypeBool = 5, kTypeDate = 6, kTypeMemo = 7, kTypeChoice = 8, kTypeAutoNumber = 9,
  kTypeLink = 10, kTypeBlob = 11, kTypeRelation = 12, kTypeTime = 13,
};

// Value classes GetFieldAsNumber answers besides the memo and blob types.
inline constexpr int kClassText = 1;
inline constexpr int kClassNumber = 3;

struct FieldPlace {
  uint8_t typeByte = 0;  // descriptor byte 45: low nibble type, 0x80 null flag
  uint8_t sizeCode = 0;  // descriptor byte 43: the field takes size + 1 bytes
  bool stored = true;    // descriptor byte 44 != 0
  uint32_t offset = 0;
  uint8_t type() const { return typeByte & kTypeMask; }
};

// A numeric field (types 2-6, 8-10, 13) with bit 7 of its type byte, except
// type 10.
bool HasNullFlag(uint8_t typeByte);
// The field has a name and either occupies record bytes or is of type 12.
bool IsUserField(std::string_view name, bool stored, uint8_t typeByte);

// Bytes of a field's value without its null flag.
size_t FieldValueSize(const FieldPlace& field);
// Copies the field's value into destination (room for its value bytes, and 8
// bytes for the real of a version-1 file). A field that occupies no record
// bytes is left alone.
void GetFieldValue(const uint8_t* record, const FieldPlace& field, int version, uint8_t* destination,
                   bool& isNull);
// The mirror image: stores the value bytes and the null flag.
void PutFieldValue(uint8_t* record, const FieldPlace& field, int version, const uint8_t* source,
                   bool isNull);

// One field's value widened for the language.
struct FieldValue {
  double number = 0;   // class 3
  ShortStr text;       // class 1
  uint32_t block = 0;  // memo and blob fields
};
// Reads the field: types 0 and 1 give class 1 (text), 7 and 11 their type
// (block), all others class 3 (a date as its day number, type 12 as 0).
// Sets LastFieldNullable and LastValueIsNull.
int GetFieldAsNumber(const uint8_t* record, const FieldPlace& field, int version, FieldValue& value);
// The same reading without copies, for loops that look at many records: a
// text is a view of the record's bytes where the file needs no conversion
// (version 2 on), else of scratch, which then holds the converted value.
// Leaves LastFieldNullable and LastValueIsNull alone.
struct FieldView {
  double number = 0;
  std::string_view text;
  FieldValue scratch;
};
int ViewField(const uint8_t* record, const FieldPlace& field, int version, FieldView& view);
// Narrows a value into the field; automatic numbers are never written. The
// null flag follows LastValueIsNull.
void PutFieldFromValue(uint8_t* record, const FieldPlace& field, int version, const FieldValue& value);

// 6-byte reals of version-1 files: byte 0 the exponent (bias 129, 0 = zero),
// bytes 1-5 a 39-bit mantissa below an implicit leading 1, the sign in bit 7
// of byte 5.
inline constexpr size_t kReal6Size = 6;
double Real6ToDouble(const uint8_t* real6);
// Rounds to 39 bits; values beyond the range become the largest 6-byte real,
// values below its smallest become 0.
void DoubleToReal6(double value, uint8_t* real6);

void UnitInit();
void UnitDone();

}  // namespace Common
