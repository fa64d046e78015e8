#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/base/dynstr.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using dynstr::HeapStr;
using dynstr::LineChain;
using dynstr::LineNode;

struct Piece {
  std::string text;
  int continued;
  bool operator==(const Piece&) const = default;
};

std::vector<Piece> Pieces(const LineChain& head) {
  std::vector<Piece> out;
  for (const LineNode* n = head.get(); n; n = n->next.get()) out.push_back({std::string(n->text.view()), n->continued});
  return out;
}

void PrintTo(const Piece& p, std::ostream* os) { *os << "{\"" << p.text << "\" (" << p.text.size() << "), " << p.continued << "}"; }

TEST(DynstrHeapStrTest, HoldsACopyOfAtMost255Characters) {
  HeapStr p;
  EXPECT_FALSE(p);
  EXPECT_EQ(p.size(), 0u);

  std::string source = "Kunde";
  dynstr::NewHeapStr(source, p);
  source[0] = 'X';
  ASSERT_TRUE(p);
  EXPECT_EQ(p.view(), "Kunde");
  EXPECT_EQ(p.str(), ShortStr("Kunde"));

  dynstr::NewHeapStr(std::string(300, 'a'), p);  // replaces (and frees) the old string
  EXPECT_EQ(p.view(), std::string(255, 'a'));

  dynstr::NewHeapStr("", p);
  EXPECT_TRUE(p);  // an empty string is still a string
  EXPECT_EQ(p.size(), 0u);

  dynstr::DisposeHeapStr(p);
  EXPECT_FALSE(p);
  dynstr::DisposeHeapStr(p);
  EXPECT_FALSE(p);
}

TEST(DynstrHeapStrTest, NewHeapStrFromTakesAnInclusiveRange) {
  struct Case {
    size_t first, last;
    std::string expected;
  };
  const Case cases[] = {
      {2, 4, "BCD"}, {1, 6, "ABCDEF"}, {4, 100, "DEF"}, {6, 6, "F"},
      {5, 4, ""},    {7, 9, ""},       {0, 2, "AB"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(dynstr::NewHeapStrFrom("ABCDEF", c.first, c.last).view(), c.expected) << c.first << ".." << c.last;
  EXPECT_EQ(dynstr::NewHeapStrFrom(std::string(300, 'z'), 1, 300).size(), 255u);
}

TEST(DynstrSplitTest, CutsAtLineEndsAndAt253Characters) {
  const std::string x253(253, 'x');
  struct Case {
    std::string text;
    std::vector<Piece> pieces;
  };
  const Case cases[] = {
      {"", {}},
      {"abc\r\ndef", {{"abc", 0}, {"def", 1}}},
      {"abc\r\n", {{"abc", 0}}},
      {"abc\ndef\rghi", {{"abc", 0}, {"def", 0}, {"ghi", 1}}},
      {"abc\n\rdef", {{"abc", 0}, {"", 0}, {"def", 1}}},
      {"abc\r\n\r\ndef", {{"abc", 0}, {"", 0}, {"def", 1}}},
      {std::string(300, 'y'), {{std::string(253, 'y'), 1}, {std::string(47, 'y'), 1}}},
      {x253 + "\r\n", {{x253, 0}}},
      {x253 + "\r\nz", {{x253, 0}, {"z", 1}}},
      {x253 + "y\r\n", {{x253, 1}, {"y", 0}}},
      {x253, {{x253, 1}}},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    LineChain head = dynstr::SplitToPieces(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(Pieces(head), c.pieces) << "text of " << c.text.size();
  }
}

// Joining the pieces and writing a line break behind every piece with flag 0
// gives the text back, with every kind of line end read as one break.
TEST(DynstrSplitTest, PiecesJoinToTheText) {
  std::mt19937 rng(1103);
  const char alphabet[] = {'a', 'b', ' ', '\r', '\n'};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    size_t length = rng() % 800;
    for (size_t i = 0; i < length; ++i) {
      // long runs of letters as well as dense line ends
      text += rng() % 8 ? alphabet[rng() % 3] : alphabet[3 + rng() % 2];
    }
    std::string normalized;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      normalized += (text[i] == '\r') ? '\n' : text[i];
    }
    std::string copy = text;
    LineChain head = dynstr::SplitToPieces(copy);
    std::string joined;
    for (const LineNode* n = head.get(); n; n = n->next.get()) {
      EXPECT_LE(n->text.size(), dynstr::kMaxPiece);
      joined += n->text.view();
      if (n->continued == dynstr::kLineBreakFollows) joined += '\n';
    }
    ASSERT_EQ(joined, normalized) << "round " << round;
  }
}

TEST(DynstrSplitTest, ALongChainIsFreedWithoutDeepRecursion) {
  std::string text(200000, '\n');
  LineChain head = dynstr::SplitToPieces(text);
  size_t count = 0;
  for (const LineNode* n = head.get(); n; n = n->next.get()) ++count;
  EXPECT_EQ(count, 200000u);
  head.reset();
}

}  // namespace
