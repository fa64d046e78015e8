// The framework over the headless window system: response tables and the
// Find slot, setup and cleanup order, closing, command routing and
// enabling, notifications, transfer buffers, modal runs and the
// application's loop.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/framework/application.h"
#include "platform/framework/window.h"
#include "platform/testing/ui.h"

namespace {

using namespace win;
using fw::TWindow;

std::vector<std::string> journal;

class Base : public TWindow {
 public:
  using TWindow::TWindow;
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnWm<WM_TIMER, &Base::EvTimer>(),
                                          fw::OnWm<WM_USER + 1, &Base::EvUser>()};
    return table.Search(e) || TWindow::Find(e);
  }
  void EvTimer(UINT id) { journal.push_back("base timer " + std::to_string(id)); }
  LRESULT EvUser(WPARAM w, LPARAM) { return LRESULT(w * 2); }
};

class Derived : public Base {
 public:
  using Base::Base;
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnWm<WM_USER + 1, &Derived::EvUser>(),
                                          fw::OnWm<WM_SIZE, &Derived::EvSize>(),
                                          fw::OnWm<WM_LBUTTONDOWN, &Derived::EvLButtonDown>()};
    return table.Search(e) || Base::Find(e);
  }
  LRESULT EvUser(WPARAM w, LPARAM) { return LRESULT(w * 3); }
  void EvSize(UINT, SIZE s) { size = s; }
  void EvLButtonDown(UINT, POINT p) { click = p; }
  SIZE size;
  POINT click{-1, -1};
};

// A control that journals its life, may refuse closing, and transfers
// `bytes` bytes of `value`.
class Part : public TWindow {
 public:
  Part(TWindow* parent, const char* name, int id, size_t bytes = 0) : TWindow(parent, name), name_(name), bytes_(bytes) {
    Attr.Id = id;
    Attr.W = 20, Attr.H = 10;
    if (bytes) EnableTransfer();
  }
  void SetupWindow() override {
    journal.push_back("setup " + name_);
    TWindow::SetupWindow();
  }
  void CleanupWindow() override { journal.push_back("cleanup " + name_); }
  bool CanClose() override { return allowClose && TWindow::CanClose(); }
  size_t Transfer(void* data, fw::TTransferDirection d) override {
    if (data && d == fw::TTransferDirection::SetData) std::memcpy(value.data(), data, bytes_);
    if (data && d == fw::TTransferDirection::GetData) std::memcpy(data, value.data(), bytes_);
    return bytes_;
  }
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnCommand<300, &Part::CmOwn>(),
                                          fw::OnNotify<21, 5, &Part::NotifySelf>()};
    return table.Search(e) || TWindow::Find(e);
  }
  void CmOwn() { journal.push_back("own command " + name_); }
  void NotifySelf() { journal.push_back("self notify " + name_); }
  bool allowClose = true;
  std::vector<uint8_t> value = std::vector<uint8_t>(8, 0);

 private:
  std::string name_;
  size_t bytes_;
};

class Frame : public TWindow {
 public:
  explicit Frame(const char* title = "Rahmen") : TWindow(nullptr, title) {
    Attr.X = 10, Attr.Y = 10, Attr.W = 300, Attr.H = 200;
  }
  void SetupWindow() override {
    journal.push_back("setup frame");
    TWindow::SetupWindow();
  }
  void CleanupWindow() override { journal.push_back("cleanup frame"); }
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnCommand<300, &Frame::CmShared>(),
                                          fw::OnCommand<301, &Frame::CmFrame>(),
                                          fw::OnCommandEnable<302, &Frame::CeOff>(),
                                          fw::OnCommand<302, &Frame::CmFrame>(),
                                          fw::OnNotify<21, 5, &Frame::NotifyParent>(),
                                          fw::OnNotify<21, 6, &Frame::NotifyParent>()};
    return table.Search(e) || TWindow::Find(e);
  }
  void CmShared() { journal.push_back("frame 300"); }
  void CmFrame() { journal.push_back("frame command"); }
  void CeOff(fw::TCommandEnabler& ce) { ce.Enable(false); }
  void NotifyParent() { journal.push_back("parent notify"); }
};

class App : public fw::TApplication {
 public:
  App() : TApplication("Test") {}
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnCommand<303, &App::CmApp>()};
    return table.Search(e);
  }
  void CmApp() { journal.push_back("app command"); }
  bool IdleAction(long count) override {
    idles.push_back(count);
    return count < 2;
  }
  std::vector<long> idles;
};

class framework : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    journal.clear();
  }
};

TEST_F(framework, TablesAnswerInTheirOwnFindThenTheBaseThenDefaultProcessing) {
  Derived w(nullptr, "Titel");
  w.Attr.W = 120, w.Attr.H = 80;
  ASSERT_TRUE(w.Create());
  const HWND h = w.GetHandle();
  struct Case {
    UINT msg;
    WPARAM wParam;
    LRESULT result;
  };
  const Case cases[] = {{WM_USER + 1, 5, 15}, {WM_USER + 2, 5, 0}, {WM_GETTEXTLENGTH, 0, 5}};
  for (const Case& c : cases) EXPECT_EQ(SendMessage(h, c.msg, c.wParam), c.result) << c.msg;
  SendMessage(h, WM_TIMER, 9);
  EXPECT_EQ(journal, std::vector<std::string>{"base timer 9"});
  RECT client;
  GetClientRect(h, &client);
  EXPECT_EQ(w.size, (SIZE{client.right, client.bottom}));
  w.Show(SW_SHOW);
  Click(h, 7, 8);
  EXPECT_EQ(w.click, (POINT{7, 8}));
}

TEST_F(framework, SetupCreatesChildrenInOrderAndCleanupRunsFirst) {
  auto* frame = new Frame();
  new Part(frame, "a", 11);
  auto* b = new Part(frame, "b", 12);
  new Part(b, "b1", 13);
  ASSERT_TRUE(frame->Create());
  EXPECT_EQ(journal, (std::vector<std::string>{"setup frame", "setup a", "setup b", "setup b1"}));
  EXPECT_EQ(GetDlgItem(frame->GetHandle(), 12), b->GetHandle());
  journal.clear();
  delete frame;  // the frame's object leaves first; its children's objects still clean up
  EXPECT_EQ(journal, (std::vector<std::string>{"cleanup b", "cleanup b1", "cleanup a"}));
  journal.clear();
  Frame other;
  new Part(&other, "c", 11);
  other.Create();
  journal.clear();
  DestroyWindow(other.GetHandle());
  EXPECT_EQ(journal, (std::vector<std::string>{"cleanup frame", "cleanup c"}));
  EXPECT_FALSE(other.GetHandle());
}

TEST_F(framework, CanCloseIsTheAndOverTheChildren) {
  Frame frame;
  auto* a = new Part(&frame, "a", 11);
  frame.Create();
  const HWND h = frame.GetHandle();
  a->allowClose = false;
  SendMessage(h, WM_CLOSE);
  EXPECT_TRUE(IsWindow(h));
  a->allowClose = true;
  SendMessage(h, WM_CLOSE);
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(framework, CommandsTravelFromTheFocusUpToTheApplication) {
  App app;
  Frame frame;
  auto* a = new Part(&frame, "a", 11);
  frame.Create();
  frame.Show(SW_SHOW);
  SetFocus(a->GetHandle());
  struct Case {
    int id;
    const char* handledBy;
  };
  const Case cases[] = {{300, "own command a"}, {301, "frame command"}, {303, "app command"}, {304, nullptr}};
  for (const Case& c : cases) {
    journal.clear();
    SendMessage(frame.GetHandle(), WM_COMMAND, MAKEWPARAM(uint16_t(c.id), 0), 0);
    EXPECT_EQ(journal, c.handledBy ? std::vector<std::string>{c.handledBy} : std::vector<std::string>{}) << c.id;
  }
  SetFocus(frame.GetHandle());
  journal.clear();
  EXPECT_TRUE(frame.RouteCommand(300));
  EXPECT_EQ(journal, std::vector<std::string>{"frame 300"});
}

TEST_F(framework, EnablersFollowTheRouteAndUnhandledCommandsAreDisabled) {
  App app;
  Frame frame;
  frame.Create();
  journal.clear();
  struct Case {
    int id;
    bool enabled;
  };
  const Case cases[] = {{301, true}, {302, false}, {303, true}, {304, false}};
  for (const Case& c : cases) {
    fw::TCommandEnabler ce(c.id);
    frame.RouteCommandEnable(ce);
    EXPECT_EQ(ce.Enabled(), c.enabled) << c.id;
  }
  EXPECT_TRUE(journal.empty());  // asking runs no command
}

TEST_F(framework, NotificationsGoToTheControlThenItsParent) {
  Frame frame;
  auto* a = new Part(&frame, "a", 21);
  frame.Create();
  for (UINT code : {5u, 6u, 7u})
    SendMessage(frame.GetHandle(), WM_COMMAND, MAKEWPARAM(21, uint16_t(code)), LPARAM(a->GetHandle().id));
  EXPECT_EQ(journal, (std::vector<std::string>{"setup frame", "setup a", "self notify a", "parent notify"}));
}

TEST_F(framework, TransferFillsConsecutiveBytesAndRefusesASmallBuffer) {
  Frame frame;
  auto* a = new Part(&frame, "a", 11, 2);
  new Part(&frame, "none", 12);
  auto* b = new Part(&frame, "b", 13, 4);
#pragma pack(push, 1)
  struct Buffer {
    uint16_t a;
    uint32_t b;
  } buffer{0x0201, 0x06050403};
#pragma pack(pop)
  static_assert(sizeof(Buffer) == 6);
  frame.SetTransferBuffer(&buffer, sizeof buffer);
  frame.Create();  // SetupWindow transfers into the controls
  EXPECT_EQ(a->value, (std::vector<uint8_t>{1, 2, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(b->value, (std::vector<uint8_t>{3, 4, 5, 6, 0, 0, 0, 0}));
  a->value[0] = 0x11;
  b->value[3] = 0x66;
  ASSERT_TRUE(frame.TransferData(fw::TTransferDirection::GetData));
  EXPECT_EQ(uint16_t(buffer.a), 0x0211);
  EXPECT_EQ(uint32_t(buffer.b), 0x66050403u);
  frame.SetTransferBuffer(&buffer, 5);
  a->value[0] = 0x22;
  EXPECT_FALSE(frame.TransferData(fw::TTransferDirection::GetData));
  EXPECT_EQ(uint16_t(buffer.a), 0x0211);
}

TEST_F(framework, ExecuteDisablesTheOwnerAndAnswersTheCloseValue) {
  Frame owner;
  owner.Create();
  owner.Show(SW_SHOW);
  TWindow dialog(&owner, "Frage");
  dialog.Attr.Style = WS_POPUP | WS_CAPTION;
  dialog.Attr.W = 100, dialog.Attr.H = 60;
  bool ownerDisabledMeanwhile = false;
  Then([&] {
    ownerDisabledMeanwhile = !IsWindowEnabled(owner.GetHandle());
    dialog.CloseWindow(5);
  }, "close with 5");
  EXPECT_EQ(dialog.Execute(), 5);
  EXPECT_TRUE(ownerDisabledMeanwhile);
  EXPECT_TRUE(IsWindowEnabled(owner.GetHandle()));
  EXPECT_FALSE(dialog.GetHandle());
  EXPECT_EQ(GetActiveWindow(), owner.GetHandle());
}

TEST_F(framework, TheApplicationLoopIdlesAndEndsWithTheMainWindow) {
  App app;
  app.SetMainWindow(std::make_unique<Frame>());
  Then([&] { DestroyWindow(app.GetMainWindow()->GetHandle()); }, "close the main window");
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.idles, (std::vector<long>{0, 1, 2}));
}

TEST_F(framework, AnAliasBindsToItsControlWhenTheParentIsSetUp) {
  class Host : public Frame {
   public:
    bool Find(fw::TEventInfo& e) override {
      // The control exists before the framework sets the window up.
      if (e.msg == WM_CREATE)
        CreateWindowEx(0, "QmkWindow", "Steuerung", WS_CHILD | WS_VISIBLE, 5, 5, 40, 20, GetHandle(), 201);
      return Frame::Find(e);
    }
  };
  class Alias : public TWindow {
   public:
    Alias(TWindow* parent, int id) : TWindow(parent, id) {}
    void SetupWindow() override { journal.push_back("alias setup " + GetCaption()); }
    bool Find(fw::TEventInfo& e) override {
      static const fw::TResponseTable table{fw::OnCommand<300, &Alias::CmOwn>()};
      return table.Search(e) || TWindow::Find(e);
    }
    void CmOwn() { journal.push_back("alias command"); }
  };
  Host host;
  auto* alias = new Alias(&host, 201);
  ASSERT_TRUE(host.Create());
  const HWND control = GetDlgItem(host.GetHandle(), 201);
  EXPECT_EQ(alias->GetHandle(), control);
  SendMessage(control, WM_COMMAND, MAKEWPARAM(300, 0), 0);
  EXPECT_EQ(journal, (std::vector<std::string>{"setup frame", "alias setup Steuerung", "alias command"}));
  DestroyWindow(host.GetHandle());
  EXPECT_FALSE(alias->GetHandle());
}

TEST_F(framework, ScriptedAnswersAnswerInOrderAndRefuseStrangers) {
  Answers().MessageBox(IDNO).IfText("speichern").MessageBox(IDYES);
  EXPECT_EQ(MessageBox(nullptr, "\xc4nderungen speichern?", "Frage", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBox(nullptr, "Weiter?", "Frage", MB_YESNO), IDYES);
  EXPECT_NONFATAL_FAILURE(EXPECT_EQ(MessageBox(nullptr, "Noch eine?", "Frage", MB_OK), 0), "unanswered");
  Answers().MessageBox(IDOK).IfText("Datei");
  EXPECT_NONFATAL_FAILURE(MessageBox(nullptr, "Anderes", "Frage", MB_OK), "does not hold");
  Answers().MessageBox(IDOK);
  EXPECT_NONFATAL_FAILURE(Answers().ExpectAllUsed(), "never used");
  EXPECT_EQ(Answers().Log().size(), 4u);
}

TEST_F(framework, ScriptedPrintQuestionsChooseCancelAndRefuseStrangers) {
  Answers()
      .PrintDialog([](dialogs::PrintDialogRequest& r) { r.device = "Testdrucker", r.fromPage = 2, r.toPage = 3; })
      .IfText("setup")
      .PrintDialog({});
  dialogs::PrintDialogRequest setup;
  setup.flags = PD_PRINTSETUP;
  EXPECT_TRUE(dialogs::AskPrintDialog(setup));
  EXPECT_EQ(setup.device, "Testdrucker");
  EXPECT_EQ(setup.toPage, 3);
  dialogs::PrintDialogRequest print;
  EXPECT_FALSE(dialogs::AskPrintDialog(print));
  EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(dialogs::AskPrintDialog(print)), "unanswered");
  EXPECT_EQ(Answers().Log(), (std::vector<std::string>{"print: setup", "print: print", "print: print"}));
}

}  // namespace
