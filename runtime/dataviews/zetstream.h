// Streams over the engine's memo and blob transfers.
//
// The engine hands a memo or a blob of the current record out, or takes it
// in, in blocks: Init, blocks, Done, with one memo and one blob transfer open
// at a time. A TZetStream wraps one such transfer as a sequential toolkit
// stream, so texts and pictures read and write themselves with their
// ordinary stream code.
//
// What always holds:
//   1. A stream opens its transfer in the constructor and closes it once, in
//      Close or else in the destructor; a stream whose Init failed holds no
//      transfer (mode 0) and never calls Done. So a stream must be closed or
//      destroyed before the next one of its kind opens.
//   2. Position only grows: Seek forward reads (or writes zeros) up to the
//      target; Seek backward throws xmsg and changes nothing.
//   3. A read never goes past the size the engine announced; a block is at
//      most kZetBlock bytes. Read and write loops stop at the first negative
//      block answer without counting that block.
//   4. Status (toolkit codes): -2 bad open mode; -3 a read failed (info: the
//      engine's answer, 0 for a failed Init, 1 for a read on a stream not
//      reading); -4 a write failed (info: the engine's answer, 1 for a write
//      on a stream not writing, which writes nothing, 2 for a failed Done).
#pragma once

#include <cstdint>
#include <string>

#include "runtime/toolkit/kxstream.h"

namespace dataviews {

constexpr int32_t kZetRead = 0x0D00;
constexpr int32_t kZetWrite = 0x0D01;
constexpr int32_t kZetCreate = 0x0C00;
constexpr int32_t kZetBlock = 0x4000;

class TZetStream : public kxobject::TKxStream {
 public:
  TZetStream(int32_t cursor, const char* field);
  TZetStream(const TZetStream&) = delete;
  TZetStream& operator=(const TZetStream&) = delete;

  int32_t GetPos() override { return Position; }
  int32_t GetSize() override { return Size; }
  void Seek(int32_t pos) override;
  void Truncate() override {}
  uint32_t ReadHuge(void* buffer, uint32_t count) override;
  uint32_t WriteHuge(const void* buffer, uint32_t count) override;
  // Ends the transfer (a failed Done of a write records -4 with 2).
  virtual void Close() = 0;

  uint8_t Cursor;
  int32_t Position = 0;
  int32_t Size = 0;
  std::string FieldName;
  int32_t Mode = 0;

 protected:
  virtual int32_t ReadBlock(void* buffer, int32_t count) = 0;
  virtual int32_t WriteBlock(const void* buffer, int32_t count) = 0;
  // Opens the transfer by mode: initWrite or initRead answers the engine's
  // result (a read: the length).
  template <class W, class R>
  void Open(int32_t mode, W initWrite, R initRead) {
    if (mode == kZetCreate) mode = kZetWrite;
    Opened(mode, mode == kZetWrite ? initWrite() : mode == kZetRead ? initRead() : 0);
  }
  void Opened(int32_t mode, int32_t answer);
  // The shared part of Close: the Done call by mode, then closed.
  void Finish(int32_t (*doneRead)(), int32_t (*doneWrite)(int32_t, const char*));
};

class TZetMemoStream : public TZetStream {
 public:
  TZetMemoStream(int32_t cursor, const char* field, int32_t mode);
  ~TZetMemoStream() override { Close(); }
  void Close() override;

 protected:
  int32_t ReadBlock(void* buffer, int32_t count) override;
  int32_t WriteBlock(const void* buffer, int32_t count) override;
};

class TZetBlobStream : public TZetStream {
 public:
  // totalSize: what will be written in all (write mode).
  TZetBlobStream(int32_t cursor, const char* field, int32_t mode, int32_t totalSize = 0);
  ~TZetBlobStream() override { Close(); }
  void Close() override;

 protected:
  int32_t ReadBlock(void* buffer, int32_t count) override;
  int32_t WriteBlock(const void* buffer, int32_t count) override;
};

}  // namespace dataviews
