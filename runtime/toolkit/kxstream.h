// Streams and the stream format of every runtime document.
//
// Format (little-endian, no header, alignment or tags):
//
//   value        bytes   written as                      read as
//   flag         2       word 1 or 0                     true when not 0
//   integer      2       low 16 bits                     sign-extended
//   point        4       x, y  (integer words)           each sign-extended
//   size         4       cx, cy
//   rectangle    8       left, top, right, bottom
//   string       2 + n   u16 n, then n bytes, no NUL     n = 0: null; else
//                        (n = 0 for null and "")         new[n + 1] with NUL
//
// A string longer than 65,535 bytes cannot be written: WriteString refuses it
// whole with status -4 and writes nothing, so a document never holds a length
// that disagrees with its bytes.
//
// Status: a stream never throws. The first operation that fails records
// (status, info); later ones may overwrite it; ResetError clears it.
//
//   status  meaning                         info
//   -2      file/clipboard/memory not had   file -1; clipboard, memory 0
//   -3      read failed or short            file: bytes read; C stream -3;
//                                           memory 0; clipboard w/o data 1
//   -4      write failed                    file, C stream -4; memory 0
//
// Memory streams keep these invariants:
//   1. 0 <= Size <= the block's size; bytes at and past Size are not data.
//   2. A read never copies outside 0 .. Size, whatever Position a Seek left:
//      past the end it copies nothing and records -3.
//   3. A write that cannot grow the block records -4 and changes nothing:
//      not the bytes, not Position, not Size.
//   4. The block grows in whole steps of Delta; its size is exactly what was
//      asked for (the clipboard stream's block starts at 1000 bytes).
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/base/globalmem.h"
#include "runtime/toolkit/kxobject.h"

namespace kxobject {

struct TPoint {
  int32_t x = 0, y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};
struct TSize {
  int32_t cx = 0, cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};
struct TRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

constexpr int32_t kStreamOk = 0;
constexpr int32_t kStreamOpenError = -2;
constexpr int32_t kStreamReadError = -3;
constexpr int32_t kStreamWriteError = -4;
constexpr uint32_t kMaxStreamString = 65535;

constexpr int32_t kMemShareable = 2;  // TMemoryBlock mode of clipboard memory

// A locked block of movable global memory.
class TMemoryBlock : public TKxObject {
 public:
  TMemoryBlock(uint32_t size, int32_t mode, bool owns) { Alloc(size, mode, owns); }
  // Wraps an existing block; Data null and Size 0 when it cannot be locked.
  TMemoryBlock(win::HGLOBAL handle, bool owns);
  ~TMemoryBlock() override { Free(); }
  TMemoryBlock(const TMemoryBlock&) = delete;
  TMemoryBlock& operator=(const TMemoryBlock&) = delete;

  bool Alloc(uint32_t size, int32_t mode, bool owns);
  void Free();
  bool Assign(const TMemoryBlock& other);
  void Swap(TMemoryBlock& other);
  // Copy out of or into the block, cut to the block's size; answer the count.
  uint32_t Get(uint32_t offset, void* dest, uint32_t count) const;
  uint32_t Put(uint32_t offset, const void* src, uint32_t count);
  // Answers the block's size afterwards: a failed resize keeps the old block
  // whole (content, size, mode), so the caller sees the size it had.
  uint32_t Resize(uint32_t newSize, int32_t mode);
  // Hands the memory out: the object forgets it without freeing it.
  win::HGLOBAL Release();
  win::HGLOBAL Handle() const { return handle_; }

  uint8_t* Data = nullptr;
  int32_t Mode = 0;
  uint32_t Size = 0;
  bool Owns = false;

 private:
  win::HGLOBAL handle_;
};

class TKxStream : public TKxObject {
 public:
  using ErrorHook = void (*)(TKxStream& stream);
  static ErrorHook StreamErrorHook;  // empty by default

  virtual void Error(int32_t status, int32_t info);
  virtual void Flush() {}
  virtual int32_t GetPos() = 0;
  virtual int32_t GetSize() = 0;
  virtual void Seek(int32_t pos) = 0;
  virtual void Truncate() = 0;
  virtual uint32_t ReadHuge(void* buffer, uint32_t count) = 0;
  virtual uint32_t WriteHuge(const void* buffer, uint32_t count) = 0;
  virtual uint16_t Read(void* buffer, uint16_t count) { return uint16_t(ReadHuge(buffer, count)); }
  virtual uint16_t Write(const void* buffer, uint16_t count) { return uint16_t(WriteHuge(buffer, count)); }

  void ResetError() { Status = ErrorInfo = 0; }
  void CopyFrom(TKxStream& source, uint32_t count);

  void WriteBool(bool value);
  bool ReadBool();
  void WriteInt(int32_t value);
  int32_t ReadInt();
  void WritePoint(const TPoint& p);
  TPoint ReadPoint();
  void WriteSize(const TSize& s);
  TSize ReadSize();
  void WriteRect(const TRect& r);
  TRect ReadRect();
  void WriteString(const char* text);
  // A new[] text the caller owns, or null for an empty one (or a failed read).
  char* ReadString();

  int32_t Status = 0;
  int32_t ErrorInfo = 0;

 private:
  uint16_t ReadWord();
  void WriteWord(int32_t value);
  void WritePair(int32_t a, int32_t b);
  void ReadPair(int32_t& a, int32_t& b);
};

// "Fehler beim Lesen/Schreiben der Datei (<code>)", cut to max characters
// (the buffer holds max + 1).
void StreamErrorText(int32_t code, char* buffer, int32_t max);

// Open modes of a file stream.
constexpr int32_t kFileCreate = 0x0C00;
constexpr int32_t kFileRead = 0x0D00;
constexpr int32_t kFileWrite = 0x0D01;
constexpr int32_t kFileReadWrite = 0x0D02;

class TKxFileStream : public TKxStream {
 public:
  TKxFileStream(const char* fileName, int32_t mode);
  ~TKxFileStream() override;

  int32_t GetPos() override { return pos_; }
  int32_t GetSize() override;
  void Seek(int32_t pos) override { pos_ = pos; }
  void Truncate() override {}
  uint32_t ReadHuge(void* buffer, uint32_t count) override;
  uint32_t WriteHuge(const void* buffer, uint32_t count) override;
  // Last write time: DOS time in the low word, DOS date in the high word.
  uint32_t GetDosDateTime();

 private:
  int handle_ = -1;
  int32_t pos_ = 0;
};

// A stream over a C FILE.
class TStreamStream : public TKxStream {
 public:
  // A file that cannot be opened leaves status -2 (info -1); every operation
  // is then a no-op that records its failure.
  TStreamStream(const char* fileName, const char* mode);
  // An open FILE that the stream does not close (standard output).
  explicit TStreamStream(FILE* file) : Attached(true), File(file) {}
  ~TStreamStream() override;

  int32_t GetPos() override;
  int32_t GetSize() override;
  void Seek(int32_t pos) override;
  void Truncate() override {}
  uint32_t ReadHuge(void* buffer, uint32_t count) override;
  uint32_t WriteHuge(const void* buffer, uint32_t count) override;

  bool Attached = false;
  FILE* File = nullptr;
};

class TMemStream : public TKxStream {
 public:
  TMemStream(uint32_t initialSize, int32_t delta);
  TMemStream(TMemoryBlock* block, int32_t delta, bool ownsBlock);
  ~TMemStream() override;

  int32_t GetPos() override { return Position; }
  int32_t GetSize() override { return Size; }
  void Seek(int32_t pos) override { Position = pos; }
  void Truncate() override { SetBlockSize(Position < 0 ? 0 : uint32_t(Position), 0); }
  uint32_t ReadHuge(void* buffer, uint32_t count) override;
  uint32_t WriteHuge(const void* buffer, uint32_t count) override;
  // Creates or resizes the block; false (block unchanged) when that fails.
  bool SetBlockSize(uint32_t newSize, int32_t mode);

  int32_t Size = 0;
  int32_t Delta = 0;
  int32_t Position = 0;
  bool OwnsBlock = true;
  TMemoryBlock* Block = nullptr;

 protected:
  TMemStream() = default;
};

constexpr int32_t kClipboardWrite = 1;
constexpr int32_t kClipboardRead = 2;
constexpr uint32_t kClipboardBlock = 1000;

// A memory stream whose block comes from the clipboard (read mode) or goes to
// it (write mode, at Flush, which the destructor performs). The clipboard stays
// open for the stream's life; when it could not be opened the stream keeps
// status -2 and makes no clipboard call at all.
class TClipboardStream : public TMemStream {
 public:
  TClipboardStream(uint32_t format, uint32_t owner, int32_t mode);
  ~TClipboardStream() override;
  void Flush() override;

  uint32_t Format = 0;
  int32_t Mode = 0;
  uint32_t Owner = 0;

 private:
  bool open_ = false;
};

}  // namespace kxobject
