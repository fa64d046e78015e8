// What every standard control shares: the font, focus and colour handling
// and the notification to the parent, for the control procedures of this
// folder (controls.cpp, listbox.cpp, ...). Not for callers of the controls.
//
// What always holds:
//   1. ControlState is the part of a control's record that CommonMessage
//      keeps: the font WM_SETFONT gave (copied; the system font until
//      then) and whether the control has the focus.
//   2. Background asks the parent for the colours with WM_CTLCOLOR* before
//      painting (rule 3 of controls.h); PaintWith runs a drawing between
//      BeginPaint and EndPaint with the control's font selected, so a
//      control never paints outside a WM_PAINT's update region.
#pragma once

#include <memory>
#include <optional>

#include "platform/controls/pertable.h"
#include "platform/fonts/font.h"
#include "platform/fonts/logfont.h"
#include "platform/gdi/dc.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"
#include "platform/win/winuser.h"

namespace win {

struct ControlState {
  LOGFONT font = SystemFont();
  bool hasFont = false;
  bool focused = false;
};

DWORD StyleOf(HWND hwnd);
// The client rectangle (0, 0, width, height).
RECT ClientRectOf(HWND hwnd);
// WM_COMMAND to the parent (or to `to`) with MAKEWPARAM(id, code) and the
// control's handle.
void Notify(HWND hwnd, UINT code, HWND to = nullptr);
std::shared_ptr<const platform::fonts::Font> FontOf(const ControlState& c);
// WM_SETFONT, WM_GETFONT, WM_ENABLE, WM_SETFOCUS and WM_KILLFOCUS, which
// every control answers alike; true (and result set) when msg was one.
bool CommonMessage(HWND hwnd, ControlState& c, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
// A one-pixel bar from (x0, y0) to (x1, y1), excluded, in a system colour.
void Line(Dc& dc, int x0, int y0, int x1, int y1, int color);
// A two-pixel 3-D edge: raised (light top-left) or sunken (dark top-left).
void Edge(Dc& dc, const RECT& r, bool raised);
// Asks the parent for the colours and paints the background, unless the
// control lets what lies below show (defaultColor -1).
void Background(HWND hwnd, Dc& dc, UINT ctlColor, int defaultColor);

// The procedures of the bigger controls, each in a file of its own,
// registered with the other classes.
LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// A list box with LBS_COMBOBOX is a combo box's drop-down list: it reports
// to the combo box named by its creation parameter (not to its owner),
// takes neither the focus nor the activation, and tells the combo box
// each button release on an item with this notification.
constexpr UINT kLbnComboPick = 0x0100;

template <class Draw>
void PaintWith(HWND hwnd, const ControlState& c, Draw draw) {
  PAINTSTRUCT ps;
  if (Dc* dc = BeginPaint(hwnd, &ps)) {
    dc->SelectFont(c.font);
    RECT r;
    GetClientRect(hwnd, &r);
    draw(*dc, r);
  }
  EndPaint(hwnd, &ps);
}

// The procedure of a control whose state is a record T (a ControlState)
// kept in table: WM_NCCREATE makes the record and has init fill it from the
// creation record; WM_NCDESTROY drops it; every other message goes to
// handle, and what handle leaves (nullopt) to CommonMessage, then to
// DefWindowProc.
template <class T>
using RecordHandler = std::optional<LRESULT> (*)(HWND hwnd, T& record, UINT msg, WPARAM wParam, LPARAM lParam);

template <class T>
LRESULT RecordProc(PerWindow<T>& table, void (*init)(T&, const CREATESTRUCT&), RecordHandler<T> handle, HWND hwnd,
                   UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    init(table.Make(hwnd), *reinterpret_cast<const CREATESTRUCT*>(lParam));
    return 1;
  }
  T* record = table.Of(hwnd);
  if (record && msg == WM_NCDESTROY) table.Erase(hwnd);
  if (!record || msg == WM_NCDESTROY) return DefWindowProc(hwnd, msg, wParam, lParam);
  if (const std::optional<LRESULT> answer = handle(hwnd, *record, msg, wParam, lParam)) return *answer;
  LRESULT result = 0;
  if (CommonMessage(hwnd, *record, msg, wParam, lParam, result)) return result;
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace win
