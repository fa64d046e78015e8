// The combo box: a selection field (an edit for CBS_DROPDOWN, drawn text for
// CBS_DROPDOWNLIST) with a button that drops a list down below it.
//
// What always holds:
//   1. The items and the selection live in the drop-down list, a ListBox
//      window with LBS_COMBOBOX made with the combo box and destroyed with
//      it: a top-level pop-up owned by the dialog, hidden until dropped,
//      that reports to the combo box. CB_* item messages are its LB_*
//      messages; CB_GETCURSEL is the list's selection.
//   2. The combo box is as high as its selection field (the font's height
//      + 8); the height it was made with is how far the list may drop.
//   3. The field shows the selected item: a selection change writes the
//      item's text into the edit (selected whole) or repaints the drawn
//      text. CBN_SELCHANGE follows a change the user made (click in the
//      list, arrow keys), never a program's CB_SETCURSEL.
//   4. Dropping: F4, Alt+Down or Alt+Up, a click on the button (or
//      anywhere on a drop-down-list field) toggle the list. CBN_DROPDOWN
//      goes before the list shows. Closing sends CBN_SELENDOK (a click on
//      an item, Enter, F4 again) or CBN_SELENDCANCEL (Esc, the focus
//      leaving), then CBN_CLOSEUP; a cancel puts back the selection the
//      list had when it dropped.
//   5. While dropped the combo box wants every key (Enter and Esc close the
//      list, they do not reach the dialog); the edit of a drop-down combo
//      box passes the combo box's keys on to it.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/controls/control_base.h"
#include "platform/controls/controls.h"
#include "platform/controls/pertable.h"
#include "platform/win/input.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace win {

namespace {

constexpr int kButtonWidth = 16;
constexpr int kFieldExtra = 8;  // the field's height beyond the font's
constexpr int kEditInset = 3;
constexpr UINT kVkF4 = 0x73;

struct Combo : ControlState {
  DWORD style = 0;
  HWND edit, list;
  int fieldHeight = 0, dropHeight = 0;
  bool dropped = false;
  int selAtDrop = -1;   // what a cancel puts back
  int notified = -1;    // the selection CBN_SELCHANGE last told of
  bool writing = false; // the combo box itself writes the edit's text
  bool DropList() const { return (style & 3) == CBS_DROPDOWNLIST; }
};

PerWindow<Combo>& Combos() {
  static PerWindow<Combo> table;
  return table;
}

int Width(HWND hwnd) { return int(ClientRectOf(hwnd).right); }

int Selection(const Combo& c) { return int(SendMessage(c.list, LB_GETCURSEL)); }

std::string ItemText(const Combo& c, int index) {
  const LRESULT n = SendMessage(c.list, LB_GETTEXTLEN, WPARAM(index));
  if (n < 0) return {};
  std::string text(size_t(n) + 1, '\0');
  SendMessage(c.list, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(size_t(n));
  return text;
}

// Rule 3: the field follows the selection; notify for the user's changes.
void ShowSelection(HWND hwnd, Combo& c, bool notify) {
  const int sel = Selection(c);
  if (c.edit && sel >= 0) {
    c.writing = true;
    SetWindowText(c.edit, ItemText(c, sel));
    SendMessage(c.edit, EM_SETSEL, 0, -1);
    c.writing = false;
  }
  InvalidateRect(hwnd, nullptr, true);
  if (notify && sel != c.notified) Notify(hwnd, CBN_SELCHANGE);
  c.notified = sel;
}

void Drop(HWND hwnd, Combo& c) {
  if (c.dropped) return;
  Notify(hwnd, CBN_DROPDOWN);
  const int count = std::max(1, int(SendMessage(c.list, LB_GETCOUNT)));
  const int item = std::max(1, int(SendMessage(c.list, LB_GETITEMHEIGHT, 0)));
  const int rows = std::clamp((c.dropHeight - c.fieldHeight) / item, 1, count);
  POINT at{0, c.fieldHeight};
  ClientToScreen(hwnd, &at);
  c.selAtDrop = Selection(c);
  SetWindowPos(c.list, nullptr, at.x, at.y, Width(hwnd), rows * item + 2, SWP_NOACTIVATE);
  ShowWindow(c.list, SW_SHOWNA);
  c.dropped = true;
  InvalidateRect(hwnd, nullptr, true);
}

void CloseUp(HWND hwnd, Combo& c, bool ok) {
  if (!c.dropped) return;
  c.dropped = false;
  ShowWindow(c.list, SW_HIDE);
  if (!ok && Selection(c) != c.selAtDrop) {
    SendMessage(c.list, LB_SETCURSEL, WPARAM(c.selAtDrop));
    ShowSelection(hwnd, c, false);
  }
  Notify(hwnd, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
  Notify(hwnd, CBN_CLOSEUP);
  InvalidateRect(hwnd, nullptr, true);
}

// The keys a combo box takes (rule 4 and 5); false leaves the key to
// whoever got it.
bool ComboKey(HWND hwnd, Combo& c, UINT msg, WPARAM vk) {
  const bool alt = msg == WM_SYSKEYDOWN || GetKeyState(VK_MENU) < 0;
  if (vk == kVkF4 || (alt && (vk == VK_DOWN || vk == VK_UP))) {
    if (c.dropped) CloseUp(hwnd, c, true);
    else Drop(hwnd, c);
    return true;
  }
  if (alt) return false;
  if (c.dropped && (vk == VK_RETURN || vk == VK_ESCAPE)) {
    CloseUp(hwnd, c, vk == VK_RETURN);
    return true;
  }
  if (vk != VK_UP && vk != VK_DOWN && (!c.DropList() || (vk != VK_HOME && vk != VK_END))) return false;
  const int count = int(SendMessage(c.list, LB_GETCOUNT));
  if (count == 0) return true;
  const int sel = Selection(c);
  int to = vk == VK_UP ? sel - 1 : vk == VK_DOWN ? sel + 1 : vk == VK_HOME ? 0 : count - 1;
  to = std::clamp(to, 0, count - 1);
  SendMessage(c.list, LB_SETCURSEL, WPARAM(to));
  ShowSelection(hwnd, c, true);
  return true;
}

LRESULT DlgCode(const Combo& c) {
  return DLGC_WANTARROWS | DLGC_WANTCHARS | (c.dropped ? DLGC_WANTALLKEYS : 0);
}

// The edit of a drop-down combo box: the combo box's keys go to it.
WNDPROC editDefault = nullptr;
LRESULT ComboEditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const HWND combo = GetParent(hwnd);
  Combo* c = Combos().Of(combo);
  if (c && (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) && ComboKey(combo, *c, msg, wParam)) return 0;
  if (c && msg == WM_GETDLGCODE) return CallWindowProc(editDefault, hwnd, msg, wParam, lParam) | DlgCode(*c);
  if (c && msg == WM_KILLFOCUS) CloseUp(combo, *c, false);
  return CallWindowProc(editDefault, hwnd, msg, wParam, lParam);
}

void Layout(HWND hwnd, Combo& c) {
  c.fieldHeight = FontOf(c)->Metrics().tmHeight + kFieldExtra;
  RECT r;
  GetWindowRect(hwnd, &r);
  if (r.bottom - r.top != c.fieldHeight) {
    POINT at{r.left, r.top};
    ScreenToClient(GetParent(hwnd), &at);
    MoveWindow(hwnd, at.x, at.y, r.right - r.left, c.fieldHeight, true);
  }
  if (c.edit)
    MoveWindow(c.edit, kEditInset, kEditInset, std::max(1, Width(hwnd) - kButtonWidth - 2 * kEditInset),
               c.fieldHeight - 2 * kEditInset, true);
}

void PaintCombo(HWND hwnd, Combo& c, Dc& dc, RECT r) {
  Background(hwnd, dc, c.DropList() ? WM_CTLCOLORLISTBOX : WM_CTLCOLOREDIT, COLOR_WINDOW);
  const RECT field{r.left, r.top, r.right, r.top + c.fieldHeight};
  Edge(dc, field, false);
  const RECT button{field.right - 2 - kButtonWidth, field.top + 2, field.right - 2, field.bottom - 2};
  dc.FillRect(button, CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
  Edge(dc, button, !c.dropped);
  // The arrow: a triangle of four rows, point down.
  const int ax = (button.left + button.right) / 2 + (c.dropped ? 1 : 0);
  const int ay = (button.top + button.bottom) / 2 - 2 + (c.dropped ? 1 : 0);
  for (int i = 0; i < 4; ++i) Line(dc, ax - 3 + i, ay + i, ax + 4 - i, ay + i + 1, IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
  if (!c.DropList()) return;
  const int sel = Selection(c);
  const RECT text{field.left + kEditInset, field.top + kEditInset, button.left - 1, field.bottom - kEditInset};
  const bool marked = c.focused && !c.dropped;
  if (marked) {
    dc.FillRect(text, CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    dc.SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
  }
  if (sel >= 0) {
    RECT box{text.left + 1, text.top, text.right, text.bottom};
    dc.DrawText(ItemText(c, sel), &box, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
  if (marked) dc.DrawFocusRect(text);
}

// The item messages are the list's (rule 1).
UINT ListMessageOf(UINT msg) {
  switch (msg) {
    case CB_ADDSTRING: return LB_ADDSTRING;
    case CB_INSERTSTRING: return LB_INSERTSTRING;
    case CB_DELETESTRING: return LB_DELETESTRING;
    case CB_RESETCONTENT: return LB_RESETCONTENT;
    case CB_GETCOUNT: return LB_GETCOUNT;
    case CB_GETCURSEL: return LB_GETCURSEL;
    case CB_GETLBTEXT: return LB_GETTEXT;
    case CB_GETLBTEXTLEN: return LB_GETTEXTLEN;
    case CB_FINDSTRING: return LB_FINDSTRING;
    case CB_GETITEMDATA: return LB_GETITEMDATA;
    case CB_SETITEMDATA: return LB_SETITEMDATA;
  }
  return 0;
}

std::optional<LRESULT> ComboMessage(HWND hwnd, Combo& c, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (const UINT listMsg = ListMessageOf(msg)) {
    const LRESULT r = SendMessage(c.list, listMsg, wParam, lParam);
    if (msg == CB_DELETESTRING || msg == CB_RESETCONTENT) {
      if (c.edit && Selection(c) < 0) {
        c.writing = true;
        SetWindowText(c.edit, "");
        c.writing = false;
      }
      c.notified = Selection(c);
      InvalidateRect(hwnd, nullptr, true);
    }
    return r;
  }
  switch (msg) {
    case WM_CREATE: {
      const DWORD listStyle = WS_POPUP | WS_BORDER | LBS_COMBOBOX | ((c.style & CBS_SORT) ? LBS_SORT : 0);
      c.list = CreateWindowEx(0, kListBoxClass, "", listStyle, 0, 0, Width(hwnd), c.dropHeight, hwnd, 0, &hwnd);
      if (!c.list) return -1;
      if (!c.DropList()) {
        c.edit = CreateWindowEx(0, kEditClass, "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 1, 1, hwnd,
                                kComboEditId);
        if (!c.edit) return -1;
        editDefault = reinterpret_cast<WNDPROC>(
            SetWindowLongPtr(c.edit, GWLP_WNDPROC, reinterpret_cast<intptr_t>(ComboEditProc)));
      }
      Layout(hwnd, c);
      return 0;
    }
    case WM_DESTROY:
      // The dialog that owns the list may have destroyed it first.
      if (IsWindow(c.list)) DestroyWindow(c.list);
      return 0;
    case WM_GETDLGCODE: return DlgCode(c);
    case WM_SETFONT: {
      LRESULT ignored;
      CommonMessage(hwnd, c, msg, wParam, lParam, ignored);
      if (c.edit) SendMessage(c.edit, WM_SETFONT, wParam, lParam);
      SendMessage(c.list, WM_SETFONT, wParam, lParam);
      Layout(hwnd, c);
      return 0;
    }
    case WM_SIZE: Layout(hwnd, c); return 0;
    case CB_SETCURSEL: {
      const LRESULT r = SendMessage(c.list, LB_SETCURSEL, wParam);
      ShowSelection(hwnd, c, false);
      return r;
    }
    case CB_SELECTSTRING: {
      const LRESULT found = SendMessage(c.list, LB_FINDSTRING, wParam, lParam);
      if (found < 0) return CB_ERR;
      SendMessage(c.list, LB_SETCURSEL, WPARAM(found));
      ShowSelection(hwnd, c, false);
      return found;
    }
    case CB_SHOWDROPDOWN:
      if (wParam) Drop(hwnd, c);
      else CloseUp(hwnd, c, true);
      return 1;
    case CB_GETDROPPEDSTATE: return c.dropped;
    case CB_LIMITTEXT: return c.edit ? SendMessage(c.edit, EM_LIMITTEXT, wParam) : CB_ERR;
    case CB_GETEDITSEL: return c.edit ? SendMessage(c.edit, EM_GETSEL, wParam, lParam) : CB_ERR;
    case CB_SETEDITSEL:
      if (!c.edit) return CB_ERR;
      SendMessage(c.edit, EM_SETSEL, WPARAM(int16_t(LOWORD(uintptr_t(lParam)))), int16_t(HIWORD(uintptr_t(lParam))));
      return 1;
    case WM_SETTEXT:
      if (c.edit) {
        c.writing = true;
        SetWindowText(c.edit, lParam ? reinterpret_cast<const char*>(lParam) : "");
        c.writing = false;
        return 1;
      }
      return CB_ERR;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      if (c.edit) return SendMessage(c.edit, msg, wParam, lParam);
      const std::string text = Selection(c) >= 0 ? ItemText(c, Selection(c)) : std::string();
      if (msg == WM_GETTEXTLENGTH) return LRESULT(text.size());
      if (wParam == 0 || !lParam) return 0;
      const size_t n = std::min(text.size(), size_t(wParam) - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
      reinterpret_cast<char*>(lParam)[n] = 0;
      return LRESULT(n);
    }
    case WM_COMMAND:
      if (HWND(uint32_t(lParam)) == c.list && HIWORD(wParam) == kLbnComboPick) {
        ShowSelection(hwnd, c, true);
        CloseUp(hwnd, c, true);
      } else if (c.edit && HWND(uint32_t(lParam)) == c.edit && HIWORD(wParam) == EN_CHANGE && !c.writing) {
        Notify(hwnd, CBN_EDITCHANGE);
      }
      return 0;
    case WM_MEASUREITEM:
    case WM_DRAWITEM: return SendMessage(GetParent(hwnd), msg, WPARAM(GetDlgCtrlID(hwnd)), lParam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetFocus(hwnd);
      if (c.DropList() || GET_X_LPARAM(lParam) >= Width(hwnd) - 2 - kButtonWidth) {
        if (c.dropped) CloseUp(hwnd, c, true);
        else Drop(hwnd, c);
      }
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (ComboKey(hwnd, c, msg, wParam)) return 0;
      break;
    case WM_CHAR:
      if (c.DropList() && uint8_t(wParam) > 0x20) {
        const char ch = char(wParam);
        const std::string prefix(1, ch);
        const LRESULT found = SendMessage(c.list, LB_FINDSTRING, WPARAM(Selection(c)), reinterpret_cast<LPARAM>(prefix.c_str()));
        if (found >= 0) {
          SendMessage(c.list, LB_SETCURSEL, WPARAM(found));
          ShowSelection(hwnd, c, true);
        }
      }
      return 0;
    case WM_SETFOCUS:
      if (c.edit) {
        SetFocus(c.edit);
        return 0;
      }
      Notify(hwnd, CBN_SETFOCUS);
      break;
    case WM_KILLFOCUS:
      CloseUp(hwnd, c, false);
      Notify(hwnd, CBN_KILLFOCUS);
      break;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintWith(hwnd, c, [&](Dc& dc, RECT r) { PaintCombo(hwnd, c, dc, r); }); return 0;
  }
  return std::nullopt;
}

void Init(Combo& c, const CREATESTRUCT& cs) {
  c.style = cs.style;
  c.dropHeight = cs.cy;
}

}  // namespace

LRESULT ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RecordProc<Combo>(Combos(), Init, ComboMessage, hwnd, msg, wParam, lParam);
}

}  // namespace win
