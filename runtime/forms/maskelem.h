// The element of a form page and its small companions: the action an element
// runs (TKxAction), the position an element keeps while it is printed across
// pages (TDataPos) and the parameter block of page and element printing
// (TPrintParams).
//
// What always holds for a TMaskElement:
//   1. Owner is the page that holds the element, or null while it stands
//      alone; the element never owns its page. Queries that climb to the
//      form (GetColor, GetFontColor, GetRealFont, GetDataSource,
//      GetTableHandle) answer a neutral value when a link is missing.
//   2. Name and SecondText are new[] texts owned by the element, null for
//      none (an empty text is stored as null). A copy duplicates both and
//      starts with Flag 0.
//   3. Bounds are 32-bit in memory and four signed 16-bit words in the form
//      file: the writer clamps a value outside -32768 .. 32767 to the nearest
//      end instead of letting it wrap.
//   4. FormatIndex and FrameStyle are signed 16-bit (frame style -1 is the
//      invisible frame); their file words keep the same bits.
//   5. The inner rectangle is the bounds inset by 5 on every side exactly
//      when the frame style is above 0.
//   6. RecordCode frames the element's record in the form file and chooses
//      its class when it is read; 0 means the element cannot be written.
//
// The base element record (little-endian; a string is a u16 length and its
// bytes, 0 for none; a rectangle four i16):
//
//   field            present when version    when absent
//   name             > 19                    null
//   second text      > 22                    null
//   style flags u16  > 19                    0
//   kind i16         always
//   bounds           always
//   frame style i16  always
//   colour u32       always; below 21 the value read becomes transparent
//   format index     always
//   flag u8          > 34                    0
//
// A kind appends its own fields after the flag: its stream constructor reads
// the base part first, its Write writes the base part first.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/toolkit/kxfont.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"
#include "runtime/toolkit/kxstring.h"

namespace dataviews {
class TDataSource;
}
namespace reports {
class TSgmlContext;
class TFormattedText;
}

namespace forms {

using kxfont::COLORREF;
using kxobject::TKxStream;
using kxobject::TPoint;
using kxobject::TRect;

class TMask;
class TMaskPage;
class TPropertySet;

// Little-endian words and longs of the form file.
uint16_t ReadWord(TKxStream& stream);
void WriteWord(TKxStream& stream, uint16_t value);
uint32_t ReadLong(TKxStream& stream);
void WriteLong(TKxStream& stream, uint32_t value);
// True when count records of at least minBytes each fit in what the stream
// has left; an impossible count marks the stream as failed.
bool RecordsFit(TKxStream& stream, int64_t count, int32_t minBytes);

constexpr COLORREF kLightGrey = 0xC0C0C0;
constexpr COLORREF kLightRed = 0x0000FF;  // the colour of an element without a page
constexpr int16_t kElementNameVersion = 19;  // name and style flags after this version

// What an element does when it is triggered: kind 1 runs the text as a macro,
// any other kind opens the address the text evaluates to.
class TKxAction : public kxobject::TKxObject {
 public:
  static constexpr int32_t kMacro = 1;
  static constexpr int32_t kLink = 2;

  TKxAction(int32_t kind, const char* text) : Kind(kind), Text(text) {}
  // The record: the kind as 4 bytes, then the text as a string.
  TKxAction(TKxStream& stream, int16_t version);
  void Write(TKxStream& stream) const;

  int32_t Kind = kMacro;
  kxstring::TKxString Text;
};

// Where an element goes on when its content did not fit on a page.
class TDataPos : public kxobject::TKxObject {
 public:
  int32_t Position = 0;
};

// The continuation of an element that prints a text: where it goes on.
class TFieldDataPos : public TDataPos {
 public:
  int32_t CharPos = 0;
};

class TMemoPos : public TFieldDataPos {};

// The area page and element printing work in, with the continuation an
// element leaves when it stops before its end (owned).
class TPrintParams : public kxobject::TKxObject {
 public:
  TPrintParams(int16_t left, int16_t top, int16_t right, int16_t bottom, uint8_t background)
      : Left(left), Top(top), Right(right), Bottom(bottom), Background(background) {}
  ~TPrintParams() override { ClearContinuation(); }
  TPrintParams(const TPrintParams&) = delete;
  TPrintParams& operator=(const TPrintParams&) = delete;

  void ClearContinuation() {
    delete Continuation;
    Continuation = nullptr;
  }
  // Replaces the continuation (ownership passes).
  void SetContinuation(TDataPos* pos) {
    ClearContinuation();
    Continuation = pos;
  }

  int32_t Left, Top, Right, Bottom;
  uint8_t Background;
  TDataPos* Continuation = nullptr;
};

class TMaskElement : public kxobject::TKxObject {
 public:
  TMaskElement(TMaskPage* owner, int16_t kind, const TRect& bounds);
  TMaskElement(const TMaskElement& other);
  TMaskElement(TKxStream& stream, int16_t version);
  ~TMaskElement() override;
  TMaskElement& operator=(const TMaskElement&) = delete;

  virtual TMaskElement* Clone() const { return new TMaskElement(*this); }
  virtual char* GetTypeName(char* buffer, int32_t size) const;
  // Property page 1 (values) and 2 (events); the caller owns the set.
  virtual TPropertySet* CreatePropertySet() { return nullptr; }
  virtual TPropertySet* CreateEventSet() { return nullptr; }
  virtual void SetColor(COLORREF color) { Color = color; }
  virtual int32_t GetText(char* buffer, int32_t size) const;
  virtual void SetText(const char*) {}
  virtual void GetBounds(TRect& bounds) const { bounds = Bounds; }
  virtual void SetBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Bounds = TRect{left, top, right, bottom};
  }
  virtual void GetInnerBounds(TRect& bounds) const;
  virtual int16_t GetFormatIndex() const { return FormatIndex; }
  virtual void SetFormatIndex(int16_t index) { FormatIndex = index; }
  // The special kind of an element (a macro button answers 3); 0 here.
  virtual int32_t ReservedQuery() const { return 0; }
  virtual bool IsComputed() const { return false; }
  virtual void MakeAbsolute(const char*) {}
  virtual void MakeRelative(const char*) {}
  virtual void SetKind(int16_t kind) { Kind = kind; }
  virtual void SetRecordCode(int16_t code) { RecordCode = code; }
  virtual void Write(TKxStream& stream) const;
  virtual void AdjustBounds(TRect&) {}
  virtual void Draw(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, bool fill, uint8_t style,
                    bool design);
  virtual void Print(reports::TSgmlContext& context, TPrintParams& params);
  virtual int16_t GetRecordCode() const { return RecordCode; }
  virtual void AnalyzeExpression(int32_t info[2]) const { info[0] = info[1] = 0; }
  virtual int32_t GetTableHandle() const;
  virtual bool IsEditable(int32_t) const { return false; }
  virtual void AttachDataSource() {}
  virtual void DataSourceChanged() {}
  virtual int32_t GetValueText(char* buffer, int32_t size) const;
  // True for the kinds that frame other elements (frame and logo).
  virtual bool ReservedFlag() const { return false; }

  // The colour, or the page's for a transparent one (light red without a page).
  COLORREF GetColor() const;
  COLORREF GetFontColor() const;
  // The realised font of the element's format, null when there is none.
  const kxfont::TKxFont* GetRealFont() const;
  dataviews::TDataSource* GetDataSource() const;
  TMask* GetMask() const;
  uint8_t GetFlag() const { return Flag; }
  void SetFlag(uint8_t flag) { Flag = flag; }
  void SetFrameStyle(int16_t style);
  void SetFrameColorFont(int16_t style, COLORREF color, int16_t format);
  void GetFrameColorFont(int16_t& style, COLORREF& color, int16_t& format) const;
  int16_t GetFrameStyle() const { return FrameStyle; }
  int16_t GetKind() const { return Kind; }
  uint16_t GetStyleFlags() const { return StyleFlags; }
  void SetStyleFlags(uint16_t flags) { StyleFlags = flags; }
  const char* GetName() const { return Name; }
  void SetName(const char* name);
  const char* GetSecondText() const { return SecondText; }
  void SetSecondText(const char* text);
  TMaskPage* GetOwner() const { return Owner; }
  void SetOwner(TMaskPage* owner) { Owner = owner; }

  // The engine's check of an expression on the element's table: 0 when it
  // is correct, else the 1-based error position or a negative code.
  int32_t CheckExpression(const char* text) const;
  // True for an empty or correct action text; else the message in buffer.
  bool CheckAction(const TKxAction& action, char* buffer, int32_t size) const;
  void DrawFrame(reports::TSgmlContext& context, int32_t left, int32_t top, int32_t right, int32_t bottom,
                 uint8_t style, bool force) const;
  // The formatted text (ownership passes) into rect through the context.
  void DrawFormatted(reports::TSgmlContext& context, const TRect& rect, std::unique_ptr<reports::TFormattedText> text,
                     int32_t alignment, int32_t* nextLine) const;
  void OutputText(reports::TSgmlContext& context, const char* text, const TRect& rect, int32_t alignment) const;
  // The text in one line (lines below 2) or broken into lines for the
  // rectangle's width in the element's format.
  void DrawTextLines(reports::TSgmlContext& context, const char* text, const TRect& rect, int32_t lines,
                     int32_t alignment) const;
  // The program's bitmap resource as a symbol inside inner (the element's
  // inner rectangle where it is drawn): inset 4 at the left and top, 8 at
  // the right and bottom.
  void DrawResourceBitmap(reports::TSgmlContext& context, uint32_t bitmap, const TRect& inner) const;

 protected:
  TMaskPage* Owner = nullptr;
  int16_t FormatIndex = 0;
  TRect Bounds;
  char* Name = nullptr;
  char* SecondText = nullptr;
  uint8_t Flag = 0;
  int16_t FrameStyle = 0;
  uint16_t StyleFlags = 0;
  COLORREF Color = kxfont::kTransparentColor;
  int16_t Kind = 0;
  int16_t RecordCode = 0;
};

// The element's record code first, then its record. An element without a
// record code raises xmsg "Unbekannter Datentyp in PutMaskElement".
void PutMaskElement(const TMaskElement& element, TKxStream& stream);

}  // namespace forms
