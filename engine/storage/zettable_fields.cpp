#include "engine/storage/zettable_fields.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/datum.h"
#include "engine/base/engassert.h"
#include "engine/base/uppercas.h"

namespace ZetTable {
namespace {

// Room for any field value: a size code of 255 plus the real of a version-1
// file widened to 8 bytes.
constexpr size_t kValueScratch = 256 + sizeof(double);
// Characters from this code on are dropped from the end of a number text.
constexpr unsigned char kFirstNonNumberTail = 58;

ShortStr Decimal(int64_t value) { return ShortStr(std::to_string(value)); }

uint32_t LowValue(const uint8_t* raw, size_t n) {
  return n >= 4 ? bytes::GetU32(raw) : n >= 2 ? bytes::GetU16(raw) : raw[0];
}

// Fixed point with the field's decimals; decimals 1 means "as many as
// needed": nine decimals with the trailing zeros removed, at least one kept.
ShortStr RealText(double value, uint8_t shown) {
  const int decimals = shown & kShownNibble;
  if (decimals != 1) return Common::FormatReal(0, decimals, 0, '.', ' ', value);
  ShortStr text = Common::FormatReal(0, kFloatingDecimals, 0, '.', ' ', value);
  size_t n = text.size();
  while (n > 0 && text[n - 1] == '0') --n;
  text.truncate(n);
  if (n > 0 && text[n - 1] == '.') text.append('0');
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Parses the number of a field text from its first non-blank position p:
// "," is read as ".", characters from code 58 on are dropped from the end,
// at most 15 characters are converted. Answers 0, or the 1-based position in
// text of the first character that does not belong to a number (where a
// digit was due, for a text with none).
int ParseNumber(std::string_view text, size_t p, double& value) {
  value = 0;
  size_t end = text.size();
  while (end > p && static_cast<unsigned char>(text[end - 1]) >= kFirstNonNumberTail) --end;
  std::string s(text.substr(p, std::min(end - p, kMaxNumberText)));
  std::replace(s.begin(), s.end(), ',', '.');

  const auto isDigit = [&](size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  const auto failAt = [&](size_t i) { return int(p + i + 1); };
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  for (; isDigit(i); ++i) ++digits;
  if (i < s.size() && s[i] == '.')
    for (++i; isDigit(i); ++i) ++digits;
  if (digits == 0) return failAt(i);
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!isDigit(i)) return failAt(i);
    while (isDigit(i)) ++i;
  }
  if (i < s.size()) return failAt(i);

  const size_t start = s[0] == '+' ? 1 : 0;  // from_chars takes no "+"
  const auto result = std::from_chars(s.data() + start, s.data() + s.size(), value);
  if (result.ec != std::errc()) {
    value = 0;
    return failAt(0);
  }
  return 0;
}

}  // namespace

ShortStr FieldText(const TZetTable& table, uint16_t n, const uint8_t* record) {
  if (!table.ValidField(n) || !table.IsStored(n)) return {};
  const Common::FieldPlace place = table.Place(n);
  const size_t size = Common::FieldValueSize(place);
  // The value is copied in whole; only the widest number read from it is
  // cleared first, so that a field narrower than its type reads as zeros.
  uint8_t raw[kValueScratch];
  std::memset(raw, 0, sizeof(double));
  bool isNull = false;
  Common::GetFieldValue(record, place, table.version, raw, isNull);

  ShortStr text;
  switch (place.type()) {
    // An empty C field holds 0: its text is empty, as it was set.
    case Common::kTypeChar: text = std::string_view(reinterpret_cast<char*>(raw), raw[0] != 0 ? 1 : 0); break;
    case Common::kTypeString:
      // A damaged length byte never reaches past the field.
      text = std::string_view(reinterpret_cast<char*>(raw + 1), std::min<size_t>(raw[0], size - 1));
      break;
    case Common::kTypeInteger: text = Decimal(bytes::GetI16(raw)); break;
    case Common::kTypeReal: text = RealText(bytes::GetF64(raw), table.Shown(n)); break;
    case Common::kTypeByte: text = Decimal(raw[0]); break;
    case Common::kTypeBool: text = raw[0] ? "Ja" : "Nein"; break;
    case Common::kTypeDate: text = DATUM::PackedDateToStr(bytes::GetI32(raw)); break;
    case Common::kTypeMemo: text = LowValue(raw, size) ? "Memo" : ""; break;
    case Common::kTypeChoice: text = GetChoiceText(table, n, raw[0]); break;
    case Common::kTypeAutoNumber:
    case Common::kTypeLink: text = Decimal(bytes::GetI32(raw)); break;
    case Common::kTypeBlob: text = LowValue(raw, size) ? "Bild" : ""; break;
    case Common::kTypeTime: {
      // 24:00 is stored as a whole day, which has no clock text: the field
      // writes the text it was set from, so that the value reads back.
      const uint16_t minutes = bytes::GetU16(raw);
      if (!isNull) text = minutes == DATUM::kMinutesPerDay ? ShortStr("24:00") : DATUM::MinutesToStr(minutes);
      break;
    }
    default: break;  // R: the related records are elsewhere
  }
  if (isNull) {
    const size_t blanks = std::min(text.size(), kMaxNullText);
    text.assign(std::string(blanks, ' '));
  }
  return text;
}

void GetFieldText(int handle, uint16_t n, const uint8_t* record, ShortStr& text) {
  const TZetTable* t = Table(handle);
  text = t ? FieldText(*t, n, record) : ShortStr();
}

int SetFieldText(const TZetTable& table, uint16_t n, uint8_t* record, std::string_view text) {
  if (!table.ValidField(n)) return kTextRefused;
  const Common::FieldPlace place = table.Place(n);
  size_t p = 0;
  while (p < text.size() && IsBlank(text[p])) ++p;
  const bool blankText = p >= text.size();

  uint8_t raw[kValueScratch] = {};
  int rc = 0;
  switch (place.type()) {
    case Common::kTypeChar: raw[0] = text.empty() ? 0 : uint8_t(text[0]); break;
    case Common::kTypeString: {
      const size_t length = std::min<size_t>(text.size(), place.sizeCode);
      raw[0] = uint8_t(length);
      std::memcpy(raw + 1, text.data(), length);
      break;
    }
    case Common::kTypeInteger:
    case Common::kTypeReal:
    case Common::kTypeByte:
    case Common::kTypeAutoNumber:
    case Common::kTypeLink: {
      double value = 0;
      rc = ParseNumber(text, p, value);
      if (place.type() == Common::kTypeReal) {
        bytes::PutF64(raw, value);
        break;
      }
      // Rounded (ties to even) and clamped to +-2147483647; I and B keep the
      // low bytes of that.
      const int32_t whole = Common::RealToLongInt(value);
      if (place.type() == Common::kTypeInteger)
        bytes::PutI16(raw, int16_t(whole));
      else if (place.type() == Common::kTypeByte)
        raw[0] = uint8_t(whole);
      else
        bytes::PutI32(raw, whole);
      break;
    }
    case Common::kTypeBool:
      if (blankText)
        rc = kTextRefused;
      else
        raw[0] = UPPERCAS::UpCaseChar(text[p]) == 'N' ? 0 : 1;
      break;
    case Common::kTypeDate: {
      int32_t packed = 0;
      if (DATUM::StrToPackedDate(text.substr(p), packed) != 0) {
        rc = kTextBadDate;
        packed = 0;
      }
      bytes::PutI32(raw, packed);
      break;
    }
    case Common::kTypeChoice: {
      const uint8_t c = text.size() == 1 ? uint8_t(text[0]) : 0;
      raw[0] = text.size() == 1 && (c <= kMaxChoices || c == 255) ? c : FindChoice(table, n, text.substr(p));
      break;
    }
    case Common::kTypeTime: {
      int32_t minutes = 0;
      if (DATUM::StrToMinutes(text.substr(p, kMaxTimeText), minutes) != 0) {
        rc = kTextRefused;
        minutes = 0;
      }
      bytes::PutU16(raw, uint16_t(minutes));
      break;
    }
    default:
      // M, P and R: a text would clear the memo or blob link; their values
      // go through the memo and blob transfers.
      return kTextRefused;
  }
  const bool isNull = Common::HasNullFlag(place.typeByte) && blankText;
  if (isNull) {
    rc = 0;
    std::memset(raw, 0, sizeof raw);
  }
  Common::PutFieldValue(record, place, table.version, raw, isNull);
  return rc;
}

int SetFieldText(int handle, uint16_t n, uint8_t* record, std::string_view text) {
  const TZetTable* t = Table(handle);
  return t ? SetFieldText(*t, n, record, text) : kTextRefused;
}

bool GetRecordField(const TZetTable& table, const uint8_t* record, uint16_t n, int mode, void* out,
                    size_t outSize) {
  ZET_ASSERT(mode >= kFieldAsInteger && mode <= kFieldAsShortStr, "Unknown field mode");
  if (!record) {
    if (table.recordBuffer.size() < table.recordLength) return false;
    record = table.recordBuffer.data();
  }
  if (!table.ValidField(n)) return false;
  if (mode == kFieldAsInteger || mode == kFieldAsReal) {
    const uint8_t type = table.FieldType(n);
    if (type == Common::kTypeString || type == Common::kTypeRelation) return false;
    Common::FieldValue value;
    const int kind = Common::GetFieldAsNumber(record, table.Place(n), table.version, value);
    double number = value.number;
    if (kind == Common::kClassText) number = value.text.empty() ? 0 : value.text.byte(0);
    if (kind == Common::kTypeMemo || kind == Common::kTypeBlob) number = value.block;
    if (mode == kFieldAsInteger)
      *static_cast<int32_t*>(out) = Common::RealToLongInt(number);
    else
      *static_cast<double*>(out) = number;
    return true;
  }
  const ShortStr text = FieldText(table, n, record);
  if (mode == kFieldAsShortStr) {
    *static_cast<ShortStr*>(out) = text;
  } else if (outSize > 0) {
    const size_t length = std::min(text.size(), outSize - 1);
    std::memcpy(out, text.data(), length);
    static_cast<char*>(out)[length] = '\0';
  }
  return true;
}

}  // namespace ZetTable
