// Runs of relation-table keys that a full-text build spills to a temporary
// file, and their merge into the keys of the two indexes in key order.
//
// A build writes its hits in runs (each time the hits in memory pass the
// memory limit). Every run hands over the keys of its entries already in
// the order of each index, so that the indexes are filled by merging the
// runs, without sorting keys again:
//
//   index 2 {entry, word number, source record, weight}: a run is a list of
//     segments in ascending word number, one per word, each with the word's
//     hits in ascending source record and their entry numbers counting down
//     from the segment's top entry. The runs come in ascending source
//     records, so for one word number the segments of run 1, 2, ... follow
//     one another in key order: the merge takes, word number by word
//     number, each run's segment in run order. This holds only while no two
//     words of one run share a word number (the caller checks).
//   index 1 {entry, source auto number}: a run is a list of {auto number,
//     entry} pairs in key order (auto number as a signed number, then the
//     entry). Runs that follow one another in key order are read one after
//     the other; otherwise they are merged through a heap.
//
// In the file, a run is a byte range of unsigned LEB128 numbers:
//   index 2 segment: word number (its 32 bits), hit count n, top entry, then
//     n source records (the first as it is, then the rise from the one
//     before) and, when the runs carry weights, each hit's weight (16 bits)
//     behind its record.
//   index 1 pair: rise of the auto number (its 32 bits shifted by 2^31, so
//     the order is that of the numbers) over the pair before; the entry as
//     it is when the auto number rose (and for the first pair), else its
//     rise over the entry before.
// Reading holds one buffer per run, together within the reading budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace FullText {

// A key handed out by a merge, valid until the next one.
using TKeySink = std::function<bool(const uint8_t* key)>;

class TKeyRuns {
 public:
  // withWeights: the segments keep each hit's weight (else all are 0).
  explicit TKeyRuns(bool withWeights);
  ~TKeyRuns();
  TKeyRuns(const TKeyRuns&) = delete;
  TKeyRuns& operator=(const TKeyRuns&) = delete;

  // A run of index 2 segments: BeginRelationRun, then for each word in
  // ascending word number AddSegment and its count hits by AddSegmentHit in
  // ascending source record, then EndRelationRun.
  void BeginRelationRun();
  void AddSegment(int32_t word, uint32_t topEntry, uint32_t count);
  void AddSegmentHit(uint32_t record, uint16_t weight);
  void EndRelationRun();
  // A run of index 1 pairs {auto number, entry}, already in key order.
  void AddEntryRun(const std::vector<std::pair<int32_t, uint32_t>>& pairs);

  // The merges: every key of the index in key order to sink, which answers
  // false to stop. wordNumbers: the word numbers of every segment, each
  // once, ascending. readBytes: the budget of the read buffers. Answer 0, or
  // the LOWFILES code of a temporary file that failed.
  uint16_t MergeRelationKeys(const std::vector<int32_t>& wordNumbers, size_t readBytes, const TKeySink& sink);
  uint16_t MergeEntryKeys(size_t readBytes, const TKeySink& sink);

  size_t RelationRuns() const { return relationRuns_.size(); }
  size_t EntryRuns() const { return entryRuns_.size(); }
  // The LOWFILES code of the first failure of the temporary file, else 0.
  uint16_t Failure() const { return failure_; }

 private:
  struct TRange {
    uint64_t begin = 0, end = 0;
  };
  class TReader;

  void Put(uint32_t value);
  void Flush();
  std::vector<TReader> Readers(const std::vector<TRange>& runs, size_t readBytes);

  bool withWeights_;
  std::FILE* file_ = nullptr;
  uint64_t written_ = 0;  // bytes in the file and in out_
  std::vector<uint8_t> out_;  // its first used_ bytes wait for the file
  size_t used_ = 0;
  uint64_t runBegin_ = 0;
  uint32_t lastRecord_ = 0;  // the record of the segment's hit before
  std::vector<TRange> relationRuns_, entryRuns_;
  // First and last pair of every entry run (auto number, entry), biased.
  std::vector<std::pair<uint64_t, uint64_t>> entryBounds_;
  uint16_t failure_ = 0;
};

}  // namespace FullText
