#include "engine/language/formulas.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/language/bytecode.h"
#include "engine/language/interp.h"
#include "engine/language/listing.h"
#include "engine/language/variables.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"

namespace Formeln {

using namespace ByteCode;

namespace {

bool g_globalOverride = false;
uint64_t g_inPass = 0;  // tables whose formula pass runs

// Makes a table current for a scope.
class TCurrentTable {
 public:
  explicit TCurrentTable(int slot) : saved_(ZetTable::CurrentHandle()) { ZetTable::SetCurrentHandle(slot); }
  ~TCurrentTable() { ZetTable::SetCurrentHandle(saved_); }
  TCurrentTable(const TCurrentTable&) = delete;
  TCurrentTable& operator=(const TCurrentTable&) = delete;

 private:
  int saved_;
};

bool Compile(std::string_view text, ShortStr& code) {
  code = ShortStr(text);
  uint64_t set = 0;
  return Zet02::CompileExpression(code, set) == 0;
}

// Whether a value of a run fits a field, and the mode SetFieldValue takes
// it in.
bool Fits(const ZetTable::TZetTable& t, uint16_t field, const Zet02::TRunValue& v, int& mode) {
  return Zet02::FieldTakesValue(t.FieldType(field), v.type, mode);
}

int Store(int slot, uint16_t field, const Zet02::TRunValue& v, int mode) {
  return Zet02::StoreFieldValue(slot, field, v, mode);
}

int KeyExpressionValue(int handle, std::string_view expression, Zet00::TKeyValue& value) {
  Zet02::TRunValue result;
  const int e = EvaluateFormulaText(handle, expression, result, true);
  value.isText = result.type == Zet02::kValString;
  value.number = result.type == Zet02::kValString ? 0 : result.number;
  value.text = result.text;
  return e;
}

int CheckKeyExpression(int handle, std::string_view expression, uint8_t& resultType) {
  Zet02::TRunValue result;
  const int e = EvaluateFormulaText(handle, expression, result, false);
  resultType = result.type == Zet02::kValString ? Common::kTypeString : Common::kTypeReal;
  return e;
}

bool FindKeyVariable(std::string_view name, uint16_t& number, uint8_t& type) {
  const uint16_t index = ZetVars::FindVariable(name);
  if (index == 0 || index > ZetVars::kMaxProgramVars) return false;
  number = index;
  type = Zet02::GetVariableType(index) == Zet02::kValString ? Common::kTypeString : Common::kTypeReal;
  return true;
}

int FormulaPass(int slot) { return ApplyFormulas(slot, false); }

void TableListError(uint16_t error, size_t position) { ZetVars::SetCompilerError(error, position, "", true); }

bool InCurrentKey(int slot, uint16_t field) {
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t || t->orderMode != ZetTable::kOrderIndex || t->currentRecord == 0) return false;
  const ZetTable::TIndexDescriptor* d = Zet00::IndexDescriptor(slot, t->currentIndex);
  if (!d) return false;
  for (size_t i = 0, n = Zet00::PartCount(d->header.data()); i < n; ++i) {
    const Zet00::TKeyPart p = Zet00::KeyPart(d->header.data(), i);
    if (!p.IsExpression() && !p.IsVariable() && p.Number() == field) return true;
  }
  return false;
}

// The shared core of the assignment lists.
int Assign(std::string_view list, bool checkOnly, bool testTargets, int target) {
  size_t pos = 0;
  while (pos < list.size()) {
    const uint8_t b = uint8_t(list[pos]);
    int slot = 0;
    uint16_t field = 0;
    bool linked = false;
    uint32_t linkedRecord = 0;
    CodeReader r(list, pos + 1);
    if (b == tkField) {
      uint8_t s = 0;
      if (!r.byte(s) || !r.word(field) || s != target) return kErrTarget;
      slot = s;
    } else if (b == tkFieldChain) {
      uint8_t n = 0;
      if (!r.byte(n) || n >= Zet02::kMaxPathSteps) return kErrTarget;
      Zet01::ClearFieldPath();
      for (int i = 0; i <= n; ++i) {
        uint8_t s = 0;
        uint16_t f = 0;
        if (!r.byte(s) || !r.word(f)) return kErrTarget;
        Zet01::SetFieldPathEntry(i, s, f);
      }
      if (!Zet01::FieldPathValid(n)) return kErrTarget;
      int error = 0;
      linkedRecord = Zet01::FollowFieldPath(n, slot, field, error);
      if (slot != 0) Zet00::PopTablePosition(slot);
      if (slot == 0 || (!checkOnly && linkedRecord == 0)) return kErrTarget;
      linked = true;
    } else {
      return kErrTarget;
    }
    pos = r.position();
    if (pos >= list.size() || uint8_t(list[pos]) != tkAssign) return kErrAssignMissing;
    ++pos;
    Zet02::TRunValue value;
    int dependency = 0;
    const int e = Zet02::ExecuteCode(list, pos, 3, value, dependency);
    if (e > 0) return e;
    ZetTable::TZetTable* t = ZetTable::Table(slot);
    if (!t || !t->ValidField(field)) return kErrTarget;
    if (!t->Writable()) return kErrNoTable;
    int mode = 0;
    if (!Fits(*t, field, value, mode)) return kErrTypes;
    if (testTargets && (t->TypeByte(field) & ZetTable::kTypeHasFormula)) return kErrTypes;
    if (!checkOnly) {
      if (!linked && InCurrentKey(slot, field)) return kErrNotAllowed;
      if (linked) {
        Zet00::PushTablePosition(slot);
        int err = Zet00::ReadRecordHook(slot, linkedRecord, t->recordBuffer.data());
        if (err == 0) {
          const std::vector<uint8_t> old = t->recordBuffer;
          t->currentRecord = linkedRecord;
          err = Store(slot, field, value, mode);
          bool keysChanged = false;
          if (err == 0) err = Zet01::UpdateRecord(slot, old.data(), keysChanged, 0, true, true);
        }
        Zet00::PopTablePosition(slot);
        if (err > 0) return err;
      } else if (const int err = Store(slot, field, value, mode)) {
        return err;
      }
    }
    if (pos >= list.size()) break;
    if (uint8_t(list[pos]) != tkAnd) {
      Common::SetErrorArgument(",");
      return kErrSeparator;
    }
    ++pos;
  }
  return 0;
}

int TargetOf(std::string_view list) {
  if (list.size() >= 2 && uint8_t(list[0]) == tkField) return uint8_t(list[1]);
  if (!list.empty() && uint8_t(list[0]) == tkFieldChain) return ZetTable::CurrentHandle();
  return 0;
}

}  // namespace

int ApplyFormulas(int slot, bool skipFlagged) {
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t || t->formulas.empty()) return 0;
  if (slot < 1 || slot > 64 || Common::BitIn64(g_inPass, slot - 1)) return 0;
  Common::Include64(g_inPass, slot - 1);
  TCurrentTable current(slot);
  int result = 0;
  std::vector<uint8_t> copy = t->recordBuffer;
  for (ZetTable::TFormula& f : t->formulas) {
    if (!Compile(f.text, f.work)) {
      f.work.clear();
      Common::SetError(kErrSyntax, t->fileName.view());
      result = kErrSyntax;
      break;
    }
  }
  for (int round = 0; result == 0 && round < std::max<int>(1, t->fieldCount); ++round) {
    for (const ZetTable::TFormula& f : t->formulas) {
      if (!t->ValidField(f.field)) continue;
      if (skipFlagged && (t->TypeByte(f.field) & ZetTable::kTypeSkipFormulaPass)) continue;
      Zet02::TRunValue value;
      const int e = Zet02::SolveExpression(f.work, value);
      if (e > 0 && e != Zet02::kErrRealOverflow) {
        result = e;
        break;
      }
      if (e == Zet02::kErrRealOverflow) {
        value.number = 0;
        value.text.clear();
      }
      int mode = 0;
      if (!Fits(*t, f.field, value, mode)) {
        Common::SetError(kErrTypes, f.text.view());
        result = kErrTypes;
        break;
      }
      if (const int se = Store(slot, f.field, value, mode)) {
        result = se;
        break;
      }
    }
    if (result != 0) break;
    bool changed = false;
    for (const ZetTable::TFormula& f : t->formulas) {
      if (!t->ValidField(f.field)) continue;
      if (ZetTable::FieldText(*t, f.field, t->recordBuffer.data()).view() !=
          ZetTable::FieldText(*t, f.field, copy.data()).view()) {
        changed = true;
        break;
      }
    }
    if (!changed) break;
    copy = t->recordBuffer;
  }
  Common::Exclude64(g_inPass, slot - 1);
  return result;
}

int EvaluateFormulaText(int slot, std::string_view text, Zet02::TRunValue& result, bool evaluate) {
  result = Zet02::TRunValue();
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t) return kErrNoTable;
  TCurrentTable current(slot);
  ShortStr code;
  code = ShortStr(text);
  uint64_t set = 0;
  if (const uint16_t e = Zet02::CompileExpression(code, set)) return e;
  size_t pos = 0;
  int dependency = 0;
  const uint8_t order = t->orderMode;
  if (evaluate) t->orderMode = ZetTable::kOrderRecords;
  const int e = Zet02::ExecuteCode(code, pos, evaluate ? 3 : 0, result, dependency);
  t->orderMode = order;
  if (e > 0 && e != Zet02::kErrRealOverflow) return e;
  return 0;
}

int ApplyAssignments(std::string_view list, bool checkOnly, uint64_t allowedSet) {
  const int target = TargetOf(list);
  if (target == 0) return 0;
  if (!checkOnly && !g_globalOverride && !Common::BitIn64(allowedSet, target - 1)) return kErrNotAllowed;
  ZetTable::TZetTable* t = ZetTable::Table(target);
  if (!t) return kErrNoTable;
  const std::vector<uint8_t> old = t->recordBuffer;
  const int e = Assign(list, checkOnly, true, target);
  if (e != 0 || checkOnly) return e;
  bool keysChanged = false;
  return Zet01::UpdateRecord(target, old.data(), keysChanged, 0, true, true);
}

int AppendAssignedRecord(std::string_view list, bool checkOnly) {
  const int target = TargetOf(list);
  ZetTable::TZetTable* t = ZetTable::Table(target);
  if (target == 0 || !t) return kErrNoTable;
  ZetTable::SetCurrentHandle(target);
  ZetTable::ClearRecordBuffer(target);
  if (!checkOnly) {
    if (const int e = Zet01::AssignAutoNumber(target)) return e;
  }
  if (const int e = Assign(list, checkOnly, false, target)) return e;
  if (const int e = ApplyFormulas(target, false)) return e;
  if (checkOnly) return 0;
  return Zet01::AppendRecord(target, true, 0);
}

void SetGlobalOverride(bool on) { g_globalOverride = on; }

ShortStr BrowserColumnText(std::string_view column, size_t size) {
  ShortStr text;
  if (column.empty()) return text;
  uint16_t error = 0;
  auto width = [&](size_t& p) { return int(Zet02::ReadSmallConst(column, p, error)); };
  auto fieldText = [&](int slot, uint16_t field, int decimals) {
    ZetTable::TZetTable* t = ZetTable::Table(slot);
    if (slot < 1 || slot > ZetTable::OpenCount() || !t || field < 1 || field > t->fieldCount) return ShortStr();
    const uint8_t ft = t->FieldType(field);
    if (ft == Common::kTypeLink) {
      Common::FieldValue v;
      int cls = 0;
      Zet01::GetFieldValue(3, slot, field, cls, v);
      ShortStr id;
      const int linkedTable = field < t->bindings.size() ? t->bindings[field].linkedTable : 0;
      EngineHooks::LinkIdText(linkedTable, int32_t(v.number), id);
      return id;
    }
    if (ft == Common::kTypeReal && decimals > 0) {
      Common::FieldValue v;
      int cls = 0;
      Zet01::GetFieldValue(3, slot, field, cls, v);
      return Common::FormatReal(0, decimals - 1, 0, Common::GetDecimalChar(), ' ', v.number);
    }
    return ZetTable::FieldText(*t, field, t->recordBuffer.data());
  };
  const uint8_t b = uint8_t(column[0]);
  if (b == tkOpen) {
    size_t pos = 1;
    Zet02::TRunValue v;
    int dependency = 0;
    Zet02::ExecuteCode(column, pos, 3, v, dependency);
    if (pos < column.size() && uint8_t(column[pos]) == tkClose) ++pos;
    const int w = width(pos);
    const int d = width(pos);
    if (v.type == Zet02::kValString) text = v.text;
    else text = Common::FormatReal(w, std::max(0, d - 1), 0, Common::GetDecimalChar(), ' ', v.number);
  } else if (b == tkField && column.size() >= 4) {
    size_t pos = 4;
    const int slot = uint8_t(column[1]);
    const uint16_t field = bytes::GetU16(reinterpret_cast<const uint8_t*>(column.data()) + 2);
    width(pos);
    const int d = width(pos);
    text = fieldText(slot, field, d);
  } else if (b == tkFieldChain && column.size() >= 2) {
    const uint8_t n = uint8_t(column[1]);
    if (n < Zet02::kMaxPathSteps && column.size() >= 2 + size_t(n + 1) * 3) {
      Zet01::ClearFieldPath();
      for (int i = 0; i <= n; ++i) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(column.data()) + 2 + i * 3;
        Zet01::SetFieldPathEntry(i, p[0], bytes::GetU16(p + 1));
      }
      int slot = 0;
      uint16_t field = 0;
      int e = 0;
      if (Zet01::FieldPathValid(n)) Zet01::FollowFieldPath(n, slot, field, e);
      if (slot != 0) {
        text = fieldText(slot, field, 0);
        Zet00::PopTablePosition(slot);
      }
    }
  }
  if (text.size() > size) text.truncate(size);
  return text;
}

void InstallStorageHooks() {
  g_globalOverride = false;
  g_inPass = 0;
  Zet01::FormulaHook = FormulaPass;
  Zet00::ExpressionValueHook = KeyExpressionValue;
  MakeIV::CheckExpressionHook = CheckKeyExpression;
  MakeIV::FindVariableHook = FindKeyVariable;
  LINKFILE::CompileErrorHook = TableListError;
}

void RemoveStorageHooks() {
  Zet01::FormulaHook = nullptr;
  Zet00::ExpressionValueHook = nullptr;
  MakeIV::FindVariableHook = nullptr;
  LINKFILE::CompileErrorHook = nullptr;
}

}  // namespace Formeln
