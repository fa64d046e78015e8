// The progress bar and the progress call-backs, driven headless.
#include "runtime/toolkit/kxprogress.h"

#include <gtest/gtest.h>

#include "platform/testing/ui.h"

namespace {

using namespace kxprogress;
using namespace win;

// A dialog-like host whose window holds a static control 201 before the
// framework sets it up, as a dialog resource would.
class Host : public fw::TWindow {
 public:
  Host() : TWindow(nullptr, "Fortschritt") {
    Attr.Style = WS_POPUP | WS_VISIBLE;
    Attr.X = 10, Attr.Y = 10, Attr.W = 140, Attr.H = 40;
  }
  bool Find(fw::TEventInfo& e) override {
    if (e.msg == WM_CREATE) CreateWindowEx(0, "QmkWindow", "", WS_CHILD | WS_VISIBLE, 10, 10, 120, 20, GetHandle(), 201);
    return TWindow::Find(e);
  }
};

class kxprogress_ui : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    host = std::make_unique<Host>();
    bar = new TProgressBar(host.get(), 201, 0, RGB(0, 0, 255));
    ASSERT_TRUE(host->Create());
    Settle();
    SetProgressCancelled(0);
  }
  void TearDown() override {
    SetActiveProgressDlg(nullptr);
    SetSecondaryProgressBar(nullptr);
    host.reset();
    UiTest::TearDown();
  }
  std::unique_ptr<Host> host;
  TProgressBar* bar = nullptr;
};

TEST_F(kxprogress_ui, CallBacksSetTheRoundedPercentage) {
  SetActiveProgressDlg(bar);
  struct Case {
    int32_t current, total;
    int16_t percent;
  };
  const Case cases[] = {{1, 3, 33}, {2, 3, 67}, {5, 0, 100}, {300, 100, 100}, {0, 100, 0},
                        {-5, 100, -5}, {INT32_MAX, 1, 100}, {INT32_MIN, 1, -32768}};
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressCallback(c.current, c.total), 0);
    EXPECT_EQ(bar->GetPercent(), c.percent) << c.current << "/" << c.total;
  }
  SetProgressCancelled(1);
  EXPECT_EQ(ProgressCallback(1, 2), 1);
  EXPECT_EQ(NullProgressCallback(1, 2), 0);
  EXPECT_EQ(SilentProgressCallback(1, 2), 0);
}

TEST_F(kxprogress_ui, WithoutABarTheQueueIsLeftAlone) {
  PostMessage(host->GetHandle(), WM_USER);
  EXPECT_EQ(ProgressCallback(1, 2), -1);
  EXPECT_EQ(SecondaryProgressCallback(1, 2), -1);
  MSG msg;
  EXPECT_TRUE(PeekMessage(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE));
  // A bar that dies leaves the channel.
  SetActiveProgressDlg(bar);
  host.reset();
  EXPECT_EQ(ProgressCallback(1, 2), -1);
}

TEST_F(kxprogress_ui, ThePrimaryCallBackDropsTimerMessagesTheSecondaryKeepsThem) {
  auto& spy = Spy(host->GetHandle());
  struct Case {
    int32_t (*callback)(int32_t, int32_t);
    bool secondary;
    std::vector<UINT> seen;
  };
  const Case cases[] = {{ProgressCallback, false, {WM_USER}}, {SecondaryProgressCallback, true, {WM_TIMER, WM_USER}}};
  for (const Case& c : cases) {
    (c.secondary ? SetSecondaryProgressBar : SetActiveProgressDlg)(bar);
    spy.Clear();
    PostMessage(host->GetHandle(), WM_TIMER, 9);
    PostMessage(host->GetHandle(), WM_USER);
    c.callback(1, 2);
    EXPECT_EQ(spy.Messages({WM_TIMER, WM_USER}), c.seen);
  }
}

TEST_F(kxprogress_ui, TheBarRepaintsOnlyOnChangeAndMatchesItsGoldens) {
  auto& spy = Spy(bar->GetHandle());
  const int values[] = {42, 42, 0, 0, 100};
  for (int v : values) bar->SetPercent(v);
  EXPECT_EQ(spy.Messages({WM_PAINT}).size(), 3u);
  for (int v : {0, 42, 100}) {
    bar->SetPercent(v);
    EXPECT_TRUE(MatchesWindowGolden(bar->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "progress_" + std::to_string(v)));
  }
}

}  // namespace
