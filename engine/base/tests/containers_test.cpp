#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <deque>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/base/bitarray.h"
#include "engine/base/common_errors.h"
#include "engine/base/engassert.h"
#include "engine/base/sort.h"
#include "engine/base/stacklib.h"
#include "engine/base/zetclass.h"
#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"

namespace {

// Runs f and expects it to raise the assertion with exactly this text.
template <typename F>
void ExpectAssertion(F f, const char* text) {
  try {
    f();
    ADD_FAILURE() << "no assertion, expected \"" << text << "\"";
  } catch (const EAssertion& e) {
    EXPECT_STREQ(e.what(), text);
  }
}

// ---------------------------------------------------------------- STACKLIB

using StacklibTest = zettest::EngineTest;

TEST_F(StacklibTest, BlocksComeBackLastInFirstOut) {
  EXPECT_EQ(STACKLIB::StackTop(), nullptr);
  EXPECT_EQ(STACKLIB::TopEntrySize(), 0u);
  const char text[] = "abcdefghij";
  const int32_t number = -123456;
  const uint8_t flag = 7;
  STACKLIB::Push(text, sizeof text);
  const void* mark = STACKLIB::StackTop();
  STACKLIB::Push(&number, sizeof number);
  STACKLIB::Push(&flag, sizeof flag);
  STACKLIB::Push(nullptr, 0);
  EXPECT_EQ(STACKLIB::TopEntrySize(), 0u);
  STACKLIB::Pop(nullptr, 0);
  EXPECT_EQ(STACKLIB::TopEntrySize(), sizeof flag);

  uint8_t flagBack = 0;
  int32_t numberBack = 0;
  char textBack[sizeof text] = {};
  STACKLIB::Pop(&flagBack, sizeof flagBack);
  STACKLIB::Pop(&numberBack, sizeof numberBack);
  EXPECT_EQ(STACKLIB::StackTop(), mark);
  STACKLIB::Pop(textBack, sizeof textBack);
  EXPECT_EQ(flagBack, flag);
  EXPECT_EQ(numberBack, number);
  EXPECT_STREQ(textBack, text);
  EXPECT_EQ(STACKLIB::StackTop(), nullptr);
}

TEST_F(StacklibTest, PopOfAnotherSizeRaisesAndDropsTheEntry) {
  const int32_t below = 42;
  const int64_t top = 0x1122334455667788;
  STACKLIB::Push(&below, sizeof below);
  const void* mark = STACKLIB::StackTop();
  STACKLIB::Push(&top, sizeof top);
  int32_t wrong = 99;
  ExpectAssertion([&] { STACKLIB::Pop(&wrong, sizeof wrong); }, "Stack entry to pop has not the correct size");
  EXPECT_EQ(wrong, 99);  // nothing copied
  EXPECT_EQ(STACKLIB::StackTop(), mark);
  int32_t back = 0;
  STACKLIB::Pop(&back, sizeof back);
  EXPECT_EQ(back, below);
  ExpectAssertion([&] { STACKLIB::Pop(&back, sizeof back); }, "Stack is empty");
}

TEST_F(StacklibTest, EngineRestartEmptiesTheStack) {
  const int32_t value = 1;
  STACKLIB::Push(&value, sizeof value);
  Units::StopEngine();
  Units::StartEngine();
  EXPECT_EQ(STACKLIB::StackTop(), nullptr);
}

// -------------------------------------------------------------------- SORT

// Records of the pool tests: a key, a serial number and a text of varying
// length; only the used part is pooled, so records differ in size.
struct Rec {
  int32_t key;
  int32_t serial;
  uint8_t length;
  char text[40];
};

size_t RecSize(const Rec& r) { return offsetof(Rec, text) + r.length; }

Rec MakeRec(int32_t key, int32_t serial) {
  Rec r{};
  r.key = key;
  r.serial = serial;
  std::string t = "r" + std::to_string(serial) + std::string(size_t(serial % 17), '*');
  r.length = uint8_t(t.size());
  std::memcpy(r.text, t.data(), t.size());
  return r;
}

// Compares by key; compare data points at a flag that turns the order round.
bool KeyBefore(const void* a, const void* b, void* data) {
  Rec ra{}, rb{};
  std::memcpy(&ra, a, offsetof(Rec, text));
  std::memcpy(&rb, b, offsetof(Rec, text));
  bool descending = data && *static_cast<bool*>(data);
  return descending ? ra.key > rb.key : ra.key < rb.key;
}

std::vector<Rec> ReadAll() {
  std::vector<Rec> out;
  Rec r;
  while (!SORT::AtEnd()) {
    std::memset(&r, 0, sizeof r);
    EXPECT_TRUE(SORT::GetNextRecord(&r, sizeof r));
    out.push_back(r);
  }
  return out;
}

std::vector<int32_t> Serials(const std::vector<Rec>& recs) {
  std::vector<int32_t> s;
  for (const Rec& r : recs) s.push_back(r.serial);
  return s;
}

class SortTest : public zettest::EngineTest {
 protected:
  // Adds n records with random keys (many equal) and answers them.
  std::vector<Rec> AddRandom(int n, int32_t firstSerial) {
    std::uniform_int_distribution<int32_t> key(-50, 50);
    std::vector<Rec> recs;
    for (int i = 0; i < n; ++i) {
      recs.push_back(MakeRec(key(rng_), firstSerial + i));
      SORT::AddRecord(&recs.back(), RecSize(recs.back()));
    }
    return recs;
  }

  // Sorted output must be the same records, each whole, in key order.
  static void ExpectSortedPermutation(const std::vector<Rec>& in, const std::vector<Rec>& out, bool descending) {
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 1; i < out.size(); ++i)
      ASSERT_TRUE(descending ? out[i - 1].key >= out[i].key : out[i - 1].key <= out[i].key) << i;
    std::vector<int32_t> a = Serials(in), b = Serials(out);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
    for (const Rec& r : out) {
      Rec expected = MakeRec(r.key, r.serial);
      EXPECT_EQ(std::memcmp(&r, &expected, RecSize(expected)), 0) << r.serial;
      EXPECT_EQ(r.text[r.length], '\0') << "copied beyond its own size";
    }
  }

  std::mt19937 rng_{20240229};
};

TEST_F(SortTest, ManyRecordsComeBackSortedByTheCompareGiven) {
  for (bool descending : {false, true}) {
    SORT::BeginSort();
    std::vector<Rec> in = AddRandom(3000, 0);
    SORT::SetCompareData(&descending);
    SORT::SortRecords(KeyBefore);
    ExpectSortedPermutation(in, ReadAll(), descending);
    SORT::EndSort();
  }
  EXPECT_EQ(STACKLIB::StackTop(), nullptr);
}

TEST_F(SortTest, MergeDealsAlternatelyAndPrefersTheFirstListOnTies) {
  // Three equal keys a, b, c: split [a c] [b]; the merge takes the second
  // list's head only when it sorts strictly before, giving a c b.
  SORT::BeginSort();
  for (int serial : {1, 2, 3}) {
    Rec r = MakeRec(5, serial);
    SORT::AddRecord(&r, RecSize(r));
  }
  SORT::SortRecords(KeyBefore);
  EXPECT_EQ(Serials(ReadAll()), (std::vector<int32_t>{1, 3, 2}));
  SORT::EndSort();
}

TEST_F(SortTest, ReadingPastTheEndLeavesTheBufferAndRewindStartsAgain) {
  SORT::BeginSort();
  EXPECT_TRUE(SORT::AtEnd());
  for (int32_t key : {3, 1, 2}) {
    Rec r = MakeRec(key, key);
    SORT::AddRecord(&r, RecSize(r));
  }
  EXPECT_FALSE(SORT::AtEnd());
  // Before sorting, records come in the order they were added.
  EXPECT_EQ(Serials(ReadAll()), (std::vector<int32_t>{3, 1, 2}));
  SORT::SortRecords(KeyBefore);
  EXPECT_EQ(Serials(ReadAll()), (std::vector<int32_t>{1, 2, 3}));
  Rec untouched = MakeRec(77, 77);
  EXPECT_FALSE(SORT::GetNextRecord(&untouched, sizeof untouched));
  EXPECT_EQ(untouched.serial, 77);
  SORT::Rewind();
  EXPECT_EQ(Serials(ReadAll()), (std::vector<int32_t>{1, 2, 3}));
  // A record added after sorting comes after the sorted ones; none is lost.
  Rec late = MakeRec(0, 9);
  SORT::AddRecord(&late, RecSize(late));
  SORT::Rewind();
  EXPECT_EQ(Serials(ReadAll()), (std::vector<int32_t>{1, 2, 3, 9}));
  SORT::EndSort();
}

TEST_F(SortTest, GetNextRecordCopiesAtMostTheBufferSize) {
  SORT::BeginSort();
  const char text[] = "0123456789";
  SORT::AddRecord(text, sizeof text);
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_TRUE(SORT::GetNextRecord(buffer, 4));
  EXPECT_EQ(std::string(buffer, sizeof buffer), "0123####");
  SORT::EndSort();
}

TEST_F(SortTest, NestedPoolsLeaveTheOuterPoolAsItWas) {
  SORT::BeginSort();
  std::vector<Rec> outer = AddRandom(500, 0);
  bool descending = true;
  SORT::SetCompareData(&descending);
  SORT::SortRecords(KeyBefore);
  std::vector<Rec> outerOut;
  for (int i = 0; i < 100; ++i) {
    Rec r{};
    ASSERT_TRUE(SORT::GetNextRecord(&r, sizeof r));
    outerOut.push_back(r);
  }

  // Something else saved on the state stack between the pools.
  const int32_t margin = 17;
  STACKLIB::Push(&margin, sizeof margin);
  const void* mark = STACKLIB::StackTop();
  SORT::BeginSort();
  EXPECT_TRUE(SORT::AtEnd());
  std::vector<Rec> inner = AddRandom(700, 10000);
  SORT::SortRecords(KeyBefore);  // fresh pool: no compare data, ascending
  ExpectSortedPermutation(inner, ReadAll(), false);
  {
    // A third level inside the second.
    SORT::BeginSort();
    std::vector<Rec> third = AddRandom(50, 20000);
    SORT::SortRecords(KeyBefore);
    ExpectSortedPermutation(third, ReadAll(), false);
    SORT::EndSort();
  }
  SORT::Rewind();
  ExpectSortedPermutation(inner, ReadAll(), false);
  SORT::EndSort();
  EXPECT_EQ(STACKLIB::StackTop(), mark);
  int32_t marginBack = 0;
  STACKLIB::Pop(&marginBack, sizeof marginBack);
  EXPECT_EQ(marginBack, margin);

  // The outer pool goes on from its read position with its compare data.
  std::vector<Rec> rest = ReadAll();
  outerOut.insert(outerOut.end(), rest.begin(), rest.end());
  ExpectSortedPermutation(outer, outerOut, true);
  SORT::Rewind();
  SORT::SortRecords(KeyBefore);
  ExpectSortedPermutation(outer, ReadAll(), true);
  SORT::EndSort();
  EXPECT_EQ(STACKLIB::StackTop(), nullptr);
}

TEST_F(SortTest, EndSortOverAForeignEntryRaises) {
  SORT::BeginSort();
  const int32_t stray = 1;
  STACKLIB::Push(&stray, sizeof stray);
  ExpectAssertion([] { SORT::EndSort(); }, "Stack entry to pop has not the correct size");
}

TEST_F(SortTest, EngineStopFreesOpenPools) {
  // Pools left open are freed by the engine's stop (the sanitizer's leak
  // check sees any that are not).
  SORT::BeginSort();
  AddRandom(10, 0);
  SORT::BeginSort();
  AddRandom(10, 100);
  Units::StopEngine();
  Units::StartEngine();
  EXPECT_TRUE(SORT::AtEnd());
  EXPECT_EQ(STACKLIB::StackTop(), nullptr);
}

// ---------------------------------------------------------------- ZetClass

using ZetClassTest = zettest::EngineTest;

int CompareInt(const void* item, const void* key) {
  int32_t a, b;
  std::memcpy(&a, item, sizeof a);
  std::memcpy(&b, key, sizeof b);
  return a < b ? -1 : (a > b ? 1 : 0);
}

std::vector<int32_t> Contents(const ZetClass::TDynArray& array) {
  std::vector<int32_t> out(array.Count());
  for (uint32_t i = 0; i < array.Count(); ++i) array.GetItem(i, &out[i]);
  return out;
}

TEST_F(ZetClassTest, DynArrayGrowsBySixteenItems) {
  ZetClass::TDynArray array(10, sizeof(int32_t));
  EXPECT_EQ(array.Capacity(), 10u);
  EXPECT_EQ(array.Count(), 0u);
  for (int32_t i = 0; i < 10; ++i) array.Add(&i);
  EXPECT_EQ(array.Capacity(), 10u);
  int32_t eleventh = 10;
  array.Add(&eleventh);
  EXPECT_EQ(array.Capacity(), 26u);
  for (int32_t i = 11; i < 27; ++i) array.Add(&i);
  EXPECT_EQ(array.Capacity(), 42u);
  std::vector<int32_t> expected(27);
  for (int32_t i = 0; i < 27; ++i) expected[size_t(i)] = i;
  EXPECT_EQ(Contents(array), expected);
  array.Clear();
  EXPECT_EQ(array.Count(), 0u);
  EXPECT_EQ(array.Capacity(), 42u);

  ZetClass::TDynArray empty(0, 6);
  const char item[6] = "abcde";
  empty.Add(item);
  EXPECT_EQ(empty.Capacity(), 16u);
}

TEST_F(ZetClassTest, DynArrayFollowsAVectorUnderRandomEdits) {
  std::mt19937 rng(7);
  ZetClass::TDynArray array(3, sizeof(int32_t));
  array.SetCompareProc(CompareInt);
  std::vector<int32_t> model;
  for (int step = 0; step < 5000; ++step) {
    int32_t value = int32_t(rng() % 200);
    switch (rng() % 4) {
      case 0:
      case 1:
        array.Add(&value);
        model.push_back(value);
        break;
      case 2:
        if (!model.empty()) {
          uint32_t index = uint32_t(rng() % model.size());
          array.Delete(index);
          model.erase(model.begin() + index);
        }
        break;
      default:
        if (!model.empty()) {
          uint32_t index = uint32_t(rng() % model.size());
          array.SetItem(index, &value);
          model[index] = value;
        }
    }
    int32_t key = int32_t(rng() % 200);
    auto it = std::find(model.begin(), model.end(), key);
    int32_t expected = it == model.end() ? -1 : int32_t(it - model.begin());
    ASSERT_EQ(array.FindItem(&key), expected);
    int32_t index = -2;
    ASSERT_EQ(array.Find(&key, index), expected >= 0);
    ASSERT_EQ(index, expected >= 0 ? expected : int32_t(model.size()));
  }
  EXPECT_EQ(Contents(array), model);
}

TEST_F(ZetClassTest, DynArrayAssertions) {
  ZetClass::TDynArray array(2, sizeof(int32_t));
  int32_t v = 5;
  ExpectAssertion([&] { array.FindItem(&v); }, "Need CompareProc for FindItem.");
  int32_t index = 0;
  ExpectAssertion([&] { array.Find(&v, index); }, "Need CompareProc for FindItem.");
  array.Add(&v);
  ExpectAssertion([&] { array.GetItem(1, &v); }, "TDynArray index out of range");
  ExpectAssertion([&] { array.SetItem(1, &v); }, "TDynArray index out of range");
  ExpectAssertion([&] { array.Delete(1); }, "TDynArray index out of range");
  array.Clear();
  ExpectAssertion([&] { array.Delete(0); }, "TDynArray index out of range");
}

// A stream over a byte vector that can be made to stop taking or giving bytes.
class VectorStream : public ZetClass::TStream {
 public:
  size_t Read(void* buffer, size_t count) override {
    size_t n = std::min(count, bytes.size() - readPos);
    if (n) std::memcpy(buffer, bytes.data() + readPos, n);
    readPos += n;
    return n;
  }
  size_t Write(const void* buffer, size_t count) override {
    size_t n = std::min(count, writeLimit - std::min(writeLimit, bytes.size()));
    const auto* p = static_cast<const uint8_t*>(buffer);
    bytes.insert(bytes.end(), p, p + n);
    return n;
  }
  std::vector<uint8_t> bytes;
  size_t readPos = 0;
  size_t writeLimit = SIZE_MAX;
};

TEST_F(ZetClassTest, TextsTravelAsLengthAndCharacters) {
  VectorStream s;
  EXPECT_EQ(ZetClass::WriteStringToStream(s, "Gr\xFC\xDF" "e"), 0);
  EXPECT_EQ(ZetClass::WritePCharToStream(s, "ab"), 0);
  EXPECT_EQ(ZetClass::WritePCharToStream(s, nullptr), 0);
  const std::vector<uint8_t> expected = {5, 0, 'G', 'r', 0xFC, 0xDF, 'e', 2, 0, 'a', 'b', 0, 0};
  EXPECT_EQ(s.bytes, expected);

  ShortStr text;
  std::string pchar = "old";
  EXPECT_EQ(ZetClass::ReadStringFromStream(s, text), 0);
  EXPECT_EQ(text.view(), "Gr\xFC\xDF" "e");
  EXPECT_EQ(ZetClass::ReadPCharFromStream(s, pchar), 0);
  EXPECT_EQ(pchar, "ab");
  EXPECT_EQ(ZetClass::ReadPCharFromStream(s, pchar), 0);
  EXPECT_EQ(pchar, "");
}

TEST_F(ZetClassTest, LongTextsInStreamForm) {
  VectorStream s;
  const std::string long300(300, 'x');
  const std::string tooLong(70000, 'y');
  EXPECT_EQ(ZetClass::WriteStringToStream(s, long300), 0);
  EXPECT_EQ(ZetClass::WriteStringToStream(s, tooLong), 0);  // cut to what the length holds
  EXPECT_EQ(ZetClass::WritePCharToStream(s, "end"), 0);
  EXPECT_EQ(s.bytes.size(), 2 + 300 + 2 + 65535 + 2 + 3u);

  ShortStr shortText;
  std::string pchar;
  EXPECT_EQ(ZetClass::ReadStringFromStream(s, shortText), 0);
  EXPECT_EQ(shortText.view(), std::string(255, 'x'));  // keeps 255, reads all 300
  EXPECT_EQ(ZetClass::ReadPCharFromStream(s, pchar), 0);
  EXPECT_EQ(pchar, std::string(65535, 'y'));
  EXPECT_EQ(ZetClass::ReadPCharFromStream(s, pchar), 0);
  EXPECT_EQ(pchar, "end");
}

TEST_F(ZetClassTest, StreamFailuresAreReported) {
  VectorStream s;
  s.bytes = {5, 0, 'a', 'b'};  // five characters announced, two there
  std::string pchar;
  EXPECT_EQ(ZetClass::ReadPCharFromStream(s, pchar), Common::kErrRead);
  EXPECT_EQ(Common::LastError(), -Common::kErrRead);
  EXPECT_EQ(pchar, "");
  ShortStr text = "old";
  EXPECT_EQ(ZetClass::ReadStringFromStream(s, text), Common::kErrRead);  // no length left
  EXPECT_EQ(text.view(), "");

  Common::ResetLastError();
  VectorStream full;
  full.writeLimit = 3;
  EXPECT_EQ(ZetClass::WriteStringToStream(full, "abc"), Common::kErrWrite);
  EXPECT_EQ(Common::LastError(), -Common::kErrWrite);
}

// ---------------------------------------------------------------- Bitarray

using Bitarray::TBitArray;

class BitarrayTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    for (TBitArray& a : arrays_) Bitarray::Free(a);
    zettest::EngineTest::TearDown();
  }
  TBitArray& Make(int32_t bytes) {
    arrays_.emplace_back();
    Bitarray::Create(arrays_.back(), bytes);
    return arrays_.back();
  }
  static void ExpectSame(const TBitArray& a, const std::vector<bool>& model) {
    ASSERT_EQ(size_t(a.byteCount) * 8, model.size());
    int32_t count = 0;
    for (size_t n = 0; n < model.size(); ++n) {
      ASSERT_EQ(Bitarray::TestBit(a, int32_t(n)), model[n]) << n;
      count += model[n];
    }
    EXPECT_EQ(Bitarray::CountBits(a), count);
  }
  std::deque<TBitArray> arrays_;
};

TEST_F(BitarrayTest, BitLayoutAndBitsOutsideTheArray) {
  TBitArray& a = Make(2);
  Bitarray::SetBit(a, 0);
  Bitarray::SetBit(a, 9);
  Bitarray::SetBit(a, 15);
  EXPECT_EQ(a.buffer[0], 0x01);
  EXPECT_EQ(a.buffer[1], 0x82);
  Bitarray::ClearBit(a, 15);
  EXPECT_EQ(a.buffer[1], 0x02);

  TBitArray& one = Make(1);
  Bitarray::SetBit(one, 8);
  Bitarray::SetBit(one, -1);
  Bitarray::SetBit(one, std::numeric_limits<int32_t>::min());
  Bitarray::SetBit(one, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(one.buffer[0], 0);
  EXPECT_FALSE(Bitarray::TestBit(one, 8));
  EXPECT_FALSE(Bitarray::TestBit(one, -8));
  Bitarray::SetBit(one, 7);
  Bitarray::ClearBit(one, -1);
  Bitarray::ClearBit(one, 15);
  EXPECT_EQ(one.buffer[0], 0x80);

  TBitArray& none = Make(-5);  // a negative count makes an empty array
  EXPECT_EQ(none.byteCount, 0);
  Bitarray::SetBit(none, 0);
  EXPECT_FALSE(Bitarray::TestBit(none, 0));
  EXPECT_EQ(Bitarray::CountBits(none), 0);
}

TEST_F(BitarrayTest, OrOfALargerSourceChangesOnlyTheTargetsBytes) {
  uint8_t memory[4] = {0, 0, 0xAA, 0xAA};  // bytes 2 and 3 lie outside the target
  TBitArray target{2, memory};
  TBitArray& source = Make(4);
  for (int n = 0; n < 32; ++n) Bitarray::SetBit(source, n);
  Bitarray::OrBits(target, source);
  EXPECT_EQ(memory[0], 0xFF);
  EXPECT_EQ(memory[1], 0xFF);
  EXPECT_EQ(memory[2], 0xAA);
  EXPECT_EQ(memory[3], 0xAA);
}

TEST_F(BitarrayTest, OperationsMatchAVectorOfBoolOnRandomData) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 200; ++round) {
    int32_t targetBytes = int32_t(rng() % 20), sourceBytes = int32_t(rng() % 20);
    TBitArray& target = Make(targetBytes);
    TBitArray& source = Make(sourceBytes);
    std::vector<bool> t(size_t(targetBytes) * 8), s(size_t(sourceBytes) * 8);
    auto scribble = [&](TBitArray& a, std::vector<bool>& model) {
      for (int k = 0; k < 100; ++k) {
        int32_t n = int32_t(rng() % 180) - 10;  // some outside on both sides
        bool inside = n >= 0 && size_t(n) < model.size();
        if (rng() % 3) {
          Bitarray::SetBit(a, n);
          if (inside) model[size_t(n)] = true;
        } else {
          Bitarray::ClearBit(a, n);
          if (inside) model[size_t(n)] = false;
        }
      }
    };
    scribble(target, t);
    scribble(source, s);
    ExpectSame(target, t);
    ExpectSame(source, s);

    const size_t common = std::min(t.size(), s.size());
    switch (round % 4) {
      case 0:
        Bitarray::AndBits(target, source);
        for (size_t n = 0; n < common; ++n) t[n] = t[n] && s[n];
        break;
      case 1:
        Bitarray::OrBits(target, source);
        for (size_t n = 0; n < common; ++n) t[n] = t[n] || s[n];
        break;
      case 2:
        Bitarray::AndNotBits(target, source);
        for (size_t n = 0; n < common; ++n) t[n] = t[n] && !s[n];
        break;
      default:
        Bitarray::CopyBits(target, source);
        for (size_t n = 0; n < common; ++n) t[n] = s[n];
    }
    ExpectSame(target, t);
    ExpectSame(source, s);
    Bitarray::Clear(target);
    ExpectSame(target, std::vector<bool>(t.size()));
  }
}

// Bits are counted a word at a time: every length (whole words and a
// tail), all ones, and random bytes counted bit by bit.
TEST_F(BitarrayTest, CountBitsOverWordsAndTails) {
  std::mt19937 rng(99);
  for (int32_t bytes = 0; bytes <= 41; ++bytes) {
    TBitArray& ones = Make(bytes);
    if (bytes > 0) std::memset(ones.buffer, 0xFF, size_t(bytes));
    EXPECT_EQ(Bitarray::CountBits(ones), bytes * 8) << bytes;
    TBitArray& random = Make(bytes);
    int32_t expected = 0;
    for (int32_t i = 0; i < bytes; ++i) {
      random.buffer[i] = uint8_t(rng());
      for (int b = 0; b < 8; ++b) expected += (random.buffer[i] >> b) & 1;
    }
    EXPECT_EQ(Bitarray::CountBits(random), expected) << bytes;
  }
}

TEST_F(BitarrayTest, GlobalSlotsKeepTheirOwnCopies) {
  TBitArray& a = Make(3);
  Bitarray::SetBit(a, 1);
  Bitarray::SetBit(a, 17);
  Bitarray::StoreGlobal(a, 17);  // slot 1
  Bitarray::ClearBit(a, 1);
  Bitarray::SetBit(a, 2);

  TBitArray& wide = Make(5);
  for (int n = 0; n < 40; ++n) Bitarray::SetBit(wide, n);
  Bitarray::LoadGlobal(wide, 1);  // copies 3 bytes; bytes 3 and 4 stay
  EXPECT_EQ(wide.buffer[0], 0x02);
  EXPECT_EQ(wide.buffer[1], 0x00);
  EXPECT_EQ(wide.buffer[2], 0x02);
  EXPECT_EQ(wide.buffer[3], 0xFF);
  EXPECT_EQ(wide.buffer[4], 0xFF);

  TBitArray& narrow = Make(1);
  Bitarray::LoadGlobal(narrow, -15);  // slot 1 as well
  EXPECT_EQ(narrow.buffer[0], 0x02);

  // Storing replaces the slot's copy, byte count included.
  Bitarray::StoreGlobal(narrow, 1);
  Bitarray::Clear(wide);
  Bitarray::SetBit(wide, 20);
  Bitarray::LoadGlobal(wide, 1);
  EXPECT_EQ(wide.buffer[0], 0x02);
  EXPECT_TRUE(Bitarray::TestBit(wide, 20));

  // Other slots are empty: loading changes nothing.
  Bitarray::LoadGlobal(wide, 2);
  EXPECT_EQ(Bitarray::CountBits(wide), 2);
}

TEST_F(BitarrayTest, EngineRestartEmptiesTheSlots) {
  TBitArray& a = Make(2);
  Bitarray::SetBit(a, 3);
  for (int slot = 0; slot < Bitarray::kGlobalSlots; ++slot) Bitarray::StoreGlobal(a, slot);
  Units::StopEngine();
  Units::StartEngine();
  Bitarray::Clear(a);
  for (int slot = 0; slot < Bitarray::kGlobalSlots; ++slot) Bitarray::LoadGlobal(a, slot);
  EXPECT_EQ(Bitarray::CountBits(a), 0);
}

}  // namespace
