// Adding the current record of a table to its full-text index.
//
// Unlike the build, the add works through the ordinary record operations:
// every word occurrence is looked up in the word table and counted there
// (so a word twice in the record counts twice), and one relation entry per
// distinct word is appended. Nothing is flushed until the record's words
// are all in: each index is marked unsettled on disk at its first change
// (zet01_edit.h), and the two flushes at the end settle them, so a crash
// half-way leaves indexes that are rebuilt at the next open.
#include <algorithm>
#include <array>
#include <cstring>
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
  bool Option(uint16_t bit) const { return (r_.options & bit) != 0; }
  void TakeWord(std::string_view word);
  int32_t LookUpWord(std::string_view word);
  int CountHit();
  int AppendNewWord(std::string_view word, int32_t& number);
  int AppendEntries();
  int InsertCompactEntries();
  void PutRelationKey(uint8_t* key, uint32_t entry, int32_t number) const;

  const TIndexRequest& r_;
  TZetTable& words_;
  TZetTable& relation_;
  TZetTable& source_;
  TStopWords stopWords_;
  std::vector<int32_t> numbers_;  // distinct, in the order met
  int32_t sourceAuto_ = 0;
  uint32_t sourceRecord_ = 0;
  uint16_t weight_ = 0;
  bool wordsChanged_ = false;
  int error_ = 0;
};

void TAdd::TakeWord(std::string_view word) {
  if (error_ != 0) return;
  const int32_t number = LookUpWord(word);
  if (number != 0 && std::find(numbers_.begin(), numbers_.end(), number) == numbers_.end())
    numbers_.push_back(number);
}

// The word number of a word, counting the hit in the word table or adding
// the word; 0 when it is not known and may not be added.
int32_t TAdd::LookUpWord(std::string_view word) {
  const int w = r_.wordTable;
  const auto savedKey = words_.currentKey;
  const uint32_t savedRecord = words_.currentRecord;
  // The word as field 1 holds it: cut to the field's length.
  std::vector<uint8_t> probe(words_.recordLength, 0);
  const ShortStr stored = PutStoredWord(words_, probe.data(), word);
  Zet00::MakeKey(w, kWordIndex, probe.data(), words_.currentKey.data(), 0);

  int32_t number = 0;
  bool found = false;
  if (Zet00::IndexSeek(w, kWordIndex) == Zet00::kStatusFound) {
    words_.currentRecord = Zet00::KeyRecordNumber(words_.currentKey.data());
    found = Zet01::RereadCurrentRecord(w) == 0 &&
            UPPERCAS::CollateCompare(ZetTable::FieldText(words_, kWordField, words_.recordBuffer.data()), stored) == 0;
  }
  if (found) {
    number = Zet01::AutoNumberOf(w);
    if (!Option(kOptNoNewWords) && HasHitCountField(words_)) error_ = CountHit();
  } else if (!Option(kOptNoNewWords)) {
    error_ = AppendNewWord(stored, number);
  }
  words_.currentKey = savedKey;
  words_.currentRecord = savedRecord;
  return error_ == 0 ? number : 0;
}

int TAdd::CountHit() {
  const std::vector<uint8_t> old = words_.recordBuffer;
  PutHitCount(words_, FieldInteger(words_, kHitCountField) + 1);
  bool keysChanged = false;
  wordsChanged_ = true;
  return Zet01::UpdateRecord(r_.wordTable, old.data(), keysChanged, kNoCursor, false, false);
}

int TAdd::AppendNewWord(std::string_view word, int32_t& number) {
  const int w = r_.wordTable;
  if (const int error = Zet01::ReadRecord(w, 0)) return error;
  PutWord(w, word);
  if (HasHitCountField(words_)) PutHitCount(words_, 1);
  if (const int error = Zet01::AssignAutoNumber(w)) return error;
  wordsChanged_ = true;
  if (const int error = Zet01::AppendRecord(w, false, kNoCursor)) return error;
  number = Zet01::AutoNumberOf(w);
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

int TAdd::AppendEntries() {
  const int rel = r_.relationTable;
  const bool fullText = HasFullTextKeys(relation_);
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
  TWordExtractor extractor(Option(kOptHtml), r_.extraChars, &stopWords_,
                           [this](std::string_view word) { TakeWord(word); });
  ExtractFieldWords(items, extractor);
  // The cursors over the word table hear once of the words counted and
  // added (the record operations were told not to flush, so they did not).
  if (wordsChanged_ && Zet01::NotifySwitch()) EngineHooks::NotifyTableChanged(r_.wordTable, kNoCursor);
  if (error_ != 0) return error_;
  if (const int error = Option(kOptCompact) ? InsertCompactEntries() : AppendEntries()) return error;
  if (const int error = Zet01::FlushTable(r_.wordTable, true)) return error;
  return Zet01::FlushTable(r_.relationTable, true);
}

}  // namespace

int32_t AddRecord(const TIndexRequest& request) {
  TIndexRequest checked = request;
  checked.exclusionList.clear();  // not used by an add
  std::vector<TFieldItem> items, exclusions;
  if (const int error = CheckRequest(checked, true, items, exclusions)) return -error;
  const int error = TAdd(request).Run(items);
  return error == 0 ? 0 : -error;
}

}  // namespace FullText
