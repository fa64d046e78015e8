// The macro language offered to hosts: checking and compiling expressions,
// conditions and index descriptions, evaluating compiled code for a cursor's
// record, running macro statements; the host's variables, report page
// numbers and statistic functions; host commands and dispatch procedures;
// and the conversions of dates, times and reals that hosts need for the
// same texts.
//
// Compiled code crosses the interface as a length-prefixed byte string of
// at most 255 bytes (a buffer of 256 bytes). A compile failure answers its
// 1-based position (positive), a failed run minus the engine error: hosts
// tell them apart by the sign.
//
// What always holds:
//   1. Every compiling export clears both compile-error records first; a
//      text longer than 255 characters is refused as error 60 at 256, never
//      cut into another expression.
//   2. An export that takes a cursor works with the cursor's table current
//      and puts the former current table back; tables that a run opened are
//      closed again, and a cursor bound for a run gets its table's marks and
//      position back.
//   3. Host code buffers are only read: a run works on a copy.
//   4. Evaluations and macro runs may write (the write-enable switch is on
//      for the call and restored after); trial runs of a check may not.
#include <algorithm>
#include <cmath>
#include <cctype>
#include <exception>
#include <random>
#include <optional>
#include <string>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/datum.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/language/hostcmds.h"
#include "engine/language/interp.h"
#include "engine/language/listing.h"
#include "engine/language/programerror.h"
#include "engine/language/selection.h"
#include "engine/language/variables.h"
#include "engine/language/nametables.h"
#include "engine/storage/dbase/dbfutil.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_open.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr uint16_t kErrTooLong = 60;
constexpr uint16_t kErrExpected = 56;
constexpr uint16_t kRunOk = 65535;
constexpr uint16_t kPageNumberVariable = 5;

// The cursor's table (when the cursor is valid) is current for the life of
// the object, and tables opened meanwhile are closed again at its end.
class TTableContext {
 public:
  explicit TTableContext(const TCursor* c) : open_(ZetTable::OpenCount()), current_(c ? c->relation : 0) {}
  ~TTableContext() {
    if (ZetTable::OpenCount() > open_) ZetRltnClose(open_ + 1);
  }
  TTableContext(const TTableContext&) = delete;
  TTableContext& operator=(const TTableContext&) = delete;

 private:
  int open_;
  TCurrentTable current_;
};

// Write enable on for the life of the object.
class TWriteEnable {
 public:
  TWriteEnable() : saved_(Zet02::WriteEnable()) { Zet02::SetWriteEnable(true); }
  ~TWriteEnable() { Zet02::SetWriteEnable(saved_); }
  TWriteEnable(const TWriteEnable&) = delete;
  TWriteEnable& operator=(const TWriteEnable&) = delete;

 private:
  bool saved_;
};

// The cursor's position put into its table for a run: the cursor's access
// marks stand in for the table's marks, and both come back at the end.
class TBoundCursor {
 public:
  TBoundCursor(TCursor& c, TZetTable& t) : c_(c), t_(t) {
    MarkLists::MarkListCopy(t.marks, marks_);
    MarkLists::MarkListCopy(c.accessMarks, t.marks);
    Zet00::PushTablePosition(c.relation);
    LoadCursorIntoTable(c, t);
  }
  ~TBoundCursor() {
    if (ZetTable::Table(c_.relation) != &t_) return;  // closed by the run
    Zet00::PopTablePosition(c_.relation);
    MarkLists::MarkListCopy(marks_, t_.marks);
  }
  TBoundCursor(const TBoundCursor&) = delete;
  TBoundCursor& operator=(const TBoundCursor&) = delete;

 private:
  TCursor& c_;
  TZetTable& t_;
  MarkLists::TMarkList marks_;
};

// Code from a host buffer (length byte first); empty for none.
ShortStr CodeIn(const uint8_t* code) {
  if (!code) return {};
  return ShortStr(std::string_view(reinterpret_cast<const char*>(code + 1), code[0]));
}

void CodeOut(uint8_t* buffer, const ShortStr& code) {
  if (!buffer) return;
  buffer[0] = uint8_t(code.size());
  std::copy_n(code.data(), code.size(), buffer + 1);
}

// Runs code in mode 3 from its start: expressions separated by ";", the
// value of the last one counts. Answers the run error (0 for success).
int RunExpressions(const ShortStr& code, Zet02::TRunValue& value) {
  const std::string_view all = code.view();
  size_t position = 0;
  int dependency = 0;
  for (;;) {
    const int e = Zet02::ExecuteCode(all, position, 3, value, dependency);
    if (e > 0 && e != kRunOk) return e;
    if (position >= all.size()) return 0;
    if (all[position] != ';') {
      Common::SetError(kErrExpected, ";");
      return kErrExpected;
    }
    ++position;
  }
}

// The text of a run's value: a real with the given decimals.
ShortStr ValueText(const Zet02::TRunValue& value, int decimals, char decimalChar) {
  if (value.type == Zet02::kValReal)
    return Common::FormatReal(0, std::clamp(decimals, 0, 11), 0, decimalChar, ' ', value.number);
  if (value.type == Zet02::kValString) return value.text;
  return {};
}

// Runs host code for a cursor handle (0: the active cursor; without one the
// code runs without a table), with write enable: 0 and the value, the
// handle's error, or minus the run error. bind puts the cursor's position
// into its table for the run; without it the table is only made current.
int32_t RunForCursor(int32_t handle, const uint8_t* code, bool bind, Zet02::TRunValue& value) {
  if (handle == 0) handle = ActiveCursor();
  TResolved r;
  if (handle != 0) {
    r = Resolve(handle);
    if (r.error) return r.error;
  }
  TTableContext context(r.cursor);
  TWriteEnable write;
  std::optional<TBoundCursor> bound;
  if (r.cursor && bind) bound.emplace(*r.cursor, *r.table);
  return -RunExpressions(CodeIn(code), value);
}

}  // namespace

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

// ---- Expressions and selections -----------------------------------------

static int32_t CheckExpressionWork(int32_t cursor, const char* text) {
  TTableContext context(Cursor(cursor));
  ClearCompileErrors();
  ShortStr code;
  uint64_t tables = 0;
  if (const int32_t position = CompileText(TextIn(text, ShortStr::kMax + 1), code, tables); position != 0) return position;
  Zet02::TRunValue value;
  const int e = Zet02::SolveExpression(code.view(), value);
  return e == 0 || e == kRunOk || e < 0 ? 0 : -e;
}

int32_t ZetCheckExpression(int32_t cursor, const char* text) {
  return ZETEng::Guarded([&] { return CheckExpressionWork(cursor, text); });
}

int32_t ZetAnalizeExpression(int32_t cursor, const char* text, uint16_t* kind, uint32_t* tablesLow,
                             uint32_t* tablesHigh) try {
  if (kind) *kind = 3;
  if (tablesLow) *tablesLow = 0;
  if (tablesHigh) *tablesHigh = 0;
  TTableContext context(Cursor(cursor));
  ClearCompileErrors();
  std::string trimmed(TextIn(text, ShortStr::kMax + 1));
  trimmed.erase(0, trimmed.find_first_not_of(' '));
  trimmed.erase(trimmed.find_last_not_of(' ') + 1);
  ShortStr code;
  uint64_t tables = 0;
  int32_t position = 1;
  // A bare name is tried as a field first.
  const bool name = !trimmed.empty() && std::all_of(trimmed.begin(), trimmed.end(), [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || uint8_t(ch) >= 0xC0;
  });
  if (name && trimmed.size() < ShortStr::kMax) {
    position = CompileText("$" + trimmed, code, tables);
    if (position != 0) ClearCompileErrors();
  }
  if (position != 0) position = CompileText(trimmed, code, tables);
  if (position != 0) return position;
  if (tablesLow) *tablesLow = uint32_t(tables);
  if (tablesHigh) *tablesHigh = uint32_t(tables >> 32);
  if (!kind) return 0;
  if (code.size() == 4 && code.byte(0) == ByteCode::tkField) *kind = 1;
  else if (code.size() >= 2 && code.byte(0) == 254 && code.size() == 3 * (size_t(code.byte(1)) + 1) + 2) *kind = 2;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTokenize(int32_t cursor, uint8_t* code, const char* text) try {
  TTableContext context(Cursor(cursor));
  ClearCompileErrors();
  ShortStr compiled;
  uint64_t tables = 0;
  const int32_t position = CompileText(TextIn(text, ShortStr::kMax + 1), compiled, tables);
  CodeOut(code, position == 0 ? compiled : ShortStr());
  return position;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTokenizeSelection(int32_t cursor, uint8_t* code, const char* text) try {
  const int32_t position = ZetTokenize(cursor, code, text);
  if (position != 0 || !code) return position;
  TTableContext context(Cursor(cursor));
  ShortStr check = CodeIn(code);
  const int e = Zet02::CheckSelection(check, 3);
  return e > 0 ? -e : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

static int32_t SolveWork(int32_t cursor, char* result, const uint8_t* code, int32_t capacity, int32_t decimals) {
  Zet02::TRunValue value;
  const int32_t e = RunForCursor(cursor, code, true, value);
  if (e == 0) TextOut(result, capacity, ValueText(value, decimals, Common::GetDecimalChar()));
  return e;
}

int32_t ZetSolve(int32_t cursor, char* result, const uint8_t* code, int32_t capacity, int32_t decimals) {
  return ZETEng::Guarded([&] { return SolveWork(cursor, result, code, capacity, decimals); });
}

static int32_t ExecMacroWork(int32_t cursor, char* result, const uint8_t* code, int32_t capacity, int32_t decimals) {
  TextOut(result, capacity, "");
  Zet02::TRunValue value;
  const int32_t e = RunForCursor(cursor, code, false, value);
  if (e == 0) TextOut(result, capacity, ValueText(value, decimals, ','));
  return e;
}

int32_t ZetExecMacro(int32_t cursor, char* result, const uint8_t* code, int32_t capacity, int32_t decimals) {
  return ZETEng::Guarded([&] { return ExecMacroWork(cursor, result, code, capacity, decimals); });
}

static int32_t EvalSelectionWork(int32_t cursor, const uint8_t* code) {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TTableContext context(r.cursor);
  TWriteEnable write;
  ShortStr selection = CodeIn(code);
  int error = 0;
  int dependency = 0;
  bool selected = false;
  {
    TBoundCursor bound(*r.cursor, *r.table);
    selected = Zet02::EvalSelection(selection, 3, error, dependency);
  }
  if (error > 0) return -error;
  return selected ? 0 : std::max(dependency, 1);
}

int32_t ZetEvalSelection(int32_t cursor, const uint8_t* code) {
  return ZETEng::Guarded([&] { return EvalSelectionWork(cursor, code); });
}

int32_t ZetCheckIndexDescription(int32_t relation, const char* text) try {
  if (!ValidRelation(relation)) return kBadRelation;
  ClearCompileErrors();
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> description{};
  const std::string_view t = TextIn(text, ShortStr::kMax + 1);
  if (t.size() > ShortStr::kMax) {
    Common::SetError(kErrTooLong, "");
    return -kErrTooLong;
  }
  const int e = MakeIV::CompileIndexDescription(relation, t, description.data(), true);
  if (e == 0) return 0;
  const uint16_t position = ZetVars::ErrorPosition();
  return position > 0 ? position : -e;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetCheckStaticLink(const char* definition) try {
  return -int32_t(LINKFILE::AddLinkDefinition(TextIn(definition), true));
} catch (...) {
  return ZETEng::RaisedNow();
}

constexpr uint16_t kErrIllegalCharacter = 45;  // "Illegales Zeichen"
constexpr uint16_t kErrFormatSyntax = 8;

namespace {

// The 1-based position in the text of the token whose code starts at the
// code position: the compiler keeps no map from code to text, so this is the
// length of the shortest front part of the text whose code reaches past
// that position (its last character starts the token). Past the text: the
// code position + 1.
size_t TextPositionOfCode(std::string_view text, size_t codePosition) {
  for (size_t length = 1; length <= text.size(); ++length) {
    if (text[length - 1] == ' ') continue;
    ShortStr code;
    uint64_t tables = 0;
    if (CompileText(text.substr(0, length), code, tables) == 0 && code.size() > codePosition) return length;
  }
  return codePosition + 1;
}

}  // namespace

// A format text holds only values (fields, variables, texts, bracketed
// expressions, each run once), each with an optional ":" format suffix.
int32_t ZetCheckFormat(const char* format) try {
  ClearCompileErrors();
  ShortStr compiled;
  uint64_t tables = 0;
  if (CompileText(TextIn(format, ShortStr::kMax + 1), compiled, tables) != 0) {
    const int32_t e = Common::LastError();
    return e < 0 ? e : -kErrFormatSyntax;
  }
  const std::string_view code = compiled.view();
  size_t position = 0;
  while (position < code.size()) {
    const size_t start = position;
    const uint8_t token = uint8_t(code[position]);
    switch (token) {
      case ByteCode::tkField: position += 4; break;
      case ByteCode::tkVar: position += 3; break;
      case ByteCode::tkFieldChain:
        position += position + 1 < code.size() ? 2 + (size_t(uint8_t(code[position + 1])) + 1) * 3 : code.size();
        break;
      case ByteCode::tkStringConst:
        position += position + 1 < code.size() ? size_t(uint8_t(code[position + 1])) + 2 : code.size();
        break;
      case ByteCode::tkOpen: {
        Zet02::TRunValue value;
        int dependency = 0;
        const int e = Zet02::ExecuteCode(code, position, 3, value, dependency);
        if (e > 0 && e != kRunOk && e != Zet02::kErrRealOverflow) return -e;
        if (position <= start) position = start + 1;
        break;
      }
      default: {
        const std::string_view text = TextIn(format, ShortStr::kMax + 1);
        const size_t at = TextPositionOfCode(text, start);
        ClearCompileErrors();
        Common::SetError(kErrIllegalCharacter, "");
        ZetVars::RecordCompileError(kErrIllegalCharacter, text, at);
        return -kErrIllegalCharacter;
      }
    }
    if (position > code.size()) break;
    uint16_t error = 0;
    Zet02::ParseFormatSuffix(position, code, error);
    if (error != 0) return -error;
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Conversions -----------------------------------------------------------

int32_t ZetConvertToDBase(const char* tableFile, const char* dbfFile, ZetProgressProc progress) try {
  return -DbfUtil::TableToDbf(TextIn(tableFile), TextIn(dbfFile), progress, 0);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetConvertFromDBase(const char* dbfFile, const char* tableFile, int32_t option) try {
  return -DbfUtil::DbfToTable(TextIn(dbfFile), TextIn(tableFile), nullptr, uint8_t(option & 0xFF));
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t DateStrToLongInt(const char* text, uint16_t* errorFlag) try {
  int32_t packed = 0;
  const int bad = DATUM::StrToPackedDate(TextIn(text, 10), packed);
  if (errorFlag) *errorFlag = bad ? 1 : 0;
  return bad ? 0 : packed;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t LongIntToDateStr(int32_t packed, char* buffer, int32_t capacity) try {
  TextOut(buffer, capacity, capacity < 10 ? ShortStr() : DATUM::PackedDateToStr(packed));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t TimeStrToLongInt(const char* text, uint16_t* errorFlag) try {
  int32_t minutes = 0;
  const int bad = DATUM::StrToMinutes(TextIn(text, 5), minutes);
  if (errorFlag) *errorFlag = bad ? 1 : 0;
  return bad ? 0 : minutes;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t LongIntToTimeStr(int32_t minutes, char* buffer, int32_t capacity) try {
  TextOut(buffer, capacity, capacity < 10 ? ShortStr() : DATUM::MinutesToStr(minutes));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetDate(char* buffer, int32_t capacity) try {
  TextOut(buffer, capacity, DATUM::PackedDateToStr(DATUM::TodayPacked()));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetTime(char* buffer, int32_t capacity) try {
  TextOut(buffer, capacity, DATUM::MinutesToStr(int32_t(std::lround(DATUM::NowMinutes())) % 1440));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t RealToStr(double value, int32_t decimals, char* buffer, int32_t capacity) try {
  TextOut(buffer, capacity, Common::FormatReal(0, std::clamp(decimals, 0, 11), 0, Common::GetDecimalChar(), ' ', value));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Variables and report functions --------------------------------------

int32_t ZetStartVarSection(void) try {
  ZetVars::PushVarScope();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}
int32_t ZetEndVarSection(void) try {
  ZetVars::PopVarScope();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}
int32_t ZetStartReport(void) { return ZetStartVarSection(); }
int32_t ZetEndReport(void) { return ZetEndVarSection(); }

int32_t ZetDefineNewVar(const char* name, uint8_t type) try {
  ClearCompileErrors();
  std::string declaration(TextIn(name, ZetTable::kMaxFieldName));
  declaration += ':';
  if (type == 'R') declaration += "NUMBER";
  else if (type == 'S') declaration += "STRING";
  size_t position = 1;
  uint16_t error = 0;
  ZetVars::ParseVarDeclaration(0, declaration, position, error, false);
  return -int32_t(error);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetVar(const char* name, const char* expression) try {
  const uint16_t index = ZetVars::FindVariable(TextIn(name, ZetTable::kMaxFieldName));
  if (index == 0) return -1;
  ClearCompileErrors();
  ShortStr code;
  uint64_t tables = 0;
  if (CompileText(TextIn(expression, ShortStr::kMax + 1), code, tables) != 0) {
    const int32_t word = Common::LastError();
    return word < 0 ? word : -kErrTooLong;
  }
  TWriteEnable write;
  Zet02::TRunValue value;
  if (const int e = RunExpressions(code, value); e != 0) return -e;
  ZetVars::TVarValue v;
  v.number = value.number;
  v.text = value.text.view();
  return -int32_t(ZetVars::SetVariable(index, value.type, v, 0));
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetVarsSetPageNo(int32_t page) try {
  ZetVars::SetSystemVarInt(kPageNumberVariable, uint16_t(page));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetVarsIncPageNo(void) try {
  ZetVars::SetSystemVarInt(kPageNumberVariable, uint16_t(ZetVars::GetSystemVarInt(kPageNumberVariable) + 1));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetVarsResetStatFuncs(int32_t group) try {
  Zet02::ResetStatFuncs(uint16_t(group), false, ~uint64_t(0));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetVarsUpdateStatFuncs(void) try {
  // An accumulator counts for the tables of its set; the two calls reach
  // those over the first table and those over the others, each once.
  Zet02::UpdateStatFuncs(~uint64_t(0));
  Zet02::UpdateStatFuncs(~uint64_t(1));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Host commands -----------------------------------------------------------

int32_t InitCommands(void) try {
  LumoHost::ClearCommandTree();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ExitCommands(void) try {
  LumoHost::DoneCommandTree();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRegisterCommands(int32_t count, const ZetCommandRecord* records) try {
  if (count <= 0 || !records) return LumoHost::kHostCommandKind;
  return LumoHost::RegisterCommands(count, records);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetExecProc(ZetExecCommandProc proc) try {
  LumoHost::SetExecProc(proc);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetInstallDispatch(ZetLookupProc lookup, ZetDescribeProc describe, ZetDispatchProc run3, ZetDispatchProc run4,
                           ZetDispatchProc run5) try {
  LumoHost::InstallDispatchProcs(lookup, describe, run3, run4, run5);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Function lists ---------------------------------------------------------

int32_t ZetGetFunctionCount(int32_t group) try {
  return group < 0 || group > 255 ? 0 : Zet02::CountKeywordsInGroup(uint8_t(group));
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetFunctionName(int32_t group, int32_t index, char* buffer, int32_t capacity, uint32_t* code) try {
  ShortStr name;
  uint8_t language = 0;
  uint8_t g = 0, c = 0;
  if (group < 0 || group > 255 || !Zet02::GetKeywordInGroup(uint8_t(group), index, name, language)) name.clear();
  if (code) *code = !name.empty() && Zet02::LookupKeyword(name.view(), g, c) ? c : 0;
  TextOut(buffer, capacity, name);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetFunctionDescription(const char* name, uint32_t* paramCount, char* help, int32_t helpCapacity,
                                  char* signature, int32_t signatureCapacity, uint32_t* flag) try {
  uint8_t group = 0, code = 0;
  const int index = Zet02::LookupKeyword(TextIn(name), group, code) ? Zet02::FindFunctionDesc(group, code) : -1;
  if (index < 0) return -203;
  if (paramCount) *paramCount = uint32_t(Zet02::GetFunctionParamCount(index));
  if (flag) *flag = uint32_t(Zet02::GetFunctionDescFlag(index));
  TextOut(help, helpCapacity, Zet02::GetFunctionHelpText(index));
  TextOut(signature, signatureCapacity, Zet02::GetFunctionSignature(index));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Network parameters: only the defaults ------------------------------------

int32_t ZetSetNetParams(const ZetNetParams*) { return 0; }

int32_t ZetGetDefaultNetParams(ZetNetParams* params) try {
  if (!params) return 0;
  *params = ZetNetParams{};
  TextOut(params->lockingMode, sizeof params->lockingMode - 1, "AUTO");
  TextOut(params->networkDirectory, sizeof params->networkDirectory - 1, "C:\\QMK");
  TextOut(params->userName, sizeof params->userName - 1, "Undefined");
  static std::mt19937 generator{std::random_device{}()};
  params->station = uint32_t(generator());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetNetMonitorInfo(int32_t, uint16_t* first, uint16_t* second, uint16_t* third, char* buffer,
                             int32_t capacity) try {
  for (uint16_t* counter : {first, second, third})
    if (counter) *counter = 0;
  TextOut(buffer, capacity, "");
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
