// Text and number algorithms of the system functions: the similarity
// measure (StrComp), the addition of number texts (StrAdd), the general
// number text and the decimal rounding built on it (Round), and the small
// text rules of Scan, SubPath, Swap, TestLn and NTimes. The phonetic code
// (Soundex) is Zet02::PhoneticCode of the selection unit, which the
// "similar" operator shares.
//
// What holds:
//   1. Every routine takes texts of any length but reads only inside them,
//      and answers a ShortStr (at most 255 characters) or a number; no state
//      survives a call.
//   2. Similarity follows one fixed greedy walk, not a textbook longest
//      common subsequence, so its numbers are those every caller has seen.
//      Each (i, j) start pair is computed once and the next equal pair is
//      found through next-occurrence tables, so two 255-character texts take
//      at most about 255 x 255 x 255 steps whatever their contents; the
//      recursion is at most la + lb deep.
//   3. Rounding works on the decimal text of the number, so a tie in the
//      written decimals rounds away from zero whatever the binary value
//      holds (2.675 gives 2.68). A number without a fractional part, an
//      infinite one and NaN come back unchanged.
//   4. The general number text has about ten significant digits, "." as its
//      point and no trailing zeros after the point.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace SysAlgo {

// Similarity of two texts from 0 to 1; 1 when either text is empty.
double StrComp(std::string_view a, std::string_view b);
// The common-run length that the similarity walk finds (the M of
// 2M / (la + lb)); 0 when either text is empty.
int StrCompMatches(std::string_view a, std::string_view b);

// Decimal sum of two number texts over 40 columns; the "." column is
// skipped, leading zeros are removed, a carry out of column 1 is lost.
ShortStr StrAdd(std::string_view a, std::string_view b);

// The number as text: a whole number without decimals, else about ten
// significant digits with trailing zeros removed; "." as the point.
ShortStr NumberText(double x);
// x rounded to n decimals on its number text; n is taken as a 16-bit
// unsigned number, so a negative n leaves x unchanged.
double RoundNumber(double x, int32_t n);

// Occurrences of sub in text, each search one character after the previous
// hit (overlaps count), kept in a byte; 0 for an empty sub.
int ScanCount(std::string_view sub, std::string_view text);
// Position (1-based) of sub in text; 0 when absent or sub is empty.
int PosOf(std::string_view sub, std::string_view text);
// text without prefix when text begins with it (at most 127 characters),
// else text.
ShortStr SubPath(std::string_view text, std::string_view prefix);
// The part after the first "^", "^", then the part before it.
ShortStr Swap(std::string_view text);
// Trimmed on both sides; CR LF appended when something remains.
ShortStr TestLn(std::string_view text);
// text repeated n times (n as a 16-bit unsigned number), at most 255
// characters.
ShortStr NTimes(std::string_view text, int32_t n);

}  // namespace SysAlgo
