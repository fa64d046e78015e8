#include "engine/storage/fulltext/fulltext_query.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using FullText::TQueryNode;

// The tree written out: a pattern as it is, operators in parentheses with
// "," (and), "+" (or) and "-" (and not).
std::string Show(const TQueryNode& n) {
  switch (n.kind) {
    case TQueryNode::TKind::Word: return n.pattern.str();
    case TQueryNode::TKind::And: return "(" + Show(*n.left) + "," + Show(*n.right) + ")";
    case TQueryNode::TKind::Or: return "(" + Show(*n.left) + "+" + Show(*n.right) + ")";
    case TQueryNode::TKind::AndNot: return "(" + Show(*n.left) + "-" + Show(*n.right) + ")";
  }
  return "?";
}

struct QueryCase {
  const char* query;
  const char* parsed;
  int16_t error;
  const char* extra = "";
  FullText::TOperators ops = {};
};

TEST(FullTextQuery, ParseTable) {
  const FullText::TOperators custom{'&', '|', '!'};
  const QueryCase cases[] = {
      {"Haus", "Haus", 0},
      {"Haus,Garten", "(Haus,Garten)", 0},
      {"a,b,c", "((a,b),c)", 0},
      {"a+b,c", "(a+(b,c))", 0},
      {"a,b+c", "((a,b)+c)", 0},
      {"a-b", "(a-b)", 0},
      {"a,-b", "(a-b)", 0},
      {" a , - b ", "(a-b)", 0},
      {"a-b,c+d", "(((a-b),c)+d)", 0},
      {"(a+b),c", "((a+b),c)", 0},
      {"((a))", "a", 0},
      {"Beh*,-Behindert", "(Beh*-Behindert)", 0},
      {"M?ller+*ung", "(M?ller+*ung)", 0},
      {"Gr\xF6\xDF" "e,\xDC" "ber*", "(Gr\xF6\xDF" "e,\xDC" "ber*)", 0},
      {"", "", 0},
      {"a,", "(a,)", 0},
      {"(a+b", "(a+b)", FullText::kErrMissingParen},
      {"x,(a+b", "(x,(a+b))", FullText::kErrMissingParen},
      {"a b", "a", FullText::kErrTextLeft},
      {"a,)", "(a,)", FullText::kErrTextLeft},
      {"a;b", "a", FullText::kErrTextLeft},
      {"100", "", FullText::kErrTextLeft},
      {"E-Mail,Fax", "(E-Mail,Fax)", 0, "-"},
      {"100,Euro", "(100,Euro)", 0, "0123456789"},
      {"a&b|c!d", "((a,b)+(c-d))", 0, "", custom},
      {"a&!b", "(a-b)", 0, "", custom},
      {"a,b", "a", FullText::kErrTextLeft, "", custom},
  };
  for (const QueryCase& c : cases) {
    const FullText::TParsedQuery q = FullText::ParseQuery(c.query, c.extra, c.ops);
    ASSERT_NE(q.root, nullptr) << c.query;
    EXPECT_EQ(Show(*q.root), c.parsed) << c.query;
    EXPECT_EQ(q.error, c.error) << c.query;
  }
}

}  // namespace
