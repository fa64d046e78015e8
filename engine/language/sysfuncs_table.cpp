// System functions of tables, records, marks, fields, indexes and the full
// text (group 203), and the four table-context functions (group 220).
//
// A group-203 call reads "(" and the table number T first (a REAL whose
// rounded low byte counts). With the apply flag T must name an open table,
// else the call ends with run error 58. Without it the table counts as valid
// only in run mode 3 with T in range; the few functions that deliver
// something without the apply flag (RecNo, DbName, DbDir, FileMode) deliver
// it only for a valid table. Then the function reads its own arguments;
// GenIndex and SetAuto read the closing ")" themselves, every other function
// leaves it to the common end of the handler.
//
// What holds for every function here:
//   1. Nothing outside the result changes without the apply flag: records,
//      marks, indexes, files, variables and the table's order stay.
//   2. A missing right of the table's rights byte is no error: the function
//      delivers 0 and does nothing.
//   3. Field numbers count the user fields; one that names none gives the
//      empty text and run error 83.
//   4. Navigation never raises a run error: an end or a failed step gives 0.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "engine/base/bitarray.h"
#include "engine/base/common.h"
#include "engine/language/bytecode.h"
#include "engine/language/interp.h"
#include "engine/language/sysfuncs.h"
#include "engine/language/sysfuncs_args.h"
#include "engine/language/tableservices.h"
#include "engine/language/variables.h"
#include "engine/storage/dbase/dbfutil.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"

namespace SysFuncs {
namespace {

using namespace ByteCode;
using Zet02::TRunValue;
using ZetTable::TZetTable;

// Results of the full-text query, read as unsigned 16-bit numbers.
constexpr uint16_t kFullTextResultMask = 0xFFFF;
// The letters of the rights FileMode names when they are not granted.
constexpr std::string_view kRightLetters = "NELI";

// A variable named directly after ",": its number and whether it was the
// plain variable token (which names MARKS variables).
bool VariableArg(uint16_t& variable, bool& plain) {
  if (!Zet02::ExpectCode(tkAnd)) return false;
  plain = Zet02::PeekCode() == tkVar;
  return Zet02::ReadVariableArg(variable);
}

// The real field number of user field n, or 0 with run error 83.
uint16_t UserField(int table, int32_t n) {
  const uint16_t field = n >= 1 && n <= 0xFFFF ? ZetTable::NthUserField(table, n) : 0;
  if (field == 0) Zet02::FailRun(Zet02::kErrNoFieldNumber);
  return field;
}

// The current order as IndNo reports it: -1 record order, -2 mark order,
// else the current index.
int32_t CurrentOrder(const TZetTable& t) {
  if (t.orderMode == ZetTable::kOrderRecords) return -1;
  if (t.orderMode == ZetTable::kOrderMarks) return -2;
  return t.currentIndex;
}

int32_t Navigate(int table, int code) {
  TZetTable& t = *ZetTable::Table(table);
  uint16_t end = 0;
  const uint32_t recno = code <= 3 ? Zet01::FirstOrLastRecNo(table, code == 2, end)
                                   : Zet01::NextOrPriorRecNo(table, code == 4, end);
  if (end != 0 || recno == 0) return 0;
  t.currentRecord = recno;
  if (Zet01::ReadRecord(table, recno) != 0) return 0;
  return int32_t(recno);
}

void FieldFunction(uint8_t code, int table, bool apply, TRunValue& result) {
  int32_t n = 0;
  if (!Number(n)) return;
  ShortStr text;
  int32_t option = 0;
  bool present = false;
  if (code == 43 && !Text(text)) return;
  if ((code == 17 || code == 36) && !OptNumber(option, &present)) return;
  result.type = Zet02::kValString;
  if (code == 43) result.text = text;
  if (code == 66) SetReal(result, 0);
  if (Failed() || !apply) return;
  const uint16_t field = UserField(table, n);
  if (field == 0) {
    result.text.clear();
    return;
  }
  TZetTable& t = *ZetTable::Table(table);
  t.recordBuffer.resize(t.recordLength);
  switch (code) {
    case 17: SetText(result, ZetTable::FieldName(table, field, present && option == 1)); break;
    case 36: SetText(result, ZetTable::FieldTypeText(table, field, size_t(std::max(option, 0)))); break;
    case 42: SetText(result, ZetTable::FieldText(t, field, t.recordBuffer.data())); break;
    case 43:
      if (ZetTable::SetFieldText(table, field, t.recordBuffer.data(), text.view()) != 0)
        Zet02::FailRun(Zet02::kErrTypes);
      break;
    case 66: {
      Common::FieldValue value;
      const int type = t.FieldType(field);
      const bool numeric = type == Common::kTypeInteger || type == Common::kTypeReal ||
                           type == Common::kTypeByte || type == Common::kTypeAutoNumber;
      if (!numeric) break;
      Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(field), t.version, value);
      const int decimals = type == Common::kTypeReal ? t.Shown(field) & ZetTable::kShownNibble : 0;
      ZetTable::SetFieldText(table, field, t.recordBuffer.data(),
                             Common::FormatReal(0, decimals, 0, Common::GetDecimalChar(), ' ', value.number + 1));
      break;
    }
    default: break;
  }
}

void IndexFunction(uint8_t code, int table, bool apply, TRunValue& result) {
  int32_t slot = 0;
  int32_t flags = 0;
  if (!Number(slot) || !OptNumber(flags)) return;
  if (code != 41) SetText(result, "");
  if (!apply) return;
  TZetTable& t = *ZetTable::Table(table);
  if (slot < Zet00::FirstIndexSlot(t) || slot > t.highestIndexSlot || !t.indexes[size_t(slot)]) return;
  if (code == 27) {
    SetText(result, t.indexes[size_t(slot)]->fileName.view());
  } else if (code == 28) {
    SetText(result, Zet00::GetIndexDesc(table, slot, (flags & 1) == 0, (flags & 2) != 0));
  } else if (const int e = Zet00::RebuildIndex(table, slot, Zet02::EngineProgress())) {
    Zet02::FailRun(e);
  }
}

// ScanRecs (59) and ScanRec (64).
void FullTextBuild(uint8_t code, int table, bool apply, TRunValue& result) {
  int32_t words = 0;
  int32_t relation = 0;
  if (!Number(words) || !Number(relation) || !Zet02::ExpectCode(tkAnd)) return;
  if (Zet02::PeekCode() != tkFields) {
    Zet02::FailRun(Zet02::kErrTypes);
    return;
  }
  TRunValue list;
  if (!Zet02::EvalArg(Zet02::kValString, list)) return;
  FullText::TIndexRequest request;
  request.source = table;
  request.fieldList = list.text;
  int32_t maxHits = 0;
  int32_t options = 0;
  int32_t memory = 0;
  int32_t weight = 0;
  if (!OptText(request.extraChars) || !OptNumber(maxHits) || !OptText(request.stopWordFile) ||
      !OptNumber(options) || !OptNumber(memory) || !OptNumber(weight) || !OptText(request.exclusionList))
    return;
  if (!apply || Failed()) return;
  words &= 0xFF;
  relation &= 0xFF;
  if (!Zet02::TableNumberInRange(words) || !Zet02::TableNumberInRange(relation) ||
      !ZetTable::Table(relation)->isRelationTable) {
    Zet02::FailRun(Zet02::kErrTableExpected);
    return;
  }
  request.wordTable = words;
  request.relationTable = relation;
  request.maxHits = maxHits <= 0 ? 2147483647 : maxHits;
  request.options = uint16_t(options);
  request.memoryLimit = memory;
  request.weightField = uint16_t(weight);
  if (code == 59) {
    SetReal(result, FullText::BuildIndex(request, Zet02::EngineProgress()));
  } else {
    FullText::AddRecord(request);
    SetReal(result, 0);
  }
}

// MarkTable (60) and its bit-array form (65).
void FullTextQuery(uint8_t code, int table, bool apply, TRunValue& result) {
  int32_t words = 0;
  ShortStr query;
  ShortStr extra;
  ShortStr operators;
  int32_t weight = 0;
  if (!Number(words) || !Text(query) || !OptText(extra) || !OptText(operators) || !OptNumber(weight)) return;
  uint16_t variable = 0;
  if (code == 65) {
    if (!Zet02::ExpectCode(tkAnd)) return;
    if (Zet02::PeekCode() != tkArrayVar) {
      Zet02::FailRun(Zet02::kErrFieldExpected);
      return;
    }
    if (!Zet02::ReadVariableArg(variable)) return;
  }
  FullText::TRelationSlots relations{};
  for (auto& r : relations) {
    int32_t n = 0;
    bool present = false;
    if (!OptNumber(n, &present)) return;
    if (!present) break;
    r = uint16_t(n);
  }
  if (!apply || Failed()) return;
  words &= 0xFF;
  // A word table that is not open would be read from an empty slot.
  if (!Zet02::TableNumberInRange(words)) {
    Zet02::FailRun(Zet02::kErrTableExpected);
    return;
  }
  const int32_t filter = int16_t(uint16_t(weight));
  if (code == 60) {
    const int16_t answer = FullText::MarkRecords(table, words, query, extra, operators, relations, filter);
    SetReal(result, uint16_t(answer) & kFullTextResultMask);
    return;
  }
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(variable);
  std::vector<uint8_t>* data = ZetVars::GetArrayData(variable);
  if (!info.valid || info.type != ZetVars::kTypeBits || !data) {
    SetReal(result, Zet02::kNotBitArray);
    return;
  }
  Bitarray::TBitArray bits{int32_t(data->size()), data->data()};
  SetReal(result, FullText::CountRecords(table, words, query, extra, operators, relations, filter, bits));
}

// The mark and record transfers with a variable (49 to 54).
void VariableFunction(uint8_t code, int table, bool apply, TRunValue& result) {
  uint16_t variable = 0;
  bool plain = false;
  if (!VariableArg(variable, plain)) return;
  const bool marksVariable = ZetVars::GetVarInfo(variable).type == ZetVars::kTypeMarks;
  // PutMarks and GetMarks take a MARKS variable only by its plain token and
  // leave a plain variable of another kind alone.
  if ((code == 49 || code == 50) && plain && !marksVariable) return;
  if ((code == 49 || code == 50) && !plain && marksVariable) {
    SetReal(result, Zet02::kErrVariableKind);
    return;
  }
  int answer = 0;
  switch (code) {
    case 49: answer = Zet02::VariableToMarks(apply, table, variable); break;
    case 50: answer = Zet02::MarksToVariable(apply, table, variable); break;
    case 51:
    case 52: {
      const int32_t n = Zet02::RecordToVariable(apply, table, variable, code == 51, answer);
      if (answer == 0) answer = n;
      break;
    }
    case 53: answer = Zet02::KeepMarksInArray(apply, table, variable); break;
    case 54: answer = Zet02::InvertMarksWithArray(apply, table, variable); break;
    default: break;
  }
  SetReal(result, answer);
}

void TableAdministration(uint8_t code, int table, bool apply, TRunValue& result) {
  switch (code) {
    case 55: {  // NewTable
      ShortStr name;
      int32_t counter = 1;
      int32_t version = 0;
      if (!Text(name) || !OptNumber(counter) || !OptNumber(version)) return;
      if (apply)
        SetReal(result, int16_t(Zet02::CreateTableCopy(table, name, uint32_t(counter), uint16_t(version))));
      return;
    }
    case 56: {  // SetRecord
      int32_t target = 0;
      if (!Number(target) || !apply) return;
      if (!Zet02::TableNumberInRange(target) || target == table) {
        Zet02::FailRun(Zet02::kErrTableExpected);
        return;
      }
      if (const int e = EngineHooks::CopyRecordToTable(table, target)) Zet02::FailRun(e);
      return;
    }
    case 61: {  // ConvBlob
      int32_t size = 0;
      if (!Number(size) || !apply) return;
      if (const int e = Zet02::ReblockTableBlobs(table, size)) Zet02::FailRun(e);
      return;
    }
    case 62: {  // SetFilter
      ShortStr low;
      ShortStr high;
      if (!Text(low) || !OptText(high) || !apply) return;
      Zet02::SetKeyFilter(table, low.view(), high.view());
      return;
    }
    case 63: {  // DatToDbf
      ShortStr dbf;
      int32_t fields = 0;
      int32_t unused = 0;
      if (!Text(dbf) || !OptNumber(fields) || !OptNumber(unused) || !apply) return;
      const TZetTable& t = *ZetTable::Table(table);
      ShortStr path = t.directory;
      path.append(t.fileName.view());
      if (const int e = DbfUtil::TableToDbf(path, dbf, Zet02::EngineProgress(), uint16_t(fields)))
        Zet02::FailRun(e);
      return;
    }
    default: return;
  }
}

void TableHandler(uint8_t /*group*/, uint8_t code, TRunValue& result) {
  TRunValue arg;
  if (!Zet02::EvalParenArg(Zet02::kValReal, arg)) return;
  const int table = int(uint32_t(Zet02::ValueToInteger(arg.number)) & 0xFF);
  const bool apply = Zet02::ApplyFlag();
  const bool inRange = Zet02::TableNumberInRange(table);
  if (apply && !inRange) {
    Zet02::FailRun(Zet02::kErrTableExpected);
    return;
  }
  const bool valid = apply || (Zet02::RunMode() == 3 && inRange);
  TZetTable* t = inRange ? ZetTable::Table(table) : nullptr;
  bool closed = false;
  switch (code) {
    case 2: case 3: case 4: case 5:
      if (apply) SetReal(result, Navigate(table, code));
      break;
    case 6: {  // FindRec
      ShortStr key;
      ShortStr index;
      int32_t exact = 0;
      if (!Text(key) || !OptText(index) || !OptNumber(exact) || !apply) break;
      int error = 0;
      const uint32_t recno = Zet02::FindByKey(table, key, index, exact != 0, error);
      if (error) Zet02::FailRun(error);
      SetReal(result, recno);
      break;
    }
    case 7: case 8: case 9: {  // ReadRec, WriteRec, DelRec
      int32_t recno = 0;
      int32_t flag = 0;
      if (!Number(recno) || !OptNumber(flag) || !apply) break;
      int error = 0;
      SetReal(result, Zet02::RecordByNumber(code, table, uint32_t(std::max(recno, 0)), flag, error));
      if (error) Zet02::FailRun(error);
      break;
    }
    case 10:
      if (apply) SetReal(result, std::max(t->recordCount, 0));
      break;
    case 11: case 12: case 13: {  // IsMark, SetMark, DelMark
      int32_t recno = 0;
      if (!Number(recno)) break;
      SetReal(result, recno);
      if (!apply || recno <= 0) break;
      if (code == 11) SetReal(result, ZetTable::IsMarked(table, uint32_t(recno)) ? 1 : 0);
      if (code == 12 && !ZetTable::IsMarked(table, uint32_t(recno)))
        if (const int e = ZetTable::AddMark(table, uint32_t(recno))) Zet02::FailRun(e);
      if (code == 13) ZetTable::RemoveMark(table, uint32_t(recno));
      break;
    }
    case 14:  // DelMarks
      if (apply) {
        ZetTable::ClearMarks(table);
        SetReal(result, 1);
      }
      break;
    case 15: {  // NMarks
      int32_t cursor = 0;
      if (!OptNumber(cursor) || !apply) break;
      SetReal(result, cursor == 0 ? double(ZetTable::MarkList(*t).Count()) : double(EngineHooks::CursorMarkCount(table)));
      break;
    }
    case 16: case 48:  // DbName, DbDir
      SetText(result, valid && t ? (code == 16 ? t->fileName.view() : t->directory.view()) : "");
      break;
    case 17: case 36: case 42: case 43: case 66:
      FieldFunction(code, table, apply, result);
      break;
    case 21:  // PrimFile
      if (apply) {
        LINKFILE::SelectPrimaryTable(table);
        SetReal(result, ZetTable::CurrentHandle());
      }
      break;
    case 22: {  // Access
      ShortStr name;
      if (!Text(name) || !apply) break;
      Zet00::SetOrderByName(table, name);
      SetReal(result, CurrentOrder(*t));
      break;
    }
    case 23:  // RegenAll
      if (apply && (t->openModeWord & ZetTable::kRightIndex))
        Zet00::RefreshIndexes(table, Zet02::EngineProgress());
      break;
    case 25: {  // RecNo
      int32_t cursor = 0;
      if (!inRange) break;
      if (!OptNumber(cursor)) break;
      SetReal(result, cursor == 0 ? double(t->currentRecord) : apply ? double(EngineHooks::CursorRecNo(table)) : 0.0);
      break;
    }
    case 27: case 28: case 41:
      IndexFunction(code, table, apply, result);
      break;
    case 29: {  // GenIndex
      ShortStr description;
      ShortStr name;
      int32_t id = 0;
      if (!Text(description) || !Text(name) || !OptNumber(id)) break;
      closed = true;
      if (!Zet02::ExpectCloseParen() || Failed()) break;
      const int slot = MakeIV::CreateUserIndex(apply, table, description, name, id > 0, Zet02::EngineProgress());
      SetReal(result, uint16_t(std::max(slot, 0)));
      break;
    }
    case 31:  // IndNo
      if (apply) SetReal(result, CurrentOrder(*t));
      break;
    case 33:  // EditOn
      if (apply) SetReal(result, (int(EngineHooks::TableEditState(0, table)) ^ 1) & 0x7F);
      break;
    case 35: {  // SortMark
      ShortStr key;
      if (!Text(key) || !apply) break;
      const int e = EngineHooks::SortMarksByKey(table, key, ZetTable::MarkList(*t));
      if (e) Zet02::FailRun(e);
      SetReal(result, e == 0 ? 1 : 0);
      break;
    }
    case 37: {  // LabelNo
      ShortStr name;
      if (!Text(name) || !apply) break;
      const uint16_t field = ZetTable::FieldNoFromText(table, name);
      SetReal(result, field ? ZetTable::UserFieldIndex(table, field) : 0);
      break;
    }
    case 38:  // MaxLabel
      if (apply) SetReal(result, t->userFieldCount);
      break;
    case 39: case 40: {  // Lock, Unlock: nothing is locked
      int32_t a = 0;
      if (!OptNumber(a) || !OptNumber(a)) break;
      SetReal(result, 1);
      break;
    }
    case 45: {  // SetAuto
      int32_t n = 0;
      if (!Number(n)) break;
      closed = true;
      if (!Zet02::ExpectCloseParen() || Failed()) break;
      SetReal(result, Zet02::AutoNumberCounter(apply, table, n));
      break;
    }
    case 46: {  // FileMode
      std::string letters;
      if (valid && t)
        for (size_t bit = 0; bit < kRightLetters.size(); ++bit)
          if ((t->openModeWord & (1u << bit)) == 0) letters += kRightLetters[bit];
      SetText(result, letters);
      break;
    }
    case 47:  // ClearDat
      if (apply) SetReal(result, int16_t(Zet02::EmptyTable(table)));
      break;
    case 49: case 50: case 51: case 52: case 53: case 54:
      VariableFunction(code, table, apply, result);
      break;
    case 55: case 56: case 61: case 62: case 63:
      TableAdministration(code, table, apply, result);
      break;
    case 59: case 64:
      FullTextBuild(code, table, apply, result);
      break;
    case 60: case 65:
      FullTextQuery(code, table, apply, result);
      break;
    case 68:  // FirstMark
      if (apply) SetReal(result, MarkLists::MarkListFirst(ZetTable::MarkList(*t)));
      break;
    case 69: {  // NextMark
      int32_t recno = 0;
      if (!Number(recno) || !apply) break;
      SetReal(result, MarkLists::MarkListNext(ZetTable::MarkList(*t), uint32_t(std::max(recno, 0))));
      break;
    }
    case 70:
      SetText(result, valid && t ? t->tableCode.view() : "");
      break;
    case 71:
      if (valid && t) SetReal(result, t->tableKey);
      break;
    case 18: case 19: case 20: case 24: case 26: case 30: case 32: case 34: case 44: case 57: case 58: case 67:
      break;  // no effect
    default:
      Zet02::FailRun(Zet02::kErrNotAvailable);
      return;
  }
  if (!closed) Zet02::ExpectCloseParen();
}

// Group 220: the saved marks of the context table's cursor.
void ContextHandler(uint8_t /*group*/, uint8_t code, TRunValue& result) {
  const bool apply = Zet02::ApplyFlag();
  const int32_t context = ZetTable::CurrentHandle();
  switch (code) {
    case 59:
    case 68: {
      uint16_t variable = 0;
      if (!Zet02::ExpectCode(tkOpen) || !Zet02::ReadVariableArg(variable) || !Zet02::ExpectCloseParen()) return;
      const ZetVars::TVarInfo info = ZetVars::GetVarInfo(variable);
      std::vector<uint8_t>* data = ZetVars::GetArrayData(variable);
      if (!info.valid || info.type != ZetVars::kTypeReal || !data) {
        SetReal(result, -int(Zet02::kErrVariableKind));
        return;
      }
      if (!apply) return;
      double* elements = reinterpret_cast<double*>(data->data());
      const int32_t count = int32_t(data->size() / sizeof(double));
      SetReal(result, code == 59 ? EngineHooks::GetCursorMarksIntoArray(context, elements, count)
                                 : EngineHooks::SetCursorMarksFromArray(context, elements, count));
      return;
    }
    case 61:
      if (apply) SetReal(result, EngineHooks::ContextCount(context));
      return;
    case 62: {
      int32_t n = 0;
      if (Zet02::MatchCode(tkOpen)) {
        TRunValue v;
        if (!Zet02::EvalArg(Zet02::kValReal, v) || !Zet02::ExpectCloseParen()) return;
        n = Zet02::ValueToInteger(v.number);
      }
      if (apply) SetReal(result, (EngineHooks::ContextValue(context, uint32_t(std::max(n, 0))) ? 1 : 0) & 0x7F);
      return;
    }
    default:
      Zet02::FailRun(Zet02::kErrNotAvailable);
      return;
  }
}

}  // namespace

void RegisterTableFunctions() {
  Zet02::TableServicesInit();
  Zet02::SetGroupHandler(203, TableHandler);
  Zet02::SetGroupHandler(ByteCode::tkStarFunc, ContextHandler);
}

}  // namespace SysFuncs
