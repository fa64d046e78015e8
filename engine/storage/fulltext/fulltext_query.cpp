#include "engine/storage/fulltext/fulltext_query.h"

#include <utility>

#include "engine/storage/fulltext/fulltext_words.h"

namespace FullText {
namespace {

using TNode = std::unique_ptr<TQueryNode>;
using TKind = TQueryNode::TKind;

// Recursive descent over the query text, one level per group; the first
// error stops the descent and is kept.
class TParser {
 public:
  TParser(std::string_view text, std::string_view extraChars, const TOperators& operators)
      : text_(text), extraChars_(extraChars), ops_(operators) {}

  TParsedQuery Run() {
    TParsedQuery result;
    if (text_.size() > kMaxQueryLength) {
      result.root = std::make_unique<TQueryNode>();
      result.error = kErrQueryTooLong;
      return result;
    }
    result.root = Expression();
    SkipBlanks();
    if (error_ == 0 && pos_ < text_.size()) error_ = kErrTextLeft;
    result.error = error_;
    return result;
  }

 private:
  // Adds a step to the chain that node is, making node a chain first when
  // it is a single operand.
  static void Append(TNode& node, TKind op, TNode operand, bool& chained) {
    if (!chained) {
      auto chain = std::make_unique<TQueryNode>();
      chain->kind = TKind::Chain;
      chain->first = std::move(node);
      node = std::move(chain);
      chained = true;
    }
    node->steps.push_back({op, std::move(operand)});
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }

  // The next non-blank character is c: takes it.
  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool InPattern(char c) const {
    return IsWordChar(c) || c == '*' || c == '?' || extraChars_.find(c) != std::string_view::npos;
  }

  TNode Expression() {
    TNode node = AndTerm();
    bool chained = false;
    while (error_ == 0 && Take(ops_.orChar)) Append(node, TKind::Or, AndTerm(), chained);
    return node;
  }

  TNode AndTerm() {
    TNode node = Term();
    bool chained = false;
    while (error_ == 0) {
      TKind kind;
      if (Take(ops_.andChar))
        kind = Take(ops_.andNotChar) ? TKind::AndNot : TKind::And;
      else if (Take(ops_.andNotChar))
        kind = TKind::AndNot;
      else
        break;
      Append(node, kind, Term(), chained);
    }
    return node;
  }

  TNode Term() {
    if (Take('(')) {
      if (depth_ == kMaxQueryNesting) {
        error_ = kErrTooDeep;
        return std::make_unique<TQueryNode>();
      }
      ++depth_;
      TNode inner = Expression();
      --depth_;
      if (error_ == 0 && !Take(')')) error_ = kErrMissingParen;
      return inner;
    }
    SkipBlanks();
    auto node = std::make_unique<TQueryNode>();
    const size_t start = pos_;
    while (pos_ < text_.size() && InPattern(text_[pos_])) ++pos_;
    node->pattern = text_.substr(start, pos_ - start);
    return node;
  }

  std::string_view text_;
  std::string_view extraChars_;
  TOperators ops_;
  size_t pos_ = 0;
  int depth_ = 0;
  int16_t error_ = 0;
};

}  // namespace

TParsedQuery ParseQuery(std::string_view query, std::string_view extraChars, const TOperators& operators) {
  return TParser(query, extraChars, operators).Run();
}

}  // namespace FullText
