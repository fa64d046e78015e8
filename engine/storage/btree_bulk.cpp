#include "engine/storage/btree_bulk.h"

#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/lowfiles.h"

namespace BTREES {
namespace {

// Pages of one level written with one block write (a block is at most 65535
// bytes).
constexpr uint32_t kMaxBlockBytes = 65535;

uint16_t Fail(uint16_t error) {
  Error = error;
  return error;
}

}  // namespace

std::vector<uint32_t> TBulkBuilder::Shape(uint32_t count, uint16_t order, uint16_t capacity) {
  std::vector<uint32_t> pages;
  if (count == 0 || order == 0) return pages;
  const uint64_t fill =
      std::clamp<uint64_t>(uint64_t(capacity) * kBulkFillPercent / 100, uint64_t(order) + 1, capacity);
  uint64_t n = count;
  while (n > capacity) {
    uint64_t p = (n + 1 + fill) / (fill + 1);
    // Too many pages would leave some below order entries.
    while (p > 2 && n + 1 - p < p * order) --p;
    pages.push_back(uint32_t(p));
    n = p - 1;
  }
  pages.push_back(1);
  return pages;
}

uint32_t TBulkBuilder::TargetOf(const TLevel& level, uint32_t page) const {
  const uint32_t inPages = level.entries - (level.pages - 1);
  return inPages / level.pages + (page < inPages % level.pages ? 1 : 0);
}

uint8_t* TBulkBuilder::CurrentPage(TLevel& level) {
  return level.batch.data() + size_t(level.page - level.batchFirst) * tree_->header.pageSize;
}

bool TBulkBuilder::WriteBatch(TLevel& level, uint32_t pagesInBatch) {
  if (pagesInBatch == 0) return true;
  const uint16_t pageSize = tree_->header.pageSize;
  const uint64_t position = uint64_t(level.firstPage + level.batchFirst) * pageSize;
  if (LOWFILES::WriteBlock(tree_->file, position, uint16_t(pagesInBatch * pageSize), 0, level.batch.data()) != 0) {
    Fail(uint16_t(LOWFILES::Error));
    return false;
  }
  return true;
}

bool TBulkBuilder::StartPage(size_t levelIndex, uint32_t page, uint16_t firstChild) {
  TLevel& level = levels_[levelIndex];
  if (page - level.batchFirst == batchPages_) {
    if (!WriteBatch(level, batchPages_)) return false;
    level.batchFirst = page;
  }
  level.page = page;
  level.count = 0;
  level.target = TargetOf(level, page);
  uint8_t* p = CurrentPage(level);
  std::memset(p, 0, tree_->header.pageSize);
  bytes::PutU16(p + kPageFirstChild, firstChild);
  return true;
}

uint16_t TBulkBuilder::Begin(PTree tree, uint32_t count) {
  Error = 0;
  tree_ = tree;
  count_ = count;
  added_ = 0;
  levels_.clear();
  if (!tree || tree->header.height != 0 || tree->header.pageCount != 0) return Fail(kErrDamaged);
  const TTreeHeader& h = tree->header;
  const std::vector<uint32_t> shape = Shape(count, h.order, h.capacity);
  if (shape.size() > size_t(kMaxLevels)) return Fail(kErrDamaged);
  uint64_t pages = 1;
  for (size_t i = 0; i + 1 < shape.size(); ++i) pages += shape[i];
  if (pages > kMaxPage) return Fail(kErrDamaged);
  batchPages_ = std::max<uint32_t>(1, kMaxBlockBytes / h.pageSize);
  levels_.resize(shape.size());
  uint32_t nextPage = 2;
  uint64_t entries = count;
  for (size_t i = 0; i < shape.size(); ++i) {
    TLevel& level = levels_[i];
    level.pages = shape[i];
    level.entries = uint32_t(entries);
    entries = shape[i] - 1;
    if (i + 1 == shape.size()) {
      level.firstPage = kRootPage;
    } else {
      level.firstPage = nextPage;
      nextPage += shape[i];
    }
    level.batch.assign(size_t(std::min(batchPages_, level.pages)) * h.pageSize, 0);
    level.batchFirst = 0;
    if (!StartPage(i, 0, i == 0 ? 0 : uint16_t(levels_[i - 1].firstPage))) return Error;
  }
  return 0;
}

uint16_t TBulkBuilder::Add(const uint8_t* key) {
  if (levels_.empty() || added_ >= count_) return Fail(kErrDamaged);
  size_t k = 0;
  while (k + 1 < levels_.size() && levels_[k].count == levels_[k].target) ++k;
  if (levels_[k].count == levels_[k].target) return Fail(kErrDamaged);
  // The levels below k are complete: a new page begins on each.
  for (size_t j = 0; j < k; ++j) {
    const uint16_t firstChild = j == 0 ? 0 : uint16_t(levels_[j - 1].firstPage + levels_[j - 1].page);
    if (!StartPage(j, levels_[j].page + 1, firstChild)) return Error;
  }
  TLevel& level = levels_[k];
  const TTreeHeader& h = tree_->header;
  uint8_t* entry = CurrentPage(level) + kPageEntries + size_t(level.count) * h.entrySize;
  bytes::PutU16(entry + kEntryChild, k == 0 ? 0 : uint16_t(levels_[k - 1].firstPage + levels_[k - 1].page));
  std::memcpy(entry + kEntryKey, key, h.keyLength);
  ++level.count;
  bytes::PutU16(CurrentPage(level) + kPageCount, uint16_t(level.count));
  ++added_;
  return 0;
}

uint16_t TBulkBuilder::Finish() {
  Error = 0;
  if (!tree_) return Fail(kErrDamaged);
  if (added_ != count_) return Fail(kErrDamaged);
  uint32_t pageCount = 0;
  for (TLevel& level : levels_) {
    if (level.page + 1 != level.pages || level.count != level.target) return Fail(kErrDamaged);
    if (!WriteBatch(level, level.page - level.batchFirst + 1)) return Error;
    pageCount = std::max(pageCount, level.firstPage + level.pages - 1);
  }
  tree_->header.height = uint16_t(levels_.size());
  tree_->header.pageCount = uint16_t(pageCount);
  levels_.clear();
  return WriteHeaders(tree_, nullptr, 0, 0);
}

void TKeySorter::Add(const uint8_t* key) {
  order_.push_back(uint32_t(order_.size()));
  keys_.insert(keys_.end(), key, key + keyLength_);
}

void TKeySorter::Sort(TCompareProc compare, const uint8_t* compareData) {
  const uint8_t* base = keys_.data();
  const size_t length = keyLength_;
  auto before = [&](uint32_t a, uint32_t b) {
    return compare(base + size_t(a) * length, base + size_t(b) * length, compareData);
  };
  // Equal keys stay in the order they came, so the first of them is kept.
  std::stable_sort(order_.begin(), order_.end(), before);
  // Keys neither of which sorts before the other are one key.
  const auto end = std::unique(order_.begin(), order_.end(),
                               [&](uint32_t a, uint32_t b) { return !before(a, b); });
  order_.erase(end, order_.end());
}

void TKeySorter::Clear() {
  keys_.clear();
  keys_.shrink_to_fit();
  order_.clear();
  order_.shrink_to_fit();
}

uint16_t BuildTree(PTree tree, const TKeySorter& keys) {
  TBulkBuilder builder;
  if (const uint16_t error = builder.Begin(tree, uint32_t(keys.Size()))) return error;
  for (size_t i = 0; i < keys.Size(); ++i)
    if (const uint16_t error = builder.Add(keys.Key(i))) return error;
  return builder.Finish();
}

}  // namespace BTREES
