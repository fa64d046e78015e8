// The list box control: items drawn by the control or by its parent
// (owner-draw, fixed or variable height), one or several selected items,
// tab stops, sorting by the system's collation.
//
// What always holds:
//   1. The items, their data, heights and selection marks live in the
//      ListModel of the window's record; a list that selects one item uses
//      the model's current item, a list that selects several
//      (LBS_MULTIPLESEL, LBS_EXTENDEDSEL) the items' marks, and both keep
//      the caret (the item with the focus rectangle) in the model.
//   2. An owner-drawn list without LBS_HASSTRINGS keeps no texts: what an
//      add or insert passes is the item's data, LB_GETTEXT copies the data.
//   3. Heights: a fixed list asks its parent once, at WM_CREATE
//      (WM_MEASUREITEM with item 0); a variable list asks once per item, when
//      the item is added or inserted, and keeps the answer with the item.
//      LB_SETITEMHEIGHT changes either (at most 255 pixels).
//   4. Painting goes row by row from the top item: an owner-drawn list sends
//      WM_DRAWITEM per visible row (ODS_SELECTED for a selected item,
//      ODS_FOCUS for the caret item while the list has the focus,
//      ODS_DISABLED when disabled); an empty focused list sends one with
//      item UINT(-1) and ODA_FOCUS.
//   5. Tab stops (LBS_USETABSTOPS) are given in dialog units of the list's
//      font (a quarter of its average character width); with none given a
//      tab goes to the next multiple of 32 units; with one, to the next
//      multiple of it; beyond the last of several, a tab is one space wide.
//   6. LBN_SELCHANGE and LBN_DBLCLK go to the parent (LBS_NOTIFY) only for
//      what the user did, never for a program's message.
//   7. A combo box's list (LBS_COMBOBOX, see control_base.h) reports to the
//      combo box and never takes the focus or the activation.
#include <algorithm>
#include <cstring>

#include "platform/controls/control_base.h"
#include "platform/controls/controls.h"
#include "platform/controls/dialog.h"
#include "platform/controls/listmodel.h"
#include "platform/controls/pertable.h"
#include "platform/win/input.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

namespace win {

namespace {

constexpr int kMaxItemHeight = 255;
constexpr int kDefaultTabUnits = 32;
constexpr int kTextIndent = 2;

struct ListBox : ControlState {
  ListModel list;
  DWORD style = 0;
  int itemHeight = 0;      // the fixed height (all rows of a list that is not variable)
  std::vector<int> tabs;   // explicit stops in pixels from the text's start
  int tabStep = 0;         // with no explicit stops: the step in pixels (0: from the font)
  HWND combo;              // LBS_COMBOBOX: the combo box it reports to

  bool OwnerDraw() const { return (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0; }
  bool Variable() const { return (style & LBS_OWNERDRAWVARIABLE) != 0; }
  bool HasStrings() const { return !OwnerDraw() || (style & LBS_HASSTRINGS); }
  bool Multi() const { return (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }
  bool Extended() const { return (style & LBS_EXTENDEDSEL) != 0; }
  int RowHeight(int index) const {
    const ListItem* item = list.At(index);
    return Variable() && item ? item->height : itemHeight;
  }
  bool Selected(int index) const {
    const ListItem* item = list.At(index);
    return item && (Multi() ? item->selected : index == list.Current());
  }
};

// The window that gets the list's notifications and owner-draw questions.
HWND ReportTo(HWND hwnd, const ListBox& lb) { return lb.combo ? lb.combo : GetParent(hwnd); }

PerWindow<ListBox>& Lists() {
  static PerWindow<ListBox> table;
  return table;
}

int FontHeight(const ListBox& lb) { return std::max(1, FontOf(lb)->Metrics().tmHeight); }

// The item under a client y, or -1.
int IndexAt(const ListBox& lb, int y) {
  if (y < 0) return -1;
  for (int i = lb.list.Top(), top = 0; i < lb.list.Count(); ++i) {
    top += lb.RowHeight(i);
    if (y < top) return i;
  }
  return -1;
}

void EnsureVisible(HWND hwnd, ListBox& lb, int index) {
  if (!lb.list.At(index)) return;
  if (index < lb.list.Top()) {
    lb.list.SetTop(index);
    return;
  }
  const int room = int(ClientRectOf(hwnd).bottom);
  int used = 0;
  for (int i = lb.list.Top(); i <= index; ++i) used += lb.RowHeight(i);
  while (used > room && lb.list.Top() < index) {
    used -= lb.RowHeight(lb.list.Top());
    lb.list.SetTop(lb.list.Top() + 1);
  }
}

int AskHeight(HWND hwnd, const ListBox& lb, UINT item, intptr_t data) {
  const RECT r = ClientRectOf(hwnd);
  MEASUREITEMSTRUCT mis;
  mis.CtlType = ODT_LISTBOX;
  mis.CtlID = UINT(GetDlgCtrlID(hwnd));
  mis.itemID = item;
  mis.itemWidth = UINT(r.right - r.left);
  mis.itemHeight = UINT(FontHeight(lb));
  mis.itemData = data;
  SendMessage(ReportTo(hwnd, lb), WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
  return std::clamp(int(mis.itemHeight), 1, kMaxItemHeight);
}

void Changed(HWND hwnd, ListBox& lb, bool notify) {
  InvalidateRect(hwnd, nullptr, true);
  if (notify && (lb.style & LBS_NOTIFY)) Notify(hwnd, LBN_SELCHANGE, ReportTo(hwnd, lb));
}

// Moves the selection as a plain click or arrow key does: the item alone is
// selected and gets the caret (and the anchor).
void SelectOnly(HWND hwnd, ListBox& lb, int index, bool notify) {
  ListModel& list = lb.list;
  if (!list.At(index)) return;
  if (lb.Multi()) {
    if (list.SelectedCount() == 1 && list.At(index)->selected && list.Caret() == index) return;
    list.SelectRange(0, list.Count() - 1, false);
    list.At(index)->selected = true;
    list.SetAnchor(index);
  } else {
    if (index == list.Current()) return;
    list.SetCurrent(index);
  }
  list.SetCaret(index);
  EnsureVisible(hwnd, lb, index);
  Changed(hwnd, lb, notify);
}

// What the user's pick of an item (by mouse or key) does with the
// modifiers held: extended lists extend with Shift and toggle with Ctrl
// (a key with Ctrl only moves the caret); multiple-selection lists toggle
// on a click and only move the caret on a key.
void Pick(HWND hwnd, ListBox& lb, int index, bool shift, bool ctrl, bool click) {
  ListModel& list = lb.list;
  if (!list.At(index)) return;
  if (!lb.Multi() || (lb.Extended() && !shift && !ctrl)) {
    SelectOnly(hwnd, lb, index, true);
    return;
  }
  if (lb.Extended() && shift) {
    if (!ctrl) list.SelectRange(0, list.Count() - 1, false);
    list.SelectRange(list.Anchor() >= 0 ? list.Anchor() : index, index, true);
  } else if (click) {
    list.At(index)->selected = !list.At(index)->selected;
    list.SetAnchor(index);
  }
  list.SetCaret(index);
  EnsureVisible(hwnd, lb, index);
  Changed(hwnd, lb, click || shift);
}

// The step of default tab stops, and the explicit stops, in pixels.
void SetTabStops(ListBox& lb, int count, const int* stops) {
  const int unit = DialogBaseUnitsOf(lb.font).cx;
  lb.tabs.clear();
  lb.tabStep = MulDiv(count == 1 && stops ? stops[0] : kDefaultTabUnits, unit, 4);
  if (count > 1 && stops)
    for (int i = 0; i < count; ++i) lb.tabs.push_back(MulDiv(stops[i], unit, 4));
}

void DrawItemText(const ListBox& lb, Dc& dc, int x, int y, std::string_view text) {
  if (!(lb.style & LBS_USETABSTOPS)) {
    dc.TextOut(x, y, text);
    return;
  }
  const auto font = FontOf(lb);
  const int step = lb.tabStep > 0 ? lb.tabStep : MulDiv(kDefaultTabUnits, DialogBaseUnitsOf(lb.font).cx, 4);
  int at = 0;
  while (true) {
    const size_t tab = text.find('\t');
    const std::string_view piece = text.substr(0, tab);
    dc.TextOut(x + at, y, piece);
    at += font->TextWidth(piece);
    if (tab == std::string_view::npos) return;
    text.remove_prefix(tab + 1);
    if (!lb.tabs.empty()) {
      const auto next = std::upper_bound(lb.tabs.begin(), lb.tabs.end(), at);
      at = next != lb.tabs.end() ? *next : at + font->CharWidth(' ');
    } else {
      at = (at / step + 1) * step;
    }
  }
}

void DrawRow(HWND hwnd, ListBox& lb, Dc& dc, int index, const RECT& row, COLORREF textColor) {
  const bool selected = lb.Selected(index);
  const bool focus = lb.focused && index == lb.list.Caret();
  if (lb.OwnerDraw()) {
    DRAWITEMSTRUCT dis;
    dis.CtlType = ODT_LISTBOX;
    dis.CtlID = UINT(GetDlgCtrlID(hwnd));
    dis.itemID = UINT(index);
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = (selected ? ODS_SELECTED : 0) | (focus ? ODS_FOCUS : 0) | (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
    dis.hwndItem = hwnd;
    dis.hDC = &dc;
    dis.rcItem = row;
    dis.itemData = index >= 0 ? lb.list.At(index)->data : 0;
    if (index < 0) dis.itemAction = ODA_FOCUS;
    SendMessage(ReportTo(hwnd, lb), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    return;
  }
  if (selected) dc.FillRect(row, CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
  dc.SetTextColor(selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : textColor);
  DrawItemText(lb, dc, row.left + kTextIndent, row.top, lb.list.At(index)->text);
  if (focus) dc.DrawFocusRect(row);
}

void PaintList(HWND hwnd, ListBox& lb, Dc& dc, RECT r) {
  Background(hwnd, dc, WM_CTLCOLORLISTBOX, COLOR_WINDOW);
  const COLORREF text = dc.Current().textColor;
  if (lb.list.Count() == 0) {
    if (lb.OwnerDraw() && lb.focused) DrawRow(hwnd, lb, dc, -1, {r.left, r.top, r.right, r.top + lb.itemHeight}, text);
    return;
  }
  for (int i = lb.list.Top(), y = r.top; i < lb.list.Count() && y < r.bottom; ++i) {
    const int h = lb.RowHeight(i);
    DrawRow(hwnd, lb, dc, i, {r.left, y, r.right, y + h}, text);
    y += h;
  }
}

LRESULT KeyDown(HWND hwnd, ListBox& lb, WPARAM vk, LPARAM lParam) {
  const ListModel& list = lb.list;
  const int from = lb.Multi() ? list.Caret() : list.Current();
  int to;
  switch (vk) {
    case VK_UP: to = std::max(0, from - 1); break;
    case VK_DOWN: to = std::min(list.Count() - 1, from + 1); break;
    case VK_HOME: to = 0; break;
    case VK_END: to = list.Count() - 1; break;
    case VK_SPACE:
      if (lb.Multi() && from >= 0) Pick(hwnd, lb, from, false, true, true);
      return 0;
    default: return DefWindowProc(hwnd, WM_KEYDOWN, vk, lParam);
  }
  Pick(hwnd, lb, to, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0 || !lb.Extended(), false);
  return 0;
}

std::optional<LRESULT> ListBoxMessage(HWND hwnd, ListBox& lb, UINT msg, WPARAM wParam, LPARAM lParam) {
  ListModel& list = lb.list;
  const auto text = [&] {
    return lb.HasStrings() && lParam ? std::string_view(reinterpret_cast<const char*>(lParam)) : std::string_view();
  };
  const auto added = [&](int index) -> LRESULT {
    if (index < 0) return LB_ERR;
    if (lb.Variable()) list.At(index)->height = AskHeight(hwnd, lb, UINT(index), list.At(index)->data);
    InvalidateRect(hwnd, nullptr, true);
    return index;
  };
  const auto changed = [&](LRESULT r) {
    InvalidateRect(hwnd, nullptr, true);
    return r;
  };
  const intptr_t data = lb.HasStrings() ? 0 : lParam;
  switch (msg) {
    case WM_CREATE:
      if (lb.OwnerDraw() && !lb.Variable()) lb.itemHeight = AskHeight(hwnd, lb, 0, 0);
      return 0;
    case WM_SETFONT: {
      LRESULT result;
      CommonMessage(hwnd, lb, msg, wParam, lParam, result);
      if (!lb.OwnerDraw()) lb.itemHeight = FontHeight(lb);
      return result;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case LB_ADDSTRING: return added(list.Add(text(), data));
    case LB_INSERTSTRING: return added(list.Insert(int(intptr_t(wParam)), text(), data));
    case LB_DELETESTRING: return list.Delete(int(wParam)) ? changed(list.Count()) : LB_ERR;
    case LB_RESETCONTENT: list.Reset(); return changed(0);
    case LB_GETCOUNT: return list.Count();
    case LB_GETCURSEL: return lb.Multi() ? list.Caret() : list.Current();
    case LB_SETCURSEL:
      if (lb.Multi()) return LB_ERR;
      if (int(intptr_t(wParam)) == -1) {
        list.SetCurrent(-1);
        changed(0);
        return LB_ERR;
      }
      if (!list.At(int(wParam))) return LB_ERR;
      SelectOnly(hwnd, lb, int(wParam), false);
      return list.Current();
    case LB_SETSEL: {
      if (!lb.Multi()) return LB_ERR;
      const int index = int(lParam);
      const bool done = index == -1 ? (list.SelectRange(0, list.Count() - 1, wParam != 0), true)
                                    : list.SelectRange(index, index, wParam != 0);
      return done ? changed(0) : LB_ERR;
    }
    case LB_SELITEMRANGE:
      if (!lb.Multi()) return LB_ERR;
      return list.SelectRange(LOWORD(uintptr_t(lParam)), HIWORD(uintptr_t(lParam)), wParam != 0) ? changed(0) : LB_ERR;
    case LB_GETSEL: return list.At(int(wParam)) ? LRESULT(lb.Selected(int(wParam))) : LB_ERR;
    case LB_GETSELCOUNT: return lb.Multi() ? list.SelectedCount() : LB_ERR;
    case LB_GETSELITEMS: {
      if (!lb.Multi()) return LB_ERR;
      const std::vector<int> items = list.SelectedItems(size_t(wParam));
      if (lParam) std::copy(items.begin(), items.end(), reinterpret_cast<int*>(lParam));
      return LRESULT(items.size());
    }
    case LB_GETCARETINDEX: return list.Caret() >= 0 ? list.Caret() : 0;
    case LB_SETCARETINDEX:
      if (!list.SetCaret(int(wParam))) return LB_ERR;
      EnsureVisible(hwnd, lb, int(wParam));
      return changed(0);
    case LB_GETANCHORINDEX: return list.Anchor();
    case LB_SETANCHORINDEX: return list.SetAnchor(int(wParam)) ? 0 : LB_ERR;
    case LB_SETTABSTOPS:
      if (!(lb.style & LBS_USETABSTOPS)) return 0;
      SetTabStops(lb, int(wParam), reinterpret_cast<const int*>(lParam));
      return changed(1);
    case LB_SETITEMHEIGHT: {
      const int height = int(LOWORD(uintptr_t(lParam)));
      if (height > kMaxItemHeight || height < 1) return LB_ERR;
      if (lb.Variable()) {
        ListItem* item = list.At(int(wParam));
        if (!item) return LB_ERR;
        item->height = height;
      } else {
        lb.itemHeight = height;
      }
      return changed(0);
    }
    case LB_GETITEMHEIGHT:
      if (lb.Variable() && !list.At(int(wParam))) return LB_ERR;
      return lb.RowHeight(int(wParam));
    case LB_GETTEXT: {
      const ListItem* item = list.At(int(wParam));
      if (!item || !lParam) return LB_ERR;
      if (!lb.HasStrings()) {
        std::memcpy(reinterpret_cast<void*>(lParam), &item->data, sizeof item->data);
        return sizeof item->data;
      }
      std::memcpy(reinterpret_cast<char*>(lParam), item->text.c_str(), item->text.size() + 1);
      return LRESULT(item->text.size());
    }
    case LB_GETTEXTLEN: {
      const ListItem* item = list.At(int(wParam));
      if (!item) return LB_ERR;
      return lb.HasStrings() ? LRESULT(item->text.size()) : LRESULT(sizeof item->data);
    }
    case LB_FINDSTRING: return lb.HasStrings() ? list.FindPrefix(int(intptr_t(wParam)), text()) : LB_ERR;
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
      if (!lb.combo) SetFocus(hwnd);
      const int index = IndexAt(lb, GET_Y_LPARAM(lParam));
      if (index < 0) return 0;
      Pick(hwnd, lb, index, (wParam & MK_SHIFT) != 0, (wParam & MK_CONTROL) != 0, true);
      if (msg == WM_LBUTTONDBLCLK && (lb.style & LBS_NOTIFY)) Notify(hwnd, LBN_DBLCLK, ReportTo(hwnd, lb));
      return 0;
    }
    case WM_LBUTTONUP:
      if (lb.combo && IndexAt(lb, GET_Y_LPARAM(lParam)) >= 0) Notify(hwnd, kLbnComboPick, lb.combo);
      return 0;
    case WM_MOUSEACTIVATE:
      if (lb.combo) return MA_NOACTIVATE;
      break;
    case WM_KEYDOWN: return KeyDown(hwnd, lb, wParam, lParam);
    case WM_CHAR: {
      const char ch = char(wParam);
      if (uint8_t(ch) > 0x20 && lb.HasStrings()) {
        const int from = lb.Multi() ? list.Caret() : list.Current();
        Pick(hwnd, lb, list.FindPrefix(from, std::string_view(&ch, 1)), false, !lb.Extended(), false);
      }
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintWith(hwnd, lb, [&](Dc& dc, RECT r) { PaintList(hwnd, lb, dc, r); }); return 0;
  }
  return std::nullopt;
}

void Init(ListBox& lb, const CREATESTRUCT& cs) {
  lb.style = cs.style;
  if ((cs.style & LBS_COMBOBOX) && cs.lpCreateParams) lb.combo = *static_cast<const HWND*>(cs.lpCreateParams);
  lb.list = ListModel((cs.style & LBS_SORT) != 0);
  lb.itemHeight = FontHeight(lb);
}

}  // namespace

LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RecordProc<ListBox>(Lists(), Init, ListBoxMessage, hwnd, msg, wParam, lParam);
}

}  // namespace win
