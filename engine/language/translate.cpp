#include "engine/language/translate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "engine/base/bytes.h"
#include "engine/language/bytecode.h"

namespace Zet02 {

using namespace ByteCode;

namespace {

class TReader {
 public:
  TReader(std::string_view code, TTranslation& out) : code_(code), out_(out) {}

  // The sum at pos; -1 when it is not translated. pos moves behind it.
  int64_t Sum(size_t& pos) {
    return Chain(pos, TNodeKind::kSum, [this](size_t& p) { return Term(p); },
                 [](uint8_t b) { return b == tkPlus || b == tkMinus; });
  }
  size_t hi = 0;

 private:
  template <typename Next, typename IsOp>
  int64_t Chain(size_t& pos, TNodeKind kind, Next next, IsOp isOp) {
    const size_t start = pos;
    const int64_t first = next(pos);
    if (first < 0) return -1;
    std::vector<uint32_t> parts{uint32_t(first)};
    while (pos < code_.size() && isOp(Byte(pos))) {
      const uint8_t op = Byte(pos);
      ++pos;
      const int64_t more = next(pos);
      if (more < 0) return -1;
      out_.nodes[size_t(more)].op = op;
      parts.push_back(uint32_t(more));
    }
    if (parts.size() == 1) return first;
    TNode n;
    n.kind = kind;
    n.start = uint32_t(start);
    n.end = uint32_t(pos);
    return Add(n, parts);
  }

  int64_t Term(size_t& pos) {
    return Chain(pos, TNodeKind::kTerm, [this](size_t& p) { return Operand(p); },
                 [](uint8_t b) { return b == tkMul || b == tkSlash || b == tkIntDiv || b == tkMod; });
  }

  uint8_t Byte(size_t pos) {
    hi = std::max(hi, pos + 1);
    return uint8_t(code_[pos]);
  }
  // Whether n more bytes are there from pos.
  bool Has(size_t pos, size_t n) {
    if (pos + n > code_.size()) return false;
    hi = std::max(hi, pos + n);
    return true;
  }
  int64_t Add(TNode n, const std::vector<uint32_t>& parts) {
    n.suffix = n.end + 2 < code_.size() && Byte(n.end) == tkSemicolon && Byte(n.end + 1) == tkByteConst;
    const auto all = [&](auto test) {
      return std::all_of(parts.begin(), parts.end(), [&](uint32_t k) { return test(out_.nodes[k]); });
    };
    if (n.kind == TNodeKind::kSum || n.kind == TNodeKind::kTerm) {
      n.pure = all([](const TNode& k) { return k.pure; });
      n.element = n.pure && !all([](const TNode& k) { return !k.element; });
    } else if (n.kind == TNodeKind::kArray) {
      const size_t subscripts = parts.size() - (n.assign ? 1 : 0);
      n.plainIndex = std::all_of(parts.begin(), parts.begin() + long(subscripts), [&](uint32_t k) {
        const TNode& s = out_.nodes[k];
        return s.pure && !s.suffix && !s.element;
      });
      n.pure = n.element = n.plainIndex && !n.assign;
    } else {
      n.pure = n.quick;
    }
    n.first = uint32_t(out_.kids.size());
    n.count = uint32_t(parts.size());
    out_.kids.insert(out_.kids.end(), parts.begin(), parts.end());
    out_.nodes.push_back(n);
    return int64_t(out_.nodes.size() - 1);
  }
  // Sums separated by ',' from pos; false when one is not translated.
  bool SumList(size_t& pos, std::vector<uint32_t>& parts) {
    for (;;) {
      const int64_t s = Sum(pos);
      if (s < 0) return false;
      parts.push_back(uint32_t(s));
      if (pos >= code_.size() || Byte(pos) != tkAnd) return true;
      ++pos;
    }
  }

  int64_t Operand(size_t& pos) {
    if (!Has(pos, 1)) return -1;
    TNode n;
    n.start = uint32_t(pos);
    n.token = Byte(pos);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(code_.data()) + pos;
    std::vector<uint32_t> parts;
    switch (n.token) {
      case tkByteConst:
      case tkWordConst:
      case tkRealConst: {
        const size_t width = n.token == tkByteConst ? 1 : n.token == tkWordConst ? 2 : 8;
        if (!Has(pos, 1 + width)) return -1;
        n.kind = TNodeKind::kNumber;
        n.number = n.token == tkByteConst ? p[1] : n.token == tkWordConst ? bytes::GetU16(p + 1) : bytes::GetF64(p + 1);
        n.quick = n.token != tkRealConst && pos + 3 < code_.size();
        pos += 1 + width;
        break;
      }
      case tkStringConst:
      case tkFields:
        if (!Has(pos, 2) || !Has(pos + 2, p[1])) return -1;
        n.kind = TNodeKind::kText;
        pos += 2 + p[1];
        break;
      case tkVar:
        if (!Has(pos, 3)) return -1;
        n.index = bytes::GetU16(p + 1);
        pos += 3;
        if (!Assignment(pos, n, parts)) return -1;
        n.kind = n.assign ? TNodeKind::kAssignVar : TNodeKind::kVar;
        n.quick = !n.assign && n.start + 3 < code_.size();
        break;
      case tkArrayVar: {
        if (!Has(pos, 4)) return -1;
        n.kind = TNodeKind::kArray;
        n.index = bytes::GetU16(p + 1);
        const uint8_t dims = p[3];
        pos += 4;
        if (dims == 0 || dims > 10 || pos >= code_.size() || Byte(pos) != tkBracket) return -1;
        ++pos;
        if (!SumList(pos, parts) || parts.size() != dims) return -1;
        if (pos >= code_.size() || Byte(pos) != tkBracketClose) return -1;
        ++pos;
        if (!Assignment(pos, n, parts)) return -1;
        break;
      }
      case tkField:
        if (!Has(pos, 4)) return -1;
        pos += 4;
        if (!Assignment(pos, n, parts)) return -1;
        n.kind = n.assign ? TNodeKind::kFieldSet : TNodeKind::kFixed;
        break;
      case tkTable:
      case tkFontRef:
      case tkAlles:
        n.kind = TNodeKind::kFixed;
        {
          const size_t width = n.token == tkTable ? 2 : n.token == tkFontRef ? 3 : 1;
          if (!Has(pos, width)) return -1;
          pos += width;
        }
        break;
      case tkOpen: {
        n.kind = TNodeKind::kParen;
        ++pos;
        const int64_t s = Sum(pos);
        if (s < 0 || pos >= code_.size() || Byte(pos) != tkClose) return -1;
        ++pos;
        parts.push_back(uint32_t(s));
        break;
      }
      case tkPlus:
      case tkMinus: {
        n.kind = TNodeKind::kSign;
        ++pos;
        const int64_t o = Operand(pos);
        if (o < 0) return -1;
        parts.push_back(uint32_t(o));
        break;
      }
      case tkChoice:
        if (!ChoiceForm(pos, n, parts)) return -1;
        break;
      case tkNLoop:
        if (!NLoopForm(pos, n, parts)) return -1;
        break;
      case tkProcCall:
        if (!Has(pos, 3)) return -1;
        n.kind = TNodeKind::kProcCall;
        n.index = bytes::GetU16(p + 1);
        pos += 3;
        if (pos + 1 < code_.size() && Byte(pos) == tkOpen && Byte(pos + 1) == tkClose) {
          pos += 2;
        } else if (pos < code_.size() && Byte(pos) == tkOpen) {
          ++pos;
          if (!Arguments(pos, parts) || pos >= code_.size() || Byte(pos) != tkClose) return -1;
          ++pos;
        }
        break;
      default:
        return -1;
    }
    // A member chain or an index suffix behind the operand is left to the
    // interpreter's own descent.
    if (pos < code_.size() && (Byte(pos) == tkDot || Byte(pos) == tkBracket)) return -1;
    n.end = uint32_t(pos);
    return Add(n, parts);
  }

  // An assignment ":=" sum that may follow at pos: n.assign tells whether
  // there is one, its sum goes to parts. False when its sum is not
  // translated.
  bool Assignment(size_t& pos, TNode& n, std::vector<uint32_t>& parts) {
    n.assign = pos < code_.size() && Byte(pos) == tkAssign;
    if (!n.assign) return true;
    ++pos;
    const int64_t s = Sum(pos);
    parts.push_back(uint32_t(s));
    return s >= 0;
  }

  // The arguments of a procedure call: sums, or an array named whole for a
  // VAR array parameter (the call reads it; as a value it is the array
  // operand without its subscripts).
  bool Arguments(size_t& pos, std::vector<uint32_t>& parts) {
    for (;;) {
      if (Has(pos, 5) && Byte(pos) == tkArrayVar && (Byte(pos + 4) == tkAnd || Byte(pos + 4) == tkClose)) {
        TNode n;
        n.kind = TNodeKind::kFixed;
        n.token = tkArrayVar;
        n.start = uint32_t(pos);
        pos += 4;
        n.end = uint32_t(pos);
        parts.push_back(uint32_t(Add(n, {})));
      } else {
        const int64_t s = Sum(pos);
        if (s < 0) return false;
        parts.push_back(uint32_t(s));
      }
      if (pos >= code_.size() || Byte(pos) != tkAnd) return true;
      ++pos;
    }
  }

  // 213 n, n offset bytes, the selector, the alternatives; the offsets
  // count from the selector's first byte.
  bool ChoiceForm(size_t& pos, TNode& n, std::vector<uint32_t>& parts) {
    n.kind = TNodeKind::kChoice;
    if (!Has(pos, 2)) return false;
    const uint8_t count = Byte(pos + 1);
    if (count < 2 || !Has(pos + 2, count)) return false;
    const size_t offsets = pos + 2;
    const size_t start = offsets + count;
    size_t p = start;
    const int64_t selector = Sum(p);
    if (selector < 0) return false;
    parts.push_back(uint32_t(selector));
    for (size_t k = 1; k < count; ++k) {
      size_t at = start + Byte(offsets + k - 1);
      if (at == 0) return false;
      --at;
      if (at > code_.size()) return false;
      const int64_t alternative = Sum(at);
      if (alternative < 0) return false;
      parts.push_back(uint32_t(alternative));
    }
    pos = start + Byte(offsets + count - 1);
    return pos <= code_.size();
  }

  // 215 [250 length] 255 variable ',' count {',' item}.
  bool NLoopForm(size_t& pos, TNode& n, std::vector<uint32_t>& parts) {
    n.kind = TNodeKind::kNLoop;
    ++pos;
    size_t end = code_.size();
    if (pos < code_.size() && Byte(pos) == tkNLoopBody) {
      if (!Has(pos, 2)) return false;
      end = std::min(code_.size(), pos + 2 + Byte(pos + 1) + 1);
      pos += 2;
    }
    if (!Has(pos, 4) || Byte(pos) != tkVar || Byte(pos + 3) != tkAnd) return false;
    n.index = bytes::GetU16(reinterpret_cast<const uint8_t*>(code_.data()) + pos + 1);
    pos += 4;
    if (!SumList(pos, parts)) return false;
    pos = std::max(pos, end);
    return true;
  }

  std::string_view code_;
  TTranslation& out_;
};

struct TCacheEntry {
  const char* data = nullptr;
  size_t size = 0;
  size_t start = 0;
  bool translated = false;  // else seen once (or not translatable)
  bool usable = false;
  std::string bytes;        // the bytes read, from start
  std::unique_ptr<TTranslation> translation;
};

constexpr size_t kCacheSlots = 512;
std::array<TCacheEntry, kCacheSlots> g_cache;
// Translations put out of the cache while runs may still be inside them.
std::vector<std::unique_ptr<TTranslation>> g_retired;

void Retire(TCacheEntry& e) {
  if (e.translation) g_retired.push_back(std::move(e.translation));
}
TTranslationMode g_mode = TTranslationMode::kNormal;

size_t SlotOf(const char* data, size_t start) {
  const uint64_t key = uint64_t(reinterpret_cast<uintptr_t>(data)) + start * 0x9E3779B97F4A7C15ull;
  return size_t((key ^ (key >> 17) ^ (key >> 31)) % kCacheSlots);
}

}  // namespace

bool Translate(std::string_view code, size_t start, TTranslation& out, size_t& hi) {
  out = TTranslation();
  TReader reader(code, out);
  size_t pos = start;
  const int64_t root = reader.Sum(pos);
  hi = reader.hi;
  if (root < 0) return false;
  out.root = uint32_t(root);
  return true;
}

const TTranslation* CachedTranslation(std::string_view code, size_t start) {
  if (g_mode == TTranslationMode::kOff || start >= code.size()) return nullptr;
  TCacheEntry& e = g_cache[SlotOf(code.data(), start)];
  const bool same = e.data == code.data() && e.size == code.size() && e.start == start &&
                    code.size() - start >= e.bytes.size() &&
                    std::memcmp(code.data() + start, e.bytes.data(), e.bytes.size()) == 0;
  if (same && e.translated) return e.usable ? e.translation.get() : nullptr;
  // A line that loops is worth its translation on the first run.
  const bool loops = std::memchr(code.data() + start, tkNLoop, code.size() - start) != nullptr;
  if (!same && g_mode == TTranslationMode::kNormal && !loops) {
    // First sight: remember the place and bytes; translate when it comes
    // again unchanged.
    e.data = code.data();
    e.size = code.size();
    e.start = start;
    e.translated = false;
    e.usable = false;
    e.bytes.assign(code.substr(start, std::min<size_t>(code.size() - start, 256)));
    Retire(e);
    return nullptr;
  }
  Retire(e);
  e.translation = std::make_unique<TTranslation>();
  size_t hi = start;
  e.data = code.data();
  e.size = code.size();
  e.start = start;
  e.translated = true;
  e.usable = Translate(code, start, *e.translation, hi);
  e.bytes.assign(code.substr(start, std::max(hi, start) - start));
  if (!e.usable) {
    // Keep only the first bytes, enough to know the code again.
    e.bytes.assign(code.substr(start, std::min<size_t>(code.size() - start, 256)));
    Retire(e);
  }
  return e.usable ? e.translation.get() : nullptr;
}

void SetTranslationMode(TTranslationMode mode) {
  g_mode = mode;
  ClearTranslations();
}

void ClearTranslations() {
  for (TCacheEntry& e : g_cache) {
    Retire(e);
    e = TCacheEntry();
  }
}

void FreeRetiredTranslations() { g_retired.clear(); }

}  // namespace Zet02
