#include "engine/storage/marklist.h"

#include <algorithm>
#include <utility>

namespace MarkLists {
namespace {

uint16_t g_endFlag = 0;

// Sets the end flag from whether a number was found, and answers it (or 0).
uint32_t Found(bool found, uint32_t recno) {
  g_endFlag = found ? 0 : kNoMark;
  return found ? recno : 0;
}

}  // namespace

size_t TMarkList::FirstIndexOf(uint32_t recno) const {
  auto it = occurrences_.find(recno);
  if (it == occurrences_.end()) return items_.size();
  // A number that stands once and sits where the last lookup ended is found
  // without a search: walking the marks step by step stays linear.
  if (it->second == 1 && hint_ < items_.size() && items_[hint_] == recno) return hint_;
  hint_ = size_t(std::find(items_.begin(), items_.end(), recno) - items_.begin());
  return hint_;
}

void TMarkList::Forget(uint32_t recno) {
  auto it = occurrences_.find(recno);
  if (it != occurrences_.end() && --it->second == 0) occurrences_.erase(it);
}

uint16_t EndFlag() { return g_endFlag; }

void MarkListInit(TMarkList& list) { MarkListClear(list); }

void MarkListClear(TMarkList& list) {
  std::vector<uint32_t>().swap(list.items_);
  list.occurrences_.clear();
  list.hint_ = 0;
}

int MarkListAdd(TMarkList& list, uint32_t recno) {
  list.items_.push_back(recno);
  ++list.occurrences_[recno];
  return 0;
}

void MarkListRemove(TMarkList& list, uint32_t recno) {
  size_t i = list.FirstIndexOf(recno);
  if (i == list.items_.size()) return;
  list.items_.erase(list.items_.begin() + std::ptrdiff_t(i));
  list.Forget(recno);
}

int MarkListToggle(TMarkList& list, uint32_t recno) {
  if (MarkListContains(list, recno))
    MarkListRemove(list, recno);
  else
    MarkListAdd(list, recno);
  return 0;
}

void MarkListReplace(TMarkList& list, uint32_t oldRecno, uint32_t newRecno) {
  size_t i = list.FirstIndexOf(oldRecno);
  if (i == list.items_.size()) return;
  list.items_[i] = newRecno;
  list.Forget(oldRecno);
  ++list.occurrences_[newRecno];
}

bool MarkListContains(const TMarkList& list, uint32_t recno) {
  return list.occurrences_.count(recno) != 0;
}

void MarkListCopy(const TMarkList& source, TMarkList& target) {
  if (&source == &target) return;
  TMarkList copy;
  for (uint32_t recno : source.Items()) MarkListAdd(copy, recno);
  target = std::move(copy);
}

uint32_t MarkListFirst(const TMarkList& list) {
  return Found(!list.Empty(), list.Empty() ? 0 : list.Items().front());
}

uint32_t MarkListLast(const TMarkList& list) {
  return Found(!list.Empty(), list.Empty() ? 0 : list.Items().back());
}

uint32_t MarkListNext(const TMarkList& list, uint32_t recno) {
  size_t i = list.FirstIndexOf(recno);
  if (i + 1 >= list.items_.size()) return Found(false, 0);
  list.hint_ = i + 1;
  return Found(true, list.items_[i + 1]);
}

uint32_t MarkListPrior(const TMarkList& list, uint32_t recno) {
  size_t i = list.FirstIndexOf(recno);
  if (i == 0 || i >= list.items_.size()) return Found(false, 0);
  list.hint_ = i - 1;
  return Found(true, list.items_[i - 1]);
}

void UnitInit() { g_endFlag = 0; }
void UnitDone() { g_endFlag = 0; }

}  // namespace MarkLists
