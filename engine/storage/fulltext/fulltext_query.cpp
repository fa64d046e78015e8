#include "engine/storage/fulltext/fulltext_query.h"

#include <utility>

#include "engine/storage/fulltext/fulltext_words.h"

namespace FullText {
namespace {

using TNode = std::unique_ptr<TQueryNode>;
using TKind = TQueryNode::TKind;

// Recursive descent over the query text; the first error stops the descent
// and is kept.
class TParser {
 public:
  TParser(std::string_view text, std::string_view extraChars, const TOperators& operators)
      : text_(text), extraChars_(extraChars), ops_(operators) {}

  TParsedQuery Run() {
    TParsedQuery result;
    result.root = Expression();
    SkipBlanks();
    if (error_ == 0 && pos_ < text_.size()) error_ = kErrTextLeft;
    result.error = error_;
    return result;
  }

 private:
  static TNode Join(TKind kind, TNode left, TNode right) {
    auto node = std::make_unique<TQueryNode>();
    node->kind = kind;
    node->left = std::move(left);
    node->right = std::move(right);
    return node;
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
    while (error_ == 0 && Take(ops_.orChar)) node = Join(TKind::Or, std::move(node), AndTerm());
    return node;
  }

  TNode AndTerm() {
    TNode node = Term();
    while (error_ == 0) {
      TKind kind;
      if (Take(ops_.andChar))
        kind = Take(ops_.andNotChar) ? TKind::AndNot : TKind::And;
      else if (Take(ops_.andNotChar))
        kind = TKind::AndNot;
      else
        break;
      node = Join(kind, std::move(node), Term());
    }
    return node;
  }

  TNode Term() {
    if (Take('(')) {
      TNode inner = Expression();
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
  int16_t error_ = 0;
};

}  // namespace

TParsedQuery ParseQuery(std::string_view query, std::string_view extraChars, const TOperators& operators) {
  return TParser(query, extraChars, operators).Run();
}

}  // namespace FullText
