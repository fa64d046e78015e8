#include "engine/base/sort.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/base/stacklib.h"

namespace SORT {

// Pools nest strictly: while an inner pool is active the outer one takes no
// records. So the records of all pools live in one vector in creation order,
// each pool owning the tail from its base on, and EndSort cuts the vector
// back to the base. The sort order is a chain through the records.

namespace {

struct Node {
  Node* nextSorted = nullptr;
  std::vector<unsigned char> data;
};

// The active pool; BeginSort pushes it whole on the state stack.
struct Pool {
  size_t base = 0;  // index of the pool's first record in g_nodes
  Node* firstSorted = nullptr;
  Node* lastSorted = nullptr;
  Node* cursor = nullptr;
  void* compareData = nullptr;
};

std::vector<std::unique_ptr<Node>> g_nodes;
Pool g_pool;

Node* MergeSort(Node* list, CompareProc compare, void* data) {
  if (!list || !list->nextSorted) return list;
  // Deal the nodes alternately into two lists.
  Node* halves[2] = {nullptr, nullptr};
  Node** tails[2] = {&halves[0], &halves[1]};
  int side = 0;
  for (Node* n = list; n; side ^= 1) {
    Node* next = n->nextSorted;
    *tails[side] = n;
    tails[side] = &n->nextSorted;
    n = next;
  }
  *tails[0] = nullptr;
  *tails[1] = nullptr;
  Node* a = MergeSort(halves[0], compare, data);
  Node* b = MergeSort(halves[1], compare, data);
  // Merge: the second list's head goes first only when it sorts before.
  Node* head = nullptr;
  Node** tail = &head;
  while (a && b) {
    Node*& taken = compare(b->data.data(), a->data.data(), data) ? b : a;
    *tail = taken;
    tail = &taken->nextSorted;
    taken = taken->nextSorted;
  }
  *tail = a ? a : b;
  return head;
}

}  // namespace

void BeginSort() {
  STACKLIB::Push(&g_pool, sizeof g_pool);
  g_pool = Pool{};
  g_pool.base = g_nodes.size();
}

void AddRecord(const void* record, size_t size) {
  auto node = std::make_unique<Node>();
  const auto* bytes = static_cast<const unsigned char*>(record);
  node->data.assign(bytes, bytes + size);
  Node* added = node.get();
  g_nodes.push_back(std::move(node));
  if (g_pool.lastSorted)
    g_pool.lastSorted->nextSorted = added;
  else
    g_pool.firstSorted = g_pool.cursor = added;
  g_pool.lastSorted = added;
}

void SetCompareData(void* value) { g_pool.compareData = value; }

void SortRecords(CompareProc compare) {
  g_pool.firstSorted = MergeSort(g_pool.firstSorted, compare, g_pool.compareData);
  g_pool.lastSorted = g_pool.firstSorted;
  while (g_pool.lastSorted && g_pool.lastSorted->nextSorted) g_pool.lastSorted = g_pool.lastSorted->nextSorted;
  g_pool.cursor = g_pool.firstSorted;
}

bool GetNextRecord(void* buffer, size_t capacity) {
  if (!g_pool.cursor) return false;
  const std::vector<unsigned char>& data = g_pool.cursor->data;
  size_t n = std::min(capacity, data.size());
  if (n) std::memcpy(buffer, data.data(), n);
  g_pool.cursor = g_pool.cursor->nextSorted;
  return true;
}

bool AtEnd() { return g_pool.cursor == nullptr; }

void Rewind() { g_pool.cursor = g_pool.firstSorted; }

void EndSort() {
  Pool saved;
  STACKLIB::Pop(&saved, sizeof saved);
  g_nodes.resize(g_pool.base);
  g_pool = saved;
}

void UnitInit() {
  g_nodes.clear();
  g_pool = Pool{};
}

void UnitDone() {
  g_nodes.clear();
  g_nodes.shrink_to_fit();
  g_pool = Pool{};
}

}  // namespace SORT
