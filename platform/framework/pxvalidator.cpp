#include "platform/framework/pxvalidator.h"

#include <cstring>
#include <vector>

namespace framework {

namespace {

enum class Kind { Digit, Letter, Any, Literal, Seq, Alt, Opt, Repeat };

// End positions reachable in the text: Set[p] is 1 when a match may end
// (or start) at position p.
using Positions = std::vector<char>;

bool Empty(const Positions& s) {
  for (char c : s)
    if (c) return false;
  return true;
}

}  // namespace

struct TPXPictureValidator::Node {
  Kind kind;
  char literal = 0;
  int32_t count = -1;  // Repeat: -1 any number of times
  std::vector<std::unique_ptr<Node>> children;
};

namespace {

using Node = TPXPictureValidator::Node;

class Parser {
 public:
  explicit Parser(const char* picture) : p_(picture) {}

  // The whole picture: alternatives up to the end.
  std::unique_ptr<Node> Parse() {
    auto root = Alternatives(0, 0);
    if (!root || *p_) return nullptr;
    return root;
  }

 private:
  static std::unique_ptr<Node> Make(Kind kind) {
    auto n = std::make_unique<Node>();
    n->kind = kind;
    return n;
  }

  // Sequences separated by "," up to the closing character (0: the end).
  std::unique_ptr<Node> Alternatives(char close, int depth) {
    if (depth > kMaxPictureDepth) return nullptr;
    auto alt = Make(Kind::Alt);
    for (;;) {
      auto seq = Make(Kind::Seq);
      while (*p_ && *p_ != ',' && *p_ != ']' && *p_ != '}') {
        auto item = Item(depth);
        if (!item) return nullptr;
        seq->children.push_back(std::move(item));
      }
      alt->children.push_back(std::move(seq));
      if (*p_ != ',') break;
      ++p_;
    }
    if (*p_ != close) return nullptr;
    if (close) ++p_;
    return alt;
  }

  std::unique_ptr<Node> Item(int depth) {
    const char c = *p_++;
    switch (c) {
      case '#': return Make(Kind::Digit);
      case '?':
      case '&': return Make(Kind::Letter);
      case '@':
      case '!': return Make(Kind::Any);
      case ';': {
        if (!*p_) return nullptr;
        auto n = Make(Kind::Literal);
        n->literal = *p_++;
        return n;
      }
      case '*': {
        auto n = Make(Kind::Repeat);
        if (*p_ >= '0' && *p_ <= '9') {
          n->count = 0;
          for (; *p_ >= '0' && *p_ <= '9'; ++p_)
            if (n->count < 65535) n->count = n->count * 10 + (*p_ - '0');
        }
        if (!*p_ || *p_ == ',' || *p_ == ']' || *p_ == '}' || depth + 1 > kMaxPictureDepth) return nullptr;
        auto item = Item(depth + 1);
        if (!item) return nullptr;
        n->children.push_back(std::move(item));
        return n;
      }
      case '[': {
        auto inner = Alternatives(']', depth + 1);
        if (!inner) return nullptr;
        auto n = Make(Kind::Opt);
        n->children.push_back(std::move(inner));
        return n;
      }
      case '{': return Alternatives('}', depth + 1);
      default: {
        auto n = Make(Kind::Literal);
        n->literal = c;
        return n;
      }
    }
  }

  const char* p_;
};

class Matcher {
 public:
  Matcher(const char* text, const TPXCharRule& rule) : text_(text), n_(std::strlen(text)), rule_(rule) {}

  Positions Match(const Node& node, const Positions& starts) const {
    switch (node.kind) {
      case Kind::Digit:
      case Kind::Letter:
      case Kind::Any:
      case Kind::Literal: {
        Positions ends(n_ + 1, 0);
        for (size_t p = 0; p < n_; ++p)
          if (starts[p] && Accepts(node, text_[p])) ends[p + 1] = 1;
        return ends;
      }
      case Kind::Seq: {
        Positions at = starts;
        for (const auto& child : node.children) {
          if (Empty(at)) break;
          at = Match(*child, at);
        }
        return at;
      }
      case Kind::Alt: {
        Positions ends(n_ + 1, 0);
        for (const auto& child : node.children) Merge(ends, Match(*child, starts));
        return ends;
      }
      case Kind::Opt: {
        Positions ends = starts;
        Merge(ends, Match(*node.children[0], starts));
        return ends;
      }
      case Kind::Repeat: return Repeat(*node.children[0], node.count, starts);
    }
    return Positions(n_ + 1, 0);
  }

  size_t Length() const { return n_; }

 private:
  bool Accepts(const Node& node, char c) const {
    switch (node.kind) {
      case Kind::Digit: return c >= '0' && c <= '9';
      case Kind::Letter: return rule_.IsLetter(c);
      case Kind::Any: return true;
      default: return rule_.Upper(c) == rule_.Upper(node.literal);
    }
  }

  static void Merge(Positions& into, const Positions& from) {
    for (size_t i = 0; i < into.size(); ++i)
      if (from[i]) into[i] = 1;
  }

  // Exactly count times, or (count -1) any number of times. A fixed count
  // settles within n + 2 rounds: an item that may match nothing only adds
  // positions, any other moves the first position on, so the set either
  // stops changing or runs empty.
  Positions Repeat(const Node& item, int32_t count, const Positions& starts) const {
    if (count < 0) {
      Positions all = starts, frontier = starts;
      for (;;) {
        Positions next = Match(item, frontier);
        Positions fresh(n_ + 1, 0);
        for (size_t i = 0; i <= n_; ++i)
          if (next[i] && !all[i]) fresh[i] = all[i] = 1;
        if (Empty(fresh)) return all;
        frontier = std::move(fresh);
      }
    }
    Positions at = starts;
    for (int32_t k = 0; k < count; ++k) {
      Positions next = Match(item, at);
      if (Empty(next) || next == at) return next;
      at = std::move(next);
    }
    return at;
  }

  const char* text_;
  size_t n_;
  const TPXCharRule& rule_;
};

}  // namespace

TPXPictureValidator::TPXPictureValidator(const char* picture, const TPXCharRule& rule)
    : rule_(rule), root_(Parser(picture ? picture : "").Parse()) {}

TPXPictureValidator::~TPXPictureValidator() = default;

bool TPXPictureValidator::IsValid(const char* text) const {
  if (!root_) return false;
  const Matcher m(text ? text : "", rule_);
  Positions starts(m.Length() + 1, 0);
  starts[0] = 1;
  return m.Match(*root_, starts)[m.Length()] != 0;
}

}  // namespace framework
