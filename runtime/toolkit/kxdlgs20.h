// Ready-made dialogs of long operations and printing, and the dialogs'
// tool-tip hook: the progress dialog with one or two bars, the tip of the
// day, the modeless dialog shown while a document prints, and the hook that
// feeds a dialog's mouse messages to a tool-tip window.
//
// What always holds:
//   1. A progress dialog registers its bars with the progress channel while
//      it lives and unregisters them when it dies. The user never closes it
//      (Esc, Cancel or the system menu): its owner does. Its Cancel button is
//      enabled only when cancelling was asked for, and then only sets the
//      channel's cancel flag, which the running operation sees.
//   2. The tip dialog reads section "Tips" of its INI file when it is set up
//      and writes it only when it closes with OK: "BeimStart" as the check
//      box (1 or 0) and "AktTip" as the tip shown + 1. A tip number without a
//      key wraps to tip 1; no tip 1 shows an empty text; going below tip 0
//      beeps and stays.
//   3. The abort dialog fills its three lines from their templates when it is
//      set up: the document name, the printer's device, and the printer's
//      port or "in Datei <file>". A line never grows beyond 103 characters: a
//      name that would pass that is cut and ends in "...". Cancel sets the
//      spooler's UserAbort, empties line 2 and shows "ABGEBROCHEN" on line 3.
//   4. One tool-tip hook at a time, for one dialog: installing a second one,
//      or removing with another dialog, fails the consistency checks
//      "g_hwndDlg == 0 && g_hwndTT == 0" / "hwndDlg == g_hwndDlg" (kxdlgs20).
//      While it is installed, every mouse move, left and right button press
//      and release taken from the queue for a child of the dialog (any
//      depth) is relayed to the tool-tip window as TTM_RELAYEVENT with a copy
//      of the message; nothing else is relayed, and every message goes on to
//      its window unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "platform/framework/printer.h"
#include "runtime/toolkit/kxdialogs.h"
#include "runtime/toolkit/kxprogress.h"
#include "runtime/toolkit/kxstring.h"

namespace kxdlg {

class TProgressDlg : public TCenteredDlg {
 public:
  TProgressDlg(fw::TWindow* parent, const char* caption, bool mayCancel, bool twoBars);
  ~TProgressDlg() override;

  void SetupWindow() override;
  bool Find(fw::TEventInfo& e) override;
  win::LRESULT WindowProc(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override;
  bool CanClose() override { return false; }
  void CmCancel();

  bool CanCancel;
  kxprogress::TProgressBar* MainBar;
  kxprogress::TProgressBar* SecondBar = nullptr;
};

class TTipDlg : public TCenteredDlg {
 public:
  TTipDlg(fw::TWindow* parent, const char* iniFile);

  bool Find(fw::TEventInfo& e) override;
  bool TransferData(fw::TTransferDirection direction) override;
  void CmNextTip();
  void CmPrevTip();
  void ShowTip();

  std::string IniFile;
  int32_t CurrentTip = 0;
};

// The longest line the abort dialog shows (rule 3).
constexpr size_t kAbortLineMax = 103;
// The template with its "%s" replaced by value, the value cut with "..." so
// that the line keeps within kAbortLineMax characters.
std::string FormatAbortLine(const std::string& format, const std::string& value);

class TAbortDlg : public fw::TDialog {
 public:
  TAbortDlg(fw::TWindow* parent, const char* docName, const char* outputFile, fw::TPrinter* printer);

  void SetupWindow() override;
  bool Find(fw::TEventInfo& e) override;
  void CmCancel();

  kxstring::TKxString DocName;
  kxstring::TKxString OutputFile;
  fw::TPrinter* Printer;

 private:
  void FillLine(int id, const std::string& value);
};

bool InstallDlgToolTipHook(win::HWND dialog, win::HWND toolTip);
void RemoveDlgToolTipHook(win::HWND dialog);

}  // namespace kxdlg
