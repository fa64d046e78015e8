// Tables for the record-layer tests: made by the table creator, opened by
// OpenTable and filled record by record through WriteRecord.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"

namespace zet01_test {

using Bytes = std::vector<uint8_t>;
using ZetTable::TZetTable;
using zettable_test::FieldDef;

inline constexpr uint16_t kAllRights = ZetTable::kRightsMask;
inline constexpr uint16_t kReadOnly = 0;

// A user index over the fields (field number, part length, type).
inline void AddUserIndex(TZetTable& t, int slot, const std::string& name,
                         const std::vector<Zet00::TKeyPart>& parts) {
  auto d = std::make_unique<ZetTable::TIndexDescriptor>();
  d->fileName = name;
  for (size_t i = 0; i < parts.size(); ++i) Zet00::SetKeyPart(d->header.data(), i, parts[i]);
  t.indexes[size_t(slot)] = std::move(d);
}

// Creates a table file of version 2 with the fields (record length: what
// the fields take, or recordLength when given) and the code, scrambling its
// records with key.
inline void CreateTableFile(const std::string& path, const std::vector<FieldDef>& fields,
                            uint32_t key = 0, const std::string& code = "",
                            uint16_t recordLength = 0,
                            void (*prepare)(TZetTable&) = nullptr) {
  auto t = zettable_test::MakeTable(2, fields);
  if (recordLength != 0) t->recordLength = recordLength;
  if (prepare) prepare(*t);
  ASSERT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString(code), false, 0, key), 0);
}

// Sets field n of the table's record buffer from a text.
inline void SetField(int slot, uint16_t n, const std::string& text) {
  TZetTable* t = ZetTable::Table(slot);
  t->recordBuffer.resize(t->recordLength);
  ZetTable::SetFieldText(slot, n, t->recordBuffer.data(), text);
}

inline std::string FieldOf(int slot, uint16_t n) {
  const TZetTable* t = ZetTable::Table(slot);
  return ZetTable::FieldText(*t, n, t->recordBuffer.data()).str();
}

// Appends the record buffer as record count + 1: written, counted, keyed.
inline void AppendRecord(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  const uint32_t recno = uint32_t(t->recordCount) + 1;
  ASSERT_EQ(Zet01::WriteRecord(slot, recno), 0);
  ++t->recordCount;
  ASSERT_EQ(Zet00::InsertRecordKeys(slot, recno), 0);
}

// Appends one record per text, each text going into field n.
inline void AppendTexts(int slot, uint16_t n, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    ZetTable::ClearRecordBuffer(slot);
    SetField(slot, n, text);
    AppendRecord(slot);
  }
  ASSERT_EQ(Zet01::FlushTable(slot, true), 0);
}

inline Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

}  // namespace zet01_test
