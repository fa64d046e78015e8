// Memo, picture, yes/no and auto-number fields: the remaining data fields.
//
// What always holds:
//   1. Memo and picture fields with style 2 show as a button in colour 8;
//      any other style is transparent. A picture is drawn only with style 6.
//   2. A memo field's formatted text and a picture field's loaded picture
//      belong to the field and are dropped whenever the form's data source
//      changes; copies start without them. The form controls fill them.
//   3. A memo printed as running text (static output) goes on where it
//      stopped: the print parameters carry the first line that did not fit
//      as their continuation, and a page always takes at least one line, so
//      a memo taller than the area still ends.
//   4. A yes/no field with style 5 is a choice of the lines "Nein" and "Ja";
//      an empty stored value shows empty (not "Ja"), a value beginning with
//      "N" shows "Nein", anything else "Ja".
//   5. An auto-number field is never editable, whatever its stored mode.
//   6. DisplayFlag is only stored, copied and written.
//
// Records after the data-field (memo, picture) or input-field (yes/no,
// auto-number) record:
//   memo         caption (string); display flag (u8, read from version 27,
//                else 1)
//   picture      caption (string); picture mode (u16); display flag (u8,
//                read from version 27, else 1)
//   yes/no       caption (string)
//   auto-number  nothing
//
// The blob of a picture field begins with a kind word: an even word is
// followed by picture data of type word / 2, an odd one by the name of a
// linked file (a string) relative to the table's directory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/dataviews/datasrc.h"
#include "runtime/forms/maskinput.h"

namespace forms {

// Styles (element kinds) the fields read.
constexpr int16_t kStyleButton = 2, kStyleChoice = 5, kStylePicture = 6;

// What memo and picture fields share: a caption (the field name for a new
// field), the display flag, the colour their style gives (a button in
// colour 8 with style 2, else transparent) and the type name of their
// record code. The record: the data-field record, then the caption.
class TCaptionedField : public TMaskField {
 public:
  char* GetTypeName(char* buffer, int32_t size) const override;
  int32_t GetText(char* buffer, int32_t size) const override;
  void SetText(const char* text) override { Caption = text ? text : ""; }
  void Write(TKxStream& stream) const override;
  uint8_t GetDisplayFlag() const { return DisplayFlag; }

 protected:
  TCaptionedField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName, int16_t code);
  TCaptionedField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field, int16_t code);
  TCaptionedField(const TCaptionedField& other) = default;
  TCaptionedField(TKxStream& stream, int16_t version, int16_t code);
  // The display flag as a record of the version holds it (1 before 27).
  void ReadDisplayFlag(TKxStream& stream, int16_t version);
  void WriteDisplayFlag(TKxStream& stream) const { stream.Write(&DisplayFlag, 1); }

  std::string Caption;
  uint8_t DisplayFlag = 1;

 private:
  void TakeStyle(int16_t code);
};

class TMemoField : public TCaptionedField, public dataviews::TDataSource::IMemoView {
 public:
  // A new memo field shows as a button (style 2).
  TMemoField(TMaskPage* owner, const TRect& bounds, const char* fieldName);
  TMemoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TMemoField(const TMemoField& other);
  TMemoField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TMemoField(*this); }
  void Write(TKxStream& stream) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  void Print(reports::TSgmlContext& context, TPrintParams& params) override;
  uint16_t GetFieldType() const override { return kEngineMemo; }
  void DataSourceChanged() override { FormattedMemo.reset(); }
  // The memo view: the formatted memo as plain text (nothing without one).
  void WriteText(TKxStream& stream) override;

  void SetFormattedMemo(std::unique_ptr<reports::TFormattedText> text) { FormattedMemo = std::move(text); }
  const reports::TFormattedText* GetFormattedMemo() const { return FormattedMemo.get(); }

 private:
  // The memo of the current record, laid out for the width in the
  // element's format; an empty text without a data source.
  std::unique_ptr<reports::TFormattedText> MemoText(reports::TSgmlContext& context, int32_t width) const;
  // Running text from the continuation's line on (static output).
  void PrintRunning(reports::TSgmlContext& context, TPrintParams& params);

  std::unique_ptr<reports::TFormattedText> FormattedMemo;
};

class TPictureField : public TCaptionedField {
 public:
  TPictureField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName);
  TPictureField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TPictureField(const TPictureField& other);
  TPictureField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TPictureField(*this); }
  void Write(TKxStream& stream) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  uint16_t GetFieldType() const override { return kEnginePicture; }
  void DataSourceChanged() override { Picture.reset(); }

  uint16_t GetPictureMode() const { return PictureMode; }
  void SetPictureMode(uint16_t mode) { PictureMode = mode; }
  void SetPicture(std::unique_ptr<dataviews::TBlob> picture) { Picture = std::move(picture); }
  const dataviews::TBlob* GetPicture() const { return Picture.get(); }

 private:
  // Draws the stored picture of the current record; false when there is
  // none.
  bool DrawStoredPicture(reports::TSgmlContext& context, const TRect& rect);

  uint16_t PictureMode = 1;
  std::unique_ptr<dataviews::TBlob> Picture;
};

class TYesNoField : public TInputField {
 public:
  TYesNoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName);
  TYesNoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TYesNoField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TYesNoField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  int32_t GetText(char* buffer, int32_t size) const override;
  void SetText(const char* text) override { Caption = text ? text : ""; }
  void Write(TKxStream& stream) const override;
  // A check box, or the input field's output with static output.
  void Print(reports::TSgmlContext& context, TPrintParams& params) override;
  uint16_t GetFieldType() const override { return kEngineYesNo; }
  int32_t GetValueText(char* buffer, int32_t size) const override;
  // With the choice list: line 1 stores "Ja", anything else "Nein".
  int32_t SetValueText(const char* text) override;
  // Without a list of its own: "Nein" and "Ja" joined by the separator.
  bool GetList(char* buffer, char separator, int32_t size, bool& flag) const override;

 private:
  // Style 5: the choice list; else the caption (the field name).
  void SetUpStyle();

  std::string Caption;
};

class TAutoNoField : public TInputField {
 public:
  // A new auto-number field takes style 1.
  TAutoNoField(TMaskPage* owner, const TRect& bounds, const char* fieldName);
  TAutoNoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TAutoNoField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TAutoNoField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  uint16_t GetFieldType() const override { return kEngineAutoNo; }
  bool IsEditable(int32_t) const override { return false; }
};

}  // namespace forms
