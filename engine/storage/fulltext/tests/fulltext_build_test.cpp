#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/dynstr.h"
#include "engine/base/lowfiles.h"
#include "engine/base/ramfiles.h"
#include "engine/base/uppercas.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/tests/fulltext_test_util.h"
#include "engine/storage/tests/fault_test_util.h"
#include "engine/storage/winmemos.h"

namespace {

using namespace fulltext_test;
using FullText::TIndexRequest;
using MarkSet = std::vector<uint32_t>;
using RelPairs = std::vector<std::pair<int32_t, int32_t>>;

const std::string kHaus = "Haus", kGarten = "Garten", kBaum = "Baum";
const std::string kGroesse = "Gr\xF6\xDF" "e", kMueller = "M\xFCller";

class FullTextBuild : public FullTextTableTest {
 protected:
  void SetUp() override {
    FullTextTableTest::SetUp();
    CreateTables();
    stopFile_ = TempPath("STOP.TXT");
    std::ofstream(stopFile_, std::ios::binary) << "und\r\nder\r\nam\r\n";
  }

  // Three records; with the stop words, their words are
  //   1: Haus Garten (title), Garten Haus (memo)      weight 5
  //   2: Baum (title), Mueller (memo, as an entity)   weight 2
  //   3: haus BAUM Groesse                            weight 4
  void AppendThree() {
    Append({"Haus und Garten", "<p>Der Garten am Haus</p>", 5});
    Append({"Baum", "M&uuml;ller", 2});
    Append({"haus BAUM Gr\xF6\xDF" "e", "", 4});
  }

  TIndexRequest Req(uint16_t options = FullText::kOptHtml) {
    TIndexRequest r = Request(options);
    r.stopWordFile = stopFile_;
    return r;
  }

  std::string stopFile_;
};

TEST_F(FullTextBuild, WordsInCollationOrderAndHitsLatestFirst) {
  AppendThree();
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 7);

  // Numbers in the order the words were met, records in collation order,
  // each word counted once per record.
  EXPECT_EQ(WordRecords(), (std::vector<WordRecord>{
                               {kBaum, 2, 3}, {kGarten, 1, 2}, {kGroesse, 1, 5}, {kHaus, 2, 1}, {kMueller, 1, 4}}));
  EXPECT_EQ(FullText::ReadNextAutoNumber(kWords), 6u);
  EXPECT_EQ(RelationRecords(), (RelPairs{{3, 3}, {2, 3}, {1, 2}, {3, 5}, {3, 1}, {1, 1}, {2, 4}}));
  // Index 2: word number, source record, weight; the entry is the relation
  // record.
  const std::vector<EntryKey> keys = RelationKeys();
  const std::vector<std::tuple<uint32_t, int32_t, uint32_t, uint16_t>> expected = {
      {6, 1, 1, 5}, {5, 1, 3, 4}, {3, 2, 1, 5}, {2, 3, 2, 2}, {1, 3, 3, 4}, {7, 4, 2, 2}, {4, 5, 3, 4}};
  ASSERT_EQ(keys.size(), expected.size());
  for (size_t i = 0; i < keys.size(); ++i)
    EXPECT_EQ(std::make_tuple(keys[i].entry, keys[i].word, keys[i].record, keys[i].weight), expected[i]) << i;

  EXPECT_EQ(Marks("haus"), (MarkSet{1, 3}));
  EXPECT_EQ(Marks("Baum,Haus"), (MarkSet{3}));
  EXPECT_EQ(Marks("Baum+Garten"), (MarkSet{1, 2, 3}));
  EXPECT_EQ(Marks("Haus-Baum"), (MarkSet{1}));
  EXPECT_EQ(Marks("G*"), (MarkSet{1, 3}));
  EXPECT_EQ(Marks("*ler"), (MarkSet{2}));
  EXPECT_EQ(Marks("m?ller"), (MarkSet{2}));
  EXPECT_EQ(Marks("und"), (MarkSet{}));
  EXPECT_EQ(Marks("Haus", 4), (MarkSet{1, 3}));
  EXPECT_EQ(Marks("Baum", 4), (MarkSet{3}));
  EXPECT_EQ(Marks("Baum", 0x10002), (MarkSet{2}));
  EXPECT_EQ(Marks("Haus", 1), (MarkSet{1}));
  EXPECT_EQ(Marks("Haus", 2), (MarkSet{}));
}

TEST_F(FullTextBuild, QueryResultsAndErrors) {
  AppendThree();
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 7);
  FullText::TRelationSlots slots = Relations();

  // The part read before an error is marked.
  EXPECT_EQ(Marks("(haus+baum", 0, FullText::kErrMissingParen), (MarkSet{1, 2, 3}));
  // Long chains and deep groups are evaluated step by step.
  std::string chain = "garten";
  while (chain.size() + 5 <= FullText::kMaxQueryLength) chain += "+baum";
  EXPECT_EQ(Marks(chain), (MarkSet{1, 2, 3}));
  const std::string deep = std::string(FullText::kMaxQueryNesting, '(') + "haus,-baum" +
                           std::string(FullText::kMaxQueryNesting, ')');
  EXPECT_EQ(Marks(deep), (MarkSet{1}));
  EXPECT_EQ(Marks("(" + deep + ")", 0, FullText::kErrTooDeep), (MarkSet{}));
  EXPECT_EQ(Marks("garten )", 0, FullText::kErrTextLeft), (MarkSet{1}));
  // Checks that fail mark nothing and leave the marks.
  EXPECT_EQ(FullText::MarkRecords(kSource, kRel, "haus", "", "", slots, 0), FullText::kErrNoAutoNumber);
  EXPECT_EQ(ZetTable::MarkList(T(kSource)).Count(), 1u);
  slots[1] = kWords;
  EXPECT_EQ(FullText::MarkRecords(kSource, kWords, "haus", "", "", slots, 0), FullText::kErrBadRelationTable);
  slots[1] = 9;
  EXPECT_EQ(FullText::MarkRecords(kSource, kWords, "haus", "", "", slots, 0), FullText::kErrBadRelationTable);

  // Other operator characters stay in force for later queries.
  EXPECT_EQ(FullText::MarkRecords(kSource, kWords, "haus&!baum", "", "&|!", Relations(), 0), 0);
  EXPECT_EQ(Marks("haus|baum"), (MarkSet{1, 2, 3}));

  // Counting into a bit array: every bit written, the marks kept.
  Bitarray::TBitArray bits;
  Bitarray::Create(bits, 1);
  bits.buffer[0] = 0xFF;
  EXPECT_EQ(FullText::CountRecords(kSource, kWords, "baum", "", "", Relations(), 0, bits), 2);
  EXPECT_EQ(bits.buffer[0], 0b00001100);
  EXPECT_EQ(ZetTable::MarkList(T(kSource)).Count(), 3u);
  EXPECT_EQ(FullText::CountRecords(kSource, kWords, "(baum", "", "", Relations(), 0, bits), FullText::kErrMissingParen);
  EXPECT_EQ(bits.buffer[0], 0b00001100);
  Bitarray::Free(bits);
}

TEST_F(FullTextBuild, MaximumHitsAndExclusionFields) {
  AppendThree();
  TIndexRequest r = Req();
  r.maxHits = 2;
  ASSERT_EQ(FullText::BuildIndex(r, nullptr), 3);
  EXPECT_EQ(WordRecords(), (std::vector<WordRecord>{{kGarten, 1, 2}, {kGroesse, 1, 5}, {kMueller, 1, 4}}));
  EXPECT_EQ(Marks("haus+baum"), (MarkSet{}));

  // Words in the memo are not indexed for their record, even from the title.
  r = Req();
  r.fieldList = FieldList({kTitle});
  r.exclusionList = FieldList({kText});
  ASSERT_EQ(FullText::BuildIndex(r, nullptr), 4);
  EXPECT_EQ(Marks("haus"), (MarkSet{3}));
  EXPECT_EQ(Marks("garten+baum"), (MarkSet{2, 3}));
  // Also when only known words are indexed.
  r.options |= FullText::kOptReadExisting | FullText::kOptNoNewWords;
  ASSERT_EQ(FullText::BuildIndex(r, nullptr), 4);
  EXPECT_EQ(Marks("haus"), (MarkSet{3}));
}

TEST_F(FullTextBuild, ReadExistingNoNewWordsAndWordTableOnly) {
  AppendThree();
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 7);
  const std::vector<WordRecord> built = WordRecords();

  // Without known words, "no new words" indexes nothing and keeps the word
  // table.
  EXPECT_EQ(FullText::BuildIndex(Req(FullText::kOptHtml | FullText::kOptNoNewWords), nullptr), 0);
  EXPECT_EQ(T(kRel).recordCount, 0);
  EXPECT_EQ(WordRecords(), built);

  // Reading the existing words keeps their numbers; new words go on from the
  // counter, and the stored hit counts go on growing.
  Append({"Neubau am Haus", "", 0});
  ASSERT_EQ(FullText::BuildIndex(Req(FullText::kOptHtml | FullText::kOptReadExisting), nullptr), 9);
  EXPECT_EQ(WordRecords(), (std::vector<WordRecord>{{kBaum, 4, 3},
                                                    {kGarten, 2, 2},
                                                    {kGroesse, 2, 5},
                                                    {kHaus, 5, 1},
                                                    {kMueller, 2, 4},
                                                    {"Neubau", 1, 6}}));
  EXPECT_EQ(Marks("haus,neubau"), (MarkSet{4}));

  // Rewriting the word table from its own words leaves out those with too
  // many hits and touches neither source nor relation table.
  const RelPairs relations = RelationRecords();
  TIndexRequest r = Req(FullText::kOptReadExisting | FullText::kOptWordTableOnly);
  r.maxHits = 4;
  r.fieldList = "\x01";  // never read
  r.relationTable = 0;
  EXPECT_EQ(FullText::BuildIndex(r, nullptr), -FullText::kErrSyntax);
  r.fieldList.clear();
  EXPECT_EQ(FullText::BuildIndex(r, nullptr), 0);
  EXPECT_EQ(WordRecords(),
            (std::vector<WordRecord>{{kGarten, 2, 2}, {kGroesse, 2, 5}, {kMueller, 2, 4}, {"Neubau", 1, 6}}));
  EXPECT_EQ(FullText::ReadNextAutoNumber(kWords), 7u);
  EXPECT_EQ(RelationRecords(), relations);
}

TEST_F(FullTextBuild, CompactIndexKeepsEntriesAsKeysOnly) {
  AppendThree();
  ASSERT_EQ(FullText::BuildIndex(Req(FullText::kOptHtml | FullText::kOptCompact), nullptr), 7);
  EXPECT_EQ(T(kRel).recordCount, 0);
  EXPECT_EQ(T(kWords).recordCount, -1);
  EXPECT_TRUE(T(kWords).countUnknown);
  EXPECT_EQ(RelationKeys().size(), 7u);
  EXPECT_EQ(Marks("haus"), (MarkSet{1, 3}));
  EXPECT_EQ(Marks("g*,-haus"), (MarkSet{}));
  EXPECT_EQ(Marks("m*+gr*"), (MarkSet{2, 3}));

  // A compact add puts keys into index 2 only.
  Append({"Garten", "", 1});
  ZetTable::Table(kSource)->currentRecord = 4;
  EXPECT_EQ(FullText::AddRecord(Req(FullText::kOptHtml | FullText::kOptCompact | FullText::kOptNoNewWords)), 0);
  EXPECT_EQ(T(kRel).recordCount, 0);
  EXPECT_EQ(Marks("garten"), (MarkSet{1, 4}));
}

// The weights live only in the keys of index 2, so reopening the pair must
// keep that index as the build wrote it (plain and compact), and records
// added afterwards go in with their weights.
TEST_F(FullTextBuild, ReopenedPairAnswersTheSameQueries) {
  AppendThree();
  for (const uint16_t options : {FullText::kOptHtml, uint16_t(FullText::kOptHtml | FullText::kOptCompact)}) {
    SCOPED_TRACE(options);
    ASSERT_EQ(FullText::BuildIndex(Req(options), nullptr), 7);
    const std::vector<EntryKey> keys = RelationKeys();
    for (const int slot : {kWords, kRel}) ASSERT_EQ(Zet01::CloseTable(slot), 0);
    Common::ResetLastError();
    ASSERT_EQ(Zet01::OpenTable(kWords, ZetTable::kRightsMask, TempPath("WORTE.DAT"), 0, 0, ""), 0);
    ASSERT_EQ(Zet01::OpenTable(kRel, ZetTable::kRightsMask, TempPath("VOLLTEXT.REL"), 0, 0, ""), 0);
    EXPECT_EQ(Common::LastError(), 0);  // no index was found unfit and rebuilt
    EXPECT_EQ(RelationKeys(), keys);
    EXPECT_EQ(Marks("haus"), (MarkSet{1, 3}));
    EXPECT_EQ(Marks("m*+gr*"), (MarkSet{2, 3}));
    EXPECT_EQ(Marks("Baum", 4), (MarkSet{3}));
    EXPECT_EQ(Marks("Baum", 0x10002), (MarkSet{2}));
  }
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 7);
  for (const int slot : {kWords, kRel}) ASSERT_EQ(Zet01::CloseTable(slot), 0);
  ASSERT_EQ(Zet01::OpenTable(kWords, ZetTable::kRightsMask, TempPath("WORTE.DAT"), 0, 0, ""), 0);
  ASSERT_EQ(Zet01::OpenTable(kRel, ZetTable::kRightsMask, TempPath("VOLLTEXT.REL"), 0, 0, ""), 0);
  Append({"Neubau", "", 8});
  EXPECT_EQ(FullText::AddRecord(Req()), 0);
  EXPECT_EQ(Marks("neubau", 8), (MarkSet{4}));
  EXPECT_EQ(Marks("haus"), (MarkSet{1, 3}));
}

TEST_F(FullTextBuild, ProgressOfAnEmptySource) {
  static std::vector<std::pair<int32_t, int32_t>> calls;
  calls.clear();
  auto progress = [](int32_t position, int32_t total) -> int32_t {
    calls.emplace_back(position, total);
    return 0;
  };
  EXPECT_EQ(FullText::BuildIndex(Req(), progress), 0);
  EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{{0, 2}, {0, 2}, {1, 2}, {2, 2}}));
  EXPECT_EQ(T(kRel).recordCount, 0);
}

TEST_F(FullTextBuild, ProgressCanStopTheBuildWithAConsistentIndex) {
  for (int i = 0; i < 250; ++i) Append({i < 120 ? "Anfang" : "Ende", "", 0});
  static int stops;
  stops = 0;
  auto progress = [](int32_t position, int32_t total) -> int32_t {
    return position == 150 && total == 254 && ++stops ? 1 : 0;
  };
  EXPECT_EQ(FullText::BuildIndex(Req(), progress), -114);
  EXPECT_EQ(Common::LastError(), -114);
  EXPECT_EQ(stops, 1);
  // The records read before the stop are indexed.
  EXPECT_EQ(Marks("anfang").size(), 120u);
  EXPECT_EQ(Marks("ende").size(), 29u);
}

TEST_F(FullTextBuild, AddedRecordsAreFound) {
  AppendThree();
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 7);
  Append({"Haus, Neubau, HAUS", "", 8});
  EXPECT_EQ(FullText::AddRecord(Req()), 0);

  // Each occurrence counts in the word table; one entry per word.
  std::vector<WordRecord> words = WordRecords();
  EXPECT_EQ(words[3], (WordRecord{kHaus, 4, 1}));
  EXPECT_EQ(words.back(), (WordRecord{"Neubau", 1, 6}));
  const RelPairs relations = RelationRecords();
  EXPECT_EQ(relations.size(), 9u);
  EXPECT_EQ(relations[7], (std::pair<int32_t, int32_t>{4, 1}));
  EXPECT_EQ(relations[8], (std::pair<int32_t, int32_t>{4, 6}));
  EXPECT_EQ(Marks("haus"), (MarkSet{1, 3, 4}));
  EXPECT_EQ(Marks("neu*"), (MarkSet{4}));
  EXPECT_EQ(Marks("haus", 8), (MarkSet{4}));
}

// The word field holds 30 characters: the build and the add store a longer
// word cut, and a query finds it by its full spelling all the same.
TEST_F(FullTextBuild, AWordLongerThanTheWordFieldIsFoundByItsFullSpelling) {
  const std::string word = "Donaudampfschifffahrtsgesellschaften";
  ASSERT_EQ(word.size(), 36u);
  Append({"Die " + word, "", 1});
  Append({"Haus", "", 2});
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 3);
  Append({word + " Garten", "", 3});
  ASSERT_EQ(FullText::AddRecord(Req()), 0);
  // The add counted the word the build stored.
  EXPECT_EQ(WordRecords()[1], (WordRecord{word.substr(0, kWordSize), 2, 2}));
  const struct {
    std::string query;
    MarkSet found;
  } cases[] = {
      {word, {1, 3}},
      {"DONAUDAMPFSCHIFFFAHRTSGESELLSCHAFTEN", {1, 3}},
      {word + "-garten", {1}},
      {"donau*", {1, 3}},
      {word + "x", {1, 3}},  // differs only beyond the stored length
  };
  for (const auto& c : cases) EXPECT_EQ(Marks(c.query), c.found) << c.query;
}

// An add flushes the word table once, after the record's last word, and
// tells its cursors once; what it did is then on disk: a process that dies
// right after the add leaves tables that open without a rebuild and answer
// as before.
TEST_F(FullTextBuild, AnAddFlushesTheWordTableOnce) {
  AppendThree();
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 7);
  Append({"Haus Neubau haus Garten", "", 8});
  static int wordTableCalls;
  wordTableCalls = 0;
  EngineHooks::NotifyTableChanged = [](int slot, int) { wordTableCalls += slot == kWords; };
  ASSERT_EQ(FullText::AddRecord(Req()), 0);
  EXPECT_EQ(wordTableCalls, 1);
  const std::vector<WordRecord> words = WordRecords();
  const RelPairs relations = RelationRecords();
  {
    fault_test::TFaultReset reset;
    fault_test::DieAfterWrites();
    for (const int slot : {kSource, kWords, kRel}) Zet01::CloseTable(slot);
    ZetTable::SetOpenCount(0);
  }
  Common::ResetLastError();
  OpenTables();
  EXPECT_EQ(Common::LastError(), 0);  // no index was found unsettled and rebuilt
  EXPECT_EQ(WordRecords(), words);
  EXPECT_EQ(RelationRecords(), relations);
  EXPECT_EQ(Marks("neubau"), (MarkSet{4}));
  EXPECT_EQ(Marks("haus,garten"), (MarkSet{1, 4}));
}

TEST_F(FullTextBuild, MalformedFieldListLeavesTheOldIndex) {
  AppendThree();
  ASSERT_EQ(FullText::BuildIndex(Req(), nullptr), 7);
  const RelPairs relations = RelationRecords();
  const std::vector<WordRecord> words = WordRecords();

  const std::string good = FieldList({kTitle});
  const std::string bad[] = {
      good + "\x2B" + good,              // "+" between items
      good.substr(0, 3),                 // item cut short
      "\x07",                            // unknown code
      FieldList({kTitle}, 9),            // table not open
      FieldList({99}),                   // no such field
      std::string("\xFE\x01\x01\x04\x00", 5),  // path cut short
  };
  for (const std::string& list : bad) {
    TIndexRequest r = Req();
    r.fieldList = list;
    EXPECT_EQ(FullText::BuildIndex(r, nullptr), -FullText::kErrSyntax);
    EXPECT_EQ(Common::LastError(), -FullText::kErrSyntax);
    r = Req();
    r.exclusionList = list;
    EXPECT_EQ(FullText::BuildIndex(r, nullptr), -FullText::kErrSyntax);
    r.exclusionList.clear();
    r.fieldList = list;
    Append({"Neubau", "", 0});
    EXPECT_EQ(FullText::AddRecord(r), -FullText::kErrSyntax);
  }
  // Tables that are not open, or a relation table that is none.
  TIndexRequest r = Req();
  r.source = 9;
  EXPECT_EQ(FullText::BuildIndex(r, nullptr), -88);
  r = Req();
  r.relationTable = kWords;
  EXPECT_EQ(FullText::BuildIndex(r, nullptr), -58);
  EXPECT_EQ(FullText::AddRecord(r), -58);

  EXPECT_EQ(RelationRecords(), relations);
  EXPECT_EQ(WordRecords(), words);
  EXPECT_EQ(Marks("haus"), (MarkSet{1, 3}));
}

TEST_F(FullTextBuild, UnreadableRecordsAreNotIndexedUnderAnotherNumber) {
  for (int i = 1; i <= 6; ++i) Append({"Wort" + std::string(1, char('a' + i)), "", 0});
  // Records 5 and 6 lie beyond the end of the file.
  TZetTable& t = T(kSource);
  Zet01::ClearRecordCache(kSource);
  ASSERT_EQ(LOWFILES::TruncateAt(*t.tableFile, t.headerSize + 4 * uint64_t(t.recordLength)), 0);

  EXPECT_EQ(FullText::BuildIndex(Req(), nullptr), -Common::kErrRead);
  EXPECT_EQ(Common::LastError(), -Common::kErrRead);
  EXPECT_EQ(Marks("worte"), (MarkSet{4}));
  EXPECT_EQ(Marks("wort*"), (MarkSet{1, 2, 3, 4}));
  EXPECT_EQ(T(kRel).recordCount, 4);
}

TEST_F(FullTextBuild, FieldPathsAndTextFiles) {
  // ORTE.DAT {NR N, NAME S20}; the weight of a source record names a place
  // by its number.
  auto places = zettable_test::MakeTable(
      2, {{"NR", Common::kTypeAutoNumber, 3, 10}, {"NAME", Common::kTypeString, 20, 20}});
  SetIdKey(*places, {{1, 4, Common::kTypeAutoNumber}});
  ASSERT_EQ(Zet06::CreateTable(*places, TempPath("ORTE.DAT"), {}, false, 0, 0), 0);
  constexpr int kPlaces = 4;
  ASSERT_EQ(Zet01::OpenTable(kPlaces, ZetTable::kRightsMask, TempPath("ORTE.DAT"), 0, 0, ""), 0);
  for (const char* name : {"Berlin", "Hamburg"}) {
    ZetTable::ClearRecordBuffer(kPlaces);
    ZetTable::SetFieldText(kPlaces, 2, T(kPlaces).recordBuffer.data(), name);
    ASSERT_EQ(Zet01::AssignAutoNumber(kPlaces), 0);
    ASSERT_EQ(Zet01::AppendRecord(kPlaces, true, 0), 0);
  }

  const std::string textFile = TempPath("T.TXT");
  if (textFile.size() >= kTitleSize) GTEST_SKIP() << "temporary path too long for the title field";
  {
    std::ofstream f(textFile, std::ios::binary);
    f << "Zeile eins\r\nDonau" << std::string(260, 'x') << "\r\n";
  }
  Append({"Hafen", "", 2});
  Append({"#" + textFile, "", 99});  // no place 99
  Append({"Markt", "", 1});

  TIndexRequest r = Req();
  std::string path = "\xFE\x01";
  path += char(kSource);
  path += std::string{char(kWeight), 0, char(kPlaces), 2, 0};
  r.fieldList = FieldList({kTitle}) + "," + path;
  ASSERT_EQ(FullText::BuildIndex(r, nullptr), 7);
  EXPECT_EQ(Marks("hamburg,hafen"), (MarkSet{1}));
  EXPECT_EQ(Marks("berlin"), (MarkSet{3}));
  EXPECT_EQ(Marks("zeile,eins"), (MarkSet{2}));
  // A line cut at 255 characters lets its word run on: one word, cut to
  // the word table's field.
  EXPECT_EQ(Marks("Donauxxx*"), (MarkSet{2}));
  EXPECT_EQ(Marks("x*"), (MarkSet{}));
  // The place table's position is kept.
  EXPECT_EQ(T(kPlaces).currentRecord, 2u);
}

TEST_F(FullTextBuild, CleanMemoHtmlWritesBackChangedMemos) {
  // The second line's tag straddles the 80-character pieces a memo is read
  // in, the third's a wrap at a blank.
  Append({"Eins",
          "<p>Gr&ouml;&szlig;e</p>\r" + std::string(78, 'x') + "<b>Wort</b> &amp; mehr\r" + std::string(60, 'y') +
              " Ende <a href=\"#\">Link</a>",
          0});
  Append({"Zwei", "schlicht & einfach", 0});
  TZetTable& t = T(kSource);
  auto memo = [&t] { return bytes::GetU32(t.recordBuffer.data() + t.FieldOffset(kText)); };

  ASSERT_EQ(Zet01::ReadRecord(kSource, 1), 0);
  t.currentRecord = 1;
  ASSERT_EQ(FullText::CleanMemoHtml(kSource, kText), 0);
  ASSERT_EQ(Zet01::ReadRecord(kSource, 1), 0);
  dynstr::LineChain lines;
  WINMEMOS::ReadMemoLines(t.memoFile, memo(), lines);
  std::string text;
  for (const dynstr::LineNode* n = lines.get(); n; n = n->next.get())
    text += std::string(n->text.view()) + (n->continued == RamFiles::kLineEnded ? "|" : "");
  WINMEMOS::FreeMemoLines(lines);
  EXPECT_EQ(text, "Gr\xF6\xDF" "e|" + std::string(78, 'x') + "Wort & mehr|" + std::string(60, 'y') + " Ende Link");

  // A memo without HTML stays where it is.
  ASSERT_EQ(Zet01::ReadRecord(kSource, 2), 0);
  t.currentRecord = 2;
  const uint32_t before = memo();
  ASSERT_EQ(FullText::CleanMemoHtml(kSource, kText), 0);
  ASSERT_EQ(Zet01::ReadRecord(kSource, 2), 0);
  EXPECT_EQ(memo(), before);
  EXPECT_EQ(WINMEMOS::MemoAsString(t.memoFile, before).str(), "schlicht & einfach");
}

// Word tables of other layouts.
// Builds whose hits go out in many runs (a small memory limit): both
// indexes of the relation table must hold exactly the keys that its records
// and the source give, in key order, however the runs fall.
class FullTextRuns : public FullTextBuild {
 protected:
  // count rows of words from a small vocabulary in several spellings (case,
  // and accents that compare equal: one word each), some memos HTML. The NR
  // numbers rise, or (falling) fall and repeat.
  void AppendRows(int count, uint32_t seed, bool falling) {
    const std::vector<std::string> words = {"Haus", "haus", "HAUS", "Garten", "Caf\xE9", "CAF\xC9", "Caf\xE8",
                                            "Stra\xDF" "e", "Strasse", "Baum", "B\xE4ume", "und", "M\xFCller",
                                            "Wasserkraftwerk", "Donaudampfschifffahrtsgesellschaften"};
    std::mt19937 rng(seed);
    TZetTable& t = T(kSource);
    for (int i = 0; i < count; ++i) {
      Row row;
      for (int k = 1 + int(rng() % 4); k > 0; --k) row.title += (row.title.empty() ? "" : " ") + words[rng() % 7];
      if (rng() % 3 != 0) {
        const bool html = rng() % 2 == 0;
        for (int k = int(rng() % 40); k > 0; --k) {
          std::string w = words[rng() % words.size()];
          if (html && w == "M\xFCller") w = "M&uuml;ller";
          row.memo += w + (rng() % 9 == 0 ? "\r\n" : html && rng() % 4 == 0 ? "&nbsp;" : " ");
        }
      }
      row.weight = int16_t(rng() % 5);
      PutRow(row);
      const int32_t nr = falling ? 1000 - i / 3 * 2 : i + 1;
      bytes::PutI32(t.recordBuffer.data() + t.FieldOffset(kNr), nr);
      ASSERT_EQ(Zet01::WriteRecord(kSource, uint32_t(t.recordCount) + 1), 0);
      ++t.recordCount;
    }
    ASSERT_EQ(Zet01::WriteRecordCount(kSource), 0);
  }

  // Checks both indexes against the relation records and the source and
  // answers {word, source record} of every index 2 key, sorted.
  std::vector<std::pair<int32_t, uint32_t>> CheckIndexes(bool compact) {
    const RelPairs records = RelationRecords();
    const std::vector<EntryKey> keys = RelationKeys();
    std::vector<std::pair<int32_t, uint32_t>> hits;
    std::vector<bool> seen(keys.size() + 1);
    TZetTable& source = T(kSource);
    for (size_t i = 0; i < keys.size(); ++i) {
      const EntryKey& k = keys[i];
      EXPECT_TRUE(k.entry >= 1 && k.entry <= keys.size() && !seen[k.entry]) << k.entry;
      if (k.entry < 1 || k.entry > keys.size()) return hits;
      seen[k.entry] = true;
      if (i > 0) {
        const EntryKey& b = keys[i - 1];
        EXPECT_LT(std::tuple(b.word, b.record, int16_t(b.weight), b.entry),
                  std::tuple(k.word, k.record, int16_t(k.weight), k.entry));
      }
      EXPECT_EQ(Zet01::ReadRecord(kSource, k.record), 0);
      EXPECT_EQ(int16_t(k.weight), bytes::GetI16(source.recordBuffer.data() + source.FieldOffset(kWeight)));
      if (!compact) {
        EXPECT_EQ(records[k.entry - 1],
                  std::pair(bytes::GetI32(source.recordBuffer.data() + source.FieldOffset(kNr)), k.word));
      }
      hits.emplace_back(k.word, k.record);
    }
    if (!compact) {
      EXPECT_EQ(keys.size(), records.size());
      // Index 1: {entry, auto number} for every record, by auto number.
      BTREES::PTree tree = Zet00::IndexTree(kRel, FullText::kEntryIndex);
      uint8_t key[FullText::kEntryKeyLength];
      std::vector<std::pair<int32_t, uint32_t>> entries, expected;
      for (int r = BTREES::First(tree, key); r == BTREES::kResultOk; r = BTREES::Next(tree, key))
        entries.emplace_back(bytes::GetI32(key + 4), bytes::GetU32(key));
      for (size_t e = 0; e < records.size(); ++e) expected.emplace_back(records[e].first, uint32_t(e + 1));
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(entries, expected);
    }
    std::sort(hits.begin(), hits.end());
    return hits;
  }

  TIndexRequest Small(uint16_t options, int32_t memoryLimit) {
    TIndexRequest r = Req(options);
    r.memoryLimit = memoryLimit;
    return r;
  }
};

TEST_F(FullTextRuns, IndexesAgreeWithTheRecordsWhateverTheRuns) {
  for (const bool falling : {false, true}) {
    SCOPED_TRACE(falling ? "falling auto numbers" : "rising auto numbers");
    ASSERT_EQ(FullText::EmptyTable(kSource), 0);
    AppendRows(300, falling ? 7 : 3, falling);
    ASSERT_GT(FullText::BuildIndex(Small(FullText::kOptHtml, 1 << 24), nullptr), 0);
    const auto oneRun = CheckIndexes(false);
    const std::vector<WordRecord> words = WordRecords();
    ASSERT_FALSE(oneRun.empty());
    for (const int32_t limit : {1, 160, 3000}) {
      SCOPED_TRACE(limit);
      EXPECT_EQ(FullText::BuildIndex(Small(FullText::kOptHtml, limit), nullptr), int32_t(oneRun.size()));
      EXPECT_EQ(CheckIndexes(false), oneRun);
      EXPECT_EQ(WordRecords(), words);
      EXPECT_EQ(FullText::BuildIndex(Small(FullText::kOptHtml | FullText::kOptCompact, limit), nullptr),
                int32_t(oneRun.size()));
      EXPECT_EQ(CheckIndexes(true), oneRun);
    }
    // With a maximum of hits the words that reach it are left out, from
    // the run on in which they reach it.
    TIndexRequest r = Small(FullText::kOptHtml, 160);
    r.maxHits = 40;
    ASSERT_GT(FullText::BuildIndex(r, nullptr), 0);
    const auto limited = CheckIndexes(false);
    EXPECT_LT(limited.size(), oneRun.size());
    EXPECT_TRUE(std::includes(oneRun.begin(), oneRun.end(), limited.begin(), limited.end()));
    // Spellings that differ in case, or in accents that compare equal, are
    // one word.
    for (const char* spelling : {"Haus", "Caf\xE9"}) {
      EXPECT_EQ(std::count_if(words.begin(), words.end(),
                              [&](const WordRecord& w) { return UPPERCAS::CollateCompare(w.word, spelling) == 0; }),
                1);
    }
  }
}

// A word table read first whose numbers repeat, or whose counter lies below
// its numbers, sends the keys the general way (sorters within the memory
// limit); the indexes are as sound.
TEST_F(FullTextRuns, RepeatedWordNumbersTakeTheGeneralWay) {
  AppendRows(200, 11, false);
  ASSERT_GT(FullText::BuildIndex(Small(FullText::kOptHtml, 1 << 24), nullptr), 0);
  const auto oneRun = CheckIndexes(false);
  // Words 1 and 2 get one number.
  TZetTable& w = T(kWords);
  ASSERT_EQ(Zet01::ReadRecord(kWords, 1), 0);
  const int32_t number = bytes::GetI32(w.recordBuffer.data() + w.FieldOffset(w.autoNumberField));
  ASSERT_EQ(Zet01::ReadRecord(kWords, 2), 0);
  bytes::PutI32(w.recordBuffer.data() + w.FieldOffset(w.autoNumberField), number);
  ASSERT_EQ(Zet01::WriteRecord(kWords, 2), 0);
  ASSERT_EQ(Zet00::RebuildIndex(kWords, FullText::kWordIndex), 0);
  const uint16_t readExisting = FullText::kOptHtml | FullText::kOptReadExisting;
  for (const int32_t limit : {160, 1 << 24}) {
    EXPECT_EQ(FullText::BuildIndex(Small(readExisting, limit), nullptr), int32_t(oneRun.size()));
    const auto hits = CheckIndexes(false);
    EXPECT_EQ(hits.size(), oneRun.size());
  }
  // A counter below the numbers: new words take numbers that are in use.
  ASSERT_EQ(FullText::EmptyTable(kWords), 0);
  ASSERT_GT(FullText::BuildIndex(Small(FullText::kOptHtml, 1 << 24), nullptr), 0);
  ASSERT_EQ(FullText::WriteNextAutoNumber(kWords, 2), 0);
  AppendMany({{"Neuwort Zweitwort", "", 0}});
  EXPECT_GT(FullText::BuildIndex(Small(readExisting, 160), nullptr), int32_t(oneRun.size()));
  CheckIndexes(false);
}

class FullTextWordTables : public FullTextTableTest {
 protected:
  void BuildThree(const Layout& layout) {
    CreateTables(layout);
    Append({"Haus und Garten", "", 1});
    Append({"Baum, M\xFCller", "", 2});
    Append({"haus BAUM Gr\xF6\xDF" "e", "", 4});
    ASSERT_EQ(FullText::BuildIndex(Request(), nullptr), 8);
  }
};

TEST_F(FullTextWordTables, OldFileVersionWithoutHitCounts) {
  Layout layout;
  layout.hitCounts = false;
  layout.wordVersion = 1;
  BuildThree(layout);
  EXPECT_EQ(WordRecords(), (std::vector<WordRecord>{{kBaum, 0, 4},
                                                    {kGarten, 0, 3},
                                                    {kGroesse, 0, 6},
                                                    {kHaus, 0, 1},
                                                    {kMueller, 0, 5},
                                                    {"und", 0, 2}}));
  EXPECT_EQ(Marks("GR\xD6\xDF" "E"), (MarkSet{3}));
  EXPECT_EQ(Marks("m\xFC*+g*"), (MarkSet{1, 2, 3}));

  Append({"Neubau", "", 0});
  ASSERT_EQ(FullText::AddRecord(Request()), 0);
  Append({"\xD6" "lbaum Haus", "", 0});
  ASSERT_EQ(FullText::BuildIndex(Request(FullText::kOptHtml | FullText::kOptReadExisting), nullptr), 11);
  const std::vector<WordRecord> words = WordRecords();
  ASSERT_EQ(words.size(), 8u);
  EXPECT_EQ(words[6], (WordRecord{"\xD6" "lbaum", 0, 8}));  // "O" sorts before "u"
  EXPECT_EQ(words[7], (WordRecord{"und", 0, 2}));
  EXPECT_EQ(Marks("neubau+\xF6l*"), (MarkSet{4, 5}));
  EXPECT_EQ(Marks("haus"), (MarkSet{1, 3, 5}));
}

TEST_F(FullTextWordTables, IndexOneNotKeyedByWord) {
  Layout layout;
  layout.wordKey = false;
  BuildThree(layout);
  EXPECT_EQ(Marks("haus"), (MarkSet{1, 3}));
  EXPECT_EQ(Marks("G*"), (MarkSet{1, 3}));
  EXPECT_EQ(Marks("*ler,-b*"), (MarkSet{}));

  // Read back by record, the words keep their numbers.
  Append({"Baum Neubau", "", 0});
  ASSERT_EQ(FullText::BuildIndex(Request(FullText::kOptHtml | FullText::kOptReadExisting), nullptr), 10);
  const std::vector<WordRecord> words = WordRecords();
  EXPECT_EQ(words.front(), (WordRecord{kBaum, 3, 4}));
  EXPECT_EQ(words.back(), (WordRecord{"und", 1, 2}));
  EXPECT_EQ(Marks("neubau,baum"), (MarkSet{4}));
}

}  // namespace
