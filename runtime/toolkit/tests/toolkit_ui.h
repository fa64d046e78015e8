// The fixture of the toolkit's dialog tests: the application object and a
// visible top-level owner window, made afresh for every test and dropped
// after it, so no test sees another's windows.
//
// What always holds:
//   1. The owner records the help contexts that reach it (WM_HELP), in order.
//   2. Modal() names the innermost window whose modal loop runs, or none.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/testing/ui.h"
#include "runtime/toolkit/kxapp.h"

namespace toolkittest {

class Owner : public fw::TWindow {
 public:
  Owner() : fw::TWindow(nullptr, "Hauptfenster") {
    Attr.X = 10, Attr.Y = 10, Attr.W = 600, Attr.H = 400;
    Attr.Style = win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE;
  }
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnWm<win::WM_HELP, &Owner::EvHelp>()};
    return table.Search(e) || fw::TWindow::Find(e);
  }
  win::LRESULT EvHelp(win::WPARAM, win::LPARAM l) {
    contexts.push_back(reinterpret_cast<win::HELPINFO*>(l)->dwContextId);
    return 1;
  }
  std::vector<uintptr_t> contexts;
};

class DialogTest : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    app_ = std::make_unique<kxapp::TKxApplication>("QMK Runtime Kernel");
    owner_ = new Owner;
    ASSERT_TRUE(owner_->Create());
  }
  void TearDown() override {
    delete owner_;
    app_.reset();
    UiTest::TearDown();
  }
  win::HWND Modal() { return win::ModalWindows().empty() ? win::HWND() : win::ModalWindows().back(); }

  std::unique_ptr<kxapp::TKxApplication> app_;
  Owner* owner_ = nullptr;
};

}  // namespace toolkittest
