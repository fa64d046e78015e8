// Print, font and output call-backs, and the font table of database jobs.
//
// The engine never draws, prints or plays anything itself. Job output, the
// print statements of Lumo and the picture and sound functions reach the
// host only through the slots below, which the host fills through the
// installers. The page formatter (pageformat.h) reads the print and font
// slots; the job runner reads the print-control slots.
//
// What holds:
//   1. Every slot always holds a callable routine. The defaults are in place
//      from the unit start: a page of 10000 x 10000 units, page, picture and
//      sound requests that succeed without effect, print, move, line and
//      face switches that do nothing, and a text measure that answers a fixed
//      cell (kDefaultCellWidth per visible character by kDefaultCellHeight).
//      Installing a null pointer puts the slot's default back, so output
//      before or without a host never calls through null.
//   2. Texts handed to a call-back are zero-terminated buffers owned by the
//      engine, valid for the duration of the call only, never longer than
//      255 characters.
//   3. The font table holds at most kMaxFonts records, numbered 1.. in order
//      of definition; a definition with an existing id replaces that record.
//      Selecting a number outside 1..count changes nothing.
//   4. Font selection calls the host's SetFontProc and measures "A" only
//      while output is active (a page has been begun); the current font
//      number and line height (round(size x 5.7)) follow in every case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace PrintCalls {

extern "C" {
using TBeginPrintingProc = int16_t (*)();
using TBeginPageProc = int16_t (*)();
using TEndPageProc = int16_t (*)(int16_t code);
using TEndPrintingProc = void (*)();
using TPageSizeProc = void (*)(uint16_t* width, uint16_t* height);
using TPrintTextProc = void (*)(int16_t x, int16_t y, const char* text);
using TCharCellProc = void (*)(uint16_t* width, uint16_t* height);
using TTextSizeProc = void (*)(const char* text, uint16_t* width, uint16_t* height);
using TMoveToProc = void (*)(int16_t x, int16_t y);
using TLineToProc = void (*)(int16_t x, int16_t y);
using TBoldFaceProc = void (*)(uint8_t on);
using TItalicProc = void (*)(uint8_t on);
using TSetFontProc = int16_t (*)(const char* face, int16_t size, uint8_t italic, uint8_t bold,
                                 uint8_t underline);
using TDrawBlobProc = int16_t (*)(int8_t kind, const char* name, int16_t x, int16_t y,
                                  int16_t width, int16_t height);
using TPlaySoundProc = int16_t (*)(int8_t table, const char* name);
}

inline constexpr uint16_t kDefaultPageSize = 10000;
inline constexpr uint16_t kDefaultCellWidth = 10;
inline constexpr uint16_t kDefaultCellHeight = 20;

struct TSlots {
  TBeginPrintingProc beginPrinting;
  TBeginPageProc beginPage;
  TEndPageProc endPage;
  TEndPrintingProc endPrinting;
  TPageSizeProc pageSize;
  TPrintTextProc printText;
  TTextSizeProc textSize;
  TMoveToProc moveTo;
  TLineToProc lineTo;
  TBoldFaceProc boldFace;
  TItalicProc italic;
  TSetFontProc setFont;
  TDrawBlobProc drawBlob;
  TPlaySoundProc playSound;
};
const TSlots& Slots();

// The installers; a null argument restores that slot's default.
void SetPrintCtlProcs(TBeginPrintingProc begin, TBeginPageProc beginPage, TEndPageProc endPage,
                      TEndPrintingProc end);
// The character-cell query is accepted and not kept: the cell is measured.
void SetPrintProcs(TPageSizeProc pageSize, TPrintTextProc printText, TCharCellProc charCell,
                   TTextSizeProc textSize, TMoveToProc moveTo, TLineToProc lineTo);
void SetFontProcs(TBoldFaceProc bold, TItalicProc italic, TSetFontProc setFont);
void SetOutputProcs(TDrawBlobProc drawBlob, TPlaySoundProc playSound);

// Measures text (cut to 255 characters) with the host's text measure.
void MeasureText(std::string_view text, uint16_t& width, uint16_t& height);

// Pictures: the file's extension (at most 16 characters) becomes the
// current picture extension, then DrawBlobProc with kind 0.
int16_t DrawFilePicture(std::string_view fileName, int16_t x, int16_t y, int16_t width,
                        int16_t height);
const std::string& CurrentPictureExtension();
// Hands the sound request to PlaySoundProc (the name cut to 255).
int16_t PlaySound(int8_t table, std::string_view name);

// Font records of a job.
inline constexpr size_t kMaxFonts = 20;
inline constexpr size_t kMaxFontText = 40;
struct TFont {
  std::string id;
  std::string face;
  int16_t size = 12;
  uint8_t bold = 0;
  uint8_t italic = 0;
  uint8_t underline = 0;
};
// Parses "id = face, size, style" and defines or replaces the font:
// 0 success, 1 the table is full, 2 no "=".
int DefineFont(std::string_view definition);
// Empties the table; DefineStandardFonts then adds the six standard fonts.
void ClearFonts();
void DefineStandardFonts();
const std::vector<TFont>& Fonts();
// The font table with the current font and line height, as a job that
// runs inside another saves and puts back.
struct TFontTable {
  std::vector<TFont> fonts;
  uint16_t current = 0;
  uint16_t lineHeight = 100;
};
TFontTable SaveFonts();
void RestoreFonts(const TFontTable& table);
// The number of the font with that id (character rules), 0 when none.
uint16_t FindFont(std::string_view id);

// Font selection of the page formatter (see invariant 4).
void SelectFont(uint16_t number);
uint16_t CurrentFontNumber();
uint16_t CurrentLineHeight();
// The current font and line height without calling the host (compile time
// and job start).
void SetCurrentFont(uint16_t number, uint16_t lineHeight);
// Whether output is active: a page has been begun.
void SetOutputActive(bool on);
bool OutputActive();
// The character cell that the last font selection measured.
uint16_t CellWidth();
uint16_t CellHeight();

void UnitInit();
void UnitDone();

}  // namespace PrintCalls
