// TApplication: the program's object: its main window, the message loop
// with idle processing, and the last stop of the command route.
//
// What always holds:
//   1. One application is current at a time (the one constructed last that
//      still lives). Run makes the main window (InitMainWindow), shows it and
//      runs MessageLoop until WM_QUIT, whose code Run answers.
//   2. The loop gives each message to PreProcessMsg from its window up to
//      the top-level window, then translates and dispatches it; every modal
//      loop of the window system does the same (the framework installs the
//      filter).
//   3. When the queue is empty the loop calls IdleAction with a count that
//      starts at 0 after each message; while it answers true the loop keeps
//      calling it, otherwise it blocks in WaitForWork.
//   4. Destroying the main window posts WM_QUIT.
#pragma once

#include <memory>
#include <string>

#include "platform/framework/window.h"

namespace fw {

class TApplication : public TEventHandler {
 public:
  explicit TApplication(const char* name = "");
  ~TApplication() override;

  static TApplication* Current();
  const std::string& GetName() const { return name_; }

  TWindow* GetMainWindow() const { return mainWindow_.get(); }
  void SetMainWindow(std::unique_ptr<TWindow> window);

  int Run();
  int MessageLoop();
  virtual void InitMainWindow() {}
  virtual bool IdleAction(long idleCount);
  // The filter of every loop: PreProcessMsg upward from the message's window.
  static bool ProcessAppMsg(win::MSG& msg);

 private:
  std::string name_;
  std::unique_ptr<TWindow> mainWindow_;
  TApplication* previous_;
};

}  // namespace fw
