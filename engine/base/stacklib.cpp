#include "engine/base/stacklib.h"

#include <cstring>
#include <memory>

#include "engine/base/engassert.h"

namespace STACKLIB {

namespace {

struct Entry {
  std::unique_ptr<unsigned char[]> data;
  size_t size;
  Entry* next;  // the entry below
};

Entry* g_top = nullptr;

void FreeAll() {
  while (g_top) {
    Entry* below = g_top->next;
    delete g_top;
    g_top = below;
  }
}

}  // namespace

void Push(const void* block, size_t size) {
  auto* entry = new Entry{std::make_unique_for_overwrite<unsigned char[]>(size), size, g_top};
  if (size) std::memcpy(entry->data.get(), block, size);
  g_top = entry;
}

void Pop(void* block, size_t size) {
  ZET_ASSERT(g_top != nullptr, "Stack is empty");
  std::unique_ptr<Entry> entry(g_top);
  g_top = entry->next;
  ZET_ASSERT(entry->size == size, "Stack entry to pop has not the correct size");
  if (size) std::memcpy(block, entry->data.get(), size);
}

size_t TopEntrySize() { return g_top ? g_top->size : 0; }

const void* StackTop() { return g_top; }

void UnitInit() { FreeAll(); }

void UnitDone() { FreeAll(); }

}  // namespace STACKLIB
