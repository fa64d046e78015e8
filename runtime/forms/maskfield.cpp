// The data-field base and the value routines (see maskfield.h).
#include "runtime/forms/maskfield.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/dataviews/datasrc.h"
#include "runtime/forms/mask.h"
#include "runtime/forms/maskprop.h"
#include "runtime/toolkit/kxstring.h"
#include "runtime/toolkit/kxutil.h"

namespace forms {

using kxstring::StrLCopy;

namespace {

constexpr int32_t kTokenBytes = 256;
constexpr int16_t kStaticOutputVersion = 31;
constexpr int16_t kActionRecordVersion = 42;
constexpr int16_t kFourActionsVersion = 19;
constexpr int32_t kMaxControlName = 51;

}  // namespace

// --- value routines ---

TLongBounds GetLongBounds(uint16_t dataType) {
  switch (dataType) {
    case dtByte: return {0, 255};
    case dtInteger: return {-32767, 32767};
    case dtDate: return {1, 2147483647};
    case dtTime: return {0, 86400};
    default: return {INT32_MIN, INT32_MAX};
  }
}

uint16_t GetEngineType(uint16_t dataType) {
  switch (dataType) {
    case dtText: return kEngineString;
    case dtByte: return kEngineByte;
    case dtInteger: return kEngineInteger;
    case dtOldReal1:
    case dtOldReal2:
    case dtFloat: return kEngineReal;
    case dtDate: return kEngineDate;
    case dtTime: return kEngineTime;
    default: return 0;
  }
}

void ReplaceDecimalComma(char* text) {
  for (char* p = text; p && *p; ++p)
    if (*p == ',') *p = '.';
}

void ReplaceDecimalComma(std::string& text) { std::replace(text.begin(), text.end(), ',', '.'); }

int32_t ParseLongValue(uint16_t dataType, const char* text, int32_t lowest, int32_t highest, int32_t& result) {
  bool bad;
  if (dataType == dtDate || dataType == dtTime) {
    uint16_t error = 0;
    result = dataType == dtDate ? DateStrToLongInt(text, &error) : TimeStrToLongInt(text, &error);
    bad = error != 0;
  } else {
    int position = 0;
    kxutil::StrToLong(text, &result, &position);
    bad = position != 0;
  }
  if (bad) return -1;
  return result < lowest || result > highest ? -2 : 0;
}

int32_t ParseRealValue(const char* text, double lowest, double highest, double& result) {
  int position = 0;
  kxutil::StrToDouble(text, &result, &position);
  if (position != 0) return -1;
  return result < lowest || result > highest ? -2 : 0;
}

void FormatLongValue(uint16_t dataType, int32_t value, char* buffer, int32_t length) {
  if (dataType == dtDate) {
    LongIntToDateStr(value, buffer, length);
  } else if (dataType == dtTime) {
    LongIntToTimeStr(value, buffer, length);
  } else {
    char text[16];
    std::snprintf(text, sizeof text, "%ld", long(value));
    StrLCopy(buffer, text, length);
  }
}

void FormatRealValue(double value, int32_t decimals, char* buffer, int32_t length) {
  RealToStr(value, decimals, buffer, length);
}

std::string ReadText(TKxStream& stream) {
  char* text = stream.ReadString();
  std::string result = text ? text : "";
  delete[] text;
  return result;
}

void WriteText(TKxStream& stream, const std::string& text) { stream.WriteString(text.empty() ? nullptr : text.c_str()); }

void RefuseRecord(TKxStream& stream) {
  if (stream.Status == 0) stream.Error(kxobject::kStreamReadError, 0);
}

std::string ControlName(const std::string& fieldName, int32_t position, bool noPosition) {
  if (noPosition && position < 1) return fieldName.substr(0, kMaxControlName);
  return fieldName + ":" + std::to_string(std::max(position, 0));
}

// --- TMaskField ---

TMaskField::TMaskField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName)
    : TMaskElement(owner, kind, bounds), FieldName(fieldName ? fieldName : "") {
  FrameStyle = 1;
  MakeEmptyActions();
}

TMaskField::TMaskField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TMaskField(owner, kind, bounds, field.name) {
  if (field.flags & 4) EditMode = 1;
}

TMaskField::TMaskField(const TMaskField& other)
    : TMaskElement(other),
      FieldName(other.FieldName),
      StaticOutput(other.StaticOutput),
      EditMode(other.EditMode),
      Condition(other.Condition) {
  for (int32_t i = 0; i < kActions; ++i) Actions[i] = new TKxAction(other.Actions[i]->Kind, other.Actions[i]->Text.CStr());
}

TMaskField::TMaskField(TKxStream& stream, int16_t version) : TMaskElement(stream, version) {
  FieldName = ReadText(stream);
  if (version >= kStaticOutputVersion) stream.Read(&StaticOutput, 1);
  EditMode = ReadWord(stream);
  Condition = ReadText(stream);
  if (version >= kActionRecordVersion) {
    for (TKxAction*& action : Actions) action = new TKxAction(stream, version);
    return;
  }
  MakeEmptyActions();
  if (version >= kFourActionsVersion) {
    for (TKxAction* action : Actions) action->Text.Attach(stream.ReadString());
  } else {
    Actions[kLeave]->Text.Attach(stream.ReadString());
  }
}

TMaskField::~TMaskField() {
  for (TKxAction* action : Actions) delete action;
}

void TMaskField::MakeEmptyActions() {
  for (TKxAction*& action : Actions) action = new TKxAction(TKxAction::kMacro, "");
}

void TMaskField::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  WriteText(stream, FieldName);
  stream.Write(&StaticOutput, 1);
  WriteWord(stream, EditMode);
  WriteText(stream, Condition);
  for (const TKxAction* action : Actions) action->Write(stream);
}

TPropertySet* TMaskField::CreateEventSet() {
  auto* set = new TPropertySet();
  const TMask* mask = GetMask();
  const struct {
    const char* event;
    int32_t slot;
  } events[] = {{"DblClick", kDblClick}, {"Enter", kEnter}, {"Leave", kLeave}};
  for (const auto& e : events) {
    char name[kMaxProcedureName + 1];
    MakeProcedureName(*this, e.event, name);
    set->Add(new TActionProperty(&Actions[e.slot], mask ? mask->GetModule() : nullptr, name, this));
  }
  return set;
}

void TMaskField::AnalyzeExpression(int32_t info[2]) const {
  uint16_t kind = 0;
  uint32_t low = 0, high = 0;
  if (ZetAnalizeExpression(0, FieldName.c_str(), &kind, &low, &high) != 0) low = high = 0;
  info[0] = int32_t(low);
  info[1] = int32_t(high);
}

bool TMaskField::IsEditable(int32_t recordMode) const {
  if (recordMode == dataviews::kBrowsing || EditMode >= 2) return false;
  if (recordMode != dataviews::kAppending && EditMode != 0) return false;
  if (Condition.empty()) return true;
  const int32_t table = GetTableHandle();
  uint8_t tokens[kTokenBytes] = {};
  if (ZetTokenizeSelection(table, tokens, Condition.c_str()) != 0) return true;
  return ZetEvalSelection(table, tokens) == 0;
}

int32_t TMaskField::ReadValue(void (dataviews::TDataSource::*read)(const char*, char*, int32_t), char* buffer,
                              int32_t size) const {
  if (size > 0) buffer[0] = 0;
  dataviews::TDataSource* source = Source();
  if (!source) return -1;
  (source->*read)(FieldName.c_str(), buffer, size);
  return 0;
}

int32_t TMaskField::GetValueText(char* buffer, int32_t size) const {
  return ReadValue(&dataviews::TDataSource::GetFieldText, buffer, size);
}

int32_t TMaskField::GetPreviousValueText(char* buffer, int32_t size) const {
  return ReadValue(&dataviews::TDataSource::GetPrevFieldText, buffer, size);
}

int32_t TMaskField::Bind(dataviews::TDataSource* source) {
  if (FieldName.empty() || !source) return kFieldMissing;
  const int32_t table = source->GetTableHandle();
  const int32_t number = ZetTableGetFieldNo(table, FieldName.c_str());
  ZetFieldSpec field{};
  if (number < 1 || ZetTableGetFieldSpec(table, number, &field) != 0) return kFieldMissing;
  return CheckFieldSpec(field);
}

int32_t TMaskField::CheckFieldSpec(const ZetFieldSpec& field) const {
  const uint16_t type = GetFieldType();
  return type == 0 || field.type == type ? 0 : kFieldWrongType;
}

void TMaskField::GetFieldName(char* buffer, int32_t size) const { StrLCopy(buffer, FieldName.c_str(), size); }

uint16_t TMaskField::GetCondition(char* buffer, int32_t size) const {
  if (buffer) StrLCopy(buffer, Condition.c_str(), size);
  return EditMode;
}

int32_t TMaskField::SetCondition(uint16_t mode, const char* text) {
  EditMode = mode;
  Condition = text ? text : "";
  uint8_t tokens[kTokenBytes] = {};
  return ZetTokenizeSelection(GetTableHandle(), tokens, Condition.c_str());
}

TKxAction* TMaskField::ActionAt(int32_t index) const {
  static constexpr int32_t slots[] = {kDblClick, kEnter, kLeave};
  return index < 0 || index > 2 ? nullptr : Actions[slots[index]];
}

const char* TMaskField::GetActionText(int32_t index) const {
  const TKxAction* action = ActionAt(index);
  return action ? action->Text.CStr() : nullptr;
}

int32_t TMaskField::SetActionText(int32_t index, const char* text) {
  if (TKxAction* action = ActionAt(index)) {
    action->Kind = TKxAction::kMacro;
    action->Text.Assign(text ? text : "", -1);
  }
  return 0;
}

void TMaskField::EndControl(TPrintParams& params, const TRect& rect) {
  params.Right = rect.right;
  params.Bottom = rect.bottom;
  params.ClearContinuation();
}

int32_t TMaskField::RecordPosition() const {
  dataviews::TDataSource* source = Source();
  return source ? source->GetRecNo() : 0;
}

}  // namespace forms
