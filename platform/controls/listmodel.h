// The list box's items as a plain object, tested without windows: texts with
// their data, heights and selection marks, the sorted order, the current
// item and the selection of lists that select several items.
//
// What always holds:
//   1. Items keep their order of insertion, or with sorting the collation of
//      platform/collate.h, case folded; equal keys keep their insertion
//      order. Insert places an item where it is told, even in a sorted list
//      (as a program may).
//   2. Items lie in blocks of at most 2 * kBlock, none empty, so an insert or
//      delete moves at most one block's items and a sorted add finds its
//      place by two binary searches: filling a sorted list with n items
//      costs about n log n comparisons. At(i) is quick for neighbouring i
//      (the block of the last look-up is remembered).
//   3. Current() is -1 (none) or names an item: the selection of a list that
//      selects one item. Caret() (the item with the focus) and Anchor()
//      (where a range selection starts) are -1 or name items too. Each
//      index moves with its item when items are inserted or deleted before
//      it, and becomes -1 when its item goes.
//   4. An item's `selected` mark is the selection of a list that selects
//      several; SelectedCount counts the marks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace win {

struct ListItem {
  std::string text;
  intptr_t data = 0;
  int height = 0;  // an owner-drawn variable list's measured height
  bool selected = false;
};

class ListModel {
 public:
  static constexpr size_t kBlock = 256;

  explicit ListModel(bool sorted = false) : sorted_(sorted) {}
  int Count() const { return count_; }
  const ListItem* At(int index) const;
  ListItem* At(int index);
  // Adds at the end, or at its sorted place; answers the index.
  int Add(std::string_view text, intptr_t data = 0);
  // Inserts at index (-1: the end) without sorting; -1 when index is out of range.
  int Insert(int index, std::string_view text, intptr_t data = 0);
  bool Delete(int index);
  void Reset();
  // The first item after `after` (wrapping; -1 starts at the top) whose text
  // begins with prefix, compared under FoldChar; -1 when none does.
  int FindPrefix(int after, std::string_view prefix) const;
  int Current() const { return current_; }
  // -1 clears; false (and nothing changes) for an index out of range.
  bool SetCurrent(int index);
  int Top() const { return top_; }
  void SetTop(int index);

  int Caret() const { return caret_; }
  int Anchor() const { return anchor_; }
  // -1 clears; an index out of range changes nothing (false).
  bool SetCaret(int index);
  bool SetAnchor(int index);
  // Marks or clears items first..last (in either order, clipped to the
  // list); false when no index of the range names an item.
  bool SelectRange(int first, int last, bool select);
  int SelectedCount() const;
  // The indexes of the marked items, ascending, at most `most` of them.
  std::vector<int> SelectedItems(size_t most = SIZE_MAX) const;

 private:
  using Block = std::vector<ListItem>;
  // The block holding index and the index of its first item.
  std::pair<size_t, int> Locate(int index) const;
  void Shift(int index, int by);

  bool sorted_;
  std::vector<Block> blocks_;
  int count_ = 0;
  int current_ = -1, caret_ = -1, anchor_ = -1;
  int top_ = 0;
  mutable size_t lastBlock_ = 0;
  mutable int lastStart_ = 0;
};

}  // namespace win
