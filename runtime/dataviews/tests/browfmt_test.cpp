#include "runtime/dataviews/browfmt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/dataviews/tests/dataviews_test_util.h"

namespace {

using namespace dataviews;

TEST(browser_columns, BrowseColumnTextsByFieldKindAndDecimals) {
  const struct {
    const char* expression;
    int32_t fieldNo;
    uint16_t kind;
    int16_t decimals;
    const char* text;
  } cases[] = {
      {"NAME", 1, 1, -1, "$1"},          {"PREIS", 3, 1, 2, "$3:0:2"},
      {"MENGE * 2", 0, 3, 2, "(MENGE * 2):0:2"}, {"MENGE * 2", 0, 3, -1, "(MENGE * 2)"},
      {"1,2", 0, 2, 2, "1,2:0:2 "},     {"1,2", 0, 2, -1, "1,2 "},
      {"X", 0, 1, 0, "X:0:0 "},
  };
  for (const auto& c : cases) {
    char text[256];
    ASSERT_TRUE(ComposeBrowseColumn(c.expression, c.fieldNo, c.kind, c.decimals, text)) << c.text;
    EXPECT_STREQ(text, c.text);
  }
  char text[256];
  const std::string longest(253, 'x');
  EXPECT_TRUE(ComposeBrowseColumn(longest.c_str(), 0, 3, -1, text));
  EXPECT_FALSE(ComposeBrowseColumn((longest + "x").c_str(), 0, 3, -1, text)) << "never cut";
}

std::vector<uint8_t> Bytes(kxobject::TMemStream& s) {
  return std::vector<uint8_t>(s.Block->Data, s.Block->Data + s.Size);
}

TBrowserFormat SampleFormat() {
  TBrowserFormat f;
  f.InsertColumn(-1, "NAME", 20, -1, "Name");
  f.InsertColumn(-1, "MENGE * 2", 8, 2, nullptr);
  f.InsertColumn(0, "PREIS", 10, 2, "Preis");
  EXPECT_EQ(f.InsertColumn(1, nullptr, 1, 1, "x"), nullptr);
  win::LOGFONT font{};
  font.lfHeight = -13;
  font.lfWeight = 700;
  std::strcpy(font.lfFaceName, "Arial");
  f.SetFont(font);
  return f;
}

TEST(browser_columns, StreamRoundTripsWithAndWithoutFontAreByteExact) {
  const TBrowserFormat f = SampleFormat();
  kxobject::TMemStream noFont(64, 64);
  f.WriteWithoutFont(noFont);
  const std::vector<uint8_t> expected = {3, 0,                                          // count
                                         5, 0, 'P', 'r', 'e', 'i', 's', 5, 0, 'P', 'R', 'E', 'I', 'S', 10, 0, 2, 0,
                                         4, 0, 'N', 'a', 'm', 'e', 4, 0, 'N', 'A', 'M', 'E', 20, 0, 0xFF, 0xFF,
                                         0, 0, 9, 0, 'M', 'E', 'N', 'G', 'E', ' ', '*', ' ', '2', 8, 0, 2, 0};
  EXPECT_EQ(Bytes(noFont), expected);
  for (bool withFont : {true, false}) {
    kxobject::TMemStream first(64, 64), second(64, 64);
    withFont ? f.Write(first) : f.WriteWithoutFont(first);
    first.Seek(0);
    const TBrowserFormat read(first, withFont);
    EXPECT_EQ(first.Status, 0);
    EXPECT_EQ(read.Count(), 3);
    withFont ? read.Write(second) : read.WriteWithoutFont(second);
    EXPECT_EQ(Bytes(first), Bytes(second)) << withFont;
    dataviews_test::WriteFuzzSeed("columnset_fuzz", withFont ? "with_font" : "without_font", Bytes(first));
    win::LOGFONT font;
    read.GetFont(font);
    EXPECT_STREQ(font.lfFaceName, withFont ? "Arial" : "");
  }
  char expression[64], title[64];
  int16_t width = 0, decimals = 0;
  f.GetColumnInfo(2, expression, 63, width, decimals, title, 63);
  EXPECT_STREQ(expression, "MENGE * 2");
  EXPECT_STREQ(title, "") << "a column without title";
  EXPECT_EQ(width, 8);
  EXPECT_EQ(decimals, 2);
  char definition[64];
  f.At(2)->GetDefinition(definition, 63);
  EXPECT_STREQ(definition, "MENGE * 2:8:2");
  f.At(1)->GetDefinition(definition, 63);
  EXPECT_STREQ(definition, "NAME:20");
}

TEST(browser_columns, ATruncatedRecordKeepsTheWholeColumnsAndTheStatus) {
  kxobject::TMemStream full(64, 64);
  SampleFormat().WriteWithoutFont(full);
  kxobject::TMemStream cut(64, 64);
  cut.WriteHuge(full.Block->Data, uint32_t(full.Size - 3));
  cut.Seek(0);
  const TBrowserFormat read(cut, false);
  EXPECT_EQ(read.Count(), 2);
  EXPECT_NE(cut.Status, 0);
}

class browser_format : public dataviews_test::TableTest {};

TEST_F(browser_format, DefaultColumnsFollowTheFieldTypesAndPreparedColumnsShowTheRecord) {
  AddArticles({{"Apfel", 21}});
  const int32_t cursor = ZetTableCreate(relation_);
  ASSERT_EQ(ZetTableFirst(cursor), 1);
  TBrowserFormat f(cursor);
  const struct {
    const char* name;
    int16_t width, decimals;
  } expected[] = {{"NAME", 40, -1}, {"MENGE", 6, 0}, {"PREIS", 10, 2}, {"NOTIZ", 10, -1}, {"BILD", 10, -1}, {"NR", 8, 0}};
  ASSERT_EQ(f.Count(), 6);
  for (int32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(f.At(i)->Expression, expected[i].name);
    EXPECT_EQ(f.At(i)->Title, expected[i].name);
    EXPECT_EQ(f.At(i)->Width, expected[i].width) << expected[i].name;
    EXPECT_EQ(f.At(i)->Decimals, expected[i].decimals) << expected[i].name;
  }
  char text[301];
  ASSERT_EQ(f.Prepare(cursor), 0);
  f.GetColumnText(cursor, 0, text, 300);
  EXPECT_NE(std::string(text).find("Apfel"), std::string::npos) << "a field column shows its field: " << text;
  f.GetColumnText(cursor, 1, text, 300);
  EXPECT_NE(std::string(text).find("21"), std::string::npos) << text;
  TBrowserFormat computed;
  computed.InsertColumn(-1, "MENGE * 2", 8, 2, "Doppelt");
  computed.InsertColumn(-1, "NAME + \"!\"", 20, -1, "Ruf");
  computed.GetColumnText(cursor, 0, text, 300);
  EXPECT_STREQ(text, "") << "unprepared";
  ASSERT_EQ(computed.Prepare(cursor), 0);
  computed.GetColumnText(cursor, 0, text, 300);
  EXPECT_NE(std::string(text).find("42"), std::string::npos) << text;
  computed.GetColumnText(cursor, 1, text, 300);
  EXPECT_NE(std::string(text).find("Apfel!"), std::string::npos) << text;
  computed.JoinTexts(cursor, text, 300);
  EXPECT_NE(std::string(text).find("Apfel!"), std::string::npos) << text;
  computed.JoinTexts(cursor, text, 8);
  EXPECT_EQ(std::string(text).find("Apfel"), std::string::npos) << "a column over the limit is skipped: " << text;
  const TBrowserFormat copy(computed);
  copy.GetColumnText(cursor, 0, text, 300);
  EXPECT_STREQ(text, "") << "a copy is not prepared";
  uint64_t tables = 0;
  TBrowserColumn broken("((", 5, -1, nullptr);
  EXPECT_NE(broken.Prepare(cursor, tables), 0);
  EXPECT_FALSE(broken.IsPrepared());
  TBrowserColumn overlong(("MENGE + " + std::string(244, '1')).c_str(), 5, 2, nullptr);
  EXPECT_EQ(overlong.Prepare(cursor, tables), kColumnTooLong);
  ZetTableDelete(cursor);
}

}  // namespace
