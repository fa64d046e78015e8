// Timer, HTML-command, card, logo and macro-button elements (see
// maskspecial.h).
#include "runtime/forms/maskspecial.h"

#include <cstdio>
#include <cstring>

#include "runtime/forms/mask.h"
#include "runtime/forms/maskexpr.h"
#include "runtime/forms/maskpage.h"
#include "runtime/forms/maskprop.h"
#include "runtime/reports/sgmlctx.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxpicture.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrFree;
using kxstring::StrLCopy;

namespace {

constexpr int32_t kMinActionBytes = 6;  // kind, empty text
constexpr int32_t kMinLineBytes = 2 + kMinActionBytes;
constexpr int32_t kMaxCardText = 40;
constexpr uint16_t kStorageNone = 0, kStorageLinked = 1, kStorageEmbedded = 2;

TRect Offset(const TRect& r, int32_t x, int32_t y) { return TRect{r.left + x, r.top + y, r.right + x, r.bottom + y}; }

TRect InnerAt(const TMaskElement& element, int32_t x, int32_t y) {
  TRect inner;
  element.GetInnerBounds(inner);
  return Offset(inner, x, y);
}

// One line in the element's font (plus 10 with a frame), only on a form.
void FitOneLine(const TMaskElement& element, TRect& bounds) {
  const TMask* mask = element.GetMask();
  if (!mask) return;
  bounds.bottom =
      bounds.top + mask->GetFontHeight(element.GetFormatIndex(), true) + (element.GetFrameStyle() > 0 ? 10 : 0);
}

// A BMP image from the stream; a bitmap that does not read whole marks the
// stream as failed.
std::unique_ptr<kxobject::TKxDib> ReadBitmap(TKxStream& stream) {
  auto dib = std::make_unique<kxobject::TKxDib>();
  dib->ReadBmp(stream);
  if (dib->IsOK()) return dib;
  if (stream.Status == 0) stream.Error(kxobject::kStreamReadError, 0);
  return nullptr;
}

// The code and text a card hands the context for an action.
int CardActionCode(const TKxAction& action, char (&text)[kMaxExpressionValue + 1]) {
  text[0] = 0;
  if (action.Text.Length() == 0) return TCardElement::kNoAction;
  if (action.Kind == TKxAction::kLink) {
    EvaluateExpression(0, action.Text.CStr(), 2, text, "Expression Error");
    return TCardElement::kLinkAction;
  }
  if (action.Kind != TKxAction::kMacro) return TCardElement::kNoAction;
  StrLCopy(text, action.Text.CStr(), kMaxExpressionValue);
  return TCardElement::kMacroAction;
}

}  // namespace

// --- TTimerElement ---

TTimerElement::TTimerElement(TMaskPage* owner, int16_t kind, const TRect& bounds)
    : TMaskElement(owner, kind, bounds), Action(new TKxAction(TKxAction::kMacro, "")) {
  RecordCode = kCodeTimer;
}

TTimerElement::TTimerElement(const TTimerElement& other)
    : TMaskElement(other), Interval(other.Interval), Action(new TKxAction(*other.Action)) {}

TTimerElement::TTimerElement(TKxStream& stream, int16_t version) : TMaskElement(stream, version) {
  RecordCode = kCodeTimer;
  Interval = int32_t(ReadLong(stream));
  Action = new TKxAction(stream, version);
}

TTimerElement::~TTimerElement() { delete Action; }

char* TTimerElement::GetTypeName(char* buffer, int32_t size) const { return StrLCopy(buffer, "Zeitgeber", size); }

TPropertySet* TTimerElement::CreatePropertySet() {
  auto* set = new TPropertySet();
  set->Add(new TIntProperty(&Interval, 0, kMaxInterval));
  return set;
}

TPropertySet* TTimerElement::CreateEventSet() { return CreateEventPropertySet(*this, &Action, "Timer"); }

void TTimerElement::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  WriteLong(stream, uint32_t(Interval));
  Action->Write(stream);
}

void TTimerElement::AdjustBounds(TRect& bounds) { FitPlaceholder(bounds); }

void TTimerElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool, uint8_t,
                         bool design) {
  if (design) DrawPlaceholder(*this, context, x, y, kTimerBitmap);
  extent.x = x + Bounds.right;
  if (Owner) extent.y -= Owner->GetHeight() - Bounds.bottom;
}

// --- THTMLCommand ---

THTMLCommand::THTMLCommand(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* command)
    : TMaskElement(owner, kind, bounds), Command(StrDup(command)) {
  RecordCode = kCodeHtmlCommand;
}

THTMLCommand::THTMLCommand(const THTMLCommand& other) : TMaskElement(other), Command(StrDup(other.Command)) {}

THTMLCommand::THTMLCommand(TKxStream& stream, int16_t version)
    : TMaskElement(stream, version), Command(stream.ReadString()) {
  RecordCode = kCodeHtmlCommand;
}

THTMLCommand::~THTMLCommand() { StrFree(Command); }

char* THTMLCommand::GetTypeName(char* buffer, int32_t size) const { return StrLCopy(buffer, "HTML-Befehl", size); }

TPropertySet* THTMLCommand::CreatePropertySet() {
  auto* set = new TPropertySet();
  set->Add(new TStringProperty(kMaxExpressionValue, &Command, CheckExpressionText));
  return set;
}

void THTMLCommand::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  stream.WriteString(Command);
}

void THTMLCommand::AdjustBounds(TRect& bounds) { FitOneLine(*this, bounds); }

void THTMLCommand::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool, uint8_t,
                        bool design) {
  const TRect r = InnerAt(*this, x, y);
  if (design) {
    OutputText(context, Command ? Command : "", r, 0);
  } else {
    char value[kMaxExpressionValue + 1];
    EvaluateExpression(0, Command ? Command : "", 2, value, "Error in Expression");
    context.AddCommand(r, value);
  }
  extent = TPoint{r.right, r.bottom};
}

// --- TCardElement ---

TCardElement::TCardElement(TMaskPage* owner, int16_t kind, const TRect& bounds)
    : TMaskElement(owner, kind, bounds), CardAction(new TKxAction(TKxAction::kMacro, "")) {
  RecordCode = kCodeCard;
}

TCardElement::TCardElement(const TCardElement& other)
    : TMaskElement(other),
      Title(StrDup(other.Title)),
      Identifier(StrDup(other.Identifier)),
      CardAction(new TKxAction(*other.CardAction)) {
  for (int32_t i = 0; i < other.Actions.Count(); ++i)
    AddLine(other.Labels.StrAt(i), new TKxAction(*other.Actions.At(i)));
}

TCardElement::TCardElement(TKxStream& stream, int16_t version) : TMaskElement(stream, version) {
  RecordCode = kCodeCard;
  Title = stream.ReadString();
  Identifier = stream.ReadString();
  CardAction = new TKxAction(stream, version);
  const int32_t lines = int32_t(ReadLong(stream));
  if (!RecordsFit(stream, lines, kMinLineBytes)) return;
  for (int32_t i = 0; i < lines && stream.Status == 0; ++i) {
    char* label = stream.ReadString();
    AddLine(label, new TKxAction(stream, version));
    StrFree(label);
  }
}

TCardElement::~TCardElement() {
  StrFree(Title);
  StrFree(Identifier);
  delete CardAction;
}

char* TCardElement::GetTypeName(char* buffer, int32_t size) const { return StrLCopy(buffer, "Card", size); }

TPropertySet* TCardElement::CreatePropertySet() {
  auto* set = new TPropertySet();
  set->Add(new TStringProperty(kMaxCardText, &Title, nullptr));
  set->Add(new TStringProperty(kMaxCardText, &Identifier, nullptr));
  return set;
}

void TCardElement::AddLine(const char* label, TKxAction* action) {
  Labels.Insert(StrDup(label));
  Actions.Insert(action);
}

void TCardElement::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  stream.WriteString(Title);
  stream.WriteString(Identifier);
  CardAction->Write(stream);
  WriteLong(stream, uint32_t(Actions.Count()));
  for (int32_t i = 0; i < Actions.Count(); ++i) {
    stream.WriteString(Labels.StrAt(i));
    Actions.At(i)->Write(stream);
  }
}

void TCardElement::AdjustBounds(TRect& bounds) { FitOneLine(*this, bounds); }

void TCardElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool, uint8_t,
                        bool design) {
  if (design) {
    const TRect r = InnerAt(*this, x, y);
    char text[kMaxExpressionValue + 32];
    if (Identifier)
      std::snprintf(text, sizeof text, "-----Begin Card \"%s\"-----", Identifier);
    else
      StrLCopy(text, "-----Begin New Card-----", sizeof text - 1);
    OutputText(context, text, r, 1);
    extent = TPoint{r.right, r.bottom};
    return;
  }
  char title[kMaxExpressionValue + 1] = {}, identifier[kMaxExpressionValue + 1] = {},
       command[kMaxExpressionValue + 1];
  if (Title) EvaluateExpression(0, Title, 0, title, "Expression Error");
  if (Identifier) EvaluateExpression(0, Identifier, 0, identifier, "Expression_Error");
  const int code = CardActionCode(*CardAction, command);
  context.BeginCard(title, identifier, code, command);
  for (int32_t i = 0; i < Actions.Count(); ++i) {
    const int lineCode = CardActionCode(*Actions.At(i), command);
    const char* label = Labels.StrAt(i);
    context.AddOptionsCommand(label ? label : "", lineCode, command);
  }
  extent = TPoint{x, y};
}

// --- TLogoField ---

TLogoField::TLogoField(TMaskPage* owner, int16_t kind, const TRect& bounds, int32_t actionKind)
    : TMaskElement(owner, kind, bounds),
      Action(new TKxAction(actionKind, "")),
      Picture(std::make_unique<kxobject::TKxPicture>()) {
  RecordCode = kCodeLogo;
}

TLogoField::TLogoField(const TLogoField& other)
    : TMaskElement(other),
      Action(new TKxAction(*other.Action)),
      PictureMode(other.PictureMode),
      Picture(std::make_unique<kxobject::TKxPicture>(*other.Picture)) {}

TLogoField::TLogoField(TKxStream& stream, int16_t version)
    : TMaskElement(stream, version), Action(nullptr), Picture(std::make_unique<kxobject::TKxPicture>()) {
  RecordCode = kCodeLogo;
  PictureMode = ReadWord(stream);
  const uint16_t storage = ReadWord(stream);
  if (stream.Status == 0 && storage == kStorageLinked) {
    Picture->Embedded = 0;
    Picture->FileName.Attach(stream.ReadString());
  } else if (stream.Status == 0 && storage == kStorageEmbedded) {
    if (auto dib = ReadBitmap(stream))
      Picture->SetGraphic(std::make_unique<kxobject::TKxDibGraphic>(std::move(dib), kxobject::kPictureBmp));
  } else if (storage > kStorageEmbedded) {
    stream.Error(kxobject::kStreamReadError, 0);
  }
  Action = version >= 32 && stream.Status == 0 ? new TKxAction(stream, version) : new TKxAction(TKxAction::kLink, "");
}

TLogoField::~TLogoField() { delete Action; }

char* TLogoField::GetTypeName(char* buffer, int32_t size) const { return StrLCopy(buffer, "Logo", size); }

TPropertySet* TLogoField::CreateEventSet() {
  return Flag ? nullptr : CreateEventPropertySet(*this, &Action, "Click");
}

void TLogoField::MakeAbsolute(const char* base) { Picture->MakeAbsolute(base); }

void TLogoField::MakeRelative(const char* base) { Picture->MakeRelative(base); }

void TLogoField::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  WriteWord(stream, PictureMode);
  auto* raster = dynamic_cast<kxobject::TKxDibGraphic*>(Picture->Graphic.get());
  if (Picture->Embedded && raster && raster->Dib->IsOK()) {
    WriteWord(stream, kStorageEmbedded);
    raster->Dib->WriteBmp(stream);
  } else if (Picture->FileName.Length() > 0) {
    WriteWord(stream, kStorageLinked);
    stream.WriteString(Picture->FileName.CStr());
  } else {
    WriteWord(stream, kStorageNone);
  }
  Action->Write(stream);
}

void TLogoField::SetPictureFile(const char* fileName) {
  Picture->Clear();
  Picture->FileName.Assign(fileName ? fileName : "", -1);
  Picture->Embedded = 0;
  Picture->GetGraphic();
}

char* TLogoField::GetPictureFile(char* buffer, int32_t size) const {
  return StrLCopy(buffer, Picture->FileName.CStr(), size);
}

void TLogoField::SetPicture(const kxobject::TKxPicture& picture) {
  Picture = std::make_unique<kxobject::TKxPicture>(picture);
}

bool TLogoField::HasGraphic() const { return Picture->GetGraphic() != nullptr; }

void TLogoField::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                      uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  if (Picture->IsEmpty() || (FrameStyle < 0 && !design)) return;
  if (kxobject::TKxGraphic* graphic = Picture->GetGraphic())
    context.DrawGraphic(InnerAt(*this, x, y), PictureMode != 0, graphic, SecondText ? SecondText : "");
}

void TLogoField::Print(reports::TSgmlContext& context, TPrintParams& params) {
  const char* text = Action->Text.CStr();
  if (*text) {
    if (Action->Kind == TKxAction::kLink) {
      char address[kMaxExpressionValue + 1];
      SolveOnForm(*this, text, 2, address, sizeof address);
      context.SetLink(address, "");
    } else {
      context.SetCommandLink(text, "");
    }
  }
  if (!Picture->Embedded && Picture->FileName.Length() > 0) {
    TPoint extent;
    TMaskElement::Draw(context, params.Left, params.Top, extent, true, params.Background, false);
    params.Right = extent.x;
    params.Bottom = extent.y;
    params.ClearContinuation();
    context.DrawPictureFile(InnerAt(*this, params.Left, params.Top), PictureMode != 0, Picture->FileName.CStr(),
                            SecondText ? SecondText : "");
  } else {
    TMaskElement::Print(context, params);
  }
  if (*text) context.EndLink();
}

// --- TMacroField ---

TMacroField::TMacroField(TMaskPage* owner, int16_t kind, const TRect& bounds, uint16_t buttonType,
                         const char* caption)
    : TMaskElement(owner, kind, bounds),
      Action(new TKxAction(TKxAction::kMacro, "")),
      ButtonType(buttonType),
      Caption(StrDup(caption)) {
  RecordCode = kCodeMacro;
  Color = kxfont::IndexToColor(kind == 2 ? 8 : -1);
}

TMacroField::TMacroField(const TMacroField& other)
    : TMaskElement(other),
      Action(new TKxAction(TKxAction::kMacro, other.Action->Text.CStr())),
      ButtonType(other.ButtonType),
      Caption(StrDup(other.Caption)),
      ThirdText(StrDup(other.ThirdText)) {}

TMacroField::TMacroField(TKxStream& stream, int16_t version) : TMaskElement(stream, version), Action(nullptr) {
  RecordCode = kCodeMacro;
  ButtonType = ReadWord(stream);
  Caption = stream.ReadString();
  Action = new TKxAction(TKxAction::kMacro, "");
  Action->Text.Attach(stream.ReadString());
  if (version >= 20) ThirdText = stream.ReadString();
  if (version >= 19 && ReadWord(stream) != 0 && stream.Status == 0) Bitmap = ReadBitmap(stream);
}

TMacroField::~TMacroField() {
  delete Action;
  StrFree(Caption);
  StrFree(ThirdText);
}

char* TMacroField::GetTypeName(char* buffer, int32_t size) const { return StrLCopy(buffer, "Schalter", size); }

TPropertySet* TMacroField::CreateEventSet() {
  return Flag ? nullptr : CreateEventPropertySet(*this, &Action, "Click");
}

int32_t TMacroField::GetText(char* buffer, int32_t size) const {
  kxstring::StrLCopyOrEmpty(buffer, Caption, size);
  return 0;
}

void TMacroField::SetButtonType(uint16_t type, const char* text) {
  ButtonType = type;
  if (type == kMacroButton && text) Action->Text.Assign(text, -1);
}

void TMacroField::SetBitmap(std::unique_ptr<kxobject::TKxDib> bitmap) { Bitmap = std::move(bitmap); }

void TMacroField::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  WriteWord(stream, ButtonType);
  stream.WriteString(Caption);
  stream.WriteString(Action->Text.CStr());
  stream.WriteString(ThirdText);
  WriteWord(stream, Bitmap ? 1 : 0);
  if (Bitmap) Bitmap->WriteBmp(stream);
}

void TMacroField::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                       uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  if (!design) return;
  const TRect r = InnerAt(*this, x, y);
  context.SelectPen(win::CreatePen(win::PS_SOLID, 1, 0xFFFFFF));
  context.MoveTo(r.left, r.bottom);
  context.LineTo(r.left, r.top - 1);
  context.LineTo(r.right + 1, r.top - 1);
  context.RestorePen();
  context.SelectPen(win::CreatePen(win::PS_SOLID, 1, 0x808080));
  context.MoveTo(r.left, r.bottom - 2);
  context.LineTo(r.right - 2, r.bottom - 2);
  context.LineTo(r.right - 2, r.top);
  context.RestorePen();
  OutputText(context, Caption ? Caption : "", TRect{r.left + 4, r.top + 4, r.right - 4, r.bottom - 4}, 1);
}

void TMacroField::Print(reports::TSgmlContext& context, TPrintParams& params) {
  const TRect r = InnerAt(*this, params.Left, params.Top);
  const char* caption = Caption ? Caption : "";
  if (ButtonType == kSubmit) {
    const char* macro = Action->Text.CStr();
    context.AddSubmitButton(r, FormatIndex, caption, false, *macro ? macro : "OnSubmitBtnClick");
  } else if (ButtonType == kReset) {
    context.AddResetButton(r, FormatIndex, caption);
  } else {
    OutputText(context, "ERR: Unknown button type", r, 0);
  }
  params.Right = r.right;
  params.Bottom = r.bottom;
  params.ClearContinuation();
}

}  // namespace forms
