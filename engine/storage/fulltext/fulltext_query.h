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
//
// Queries come from users and the web, so nothing in them decides how deep
// the parser, the tree or its evaluation go: a chain of operators is one
// node holding its operands in a list (built, evaluated and freed in a
// loop), so the tree is only as deep as the groups nest, and groups nest at
// most kMaxQueryNesting deep (kErrTooDeep beyond). A query longer than
// kMaxQueryLength is refused whole (kErrQueryTooLong).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/base/shortstr.h"

namespace FullText {

// Query results.
inline constexpr int16_t kErrNoAutoNumber = -201;     // word table without an N field
inline constexpr int16_t kErrBadRelationTable = -202; // relation slot not open or no .REL table
inline constexpr int16_t kErrMissingParen = -203;     // "(" without ")"
inline constexpr int16_t kErrTextLeft = -204;         // characters after the expression
inline constexpr int16_t kErrTooDeep = -205;          // groups nested too deep
inline constexpr int16_t kErrQueryTooLong = -206;     // more than kMaxQueryLength characters
// Index 2 of a relation table was built again from its records and lost its
// source record numbers: the engine error "Index defekt" (95), negated; the
// relation table needs a build before it answers queries again.
inline constexpr int16_t kErrRelationKeysLost = -95;

inline constexpr int kMaxQueryNesting = 64;
inline constexpr size_t kMaxQueryLength = 4096;

// The and, or and and-not characters.
struct TOperators {
  char andChar = ',';
  char orChar = '+';
  char andNotChar = '-';
};

// A word, or a chain: the first operand combined from left to right with
// the operand of each step by the step's operator (And, Or or AndNot).
struct TQueryNode {
  enum class TKind { Word, Chain, And, Or, AndNot };
  struct TStep {
    TKind op = TKind::And;
    std::unique_ptr<TQueryNode> operand;
  };
  TKind kind = TKind::Word;
  ShortStr pattern;  // Word: the pattern
  std::unique_ptr<TQueryNode> first;  // Chain
  std::vector<TStep> steps;           // Chain: at least one
};

struct TParsedQuery {
  std::unique_ptr<TQueryNode> root;
  // 0, kErrMissingParen, kErrTextLeft, kErrTooDeep or kErrQueryTooLong.
  // With an error the tree holds what was read before it (an open group
  // taken as closed), which a query still evaluates; a query too long holds
  // the empty pattern.
  int16_t error = 0;
};

TParsedQuery ParseQuery(std::string_view query, std::string_view extraChars, const TOperators& operators);

}  // namespace FullText
