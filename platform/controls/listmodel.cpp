// The list box's item model (see listmodel.h).
#include "platform/controls/listmodel.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "platform/collate.h"
#include "platform/win/window.h"

namespace win {

namespace {

bool CollatesBefore(std::string_view a, std::string_view b) { return platform::Collate(a, b, true) < 0; }

}  // namespace

std::pair<size_t, int> ListModel::Locate(int index) const {
  // Walk from the block looked up last: neighbours are found at once.
  size_t b = lastBlock_ < blocks_.size() ? lastBlock_ : 0;
  int start = lastBlock_ < blocks_.size() ? lastStart_ : 0;
  while (index < start) start -= int(blocks_[--b].size());
  while (index >= start + int(blocks_[b].size())) start += int(blocks_[b++].size());
  lastBlock_ = b, lastStart_ = start;
  return {b, start};
}

const ListItem* ListModel::At(int index) const {
  if (index < 0 || index >= count_) return nullptr;
  const auto [b, start] = Locate(index);
  return &blocks_[b][size_t(index - start)];
}

ListItem* ListModel::At(int index) { return const_cast<ListItem*>(std::as_const(*this).At(index)); }

int ListModel::Add(std::string_view text, intptr_t data) {
  if (!sorted_ || blocks_.empty()) return Insert(-1, text, data);
  // The first block whose last item sorts after the text, then the place in it.
  const auto block = std::partition_point(blocks_.begin(), blocks_.end(),
                                          [&](const Block& b) { return !CollatesBefore(text, b.back().text); });
  if (block == blocks_.end()) return Insert(-1, text, data);
  int start = 0;
  for (auto it = blocks_.begin(); it != block; ++it) start += int(it->size());
  const auto at = std::partition_point(block->begin(), block->end(),
                                       [&](const ListItem& item) { return !CollatesBefore(text, item.text); });
  return Insert(start + int(at - block->begin()), text, data);
}

void ListModel::Shift(int index, int by) {
  for (int* i : {&current_, &caret_, &anchor_}) {
    if (*i < 0) continue;
    if (by < 0 && *i == index) *i = -1;
    else if (*i >= index + (by < 0 ? 1 : 0)) *i += by;
  }
}

int ListModel::Insert(int index, std::string_view text, intptr_t data) {
  if (index < -1 || index > count_) return -1;
  if (index == -1) index = count_;
  ListItem item{std::string(text), data, 0, false};
  if (blocks_.empty()) blocks_.emplace_back();
  size_t b;
  int start;
  if (index == count_) {
    b = blocks_.size() - 1;
    start = count_ - int(blocks_[b].size());
  } else {
    std::tie(b, start) = Locate(index);
  }
  Block& block = blocks_[b];
  block.insert(block.begin() + (index - start), std::move(item));
  if (block.size() > 2 * kBlock) {
    Block tail(std::make_move_iterator(block.begin() + kBlock), std::make_move_iterator(block.end()));
    block.resize(kBlock);
    blocks_.insert(blocks_.begin() + ptrdiff_t(b) + 1, std::move(tail));
  }
  lastBlock_ = 0, lastStart_ = 0;
  ++count_;
  Shift(index, 1);
  return index;
}

bool ListModel::Delete(int index) {
  if (!At(index)) return false;
  const auto [b, start] = Locate(index);
  blocks_[b].erase(blocks_[b].begin() + (index - start));
  if (blocks_[b].empty()) blocks_.erase(blocks_.begin() + ptrdiff_t(b));
  lastBlock_ = 0, lastStart_ = 0;
  --count_;
  Shift(index, -1);
  top_ = std::clamp(top_, 0, std::max(0, count_ - 1));
  return true;
}

void ListModel::Reset() {
  blocks_.clear();
  count_ = 0;
  current_ = caret_ = anchor_ = -1;
  top_ = 0;
  lastBlock_ = 0, lastStart_ = 0;
}

int ListModel::FindPrefix(int after, std::string_view prefix) const {
  for (int k = 1; k <= count_; ++k) {
    const int i = ((after < 0 ? -1 : after) + k) % count_;
    const std::string& t = At(i)->text;
    if (t.size() >= prefix.size() &&
        std::equal(prefix.begin(), prefix.end(), t.begin(),
                   [](char x, char y) { return FoldChar(uint8_t(x)) == FoldChar(uint8_t(y)); }))
      return i;
  }
  return -1;
}

bool ListModel::SetCurrent(int index) {
  if (index != -1 && !At(index)) return false;
  current_ = index;
  return true;
}

bool ListModel::SetCaret(int index) {
  if (index != -1 && !At(index)) return false;
  caret_ = index;
  return true;
}

bool ListModel::SetAnchor(int index) {
  if (index != -1 && !At(index)) return false;
  anchor_ = index;
  return true;
}

void ListModel::SetTop(int index) { top_ = std::clamp(index, 0, std::max(0, count_ - 1)); }

bool ListModel::SelectRange(int first, int last, bool select) {
  if (first > last) std::swap(first, last);
  first = std::max(first, 0);
  last = std::min(last, count_ - 1);
  if (first > last) return false;
  for (int i = first; i <= last; ++i) At(i)->selected = select;
  return true;
}

int ListModel::SelectedCount() const {
  int n = 0;
  for (const Block& b : blocks_)
    for (const ListItem& item : b) n += item.selected;
  return n;
}

std::vector<int> ListModel::SelectedItems(size_t most) const {
  std::vector<int> list;
  int i = 0;
  for (const Block& b : blocks_)
    for (const ListItem& item : b) {
      if (list.size() >= most) return list;
      if (item.selected) list.push_back(i);
      ++i;
    }
  return list;
}

}  // namespace win
