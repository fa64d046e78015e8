#include "engine/language/lineformat.h"

#include <algorithm>
#include <string>

#include "engine/base/common.h"
#include "engine/language/bytecode.h"
#include "engine/language/interp.h"
#include "engine/language/listing.h"
#include "engine/language/pageformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/selection.h"

namespace LineFormat {
namespace {

using namespace ByteCode;
using PageFormat::Layout;
using Zet02::TRunValue;

constexpr uint16_t kErrIllegalChar = 45;  // "Illegales Zeichen"

enum Align { kLeft = 1, kRight = 2, kCentre = 3 };

// Engine-wide state shared by nested calls (saved and restored by each).
ShortStr g_pending;
ShortStr g_remembered;
int16_t g_rowTopY = 0;
uint16_t g_rowTopCounter = 0;

struct TItem {
  bool attached = false;
  TRunValue value;
  uint16_t kind = 0;
  int32_t width = -1;
  int32_t a = -1, b = -1, c = -1;
  char fill = ' ';
  uint8_t letter = ' ';
  bool grouping = false;
  bool suppressed = false;
  uint8_t numberFormat = 0;
};

struct TCall {
  PageFormat::TLineCall page;
  std::string_view code;
  size_t pos = 0;
  bool blank = true;
  bool repeat = false;
  int32_t extraLines = 0;
  uint16_t itemNumber = 0;
  bool continuation = false;

  bool CodeAt(uint8_t c) const { return pos < code.size() && uint8_t(code[pos]) == c; }
};

uint16_t& Error() { return Layout().error; }

void SaveRowTop() {
  g_rowTopY = Layout().y;
  g_rowTopCounter = Layout().lineCounter;
}

void RestoreRowTop(TCall& call) {
  call.page.rowBottom = int16_t(std::max<uint16_t>(uint16_t(call.page.rowBottom), uint16_t(Layout().y)));
  Layout().y = g_rowTopY;
  Layout().lineCounter = g_rowTopCounter;
}

PageFormat::TColumnState* ColumnState(const TCall& call) {
  if (call.itemNumber < 1 || call.itemNumber > PageFormat::kColumnStates) return nullptr;
  return &Layout().columns[call.itemNumber];
}

// Runs the item at the position as an operand, or in a continuation pass
// takes its text from the item's column state.
void EvalItem(TCall& call, TItem& item) {
  int dependency = 0;
  if (call.continuation) {
    TRunValue skipped;
    Zet02::ExecuteCode(call.code, call.pos, 0, skipped, dependency);
    item.value = TRunValue();
    item.value.type = Zet02::kValString;
    item.kind = Zet02::kValString;
    if (PageFormat::TColumnState* s = ColumnState(call); s && s->inUse) {
      if (s->text) item.value.text = *s->text;
      *s = PageFormat::TColumnState();
    }
    Error() = 0;
    return;
  }
  Zet02::SetOperandOnly(true);
  const int error = Zet02::ExecuteCode(call.code, call.pos, 3, item.value, dependency);
  Zet02::SetOperandOnly(false);
  item.kind = item.value.type;
  Error() = error > 0 ? uint16_t(error) : 0;
}

// Reads the format suffix behind an item; false when it ended the line.
bool ReadFormat(TCall& call, TItem& item) {
  if (call.pos + 1 < call.code.size()) {
    const uint8_t f = uint8_t(call.code[call.pos]);
    if (f == tkColon || f == tkCForm || f == tkLForm || f == tkRForm) {
      item.letter = f;
      ++call.pos;
      uint16_t error = 0;
      item.width = Zet02::ReadNumberOperand(call.code, call.pos, error);
      if (error == 0) item.a = Zet02::ParseFormatSuffix(call.pos, call.code, error) - 1;
      if (error == 0) item.b = Zet02::ParseFormatSuffix(call.pos, call.code, error) - 1;
      if (error == 0) item.c = Zet02::ParseFormatSuffix(call.pos, call.code, error) - 1;
      if (error != 0) {
        Error() = error;
        return false;
      }
      if (call.CodeAt('.') || call.CodeAt('_')) item.fill = call.code[call.pos++];
    }
  }
  if (call.CodeAt(tkFormatF)) {
    item.grouping = true;
    ++call.pos;
  }
  return true;
}

void PrintField(int32_t width, char fill, Align align, bool suppressed) {
  PageFormat::TLayout& g = Layout();
  if (g.textFile) {
    const int32_t cell = g.fileCharWidth > 0 ? g.fileCharWidth : 1;
    const size_t chars = size_t(std::max(0, width / cell));
    if (align == kLeft) g_pending = Common::PadRight(g_pending, chars, fill);
    else if (align == kRight) g_pending = Common::PadLeft(g_pending, chars, fill);
    else CentreText(g_pending, chars, fill);
    PageFormat::PrintWrapped(g_pending);
    return;
  }
  if (width <= 0) {
    g_pending.clear();
    return;
  }
  int32_t w = PageFormat::MeasureWidth(g_pending);
  while (w > width && !g_pending.empty()) {
    g_pending.truncate(g_pending.size() - 1);
    w = PageFormat::MeasureWidth(g_pending);
  }
  if (!suppressed && (fill == '.' || fill == '_')) {
    const size_t n = g_pending.size();
    do {
      g_pending.append(fill);
      w = PageFormat::MeasureWidth(g_pending);
    } while (w <= width && g_pending.size() < 255 && g_pending.size() > n);
    if (g_pending.size() > n) g_pending.truncate(g_pending.size() - 1);
    w = PageFormat::MeasureWidth(g_pending);
    const size_t k = g_pending.size() - n;
    if (k > 0 && align != kLeft) {
      const std::string text(g_pending.view().substr(0, n));
      const size_t front = align == kRight ? k : (k + 1) / 2;
      g_pending = std::string(front, fill) + text + std::string(k - front, fill);
    }
  }
  if (g.x == 0) g.x = g.left;
  const int16_t x0 = g.x;
  if (align == kRight) g.x = int16_t(g.x + width - w);
  if (align == kCentre) g.x = int16_t(g.x + (width - w) / 2);
  const int16_t y0 = g.y;
  PageFormat::PrintWrapped(g_pending);
  g.x = int16_t((g.y == y0 ? x0 : g.left) + width);
}

void PrintColumnText(TCall& call, int32_t width, const TItem& item) {
  PageFormat::TLayout& g = Layout();
  const bool backslash = call.CodeAt(tkOr);
  int32_t lines = item.a;
  const int16_t start = g.x != 0 ? g.x : g.left;
  const int32_t colWidth = width < 0 ? int32_t(g.pageWidth) - g.right - start : width;
  const int16_t edge = item.b > 0 ? PageFormat::ScaleX(item.b - 1) : start;
  const int16_t savedLeft = g.left;
  bool filled = false;
  while (!g_pending.empty()) {
    ShortStr piece = g_pending, rest;
    PageFormat::SplitToFit(piece, rest, colWidth, false);
    Common::DeleteLeading(rest, ' ');
    if (piece.empty()) {
      filled = true;
      break;
    }
    g_pending = piece;
    if (rest.empty()) break;
    if (--lines == 0) {
      filled = true;
      break;
    }
    if (item.c >= 0 && PageFormat::WouldOverflow(2)) {
      if (PageFormat::TColumnState* s = ColumnState(call)) {
        PageFormat::TakeAttributes(s->italic, s->bold, s->third);
        s->font = PrintCalls::CurrentFontNumber();
        s->inUse = true;
        s->text = std::string(rest.view());
      }
      filled = true;
      break;
    }
    PageFormat::PrintWrapped(piece);
    g.left = edge;
    PageFormat::NewLineDefault();
    PageFormat::PrintControlledLine("");
    g_pending = rest;
  }
  if (!filled && lines > 1) {
    if (backslash) {
      call.extraLines += lines;
    } else {
      PageFormat::PrintWrapped(g_pending);
      g.left = edge;
      for (; lines > 1; --lines) {
        PageFormat::NewLineDefault();
        PageFormat::PrintControlledLine("");
      }
    }
  }
  g.left = savedLeft;
}

void OutputItem(TCall& call, TItem& item) {
  PageFormat::TLayout& g = Layout();
  if (!item.attached) {
    PageFormat::PrintWrapped(g_pending);
    g.itemFinished = false;
  }
  if (item.width == -2) {
    item.width = int32_t(g.pageWidth) - g.right - (g.x != 0 ? g.x : g.left);
  } else if (item.width >= 0) {
    item.width = PageFormat::ScaleX(item.width);
  }
  if (item.kind == Zet02::kValString) {
    g_pending.append(item.value.text.view());
    call.blank = IsBlankText(g_pending);
  } else if (item.kind == Zet02::kValReal) {
    int d;
    if (item.numberFormat == 0) d = item.a == -1 ? 0 : item.a;
    else d = (item.width < 0 || item.a == -1) ? (item.numberFormat & 15) : item.a;
    g_pending.append(
        Common::FormatReal(1, d, item.grouping ? '.' : 0, ',', ' ', item.value.number).view());
    call.blank = false;
  }
  if (item.letter != ' ' && call.CodeAt(tkBang)) {
    ++call.pos;
    if (g_pending.view() == g_remembered.view()) {
      g_pending.clear();
      item.suppressed = true;
    } else {
      g_remembered = g_pending;
    }
  }
  switch (item.letter) {
    case tkColon:
      if (item.kind == Zet02::kValString) {
        SaveRowTop();
        if (item.a >= 0) PrintColumnText(call, item.width, item);
        if (item.width >= 0) PrintField(item.width, item.fill, kLeft, item.suppressed);
        else PageFormat::PrintWrapped(g_pending);
        if (item.c >= 0) RestoreRowTop(call);
      } else if (item.kind == Zet02::kValReal) {
        PrintField(item.width, item.fill, kRight, item.suppressed);
      }
      break;
    case tkLForm:
      PrintField(item.width, item.fill, kLeft, item.suppressed);
      break;
    case tkRForm:
      PrintField(item.width, item.fill, kRight, item.suppressed);
      break;
    case tkCForm:
      PrintField(item.width, item.fill, kCentre, item.suppressed);
      break;
    default:
      break;
  }
  g.itemFinished = true;
}

bool IsExpressionCode(uint8_t c) {
  return c == tkStringConst || c == 181 || (c >= 200 && c <= 211) || (c >= 213 && c <= 246) ||
         c == 251 || c == 255 || c == 164 || (c >= 178 && c <= 180);
}

void PrintItem(TCall& call) {
  PageFormat::TLayout& g = Layout();
  TItem item;
  item.attached = call.CodeAt(tkPlus);
  if (item.attached) ++call.pos;
  if (call.CodeAt(tkAnd)) {
    item.attached = true;
    g_pending.append(", ");
    ++call.pos;
  }
  if (call.pos >= call.code.size()) return;  // a prefix ends the line
  const uint8_t c = uint8_t(call.code[call.pos]);
  switch (c) {
    case tkOpen:
    case tkClose:
      ++call.pos;
      return;
    case tkTable:
      call.pos += 2;
      return;
    case tkHL: {
      ++call.pos;
      uint16_t error = 0;
      const int32_t n = Zet02::ParseFormatSuffix(call.pos, call.code, error);
      if (error != 0) {
        Error() = error;
        return;
      }
      PageFormat::DrawHorizontalRule(PageFormat::ScaleX(n - 1));
      return;
    }
    case tkVL:
      ++call.pos;
      PageFormat::MarkVerticalRule();
      return;
    case tkEVL:
      ++call.pos;
      PageFormat::DrawVerticalRules();
      return;
    case tkVX:
      ++call.pos;
      if (g.x == 0) g.x = g.left;
      g.x = int16_t(g.x + g.gridWidth);
      return;
    case tkFontRef:
      if (call.pos + 2 >= call.code.size()) {
        Error() = Zet02::kErrRunIncomplete;
        return;
      }
      item.value.text = std::string{char(26), call.code[call.pos + 1]};
      item.kind = Zet02::kValString;
      call.pos += 3;
      break;
    default:
      if (c == tkField || c == tkFieldChain || c == tkExists || IsExpressionCode(c)) {
        ++call.itemNumber;
        EvalItem(call, item);
        if (Error() != 0) return;
        break;
      }
      Error() = kErrIllegalChar;
      return;
  }
  if (!ReadFormat(call, item)) return;
  OutputItem(call, item);
}

void HandleCode(TCall& call) {
  const uint8_t c = uint8_t(call.code[call.pos]);
  const bool last = call.pos + 1 == call.code.size();
  switch (c) {
    case tkLess:
      ++call.pos;
      if (!call.blank && !call.repeat) PageFormat::NewLineDefault();
      return;
    case tkBang:
      ++call.pos;
      if (g_pending.view() == g_remembered.view()) {
        g_pending = std::string(Common::VisibleLength(g_pending), ' ');
        call.blank = true;
      } else {
        call.repeat = g_remembered.empty();
        g_remembered = g_pending;
      }
      return;
    case tkSlash:
      ++call.pos;
      PageFormat::PrintWrapped(g_pending);
      PageFormat::NewLine(last && call.extraLines == 0);
      return;
    case tkOr:
    case tkHas:
      ++call.pos;
      PageFormat::PrintWrapped(g_pending);
      if (!call.blank) PageFormat::NewLine(last && call.extraLines == 0);
      else if (c == tkOr) ++call.extraLines;
      return;
    case tkLike:
      ++call.pos;
      if (call.CodeAt(tkSel)) {
        TItem item;
        EvalItem(call, item);
        if (Error() != 0) return;
        call.blank = item.value.number == 0;
      }
      if (call.blank) g_pending.clear();
      return;
    default:
      PrintItem(call);
      return;
  }
}

int PrintLineHook(std::string_view line) { return FormatLine(line, false); }

}  // namespace

bool IsBlankText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) <= 32; });
}

void CentreText(ShortStr& text, size_t width, char fill) {
  while (Common::VisibleLength(text) < width && text.size() < ShortStr::kMax) {
    text.append(fill);
    if (Common::VisibleLength(text) < width && text.size() < ShortStr::kMax)
      text = std::string(1, fill) + std::string(text.view());
  }
}

bool AnyColumnContinues() {
  for (size_t i = 1; i <= PageFormat::kColumnStates; ++i)
    if (Layout().columns[i].inUse) return true;
  return false;
}

void ReleaseColumnStates() {
  for (size_t i = 1; i <= PageFormat::kColumnStates; ++i) Layout().columns[i] = PageFormat::TColumnState();
}

uint16_t FormatLine(std::string_view line, bool collect) {
  PageFormat::TLayout& g = Layout();
  TCall call;
  call.code = line;
  call.page.collect = collect;
  call.continuation = AnyColumnContinues();
  g.continuation = call.continuation;
  if (g.statPending) {
    Zet02::UpdateStatFuncs(g.statSet);
    g.statPending = false;
  }
  const ShortStr savedPending = g_pending;
  g_pending.clear();
  const uint16_t savedError = g.error;
  g.error = 0;
  call.page.entryLeftMargin = g.left;
  PageFormat::TLineCall* const outer = PageFormat::RunningCall();
  PageFormat::SetRunningCall(&call.page);

  while (g.error == 0 && call.pos < call.code.size()) {
    const size_t before = call.pos;
    HandleCode(call);
    if (g.error == 0 && call.pos == before) ++call.pos;  // every step moves on
  }

  if (g.error == 0) {
    // Collecting for a sub-report's pool is not part of this formatter:
    // a collected line is printed like any other.
    PageFormat::PrintWrapped(g_pending);
    if (call.page.rowBottom > 0) g.y = call.page.rowBottom;
    for (; call.extraLines > 0; --call.extraLines) {
      PageFormat::NewLine(true);
      g.x = 0;
    }
  }
  g_pending = savedPending;
  if (g.error != 0) Zet02::ReportRunError(g.error, call.code, 0, call.pos);
  g.left = call.page.entryLeftMargin;
  PageFormat::SetRunningCall(outer);
  const uint16_t result = g.error;
  g.error = savedError;
  return result;
}

void UnitInit() {
  g_pending.clear();
  g_remembered.clear();
  g_rowTopY = 0;
  g_rowTopCounter = 0;
  PageFormat::SetFormatLineProc(&FormatLine);
  Zet02::TRunHooks hooks{};
  hooks.printLine = &PrintLineHook;
  Zet02::SetRunHooks(hooks);
}

void UnitDone() {
  ReleaseColumnStates();
  g_pending.clear();
  g_remembered.clear();
}

}  // namespace LineFormat
