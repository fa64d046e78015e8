// Scrollers and picture viewers: the scrollers' range, total and bar
// arithmetic, rectangle scrolling, and the viewer and screen viewer driven
// headless with real messages, the clipboard and the scripted provider.
#include "runtime/toolkit/kxviewer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/base/globalmem.h"
#include "platform/clipboard.h"
#include "platform/controls/controls.h"
#include "platform/win/scrollinfo.h"
#include "runtime/toolkit/kxscroll.h"
#include "runtime/toolkit/tests/toolkit_ui.h"

namespace {

using namespace kxobject;

// A graphic of w x h pixels: a red field with a blue frame and a green
// diagonal, so golden pictures show where it was cut and placed.
std::unique_ptr<TKxGraphic> Picture(int w, int h) {
  auto bits = win::Bitmap::Create(w, h, 32);
  bits->Fill(win::ToPixel(win::RGB(200, 40, 40)));
  for (int x = 0; x < w; ++x) bits->Set(x, 0, win::ToPixel(win::RGB(0, 0, 255))), bits->Set(x, h - 1, win::ToPixel(win::RGB(0, 0, 255)));
  for (int y = 0; y < h; ++y) bits->Set(0, y, win::ToPixel(win::RGB(0, 0, 255))), bits->Set(w - 1, y, win::ToPixel(win::RGB(0, 0, 255)));
  for (int i = 0; i < std::min(w, h); ++i) bits->Set(i, i, win::ToPixel(win::RGB(0, 160, 0)));
  return std::make_unique<TKxDibGraphic>(std::make_unique<TKxDib>(*bits), 1);
}

win::SCROLLINFO Bar(win::HWND h, int bar) {
  win::SCROLLINFO info;
  info.fMask = win::SIF_ALL;
  win::GetScrollInfo(h, bar, &info);
  return info;
}

class Scrollers : public toolkittest::DialogTest {};

TEST_F(Scrollers, TotalsFollowRangeAndPageAndBarsAreCut) {
  TKxScroller s(owner_, 1, 1, 0, 0);
  s.XPage = 10, s.YPage = 5;
  s.SetRange(100, 50);
  EXPECT_EQ(s.XTotalUnits, 111);
  EXPECT_EQ(s.YTotalUnits, 56);
  s.SetRange(0, 0);
  s.SetTotalRangeOfUnits(111, 56);
  EXPECT_EQ(s.XRange, 100);
  EXPECT_EQ(s.YRange, 50);

  const win::SCROLLINFO h = Bar(owner_->GetHandle(), win::SB_HORZ);
  EXPECT_EQ(h.nMax, 111);
  EXPECT_EQ(h.nPage, 12u);  // total - range + 1: the thumb runs 0 .. range
  s.ScrollTo(1000, 0);
  EXPECT_EQ(s.XPos, 100);
  EXPECT_EQ(Bar(owner_->GetHandle(), win::SB_HORZ).nPos, 100);

  s.SetTotalRangeOfUnits(40000, 56);
  EXPECT_EQ(Bar(owner_->GetHandle(), win::SB_HORZ).nMax, 32767);
}

TEST_F(Scrollers, PagesComeFromTheClientAndKeepTheTotal) {
  TKxScroller s(owner_, 10, 20, 0, 0);
  s.SetTotalRangeOfUnits(500, 300);
  s.SetPageSize();
  win::RECT c;
  win::GetClientRect(owner_->GetHandle(), &c);
  EXPECT_EQ(s.XPage, std::max(1L, long(c.right + 1) / 10 - 1));
  EXPECT_EQ(s.YPage, std::max(1L, long(c.bottom + 1) / 20 - 1));
  EXPECT_EQ(s.XRange, 500 - s.XPage - 1);
  EXPECT_EQ(s.YRange, 300 - s.YPage - 1);
}

// A window painting its rows as they scroll: a stripe per scrolled unit, so
// moved pixels and repainted ones can be told apart.
class Rows : public fw::TWindow {
 public:
  explicit Rows(fw::TWindow* parent) : fw::TWindow(parent) { Attr.X = 0, Attr.Y = 0, Attr.W = 200, Attr.H = 200; }
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table{fw::OnWm<win::WM_PAINT, &Rows::EvPaint>()};
    return table.Search(e) || fw::TWindow::Find(e);
  }
  void Paint(win::Dc&, bool, win::RECT& rect) override { painted.push_back(rect); }
  std::vector<win::RECT> painted;
};

TEST_F(Scrollers, RectScrollerMovesOnlyItsRectangleUnlessAPageOrMore) {
  auto* rows = new Rows(owner_);
  ASSERT_TRUE(rows->Create());
  TRectScroller s(rows, 1, 10, 0, 100);
  s.AutoOrg = false;
  s.ScrollRect = {0, 20, 200, 200};
  s.SetRange(0, 100);
  s.YPage = 5;
  const struct {
    long to;
    win::RECT painted;  // what had to be painted after the move
  } cases[] = {
      {2, {0, 180, 200, 200}},  // two rows down: the strip uncovered at the bottom of ScrollRect
      {1, {0, 20, 200, 30}},    // one row up: the strip at its top; the header above stays still
      {9, {0, 0, 200, 200}},    // a page or more: the whole window
  };
  win::UpdateWindow(rows->GetHandle());
  for (const auto& c : cases) {
    rows->painted.clear();
    s.ScrollTo(0, c.to);
    EXPECT_EQ(s.YPos, c.to);
    ASSERT_EQ(rows->painted.size(), 1u) << c.to;
    EXPECT_EQ(rows->painted[0].top, c.painted.top) << c.to;
    EXPECT_EQ(rows->painted[0].bottom, c.painted.bottom) << c.to;
  }
}

class Viewers : public toolkittest::DialogTest {
 protected:
  TPictureViewer* Viewer(int w, int h) {
    auto* v = new TPictureViewer(owner_);
    v->Attr.X = 0, v->Attr.Y = 0, v->Attr.W = w, v->Attr.H = h;
    EXPECT_TRUE(v->Create());
    return v;
  }
};

TEST_F(Viewers, RangeAndStepFollowPictureAndClient) {
  const struct {
    int cw, ch;
    uint16_t mode;
    long xRange, xPage, yRange;
  } cases[] = {
      {400, 300, 0, 600, 60, 0},
      {40, 300, 0, 960, 20, 0},
      {400, 300, 1, 0, 1, 0},
      {400, 20, 0, 600, 60, 30},
  };
  for (const auto& c : cases) {
    TPictureViewer* v = Viewer(c.cw, c.ch);
    v->SetDisplayMode(c.mode);
    v->SetPicture(Picture(1000, 50));
    EXPECT_EQ(v->Scroller.XRange, c.xRange) << c.cw;
    EXPECT_EQ(v->Scroller.YRange, c.yRange) << c.cw;
    if (c.xRange) EXPECT_EQ(v->Scroller.XPage, c.xPage) << c.cw;
    delete v;
  }
}

TEST_F(Viewers, ClipboardMessagesChangeThePictureAndMarkItModified) {
  TPictureViewer* v = Viewer(200, 100);
  v->SetPicture(Picture(30, 20));
  EXPECT_EQ(v->SendMessage(win::WM_CUT), 1);
  EXPECT_EQ(v->Graphic, nullptr);
  EXPECT_EQ(v->Modified, 1);
  v->Modified = 0;
  EXPECT_EQ(v->SendMessage(win::WM_PASTE), 1);
  ASSERT_NE(v->Graphic, nullptr);
  EXPECT_EQ(v->Graphic->GetWidth(), 30);
  EXPECT_EQ(v->Modified, 1);
  v->Modified = 0;
  v->SendMessage(win::WM_CLEAR);
  EXPECT_EQ(v->Graphic, nullptr);
  EXPECT_EQ(v->Modified, 1);
}

TEST_F(Viewers, TextOnlyClipboardShowsTheBoxAndKeepsEverything) {
  TPictureViewer* v = Viewer(200, 100);
  v->SetPicture(Picture(30, 20));
  ASSERT_TRUE(win::OpenClipboard(owner_->GetHandle().id));
  win::EmptyClipboard();
  const win::HGLOBAL text = win::GlobalAlloc(0, 4);
  std::memcpy(win::GlobalLock(text), "abc", 4);
  win::GlobalUnlock(text);
  win::SetClipboardData(win::CF_TEXT, text);
  win::CloseClipboard();
  Answers().MessageBox(win::IDOK);
  v->SendMessage(win::WM_PASTE);
  EXPECT_EQ(Answers().LastMessageBox().text, "Die Zwischenablage enth\xE4lt keine Daten in einem bekannten Format.");
  EXPECT_EQ(Answers().LastMessageBox().caption, "Zwischenablage");
  EXPECT_EQ(Answers().LastMessageBox().type & 0xF0, win::MB_ICONEXCLAMATION);
  EXPECT_EQ(v->Modified, 0);
  ASSERT_NE(v->Graphic, nullptr);
  EXPECT_EQ(v->Graphic->GetWidth(), 30);
}

TEST_F(Viewers, ReadOnlyRefusesChangesButCopies) {
  TPictureViewer* v = Viewer(200, 100);
  v->SetPicture(Picture(30, 20));
  v->Copy();
  v->SetReadOnly(true);
  for (win::UINT m : {win::WM_CUT, win::WM_PASTE, win::WM_CLEAR}) {
    v->SendMessage(m);
    EXPECT_NE(v->Graphic, nullptr) << m;
    EXPECT_EQ(v->Modified, 0) << m;
  }
  const struct {
    int id;
    bool readOnly, enabled;
  } enabling[] = {
      {kCmEditCut, true, false},   {kCmEditCopy, true, true},    {kCmEditPaste, true, false},
      {kCmEditDelete, true, false}, {kCmEditCut, false, true},   {kCmEditPaste, false, true},
  };
  for (const auto& c : enabling) {
    v->SetReadOnly(c.readOnly);
    fw::TCommandEnabler ce(c.id);
    v->RouteCommandEnable(ce);
    EXPECT_EQ(ce.Enabled(), c.enabled) << c.id << " read-only " << c.readOnly;
  }
}

TEST_F(Viewers, ContextMenuSendsTheChosenCommand) {
  TPictureViewer* v = Viewer(200, 100);
  v->SetPicture(Picture(30, 20));
  Answers().PopupMenu("Delete");
  Click(v->GetHandle(), 10, 10, win::MouseButton::kRight);
  Settle();
  EXPECT_EQ(v->Graphic, nullptr);
  EXPECT_EQ(v->Modified, 1);
}

TEST_F(Viewers, DisplayModeDialogSetsTheMode) {
  TPictureViewer* v = Viewer(200, 100);
  v->SetPicture(Picture(1000, 50));
  EXPECT_GT(v->Scroller.XRange, 0);
  Then([&] {
    EXPECT_TRUE(MatchesWindowGolden(Modal(), ZET_TOOLKIT_TESTS_DIR, "viewer_mode_10800"));
    win::SendMessage(win::GetDlgItem(Modal(), 202), win::BM_SETCHECK, 1);
    win::SendMessage(win::GetDlgItem(Modal(), 200), win::BM_SETCHECK, 0);
    Key(win::VK_RETURN);
  });
  v->SendMessage(win::WM_COMMAND, kCmDisplayMode);
  EXPECT_EQ(v->DisplayMode, 2);
  EXPECT_EQ(v->Scroller.XRange, 0);
}

TEST_F(Viewers, PicturesMatchTheirGoldens) {
  TPictureViewer* v = Viewer(120, 80);
  v->SetPicture(Picture(200, 60));
  EXPECT_TRUE(MatchesWindowGolden(v->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "viewer_natural"));
  v->SetDisplayMode(1);
  EXPECT_TRUE(MatchesWindowGolden(v->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "viewer_fit"));
  v->SetDisplayMode(0);
  v->SendMessage(win::WM_HSCROLL, win::SB_PAGEDOWN);
  EXPECT_EQ(v->Scroller.XPos, 8);
  EXPECT_TRUE(MatchesWindowGolden(v->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "viewer_scrolled"));
}

TEST_F(Viewers, ScreenViewerCentresClosesAndNeverOutlivesThePicture) {
  TPictureViewer* v = Viewer(120, 80);
  v->SetPicture(Picture(200, 60));
  v->ShowFullScreen();
  TScreenViewer* s = v->GetScreenViewer();
  ASSERT_NE(s, nullptr);
  win::RECT r;
  win::GetWindowRect(s->GetHandle(), &r);
  EXPECT_EQ(r.right - r.left, win::GetSystemMetrics(win::SM_CXSCREEN));
  EXPECT_TRUE(MatchesWindowGolden(s->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "screen_viewer"));
  const win::HWND h = s->GetHandle();
  Click(h, 5, 5);
  Settle();
  EXPECT_FALSE(win::IsWindow(h));

  v->ShowFullScreen();
  const win::HWND again = v->GetScreenViewer()->GetHandle();
  v->SetPicture(Picture(10, 10));  // the shown graphic goes: the screen viewer closes first
  EXPECT_FALSE(win::IsWindow(again));
  EXPECT_EQ(v->GetScreenViewer(), nullptr);
}

}  // namespace
