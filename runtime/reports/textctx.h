// The textual context: writes a document as plain text on a fixed character
// grid (one cell is 16 by 42 page units unless SetCharCell says otherwise),
// lines ending in CR LF, optionally converted to code page 850 (DOS text).
// It is the base of the mark-up contexts, which write through WriteText.
//
// What always holds:
//   1. Column counts the characters written on the current line,
//      indentation included; LineNumber counts the CR LF written.
//   2. Indentation ("  " per level) is written once per line, before the
//      first thing written on it, mark-up included.
//   3. PositionTo never moves backwards in the stream: a point above the
//      last one, or on its line and left of it, starts a new line; a point
//      to the right is reached with blanks.
//   4. The character cell is at least 1 by 1 (SetCharCell takes 0 or less as
//      1), so no position divides by zero.
//   5. GetDC answers one device-context pair owned by the context (no
//      device behind it), the same on every call.
//   6. A conversion to code page 850 converts a copy; the caller's text is
//      never changed.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/reports/sgmlctx.h"
#include "runtime/toolkit/kxdc.h"
#include "runtime/toolkit/kxstream.h"

namespace reports {

// Text alignment flags SetTextAlign keeps.
inline constexpr uint16_t kTextAlignRight = 2;
inline constexpr uint16_t kTextAlignCenter = 4;

class TTextualContext : public TSgmlContext {
 public:
  // output is not owned; oemConvert writes code page 850.
  TTextualContext(const char* name, kxobject::TKxStream* output, bool oemConvert);

  void DrawFormattedText(const TRect& rect, int bottom, int format, int align, TColor background,
                         std::unique_ptr<TFormattedText> text, int* nextLine) override;
  void DrawText(const TRect& rect, int format, int align, TColor background, const char* text) override;
  int GetLineHeight() override { return LineHeight; }
  TSize GetTextExtent(const char* text, int length) override;
  TSize GetTabbedTextExtent(const char* text, int length, int tabCount, const int* tabStops) override;
  kxobject::TKxDC* GetDC() override { return &dc_; }
  uint32_t SetTextAlign(uint32_t flags) override;
  bool GetTextMetrics(win::TEXTMETRIC& metrics) override;
  int TextOut(const char* text, int length) override;
  void PositionTo(int x, int y) override;

  void SetCharCell(int width, int height);
  // Writes text (length -1: to the terminator) at the current column and
  // moves the last x by its width.
  virtual void WriteText(const char* text, int length);

  bool OemConvert;
  kxobject::TKxStream* Output;
  int LineNumber = 0;
  int Column = 0;
  int LastX = 0, LastY = 0;
  uint16_t AlignFlags = 0;
  int CharWidth = 16, LineHeight = 42;
  int IndentLevel = 0;

 protected:
  // Writes text (indentation first when the column is 0).
  void RawWrite(const char* text, int length);
  // RawWrite, then CR LF.
  void WriteLine(const char* text, int length);

 private:
  void NewLine();
  kxobject::TKxDC dc_;
};

}  // namespace reports
