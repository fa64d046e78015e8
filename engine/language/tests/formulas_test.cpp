// Formula fields, assignment lists, expression indexes and index probing
// over tables on disk, with the language installed as at engine start.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/language/compiler.h"
#include "engine/language/formulas.h"
#include "engine/language/interp.h"
#include "engine/language/selection.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace editing_test;

class LanguageOverTables : public zettest::EngineTest {
 protected:
  TZetTable& T(int h) { return *ZetTable::Table(h); }
  std::string Text(int h, uint16_t n) { return ZetTable::FieldText(T(h), n, T(h).recordBuffer.data()).str(); }
  void Set(int h, uint16_t n, const std::string& text) {
    ZetTable::SetFieldText(h, n, T(h).recordBuffer.data(), text);
  }
  static std::string Compile(const std::string& text) {
    ShortStr code(text);
    uint64_t set = 0;
    EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << text;
    return code.str();
  }
};

// RECHNUNG: GESAMT = MENGE * PREIS, DOPPELT = GESAMT * 2 stands before
// GESAMT, so it settles in the second round.
constexpr uint16_t kRName = 1, kRDoppelt = 2, kRMenge = 3, kRPreis = 4, kRGesamt = 5;

int CreateInvoices(const std::string& path, const char* doppelt, const char* gesamt) {
  auto t = zettable_test::MakeTable(2, {{"NAME", Common::kTypeString, 20, 20},
                                        {"DOPPELT", Common::kTypeReal, 7, 10, ZetTable::kTypeHasFormula},
                                        {"MENGE", Common::kTypeInteger, 1, 5},
                                        {"PREIS", Common::kTypeReal, 7, 10},
                                        {"GESAMT", Common::kTypeReal, 7, 10, ZetTable::kTypeHasFormula}});
  t->formulas.push_back({kRDoppelt, ShortStr(doppelt), {}});
  t->formulas.push_back({kRGesamt, ShortStr(gesamt), {}});
  if (Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, 0) != 0) return 0;
  const int slot = ZetTable::OpenCount() + 1;
  return Zet01::OpenTable(slot, ZetTable::kRightsMask, path, 0, 0, "") == 0 ? slot : 0;
}

TEST_F(LanguageOverTables, FormulasAreComputedOnEveryWriteUntilStable) {
  const int h = CreateInvoices(TempPath("RECHNUNG.DAT"), "GESAMT * 2", "MENGE * PREIS");
  ASSERT_GT(h, 0);
  ASSERT_EQ(T(h).formulas.size(), 2u);
  ZetTable::SetCurrentHandle(h);
  T(h).recordBuffer.assign(T(h).recordLength, 0);
  Set(h, kRName, "Schrauben");
  Set(h, kRMenge, "3");
  Set(h, kRPreis, "2.5");
  ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
  std::vector<uint8_t> record(T(h).recordLength);
  ASSERT_EQ(Zet01::ReadRecordInto(h, 1, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0);
  EXPECT_DOUBLE_EQ(bytes::GetF64(record.data() + T(h).FieldOffset(kRGesamt)), 7.5);
  EXPECT_DOUBLE_EQ(bytes::GetF64(record.data() + T(h).FieldOffset(kRDoppelt)), 15);
  // An update recomputes them.
  T(h).currentRecord = 1;
  ASSERT_EQ(Zet01::ReadRecord(h, 1), 0);
  const std::vector<uint8_t> old = T(h).recordBuffer;
  Set(h, kRMenge, "4");
  bool changed = false;
  ASSERT_EQ(Zet01::UpdateRecord(h, old.data(), changed, 0, true, true), 0);
  ASSERT_EQ(Zet01::ReadRecordInto(h, 1, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0);
  EXPECT_DOUBLE_EQ(bytes::GetF64(record.data() + T(h).FieldOffset(kRDoppelt)), 20);
  // A formula that never settles stops after as many rounds as fields.
  T(h).formulas[0].text = ShortStr("DOPPELT + 1");
  Set(h, kRDoppelt, "0");
  EXPECT_EQ(Formeln::ApplyFormulas(h, false), 0);
  EXPECT_EQ(Text(h, kRDoppelt).find('5') != std::string::npos, true) << Text(h, kRDoppelt);
  // A formula that does not compile is error 25, one of the wrong type 44;
  // the current table comes back either way.
  ZetTable::SetCurrentHandle(0);
  T(h).formulas[0].text = ShortStr("UNBEKANNT * 2");
  EXPECT_EQ(Formeln::ApplyFormulas(h, false), 25);
  EXPECT_TRUE(T(h).formulas[0].work.empty());
  T(h).formulas[0].text = ShortStr("NAME");
  EXPECT_EQ(Formeln::ApplyFormulas(h, false), 44);
  EXPECT_EQ(ZetTable::CurrentHandle(), 0);
  // Fields flagged 0x40 are left out on request.
  T(h).Descriptor(kRDoppelt)[ZetTable::kDescType] |= ZetTable::kTypeSkipFormulaPass;
  EXPECT_EQ(Formeln::ApplyFormulas(h, true), 0);
  CloseArticles(h);
}

TEST_F(LanguageOverTables, AssignmentListsApplyToTheirTable) {
  const int h = CreateInvoices(TempPath("RECHNUNG.DAT"), "GESAMT * 2", "MENGE * PREIS");
  ASSERT_GT(h, 0);
  ZetTable::SetCurrentHandle(h);
  Zet02::SetWriteEnable(true);
  const std::string list = Compile("MENGE := 2, PREIS := 1.5, NAME := 'Nagel'");
  uint64_t allowed = 0;
  Common::Include64(allowed, h - 1);
  ASSERT_EQ(Formeln::AppendAssignedRecord(list, false), 0);
  EXPECT_EQ(T(h).recordCount, 1);
  EXPECT_EQ(Text(h, kRName), "Nagel");
  EXPECT_DOUBLE_EQ(bytes::GetF64(T(h).recordBuffer.data() + T(h).FieldOffset(kRGesamt)), 3);
  T(h).currentRecord = 1;
  ASSERT_EQ(Formeln::ApplyAssignments(Compile("MENGE := MENGE + 1"), false, allowed), 0);
  ASSERT_EQ(Zet01::ReadRecord(h, 1), 0);
  EXPECT_EQ(Text(h, kRMenge), "3");
  EXPECT_DOUBLE_EQ(bytes::GetF64(T(h).recordBuffer.data() + T(h).FieldOffset(kRGesamt)), 4.5);
  struct Case {
    std::string list;
    uint64_t allowed;
    int error;
  };
  const Case cases[] = {
      {Compile("GESAMT := 1"), allowed, 44},  // a formula field
      {Compile("NAME := 1"), allowed, 44},
      {Compile("MENGE := 1"), 0, 87},
      {Compile("MENGE 1"), allowed, 54},
      {Compile("MENGE := 1 PREIS := 2"), allowed, 56},
  };
  for (const Case& c : cases) EXPECT_EQ(Formeln::ApplyAssignments(c.list, false, c.allowed), c.error);
  EXPECT_EQ(Formeln::AppendAssignedRecord("", false), 58);
  Zet02::SetWriteEnable(false);
  CloseArticles(h);
}

// The expression index over ARTIKEL agrees with a scan of the records.
void ExpectExpressionIndexAgrees(int h, int slot) {
  TZetTable& t = *ZetTable::Table(h);
  const std::vector<Article> scan = ScanArticles(h);
  std::vector<bool> seen(scan.size() + 1, false);
  double previous = -1e300;
  size_t keys = 0;
  for (uint8_t st = Zet00::IndexFirst(h, slot); st == Zet00::kStatusFound; st = Zet00::IndexNext(h, slot)) {
    const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
    ASSERT_TRUE(recno >= 1 && recno <= scan.size()) << recno;
    ASSERT_FALSE(seen[recno]) << recno;
    seen[recno] = true;
    const double value = scan[recno - 1].menge * 2.0 + scan[recno - 1].code;
    ASSERT_EQ(bytes::GetF64(t.currentKey.data() + 4), value) << "stale key of record " << recno;
    ASSERT_LE(previous, value);
    previous = value;
    ++keys;
  }
  ASSERT_EQ(keys, scan.size());
}

TEST_F(LanguageOverTables, ExpressionIndexStaysInStepAndSurvivesReopening) {
  const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"), 0);
  int h = OpenArticles(path, 0);
  ASSERT_GT(h, 0);
  ZetTable::SetCurrentHandle(h);
  const int slot = MakeIV::CreateUserIndex(true, h, "(MENGE * 2 + CODE)", "SUMME", false, nullptr);
  ASSERT_GT(slot, 0) << Common::LastErrorText().str();
  std::mt19937 rng(1207);
  std::set<int> codes;
  std::vector<int16_t> rowCodes;  // per record number
  for (int op = 0; op < 20000; ++op) {
    const uint32_t count = uint32_t(rowCodes.size());
    const uint32_t kind = rng() % 100;
    int16_t code = int16_t(rng() % 30000);
    while (codes.count(code)) code = int16_t((code + 1) % 30000);
    Article a{0, code, "N" + std::to_string(rng() % 1000), int16_t(int(rng() % 201) - 100)};
    const bool flush = rng() % 200 == 0;
    if (kind < 45 || count == 0) {
      T(h).recordBuffer.assign(T(h).recordLength, 0);
      PutArticle(h, a);
      ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
      ASSERT_EQ(Zet01::AppendRecord(h, flush, 0), 0) << op;
      codes.insert(code);
      rowCodes.push_back(code);
    } else if (kind < 75) {
      const uint32_t r = 1 + rng() % count;
      T(h).currentRecord = r;
      ASSERT_EQ(Zet01::ReadRecord(h, r), 0);
      const std::vector<uint8_t> old = T(h).recordBuffer;
      codes.erase(rowCodes[r - 1]);
      PutArticle(h, a);
      bool changed = false;
      ASSERT_EQ(Zet01::UpdateRecord(h, old.data(), changed, 0, flush, true), 0) << op;
      codes.insert(code);
      rowCodes[r - 1] = code;
    } else {
      const uint32_t r = 1 + rng() % count;
      T(h).currentRecord = r;
      ASSERT_EQ(Zet01::DeleteRecord(h, flush, true, 0), 0) << op;
      codes.erase(rowCodes[r - 1]);
      rowCodes[r - 1] = rowCodes.back();
      rowCodes.pop_back();
    }
  }
  ExpectExpressionIndexAgrees(h, slot);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Zet01::FlushTable(h, true), 0);
  CloseArticles(h);
  h = OpenArticles(path, 0);
  ASSERT_GT(h, 0);
  ASSERT_TRUE(T(h).indexes[size_t(slot)]);
  EXPECT_EQ(Zet00::KeyExpressionText(T(h).indexes[size_t(slot)]->header.data()).view(), "MENGE * 2 + CODE");
  ExpectExpressionIndexAgrees(h, slot);
  CloseArticles(h);
}

TEST_F(LanguageOverTables, ProbingPicksTheEqualIndexAndItsRange) {
  const std::string path = CreateArticles(TempPath("ARTIKEL.DAT"), 0);
  const int h = OpenArticles(path, 0);
  ASSERT_GT(h, 0);
  ZetTable::SetCurrentHandle(h);
  int16_t code = 1;
  for (const char* name : {"Bolzen", "Mutter", "Niete", "Mutter", "Zange"}) {
    T(h).recordBuffer.assign(T(h).recordLength, 0);
    PutArticle(h, Article{0, code, name, int16_t(code * 10)});
    ++code;
    ASSERT_EQ(Zet01::AssignAutoNumber(h), 0);
    ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
  }
  struct Case {
    const char* selection;
    int slot;  // -1: none chosen
    int score;
    double hits;
  };
  const Case cases[] = {
      {"MENGE > 15 & NAME = 'Mutter'", kNameIndex, 4, 1},
      {"NAME = 'Mutter'", kNameIndex, 4, 1},
      {"MENGE von 20 bis 40", kMengeIndex, 2, 1},  // a descending index
      {"MENGE < 20", kMengeIndex, 1, 1},
      {"NAME ? 'M*'", kNameIndex, 3, 1},
      {"NAME = 'Mutter' \\ MENGE = 50", -1, 0, 1},
      {"NAME | 'u'", -1, 0, 1},
      {"NAME = 'Kein'", kNameIndex, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selection);
    ShortStr code(c.selection);
    uint64_t set = 0;
    ASSERT_EQ(Zet02::CompileExpression(code, set), 0);
    uint8_t oldIndex = 0;
    uint8_t oldOrder = 0;
    T(h).orderMode = ZetTable::kOrderRecords;
    const bool chosen = Zet02::ChooseSearchIndex(code, oldIndex, oldOrder);
    EXPECT_EQ(chosen, c.slot >= 0);
    if (chosen) {
      EXPECT_EQ(T(h).currentIndex, c.slot);
      EXPECT_EQ(Zet02::LastIndexScore(), c.score);
      EXPECT_FALSE(T(h).lowLimit.empty());
    }
    Zet02::RestoreSearchIndex(oldIndex, oldOrder);
    EXPECT_EQ(T(h).orderMode, ZetTable::kOrderRecords);
    double hit = -1;
    Zet02::AccumulateSelected(code, hit);
    EXPECT_EQ(hit, c.hits);
  }
  CloseArticles(h);
}

}  // namespace

namespace {

// A table of the first file version keeps its numbers as 6-byte reals and
// compares its text keys in the OEM order; an expression key over a text
// must hold the same bytes as a plain key over that field, or a search by
// the one would miss records that the other finds.
TEST_F(LanguageOverTables, ExpressionKeysOfFirstVersionTablesMatchTheirFieldKeys) {
  const std::string path = TempPath("ALT.DAT");
  auto def = zettable_test::MakeTable(1, {{"NAME", Common::kTypeString, kNameLength, kNameLength},
                                          {"MENGE", Common::kTypeReal, 5, 2}});
  def->indexes[2] = UserIndex("NAMEN.IND", 1, kNameLength + 1, Common::kTypeString);
  ASSERT_EQ(Zet06::CreateTable(*def, path, Common::ScrambleString(""), false, 0, 0), 0);
  const int h = ZetTable::OpenCount() + 1;
  ASSERT_EQ(Zet01::OpenTable(h, ZetTable::kRightsMask, path, 0, 0, ""), 0);
  ZetTable::SetCurrentHandle(h);
  const int byName = MakeIV::CreateUserIndex(true, h, "(NAME)", "AUSDRUCK", false, nullptr);
  ASSERT_GT(byName, 0) << Common::LastErrorText().str();
  T(h).recordBuffer.assign(T(h).recordLength, 0);
  Common::FieldValue name;
  name.text = "M\xFCller \xC4rger";
  ASSERT_EQ(Zet01::SetFieldValue(h, 1, name, Zet01::kValueIsText), 0);
  std::array<uint8_t, ZetTable::kMaxKeySize> plain{}, expression{};
  ASSERT_EQ(Zet00::MakeKey(h, 2, T(h).recordBuffer.data(), plain.data(), 1), 0);
  ASSERT_EQ(Zet00::MakeKey(h, byName, T(h).recordBuffer.data(), expression.data(), 1), 0);
  const uint8_t* a = plain.data() + ZetTable::kKeyRecordNumber;
  const uint8_t* b = expression.data() + ZetTable::kKeyRecordNumber;
  ASSERT_EQ(a[0], 12);
  EXPECT_EQ(std::string(a, a + 13), std::string(b, b + 13));
  // Expressions see the texts in the ANSI form, like every other reader.
  Zet02::TRunValue value;
  ASSERT_EQ(Zet02::SolveExpression(Compile("NAME"), value), 0);
  EXPECT_EQ(value.text.view(), "M\xFCller \xC4rger");
  // A number of an expression key is stored as the 6-byte real of the
  // file's own field keys.
  const int byAmount = MakeIV::CreateUserIndex(true, h, "(MENGE)", "BETRAG", false, nullptr);
  ASSERT_GT(byAmount, 0) << Common::LastErrorText().str();
  for (const double amount : {0.0, 12.5, -3.25, 1e9}) {
    SCOPED_TRACE(amount);
    Common::FieldValue menge;
    menge.number = amount;
    ASSERT_EQ(Zet01::SetFieldValue(h, 2, menge, 0), 0);
    ASSERT_EQ(Zet00::MakeKey(h, byAmount, T(h).recordBuffer.data(), expression.data(), 1), 0);
    uint8_t real6[Common::kReal6Size];
    std::memcpy(real6, T(h).recordBuffer.data() + T(h).FieldOffset(2), sizeof real6);
    EXPECT_EQ(std::string(b, b + Common::kReal6Size), std::string(real6, real6 + Common::kReal6Size));
    EXPECT_EQ(Common::Real6ToDouble(b), amount);
  }
  CloseArticles(h);
}

}  // namespace
