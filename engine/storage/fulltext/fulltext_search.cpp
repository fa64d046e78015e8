// Evaluating full-text queries over the word table and the relation tables.
//
// A query's result is a bit per source record. A word pattern resolves to
// the numbers of the words it matches; its records are the sources of their
// entries in the relation tables (index 2, keyed word number, source record,
// weight), with a weight filter only entries whose weight shares a bit with
// it.
//
// A chain of only "and" and "and not" steps is a set expression whose order
// does not matter, so it is evaluated from its rarest word: that word's
// records are the candidates, and every other word either tests each
// remaining candidate by seeking (word, candidate) in the relation index, or,
// when the candidates outnumber its entries, is walked and combined as a
// whole. Word sizes are counted in the index with a growing limit, so a
// frequent word costs no more than a few times the rarest one; a word's walk
// stops at the limit and goes on from there, never walking an entry twice.
// Entries are walked in the index pages (BTREES::WalkFrom). Groups in such
// a chain, and every other chain, are evaluated whole and combined from left
// to right; both ways give the same set.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
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

static_assert(kErrRelationKeysLost == -int16_t(Zet00::kErrIndexDamaged));

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

// Bitarray::SetBit in line: it runs once per entry walked.
inline void SetSourceBit(TBitArray& bits, int32_t source) {
  if (source >= 0 && source / 8 < bits.byteCount) bits.buffer[source / 8] |= uint8_t(1u << (source % 8));
}

// A walk over the entries of a pattern's words in every relation table
// that stops after a number of entries and goes on from there later.
struct TWordWalk {
  size_t word = 0;      // walking numbers[word] in relations_[relation]
  size_t relation = 0;
  bool resume = false;  // key is the last entry visited: go on after it
  std::array<uint8_t, kRelationKeyLength> key{};
  int64_t count = 0;    // entries walked
  bool done = false;    // every entry walked
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
  // The word numbers of the words matching a pattern.
  std::vector<int32_t> MatchPattern(std::string_view query);
  void MarkWord(int32_t number, TBitArray& bits);
  bool Passes(uint16_t weight) const { return filter_ == 0 || (weight & filter_) != 0; }
  template <typename F>
  void WalkEntries(int32_t number, int32_t from, F f);
  void MarkWords(const std::vector<int32_t>& numbers, TBitArray& bits);
  // Walks on, marking the records of the entries into bits, until the walk
  // has counted limit entries or is done.
  void MarkOn(const std::vector<int32_t>& numbers, TWordWalk& walk, int64_t limit, TBitArray& bits);
  // Some entry of the words has source record r (and passes the filter).
  bool HasSource(const std::vector<int32_t>& numbers, int32_t r);
  // Evaluates a chain of and / and-not steps with at least one word operand
  // that is not negated; answers false (nothing done) for any other chain.
  bool EvaluateAndChain(const TQueryNode& node, TBitArray& bits);
  // Combines bits with a word's records (and, or and-not when negate),
  // seeking candidates or walking the word on (its records so far in
  // marked), whichever is cheaper.
  void Restrict(const std::vector<int32_t>& numbers, TWordWalk& walk, std::unique_ptr<TOwnedBits>& marked, bool negate,
                TBitArray& bits);

  int w_;
  TZetTable& words_;
  std::vector<int> relations_;
  int32_t filter_;
  int32_t byteCount_;
};

void TQuery::Evaluate(const TQueryNode& node, TBitArray& bits) {
  if (node.kind == TQueryNode::TKind::Word) {
    MarkWords(MatchPattern(node.pattern), bits);
    return;
  }
  if (EvaluateAndChain(node, bits)) return;
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
std::vector<int32_t> TQuery::MatchPattern(std::string_view query) {
  std::vector<int32_t> numbers;
  if (query.empty() || !Zet00::IndexAvailable(w_, kWordIndex, false)) return numbers;
  std::vector<uint8_t> record(words_.recordLength, 0);
  // Words are stored cut to the word field's length: an exact word is cut
  // the same way, or a longer one would never be found.
  const size_t wildcard = query.find_first_of("*?");
  const ShortStr pattern = wildcard == std::string_view::npos ? PutStoredWord(words_, record.data(), query)
                                                              : ShortStr(query);
  const ShortStr prefix(pattern.view().substr(0, std::min(wildcard, pattern.size())));
  ShortStr bound(prefix);
  bound.append(kPrefixBound);

  if (IsProperWordTable(words_)) {
    BTREES::PTree tree = Zet00::IndexTree(w_, kWordIndex);
    if (!tree) return numbers;
    ZetTable::SetFieldText(words_, kWordField, record.data(), prefix);
    std::array<uint8_t, ZetTable::kMaxKeySize> key{};
    Zet00::MakeKey(w_, kWordIndex, record.data(), key.data(), 0);
    // A "*" matches any run, the empty one too, and every other character
    // of the pattern one character: a word of another length cannot match.
    const size_t fixed = pattern.size() - size_t(std::count(pattern.view().begin(), pattern.view().end(), '*'));
    struct TVisit {
      const TZetTable& words;
      const ShortStr& bound;
      const ShortStr& pattern;
      size_t fixed;
      bool star;
      std::vector<int32_t>& numbers;
    } visit{words_, bound, pattern, fixed, fixed != pattern.size(), numbers};
    const int result = BTREES::WalkFrom(
        tree, key.data(),
        [](const uint8_t* k, void* context) {
          TVisit& v = *static_cast<TVisit*>(context);
          const ShortStr word = KeyWord(v.words, k);
          if (UPPERCAS::CollateCompare(word, v.bound) > 0) return false;
          const bool length = v.star ? word.size() >= v.fixed : word.size() == v.fixed;
          if (length && UPPERCAS::WildcardMatch(word, v.pattern)) v.numbers.push_back(KeyWordNumber(v.words, k));
          return true;
        },
        &visit);
    if (result == BTREES::kResultFailed)
      Common::SetFileError(Zet00::kErrIndexWrite, Zet00::IndexPath(words_, kWordIndex));
    return numbers;
  }
  const auto savedKey = words_.currentKey;
  const uint32_t savedRecord = words_.currentRecord;
  for (uint8_t status = Zet00::IndexFirst(w_, kWordIndex); status == Zet00::kStatusFound;
       status = Zet00::IndexNext(w_, kWordIndex)) {
    if (Zet01::ReadRecordInto(w_, Zet00::KeyRecordNumber(words_.currentKey.data()), record.data(), nullptr, 0,
                              ZetTable::kOrderRecords) == 0 &&
        UPPERCAS::WildcardMatch(ZetTable::FieldText(words_, kWordField, record.data()), pattern))
      numbers.push_back(bytes::GetI32(record.data() + words_.FieldOffset(words_.autoNumberField)));
  }
  words_.currentKey = savedKey;
  words_.currentRecord = savedRecord;
  return numbers;
}

void TQuery::MarkWords(const std::vector<int32_t>& numbers, TBitArray& bits) {
  for (int32_t number : numbers) MarkWord(number, bits);
}

// Walks the entries of a word in every relation table from source record
// from on, calling f(source, weight) while it answers true.
template <typename F>
void TQuery::WalkEntries(int32_t number, int32_t from, F f) {
  std::array<uint8_t, kRelationKeyLength> key{};
  for (int rel : relations_) {
    BTREES::PTree tree = Zet00::IndexTree(rel, kRelationIndex);
    if (!tree) continue;
    bytes::PutU32(key.data(), 0);
    bytes::PutI32(key.data() + kRelKeyWord, number);
    bytes::PutI32(key.data() + kRelKeySource, from);
    bytes::PutI16(key.data() + kRelKeyWeight, std::numeric_limits<int16_t>::min());
    struct TVisit {
      int32_t number;
      F& f;
    } visit{number, f};
    const int result = BTREES::WalkFrom(
        tree, key.data(),
        [](const uint8_t* k, void* context) {
          TVisit& v = *static_cast<TVisit*>(context);
          return bytes::GetI32(k + kRelKeyWord) == v.number &&
                 v.f(bytes::GetI32(k + kRelKeySource), bytes::GetU16(k + kRelKeyWeight));
        },
        &visit);
    if (result == BTREES::kResultFailed)
      Common::SetFileError(Zet00::kErrIndexWrite, Zet00::IndexPath(*ZetTable::Table(rel), kRelationIndex));
  }
}

// Sets the bits of the source records of a word's entries in every relation
// table, with a weight filter only those whose weight shares a bit with it.
void TQuery::MarkWord(int32_t number, TBitArray& bits) {
  WalkEntries(number, std::numeric_limits<int32_t>::min(), [&](int32_t source, uint16_t weight) {
    if (Passes(weight)) SetSourceBit(bits, source);
    return true;
  });
}

void TQuery::MarkOn(const std::vector<int32_t>& numbers, TWordWalk& walk, int64_t limit, TBitArray& bits) {
  while (!walk.done && walk.count < limit) {
    if (walk.word >= numbers.size()) {
      walk.done = true;
      break;
    }
    if (walk.relation >= relations_.size()) {
      ++walk.word;
      walk.relation = 0;
      walk.resume = false;
      continue;
    }
    const int rel = relations_[walk.relation];
    BTREES::PTree tree = Zet00::IndexTree(rel, kRelationIndex);
    const int32_t number = numbers[walk.word];
    if (!walk.resume) {
      bytes::PutU32(walk.key.data(), 0);
      bytes::PutI32(walk.key.data() + kRelKeyWord, number);
      bytes::PutI32(walk.key.data() + kRelKeySource, std::numeric_limits<int32_t>::min());
      bytes::PutI16(walk.key.data() + kRelKeyWeight, std::numeric_limits<int16_t>::min());
    }
    struct TVisit {
      TQuery& query;
      TWordWalk& walk;
      int32_t number;
      int64_t limit;
      TBitArray& bits;
      bool skip;   // the first key is the last one visited before
      bool ended;  // the word's entries in this table are through
    } visit{*this, walk, number, limit, bits, walk.resume, false};
    const int result =
        !tree ? BTREES::kResultNone
              : BTREES::WalkFrom(
                    tree, walk.key.data(),
                    [](const uint8_t* k, void* context) {
                      TVisit& v = *static_cast<TVisit*>(context);
                      if (v.skip) {
                        v.skip = false;
                        if (std::memcmp(k, v.walk.key.data(), kRelationKeyLength) == 0) return true;
                      }
                      if (bytes::GetI32(k + kRelKeyWord) != v.number) {
                        v.ended = true;
                        return false;
                      }
                      if (v.query.Passes(bytes::GetU16(k + kRelKeyWeight)))
                        SetSourceBit(v.bits, bytes::GetI32(k + kRelKeySource));
                      if (++v.walk.count < v.limit) return true;
                      std::memcpy(v.walk.key.data(), k, kRelationKeyLength);  // goes on after it
                      return false;
                    },
                    &visit);
    if (result == BTREES::kResultFailed)
      Common::SetFileError(Zet00::kErrIndexWrite, Zet00::IndexPath(*ZetTable::Table(rel), kRelationIndex));
    walk.resume = result == BTREES::kResultOk && !visit.ended;
    if (!walk.resume) ++walk.relation;
  }
}

bool TQuery::HasSource(const std::vector<int32_t>& numbers, int32_t r) {
  bool found = false;
  for (int32_t number : numbers) {
    WalkEntries(number, r, [&](int32_t source, uint16_t weight) {
      if (source != r) return false;
      found = Passes(weight);
      return !found;
    });
    if (found) return true;
  }
  return false;
}

// Seeking a candidate costs a descent of the index per word number and
// relation table: a search of a page per level with the key compare, taken
// as this many entries walked (a walk steps within a leaf's page).
constexpr int64_t kSeekCost = 96;
// The first limit word sizes are counted to; each round multiplies it.
constexpr int64_t kFirstCountLimit = 256;
constexpr int64_t kCountLimitGrowth = 8;

void TQuery::Restrict(const std::vector<int32_t>& numbers, TWordWalk& walk, std::unique_ptr<TOwnedBits>& marked,
                      bool negate, TBitArray& bits) {
  const int64_t candidates = Bitarray::CountBits(bits);
  if (candidates == 0) return;
  const int64_t seekCost =
      candidates * int64_t(std::max<size_t>(numbers.size(), 1)) * int64_t(std::max<size_t>(relations_.size(), 1)) *
      kSeekCost;
  // A word walked further than its seeks would cost is sought instead.
  if (walk.count < seekCost) {
    if (!marked) marked = std::make_unique<TOwnedBits>(byteCount_);
    MarkOn(numbers, walk, seekCost, marked->Bits());
    if (walk.done) {
      if (negate) Bitarray::AndNotBits(bits, marked->Bits());
      else Bitarray::AndBits(bits, marked->Bits());
      return;
    }
  }
  // One word in one relation table, walked as far as the sources below the
  // last one it visited: its marks decide the candidates there, and only
  // those from that source on are sought.
  const bool prefix = walk.resume && numbers.size() == 1 && relations_.size() == 1 && marked;
  const int32_t walkedBelow = prefix ? bytes::GetI32(walk.key.data() + kRelKeySource) : 0;
  for (int32_t i = 0; i < bits.byteCount; ++i) {
    const uint8_t byte = bits.buffer[i];
    for (int b = 0; b < 8; ++b) {
      if ((byte & (1u << b)) == 0) continue;
      const int32_t r = i * 8 + b;
      const bool has = r < walkedBelow ? Bitarray::TestBit(marked->Bits(), r) : HasSource(numbers, r);
      if (has == negate) Bitarray::ClearBit(bits, r);
    }
  }
}

bool TQuery::EvaluateAndChain(const TQueryNode& node, TBitArray& bits) {
  struct TOperand {
    const TQueryNode* node;
    bool negate;
    std::vector<int32_t> numbers;
    TWordWalk walk;
    std::unique_ptr<TOwnedBits> marked;  // its records as far as walked
  };
  std::vector<TOperand> operands;
  operands.push_back({node.first.get(), false, {}, {}, nullptr});
  for (const TQueryNode::TStep& step : node.steps) {
    if (step.op == TQueryNode::TKind::Or) return false;
    operands.push_back({step.operand.get(), step.op == TQueryNode::TKind::AndNot, {}, {}, nullptr});
  }
  std::vector<TOperand*> positive;
  for (TOperand& o : operands) {
    if (o.node->kind != TQueryNode::TKind::Word) continue;
    o.numbers = MatchPattern(o.node->pattern);
    if (!o.negate) positive.push_back(&o);
  }
  if (positive.empty()) return false;

  // The rarest positive word: the words are walked on to a limit that grows
  // until one of them is walked whole; each keeps its records as far as it
  // was walked and goes on from there later.
  TOperand* rarest = nullptr;
  for (int64_t limit = positive.size() == 1 ? std::numeric_limits<int64_t>::max() : kFirstCountLimit; !rarest;
       limit = limit > std::numeric_limits<int64_t>::max() / kCountLimitGrowth ? std::numeric_limits<int64_t>::max()
                                                                               : limit * kCountLimitGrowth) {
    for (TOperand* o : positive) {
      if (!o->marked) o->marked = std::make_unique<TOwnedBits>(byteCount_);
      MarkOn(o->numbers, o->walk, limit, o->marked->Bits());
      if (o->walk.done && (!rarest || o->walk.count < rarest->walk.count)) rarest = o;
    }
  }
  Bitarray::OrBits(bits, rarest->marked->Bits());
  for (TOperand* o : positive)
    if (o != rarest && o->walk.done) Bitarray::AndBits(bits, o->marked->Bits());
  if (rarest->walk.count == 0) return true;
  // Groups narrow the candidates before any word is sought.
  for (TOperand& o : operands) {
    if (o.node->kind == TQueryNode::TKind::Word) continue;
    TOwnedBits group(byteCount_);
    Evaluate(*o.node, group.Bits());
    if (o.negate) Bitarray::AndNotBits(bits, group.Bits());
    else Bitarray::AndBits(bits, group.Bits());
  }
  std::vector<TOperand*> rest;
  for (TOperand& o : operands)
    if (!o.walk.done && o.node->kind == TQueryNode::TKind::Word) rest.push_back(&o);
  std::stable_sort(rest.begin(), rest.end(), [](const TOperand* a, const TOperand* b) {
    return !a->negate && (b->negate || a->walk.count < b->walk.count);
  });
  for (TOperand* o : rest) Restrict(o->numbers, o->walk, o->marked, o->negate, bits);
  return true;
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
    if (CheckRelationKeys(slot) != 0) return kErrRelationKeysLost;
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
