// Paged and tabbed dialogs (see kxpagedlg.h).
#include "runtime/toolkit/kxpagedlg.h"

#include <algorithm>

#include "platform/controls/dialog.h"
#include "platform/win/input.h"
#include "runtime/toolkit/kxdialogs.h"

namespace kxdlg {

namespace {

constexpr win::DWORD DS_3DLOOK = 0x4;
constexpr int kLabelBound = 40;

int BaseWidth() { return int(win::LOWORD(uintptr_t(win::GetDialogBaseUnits()))); }
int BaseHeight() { return int(win::HIWORD(uintptr_t(win::GetDialogBaseUnits()))); }

bool KeyDown(int vk) { return win::GetKeyState(vk) < 0; }

win::SIZE ClientSize(win::HWND hwnd) {
  win::RECT r{0, 0, 0, 0};
  win::GetClientRect(hwnd, &r);
  return {r.right, r.bottom};
}

win::SIZE WindowSize(win::HWND hwnd) {
  win::RECT r{0, 0, 0, 0};
  win::GetWindowRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

void Resize(win::HWND hwnd, win::SIZE size) {
  win::SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
}

// Help for a window: a HELPINFO naming it, with no context of its own.
void SendHelp(win::HWND to, int controlId, win::HWND item, uintptr_t context) {
  win::HELPINFO info;
  info.iCtrlId = controlId;
  info.hItemHandle = item;
  info.dwContextId = context;
  info.MousePos = {0, 0};
  win::SendMessage(to, win::WM_HELP, 0, reinterpret_cast<win::LPARAM>(&info));
}

}  // namespace

// --- TPageDlg ---

TPageDlg::TPageDlg(fw::TWindow* parent, const platform::ResId& resource, const char* caption, uint16_t helpId)
    : fw::TDialog(parent, resource), HelpId(helpId), Caption(caption ? caption : "") {}

win::HWND TPageDlg::DoCreate(win::HWND parent, bool) {
  platform::DialogTemplate t;
  if (!platform::LoadDialogTemplate(GetResourceId(), t)) return nullptr;
  t.style = win::WS_CHILD | win::WS_DISABLED | DS_3DLOOK | (t.style & 0xFFFFu & ~DS_3DLOOK);
  t.x = t.y = 0;
  return win::CreateDialogIndirectParam(t, parent, nullptr, 0);
}

void TPageDlg::SetupWindow() {
  fw::TDialog::SetupWindow();
  if (!Caption.empty()) SetCaption(Caption.c_str());
}

bool TPageDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnCommand<win::IDOK, &TPageDlg::CmPageOk>(),
                                        fw::OnCommand<win::IDCANCEL, &TPageDlg::CmPageCancel>()};
  return table.Search(e) || fw::TDialog::Find(e);
}

TMultiDlg* TPageDlg::Frame() const { return dynamic_cast<TMultiDlg*>(GetParent()); }

void TPageDlg::CmPageOk() {
  if (TMultiDlg* frame = Frame()) frame->CloseWindow(win::IDOK);
}

void TPageDlg::CmPageCancel() {
  if (TMultiDlg* frame = Frame()) frame->Destroy(win::IDCANCEL);
}

bool TPageDlg::PreProcessMsg(win::MSG& msg) {
  if (msg.message == win::WM_KEYDOWN) {
    const win::HWND frame = win::GetParent(GetHandle());
    switch (msg.wParam) {
      case win::VK_TAB:
        if (!KeyDown(win::VK_CONTROL)) break;
        win::SendMessage(frame, win::WM_COMMAND, KeyDown(win::VK_SHIFT) ? TMultiDlg::kCmPrevPage : TMultiDlg::kCmNextPage);
        return true;
      case win::VK_RETURN:
        if (win::SendMessage(win::GetFocus(), win::WM_GETDLGCODE, msg.wParam) & win::DLGC_WANTALLKEYS) break;
        SendMessage(win::WM_COMMAND, win::IDOK);
        return true;
      case win::VK_ESCAPE:
        SendMessage(win::WM_COMMAND, win::IDCANCEL);
        return true;
    }
  }
  return fw::TDialog::PreProcessMsg(msg);
}

// --- TMultiDlg ---

TMultiDlg::TMultiDlg(fw::TWindow* parent, const char* title) : fw::TWindow(parent, title) {
  Attr.Style = win::WS_POPUP | win::WS_CAPTION;
  Attr.ExStyle = win::WS_EX_DLGMODALFRAME;
  Attr.X = Attr.Y = 0;
  Attr.W = Attr.H = 100;
  Font.lfHeight = BaseHeight() * 7 / 8;
  Font.lfWeight = win::FW_NORMAL;
  win::SetFaceName(Font, "Arial");
}

void TMultiDlg::GetWindowClass(win::WNDCLASS& wc) {
  fw::TWindow::GetWindowClass(wc);
  wc.background = win::GetSysColor(win::COLOR_BTNFACE);
}

bool TMultiDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_HELP, &TMultiDlg::EvHelp>(),
                                        fw::OnWm<win::WM_KEYDOWN, &TMultiDlg::EvKeyDown>(),
                                        fw::OnWm<win::WM_SIZE, &TMultiDlg::EvSize>(),
                                        fw::OnCommand<kCmNextPage, &TMultiDlg::CmNext>(),
                                        fw::OnCommand<kCmPrevPage, &TMultiDlg::CmPrev>(),
                                        fw::OnCommand<win::IDHELP, &TMultiDlg::CmHelp>()};
  return table.Search(e) || fw::TWindow::Find(e);
}

void TMultiDlg::AddPage(TPageDlg* page, const char* caption) {
  Pages.push_back(page);
  if (caption) page->Caption = caption;
}

TPageDlg* TMultiDlg::GetPage(int index) const {
  return index >= 0 && index < GetPageCount() ? Pages[size_t(index)] : nullptr;
}

void TMultiDlg::InsertDecoration(fw::TWindow* decoration, bool top) { decorations_.emplace_back(decoration, top); }

void TMultiDlg::Layout() {
  if (!GetHandle()) return;
  const win::SIZE client = ClientSize(GetHandle());
  int top = 0, bottom = client.cy;
  for (const auto& [decoration, atTop] : decorations_) {
    const win::HWND h = decoration->GetHandle();
    if (!h) continue;
    const int height = WindowSize(h).cy;
    const int y = atTop ? top : bottom - height;
    win::SetWindowPos(h, nullptr, 0, y, client.cx, height, win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    (atTop ? top += height : bottom -= height);
  }
  if (TPageDlg* page = GetClientPage(); page && page->GetHandle())
    win::SetWindowPos(page->GetHandle(), nullptr, 0, top, client.cx, std::max(0, bottom - top),
                      win::SWP_NOZORDER | win::SWP_NOACTIVATE);
}

void TMultiDlg::EvSize(win::UINT, win::SIZE) {
  DefaultProcessing();
  Layout();
}

void TMultiDlg::SetupWindow() {
  fw::TWindow::SetupWindow();  // makes the pages (TPageDlg::DoCreate: child, disabled)
  for (TPageDlg* page : Pages) {
    const win::HWND h = page->GetHandle();
    if (!h) continue;
    win::ShowWindow(h, win::SW_HIDE);
    win::EnableWindow(h, false);
    FitPage(page);
  }
  CenterOnScreen(GetHandle());
  for (win::HWND child : win::GetChildren(GetHandle()))
    win::SendMessage(child, win::WM_SETFONT, reinterpret_cast<win::WPARAM>(&Font), 1);
  SelectPage(0);
}

void TMultiDlg::FitPage(TPageDlg* page) {
  const win::SIZE pageSize = ClientSize(page->GetHandle());
  const win::SIZE frame = WindowSize(GetHandle());
  Resize(GetHandle(), {std::max<int>(frame.cx, pageSize.cx + 2 * win::GetSystemMetrics(win::SM_CXDLGFRAME)),
                       std::max<int>(frame.cy, pageSize.cy + win::GetSystemMetrics(win::SM_CYDLGFRAME) +
                                                   win::GetSystemMetrics(win::SM_CYCAPTION))});
}

void TMultiDlg::SelectPage(int index) {
  if (index < 0 || index == CurrentPage || index >= GetPageCount()) return;
  TPageDlg* previous = GetClientPage();
  TPageDlg* page = Pages[size_t(index)];
  CurrentPage = int16_t(index);
  Layout();
  const win::HWND h = page->GetHandle();
  win::EnableWindow(h, true);
  win::ShowWindow(h, win::SW_SHOWNORMAL);
  const win::HWND first = win::GetNextDlgTabItem(h, nullptr, false);
  win::SetFocus(first ? first : h);
  if (previous && previous->GetHandle()) {
    win::ShowWindow(previous->GetHandle(), win::SW_HIDE);
    win::EnableWindow(previous->GetHandle(), false);
  }
}

bool TMultiDlg::PageAgrees() {
  TPageDlg* page = GetClientPage();
  return !page || page->CanClose();
}

void TMultiDlg::NextPage() {
  if (GetPageCount() == 0 || !PageAgrees()) return;
  SelectPage(CurrentPage + 1 >= GetPageCount() ? 0 : CurrentPage + 1);
}

void TMultiDlg::PrevPage() {
  if (GetPageCount() == 0 || !PageAgrees()) return;
  SelectPage(CurrentPage <= 0 ? GetPageCount() - 1 : CurrentPage - 1);
}

bool TMultiDlg::CanClose() { return PageAgrees(); }

void TMultiDlg::CloseWindow(int retVal) {
  if (!CanClose()) return;
  TransferData(fw::TTransferDirection::GetData);
  Destroy(retVal);
}

bool TMultiDlg::TransferData(fw::TTransferDirection direction) {
  if (direction == fw::TTransferDirection::SizeData) return true;
  bool all = true;
  for (TPageDlg* page : Pages)
    if (page->GetHandle()) all = page->TransferData(direction) && all;
  return all;
}

int TMultiDlg::ExecuteDisablingTop() {
  const DisabledTop top(GetParent() ? GetParent()->GetHandle() : win::HWND());
  return Execute();
}

win::LRESULT TMultiDlg::EvHelp(win::WPARAM, win::LPARAM lParam) {
  auto* info = reinterpret_cast<win::HELPINFO*>(lParam);
  if (TPageDlg* page = GetClientPage(); info && info->dwContextId == 0 && page && page->HelpId > 0)
    info->dwContextId = uintptr_t(page->HelpId) + 10000;
  return DefaultProcessing();
}

void TMultiDlg::EvKeyDown(win::UINT key, win::UINT, win::UINT) {
  if (key == win::VK_TAB && KeyDown(win::VK_CONTROL)) {
    KeyDown(win::VK_SHIFT) ? PrevPage() : NextPage();
    return;
  }
  DefaultProcessing();
}

void TMultiDlg::CmHelp() { SendHelp(GetHandle(), 0, GetHandle(), 0); }

// --- TButtonBar ---

namespace {

struct BarButton {
  uint16_t flag;
  int id;
  const char* text;
};
// In the order they are placed from the right edge.
constexpr BarButton kBarButtons[] = {{TButtonBar::kHelp, win::IDHELP, "&Hilfe"},
                                     {TButtonBar::kCancel, win::IDCANCEL, "&Abbrechen"},
                                     {TButtonBar::kOk, win::IDOK, "&Ok"},
                                     {TButtonBar::kApply, TButtonBar::kApplyId, "&Anwenden"}};

}  // namespace

TButtonBar::TButtonBar(fw::TWindow* parent, int id, int x, int y, int w, uint16_t flags)
    : fw::TWindow(parent), flags_(flags) {
  Attr.Style = win::WS_CHILD | win::WS_VISIBLE;
  Attr.Id = id;
  Attr.X = x, Attr.Y = y, Attr.W = w, Attr.H = 3 * BaseHeight();
}

void TButtonBar::GetWindowClass(win::WNDCLASS& wc) {
  fw::TWindow::GetWindowClass(wc);
  wc.background = win::GetSysColor(win::COLOR_BTNFACE);
}

void TButtonBar::SetupWindow() {
  fw::TWindow::SetupWindow();
  win::RegisterControlClasses();
  for (const BarButton& b : kBarButtons)
    if (flags_ & b.flag)
      win::CreateWindowEx(0, win::kButtonClass, b.text,
                          win::WS_CHILD | win::WS_VISIBLE | win::WS_TABSTOP |
                              (b.id == win::IDOK ? win::BS_DEFPUSHBUTTON : win::BS_PUSHBUTTON),
                          0, 0, 10, 10, GetHandle(), win::UINT_PTR(b.id));
  const win::SIZE size = ClientSize(GetHandle());
  EvSize(0, size);
}

bool TButtonBar::Find(fw::TEventInfo& e) {
  // What the bar passes on to its parent names the bar; it is the parent's.
  static const fw::TResponseTable table{fw::OnWm<win::WM_SIZE, &TButtonBar::EvSize>(),
                                        fw::OnCommand<win::IDOK, &TButtonBar::CmOk>(),
                                        fw::OnCommand<win::IDCANCEL, &TButtonBar::CmCancel>(),
                                        fw::OnCommand<win::IDHELP, &TButtonBar::CmHelp>(),
                                        fw::OnCommand<kApplyId, &TButtonBar::CmApply>()};
  if (e.msg == win::WM_COMMAND && win::HWND(uint32_t(e.lParam)) == GetHandle()) return fw::TWindow::Find(e);
  return table.Search(e) || fw::TWindow::Find(e);
}

void TButtonBar::EvSize(win::UINT, win::SIZE size) {
  const int bx = BaseWidth(), by = BaseHeight();
  int k = 0;
  for (const BarButton& b : kBarButtons) {
    const win::HWND button = win::GetDlgItem(GetHandle(), b.id);
    if (!button) continue;
    ++k;
    win::SetWindowPos(button, nullptr, size.cx - k * 11 * bx, size.cy - by / 2 - 3 * by / 2, 10 * bx, 3 * by / 2,
                      win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  }
}

void TButtonBar::CmOk() {
  if (auto* frame = dynamic_cast<TMultiDlg*>(GetParent())) frame->CloseWindow(win::IDOK);
}

void TButtonBar::CmCancel() {
  if (auto* frame = dynamic_cast<TMultiDlg*>(GetParent())) frame->Destroy(win::IDCANCEL);
}

void TButtonBar::PassOn(int id) {
  win::SendMessage(win::GetParent(GetHandle()), win::WM_COMMAND, win::MAKEWPARAM(uint16_t(id), win::BN_CLICKED),
                   win::LPARAM(GetHandle().id));
}

// --- TKxTabbedDlg ---

TKxTabbedDlg::TKxTabbedDlg(fw::TWindow* parent, const char* title, uint16_t buttonFlags)
    : TMultiDlg(parent, title),
      TabBar(new kxctl::TTabBar(this, kTabBarId, "", 0, 0, 300, 2 * Font.lfHeight)),
      ButtonBar(new TButtonBar(this, kButtonBarId, 0, 0, 300, buttonFlags)) {
  InsertDecoration(TabBar, true);
  InsertDecoration(ButtonBar, false);
}

bool TKxTabbedDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{
      {win::WM_COMMAND, kTabBarId, -1,
       [](fw::TEventInfo& e) { static_cast<TKxTabbedDlg&>(*e.object).TabClicked(int(e.code)); }}};
  return table.Search(e) || TMultiDlg::Find(e);
}

void TKxTabbedDlg::SetupWindow() {
  TMultiDlg::SetupWindow();
  const win::SIZE frame = WindowSize(GetHandle());
  Resize(GetHandle(), {frame.cx, frame.cy + WindowSize(TabBar->GetHandle()).cy + WindowSize(ButtonBar->GetHandle()).cy});
  CenterOnScreen(GetHandle());
  TabBar->SendMessage(win::WM_SETFONT, reinterpret_cast<win::WPARAM>(&Font), 1);
}

void TKxTabbedDlg::SelectPage(int index) {
  TMultiDlg::SelectPage(index);
  TabBar->SetSelection(CurrentPage);
}

void TKxTabbedDlg::FitPage(TPageDlg* page) {
  TMultiDlg::FitPage(page);
  std::string label = page->Caption.substr(0, kLabelBound);
  std::replace(label.begin(), label.end(), ',', ';');
  const std::string labels = TabBar->GetCaption();
  if (label.empty()) label = "Page " + std::to_string(TabBar->Labels().size() + 1);
  TabBar->SetCaption((labels.empty() ? label : labels + "," + label).c_str());
}

void TKxTabbedDlg::TabClicked(int index) {
  if (PageAgrees()) SelectPage(index);
}

}  // namespace kxdlg
