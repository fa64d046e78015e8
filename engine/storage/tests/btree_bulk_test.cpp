// Whole trees written bottom-up: the shape rules, the same keys in the same
// order as single inserts give, every invariant of the B-tree unit kept
// through later inserts and deletes, and index rebuilds of every key type.
#include "engine/storage/btree_bulk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/storage/tests/index_test_util.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet06_create.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using BTREES::PTree;
using Bytes = std::vector<uint8_t>;
constexpr uint8_t kMode = LOWFILES::kModeReadWriteShared;
constexpr int kOk = BTREES::kResultOk;
constexpr int kNone = BTREES::kResultNone;

bool Ascending8(const uint8_t* a, const uint8_t* b, const uint8_t*) { return std::memcmp(a, b, 8) < 0; }
// Only the first 4 bytes order: keys that agree there are the same key.
bool ByFirstFour(const uint8_t* a, const uint8_t* b, const uint8_t*) { return std::memcmp(a, b, 4) < 0; }

Bytes Key8(uint64_t value) {
  Bytes key(8);
  for (int i = 0; i < 8; ++i) key[size_t(7 - i)] = uint8_t(value >> (8 * i));
  return key;
}

uint64_t Value(const uint8_t* key) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | key[i];
  return v;
}

// Reads the file and checks the rules of the B-tree unit from the bytes:
// entries ascend within their bounds, all leaves at the height, every page
// but the root with order .. capacity entries, child pages within the page
// count and used once. Answers the keys in order.
class TreeFileCheck {
 public:
  explicit TreeFileCheck(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    file_.assign(std::istreambuf_iterator<char>(in), {});
    pageSize_ = bytes::GetU16(&file_[BTREES::kHeaderPageSize]);
    entrySize_ = bytes::GetU16(&file_[BTREES::kHeaderEntrySize]);
    height_ = bytes::GetU16(&file_[BTREES::kHeaderHeight]);
    pageCount_ = bytes::GetU16(&file_[BTREES::kHeaderPageCount]);
    order_ = bytes::GetU16(&file_[BTREES::kHeaderOrder]);
    used_.assign(size_t(pageCount_) + 1, false);
  }

  std::vector<uint64_t> Keys() {
    std::vector<uint64_t> keys;
    if (height_ == 0) {
      EXPECT_EQ(pageCount_, 0);
      return keys;
    }
    EXPECT_GE(file_.size(), size_t(pageCount_ + 1) * pageSize_);
    Visit(BTREES::kRootPage, 1, nullptr, nullptr, keys);
    return keys;
  }

 private:
  void Visit(uint16_t page, int level, const uint64_t* low, const uint64_t* high, std::vector<uint64_t>& keys) {
    ASSERT_GE(page, 1);
    ASSERT_LE(page, pageCount_);
    ASSERT_FALSE(used_[page]) << "page " << page << " used twice";
    used_[page] = true;
    const uint8_t* p = &file_[size_t(page) * pageSize_];
    const uint16_t count = bytes::GetU16(p + BTREES::kPageCount);
    ASSERT_LE(count, 2 * order_);
    if (page != BTREES::kRootPage) {
      ASSERT_GE(count, order_) << "page " << page;
    } else if (height_ > 1) {
      ASSERT_GE(count, 1);
    }
    const bool leaf = level == height_;
    std::vector<uint64_t> bounds;
    if (low) bounds.push_back(*low);
    for (uint16_t i = 0; i < count; ++i) bounds.push_back(Value(p + BTREES::kPageEntries + i * entrySize_ + 2));
    if (high) bounds.push_back(*high);
    for (size_t i = 1; i < bounds.size(); ++i) ASSERT_LT(bounds[i - 1], bounds[i]);
    for (uint16_t i = 0; i <= count; ++i) {
      const uint16_t child = i == 0 ? bytes::GetU16(p + BTREES::kPageFirstChild)
                                    : bytes::GetU16(p + BTREES::kPageEntries + (i - 1) * entrySize_);
      if (leaf) {
        ASSERT_EQ(child, 0);
      } else {
        uint64_t lo = 0, hi = 0;
        if (i > 0) lo = Value(p + BTREES::kPageEntries + (i - 1) * entrySize_ + 2);
        if (i < count) hi = Value(p + BTREES::kPageEntries + i * entrySize_ + 2);
        Visit(child, level + 1, i > 0 ? &lo : low, i < count ? &hi : high, keys);
        if (testing::Test::HasFatalFailure()) return;
      }
      if (i < count) keys.push_back(Value(p + BTREES::kPageEntries + i * entrySize_ + 2));
    }
  }

  Bytes file_;
  uint16_t pageSize_, entrySize_, height_, pageCount_, order_;
  std::vector<bool> used_;
};

class BtreeBulkTest : public zettest::EngineTest {
 protected:
  PTree Create(const std::string& name, uint16_t pageSize, BTREES::TCompareProc compare = Ascending8) {
    PTree tree = nullptr;
    EXPECT_EQ(BTREES::CreateTree(tree, TempPath(name), pageSize, kMode, 0, nullptr, compare, 8), 0);
    return tree;
  }
  PTree Open(const std::string& name) {
    PTree tree = nullptr;
    EXPECT_EQ(BTREES::OpenTree(tree, TempPath(name), Ascending8, kMode, 0, nullptr), 0);
    return tree;
  }
  static std::vector<uint64_t> Walk(PTree tree) {
    std::vector<uint64_t> values;
    Bytes key(8);
    for (int r = BTREES::First(tree, key.data()); r == kOk; r = BTREES::Next(tree, key.data()))
      values.push_back(Value(key.data()));
    return values;
  }
  uint16_t BuildFrom(PTree tree, const std::vector<uint64_t>& sorted) {
    BTREES::TBulkBuilder builder;
    if (uint16_t e = builder.Begin(tree, uint32_t(sorted.size()))) return e;
    for (uint64_t v : sorted)
      if (uint16_t e = builder.Add(Key8(v).data())) return e;
    return builder.Finish();
  }
};

TEST_F(BtreeBulkTest, ShapeKeepsEveryPageBetweenOrderAndCapacity) {
  // (order, capacity) of 512-byte pages with 8-byte keys, and of 4096 with 30.
  for (const auto& [order, capacity] : {std::pair<uint16_t, uint16_t>{25, 50}, {127, 254}, {2, 4}, {1, 2}}) {
    for (uint32_t count : {0u, 1u, 2u, 3u, uint32_t(capacity), capacity + 1u, capacity + 2u, 2u * capacity + 3u,
                           1000u, 65432u, 1000000u}) {
      SCOPED_TRACE(testing::Message() << "order " << order << " count " << count);
      const auto shape = BTREES::TBulkBuilder::Shape(count, order, capacity);
      if (count == 0) {
        EXPECT_TRUE(shape.empty());
        continue;
      }
      ASSERT_FALSE(shape.empty());
      EXPECT_EQ(shape.back(), 1u);
      uint64_t entries = count;
      for (size_t level = 0; level < shape.size(); ++level) {
        const uint64_t pages = shape[level], inPages = entries - (pages - 1);
        if (level + 1 == shape.size()) {
          EXPECT_LE(inPages, capacity);
        } else {
          EXPECT_GE(inPages / pages, order);
          EXPECT_LE((inPages + pages - 1) / pages, capacity);
          EXPECT_GE(pages, 2u);
        }
        entries = pages - 1;
      }
    }
  }
}

// The same keys in the same order as single inserts, every rule of the
// B-tree unit in the file, and the rules kept by inserts, deletes and
// replaces after.
TEST_F(BtreeBulkTest, BulkTreeEqualsInsertedTreeAndStaysSoundUnderChange) {
  for (const uint16_t pageSize : {uint16_t(64), uint16_t(512), uint16_t(4096)}) {
    for (const uint32_t count : {0u, 1u, 5u, 6u, 7u, 50u, 51u, 52u, 2551u, 40000u}) {
      SCOPED_TRACE(testing::Message() << "page " << pageSize << " count " << count);
      std::vector<uint64_t> keys;
      for (uint32_t i = 0; i < count; ++i) keys.push_back(uint64_t(i) * 4 + 2);
      PTree bulk = Create("B.IND", pageSize);
      ASSERT_EQ(BuildFrom(bulk, keys), 0);
      ASSERT_EQ(BTREES::CloseTree(bulk, nullptr, 0, true), 0);
      EXPECT_EQ(TreeFileCheck(TempPath("B.IND")).Keys(), keys);
      if (HasFatalFailure()) return;

      PTree single = Create("S.IND", pageSize);
      std::vector<uint64_t> shuffled = keys;
      std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(count));
      for (uint64_t v : shuffled) ASSERT_EQ(BTREES::Insert(single, Key8(v).data()), kOk);
      bulk = Open("B.IND");
      EXPECT_EQ(Walk(bulk), Walk(single));
      ASSERT_EQ(BTREES::CloseTree(single, nullptr, 0, true), 0);

      // Later changes: inserts between the keys, deletes of some, and keys
      // replaced by one close by (rewritten in place when no key lies
      // between) or far away (moved).
      std::set<uint64_t> model(keys.begin(), keys.end());
      std::mt19937 rng(count + pageSize);
      const uint32_t changes = std::min<uint32_t>(3 * count + 20, 30000);
      for (uint32_t i = 0; i < changes; ++i) {
        const uint64_t v = uint64_t(rng() % (count * 4 + 8));
        const uint32_t choice = rng() % 6;
        if (choice < 2 && model.count(v)) {
          ASSERT_EQ(BTREES::Delete(bulk, Key8(v).data()), kOk);
          model.erase(v);
        } else if (choice < 4 && model.count(v)) {
          const uint64_t w = choice == 2 ? v + 1 + rng() % 6 : uint64_t(rng() % (count * 4 + 8));
          if (model.count(w)) continue;
          ASSERT_EQ(BTREES::Replace(bulk, Key8(v).data(), Key8(w).data()), kOk);
          model.erase(v);
          model.insert(w);
        } else if (!model.count(v)) {
          ASSERT_EQ(BTREES::Insert(bulk, Key8(v).data()), kOk);
          model.insert(v);
        }
      }
      const uint64_t absent = count * 4 + 100;
      EXPECT_EQ(BTREES::Replace(bulk, Key8(absent).data(), Key8(absent + 1).data()), kNone);
      ASSERT_EQ(BTREES::CloseTree(bulk, nullptr, 0, true), 0);
      EXPECT_EQ(TreeFileCheck(TempPath("B.IND")).Keys(), std::vector<uint64_t>(model.begin(), model.end()));
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(BtreeBulkTest, BuilderRefusesWhatWouldBreakTheTree) {
  PTree tree = Create("R.IND", 512);
  ASSERT_EQ(BTREES::Insert(tree, Key8(1).data()), kOk);
  BTREES::TBulkBuilder builder;
  EXPECT_EQ(builder.Begin(tree, 3), BTREES::kErrDamaged);  // not empty
  ASSERT_EQ(BTREES::ClearTree(tree), 0);
  ASSERT_EQ(builder.Begin(tree, 3), 0);
  ASSERT_EQ(builder.Add(Key8(1).data()), 0);
  EXPECT_EQ(builder.Finish(), BTREES::kErrDamaged);  // fewer keys than announced
  EXPECT_EQ(tree->header.height, 0);
  ASSERT_EQ(builder.Begin(tree, 1), 0);
  ASSERT_EQ(builder.Add(Key8(1).data()), 0);
  EXPECT_EQ(builder.Add(Key8(2).data()), BTREES::kErrDamaged);  // more
  // Far more keys than 65535 pages hold.
  EXPECT_EQ(builder.Begin(tree, 4000000), BTREES::kErrDamaged);
  BTREES::CloseTree(tree, nullptr, 0, true);
}

TEST_F(BtreeBulkTest, SorterOrdersByTheCompareProcedureAndDropsRepeats) {
  BTREES::TKeySorter sorter(8);
  // Keys that agree in the first four bytes are one key: the first added stays.
  for (uint64_t v : {uint64_t(3) << 32 | 1, uint64_t(1) << 32 | 7, uint64_t(3) << 32 | 2, uint64_t(2) << 32})
    sorter.Add(Key8(v).data());
  ASSERT_EQ(sorter.Sort(ByFirstFour, nullptr), 0);
  ASSERT_EQ(sorter.Size(), 3u);
  EXPECT_EQ(Value(sorter.Next()), uint64_t(1) << 32 | 7);
  EXPECT_EQ(Value(sorter.Next()), uint64_t(2) << 32);
  EXPECT_EQ(Value(sorter.Next()), uint64_t(3) << 32 | 1);
  EXPECT_EQ(sorter.Next(), nullptr);
  PTree tree = Create("U.IND", 512, ByFirstFour);
  ASSERT_EQ(BTREES::BuildTree(tree, sorter), 0);
  EXPECT_EQ(Walk(tree), (std::vector<uint64_t>{uint64_t(1) << 32 | 7, uint64_t(2) << 32, uint64_t(3) << 32 | 1}));
  BTREES::CloseTree(tree, nullptr, 0, true);
}

// Beyond its memory limit the sorter writes sorted runs to a temporary file
// and merges them: the keys come out as from the sort in memory, repeats
// within and across runs dropped (the first added kept), and the tree built
// from them is the same.
TEST_F(BtreeBulkTest, SorterBeyondItsMemoryLimitEqualsTheSortInMemory) {
  std::mt19937 rng(3);
  for (const size_t count : {0u, 1u, 999u, 20000u}) {
    for (const size_t limit : {size_t(12), size_t(600), size_t(50000)}) {
      SCOPED_TRACE(std::to_string(count) + " keys, limit " + std::to_string(limit));
      BTREES::TKeySorter inMemory(8);
      BTREES::TKeySorter limited(8, ByFirstFour, nullptr, limit);
      for (size_t i = 0; i < count; ++i) {
        // The high half decides the order; the low half tells repeats apart.
        const uint64_t v = uint64_t(rng() % (count + 1)) << 32 | i;
        inMemory.Add(Key8(v).data());
        limited.Add(Key8(v).data());
      }
      EXPECT_LE(limited.Bytes(), limit);
      ASSERT_EQ(inMemory.Sort(ByFirstFour, nullptr), 0);
      ASSERT_EQ(limited.Sort(ByFirstFour, nullptr), 0);
      if (count * 12 > limit) {
        EXPECT_GT(limited.Runs(), 1u);
      }
      ASSERT_EQ(limited.Size(), inMemory.Size());
      for (const uint8_t* a; (a = inMemory.Next()) != nullptr;) {
        const uint8_t* b = limited.Next();
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(Value(b), Value(a));
      }
      EXPECT_EQ(limited.Next(), nullptr);
      PTree a = Create("A.IND", 512, ByFirstFour), b = Create("B.IND", 512, ByFirstFour);
      ASSERT_EQ(BTREES::BuildTree(a, inMemory), 0);
      ASSERT_EQ(BTREES::BuildTree(b, limited), 0);
      EXPECT_EQ(Walk(b), Walk(a));
      BTREES::CloseTree(a, nullptr, 0, true);
      BTREES::CloseTree(b, nullptr, 0, true);
    }
  }
}

// ---- Sort forms -----------------------------------------------------------

// The keys a sorter gives back, in order.
std::vector<Bytes> SortedKeys(BTREES::TKeySorter& sorter, size_t length) {
  std::vector<Bytes> keys;
  for (const uint8_t* k; (k = sorter.Next()) != nullptr;) keys.emplace_back(k, k + length);
  return keys;
}

struct FormCase {
  const char* name;
  std::vector<Zet00::TKeyPart> parts;
  bool oem = false;
};

// Random part values drawn from few choices, so that many keys tie in some
// parts; texts with accents, "ß", "^", case, control bytes and a length
// byte past the part.
void PutRandomPart(const Zet00::TKeyPart& part, std::mt19937& rng, uint8_t* out) {
  std::memset(out, 0, part.length);
  if (part.length == 0) return;
  if (part.type == Common::kTypeString) {
    // Texts with "ß" have no other accent: the collation does not order
    // texts with both consistently ("\xE9\xDF" < "\xC9ss" < "\xC9\xDF", while
    // "\xE9\xDF" and "\xC9\xDF" are equal), so their order depends on the
    // comparisons a sort makes.
    static const std::vector<std::string> kPieces[2] = {
        {"a", "s", "S", "ss", "\xDF", "^", "z", std::string(1, '\0'), "\x01"},
        {"a", "A", "e", "\xE9", "\xC9", "s", "S", "^", " ", "\xFF", "\x9F", "\xD7", "\xF6", "o", std::string(1, '\0'),
         "\x02"}};
    const std::vector<std::string>& pieceSet = kPieces[rng() % 2];
    std::string text;
    const size_t pieces = rng() % 6;
    for (size_t i = 0; i < pieces; ++i) text += pieceSet[rng() % pieceSet.size()];
    text.resize(std::min<size_t>(text.size(), part.length - 1));
    out[0] = rng() % 20 == 0 ? 255 : uint8_t(text.size());
    std::memcpy(out + 1, text.data(), text.size());
    return;
  }
  if (part.type == Common::kTypeReal && part.length >= 8) {
    static const double kReals[] = {0.0, -0.0, 1.5, -1.5, 1e300, -1e-300, 2.0, -2.0};
    bytes::PutF64(out, kReals[rng() % std::size(kReals)]);
    return;
  }
  // Numbers: a few values, including the sign bit and high bytes.
  static const uint8_t kBytes[] = {0, 1, 0x7F, 0x80, 0xFF};
  for (size_t i = 0; i < part.length; ++i) out[i] = kBytes[rng() % std::size(kBytes)];
}

// Sorting by the forms gives exactly the keys (and the repeats dropped) of
// sorting by the compare procedure alone, in memory and in runs, for every
// kind of part, ascending and descending, in the character sets of both
// table versions.
TEST_F(BtreeBulkTest, SortFormsGiveTheOrderOfTheCompareProcedure) {
  using Zet00::TKeyPart;
  const uint16_t down = ZetTable::kKeyDescending;
  const std::vector<FormCase> cases = {
      {"text", {{1, 8, Common::kTypeString}}},
      {"text descending", {{uint16_t(1 | down), 8, Common::kTypeString}}},
      {"text then number", {{1, 5, Common::kTypeString}, {2, 2, Common::kTypeInteger}}},
      {"two texts, oem", {{1, 4, Common::kTypeString}, {uint16_t(2 | down), 6, Common::kTypeString}}, true},
      {"numbers",
       {{1, 1, Common::kTypeByte}, {uint16_t(2 | down), 2, Common::kTypeInteger}, {3, 4, Common::kTypeDate},
        {4, 1, Common::kTypeInteger}, {5, 3, Common::kTypeDate}}},
      {"reals", {{1, 8, Common::kTypeReal}, {uint16_t(2 | down), 6, Common::kTypeReal}, {3, 7, Common::kTypeReal}}},
      {"real descending then text", {{uint16_t(1 | down), 8, Common::kTypeReal}, {2, 3, Common::kTypeString}}},
      {"empty parts", {{1, 0, Common::kTypeByte}, {2, 0, Common::kTypeString}, {3, 1, Common::kTypeString}}},
  };
  std::mt19937 rng(11);
  for (const FormCase& c : cases) {
    std::array<uint8_t, ZetTable::kIndexHeaderSize> description{};
    for (size_t i = 0; i < c.parts.size(); ++i) Zet00::SetKeyPart(description.data(), i, c.parts[i]);
    const uint16_t length = uint16_t(Zet00::KeyLength(description.data()));
    const BTREES::TCompareProc compare = c.oem ? Zet00::KeyBeforeOem : Zet00::KeyBefore;
    for (const size_t count : {2u, 5000u}) {
      std::vector<Bytes> keys;
      for (size_t k = 0; k < count; ++k) {
        if (k > 0 && rng() % 10 == 0) {
          keys.push_back(keys[rng() % k]);  // a repeat of an earlier key
          continue;
        }
        Bytes key(length);
        // Few record numbers, so that keys tie in their parts.
        Zet00::SetKeyRecordNumber(key.data(), uint32_t(rng() % 4000));
        size_t offset = ZetTable::kKeyRecordNumber;
        for (const TKeyPart& part : c.parts) {
          PutRandomPart(part, rng, key.data() + offset);
          offset += part.length;
        }
        keys.push_back(std::move(key));
      }
      for (const size_t limit : {BTREES::kDefaultSortBytes, size_t(3000)}) {
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(count) + " keys, limit " + std::to_string(limit));
        std::vector<Bytes> sorted[2];
        for (const bool forms : {false, true}) {
          BTREES::UseSortForms(forms);
          BTREES::TKeySorter sorter(length, compare, description.data(), limit);
          for (const Bytes& key : keys) sorter.Add(key.data());
          ASSERT_EQ(sorter.Sort(compare, description.data()), 0);
          sorted[forms] = SortedKeys(sorter, length);
          EXPECT_EQ(sorted[forms].size(), sorter.Size());
        }
        BTREES::UseSortForms(true);
        ASSERT_EQ(sorted[1].size(), sorted[0].size());
        for (size_t i = 0; i < sorted[0].size(); ++i) ASSERT_EQ(sorted[1][i], sorted[0][i]) << "key " << i;
        if (count > 2) {
          EXPECT_LT(sorted[0].size(), keys.size());  // some repeats were dropped
        }
      }
    }
  }
}

// A real that is not a number compares equal to every number; such keys
// have no form, and the sort in memory then orders them as the compare
// procedure does. (Beyond the memory limit no order is promised: with such
// keys the compare procedure orders no two sets of runs the same.)
TEST_F(BtreeBulkTest, KeysWithoutFormAreSortedByTheCompareProcedure) {
  std::array<uint8_t, ZetTable::kIndexHeaderSize> description{};
  Zet00::SetKeyPart(description.data(), 0, {1, 8, Common::kTypeReal});
  const uint16_t length = uint16_t(Zet00::KeyLength(description.data()));
  const double values[] = {3.0, std::nan(""), 1.0, 2.0, 1.0, std::nan(""), -4.0};
  {
    const size_t limit = BTREES::kDefaultSortBytes;
    std::vector<Bytes> sorted[2];
    for (const bool forms : {false, true}) {
      BTREES::UseSortForms(forms);
      BTREES::TKeySorter sorter(length, Zet00::KeyBefore, description.data(), limit);
      uint32_t recno = 0;
      for (const double v : values) {
        Bytes key(length);
        Zet00::SetKeyRecordNumber(key.data(), ++recno % 3);
        bytes::PutF64(key.data() + ZetTable::kKeyRecordNumber, v);
        sorter.Add(key.data());
      }
      ASSERT_EQ(sorter.Sort(Zet00::KeyBefore, description.data()), 0);
      sorted[forms] = SortedKeys(sorter, length);
    }
    BTREES::UseSortForms(true);
    EXPECT_EQ(sorted[1], sorted[0]);
  }
}

// ---- Index rebuilds of every key type ------------------------------------

using Recnos = std::vector<uint32_t>;

// Every key, in walk order.
std::vector<Bytes> WalkKeys(int h, int slot) {
  std::vector<Bytes> keys;
  ZetTable::TZetTable* t = ZetTable::Table(h);
  const size_t length = Zet00::KeyLength(t->indexes[size_t(slot)]->header.data());
  for (uint8_t s = Zet00::IndexFirst(h, slot); s == Zet00::kStatusFound; s = Zet00::IndexNext(h, slot))
    keys.emplace_back(t->currentKey.begin(), t->currentKey.begin() + ptrdiff_t(length));
  return keys;
}

class BulkIndexTest : public zettest::EngineTest {};

TEST_F(BulkIndexTest, RebuiltIndexEqualsTheOneOfSingleInsertsForEveryKeyType) {
  // One field of each type that keys compare; one user index per field,
  // ascending and descending alternately, and one over two parts.
  const std::vector<zettable_test::FieldDef> fields = {
      {"KZ", 0, 0, 1},    {"NAME", 1, 20, 20}, {"ANZAHL", 2, 1, 10}, {"PREIS", 3, 7, 242},
      {"STUFE", 4, 0, 10}, {"AKTIV", 5, 0, 4},  {"DATUM", 6, 3, 10},  {"FARBE", 8, 0, 242},
      {"ZEIT", 13, 1, 5}};
  auto t = zettable_test::MakeTable(2, fields);
  t->ComputeLayout();
  const uint16_t n = uint16_t(fields.size());
  auto length = [&](uint16_t f) {
    return uint16_t((f < n ? t->FieldOffset(uint16_t(f + 1)) : t->recordLength) - t->FieldOffset(f));
  };
  for (uint16_t f = 1; f <= n + 1; ++f) {
    auto d = std::make_unique<ZetTable::TIndexDescriptor>();
    d->fileName = "K" + std::to_string(f) + ".IND";
    if (f <= n) {
      const uint16_t word = f % 2 == 0 ? uint16_t(f | ZetTable::kKeyDescending) : f;
      Zet00::SetKeyPart(d->header.data(), 0, {word, length(f), t->FieldType(f)});
    } else {
      Zet00::SetKeyPart(d->header.data(), 0, {5, length(5), t->FieldType(5)});
      Zet00::SetKeyPart(d->header.data(), 1, {uint16_t(2 | ZetTable::kKeyDescending), length(2), t->FieldType(2)});
    }
    t->indexes[f] = std::move(d);
  }
  ASSERT_EQ(Zet06::CreateTable(*t, TempPath("ALLE.DAT"), {}, false, 0, 0), 0);
  int h = index_test::OpenForTest(TempPath("ALLE.DAT"));
  ASSERT_GT(h, 0);
  std::mt19937 rng(7);
  for (int r = 0; r < 3000; ++r) {
    index_test::SetText(h, 1, std::string(1, char('A' + rng() % 5)));
    index_test::SetText(h, 2, std::string(1, char('a' + rng() % 26)) + std::to_string(rng() % 50));
    index_test::SetText(h, 3, std::to_string(int(rng() % 200) - 100));
    index_test::SetText(h, 4, std::to_string(int(rng() % 1000) - 500) + ",25");
    index_test::SetText(h, 5, std::to_string(rng() % 200));
    index_test::SetText(h, 6, rng() % 2 ? "Ja" : "Nein");
    index_test::SetText(h, 7, std::to_string(1 + rng() % 28) + ".0" + std::to_string(1 + rng() % 9) + ".19" +
                                  std::to_string(50 + rng() % 50));
    index_test::SetText(h, 8, std::to_string(rng() % 3));
    index_test::SetText(h, 9, std::to_string(rng() % 24) + ":" + std::to_string(10 + rng() % 50));
    ASSERT_EQ(index_test::AppendForTest(h), 0);
  }
  index_test::WriteCount(*ZetTable::Table(h));
  for (int slot = 1; slot <= n + 1; ++slot) {
    SCOPED_TRACE(slot);
    const std::vector<Bytes> inserted = WalkKeys(h, slot);
    ASSERT_EQ(inserted.size(), size_t(ZetTable::Table(h)->recordCount));
    ASSERT_GT(inserted.front().size(), ZetTable::kKeyRecordNumber);
    ASSERT_EQ(Zet00::RebuildIndex(h, slot), 0);
    EXPECT_EQ(WalkKeys(h, slot), inserted);
    // Sorted in runs through a temporary file, the same keys.
    BTREES::SetSortMemoryLimit(2000);
    const int rebuilt = Zet00::RebuildIndex(h, slot);
    BTREES::SetSortMemoryLimit(BTREES::kDefaultSortBytes);
    ASSERT_EQ(rebuilt, 0);
    EXPECT_EQ(WalkKeys(h, slot), inserted);
    // The rebuilt tree takes further keys in order.
    ASSERT_EQ(index_test::AppendForTest(h), 0);
    index_test::WriteCount(*ZetTable::Table(h));
    EXPECT_EQ(WalkKeys(h, slot).size(), inserted.size() + 1);
    ASSERT_EQ(Zet00::RebuildIndex(h, slot), 0);
  }
  index_test::CloseForTest(h);
}

Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A rebuild sorted by the keys' forms writes the same index file, byte for
// byte, as one sorted by the compare procedure alone, in memory or in runs:
// texts with accents, "ß" and "^" against their plain spellings, numbers,
// reals, descending parts, two parts, the unique ID index (which still
// refuses a duplicate), and an empty table; so does a rebuild of all the
// indexes from one pass over the records.
TEST_F(BulkIndexTest, RebuildSortedByFormsWritesTheSameFile) {
  const std::vector<zettable_test::FieldDef> fields = {
      {"NAME", 1, 12, 12}, {"NR", 2, 1, 10}, {"PREIS", 3, 7, 242}, {"DATUM", 6, 3, 10}, {"CODE", 1, 6, 6}};
  for (const int records : {0, 3000}) {
    SCOPED_TRACE(std::to_string(records) + " records");
    auto t = zettable_test::MakeTable(2, fields);
    t->ComputeLayout();
    const uint16_t n = uint16_t(fields.size());
    auto length = [&](uint16_t f) {
      return uint16_t((f < n ? t->FieldOffset(uint16_t(f + 1)) : t->recordLength) - t->FieldOffset(f));
    };
    const uint16_t down = ZetTable::kKeyDescending;
    const std::vector<std::vector<uint16_t>> keys = {
        {1}, {uint16_t(1 | down)}, {1, uint16_t(2 | down)}, {uint16_t(3 | down)}, {4, 2}, {5}, {3, 1}};
    for (size_t i = 0; i < keys.size(); ++i) {
      auto d = std::make_unique<ZetTable::TIndexDescriptor>();
      d->fileName = "F" + std::to_string(i + 1) + ".IND";
      for (size_t p = 0; p < keys[i].size(); ++p) {
        const uint16_t f = uint16_t(keys[i][p] & ZetTable::kKeyFieldMask);
        Zet00::SetKeyPart(d->header.data(), p, {keys[i][p], length(f), t->FieldType(f)});
      }
      if (keys[i] == std::vector<uint16_t>{5}) Zet00::SetIdMark(d->header.data());
      t->indexes[i + 1] = std::move(d);
    }
    const std::string path = TempPath("FORMEN" + std::to_string(records) + ".DAT");
    ASSERT_EQ(Zet06::CreateTable(*t, path, {}, false, 0, 0), 0);
    const int h = index_test::OpenForTest(path);
    ASSERT_GT(h, 0);
    const std::vector<std::string> names = {"M\xFCller", "Mueller", "Muller", "MULLER", "Stra\xDF" "e", "Strasse",
                                            "strasse",   "Stra^sse", "",      "\xC9t\xE9",  "Ete",     "ete",
                                            "\xDF\xDF",  "ssss",     "Zorn",  "zorn ",  "a^b",     "b a"};
    std::mt19937 rng(5);
    for (int r = 0; r < records; ++r) {
      index_test::SetText(h, 1, names[rng() % names.size()] + (rng() % 3 ? "" : std::to_string(rng() % 10)));
      index_test::SetText(h, 2, std::to_string(int(rng() % 60) - 30));
      index_test::SetText(h, 3, std::to_string(int(rng() % 40) - 20) + (rng() % 2 ? ",5" : ""));
      index_test::SetText(h, 4, std::to_string(1 + rng() % 28) + ".0" + std::to_string(1 + rng() % 9) + ".2001");
      index_test::SetText(h, 5, std::to_string(r));
      ASSERT_EQ(index_test::AppendForTest(h), 0);
    }
    index_test::WriteCount(*ZetTable::Table(h));
    std::vector<int> slots;
    std::vector<Bytes> built;
    for (int slot = 1; slot <= int(keys.size()); ++slot) {
      SCOPED_TRACE("slot " + std::to_string(slot));
      const std::string file(Zet00::IndexPath(*ZetTable::Table(h), slot).view());
      std::vector<Bytes> files;
      for (const bool forms : {false, true}) {
        for (const size_t limit : {BTREES::kDefaultSortBytes, size_t(2000)}) {
          BTREES::UseSortForms(forms);
          BTREES::SetSortMemoryLimit(limit);
          const int rebuilt = Zet00::RebuildIndex(h, slot);
          BTREES::UseSortForms(true);
          BTREES::SetSortMemoryLimit(BTREES::kDefaultSortBytes);
          ASSERT_EQ(rebuilt, 0);
          files.push_back(FileBytes(file));
        }
      }
      ASSERT_FALSE(files[0].empty());
      for (size_t i = 1; i < files.size(); ++i) EXPECT_TRUE(files[i] == files[0]) << "build " << i;
      EXPECT_EQ(index_test::WalkIndex(h, slot).size(), size_t(records));
      slots.push_back(slot);
      built.push_back(files[0]);
    }
    // All indexes from one pass over the records, in memory and in runs.
    for (const size_t limit : {BTREES::kDefaultSortBytes, size_t(8000)}) {
      BTREES::SetSortMemoryLimit(limit);
      const int rebuilt = Zet00::RebuildIndexes(h, slots);
      BTREES::SetSortMemoryLimit(BTREES::kDefaultSortBytes);
      ASSERT_EQ(rebuilt, 0);
      for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_TRUE(FileBytes(std::string(Zet00::IndexPath(*ZetTable::Table(h), slots[i]).view())) == built[i])
            << "slot " << slots[i] << ", limit " << limit;
    }
    if (records > 0) {
      // The ID index built from forms still refuses a code it holds.
      ZetTable::ClearRecordBuffer(h);
      index_test::SetText(h, 5, "17");
      EXPECT_EQ(Zet01::AppendRecord(h, false, 0), Zet01::kErrDuplicateKey);
    }
    index_test::CloseForTest(h);
  }
}

TEST_F(BulkIndexTest, EmptyTableGivesAnEmptyIndexThatTakesKeys) {
  auto t = zettable_test::MakeTable(2, {{"NAME", 1, 20, 20}, {"NR", 2, 1, 10}});
  auto d = std::make_unique<ZetTable::TIndexDescriptor>();
  d->fileName = "NAMEN.IND";
  Zet00::SetKeyPart(d->header.data(), 0, {1, 21, Common::kTypeString});
  t->indexes[1] = std::move(d);
  ASSERT_EQ(Zet06::CreateTable(*t, TempPath("LEER.DAT"), {}, false, 0, 0), 0);
  const int h = index_test::OpenForTest(TempPath("LEER.DAT"));
  ASSERT_GT(h, 0);
  ASSERT_TRUE(Zet00::IndexAvailable(h, 1, false));  // reads the key description
  ASSERT_EQ(Zet00::RebuildIndex(h, 1), 0);
  EXPECT_TRUE(index_test::WalkIndex(h, 1).empty());
  EXPECT_EQ(Zet00::IndexTree(h, 1)->header.height, 0);
  for (const char* name : {"Zorn", "Adam"}) {
    index_test::SetText(h, 1, name);
    ASSERT_EQ(index_test::AppendForTest(h), 0);
  }
  EXPECT_EQ(index_test::WalkIndex(h, 1), (Recnos{2, 1}));

  index_test::CloseForTest(h);
}

}  // namespace
