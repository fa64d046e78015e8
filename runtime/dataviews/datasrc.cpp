#include "runtime/dataviews/datasrc.h"

#include <cstdio>

#include "engine/base/engassert.h"
#include "runtime/toolkit/kxstring.h"

namespace dataviews {

using kxstring::StrLCopy;

namespace {

std::string XDataSourceText(const char* operation, int32_t code, int32_t cursor) {
  char text[128];
  std::snprintf(text, sizeof text, "%s: Code = %d, TableHdl = %d", operation, int(code), int(cursor));
  return text;
}

}  // namespace

XDataSource::XDataSource(const char* operation, int32_t code, int32_t cursor)
    : std::runtime_error(XDataSourceText(operation, code, cursor)), Code(code), TableHdl(uint8_t(cursor)) {}

TBlob::TBlob(int32_t format, bool embedded, const char* fileName, std::unique_ptr<TKxDib> picture)
    : Format(format), Embedded(embedded), Picture(std::move(picture)), FileName(fileName ? fileName : "") {}

TBlob::TBlob(const TBlob& other)
    : Format(other.Format),
      Embedded(other.Embedded),
      Picture(other.Picture ? std::make_unique<TKxDib>(*other.Picture) : nullptr),
      FileName(other.FileName) {}

TDataSource::TDataSource(const char* name) : Name(name ? name : "") {}

TDataSource::TDataSource(const TDataSource& other) : Name(other.Name), Master(other.Master) {
  for (int32_t i = 0; i < other.Fields.Count(); ++i) {
    const TField* f = other.Fields.At(i);
    Fields.Insert(f ? f->Clone() : nullptr);
  }
}

TDataSource::~TDataSource() {
  while (Views.Count() > 0) Views.AtDelete(Views.Count() - 1);
}

void TDataSource::AddView(TDataView* view) { Views.Insert(view); }

void TDataSource::RemoveView(TDataView* view) {
  for (int32_t i = 0; i < Views.Count(); ++i)
    if (Views.At(i) == view) {
      Views.AtDelete(i);
      return;
    }
}

void TDataSource::LockNotifications(bool release) {
  if (!release) {
    ++NotificationLocks;
    return;
  }
  ZET_ASSERT(NotificationLocks > 0, "datasrc.cpp: NotificationLocks > 0");
  if (--NotificationLocks == 0) Notify([](TDataView& v) { v.DataSetChanged(); });
}

bool TDataSource::HasRecord() { return GetRecordCount() >= 1 || Mode == kAppending; }

bool TDataSource::Refresh() {
  if (!IsDirty() || NotificationLocks != 0) return false;
  if (Master) {
    Relink();
    return true;
  }
  StartProtected();
  Notify([](TDataView& v) { v.DataSetChanged(); });
  EndProtected();
  return true;
}

void TDataSource::BuildFields() {
  Fields.FreeAll();
  const int32_t count = GetNumFields();
  for (int32_t no = 1; no <= count; ++no) {
    switch (GetFieldType(no)) {
      case kFieldMemo: Fields.Insert(new TMemoDataField); break;
      case kFieldPicture: Fields.Insert(new TBlobDataField); break;
      case kFieldRelation: Fields.Insert(nullptr); break;
      default: Fields.Insert(new TAlphanumField); break;
    }
  }
}

int32_t TDataSource::GetFieldValidation(const char* name, char* text, int32_t textLength, char* message,
                                        int32_t messageLength) {
  const TAlphanumField* f = FieldAs<TAlphanumField>(name);
  if (text) StrLCopy(text, f ? f->ValidationText.c_str() : "", textLength);
  if (message) StrLCopy(message, f ? f->ValidationMessage.c_str() : "", messageLength);
  return f ? f->ValidationKind : kValidNone;
}

void TDataSource::SetFieldValidation(const char* name, int32_t kind, const char* text, const char* message) {
  if (TAlphanumField* f = FieldAs<TAlphanumField>(name)) {
    f->ValidationKind = kind;
    f->ValidationText = text ? text : "";
    f->ValidationMessage = message ? message : "";
  }
}

bool TDataSource::GetFieldDefault(const char* name, char* buffer, int32_t length) {
  const TAlphanumField* f = FieldAs<TAlphanumField>(name);
  StrLCopy(buffer, f ? f->DefaultExpression.c_str() : "", length);
  return f != nullptr;
}

void TDataSource::SetFieldDefault(const char* name, const char* text) {
  if (TAlphanumField* f = FieldAs<TAlphanumField>(name)) f->DefaultExpression = text ? text : "";
}

bool TDataSource::IsSelectionValid(const char* selection) {
  if (!selection) return true;
  uint8_t code[256];
  return ZetTokenizeSelection(GetTableHandle(), code, selection) == 0 &&
         ZetEvalSelection(GetTableHandle(), code) >= 0;
}

void TDataSource::BeginContinuousRead() {
  ++NotificationLocks;
  SavedMode = Mode;
  SavedViewFlag = ViewFlag;
  Mode = kBrowsing;
}

void TDataSource::EndContinuousRead() {
  ZET_ASSERT(NotificationLocks > 0, "datasrc.cpp: NotificationLocks > 0");
  Mode = SavedMode;
  ViewFlag = SavedViewFlag;
  --NotificationLocks;
}

}  // namespace dataviews
