#include "engine/language/scanner.h"

#include <charconv>

#include "engine/base/common.h"
#include "engine/base/datum.h"

namespace LumoScan {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char At(std::string_view line, size_t position) { return line[position - 1]; }

}  // namespace

TokenClass NextToken(std::string_view line, size_t& position, ShortStr& token) {
  token.clear();
  if (position < 1) position = 1;
  while (position <= line.size() && IsBlank(At(line, position))) ++position;
  if (position > line.size()) return tcNone;
  const char c = At(line, position);
  switch (c) {
    case ':': ++position; return tcColon;
    case ';': ++position; return tcSemicolon;
    case '=': ++position; return tcEquals;
    default: break;
  }
  const size_t start = position;
  if (Common::IsLetter(c)) {
    while (position <= line.size() && Common::IsNameChar(At(line, position))) ++position;
    token = line.substr(start - 1, position - start);
    return tcName;
  }
  if (Common::IsDigit(c)) {
    int dots = 0;
    int colons = 0;
    while (position <= line.size()) {
      const char d = At(line, position);
      if (d == '.') ++dots;
      else if (d == ':') ++colons;
      else if (!Common::IsDigit(d)) break;
      ++position;
    }
    token = line.substr(start - 1, position - start);
    if (colons > 0) return tcTime;
    if (dots <= 1) return tcNumber;
    if (dots == 2) return tcDate;
    token.clear();
    return tcNone;
  }
  if (c == '\'' || c == '"') {
    char expected = c;
    int depth = 0;
    ++position;
    while (position <= line.size()) {
      const char d = At(line, position++);
      if (d == expected && depth == 0) return tcString;
      token.append(d);
      if (d == '\'' || d == '"') {
        if (d != expected) {
          ++depth;
          expected = d;
        } else {
          --depth;
          expected = d == '\'' ? '"' : '\'';
        }
      }
    }
    return tcString;  // an unclosed text ends with the line
  }
  return tcNone;
}

double TokenToNumber(std::string_view token, TokenClass tokenClass) {
  switch (tokenClass) {
    case tcNumber: {
      double value = 0;
      const char* first = token.data();
      const char* last = token.data() + token.size();
      auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
      if (ec != std::errc() || end != last) throw EConvertError("'" + std::string(token) + "' is not a valid number");
      return value;
    }
    case tcTime: {
      int32_t minutes = 0;
      if (DATUM::StrToMinutes(token, minutes) != 0)
        throw EConvertError("'" + std::string(token) + "' is not a valid time");
      return minutes;
    }
    case tcDate: {
      int32_t packed = 0;
      if (DATUM::StrToPackedDate(token, packed) != 0)
        throw EConvertError("'" + std::string(token) + "' is not a valid date");
      return DATUM::PackedToDayNumber(packed);
    }
    default:
      throw EConvertError("Unknown token");
  }
}

}  // namespace LumoScan
