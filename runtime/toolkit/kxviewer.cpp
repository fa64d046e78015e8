// Picture viewers: see kxviewer.h.
#include "runtime/toolkit/kxviewer.h"

#include <algorithm>

#include "platform/controls/controls.h"
#include "platform/dialogs/provider.h"
#include "platform/framework/dialog.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxdialogs.h"

namespace kxobject {
namespace {

constexpr uint32_t kNoKnownFormat = 50801, kClipboardCaption = 50802;
constexpr int kFirstModeButton = 200;

// The "Anzeige" dialog: one radio button per display mode.
class TDisplayModeDlg : public kxdlg::TCenteredDlg {
 public:
  TDisplayModeDlg(fw::TWindow* parent, uint16_t mode) : TCenteredDlg(parent, kCmDisplayMode, nullptr, kCmDisplayMode) {
    for (int i = 0; i < 3; ++i) new fw::TRadioButton(this, kFirstModeButton + i);
    if (mode < 3) buffer_.Mode[mode] = 1;
    SetTransferBuffer(&buffer_, sizeof buffer_);
  }
  // The mode chosen with OK, or -1.
  int Ask() {
    if (kxapp::ExecuteDialog(this, 0) != win::IDOK) return -1;
    for (int i = 0; i < 3; ++i)
      if (buffer_.Mode[i] == 1) return i;
    return -1;
  }

 private:
#pragma pack(push, 1)
  struct {
    uint16_t Mode[3] = {0, 0, 0};
  } buffer_;
#pragma pack(pop)
  static_assert(sizeof buffer_ == 6);
};

// The rectangle a graphic is drawn into in natural size: the client, grown
// to the graphic where the client is smaller; centred where it is larger.
TRect NaturalRect(const win::RECT& client, TKxGraphic& g, bool centre) {
  TRect r{client.left, client.top, client.right, client.bottom};
  const int w = g.GetWidth(), h = g.GetHeight();
  const int cw = client.right - client.left, ch = client.bottom - client.top;
  if (centre && cw > w) r.left += (cw - w) / 2;
  if (cw < w) r.right = r.left + w;
  if (centre && ch > h) r.top += (ch - h) / 2;
  if (ch < h) r.bottom = r.top + h;
  return r;
}

// Range and page steps of a scroller for a graphic in natural size.
void FitScroller(fw::TScroller& s, fw::TWindow& w, TKxGraphic* g, bool natural) {
  if (!g || !natural || g->GetWidth() < 1 || g->GetHeight() < 1) {
    s.SetRange(0, 0);
    return;
  }
  win::RECT c;
  win::GetClientRect(w.GetHandle(), &c);
  const TViewerScroll x = ViewerScroll(g->GetWidth(), c.right), y = ViewerScroll(g->GetHeight(), c.bottom);
  s.SetRange(x.Range, y.Range);
  s.SetPageSize();
  s.XPage = x.Page, s.YPage = y.Page;
}

}  // namespace

TViewerScroll ViewerScroll(int picture, int client) {
  TViewerScroll s;
  s.Range = std::max(0, picture - client);
  s.Page = s.Range / 10;
  if (client < s.Page) s.Page = client / 2;
  return s;
}

// --- the screen viewer ---

TScreenViewer::TScreenViewer(fw::TWindow* parent, TKxGraphic* graphic)
    : fw::TWindow(parent), Scroller(this, 1, 1, 0, 0), Graphic(graphic) {
  Attr.Style = win::WS_POPUP | win::WS_VISIBLE | win::WS_BORDER | win::WS_VSCROLL | win::WS_HSCROLL | win::WS_SYSMENU;
  Attr.X = 0, Attr.Y = 0;
  Attr.W = win::GetSystemMetrics(win::SM_CXSCREEN);
  Attr.H = win::GetSystemMetrics(win::SM_CYSCREEN);
}

bool TScreenViewer::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{
      fw::OnWm<win::WM_PAINT, &TScreenViewer::EvPaint>(),
      fw::OnWm<win::WM_SIZE, &TScreenViewer::EvSize>(),
      fw::OnWm<win::WM_LBUTTONDOWN, &TScreenViewer::EvLButtonDown>(),
      fw::OnWm<win::WM_KEYDOWN, &TScreenViewer::EvKeyDown>(),
      fw::OnWm<win::WM_HSCROLL, &TScreenViewer::EvHScroll>(),
      fw::OnWm<win::WM_VSCROLL, &TScreenViewer::EvVScroll>()};
  return table.Search(e) || fw::TWindow::Find(e);
}

void TScreenViewer::SetGraphic(TKxGraphic* graphic) {
  Graphic = graphic;
  UpdateScroller();
}

void TScreenViewer::UpdateScroller() { FitScroller(Scroller, *this, Graphic, true); }

void TScreenViewer::SetupWindow() {
  fw::TWindow::SetupWindow();
  UpdateScroller();
}

void TScreenViewer::EvSize(win::UINT, win::SIZE) {
  DefaultProcessing();
  UpdateScroller();
}

void TScreenViewer::EvLButtonDown(win::UINT, win::POINT) { CloseWindow(0); }
void TScreenViewer::EvKeyDown(win::UINT, win::UINT, win::UINT) { CloseWindow(0); }
void TScreenViewer::EvHScroll(win::UINT code, int thumb, win::HWND) { Scroller.HScroll(code, thumb); }
void TScreenViewer::EvVScroll(win::UINT code, int thumb, win::HWND) { Scroller.VScroll(code, thumb); }

void TScreenViewer::Paint(win::Dc& dc, bool, win::RECT&) {
  if (!Graphic) return;
  win::RECT client;
  win::GetClientRect(GetHandle(), &client);
  Scroller.BeginView(dc);
  Graphic->Draw(dc, dc, NaturalRect(client, *Graphic, true), 0);
}

// --- the picture viewer ---

TPictureViewer::TPictureViewer(fw::TWindow* parent, const char* title)
    : fw::TWindow(parent, title), Scroller(this, 1, 1, 0, 0) {
  Attr.Style |= win::WS_HSCROLL | win::WS_VSCROLL;
}

TPictureViewer::~TPictureViewer() { CloseScreenViewer(); }

void TPictureViewer::GetWindowClass(win::WNDCLASS& wc) {
  fw::TWindow::GetWindowClass(wc);
  wc.style |= win::CS_DBLCLKS;
}

bool TPictureViewer::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{
      fw::OnWm<win::WM_PAINT, &TPictureViewer::EvPaint>(),
      fw::OnWm<win::WM_RBUTTONDOWN, &TPictureViewer::EvRButtonDown>(),
      fw::OnWm<win::WM_SIZE, &TPictureViewer::EvSize>(),
      fw::OnWm<win::WM_HSCROLL, &TPictureViewer::EvHScroll>(),
      fw::OnWm<win::WM_VSCROLL, &TPictureViewer::EvVScroll>(),
      fw::OnWm<win::WM_CUT, &TPictureViewer::EvCut>(),
      fw::OnWm<win::WM_COPY, &TPictureViewer::EvCopy>(),
      fw::OnWm<win::WM_PASTE, &TPictureViewer::EvPaste>(),
      fw::OnWm<win::WM_CLEAR, &TPictureViewer::EvClear>(),
      fw::OnCommand<kCmDisplayMode, &TPictureViewer::CmDisplayMode>(),
      fw::OnCommand<kCmEditDelete, &TPictureViewer::Delete>(),
      fw::OnCommandEnable<kCmEditDelete, &TPictureViewer::CeChange>(),
      fw::OnCommand<kCmEditCopy, &TPictureViewer::Copy>(),
      fw::OnCommandEnable<kCmEditCopy, &TPictureViewer::CeCopy>(),
      fw::OnCommand<kCmEditCut, &TPictureViewer::Cut>(),
      fw::OnCommandEnable<kCmEditCut, &TPictureViewer::CeChange>(),
      fw::OnCommand<kCmEditPaste, &TPictureViewer::Paste>(),
      fw::OnCommandEnable<kCmEditPaste, &TPictureViewer::CePaste>()};
  return table.Search(e) || fw::TWindow::Find(e);
}

void TPictureViewer::CloseScreenViewer() {
  delete screen_;
  screen_ = nullptr;
}

void TPictureViewer::SetPicture(std::unique_ptr<TKxGraphic> graphic) {
  CloseScreenViewer();
  Graphic = std::move(graphic);
  if (GetHandle()) Invalidate();
  UpdateScroller();
}

std::unique_ptr<TKxGraphic> TPictureViewer::ReleasePicture() {
  CloseScreenViewer();
  return std::move(Graphic);
}

void TPictureViewer::SetDisplayMode(uint16_t mode) {
  if (GetHandle() && mode != DisplayMode) Invalidate();
  DisplayMode = mode;
}

void TPictureViewer::UpdateScroller() { FitScroller(Scroller, *this, Graphic.get(), DisplayMode == 0); }

void TPictureViewer::ShowFullScreen() {
  if (!Graphic) return;
  CloseScreenViewer();
  screen_ = new TScreenViewer(this, Graphic.get());
  screen_->Create();
}

void TPictureViewer::Copy() {
  if (Graphic) Graphic->CopyToClipboard();
}

void TPictureViewer::Cut() {
  if (ReadOnly) return;
  Copy();
  SetPicture(nullptr);
  Modified = 1;
}

void TPictureViewer::Delete() {
  if (ReadOnly) return;
  SetPicture(nullptr);
  Modified = 1;
}

void TPictureViewer::Paste() {
  if (ReadOnly) return;
  auto graphic = GetGraphicFromClipboard(GetHandle().id);
  if (!graphic) {
    kxapp::AppMessageBox(GetHandle(), kNoKnownFormat, kClipboardCaption, win::MB_ICONEXCLAMATION, 0);
    return;
  }
  SetPicture(std::move(graphic));
  Modified = 1;
}

win::HMENU TPictureViewer::CreatePopupMenu() {
  const win::HMENU menu = win::CreatePopupMenu();
  win::AppendMenuA(menu, win::MF_STRING, kCmEditCut, "Cut");
  win::AppendMenuA(menu, win::MF_STRING, kCmEditCopy, "Copy");
  win::AppendMenuA(menu, win::MF_STRING, kCmEditPaste, "Paste");
  win::AppendMenuA(menu, win::MF_STRING, kCmEditDelete, "Delete");
  return menu;
}

void TPictureViewer::EvRButtonDown(win::UINT, win::POINT p) {
  const win::HMENU menu = CreatePopupMenu();
  win::ClientToScreen(GetHandle(), &p);
  win::TrackPopupMenu(menu, win::TPM_RIGHTBUTTON, p.x, p.y, GetHandle());
  win::DestroyMenu(menu);
}

void TPictureViewer::EvSize(win::UINT, win::SIZE) {
  DefaultProcessing();
  UpdateScroller();
  if (DisplayMode != 0) Invalidate();
}

void TPictureViewer::EvHScroll(win::UINT code, int thumb, win::HWND) { Scroller.HScroll(code, thumb); }
void TPictureViewer::EvVScroll(win::UINT code, int thumb, win::HWND) { Scroller.VScroll(code, thumb); }

win::LRESULT TPictureViewer::EvCut(win::WPARAM, win::LPARAM) { return Cut(), 1; }
win::LRESULT TPictureViewer::EvCopy(win::WPARAM, win::LPARAM) { return Copy(), 1; }
win::LRESULT TPictureViewer::EvPaste(win::WPARAM, win::LPARAM) { return Paste(), 1; }
win::LRESULT TPictureViewer::EvClear(win::WPARAM, win::LPARAM) { return Delete(), 1; }

void TPictureViewer::CeChange(fw::TCommandEnabler& ce) { ce.Enable(Graphic && !ReadOnly); }
void TPictureViewer::CeCopy(fw::TCommandEnabler& ce) { ce.Enable(Graphic != nullptr); }
void TPictureViewer::CePaste(fw::TCommandEnabler& ce) { ce.Enable(!ReadOnly); }

void TPictureViewer::CmDisplayMode() {
  TDisplayModeDlg dialog(this, DisplayMode);
  const int mode = dialog.Ask();
  if (mode < 0) return;
  DisplayMode = uint16_t(mode);
  Invalidate();
  UpdateScroller();
}

void TPictureViewer::Paint(win::Dc& dc, bool, win::RECT&) {
  win::RECT client;
  win::GetClientRect(GetHandle(), &client);
  if (!Graphic) return;
  const TRect r = DisplayMode == 0 && Graphic->GetStatus() >= 0
                      ? NaturalRect(client, *Graphic, false)
                      : TRect{client.left, client.top, client.right, client.bottom};
  Scroller.BeginView(dc);
  Graphic->Draw(dc, dc, r, DisplayMode);
}

}  // namespace kxobject
