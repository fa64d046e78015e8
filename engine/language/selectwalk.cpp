#include "engine/language/selectwalk.h"

#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/uppercas.h"
#include "engine/language/bytecode.h"
#include "engine/language/selection.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace Zet02 {

using namespace ByteCode;

namespace {

enum : uint8_t { kOr = 1, kAnd, kNot, kCompare };

// Bytes of the walk's window of records, and the share of a run that the
// step from the last record may cover for a run to be read.
constexpr size_t kWindowBytes = 65535;
constexpr uint32_t kRunShare = 16;

bool IsComparison(uint8_t op) { return op >= tkVon && op <= 139; }

uint8_t Truth(bool b) { return b ? 0 : 1; }

// The truth of relation op (128 .. 133) for an order c (-1, 0, 1).
uint8_t Relation(uint8_t op, int c) {
  switch (op) {
    case tkLess: return Truth(c < 0);
    case tkLessEqual: return Truth(c <= 0);
    case tkEqual: return Truth(c == 0);
    case tkNotEqual: return Truth(c != 0);
    case tkGreaterEqual: return Truth(c >= 0);
    default: return Truth(c > 0);
  }
}

// Whether code reads nothing but constants, operators and fields of table
// slot that filled() accepts; an "in" list is looked at the same way.
template <typename Filled>
bool ReadsOnly(std::string_view code, int slot, const Filled& filled) {
  CodeReader r(code);
  while (!r.atEnd()) {
    uint8_t token = 0;
    r.byte(token);
    switch (token) {
      case tkRealConst:
        if (!r.skip(8)) return false;
        break;
      case tkStringConst: {
        std::string_view text;
        if (!r.text(text)) return false;
        break;
      }
      case tkWordConst:
        if (!r.skip(2)) return false;
        break;
      case tkByteConst:
        if (!r.skip(1)) return false;
        break;
      case tkSkip:
        if (!r.skip(1)) return false;
        break;
      case tkField: {
        uint8_t table = 0;
        uint16_t field = 0;
        if (!r.byte(table) || !r.word(field) || table != slot || !filled(field)) return false;
        break;
      }
      case tkIn: {
        uint8_t bracket = 0;
        std::string_view list;
        if (!r.byte(bracket) || bracket != tkBracket || !r.text(list) || !ReadsOnly(list, slot, filled))
          return false;
        break;
      }
      case tkOpen: case tkClose: case tkMul: case tkPlus: case tkAnd: case tkMinus: case tkSlash: case tkOr:
      case tkNot: case tkVon: case tkLess: case tkLessEqual: case tkEqual: case tkNotEqual:
      case tkGreaterEqual: case tkGreater: case tkHas: case tkLike: case tkMod: case tkIntDiv:
        break;
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

// Reads a condition the way the evaluator's levels do, into nodes; fails on
// anything that is not plain.
class TSelectionWalk::TParser {
 public:
  TParser(std::string_view code, int slot, const ZetTable::TZetTable& table, std::vector<TNode>& nodes)
      : code_(code), slot_(slot), table_(table), nodes_(nodes) {}

  bool Parse() {
    ok_ = true;
    OrLevel();
    return ok_ && pos_ == code_.size();
  }

 private:
  uint8_t Peek() const { return pos_ < code_.size() ? uint8_t(code_[pos_]) : 0; }
  int Fail() {
    ok_ = false;
    return -1;
  }
  int Add(TNode node) {
    nodes_.push_back(std::move(node));
    return int(nodes_.size()) - 1;
  }
  static TNode Branch(uint8_t kind, int a, int b) {
    TNode n;
    n.kind = kind;
    n.a = a;
    n.b = b;
    return n;
  }
  void SkipMarker() {
    if (Peek() == tkSkip) pos_ += 2;
  }

  int OrLevel() { return Level(tkOr, kOr, &TParser::AndLevel); }
  int AndLevel() { return Level(tkAnd, kAnd, &TParser::NotLevel); }
  // Operands of the next level joined by op (a skip marker may follow it).
  int Level(uint8_t op, uint8_t kind, int (TParser::*next)()) {
    int left = (this->*next)();
    while (ok_ && Peek() == op) {
      ++pos_;
      SkipMarker();
      const int right = (this->*next)();
      left = Add(Branch(kind, left, right));
    }
    return left;
  }

  int NotLevel() {
    if (!ok_) return -1;
    if (Peek() == tkNot) {
      ++pos_;
      const int a = NotLevel();
      return Add(Branch(kNot, a, -1));
    }
    if (Peek() == tkOpen) {
      ++pos_;
      const int a = OrLevel();
      // A parenthesis that opens a side's expression is not plain.
      if (!ok_ || Peek() != tkClose) return Fail();
      ++pos_;
      if (IsComparison(Peek())) return Fail();
      return a;
    }
    return Comparison();
  }

  bool Constant(TConstant& c) {
    CodeReader r(code_, pos_);
    uint8_t token = 0;
    r.byte(token);
    bool read = false;
    switch (token) {
      case tkRealConst: read = r.real(c.number); break;
      case tkWordConst: {
        uint16_t w = 0;
        read = r.word(w);
        c.number = w;
        break;
      }
      case tkByteConst: {
        uint8_t b = 0;
        read = r.byte(b);
        c.number = b;
        break;
      }
      case tkStringConst: {
        std::string_view text;
        read = r.text(text);
        c.text = true;
        c.value = Zet00::RotateAtCaret(text);
        break;
      }
      default: break;
    }
    if (!read) return false;
    pos_ = r.position();
    return true;
  }

  int Comparison() {
    TNode n = Branch(kCompare, -1, -1);
    CodeReader r(code_, pos_);
    uint8_t token = 0, table = 0;
    if (!r.byte(token) || token != tkField || !r.byte(table) || table != slot_ || !r.word(n.field) ||
        !table_.ValidField(n.field))
      return Fail();
    pos_ = r.position();
    n.op = Peek();
    if (n.op < tkVon || n.op > tkLike) return Fail();
    ++pos_;
    if (!Constant(n.low)) return Fail();
    if (n.op == tkVon) {
      if (Peek() != tkLessEqual) return Fail();
      ++pos_;
      if (!Constant(n.high)) return Fail();
    }
    // The side ends here: a further operand would belong to it.
    const uint8_t next = Peek();
    if (pos_ < code_.size() && next != tkAnd && next != tkOr && next != tkClose) return Fail();
    return Add(std::move(n));
  }

  std::string_view code_;
  int slot_;
  const ZetTable::TZetTable& table_;
  std::vector<TNode>& nodes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

TSelectionWalk::TSelectionWalk(int slot, ShortStr& code) : slot_(slot), code_(code) {
  const ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t) return;
  if (t->orderMode == ZetTable::kOrderIndex && Zet00::IndexAvailable(slot, t->currentIndex, false))
    if (const ZetTable::TIndexDescriptor* d = Zet00::IndexDescriptor(slot, t->currentIndex))
      keyFields_ = Zet00::RestorableKeyFields(*t, d->header.data());
  fromKeys_ = !keyFields_.empty() &&
              ReadsOnly(code.view(), slot, [&](uint16_t f) { return Zet00::Restores(keyFields_, f); });
  if (!TParser(code.view(), slot, *t, nodes_).Parse()) nodes_.clear();
}

bool TSelectionWalk::FieldFilled(uint16_t field) const {
  if (fromKeys_) return Zet00::Restores(keyFields_, field);
  const ZetTable::TZetTable* t = ZetTable::Table(slot_);
  return t && t->ValidField(field);
}

bool TSelectionWalk::Answers(std::string_view code) const {
  return ReadsOnly(code, slot_, [this](uint16_t f) { return FieldFilled(f); });
}

bool TSelectionWalk::Next(int& status) {
  for (;;) {
    uint16_t end = 0;
    const uint32_t recno =
        started_ ? Zet01::NextOrPriorRecNo(slot_, true, end) : Zet01::FirstOrLastRecNo(slot_, true, end);
    started_ = true;
    status = end;
    if (end != 0 || recno == 0) return false;
    ZetTable::TZetTable& t = *ZetTable::Table(slot_);
    t.currentRecord = recno;
    whole_ = !(fromKeys_ && Zet00::RestoreKeyFields(t, keyFields_, t.currentKey.data(), t.recordBuffer.data()));
    if (whole_ && Read(t, recno) != 0) return false;
    uint8_t v = evaluated_ ? DecideRecord() : 2;
    if (v == 2) {
      evaluated_ = true;
      int error = 0;
      int dependency = 0;
      const bool hit = EvalSelection(code_, 3, error, dependency);
      if (error > 0) {
        status = error;
        return false;
      }
      v = hit ? 0 : 1;
    }
    if (v == 0) return true;
  }
}

int TSelectionWalk::ReadWhole() {
  if (whole_) return 0;
  ZetTable::TZetTable& t = *ZetTable::Table(slot_);
  const int e = Read(t, t.currentRecord);
  whole_ = e == 0;
  return e;
}

int TSelectionWalk::Read(ZetTable::TZetTable& t, uint32_t recno) {
  const size_t length = t.recordLength;
  const uint32_t last = lastRead_;
  lastRead_ = recno;
  if (recno >= windowFirst_ && recno - windowFirst_ < windowCount_) {
    std::memcpy(t.recordBuffer.data(), window_.data() + (recno - windowFirst_) * length, length);
    return 0;
  }
  // A run pays when the steps forward are short against its length.
  const uint32_t runLength = uint32_t(kWindowBytes / length);
  const bool forward = t.orderMode == ZetTable::kOrderRecords ||
                       (last != 0 && recno > last && recno - last <= runLength / kRunShare);
  if (forward && runLength > 1) {
    window_.resize(size_t(runLength) * length);
    uint32_t got = 0;
    if (Zet01::ReadRecordRun(slot_, recno, runLength, window_.data(), got) == 0 && got > 0) {
      windowFirst_ = recno;
      windowCount_ = got;
      std::memcpy(t.recordBuffer.data(), window_.data(), length);
      return 0;
    }
    windowCount_ = 0;
  }
  return Zet00::ReadRecordHook(slot_, recno, t.recordBuffer.data());
}

// Both sides are decided even where the left one settles the result: a
// side the evaluator must decide makes the evaluator decide the record, as
// it would when it evaluates both.
uint8_t TSelectionWalk::Decide(int node) const {
  const TNode& n = nodes_[size_t(node)];
  switch (n.kind) {
    case kOr:
    case kAnd: {
      const uint8_t a = Decide(n.a);
      const uint8_t b = Decide(n.b);
      if (a == 2 || b == 2) return 2;
      return n.kind == kOr ? uint8_t(a == 0 || b == 0 ? 0 : 1) : uint8_t(a == 0 && b == 0 ? 0 : 1);
    }
    case kNot: {
      const uint8_t a = Decide(n.a);
      return a == 2 ? 2 : uint8_t(1 - a);
    }
    default:
      return Compare(n);
  }
}

uint8_t TSelectionWalk::Compare(const TNode& n) const {
  const ZetTable::TZetTable& t = *ZetTable::Table(slot_);
  Common::FieldValue value;
  const int valueClass = Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(n.field), t.version, value);
  const bool range = n.op == tkVon;
  if (valueClass == Common::kClassText) {
    if (!n.low.text || (range && !n.high.text)) return 2;
    if (std::memchr(value.text.data(), '^', value.text.size()) != nullptr)
      value.text = Zet00::RotateAtCaret(value.text.view());
    const std::string_view left = value.text.view();
    const std::string_view right = n.low.value.view();
    switch (n.op) {
      case tkVon:
        return Truth(UPPERCAS::CollateCompareExact(right, left) <= 0 &&
                     UPPERCAS::CollateCompareExact(left, n.high.value.view()) <= 0);
      case tkHas: return Truth(left.find(right) != std::string_view::npos);
      case tkLike: return Truth(UPPERCAS::WildcardMatch(left, right));
      default: break;
    }
    // Equal bytes collate equal; only others need the collating order.
    return Relation(n.op, left == right ? 0 : UPPERCAS::CollateCompareExact(left, right));
  }
  if (valueClass != Common::kClassNumber || n.low.text || (range && n.high.text) || n.op == tkHas ||
      n.op == tkLike)
    return 2;
  const double left = value.number;
  const double right = n.low.number;
  if (range) return Truth(right <= left && left <= n.high.number);
  return Relation(n.op, left < right ? -1 : left > right ? 1 : 0);
}

}  // namespace Zet02
