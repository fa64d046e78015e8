// Building a whole B-tree at once from keys in ascending order, and sorting
// the keys for it.
//
// TBulkBuilder writes the pages of an empty tree bottom-up and left to
// right, each page once, instead of inserting key by key. The number of keys
// is known before the first one comes, so the shape of the tree is fixed in
// advance, level by level:
//
//   - a level of n entries that fit one page (n <= capacity) is the root;
//   - otherwise it gets p pages, the fewest that hold n - (p - 1) entries at
//     kBulkFillPercent of the capacity (the p - 1 left over go one level up
//     as the separators between the pages); the entries are spread evenly,
//     so every page holds order .. capacity entries (rule 2 of the B-tree
//     unit), the last page too;
//   - the root is page 1; the pages of the lowest level come next (2, 3, ..),
//     then those of the level above, and so on, so each level's pages are
//     consecutive in the file and go out in blocks of several pages.
//
// A key goes into the current page of the lowest level whose current page is
// not yet full; the pages of the levels below it are then complete: they are
// written and new ones begin, chained by their first child. The pages left
// free keep a tenth of every page for later inserts, so that a page takes
// some inserts before it splits.
//
// The builder writes no header while it works. Finish writes the last pages
// and then the 14-byte header with the height and page count; a build cut
// short leaves a file whose header still says "empty" (the caller builds in
// a temporary file or marks the index unfinished in its own header).
//
// TKeySorter holds keys of one length in one block of memory, sorts them by
// a tree's compare procedure and gives them back without repeats (keys
// neither of which sorts before the other count as one, as Insert answers
// "already present" for the second).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/btrees.h"

namespace BTREES {

inline constexpr int kBulkFillPercent = 90;

class TBulkBuilder {
 public:
  // tree must be empty (height 0). count keys follow, strictly ascending.
  // Answers Error (kErrDamaged when the tree is not empty, or would need more
  // than kMaxPage pages or kMaxLevels levels).
  uint16_t Begin(PTree tree, uint32_t count);
  // The next key (key length bytes). Answers Error.
  uint16_t Add(const uint8_t* key);
  // Writes the pages still in memory and the header. Answers Error
  // (kErrDamaged when fewer or more keys came than announced).
  uint16_t Finish();

  // The shape for count keys: pages per level, lowest level first (the last
  // level is the root's, with one page). Empty for 0 keys.
  static std::vector<uint32_t> Shape(uint32_t count, uint16_t order, uint16_t capacity);

 private:
  struct TLevel {
    uint32_t pages = 0;       // pages of the level
    uint32_t entries = 0;     // entries of the level (in all its pages)
    uint32_t firstPage = 0;   // page number of its first page
    uint32_t page = 0;        // index of the current page (0 ..)
    uint32_t target = 0;      // entries the current page gets
    uint32_t count = 0;       // entries the current page holds
    uint32_t batchFirst = 0;  // index of the first page in the batch
    std::vector<uint8_t> batch;  // pages not yet written, from batchFirst on
  };

  uint32_t TargetOf(const TLevel& level, uint32_t page) const;
  uint8_t* CurrentPage(TLevel& level);
  bool StartPage(size_t levelIndex, uint32_t page, uint16_t firstChild);
  bool WriteBatch(TLevel& level, uint32_t pagesInBatch);

  PTree tree_ = nullptr;
  uint32_t count_ = 0;
  uint32_t added_ = 0;
  uint32_t batchPages_ = 1;
  std::vector<TLevel> levels_;
};

class TKeySorter {
 public:
  explicit TKeySorter(uint16_t keyLength) : keyLength_(keyLength) {}
  void Add(const uint8_t* key);
  size_t Size() const { return order_.size(); }
  // Sorts and drops repeats; afterwards Key(i) is the i-th key in order.
  void Sort(TCompareProc compare, const uint8_t* compareData);
  const uint8_t* Key(size_t i) const { return keys_.data() + size_t(order_[i]) * keyLength_; }
  // The memory the keys take.
  size_t Bytes() const { return keys_.capacity() + order_.capacity() * sizeof(uint32_t); }
  void Clear();

 private:
  uint16_t keyLength_;
  std::vector<uint8_t> keys_;
  std::vector<uint32_t> order_;
};

// Builds the empty tree from the keys of the sorter (sorted). Answers Error.
uint16_t BuildTree(PTree tree, const TKeySorter& keys);

}  // namespace BTREES
