#include "engine/storage/btrees.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/engassert.h"

namespace BTREES {

uint16_t Error = 0;
bool OutOfMemory = false;
bool HeaderOption = true;

namespace {

// Roles of the work entries.
constexpr int kWorkInsert = 0;
constexpr int kWorkMoving = 1;
constexpr int kWorkCursor = 2;

std::vector<TTree*> openTrees;

// Allocation fault plan of the tests: -1 = none.
int allocsBeforeFailure = -1;
int failuresLeft = 0;

bool InjectedFailure() {
  if (allocsBeforeFailure < 0) return false;
  if (allocsBeforeFailure > 0) {
    --allocsBeforeFailure;
    return false;
  }
  if (--failuresLeft <= 0) allocsBeforeFailure = -1;
  return true;
}

TTree& TreeOf(PTree tree) {
  ZET_ASSERT(tree != nullptr, "B-tree operation without a tree.");
  return *tree;
}

// ---- Header --------------------------------------------------------------

int OrderFor(uint32_t pageSize, uint32_t entrySize) {
  if (pageSize < kPageEntries) return 0;
  return int((pageSize - kPageEntries) / entrySize / 2);
}

void EncodeHeader(const TTreeHeader& h, uint8_t* raw) {
  bytes::PutU16(raw + kHeaderPageSize, h.pageSize);
  bytes::PutU16(raw + kHeaderKeyLength, h.keyLength);
  bytes::PutU16(raw + kHeaderEntrySize, h.entrySize);
  bytes::PutU16(raw + kHeaderHeight, h.height);
  bytes::PutU16(raw + kHeaderPageCount, h.pageCount);
  bytes::PutU16(raw + kHeaderOrder, h.order);
  bytes::PutU16(raw + kHeaderCapacity, h.capacity);
}

TTreeHeader DecodeHeader(const uint8_t* raw) {
  TTreeHeader h;
  h.pageSize = bytes::GetU16(raw + kHeaderPageSize);
  h.keyLength = bytes::GetU16(raw + kHeaderKeyLength);
  h.entrySize = bytes::GetU16(raw + kHeaderEntrySize);
  h.height = bytes::GetU16(raw + kHeaderHeight);
  h.pageCount = bytes::GetU16(raw + kHeaderPageCount);
  h.order = bytes::GetU16(raw + kHeaderOrder);
  h.capacity = bytes::GetU16(raw + kHeaderCapacity);
  return h;
}

// The stored geometry must be the one the page size and key length give,
// the height must fit the page slots and the pages, and the caller's header
// bytes (up to userEnd) must lie before page 1.
bool GeometryValid(const TTreeHeader& h, size_t userEnd) {
  if (h.entrySize != uint32_t(h.keyLength) + kEntryOverhead) return false;
  const int order = OrderFor(h.pageSize, h.entrySize);
  return order >= 1 && h.order == order && h.capacity == 2 * order && h.height <= kMaxLevels &&
         h.height <= h.pageCount && userEnd <= h.pageSize;
}

bool FileFailed() {
  Error = uint16_t(LOWFILES::Error);
  return false;
}

// A LOWFILES result: true for success, else its code becomes Error.
bool FileOk(int16_t result) { return result == 0 || FileFailed(); }

bool WriteTreeHeader(TTree& t) {
  uint8_t raw[kHeaderSize];
  EncodeHeader(t.header, raw);
  return FileOk(LOWFILES::WriteBlockIfChanged(t.file, 0, kHeaderSize, raw));
}

// After an insert or delete: the header follows height and page count.
bool WriteHeaderIfChanged(TTree& t, const TTreeHeader& before) {
  if (!HeaderOption) return true;
  if (t.header.height == before.height && t.header.pageCount == before.pageCount) return true;
  return WriteTreeHeader(t);
}

// ---- Page fields ---------------------------------------------------------

uint16_t CountOf(const uint8_t* page) { return bytes::GetU16(page + kPageCount); }
void SetCount(uint8_t* page, int count) { bytes::PutU16(page + kPageCount, uint16_t(count)); }

uint8_t* EntryAt(const TTree& t, uint8_t* page, int i) {
  return page + kPageEntries + size_t(i - 1) * t.header.entrySize;
}
const uint8_t* EntryAt(const TTree& t, const uint8_t* page, int i) {
  return page + kPageEntries + size_t(i - 1) * t.header.entrySize;
}
const uint8_t* KeyAt(const TTree& t, const uint8_t* page, int i) {
  return EntryAt(t, page, i) + kEntryKey;
}

uint16_t ChildOfEntry(const uint8_t* entry) { return bytes::GetU16(entry + kEntryChild); }
void SetChildOfEntry(uint8_t* entry, uint16_t child) { bytes::PutU16(entry + kEntryChild, child); }

// Child i of a page: 0 is the first child, i >= 1 the right child of entry i.
uint16_t ChildAt(const TTree& t, const uint8_t* page, int i) {
  return i == 0 ? bytes::GetU16(page + kPageFirstChild) : ChildOfEntry(EntryAt(t, page, i));
}
void SetFirstChild(uint8_t* page, uint16_t child) { bytes::PutU16(page + kPageFirstChild, child); }

void CopyEntries(const TTree& t, uint8_t* to, int toIndex, const uint8_t* from, int fromIndex,
                 int n) {
  if (n > 0) {
    std::memmove(EntryAt(t, to, toIndex), EntryAt(t, from, fromIndex),
                 size_t(n) * t.header.entrySize);
  }
}

// Places entry behind entry `after` (0: in front), moving the rest up.
void InsertEntry(const TTree& t, uint8_t* page, int after, const uint8_t* entry) {
  const int count = CountOf(page);
  CopyEntries(t, page, after + 2, page, after + 1, count - after);
  std::memcpy(EntryAt(t, page, after + 1), entry, t.header.entrySize);
  SetCount(page, count + 1);
}

void RemoveEntry(const TTree& t, uint8_t* page, int i) {
  const int count = CountOf(page);
  CopyEntries(t, page, i, page, i + 1, count - i);
  SetCount(page, count - 1);
}

bool Less(const TTree& t, const uint8_t* a, const uint8_t* b) {
  return t.compare(a, b, t.compareData);
}

// A page read from the file is used only when its count fits, a page below
// the root is not empty, and the children of an inner page are pages of the
// tree other than the root.
bool PageValid(const TTree& t, const uint8_t* page, int level) {
  const int count = CountOf(page);
  if (count > t.header.capacity || (level > 1 && count == 0)) return false;
  if (level < t.header.height) {
    for (int i = 0; i <= count; ++i) {
      const uint16_t child = ChildAt(t, page, i);
      if (child <= kRootPage || child > t.header.pageCount) return false;
    }
  }
  return true;
}

// ---- Page slots ----------------------------------------------------------

uint64_t PagePosition(const TTree& t, uint16_t page) { return uint64_t(page) * t.header.pageSize; }

bool WriteSlot(TTree& t, TPageSlot& s) {
  if (!FileOk(
          LOWFILES::WriteBlock(t.file, PagePosition(t, s.page), t.header.pageSize, 0, s.buffer))) {
    return false;
  }
  s.dirty = false;
  return true;
}

// ---- The shared page cache -----------------------------------------------

// An entry holds one page of one tree. Entries live in a pool and are named
// by their index there; each is on the recency list of all entries and on
// its tree's list, and found through an open-addressing table keyed by
// (tree, page).
constexpr uint32_t kNoEntry = UINT32_MAX;

struct TCacheEntry {
  TPageSlot slot;
  TTree* owner = nullptr;
  uint32_t newer = kNoEntry;  // recency list: towards the most recent use
  uint32_t older = kNoEntry;
  uint32_t treeNext = kNoEntry;  // the owner's list
  uint32_t treePrior = kNoEntry;
};

struct TPageCache {
  std::vector<TCacheEntry> entries;
  std::vector<uint32_t> freeEntries;
  uint32_t newest = kNoEntry;
  uint32_t oldest = kNoEntry;
  // Entry indexes by (tree, page); kNoEntry marks a free place. Its size is
  // a power of two, at least twice the number of entries in use.
  std::vector<uint32_t> table;
  int tableShift = 64;  // 64 - log2(table size)
  uint32_t used = 0;
  size_t budget = kDefaultCacheBudget;
  size_t bytes = 0;
};

TPageCache cache;

// Multiplicative hashing: the top bits of the product mix every bit of the
// tree's address and the page number.
size_t HashPlace(const TTree* owner, uint16_t page) {
  const uint64_t h =
      (uint64_t(reinterpret_cast<uintptr_t>(owner)) ^ (uint64_t(page) * 0xC2B2AE3D27D4EB4Full)) *
      0x9E3779B97F4A7C15ull;
  return size_t(h >> cache.tableShift);
}

uint32_t FindCached(const TTree& t, uint16_t page) {
  if (cache.used == 0) return kNoEntry;
  for (size_t i = HashPlace(&t, page);; i = (i + 1) & (cache.table.size() - 1)) {
    const uint32_t e = cache.table[i];
    if (e == kNoEntry) return kNoEntry;
    if (cache.entries[e].owner == &t && cache.entries[e].slot.page == page) return e;
  }
}

void PlaceInTable(uint32_t e) {
  const TCacheEntry& c = cache.entries[e];
  size_t i = HashPlace(c.owner, c.slot.page);
  while (cache.table[i] != kNoEntry) i = (i + 1) & (cache.table.size() - 1);
  cache.table[i] = e;
}

void AddToTable(uint32_t e) {
  if (2 * (size_t(cache.used) + 1) > cache.table.size()) {
    std::vector<uint32_t> old(std::max<size_t>(1024, 2 * cache.table.size()), kNoEntry);
    old.swap(cache.table);
    cache.tableShift = 64 - std::countr_zero(cache.table.size());
    for (uint32_t o : old) {
      if (o != kNoEntry) PlaceInTable(o);
    }
  }
  PlaceInTable(e);
  ++cache.used;
}

// Linear probing: the entries behind the removed one move up where their
// search would otherwise stop short.
void RemoveFromTable(uint32_t e) {
  const TCacheEntry& c = cache.entries[e];
  const size_t mask = cache.table.size() - 1;
  size_t hole = HashPlace(c.owner, c.slot.page);
  while (cache.table[hole] != e) hole = (hole + 1) & mask;
  for (size_t i = (hole + 1) & mask; cache.table[i] != kNoEntry; i = (i + 1) & mask) {
    const TCacheEntry& n = cache.entries[cache.table[i]];
    const size_t home = HashPlace(n.owner, n.slot.page);
    // n may fill the hole when its home does not lie cyclically in (hole, i].
    if (((i - home) & mask) >= ((i - hole) & mask)) {
      cache.table[hole] = cache.table[i];
      hole = i;
    }
  }
  cache.table[hole] = kNoEntry;
  --cache.used;
}

void LinkNewest(uint32_t e) {
  TCacheEntry& c = cache.entries[e];
  c.newer = kNoEntry;
  c.older = cache.newest;
  if (cache.newest != kNoEntry) cache.entries[cache.newest].newer = e;
  cache.newest = e;
  if (cache.oldest == kNoEntry) cache.oldest = e;
}

void UnlinkRecency(uint32_t e) {
  TCacheEntry& c = cache.entries[e];
  (c.newer != kNoEntry ? cache.entries[c.newer].older : cache.newest) = c.older;
  (c.older != kNoEntry ? cache.entries[c.older].newer : cache.oldest) = c.newer;
}

void Touch(uint32_t e) {
  if (cache.newest == e) return;
  UnlinkRecency(e);
  LinkNewest(e);
}

// Takes the page of slot s of tree t (buffer and all) into a new entry.
void AddEntry(TTree& t, TPageSlot& s) {
  uint32_t e;
  if (cache.freeEntries.empty()) {
    e = uint32_t(cache.entries.size());
    cache.entries.emplace_back();
  } else {
    e = cache.freeEntries.back();
    cache.freeEntries.pop_back();
  }
  TCacheEntry& c = cache.entries[e];
  c.slot = s;
  c.owner = &t;
  c.treePrior = kNoEntry;
  c.treeNext = t.firstCached;
  if (t.firstCached != kNoEntry) cache.entries[t.firstCached].treePrior = e;
  t.firstCached = e;
  ++t.cachedPages;
  LinkNewest(e);
  AddToTable(e);
  cache.bytes += t.header.pageSize;
  s.buffer = nullptr;
  s.page = 0;
  s.dirty = false;
}

// Drops an entry and frees its buffer (if it still has one).
void RemoveEntry(uint32_t e) {
  RemoveFromTable(e);
  UnlinkRecency(e);
  TCacheEntry& c = cache.entries[e];
  TTree& t = *c.owner;
  (c.treePrior != kNoEntry ? cache.entries[c.treePrior].treeNext : t.firstCached) = c.treeNext;
  if (c.treeNext != kNoEntry) cache.entries[c.treeNext].treePrior = c.treePrior;
  --t.cachedPages;
  cache.bytes -= t.header.pageSize;
  FreeBuffer(c.slot.buffer);
  c = TCacheEntry{};
  cache.freeEntries.push_back(e);
}

// Gives an entry another page of its tree (the page of a slot trading
// places with it).
void RenameEntry(uint32_t e, const TPageSlot& s) {
  RemoveFromTable(e);
  cache.entries[e].slot = s;
  AddToTable(e);
}

// Writes back the dirty pages of the tree's entries, keeping them. Stops at
// the first failed write.
bool WriteCachedPages(TTree& t) {
  for (uint32_t e = t.firstCached; e != kNoEntry; e = cache.entries[e].treeNext) {
    TPageSlot& s = cache.entries[e].slot;
    if (s.dirty && !WriteSlot(t, s)) return false;
  }
  return true;
}

// Makes room for `needed` more bytes by evicting the least recently used
// pages, a dirty one written back first. A buffer of `pageSize` bytes freed
// on the way is handed over in spare (when spare is free). Answers false
// when a page of tree t cannot be written (Error says why); a page of
// another tree that cannot be written stays, and room is then not made:
// made says whether it was.
bool MakeRoom(TTree& t, size_t needed, uint16_t pageSize, uint8_t*& spare, bool& made) {
  made = false;
  while (cache.bytes + needed > cache.budget) {
    const uint32_t e = cache.oldest;
    if (e == kNoEntry) return true;
    TTree& owner = *cache.entries[e].owner;
    TPageSlot& s = cache.entries[e].slot;
    if (s.dirty) {
      const uint16_t error = Error;
      if (!WriteSlot(owner, s)) {
        if (&owner == &t) return false;
        // Its tree learns of the failure at its next write-back.
        Error = error;
        Touch(e);
        return true;
      }
    }
    if (spare == nullptr && owner.header.pageSize == pageSize) std::swap(spare, s.buffer);
    RemoveEntry(e);
  }
  made = true;
  return true;
}

// Writes every dirty page back and keeps it in its slot or cache entry.
// Stops at the first failed write.
bool WriteDirtyPages(TTree& t) {
  for (TPageSlot& s : t.slots) {
    if (s.dirty && !WriteSlot(t, s)) return false;
  }
  return WriteCachedPages(t);
}

// Writes the tree's dirty cached pages back and drops them from the cache.
// Stops at the first failed write; that page and those after it stay.
bool ForgetCache(TTree& t) {
  while (t.firstCached != kNoEntry) {
    const uint32_t e = t.firstCached;
    TPageSlot& s = cache.entries[e].slot;
    if (s.dirty && !WriteSlot(t, s)) return false;
    RemoveEntry(e);
  }
  return true;
}

// Writes every dirty page back and empties the slots and the cache, freeing
// the slots' buffers on request. Stops at the first failed write; that page
// stays where it is.
bool ForgetPages(TTree& t, bool freeBuffers) {
  t.atKey = false;
  for (TPageSlot& s : t.slots) {
    if (s.dirty && !WriteSlot(t, s)) return false;
    s.page = 0;
    if (freeBuffers) FreeBuffer(s.buffer);
  }
  return ForgetCache(t);
}

// A page buffer for tree t. When memory runs out, the buffers of all other
// trees are written back and freed and the allocation is tried once more.
bool AllocPageBuffer(TTree& t, uint8_t*& buffer) {
  const bool outBefore = OutOfMemory;
  const uint16_t errorBefore = Error;
  if (!AllocBuffer(buffer, t.header.pageSize)) {
    // A write that fails here leaves that tree's page dirty in its slot; its
    // own next flush reports it.
    for (TTree* other : openTrees) {
      if (other != &t) ForgetPages(*other, true);
    }
    ForgetCache(t);
    Error = errorBefore;
    if (!AllocBuffer(buffer, t.header.pageSize)) return false;
    OutOfMemory = outBefore;
  }
  std::memset(buffer, 0, t.header.pageSize);
  return true;
}

// Moves the page of a path slot into the cache, leaving the slot a free
// buffer: room is made by evicting the least recently used pages. Answers
// false only when a write of this tree's page fails; moved stays false when
// the cache cannot take the page (budget, a failed write of another tree,
// no buffer without memory pressure): the caller then writes the page back
// as before.
bool MoveToCache(TTree& t, TPageSlot& s, bool& moved) {
  moved = false;
  const uint16_t size = t.header.pageSize;
  if (cache.budget < size) return true;
  if (t.walking && !s.dirty && cache.bytes + size > cache.budget) return true;
  uint8_t* spare = nullptr;
  bool made = false;
  if (!MakeRoom(t, size, size, spare, made)) {
    std::free(spare);
    return false;
  }
  if (!made) {
    std::free(spare);
    return true;
  }
  if (spare == nullptr) {
    spare = static_cast<uint8_t*>(std::malloc(size));
    if (spare == nullptr) return true;
  }
  AddEntry(t, s);
  s.buffer = spare;
  moved = true;
  return true;
}

// Empties a slot for another page: gives it a buffer; the page of a path
// slot moves to the cache, that of the scratch slot (or one the cache cannot
// take) is written first when dirty.
bool TakeSlot(TTree& t, int slot) {
  TPageSlot& s = t.slots[slot];
  bool moved = false;
  if (s.buffer == nullptr) {
    if (!AllocPageBuffer(t, s.buffer)) return false;
  } else if (slot != kScratchSlot && s.page != 0 && !MoveToCache(t, s, moved)) {
    return false;
  } else if (!moved && s.dirty && !WriteSlot(t, s)) {
    return false;
  }
  s.page = 0;
  return true;
}

// Takes a slot for a page that is built, not read.
bool MarkPage(TTree& t, int slot, uint16_t page) {
  if (!TakeSlot(t, slot)) return false;
  t.slots[slot].page = page;
  t.slots[slot].level = uint8_t(slot);
  return true;
}

bool Damaged() {
  Error = kErrDamaged;
  return false;
}

// Whether page may be used at level, as far as its number tells: a page of
// the tree, the root exactly at level 1, and in no path slot of another
// level (path slot k holds only pages of level k, and the page to be
// loaded into `slot` may stand in that slot alone).
bool PlaceValid(const TTree& t, int slot, uint16_t page, int level) {
  if (page == 0 || page > t.header.pageCount || (page == kRootPage) != (level == 1)) return false;
  for (int k = 1; k < kPageSlots; ++k) {
    if (k != slot && t.slots[k].page == page) return false;
  }
  return true;
}

// Brings page into slot; level is the page's level in the tree, for the
// check. A path slot that holds the page already is not read again; a
// cached page is taken out of the cache when it was checked for the same
// level.
bool LoadPage(TTree& t, int slot, uint16_t page, int level) {
  TPageSlot& s = t.slots[slot];
  if (!PlaceValid(t, slot, page, level)) return Damaged();
  if (slot != kScratchSlot && s.page == page && s.buffer != nullptr) {
    return s.level == level || Damaged();
  }
  if (const uint32_t e = FindCached(t, page); e != kNoEntry) {
    TPageSlot& c = cache.entries[e].slot;
    if (c.level != level) return Damaged();
    if (slot != kScratchSlot && s.page != 0) {
      // The slot's page takes the cached page's place.
      const TPageSlot leaving = s;
      s = c;
      RenameEntry(e, leaving);
      Touch(e);
    } else {
      if (s.dirty && !WriteSlot(t, s)) return false;
      FreeBuffer(s.buffer);
      s = c;
      c.buffer = nullptr;
      RemoveEntry(e);
    }
    return true;
  }
  if (!TakeSlot(t, slot)) return false;
  if (!FileOk(LOWFILES::ReadBlock(t.file, PagePosition(t, page), t.header.pageSize, 0, s.buffer))) {
    std::memset(s.buffer, 0, t.header.pageSize);
    return false;
  }
  if (!PageValid(t, s.buffer, level)) {
    std::memset(s.buffer, 0, t.header.pageSize);
    return Damaged();
  }
  s.page = page;
  s.level = uint8_t(level);
  return true;
}

// After a failed insert or delete the pages in the slots may be half
// changed: what can be written is written, and every slot is emptied so
// that each page is read and checked again before it is used. Error keeps
// the failure that stopped the operation.
void SettleAfterFailure(TTree& t) {
  const uint16_t error = Error;
  t.atKey = false;
  for (TPageSlot& s : t.slots) {
    if (s.dirty) WriteSlot(t, s);
    s.page = 0;
    s.dirty = false;
  }
  while (t.firstCached != kNoEntry) {
    const uint32_t e = t.firstCached;
    if (cache.entries[e].slot.dirty) WriteSlot(t, cache.entries[e].slot);
    RemoveEntry(e);
  }
  Error = error;
}

// A changed page: a path page becomes dirty, the scratch page is written at
// once.
bool PageChanged(TTree& t, int slot) {
  if (slot == kScratchSlot) return WriteSlot(t, t.slots[slot]);
  t.slots[slot].dirty = true;
  return true;
}

uint8_t* SlotPage(TTree& t, int slot) { return t.slots[slot].buffer; }

// ---- Search --------------------------------------------------------------

// Binary search: the number of the last entry not after key (0: before all
// entries); found when that entry equals key.
int SearchPage(const TTree& t, const uint8_t* page, const uint8_t* key, bool& found) {
  found = false;
  const int count = CountOf(page);
  if (count == 0) return 0;
  int low = 1;
  int high = count;
  while (low < high) {
    const int middle = (low + high) / 2;
    if (Less(t, KeyAt(t, page, middle), key)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  const uint8_t* entryKey = KeyAt(t, page, high);
  if (Less(t, key, entryKey)) return high - 1;
  found = !Less(t, entryKey, key);
  return high;
}

// Searches from the root down, leaving each level's page in its slot and the
// position in pathPos. kResultOk: found at pathLevel; kResultNone: ended at
// the leaf. The tree must not be empty.
int FindPath(TTree& t, const uint8_t* key) {
  uint16_t page = kRootPage;
  for (int level = 1; level <= t.header.height; ++level) {
    if (!LoadPage(t, level, page, level)) return kResultFailed;
    const uint8_t* buffer = SlotPage(t, level);
    bool found = false;
    const int pos = SearchPage(t, buffer, key, found);
    t.pathPos[level] = uint16_t(pos);
    t.pathLevel = level;
    t.pathFound = found;
    if (found) return kResultOk;
    page = ChildAt(t, buffer, pos);
  }
  return kResultNone;
}

void CopyKeyOut(const TTree& t, const uint8_t* page, int i, uint8_t* key) {
  std::memcpy(key, KeyAt(t, page, i), t.header.keyLength);
}

// The path now leads to entry i of the page at level, whose key is copied
// out.
void PathAtEntry(TTree& t, int level, int i, uint8_t* key) {
  t.pathPos[level] = uint16_t(i);
  t.pathLevel = level;
  t.pathFound = true;
  CopyKeyOut(t, SlotPage(t, level), i, key);
}

// The first (or last) key of the subtree whose top page lies at level; the
// path is extended down to it.
int Descend(TTree& t, int level, uint16_t page, bool toLast, uint8_t* key) {
  for (;; ++level) {
    if (!LoadPage(t, level, page, level)) return kResultFailed;
    const uint8_t* buffer = SlotPage(t, level);
    const int count = CountOf(buffer);
    if (level == t.header.height) {
      if (count == 0) return kResultNone;  // only an empty root
      PathAtEntry(t, level, toLast ? count : 1, key);
      return kResultOk;
    }
    t.pathPos[level] = uint16_t(toLast ? count : 0);
    page = ChildAt(t, buffer, toLast ? count : 0);
  }
}

// After a path search: the nearest key after (forward) or before the key
// searched, whether it was found or not; the path then leads to it.
int StepFromPath(TTree& t, bool forward, uint8_t* key) {
  int level = t.pathLevel;
  int pos = t.pathPos[level];
  const uint8_t* page = SlotPage(t, level);
  if (t.pathFound && level < t.header.height) {
    // The neighbour is the first key of the subtree right of the entry or
    // the last key of the subtree left of it.
    const int child = forward ? pos : pos - 1;
    t.pathPos[level] = uint16_t(child);
    return Descend(t, level + 1, ChildAt(t, page, child), !forward, key);
  }
  int candidate = forward ? pos + 1 : (t.pathFound ? pos - 1 : pos);
  while (candidate < 1 || candidate > CountOf(page)) {
    // Past the end of this page: the parent entry beside the child taken.
    if (--level < 1) return kResultNone;
    page = SlotPage(t, level);
    pos = t.pathPos[level];
    candidate = forward ? pos + 1 : pos;
  }
  PathAtEntry(t, level, candidate, key);
  return kResultOk;
}

// A key operation other than a step: whatever the path led to is given up
// (rule 6).
TTree& BeginOperation(PTree tree) {
  Error = 0;
  TTree& t = TreeOf(tree);
  t.atKey = false;
  return t;
}

// Rule 6: after a search that ended at a key, the path leads to it.
int RememberKey(TTree& t, int result, const uint8_t* key) {
  t.atKey = result == kResultOk;
  if (t.atKey) std::memcpy(t.work[kWorkCursor], key, t.header.keyLength);
  return result;
}

// Next and Prior: from the path when it leads to key, else after a search.
// The key answered must lie strictly after (before) the one given: in a
// damaged file pages may lead back to themselves, and a walk that would go
// round ends with the damaged-file error.
int Step(PTree tree, uint8_t* key, bool forward) {
  TTree& t = TreeOf(tree);
  const bool onPath = t.atKey && std::memcmp(t.work[kWorkCursor], key, t.header.keyLength) == 0;
  BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  if (!onPath && FindPath(t, key) == kResultFailed) return kResultFailed;
  uint8_t* given = t.work[kWorkMoving];
  std::memcpy(given, key, t.header.keyLength);
  const int result = StepFromPath(t, forward, key);
  if (result == kResultOk && !(forward ? Less(t, given, key) : Less(t, key, given))) {
    t.atKey = false;
    Damaged();
    return kResultFailed;
  }
  return RememberKey(t, result, key);
}

// ---- Insert --------------------------------------------------------------

// An insert splits every full page from the leaf up; a split root needs one
// page more and one level more. Refused when that passes the highest page
// number or the page slots.
bool RoomForInsert(TTree& t) {
  uint32_t needed = 0;
  int level = t.header.height;
  while (level >= 1 && CountOf(SlotPage(t, level)) == t.header.capacity) {
    ++needed;
    --level;
  }
  if (level == 0) {
    if (t.header.height == kMaxLevels) return false;
    ++needed;
  }
  return t.header.pageCount + needed <= kMaxPage;
}

// The first key of an empty tree: page 1 is written at once.
bool StartTree(TTree& t, const uint8_t* entry) {
  if (!MarkPage(t, 1, kRootPage)) return false;
  uint8_t* root = SlotPage(t, 1);
  SetFirstChild(root, 0);
  SetCount(root, 0);
  InsertEntry(t, root, 0, entry);
  t.header.height = 1;
  t.header.pageCount = 1;
  return WriteSlot(t, t.slots[1]);
}

// Splits a full page while entry is inserted behind entry pos: of the
// capacity + 1 entries in key order the first order stay, the one after them
// goes to middle, the last order go to right (page number rightPage).
void SplitPage(const TTree& t, uint8_t* page, int pos, const uint8_t* entry, uint8_t* right,
               uint16_t rightPage, uint8_t* middle) {
  const int order = t.header.order;
  const size_t entrySize = t.header.entrySize;
  if (pos < order) {
    std::memcpy(middle, EntryAt(t, page, order), entrySize);
    CopyEntries(t, right, 1, page, order + 1, order);
    SetCount(page, order - 1);
    InsertEntry(t, page, pos, entry);
  } else if (pos == order) {
    std::memcpy(middle, entry, entrySize);
    CopyEntries(t, right, 1, page, order + 1, order);
  } else {
    std::memcpy(middle, EntryAt(t, page, order + 1), entrySize);
    const int before = pos - (order + 1);  // old entries order+2 .. pos
    CopyEntries(t, right, 1, page, order + 2, before);
    std::memcpy(EntryAt(t, right, before + 1), entry, entrySize);
    CopyEntries(t, right, before + 2, page, pos + 1, 2 * order - pos);
  }
  SetCount(page, order);
  SetCount(right, order);
  SetFirstChild(right, ChildOfEntry(middle));
  SetChildOfEntry(middle, rightPage);
}

// The root has split into itself (left half) and a new right page: the left
// half moves to another new page and page 1 becomes the one entry above both.
bool SplitRoot(TTree& t, const uint8_t* middle) {
  const uint16_t leftPage = uint16_t(t.header.pageCount + 1);
  if (!MarkPage(t, kScratchSlot, leftPage)) return false;
  uint8_t* root = SlotPage(t, 1);
  std::memcpy(SlotPage(t, kScratchSlot), root, t.header.pageSize);
  if (!PageChanged(t, kScratchSlot)) return false;
  t.header.pageCount = leftPage;
  SetFirstChild(root, leftPage);
  SetCount(root, 0);
  InsertEntry(t, root, 0, middle);
  PageChanged(t, 1);
  ++t.header.height;
  ++t.counts.rootSplits;
  return ForgetPages(t, false);
}

// Inserts the work entry at the leaf of the path, splitting upwards.
bool InsertAlongPath(TTree& t) {
  uint8_t* entry = t.work[kWorkInsert];
  uint8_t* middle = t.work[kWorkMoving];
  int level = t.header.height;
  for (;;) {
    uint8_t* page = SlotPage(t, level);
    const int pos = t.pathPos[level];
    if (CountOf(page) < t.header.capacity) {
      InsertEntry(t, page, pos, entry);
      return PageChanged(t, level);
    }
    const uint16_t rightPage = uint16_t(t.header.pageCount + 1);
    if (!MarkPage(t, kScratchSlot, rightPage)) return false;
    SplitPage(t, page, pos, entry, SlotPage(t, kScratchSlot), rightPage, middle);
    if (!PageChanged(t, kScratchSlot)) return false;
    t.header.pageCount = rightPage;
    PageChanged(t, level);
    ++t.counts.splits;
    if (level == 1) return SplitRoot(t, middle);
    std::memcpy(entry, middle, t.header.entrySize);
    --level;
  }
}

// ---- Delete --------------------------------------------------------------

// The key found in an inner page is replaced by the smallest key of its
// right subtree; the path is extended down to that key's leaf.
bool ReplaceBySuccessor(TTree& t, int level, int pos) {
  uint16_t page = ChildAt(t, SlotPage(t, level), pos);
  for (int below = level + 1; below <= t.header.height; ++below) {
    if (!LoadPage(t, below, page, below)) return false;
    t.pathPos[below] = 0;
    page = ChildAt(t, SlotPage(t, below), 0);
  }
  std::memcpy(EntryAt(t, SlotPage(t, level), pos) + kEntryKey,
              KeyAt(t, SlotPage(t, t.header.height), 1), t.header.keyLength);
  return PageChanged(t, level);
}

// Fills up pages that hold fewer than order entries, from level up: merge
// with a sibling when both fit one page, else move one entry across.
bool Rebalance(TTree& t, int level) {
  for (; level > 1; --level) {
    uint8_t* page = SlotPage(t, level);
    if (CountOf(page) >= t.header.order) return true;
    uint8_t* parent = SlotPage(t, level - 1);
    const int childIndex = t.pathPos[level - 1];
    const bool siblingLeft = childIndex > 0;
    const int separator = siblingLeft ? childIndex : 1;
    if (separator > CountOf(parent)) {
      Error = kErrDamaged;
      return false;
    }
    if (!LoadPage(t, kScratchSlot, ChildAt(t, parent, siblingLeft ? childIndex - 1 : 1), level)) {
      return false;
    }
    uint8_t* sibling = SlotPage(t, kScratchSlot);
    uint8_t* left = siblingLeft ? sibling : page;
    uint8_t* right = siblingLeft ? page : sibling;
    uint8_t* moving = t.work[kWorkMoving];
    std::memcpy(moving, EntryAt(t, parent, separator), t.header.entrySize);
    const int leftCount = CountOf(left);
    const int rightCount = CountOf(right);

    if (leftCount + rightCount < t.header.capacity) {
      // Merge into the left page; the right one falls out of the tree.
      SetChildOfEntry(moving, ChildAt(t, right, 0));
      std::memcpy(EntryAt(t, left, leftCount + 1), moving, t.header.entrySize);
      CopyEntries(t, left, leftCount + 2, right, 1, rightCount);
      SetCount(left, leftCount + 1 + rightCount);
      RemoveEntry(t, parent, separator);
      if (siblingLeft) {
        t.slots[level].page = 0;
        t.slots[level].dirty = false;
      }
      if (!PageChanged(t, siblingLeft ? kScratchSlot : level)) return false;
      PageChanged(t, level - 1);
      ++t.counts.merges;
      continue;
    }

    // Borrow: the separator comes down into the page and the sibling's
    // nearest entry takes its place in the parent.
    uint8_t* parentKey = EntryAt(t, parent, separator) + kEntryKey;
    if (siblingLeft) {
      SetChildOfEntry(moving, ChildAt(t, page, 0));
      InsertEntry(t, page, 0, moving);
      SetFirstChild(page, ChildAt(t, left, leftCount));
      std::memcpy(parentKey, KeyAt(t, left, leftCount), t.header.keyLength);
      SetCount(left, leftCount - 1);
      ++t.counts.borrowsFromLeft;
    } else {
      SetChildOfEntry(moving, ChildAt(t, right, 0));
      InsertEntry(t, page, CountOf(page), moving);
      SetFirstChild(right, ChildAt(t, right, 1));
      std::memcpy(parentKey, KeyAt(t, right, 1), t.header.keyLength);
      RemoveEntry(t, right, 1);
      ++t.counts.borrowsFromRight;
    }
    if (!PageChanged(t, kScratchSlot)) return false;
    PageChanged(t, level);
    PageChanged(t, level - 1);
    return true;
  }
  return true;
}

// A root left without entries above other levels is replaced by its only
// child.
bool ShrinkRoot(TTree& t) {
  if (t.header.height <= 1 || CountOf(SlotPage(t, 1)) > 0) return true;
  const uint16_t child = ChildAt(t, SlotPage(t, 1), 0);
  // The child may be dirty in its path slot: write the path back first.
  if (!ForgetPages(t, false)) return false;
  if (!LoadPage(t, kScratchSlot, child, 2)) return false;
  if (!MarkPage(t, 1, kRootPage)) return false;
  std::memcpy(SlotPage(t, 1), SlotPage(t, kScratchSlot), t.header.pageSize);
  --t.header.height;
  ++t.counts.rootShrinks;
  return WriteSlot(t, t.slots[1]);
}

// ---- Trees ---------------------------------------------------------------

void DisposeTree(TTree* t) {
  for (uint8_t*& w : t->work) FreeBuffer(w);
  for (TPageSlot& s : t->slots) FreeBuffer(s.buffer);
  while (t->firstCached != kNoEntry) RemoveEntry(t->firstCached);
  delete t;
}

bool AllocWork(TTree& t) {
  for (uint8_t*& w : t.work) {
    if (!AllocBuffer(w, t.header.entrySize)) return false;
  }
  return true;
}

// Gives up a tree that could not be set up; Error keeps its failure.
void Abandon(TTree* t) {
  if (t->file.isRegistered) LOWFILES::CloseLowFile(t->file, false);
  DisposeTree(t);
}

bool ReadHeaderInto(TTree& t, uint8_t* userHeader, uint16_t userLength, uint16_t skip) {
  if (!ForgetPages(t, true)) return false;
  uint8_t raw[kHeaderSize];
  if (!FileOk(LOWFILES::ReadBlock(t.file, 0, kHeaderSize, 0, raw))) return false;
  const TTreeHeader h = DecodeHeader(raw);
  // An open tree's work entries are sized for its key length.
  const bool sizesKept = t.work[0] == nullptr ||
                         (h.pageSize == t.header.pageSize && h.keyLength == t.header.keyLength);
  if (!sizesKept || !GeometryValid(h, kUserHeaderOffset + size_t(skip) + userLength)) {
    Error = kErrDamaged;
    return false;
  }
  if (userLength > 0 &&
      !FileOk(LOWFILES::ReadBlock(t.file, kUserHeaderOffset + skip, userLength, 0, userHeader))) {
    return false;
  }
  t.header = h;
  return true;
}

bool WriteHeadersOf(TTree& t, const uint8_t* userHeader, uint16_t userLength, uint16_t skip) {
  if (!WriteDirtyPages(t)) return false;
  if (kUserHeaderOffset + size_t(skip) + userLength > t.header.pageSize) {
    Error = kErrDamaged;
    return false;
  }
  if (!WriteTreeHeader(t)) return false;
  return userLength == 0 || FileOk(LOWFILES::WriteBlockIfChanged(t.file, kUserHeaderOffset + skip,
                                                                 userLength, userHeader));
}

// The pages 1 .. page count must be in the file; an empty tree needs only
// its headers.
bool FileLongEnough(TTree& t, uint16_t userLength) {
  const uint64_t size = LOWFILES::LowFileSize(t.file);
  if (LOWFILES::Error != 0) return FileFailed();
  const uint64_t needed = t.header.pageCount == 0
                              ? kUserHeaderOffset + userLength
                              : PagePosition(t, t.header.pageCount) + t.header.pageSize;
  if (size < needed) {
    Error = kErrDamaged;
    return false;
  }
  return true;
}

}  // namespace

uint16_t CreateTree(PTree& tree, std::string_view name, uint16_t pageSize, uint8_t mode,
                    uint16_t userLength, const uint8_t* userHeader, TCompareProc compare,
                    uint16_t keyLength) {
  Error = 0;
  tree = nullptr;
  const uint32_t entrySize = uint32_t(keyLength) + kEntryOverhead;
  const int order = OrderFor(pageSize, entrySize);
  if (order == 0 || kUserHeaderOffset + userLength > pageSize) {
    Error = kErrPageTooSmall;
    return Error;
  }
  TTree* t = new TTree;
  t->header = TTreeHeader{pageSize, keyLength,       uint16_t(entrySize), 0,
                          0,        uint16_t(order), uint16_t(2 * order)};
  t->compare = compare;
  t->compareData = userHeader;
  uint8_t raw[kHeaderSize];
  EncodeHeader(t->header, raw);
  if (!AllocWork(*t) || !FileOk(LOWFILES::CreateLowFile(t->file, name, mode)) ||
      !FileOk(LOWFILES::WriteBlock(t->file, 0, kHeaderSize, 0, raw)) ||
      (userLength > 0 &&
       !FileOk(LOWFILES::WriteBlock(t->file, kUserHeaderOffset, userLength, 0, userHeader)))) {
    Abandon(t);
    return Error;
  }
  openTrees.push_back(t);
  tree = t;
  return 0;
}

uint16_t OpenTree(PTree& tree, std::string_view name, TCompareProc compare, uint8_t mode,
                  uint16_t userLength, uint8_t* userHeader) {
  Error = 0;
  tree = nullptr;
  TTree* t = new TTree;
  t->compare = compare;
  t->compareData = userHeader;
  if (!FileOk(LOWFILES::OpenLowFile(t->file, name, mode)) ||
      !ReadHeaderInto(*t, userHeader, userLength, 0) || !FileLongEnough(*t, userLength) ||
      !AllocWork(*t)) {
    Abandon(t);
    return Error;
  }
  openTrees.push_back(t);
  tree = t;
  return 0;
}

uint16_t CloseTree(PTree& tree, const uint8_t* userHeader, uint16_t userLength, bool writeHeader) {
  Error = 0;
  if (tree == nullptr) return 0;
  TTree& t = *tree;
  if (writeHeader) {
    if (WriteHeadersOf(t, userHeader, userLength, 0)) {
      FileOk(LOWFILES::TruncateAt(t.file, PagePosition(t, t.header.pageCount) + t.header.pageSize));
    }
  } else {
    ForgetPages(t, true);
  }
  const int16_t closed = LOWFILES::CloseLowFile(t.file, false);
  if (Error == 0) FileOk(closed);
  openTrees.erase(std::find(openTrees.begin(), openTrees.end(), tree));
  DisposeTree(tree);
  tree = nullptr;
  return Error;
}

uint16_t ClearTree(PTree tree) {
  Error = 0;
  TTree& t = TreeOf(tree);
  if (ForgetPages(t, false)) {
    t.header.height = 0;
    t.header.pageCount = 0;
    WriteTreeHeader(t);
  }
  return Error;
}

uint16_t ReadHeader(PTree tree, uint8_t* userHeader, uint16_t userLength, uint16_t skip) {
  Error = 0;
  ReadHeaderInto(TreeOf(tree), userHeader, userLength, skip);
  return Error;
}

uint16_t WriteHeaders(PTree tree, const uint8_t* userHeader, uint16_t userLength, uint16_t skip) {
  Error = 0;
  WriteHeadersOf(TreeOf(tree), userHeader, userLength, skip);
  return Error;
}

int Insert(PTree tree, const uint8_t* key) {
  TTree& t = BeginOperation(tree);
  const TTreeHeader before = t.header;
  uint8_t* entry = t.work[kWorkInsert];
  SetChildOfEntry(entry, 0);
  std::memcpy(entry + kEntryKey, key, t.header.keyLength);
  bool ok;
  if (t.header.height == 0) {
    ok = StartTree(t, entry);
  } else {
    const int found = FindPath(t, key);
    if (found != kResultNone) return found == kResultOk ? kResultNone : kResultFailed;
    if (!RoomForInsert(t)) {
      Error = kErrDamaged;
      return kResultFailed;
    }
    ok = InsertAlongPath(t);
  }
  if (ok && WriteHeaderIfChanged(t, before)) return kResultOk;
  SettleAfterFailure(t);
  return kResultFailed;
}

int Delete(PTree tree, const uint8_t* key) {
  TTree& t = BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  const TTreeHeader before = t.header;
  const int found = FindPath(t, key);
  if (found != kResultOk) return found;
  // The scratch slot gets its buffer before anything changes, so running out
  // of memory cannot stop a delete half-way.
  if (!TakeSlot(t, kScratchSlot)) return kResultFailed;
  int level = t.pathLevel;
  int pos = t.pathPos[level];
  bool ok = true;
  if (level < t.header.height) {
    ok = ReplaceBySuccessor(t, level, pos);
    level = t.header.height;
    pos = 1;
  }
  if (ok) {
    RemoveEntry(t, SlotPage(t, level), pos);
    PageChanged(t, level);
    ok = Rebalance(t, level) && ShrinkRoot(t) && WriteHeaderIfChanged(t, before);
  }
  if (ok) return kResultOk;
  SettleAfterFailure(t);
  return kResultFailed;
}

namespace {

// Whether newKey may take the place of the leaf entry the path leads to:
// it must sort strictly between that entry's neighbours, in the leaf or, at
// the leaf's ends, the separators above it on the path.
bool FitsInPlace(const TTree& t, const uint8_t* newKey) {
  const int leafLevel = t.header.height;
  const uint8_t* leaf = t.slots[leafLevel].buffer;
  const int pos = t.pathPos[leafLevel];
  const uint8_t* left = pos > 1 ? KeyAt(t, leaf, pos - 1) : nullptr;
  const uint8_t* right = pos < CountOf(leaf) ? KeyAt(t, leaf, pos + 1) : nullptr;
  for (int level = leafLevel - 1; level >= 1 && (left == nullptr || right == nullptr); --level) {
    const uint8_t* page = t.slots[level].buffer;
    const int child = t.pathPos[level];
    if (left == nullptr && child >= 1) left = KeyAt(t, page, child);
    if (right == nullptr && child < CountOf(page)) right = KeyAt(t, page, child + 1);
  }
  return (left == nullptr || Less(t, left, newKey)) && (right == nullptr || Less(t, newKey, right));
}

}  // namespace

int Replace(PTree tree, const uint8_t* oldKey, const uint8_t* newKey) {
  TTree& t = BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  const int found = FindPath(t, oldKey);
  if (found != kResultOk) return found;
  if (t.pathLevel == t.header.height && FitsInPlace(t, newKey)) {
    std::memcpy(EntryAt(t, SlotPage(t, t.pathLevel), t.pathPos[t.pathLevel]) + kEntryKey, newKey,
                t.header.keyLength);
    return PageChanged(t, t.pathLevel) ? kResultOk : kResultFailed;
  }
  const int deleted = Delete(tree, oldKey);
  return deleted == kResultOk ? Insert(tree, newKey) : deleted;
}

int Find(PTree tree, const uint8_t* key) {
  TTree& t = BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  return RememberKey(t, FindPath(t, key), key);
}

int FindNearest(PTree tree, uint8_t* key) {
  TTree& t = BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  const int found = FindPath(t, key);
  return RememberKey(t, found == kResultNone ? StepFromPath(t, true, key) : found, key);
}

int First(PTree tree, uint8_t* key) {
  TTree& t = BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  return RememberKey(t, Descend(t, 1, kRootPage, false, key), key);
}

int Last(PTree tree, uint8_t* key) {
  TTree& t = BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  return RememberKey(t, Descend(t, 1, kRootPage, true, key), key);
}

int Next(PTree tree, uint8_t* key) { return Step(tree, key, true); }

int Prior(PTree tree, uint8_t* key) { return Step(tree, key, false); }

namespace {

int WalkFromPath(TTree& t, uint8_t* key, TVisitProc visit, void* context) {
  const int found = FindPath(t, key);
  int result = found == kResultNone ? StepFromPath(t, true, key) : found;
  uint8_t* given = t.work[kWorkMoving];
  while (result == kResultOk) {
    const int level = t.pathLevel;
    if (level == t.header.height) {
      // A leaf: its entries from the path's on, visited in the page itself
      // (entries within a page cannot lead back).
      const uint8_t* page = SlotPage(t, level);
      const int count = CountOf(page);
      for (int i = t.pathPos[level]; i <= count; ++i) {
        if (visit(KeyAt(t, page, i), context)) continue;
        PathAtEntry(t, level, i, key);
        return RememberKey(t, kResultOk, key);
      }
      PathAtEntry(t, level, count, key);
    } else if (!visit(key, context)) {
      return RememberKey(t, kResultOk, key);
    }
    std::memcpy(given, key, t.header.keyLength);
    result = StepFromPath(t, true, key);
    if (result == kResultOk && !Less(t, given, key)) {
      Damaged();
      return kResultFailed;
    }
  }
  return result;
}

}  // namespace

int WalkFrom(PTree tree, uint8_t* key, TVisitProc visit, void* context) {
  TTree& t = BeginOperation(tree);
  if (t.header.height == 0) return kResultNone;
  t.walking = true;
  const int result = WalkFromPath(t, key, visit, context);
  t.walking = false;
  return result;
}

uint16_t WritePages(PTree tree) {
  Error = 0;
  WriteDirtyPages(TreeOf(tree));
  return Error;
}

uint16_t FlushTree(PTree tree) {
  Error = 0;
  ForgetPages(TreeOf(tree), true);
  return Error;
}

uint16_t FlushAllTrees() {
  uint16_t first = 0;
  for (TTree* t : openTrees) {
    Error = 0;
    if (!ForgetPages(*t, true) && first == 0) first = Error;
  }
  Error = first;
  return Error;
}

uint16_t SetCacheBudget(size_t bytes) {
  Error = 0;
  cache.budget = bytes;
  // From the least recently used on; a page that cannot be written stays.
  uint16_t first = 0;
  for (uint32_t e = cache.oldest; e != kNoEntry && cache.bytes > cache.budget;) {
    const uint32_t newer = cache.entries[e].newer;
    TCacheEntry& c = cache.entries[e];
    if (!c.slot.dirty || WriteSlot(*c.owner, c.slot)) {
      RemoveEntry(e);
    } else if (first == 0) {
      first = Error;
    }
    e = newer;
  }
  Error = first;
  return Error;
}

size_t CacheBudget() { return cache.budget; }

size_t CachedBytes() { return cache.bytes; }

bool PageCached(PTree tree, uint16_t page, bool* dirty) {
  const uint32_t e = FindCached(TreeOf(tree), page);
  if (dirty != nullptr) *dirty = e != kNoEntry && cache.entries[e].slot.dirty;
  return e != kNoEntry;
}

bool AllocBuffer(uint8_t*& pointer, size_t size) {
  pointer =
      InjectedFailure() ? nullptr : static_cast<uint8_t*>(std::malloc(std::max<size_t>(size, 1)));
  if (pointer == nullptr) {
    OutOfMemory = true;
    Error = kErrOutOfMemory;
    return false;
  }
  return true;
}

void FreeBuffer(uint8_t*& pointer) {
  std::free(pointer);
  pointer = nullptr;
}

bool HasError() { return Error != 0; }

void InjectAllocFailures(int after, int count) {
  allocsBeforeFailure = count > 0 ? after : -1;
  failuresLeft = count;
}

void UnitInit() {
  Error = 0;
  OutOfMemory = false;
  HeaderOption = true;
  openTrees.clear();
  cache = TPageCache{};
  allocsBeforeFailure = -1;
  failuresLeft = 0;
}

void UnitDone() {
  while (!openTrees.empty()) {
    PTree t = openTrees.back();
    CloseTree(t, nullptr, 0, false);
  }
  cache = TPageCache{};
  allocsBeforeFailure = -1;
  failuresLeft = 0;
}

}  // namespace BTREES
