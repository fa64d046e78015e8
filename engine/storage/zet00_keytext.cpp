#include "engine/storage/zet00_keytext.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/datum.h"
#include "engine/base/uppercas.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "platform/codepage.h"

namespace Zet00 {

using ZetTable::TZetTable;

namespace {

// The character an upper limit fills its open text parts with: it collates
// after every letter and sign (255 would collate as "y").
constexpr char kTextAboveAll = char(0xFE);
constexpr uint8_t kByteAboveAll = 0xFF;
constexpr int16_t kI16AboveAll = 0x7FFF;
constexpr int32_t kI32AboveAll = 0x7FFFFFFF;
constexpr int kMaxLengthDigits = 999;
constexpr char kDescendingMark = '-';
constexpr char kFieldNumberMark = '$';
constexpr char kLengthMark = ':';

using KeyBuffer = std::array<uint8_t, ZetTable::kMaxKeySize>;

struct TRangeTexts {
  ShortStr low;
  ShortStr high;
};
// The texts that made the range limits of each table, for adding parts.
std::unordered_map<const TZetTable*, TRangeTexts> g_rangeTexts;

// The values of a key text: split at "," outside parentheses; a value in
// parentheses is taken without them.
std::vector<ShortStr> SplitKeyText(std::string_view text) {
  std::vector<ShortStr> values;
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    ShortStr value;
    if (pos < text.size() && text[pos] == '(') {
      int depth = 0;
      const size_t start = pos + 1;
      for (; pos < text.size(); ++pos) {
        if (text[pos] == '(') ++depth;
        if (text[pos] == ')' && --depth == 0) break;
      }
      value = text.substr(start, std::min(pos, text.size()) - start);
      pos = std::min(text.find(',', pos), text.size());
    } else {
      const size_t end = std::min(text.find(',', pos), text.size());
      value = text.substr(pos, end - pos);
      pos = end;
    }
    values.push_back(value);
    if (pos < text.size()) ++pos;  // the ","
  }
  return values;
}

bool IsNumberText(std::string_view text) {
  ShortStr trimmed(text);
  Common::TrimBlanks(trimmed);
  if (trimmed.empty()) return false;
  size_t i = (trimmed[0] == '-' || trimmed[0] == '+') ? 1 : 0;
  if (i == trimmed.size()) return false;
  for (; i < trimmed.size(); ++i)
    if (!Common::IsDigit(trimmed[i])) return false;
  return true;
}

double NumberOf(std::string_view text) {
  std::string s(text);
  std::replace(s.begin(), s.end(), ',', '.');
  return std::strtod(s.c_str(), nullptr);
}

// A part's value from a text, for parts that are no field.
TKeyValue ValueOfText(const TKeyPart& part, std::string_view text) {
  TKeyValue value;
  value.isText = part.type == Common::kTypeString;
  if (value.isText)
    value.text = text;
  else
    value.number = NumberOf(text);
  return value;
}

// The value above (or, not above, below) every value of the part's type:
// an end of its order.
void PutPartBeyondAll(const TKeyPart& part, bool real6, bool above, uint8_t* out) {
  std::memset(out, 0, part.length);
  if (part.length == 0) return;
  uint8_t number[8] = {};
  switch (part.type) {
    case Common::kTypeString: {
      if (!above) return;  // the empty text
      // Keys of version-1 tables (those with 6-byte reals) hold their texts
      // in the OEM code page and are compared after converting them back,
      // so the filler goes in as the OEM character that converts to it.
      const char filler = real6 ? char(platform::AnsiToOemChar(uint8_t(kTextAboveAll))) : kTextAboveAll;
      out[0] = uint8_t(part.length - 1);
      std::memset(out + 1, filler, size_t(part.length) - 1);
      return;
    }
    case Common::kTypeChar:
    case Common::kTypeByte:
    case Common::kTypeBool:
    case Common::kTypeChoice: number[0] = above ? kByteAboveAll : 0; break;
    case Common::kTypeInteger:
    case Common::kTypeTime: bytes::PutI16(number, above ? kI16AboveAll : std::numeric_limits<int16_t>::min()); break;
    case Common::kTypeReal: {
      const double end = above ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
      if (real6 || part.length < sizeof(double))
        Common::DoubleToReal6(end, number);
      else
        bytes::PutF64(number, end);
      break;
    }
    default: bytes::PutI32(number, above ? kI32AboveAll : std::numeric_limits<int32_t>::min()); break;
  }
  std::memcpy(out, number, std::min<size_t>(part.length, sizeof number));
}

// The auto number of the record of the linked table whose ID text is text;
// false when there is none.
bool AutoNumberOfIdText(int linked, std::string_view text, int32_t& number) {
  TZetTable* lt = ZetTable::Table(linked);
  if (!lt || !lt->hasAutoNumber || !IndexAvailable(linked, 1, false)) return false;
  KeyBuffer probe{}, wanted{};
  if (KeyFromText(linked, 1, text, wanted.data(), 0) != 0) return false;
  probe = wanted;
  const uint8_t* desc = lt->indexes[1]->header.data();
  if (BTREES::FindNearest(IndexTree(linked, 1), probe.data()) != BTREES::kResultOk ||
      !SameKey(probe.data(), wanted.data(), desc, lt->version))
    return false;
  std::vector<uint8_t> record(lt->recordLength);
  if (ReadRecordHook(linked, KeyRecordNumber(probe.data()), record.data()) != 0) return false;
  number = bytes::GetI32(record.data() + lt->FieldOffset(lt->autoNumberField));
  return true;
}

// Where each part's value lies in a key.
std::vector<size_t> PartOffsets(const uint8_t* desc) {
  std::vector<size_t> offsets;
  size_t offset = ZetTable::kKeyRecordNumber;
  for (size_t i = 0, n = PartCount(desc); i < n; ++i) {
    offsets.push_back(offset);
    offset += KeyPart(desc, i).length;
  }
  return offsets;
}

bool IsFieldPart(const TKeyPart& part) { return !part.IsExpression() && !part.IsVariable(); }

ShortStr PartValueText(const TKeyPart& part, const uint8_t* p) {
  if (part.type == Common::kTypeString) {
    const size_t n = part.length == 0 ? 0 : std::min<size_t>(p[0], part.length - 1);
    return RotateAtCaret(std::string_view(reinterpret_cast<const char*>(p + 1), n));
  }
  uint8_t number[8] = {};
  std::memcpy(number, p, std::min<size_t>(part.length, sizeof number));
  const double value =
      part.length < sizeof(double) ? Common::Real6ToDouble(number) : bytes::GetF64(number);
  return Common::FormatReal(0, kKeyTextDecimals, 0, Common::GetDecimalChar(), ' ', value);
}

bool SameName(std::string_view a, std::string_view b) {
  ShortStr ua(a), ub(b);
  UPPERCAS::UpperStr(ua);
  UPPERCAS::UpperStr(ub);
  return ua == ub;
}

uint32_t RecordNumberOf(std::string_view text) {
  const double n = NumberOf(text);
  return n < 1 ? 0 : uint32_t(std::min<double>(n, kI32AboveAll));
}

}  // namespace

int KeyFromText(int handle, int slot, std::string_view text, uint8_t* key, uint32_t recno) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !IndexAvailable(handle, slot, false)) return kErrIndexWrite;
  const uint8_t* desc = t->indexes[size_t(slot)]->header.data();
  const std::vector<ShortStr> values = SplitKeyText(text);
  const bool upper = recno == kHighLimitRecord;
  const bool real6 = t->version < Common::kFirstVersionWithDoubles;
  std::vector<uint8_t> scratch(t->recordLength, 0);
  const size_t parts = PartCount(desc);
  for (size_t i = 0; i < parts && i < values.size(); ++i) {
    const TKeyPart part = KeyPart(desc, i);
    if (!IsFieldPart(part) || !t->ValidField(part.Number()) || values[i].empty()) continue;
    ShortStr value = values[i];
    const uint16_t field = part.Number();
    int32_t number = 0;
    if (t->FieldType(field) == Common::kTypeLink && !IsNumberText(value) && field < t->bindings.size() &&
        AutoNumberOfIdText(t->bindings[field].linkedTable, value, number))
      value = Common::IntToStrLeft(number, 0);
    ZetTable::SetFieldText(*t, field, scratch.data(), value);
  }
  int error = 0;
  if (IsExpressionKey(desc)) {
    SetKeyRecordNumber(key, recno);
  } else if ((error = MakeKey(handle, slot, scratch.data(), key, recno)) != 0) {
    return error;
  }
  const std::vector<size_t> offsets = PartOffsets(desc);
  for (size_t i = 0; i < parts; ++i) {
    const TKeyPart part = KeyPart(desc, i);
    const bool given = i < values.size() && !values[i].empty();
    uint8_t* out = key + offsets[i];
    if (!given)
      PutPartBeyondAll(part, real6, upper != part.IsDescending(), out);
    else if (!IsFieldPart(part))
      PutPartValue(part, ValueOfText(part, values[i]), real6, out);
  }
  return 0;
}

void KeyToRecord(int handle, const uint8_t* key, uint8_t* record) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return;
  std::memset(record, 0, t->recordLength);
  const int slot = t->keyTextIndex != 0 ? t->keyTextIndex : 1;
  const auto& d = t->indexes[size_t(slot)];
  if (!d) return;
  const uint8_t* desc = d->header.data();
  const std::vector<size_t> offsets = PartOffsets(desc);
  for (size_t i = 0; i < offsets.size(); ++i) {
    const TKeyPart part = KeyPart(desc, i);
    const uint16_t n = part.Number();
    if (!IsFieldPart(part) || part.type == ZetTable::kKeyTypeLinkedRecord || !t->ValidField(n) || !t->IsStored(n))
      continue;
    uint8_t* field = record + t->FieldOffset(n);
    const size_t width = size_t(t->SizeCode(n)) + 1;
    if (part.type == Common::kTypeString && t->FieldType(n) == Common::kTypeString) {
      ShortStr text = PartValueText(part, key + offsets[i]);
      text.truncate(t->SizeCode(n));
      field[0] = uint8_t(text.size());
      std::memcpy(field + 1, text.data(), text.size());
    } else {
      std::memcpy(field, key + offsets[i], std::min<size_t>(part.length, width));
    }
  }
}

bool KeyFieldValue(int handle, uint16_t field, Common::FieldValue& value, int& valueClass, bool& isNull) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || handle != ZetTable::CurrentHandle() || t->orderMode != ZetTable::kOrderIndex || !t->ValidField(field))
    return false;
  const auto& d = t->indexes[t->currentIndex];
  if (!d) return false;
  const uint8_t* desc = d->header.data();
  const std::vector<size_t> offsets = PartOffsets(desc);
  for (size_t i = 0; i < offsets.size(); ++i) {
    const TKeyPart part = KeyPart(desc, i);
    if (!IsFieldPart(part) || part.type == ZetTable::kKeyTypeLinkedRecord || part.Number() != field) continue;
    const uint8_t* p = t->currentKey.data() + offsets[i];
    uint8_t raw[8] = {};
    std::memcpy(raw, p, std::min<size_t>(part.length, sizeof raw));
    value = Common::FieldValue();
    valueClass = Common::kClassNumber;
    switch (part.type) {
      case Common::kTypeChar:
        valueClass = Common::kClassText;
        if (raw[0] != 0) value.text = std::string_view(reinterpret_cast<const char*>(raw), 1);
        break;
      case Common::kTypeString:
        valueClass = Common::kClassText;
        value.text = PartValueText(part, p);
        break;
      case Common::kTypeInteger:
      case Common::kTypeTime: value.number = bytes::GetI16(raw); break;
      case Common::kTypeReal:
        value.number = part.length < sizeof(double) ? Common::Real6ToDouble(raw) : bytes::GetF64(raw);
        break;
      case Common::kTypeByte:
      case Common::kTypeChoice: value.number = raw[0]; break;
      case Common::kTypeBool: value.number = int8_t(raw[0]); break;
      case Common::kTypeDate: value.number = DATUM::PackedToDayNumber(bytes::GetI32(raw)); break;
      case Common::kTypeAutoNumber:
      case Common::kTypeLink: value.number = bytes::GetI32(raw); break;
      default: return false;
    }
    const uint8_t flagAt = t->SizeCode(field);
    isNull = Common::HasNullFlag(t->TypeByte(field)) && part.length > flagAt && p[flagAt] == 0;
    return true;
  }
  return false;
}

ShortStr RecordKeyText(int handle, int slot) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return {};
  if (slot == 0) {
    if (t->highestIndexSlot < 1) return {};
    slot = 1;
  }
  if (!IndexAvailable(handle, slot, false)) return {};
  const uint8_t* desc = t->indexes[size_t(slot)]->header.data();
  t->recordBuffer.resize(t->recordLength);
  const std::vector<size_t> offsets = PartOffsets(desc);
  KeyBuffer key{};
  bool computed = false;
  for (size_t i = 0; i < offsets.size(); ++i) computed = computed || !IsFieldPart(KeyPart(desc, i));
  if (computed && MakeKey(handle, slot, t->recordBuffer.data(), key.data(), t->currentRecord) != 0) return {};
  ShortStr text;
  for (size_t i = 0; i < offsets.size(); ++i) {
    const TKeyPart part = KeyPart(desc, i);
    ShortStr partText;
    if (!IsFieldPart(part)) {
      partText = PartValueText(part, key.data() + offsets[i]);
    } else if (t->ValidField(part.Number())) {
      partText = ZetTable::FieldText(*t, part.Number(), t->recordBuffer.data());
      Common::TrimRight(partText);
      if (part.type == Common::kTypeString && part.length > 0) partText.truncate(size_t(part.length) - 1);
    }
    if (i > 0 && text.size() <= kMaxKeyTextBeforeSeparator) text.append(kKeyTextSeparator);
    text.append(partText);
  }
  return text;
}

ShortStr KeyFieldName(int handle, uint16_t n) {
  ShortStr name = ZetTable::FieldName(handle, n);
  Common::TrimRight(name);
  if (!name.empty() && name[name.size() - 1] == ':') name.truncate(name.size() - 1);
  Common::TrimRight(name);
  Common::ReplaceChar(name, ' ', '_');
  return name;
}

ShortStr GetIndexDesc(int handle, int slot, bool withLengths, bool withNumbers) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || slot < 0 || slot >= ZetTable::kIndexSlots || !t->indexes[size_t(slot)]) return {};
  // A user index's description is in its file; a slot whose file is gone
  // goes away.
  IndexAvailable(handle, slot, false);
  if (!t->indexes[size_t(slot)]) return {};
  const uint8_t* desc = t->indexes[size_t(slot)]->header.data();
  auto length = [](int n) { return Common::IntToStrLeft(std::min(n, kMaxLengthDigits), 0); };
  ShortStr text;
  if (IsExpressionKey(desc)) {
    text = "(";
    text.append(KeyExpressionText(desc));
    text.append(')');
    if (withLengths) {
      text.append(kLengthMark);
      text.append(length(KeyPart(desc, 0).length));
    }
    return text;
  }
  for (size_t i = 0, n = PartCount(desc); i < n; ++i) {
    const TKeyPart part = KeyPart(desc, i);
    if (i > 0) text.append(kKeyTextSeparator);
    if (part.IsDescending()) text.append(kDescendingMark);
    if (part.IsVariable()) {
      if (VariableNameHook) text.append(VariableNameHook(part.Number()));
    } else if (withNumbers) {
      text.append(kFieldNumberMark);
      text.append(Common::IntToStrLeft(ZetTable::UserFieldIndex(handle, part.Number()), 0));
    } else {
      text.append(KeyFieldName(handle, part.Number()));
    }
    if (withLengths) {
      text.append(kLengthMark);
      text.append(length(part.type == Common::kTypeString ? part.length - 1 : part.length));
    }
  }
  return text;
}

bool SetOrderByName(int handle, std::string_view name) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return false;
  ZetTable::ClearRangeLimits(handle);
  if (SameName(name, kOrderNameMarks)) {
    t->orderMode = ZetTable::kOrderMarks;
    return true;
  }
  if (SameName(name, kOrderNameRecords)) {
    t->orderMode = ZetTable::kOrderRecords;
    return true;
  }
  for (int slot = FirstIndexSlot(*t); slot <= t->highestIndexSlot; ++slot) {
    const auto& d = t->indexes[size_t(slot)];
    if (!d || !SameName(d->fileName, name)) continue;
    t->orderMode = ZetTable::kOrderIndex;
    t->currentIndex = uint8_t(slot);
    return true;
  }
  return false;
}

int SetRangeLimit(int handle, bool upper, std::string_view text) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return kErrIllegalOp;
  std::vector<uint8_t> key(ZetTable::kMaxKeySize, 0);
  if (t->orderMode == ZetTable::kOrderIndex) {
    if (int e = KeyFromText(handle, t->currentIndex, text, key.data(), upper ? kHighLimitRecord : kLowLimitRecord))
      return e;
  } else {
    SetKeyRecordNumber(key.data(), RecordNumberOf(text));
  }
  TRangeTexts& texts = g_rangeTexts[t];
  (upper ? texts.high : texts.low) = text;
  (upper ? t->highLimit : t->lowLimit) = std::move(key);
  return 0;
}

int SetRangeStart(int handle, std::string_view text) { return SetRangeLimit(handle, false, text); }
int SetRangeEnd(int handle, std::string_view text) { return SetRangeLimit(handle, true, text); }

namespace {
int AddRangePart(int handle, bool upper, std::string_view part) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t) return kErrIllegalOp;
  const bool present = !(upper ? t->highLimit : t->lowLimit).empty();
  auto it = g_rangeTexts.find(t);
  ShortStr text;
  if (present && it != g_rangeTexts.end()) {
    text = upper ? it->second.high : it->second.low;
    text.append(',');
  }
  text.append(part);
  return SetRangeLimit(handle, upper, text);
}
}  // namespace

int AddRangeStartPart(int handle, std::string_view part) { return AddRangePart(handle, false, part); }
int AddRangeEndPart(int handle, std::string_view part) { return AddRangePart(handle, true, part); }

void ClearRangeTexts() { g_rangeTexts.clear(); }

}  // namespace Zet00
