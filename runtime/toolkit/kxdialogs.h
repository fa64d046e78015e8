// The dialog base of the runtime and its small ready-made dialogs: the
// centred dialog with its own help context, the list dialog, the one-line
// input dialog, and the folder question.
//
// What always holds:
//   1. A TCenteredDlg is centred on the screen once, when it is set up:
//      left = (screen width - window width) / 2, top likewise, truncated; a
//      dialog larger than the screen gets a negative left or top (no
//      clamping). It is never centred on its parent.
//   2. Help: the Help button (IDHELP) sends WM_HELP to the dialog with a
//      context id of 0; a WM_HELP whose context id is 0 (from the button or
//      F1 on any of its controls) leaves carrying HelpId + 10000, one with a
//      context id set passes unchanged; either way it goes on to the owner.
//   3. A run that disables the top-level window above the dialog enables it
//      afterwards only when it was the one that disabled it (DisabledTop),
//      so a window already disabled stays so.
//   4. TInputStringDlg reads the caller's buffer when it is set up and
//      writes it only when it closes with OK; the buffer holds limit + 1
//      bytes. Only password mode 1 masks the input.
//   5. BrowseForFolder writes at most maxLength characters and a NUL into
//      the destination (maxLength + 1 bytes), and only when a folder was
//      chosen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/framework/dialog.h"

namespace kxdlg {

// The top-level window above a window: GetParent until there is none.
win::HWND TopLevelAbove(win::HWND hwnd);

// Disables the top-level window above `start` for its lifetime when it was
// enabled, and enables it again then (rule 3); a null start disables nothing.
class DisabledTop {
 public:
  explicit DisabledTop(win::HWND start);
  ~DisabledTop();
  DisabledTop(const DisabledTop&) = delete;
  DisabledTop& operator=(const DisabledTop&) = delete;

 private:
  win::HWND top_;
  bool disabled_ = false;
};

class TCenteredDlg : public fw::TDialog {
 public:
  // A null caption keeps the resource's.
  TCenteredDlg(fw::TWindow* parent, const platform::ResId& resource, const char* caption, uint32_t helpId);

  void SetupWindow() override;
  bool Find(fw::TEventInfo& e) override;
  virtual int ExecuteDisablingTop();

  win::LRESULT EvHelp(win::WPARAM wParam, win::LPARAM lParam);
  void CmHelp();

  // Face "Arial", the system's dialog base height, normal weight, charset 1.
  win::LOGFONT DialogFont;
  uint32_t HelpId;

 private:
  std::optional<std::string> caption_;
};

// Moves a window to the middle of the screen (rule 1).
void CenterOnScreen(win::HWND hwnd);

class TListDlg : public TCenteredDlg {
 public:
  TListDlg(fw::TWindow* parent, const char* caption);
  bool Find(fw::TEventInfo& e) override;
  void EvListDblClk();

  fw::TListBox* ListBox;
};

class TInputStringDlg : public TCenteredDlg {
 public:
  static constexpr int kResource = 11702;
  // buffer holds limit characters and a NUL.
  TInputStringDlg(fw::TWindow* parent, const char* caption, const char* prompt, char* buffer, int16_t limit,
                  int16_t passwordMode);
  void SetupWindow() override;

  std::string Prompt;
  int16_t PasswordMode;
};

bool BrowseForFolder(win::HWND owner, const char* title, char* destination, int maxLength);

}  // namespace kxdlg
