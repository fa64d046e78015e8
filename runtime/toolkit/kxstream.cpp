#include "runtime/toolkit/kxstream.h"

#include <algorithm>
#include <cstring>

#include "platform/clipboard.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace kxobject {

// ---- TMemoryBlock ----

namespace {

uint32_t AllocFlags(int32_t mode) {
  return win::GMEM_MOVEABLE | win::GMEM_ZEROINIT | (mode == kMemShareable ? win::GMEM_DDESHARE : 0);
}

}  // namespace

TMemoryBlock::TMemoryBlock(win::HGLOBAL handle, bool owns) : Owns(owns), handle_(handle) {
  Data = static_cast<uint8_t*>(win::GlobalLock(handle));
  Size = Data ? uint32_t(win::GlobalSize(handle)) : 0;
  if (!Data) handle_ = {};
}

bool TMemoryBlock::Alloc(uint32_t size, int32_t mode, bool owns) {
  Free();
  handle_ = win::GlobalAlloc(AllocFlags(mode), size);
  Data = static_cast<uint8_t*>(win::GlobalLock(handle_));
  if (!Data) {
    handle_ = {};
    Size = 0;
    Owns = false;
    return false;
  }
  Size = size;
  Owns = owns;
  Mode = mode;
  return true;
}

void TMemoryBlock::Free() {
  if (!Data) return;
  win::GlobalUnlock(handle_);
  if (Owns) win::GlobalFree(handle_);
  handle_ = {};
  Data = nullptr;
  Size = 0;
}

bool TMemoryBlock::Assign(const TMemoryBlock& other) {
  if (&other == this) return true;
  if (!Alloc(other.Size, other.Mode, other.Owns)) return false;
  if (Size) std::memcpy(Data, other.Data, Size);
  return true;
}

void TMemoryBlock::Swap(TMemoryBlock& other) {
  std::swap(Data, other.Data);
  std::swap(Size, other.Size);
  std::swap(Owns, other.Owns);
  std::swap(Mode, other.Mode);
  std::swap(handle_, other.handle_);
}

uint32_t TMemoryBlock::Get(uint32_t offset, void* dest, uint32_t count) const {
  if (offset >= Size) return 0;
  count = std::min(count, Size - offset);
  std::memcpy(dest, Data + offset, count);
  return count;
}

uint32_t TMemoryBlock::Put(uint32_t offset, const void* src, uint32_t count) {
  if (offset >= Size) return 0;
  count = std::min(count, Size - offset);
  std::memcpy(Data + offset, src, count);
  return count;
}

uint32_t TMemoryBlock::Resize(uint32_t newSize, int32_t mode) {
  if (!Data) return Size;
  win::GlobalUnlock(handle_);
  if (win::GlobalReAlloc(handle_, newSize, AllocFlags(mode))) {
    Size = newSize;
    Mode = mode;
  }
  Data = static_cast<uint8_t*>(win::GlobalLock(handle_));
  return Size;
}

win::HGLOBAL TMemoryBlock::Release() {
  win::HGLOBAL h = handle_;
  if (Data) win::GlobalUnlock(handle_);
  handle_ = {};
  Data = nullptr;
  Size = 0;
  return h;
}

// ---- TKxStream ----

TKxStream::ErrorHook TKxStream::StreamErrorHook = nullptr;

void TKxStream::Error(int32_t status, int32_t info) {
  Status = status;
  ErrorInfo = info;
  if (StreamErrorHook) StreamErrorHook(*this);
}

void TKxStream::CopyFrom(TKxStream& source, uint32_t count) {
  uint8_t buffer[1024];
  while (count > 0) {
    uint16_t piece = uint16_t(std::min<uint32_t>(count, sizeof buffer));
    source.Read(buffer, piece);
    Write(buffer, piece);
    count -= piece;
  }
}

uint16_t TKxStream::ReadWord() {
  uint8_t b[2] = {0, 0};
  ReadHuge(b, 2);
  return uint16_t(b[0] | b[1] << 8);
}

void TKxStream::WriteWord(int32_t value) {
  const uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
  WriteHuge(b, 2);
}

void TKxStream::WriteBool(bool value) { WriteWord(value ? 1 : 0); }
bool TKxStream::ReadBool() { return ReadWord() != 0; }
void TKxStream::WriteInt(int32_t value) { WriteWord(value); }
int32_t TKxStream::ReadInt() { return int16_t(ReadWord()); }

void TKxStream::WritePair(int32_t a, int32_t b) {
  WriteInt(a);
  WriteInt(b);
}

void TKxStream::ReadPair(int32_t& a, int32_t& b) {
  a = ReadInt();
  b = ReadInt();
}

void TKxStream::WritePoint(const TPoint& p) { WritePair(p.x, p.y); }

TPoint TKxStream::ReadPoint() {
  TPoint p;
  ReadPair(p.x, p.y);
  return p;
}

void TKxStream::WriteSize(const TSize& s) { WritePair(s.cx, s.cy); }

TSize TKxStream::ReadSize() {
  TSize s;
  ReadPair(s.cx, s.cy);
  return s;
}

void TKxStream::WriteRect(const TRect& r) {
  WritePair(r.left, r.top);
  WritePair(r.right, r.bottom);
}

TRect TKxStream::ReadRect() {
  TRect r;
  ReadPair(r.left, r.top);
  ReadPair(r.right, r.bottom);
  return r;
}

void TKxStream::WriteString(const char* text) {
  size_t n = text ? std::strlen(text) : 0;
  if (n > kMaxStreamString) {
    Error(kStreamWriteError, 0);
    return;
  }
  WriteWord(int32_t(n));
  if (n) WriteHuge(text, uint32_t(n));
}

char* TKxStream::ReadString() {
  uint16_t n = ReadWord();
  if (n == 0) return nullptr;
  char* text = new char[size_t(n) + 1];
  uint32_t got = ReadHuge(text, n);
  text[got] = 0;
  return text;
}

void StreamErrorText(int32_t code, char* buffer, int32_t max) {
  if (!buffer || max < 0) return;
  char text[64];
  std::snprintf(text, sizeof text, "Fehler beim Lesen/Schreiben der Datei (%d)", int(code));
  size_t n = std::min(std::strlen(text), size_t(max));
  std::memcpy(buffer, text, n);
  buffer[n] = 0;
}

// ---- TKxFileStream ----

TKxFileStream::TKxFileStream(const char* fileName, int32_t mode) {
  using namespace platform;
  std::string_view name = fileName ? fileName : "";
  int rc;
  switch (mode) {
    case kFileCreate: rc = CreateFile(name, kAccessReadWrite | kShareDenyWrite, handle_); break;
    case kFileWrite: rc = OpenFile(name, kAccessWrite | kShareDenyWrite, handle_); break;
    case kFileReadWrite: rc = OpenFile(name, kAccessReadWrite | kShareDenyWrite, handle_); break;
    default: rc = OpenFile(name, kAccessRead | kShareDenyNone, handle_); break;
  }
  if (rc != kDosOk || name.empty()) {
    handle_ = -1;
    Error(kStreamOpenError, -1);
  }
}

TKxFileStream::~TKxFileStream() {
  if (handle_ >= 0) platform::CloseFile(handle_);
}

int32_t TKxFileStream::GetSize() {
  uint64_t size = 0;
  if (handle_ < 0 || platform::FileSize(handle_, size) != platform::kDosOk) return 0;
  return int32_t(size);
}

uint32_t TKxFileStream::ReadHuge(void* buffer, uint32_t count) {
  size_t got = 0;
  if (handle_ >= 0 && pos_ >= 0) platform::ReadAt(handle_, uint64_t(pos_), buffer, count, got);
  pos_ += int32_t(got);
  if (got < count) Error(kStreamReadError, int32_t(got));
  return uint32_t(got);
}

uint32_t TKxFileStream::WriteHuge(const void* buffer, uint32_t count) {
  if (handle_ < 0 || pos_ < 0 || platform::WriteAt(handle_, uint64_t(pos_), buffer, count) != platform::kDosOk) {
    Error(kStreamWriteError, kStreamWriteError);
    return 0;
  }
  pos_ += int32_t(count);
  return count;
}

uint32_t TKxFileStream::GetDosDateTime() {
  uint16_t date = 0, time = 0;
  if (handle_ >= 0) platform::GetFileDosDateTime(handle_, date, time);
  return uint32_t(date) << 16 | time;
}

// ---- TStreamStream ----

TStreamStream::TStreamStream(const char* fileName, const char* mode) {
  if (fileName && mode) File = std::fopen(platform::ResolvePath(fileName).c_str(), mode);
  if (!File) Error(kStreamOpenError, -1);
}

TStreamStream::~TStreamStream() {
  if (File && !Attached) std::fclose(File);
}

int32_t TStreamStream::GetPos() { return File ? int32_t(std::ftell(File)) : 0; }

int32_t TStreamStream::GetSize() {
  if (!File) return 0;
  long here = std::ftell(File);
  std::fseek(File, 0, SEEK_END);
  long size = std::ftell(File);
  std::fseek(File, here, SEEK_SET);
  return int32_t(size);
}

void TStreamStream::Seek(int32_t pos) {
  if (File) std::fseek(File, pos, SEEK_SET);
}

uint32_t TStreamStream::ReadHuge(void* buffer, uint32_t count) {
  size_t got = File ? std::fread(buffer, 1, count, File) : 0;
  if (got < count) Error(kStreamReadError, kStreamReadError);
  return uint32_t(got);
}

uint32_t TStreamStream::WriteHuge(const void* buffer, uint32_t count) {
  size_t put = File ? std::fwrite(buffer, 1, count, File) : 0;
  if (put < count) Error(kStreamWriteError, kStreamWriteError);
  return uint32_t(put);
}

// ---- TMemStream ----

TMemStream::TMemStream(uint32_t initialSize, int32_t delta) : Delta(delta) {
  Block = new TMemoryBlock(initialSize, 0, true);
  if (!Block->Data && initialSize) Error(kStreamOpenError, 0);
}

TMemStream::TMemStream(TMemoryBlock* block, int32_t delta, bool ownsBlock)
    : Delta(delta), OwnsBlock(ownsBlock), Block(block) {
  Size = block ? int32_t(block->Size) : 0;
}

TMemStream::~TMemStream() {
  if (OwnsBlock) delete Block;
}

bool TMemStream::SetBlockSize(uint32_t newSize, int32_t mode) {
  if (!Block || !Block->Data) {
    auto* fresh = new TMemoryBlock(newSize, mode, true);
    if (!fresh->Data) {
      delete fresh;
      return false;
    }
    if (OwnsBlock) delete Block;
    Block = fresh;
    OwnsBlock = true;
  } else if (Block->Resize(newSize, mode) != newSize) {
    return false;
  }
  if (Size > int32_t(Block->Size)) Size = int32_t(Block->Size);
  return true;
}

uint32_t TMemStream::ReadHuge(void* buffer, uint32_t count) {
  int64_t left = Position >= 0 && Position < Size ? int64_t(Size) - Position : 0;
  if (int64_t(count) > left) {
    count = uint32_t(left);
    Error(kStreamReadError, 0);
  }
  if (count) std::memcpy(buffer, Block->Data + Position, count);
  Position += int32_t(count);
  return count;
}

uint32_t TMemStream::WriteHuge(const void* buffer, uint32_t count) {
  int64_t end = int64_t(Position) + count;
  uint32_t blockSize = Block && Block->Data ? Block->Size : 0;
  if (Position < 0 || end > INT32_MAX) {
    Error(kStreamWriteError, 0);
    return 0;
  }
  if (end > int64_t(blockSize)) {
    // Growth in whole steps of Delta; a stream without a positive Delta
    // cannot grow.
    int64_t steps = Delta > 0 ? (end - blockSize + Delta - 1) / Delta : 0;
    int64_t grown = int64_t(blockSize) + steps * Delta;
    if (Delta <= 0 || grown > INT32_MAX || !SetBlockSize(uint32_t(grown), 0)) {
      Error(kStreamWriteError, 0);
      return 0;
    }
  }
  if (count) std::memcpy(Block->Data + Position, buffer, count);
  Position = int32_t(end);
  if (Position > Size) Size = Position;
  return count;
}

// ---- TClipboardStream ----

TClipboardStream::TClipboardStream(uint32_t format, uint32_t owner, int32_t mode)
    : Format(format), Mode(mode), Owner(owner) {
  Delta = int32_t(kClipboardBlock);
  OwnsBlock = true;
  open_ = win::OpenClipboard(owner);
  if (!open_) {
    Error(kStreamOpenError, 0);
    return;
  }
  if (mode == kClipboardRead) {
    Flush();
    return;
  }
  if (!SetBlockSize(kClipboardBlock, kMemShareable)) {
    Error(kStreamOpenError, 0);
    return;
  }
  Size = int32_t(Block->Size);
  Block->Owns = false;  // the memory will belong to the clipboard
}

TClipboardStream::~TClipboardStream() {
  if (Mode == kClipboardWrite) Flush();
  if (open_) win::CloseClipboard();
}

void TClipboardStream::Flush() {
  if (!open_) return;
  if (Mode == kClipboardRead) {
    delete Block;  // lent by the clipboard: the block object does not own it
    Block = nullptr;
    Size = 0;
    win::HGLOBAL data{win::GetClipboardData(Format)};
    if (data) Block = new TMemoryBlock(data, false);
    if (!Block || !Block->Data) {
      Error(kStreamReadError, 1);
      return;
    }
    Size = int32_t(Block->Size);
    return;
  }
  if (!Block || !Block->Data) return;  // handed over already
  win::HGLOBAL memory = Block->Release();
  delete Block;
  Block = nullptr;
  Size = Position = 0;
  win::EmptyClipboard();
  win::SetClipboardData(Format, memory);
}

}  // namespace kxobject
