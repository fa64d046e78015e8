// The data field: a form element bound to one field of the form's table, and
// the value texts every data field shares (data types, their limits, and the
// routines that turn typed text into stored numbers and back).
//
// What always holds for a TMaskField:
//   1. The four actions always exist and are owned by the field; whenever a
//      field sets an action's text it sets the action's kind to 1 (macro).
//   2. Texts (field name, condition) are kept as std::string; an empty text
//      is the stored "none" (a string of length 0 in the form file).
//   3. A field never owns its form or data source; every value operation
//      asks the form for its data source at the moment of the call and
//      answers -1 with an empty text when there is none.
//   4. Editability follows one rule (IsEditable): never while browsing or
//      with edit mode 2 and above; while appending, or with edit mode 0,
//      editable unless a condition compiles and the record fails it.
//   5. Reading a record never trusts the file: a value that no writer makes
//      (a validation kind above 4, a formula mode above 1, a list kind above
//      4, a count larger than the bytes left) marks the stream as failed, so
//      the form reader answers -2 instead of building a broken element.
//
// The record of a data field, after the base element record:
//
//   field name      string
//   static output   u8       written always; read from version 31 (else 0)
//   edit mode       u16
//   condition       string
//   actions         from version 42: four (u32 kind, string text) in the
//                   order double click, enter, third, leave;
//                   versions 19 .. 41: four strings in that order (kind 1);
//                   below 19: one string, the leave action (the other three
//                   empty, kind 1).
//
// The writer always writes the current layout. Each field class appends its
// own record after this one.
//
// Value routines answer 0, -1 (the text is no value of the type) or -2 (the
// value lies outside the bounds); the result holds the converted value even
// when it is out of bounds. Stored reals use "."; typed reals and dates may
// use "," (ReplaceDecimalComma).
#pragma once

#include <cstdint>
#include <string>

#include "engine/interface/include/zetcore.h"
#include "runtime/forms/maskelem.h"

namespace forms {

// Record codes of the data-field classes.
constexpr int16_t kCodeInput = 1, kCodePicture = 2, kCodeYesNo = 3, kCodeSelection = 4, kCodeSelectionOld = 5,
                  kCodeLink = 6, kCodeAutoNo = 8, kCodeMemo = 9, kCodeRelation = 10;

// Data types of input fields.
constexpr uint16_t dtText = 1, dtByte = 2, dtInteger = 3, dtOldReal1 = 4, dtOldReal2 = 5, dtFloat = 6, dtDate = 7,
                   dtTime = 8;

// Engine field types that the data fields meet.
constexpr uint16_t kEngineString = 1, kEngineInteger = 2, kEngineReal = 3, kEngineByte = 4, kEngineYesNo = 5,
                   kEngineDate = 6, kEngineMemo = 7, kEngineChoice = 8, kEngineAutoNo = 9, kEngineLink = 10,
                   kEnginePicture = 11, kEngineRelation = 12, kEngineTime = 13;

// Answers of Bind and CheckFieldSpec.
constexpr int32_t kFieldMissing = -6, kFieldWrongType = -2;

// Bounds of the data types without a range of their own.
constexpr double kRealLowest = -1.7e38, kRealHighest = 1.7e38;
struct TLongBounds {
  int32_t lowest, highest;
};
// The integer bounds of a type (byte, integer, date, time; others the whole
// 32-bit range).
TLongBounds GetLongBounds(uint16_t dataType);
// The engine field type a data type reports (0 for an unknown code).
uint16_t GetEngineType(uint16_t dataType);

// Every "," of text becomes ".".
void ReplaceDecimalComma(char* text);
void ReplaceDecimalComma(std::string& text);
int32_t ParseLongValue(uint16_t dataType, const char* text, int32_t lowest, int32_t highest, int32_t& result);
int32_t ParseRealValue(const char* text, double lowest, double highest, double& result);
void FormatLongValue(uint16_t dataType, int32_t value, char* buffer, int32_t length);
void FormatRealValue(double value, int32_t decimals, char* buffer, int32_t length);

// A string of the form file as a std::string (length 0: empty), and back.
std::string ReadText(TKxStream& stream);
void WriteText(TKxStream& stream, const std::string& text);
// Marks the stream as failed: what was read is no record a writer makes.
void RefuseRecord(TKxStream& stream);
// The control name of a field in a document: "%s:%d" with the record
// position, or the field name alone (at most 51 characters) when noPosition
// is set and the position is below 1.
std::string ControlName(const std::string& fieldName, int32_t position, bool noPosition);

class TMaskField : public TMaskElement {
 public:
  // Indexes of the actions (also the order in the file).
  static constexpr int32_t kDblClick = 0, kEnter = 1, kThird = 2, kLeave = 3, kActions = 4;

  TMaskField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName);
  TMaskField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TMaskField(const TMaskField& other);
  TMaskField(TKxStream& stream, int16_t version);
  ~TMaskField() override;

  TMaskElement* Clone() const override { return new TMaskField(*this); }
  TPropertySet* CreateEventSet() override;
  void Write(TKxStream& stream) const override;
  // The table set the engine's analysis of the field name gives (low, high).
  void AnalyzeExpression(int32_t info[2]) const override;
  bool IsEditable(int32_t recordMode) const override;
  void DataSourceChanged() override {}
  int32_t GetValueText(char* buffer, int32_t size) const override;
  virtual void SetFieldName(const char* name) { FieldName = name ? name : ""; }
  virtual int32_t GetPreviousValueText(char* buffer, int32_t size) const;
  // Binds the field to the source's table: 0, -6 no such field, -2 a field
  // of another type.
  virtual int32_t Bind(dataviews::TDataSource* source);
  // 0 when the engine field type fits the class, else -2.
  virtual int32_t CheckFieldSpec(const ZetFieldSpec& field) const;
  // The engine field type the class shows; 0 for any.
  virtual uint16_t GetFieldType() const { return 0; }

  void GetFieldName(char* buffer, int32_t size) const;
  const std::string& FieldNameText() const { return FieldName; }
  // Copies the condition (a null buffer copies nothing); answers the edit mode.
  uint16_t GetCondition(char* buffer, int32_t size) const;
  // Sets mode and condition and compiles it for the form's table; answers
  // the compile result (the new mode and text stay either way).
  int32_t SetCondition(uint16_t mode, const char* text);
  // 0 double click, 1 enter, 2 leave; null for other indexes.
  const char* GetActionText(int32_t index) const;
  int32_t SetActionText(int32_t index, const char* text);
  const TKxAction& GetAction(int32_t slot) const { return *Actions[slot]; }
  uint8_t GetStaticOutput() const { return StaticOutput; }
  void SetStaticOutput(uint8_t value) { StaticOutput = value; }
  uint16_t GetEditMode() const { return EditMode; }

 protected:
  // The form's data source, or null.
  dataviews::TDataSource* Source() const { return GetDataSource(); }
  // The record position of the form's data source (0 without one).
  int32_t RecordPosition() const;
  // A control placed at rect ends the element's print: the parameters'
  // right and bottom become the rectangle's, without continuation.
  static void EndControl(TPrintParams& params, const TRect& rect);

  std::string FieldName;
  uint8_t StaticOutput = 0;
  uint16_t EditMode = 0;
  std::string Condition;
  TKxAction* Actions[kActions] = {};

 private:
  void MakeEmptyActions();
  // The field's text through read of the form's data source; -1 and an
  // empty text without one.
  int32_t ReadValue(void (dataviews::TDataSource::*read)(const char*, char*, int32_t), char* buffer,
                    int32_t size) const;
  // The action of a GetActionText index, null for other indexes.
  TKxAction* ActionAt(int32_t index) const;
};

}  // namespace forms
