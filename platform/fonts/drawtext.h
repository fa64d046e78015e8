// DrawText's layout as pure logic over a font's measuring: which pieces of
// text go where, which characters are underlined, and what DrawText answers.
// GetTabbedTextExtent, which expands tabs the same way, lives here too.
// The drawing layer draws the runs with TextOut (top-left aligned), fills the
// underline rectangles with the text colour and clips to the rectangle when
// asked; with DT_CALCRECT it only takes the rectangle and the height.
//
// Rules (lh = tmHeight, plus tmExternalLeading with DT_EXTERNALLEADING):
//   1. Lines end at CR LF, a lone CR or a lone LF, except with DT_SINGLELINE,
//      where those characters are text. A break at the very end adds no line.
//   2. "&" before a character underlines it and is not shown; "&&" shows one
//      "&"; a last "&" is shown. Only the last underlined character of a line
//      keeps its underline. DT_NOPREFIX shows every "&".
//   3. DT_EXPANDTABS: a tab moves to the next multiple of the tab width from
//      the rectangle's left edge: 8 x tmAveCharWidth, or the count in bits
//      8..15 with DT_TABSTOP (those bits are then no flags; 0 counts 8). Each tab starts a
//      new run. Without it a tab is a character like any other.
//   4. DT_WORDBREAK (multi-line only): a line that grows wider than the
//      rectangle breaks after the last blank that still lies on it; the blanks
//      at the break are neither drawn nor counted, and the next line starts
//      after them. A word wider than the rectangle is kept whole on a line of
//      its own.
//   5. DT_END_ELLIPSIS: a line still wider than the rectangle keeps as many
//      characters as fit together with "..." and ends with "..." (just "..."
//      when none fit); an underlined character cut off loses its underline.
//   6. x = left (DT_LEFT), right - width (DT_RIGHT), or (left + right -
//      width) / 2 (DT_CENTER; right is tested first); the lines' tops start at
//      the rectangle's top and step by lh. With DT_SINGLELINE, DT_VCENTER
//      starts at top + (bottom - top - lh) / 2 and DT_BOTTOM at bottom - lh.
//      Divisions truncate toward zero.
//   7. The answer is the bottom of the last line minus the rectangle's top
//      (so with DT_VCENTER or DT_BOTTOM, the offset of the text's bottom).
//      An empty text has no line and answers 0.
//   8. DT_CALCRECT: no vertical alignment; the rectangle's right edge becomes
//      left + the widest line, its bottom top + lines x lh.
//   9. An underline is one pixel high, one pixel below the baseline
//      (top + tmAscent + 1), as wide as its character.
//  10. Output is clipped to the rectangle unless DT_NOCLIP or DT_CALCRECT.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts/font.h"

namespace platform::fonts {

struct DrawTextRun {
  Point origin;  // top left of the run's text cell
  std::string text;
  bool operator==(const DrawTextRun&) const = default;
};

struct DrawTextLayout {
  std::vector<Rect> lines;  // each line's text cell: its width, tmHeight high
  std::vector<DrawTextRun> runs;
  std::vector<Rect> underlines;
  Rect rect;          // the rectangle; adjusted with DT_CALCRECT
  int height = 0;     // DrawText's answer
  bool clip = false;  // clip the output to rect
};

// GetTabbedTextExtent with the tab origin at the text's start: no stops put a
// tab every 8 x tmAveCharWidth, one stop every that many pixels, several are
// the stops themselves (ascending), with the default spacing beyond the last.
// An empty text measures (0, 0); any other is tmHeight high.
Point TabbedTextExtent(const TextMeasurer& measurer, std::string_view text, std::span<const int> tabStops = {});

DrawTextLayout LayoutDrawText(const TextMeasurer& measurer, std::string_view text, const Rect& rect,
                              uint32_t format);

}  // namespace platform::fonts
