// Memo files (.MMO): the texts of a table's memo fields.
//
// A memo is a chain of 256-byte blocks of the memo file (see memofiles.h for
// the header and the free list); the memo field of a record holds the number
// of its first block, 0 for an empty memo.
//
//   data block:
//   | offset | width   | meaning                                       |
//   |--------|---------|-----------------------------------------------|
//   | 0      | L       | link to the next block (L = 2 or 4)           |
//   | L      | 256 - L | text, then ^Z (26) up to the end of the block |
//
// The text holds the memo's lines: CR ends a line (hard break), LF stands for
// a soft break (a line wrapped at a blank), and the first 0 or ^Z ends the
// text. A block filled with text to its end continues in the block its link
// names. Written memos always end with a ^Z, in an extra block when the text
// fills its last block exactly, so no reader ever follows the last link.
// Version-1 tables keep the text in the OEM code page.
//
// The first block number kInMemoryMemo stands for the engine's text buffer
// (RamFiles): reading such a memo reads that text, storing one writes there.
//
// In memory a memo is a chain of line pieces (dynstr::LineNode) whose
// continuation codes keep the breaks apart: RamFiles::kLineEnded for a hard
// break, kLineCutAtBlank for a soft break, kLineCut for a piece that goes on
// without a break. Pieces read from a file hold at most 80 characters.
//
// One memo transfer of each direction is open at a time, engine-wide
// (InitGetMemo ... DoneGetMemo, InitPutMemo ... DonePutMemo). Every operation
// leaves the engine error set on failure and the unit's status word
// (Status()): 0, an engine error number, kStatusDamaged for a chain that
// loops or leaves the file (the file is then marked damaged, error 112), or
// kStatusFileFull when the file cannot grow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/dynstr.h"
#include "engine/base/shortstr.h"
#include "engine/storage/memofiles.h"

namespace WINMEMOS {

inline constexpr uint32_t kMemoBlockSize = 256;
// First block numbers must stay below this; others give error 1.
inline constexpr uint32_t kBlockNumberLimit = 0x800000;
// The first block number that stands for the engine's text buffer.
inline constexpr uint32_t kInMemoryMemo = 0x7FFFFFFF;
// Link widths: memo fields of size code 1 have 16-bit links, of size code 3
// 32-bit links.
inline constexpr uint8_t kLinkSize16 = 2;
inline constexpr uint8_t kLinkSize32 = 4;
// Longest piece read from a memo; longest line written before it is wrapped.
inline constexpr size_t kReadPieceLength = 80;
inline constexpr size_t kWrapLength = 70;
// MemoAsString: a text that reaches kAsStringLimit characters is cut to
// kAsStringCut and gets "...".
inline constexpr size_t kAsStringLimit = 255;
inline constexpr size_t kAsStringCut = 252;

using memofiles::kStatusDamaged;
using memofiles::kStatusFileFull;

// The memo file of one table. The table object embeds it; OpenMemoFile binds
// it to the file and the table key.
struct TMemoFile : memofiles::TBlockFile {
  TMemoFile() : TBlockFile(memofiles::Kind::Memo, kMemoBlockSize, kLinkSize16) {}
  bool oemText = false;  // version-1 table: text in the OEM code page
};

// The unit's status word (see above).
int32_t Status();

// Creates the memo file name (next free 1, highest 0: one block of 256
// bytes). Answers 0 or 31.
int CreateMemoFile(std::string_view name, uint32_t key, uint8_t linkSize);
// Opens the memo file with the table's open mode, key, link width and code
// page, reads the header and sets the damage flag. Answers 0 or 31.
int OpenMemoFile(TMemoFile& f, std::string_view name, uint8_t mode, uint32_t key, uint8_t linkSize,
                 bool oemText);
void CloseMemoFile(TMemoFile& f);
// The two counters of the header. Answer 0, or 2 / 3.
int ReadMemoHeader(TMemoFile& f);
int WriteMemoHeader(TMemoFile& f);

// Returns the chain that starts at first to the free list; nothing happens for
// 0, the in-memory memo or a damaged file. Answers the status.
int DeleteMemo(TMemoFile& f, uint32_t first);

// Reads the memo into a chain of pieces (hard break, soft break, cut at 80
// characters). Answers true when the file has 32-bit links, and for the
// in-memory memo. On failure the chain is empty and Status() tells why.
bool ReadMemoLines(TMemoFile& f, uint32_t first, dynstr::LineChain& chain);
void FreeMemoLines(dynstr::LineChain& chain);
// Blocks of a memo file read ahead, for a reader that goes through many
// memos in the order they lie in the file (a full-text build reading every
// record). Its user vouches that the file does not change while the window
// is in use; an empty window (or one of another file) reads afresh.
struct TReadWindow {
  const TMemoFile* file = nullptr;
  uint32_t first = 0;  // the first block held
  uint32_t count = 0;  // blocks held
  std::vector<uint8_t> bytes;
};
// The same memo as one text into text (its buffer is reused): the lines as
// stored, a hard break as CR and a soft break as LF behind its line, the
// pieces of a line cut at 80 characters joined again. Answers 0, or the
// status with text empty, as ReadMemoLines fails. With a window the blocks
// are read through it, many at a time.
int ReadMemoText(TMemoFile& f, uint32_t first, std::string& text, TReadWindow* window = nullptr);

// Memo read transfer. InitGetMemo reads the whole memo and answers its length
// as GetMemoBlock hands it out (a hard break counts 2 for CR LF, a soft break
// 1 for a blank), or -1 on failure. GetMemoBlock copies up to count
// characters and answers how many, or kNoTransfer before an InitGetMemo.
inline constexpr int32_t kNoTransfer = -12;
int32_t InitGetMemo(TMemoFile& f, uint32_t first);
int32_t GetMemoBlock(int32_t count, char* buffer);
void DoneGetMemo();

// Memo write transfer. InitPutMemo starts collecting (0, or -1 for a damaged
// file). PutMemoBlock appends count bytes: a 0 byte ends them, CR ends the line
// with a hard break, LF is dropped, a line that grows beyond wrapLength (70
// unless given) characters is wrapped at its last blank (soft break) or cut
// after wrapLength. It answers the bytes
// taken, or kNoTransfer without an InitPutMemo. DonePutMemo writes the text
// to new blocks and answers the new first block (0 for an empty text, and 0
// on failure with the status set); when oldFirst is the in-memory memo the
// text goes to the text buffer instead. The old chain stays: the record
// still names it until the record with the new block is written, and the
// record update frees it after that (a crash in between never leaves a
// record naming freed blocks).
int32_t InitPutMemo(TMemoFile& f, size_t wrapLength = kWrapLength);
int32_t PutMemoBlock(int32_t count, const char* buffer);
uint32_t DonePutMemo(TMemoFile& f, uint32_t oldFirst);

// Copies the memo at first of one memo file into new blocks of another;
// answers the new first block (0 for an empty memo or on failure).
uint32_t CopyMemo(TMemoFile& source, uint32_t first, TMemoFile& target);
// The memo as one short text: breaks become blanks, a text that reaches 255
// characters is cut to 252 and gets "...". Block numbers below 1 or of
// kBlockNumberLimit and above (the in-memory memo too) give the empty text.
ShortStr MemoAsString(TMemoFile& f, uint32_t first);
// The length InitGetMemo would answer, without touching the transfer.
int32_t MemoLength(TMemoFile& f, uint32_t first);

// Reads every chain of a memo file (each block taken as a first block) for
// checking files of unknown origin. Answers kStatusDamaged when the file is
// damaged or turned out so, else 0 or the first failed read or open.
int ReadEveryMemo(std::string_view name, uint8_t linkSize, uint32_t key);

void UnitInit();
void UnitDone();

}  // namespace WINMEMOS
