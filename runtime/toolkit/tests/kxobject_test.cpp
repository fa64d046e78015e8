#include "runtime/toolkit/kxobject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>


using namespace kxobject;

namespace {

// Items that count their deletions and carry a key.
struct Item : TKxObject {
  static inline std::vector<int> deleted;
  int key;
  explicit Item(int k) : key(k) {}
  ~Item() override { deleted.push_back(key); }
};

struct ByKey : TKxSortedCollection {
  using TKxSortedCollection::TKxSortedCollection;
  int Compare(const void* a, const void* b) const override {
    return static_cast<const Item*>(a)->key - static_cast<const Item*>(b)->key;
  }
};

std::string RaisedBy(auto action) {
  try {
    action();
  } catch (const xmsg& e) {
    return e.what();
  }
  return "";
}

struct Collections : ::testing::Test {
  void SetUp() override { Item::deleted.clear(); }
};

TEST_F(Collections, IndexErrorsRaiseTheirTexts) {
  TKxCollection c(2, 2);
  c.Insert(new Item(1));
  struct Case {
    std::function<void()> action;
    const char* text;
  } cases[] = {
      {[&] { c.At(-1); }, "Collection Index out of Range. Index = -1"},
      {[&] { c.At(1); }, "Collection Index out of Range. Index = 1"},
      {[&] { c.AtPut(5, nullptr); }, "Collection Index out of Range. Index = 5"},
      {[&] { c.AtInsert(2, nullptr); }, "Collection Index out of Range. Index = 2"},
      {[&] { c.AtDelete(1); }, "Collection Index out of Range. Index = 1"},
      {[&] { c.Remove(&c); }, "Collection Index out of Range. Index = -1"},
      {[&] { c.Error(7, 0); }, "Collection Error"},
  };
  for (const auto& k : cases) EXPECT_EQ(RaisedBy(k.action), k.text);
  EXPECT_EQ(c.Count, 1);
}

TEST_F(Collections, GrowthIsByDeltaAndOwnershipIsKept) {
  TKxCollection c(2, 3);
  EXPECT_EQ(c.Limit, 2);
  for (int i = 0; i < 3; ++i) c.Insert(new Item(i));
  EXPECT_EQ(c.Limit, 5);
  c.AtInsert(3, new Item(9));  // AtInsert(Count) appends
  c.AtInsert(0, new Item(8));
  EXPECT_EQ(static_cast<Item*>(c.At(0))->key, 8);
  EXPECT_EQ(static_cast<Item*>(c.At(4))->key, 9);
  c.SetLimit(1);  // shrinks only to Count
  EXPECT_EQ(c.Limit, 5);

  Item* kept = static_cast<Item*>(c.At(1));
  c.Remove(kept);  // handed back, not deleted
  std::unique_ptr<Item> eight(static_cast<Item*>(c.At(0)));
  c.AtDelete(0);
  EXPECT_TRUE(Item::deleted.empty());
  c.AtFree(0);
  EXPECT_EQ(Item::deleted, (std::vector<int>{1}));
  c.FreeAll();  // from the last to the first
  EXPECT_EQ(Item::deleted, (std::vector<int>{1, 9, 2}));
  EXPECT_EQ(c.Count, 0);
  delete kept;
  eight.reset();
}

TEST_F(Collections, FullCollectionThatCannotGrowRaisesAndStaysWhole) {
  TKxCollection fixed(1, 0);
  fixed.Insert(new Item(1));
  EXPECT_EQ(RaisedBy([&] { fixed.Insert(nullptr); }), "Collection Error");
  EXPECT_EQ(fixed.Count, 1);
  EXPECT_EQ(fixed.Limit, 1);
}

TEST_F(Collections, SortedWithoutDuplicatesKeepsTheFirst) {
  ByKey c(4, 4);
  Item* a = new Item(5);
  Item second(5);
  c.Insert(new Item(7));
  c.Insert(a);
  c.Insert(new Item(1));
  c.Insert(&second);  // equal key: not inserted, not freed
  ASSERT_EQ(c.Count, 3);
  EXPECT_EQ(c.At(1), a);
  int32_t index = -1;
  Item probe(6);
  EXPECT_FALSE(c.Search(&probe, index));
  EXPECT_EQ(index, 2);  // the insertion point
  EXPECT_EQ(c.IndexOf(&second), 1);  // by key
  Item absent(4);
  EXPECT_EQ(c.IndexOf(&absent), -1);
}

TEST_F(Collections, SortedWithDuplicatesFindsTheItemItself) {
  ByKey c(4, 4);
  c.Duplicates = true;
  Item* first = new Item(5);
  Item* second = new Item(5);
  Item* third = new Item(5);
  c.Insert(new Item(9));
  c.Insert(first);
  c.Insert(second);  // in front of its equals
  c.Insert(third);
  c.Insert(new Item(1));
  ASSERT_EQ(c.Count, 5);
  EXPECT_EQ(c.At(1), third);
  EXPECT_EQ(c.At(2), second);
  EXPECT_EQ(c.At(3), first);
  int32_t index;
  EXPECT_TRUE(c.Search(first, index));
  EXPECT_EQ(index, 1);  // the first equal key

  EXPECT_EQ(c.IndexOf(first), 3);
  EXPECT_EQ(c.IndexOf(second), 2);
  Item stranger(5);
  EXPECT_EQ(c.IndexOf(&stranger), -1);
  c.Remove(first);  // the very item, not the first of its key
  EXPECT_EQ(c.Count, 4);
  EXPECT_EQ(c.At(1), third);
  EXPECT_EQ(c.At(2), second);
  delete first;
  Item::deleted.clear();
  c.AtFree(c.IndexOf(second));
  EXPECT_EQ(Item::deleted, (std::vector<int>{5}));
  EXPECT_EQ(c.IndexOf(third), 1);
}

TEST_F(Collections, StringCollectionsCopyAndCompare) {
  TKxStringList list(4, 4);
  auto dup = [](const char* s) {
    char* p = new char[std::strlen(s) + 1];
    std::strcpy(p, s);
    return p;
  };
  list.Insert(dup("beta"));
  list.Insert(dup(""));
  list.Insert(dup("Alpha"));
  list.Insert(dup("beta"));
  EXPECT_EQ(list.IndexOfStr("beta"), 0);
  EXPECT_EQ(list.IndexOfStr("gamma"), -1);

  TKxStrCollection sorted(list);  // "" becomes a null item
  EXPECT_EQ(sorted.Limit, list.Limit);
  EXPECT_EQ(sorted.Delta, list.Delta);
  ASSERT_EQ(sorted.Count, 3);  // no duplicates: the second "beta" is refused
  EXPECT_EQ(sorted.StrAt(0), nullptr);
  EXPECT_STREQ(sorted.StrAt(1), "Alpha");
  EXPECT_STREQ(sorted.StrAt(2), "beta");
  // Case sensitive, accents after their base letter.
  TKxStrCollection words(4, 4);
  for (const char* w : {"e", "E", "\xe9", "f"}) words.Insert(dup(w));
  EXPECT_STREQ(words.StrAt(0), "E");
  EXPECT_STREQ(words.StrAt(1), "e");
  EXPECT_STREQ(words.StrAt(2), "\xe9");
  EXPECT_STREQ(words.StrAt(3), "f");
}

TEST_F(Collections, PointerArrayDeletesEachItemOnceFrontToBack) {
  {
    TKxPtrArray<Item> array;
    for (int i = 1; i <= 12; ++i) array.Insert(new Item(i));  // past the first 10 slots
    EXPECT_EQ(array.Count(), 12);
    EXPECT_EQ(array.IndexOf(array[11]), 11);
    array.AtFree(0);
    EXPECT_EQ(Item::deleted, (std::vector<int>{1}));
    EXPECT_EQ(RaisedBy([&] { array.At(11); }), "Collection Index out of Range. Index = 11");
  }
  EXPECT_EQ(Item::deleted, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST_F(Collections, SortedIntegerSet) {
  TKxSortedIntArray set;
  for (int v : {5, -3, 9, 5, 0}) set.Add(v);
  ASSERT_EQ(set.Count(), 4);
  EXPECT_EQ((std::vector<int>{set.At(0), set.At(1), set.At(2), set.At(3)}), (std::vector<int>{-3, 0, 5, 9}));
  EXPECT_EQ(set.Find(9), 3);
  EXPECT_EQ(set.Find(6), -4);  // absent: -(insertion point) - 1
  EXPECT_EQ(set.Find(-10), -1);
  EXPECT_TRUE(set.Remove(0));
  EXPECT_FALSE(set.Remove(0));
  EXPECT_EQ(RaisedBy([&] { set.At(3); }), "Collection Index out of Range. Index = 3");
}

}  // namespace
