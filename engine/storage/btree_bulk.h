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
// TKeySorter holds keys of one length, sorts them by a tree's compare
// procedure and gives them back in order without repeats (keys neither of
// which sorts before the other count as one, as Insert answers "already
// present" for the second; of such keys the one added first is kept). Its
// memory stays within a limit (SortMemoryLimit when made): once the keys
// held would pass it, they are sorted, their repeats dropped, and written as
// one sorted run to a temporary file, which the system deletes when it is
// closed; Sort then writes the last run too, and reading merges the runs
// (of equal keys in several runs the one of the earliest run wins, which
// is the one added first). Without a compare procedure given before the
// keys come, a sorter keeps every key in memory.
//
// Where the owner of a compare procedure registered a sort form for it
// (SetSortForm), the sorter computes each key's form once and orders by
// memcmp of the forms, calling the procedure only where two forms do not
// decide; the order, the repeats dropped and so the tree are the same as
// by the procedure alone. In memory the sort works on 16-byte entries that
// hold 8 bytes of the form past the prefix all forms share (the head): a
// radix sort by the heads, then each run of equal heads by the whole forms,
// where every form decides past its head; else a sort whose comparisons are
// mostly of heads. The forms count against the memory limit. Merging runs
// computes the forms of the keys as they are fetched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// A sort form lets the sorter order keys by memcmp instead of calling the
// compare procedure (registered by the owner of the procedure):
//   - Width(compareData): the most bytes a key's form takes (0: no forms);
//   - Form(key, compareData, out): writes the key's form (Width bytes, zero
//     after its end) and answers how many of its leading bytes decide, or
//     kNoSortForm for a key that has none.
// The promise: for keys a and b with decisive lengths da and db and
// m = min(da, db), if their forms differ within the first m bytes, a sorts
// before b exactly when its form is the smaller there; if they agree there
// and da and db are both Width, the keys are equal (neither sorts before
// the other). In every other case the compare procedure decides. So the
// order is the compare procedure's, only reached with fewer calls.
inline constexpr size_t kNoSortForm = ~size_t(0);
struct TSortForm {
  size_t (*width)(const uint8_t* compareData) = nullptr;
  size_t (*form)(const uint8_t* key, const uint8_t* compareData, uint8_t* out) = nullptr;
};
// Registers the form of a compare procedure's keys (a few procedures).
void SetSortForm(TCompareProc compare, const TSortForm& form);
// Whether sorters use the forms (tests compare with the plain order).
void UseSortForms(bool use);

// Memory a new sorter's keys may take (tests lower it).
inline constexpr size_t kDefaultSortBytes = size_t(64) << 20;
size_t SortMemoryLimit();
void SetSortMemoryLimit(size_t bytes);

class TKeySorter {
 public:
  // compare (with compareData) orders the keys; without it (nullptr) the
  // keys stay in memory and Sort names the order.
  explicit TKeySorter(uint16_t keyLength, TCompareProc compare = nullptr, const uint8_t* compareData = nullptr,
                      size_t memoryLimit = SortMemoryLimit());
  ~TKeySorter();
  TKeySorter(const TKeySorter&) = delete;
  TKeySorter& operator=(const TKeySorter&) = delete;

  // Room for this many keys to come (within the memory limit).
  void Reserve(size_t keys);
  // The caller's word that no two keys it adds are equal (index keys that
  // end in distinct record numbers): Sort then counts the keys without a
  // merge.
  void KeysDistinct() { distinct_ = true; }
  void Add(const uint8_t* key);
  // Sorts by compare (which must be the one given when made, if any) and
  // drops repeats; then Size() is the number of keys left and reading may
  // begin. Answers 0, or the LOWFILES code of a temporary file that could
  // not be made, written or read.
  uint16_t Sort(TCompareProc compare, const uint8_t* compareData);
  size_t Size() const { return size_; }
  // Reading in order: Rewind, then Next until it answers nullptr. A key
  // handed out stays valid until the next call.
  void Rewind();
  const uint8_t* Next();
  // The LOWFILES code of the first failure of the temporary file, else 0.
  uint16_t Failure() const { return failure_; }
  // Sorted runs written to the temporary file.
  size_t Runs() const { return runs_.size(); }
  // The memory the keys take.
  size_t Bytes() const;
  void Clear();

 private:
  struct TRun {
    uint64_t first = 0;  // key number of its first key in the file
    uint64_t count = 0;
  };
  struct TReader {
    uint64_t next = 0;  // key number of the next key to fetch
    uint64_t left = 0;  // keys of the run not yet fetched
    std::vector<uint8_t> keys;
    std::vector<uint8_t> forms;      // their sort forms (when used)
    std::vector<size_t> decisive;    // the decisive bytes of each form
    size_t at = 0, held = 0;  // next key in keys, keys fetched
  };
  // A key with its sort form, for comparing.
  struct TFormed {
    const uint8_t* key;
    const uint8_t* form;
    size_t decisive;
  };

  const uint8_t* Held(size_t i) const { return keys_.data() + size_t(order_[i]) * keyLength_; }
  TFormed ReaderKey(uint32_t r) const;
  // -1, 0 or 1: the order of two keys, by their forms where they decide
  // (the forms agree before byte from).
  int Order(const TFormed& a, const TFormed& b, size_t from = 0) const;
  // Reader a's key comes after reader b's (the heap's order).
  bool After(uint32_t a, uint32_t b) const;
  void UseCompare(TCompareProc compare, const uint8_t* compareData);
  size_t PerKey() const;
  void SortHeld();
  bool SortHeldByForms();
  void SpillHeld();
  bool Fetch(TReader& reader);

  uint16_t keyLength_;
  TCompareProc compare_ = nullptr;
  const uint8_t* compareData_ = nullptr;
  TSortForm form_;
  size_t formWidth_ = 0;  // 0: no forms
  size_t limit_;
  bool distinct_ = false;
  std::vector<uint8_t> keys_;
  std::vector<uint32_t> order_;
  size_t size_ = 0;
  uint16_t failure_ = 0;
  std::FILE* file_ = nullptr;  // the temporary file of the runs
  uint64_t written_ = 0;  // keys in it
  std::vector<TRun> runs_;
  // Reading.
  size_t cursor_ = 0;
  std::vector<TReader> readers_;
  std::vector<uint32_t> heap_;  // readers with keys left, the smallest key on top
  std::vector<uint8_t> last_;   // the key handed out last
  std::vector<uint8_t> lastForm_;  // and its form
  size_t lastDecisive_ = 0;
  bool handedOut_ = false;
};

// Builds the empty tree from the keys of the sorter (sorted). Answers Error.
uint16_t BuildTree(PTree tree, TKeySorter& keys);

}  // namespace BTREES
