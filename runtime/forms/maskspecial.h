// The special elements of a form page: the timer, the HTML command and the
// card (invisible on screen and paper, they act on the form window or on a
// document), the logo (a picture with a click action) and the macro button.
//
// What always holds:
//   1. Every action an element has is owned and never null; the card's
//      line actions and line labels have the same count, in the same order.
//   2. A timer runs only with a positive interval: GetPeriod answers 0 (no
//      timer) for an interval of 0 or below, which is kept as stored, so a
//      broken form never floods the window with timer messages.
//   3. A logo always owns a picture (possibly empty). Its record stores an
//      embedded raster picture as a BMP whatever it was loaded from.
//   4. Readers trust no count or code of the file: a card's line count
//      must fit in the bytes left, a logo's storage must be 0 to 2, a
//      bitmap must read whole; otherwise the stream is marked as failed and
//      the form reader stops with -2.
//   5. The values of expressions these elements hand to a document are
//      bounded to 255 characters; an expression that fails hands its fixed
//      error text instead, and the document is still written.
//
// Records after the base element record (little-endian; a string is a u16
// length and its bytes; an action an i32 kind and a string):
//   timer        interval i32 (tenths of a second), action
//   HTML command command string
//   card         title, identifier (strings), card action, line count i32,
//                per line a label string and an action
//   logo         picture mode u16, storage u16 (0 none, 1 linked file,
//                2 embedded), the file name string (1) or a BMP image (2),
//                from version 32 the action (older: a link with no text)
//   macro button button type u16, caption, macro text (strings), from
//                version 20 a third text, from version 19 a bitmap flag u16
//                and, when it is not 0, a BMP image
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/forms/maskelem.h"
#include "runtime/toolkit/kxobject.h"

namespace kxobject {
class TKxDib;
class TKxPicture;
}  // namespace kxobject

namespace forms {

constexpr int16_t kCodeCard = -14, kCodeTimer = -13, kCodeHtmlCommand = -12, kCodeLogo = -5, kCodeMacro = -6;

class TTimerElement : public TMaskElement {
 public:
  static constexpr int32_t kMaxInterval = 604800;

  TTimerElement(TMaskPage* owner, int16_t kind, const TRect& bounds);
  TTimerElement(const TTimerElement& other);
  TTimerElement(TKxStream& stream, int16_t version);
  ~TTimerElement() override;

  TMaskElement* Clone() const override { return new TTimerElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  TPropertySet* CreatePropertySet() override;
  TPropertySet* CreateEventSet() override;
  void Write(TKxStream& stream) const override;
  void AdjustBounds(TRect& bounds) override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;

  int32_t GetInterval() const { return Interval; }
  void SetInterval(int32_t interval) { Interval = interval; }
  // Milliseconds between two firings; 0: the timer must not run.
  uint32_t GetPeriod() const { return Interval > 0 ? uint32_t(Interval) * 100 : 0; }
  TKxAction& GetAction() const { return *Action; }

 private:
  int32_t Interval = 100;
  TKxAction* Action;
};

class THTMLCommand : public TMaskElement {
 public:
  THTMLCommand(TMaskPage* owner, int16_t kind, const TRect& bounds, const char* command);
  THTMLCommand(const THTMLCommand& other);
  THTMLCommand(TKxStream& stream, int16_t version);
  ~THTMLCommand() override;

  TMaskElement* Clone() const override { return new THTMLCommand(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  TPropertySet* CreatePropertySet() override;
  void Write(TKxStream& stream) const override;
  void AdjustBounds(TRect& bounds) override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  int32_t ReservedQuery() const override { return 1; }

  const char* GetCommand() const { return Command; }

 private:
  char* Command = nullptr;
};

class TCardElement : public TMaskElement {
 public:
  // Action codes handed to the context's card operations.
  static constexpr int kNoAction = 0, kLinkAction = 1, kMacroAction = 2;

  TCardElement(TMaskPage* owner, int16_t kind, const TRect& bounds);
  TCardElement(const TCardElement& other);
  TCardElement(TKxStream& stream, int16_t version);
  ~TCardElement() override;

  TMaskElement* Clone() const override { return new TCardElement(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  TPropertySet* CreatePropertySet() override;
  void Write(TKxStream& stream) const override;
  void AdjustBounds(TRect& bounds) override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;

  void SetTitle(const char* title) { kxstring::StrReplaceDup(Title, title); }
  void SetIdentifier(const char* identifier) { kxstring::StrReplaceDup(Identifier, identifier); }
  // Takes the action (ownership passes).
  void AddLine(const char* label, TKxAction* action);
  int32_t GetLineCount() const { return Actions.Count(); }
  TKxAction& GetCardAction() const { return *CardAction; }

 private:
  char* Title = nullptr;
  char* Identifier = nullptr;
  kxobject::TKxStringList Labels{10, 10};
  kxobject::TKxPtrArray<TKxAction> Actions{10, 10};
  TKxAction* CardAction;
};

class TLogoField : public TMaskElement {
 public:
  TLogoField(TMaskPage* owner, int16_t kind, const TRect& bounds, int32_t actionKind);
  TLogoField(const TLogoField& other);
  TLogoField(TKxStream& stream, int16_t version);
  ~TLogoField() override;

  TMaskElement* Clone() const override { return new TLogoField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  TPropertySet* CreateEventSet() override;
  void MakeAbsolute(const char* base) override;
  void MakeRelative(const char* base) override;
  void Write(TKxStream& stream) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  void Print(reports::TSgmlContext& context, TPrintParams& params) override;
  bool ReservedFlag() const override { return true; }

  // The picture becomes the linked file, its graphic loaded from it.
  void SetPictureFile(const char* fileName);
  char* GetPictureFile(char* buffer, int32_t size) const;
  kxobject::TKxPicture& GetPicture() const { return *Picture; }
  void SetPicture(const kxobject::TKxPicture& picture);
  bool HasGraphic() const;
  uint16_t GetPictureMode() const { return PictureMode; }
  void SetPictureMode(uint16_t mode) { PictureMode = mode; }
  TKxAction& GetAction() const { return *Action; }

 private:
  TKxAction* Action;
  uint16_t PictureMode = 0;
  std::unique_ptr<kxobject::TKxPicture> Picture;
};

class TMacroField : public TMaskElement {
 public:
  static constexpr uint16_t kSubmit = 1, kReset = 2, kMacroButton = 255;

  TMacroField(TMaskPage* owner, int16_t kind, const TRect& bounds, uint16_t buttonType, const char* caption);
  TMacroField(const TMacroField& other);
  TMacroField(TKxStream& stream, int16_t version);
  ~TMacroField() override;

  TMaskElement* Clone() const override { return new TMacroField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  TPropertySet* CreateEventSet() override;
  int32_t ReservedQuery() const override { return 3; }
  // The caption.
  int32_t GetText(char* buffer, int32_t size) const override;
  void SetText(const char* caption) override { kxstring::StrReplaceDup(Caption, caption); }
  void Write(TKxStream& stream) const override;
  void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
            bool design) override;
  void Print(reports::TSgmlContext& context, TPrintParams& params) override;

  // Type 255 with a text makes the text the macro.
  void SetButtonType(uint16_t type, const char* text);
  uint16_t GetButtonType() const { return ButtonType; }
  const char* GetThirdText() const { return ThirdText; }
  void SetThirdText(const char* text) { kxstring::StrReplaceDup(ThirdText, text); }
  // Takes the bitmap (null: none).
  void SetBitmap(std::unique_ptr<kxobject::TKxDib> bitmap);
  const kxobject::TKxDib* GetBitmap() const { return Bitmap.get(); }
  TKxAction& GetAction() const { return *Action; }

 private:
  TKxAction* Action;
  uint16_t ButtonType = 0;
  char* Caption = nullptr;
  std::unique_ptr<kxobject::TKxDib> Bitmap;
  char* ThirdText = nullptr;
};

}  // namespace forms
