// Text, label, frame, line and page-break elements (see maskelems.h).
#include "runtime/forms/maskelems.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/forms/mask.h"
#include "runtime/reports/formtext.h"
#include "runtime/reports/sgmlctx.h"

namespace forms {

using kxstring::StrLCopy;

namespace {

constexpr int32_t kMaxDrawnText = 1024;

const char* TableEntry(const char* const* table, int32_t count, int32_t first, int32_t value) {
  return value < first || value >= first + count ? nullptr : table[value - first];
}

char* CopyName(const char* name, char* buffer, int32_t size) { return StrLCopy(buffer, name, size); }

TRect Offset(const TRect& r, int32_t x, int32_t y) { return TRect{r.left + x, r.top + y, r.right + x, r.bottom + y}; }

}  // namespace

const char* GetFrameStyleName(int32_t style) {
  static const char* const names[] = {"Unsichtbar",         "Keiner",          "Eingelassen",
                                      "Hervorgehoben",      "Tief eingelassen", "Weit hervorgehoben",
                                      "D\xFCnn",            "Dick",            "D\xFCnn unterstrichen",
                                      "Dick unterstrichen", "3-dimensional",   "Rille",
                                      "Grat"};
  return TableEntry(names, 13, -1, style);
}

const char* GetElementKindName(int32_t code) {
  static const char* const names[] = {"Zeitgeber",    "HTML-Befehl",  "Text",           "Referenz",     "Linie",
                                      "Seitenumbruch", "SubMask",     "Makro",          "Logo",         "Ausdruck",
                                      "Beschriftung", "Rahmen",       "Tabelle",        "Zeichen",      "Alphanumerisch",
                                      "Bild/Klang",   "Ja/Nein",      "Auswahlliste",   "Auswahlfeld",  "Kopplung",
                                      "Unbekannt",    "Auto-Nummer",  "Memo",           "Relation"};
  return TableEntry(names, 24, -13, code);
}

const char* GetFieldKindName(int32_t code) {
  static const char* const names[] = {"Rahmen",   "Tabelle",  nullptr,    "Alphanumerisch", "Bild/Klang",
                                      "JaNein",   "Auswahl",  "Auswahl",  "Kopplung",       nullptr,
                                      "Auto-Nummer", "Memo",  "Relation"};
  return TableEntry(names, 13, -2, code);
}

void FitPlaceholder(TRect& bounds) {
  bounds.right = bounds.left + 60;
  bounds.bottom = bounds.top + 60;
}

void DrawPlaceholder(const TMaskElement& element, reports::TSgmlContext& context, int32_t x, int32_t y,
                     uint32_t bitmap) {
  TRect r;
  element.GetInnerBounds(r);
  r = Offset(r, x, y);
  context.SelectStockObject(kxobject::kNullBrush);
  context.Rectangle(r.left, r.top, r.right, r.bottom);
  context.RestoreBrush();
  element.DrawResourceBitmap(context, bitmap, r);
}

// --- TTextElement ---

TTextElement::TTextElement(TKxStream& stream, int16_t version) : TMaskElement(stream, version) {
  stream.Read(&TextStyle, 1);
  stream.Read(&LineCount, 1);
}

void TTextElement::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  stream.Write(&TextStyle, 1);
  stream.Write(&LineCount, 1);
}

int32_t TTextElement::GetText(char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  return -1;
}

void TTextElement::AdjustBounds(TRect& bounds) {
  const TMask* mask = GetMask();
  if (!mask) return;
  bounds.bottom = bounds.top + GetLineCount() * mask->GetFontHeight(FormatIndex, true) + (FrameStyle > 0 ? 10 : 0);
}

void TTextElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                        uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  char text[kMaxDrawnText + 1];
  GetText(text, kMaxDrawnText);
  if (FrameStyle < 0 && !design) return;
  TRect inner;
  GetInnerBounds(inner);
  DrawTextLines(context, text, Offset(inner, x, y), GetLineCount(), TextStyle);
}

// --- TLabelElement ---

TLabelElement::TLabelElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text)
    : TTextElement(owner, kind, bounds), Text(kxstring::StrDup(text)) {
  LineCount = 1;
  RecordCode = kCodeLabel;
}

TLabelElement::TLabelElement(const TLabelElement& other) : TTextElement(other), Text(kxstring::StrDup(other.Text)) {}

TLabelElement::TLabelElement(TKxStream& stream, int16_t version)
    : TTextElement(stream, version), Text(stream.ReadString()) {
  RecordCode = kCodeLabel;
}

TLabelElement::~TLabelElement() { kxstring::StrFree(Text); }

char* TLabelElement::GetTypeName(char* buffer, int32_t size) const { return CopyName("Beschriftung", buffer, size); }

void TLabelElement::Write(TKxStream& stream) const {
  TTextElement::Write(stream);
  stream.WriteString(Text);
}

int32_t TLabelElement::GetText(char* buffer, int32_t size) const {
  kxstring::StrLCopyOrEmpty(buffer, Text, size);
  return 0;
}

int32_t TLabelElement::GetTextLength() const { return Text ? int32_t(std::strlen(Text)) : 0; }

int32_t TLabelElement::SetLabelText(const char* text) {
  kxstring::StrReplaceDup(Text, text);
  return Text ? 0 : -1000;
}

// --- TFrameElement ---

TFrameElement::TFrameElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* caption)
    : TLabelElement(owner, kind, bounds, caption) {
  FrameStyle = 2;
  RecordCode = kCodeFrame;
}

TFrameElement::TFrameElement(TKxStream& stream, int16_t version) : TLabelElement(stream, version) {
  RecordCode = kCodeFrame;
}

char* TFrameElement::GetTypeName(char* buffer, int32_t size) const { return CopyName("Rahmen", buffer, size); }

void TFrameElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool, uint8_t style,
                         bool design) {
  TRect r;
  GetBounds(r);
  r = Offset(r, x, y);
  extent = TPoint{r.right, r.bottom};
  context.SelectBrush(win::CreateSolidBrush(GetColor()));
  context.SelectStockObject(kxobject::kNullPen);
  context.Rectangle(r.left, r.top, r.right, r.bottom);
  context.RestorePen();
  context.RestoreBrush();
  int32_t band = 0;
  const TMask* mask = GetMask();
  if (Text && LineCount > 0 && mask && FormatIndex >= 0 && FormatIndex < mask->GetFormatCount()) {
    band = LineCount * (std::abs(mask->GetFormat(FormatIndex)->Font.LogFont.lfHeight) * 13 / 10);
    context.DrawText(TRect{r.left, r.top, r.right, r.top + band}, FormatIndex, TextStyle, GetColor(), Text);
  }
  DrawFrame(context, r.left, r.top + band, r.right, r.bottom, style, design);
}

// --- TLineElement ---

TLineElement::TLineElement(TMaskPage* owner, int16_t kind, const TRect& bounds) : TMaskElement(owner, kind, bounds) {
  Color = 0;
  RecordCode = kCodeLine;
}

TLineElement::TLineElement(TKxStream& stream, int16_t version) : TMaskElement(stream, version) {
  Alignment = int16_t(stream.ReadInt());
  LineStyle = ReadWord(stream);
  Orientation = ReadWord(stream);
  if (Alignment < kTopLeft || Alignment > kBottomRight) Alignment = kTopLeft;
  RecordCode = kCodeLine;
}

char* TLineElement::GetTypeName(char* buffer, int32_t size) const { return CopyName("Linie", buffer, size); }

void TLineElement::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  stream.WriteInt(Alignment);
  WriteWord(stream, LineStyle);
  WriteWord(stream, Orientation);
}

void TLineElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool, uint8_t style,
                        bool design) {
  TRect r;
  GetInnerBounds(r);
  r = Offset(r, x, y);
  TRect outer;
  GetBounds(outer);
  outer = Offset(outer, x, y);
  DrawFrame(context, outer.left, outer.top, outer.right, outer.bottom, style, design);
  const int32_t d = LineStyle >= 2 ? 7 : 3;
  context.SelectPen(win::CreatePen(win::PS_SOLID, d, GetColor()));
  const bool horizontal = Orientation == 0;
  const int32_t low = horizontal ? r.top : r.left, high = horizontal ? r.bottom : r.right;
  const int32_t at = Alignment == kMiddle ? (low + high) / 2 : Alignment == kBottomRight ? high - d / 2 : low + d / 2;
  const auto line = [&](int32_t pos) {
    if (horizontal) {
      context.MoveTo(r.left, pos);
      context.LineTo(r.right, pos);
    } else {
      context.MoveTo(pos, r.top);
      context.LineTo(pos, r.bottom);
    }
  };
  if (LineStyle == 1) {
    line(at - d);
    line(at + d);
  } else {
    line(at);
  }
  context.RestorePen();
  extent = TPoint{r.right, r.bottom};
}

// --- TFormatElement ---

TFormatElement::TFormatElement(TMaskPage* owner, int16_t kind, const TRect& bounds)
    : TMaskElement(owner, kind, bounds) {
  RecordCode = kCodePageBreak;
}

TFormatElement::TFormatElement(TKxStream& stream, int16_t version) : TMaskElement(stream, version) {
  RecordCode = kCodePageBreak;
}

char* TFormatElement::GetTypeName(char* buffer, int32_t size) const {
  return CopyName("Seitenvorschub", buffer, size);
}

void TFormatElement::AdjustBounds(TRect& bounds) { FitPlaceholder(bounds); }

void TFormatElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool, uint8_t,
                          bool design) {
  if (design) DrawPlaceholder(*this, context, x, y, kPageBreakBitmap);
  extent.x = x + Bounds.right;
}

}  // namespace forms
