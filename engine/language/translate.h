// The translation of a compiled line: the byte code read once into a tree of
// nodes, so that a line that runs again (a loop body, a procedure body, a
// formula per record) is not parsed again on every pass.
//
// The byte code stays the stored and exchanged form; a translation is only a
// reading aid the interpreter keeps beside it. It is a pure function of the
// code bytes from the start position and of the code's length: it names no
// variable record, table or procedure, only their numbers, so it never goes
// stale while those change. The interpreter resolves them when it runs.
//
// What holds:
//   1. A node covers the bytes [start, end) of the code, where the
//      interpreter's descent over the bytes would read exactly that operand,
//      term or sum when every operand has the type its operators take. The
//      byte at end is never an operator of a level the node stands for.
//   2. A term of one operand is that operand's node, a sum of one term that
//      term's node; chains of two or more keep their operators (the operator
//      in front of each operand or term after the first is in its op).
//   3. Only the operands listed in TNodeKind are translated, each with all of
//      its nested sums; a line holding any other operand (function calls,
//      host members, linked aggregates, field paths, ...) or an operand that
//      a '.' or '[' follows is not translated and runs as it always did.
//   4. Nothing is read outside the code: a code that ends where an operand
//      byte is needed is not translated (its run answers 41 as before).
//   5. The cache keeps a translation with a copy of the bytes it read and the
//      code's length; a code at the same place whose bytes or length changed
//      is read again. A code is translated when it runs a second time, or
//      at once when it holds a loop (NLoop), so code that runs once costs
//      no more than before. A translation the cache gives up lives on until
//      no run is left (FreeRetiredTranslations).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Zet02 {

enum class TNodeKind : uint8_t {
  kSum,         // terms with '+' / '-'
  kTerm,        // operands with '*', '/', Div, Mod
  kNumber,      // 64, 66, 67
  kText,        // 65, 248: a text constant
  kVar,         // 255 read
  kAssignVar,   // 255 ... 253 sum
  kArray,       // 251 with subscripts, read or (253) assignment
  kFieldSet,    // 185 ... 253 sum
  kParen,       // '(' sum ')'
  kSign,        // '+' / '-' operand
  kChoice,      // 213: selector, alternatives
  kNLoop,       // 215: count, body items
  kProcCall,    // 226: arguments
  kFixed,       // an operand of fixed length the interpreter reads itself
};

struct TNode {
  TNodeKind kind = TNodeKind::kNumber;
  uint8_t token = 0;     // the operand's first byte
  uint8_t op = 0;        // the operator in front of it in a chain
  bool quick = false;    // a number constant or number variable read the
                         // interpreter takes without the operand frame
  bool assign = false;   // an assignment follows (kAssignVar, kArray, kFieldSet)
  bool suffix = false;   // a rounding suffix ";" 67 d stands at end
  bool pure = false;     // quick operands, array elements read with plain
                         // subscripts, and chains of them: reading it
                         // changes nothing, so it may be worked out ahead
                         // and again the long way
  bool plainIndex = false;  // kArray: every subscript pure, without suffix
                            // and without an array element of its own
  bool element = false;  // pure and holds an array element
  uint16_t index = 0;    // variable number
  uint32_t start = 0;    // first byte
  uint32_t end = 0;      // the byte behind it
  uint32_t first = 0;    // children: kids[first .. first + count)
  uint32_t count = 0;
  double number = 0;     // kNumber
};

struct TTranslation {
  std::vector<TNode> nodes;    // nodes[root] is the line's sum
  std::vector<uint32_t> kids;  // child node numbers
  uint32_t root = 0;
  const TNode& Kid(const TNode& n, uint32_t i) const { return nodes[kids[n.first + i]]; }
};

// Reads the sum at start; false when the line holds something that is not
// translated (rule 3) or is damaged (rule 4). hi receives the end of the
// bytes it read.
bool Translate(std::string_view code, size_t start, TTranslation& out, size_t& hi);

// The translation of the code from start for the interpreter, from the cache
// (nullptr while the code has run only once, or when it is not translated).
const TTranslation* CachedTranslation(std::string_view code, size_t start);
// Test switches: kOff never translates (the interpreter's plain descent),
// kAtOnce translates on the first run, kNormal on the second.
enum class TTranslationMode : uint8_t { kNormal, kOff, kAtOnce };
void SetTranslationMode(TTranslationMode mode);
void ClearTranslations();
// A translation that leaves the cache (another code took its place) is only
// freed here, which the interpreter calls when no run is left: a run never
// loses the translation it is inside.
void FreeRetiredTranslations();

}  // namespace Zet02
