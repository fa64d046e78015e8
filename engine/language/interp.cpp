#include "engine/language/interp.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/language/bytecode.h"
#include "engine/language/calls.h"
#include "engine/language/listing.h"
#include "engine/language/selection.h"
#include "engine/language/translate.h"
#include "engine/language/variables.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zettable.h"

namespace Zet02 {

using namespace ByteCode;

namespace {

// The state of the running line; ExecuteCode saves it around a nested run.
struct TRun {
  std::string_view code;
  size_t pos = 0;
  int error = 0;
  int mode = 0;
  bool apply = false;
  int* dependency = nullptr;
  bool nullRead = false;
  // The line's translation (nullptr: read from the bytes only).
  const TTranslation* tr = nullptr;
  // The last field or field path read as a value: where its operand lies
  // in this code and the field it named (table 0: none yet).
  struct {
    size_t start = 0, end = 0;
    int table = 0;
    uint16_t field = 0;
  } lastField;
};

TRun g_run;
bool g_operandOnly = false;
bool g_writeEnable = false;
int g_runDepth = 0;
int g_operandDepth = 0;
double g_object = 0;
uint32_t g_randomSeed = 0;
std::array<TGroupHandler, 21> g_groupHandlers{};  // 200..220

int DefaultRunProcedure(uint16_t, TRunValue&) { return 0; }
bool DefaultBeginMacro(std::string_view) { return false; }
void DefaultEndMacro() {}
int DefaultPrintLine(std::string_view) { return 0; }
std::string_view DefaultProcedureLine(uint16_t) { return {}; }
const TRunHooks kDefaultRunHooks = {DefaultRunProcedure, DefaultBeginMacro, DefaultEndMacro, DefaultPrintLine,
                                    DefaultProcedureLine, Common::UserBreakRequested};
TRunHooks g_hooks = kDefaultRunHooks;

std::string_view ProcedureLine(uint16_t proc) { return g_hooks.procedureLine(proc); }

int Combine(int now, int earlier) {
  if (now != 0 && (now == kSoftStop || earlier == 0)) return now;
  return earlier;
}

bool Failed() { return g_run.error > 0; }
void Fail(int error) {
  if (g_run.error <= 0) g_run.error = error;
}
void Fail(int error, std::string_view argument) {
  if (g_run.error <= 0) {
    g_run.error = error;
    Common::SetErrorArgument(argument);
  }
}

bool AtEnd() { return g_run.pos >= g_run.code.size(); }
uint8_t Peek() { return AtEnd() ? 0 : uint8_t(g_run.code[g_run.pos]); }
bool PeekIs(uint8_t b) { return !AtEnd() && uint8_t(g_run.code[g_run.pos]) == b; }

// Operand readers: a read past the end is error 41 and leaves the position
// at the end.
bool ReadByte(uint8_t& b) {
  CodeReader r(g_run.code, g_run.pos);
  const bool ok = r.byte(b);
  g_run.pos = r.position();
  if (!ok) Fail(kErrRunIncomplete);
  return ok;
}
bool ReadWord(uint16_t& w) {
  CodeReader r(g_run.code, g_run.pos);
  const bool ok = r.word(w);
  g_run.pos = r.position();
  if (!ok) Fail(kErrRunIncomplete);
  return ok;
}
bool ReadSet(uint64_t& s) {
  CodeReader r(g_run.code, g_run.pos);
  const bool ok = r.set(s);
  g_run.pos = r.position();
  if (!ok) Fail(kErrRunIncomplete);
  return ok;
}
bool ReadReal(double& v) {
  CodeReader r(g_run.code, g_run.pos);
  const bool ok = r.real(v);
  g_run.pos = r.position();
  if (!ok) Fail(kErrRunIncomplete);
  return ok;
}
bool ReadText(std::string_view& t) {
  CodeReader r(g_run.code, g_run.pos);
  const bool ok = r.text(t);
  g_run.pos = r.position();
  if (!ok) Fail(kErrRunIncomplete);
  return ok;
}

uint8_t MatchOperator(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  if (AtEnd() || g_run.error > 0) return 0;
  const uint8_t t = Peek();
  if (t == a || t == b || t == c || t == d) {
    ++g_run.pos;
    return t;
  }
  return 0;
}

void SetReal(TRunValue& r, double v) {
  r.type = kValReal;
  r.number = v;
  r.text.clear();
}
void SetText(TRunValue& r, std::string_view t) {
  r.type = kValString;
  r.number = 0;
  r.text.assign(t);
}

uint16_t EvalSum(TRunValue& result);
uint16_t EvalOperand(TRunValue& result);
// The same at a node of the line's translation: where the position stands at
// the node's first byte, the node is run; otherwise the bytes are read.
uint16_t SumAt(TRunValue& result, const TNode* node);
uint16_t OperandAt(TRunValue& result, const TNode* node);
bool EvalArgAt(uint16_t expected, TRunValue& value, const TNode* node);
// Child i of a node (nullptr when there is none).
const TNode* Kid(const TNode* node, uint32_t i) {
  return node && i < node->count ? &g_run.tr->Kid(*node, i) : nullptr;
}

// Clears the operand-only switch for a scope.
class TFullSums {
 public:
  TFullSums() : saved_(g_operandOnly) { g_operandOnly = false; }
  ~TFullSums() { g_operandOnly = saved_; }
  TFullSums(const TFullSums&) = delete;
  TFullSums& operator=(const TFullSums&) = delete;

 private:
  bool saved_;
};

void DivideByZero(double& acc) {
  acc = 0;
  if (g_run.mode == 3) Fail(kErrRealOverflow);
}

// One multiplicative step: acc (in result) op right.
void ApplyTermOp(uint8_t op, TRunValue& result, uint16_t rt, const TRunValue& right, int earlier) {
  double acc = result.number;
  if (rt != kValReal && g_run.error <= 0) {
    Fail(kErrTypes, std::string(ValueTypeName(rt)) + "->" + ValueTypeName(kValReal));
  }
  g_run.error = Combine(g_run.error, earlier);
  const double r = rt == kValReal ? right.number : 0;
  if (op == tkMul) {
    acc *= r;
    if (!std::isfinite(acc)) DivideByZero(acc);
  } else if (op == tkSlash) {
    if (r == 0.0) {
      DivideByZero(acc);
    } else {
      acc /= r;
      if (!std::isfinite(acc)) DivideByZero(acc);
    }
  } else {
    const int32_t a = Common::RealToLongInt(acc);
    const int32_t b = Common::RealToLongInt(r);
    if (b == 0) {
      DivideByZero(acc);
    } else {
      const int64_t q = int64_t(a) / b;
      acc = op == tkMod ? double(int64_t(a) - q * b) : double(q);
    }
  }
  SetReal(result, acc);
}

// The term level after its first operand: the operators from the position.
uint16_t TermRest(uint16_t type, TRunValue& result) {
  if (g_operandOnly || type != kValReal) return type;
  for (;;) {
    const int earlier = g_run.error;
    const uint8_t op = MatchOperator(tkMul, tkSlash, tkIntDiv, tkMod);
    if (g_run.error > 0 || op == 0) break;
    TRunValue right;
    const uint16_t rt = EvalOperand(right);
    ApplyTermOp(op, result, rt, right, earlier);
  }
  return type;
}

uint16_t EvalTerm(TRunValue& result) { return TermRest(EvalOperand(result), result); }

// The running value of a sum: a number, or a text (only a text sum needs
// its accumulator text).
struct TSumAcc {
  TSumAcc(uint16_t t, const TRunValue& first) : type(t), isText(t == kValString), number(first.number) {
    if (isText) text = first.text;
  }
  uint16_t type;
  bool isText;
  double number;
  ShortStr text;
};

void ApplySumOp(TSumAcc& acc, uint8_t op, uint16_t rt, const TRunValue& right, int earlier) {
  if (rt != acc.type && g_run.error <= 0)
    Fail(kErrTypes, std::string(ValueTypeName(rt)) + "->" + ValueTypeName(acc.type));
  g_run.error = Combine(g_run.error, earlier);
  if (acc.isText) {
    if (op == tkPlus) {
      if (rt == kValString) acc.text.append(right.text.view());
    } else {
      Fail(kErrTypes, "STRING->REAL");
    }
  } else if (rt == kValReal) {
    acc.number = op == tkPlus ? acc.number + right.number : acc.number - right.number;
  }
}

// The sum's operators from the position.
void SumLoop(TSumAcc& acc) {
  for (;;) {
    const int earlier = g_run.error;
    const uint8_t op = MatchOperator(tkPlus, tkMinus, tkPlus, tkMinus);
    if (g_run.error > 0 || op == 0) break;
    TRunValue right;
    const uint16_t rt = EvalTerm(right);
    ApplySumOp(acc, op, rt, right, earlier);
  }
}

// The sum's value, with the rounding suffix ";" 67 d that may follow.
uint16_t FinishSum(const TSumAcc& acc, TRunValue& result) {
  if (!acc.isText) {
    SetReal(result, acc.number);
    if (g_run.pos + 2 < g_run.code.size() + 0 && Peek() == tkSemicolon &&
        uint8_t(g_run.code[g_run.pos + 1]) == tkByteConst) {
      const int d = std::min<int>(uint8_t(g_run.code[g_run.pos + 2]), 10);
      result.number = RoundDecimal(result.number, d);
      g_run.pos += 3;
    }
  } else {
    SetText(result, acc.text.view());
  }
  return acc.type;
}

// The sum level after its first term.
uint16_t SumRest(uint16_t type, TRunValue& result) {
  if (g_operandOnly) return type;
  if (type != kValReal && type != kValString) return type;
  TSumAcc acc(type, result);
  SumLoop(acc);
  return FinishSum(acc, result);
}

uint16_t EvalSum(TRunValue& result) { return SumRest(EvalTerm(result), result); }

// ---- Variables and arrays ---------------------------------------------------

uint16_t ReadVariable(uint16_t index, TRunValue& result) {
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(index);
  if (!info.valid) {
    Fail(ZetVars::kErrSyntax);
    return 0;
  }
  if (info.type == ZetVars::kTypeExpression) {
    // The variable's expression is worked out whole, also where the
    // reader takes operands only (a print line's item).
    TFullSums full;
    int dependency = 0;
    size_t pos = 0;
    const std::string code(info.text);
    const int e = ExecuteCode(code, pos, g_run.mode, result, dependency);
    RaiseDependency(dependency);
    if (e > 0) Fail(e);
    else if (e == kSoftStop) SoftStopInCheck();
    if (dependency > 0) SoftStopInCheck();
    return result.type;
  }
  if (info.flags & ZetVars::kFlagWide) {
    RaiseDependency(1);
    SoftStopInCheck();
  }
  // The plain kinds straight from the entry just read, as GetVariableValue
  // gives them; the others through it.
  switch (info.type) {
    case ZetVars::kTypeString:
      SetText(result, info.text);
      return kValString;
    case ZetVars::kTypeWord:
    case ZetVars::kTypeReal:
      SetReal(result, info.number);
      return kValReal;
    case ZetVars::kTypeObject:
    case ZetVars::kTypeBits:
      SetReal(result, info.number);
      result.type = info.type;
      return result.type;
    default: {
      TRunValue value;
      const uint16_t e = GetVariableValue(index, g_run.mode, value);
      if (e != 0) Fail(e);
      result = value;
      return result.type;
    }
  }
}

// The value of an assignment into its variable. A run without the apply flag
// (a check, a compile-time run) reads and types the assignment but changes
// no variable.
void StoreAssigned(uint16_t index, uint16_t type, const TRunValue& result) {
  if (g_run.error <= 0 && g_run.apply && !(type == kValReal && ZetVars::StoreNumber(index, result.number))) {
    ZetVars::TVarValue value;
    value.number = result.number;
    value.text = result.text.view();
    const uint16_t answer = ZetVars::SetVariable(index, type, value, 0);
    if (answer != 0) Fail(answer);
  }
}

uint16_t AssignVariable(uint16_t index, TRunValue& result, const TNode* node) {
  if (ZetVars::IsConstantVariable(index)) {
    Fail(kErrConstant);
    return 0;
  }
  const uint16_t type = SumAt(result, Kid(node, 0));
  StoreAssigned(index, type, result);
  return type;
}

// Reads '[' i1 {',' ik} ']' for an array of n dimensions.
bool ReadSubscripts(int n, std::array<int32_t, ZetVars::kMaxDimensions>& ix, const TNode* node) {
  if (!ExpectCode(tkBracket)) return false;
  TFullSums full;
  for (int k = 0; k < n; ++k) {
    if (k > 0 && !MatchCode(tkAnd)) {
      Fail(kErrExpected, ",");
      return false;
    }
    TRunValue v;
    if (!EvalArgAt(kValReal, v, Kid(node, uint32_t(k)))) return false;
    ix[size_t(k)] = ValueToInteger(v.number);
  }
  return ExpectCode(tkBracketClose);
}

[[gnu::noinline]] uint16_t ArrayOperand(TRunValue& result, const TNode* node) {
  uint16_t index = 0;
  uint8_t dims = 0;
  if (!ReadWord(index) || !ReadByte(dims)) return 0;
  const ZetVars::TArrayRef array = ZetVars::GetArrayRef(index);
  const ZetVars::TArrayDesc* desc = array.desc;
  if (!desc || dims != desc->dimensions || dims == 0 || dims > ZetVars::kMaxDimensions) {
    Fail(kErrIllegalOperand);
    return 0;
  }
  std::array<int32_t, ZetVars::kMaxDimensions> ix{};
  if (!ReadSubscripts(dims, ix, node)) return 0;
  // Row-major: the last subscript varies fastest; each bound is the
  // highest index of its dimension.
  int64_t linear = 0;
  for (int k = 0; k < dims; ++k) linear = linear * (int64_t(desc->bounds[size_t(k)]) + 1) + ix[size_t(k)];
  const bool bits = array.type == ZetVars::kTypeBits;
  const bool strings = array.type == ZetVars::kTypeString;
  const uint16_t elemType = strings ? kValString : kValReal;
  if (bits) linear = ix[0];
  int64_t count = 0;
  if (bits) count = int64_t(desc->dataSize) * 8;
  else if (desc->elementSize != 0) count = desc->dataSize / desc->elementSize;
  const bool inRange = linear >= 0 && linear < count;
  const bool assign = MatchCode(tkAssign);
  if (g_run.apply && !inRange) {
    Fail(kErrRange);
    return 0;
  }
  if (assign) {
    const uint16_t type = SumAt(result, Kid(node, dims));
    if (g_run.error > 0) return type;
    if (type != elemType) {
      Fail(kErrTypes, std::string(ValueTypeName(type)) + "->" + ValueTypeName(elemType));
      return type;
    }
    if (!g_run.apply) return type;
    if (strings) {
      std::vector<std::string>* s = array.strings;
      if (s && size_t(linear) < s->size()) (*s)[size_t(linear)].assign(result.text.view());
    } else if (std::vector<uint8_t>* data = array.data) {
      if (bits) {
        uint8_t& byte = (*data)[size_t(linear / 8)];
        const uint8_t mask = uint8_t(1u << (linear % 8));
        byte = result.number != 0 ? uint8_t(byte | mask) : uint8_t(byte & ~mask);
        SetReal(result, result.number != 0 ? 1 : 0);
      } else {
        bytes::PutF64(data->data() + size_t(linear) * 8, result.number);
      }
    }
    return type;
  }
  if (strings) {
    SetText(result, "");
    std::vector<std::string>* s = array.strings;
    if (g_run.apply && s && size_t(linear) < s->size()) SetText(result, (*s)[size_t(linear)]);
    return kValString;
  }
  SetReal(result, 0);
  if (g_run.apply) {
    if (const std::vector<uint8_t>* data = array.data) {
      if (bits) SetReal(result, ((*data)[size_t(linear / 8)] >> (linear % 8)) & 1);
      else SetReal(result, bytes::GetF64(data->data() + size_t(linear) * 8));
    }
  }
  return kValReal;
}

// ---- Fields ------------------------------------------------------------------

void NoteNullRead() {
  if (Common::LastValueIsNull) g_run.nullRead = true;
}

uint16_t ValueOfField(int slot, uint16_t field, TRunValue& result) {
  const ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t || !t->ValidField(field) || t->recordBuffer.size() < t->recordLength) {
    Fail(kErrTableExpected);
    SetText(result, "");
    return kValString;
  }
  int valueClass = 0;
  Common::FieldValue value;
  const int e = Zet01::GetFieldValue(g_run.mode, slot, field, valueClass, value);
  if (e > 0) Fail(e);
  // Outside mode 3 a value that is not in the current key is not known.
  if (e < 0 && g_run.mode != 3 && g_run.error == 0) g_run.error = kSoftStop;
  if (valueClass == kValString) {
    SetText(result, value.text.view());
  } else if (valueClass == kValMemo || valueClass == kValBlob) {
    result.type = uint16_t(valueClass);
    result.table = uint8_t(slot);
    result.number = value.block;
    result.text.clear();
  } else {
    SetReal(result, value.number);
  }
  NoteNullRead();
  return result.type;
}

// The error argument of a value that a field of the type does not take.
std::string FieldMismatch(uint8_t fieldType, uint16_t valueType) {
  const bool textField = fieldType == Common::kTypeString || fieldType == Common::kTypeChar;
  return std::string(ValueTypeName(valueType)) + "->" +
         (textField ? "STRING" : fieldType == Common::kTypeMemo ? "MEMO" : "REAL");
}

// Stores a value into a field of the record buffer after the type test.
bool StoreField(int slot, uint16_t field, TRunValue& value) {
  ZetTable::TZetTable* table = ZetTable::Table(slot);
  if (!table || !table->ValidField(field)) {
    Fail(kErrTableExpected);
    return false;
  }
  const uint8_t ft = table->FieldType(field);
  int mode = 0;
  if (!FieldTakesValue(ft, value.type, mode)) {
    Fail(kErrTypes, FieldMismatch(ft, value.type));
    return false;
  }
  if (!g_run.apply) return true;
  const int e = StoreFieldValue(slot, field, value, mode);
  if (e > 0) Fail(e);
  return e <= 0;
}

}  // namespace

namespace {

// Whether two memo chains hold the same lines.
bool SameMemoText(ZetTable::TZetTable& a, uint32_t firstA, ZetTable::TZetTable& b, uint32_t firstB) {
  if (&a == &b && firstA == firstB) return true;
  dynstr::LineChain one;
  dynstr::LineChain two;
  WINMEMOS::ReadMemoLines(a.memoFile, firstA, one);
  WINMEMOS::ReadMemoLines(b.memoFile, firstB, two);
  const dynstr::LineNode* x = one.get();
  const dynstr::LineNode* y = two.get();
  while (x && y && x->text.view() == y->text.view() && x->continued == y->continued) {
    x = x->next.get();
    y = y->next.get();
  }
  const bool same = !x && !y;
  WINMEMOS::FreeMemoLines(one);
  WINMEMOS::FreeMemoLines(two);
  return same;
}

}  // namespace

bool FieldTakesValue(uint8_t fieldType, uint16_t valueType, int& mode) {
  mode = 0;
  switch (fieldType) {
    case Common::kTypeString:
    case Common::kTypeChar:
    case Common::kTypeRelation:
      return valueType == kValString;
    case Common::kTypeMemo:
      // A memo, or a number taken as the first block (0 empties the field).
      return valueType == kValMemo || valueType == kValReal;
    case Common::kTypeBlob:
      return valueType == kValBlob;
    case Common::kTypeLink:
      if (valueType == kValString) mode = Zet01::kValueIsText;
      return valueType == kValString || valueType == kValReal;
    default:
      return valueType == kValReal;
  }
}

int StoreFieldValue(int slot, uint16_t field, const TRunValue& value, int mode) {
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t || !t->ValidField(field)) return kErrTableExpected;
  Common::FieldValue fv;
  fv.number = value.number;
  fv.text = value.text;
  // The first block a memo or blob value names; a number outside the block
  // numbers (negative, too large, not a number) names none.
  const double number = value.number;
  fv.block = number >= 0 && number <= double(UINT32_MAX) ? uint32_t(number) : 0;
  if (value.type == kValMemo && t->FieldType(field) == Common::kTypeMemo && fv.block != 0) {
    // A memo never shares its chain: unless it is the field's own memo, its
    // text is copied into new blocks of this table's memo file. The record
    // update frees the chain the field named before.
    ZetTable::TZetTable* target = ZetTable::FileOwner(slot);
    ZetTable::TZetTable* source = ZetTable::FileOwner(value.table);
    if (!target || !target->hasMemoFile) return kErrTableExpected;
    Common::FieldValue current;
    Common::GetFieldAsNumber(t->recordBuffer.data(), t->Place(field), t->version, current);
    if (!source || !source->hasMemoFile) return kErrTableExpected;
    if (current.block != 0 && SameMemoText(*source, fv.block, *target, current.block)) {
      // The field holds this text already (a formula computed again).
      fv.block = current.block;
      fv.number = fv.block;
    } else {
      fv.block = WINMEMOS::CopyMemo(source->memoFile, fv.block, target->memoFile);
      if (fv.block == 0 && WINMEMOS::Status() != 0) {
        const int32_t last = Common::LastError();
        return last > 0 ? int(last) : int(Common::kErrWrite);
      }
      fv.number = fv.block;
    }
  }
  const int e = Zet01::SetFieldValue(slot, field, fv, mode);
  if (e <= 0 && value.type == kValMemo && Zet01::NotifySwitch()) EngineHooks::NotifyTableChanged(slot, 0);
  return e > 0 ? e : 0;
}

bool ReadMemoText(const TRunValue& memo, std::string& text) {
  text.clear();
  if (memo.type != kValMemo || memo.number < 1) return false;
  ZetTable::TZetTable* files = ZetTable::FileOwner(memo.table);
  if (!files || !files->hasMemoFile) return false;
  const int32_t length = WINMEMOS::InitGetMemo(files->memoFile, uint32_t(memo.number));
  if (length > 0) {
    text.resize(size_t(length));
    const int32_t got = WINMEMOS::GetMemoBlock(length, text.data());
    text.resize(size_t(std::max(got, 0)));
  }
  WINMEMOS::DoneGetMemo();
  return length >= 0;
}

bool ReadMemoLines(const TRunValue& memo, dynstr::LineChain& chain) {
  chain.reset();
  if (memo.type != kValMemo || memo.number < 1) return false;
  ZetTable::TZetTable* files = ZetTable::FileOwner(memo.table);
  if (!files || !files->hasMemoFile) return false;
  WINMEMOS::ReadMemoLines(files->memoFile, uint32_t(memo.number), chain);
  return true;
}

int WriteFieldAndUpdate(int table, uint16_t field, TRunValue& value, uint32_t recno) {
  ZetTable::TZetTable* t = ZetTable::Table(table);
  if (!t || recno == 0) return 0;
  // The table's position is saved around the read of the record, the store
  // and the write-back with its index updates.
  Zet00::PushTablePosition(table);
  int e = Zet00::ReadRecordHook(table, recno, t->recordBuffer.data());
  if (e == 0) {
    const std::vector<uint8_t> old = t->recordBuffer;
    t->currentRecord = recno;
    int mode = 0;
    if (!t->ValidField(field)) {
      e = kErrTableExpected;
    } else if (!FieldTakesValue(t->FieldType(field), value.type, mode)) {
      Common::SetErrorArgument(FieldMismatch(t->FieldType(field), value.type));
      e = kErrTypes;
    } else {
      e = StoreFieldValue(table, field, value, mode);
      bool keysChanged = false;
      if (e == 0) e = Zet01::UpdateRecord(table, old.data(), keysChanged, 0, true, true);
    }
  }
  Zet00::PopTablePosition(table);
  return e > 0 ? e : 0;
}

namespace {

[[gnu::noinline]] uint16_t FieldOperand(TRunValue& result, const TNode* node) {
  const size_t start = g_run.pos - 1;
  uint8_t slot = 0;
  uint16_t field = 0;
  if (!ReadByte(slot) || !ReadWord(field)) return 0;
  if (slot < 1 || slot > ZetTable::OpenCount() || !ZetTable::Table(slot)) {
    Fail(kErrTableExpected);
    return 0;
  }
  RaiseDependency(Zet01::LinkLevelOfTable(slot));
  if (MatchCode(tkAssign)) {
    const uint16_t type = SumAt(result, Kid(node, 0));
    if (g_run.error > 0) return type;
    StoreField(slot, field, result);
    NoteNullRead();
    return type;
  }
  if (!ZetTable::Table(slot)->ValidField(field)) {
    Fail(kErrTableExpected);
    return 0;
  }
  const uint16_t type = ValueOfField(slot, field, result);
  g_run.lastField = {start, g_run.pos, slot, field};
  return type;
}

// The steps of a field path behind its token (count byte, then count + 1
// table and field pairs), checked against the open tables.
bool ReadPathSteps(TFieldRef& ref) {
  uint8_t n = 0;
  if (!ReadByte(n)) return false;
  if (n >= kMaxPathSteps) {
    Fail(kErrTooComplex);
    return false;
  }
  ref.steps = n;
  for (int i = 0; i <= n; ++i)
    if (!ReadByte(ref.step[size_t(i)].table) || !ReadWord(ref.step[size_t(i)].field)) return false;
  Zet01::ClearFieldPath();
  for (int i = 0; i <= n; ++i) Zet01::SetFieldPathEntry(i, ref.step[size_t(i)].table, ref.step[size_t(i)].field);
  if (!Zet01::FieldPathValid(n)) {
    Fail(kErrTableExpected);
    return false;
  }
  ref.path = true;
  ref.table = ref.step[n].table;
  ref.field = ref.step[n].field;
  return true;
}

[[gnu::noinline]] uint16_t FieldChainOperand(TRunValue& result) {
  const size_t start = g_run.pos - 1;
  TFieldRef ref;
  if (!ReadPathSteps(ref)) return 0;
  const int n = ref.steps;
  RaiseDependency(std::max(1, Zet01::LinkLevelOfTable(ref.step[0].table)));
  const bool assign = PeekIs(tkAssign);
  if (g_run.mode != 3) {
    // The path's records exist only while running.
    if (assign) {
      ++g_run.pos;
      const uint16_t type = EvalSum(result);
      SoftStopInCheck();
      return type;
    }
    SoftStopInCheck();
    SetText(result, "");
    return kValString;
  }
  int table = 0;
  uint16_t field = 0;
  int error = 0;
  const uint32_t recno = Zet01::FollowFieldPath(n, table, field, error);
  if (error > 0) Fail(error);
  if (table == 0) {
    if (assign) {
      ++g_run.pos;
      TRunValue ignored;
      EvalSum(ignored);
    }
    SetText(result, "");
    return kValString;
  }
  if (assign) {
    ++g_run.pos;
    Zet00::PopTablePosition(table);
    const uint16_t type = EvalSum(result);
    if (g_run.error <= 0 && g_run.apply) {
      const int e = WriteFieldAndUpdate(table, field, result, recno);
      if (e > 0) Fail(e);
    }
    return type;
  }
  const uint16_t type = ValueOfField(table, field, result);
  Zet00::PopTablePosition(table);
  g_run.lastField = {start, g_run.pos, table, field};
  return type;
}

// ---- Constructs ----------------------------------------------------------------

[[gnu::noinline]] uint16_t ChoiceOperand(TRunValue& result, const TNode* node) {
  uint8_t n = 0;
  if (!ReadByte(n)) return 0;
  std::string_view offsets;
  if (n == 0 || g_run.pos + n > g_run.code.size()) {
    Fail(kErrRunIncomplete);
    g_run.pos = g_run.code.size();
    return 0;
  }
  offsets = g_run.code.substr(g_run.pos, n);
  g_run.pos += n;
  const size_t start = g_run.pos;  // the selector's first byte
  TFullSums full;
  TRunValue selector;
  if (!EvalArgAt(kValReal, selector, Kid(node, 0))) return 0;
  int32_t k = ValueToInteger(selector.number);
  if (n < 2) {
    // A Choice without alternatives has nothing to give.
    Fail(kErrRunIncomplete);
    g_run.pos = std::min(g_run.code.size(), start + uint8_t(offsets[0]));
    return 0;
  }
  if (k <= 0 || k >= n) k = n - 1;
  const size_t alternative = start + uint8_t(offsets[size_t(k - 1)]) - 1;
  const size_t end = start + uint8_t(offsets[size_t(n - 1)]);
  if (alternative > g_run.code.size() || end > g_run.code.size()) {
    Fail(kErrRunIncomplete);
    g_run.pos = g_run.code.size();
    return 0;
  }
  g_run.pos = alternative;
  const uint16_t type = SumAt(result, Kid(node, uint32_t(k)));
  g_run.pos = end;
  return type;
}

// The compiler's scan of the argument list of Choice and NLoop: the
// positions (1-based in this code) of each "," and of the list's last byte.
[[gnu::noinline]] uint16_t BoundaryScan(TRunValue& result) {
  TFullSums full;
  TRunValue first;
  EvalArg(kValReal, first);
  std::string positions;
  while (!Failed() && PeekIs(tkAnd)) {
    positions.push_back(char(uint8_t(g_run.pos + 1)));
    ++g_run.pos;
    TRunValue item;
    EvalArg(0, item);
  }
  positions.push_back(char(uint8_t(g_run.pos)));
  SetText(result, positions);
  SoftStopInCheck();
  return kValString;
}

// NLoop looks for the user's break (Ctrl+U) once in this many rounds.
constexpr int32_t kBreakLookRounds = 1024;
bool BreakAt(int32_t round) {
  return (round & (kBreakLookRounds - 1)) == kBreakLookRounds - 1 && g_hooks.breakRequested();
}
bool RunPlainLoop(const TNode& loop, uint16_t var, int32_t count, size_t body);
bool CompiledCall(uint16_t proc, const ZetVars::TProcedure& p, const TNode& node, TRunValue& result);

[[gnu::noinline]] uint16_t NLoopOperand(TRunValue& result, const TNode* node) {
  size_t end = g_run.code.size();
  if (PeekIs(tkNLoopBody)) {
    ++g_run.pos;
    uint8_t length = 0;
    if (!ReadByte(length)) return 0;
    end = std::min(g_run.code.size(), g_run.pos + length + 1);
  }
  uint16_t var = 0;
  if (!MatchCode(tkVar) || !ReadWord(var)) {
    Fail(kErrVariableExpected);
    g_run.pos = end;
    return 0;
  }
  TFullSums full;
  if (!ExpectCode(tkAnd)) return 0;
  TRunValue countValue;
  if (!EvalArgAt(kValReal, countValue, Kid(node, 0))) return 0;
  const int32_t n = ValueToInteger(countValue.number);
  const size_t body = g_run.pos;
  auto runBody = [&] {
    g_run.pos = body;
    for (uint32_t k = 1; !Failed() && PeekIs(tkAnd); ++k) {
      ++g_run.pos;
      TRunValue item;
      EvalArgAt(0, item, Kid(node, k));
    }
  };
  if (g_run.apply && node && RunPlainLoop(*node, var, n, body)) {
    // the body ran compiled
  } else if (g_run.apply) {
    for (int32_t i = 0; i <= n && !Failed(); ++i) {
      // A loop may run for as long as its count says; the user can stop it.
      if (BreakAt(i)) {
        Fail(kErrUserBreak);
        break;
      }
      if (!ZetVars::StoreNumber(var, i)) {
        ZetVars::TVarValue v;
        v.number = i;
        ZetVars::SetVariable(var, kValReal, v, 0);
      }
      runBody();
    }
  } else {
    runBody();
  }
  g_run.pos = std::max(g_run.pos, end);
  SetReal(result, n);
  return kValReal;
}

[[gnu::noinline]] uint16_t LinkedAggregate(uint8_t kind, TRunValue& result) {
  uint64_t set = 0;
  std::string_view text;
  if (!ReadSet(set) || !ReadText(text)) return 0;
  if (PeekIs(tkSumSuffix)) ++g_run.pos;
  RaiseDependency(1);
  SetReal(result, 0);
  TFullSums full;
  const int error = EvalLinkAggregate(kind, set, text, g_run.mode, result);
  if (error > 0) Fail(error);
  else if (error == kSoftStop) SoftStopInCheck();
  return kValReal;
}

[[gnu::noinline]] uint16_t ProcedureCall(TRunValue& result, const TNode* node) {
  uint16_t proc = 0;
  if (!ReadWord(proc)) return 0;
  SetReal(result, 0);
  if (proc == 0) return kValReal;
  const ZetVars::TProcedure* p = ZetVars::GetProcedure(proc);
  if (!p) {
    Fail(kErrIllegalOperand);
    return 0;
  }
  if (node && CompiledCall(proc, *p, *node, result)) return kValReal;
  TFullSums full;
  // Bind the parameters in a new frame.
  const uint16_t oldBase = ZetVars::LocalBase();
  const uint16_t pendingBase = ZetVars::VariableCount();
  const uint16_t e = ZetVars::InstantiateParameters(proc, true);
  if (e != 0) {
    Fail(e);
    return 0;
  }
  for (size_t i = 0; i < p->params.size() && !Failed(); ++i) {
    const ZetVars::TParameter& param = p->params[i];
    if (!ExpectCode(i == 0 ? tkOpen : tkAnd)) break;
    const uint16_t local = param.instances.empty() ? 0 : param.instances.back();
    if (param.byRef) {
      uint16_t target = 0;
      const uint8_t want = param.isArray ? tkArrayVar : tkVar;
      if (!MatchCode(want) || !ReadWord(target)) {
        Fail(param.isArray ? kErrTypes : kErrVariableExpected);
        break;
      }
      if (param.isArray) {
        uint8_t dims = 0;
        ReadByte(dims);
      }
      ZetVars::BindAlias(local, target);
    } else {
      TRunValue v;
      const uint16_t want = param.type == ZetVars::kTypeString ? kValString
                            : ZetVars::IsObjectType(param.type) ? kValObject : kValReal;
      if (!EvalArgAt(want, v, Kid(node, uint32_t(i)))) break;
      if (v.type == kValReal && ZetVars::StoreNumber(local, v.number)) continue;
      ZetVars::TVarValue value;
      value.number = v.number;
      value.text = v.text.view();
      ZetVars::SetVariable(local, v.type, value, 0);
    }
  }
  if (!p->params.empty()) {
    if (!Failed()) ExpectCode(tkClose);
  } else if (PeekIs(tkOpen) && g_run.pos + 1 < g_run.code.size() &&
             uint8_t(g_run.code[g_run.pos + 1]) == tkClose) {
    g_run.pos += 2;  // a call without parameters, written with empty brackets
  }
  TRunValue value;
  value.type = p->resultType;
  ZetVars::SetLocalBase(pendingBase);
  if (g_run.apply && !Failed()) {
    const int answer = g_hooks.runProcedure(proc, value);
    if (answer > 0) Fail(answer);
  } else {
    SoftStopInCheck();
  }
  ZetVars::DropLocalVariables();
  ZetVars::SetLocalBase(oldBase);
  ZetVars::DropParameterInstances(proc);
  result = value;
  if (result.type == 0) result.type = p->resultType;
  return result.type;
}

[[gnu::noinline]] uint16_t ExecMacroOperand(TRunValue& result) {
  TFullSums full;
  if (!ExpectCode(tkOpen)) return 0;
  TRunValue name;
  if (!EvalArg(kValString, name)) return 0;
  if (!g_hooks.beginMacro(name.text.view())) {
    Fail(kErrRunSyntax);
    return 0;
  }
  while (!Failed() && MatchCode(tkAnd)) {
    TRunValue item;
    EvalArg(0, item);
  }
  ExpectCode(tkClose);
  g_hooks.endMacro();
  SetReal(result, 0);
  return kValReal;
}

[[gnu::noinline]] uint16_t GroupFunction(uint8_t group, TRunValue& result) {
  uint8_t code = 0;
  if (!ReadByte(code)) return 0;
  SetReal(result, 0);
  const size_t slot = group == tkStarFunc ? 20 : size_t(group - tkSysFuncFirst);
  const TGroupHandler handler = slot < g_groupHandlers.size() ? g_groupHandlers[slot] : nullptr;
  if (!handler) {
    Fail(kErrNotAvailable);
    g_run.pos = g_run.code.size();
    return 0;
  }
  handler(group, code, result);
  return result.type;
}

uint16_t Dispatch(uint8_t t, TRunValue& result, const TNode* node) {
  switch (t) {
    case tkOpen: {
      TFullSums full;
      const uint16_t type = SumAt(result, Kid(node, 0));
      ExpectCode(tkClose);
      return type;
    }
    case tkPlus:
    case tkMinus: {
      const uint16_t type = OperandAt(result, Kid(node, 0));
      if (type != kValReal) {
        Fail(kErrBadOperator);
        return type;
      }
      if (t == tkMinus) result.number = -result.number;
      return type;
    }
    case tkRealConst: {
      double v = 0;
      if (ReadReal(v)) SetReal(result, v);
      return kValReal;
    }
    case tkStringConst:
    case tkFields: {
      std::string_view text;
      if (ReadText(text)) SetText(result, text);
      return kValString;
    }
    case tkBracket: {
      std::string_view text;
      if (ReadText(text)) SetText(result, text);
      SoftStopInCheck();
      return kValString;
    }
    case tkWordConst: {
      uint16_t w = 0;
      if (ReadWord(w)) SetReal(result, w);
      return kValReal;
    }
    case tkByteConst: {
      uint8_t b = 0;
      if (ReadByte(b)) SetReal(result, b);
      return kValReal;
    }
    case tkTable: {
      uint8_t slot = 0;
      if (!ReadByte(slot)) return 0;
      SetReal(result, slot);
      RaiseDependency(Zet01::LinkLevelOfTable(slot));
      return kValReal;
    }
    case tkFontRef: {
      uint16_t font = 0;
      ReadWord(font);
      SetText(result, "");
      return kValString;
    }
    case tkVar:
    case tkObjectVar: {
      uint16_t index = 0;
      if (!ReadWord(index)) return 0;
      uint16_t type = MatchCode(tkAssign) ? AssignVariable(index, result, node) : ReadVariable(index, result);
      if (t == tkObjectVar) {
        g_object = std::nearbyint(result.number);
        if (!ZetVars::IsObjectType(type)) type = kValObject;
        result.type = type;
      }
      return type;
    }
    case tkArrayVar:
      return ArrayOperand(result, node);
    case tkField:
      return FieldOperand(result, node);
    case tkFieldChain:
      return FieldChainOperand(result);
    case tkHostFunc:
    case tkHostProc:
      Fail(kErrNoObject);
      return 0;
    case tkHostObject: {
      uint16_t cls = 0;
      if (!ReadWord(cls)) return 0;
      g_object = cls;
      result.type = ZetVars::kFirstHostClass;
      result.number = cls;
      return result.type;
    }
    case tkHostCommand:
    case tkUserFunc:
    case tkExtFunc:
      ExecuteSystemFuntion(t, result);
      return result.type;
    case tkPrint: {
      std::string_view text;
      if (!ReadText(text)) return 0;
      SetText(result, text);
      if (g_run.apply) {
        const int e = g_hooks.printLine(text);
        if (e != 0) Fail(e);
      }
      return kValString;
    }
    case tkAlles:
      SetText(result, std::string_view("\xD3", 1));
      RaiseDependency(1);
      SoftStopInCheck();
      return kValString;
    case tkChoice:
      return ChoiceOperand(result, node);
    case tkChoiceRun:
      return BoundaryScan(result);
    case tkNLoop:
      return NLoopOperand(result, node);
    case tkSel:
    case tkLink:
    case tkExists:
    case tkLinkCount:
    case tkLinkSum:
      return LinkedAggregate(t, result);
    case tkProcCall:
      return ProcedureCall(result, node);
    case tkExecMacro:
      return ExecMacroOperand(result);
    default:
      if (IsSysFuncGroup(t) || t == tkStarFunc) return GroupFunction(t, result);
      Fail(kErrIllegalOperand);
      g_run.pos = g_run.code.size();
      return 0;
  }
}

// The index suffix 'text'[start, count] at the '[': the substring of count
// characters (default 1) from start (1-based). The suffix never clears an
// error that stood before it.
[[gnu::noinline]] void IndexSuffix(TRunValue& result) {
  const int before = g_run.error;
  ++g_run.pos;
  TFullSums full;
  TRunValue start;
  TRunValue count;
  SetReal(count, 1);
  if (EvalArg(kValReal, start) && (!MatchCode(tkAnd) || EvalArg(kValReal, count)) && ExpectCode(tkBracketClose)) {
    const int32_t s = std::max<int32_t>(1, ValueToInteger(start.number));
    const int32_t n = std::max<int32_t>(0, ValueToInteger(count.number));
    const std::string_view text = result.text.view();
    SetText(result, size_t(s) > text.size() ? std::string_view() : text.substr(size_t(s - 1), size_t(n)));
  }
  if (g_run.error == 0) g_run.error = before;
}

// What follows an operand: a member chain a.b.c after an object, the index
// suffix after a text.
uint16_t OperandTail(uint16_t type, TRunValue& result) {
  uint8_t t = 0;
  while (!Failed() && ZetVars::IsObjectType(type) && PeekIs(tkDot) && g_run.pos + 1 < g_run.code.size()) {
    ++g_run.pos;
    t = uint8_t(g_run.code[g_run.pos++]);
    if (t != tkHostFunc && t != tkHostProc) {
      Fail(kErrIllegalOperand);
      break;
    }
    g_object = std::nearbyint(result.number);
    ExecuteSystemFuntion(t == tkHostFunc ? uint8_t(233) : uint8_t(235), result);
    type = result.type;
  }
  if (g_run.error <= 0 && type == kValString && PeekIs(tkBracket)) IndexSuffix(result);
  return type;
}

// Counts operand nesting over all runs.
class TOperandDepth {
 public:
  TOperandDepth() { ++g_operandDepth; }
  ~TOperandDepth() { --g_operandDepth; }
  TOperandDepth(const TOperandDepth&) = delete;
  TOperandDepth& operator=(const TOperandDepth&) = delete;
};

uint16_t EvalOperand(TRunValue& result) {
  // Number constants and plain number variables that are only read, the
  // commonest operands, without the general path; they have no member chain
  // and no index suffix.
  const size_t pos = g_run.pos;
  if (pos + 3 < g_run.code.size()) {
    const auto* p = reinterpret_cast<const uint8_t*>(g_run.code.data()) + pos;
    double number;
    switch (p[0]) {
      case tkByteConst:
        g_run.pos = pos + 2;
        SetReal(result, p[1]);
        return kValReal;
      case tkWordConst:
        g_run.pos = pos + 3;
        SetReal(result, bytes::GetU16(p + 1));
        return kValReal;
      case tkVar:
        if (p[3] != tkAssign && ZetVars::ReadNumber(bytes::GetU16(p + 1), number)) {
          g_run.pos = pos + 3;
          SetReal(result, number);
          return kValReal;
        }
        break;
      default:
        break;
    }
  }
  TOperandDepth depth;
  if (g_operandDepth > kMaxOperandDepth) {
    Fail(kErrTooComplex);
    g_run.pos = g_run.code.size();
    return 0;
  }
  if (AtEnd()) {
    Fail(kErrRunIncomplete);
    return 0;
  }
  const uint8_t t = uint8_t(g_run.code[g_run.pos++]);
  return OperandTail(Dispatch(t, result, nullptr), result);
}

// ---- The translated line ------------------------------------------------------
//
// The nodes run the same steps as the descent over the bytes, with the
// operands and operators already found: a chain applies its operators
// through the same steps (ApplyTermOp, ApplySumOp, FinishSum), and an
// operand goes through Dispatch with its node, so that its nested sums run
// as nodes too. After each child the position is compared with the child's
// end: a child that stopped elsewhere (a text where the operators take
// numbers, a procedure whose parameters do not match its arguments) hands
// the rest of its level to the descent over the bytes (TermRest, SumLoop,
// OperandTail), which goes on from where the child stopped, exactly as
// without the translation.

bool PlainAssignment(const TNode& n, TRunValue& result);

uint16_t FastOperand(const TNode& n, TRunValue& result) {
  if (n.quick) {
    // As the first step of EvalOperand.
    if (n.kind == TNodeKind::kNumber) {
      SetReal(result, n.number);
      g_run.pos = n.end;
      return kValReal;
    }
    double number;
    if (ZetVars::ReadNumber(n.index, number)) {
      SetReal(result, number);
      g_run.pos = n.end;
      return kValReal;
    }
  }
  TOperandDepth depth;
  if (g_operandDepth > kMaxOperandDepth) {
    Fail(kErrTooComplex);
    g_run.pos = g_run.code.size();
    return 0;
  }
  if ((n.kind == TNodeKind::kAssignVar || n.kind == TNodeKind::kArray) && PlainAssignment(n, result)) return kValReal;
  g_run.pos = n.start + 1;
  const uint16_t type = Dispatch(n.token, result, &n);
  return g_run.pos == n.end ? type : OperandTail(type, result);
}

bool PlainNumber(const TNode& n, double& out);

// The element of a number array that an array node with plain subscripts
// names, when the run applies, the node's operand level (levels deeper than
// the operands counted now) is allowed, the array has the node's dimensions
// and the element lies inside its data; nullptr otherwise.
uint8_t* PlainElement(const TNode& n, int level) {
  if (!g_run.apply || !n.plainIndex || g_operandDepth + level > kMaxOperandDepth) return nullptr;
  const ZetVars::TArrayRef array = ZetVars::GetArrayRef(n.index);
  const ZetVars::TArrayDesc* desc = array.desc;
  const uint32_t dims = n.count - (n.assign ? 1 : 0);
  if (!desc || desc->dimensions != dims || array.type == ZetVars::kTypeBits || array.type == ZetVars::kTypeString ||
      !array.data || desc->elementSize == 0)
    return nullptr;
  int64_t linear = 0;
  for (uint32_t k = 0; k < dims; ++k) {
    double v;
    if (!PlainNumber(g_run.tr->Kid(n, k), v)) return nullptr;
    linear = linear * (int64_t(desc->bounds[k]) + 1) + ValueToInteger(v);
  }
  if (linear < 0 || linear >= desc->dataSize / desc->elementSize || size_t(linear + 1) * 8 > array.data->size())
    return nullptr;
  return array.data->data() + size_t(linear) * 8;
}

// An assignment of a pure value to a variable, or a number array element
// read or assigned with plain subscripts, without Dispatch: true when done.
bool PlainAssignment(const TNode& n, TRunValue& result) {
  if (n.kind == TNodeKind::kArray && !n.assign) {
    const uint8_t* element = PlainElement(n, 0);
    if (!element) return false;
    SetReal(result, bytes::GetF64(element));
    g_run.pos = n.end;
    return true;
  }
  const TNode& value = g_run.tr->Kid(n, n.count - 1);
  if (!value.pure || value.suffix || g_run.error > 0) return false;
  double number;
  if (n.kind == TNodeKind::kArray) {
    uint8_t* element = PlainElement(n, 0);
    if (!element || !PlainNumber(value, number)) return false;
    bytes::PutF64(element, number);
    SetReal(result, number);
  } else {
    if (ZetVars::IsConstantVariable(n.index) || !PlainNumber(value, number)) return false;
    SetReal(result, number);
    StoreAssigned(n.index, kValReal, result);
  }
  g_run.pos = n.end;
  return true;
}

// A plain loop's body compiled for numbers: each item a tree of small
// expressions, each expression a function that hands its value back in a
// register (no stack of values in memory between the steps), operands that
// are a variable or a constant read in the operator's own function, and the
// places of the variables and arrays resolved once for the loop (a body of
// plain assignments defines, drops and retypes no variable and no array).
// A step that would fail (a division by 0, an element outside its array)
// marks the pass, and the item gives up before it changed anything.
//
// The same expressions run the bodies of procedures that compute numbers
// only (TCallSet below); there an expression may also read a parameter of
// the running call from the call's frame, choose an alternative (Choice) and
// call such a procedure.
struct TCompiledBody;
struct TLoopState {
  bool failed = false;
  // A compiled call: the parameters of the running call, and the counts the
  // long way keeps, so that a call it would refuse marks the run.
  const double* frame = nullptr;
  int runDepth = 0;   // runs open, as ExecuteCode counts them
  int level = 0;      // calls open
  int maxLevel = 0;   // calls that may be open under the operand limit
  int variables = 0;  // variable entries with the parameters of the open calls
  bool bound = false; // a parameter was bound, which sets "Fehler" to 0
};
struct TExpr;
using TPlaceFn = uint8_t* (*)(const TExpr&, TLoopState&);
struct TExpr {
  double (*eval)(const TExpr&, TLoopState&) = nullptr;
  const double* slot = nullptr;  // a variable's number
  double value = 0;              // a constant
  const TExpr* left = nullptr;   // an operator's operands; an element's
  const TExpr* right = nullptr;  // first subscript (the rest follow in line);
                                 // a choice's selector and alternatives; a
                                 // call's arguments
  // An element: where it lies, and its array's shape, data and count.
  TPlaceFn place = nullptr;
  const ZetVars::TArrayDesc* desc = nullptr;
  uint8_t* data = nullptr;
  // An element's count; a parameter's place in the frame; a global's index;
  // a choice's count of codes (alternatives + 1); a call's argument count.
  int64_t count = 0;
  const TCompiledBody* callee = nullptr;  // a call: the body it runs
};
struct TLoopItem;
// Runs one item in the pass of that number; false when it gave up (nothing
// changed then).
using TItemFn = bool (*)(const TLoopItem&, TLoopState&, int32_t pass);
struct TLoopItem {
  const TNode* node;
  const TExpr* value = nullptr;
  const TExpr* element = nullptr;  // an element target (its subscripts)
  double* target = nullptr;        // a variable target
  TItemFn run = nullptr;           // an element target's runner
};

enum class TLoopOp : uint8_t { kAdd, kSub, kMul, kDiv, kIntDiv, kMod };

// The operators as PlainNumber works them out.
template <TLoopOp op>
inline double Apply(double a, double b, TLoopState& s) {
  switch (op) {
    case TLoopOp::kAdd:
      return a + b;
    case TLoopOp::kSub:
      return a - b;
    case TLoopOp::kMul:
    case TLoopOp::kDiv: {
      if (op == TLoopOp::kDiv && b == 0.0) {
        s.failed = true;
        return 0;
      }
      const double r = op == TLoopOp::kMul ? a * b : a / b;
      if (!std::isfinite(r)) s.failed = true;
      return r;
    }
    default: {
      const int32_t x = Common::RealToLongInt(a);
      const int32_t y = Common::RealToLongInt(b);
      if (y == 0) {
        s.failed = true;
        return 0;
      }
      const int64_t q = int64_t(x) / y;
      return op == TLoopOp::kMod ? double(int64_t(x) - q * y) : double(q);
    }
  }
}

// Where an operator's operand comes from: another expression, a variable, a
// constant or a parameter of the running call.
struct TFromExpr {
  static double Get(const TExpr* e, TLoopState& s) { return e->eval(*e, s); }
};
struct TFromSlot {
  static double Get(const TExpr* e, TLoopState&) { return *e->slot; }
};
struct TFromConst {
  static double Get(const TExpr* e, TLoopState&) { return e->value; }
};
struct TFromParam {
  static double Get(const TExpr* e, TLoopState& s) { return s.frame[e->count]; }
};

template <TLoopOp op, class L, class R>
double EvalBinary(const TExpr& e, TLoopState& s) {
  const double a = L::Get(e.left, s);
  return Apply<op>(a, R::Get(e.right, s), s);
}
double EvalSlot(const TExpr& e, TLoopState&) { return *e.slot; }
double EvalConst(const TExpr& e, TLoopState&) { return e.value; }
double EvalParam(const TExpr& e, TLoopState& s) { return s.frame[e.count]; }

// The element an element expression names; nullptr (the pass marked) when
// it lies outside its array. One subscript, or any number of them.
uint8_t* PlaceAt(const TExpr& e, TLoopState& s, int64_t linear) {
  if (linear < 0 || linear >= e.count) {
    s.failed = true;
    return nullptr;
  }
  return e.data + size_t(linear) * 8;
}
template <class Sub>
uint8_t* PlaceOne(const TExpr& e, TLoopState& s) {
  return PlaceAt(e, s, ValueToInteger(Sub::Get(e.left, s)));
}
uint8_t* PlaceMany(const TExpr& e, TLoopState& s) {
  int64_t linear = 0;
  for (uint32_t k = 0; k < e.desc->dimensions; ++k)
    linear = linear * (int64_t(e.desc->bounds[k]) + 1) + ValueToInteger(TFromExpr::Get(e.left + k, s));
  return PlaceAt(e, s, linear);
}
template <TPlaceFn place>
double EvalElement(const TExpr& e, TLoopState& s) {
  const uint8_t* element = place(e, s);
  return element ? bytes::GetF64(element) : 0;
}

using TEvalFn = double (*)(const TExpr&, TLoopState&);

// The runners of items that assign an element, one per kind of element and
// of value. A failed step marks the pass; the item gives up and clears the
// mark.
struct TToElement {
  template <class V>
  static bool Run(const TLoopItem& item, TLoopState& s, int32_t) {
    uint8_t* element = item.element->place(*item.element, s);
    const double v = element ? V::Get(item.value, s) : 0;
    if (s.failed) return s.failed = false;
    bytes::PutF64(element, v);
    return true;
  }
};
// An element whose one subscript is the loop's counter, which no item of
// the loop assigns: the counter holds the pass's number, a whole number from
// 0, so the pass's number is the element's place.
struct TToCounterElement {
  template <class V>
  static bool Run(const TLoopItem& item, TLoopState& s, int32_t pass) {
    const TExpr& e = *item.element;
    if (pass >= e.count) return false;
    const double v = V::Get(item.value, s);
    if (s.failed) return s.failed = false;
    bytes::PutF64(e.data + size_t(pass) * 8, v);
    return true;
  }
};
template <class Target>
TItemFn RunnerFor(const TExpr* value) {
  if (value->eval == EvalSlot) return Target::template Run<TFromSlot>;
  if (value->eval == EvalConst) return Target::template Run<TFromConst>;
  return Target::template Run<TFromExpr>;
}

template <TLoopOp op, class L>
TEvalFn BinaryRight(const TExpr* right) {
  if (right->eval == EvalSlot) return EvalBinary<op, L, TFromSlot>;
  if (right->eval == EvalConst) return EvalBinary<op, L, TFromConst>;
  if (right->eval == EvalParam) return EvalBinary<op, L, TFromParam>;
  return EvalBinary<op, L, TFromExpr>;
}
// The operator's function for its two operands.
template <TLoopOp op>
TEvalFn BinaryFor(const TExpr* left, const TExpr* right) {
  if (left->eval == EvalSlot) return BinaryRight<op, TFromSlot>(right);
  if (left->eval == EvalConst) return BinaryRight<op, TFromConst>(right);
  if (left->eval == EvalParam) return BinaryRight<op, TFromParam>(right);
  return BinaryRight<op, TFromExpr>(right);
}

// Operands of procedure bodies.
double EvalGlobal(const TExpr& e, TLoopState& s) {
  double v = 0;
  if (!ZetVars::ReadNumber(uint16_t(e.count), v)) s.failed = true;
  return v;
}
double EvalNegate(const TExpr& e, TLoopState& s) { return -e.left->eval(*e.left, s); }
double EvalChoice(const TExpr& e, TLoopState& s) {
  // As ChoiceOperand: a selector outside 1 .. count - 1 takes the last.
  int32_t k = ValueToInteger(e.left->eval(*e.left, s));
  if (k <= 0 || k >= e.count) k = int32_t(e.count - 1);
  const TExpr& alternative = e.right[k - 1];
  return alternative.eval(alternative, s);
}
double EvalCall(const TExpr& e, TLoopState& s);

class TCallSet;

// Compiles nodes of a translation into expressions of a pool that never
// grows (so the expressions keep their places); nullptr for a node it does
// not take. For a loop (no call set): numbers, number variables, number
// array elements and their operators. For a procedure body (with its call
// set and parameter count) also brackets, signs, parameters, Choice and
// calls, but no array elements, and only variables below the system ones.
class TNumberCode {
 public:
  TNumberCode(const TTranslation& tr, std::vector<TExpr>& pool, TCallSet* calls = nullptr, int params = 0)
      : tr_(tr), pool_(pool), calls_(calls), params_(params) {}

  const TExpr* Expr(const TNode& n);

  // The element of a number array the node names, with its subscripts'
  // expressions in line behind it; nullptr when it is none.
  const TExpr* Element(const TNode& n) {
    const ZetVars::TArrayRef ref = ZetVars::GetArrayRef(n.index);
    const uint32_t dims = n.count - (n.assign ? 1 : 0);
    if (calls_ || !ref.desc || ref.desc->dimensions != dims || ref.type == ZetVars::kTypeBits ||
        ref.type == ZetVars::kTypeString || !ref.data || ref.desc->elementSize == 0)
      return nullptr;
    TExpr* e = New();
    if (!e || pool_.capacity() - pool_.size() < dims) return nullptr;
    e->desc = ref.desc;
    e->data = ref.data->data();
    e->count = std::min<int64_t>(ref.desc->dataSize / ref.desc->elementSize, int64_t(ref.data->size() / 8));
    // The subscripts' own places first, their operands after them.
    TExpr* subs = Block(dims);
    e->left = subs;
    if (!Kids(n, 0, dims, subs)) return nullptr;
    e->place = dims > 1 ? PlaceMany : subs->eval == EvalSlot ? PlaceOne<TFromSlot> : PlaceOne<TFromExpr>;
    e->eval = dims > 1 ? EvalElement<PlaceMany>
              : subs->eval == EvalSlot ? EvalElement<PlaceOne<TFromSlot>> : EvalElement<PlaceOne<TFromExpr>>;
    return e;
  }

 private:
  // A new expression; nullptr past the pool's room.
  TExpr* New() {
    if (pool_.size() == pool_.capacity()) return nullptr;
    pool_.emplace_back();
    return &pool_.back();
  }
  // n expressions in line (nullptr past the pool's room).
  TExpr* Block(size_t n) {
    if (n == 0 || pool_.capacity() - pool_.size() < n) return nullptr;
    TExpr* first = &pool_.emplace_back();
    for (size_t k = 1; k < n; ++k) pool_.emplace_back();
    return first;
  }
  // The node's kids from first, n of them, compiled into the block.
  bool Kids(const TNode& n, uint32_t first, uint32_t count, TExpr* block) {
    if (!block) return false;
    for (uint32_t k = 0; k < count; ++k) {
      const TExpr* kid = Expr(tr_.Kid(n, first + k));
      if (!kid) return false;
      block[k] = *kid;
    }
    return true;
  }
  const TExpr* Variable(const TNode& n);
  const TExpr* Call(const TNode& n);

  const TTranslation& tr_;
  std::vector<TExpr>& pool_;
  TCallSet* calls_;
  int params_;
};

class TPlainLoop {
 public:
  bool Compile(const TNode& loop, const double* counter) {
    // A node gives at most two expressions (an element and its subscript's
    // place).
    exprs_.reserve(std::min(kMaxExprs, 2 * g_run.tr->nodes.size()));
    TNumberCode code(*g_run.tr, exprs_);
    for (uint32_t k = 1; k < loop.count; ++k) {
      const TNode& item = g_run.tr->Kid(loop, k);
      const bool assignment = item.kind == TNodeKind::kAssignVar || (item.kind == TNodeKind::kArray && item.assign);
      if (!assignment || item.suffix) return false;
      const TNode& value = g_run.tr->Kid(item, item.count - 1);
      TLoopItem out;
      out.node = &item;
      if (!value.pure || value.suffix) return false;
      if (item.kind == TNodeKind::kAssignVar) {
        if (ZetVars::IsConstantVariable(item.index)) return false;
        out.target = ZetVars::NumberSlot(item.index, true);
        if (!out.target) return false;
      } else if (item.plainIndex) {
        out.element = code.Element(item);
        if (!out.element) return false;
      } else {
        return false;
      }
      out.value = code.Expr(value);
      if (!out.value) return false;
      items.push_back(out);
    }
    const bool counterKept =
        std::none_of(items.begin(), items.end(), [&](const TLoopItem& item) { return item.target == counter; });
    for (TLoopItem& item : items) {
      if (!item.element) continue;
      if (counterKept && item.element->place == PlaceOne<TFromSlot> && item.element->left->slot == counter)
        item.run = RunnerFor<TToCounterElement>(item.value);
      else
        item.run = RunnerFor<TToElement>(item.value);
    }
    return true;
  }

  // Runs one item of the pass; false when it gave up. An assignment to a
  // variable sets "Fehler" to 0 as StoreNumber does: the pass clears it
  // before its first item, and after each item once one has run the long way.
  bool Run(const TLoopItem& item, int32_t pass) {
    if (item.run) return item.run(item, state, pass);
    const double v = item.value->eval(*item.value, state);
    if (state.failed) return state.failed = false;
    *item.target = v;
    return true;
  }

  std::vector<TLoopItem> items;
  double* error = ZetVars::ErrorVariableSlot();
  TLoopState state;

 private:
  static constexpr size_t kMaxExprs = 240;
  std::vector<TExpr> exprs_;
};

// ---- Compiled calls -------------------------------------------------------------
//
// A procedure whose body is one line of numbers only (the hook names the
// line, TRunHooks::procedureLine) runs without the long way's steps: no
// parameter entries in the variable table, no nested run, no values in
// memory between the steps. Its body is compiled once into expressions
// (TNumberCode), with every procedure it calls, into a call set kept per
// procedure and compiled again when a body line or a parameter list
// changes. A call's arguments go into a frame of numbers on the machine
// stack, which the body's parameters read by their place.
//
// Such a body changes nothing: it reads numbers and calls bodies that read
// numbers. So a compiled run that meets anything the long way would answer
// otherwise than with a number (a division by 0, an overflow, a variable
// that holds no number, the nesting limits of runs, operands and variable
// entries) gives up before anything changed, and the call runs the long
// way, which meets the same thing and answers as it always did. What a call
// leaves besides its value is done after the run: "Fehler" 0 once a
// parameter was bound, and the null indicators of a finished run.

// At most this many parameters go into a frame.
constexpr size_t kMaxFrame = 8;

struct TCompiledBody {
  uint16_t proc = 0;
  int params = -1;   // -1: a parameter that is not a number taken by value
  std::string line;  // the body line as the hook gave it
  TTranslation tr;
  std::vector<TExpr> pool;
  const TExpr* root = nullptr;
};

// The parameter count of a procedure whose parameters are all plain numbers
// taken by value (no accumulator names), at most kMaxFrame; -1 for any other.
int FrameSize(const ZetVars::TProcedure* p) {
  if (!p || p->params.size() > kMaxFrame) return -1;
  for (const ZetVars::TParameter& param : p->params)
    if (param.byRef || param.isArray || param.type != ZetVars::kTypeReal || ZetVars::IsHiddenName(param.name.view()))
      return -1;
  return int(p->params.size());
}

int Height(const TTranslation& tr, const TNode& n) {
  int h = 0;
  for (uint32_t k = 0; k < n.count; ++k) h = std::max(h, Height(tr, tr.Kid(n, k)));
  return h + 1;
}

class TCallSet {
 public:
  // Compiles the body of proc and of every procedure it calls.
  void Build(uint16_t proc) {
    bodies_.clear();
    usable = false;
    height = 0;
    maxGlobal = 0;
    Body(proc);
    for (size_t i = 0; i < bodies_.size(); ++i) {
      TCompiledBody& b = *bodies_[i];
      size_t hi = 0;
      if (b.params < 0 || b.line.empty() || !Translate(b.line, 0, b.tr, hi)) return;
      // A node gives at most three expressions: its own, an operator's, and
      // its copy in a block.
      b.pool.reserve(3 * b.tr.nodes.size() + 2);
      TNumberCode code(b.tr, b.pool, this, b.params);
      const TNode& root = b.tr.nodes[b.tr.root];
      b.root = code.Expr(root);
      if (!b.root) return;
      height = std::max(height, Height(b.tr, root));
    }
    usable = true;
  }

  // Whether every body line and parameter list is as it was compiled.
  bool Current() const {
    for (const auto& b : bodies_)
      if (FrameSize(ZetVars::GetProcedure(b->proc)) != b->params || ProcedureLine(b->proc) != b->line) return false;
    return !bodies_.empty();
  }

  // The body of proc, taken into the set (compiled by Build).
  const TCompiledBody* Body(uint16_t proc) {
    for (const auto& b : bodies_)
      if (b->proc == proc) return b.get();
    auto b = std::make_unique<TCompiledBody>();
    b->proc = proc;
    b->params = FrameSize(ZetVars::GetProcedure(proc));
    b->line = std::string(ProcedureLine(proc));
    bodies_.push_back(std::move(b));
    return bodies_.back().get();
  }

  const TCompiledBody& First() const { return *bodies_.front(); }

  bool usable = false;
  int height = 0;          // the most nodes from a body's root to a leaf
  uint16_t maxGlobal = 0;  // the highest variable a body reads

 private:
  std::vector<std::unique_ptr<TCompiledBody>> bodies_;
};

const TExpr* TNumberCode::Expr(const TNode& n) {
  if (calls_ && n.suffix) return nullptr;
  switch (n.kind) {
    case TNodeKind::kNumber: {
      TExpr* e = New();
      if (e) {
        e->eval = EvalConst;
        e->value = n.number;
      }
      return e;
    }
    case TNodeKind::kVar:
      return Variable(n);
    case TNodeKind::kArray:
      return Element(n);
    case TNodeKind::kParen:
      return calls_ ? Expr(tr_.Kid(n, 0)) : nullptr;
    case TNodeKind::kSign: {
      if (!calls_) return nullptr;
      const TExpr* operand = Expr(tr_.Kid(n, 0));
      if (!operand || n.token == tkPlus) return operand;
      TExpr* e = New();
      if (e) {
        e->eval = EvalNegate;
        e->left = operand;
      }
      return e;
    }
    case TNodeKind::kChoice: {
      if (!calls_ || n.count < 2) return nullptr;
      const TExpr* selector = Expr(tr_.Kid(n, 0));
      TExpr* e = selector ? New() : nullptr;
      TExpr* alternatives = e ? Block(n.count - 1) : nullptr;
      if (!Kids(n, 1, n.count - 1, alternatives)) return nullptr;
      e->eval = EvalChoice;
      e->left = selector;
      e->right = alternatives;
      e->count = n.count;
      return e;
    }
    case TNodeKind::kProcCall:
      return calls_ ? Call(n) : nullptr;
    case TNodeKind::kSum:
    case TNodeKind::kTerm:
      break;
    default:
      return nullptr;
  }
  const TExpr* acc = Expr(tr_.Kid(n, 0));
  for (uint32_t k = 1; acc && k < n.count; ++k) {
    const TNode& kid = tr_.Kid(n, k);
    const TExpr* right = Expr(kid);
    TExpr* e = right ? New() : nullptr;
    if (!e) return nullptr;
    switch (kid.op) {
      case tkPlus: e->eval = BinaryFor<TLoopOp::kAdd>(acc, right); break;
      case tkMinus: e->eval = BinaryFor<TLoopOp::kSub>(acc, right); break;
      case tkMul: e->eval = BinaryFor<TLoopOp::kMul>(acc, right); break;
      case tkSlash: e->eval = BinaryFor<TLoopOp::kDiv>(acc, right); break;
      case tkIntDiv: e->eval = BinaryFor<TLoopOp::kIntDiv>(acc, right); break;
      case tkMod: e->eval = BinaryFor<TLoopOp::kMod>(acc, right); break;
      default: return nullptr;
    }
    e->left = acc;
    e->right = right;
    acc = e;
  }
  return acc;
}

const TExpr* TNumberCode::Variable(const TNode& n) {
  TExpr* e = New();
  if (!e) return nullptr;
  if (!calls_) {
    e->slot = ZetVars::NumberSlot(n.index, false);
    e->eval = EvalSlot;
    return e->slot ? e : nullptr;
  }
  if (n.index > ZetVars::kLocalBit) {
    // A parameter of the body (the frame's entries follow the base).
    const int place = int(n.index & 0x7FFF) - 1;
    if (place < 0 || place >= params_) return nullptr;
    e->eval = EvalParam;
    e->count = place;
    return e;
  }
  // A program variable, read when the body runs (its entry may hold another
  // value, or no number, by then).
  if (n.index == 0 || n.index >= ZetVars::kFirstSystemVar) return nullptr;
  e->eval = EvalGlobal;
  e->count = n.index;
  calls_->maxGlobal = std::max(calls_->maxGlobal, n.index);
  return e;
}

const TExpr* TNumberCode::Call(const TNode& n) {
  if (n.index == 0) return nullptr;
  const TCompiledBody* callee = calls_->Body(n.index);
  if (callee->params != int(n.count)) return nullptr;
  TExpr* e = New();
  TExpr* args = e && n.count > 0 ? Block(n.count) : nullptr;
  if (!e || (n.count > 0 && !Kids(n, 0, n.count, args))) return nullptr;
  e->eval = EvalCall;
  e->left = args;
  e->count = n.count;
  e->callee = callee;
  return e;
}

// A call inside a compiled body. The long way makes the parameter entries,
// works out the arguments, then runs the body one run deeper.
double EvalCall(const TExpr& e, TLoopState& s) {
  const int n = int(e.count);
  s.variables += n;
  if (s.failed || s.variables > ZetVars::kMaxProgramVars || s.runDepth >= kMaxRunDepth || s.level >= s.maxLevel) {
    s.variables -= n;
    s.failed = true;
    return 0;
  }
  double frame[kMaxFrame];
  for (int k = 0; k < n; ++k) frame[k] = e.left[k].eval(e.left[k], s);
  s.bound = s.bound || n > 0;
  const double* outer = s.frame;
  s.frame = frame;
  ++s.runDepth;
  ++s.level;
  const TExpr& body = *e.callee->root;
  const double r = s.failed ? 0 : body.eval(body, s);
  --s.level;
  --s.runDepth;
  s.frame = outer;
  s.variables -= n;
  return r;
}

// The call sets, by procedure number.
std::vector<std::unique_ptr<TCallSet>> g_callSets;

// The compiled set of proc, current with the hook and the procedures; nullptr
// where the body is not compiled.
const TCallSet* CallSetFor(uint16_t proc) {
  if (g_callSets.size() <= proc) g_callSets.resize(size_t(proc) + 1);
  std::unique_ptr<TCallSet>& set = g_callSets[proc];
  if (!set) set = std::make_unique<TCallSet>();
  if (!set->Current()) set->Build(proc);
  return set->usable && set->maxGlobal <= ZetVars::VariableCount() ? set.get() : nullptr;
}

// The call at node run compiled: true when done (value, position and what
// the call leaves as the long way leaves it); false, with nothing changed,
// where the long way runs it. The arguments are worked out here only when
// they read numbers and change nothing.
bool CompiledCall(uint16_t proc, const ZetVars::TProcedure& p, const TNode& node, TRunValue& result) {
  if (!g_run.apply || g_run.error != 0 || g_hooks.procedureLine == DefaultProcedureLine ||
      node.count != p.params.size() || node.count > kMaxFrame)
    return false;
  const TCallSet* set = CallSetFor(proc);
  if (!set) return false;
  double args[kMaxFrame];
  for (uint32_t k = 0; k < node.count; ++k) {
    const TNode& arg = g_run.tr->Kid(node, k);
    const bool plain = arg.pure || arg.kind == TNodeKind::kNumber || arg.kind == TNodeKind::kVar;
    if (!plain || arg.suffix || !PlainNumber(arg, args[k])) return false;
  }
  TLoopState s;
  s.frame = args;
  s.variables = ZetVars::VariableCount() + int(node.count);
  s.runDepth = g_runDepth + 1;
  s.level = 1;
  s.maxLevel = (kMaxOperandDepth - g_operandDepth) / (set->height + 1) - 1;
  if (s.variables > ZetVars::kMaxProgramVars || g_runDepth >= kMaxRunDepth || s.level > s.maxLevel) return false;
  s.bound = node.count > 0;
  const TExpr& body = *set->First().root;
  const double value = body.eval(body, s);
  if (s.failed) return false;
  if (s.bound) ZetVars::SetErrorVariable(0);
  Common::LastFieldNullable = false;
  Common::LastValueIsNull = false;
  SetReal(result, value);
  result.table = 0;
  g_run.pos = node.end;
  return true;
}

// An NLoop whose body items are all plain assignments (PlainAssignment) of
// pure values over number variables and arrays: the body runs compiled
// (TPlainLoop). An item that gives up runs the long way. False, before
// anything happened, for another loop, or where an item's operand would
// pass the nesting limit.
bool RunPlainLoop(const TNode& loop, uint16_t var, int32_t count, size_t body) {
  if (loop.count < 2 || body != g_run.tr->Kid(loop, 0).end || g_operandDepth + 2 > kMaxOperandDepth) return false;
  TPlainLoop plain;
  double* counter = ZetVars::NumberSlot(var, true);
  if (!counter || !plain.Compile(loop, counter)) return false;
  const TNode& last = g_run.tr->Kid(loop, loop.count - 1);
  const size_t items = plain.items.size();
  // The position goes behind the last item once, after the passes that all
  // ran compiled (nothing reads it in between).
  bool settle = false;
  for (int32_t i = 0; i <= count && !Failed(); ++i) {
    if (BreakAt(i)) {
      Fail(kErrUserBreak);
      break;
    }
    *plain.error = 0;
    *counter = i;
    size_t k = 0;
    while (k < items && plain.Run(plain.items[k], i)) ++k;
    settle = k == items;
    if (settle) continue;
    bool inStep = true;
    for (; k < items; ++k) {
      const TLoopItem& item = plain.items[k];
      if (!inStep || Failed()) break;
      if (plain.Run(item, i)) {
        if (!item.element) *plain.error = 0;
        continue;
      }
      g_run.pos = item.node->start;
      TRunValue value;
      EvalArgAt(0, value, item.node);
      inStep = g_run.pos == item.node->end;
    }
    if (inStep) {
      if (!Failed()) g_run.pos = last.end;
    } else {
      // The rest of the pass as the descent reads it.
      while (!Failed() && PeekIs(tkAnd)) {
        ++g_run.pos;
        TRunValue value;
        EvalArg(0, value);
      }
    }
  }
  if (settle) g_run.pos = last.end;
  return true;
}

// The value of a pure node when every step of it is plain: each variable
// holds a number and no operator fails. False otherwise; nothing has changed
// then, and the node runs the long way.
bool PlainNumber(const TNode& n, double& out) {
  switch (n.kind) {
    case TNodeKind::kNumber:
      out = n.number;
      return true;
    case TNodeKind::kVar:
      return ZetVars::ReadNumber(n.index, out);
    case TNodeKind::kArray: {
      // An operand of its own, one level deeper than the chain it is in.
      const uint8_t* element = PlainElement(n, 1);
      if (element) out = bytes::GetF64(element);
      return element != nullptr;
    }
    default:
      break;
  }
  if (!PlainNumber(g_run.tr->Kid(n, 0), out)) return false;
  for (uint32_t i = 1; i < n.count; ++i) {
    const TNode& kid = g_run.tr->Kid(n, i);
    double r;
    if (!PlainNumber(kid, r)) return false;
    switch (kid.op) {
      case tkPlus:
        out += r;
        break;
      case tkMinus:
        out -= r;
        break;
      case tkMul:
        out *= r;
        if (!std::isfinite(out)) return false;
        break;
      case tkSlash:
        if (r == 0.0) return false;
        out /= r;
        if (!std::isfinite(out)) return false;
        break;
      default: {
        const int32_t a = Common::RealToLongInt(out);
        const int32_t b = Common::RealToLongInt(r);
        if (b == 0) return false;
        const int64_t q = int64_t(a) / b;
        out = kid.op == tkMod ? double(int64_t(a) - q * b) : double(q);
      }
    }
  }
  return true;
}

// A term node, or an operand standing for its term.
uint16_t FastTerm(const TNode& n, TRunValue& result) {
  double plain;
  if (n.pure && g_run.error <= 0 && PlainNumber(n, plain)) {
    SetReal(result, plain);
    g_run.pos = n.end;
    return kValReal;
  }
  if (n.kind != TNodeKind::kTerm) {
    const uint16_t type = FastOperand(n, result);
    return g_run.pos == n.end ? type : TermRest(type, result);
  }
  const TNode* kid = &g_run.tr->Kid(n, 0);
  const uint16_t type = FastOperand(*kid, result);
  if (g_run.pos != kid->end) return TermRest(type, result);
  if (type != kValReal) return type;
  for (uint32_t i = 1; i < n.count; ++i) {
    const int earlier = g_run.error;
    if (g_run.error > 0) break;
    kid = &g_run.tr->Kid(n, i);
    ++g_run.pos;
    TRunValue right;
    const uint16_t rt = FastOperand(*kid, right);
    ApplyTermOp(kid->op, result, rt, right, earlier);
    if (g_run.pos != kid->end) return TermRest(type, result);
  }
  return type;
}

// A sum node, or a term or operand standing for its sum.
uint16_t FastSum(const TNode& n, TRunValue& result) {
  double plain;
  if (n.pure && !n.suffix && g_run.error <= 0 && PlainNumber(n, plain)) {
    SetReal(result, plain);
    g_run.pos = n.end;
    return kValReal;
  }
  if (n.kind != TNodeKind::kSum) {
    const uint16_t type = FastTerm(n, result);
    if (g_run.pos != n.end || g_run.error > 0 || n.suffix) return SumRest(type, result);
    // SumRest finds no operator here; it would only set the value again.
    if (type == kValReal) result.text.clear();
    else if (type == kValString) result.number = 0;
    return type;
  }
  const TNode* kid = &g_run.tr->Kid(n, 0);
  const uint16_t type = FastTerm(*kid, result);
  if (type != kValReal && type != kValString) return type;
  TSumAcc acc(type, result);
  bool inStep = g_run.pos == kid->end;
  for (uint32_t i = 1; inStep && i < n.count; ++i) {
    const int earlier = g_run.error;
    if (g_run.error > 0) break;
    kid = &g_run.tr->Kid(n, i);
    ++g_run.pos;
    TRunValue right;
    const uint16_t rt = FastTerm(*kid, right);
    ApplySumOp(acc, kid->op, rt, right, earlier);
    inStep = g_run.pos == kid->end;
  }
  if (!inStep) SumLoop(acc);
  return FinishSum(acc, result);
}

uint16_t SumAt(TRunValue& result, const TNode* node) {
  if (!node || g_run.pos != node->start || g_operandOnly) return EvalSum(result);
  return FastSum(*node, result);
}

uint16_t OperandAt(TRunValue& result, const TNode* node) {
  if (!node || g_run.pos != node->start) return EvalOperand(result);
  return FastOperand(*node, result);
}

bool EvalArgAt(uint16_t expected, TRunValue& value, const TNode* node) {
  TFullSums full;
  const uint16_t type = SumAt(value, node);
  if (expected != 0 && type != expected && g_run.error <= 0) {
    const bool objectAsReal = expected == kValReal && ZetVars::IsObjectType(type);
    const bool anyObject = expected == kValObject && ZetVars::IsObjectType(type);
    if (!objectAsReal && !anyObject)
      Fail(kErrTypes, std::string(ValueTypeName(type)) + "->" + ValueTypeName(expected));
  }
  if (value.type == kValMemo || value.type == kValBlob) value.type = kValReal;
  return g_run.error <= 0;
}

}  // namespace

// ---- Exported services --------------------------------------------------------

int ExecuteCode(std::string_view code, size_t& position, int mode, TRunValue& result, int& dependency) {
  dependency = 0;
  if (g_runDepth >= kMaxRunDepth) {
    Common::SetErrorArgument("");
    return kErrTooComplex;
  }
  const TRun saved = g_run;
  ++g_runDepth;
  Common::LastFieldNullable = false;
  Common::LastValueIsNull = false;
  g_run = TRun();
  g_run.code = code;
  g_run.pos = position;
  g_run.mode = mode;
  g_run.apply = mode == 3 && g_writeEnable;
  g_run.dependency = &dependency;
  result = TRunValue();
  g_run.tr = g_operandOnly ? nullptr : CachedTranslation(code, position);
  result.type = g_run.tr ? SumAt(result, &g_run.tr->nodes[g_run.tr->root]) : EvalSum(result);
  if (g_run.error > 0) ReportCompileError(uint16_t(g_run.error), code, position, false, g_run.pos);
  position = g_run.pos;
  const int error = g_run.error;
  const bool nullRead = g_run.nullRead;
  --g_runDepth;
  if (g_runDepth == 0) FreeRetiredTranslations();
  g_run = saved;
  Common::LastValueIsNull = nullRead;
  return error;
}

int SolveExpression(std::string_view code, TRunValue& result) {
  size_t pos = 0;
  int dependency = 0;
  return ExecuteCode(code, pos, 3, result, dependency);
}

// The soft stop of check runs for values that only exist while running.
void SoftStopInCheck() {
  if (g_run.mode == 0 && g_run.error == 0) g_run.error = kSoftStop;
}
void RaiseDependency(int level) {
  if (g_run.dependency && level > *g_run.dependency) *g_run.dependency = level;
}
bool ReadCodeByte(uint8_t& b) { return ReadByte(b); }
bool ReadCodeWord(uint16_t& w) { return ReadWord(w); }
bool ReadCodeText(std::string_view& t) { return ReadText(t); }
uint8_t PeekCode() { return Peek(); }
void FailRun(int error) { Fail(error); }
void FailRun(int error, std::string_view argument) { Fail(error, argument); }

bool WriteEnable() { return g_writeEnable; }
void SetWriteEnable(bool on) { g_writeEnable = on; }
void SetOperandOnly(bool on) { g_operandOnly = on; }
int RunMode() { return g_run.mode; }
bool ApplyFlag() { return g_run.apply; }
int RunError() { return g_run.error; }
void SetRunError(int error) { g_run.error = error; }
double CurrentObject() { return g_object; }

bool MatchCode(uint8_t code) {
  if (PeekIs(code)) {
    ++g_run.pos;
    return true;
  }
  return false;
}

bool ExpectCode(uint8_t code) {
  if (MatchCode(code)) return true;
  const char c = code == tkAnd ? ',' : code == tkBracket ? '[' : code == tkBracketClose ? ']' : char(code);
  Fail(kErrExpected, std::string_view(&c, 1));
  return false;
}

bool EvalArg(uint16_t expected, TRunValue& value) { return EvalArgAt(expected, value, nullptr); }

bool EvalTextOrMemoArg(TRunValue& value) {
  if (!PeekIs(tkField) && !PeekIs(tkFieldChain)) return EvalArg(kValString, value);
  TFullSums full;
  const uint16_t type = EvalSum(value);
  if (type == kValMemo || g_run.error > 0) return g_run.error <= 0;
  if (type != kValString) Fail(kErrTypes, std::string(ValueTypeName(type)) + "->" + ValueTypeName(kValString));
  return g_run.error <= 0;
}

bool EvalParenArg(uint16_t expected, TRunValue& value) { return ExpectCode(tkOpen) && EvalArg(expected, value); }

bool EvalCommaArg(uint16_t expected, TRunValue& value) { return ExpectCode(tkAnd) && EvalArg(expected, value); }

bool EvalNextArg(uint16_t expected, TRunValue& value) {
  if (g_run.error > 0 || !MatchCode(tkAnd)) return false;
  return EvalArg(expected, value);
}

bool ExpectCloseParen() { return g_run.error > 0 || ExpectCode(tkClose); }

bool EvalOptionalCharArg(int32_t& value, bool& present) {
  value = 0;
  present = false;
  TRunValue arg;
  if (!EvalNextArg(0, arg)) return g_run.error <= 0;
  present = true;
  if (arg.type == kValString)
    value = arg.text.empty() ? 0 : int32_t(uint8_t(arg.text.view()[0]));
  else
    value = ValueToInteger(arg.number);
  return true;
}

bool ReadVariableArg(uint16_t& variable) {
  variable = 0;
  if (g_run.error > 0) return false;
  if (MatchCode(tkVar) || MatchCode(tkObjectVar)) return ReadWord(variable);
  if (MatchCode(tkArrayVar)) {
    uint8_t dimensions = 0;
    return ReadWord(variable) && ReadByte(dimensions);
  }
  Fail(kErrFieldExpected);
  return false;
}

bool ReadFieldArg(uint8_t& table, uint16_t& field) {
  table = 0;
  field = 0;
  if (g_run.error > 0) return false;
  if (!MatchCode(tkField)) {
    Fail(kErrFieldExpected);
    return false;
  }
  return ReadByte(table) && ReadWord(field);
}

namespace {

// The bytes of the field in its table's record buffer (none when the buffer
// is short).
std::vector<uint8_t> FieldBytes(const TFieldRef& ref) {
  const ZetTable::TZetTable* t = ZetTable::Table(ref.table);
  if (!t || !t->ValidField(ref.field)) return {};
  const Common::FieldPlace place = t->Place(ref.field);
  const size_t size = size_t(place.sizeCode) + 1;
  if (t->recordBuffer.size() < place.offset + size) return {};
  return {t->recordBuffer.begin() + place.offset, t->recordBuffer.begin() + place.offset + size};
}

}  // namespace

bool ReadFieldRefArg(bool allowPath, TFieldRef& ref) {
  ref = TFieldRef();
  if (g_run.error > 0) return false;
  if (allowPath && MatchCode(tkFieldChain)) return ReadPathSteps(ref);
  uint8_t table = 0;
  if (!ReadFieldArg(table, ref.field)) return false;
  ref.table = table;
  return true;
}

bool FollowFieldRef(TFieldRef& ref) {
  if (!ref.path) return true;
  Zet01::ClearFieldPath();
  for (int i = 0; i <= ref.steps; ++i)
    Zet01::SetFieldPathEntry(i, ref.step[size_t(i)].table, ref.step[size_t(i)].field);
  int table = 0;
  uint16_t field = 0;
  int error = 0;
  ref.record = Zet01::FollowFieldPath(ref.steps, table, field, error);
  if (error > 0) Fail(error);
  if (table == 0) return false;
  ref.followed = true;
  if (ref.record == 0) {
    ReleaseFieldRef(ref);
    return false;
  }
  ref.readBytes = FieldBytes(ref);
  return true;
}

void ReleaseFieldRef(TFieldRef& ref) {
  if (!ref.followed) return;
  ref.followed = false;
  ZetTable::TZetTable* t = ZetTable::Table(ref.table);
  if (!t) return;
  const std::vector<uint8_t> written = FieldBytes(ref);
  Zet00::PopTablePosition(ref.table);
  // Only a field the function changed is carried over, so an edit the
  // record buffer holds of another field, or of an unchanged one, stays.
  const Common::FieldPlace place = t->Place(ref.field);
  if (ref.record != 0 && t->currentRecord == ref.record && written != ref.readBytes &&
      t->recordBuffer.size() >= place.offset + written.size())
    std::copy(written.begin(), written.end(), t->recordBuffer.begin() + place.offset);
}

bool EvalArgNamingField(uint16_t expected, TRunValue& value, int& table, uint16_t& field) {
  table = 0;
  field = 0;
  const size_t start = g_run.pos;
  if (!EvalArg(expected, value)) return false;
  const auto& named = g_run.lastField;
  if (named.table != 0 && named.start == start && named.end == g_run.pos) {
    table = named.table;
    field = named.field;
  }
  return true;
}

int32_t ValueToInteger(double value) {
  if (value > -2147483647.0 && value < 2147483647.0) {
    // A whole number, the common case (subscripts, counters), needs no
    // rounding.
    const auto whole = int32_t(value);
    return double(whole) == value ? whole : int32_t(std::nearbyint(value));
  }
  if (std::isnan(value)) return 0;
  return value > 0 ? 2147483647 : -2147483647;
}

double RoundDecimal(double value, int d) {
  if (!std::isfinite(value)) return value;
  d = std::clamp(d, 0, 10);
  const double scale = std::pow(10.0, d);
  const double scaled = value * scale;
  if (std::fabs(scaled) > 1e15) return value;
  // The shortest decimal text of the product decides halves, so 2.675
  // rounds to 2.68 like its written form.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14g", scaled);
  const double written = std::strtod(buffer, nullptr);
  return std::round(written) / scale;
}

const char* ValueTypeName(uint16_t type) { return ZetVars::TypeName(type); }

void SetGroupHandler(uint8_t group, TGroupHandler handler) {
  if (group == tkStarFunc) g_groupHandlers[20] = handler;
  else if (IsSysFuncGroup(group)) g_groupHandlers[size_t(group - tkSysFuncFirst)] = handler;
}

void SetRunHooks(const TRunHooks& hooks) {
  // A body line speaks for the procedure runner it came with: one carried
  // over to another runner is dropped.
  const bool carriedOver = hooks.procedureLine == g_hooks.procedureLine && hooks.runProcedure != g_hooks.runProcedure;
  g_hooks = kDefaultRunHooks;
  if (hooks.procedureLine && !carriedOver) g_hooks.procedureLine = hooks.procedureLine;
  if (hooks.runProcedure) g_hooks.runProcedure = hooks.runProcedure;
  if (hooks.beginMacro) g_hooks.beginMacro = hooks.beginMacro;
  if (hooks.endMacro) g_hooks.endMacro = hooks.endMacro;
  if (hooks.printLine) g_hooks.printLine = hooks.printLine;
  if (hooks.breakRequested) g_hooks.breakRequested = hooks.breakRequested;
}

const TRunHooks& RunHooks() { return g_hooks; }

void InterpreterInit() {
  g_run = TRun();
  g_operandOnly = false;
  g_writeEnable = false;
  g_runDepth = 0;
  g_operandDepth = 0;
  g_object = 0;
  g_randomSeed = 0;
  g_groupHandlers.fill(nullptr);
  g_hooks = kDefaultRunHooks;
  g_callSets.clear();
}

void InterpreterDone() { InterpreterInit(); }

}  // namespace Zet02
