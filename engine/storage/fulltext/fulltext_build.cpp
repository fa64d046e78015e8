// Building the full-text index of a whole table.
//
// The build keeps every word it meets in a word tree, ordered by the
// collating comparison (without regard to case). A word's node holds its
// word number, its hit count (the records it occurs in) and the hits not yet
// written, latest first: {source record number, source auto number, weight}.
// Hits take memory (16 bytes counted each); when they exceed the memory
// limit after a record, they are written to the relation table and freed,
// while the words stay. The words then replace the word table, in tree
// order.
//
// What always holds while records are read:
//   1. Every word of the tree has a number below the next word number.
//   2. A word's hits are for distinct records, ascending in memory (written
//      latest first); a hit that arrives while the word's count is above
//      the maximum frees them, and no hit of that word is written again.
//   3. The relation table holds exactly the hits written so far as records
//      (unless compact), entry numbers running on from one write to the
//      next; the keys of index 2 and index 1 for them wait in memory and go
//      into the (emptied) indexes after the last record, each index written
//      bottom-up at once.
#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/btree_bulk.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_internal.h"
#include "engine/storage/fulltext/fulltext_tables.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable_fields.h"

namespace FullText {
namespace {

using ZetTable::TZetTable;

constexpr int32_t kProgressSteps = 100;
constexpr int32_t kCountUnknown = -1;

struct TCollateLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return UPPERCAS::CollateCompare(a, b) < 0; }
};

struct THit {
  uint32_t record;
  int32_t autoNumber;
  uint16_t weight;
};

struct TWordNode {
  int32_t number = 0;
  int32_t hitCount = 0;
  std::vector<THit> hits;  // oldest first; written latest first
};

using TWordTree = std::map<std::string, TWordNode, TCollateLess>;

struct TLoadedWord {
  std::string word;
  int32_t number;
  int32_t hitCount;
};

class TBuild {
 public:
  TBuild(const TIndexRequest& request, Zet00::TProgressProc progress, std::vector<TFieldItem> items,
         std::vector<TFieldItem> exclusions)
      : r_(request),
        progress_(progress),
        items_(std::move(items)),
        exclusionItems_(std::move(exclusions)),
        words_(*ZetTable::Table(request.wordTable)),
        extractor_((request.options & kOptHtml) != 0, request.extraChars, &stopWords_,
                   [this](std::string_view word) { TakeWord(word); }) {}

  int32_t Run();

 private:
  bool Option(uint16_t bit) const { return (r_.options & bit) != 0; }
  bool Progress(int32_t position, int32_t total) const { return progress_ && progress_(position, total) == 1; }
  bool Written(const TWordNode& node) const { return node.hitCount < maxHits_; }
  // Calls f(word, node) for every word the index keeps (fewer hits than the
  // maximum), in tree order, until f answers an error.
  template <class F>
  int ForEachWrittenWord(F f) const;
  // Calls f(node, hit) for their hits, latest first.
  template <class F>
  int ForEachWrittenHit(F f) const;

  void LoadExistingWords();
  void LoadRange(const std::vector<TLoadedWord>& list, ptrdiff_t lo, ptrdiff_t hi);
  void LoadRecords(uint32_t lo, uint32_t hi);
  void TakeWord(std::string_view word);
  int IndexRecords(int32_t& result);
  int WriteHits();
  int WriteIndexKeys();
  void PutWordRecord(const std::string& word, const TWordNode& node);
  int RewriteWordTable();
  int Finish();

  const TIndexRequest& r_;
  Zet00::TProgressProc progress_;
  std::vector<TFieldItem> items_;
  std::vector<TFieldItem> exclusionItems_;
  TZetTable& words_;
  TStopWords stopWords_;
  TWordExtractor extractor_;
  TWordTree tree_;
  std::set<std::string, TCollateLess> excluded_;
  bool collectingExclusions_ = false;

  int32_t maxHits_ = kNoHitLimit;
  int32_t memoryLimit_ = kDefaultMemoryLimit;
  int32_t hitMemory_ = 0;
  int32_t nextWord_ = 1;
  bool wordsAdded_ = false;
  bool compactWords_ = false;
  // The keys of the relation table's two indexes, gathered over all writes
  // of hits and put into the indexes at the end, bottom-up.
  BTREES::TKeySorter relationKeys_{kRelationKeyLength};
  BTREES::TKeySorter entryKeys_{kEntryKeyLength};
  bool hasHitCount_ = false;
  bool readFailed_ = false;
  bool stopped_ = false;
  int32_t step_ = 1;
  int32_t total_ = 0;
  // The record being indexed.
  uint32_t record_ = 0;
  int32_t autoNumber_ = 0;
  uint16_t weight_ = 0;
};

int WriteFailed(const TZetTable& t) {
  Common::SetFileError(Common::kErrWrite, Common::AppendStrCopy(t.directory, t.fileName));
  return Common::kErrWrite;
}

template <class F>
int TBuild::ForEachWrittenWord(F f) const {
  for (const auto& [word, node] : tree_)
    if (Written(node))
      if (const int error = f(word, node)) return error;
  return 0;
}

template <class F>
int TBuild::ForEachWrittenHit(F f) const {
  return ForEachWrittenWord([&f](const std::string&, const TWordNode& node) {
    for (auto hit = node.hits.rbegin(); hit != node.hits.rend(); ++hit)
      if (const int error = f(node, *hit)) return error;
    return 0;
  });
}

// ---------------------------------------------------------------------------
// Words of the word table

void TBuild::LoadRange(const std::vector<TLoadedWord>& list, ptrdiff_t lo, ptrdiff_t hi) {
  if (lo > hi) return;
  const ptrdiff_t mid = lo + (hi - lo) / 2;
  const TLoadedWord& w = list[size_t(mid)];
  tree_.try_emplace(w.word, TWordNode{w.number, w.hitCount, {}});
  LoadRange(list, lo, mid - 1);
  LoadRange(list, mid + 1, hi);
}

void TBuild::LoadRecords(uint32_t lo, uint32_t hi) {
  if (lo > hi) return;
  const uint32_t mid = lo + (hi - lo) / 2;
  std::vector<uint8_t> record(words_.recordLength);
  if (Zet01::ReadRecordInto(r_.wordTable, mid, record.data(), nullptr, 0, ZetTable::kOrderRecords) == 0) {
    const ShortStr word = ZetTable::FieldText(words_, kWordField, record.data());
    int32_t number = 0;
    if (words_.hasAutoNumber) number = bytes::GetI32(record.data() + words_.FieldOffset(words_.autoNumberField));
    tree_.try_emplace(word.str(), TWordNode{number, 0, {}});
  }
  if (mid > lo) LoadRecords(lo, mid - 1);
  LoadRecords(mid + 1, hi);
}

void TBuild::LoadExistingWords() {
  const int w = r_.wordTable;
  if (IsProperWordTable(words_)) {
    std::vector<TLoadedWord> list;
    std::vector<uint8_t> record(words_.recordLength);
    const bool readHits = hasHitCount_ && !words_.countUnknown;
    words_.currentKey.fill(0);
    for (uint8_t status = Zet00::IndexFirst(w, kWordIndex); status == Zet00::kStatusFound;
         status = Zet00::IndexNext(w, kWordIndex)) {
      const uint8_t* key = words_.currentKey.data();
      int32_t hits = 0;
      if (readHits && Zet01::ReadRecordInto(w, Zet00::KeyRecordNumber(key), record.data(), nullptr, 0,
                                            ZetTable::kOrderRecords) == 0) {
        Common::FieldValue value;
        Common::GetFieldAsNumber(record.data(), words_.Place(kHitCountField), words_.version, value);
        hits = Common::RealToLongInt(value.number);
      }
      list.push_back({KeyWord(words_, key).str(), KeyWordNumber(words_, key), hits});
    }
    LoadRange(list, 0, ptrdiff_t(list.size()) - 1);
  } else {
    words_.orderMode = ZetTable::kOrderRecords;
    if (words_.recordCount > 0) LoadRecords(1, uint32_t(words_.recordCount));
  }
  nextWord_ = int32_t(std::max<uint32_t>(ReadNextAutoNumber(w), 1));
}

// ---------------------------------------------------------------------------
// Records

void TBuild::TakeWord(std::string_view word) {
  if (collectingExclusions_) {
    excluded_.emplace(word);
    return;
  }
  if (!excluded_.empty() && excluded_.count(word)) return;
  auto it = tree_.find(word);
  if (it == tree_.end()) {
    if (Option(kOptNoNewWords)) return;
    it = tree_.try_emplace(std::string(word), TWordNode{nextWord_++, 0, {}}).first;
    wordsAdded_ = true;
  }
  TWordNode& node = it->second;
  if (node.hitCount > maxHits_) {
    node.hits = {};
    return;
  }
  if (hasHitCount_) wordsAdded_ = true;
  if (!node.hits.empty() && node.hits.back().record == record_) return;
  node.hits.push_back({record_, autoNumber_, weight_});
  ++node.hitCount;
  hitMemory_ += kHitMemory;
}

int TBuild::IndexRecords(int32_t& result) {
  const int rel = r_.relationTable;
  TZetTable& source = *ZetTable::Table(r_.source);
  TZetTable& relation = *ZetTable::Table(rel);
  source.orderMode = ZetTable::kOrderRecords;
  const uint16_t weightField = WeightFieldOf(r_.source, r_.weightField);

  // Emptying the relation table rebuilds its indexes, index 2 in the form of
  // the full-text keys.
  const auto description = RelationIndexDescription();
  std::copy(description.begin(), description.end(), relation.indexes[kRelationIndex]->header.begin());
  if (const int error = EmptyTable(rel)) return error;

  const int32_t count = std::max(source.recordCount, 0);
  step_ = std::max(count / kProgressSteps, 1);
  total_ = count + 2 * step_;
  Progress(0, total_);
  for (int32_t i = 1; i <= count; ++i) {
    if (i % step_ == 0 && Progress(i, total_)) {
      stopped_ = true;
      break;
    }
    // A record that cannot be read gives no words, rather than those that
    // the record buffer still holds from the record before.
    if (Zet01::ReadRecord(r_.source, uint32_t(i)) != 0) {
      readFailed_ = true;
      continue;
    }
    source.currentRecord = uint32_t(i);
    record_ = uint32_t(i);
    autoNumber_ = Zet01::AutoNumberOf(r_.source);
    weight_ = uint16_t(FieldInteger(source, weightField));
    collectingExclusions_ = true;
    ExtractFieldWords(exclusionItems_, extractor_);
    collectingExclusions_ = false;
    ExtractFieldWords(items_, extractor_);
    excluded_.clear();
    if (hitMemory_ > memoryLimit_) {
      if (const int error = WriteHits()) return error;
      hitMemory_ = 0;
    }
  }
  Progress(count, total_);
  if (const int error = WriteHits()) return error;
  if (const int error = WriteIndexKeys()) return error;
  result = relation.recordCount;
  Progress(total_ - step_, total_);
  return 0;
}

int TBuild::WriteHits() {
  const int rel = r_.relationTable;
  TZetTable& relation = *ZetTable::Table(rel);
  const int32_t start = std::max(relation.recordCount, 0);
  int32_t count = start;
  const bool compact = Option(kOptCompact);
  if (!compact) {
    // The records go out in blocks of consecutive records.
    constexpr size_t kRecordsPerWrite = 4096;
    const size_t length = relation.recordLength;
    std::vector<uint8_t> block;
    block.reserve(kRecordsPerWrite * length);
    auto writeBlock = [&]() {
      const uint32_t n = uint32_t(block.size() / length);
      if (n == 0) return 0;
      if (Zet01::WriteRecords(rel, uint32_t(count) + 1, block.data(), n) != 0) return WriteFailed(relation);
      relation.recordCount = count += int32_t(n);
      block.clear();
      return 0;
    };
    int error = ForEachWrittenHit([&](const TWordNode& node, const THit& hit) {
      ZetTable::ClearRecordBuffer(rel);
      PutInteger(relation, kSourceAutoField, hit.autoNumber);
      PutInteger(relation, kWordNumberField, node.number);
      block.insert(block.end(), relation.recordBuffer.begin(), relation.recordBuffer.begin() + ptrdiff_t(length));
      return block.size() >= kRecordsPerWrite * length ? writeBlock() : 0;
    });
    if (error == 0) error = writeBlock();
    if (error != 0) return error;
    if (const int e = Zet01::WriteRecordCount(rel)) return e;
  }

  count = start;
  ForEachWrittenHit([&](const TWordNode& node, const THit& hit) {
    std::array<uint8_t, kRelationKeyLength> key{};
    bytes::PutU32(key.data(), uint32_t(++count));
    bytes::PutI32(key.data() + kRelKeyWord, node.number);
    bytes::PutU32(key.data() + kRelKeySource, hit.record);
    bytes::PutU16(key.data() + kRelKeyWeight, hit.weight);
    relationKeys_.Add(key.data());
    if (!compact) {
      std::array<uint8_t, kEntryKeyLength> entry{};
      bytes::PutU32(entry.data(), uint32_t(count));
      bytes::PutI32(entry.data() + ZetTable::kKeyRecordNumber, hit.autoNumber);
      entryKeys_.Add(entry.data());
    }
    return 0;
  });
  relation.recordCount = count;
  for (auto& entry : tree_) entry.second.hits = {};
  return 0;
}

// Sorts keys by the order of an index and puts them in; frees them.
int SortIntoIndex(int handle, int slot, BTREES::TKeySorter& keys) {
  TZetTable& t = *ZetTable::Table(handle);
  const int error = keys.Sort(Zet00::KeyCompareProc(t.version), t.indexes[size_t(slot)]->header.data()) != 0
                        ? Zet00::kErrIndexRead
                        : Zet00::FillIndex(handle, slot, keys);
  keys.Clear();
  return error;
}

int TBuild::WriteIndexKeys() {
  const int rel = r_.relationTable;
  if (const int error = SortIntoIndex(rel, kRelationIndex, relationKeys_)) return error;
  if (Option(kOptCompact)) return 0;
  return SortIntoIndex(rel, kEntryIndex, entryKeys_);
}

// ---------------------------------------------------------------------------
// The word table

void TBuild::PutWordRecord(const std::string& word, const TWordNode& node) {
  const int w = r_.wordTable;
  ZetTable::ClearRecordBuffer(w);
  PutWord(w, word);
  if (hasHitCount_) PutHitCount(words_, node.hitCount);
  if (words_.hasAutoNumber) PutInteger(words_, words_.autoNumberField, node.number);
}

int TBuild::RewriteWordTable() {
  const int w = r_.wordTable;
  if (const int error = EmptyTable(w)) return error;
  if (const int error = WriteNextAutoNumber(w, uint32_t(nextWord_))) return error;
  int32_t count = 0;
  int error = ForEachWrittenWord([&](const std::string& word, const TWordNode& node) {
    PutWordRecord(word, node);
    ++count;
    if (compactWords_) return 0;
    if (Zet01::WriteRecord(w, uint32_t(count)) != 0) return WriteFailed(words_);
    words_.recordCount = count;
    return 0;
  });
  if (error != 0) return error;
  const int32_t written = count;

  BTREES::TKeySorter wordKeys(uint16_t(Zet00::KeyLength(words_.indexes[kWordIndex]->header.data())));
  count = 0;
  error = ForEachWrittenWord([&](const std::string& word, const TWordNode& node) {
    std::array<uint8_t, ZetTable::kMaxKeySize> key{};
    PutWordRecord(word, node);
    if (const int e = Zet00::MakeKey(w, kWordIndex, words_.recordBuffer.data(), key.data(), uint32_t(++count)))
      return e;
    wordKeys.Add(key.data());
    return 0;
  });
  if (error != 0 || (error = SortIntoIndex(w, kWordIndex, wordKeys)) != 0) return error;
  words_.recordCount = written;
  if ((error = Zet01::WriteRecordCount(w)) != 0) return error;

  if (Option(kOptCompact)) return 0;
  if (words_.hasAutoNumber && words_.indexes[0]) {
    BTREES::TKeySorter numberKeys(ZetTable::kKeyRecordNumber + sizeof(int32_t));
    count = 0;
    ForEachWrittenWord([&](const std::string&, const TWordNode& node) {
      std::array<uint8_t, ZetTable::kKeyRecordNumber + sizeof(int32_t)> key{};
      bytes::PutU32(key.data(), uint32_t(++count));
      bytes::PutI32(key.data() + ZetTable::kKeyRecordNumber, node.number);
      numberKeys.Add(key.data());
      return 0;
    });
    if ((error = SortIntoIndex(w, 0, numberKeys)) != 0) return error;
  }
  for (int slot = kWordIndex + 1; slot <= words_.highestIndexSlot; ++slot)
    if (words_.indexes[size_t(slot)])
      if (const int error = Zet00::RebuildIndex(w, slot)) return error;
  return 0;
}

int TBuild::Finish() {
  const int w = r_.wordTable;
  if (Option(kOptWordTableOnly)) return Zet01::FlushTable(w, true);
  tree_.clear();
  if (Option(kOptCompact)) {
    ZetTable::Table(r_.relationTable)->recordCount = 0;
    if (const int error = Zet01::WriteRecordCount(r_.relationTable)) return error;
  }
  if (compactWords_) {
    words_.recordCount = kCountUnknown;
    words_.countUnknown = true;
    if (const int error = Zet01::WriteRecordCount(w)) return error;
  }
  if (const int error = Zet01::FlushTable(w, true)) return error;
  return Zet01::FlushTable(r_.relationTable, true);
}

int32_t TBuild::Run() {
  compactWords_ = Option(kOptCompact) && IsProperWordTable(words_) && !Option(kOptWordTableOnly);
  stopWords_.Load(r_.stopWordFile);
  if (r_.maxHits > 0) maxHits_ = r_.maxHits;
  if (r_.memoryLimit > 0) memoryLimit_ = r_.memoryLimit;
  hasHitCount_ = HasHitCountField(words_);
  if (Option(kOptReadExisting)) LoadExistingWords();

  int32_t result = 0;
  int error = 0;
  if (!Option(kOptWordTableOnly)) error = IndexRecords(result);
  if (error == 0 && (wordsAdded_ || Option(kOptWordTableOnly))) error = RewriteWordTable();
  if (error == 0 && !Option(kOptWordTableOnly)) Progress(total_, total_);
  if (error == 0) error = Finish();
  if (error == 0 && readFailed_) {
    error = Common::kErrRead;
    Common::SetFileError(error, Common::AppendStrCopy(ZetTable::Table(r_.source)->directory,
                                                      ZetTable::Table(r_.source)->fileName));
  }
  if (error == 0 && stopped_) {
    error = Zet00::kErrBreak;
    Common::SetFileError(error, {});
  }
  if (error != 0) return -error;
  return Option(kOptWordTableOnly) ? 0 : result;
}

}  // namespace

int32_t BuildIndex(const TIndexRequest& request, Zet00::TProgressProc progress) {
  std::vector<TFieldItem> items, exclusions;
  if (const int error = CheckRequest(request, (request.options & kOptWordTableOnly) == 0, items, exclusions))
    return -error;
  return TBuild(request, progress, std::move(items), std::move(exclusions)).Run();
}

}  // namespace FullText
