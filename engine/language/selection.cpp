#include "engine/language/selection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/datum.h"
#include "engine/base/uppercas.h"
#include "engine/language/bytecode.h"
#include "engine/language/interp.h"
#include "engine/language/listing.h"
#include "engine/language/selectwalk.h"
#include "engine/language/variables.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zettable.h"

namespace Zet02 {

using namespace ByteCode;

namespace {

bool g_indexCheck = false;
bool g_checkOnly = false;
bool g_updating = false;
bool g_skipPlainVariables = false;
bool g_nullCheck = false;
int g_score = 0;

// Truth values of modes 2 and 3 (0 true, 1 false, 2 undecided) and their
// combination tables, rows by left value.
constexpr uint8_t kAnd23[3][3] = {{0, 1, 2}, {1, 1, 1}, {2, 1, 2}};
constexpr uint8_t kAnd0[3][3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 2}};
constexpr uint8_t kOr23[3][3] = {{0, 0, 0}, {0, 1, 2}, {0, 2, 2}};
constexpr uint8_t kOr0[3][3] = {{1, 1, 2}, {1, 1, 2}, {2, 2, 2}};

// One evaluation of one code string.
class TSelection {
 public:
  TSelection(ShortStr& code, int mode) : code_(code), mode_(mode) {}

  uint8_t Run(int& dependency) {
    dependency_ = 0;
    const uint8_t v = OrLevel(0);
    dependency = dependency_;
    if (error_ == 0 && pos_ < code_.size()) error_ = kErrIllegalOperand;
    return v;
  }
  int error() const { return error_; }
  size_t position() const { return pos_; }

 private:
  uint8_t Peek() const { return pos_ < code_.size() ? code_.byte(pos_) : 0; }
  bool AtEnd() const { return pos_ >= code_.size(); }

  // A skip marker at the position: its operand length.
  bool SkipMarker(size_t& length) {
    if (pos_ + 1 < code_.size() && code_.byte(pos_) == tkSkip) {
      length = code_.byte(pos_ + 1);
      pos_ += 2;
      return true;
    }
    return false;
  }

  void InsertMarker(size_t start) {
    const size_t n = pos_ - start;
    if (n > 255 || code_.size() + 2 > 255) return;
    std::string s(code_.view());
    s.insert(start, {char(tkSkip), char(uint8_t(n))});
    code_ = ShortStr(s);
    pos_ += 2;
  }

  uint8_t OrLevel(int depth) {
    uint8_t left = AndLevel(depth);
    while (error_ == 0 && Peek() == tkOr) {
      if (mode_ == 0 && g_indexCheck && depth == 0 && ZetTable::OpenCount() > 0) {
        ZetTable::ClearRangeLimits(ZetTable::CurrentHandle());
        g_indexCheck = false;
      }
      ++pos_;
      size_t length = 0;
      const bool marked = SkipMarker(length);
      if (marked && mode_ != 0 && left == 0) {
        pos_ = std::min(code_.size(), pos_ + length);
        continue;
      }
      const size_t start = pos_;
      const uint8_t right = AndLevel(depth);
      left = (mode_ == 0 ? kOr0 : kOr23)[left][right];
      if (!marked && error_ == 0) InsertMarker(start);
    }
    return left;
  }

  uint8_t AndLevel(int depth) {
    uint8_t left = NotLevel(depth);
    while (error_ == 0 && Peek() == tkAnd) {
      ++pos_;
      size_t length = 0;
      const bool marked = SkipMarker(length);
      if (marked && mode_ != 0 && left == 1) {
        pos_ = std::min(code_.size(), pos_ + length);
        continue;
      }
      const size_t start = pos_;
      const uint8_t right = NotLevel(depth);
      left = (mode_ == 0 ? kAnd0 : kAnd23)[left][right];
      if (!marked && error_ == 0) InsertMarker(start);
    }
    return left;
  }

  uint8_t NotLevel(int depth) {
    if (Peek() == tkNot) {
      ++pos_;
      const uint8_t v = NotLevel(depth + 1);
      if (v == 2) return 2;
      return mode_ == 0 ? 1 : uint8_t(v == 0 ? 1 : 0);
    }
    if (Peek() == tkOpen) {
      // A parenthesised condition, unless the parenthesis only opens a
      // side's expression: try the condition first.
      const size_t save = pos_;
      ++pos_;
      const uint8_t v = OrLevel(depth + 1);
      if (error_ == 0 && Peek() == tkClose) {
        ++pos_;
        if (Peek() < tkVon || Peek() > 139) return v;
      }
      pos_ = save;
      error_ = 0;
    }
    return Comparison(depth);
  }

  // Runs one side; false on a hard error. known is false after a soft stop.
  bool Side(TRunValue& value, bool& known) {
    int dependency = 0;
    const int e = ExecuteCode(code_.view(), pos_, mode_ == 2 ? 0 : mode_, value, dependency);
    dependency_ = std::max(dependency_, dependency);
    if (e > 0) {
      error_ = e;
      return false;
    }
    if (e == kSoftStop) known = false;
    return true;
  }

  // Whether test holds for a line of the memo value (lines as stored).
  template <typename Test>
  static bool AnyMemoLine(const TRunValue& memo, Test test) {
    dynstr::LineChain chain;
    ReadMemoLines(memo, chain);
    bool hit = false;
    for (const dynstr::LineNode* node = chain.get(); node && !hit; node = node->next.get()) hit = test(node->text.view());
    WINMEMOS::FreeMemoLines(chain);
    return hit;
  }

  static bool IsText(uint16_t t) { return t == kValString; }
  static bool IsNumber(uint16_t t) { return t == kValReal; }

  uint8_t Truth(bool b, bool known) const {
    if (!known) return 2;
    return b ? 0 : 1;
  }

  uint8_t Mismatch(uint16_t a, uint16_t b) {
    error_ = kErrTypes;
    Common::SetErrorArgument(std::string(ValueTypeName(a)) + "->" + ValueTypeName(b));
    return 1;
  }

  uint8_t Comparison(int depth) {
    const size_t start = pos_;
    TRunValue left;
    bool known = true;
    if (!Side(left, known)) return 1;
    const size_t operatorAt = pos_;
    const uint8_t op = Peek();
    if (op < tkVon || op > 139) {
      // A lone value.
      if (!known) return 2;
      if (IsText(left.type)) return Truth(!left.text.empty(), true);
      if (IsNumber(left.type)) {
        const bool loneField = code_.byte(start) == tkField && operatorAt == start + 4;
        if (g_nullCheck && loneField && Common::LastValueIsNull) return 1;
        return Truth(left.number != 0, true);
      }
      if (left.type == kValMemo || left.type == kValBlob) return Truth(left.number != 0, true);
      error_ = kErrLoneValue;
      return 1;
    }
    ++pos_;
    if (op == tkIn) return InOperator(left, known);
    TRunValue right;
    TRunValue upper;
    if (!Side(right, known)) return 1;
    if (op == tkVon) {
      if (Peek() != tkLessEqual) {
        error_ = kErrMissingBis;
        return 1;
      }
      ++pos_;
      if (!Side(upper, known)) return 1;
    }
    // The key range takes the values as written: keys rotate their texts
    // themselves.
    Probe(start, operatorAt, op, right, upper, depth);
    if (IsText(left.type)) {
      left.text = Zet00::RotateAtCaret(left.text.view());
      right.text = Zet00::RotateAtCaret(right.text.view());
      if (op == tkVon) upper.text = Zet00::RotateAtCaret(upper.text.view());
    }
    if (left.type == kValMemo && IsText(right.type) && (op == tkHas || op == tkLike)) {
      if (!known) return 2;
      return Truth(AnyMemoLine(left, [&](std::string_view line) {
                     return op == tkHas ? line.find(right.text.view()) != std::string_view::npos
                                        : UPPERCAS::WildcardMatch(line, right.text);
                   }),
                   true);
    }
    if (left.type != right.type || (op == tkVon && upper.type != left.type)) {
      if (!known) return 2;
      return Mismatch(left.type, left.type != right.type ? right.type : upper.type);
    }
    if (!known) return 2;
    if (op == tkVon) {
      if (IsNumber(left.type)) return Truth(right.number <= left.number && left.number <= upper.number, true);
      if (IsText(left.type))
        return Truth(UPPERCAS::CollateCompareExact(right.text, left.text) <= 0 &&
                         UPPERCAS::CollateCompareExact(left.text, upper.text) <= 0,
                     true);
    }
    if (op >= tkLess && op <= tkGreater) {
      int c;
      if (IsNumber(left.type)) c = left.number < right.number ? -1 : left.number > right.number ? 1 : 0;
      else if (IsText(left.type)) c = UPPERCAS::CollateCompareExact(left.text, right.text);
      else {
        error_ = kErrBadOperand;
        return 1;
      }
      switch (op) {
        case tkLess: return Truth(c < 0, true);
        case tkLessEqual: return Truth(c <= 0, true);
        case tkEqual: return Truth(c == 0, true);
        case tkNotEqual: return Truth(c != 0, true);
        case tkGreaterEqual: return Truth(c >= 0, true);
        default: return Truth(c > 0, true);
      }
    }
    if (!IsText(left.type)) {
      error_ = kErrBadOperand;
      return 1;
    }
    switch (op) {
      case tkHas: return Truth(left.text.view().find(right.text.view()) != std::string_view::npos, true);
      case tkLike: return Truth(UPPERCAS::WildcardMatch(left.text, right.text), true);
      case tkSimilar: {
        const ShortStr a = PhoneticCode(left.text);
        const ShortStr b = PhoneticCode(right.text);
        return Truth(a.view().substr(0, 4) == b.view().substr(0, 4), true);
      }
      default:
        error_ = kErrBadOperand;
        return 1;
    }
  }

  // "in [list]" and "in Alles".
  uint8_t InOperator(const TRunValue& value, bool known) {
    if (Peek() == tkAlles) {
      ++pos_;
      if (!IsText(value.type)) return Mismatch(value.type, kValString);
      if (mode_ == 0 || !known) return mode_ == 0 ? 1 : 2;
      return Truth(Zet01::RecordMatchesPattern(ZetTable::CurrentHandle(), value.text), true);
    }
    if (Peek() != tkBracket) {
      error_ = kErrExpected;
      Common::SetErrorArgument("[");
      return 1;
    }
    ++pos_;
    CodeReader reader(code_.view(), pos_);
    std::string_view list;
    if (!reader.text(list)) {
      error_ = kErrRunIncomplete;
      pos_ = code_.size();
      return 1;
    }
    pos_ = reader.position();
    if (mode_ == 0) return 1;
    const std::string items(list);
    size_t p = 0;
    while (p < items.size()) {
      TRunValue item;
      int dependency = 0;
      const int e = ExecuteCode(items, p, mode_, item, dependency);
      if (e > 0) {
        error_ = e;
        return 1;
      }
      const uint16_t wanted = value.type == kValMemo ? kValString : value.type;
      if (item.type != wanted) return Mismatch(item.type, value.type);
      bool hit;
      if (value.type == kValMemo) {
        hit = AnyMemoLine(value, [&](std::string_view line) { return UPPERCAS::WildcardMatch(line, item.text); });
      } else if (IsNumber(value.type)) {
        hit = item.number == value.number;
      } else {
        hit = (!item.text.empty() && UPPERCAS::WildcardMatch(value.text, item.text)) ||
              item.text.view() == value.text.view() ||
              (!value.text.empty() && UPPERCAS::WildcardMatch(item.text, value.text));
      }
      if (hit) return Truth(true, known);
      if (p < items.size() && uint8_t(items[p]) == tkAnd) ++p;
      else break;
    }
    return Truth(false, known);
  }

  // The key text of a value for a field of the current table: a number as
  // the display text of the field's type.
  static ShortStr KeyText(int slot, uint16_t field, const TRunValue& v) {
    if (IsText(v.type)) return v.text;
    const ZetTable::TZetTable* t = ZetTable::Table(slot);
    const uint16_t type = t ? t->FieldType(field) : uint16_t(Common::kTypeReal);
    return ValueToText(type, v.number);
  }

  // Index probing on a field of the current table compared directly.
  void Probe(size_t start, size_t operatorAt, uint8_t op, const TRunValue& right, const TRunValue& upper,
             int depth) {
    if (mode_ != 0 || depth != 0 || !g_indexCheck || error_ != 0 || op > tkSimilar) return;
    const int slot = ZetTable::CurrentHandle();
    ZetTable::TZetTable* t = ZetTable::Table(slot);
    if (!t || operatorAt != start + 4 || code_.byte(start) != tkField || code_.byte(start + 1) != slot) return;
    if (t->orderMode != ZetTable::kOrderIndex || !Zet00::IndexAvailable(slot, t->currentIndex, false)) return;
    const ZetTable::TIndexDescriptor* d = Zet00::IndexDescriptor(slot, t->currentIndex);
    if (!d) return;
    const uint16_t field = bytes::GetU16(reinterpret_cast<const uint8_t*>(code_.data()) + start + 2);
    const Zet00::TKeyPart first = Zet00::KeyPart(d->header.data(), 0);
    const Zet00::TKeyPart second = Zet00::KeyPart(d->header.data(), 1);
    bool extend;
    bool descending;
    if (!first.IsExpression() && !first.IsVariable() && first.Number() == field) {
      extend = false;
      descending = first.IsDescending();
    } else if (g_score == 4 && !t->highLimit.empty() && !second.IsExpression() && !second.IsVariable() &&
               second.Number() == field && Zet00::PartCount(d->header.data()) > 1) {
      extend = true;
      descending = second.IsDescending();
    } else {
      return;
    }
    // A descending part keeps its keys in the opposite order: the smallest
    // value is the upper end of the range.
    auto lower = [&](std::string_view text) {
      extend ? Zet00::AddRangeStartPart(slot, text) : Zet00::SetRangeStart(slot, text);
    };
    auto upperEnd = [&](std::string_view text) {
      extend ? Zet00::AddRangeEndPart(slot, text) : Zet00::SetRangeEnd(slot, text);
    };
    auto low = [&](std::string_view text) { descending ? upperEnd(text) : lower(text); };
    auto high = [&](std::string_view text) { descending ? lower(text) : upperEnd(text); };
    const ShortStr value = KeyText(slot, field, right);
    switch (op) {
      case tkVon:
        low(value);
        high(KeyText(slot, field, upper));
        g_score += 2;
        break;
      case tkLess:
      case tkLessEqual:
        high(value);
        g_score += 1;
        break;
      case tkEqual:
        low(value);
        high(value);
        g_score += 4;
        break;
      case tkGreaterEqual:
      case tkGreater:
        low(value);
        g_score += 1;
        break;
      case tkLike:
      case tkSimilar: {
        std::string prefix(right.text.view());
        if (op == tkLike) prefix = prefix.substr(0, prefix.find_first_of("*?^"));
        else prefix = prefix.substr(0, 1);
        if (prefix.empty()) break;
        low(prefix);
        high(prefix + char(254));
        g_score += 3;
        break;
      }
      default:
        break;
    }
  }

  ShortStr& code_;
  int mode_;
  size_t pos_ = 0;
  int error_ = 0;
  int dependency_ = 0;
};

// The accumulators: variables with flag 8 and a name of token, index byte
// and argument code.
struct TAccumulator {
  uint16_t index;
  uint8_t token;
  uint8_t group;
  std::string code;
  uint64_t set;
};

std::vector<TAccumulator> Accumulators() {
  std::vector<TAccumulator> list;
  const uint16_t count = ZetVars::VariableCount();
  for (uint16_t i = 1; i <= count; ++i) {
    const ZetVars::TVarInfo info = ZetVars::GetVarInfo(i);
    if (!info.valid || !(info.flags & ZetVars::kFlagWide) || info.name.size() < 2) continue;
    const uint8_t token = uint8_t(info.name[0]);
    if (!IsAccumulator(token)) continue;
    list.push_back({i, token, uint8_t(info.name[1]), std::string(info.name.substr(2)),
                    uint64_t(info.word1) | (uint64_t(info.word2) << 32)});
  }
  return list;
}

bool PlainVariable(const TAccumulator& a) { return a.code.size() == 3 && uint8_t(a.code[0]) == tkVar; }

void Clear(uint16_t index) {
  if (uint8_t* w = ZetVars::GetWideValue(index)) std::fill(w, w + ZetVars::kWideValueBytes, 0);
  ZetVars::SetWideNumber(index, 0);
}

// The accumulators an update over the table set runs.
std::vector<TAccumulator> Updated(uint64_t set) {
  std::vector<TAccumulator> list = Accumulators();
  std::erase_if(list, [set](const TAccumulator& a) {
    return (a.set & ~set) != 0 || (a.set & 1) != (set & 1) || (g_skipPlainVariables && PlainVariable(a));
  });
  return list;
}

// Stores an accumulator's value, its sum and count and sets its has-value
// flag.
void Store(const TAccumulator& a, uint8_t* w, double v, double sum, double count) {
  bytes::PutF64(w, v);
  bytes::PutF64(w + 8, sum);
  bytes::PutF64(w + 16, count);
  w[24] = 1;
  ZetVars::SetWideNumber(a.index, v);
}

// Adds the current records to the accumulators of the list; an update
// started from inside one does nothing.
void Update(const std::vector<TAccumulator>& list) {
  if (g_updating) return;
  g_updating = true;
  for (const TAccumulator& a : list) {
    uint8_t* w = ZetVars::GetWideValue(a.index);
    if (!w) continue;
    TRunValue value;
    const int e = SolveExpression(a.code, value);
    const bool counting = a.token == tkCount || a.token == tkZCount;
    if (e > 0 || (value.type != kValReal && !counting)) continue;
    double v = bytes::GetF64(w);
    double sum = bytes::GetF64(w + 8);
    double count = bytes::GetF64(w + 16);
    const bool has = w[24] != 0;
    switch (a.token) {
      case tkSum:
      case tkZSum: v += value.number; break;
      case tkMax: if (!has || value.number > v) v = value.number; break;
      case tkMin: if (!has || value.number < v) v = value.number; break;
      case tkCount:
      case tkZCount: v += 1; break;
      default:
        sum += value.number;
        count += 1;
        v = sum / count;
        break;
    }
    Store(a, w, v, sum, count);
  }
  g_updating = false;
}

// Adds n records at once to counting accumulators, as n updates would.
void AddCount(const std::vector<TAccumulator>& list, double n) {
  if (n == 0) return;
  for (const TAccumulator& a : list)
    if (uint8_t* w = ZetVars::GetWideValue(a.index))
      Store(a, w, bytes::GetF64(w) + n, bytes::GetF64(w + 8), bytes::GetF64(w + 16));
}

// Whether code is a lone field of the table, which reads without fail.
bool LoneFieldOf(std::string_view code, int slot) {
  if (code.size() != 4 || uint8_t(code[0]) != tkField || uint8_t(code[1]) != slot) return false;
  const ZetTable::TZetTable* t = ZetTable::Table(slot);
  return t && t->ValidField(bytes::GetU16(reinterpret_cast<const uint8_t*>(code.data()) + 2));
}

}  // namespace

bool EvalSelection(ShortStr& code, int mode, int& error, int& dependency) {
  error = 0;
  dependency = Zet01::LinkLevelOfTable(0);
  if (code.empty()) return true;
  TSelection s(code, mode);
  int level = 0;
  const uint8_t v = s.Run(level);
  dependency = std::max(dependency, level);
  error = s.error();
  if (error > 0) {
    ReportCompileError(uint16_t(error), code.view(), 0, false, s.position());
    return false;
  }
  if (mode == 0) return v == 2;
  if (mode == 2) return v != 1;
  return v == 0;
}

int CheckSelection(ShortStr& code, int mode) {
  const bool saved = g_checkOnly;
  g_checkOnly = true;
  int error = 0;
  int dependency = 0;
  EvalSelection(code, mode, error, dependency);
  g_checkOnly = saved;
  return error;
}

int LastIndexScore() { return g_score; }

bool ChooseSearchIndex(ShortStr& code, uint8_t& oldIndex, uint8_t& oldOrder) {
  const int slot = ZetTable::CurrentHandle();
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  oldIndex = t ? t->currentIndex : 0;
  oldOrder = t ? t->orderMode : 0;
  if (!t || !t->lowLimit.empty() || !t->highLimit.empty() || t->orderMode == ZetTable::kOrderMarks) return false;
  int first = Zet00::FirstIndexSlot(*t);
  int last = t->highestIndexSlot;
  if (t->orderMode == ZetTable::kOrderIndex && t->currentIndex != 0) first = last = t->currentIndex;
  int best = -1;
  int bestScore = 0;
  for (int s = first; s <= last; ++s) {
    if (!t->indexes[size_t(s)] || !Zet00::IndexAvailable(slot, s, false)) continue;
    t->orderMode = ZetTable::kOrderIndex;
    t->currentIndex = uint8_t(s);
    ZetTable::ClearRangeLimits(slot);
    g_score = 0;
    g_indexCheck = true;
    ZetVars::SetIndexCheck(true);
    // A probe that ends in an error never reached the rest of the
    // condition (an OR there would have cleared the limits): its limits
    // do not count.
    const int error = CheckSelection(code, 0);
    ZetVars::SetIndexCheck(false);
    const bool limited = error == 0 && (!t->lowLimit.empty() || !t->highLimit.empty());
    if (limited && g_score > bestScore) {
      best = s;
      bestScore = g_score;
    }
  }
  ZetTable::ClearRangeLimits(slot);
  if (best < 0) {
    t->currentIndex = oldIndex;
    t->orderMode = oldOrder;
    g_indexCheck = false;
    g_score = 0;
    return false;
  }
  t->orderMode = ZetTable::kOrderIndex;
  t->currentIndex = uint8_t(best);
  g_score = 0;
  g_indexCheck = true;
  ZetVars::SetIndexCheck(true);
  CheckSelection(code, 0);
  ZetVars::SetIndexCheck(false);
  g_indexCheck = false;
  g_score = bestScore;
  return true;
}

void RestoreSearchIndex(uint8_t oldIndex, uint8_t oldOrder) {
  const int slot = ZetTable::CurrentHandle();
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t) return;
  ZetTable::ClearRangeLimits(slot);
  t->currentIndex = oldIndex;
  t->orderMode = oldOrder;
}

int AccumulateSelected(ShortStr& code, double& hit) {
  hit = 0;
  const int slot = ZetTable::CurrentHandle();
  if (!ZetTable::Table(slot)) return 0;
  Zet00::PushTablePosition(slot);
  uint64_t set = 0;
  Common::Include64(set, slot - 1);
  ResetStatFuncs(0, false, set);
  uint8_t oldIndex = 0;
  uint8_t oldOrder = 0;
  const bool chosen = ChooseSearchIndex(code, oldIndex, oldOrder);
  TSelectionWalk walk(slot, code);
  const std::vector<TAccumulator> updated = g_updating ? std::vector<TAccumulator>() : Updated(set);
  // Counts of a field are only counted: nothing they read can fail, and a
  // plain condition cannot read them while the walk runs.
  const bool onlyCounts = walk.Plain() && std::all_of(updated.begin(), updated.end(), [slot](const TAccumulator& a) {
                            return (a.token == tkCount || a.token == tkZCount) && LoneFieldOf(a.code, slot);
                          });
  const bool fromStep = std::all_of(updated.begin(), updated.end(),
                                    [&walk](const TAccumulator& a) { return walk.Answers(a.code); });
  double selected = 0;
  int status = 0;
  while (walk.Next(status)) {
    hit = 1.0;
    selected += 1;
    if (onlyCounts) {
      selected += walk.CountRest(status);
      break;
    }
    if (!fromStep && walk.ReadWhole() != 0) break;
    Update(updated);
  }
  if (onlyCounts) AddCount(updated, selected);
  if (chosen) RestoreSearchIndex(oldIndex, oldOrder);
  Zet00::PopTablePosition(slot);
  return status;
}

void ResetStatFuncs(uint16_t group, bool onlyZ, uint64_t set) {
  for (const TAccumulator& a : Accumulators()) {
    if (g_skipPlainVariables && PlainVariable(a)) continue;
    if (group > 0) {
      if (a.group == group) Clear(a.index);
      continue;
    }
    if (onlyZ && a.token != tkZSum && a.token != tkZCount) continue;
    const uint64_t within = onlyZ ? (set | (~uint64_t(0) & ~uint64_t(1))) : set;
    if ((a.set & ~within) == 0) Clear(a.index);
  }
}

void UpdateStatFuncs(uint64_t set) {
  if (!g_updating) Update(Updated(set));
}

void SetSkipPlainVariables(bool on) { g_skipPlainVariables = on; }
void SetNullCheck(bool on) { g_nullCheck = on; }

int EvalLinkAggregate(uint8_t kind, uint64_t set, std::string_view text, int mode, TRunValue& result) {
  result.type = kValReal;
  result.number = 0;
  if (kind == tkLink) ResetStatFuncs(0, false, set);
  ShortStr code(text);
  ShortStr check = code;
  if (CheckSelection(check, mode) > 0 || mode != 3) return mode == 0 ? kSoftStop : 0;
  if (kind == tkLink && set == 0) return SolveExpression(code, result);
  const int primary = ZetTable::CurrentHandle();
  const bool linked = set != 0 && kind != tkSel;
  if (linked) {
    Zet01::PushLinkState();
    if (const int e = Zet01::ReadFirstLinked(primary, true, set); e > 0) {
      Zet01::PopLinkState();
      return e;
    }
  }
  int error = 0;
  double count = 0;
  double sum = 0;
  for (;;) {
    if (kind == tkLinkSum) {
      TRunValue v;
      error = SolveExpression(code, v);
      if (error <= 0 && v.type != kValReal) error = kErrTypes;
      if (error > 0) break;
      sum += v.number;
    } else {
      int dependency = 0;
      if (EvalSelection(code, 3, error, dependency)) {
        count += 1;
        if (kind == tkLink) UpdateStatFuncs(set);
        if (kind == tkSel || kind == tkExists) break;
      }
      if (error > 0) break;
    }
    if (!linked || !Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0))) break;
  }
  if (linked) Zet01::PopLinkState();
  if (kind == tkLink) UpdateStatFuncs(set | 1);
  if (kind == tkLinkCount) result.number = count;
  else if (kind == tkLinkSum) result.number = sum;
  else result.number = count > 0 ? 1 : 0;
  return error > 0 ? error : 0;
}

int32_t BlobFieldSize(int table, uint16_t field) {
  ZetTable::TZetTable* t = ZetTable::Table(table);
  ZetTable::TZetTable* files = ZetTable::FileOwner(table);
  if (!t || !t->ValidField(field) || t->FieldType(field) != Common::kTypeBlob || !files || !files->hasBlobFile)
    return -1;
  t->recordBuffer.resize(t->recordLength);
  Common::FieldValue value;
  Common::GetFieldAsNumber(t->recordBuffer.data(), t->Place(field), t->version, value);
  if (value.block == 0) return 0;
  const int32_t length = WinBlobs::InitGetBlob(files->blobFile, value.block);
  WinBlobs::DoneGetBlob();
  return length < 0 ? -1 : std::max<int32_t>(0, length - 2);
}

ShortStr ProcedureSignature(uint16_t n) {
  ShortStr letters;
  const ZetVars::TProcedure* p = ZetVars::GetProcedure(n);
  if (!p) return letters;
  for (const ZetVars::TParameter& param : p->params) {
    if (letters.size() >= 40) break;
    char c = '?';
    if (param.isArray) c = 'A';
    else if (param.type == ZetVars::kTypeString) c = 'S';
    else if (param.type == ZetVars::kTypeReal) c = 'R';
    if (param.byRef && c != 'A' && c != '?') c = char(c + ('a' - 'A'));
    letters.append(c);
  }
  return letters;
}

ShortStr PhoneticCode(std::string_view s) {
  ShortStr out;
  if (s.empty()) return out;
  out.append(char(UPPERCAS::UpCaseChar(s[0])));
  char last = 0;
  for (size_t i = 1; i < s.size() && out.size() < 4; ++i) {
    const uint8_t c = uint8_t(UPPERCAS::UpCaseChar(s[i]));
    char digit = 0;
    switch (c) {
      case 'B': case 'F': case 'P': case 'V': digit = '1'; break;
      // 223 is the sharp s of the engine's Windows-1252 texts; case
      // folding leaves it as it is.
      case 'C': case 'G': case 'K': case 'Q': case 'S': case 'X': case 'Z': case 223: digit = '2'; break;
      case 'D': case 'T': digit = '3'; break;
      case 'L': digit = '4'; break;
      case 'M': case 'N': digit = '5'; break;
      case 'R': digit = '6'; break;
      default: break;
    }
    if (digit != 0 && digit != last) out.append(digit);
    last = digit;
  }
  return out;
}

void SelectionInit() {
  g_indexCheck = false;
  g_checkOnly = false;
  g_updating = false;
  g_skipPlainVariables = false;
  g_nullCheck = false;
  g_score = 0;
}

void SelectionDone() { SelectionInit(); }

}  // namespace Zet02
