// The full-text index against SQLite FTS5 on one corpus, in one run.
//
// A generated corpus of German records (a title of at most 60 characters
// and, for most records, a memo; a third of the memos are HTML with tags and
// entities) goes into a source table of the engine and into an SQLite table.
// Both sides then index it and answer the same queries:
//
//   | phase   | engine                              | SQLite                                  |
//   |---------|-------------------------------------|-----------------------------------------|
//   | load    | QUELLE.DAT {NR N, TITEL S60,        | quelle(nr INTEGER PRIMARY KEY, titel,   |
//   |         | TEXT M, VOLLTEXT R}, appended       | text), one transaction                  |
//   | build   | FullText::BuildIndex, HTML option,  | FTS5 table over quelle (external        |
//   |         | into WORTE.DAT and VOLLTEXT.REL     | content): 'rebuild'                     |
//   | merge   | (the build leaves one B-tree)       | 'optimize': one segment                 |
//   | query   | FullText::CountRecords              | SELECT count(*) ... MATCH, prepared     |
//   | add     | append + FullText::AddRecord per    | INSERT into quelle and the FTS5 table,  |
//   |         | record (which flushes each time)    | one transaction per record              |
//
// SQLite gets the texts as the engine's HTML option reads them (tags
// dropped, entities decoded), in UTF-8. Its tokenizer unicode61 folds case
// and keeps diacritics (remove_diacritics 0), as the engine's words do;
// detail=none keeps neither positions nor columns, as the engine's index
// keeps none. Matched settings: neither side syncs (synchronous=OFF,
// journal_mode=OFF unless WAL is asked for, secure_delete=OFF), SQLite's page
// cache is as large as the engine's record caches and index page slots of
// the three tables, and FTS5's term buffer (hashsize) is the engine's build
// memory limit for hits. Both sides use files in the same directory.
//
// Every query is run on both sides until it has taken 0.2 s (at least 3
// runs); the program prints the mean times, the ratio engine / SQLite and
// the records found by each side, with a warning line where they differ.
//
//   fulltext_bench [directory] [--records=N] [--index-page=BYTES] [--journal=OFF|WAL] [--detail=none|full]
//                  [--engine-only] [--phase=load|build] [--perf-fifo=PATH]
//
// --engine-only runs the engine's phases alone, for a profiler. --phase runs
// the engine alone up to the end of that phase and prints its time; with
// --perf-fifo (the control FIFO of `perf record --control=fifo:PATH -D -1`)
// the profiler records that phase alone.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/common/bench_support.h"
#include "engine/base/bitarray.h"
#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/btrees.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_fields.h"
#include "engine/storage/fulltext/fulltext_tables.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "engine/units.h"
#include "platform/codepage.h"

namespace {

constexpr int kDefaultRecords = 30000;
constexpr int kAddedRecords = 1000;
constexpr unsigned kSeed = 20240611;
constexpr double kMinQuerySeconds = 0.2;
constexpr int kMinQueryRuns = 3;

// The corpus.
constexpr size_t kTitleSize = 60;
constexpr int kMinTitleWords = 2, kMaxTitleWords = 6;
constexpr int kMemoPercent = 60, kHtmlMemoPercent = 33;
constexpr int kMinMemoWords = 20, kMaxMemoWords = 150;
constexpr int kMinSentenceWords = 4, kMaxSentenceWords = 14;
constexpr size_t kMemoLineLength = 60;  // a line break after this many characters
constexpr int kCompoundsOfThree = 600;
constexpr double kZipfExponent = 1.0;

// The engine's tables: QUELLE.DAT {NR N, TITEL S60, TEXT M, VOLLTEXT R} and
// WORTE.DAT {WORT S30, ANZAHL I, NR N} keyed by word and number.
constexpr int kSource = 1, kWords = 2, kRel = 3;
constexpr uint16_t kNr = 1, kTitle = 2, kText = 3;
constexpr uint16_t kWord = 1, kWordSize = 30;

using bench::Clock;
using bench::Fail;
using bench::SecondsSince;



// ---------------------------------------------------------------------------
// The corpus. The word lists are written in UTF-8 here and kept in
// Windows-1252, the engine's code page.

const char* const kFunctionWords[] = {
    "und", "die", "der", "das", "mit", "für", "über", "nicht", "ist", "ein", "eine", "auf", "von", "zu", "im",
    "bei", "nach", "aus", "wird", "sind", "auch", "sich", "wir", "Sie", "dem", "den", "des", "oder", "aber",
    "wenn", "noch", "nur", "schon", "sehr", "mehr", "können", "müssen", "würde", "daß", "dass", "hätte",
    "größer", "außerdem", "gemäß"};

const char* const kStems[] = {
    "Haus", "Garten", "Baum", "Größe", "Übergang", "Übung", "Müller", "Bäcker", "Straße", "Strasse", "Wohnung",
    "Zeitung", "Ordnung", "Behinderung", "König", "Königin", "Füße", "Fluss", "Fluß", "Äpfel", "Apfel", "Öl",
    "Ofen", "Schlüssel", "Tür", "Tor", "Maus", "Mäuse", "Stadt", "Städte", "Wald", "Wälder", "Glück", "Berg",
    "Brot", "Brötchen", "Kuchen", "Küche", "Gerät", "Gemüse", "Obst", "Tanz", "Tänzer", "Blume", "Blüte",
    "Zahnärztin", "Grüße", "Maß", "Masse", "Spaß", "Café", "Straßenbahn", "Bürger", "Gebäude", "Gemeinde",
    "Verwaltung", "Schule", "Schüler", "Lehrer", "Prüfung", "Ärger", "Öffnung", "Übersicht", "Bahnhof",
    "Flughafen", "Fahrrad", "Auto", "Zug", "Brücke", "Kirche", "Rathaus", "Markt", "Geschäft", "Kunde",
    "Rechnung", "Vertrag", "Kündigung", "Miete", "Heizung", "Wärme", "Kälte", "Regen", "Schnee", "Sonne",
    "Wetter", "Frühling", "Sommer", "Herbst", "Winter", "Woche", "Monat", "Jahr", "Tag", "Nacht", "Morgen",
    "Abend", "schön", "groß", "klein", "alt", "neu", "gut", "schnell", "langsam", "früh", "spät", "hoch", "tief",
    "weiß", "schwarz", "grün", "rot", "blau", "gelb", "gehen", "kommen", "sehen", "machen", "sagen", "wissen",
    "geben", "finden", "bleiben", "liegen", "stehen", "fahren", "öffnen", "schließen", "prüfen", "zählen",
    "wählen", "führen", "hören", "gehören", "Gewährleistung", "Haftung", "Versicherung", "Behörde", "Antrag",
    "Bescheid", "Gebühr", "Steuer", "Förderung", "Zuschuss", "Überweisung", "Konto", "Bank", "Zinsen",
    "Grundstück", "Eigentümer", "Nachbar", "Lärm", "Müll", "Abfall", "Umwelt", "Energie", "Strom", "Wasser",
    // Longer than the word table's 30 characters.
    "Donaudampfschifffahrtsgesellschaft", "Kraftfahrzeughaftpflichtversicherung",
    "Rechtsschutzversicherungsgesellschaften", "Arbeiterunfallversicherungsgesetz"};

const char* const kHeads[] = {
    "Sonnen", "Mond", "Stern", "Feuer", "Wasser", "Erd", "Luft", "Nacht", "Straßen", "Mühlen",
    "Bäcker", "Königs", "Grün", "Öl", "Über", "Haupt", "Bahn", "Schiff", "Dampf", "Kinder",
    "Wald", "Berg", "Fluss", "Stadt", "Land", "Post", "Versicherungs", "Gesellschafts", "Bundes", "Landes",
    "Wirtschafts", "Verkehrs", "Sicherheits", "Arbeits", "Wohnungs", "Bürger", "Schul", "Kranken", "Haus", "Garten"};

const char* const kTails[] = {
    "schein", "licht", "kraft", "werk", "haus", "zeit", "uhr", "bahn", "straße", "gesellschaft",
    "verwaltung", "behörde", "größe", "führer", "küche", "tür", "stück", "gerät", "schlüssel", "ordnung",
    "versicherung", "ministerium", "fahrt", "platz", "markt", "amt", "büro", "zimmer", "glück", "steuer",
    "gebühr", "prüfung", "übersicht", "brücke", "gemeinde", "vertrag", "rechnung", "wärme", "schutz", "öffnung"};

std::string Cp(const char* utf8) { return platform::Utf8ToCp1252(utf8); }

// Case in Windows-1252: A-Z and the capitals from 192 (without 215) against
// their small letters 32 above.
constexpr uint8_t kFirstAccented = 192, kLastAccented = 222, kMultiplication = 215, kCaseDistance = 32;
constexpr uint8_t kSharpS = 223;
char Lower(char ch) {
  const uint8_t c = uint8_t(ch);
  if ((c >= 'A' && c <= 'Z') || (c >= kFirstAccented && c <= kLastAccented && c != kMultiplication && c != kSharpS))
    return char(c + kCaseDistance);
  return ch;
}
char Upper(char ch) {
  const uint8_t c = uint8_t(ch);
  if ((c >= 'a' && c <= 'z') || (c >= kFirstAccented + kCaseDistance && c <= kLastAccented + kCaseDistance &&
                                  c != kMultiplication + kCaseDistance && c != kSharpS + kCaseDistance))
    return char(c - kCaseDistance);
  return ch;
}
std::string Lowered(std::string s) {
  for (char& c : s) c = Lower(c);
  return s;
}
std::string Uppered(std::string s) {
  for (char& c : s) c = Upper(c);
  return s;
}

// The HTML entity of a Windows-1252 letter the corpus writes as one; empty
// for the others.
std::string EntityOf(char c) {
  switch (uint8_t(c)) {
    case 0xE4: return "&auml;";
    case 0xF6: return "&ouml;";
    case 0xFC: return "&uuml;";
    case 0xC4: return "&Auml;";
    case 0xD6: return "&Ouml;";
    case 0xDC: return "&Uuml;";
    case 0xDF: return "&szlig;";
    case 0xE9: return "&eacute;";
    default: return {};
  }
}

// The words in the order of their frequency: the function words first, then
// the stems, the long words and the compounds of two and three parts,
// shuffled; none equal to another but for case.
std::vector<std::string> Vocabulary(std::mt19937& rng) {
  std::vector<std::string> head, rest;
  for (const char* w : kFunctionWords) head.push_back(Cp(w));
  for (const char* w : kStems) rest.push_back(Cp(w));
  auto lowerFirst = [](std::string s) {
    s[0] = Lower(s[0]);
    return s;
  };
  for (const char* h : kHeads)
    for (const char* t : kTails) rest.push_back(Cp(h) + Cp(t));
  for (int i = 0; i < kCompoundsOfThree; ++i)
    rest.push_back(Cp(kHeads[rng() % std::size(kHeads)]) + lowerFirst(Cp(kHeads[rng() % std::size(kHeads)])) +
                   Cp(kTails[rng() % std::size(kTails)]));
  std::shuffle(rest.begin(), rest.end(), rng);
  std::vector<std::string> words;
  std::set<std::string> seen;
  for (const auto* list : {&head, &rest})
    for (const std::string& w : *list)
      if (seen.insert(Lowered(w)).second) words.push_back(w);
  return words;
}

struct Doc {
  std::string title;      // Windows-1252
  std::string memo;       // Windows-1252, maybe HTML; lines end with CR LF
  std::string plainText;  // the memo as the engine reads it, UTF-8
  bool html = false;
};

class CorpusGenerator {
 public:
  explicit CorpusGenerator(unsigned seed) : rng_(seed), words_(Vocabulary(rng_)) {
    std::vector<double> weights;
    for (size_t r = 0; r < words_.size(); ++r) weights.push_back(1.0 / std::pow(double(r + 1), kZipfExponent));
    pick_ = std::discrete_distribution<size_t>(weights.begin(), weights.end());
  }

  size_t VocabularySize() const { return words_.size(); }

  Doc Next() {
    Doc d;
    const int titleWords = Between(kMinTitleWords, kMaxTitleWords);
    for (int i = 0; i < titleWords; ++i) {
      const std::string w = Word();
      const std::string sep = d.title.empty() ? "" : Percent(70) ? " " : Percent(50) ? ", " : " - ";
      if (d.title.size() + sep.size() + w.size() > kTitleSize) break;
      d.title += sep + w;
    }
    if (Percent(kMemoPercent)) Memo(d, Percent(kHtmlMemoPercent));
    return d;
  }

 private:
  int Between(int lo, int hi) { return lo + int(rng_() % unsigned(hi - lo + 1)); }
  bool Percent(int p) { return int(rng_() % 100) < p; }

  // A word in one of its spellings, now and then a number.
  std::string Word() {
    if (Percent(3)) return std::to_string(1 + rng_() % 2030);
    const std::string& w = words_[pick_(rng_)];
    const unsigned k = rng_() % 100;
    return k < 12 ? Lowered(w) : k < 20 ? Uppered(w) : w;
  }

  // Sentences of words; in HTML paragraphs, bold words, "&nbsp;" and "&amp;"
  // between words and entities for the letters above 127. The plain text
  // takes the same words with blanks.
  void Memo(Doc& d, bool html) {
    d.html = html;
    std::string& m = d.memo;
    std::string plain;
    size_t lineStart = 0;
    if (html) m += "<p>";
    const int count = Between(kMinMemoWords, kMaxMemoWords);
    int sentenceLeft = 0, sentences = 0;
    for (int i = 0; i < count; ++i) {
      std::string w = Word();
      bool startsSentence = sentenceLeft == 0;
      if (startsSentence) {
        sentenceLeft = Between(kMinSentenceWords, kMaxSentenceWords);
        w[0] = Upper(w[0]);
      }
      --sentenceLeft;
      if (i > 0) {
        // The separator before the word.
        std::string sep = " ", plainSep = " ";
        if (startsSentence) {
          sep = plainSep = ". ";
          if (html && ++sentences % 3 == 0) {
            sep = ".</p>\r\n<p>";
            plainSep = ".\r\n";
          }
        } else if (Percent(8)) {
          sep = plainSep = ", ";
        } else if (Percent(3)) {
          sep = plainSep = "-";
        } else if (html && Percent(5)) {
          sep = "&nbsp;";
        } else if (html && Percent(2)) {
          sep = " &amp; ";
          plainSep = " & ";
        }
        if (m.size() - lineStart > kMemoLineLength && sep.back() == ' ') {
          sep.back() = '\r';
          sep += '\n';
          plainSep.back() = '\r';
          plainSep += '\n';
        }
        m += sep;
        plain += plainSep;
        if (sep.back() == '\n') lineStart = m.size();
      }
      plain += w;
      if (!html) {
        m += w;
        continue;
      }
      const bool bold = Percent(8);
      if (bold) m += "<b>";
      for (char c : w) {
        const std::string e = EntityOf(c);
        m += e.empty() ? std::string(1, c) : e;
      }
      if (bold) m += "</b>";
    }
    m += html ? ".</p>" : ".";
    plain += ".";
    d.plainText = platform::Cp1252ToUtf8(plain);
  }

  std::mt19937 rng_;
  std::vector<std::string> words_;
  std::discrete_distribution<size_t> pick_;
};

// ---------------------------------------------------------------------------
// The queries: the engine's form (Windows-1252 once converted) and the same
// logical query in FTS5 syntax. The engine's operators: "," and, "+" or,
// "-" and not, left to right with "+" binding loosest; "*" ends a prefix.

struct Query {
  const char* kind;
  const char* engine;  // UTF-8 here
  const char* fts5;
};

const Query kQueries[] = {
    {"word, most frequent", "und", "und"},
    {"word", "Garten", "garten"},
    {"word, umlaut", "Größe", "\"größe\""},
    {"word, upper case", "STRAßE", "\"straße\""},
    {"word, sharp s", "daß", "\"daß\""},
    {"word, compound", "Wasserkraft", "wasserkraft"},
    {"word, 36 characters", "Kraftfahrzeughaftpflichtversicherung", "kraftfahrzeughaftpflichtversicherung"},
    {"and", "Brücke,Strasse", "\"brücke\" AND strasse"},
    {"and, frequent words", "und,die,Stadt", "und AND die AND stadt"},
    {"or", "Haus+Baum", "haus OR baum"},
    {"or, five words", "Haus+Baum+Wald+Berg+Brücke", "haus OR baum OR wald OR berg OR \"brücke\""},
    {"and not", "Brücke-Strasse", "\"brücke\" NOT strasse"},
    {"and not, frequent words", "und,-die", "und NOT die"},
    {"prefix", "Sonnen*", "sonnen*"},
    {"prefix, short", "St*", "st*"},
    {"prefix, umlaut", "Über*", "\"über\"*"},
    {"prefix, long words", "Versicherungs*", "versicherungs*"},
    {"prefix and word", "Wasser*,Stadt", "wasser* AND stadt"},
    {"grouped or, and not prefix", "(Haus+Baum),-Gr*", "(haus OR baum) NOT gr*"},
    {"grouped", "(Straße+Strasse),(Bahnhof+Brücke)-Müll*",
     "((\"straße\" OR strasse) AND (bahnhof OR \"brücke\")) NOT \"müll\"*"},
};
constexpr size_t kQueryCount = std::size(kQueries);

// ---------------------------------------------------------------------------
// The engine

class EngineSide {
 public:
  explicit EngineSide(const std::string& directory) : directory_(directory) {}

  void Create() {
    // The files of a former run in the directory go first (creation does
    // not write over a table).
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
      const std::string name = entry.path().filename().string();
      for (const char* stem : {"QUELLE.", "WORTE.", "VOLLTEXT."})
        if (name.rfind(stem, 0) == 0) std::filesystem::remove(entry.path());
    }
    auto source = zettable_test::MakeTable(
        2, {{"NR", Common::kTypeAutoNumber, 3, 10}, {"TITEL", Common::kTypeString, kTitleSize, kTitleSize},
            {"TEXT", Common::kTypeMemo, 3, 1}, {"VOLLTEXT", Common::kTypeRelation, 0, 0}});
    SetIdKey(*source, {{kNr, 4, Common::kTypeAutoNumber}});
    if (int e = Zet06::CreateTable(*source, Path("QUELLE.DAT"), {}, true, 0, 0)) Fail("create source", e);
    auto words = zettable_test::MakeTable(2, {{"WORT", Common::kTypeString, kWordSize, kWordSize},
                                              {"ANZAHL", Common::kTypeInteger, 1, 6},
                                              {"NR", Common::kTypeAutoNumber, 3, 10}});
    SetIdKey(*words, {{kWord, kWordSize + 1, Common::kTypeString}, {3, 4, Common::kTypeAutoNumber}});
    if (int e = Zet06::CreateTable(*words, Path("WORTE.DAT"), {}, false, 0, 0)) Fail("create words", e);
    for (auto [slot, name] : {std::pair{kSource, "QUELLE.DAT"}, {kWords, "WORTE.DAT"}, {kRel, "VOLLTEXT.REL"}})
      if (int e = Zet01::OpenTable(slot, ZetTable::kRightsMask, Path(name), 0, 0, "")) Fail("open", e);
  }

  // Bytes of record caches and index page slots of the three tables, and
  // the budget of the page cache all index trees share.
  size_t CacheBytes() const {
    size_t bytes = BTREES::CacheBudget();
    for (int slot : {kSource, kWords, kRel}) {
      const ZetTable::TZetTable& t = *ZetTable::Table(slot);
      bytes += size_t(Zet01::RecordCacheSlots(slot)) * t.recordLength;
      for (int s = 0; s <= t.highestIndexSlot; ++s)
        if (t.indexes[size_t(s)] && Zet00::IndexAvailable(slot, s, false))
          bytes += size_t(BTREES::kPageSlots) * Zet00::IndexTree(slot, s)->header.pageSize;
    }
    return bytes;
  }

  uint16_t PageSize() const { return Zet00::IndexTree(kRel, FullText::kRelationIndex)->header.pageSize; }

  // Appends the records with their keys, flushed at the end.
  void Load(const std::vector<Doc>& docs) {
    for (const Doc& d : docs) {
      PutRow(d);
      if (int e = Zet01::AppendRecord(kSource, false, 0)) Fail("append", e);
    }
    if (int e = FullText::WriteNextAutoNumber(kSource, uint32_t(T(kSource).recordCount) + 1)) Fail("auto number", e);
    if (int e = Zet01::FlushTable(kSource, true)) Fail("flush", e);
  }

  void Build() {
    const int32_t entries = FullText::BuildIndex(Request(), nullptr);
    if (entries < 0) Fail("build", entries);
  }

  // Appends each record and adds it to the index.
  void Add(const std::vector<Doc>& docs) {
    for (const Doc& d : docs) {
      PutRow(d);
      if (int e = Zet01::AppendRecord(kSource, true, 0)) Fail("append", e);
      if (int e = FullText::WriteNextAutoNumber(kSource, uint32_t(T(kSource).recordCount) + 1)) Fail("auto", e);
      if (int32_t e = FullText::AddRecord(Request())) Fail("add", e);
    }
  }

  int32_t Count(const std::string& query) {
    if (bits_.byteCount != T(kSource).recordCount / 8 + 1) {
      Bitarray::Free(bits_);
      Bitarray::Create(bits_, T(kSource).recordCount / 8 + 1);
    }
    FullText::TRelationSlots relations{};
    relations[0] = kRel;
    const int32_t n = FullText::CountRecords(kSource, kWords, query, "", "", relations, 0, bits_);
    if (n < 0) Fail("query", n);
    return n;
  }

  int32_t WordCount() const { return T(kWords).recordCount; }
  int32_t EntryCount() const { return T(kRel).recordCount; }

  // Bytes of the word table's and the relation table's files.
  uintmax_t IndexBytes() const {
    uintmax_t bytes = 0;
    for (const auto& f : std::filesystem::directory_iterator(directory_)) {
      const std::string name = f.path().filename().string();
      if (name.rfind("WORTE.", 0) == 0 || name.rfind("VOLLTEXT.", 0) == 0) bytes += f.file_size();
    }
    return bytes;
  }

  void Close() {
    Bitarray::Free(bits_);
    for (int slot : {kRel, kWords, kSource}) Zet01::CloseTable(slot);
  }

 private:
  static ZetTable::TZetTable& T(int slot) { return *ZetTable::Table(slot); }
  std::string Path(const char* name) const { return directory_ + "/" + name; }

  static void SetIdKey(ZetTable::TZetTable& t, const std::vector<Zet00::TKeyPart>& parts) {
    for (size_t i = 0; i < parts.size(); ++i) Zet00::SetKeyPart(t.idKeyDescription.data(), i, parts[i]);
    t.nextAutoNumber = 1;
  }

  // The record buffer from a document, with its memo written and the next
  // auto number.
  static void PutRow(const Doc& d) {
    ZetTable::TZetTable& t = T(kSource);
    ZetTable::ClearRecordBuffer(kSource);
    if (ZetTable::SetFieldText(kSource, kTitle, t.recordBuffer.data(), d.title) != 0) Fail("title", 0);
    if (!d.memo.empty()) {
      if (WINMEMOS::InitPutMemo(t.memoFile) != 0) Fail("memo", 0);
      WINMEMOS::PutMemoBlock(int32_t(d.memo.size()), d.memo.data());
      const uint32_t first = WINMEMOS::DonePutMemo(t.memoFile, 0);
      if (first == 0) Fail("memo", 0);
      bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(kText), first);
    }
    bytes::PutI32(t.recordBuffer.data() + t.FieldOffset(kNr), t.recordCount + 1);
  }

  static FullText::TIndexRequest Request() {
    FullText::TIndexRequest r;
    r.source = kSource;
    for (uint16_t f : {kTitle, kText}) {
      if (!r.fieldList.empty()) r.fieldList.append(char(FullText::kCodeSeparator));
      r.fieldList.append(char(FullText::kCodeField));
      r.fieldList.append(char(kSource));
      r.fieldList.append(char(f & 0xFF));
      r.fieldList.append(char(f >> 8));
    }
    r.relationTable = kRel;
    r.wordTable = kWords;
    r.options = FullText::kOptHtml;
    return r;
  }

  std::string directory_;
  Bitarray::TBitArray bits_;
};

// ---------------------------------------------------------------------------
// SQLite

class SqliteSide : public bench::SqliteDb {
 public:
  SqliteSide(const std::string& directory, const std::string& journal, const std::string& detail, size_t cacheKiB,
             int32_t hashSize)
      : SqliteDb(directory, journal, cacheKiB) {
    Exec("PRAGMA secure_delete=OFF");
    Exec("CREATE TABLE quelle(nr INTEGER PRIMARY KEY, titel TEXT, text TEXT)");
    Exec("CREATE VIRTUAL TABLE volltext USING fts5(titel, text, content='quelle', content_rowid='nr', detail=" +
         detail + ", tokenize='unicode61 remove_diacritics 0')");
    Exec("INSERT INTO volltext(volltext, rank) VALUES('hashsize', " + std::to_string(hashSize) + ")");
    Exec("CREATE VIRTUAL TABLE vokabular USING fts5vocab(volltext, 'row')");
  }
  std::string FtsSetting(const char* key) {
    return Text(std::string("SELECT v FROM volltext_config WHERE k = '") + key + "'");
  }

  void Load(const std::vector<Doc>& docs, int first) {
    Exec("BEGIN");
    sqlite3_stmt* s = Prepare("INSERT INTO quelle(nr, titel, text) VALUES (?, ?, ?)");
    for (const Doc& d : docs) InsertRow(s, first++, d);
    sqlite3_finalize(s);
    Exec("COMMIT");
  }

  void Build() { Exec("INSERT INTO volltext(volltext) VALUES('rebuild')"); }
  void Optimize() { Exec("INSERT INTO volltext(volltext) VALUES('optimize')"); }

  // Each record in a transaction of its own, into the table and the index.
  void Add(const std::vector<Doc>& docs, int first) {
    sqlite3_stmt* row = Prepare("INSERT INTO quelle(nr, titel, text) VALUES (?, ?, ?)");
    sqlite3_stmt* index = Prepare("INSERT INTO volltext(rowid, titel, text) VALUES (?, ?, ?)");
    for (const Doc& d : docs) {
      Exec("BEGIN");
      InsertRow(row, first, d);
      InsertRow(index, first, d);
      Exec("COMMIT");
      ++first;
    }
    sqlite3_finalize(row);
    sqlite3_finalize(index);
  }

  int32_t Count(const std::string& query) {
    if (!count_) count_ = Prepare("SELECT count(*) FROM volltext WHERE volltext MATCH ?");
    sqlite3_bind_text(count_, 1, query.data(), int(query.size()), SQLITE_STATIC);
    if (sqlite3_step(count_) != SQLITE_ROW) Fail("sqlite query", sqlite3_errcode(db_));
    const int32_t n = sqlite3_column_int(count_, 0);
    sqlite3_reset(count_);
    return n;
  }

  long Number(const std::string& sql) { return std::atol(Text(sql).c_str()); }

  void Close() {
    sqlite3_finalize(count_);
    count_ = nullptr;
  }

 private:
  void InsertRow(sqlite3_stmt* s, int nr, const Doc& d) {
    const std::string title = platform::Cp1252ToUtf8(d.title);
    sqlite3_bind_int(s, 1, nr);
    sqlite3_bind_text(s, 2, title.data(), int(title.size()), SQLITE_TRANSIENT);
    if (d.plainText.empty())
      sqlite3_bind_null(s, 3);
    else
      sqlite3_bind_text(s, 3, d.plainText.data(), int(d.plainText.size()), SQLITE_STATIC);
    Step(s);
  }

  sqlite3_stmt* count_ = nullptr;
};

// A UTF-8 text padded with blanks to width characters.
std::string Padded(const std::string& utf8, size_t width) {
  constexpr uint8_t kContinuationMask = 0xC0, kContinuation = 0x80;
  size_t characters = 0;
  for (char c : utf8) characters += (uint8_t(c) & kContinuationMask) != kContinuation;
  return utf8 + std::string(characters < width ? width - characters : 0, ' ');
}

// Runs f until it has taken kMinQuerySeconds and kMinQueryRuns runs; answers
// the mean seconds of a run and leaves the last result in result.
template <class F>
double MeanSeconds(F f, int32_t& result) {
  int runs = 0;
  const Clock::time_point start = Clock::now();
  double elapsed = 0;
  do {
    result = f();
    ++runs;
    elapsed = SecondsSince(start);
  } while (runs < kMinQueryRuns || elapsed < kMinQuerySeconds);
  return elapsed / runs;
}

struct Options {
  std::string directory;
  std::string journal = "OFF";
  std::string detail = "none";
  int records = kDefaultRecords;
  int indexPage = 0;  // the engine's index page size; 0: its default
  bool engineOnly = false;
  std::string phase;     // "load" or "build": the engine alone, up to the end of it
  std::string perfFifo;  // perf's control FIFO: enabled for that phase only
};

// Switches the events of `perf record --control=fifo:PATH` on and off.
class PerfControl {
 public:
  explicit PerfControl(const std::string& fifo) {
    if (!fifo.empty() && !(file_ = std::fopen(fifo.c_str(), "w"))) Fail("--perf-fifo", errno);
  }
  ~PerfControl() {
    if (file_) std::fclose(file_);
  }
  PerfControl(const PerfControl&) = delete;
  PerfControl& operator=(const PerfControl&) = delete;
  void Send(const char* command) {
    if (!file_) return;
    std::fprintf(file_, "%s\n", command);
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&arg](const char* option) {
      const std::string prefix = std::string(option) + "=";
      return arg.rfind(prefix, 0) == 0 ? arg.substr(prefix.size()) : std::string();
    };
    if (!value("--journal").empty())
      o.journal = value("--journal");
    else if (!value("--detail").empty())
      o.detail = value("--detail");
    else if (!value("--records").empty())
      o.records = std::max(1, std::atoi(value("--records").c_str()));
    else if (!value("--index-page").empty())
      o.indexPage = std::atoi(value("--index-page").c_str());
    else if (!value("--phase").empty())
      o.phase = value("--phase");
    else if (!value("--perf-fifo").empty())
      o.perfFifo = value("--perf-fifo");
    else if (arg == "--engine-only")
      o.engineOnly = true;
    else if (arg.rfind("--", 0) == 0)
      Fail(("option " + arg).c_str(), 0);
    else
      o.directory = arg;
  }
  if (!o.phase.empty() && o.phase != "load" && o.phase != "build") Fail(("--phase=" + o.phase).c_str(), 0);
  if (!o.phase.empty()) o.engineOnly = true;
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseOptions(argc, argv);
  bool ownDirectory = false;
  if (o.directory.empty()) {
    char pattern[] = "/tmp/fulltext_bench_XXXXXX";
    if (!mkdtemp(pattern)) Fail("mkdtemp", errno);
    o.directory = pattern;
    ownDirectory = true;
  }

  CorpusGenerator generator(kSeed);
  std::vector<Doc> docs, added;
  for (int i = 0; i < o.records; ++i) docs.push_back(generator.Next());
  for (int i = 0; i < kAddedRecords; ++i) added.push_back(generator.Next());
  size_t memos = 0, htmlMemos = 0, textBytes = 0;
  for (const Doc& d : docs) {
    memos += !d.memo.empty();
    htmlMemos += d.html;
    textBytes += d.title.size() + d.memo.size();
  }
  std::vector<std::string> engineQueries;
  for (const Query& q : kQueries) engineQueries.push_back(Cp(q.engine));

  Units::StartEngine();
  // Bulk work, matched with SQLite's synchronous=OFF: the engine's syncs
  // at its ordering points are off.
  LOWFILES::SetSyncWrites(false);
  // Page numbers are 16 bits: an index of 8-byte keys on 512-byte pages
  // holds at most about 3 million keys, so the larger corpora need larger
  // pages (the 8-byte keys get an eighth of it).
  if (o.indexPage != 0 && !Zet00::SetIndexPageSize(o.indexPage)) Fail("--index-page", o.indexPage);
  EngineSide engine(o.directory);
  engine.Create();
  const size_t cacheKiB = (engine.CacheBytes() + 1023) / 1024;
  std::unique_ptr<SqliteSide> sqlite;
  if (!o.engineOnly)
    sqlite = std::make_unique<SqliteSide>(o.directory, o.journal, o.detail, cacheKiB, FullText::kDefaultMemoryLimit);

  enum Phase { kLoad, kBuild, kOptimize, kBuildTotal, kAdd, kPhaseCount };
  const char* const phaseNames[kPhaseCount] = {"load rows (no full-text index)", "build index",
                                               "merge (FTS5 optimize)", "build + merge",
                                               "add records one by one"};
  double times[2][kPhaseCount] = {};
  auto timed = [](auto&& work) {
    const Clock::time_point start = Clock::now();
    work();
    return SecondsSince(start);
  };
  if (!o.phase.empty()) {
    // One phase for a profiler: the phases before it run unrecorded.
    PerfControl perf(o.perfFifo);
    const bool build = o.phase == "build";
    if (build) engine.Load(docs);
    perf.Send("enable");
    const double seconds = timed([&] { build ? engine.Build() : engine.Load(docs); });
    perf.Send("disable");
    std::printf("%d records, engine %s: %.3f s\n", o.records, o.phase.c_str(), seconds);
    engine.Close();
    Units::StopEngine();
    if (ownDirectory) std::filesystem::remove_all(o.directory);
    return 0;
  }
  times[0][kLoad] = timed([&] { engine.Load(docs); });
  times[0][kBuild] = timed([&] { engine.Build(); });
  times[0][kBuildTotal] = times[0][kBuild];
  const int32_t engineWords = engine.WordCount(), engineEntries = engine.EntryCount();
  const uintmax_t engineBytes = engine.IndexBytes();
  long ftsTerms = 0, ftsBytes = 0;
  if (sqlite) {
    times[1][kLoad] = timed([&] { sqlite->Load(docs, 1); });
    times[1][kBuild] = timed([&] { sqlite->Build(); });
    times[1][kOptimize] = timed([&] { sqlite->Optimize(); });
    times[1][kBuildTotal] = times[1][kBuild] + times[1][kOptimize];
    ftsTerms = sqlite->Number("SELECT count(*) FROM vokabular");
    ftsBytes = sqlite->Number("SELECT sum(pgsize) FROM dbstat WHERE name LIKE 'volltext%'");
  }

  struct Result {
    double seconds[2] = {};
    int32_t hits[2] = {};
  };
  std::vector<Result> results(kQueryCount);
  for (size_t i = 0; i < kQueryCount; ++i) {
    Result& r = results[i];
    r.seconds[0] = MeanSeconds([&] { return engine.Count(engineQueries[i]); }, r.hits[0]);
    if (sqlite) r.seconds[1] = MeanSeconds([&] { return sqlite->Count(kQueries[i].fts5); }, r.hits[1]);
  }

  times[0][kAdd] = timed([&] { engine.Add(added); });
  if (sqlite) times[1][kAdd] = timed([&] { sqlite->Add(added, o.records + 1); });
  std::vector<std::pair<int32_t, int32_t>> afterAdd;
  for (size_t i = 0; i < kQueryCount; ++i)
    afterAdd.push_back({engine.Count(engineQueries[i]), sqlite ? sqlite->Count(kQueries[i].fts5) : 0});

  std::printf("Full-text index vs SQLite %s FTS5, %d records (%zu with a memo, %zu of them HTML), %.1f MB of text, "
              "%zu distinct words generated; then %d records added one by one\n",
              sqlite3_libversion(), o.records, memos, htmlMemos, double(textBytes) / 1e6,
              generator.VocabularySize(), kAddedRecords);
  std::printf("engine: syncs off (LOWFILES::SetSyncWrites); HTML option; word table WORT S30; build memory limit %d bytes of hits; "
              "record caches + index page slots = %zu KiB; index page %u bytes\n",
              FullText::kDefaultMemoryLimit, cacheKiB, unsigned(engine.PageSize()));
  if (sqlite)
    std::printf("sqlite: synchronous=%s journal_mode=%s secure_delete=%s cache_size=%s page_size=%s; "
                "fts5 detail=%s tokenize='unicode61 remove_diacritics 0' hashsize=%s, external content; "
                "load, build and merge one transaction each\n",
                sqlite->Setting("synchronous").c_str(), sqlite->Setting("journal_mode").c_str(),
                sqlite->Setting("secure_delete").c_str(), sqlite->Setting("cache_size").c_str(),
                sqlite->Setting("page_size").c_str(), o.detail.c_str(), sqlite->FtsSetting("hashsize").c_str());
  std::printf("index: engine %d words, %d entries, %.1f MB (word table + .REL files); "
              "fts5 %ld terms (numbers too), %.1f MB (shadow tables)\n\n",
              engineWords, engineEntries, double(engineBytes) / 1e6, ftsTerms, double(ftsBytes) / 1e6);

  std::printf("%-32s %12s %12s %10s\n", "phase", "engine s", "sqlite s", "ratio");
  for (int p = 0; p < kPhaseCount; ++p) {
    if (p == kOptimize) {
      std::printf("%-32s %12s %12.3f %10s\n", phaseNames[p], "-", times[1][p], "-");
      continue;
    }
    std::printf("%-32s %12.3f %12.3f %10.2f\n", phaseNames[p], times[0][p], times[1][p],
                times[1][p] > 0 ? times[0][p] / times[1][p] : 0.0);
  }

  std::printf("\n%-27s %-40s %8s %8s %10s %10s %8s\n", "query", "engine / fts5", "hits e", "hits s", "engine us",
              "sqlite us", "ratio");
  double sums[2] = {};
  int differing = 0;
  for (size_t i = 0; i < kQueryCount; ++i) {
    const Result& r = results[i];
    sums[0] += r.seconds[0];
    sums[1] += r.seconds[1];
    std::printf("%-27s %s %8d %8d %10.1f %10.1f %8.2f\n", kQueries[i].kind, Padded(kQueries[i].engine, 40).c_str(),
                r.hits[0], r.hits[1], r.seconds[0] * 1e6, r.seconds[1] * 1e6,
                r.seconds[1] > 0 ? r.seconds[0] / r.seconds[1] : 0.0);
    if (sqlite) std::printf("%-27s %s\n", "", kQueries[i].fts5);
    if (sqlite && r.hits[0] != r.hits[1]) {
      std::printf("WARNING: hit counts differ for %s: engine %d, fts5 %d\n", kQueries[i].engine, r.hits[0],
                  r.hits[1]);
      ++differing;
    }
  }
  std::printf("%-27s %-40s %8s %8s %10.1f %10.1f %8.2f\n", "all queries (sum of means)", "", "", "", sums[0] * 1e6,
              sums[1] * 1e6, sums[1] > 0 ? sums[0] / sums[1] : 0.0);
  if (sqlite) {
    int differingAfterAdd = 0;
    for (size_t i = 0; i < kQueryCount; ++i) {
      if (afterAdd[i].first == afterAdd[i].second) continue;
      ++differingAfterAdd;
      std::printf("WARNING: after the adds, hit counts differ for %s: engine %d, fts5 %d\n", kQueries[i].engine,
                  afterAdd[i].first, afterAdd[i].second);
    }
    std::printf("hit counts agree for %zu of %zu queries; after the adds for %zu of %zu\n",
                kQueryCount - size_t(differing), kQueryCount, kQueryCount - size_t(differingAfterAdd), kQueryCount);
  }

  if (sqlite) sqlite->Close();
  sqlite.reset();
  engine.Close();
  Units::StopEngine();
  if (ownDirectory) std::filesystem::remove_all(o.directory);
  return 0;
}
