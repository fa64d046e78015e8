// The standard controls' window procedures and drawing (see controls.h).
#include "platform/controls/controls.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/controls/control_base.h"
#include "platform/controls/pertable.h"
#include "platform/controls/scrollbar.h"
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

// What a control keeps between messages; one record serves every kind here.
struct Control : ControlState {
  int check = BST_UNCHECKED;
  bool pushed = false;
};

PerWindow<Control>& Table() {
  static PerWindow<Control> table;
  return table;
}

Control& Make(HWND hwnd) { return Table().Make(hwnd); }
Control* Of(HWND hwnd) { return Table().Of(hwnd); }

DWORD KindOf(HWND hwnd) { return StyleOf(hwnd) & BS_TYPEMASK; }

// --- drawing ---

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
      PaintWith(hwnd, *c, [&](Dc& dc, RECT r) {
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

// An owner-drawn button: the parent draws it with the control's DC.
void AskParentToDraw(HWND hwnd, const Control& c, Dc& dc, RECT r) {
  DRAWITEMSTRUCT dis;
  dis.CtlType = ODT_BUTTON;
  dis.CtlID = UINT(GetDlgCtrlID(hwnd));
  dis.itemAction = ODA_DRAWENTIRE;
  dis.itemState = (c.pushed ? ODS_SELECTED : 0) | (c.focused ? ODS_FOCUS : 0) | (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
  dis.hwndItem = hwnd;
  dis.hDC = &dc;
  dis.rcItem = r;
  SendMessage(GetParent(hwnd), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
}

void PaintButton(HWND hwnd, Control& c, Dc& dc, RECT r) {
  const DWORD kind = KindOf(hwnd);
  if (kind == BS_OWNERDRAW) {
    AskParentToDraw(hwnd, c, dc, r);
    return;
  }
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
  if (kind == BS_PUSHBUTTON || kind == BS_OWNERDRAW) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
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
      // An owner-drawn button stays one: the default look is its parent's to draw.
      if (KindOf(hwnd) == BS_OWNERDRAW) wParam = (wParam & ~WPARAM(BS_TYPEMASK)) | BS_OWNERDRAW;
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
    case WM_PAINT: PaintWith(hwnd, *c, [&](Dc& dc, RECT r) { PaintButton(hwnd, *c, dc, r); }); return 0;
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
                        Kind{kEditClass, EditProc, CS_DBLCLKS}, Kind{kListBoxClass, ListBoxProc, CS_DBLCLKS},
                        Kind{kComboBoxClass, ComboBoxProc, CS_DBLCLKS}}) {
    WNDCLASS wc;
    wc.style = k.style;
    wc.lpfnWndProc = k.proc;
    wc.lpszClassName = k.name;
    RegisterClass(wc);
  }
  RegisterToolTipClass();
  RegisterScrollBarClass();
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
