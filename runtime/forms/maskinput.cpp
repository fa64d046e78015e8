// Input and choice fields (see maskinput.h).
#include "runtime/forms/maskinput.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/framework/pxvalidator.h"
#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/forms/mask.h"
#include "runtime/forms/maskelems.h"
#include "runtime/reports/sgmlctx.h"
#include "runtime/toolkit/kxstring.h"

namespace forms {

using kxstring::StrLCopy;

namespace {

constexpr int16_t kConditionMessageVersion = 16;
constexpr int16_t kPasswordVersion = 37;
constexpr int16_t kSelectionsVersion = 33;
constexpr int32_t kMaxText = 255;
constexpr int32_t kMaxListItems = 2047;
constexpr int32_t kMaxSelectionValue = 40;
constexpr uint8_t kEngineDecimals = 255;
constexpr int16_t kRadioStyle = 4;
const char* const kCrLf = "\r\n";

uint16_t DataTypeOfEngine(uint16_t type) {
  switch (type) {
    case kEngineInteger: return dtInteger;
    case kEngineReal: return dtFloat;
    case kEngineByte: return dtByte;
    case kEngineDate: return dtDate;
    case kEngineTime: return dtTime;
    default: return dtText;
  }
}

bool IsLongType(uint16_t type) { return type == dtByte || type == dtInteger || type == dtDate || type == dtTime; }

std::string Cut(const char* text, size_t length) { return std::string(text ? text : "").substr(0, length); }

TRect Offset(const TRect& r, int32_t x, int32_t y) { return TRect{r.left + x, r.top + y, r.right + x, r.bottom + y}; }

std::string Join(const std::vector<std::string>& items, const char* separator, size_t limit) {
  std::string joined;
  for (size_t i = 0; i < items.size(); ++i) joined += (i ? separator : "") + items[i];
  return joined.substr(0, limit);
}

}  // namespace

std::vector<std::string> SplitText(const std::string& text, const char* separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  const size_t step = std::strlen(separator);
  for (size_t from = 0;;) {
    const size_t at = text.find(separator, from);
    parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + step;
  }
}

// --- TFieldValidation ---

TFieldValidation TFieldValidation::FromTexts(uint16_t dataType, uint16_t kind, const char* text1, const char* text2) {
  TFieldValidation v;
  if (kind == kValidLongRange || kind == kValidRealRange) {
    if (dataType == dtFloat) kind = kValidRealRange;
    if (IsLongType(dataType)) kind = kValidLongRange;
  }
  if (kind > kValidPicture) return v;
  v.Kind = kind;
  std::string copy = Cut(text1, kMaxText);
  if (kind == kValidCondition || kind == kValidPicture) {
    v.Rule = copy;
    v.Message = text2 ? text2 : "";
    return v;
  }
  if (kind == kValidNone) return v;
  if (kind == kValidRealRange) ReplaceDecimalComma(copy);
  const size_t split = copy.find(kCrLf);
  const std::string low = copy.substr(0, split);
  const std::string high = split == std::string::npos ? std::string() : copy.substr(split + 2);
  const bool hasHigh = split != std::string::npos;
  if (kind == kValidLongRange) {
    const TLongBounds b = GetLongBounds(dataType);
    v.LongLowest = b.lowest;
    v.LongHighest = b.highest;
    ParseLongValue(dataType, low.c_str(), b.lowest, b.highest, v.LongLowest);
    if (hasHigh) ParseLongValue(dataType, high.c_str(), b.lowest, b.highest, v.LongHighest);
  } else {
    v.RealLowest = kRealLowest;
    v.RealHighest = kRealHighest;
    ParseRealValue(low.c_str(), kRealLowest, kRealHighest, v.RealLowest);
    if (hasHigh) ParseRealValue(high.c_str(), kRealLowest, kRealHighest, v.RealHighest);
  }
  return v;
}

void TFieldValidation::GetTexts(uint16_t dataType, int32_t decimals, std::string& text1, std::string& text2) const {
  char low[kMaxText + 1] = {}, high[kMaxText + 1] = {};
  text2.clear();
  switch (Kind) {
    case kValidLongRange:
      FormatLongValue(dataType, LongLowest, low, kMaxText);
      FormatLongValue(dataType, LongHighest, high, kMaxText);
      text1 = std::string(low) + kCrLf + high;
      break;
    case kValidRealRange:
      FormatRealValue(RealLowest, decimals, low, kMaxText);
      FormatRealValue(RealHighest, decimals, high, kMaxText);
      text1 = std::string(low) + kCrLf + high;
      break;
    case kValidCondition:
    case kValidPicture:
      text1 = Rule;
      text2 = Message;
      break;
    default: text1.clear();
  }
}

// --- TInputField ---

TInputField::TInputField(TMaskPage* owner, int16_t kind, uint16_t dataType, const TRect& bounds,
                         const char* fieldName)
    : TMaskField(owner, kind, bounds, fieldName), DataType(dataType), LineCount(dataType == dtFloat ? 2 : 1) {
  RecordCode = kCodeInput;
}

TInputField::TInputField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TMaskField(owner, kind, bounds, field), DataType(DataTypeOfEngine(field.type)) {
  RecordCode = kCodeInput;
  LineCount = DataType == dtFloat ? uint8_t(field.size) : 1;
  if (field.flags & 1) {
    FormulaMode = 1;
    Formula = field.formula;
  }
  if (field.flags & 2) Validation = TFieldValidation::FromTexts(DataType, kValidLongRange, field.formula, "");
}

TInputField::TInputField(const TInputField& other)
    : TMaskField(other),
      DataType(other.DataType),
      ListKind(other.ListKind),
      ListText(other.ListText),
      ListField(Cut(other.ListField.c_str(), kMaxText)),
      ListExpression(Cut(other.ListExpression.c_str(), kMaxText)),
      FormulaMode(other.FormulaMode),
      Formula(other.CurrentFormula()),
      PresetExpression(other.PresetExpression),
      Validation(other.CurrentValidation()),
      InputStyle(other.InputStyle),
      LineCount(other.LineCount),
      Password(other.Password) {
  if (ListKind == 3 || ListKind == 4) ListText = Cut(other.ListText.c_str(), kMaxText);
}

TInputField::TInputField(TKxStream& stream, int16_t version) : TMaskField(stream, version) {
  RecordCode = kCodeInput;
  DataType = ReadWord(stream);
  const uint16_t styleLines = ReadWord(stream);
  InputStyle = uint8_t(styleLines);
  LineCount = uint8_t(styleLines >> 8);
  FormulaMode = ReadWord(stream);
  if (FormulaMode > 1) {
    RefuseRecord(stream);
    return;
  }
  if (FormulaMode == 1) Formula = ReadText(stream);
  PresetExpression = ReadText(stream);
  Validation.Kind = ReadWord(stream);
  switch (Validation.Kind) {
    case kValidNone: break;
    case kValidLongRange:
      Validation.LongLowest = int32_t(ReadLong(stream));
      Validation.LongHighest = int32_t(ReadLong(stream));
      break;
    case kValidRealRange:
      stream.Read(&Validation.RealLowest, 8);
      stream.Read(&Validation.RealHighest, 8);
      break;
    case kValidCondition:
    case kValidPicture:
      Validation.Rule = ReadText(stream);
      if (Validation.Kind == kValidPicture || version >= kConditionMessageVersion) Validation.Message = ReadText(stream);
      break;
    default: RefuseRecord(stream); return;
  }
  ListKind = ReadWord(stream);
  if (ListKind > 4) {
    RefuseRecord(stream);
    return;
  }
  if (ListKind != 0) ListText = ReadText(stream);
  if (ListKind >= 3) {
    ListField = ReadText(stream);
    ListExpression = ReadText(stream);
  }
  if (version >= kPasswordVersion) stream.Read(&Password, 1);
}

char* TInputField::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, GetFieldKindName(kCodeInput), size);
}

void TInputField::Write(TKxStream& stream) const { WriteInputRecord(stream); }

void TInputField::WriteInputRecord(TKxStream& stream) const {
  TMaskField::Write(stream);
  WriteWord(stream, DataType);
  WriteWord(stream, uint16_t(InputStyle | LineCount << 8));
  WriteWord(stream, FormulaMode);
  if (FormulaMode == 1) WriteText(stream, CurrentFormula());
  WriteText(stream, CurrentPreset());
  const TFieldValidation v = CurrentValidation();
  WriteWord(stream, v.Kind);
  switch (v.Kind) {
    case kValidLongRange:
      WriteLong(stream, uint32_t(v.LongLowest));
      WriteLong(stream, uint32_t(v.LongHighest));
      break;
    case kValidRealRange:
      stream.Write(&v.RealLowest, 8);
      stream.Write(&v.RealHighest, 8);
      break;
    case kValidCondition:
    case kValidPicture:
      WriteText(stream, v.Rule);
      WriteText(stream, v.Message);
      break;
    default: break;
  }
  WriteWord(stream, ListKind);
  if (ListKind != 0) WriteText(stream, ListText);
  if (ListKind >= 3) {
    WriteText(stream, ListField);
    WriteText(stream, ListExpression);
  }
  stream.Write(&Password, 1);
}

void TInputField::AdjustBounds(TRect& bounds) {
  const TMask* mask = GetMask();
  if (!mask) return;
  bounds.bottom = bounds.top + GetLineCount() * mask->GetFontHeight(FormatIndex, true) + (FrameStyle > 0 ? 10 : 0);
}

void TInputField::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                       uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  if (!fill || (FrameStyle < 0 && !design)) return;
  TRect rect;
  GetInnerBounds(rect);
  char text[kMaxText + 1];
  GetValueText(text, kMaxText);
  if (!*text && design) std::snprintf(text, sizeof text, "<%s>", FieldName.c_str());
  for (char* p = text; *p; ++p) {
    if (style && *p == '^') *p = ' ';
    if (Password) *p = '*';
  }
  DrawValue(context, Offset(rect, x, y), text);
}

void TInputField::DrawValue(reports::TSgmlContext& context, const TRect& rect, const char* text) const {
  DrawTextLines(context, text, rect, GetLineCount(), InputStyle);
}

void TInputField::Print(reports::TSgmlContext& context, TPrintParams& params) {
  if (StaticOutput) return TMaskElement::Print(context, params);
  const TRect rect = Offset(Bounds, params.Left, params.Top);
  const std::string name = ControlName(FieldName, RecordPosition(), false);
  if (ListKind == 2 && CountListEntries() > 0) {
    const std::string items = Join(SplitText(ListText, kCrLf), ",", kMaxListItems);
    context.AddListBox(rect, name.c_str(), FormatIndex, items.c_str(), false, -1, false, true);
  } else {
    char value[kMaxText + 1];
    GetValueText(value, kMaxText);
    context.AddEdit(rect, name.c_str(), FormatIndex, value, GetMaxInputLength(), FrameStyle >= 0, Password != 0);
  }
  EndControl(params, rect);
}

bool TInputField::IsEditable(int32_t recordMode) const {
  return FormulaMode == 0 && TMaskField::IsEditable(recordMode);
}

void TInputField::AttachDataSource() {
  dataviews::TDataSource* source = Source();
  if (!source) return;
  const char* name = FieldName.c_str();
  if (!Formula.empty()) source->SetFieldFormula(name, Formula.c_str(), EditMode == 1);
  if (!PresetExpression.empty()) source->SetFieldDefault(name, PresetExpression.c_str());
  if (Validation.Kind == kValidNone) return;
  std::string text1, text2;
  Validation.GetTexts(DataType, GetDecimals(), text1, text2);
  if (Validation.Kind == kValidLongRange || Validation.Kind == kValidRealRange) ReplaceDecimalComma(text1);
  source->SetFieldValidation(name, Validation.Kind, text1.c_str(), text2.c_str());
}

int32_t TInputField::GetValueText(char* buffer, int32_t size) const {
  const TMask* mask = GetMask();
  if (DataType != dtFloat || LineCount == kEngineDecimals || !mask || !Source())
    return TMaskField::GetValueText(buffer, size);
  mask->GetFieldNumberText(FieldName.c_str(), buffer, size, LineCount);
  return 0;
}

int32_t TInputField::CheckFieldSpec(const ZetFieldSpec& field) const {
  if (DataType == dtOldReal1 || DataType == dtOldReal2) return kFieldWrongType;
  return field.type == GetFieldType() ? 0 : kFieldWrongType;
}

int32_t TInputField::CheckFormula(uint16_t mode, const char* text) const {
  return mode == 1 ? ZetCheckExpression(GetTableHandle(), text) : 0;
}

int32_t TInputField::SetFormula(uint16_t mode, const char* text) {
  if (mode > 1) return -1;
  if (dataviews::TDataSource* source = Source()) source->SetFieldFormula(FieldName.c_str(), text, EditMode == 1);
  FormulaMode = mode;
  Formula = text ? text : "";
  return 0;
}

void TInputField::SetList(const char* text, char separator, bool flag) {
  ListKind = flag ? 1 : 2;
  ListText.clear();
  for (const char* p = text; p && *p; ++p) {
    if (separator != 'A' && *p == separator)
      ListText += kCrLf;
    else
      ListText += *p;
  }
}

bool TInputField::GetList(char* buffer, char separator, int32_t size, bool& flag) const {
  if (size > 0) buffer[0] = 0;
  if (!IsFixedList()) return false;
  flag = ListKind == 1;
  const std::string text = separator == 'A' ? ListText : Join(SplitText(ListText, kCrLf), std::string(1, separator).c_str(), std::string::npos);
  StrLCopy(buffer, text.c_str(), size);
  return true;
}

bool TInputField::GetListEntry(int32_t index, char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  if (!IsFixedList()) return false;
  const std::vector<std::string> lines = SplitText(ListText, kCrLf);
  if (index < 0 || size_t(index) >= lines.size()) return false;
  StrLCopy(buffer, lines[size_t(index)].c_str(), size);
  return true;
}

int32_t TInputField::CountListEntries() const { return IsFixedList() ? int32_t(SplitText(ListText, kCrLf).size()) : 0; }

int32_t TInputField::FindListEntry(const char* text) const {
  if (!IsFixedList()) return -1;
  const std::vector<std::string> lines = SplitText(ListText, kCrLf);
  const auto it = std::find(lines.begin(), lines.end(), std::string(text ? text : ""));
  return it == lines.end() ? -1 : int32_t(it - lines.begin());
}

bool TInputField::GetLookupList(std::string& table, std::string& field, std::string& expression, bool& flag) const {
  const bool lookup = ListKind == 3 || ListKind == 4;
  table = lookup ? ListText : "";
  field = lookup ? ListField : "";
  expression = lookup ? ListExpression : "";
  flag = ListKind == 3;
  return lookup;
}

void TInputField::SetLookupList(const char* table, const char* field, const char* expression, bool flag) {
  ListKind = flag ? 3 : 4;
  ListText = table ? table : "";
  ListField = field ? field : "";
  ListExpression = expression ? expression : "";
}

int32_t TInputField::CheckInput(const char* text) const {
  if (!text || !*text) return 0;
  std::string copy = text;
  if (DataType == dtText) {
    if (Validation.Kind != kValidPicture) return 0;
    return framework::TPXPictureValidator(Validation.Rule.c_str(), dataviews::kEngineCharRule).IsValid(text)
               ? 0
               : kInputNoFit;
  }
  if (DataType == dtFloat) {
    ReplaceDecimalComma(copy);
    double low = kRealLowest, high = kRealHighest, value = 0;
    if (Validation.Kind == kValidRealRange) {
      low = Validation.RealLowest;
      high = Validation.RealHighest;
    } else if (Validation.Kind == kValidLongRange) {
      low = Validation.LongLowest;
      high = Validation.LongHighest;
    }
    return ParseRealValue(copy.c_str(), low, high, value);
  }
  if (!IsLongType(DataType)) return 0;
  if (DataType == dtDate) ReplaceDecimalComma(copy);
  TLongBounds b = GetLongBounds(DataType);
  if (Validation.Kind == kValidLongRange) b = {Validation.LongLowest, Validation.LongHighest};
  int32_t value = 0;
  return ParseLongValue(DataType, copy.c_str(), b.lowest, b.highest, value);
}

int32_t TInputField::SetValueText(const char* text) {
  const int32_t checked = CheckInput(text);
  if (checked != 0) return checked;
  dataviews::TDataSource* source = Source();
  if (!source) return -1;
  std::string copy = text ? text : "";
  if (DataType == dtFloat || DataType == dtDate) ReplaceDecimalComma(copy);
  char message[kMaxText + 1];
  return source->SetFieldText(FieldName.c_str(), copy.c_str(), message, kMaxText);
}

void TInputField::GetButtonRect(TRect& rect) const {
  if (ListKind == 0) {
    rect = TRect{};
    return;
  }
  DropButtonRect(rect);
}

void TInputField::DropButtonRect(TRect& rect) const {
  GetInnerBounds(rect);
  rect.left = rect.right - (rect.bottom - rect.top) * 3 / 4;
}

void TInputField::GetFormula(char* buffer, int32_t size) const { StrLCopy(buffer, CurrentFormula().c_str(), size); }

void TInputField::GetPresetExpression(char* buffer, int32_t size) const {
  StrLCopy(buffer, CurrentPreset().c_str(), size);
}

void TInputField::SetPresetExpression(const char* text) {
  PresetExpression = text ? text : "";
  if (dataviews::TDataSource* source = Source()) source->SetFieldDefault(FieldName.c_str(), PresetExpression.c_str());
}

dataviews::TDataSource* TInputField::SettingsSource() const {
  dataviews::TDataSource* source = Source();
  return source && source->GetFieldNo(FieldName.c_str()) > 0 ? source : nullptr;
}

std::string TInputField::CurrentFormula() const {
  dataviews::TDataSource* source = SettingsSource();
  if (!source) return Formula;
  char text[kMaxText + 1] = {};
  source->GetFieldFormula(FieldName.c_str(), text, kMaxText);
  return text;
}

std::string TInputField::CurrentPreset() const {
  dataviews::TDataSource* source = SettingsSource();
  if (!source) return PresetExpression;
  char text[kMaxText + 1] = {};
  source->GetFieldDefault(FieldName.c_str(), text, kMaxText);
  return text;
}

TFieldValidation TInputField::CurrentValidation() const {
  dataviews::TDataSource* source = SettingsSource();
  if (!source) return Validation;
  char text1[kMaxText + 1] = {}, text2[kMaxText + 1] = {};
  const int32_t kind = source->GetFieldValidation(FieldName.c_str(), text1, kMaxText, text2, kMaxText);
  return TFieldValidation::FromTexts(DataType, uint16_t(kind), text1, text2);
}

uint16_t TInputField::GetValidation(std::string& text1, std::string& text2) const {
  dataviews::TDataSource* source = SettingsSource();
  uint16_t kind = Validation.Kind;
  if (source) {
    char t1[kMaxText + 1] = {}, t2[kMaxText + 1] = {};
    kind = uint16_t(source->GetFieldValidation(FieldName.c_str(), t1, kMaxText, t2, kMaxText));
    text1 = t1;
    text2 = t2;
  } else {
    Validation.GetTexts(DataType, GetDecimals(), text1, text2);
  }
  if (DataType == dtFloat && (kind == kValidLongRange || kind == kValidRealRange))
    std::replace(text1.begin(), text1.end(), '.', ',');
  return kind;
}

int32_t TInputField::SetValidation(uint16_t kind, const char* text1, const char* text2) {
  Validation = TFieldValidation::FromTexts(DataType, kind, text1, text2);
  if (dataviews::TDataSource* source = Source()) {
    std::string copy = Cut(text1, kMaxText);
    if (Validation.Kind == kValidRealRange) ReplaceDecimalComma(copy);
    source->SetFieldValidation(FieldName.c_str(), Validation.Kind, copy.c_str(), text2 ? text2 : "");
  }
  return 0;
}

void TInputField::GetRangeTexts(char* lowest, char* highest, int32_t size) const {
  if (Validation.Kind == kValidLongRange) {
    FormatLongValue(DataType, Validation.LongLowest, lowest, size);
    FormatLongValue(DataType, Validation.LongHighest, highest, size);
  } else if (Validation.Kind == kValidRealRange) {
    FormatRealValue(Validation.RealLowest, LineCount, lowest, size);
    FormatRealValue(Validation.RealHighest, LineCount, highest, size);
  } else if (DataType == dtFloat) {
    FormatRealValue(kRealLowest, LineCount, lowest, size);
    FormatRealValue(kRealHighest, LineCount, highest, size);
  } else {
    const TLongBounds b = GetLongBounds(DataType);
    FormatLongValue(DataType, b.lowest, lowest, size);
    FormatLongValue(DataType, b.highest, highest, size);
  }
}

int32_t TInputField::GetMaxInputLength() const {
  const TMask* mask = GetMask();
  return mask ? mask->GetFieldDisplayLength(FieldName.c_str()) : 0;
}

// --- TSelectionField ---

TSelectionField::TSelectionField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TInputField(owner, kind, bounds, field), Selections(SplitText(field.extra, ",")) {
  RecordCode = kCodeSelection;
  SetList(field.extra, ',', false);
  LineCount = 1;
}

TSelectionField::TSelectionField(const TSelectionField& other) = default;

TSelectionField::TSelectionField(TKxStream& stream, int16_t version) : TInputField(stream, version) {
  RecordCode = kCodeSelection;
  if (version < kSelectionsVersion || stream.Status != 0) return;
  const uint32_t count = ReadLong(stream);
  if (stream.Status != 0 || int64_t(count) * 2 > int64_t(stream.GetSize()) - stream.GetPos()) {
    RefuseRecord(stream);
    return;
  }
  for (uint32_t i = 0; i < count && stream.Status == 0; ++i) Selections.push_back(ReadText(stream));
}

char* TSelectionField::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, GetFieldKindName(kCodeSelection), size);
}

void TSelectionField::SetKind(int16_t kind) {
  Kind = kind;
  if (kind != kRadioStyle) LineCount = 1;
}

void TSelectionField::Write(TKxStream& stream) const {
  WriteInputRecord(stream);
  WriteLong(stream, uint32_t(Selections.size()));
  for (const std::string& s : Selections) WriteText(stream, s);
}

void TSelectionField::AdjustBounds(TRect& bounds) {
  const TMask* mask = GetMask();
  if (Kind != kRadioStyle) return TInputField::AdjustBounds(bounds);
  if (!mask) return;
  const int32_t columns = std::max<int32_t>(LineCount, 1);
  const int32_t count = GetSelectionCount();
  const int32_t rows = count / columns + (count % columns ? 1 : 0);
  bounds.bottom =
      std::max(bounds.bottom, bounds.top + rows * mask->GetFontHeight(FormatIndex, true) + (FrameStyle > 0 ? 10 : 0));
}

void TSelectionField::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                           uint8_t style, bool design) {
  if (Kind == kRadioStyle) return TMaskElement::Draw(context, x, y, extent, fill, style, design);
  TInputField::Draw(context, x, y, extent, fill, style, design);
}

void TSelectionField::Print(reports::TSgmlContext& context, TPrintParams& params) {
  if (StaticOutput) return TInputField::Print(context, params);
  const TRect rect = Offset(Bounds, params.Left, params.Top);
  const std::string name = ControlName(FieldName, RecordPosition(), true);
  const std::string items = Join(SplitText(ListText, kCrLf), ",", kMaxListItems);
  if (Kind == kRadioStyle)
    context.AddRadioGroup(rect, name.c_str(), FormatIndex, items.c_str(), GetSelectionIndex());
  else
    context.AddListBox(rect, name.c_str(), FormatIndex, items.c_str(), false, GetSelectionIndex(), false, true);
  EndControl(params, rect);
}

void TSelectionField::AttachDataSource() {
  TInputField::AttachDataSource();
  dataviews::TDataSource* source = Source();
  if (!source) return;
  const int32_t number = source->GetFieldNo(FieldName.c_str());
  ZetFieldSpec field{};
  if (number < 1 || source->GetFieldSpec(number, &field) != 0) return;
  const std::vector<std::string> choices = SplitText(field.extra, ",");
  std::vector<std::string> lines = SplitText(ListText, kCrLf);
  while (lines.size() != Selections.size()) {
    std::vector<std::string>& longer = lines.size() > Selections.size() ? lines : Selections;
    longer.erase(longer.begin());
  }
  for (size_t i = Selections.size(); i-- > 0;) {
    if (std::find(choices.begin(), choices.end(), Selections[i]) != choices.end()) continue;
    Selections.erase(Selections.begin() + std::ptrdiff_t(i));
    lines.erase(lines.begin() + std::ptrdiff_t(i));
  }
  for (const std::string& choice : choices) {
    if (std::find(Selections.begin(), Selections.end(), choice) != Selections.end()) continue;
    Selections.push_back(choice);
    lines.push_back(choice);
  }
  SetList(Join(lines, ",", std::string::npos).c_str(), ',', false);
}

int32_t TSelectionField::GetValueText(char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  const int32_t index = GetSelectionIndex();
  if (index < 0) return Source() ? 0 : -1;
  GetListEntry(index, buffer, size);
  return 0;
}

int32_t TSelectionField::SetValueText(const char* text) {
  const int32_t index = FindListEntry(text);
  if (index >= 0 && index < GetSelectionCount()) return TInputField::SetValueText(Selections[size_t(index)].c_str());
  return TInputField::SetValueText(text);
}

const std::string& TSelectionField::GetSelection(int32_t index) const {
  static const std::string none;
  return index >= 0 && index < GetSelectionCount() ? Selections[size_t(index)] : none;
}

int32_t TSelectionField::GetSelectionIndex() const {
  char value[kMaxSelectionValue + 1];
  if (TMaskField::GetValueText(value, kMaxSelectionValue) < 0) return -1;
  const auto it = std::find(Selections.begin(), Selections.end(), std::string(value));
  return it == Selections.end() ? -1 : int32_t(it - Selections.begin());
}

}  // namespace forms
