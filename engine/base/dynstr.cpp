#include "engine/base/dynstr.h"

#include <algorithm>
#include <cstring>

namespace dynstr {
namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';

}  // namespace

HeapStr::HeapStr(std::string_view text) {
  size_t n = std::min(text.size(), ShortStr::kMax);
  data_ = std::make_unique_for_overwrite<uint8_t[]>(n + 1);
  data_[0] = uint8_t(n);
  if (n) std::memcpy(data_.get() + 1, text.data(), n);
}

LineNode::~LineNode() {
  LineChain rest = std::move(next);
  while (rest) rest = std::move(rest->next);
}

void NewHeapStr(std::string_view text, HeapStr& p) { p = HeapStr(text); }

void DisposeHeapStr(HeapStr& p) { p.reset(); }

HeapStr NewHeapStrFrom(std::string_view text, size_t first, size_t last) {
  first = std::max<size_t>(first, 1);
  last = std::min(last, text.size());
  if (first > last) return HeapStr(std::string_view());
  return HeapStr(text.substr(first - 1, last - first + 1));
}

LineChain SplitToPieces(std::string& text) {
  LineChain head;
  LineChain* tail = &head;
  std::string_view rest(text);
  while (!rest.empty()) {
    // A line end right behind a full piece still ends that piece.
    size_t end = rest.substr(0, kMaxPiece + 1).find_first_of("\r\n");
    bool atLineEnd = end != std::string_view::npos;
    if (!atLineEnd) end = std::min(rest.size(), kMaxPiece);
    *tail = std::make_unique<LineNode>(HeapStr(rest.substr(0, end)), atLineEnd ? kLineBreakFollows : kPieceContinues);
    tail = &(*tail)->next;
    size_t consumed = end;
    if (atLineEnd) consumed += (rest[end] == kCR && end + 1 < rest.size() && rest[end + 1] == kLF) ? 2 : 1;
    rest.remove_prefix(consumed);
  }
  text.clear();
  return head;
}

void UnitInit() {}
void UnitDone() {}

}  // namespace dynstr
