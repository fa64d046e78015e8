#include "runtime/toolkit/kxobject.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "engine/base/uppercas.h"
#include "runtime/toolkit/kxstream.h"

namespace kxobject {

// ---- TKxCollection ----

TKxCollection::TKxCollection(int32_t limit, int32_t delta) : Delta(delta) {
  // SetLimit is virtual, but during construction only this class's version
  // runs, which is what the collection needs here.
  TKxCollection::SetLimit(limit);
}

TKxCollection::~TKxCollection() {
  // A derived class's FreeItem is gone by now; derived classes that own
  // items of their own kind free them in their destructors.
  FreeAll();
  std::free(Items);
}

void RaiseCollectionError(int code, int32_t info) {
  if (code == kCollectionIndexError) {
    char text[64];
    std::snprintf(text, sizeof text, "Collection Index out of Range. Index = %d", int(info));
    throw xmsg(text);
  }
  throw xmsg("Collection Error");
}

void TKxCollection::Error(int code, int32_t info) { RaiseCollectionError(code, info); }

int32_t TKxCollection::IndexOf(void* item) {
  for (int32_t i = 0; i < Count; ++i)
    if (Items[i] == item) return i;
  return -1;
}

void TKxCollection::Insert(void* item) { AtInsert(Count, item); }

void TKxCollection::FreeItem(void* item) { delete static_cast<TKxObject*>(item); }

void TKxCollection::SetLimit(int32_t limit) {
  int32_t size = std::max(Count, limit);
  if (size == Limit) return;
  void** fresh = nullptr;
  if (size > 0) {
    fresh = static_cast<void**>(std::malloc(size_t(size) * sizeof(void*)));
    if (!fresh) {
      Error(kCollectionOverflow, size);
      return;
    }
    if (Count) std::memcpy(fresh, Items, size_t(Count) * sizeof(void*));
  }
  std::free(Items);
  Items = fresh;
  Limit = size;
}

void* TKxCollection::At(int32_t index) const {
  if (!InRange(index)) {
    const_cast<TKxCollection*>(this)->Error(kCollectionIndexError, index);
    return nullptr;
  }
  return Items[index];
}

void TKxCollection::AtPut(int32_t index, void* item) {
  if (!InRange(index)) return Error(kCollectionIndexError, index);
  Items[index] = item;
}

void TKxCollection::AtInsert(int32_t index, void* item) {
  if (index < 0 || index > Count) return Error(kCollectionIndexError, index);
  if (Count == Limit) {
    if (Delta <= 0) return Error(kCollectionOverflow, Limit);
    SetLimit(Limit + Delta);
    if (Count == Limit) return;  // growth refused by a returning Error
  }
  std::memmove(Items + index + 1, Items + index, size_t(Count - index) * sizeof(void*));
  Items[index] = item;
  ++Count;
}

void TKxCollection::AtDelete(int32_t index) {
  if (!InRange(index)) return Error(kCollectionIndexError, index);
  std::memmove(Items + index, Items + index + 1, size_t(Count - index - 1) * sizeof(void*));
  --Count;
}

void TKxCollection::AtFree(int32_t index) {
  void* item = At(index);
  AtDelete(index);
  FreeItem(item);
}

void TKxCollection::Remove(void* item) { AtDelete(IndexOf(item)); }

void TKxCollection::FreeAll() {
  for (int32_t i = Count - 1; i >= 0; --i) AtFree(i);
  Count = 0;
}

void TKxCollection::ForEach(Action action, void* arg) {
  for (int32_t i = 0; i < Count; ++i) action(Items[i], arg);
}

void* TKxCollection::FirstThat(Test test, void* arg) const {
  for (int32_t i = 0; i < Count; ++i)
    if (test(Items[i], arg)) return Items[i];
  return nullptr;
}

// ---- TKxSortedCollection ----

bool TKxSortedCollection::Search(const void* key, int32_t& index) const {
  int32_t low = 0, high = Count - 1;
  bool found = false;
  while (low <= high) {
    int32_t mid = low + (high - low) / 2;
    int c = Compare(KeyOf(Items[mid]), key);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) {
        found = true;
        if (!Duplicates) low = mid;
      }
    }
  }
  index = low;
  return found;
}

int32_t TKxSortedCollection::IndexOf(void* item) {
  int32_t index;
  const void* key = KeyOf(item);
  if (!Search(key, index)) return -1;
  if (!Duplicates) return index;
  // Among the equal keys, the item itself.
  for (; index < Count && Compare(KeyOf(Items[index]), key) == 0; ++index)
    if (Items[index] == item) return index;
  return -1;
}

void TKxSortedCollection::Insert(void* item) {
  int32_t index;
  if (!Search(KeyOf(item), index) || Duplicates) AtInsert(index, item);
}

// ---- TKxStrCollection ----

namespace {

char* CopyOrNull(const char* s) {
  if (!s || !*s) return nullptr;
  size_t n = std::strlen(s);
  char* out = new char[n + 1];
  std::memcpy(out, s, n + 1);
  return out;
}

}  // namespace

TKxStrCollection::TKxStrCollection(const TKxCollection& source)
    : TKxSortedCollection(source.Limit, source.Delta) {
  for (int32_t i = 0; i < source.Count; ++i) {
    char* copy = CopyOrNull(static_cast<const char*>(source.Items[i]));
    int32_t before = Count;
    Insert(copy);
    if (Count == before) delete[] copy;  // an equal string was there already
  }
}

void TKxStrCollection::FreeItem(void* item) { delete[] static_cast<char*>(item); }

int TKxStrCollection::Compare(const void* key1, const void* key2) const {
  const char* a = static_cast<const char*>(key1);
  const char* b = static_cast<const char*>(key2);
  return UPPERCAS::CollateCompareExact(a ? a : "", b ? b : "");
}

// ---- TKxStringList ----

void TKxStringList::FreeItem(void* item) { delete[] static_cast<char*>(item); }

int32_t TKxStringList::IndexOfStr(const char* text) const {
  for (int32_t i = 0; i < Count; ++i) {
    const char* s = static_cast<const char*>(Items[i]);
    if (std::strcmp(s ? s : "", text ? text : "") == 0) return i;
  }
  return -1;
}

char* TKxStringList::ReadItem(TKxStream& stream) { return stream.ReadString(); }

void TKxStringList::WriteItem(TKxStream& stream, const char* item) { stream.WriteString(item); }

// ---- TKxSortedIntArray ----

int32_t TKxSortedIntArray::Find(int32_t value) const {
  auto it = std::lower_bound(values_.begin(), values_.end(), value);
  int32_t index = int32_t(it - values_.begin());
  return it != values_.end() && *it == value ? index : -index - 1;
}

bool TKxSortedIntArray::Add(int32_t value) {
  int32_t index = Find(value);
  if (index >= 0) return false;
  values_.insert(values_.begin() + (-index - 1), value);
  return true;
}

bool TKxSortedIntArray::Remove(int32_t value) {
  int32_t index = Find(value);
  if (index < 0) return false;
  values_.erase(values_.begin() + index);
  return true;
}

int32_t TKxSortedIntArray::At(int32_t index) const {
  if (index < 0 || index >= Count()) RaiseCollectionError(kCollectionIndexError, index);
  return values_[size_t(index)];
}

}  // namespace kxobject
