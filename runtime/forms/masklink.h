// Link and relation fields: input fields that show text of the records they
// refer to instead of the stored number. A link field shows the display
// text of its one linked record; a relation field lists the display texts of
// its related records, one a line, through a data source of its own over the
// engine's relation table of the field.
//
// What always holds:
//   1. AdlText and AdlMode are only stored, copied and written.
//   2. A relation field owns its relation source; it is made anew whenever
//      the form's data source changes, and only over a handle the engine
//      really gave (a refused relation table leaves no source, and the field
//      shows its name, as without a form).
//   3. A relation field's line count is at least 2 once set (3 when new).
//   4. Walking the related records stops at the first negative answer of the
//      relation source or the engine; so does drawing.
//
// Record of both kinds, after the input-field record: AdlText (string),
// AdlMode (u16).
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/forms/maskinput.h"

namespace dataviews {
class TZetDataSource;
}

namespace forms {

class TAdlField : public TInputField {
 public:
  TAdlField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName);
  TAdlField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TAdlField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TAdlField(*this); }
  void Write(TKxStream& stream) const override;
  int32_t GetLineCount() const override { return LineCount; }
  // The drop button always: the client rectangle's right end.
  void GetButtonRect(TRect& rect) const override;
  // The field's target as the engine describes it (second text area of
  // the field description); empty without a form's table.
  void GetLinkDisplayText(char* buffer, int32_t size) const;

  const std::string& GetAdlText() const { return AdlText; }
  void SetAdlText(const char* text) { AdlText = text ? text : ""; }
  uint16_t GetAdlMode() const { return AdlMode; }
  void SetAdlMode(uint16_t mode) { AdlMode = mode; }

 protected:
  std::string AdlText;
  uint16_t AdlMode = 0;
};

class TLinkField : public TAdlField {
 public:
  TLinkField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName);
  TLinkField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TLinkField(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TLinkField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  uint16_t GetFieldType() const override { return kEngineLink; }
  // The linked record's display text; the field name without a table.
  int32_t GetValueText(char* buffer, int32_t size) const override;
  // The stored number of the linked record.
  int32_t GetLinkedRecordNumber() const;
};

class TRelationField : public TAdlField {
 public:
  TRelationField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName);
  TRelationField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field);
  TRelationField(const TRelationField& other);
  TRelationField(TKxStream& stream, int16_t version);
  ~TRelationField() override;

  TMaskElement* Clone() const override { return new TRelationField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  uint16_t GetFieldType() const override { return kEngineRelation; }
  void SetLineCount(int32_t count) override { LineCount = uint8_t(std::clamp(count, 2, 255)); }
  // The key field "2" when the form's table has this field, else none.
  void AttachDataSource() override;
  // A new relation source over the field's relation table.
  void DataSourceChanged() override;
  // "RELATION" when there are related records, else empty; the field name
  // without a table or relation source.
  int32_t GetValueText(char* buffer, int32_t size) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  virtual void SetRelationKeyField(bool present) { RelationKeyField = present ? "2" : ""; }

  // The display text of the first (next) related record and its number;
  // the relation source's negative answer when there is none.
  int32_t GetFirstRelated(char* buffer, int32_t size, int32_t& recordNumber);
  int32_t GetNextRelated(char* buffer, int32_t size, int32_t& recordNumber);
  int32_t GetCurrentRelatedText(char* buffer, int32_t size);
  const std::string& GetRelationKeyField() const { return RelationKeyField; }
  dataviews::TZetDataSource* GetRelationSource() const { return RelationSource.get(); }

 private:
  // The display text of the relation source's current record.
  int32_t RelatedText(char* buffer, int32_t size, int32_t& recordNumber);

  std::unique_ptr<dataviews::TZetDataSource> RelationSource;
  std::string RelationKeyField;
};

}  // namespace forms
