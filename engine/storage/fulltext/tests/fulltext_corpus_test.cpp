// The full-text index over a generated corpus, checked against a brute-force
// evaluation of the same queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/base/uppercas.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/tests/fulltext_test_util.h"

namespace {

using namespace fulltext_test;

// German words, none equal to another under the collation (so the index
// keeps each apart), at most 30 characters.
std::vector<std::string> Vocabulary() {
  std::vector<std::string> words = {
      "Haus", "Garten", "Baum", "Gr\xF6\xDF" "e", "\xDC" "bergang", "\xDC" "bung", "M\xFC" "ller", "B\xE4" "cker",
      "Stra\xDF" "e", "Strasse", "Wohnung", "Zeitung", "Ordnung", "Behindert", "Behinderung", "K\xF6nig",
      "K\xF6nigin", "F\xFC\xDF" "e", "Fluss", "Flu\xDF", "\xC4pfel", "Apfel", "\xD6l", "Ofen", "Schl\xFC" "ssel",
      "T\xFCr", "Tor", "Maus", "M\xE4use", "Stadt", "St\xE4" "dte", "Wald", "W\xE4lder", "Gl\xFC" "ck", "Berg",
      "Brot", "Br\xF6tchen", "Kuchen", "K\xFC" "che", "Ger\xE4t", "Gem\xFCse", "Obst", "Tanz", "T\xE4nzer",
      "Blume", "Bl\xFCte", "Zahn\xE4rztin", "Gr\xFC\xDF" "e", "Ma\xDF", "Masse", "Spa\xDF"};
  for (const char* a : {"Sonnen", "Mond", "Stern", "Feuer", "Wasser", "Erd", "Luft", "Nacht"})
    for (const char* b : {"schein", "licht", "kraft", "werk", "haus", "zeit", "uhr", "bahn"})
      words.push_back(std::string(a) + b);
  return words;
}
const std::vector<std::string> kStopWords = {"und", "der", "die", "das", "mit"};

std::string HtmlForm(const std::string& word) {
  std::string out;
  for (char c : word) {
    switch (uint8_t(c)) {
      case 0xE4: out += "&auml;"; break;
      case 0xF6: out += "&ouml;"; break;
      case 0xFC: out += "&uuml;"; break;
      case 0xC4: out += "&Auml;"; break;
      case 0xD6: out += "&Ouml;"; break;
      case 0xDC: out += "&Uuml;"; break;
      case 0xDF: out += "&szlig;"; break;
      default: out += c;
    }
  }
  return out;
}

// Records and, for each, the vocabulary words it holds.
class Corpus {
 public:
  explicit Corpus(uint32_t seed) : rng_(seed), vocabulary_(Vocabulary()) {}

  const std::vector<std::string>& Words() const { return vocabulary_; }

  // A record of 1-3 title words and, now and then, a memo of up to 12 words
  // (half of them HTML); stop words in between.
  Row Next(std::vector<int>& held) {
    Row row;
    held.clear();
    const int titleWords = 1 + int(rng_() % 3);
    for (int i = 0; i < titleWords; ++i) {
      int k = 0;
      const std::string w = Pick(k);
      const std::string sep = row.title.empty() ? "" : (rng_() % 2 ? " " : ", ");
      if (row.title.size() + sep.size() + w.size() > kTitleSize) break;
      row.title += sep + w;
      if (k >= 0) held.push_back(k);
    }
    if (rng_() % 10 == 0) {
      const bool html = rng_() % 2;
      const int memoWords = 1 + int(rng_() % 12);
      for (int i = 0; i < memoWords; ++i) {
        int k = 0;
        std::string w = Pick(k);
        if (k >= 0) held.push_back(k);
        if (html) {
          w = HtmlForm(w);
          if (rng_() % 3 == 0) w = "<b>" + w + "</b>";
          row.memo += i == 0 ? "<p>" : (rng_() % 2 ? "&nbsp;" : "<br>\r");
        } else if (i > 0) {
          row.memo += rng_() % 5 ? " " : "\r";
        }
        row.memo += w;
      }
    }
    row.weight = int16_t(rng_() % 16);
    return row;
  }

 private:
  // A word in one of its spellings; k its vocabulary number, -1 for a stop
  // word.
  std::string Pick(int& k) {
    k = -1;
    if (rng_() % 6 == 0) return kStopWords[rng_() % kStopWords.size()];
    k = int(rng_() % vocabulary_.size());
    ShortStr w(vocabulary_[size_t(k)]);
    switch (rng_() % 4) {
      case 0: UPPERCAS::UpperStr(w); break;
      case 1: UPPERCAS::LowerStr(w); break;
      default: break;
    }
    return w.str();
  }

  std::mt19937 rng_;
  std::vector<std::string> vocabulary_;
};

using RecordSet = std::vector<bool>;  // [record number]

class FullTextCorpus : public FullTextTableTest {
 protected:
  void SetUp() override {
    FullTextTableTest::SetUp();
    CreateTables(CorpusLayout());
    std::ofstream stop(TempPath("STOP.TXT"), std::ios::binary);
    for (const std::string& w : kStopWords) stop << w << "\r\n";
  }

  virtual Layout CorpusLayout() const {
    Layout layout;
    layout.sourceKey = 0;  // plain records: the other tests cover scrambled ones
    return layout;
  }

  void Generate(Corpus& corpus, int count, std::vector<Row>& rows) {
    std::vector<int> held;
    for (int i = 0; i < count; ++i) {
      rows.push_back(corpus.Next(held));
      holds_.push_back(held);
      weights_.push_back(rows.back().weight);
    }
  }

  FullText::TIndexRequest Req() const {
    FullText::TIndexRequest r = Request();
    r.stopWordFile = TempPath("STOP.TXT");
    return r;
  }

  // Brute force: the records holding a word that matches the pattern, with a
  // weight sharing a bit with the filter.
  RecordSet Match(const std::vector<std::string>& words, const std::string& pattern, int32_t filter) const {
    std::vector<bool> matches(words.size());
    for (size_t k = 0; k < words.size(); ++k) matches[k] = UPPERCAS::WildcardMatch(words[k], pattern);
    RecordSet set(holds_.size() + 1);
    for (size_t r = 0; r < holds_.size(); ++r) {
      if (filter != 0 && (weights_[r] & filter) == 0) continue;
      for (int k : holds_[r])
        if (matches[size_t(k)]) set[r + 1] = true;
    }
    return set;
  }

  std::vector<std::vector<int>> holds_;  // per record (from 0) its vocabulary words
  std::vector<int16_t> weights_;
};

RecordSet And(RecordSet a, const RecordSet& b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] = a[i] && b[i];
  return a;
}
RecordSet Or(RecordSet a, const RecordSet& b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] = a[i] || b[i];
  return a;
}
RecordSet AndNot(RecordSet a, const RecordSet& b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] = a[i] && !b[i];
  return a;
}
std::vector<uint32_t> Members(const RecordSet& s) {
  std::vector<uint32_t> out;
  for (size_t i = 1; i < s.size(); ++i)
    if (s[i]) out.push_back(uint32_t(i));
  return out;
}

TEST_F(FullTextCorpus, QueriesAgreeWithBruteForce) {
  constexpr int kRecords = 20000;
  Corpus corpus(20240611);
  std::vector<Row> rows;
  Generate(corpus, kRecords, rows);
  AppendMany(rows);
  const int32_t entries = FullText::BuildIndex(Req(), nullptr);
  ASSERT_GT(entries, kRecords);

  const auto& v = corpus.Words();
  struct QueryCase {
    std::string query;
    int32_t filter;
    std::function<RecordSet(int32_t)> reference;
  };
  auto M = [&](const std::string& p) { return [&, p](int32_t f) { return Match(v, p, f); }; };
  const std::vector<QueryCase> cases = {
      {"Haus", 0, M("haus")},
      {"haus,garten", 0, [&](int32_t f) { return And(Match(v, "haus", f), Match(v, "garten", f)); }},
      {"Haus + Baum", 0, [&](int32_t f) { return Or(Match(v, "haus", f), Match(v, "baum", f)); }},
      {"Haus-Garten", 0, [&](int32_t f) { return AndNot(Match(v, "haus", f), Match(v, "garten", f)); }},
      {"Gr*", 0, M("Gr*")},
      {"*ung", 0, M("*ung")},
      {"?a*", 0, M("?a*")},
      {"Stra*e", 0, M("stra*e")},
      {"\xDC" "ber*", 0, M("\xFC" "ber*")},
      {"M\xFCller+B\xC4" "CKER", 0,
       [&](int32_t f) { return Or(Match(v, "M\xFCller", f), Match(v, "b\xE4" "cker", f)); }},
      {"Behinder*,-Behindert", 0,
       [&](int32_t f) { return AndNot(Match(v, "behinder*", f), Match(v, "behindert", f)); }},
      {"(Haus+Baum),-Gr*", 0,
       [&](int32_t f) { return AndNot(Or(Match(v, "haus", f), Match(v, "baum", f)), Match(v, "gr*", f)); }},
      {"Sonnen*,(*licht+*uhr)", 0,
       [&](int32_t f) { return And(Match(v, "sonnen*", f), Or(Match(v, "*licht", f), Match(v, "*uhr", f))); }},
      {"Flu\xDF+Ma\xDF", 0, [&](int32_t f) { return Or(Match(v, "flu\xDF", f), Match(v, "ma\xDF", f)); }},
      {"und+zzz", 0, [&](int32_t) { return RecordSet(kRecords + 1); }},
      {"Haus+Baum", 5, [&](int32_t f) { return Or(Match(v, "haus", f), Match(v, "baum", f)); }},
      {"B*-*er", 8, [&](int32_t f) { return AndNot(Match(v, "b*", f), Match(v, "*er", f)); }},
  };
  Bitarray::TBitArray bits;
  Bitarray::Create(bits, kRecords / 8 + 1);
  for (size_t i = 0; i < cases.size(); ++i) {
    const QueryCase& c = cases[i];
    const std::vector<uint32_t> expected = Members(c.reference(c.filter));
    EXPECT_EQ(Marks(c.query, c.filter), expected) << c.query;
    if (i % 4 == 0) {
      EXPECT_EQ(FullText::CountRecords(kSource, kWords, c.query, "", "", Relations(), c.filter, bits),
                int32_t(expected.size()))
          << c.query;
    }
  }
  Bitarray::Free(bits);

  // Chains of and / and not, evaluated from their rarest word by seeking,
  // against the same chain folded from left to right: frequent patterns
  // ("*", "?a*", "s*"), rare words, words no record holds, repeats, groups
  // and weight filters, in random mixes.
  const std::vector<std::string> operands = {"*",     "?a*",  "s*",    "*e*",  "Haus", "Garten", "Baum",
                                             "Stadt", "Wald", "Sonnen*", "zzz", "*ung", "Mondlicht", "St*"};
  std::mt19937 rng(7);
  for (int q = 0; q < 120; ++q) {
    const int n = 2 + int(rng() % 4);
    std::string query;
    RecordSet expected;
    const int32_t filter = q % 5 == 0 ? int32_t(1 + rng() % 15) : 0;
    for (int k = 0; k < n; ++k) {
      const bool group = rng() % 6 == 0;
      RecordSet set;
      std::string text;
      if (group) {
        const std::string& a = operands[rng() % operands.size()];
        const std::string& b = operands[rng() % operands.size()];
        text = "(" + a + "+" + b + ")";
        set = Or(Match(v, a, filter), Match(v, b, filter));
      } else {
        text = operands[rng() % operands.size()];
        set = Match(v, text, filter);
      }
      const bool negate = k > 0 && rng() % 3 == 0;
      if (k == 0) expected = set;
      else expected = negate ? AndNot(expected, set) : And(expected, set);
      query += (k == 0 ? "" : negate ? ",-" : ",") + text;
    }
    EXPECT_EQ(Marks(query, filter), Members(expected)) << query << " filter " << filter;
  }

  // Records added afterwards are found too.
  std::vector<Row> more;
  Generate(corpus, 40, more);
  for (const Row& row : more) {
    Append(row);
    ASSERT_EQ(FullText::AddRecord(Req()), 0);
  }
  for (const char* q : {"Haus", "*ung", "\xDC" "ber*"})
    EXPECT_EQ(Marks(q), Members(Match(v, q, 0))) << q;
}

TEST_F(FullTextCorpus, SmallMemoryLimitGivesTheSameIndex) {
  Corpus corpus(7);
  std::vector<Row> rows;
  Generate(corpus, 1500, rows);
  AppendMany(rows);

  struct Snapshot {
    std::vector<WordRecord> words;
    std::vector<std::pair<int32_t, int32_t>> relations;
    std::vector<std::tuple<int32_t, uint32_t, uint16_t>> keys;
  };
  auto take = [&](int32_t memoryLimit) {
    FullText::TIndexRequest r = Req();
    r.memoryLimit = memoryLimit;
    const int32_t entries = FullText::BuildIndex(r, nullptr);
    EXPECT_EQ(entries, T(kRel).recordCount);
    Snapshot s{WordRecords(), RelationRecords(), {}};
    // Every entry number names its relation record, none left out.
    const std::vector<EntryKey> keys = RelationKeys();
    EXPECT_EQ(int32_t(keys.size()), entries);
    std::vector<bool> seen(size_t(entries) + 1);
    for (const EntryKey& k : keys) {
      EXPECT_TRUE(k.entry >= 1 && k.entry <= uint32_t(entries) && !seen[k.entry]) << k.entry;
      if (k.entry < 1 || k.entry > uint32_t(entries)) continue;
      seen[k.entry] = true;
      EXPECT_EQ(s.relations[k.entry - 1], (std::pair<int32_t, int32_t>{int32_t(k.record), k.word})) << k.entry;
      EXPECT_EQ(k.weight, uint16_t(weights_[k.record - 1]));
      s.keys.emplace_back(k.word, k.record, k.weight);
    }
    std::sort(s.relations.begin(), s.relations.end());
    return s;
  };
  const Snapshot large = take(0);
  const Snapshot small = take(40 * FullText::kHitMemory);  // a write every few records
  EXPECT_EQ(small.words, large.words);
  EXPECT_EQ(small.relations, large.relations);
  EXPECT_EQ(small.keys, large.keys);
  EXPECT_EQ(Marks("*ung,-Haus"), Members(AndNot(Match(corpus.Words(), "*ung", 0), Match(corpus.Words(), "haus", 0))));
}

// A rare word anded with a frequent one: the frequent word is walked only
// part of the way (its marks decide the candidates below where the walk
// stopped) and the candidates after it are sought, with and without a weight
// filter, and-ed and and-not-ed, in either order.
TEST_F(FullTextCorpus, ARareWordAgainstAFrequentOneIsPartWalkedPartSought) {
  constexpr int kRecords = 9000;
  std::vector<Row> rows;
  std::vector<bool> haus(kRecords + 1), garten(kRecords + 1);
  for (int r = 1; r <= kRecords; ++r) {
    Row row;
    haus[size_t(r)] = r % 7 != 0;
    garten[size_t(r)] = r % 997 == 0 || r % 991 == 0 || r == 1 || r == kRecords;
    row.title = std::string(haus[size_t(r)] ? "Haus " : "Baum ") + (garten[size_t(r)] ? "Garten" : "Wald");
    row.weight = int16_t(r % 5);
    rows.push_back(row);
  }
  AppendMany(rows);
  ASSERT_GT(FullText::BuildIndex(Req(), nullptr), 0);
  struct Case {
    const char* query;
    int32_t filter;
    bool negate;
  };
  for (const Case& c : {Case{"Garten,Haus", 0, false}, Case{"Haus,Garten", 0, false}, Case{"Garten,-Haus", 0, true},
                        Case{"Garten,Haus", 3, false}, Case{"Garten,-Haus", 6, true}}) {
    std::vector<uint32_t> expected;
    for (int r = 1; r <= kRecords; ++r) {
      const bool passes = c.filter == 0 || ((r % 5) & c.filter) != 0;
      // Both words of a record carry its weight.
      if (garten[size_t(r)] && passes && haus[size_t(r)] != c.negate) expected.push_back(uint32_t(r));
    }
    EXPECT_EQ(Marks(c.query, c.filter), expected) << c.query << " filter " << c.filter;
  }
}

// Adds against a model: every occurrence of a word counts in its word record
// (spellings that collate equal in one record), each distinct word of a
// record gets one entry with the record's weight, new words are appended.
// The word table is kept three ways: plain; scrambled (its records differ
// from their stored forms in more bytes than the hit count); and with an
// index that reads the hit count, whose keys must follow every count.
enum class TWordTableKind { Plain, Scrambled, HitCountIndexed };

class FullTextAddModel : public FullTextCorpus, public ::testing::WithParamInterface<TWordTableKind> {
 protected:
  Layout CorpusLayout() const override {
    Layout layout = FullTextCorpus::CorpusLayout();
    if (GetParam() == TWordTableKind::Scrambled) layout.wordTableKey = 0x0BADC0DE;
    return layout;
  }

  static std::string Upper(const std::string& word) {
    ShortStr w(word);
    UPPERCAS::UpperStr(w);
    return w.str();
  }

  // The word table as upper-case word -> hits; each word once.
  static std::map<std::string, int> HitsByWord() {
    std::map<std::string, int> hits;
    for (const WordRecord& w : WordRecords()) EXPECT_TRUE(hits.emplace(Upper(w.word), w.hits).second) << w.word;
    return hits;
  }
};

TEST_P(FullTextAddModel, HitCountsEntriesAndKeysFollowEveryOccurrence) {
  constexpr int kBuilt = 300, kAdded = 120;
  Corpus corpus(99);
  std::vector<Row> rows, added;
  Generate(corpus, kBuilt, rows);
  AppendMany(rows);
  ASSERT_GT(FullText::BuildIndex(Req(), nullptr), 0);
  if (GetParam() == TWordTableKind::HitCountIndexed) {
    uint8_t byHits[ZetTable::kKeyDescriptionSize] = {};
    Zet00::SetKeyPart(byHits, 0, {kHits, 2, Common::kTypeInteger});
    ASSERT_GT(Zet00::FindOrCreateIndex(kWords, byHits, true), FullText::kWordIndex);
  }
  std::map<std::string, int> expected = HitsByWord();
  Generate(corpus, kAdded, added);
  for (const Row& row : added) {
    Append(row);
    ASSERT_EQ(FullText::AddRecord(Req()), 0);
  }

  // Every key of every word table index is the key of its record.
  TZetTable& w = T(kWords);
  for (int s = Zet00::FirstIndexSlot(w); s <= w.highestIndexSlot; ++s) {
    if (!w.indexes[size_t(s)]) continue;
    SCOPED_TRACE("index " + std::to_string(s));
    ASSERT_TRUE(Zet00::IndexAvailable(kWords, s, false));
    const uint32_t length = Zet00::KeyLength(w.indexes[size_t(s)]->header.data());
    int32_t keys = 0;
    for (uint8_t st = Zet00::IndexFirst(kWords, s); st == Zet00::kStatusFound; st = Zet00::IndexNext(kWords, s)) {
      const auto key = w.currentKey;
      const uint32_t recno = Zet00::KeyRecordNumber(key.data());
      std::vector<uint8_t> record(w.recordLength);
      ASSERT_EQ(Zet01::ReadRecordInto(kWords, recno, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0);
      std::array<uint8_t, ZetTable::kMaxKeySize> made{};
      ASSERT_EQ(Zet00::MakeKey(kWords, s, record.data(), made.data(), recno), 0);
      EXPECT_EQ(std::memcmp(made.data(), key.data(), length), 0) << "stale key of word record " << recno;
      ++keys;
    }
    EXPECT_EQ(keys, w.recordCount);
  }

  // The counts as the file holds them, not the record cache.
  Zet01::ClearRecordCache(kWords);
  const auto& v = corpus.Words();
  std::set<std::tuple<uint32_t, std::string, uint16_t>> expectedEntries;
  for (int r = kBuilt; r < kBuilt + kAdded; ++r) {
    for (int k : holds_[size_t(r)]) {
      ++expected[Upper(v[size_t(k)])];
      expectedEntries.emplace(uint32_t(r + 1), Upper(v[size_t(k)]), uint16_t(weights_[size_t(r)]));
    }
  }
  EXPECT_EQ(HitsByWord(), expected);

  std::map<int32_t, std::string> wordOf;
  for (const WordRecord& wr : WordRecords()) wordOf[wr.number] = Upper(wr.word);
  std::set<std::tuple<uint32_t, std::string, uint16_t>> entries;
  for (const EntryKey& k : RelationKeys())
    if (k.record > uint32_t(kBuilt)) EXPECT_TRUE(entries.emplace(k.record, wordOf[k.word], k.weight).second);
  EXPECT_EQ(entries, expectedEntries);
  EXPECT_EQ(RelationRecords().size(), RelationKeys().size());
}

INSTANTIATE_TEST_SUITE_P(WordTables, FullTextAddModel,
                         ::testing::Values(TWordTableKind::Plain, TWordTableKind::Scrambled,
                                           TWordTableKind::HitCountIndexed));

}  // namespace
