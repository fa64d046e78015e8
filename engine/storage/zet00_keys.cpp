#include "engine/storage/zet00_keys.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/engassert.h"
#include "engine/base/uppercas.h"
#include "engine/storage/btree_bulk.h"
#include "engine/storage/zet00_index.h"

namespace Zet00 {

using ZetTable::TZetTable;

TExpressionValueProc ExpressionValueHook = nullptr;
TVariableValueProc VariableValueHook = nullptr;
TVariableNameProc VariableNameHook = nullptr;

namespace {

// Widest number a part holds.
constexpr size_t kMaxNumberWidth = 8;
// Parts shorter than this hold a 6-byte real (with its flag byte, if any).
constexpr uint16_t kDoubleWidth = 8;

// Up to 8 bytes of a part value, zero-extended, so that a short part is never
// read beyond its length.
struct TPartNumber {
  uint8_t bytes[kMaxNumberWidth] = {};
  TPartNumber(const uint8_t* p, uint16_t length) {
    std::memcpy(bytes, p, std::min<size_t>(length, kMaxNumberWidth));
  }
};

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

std::string_view PartText(const uint8_t* p, uint16_t length) {
  if (length == 0) return {};
  const size_t n = std::min<size_t>(p[0], size_t(length) - 1);
  return {reinterpret_cast<const char*>(p + 1), n};
}

int CompareTexts(std::string_view a, std::string_view b, bool oem) {
  if (!oem) return UPPERCAS::CollateCompare(a, b);
  ShortStr ansiA(a), ansiB(b);
  UPPERCAS::OemToAnsiStr(ansiA);
  UPPERCAS::OemToAnsiStr(ansiB);
  return UPPERCAS::CollateCompare(ansiA, ansiB);
}

// How a part's values compare, decided once per description.
enum class TPartKind : uint8_t { Unsigned8, Integer16, Integer32, Double, Real6, Text, Unknown };

TPartKind KindOf(const TKeyPart& part) {
  switch (part.type) {
    case Common::kTypeString: return TPartKind::Text;
    case Common::kTypeChar:
    case Common::kTypeByte:
    case Common::kTypeBool:
    case Common::kTypeChoice: return TPartKind::Unsigned8;
    case Common::kTypeInteger:
    case Common::kTypeTime: return TPartKind::Integer16;
    case Common::kTypeReal: return part.length < kDoubleWidth ? TPartKind::Real6 : TPartKind::Double;
    case Common::kTypeDate:
    case Common::kTypeAutoNumber:
    case Common::kTypeLink:
    case ZetTable::kKeyTypeLinkedRecord: return TPartKind::Integer32;
    default: return TPartKind::Unknown;
  }
}

// A key description prepared for comparing: the parts that lie within the
// key's 260 bytes, each with its place in the key.
struct TPreparedPart {
  uint16_t offset = 0;
  uint16_t length = 0;
  TPartKind kind = TPartKind::Unknown;
  bool descending = false;
};
struct TPreparedKey {
  size_t count = 0;
  std::array<TPreparedPart, ZetTable::kKeyParts> parts;
};

TPreparedKey Prepare(const uint8_t* description) {
  TPreparedKey prepared;
  size_t offset = ZetTable::kKeyRecordNumber;
  for (size_t i = 0, n = PartCount(description); i < n; ++i) {
    const TKeyPart part = KeyPart(description, i);
    if (offset + part.length > ZetTable::kMaxKeySize) break;
    prepared.parts[prepared.count++] = {uint16_t(offset), part.length, KindOf(part), part.IsDescending()};
    offset += part.length;
  }
  return prepared;
}

// The descriptions prepared last, found by their address and checked
// against a copy of their bytes, so a description that changed (or another
// one at the same address) is prepared again. A few entries serve the trees
// that one operation walks side by side.
struct TPreparedEntry {
  const uint8_t* address = nullptr;
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> bytes{};
  TPreparedKey key;
};
constexpr size_t kPreparedEntries = 8;
std::array<TPreparedEntry, kPreparedEntries> g_prepared;

}  // namespace

void ResetPreparedKeys() { g_prepared = {}; }

namespace {

const TPreparedKey& Prepared(const uint8_t* description) {
  // Descriptions sit in index headers and key arrays, 16 bytes apart or
  // more: the entry is chosen by the address above its low four bits.
  constexpr unsigned kAddressShift = 4;
  TPreparedEntry& e = g_prepared[(reinterpret_cast<uintptr_t>(description) >> kAddressShift) % kPreparedEntries];
  if (e.address != description || std::memcmp(e.bytes.data(), description, e.bytes.size()) != 0) {
    e.address = description;
    std::memcpy(e.bytes.data(), description, e.bytes.size());
    e.key = Prepare(description);
  }
  return e.key;
}

// A number of N bytes from a part of the given length, zero-extended when
// the part is shorter.
template <size_t N>
const uint8_t* Widened(const uint8_t* p, uint16_t length, uint8_t (&scratch)[N]) {
  if (length >= N) return p;
  std::memset(scratch, 0, N);
  std::memcpy(scratch, p, length);
  return scratch;
}

int CompareValues(const TPreparedPart& part, const uint8_t* a, const uint8_t* b, bool oem) {
  switch (part.kind) {
    case TPartKind::Text: return CompareTexts(PartText(a, part.length), PartText(b, part.length), oem);
    case TPartKind::Unsigned8: return Order(part.length == 0 ? 0 : a[0], part.length == 0 ? 0 : b[0]);
    case TPartKind::Integer16: {
      uint8_t sa[2], sb[2];
      return Order(bytes::GetI16(Widened(a, part.length, sa)), bytes::GetI16(Widened(b, part.length, sb)));
    }
    case TPartKind::Integer32: {
      uint8_t sa[4], sb[4];
      return Order(bytes::GetI32(Widened(a, part.length, sa)), bytes::GetI32(Widened(b, part.length, sb)));
    }
    case TPartKind::Double: return Order(bytes::GetF64(a), bytes::GetF64(b));
    case TPartKind::Real6: {
      uint8_t sa[kMaxNumberWidth], sb[kMaxNumberWidth];
      return Order(Common::Real6ToDouble(Widened(a, part.length, sa)),
                   Common::Real6ToDouble(Widened(b, part.length, sb)));
    }
    case TPartKind::Unknown: break;
  }
  throw EAssertion("Unknown field type");
}

// A whole number narrowed as the field types store it.
int64_t Narrow(double value) {
  return int64_t(Common::RealToLongInt(value));
}

}  // namespace

// ---------------------------------------------------------------------------
// Key descriptions

TKeyPart KeyPart(const uint8_t* description, size_t index) {
  const uint8_t* p = description + index * ZetTable::kKeyPartSize;
  return {bytes::GetU16(p + ZetTable::kKeyPartField), bytes::GetU16(p + ZetTable::kKeyPartLength),
          p[ZetTable::kKeyPartType]};
}

void SetKeyPart(uint8_t* description, size_t index, const TKeyPart& part) {
  uint8_t* p = description + index * ZetTable::kKeyPartSize;
  bytes::PutU16(p + ZetTable::kKeyPartField, part.field);
  bytes::PutU16(p + ZetTable::kKeyPartLength, part.length);
  p[ZetTable::kKeyPartType] = part.type;
}

bool IsExpressionKey(const uint8_t* description) { return KeyPart(description, 0).IsExpression(); }

size_t PartCount(const uint8_t* description) {
  if (IsExpressionKey(description)) return 1;
  size_t n = 0;
  while (n < ZetTable::kKeyParts && KeyPart(description, n).field != 0) ++n;
  return n;
}

ShortStr KeyExpressionText(const uint8_t* description) {
  const uint8_t* p = description + ZetTable::kKeyExpressionText;
  const size_t n = std::min<size_t>(p[0], ZetTable::kMaxKeyExpression);
  return ShortStr(std::string_view(reinterpret_cast<const char*>(p + 1), n));
}

void SetKeyExpressionText(uint8_t* description, std::string_view text) {
  uint8_t* p = description + ZetTable::kKeyExpressionText;
  const size_t n = std::min(text.size(), ZetTable::kMaxKeyExpression);
  std::memset(p, 0, ZetTable::kKeyDescriptionSize - ZetTable::kKeyExpressionText);
  p[0] = uint8_t(n);
  std::memcpy(p + 1, text.data(), n);
}

bool HasIdMark(const uint8_t* description) {
  const TKeyPart mark = KeyPart(description, kIdMarkPart);
  return !IsExpressionKey(description) && mark.field == 0 && mark.length == 0 && mark.type == kIdMarkType;
}

void SetIdMark(uint8_t* description) { SetKeyPart(description, kIdMarkPart, {0, 0, kIdMarkType}); }

uint32_t KeyLength(const uint8_t* description) {
  uint32_t length = ZetTable::kKeyRecordNumber;
  for (size_t i = 0, n = PartCount(description); i < n; ++i) length += KeyPart(description, i).length;
  return length;
}

uint32_t KeyRecordNumber(const uint8_t* key) { return bytes::GetU32(key); }
void SetKeyRecordNumber(uint8_t* key, uint32_t recno) { bytes::PutU32(key, recno); }

ShortStr RotateAtCaret(std::string_view text) {
  const size_t caret = text.find('^');
  if (caret == std::string_view::npos) return ShortStr(text);
  ShortStr rotated(text.substr(caret + 1));
  rotated.append('^');
  rotated.append(text.substr(0, caret));
  return rotated;
}

// ---------------------------------------------------------------------------
// Ordering

bool ComparableKey(const uint8_t* description) {
  const TPreparedKey key = Prepare(description);
  return std::none_of(key.parts.begin(), key.parts.begin() + key.count,
                      [](const TPreparedPart& part) { return part.kind == TPartKind::Unknown; });
}

bool SoundDescription(const uint8_t* description) {
  for (size_t i = 0, n = PartCount(description); i < n; ++i) {
    const TKeyPart part = KeyPart(description, i);
    if (part.length == 0 || KindOf(part) == TPartKind::Unknown) return false;
  }
  if (IsExpressionKey(description)) {
    const uint8_t textLength = description[ZetTable::kKeyExpressionText];
    if (textLength == 0 || textLength > ZetTable::kMaxKeyExpression) return false;
  }
  return KeyLength(description) <= ZetTable::kMaxKeySize;
}

int CompareKeys(const uint8_t* a, const uint8_t* b, const uint8_t* description, bool oemTexts,
                bool withRecordNumber) {
  const TPreparedKey& key = Prepared(description);
  for (size_t i = 0; i < key.count; ++i) {
    const TPreparedPart& part = key.parts[i];
    if (int c = CompareValues(part, a + part.offset, b + part.offset, oemTexts)) return part.descending ? -c : c;
  }
  return withRecordNumber ? Order(KeyRecordNumber(a), KeyRecordNumber(b)) : 0;
}

bool KeyBefore(const uint8_t* a, const uint8_t* b, const uint8_t* compareData) {
  return CompareKeys(a, b, compareData, false, true) < 0;
}

bool KeyBeforeOem(const uint8_t* a, const uint8_t* b, const uint8_t* compareData) {
  return CompareKeys(a, b, compareData, true, true) < 0;
}

// ---------------------------------------------------------------------------
// Sort forms
//
// A key's sort form lists its parts in order, each as bytes whose memcmp
// order is the part's order, then the record number (u32 big-endian):
//   - a text gives the base letters the collation compares first (values 0
//     and 1 as 1, value + 1; every other value as itself) and a 0 after
//     them, so a text that begins another sorts first; the part takes at
//     most its length in bytes, and a text whose letters need more (a "ß"
//     gives two) is cut there;
//   - a number gives its value big-endian with the sign bit flipped (a real:
//     all bits flipped when negative, -0 as 0);
//   - a descending part gives its bytes flipped.
// Base letters decide between two texts only where they differ: texts with
// the same base letters are ordered by their accents. So the form decides
// up to the end of the first text with an accent or "ß" (or up to the cut),
// and wholly only for a key without such texts. A real that is not a number
// (which compares equal to every number) gives the key no form.

namespace {

size_t PartFormWidth(const TPreparedPart& part) {
  switch (part.kind) {
    case TPartKind::Text: return std::max<size_t>(part.length, 1);
    case TPartKind::Unsigned8: return part.length == 0 ? 0 : 1;
    case TPartKind::Integer16: return 2;
    case TPartKind::Integer32: return 4;
    case TPartKind::Double:
    case TPartKind::Real6: return 8;
    case TPartKind::Unknown: break;
  }
  return 0;
}

size_t FormWidthOf(const TPreparedKey& key) {
  size_t width = ZetTable::kKeyRecordNumber;
  for (size_t i = 0; i < key.count; ++i) {
    if (key.parts[i].kind == TPartKind::Unknown) return 0;
    width += PartFormWidth(key.parts[i]);
  }
  return width;
}

size_t KeyFormWidth(const uint8_t* compareData) { return FormWidthOf(Prepared(compareData)); }

void PutBigEndian(uint64_t value, size_t bytes, uint8_t* out) {
  for (size_t i = 0; i < bytes; ++i) out[i] = uint8_t(value >> (8 * (bytes - 1 - i)));
}

// Writes a text's letters; answers the bytes written and whether they are
// all of them (else the text was cut at room bytes).
size_t PutTextForm(std::string_view text, uint8_t* out, size_t room, bool& whole, bool& plain) {
  std::array<uint8_t, 2 * ZetTable::kMaxKeySize> letters;
  const size_t count = UPPERCAS::CollateBaseLetters(text, letters.data(), letters.size(), plain);
  size_t n = 0;
  whole = false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t v = letters[i];
    if (v < 2) {
      if (n + 2 > room) {
        if (n < room) out[n++] = 1;
        return n;
      }
      out[n++] = 1;
      out[n++] = uint8_t(v + 1);
    } else {
      if (n + 1 > room) return n;
      out[n++] = v;
    }
  }
  if (n + 1 > room) return n;
  out[n++] = 0;
  whole = true;
  return n;
}

bool PutRealForm(double value, uint8_t* out) {
  if (std::isnan(value)) return false;
  if (value == 0) value = 0;  // -0 sorts as 0
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits >> 63) != 0 ? ~bits : bits | (uint64_t(1) << 63);
  PutBigEndian(bits, 8, out);
  return true;
}

template <bool kOem>
size_t KeyForm(const uint8_t* key, const uint8_t* compareData, uint8_t* out) {
  const TPreparedKey& prepared = Prepared(compareData);
  const size_t width = FormWidthOf(prepared);
  if (width == 0) return BTREES::kNoSortForm;
  std::memset(out, 0, width);
  size_t at = 0;
  for (size_t i = 0; i < prepared.count; ++i) {
    const TPreparedPart& part = prepared.parts[i];
    const uint8_t* p = key + part.offset;
    uint8_t* begin = out + at;
    size_t n = PartFormWidth(part);
    bool decidesAlone = true;
    switch (part.kind) {
      case TPartKind::Text: {
        std::string_view text = PartText(p, part.length);
        ShortStr ansi;
        if (kOem) {
          ansi = ShortStr(text);
          UPPERCAS::OemToAnsiStr(ansi);
          text = ansi.view();
        }
        bool whole = false, plain = false;
        n = PutTextForm(text, begin, n, whole, plain);
        decidesAlone = whole && plain;
        break;
      }
      case TPartKind::Unsigned8:
        if (n != 0) begin[0] = p[0];
        break;
      case TPartKind::Integer16: {
        uint8_t scratch[2];
        PutBigEndian(uint16_t(bytes::GetU16(Widened(p, part.length, scratch)) ^ 0x8000u), 2, begin);
        break;
      }
      case TPartKind::Integer32: {
        uint8_t scratch[4];
        PutBigEndian(bytes::GetU32(Widened(p, part.length, scratch)) ^ 0x80000000u, 4, begin);
        break;
      }
      case TPartKind::Double:
        if (!PutRealForm(bytes::GetF64(p), begin)) return BTREES::kNoSortForm;
        break;
      case TPartKind::Real6: {
        uint8_t scratch[kMaxNumberWidth];
        if (!PutRealForm(Common::Real6ToDouble(Widened(p, part.length, scratch)), begin)) return BTREES::kNoSortForm;
        break;
      }
      case TPartKind::Unknown: return BTREES::kNoSortForm;
    }
    if (part.descending)
      for (size_t k = 0; k < n; ++k) begin[k] = uint8_t(~begin[k]);
    at += n;
    // Beyond a part that does not decide alone, the form is not read.
    if (!decidesAlone) return at;
  }
  PutBigEndian(KeyRecordNumber(key), ZetTable::kKeyRecordNumber, out + at);
  return width;
}

const bool g_sortFormsRegistered = [] {
  BTREES::SetSortForm(KeyBefore, {KeyFormWidth, KeyForm<false>});
  BTREES::SetSortForm(KeyBeforeOem, {KeyFormWidth, KeyForm<true>});
  return true;
}();

}  // namespace

BTREES::TCompareProc KeyCompareProc(uint16_t version) {
  return version < Common::kFirstVersionWithDoubles ? KeyBeforeOem : KeyBefore;
}

bool SameKey(const uint8_t* a, const uint8_t* b, const uint8_t* description, uint16_t version) {
  return CompareKeys(a, b, description, version < Common::kFirstVersionWithDoubles, false) == 0;
}

// ---------------------------------------------------------------------------
// Building keys

void PutPartValue(const TKeyPart& part, const TKeyValue& value, bool real6, uint8_t* out) {
  std::memset(out, 0, part.length);
  if (part.length == 0) return;
  uint8_t number[kMaxNumberWidth] = {};
  switch (part.type) {
    case Common::kTypeString: {
      ShortStr text = RotateAtCaret(value.text);
      text.truncate(size_t(part.length) - 1);
      out[0] = uint8_t(text.size());
      std::memcpy(out + 1, text.data(), text.size());
      return;
    }
    case Common::kTypeChar:
      number[0] = value.isText ? uint8_t(value.text.empty() ? 0 : value.text.byte(0)) : uint8_t(Narrow(value.number));
      break;
    case Common::kTypeByte:
    case Common::kTypeBool:
    case Common::kTypeChoice: number[0] = uint8_t(Narrow(value.number)); break;
    case Common::kTypeInteger:
    case Common::kTypeTime: bytes::PutI16(number, int16_t(Narrow(value.number))); break;
    case Common::kTypeReal:
      if (real6 || part.length < kDoubleWidth)
        Common::DoubleToReal6(value.number, number);
      else
        bytes::PutF64(number, value.number);
      break;
    default: bytes::PutI32(number, int32_t(Narrow(value.number))); break;
  }
  std::memcpy(out, number, std::min<size_t>(part.length, kMaxNumberWidth));
}

void PutFieldPart(const TZetTable& table, const TKeyPart& part, const uint8_t* record, uint8_t* out) {
  std::memset(out, 0, part.length);
  const uint16_t n = part.Number();
  if (part.length == 0 || !table.ValidField(n) || !table.IsStored(n)) return;
  const uint8_t* value = record + table.FieldOffset(n);
  const size_t width = size_t(table.SizeCode(n)) + 1;
  if (part.type == Common::kTypeString && table.FieldType(n) == Common::kTypeString) {
    // A length byte beyond the field is taken as the field's full width.
    const size_t length = std::min<size_t>(value[0], table.SizeCode(n));
    ShortStr text = RotateAtCaret(std::string_view(reinterpret_cast<const char*>(value + 1), length));
    text.truncate(size_t(part.length) - 1);
    out[0] = uint8_t(text.size());
    std::memcpy(out + 1, text.data(), text.size());
    return;
  }
  std::memcpy(out, value, std::min<size_t>(part.length, width));
}

int MakeKey(int handle, int slot, const uint8_t* record, uint8_t* key, uint32_t recno,
            const uint8_t* description) {
  TZetTable* t = ZetTable::Table(handle);
  ZET_ASSERT(t != nullptr, "No table for the key");
  if (slot >= 0) {
    const auto& d = t->indexes[size_t(slot)];
    ZET_ASSERT(d != nullptr, "No index for the key");
    description = d->header.data();
  }
  if (KeyLength(description) > ZetTable::kMaxKeySize) return kErrIndexDamaged;
  SetKeyRecordNumber(key, recno);
  const bool real6 = t->version < Common::kFirstVersionWithDoubles;
  uint8_t* out = key + ZetTable::kKeyRecordNumber;
  for (size_t i = 0, n = PartCount(description); i < n; ++i) {
    const TKeyPart part = KeyPart(description, i);
    if (part.IsExpression()) {
      TKeyValue value;
      int error = 0;
      if (ExpressionValueHook) {
        // The expression reads its fields from the table's record buffer.
        std::vector<uint8_t> saved = t->recordBuffer;
        t->recordBuffer.assign(record, record + t->recordLength);
        error = ExpressionValueHook(handle, KeyExpressionText(description), value);
        t->recordBuffer = std::move(saved);
      }
      if (error != 0 && error != kErrRealOverflow) return error;
      PutPartValue(part, value, real6, out);
    } else if (part.IsVariable()) {
      TKeyValue value;
      if (VariableValueHook && !VariableValueHook(part.Number(), value)) value = TKeyValue();
      PutPartValue(part, value, real6, out);
    } else if (part.type == ZetTable::kKeyTypeLinkedRecord) {
      std::memset(out, 0, part.length);
      const uint16_t field = part.Number();
      TKeyValue value;
      if (t->ValidField(field) && t->IsStored(field) && field < t->bindings.size()) {
        const TPartNumber link(record + t->FieldOffset(field), uint16_t(t->SizeCode(field) + 1));
        const int32_t number = bytes::GetI32(link.bytes);
        value.number = LinkedRecordNumber(t->bindings[field].linkedTable, number);
      }
      PutPartValue(part, value, real6, out);
    } else {
      PutFieldPart(*t, part, record, out);
    }
    out += part.length;
  }
  return 0;
}

}  // namespace Zet00
