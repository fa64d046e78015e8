// Building the full-text index of a whole table.
//
// The build keeps every word it meets in a word tree, ordered by the
// collating comparison (without regard to case). A word's node holds its
// word number and its hit count (the records it occurs in). Each spelling
// met is remembered with its node, so a word is looked up by its bytes and
// goes through the collating comparison only the first time a spelling
// comes. The hits not yet written, {word, source record number, source auto
// number, weight}, sit in one list in the order they came (16 bytes counted
// each); when they exceed the memory limit after a record, they are written
// as one run and the list is emptied, while the words stay. The words then
// replace the word table, in tree order.
//
// A run writes the hits word by word in tree order, each word's latest
// first, as relation records (unless compact) in blocks of consecutive
// records. The keys of index 2 and index 1 for them go to a temporary file
// already in each index's order (fulltext_runs.h): index 2 word number by
// word number (ascending source records, entries counting down), index 1 by
// source auto number and entry. After the last run the runs are merged into
// the (emptied) indexes, each written bottom-up at once. Merging index 2
// this way needs distinct word numbers; when the word table read first
// could break that (two words of one number, or a number not below the next
// one), both indexes take the general way instead: their keys through
// sorters that keep within the memory limit.
//
// What always holds while records are read:
//   1. Every word of the tree has a number below the next word number (on
//      the fast way; on the general way nothing depends on it).
//   2. A word's hits are for distinct records, in ascending records in the
//      list (written latest first); a word whose count has gone above the
//      maximum takes no more hits, and none of its hits is written again.
//   3. The relation table holds exactly the hits written so far as records
//      (unless compact), entry numbers running on from one run to the next;
//      the keys of index 2 and index 1 for them wait in the runs (or the
//      sorters) and go into the indexes after the last record.
#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/btree_bulk.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_internal.h"
#include "engine/storage/fulltext/fulltext_runs.h"
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

// A hit not yet written; node is the word's place in the node list.
struct THit {
  uint32_t node;
  uint32_t record;
  int32_t autoNumber;
  uint16_t weight;
};

struct TWordNode {
  int32_t number = 0;
  int32_t hitCount = 0;
  uint32_t id = 0;          // place in the node list
  uint32_t rank = 0;        // place in tree order (as of the last run)
  uint32_t lastRecord = 0;  // the record of its latest hit
  // The run being written: hits in the list, place of the first in tree
  // order, hits placed so far.
  uint32_t runHits = 0;
  uint32_t runFirst = 0;
  uint32_t runPlaced = 0;
  bool inRuns = false;  // a segment of it went to the runs
};

using TWordTree = std::map<std::string, TWordNode, TCollateLess>;

// The spellings met, each with its node (null for a word that is not taken):
// open addressing over a power of two of 8-byte slots (the top half of a
// spelling's hash and its place in the list of spellings + 1, 0 for a free
// slot), so that the slots stay in the processor's caches; the bytes of the
// spellings lie one after the other in one text.
class TSpellings {
 public:
  // The place of the node of a spelling; null when it is not known.
  TWordNode* const* Find(std::string_view word) const {
    if (slots_.empty()) return nullptr;
    const uint64_t hash = Hash(word);
    const uint64_t tag = hash & kTagMask;
    for (size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      const uint64_t slot = slots_[i];
      if (slot == 0) return nullptr;
      if ((slot & kTagMask) != tag) continue;
      const TEntry& e = entries_[(slot & ~kTagMask) - 1];
      if (e.length == word.size() && bytes_.compare(e.at, e.length, word) == 0) return &e.node;
    }
  }
  void Add(std::string_view word, TWordNode* node) {
    if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
    entries_.push_back({node, uint32_t(bytes_.size()), uint32_t(word.size())});
    bytes_ += word;
    Place(Hash(word), entries_.size());
  }

 private:
  static constexpr uint64_t kTagMask = ~uint64_t(0) << 32;
  struct TEntry {
    TWordNode* node;
    uint32_t at;  // in bytes_
    uint32_t length;
  };
  static uint64_t Hash(std::string_view word) { return std::hash<std::string_view>{}(word); }
  void Place(uint64_t hash, size_t number) {
    size_t i = hash & (slots_.size() - 1);
    while (slots_[i] != 0) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = (hash & kTagMask) | number;
  }
  void Grow() {
    constexpr size_t kFirstSlots = 1024;
    slots_.assign(std::max(slots_.size() * 2, kFirstSlots), 0);
    for (size_t k = 0; k < entries_.size(); ++k)
      Place(Hash(std::string_view(bytes_).substr(entries_[k].at, entries_[k].length)), k + 1);
  }

  std::vector<uint64_t> slots_;
  std::vector<TEntry> entries_;
  std::string bytes_;
};

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

  TWordNode& AddWord(std::string_view word, int32_t number, int32_t hitCount);
  TWordNode* Lookup(std::string_view word);
  bool DistinctWordNumbers() const;
  bool EntryKeysInPairOrder() const;
  void LoadExistingWords();
  void LoadRange(const std::vector<TLoadedWord>& list, ptrdiff_t lo, ptrdiff_t hi);
  void LoadRecords(uint32_t lo, uint32_t hi);
  void TakeWord(std::string_view word);
  int IndexRecords(int32_t& result);
  int WriteHits();
  void RankWords();
  void RunEntryPairs(int32_t start, std::vector<std::pair<int32_t, uint32_t>>& pairs) const;
  void AddRunKeys(int32_t start);
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
  std::vector<TWordNode*> nodes_;  // by id
  TSpellings spellings_;           // spelling met -> its node (null: no word)
  bool ranked_ = true;             // every node's rank is its tree place
  std::vector<THit> hits_;         // not yet written, as they came
  std::vector<TWordNode*> runWords_;  // words with hits in the list
  std::set<std::string, TCollateLess> excluded_;
  bool collectingExclusions_ = false;

  int32_t maxHits_ = kNoHitLimit;
  int32_t memoryLimit_ = kDefaultMemoryLimit;
  int32_t hitMemory_ = 0;
  int32_t nextWord_ = 1;
  bool wordsAdded_ = false;
  bool compactWords_ = false;
  // The keys of the relation table's two indexes, gathered over all runs
  // and put into the indexes at the end, bottom-up: in runs of keys in
  // index order, or (the general way) in sorters.
  bool fastKeys_ = true;
  std::optional<TKeyRuns> runs_;
  std::optional<BTREES::TKeySorter> relationKeys_, entryKeys_;
  // The hits of the run in tree order (word by word, ascending records).
  std::vector<THit> placed_;
  bool hasHitCount_ = false;
  bool readFailed_ = false;
  bool stopped_ = false;
  int32_t step_ = 1;
  int32_t total_ = 0;
  // Memo blocks read ahead: the build writes no memo file (the progress
  // procedure might: the window is emptied after each call).
  WINMEMOS::TReadWindow memoWindow_;
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


// ---------------------------------------------------------------------------
// Words of the word table

TWordNode& TBuild::AddWord(std::string_view word, int32_t number, int32_t hitCount) {
  const auto [it, added] = tree_.try_emplace(std::string(word));
  if (added) {
    it->second.number = number;
    it->second.hitCount = hitCount;
    it->second.id = uint32_t(nodes_.size());
    nodes_.push_back(&it->second);
    ranked_ = false;
  }
  return it->second;
}

TWordNode* TBuild::Lookup(std::string_view word) {
  if (TWordNode* const* known = spellings_.Find(word)) return *known;
  TWordNode* node = nullptr;
  if (const auto it = tree_.find(word); it != tree_.end()) {
    node = &it->second;
  } else if (!Option(kOptNoNewWords)) {
    node = &AddWord(word, nextWord_++, 0);
    wordsAdded_ = true;
  }
  spellings_.Add(word, node);
  return node;
}

// Every word has its own number, below the next word number: the words
// added later cannot share one either.
bool TBuild::DistinctWordNumbers() const {
  std::vector<int32_t> numbers;
  numbers.reserve(nodes_.size());
  for (const TWordNode* node : nodes_) {
    if (node->number >= nextWord_) return false;
    numbers.push_back(node->number);
  }
  std::sort(numbers.begin(), numbers.end());
  return std::adjacent_find(numbers.begin(), numbers.end()) == numbers.end();
}

// Index 1 of the relation table orders its keys by one ascending 4-byte
// number (the source auto number) and then by the entry number.
bool TBuild::EntryKeysInPairOrder() const {
  const uint8_t* description = ZetTable::Table(r_.relationTable)->indexes[kEntryIndex]->header.data();
  if (Zet00::IsExpressionKey(description) || Zet00::PartCount(description) != 1) return false;
  const Zet00::TKeyPart part = Zet00::KeyPart(description, 0);
  const bool whole = part.type == Common::kTypeLink || part.type == Common::kTypeAutoNumber ||
                     part.type == Common::kTypeDate || part.type == ZetTable::kKeyTypeLinkedRecord;
  return whole && part.length == sizeof(int32_t) && !part.IsDescending();
}

void TBuild::LoadRange(const std::vector<TLoadedWord>& list, ptrdiff_t lo, ptrdiff_t hi) {
  if (lo > hi) return;
  const ptrdiff_t mid = lo + (hi - lo) / 2;
  const TLoadedWord& w = list[size_t(mid)];
  AddWord(w.word, w.number, w.hitCount);
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
    AddWord(word.view(), number, 0);
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
  TWordNode* found = Lookup(word);
  if (!found) return;
  TWordNode& node = *found;
  // A word above the maximum is never written again: its hits stay in the
  // list until the run, which leaves them out.
  if (node.hitCount > maxHits_) return;
  if (hasHitCount_) wordsAdded_ = true;
  if (node.lastRecord == record_) return;
  node.lastRecord = record_;
  if (node.runHits++ == 0) runWords_.push_back(&node);
  hits_.push_back({node.id, record_, autoNumber_, weight_});
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
  fastKeys_ = DistinctWordNumbers() && EntryKeysInPairOrder();
  if (fastKeys_) {
    runs_.emplace(weightField != 0);
  } else {
    // The general way: sorters of half the memory limit each.
    const size_t sortBytes = size_t(memoryLimit_) / 2;
    relationKeys_.emplace(kRelationKeyLength, Zet00::KeyCompareProc(relation.version),
                          relation.indexes[kRelationIndex]->header.data(), sortBytes);
    entryKeys_.emplace(kEntryKeyLength, Zet00::KeyCompareProc(relation.version),
                       relation.indexes[kEntryIndex]->header.data(), sortBytes);
  }
  hits_.reserve(std::min<size_t>(size_t(memoryLimit_) / kHitMemory + 1, size_t(1) << 20));

  const int32_t count = std::max(source.recordCount, 0);
  step_ = std::max(count / kProgressSteps, 1);
  total_ = count + 2 * step_;
  Progress(0, total_);
  for (int32_t i = 1; i <= count; ++i) {
    if (i % step_ == 0) {
      // The progress procedure may write memos.
      memoWindow_ = {};
      if (Progress(i, total_)) {
        stopped_ = true;
        break;
      }
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
    ExtractFieldWords(exclusionItems_, extractor_, &memoWindow_);
    collectingExclusions_ = false;
    ExtractFieldWords(items_, extractor_, &memoWindow_);
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

// The nodes' ranks become their places in tree order.
void TBuild::RankWords() {
  if (ranked_) return;
  uint32_t rank = 0;
  for (auto& entry : tree_) entry.second.rank = rank++;
  ranked_ = true;
}

int TBuild::WriteHits() {
  const int rel = r_.relationTable;
  TZetTable& relation = *ZetTable::Table(rel);
  const int32_t start = std::max(relation.recordCount, 0);
  const bool compact = Option(kOptCompact);

  // The words written, in tree order, and the place of each one's hits.
  RankWords();
  std::erase_if(runWords_, [this](TWordNode* node) {
    const bool written = Written(*node);
    if (!written) node->runHits = 0;
    return !written;
  });
  std::sort(runWords_.begin(), runWords_.end(),
            [](const TWordNode* a, const TWordNode* b) { return a->rank < b->rank; });
  uint32_t placed = 0;
  for (TWordNode* node : runWords_) {
    node->runFirst = placed;
    node->runPlaced = 0;
    placed += node->runHits;
  }
  placed_.resize(placed);
  for (const THit& hit : hits_) {
    TWordNode& node = *nodes_[hit.node];
    if (node.runHits != 0) placed_[node.runFirst + node.runPlaced++] = hit;
  }

  if (!compact) {
    // The records go out in blocks of consecutive records: each word's hits
    // latest first.
    constexpr size_t kRecordsPerWrite = 4096;
    const size_t length = relation.recordLength;
    ZetTable::ClearRecordBuffer(rel);
    const size_t autoAt = relation.FieldOffset(kSourceAutoField), wordAt = relation.FieldOffset(kWordNumberField);
    std::vector<uint8_t> block(kRecordsPerWrite * length);
    int32_t count = start;
    size_t inBlock = 0;
    auto writeBlock = [&]() {
      if (inBlock == 0) return 0;
      if (Zet01::WriteRecords(rel, uint32_t(count) + 1, block.data(), uint32_t(inBlock)) != 0)
        return WriteFailed(relation);
      relation.recordCount = count += int32_t(inBlock);
      inBlock = 0;
      return 0;
    };
    for (const TWordNode* node : runWords_) {
      for (uint32_t k = node->runHits; k-- > 0;) {
        uint8_t* record = block.data() + inBlock * length;
        std::copy_n(relation.recordBuffer.begin(), length, record);
        bytes::PutI32(record + autoAt, placed_[node->runFirst + k].autoNumber);
        bytes::PutI32(record + wordAt, node->number);
        if (++inBlock == kRecordsPerWrite)
          if (const int error = writeBlock()) return error;
      }
    }
    if (const int error = writeBlock()) return error;
    if (const int error = Zet01::WriteRecordCount(rel)) return error;
  }

  AddRunKeys(start);
  relation.recordCount = start + int32_t(placed);
  for (TWordNode* node : runWords_) node->runHits = 0;
  runWords_.clear();
  hits_.clear();
  return 0;
}

// A run's pairs {auto number, entry} in key order: the entries, taken in
// ascending order, are dealt out to their source records (a counting sort),
// so each record's come in entry order; records whose auto numbers rise with
// the record numbers are then in key order, others are sorted.
void TBuild::RunEntryPairs(int32_t start, std::vector<std::pair<int32_t, uint32_t>>& pairs) const {
  pairs.resize(placed_.size());
  if (placed_.empty()) return;
  const uint32_t firstRecord = hits_.front().record;
  std::vector<uint32_t> next(size_t(hits_.back().record - firstRecord) + 2);
  for (const THit& hit : placed_) ++next[hit.record - firstRecord + 1];
  for (size_t i = 1; i < next.size(); ++i) next[i] += next[i - 1];
  uint32_t entry = uint32_t(start);
  for (const TWordNode* node : runWords_) {
    for (uint32_t k = node->runHits; k-- > 0;) {
      const THit& hit = placed_[node->runFirst + k];
      pairs[next[hit.record - firstRecord]++] = {hit.autoNumber, ++entry};
    }
  }
  for (size_t i = 1; i < pairs.size(); ++i) {
    if (pairs[i] < pairs[i - 1]) {
      std::sort(pairs.begin(), pairs.end());
      return;
    }
  }
}

void TBuild::AddRunKeys(int32_t start) {
  const bool compact = Option(kOptCompact);
  // Hit k of a word (ascending records) has the entry after the word's
  // first, counted down from its last.
  auto entryOf = [start](const TWordNode& node, uint32_t k) {
    return uint32_t(start) + node.runFirst + (node.runHits - k);
  };
  if (!fastKeys_) {
    for (const TWordNode* node : runWords_) {
      for (uint32_t k = 0; k < node->runHits; ++k) {
        const THit& hit = placed_[node->runFirst + k];
        std::array<uint8_t, kRelationKeyLength> key{};
        bytes::PutU32(key.data(), entryOf(*node, k));
        bytes::PutI32(key.data() + kRelKeyWord, node->number);
        bytes::PutU32(key.data() + kRelKeySource, hit.record);
        bytes::PutU16(key.data() + kRelKeyWeight, hit.weight);
        relationKeys_->Add(key.data());
        if (compact) continue;
        std::array<uint8_t, kEntryKeyLength> entry{};
        bytes::PutU32(entry.data(), entryOf(*node, k));
        bytes::PutI32(entry.data() + ZetTable::kKeyRecordNumber, hit.autoNumber);
        entryKeys_->Add(entry.data());
      }
    }
    return;
  }
  // Index 2: word number by word number.
  std::vector<TWordNode*> byNumber = runWords_;
  std::sort(byNumber.begin(), byNumber.end(),
            [](const TWordNode* a, const TWordNode* b) { return a->number < b->number; });
  runs_->BeginRelationRun();
  for (TWordNode* node : byNumber) {
    node->inRuns = true;
    runs_->AddSegment(node->number, entryOf(*node, 0), node->runHits);
    for (uint32_t k = 0; k < node->runHits; ++k) {
      const THit& hit = placed_[node->runFirst + k];
      runs_->AddSegmentHit(hit.record, hit.weight);
    }
  }
  runs_->EndRelationRun();
  if (compact) return;
  std::vector<std::pair<int32_t, uint32_t>> pairs;
  RunEntryPairs(start, pairs);
  runs_->AddEntryRun(pairs);
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
  const bool compact = Option(kOptCompact);
  if (!fastKeys_) {
    if (const int error = SortIntoIndex(rel, kRelationIndex, *relationKeys_)) return error;
    return compact ? 0 : SortIntoIndex(rel, kEntryIndex, *entryKeys_);
  }
  const uint32_t count = uint32_t(std::max(ZetTable::Table(rel)->recordCount, 0));
  const size_t readBytes = size_t(memoryLimit_);
  std::vector<int32_t> numbers;
  for (const TWordNode* node : nodes_)
    if (node->inRuns) numbers.push_back(node->number);
  std::sort(numbers.begin(), numbers.end());
  if (const int error = Zet00::FillIndex(rel, kRelationIndex, count, [&](const Zet00::TKeySink& sink) {
        return runs_->MergeRelationKeys(numbers, readBytes, sink);
      }))
    return error;
  if (compact) return 0;
  return Zet00::FillIndex(rel, kEntryIndex, count,
                          [&](const Zet00::TKeySink& sink) { return runs_->MergeEntryKeys(readBytes, sink); });
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

  BTREES::TKeySorter wordKeys(uint16_t(Zet00::KeyLength(words_.indexes[kWordIndex]->header.data())),
                              Zet00::KeyCompareProc(words_.version), words_.indexes[kWordIndex]->header.data(),
                              size_t(memoryLimit_));
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
    BTREES::TKeySorter numberKeys(ZetTable::kKeyRecordNumber + sizeof(int32_t), Zet00::KeyCompareProc(words_.version),
                                  words_.indexes[0]->header.data(), size_t(memoryLimit_));
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
