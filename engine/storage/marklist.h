// Mark lists: record numbers in the order they were marked.
//
// Tables, cursors, mark variables and the exports keep their marks in these
// lists. A list may hold a number twice when its owner adds without testing;
// every lookup works on the first occurrence. Where a routine finds nothing
// (empty list, number absent, end or start reached) it answers 0 and sets the
// engine-wide end flag to kNoMark; every answer that finds a number sets the
// flag to 0.
//
// Beside the ordered numbers a list counts the occurrences of each number, so
// that the "is it marked" test does not walk the list, and remembers where the
// last lookup ended, so that stepping through the marks with Next or Prior
// does not search from the front on every step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace MarkLists {

// End flag value: no such mark.
inline constexpr uint16_t kNoMark = 65535;

class TMarkList {
 public:
  uint32_t Count() const { return uint32_t(items_.size()); }
  bool Empty() const { return items_.empty(); }
  // The numbers in list order.
  const std::vector<uint32_t>& Items() const { return items_; }

 private:
  friend void MarkListInit(TMarkList& list);
  friend void MarkListClear(TMarkList& list);
  friend int MarkListAdd(TMarkList& list, uint32_t recno);
  friend void MarkListRemove(TMarkList& list, uint32_t recno);
  friend void MarkListReplace(TMarkList& list, uint32_t oldRecno, uint32_t newRecno);
  friend bool MarkListContains(const TMarkList& list, uint32_t recno);
  friend uint32_t MarkListNext(const TMarkList& list, uint32_t recno);
  friend uint32_t MarkListPrior(const TMarkList& list, uint32_t recno);

  // Index of the first occurrence of recno, or Count() when absent.
  size_t FirstIndexOf(uint32_t recno) const;
  void Forget(uint32_t recno);

  std::vector<uint32_t> items_;
  std::unordered_map<uint32_t, uint32_t> occurrences_;
  mutable size_t hint_ = 0;  // index of the last number a lookup found
};

// The end flag of the last First/Last/Next/Prior: 0 or kNoMark.
uint16_t EndFlag();

// Makes the list empty.
void MarkListInit(TMarkList& list);
void MarkListClear(TMarkList& list);
// Appends recno at the end; answers 0.
int MarkListAdd(TMarkList& list, uint32_t recno);
// Removes the first occurrence; nothing when absent.
void MarkListRemove(TMarkList& list, uint32_t recno);
// Removes the first occurrence when present, else appends; answers 0.
int MarkListToggle(TMarkList& list, uint32_t recno);
// The first occurrence of oldRecno becomes newRecno.
void MarkListReplace(TMarkList& list, uint32_t oldRecno, uint32_t newRecno);
bool MarkListContains(const TMarkList& list, uint32_t recno);
// target := the numbers of source in order.
void MarkListCopy(const TMarkList& source, TMarkList& target);
// First / last number; 0 and kNoMark when the list is empty.
uint32_t MarkListFirst(const TMarkList& list);
uint32_t MarkListLast(const TMarkList& list);
// The number after / before the first occurrence of recno; 0 and kNoMark when
// recno is absent or stands last / first.
uint32_t MarkListNext(const TMarkList& list, uint32_t recno);
uint32_t MarkListPrior(const TMarkList& list, uint32_t recno);

void UnitInit();
void UnitDone();

}  // namespace MarkLists
