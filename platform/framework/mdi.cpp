// The framework's frame, client and document window objects (see mdi.h).
#include "platform/framework/mdi.h"

namespace fw {

namespace {

// The frame's client window: its child of the client class.
HWND ClientOf(HWND frame) {
  for (HWND h : win::GetChildren(frame))
    if (win::GetClassName(h) == win::kMdiClientClass) return h;
  return HWND();
}

LRESULT FrameDefProc(HWND hwnd, UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  return win::DefFrameProc(hwnd, ClientOf(hwnd), msg, wParam, lParam);
}

}  // namespace

TMDIClient::TMDIClient(TWindow* frame, win::HMENU windowMenu) : TWindow(frame), windowMenu_(windowMenu) {
  Attr.Style = win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN;
}

HWND TMDIClient::DoCreate(HWND parent, bool) {
  win::RegisterMdiClientClass();
  win::RECT r{};
  win::GetClientRect(parent, &r);
  win::CLIENTCREATESTRUCT ccs;
  ccs.hWindowMenu = windowMenu_;
  return win::CreateWindowEx(Attr.ExStyle, win::kMdiClientClass, "", Attr.Style, 0, 0, r.right, r.bottom, parent,
                             win::UINT_PTR(Attr.Id), &ccs);
}

TMDIChild* TMDIClient::GetActiveMDIChild() const {
  const HWND active{uint32_t(win::SendMessage(GetHandle(), win::WM_MDIGETACTIVE, 0, 0))};
  return dynamic_cast<TMDIChild*>(FromHandle(active));
}

std::vector<TMDIChild*> TMDIClient::GetMDIChildren() const {
  std::vector<TMDIChild*> list;
  for (TWindow* child : Children())
    if (auto* mdi = dynamic_cast<TMDIChild*>(child); mdi && mdi->GetHandle()) list.push_back(mdi);
  return list;
}

HWND TMDIClient::CreateChild(TMDIChild* child) { return child && child->Create() ? child->GetHandle() : HWND(); }

TMDIChild::TMDIChild(TMDIClient* parent, const char* title) : TWindow(parent, title) {
  Attr.Style = 0;
  Attr.X = Attr.Y = Attr.W = Attr.H = win::CW_USEDEFAULT;
}

void TMDIChild::GetWindowClass(win::WNDCLASS& wc) {
  TWindow::GetWindowClass(wc);
  wc.lpfnWndProc = win::DefMDIChildProc;
}

HWND TMDIChild::DoCreate(HWND parent, bool) {
  RegisterWindowClass();
  const std::string title = GetCaption();
  win::MDICREATESTRUCT mcs;
  mcs.szClass = GetClassName();
  mcs.szTitle = title.c_str();
  mcs.x = Attr.X, mcs.y = Attr.Y, mcs.cx = Attr.W, mcs.cy = Attr.H;
  mcs.style = Attr.Style;
  return HWND{uint32_t(win::SendMessage(parent, win::WM_MDICREATE, 0, reinterpret_cast<win::LPARAM>(&mcs)))};
}

TMDIFrame::TMDIFrame(const char* title) : TWindow(nullptr, title) {
  Attr.Style = win::WS_OVERLAPPEDWINDOW | win::WS_CLIPCHILDREN;
}

TMDIClient* TMDIFrame::GetClientWindow() const {
  for (TWindow* child : Children())
    if (auto* client = dynamic_cast<TMDIClient*>(child)) return client;
  return nullptr;
}

void TMDIFrame::GetWindowClass(win::WNDCLASS& wc) {
  TWindow::GetWindowClass(wc);
  wc.lpfnWndProc = FrameDefProc;
}

bool TMDIFrame::PreProcessMsg(win::MSG& msg) {
  const TMDIClient* client = GetClientWindow();
  return (client && win::TranslateMDISysAccel(client->GetHandle(), msg)) || TWindow::PreProcessMsg(msg);
}

}  // namespace fw
