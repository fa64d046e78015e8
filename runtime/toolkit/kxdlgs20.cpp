// Progress, tip and abort dialogs and the tool-tip hook (see kxdlgs20.h).
#include "runtime/toolkit/kxdlgs20.h"

#include "engine/base/engassert.h"
#include "platform/controls/tooltip.h"
#include "platform/settings/profile.h"
#include "platform/win/backend.h"
#include "runtime/toolkit/kxprint.h"

namespace kxdlg {

namespace {

constexpr int kMainBarId = 201;
constexpr int kSecondBarId = 211;
constexpr win::COLORREF kLtBlue = win::RGB(0, 0, 255);
constexpr win::COLORREF kLtRed = win::RGB(255, 0, 0);

constexpr int kTipCheck = 110;
constexpr int kTipText = 100;
constexpr int kNextTip = 200;
constexpr int kPrevTip = 201;
constexpr const char* kTips = "Tips";

constexpr int kDocLine = 101;
constexpr int kDeviceLine = 102;
constexpr int kOutputLine = 103;
constexpr size_t kTemplateMax = 100;

}  // namespace

// --- TProgressDlg ---

TProgressDlg::TProgressDlg(fw::TWindow* parent, const char* caption, bool mayCancel, bool twoBars)
    : TCenteredDlg(parent, twoBars ? 11704 : 11703, caption, 0),
      CanCancel(mayCancel),
      MainBar(new kxprogress::TProgressBar(this, kMainBarId, 0, kLtBlue)) {
  kxprogress::SetActiveProgressDlg(MainBar);
  if (twoBars) {
    SecondBar = new kxprogress::TProgressBar(this, kSecondBarId, 0, kLtRed);
    kxprogress::SetSecondaryProgressBar(SecondBar);
  }
  kxprogress::SetProgressCancelled(0);
}

TProgressDlg::~TProgressDlg() {
  kxprogress::SetActiveProgressDlg(nullptr);
  kxprogress::SetSecondaryProgressBar(nullptr);
}

void TProgressDlg::SetupWindow() {
  TCenteredDlg::SetupWindow();
  win::EnableWindow(win::GetDlgItem(GetHandle(), win::IDCANCEL), CanCancel);
}

bool TProgressDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnCommand<win::IDCANCEL, &TProgressDlg::CmCancel>()};
  return table.Search(e) || TCenteredDlg::Find(e);
}

win::LRESULT TProgressDlg::WindowProc(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  // Closing from the system menu is a Cancel, as Esc is; neither closes.
  if (msg == win::WM_CLOSE) {
    CmCancel();
    return 0;
  }
  return TCenteredDlg::WindowProc(msg, wParam, lParam);
}

void TProgressDlg::CmCancel() {
  if (CanCancel) kxprogress::SetProgressCancelled(1);
}

// --- TTipDlg ---

TTipDlg::TTipDlg(fw::TWindow* parent, const char* iniFile)
    : TCenteredDlg(parent, 11700, nullptr, 0), IniFile(iniFile ? iniFile : "") {}

bool TTipDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnCommand<kNextTip, &TTipDlg::CmNextTip>(),
                                        fw::OnCommand<kPrevTip, &TTipDlg::CmPrevTip>()};
  return table.Search(e) || TCenteredDlg::Find(e);
}

bool TTipDlg::TransferData(fw::TTransferDirection direction) {
  const win::HWND dlg = GetHandle();
  if (direction == fw::TTransferDirection::SetData) {
    const bool atStart = win::GetPrivateProfileIntA(kTips, "BeimStart", 1, IniFile.c_str()) != 0;
    win::CheckDlgButton(dlg, kTipCheck, atStart ? win::BST_CHECKED : win::BST_UNCHECKED);
    CurrentTip = win::GetPrivateProfileIntA(kTips, "AktTip", 1, IniFile.c_str());
    ShowTip();
  } else if (direction == fw::TTransferDirection::GetData) {
    const std::string atStart = std::to_string(win::IsDlgButtonChecked(dlg, kTipCheck) == win::BST_CHECKED ? 1 : 0);
    win::WritePrivateProfileStringA(kTips, "BeimStart", atStart.c_str(), IniFile.c_str());
    const std::string next = std::to_string(int64_t(CurrentTip) + 1);
    win::WritePrivateProfileStringA(kTips, "AktTip", next.c_str(), IniFile.c_str());
  }
  return true;
}

void TTipDlg::CmNextTip() {
  ++CurrentTip;
  ShowTip();
}

void TTipDlg::CmPrevTip() {
  --CurrentTip;
  ShowTip();
}

void TTipDlg::ShowTip() {
  if (CurrentTip < 0) {
    win::MessageBeep(0xFFFFFFFF);
    return;
  }
  char text[512];
  for (;;) {
    const std::string key = "Tip" + std::to_string(CurrentTip);
    const uint32_t n = win::GetPrivateProfileStringA(kTips, key.c_str(), "", text, sizeof text, IniFile.c_str());
    if (n > 0 || CurrentTip == 1) break;
    CurrentTip = 1;
  }
  win::SetDlgItemText(GetHandle(), kTipText, text);
}

// --- TAbortDlg ---

std::string FormatAbortLine(const std::string& format, const std::string& value) {
  std::string before, after;
  bool placed = false;
  for (size_t i = 0; i < format.size(); ++i) {
    std::string& part = placed ? after : before;
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      part += '%';
      ++i;
    } else if (!placed && format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      placed = true;
      ++i;
    } else {
      part += format[i];
    }
  }
  if (!placed) return before.substr(0, kAbortLineMax);
  std::string shown = value;
  const size_t fixed = before.size() + after.size();
  if (fixed + shown.size() > kAbortLineMax) {
    const size_t room = kAbortLineMax > fixed + 3 ? kAbortLineMax - fixed - 3 : 0;
    shown = shown.substr(0, room) + "...";
  }
  return (before + shown + after).substr(0, kAbortLineMax);
}

TAbortDlg::TAbortDlg(fw::TWindow* parent, const char* docName, const char* outputFile, fw::TPrinter* printer)
    : fw::TDialog(parent, "ABORT_DLG"), DocName(docName), OutputFile(outputFile), Printer(printer) {}

bool TAbortDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnCommand<win::IDCANCEL, &TAbortDlg::CmCancel>()};
  return table.Search(e) || fw::TDialog::Find(e);
}

void TAbortDlg::FillLine(int id, const std::string& value) {
  const std::string format = win::GetDlgItemText(GetHandle(), id).substr(0, kTemplateMax);
  win::SetDlgItemText(GetHandle(), id, FormatAbortLine(format, value));
}

void TAbortDlg::SetupWindow() {
  fw::TDialog::SetupWindow();
  CenterOnScreen(GetHandle());
  FillLine(kDocLine, DocName.CStr());
  FillLine(kDeviceLine, Printer ? Printer->Device : std::string());
  if (OutputFile.Length() == 0)
    FillLine(kOutputLine, Printer ? Printer->Output : std::string());
  else
    win::SetDlgItemText(GetHandle(), kOutputLine,
                        FormatAbortLine(kxstring::TKxString(53100u).CStr(), OutputFile.CStr()));
}

void TAbortDlg::CmCancel() {
  kxobject::UserAbort = true;
  win::SetDlgItemText(GetHandle(), kDeviceLine, "");
  win::SetDlgItemText(GetHandle(), kOutputLine, kxstring::TKxString(53101u).CStr());
}

// --- the tool-tip hook ---

namespace {

struct HookState {
  win::HWND dialog;
  win::HWND toolTip;
  win::HHOOK hook;
};
HookState g_hook;

bool IsRelayed(win::UINT msg) {
  return msg == win::WM_MOUSEMOVE || msg == win::WM_LBUTTONDOWN || msg == win::WM_LBUTTONUP ||
         msg == win::WM_RBUTTONDOWN || msg == win::WM_RBUTTONUP;
}

win::LRESULT RelayMouse(int code, win::WPARAM wParam, win::LPARAM lParam) {
  const auto* msg = reinterpret_cast<const win::MSG*>(lParam);
  if (code >= 0 && msg && g_hook.toolTip && IsRelayed(msg->message) && win::IsChild(g_hook.dialog, msg->hwnd)) {
    win::MSG copy = *msg;
    win::SendMessage(g_hook.toolTip, win::TTM_RELAYEVENT, 0, reinterpret_cast<win::LPARAM>(&copy));
  }
  return win::CallNextHookEx(g_hook.hook, code, wParam, lParam);
}

}  // namespace

bool InstallDlgToolTipHook(win::HWND dialog, win::HWND toolTip) {
  ZET_ASSERT(!g_hook.dialog && !g_hook.toolTip, "g_hwndDlg == 0 && g_hwndTT == 0");
  const win::HHOOK hook = win::SetWindowsHookEx(win::WH_GETMESSAGE, &RelayMouse, nullptr, win::GetCurrentThreadId());
  if (!hook) return false;
  g_hook = {dialog, toolTip, hook};
  return true;
}

void RemoveDlgToolTipHook(win::HWND dialog) {
  ZET_ASSERT(dialog == g_hook.dialog, "hwndDlg == g_hwndDlg");
  win::UnhookWindowsHookEx(g_hook.hook);
  g_hook = {};
}

}  // namespace kxdlg
