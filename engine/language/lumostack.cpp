#include "engine/language/lumostack.h"

#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/engassert.h"

namespace LumoExec {
namespace {
std::unique_ptr<TStack> g_stack;
}

TStack::TStack() : buffer_(new uint8_t[kSize]()), top_(buffer_.get()) {}

void TStack::Need(size_t bytes) const {
  if (Used() + bytes >= kSize) throw ELumoStackOverflow();
}

void TStack::Take(size_t bytes) const {
  if (Used() < bytes) throw ELumoStackUnderflow();
}

void TStack::Store(const void* data, size_t n) {
  Need(n);
  std::memcpy(top_, data, n);
  top_ += n;
}

void TStack::Load(void* data, size_t n) {
  Take(n);
  top_ -= n;
  std::memcpy(data, top_, n);
}

void TStack::PushReal(double value) {
  uint8_t b[8];
  bytes::PutF64(b, value);
  Store(b, 8);
}

void TStack::PushWord(uint16_t value) {
  uint8_t b[2];
  bytes::PutU16(b, value);
  Store(b, 2);
}

void TStack::PushDWord(uint32_t value) {
  uint8_t b[4];
  bytes::PutU32(b, value);
  Store(b, 4);
}

void TStack::PushString(std::string_view text) {
  Need(kStringSlot);
  const size_t n = std::min(text.size(), ShortStr::kMax);
  std::memset(top_, 0, kStringArea);
  if (n != 0) std::memcpy(top_, text.data(), n);
  bytes::PutU32(top_ + kStringArea, kStringArea);
  top_ += kStringSlot;
}

void TStack::PushText(const dynstr::LineNode* first) {
  // The characters of the slot: pieces as long as the whole slot (padded to
  // 256, with its 0 and its size word) still fits below the last byte.
  const size_t room = kSize - 1 - Used();
  if (room < kStringSlot) throw ELumoStackOverflow();
  size_t used = 0;
  for (const dynstr::LineNode* node = first; node; node = node->next.get()) {
    const std::string_view piece = node->text.view();
    const size_t tail = node->continued == dynstr::kLineBreakFollows ? 2 : 1;
    const size_t after = used + piece.size() + tail;
    if (std::max<size_t>(after + 1, kStringArea) + 4 > room) break;
    std::memcpy(top_ + used, piece.data(), piece.size());
    used += piece.size();
    if (tail == 2) {
      top_[used++] = '\r';
      top_[used++] = '\n';
    } else {
      top_[used++] = ' ';
    }
  }
  FinishTextSlot(used);
}

void TStack::PushLongText(std::string_view text) {
  const size_t room = kSize - 1 - Used();
  if (room < kStringSlot) throw ELumoStackOverflow();
  // The characters, their 0 and the size word below the last byte.
  const size_t n = std::min(text.size(), room - 4 - 1);
  if (n != 0) std::memcpy(top_, text.data(), n);
  FinishTextSlot(n);
}

void TStack::FinishTextSlot(size_t used) {
  top_[used++] = 0;
  if (used < kStringArea) {
    std::memset(top_ + used, 0, kStringArea - used);
    used = kStringArea;
  }
  bytes::PutU32(top_ + used, uint32_t(used));
  top_ += used + 4;
}

double TStack::PopReal() {
  uint8_t b[8];
  Load(b, 8);
  return bytes::GetF64(b);
}

uint16_t TStack::PopWord() {
  uint8_t b[2];
  Load(b, 2);
  return bytes::GetU16(b);
}

uint32_t TStack::PopDWord() {
  uint8_t b[4];
  Load(b, 4);
  return bytes::GetU32(b);
}

ShortStr TStack::PopString() {
  const uint32_t size = PopDWord();
  if (Used() < size) throw ELumoStackUnderflow();
  top_ -= size;
  const auto* chars = reinterpret_cast<const char*>(top_);
  const size_t limit = std::min<size_t>(size, ShortStr::kMax);
  return ShortStr(std::string_view(chars, strnlen(chars, limit)));
}

void TStack::SetTop(uint8_t* newTop) {
  ZET_ASSERT(newTop < top_ && newTop >= buffer_.get(), "Assertion failure");
  top_ = newTop;
}

std::vector<ZetArgDescriptor> TStack::GetUserStack(std::string_view signature) {
  const size_t n = signature.empty() ? 0 : (signature.size() - 1) / 2;
  std::vector<ZetArgDescriptor> table(n + 2);
  size_t cursor = Used();
  auto slot = [&](char type, char mode, ZetArgDescriptor& d) {
    d.mode = ' ';
    d.type = ' ';
    d.value = nullptr;
    switch (type) {
      case 'S': {
        if (cursor < 4) throw ELumoStackUnderflow();
        const uint32_t size = bytes::GetU32(buffer_.get() + cursor - 4);
        if (cursor - 4 < size) throw ELumoStackUnderflow();
        cursor -= 4 + size;
        d.type = 'S';
        d.value = buffer_.get() + cursor;
        break;
      }
      case 'R':
      case 'O':
        if (cursor < 8) throw ELumoStackUnderflow();
        cursor -= 8;
        d.type = 'R';
        d.value = buffer_.get() + cursor;
        break;
      case 'I':
        if (cursor < 4) throw ELumoStackUnderflow();
        cursor -= 4;
        d.type = 'I';
        d.value = buffer_.get() + cursor;
        break;
      case 'X':
      case ' ':
        break;
      default:
        throw EAssertion("Unknown Parameter Type in TStack.GetUserStack");
    }
    if (mode == 'V') {
      if (cursor < 2) throw ELumoStackUnderflow();
      d.mode = 'V';
      cursor -= 2;
    }
  };
  for (size_t i = n; i-- > 0;) slot(signature[2 * i + 2], signature[2 * i + 1], table[i + 2]);
  slot('R', ' ', table[1]);
  slot(signature.empty() ? ' ' : signature[0], ' ', table[0]);
  return table;
}

TStack& ValueStack() { return *g_stack; }

void UnitInit() { g_stack = std::make_unique<TStack>(); }
void UnitDone() { g_stack.reset(); }

}  // namespace LumoExec
