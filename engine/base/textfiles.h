// Program text files and the text-file slots of running programs.
//
// Line chains. A text file (a module, a program, a memo text) is loaded into
// a chain of line nodes (dynstr::LineNode) and written back from one. A node's
// continuation code tells what followed its text in the file:
//   RamFiles::kLineEnded       a line end;
//   RamFiles::kLineCutAtBlank  a blank at which the line was cut (kept in
//                              neither piece);
//   RamFiles::kLineCut         nothing: the line was cut inside a word, or it
//                              is the last line and no line end follows it.
// A line end in a file is CR LF, CR or LF; written files get CR LF. A run of
// ^Z characters at the very end of a file is the old end-of-file mark and
// ends the file.
//
// Slots. Running programs keep up to three text files open at a time (slots
// 1 to 3); slot 0 is the standard input and output, slot 255 the engine's
// text buffer. Wherever a file name is taken, "RAMTEXT" (in any case) names
// that text buffer instead of a disk file.
//
// Results are codes, never engine errors: 0, the run-time I/O result of the
// file system (DOS codes, and kIoNotOpenForInput/Output), the text buffer's
// state flag for slot 255, or one of the codes below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/dynstr.h"
#include "engine/base/shortstr.h"

namespace TextFiles {

// Result codes.
inline constexpr int kTextHasStopChar = 1;  // ReadTextFileLines: a NUL or ^Z inside the text
inline constexpr int kErrBadSlot = 18;      // "Keine Datei im aktuellen Verzeichnis"
inline constexpr int kErrBadFileName = 26;  // "Illegaler Dateiname"
inline constexpr int kErrCannotLoad = 37;   // "Datei nicht gefunden oder Zugriff verweigert"
inline constexpr int kErrBreak = 114;       // "Operation abgebrochen"

// Run-time I/O results of text files besides the DOS codes of the file layer.
inline constexpr int kIoNotOpenForInput = 104;
inline constexpr int kIoNotOpenForOutput = 105;

// Slot operations: the numbers of the text-file functions of the language.
inline constexpr int kOpReset = 1;
inline constexpr int kOpRewrite = 2;
inline constexpr int kOpWrite = 3;
inline constexpr int kOpWriteln = 4;
inline constexpr int kOpRead = 5;
inline constexpr int kOpReadLn = 6;
inline constexpr int kOpEoT = 7;
inline constexpr int kOpClose = 8;
inline constexpr int kOpAppend = 9;

// Slot numbers.
inline constexpr int kStdSlot = 0;
inline constexpr int kFirstFileSlot = 1;
inline constexpr int kLastFileSlot = 3;
inline constexpr int kRamTextSlot = 255;

// Loads a text file through a RAM file: lines of at most maxLength (1..255)
// characters, wrapped at a blank or cut as RamFiles::RamReadLn does. Answers
// 0; kErrCannotLoad with an empty chain when the file cannot be loaded;
// kErrBreak with an empty chain when a user break stopped the load. "RAMTEXT"
// splits the text buffer (RamFiles::TextBufToLines).
int LoadTextLines(std::string_view name, dynstr::LineChain& chain, size_t maxLength);
// Reads a text file character by character into lines of at most maxLength
// (1..255) characters; a line that reaches it is cut at its last blank, else
// after all its characters. Answers 0; kErrCannotLoad when the file cannot be
// opened; kTextHasStopChar with an empty chain for a NUL or ^Z inside the
// text; or the I/O result of a failed read (empty chain). "RAMTEXT" as above.
int ReadTextFileLines(std::string_view name, dynstr::LineChain& chain, size_t maxLength);
// Writes the chain to a new file: each text, then CR LF, a blank or nothing by
// its continuation. Answers the I/O result. To "RAMTEXT" the buffer is emptied
// first, lines that ended drop their trailing blanks, and the buffer's state
// flag is answered.
int SaveTextLines(std::string_view name, const dynstr::LineNode* chain);
// Frees every node; the chain becomes empty.
void FreeLineChain(dynstr::LineChain& chain);

// Opens name (trimmed of blanks) in mode kOpReset, kOpRewrite or kOpAppend in
// the first free slot and answers its number. "RAMTEXT" answers
// kRamTextSlot: reset rewinds the text buffer for reading, rewrite empties it,
// append keeps its text. On failure the answer is 0 and err holds the reason:
// kErrBadFileName for a name without a file-name part, the I/O result when the
// file cannot be opened, kDosTooManyOpenFiles when all three slots are busy;
// callers must not take that 0 for the standard input and output.
int OpenTextSlot(std::string_view name, int mode, int& err);
// Operation kOpWrite ... kOpClose on a slot. Write and Writeln take text;
// Read (at most min(wanted, 255) characters) and ReadLn deliver into out.
// EoT answers 1 at the end of the file or buffer, else 0. Other operations do
// nothing. Answers the I/O result (the text buffer's state flag for slot
// 255), or kErrBadSlot for a slot that is not open.
int TextSlotOperation(int slot, int operation, std::string_view text, int wanted, ShortStr& out);
// Closes and frees slots 1 to 3; their I/O results are not reported.
void CloseTextSlots();
// Erases the file; answers the I/O result.
int DeleteNamedFile(std::string_view name);

void UnitInit();
void UnitDone();

}  // namespace TextFiles
