// The passive elements of a form page: the text element base with its label
// and frame, the line and the page break; and the German name tables of
// frame styles, element kinds and field kinds.
//
// What always holds:
//   1. A label (and a frame, whose label text is its caption) owns its text,
//      a new[] text or null for none; a copy duplicates it.
//   2. A line's alignment is 0, 1 or 2 after it was read: any other stored
//      value reads as 0.
//   3. None of these elements reads data; each draws only through the output
//      context it is given and answers its extent: the right and bottom of
//      its bounds moved by the offset (the page break: its right only).
//   4. A text element sizes itself (AdjustBounds) only while it stands on a
//      page of a form, whose display metrics give the line height.
//
// Records after the base element record (the same at every version):
//   text element part  text style u8, line count u8
//   label, frame        the text element part, then the text (string)
//   line                alignment i16, line style u16, orientation u16
//   page break          nothing
#pragma once

#include <cstdint>

#include "runtime/forms/maskelem.h"

namespace forms {

// Record codes of the element classes (the framing code in the form file).
constexpr int16_t kCodeFrame = -2, kCodeLabel = -3, kCodePageBreak = -8, kCodeLine = -9;

// The German name of a frame style (-1 .. 11), an element kind by record code
// (-13 .. 10) and a field kind (-2 .. 10); null outside the table or for a
// kind without a name.
const char* GetFrameStyleName(int32_t style);
const char* GetElementKindName(int32_t code);
const char* GetFieldKindName(int32_t code);

// The bitmap resources of the placeholders of invisible elements.
constexpr uint32_t kPageBreakBitmap = 10927, kTimerBitmap = 10932;

// The placeholder's size: 60 x 60 from the top left.
void FitPlaceholder(TRect& bounds);
// The design placeholder of an element that shows nothing of its own: a
// rectangle around its inner rectangle (moved by x, y) and the bitmap inside.
void DrawPlaceholder(const TMaskElement& element, reports::TSgmlContext& context, int32_t x, int32_t y,
                     uint32_t bitmap);

// The base of every element that shows a text.
class TTextElement : public TMaskElement {
 public:
  TTextElement(TMaskPage* owner, int16_t kind, const TRect& bounds) : TMaskElement(owner, kind, bounds) {}
  TTextElement(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TTextElement(*this); }
  void Write(TKxStream& stream) const override;
  // Height: line count times the form's line height, plus 10 with a frame.
  void AdjustBounds(TRect& bounds) override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  int32_t GetValueText(char* buffer, int32_t size) const override { return GetText(buffer, size); }
  // The base has no text: empty, answer -1.
  int32_t GetText(char* buffer, int32_t size) const override;

  virtual uint8_t GetLineCount() const { return LineCount; }
  virtual int32_t GetTextLength() const { return 0; }
  virtual void SetLineCount(uint8_t count) { LineCount = count; }
  uint8_t GetTextStyle() const { return TextStyle; }
  void SetTextStyle(uint8_t style) { TextStyle = style; }

 protected:
  uint8_t TextStyle = 0;
  uint8_t LineCount = 0;
};

class TLabelElement : public TTextElement {
 public:
  TLabelElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* text);
  TLabelElement(const TLabelElement& other);
  TLabelElement(TKxStream& stream, int16_t version);
  ~TLabelElement() override;

  TMaskElement* Clone() const override { return new TLabelElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void Write(TKxStream& stream) const override;
  int32_t GetText(char* buffer, int32_t size) const override;
  int32_t GetTextLength() const override;
  // Answers 0, or -1000 for an empty text (the label then has none).
  virtual int32_t SetLabelText(const char* text);
  void SetText(const char* text) override { SetLabelText(text); }

 protected:
  char* Text = nullptr;
};

class TFrameElement : public TLabelElement {
 public:
  TFrameElement(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* caption);
  TFrameElement(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TFrameElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void AdjustBounds(TRect&) override {}
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  bool ReservedFlag() const override { return true; }
};

class TLineElement : public TMaskElement {
 public:
  static constexpr int16_t kTopLeft = 0, kMiddle = 1, kBottomRight = 2;

  TLineElement(TMaskPage* owner, int16_t kind, const TRect& bounds);
  TLineElement(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TLineElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void Write(TKxStream& stream) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;

  int16_t GetAlignment() const { return Alignment; }
  void SetAlignment(int16_t alignment) { Alignment = alignment; }
  uint16_t GetLineStyle() const { return LineStyle; }
  void SetLineStyle(uint16_t style) { LineStyle = style; }
  uint16_t GetOrientation() const { return Orientation; }
  void SetOrientation(uint16_t orientation) { Orientation = orientation; }

 private:
  int16_t Alignment = kMiddle;
  uint16_t LineStyle = 0;
  uint16_t Orientation = 0;
};

// The page break: a marker in the design, nothing in print.
class TFormatElement : public TMaskElement {
 public:
  TFormatElement(TMaskPage* owner, int16_t kind, const TRect& bounds);
  TFormatElement(TKxStream& stream, int16_t version);

  TMaskElement* Clone() const override { return new TFormatElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void AdjustBounds(TRect& bounds) override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
};

}  // namespace forms
