// The textual context's character grid and frames drawn through a context.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/win/window.h"
#include "platform/win/winuser.h"
#include "runtime/reports/formtext.h"
#include "runtime/reports/textctx.h"
#include "runtime/toolkit/kxstream.h"

using namespace reports;
using kxobject::TMemStream;

namespace {

std::string Written(TMemStream& stream) {
  std::string bytes(size_t(stream.GetSize()), '\0');
  stream.Seek(0);
  stream.ReadHuge(bytes.data(), uint32_t(bytes.size()));
  return bytes;
}

std::string Blanks(int n) { return std::string(size_t(n), ' '); }

struct Out {
  int x, y;
  const char* text;
};

// Writes each text at its point through TextOut and answers the stream.
std::string WriteAll(TTextualContext& context, TMemStream& stream, const std::vector<Out>& outs) {
  for (const auto& out : outs) {
    context.MoveTo(out.x, out.y);
    context.TextOut(out.text, -1);
  }
  return Written(stream);
}

TEST(TextualContext, AlignedTextOutStartsOnTheGrid) {
  struct Case {
    uint32_t align;
    std::string expected;
  } cases[] = {
      {win::TA_LEFT, Blanks(50) + "abcde"},
      {win::TA_RIGHT, Blanks(45) + "abcde"},   // 800 - 5 x 16 = 720: column 45
      {win::TA_CENTER, Blanks(48) + "abcde"},  // 800 - (5 / 2) x 16 = 768
  };
  for (const auto& c : cases) {
    TMemStream stream(0, 256);
    TTextualContext context("doc", &stream, false);
    context.SetTextAlign(c.align);
    EXPECT_EQ(WriteAll(context, stream, {{800, 0, "abcde"}}), c.expected) << c.align;
  }
}

TEST(TextualContext, PositionsNeverRunBackwards) {
  struct Case {
    const char* what;
    std::vector<Out> outs;
    std::string expected;
  } cases[] = {
      {"left of the last x on its line: next line", {{160, 0, "a"}, {0, 0, "b"}}, Blanks(10) + "a\r\nb"},
      {"above the last point: next line", {{0, 84, "a"}, {0, 0, "b"}}, "\r\n\r\na\r\nb"},
      {"to the right: blanks", {{0, 0, "ab"}, {64, 0, "c"}}, "ab  c"},
      {"down by lines", {{0, 0, "a"}, {32, 126, "b"}}, "a\r\n\r\n\r\n  b"},
      {"an empty text writes nothing and does not move", {{160, 0, ""}, {0, 0, "x"}}, "x"},
  };
  for (const auto& c : cases) {
    TMemStream stream(0, 256);
    TTextualContext context("doc", &stream, false);
    EXPECT_EQ(WriteAll(context, stream, c.outs), c.expected) << c.what;
  }
}

TEST(TextualContext, IndentationIsWrittenOncePerLine) {
  TMemStream stream(0, 256);
  TTextualContext context("doc", &stream, false);
  context.IndentLevel = 2;
  EXPECT_EQ(WriteAll(context, stream, {{0, 0, "a"}, {16, 0, "b"}, {0, 42, "c"}}), "    ab\r\n    c");
}

TEST(TextualContext, OemConversionWritesCodePage850AndKeepsTheCallersText) {
  struct Case {
    bool oem;
    std::string expected;
  } cases[] = {
      {true, "Gr\x94\xE1" "e"},
      {false, "Gr\xF6\xDF" "e"},
  };
  for (const auto& c : cases) {
    TMemStream stream(0, 256);
    TTextualContext context("doc", &stream, c.oem);
    char text[] = "Gr\xF6\xDF" "e";
    context.TextOut(text, -1);
    EXPECT_EQ(Written(stream), c.expected);
    EXPECT_STREQ(text, "Gr\xF6\xDF" "e");
  }
}

TEST(TextualContext, FormattedTextStopsAtTheBottomAndResumes) {
  struct Case {
    int bottom;
    int firstLine;
    std::string expected;
    int next;
  } cases[] = {
      {84, 0, "eins\r\nzwei", 2},
      {84, 2, "drei", -1},
      {10, 0, "eins", 1},  // a line taller than the room is printed all the same: the text moves on
      {999, 0, "eins\r\nzwei\r\ndrei", -1},
  };
  for (const auto& c : cases) {
    TMemStream stream(0, 256);
    TTextualContext context("doc", &stream, false);
    int next = c.firstLine;
    context.DrawFormattedText({0, 0, 5 * 16, 10}, c.bottom, 0, kAlignLeft, 0,
                              std::make_unique<TFormattedText>("eins zwei drei", 80), &next);
    EXPECT_EQ(Written(stream), c.expected) << c.bottom << " " << c.firstLine;
    EXPECT_EQ(next, c.next);
    EXPECT_EQ(context.TextFormat, -1);
  }
}

TEST(TextualContext, DrawTextWrapsAtTheRectangleAndAligns) {
  TMemStream stream(0, 256);
  TTextualContext context("doc", &stream, false);
  context.DrawText({0, 0, 8 * 16, 200}, 0, kAlignRight, 0, "ein Satz mit Worten");
  EXPECT_EQ(Written(stream), "ein Satz\r\n     mit\r\n  Worten");
}

TEST(TextualContext, TheDeviceContextIsOneOwnedPair) {
  TMemStream stream(0, 256);
  TTextualContext context("doc", &stream, false);
  EXPECT_EQ(context.GetDC(), context.GetDC());
  context.SetCharCell(0, -3);  // taken as 1 by 1: positions never divide by zero
  context.MoveTo(5, 2);
  context.TextOut("x", 1);
  EXPECT_EQ(Written(stream), "\r\n\r\n     x");
}

// A context that records the pen and line calls of a frame.
class RecordingContext : public TSgmlContext {
 public:
  RecordingContext() : TSgmlContext("rec") {}
  void DrawFormattedText(const TRect&, int, int, int, TColor, std::unique_ptr<TFormattedText>, int*) override {}
  void DrawText(const TRect&, int, int, TColor, const char*) override {}
  TSize GetTextExtent(const char*, int) override { return {}; }
  TSize GetTabbedTextExtent(const char*, int, int, const int*) override { return {}; }
  kxobject::TKxDC* GetDC() override { return nullptr; }
  void SelectPen(const win::Pen& pen) override {
    Log += Format("P%d/%d/%06x ", pen.style, pen.width, pen.color);
  }
  void SelectStockObject(int index) override { Log += Format("S%d", index); }
  bool MoveTo(int x, int y) override {
    Log += Format("M%d,%d ", x, y);
    return true;
  }
  bool LineTo(int x, int y) override {
    Log += Format("L%d,%d ", x, y);
    return true;
  }
  template <typename... A>
  static std::string Format(const char* format, A... args) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
  }
  std::string Log;
};

std::string Pen(int style, int width, TColor color) { return RecordingContext::Format("P%d/%d/%06x ", style, width, color); }
std::string Solid(TColor color) { return Pen(win::PS_SOLID, 0, color); }

// The bevel of (l, t, r, b): top-left pen up and across, bottom-right pen down and back.
std::string Bevel(const std::string& topLeft, const std::string& bottomRight, int l, int t, int r, int b) {
  return topLeft + RecordingContext::Format("M%d,%d L%d,%d L%d,%d ", l, b, l, t, r, t) + bottomRight +
         RecordingContext::Format("L%d,%d L%d,%d S7", r, b, l, b);
}

std::string BottomEdge(const std::string& pen, int l, int r, int b) {
  return pen + RecordingContext::Format("M%d,%d L%d,%d S7", l, b, r, b);
}

TEST(FrameDrawing, EachStyleDrawsItsPensAndEdges) {
  const TColor red = 0x0000FF, white = 0xFFFFFF, grey = 0x808080, black = 0;
  const std::string w = Solid(white), g = Solid(grey), k = Solid(black), c = Solid(red);
  const std::string face = Solid(win::GetSysColor(win::COLOR_BTNFACE));
  // The rectangle (0, 0, 100, 50) loses one unit at the right and bottom;
  // inner frames lie one unit further in.
  struct Case {
    int style;
    bool flat;
    std::string expected;
  } cases[] = {
      {0, false, Bevel(Pen(win::PS_DOT, 1, red), Pen(win::PS_DOT, 1, red), 0, 0, 99, 49)},
      {1, false, Bevel(g, w, 0, 0, 99, 49)},
      {2, false, Bevel(w, g, 0, 0, 99, 49)},
      {2, true, Bevel(k, k, 0, 0, 99, 49)},
      {3, false, Bevel(g, w, 0, 0, 99, 49) + Bevel(g, w, 1, 1, 98, 48)},
      {4, false, Bevel(w, g, 0, 0, 99, 49) + Bevel(w, g, 1, 1, 98, 48)},
      {5, false, Bevel(c, c, 0, 0, 99, 49)},
      {6, false, Bevel(c, c, 0, 0, 99, 49) + Bevel(c, c, 1, 1, 98, 48)},
      {7, false, BottomEdge(c, 0, 99, 49)},
      {8, false, BottomEdge(c, 0, 99, 49) + BottomEdge(c, 0, 99, 48)},
      {9, false, Bevel(g, w, 0, 0, 99, 49) + Bevel(k, face, 1, 1, 98, 48)},
      {10, false, Bevel(g, w, 0, 0, 99, 49) + Bevel(w, g, 1, 1, 98, 48)},
      {11, false, Bevel(w, g, 0, 0, 99, 49) + Bevel(g, w, 1, 1, 98, 48)},
  };
  for (const auto& cs : cases) {
    RecordingContext context;
    DrawFrame3D(context, {0, 0, 100, 50}, cs.style, red, cs.flat);
    EXPECT_EQ(context.Log, cs.expected) << "style " << cs.style << (cs.flat ? " flat" : "");
  }
}

}  // namespace
