// The standard controls' window procedures and drawing (see controls.h).
#include "platform/controls/controls.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/controls/models.h"
#include "platform/controls/pertable.h"
#include "platform/controls/tooltip.h"
#include "platform/fonts/font.h"
#include "platform/gdi/dc.h"
#include "platform/win/backend.h"
#include "platform/win/input.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace win {

namespace {

// What a control keeps between messages; one record serves every kind.
struct Control {
  LOGFONT font = SystemFont();
  bool hasFont = false;
  EditModel edit;
  std::unique_ptr<ListModel> list;
  int check = BST_UNCHECKED;
  bool pushed = false;
  bool focused = false;
  int firstVisible = 0;  // the edit's first character shown
};

PerWindow<Control>& Table() {
  static PerWindow<Control> table;
  return table;
}

Control& Make(HWND hwnd) { return Table().Make(hwnd); }
Control* Of(HWND hwnd) { return Table().Of(hwnd); }

DWORD StyleOf(HWND hwnd) { return DWORD(GetWindowLongPtr(hwnd, GWL_STYLE)); }
DWORD KindOf(HWND hwnd) { return StyleOf(hwnd) & BS_TYPEMASK; }

void Notify(HWND hwnd, UINT code) {
  SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(uint16_t(GetDlgCtrlID(hwnd)), uint16_t(code)),
              LPARAM(hwnd.id));
}

std::shared_ptr<const platform::fonts::Font> FontOf(const Control& c) { return platform::fonts::Font::Create(c.font); }

// The common part of the messages every control answers alike; true when
// the message was one of them.
bool CommonMessage(HWND hwnd, Control& c, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_SETFONT:
      if (wParam) {
        c.font = *reinterpret_cast<const LOGFONT*>(wParam);
        c.hasFont = true;
      }
      if (lParam) InvalidateRect(hwnd, nullptr, true);
      result = 0;
      return true;
    case WM_GETFONT: result = c.hasFont ? reinterpret_cast<LRESULT>(&c.font) : 0; return true;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, true); result = 0; return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      c.focused = msg == WM_SETFOCUS;
      InvalidateRect(hwnd, nullptr, true);
      result = 0;
      return true;
  }
  return false;
}

// --- drawing ---

void Line(Dc& dc, int x0, int y0, int x1, int y1, int color) {
  dc.FillRect({x0, y0, x1, y1}, CreateSolidBrush(GetSysColor(color)));
}

// A two-pixel 3-D edge: raised (light top-left) or sunken (dark top-left).
void Edge(Dc& dc, const RECT& r, bool raised) {
  const int outerLight = raised ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW;
  const int outerDark = raised ? COLOR_3DDKSHADOW : COLOR_BTNHIGHLIGHT;
  const int innerLight = raised ? COLOR_BTNFACE : COLOR_3DDKSHADOW;
  const int innerDark = raised ? COLOR_BTNSHADOW : COLOR_BTNFACE;
  Line(dc, r.left, r.top, r.right - 1, r.top + 1, outerLight);
  Line(dc, r.left, r.top, r.left + 1, r.bottom - 1, outerLight);
  Line(dc, r.left, r.bottom - 1, r.right, r.bottom, outerDark);
  Line(dc, r.right - 1, r.top, r.right, r.bottom, outerDark);
  Line(dc, r.left + 1, r.top + 1, r.right - 2, r.top + 2, innerLight);
  Line(dc, r.left + 1, r.top + 1, r.left + 2, r.bottom - 2, innerLight);
  Line(dc, r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1, innerDark);
  Line(dc, r.right - 2, r.top + 1, r.right - 1, r.bottom - 1, innerDark);
}

// Asks the parent for the colours (rule 3) and paints the background,
// unless the control lets what lies below show (defaultColor -1).
void Background(HWND hwnd, Dc& dc, UINT ctlColor, int defaultColor) {
  RECT r;
  GetClientRect(hwnd, &r);
  dc.SetTextColor(GetSysColor(IsWindowEnabled(hwnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  dc.SetBkMode(TRANSPARENT);
  const LRESULT answer = SendMessage(GetParent(hwnd), ctlColor, reinterpret_cast<WPARAM>(&dc), LPARAM(hwnd.id));
  if (defaultColor < 0) return;
  if (answer) dc.FillRect(r, *reinterpret_cast<const Brush*>(answer));
  else dc.FillRect(r, CreateSolidBrush(GetSysColor(defaultColor)));
}

template <class Draw>
void Paint(HWND hwnd, Control& c, Draw draw) {
  PAINTSTRUCT ps;
  if (Dc* dc = BeginPaint(hwnd, &ps)) {
    dc->SelectFont(c.font);
    RECT r;
    GetClientRect(hwnd, &r);
    draw(*dc, r);
  }
  EndPaint(hwnd, &ps);
}

// --- Static ---

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) Make(hwnd);
  Control* c = Of(hwnd);
  LRESULT result = 0;
  if (c && CommonMessage(hwnd, *c, msg, wParam, lParam, result)) return result;
  switch (msg) {
    case WM_NCDESTROY: Table().Erase(hwnd); break;
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_SETTEXT:
      DefWindowProc(hwnd, msg, wParam, lParam);
      InvalidateRect(hwnd, nullptr, true);
      return 1;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
      if (!c) break;
      Paint(hwnd, *c, [&](Dc& dc, RECT r) {
        Background(hwnd, dc, WM_CTLCOLORSTATIC, COLOR_BTNFACE);
        const DWORD style = StyleOf(hwnd);
        UINT format = DT_WORDBREAK | DT_EXPANDTABS;
        if ((style & 0xF) == SS_CENTER) format |= DT_CENTER;
        else if ((style & 0xF) == SS_RIGHT) format |= DT_RIGHT;
        if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
        dc.DrawText(GetWindowText(hwnd), &r, format);
      });
      return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

// --- Button ---

bool IsPushKind(DWORD kind) { return kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON; }
bool IsRadioKind(DWORD kind) { return kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON; }

// An automatic radio button checks itself and clears the automatic radio
// buttons of its group (the run of siblings from a WS_GROUP to the next).
void CheckInGroup(HWND hwnd) {
  const std::vector<HWND> siblings = ChildrenInOrder(GetParent(hwnd));
  const auto self = std::find(siblings.begin(), siblings.end(), hwnd);
  if (self == siblings.end()) return;
  auto first = self;
  while (first != siblings.begin() && !(StyleOf(*first) & WS_GROUP)) --first;
  for (auto it = first; it != siblings.end(); ++it) {
    if (it != first && (StyleOf(*it) & WS_GROUP)) break;
    if (KindOf(*it) == BS_AUTORADIOBUTTON && GetClassName(*it) == kButtonClass)
      SendMessage(*it, BM_SETCHECK, *it == hwnd ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void Click(HWND hwnd, Control& c) {
  switch (KindOf(hwnd)) {
    case BS_AUTOCHECKBOX: SendMessage(hwnd, BM_SETCHECK, c.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0); break;
    case BS_AUTO3STATE: SendMessage(hwnd, BM_SETCHECK, (c.check + 1) % 3, 0); break;
    case BS_AUTORADIOBUTTON: CheckInGroup(hwnd); break;
  }
  Notify(hwnd, BN_CLICKED);
}

void DrawButtonText(HWND hwnd, Dc& dc, RECT box, UINT format, bool focusRect, bool focused) {
  const std::string text = GetWindowText(hwnd);
  dc.DrawText(text, &box, format);
  if (focusRect && focused && !text.empty()) {
    RECT measured = box;
    dc.DrawText(text, &measured, format | DT_CALCRECT);
    const RECT around{measured.left - 1, measured.top, measured.right + 1, measured.bottom};
    dc.DrawFocusRect(around);
  }
}

void PaintButton(HWND hwnd, Control& c, Dc& dc, RECT r) {
  const DWORD kind = KindOf(hwnd);
  TEXTMETRIC tm;
  dc.GetTextMetrics(&tm);
  if (IsPushKind(kind)) {
    Background(hwnd, dc, WM_CTLCOLORBTN, COLOR_BTNFACE);
    dc.SetTextColor(GetSysColor(IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    RECT face = r;
    if (kind == BS_DEFPUSHBUTTON) {
      dc.FrameRect(face, CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME)));
      face = {face.left + 1, face.top + 1, face.right - 1, face.bottom - 1};
    }
    if (c.pushed) {
      dc.FrameRect(face, CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW)));
    } else {
      Edge(dc, face, true);
    }
    RECT text{face.left + 2, face.top + 2, face.right - 2, face.bottom - 2};
    if (c.pushed) text = {text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
    DrawButtonText(hwnd, dc, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE, false, false);
    if (c.focused) dc.DrawFocusRect({face.left + 3, face.top + 3, face.right - 3, face.bottom - 3});
    return;
  }
  // A group box lies under the controls it frames: it draws no background.
  Background(hwnd, dc, WM_CTLCOLORSTATIC, kind == BS_GROUPBOX ? -1 : COLOR_BTNFACE);
  if (kind == BS_GROUPBOX) {
    const int mid = tm.tmHeight / 2;
    const RECT frame{r.left, r.top + mid, r.right, r.bottom};
    dc.FrameRect(frame, CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW)));
    dc.FrameRect({frame.left + 1, frame.top + 1, frame.right, frame.bottom},
                 CreateSolidBrush(GetSysColor(COLOR_BTNHIGHLIGHT)));
    dc.FrameRect({frame.left, frame.top, frame.right - 1, frame.bottom - 1},
                 CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW)));
    const std::string text = GetWindowText(hwnd);
    if (!text.empty()) {
      RECT label{r.left + 8, r.top, r.right - 8, r.top + tm.tmHeight};
      dc.DrawText(text, &label, DT_SINGLELINE | DT_CALCRECT);
      dc.FillRect({label.left - 2, label.top, label.right + 2, label.bottom},
                  CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
      dc.DrawText(text, &label, DT_SINGLELINE);
    }
    return;
  }
  // Check boxes and radio buttons: a 13-pixel mark, the text to its right.
  constexpr int kMark = 13;
  const int top = r.top + (r.bottom - r.top - kMark) / 2;
  const RECT mark{r.left, top, r.left + kMark, top + kMark};
  const COLORREF markFill = GetSysColor(c.pushed || !IsWindowEnabled(hwnd) ? COLOR_BTNFACE : COLOR_WINDOW);
  if (IsRadioKind(kind)) {
    dc.SelectPen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
    dc.SelectBrush(CreateSolidBrush(markFill));
    dc.Ellipse(mark.left, mark.top, mark.right - 1, mark.bottom - 1);
    if (c.check == BST_CHECKED) {
      dc.SelectPen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT)));
      dc.SelectBrush(CreateSolidBrush(GetSysColor(COLOR_WINDOWTEXT)));
      dc.Ellipse(mark.left + 4, mark.top + 4, mark.left + 8, mark.top + 8);
    }
  } else {
    dc.FillRect(mark, CreateSolidBrush(markFill));
    Edge(dc, mark, false);
    if (c.check != BST_UNCHECKED) {
      const int color = c.check == BST_CHECKED ? COLOR_WINDOWTEXT : COLOR_BTNSHADOW;
      // The tick: three pixels thick, down to the right then up.
      for (int i = 0; i < 7; ++i) {
        const int x = mark.left + 3 + i;
        const int y = mark.top + (i < 2 ? 5 + i : 9 - i);
        Line(dc, x, y, x + 1, y + 3, color);
      }
    }
  }
  const RECT text{mark.right + 4, r.top, r.right, r.bottom};
  DrawButtonText(hwnd, dc, text, DT_SINGLELINE | DT_VCENTER, true, c.focused);
}

LRESULT DlgCodeOfButton(DWORD kind) {
  if (kind == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
  if (kind == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
  if (IsRadioKind(kind)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
  if (kind == BS_GROUPBOX) return DLGC_STATIC;
  return DLGC_BUTTON;
}

LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) Make(hwnd);
  Control* c = Of(hwnd);
  LRESULT result = 0;
  if (c && CommonMessage(hwnd, *c, msg, wParam, lParam, result)) return result;
  if (!c) return DefWindowProc(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_NCDESTROY: Table().Erase(hwnd); break;
    case WM_GETDLGCODE: return DlgCodeOfButton(KindOf(hwnd));
    case WM_SETTEXT:
      DefWindowProc(hwnd, msg, wParam, lParam);
      InvalidateRect(hwnd, nullptr, true);
      return 1;
    case BM_GETCHECK: return c->check;
    case BM_SETCHECK:
      if (c->check != int(wParam)) {
        c->check = int(wParam) & 3;
        InvalidateRect(hwnd, nullptr, true);
      }
      return 0;
    case BM_GETSTATE: return c->check | (c->pushed ? BST_PUSHED : 0) | (c->focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
      c->pushed = wParam != 0;
      InvalidateRect(hwnd, nullptr, true);
      return 0;
    case BM_SETSTYLE:
      SetWindowLongPtr(hwnd, GWL_STYLE, intptr_t((StyleOf(hwnd) & ~0xFFFFu) | (wParam & 0xFFFF)));
      if (lParam) InvalidateRect(hwnd, nullptr, true);
      return 0;
    case BM_CLICK: Click(hwnd, *c); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (KindOf(hwnd) == BS_GROUPBOX) return 0;
      SetFocus(hwnd);
      c->pushed = true;
      SetCapture(hwnd);
      InvalidateRect(hwnd, nullptr, true);
      return 0;
    case WM_LBUTTONUP: {
      if (!c->pushed) return 0;
      c->pushed = false;
      ReleaseCapture();
      InvalidateRect(hwnd, nullptr, true);
      RECT r;
      GetClientRect(hwnd, &r);
      const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) Click(hwnd, *c);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        c->pushed = true;
        InvalidateRect(hwnd, nullptr, true);
        return 0;
      }
      break;
    case WM_KEYUP:
      if (wParam == VK_SPACE && c->pushed) {
        c->pushed = false;
        InvalidateRect(hwnd, nullptr, true);
        Click(hwnd, *c);
      }
      return 0;
    case WM_CHAR: return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(hwnd, *c, [&](Dc& dc, RECT r) { PaintButton(hwnd, *c, dc, r); }); return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

// --- Edit ---

constexpr int kEditMargin = 1;

// Keeps the caret within the client width (ES_AUTOHSCROLL scrolls the text).
void ScrollToCaret(HWND hwnd, Control& c) {
  RECT r;
  GetClientRect(hwnd, &r);
  const int room = std::max(1, r.right - r.left - 2 * kEditMargin);
  const auto font = FontOf(c);
  const std::string shown = c.edit.Shown();
  const int caret = c.edit.Caret();
  if (caret < c.firstVisible) c.firstVisible = caret;
  while (c.firstVisible < caret &&
         font->TextWidth(std::string_view(shown).substr(size_t(c.firstVisible), size_t(caret - c.firstVisible))) > room)
    ++c.firstVisible;
  c.firstVisible = std::min(c.firstVisible, int(shown.size()));
}

void EditChanged(HWND hwnd, Control& c, bool changed) {
  ScrollToCaret(hwnd, c);
  InvalidateRect(hwnd, nullptr, true);
  if (changed) Notify(hwnd, EN_CHANGE);
}

int EditPositionAt(const Control& c, int x) {
  const auto font = FontOf(c);
  const std::string shown = c.edit.Shown();
  int at = kEditMargin;
  for (int i = c.firstVisible; i < int(shown.size()); ++i) {
    const int w = font->CharWidth(uint8_t(shown[size_t(i)]));
    if (x < at + w / 2) return i;
    at += w;
  }
  return int(shown.size());
}

void PaintEdit(HWND hwnd, Control& c, Dc& dc, RECT r) {
  const bool grey = !IsWindowEnabled(hwnd) || c.edit.ReadOnly();
  Background(hwnd, dc, grey ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, grey ? COLOR_BTNFACE : COLOR_WINDOW);
  TEXTMETRIC tm;
  dc.GetTextMetrics(&tm);
  const std::string shown = c.edit.Shown();
  const std::string_view visible = std::string_view(shown).substr(size_t(c.firstVisible));
  const int y = std::max(0, (r.bottom - r.top - tm.tmHeight) / 2);
  const auto font = FontOf(c);
  const auto xOf = [&](int index) {
    const int from = c.firstVisible, to = std::max(from, index);
    return kEditMargin + font->TextWidth(std::string_view(shown).substr(size_t(from), size_t(to - from)));
  };
  dc.TextOut(kEditMargin, y, visible);
  if (!c.focused) return;
  const int s = std::max(c.edit.SelStart(), c.firstVisible), e = c.edit.SelEnd();
  if (e > s) {
    const RECT sel{xOf(s), y, xOf(e), y + tm.tmHeight};
    dc.FillRect(sel, CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    dc.SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
    dc.TextOut(sel.left, y, std::string_view(shown).substr(size_t(s), size_t(e - s)));
  }
  const int cx = xOf(c.edit.Caret());
  dc.FillRect({cx, y, cx + 1, y + tm.tmHeight}, CreateSolidBrush(GetSysColor(COLOR_WINDOWTEXT)));
}

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    Control& c = Make(hwnd);
    const auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
    if (cs->style & ES_PASSWORD) c.edit.SetPasswordChar('*');
    c.edit.SetUpperCase((cs->style & ES_UPPERCASE) != 0);
    c.edit.SetReadOnly((cs->style & ES_READONLY) != 0);
    c.edit.SetText(cs->lpszName ? cs->lpszName : "");
    return 1;
  }
  Control* c = Of(hwnd);
  if (!c) return DefWindowProc(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  if (msg == WM_SETFOCUS) Notify(hwnd, EN_SETFOCUS);
  if (msg == WM_KILLFOCUS) Notify(hwnd, EN_KILLFOCUS);
  if (CommonMessage(hwnd, *c, msg, wParam, lParam, result)) return result;
  EditModel& m = c->edit;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  switch (msg) {
    case WM_NCDESTROY: Table().Erase(hwnd); break;
    case WM_GETDLGCODE: return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETTEXT:
      m.SetText(lParam ? reinterpret_cast<const char*>(lParam) : "");
      c->firstVisible = 0;
      EditChanged(hwnd, *c, true);
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
      EditChanged(hwnd, *c, false);
      return 0;
    case EM_GETMODIFY: return m.Modified();
    case EM_SETMODIFY: m.SetModified(wParam != 0); return 0;
    case EM_LIMITTEXT: m.SetLimit(int(wParam)); return 0;
    case EM_SETREADONLY: m.SetReadOnly(wParam != 0); InvalidateRect(hwnd, nullptr, true); return 1;
    case EM_SETPASSWORDCHAR:
      m.SetPasswordChar(uint8_t(wParam));
      EditChanged(hwnd, *c, false);
      return 0;
    case EM_GETPASSWORDCHAR: return m.PasswordChar();
    case EM_REPLACESEL:
      if (!m.ReplaceSel(lParam ? reinterpret_cast<const char*>(lParam) : "", false)) Notify(hwnd, EN_MAXTEXT);
      EditChanged(hwnd, *c, true);
      return 0;
    case WM_CHAR: {
      const uint8_t ch = uint8_t(wParam);
      if (ch == 8) {
        if (m.ReadOnly()) return 0;
        EditChanged(hwnd, *c, m.Backspace());
      } else if (ch >= 0x20 && ch != 0x7F) {
        if (m.ReadOnly()) {
          MessageBeep(0);
          return 0;
        }
        const char typed = char(ch);
        if (!m.ReplaceSel(std::string_view(&typed, 1), true)) {
          MessageBeep(0);
          Notify(hwnd, EN_MAXTEXT);
        }
        EditChanged(hwnd, *c, true);
      }
      return 0;
    }
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_LEFT: m.MoveTo(m.Caret() - 1, shift); break;
        case VK_RIGHT: m.MoveTo(m.Caret() + 1, shift); break;
        case VK_HOME: m.MoveTo(0, shift); break;
        case VK_END: m.MoveTo(int(m.Text().size()), shift); break;
        case VK_DELETE:
          if (m.ReadOnly()) return 0;
          EditChanged(hwnd, *c, m.DeleteForward());
          return 0;
        default: return DefWindowProc(hwnd, msg, wParam, lParam);
      }
      EditChanged(hwnd, *c, false);
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      m.MoveTo(EditPositionAt(*c, GET_X_LPARAM(lParam)), shift);
      EditChanged(hwnd, *c, false);
      return 0;
    case WM_SIZE: ScrollToCaret(hwnd, *c); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(hwnd, *c, [&](Dc& dc, RECT r) { PaintEdit(hwnd, *c, dc, r); }); return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

// --- ListBox ---

int ItemHeight(const Control& c) { return std::max(1, FontOf(c)->Metrics().tmHeight); }

void SelectItem(HWND hwnd, Control& c, int index, bool notify) {
  ListModel& list = *c.list;
  if (index < 0 || index >= list.Count() || index == list.Current()) return;
  list.SetCurrent(index);
  RECT r;
  GetClientRect(hwnd, &r);
  const int rows = std::max(1, (r.bottom - r.top) / ItemHeight(c));
  if (index < list.Top()) list.SetTop(index);
  else if (index >= list.Top() + rows) list.SetTop(index - rows + 1);
  InvalidateRect(hwnd, nullptr, true);
  if (notify && (StyleOf(hwnd) & LBS_NOTIFY)) Notify(hwnd, LBN_SELCHANGE);
}

void PaintList(HWND hwnd, Control& c, Dc& dc, RECT r) {
  Background(hwnd, dc, WM_CTLCOLORLISTBOX, COLOR_WINDOW);
  const COLORREF text = dc.Current().textColor;
  const int h = ItemHeight(c);
  const ListModel& list = *c.list;
  for (int i = list.Top(), y = r.top; i < list.Count() && y < r.bottom; ++i, y += h) {
    const RECT row{r.left, y, r.right, y + h};
    const bool selected = i == list.Current();
    if (selected) dc.FillRect(row, CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    dc.SetTextColor(selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text);
    dc.TextOut(row.left + 2, row.top, list.At(i)->text);
    if (selected && c.focused) dc.DrawFocusRect(row);
  }
}

LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    Control& c = Make(hwnd);
    c.list = std::make_unique<ListModel>((reinterpret_cast<const CREATESTRUCT*>(lParam)->style & LBS_SORT) != 0);
    return 1;
  }
  Control* c = Of(hwnd);
  if (!c || !c->list) return DefWindowProc(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  if (CommonMessage(hwnd, *c, msg, wParam, lParam, result)) return result;
  ListModel& list = *c->list;
  const auto text = [&] { return lParam ? std::string_view(reinterpret_cast<const char*>(lParam)) : std::string_view(); };
  const auto changed = [&](LRESULT r) {
    InvalidateRect(hwnd, nullptr, true);
    return r;
  };
  switch (msg) {
    case WM_NCDESTROY: Table().Erase(hwnd); break;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case LB_ADDSTRING: return changed(list.Add(text()));
    case LB_INSERTSTRING: return changed(list.Insert(int(intptr_t(wParam)), text()));
    case LB_DELETESTRING: return list.Delete(int(wParam)) ? changed(list.Count()) : LB_ERR;
    case LB_RESETCONTENT: list.Reset(); return changed(0);
    case LB_GETCOUNT: return list.Count();
    case LB_GETCURSEL: return list.Current();
    case LB_SETCURSEL:
      if (int(intptr_t(wParam)) == -1) {
        list.SetCurrent(-1);
        changed(0);
        return LB_ERR;
      }
      if (!list.At(int(wParam))) return LB_ERR;
      SelectItem(hwnd, *c, int(wParam), false);
      return list.Current();
    case LB_GETTEXT: {
      const ListItem* item = list.At(int(wParam));
      if (!item) return LB_ERR;
      std::memcpy(reinterpret_cast<char*>(lParam), item->text.c_str(), item->text.size() + 1);
      return LRESULT(item->text.size());
    }
    case LB_GETTEXTLEN: {
      const ListItem* item = list.At(int(wParam));
      return item ? LRESULT(item->text.size()) : LB_ERR;
    }
    case LB_FINDSTRING: return list.FindPrefix(int(intptr_t(wParam)), text());
    case LB_GETITEMDATA: {
      const ListItem* item = list.At(int(wParam));
      return item ? item->data : LB_ERR;
    }
    case LB_SETITEMDATA: {
      ListItem* item = list.At(int(wParam));
      if (!item) return LB_ERR;
      item->data = lParam;
      return 0;
    }
    case LB_GETTOPINDEX: return list.Top();
    case LB_SETTOPINDEX: list.SetTop(int(wParam)); return changed(0);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      const int index = list.Top() + GET_Y_LPARAM(lParam) / ItemHeight(*c);
      if (index >= list.Count()) return 0;
      SelectItem(hwnd, *c, index, true);
      if (msg == WM_LBUTTONDBLCLK && (StyleOf(hwnd) & LBS_NOTIFY)) Notify(hwnd, LBN_DBLCLK);
      return 0;
    }
    case WM_KEYDOWN: {
      const int cur = list.Current();
      switch (wParam) {
        case VK_UP: SelectItem(hwnd, *c, std::max(0, cur - 1), true); return 0;
        case VK_DOWN: SelectItem(hwnd, *c, cur + 1, true); return 0;
        case VK_HOME: SelectItem(hwnd, *c, 0, true); return 0;
        case VK_END: SelectItem(hwnd, *c, list.Count() - 1, true); return 0;
      }
      return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    case WM_CHAR: {
      const char ch = char(wParam);
      if (uint8_t(ch) >= 0x20) SelectItem(hwnd, *c, list.FindPrefix(list.Current(), std::string_view(&ch, 1)), true);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(hwnd, *c, [&](Dc& dc, RECT r) { PaintList(hwnd, *c, dc, r); }); return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterControlClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  struct Kind {
    const char* name;
    WNDPROC proc;
    UINT style;
  };
  for (const Kind& k : {Kind{kStaticClass, StaticProc, 0}, Kind{kButtonClass, ButtonProc, CS_DBLCLKS},
                        Kind{kEditClass, EditProc, CS_DBLCLKS}, Kind{kListBoxClass, ListBoxProc, CS_DBLCLKS}}) {
    WNDCLASS wc;
    wc.style = k.style;
    wc.lpfnWndProc = k.proc;
    wc.lpszClassName = k.name;
    RegisterClass(wc);
  }
  RegisterToolTipClass();
}

std::vector<HWND> ChildrenInOrder(HWND parent) {
  std::vector<HWND> list = GetChildren(parent);
  std::reverse(list.begin(), list.end());
  return list;
}

uint8_t MnemonicOf(std::string_view text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return FoldChar(uint8_t(text[i + 1]));
    ++i;
  }
  return 0;
}

}  // namespace win
