// The page formatter: lays printed output of database jobs on pages.
//
// One engine-wide page layout keeps the geometry and the current position in
// device units (the units of the host's call-backs, printcalls.h). Lines
// advance and detect the end of a page; text segments go to the host's print
// call-back with bold and italic switching; horizontal and vertical rules
// draw boxed tables; in text-file mode plain text goes to a file instead.
// The line formatter (lineformat.h) stands on it; the job runner drives it
// and installs the page-break procedure.
//
// What holds:
//   1. Coordinates are signed 16-bit; every product and sum that could leave
//      that range is worked out wider and wrapped back only where a
//      coordinate is stored, so no arithmetic overflows.
//   2. A segment is cut at the right margin, never wrapped; with no room at
//      all the host receives the empty text. '^' prints as a blank; codes 1
//      to 20 are never measured by MeasureVisible.
//   3. The vertical-rule table never holds more than kMaxVerticalRules
//      entries; further marks are dropped.
//   4. While a page break is pending, WouldOverflow answers false.
//   5. The 20 column states are indexed 1..kColumnStates only; the page
//      break saves and clears them around the page footer and header and
//      puts them back afterwards.
//   6. Nothing is printed while printing is disabled; the host is only
//      reached through the slots of printcalls.h, which always hold a
//      routine. The page-break procedure is harmless until the runner
//      installs its own.
//   7. In text-file mode a character width of 0 writes no margin blanks and
//      pads fields as if one character were one unit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "engine/base/dynstr.h"
#include "engine/base/shortstr.h"

namespace PageFormat {

inline constexpr size_t kMaxVerticalRules = 100;
inline constexpr size_t kColumnStates = 20;
inline constexpr uint16_t kErrNoRoom = 79;  // "Zu wenig Platz am rechten Rand"

// A field carried over a page end (the line formatter fills and takes it).
struct TColumnState {
  bool inUse = false;
  uint8_t italic = 0, bold = 0, third = 0;
  uint16_t font = 0;
  std::optional<std::string> text;
  dynstr::LineChain memo;
  bool memoHardLines = false;
};

// The running line formatter call, which the line advance and PrintWrapped
// reach into.
struct TLineCall {
  int16_t entryLeftMargin = 0;
  int16_t rowBottom = 0;
  bool collect = false;
};

struct TVerticalRule {
  int16_t x = 0;
  int16_t top = 0;
};

struct TLayout {
  int16_t unitX = 0, unitY = 0;
  int16_t pageWidth = 0, pageLength = 0;
  int16_t x = 0, y = 0;
  int16_t top = 0, left = 0, bottom = 0, right = 0;
  int16_t footerHeight = 0;
  int16_t printOffsetX = 0;
  int16_t gridWidth = 20;
  int16_t ruleSpacing = 10;
  int16_t charWidth = 0, lineHeight = 0;
  int16_t fileCharWidth = 0, fileLineHeight = 0;
  TVerticalRule rules[kMaxVerticalRules];
  size_t ruleCount = 0;
  int16_t lastRuleY = 0, ruleBottom = 0, ruledRight = 0;
  uint8_t italic = 0, bold = 0, third = 0;
  bool pageBreakPending = false;
  bool printing = false;
  bool textFile = false;
  std::FILE* file = nullptr;
  uint16_t error = 0;
  uint16_t lineCounter = 0;
  bool statPending = false;
  uint64_t statSet = 0;
  std::optional<std::string> header;
  int16_t headerMargin = 0;
  bool itemFinished = false;  // first header switch
  bool moreRecords = false;   // second header switch
  TColumnState columns[kColumnStates + 1];  // [0] unused
  bool continuation = false;
};
TLayout& Layout();

// Procedures that the units above install.
using TPageBreakProc = void (*)(uint16_t lineCounter);
void SetPageBreakProc(TPageBreakProc proc);  // null: does nothing
using TFormatLineProc = uint16_t (*)(std::string_view line, bool collect);
void SetFormatLineProc(TFormatLineProc proc);  // null: prints nothing
void SetRunningCall(TLineCall* call);
TLineCall* RunningCall();

int16_t ScaleX(int32_t n);
int16_t ScaleY(int32_t n);

void InitPageFormatter(int16_t width, int16_t length, int16_t top, int16_t left, int16_t bottom,
                       int16_t right, int16_t footerHeight);
void SetTopMargin(int16_t lines);
void SetLeftMargin(int16_t columns);
void SetRightMargin(int16_t columns);
void SetBottomMargin(int16_t lines);
int16_t SetPageWidth(int16_t columns);
int16_t SetPageLength(int16_t lines);
void SetGridWidth(int16_t units);
void SetRuleSpacing(int16_t units);
void GotoColumnLine(int16_t column, int16_t line);
int16_t CurrentColumn();
int16_t CurrentLine();
bool WouldOverflow(int32_t lines);
void NextLineGap();
void NewPageTop();
void MoveToPageEnd();
void ClearPageBreakPending();
void SetAttributes(uint8_t italic, uint8_t bold);
void TakeAttributes(uint8_t& italic, uint8_t& bold, uint8_t& third);
void SetPendingStatUpdate(uint64_t tables);
void RestorePendingStatUpdate();
void SaveColumnStates();
void RestoreColumnStates();
void CheckPageFits();

void NewLine(bool restricted);
void NewLineDefault();
// Cuts text to the available width; rest receives what did not fit.
void SplitToFit(ShortStr& text, ShortStr& rest, int32_t available, bool wrap);
void PrintWrapped(ShortStr& text);
void PrintControlledLine(std::string_view text);
void PrintSegment(std::string_view segment);
uint16_t MeasureVisible(std::string_view text);
// The measured width of text as it stands (control characters included).
uint16_t MeasureWidth(std::string_view text);

void DrawHorizontalRule(int32_t mode);
void MarkVerticalRule();
void AddRuledColumn(int16_t columns);
void DrawVerticalRules();

// Text-file output (a null file ends text-file mode).
void SetTextFile(std::FILE* file);
void SetPrinting(bool on);

void UnitInit();
void UnitDone();

}  // namespace PageFormat
