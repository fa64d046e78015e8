// Wizard pages and the wizard frame (see kxwizard.h).
#include "runtime/toolkit/kxwizard.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "platform/controls/dialog.h"
#include "platform/resources/resources.h"
#include "runtime/toolkit/kxdialogs.h"

namespace kxdlg {

namespace {

constexpr win::COLORREF kGray = win::RGB(128, 128, 128);
constexpr size_t kCaptionBound = 255;

struct ButtonSize {
  int w, h, gap;
};
ButtonSize WizardButtonSize() {
  const auto units = uintptr_t(win::GetDialogBaseUnits());
  const int w = 10 * int(win::LOWORD(units));
  return {w, 3 * int(win::HIWORD(units)) / 2, w / 10};
}

// A button of a page whose click is the page's command of the same id.
template <class Button>
class TPageButton : public Button {
 public:
  using Button::Button;
  void BNClicked() override {
    fw::TEventInfo e;
    e.msg = win::WM_COMMAND;
    e.id = this->Attr.Id;
    e.wParam = win::WPARAM(e.id);
    this->GetParent()->Dispatch(e);
  }
};

std::unique_ptr<kxobject::TKxBitmap> LoadPicture(const platform::ResId& picture) {
  const kxobject::TKxDib dib(kxobject::TKxDib::FromResource{}, picture);
  return std::make_unique<kxobject::TKxBitmap>(dib, nullptr);
}

std::string LoadText(uint32_t id) {
  char text[256];
  return platform::LoadStringResource(id, text, sizeof text) > 0 ? text : "";
}

}  // namespace

bool MoveRight(win::HWND child, win::LPARAM distance) {
  win::RECT r;
  win::GetWindowRect(child, &r);
  win::POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  win::MapWindowPoints(nullptr, win::GetParent(child), corners, 2);
  const int dx = int16_t(uint16_t(distance));
  win::MoveWindow(child, corners[0].x + dx, corners[0].y, corners[1].x - corners[0].x, corners[1].y - corners[0].y,
                  true);
  return true;
}

// --- TAssistentDlg ---

TAssistentDlg::TAssistentDlg(fw::TWindow* parent, const platform::ResId& resource, const platform::ResId& picture,
                             uint16_t helpId)
    : TPageDlg(parent, resource, nullptr, helpId),
      BackBtn(new TPageButton<kxctl::TBitmapButton>(this, kBackId, "< &Zurueck", 0, 0, 5, 5, 8001, false)),
      NextBtn(new TPageButton<kxctl::TBitmapButton>(this, kNextId, "&Weiter >", 0, 0, 5, 5, 8000, true)),
      CancelBtn(new TPageButton<kxctl::TWinButton>(this, kCancelId, "&Abbrechen", 0, 0, 5, 5)),
      HelpBtn(new TPageButton<kxctl::TWinButton>(this, kHelpId, "&Hilfe", 0, 0, 5, 5)),
      SideBitmap(new kxctl::TBitmapCtl(this, kPictureId, 0, 0, 100, 100, LoadPicture(picture))),
      FaceBrush(win::SolidBrush(win::GetSysColor(win::COLOR_BTNFACE))) {}

bool TAssistentDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{
      fw::OnCommand<kBackId, &TAssistentDlg::CmBack>(),      fw::OnCommand<kNextId, &TAssistentDlg::CmNext>(),
      fw::OnCommand<kCancelId, &TAssistentDlg::CmCancel>(),  fw::OnCommand<kHelpId, &TAssistentDlg::CmHelp>(),
      fw::OnCommand<win::IDOK, &TAssistentDlg::CmNext>(),    fw::OnWm<win::WM_SIZE, &TAssistentDlg::EvSize>(),
      fw::OnWm<win::WM_CTLCOLORSTATIC, &TAssistentDlg::EvCtlColor>(),
      fw::OnWm<win::WM_CTLCOLORBTN, &TAssistentDlg::EvCtlColor>(),
      fw::OnWm<win::WM_CTLCOLORDLG, &TAssistentDlg::EvCtlColor>()};
  return table.Search(e) || TPageDlg::Find(e);
}

TAssistentWnd* TAssistentDlg::Wizard() const { return dynamic_cast<TAssistentWnd*>(GetParent()); }

bool TAssistentDlg::SetWithHelp(bool flag) { return std::exchange(WithHelp, flag); }

void TAssistentDlg::DisableBack(bool flag) { win::EnableWindow(BackBtn->GetHandle(), !flag); }

void TAssistentDlg::DisableNext(bool flag) { win::EnableWindow(NextBtn->GetHandle(), !flag); }

void TAssistentDlg::SetupWindow() {
  TPageDlg::SetupWindow();
  win::EnumChildWindows(GetHandle(), &MoveRight, kShift);
  win::RECT client;
  win::GetClientRect(GetHandle(), &client);
  win::SetWindowPos(SideBitmap->GetHandle(), nullptr, kMargin, (client.bottom - kPictureHeight) / 2, kPictureWidth,
                    kPictureHeight, win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  if (!WithHelp) HelpBtn->Show(win::SW_HIDE);
}

void TAssistentDlg::EvSize(win::UINT, win::SIZE size) {
  const ButtonSize b = WizardButtonSize();
  const int y = size.cy - (7 + b.h);
  const std::pair<fw::TWindow*, int> row[] = {{HelpBtn, kMargin},
                                              {BackBtn, size.cx - 3 * (b.w + b.gap)},
                                              {NextBtn, size.cx - 2 * (b.w + b.gap)},
                                              {CancelBtn, size.cx - (b.w + b.gap)}};
  for (const auto& [button, x] : row)
    win::SetWindowPos(button->GetHandle(), nullptr, x, y, b.w, b.h, win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  Invalidate(true);
}

void TAssistentDlg::Paint(win::Dc& dc, bool, win::RECT&) {
  win::RECT client;
  win::GetClientRect(GetHandle(), &client);
  const int y = client.bottom - 2 * WizardButtonSize().h;
  const win::Pen old = dc.SelectPen(win::Pen{win::PS_SOLID, 1, kGray});
  dc.MoveToEx(client.left, y);
  dc.LineTo(client.right, y);
  dc.SelectPen(win::Pen{win::PS_SOLID, 1, win::RGB(255, 255, 255)});
  dc.MoveToEx(client.left, y + 1);
  dc.LineTo(client.right, y + 1);
  dc.SelectPen(old);
}

win::LRESULT TAssistentDlg::EvCtlColor(win::WPARAM dc, win::LPARAM) {
  reinterpret_cast<win::Dc*>(dc)->SetBkColor(FaceBrush.color);
  return reinterpret_cast<win::LRESULT>(&FaceBrush);
}

void TAssistentDlg::CmBack() {
  if (TAssistentWnd* w = Wizard()) w->PrevPage();
}

void TAssistentDlg::CmNext() {
  if (TAssistentWnd* w = Wizard()) w->NextPage();
}

void TAssistentDlg::CmCancel() {
  if (TAssistentWnd* w = Wizard()) w->CmCancel();
}

void TAssistentDlg::CmHelp() {
  win::HELPINFO info;
  info.iCtrlId = Attr.Id;
  info.hItemHandle = GetHandle();
  info.dwContextId = uintptr_t(HelpId) + 10000;
  info.MousePos = {0, 0};
  SendMessage(win::WM_HELP, 0, reinterpret_cast<win::LPARAM>(&info));
}

// --- TAssistentWnd ---

bool TAssistentWnd::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnCommand<TAssistentDlg::kBackId, &TAssistentWnd::PrevPage>(),
                                        fw::OnCommand<TAssistentDlg::kNextId, &TAssistentWnd::NextPage>(),
                                        fw::OnCommand<TAssistentDlg::kCancelId, &TAssistentWnd::CmCancel>()};
  return table.Search(e) || TMultiDlg::Find(e);
}

void TAssistentWnd::SetPagesFlag(bool flag) {
  for (TPageDlg* page : Pages)
    if (auto* p = dynamic_cast<TAssistentDlg*>(page)) p->SetWithHelp(flag);
}

void TAssistentWnd::SetupWindow() {
  TMultiDlg::SetupWindow();
  win::RECT r;
  win::GetWindowRect(GetHandle(), &r);
  const int w = r.right - r.left + TAssistentDlg::kShift;
  const int h = r.bottom - r.top + WizardButtonSize().h + 30;
  win::SetWindowPos(GetHandle(), nullptr, (win::GetSystemMetrics(win::SM_CXSCREEN) - w) / 2,
                    (win::GetSystemMetrics(win::SM_CYSCREEN) - h) / 2, w, h, win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  SetPagesFlag(false);
}

void TAssistentWnd::NextPage() {
  TPageDlg* page = GetClientPage();
  if (!page || !page->CanClose()) return;
  page->TransferData(fw::TTransferDirection::GetData);
  if (auto* p = dynamic_cast<TAssistentDlg*>(page)) p->LeavePage();
  const int next = GetNextPage();
  if (next < 0 || next >= GetPageCount()) {
    if (CanFinish()) Destroy(win::IDOK);
    return;
  }
  History.push_back(CurrentPage);
  SelectPage(next);
}

void TAssistentWnd::PrevPage() {
  if (History.empty()) return;
  TransferData(fw::TTransferDirection::GetData);
  const int back = History.back();
  History.pop_back();
  SelectPage(back);
}

void TAssistentWnd::SelectPage(int index) {
  TMultiDlg::SelectPage(index);
  TPageDlg* page = GetClientPage();
  if (!page) return;
  if (auto* p = dynamic_cast<TAssistentDlg*>(page)) p->DisableBack(CurrentPage == 0);
  TransferData(fw::TTransferDirection::SetData);
  PageSelected(CurrentPage);
  std::string caption = GetCaption().substr(0, kCaptionBound);
  if (const size_t colon = caption.rfind(':'); colon != std::string::npos) caption.resize(colon);
  caption += ": ";
  const std::string title = page->GetCaption();
  caption += !title.empty() ? title
                            : LoadText(kUntitledBefore) + std::to_string(CurrentPage + 1) + LoadText(kUntitledBetween) +
                                  std::to_string(GetPageCount());
  SetCaption(caption.substr(0, kCaptionBound).c_str());
}

void TAssistentWnd::CmCancel() { Destroy(win::IDCANCEL); }

// --- TInsertColumnsDlg ---

TInsertColumnsDlg::TInsertColumnsDlg(fw::TWindow* parent, const platform::ResId& resource,
                                     const platform::ResId& picture)
    : TAssistentDlg(parent, resource, picture, 0),
      SourceList(new fw::TListBox(this, 101)),
      TargetList(new fw::TListBox(this, 102)),
      InsertBtn(new kxctl::TInsertButton(this, 103, 8000)),
      DeleteBtn(new kxctl::TDeleteButton(this, 104, 8001)) {
  kxctl::TListBoxButton* buttons[] = {InsertBtn, DeleteBtn, new kxctl::TInsertAllButton(this, 105, 8004),
                                      new kxctl::TDeleteAllButton(this, 106, 8005)};
  for (kxctl::TListBoxButton* b : buttons) b->TargetList = TargetList, b->SourceList = SourceList;
}

bool TInsertColumnsDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnNotify<101, win::LBN_DBLCLK, &TInsertColumnsDlg::EvSourceDblClk>(),
                                        fw::OnNotify<102, win::LBN_DBLCLK, &TInsertColumnsDlg::EvTargetDblClk>()};
  return table.Search(e) || TAssistentDlg::Find(e);
}

void TInsertColumnsDlg::SetupWindow() {
  TAssistentDlg::SetupWindow();
  SourceList->SetSelIndex(0);
  TargetList->SetSelIndex(0);
}

void TInsertColumnsDlg::EvSourceDblClk() { InsertBtn->BNClicked(); }

void TInsertColumnsDlg::EvTargetDblClk() { DeleteBtn->BNClicked(); }

}  // namespace kxdlg
