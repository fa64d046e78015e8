// The object root and the collections of the runtime: growable arrays of item
// pointers that own their items, ordered ones found by binary search, string
// collections, and the typed owning pointer array.
//
// What always holds for a TKxCollection:
//   1. 0 <= Count <= Limit; items sit in slots 0 .. Count-1; Items is null
//      exactly when Limit is 0.
//   2. The collection owns its items: FreeAll, AtFree and the destructor
//      delete them through FreeItem; AtDelete and Remove hand an item back
//      without deleting it.
//   3. Growth is by Delta slots at a time. A growth that cannot be had raises
//      the "Collection Error" exception and leaves the collection as it was;
//      a collection with Delta 0 that is full raises it too, so nothing is
//      ever written past the array.
//   4. A class that overrides FreeItem frees its items in its own destructor
//      (the base destructor no longer reaches the override).
//   5. Misuse (an index outside 0 .. Count-1) raises xmsg with the text
//      "Collection Index out of Range. Index = <index>".
//
// Ordered collections keep their items ascending by Compare(KeyOf(item)).
// Search answers the insertion point; with Duplicates it is the first of the
// equal keys, and a new item goes in front of its equals. IndexOf with
// Duplicates looks among the equal keys for the item itself (by identity),
// so that Remove and AtFree take out the very item they were given.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kxobject {

// The message exception of the library: a text for the user.
class xmsg : public std::runtime_error {
 public:
  explicit xmsg(const std::string& text) : std::runtime_error(text) {}
};

class TKxObject {
 public:
  virtual ~TKxObject() = default;
};

constexpr int kCollectionIndexError = -1;
constexpr int kCollectionOverflow = -2;

// Raises xmsg with the text of a collection error code.
[[noreturn]] void RaiseCollectionError(int code, int32_t info);

class TKxCollection : public TKxObject {
 public:
  using Action = void (*)(void* item, void* arg);
  using Test = bool (*)(void* item, void* arg);

  TKxCollection(int32_t limit, int32_t delta);
  ~TKxCollection() override;
  TKxCollection(const TKxCollection&) = delete;
  TKxCollection& operator=(const TKxCollection&) = delete;

  // Raises xmsg; a derived class may return instead, then the caller answers
  // as the comments below say.
  virtual void Error(int code, int32_t info);
  virtual int32_t IndexOf(void* item);
  virtual void Insert(void* item);
  virtual void FreeItem(void* item);
  virtual void SetLimit(int32_t limit);

  void* At(int32_t index) const;  // null after a returning Error
  void AtPut(int32_t index, void* item);
  void AtInsert(int32_t index, void* item);
  void AtDelete(int32_t index);
  void AtFree(int32_t index);
  void Remove(void* item);
  void FreeAll();
  void ForEach(Action action, void* arg);
  void* FirstThat(Test test, void* arg) const;

  int32_t Count = 0;
  void** Items = nullptr;
  int32_t Limit = 0;
  int32_t Delta = 0;

 private:
  bool InRange(int32_t index) const { return index >= 0 && index < Count; }
};

class TKxSortedCollection : public TKxCollection {
 public:
  TKxSortedCollection(int32_t limit, int32_t delta) : TKxCollection(limit, delta) {}

  int32_t IndexOf(void* item) override;
  void Insert(void* item) override;
  virtual int Compare(const void* key1, const void* key2) const = 0;
  virtual const void* KeyOf(const void* item) const { return item; }
  virtual bool Search(const void* key, int32_t& index) const;

  bool Duplicates = false;
};

// Ordered NUL-terminated strings (new[]): the engine's collation, case
// sensitive ("E" before "e").
class TKxStrCollection : public TKxSortedCollection {
 public:
  TKxStrCollection(int32_t limit, int32_t delta) : TKxSortedCollection(limit, delta) {}
  ~TKxStrCollection() override { FreeAll(); }
  // Takes the source's Limit and Delta and a fresh copy of every string; an
  // empty source string becomes a null item.
  explicit TKxStrCollection(const TKxCollection& source);

  void FreeItem(void* item) override;
  int Compare(const void* key1, const void* key2) const override;
  const char* StrAt(int32_t index) const { return static_cast<const char*>(At(index)); }
};

class TKxStream;

// Unordered strings (new[]), written and read one by one in the stream format.
class TKxStringList : public TKxCollection {
 public:
  TKxStringList(int32_t limit, int32_t delta) : TKxCollection(limit, delta) {}
  ~TKxStringList() override { FreeAll(); }

  void FreeItem(void* item) override;
  // The first index whose string equals text (byte for byte), -1 when none.
  virtual int32_t IndexOfStr(const char* text) const;
  virtual char* ReadItem(TKxStream& stream);
  virtual void WriteItem(TKxStream& stream, const char* item);
  const char* StrAt(int32_t index) const { return static_cast<const char*>(At(index)); }
};

// A collection whose items are not objects of the library: FreeItem deletes
// nothing (the owner of the items frees them itself).
class TKxPlainCollection : public TKxCollection {
 public:
  using TKxCollection::TKxCollection;
  ~TKxPlainCollection() override { Count = 0; }
  void FreeItem(void*) override {}
};

// A typed array of pointers that owns its items and deletes them with ~T,
// front to back, when it is destroyed.
template <class T>
class TKxPtrArray {
 public:
  TKxPtrArray(int32_t limit = 10, int32_t delta = 10) : items_(limit, delta) {}
  ~TKxPtrArray() {
    for (int32_t i = 0; i < items_.Count; ++i) delete static_cast<T*>(items_.Items[i]);
    items_.Count = 0;
  }
  TKxPtrArray(const TKxPtrArray&) = delete;
  TKxPtrArray& operator=(const TKxPtrArray&) = delete;

  virtual void Insert(T* item) { items_.Insert(item); }
  virtual int32_t IndexOf(T* item) { return items_.IndexOf(item); }
  virtual void Error(int code, int32_t info) { items_.Error(code, info); }
  virtual void SetLimit(int32_t limit) { items_.SetLimit(limit); }

  T* At(int32_t index) const { return static_cast<T*>(items_.At(index)); }
  T* operator[](int32_t index) const { return At(index); }
  int32_t Count() const { return items_.Count; }
  int32_t Limit() const { return items_.Limit; }
  int32_t Delta() const { return items_.Delta; }
  void AtInsert(int32_t index, T* item) { items_.AtInsert(index, item); }
  void AtDelete(int32_t index) { items_.AtDelete(index); }
  // Removes and deletes one item.
  void AtFree(int32_t index) {
    T* item = At(index);
    items_.AtDelete(index);
    delete item;
  }
  void Remove(T* item) { items_.Remove(item); }
  void FreeAll() {
    while (items_.Count > 0) AtFree(items_.Count - 1);
  }

 private:
  TKxPlainCollection items_;
};

// A sorted set of integers: each value at most once, in plain integer order.
class TKxSortedIntArray {
 public:
  // The index of value, or -(insertion point) - 1 when it is absent.
  int32_t Find(int32_t value) const;
  // Inserts value in order; false when it was there already.
  bool Add(int32_t value);
  bool Remove(int32_t value);
  int32_t Count() const { return int32_t(values_.size()); }
  int32_t At(int32_t index) const;  // raises the collection index error
  void Clear() { values_.clear(); }

 private:
  std::vector<int32_t> values_;
};

}  // namespace kxobject
