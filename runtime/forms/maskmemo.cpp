// Memo, picture, yes/no and auto-number fields (see maskmemo.h).
#include "runtime/forms/maskmemo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/dataviews/zetstream.h"
#include "runtime/forms/mask.h"
#include "runtime/forms/maskelems.h"
#include "runtime/reports/formtext.h"
#include "runtime/reports/sgmlctx.h"
#include "runtime/toolkit/kxfont.h"
#include "runtime/toolkit/kxstring.h"

namespace forms {

using kxstring::StrLCopy;

namespace {

constexpr int16_t kDisplayFlagVersion = 27;
constexpr int32_t kButtonColorIndex = 8;
constexpr int32_t kPathMax = 259;
constexpr int32_t kMaxText = 255;
constexpr int32_t kPlaceholderInset = 10;
constexpr const char* kYesNoList = "Nein|Ja";

TRect Offset(const TRect& r, int32_t x, int32_t y) { return TRect{r.left + x, r.top + y, r.right + x, r.bottom + y}; }

int32_t CopyText(const std::string& text, char* buffer, int32_t size) {
  StrLCopy(buffer, text.c_str(), size);
  return 0;
}

// "<name>": what a field without content shows in the design.
std::string Placeholder(const std::string& fieldName) { return "<" + fieldName + ">"; }

}  // namespace

// --- TCaptionedField ---

TCaptionedField::TCaptionedField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName,
                                 int16_t code)
    : TMaskField(owner, kind, bounds, fieldName) {
  TakeStyle(code);
}

TCaptionedField::TCaptionedField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field,
                                 int16_t code)
    : TMaskField(owner, kind, bounds, field) {
  TakeStyle(code);
}

TCaptionedField::TCaptionedField(TKxStream& stream, int16_t version, int16_t code)
    : TMaskField(stream, version), Caption(ReadText(stream)) {
  RecordCode = code;
}

void TCaptionedField::TakeStyle(int16_t code) {
  RecordCode = code;
  Caption = FieldName;
  Color = Kind == kStyleButton ? kxfont::IndexToColor(kButtonColorIndex) : kxfont::kTransparentColor;
}

void TCaptionedField::ReadDisplayFlag(TKxStream& stream, int16_t version) {
  DisplayFlag = 1;
  if (version >= kDisplayFlagVersion) stream.Read(&DisplayFlag, 1);
}

char* TCaptionedField::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, GetFieldKindName(RecordCode), size);
}

int32_t TCaptionedField::GetText(char* buffer, int32_t size) const { return CopyText(Caption, buffer, size); }

void TCaptionedField::Write(TKxStream& stream) const {
  TMaskField::Write(stream);
  forms::WriteText(stream, Caption);
}

// --- TMemoField ---

TMemoField::TMemoField(TMaskPage* owner, const TRect& bounds, const char* fieldName)
    : TCaptionedField(owner, kStyleButton, bounds, fieldName, kCodeMemo) {}

TMemoField::TMemoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TCaptionedField(owner, kind, bounds, field, kCodeMemo) {}

TMemoField::TMemoField(const TMemoField& other) : TCaptionedField(other), dataviews::TDataSource::IMemoView() {}

TMemoField::TMemoField(TKxStream& stream, int16_t version) : TCaptionedField(stream, version, kCodeMemo) {
  ReadDisplayFlag(stream, version);
}

void TMemoField::Write(TKxStream& stream) const {
  TCaptionedField::Write(stream);
  WriteDisplayFlag(stream);
}

void TMemoField::WriteText(TKxStream& stream) {
  if (FormattedMemo) FormattedMemo->SaveToStream(stream, false);
}

std::unique_ptr<reports::TFormattedText> TMemoField::MemoText(reports::TSgmlContext& context, int32_t width) const {
  dataviews::TDataSource* source = Source();
  auto text = source ? source->GetMemoText(FieldName.c_str()) : std::make_unique<reports::TFormattedText>();
  text->WordWrap = 1;
  context.SelectFormat(FormatIndex);
  text->Format(context, width, -1, true);
  return text;
}

void TMemoField::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                      uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  if (!design || !fill) return;
  TRect rect;
  GetInnerBounds(rect);
  rect = Offset(rect, x, y);
  auto text = MemoText(context, rect.right - rect.left);
  if (text->GetLength() > 0)
    DrawFormatted(context, rect, std::move(text), reports::kAlignLeft, nullptr);
  else
    OutputText(context, Placeholder(FieldName).c_str(), rect, reports::kAlignLeft);
}

void TMemoField::Print(reports::TSgmlContext& context, TPrintParams& params) {
  if (StaticOutput) return PrintRunning(context, params);
  const TRect rect = Offset(Bounds, params.Left, params.Top);
  const std::string name = ControlName(FieldName, RecordPosition(), true);
  context.AddTextArea(rect, name.c_str(), FormatIndex, MemoText(context, rect.right - rect.left));
  EndControl(params, rect);
}

void TMemoField::PrintRunning(reports::TSgmlContext& context, TPrintParams& params) {
  TRect inner;
  GetInnerBounds(inner);
  const int32_t bottomInset = Bounds.bottom - inner.bottom;
  const TRect rect = Offset(inner, params.Left, params.Top);
  params.Right = rect.right + (Bounds.right - inner.right);
  auto text = MemoText(context, rect.right - rect.left);
  const int32_t first = params.Continuation ? params.Continuation->Position : 0;
  int32_t next = -1;
  if (text->GetLength() > 0 && first < text->GetLineCount()) {
    // A page always takes at least the first line, clipped if need be, so a
    // line taller than the area cannot hold the memo on one line for ever.
    const int32_t limit = std::max(params.Bottom - bottomInset, rect.top + text->GetLineHeight(first));
    next = first;
    context.DrawFormattedText(rect, limit, FormatIndex, reports::kAlignLeft, GetColor(), std::move(text), &next);
  }
  if (next < 0) {
    params.ClearContinuation();
    params.Bottom = rect.bottom + bottomInset;
    return;
  }
  if (!params.Continuation) params.SetContinuation(new TDataPos());
  params.Continuation->Position = next;
}

// --- TPictureField ---

TPictureField::TPictureField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName)
    : TCaptionedField(owner, kind, bounds, fieldName, kCodePicture) {}

TPictureField::TPictureField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TCaptionedField(owner, kind, bounds, field, kCodePicture) {}

TPictureField::TPictureField(const TPictureField& other) : TCaptionedField(other), PictureMode(other.PictureMode) {}

TPictureField::TPictureField(TKxStream& stream, int16_t version)
    : TCaptionedField(stream, version, kCodePicture), PictureMode(ReadWord(stream)) {
  ReadDisplayFlag(stream, version);
}

void TPictureField::Write(TKxStream& stream) const {
  TCaptionedField::Write(stream);
  WriteWord(stream, PictureMode);
  WriteDisplayFlag(stream);
}

void TPictureField::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                         uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  if (!fill || Kind != kStylePicture || (FrameStyle < 0 && !design)) return;
  TRect rect;
  GetInnerBounds(rect);
  rect = Offset(rect, x, y);
  if (DrawStoredPicture(context, rect) || !design) return;
  const TRect shrunk{rect.left + kPlaceholderInset, rect.top + kPlaceholderInset, rect.right - kPlaceholderInset,
                     rect.bottom - kPlaceholderInset};
  OutputText(context, Placeholder(FieldName).c_str(), shrunk, reports::kAlignLeft);
}

bool TPictureField::DrawStoredPicture(reports::TSgmlContext& context, const TRect& rect) {
  const int32_t table = GetTableHandle();
  if (table <= 0) return false;
  dataviews::TZetBlobStream blob(table, FieldName.c_str(), dataviews::kZetRead);
  if (blob.Status != 0 || blob.GetSize() <= 0) return false;
  const uint16_t word = uint16_t(blob.ReadInt());
  if (blob.Status != 0) return false;
  const bool stretch = PictureMode != 0;
  if (dataviews::BlobIsEmbedded(word)) {
    context.DrawPictureData(rect, stretch, dataviews::BlobFormatOfWord(word), blob, Caption.c_str());
    return true;
  }
  std::unique_ptr<char[]> name(blob.ReadString());
  if (!name) return false;
  char directory[kPathMax + 1] = {}, path[kPathMax + 1] = {};
  ZetRltnGetDir(ZetTableGetRltnHdl(table), directory, kPathMax);
  kxstring::AddBackslash(directory, kPathMax);
  kxstring::MakeAbsolutePath(path, name.get(), directory, kPathMax);
  context.DrawPictureFile(rect, stretch, path, Caption.c_str());
  return true;
}

// --- TYesNoField ---

TYesNoField::TYesNoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* fieldName)
    : TInputField(owner, kind, dtText, bounds, fieldName) {
  SetUpStyle();
}

TYesNoField::TYesNoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TInputField(owner, kind, bounds, field) {
  DataType = dtText;
  SetUpStyle();
}

TYesNoField::TYesNoField(TKxStream& stream, int16_t version) : TInputField(stream, version) {
  Caption = ReadText(stream);
  RecordCode = kCodeYesNo;
}

void TYesNoField::SetUpStyle() {
  RecordCode = kCodeYesNo;
  if (Kind == kStyleChoice) {
    Caption.clear();
    SetList(kYesNoList, '|', false);
  } else {
    Caption = FieldName;
    ListKind = 0;
    ListText.clear();
  }
}

char* TYesNoField::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, GetFieldKindName(kCodeYesNo), size);
}

int32_t TYesNoField::GetText(char* buffer, int32_t size) const { return CopyText(Caption, buffer, size); }

void TYesNoField::Write(TKxStream& stream) const {
  WriteInputRecord(stream);
  forms::WriteText(stream, Caption);
}

int32_t TYesNoField::GetValueText(char* buffer, int32_t size) const {
  const int32_t answer = TInputField::GetValueText(buffer, size);
  if (!IsFixedList() || size <= 0 || !buffer[0]) return answer;
  GetListEntry(buffer[0] == 'N' ? 0 : 1, buffer, size);
  return answer;
}

int32_t TYesNoField::SetValueText(const char* text) {
  if (!IsFixedList()) return TInputField::SetValueText(text);
  return TInputField::SetValueText(FindListEntry(text) == 1 ? "Ja" : "Nein");
}

bool TYesNoField::GetList(char* buffer, char separator, int32_t size, bool& flag) const {
  if (IsFixedList()) return TInputField::GetList(buffer, separator, size, flag);
  StrLCopy(buffer, kYesNoList, size);
  if (size > 5) std::replace(buffer, buffer + std::strlen(buffer), '|', separator);
  flag = false;
  return true;
}

void TYesNoField::Print(reports::TSgmlContext& context, TPrintParams& params) {
  if (StaticOutput) return TInputField::Print(context, params);
  const TRect rect = Offset(Bounds, params.Left, params.Top);
  const std::string name = ControlName(FieldName, RecordPosition(), true);
  char value[kMaxText + 1];
  TMaskField::GetValueText(value, kMaxText);
  const bool checked = value[0] != 0 && value[0] != 'N';
  context.AddCheckBox(rect, name.c_str(), FormatIndex, Caption.c_str(), InputStyle, checked);
  EndControl(params, rect);
}

// --- TAutoNoField ---

TAutoNoField::TAutoNoField(TMaskPage* owner, const TRect& bounds, const char* fieldName)
    : TInputField(owner, 1, dtText, bounds, fieldName) {
  RecordCode = kCodeAutoNo;
  EditMode = 3;
}

TAutoNoField::TAutoNoField(TMaskPage* owner, int16_t kind, const TRect& bounds, const ZetFieldSpec& field)
    : TInputField(owner, kind, bounds, field) {
  RecordCode = kCodeAutoNo;
  DataType = dtText;
  EditMode = 3;
}

TAutoNoField::TAutoNoField(TKxStream& stream, int16_t version) : TInputField(stream, version) {
  RecordCode = kCodeAutoNo;
}

char* TAutoNoField::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, GetFieldKindName(kCodeAutoNo), size);
}

}  // namespace forms
