#include "engine/storage/fulltext/fulltext_runs.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <queue>

#include "engine/base/bytes.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/zettable.h"

namespace FullText {
namespace {

constexpr size_t kOutBytes = 65536;  // bytes gathered before a write
constexpr size_t kMinReadBuffer = 4096;
constexpr size_t kMaxReadBuffer = 65536;
constexpr uint8_t kLowBits = 0x7F, kMoreBit = 0x80;
constexpr unsigned kBitsPerByte = 7;
constexpr uint32_t kSignBias = 0x80000000u;
constexpr unsigned kHalf = 32;

uint64_t PairKey(uint32_t biasedAuto, uint32_t entry) { return (uint64_t(biasedAuto) << kHalf) | entry; }

}  // namespace

// Reads one run's byte range through its own buffer.
class TKeyRuns::TReader {
 public:
  TReader(std::FILE* file, TRange range, size_t bufferBytes, uint16_t& failure)
      : file_(file), pos_(range.begin), end_(range.end), buffer_(bufferBytes), failure_(&failure) {}

  bool AtEnd() const { return at_ == held_ && pos_ == end_; }
  uint32_t Number() {
    uint32_t value = 0;
    for (unsigned shift = 0;; shift += kBitsPerByte) {
      const uint8_t b = Byte();
      value |= uint32_t(b & kLowBits) << shift;
      if (!(b & kMoreBit) || shift >= 4 * kBitsPerByte) return value;
    }
  }

 private:
  uint8_t Byte() {
    if (at_ == held_ && !Fill()) return 0;
    return buffer_[at_++];
  }
  bool Fill() {
    const size_t n = size_t(std::min<uint64_t>(buffer_.size(), end_ - pos_));
    if (n == 0 || pread(fileno(file_), buffer_.data(), n, off_t(pos_)) != ssize_t(n)) {
      if (*failure_ == 0) *failure_ = LOWFILES::kErrReadFailed;
      return false;
    }
    pos_ += n;
    at_ = 0;
    held_ = n;
    return true;
  }

  std::FILE* file_;
  uint64_t pos_, end_;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0, held_ = 0;
  uint16_t* failure_;
};

TKeyRuns::TKeyRuns(bool withWeights) : withWeights_(withWeights), out_(kOutBytes) {}

TKeyRuns::~TKeyRuns() {
  if (file_) std::fclose(file_);
}

void TKeyRuns::Put(uint32_t value) {
  constexpr size_t kMostBytes = 5;
  if (used_ + kMostBytes > out_.size()) Flush();
  uint8_t* p = out_.data() + used_;
  while (value > kLowBits) {
    *p++ = uint8_t((value & kLowBits) | kMoreBit);
    value >>= kBitsPerByte;
  }
  *p++ = uint8_t(value);
  const size_t n = size_t(p - (out_.data() + used_));
  used_ += n;
  written_ += n;
}

void TKeyRuns::Flush() {
  if (used_ == 0) return;
  if (failure_ == 0 && !file_ && !(file_ = std::tmpfile())) failure_ = LOWFILES::kErrWriteFailed;
  if (failure_ == 0 && std::fwrite(out_.data(), 1, used_, file_) != used_) failure_ = LOWFILES::kErrWriteFailed;
  used_ = 0;
}

void TKeyRuns::BeginRelationRun() { runBegin_ = written_; }

void TKeyRuns::AddSegment(int32_t word, uint32_t topEntry, uint32_t count) {
  Put(uint32_t(word));
  Put(count);
  Put(topEntry);
  lastRecord_ = 0;
}

void TKeyRuns::AddSegmentHit(uint32_t record, uint16_t weight) {
  Put(record - lastRecord_);
  lastRecord_ = record;
  if (withWeights_) Put(weight);
}

void TKeyRuns::EndRelationRun() {
  if (written_ != runBegin_) relationRuns_.push_back({runBegin_, written_});
}

void TKeyRuns::AddEntryRun(const std::vector<std::pair<int32_t, uint32_t>>& pairs) {
  if (pairs.empty()) return;
  const uint64_t begin = written_;
  uint32_t lastAuto = 0, lastEntry = 0;
  bool first = true;
  for (const auto& [autoNumber, entry] : pairs) {
    const uint32_t biased = uint32_t(autoNumber) ^ kSignBias;
    const uint32_t rise = first ? biased : biased - lastAuto;
    Put(rise);
    Put(first || rise != 0 ? entry : entry - lastEntry);
    lastAuto = biased;
    lastEntry = entry;
    first = false;
  }
  entryRuns_.push_back({begin, written_});
  entryBounds_.emplace_back(PairKey(uint32_t(pairs.front().first) ^ kSignBias, pairs.front().second),
                            PairKey(uint32_t(pairs.back().first) ^ kSignBias, pairs.back().second));
}

std::vector<TKeyRuns::TReader> TKeyRuns::Readers(const std::vector<TRange>& runs, size_t readBytes) {
  Flush();
  if (failure_ == 0 && file_ && std::fflush(file_) != 0) failure_ = LOWFILES::kErrWriteFailed;
  const size_t each = std::clamp(readBytes / std::max<size_t>(runs.size(), 1), kMinReadBuffer, kMaxReadBuffer);
  std::vector<TReader> readers;
  readers.reserve(runs.size());
  for (const TRange& r : runs) readers.emplace_back(file_, r, each, failure_);
  return readers;
}

uint16_t TKeyRuns::MergeRelationKeys(const std::vector<int32_t>& wordNumbers, size_t readBytes,
                                     const TKeySink& sink) {
  std::vector<TReader> readers = Readers(relationRuns_, readBytes);
  if (failure_ != 0) return failure_;
  // The header of each reader's next segment.
  struct TNext {
    bool any = false;
    int32_t word = 0;
  };
  std::vector<TNext> next(readers.size());
  auto advance = [&](size_t r) {
    next[r].any = !readers[r].AtEnd();
    if (next[r].any) next[r].word = int32_t(readers[r].Number());
  };
  for (size_t r = 0; r < readers.size(); ++r) advance(r);
  std::array<uint8_t, kRelationKeyLength> key{};
  for (const int32_t word : wordNumbers) {
    bytes::PutI32(key.data() + kRelKeyWord, word);
    for (size_t r = 0; r < readers.size(); ++r) {
      if (!next[r].any || next[r].word != word) continue;
      TReader& reader = readers[r];
      const uint32_t count = reader.Number();
      uint32_t entry = reader.Number();
      uint32_t record = 0;
      for (uint32_t i = 0; i < count; ++i, --entry) {
        record += reader.Number();
        bytes::PutU32(key.data(), entry);
        bytes::PutU32(key.data() + kRelKeySource, record);
        bytes::PutU16(key.data() + kRelKeyWeight, withWeights_ ? uint16_t(reader.Number()) : 0);
        if (failure_ != 0) return failure_;
        if (!sink(key.data())) return 0;
      }
      advance(r);
    }
  }
  return failure_;
}

uint16_t TKeyRuns::MergeEntryKeys(size_t readBytes, const TKeySink& sink) {
  std::vector<TReader> readers = Readers(entryRuns_, readBytes);
  if (failure_ != 0) return failure_;
  // Each reader's next pair as one number in key order.
  std::vector<uint64_t> current(readers.size());
  auto fetch = [&](size_t r, uint64_t before, bool first) {
    TReader& reader = readers[r];
    if (reader.AtEnd()) return false;
    const uint32_t rise = reader.Number();
    const uint32_t entry = reader.Number();
    const uint32_t biased = first ? rise : uint32_t(before >> kHalf) + rise;
    current[r] = PairKey(biased, first || rise != 0 ? entry : uint32_t(before) + entry);
    return failure_ == 0;
  };
  std::array<uint8_t, kEntryKeyLength> key{};
  auto put = [&](uint64_t pair) {
    bytes::PutU32(key.data(), uint32_t(pair));
    bytes::PutI32(key.data() + ZetTable::kKeyRecordNumber, int32_t(uint32_t(pair >> kHalf) ^ kSignBias));
    return sink(key.data());
  };
  bool inOrder = true;
  for (size_t r = 1; r < entryBounds_.size(); ++r) inOrder = inOrder && entryBounds_[r - 1].second < entryBounds_[r].first;
  if (inOrder) {
    // The runs follow one another: read one after the other.
    for (size_t r = 0; r < readers.size(); ++r)
      for (bool first = true; fetch(r, current[r], first); first = false)
        if (!put(current[r])) return 0;
    return failure_;
  }
  auto later = [&](size_t a, size_t b) { return current[a] > current[b]; };
  std::priority_queue<size_t, std::vector<size_t>, decltype(later)> heap(later);
  for (size_t r = 0; r < readers.size(); ++r)
    if (fetch(r, 0, true)) heap.push(r);
  while (!heap.empty()) {
    const size_t r = heap.top();
    heap.pop();
    if (!put(current[r])) return 0;
    if (fetch(r, current[r], false)) heap.push(r);
  }
  return failure_;
}

}  // namespace FullText
