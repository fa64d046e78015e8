// The Win32 font records and numbers that the toolkit speaks: LOGFONT (what a
// caller asks for), TEXTMETRIC (what it gets) and the DrawText format flags.
//
// These are plain records with Win32's field names and values, so code written
// against the Win32 text calls reads the same here. They hold:
//   1. Heights and widths in a LOGFONT are device pixels when they reach this
//      layer: the drawing layer converts logical units before it asks for a
//      font. lfHeight > 0 is the cell height (ascent + descent), lfHeight < 0
//      is minus the em height, 0 is the default height.
//   2. lfFaceName is 32 bytes and need not hold a terminator: readers stop at
//      the field's end (FaceNameOf).
//   3. Texts are Windows-1252 bytes; a character is one byte.
#pragma once

#include <cstdint>
#include <string>

namespace win {

inline constexpr int LF_FACESIZE = 32;

struct LOGFONT {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;   // tenths of a degree, counter-clockwise
  int32_t lfOrientation = 0;  // not used: the baseline follows lfEscapement
  int32_t lfWeight = 0;       // 0 = FW_NORMAL
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};
};

struct TEXTMETRIC {
  int32_t tmHeight = 0;
  int32_t tmAscent = 0;
  int32_t tmDescent = 0;
  int32_t tmInternalLeading = 0;
  int32_t tmExternalLeading = 0;
  int32_t tmAveCharWidth = 0;
  int32_t tmMaxCharWidth = 0;
  int32_t tmWeight = 0;
  int32_t tmOverhang = 0;
  int32_t tmDigitizedAspectX = 0;
  int32_t tmDigitizedAspectY = 0;
  uint8_t tmFirstChar = 0;
  uint8_t tmLastChar = 0;
  uint8_t tmDefaultChar = 0;
  uint8_t tmBreakChar = 0;
  uint8_t tmItalic = 0;
  uint8_t tmUnderlined = 0;
  uint8_t tmStruckOut = 0;
  uint8_t tmPitchAndFamily = 0;
  uint8_t tmCharSet = 0;
};

// The face name of a LOGFONT, read no further than its 32-byte field.
std::string FaceNameOf(const LOGFONT& lf);
// Sets the face name, cut to 31 characters and terminated.
void SetFaceName(LOGFONT& lf, const std::string& face);

// Weights.
inline constexpr int32_t FW_DONTCARE = 0;
inline constexpr int32_t FW_NORMAL = 400;
inline constexpr int32_t FW_SEMIBOLD = 600;
inline constexpr int32_t FW_BOLD = 700;

// Character sets.
inline constexpr uint8_t ANSI_CHARSET = 0;
inline constexpr uint8_t DEFAULT_CHARSET = 1;

// lfPitchAndFamily: pitch in the low two bits, family in the high nibble.
inline constexpr uint8_t DEFAULT_PITCH = 0;
inline constexpr uint8_t FIXED_PITCH = 1;
inline constexpr uint8_t VARIABLE_PITCH = 2;
inline constexpr uint8_t FF_DONTCARE = 0x00;
inline constexpr uint8_t FF_ROMAN = 0x10;
inline constexpr uint8_t FF_SWISS = 0x20;
inline constexpr uint8_t FF_MODERN = 0x30;
inline constexpr uint8_t FF_SCRIPT = 0x40;
inline constexpr uint8_t FF_DECORATIVE = 0x50;

// tmPitchAndFamily bits (TMPF_FIXED_PITCH set means a variable pitch font).
inline constexpr uint8_t TMPF_FIXED_PITCH = 0x01;
inline constexpr uint8_t TMPF_VECTOR = 0x02;
inline constexpr uint8_t TMPF_TRUETYPE = 0x04;

// DrawText format flags.
inline constexpr uint32_t DT_TOP = 0x0;
inline constexpr uint32_t DT_LEFT = 0x0;
inline constexpr uint32_t DT_CENTER = 0x1;
inline constexpr uint32_t DT_RIGHT = 0x2;
inline constexpr uint32_t DT_VCENTER = 0x4;
inline constexpr uint32_t DT_BOTTOM = 0x8;
inline constexpr uint32_t DT_WORDBREAK = 0x10;
inline constexpr uint32_t DT_SINGLELINE = 0x20;
inline constexpr uint32_t DT_EXPANDTABS = 0x40;
inline constexpr uint32_t DT_TABSTOP = 0x80;
inline constexpr uint32_t DT_NOCLIP = 0x100;
inline constexpr uint32_t DT_EXTERNALLEADING = 0x200;
inline constexpr uint32_t DT_CALCRECT = 0x400;
inline constexpr uint32_t DT_NOPREFIX = 0x800;
inline constexpr uint32_t DT_END_ELLIPSIS = 0x8000;

}  // namespace win
