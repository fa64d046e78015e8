#include "engine/base/textfiles.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <string>

#include "engine/base/common.h"
#include "engine/base/engassert.h"
#include "engine/base/ramfiles.h"
#include "platform/files.h"

namespace TextFiles {

namespace {

using dynstr::LineChain;
using dynstr::LineNode;

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kBlank = ' ';
constexpr char kNul = '\0';
constexpr char kEndOfFileMark = '\x1A';  // ^Z
constexpr std::string_view kLineEnd = "\r\n";

constexpr int kOpenRead = platform::kAccessRead | platform::kShareDenyNone;
constexpr int kOpenWrite = platform::kAccessReadWrite | platform::kShareDenyNone;

// Bytes fetched from a file at a time, and written out at a time.
constexpr size_t kBlock = 4096;
// Bytes looked at per step when searching the end-of-file marks of a file.
constexpr size_t kTailBlock = 512;

// Length of data without its trailing run of end-of-file marks.
size_t WithoutEndMarks(const char* data, size_t n) {
  while (n > 0 && data[n - 1] == kEndOfFileMark) --n;
  return n;
}

// The length of an open file without its trailing run of end-of-file marks.
int TextEnd(platform::FileHandle handle, uint64_t size, uint64_t& end) {
  std::array<char, kTailBlock> block;
  end = size;
  while (end > 0) {
    size_t n = size_t(std::min<uint64_t>(end, kTailBlock));
    size_t got = 0;
    int rc = platform::ReadAt(handle, end - n, block.data(), n, got);
    if (rc == 0 && got != n) rc = platform::kDosReadFault;
    if (rc != 0) return rc;
    size_t kept = WithoutEndMarks(block.data(), n);
    end = end - n + kept;
    if (kept > 0) break;
  }
  return 0;
}

// A text file of the run-time library: a disk file opened for reading, for
// writing or for appending, or the standard input and output. Reads are
// buffered and stop at the text's end (before trailing end-of-file marks);
// writes to a disk file are buffered until Close or a full block.
class TextFile {
 public:
  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile() {
    if (handle_ != platform::kNoFile) platform::CloseFile(handle_);
  }

  // The standard input and output.
  static std::unique_ptr<TextFile> Standard() {
    auto f = std::make_unique<TextFile>();
    f->standard_ = true;
    f->input_ = true;
    f->output_ = true;
    return f;
  }

  int Open(std::string_view name, int mode) {
    if (mode == kOpRewrite) {
      output_ = true;
      return platform::CreateFile(name, kOpenWrite, handle_);
    }
    int rc = platform::OpenFile(name, mode == kOpReset ? kOpenRead : kOpenWrite, handle_);
    uint64_t size = 0;
    if (rc == 0) rc = platform::FileSize(handle_, size);
    if (rc == 0) rc = TextEnd(handle_, size, end_);
    if (rc == 0 && mode == kOpAppend) {
      // Appending overwrites the end-of-file marks, as the old file system did.
      if (end_ < size) rc = platform::TruncateFile(handle_, end_);
      filePos_ = end_;
      output_ = true;
    } else {
      input_ = true;
    }
    return rc;
  }

  int Close() {
    int rc = Flush();
    if (handle_ != platform::kNoFile) {
      int closeRc = platform::CloseFile(handle_);
      handle_ = platform::kNoFile;
      if (rc == 0) rc = closeRc;
    }
    return rc;
  }

  int Write(std::string_view text) {
    if (!output_) return kIoNotOpenForOutput;
    if (standard_) return RamFiles::WriteToStandardOutput(text);
    out_.append(text);
    return out_.size() >= kBlock ? Flush() : 0;
  }

  // The next character (0..255) in c, or -1 at the end of the text.
  int Peek(int& c) {
    c = -1;
    if (!input_) return kIoNotOpenForInput;
    if (inPos_ == in_.size()) {
      int rc = Fill();
      if (rc != 0) return rc;
      if (in_.empty()) return 0;
    }
    c = uint8_t(in_[inPos_]);
    return 0;
  }
  int Get(int& c) {
    int rc = Peek(c);
    if (c >= 0) ++inPos_;
    return rc;
  }

  // Characters one by one until n or the end of the text; line ends included.
  int Read(ShortStr& text, size_t n) {
    text.clear();
    int c = 0;
    while (text.size() < n) {
      int rc = Get(c);
      if (rc != 0 || c < 0) return rc;
      text.append(char(c));
    }
    return 0;
  }

  // The rest of the line (its first 255 characters) and its line end.
  int ReadLine(ShortStr& text) {
    text.clear();
    int c = 0;
    for (;;) {
      int rc = Get(c);
      if (rc != 0 || c < 0 || c == kLF) return rc;
      if (c == kCR) {
        rc = Peek(c);
        if (rc == 0 && c == kLF) ++inPos_;
        return rc;
      }
      text.append(char(c));
    }
  }

  // True at the end of the text; a file open for writing has nothing to read,
  // and a failing read ends it too (the next read reports the failure).
  bool AtEnd() {
    int c = 0;
    return Peek(c) != 0 || c < 0;
  }

 private:
  int Fill() {
    in_.clear();
    inPos_ = 0;
    if (standard_) {
      char block[kBlock];
      for (;;) {
        ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
        if (n >= 0) {
          in_.assign(block, size_t(n));
          return 0;
        }
        if (errno != EINTR) return platform::kDosReadFault;
      }
    }
    size_t n = size_t(std::min<uint64_t>(end_ - filePos_, kBlock));
    if (n == 0) return 0;
    in_.resize(n);
    size_t got = 0;
    int rc = platform::ReadAt(handle_, filePos_, in_.data(), n, got);
    if (rc == 0 && got != n) rc = platform::kDosReadFault;
    if (rc != 0) {
      in_.clear();
      return rc;
    }
    filePos_ += n;
    return 0;
  }

  int Flush() {
    if (out_.empty()) return 0;
    int rc = platform::WriteAt(handle_, filePos_, out_.data(), out_.size());
    if (rc == 0) filePos_ += out_.size();
    out_.clear();
    return rc;
  }

  bool standard_ = false;
  bool input_ = false;
  bool output_ = false;
  platform::FileHandle handle_ = platform::kNoFile;
  uint64_t filePos_ = 0;  // next byte to fetch or to write
  uint64_t end_ = 0;      // reading: end of the text
  std::string in_;
  size_t inPos_ = 0;
  std::string out_;
};

// Slots 1..3 (index slot - 1), and slot 0.
std::array<std::unique_ptr<TextFile>, kLastFileSlot> g_slots;
std::unique_ptr<TextFile> g_standard;

// Builds a chain node by node at its end.
class ChainBuilder {
 public:
  explicit ChainBuilder(LineChain& chain) : tail_(&chain) { chain.reset(); }
  void Add(std::string_view text, uint8_t continuation) {
    *tail_ = std::make_unique<LineNode>(dynstr::HeapStr(text), continuation);
    tail_ = &(*tail_)->next;
  }

 private:
  LineChain* tail_;
};

size_t ClampLineLength(size_t maxLength) { return std::clamp<size_t>(maxLength, 1, ShortStr::kMax); }

TextFile* SlotFile(int slot) {
  if (slot == kStdSlot) return g_standard.get();
  if (slot >= kFirstFileSlot && slot <= kLastFileSlot) return g_slots[size_t(slot - kFirstFileSlot)].get();
  return nullptr;
}

int RamTextOperation(int operation, std::string_view text, int wanted, ShortStr& out) {
  switch (operation) {
    case kOpWrite: RamFiles::TextBufWrite(text); break;
    case kOpWriteln: RamFiles::TextBufWriteLn(text); break;
    case kOpRead: RamFiles::TextBufRead(out, size_t(std::max(wanted, 0))); break;
    case kOpReadLn: RamFiles::TextBufReadLn(out, ShortStr::kMax); break;
    case kOpEoT: return RamFiles::TextBufEof() ? 1 : 0;
    case kOpClose: RamFiles::TextBufClose(); break;
    default: break;
  }
  return RamFiles::TextBufError();
}

}  // namespace

int LoadTextLines(std::string_view name, LineChain& chain, size_t maxLength) {
  if (RamFiles::IsRamTextName(name)) {
    chain = RamFiles::TextBufToLines();
    return 0;
  }
  ChainBuilder lines(chain);
  RamFiles::TRamFile file;
  if (RamFiles::RamLoad(file, name) != 0) return kErrCannotLoad;
  file.size = uint32_t(WithoutEndMarks(reinterpret_cast<const char*>(file.buffer.data()), file.size));
  const size_t m = ClampLineLength(maxLength);
  ShortStr line;
  while (!RamFiles::RamEof(file)) {
    uint32_t before = RamFiles::RamPos(file);
    int continuation = RamFiles::RamReadLn(file, line, m);
    if (RamFiles::RamPos(file) == before) {
      // Only a user break stops a line before its first character.
      RamFiles::RamClose(file);
      chain.reset();
      return kErrBreak;
    }
    lines.Add(line, uint8_t(continuation));
  }
  RamFiles::RamClose(file);
  return 0;
}

int ReadTextFileLines(std::string_view name, LineChain& chain, size_t maxLength) {
  if (RamFiles::IsRamTextName(name)) {
    chain = RamFiles::TextBufToLines();
    return 0;
  }
  ChainBuilder lines(chain);
  TextFile file;
  if (file.Open(name, kOpReset) != 0) return kErrCannotLoad;
  const size_t limit = ClampLineLength(maxLength);
  ShortStr line;
  size_t lastBlank = 0;  // 1-based position of the last blank in line, 0: none
  bool afterCR = false;
  for (;;) {
    int c = 0;
    int rc = file.Get(c);
    if (rc != 0 || c == kNul || c == kEndOfFileMark) {
      chain.reset();
      return rc != 0 ? rc : kTextHasStopChar;
    }
    if (c < 0) break;
    if (c == kLF && afterCR) {
      afterCR = false;
      continue;
    }
    afterCR = c == kCR;
    if (c == kCR || c == kLF) {
      lines.Add(line, RamFiles::kLineEnded);
      line.clear();
      lastBlank = 0;
      continue;
    }
    line.append(char(c));
    if (c == kBlank) lastBlank = line.size();
    if (line.size() < limit) continue;
    if (lastBlank > 0) {
      lines.Add(line.view().substr(0, lastBlank - 1), RamFiles::kLineCutAtBlank);
      line = ShortStr(line.view().substr(lastBlank));
      lastBlank = 0;
    } else {
      lines.Add(line, RamFiles::kLineCut);
      line.clear();
    }
  }
  if (!line.empty()) lines.Add(line, RamFiles::kLineCut);
  return file.Close();
}

int SaveTextLines(std::string_view name, const LineNode* chain) {
  if (RamFiles::IsRamTextName(name)) {
    RamFiles::TextBufRewrite();
    for (const LineNode* node = chain; node && RamFiles::TextBufError() == 0; node = node->next.get()) {
      std::string_view text = node->text.view();
      if (node->continued == RamFiles::kLineEnded) {
        RamFiles::TextBufWriteLn(text.substr(0, text.find_last_not_of(kBlank) + 1));
      } else {
        RamFiles::TextBufWrite(text);
        if (node->continued == RamFiles::kLineCutAtBlank) RamFiles::TextBufWrite(" ");
      }
    }
    RamFiles::TextBufClose();
    return RamFiles::TextBufError();
  }
  TextFile file;
  int rc = file.Open(name, kOpRewrite);
  for (const LineNode* node = chain; node && rc == 0; node = node->next.get()) {
    rc = file.Write(node->text.view());
    if (rc == 0 && node->continued == RamFiles::kLineEnded) rc = file.Write(kLineEnd);
    if (rc == 0 && node->continued == RamFiles::kLineCutAtBlank) rc = file.Write(" ");
  }
  int closeRc = file.Close();
  return rc != 0 ? rc : closeRc;
}

void FreeLineChain(LineChain& chain) { chain.reset(); }

int OpenTextSlot(std::string_view name, int mode, int& err) {
  ZET_ASSERT(mode == kOpReset || mode == kOpRewrite || mode == kOpAppend, "Illegal text file mode");
  ShortStr trimmed(name);
  Common::TrimBlanks(trimmed);
  if (RamFiles::IsRamTextName(trimmed)) {
    if (mode == kOpRewrite)
      RamFiles::TextBufRewrite();
    else
      RamFiles::TextBufReset();
    return kRamTextSlot;
  }
  if (Common::SplitFileName(trimmed).name.empty()) {
    err = kErrBadFileName;
    return 0;
  }
  for (int slot = kFirstFileSlot; slot <= kLastFileSlot; ++slot) {
    std::unique_ptr<TextFile>& entry = g_slots[size_t(slot - kFirstFileSlot)];
    if (entry) continue;
    auto file = std::make_unique<TextFile>();
    int rc = file->Open(trimmed, mode);
    if (rc != 0) {
      err = rc;
      return 0;
    }
    entry = std::move(file);
    return slot;
  }
  err = platform::kDosTooManyOpenFiles;
  return 0;
}

int TextSlotOperation(int slot, int operation, std::string_view text, int wanted, ShortStr& out) {
  out.clear();
  if (slot == kRamTextSlot) return RamTextOperation(operation, text, wanted, out);
  TextFile* file = SlotFile(slot);
  if (!file) return kErrBadSlot;
  switch (operation) {
    case kOpWrite: return file->Write(text);
    case kOpWriteln: {
      int rc = file->Write(text);
      return rc != 0 ? rc : file->Write(kLineEnd);
    }
    case kOpRead: return file->Read(out, size_t(std::clamp(wanted, 0, int(ShortStr::kMax))));
    case kOpReadLn: return file->ReadLine(out);
    case kOpEoT: return file->AtEnd() ? 1 : 0;
    case kOpClose: {
      if (slot == kStdSlot) return 0;
      int rc = file->Close();
      g_slots[size_t(slot - kFirstFileSlot)].reset();
      return rc;
    }
    default: return 0;
  }
}

void CloseTextSlots() {
  for (std::unique_ptr<TextFile>& entry : g_slots) {
    if (entry) entry->Close();
    entry.reset();
  }
}

int DeleteNamedFile(std::string_view name) { return platform::DeleteFile(name); }

void UnitInit() {
  CloseTextSlots();
  g_standard = TextFile::Standard();
}

void UnitDone() {
  CloseTextSlots();
  g_standard.reset();
}

}  // namespace TextFiles
