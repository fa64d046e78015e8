#include "engine/storage/fulltext/fulltext_tables.h"

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace FullText {
namespace {

using ZetTable::TZetTable;

// The next automatic number fills the last 4 bytes of the header.
constexpr uint32_t kAutoNumberBytes = 4;
constexpr uint32_t kFirstAutoNumber = 1;

int Fail(const TZetTable& t, uint16_t error) {
  Common::SetFileError(error, Common::AppendStrCopy(t.directory, t.fileName));
  return error;
}

}  // namespace

uint32_t ReadNextAutoNumber(int handle) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !t->hasAutoNumber || !t->tableFile) return 0;
  uint8_t raw[kAutoNumberBytes];
  if (LOWFILES::ReadBlock(*t->tableFile, t->headerSize - kAutoNumberBytes, kAutoNumberBytes, 0, raw) != 0)
    return t->nextAutoNumber;
  return bytes::GetU32(raw);
}

int WriteNextAutoNumber(int handle, uint32_t next) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !t->hasAutoNumber || !t->tableFile) return 0;
  uint8_t raw[kAutoNumberBytes];
  bytes::PutU32(raw, next);
  if (LOWFILES::WriteBlock(*t->tableFile, t->headerSize - kAutoNumberBytes, kAutoNumberBytes, 0, raw) != 0)
    return Fail(*t, Common::kErrWrite);
  t->nextAutoNumber = next;
  return 0;
}

int EmptyTable(int handle) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !t->tableFile) return Common::kErrWrite;
  Zet01::ClearRecordCache(handle);
  if (LOWFILES::TruncateAt(*t->tableFile, t->headerSize) != 0) return Fail(*t, Common::kErrWrite);
  t->recordCount = 0;
  t->countUnknown = false;
  t->currentRecord = 0;
  ZetTable::ClearRecordBuffer(handle);
  if (const int error = Zet01::WriteRecordCount(handle)) return error;
  if (const int error = WriteNextAutoNumber(handle, kFirstAutoNumber)) return error;
  for (int slot = Zet00::FirstIndexSlot(*t); slot <= t->highestIndexSlot; ++slot)
    if (t->indexes[size_t(slot)])
      if (const int error = Zet00::RebuildIndex(handle, slot)) return error;
  return 0;
}

}  // namespace FullText
