#include "engine/storage/winmemos.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/base/common_errors.h"
#include "engine/base/ramfiles.h"
#include "engine/base/textfiles.h"
#include "platform/codepage.h"

namespace WINMEMOS {

namespace {

using dynstr::LineChain;
using dynstr::LineNode;

constexpr char kCR = 13;
constexpr char kLF = 10;
constexpr char kEndOfText = 26;  // ^Z: ends the text and fills the rest of the block
constexpr char kBlank = ' ';
constexpr std::string_view kEllipsis = "...";

int32_t g_status = 0;

// The memo read transfer: the pieces and how far GetMemoBlock has handed
// them out (offset counts within a piece's text followed by its break).
struct GetTransfer {
  bool open = false;
  LineChain chain;
  const LineNode* node = nullptr;
  size_t offset = 0;
};
GetTransfer g_get;

// Appends nodes at the end of a line chain.
class ChainAppender {
 public:
  void Append(std::string_view text, uint8_t code) {
    *tail_ = std::make_unique<LineNode>(dynstr::HeapStr(text), code);
    tail_ = &(*tail_)->next;
  }
  LineChain Take() {
    tail_ = &head_;
    return std::move(head_);
  }

 private:
  LineChain head_;
  LineChain* tail_ = &head_;
};

// Builds the pieces of a memo read: breaks as they come, and a line longer
// than 80 characters cut into pieces that go on without a break.
class ReadPieceBuilder {
 public:
  explicit ReadPieceBuilder(bool oemText) : oemText_(oemText) {}
  void Add(char c) {
    if (line_.size() == kReadPieceLength) Emit(RamFiles::kLineCut);
    line_ += c;
  }
  void Break(uint8_t code) { Emit(code); }
  LineChain Finish() {
    if (!line_.empty()) Emit(RamFiles::kLineCut);
    return out_.Take();
  }

 private:
  void Emit(uint8_t code) {
    if (oemText_) platform::OemToAnsiBuffer(line_.data(), line_.size());
    out_.Append(line_, code);
    line_.clear();
  }
  bool oemText_;
  std::string line_;
  ChainAppender out_;
};

// The characters that end a run of text a put takes at once: 0, CR and LF.
constexpr std::array<bool, 256> kEndsRun = [] {
  std::array<bool, 256> t{};
  t[0] = t[uint8_t(kCR)] = t[uint8_t(kLF)] = true;
  return t;
}();

// The memo write transfer: lines wrapped at `wrap` characters (70 unless the
// writer asks for another width) as the text comes, kept as the file stores
// them (in Windows-1252 until written): a line wrapped at its last blank has
// that blank replaced by LF, a line cut after `wrap` characters goes on
// without a break, a hard break is a CR. The pieces
// record where each line ends, for the text buffer.
struct PutTransfer {
  struct Piece {
    size_t end;  // in stored, where its break (if any) stands
    uint8_t code;
  };
  bool open = false;
  size_t wrap = kWrapLength;
  std::string stored;
  size_t lineStart = 0;  // the current line, in stored
  std::vector<Piece> pieces;

  void Add(char c) {
    if (c == kCR) {
      pieces.push_back({stored.size(), RamFiles::kLineEnded});
      stored += c;
      lineStart = stored.size();
      return;
    }
    if (c == kLF) return;
    stored += c;
    if (stored.size() - lineStart <= wrap) return;
    const size_t blank = std::string_view(stored).substr(lineStart).rfind(kBlank);
    if (blank != std::string_view::npos) {
      pieces.push_back({lineStart + blank, RamFiles::kLineCutAtBlank});
      stored[lineStart + blank] = kLF;
      lineStart += blank + 1;
    } else {
      lineStart += wrap;
      pieces.push_back({lineStart, RamFiles::kLineCut});
    }
  }
  // Up to count bytes of buffer, to its first 0; answers the bytes taken.
  int32_t AddText(const char* buffer, int32_t count) {
    int32_t taken = 0;
    while (taken < count && buffer[taken] != 0) {
      const char c = buffer[taken];
      const size_t room = wrap - std::min(wrap, stored.size() - lineStart);
      if (c == kCR || c == kLF || room == 0) {
        Add(c);
        ++taken;
        continue;
      }
      // A run of characters that fits the line goes in at once.
      const int32_t last = taken + int32_t(std::min<size_t>(room, size_t(count - taken)));
      int32_t end = taken;
      while (end < last && !kEndsRun[uint8_t(buffer[end])]) ++end;
      stored.append(buffer + taken, size_t(end - taken));
      taken = end;
    }
    return taken;
  }
  // Ends the transfer; the last line ends without a break.
  void Finish() {
    if (stored.size() > lineStart) pieces.push_back({stored.size(), RamFiles::kLineCut});
    open = false;
  }
  void Clear() {
    stored.clear();
    lineStart = 0;
    pieces.clear();
    open = false;
    wrap = kWrapLength;
  }
  // The lines as a chain of pieces.
  LineChain Lines() const {
    ChainAppender out;
    size_t from = 0;
    for (const Piece& p : pieces) {
      out.Append(std::string_view(stored).substr(from, p.end - from), p.code);
      from = p.end + (p.code == RamFiles::kLineCut ? 0 : 1);
    }
    return out.Take();
  }
};
PutTransfer g_put;

// What a piece's break looks like when handed out by GetMemoBlock.
std::string_view BreakText(uint8_t code) {
  switch (code) {
    case RamFiles::kLineEnded:
      return "\r\n";
    case RamFiles::kLineCutAtBlank:
      return " ";
    default:
      return "";
  }
}

// What a piece's break looks like in the blocks of the file.
std::string_view StoredBreak(uint8_t code) {
  switch (code) {
    case RamFiles::kLineEnded:
      return "\r";
    case RamFiles::kLineCutAtBlank:
      return "\n";
    default:
      return "";
  }
}

int32_t Finish(int rc) {
  g_status = rc;
  return rc;
}

int RequireOpen(TMemoFile& f) {
  if (f.open) return 0;
  Common::SetFileError(memofiles::kErrMemoOpen, f.file.name);
  return memofiles::kErrMemoOpen;
}

int CheckFirstBlock(TMemoFile& f, uint32_t first) {
  if (first < kBlockNumberLimit) return 0;
  Common::SetFileError(memofiles::kErrBlockNumber, f.file.name);
  return memofiles::kErrBlockNumber;
}

// Blocks a walk reads at most in one go: a chain written to a growing file
// lies in consecutive blocks. A caller's window reads many at a time.
constexpr uint32_t kFirstReadAhead = 4, kMostReadAhead = 32, kWindowBlocks = 255;

// Follows the chain that starts at first (1 <= first < kBlockNumberLimit) and
// hands the text of each block (up to its end, or to the first 0 or ^Z) to
// sink until the text ends or sink answers false. The blocks of the chain are
// listed in blocks when it is given. The blocks are read through window when
// it is given (and kept there), else through a window of this walk. Answers
// 0, or the status reported.
int WalkChain(TMemoFile& f, uint32_t first, const std::function<bool(std::string_view)>& sink,
              std::vector<uint32_t>* blocks, TReadWindow* window = nullptr) {
  int rc = RequireOpen(f);
  if (rc != 0) return rc;
  memofiles::ChainGuard guard;
  TReadWindow own;
  uint32_t ahead = kFirstReadAhead;
  if (window) {
    ahead = kWindowBlocks;
    if (window->file != &f) *window = TReadWindow{&f};
  } else {
    window = &own;
  }
  const size_t room = kMemoBlockSize - f.linkSize;
  uint32_t n = first;
  for (;;) {
    rc = guard.Enter(f, n);
    if (rc != 0) return rc;
    if (n < window->first || n - window->first >= window->count) {
      window->bytes.resize(size_t(ahead) * kMemoBlockSize);
      window->count = memofiles::ReadDataBlocks(f, n, ahead, window->bytes.data());
      window->first = n;
      if (window->count == 0) return Common::kErrRead;
      ahead = std::max(ahead, std::min(ahead * 2, kMostReadAhead));
    }
    const uint8_t* block = window->bytes.data() + size_t(n - window->first) * kMemoBlockSize;
    if (blocks) blocks->push_back(n);
    const char* text = reinterpret_cast<const char*>(block + f.linkSize);
    size_t length = 0;
    while (length < room && text[length] != 0 && text[length] != kEndOfText) ++length;
    if (length > 0 && !sink(std::string_view(text, length))) return 0;
    if (length < room) return 0;
    // Full to its end: the text goes on at the link. A link of 0 (the header)
    // can only mean that nothing follows.
    n = memofiles::GetLink(f, block);
    if (n == 0) return 0;
  }
}

// Reads the memo at first into pieces. Answers 0 or the status reported.
int ReadPieces(TMemoFile& f, uint32_t first, LineChain& chain) {
  chain.reset();
  ReadPieceBuilder builder(f.oemText && first != kInMemoryMemo);
  if (first == kInMemoryMemo) {
    LineChain lines = RamFiles::TextBufToLines();
    for (const LineNode* line = lines.get(); line; line = line->next.get()) {
      for (char c : line->text.view()) builder.Add(c);
      if (line->continued != RamFiles::kLineCut) builder.Break(line->continued);
    }
    chain = builder.Finish();
    return 0;
  }
  if (first == 0) return 0;
  int rc = CheckFirstBlock(f, first);
  if (rc == 0) {
    rc = WalkChain(
        f, first,
        [&](std::string_view text) {
          for (char c : text) {
            if (c == kCR)
              builder.Break(RamFiles::kLineEnded);
            else if (c == kLF)
              builder.Break(RamFiles::kLineCutAtBlank);
            else
              builder.Add(c);
          }
          return true;
        },
        nullptr);
  }
  if (rc == 0) chain = builder.Finish();
  return rc;
}

int32_t TextLength(const LineNode* node) {
  int64_t length = 0;
  for (; node; node = node->next.get()) length += int64_t(node->text.size() + BreakText(node->continued).size());
  return int32_t(std::min<int64_t>(length, std::numeric_limits<int32_t>::max()));
}

// The pieces as the file stores them.
std::string StoredText(const LineNode* node, bool oemText) {
  std::string text;
  for (; node; node = node->next.get()) {
    size_t at = text.size();
    text += node->text.view();
    if (oemText) platform::AnsiToOemBuffer(text.data() + at, text.size() - at);
    text += StoredBreak(node->continued);
  }
  return text;
}

// Writes text into a new chain: every block filled with ^Z first, and always
// at least one ^Z behind the text. Answers 0 or the status reported.
int WriteText(TMemoFile& f, const std::string& text, uint32_t& first) {
  first = 0;
  if (text.empty()) return 0;
  if (int rc = RequireOpen(f); rc != 0) return rc;
  if (f.damaged) return memofiles::ReportDamage(f, false);
  const size_t room = kMemoBlockSize - f.linkSize;
  return memofiles::WriteChain(
      f, text.size() / room + 1,
      [&](size_t i, uint8_t* block) {
        std::memset(block + f.linkSize, kEndOfText, room);
        size_t from = i * room;
        if (from < text.size()) std::memcpy(block + f.linkSize, text.data() + from, std::min(room, text.size() - from));
      },
      first);
}

}  // namespace

int32_t Status() { return g_status; }

int CreateMemoFile(std::string_view name, uint32_t key, uint8_t linkSize) {
  return Finish(memofiles::Create(memofiles::Kind::Memo, name, key, kMemoBlockSize, linkSize));
}

int OpenMemoFile(TMemoFile& f, std::string_view name, uint8_t mode, uint32_t key, uint8_t linkSize,
                 bool oemText) {
  memofiles::Close(f);
  f.linkSize = linkSize;
  f.oemText = oemText;
  return Finish(memofiles::Open(f, name, mode, key));
}

void CloseMemoFile(TMemoFile& f) { memofiles::Close(f); }

int ReadMemoHeader(TMemoFile& f) {
  int rc = RequireOpen(f);
  return Finish(rc != 0 ? rc : memofiles::ReadHeader(f));
}

int WriteMemoHeader(TMemoFile& f) {
  int rc = RequireOpen(f);
  return Finish(rc != 0 ? rc : memofiles::WriteHeader(f));
}

int DeleteMemo(TMemoFile& f, uint32_t first) {
  if (first == 0 || first == kInMemoryMemo || f.damaged) return Finish(0);
  int rc = CheckFirstBlock(f, first);
  std::vector<uint32_t> blocks;
  if (rc == 0) rc = WalkChain(f, first, [](std::string_view) { return true; }, &blocks);
  if (rc == 0) rc = memofiles::FreeChain(f, blocks);
  return Finish(rc);
}

bool ReadMemoLines(TMemoFile& f, uint32_t first, LineChain& chain) {
  Finish(ReadPieces(f, first, chain));
  return f.linkSize == kLinkSize32 || first == kInMemoryMemo;
}

void FreeMemoLines(LineChain& chain) { chain.reset(); }

int ReadMemoText(TMemoFile& f, uint32_t first, std::string& text, TReadWindow* window) {
  text.clear();
  int rc = 0;
  if (first == kInMemoryMemo) {
    LineChain pieces;
    rc = ReadPieces(f, first, pieces);
    for (const LineNode* node = pieces.get(); node; node = node->next.get())
      (text += node->text.view()) += StoredBreak(node->continued);
  } else if (first != 0 && (rc = CheckFirstBlock(f, first)) == 0) {
    rc = WalkChain(
        f, first,
        [&](std::string_view piece) {
          text += piece;
          return true;
        },
        nullptr, window);
    if (rc == 0 && f.oemText)
      for (char& c : text)
        if (c != kCR && c != kLF) platform::OemToAnsiBuffer(&c, 1);
  }
  if (rc != 0) text.clear();
  return Finish(rc);
}

int32_t InitGetMemo(TMemoFile& f, uint32_t first) {
  DoneGetMemo();
  if (Finish(ReadPieces(f, first, g_get.chain)) != 0) return -1;
  g_get.open = true;
  g_get.node = g_get.chain.get();
  g_get.offset = 0;
  return TextLength(g_get.node);
}

int32_t GetMemoBlock(int32_t count, char* buffer) {
  if (!g_get.open) return kNoTransfer;
  int32_t given = 0;
  while (given < count && g_get.node) {
    std::string_view text = g_get.node->text.view();
    std::string_view brk = BreakText(g_get.node->continued);
    while (given < count && g_get.offset < text.size() + brk.size()) {
      buffer[given++] = g_get.offset < text.size() ? text[g_get.offset] : brk[g_get.offset - text.size()];
      ++g_get.offset;
    }
    if (g_get.offset == text.size() + brk.size()) {
      g_get.node = g_get.node->next.get();
      g_get.offset = 0;
    }
  }
  return given;
}

void DoneGetMemo() { g_get = GetTransfer(); }

int32_t InitPutMemo(TMemoFile& f, size_t wrapLength) {
  g_put.Clear();
  g_put.wrap = std::max<size_t>(wrapLength, 1);
  if (f.damaged) {
    memofiles::ReportDamage(f, false);
    g_status = kStatusDamaged;
    return -1;
  }
  g_status = 0;
  g_put.open = true;
  return 0;
}

int32_t PutMemoBlock(int32_t count, const char* buffer) {
  if (!g_put.open) return kNoTransfer;
  return g_put.AddText(buffer, count);
}

uint32_t DonePutMemo(TMemoFile& f, uint32_t oldFirst) {
  if (!g_put.open) {
    Common::SetFileError(memofiles::kErrIllegalOperation, f.file.name);
    Finish(memofiles::kErrIllegalOperation);
    return 0;
  }
  g_put.Finish();
  if (oldFirst == kInMemoryMemo) {
    const LineChain pieces = g_put.Lines();
    g_put.Clear();
    if (TextFiles::SaveTextLines(RamFiles::kRamTextName, pieces.get()) != 0) {
      Common::SetFileError(memofiles::kErrMemoWrite, RamFiles::kRamTextName);
      Finish(memofiles::kErrMemoWrite);
    } else {
      Finish(0);
    }
    return kInMemoryMemo;
  }
  if (f.damaged) {
    g_put.Clear();
    Finish(memofiles::ReportDamage(f, false));
    return 0;
  }
  if (f.oemText)
    for (char& c : g_put.stored)
      if (c != kCR && c != kLF) platform::AnsiToOemBuffer(&c, 1);
  uint32_t first = 0;
  Finish(WriteText(f, g_put.stored, first));
  g_put.Clear();
  return first;
}

uint32_t CopyMemo(TMemoFile& source, uint32_t first, TMemoFile& target) {
  LineChain pieces;
  uint32_t copy = 0;
  int rc = ReadPieces(source, first, pieces);
  if (rc == 0) rc = WriteText(target, StoredText(pieces.get(), target.oemText), copy);
  Finish(rc);
  return copy;
}

ShortStr MemoAsString(TMemoFile& f, uint32_t first) {
  std::string text;
  g_status = 0;
  if (first >= 1 && first < kBlockNumberLimit) {
    Finish(WalkChain(
        f, first,
        [&](std::string_view piece) {
          for (char c : piece) {
            text += (c == kCR || c == kLF) ? kBlank : c;
            if (text.size() >= kAsStringLimit) return false;
          }
          return true;
        },
        nullptr));
  }
  if (f.oemText) platform::OemToAnsiBuffer(text.data(), text.size());
  if (text.size() >= kAsStringLimit) {
    text.resize(kAsStringCut);
    text += kEllipsis;
  }
  return ShortStr(text);
}

int32_t MemoLength(TMemoFile& f, uint32_t first) {
  LineChain pieces;
  if (Finish(ReadPieces(f, first, pieces)) != 0) return -1;
  return TextLength(pieces.get());
}

int ReadEveryMemo(std::string_view name, uint8_t linkSize, uint32_t key) {
  TMemoFile f;
  int rc = OpenMemoFile(f, name, LOWFILES::kModeReadShared, key, linkSize, false);
  if (rc != 0) return rc;
  int firstError = 0;
  uint64_t blocksInFile = LOWFILES::LowFileSize(f.file) / kMemoBlockSize;
  uint32_t last = uint32_t(std::min<uint64_t>(f.highest, blocksInFile == 0 ? 0 : blocksInFile - 1));
  for (uint32_t n = 1; n <= last; ++n) {
    LineChain pieces;
    rc = ReadPieces(f, n, pieces);
    MemoAsString(f, n);
    if (firstError == 0 && rc != kStatusDamaged) firstError = rc;
  }
  CloseMemoFile(f);
  return Finish(f.damaged ? kStatusDamaged : firstError);
}

void UnitInit() {
  g_status = 0;
  g_get = GetTransfer();
  g_put.Clear();
}

void UnitDone() { UnitInit(); }

}  // namespace WINMEMOS
