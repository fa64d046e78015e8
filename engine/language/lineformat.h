// The line formatter: turns one compiled print line into printed output.
//
// A print line is Lumo byte code (bytecode.h) that is not evaluated as one
// expression but walked from left to right as print items: literal texts,
// fields and expressions, each with an optional format (width, line count,
// indent, column mode, leaders, grouping, repeat suppression), between
// line-break codes, rules and ruled columns, font switches and a condition
// that blanks the line. Items are laid out through the page formatter
// (pageformat.h).
//
// What holds:
//   1. The walk reads only inside the line: a prefix "+" or "," at the very
//      end ends the line, a format letter that is the last code is an item
//      code (error 45), and every operand read is bounds-checked.
//   2. Every call saves the pending text, the error word, the left margin and
//      the running-call pointer at entry and puts them back at exit, so a
//      nested call (a header printed at a page break, a Print inside an
//      item) leaves the outer call as it was.
//   3. Items are numbered 1.. by field and expression items; only items 1 to
//      20 own a column state. A later item in column mode is printed as if
//      it were not in column mode (its rest is dropped at the page end), so
//      no state past the 20th is ever written.
//   4. The result is 0 or the first error; an error ends the line, is
//      reported once with the code listing, and what was printed before it
//      stays printed.
//   5. In text-file mode a field's width in characters is its width divided
//      by the text-file character width, taken as 1 when that is 0.
//   6. A memo is printed from its chain of line pieces; trailing empty
//      pieces never print, and a rest carried over a page end (column mode)
//      owns the pieces behind the last one printed, so freeing the printed
//      part never frees the rest.
//   7. A sub-report (item 218) keeps the header, its margin, the remembered
//      text, the more-records switch, the left margin, the link state and
//      the record pool as it found them; while it runs, the header is the
//      outer header plus the codes in front of the item (at most 255), which
//      a page break prints again. A failing sub-line reports its own error
//      and the next record goes on. Text attached in front of a sub-report
//      goes out before its records; inside a collecting line the sub-lines
//      are collected and joined to the line's text, so sorting sorts whole
//      lines.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace LineFormat {

// Formats line (code bytes without their length byte): 0 or the error.
uint16_t FormatLine(std::string_view line, bool collect);
// Whether a field is still carried over a page end.
bool AnyColumnContinues();
// Clears what the job body left in the column states.
void ReleaseColumnStates();

// Pads text with fill, one character at the back, then one at the front,
// until its visible length reaches width.
void CentreText(ShortStr& text, size_t width, char fill);
// True when text is empty or holds only codes of 32 or less.
bool IsBlankText(std::string_view text);

void UnitInit();
void UnitDone();

}  // namespace LineFormat
