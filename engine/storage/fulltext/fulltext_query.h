// Full-text queries: the grammar and its parse tree.
//
//   expression = and-term { OR and-term }
//   and-term   = term { ( AND | AND-NOT | AND AND-NOT ) term }
//   term       = word-pattern | "(" expression ")"
//
// AND, OR and AND-NOT are the three operator characters (",", "+" and "-"
// unless the caller names others); AND followed by AND-NOT (",-") is one
// and-not. Blanks between items are skipped. A word pattern is a run of word
// characters, extra word characters, "*" (any run) and "?" (one character);
// an empty run is an empty pattern, which matches no word. Operators combine
// from left to right.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/base/shortstr.h"

namespace FullText {

// Query results.
inline constexpr int16_t kErrNoAutoNumber = -201;     // word table without an N field
inline constexpr int16_t kErrBadRelationTable = -202; // relation slot not open or no .REL table
inline constexpr int16_t kErrMissingParen = -203;     // "(" without ")"
inline constexpr int16_t kErrTextLeft = -204;         // characters after the expression

// The and, or and and-not characters.
struct TOperators {
  char andChar = ',';
  char orChar = '+';
  char andNotChar = '-';
};

struct TQueryNode {
  enum class TKind { Word, And, Or, AndNot };
  TKind kind = TKind::Word;
  ShortStr pattern;  // Word: the pattern
  std::unique_ptr<TQueryNode> left, right;
};

struct TParsedQuery {
  std::unique_ptr<TQueryNode> root;
  // 0, kErrMissingParen or kErrTextLeft. With an error the tree holds what
  // was read before it (an open group taken as closed), which a query still
  // evaluates.
  int16_t error = 0;
};

TParsedQuery ParseQuery(std::string_view query, std::string_view extraChars, const TOperators& operators);

}  // namespace FullText
