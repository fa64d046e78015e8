// Index keys: building them from records and ordering them.
#include "engine/storage/zet00_keys.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/engassert.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using Zet00::TKeyPart;
using zettable_test::Install;
using zettable_test::MakeTable;
using Key = std::array<uint8_t, ZetTable::kMaxKeySize>;
using Description = std::array<uint8_t, ZetTable::kKeyDescriptionSize>;

class Zet00KeysTest : public zettest::EngineTest {};

Description Describe(std::vector<TKeyPart> parts) {
  Description d{};
  for (size_t i = 0; i < parts.size(); ++i) Zet00::SetKeyPart(d.data(), i, parts[i]);
  return d;
}

// A one-field table whose field has the given type and size code; the key
// part covers the whole field.
struct OneField {
  int handle;
  uint8_t type;
  uint16_t width;
};

OneField MakeOneField(uint16_t version, uint8_t type, uint8_t size) {
  return {Install(MakeTable(version, {{"F", type, size, 10}})), type, uint16_t(size + 1)};
}

Key KeyOf(const OneField& f, const Description& d, const std::vector<uint8_t>& value, uint32_t recno) {
  std::vector<uint8_t> record(ZetTable::Table(f.handle)->recordLength, 0);
  if (!value.empty()) std::memcpy(record.data(), value.data(), std::min(value.size(), record.size()));
  Key key{};
  EXPECT_EQ(Zet00::MakeKey(f.handle, -1, record.data(), key.data(), recno, d.data()), 0);
  return key;
}

std::vector<uint8_t> I16(int16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
std::vector<uint8_t> I32(int32_t v) {
  std::vector<uint8_t> b(4);
  bytes::PutI32(b.data(), v);
  return b;
}
std::vector<uint8_t> F64(double v) {
  std::vector<uint8_t> b(8);
  bytes::PutF64(b.data(), v);
  return b;
}
std::vector<uint8_t> Real6(double v) {
  std::vector<uint8_t> b(6);
  Common::DoubleToReal6(v, b.data());
  return b;
}
std::vector<uint8_t> Text(const std::string& s) {
  std::vector<uint8_t> b{uint8_t(s.size())};
  b.insert(b.end(), s.begin(), s.end());
  return b;
}

// Each pair would order the other way if the bytes were compared as they
// lie (unsigned, little-endian, or without the collation).
TEST_F(Zet00KeysTest, EveryPartTypeOrdersByItsValue) {
  struct Case {
    const char* what;
    uint16_t version;
    uint8_t type, size, partType;
    std::vector<uint8_t> low, high;
  };
  const std::vector<Case> cases = {
      {"C unsigned", 2, Common::kTypeChar, 0, Common::kTypeChar, {0x41}, {0xE4}},
      {"B unsigned", 2, Common::kTypeByte, 0, Common::kTypeByte, {100}, {200}},
      {"J", 2, Common::kTypeBool, 0, Common::kTypeBool, {0}, {1}},
      {"A unsigned", 2, Common::kTypeChoice, 0, Common::kTypeChoice, {2}, {15}},
      {"S collation, case folded", 2, Common::kTypeString, 10, Common::kTypeString, Text("apfel"), Text("Birne")},
      {"S umlaut by base letter", 2, Common::kTypeString, 10, Common::kTypeString, Text("\xC4rger"), Text("Bein")},
      {"S shorter first", 2, Common::kTypeString, 10, Common::kTypeString, Text("Mai"), Text("Maier")},
      {"I signed", 2, Common::kTypeInteger, 1, Common::kTypeInteger, I16(-5), I16(3)},
      {"I byte order", 2, Common::kTypeInteger, 1, Common::kTypeInteger, I16(255), I16(256)},
      {"Z", 2, Common::kTypeTime, 1, Common::kTypeTime, I16(59), I16(600)},
      {"F double sign", 2, Common::kTypeReal, 7, Common::kTypeReal, F64(-1.5), F64(0.25)},
      {"F double magnitude", 2, Common::kTypeReal, 7, Common::kTypeReal, F64(2.0), F64(1e10)},
      {"F 6-byte real", 1, Common::kTypeReal, 5, Common::kTypeReal, Real6(-1.5), Real6(0.25)},
      {"F 6-byte real magnitude", 1, Common::kTypeReal, 5, Common::kTypeReal, Real6(3), Real6(1000)},
      {"D signed", 2, Common::kTypeDate, 3, Common::kTypeDate, I32(-1), I32(1024)},
      {"N signed", 2, Common::kTypeAutoNumber, 3, Common::kTypeAutoNumber, I32(-70000), I32(70000)},
      {"L byte order", 2, Common::kTypeLink, 3, Common::kTypeLink, I32(255), I32(65536)},
      {"25 signed", 2, Common::kTypeLink, 3, ZetTable::kKeyTypeLinkedRecord, I32(-2), I32(2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const OneField f = MakeOneField(c.version, c.type, c.size);
    const bool oem = c.version < 2;
    const Description asc = Describe({{1, f.width, c.partType}});
    const Description desc = Describe({{1 | ZetTable::kKeyDescending, f.width, c.partType}});
    // For type 25 the key is built elsewhere; store the values directly.
    Key lo{}, hi{};
    if (c.partType == ZetTable::kKeyTypeLinkedRecord) {
      std::memcpy(lo.data() + 4, c.low.data(), 4);
      std::memcpy(hi.data() + 4, c.high.data(), 4);
    } else {
      lo = KeyOf(f, asc, c.low, 9);
      hi = KeyOf(f, asc, c.high, 1);
    }
    EXPECT_EQ(Zet00::CompareKeys(lo.data(), hi.data(), asc.data(), oem, true), -1);
    EXPECT_EQ(Zet00::CompareKeys(hi.data(), lo.data(), asc.data(), oem, true), 1);
    EXPECT_EQ(Zet00::CompareKeys(lo.data(), hi.data(), desc.data(), oem, true), 1);
    EXPECT_TRUE(Zet00::KeyCompareProc(c.version)(lo.data(), hi.data(), asc.data()));
    ZetTable::RemoveTable(f.handle);
  }
}

TEST_F(Zet00KeysTest, EqualPartsOrderByRecordNumberAndLaterParts) {
  const int h = Install(MakeTable(2, {{"NAME", Common::kTypeString, 10, 10}, {"NR", Common::kTypeInteger, 1, 10}}));
  const Description d = Describe({{1, 11, Common::kTypeString}, {2 | ZetTable::kKeyDescending, 2, Common::kTypeInteger}});
  auto key = [&](const std::string& name, int16_t nr, uint32_t recno) {
    std::vector<uint8_t> record(13, 0);
    std::vector<uint8_t> t = Text(name);
    std::memcpy(record.data(), t.data(), t.size());
    bytes::PutI16(record.data() + 11, nr);
    Key k{};
    EXPECT_EQ(Zet00::MakeKey(h, -1, record.data(), k.data(), recno, d.data()), 0);
    return k;
  };
  // Same values: the smaller record number first; SameKey ignores it.
  const Key a = key("Meier", 5, 3), b = key("MEIER", 5, 7);
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, true), -1);
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, false), 0);
  EXPECT_TRUE(Zet00::SameKey(a.data(), b.data(), d.data()));
  // The descending second part decides before the record number.
  const Key c = key("Meier", 9, 8);
  EXPECT_EQ(Zet00::CompareKeys(c.data(), a.data(), d.data(), false, true), -1);
  EXPECT_FALSE(Zet00::SameKey(a.data(), c.data(), d.data()));
  // A descending S part puts B before A.
  const Description byNameDown = Describe({{1 | ZetTable::kKeyDescending, 11, Common::kTypeString}});
  Key ka{}, kb{};
  std::vector<uint8_t> rec(13, 0);
  std::vector<uint8_t> t = Text("Anton");
  std::memcpy(rec.data(), t.data(), t.size());
  Zet00::MakeKey(h, -1, rec.data(), ka.data(), 1, byNameDown.data());
  t = Text("Berta");
  std::memcpy(rec.data(), t.data(), t.size());
  Zet00::MakeKey(h, -1, rec.data(), kb.data(), 2, byNameDown.data());
  EXPECT_TRUE(Zet00::KeyBefore(kb.data(), ka.data(), byNameDown.data()));
}

TEST_F(Zet00KeysTest, StringPartsAreRotatedAndCutToTheirLength) {
  EXPECT_EQ(Zet00::RotateAtCaret("Meier^Hans").view(), "Hans^Meier");
  EXPECT_EQ(Zet00::RotateAtCaret("Hans^Meier").view(), "Meier^Hans");
  EXPECT_EQ(Zet00::RotateAtCaret("Meier").view(), "Meier");
  EXPECT_EQ(Zet00::RotateAtCaret("^x").view(), "x^");

  const OneField f = MakeOneField(2, Common::kTypeString, 30);
  Key key = KeyOf(f, Describe({{1, 31, Common::kTypeString}}), Text("Meier^Hans"), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.data() + 5), key[4]), "Hans^Meier");
  EXPECT_EQ(Zet00::KeyRecordNumber(key.data()), 4u);

  // A part of 20 bytes keeps 19 characters; the rest of the key is zero.
  const Description d20 = Describe({{1, 20, Common::kTypeString}});
  EXPECT_EQ(Zet00::KeyLength(d20.data()), 24u);
  key.fill(0xEE);
  key = KeyOf(f, d20, Text("abcdefghijklmnopqrstuvwxyz"), 1);
  EXPECT_EQ(key[4], 19);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.data() + 5), 19), "abcdefghijklmnopqrs");
  EXPECT_EQ(key[24], 0);
}

TEST_F(Zet00KeysTest, DamagedRecordsAndDescriptionsNeverOverrun) {
  // A length byte beyond the field is taken as the field's width.
  const OneField f = MakeOneField(2, Common::kTypeString, 5);
  Key key = KeyOf(f, Describe({{1, 6, Common::kTypeString}}), {200, 'a', 'b', 'c', 'd', 'e'}, 1);
  EXPECT_EQ(key[4], 5);
  // A part over a field beyond the table, or wider than its field, is zero
  // past the field's bytes.
  key = KeyOf(f, Describe({{7, 4, Common::kTypeLink}}), {}, 1);
  EXPECT_EQ(bytes::GetU32(key.data() + 4), 0u);
  // A key that would not fit 260 bytes is refused.
  Description big = Describe({{1, 200, Common::kTypeString}, {1, 100, Common::kTypeString}});
  Key out{};
  std::vector<uint8_t> record(6, 0);
  EXPECT_EQ(Zet00::MakeKey(f.handle, -1, record.data(), out.data(), 1, big.data()), Zet00::kErrIndexDamaged);
  // A part type no key has is an internal error of the caller.
  const Description memo = Describe({{1, 4, Common::kTypeMemo}});
  EXPECT_THROW(Zet00::CompareKeys(out.data(), out.data(), memo.data(), false, true), EAssertion);
}

// The order follows the description as it is at each comparison: a
// description changed where it lies (as an index header is rewritten) orders
// by its new parts, also when comparisons ran on it before.
TEST_F(Zet00KeysTest, ADescriptionChangedInPlaceOrdersByItsNewParts) {
  Key a{}, b{};
  bytes::PutU32(a.data(), 1);
  bytes::PutU32(b.data(), 2);
  bytes::PutI16(a.data() + 4, -1);  // bytes FF FF
  bytes::PutI16(b.data() + 4, 1);   // bytes 01 00
  Description d = Describe({{1, 2, Common::kTypeInteger}});
  ASSERT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, true), -1);
  Zet00::SetKeyPart(d.data(), 0, {1 | ZetTable::kKeyDescending, 2, Common::kTypeInteger});
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, true), 1);
  Zet00::SetKeyPart(d.data(), 0, {1, 2, Common::kTypeByte});  // 0xFF above 0x01
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, true), 1);
  Zet00::SetKeyPart(d.data(), 0, {1, 0, Common::kTypeByte});  // no bytes: the record number decides
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, true), -1);
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, false), 0);
  // A one-byte I part is its low byte, zero-extended: 0xFF = 255 above 1.
  Zet00::SetKeyPart(d.data(), 0, {1, 1, Common::kTypeInteger});
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, true), 1);
  // A second part that no longer ends the list takes part.
  Zet00::SetKeyPart(d.data(), 0, {1, 1, Common::kTypeByte});
  bytes::PutI16(b.data() + 4, int16_t(0xFFFF));
  bytes::PutI16(b.data() + 5, 7);
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, false), 0);
  Zet00::SetKeyPart(d.data(), 1, {1, 1, Common::kTypeByte});
  EXPECT_EQ(Zet00::CompareKeys(a.data(), b.data(), d.data(), false, false), 1);
}

Zet00::TKeyValue g_hookValue;
int g_hookCalls = 0;
std::string g_hookRecordName;

int ExpressionValue(int handle, std::string_view expression, Zet00::TKeyValue& value) {
  ++g_hookCalls;
  // The expression sees the record being keyed as the record buffer.
  const auto* t = ZetTable::Table(handle);
  g_hookRecordName.assign(reinterpret_cast<const char*>(t->recordBuffer.data() + 1), t->recordBuffer[0]);
  value = g_hookValue;
  return expression == "FEHLER" ? 25 : 0;
}

bool VariableValue(uint16_t variable, Zet00::TKeyValue& value) {
  if (variable != 12) return false;
  value.isText = true;
  value.text = "Zeta^Alpha";
  return true;
}

TEST_F(Zet00KeysTest, ExpressionAndVariablePartsComeFromTheLanguage) {
  const int h = Install(MakeTable(2, {{"NAME", Common::kTypeString, 10, 10}}));
  ZetTable::Table(h)->recordBuffer.assign(11, 0);
  Description expr{};
  Zet00::SetKeyPart(expr.data(), 0, {ZetTable::kKeyExpression, 8, Common::kTypeReal});
  Zet00::SetKeyExpressionText(expr.data(), "NAME+1");
  EXPECT_EQ(Zet00::PartCount(expr.data()), 1u);
  EXPECT_EQ(Zet00::KeyLength(expr.data()), 12u);
  EXPECT_EQ(Zet00::KeyExpressionText(expr.data()).view(), "NAME+1");
  std::vector<uint8_t> record(11, 0);
  std::vector<uint8_t> t = Text("Otto");
  std::memcpy(record.data(), t.data(), t.size());
  Key key{};

  // Without the language the part stays at its lowest value.
  Zet00::ExpressionValueHook = nullptr;
  ASSERT_EQ(Zet00::MakeKey(h, -1, record.data(), key.data(), 1, expr.data()), 0);
  EXPECT_EQ(bytes::GetF64(key.data() + 4), 0.0);

  Zet00::ExpressionValueHook = ExpressionValue;
  g_hookValue.number = 42.5;
  ASSERT_EQ(Zet00::MakeKey(h, -1, record.data(), key.data(), 1, expr.data()), 0);
  EXPECT_EQ(bytes::GetF64(key.data() + 4), 42.5);
  EXPECT_EQ(g_hookRecordName, "Otto");
  EXPECT_EQ(ZetTable::Table(h)->recordBuffer[0], 0);  // the buffer is given back
  // An expression part is never reversed, whatever bit 15 of 65535 says.
  Key other{};
  g_hookValue.number = 1;
  Zet00::MakeKey(h, -1, record.data(), other.data(), 2, expr.data());
  EXPECT_TRUE(Zet00::KeyBefore(other.data(), key.data(), expr.data()));
  // A failing expression fails the key.
  Zet00::SetKeyExpressionText(expr.data(), "FEHLER");
  EXPECT_EQ(Zet00::MakeKey(h, -1, record.data(), key.data(), 1, expr.data()), 25);

  Zet00::VariableValueHook = VariableValue;
  const Description var = Describe({{12 | ZetTable::kKeyVariable, 10, Common::kTypeString}});
  ASSERT_EQ(Zet00::MakeKey(h, -1, record.data(), key.data(), 1, var.data()), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.data() + 5), key[4]), "Alpha^Zet");
}

}  // namespace
