#include "engine/language/printcalls.h"

#include <cmath>
#include <cstring>

#include "engine/base/common.h"
#include "engine/base/shortstr.h"
#include "engine/base/uppercas.h"

namespace PrintCalls {
namespace {

extern "C" {
int16_t DefaultBeginPrinting() { return 0; }
int16_t DefaultBeginPage() { return 0; }
int16_t DefaultEndPage(int16_t) { return 0; }
void DefaultEndPrinting() {}
void DefaultPageSize(uint16_t* width, uint16_t* height) {
  if (width) *width = kDefaultPageSize;
  if (height) *height = kDefaultPageSize;
}
void DefaultPrintText(int16_t, int16_t, const char*) {}
void DefaultTextSize(const char* text, uint16_t* width, uint16_t* height) {
  size_t visible = 0;
  for (const char* p = text; p && *p; ++p)
    if (uint8_t(*p) > 20) ++visible;
  if (width) *width = uint16_t(visible * kDefaultCellWidth);
  if (height) *height = kDefaultCellHeight;
}
void DefaultMoveTo(int16_t, int16_t) {}
void DefaultLineTo(int16_t, int16_t) {}
void DefaultFace(uint8_t) {}
int16_t DefaultSetFont(const char*, int16_t, uint8_t, uint8_t, uint8_t) { return 0; }
int16_t DefaultDrawBlob(int8_t, const char*, int16_t, int16_t, int16_t, int16_t) { return 0; }
int16_t DefaultPlaySound(int8_t, const char*) { return 0; }
}

const TSlots kDefaults = {DefaultBeginPrinting, DefaultBeginPage, DefaultEndPage, DefaultEndPrinting,
                          DefaultPageSize,      DefaultPrintText, DefaultTextSize, DefaultMoveTo,
                          DefaultLineTo,        DefaultFace,      DefaultFace,    DefaultSetFont,
                          DefaultDrawBlob,      DefaultPlaySound};

TSlots g_slots = kDefaults;
std::vector<TFont> g_fonts;
uint16_t g_currentFont = 0;
uint16_t g_lineHeight = 100;
bool g_outputActive = false;
uint16_t g_cellWidth = 0;
uint16_t g_cellHeight = 0;
std::string g_pictureExtension;

template <typename T>
void Put(T& slot, T value, T fallback) {
  slot = value ? value : fallback;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && uint8_t(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && uint8_t(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

int16_t ParseSize(std::string_view s) {
  s = Trim(s);
  long v = 0;
  size_t i = 0;
  bool negative = !s.empty() && s[0] == '-';
  if (negative) i = 1;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = std::min(v * 10 + (s[i] - '0'), 32767L);
  return int16_t(negative ? -v : v);
}

}  // namespace

const TSlots& Slots() { return g_slots; }

void SetPrintCtlProcs(TBeginPrintingProc begin, TBeginPageProc beginPage, TEndPageProc endPage,
                      TEndPrintingProc end) {
  Put(g_slots.beginPrinting, begin, kDefaults.beginPrinting);
  Put(g_slots.beginPage, beginPage, kDefaults.beginPage);
  Put(g_slots.endPage, endPage, kDefaults.endPage);
  Put(g_slots.endPrinting, end, kDefaults.endPrinting);
}

void SetPrintProcs(TPageSizeProc pageSize, TPrintTextProc printText, TCharCellProc,
                   TTextSizeProc textSize, TMoveToProc moveTo, TLineToProc lineTo) {
  Put(g_slots.pageSize, pageSize, kDefaults.pageSize);
  Put(g_slots.printText, printText, kDefaults.printText);
  Put(g_slots.textSize, textSize, kDefaults.textSize);
  Put(g_slots.moveTo, moveTo, kDefaults.moveTo);
  Put(g_slots.lineTo, lineTo, kDefaults.lineTo);
}

void SetFontProcs(TBoldFaceProc bold, TItalicProc italic, TSetFontProc setFont) {
  Put(g_slots.boldFace, bold, kDefaults.boldFace);
  Put(g_slots.italic, italic, kDefaults.italic);
  Put(g_slots.setFont, setFont, kDefaults.setFont);
}

void SetOutputProcs(TDrawBlobProc drawBlob, TPlaySoundProc playSound) {
  Put(g_slots.drawBlob, drawBlob, kDefaults.drawBlob);
  Put(g_slots.playSound, playSound, kDefaults.playSound);
}

void MeasureText(std::string_view text, uint16_t& width, uint16_t& height) {
  ShortStr t(text);
  width = 0;
  height = 0;
  g_slots.textSize(t.c_str(), &width, &height);
}

int16_t DrawFilePicture(std::string_view fileName, int16_t x, int16_t y, int16_t width,
                        int16_t height) {
  ShortStr name(fileName);
  std::string_view n = name.view();
  size_t dot = n.find_last_of('.');
  size_t slash = n.find_last_of("\\/");
  g_pictureExtension.clear();
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
    g_pictureExtension = std::string(n.substr(dot, 16));
  return g_slots.drawBlob(0, name.c_str(), x, y, width, height);
}

const std::string& CurrentPictureExtension() { return g_pictureExtension; }

int16_t PlaySound(int8_t table, std::string_view name) {
  ShortStr n(name);
  return g_slots.playSound(table, n.c_str());
}

int DefineFont(std::string_view definition) {
  size_t eq = definition.find('=');
  if (eq == std::string_view::npos) return 2;
  TFont font;
  font.id = std::string(Trim(definition.substr(0, eq)).substr(0, kMaxFontText));
  std::string_view rest = definition.substr(eq + 1);
  size_t comma = rest.find(',');
  if (comma == std::string_view::npos) {
    font.face = std::string(Trim(rest).substr(0, kMaxFontText));
  } else {
    font.face = std::string(Trim(rest.substr(0, comma)).substr(0, kMaxFontText));
    rest = rest.substr(comma + 1);
    size_t comma2 = rest.find(',');
    // A size without style letters is still the size (only a face alone
    // falls back to 12).
    font.size = comma2 == std::string_view::npos ? ParseSize(rest) : ParseSize(rest.substr(0, comma2));
    if (Trim(rest.substr(0, comma2)).empty()) font.size = 12;
    if (comma2 != std::string_view::npos) {
      for (char c : rest.substr(comma2 + 1)) {
        char u = UPPERCAS::UpCaseChar(c);
        if (u == 'B' || u == 'F') font.bold = 1;
        if (u == 'I' || u == 'K') font.italic = 1;
        if (u == 'U') font.underline = 1;
      }
    }
  }
  for (TFont& f : g_fonts) {
    if (f.id == font.id) {
      f = font;
      return 0;
    }
  }
  if (g_fonts.size() >= kMaxFonts) return 1;
  g_fonts.push_back(std::move(font));
  return 0;
}

void ClearFonts() { g_fonts.clear(); }

void DefineStandardFonts() {
  static const char* const kStandard[] = {"h1=Times New Roman,24,b", "h2=Arial,16,b",
                                          "n1=Times New Roman,12,n", "n2=Arial,12,n",
                                          "f1=Courier New,12,n",     "f2=FixedSys,9,b"};
  for (const char* s : kStandard) DefineFont(s);
}

const std::vector<TFont>& Fonts() { return g_fonts; }

TFontTable SaveFonts() { return {g_fonts, g_currentFont, g_lineHeight}; }

void RestoreFonts(const TFontTable& table) {
  g_fonts = table.fonts;
  g_currentFont = table.current;
  g_lineHeight = table.lineHeight;
}

uint16_t FindFont(std::string_view id) {
  for (size_t i = 0; i < g_fonts.size(); ++i)
    if (UPPERCAS::CollateCompare(g_fonts[i].id, id) == 0) return uint16_t(i + 1);
  return 0;
}

void SelectFont(uint16_t number) {
  if (number < 1 || number > g_fonts.size()) return;
  const TFont& f = g_fonts[number - 1];
  if (g_outputActive) {
    ShortStr face(f.face);
    g_slots.setFont(face.c_str(), f.size, f.italic, f.bold, f.underline);
    MeasureText("A", g_cellWidth, g_cellHeight);
  }
  g_currentFont = number;
  g_lineHeight = uint16_t(std::lround(f.size * 5.7));
}

uint16_t CurrentFontNumber() { return g_currentFont; }
uint16_t CurrentLineHeight() { return g_lineHeight; }
void SetCurrentFont(uint16_t number, uint16_t lineHeight) {
  g_currentFont = number;
  g_lineHeight = lineHeight;
}
void SetOutputActive(bool on) { g_outputActive = on; }
bool OutputActive() { return g_outputActive; }
uint16_t CellWidth() { return g_cellWidth; }
uint16_t CellHeight() { return g_cellHeight; }

void UnitInit() {
  g_slots = kDefaults;
  g_fonts.clear();
  g_currentFont = 0;
  g_lineHeight = 100;
  g_outputActive = false;
  g_cellWidth = g_cellHeight = 0;
  g_pictureExtension.clear();
}

void UnitDone() { g_fonts.clear(); }

}  // namespace PrintCalls
