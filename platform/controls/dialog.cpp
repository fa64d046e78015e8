// The dialog manager (see dialog.h).
#include "platform/controls/dialog.h"

#include <algorithm>

#include "platform/controls/pertable.h"
#include "platform/fonts/font.h"
#include "platform/gdi/dc.h"
#include "platform/win/backend.h"
#include "platform/win/input.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace win {

namespace {

struct Dialog {
  DLGPROC proc = nullptr;
  LOGFONT font;
  SIZE units{8, 16};
  int defId = 0;
  bool ended = false;
  int result = 0;
  HWND savedFocus;
};

PerWindow<Dialog>& Dialogs() {
  static PerWindow<Dialog> table;
  return table;
}

DWORD StyleOf(HWND hwnd) { return DWORD(GetWindowLongPtr(hwnd, GWL_STYLE)); }
LRESULT CodeOf(HWND hwnd, MSG* msg = nullptr) {
  return SendMessage(hwnd, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg));
}
bool IsPush(HWND hwnd) { return (CodeOf(hwnd) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0; }
bool Usable(HWND hwnd) { return IsWindowVisible(hwnd) && IsWindowEnabled(hwnd); }

void RegisterDialogClass() {
  RegisterControlClasses();
  if (GetClassInfo(kDialogClass, nullptr)) return;
  WNDCLASS wc;
  wc.lpfnWndProc = DefDlgProc;
  wc.background = GetSysColor(COLOR_BTNFACE);
  wc.lpszClassName = kDialogClass;
  RegisterClass(wc);
}

// The control of the dialog that has the focus (a direct child), or null.
HWND FocusControl(HWND dialog) {
  for (HWND h = GetFocus(); h; h = GetParent(h))
    if (GetParent(h) == dialog && (StyleOf(h) & WS_CHILD)) return h;
  return nullptr;
}

// Rule 3: the push button that looks like the default.
void ShowDefault(HWND dialog, HWND focus) {
  const Dialog* d = Dialogs().Of(dialog);
  const HWND target = focus && IsPush(focus) ? focus : (d && d->defId ? GetDlgItem(dialog, d->defId) : HWND());
  for (HWND h : ChildrenInOrder(dialog)) {
    if (!IsPush(h)) continue;
    const bool isDefault = h == target;
    if (((CodeOf(h) & DLGC_DEFPUSHBUTTON) != 0) != isDefault)
      SendMessage(h, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, 1);
  }
}

void FocusControlOf(HWND dialog, HWND control) {
  if (!control) return;
  if (CodeOf(control) & DLGC_HASSETSEL) SendMessage(control, EM_SETSEL, 0, -1);
  SetFocus(control);
  ShowDefault(dialog, control);
}

// Sends the click of a command the dialog keys stand for (rule 4).
void SendCommand(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  if (control && !IsWindowEnabled(control)) {
    MessageBeep(0);
    return;
  }
  SendMessage(dialog, WM_COMMAND, MAKEWPARAM(uint16_t(id), uint16_t(BN_CLICKED)), LPARAM(control.id));
}

// The control whose mnemonic is ch, searching in tab order after the focus.
bool Mnemonic(HWND dialog, uint8_t ch) {
  const std::vector<HWND> order = ChildrenInOrder(dialog);
  if (order.empty()) return false;
  const auto from = std::find(order.begin(), order.end(), FocusControl(dialog));
  const size_t start = from == order.end() ? 0 : size_t(from - order.begin()) + 1;
  for (size_t k = 0; k < order.size(); ++k) {
    const HWND h = order[(start + k) % order.size()];
    if (!Usable(h) || MnemonicOf(GetWindowText(h)) != FoldChar(ch)) continue;
    const LRESULT code = CodeOf(h);
    if (code & DLGC_STATIC) {
      FocusControlOf(dialog, GetNextDlgTabItem(dialog, h, false));
    } else if (code & DLGC_BUTTON) {
      FocusControlOf(dialog, h);
      SendMessage(h, BM_CLICK);
    } else {
      FocusControlOf(dialog, h);
    }
    return true;
  }
  return false;
}

// Fails the dialog being made: nothing of it stays.
HWND Abandon(HWND dialog) {
  DestroyWindow(dialog);
  return nullptr;
}

}  // namespace

long GetDialogBaseUnits() { return 8 | (16L << 16); }

LOGFONT DialogFontOf(const platform::DialogTemplate& dialog) {
  LOGFONT lf;
  if (dialog.font.empty()) return lf;
  lf.lfHeight = -MulDiv(dialog.pointSize ? dialog.pointSize : 8, 96, 72);
  lf.lfWeight = 400;
  const size_t n = std::min(dialog.font.size(), sizeof lf.lfFaceName - 1);
  std::copy_n(dialog.font.begin(), n, lf.lfFaceName);
  return lf;
}

SIZE DialogBaseUnitsOf(const LOGFONT& lf) {
  if (lf.lfHeight == 0) return {8, 16};
  const auto font = platform::fonts::Font::Create(lf);
  int sum = 0;
  for (uint8_t c = 'A'; c <= 'Z'; ++c) sum += font->CharWidth(c) + font->CharWidth(uint8_t(c + 32));
  return {(sum + 26) / 52, font->Metrics().tmHeight};
}

bool MapDialogRect(HWND dialog, RECT* rect) {
  const Dialog* d = Dialogs().Of(dialog);
  if (!d || !rect) return false;
  const SIZE u = d->units;
  *rect = {MulDiv(rect->left, u.cx, 4), MulDiv(rect->top, u.cy, 8), MulDiv(rect->right, u.cx, 4),
           MulDiv(rect->bottom, u.cy, 8)};
  return true;
}

HWND CreateDialogIndirectParam(const platform::DialogTemplate& t, HWND owner, DLGPROC proc, LPARAM param) {
  RegisterDialogClass();
  const LOGFONT font = DialogFontOf(t);
  const SIZE units = DialogBaseUnitsOf(font);
  const auto map = [&](int x, int y, int cx, int cy) {
    return RECT{MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(x + cx, units.cx, 4), MulDiv(y + cy, units.cy, 8)};
  };
  // A template with WS_CHILD makes a dialog inside its parent's client area
  // (a page of a paged dialog); any other is a pop-up over its owner.
  const bool child = (t.style & WS_CHILD) != 0;
  const DWORD style = child ? t.style & ~(WS_VISIBLE | WS_POPUP | 0xFFFFu)
                            : (t.style & ~(WS_VISIBLE | WS_CHILD | 0xFFFFu)) | WS_POPUP;
  const DWORD exStyle = (t.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0;
  const RECT client = map(t.x, t.y, t.cx, t.cy);
  const RECT insets = NonClientInsets(style, exStyle);
  POINT at{client.left, client.top};
  if (owner && !child) ClientToScreen(owner, &at);
  const HWND dialog = CreateWindowEx(exStyle, kDialogClass, t.caption, style, at.x, at.y,
                                     client.right - client.left + insets.left + insets.right,
                                     client.bottom - client.top + insets.top + insets.bottom, owner, 0);
  if (!dialog) return nullptr;
  Dialog& d = Dialogs().Make(dialog);
  d.proc = proc;
  d.font = font;
  d.units = units;
  const WPARAM fontParam = font.lfHeight ? reinterpret_cast<WPARAM>(&d.font) : 0;
  if (fontParam) SendMessage(dialog, WM_SETFONT, fontParam, 0);
  for (const platform::DialogItem& item : t.items) {
    if (!IsWindow(dialog)) return nullptr;
    const RECT r = map(item.x, item.y, item.cx, item.cy);
    const HWND control = CreateWindowEx(0, item.className, item.text, (item.style & ~WS_POPUP) | WS_CHILD, r.left,
                                        r.top, r.right - r.left, r.bottom - r.top, dialog, item.id);
    if (!control) return Abandon(dialog);
    if (fontParam) SendMessage(control, WM_SETFONT, fontParam, 0);
    if (Dialog* live = Dialogs().Of(dialog); live && !live->defId && item.className == kButtonClass &&
                                             (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      live->defId = item.id;
  }
  if (!IsWindow(dialog)) return nullptr;
  const HWND first = GetNextDlgTabItem(dialog, nullptr, false);
  if (SendMessage(dialog, WM_INITDIALOG, WPARAM(first.id), param) && IsWindow(first)) FocusControlOf(dialog, first);
  if (!IsWindow(dialog)) return nullptr;
  if (t.style & WS_VISIBLE) ShowWindow(dialog, SW_SHOW);
  return IsWindow(dialog) ? dialog : HWND();
}

HWND CreateDialogParam(const platform::ResId& id, HWND owner, DLGPROC proc, LPARAM param) {
  platform::DialogTemplate t;
  if (!platform::LoadDialogTemplate(id, t)) return nullptr;
  return CreateDialogIndirectParam(t, owner, proc, param);
}

int DialogBoxIndirectParam(const platform::DialogTemplate& dialog, HWND owner, DLGPROC proc, LPARAM param) {
  platform::DialogTemplate hidden = dialog;
  hidden.style &= ~WS_VISIBLE;
  const HWND h = CreateDialogIndirectParam(hidden, owner, proc, param);
  if (!h) return -1;
  const HWND top = GetOwner(h);
  const bool disabled = top && IsWindowEnabled(top);
  if (disabled) EnableWindow(top, false);
  int result = -1;
  if (!DialogEnded(h, &result)) {
    ShowWindow(h, SW_SHOW);
    result = RunModal(h, &DialogKeys);
    DialogEnded(h, &result);
  }
  if (disabled) {
    EnableWindow(top, true);
    SetActiveWindow(top);
  }
  if (IsWindow(h)) DestroyWindow(h);
  return result;
}

int DialogBoxParam(const platform::ResId& id, HWND owner, DLGPROC proc, LPARAM param) {
  platform::DialogTemplate t;
  if (!platform::LoadDialogTemplate(id, t)) return -1;
  return DialogBoxIndirectParam(t, owner, proc, param);
}

bool EndDialog(HWND dialog, int result) {
  Dialog* d = Dialogs().Of(dialog);
  if (!d) return false;
  d->ended = true;
  d->result = result;
  EndModal(result, dialog);
  return true;
}

bool DialogEnded(HWND dialog, int* result) {
  const Dialog* d = Dialogs().Of(dialog);
  if (!d || !d->ended) return false;
  if (result) *result = d->result;
  return true;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
  std::vector<HWND> order = ChildrenInOrder(dialog);
  if (previous) std::reverse(order.begin(), order.end());
  const auto at = std::find(order.begin(), order.end(), control);
  const size_t start = at == order.end() ? 0 : size_t(at - order.begin()) + 1;
  for (size_t k = 0; k < order.size(); ++k) {
    const HWND h = order[(start + k) % order.size()];
    if ((StyleOf(h) & WS_TABSTOP) && Usable(h)) return h;
  }
  return control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, bool previous) {
  const std::vector<HWND> order = ChildrenInOrder(dialog);
  const auto at = std::find(order.begin(), order.end(), control);
  if (at == order.end()) return control;
  auto first = at;
  while (first != order.begin() && !(StyleOf(*first) & WS_GROUP)) --first;
  auto last = at + 1;
  while (last != order.end() && !(StyleOf(*last) & WS_GROUP)) ++last;
  std::vector<HWND> group(first, last);
  if (previous) std::reverse(group.begin(), group.end());
  const size_t self = size_t(std::find(group.begin(), group.end(), control) - group.begin());
  for (size_t k = 1; k < group.size(); ++k) {
    const HWND h = group[(self + k) % group.size()];
    if (Usable(h)) return h;
  }
  return control;
}

bool IsDialogMessage(HWND dialog, MSG* msg) {
  if (!msg || !IsWindow(dialog) || (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))) return false;
  if (msg->message != WM_KEYDOWN && msg->message != WM_CHAR && msg->message != WM_SYSCHAR) return false;
  const HWND focus = FocusControl(dialog);
  const LRESULT code = focus ? CodeOf(msg->hwnd, msg) : 0;
  if (code & DLGC_WANTALLKEYS) return false;
  if (msg->message == WM_SYSCHAR) return Mnemonic(dialog, uint8_t(msg->wParam));
  if (msg->message == WM_CHAR) return !(code & DLGC_WANTCHARS) && Mnemonic(dialog, uint8_t(msg->wParam));
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  switch (msg->wParam) {
    case VK_TAB:
      if (code & DLGC_WANTTAB) return false;
      FocusControlOf(dialog, GetNextDlgTabItem(dialog, focus, shift));
      return true;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
      if ((code & DLGC_WANTARROWS) || !focus) return false;
      const HWND next = GetNextDlgGroupItem(dialog, focus, msg->wParam == VK_LEFT || msg->wParam == VK_UP);
      FocusControlOf(dialog, next);
      if ((StyleOf(next) & BS_TYPEMASK) == BS_AUTORADIOBUTTON && (CodeOf(next) & DLGC_RADIOBUTTON))
        SendMessage(next, BM_CLICK);
      return true;
    }
    case VK_RETURN: {
      if (focus && IsPush(focus)) {
        SendCommand(dialog, GetDlgCtrlID(focus));
        return true;
      }
      const LRESULT def = SendMessage(dialog, DM_GETDEFID);
      SendCommand(dialog, HIWORD(uintptr_t(def)) == DC_HASDEFID ? LOWORD(uintptr_t(def)) : IDOK);
      return true;
    }
    case VK_ESCAPE: SendCommand(dialog, IDCANCEL); return true;
  }
  return false;
}

bool DialogKeys(HWND dialog, MSG& msg) { return IsDialogMessage(dialog, &msg); }

LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  Dialog* d = Dialogs().Of(dialog);
  if (d && d->proc) {
    if (const LRESULT r = d->proc(dialog, msg, wParam, lParam)) return r;
    d = Dialogs().Of(dialog);
  }
  switch (msg) {
    case WM_INITDIALOG: return 1;
    case WM_NCDESTROY: Dialogs().Erase(dialog); break;
    case WM_GETFONT: return d && d->font.lfHeight ? reinterpret_cast<LRESULT>(&d->font) : 0;
    case WM_CLOSE: SendCommand(dialog, IDCANCEL); return 0;
    case DM_GETDEFID: return d && d->defId ? LRESULT(MAKELPARAM(uint16_t(d->defId), DC_HASDEFID)) : 0;
    case DM_SETDEFID:
      if (!d) return 0;
      d->defId = int(wParam);
      ShowDefault(dialog, FocusControl(dialog));
      return 1;
    case WM_NEXTDLGCTL:
      if (lParam) FocusControlOf(dialog, HWND(uint32_t(wParam)));
      else FocusControlOf(dialog, GetNextDlgTabItem(dialog, FocusControl(dialog), wParam != 0));
      return 0;
    case WM_ACTIVATE:
      if (!d) break;
      if (LOWORD(wParam) == WA_INACTIVE) {
        if (const HWND f = FocusControl(dialog)) d->savedFocus = f;
      } else if (!FocusControl(dialog)) {
        const HWND back = IsWindow(d->savedFocus) && Usable(d->savedFocus) ? d->savedFocus
                                                                          : GetNextDlgTabItem(dialog, nullptr, false);
        if (back) FocusControlOf(dialog, back);
        else SetFocus(dialog);
      }
      return 0;
  }
  return DefWindowProc(dialog, msg, wParam, lParam);
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendMessage(GetDlgItem(dialog, id), msg, wParam, lParam);
}

bool SetDlgItemText(HWND dialog, int id, std::string_view text) { return SetWindowText(GetDlgItem(dialog, id), text); }

std::string GetDlgItemText(HWND dialog, int id) { return GetWindowText(GetDlgItem(dialog, id)); }

bool CheckDlgButton(HWND dialog, int id, int check) {
  const HWND h = GetDlgItem(dialog, id);
  if (!h) return false;
  SendMessage(h, BM_SETCHECK, WPARAM(check));
  return true;
}

int IsDlgButtonChecked(HWND dialog, int id) { return int(SendDlgItemMessage(dialog, id, BM_GETCHECK)); }

}  // namespace win
