#include "runtime/dataviews/zetstream.h"

#include <algorithm>

#include "engine/interface/include/zetcore.h"
#include "runtime/toolkit/kxobject.h"

namespace dataviews {

using kxobject::kStreamOpenError;
using kxobject::kStreamReadError;
using kxobject::kStreamWriteError;

TZetStream::TZetStream(int32_t cursor, const char* field) : Cursor(uint8_t(cursor)), FieldName(field ? field : "") {}

void TZetStream::Seek(int32_t pos) {
  if (pos < Position) throw kxobject::xmsg("TZetStream does not support backward seek.");
  const uint8_t zero = 0;
  uint8_t byte;
  while (Position < pos) {
    const int32_t before = Position;
    if (Mode == kZetRead)
      ReadHuge(&byte, 1);
    else
      WriteHuge(&zero, 1);
    if (Position == before) return;  // the end, or a failure already recorded
  }
}

uint32_t TZetStream::ReadHuge(void* buffer, uint32_t count) {
  if (Mode != kZetRead) {
    Error(kStreamReadError, 1);
    return 0;
  }
  const uint32_t left = Size > Position ? uint32_t(Size - Position) : 0;
  uint32_t rest = std::min(count, left), done = 0;
  auto* at = static_cast<uint8_t*>(buffer);
  while (rest > 0) {
    const int32_t block = int32_t(std::min<uint32_t>(rest, kZetBlock));
    const int32_t got = ReadBlock(at, block);
    if (got < 0) {
      Error(kStreamReadError, got);
      break;
    }
    if (got == 0) break;
    Position += got, done += uint32_t(got), at += got, rest -= uint32_t(got);
  }
  return done;
}

uint32_t TZetStream::WriteHuge(const void* buffer, uint32_t count) {
  if (Mode != kZetWrite) {
    Error(kStreamWriteError, 1);
    return 0;
  }
  uint32_t rest = count, done = 0;
  const auto* at = static_cast<const uint8_t*>(buffer);
  while (rest > 0) {
    const int32_t block = int32_t(std::min<uint32_t>(rest, kZetBlock));
    const int32_t put = WriteBlock(at, block);
    if (put < 0) {
      Error(kStreamWriteError, put);
      break;
    }
    Position += block, done += uint32_t(block), at += block, rest -= uint32_t(block);
  }
  return done;
}

void TZetStream::Opened(int32_t mode, int32_t answer) {
  if (mode == kZetWrite) {
    if (answer != 0)
      Error(kStreamWriteError, answer);
    else
      Mode = kZetWrite;
  } else if (mode == kZetRead) {
    if (answer < 0) {
      Error(kStreamReadError, 0);
    } else {
      Mode = kZetRead;
      Size = answer;
    }
  } else {
    Error(kStreamOpenError, 0);
  }
}

void TZetStream::Finish(int32_t (*doneRead)(), int32_t (*doneWrite)(int32_t, const char*)) {
  if (Mode == kZetRead)
    doneRead();
  else if (Mode == kZetWrite && doneWrite(Cursor, FieldName.c_str()) != 0)
    Error(kStreamWriteError, 2);
  Mode = 0;
  Size = 0;
}

TZetMemoStream::TZetMemoStream(int32_t cursor, const char* field, int32_t mode) : TZetStream(cursor, field) {
  Open(
      mode, [&] { return ZetTableInitPutMemo(cursor, FieldName.c_str()); },
      [&] { return ZetTableInitGetMemo(cursor, FieldName.c_str()); });
}

void TZetMemoStream::Close() { Finish(ZetTableDoneGetMemo, ZetTableDonePutMemo); }

int32_t TZetMemoStream::ReadBlock(void* buffer, int32_t count) {
  return ZetTableGetMemoBlock(static_cast<char*>(buffer), count);
}

int32_t TZetMemoStream::WriteBlock(const void* buffer, int32_t count) {
  Size += count;
  return ZetTablePutMemoBlock(static_cast<const char*>(buffer), count);
}

TZetBlobStream::TZetBlobStream(int32_t cursor, const char* field, int32_t mode, int32_t totalSize)
    : TZetStream(cursor, field) {
  Open(
      mode, [&] { return ZetTableInitPutBlob(cursor, FieldName.c_str(), totalSize); },
      [&] { return ZetTableInitGetBlob(cursor, FieldName.c_str()); });
}

void TZetBlobStream::Close() { Finish(ZetTableDoneGetBlob, ZetTableDonePutBlob); }

int32_t TZetBlobStream::ReadBlock(void* buffer, int32_t count) { return ZetTableGetBlobBlock(buffer, count); }

int32_t TZetBlobStream::WriteBlock(const void* buffer, int32_t count) { return ZetTablePutBlobBlock(buffer, count); }

}  // namespace dataviews
