#include "platform/base/globalmem.h"

#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

namespace {

struct Block {
  std::unique_ptr<uint8_t[]> bytes;
  size_t size = 0;
  uint32_t flags = 0;
  int locks = 0;
};

std::unordered_map<uint32_t, Block> blocks;
uint32_t lastId = 0;
int failAfter = -1;

// A buffer of at least one byte, so a locked empty block still has an address.
std::unique_ptr<uint8_t[]> NewBytes(size_t bytes) {
  if (failAfter == 0) return nullptr;
  if (failAfter > 0) --failAfter;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes ? bytes : 1]);
}

Block* Find(win::HGLOBAL h) {
  auto it = blocks.find(h.id);
  return it == blocks.end() ? nullptr : &it->second;
}

}  // namespace

namespace win {

HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) {
  auto data = NewBytes(bytes);
  if (!data) return {};
  if (flags & GMEM_ZEROINIT) std::memset(data.get(), 0, bytes ? bytes : 1);
  HGLOBAL h{++lastId};
  blocks[h.id] = Block{std::move(data), bytes, flags, 0};
  return h;
}

HGLOBAL GlobalReAlloc(HGLOBAL h, size_t bytes, uint32_t flags) {
  Block* b = Find(h);
  if (!b) return {};
  auto data = NewBytes(bytes);
  if (!data) return {};
  size_t keep = b->size < bytes ? b->size : bytes;
  if (keep) std::memcpy(data.get(), b->bytes.get(), keep);
  if (bytes > keep && (flags & GMEM_ZEROINIT)) std::memset(data.get() + keep, 0, bytes - keep);
  b->bytes = std::move(data);
  b->size = bytes;
  b->flags = (b->flags & GMEM_DDESHARE) | (flags & GMEM_DDESHARE);
  return h;
}

void* GlobalLock(HGLOBAL h) {
  Block* b = Find(h);
  if (!b) return nullptr;
  ++b->locks;
  return b->bytes.get();
}

bool GlobalUnlock(HGLOBAL h) {
  Block* b = Find(h);
  if (!b || b->locks == 0) return false;
  return --b->locks > 0;
}

size_t GlobalSize(HGLOBAL h) {
  Block* b = Find(h);
  return b ? b->size : 0;
}

uint32_t GlobalFlags(HGLOBAL h) {
  Block* b = Find(h);
  return b ? b->flags : 0;
}

HGLOBAL GlobalFree(HGLOBAL h) {
  if (blocks.erase(h.id) == 0) return h;
  return {};
}

}  // namespace win

namespace platform {

void SetGlobalAllocFailure(int after) { failAfter = after < 0 ? -1 : after; }

size_t GlobalBlocksAlive() { return blocks.size(); }

}  // namespace platform
