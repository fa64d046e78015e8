// Evaluating full-text queries over the word table and the relation tables.
#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_internal.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable_fields.h"

namespace FullText {
namespace {

using Bitarray::TBitArray;
using ZetTable::TZetTable;

// The character the words of a prefix stay below.
constexpr char kPrefixBound = '\xFE';

// A bit array that frees its buffer.
class TOwnedBits {
 public:
  explicit TOwnedBits(int32_t byteCount) { Bitarray::Create(bits_, byteCount); }
  ~TOwnedBits() { Bitarray::Free(bits_); }
  TOwnedBits(const TOwnedBits&) = delete;
  TOwnedBits& operator=(const TOwnedBits&) = delete;
  TBitArray& Bits() { return bits_; }

 private:
  TBitArray bits_;
};

class TQuery {
 public:
  TQuery(int wordTable, std::vector<int> relations, int32_t weightFilter, int32_t byteCount)
      : w_(wordTable),
        words_(*ZetTable::Table(wordTable)),
        relations_(std::move(relations)),
        filter_(weightFilter),
        byteCount_(byteCount) {}

  // The records of the tree's query into bits (byteCount bytes).
  void Evaluate(const TQueryNode& node, TBitArray& bits);

 private:
  void MatchPattern(std::string_view query, TBitArray& bits);
  void MarkWord(int32_t number, TBitArray& bits);

  int w_;
  TZetTable& words_;
  std::vector<int> relations_;
  int32_t filter_;
  int32_t byteCount_;
};

void TQuery::Evaluate(const TQueryNode& node, TBitArray& bits) {
  if (node.kind == TQueryNode::TKind::Word) {
    MatchPattern(node.pattern, bits);
    return;
  }
  // A chain goes along its steps; only groups go one level deeper.
  Evaluate(*node.first, bits);
  TOwnedBits right(byteCount_);
  for (const TQueryNode::TStep& step : node.steps) {
    Bitarray::Clear(right.Bits());
    Evaluate(*step.operand, right.Bits());
    switch (step.op) {
      case TQueryNode::TKind::And: Bitarray::AndBits(bits, right.Bits()); break;
      case TQueryNode::TKind::Or: Bitarray::OrBits(bits, right.Bits()); break;
      default: Bitarray::AndNotBits(bits, right.Bits()); break;
    }
  }
}

// Walks index 1 of the word table. In a proper word table, whose keys hold
// the words in order, the walk starts at the pattern's prefix and ends where
// the words pass the prefix followed by the highest letter; any other word
// table is walked whole, its words read from the records.
void TQuery::MatchPattern(std::string_view query, TBitArray& bits) {
  if (query.empty() || !Zet00::IndexAvailable(w_, kWordIndex, false)) return;
  std::vector<uint8_t> record(words_.recordLength, 0);
  // Words are stored cut to the word field's length: an exact word is cut
  // the same way, or a longer one would never be found.
  const size_t wildcard = query.find_first_of("*?");
  const ShortStr pattern = wildcard == std::string_view::npos ? PutStoredWord(words_, record.data(), query)
                                                              : ShortStr(query);
  const ShortStr prefix(pattern.view().substr(0, std::min(wildcard, pattern.size())));
  ShortStr bound(prefix);
  bound.append(kPrefixBound);

  const auto savedKey = words_.currentKey;
  const uint32_t savedRecord = words_.currentRecord;
  const bool proper = IsProperWordTable(words_);
  uint8_t status;
  if (proper) {
    ZetTable::SetFieldText(words_, kWordField, record.data(), prefix);
    Zet00::MakeKey(w_, kWordIndex, record.data(), words_.currentKey.data(), 0);
    status = Zet00::IndexSeek(w_, kWordIndex);
  } else {
    status = Zet00::IndexFirst(w_, kWordIndex);
  }
  for (; status == Zet00::kStatusFound; status = Zet00::IndexNext(w_, kWordIndex)) {
    const uint8_t* key = words_.currentKey.data();
    if (proper) {
      const ShortStr word = KeyWord(words_, key);
      if (UPPERCAS::CollateCompare(word, bound) > 0) break;
      if (UPPERCAS::WildcardMatch(word, pattern)) MarkWord(KeyWordNumber(words_, key), bits);
    } else if (Zet01::ReadRecordInto(w_, Zet00::KeyRecordNumber(key), record.data(), nullptr, 0,
                                     ZetTable::kOrderRecords) == 0 &&
               UPPERCAS::WildcardMatch(ZetTable::FieldText(words_, kWordField, record.data()), pattern)) {
      MarkWord(bytes::GetI32(record.data() + words_.FieldOffset(words_.autoNumberField)), bits);
    }
  }
  words_.currentKey = savedKey;
  words_.currentRecord = savedRecord;
}

// Sets the bits of the source records of a word's entries in every relation
// table, with a weight filter only those whose weight shares a bit with it.
void TQuery::MarkWord(int32_t number, TBitArray& bits) {
  std::array<uint8_t, kRelationKeyLength> key{};
  for (int rel : relations_) {
    BTREES::PTree tree = Zet00::IndexTree(rel, kRelationIndex);
    if (!tree) continue;
    bytes::PutU32(key.data(), 0);
    bytes::PutI32(key.data() + kRelKeyWord, number);
    bytes::PutI32(key.data() + kRelKeySource, std::numeric_limits<int32_t>::min());
    bytes::PutI16(key.data() + kRelKeyWeight, std::numeric_limits<int16_t>::min());
    int result = BTREES::FindNearest(tree, key.data());
    for (; result == BTREES::kResultOk && bytes::GetI32(key.data() + kRelKeyWord) == number;
         result = BTREES::Next(tree, key.data())) {
      const uint16_t weight = bytes::GetU16(key.data() + kRelKeyWeight);
      if (filter_ == 0 || (weight & filter_) != 0) Bitarray::SetBit(bits, bytes::GetI32(key.data() + kRelKeySource));
    }
    if (result == BTREES::kResultFailed)
      Common::SetFileError(Zet00::kErrIndexWrite, Zet00::IndexPath(*ZetTable::Table(rel), kRelationIndex));
  }
}

bool IsFullTextRelation(int handle) {
  const TZetTable* t = ZetTable::Table(handle);
  return t && t->isRelationTable && HasFullTextKeys(*t) && Zet00::IndexAvailable(handle, kRelationIndex, false);
}

// The checks of a query; on success the relation tables to follow.
int16_t CheckQuery(int source, int wordTable, const TRelationSlots& slots, std::vector<int>& relations) {
  const TZetTable* words = ZetTable::Table(wordTable);
  if (!words || !words->hasAutoNumber) return kErrNoAutoNumber;
  relations.clear();
  for (uint16_t slot : slots) {
    if (slot == 0) continue;
    if (!IsFullTextRelation(slot)) return kErrBadRelationTable;
    relations.push_back(slot);
  }
  return ZetTable::Table(source) ? 0 : kErrBadRelationTable;
}

void TakeOperators(std::string_view operatorChars) {
  constexpr size_t kOperatorCount = 3;
  if (operatorChars.size() == kOperatorCount)
    QueryOperators() = TOperators{operatorChars[0], operatorChars[1], operatorChars[2]};
}

// Bytes for a bit per record number 1..count (bit k for record k).
int32_t BytesForRecords(int32_t count) { return std::max(count, 0) / 8 + 1; }

}  // namespace

int16_t MarkRecords(int source, int wordTable, std::string_view query, std::string_view extraChars,
                    std::string_view operatorChars, const TRelationSlots& relations, int32_t weightFilter) {
  std::vector<int> rels;
  if (const int16_t error = CheckQuery(source, wordTable, relations, rels)) return error;
  TakeOperators(operatorChars);
  const TParsedQuery parsed = ParseQuery(query, extraChars, QueryOperators());
  TZetTable& table = *ZetTable::Table(source);
  const int32_t count = std::max(table.recordCount, 0);
  TOwnedBits bits(BytesForRecords(count));
  TQuery(wordTable, std::move(rels), weightFilter, bits.Bits().byteCount).Evaluate(*parsed.root, bits.Bits());
  ZetTable::ClearMarks(source);
  for (int32_t r = 1; r <= count; ++r)
    if (Bitarray::TestBit(bits.Bits(), r)) ZetTable::AddMark(source, uint32_t(r));
  return parsed.error;
}

int32_t CountRecords(int source, int wordTable, std::string_view query, std::string_view extraChars,
                     std::string_view operatorChars, const TRelationSlots& relations, int32_t weightFilter,
                     Bitarray::TBitArray& result) {
  std::vector<int> rels;
  if (const int16_t error = CheckQuery(source, wordTable, relations, rels)) return error;
  TakeOperators(operatorChars);
  const TParsedQuery parsed = ParseQuery(query, extraChars, QueryOperators());
  Bitarray::Clear(result);
  TQuery(wordTable, std::move(rels), weightFilter, result.byteCount).Evaluate(*parsed.root, result);
  return parsed.error != 0 ? parsed.error : Bitarray::CountBits(result);
}

}  // namespace FullText
