// A source table, its full-text word table and relation table, for the
// full-text tests: made by the table creator, opened by OpenTable, filled
// record by record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/storage/btrees.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_fields.h"
#include "engine/storage/fulltext/fulltext_tables.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/engine_fixture.h"

namespace fulltext_test {

using ZetTable::TZetTable;
using zettable_test::FieldDef;

// Source table QUELLE.DAT.
inline constexpr uint16_t kNr = 1;
inline constexpr uint16_t kTitle = 2;
inline constexpr uint16_t kText = 3;
inline constexpr uint16_t kWeight = 4;
inline constexpr uint16_t kTitleSize = 60;
inline constexpr uint32_t kSourceKey = 0x5EED1234;
// Word table WORTE.DAT.
inline constexpr uint16_t kWord = 1;
inline constexpr uint16_t kHits = 2;
inline constexpr uint16_t kWordNr = 3;
inline constexpr uint16_t kWordSize = 30;
// Slots.
inline constexpr int kSource = 1;
inline constexpr int kWords = 2;
inline constexpr int kRel = 3;

inline void SetIdKey(TZetTable& t, const std::vector<Zet00::TKeyPart>& parts) {
  for (size_t i = 0; i < parts.size(); ++i) Zet00::SetKeyPart(t.idKeyDescription.data(), i, parts[i]);
  t.nextAutoNumber = 1;
}

// A compiled field list of fields of the source table.
inline std::string FieldList(const std::vector<uint16_t>& fields, int table = kSource) {
  std::string list;
  for (uint16_t f : fields) {
    if (!list.empty()) list += char(FullText::kCodeSeparator);
    list += char(FullText::kCodeField);
    list += char(table);
    list += char(f & 0xFF);
    list += char(f >> 8);
  }
  return list;
}

struct Row {
  std::string title;
  std::string memo;
  int16_t weight = 0;
};

struct Layout {
  bool hitCounts = true;  // the word table has ANZAHL
  bool wordKey = true;    // its index 1 is keyed by word and number
  uint16_t wordVersion = 2;
  uint32_t sourceKey = kSourceKey;  // scrambles the source's records
  uint32_t wordTableKey = 0;        // scrambles the word table's records
};

class FullTextTableTest : public zettest::EngineTest {
 protected:
  // Creates and opens QUELLE.DAT {NR N, TITEL S60, TEXT M, GEWICHT I,
  // VOLLTEXT R} with VOLLTEXT.REL, and WORTE.DAT {WORT S30, ANZAHL I, NR N}
  // whose index 1 is keyed by word and number (a proper word table) or by
  // number alone.
  void CreateTables(const Layout& layout = Layout()) {
    sourceKey_ = layout.sourceKey;
    wordTableKey_ = layout.wordTableKey;
    const uint32_t sourceKey = layout.sourceKey;
    auto source = zettable_test::MakeTable(
        2, {{"NR", Common::kTypeAutoNumber, 3, 10}, {"TITEL", Common::kTypeString, kTitleSize, kTitleSize},
            {"TEXT", Common::kTypeMemo, 3, 1}, {"GEWICHT", Common::kTypeInteger, 1, 6},
            {"VOLLTEXT", Common::kTypeRelation, 0, 0}});
    SetIdKey(*source, {{kNr, 4, Common::kTypeAutoNumber}});
    ASSERT_EQ(Zet06::CreateTable(*source, TempPath("QUELLE.DAT"), {}, true, 0, sourceKey), 0);

    std::vector<FieldDef> fields = {{"WORT", Common::kTypeString, kWordSize, kWordSize}};
    if (layout.hitCounts) fields.push_back({"ANZAHL", Common::kTypeInteger, 1, 6});
    fields.push_back({"NR", Common::kTypeAutoNumber, 3, 10});
    auto words = zettable_test::MakeTable(layout.wordVersion, fields);
    const Zet00::TKeyPart number{uint16_t(fields.size()), 4, Common::kTypeAutoNumber};
    if (layout.wordKey)
      SetIdKey(*words, {{kWord, kWordSize + 1, Common::kTypeString}, number});
    else
      SetIdKey(*words, {number});
    ASSERT_EQ(Zet06::CreateTable(*words, TempPath("WORTE.DAT"), {}, false, 0, layout.wordTableKey), 0);
    OpenTables();
  }

  void OpenTables() {
    ASSERT_EQ(Zet01::OpenTable(kSource, ZetTable::kRightsMask, TempPath("QUELLE.DAT"), 0, sourceKey_, ""), 0);
    ASSERT_EQ(Zet01::OpenTable(kWords, ZetTable::kRightsMask, TempPath("WORTE.DAT"), 0, wordTableKey_, ""), 0);
    ASSERT_EQ(Zet01::OpenTable(kRel, ZetTable::kRightsMask, TempPath("VOLLTEXT.REL"), 0, 0, ""), 0);
  }

  static TZetTable& T(int slot) { return *ZetTable::Table(slot); }

  // What a crash during an add leaves: index 2 of the relation table says
  // unsettled on disk. The relation table is opened again, which builds the
  // index again from the relation records.
  void ReopenWithRelationIndexUnsettled() {
    const std::string path = Zet00::IndexPath(T(kRel), FullText::kRelationIndex).str();
    ASSERT_EQ(Zet01::CloseTable(kRel), 0);
    {
      std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
      ASSERT_TRUE(file.is_open()) << path;
      uint8_t raw[sizeof(int32_t)];
      bytes::PutI32(raw, Zet00::kUnsettledCount);
      file.seekp(std::streamoff(BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount));
      ASSERT_TRUE(file.write(reinterpret_cast<const char*>(raw), sizeof raw));
    }
    ASSERT_EQ(Zet01::OpenTable(kRel, ZetTable::kRightsMask, TempPath("VOLLTEXT.REL"), 0, 0, ""), 0);
  }

  // Fills the source's record buffer from a row (memo written to the memo
  // file) with the next auto number.
  static void PutRow(const Row& row) {
    TZetTable& t = T(kSource);
    ZetTable::ClearRecordBuffer(kSource);
    ZetTable::SetFieldText(kSource, kTitle, t.recordBuffer.data(), row.title);
    bytes::PutI16(t.recordBuffer.data() + t.FieldOffset(kWeight), row.weight);
    if (!row.memo.empty()) {
      ASSERT_EQ(WINMEMOS::InitPutMemo(t.memoFile), 0);
      WINMEMOS::PutMemoBlock(int32_t(row.memo.size()), row.memo.data());
      const uint32_t first = WINMEMOS::DonePutMemo(t.memoFile, 0);
      ASSERT_NE(first, 0u);
      bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(kText), first);
    }
    bytes::PutI32(t.recordBuffer.data() + t.FieldOffset(kNr), t.recordCount + 1);
  }

  // Appends a row as a source record with its keys.
  static void Append(const Row& row) {
    PutRow(row);
    ASSERT_EQ(Zet01::AppendRecord(kSource, true, 0), 0);
    ASSERT_EQ(FullText::WriteNextAutoNumber(kSource, uint32_t(T(kSource).recordCount) + 1), 0);
  }

  // Writes many rows quickly, without index keys: the full-text build reads
  // the source by record number.
  static void AppendMany(const std::vector<Row>& rows) {
    TZetTable& t = T(kSource);
    for (const Row& row : rows) {
      PutRow(row);
      ASSERT_EQ(Zet01::WriteRecord(kSource, uint32_t(t.recordCount) + 1), 0);
      ++t.recordCount;
    }
    ASSERT_EQ(Zet01::WriteRecordCount(kSource), 0);
    ASSERT_EQ(FullText::WriteNextAutoNumber(kSource, uint32_t(t.recordCount) + 1), 0);
  }

  FullText::TIndexRequest Request(uint16_t options = FullText::kOptHtml) const {
    FullText::TIndexRequest r;
    r.source = kSource;
    r.fieldList = FieldList({kTitle, kText});
    r.relationTable = kRel;
    r.wordTable = kWords;
    r.weightField = kWeight;  // NR, TITEL and TEXT are user fields 1 to 3
    r.options = options;
    return r;
  }

  static FullText::TRelationSlots Relations() {
    FullText::TRelationSlots slots{};
    slots[0] = kRel;
    return slots;
  }

  // The source records a query marks, in order.
  static std::vector<uint32_t> Marks(const std::string& query, int32_t filter = 0, int16_t expected = 0) {
    EXPECT_EQ(FullText::MarkRecords(kSource, kWords, query, "", "", Relations(), filter), expected) << query;
    std::vector<uint32_t> marks = ZetTable::MarkList(T(kSource)).Items();
    std::sort(marks.begin(), marks.end());
    return marks;
  }

  struct WordRecord {
    std::string word;
    int hits;
    int number;
    bool operator==(const WordRecord&) const = default;
  };
  // The records of the word table in record order.
  static std::vector<WordRecord> WordRecords() {
    std::vector<WordRecord> out;
    TZetTable& t = T(kWords);
    const bool hits = t.fieldCount == 3;
    for (int32_t r = 1; r <= t.recordCount; ++r) {
      EXPECT_EQ(Zet01::ReadRecord(kWords, uint32_t(r)), 0);
      out.push_back({ZetTable::FieldText(t, kWord, t.recordBuffer.data()).str(),
                     hits ? bytes::GetI16(t.recordBuffer.data() + t.FieldOffset(kHits)) : 0,
                     bytes::GetI32(t.recordBuffer.data() + t.FieldOffset(t.autoNumberField))});
    }
    return out;
  }

  // The relation records {source auto number, word number} in record order.
  static std::vector<std::pair<int32_t, int32_t>> RelationRecords() {
    std::vector<std::pair<int32_t, int32_t>> out;
    TZetTable& t = T(kRel);
    for (int32_t r = 1; r <= t.recordCount; ++r) {
      EXPECT_EQ(Zet01::ReadRecord(kRel, uint32_t(r)), 0);
      out.emplace_back(bytes::GetI32(t.recordBuffer.data()), bytes::GetI32(t.recordBuffer.data() + 4));
    }
    return out;
  }

  struct EntryKey {
    uint32_t entry;
    int32_t word;
    uint32_t record;
    uint16_t weight;
    bool operator==(const EntryKey&) const = default;
  };
  // The keys of index 2 of the relation table in key order.
  static std::vector<EntryKey> RelationKeys() {
    std::vector<EntryKey> out;
    BTREES::PTree tree = Zet00::IndexTree(kRel, FullText::kRelationIndex);
    EXPECT_NE(tree, nullptr);
    if (!tree) return out;
    EXPECT_EQ(tree->header.keyLength, FullText::kRelationKeyLength);
    uint8_t key[FullText::kRelationKeyLength];
    for (int r = BTREES::First(tree, key); r == BTREES::kResultOk; r = BTREES::Next(tree, key))
      out.push_back({bytes::GetU32(key), bytes::GetI32(key + 4), bytes::GetU32(key + 8), bytes::GetU16(key + 12)});
    return out;
  }

  uint32_t sourceKey_ = kSourceKey;
  uint32_t wordTableKey_ = 0;
};

}  // namespace fulltext_test
