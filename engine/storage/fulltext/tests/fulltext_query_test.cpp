#include "engine/storage/fulltext/fulltext_query.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using FullText::TQueryNode;

// The tree written out: a pattern as it is, operators in parentheses with
// "," (and), "+" (or) and "-" (and not).
std::string Show(const TQueryNode& n) {
  if (n.kind == TQueryNode::TKind::Word) return n.pattern.str();
  std::string shown = Show(*n.first);
  for (const TQueryNode::TStep& step : n.steps) {
    const char op = step.op == TQueryNode::TKind::And ? ',' : step.op == TQueryNode::TKind::Or ? '+' : '-';
    shown = "(" + shown + op + Show(*step.operand) + ")";
  }
  return shown;
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

// Queries from users and the web: groups nest at most kMaxQueryNesting
// deep, a query is at most kMaxQueryLength long, and chains of any length
// are built, evaluated and freed without going deeper (a sanitizer build
// runs out of stack long before 200,000 operators or 9,000 groups).
TEST(FullTextQuery, DeepAndLongQueriesAreBoundedAndFlat) {
  const auto nested = [](int depth) { return std::string(size_t(depth), '(') + "a" + std::string(size_t(depth), ')'); };
  EXPECT_EQ(FullText::ParseQuery(nested(FullText::kMaxQueryNesting), "", {}).error, 0);
  EXPECT_EQ(FullText::ParseQuery(nested(FullText::kMaxQueryNesting + 1), "", {}).error, FullText::kErrTooDeep);
  EXPECT_EQ(FullText::ParseQuery(std::string(9000, '('), "", {}).error, FullText::kErrQueryTooLong);
  EXPECT_EQ(FullText::ParseQuery(std::string(FullText::kMaxQueryLength, '('), "", {}).error, FullText::kErrTooDeep);
  EXPECT_EQ(FullText::ParseQuery(std::string(200000, ','), "", {}).error, FullText::kErrQueryTooLong);

  // The longest query: one chain of 2048 operands.
  std::string chain = "a";
  while (chain.size() + 2 <= FullText::kMaxQueryLength) chain += ",a";
  const FullText::TParsedQuery q = FullText::ParseQuery(chain, "", {});
  ASSERT_EQ(q.error, 0);
  ASSERT_EQ(q.root->kind, TQueryNode::TKind::Chain);
  EXPECT_EQ(q.root->steps.size(), (FullText::kMaxQueryLength - 1) / 2);
  // Every level of groups may hold a long chain.
  std::string wide;
  for (int level = 0; level < FullText::kMaxQueryNesting; ++level) wide += "(a+b,c-";
  wide += "x" + std::string(FullText::kMaxQueryNesting, ')');
  EXPECT_EQ(FullText::ParseQuery(wide, "", {}).error, 0);
}

}  // namespace
