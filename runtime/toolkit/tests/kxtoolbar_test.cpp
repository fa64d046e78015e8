// The tool bar from KXTOOLBAR resources, flat buttons with hot tracking,
// tool buttons with auto-repeat on the virtual clock, the status bar's
// layout fields; driven headless under an owner window.
#include "runtime/toolkit/kxtoolbar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/golden.h"
#include "platform/win/input.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "runtime/toolkit/tests/toolkit_ui.h"

namespace {

using kxtoolbar::TKxButtonGadget;
using kxtoolbar::TKxSeparatorGadget;
using kxtoolbar::TKxStatusBar;
using kxtoolbar::TToolbar;
using kxtoolbar::TToolButton;

std::string Golden(const char* name) { return std::string(ZET_TOOLKIT_TESTS_DIR) + "/goldens/" + name + ".png"; }

// A window that records the commands it gets, with the virtual time.
class Target : public fw::TWindow {
 public:
  explicit Target(fw::TWindow* parent, const win::VirtualClock* clock) : fw::TWindow(parent, "Ziel"), clock_(clock) {
    Attr.X = 0, Attr.Y = 60, Attr.W = 300, Attr.H = 200;
  }
  win::LRESULT WindowProc(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override {
    if (msg == win::WM_COMMAND) commands.push_back({int(win::LOWORD(wParam)), clock_->Now()});
    if (msg == win::WM_LBUTTONDOWN && tool) tool->LButtonDown(GetHandle(), win::GET_X_LPARAM(lParam), win::GET_Y_LPARAM(lParam));
    if (msg == win::WM_MOUSEMOVE && tool) tool->MouseMove(win::GET_X_LPARAM(lParam), win::GET_Y_LPARAM(lParam));
    if (msg == win::WM_LBUTTONUP && tool) tool->LButtonUp(GetHandle(), win::GET_X_LPARAM(lParam), win::GET_Y_LPARAM(lParam));
    if (msg == win::WM_TIMER && wParam == TToolButton::kRepeatTimer && tool) tool->RepeatCommand(GetHandle());
    return fw::TWindow::WindowProc(msg, wParam, lParam);
  }
  void Paint(win::Dc& dc, bool, win::RECT&) override {
    if (tool) tool->Paint(dc);
  }
  struct Command {
    int id;
    uint64_t at;
  };
  std::vector<Command> commands;
  TToolButton* tool = nullptr;

 private:
  const win::VirtualClock* clock_;
};

class ToolbarTest : public toolkittest::DialogTest {
 protected:
  TToolbar* MakeBar(const platform::ResId& id) {
    auto* bar = new TToolbar(owner_);
    bar->Attr.W = 300;
    bar->Attr.H = 30;
    EXPECT_TRUE(bar->Create());
    bar->SetResource(id);
    return bar;
  }
  win::POINT Screen(win::HWND hwnd, int x, int y) {
    win::POINT p{x, y};
    win::ClientToScreen(hwnd, &p);
    return p;
  }
  void MoveTo(win::HWND hwnd, int x, int y) {
    win::InjectMouse(Screen(hwnd, x, y), win::MouseButton::kNone, false);
    Settle();
  }
};

TEST_F(ToolbarTest, ResourcesGiveTheirGadgetsWithEqualHeights) {
  struct Case {
    uint32_t id;
    std::vector<int> ids;  // command ids, 0 for a separator
    int height;            // of every gadget
  } cases[] = {
      {22014, {12002, 0, 12013}, 4 + 16},
      {30001, {}, 0},
      {30002, {12002, 0, 12003}, 4 + 20},  // 16- and 20-pixel glyphs; separator word 16
      {39999, {}, 0},                      // no such resource: no gadgets
  };
  TToolbar* bar = MakeBar(22014);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    bar->SetResource(c.id);
    ASSERT_EQ(bar->GadgetCount(), int(c.ids.size()));
    for (int i = 0; i < bar->GadgetCount(); ++i) {
      fw::TGadget* g = bar->GadgetAt(i);
      EXPECT_EQ(g->GetId(), c.ids[size_t(i)]);
      EXPECT_EQ(g->Bounds.bottom - g->Bounds.top, c.height);
      EXPECT_FALSE(g->ShrinkWrapHeight);
      if (c.ids[size_t(i)] == 0) {
        EXPECT_NE(dynamic_cast<TKxSeparatorGadget*>(g), nullptr);
        EXPECT_EQ(g->Bounds.right - g->Bounds.left, 2);
      } else {
        auto* button = dynamic_cast<TKxButtonGadget*>(g);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->IsRepeating(), c.id == 30002 && i == 2);
      }
    }
  }
  EXPECT_EQ(win::GetClassName(bar->GetHandle()), "kxToolbar");
}

TEST_F(ToolbarTest, FlatButtonsAreHotUnderThePointerAndSendOnRelease) {
  auto* target = new Target(owner_, &Clock());
  ASSERT_TRUE(target->Create());
  auto* bar = new TToolbar(target);
  bar->Attr.W = 200, bar->Attr.H = 30;
  ASSERT_TRUE(bar->Create());
  bar->SetResource(22014);
  auto* first = dynamic_cast<TKxButtonGadget*>(bar->GadgetAt(0));
  auto* last = dynamic_cast<TKxButtonGadget*>(bar->GadgetAt(2));
  ASSERT_TRUE(first && last);
  const win::HWND h = bar->GetHandle();
  MoveTo(h, first->Bounds.left + 3, first->Bounds.top + 3);
  EXPECT_TRUE(first->IsHot());
  EXPECT_TRUE(zettest::MatchesGolden(*win::Snapshot(h), Golden("toolbar_hot")));
  MoveTo(h, last->Bounds.left + 3, last->Bounds.top + 3);
  EXPECT_FALSE(first->IsHot());
  EXPECT_TRUE(last->IsHot());
  MoveTo(target->GetHandle(), 150, 150);  // off the bar: it is told the mouse left
  EXPECT_FALSE(last->IsHot());

  Click(h, last->Bounds.left + 3, last->Bounds.top + 3);
  Settle();
  ASSERT_EQ(target->commands.size(), 1u);
  EXPECT_EQ(target->commands[0].id, 12013);
}

class ToolButtonTest : public ToolbarTest {
 protected:
  void SetUp() override {
    ToolbarTest::SetUp();
    target_ = new Target(owner_, &Clock());
    ASSERT_TRUE(target_->Create());
    button_ = std::make_unique<TToolButton>(target_, 10, 10, 4711, platform::ResId(23036));
    target_->tool = button_.get();
  }
  void Press(bool down, int x = 15, int y = 15) {
    win::InjectMouse(Screen(target_->GetHandle(), x, y), win::MouseButton::kLeft, down);
    Settle();
  }
  // Runs the virtual clock ms milliseconds on, a millisecond at a time.
  void Run(int ms) {
    for (int i = 0; i < ms; ++i) {
      Clock().Advance(1);
      Settle();
    }
  }
  std::vector<uint64_t> Times() const {
    std::vector<uint64_t> at;
    for (const auto& c : target_->commands) at.push_back(c.at - start_);
    return at;
  }
  Target* target_ = nullptr;
  std::unique_ptr<TToolButton> button_;
  uint64_t start_ = 0;
};

TEST_F(ToolButtonTest, AutoRepeatFollowsTheClockUntilRelease) {
  button_->SetStyleFlag(TToolButton::kAutoRepeat, true);
  EXPECT_EQ(button_->GetWidth(), 20);
  start_ = Clock().Now();
  Press(true);
  Run(1500);
  // Press, +400, then every 200 ms for repeats 2-6, then every 40 ms.
  std::vector<uint64_t> want{0, 400, 600, 800, 1000, 1200, 1400, 1440, 1480};
  EXPECT_EQ(Times(), want);
  Press(false);
  Run(1000);
  EXPECT_EQ(Times(), want);
  EXPECT_EQ(win::GetCapture(), win::HWND());

  // Released outside the button: the repeats stop all the same.
  target_->commands.clear();
  start_ = Clock().Now();
  Press(true);
  Run(450);
  win::InjectMouse(Screen(target_->GetHandle(), 200, 15), win::MouseButton::kNone, false);
  Press(false, 200);
  Run(1000);
  EXPECT_EQ(Times(), (std::vector<uint64_t>{0, 400}));
}

TEST_F(ToolButtonTest, PlainButtonSendsOnlyOnReleaseInside) {
  struct Case {
    int releaseX;
    size_t commands;
  } cases[] = {{15, 1}, {200, 0}};
  for (const Case& c : cases) {
    target_->commands.clear();
    Press(true);
    Run(1000);
    EXPECT_TRUE(target_->commands.empty());
    EXPECT_TRUE(button_->Pressed);
    win::InjectMouse(Screen(target_->GetHandle(), c.releaseX, 15), win::MouseButton::kNone, false);
    Press(false, c.releaseX);
    Run(500);
    EXPECT_EQ(target_->commands.size(), c.commands) << c.releaseX;
    EXPECT_FALSE(button_->Pressed);
  }
  EXPECT_TRUE(zettest::MatchesGolden(*win::Snapshot(target_->GetHandle()), Golden("toolbutton_up")));
}

TEST_F(ToolbarTest, StatusBarLayoutFieldsAndTexts) {
  auto* bar = new TKxStatusBar(owner_, "Test|Test|");
  bar->Attr.W = 400;
  ASSERT_TRUE(bar->Create());
  EXPECT_EQ(bar->FieldCount(), 0);  // the first layout makes no fields
  const int cell = bar->FontCell().cx;

  bar->SetLayout("99999:999|OVR|");
  ASSERT_EQ(bar->FieldCount(), 2);
  EXPECT_EQ(bar->Field(1)->GetNumChars(), 9);
  EXPECT_EQ(bar->Field(2)->GetNumChars(), 3);
  EXPECT_EQ(bar->Field(1)->GetDesiredSize().cx, 2 + 9 * cell + 4);
  bar->SetText(1, "12:7");
  bar->SetText(2, "x");
  bar->SetText(0, "Bereit");
  bar->SetText(3, "nichts");  // no third field: nothing happens
  fw::TTextGadget* first = bar->Field(1);
  bar->SetLayout("99999:999|OVR|");
  EXPECT_EQ(bar->Field(1), first);
  EXPECT_EQ(bar->Field(1)->GetText(), "12:7");
  EXPECT_EQ(bar->Field(2)->GetText(), "x");
  EXPECT_EQ(bar->MessageGadget()->GetText(), "Bereit");
  EXPECT_TRUE(zettest::MatchesGolden(*win::Snapshot(bar->GetHandle()), Golden("statusbar_fields")));

  struct Case {
    const char* layout;
    std::vector<int> widths;
  } cases[] = {{"||", {0, 0}}, {"OVR|", {3}}, {"Zeile 99", {8}}, {"", {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout);
    bar->SetLayout(c.layout);
    ASSERT_EQ(bar->FieldCount(), int(c.widths.size()));
    for (size_t i = 0; i < c.widths.size(); ++i) EXPECT_EQ(bar->Field(int(i) + 1)->GetNumChars(), c.widths[i]);
    // message text, the fields, then the three mode indicators
    EXPECT_EQ(bar->GadgetCount(), 1 + int(c.widths.size()) + 3);
  }
}

}  // namespace
