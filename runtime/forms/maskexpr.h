// The computed elements of a form page: the expression element, which shows
// the value of an expression on the current record; the reference element,
// an expression element that becomes a link in a document; and the
// formatted-text element, whose "$" expressions are filled in when it is
// printed and which continues on the next page where it stopped.
//
// What always holds:
//   1. An expression element's Source is 0 (no expression, Expression null)
//      or 1 (Expression the text, null for an empty one). A record with any
//      other source is refused: the stream is marked as failed, so the form
//      reader stops with -2 instead of trusting the file.
//   2. Tokens hold the compiled expression for the table the element was
//      last bound to, or nothing (first byte 0). Reading leaves them empty;
//      SetExpression and AttachDataSource fill them.
//   3. Mode 1 makes the line-count byte a line count; in any other mode the
//      element shows one line and the byte is the format code handed to the
//      evaluation.
//   4. A reference always owns its link action (never null); so do the
//      formatted-text element its text.
//   5. A formatted-text element never changes its own text while printing:
//      expressions are filled into a copy. A print that stops before the
//      end leaves exactly one continuation in the print parameters, which
//      the next call on the next page moves on, and the call that reaches
//      the end deletes.
//   6. Filling in "$" never reads past the text: "$$" is one "$", "$(" runs
//      to its matching ")", any other "$" takes the letters and digits after
//      it; an unmatched "(" or an expression of more than 255 characters
//      prints the error text in place of the rest, never a cut expression.
//
// Records after the base element record:
//   expression   text style u8, line count u8, mode u16 (version >= 28;
//                older files give 6), source u16, expression string when
//                the source is 1
//   reference    the expression record, then from version 34 the link
//                action (i32 kind, string); up to version 33 the link text
//                and a second text, strings: the link text becomes a link
//                action of kind 2, the second text is dropped
//   formatted    text style u8, line count u8, then the formatted text's
//   text         record (u32 length, characters)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/forms/maskelems.h"
#include "runtime/forms/maskpage.h"

namespace reports {
class TFormattedText;
}

namespace forms {

constexpr int16_t kCodeExpression = -4, kCodeReference = -10, kCodeFormattedText = -11;
constexpr uint32_t kNoExpressionText = 52606;  // "<Keine Formel>"
constexpr int32_t kMaxExpressionValue = 255;

// Tokenizes text on table and solves it with format into out (at most 255
// characters and a terminator); on either failure out holds failText and the
// answer is false.
bool EvaluateExpression(int32_t table, const char* text, int32_t format, char* out, const char* failText);
// Tokenizes text on the element's table and evaluates it through the form's
// expression solving (format; out holds at most size - 1 characters); the
// solving's answer, -1 without a form or when tokenizing fails (out empty).
int32_t SolveOnForm(const TMaskElement& element, const char* text, int32_t format, char* out, int32_t size);

class TExpressionElement : public TTextElement {
 public:
  static constexpr uint16_t kMultiLine = 1, kSingleLine = 6;

  TExpressionElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text);
  TExpressionElement(const TExpressionElement& other);
  TExpressionElement(TKxStream& stream, int16_t version);
  ~TExpressionElement() override;

  using TMaskElement::CheckExpression;
  TMaskElement* Clone() const override { return new TExpressionElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void Write(TKxStream& stream) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  bool IsComputed() const override { return true; }
  // The two table-set words of the engine's analysis on table 0.
  void AnalyzeExpression(int32_t info[2]) const override;
  void AttachDataSource() override { Tokenize(); }
  // The value on the form's record; without a data source the expression
  // text, or "<Keine Formel>" without one.
  int32_t GetText(char* buffer, int32_t size) const override;
  uint8_t GetLineCount() const override { return Mode == kMultiLine ? LineCount : 1; }
  int32_t GetTextLength() const override { return kMaxExpressionValue; }
  void SetLineCount(uint8_t count) override;
  // Source 0 or 1 (anything else is refused with -1); answers the
  // tokenizing result.
  virtual int32_t SetExpression(uint16_t source, const char* text);
  virtual int32_t CheckExpression(uint16_t source, const char* text) const;

  uint16_t GetMode() const { return Mode; }
  uint16_t GetSource() const { return Source; }
  const char* GetExpression() const { return Expression; }
  bool HasTokens() const { return Tokens[0] != 0; }

 protected:
  // Fills the tokens from the text on the element's table.
  int32_t Tokenize();

  uint16_t Mode = kSingleLine;
  uint16_t Source = 0;
  char* Expression = nullptr;
  uint8_t Tokens[kTokenBufferSize] = {};
};

class TReferenceElement : public TExpressionElement {
 public:
  TReferenceElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text);
  TReferenceElement(const TReferenceElement& other);
  TReferenceElement(TKxStream& stream, int16_t version);
  ~TReferenceElement() override;

  TMaskElement* Clone() const override { return new TReferenceElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  TPropertySet* CreateEventSet() override;
  void Write(TKxStream& stream) const override;
  // In a document: the value inside a link to the address the action
  // computes, or to the macro with the record's number.
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;

  TKxAction& GetAction() const { return *Action; }

 private:
  TKxAction* Action;
};

class TFormattedTextElement : public TTextElement {
 public:
  TFormattedTextElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text);
  TFormattedTextElement(const TFormattedTextElement& other);
  TFormattedTextElement(TKxStream& stream, int16_t version);
  ~TFormattedTextElement() override;

  TMaskElement* Clone() const override { return new TFormattedTextElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void Write(TKxStream& stream) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  void Print(reports::TSgmlContext& context, TPrintParams& params) override;
  int32_t GetText(char* buffer, int32_t size) const override;
  int32_t GetTextLength() const override;
  void SetText(const char* text) override;
  // Takes the text (ownership passes); the old one is deleted.
  void ReplaceText(std::unique_ptr<reports::TFormattedText> text);
  const reports::TFormattedText& GetFormattedText() const { return *Text; }

 private:
  std::unique_ptr<reports::TFormattedText> Text;
};

// The text with every "$" expression replaced by its value (table 0, the
// active cursor), as a formatted-text element prints it.
std::string FillInExpressions(const std::string& text);

}  // namespace forms
