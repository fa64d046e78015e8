// Full-text queries from arbitrary text (they come from users and the web):
// the parser must end with a tree no deeper than the groups allow, and the
// tree must be walked and freed without running out of stack.
//
// Input: three operator characters, then the query.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/storage/fulltext/fulltext_query.h"

namespace {

// The depth of the tree; a chain counts one level, as the evaluation goes.
int Depth(const FullText::TQueryNode& node) {
  if (node.kind == FullText::TQueryNode::TKind::Word) return 1;
  int deepest = Depth(*node.first);
  for (const auto& step : node.steps) deepest = std::max(deepest, Depth(*step.operand));
  return deepest + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const FullText::TOperators ops{char(data[0]), char(data[1]), char(data[2])};
  const std::string_view query(reinterpret_cast<const char*>(data + 3), size - 3);
  const FullText::TParsedQuery parsed = FullText::ParseQuery(query, "-.", ops);
  if (!parsed.root) abort();
  // Groups and the two chain levels of each: the tree stays shallow.
  if (Depth(*parsed.root) > 2 * (FullText::kMaxQueryNesting + 1) + 1) abort();
  return 0;
}
