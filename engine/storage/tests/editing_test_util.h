// The article table of the editing and crash tests, and the check that its
// indexes hold exactly the keys of its records, in order.
//
// ARTIKEL: NR auto number, CODE I (the unique ID index), NAME S20 (index
// NAMEN.IND), MENGE I (index MENGE.IND, descending), NOTIZ memo, BILD blob.
// Slots: 0 .INR (NR), 1 .ID (CODE), 2 NAMEN.IND, 3 MENGE.IND. A test that
// needs other user indexes (the fuzz seeds) names its own set.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/recordguard.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"

namespace editing_test {

using ZetTable::TZetTable;
using Key = std::array<uint8_t, ZetTable::kMaxKeySize>;

constexpr uint16_t kNr = 1, kCode = 2, kName = 3, kMenge = 4, kNotiz = 5, kBild = 6;
constexpr int kNrIndex = 0, kCodeIndex = 1, kNameIndex = 2, kMengeIndex = 3;
constexpr uint16_t kNameLength = 20;
constexpr uint32_t kTableKey = 0x5EED1234;

struct Article {
  int32_t nr = 0;
  int16_t code = 0;
  std::string name;
  int16_t menge = 0;
  uint32_t notiz = 0;
  uint32_t bild = 0;
  friend bool operator==(const Article&, const Article&) = default;
  friend void PrintTo(const Article& a, std::ostream* os) {
    *os << "{" << a.nr << ", " << a.code << ", \"" << a.name << "\", " << a.menge << ", " << a.notiz << ", " << a.bild
        << "}";
  }
};

inline std::unique_ptr<ZetTable::TIndexDescriptor> UserIndex(const char* name, uint16_t field, uint16_t length,
                                                              uint8_t type) {
  auto d = std::make_unique<ZetTable::TIndexDescriptor>();
  d->fileName = name;
  Zet00::SetKeyPart(d->header.data(), 0, {field, length, type});
  return d;
}

// A user index of the article table: its file and its one key part.
struct ArticleIndex {
  const char* file;
  uint16_t field;
  uint16_t length;
  uint8_t type;
};

// The user indexes the editing and crash tests work with (slots 2 and 3).
inline const std::vector<ArticleIndex> kArticleIndexes = {
    {"NAMEN.IND", kName, kNameLength + 1, Common::kTypeString},
    {"MENGE.IND", kMenge | ZetTable::kKeyDescending, 2, Common::kTypeInteger}};

// Creates the table file set with the given user indexes from slot 2 on;
// answers the table's path.
inline std::string CreateArticles(const std::string& path, uint32_t key = kTableKey,
                                  const std::vector<ArticleIndex>& indexes = kArticleIndexes) {
  auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                        {"CODE", Common::kTypeInteger, 1, 10},
                                        {"NAME", Common::kTypeString, kNameLength, kNameLength},
                                        {"MENGE", Common::kTypeInteger, 1, 10},
                                        {"NOTIZ", Common::kTypeMemo, 3, 4},
                                        {"BILD", Common::kTypeBlob, 3, 4}});
  Zet00::SetKeyPart(t->idKeyDescription.data(), 0, {kCode, 2, Common::kTypeInteger});
  t->idIndexFlag = true;
  t->nextAutoNumber = 1;
  for (size_t i = 0; i < indexes.size(); ++i)
    t->indexes[kNameIndex + i] = UserIndex(indexes[i].file, indexes[i].field, indexes[i].length, indexes[i].type);
  EXPECT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, key), 0);
  return path;
}

// Opens a table for editing into the next slot; answers the slot (0 on
// failure).
inline int OpenArticles(const std::string& path, uint32_t key = kTableKey) {
  const int slot = ZetTable::OpenCount() + 1;
  return Zet01::OpenTable(slot, ZetTable::kRightsMask, path, 0, key, "") == 0 ? slot : 0;
}

inline void CloseArticles(int h) {
  EXPECT_EQ(Zet01::CloseTable(h), 0);
  if (ZetTable::OpenCount() == h) ZetTable::SetOpenCount(h - 1);
}

inline Article ArticleOf(const TZetTable& t, const uint8_t* record) {
  Article a;
  a.nr = bytes::GetI32(record + t.FieldOffset(kNr));
  a.code = bytes::GetI16(record + t.FieldOffset(kCode));
  const uint8_t* name = record + t.FieldOffset(kName);
  a.name.assign(reinterpret_cast<const char*>(name + 1), std::min<size_t>(name[0], kNameLength));
  a.menge = bytes::GetI16(record + t.FieldOffset(kMenge));
  a.notiz = bytes::GetU32(record + t.FieldOffset(kNotiz));
  a.bild = bytes::GetU32(record + t.FieldOffset(kBild));
  return a;
}

// Puts code, name and amount (and the memo and blob blocks) into the record
// buffer; the auto number is left as it is.
inline void PutArticle(int h, const Article& a) {
  TZetTable& t = *ZetTable::Table(h);
  t.recordBuffer.resize(t.recordLength);
  uint8_t* r = t.recordBuffer.data();
  bytes::PutI16(r + t.FieldOffset(kCode), a.code);
  uint8_t* name = r + t.FieldOffset(kName);
  std::memset(name, 0, kNameLength + 1);
  name[0] = uint8_t(std::min<size_t>(a.name.size(), kNameLength));
  std::memcpy(name + 1, a.name.data(), name[0]);
  bytes::PutI16(r + t.FieldOffset(kMenge), a.menge);
  bytes::PutU32(r + t.FieldOffset(kNotiz), a.notiz);
  bytes::PutU32(r + t.FieldOffset(kBild), a.bild);
}

// Whether the table's last record crosses a page boundary of its file (its
// writes in place go through the record guard file).
inline bool LastRecordCrossesPage(const TZetTable& t) {
  return RecordGuard::CrossesPage(t.headerSize + uint64_t(t.recordCount - 1) * t.recordLength, t.recordLength);
}

// Record recno as the table file (through the record cache) holds it.
inline Article ReadArticle(int h, uint32_t recno) {
  TZetTable& t = *ZetTable::Table(h);
  std::vector<uint8_t> record(t.recordLength);
  EXPECT_EQ(Zet01::ReadRecordInto(h, recno, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0) << recno;
  return ArticleOf(t, record.data());
}

// Records 1..count as stored.
inline std::vector<std::vector<uint8_t>> ReadRecords(int h) {
  TZetTable& t = *ZetTable::Table(h);
  std::vector<std::vector<uint8_t>> all(size_t(std::max(t.recordCount, 0)), std::vector<uint8_t>(t.recordLength));
  for (uint32_t r = 1; r <= all.size(); ++r)
    EXPECT_EQ(Zet01::ReadRecordInto(h, r, all[r - 1].data(), nullptr, 0, ZetTable::kOrderRecords), 0) << r;
  return all;
}

inline std::vector<Article> ScanArticles(int h) {
  std::vector<Article> all;
  for (const auto& record : ReadRecords(h)) all.push_back(ArticleOf(*ZetTable::Table(h), record.data()));
  return all;
}

// True when record a comes before record b in the index of slot s, judged by
// the field values themselves (not by the index layer's comparison).
inline bool ArticleBefore(int s, const Article& a, uint32_t ra, const Article& b, uint32_t rb) {
  int order = 0;
  switch (s) {
    case kNrIndex: order = a.nr < b.nr ? -1 : a.nr > b.nr; break;
    case kCodeIndex: order = a.code < b.code ? -1 : a.code > b.code; break;
    case kNameIndex: order = UPPERCAS::CollateCompare(a.name, b.name); break;
    case kMengeIndex: order = a.menge > b.menge ? -1 : a.menge < b.menge; break;
  }
  return order < 0 || (order == 0 && ra < rb);
}

// Every index walk names each record 1..count once, with the key built from
// the record as stored, in the order of the field values. An index out of
// use is skipped when skipUnavailable (it is rebuilt at the next open).
inline void ExpectIndexesAgree(int h, bool skipUnavailable = false) {
  TZetTable& t = *ZetTable::Table(h);
  const std::vector<std::vector<uint8_t>> records = ReadRecords(h);
  std::vector<Article> scan;
  for (const auto& record : records) scan.push_back(ArticleOf(t, record.data()));
  const uint32_t count = uint32_t(t.recordCount);
  for (int s = 0; s <= t.highestIndexSlot; ++s) {
    SCOPED_TRACE("index slot " + std::to_string(s));
    if (!t.indexes[size_t(s)]) continue;
    if (!Zet00::IndexAvailable(h, s, false)) {
      EXPECT_TRUE(skipUnavailable) << "index out of use";
      continue;
    }
    const uint16_t keyLength = uint16_t(Zet00::KeyLength(t.indexes[size_t(s)]->header.data()));
    std::vector<bool> seen(count + 1, false);
    uint32_t previous = 0;
    for (uint8_t st = Zet00::IndexFirst(h, s); st == Zet00::kStatusFound; st = Zet00::IndexNext(h, s)) {
      const Key key = t.currentKey;
      const uint32_t recno = Zet00::KeyRecordNumber(key.data());
      ASSERT_TRUE(recno >= 1 && recno <= count) << "key of record " << recno << " beyond " << count;
      ASSERT_FALSE(seen[recno]) << "two keys of record " << recno;
      seen[recno] = true;
      Key expected{};
      ASSERT_EQ(Zet00::MakeKey(h, s, records[recno - 1].data(), expected.data(), recno), 0);
      ASSERT_EQ(std::memcmp(expected.data(), key.data(), keyLength), 0) << "stale key of record " << recno;
      if (previous != 0) {
        ASSERT_TRUE(ArticleBefore(s, scan[previous - 1], previous, scan[recno - 1], recno))
            << "record " << previous << " before " << recno;
      }
      previous = recno;
    }
    ASSERT_NE(Zet00::IndexStatus(), Zet00::kStatusFailed);
    for (uint32_t r = 1; r <= count; ++r) ASSERT_TRUE(seen[r]) << "no key of record " << r;
  }
}

}  // namespace editing_test
