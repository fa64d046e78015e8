// The line scanner of Lumo: one line of a database job or of a module
// declaration split into classified tokens, and the exception the module
// parser raises for its syntax errors.
//
// Token classes:
//   0  tcNone       nothing usable at the position (end of line, or a
//                   character that starts no token, which is not consumed)
//   5  tcColon      ":"           6  tcSemicolon  ";"      14 tcEquals "="
//   8  tcName       a letter (A-Z, Ä, Ö, Ü, ß after upper-casing), then
//                   letters, digits, "-" and "_"
//   21 tcNumber     digits and at most one "."      22 tcTime  with a ":"
//   23 tcDate       digits with exactly two "."
//   29 tcString     the characters between quotes; a quote of the other kind
//                   inside opens a nested level, so 'a "b" c' keeps its
//                   double quotes; an unclosed text runs to the line's end
//
// The scanner has no two-character tokens (":=" is a colon and an equals
// sign) and never reads behind its line: positions are 1-based and checked
// against the line's length before every character read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/base/shortstr.h"

namespace LumoScan {

enum TokenClass : int {
  tcNone = 0,
  tcColon = 5,
  tcSemicolon = 6,
  tcName = 8,
  tcEquals = 14,
  tcNumber = 21,
  tcTime = 22,
  tcDate = 23,
  tcString = 29,
};

// Reads one token from position (1-based, in and out) and leaves position on
// the first character behind it; token receives its characters (empty for
// the punctuation classes and tcNone).
TokenClass NextToken(std::string_view line, size_t& position, ShortStr& token);

// The conversion exception of TokenToNumber.
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& what) : std::runtime_error(what) {}
};

// The value of a number, time or date token: a number with "." as its
// decimal mark whatever the process locale; a time as minutes since
// midnight; a date as its day number. Another class raises EConvertError
// "Unknown token"; a text that does not convert raises EConvertError too.
double TokenToNumber(std::string_view token, TokenClass tokenClass);

// A syntax error of the module parser: the message is the argument text;
// with it go the engine error number, line number, column and line text.
class EParser : public std::runtime_error {
 public:
  EParser(uint16_t error, const std::string& argument, const std::string& lineText, int column,
          int lineNumber)
      : std::runtime_error(argument), error(error), line(lineNumber), column(column),
        lineText(lineText) {}
  uint16_t error;
  int line;
  int column;
  std::string lineText;
};

}  // namespace LumoScan
