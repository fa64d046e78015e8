#include "runtime/reports/textctx.h"

#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "runtime/reports/formtext.h"

namespace reports {

namespace {

int TextLength(const char* text, int length) {
  if (!text) return 0;
  return length < 0 ? int(std::strlen(text)) : length;
}

}  // namespace

TTextualContext::TTextualContext(const char* name, kxobject::TKxStream* output, bool oemConvert)
    : TSgmlContext(name), OemConvert(oemConvert), Output(output) {}

void TTextualContext::RawWrite(const char* text, int length) {
  length = TextLength(text, length);
  if (Column == 0) {
    for (int i = 0; i < IndentLevel; ++i) Output->WriteHuge("  ", 2);
    Column += 2 * (IndentLevel > 0 ? IndentLevel : 0);
  }
  if (length > 0) Output->WriteHuge(text, uint32_t(length));
  Column += length;
}

void TTextualContext::NewLine() {
  Output->WriteHuge("\r\n", 2);
  Column = 0;
  ++LineNumber;
}

void TTextualContext::WriteLine(const char* text, int length) {
  RawWrite(text, length);
  NewLine();
}

void TTextualContext::SetCharCell(int width, int height) {
  CharWidth = width > 0 ? width : 1;
  LineHeight = height > 0 ? height : 1;
}

void TTextualContext::PositionTo(int x, int y) {
  int target = LineNumber + (y - LastY) / LineHeight;
  if (target < LineNumber || (target == LineNumber && x < LastX)) {
    y = LastY + LineHeight;
    target = LineNumber + (y - LastY) / LineHeight;
  }
  while (LineNumber < target) {
    NewLine();
    LastX = 0;
  }
  int column = Column + (x - LastX) / CharWidth;
  while (Column < column) RawWrite(" ", 1);
  LastX = x;
  LastY = y;
}

void TTextualContext::WriteText(const char* text, int length) {
  length = TextLength(text, length);
  if (OemConvert && length > 0) {
    std::string converted(text, size_t(length));
    platform::AnsiToOemBuffer(converted.data(), converted.size());
    RawWrite(converted.data(), length);
  } else {
    RawWrite(text, length);
  }
  LastX += length * CharWidth;
}

int TTextualContext::TextOut(const char* text, int length) {
  length = TextLength(text, length);
  if (length == 0) return 1;
  // Centred first: the centring flags hold the right-alignment bit as well.
  if (AlignFlags & kTextAlignCenter) {
    CurrentX -= (length / 2) * CharWidth;
  } else if (AlignFlags & kTextAlignRight) {
    CurrentX -= length * CharWidth;
  }
  SelectFormat(TextFormat);
  PositionTo(CurrentX, CurrentY);
  WriteText(text, length);
  return 1;
}

uint32_t TTextualContext::SetTextAlign(uint32_t flags) {
  AlignFlags = uint16_t(flags);
  return 0;
}

bool TTextualContext::GetTextMetrics(win::TEXTMETRIC& metrics) {
  metrics = {};
  metrics.tmHeight = LineHeight;
  metrics.tmAveCharWidth = CharWidth;
  metrics.tmMaxCharWidth = CharWidth;
  return true;
}

TSize TTextualContext::GetTextExtent(const char* text, int length) {
  return {TextLength(text, length) * CharWidth, LineHeight};
}

TSize TTextualContext::GetTabbedTextExtent(const char* text, int length, int, const int*) {
  return GetTextExtent(text, length);
}

void TTextualContext::DrawFormattedText(const TRect& rect, int bottom, int format, int align, TColor,
                                        std::unique_ptr<TFormattedText> text, int* nextLine) {
  UseFormat(format);
  text->WordWrap = 1;
  text->Format(*this, rect.right - rect.left, -1, true);
  TRect area = rect;
  area.bottom = bottom;
  int next = text->Print(*this, area, nextLine ? *nextLine : 0, align);
  if (nextLine) *nextLine = next;
  ReleaseFormat();
}

void TTextualContext::DrawText(const TRect& rect, int format, int align, TColor background, const char* text) {
  DrawFormattedText(rect, rect.bottom, format, align, background, std::make_unique<TFormattedText>(text, 80),
                    nullptr);
}

}  // namespace reports
