// The form element base and its companions (see maskelem.h).
#include "runtime/forms/maskelem.h"

#include <algorithm>
#include <cstdio>

#include "engine/interface/include/zetcore.h"
#include "runtime/dataviews/datasrc.h"
#include "runtime/forms/mask.h"
#include "runtime/forms/maskpage.h"
#include "runtime/reports/formtext.h"
#include "runtime/reports/sgmlctx.h"
#include "runtime/toolkit/kxpicture.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrFree;
using kxstring::StrLCat;
using kxstring::StrLCopy;

namespace {

int16_t ClampToWord(int32_t value) { return int16_t(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX)); }

}  // namespace

uint16_t ReadWord(TKxStream& stream) { return uint16_t(stream.ReadInt()); }

void WriteWord(TKxStream& stream, uint16_t value) { stream.WriteInt(int16_t(value)); }

uint32_t ReadLong(TKxStream& stream) {
  uint8_t b[4] = {};
  stream.Read(b, 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void WriteLong(TKxStream& stream, uint32_t value) {
  const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
  stream.Write(b, 4);
}

bool RecordsFit(TKxStream& stream, int64_t count, int32_t minBytes) {
  if (stream.Status != 0) return false;
  if (count >= 0 && count * minBytes <= int64_t(stream.GetSize()) - stream.GetPos()) return true;
  stream.Error(kxobject::kStreamReadError, 0);
  return false;
}

// --- TKxAction ---

TKxAction::TKxAction(TKxStream& stream, int16_t) {
  Kind = int32_t(ReadLong(stream));
  Text.Attach(stream.ReadString());
}

void TKxAction::Write(TKxStream& stream) const {
  WriteLong(stream, uint32_t(Kind));
  stream.WriteString(Text.CStr());
}

// --- TMaskElement ---

TMaskElement::TMaskElement(TMaskPage* owner, int16_t kind, const TRect& bounds)
    : Owner(owner), Bounds(bounds), Kind(kind) {}

TMaskElement::TMaskElement(const TMaskElement& other)
    : kxobject::TKxObject(),
      Owner(other.Owner),
      FormatIndex(other.FormatIndex),
      Bounds(other.Bounds),
      Name(StrDup(other.Name)),
      SecondText(StrDup(other.SecondText)),
      FrameStyle(other.FrameStyle),
      StyleFlags(other.StyleFlags),
      Color(other.Color),
      Kind(other.Kind),
      RecordCode(other.RecordCode) {}

TMaskElement::TMaskElement(TKxStream& stream, int16_t version) {
  if (version > kElementNameVersion) Name = stream.ReadString();
  if (version > 22) SecondText = stream.ReadString();
  if (version > kElementNameVersion) StyleFlags = ReadWord(stream);
  Kind = int16_t(ReadWord(stream));
  const TRect r = stream.ReadRect();
  Bounds = r;
  FrameStyle = int16_t(ReadWord(stream));
  Color = ReadLong(stream);
  if (version < 21) Color = kxfont::kTransparentColor;
  FormatIndex = int16_t(ReadWord(stream));
  if (version > 34) stream.Read(&Flag, 1);
}

TMaskElement::~TMaskElement() {
  StrFree(Name);
  StrFree(SecondText);
}

void TMaskElement::Write(TKxStream& stream) const {
  stream.WriteString(Name);
  stream.WriteString(SecondText);
  WriteWord(stream, StyleFlags);
  stream.WriteInt(Kind);
  stream.WriteRect(TRect{ClampToWord(Bounds.left), ClampToWord(Bounds.top), ClampToWord(Bounds.right),
                         ClampToWord(Bounds.bottom)});
  stream.WriteInt(FrameStyle);
  WriteLong(stream, uint32_t(Color));
  stream.WriteInt(FormatIndex);
  stream.Write(&Flag, 1);
}

char* TMaskElement::GetTypeName(char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  return buffer;
}

int32_t TMaskElement::GetText(char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  return 0;
}

int32_t TMaskElement::GetValueText(char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  return 0;
}

void TMaskElement::GetInnerBounds(TRect& bounds) const {
  GetBounds(bounds);
  if (FrameStyle > 0) bounds = TRect{bounds.left + 5, bounds.top + 5, bounds.right - 5, bounds.bottom - 5};
}

void TMaskElement::Print(reports::TSgmlContext& context, TPrintParams& params) {
  TPoint extent;
  Draw(context, params.Left, params.Top, extent, true, params.Background, false);
  params.Right = extent.x;
  params.Bottom = extent.y;
  params.ClearContinuation();
}

TMask* TMaskElement::GetMask() const { return Owner ? Owner->GetOwner() : nullptr; }

COLORREF TMaskElement::GetColor() const {
  if (!kxfont::IsTransparentColor(Color)) return Color;
  return Owner ? Owner->GetColor() : kLightRed;
}

COLORREF TMaskElement::GetFontColor() const {
  const TMask* mask = GetMask();
  if (!mask || FormatIndex < 0 || FormatIndex >= mask->GetFormatCount()) return 0;
  return mask->GetFormat(FormatIndex)->Font.Color;
}

const kxfont::TKxFont* TMaskElement::GetRealFont() const {
  const TMask* mask = GetMask();
  return FormatIndex < 0 || !mask ? nullptr : mask->GetRealFont(FormatIndex);
}

dataviews::TDataSource* TMaskElement::GetDataSource() const {
  const TMask* mask = GetMask();
  return mask ? mask->GetDataSource() : nullptr;
}

int32_t TMaskElement::GetTableHandle() const {
  dataviews::TDataSource* source = GetDataSource();
  return source ? source->GetTableHandle() : 0;
}

void TMaskElement::SetFrameStyle(int16_t style) {
  FrameStyle = style;
  TRect bounds;
  GetBounds(bounds);
  AdjustBounds(bounds);
  SetBounds(bounds.left, bounds.top, bounds.right, bounds.bottom);
}

void TMaskElement::SetFrameColorFont(int16_t style, COLORREF color, int16_t format) {
  SetFrameStyle(style);
  SetColor(color);
  SetFormatIndex(format);
}

void TMaskElement::GetFrameColorFont(int16_t& style, COLORREF& color, int16_t& format) const {
  style = FrameStyle;
  color = Color;
  format = FormatIndex;
}

void TMaskElement::SetName(const char* name) { kxstring::StrReplaceDup(Name, name); }

void TMaskElement::SetSecondText(const char* text) { kxstring::StrReplaceDup(SecondText, text); }

int32_t TMaskElement::CheckExpression(const char* text) const { return ZetCheckExpression(GetTableHandle(), text); }

bool TMaskElement::CheckAction(const TKxAction& action, char* buffer, int32_t size) const {
  const char* text = action.Text.CStr();
  if (!*text) return true;
  const int32_t result = CheckExpression(text);
  if (result == 0) return true;
  StrLCopy(buffer, "The expression has an error", size);
  if (result > 0) {
    char position[32];
    std::snprintf(position, sizeof position, " at position %d", int(result));
    StrLCat(buffer, position, size);
  }
  StrLCat(buffer, ":\r\n", size);
  StrLCat(buffer, text, size);
  StrLCat(buffer, "\r\n", size);
  char error[256] = {};
  ZetGetLastError(error, sizeof error - 1);
  StrLCat(buffer, error, size);
  return false;
}

void TMaskElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                        uint8_t style, bool design) {
  TRect r;
  GetBounds(r);
  r = TRect{r.left + x, r.top + y, r.right + x, r.bottom + y};
  if (fill && !kxfont::IsTransparentColor(Color)) {
    context.SelectBrush(win::CreateSolidBrush(GetColor()));
    context.SelectStockObject(kxobject::kNullPen);
    context.Rectangle(r.left, r.top, r.right, r.bottom);
    context.RestorePen();
    context.RestoreBrush();
  }
  DrawFrame(context, r.left, r.top, r.right, r.bottom, style, design);
  extent = TPoint{r.right, r.bottom};
}

void TMaskElement::DrawFrame(reports::TSgmlContext& context, int32_t left, int32_t top, int32_t right,
                             int32_t bottom, uint8_t, bool force) const {
  if (FrameStyle <= 0 && !force) return;
  context.SetBkMode(win::TRANSPARENT);
  reports::DrawFrame3D(context, TRect{left, top, right, bottom}, FrameStyle, GetFontColor(), false);
  context.SetBkMode(win::OPAQUE);
}

void TMaskElement::DrawFormatted(reports::TSgmlContext& context, const TRect& rect,
                                 std::unique_ptr<reports::TFormattedText> text, int32_t alignment,
                                 int32_t* nextLine) const {
  context.DrawFormattedText(rect, rect.bottom, FormatIndex, alignment, GetColor(), std::move(text), nextLine);
}

void TMaskElement::OutputText(reports::TSgmlContext& context, const char* text, const TRect& rect,
                              int32_t alignment) const {
  context.DrawText(rect, FormatIndex, alignment, GetColor(), text);
}

void TMaskElement::DrawTextLines(reports::TSgmlContext& context, const char* text, const TRect& rect, int32_t lines,
                                 int32_t alignment) const {
  if (lines < 2) {
    OutputText(context, text, rect, alignment);
    return;
  }
  auto formatted = std::make_unique<reports::TFormattedText>(text, 80);
  formatted->WordWrap = 1;
  context.SelectFormat(FormatIndex);
  formatted->Format(context, rect.right - rect.left, -1, true);
  DrawFormatted(context, rect, std::move(formatted), alignment, nullptr);
}

void TMaskElement::DrawResourceBitmap(reports::TSgmlContext& context, uint32_t bitmap, const TRect& inner) const {
  kxobject::TKxDibGraphic graphic{platform::ResId(bitmap)};
  context.DrawGraphic(TRect{inner.left + 4, inner.top + 4, inner.right - 8, inner.bottom - 8}, true, &graphic, "");
}

void PutMaskElement(const TMaskElement& element, TKxStream& stream) {
  const int16_t code = element.GetRecordCode();
  if (code == 0) throw kxobject::xmsg("Unbekannter Datentyp in PutMaskElement");
  stream.WriteInt(code);
  element.Write(stream);
}

}  // namespace forms
