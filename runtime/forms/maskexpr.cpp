// Expression, reference and formatted-text elements (see maskexpr.h).
#include "runtime/forms/maskexpr.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/interface/include/zetcore.h"
#include "platform/resources/resources.h"
#include "runtime/dataviews/datasrc.h"
#include "runtime/forms/mask.h"
#include "runtime/forms/maskprop.h"
#include "runtime/reports/formtext.h"
#include "runtime/reports/sgmlctx.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrFree;
using kxstring::StrLCopy;

namespace {

constexpr const char* kPrintError = "ERROR IN EXPRESSION";
constexpr int32_t kPrintFormat = 2;

TRect Offset(const TRect& r, int32_t x, int32_t y) { return TRect{r.left + x, r.top + y, r.right + x, r.bottom + y}; }

bool IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  // cp1252 letters above the 7-bit range (umlauts, accents) continue a
  // name too; the multiplication and division signs do not.
  return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' ||
         (u >= 0xC0 && u != 0xD7 && u != 0xF7);
}

// The end of the expression that starts after the "$" at dollar: one past
// its closing parenthesis, or past its name; npos for an unmatched "(".
size_t ExpressionEnd(const std::string& text, size_t dollar) {
  size_t i = dollar + 1;
  if (i < text.size() && text[i] == '(') {
    int32_t depth = 0;
    for (; i < text.size(); ++i) {
      if (text[i] == '(') ++depth;
      if (text[i] == ')' && --depth == 0) return i + 1;
    }
    return std::string::npos;
  }
  while (i < text.size() && IsNameChar(text[i])) ++i;
  return i;
}

}  // namespace

bool EvaluateExpression(int32_t table, const char* text, int32_t format, char* out, const char* failText) {
  uint8_t tokens[kTokenBufferSize] = {};
  if (ZetTokenize(table, tokens, text) == 0 &&
      ZetSolve(table, out, tokens, kMaxExpressionValue, format) == 0)
    return true;
  StrLCopy(out, failText, kMaxExpressionValue);
  return false;
}

int32_t SolveOnForm(const TMaskElement& element, const char* text, int32_t format, char* out, int32_t size) {
  if (size > 0) out[0] = 0;
  TMask* mask = element.GetMask();
  uint8_t tokens[kTokenBufferSize] = {};
  if (!mask || ZetTokenize(element.GetTableHandle(), tokens, text) != 0) return -1;
  return mask->Solve(tokens, out, size, format);
}

std::string FillInExpressions(const std::string& source) {
  std::string text = source;
  size_t at = 0;
  while ((at = text.find('$', at)) != std::string::npos) {
    if (at + 1 < text.size() && text[at + 1] == '$') {
      text.erase(at, 1);
      ++at;
      continue;
    }
    const size_t end = ExpressionEnd(text, at);
    const size_t stop = end == std::string::npos ? text.size() : end;
    const std::string expression = text.substr(at + 1, stop - at - 1);
    char value[kMaxExpressionValue + 1] = {};
    if (end == std::string::npos || expression.size() > size_t(kMaxExpressionValue))
      StrLCopy(value, kPrintError, kMaxExpressionValue);
    else
      EvaluateExpression(0, expression.c_str(), kPrintFormat, value, kPrintError);
    text.replace(at, stop - at, value);
    at += std::strlen(value);
  }
  return text;
}

// --- TExpressionElement ---

TExpressionElement::TExpressionElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text)
    : TTextElement(owner, kind, bounds) {
  LineCount = 2;
  RecordCode = kCodeExpression;
  SetExpression(1, text);
}

TExpressionElement::TExpressionElement(const TExpressionElement& other)
    : TTextElement(other), Mode(other.Mode), Source(other.Source), Expression(StrDup(other.Expression)) {
  std::memcpy(Tokens, other.Tokens, sizeof Tokens);
}

TExpressionElement::TExpressionElement(TKxStream& stream, int16_t version) : TTextElement(stream, version) {
  RecordCode = kCodeExpression;
  if (version >= 28) Mode = ReadWord(stream);
  Source = ReadWord(stream);
  if (stream.Status != 0) return;
  if (Source > 1) {
    stream.Error(kxobject::kStreamReadError, 0);
    Source = 0;
    return;
  }
  if (Source == 1) Expression = stream.ReadString();
}

TExpressionElement::~TExpressionElement() { StrFree(Expression); }

char* TExpressionElement::GetTypeName(char* buffer, int32_t size) const { return StrLCopy(buffer, "Formel", size); }

void TExpressionElement::Write(TKxStream& stream) const {
  TTextElement::Write(stream);
  WriteWord(stream, Mode);
  WriteWord(stream, Source);
  if (Source == 1) stream.WriteString(Expression);
}

void TExpressionElement::AnalyzeExpression(int32_t info[2]) const {
  uint16_t kind = 0;
  uint32_t low = 0, high = 0;
  info[0] = info[1] = 0;
  if (!Expression || ZetAnalizeExpression(0, Expression, &kind, &low, &high) != 0) return;
  info[0] = int32_t(low);
  info[1] = int32_t(high);
}

void TExpressionElement::SetLineCount(uint8_t count) {
  LineCount = count;
  Mode = count > 1 ? kMultiLine : kSingleLine;
}

int32_t TExpressionElement::SetExpression(uint16_t source, const char* text) {
  if (source > 1) return -1;
  StrFree(Expression);
  Expression = nullptr;
  Source = source;
  if (source == 1) Expression = StrDup(text);
  return Tokenize();
}

int32_t TExpressionElement::Tokenize() {
  Tokens[0] = 0;
  if (!Expression) return 0;
  return ZetTokenize(GetTableHandle(), Tokens, Expression);
}

int32_t TExpressionElement::CheckExpression(uint16_t source, const char* text) const {
  if (source != 1 || !text || !*text) return 0;
  return TMaskElement::CheckExpression(text);
}

int32_t TExpressionElement::GetText(char* buffer, int32_t size) const {
  TMask* mask = GetMask();
  if (mask && mask->GetDataSource())
    return mask->Solve(Tokens, buffer, size + 1, Mode == kMultiLine ? 0 : LineCount);
  if (Expression)
    StrLCopy(buffer, Expression, size);
  else if (platform::LoadStringResource(kNoExpressionText, buffer, size + 1) <= 0 && size >= 0)
    buffer[0] = 0;
  return 0;
}

void TExpressionElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                              uint8_t style, bool design) {
  if (!design) {
    TTextElement::Draw(context, x, y, extent, fill, style, design);
    return;
  }
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  TRect inner;
  GetInnerBounds(inner);
  OutputText(context, Expression ? Expression : "", Offset(inner, x, y), TextStyle);
}

// --- TReferenceElement ---

TReferenceElement::TReferenceElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text)
    : TExpressionElement(owner, kind, bounds, text), Action(new TKxAction(TKxAction::kLink, "")) {
  RecordCode = kCodeReference;
}

TReferenceElement::TReferenceElement(const TReferenceElement& other)
    : TExpressionElement(other), Action(new TKxAction(*other.Action)) {}

TReferenceElement::TReferenceElement(TKxStream& stream, int16_t version)
    : TExpressionElement(stream, version), Action(nullptr) {
  RecordCode = kCodeReference;
  if (version >= 34) {
    Action = new TKxAction(stream, version);
    return;
  }
  Action = new TKxAction(TKxAction::kLink, "");
  Action->Text.Attach(stream.ReadString());
  StrFree(stream.ReadString());
}

TReferenceElement::~TReferenceElement() { delete Action; }

char* TReferenceElement::GetTypeName(char* buffer, int32_t size) const {
  return StrLCopy(buffer, "Referenz", size);
}

TPropertySet* TReferenceElement::CreateEventSet() { return CreateEventPropertySet(*this, &Action, "Click"); }

void TReferenceElement::Write(TKxStream& stream) const {
  TExpressionElement::Write(stream);
  Action->Write(stream);
}

void TReferenceElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                             uint8_t style, bool design) {
  const char* text = Action->Text.CStr();
  if (!*text) {
    TExpressionElement::Draw(context, x, y, extent, fill, style, design);
    return;
  }
  if (Action->Kind == TKxAction::kLink) {
    char address[kMaxExpressionValue + 1];
    const bool linked = SolveOnForm(*this, text, 0, address, sizeof address) == 0 && address[0];
    if (linked) context.SetLink(address, "");
    TExpressionElement::Draw(context, x, y, extent, fill, style, design);
    if (linked) context.EndLink();
    return;
  }
  if (Action->Kind != TKxAction::kMacro) return;
  dataviews::TDataSource* source = GetDataSource();
  char link[kMaxExpressionValue + 32];
  std::snprintf(link, sizeof link, "%s&amp;rid=%d", text, source ? int(source->GetRecNo()) : 0);
  context.SetCommandLink(link, "");
  TExpressionElement::Draw(context, x, y, extent, fill, style, design);
  context.EndLink();
}

// --- TFormattedTextElement ---

namespace {

std::unique_ptr<reports::TFormattedText> NewText() {
  auto text = std::make_unique<reports::TFormattedText>(10, 10);
  text->WordWrap = 1;
  return text;
}

}  // namespace

TFormattedTextElement::TFormattedTextElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text)
    : TTextElement(owner, kind, bounds), Text(NewText()) {
  LineCount = 5;
  RecordCode = kCodeFormattedText;
  if (text) Text->AddText(text, int32_t(std::strlen(text)));
}

TFormattedTextElement::TFormattedTextElement(const TFormattedTextElement& other)
    : TTextElement(other), Text(std::make_unique<reports::TFormattedText>(*other.Text)) {}

TFormattedTextElement::TFormattedTextElement(TKxStream& stream, int16_t version)
    : TTextElement(stream, version), Text(NewText()) {
  RecordCode = kCodeFormattedText;
  if (stream.Status == 0) Text->Read(stream);
}

TFormattedTextElement::~TFormattedTextElement() = default;

char* TFormattedTextElement::GetTypeName(char* buffer, int32_t size) const { return StrLCopy(buffer, "Text", size); }

void TFormattedTextElement::Write(TKxStream& stream) const {
  TTextElement::Write(stream);
  Text->Write(stream);
}

int32_t TFormattedTextElement::GetText(char* buffer, int32_t size) const {
  StrLCopy(buffer, Text->GetText().c_str(), size);
  return 0;
}

int32_t TFormattedTextElement::GetTextLength() const { return Text->GetLength(); }

void TFormattedTextElement::SetText(const char* text) {
  Text->Clear();
  if (text) Text->AddText(text, int32_t(std::strlen(text)));
}

void TFormattedTextElement::ReplaceText(std::unique_ptr<reports::TFormattedText> text) {
  if (text) Text = std::move(text);
}

void TFormattedTextElement::Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill,
                                 uint8_t style, bool design) {
  TMaskElement::Draw(context, x, y, extent, fill, style, design);
  TRect inner;
  GetInnerBounds(inner);
  inner = Offset(inner, x, y);
  auto copy = std::make_unique<reports::TFormattedText>(*Text);
  copy->Format(context, inner.right - inner.left, -1, true);
  DrawFormatted(context, inner, std::move(copy), TextStyle, nullptr);
}

void TFormattedTextElement::Print(reports::TSgmlContext& context, TPrintParams& params) {
  auto copy = NewText();
  const std::string filled = FillInExpressions(Text->GetText());
  copy->AddText(filled.c_str(), int32_t(filled.size()));
  TRect bounds, inner;
  GetBounds(bounds);
  GetInnerBounds(inner);
  const int32_t rightMargin = bounds.right - inner.right, bottomMargin = bounds.bottom - inner.bottom;
  inner = Offset(inner, params.Left, params.Top);
  context.SelectFormat(FormatIndex);
  copy->Format(context, inner.right - inner.left, -1, true);
  auto* pending = dynamic_cast<TFieldDataPos*>(params.Continuation);
  int32_t position = pending ? std::clamp(pending->CharPos, 0, copy->GetLineCount() - 1) : 0;
  const int32_t last = copy->GetLineCount() - 1;
  const int32_t reached = inner.top + copy->GetLineTop(last) + copy->GetLineHeight(last) - copy->GetLineTop(position);
  context.DrawFormattedText(inner, params.Bottom, FormatIndex, TextStyle, GetColor(), std::move(copy), &position);
  params.Right = inner.right + rightMargin;
  if (position < 0) {
    params.ClearContinuation();
    params.Bottom = reached + bottomMargin;
    return;
  }
  if (!pending) {
    pending = new TMemoPos();
    params.SetContinuation(pending);
  }
  pending->CharPos = position;
}

}  // namespace forms
