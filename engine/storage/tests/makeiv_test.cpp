// Index descriptions and key texts: compiling descriptions, user indexes,
// search keys from texts, record key texts, orders by name, range limits.
#include "engine/storage/makeiv.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/storage/tests/index_test_util.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "platform/files.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using Zet00::TKeyPart;
using ZetTable::TZetTable;
using zettable_test::MakeTable;
using Key = std::array<uint8_t, ZetTable::kMaxKeySize>;
using Description = std::array<uint8_t, ZetTable::kKeyDescriptionSize>;

constexpr uint16_t kName = 1, kOrt = 2, kNr = 3, kPreis = 4, kKauft = 8;

int CheckAsNumber(int, std::string_view expression, uint8_t& type) {
  type = expression.find('"') == std::string_view::npos && expression != "NAME" ? Common::kTypeReal
                                                                               : Common::kTypeString;
  return expression == "PREIS/0" ? Zet00::kErrRealOverflow : 0;
}

bool FindCounter(std::string_view name, uint16_t& number, uint8_t& type) {
  if (name != "ZAEHLER" && name != "TITEL") return false;
  number = name == "ZAEHLER" ? 7 : 8;
  type = name == "ZAEHLER" ? Common::kTypeReal : Common::kTypeString;
  return true;
}

class MakeIVTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    // ARTIKEL: an ID table whose ID index is its name.
    auto artikel = MakeTable(2, {{"NR", 9, 3, 10}, {"BEZ", 1, 20, 20}});
    Zet00::SetKeyPart(artikel->idKeyDescription.data(), 0, {2, 21, Common::kTypeString});
    ASSERT_EQ(Zet06::CreateTable(*artikel, TempPath("ARTIKEL.DAT"), {}, false, 0, 0), 0);
    artikel_ = index_test::OpenForTest(TempPath("ARTIKEL.DAT"));
    ASSERT_GT(artikel_, 0);
    for (auto [nr, bez] : {std::pair{"1", "Schraube"}, {"2", "Mutter"}, {"3", "Meier^Hans"}}) {
      index_test::SetText(artikel_, 1, nr);
      index_test::SetText(artikel_, 2, bez);
      ASSERT_EQ(index_test::AppendForTest(artikel_), 0);
    }
    // KUNDEN: fields of every kind a description meets.
    auto kunden = MakeTable(2, {{"NAME", 1, 20, 20},
                                {"ORT", 1, 10, 10},
                                {"NR", 2, 1, 10},
                                {"PREIS", 3, 7, 242},
                                {"NOTIZ", 7, 3, 4},
                                {"BILD", 11, 3, 4},
                                {"POSTEN", 12, 0, 0},
                                {"KAUFT", 10, 3, 10},
                                {"LANG", 1, 200, 200},
                                {"GEBURT", 6, 4, 10, ZetTable::kTypeNullable},
                                {"Vor Name: ", 1, 10, 10}});
    ASSERT_EQ(Zet06::CreateTable(*kunden, TempPath("KUNDEN.DAT"), {}, true, 0, 0), 0);
    kunden_ = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
    ASSERT_GT(kunden_, 0);
    T(kunden_).bindings[kKauft].linkedTable = uint8_t(artikel_);
    struct Row {
      const char *name, *ort, *nr, *kauft;
    };
    for (const Row& r : {Row{"Meier", "Ulm", "3", "2"}, Row{"Adam", "Bonn", "1", "1"}, Row{"Meier", "Bonn", "5", "2"},
                         Row{"Zorn", "Kiel", "2", "3"}}) {
      index_test::SetText(kunden_, kName, r.name);
      index_test::SetText(kunden_, kOrt, r.ort);
      index_test::SetText(kunden_, kNr, r.nr);
      index_test::SetText(kunden_, kKauft, r.kauft);
      ASSERT_EQ(index_test::AppendForTest(kunden_), 0);
    }
  }
  TZetTable& T(int h) { return *ZetTable::Table(h); }
  int Compile(const std::string& text, Description& d, bool report = true) {
    return MakeIV::CompileIndexDescription(kunden_, text, d.data(), report);
  }
  int artikel_ = 0;
  int kunden_ = 0;
};

TEST_F(MakeIVTest, FieldListsCompileIntoParts) {
  struct Case {
    const char* text;
    std::vector<TKeyPart> parts;
  };
  const uint16_t down = ZetTable::kKeyDescending;
  const std::vector<Case> cases = {
      {"-NAME,+ORT", {{kName | down, 21, 1}, {kOrt, 11, 1}}},
      {" name , nr ", {{kName, 21, 1}, {kNr, 2, 2}}},
      {"NAME:10,-PREIS:3", {{kName, 11, 1}, {kPreis | down, 8, 3}}},  // non-S lengths are ignored
      {"NAME:1", {{kName, 21, 1}}},                                   // below 2: the field's width
      {"NAME:99", {{kName, 21, 1}}},                                  // capped at the field
      {"$2,-$3", {{kOrt, 11, 1}, {kNr | down, 2, 2}}},
      {"kunden.NAME", {{kName, 21, 1}}},
      {"GEBURT", {{10, 5, Common::kTypeDate}}},  // a nullable field keeps its flag byte
      {"vor_name:4", {{11, 5, 1}}},               // the name without the creator's ": "
      {"NAME,ORT,NR,NAME,ORT,NR,NAME,ORT,NR", std::vector<TKeyPart>(9)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Description d{};
    ASSERT_EQ(Compile(c.text, d), 0);
    EXPECT_EQ(Zet00::PartCount(d.data()), c.parts.size());
    if (c.parts.size() == 9) continue;
    for (size_t i = 0; i < c.parts.size(); ++i) {
      const TKeyPart p = Zet00::KeyPart(d.data(), i);
      EXPECT_EQ(p.field, c.parts[i].field);
      EXPECT_EQ(p.length, c.parts[i].length);
      EXPECT_EQ(p.type, c.parts[i].type);
    }
  }
  // A language variable in place of a field.
  MakeIV::FindVariableHook = FindCounter;
  Description d{};
  ASSERT_EQ(Compile("NAME,ZAEHLER,TITEL:9", d), 0);
  EXPECT_EQ(Zet00::KeyPart(d.data(), 1).field, 7 | ZetTable::kKeyVariable);
  EXPECT_EQ(Zet00::KeyPart(d.data(), 1).length, 8);
  EXPECT_EQ(Zet00::KeyPart(d.data(), 1).type, Common::kTypeReal);
  EXPECT_EQ(Zet00::KeyPart(d.data(), 2).length, 10);
}

TEST_F(MakeIVTest, BadDescriptionsAreRefusedWithTheirErrors) {
  ZetTable::SetVisibleTableSet(uint64_t(1) << (artikel_ - 1));
  struct Case {
    std::string text;
    int error;
  };
  const std::vector<Case> cases = {
      {"", 41},
      {"   ", 41},
      {"NAME,", 41},
      {"-", 41},
      {"NAME:", 41},
      {"FEHLT", 14},
      {"NAME ORT", 14},
      {"NAME;ORT", 14},
      {"$99", 14},
      {"#", 14},
      {"BEZ", 87},          // a field of another table
      {"ARTIKEL.BEZ", 87},  // named with its table
      {"NOTIZ", 44},
      {"BILD", 44},
      {"POSTEN", 44},
      {"NAME,ORT,NR,NAME,ORT,NR,NAME,ORT,NR,NAME", 60},
      {std::string(256, 'N'), 60},
      {"LANG,NAME,NAME,NAME", 11},
      {"(1 +)", 41},  // the expression ends too early
      {"(NAME", 41},
      {"()", 41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Description d{};
    Common::ResetLastError();
    EXPECT_EQ(Compile(c.text, d), c.error);
    EXPECT_EQ(Common::LastError(), -c.error);
    EXPECT_NE(Common::LastErrorText().view().find("KUNDEN.DAT"), std::string_view::npos);
  }
  Description d{};
  Common::ResetLastError();
  EXPECT_EQ(Compile("FEHLT", d, false), 14);
  EXPECT_EQ(Common::LastError(), 0);
}

TEST_F(MakeIVTest, ExpressionsGoThroughTheCompiler) {
  MakeIV::CheckExpressionHook = CheckAsNumber;
  Description d{};
  ASSERT_EQ(Compile("( PREIS*2 )", d), 0);
  EXPECT_TRUE(Zet00::IsExpressionKey(d.data()));
  EXPECT_EQ(Zet00::KeyPart(d.data(), 0).length, 8);
  EXPECT_EQ(Zet00::KeyPart(d.data(), 0).type, Common::kTypeReal);
  EXPECT_EQ(Zet00::KeyExpressionText(d.data()).view(), "PREIS*2");
  EXPECT_EQ(Compile("(PREIS/0)", d), 0);  // 43 counts as success
  ASSERT_EQ(Compile("(NAME):20", d), 0);
  EXPECT_EQ(Zet00::KeyPart(d.data(), 0).length, 20);
  EXPECT_EQ(Zet00::KeyPart(d.data(), 0).type, Common::kTypeString);
  ASSERT_EQ(Compile("(NAME)", d), 0);
  EXPECT_EQ(Zet00::KeyLength(d.data()), 260u);
  EXPECT_EQ(Compile("(" + std::string(40, 'X') + ")", d), 60);
  EXPECT_EQ(Compile("(NAME+\")\")", d), 0);  // a bracket inside quotes
  EXPECT_EQ(Zet00::KeyExpressionText(d.data()).view(), "NAME+\")\"");
}

TEST_F(MakeIVTest, IndexDescriptionsAsText) {
  MakeIV::CheckExpressionHook = CheckAsNumber;
  auto describe = [&](const std::string& text, bool lengths, bool numbers) {
    TZetTable& t = T(kunden_);
    auto d = std::make_unique<ZetTable::TIndexDescriptor>();
    d->fileName = "SLOT5.IND";
    EXPECT_EQ(MakeIV::CompileIndexDescription(kunden_, text, d->header.data()), 0);
    t.indexes[5] = std::move(d);
    return Zet00::GetIndexDesc(kunden_, 5, lengths, numbers).str();
  };
  EXPECT_EQ(describe("-NAME", true, false), "-NAME:20");
  EXPECT_EQ(describe("NAME:5,-NR", true, false), "NAME:5, -NR:2");
  EXPECT_EQ(describe("NAME,-NR", false, false), "NAME, -NR");
  EXPECT_EQ(describe("NAME,-NR", false, true), "$1, -$3");
  EXPECT_EQ(describe("-$11", true, false), "-VOR_NAME:10");
  EXPECT_EQ(describe("(PREIS*2)", true, false), "(PREIS*2):8");
  EXPECT_EQ(describe("(PREIS*2)", false, false), "(PREIS*2)");
  // The text compiles back into the same description.
  for (const char* text : {"-NAME:5,ORT,-NR", "$2,-$1:3", "(NAME):12", "VOR_NAME,NAME"}) {
    Description a{}, b{};
    ASSERT_EQ(Compile(text, a), 0) << text;
    for (bool numbers : {false, true}) {
      const std::string again = describe(text, true, numbers);
      ASSERT_EQ(Compile(again, b), 0) << again;
      EXPECT_EQ(a, b) << again;
    }
  }
  EXPECT_EQ(Zet00::GetIndexDesc(kunden_, 9, true, false).view(), "");
}

TEST_F(MakeIVTest, CreateUserIndexBuildsAndRegistersTheIndex) {
  TZetTable& t = T(kunden_);
  EXPECT_EQ(MakeIV::CreateUserIndex(false, kunden_, "NAME", "NAMEN", false, nullptr), 0);
  t.openModeWord = ZetTable::kRightWrite;
  EXPECT_EQ(MakeIV::CreateUserIndex(true, kunden_, "NAME", "NAMEN", false, nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(TempDir() / "NAMEN.IND"));
  t.openModeWord = ZetTable::kRightsMask;

  // A bad description leaves the slots as they were.
  EXPECT_EQ(MakeIV::CreateUserIndex(true, kunden_, "FEHLT", "NAMEN", false, nullptr), 0);
  EXPECT_EQ(Common::LastError(), -MakeIV::kErrNotAField);
  EXPECT_EQ(t.highestIndexSlot, 1);

  const int slot = MakeIV::CreateUserIndex(true, kunden_, "NAME,-NR", "namen", false, nullptr);
  ASSERT_EQ(slot, 2);
  EXPECT_EQ(t.indexes[2]->fileName.view(), "NAMEN.IND");
  EXPECT_TRUE(std::filesystem::exists(TempDir() / "NAMEN.IND"));
  EXPECT_EQ(index_test::WalkIndex(kunden_, 2), (std::vector<uint32_t>{2, 3, 1, 4}));
  EXPECT_FALSE(Zet00::IsUniqueIndex(t, 2));
  EXPECT_EQ(MakeIV::CreateUserIndex(true, kunden_, "ORT", "NAMEN", false, nullptr), 0);
  EXPECT_EQ(Common::LastError(), -MakeIV::kErrIndexExists);

  // An ID index stays unique when the table is opened again.
  ASSERT_EQ(MakeIV::CreateUserIndex(true, kunden_, "ORT,NAME", "ORTE", true, nullptr), 3);
  index_test::CloseForTest(kunden_);
  const int h = index_test::OpenForTest(TempPath("KUNDEN.DAT"));
  EXPECT_EQ(T(h).highestIndexSlot, 3);
  ASSERT_TRUE(Zet00::IndexAvailable(h, 3, true));
  EXPECT_TRUE(Zet00::IsUniqueIndex(T(h), 3));
  EXPECT_EQ(index_test::WalkIndex(h, 3), (std::vector<uint32_t>{2, 3, 4, 1}));
}

TEST_F(MakeIVTest, SearchKeysFromTexts) {
  ASSERT_NE(MakeIV::CreateUserIndex(true, kunden_, "NAME,NR", "NAMEN", false, nullptr), 0);
  const uint8_t* desc = T(kunden_).indexes[2]->header.data();
  Key low{}, high{}, key{};
  ASSERT_EQ(Zet00::KeyFromText(kunden_, 2, "Meier", low.data(), Zet00::kLowLimitRecord), 0);
  ASSERT_EQ(Zet00::KeyFromText(kunden_, 2, "Meier", high.data(), Zet00::kHighLimitRecord), 0);
  // The name is kept; the missing number is the type's lowest (below the
  // negative numbers too), or 32767 above.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(high.data() + 5), high[4]), "Meier");
  EXPECT_EQ(bytes::GetI16(low.data() + 25), -32768);
  EXPECT_EQ(bytes::GetI16(high.data() + 25), 32767);
  // Both Meiers lie between the limits, Adam and Zorn outside.
  ZetTable::Table(kunden_)->recordBuffer.assign(T(kunden_).recordLength, 0);
  for (uint32_t recno : {1u, 2u, 3u, 4u}) {
    std::vector<uint8_t> record(T(kunden_).recordLength);
    ASSERT_EQ(Zet00::ReadRecordHook(kunden_, recno, record.data()), 0);
    ASSERT_EQ(Zet00::MakeKey(kunden_, 2, record.data(), key.data(), recno), 0);
    const bool inside = Zet00::KeyBefore(low.data(), key.data(), desc) && Zet00::KeyBefore(key.data(), high.data(), desc);
    EXPECT_EQ(inside, recno == 1 || recno == 3) << recno;
  }
  // A value with a comma in parentheses; a given value in an upper limit.
  ASSERT_EQ(Zet00::KeyFromText(kunden_, 2, "(Meier, Hans), 3", key.data(), Zet00::kHighLimitRecord), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.data() + 5), key[4]), "Meier, Hans");
  EXPECT_EQ(bytes::GetI16(key.data() + 25), 3);

  // An open upper limit lies above every text, whatever its first letter.
  ASSERT_EQ(Zet00::KeyFromText(kunden_, 2, "", high.data(), Zet00::kHighLimitRecord), 0);
  for (const char* name : {"Zorn", "\xDE" "eta", "\xFF" "ber", "\xFE\xFE\xFE", "zzz"}) {
    std::vector<uint8_t> record(T(kunden_).recordLength);
    ZetTable::SetFieldText(kunden_, kName, record.data(), name);
    ZetTable::SetFieldText(kunden_, kNr, record.data(), "32767");
    ASSERT_EQ(Zet00::MakeKey(kunden_, 2, record.data(), key.data(), 5), 0);
    EXPECT_TRUE(Zet00::KeyBefore(key.data(), high.data(), desc)) << name;
  }

  // An L part given as text names the linked record by its ID text.
  ASSERT_EQ(Zet00::KeyFromText(kunden_, 1, "Mutter", key.data(), 0), 0);
  EXPECT_EQ(bytes::GetI32(key.data() + 4), 2);
  ASSERT_EQ(Zet00::KeyFromText(kunden_, 1, "3", key.data(), 0), 0);
  EXPECT_EQ(bytes::GetI32(key.data() + 4), 3);
}

TEST_F(MakeIVTest, KeysBackIntoRecordsAndRecordsIntoKeyTexts) {
  // The ID key of "Meier^Hans" holds "Hans^Meier"; the record gets it back.
  TZetTable& a = T(artikel_);
  std::vector<uint8_t> record(a.recordLength);
  ASSERT_EQ(Zet00::ReadRecordHook(artikel_, 3, record.data()), 0);
  Key key{};
  ASSERT_EQ(Zet00::MakeKey(artikel_, 1, record.data(), key.data(), 3), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.data() + 5), key[4]), "Hans^Meier");
  std::vector<uint8_t> back(a.recordLength, 0xAA);
  Zet00::KeyToRecord(artikel_, key.data(), back.data());
  EXPECT_EQ(ZetTable::FieldText(a, 2, back.data()).view(), "Meier^Hans");
  EXPECT_EQ(bytes::GetI32(back.data()), 0);  // fields outside the key are cleared

  // The key text of the current record by an index.
  ASSERT_NE(MakeIV::CreateUserIndex(true, kunden_, "NAME:3,NR", "KURZ", false, nullptr), 0);
  TZetTable& k = T(kunden_);
  k.currentRecord = 1;
  ASSERT_EQ(Zet00::ReadRecordHook(kunden_, 1, k.recordBuffer.data()), 0);
  EXPECT_EQ(Zet00::RecordKeyText(kunden_, 2).view(), "Mei, 3");
  EXPECT_EQ(Zet00::RecordKeyText(kunden_, 0).view(), "2");  // slot 1: the link field
  a.currentRecord = 3;
  a.recordBuffer = record;
  EXPECT_EQ(Zet00::RecordKeyText(artikel_, 1).view(), "Meier^Hans");

  // An expression key gives its value, numbers with four decimals.
  MakeIV::CheckExpressionHook = CheckAsNumber;
  Zet00::ExpressionValueHook = [](int, std::string_view, Zet00::TKeyValue& v) {
    v.number = 2.5;
    return 0;
  };
  ASSERT_NE(MakeIV::CreateUserIndex(true, kunden_, "(PREIS*2)", "DOPPELT", false, nullptr), 0);
  EXPECT_EQ(Zet00::RecordKeyText(kunden_, 3).view(), "2,5000");
}

TEST_F(MakeIVTest, OrderByNameAndRangeLimits) {
  ASSERT_EQ(MakeIV::CreateUserIndex(true, kunden_, "NAME,NR", "NAMEN", false, nullptr), 2);
  TZetTable& t = T(kunden_);
  t.lowLimit.assign(260, 1);
  EXPECT_TRUE(Zet00::SetOrderByName(kunden_, "markierung"));
  EXPECT_EQ(t.orderMode, ZetTable::kOrderMarks);
  EXPECT_TRUE(t.lowLimit.empty());
  EXPECT_TRUE(Zet00::SetOrderByName(kunden_, "Namen.ind"));
  EXPECT_EQ(t.orderMode, ZetTable::kOrderIndex);
  EXPECT_EQ(t.currentIndex, 2);
  EXPECT_FALSE(Zet00::SetOrderByName(kunden_, "NAMEN"));
  EXPECT_EQ(t.orderMode, ZetTable::kOrderIndex);
  EXPECT_TRUE(Zet00::SetOrderByName(kunden_, "NUMMER"));
  EXPECT_EQ(t.orderMode, ZetTable::kOrderRecords);

  // Record order: limits are record numbers.
  ASSERT_EQ(Zet00::SetRangeStart(kunden_, "2"), 0);
  EXPECT_EQ(Zet00::KeyRecordNumber(t.lowLimit.data()), 2u);

  // Index order: limits are keys; parts extend the text that made them.
  ASSERT_TRUE(Zet00::SetOrderByName(kunden_, "NAMEN.IND"));
  ASSERT_EQ(Zet00::SetRangeEnd(kunden_, "Meier"), 0);
  EXPECT_EQ(Zet00::KeyRecordNumber(t.highLimit.data()), Zet00::kHighLimitRecord);
  EXPECT_EQ(bytes::GetI16(t.highLimit.data() + 25), 32767);
  ASSERT_EQ(Zet00::AddRangeEndPart(kunden_, "4"), 0);
  EXPECT_EQ(bytes::GetI16(t.highLimit.data() + 25), 4);
  ASSERT_EQ(Zet00::AddRangeStartPart(kunden_, "Adam"), 0);
  EXPECT_EQ(Zet00::KeyRecordNumber(t.lowLimit.data()), Zet00::kLowLimitRecord);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(t.lowLimit.data() + 5), t.lowLimit[4]), "Adam");

  // Field values come from the current key while the table walks the index.
  ZetTable::SetCurrentHandle(kunden_);
  ASSERT_EQ(Zet00::IndexFirst(kunden_, 2), Zet00::kStatusFound);
  Common::FieldValue value;
  int cls = 0;
  bool isNull = true;
  ASSERT_TRUE(Zet00::KeyFieldValue(kunden_, kName, value, cls, isNull));
  EXPECT_EQ(cls, Common::kClassText);
  EXPECT_EQ(value.text.view(), "Adam");
  EXPECT_FALSE(isNull);
  ASSERT_TRUE(Zet00::KeyFieldValue(kunden_, kNr, value, cls, isNull));
  EXPECT_EQ(cls, Common::kClassNumber);
  EXPECT_EQ(value.number, 1);
  EXPECT_FALSE(Zet00::KeyFieldValue(kunden_, kOrt, value, cls, isNull));
  ZetTable::SetCurrentHandle(artikel_);
  EXPECT_FALSE(Zet00::KeyFieldValue(kunden_, kName, value, cls, isNull));
}

// A user index whose creation fails at any write leaves no directory entry
// without its file: opened again, the table finds every index its directory
// names.
TEST_F(MakeIVTest, FailedIndexCreationLeavesNoDirectoryEntryWithoutFile) {
  for (uint16_t version : {1, 2}) {
    for (int nth = 1; nth <= 12; ++nth) {
      SCOPED_TRACE("version " + std::to_string(version) + ", write " + std::to_string(nth));
      const std::string path = TempPath("V" + std::to_string(version) + "_" + std::to_string(nth) + ".DAT");
      auto table = MakeTable(version, {{"NAME", 1, 10, 10}, {"NR", 2, 1, 6}});
      ASSERT_EQ(Zet06::CreateTable(*table, path, {}, false, 0, 0), 0);
      int h = ZetTable::OpenCount() + 1;
      ASSERT_EQ(Zet01::OpenTable(h, ZetTable::kRightsMask, path, 0, 0, ""), 0);
      for (auto [name, nr] : {std::pair{"Adam", "1"}, {"Zorn", "2"}}) {
        index_test::SetText(h, 1, name);
        index_test::SetText(h, 2, nr);
        ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
      }
      // Version 1 keeps the sixth index in its companion file.
      for (int i = 1; i <= 5; ++i)
        ASSERT_EQ(MakeIV::CreateUserIndex(true, h, i % 2 ? "NAME" : "NR", "I" + std::to_string(i), false, nullptr), i);
      platform::InjectFileFault(platform::FileOp::Write, nth, platform::kDosWriteFault);
      platform::InjectFileFault(platform::FileOp::Write, nth + 1, platform::kDosWriteFault);
      MakeIV::CreateUserIndex(true, h, "NAME", "SECHS", false, nullptr);
      platform::ResetFileFaults();
      ASSERT_EQ(Zet01::CloseTable(h), 0);
      if (ZetTable::OpenCount() == h) ZetTable::SetOpenCount(h - 1);

      h = ZetTable::OpenCount() + 1;
      ASSERT_EQ(Zet01::OpenTable(h, ZetTable::kRightsMask, path, 0, 0, ""), 0) << Common::LastErrorText().view();
      const TZetTable& t = T(h);
      for (int s = 1; s <= t.highestIndexSlot; ++s) {
        ASSERT_TRUE(t.indexes[size_t(s)]) << s;
        EXPECT_TRUE(std::filesystem::exists(Zet00::IndexPath(t, s).str())) << t.indexes[size_t(s)]->fileName.str();
      }
      ASSERT_EQ(Zet01::CloseTable(h), 0);
      if (ZetTable::OpenCount() == h) ZetTable::SetOpenCount(h - 1);
      for (const auto& e : std::filesystem::directory_iterator(TempDir()))
        if (e.path().filename().string().rfind("I", 0) == 0 || e.path().filename().string().rfind("SECHS", 0) == 0)
          std::filesystem::remove(e.path());
    }
  }
}

}  // namespace
