// The dialog manager: dialogs made from templates, their keyboard interface
// (tab and group navigation, default button, Enter, Esc, mnemonics), modal
// runs and the dialog's default procedure.
//
// What always holds:
//   1. Dialog units: a template's rectangles are in dialog units of its font
//      (the template's face at its point size, 96 dpi; the system's base
//      units when it names none). The base units are the average width of
//      A-Z and a-z (rounded) and the font's tmHeight; x maps as x * bx / 4
//      and y as y * by / 8, rounded as MulDiv rounds. A template's size is
//      the client size; the frame is added around it.
//   2. Creation: the dialog window (class "#32770", the 3-D face colour)
//      gets WM_SETFONT, then the items are made in template order, each
//      with WM_SETFONT; template order is the tab order. An item of a class
//      nobody registered fails the whole dialog (nothing is left behind).
//      Then WM_INITDIALOG with the first enabled WS_TABSTOP control in
//      wParam; a non-zero answer gives that control the focus. A template
//      with WS_VISIBLE is shown last.
//   3. The default button is the first BS_DEFPUSHBUTTON item, or what
//      DM_SETDEFID named last; DM_GETDEFID answers MAKELONG(id,
//      DC_HASDEFID), 0 without one. While a push button has the focus it
//      looks like the default; otherwise the default button does.
//   4. IsDialogMessage takes only keys the focus control does not want
//      (WM_GETDLGCODE): Tab and Shift+Tab move through the enabled, visible
//      WS_TABSTOP controls (cyclic); arrows move within the WS_GROUP run
//      (an automatic radio button reached so is clicked); Enter clicks the
//      focused push button, else the default button, else sends IDOK; Esc
//      sends IDCANCEL; a character (or Alt+character) that is a control's
//      "&" mnemonic clicks that button or focuses the control after that
//      static. A control that is disabled is never focused nor clicked by a
//      key: Enter on a disabled default button only beeps.
//   5. EndDialog records the result and ends the dialog's modal loop (if
//      any); DialogBox* answer it, or -1 when the dialog could not be made.
//      WM_CLOSE to a dialog becomes IDCANCEL.
//   6. A dialog procedure sees every message before the default handling;
//      a non-zero answer ends the handling with that answer.
#pragma once

#include <string>
#include <string_view>

#include "platform/controls/controls.h"
#include "platform/resources/resources.h"
#include "platform/win/message.h"

namespace win {

constexpr const char* kDialogClass = "#32770";

constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr uint16_t DC_HASDEFID = 0x534B;

using DLGPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

// The system's dialog base units: MAKELONG(8, 16).
long GetDialogBaseUnits();
// The font a template asks for, in pixels (0 lfHeight: none named).
LOGFONT DialogFontOf(const platform::DialogTemplate& dialog);
// The base units of a font (rule 1).
SIZE DialogBaseUnitsOf(const LOGFONT& font);
// Dialog units to pixels for the dialog's font (rule 1).
bool MapDialogRect(HWND dialog, RECT* rect);

HWND CreateDialogIndirectParam(const platform::DialogTemplate& dialog, HWND owner, DLGPROC proc, LPARAM param);
HWND CreateDialogParam(const platform::ResId& id, HWND owner, DLGPROC proc, LPARAM param);
int DialogBoxIndirectParam(const platform::DialogTemplate& dialog, HWND owner, DLGPROC proc, LPARAM param);
int DialogBoxParam(const platform::ResId& id, HWND owner, DLGPROC proc, LPARAM param);
bool EndDialog(HWND dialog, int result);
// Whether EndDialog was called, and with what.
bool DialogEnded(HWND dialog, int* result = nullptr);

bool IsDialogMessage(HWND dialog, MSG* msg);
// The filter a dialog's modal loop runs (IsDialogMessage on that dialog).
bool DialogKeys(HWND dialog, MSG& msg);
HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous);
HWND GetNextDlgGroupItem(HWND dialog, HWND control, bool previous);
LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
bool SetDlgItemText(HWND dialog, int id, std::string_view text);
std::string GetDlgItemText(HWND dialog, int id);
bool CheckDlgButton(HWND dialog, int id, int check);
int IsDlgButtonChecked(HWND dialog, int id);

}  // namespace win
