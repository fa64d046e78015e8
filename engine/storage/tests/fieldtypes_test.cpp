// Field encoding: text -> record bytes -> text for every field type.
#include "engine/storage/zettable_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/engassert.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ZetTable::TZetTable;
using zettable_test::MakeTable;

constexpr uint8_t kNullable = ZetTable::kTypeNullable;

enum Field : uint16_t { C = 1, S, I, F2, F1, F0, B, J, D, A, N, L, Z, IN, FN, ZN, M, P, R, JN };

std::unique_ptr<TZetTable> MakeFieldTable(uint16_t version) {
  const uint8_t real = version < 2 ? 5 : 7;
  auto t = MakeTable(version, {
                                  {"C", 0, 0, 1},
                                  {"S", 1, 10, 10},
                                  {"I", 2, 1, 10},
                                  {"F2", 3, real, 242},
                                  {"F1", 3, real, 241},
                                  {"F0", 3, real, 240},
                                  {"B", 4, 0, 10},
                                  {"J", 5, 0, 4},
                                  {"D", 6, 3, 10},
                                  {"A", 8, 0, 243},
                                  {"N", 9, 3, 10},
                                  {"L", 10, 3, 10},
                                  {"Z", 13, 1, 5},
                                  {"IN", 2, 2, 10, kNullable},
                                  {"FN", 3, uint8_t(real + 1), 241, kNullable},
                                  {"ZN", 13, 2, 5, kNullable},
                                  {"M", 7, 3, 4},
                                  {"P", 11, 3, 4},
                                  {"R", 12, 0, 0},
                                  {"JN", 5, 1, 4, kNullable},
                              });
  t->choiceLists.push_back({A, {"Rot", "Sehr gut", "Hell^"}});
  return t;
}

class ZetTableFieldsTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    table_ = MakeFieldTable(2);
    record_.assign(table_->recordLength, 0);
  }
  int Set(uint16_t field, std::string_view text) {
    return ZetTable::SetFieldText(*table_, field, record_.data(), text);
  }
  std::string Text(uint16_t field) { return ZetTable::FieldText(*table_, field, record_.data()).str(); }

  std::unique_ptr<TZetTable> table_;
  Bytes record_;
};

TEST_F(ZetTableFieldsTest, TextsRoundTripThroughTheRecord) {
  const struct {
    uint16_t field;
    const char* in;
    int rc;
    const char* out;
  } cases[] = {
      {C, "x", 0, "x"},
      {S, "Hallo Welt!!", 0, "Hallo Welt"},  // cut to the size code
      {I, "12kg", 0, "12"},                  // trailing letters dropped
      {I, " -7", 0, "-7"},
      {I, "1,5", 0, "2"},                    // "," is the decimal point; ties to even
      {I, "2.5", 0, "2"},
      {I, "3.5", 0, "4"},
      {I, "70000", 0, "4464"},               // low 16 bits
      {I, "1.2.3", 4, "0"},                  // position of the bad character
      {I, "  x5", 3, "0"},
      {I, "abc", 1, "0"},                    // nothing left of the number
      {I, "12345678901234567", 0, "-1"},     // 15 characters, clamped, low bits
      {F2, "1,5", 0, "1.50"},
      {F2, "3", 0, "3.00"},
      {F1, "2.5", 0, "2.5"},
      {F1, "3", 0, "3.0"},
      {F1, "1e3", 0, "1000.0"},
      {F1, "-0.125", 0, "-0.125"},
      {F0, "7.25", 0, "7"},
      {B, "300", 0, "44"},
      {B, "-1", 0, "255"},
      {J, "ja", 0, "Ja"},
      {J, "J", 0, "Ja"},
      {J, "x", 0, "Ja"},
      {J, "nein", 0, "Nein"},
      {J, " N", 0, "Nein"},
      {J, "", 1, "Nein"},
      {D, "29.2.2000", 0, "29.02.2000"},
      {D, "31.4.2001", 44, ""},
      {D, "", 0, ""},
      {A, "\x02", 0, "Sehr_gut"},            // the choice number itself
      {A, "sehr gut", 0, "Sehr_gut"},
      {A, "Hell", 0, "Hell"},
      {A, "Gelb", 0, ""},
      {A, "\xFF", 0, ""},                    // stored, but names no choice
      {N, "2147483648", 0, "2147483647"},
      {N, "-3000000000", 0, "-2147483647"},
      {L, "12,4", 0, "12"},
      {Z, "7:05", 0, "07:05"},
      {Z, "24:00", 0, "24:00"},              // 1440 reads back as it was set
      {Z, "24:01", 1, "00:00"},
      {Z, "23:60", 1, "00:00"},
      {Z, "12:30 Uhr", 0, "12:30"},          // five characters are read
      {IN, "5", 0, "5"},
      {IN, "   ", 0, " "},                   // null: the text's characters as blanks
      {FN, "", 0, "   "},
      {ZN, "", 0, ""},
      {JN, "\t", 0, "    "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Set(c.field, c.in), c.rc) << c.field << " '" << c.in << "'";
    EXPECT_EQ(Text(c.field), c.out) << c.field << " '" << c.in << "'";
  }
}

TEST_F(ZetTableFieldsTest, StoredBytesAndNullFlags) {
  ASSERT_EQ(Set(I, "-2"), 0);
  const uint32_t at = table_->FieldOffset(I);
  EXPECT_EQ(bytes::GetI16(&record_[at]), -2);
  ASSERT_EQ(Set(Z, "24:00"), 0);
  EXPECT_EQ(bytes::GetU16(&record_[table_->FieldOffset(Z)]), 1440);

  // A nullable field keeps its flag in its last byte: 1 with a value.
  const uint32_t flag = table_->FieldOffset(IN) + 2;
  ASSERT_EQ(Set(IN, "7"), 0);
  EXPECT_EQ(record_[flag], 1);
  ASSERT_EQ(Set(IN, ""), 0);
  EXPECT_EQ(record_[flag], 0);
  EXPECT_EQ(bytes::GetI16(&record_[table_->FieldOffset(IN)]), 0);
  // A bad number in a nullable field is still refused.
  EXPECT_EQ(Set(FN, "x"), 1);
  EXPECT_EQ(record_[table_->FieldOffset(FN) + 8], 1);
}

TEST_F(ZetTableFieldsTest, MemoPictureAndRelationFieldsRefuseTextsAndKeepTheirLinks) {
  bytes::PutU32(&record_[table_->FieldOffset(M)], 12);
  bytes::PutU32(&record_[table_->FieldOffset(P)], 34);
  const Bytes before = record_;
  EXPECT_EQ(Set(M, "Text"), 1);
  EXPECT_EQ(Set(P, ""), 1);
  EXPECT_EQ(Set(R, "x"), 1);
  EXPECT_EQ(record_, before);
  EXPECT_EQ(Text(M), "Memo");
  EXPECT_EQ(Text(P), "Bild");
  EXPECT_EQ(Text(R), "");
  bytes::PutU32(&record_[table_->FieldOffset(M)], 0);
  EXPECT_EQ(Text(M), "");
}

TEST_F(ZetTableFieldsTest, DamagedValuesStayInsideTheirField) {
  // A length byte beyond the size code and a choice beyond the list.
  record_[table_->FieldOffset(S)] = 200;
  EXPECT_EQ(Text(S).size(), 10u);
  record_[table_->FieldOffset(A)] = 9;
  EXPECT_EQ(Text(A), "");
}

TEST_F(ZetTableFieldsTest, RecordFieldModes) {
  ASSERT_EQ(Set(I, "42"), 0);
  ASSERT_EQ(Set(F2, "2.5"), 0);
  ASSERT_EQ(Set(S, "Hallo Welt"), 0);
  ASSERT_EQ(Set(C, "A"), 0);
  ASSERT_EQ(Set(D, "1.1.2000"), 0);
  int32_t i = 0;
  double r = 0;
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, record_.data(), I, ZetTable::kFieldAsInteger, &i));
  EXPECT_EQ(i, 42);
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, record_.data(), F2, ZetTable::kFieldAsInteger, &i));
  EXPECT_EQ(i, 2);  // rounded, ties to even
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, record_.data(), F2, ZetTable::kFieldAsReal, &r));
  EXPECT_EQ(r, 2.5);
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, record_.data(), C, ZetTable::kFieldAsInteger, &i));
  EXPECT_EQ(i, 'A');
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, record_.data(), D, ZetTable::kFieldAsInteger, &i));
  EXPECT_EQ(i, 730486);  // the day number
  EXPECT_FALSE(ZetTable::GetRecordField(*table_, record_.data(), S, ZetTable::kFieldAsReal, &r));
  EXPECT_FALSE(ZetTable::GetRecordField(*table_, record_.data(), R, ZetTable::kFieldAsInteger, &i));

  char small[6];
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, record_.data(), S, ZetTable::kFieldAsCText, small, sizeof small));
  EXPECT_STREQ(small, "Hallo");
  ShortStr text;
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, record_.data(), J, ZetTable::kFieldAsShortStr, &text));
  EXPECT_EQ(text.str(), "Nein");

  // Without a record the table's own buffer is read.
  table_->recordBuffer = record_;
  EXPECT_TRUE(ZetTable::GetRecordField(*table_, nullptr, I, ZetTable::kFieldAsInteger, &i));
  EXPECT_EQ(i, 42);
  EXPECT_THROW(ZetTable::GetRecordField(*table_, nullptr, I, 5, &i), EAssertion);
}

TEST_F(ZetTableFieldsTest, Version1TablesStoreOemTextsAndSixByteReals) {
  auto t = MakeFieldTable(1);
  Bytes record(t->recordLength, 0);
  ASSERT_EQ(ZetTable::SetFieldText(*t, S, record.data(), "\xC4pfel"), 0);
  ASSERT_EQ(ZetTable::SetFieldText(*t, F2, record.data(), "2,5"), 0);
  const uint32_t s = t->FieldOffset(S), f = t->FieldOffset(F2);
  EXPECT_EQ(record[s + 1], 0x8E);  // Ä in code page 850
  EXPECT_EQ(Bytes(record.begin() + f, record.begin() + f + 6), (Bytes{0x82, 0, 0, 0, 0, 0x20}));
  EXPECT_EQ(ZetTable::FieldText(*t, S, record.data()).str(), "\xC4pfel");
  EXPECT_EQ(ZetTable::FieldText(*t, F2, record.data()).str(), "2.50");
}

TEST_F(ZetTableFieldsTest, HandleRoutinesActOnTheTableInTheSlot) {
  const int h = zettable_test::Install(std::move(table_));
  record_.assign(ZetTable::Table(h)->recordLength, 0);
  EXPECT_EQ(ZetTable::SetFieldText(h, A, record_.data(), "rot"), 0);
  ShortStr text;
  ZetTable::GetFieldText(h, A, record_.data(), text);
  EXPECT_EQ(text.str(), "Rot");
  EXPECT_EQ(ZetTable::SetFieldText(h + 1, A, record_.data(), "rot"), 1);  // no table there
}

}  // namespace
