#include "engine/language/pageformat.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "engine/language/lineformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/variables.h"

namespace PageFormat {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

TLayout g;
TPageBreakProc g_pageBreak = nullptr;
TFormatLineProc g_formatLine = nullptr;
TLineCall* g_running = nullptr;

struct TStatSave {
  bool active;
  uint64_t set;
};
std::vector<TStatSave> g_statStack;

struct TColumnSave {
  bool continuation;
  TColumnState columns[kColumnStates + 1];
};
std::vector<TColumnSave> g_columnStack;

int16_t Clamp16(int32_t v) { return int16_t(std::clamp<int32_t>(v, -32768, 32767)); }

int16_t TextRight() { return Clamp16(int32_t(g.pageWidth) - g.right); }

void WriteFile(std::string_view s) {
  if (g.file && !s.empty()) std::fwrite(s.data(), 1, s.size(), g.file);
}

bool IsControl(uint8_t c) {
  return c == 2 || c == 6 || c == 7 || c == 9 || c == 10 || c == 11 || c == 12 || c == 26;
}

void ClearColumns(TColumnState* columns) {
  for (size_t i = 0; i <= kColumnStates; ++i) columns[i] = TColumnState();
}

void ResetRules() {
  g.ruleCount = 0;
  g.lastRuleY = 0;
  g.ruleBottom = 0;
  g.ruledRight = 0;
}

// The x of the last vertical rule closer than the grid width, else x.
int16_t SnapToRule(int32_t x) {
  int32_t snapped = x;
  for (size_t i = 0; i < g.ruleCount; ++i)
    if (std::abs(int32_t(g.rules[i].x) - x) < g.gridWidth) snapped = g.rules[i].x;
  return Clamp16(snapped);
}

}  // namespace

TLayout& Layout() { return g; }

void SetPageBreakProc(TPageBreakProc proc) { g_pageBreak = proc; }
void SetFormatLineProc(TFormatLineProc proc) { g_formatLine = proc; }
void SetRunningCall(TLineCall* call) { g_running = call; }
TLineCall* RunningCall() { return g_running; }

int16_t ScaleX(int32_t n) { return int16_t(n * g.unitX); }
int16_t ScaleY(int32_t n) { return int16_t(n * g.unitY); }

void InitPageFormatter(int16_t width, int16_t length, int16_t top, int16_t left, int16_t bottom,
                       int16_t right, int16_t footerHeight) {
  g.x = g.y = 0;
  g.pageWidth = width;
  g.pageLength = length;
  uint16_t w = 0, h = 0;
  PrintCalls::MeasureText("A", w, h);
  g.charWidth = g.fileCharWidth = int16_t(w);
  g.lineHeight = g.fileLineHeight = int16_t(h);
  if (g.unitX == 0) g.unitX = g.charWidth;
  if (g.unitY == 0) g.unitY = g.lineHeight;
  g.top = ScaleY(top);
  g.bottom = ScaleY(bottom);
  g.left = ScaleX(left);
  g.right = ScaleX(right);
  g.footerHeight = footerHeight;
  g.ruleSpacing = 10;
  g.gridWidth = 20;
  g.printOffsetX = 0;
  ResetRules();
}

void SetTopMargin(int16_t lines) {
  g.top = ScaleY(lines);
  g.y = g.top;
}
void SetLeftMargin(int16_t columns) { g.left = ScaleX(columns); }
void SetRightMargin(int16_t columns) { g.right = ScaleX(columns); }
void SetBottomMargin(int16_t lines) { g.bottom = ScaleY(lines); }
int16_t SetPageWidth(int16_t columns) { return g.pageWidth = ScaleX(columns); }
int16_t SetPageLength(int16_t lines) { return g.pageLength = ScaleY(lines); }
void SetGridWidth(int16_t units) { g.gridWidth = units; }
void SetRuleSpacing(int16_t units) { g.ruleSpacing = units; }

void GotoColumnLine(int16_t column, int16_t line) {
  g.x = ScaleX(column);
  g.y = ScaleY(line);
}
int16_t CurrentColumn() { return g.unitX < 1 ? 0 : int16_t(g.x / g.unitX); }
int16_t CurrentLine() { return g.unitY < 1 ? 0 : int16_t(g.y / g.unitY); }

bool WouldOverflow(int32_t lines) {
  if (g.pageBreakPending) return false;
  int64_t need = int64_t(lines) * g.lineHeight + g.y;
  return need > int64_t(g.pageLength) - g.footerHeight - g.bottom;
}

void NextLineGap() {
  g.y = Clamp16(int32_t(g.y) + g.lineHeight);
  g.x = 0;
}

void NewPageTop() {
  g.y = g.top;
  g.x = 0;
  g.lastRuleY = 0;
  g.ruleBottom = 0;
}

void MoveToPageEnd() {
  if (g.ruleCount > 0) {
    DrawHorizontalRule(-1);
    DrawVerticalRules();
  }
  g.x = 0;
  g.y = Clamp16(int32_t(g.pageLength) - g.footerHeight - g.bottom);
  g.pageBreakPending = true;
}

void ClearPageBreakPending() { g.pageBreakPending = false; }

void SetAttributes(uint8_t italic, uint8_t bold) {
  if (italic) PrintCalls::Slots().italic(1);
  if (bold) PrintCalls::Slots().boldFace(1);
  g.italic = italic;
  g.bold = bold;
}

void TakeAttributes(uint8_t& italic, uint8_t& bold, uint8_t& third) {
  italic = g.italic;
  bold = g.bold;
  third = g.third;
  if (g.italic) PrintCalls::Slots().italic(0);
  if (g.bold) PrintCalls::Slots().boldFace(0);
  g.italic = g.bold = g.third = 0;
}

void SetPendingStatUpdate(uint64_t tables) {
  g_statStack.push_back({g.statPending, g.statSet});
  g.statSet = tables;
  g.statPending = tables != 0;
}

void RestorePendingStatUpdate() {
  if (g_statStack.empty()) return;
  g.statPending = g_statStack.back().active;
  g.statSet = g_statStack.back().set;
  g_statStack.pop_back();
}

void SaveColumnStates() {
  g_columnStack.emplace_back();
  TColumnSave& s = g_columnStack.back();
  s.continuation = g.continuation;
  for (size_t i = 0; i <= kColumnStates; ++i) s.columns[i] = std::move(g.columns[i]);
  ClearColumns(g.columns);
  g.continuation = false;
}

void RestoreColumnStates() {
  if (g_columnStack.empty()) return;
  TColumnSave& s = g_columnStack.back();
  g.continuation = s.continuation;
  for (size_t i = 0; i <= kColumnStates; ++i) g.columns[i] = std::move(s.columns[i]);
  g_columnStack.pop_back();
}

void CheckPageFits() {
  int32_t height = int32_t(g.pageLength) - g.top - g.bottom - g.footerHeight;
  int32_t width = int32_t(g.pageWidth) - g.left - g.right;
  if (height < 2 * int32_t(g.lineHeight) || width < 2 * int32_t(g.charWidth)) g.error = kErrNoRoom;
}

void NewLine(bool restricted) {
  g.x = 0;
  bool hasHeader = g.header && !g.header->empty();
  if (restricted && WouldOverflow(1) && hasHeader && !g.moreRecords) return;
  if (g.textFile) WriteFile(kLineEnd);
  g.y = Clamp16(int32_t(g.y) + g.lineHeight);
  ++g.lineCounter;
  ZetVars::SetSystemVarInt(ZetVars::kSysZeile, uint16_t(g.lineCounter + 1));
  if (restricted && (!hasHeader || !g.moreRecords)) return;
  if (!WouldOverflow(1)) return;
  int16_t savedLeft = g.left;
  if (g_running) g.left = g_running->entryLeftMargin;
  SaveColumnStates();
  if (g_pageBreak) g_pageBreak(g.lineCounter);
  RestoreColumnStates();
  g.left = 0;
  g.x = 0;
  if (g_running) g_running->rowBottom = 0;
  if ((g.itemFinished || g.moreRecords) && g.header && !g.header->empty()) {
    g.left = g.headerMargin;
    std::string header = *g.header;
    if (g_formatLine) g.error = g_formatLine(header, false);
  }
  g.left = savedLeft;
}

void NewLineDefault() { NewLine(false); }

void SplitToFit(ShortStr& text, ShortStr& rest, int32_t available, bool wrap) {
  rest.clear();
  std::string_view t = text.view();
  if (MeasureVisible(t) <= available && t.find('\n') == std::string_view::npos) return;
  size_t lastBlank = std::string_view::npos;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '\n' && i >= 1) {
      rest = t.substr(i + 1);
      text.truncate(i);
      return;
    }
    if (c == ' ') lastBlank = i;
    if (MeasureVisible(t.substr(0, i + 1)) <= available) continue;
    if (lastBlank != std::string_view::npos) {
      rest = t.substr(lastBlank + 1);
      text.truncate(lastBlank);
    } else if (wrap && g.x > g.left) {
      rest = t;
      text.clear();
    } else {
      size_t hyphen = i == 0 ? std::string_view::npos : t.substr(0, i).find_last_of('-');
      if (hyphen != std::string_view::npos) {
        rest = t.substr(hyphen + 1);
        text.truncate(hyphen + 1);
      } else {
        rest = t.substr(i);
        text.truncate(i);
      }
    }
    return;
  }
}

void PrintWrapped(ShortStr& text) {
  uint8_t c0 = text.empty() ? 0 : uint8_t(text[0]);
  if ((text.size() == 2 && c0 == 26) ||
      (text.size() == 1 && (c0 == 6 || c0 == 7 || c0 == 11 || c0 == 12))) {
    PrintControlledLine(text);
    CheckPageFits();
    text.clear();
    return;
  }
  if (text.empty()) return;
  if (g_running) g_running->collect = false;
  ShortStr rest;
  while (!text.empty()) {
    SplitToFit(text, rest, int32_t(TextRight()) - g.x, true);
    // At the start of a line at least one character is taken, so a
    // character wider than the whole line cannot hold the loop forever.
    if (text.empty() && !rest.empty() && g.x <= g.left) {
      text = rest.view().substr(0, 1);
      rest = ShortStr(rest.view().substr(1));
    }
    PrintControlledLine(text);
    text = rest;
    if (!text.empty()) {
      NewLineDefault();
      g.x = g.left;
    }
  }
}

void PrintControlledLine(std::string_view text) {
  if (!g.printing) return;
  if (g.x == 0) {
    g.x = g.left;
    if (g.textFile && g.fileCharWidth > 0) WriteFile(std::string(size_t(std::max(0, g.left / g.fileCharWidth)), ' '));
  }
  if (g.textFile) {
    std::string out;
    for (char c : text)
      if (uint8_t(c) >= 32) out += c;
    WriteFile(out);
    g.x = Clamp16(int32_t(g.x) + MeasureWidth(text));
    return;
  }
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t c = uint8_t(text[i]);
    if (!IsControl(c)) continue;
    PrintSegment(text.substr(start, i - start));
    start = i + 1;
    switch (c) {
      case 6:
        PrintCalls::Slots().boldFace(1);
        g.bold = 1;
        break;
      case 7:
        PrintCalls::Slots().boldFace(0);
        g.bold = 0;
        break;
      case 11:
        PrintCalls::Slots().italic(1);
        g.italic = 1;
        break;
      case 12:
        PrintCalls::Slots().italic(0);
        g.italic = 0;
        break;
      case 26:
        if (i + 1 < text.size()) {
          PrintCalls::SelectFont(uint8_t(text[i + 1]));
          ++i;
          start = i + 1;
        }
        break;
      default:
        break;
    }
  }
  if (start < text.size()) PrintSegment(text.substr(start));
}

void PrintSegment(std::string_view segment) {
  ShortStr t(segment);
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] == '^') t[i] = ' ';
  uint16_t w = MeasureWidth(t);
  while (!t.empty() && int32_t(g.x) + w > TextRight()) {
    t.truncate(t.size() - 1);
    w = MeasureWidth(t);
  }
  PrintCalls::Slots().printText(Clamp16(int32_t(g.x) + g.printOffsetX), g.y, t.c_str());
  g.x = Clamp16(int32_t(g.x) + w);
}

uint16_t MeasureVisible(std::string_view text) {
  std::string visible;
  for (size_t i = 0; i < text.size() && i < 256; ++i)
    if (uint8_t(text[i]) < 1 || uint8_t(text[i]) > 20) visible += text[i];
  return MeasureWidth(visible);
}

uint16_t MeasureWidth(std::string_view text) {
  uint16_t w = 0, h = 0;
  PrintCalls::MeasureText(text, w, h);
  return w;
}

void DrawHorizontalRule(int32_t mode) {
  int32_t half = g.ruleSpacing / 2;
  int16_t ruleY;
  bool newY;
  if (g.y != 0 && std::abs(int32_t(g.lastRuleY) - g.y) <= half + 1) {
    ruleY = g.lastRuleY;
    newY = false;
  } else {
    ruleY = Clamp16(g.y + half);
    newY = true;
  }
  int16_t startX = SnapToRule(g.x != 0 ? g.x : int32_t(g.left) + g.gridWidth / 2);
  PrintCalls::Slots().moveTo(startX, ruleY);
  int32_t limit = int32_t(TextRight()) + g.gridWidth / 2;
  bool draw = true;
  int32_t end = 0;
  if (mode >= -32766 && mode <= -1) {
    end = g.ruledRight != 0 ? int32_t(g.ruledRight) - g.gridWidth / 2 : limit;
  } else if (mode == 0) {
    end = limit;
    for (size_t i = 0; i < g.ruleCount; ++i)
      if (g.rules[i].x > startX && g.rules[i].x <= limit && g.rules[i].x < end) end = g.rules[i].x;
    g.x = Clamp16(end + g.gridWidth / 2);
  } else if (mode > 0) {
    end = SnapToRule(int32_t(g.x) + mode);
  } else {
    draw = false;
  }
  if (draw) PrintCalls::Slots().lineTo(Clamp16(end), ruleY);
  g.lastRuleY = ruleY;
  g.ruleBottom = ruleY;
  if (newY) g.y = Clamp16(int32_t(g.y) + g.ruleSpacing);
  if (mode == -2) g.ruledRight = g.x;
}

void MarkVerticalRule() {
  int32_t base = g.x != 0 ? g.x : g.left;
  int16_t px = Clamp16(base + g.gridWidth / 2);
  bool exists = false;
  for (size_t i = 0; i < g.ruleCount; ++i) exists = exists || g.rules[i].x == px;
  if (!exists && g.ruleCount < kMaxVerticalRules) g.rules[g.ruleCount++] = {px, g.y};
  for (size_t i = 0; i < g.ruleCount; ++i)
    if (std::abs(int32_t(g.rules[i].top) - g.lastRuleY) <= g.ruleSpacing) g.rules[i].top = g.lastRuleY;
  g.x = Clamp16(base + g.gridWidth);
}

void AddRuledColumn(int16_t columns) {
  if (g.ruledRight == 0) DrawHorizontalRule(-32767);
  int16_t savedX = g.x;
  int16_t position = g.ruledRight != 0 ? g.ruledRight : g.left;
  g.x = position;
  if (g.x == 0) g.x = g.left;
  MarkVerticalRule();
  g.ruledRight = Clamp16(int32_t(position) + g.gridWidth + ScaleX(columns));
  g.x = savedX;
}

void DrawVerticalRules() {
  if (g.ruleBottom == 0) g.ruleBottom = g.y;
  for (size_t i = 0; i < g.ruleCount; ++i) {
    PrintCalls::Slots().moveTo(g.rules[i].x, g.rules[i].top);
    PrintCalls::Slots().lineTo(g.rules[i].x, Clamp16(int32_t(g.ruleBottom) + 2));
  }
  g.ruleCount = 0;
  g.ruleBottom = 0;
  g.ruledRight = 0;
}

void SetTextFile(std::FILE* file) {
  g.file = file;
  g.textFile = file != nullptr;
}

void SetPrinting(bool on) { g.printing = on; }

// The unit start of the whole output family: call-back slots first, then
// the page layout, then the line formatter, which installs itself as the
// print hook of the interpreter and the header printer of the line advance.
void UnitInit() {
  PrintCalls::UnitInit();
  g = TLayout();
  g_statStack.clear();
  g_columnStack.clear();
  g_pageBreak = nullptr;
  g_formatLine = nullptr;
  g_running = nullptr;
  LineFormat::UnitInit();
}

void UnitDone() {
  LineFormat::UnitDone();
  g = TLayout();
  g_statStack.clear();
  g_columnStack.clear();
  PrintCalls::UnitDone();
}

}  // namespace PageFormat
