// Colours, fonts and text formats: the colour table, the persistent font
// records (TLogicalFont, TKxFont) and named text formats (TKxFormat), their
// German description texts, and realising a font for a device context.
//
// Records in streams (little-endian, no padding):
//   LOGFONT      50 bytes: lfHeight, lfWidth, lfEscapement, lfOrientation,
//                lfWeight as 16-bit words (low 16 bits written, read back
//                sign-extended); the eight byte fields; the 32-byte face
//                name field as it is held.
//   TLogicalFont 56 bytes: PointSize (16 bits), LOGFONT, Color (4 bytes).
//   TKxFont      54 bytes: LOGFONT, Color (4 bytes).
//   TKxFormat    97 bytes: Kind (16 bits), the 41-byte Name field as held,
//                TKxFont.
//
// What always holds:
//   1. Fixed character fields (a LOGFONT's face name, a format's Name) are
//      written and read whole, so a record read and written again gives the
//      same bytes; they need not hold a terminator, and every reader of them
//      stops at the field's end.
//   2. Reading a LOGFONT clears it first; reading never tests the stream's
//      status (the caller tests Status after a whole document), and a short
//      read leaves zeros, never bytes of an earlier record.
//   3. Buffers given with a maximum length hold that many characters and a
//      terminator; nothing is written past them.
//   4. A TKxFont's LOGFONT holds its height in tenths of a millimetre; only
//      CreateFont converts it for a device, through numerator/denominator,
//      neither of which may divide by zero (0 counts as 1).
//   5. Colour indexes run from -1 (transparent, 0xFF000000) to 15; any
//      negative index is transparent.
#pragma once

#include <cstdint>

#include "platform/fonts/logfont.h"
#include "platform/gdi/dc.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace kxfont {

using win::COLORREF;
using win::LOGFONT;

constexpr COLORREF kTransparentColor = 0xFF000000;
constexpr int kColorCount = 16;
constexpr int kNotAColor = -2;  // ColorToIndex of a colour outside the table
constexpr int kMaxFormatName = 40;
constexpr int kColorNameSize = 30;

COLORREF IndexToColor(int32_t index);
COLORREF IndexToColor16(int16_t index);
bool IsTransparentColor(COLORREF color);
// -1 for transparent, 0 .. 15 for a colour of the table, kNotAColor otherwise.
int ColorToIndex(COLORREF color);
// The colour's name in one static buffer, overwritten by the next call.
const char* GetColorName(int index);
// The name of a text style; answers buffer.
char* GetTextStyleName(int style, char* buffer, int max);

void ReadLogFont(kxobject::TKxStream& stream, LOGFONT& lf);
void WriteLogFont(kxobject::TKxStream& stream, const LOGFONT& lf);

// Cuts text (a buffer of max characters and a terminator) so that it fits
// width logical units on dc, ending it with "..." when anything was cut.
void FitTextToWidth(win::Dc& dc, char* text, int max, int width);

// A font with its size in tenths of a point.
class TLogicalFont : public kxobject::TKxObject {
 public:
  TLogicalFont() = default;
  TLogicalFont(int16_t pointSize, const LOGFONT& lf, COLORREF color)
      : LogFont(lf), Color(color), PointSize(pointSize) {}

  void GetLogFont(int16_t& pointSize, LOGFONT& lf, COLORREF& color) const;
  bool IsEmpty() const;
  // The font selected into dc, described by its metrics.
  void FromDC(const win::Dc& dc);
  char* GetDescription(char* buffer, int max) const;
  void Read(kxobject::TKxStream& stream);
  void Write(kxobject::TKxStream& stream) const;

  LOGFONT LogFont{};
  COLORREF Color = 0;
  int16_t PointSize = 0;
};

// A font whose height is in tenths of a millimetre (negative: the character
// height without internal leading), with a colour and the metrics of its
// last realisation.
class TKxFont : public kxobject::TKxObject {
 public:
  // Arial, 3.5 mm, black.
  TKxFont();
  TKxFont(const LOGFONT& lf, COLORREF color) : LogFont(lf), Color(color) {}
  TKxFont(const char* faceName, int32_t height, COLORREF color);
  // Copies the font and its colour, not the metrics.
  TKxFont(const TKxFont& other) : kxobject::TKxObject(), LogFont(other.LogFont), Color(other.Color) {}
  TKxFont& operator=(const TKxFont& other);

  void GetLogFont(LOGFONT& lf) const { lf = LogFont; }
  void SetLogFont(const LOGFONT& lf) { LogFont = lf; }
  char* GetDescription(char* buffer, int max) const;
  // The font for dc, numerator/denominator turning tenths of a millimetre
  // into dc's logical units; sets the metrics. The answer is the logical
  // font to select.
  LOGFONT CreateFont(win::Dc& dc, int32_t numerator, int32_t denominator);
  void Read(kxobject::TKxStream& stream);
  void Write(kxobject::TKxStream& stream) const;

  LOGFONT LogFont{};
  COLORREF Color = 0;
  int16_t Height = 0, InternalLeading = 0, ExternalLeading = 0;
};

// A named text format.
class TKxFormat : public kxobject::TKxObject {
 public:
  // "Standard", kind 0, the default font.
  TKxFormat();
  TKxFormat(int16_t kind, const char* name, const TKxFont& font);
  TKxFormat(const TKxFormat& other);
  TKxFormat& operator=(const TKxFormat& other);

  virtual char* GetName(char* buffer, int max) const;
  virtual void SetName(const char* name);
  virtual char* GetDescription(char* buffer, int max) const;
  virtual void Read(kxobject::TKxStream& stream);
  virtual void Write(kxobject::TKxStream& stream) const;

  int16_t Kind = 0;
  char Name[kMaxFormatName + 1] = {};
  TKxFont Font;
};

}  // namespace kxfont
