#include "engine/storage/fulltext/fulltext_bulk.h"

#include <array>
#include <cstring>

#include "engine/base/common.h"
#include "engine/base/sort.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable.h"

namespace FullText {
namespace {

struct TPoolOrder {
  BTREES::TCompareProc compare;
  const uint8_t* header;
};

bool PoolBefore(const void* a, const void* b, void* data) {
  const auto* order = static_cast<const TPoolOrder*>(data);
  return order->compare(static_cast<const uint8_t*>(a), static_cast<const uint8_t*>(b), order->header);
}

int IndexError() {
  const int32_t last = Common::LastError();
  return last < 0 ? int(-last) : Zet00::kErrIndexWrite;
}

}  // namespace

int TBulkInsert::Begin() {
  if (!Zet00::IndexAvailable(handle_, slot_, false)) return IndexError();
  BTREES::PTree tree = Zet00::IndexTree(handle_, slot_);
  order_ = tree->header.order;
  keyLength_ = tree->header.keyLength;
  taken_ = 0;
  held_.clear();
  return 0;
}

int TBulkInsert::Insert(const uint8_t* key) {
  ZetTable::TZetTable* t = ZetTable::Table(handle_);
  std::memcpy(t->currentKey.data(), key, keyLength_);
  return Zet00::IndexInsertKey(handle_, slot_) == Zet00::kStatusFailed ? IndexError() : 0;
}

int TBulkInsert::Add(const uint8_t* key) {
  const size_t n = taken_++;
  if (n < order_) return Insert(key);
  const size_t cycle = 2 * size_t(order_) + 1;
  const size_t pos = (n - order_) % cycle;
  if (pos < order_) {
    held_.emplace_back(key, key + keyLength_);
    return 0;
  }
  if (const int error = Insert(key)) return error;
  return pos + 1 == cycle ? Finish() : 0;
}

int TBulkInsert::Finish() {
  while (!held_.empty()) {
    if (const int error = Insert(held_.back().data())) return error;
    held_.pop_back();
  }
  return 0;
}

int FillIndexFromPool(int handle, int slot) {
  TBulkInsert bulk(handle, slot);
  if (const int error = bulk.Begin()) return error;
  ZetTable::TZetTable* t = ZetTable::Table(handle);
  TPoolOrder order{Zet00::KeyCompareProc(t->version), t->indexes[size_t(slot)]->header.data()};
  SORT::SetCompareData(&order);
  SORT::SortRecords(PoolBefore);
  std::array<uint8_t, ZetTable::kMaxKeySize> key{};
  while (SORT::GetNextRecord(key.data(), key.size()))
    if (const int error = bulk.Add(key.data())) return error;
  return bulk.Finish();
}

}  // namespace FullText
