// Adding the current record of a table to its full-text index.
//
// Unlike the build, the add works through the ordinary record operations.
// Every word occurrence counts in the word table (so a word twice in the
// record counts twice), and one relation entry per distinct word is
// appended. The work goes in three steps, so that each word costs one
// look-up and each word record one write, however often the word occurs:
//   1. The record's words are collected: each distinct word as field 1
//      stores it, with its occurrences.
//   2. Each distinct word is looked up once, in the order first met; a word
//      not known is appended with its occurrences as its hit count (so new
//      words get their numbers in the order met). Words that collate equal
//      (stored apart, as "Haus" and "HAUS") find the same record and add up.
//   3. The hit counts of the known words are written, one write per word
//      record in record order; where no index of the word table reads the
//      hit count, only the changed bytes are written (Zet01::WriteRecordChange),
//      else the record goes through Zet01::UpdateRecord. Then the relation
//      entries are appended.
// Nothing is flushed until the record's words are all in: each index is
// marked unsettled on disk at its first change (zet01_edit.h), and the two
// flushes at the end settle them, so a crash half-way leaves indexes that
// are rebuilt at the next open. A kill between two hit-count writes leaves
// some words counted and others not, as a kill between two updates did
// before; each count is old or new, never a mix of both.
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_internal.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable_fields.h"

namespace FullText {
namespace {

using ZetTable::TZetTable;

// The record operations tell the cursors of a change; none made these.
constexpr int kNoCursor = 0;

class TAdd {
 public:
  explicit TAdd(const TIndexRequest& request)
      : r_(request),
        words_(*ZetTable::Table(request.wordTable)),
        relation_(*ZetTable::Table(request.relationTable)),
        source_(*ZetTable::Table(request.source)) {}

  int Run(const std::vector<TFieldItem>& items);

 private:
  // A distinct word of the record as field 1 stores it, with its
  // occurrences.
  struct TWordGroup {
    ShortStr stored;
    int32_t hits = 0;
  };

  bool Option(uint16_t bit) const { return (r_.options & bit) != 0; }
  void TakeWord(std::string_view word);
  int LookUpWords();
  bool SeekWord(const ShortStr& stored, uint32_t& recno);
  int AppendNewWord(const ShortStr& stored, int32_t hits, int32_t& number);
  bool HitCountInKeys() const;
  int WriteHitCounts();
  int AppendEntries();
  int InsertCompactEntries();
  void PutRelationKey(uint8_t* key, uint32_t entry, int32_t number) const;

  const TIndexRequest& r_;
  TZetTable& words_;
  TZetTable& relation_;
  TZetTable& source_;
  TStopWords stopWords_;
  std::vector<uint8_t> probe_;  // a word record to store words in
  std::deque<TWordGroup> groups_;  // in the order first met (stable: groupOf_ views their words)
  std::unordered_map<std::string_view, size_t> groupOf_;
  std::vector<std::pair<uint32_t, int32_t>> counted_;  // word record, hits to add
  std::vector<int32_t> numbers_;  // distinct, in the order met
  int32_t sourceAuto_ = 0;
  uint32_t sourceRecord_ = 0;
  uint16_t weight_ = 0;
  bool wordsChanged_ = false;
};

void TAdd::TakeWord(std::string_view word) {
  std::fill(probe_.begin(), probe_.end(), uint8_t(0));
  const ShortStr stored = PutStoredWord(words_, probe_.data(), word);
  if (const auto at = groupOf_.find(stored.view()); at != groupOf_.end()) {
    ++groups_[at->second].hits;
    return;
  }
  groups_.push_back({stored, 1});
  groupOf_.emplace(groups_.back().stored.view(), groups_.size() - 1);
}

// Seeks a stored word in index 1; on success its record is the current one,
// read into the record buffer.
bool TAdd::SeekWord(const ShortStr& stored, uint32_t& recno) {
  const int w = r_.wordTable;
  std::fill(probe_.begin(), probe_.end(), uint8_t(0));
  ZetTable::SetFieldText(words_, kWordField, probe_.data(), stored.view());
  Zet00::MakeKey(w, kWordIndex, probe_.data(), words_.currentKey.data(), 0);
  if (Zet00::IndexSeek(w, kWordIndex) != Zet00::kStatusFound) return false;
  recno = Zet00::KeyRecordNumber(words_.currentKey.data());
  words_.currentRecord = recno;
  return Zet01::RereadCurrentRecord(w) == 0 &&
         UPPERCAS::CollateCompare(ZetTable::FieldText(words_, kWordField, words_.recordBuffer.data()), stored) == 0;
}

// Step 2: the word numbers of the record's words, new words appended and
// the hits of known ones collected for WriteHitCounts.
int TAdd::LookUpWords() {
  const bool counting = !Option(kOptNoNewWords) && HasHitCountField(words_);
  std::unordered_set<int32_t> met;
  for (const TWordGroup& g : groups_) {
    int32_t number = 0;
    uint32_t recno = 0;
    if (SeekWord(g.stored, recno)) {
      number = Zet01::AutoNumberOf(r_.wordTable);
      if (counting) counted_.push_back({recno, g.hits});
    } else if (!Option(kOptNoNewWords)) {
      if (const int error = AppendNewWord(g.stored, g.hits, number)) return error;
    }
    if (number != 0 && met.insert(number).second) numbers_.push_back(number);
  }
  return 0;
}

int TAdd::AppendNewWord(const ShortStr& stored, int32_t hits, int32_t& number) {
  const int w = r_.wordTable;
  if (const int error = Zet01::ReadRecord(w, 0)) return error;
  PutWord(w, stored.view());
  if (HasHitCountField(words_)) PutHitCount(words_, hits);
  if (const int error = Zet01::AssignAutoNumber(w)) return error;
  wordsChanged_ = true;
  if (const int error = Zet01::AppendRecord(w, false, kNoCursor)) return error;
  number = Zet01::AutoNumberOf(w);
  return 0;
}

// Some index key of the word table reads the hit count (or may: an
// expression key reads any field).
bool TAdd::HitCountInKeys() const {
  for (int s = Zet00::FirstIndexSlot(words_); s <= words_.highestIndexSlot; ++s) {
    const auto& index = words_.indexes[size_t(s)];
    if (!index) continue;
    const uint8_t* description = index->header.data();
    if (Zet00::IsExpressionKey(description)) return true;
    for (size_t i = 0, n = Zet00::PartCount(description); i < n; ++i) {
      const Zet00::TKeyPart part = Zet00::KeyPart(description, i);
      if (!part.IsVariable() && part.Number() == kHitCountField) return true;
    }
  }
  return false;
}

// Step 3 for the word table: each counted word record once, in record order.
int TAdd::WriteHitCounts() {
  if (counted_.empty()) return 0;
  std::sort(counted_.begin(), counted_.end());
  const int w = r_.wordTable;
  const bool plainWrite = !words_.countUnknown && !HitCountInKeys();
  for (size_t i = 0; i < counted_.size();) {
    const uint32_t recno = counted_[i].first;
    int32_t hits = 0;
    for (; i < counted_.size() && counted_[i].first == recno; ++i) hits += counted_[i].second;
    words_.currentRecord = recno;
    if (const int error = Zet01::RereadCurrentRecord(w)) return error;
    const std::vector<uint8_t> old = words_.recordBuffer;
    PutHitCount(words_, FieldInteger(words_, kHitCountField) + hits);
    wordsChanged_ = true;
    if (plainWrite) {
      if (Zet01::WriteRecordChange(w, recno, old.data()) != 0) {
        Common::SetFileError(Common::kErrWrite, Common::AppendStrCopy(words_.directory, words_.fileName));
        return Common::kErrWrite;
      }
      continue;
    }
    bool keysChanged = false;
    if (const int error = Zet01::UpdateRecord(w, old.data(), keysChanged, kNoCursor, false, false)) return error;
  }
  return 0;
}

// The full-text key of an entry (fulltext.h): the source record and the
// weight come from the add, whatever the key parts would read from the
// relation record.
void TAdd::PutRelationKey(uint8_t* key, uint32_t entry, int32_t number) const {
  bytes::PutU32(key, entry);
  bytes::PutI32(key + kRelKeyWord, number);
  bytes::PutU32(key + kRelKeySource, sourceRecord_);
  bytes::PutU16(key + kRelKeyWeight, weight_);
}

// While it lives, field 1 of the relation table reads as a record of the
// source table, as the full-text key's part says: the appends then make the
// key with the source record themselves (an auto number the source does not
// hold, or a weight that differs, still gets its key put right afterwards).
class TSourceBinding {
 public:
  TSourceBinding(TZetTable& relation, int source) : relation_(relation) {
    if (relation_.bindings.size() <= kSourceAutoField || source <= 0 || source > ZetTable::kTableSlots) return;
    bound_ = true;
    saved_ = relation_.bindings[kSourceAutoField].linkedTable;
    relation_.bindings[kSourceAutoField].linkedTable = uint8_t(source);
  }
  ~TSourceBinding() {
    if (bound_) relation_.bindings[kSourceAutoField].linkedTable = saved_;
  }
  TSourceBinding(const TSourceBinding&) = delete;
  TSourceBinding& operator=(const TSourceBinding&) = delete;

 private:
  TZetTable& relation_;
  bool bound_ = false;
  uint8_t saved_ = 0;
};

int TAdd::AppendEntries() {
  const int rel = r_.relationTable;
  const bool fullText = HasFullTextKeys(relation_);
  const TSourceBinding binding(relation_, fullText ? r_.source : 0);
  std::array<uint8_t, ZetTable::kMaxKeySize> made{};
  std::array<uint8_t, ZetTable::kMaxKeySize> wanted{};
  for (int32_t number : numbers_) {
    ZetTable::ClearRecordBuffer(rel);
    PutInteger(relation_, kSourceAutoField, sourceAuto_);
    PutInteger(relation_, kWordNumberField, number);
    // Flushed at the end, after the keys are put right: until then the
    // index headers say the indexes are changing.
    if (const int error = Zet01::AppendRecord(rel, false, kNoCursor)) return error;
    if (!fullText) continue;
    // The append made the index 2 key from the record; put the key with the
    // source record and weight in its place.
    const uint32_t entry = relation_.currentRecord;
    if (const int error = Zet00::MakeKey(rel, kRelationIndex, relation_.recordBuffer.data(), made.data(), entry))
      return error;
    PutRelationKey(wanted.data(), entry, number);
    if (std::memcmp(made.data(), wanted.data(), kRelationKeyLength) == 0) continue;
    std::memcpy(relation_.currentKey.data(), made.data(), kRelationKeyLength);
    if (Zet00::IndexDeleteKey(rel, kRelationIndex) == Zet00::kStatusFailed) return Zet00::kErrIndexRead;
    std::memcpy(relation_.currentKey.data(), wanted.data(), kRelationKeyLength);
    if (Zet00::IndexInsertKey(rel, kRelationIndex) == Zet00::kStatusFailed) return Zet00::kErrIndexRead;
  }
  return 0;
}

// A compact index keeps its entries as keys of index 2 only, numbered by the
// count in the index's header.
int TAdd::InsertCompactEntries() {
  const int rel = r_.relationTable;
  if (!HasFullTextKeys(relation_) || !Zet00::IndexAvailable(rel, kRelationIndex, false)) return 0;
  const uint8_t* header = relation_.indexes[kRelationIndex]->header.data();
  for (int32_t number : numbers_) {
    const uint32_t entry = uint32_t(std::max(bytes::GetI32(header + ZetTable::kIdxRecordCount), 0)) + 1;
    PutRelationKey(relation_.currentKey.data(), entry, number);
    if (Zet00::IndexInsertKey(rel, kRelationIndex) == Zet00::kStatusFailed) return Zet00::kErrIndexRead;
  }
  return Zet00::WriteIndexHeader(rel, kRelationIndex);
}

int TAdd::Run(const std::vector<TFieldItem>& items) {
  stopWords_.Load(r_.stopWordFile);
  source_.recordBuffer.resize(source_.recordLength);
  weight_ = uint16_t(FieldInteger(source_, WeightFieldOf(r_.source, r_.weightField)));
  sourceAuto_ = Zet01::AutoNumberOf(r_.source);
  sourceRecord_ = source_.currentRecord;
  probe_.assign(words_.recordLength, 0);
  TWordExtractor extractor(Option(kOptHtml), r_.extraChars, &stopWords_,
                           [this](std::string_view word) { TakeWord(word); });
  ExtractFieldWords(items, extractor);
  const auto savedKey = words_.currentKey;
  const uint32_t savedRecord = words_.currentRecord;
  int error = LookUpWords();
  if (error == 0) error = WriteHitCounts();
  words_.currentKey = savedKey;
  words_.currentRecord = savedRecord;
  // The cursors over the word table hear once of the words counted and
  // added (the record operations were told not to flush, so they did not).
  if (wordsChanged_ && Zet01::NotifySwitch()) EngineHooks::NotifyTableChanged(r_.wordTable, kNoCursor);
  if (error != 0) return error;
  if (const int e = Option(kOptCompact) ? InsertCompactEntries() : AppendEntries()) return e;
  if (const int e = Zet01::FlushTable(r_.wordTable, true)) return e;
  return Zet01::FlushTable(r_.relationTable, true);
}

}  // namespace

int32_t AddRecord(const TIndexRequest& request) {
  TIndexRequest checked = request;
  checked.exclusionList.clear();  // not used by an add
  std::vector<TFieldItem> items, exclusions;
  if (const int error = CheckRequest(checked, true, items, exclusions)) return -error;
  // Keys added to an index built again from the records would sit among
  // keys without their source records: the build that mends it comes first.
  if (const int error = CheckRelationKeys(request.relationTable)) return -error;
  const int error = TAdd(request).Run(items);
  return error == 0 ? 0 : -error;
}

}  // namespace FullText
