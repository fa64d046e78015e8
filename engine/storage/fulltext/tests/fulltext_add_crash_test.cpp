// An add to the full-text index killed (SIGKILL) right before each of its
// changes to a file in turn, a write that crosses a page boundary torn there
// as a kill leaves it. After each kill the three tables must open (the open
// repairs what the add left), the word table's records must be the words
// that were there, each with its old or its new hit count and never a mix,
// plus new words with their full counts, and the indexes of the word table
// and index 1 of the relation table must agree with the records. The word
// table is scrambled and large enough that some of the counted word records
// cross a page boundary of its file.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common_errors.h"
#include "engine/base/lowfiles.h"
#include "engine/base/uppercas.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/tests/fulltext_test_util.h"
#include "engine/storage/recordguard.h"
#include "engine/testsupport/child_process.h"
#include "platform/files.h"

namespace {

using namespace fulltext_test;
using zettest::InChild;
namespace fs = std::filesystem;

// Most kills before the add gets through.
constexpr int kMaxChanges = 3000;

// A word of letters only, one for each i.
std::string WordNamed(int i) {
  std::string word = "Wort";
  for (int k = 0; k < 3; ++k, i /= 26) word += char('a' + i % 26);
  return word;
}

std::string Upper(const std::string& word) {
  ShortStr w(word);
  UPPERCAS::UpperStr(w);
  return w.str();
}

class FullTextAddCrash : public FullTextTableTest {
 protected:
  void SetUp() override {
    FullTextTableTest::SetUp();
    Layout layout;
    layout.wordTableKey = 0x0BADC0DE;
    CreateTables(layout);
  }

  static void CloseTables() {
    for (int slot : {kRel, kWords, kSource}) ASSERT_EQ(Zet01::CloseTable(slot), 0);
  }

  // Every key of the index is the key of its record, one per record.
  static void ExpectIndexAgrees(int slot, int s) {
    TZetTable& t = T(slot);
    SCOPED_TRACE("table " + std::to_string(slot) + " index " + std::to_string(s));
    ASSERT_TRUE(t.indexes[size_t(s)] && Zet00::IndexAvailable(slot, s, false));
    const uint32_t length = Zet00::KeyLength(t.indexes[size_t(s)]->header.data());
    std::vector<bool> seen(size_t(t.recordCount) + 1);
    for (uint8_t st = Zet00::IndexFirst(slot, s); st == Zet00::kStatusFound; st = Zet00::IndexNext(slot, s)) {
      const auto key = t.currentKey;
      const uint32_t recno = Zet00::KeyRecordNumber(key.data());
      ASSERT_TRUE(recno >= 1 && recno <= uint32_t(t.recordCount) && !seen[recno]) << recno;
      seen[recno] = true;
      std::vector<uint8_t> record(t.recordLength);
      ASSERT_EQ(Zet01::ReadRecordInto(slot, recno, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0);
      std::array<uint8_t, ZetTable::kMaxKeySize> made{};
      ASSERT_EQ(Zet00::MakeKey(slot, s, record.data(), made.data(), recno), 0);
      EXPECT_EQ(std::memcmp(made.data(), key.data(), length), 0) << "stale key of record " << recno;
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), true), t.recordCount);
  }
};

// An index 2 that the open built again from the relation records lost the
// source records and weights of its keys: queries and adds refuse it, naming
// the relation table, until a build mends it.
TEST_F(FullTextAddCrash, RelationIndexRebuiltAtOpenIsRefusedUntilBuilt) {
  std::vector<Row> rows;
  for (int i = 0; i < 20; ++i) rows.push_back({WordNamed(i) + " Haus", "", int16_t(i % 7)});
  AppendMany(rows);
  ASSERT_GT(FullText::BuildIndex(Request(), nullptr), 0);
  std::vector<uint32_t> all;
  for (uint32_t r = 1; r <= rows.size(); ++r) all.push_back(r);
  ASSERT_EQ(Marks("Haus"), all);
  ReopenWithRelationIndexUnsettled();
  const std::vector<EntryKey> keys = RelationKeys();
  ASSERT_FALSE(keys.empty());
  EXPECT_TRUE(std::all_of(keys.begin(), keys.end(), [](const EntryKey& k) { return k.record == 0; }))
      << "the rebuild is expected to lose the source records";

  const auto expectRefused = [&](int32_t answer) {
    EXPECT_EQ(answer, FullText::kErrRelationKeysLost);
    EXPECT_EQ(Common::LastError(), -int32_t(Zet00::kErrIndexDamaged));
    EXPECT_NE(Common::LastErrorText().str().find("VOLLTEXT.REL"), std::string::npos) << Common::LastErrorText().str();
  };
  ZetTable::ClearMarks(kSource);
  ZetTable::AddMark(kSource, 3);
  Common::ResetLastError();
  expectRefused(FullText::MarkRecords(kSource, kWords, "Haus", "", "", Relations(), 0));
  EXPECT_EQ(ZetTable::MarkList(T(kSource)).Items(), std::vector<uint32_t>{3}) << "the marks stay";
  std::vector<uint8_t> buffer(8, 0xFF);
  Bitarray::TBitArray bits{int32_t(buffer.size()), buffer.data()};
  Common::ResetLastError();
  expectRefused(FullText::CountRecords(kSource, kWords, "Haus", "", "", Relations(), 0, bits));
  const int32_t relationRecords = T(kRel).recordCount;
  ASSERT_EQ(Zet01::ReadRecord(kSource, 1), 0);
  T(kSource).currentRecord = 1;
  Common::ResetLastError();
  expectRefused(FullText::AddRecord(Request()));
  EXPECT_EQ(T(kRel).recordCount, relationRecords) << "the add changed nothing";

  ASSERT_GT(FullText::BuildIndex(Request(), nullptr), 0);
  EXPECT_EQ(Marks("Haus"), all);
  EXPECT_EQ(Marks(WordNamed(4)), std::vector<uint32_t>{5});
  EXPECT_EQ(Marks("Haus", 4), (std::vector<uint32_t>{5, 6, 7, 12, 13, 14, 19, 20}));  // weights 4, 5, 6
  EXPECT_EQ(FullText::AddRecord(Request()), 0);
}

TEST_F(FullTextAddCrash, KilledAtEachChangeLeavesCountsOldOrNewAndIndexesWhole) {
  std::vector<Row> rows;
  for (int i = 0; i < 200; ++i) rows.push_back({WordNamed(i) + " Haus", "", int16_t(i % 7)});
  AppendMany(rows);
  ASSERT_GT(FullText::BuildIndex(Request(), nullptr), 0);
  const std::vector<WordRecord> before = WordRecords();

  // The added record: every word whose record crosses a page boundary, and
  // words it holds more than once, in several spellings, new ones too.
  std::map<std::string, int> occurrences;
  std::string memo;
  const TZetTable& w = T(kWords);
  for (size_t r = 0; r < before.size(); ++r) {
    if (!RecordGuard::CrossesPage(w.headerSize + uint64_t(r) * w.recordLength, w.recordLength)) continue;
    memo += before[r].word + " ";
    ++occurrences[Upper(before[r].word)];
  }
  ASSERT_FALSE(occurrences.empty()) << "no word record crosses a page boundary ";
  memo += "Haus HAUS Neuwort neuwort";
  const Row row{"Haus Garten " + WordNamed(1), memo, 3};
  for (const std::string& word : {std::string("HAUS"), std::string("HAUS"), std::string("HAUS"), std::string("GARTEN"),
                                  Upper(WordNamed(1)), std::string("NEUWORT"), std::string("NEUWORT")})
    ++occurrences[word];
  Append(row);
  const uint32_t added = uint32_t(T(kSource).recordCount);
  CloseTables();

  const fs::path dir = fs::path(TempPath("QUELLE.DAT")).parent_path();
  const fs::path saved = dir / "saved";
  fs::create_directory(saved);
  for (const auto& f : fs::directory_iterator(dir))
    if (f.is_regular_file()) fs::copy_file(f.path(), saved / f.path().filename());

  int kills = 0, refused = 0;
  for (int change = 1;; ++change) {
    ASSERT_LT(change, kMaxChanges) << "the add never finishes";
    SCOPED_TRACE("killed before change " + std::to_string(change));
    for (const auto& f : fs::directory_iterator(dir))
      if (f.is_regular_file()) fs::remove(f.path());
    for (const auto& f : fs::directory_iterator(saved)) fs::copy_file(f.path(), dir / f.path().filename());
    const int status = InChild([&] {
      LOWFILES::SetSyncWrites(false);
      if (Zet01::OpenTable(kSource, ZetTable::kRightsMask, TempPath("QUELLE.DAT"), 0, sourceKey_, "") != 0 ||
          Zet01::OpenTable(kWords, ZetTable::kRightsMask, TempPath("WORTE.DAT"), 0, wordTableKey_, "") != 0 ||
          Zet01::OpenTable(kRel, ZetTable::kRightsMask, TempPath("VOLLTEXT.REL"), 0, 0, "") != 0 ||
          (T(kSource).currentRecord = added, Zet01::ReadRecord(kSource, added)) != 0)
        _exit(3);
      platform::InjectCrashAtChange(change, true);
      _exit(FullText::AddRecord(Request()) == 0 ? 0 : 4);
    });
    const bool finished = WIFEXITED(status);
    if (finished) {
      ASSERT_EQ(WEXITSTATUS(status), 0);
    } else {
      ASSERT_TRUE(WIFSIGNALED(status));
      ++kills;
    }

    OpenTables();
    ASSERT_EQ(T(kSource).recordCount, int32_t(added));
    const std::vector<WordRecord> now = WordRecords();
    ASSERT_GE(now.size(), before.size());
    for (size_t r = 0; r < now.size(); ++r) {
      const auto counted = occurrences.find(Upper(now[r].word));
      const int more = counted == occurrences.end() ? 0 : counted->second;
      if (r < before.size()) {
        EXPECT_EQ(now[r].word, before[r].word) << r;
        EXPECT_EQ(now[r].number, before[r].number) << r;
        EXPECT_TRUE(now[r].hits == before[r].hits || now[r].hits == before[r].hits + more)
            << now[r].word << " holds " << now[r].hits << ", was " << before[r].hits;
      } else {
        EXPECT_TRUE(now[r].word == "Neuwort" || now[r].word == "Garten") << now[r].word;
        EXPECT_EQ(now[r].hits, more) << now[r].word;
      }
      if (finished) EXPECT_EQ(now[r].hits, (r < before.size() ? before[r].hits : 0) + more) << now[r].word;
    }
    for (int s = Zet00::FirstIndexSlot(T(kWords)); s <= T(kWords).highestIndexSlot; ++s)
      if (T(kWords).indexes[size_t(s)]) ExpectIndexAgrees(kWords, s);
    ExpectIndexAgrees(kRel, FullText::kEntryIndex);
    // A kill before the relation table changed leaves index 2 as the build
    // made it; after that the open built it again from the records, and
    // queries refuse it rather than find nothing. A build mends it.
    if (!finished) {
      const int16_t answer = FullText::MarkRecords(kSource, kWords, "Haus", "", "", Relations(), 0);
      if (answer == 0) {
        EXPECT_EQ(ZetTable::MarkList(T(kSource)).Count(), rows.size()) << "Haus";
      } else {
        EXPECT_EQ(answer, FullText::kErrRelationKeysLost);
        if (refused++ == 0) {
          ASSERT_GT(FullText::BuildIndex(Request(), nullptr), 0);
          EXPECT_EQ(Marks("Haus").size(), rows.size() + 1);
        }
      }
    }
    if (finished) {
      EXPECT_EQ(now.size(), before.size() + 2);
      EXPECT_EQ(Marks("Neuwort," + WordNamed(1)), std::vector<uint32_t>{added});
    }
    CloseTables();
    if (finished || HasFailure()) break;
  }
  EXPECT_GT(kills, 10);
  EXPECT_GT(refused, 0) << "no kill left a relation index built again";
}

}  // namespace
