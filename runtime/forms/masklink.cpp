// Link and relation fields (see masklink.h).
#include "runtime/forms/masklink.h"

#include <cstdlib>

#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/forms/mask.h"
#include "runtime/forms/maskelems.h"
#include "runtime/toolkit/kxstring.h"

namespace forms {

using kxstring::StrLCopy;

namespace {

constexpr int32_t kMaxRecordNumberText = 10;
constexpr int32_t kMaxText = 255;

TRect Offset(const TRect& r, int32_t x, int32_t y) { return TRect{r.left + x, r.top + y, r.right + x, r.bottom + y}; }

}  // namespace

// --- TAdlField ---

TAdlField::TAdlField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName)
    : TInputField(owner, kind, dtText, bounds, fieldName) {}

TAdlField::TAdlField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TInputField(owner, kind, bounds, field) {}

TAdlField::TAdlField(TKxStream& stream, int16_t version) : TInputField(stream, version) {
  AdlText = ReadText(stream);
  AdlMode = ReadWord(stream);
}

void TAdlField::Write(TKxStream& stream) const {
  WriteInputRecord(stream);
  WriteText(stream, AdlText);
  WriteWord(stream, AdlMode);
}

void TAdlField::GetButtonRect(TRect& rect) const { DropButtonRect(rect); }

void TAdlField::GetLinkDisplayText(char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  dataviews::TDataSource* source = Source();
  const int32_t number = source ? source->GetFieldNo(FieldName.c_str()) : 0;
  ZetFieldSpec field{};
  if (number > 0 && source->GetFieldSpec(number, &field) == 0) StrLCopy(buffer, field.extra, size);
}

// --- TLinkField ---

TLinkField::TLinkField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName)
    : TAdlField(owner, kind, bounds, fieldName) {
  RecordCode = kCodeLink;
}

TLinkField::TLinkField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TAdlField(owner, kind, bounds, field) {
  RecordCode = kCodeLink;
}

TLinkField::TLinkField(TKxStream& stream, int16_t version) : TAdlField(stream, version) { RecordCode = kCodeLink; }

char* TLinkField::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, GetFieldKindName(kCodeLink), size);
}

int32_t TLinkField::GetValueText(char* buffer, int32_t size) const {
  const int32_t table = GetTableHandle();
  if (table <= 0) {
    StrLCopy(buffer, FieldName.c_str(), size);
    return 0;
  }
  return ZetTableGetLinkInfo(table, FieldName.c_str(), buffer, size);
}

int32_t TLinkField::GetLinkedRecordNumber() const {
  char text[kMaxRecordNumberText + 1];
  TMaskField::GetValueText(text, kMaxRecordNumberText);
  return int32_t(std::strtol(text, nullptr, 10));
}

// --- TRelationField ---

TRelationField::TRelationField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName)
    : TAdlField(owner, kind, bounds, fieldName) {
  RecordCode = kCodeRelation;
  LineCount = 3;
}

TRelationField::TRelationField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TAdlField(owner, kind, bounds, field) {
  RecordCode = kCodeRelation;
  LineCount = 3;
}

TRelationField::TRelationField(const TRelationField& other)
    : TAdlField(other), RelationKeyField(other.RelationKeyField) {}

TRelationField::TRelationField(TKxStream& stream, int16_t version) : TAdlField(stream, version) {
  RecordCode = kCodeRelation;
}

TRelationField::~TRelationField() = default;

char* TRelationField::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, GetFieldKindName(kCodeRelation), size);
}

void TRelationField::AttachDataSource() {
  const int32_t table = GetTableHandle();
  SetRelationKeyField(table > 0 && ZetTableGetFieldNo(table, FieldName.c_str()) >= 1);
}

void TRelationField::DataSourceChanged() {
  RelationSource.reset();
  const int32_t table = GetTableHandle();
  if (table <= 0) return;
  const int32_t relation = ZetTableCreateRelTable(table, FieldName.c_str());
  if (relation > 0) RelationSource = std::make_unique<dataviews::TZetDataSource>(relation, 0);
}

int32_t TRelationField::GetValueText(char* buffer, int32_t size) const {
  if (GetTableHandle() <= 0 || !RelationSource) {
    StrLCopy(buffer, FieldName.c_str(), size);
    return 0;
  }
  StrLCopy(buffer, RelationSource->GetRecNo() > 0 ? "RELATION" : "", size);
  return 0;
}

int32_t TRelationField::RelatedText(char* buffer, int32_t size, int32_t& recordNumber) {
  char number[kMaxText + 1] = {};
  RelationSource->GetFieldText(RelationKeyField.c_str(), number, kMaxText);
  recordNumber = int32_t(std::strtol(number, nullptr, 10));
  return ZetTableGetLinkInfo(RelationSource->GetTableHandle(), RelationKeyField.c_str(), buffer, size);
}

int32_t TRelationField::GetFirstRelated(char* buffer, int32_t size, int32_t& recordNumber) {
  recordNumber = 0;
  if (!RelationSource) {
    StrLCopy(buffer, FieldName.c_str(), size);
    return 0;
  }
  const int32_t moved = RelationSource->MoveTo(-1);
  return moved < 0 ? moved : RelatedText(buffer, size, recordNumber);
}

int32_t TRelationField::GetNextRelated(char* buffer, int32_t size, int32_t& recordNumber) {
  if (!RelationSource) return -1;
  const int32_t moved = RelationSource->MoveBy(1);
  return moved < 0 ? moved : RelatedText(buffer, size, recordNumber);
}

int32_t TRelationField::GetCurrentRelatedText(char* buffer, int32_t size) {
  if (RelationKeyField.empty() || !RelationSource) return -1;
  return ZetTableGetLinkInfo(RelationSource->GetTableHandle(), RelationKeyField.c_str(), buffer, size);
}

void TRelationField::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                          uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  if (!fill || (FrameStyle < 0 && !design)) return;
  TRect rect;
  GetInnerBounds(rect);
  rect = Offset(rect, x, y);
  const TMask* mask = GetMask();
  const int32_t lineHeight = mask ? mask->GetFontHeight(FormatIndex, true) : 0;
  char text[kMaxText + 1] = {};
  int32_t number = 0;
  int32_t drawn = 0;
  for (int32_t answer = GetFirstRelated(text, kMaxText, number); answer >= 0;
       answer = GetNextRelated(text, kMaxText, number)) {
    OutputText(context, text, rect, InputStyle);
    if (++drawn >= LineCount) break;
    rect = Offset(rect, 0, lineHeight);
  }
}

}  // namespace forms
