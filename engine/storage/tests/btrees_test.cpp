#include "engine/storage/btrees.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using BTREES::PTree;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kMode = LOWFILES::kModeReadWriteShared;
constexpr int kOk = BTREES::kResultOk;
constexpr int kNone = BTREES::kResultNone;
constexpr int kFailed = BTREES::kResultFailed;

// Keys are unsigned numbers stored big-endian, so byte order is key order.
template <size_t N>
bool Ascending(const uint8_t* a, const uint8_t* b, const uint8_t*) {
  return std::memcmp(a, b, N) < 0;
}

// Byte 0 of the caller's header asks for descending order.
bool ByHeaderFlag(const uint8_t* a, const uint8_t* b, const uint8_t* header) {
  return header[0] == 1 ? std::memcmp(b, a, 4) < 0 : std::memcmp(a, b, 4) < 0;
}

Bytes KeyBytes(uint64_t value, size_t length) {
  Bytes key(length);
  for (size_t i = 0; i < length && i < sizeof value; ++i) key[length - 1 - i] = uint8_t(value >> (8 * i));
  return key;
}

uint64_t KeyValue(const Bytes& key) {
  uint64_t value = 0;
  for (uint8_t b : key) value = (value << 8) | b;
  return value;
}

class BtreesTest : public zettest::EngineTest {
 protected:
  PTree Create(const std::string& name, uint16_t pageSize, uint16_t keyLength,
               BTREES::TCompareProc compare, uint16_t userLength = 0,
               const uint8_t* userHeader = nullptr) {
    PTree tree = nullptr;
    EXPECT_EQ(BTREES::CreateTree(tree, TempPath(name), pageSize, kMode, userLength, userHeader,
                                 compare, keyLength),
              0);
    return tree;
  }

  PTree Open(const std::string& name, BTREES::TCompareProc compare, uint16_t userLength = 0,
             uint8_t* userHeader = nullptr) {
    PTree tree = nullptr;
    EXPECT_EQ(BTREES::OpenTree(tree, TempPath(name), compare, kMode, userLength, userHeader), 0);
    return tree;
  }

  uint16_t Close(PTree& tree) { return BTREES::CloseTree(tree, nullptr, 0, true); }

  // Inserts each value as a key of the tree's key length.
  void InsertAll(PTree tree, const std::vector<uint64_t>& values) {
    for (uint64_t v : values) {
      ASSERT_EQ(BTREES::Insert(tree, KeyBytes(v, Length(tree)).data()), kOk) << v;
    }
  }

  static std::vector<uint64_t> Range(uint64_t from, uint64_t to) {
    std::vector<uint64_t> values;
    for (uint64_t v = from; v <= to; ++v) values.push_back(v);
    return values;
  }

  static size_t Length(PTree tree) { return tree->header.keyLength; }

  // All keys by First/Next, or by Last/Prior.
  static std::vector<uint64_t> Walk(PTree tree, bool forward) {
    std::vector<uint64_t> values;
    Bytes key(Length(tree));
    int r = forward ? BTREES::First(tree, key.data()) : BTREES::Last(tree, key.data());
    while (r == kOk) {
      values.push_back(KeyValue(key));
      r = forward ? BTREES::Next(tree, key.data()) : BTREES::Prior(tree, key.data());
    }
    EXPECT_EQ(r, kNone);
    return values;
  }

  Bytes Disk(const std::string& name) const {
    std::ifstream in(TempPath(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  uint16_t DiskU16(const std::string& name, size_t offset) const {
    std::ifstream in(TempPath(name), std::ios::binary);
    uint8_t raw[2] = {};
    in.seekg(std::streamoff(offset));
    in.read(reinterpret_cast<char*>(raw), 2);
    return bytes::GetU16(raw);
  }

  void PatchBytes(const std::string& name, size_t offset, const Bytes& patch) const {
    std::fstream file(TempPath(name), std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(std::streamoff(offset));
    file.write(reinterpret_cast<const char*>(patch.data()), std::streamsize(patch.size()));
  }

  void PatchU16(const std::string& name, size_t offset, uint16_t value) const {
    Bytes raw(2);
    bytes::PutU16(raw.data(), value);
    PatchBytes(name, offset, raw);
  }

  uint64_t DiskSize(const std::string& name) const {
    return std::filesystem::file_size(TempPath(name));
  }
};

// ---- Geometry and file layout ------------------------------------------

TEST_F(BtreesTest, GeometryFollowsPageSizeAndKeyLength) {
  struct Case {
    uint16_t pageSize, keyLength, userLength;
    uint16_t error, entrySize = 0, order = 0, capacity = 0;
  };
  const Case cases[] = {
      {512, 8, 0, 0, 10, 25, 50},
      {4096, 8, 57, 0, 10, 204, 408},
      {16, 4, 0, 0, 6, 1, 2},
      {15, 4, 0, BTREES::kErrPageTooSmall},     // one entry fits, not two
      {3, 4, 0, BTREES::kErrPageTooSmall},      // not even the page fields
      {512, 300, 0, BTREES::kErrPageTooSmall},  // one 302-byte entry
      {64, 8, 57, BTREES::kErrPageTooSmall},    // the user header would reach page 1
      {65535, 65534, 0, BTREES::kErrPageTooSmall},
  };
  uint8_t user[57];
  for (size_t i = 0; i < sizeof user; ++i) user[i] = uint8_t(i + 1);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pageSize << "/" << c.keyLength << "/" << c.userLength);
    const std::string name = "G" + std::to_string(n++) + ".IND";
    PTree tree = nullptr;
    const uint16_t error = BTREES::CreateTree(tree, TempPath(name), c.pageSize, kMode, c.userLength,
                                              user, Ascending<8>, c.keyLength);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(BTREES::Error, c.error);
    if (c.error != 0) {
      EXPECT_EQ(tree, nullptr);
      EXPECT_FALSE(std::filesystem::exists(TempPath(name)));
      continue;
    }
    ASSERT_EQ(Close(tree), 0);
    const Bytes disk = Disk(name);
    ASSERT_EQ(disk.size(), BTREES::kHeaderSize + c.userLength);
    const uint16_t expected[] = {c.pageSize, c.keyLength, c.entrySize, 0, 0, c.order, c.capacity};
    for (size_t f = 0; f < 7; ++f) EXPECT_EQ(bytes::GetU16(disk.data() + 2 * f), expected[f]) << f;
    EXPECT_TRUE(std::equal(user, user + c.userLength, disk.begin() + BTREES::kUserHeaderOffset));
    // A tree that never held a key opens again from its headers alone.
    tree = Open(name, Ascending<8>);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->header.order, c.order);
    EXPECT_EQ(Close(tree), 0);
  }
}

TEST_F(BtreesTest, AscendingInsertsSplitTheRootIntoThreePages) {
  PTree tree = Create("S.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 50));
  EXPECT_EQ(tree->header.height, 1);
  EXPECT_EQ(tree->header.pageCount, 1);
  InsertAll(tree, {51});
  EXPECT_EQ(tree->counts.rootSplits, 1u);
  ASSERT_EQ(Close(tree), 0);

  const Bytes disk = Disk("S.IND");
  ASSERT_EQ(disk.size(), 4u * 512);
  EXPECT_EQ(bytes::GetU16(disk.data() + BTREES::kHeaderHeight), 2);
  EXPECT_EQ(bytes::GetU16(disk.data() + BTREES::kHeaderPageCount), 3);
  // Page 1: the middle key 26 between the moved left half (page 3) and the
  // right half (page 2).
  const uint8_t* root = disk.data() + 512;
  EXPECT_EQ(bytes::GetU16(root + BTREES::kPageCount), 1);
  EXPECT_EQ(bytes::GetU16(root + BTREES::kPageFirstChild), 3);
  EXPECT_EQ(bytes::GetU16(root + BTREES::kPageEntries + BTREES::kEntryChild), 2);
  EXPECT_EQ(KeyValue(Bytes(root + 6, root + 14)), 26u);
  const struct {
    int page;
    uint64_t first;
  } halves[] = {{3, 1}, {2, 27}};
  for (const auto& half : halves) {
    const uint8_t* page = disk.data() + half.page * 512;
    ASSERT_EQ(bytes::GetU16(page + BTREES::kPageCount), 25) << half.page;
    EXPECT_EQ(bytes::GetU16(page + BTREES::kPageFirstChild), 0);
    for (int i = 0; i < 25; ++i) {
      const uint8_t* entry = page + BTREES::kPageEntries + i * 10;
      EXPECT_EQ(bytes::GetU16(entry), 0);
      EXPECT_EQ(KeyValue(Bytes(entry + 2, entry + 10)), half.first + i);
    }
  }
}

TEST_F(BtreesTest, DuplicateInsertIsRefusedAndChangesNothing) {
  PTree tree = Create("D.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 120));
  ASSERT_EQ(BTREES::FlushTree(tree), 0);
  const Bytes before = Disk("D.IND");
  for (uint64_t v : {1, 26, 60, 120}) EXPECT_EQ(BTREES::Insert(tree, KeyBytes(v, 8).data()), kNone);
  ASSERT_EQ(BTREES::FlushTree(tree), 0);
  EXPECT_EQ(Disk("D.IND"), before);
  EXPECT_EQ(Walk(tree, true), Range(1, 120));
}

TEST_F(BtreesTest, EndsOfTheTreeAndTheEmptyTree) {
  PTree tree = Create("E.IND", 512, 8, Ascending<8>);
  Bytes key = KeyBytes(5, 8);
  EXPECT_EQ(BTREES::First(tree, key.data()), kNone);
  EXPECT_EQ(BTREES::Last(tree, key.data()), kNone);
  EXPECT_EQ(BTREES::Next(tree, key.data()), kNone);
  EXPECT_EQ(BTREES::Prior(tree, key.data()), kNone);
  EXPECT_EQ(BTREES::FindNearest(tree, key.data()), kNone);
  EXPECT_EQ(BTREES::Find(tree, key.data()), kNone);
  EXPECT_EQ(BTREES::Delete(tree, key.data()), kNone);

  InsertAll(tree, Range(10, 200));
  key = KeyBytes(200, 8);
  EXPECT_EQ(BTREES::Next(tree, key.data()), kNone);
  key = KeyBytes(10, 8);
  EXPECT_EQ(BTREES::Prior(tree, key.data()), kNone);
  key = KeyBytes(201, 8);
  EXPECT_EQ(BTREES::FindNearest(tree, key.data()), kNone);
  key = KeyBytes(3, 8);
  EXPECT_EQ(BTREES::FindNearest(tree, key.data()), kOk);
  EXPECT_EQ(KeyValue(key), 10u);
  EXPECT_EQ(BTREES::Error, 0);
}

TEST_F(BtreesTest, DeletingEverythingLeavesAnEmptyRootUntilCleared) {
  PTree tree = Create("C.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 300));
  const uint16_t pages = tree->header.pageCount;
  for (uint64_t v = 1; v <= 300; ++v) ASSERT_EQ(BTREES::Delete(tree, KeyBytes(v, 8).data()), kOk);
  EXPECT_EQ(BTREES::Delete(tree, KeyBytes(7, 8).data()), kNone);
  EXPECT_EQ(tree->header.height, 1);
  EXPECT_EQ(tree->header.pageCount, pages);
  EXPECT_TRUE(Walk(tree, true).empty());

  ASSERT_EQ(BTREES::ClearTree(tree), 0);
  EXPECT_EQ(DiskU16("C.IND", BTREES::kHeaderHeight), 0);
  EXPECT_EQ(DiskU16("C.IND", BTREES::kHeaderPageCount), 0);
  ASSERT_EQ(Close(tree), 0);
  EXPECT_EQ(DiskSize("C.IND"), 512u);

  tree = Open("C.IND", Ascending<8>);
  ASSERT_NE(tree, nullptr);
  InsertAll(tree, {42});
  EXPECT_EQ(tree->header.pageCount, 1);
  EXPECT_EQ(Walk(tree, true), std::vector<uint64_t>{42});
}

// ---- Headers ------------------------------------------------------------

TEST_F(BtreesTest, HeaderOnDiskFollowsTheHeaderOption) {
  PTree tree = Create("H.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 50));
  BTREES::HeaderOption = false;
  InsertAll(tree, {51});  // splits the root
  EXPECT_EQ(DiskU16("H.IND", BTREES::kHeaderHeight), 1);
  BTREES::HeaderOption = true;
  InsertAll(tree, Range(52, 80));  // another split: page count changes
  EXPECT_EQ(DiskU16("H.IND", BTREES::kHeaderHeight), 2);
  EXPECT_EQ(DiskU16("H.IND", BTREES::kHeaderPageCount), 4);

  // Clearing leaves the pages in the file until a close with headers.
  ASSERT_EQ(BTREES::ClearTree(tree), 0);
  InsertAll(tree, {7});
  const uint64_t longSize = DiskSize("H.IND");
  ASSERT_EQ(BTREES::CloseTree(tree, nullptr, 0, false), 0);
  EXPECT_EQ(DiskSize("H.IND"), longSize);
  tree = Open("H.IND", Ascending<8>);
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(Close(tree), 0);
  EXPECT_EQ(DiskSize("H.IND"), 2u * 512);
}

TEST_F(BtreesTest, UserHeaderIsReadWrittenAndHandedToTheCompareProcedure) {
  uint8_t header[57] = {};
  header[0] = 1;  // descending
  PTree tree = Create("U.IND", 512, 4, ByHeaderFlag, sizeof header, header);
  InsertAll(tree, Range(1, 100));
  EXPECT_EQ(Walk(tree, true).front(), 100u);

  // Bytes 50..56 only, where they differ.
  const uint8_t tail[7] = {1, 0x11, 0x22, 0x33, 0x44, 8, 0};
  ASSERT_EQ(BTREES::WriteHeaders(tree, tail, sizeof tail, 50), 0);
  ASSERT_EQ(BTREES::CloseTree(tree, nullptr, 0, false), 0);
  const Bytes disk = Disk("U.IND");
  EXPECT_EQ(disk[14], 1);
  EXPECT_TRUE(std::equal(tail, tail + 7, disk.begin() + 14 + 50));

  uint8_t reread[57] = {};
  tree = Open("U.IND", ByHeaderFlag, sizeof reread, reread);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(reread[0], 1);
  EXPECT_EQ(reread[51], 0x11);
  uint8_t part[3] = {};
  ASSERT_EQ(BTREES::ReadHeader(tree, part, sizeof part, 51), 0);
  EXPECT_EQ(part[2], 0x33);
  const std::vector<uint64_t> walked = Walk(tree, false);
  ASSERT_EQ(walked.size(), 100u);
  EXPECT_EQ(walked.front(), 1u);
  EXPECT_EQ(walked.back(), 100u);
}

// ---- Damaged files ------------------------------------------------------

TEST_F(BtreesTest, ShortOrInconsistentHeaderIsRefusedAtOpen) {
  struct Case {
    const char* what;
    size_t offset;  // of a u16 to patch; 0 with value 0: cut the file instead
    uint16_t value;
  };
  const Case cases[] = {
      {"file one byte short of its pages", 0, 0},
      {"order", BTREES::kHeaderOrder, 24},
      {"capacity", BTREES::kHeaderCapacity, 48},
      {"entry size", BTREES::kHeaderEntrySize, 11},
      {"height above page count", BTREES::kHeaderHeight, 4},
      {"height above the page slots", BTREES::kHeaderHeight, 21},
      {"page size", BTREES::kHeaderPageSize, 0},
      {"page too small for the user header", BTREES::kHeaderPageSize, 40},
  };
  uint8_t user[57] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PTree tree = Create("B.IND", 512, 8, Ascending<8>, sizeof user, user);
    InsertAll(tree, Range(1, 51));
    ASSERT_EQ(BTREES::CloseTree(tree, user, sizeof user, true), 0);
    if (c.offset == 0 && c.value == 0) {
      std::filesystem::resize_file(TempPath("B.IND"), 4 * 512 - 1);
    } else {
      PatchU16("B.IND", c.offset, c.value);
    }
    EXPECT_EQ(BTREES::OpenTree(tree, TempPath("B.IND"), Ascending<8>, kMode, sizeof user, user),
              BTREES::kErrDamaged);
    EXPECT_EQ(tree, nullptr);
  }
}

TEST_F(BtreesTest, DamagedPagesAreReportedNotFollowed) {
  // Pages of the 51-key tree: 1 root, 2 right leaf, 3 left leaf.
  struct Case {
    const char* what;
    int page;
    size_t offset;
    uint16_t value;
  };
  const Case cases[] = {
      {"count beyond capacity", 2, BTREES::kPageCount, 51},
      {"first child beyond page count", 1, BTREES::kPageFirstChild, 4},
      {"child pointing at the root", 1, BTREES::kPageEntries + BTREES::kEntryChild, 1},
      {"empty page below the root", 3, BTREES::kPageCount, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PTree tree = Create("P.IND", 512, 8, Ascending<8>);
    InsertAll(tree, Range(1, 51));
    ASSERT_EQ(Close(tree), 0);
    PatchU16("P.IND", size_t(c.page) * 512 + c.offset, c.value);
    tree = Open("P.IND", Ascending<8>);
    ASSERT_NE(tree, nullptr);
    // A walk over every key reaches the damaged page and stops there.
    Bytes from = KeyBytes(0, 8);
    EXPECT_EQ(BTREES::WalkFrom(tree, from.data(), [](const uint8_t*, void*) { return true; }, nullptr), kFailed);
    // A key whose path runs through the damaged page.
    const Bytes key = KeyBytes(c.page == 2 ? 40 : 3, 8);
    EXPECT_EQ(BTREES::Find(tree, key.data()), kFailed);
    EXPECT_EQ(BTREES::Error, BTREES::kErrDamaged);
    EXPECT_EQ(BTREES::Insert(tree, KeyBytes(c.page == 2 ? 60 : 0, 8).data()), kFailed);
    EXPECT_EQ(BTREES::Delete(tree, key.data()), kFailed);
    EXPECT_TRUE(BTREES::HasError());
    ASSERT_EQ(BTREES::CloseTree(tree, nullptr, 0, false), 0);
  }
}

// Damage that names a page at a place it does not belong: a page reached
// twice, on two levels, pointing at itself, a child 0 reached through a
// page found in the cache, a leaf used as an inner page. Every operation
// must end (walks stop with Error 1, never go round) and stay within its
// buffers, whatever was read and cached before; the damage is reported.
TEST_F(BtreesTest, PagesUsedAtTheWrongPlaceAreDamageWhetherReadOrCached) {
  // Keys of 100 bytes in 512-byte pages: at most 4 per page, so 24 keys
  // make a tree of three levels.
  constexpr uint16_t kKey = 100;
  constexpr size_t kEntry = kKey + 2;
  const auto childOffset = [](uint16_t page, int i) {
    return size_t(page) * 512 + (i == 0 ? BTREES::kPageFirstChild : BTREES::kPageEntries + (i - 1) * kEntry);
  };
  struct Case {
    const char* what;
    int target;     // 0: root's entry-1 child (level 2); 1: its first child (level 3)
    int source;     // the page whose child is patched: 1 root, 2 the level-2 page
    int childIndex;
    uint16_t value; // 0xFFFE: the level-2 page itself; 0xFFFD: a leaf
  };
  const Case cases[] = {
      {"inner page pointing at itself", 0, 2, 1, 0xFFFE},
      {"root child pointing at a leaf", 0, 1, 1, 0xFFFD},
      {"two root children naming one page", 0, 1, 0, 0xFFFE},
      {"inner child 0", 0, 2, 0, 0},
      {"page count of a leaf 65535", 1, 0, 0, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PTree tree = Create("L.IND", 512, kKey, Ascending<kKey>);
    InsertAll(tree, Range(1, 24));
    ASSERT_EQ(tree->header.height, 3);
    ASSERT_EQ(Close(tree), 0);
    const uint16_t inner = DiskU16("L.IND", childOffset(1, 1));
    const uint16_t leaf = DiskU16("L.IND", childOffset(inner, 0));
    if (c.target == 1) {
      PatchU16("L.IND", size_t(leaf) * 512 + BTREES::kPageCount, c.value);
    } else {
      const uint16_t value = c.value == 0xFFFE ? inner : c.value == 0xFFFD ? leaf : c.value;
      PatchU16("L.IND", childOffset(c.source == 1 ? 1 : inner, c.childIndex), value);
    }
    tree = Open("L.IND", Ascending<kKey>);
    ASSERT_NE(tree, nullptr);
    bool reported = false;
    // Each round starts with what the earlier ones left in slots and cache.
    for (int round = 0; round < 3; ++round) {
      for (bool forward : {true, false}) {
        Bytes key(kKey);
        std::vector<uint64_t> seen;
        int r = forward ? BTREES::First(tree, key.data()) : BTREES::Last(tree, key.data());
        while (r == kOk && seen.size() < 1000) {
          seen.push_back(KeyValue(key));
          r = forward ? BTREES::Next(tree, key.data()) : BTREES::Prior(tree, key.data());
        }
        ASSERT_NE(r, kOk) << "the walk goes round";
        reported = reported || (r == kFailed && BTREES::Error == BTREES::kErrDamaged);
        for (size_t i = 1; i < seen.size(); ++i) ASSERT_EQ(seen[i - 1] < seen[i], forward);
      }
      for (uint64_t v = 0; v <= 25; v += 3) {
        const Bytes key = KeyBytes(v, kKey);
        if (BTREES::Find(tree, key.data()) == kFailed) reported = true;
        Bytes nearest = key;
        BTREES::FindNearest(tree, nearest.data());
        if (v % 2 == 0) BTREES::Delete(tree, key.data());
        else BTREES::Insert(tree, KeyBytes(v + 100, kKey).data());
      }
    }
    EXPECT_TRUE(reported);
    BTREES::CloseTree(tree, nullptr, 0, false);
  }
}

// A root without entries above a leaf (what a failed root shrink leaves):
// searches follow its only child, a delete that would need a sibling under
// it is refused.
TEST_F(BtreesTest, EmptyInnerRootIsReadButNotRebalanced) {
  PTree tree = Create("Z.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 51));
  ASSERT_EQ(Close(tree), 0);
  PatchU16("Z.IND", 512 + BTREES::kPageCount, 0);
  tree = Open("Z.IND", Ascending<8>);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(Walk(tree, true), Range(1, 25));
  EXPECT_EQ(BTREES::Delete(tree, KeyBytes(3, 8).data()), kFailed);
  EXPECT_EQ(BTREES::Error, BTREES::kErrDamaged);
  // The leaf had lost the key before the refusal; that change stays.
  std::vector<uint64_t> expected = Range(1, 25);
  expected.erase(expected.begin() + 2);
  EXPECT_EQ(Walk(tree, true), expected);
}

TEST_F(BtreesTest, FailedWriteIsReportedAndTheTreeStaysUsable) {
  PTree tree = Create("W.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 50));
  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosDiskFull);
  EXPECT_EQ(BTREES::Insert(tree, KeyBytes(51, 8).data()), kFailed);  // the split writes at once
  EXPECT_EQ(BTREES::Error, uint16_t(LOWFILES::kErrWriteFailed));
  platform::ResetFileFaults();
  // What was written stays: the keys left are still in order and readable.
  const std::vector<uint64_t> keys = Walk(tree, true);
  EXPECT_EQ(BTREES::Error, 0);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_LE(keys.back(), 50u);
  EXPECT_EQ(BTREES::Insert(tree, KeyBytes(100, 8).data()), kOk);
  EXPECT_EQ(BTREES::Find(tree, KeyBytes(100, 8).data()), kOk);
}

// A crafted file of 20 levels in which every page is full (all children
// name page 2; pages 3..20 only make the page count plausible): the root
// split an insert asks for would need a 21st level.
TEST_F(BtreesTest, TreeAtTheLevelLimitRefusesARootSplit) {
  PTree tree = Create("L.IND", 16, 4, Ascending<4>);
  ASSERT_EQ(Close(tree), 0);
  std::filesystem::resize_file(TempPath("L.IND"), 21 * 16);
  PatchU16("L.IND", BTREES::kHeaderHeight, 20);
  PatchU16("L.IND", BTREES::kHeaderPageCount, 20);
  Bytes page(16);
  bytes::PutU16(page.data() + BTREES::kPageFirstChild, 2);
  bytes::PutU16(page.data() + BTREES::kPageCount, 2);
  for (int i = 0; i < 2; ++i) {
    uint8_t* entry = page.data() + BTREES::kPageEntries + i * 6;
    bytes::PutU16(entry + BTREES::kEntryChild, 2);
    const Bytes key = KeyBytes(10 * (i + 1), 4);
    std::copy(key.begin(), key.end(), entry + BTREES::kEntryKey);
  }
  PatchBytes("L.IND", 16, page);
  PatchBytes("L.IND", 32, page);
  tree = Open("L.IND", Ascending<4>);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(BTREES::Find(tree, KeyBytes(20, 4).data()), kOk);
  EXPECT_EQ(BTREES::Insert(tree, KeyBytes(15, 4).data()), kFailed);
  EXPECT_EQ(BTREES::Error, BTREES::kErrDamaged);
  EXPECT_EQ(tree->header.height, 20);
}

// ---- Page-number limit ---------------------------------------------------

// Page size 16 and key length 4 give pages of at most two keys; the header's
// page count is set close to the limit and the file made long enough.
TEST_F(BtreesTest, InsertNeedingPage65536IsRefused) {
  PTree tree = Create("M.IND", 16, 4, Ascending<4>);
  InsertAll(tree, {10, 20});
  ASSERT_EQ(Close(tree), 0);
  std::filesystem::resize_file(TempPath("M.IND"), uint64_t(65535 + 1) * 16);

  // A root split needs two pages: 65535 and 65536.
  PatchU16("M.IND", BTREES::kHeaderPageCount, 65534);
  tree = Open("M.IND", Ascending<4>);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(BTREES::Insert(tree, KeyBytes(15, 4).data()), kFailed);
  EXPECT_EQ(BTREES::Error, BTREES::kErrDamaged);
  EXPECT_EQ(tree->header.pageCount, 65534);
  EXPECT_EQ(Walk(tree, true), (std::vector<uint64_t>{10, 20}));
  ASSERT_EQ(BTREES::CloseTree(tree, nullptr, 0, false), 0);
  EXPECT_EQ(DiskU16("M.IND", BTREES::kHeaderPageCount), 65534);

  // One page less: the root split fits and uses page 65535 ...
  PatchU16("M.IND", BTREES::kHeaderPageCount, 65533);
  tree = Open("M.IND", Ascending<4>);
  ASSERT_NE(tree, nullptr);
  InsertAll(tree, {15, 25});  // 25 fills the right leaf {20}
  EXPECT_EQ(tree->header.pageCount, 65535);
  EXPECT_EQ(tree->header.height, 2);
  // ... and the next leaf split would need page 65536.
  EXPECT_EQ(BTREES::Insert(tree, KeyBytes(30, 4).data()), kFailed);
  EXPECT_EQ(BTREES::Error, BTREES::kErrDamaged);
  EXPECT_EQ(Walk(tree, true), (std::vector<uint64_t>{10, 15, 20, 25}));
  // Deleting needs no page and still works.
  EXPECT_EQ(BTREES::Delete(tree, KeyBytes(10, 4).data()), kOk);
  EXPECT_EQ(Walk(tree, false), (std::vector<uint64_t>{25, 20, 15}));
  ASSERT_EQ(Close(tree), 0);
  EXPECT_EQ(DiskU16("M.IND", BTREES::kHeaderPageCount), 65535);
  EXPECT_EQ(DiskSize("M.IND"), uint64_t(65536) * 16);
}

// The same limit reached by plain growth: ascending keys leave half-full
// pages behind, so the page count runs up to the limit and stops there.
TEST_F(BtreesTest, GrowthStopsAtTheLastPageNumber) {
  PTree tree = Create("G.IND", 16, 4, Ascending<4>);
  BTREES::HeaderOption = false;  // the header is written once, at the close
  uint64_t next = 0;
  int r = kOk;
  while ((r = BTREES::Insert(tree, KeyBytes(next, 4).data())) == kOk) ++next;
  EXPECT_EQ(r, kFailed);
  EXPECT_EQ(BTREES::Error, BTREES::kErrDamaged);
  const uint16_t pages = tree->header.pageCount;
  EXPECT_GE(pages, 65534);
  ASSERT_EQ(Close(tree), 0);
  EXPECT_EQ(DiskU16("G.IND", BTREES::kHeaderPageCount), pages);
  EXPECT_EQ(DiskSize("G.IND"), (pages + 1u) * 16);
  tree = Open("G.IND", Ascending<4>);
  ASSERT_NE(tree, nullptr);
  const std::vector<uint64_t> walked = Walk(tree, true);
  ASSERT_EQ(walked.size(), next);
  for (uint64_t i = 0; i < next; ++i) ASSERT_EQ(walked[i], i);
}

// ---- Memory pressure -----------------------------------------------------

TEST_F(BtreesTest, OutOfMemoryFreesOtherTreesAndRetriesOnce) {
  PTree other = Create("A.IND", 512, 8, Ascending<8>);
  InsertAll(other, Range(1, 200));
  ASSERT_TRUE(other->slots[2].dirty);
  PTree tree = Create("B.IND", 512, 8, Ascending<8>);
  InsertAll(tree, {1});
  ASSERT_EQ(BTREES::FlushTree(tree), 0);

  // The first allocation fails, the retry after freeing the other tree works.
  BTREES::InjectAllocFailures(0, 1);
  EXPECT_EQ(BTREES::Insert(tree, KeyBytes(2, 8).data()), kOk);
  EXPECT_EQ(BTREES::Error, 0);
  EXPECT_FALSE(BTREES::OutOfMemory);
  for (const BTREES::TPageSlot& s : other->slots) {
    EXPECT_EQ(s.buffer, nullptr);
    EXPECT_FALSE(s.dirty);
  }
  EXPECT_EQ(other->cachedPages, 0u);
  EXPECT_EQ(Walk(other, true), Range(1, 200));  // read back from the file

  // Both attempts fail.
  ASSERT_EQ(BTREES::FlushTree(tree), 0);
  BTREES::InjectAllocFailures(0, 2);
  EXPECT_EQ(BTREES::Insert(tree, KeyBytes(3, 8).data()), kFailed);
  EXPECT_EQ(BTREES::Error, BTREES::kErrOutOfMemory);
  EXPECT_TRUE(BTREES::OutOfMemory);
  EXPECT_EQ(Walk(tree, true), Range(1, 2));

  InsertAll(other, {500});
  ASSERT_EQ(BTREES::FlushAllTrees(), 0);
  for (PTree t : {tree, other}) {
    for (const BTREES::TPageSlot& s : t->slots) EXPECT_EQ(s.buffer, nullptr);
  }
  EXPECT_EQ(Walk(other, false).front(), 500u);
}

// ---- Stepping along the path --------------------------------------------

// A walk steps from the path of the key it stands on; whatever happens to the
// tree between two steps (keys inserted or deleted around it, even the key
// itself, searches for other keys, headers written, pages flushed) must not
// change what the next step answers.
TEST_F(BtreesTest, StepsAgreeWithAnOrderedSetWhateverHappensBetweenThem) {
  PTree tree = Create("W.IND", 512, 8, Ascending<8>);
  std::mt19937 rng(99);
  std::set<uint64_t> model;
  for (int i = 0; i < 3000; ++i) {
    const uint64_t v = rng() % 20000;
    if (model.insert(v).second) {
      ASSERT_EQ(BTREES::Insert(tree, KeyBytes(v, 8).data()), kOk);
    }
  }
  Bytes key(8);
  ASSERT_EQ(BTREES::First(tree, key.data()), kOk);
  bool forward = true;
  for (int step = 0; step < 6000; ++step) {
    const uint64_t current = KeyValue(key);
    switch (rng() % 8) {
      case 0: {  // a key near the current one comes or goes
        const uint64_t v = current + rng() % 41 - 20;
        if (model.insert(v).second) {
          ASSERT_EQ(BTREES::Insert(tree, KeyBytes(v, 8).data()), kOk);
        } else {
          ASSERT_EQ(BTREES::Delete(tree, KeyBytes(v, 8).data()), kOk);
          model.erase(v);
        }
        break;
      }
      case 1: {  // a search elsewhere moves the path away
        Bytes other = KeyBytes(rng() % 20000, 8);
        BTREES::FindNearest(tree, other.data());
        break;
      }
      case 2:
        ASSERT_EQ(BTREES::WriteHeaders(tree, nullptr, 0, 0), 0);
        break;
      case 3:
        if (rng() % 8 == 0) {
          ASSERT_EQ(BTREES::FlushTree(tree), 0);
        }
        break;
      case 4:
        forward = !forward;
        break;
      default:
        break;
    }
    const auto after = model.upper_bound(current);
    const auto atOrAfter = model.lower_bound(current);
    const bool expectKey = forward ? after != model.end() : atOrAfter != model.begin();
    const int result = forward ? BTREES::Next(tree, key.data()) : BTREES::Prior(tree, key.data());
    ASSERT_EQ(result, expectKey ? kOk : kNone) << "step " << step << " from " << current;
    if (!expectKey) {
      // At an end: turn around there.
      forward = !forward;
      continue;
    }
    ASSERT_EQ(KeyValue(key), forward ? *after : *std::prev(atOrAfter)) << "step " << step;
  }
  EXPECT_EQ(BTREES::Error, 0);
}

// A walk visits the keys a FindNearest and Next calls give, from any key,
// stopped after any number of keys (the path then leads to the last one, so
// Next goes on from there) or run to the end of a tree of four levels.
TEST_F(BtreesTest, WalkFromVisitsWhatNextWouldAndStopsWhereAsked) {
  PTree tree = Create("V.IND", 512, 8, Ascending<8>);
  std::mt19937 rng(5);
  std::set<uint64_t> model;
  for (int i = 0; i < 6000; ++i) {
    const uint64_t v = rng() % 50000;
    if (model.insert(v).second) {
      ASSERT_EQ(BTREES::Insert(tree, KeyBytes(v, 8).data()), kOk);
    }
  }
  ASSERT_GE(tree->header.height, 3);
  struct TVisits {
    std::vector<uint64_t> keys;
    size_t stopAfter;
  };
  for (int round = 0; round < 300; ++round) {
    const uint64_t start = rng() % 52000;
    TVisits visits{{}, round % 10 == 0 ? model.size() + 1 : size_t(rng() % 700)};
    Bytes key = KeyBytes(start, 8);
    const int result = BTREES::WalkFrom(
        tree, key.data(),
        [](const uint8_t* k, void* context) {
          auto& v = *static_cast<TVisits*>(context);
          v.keys.push_back(KeyValue(Bytes(k, k + 8)));
          return v.keys.size() < v.stopAfter;
        },
        &visits);
    std::vector<uint64_t> expected;
    for (auto it = model.lower_bound(start); it != model.end() && expected.size() < visits.stopAfter; ++it)
      expected.push_back(*it);
    ASSERT_EQ(visits.keys, expected) << "from " << start;
    if (expected.size() < visits.stopAfter) {
      EXPECT_EQ(result, kNone);
      continue;
    }
    ASSERT_EQ(result, kOk);
    ASSERT_EQ(KeyValue(key), expected.back());
    const auto next = model.upper_bound(expected.back());
    ASSERT_EQ(BTREES::Next(tree, key.data()), next == model.end() ? kNone : kOk);
    if (next != model.end()) EXPECT_EQ(KeyValue(key), *next);
  }
  EXPECT_EQ(BTREES::Error, 0);
}

// A walk over more leaves than the cache holds leaves the pages it cached
// first where they are, instead of pushing every page out for one it will
// not come back to: the first leaf is still cached after walking the whole
// tree, and the cache keeps to its budget.
TEST_F(BtreesTest, AWalkLongerThanTheCacheKeepsWhatItCachedFirst) {
  ASSERT_EQ(BTREES::SetCacheBudget(8 * 512), 0);
  PTree tree = Create("W.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 4000));
  ASSERT_EQ(BTREES::Find(tree, KeyBytes(1, 8).data()), kOk);
  const uint16_t firstLeaf = tree->slots[tree->header.height].page;
  ASSERT_EQ(BTREES::FlushTree(tree), 0);
  size_t visited = 0;
  Bytes key = KeyBytes(0, 8);
  EXPECT_EQ(BTREES::WalkFrom(
                tree, key.data(),
                [](const uint8_t*, void* context) {
                  ++*static_cast<size_t*>(context);
                  return true;
                },
                &visited),
            kNone);
  EXPECT_EQ(visited, 4000u);
  EXPECT_TRUE(BTREES::PageCached(tree, firstLeaf));
  EXPECT_LE(BTREES::CachedBytes(), BTREES::CacheBudget());
  Close(tree);
}

// Writing the headers writes dirty pages back and keeps them: the next
// search reads nothing, and what it finds is what the file holds.
TEST_F(BtreesTest, WritingTheHeadersKeepsThePagesItWroteBack) {
  PTree tree = Create("K.IND", 512, 8, Ascending<8>);
  InsertAll(tree, Range(1, 400));
  const int height = tree->header.height;
  ASSERT_GE(height, 2);
  ASSERT_EQ(BTREES::WriteHeaders(tree, nullptr, 0, 0), 0);
  const Bytes disk = Disk("K.IND");
  for (int level = 1; level <= height; ++level) {
    const BTREES::TPageSlot& s = tree->slots[level];
    ASSERT_NE(s.buffer, nullptr);
    ASSERT_NE(s.page, 0);
    EXPECT_FALSE(s.dirty);
    ASSERT_GE(disk.size(), (s.page + 1u) * 512u);
    EXPECT_TRUE(std::equal(s.buffer, s.buffer + 512, disk.begin() + s.page * 512)) << level;
  }
  // The leaf of key 400 is in its slot: finding it reads no page, so a file
  // that can no longer be read does not matter.
  const uint16_t leaf = tree->slots[height].page;
  PatchU16("K.IND", size_t(leaf) * 512 + BTREES::kPageCount, 0xFFFF);
  EXPECT_EQ(BTREES::Find(tree, KeyBytes(400, 8).data()), kOk);
  EXPECT_EQ(tree->slots[height].page, leaf);
  // Flushing forgets the pages: the damaged page is read and refused.
  ASSERT_EQ(BTREES::FlushTree(tree), 0);
  EXPECT_EQ(BTREES::Find(tree, KeyBytes(400, 8).data()), kFailed);
  EXPECT_EQ(BTREES::Error, BTREES::kErrDamaged);
}

// A leaf left dirty stays cached until other pages pushed it out of the
// cache's budget (here 64 pages): it is then on disk. While cached it is not
// read again; a flush writes every cached page and drops them.
TEST_F(BtreesTest, CachedPagesAreWrittenWhenEvictedAndWhenFlushed) {
  const std::string name = "C.IND";
  ASSERT_EQ(BTREES::SetCacheBudget(64 * 512), 0);
  PTree tree = Create(name, 512, 8, Ascending<8>);
  std::vector<uint64_t> keys;
  for (uint64_t v = 2; v <= 8000; v += 2) keys.push_back(v);
  InsertAll(tree, keys);
  ASSERT_EQ(BTREES::FlushTree(tree), 0);
  const int height = tree->header.height;
  ASSERT_GE(height, 2);
  const auto pageOnDisk = [&](uint16_t page) {
    const Bytes disk = Disk(name);
    EXPECT_GE(disk.size(), (page + 1u) * 512u);
    return Bytes(disk.begin() + page * 512, disk.begin() + (page + 1) * 512);
  };
  const auto isCached = [&](uint16_t page) { return BTREES::PageCached(tree, page); };

  ASSERT_EQ(BTREES::Insert(tree, KeyBytes(3, 8).data()), kOk);
  const uint16_t leaf = tree->slots[height].page;
  ASSERT_TRUE(tree->slots[height].dirty);
  const Bytes changed(tree->slots[height].buffer, tree->slots[height].buffer + 512);
  // Leaving the leaf keeps it cached and dirty, unwritten.
  ASSERT_EQ(BTREES::Find(tree, KeyBytes(4000, 8).data()), kOk);
  ASSERT_TRUE(isCached(leaf));
  const Bytes onDisk = pageOnDisk(leaf);
  EXPECT_NE(onDisk, changed);
  // Coming back finds it in the cache: the file is not read.
  PatchU16(name, size_t(leaf) * 512 + BTREES::kPageCount, 0xFFFF);
  EXPECT_EQ(BTREES::Find(tree, KeyBytes(3, 8).data()), kOk);
  EXPECT_EQ(tree->slots[height].page, leaf);
  PatchBytes(name, size_t(leaf) * 512, onDisk);

  // Visiting every other leaf evicts it: its change is then in the file.
  for (uint64_t v = 100; v <= 8000; v += 50) {
    ASSERT_EQ(BTREES::Find(tree, KeyBytes(v, 8).data()), kOk) << v;
  }
  EXPECT_NE(tree->slots[height].page, leaf);
  EXPECT_FALSE(isCached(leaf));
  EXPECT_EQ(pageOnDisk(leaf), changed);

  // Changes spread over many leaves leave dirty cached pages; a flush writes
  // and frees them all, and the file holds every key.
  std::vector<uint64_t> expected = keys;
  expected.push_back(3);
  for (uint64_t v = 1001; v <= 7001; v += 300) {
    ASSERT_EQ(BTREES::Insert(tree, KeyBytes(v, 8).data()), kOk);
    expected.push_back(v);
  }
  bool anyDirty = false;
  for (uint16_t page = 1; page <= tree->header.pageCount; ++page) {
    bool dirty = false;
    anyDirty = anyDirty || (BTREES::PageCached(tree, page, &dirty) && dirty);
  }
  ASSERT_TRUE(anyDirty);
  ASSERT_EQ(BTREES::FlushTree(tree), 0);
  EXPECT_EQ(tree->cachedPages, 0u);
  EXPECT_EQ(BTREES::CachedBytes(), 0u);
  for (const BTREES::TPageSlot& s : tree->slots) EXPECT_EQ(s.buffer, nullptr);
  ASSERT_EQ(BTREES::CloseTree(tree, nullptr, 0, false), 0);
  tree = Open(name, Ascending<8>);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Walk(tree, true), expected);
  Close(tree);
}

// ---- Randomized model test ----------------------------------------------

// Keys: 4-byte value (many repeats) + 4-byte sequence number, so the tree's
// keys are unique as the index layer makes them.
class BtreesModelTest : public BtreesTest, public testing::WithParamInterface<uint16_t> {
 protected:
  static constexpr uint32_t kValues = 5000;

  uint64_t RandomKey() {
    return (uint64_t(rng_() % kValues) << 32) | uint32_t(rng_() % (seq_ + 2));
  }

  void InsertNew() {
    const uint64_t k = (uint64_t(rng_() % kValues) << 32) | ++seq_;
    ASSERT_EQ(BTREES::Insert(tree_, KeyBytes(k, 8).data()), kOk);
    model_.insert(k);
  }

  void DeleteSome() {
    if (model_.empty()) return;
    auto it = model_.lower_bound(RandomKey());
    if (it == model_.end()) it = model_.begin();
    ASSERT_EQ(BTREES::Delete(tree_, KeyBytes(*it, 8).data()), kOk);
    model_.erase(it);
  }

  void Churn(int ops, int insertPercent) {
    for (int i = 0; i < ops; ++i) {
      if (int(rng_() % 100) < insertPercent) {
        InsertNew();
      } else {
        DeleteSome();
      }
      if (i % 64 == 0 && !model_.empty()) {
        // Refusals: a present key again, an absent key deleted.
        auto present = model_.lower_bound(RandomKey());
        if (present == model_.end()) present = model_.begin();
        EXPECT_EQ(BTREES::Insert(tree_, KeyBytes(*present, 8).data()), kNone);
        EXPECT_EQ(BTREES::Delete(tree_, KeyBytes((uint64_t(kValues) << 32) + i, 8).data()), kNone);
      }
      if (testing::Test::HasFatalFailure()) return;
    }
  }

  // Walks both ways and probes searches at random keys, present or not.
  void CheckAgainstModel() {
    const std::vector<uint64_t> expected(model_.begin(), model_.end());
    ASSERT_EQ(Walk(tree_, true), expected);
    std::vector<uint64_t> backward = Walk(tree_, false);
    std::reverse(backward.begin(), backward.end());
    ASSERT_EQ(backward, expected);
    for (int i = 0; i < 1500; ++i) {
      const uint64_t probe =
          i % 3 == 0 && !model_.empty() ? *model_.lower_bound(RandomKey()) : RandomKey();
      Bytes key = KeyBytes(probe, 8);
      const auto after = model_.upper_bound(probe);
      const auto atOrAfter = model_.lower_bound(probe);
      EXPECT_EQ(BTREES::Find(tree_, key.data()), model_.count(probe) ? kOk : kNone);
      ASSERT_EQ(BTREES::FindNearest(tree_, key.data()), atOrAfter == model_.end() ? kNone : kOk);
      if (atOrAfter != model_.end()) {
        ASSERT_EQ(KeyValue(key), *atOrAfter);
      }
      key = KeyBytes(probe, 8);
      ASSERT_EQ(BTREES::Next(tree_, key.data()), after == model_.end() ? kNone : kOk);
      if (after != model_.end()) {
        ASSERT_EQ(KeyValue(key), *after);
      }
      key = KeyBytes(probe, 8);
      const bool hasBefore = atOrAfter != model_.begin();
      ASSERT_EQ(BTREES::Prior(tree_, key.data()), hasBefore ? kOk : kNone);
      if (hasBefore) {
        ASSERT_EQ(KeyValue(key), *std::prev(atOrAfter));
      }
    }
    EXPECT_EQ(BTREES::Error, 0);
  }

  void AddCounts() {
    total_.splits += tree_->counts.splits;
    total_.rootSplits += tree_->counts.rootSplits;
    total_.borrowsFromLeft += tree_->counts.borrowsFromLeft;
    total_.borrowsFromRight += tree_->counts.borrowsFromRight;
    total_.merges += tree_->counts.merges;
    total_.rootShrinks += tree_->counts.rootShrinks;
  }

  std::mt19937_64 rng_{GetParam()};
  uint32_t seq_ = 0;
  std::set<uint64_t> model_;
  PTree tree_ = nullptr;
  BTREES::TReshapeCounts total_;
};

TEST_P(BtreesModelTest, AgreesWithAnOrderedSet) {
  const uint16_t pageSize = GetParam();
  tree_ = Create("R.IND", pageSize, 8, Ascending<8>);
  ASSERT_NE(tree_, nullptr);
  {
    SCOPED_TRACE("grow");
    Churn(40000, 100);
    CheckAgainstModel();
  }
  {
    SCOPED_TRACE("shrink");
    Churn(30000, 5);
    CheckAgainstModel();
  }
  {
    SCOPED_TRACE("mixed");
    Churn(20000, 50);
    CheckAgainstModel();
  }
  {
    SCOPED_TRACE("reopen");
    AddCounts();
    ASSERT_EQ(Close(tree_), 0);
    EXPECT_EQ(DiskSize("R.IND"),
              uint64_t(DiskU16("R.IND", BTREES::kHeaderPageCount) + 1) * pageSize);
    tree_ = Open("R.IND", Ascending<8>);
    ASSERT_NE(tree_, nullptr);
    CheckAgainstModel();
    Churn(10000, 50);
    CheckAgainstModel();
  }
  {
    SCOPED_TRACE("drain");
    while (!model_.empty() && !HasFatalFailure()) DeleteSome();
    CheckAgainstModel();
    EXPECT_EQ(tree_->header.height, 1);
    AddCounts();
  }
  EXPECT_GT(total_.splits, 0u);
  EXPECT_GT(total_.rootSplits, 0u);
  EXPECT_GT(total_.borrowsFromLeft, 0u);
  EXPECT_GT(total_.borrowsFromRight, 0u);
  EXPECT_GT(total_.merges, 0u);
  EXPECT_GT(total_.rootShrinks, 0u);
}

INSTANTIATE_TEST_SUITE_P(Btrees, BtreesModelTest, testing::Values(uint16_t(512), uint16_t(4096)),
                         testing::PrintToStringParamName());

}  // namespace

namespace {

// ---- The shared page cache -----------------------------------------------

// Six trees of three page sizes share one cache. The same random run of
// inserts, deletes, searches and steps spread over all of them is made
// under a budget of a few pages (dirty pages of one tree evicted by
// another's work, pages of other sizes in the way, the budget changed
// half-way) and under a large one: every answer agrees with an ordered set
// per tree, the cache never holds more than its budget, and the files both
// runs leave hold the same tree byte for byte (pages that fell out of the
// tree may differ: they are written or not depending on when they left).
class SharedCacheTest : public BtreesTest {
 protected:
  static constexpr int kTrees = 6;

  std::string Name(int i) const { return "S" + std::to_string(i) + ".IND"; }

  // The header and every page reachable from the root, level by level.
  Bytes LiveTree(const std::string& name) const {
    const Bytes disk = Disk(name);
    const size_t pageSize = bytes::GetU16(disk.data() + BTREES::kHeaderPageSize);
    const size_t entrySize = bytes::GetU16(disk.data() + BTREES::kHeaderEntrySize);
    const int height = bytes::GetU16(disk.data() + BTREES::kHeaderHeight);
    Bytes live(disk.begin(), disk.begin() + BTREES::kHeaderSize);
    std::vector<uint16_t> level = {BTREES::kRootPage};
    for (int l = 1; l <= height; ++l) {
      std::vector<uint16_t> below;
      for (uint16_t page : level) {
        const uint8_t* p = disk.data() + page * pageSize;
        live.insert(live.end(), p, p + pageSize);
        const int count = bytes::GetU16(p + BTREES::kPageCount);
        for (int i = 0; l < height && i <= count; ++i) {
          below.push_back(bytes::GetU16(i == 0 ? p : p + BTREES::kPageEntries + (i - 1) * entrySize));
        }
      }
      level = below;
    }
    return live;
  }

  std::vector<Bytes> Run(size_t budget) {
    EXPECT_EQ(BTREES::SetCacheBudget(budget), 0);
    const uint16_t pageSizes[] = {64, 512, 1024};
    PTree trees[kTrees] = {};
    std::set<uint64_t> models[kTrees];
    for (int i = 0; i < kTrees; ++i) trees[i] = Create(Name(i), pageSizes[i % 3], 8, Ascending<8>);
    std::mt19937_64 rng(2024);
    for (int op = 0; op < 60000 && !HasFailure(); ++op) {
      if (op == 30000) EXPECT_EQ(BTREES::SetCacheBudget(budget / 2), 0);
      const int i = int(rng() % kTrees);
      PTree tree = trees[i];
      std::set<uint64_t>& model = models[i];
      const uint64_t v = rng() % 4000;
      Bytes key = KeyBytes(v, 8);
      switch (rng() % 6) {
        case 0:
        case 1:
          EXPECT_EQ(BTREES::Insert(tree, key.data()), model.insert(v).second ? kOk : kNone);
          break;
        case 2:
          EXPECT_EQ(BTREES::Delete(tree, key.data()), model.erase(v) ? kOk : kNone);
          break;
        case 3:
          EXPECT_EQ(BTREES::Find(tree, key.data()), model.count(v) ? kOk : kNone);
          break;
        default: {
          // A few steps forward from the nearest key.
          auto it = model.lower_bound(v);
          EXPECT_EQ(BTREES::FindNearest(tree, key.data()), it == model.end() ? kNone : kOk);
          for (int s = 0; s < 5 && it != model.end(); ++s) {
            EXPECT_EQ(KeyValue(key), *it);
            ++it;
            EXPECT_EQ(BTREES::Next(tree, key.data()), it == model.end() ? kNone : kOk);
          }
        }
      }
      EXPECT_EQ(BTREES::Error, 0);
      EXPECT_LE(BTREES::CachedBytes(), BTREES::CacheBudget());
    }
    std::vector<Bytes> files;
    for (int i = 0; i < kTrees; ++i) {
      EXPECT_EQ(Walk(trees[i], true), std::vector<uint64_t>(models[i].begin(), models[i].end())) << i;
      EXPECT_EQ(Close(trees[i]), 0);
      files.push_back(LiveTree(Name(i)));
    }
    EXPECT_EQ(BTREES::CachedBytes(), 0u);
    return files;
  }
};

TEST_F(SharedCacheTest, TinyBudgetGivesTheSameTreesAsALargeOne) {
  const std::vector<Bytes> large = Run(BTREES::kDefaultCacheBudget);
  ASSERT_FALSE(HasFailure());
  for (size_t budget : {size_t(0), size_t(1500), size_t(3000)}) {
    SCOPED_TRACE(budget);
    const std::vector<Bytes> tiny = Run(budget);
    ASSERT_EQ(tiny.size(), large.size());
    for (size_t i = 0; i < tiny.size(); ++i) EXPECT_TRUE(tiny[i] == large[i]) << "file " << i;
  }
}

// A dirty page evicted for another tree's page is written to its own file
// at once. A write that fails there leaves it cached and dirty (written at a
// later eviction), and the other tree's operation goes on undisturbed.
TEST_F(SharedCacheTest, DirtyPagesOfOneTreeAreWrittenWhenAnotherNeedsTheRoom) {
  ASSERT_EQ(BTREES::SetCacheBudget(4 * 512), 0);
  PTree a = Create("A.IND", 512, 8, Ascending<8>);
  PTree b = Create("B.IND", 512, 8, Ascending<8>);
  InsertAll(a, Range(1, 2000));
  InsertAll(b, Range(1, 2000));
  ASSERT_EQ(BTREES::FlushAllTrees(), 0);
  std::vector<uint64_t> expected = Range(1, 2000);
  for (uint64_t gone : {5, 6}) {
    const bool failing = gone == 6;
    SCOPED_TRACE(failing ? "write refused once" : "write works");
    // One change in a leaf of a, which then leaves its path slot for the
    // cache.
    ASSERT_EQ(BTREES::Delete(a, KeyBytes(gone, 8).data()), kOk);
    expected.erase(std::find(expected.begin(), expected.end(), gone));
    const BTREES::TPageSlot& leafSlot = a->slots[a->header.height];
    const uint16_t leaf = leafSlot.page;
    const Bytes changed(leafSlot.buffer, leafSlot.buffer + 512);
    ASSERT_EQ(BTREES::Find(a, KeyBytes(1990, 8).data()), kOk);
    bool dirty = false;
    ASSERT_TRUE(BTREES::PageCached(a, leaf, &dirty));
    ASSERT_TRUE(dirty);
    // b's walk fills the cache: a's leaf goes to its file.
    if (failing) platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosDiskFull);
    EXPECT_EQ(Walk(b, true), Range(1, 2000));
    EXPECT_EQ(BTREES::Error, 0);
    platform::ResetFileFaults();
    EXPECT_FALSE(BTREES::PageCached(a, leaf));
    const Bytes disk = Disk("A.IND");
    EXPECT_TRUE(std::equal(changed.begin(), changed.end(), disk.begin() + leaf * 512));
    EXPECT_LE(BTREES::CachedBytes(), BTREES::CacheBudget());
  }
  ASSERT_EQ(BTREES::FlushAllTrees(), 0);
  EXPECT_EQ(Walk(a, true), expected);
}

}  // namespace
