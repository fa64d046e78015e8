// The value stack TStack: the argument stack through which the interpreter
// hands values to called functions (host, outside-library and extension
// functions) and takes their results back.
//
// One buffer of 65536 bytes grows upwards from base; top is the first free
// byte. Slot layouts (little-endian):
//
//   kind              bytes       layout
//   real ("R","O")    8           IEEE double
//   word              2           u16 (also the variable index below a VAR value)
//   double word ("I") 4           u32
//   string ("S")      256 + 4     characters, 0, rest of the 255-byte area, 0,
//                                 then the slot size 256 as u32
//   text              n + 4       the pieces one after another (CR LF behind a
//                                 piece that ended a line, a blank behind a cut
//                                 one), 0, padded to at least 256, then n as u32
//
// A string or text slot is read from its top: the u32 below the top gives its
// size, its characters start that many bytes lower.
//
// What always holds:
//   1. base <= top and (top - base) stays below 65536: a push tests the whole
//      size of the slot it is about to write (a string slot is 260 bytes, a
//      text slot its full padded size plus the size word) and stores nothing
//      when it would not fit. The buffer's last byte is never used.
//   2. A pop never moves top below base.
//   3. GetUserStack reads only between base and top; a signature that
//      describes more than the stack holds is refused, never walked below base.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "engine/base/dynstr.h"
#include "engine/base/shortstr.h"
#include "zetcore.h"

namespace LumoExec {

class ELumoStackError : public std::runtime_error {
 public:
  ELumoStackError() : std::runtime_error("Unknown Error in Lumo Stack") {}
  explicit ELumoStackError(const char* what) : std::runtime_error(what) {}
};
class ELumoStackOverflow : public ELumoStackError {
 public:
  ELumoStackOverflow() : ELumoStackError("Lumo Stack Overflow") {}
};
class ELumoStackUnderflow : public ELumoStackError {
 public:
  ELumoStackUnderflow() : ELumoStackError("Lumo Stack Underflow") {}
};

class TStack {
 public:
  static constexpr uint32_t kSize = 65536;
  static constexpr uint32_t kStringArea = 256;
  static constexpr uint32_t kStringSlot = kStringArea + 4;

  TStack();
  TStack(const TStack&) = delete;
  TStack& operator=(const TStack&) = delete;

  void PushReal(double value);
  void PushWord(uint16_t value);
  void PushDWord(uint32_t value);
  void PushString(std::string_view text);
  // The chain's pieces as one text slot; pieces that no longer fit are
  // dropped with every piece after them.
  void PushText(const dynstr::LineNode* first);
  // A text of any length as one text slot, cut where the stack ends.
  void PushLongText(std::string_view text);

  double PopReal();
  uint16_t PopWord();
  uint32_t PopDWord();
  // The slot's characters up to the first 0, at most 255.
  ShortStr PopString();

  uint8_t* Base() { return buffer_.get(); }
  uint8_t* Top() { return top_; }
  size_t Used() const { return size_t(top_ - buffer_.get()); }
  // Moves top down to newTop, which must lie below the current top and not
  // below base (assertion "Assertion failure" otherwise).
  void SetTop(uint8_t* newTop);

  // Fills one descriptor per slot the signature names (result, the 8-byte
  // real slot, then the parameters) without moving top. The signature is the
  // result letter followed by (mode, type) pairs. An unknown type letter is
  // the assertion "Unknown Parameter Type in TStack.GetUserStack"; slots that
  // would lie below base raise ELumoStackUnderflow.
  std::vector<ZetArgDescriptor> GetUserStack(std::string_view signature);

 private:
  void Need(size_t bytes) const;
  void Take(size_t bytes) const;
  void Store(const void* data, size_t n);
  void Load(void* data, size_t n);
  // Ends a text slot after used characters: the 0, the padding to 256 and
  // the size word.
  void FinishTextSlot(size_t used);

  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* top_;
};

// The engine's one value stack; exists between UnitInit and UnitDone.
TStack& ValueStack();

void UnitInit();
void UnitDone();

}  // namespace LumoExec
