// Two in-memory file mechanisms that spare the engine slow small disk accesses.
//
// RAM files. A TRamFile holds a whole disk file in memory (RamLoad), or
// collects written bytes in memory and writes them to disk on close
// (RamRewrite ... RamClose). TRamFileStream puts a stream interface over one,
// so module texts and programs can be parsed from memory. Every routine leaves
// the unit's error word (Error()) and answers it.
//
// The text buffer. One engine-wide text of at most 65535 bytes that the
// language and the CGI output write into, read from line by line, exchange
// with the clipboard and copy to and from files under the reserved name
// "RAMTEXT"; up to 20 named copies of it can be kept. Its invariants:
//   1. length <= 65535, and every byte from length up to and including byte
//      65535 of the 65536-byte area is zero: the text is always terminated and
//      nothing behind it is stale, whatever filled it (writes, a file, the
//      clipboard, a saved copy, an overflow).
//   2. Writes append at the end of the text. An append that would make the
//      length reach 65535 appends nothing, sets the overflow flag and the
//      length 65535 (the tail stays zero by 1).
//   3. Reads start at the read position, which never passes the length; a
//      read that finds nothing left sets the end flag.
// Only the routines below touch the buffer; each keeps the three.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/dynstr.h"
#include "engine/base/shortstr.h"

namespace RamFiles {

// ---- RAM files ---------------------------------------------------------------

// Values of the error word besides 0 and the system's I/O codes.
inline constexpr int kErrTooLarge = 1;   // RamLoad: the file has kLoadLimit bytes or more
inline constexpr int kErrBeyondEnd = 2;  // a read, write or seek beyond the end or the capacity

// RamLoad takes files smaller than this.
inline constexpr uint32_t kLoadLimit = 256000;
// Capacity of a RAM file opened for writing.
inline constexpr uint32_t kWriteCapacity = 255999;

// How a line read by RamReadLn ended; the same codes mark the lines of a line
// chain (dynstr::LineNode::continued).
inline constexpr uint8_t kLineEnded = 0;     // a line end followed it
inline constexpr uint8_t kLineCutAtBlank = 1;  // cut at a blank, which is in neither piece
inline constexpr uint8_t kLineCut = 2;       // cut inside a word, or last line without line end

struct TRamFile {
  std::vector<uint8_t> buffer;
  uint32_t position = 0;  // offset of the next byte
  uint32_t size = 0;      // data length when reading, capacity when writing
  bool open = false;
  std::string name;       // file written on close; empty for a loaded file
};

// The error word of the last RAM file operation.
int Error();

// Reads the whole file into a new buffer (position 0, open). A file of
// kLoadLimit bytes or more gives kErrTooLarge and leaves the record closed.
int RamLoad(TRamFile& file, std::string_view name);
// A new empty write buffer of kWriteCapacity bytes that RamClose writes to name.
int RamRewrite(TRamFile& file, std::string_view name);
// A record opened by RamRewrite writes its first position bytes to its file
// (created new); then the buffer is freed and the record closed.
int RamClose(TRamFile& file);
// Copy n bytes at the position and advance. When fewer than n bytes remain
// before size, nothing is copied and the answer is kErrBeyondEnd.
int RamRead(TRamFile& file, void* data, uint32_t n);
int RamWrite(TRamFile& file, const void* data, uint32_t n);
// Sets the position, also beyond size (then the answer is kErrBeyondEnd).
int RamSeek(TRamFile& file, uint32_t position);
uint32_t RamPos(const TRamFile& file);
// True when the record is not open or the position has reached size.
bool RamEof(const TRamFile& file);
// Reads the next line of at most maximum (1..255) characters into line and
// answers how it ended (kLineEnded, kLineCutAtBlank, kLineCut). A CR, a LF or
// CR LF ends a line; a longer line is wrapped at its last blank, else cut.
int RamReadLn(TRamFile& file, ShortStr& line, size_t maximum);

// The stream interface over a RAM file record that the caller keeps.
class TRamFileStream {
 public:
  // Seek origins.
  static constexpr int kFromBeginning = 0;
  static constexpr int kFromCurrent = 1;
  static constexpr int kFromEnd = 2;  // the size minus the offset

  explicit TRamFileStream(TRamFile& file) : file_(file) {}

  // Copy count bytes and answer count, or answer 0 and copy nothing when
  // fewer than count bytes remain.
  int32_t Read(void* buffer, int32_t count);
  int32_t Write(const void* buffer, int32_t count);
  // Answers the new position; a position before the start becomes 0 and one
  // beyond the size is kept, both with kErrBeyondEnd in the error word.
  int64_t Seek(int64_t offset, int origin);
  uint32_t Position() const { return file_.position; }
  uint32_t Size() const { return file_.size; }

 private:
  TRamFile& file_;
};

// ---- The text buffer ---------------------------------------------------------

// Longest text the buffer holds.
inline constexpr uint32_t kTextBufSize = 65535;
// Longest text taken from the clipboard.
inline constexpr uint32_t kMaxClipboardText = kTextBufSize - 1;
// Named copies kept at most.
inline constexpr size_t kMaxSavedTextBufs = 20;

// Values of the buffer's state flag (its error word).
inline constexpr int kTextBufOverflow = 1;  // a write did not fit
inline constexpr int kTextBufEnd = 2;       // a read found nothing left

// The reserved file name of the text buffer.
inline constexpr std::string_view kRamTextName = "RAMTEXT";
// True when name is "RAMTEXT" by the collating comparison (any case).
bool IsRamTextName(std::string_view name);

// What the buffer was last set up for.
inline constexpr int kTextBufReading = 0;
inline constexpr int kTextBufWriting = 1;
inline constexpr int kTextBufReadingAfterClose = 2;  // after TextBufClose or a clipboard load

// Empties the buffer for writing (kTextBufWriting, flags cleared).
void TextBufRewrite();
// Rewinds the buffer for reading (kTextBufReading, flags cleared); writes
// still append at the end.
void TextBufReset();
// Ends writing (kTextBufReadingAfterClose); text, flags and read position stay.
void TextBufClose();
int TextBufMode();

// Appends text (invariant 2). TextBufWriteLn appends text and CR LF, each
// under the same limit.
void TextBufWrite(std::string_view text);
inline void TextBufWriteLong(std::string_view text) { TextBufWrite(text); }
void TextBufWriteLn(std::string_view text);

// Read up to n characters (no more than remain, at most 255 into a short
// text). With nothing left the end flag is set and nothing is read.
// TextBufReadPChar writes a terminating zero behind what it read (buffer holds
// n + 1 bytes) and answers the number of characters read.
void TextBufRead(ShortStr& text, size_t n);
size_t TextBufReadPChar(char* buffer, size_t n);
// Reads the next line of at most min(maximum, 255) characters. Answers
// kLineEnded when a line end (CR LF, a lone CR or a lone LF) was found and
// consumed, kLineCut otherwise; stops early on a user break.
int TextBufReadLn(ShortStr& text, size_t maximum);

// The end flag is set or the read position has reached the length.
bool TextBufEof();
uint32_t TextBufLength();
// The state flag: 0, kTextBufOverflow or kTextBufEnd.
int TextBufError();

// Replaces the first occurrence of find (searched in the text up to its first
// zero byte) when the new length stays within 65535; answers whether it did.
// An empty find replaces nothing.
bool TextBufReplace(std::string_view find, std::string_view replacement);

// The text as a chain of lines of at most 255 characters: a zero byte or ^Z
// ends the text; CR (with a LF right after it) ends a line with kLineEnded, a
// lone LF with kLineCutAtBlank; a line that would pass 255 characters and the
// last line without line end get kLineCut.
dynstr::LineChain TextBufToLines();

// The text to the clipboard; false when the clipboard refused it.
bool TextBufToClipboard();
// When the clipboard holds text: at most 65534 characters of it (up to its
// first zero) become the buffer's text, read from the start.
void TextBufFromClipboard();

// Copies source to target and answers the I/O result. "RAMTEXT" as source
// writes the buffer's text to target (standard output for "CON"), also when
// target is "RAMTEXT" too; "RAMTEXT" as target alone reads at most 65535 bytes
// of source into the emptied buffer (a longer file sets the overflow flag);
// otherwise the disk file is copied.
int CopyFile(std::string_view source, std::string_view target);

// Keeps a copy of the buffer under name (an existing copy of that name is
// replaced; with 20 copies a new name is ignored).
void SaveTextBufAs(std::string_view name);
// Refills the buffer from the copy of that name; false when there is none.
bool LoadTextBufFrom(std::string_view name);
void FreeSavedTextBufs();

// Writes text to the process's standard output ("CON"); answers 0 or a DOS
// error code.
int WriteToStandardOutput(std::string_view text);

void UnitInit();
void UnitDone();

}  // namespace RamFiles
