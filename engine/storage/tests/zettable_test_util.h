// Building table objects field by field for the table tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/storage/zettable.h"

namespace zettable_test {

using ZetTable::TZetTable;

// One field: name, type code, size code, byte 44 and the type-byte flags.
struct FieldDef {
  std::string name;
  uint8_t type = 0;
  uint8_t size = 0;
  uint8_t shown = 1;
  uint8_t flags = 0;
  uint8_t column = 1;
  uint8_t line = 1;
};

inline void PutDescriptor(uint8_t* d, const FieldDef& f) {
  std::memset(d, 0, ZetTable::kDescriptorSize);
  d[ZetTable::kDescLayoutColumn] = f.column;
  d[ZetTable::kDescLayoutLine] = f.line;
  d[ZetTable::kDescName] = uint8_t(f.name.size());
  std::memcpy(d + ZetTable::kDescName + 1, f.name.data(), f.name.size());
  d[ZetTable::kDescSizeCode] = f.size;
  d[ZetTable::kDescShown] = f.shown;
  d[ZetTable::kDescType] = uint8_t(f.type | f.flags);
}

// A table of the given version whose record length is what its stored
// fields take.
inline std::unique_ptr<TZetTable> MakeTable(uint16_t version, const std::vector<FieldDef>& fields) {
  auto t = std::make_unique<TZetTable>();
  t->version = version;
  t->SetFieldCount(uint16_t(fields.size()));
  for (size_t i = 0; i < fields.size(); ++i) PutDescriptor(t->Descriptor(uint16_t(i + 1)), fields[i]);
  t->recordLength = uint16_t(t->ComputeLayout());
  t->fileName = "TEST.DAT";
  return t;
}

// Installs a table into the next free slot and answers its handle.
inline int Install(std::unique_ptr<TZetTable> t) {
  for (int h = 1; h <= ZetTable::kMaxOpenTables; ++h) {
    if (ZetTable::Table(h)) continue;
    ZetTable::InstallTable(h, std::move(t));
    if (h > ZetTable::OpenCount()) ZetTable::SetOpenCount(h);
    return h;
  }
  return 0;
}

}  // namespace zettable_test
