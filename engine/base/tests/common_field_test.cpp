#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using CommonFieldTest = zettest::EngineTest;
using Real6 = std::array<uint8_t, Common::kReal6Size>;
using Common::FieldPlace;
using Common::FieldValue;

Real6 ToReal6(double v) {
  Real6 r{};
  Common::DoubleToReal6(v, r.data());
  return r;
}

TEST_F(CommonFieldTest, SixByteRealsConvertExactlyBothWays) {
  const double largest = std::ldexp(2.0 - std::ldexp(1.0, -39), 126);
  const double smallest = std::ldexp(1.0, -128);
  struct Case {
    double value;  // a value a 6-byte real holds exactly
    Real6 bytes;
  };
  const Case cases[] = {
      {0.0, {0, 0, 0, 0, 0, 0}},
      {1.0, {0x81, 0, 0, 0, 0, 0}},
      {-1.0, {0x81, 0, 0, 0, 0, 0x80}},
      {0.5, {0x80, 0, 0, 0, 0, 0}},
      {1e10, {0xA2, 0x00, 0x00, 0xF9, 0x02, 0x15}},
      {std::ldexp(0x1.edd2f1a9fcp0, 6), {0x87, 0xFE, 0xD4, 0x78, 0xE9, 0x76}},  // 123.456 rounded
      {smallest, {0x01, 0, 0, 0, 0, 0}},
      {largest, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
      {-largest, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToReal6(c.value), c.bytes) << c.value;
    EXPECT_EQ(Common::Real6ToDouble(c.bytes.data()), c.value) << c.value;
  }
  // 123.456 itself goes to its nearest 6-byte real.
  EXPECT_EQ(ToReal6(123.456), cases[5].bytes);

  // Rounding to 39 bits: ties to even, carries into the exponent.
  EXPECT_EQ(ToReal6(1.0 + std::ldexp(1.0, -40)), ToReal6(1.0));
  EXPECT_EQ(ToReal6(1.0 + 3 * std::ldexp(1.0, -40)), ToReal6(1.0 + std::ldexp(1.0, -38)));
  EXPECT_EQ(ToReal6(2.0 - std::ldexp(1.0, -41)), ToReal6(2.0));

  // Outside the range: the largest magnitude, or zero.
  EXPECT_EQ(ToReal6(1e300), cases[7].bytes);
  EXPECT_EQ(ToReal6(-std::numeric_limits<double>::infinity()), cases[8].bytes);
  EXPECT_EQ(ToReal6(1e-300), cases[0].bytes);
  EXPECT_EQ(ToReal6(std::numeric_limits<double>::quiet_NaN()), cases[0].bytes);

  std::mt19937 rng(6);
  for (int i = 0; i < 10000; ++i) {
    Real6 r;
    for (auto& b : r) b = uint8_t(rng());
    if (r[0] == 0) r[0] = 1;
    ASSERT_EQ(ToReal6(Common::Real6ToDouble(r.data())), r);
  }
}

// A version-1 record: an S field, a nullable I, a 6-byte F, a nullable
// 6-byte F, an L with bit 7 set (links carry no null flag) and a field that
// takes no record bytes.
const FieldPlace kText{Common::kTypeString, 10, true, 0};
const FieldPlace kNullableInt{Common::kTypeInteger | Common::kNullFlagBit, 2, true, 11};
const FieldPlace kReal{Common::kTypeReal, 5, true, 14};
const FieldPlace kNullableReal{Common::kTypeReal | Common::kNullFlagBit, 6, true, 20};
const FieldPlace kLink{Common::kTypeLink | Common::kNullFlagBit, 3, true, 27};
const FieldPlace kUnstored{Common::kTypeInteger, 1, false, 31};
constexpr size_t kRecordSize = 32;
constexpr int kVersion1 = 1;
constexpr int kVersion2 = 2;

TEST_F(CommonFieldTest, Version1FieldsConvertTextsAndRealsAndKeepNullFlags) {
  std::vector<uint8_t> record(kRecordSize, 0xEE);
  bool isNull = false;

  const uint8_t ansi[11] = {5, 'G', 'r', 0xF6, 0xDF, 'e'};  // "Gr\xF6\xDFe"
  Common::PutFieldValue(record.data(), kText, kVersion1, ansi, false);
  const uint8_t oem[] = {5, 'G', 'r', 0x94, 0xE1, 'e'};
  EXPECT_EQ(0, std::memcmp(record.data(), oem, sizeof oem));
  uint8_t text[11] = {};
  Common::GetFieldValue(record.data(), kText, kVersion1, text, isNull);
  EXPECT_EQ(0, std::memcmp(text, ansi, sizeof ansi));
  EXPECT_FALSE(isNull);

  uint8_t real[8];
  bytes::PutF64(real, -0.5);
  Common::PutFieldValue(record.data(), kReal, kVersion1, real, false);
  EXPECT_EQ(record[14], 0x80);
  EXPECT_EQ(record[19], 0x80);
  EXPECT_EQ(record[20], 0xEE) << "the next field stays untouched";
  uint8_t back[8] = {};
  Common::GetFieldValue(record.data(), kReal, kVersion1, back, isNull);
  EXPECT_EQ(bytes::GetF64(back), -0.5);

  bytes::PutF64(real, 1e10);
  Common::PutFieldValue(record.data(), kNullableReal, kVersion1, real, true);
  EXPECT_EQ(record[26], 0);
  Common::GetFieldValue(record.data(), kNullableReal, kVersion1, back, isNull);
  EXPECT_TRUE(isNull);
  EXPECT_EQ(bytes::GetF64(back), 1e10);
  EXPECT_EQ(record[27], 0xEE);

  const uint8_t seven[] = {7, 0};
  Common::PutFieldValue(record.data(), kNullableInt, kVersion1, seven, false);
  EXPECT_EQ(record[13], 1);
  Common::PutFieldValue(record.data(), kNullableInt, kVersion1, seven, true);
  EXPECT_EQ(record[13], 0);

  const uint8_t link[] = {1, 2, 3, 4};
  Common::PutFieldValue(record.data(), kLink, kVersion1, link, true);
  EXPECT_EQ(0, std::memcmp(record.data() + 27, link, 4));
  Common::GetFieldValue(record.data(), kLink, kVersion1, back, isNull);
  EXPECT_FALSE(isNull);

  const std::vector<uint8_t> before = record;
  Common::PutFieldValue(record.data(), kUnstored, kVersion1, seven, false);
  EXPECT_EQ(record, before);
  uint8_t untouched[2] = {0x11, 0x22};
  Common::GetFieldValue(record.data(), kUnstored, kVersion1, untouched, isNull);
  EXPECT_EQ(untouched[0], 0x11);
}

TEST_F(CommonFieldTest, ADamagedLengthByteStaysInsideItsField) {
  std::vector<uint8_t> record(kRecordSize, 'x');
  record[0] = 200;
  FieldValue value;
  EXPECT_EQ(Common::GetFieldAsNumber(record.data(), kText, kVersion1, value), Common::kClassText);
  EXPECT_EQ(value.text.size(), 10u);
}

struct NumberCase {
  uint8_t typeByte;
  uint8_t sizeCode;
  std::vector<uint8_t> stored;
  int kind;
  double number;
  const char* text;
  uint32_t block;
};

TEST_F(CommonFieldTest, GetFieldAsNumberWidensEveryType) {
  const int32_t jan1st2000 = DATUM::PackDate(2000, 1, 1);
  uint8_t date[4];
  bytes::PutI32(date, jan1st2000);
  uint8_t f25[8];
  bytes::PutF64(f25, 2.5);
  const NumberCase cases[] = {
      {Common::kTypeChar, 0, {'x'}, 1, 0, "x", 0},
      {Common::kTypeChar, 0, {0}, 1, 0, "", 0},
      {Common::kTypeString, 5, {3, 'a', 'b', 'c', 0, 0}, 1, 0, "abc", 0},
      {Common::kTypeInteger, 1, {0xFB, 0xFF}, 3, -5, "", 0},
      {Common::kTypeTime, 1, {0xA0, 0x05}, 3, 1440, "", 0},
      {Common::kTypeByte, 0, {200}, 3, 200, "", 0},
      {Common::kTypeBool, 0, {1}, 3, 1, "", 0},
      {Common::kTypeChoice, 0, {3}, 3, 3, "", 0},
      {Common::kTypeAutoNumber, 3, {0x70, 0x11, 0x01, 0}, 3, 70000, "", 0},
      {Common::kTypeLink, 3, {0xF9, 0xFF, 0xFF, 0xFF}, 3, -7, "", 0},
      {Common::kTypeDate, 3, {date, date + 4}, 3, 730486, "", 0},
      {Common::kTypeDate, 3, {0, 0, 0, 0}, 3, 0, "", 0},
      {Common::kTypeReal, 7, {f25, f25 + 8}, 3, 2.5, "", 0},
      {Common::kTypeMemo, 1, {0x01, 0x02}, 7, 0, "", 0x0201},
      {Common::kTypeMemo, 3, {4, 3, 2, 1}, 7, 0, "", 0x01020304},
      {Common::kTypeBlob, 3, {9, 0, 0, 0}, 11, 0, "", 9},
  };
  for (const NumberCase& c : cases) {
    const FieldPlace field{c.typeByte, c.sizeCode, true, 2};
    std::vector<uint8_t> record(2, 0xEE);
    record.insert(record.end(), c.stored.begin(), c.stored.end());
    FieldValue value;
    value.block = 12345;
    EXPECT_EQ(Common::GetFieldAsNumber(record.data(), field, kVersion2, value), c.kind) << int(c.typeByte);
    EXPECT_EQ(value.number, c.number) << int(c.typeByte);
    EXPECT_EQ(value.text.str(), c.text) << int(c.typeByte);
    EXPECT_EQ(value.block, c.block) << int(c.typeByte);
  }
  const FieldPlace relation{Common::kTypeRelation, 0, false, 0};
  FieldValue value;
  value.number = 9;
  EXPECT_EQ(Common::GetFieldAsNumber(nullptr, relation, kVersion2, value), Common::kClassNumber);
  EXPECT_EQ(value.number, 0);
}

TEST_F(CommonFieldTest, PutFieldFromValueNarrowsToTheFieldWidth) {
  struct Case {
    uint8_t typeByte;
    uint8_t sizeCode;
    FieldValue value;
    std::vector<uint8_t> stored;
  };
  const int32_t packed = DATUM::PackDate(2000, 1, 1);
  uint8_t date[4];
  bytes::PutI32(date, packed);
  uint8_t f25[8];
  bytes::PutF64(f25, 2.5);
  const Case cases[] = {
      {Common::kTypeInteger, 1, {70000.4, "", 0}, {0x70, 0x11}},
      {Common::kTypeInteger, 1, {-3.5, "", 0}, {0xFC, 0xFF}},
      {Common::kTypeByte, 0, {300, "", 0}, {44}},
      {Common::kTypeDate, 3, {730486, "", 0}, {date, date + 4}},
      {Common::kTypeLink, 3, {5e9, "", 0}, {0xFF, 0xFF, 0xFF, 0x7F}},
      {Common::kTypeString, 5, {0, "abcdefgh", 0}, {5, 'a', 'b', 'c', 'd', 'e'}},
      {Common::kTypeString, 5, {0, "ab", 0}, {2, 'a', 'b', 0, 0, 0}},
      {Common::kTypeChar, 0, {0, "", 0}, {0}},
      {Common::kTypeChar, 0, {0, "xy", 0}, {'x'}},
      {Common::kTypeReal, 7, {2.5, "", 0}, {f25, f25 + 8}},
      {Common::kTypeMemo, 1, {0, "", 0x12345}, {0x45, 0x23}},
      {Common::kTypeBlob, 3, {7, "", 0x12345}, {0x45, 0x23, 0x01, 0}},
      {Common::kTypeAutoNumber, 3, {17, "", 0}, {0xAA, 0xAA, 0xAA, 0xAA}},  // never written
  };
  for (const Case& c : cases) {
    const FieldPlace field{c.typeByte, c.sizeCode, true, 1};
    std::vector<uint8_t> record(c.stored.size() + 2, 0xAA);
    Common::PutFieldFromValue(record.data(), field, kVersion2, c.value);
    EXPECT_EQ(std::vector<uint8_t>(record.begin() + 1, record.end() - 1), c.stored) << int(c.typeByte);
    EXPECT_EQ(record.front(), 0xAA);
    EXPECT_EQ(record.back(), 0xAA);
  }
}

// GetFieldAsNumber leaves the null state behind and PutFieldFromValue takes
// it over, so a copy through the pair keeps a null value null.
TEST_F(CommonFieldTest, NullStateTravelsFromGetToPut) {
  const FieldPlace nullable{Common::kTypeInteger | Common::kNullFlagBit, 2, true, 0};
  const FieldPlace plain{Common::kTypeInteger, 1, true, 0};
  uint8_t source[3] = {5, 0, 0};
  uint8_t target[3] = {0, 0, 1};
  FieldValue value;
  Common::GetFieldAsNumber(source, nullable, kVersion2, value);
  EXPECT_TRUE(Common::LastFieldNullable);
  EXPECT_TRUE(Common::LastValueIsNull);
  Common::PutFieldFromValue(target, nullable, kVersion2, value);
  EXPECT_EQ(target[0], 5);
  EXPECT_EQ(target[2], 0);

  source[2] = 1;
  Common::GetFieldAsNumber(source, nullable, kVersion2, value);
  EXPECT_FALSE(Common::LastValueIsNull);
  Common::PutFieldFromValue(target, nullable, kVersion2, value);
  EXPECT_EQ(target[2], 1);

  Common::GetFieldAsNumber(source, plain, kVersion2, value);
  EXPECT_FALSE(Common::LastFieldNullable);
  EXPECT_FALSE(Common::LastValueIsNull);

  EXPECT_TRUE(Common::HasNullFlag(Common::kTypeTime | Common::kNullFlagBit));
  EXPECT_FALSE(Common::HasNullFlag(Common::kTypeString | Common::kNullFlagBit));
  EXPECT_FALSE(Common::HasNullFlag(Common::kTypeLink | Common::kNullFlagBit));
  EXPECT_TRUE(Common::IsUserField("R", false, Common::kTypeRelation));
  EXPECT_FALSE(Common::IsUserField("X", false, Common::kTypeInteger));
  EXPECT_FALSE(Common::IsUserField("", true, Common::kTypeInteger));
}

}  // namespace
