// Heap short strings and chains of text pieces.
//
// A heap short string is one allocation of exactly length + 1 bytes: the
// length byte, then the characters. An empty HeapStr is the null string ("no
// string"); it owns its allocation and frees it when it goes.
//
// A long text (a memo, a long imported value) travels as a chain of line
// nodes, each holding one piece of at most 253 characters. SplitToPieces cuts
// a text at its line ends; a node's `continued` flag is 1 when no line break
// followed its piece. Joining the pieces and putting a line break behind every
// node whose flag is 0 gives the text back. The same node type carries the
// line chains of program, module and memo texts, where the flag may also hold
// other continuation codes. The head of a chain owns the whole chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/base/shortstr.h"

namespace dynstr {

class HeapStr {
 public:
  HeapStr() = default;
  // Copies at most 255 characters of text.
  explicit HeapStr(std::string_view text);

  explicit operator bool() const { return data_ != nullptr; }
  size_t size() const { return data_ ? data_[0] : 0; }
  std::string_view view() const {
    return data_ ? std::string_view(reinterpret_cast<const char*>(data_.get() + 1), data_[0]) : std::string_view();
  }
  operator std::string_view() const { return view(); }  // NOLINT: read like a text
  ShortStr str() const { return ShortStr(view()); }
  void reset() { data_.reset(); }

 private:
  std::unique_ptr<uint8_t[]> data_;
};

// Longest piece that SplitToPieces puts into one node.
inline constexpr size_t kMaxPiece = 253;

// Values of LineNode::continued as SplitToPieces sets them.
inline constexpr uint8_t kLineBreakFollows = 0;
inline constexpr uint8_t kPieceContinues = 1;

struct LineNode;
using LineChain = std::unique_ptr<LineNode>;

struct LineNode {
  HeapStr text;
  LineChain next;
  uint8_t continued = kLineBreakFollows;

  LineNode() = default;
  LineNode(HeapStr t, uint8_t cont) : text(std::move(t)), continued(cont) {}
  LineNode(const LineNode&) = delete;
  LineNode& operator=(const LineNode&) = delete;
  // Frees the rest of the chain node by node, so a long chain never recurses.
  ~LineNode();
};

// Makes p a new heap string holding text (cut to 255 characters); whatever p
// held before is freed.
void NewHeapStr(std::string_view text, HeapStr& p);
// Frees p and leaves it null; a null p is left alone.
void DisposeHeapStr(HeapStr& p);
// The characters first..last (1-based, inclusive) of text; last is cut to the
// text's length and first below 1 counts as 1; first > last gives an empty
// string. At most 255 characters are kept.
HeapStr NewHeapStrFrom(std::string_view text, size_t first, size_t last);
// Cuts text into a chain of pieces (null for an empty text) and empties text.
LineChain SplitToPieces(std::string& text);

void UnitInit();
void UnitDone();

}  // namespace dynstr
