// Opening tables made by Zet06::CreateTable and appending records, for the
// index tests: just enough of an open and an append to put keys into
// indexes (header read, automatic slots, record write, count, keys).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"

namespace index_test {

using ZetTable::TZetTable;

// Opens the table file into the next free slot (read/write, deny write)
// with the given rights; answers the handle (0 on failure).
inline int OpenForTest(const std::string& path, uint16_t rights = ZetTable::kRightsMask, uint32_t key = 0) {
  auto t = std::make_unique<TZetTable>();
  const Common::FileNameParts parts = Common::SplitFileName(path);
  t->directory = parts.directory;
  t->fileName = Common::AppendStrCopy(parts.name, parts.extension);
  t->openModeWord = rights;
  t->fileOpenMode = LOWFILES::kModeReadWriteDenyWrite;
  t->tableKey = key;
  t->tableFile = std::make_unique<LOWFILES::TLowFile>();
  if (LOWFILES::OpenLowFile(*t->tableFile, path, t->fileOpenMode) != 0) return 0;
  if (Zet01::ReadTableHeader(*t) != 0) return 0;
  if (Zet00::AssignIndexFileNames(*t) != 0) return 0;
  t->recordBuffer.assign(t->recordLength, 0);
  const int h = zettable_test::Install(std::move(t));
  uint64_t open = ZetTable::OpenTableSet();
  ZetTable::IncludeHandle(open, h);
  ZetTable::SetOpenTableSet(open);
  ZetTable::BuildFieldNameHash(h);
  return h;
}

// Sets field n of the record buffer from a text.
inline void SetText(int h, uint16_t n, const std::string& text) {
  TZetTable* t = ZetTable::Table(h);
  ZetTable::SetFieldText(h, n, t->recordBuffer.data(), text);
}

inline std::string GetText(int h, uint16_t n, uint32_t recno) {
  TZetTable* t = ZetTable::Table(h);
  std::vector<uint8_t> record(t->recordLength);
  EXPECT_EQ(Zet00::ReadRecordHook(h, recno, record.data()), 0);
  return ZetTable::FieldText(*t, n, record.data()).str();
}

// Writes the record count into the table file's header.
inline void WriteCount(TZetTable& t) {
  uint8_t raw[4];
  bytes::PutI32(raw, t.recordCount);
  ASSERT_EQ(LOWFILES::WriteBlock(*t.tableFile, Zet00::RecordCountPosition(t.version), 4, 0, raw), 0);
}

// Appends the record buffer as a new record: written behind the last one,
// counted, its keys inserted; then cleared. Answers InsertRecordKeys's
// result (the count is taken back on failure).
inline int AppendForTest(int h) {
  TZetTable* t = ZetTable::Table(h);
  const uint32_t recno = uint32_t(t->recordCount) + 1;
  EXPECT_EQ(LOWFILES::WriteBlock(*t->tableFile, t->headerSize + uint64_t(recno - 1) * t->recordLength,
                                 t->recordLength, t->tableKey, t->recordBuffer.data()),
            0);
  ++t->recordCount;
  const int result = Zet00::InsertRecordKeys(h, recno);
  if (result != 0) --t->recordCount;
  WriteCount(*t);
  t->recordBuffer.assign(t->recordLength, 0);
  return result;
}

// The record numbers of an index in key order, walked with the table's
// current key.
inline std::vector<uint32_t> WalkIndex(int h, int slot) {
  std::vector<uint32_t> order;
  TZetTable* t = ZetTable::Table(h);
  for (uint8_t s = Zet00::IndexFirst(h, slot); s == Zet00::kStatusFound; s = Zet00::IndexNext(h, slot))
    order.push_back(Zet00::KeyRecordNumber(t->currentKey.data()));
  return order;
}

// Closes a table opened by OpenForTest (indexes with their headers).
inline void CloseForTest(int h) {
  TZetTable* t = ZetTable::Table(h);
  Zet00::CloseIndexes(h, false);
  LOWFILES::CloseLowFile(*t->tableFile, false);
  ZetTable::RemoveTable(h);
  if (h == ZetTable::OpenCount()) ZetTable::SetOpenCount(h - 1);
}

}  // namespace index_test
