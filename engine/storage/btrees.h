// B-tree index files: one B-tree of fixed-length, unique keys per file.
//
// The unit knows nothing of fields. Its caller builds the keys (unique, for
// instance by appending a record number), passes the procedure that orders
// them and keeps a header of its own ("user header") right behind the tree's
// header in the same file.
//
// File layout (little-endian, never scrambled):
//
//   offset          size       field
//   0               2          page size in bytes
//   2               2          key length in bytes
//   4               2          entry size = key length + 2
//   6               2          height: levels of the tree, 0 = empty
//   8               2          page count: highest page number in use
//   10              2          order = ((page size - 4) div entry size) div 2
//   12              2          capacity = 2 x order: most entries of a page
//   14              user len   the caller's header
//   p x page size   page size  page p, 1 <= p <= page count; the root is page 1
//
// Page:
//
//   offset                    size         field
//   0                         2            first child: page of the keys
//                                          before entry 1 (0 in a leaf)
//   2                         2            count of entries
//   4 + (i-1) x entry size    2            entry i: right child, page of the
//                                          keys after it and before entry i+1
//   6 + (i-1) x entry size    key length   entry i: key
//
// What always holds between operations:
//   1. Entries of a page ascend; every key of a child lies between the two
//      entries that surround its page number. All leaves are at level height.
//   2. Every page but the root holds order .. capacity entries; the root holds
//      at least one entry when height > 1.
//   3. Page numbers only grow: pages that fall out of the tree (merge, root
//      shrink) are not reused until the tree is cleared. A page number never
//      exceeds kMaxPage: an insert that would need a further page (or a 21st
//      level) is refused before anything changes.
//   4. Page slot k (1..20) holds nothing or a page of level k. A page that
//      leaves a path slot moves to the page cache (written back only when it
//      is evicted from there), and a page read into a slot is taken out of
//      the cache first, so a page is in at most one slot or cache entry.
//      When the height changes all slots and the tree's cached pages are
//      written back and forgotten. Slot 0 is scratch: read afresh (or taken
//      from the cache), written at once, never put into the cache. While a
//      walk (WalkFrom) runs, a clean page that leaves its slot when the
//      cache is full is dropped instead of evicting another: a walk longer
//      than the cache would otherwise replace every cached page with pages
//      it does not come back to, and find none of its own the next time.
//   5. After a failed insert or delete the slots and the cache are written
//      back as far as possible and emptied (the pages written so far stay
//      written), so the next operation reads and checks every page again.
//   6. While atKey is set, slots 1 .. pathLevel hold the path to the entry
//      that the key in the cursor work entry names (pathPos: per level the
//      child taken, at pathLevel that entry), and the tree has not changed
//      since. Every search that ends at a key sets it; every other operation
//      and every page that leaves its slot clears it. Next and Prior from
//      that key step along the path instead of searching from the root.
//   7. Writing the headers writes dirty pages (slots and cache) back but
//      keeps them: the next search finds them without reading. Flushing,
//      closing, clearing and reading the headers write back and forget them;
//      so does the out-of-memory retry of a page buffer.
//
// Pages read from the file are checked before use (count within capacity,
// child page numbers within the page count, pages below the root not
// empty); a page or header that fails is reported as Error 1 and never
// followed. A root without entries above other levels (left by a root
// shrink that failed half-way) is still read: its first child holds all.
// A damaged file may name one page at two places of the tree, so every
// page is also checked for the place it is used at, whether it is read or
// found in a slot or the cache: page 0 is never a page of the tree, page 1
// only the root, and a page keeps the level it was checked for (a page
// number found in a path slot or cache entry of another level, or twice on
// one path, is damage). Next and Prior answer only keys strictly after
// (before) the one given, so a walk through pages that lead back to
// themselves ends with Error 1 instead of going round. A page that failed
// its check leaves nothing behind: its buffer is cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/lowfiles.h"

namespace BTREES {

// Results of the key operations.
inline constexpr int kResultOk = 0;      // done / found
inline constexpr int kResultNone = 1;    // not found, no further key, already present
inline constexpr int kResultFailed = 2;  // see Error

// Error words besides the codes of LOWFILES.
inline constexpr uint16_t kErrDamaged = 1;  // bad page or header, short file, page limit
inline constexpr uint16_t kErrOutOfMemory = 65534;
inline constexpr uint16_t kErrPageTooSmall = 65535;  // fewer than two entries fit

// Header fields.
inline constexpr size_t kHeaderSize = 14;
inline constexpr size_t kHeaderPageSize = 0;
inline constexpr size_t kHeaderKeyLength = 2;
inline constexpr size_t kHeaderEntrySize = 4;
inline constexpr size_t kHeaderHeight = 6;
inline constexpr size_t kHeaderPageCount = 8;
inline constexpr size_t kHeaderOrder = 10;
inline constexpr size_t kHeaderCapacity = 12;
inline constexpr size_t kUserHeaderOffset = kHeaderSize;

// Page fields.
inline constexpr size_t kPageFirstChild = 0;
inline constexpr size_t kPageCount = 2;
inline constexpr size_t kPageEntries = 4;
inline constexpr size_t kEntryChild = 0;
inline constexpr size_t kEntryKey = 2;
inline constexpr size_t kEntryOverhead = 2;

// The root's page number, the highest page number, the page slots of a tree
// (slot 0 plus one per level) and so the highest tree.
inline constexpr uint16_t kRootPage = 1;
inline constexpr uint32_t kMaxPage = 65535;
inline constexpr int kPageSlots = 21;
inline constexpr int kMaxLevels = kPageSlots - 1;
inline constexpr int kScratchSlot = 0;

// Orders two keys: true when a sorts before b. compareData is the address of
// the caller's header as given to CreateTree or OpenTree.
using TCompareProc = bool (*)(const uint8_t* a, const uint8_t* b, const uint8_t* compareData);

// The 14-byte header, held in memory.
struct TTreeHeader {
  uint16_t pageSize = 0;
  uint16_t keyLength = 0;
  uint16_t entrySize = 0;
  uint16_t height = 0;
  uint16_t pageCount = 0;
  uint16_t order = 0;
  uint16_t capacity = 0;
};

struct TPageSlot {
  uint16_t page = 0;  // 0: the slot holds no page
  uint8_t* buffer = nullptr;
  bool dirty = false;
  uint8_t level = 0;  // the level the page was checked for
};

// The shared page cache's default budget in bytes.
inline constexpr size_t kDefaultCacheBudget = size_t(2) << 20;

// How often the tree was reshaped since it was opened (the tests read these
// to see every path of insert and delete taken).
struct TReshapeCounts {
  uint32_t splits = 0;
  uint32_t rootSplits = 0;
  uint32_t borrowsFromLeft = 0;
  uint32_t borrowsFromRight = 0;
  uint32_t merges = 0;
  uint32_t rootShrinks = 0;
};

// One open tree. Made by CreateTree or OpenTree, freed by CloseTree.
struct TTree {
  TTreeHeader header;
  LOWFILES::TLowFile file;
  // Work entries of entry size bytes: the entry being inserted, the entry
  // moving up or down, and the key the path leads to (rule 6).
  uint8_t* work[3] = {nullptr, nullptr, nullptr};
  TCompareProc compare = nullptr;
  const uint8_t* compareData = nullptr;
  TPageSlot slots[kPageSlots];
  // The tree's entries in the shared page cache (a list through them; the
  // cache's own index, UINT32_MAX when none) and their number.
  uint32_t firstCached = UINT32_MAX;
  uint32_t cachedPages = 0;
  // The last path search: per level the position in the page (the entry
  // found, or the last entry before the key: the child taken), where it
  // ended and whether the key was found there.
  uint16_t pathPos[kPageSlots] = {};
  int pathLevel = 0;
  bool pathFound = false;
  bool atKey = false;  // rule 6
  bool walking = false;  // a WalkFrom runs (rule 4)
  TReshapeCounts counts;
};
using PTree = TTree*;

// Result word of the last operation: 0, kErrDamaged, kErrOutOfMemory,
// kErrPageTooSmall or the LOWFILES code.
extern uint16_t Error;
// Set when an allocation failed; cleared only by the caller.
extern bool OutOfMemory;
// Rewrite the 14-byte header after every change of height or page count.
extern bool HeaderOption;

// Creates the file with the mode and writes both headers. An order of 0 or a
// user header that reaches into page 1 gives kErrPageTooSmall and creates
// nothing. Answers Error; tree is nullptr on failure.
uint16_t CreateTree(PTree& tree, std::string_view name, uint16_t pageSize, uint8_t mode,
                    uint16_t userLength, const uint8_t* userHeader, TCompareProc compare,
                    uint16_t keyLength);
// Opens the file, reads and checks both headers and refuses a file too short
// for its page count (kErrDamaged). userHeader must live as long as the tree:
// it is the compare data. Answers Error; tree is nullptr on failure.
uint16_t OpenTree(PTree& tree, std::string_view name, TCompareProc compare, uint8_t mode,
                  uint16_t userLength, uint8_t* userHeader);
// With writeHeader: writes both headers where they differ and cuts the file
// to (page count + 1) x page size; otherwise only dirty pages are written.
// Closes the file and frees the tree (also after a failure); nullptr is
// accepted. Answers Error.
uint16_t CloseTree(PTree& tree, const uint8_t* userHeader, uint16_t userLength, bool writeHeader);
// Forgets every key: height and page count 0, header rewritten.
uint16_t ClearTree(PTree tree);
// Read or write the 14-byte header and userLength bytes of the user header
// from byte 14 + skip on (writing only where bytes differ). Both first write
// back the dirty pages; reading also forgets every page, writing keeps them.
uint16_t ReadHeader(PTree tree, uint8_t* userHeader, uint16_t userLength, uint16_t skip);
uint16_t WriteHeaders(PTree tree, const uint8_t* userHeader, uint16_t userLength, uint16_t skip);

// Key operations; key is key length bytes.
int Insert(PTree tree, const uint8_t* key);  // 1: already present
int Delete(PTree tree, const uint8_t* key);  // 1: not found
int Find(PTree tree, const uint8_t* key);    // 0: present, 1: absent
// Puts newKey in the place of oldKey: in place (one leaf entry rewritten)
// when newKey sorts between oldKey's neighbours and oldKey is in a leaf,
// else as Delete and Insert. 1: oldKey absent, or newKey already present
// (oldKey is then gone).
int Replace(PTree tree, const uint8_t* oldKey, const uint8_t* newKey);
// The key itself when present, else the smallest key after it.
int FindNearest(PTree tree, uint8_t* key);
int First(PTree tree, uint8_t* key);
int Last(PTree tree, uint8_t* key);
// The key after (before) the one given; 1 at the end. A key that is not in
// the tree gives the nearest key after (before) it.
int Next(PTree tree, uint8_t* key);
int Prior(PTree tree, uint8_t* key);
// Walks forward from the key FindNearest(key) answers, calling
// visit(key, context) for each key in order while it answers true; key
// holds the key visited. As FindNearest and a run of Next calls, without
// the search each Next makes to see that the path still leads to its key
// (visit must leave the tree alone): from one entry of a leaf to the next
// the walk only steps, and it checks the order where it leaves a page.
// kResultOk when visit stopped the walk (the path then leads to that key,
// as after Next), kResultNone at the end, kResultFailed on an error.
using TVisitProc = bool (*)(const uint8_t* key, void* context);
int WalkFrom(PTree tree, uint8_t* key, TVisitProc visit, void* context);

// Writes every dirty page (slots and cache) back and keeps it.
uint16_t WritePages(PTree tree);
// Writes every dirty page (slots and cache) and frees all page buffers (of
// every open tree).
uint16_t FlushTree(PTree tree);
uint16_t FlushAllTrees();

// The shared page cache: its budget in bytes (a smaller budget evicts at
// once, writing dirty pages back; a write that fails is answered in Error),
// and the bytes of the pages it holds now.
uint16_t SetCacheBudget(size_t bytes);
size_t CacheBudget();
size_t CachedBytes();
// Whether page of tree is in the shared cache, and dirty there.
bool PageCached(PTree tree, uint16_t page, bool* dirty = nullptr);

// Allocation for page, key and record buffers: on failure sets OutOfMemory
// and Error := kErrOutOfMemory and answers false. FreeBuffer accepts nullptr
// and leaves nullptr behind.
bool AllocBuffer(uint8_t*& pointer, size_t size);
void FreeBuffer(uint8_t*& pointer);
bool HasError();

// Test hook: after `after` more successful allocations, the next `count`
// ones fail.
void InjectAllocFailures(int after, int count);

void UnitInit();
void UnitDone();

}  // namespace BTREES
