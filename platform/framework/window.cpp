// TWindow (see window.h).
#include "platform/framework/window.h"

#include <algorithm>

#include "platform/framework/application.h"
#include "platform/framework/dialog.h"
#include "platform/framework/frame.h"

namespace fw {

namespace {

TWindow* creating = nullptr;

}  // namespace

TWindow::TWindow(TWindow* parent, const char* title) : parent_(parent), title_(title ? title : "") {
  if (!parent) Attr.Style = win::WS_OVERLAPPEDWINDOW;
  if (parent) parent->children_.push_back(this);
}

TWindow::TWindow(TWindow* parent, int resourceId) : TWindow(parent, nullptr) {
  resourceId_ = resourceId;
  Attr.Id = resourceId;
}

TWindow::~TWindow() {
  if (handle_) {
    const HWND h = handle_;
    Unbind();
    win::DestroyWindow(h);
  }
  for (TWindow* child : std::vector<TWindow*>(children_)) delete child;
  if (parent_) std::erase(parent_->children_, this);
}

TWindow* TWindow::FromHandle(HWND hwnd) { return static_cast<TWindow*>(win::GetWindowObject(hwnd)); }

TApplication* TWindow::GetApplication() const { return TApplication::Current(); }

void TWindow::GetWindowClass(win::WNDCLASS& wc) {
  wc.style = win::CS_DBLCLKS;
  wc.lpfnWndProc = win::DefWindowProc;
  wc.background = win::GetSysColor(win::COLOR_WINDOW);
}

void TWindow::BindNewWindow(HWND hwnd) {
  if (!creating) return;
  TWindow* w = creating;
  creating = nullptr;
  w->Bind(hwnd);
}

void TWindow::Bind(HWND hwnd) {
  handle_ = hwnd;
  win::SetWindowObject(hwnd, this);
  oldProc_ = reinterpret_cast<win::WNDPROC>(
      win::SetWindowLongPtr(hwnd, win::GWLP_WNDPROC, reinterpret_cast<intptr_t>(&TWindow::StdWndProc)));
}

void TWindow::Unbind() {
  if (!handle_) return;
  if (win::IsWindow(handle_)) {
    win::SetWindowLongPtr(handle_, win::GWLP_WNDPROC, reinterpret_cast<intptr_t>(oldProc_));
    win::SetWindowObject(handle_, nullptr);
  }
  handle_ = nullptr;
  setupDone_ = false;
}

bool TWindow::Create() {
  if (handle_) return true;
  const HWND parent = parent_ ? parent_->handle_ : HWND();
  win::SetCreateHook(&TWindow::BindNewWindow);
  creating = this;
  const HWND h = DoCreate(parent, modal_);
  creating = nullptr;
  return h && handle_ == h;
}

void TWindow::RegisterWindowClass() {
  const char* className = GetClassName();
  if (win::GetClassInfo(className, nullptr)) return;
  win::WNDCLASS wc;
  GetWindowClass(wc);
  wc.lpszClassName = className;
  win::RegisterClass(wc);
}

HWND TWindow::DoCreate(HWND parent, bool hidden) {
  RegisterWindowClass();
  const char* className = GetClassName();
  const win::DWORD style = hidden ? Attr.Style & ~win::WS_VISIBLE : Attr.Style;
  return win::CreateWindowEx(Attr.ExStyle, className, title_, style, Attr.X, Attr.Y, Attr.W, Attr.H, parent,
                             win::UINT_PTR(Attr.Id), this);
}

void TWindow::RunSetup() {
  if (setupDone_) return;
  setupDone_ = true;
  SetupWindow();
}

LRESULT TWindow::StdWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWindow* w = FromHandle(hwnd);
  if (!w) return win::DefWindowProc(hwnd, msg, wParam, lParam);
  Current current{msg, wParam, lParam};
  Current* saved = w->current_;
  w->current_ = &current;
  const LRESULT r = w->WindowProc(msg, wParam, lParam);
  w->current_ = saved;
  if (msg == win::WM_NCDESTROY) w->Unbind();
  return r;
}

LRESULT TWindow::DefaultProcessing() {
  if (!current_ || !handle_) return 0;
  return win::CallWindowProc(oldProc_ ? oldProc_ : win::DefWindowProc, handle_, current_->msg, current_->wParam,
                             current_->lParam);
}

bool TWindow::Find(TEventInfo&) { return false; }

LRESULT TWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  TEventInfo e;
  e.msg = msg, e.wParam = wParam, e.lParam = lParam;
  if (msg == win::WM_COMMAND) {
    EvCommand(e);
    return e.result;
  }
  if (Dispatch(e)) return e.result;
  switch (msg) {
    case win::WM_CREATE: {
      const LRESULT r = DefaultProcessing();
      if (r != -1) RunSetup();
      return r;
    }
    case win::WM_DESTROY:
      CleanupWindow();
      EvDestroy();
      return DefaultProcessing();
    case win::WM_CLOSE: EvClose(); return 0;
    case win::WM_INITMENUPOPUP:
      EnableMenuItems(*this, win::HMENU(uint32_t(wParam)));
      return 0;
    case win::WM_MEASUREITEM:
      if (auto* item = reinterpret_cast<win::MEASUREITEMSTRUCT*>(lParam);
          auto* c = dynamic_cast<TControl*>(FromHandle(win::GetDlgItem(handle_, int(item->CtlID))))) {
        c->MeasureItem(*item);
        return 1;
      }
      break;
    case win::WM_DRAWITEM:
      if (auto* item = reinterpret_cast<win::DRAWITEMSTRUCT*>(lParam);
          auto* c = dynamic_cast<TControl*>(FromHandle(item->hwndItem))) {
        c->DrawItem(*item);
        return 1;
      }
      break;
    case win::WM_PAINT:
      if (resourceId_) return DefaultProcessing();  // an alias keeps its control's painting
      EvPaint();
      return 0;
  }
  return DefaultProcessing();
}

bool TWindow::PreProcessMsg(win::MSG&) { return false; }

bool TWindow::ModalPreProcess(HWND, win::MSG& msg) {
  return !TApplication::Current() && TApplication::ProcessAppMsg(msg);
}

void TWindow::CreateChildren() {
  for (TWindow* child : children_) {
    if (child->handle_) continue;
    if (child->resourceId_) {
      const HWND h = win::GetDlgItem(handle_, child->resourceId_);
      if (!h) continue;
      child->Bind(h);
      child->setupDone_ = true;
      child->SetupWindow();
    } else if (autoCreate_) {
      child->Create();
    }
  }
}

void TWindow::SetupWindow() {
  CreateChildren();
  TransferData(TTransferDirection::SetData);
}

void TWindow::CleanupWindow() {}

void TWindow::Paint(win::Dc&, bool, win::RECT&) {}

void TWindow::EvPaint() {
  win::PAINTSTRUCT ps;
  if (win::Dc* dc = win::BeginPaint(handle_, &ps)) Paint(*dc, ps.fErase, ps.rcPaint);
  win::EndPaint(handle_, &ps);
}

void TWindow::EvClose() { CloseWindow(); }

void TWindow::EvDestroy() {
  if (TApplication* app = GetApplication(); app && app->GetMainWindow() == this) win::PostQuitMessage(0);
}

bool TWindow::CanClose() {
  return std::all_of(children_.begin(), children_.end(),
                     [](TWindow* c) { return !c->handle_ || c->CanClose(); });
}

void TWindow::CloseWindow(int retVal) {
  if (CanClose()) Destroy(retVal);
}

void TWindow::Destroy(int retVal) {
  if (!handle_) return;
  if (modal_) win::EndModal(retVal, handle_);
  else win::DestroyWindow(handle_);
}

int TWindow::Execute() {
  modal_ = true;
  if (!handle_ && !Create()) {
    modal_ = false;
    return -1;
  }
  const HWND self = handle_;
  const HWND owner = win::GetOwner(self);
  const bool ownerWasEnabled = owner && win::IsWindowEnabled(owner);
  if (ownerWasEnabled) win::EnableWindow(owner, false);
  win::ShowWindow(self, win::SW_SHOW);
  const int result = win::RunModal(self, &TWindow::ModalPreProcess);
  if (ownerWasEnabled) {
    win::EnableWindow(owner, true);
    win::SetActiveWindow(owner);
  }
  modal_ = false;
  if (win::IsWindow(self)) win::DestroyWindow(self);
  return result;
}

void TWindow::SetCaption(const char* title) {
  title_ = title ? title : "";
  if (handle_) win::SetWindowText(handle_, title_);
}

TEventHandler* TWindow::GetCommandTarget() {
  for (HWND h = win::GetFocus(); h; h = win::GetParent(h)) {
    TWindow* w = FromHandle(h);
    if (w && (w == this || win::IsChild(handle_, h))) return w;
    if (!w && !win::IsChild(handle_, h)) break;
  }
  return this;
}

std::vector<TEventHandler*> TWindow::CommandRoute() {
  std::vector<TEventHandler*> route;
  for (TWindow* w = static_cast<TWindow*>(GetCommandTarget()); w; w = w->parent_) route.push_back(w);
  if (TApplication* app = GetApplication()) route.push_back(app);
  return route;
}

bool TWindow::RouteCommand(int id) {
  TEventInfo e;
  e.msg = win::WM_COMMAND;
  e.id = id;
  for (TEventHandler* h : CommandRoute())
    if (h->Dispatch(e)) return true;
  return false;
}

void TWindow::RouteCommandEnable(TCommandEnabler& enabler) {
  TEventInfo ask;
  ask.msg = kCommandEnableMsg;
  ask.id = enabler.GetId();
  ask.enabler = &enabler;
  TEventInfo probe;
  probe.msg = win::WM_COMMAND;
  probe.id = enabler.GetId();
  probe.probe = true;
  bool handled = false;
  for (TEventHandler* h : CommandRoute()) {
    if (h->Dispatch(ask)) return;
    handled = handled || h->Dispatch(probe);
  }
  enabler.Enable(handled);
}

void TWindow::EvCommand(TEventInfo& e) {
  e.id = int(win::LOWORD(e.wParam));
  e.code = win::HIWORD(e.wParam);
  const HWND control(uint32_t(e.lParam));
  if (control) {
    // A notification: the control's own table first, then the parent's.
    if (TWindow* c = FromHandle(control); c && c != this && c->Dispatch(e)) return;
    if (Dispatch(e)) return;
  } else if (RouteCommand(e.id)) {
    return;
  }
  e.result = DefaultProcessing();
}

void TWindow::SetTransferBuffer(void* buffer, size_t size) {
  transferBuffer_ = buffer;
  transferSize_ = size;
}

bool TWindow::TransferData(TTransferDirection direction) {
  if (!transferBuffer_) return true;
  size_t needed = 0;
  for (TWindow* c : children_)
    if (c->transfer_ && c->handle_) needed += c->Transfer(nullptr, TTransferDirection::SizeData);
  if (needed > transferSize_) return false;
  auto* at = static_cast<uint8_t*>(transferBuffer_);
  for (TWindow* c : children_)
    if (c->transfer_ && c->handle_) at += c->Transfer(at, direction);
  return true;
}

size_t TWindow::Transfer(void*, TTransferDirection) { return 0; }

}  // namespace fw
