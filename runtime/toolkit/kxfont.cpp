// Colours, fonts and text formats (see kxfont.h).
#include "runtime/toolkit/kxfont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/resources/resources.h"
#include "runtime/toolkit/kxstring.h"

namespace kxfont {

namespace {

using kxobject::TKxStream;
using kxstring::StrLCat;
using kxstring::StrLCopy;

constexpr COLORREF kColors[kColorCount] = {
    win::RGB(0, 0, 0),       win::RGB(128, 0, 0),     win::RGB(0, 128, 0),   win::RGB(128, 128, 0),
    win::RGB(0, 0, 128),     win::RGB(128, 0, 128),   win::RGB(0, 128, 128), win::RGB(128, 128, 128),
    win::RGB(192, 192, 192), win::RGB(255, 0, 0),     win::RGB(0, 255, 0),   win::RGB(255, 255, 0),
    win::RGB(0, 0, 255),     win::RGB(255, 0, 255),   win::RGB(0, 255, 255), win::RGB(255, 255, 255),
};

constexpr uint32_t kColorNames = 53500;  // transparent; the table's colours follow
constexpr uint32_t kPointText = 53533;
constexpr uint32_t kBoldText = 53534;
constexpr uint32_t kItalicText = 53535;
constexpr uint32_t kUnderlineText = 53536;
constexpr uint32_t kStrikeOutText = 53537;
constexpr uint32_t kStandardStyle = 53538;
constexpr uint32_t kHeadingStyle = 53539;
constexpr uint32_t kBodyStyle = 53540;
constexpr uint32_t kListStyle = 53541;
constexpr uint32_t kFontStyle = 54542;

std::string LoadText(uint32_t id) {
  char buffer[256];
  const int32_t n = platform::LoadStringResource(id, buffer, sizeof buffer);
  return std::string(buffer, size_t(std::max(0, n)));
}

void AppendText(char* buffer, const std::string& text, int max) { StrLCat(buffer, text.c_str(), max); }

// A number formatted with a resource text holding one "%d" (or a literal).
std::string Numbered(uint32_t id, int value) {
  const std::string format = LoadText(id);
  char text[300];
  std::snprintf(text, sizeof text, format.c_str(), value);
  return text;
}

void WriteBytes(TKxStream& stream, const void* data, uint16_t count) { stream.Write(data, count); }
void ReadBytes(TKxStream& stream, void* data, uint16_t count) {
  std::memset(data, 0, count);
  stream.Read(data, count);
}

void WriteColor(TKxStream& stream, COLORREF color) {
  const uint8_t bytes[4] = {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16), uint8_t(color >> 24)};
  WriteBytes(stream, bytes, 4);
}
COLORREF ReadColor(TKxStream& stream) {
  uint8_t b[4];
  ReadBytes(stream, b, 4);
  return COLORREF(b[0]) | COLORREF(b[1]) << 8 | COLORREF(b[2]) << 16 | COLORREF(b[3]) << 24;
}

// The face, the size and the style words of a description; size is the
// size text without " pt".
void DescribeFont(const LOGFONT& lf, const std::string& size, char* buffer, int max) {
  StrLCopy(buffer, win::FaceNameOf(lf).c_str(), max);
  AppendText(buffer, " " + size + LoadText(kPointText), max);
  if (lf.lfWeight > 549) AppendText(buffer, LoadText(kBoldText), max);
  if (lf.lfItalic) AppendText(buffer, LoadText(kItalicText), max);
  if (lf.lfUnderline) AppendText(buffer, LoadText(kUnderlineText), max);
  if (lf.lfStrikeOut) AppendText(buffer, LoadText(kStrikeOutText), max);
}

int16_t ToShort(int64_t v) { return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX)); }

}  // namespace

// --- colours ---

COLORREF IndexToColor(int32_t index) {
  if (index < 0) return kTransparentColor;
  return index < kColorCount ? kColors[index] : kTransparentColor;
}

COLORREF IndexToColor16(int16_t index) { return IndexToColor(index); }

bool IsTransparentColor(COLORREF color) { return color == kTransparentColor; }

int ColorToIndex(COLORREF color) {
  if (IsTransparentColor(color)) return -1;
  for (int i = 0; i < kColorCount; ++i) {
    if (kColors[i] == color) return i;
  }
  return kNotAColor;
}

const char* GetColorName(int index) {
  static char name[kColorNameSize + 1];
  const uint32_t id = index < 0 || index > kColorCount ? kColorNames : kColorNames + 1 + uint32_t(index);
  StrLCopy(name, LoadText(id).c_str(), kColorNameSize);
  return name;
}

char* GetTextStyleName(int style, char* buffer, int max) {
  if (!buffer || max < 0) return buffer;
  std::string text;
  if (style == 0) text = LoadText(kStandardStyle);
  else if (style < 7) text = Numbered(kHeadingStyle, style);
  else if (style == 7) text = LoadText(kBodyStyle);
  else if (style < 12) text = Numbered(kListStyle, style - 7);
  else text = Numbered(kFontStyle, style + 1);
  return StrLCopy(buffer, text.c_str(), max);
}

// --- LOGFONT records ---

void WriteLogFont(TKxStream& stream, const LOGFONT& lf) {
  for (const int32_t v : {lf.lfHeight, lf.lfWidth, lf.lfEscapement, lf.lfOrientation, lf.lfWeight}) {
    stream.WriteInt(v);
  }
  const uint8_t bytes[8] = {lf.lfItalic,        lf.lfUnderline,     lf.lfStrikeOut, lf.lfCharSet,
                            lf.lfOutPrecision,  lf.lfClipPrecision, lf.lfQuality,   lf.lfPitchAndFamily};
  WriteBytes(stream, bytes, 8);
  WriteBytes(stream, lf.lfFaceName, win::LF_FACESIZE);
}

void ReadLogFont(TKxStream& stream, LOGFONT& lf) {
  lf = LOGFONT{};
  for (int32_t* v : {&lf.lfHeight, &lf.lfWidth, &lf.lfEscapement, &lf.lfOrientation, &lf.lfWeight}) {
    *v = stream.ReadInt();
  }
  uint8_t b[8];
  ReadBytes(stream, b, 8);
  lf.lfItalic = b[0], lf.lfUnderline = b[1], lf.lfStrikeOut = b[2], lf.lfCharSet = b[3];
  lf.lfOutPrecision = b[4], lf.lfClipPrecision = b[5], lf.lfQuality = b[6], lf.lfPitchAndFamily = b[7];
  ReadBytes(stream, lf.lfFaceName, win::LF_FACESIZE);
}

// --- shortening a text ---

void FitTextToWidth(win::Dc& dc, char* text, int max, int width) {
  if (!text || max < 0) return;
  const std::string_view whole(text, strnlen(text, size_t(max)));
  win::SIZE size;
  dc.GetTextExtentPoint32(whole, &size);
  if (size.cx <= width) return;
  dc.GetTextExtentPoint32("...", &size);
  const int64_t room = int64_t(width) - size.cx;
  // Widths grow with the length: find the longest start that fits.
  size_t low = 0, high = whole.size();
  while (low < high) {
    const size_t mid = (low + high + 1) / 2;
    dc.GetTextExtentPoint32(whole.substr(0, mid), &size);
    if (size.cx <= room) low = mid;
    else high = mid - 1;
  }
  text[low] = 0;
  StrLCat(text, "...", max);
}

// --- TLogicalFont ---

void TLogicalFont::GetLogFont(int16_t& pointSize, LOGFONT& lf, COLORREF& color) const {
  pointSize = PointSize;
  lf = LogFont;
  color = Color;
}

bool TLogicalFont::IsEmpty() const { return LogFont.lfHeight == 0 && LogFont.lfFaceName[0] == 0; }

void TLogicalFont::FromDC(const win::Dc& dc) {
  win::TEXTMETRIC tm;
  dc.GetTextMetrics(&tm);
  LogFont = LOGFONT{};
  LogFont.lfHeight = tm.tmHeight;
  LogFont.lfWeight = tm.tmWeight;
  LogFont.lfUnderline = tm.tmUnderlined;
  LogFont.lfStrikeOut = tm.tmStruckOut;
  LogFont.lfCharSet = tm.tmCharSet;
  const std::string face = dc.GetTextFace();
  std::memcpy(LogFont.lfFaceName, face.data(), std::min<size_t>(face.size(), win::LF_FACESIZE));
  PointSize = 0;
}

char* TLogicalFont::GetDescription(char* buffer, int max) const {
  if (!buffer || max < 0) return buffer;
  char size[32];
  std::snprintf(size, sizeof size, "%2.1f", PointSize * 0.1);
  DescribeFont(LogFont, size, buffer, max);
  const int index = ColorToIndex(Color);
  if (index != kNotAColor) AppendText(buffer, std::string(", ") + GetColorName(index), max);
  return buffer;
}

void TLogicalFont::Read(TKxStream& stream) {
  PointSize = int16_t(stream.ReadInt());
  ReadLogFont(stream, LogFont);
  Color = ReadColor(stream);
}

void TLogicalFont::Write(TKxStream& stream) const {
  stream.WriteInt(PointSize);
  WriteLogFont(stream, LogFont);
  WriteColor(stream, Color);
}

// --- TKxFont ---

TKxFont::TKxFont() {
  LogFont.lfHeight = -35;
  LogFont.lfWeight = win::FW_NORMAL;
  LogFont.lfClipPrecision = 17;
  win::SetFaceName(LogFont, "Arial");
}

TKxFont::TKxFont(const char* faceName, int32_t height, COLORREF color) : Color(color) {
  LogFont.lfHeight = height;
  win::SetFaceName(LogFont, faceName ? faceName : "");
}

TKxFont& TKxFont::operator=(const TKxFont& other) {
  LogFont = other.LogFont;
  Color = other.Color;
  return *this;
}

char* TKxFont::GetDescription(char* buffer, int max) const {
  if (!buffer || max < 0) return buffer;
  const auto points = int64_t(std::floor(0.1 * LogFont.lfHeight * 2.8346 + 0.5));
  DescribeFont(LogFont, std::to_string(-points), buffer, max);
  AppendText(buffer, std::string(", ") + GetColorName(ColorToIndex(Color)), max);
  return buffer;
}

LOGFONT TKxFont::CreateFont(win::Dc& dc, int32_t numerator, int32_t denominator) {
  const int64_t num = numerator == 0 ? 1 : numerator, den = denominator == 0 ? 1 : denominator;
  LogFont.lfClipPrecision = 1;
  LOGFONT lf = LogFont;
  lf.lfHeight = int32_t(std::clamp<int64_t>((int64_t(LogFont.lfHeight) * num - den / 2) / den, INT32_MIN + 1, INT32_MAX));
  const LOGFONT previous = dc.SelectFont(lf);
  win::TEXTMETRIC tm;
  dc.GetTextMetrics(&tm);
  dc.SelectFont(previous);
  const auto back = [&](int32_t v) { return ToShort((den * v + num / 2) / num); };
  Height = back(tm.tmHeight);
  InternalLeading = back(tm.tmInternalLeading);
  ExternalLeading = back(tm.tmExternalLeading);
  return lf;
}

void TKxFont::Read(TKxStream& stream) {
  ReadLogFont(stream, LogFont);
  Color = ReadColor(stream);
}

void TKxFont::Write(TKxStream& stream) const {
  WriteLogFont(stream, LogFont);
  WriteColor(stream, Color);
}

// --- TKxFormat ---

TKxFormat::TKxFormat() { StrLCopy(Name, LoadText(kStandardStyle).c_str(), kMaxFormatName); }

TKxFormat::TKxFormat(int16_t kind, const char* name, const TKxFont& font) : Kind(kind), Font(font) {
  SetName(name);
}

TKxFormat::TKxFormat(const TKxFormat& other) : kxobject::TKxObject(), Kind(other.Kind), Font(other.Font) {
  std::memcpy(Name, other.Name, sizeof Name);
}

TKxFormat& TKxFormat::operator=(const TKxFormat& other) {
  Kind = other.Kind;
  std::memcpy(Name, other.Name, sizeof Name);
  Font = other.Font;
  return *this;
}

char* TKxFormat::GetName(char* buffer, int max) const {
  if (!buffer || max < 0) return buffer;
  const std::string name(Name, strnlen(Name, sizeof Name));
  return StrLCopy(buffer, name.c_str(), max);
}

void TKxFormat::SetName(const char* name) { StrLCopy(Name, name ? name : "", kMaxFormatName); }

char* TKxFormat::GetDescription(char* buffer, int max) const {
  if (!buffer || max < 0) return buffer;
  GetName(buffer, max);
  AppendText(buffer, " (", max);
  std::string font(size_t(max) + 1, '\0');
  Font.GetDescription(font.data(), max);
  AppendText(buffer, font.c_str(), max);
  AppendText(buffer, ")", max);
  return buffer;
}

void TKxFormat::Read(TKxStream& stream) {
  Kind = int16_t(stream.ReadInt());
  ReadBytes(stream, Name, sizeof Name);
  Font.Read(stream);
}

void TKxFormat::Write(TKxStream& stream) const {
  stream.WriteInt(Kind);
  WriteBytes(stream, Name, sizeof Name);
  Font.Write(stream);
}

}  // namespace kxfont
