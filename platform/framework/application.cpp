// TApplication (see application.h).
#include "platform/framework/application.h"

namespace fw {

namespace {

TApplication* current = nullptr;

}  // namespace

TApplication::TApplication(const char* name) : name_(name ? name : ""), previous_(current) {
  current = this;
  win::SetMessageFilter(&TApplication::ProcessAppMsg);
}

TApplication::~TApplication() {
  mainWindow_.reset();
  current = previous_;
  if (!current) win::SetMessageFilter(nullptr);
}

TApplication* TApplication::Current() { return current; }

void TApplication::SetMainWindow(std::unique_ptr<TWindow> window) { mainWindow_ = std::move(window); }

int TApplication::Run() {
  InitMainWindow();
  if (mainWindow_ && mainWindow_->Create()) mainWindow_->Show(win::SW_SHOW);
  return MessageLoop();
}

int TApplication::MessageLoop() {
  win::LoopScope scope("MessageLoop");
  long idle = 0;
  for (;;) {
    win::MSG msg;
    if (win::PeekMessage(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
      if (msg.message == win::WM_QUIT) return int(msg.wParam);
      win::ProcessMessage(msg);
      idle = 0;
      continue;
    }
    if (IdleAction(idle++)) continue;
    win::WaitForWork();
  }
}

bool TApplication::IdleAction(long) { return false; }

bool TApplication::ProcessAppMsg(win::MSG& msg) {
  for (HWND h = msg.hwnd; h;) {
    if (TWindow* w = TWindow::FromHandle(h); w && w->PreProcessMsg(msg)) return true;
    if (!(win::GetWindowLongPtr(h, win::GWL_STYLE) & win::WS_CHILD)) break;
    h = win::GetParent(h);
  }
  return false;
}

}  // namespace fw
