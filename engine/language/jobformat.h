// The text form of database jobs: the keyword table with its German and
// English synonyms, the dot commands that set the page layout and output
// switches, and the markup rewrite of text lines.
//
// What holds:
//   1. The keyword table has kKeywordCount entries in the engine's character
//      order; lookup compares by the engine's character rules. Synonyms
//      share a statement code. Keyword texts are Windows-1252 bytes.
//   2. A dot-command line is read only inside its text: each setting is a
//      two-letter code, blanks, an optional whole number (clamped to the
//      16-bit range), and then the end of the line or ","; anything else is
//      error 56 with "," as the expected text, an unknown code error 82.
//      Settings before the failing one keep their effect; the error's column
//      is the 1-based position in the line.
//   3. The markup rewrite never makes a line longer than 255 characters: a
//      line that would grow beyond is cut there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace JobFormat {

inline constexpr size_t kKeywordCount = 68;
inline constexpr size_t kDotCommandCount = 33;
inline constexpr std::string_view kDotCommands =
    "PA|EC|MT|PO|PL|PW|PN|FF|CP|NL|ST|GP|HE|AK|NB|DE|RW|GC|HL|AB|PS|DF|MR|MB|MM|HF|FL|EV|DY|DX|VL|HT|DB|";

// Statement codes of the keywords.
enum Statement : uint8_t {
  stAppend = 1, stUntil = 3, stConst = 4, stData = 5, stDef = 6, stDllProc = 7, stElsif = 9,
  stInclude = 10, stEnd = 11, stEndProc = 12, stEndSub = 13, stEpilog = 14, stReplace = 15,
  stExit = 16, stIf = 17, stFilter = 18, stFooter = 19, stGroup = 20, stHeader = 21, stLetter = 22,
  stModule = 23, stPrimary = 24, stProlog = 25, stProcedure = 26, stRelation = 27, stReport = 28,
  stReturn = 29, stSelection = 30, stWhile = 31, stElse = 32, stSolve = 33, stSub = 34, stUses = 35,
  stLet = 36, stVarDef = 37, stRepeat = 38, stSetAccess = 40, stFont = 41, stSetFont = 42,
  stGroupHeader = 43, stGroupFooter = 44, stSortBy = 45, stNone = 46,
};

struct TKeyword {
  const char* text;
  uint8_t code;
};
// Entry n (1-based, table order), or null outside 1..kKeywordCount.
const TKeyword* Keyword(size_t n);
// The statement code of a keyword, stNone when the word is no keyword.
uint8_t LookupKeyword(std::string_view word);

// The number of a dot code (0..32), 33 when it is none.
int DotCommandNumber(std::string_view code);

// Dot-command settings of the running job context. NB has no switch here:
// it sets the host's break switch (Common::BreakEnabled), which a job run
// keeps for its caller.
struct TDotState {
  int16_t values[kDotCommandCount] = {};
  // The switches and values with a meaning of their own.
  bool ec = false, gp = false, he = false, gc = true, nl = true, ps = false, hf = true, fl = true;
  bool ff = false, ak = false, de = false, db = false, ht = false;
  bool lineEndOn = true;  // AB: automatic line end after text lines (compile only)
  int16_t topMargin = 0, leftOffset = 0, rightMargin = 0, bottomMargin = 0, cell = 0;
  int16_t pageNumber = 1, columns = 0;
};

// Effects of a setting that reach beyond the switches: run-time actions,
// called by ApplyDotLine in run mode. Members may be null.
struct TDotActions {
  void (*newPage)();
  void (*conditionalPage)(int16_t lines);
  void (*suppressLineEnd)();
  void (*stop)();
  void (*setPageLength)(int16_t lines);
  void (*setPageWidth)(int16_t columns);
  void (*marginsChanged)();
  void (*horizontalRule)(int16_t n);
  void (*closeRules)();
  void (*ruledColumn)(int16_t columns);
  void (*displace)(bool vertical, int16_t units);
  void (*pageNumber)(int16_t n);
};

// Applies the settings of a dot-command line (text behind the leading "."):
// 0, 56 or 82; column receives the 1-based column of the error in line.
// compile: the compile-time effects only; else the run-time effects.
// lineEndTurnedOn is set when AB 0 turned the automatic line end on again.
int ApplyDotLine(std::string_view line, bool compile, TDotState& state, const TDotActions* actions,
                 size_t& column, bool* lineEndTurnedOn = nullptr);

// What a dot command answers when it is asked for its current value: the
// switch, the number it set, or 0; -1 for a code that is no dot command.
int QueryDot(std::string_view code, const TDotState& state);

// The markup rewrite of a text line: the tags b, /b, i, /i and font ids.
// currentFontId is the font current when the line is compiled.
std::string RewriteMarkup(std::string_view line, std::string_view currentFontId);

}  // namespace JobFormat
