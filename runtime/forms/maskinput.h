// The input field (a typed value: text, numbers, dates and times) and the
// choice field (an engine choice field: stored values beside display texts).
//
// What always holds for a TInputField:
//   1. Formula, preset expression and validation live in two places: the
//      field's own copy and, once the form has a data source, the source's
//      text field. Readers (GetFormula, GetPresetExpression, GetValidation)
//      ask the source when its table has the field; Write writes what they
//      answer, so a form written after the source changed a setting stores
//      the change, and a field the table lacks keeps its own settings.
//   2. A field with a formula is never editable.
//   3. The validation is one value (TFieldValidation): a kind and, by kind,
//      an integer range, a real range, or a rule and its message. A range
//      handed around as text is "lowest" CR LF "highest"; a dtFloat range
//      is stored with "." and shown with ",".
//   4. LineCount means text lines (dtText), decimals (dtFloat; 255 the
//      engine's own), columns (choice fields) or lines (relation fields).
//
// The record of an input field, after the data-field record:
//
//   data type        u16
//   style, lines     u16: input style in the low byte, line count in the high
//   formula mode     u16 (0 or 1)
//   formula          string, only with formula mode 1
//   preset           string
//   validation kind  u16 (0 .. 4)
//   values           1: two i32; 2: two f64; 3, 4: rule and message strings
//                    (a kind-3 message only from version 16); 0: nothing
//   list kind        u16 (0 .. 4)
//   list texts       1, 2: one string; 3, 4: three strings; 0: nothing
//   password         u8: written always, read from version 37 (else 0)
//
// A choice field appends a u32 count and that many strings (its stored
// values), read from version 33.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/forms/maskfield.h"

namespace forms {

// Validation kinds.
constexpr uint16_t kValidNone = 0, kValidLongRange = 1, kValidRealRange = 2, kValidCondition = 3,
                   kValidPicture = 4;

// Answers of CheckInput.
constexpr int32_t kInputNoValue = -1, kInputOutOfRange = -2, kInputNoFit = -5;

// The parts of text between separators (none for an empty text).
std::vector<std::string> SplitText(const std::string& text, const char* separator);

struct TFieldValidation {
  uint16_t Kind = kValidNone;
  int32_t LongLowest = 0, LongHighest = 0;
  double RealLowest = 0, RealHighest = 0;
  std::string Rule, Message;

  // The validation of a kind and its two texts for a data type: ranges
  // follow the data type (dtFloat real, the others integer) and are parsed
  // from "lowest" CR LF "highest" ("," allowed in reals); a range text
  // without a line break is the lowest value alone, the highest staying the
  // type's bound. Parse errors leave the values as converted.
  static TFieldValidation FromTexts(uint16_t dataType, uint16_t kind, const char* text1, const char* text2);
  // The two texts of the validation ("lowest" CR LF "highest" for ranges,
  // reals with decimals places).
  void GetTexts(uint16_t dataType, int32_t decimals, std::string& text1, std::string& text2) const;
};

class TInputField : public TMaskField {
 public:
  TInputField(TMaskPage* owner, int16_t kind, uint16_t dataType, const TRect& bounds, const char* fieldName);
  TInputField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TInputField(const TInputField& other);
  TInputField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TInputField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  bool IsComputed() const override { return FormulaMode != 0; }
  void Write(TKxStream& stream) const override;
  // With a form: top + lines x line height (+ 10 with a frame).
  void AdjustBounds(TRect& bounds) override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  // Document output: the value as text with static output, else an input
  // or list control named by field and record.
  void Print(reports::TSgmlContext& context, TPrintParams& params) override;
  uint16_t GetFieldType() const override { return GetEngineType(DataType); }
  bool IsEditable(int32_t recordMode) const override;
  // Hands formula, preset and validation to the form's data source.
  void AttachDataSource() override;
  int32_t GetValueText(char* buffer, int32_t size) const override;
  int32_t CheckFieldSpec(const ZetFieldSpec& field) const override;
  virtual int32_t GetLineCount() const { return DataType == dtText ? LineCount : 1; }
  virtual void SetLineCount(int32_t count) { LineCount = uint8_t(count); }
  virtual int32_t CheckFormula(uint16_t mode, const char* text) const;
  virtual int32_t SetFormula(uint16_t mode, const char* text);
  // Separator 'A': text already holds CR LF lines; any other separator
  // character becomes CR LF. The flag chooses list kind 1, else 2.
  virtual void SetList(const char* text, char separator, bool flag);
  // Fixed lists only: the entries joined by the separator ('A': as stored).
  virtual bool GetList(char* buffer, char separator, int32_t size, bool& flag) const;
  virtual bool GetListEntry(int32_t index, char* buffer, int32_t size) const;
  // 0 accepted, -1 no value of the type, -2 out of range, -5 the picture
  // does not fit; an empty text is always accepted.
  virtual int32_t CheckInput(const char* text) const;
  // CheckInput, then the data source's store and its answer.
  virtual int32_t SetValueText(const char* text);
  // No list: an empty rectangle; else the drop button at the right.
  virtual void GetButtonRect(TRect& rect) const;

  uint16_t GetDataType() const { return DataType; }
  uint8_t GetInputStyle() const { return InputStyle; }
  void SetInputStyle(uint8_t style) { InputStyle = style; }
  uint8_t GetPassword() const { return Password; }
  void SetPassword(uint8_t password) { Password = password; }
  int32_t GetDecimals() const { return DataType == dtFloat ? LineCount : 0; }
  uint16_t GetListKind() const { return ListKind; }
  int32_t CountListEntries() const;
  int32_t FindListEntry(const char* text) const;
  bool GetLookupList(std::string& table, std::string& field, std::string& expression, bool& flag) const;
  void SetLookupList(const char* table, const char* field, const char* expression, bool flag);
  uint16_t GetFormulaMode() const { return FormulaMode; }
  void GetFormula(char* buffer, int32_t size) const;
  void GetPresetExpression(char* buffer, int32_t size) const;
  void SetPresetExpression(const char* text);
  // The kind and the two texts (the data source's when the form has one).
  uint16_t GetValidation(std::string& text1, std::string& text2) const;
  int32_t SetValidation(uint16_t kind, const char* text1, const char* text2);
  const TFieldValidation& OwnValidation() const { return Validation; }
  void GetRangeTexts(char* lowest, char* highest, int32_t size) const;
  // The longest text the engine field takes (0 without form, -1 unknown).
  int32_t GetMaxInputLength() const;

 protected:
  // The form's data source when its table has the field (the keeper of
  // formula, preset and validation), else null.
  dataviews::TDataSource* SettingsSource() const;
  // The validation as the field reports it (the data source's when there
  // is one), parsed.
  TFieldValidation CurrentValidation() const;
  std::string CurrentFormula() const;
  std::string CurrentPreset() const;
  // Writes the input-field record with the current settings.
  void WriteInputRecord(TKxStream& stream) const;
  // The drop button: the client rectangle's right end, three quarters of
  // its height wide.
  void DropButtonRect(TRect& rect) const;
  // Draws text into the client rectangle (one line, or wrapped lines).
  void DrawValue(reports::TSgmlContext& context, const TRect& rect, const char* text) const;
  // List kinds 1 and 2: entries of their own as CR LF lines.
  bool IsFixedList() const { return ListKind == 1 || ListKind == 2; }

  uint16_t DataType = dtText;
  uint16_t ListKind = 0;
  std::string ListText, ListField, ListExpression;
  uint16_t FormulaMode = 0;
  std::string Formula;
  std::string PresetExpression;
  TFieldValidation Validation;
  uint8_t InputStyle = 0;
  uint8_t LineCount = 1;
  uint8_t Password = 0;
};

class TSelectionField : public TInputField {
 public:
  TSelectionField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TSelectionField(const TSelectionField& other);
  TSelectionField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TSelectionField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void SetKind(int16_t kind) override;
  void Write(TKxStream& stream) const override;
  void AdjustBounds(TRect& bounds) override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  void Print(reports::TSgmlContext& context, TPrintParams& params) override;
  uint16_t GetFieldType() const override { return kEngineChoice; }
  // Brings stored values and display lines in step with the engine's list.
  void AttachDataSource() override;
  int32_t GetValueText(char* buffer, int32_t size) const override;
  int32_t SetValueText(const char* text) override;

  int32_t GetSelectionCount() const { return int32_t(Selections.size()); }
  // Columns of the radio style (0 counts as 1).
  int32_t GetColumns() const { return LineCount; }
  const std::string& GetSelection(int32_t index) const;
  int32_t GetSelectionIndex() const;

 private:
  std::vector<std::string> Selections;
};

}  // namespace forms
