// Counting and accumulating over a selection against the plain record loop:
// whatever the walk decides from keys, from its own comparisons or from runs
// of records, the records it selects, the sums over them and the errors are
// those of evaluating the condition on every record read from the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/selection.h"
#include "engine/storage/btrees.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

constexpr uint16_t kNr = 1, kName = 2, kOrt = 3, kAlter = 4, kPreis = 5;

// Texts that differ only in case, collate between others, hold "^" (keys
// keep them rotated) or are empty.
const char* const kOrte[] = {"K\xF6ln", "k\xF6ln", "K\xD6LN", "Koln", "Bonn", "Berlin", "Bremen", "Aachen",
                             "a^b",     "b^a",     "Z\xFCrich", ""};

struct Outcome {
  int status = 0;  // the first evaluation error, else 0
  double count = 0;
  double sum = 0;
};

class SelectionWalk : public zettest::EngineTest {
 protected:
  ZetTable::TZetTable& T() { return *ZetTable::Table(h_); }

  void SetUp() override {
    zettest::EngineTest::SetUp();
    Zet02::SetWriteEnable(true);
    const std::string path = TempPath("KUNDE.DAT");
    auto def = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                            {"NAME", Common::kTypeString, 20, 20},
                                            {"ORT", Common::kTypeString, 20, 20},
                                            {"ALTER", Common::kTypeInteger, 1, 5},
                                            {"PREIS", Common::kTypeReal, 7, 10}});
    ASSERT_EQ(Zet06::CreateTable(*def, path, Common::ScrambleString(""), false, 0, 0), 0);
    h_ = ZetTable::OpenCount() + 1;
    ASSERT_EQ(Zet01::OpenTable(h_, ZetTable::kRightsMask, path, 0, 0, ""), 0);
    ZetTable::SetCurrentHandle(h_);
    std::mt19937 rng(2811);
    for (int i = 0; i < 400; ++i) {
      T().recordBuffer.assign(T().recordLength, 0);
      ZetTable::SetFieldText(h_, kName, T().recordBuffer.data(), "N" + std::to_string(rng() % 50));
      ZetTable::SetFieldText(h_, kOrt, T().recordBuffer.data(), kOrte[rng() % std::size(kOrte)]);
      ZetTable::SetFieldText(h_, kAlter, T().recordBuffer.data(), std::to_string(int(rng() % 110) - 5));
      ZetTable::SetFieldText(h_, kPreis, T().recordBuffer.data(), std::to_string(rng() % 500));
      ASSERT_EQ(Zet01::AssignAutoNumber(h_), 0);
      ASSERT_EQ(Zet01::AppendRecord(h_, true, 0), 0);
    }
    // A key of the text alone, of the text and a descending number, a
    // descending number, a text cut short and an expression, on small pages
    // (a walk crosses many leaves).
    const int32_t pageSize = Zet00::IndexPageSize();
    ASSERT_TRUE(Zet00::SetIndexPageSize(Zet00::kMinIndexPageSize));
    for (const char* d : {"ORT", "ORT, -ALTER", "-ALTER", "ORT:4", "(ALTER * 2)"}) {
      const int slot = MakeIV::CreateUserIndex(true, h_, d, "I" + std::to_string(slots_.size()), false, nullptr);
      ASSERT_GT(slot, 0) << d << ": " << Common::LastErrorText().str();
      slots_.push_back(slot);
      keys_.push_back(d);
    }
    ASSERT_TRUE(Zet00::SetIndexPageSize(pageSize));
  }

  static ShortStr Compile(const std::string& text) {
    ShortStr code(text);
    uint64_t set = 0;
    EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << text;
    return code;
  }

  static double Value(const ShortStr& accumulator) {
    Zet02::TRunValue v;
    EXPECT_EQ(Zet02::SolveExpression(accumulator.view(), v), 0);
    return v.number;
  }

  // The records a walk visits, read from the file one by one and decided
  // by the evaluator.
  Outcome Reference(const ShortStr& code, const std::vector<uint32_t>& visited) {
    Outcome o;
    for (uint32_t r : visited) {
      EXPECT_EQ(Zet01::ReadRecordInto(h_, r, T().recordBuffer.data(), nullptr, 0, ZetTable::kOrderRecords), 0);
      ShortStr copy = code;
      int error = 0;
      int dependency = 0;
      const bool hit = Zet02::EvalSelection(copy, 3, error, dependency);
      if (error > 0) {
        o.status = error;
        break;
      }
      if (hit) {
        o.count += 1;
        Common::FieldValue v;
        Common::GetFieldAsNumber(T().recordBuffer.data(), T().Place(kPreis), T().version, v);
        o.sum += v.number;
      }
    }
    return o;
  }

  // The order the walk starts from: record order (probing picks an index),
  // index order on a slot, or marked order (kMarked).
  static constexpr int kMarked = -1;
  uint8_t Order(int slot) {
    ZetTable::ClearRangeLimits(h_);
    T().orderMode = slot == 0 ? ZetTable::kOrderRecords : slot == kMarked ? ZetTable::kOrderMarks : ZetTable::kOrderIndex;
    T().currentIndex = uint8_t(std::max(slot, 0));
    return T().orderMode;
  }

  // Marks every third record, the later ones first; answers them in their
  // marked order.
  std::vector<uint32_t> MarkSome() {
    ZetTable::ClearMarks(h_);
    std::vector<uint32_t> marked;
    for (uint32_t r = uint32_t(T().recordCount); r >= 1; r -= std::min<uint32_t>(r, 3)) {
      EXPECT_EQ(ZetTable::AddMark(h_, r), 0);
      marked.push_back(r);
    }
    return marked;
  }

  void ExpectAgreement(bool withSum) {
    const char* const selections[] = {
        "ORT = 'K\xF6ln'",
        "ORT = 'k\xF6ln'",
        "ORT >= 'B' & ORT < 'C'",
        "ORT von 'Aachen' bis 'Bonn'",
        "ORT = 'Zzz'",
        "ORT > 'z' & ORT < 'a'",
        "ORT = 'Bonn' & ALTER > 30",
        "ORT = 'Bonn' \\ ALTER < 10",
        "~(ORT = 'Bonn') & ALTER >= 18",
        "(ORT = 'Bonn' \\ ORT = 'Bremen') & ALTER von 20 bis 40",
        "ORT ? 'B*'",
        "ORT ? 'k*'",
        "ORT | 'ln'",
        "ORT = 'a^b'",
        "ORT = 'b^a'",
        "ORT >= 'b'",
        "ALTER = 50",
        "ALTER < 0",
        "ALTER <> 7 & ALTER <= 99",
        "PREIS > 100 & ORT = 'K\xF6ln'",
        "NAME = 'N1' \\ ORT = 'Bonn'",
        "ORT",
        "ALTER * 2 > 60",
        "ORT = 5 \\ ALTER = 1",
        "ALTER = 'x' & ORT = 'Bonn'",
        "",
    };
    std::vector<uint32_t> all;
    for (uint32_t r = 1; r <= uint32_t(T().recordCount); ++r) all.push_back(r);
    const std::vector<uint32_t> marked = MarkSome();
    for (const char* s : selections) {
      const Outcome everyRecord = Reference(Compile(s), all);
      const Outcome markedOnly = Reference(Compile(s), marked);
      for (size_t order = 0; order <= slots_.size() + 1; ++order) {
        const int slot = order == 0 ? 0 : order > slots_.size() ? kMarked : slots_[order - 1];
        SCOPED_TRACE(std::string(s) + " from " +
                     (order == 0 ? "record order" : slot == kMarked ? "marked order" : "the order of " + keys_[order - 1]) +
                     (withSum ? ", with a sum" : ""));
        const Outcome& want = slot == kMarked ? markedOnly : everyRecord;
        const uint8_t mode = Order(slot);
        ShortStr code = Compile(s);
        double hit = -1;
        const int status = Zet02::AccumulateSelected(code, hit);
        if (want.status != 0) {
          EXPECT_EQ(status, want.status);
          continue;
        }
        EXPECT_EQ(hit, want.count > 0 ? 1.0 : 0.0);
        EXPECT_EQ(Value(count_), want.count);
        if (withSum) EXPECT_EQ(Value(sum_), want.sum);
        // The walk leaves the table where it stood.
        EXPECT_EQ(T().orderMode, mode);
        EXPECT_TRUE(T().lowLimit.empty());
      }
    }
  }

  int h_ = 0;
  std::vector<int> slots_;
  std::vector<std::string> keys_;  // the key of each slot
  ShortStr count_;
  ShortStr sum_;
};

TEST_F(SelectionWalk, CountsAgreeWithEveryRecordDecidedFromTheFile) {
  count_ = Compile("Count(NR)");
  ExpectAgreement(false);
}

// Counting inside the index's pages with a page cache of two pages: the walk
// reads most pages from the file and drops them again.
TEST_F(SelectionWalk, CountsAgreeWhenTheIndexOutgrowsThePageCache) {
  const size_t budget = BTREES::CacheBudget();
  ASSERT_EQ(BTREES::SetCacheBudget(2 * Zet00::kMinIndexPageSize), 0);
  count_ = Compile("Count(NR)");
  ExpectAgreement(false);
  EXPECT_LE(BTREES::CachedBytes(), 2u * Zet00::kMinIndexPageSize);
  ASSERT_EQ(BTREES::SetCacheBudget(budget), 0);
}

TEST_F(SelectionWalk, AccumulatorsOverFieldsOutsideTheKeyReadTheRecord) {
  count_ = Compile("Count(NR)");
  sum_ = Compile("Sum(PREIS)");
  ExpectAgreement(true);
}

// A record read that fails ends the walk with the read's error as its
// status (index order of -ALTER, where the records are read one by one).
int FailingRead(int, uint32_t, uint8_t*) { return 23; }
TEST_F(SelectionWalk, AFailedReadIsTheWalksStatus) {
  ShortStr code = Compile("NAME = 'N1' \\ ALTER = 3");
  Order(slots_[2]);
  const Zet00::TReadRecordProc read = Zet00::ReadRecordHook;
  Zet00::ReadRecordHook = FailingRead;
  double hit = -1;
  const int status = Zet02::AccumulateSelected(code, hit);
  Zet00::ReadRecordHook = read;
  EXPECT_EQ(status, 23);
  EXPECT_EQ(hit, 0);
}

}  // namespace
