#include "engine/language/selectwalk.h"

#include <algorithm>
#include <array>
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
    n.place = table_.Place(n.field);
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
  version_ = t->version;
  fromKeys_ = !keyFields_.empty() &&
              ReadsOnly(code.view(), slot, [&](uint16_t f) { return Zet00::Restores(keyFields_, f); });
  if (!TParser(code.view(), slot, *t, nodes_).Parse()) nodes_.clear();
  keyPlain_ = fromKeys_ && Plain();
  if (!keyPlain_) return;
  for (TNode& n : nodes_) {
    if (n.kind != kCompare) continue;
    for (const Zet00::TKeyField& k : keyFields_) {
      if (k.field != n.field) continue;
      n.keyPlace = n.place;
      n.keyPlace.offset = uint32_t(k.keyOffset);
      n.keyRotated = k.text;
    }
  }
}

uint8_t TSelectionWalk::DecideRecord() const {
  return Plain() ? Decide(int(nodes_.size()) - 1, ZetTable::Table(slot_)->recordBuffer.data(), false) : 2;
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
  const int root = int(nodes_.size()) - 1;
  for (;;) {
    uint16_t end = 0;
    const uint32_t recno =
        started_ ? Zet01::NextOrPriorRecNo(slot_, true, end) : Zet01::FirstOrLastRecNo(slot_, true, end);
    started_ = true;
    status = end;
    if (end != 0 || recno == 0) {
      ended_ = end == 0 || end == Zet00::kStatusNone || end == ZetTable::EndOfList();
      return false;
    }
    ZetTable::TZetTable& t = *ZetTable::Table(slot_);
    t.currentRecord = recno;
    // The record's bytes where a plain condition decides them in place.
    const uint8_t* bytes = nullptr;
    uint8_t v = 2;
    if (evaluated_ && keyPlain_) {
      v = Decide(root, t.currentKey.data(), true);
    } else if (evaluated_ && Plain() && !fromKeys_) {
      if (const int e = Locate(t, recno, bytes); e != 0) {
        status = e;
        return false;
      }
      v = Decide(root, bytes, false);
    }
    if (v == 1) continue;
    if (bytes) {
      if (bytes != t.recordBuffer.data()) std::memcpy(t.recordBuffer.data(), bytes, t.recordLength);
      whole_ = true;
    } else if (const int e = Fill(t); e != 0) {
      status = e;
      return false;
    }
    if (v == 2) v = Evaluate(status);
    if (v == 0) return true;
    if (v == 2) return false;
  }
}

uint8_t TSelectionWalk::Evaluate(int& status) {
  evaluated_ = true;
  int error = 0;
  int dependency = 0;
  const bool hit = EvalSelection(code_, 3, error, dependency);
  if (error > 0) {
    status = error;
    return 2;
  }
  return hit ? 0 : 1;
}

// What a walk of the index's keys counts with: the key it starts from
// (visited already), the range's upper limit, and where it stopped. Keys
// whose parts hold the same bytes as the key before are decided alike, and
// stand alike against the limit but for their record numbers: that key's
// parts are kept with both answers.
struct TSelectionWalk::TCounting {
  const TSelectionWalk* walk = nullptr;
  const uint8_t* start = nullptr;
  size_t keyLength = 0;
  const uint8_t* high = nullptr;  // nullptr: no upper limit
  const uint8_t* description = nullptr;
  bool oemTexts = false;
  std::array<uint8_t, ZetTable::kMaxKeySize> last{};
  bool haveLast = false;
  int lastAgainstHigh = 0;  // the limit's parts against the last key's
  uint8_t lastDecision = 0;
  double count = 0;
  std::vector<uint32_t>* records = nullptr;  // the records counted, when wanted
  bool beyond = false;  // stopped past the upper limit
};

bool TSelectionWalk::CountKey(const uint8_t* key, void* counting) {
  TCounting& c = *static_cast<TCounting*>(counting);
  if (c.start) {
    const bool same = std::memcmp(key, c.start, c.keyLength) == 0;
    c.start = nullptr;
    if (same) return true;
  }
  constexpr size_t parts = ZetTable::kKeyRecordNumber;
  if (!c.haveLast || std::memcmp(key + parts, c.last.data() + parts, c.keyLength - parts) != 0) {
    std::memcpy(c.last.data(), key, c.keyLength);
    c.haveLast = true;
    c.lastAgainstHigh = c.high ? Zet00::CompareKeys(c.high, key, c.description, c.oemTexts, false) : 1;
    c.lastDecision = c.walk->Decide(int(c.walk->nodes_.size()) - 1, key, true);
  }
  // The limit's record number decides between keys whose parts equal it.
  const uint32_t recno = Zet00::KeyRecordNumber(key);
  if (c.lastAgainstHigh < 0 || (c.lastAgainstHigh == 0 && Zet00::KeyRecordNumber(c.high) < recno)) {
    c.beyond = true;
    return false;
  }
  if (c.lastDecision == 2) return false;
  if (c.lastDecision == 0) {
    c.count += 1;
    if (c.records) c.records->push_back(recno);
  }
  return true;
}

double TSelectionWalk::CountRest(int& status, std::vector<uint32_t>* records) {
  double count = 0;
  ZetTable::TZetTable& t = *ZetTable::Table(slot_);
  // A record the walk stands on and selected.
  auto counted = [&] {
    count += 1;
    if (records) records->push_back(t.currentRecord);
  };
  if (!keyPlain_) {
    while (Next(status)) counted();
    return count;
  }
  const uint8_t* description = t.indexes[t.currentIndex]->header.data();
  std::array<uint8_t, ZetTable::kMaxKeySize> high{};
  if (!t.highLimit.empty()) std::memcpy(high.data(), t.highLimit.data(), std::min(t.highLimit.size(), high.size()));
  TCounting c;
  c.walk = this;
  c.keyLength = Zet00::KeyLength(description);
  c.high = t.highLimit.empty() ? nullptr : high.data();
  c.description = description;
  c.oemTexts = t.version < Common::kFirstVersionWithDoubles;
  c.records = records;
  for (;;) {
    std::array<uint8_t, ZetTable::kMaxKeySize> key = t.currentKey;
    c.start = t.currentKey.data();
    const uint8_t walked = Zet00::IndexWalk(slot_, t.currentIndex, key.data(), CountKey, &c);
    count += c.count;
    c.count = 0;
    if (walked != Zet00::kStatusFound || c.beyond) {
      status = 1;
      ended_ = walked == Zet00::kStatusNone || c.beyond;
      return count;
    }
    // A key the plain rules do not decide: the evaluator decides it, on
    // the record the table now stands on.
    t.currentKey = key;
    t.currentRecord = Zet00::KeyRecordNumber(key.data());
    if (const int e = Fill(t); e != 0) {
      status = e;
      return count;
    }
    const uint8_t v = Evaluate(status);
    if (v == 2) return count;
    if (v == 0) counted();
  }
}

int TSelectionWalk::Fill(ZetTable::TZetTable& t) {
  whole_ = false;
  if (fromKeys_ && Zet00::RestoreKeyFields(t, keyFields_, t.currentKey.data(), t.recordBuffer.data())) return 0;
  return ReadWhole();
}

int TSelectionWalk::ReadWhole() {
  if (whole_) return 0;
  ZetTable::TZetTable& t = *ZetTable::Table(slot_);
  const uint8_t* bytes = nullptr;
  if (const int e = Locate(t, t.currentRecord, bytes)) return e;
  if (bytes != t.recordBuffer.data()) std::memcpy(t.recordBuffer.data(), bytes, t.recordLength);
  whole_ = true;
  return 0;
}

int TSelectionWalk::Locate(ZetTable::TZetTable& t, uint32_t recno, const uint8_t*& bytes) {
  const size_t length = t.recordLength;
  const uint32_t last = lastRead_;
  lastRead_ = recno;
  if (recno >= windowFirst_ && recno - windowFirst_ < windowCount_) {
    bytes = window_.data() + (recno - windowFirst_) * length;
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
      bytes = window_.data();
      return 0;
    }
    windowCount_ = 0;
  }
  bytes = t.recordBuffer.data();
  return Zet00::ReadRecordHook(slot_, recno, t.recordBuffer.data());
}

// Both sides are decided even where the left one settles the result: a
// side the evaluator must decide makes the evaluator decide the record, as
// it would when it evaluates both.
uint8_t TSelectionWalk::Decide(int node, const uint8_t* bytes, bool key) const {
  const TNode& n = nodes_[size_t(node)];
  switch (n.kind) {
    case kOr:
    case kAnd: {
      const uint8_t a = Decide(n.a, bytes, key);
      const uint8_t b = Decide(n.b, bytes, key);
      if (a == 2 || b == 2) return 2;
      return n.kind == kOr ? uint8_t(a == 0 || b == 0 ? 0 : 1) : uint8_t(a == 0 && b == 0 ? 0 : 1);
    }
    case kNot: {
      const uint8_t a = Decide(n.a, bytes, key);
      return a == 2 ? 2 : uint8_t(1 - a);
    }
    default:
      return Compare(n, bytes, key);
  }
}

uint8_t TSelectionWalk::Compare(const TNode& n, const uint8_t* bytes, bool key) const {
  const int valueClass = Common::ViewField(bytes, key ? n.keyPlace : n.place, version_, view_);
  const bool range = n.op == tkVon;
  if (valueClass == Common::kClassText) {
    if (!n.low.text || (range && !n.high.text)) return 2;
    std::string_view left = view_.text;
    if (!(key && n.keyRotated) && !left.empty() && std::memchr(left.data(), '^', left.size()) != nullptr) {
      rotated_ = Zet00::RotateAtCaret(left);
      left = rotated_.view();
    }
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
  const double left = view_.number;
  const double right = n.low.number;
  if (range) return Truth(right <= left && left <= n.high.number);
  return Relation(n.op, left < right ? -1 : left > right ? 1 : 0);
}

}  // namespace Zet02
