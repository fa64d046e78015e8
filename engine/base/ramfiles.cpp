#include "engine/base/ramfiles.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/base/uppercas.h"
#include "platform/clipboard.h"
#include "platform/files.h"

namespace RamFiles {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kBlank = ' ';
constexpr char kEndOfText = '\x1A';  // ^Z
constexpr std::string_view kLineEnd = "\r\n";
// The name that stands for the standard output as a copy target.
constexpr std::string_view kConsoleName = "CON";

constexpr int kOpenRead = platform::kAccessRead | platform::kShareDenyNone;
constexpr int kCreateWrite = platform::kAccessReadWrite | platform::kShareDenyNone;

int g_error = 0;

// ---- Disk access shared by RAM files and the text buffer --------------------

// A file opened for reading, closed when it goes.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() {
    if (handle_ != platform::kNoFile) platform::CloseFile(handle_);
  }

  int Open(std::string_view name) {
    int rc = platform::OpenFile(name, kOpenRead, handle_);
    if (rc == 0) rc = platform::FileSize(handle_, size_);
    return rc;
  }
  uint64_t size() const { return size_; }
  // Reads exactly count bytes from the start of the file.
  int ReadStart(void* buffer, size_t count) {
    size_t got = 0;
    int rc = platform::ReadAt(handle_, 0, buffer, count, got);
    if (rc == 0 && got != count) rc = platform::kDosReadFault;
    return rc;
  }

 private:
  platform::FileHandle handle_ = platform::kNoFile;
  uint64_t size_ = 0;
};

// Creates name (replacing an existing file) holding the count bytes of data.
int WriteNewFile(std::string_view name, const void* data, size_t count) {
  platform::FileHandle handle = platform::kNoFile;
  int rc = platform::CreateFile(name, kCreateWrite, handle);
  if (rc != 0) return rc;
  if (count > 0) rc = platform::WriteAt(handle, 0, data, count);
  int closeRc = platform::CloseFile(handle);
  return rc != 0 ? rc : closeRc;
}

// ---- The text buffer ---------------------------------------------------------

// One byte more than the longest text, so the text is always terminated.
std::array<char, kTextBufSize + 1> g_text;
uint32_t g_length = 0;
uint32_t g_readPos = 0;
int g_mode = kTextBufReading;
int g_flag = 0;

struct SavedTextBuf {
  std::string name;
  std::string text;
};
std::vector<SavedTextBuf> g_saved;

std::string_view Text() { return {g_text.data(), g_length}; }

// Makes text (at most kTextBufSize bytes) the buffer's text, read from the
// start; everything behind it is zeroed.
void SetText(std::string_view text) {
  size_t n = std::min<size_t>(text.size(), kTextBufSize);
  if (n) std::memmove(g_text.data(), text.data(), n);
  std::fill(g_text.begin() + n, g_text.end(), '\0');
  g_length = uint32_t(n);
  g_readPos = 0;
}

void Append(std::string_view text) {
  if (size_t(g_length) + text.size() >= kTextBufSize) {
    // The bytes up to the end are zero already (invariant 1), so the length
    // of a full buffer covers no stale text.
    g_flag = kTextBufOverflow;
    g_length = kTextBufSize;
    return;
  }
  if (!text.empty()) std::memcpy(g_text.data() + g_length, text.data(), text.size());
  g_length += uint32_t(text.size());
}

// Takes up to n characters at the read position into out; sets the end flag
// when nothing is left.
size_t TakeChars(char* out, size_t n) {
  size_t remaining = g_length - g_readPos;
  if (remaining == 0) {
    g_flag = kTextBufEnd;
    return 0;
  }
  n = std::min(n, remaining);
  std::memcpy(out, g_text.data() + g_readPos, n);
  g_readPos += uint32_t(n);
  return n;
}

// Consumes a line end (CR LF, CR or LF) at the read position if there is one.
bool TakeLineEnd() {
  if (g_readPos >= g_length) return false;
  char c = g_text[g_readPos];
  if (c == kLF) {
    ++g_readPos;
    return true;
  }
  if (c != kCR) return false;
  ++g_readPos;
  if (g_readPos < g_length && g_text[g_readPos] == kLF) ++g_readPos;
  return true;
}

SavedTextBuf* FindSaved(std::string_view name) {
  for (SavedTextBuf& s : g_saved)
    if (s.name == name) return &s;
  return nullptr;
}

// Reads at most kTextBufSize bytes of a disk file into the emptied buffer.
int ReadFileIntoTextBuf(std::string_view name) {
  TextBufRewrite();
  InputFile file;
  int rc = file.Open(name);
  if (rc != 0) return rc;
  size_t n = size_t(std::min<uint64_t>(file.size(), kTextBufSize));
  rc = file.ReadStart(g_text.data(), n);
  if (rc != 0) {
    TextBufRewrite();
    return rc;
  }
  g_length = uint32_t(n);
  if (file.size() > kTextBufSize) g_flag = kTextBufOverflow;
  return 0;
}

}  // namespace

// ---- RAM files ---------------------------------------------------------------

int Error() { return g_error; }

int RamLoad(TRamFile& file, std::string_view name) {
  file = TRamFile{};
  InputFile input;
  int rc = input.Open(name);
  if (rc == 0 && input.size() >= kLoadLimit) rc = kErrTooLarge;
  if (rc == 0) {
    file.buffer.resize(size_t(input.size()));
    rc = input.ReadStart(file.buffer.data(), file.buffer.size());
  }
  if (rc == 0) {
    file.size = uint32_t(input.size());
    file.open = true;
  } else {
    file = TRamFile{};
  }
  return g_error = rc;
}

int RamRewrite(TRamFile& file, std::string_view name) {
  file = TRamFile{};
  file.buffer.resize(kWriteCapacity);
  file.size = kWriteCapacity;
  file.open = true;
  file.name.assign(name);
  return g_error = 0;
}

int RamClose(TRamFile& file) {
  int rc = 0;
  if (file.open && !file.name.empty()) {
    uint32_t count = std::min(file.position, file.size);
    rc = WriteNewFile(file.name, file.buffer.data(), count);
  }
  file = TRamFile{};
  return g_error = rc;
}

namespace {
// Bytes left between the position and size; none when the position lies
// beyond size after a seek.
uint32_t Remaining(const TRamFile& file) {
  return file.position < file.size ? file.size - file.position : 0;
}
}  // namespace

int RamRead(TRamFile& file, void* data, uint32_t n) {
  if (n > Remaining(file)) return g_error = kErrBeyondEnd;
  if (n) std::memcpy(data, file.buffer.data() + file.position, n);
  file.position += n;
  return g_error = 0;
}

int RamWrite(TRamFile& file, const void* data, uint32_t n) {
  if (n > Remaining(file)) return g_error = kErrBeyondEnd;
  if (n) std::memcpy(file.buffer.data() + file.position, data, n);
  file.position += n;
  return g_error = 0;
}

int RamSeek(TRamFile& file, uint32_t position) {
  file.position = position;
  return g_error = position > file.size ? kErrBeyondEnd : 0;
}

uint32_t RamPos(const TRamFile& file) { return file.position; }

bool RamEof(const TRamFile& file) { return !file.open || file.position >= file.size; }

int RamReadLn(TRamFile& file, ShortStr& line, size_t maximum) {
  const size_t m = std::clamp<size_t>(maximum, 1, ShortStr::kMax);
  const uint8_t* data = file.buffer.data();
  const uint32_t end = file.open ? file.size : 0;
  const uint32_t start = file.position;
  uint32_t p = start;
  while (p < end && data[p] != kCR && data[p] != kLF && p - start < m && !Common::UserBreakRequested())
    ++p;

  int result = kLineEnded;
  line.clear();
  if (p < end && data[p] != kCR && data[p] != kLF && p - start >= m) {
    // m characters without a line end: wrap at the last blank after the
    // start, looking first at the character that did not fit.
    uint32_t q = p;
    while (q > start && data[q] != kBlank) --q;
    if (q > start) {
      line.assign(std::string_view(reinterpret_cast<const char*>(data + start), q - start));
      p = q + 1;
      result = kLineCutAtBlank;
    } else {
      line.assign(std::string_view(reinterpret_cast<const char*>(data + start), m));
      result = kLineCut;
    }
  } else {
    if (p > start) line.assign(std::string_view(reinterpret_cast<const char*>(data + start), p - start));
    if (p < end && data[p] == kCR) ++p;
  }
  if (p < end && data[p] == kLF) ++p;
  file.position = p;
  return result;
}

int32_t TRamFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return RamRead(file_, buffer, uint32_t(count)) == 0 ? count : 0;
}

int32_t TRamFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return RamWrite(file_, buffer, uint32_t(count)) == 0 ? count : 0;
}

int64_t TRamFileStream::Seek(int64_t offset, int origin) {
  int64_t target = offset;
  if (origin == kFromCurrent) target = int64_t(file_.position) + offset;
  if (origin == kFromEnd) target = int64_t(file_.size) - offset;
  if (target < 0) {
    file_.position = 0;
    g_error = kErrBeyondEnd;
  } else {
    RamSeek(file_, uint32_t(std::min<int64_t>(target, UINT32_MAX)));
  }
  return file_.position;
}

// ---- The text buffer ---------------------------------------------------------

bool IsRamTextName(std::string_view name) { return UPPERCAS::CollateCompare(name, kRamTextName) == 0; }

void TextBufRewrite() {
  SetText({});
  g_mode = kTextBufWriting;
  g_flag = 0;
}

void TextBufReset() {
  g_readPos = 0;
  g_mode = kTextBufReading;
  g_flag = 0;
}

void TextBufClose() { g_mode = kTextBufReadingAfterClose; }

int TextBufMode() { return g_mode; }

void TextBufWrite(std::string_view text) { Append(text); }

void TextBufWriteLn(std::string_view text) {
  Append(text);
  Append(kLineEnd);
}

void TextBufRead(ShortStr& text, size_t n) {
  char chars[ShortStr::kMax];
  text.assign(std::string_view(chars, TakeChars(chars, std::min(n, ShortStr::kMax))));
}

size_t TextBufReadPChar(char* buffer, size_t n) {
  size_t got = TakeChars(buffer, n);
  buffer[got] = '\0';
  return got;
}

int TextBufReadLn(ShortStr& text, size_t maximum) {
  const size_t m = std::min(maximum, ShortStr::kMax);
  text.clear();
  if (g_readPos >= g_length) {
    g_flag = kTextBufEnd;
    return kLineCut;
  }
  const uint32_t start = g_readPos;
  while (g_readPos < g_length && g_readPos - start < m) {
    char c = g_text[g_readPos];
    if (c == kCR || c == kLF || Common::UserBreakRequested()) break;
    ++g_readPos;
  }
  text.assign(std::string_view(g_text.data() + start, g_readPos - start));
  // A line end right behind the characters is consumed even when the line
  // filled the maximum, so a line of exactly that length is a whole line.
  return TakeLineEnd() ? kLineEnded : kLineCut;
}

bool TextBufEof() { return g_flag == kTextBufEnd || g_readPos >= g_length; }

uint32_t TextBufLength() { return g_length; }

int TextBufError() { return g_flag; }

bool TextBufReplace(std::string_view find, std::string_view replacement) {
  if (find.empty()) return false;
  std::string_view text(g_text.data(), strnlen(g_text.data(), g_length));
  size_t at = text.find(find);
  if (at == std::string_view::npos) return false;
  size_t newLength = g_length - find.size() + replacement.size();
  if (newLength > kTextBufSize) return false;
  size_t tail = g_length - at - find.size();
  std::memmove(g_text.data() + at + replacement.size(), g_text.data() + at + find.size(), tail);
  if (!replacement.empty()) std::memcpy(g_text.data() + at, replacement.data(), replacement.size());
  if (newLength < g_length) std::fill(g_text.begin() + newLength, g_text.begin() + g_length, '\0');
  g_length = uint32_t(newLength);
  g_readPos = std::min(g_readPos, g_length);
  return true;
}

dynstr::LineChain TextBufToLines() {
  dynstr::LineChain head;
  dynstr::LineChain* tail = &head;
  ShortStr line;
  auto addLine = [&](uint8_t flag) {
    *tail = std::make_unique<dynstr::LineNode>(dynstr::HeapStr(line.view()), flag);
    tail = &(*tail)->next;
    line.clear();
  };
  for (uint32_t i = 0; i < g_length; ++i) {
    char c = g_text[i];
    if (c == '\0' || c == kEndOfText) break;
    if (c == kLF) {
      addLine(kLineCutAtBlank);
    } else if (c == kCR) {
      addLine(kLineEnded);
      if (i + 1 < g_length && g_text[i + 1] == kLF) ++i;
    } else {
      if (line.size() == ShortStr::kMax) addLine(kLineCut);
      line.append(c);
    }
  }
  if (!line.empty()) addLine(kLineCut);
  return head;
}

bool TextBufToClipboard() { return platform::ClipboardSetText(Text()); }

void TextBufFromClipboard() {
  std::string clip;
  if (!platform::ClipboardGetText(clip)) return;
  std::string_view text(clip.data(), strnlen(clip.data(), std::min<size_t>(clip.size(), kMaxClipboardText)));
  SetText(text);
  g_mode = kTextBufReadingAfterClose;
  g_flag = 0;
}

int CopyFile(std::string_view source, std::string_view target) {
  if (IsRamTextName(source)) {
    if (UPPERCAS::CollateCompare(target, kConsoleName) == 0) return WriteToStandardOutput(Text());
    return WriteNewFile(target, g_text.data(), g_length);
  }
  if (IsRamTextName(target)) return ReadFileIntoTextBuf(source);
  return LOWFILES::CopyDiskFile(source, target);
}

void SaveTextBufAs(std::string_view name) {
  if (SavedTextBuf* saved = FindSaved(name)) {
    saved->text.assign(Text());
  } else if (g_saved.size() < kMaxSavedTextBufs) {
    g_saved.push_back({std::string(name), std::string(Text())});
  }
}

bool LoadTextBufFrom(std::string_view name) {
  const SavedTextBuf* saved = FindSaved(name);
  if (!saved) return false;
  TextBufRewrite();
  SetText(saved->text);
  return true;
}

void FreeSavedTextBufs() { std::vector<SavedTextBuf>().swap(g_saved); }

int WriteToStandardOutput(std::string_view text) {
  // Whatever the C library still buffers for the standard output goes first.
  std::fflush(stdout);
  while (!text.empty()) {
    ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return platform::kDosWriteFault;
    }
    text.remove_prefix(size_t(n));
  }
  return 0;
}

void UnitInit() {
  g_error = 0;
  TextBufRewrite();
  TextBufReset();
  FreeSavedTextBufs();
}

void UnitDone() { FreeSavedTextBufs(); }

}  // namespace RamFiles
