// The dialog base and the simple dialogs (see kxdialogs.h).
#include "runtime/toolkit/kxdialogs.h"

#include <algorithm>
#include <cstring>

#include "platform/dialogs/provider.h"

namespace kxdlg {

win::HWND TopLevelAbove(win::HWND hwnd) {
  win::HWND top = hwnd;
  for (win::HWND up = win::GetParent(hwnd); up; up = win::GetParent(up)) top = up;
  return top;
}

DisabledTop::DisabledTop(win::HWND start) : top_(start ? TopLevelAbove(start) : win::HWND()) {
  if (top_ && win::IsWindowEnabled(top_)) {
    win::EnableWindow(top_, false);
    disabled_ = true;
  }
}

DisabledTop::~DisabledTop() {
  if (disabled_) win::EnableWindow(top_, true);
}

void CenterOnScreen(win::HWND hwnd) {
  win::RECT r;
  if (!win::GetWindowRect(hwnd, &r)) return;
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int left = (win::GetSystemMetrics(win::SM_CXSCREEN) - w) / 2;
  const int top = (win::GetSystemMetrics(win::SM_CYSCREEN) - h) / 2;
  win::SetWindowPos(hwnd, nullptr, left, top, 0, 0, win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
}

TCenteredDlg::TCenteredDlg(fw::TWindow* parent, const platform::ResId& resource, const char* caption,
                           uint32_t helpId)
    : fw::TDialog(parent, resource), HelpId(helpId) {
  DialogFont.lfHeight = win::HIWORD(uintptr_t(win::GetDialogBaseUnits()));
  DialogFont.lfWeight = 400;
  DialogFont.lfCharSet = 1;
  std::strcpy(DialogFont.lfFaceName, "Arial");
  if (caption) caption_ = caption;
}

void TCenteredDlg::SetupWindow() {
  if (caption_) SetCaption(caption_->c_str());
  fw::TDialog::SetupWindow();
  CenterOnScreen(GetHandle());
}

bool TCenteredDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_HELP, &TCenteredDlg::EvHelp>(),
                                        fw::OnCommand<win::IDHELP, &TCenteredDlg::CmHelp>()};
  return table.Search(e) || fw::TDialog::Find(e);
}

win::LRESULT TCenteredDlg::EvHelp(win::WPARAM, win::LPARAM lParam) {
  if (auto* info = reinterpret_cast<win::HELPINFO*>(lParam); info && info->dwContextId == 0)
    info->dwContextId = uintptr_t(HelpId) + 10000;
  return DefaultProcessing();
}

void TCenteredDlg::CmHelp() {
  win::HELPINFO info;
  info.iCtrlId = 0;
  info.hItemHandle = GetHandle();
  info.dwContextId = 0;
  info.MousePos = {0, 0};
  SendMessage(win::WM_HELP, 0, reinterpret_cast<win::LPARAM>(&info));
}

int TCenteredDlg::ExecuteDisablingTop() {
  DisabledTop top(GetParent() ? GetParent()->GetHandle() : win::HWND());
  return Execute();
}

TListDlg::TListDlg(fw::TWindow* parent, const char* caption)
    : TCenteredDlg(parent, 11701, caption, 0), ListBox(new fw::TListBox(this, 200)) {}

bool TListDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnNotify<200, win::LBN_DBLCLK, &TListDlg::EvListDblClk>()};
  return table.Search(e) || TCenteredDlg::Find(e);
}

void TListDlg::EvListDblClk() { win::PostMessage(GetHandle(), win::WM_COMMAND, win::IDOK, 0); }

TInputStringDlg::TInputStringDlg(fw::TWindow* parent, const char* caption, const char* prompt, char* buffer,
                                 int16_t limit, int16_t passwordMode)
    : TCenteredDlg(parent, kResource, caption, kResource), Prompt(prompt ? prompt : ""), PasswordMode(passwordMode) {
  const int size = std::max<int>(limit, 0) + 1;
  new fw::TEdit(this, 201, size);
  SetTransferBuffer(buffer, size_t(size));
}

void TInputStringDlg::SetupWindow() {
  TCenteredDlg::SetupWindow();
  if (PasswordMode == 1) win::SendDlgItemMessage(GetHandle(), 201, win::EM_SETPASSWORDCHAR, '*');
  win::SetDlgItemText(GetHandle(), 200, Prompt);
}

bool BrowseForFolder(win::HWND owner, const char* title, char* destination, int maxLength) {
  dialogs::BrowseFolderRequest request;
  request.owner = owner;
  request.title = title ? title : "";
  if (!dialogs::AskBrowseFolder(request) || !destination || maxLength < 0) return false;
  const size_t n = std::min(request.chosen.size(), size_t(maxLength));
  std::memcpy(destination, request.chosen.data(), n);
  destination[n] = 0;
  return true;
}

}  // namespace kxdlg
