// The edit control, single-line and multi-line (ES_MULTILINE): typing, caret
// moves, selection, undo, the clipboard, word wrap and scrolling.
//
// What always holds:
//   1. The text, selection and undo live in the window record's EditModel;
//      the lines shown are BreakLines of the text (one line for a
//      single-line edit), recomputed only when the text, the width or the
//      font changed, so moving the caret or repainting costs no layout.
//   2. A multi-line edit wraps its words at the client width unless it has
//      ES_AUTOHSCROLL; it scrolls by lines (topLine) and, without wrapping,
//      sideways by pixels (xOffset), always so that the caret shows after
//      every change the user or a program makes through a message.
//   3. The selection shows while the edit has the focus, or always with
//      ES_NOHIDESEL; the caret shows only with the focus.
//   4. WM_GETDLGCODE: a multi-line edit wants Tab (DLGC_WANTTAB, so a Tab
//      types a tab unless a subclass clears it) and, with ES_WANTRETURN,
//      Enter (DLGC_WANTALLKEYS for a Return key or when no key is named),
//      which then breaks the line instead of pressing the default button.
//   5. The clipboard: WM_COPY and WM_CUT put the selection on it as text
//      (never from a password edit), WM_PASTE replaces the selection by its
//      text, WM_CLEAR deletes the selection; Ctrl+C, Ctrl+X, Ctrl+V, Ctrl+Z,
//      Ctrl+Ins, Shift+Ins and Shift+Del send them. A read-only edit only
//      copies.
//   6. EN_CHANGE follows every change of the text; EN_MAXTEXT an insert the
//      limit cut.
#include <algorithm>
#include <cstring>

#include "platform/clipboard.h"
#include "platform/controls/control_base.h"
#include "platform/controls/controls.h"
#include "platform/controls/models.h"
#include "platform/controls/pertable.h"
#include "platform/win/backend.h"
#include "platform/win/input.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace win {

namespace {

constexpr int kEditMargin = 1;
constexpr UINT kVkInsert = 0x2D;

struct Edit : ControlState {
  EditModel model;
  DWORD style = 0;
  int topLine = 0;  // the first line shown
  int xOffset = 0;  // pixels scrolled to the left
  int goalX = -1;   // where Up and Down aim, -1 from the caret
  std::vector<EditLine> lines;
  bool linesDirty = true;

  bool Multi() const { return (style & ES_MULTILINE) != 0; }
  bool Wraps() const { return Multi() && !(style & ES_AUTOHSCROLL); }
};

PerWindow<Edit>& Edits() {
  static PerWindow<Edit> table;
  return table;
}

int Room(HWND hwnd) { return std::max(1, int(ClientRectOf(hwnd).right) - 2 * kEditMargin); }

const std::vector<EditLine>& Lines(HWND hwnd, Edit& e) {
  if (!e.linesDirty) return e.lines;
  const std::string shown = e.model.Shown();
  if (e.Multi()) {
    const auto font = FontOf(e);
    e.lines = BreakLines(shown, Room(hwnd), e.Wraps(), [&](uint8_t c) { return font->CharWidth(c); });
  } else {
    e.lines = {{0, int(shown.size())}};
  }
  e.linesDirty = false;
  return e.lines;
}

int LineHeight(const Edit& e) { return std::max(1, FontOf(e)->Metrics().tmHeight); }
int Rows(HWND hwnd, const Edit& e) { return std::max(1, int(ClientRectOf(hwnd).bottom) / LineHeight(e)); }

// The top of the first line shown: a single line is centred.
int TextTop(HWND hwnd, const Edit& e) {
  return e.Multi() ? 0 : std::max(0, (int(ClientRectOf(hwnd).bottom) - LineHeight(e)) / 2);
}

// The x of a position within its line, before scrolling.
int XInLine(const Edit& e, const std::string& shown, const EditLine& line, int pos) {
  const int to = std::clamp(pos, line.start, line.start + line.length);
  return FontOf(e)->TextWidth(std::string_view(shown).substr(size_t(line.start), size_t(to - line.start)));
}

// The position of a line nearest to an x before scrolling.
int PositionInLine(const Edit& e, const std::string& shown, const EditLine& line, int x) {
  const auto font = FontOf(e);
  int at = 0;
  for (int i = line.start; i < line.start + line.length; ++i) {
    const int w = font->CharWidth(uint8_t(shown[size_t(i)]));
    if (x < at + w / 2) return i;
    at += w;
  }
  return line.start + line.length;
}

void ScrollToCaret(HWND hwnd, Edit& e) {
  const auto& lines = Lines(hwnd, e);
  const int line = LineOf(lines, e.model.Caret());
  if (e.Multi()) {
    const int rows = Rows(hwnd, e);
    if (line < e.topLine) e.topLine = line;
    else if (line >= e.topLine + rows) e.topLine = line - rows + 1;
    e.topLine = std::clamp(e.topLine, 0, std::max(0, int(lines.size()) - 1));
  }
  if (e.Wraps()) {
    e.xOffset = 0;
    return;
  }
  const int x = XInLine(e, e.model.Shown(), lines[size_t(line)], e.model.Caret());
  const int room = Room(hwnd);
  if (x < e.xOffset) e.xOffset = x;
  else if (x - e.xOffset > room) e.xOffset = x - room;
}

void Changed(HWND hwnd, Edit& e, bool textChanged) {
  if (textChanged) e.linesDirty = true;
  ScrollToCaret(hwnd, e);
  InvalidateRect(hwnd, nullptr, true);
  if (textChanged) Notify(hwnd, EN_CHANGE);
}

void PaintEdit(HWND hwnd, Edit& e, Dc& dc, RECT r) {
  const bool grey = !IsWindowEnabled(hwnd) || e.model.ReadOnly();
  Background(hwnd, dc, grey ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, grey ? COLOR_BTNFACE : COLOR_WINDOW);
  const int h = LineHeight(e), top = TextTop(hwnd, e), left = kEditMargin - e.xOffset;
  const std::string shown = e.model.Shown();
  const auto& lines = Lines(hwnd, e);
  const bool showSel = e.focused || (e.style & ES_NOHIDESEL);
  const COLORREF text = dc.Current().textColor;
  const int s = e.model.SelStart(), end = e.model.SelEnd();
  for (int i = e.topLine, y = top; i < int(lines.size()) && y < r.bottom; ++i, y += h) {
    const EditLine& line = lines[size_t(i)];
    dc.SetTextColor(text);
    dc.TextOut(left, y, std::string_view(shown).substr(size_t(line.start), size_t(line.length)));
    const int from = std::max(s, line.start), to = std::min(end, line.start + line.length);
    if (!showSel || to <= from) continue;
    const RECT sel{left + XInLine(e, shown, line, from), y, left + XInLine(e, shown, line, to), y + h};
    dc.FillRect(sel, CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    dc.SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
    dc.TextOut(sel.left, y, std::string_view(shown).substr(size_t(from), size_t(to - from)));
  }
  if (!e.focused) return;
  const int caretLine = LineOf(lines, e.model.Caret());
  if (caretLine < e.topLine) return;
  const int cx = left + XInLine(e, shown, lines[size_t(caretLine)], e.model.Caret());
  const int cy = top + (caretLine - e.topLine) * h;
  dc.FillRect({cx, cy, cx + 1, cy + h}, CreateSolidBrush(GetSysColor(COLOR_WINDOWTEXT)));
}

// The caret's new place for a moving key, or -1 when the key moves nothing.
int MoveFor(HWND hwnd, Edit& e, WPARAM vk, bool ctrl) {
  EditModel& m = e.model;
  const auto& lines = Lines(hwnd, e);
  const std::string shown = m.Shown();
  const int line = LineOf(lines, m.Caret());
  const EditLine& here = lines[size_t(line)];
  if (vk != VK_UP && vk != VK_DOWN) e.goalX = -1;
  switch (vk) {
    case VK_LEFT: return m.Step(m.Caret(), -1);
    case VK_RIGHT: return m.Step(m.Caret(), 1);
    case VK_HOME: return ctrl ? 0 : here.start;
    case VK_END: return ctrl ? int(m.Text().size()) : here.start + here.length;
    case VK_UP:
    case VK_DOWN: {
      const int to = line + (vk == VK_UP ? -1 : 1);
      if (!e.Multi() || to < 0 || to >= int(lines.size())) return m.Caret();
      if (e.goalX < 0) e.goalX = XInLine(e, shown, here, m.Caret());
      return PositionInLine(e, shown, lines[size_t(to)], e.goalX);
    }
  }
  return -1;
}

bool Cut(HWND hwnd, Edit& e, bool keep) {
  EditModel& m = e.model;
  if (m.SelEnd() == m.SelStart() || m.PasswordChar()) return false;
  if (!platform::ClipboardSetText(m.Selected())) return false;
  if (keep || m.ReadOnly()) return true;
  m.ReplaceSel({}, false);
  Changed(hwnd, e, true);
  return true;
}

void Insert(HWND hwnd, Edit& e, std::string_view text, bool typed, bool canUndo) {
  if (!e.model.ReplaceSel(text, typed, canUndo)) {
    if (typed) MessageBeep(0);
    Notify(hwnd, EN_MAXTEXT);
  }
  e.goalX = -1;
  Changed(hwnd, e, true);
}

LRESULT DlgCode(const Edit& e, LPARAM lParam) {
  LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
  if (!e.Multi()) return code;
  code |= DLGC_WANTTAB;
  const auto* msg = reinterpret_cast<const MSG*>(lParam);
  if ((e.style & ES_WANTRETURN) && (!msg || (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)))
    code |= DLGC_WANTALLKEYS;
  return code;
}

LRESULT KeyDown(HWND hwnd, Edit& e, WPARAM vk, LPARAM lParam) {
  EditModel& m = e.model;
  const bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
  if (ctrl && (vk == 'C' || vk == kVkInsert)) return SendMessage(hwnd, WM_COPY);
  if ((ctrl && vk == 'X') || (shift && vk == VK_DELETE)) return SendMessage(hwnd, WM_CUT);
  if ((ctrl && vk == 'V') || (shift && vk == kVkInsert)) return SendMessage(hwnd, WM_PASTE);
  if (ctrl && vk == 'Z') return SendMessage(hwnd, WM_UNDO);
  if (vk == VK_DELETE) {
    if (!m.ReadOnly()) Changed(hwnd, e, m.DeleteForward());
    return 0;
  }
  const int to = MoveFor(hwnd, e, vk, ctrl);
  if (to < 0) return DefWindowProc(hwnd, WM_KEYDOWN, vk, lParam);
  m.MoveTo(to, shift);
  Changed(hwnd, e, false);
  return 0;
}

LRESULT Char(HWND hwnd, Edit& e, uint8_t ch) {
  EditModel& m = e.model;
  const bool control = ch < 0x20 || ch == 0x7F;
  if (control && ch != 8 && !(e.Multi() && (ch == '\r' || ch == '\t'))) return 0;
  if (m.ReadOnly()) {
    MessageBeep(0);
    return 0;
  }
  if (ch == 8) {
    Changed(hwnd, e, m.Backspace());
    return 0;
  }
  const char typed = char(ch);
  Insert(hwnd, e, ch == '\r' ? std::string_view("\r\n") : std::string_view(&typed, 1), true, true);
  return 0;
}

// The line EM_LINEINDEX, EM_LINELENGTH and EM_LINEFROMCHAR mean by -1.
int LineArg(HWND hwnd, Edit& e, WPARAM wParam, bool isLine) {
  const auto& lines = Lines(hwnd, e);
  if (int(wParam) == -1) return LineOf(lines, isLine ? e.model.Caret() : e.model.SelStart());
  return isLine ? int(wParam) : LineOf(lines, int(wParam));
}

std::optional<LRESULT> EditMessage(HWND hwnd, Edit& e, UINT msg, WPARAM wParam, LPARAM lParam) {
  EditModel& m = e.model;
  switch (msg) {
    case WM_GETDLGCODE: return DlgCode(e, lParam);
    case WM_SETTEXT:
      m.SetText(lParam ? reinterpret_cast<const char*>(lParam) : "");
      e.topLine = 0, e.xOffset = 0;
      Changed(hwnd, e, true);
      return 1;
    case WM_GETTEXT: {
      if (wParam == 0 || !lParam) return 0;
      const size_t n = std::min(m.Text().size(), size_t(wParam) - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), m.Text().data(), n);
      reinterpret_cast<char*>(lParam)[n] = 0;
      return LRESULT(n);
    }
    case WM_GETTEXTLENGTH: return LRESULT(m.Text().size());
    case EM_GETSEL:
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = DWORD(m.SelStart());
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = DWORD(m.SelEnd());
      return LRESULT(MAKELPARAM(uint16_t(m.SelStart()), uint16_t(m.SelEnd())));
    case EM_SETSEL:
      m.SetSel(int(intptr_t(wParam)), int(lParam));
      Changed(hwnd, e, false);
      return 0;
    case EM_SCROLLCARET: ScrollToCaret(hwnd, e); InvalidateRect(hwnd, nullptr, true); return 1;
    case EM_GETMODIFY: return m.Modified();
    case EM_SETMODIFY: m.SetModified(wParam != 0); return 0;
    case EM_LIMITTEXT: m.SetLimit(int(wParam)); return 0;
    case EM_SETREADONLY: m.SetReadOnly(wParam != 0); InvalidateRect(hwnd, nullptr, true); return 1;
    case EM_SETPASSWORDCHAR:
      m.SetPasswordChar(uint8_t(wParam));
      Changed(hwnd, e, false);
      e.linesDirty = true;
      return 0;
    case EM_GETPASSWORDCHAR: return m.PasswordChar();
    case EM_REPLACESEL: Insert(hwnd, e, lParam ? reinterpret_cast<const char*>(lParam) : "", false, wParam != 0); return 0;
    case EM_CANUNDO: return m.CanUndo();
    case EM_UNDO:
    case WM_UNDO:
      if (!m.Undo()) return 0;
      Changed(hwnd, e, true);
      return 1;
    case EM_EMPTYUNDOBUFFER: m.EmptyUndo(); return 0;
    case WM_COPY: Cut(hwnd, e, true); return 0;
    case WM_CUT: Cut(hwnd, e, false); return 0;
    case WM_CLEAR:
      if (!m.ReadOnly() && m.SelEnd() > m.SelStart()) Insert(hwnd, e, {}, false, true);
      return 0;
    case WM_PASTE: {
      std::string text;
      if (!m.ReadOnly() && platform::ClipboardGetText(text)) Insert(hwnd, e, text, false, true);
      return 0;
    }
    case EM_GETLINECOUNT: return LRESULT(Lines(hwnd, e).size());
    case EM_LINEINDEX: {
      const int line = LineArg(hwnd, e, wParam, true);
      const auto& lines = Lines(hwnd, e);
      return line >= 0 && line < int(lines.size()) ? lines[size_t(line)].start : -1;
    }
    case EM_LINELENGTH: return Lines(hwnd, e)[size_t(LineArg(hwnd, e, wParam, false))].length;
    case EM_LINEFROMCHAR: return LineArg(hwnd, e, wParam, false);
    case EM_GETLINE: {
      const auto& lines = Lines(hwnd, e);
      if (!lParam || int(wParam) < 0 || int(wParam) >= int(lines.size())) return 0;
      uint16_t room;
      std::memcpy(&room, reinterpret_cast<const void*>(lParam), sizeof room);
      const EditLine& line = lines[size_t(wParam)];
      const size_t n = std::min(size_t(room), size_t(line.length));
      std::memcpy(reinterpret_cast<char*>(lParam), m.Text().data() + line.start, n);
      return LRESULT(n);
    }
    case EM_GETFIRSTVISIBLELINE: return e.topLine;
    case WM_CHAR: return Char(hwnd, e, uint8_t(wParam));
    case WM_KEYDOWN: return KeyDown(hwnd, e, wParam, lParam);
    case WM_LBUTTONDOWN: {
      SetFocus(hwnd);
      const auto& lines = Lines(hwnd, e);
      const int row = (GET_Y_LPARAM(lParam) - TextTop(hwnd, e)) / LineHeight(e);
      const int line = std::clamp(e.topLine + std::max(0, row), 0, int(lines.size()) - 1);
      m.MoveTo(PositionInLine(e, m.Shown(), lines[size_t(line)], GET_X_LPARAM(lParam) - kEditMargin + e.xOffset),
               GetKeyState(VK_SHIFT) < 0);
      e.goalX = -1;
      Changed(hwnd, e, false);
      return 0;
    }
    case WM_SIZE:
      e.linesDirty = true;
      ScrollToCaret(hwnd, e);
      return 0;
    case WM_SETFONT: {
      LRESULT result;
      CommonMessage(hwnd, e, msg, wParam, lParam, result);
      e.linesDirty = true;
      return result;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      Notify(hwnd, msg == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
      LRESULT result;
      CommonMessage(hwnd, e, msg, wParam, lParam, result);
      return result;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintWith(hwnd, e, [&](Dc& dc, RECT r) { PaintEdit(hwnd, e, dc, r); }); return 0;
  }
  return std::nullopt;
}

void Init(Edit& e, const CREATESTRUCT& cs) {
  e.style = cs.style;
  e.model.SetMultiLine(e.Multi());
  if (cs.style & ES_PASSWORD) e.model.SetPasswordChar('*');
  e.model.SetUpperCase((cs.style & ES_UPPERCASE) != 0);
  e.model.SetReadOnly((cs.style & ES_READONLY) != 0);
  e.model.SetText(cs.lpszName ? cs.lpszName : "");
}

}  // namespace

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RecordProc<Edit>(Edits(), Init, EditMessage, hwnd, msg, wParam, lParam);
}

}  // namespace win
