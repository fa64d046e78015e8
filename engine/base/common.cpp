#include "engine/base/common.h"
#include "engine/base/userbreak.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/datum.h"
#include "engine/base/lowfiles.h"
#include "engine/base/uppercas.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"

namespace Common {

char ExtraNameChar = 'A';
bool BreakRequested = false;
bool BreakEnabled = true;
bool LastFieldNullable = false;
bool LastValueIsNull = false;
ShortStr ProgramDirectory;
ShortStr ProgramName;
ShortStr ProgramExtension;
ShortStr WorkingDirectory;

namespace {

constexpr char kDefaultDecimalChar = ',';
constexpr char kDefaultExtraNameChar = 'A';
constexpr int32_t kReportedFreeMemoryKB = 30000;
constexpr uint8_t kComplementMask = 0xFF;
// Characters of the engine's texts that tests by code.
constexpr uint8_t kUpperAUmlaut = 0xC4;  // Ä
constexpr uint8_t kUpperOUmlaut = 0xD6;  // Ö
constexpr uint8_t kUpperUUmlaut = 0xDC;  // Ü
constexpr uint8_t kSharpS = 0xDF;        // ß
constexpr uint8_t kLowerAUmlaut = 0xE4;  // ä
constexpr uint8_t kLowerOUmlaut = 0xF6;  // ö
constexpr uint8_t kLowerUUmlaut = 0xFC;  // ü
constexpr uint8_t kFirstVisible = 32;
// Room for the longest fixed-point text of a double with 11 decimals.
constexpr size_t kRealTextBuffer = 400;
// Group characters go every three digits, never in front of the first one.
constexpr size_t kGroupDigits = 3;
constexpr size_t kGroupStop = 4;

char decimalChar = kDefaultDecimalChar;

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool IsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
uint8_t Byte(char c) { return uint8_t(c); }

// text[position] with the engine's 1-based positions.
char At(std::string_view text, size_t position) { return text[position - 1]; }

// Collects the characters accepted by take from position on, then drops
// trailing characters that are no field-name characters.
ShortStr CollectName(std::string_view text, size_t& position, bool (*take)(char)) {
  if (position > text.size()) return ShortStr();
  size_t start = position;
  while (position <= text.size() && take(At(text, position))) ++position;
  std::string_view word = text.substr(start - 1, position - start);
  while (!word.empty() && !IsFieldNameChar(word.back())) word.remove_suffix(1);
  return ShortStr(word);
}

bool IdentifierChar(char c) { return IsFieldNameChar(c) || c == ExtraNameChar; }
bool WordChar(char c) { return IdentifierChar(c) || c == '.'; }

// Fill characters that bring text (already cut to width) to width visible
// characters; a fill below code 32 counts as one character each.
ShortStr Pad(std::string_view text, size_t width, char fill, bool left) {
  ShortStr cut = CutToVisibleWidth(text, width);
  size_t missing = width - VisibleLength(cut);
  std::string fillers(std::min(missing, ShortStr::kMax), fill);
  return left ? ShortStr(fillers + cut.str()) : ShortStr(cut.str() + fillers);
}

ShortStr Upper(std::string_view text) {
  ShortStr result(text);
  UPPERCAS::UpperStr(result);
  return result;
}

// Stores the low bytes of v, little-endian, in n bytes.
void PutLowBytes(uint8_t* p, size_t n, uint32_t v) {
  for (size_t i = 0; i < n; ++i) p[i] = i < sizeof v ? uint8_t(v >> (8 * i)) : 0;
}

uint32_t GetLowBytes(const uint8_t* p, size_t n) {
  uint32_t v = 0;
  for (size_t i = 0; i < n && i < sizeof v; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

// The characters of an S field's value (length byte first), clamped to the
// field so that a damaged length byte never reaches past it.
size_t TextLength(const uint8_t* value, size_t valueSize) {
  return valueSize == 0 ? 0 : std::min<size_t>(value[0], valueSize - 1);
}

void ConvertText(uint8_t* value, size_t valueSize, void (*convert)(ShortStr&)) {
  size_t length = TextLength(value, valueSize);
  ShortStr text(std::string_view(reinterpret_cast<char*>(value + 1), length));
  convert(text);
  std::memcpy(value + 1, text.data(), length);
}

bool IsVersion1Real(const FieldPlace& field, int version) {
  return version < kFirstVersionWithDoubles && field.type() == kTypeReal &&
         FieldValueSize(field) == kReal6Size;
}

// Largest field value GetFieldAsNumber and PutFieldFromValue pass through:
// a size code of 255 plus room for a converted real.
constexpr size_t kFieldScratch = 256 + sizeof(double);

// Layout of an IEEE double and of a 6-byte real.
constexpr int kDoubleMantissaBits = 52;
constexpr int kDoubleExponentBias = 1023;
constexpr uint64_t kDoubleExponentMask = 0x7FF;
constexpr int kReal6MantissaBits = 39;
constexpr int kReal6ExponentBias = 129;
constexpr int kReal6MaxExponent = 255;
constexpr int kDroppedBits = kDoubleMantissaBits - kReal6MantissaBits;
constexpr uint64_t kReal6MantissaMask = (uint64_t(1) << kReal6MantissaBits) - 1;
constexpr uint8_t kReal6SignBit = 0x80;
constexpr size_t kReal6SignByte = 5;

}  // namespace

// ---------------------------------------------------------------------------
// User break and waiting

bool UserBreakRequested() {
  if (BreakRequested) return true;
  if (!BreakEnabled) return false;
  platform::KeyMessage message;
  if (!platform::PeekKey(true, message)) return false;
  if (message.message < kFirstKeyMessage || message.message > kLastKeyMessage) return false;
  return message.key == kBreakKey && message.ctrlDown;
}

void WaitMilliseconds(uint32_t n) {
  const uint64_t start = platform::TickCountMs();
  for (;;) {
    platform::PumpMessages();
    const uint64_t elapsed = platform::TickCountMs() - start;
    if (elapsed >= n) return;
    platform::SleepMs(uint32_t(std::min<uint64_t>(n - elapsed, kWaitPollMs)));
  }
}

// ---------------------------------------------------------------------------
// Numbers

char GetDecimalChar() { return decimalChar; }
void SetDecimalChar(char c) { decimalChar = c; }

ShortStr FormatReal(int width, int decimals, char groupChar, char decimalCharacter, char fill,
                    double value) {
  decimals = std::clamp(decimals, 0, kMaxRealDecimals);
  // The same text as "%.*f" gives (exactly rounded, "nan" and "inf" alike),
  // without the formatting machinery of snprintf.
  char buffer[kRealTextBuffer];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, written.ec == std::errc() ? written.ptr : buffer);
  size_t separator = text.find('.');
  if (separator != std::string::npos) text[separator] = decimalCharacter;
  if (groupChar != 0) {
    // 1-based position of the separator, or behind the last character.
    size_t p = separator != std::string::npos ? separator + 1 : text.size() + 1;
    while (p > kGroupStop) {
      p -= kGroupDigits;
      if (IsDigit(text[p - 2])) text.insert(p - 1, 1, groupChar);
    }
  }
  width = std::min(width, kMaxRealWidth);
  if (width > 0 && text.size() < size_t(width)) return PadLeft(text, size_t(width), fill);
  return ShortStr(text);
}

int32_t RealToLongInt(double value) {
  if (std::isnan(value)) return 0;
  if (value > kLongIntLimit) return kLongIntLimit;
  if (value < -kLongIntLimit) return -kLongIntLimit;
  return int32_t(std::nearbyint(value));
}

ShortStr IntToStrLeft(int32_t n, int width) {
  std::string text = std::to_string(n);
  size_t target = std::min<size_t>(std::max(width, 0), kMaxIntText);
  if (text.size() < target) text.append(target - text.size(), ' ');
  return ShortStr(text);
}

ShortStr IntToStrWidth(int32_t n, int width) {
  std::string text = std::to_string(n);
  size_t target = std::min<size_t>(std::max(width, 0), kMaxIntText);
  if (text.size() < target) text.insert(0, target - text.size(), ' ');
  return ShortStr(text);
}

void ReadNumber(std::string_view text, size_t& position, uint16_t& value) {
  value = 0;
  while (position >= 1 && position <= text.size() && IsDigit(At(text, position))) {
    if (value < kReadNumberStop) value = uint16_t(value * 10 + (At(text, position) - '0'));
    ++position;
  }
}

ShortStr DigitWords(int32_t n) {
  static constexpr std::string_view kWords[] = {"null", "eins", "zwei",   "drei", "vier",
                                                "f\xFCnf", "sechs", "sieben", "acht", "neun"};
  std::string digits = std::to_string(std::abs(int64_t(n)));
  std::string result;
  for (char d : digits) {
    if (!result.empty()) result += '*';
    result += kWords[d - '0'];
  }
  return ShortStr(result);
}

uint16_t MinWord(uint16_t a, uint16_t b) { return std::min(a, b); }
uint16_t MaxWord(uint16_t a, uint16_t b) { return std::max(a, b); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------------------
// Names and characters

bool IsLetter(char c) {
  uint8_t u = Byte(UPPERCAS::UpCaseChar(c));
  return (u >= 'A' && u <= 'Z') || u == kUpperAUmlaut || u == kUpperOUmlaut || u == kUpperUUmlaut ||
         u == kSharpS;
}

bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '-' || c == '_'; }

bool IsValidName(std::string_view text) {
  if (text.empty() || text.size() > kMaxNameLength || !IsLetter(text[0])) return false;
  return std::all_of(text.begin() + 1, text.end(), IsNameChar);
}

bool IsFieldNameChar(char c) {
  if (c >= 'a' && c <= 'z') return true;
  uint8_t u = Byte(c);
  return u == '@' || (u >= 'A' && u <= 'Z') || u == '_' || u == '-' || IsDigit(c) ||
         u == kUpperAUmlaut || u == kUpperOUmlaut || u == kUpperUUmlaut || u == kLowerAUmlaut ||
         u == kLowerOUmlaut || u == kLowerUUmlaut || u == kSharpS;
}

ShortStr NameOf(std::string_view text) {
  size_t end = 0;
  while (end < text.size() && (IsFieldNameChar(text[end]) || text[end] == '.')) ++end;
  while (end > 0 && text[end - 1] == '_') --end;
  return ShortStr(text.substr(0, std::min(end, kMaxNameLength)));
}

void ReadIdentifier(std::string_view text, size_t& position, ShortStr& word) {
  SkipBlanks(text, position);
  word = CollectName(text, position, IdentifierChar);
}

void ReadWord(std::string_view text, size_t& position, ShortStr& word) {
  SkipBlanks(text, position);
  if (position >= 1 && position <= text.size() &&
      (At(text, position) == '\'' || At(text, position) == '"')) {
    size_t close = text.find(At(text, position), position);  // searches behind the quote
    if (close == std::string_view::npos) close = text.size();
    word = text.substr(position, close - position);
    position = std::min(close + 2, text.size() + 1);  // behind the closing quote
    return;
  }
  word = CollectName(text, position, WordChar);
}

ShortStr ParenArgument(std::string_view text) {
  size_t open = CharPos('(', text);
  ShortStr word;
  if (open == 0) return word;
  size_t position = open + 1;
  ReadWord(text, position, word);
  return word;
}

uint16_t MatchBrackets(std::string_view text, size_t& position) {
  std::string expected(1, ' ');  // closers; depth 0 holds a blank
  auto fail = [&]() -> uint16_t {
    SetErrorArgument(std::string_view(&expected.back(), 1));
    return kErrExpected;
  };
  do {
    if (position < 1 || position > text.size()) return fail();
    char c = At(text, position);
    switch (c) {
      case '(': expected += ')'; break;
      case '[': expected += ']'; break;
      case '{': expected += '}'; break;
      case '\'':
      case '"': {
        expected += c;
        size_t close = text.find(c, position);
        if (close == std::string_view::npos) return fail();
        position = close + 1;
        expected.pop_back();
        break;
      }
      case ')':
      case ']':
      case '}':
        if (c != expected.back()) return fail();
        expected.pop_back();
        break;
      case '^': ++position; break;
      default: break;
    }
    ++position;
  } while (expected.size() > 1);
  return 0;
}

// ---------------------------------------------------------------------------
// Short texts

size_t CharPos(char c, std::string_view text) {
  size_t i = text.find(c);
  return i == std::string_view::npos ? 0 : i + 1;
}

size_t CharPosOrEnd(char c, std::string_view text) {
  size_t p = CharPos(c, text);
  return p == 0 ? text.size() + 1 : p;
}

size_t DotPos(std::string_view text) { return CharPos('.', text); }

size_t PosFrom(std::string_view sub, std::string_view text, size_t start) {
  if (start < 1) start = 1;
  if (start > text.size() + 1) return 0;
  size_t i = text.find(sub, start - 1);
  return i == std::string_view::npos ? 0 : i + 1;
}

void AppendChar(ShortStr& text, char c) { text.append(c); }
void AppendStr(ShortStr& text, std::string_view tail) { text.append(tail); }

ShortStr AppendStrCopy(std::string_view text, std::string_view tail) {
  ShortStr result(text);
  result.append(tail);
  return result;
}

void PrependChar(ShortStr& text, char c) {
  ShortStr result;
  result.append(c);
  result.append(text.view());
  text = result;
}

ShortStr LeftStr(std::string_view text, size_t n) { return CopyStr(text, 1, n); }

ShortStr CopyStr(std::string_view text, size_t index, size_t count) {
  if (index < 1) index = 1;
  if (index > text.size()) return ShortStr();
  return ShortStr(text.substr(index - 1, count));
}

void SkipBlanks(std::string_view text, size_t& position) {
  if (position < 1) position = 1;
  while (position <= text.size() && IsBlankOrTab(At(text, position))) ++position;
}

void DeleteLeading(ShortStr& text, char c) {
  std::string_view v = text.view();
  size_t n = v.find_first_not_of(c);
  text = v.substr(n == std::string_view::npos ? v.size() : n);
}

void TrimRight(ShortStr& text) {
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  text.truncate(n);
}

void TrimBlanks(ShortStr& text) {
  TrimRight(text);
  DeleteLeading(text, ' ');
}

size_t VisibleLength(std::string_view text) {
  return size_t(std::count_if(text.begin(), text.end(), [](char c) { return Byte(c) >= kFirstVisible; }));
}

ShortStr CutToVisibleWidth(std::string_view text, size_t width) {
  ShortStr result(text);
  size_t visible = VisibleLength(result);
  while (visible > width) {
    if (Byte(result[result.size() - 1]) >= kFirstVisible) --visible;
    result.truncate(result.size() - 1);
  }
  return result;
}

ShortStr PadRight(std::string_view text, size_t width, char fill) { return Pad(text, width, fill, false); }
ShortStr PadLeft(std::string_view text, size_t width, char fill) { return Pad(text, width, fill, true); }

void ReplaceChar(ShortStr& text, char from, char to) {
  std::replace(text.data(), text.data() + text.size(), from, to);
}

void ReplaceAll(ShortStr& text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return;
  std::string_view source = text.view();
  std::string result;
  size_t from = 0;
  for (size_t hit; (hit = source.find(find, from)) != std::string_view::npos; from = hit + find.size()) {
    result.append(source.substr(from, hit - from));
    result.append(replacement);
  }
  result.append(source.substr(from));
  text = result;
}

ShortStr ScrambleString(std::string_view text) {
  std::string result(text.substr(0, kMaxCodeLength));
  std::reverse(result.begin(), result.end());
  for (char& c : result) c = char(Byte(c) ^ kComplementMask);
  return ShortStr(result);
}

// ---------------------------------------------------------------------------
// File names

FileNameParts SplitFileName(std::string_view path) {
  FileNameParts parts;
  size_t split = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsSeparator(path[i])) split = i + 1;
  }
  parts.directory = path.substr(0, split);
  std::string_view rest = path.substr(split);
  size_t dot = rest.find('.');
  if (dot == std::string_view::npos) dot = rest.size();
  parts.name = rest.substr(0, dot);
  parts.extension = rest.substr(dot, kMaxExtensionLength);
  return parts;
}

ShortStr FileNamePrefix(std::string_view text) {
  size_t end = 0;
  while (end < text.size() && (IsFieldNameChar(text[end]) || IsSeparator(text[end]) ||
                               text[end] == '.' || text[end] == '~')) {
    ++end;
  }
  return ShortStr(text.substr(0, end));
}

ShortStr BaseName(std::string_view text) { return Upper(SplitFileName(FileNamePrefix(text)).name); }

ShortStr MakeFileName(std::string_view directory, std::string_view name, std::string_view extension) {
  ShortStr result(directory);
  result.append(Upper(std::string(name) + std::string(extension)));
  return result;
}

ShortStr MakeFileName8(std::string_view directory, std::string_view name, std::string_view extension) {
  return MakeFileName(directory, name.substr(0, kShortBaseName), extension);
}

bool HasExtension(std::string_view path, std::string_view extension) {
  return UPPERCAS::CollateCompare(SplitFileName(path).extension, extension) == 0;
}

std::string ExpandName(std::string_view name) { return platform::FullPath(name); }

bool PathFits(std::string_view path) { return path.size() <= ShortStr::kMax; }

int RefuseLongPath(std::string_view path) {
  SetFileError(kErrPathTooLong, path);
  return kErrPathTooLong;
}

bool FileExists(std::string_view name) {
  platform::FindSearch search;
  platform::FindData found;
  return search.First(name, platform::kAttrHidden | platform::kAttrSystem, found) == 0;
}

void EraseFile(std::string_view name) {
  platform::SetAttributes(name, 0);
  platform::DeleteFile(name);
}

int FileBlockIO(std::string_view name, bool write, void* buffer, size_t size) {
  LOWFILES::FreeHandles(1);
  platform::FileHandle handle = platform::kNoFile;
  int result;
  if (write) {
    result = platform::CreateFile(name, LOWFILES::kModeReadWriteShared, handle);
    if (result == 0) result = platform::WriteAt(handle, 0, buffer, size);
  } else {
    result = platform::OpenFile(name, LOWFILES::kModeReadShared, handle);
    size_t got = 0;
    if (result == 0) result = platform::ReadAt(handle, 0, buffer, size, got);
  }
  if (handle != platform::kNoFile) {
    int closed = platform::CloseFile(handle);
    if (result == 0) result = closed;
  }
  return result;
}

bool EnoughMemory(size_t) { return true; }
int32_t FreeMemoryKB() { return kReportedFreeMemoryKB; }

// ---------------------------------------------------------------------------
// Table sets and value lists

namespace {
constexpr int kSetBits = 64;
bool InSetRange(int n) { return n >= 0 && n < kSetBits; }
}  // namespace

bool BitIn64(uint64_t set, int n) { return InSetRange(n) && ((set >> n) & 1) != 0; }
void Include64(uint64_t& set, int n) {
  if (InSetRange(n)) set |= uint64_t(1) << n;
}
void Exclude64(uint64_t& set, int n) {
  if (InSetRange(n)) set &= ~(uint64_t(1) << n);
}

bool AddToValueList(ValueNode*& head, int32_t value) {
  ValueNode** link = &head;
  for (; *link != nullptr; link = &(*link)->next) {
    if ((*link)->value == value) return false;
  }
  *link = new ValueNode{value, nullptr};
  return true;
}

void FreeValueList(ValueNode*& head) {
  while (head != nullptr) {
    ValueNode* next = head->next;
    delete head;
    head = next;
  }
}

// ---------------------------------------------------------------------------
// Typed field access

bool HasNullFlag(uint8_t typeByte) {
  switch (typeByte & kTypeMask) {
    case kTypeInteger: case kTypeReal: case kTypeByte: case kTypeBool: case kTypeDate:
    case kTypeChoice: case kTypeAutoNumber: case kTypeTime:
      return (typeByte & kNullFlagBit) != 0;
    default:
      return false;  // also type 10: a link never carries a null flag
  }
}

bool IsUserField(std::string_view name, bool stored, uint8_t typeByte) {
  return !name.empty() && (stored || (typeByte & kTypeMask) == kTypeRelation);
}

size_t FieldValueSize(const FieldPlace& field) {
  return size_t(field.sizeCode) + 1 - (HasNullFlag(field.typeByte) ? 1 : 0);
}

void GetFieldValue(const uint8_t* record, const FieldPlace& field, int version, uint8_t* destination,
                   bool& isNull) {
  isNull = false;
  if (!field.stored) return;
  const uint8_t* p = record + field.offset;
  const size_t n = FieldValueSize(field);
  if (IsVersion1Real(field, version)) {
    bytes::PutF64(destination, Real6ToDouble(p));
  } else {
    std::memcpy(destination, p, n);
    if (version < kFirstVersionWithDoubles && field.type() == kTypeString) {
      ConvertText(destination, n, UPPERCAS::OemToAnsiStr);
    }
  }
  isNull = HasNullFlag(field.typeByte) && p[field.sizeCode] == 0;
}

void PutFieldValue(uint8_t* record, const FieldPlace& field, int version, const uint8_t* source,
                   bool isNull) {
  if (!field.stored) return;
  uint8_t* p = record + field.offset;
  const size_t n = FieldValueSize(field);
  if (IsVersion1Real(field, version)) {
    DoubleToReal6(bytes::GetF64(source), p);
  } else {
    std::memcpy(p, source, n);
    if (version < kFirstVersionWithDoubles && field.type() == kTypeString) {
      ConvertText(p, n, UPPERCAS::AnsiToOemStr);
    }
  }
  if (HasNullFlag(field.typeByte)) p[field.sizeCode] = isNull ? 0 : 1;
}

namespace {

// The value class of a field's value bytes raw (n of them, as GetFieldValue
// leaves them): a text as a view of raw, a number or a block into value.
int ValueOfBytes(const uint8_t* raw, size_t n, uint8_t type, double& number, std::string_view& text,
                 uint32_t& block) {
  switch (type) {
    case kTypeChar:
      text = raw[0] != 0 ? std::string_view(reinterpret_cast<const char*>(raw), 1) : std::string_view();
      return kClassText;
    case kTypeString:
      text = std::string_view(reinterpret_cast<const char*>(raw + 1), TextLength(raw, n));
      return kClassText;
    case kTypeMemo:
    case kTypeBlob:
      block = GetLowBytes(raw, n);
      return type;
    case kTypeInteger:
    case kTypeTime: number = bytes::GetI16(raw); break;
    case kTypeByte:
    case kTypeBool:
    case kTypeChoice: number = raw[0]; break;
    case kTypeAutoNumber:
    case kTypeLink: number = bytes::GetI32(raw); break;
    case kTypeDate: number = DATUM::PackedToDayNumber(bytes::GetI32(raw)); break;
    case kTypeReal: number = bytes::GetF64(raw); break;
    default: number = 0; break;  // type 12 and codes without a type
  }
  return kClassNumber;
}

}  // namespace

int GetFieldAsNumber(const uint8_t* record, const FieldPlace& field, int version, FieldValue& value) {
  value = FieldValue();
  uint8_t raw[kFieldScratch] = {};
  bool isNull = false;
  GetFieldValue(record, field, version, raw, isNull);
  LastFieldNullable = HasNullFlag(field.typeByte);
  LastValueIsNull = LastFieldNullable && isNull;
  std::string_view text;
  const int valueClass = ValueOfBytes(raw, FieldValueSize(field), field.type(), value.number, text, value.block);
  value.text = text;
  return valueClass;
}

int ViewField(const uint8_t* record, const FieldPlace& field, int version, FieldView& view) {
  if (!field.stored || version < kFirstVersionWithDoubles) {
    const bool nullable = LastFieldNullable, isNull = LastValueIsNull;
    const int valueClass = GetFieldAsNumber(record, field, version, view.scratch);
    LastFieldNullable = nullable;
    LastValueIsNull = isNull;
    view.number = view.scratch.number;
    view.text = view.scratch.text.view();
    return valueClass;
  }
  return ValueOfBytes(record + field.offset, FieldValueSize(field), field.type(), view.number, view.text,
                      view.scratch.block);
}

void PutFieldFromValue(uint8_t* record, const FieldPlace& field, int version, const FieldValue& value) {
  if (field.type() == kTypeAutoNumber) return;
  uint8_t raw[kFieldScratch] = {};
  const size_t n = FieldValueSize(field);
  switch (field.type()) {
    case kTypeChar: raw[0] = value.text.empty() ? 0 : value.text.byte(0); break;
    case kTypeString: {
      size_t length = std::min<size_t>(value.text.size(), field.sizeCode);
      raw[0] = uint8_t(length);
      std::memcpy(raw + 1, value.text.data(), length);
      break;
    }
    case kTypeReal: bytes::PutF64(raw, value.number); break;
    case kTypeDate:
      bytes::PutI32(raw, DATUM::DayNumberToPacked(RealToLongInt(value.number)));
      break;
    case kTypeMemo:
    case kTypeBlob: PutLowBytes(raw, n, value.block); break;
    default: PutLowBytes(raw, n, uint32_t(RealToLongInt(value.number))); break;
  }
  PutFieldValue(record, field, version, raw, HasNullFlag(field.typeByte) && LastValueIsNull);
}

double Real6ToDouble(const uint8_t* real6) {
  const int exponent = real6[0];
  if (exponent == 0) return 0.0;
  const uint64_t mantissa = uint64_t(bytes::GetU32(real6 + 1)) |
                            (uint64_t(real6[kReal6SignByte] & ~kReal6SignBit) << 32);
  const uint64_t sign = (real6[kReal6SignByte] & kReal6SignBit) ? 1 : 0;
  const uint64_t bits = (sign << 63) |
                        (uint64_t(exponent - kReal6ExponentBias + kDoubleExponentBias) << kDoubleMantissaBits) |
                        (mantissa << kDroppedBits);
  return std::bit_cast<double>(bits);
}

void DoubleToReal6(double value, uint8_t* real6) {
  std::memset(real6, 0, kReal6Size);
  if (std::isnan(value) || value == 0.0) return;
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  int exponent;
  uint64_t mantissa;
  if (std::isinf(value)) {
    exponent = kReal6MaxExponent;
    mantissa = kReal6MantissaMask;
  } else {
    const int biased = int((bits >> kDoubleMantissaBits) & kDoubleExponentMask);
    if (biased == 0) return;  // subnormal: far below the smallest 6-byte real
    exponent = biased - kDoubleExponentBias + kReal6ExponentBias;
    const uint64_t full = bits & ((uint64_t(1) << kDoubleMantissaBits) - 1);
    mantissa = full >> kDroppedBits;
    const uint64_t rest = full & ((uint64_t(1) << kDroppedBits) - 1);
    const uint64_t half = uint64_t(1) << (kDroppedBits - 1);
    if (rest > half || (rest == half && (mantissa & 1))) ++mantissa;  // to nearest, ties to even
    if (mantissa > kReal6MantissaMask) {
      mantissa = 0;
      ++exponent;
    }
    if (exponent < 1) return;
    if (exponent > kReal6MaxExponent) {
      exponent = kReal6MaxExponent;
      mantissa = kReal6MantissaMask;
    }
  }
  real6[0] = uint8_t(exponent);
  bytes::PutU32(real6 + 1, uint32_t(mantissa));
  real6[kReal6SignByte] = uint8_t((mantissa >> 32) | (negative ? kReal6SignBit : 0));
}

// ---------------------------------------------------------------------------

void UnitInit() {
  InitErrors();
  decimalChar = kDefaultDecimalChar;
  ExtraNameChar = kDefaultExtraNameChar;
  BreakRequested = false;
  BreakEnabled = true;
  LastFieldNullable = false;
  LastValueIsNull = false;
  FileNameParts program = SplitFileName(platform::ProgramPath());
  ProgramDirectory = program.directory;
  ProgramName = program.name;
  ProgramExtension = program.extension;
  WorkingDirectory = ProgramDirectory;
}

void UnitDone() { DoneErrors(); }

}  // namespace Common
