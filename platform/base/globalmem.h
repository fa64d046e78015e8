// Movable global memory: blocks named by handles, locked to reach their bytes.
//
// What always holds:
//   1. A handle names one block from GlobalAlloc until GlobalFree. Ids count up
//      and are never reused, so a freed or forged handle is refused (null
//      pointer, size 0, false) instead of reaching another block.
//   2. GlobalSize answers exactly the size asked for at allocation or the last
//      successful reallocation; no rounding is visible.
//   3. A failed GlobalReAlloc leaves the block, its size and its bytes as they
//      were. New bytes are zero when GMEM_ZEROINIT is given.
//   4. A pointer from GlobalLock stays valid until the block is reallocated or
//      freed; the lock count is kept only so that GlobalUnlock can answer as
//      the callers expect.
//
// Tests make allocations fail with SetGlobalAllocFailure, to reach the paths
// that handle exhausted memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

struct HGLOBAL {
  uint32_t id = 0;
  explicit operator bool() const { return id != 0; }
  friend bool operator==(HGLOBAL a, HGLOBAL b) { return a.id == b.id; }
};

constexpr uint32_t GMEM_FIXED = 0x0000;
constexpr uint32_t GMEM_MOVEABLE = 0x0002;
constexpr uint32_t GMEM_ZEROINIT = 0x0040;
constexpr uint32_t GMEM_DDESHARE = 0x2000;  // shareable: meant for the clipboard
constexpr uint32_t GMEM_SHARE = GMEM_DDESHARE;

// A null handle when the memory cannot be had.
HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes);
// The same handle on success, a null handle on failure (the block unchanged).
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, uint32_t flags);
void* GlobalLock(HGLOBAL block);
// True while the block stays locked after this call.
bool GlobalUnlock(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);
// The allocation flags of the block (GMEM_DDESHARE is the one that matters).
uint32_t GlobalFlags(HGLOBAL block);
// A null handle on success, the handle itself when it names no block.
HGLOBAL GlobalFree(HGLOBAL block);

}  // namespace win

namespace platform {

// The next `after` allocations succeed, then every one fails until the hook
// is cleared with a negative count. Reallocations count as allocations.
void SetGlobalAllocFailure(int after);
// Number of blocks alive (tests check that nothing leaks).
size_t GlobalBlocksAlive();

}  // namespace platform
