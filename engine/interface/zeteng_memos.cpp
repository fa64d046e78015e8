// Memo texts and blob data of a cursor's current record, moved across the
// interface in blocks: a host opens a transfer for one field, moves blocks
// of a size it chooses and closes the transfer. Also the import of a picture
// or sound file into a blob field, for the macro language.
//
// A transfer names its field by a text compiled like an expression against
// the cursor's table: a field name, or a table name, a point and a field
// name. A text that ends with "-" and holds a "_" is written in the form of
// a name: the "-" goes and every "_" becomes a point ("ARTIKEL_NOTIZ-").
// A field named RAMTEXT stands for the engine's in-memory text.
//
// What always holds:
//   1. Table storage keeps one memo and one blob transfer of each direction
//      open at a time; the block exports act on the open one and answer -12
//      when there is none.
//   2. Closing a write stores the new first block in the record buffer that
//      holds the field (the cursor's for its own table), never in a file:
//      the record is written by the host's confirm, which then frees the old
//      chain. A write that fails leaves the field naming its old content and
//      answers -25; the old content is never freed before the new one is
//      stored.
//   3. A failed Init leaves no transfer open.
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_open.h"
#include "platform/files.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr int32_t kCannotWrite = -25;
constexpr int32_t kWrongKind = -23;
constexpr std::string_view kRamTextField = "RAMTEXT";
// The blob import writes the file in blocks of this size.
constexpr size_t kImportBlock = 32767;

// Where a transfer field lies: the table, the field and the first block the
// record names.
struct TFieldPlace {
  int table = 0;
  uint16_t field = 0;
  uint32_t first = 0;
  int32_t error = 0;
};

// The record buffer that holds a field of table `table` for cursor c.
uint8_t* FieldBuffer(TCursor& c, int table) {
  if (table == c.relation) return c.record.data();
  TZetTable* t = ZetTable::Table(table);
  return t ? t->recordBuffer.data() : nullptr;
}

// Compiles the field text against the cursor's table and finds the field of
// the expected type (Common::kTypeMemo or kTypeBlob).
TFieldPlace ResolveField(TCursor& c, const char* fieldText, uint8_t expected) {
  TFieldPlace place;
  std::string text(TextIn(fieldText));
  if (!text.empty() && text.back() == '-' && text.find('_') != std::string::npos) {
    text.pop_back();
    for (char& ch : text)
      if (ch == '_') ch = '.';
  }
  const int former = ZetTable::CurrentHandle();
  Zet01::SetCurrentTable(c.relation);
  ShortStr code(text);
  uint64_t tables = 0;
  const uint16_t e = Zet02::CompileExpression(code, tables);
  Zet01::SetCurrentTable(former);
  if (e != 0) {
    place.error = kUnknownField;
    return place;
  }
  // Only a single field reference names a place to read or write.
  if (code.size() != 4 || code.byte(0) != ByteCode::tkField) {
    place.error = kWrongKind;
    return place;
  }
  place.table = code.byte(1);
  place.field = uint16_t(code.byte(2) | code.byte(3) << 8);
  const TZetTable* t = ZetTable::Table(place.table);
  const uint8_t* buffer = FieldBuffer(c, place.table);
  if (!t || !t->ValidField(place.field) || t->FieldType(place.field) != expected || !buffer) {
    place.error = kWrongKind;
    return place;
  }
  place.first = bytes::GetU32(buffer + t->FieldOffset(place.field));
  if (ZetTable::FieldName(place.table, place.field).view() == kRamTextField) place.first = WINMEMOS::kInMemoryMemo;
  return place;
}

// Stores a new first block into the field and tells the cursors that show
// the table.
void StoreFirstBlock(TCursor& c, const TFieldPlace& place, uint32_t first) {
  const TZetTable* t = ZetTable::Table(place.table);
  if (uint8_t* buffer = FieldBuffer(c, place.table)) bytes::PutU32(buffer + t->FieldOffset(place.field), first);
  c.changed = true;
  NotifyCursors(place.table, HandleOf(c));
}

int32_t Count(int32_t count) { return count < 0 ? 0 : count; }

// Writes a picture or sound file into a blob field of the current record of
// a table: the kind word (2 x kind) and the file. Answers the blob's length,
// 0 on failure.
int32_t ImportBlobFile(int slot, uint16_t field, std::string_view fileName, double) {
  const int kind = WinBlobs::KindFromExtension(fileName);
  TZetTable* t = ZetTable::Table(slot);
  if (kind == 0 || !t || !t->ValidField(field) || t->FieldType(field) != Common::kTypeBlob) return 0;
  platform::FileHandle h = platform::kNoFile;
  if (platform::OpenFile(std::string(fileName), platform::kAccessRead | platform::kShareDenyNone, h) != 0) return 0;
  const uint8_t* record = t->recordBuffer.data();
  const uint32_t old = bytes::GetU32(record + t->FieldOffset(field));
  int32_t length = 0;
  bool ok = WinBlobs::InitPutBlob(t->blobFile, old) == 0;
  uint8_t word[2];
  bytes::PutU16(word, uint16_t(2 * kind));
  ok = ok && WinBlobs::PutBlobBlock(2, word) == 2;
  std::vector<uint8_t> block(kImportBlock);
  for (uint64_t at = 0; ok;) {
    size_t got = 0;
    if (platform::ReadAt(h, at, block.data(), block.size(), got) != 0) ok = false;
    if (got > 0 && WinBlobs::PutBlobBlock(int32_t(got), block.data()) != int32_t(got)) ok = false;
    at += got;
    length += int32_t(got);
    if (got < block.size()) break;
  }
  platform::CloseFile(h);
  const uint32_t first = WinBlobs::DonePutBlob();
  if (!ok || WinBlobs::Status() != 0 || first == 0) return 0;
  bytes::PutU32(t->recordBuffer.data() + t->FieldOffset(field), first);
  return length + 2;
}

}  // namespace

void InstallTransferServices() { EngineHooks::LinkBlobFile = ImportBlobFile; }

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

// ---- Memos -----------------------------------------------------------------

int32_t ZetTableInitGetMemo(int32_t cursor, const char* field) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TFieldPlace place = ResolveField(*r.cursor, field, Common::kTypeMemo);
  if (place.error) return place.error;
  if (place.first >= WINMEMOS::kBlockNumberLimit && place.first != WINMEMOS::kInMemoryMemo) return -1;
  return WINMEMOS::InitGetMemo(ZetTable::Table(place.table)->memoFile, place.first);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetMemoBlock(char* buffer, int32_t count) try {
  if (!buffer) return 0;
  return WINMEMOS::GetMemoBlock(Count(count), buffer);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableDoneGetMemo(void) try {
  WINMEMOS::DoneGetMemo();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableInitPutMemo(int32_t cursor, const char* field) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TFieldPlace place = ResolveField(*r.cursor, field, Common::kTypeMemo);
  if (place.error) return place.error;
  return WINMEMOS::InitPutMemo(ZetTable::Table(place.table)->memoFile) == 0 ? 0 : kCannotWrite;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTablePutMemoBlock(const char* buffer, int32_t count) try {
  if (!buffer) return 0;
  return WINMEMOS::PutMemoBlock(Count(count), buffer);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableDonePutMemo(int32_t cursor, const char* field) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TFieldPlace place = ResolveField(*r.cursor, field, Common::kTypeMemo);
  if (place.error) return place.error;
  const uint32_t first = WINMEMOS::DonePutMemo(ZetTable::Table(place.table)->memoFile, place.first);
  if (WINMEMOS::Status() != 0) return kCannotWrite;
  if (place.first != WINMEMOS::kInMemoryMemo) StoreFirstBlock(*r.cursor, place, first);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Blobs -----------------------------------------------------------------

int32_t ZetTableInitGetBlob(int32_t cursor, const char* field) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TFieldPlace place = ResolveField(*r.cursor, field, Common::kTypeBlob);
  if (place.error) return place.error;
  return WinBlobs::InitGetBlob(ZetTable::Table(place.table)->blobFile, place.first);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetBlobBlock(void* buffer, int32_t count) try {
  if (!buffer) return 0;
  return WinBlobs::GetBlobBlock(Count(count), buffer);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableDoneGetBlob(void) try {
  WinBlobs::DoneGetBlob();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableInitPutBlob(int32_t cursor, const char* field, int32_t length) try {
  (void)length;  // the blob takes the length of the bytes put
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TFieldPlace place = ResolveField(*r.cursor, field, Common::kTypeBlob);
  if (place.error) return place.error;
  return WinBlobs::InitPutBlob(ZetTable::Table(place.table)->blobFile, place.first) == 0 ? 0 : kCannotWrite;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTablePutBlobBlock(const void* buffer, int32_t count) try {
  if (!buffer) return 0;
  return WinBlobs::PutBlobBlock(Count(count), buffer);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableDonePutBlob(int32_t cursor, const char* field) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TFieldPlace place = ResolveField(*r.cursor, field, Common::kTypeBlob);
  if (place.error) return place.error;
  const uint32_t first = WinBlobs::DonePutBlob();
  if (WinBlobs::Status() != 0) return kCannotWrite;
  StoreFirstBlock(*r.cursor, place, first);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
