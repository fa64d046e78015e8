// The collation of Windows-1252 texts (see collate.h).
#include "platform/collate.h"

#include <array>

namespace platform {

namespace {

constexpr uint8_t kSharpS = 223;  // ß
// The first code that goes through the base-letter table.
constexpr uint8_t kFirstHighChar = 128;
// The 32 between a capital and its small letter.
constexpr uint8_t kCaseDistance = 'a' - 'A';

// The character each code from 128 on is compared as: accented letters as
// their base letter, everything else as itself.
constexpr std::array<uint8_t, 128> kBaseLetter = [] {
  std::array<uint8_t, 128> t{};
  for (int c = 128; c < 256; ++c) t[c - 128] = uint8_t(c);
  auto set = [&t](int from, int to, char base) {
    for (int c = from; c <= to; ++c) t[c - 128] = uint8_t(base);
  };
  set(138, 138, 'S');
  set(140, 140, 'O');
  set(154, 154, 's');
  set(156, 156, 'o');
  set(159, 159, 'Y');
  set(192, 198, 'A');
  set(199, 199, 'C');
  set(200, 203, 'E');
  set(204, 207, 'I');
  set(208, 208, 'D');
  set(209, 209, 'N');
  set(210, 214, 'O');
  set(216, 216, 'O');
  set(217, 220, 'U');
  set(221, 221, 'Y');
  set(223, 223, 's');
  set(224, 230, 'a');
  set(231, 231, 'c');
  set(232, 235, 'e');
  set(236, 239, 'i');
  set(240, 240, 'd');
  set(241, 241, 'n');
  set(242, 246, 'o');
  set(248, 248, 'o');
  set(249, 252, 'u');
  set(253, 253, 'y');
  set(255, 255, 'y');
  return t;
}();

// One side of a collating comparison: the text, the position, the mark of
// its first accent or "ß" not yet matched by the other side (characters left
// from there, 0 for none), and whether a "ß" has given its first "s".
struct CollateSide {
  std::string_view text;
  size_t pos = 0;
  size_t mark = 0;
  bool inSharpS = false;

  bool AtEnd() const { return pos >= text.size(); }
  size_t Left() const { return text.size() - pos; }
  uint8_t Raw() const { return uint8_t(text[pos]); }

  void SetMark(size_t left) {
    if (mark == 0) mark = left;
  }

  // The compare value of the current character. A "ß" yields "s" twice; the
  // first time it stays the current character.
  uint8_t Value(bool foldCase) {
    uint8_t c = Raw();
    if (c == '^') {
      c = ' ';
    } else if (c == kSharpS) {
      if (!inSharpS) SetMark(Left() + 1);
      inSharpS = !inSharpS;
      c = 's';
    } else if (c >= kFirstHighChar) {
      SetMark(Left());
      c = kBaseLetter[c - kFirstHighChar];
    }
    if (foldCase && c >= 'a' && c <= 'z') c = uint8_t(c - kCaseDistance);
    return c;
  }

  // Moves on unless a "ß" has given only its first "s".
  void Advance() {
    if (!inSharpS) ++pos;
  }
};

}  // namespace

int Collate(std::string_view a, std::string_view b, bool foldCase) {
  CollateSide sa{a}, sb{b};
  while (!sa.AtEnd() && !sb.AtEnd()) {
    if (sa.Raw() == sb.Raw() && !sa.inSharpS && !sb.inSharpS) {
      ++sa.pos;
      ++sb.pos;
      continue;
    }
    uint8_t va = sa.Value(foldCase);
    uint8_t vb = sb.Value(foldCase);
    if (va != vb) return va > vb ? 1 : -1;
    if (sa.mark == sb.mark) sa.mark = sb.mark = 0;
    sa.Advance();
    sb.Advance();
  }
  if (sa.Left() != sb.Left()) return sa.Left() > sb.Left() ? 1 : -1;
  if (sa.mark != sb.mark) return sa.mark > sb.mark ? 1 : -1;
  return 0;
}

size_t CollateBaseLetters(std::string_view text, uint8_t* out, size_t room, bool& plain) {
  CollateSide side{text};
  size_t n = 0;
  while (!side.AtEnd()) {
    const uint8_t letter = side.Value(true);
    if (n < room) out[n] = letter;
    ++n;
    side.Advance();
  }
  plain = side.mark == 0;
  return n;
}

}  // namespace platform
