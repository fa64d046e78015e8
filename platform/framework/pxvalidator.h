// The picture validator: tests a whole text against an input picture.
//
// Picture syntax (one item after the other; the text must be used up exactly
// when the picture is):
//
//   item     matches
//   #        one digit 0-9
//   ? &      one letter (by the character rule the caller hands in)
//   @ !      any one character
//   ;c       the character c itself, whatever it is
//   *n X     item X exactly n times (n decimal digits)
//   * X      item X any number of times, none included
//   [ ... ]  the sequence inside, or nothing
//   { ... }  the sequence inside, as one item
//   a,b,c    alternatives of a group, of an optional part or of the whole
//            picture: the text matches one of them
//   other    that character, compared without regard to case
//
// The upper-casing that "&" and "!" ask for changes only a text that a
// validator formats; this one only answers yes or no and never changes a
// text (automatic fill is off).
//
// What always holds:
//   1. The picture is parsed once, at construction, into a tree of items; a
//      picture that does not parse (an unclosed "[" or "{", a stray "]" or
//      "}", a ";" or "*" with nothing after it) leaves SyntaxOk() false and
//      IsValid() false for every text.
//   2. IsValid backtracks fully: it answers true exactly when some choice of
//      alternatives, optional parts and repetition counts matches the whole
//      text. The work is bounded by (picture items) x (text length + 1)
//      position sets, so no text or picture makes it run away.
//   3. Nesting deeper than kMaxPictureDepth is a syntax error, so parsing
//      and matching never exhaust the stack.
#pragma once

#include <cstdint>
#include <memory>

namespace framework {

// How the validator sees characters: letters and case folding of the
// character set in use.
struct TPXCharRule {
  bool (*IsLetter)(char c);
  char (*Upper)(char c);
};

constexpr int kMaxPictureDepth = 32;

class TPXPictureValidator {
 public:
  TPXPictureValidator(const char* picture, const TPXCharRule& rule);
  ~TPXPictureValidator();
  TPXPictureValidator(const TPXPictureValidator&) = delete;
  TPXPictureValidator& operator=(const TPXPictureValidator&) = delete;

  bool SyntaxOk() const { return root_ != nullptr; }
  bool IsValid(const char* text) const;

  struct Node;

 private:
  TPXCharRule rule_;
  std::unique_ptr<Node> root_;
};

}  // namespace framework
