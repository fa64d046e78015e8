#include "engine/storage/btree_bulk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

#include <unistd.h>

#include "engine/base/bytes.h"
#include "engine/base/lowfiles.h"

namespace BTREES {
namespace {

// Pages of one level written with one block write (a block is at most 65535
// bytes).
constexpr uint32_t kMaxBlockBytes = 65535;

uint16_t Fail(uint16_t error) {
  Error = error;
  return error;
}

}  // namespace

std::vector<uint32_t> TBulkBuilder::Shape(uint32_t count, uint16_t order, uint16_t capacity) {
  std::vector<uint32_t> pages;
  if (count == 0 || order == 0) return pages;
  const uint64_t fill =
      std::clamp<uint64_t>(uint64_t(capacity) * kBulkFillPercent / 100, uint64_t(order) + 1, capacity);
  uint64_t n = count;
  while (n > capacity) {
    uint64_t p = (n + 1 + fill) / (fill + 1);
    // Too many pages would leave some below order entries.
    while (p > 2 && n + 1 - p < p * order) --p;
    pages.push_back(uint32_t(p));
    n = p - 1;
  }
  pages.push_back(1);
  return pages;
}

uint32_t TBulkBuilder::TargetOf(const TLevel& level, uint32_t page) const {
  const uint32_t inPages = level.entries - (level.pages - 1);
  return inPages / level.pages + (page < inPages % level.pages ? 1 : 0);
}

uint8_t* TBulkBuilder::CurrentPage(TLevel& level) {
  return level.batch.data() + size_t(level.page - level.batchFirst) * tree_->header.pageSize;
}

bool TBulkBuilder::WriteBatch(TLevel& level, uint32_t pagesInBatch) {
  if (pagesInBatch == 0) return true;
  const uint16_t pageSize = tree_->header.pageSize;
  const uint64_t position = uint64_t(level.firstPage + level.batchFirst) * pageSize;
  if (LOWFILES::WriteBlock(tree_->file, position, uint16_t(pagesInBatch * pageSize), 0, level.batch.data()) != 0) {
    Fail(uint16_t(LOWFILES::Error));
    return false;
  }
  return true;
}

bool TBulkBuilder::StartPage(size_t levelIndex, uint32_t page, uint16_t firstChild) {
  TLevel& level = levels_[levelIndex];
  if (page - level.batchFirst == batchPages_) {
    if (!WriteBatch(level, batchPages_)) return false;
    level.batchFirst = page;
  }
  level.page = page;
  level.count = 0;
  level.target = TargetOf(level, page);
  uint8_t* p = CurrentPage(level);
  std::memset(p, 0, tree_->header.pageSize);
  bytes::PutU16(p + kPageFirstChild, firstChild);
  return true;
}

uint16_t TBulkBuilder::Begin(PTree tree, uint32_t count) {
  Error = 0;
  tree_ = tree;
  count_ = count;
  added_ = 0;
  levels_.clear();
  if (!tree || tree->header.height != 0 || tree->header.pageCount != 0) return Fail(kErrDamaged);
  const TTreeHeader& h = tree->header;
  const std::vector<uint32_t> shape = Shape(count, h.order, h.capacity);
  if (shape.size() > size_t(kMaxLevels)) return Fail(kErrDamaged);
  uint64_t pages = 1;
  for (size_t i = 0; i + 1 < shape.size(); ++i) pages += shape[i];
  if (pages > kMaxPage) return Fail(kErrDamaged);
  batchPages_ = std::max<uint32_t>(1, kMaxBlockBytes / h.pageSize);
  levels_.resize(shape.size());
  uint32_t nextPage = 2;
  uint64_t entries = count;
  for (size_t i = 0; i < shape.size(); ++i) {
    TLevel& level = levels_[i];
    level.pages = shape[i];
    level.entries = uint32_t(entries);
    entries = shape[i] - 1;
    if (i + 1 == shape.size()) {
      level.firstPage = kRootPage;
    } else {
      level.firstPage = nextPage;
      nextPage += shape[i];
    }
    level.batch.assign(size_t(std::min(batchPages_, level.pages)) * h.pageSize, 0);
    level.batchFirst = 0;
    if (!StartPage(i, 0, i == 0 ? 0 : uint16_t(levels_[i - 1].firstPage))) return Error;
  }
  return 0;
}

uint16_t TBulkBuilder::Add(const uint8_t* key) {
  if (levels_.empty() || added_ >= count_) return Fail(kErrDamaged);
  size_t k = 0;
  while (k + 1 < levels_.size() && levels_[k].count == levels_[k].target) ++k;
  if (levels_[k].count == levels_[k].target) return Fail(kErrDamaged);
  // The levels below k are complete: a new page begins on each.
  for (size_t j = 0; j < k; ++j) {
    const uint16_t firstChild = j == 0 ? 0 : uint16_t(levels_[j - 1].firstPage + levels_[j - 1].page);
    if (!StartPage(j, levels_[j].page + 1, firstChild)) return Error;
  }
  TLevel& level = levels_[k];
  const TTreeHeader& h = tree_->header;
  uint8_t* entry = CurrentPage(level) + kPageEntries + size_t(level.count) * h.entrySize;
  bytes::PutU16(entry + kEntryChild, k == 0 ? 0 : uint16_t(levels_[k - 1].firstPage + levels_[k - 1].page));
  std::memcpy(entry + kEntryKey, key, h.keyLength);
  ++level.count;
  bytes::PutU16(CurrentPage(level) + kPageCount, uint16_t(level.count));
  ++added_;
  return 0;
}

uint16_t TBulkBuilder::Finish() {
  Error = 0;
  if (!tree_) return Fail(kErrDamaged);
  if (added_ != count_) return Fail(kErrDamaged);
  uint32_t pageCount = 0;
  for (TLevel& level : levels_) {
    if (level.page + 1 != level.pages || level.count != level.target) return Fail(kErrDamaged);
    if (!WriteBatch(level, level.page - level.batchFirst + 1)) return Error;
    pageCount = std::max(pageCount, level.firstPage + level.pages - 1);
  }
  tree_->header.height = uint16_t(levels_.size());
  tree_->header.pageCount = uint16_t(pageCount);
  levels_.clear();
  return WriteHeaders(tree_, nullptr, 0, 0);
}

namespace {

size_t g_sortMemoryLimit = kDefaultSortBytes;
// Most bytes one run's reader fetches at once.
constexpr size_t kMaxFetchBytes = 65536;

// The registered sort forms.
struct TFormEntry {
  TCompareProc compare = nullptr;
  TSortForm form;
};
constexpr size_t kMaxSortForms = 4;
std::array<TFormEntry, kMaxSortForms> g_sortForms{};
bool g_useSortForms = true;

TSortForm FormOf(TCompareProc compare) {
  if (compare && g_useSortForms)
    for (const TFormEntry& e : g_sortForms)
      if (e.compare == compare) return e.form;
  return {};
}

// A key in the in-memory sort: the 8 bytes of its form from the end of the
// prefix all forms share (big-endian, so integers order as the bytes), its
// number, and its form's decisive bytes.
struct TSortEntry {
  uint64_t head;
  uint32_t index;
  uint32_t decisive;
};
constexpr size_t kHeadBytes = sizeof(uint64_t);

uint64_t HeadOf(const uint8_t* form, size_t from, size_t width) {
  uint64_t head = 0;
  for (size_t i = 0; i < kHeadBytes; ++i) head = head << 8 | (from + i < width ? form[from + i] : 0);
  return head;
}

// Sorts entries by their heads, a byte at a time from the lowest; a byte
// that all heads share takes no pass. Equal heads keep their order.
// (The arrays of a sort are left uninitialized: every element is written
// before it is read.)
void SortByHeads(std::unique_ptr<TSortEntry[]>& entries, size_t n) {
  std::unique_ptr<TSortEntry[]> moved(new TSortEntry[n]);
  for (size_t byte = 0; byte < kHeadBytes; ++byte) {
    const unsigned shift = unsigned(8 * byte);
    std::array<size_t, 256> counts{};
    for (size_t i = 0; i < n; ++i) ++counts[(entries[i].head >> shift) & 0xFF];
    if (std::find(counts.begin(), counts.end(), n) != counts.end()) continue;
    size_t at = 0;
    for (size_t& c : counts) at += std::exchange(c, at);
    for (size_t i = 0; i < n; ++i) moved[counts[(entries[i].head >> shift) & 0xFF]++] = entries[i];
    entries.swap(moved);
  }
}

}  // namespace

size_t SortMemoryLimit() { return g_sortMemoryLimit; }
void SetSortMemoryLimit(size_t bytes) { g_sortMemoryLimit = bytes; }

void SetSortForm(TCompareProc compare, const TSortForm& form) {
  for (TFormEntry& e : g_sortForms) {
    if (e.compare == compare || e.compare == nullptr) {
      e = {compare, form};
      return;
    }
  }
}

void UseSortForms(bool use) { g_useSortForms = use; }

TKeySorter::TKeySorter(uint16_t keyLength, TCompareProc compare, const uint8_t* compareData, size_t memoryLimit)
    : keyLength_(keyLength), limit_(memoryLimit) {
  UseCompare(compare, compareData);
}

TKeySorter::~TKeySorter() { Clear(); }

void TKeySorter::UseCompare(TCompareProc compare, const uint8_t* compareData) {
  compare_ = compare;
  compareData_ = compareData;
  form_ = FormOf(compare);
  formWidth_ = form_.width && form_.form ? form_.width(compareData) : 0;
}

// A key held takes its bytes and its place in the order; sorted by forms,
// its form and its sort entry too.
size_t TKeySorter::PerKey() const {
  return keyLength_ + sizeof(uint32_t) + (formWidth_ != 0 ? formWidth_ + sizeof(TSortEntry) : 0);
}

void TKeySorter::Reserve(size_t keys) {
  if (compare_) keys = std::min(keys, std::max<size_t>(1, limit_ / PerKey()));
  order_.reserve(keys);
  keys_.reserve(keys * keyLength_);
}

void TKeySorter::Add(const uint8_t* key) {
  const size_t perKey = PerKey();
  if (compare_ && !order_.empty() && (order_.size() + 1) * perKey > limit_) SpillHeld();
  if (compare_ && order_.size() == order_.capacity()) {
    // Grown by hand, so that the blocks never take more than the limit.
    const size_t most = std::max<size_t>(1, limit_ / perKey);
    const size_t next = std::min(std::max<size_t>(order_.capacity() * 2, 1024), std::max(most, order_.size() + 1));
    order_.reserve(next);
    keys_.reserve(next * keyLength_);
  }
  order_.push_back(uint32_t(order_.size()));
  keys_.insert(keys_.end(), key, key + keyLength_);
}

int TKeySorter::Order(const TFormed& a, const TFormed& b, size_t from) const {
  if (formWidth_ != 0) {
    const size_t m = std::min(a.decisive, b.decisive);
    if (m > from)
      if (const int c = std::memcmp(a.form + from, b.form + from, m - from)) return c < 0 ? -1 : 1;
    if (a.decisive == formWidth_ && b.decisive == formWidth_) return 0;
  }
  if (compare_(a.key, b.key, compareData_)) return -1;
  return compare_(b.key, a.key, compareData_) ? 1 : 0;
}

// Sorts the held keys by their forms: a sort of 16-byte entries that mostly
// compares integers, memcmp where they agree, the compare procedure only
// where the forms do not decide. Equal keys stay in the order they came.
// Answers false (nothing changed) when a key has no form.
bool TKeySorter::SortHeldByForms() {
  const size_t n = order_.size();
  const size_t width = formWidth_;
  std::unique_ptr<uint8_t[]> forms(new uint8_t[n * width]);
  std::unique_ptr<TSortEntry[]> entries(new TSortEntry[n]);
  for (size_t i = 0; i < n; ++i) {
    const size_t decisive = form_.form(keys_.data() + i * keyLength_, compareData_, forms.get() + i * width);
    if (decisive == kNoSortForm) return false;
    entries[i] = {0, uint32_t(i), uint32_t(std::min(decisive, width))};
  }
  // The prefix all forms share decides nothing.
  size_t shared = width;
  for (size_t i = 1; i < n && shared > 0; ++i) {
    const uint8_t* a = forms.get();
    const uint8_t* b = forms.get() + i * width;
    shared = size_t(std::mismatch(a, a + shared, b).first - a);
  }
  // Heads that differ decide between keys whose forms decide that far.
  const size_t headEnd = std::min(width, shared + kHeadBytes);
  bool headsDecide = true;
  for (TSortEntry& e : std::span(entries.get(), n)) {
    e.head = HeadOf(forms.get() + size_t(e.index) * width, shared, width);
    headsDecide = headsDecide && e.decisive >= headEnd;
  }
  const auto formed = [&](const TSortEntry& e) {
    return TFormed{keys_.data() + size_t(e.index) * keyLength_, forms.get() + size_t(e.index) * width, e.decisive};
  };
  const auto order = [&](const TSortEntry& a, const TSortEntry& b) {
    if (a.head != b.head) {
      if (std::min(a.decisive, b.decisive) >= headEnd) return a.head < b.head ? -1 : 1;
      return Order(formed(a), formed(b), shared);
    }
    return Order(formed(a), formed(b), shared + kHeadBytes);
  };
  const auto less = [&](const TSortEntry& a, const TSortEntry& b) {
    const int c = order(a, b);
    return c != 0 ? c < 0 : a.index < b.index;
  };
  if (headsDecide) {
    // By the heads alone (a radix sort that keeps equal heads in the order
    // the keys came), then each run of equal heads by the whole order.
    SortByHeads(entries, n);
    for (size_t i = 0; i < n;) {
      size_t j = i + 1;
      while (j < n && entries[j].head == entries[i].head) ++j;
      if (j - i > 1) std::sort(entries.get() + i, entries.get() + j, less);
      i = j;
    }
  } else {
    std::sort(entries.get(), entries.get() + n, less);
  }
  // Keys neither of which sorts before the other are one key; the first
  // added is kept.
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (kept > 0 && order(entries[kept - 1], entries[i]) == 0) continue;
    entries[kept++] = entries[i];
  }
  order_.resize(kept);
  for (size_t i = 0; i < kept; ++i) order_[i] = entries[i].index;
  return true;
}

void TKeySorter::SortHeld() {
  if (formWidth_ != 0 && order_.size() > 1 && SortHeldByForms()) return;
  const uint8_t* base = keys_.data();
  const size_t length = keyLength_;
  const TCompareProc compare = compare_;
  const uint8_t* data = compareData_;
  auto before = [&](uint32_t a, uint32_t b) { return compare(base + size_t(a) * length, base + size_t(b) * length, data); };
  // Equal keys stay in the order they came, so the first of them is kept.
  std::stable_sort(order_.begin(), order_.end(), before);
  // Keys neither of which sorts before the other are one key.
  const auto end = std::unique(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) { return !before(a, b); });
  order_.erase(end, order_.end());
}

// The held keys go to the temporary file as one sorted run, in blocks.
void TKeySorter::SpillHeld() {
  SortHeld();
  if (failure_ == 0 && !file_ && !(file_ = std::tmpfile())) failure_ = LOWFILES::kErrWriteFailed;
  std::vector<uint8_t> block;
  const size_t perBlock = std::max<size_t>(1, kMaxFetchBytes / keyLength_);
  for (size_t i = 0; i < order_.size() && failure_ == 0; i += perBlock) {
    const size_t n = std::min(perBlock, order_.size() - i);
    block.resize(n * keyLength_);
    for (size_t k = 0; k < n; ++k) std::memcpy(block.data() + k * keyLength_, Held(i + k), keyLength_);
    if (std::fwrite(block.data(), 1, block.size(), file_) != block.size()) failure_ = LOWFILES::kErrWriteFailed;
  }
  runs_.push_back({written_, order_.size()});
  written_ += order_.size();
  keys_.clear();
  order_.clear();
}

uint16_t TKeySorter::Sort(TCompareProc compare, const uint8_t* compareData) {
  UseCompare(compare, compareData);
  if (runs_.empty()) {
    SortHeld();
    size_ = order_.size();
  } else {
    if (!order_.empty()) SpillHeld();
    std::vector<uint8_t>().swap(keys_);
    std::vector<uint32_t>().swap(order_);
    if (failure_ == 0 && std::fflush(file_) != 0) failure_ = LOWFILES::kErrWriteFailed;
    // The tree's shape needs the number first: keys known to be distinct
    // are all there; else one merge counts them.
    size_ = 0;
    if (distinct_) {
      size_ = size_t(written_);
    } else {
      Rewind();
      while (Next()) ++size_;
    }
  }
  Rewind();
  return failure_;
}

TKeySorter::TFormed TKeySorter::ReaderKey(uint32_t r) const {
  const TReader& reader = readers_[r];
  const uint8_t* key = reader.keys.data() + reader.at * keyLength_;
  if (formWidth_ == 0) return {key, nullptr, 0};
  return {key, reader.forms.data() + reader.at * formWidth_, reader.decisive[reader.at]};
}

bool TKeySorter::After(uint32_t a, uint32_t b) const {
  if (const int c = Order(ReaderKey(a), ReaderKey(b))) return c > 0;
  return a > b;  // of equal keys the earlier run's comes first
}

bool TKeySorter::Fetch(TReader& reader) {
  reader.at = reader.held = 0;
  if (reader.left == 0 || failure_ != 0) return false;
  const size_t n = size_t(std::min<uint64_t>(reader.left, reader.keys.size() / keyLength_));
  const size_t bytes = n * keyLength_;
  const uint64_t position = reader.next * keyLength_;
  for (size_t got = 0; got < bytes;) {
    const ssize_t r = pread(fileno(file_), reader.keys.data() + got, bytes - got, off_t(position + got));
    if (r <= 0) {
      failure_ = LOWFILES::kErrReadFailed;
      return false;
    }
    got += size_t(r);
  }
  for (size_t i = 0; i < n && formWidth_ != 0; ++i) {
    const size_t decisive =
        form_.form(reader.keys.data() + i * keyLength_, compareData_, reader.forms.data() + i * formWidth_);
    // A key without a form: from here on the compare procedure orders
    // alone, which gives the same order.
    if (decisive == kNoSortForm) formWidth_ = 0;
    reader.decisive[i] = std::min(decisive, formWidth_);
  }
  reader.next += n;
  reader.left -= n;
  reader.held = n;
  return true;
}

void TKeySorter::Rewind() {
  cursor_ = 0;
  handedOut_ = false;
  heap_.clear();
  if (runs_.empty()) return;
  // The memory limit is shared by the runs' readers.
  const size_t perKey = keyLength_ + (formWidth_ != 0 ? formWidth_ + sizeof(size_t) : 0);
  const size_t perFetch = std::clamp<size_t>(limit_ / runs_.size(), perKey, kMaxFetchBytes) / perKey;
  readers_.assign(runs_.size(), {});
  for (size_t r = 0; r < runs_.size(); ++r) {
    TReader& reader = readers_[r];
    reader.next = runs_[r].first;
    reader.left = runs_[r].count;
    reader.keys.resize(perFetch * keyLength_);
    reader.forms.resize(perFetch * formWidth_);
    reader.decisive.resize(formWidth_ != 0 ? perFetch : 0);
    if (Fetch(reader)) heap_.push_back(uint32_t(r));
  }
  lastForm_.resize(formWidth_);
  std::make_heap(heap_.begin(), heap_.end(), [this](uint32_t a, uint32_t b) { return After(a, b); });
}

const uint8_t* TKeySorter::Next() {
  if (runs_.empty()) return cursor_ < order_.size() ? Held(cursor_++) : nullptr;
  const auto after = [this](uint32_t a, uint32_t b) { return After(a, b); };
  while (!heap_.empty()) {
    std::pop_heap(heap_.begin(), heap_.end(), after);
    TReader& reader = readers_[heap_.back()];
    const TFormed key = ReaderKey(heap_.back());
    // Runs hold no repeats of their own; one may repeat another's key.
    const bool repeat = handedOut_ && Order({last_.data(), lastForm_.data(), lastDecisive_}, key) == 0;
    if (!repeat) {
      last_.assign(key.key, key.key + keyLength_);
      if (formWidth_ != 0) std::memcpy(lastForm_.data(), key.form, formWidth_);
      lastDecisive_ = key.decisive;
      handedOut_ = true;
    }
    if (++reader.at < reader.held || Fetch(reader))
      std::push_heap(heap_.begin(), heap_.end(), after);
    else
      heap_.pop_back();
    if (!repeat) return last_.data();
  }
  return nullptr;
}

size_t TKeySorter::Bytes() const {
  size_t bytes = keys_.capacity() + order_.capacity() * sizeof(uint32_t) + last_.capacity() + lastForm_.capacity();
  for (const TReader& reader : readers_)
    bytes += reader.keys.capacity() + reader.forms.capacity() + reader.decisive.capacity() * sizeof(size_t);
  return bytes;
}

void TKeySorter::Clear() {
  std::vector<uint8_t>().swap(keys_);
  std::vector<uint32_t>().swap(order_);
  std::vector<TReader>().swap(readers_);
  heap_.clear();
  runs_.clear();
  if (file_) std::fclose(file_);
  file_ = nullptr;
  written_ = 0;
  size_ = 0;
  cursor_ = 0;
  failure_ = 0;
  handedOut_ = false;
  distinct_ = false;
}

uint16_t BuildTree(PTree tree, TKeySorter& keys) {
  if (keys.Failure() != 0) return Fail(keys.Failure());
  TBulkBuilder builder;
  if (const uint16_t error = builder.Begin(tree, uint32_t(keys.Size()))) return error;
  keys.Rewind();
  for (const uint8_t* key; (key = keys.Next()) != nullptr;)
    if (const uint16_t error = builder.Add(key)) return error;
  if (keys.Failure() != 0) return Fail(keys.Failure());
  return builder.Finish();
}

}  // namespace BTREES
