// Scroll information on windows: writes by mask, and the page and position
// kept within what the range allows.
#include "platform/win/scrollinfo.h"

#include <gtest/gtest.h>

#include "platform/testing/ui.h"
#include "platform/win/window.h"

namespace {

using namespace win;

class scrollinfo : public zettest::UiTest {};

TEST_F(scrollinfo, WritesAreKeptWithinTheRange) {
  WNDCLASS wc;
  wc.lpfnWndProc = DefWindowProc;
  wc.lpszClassName = "ScrollInfoTest";
  if (!GetClassInfo(wc.lpszClassName, nullptr)) ASSERT_TRUE(RegisterClass(wc));
  const HWND h = CreateWindowEx(0, "ScrollInfoTest", "", WS_OVERLAPPED | WS_VSCROLL, 0, 0, 100, 100, HWND(), 0);
  ASSERT_TRUE(IsWindow(h));
  const struct {
    UINT mask;
    int min, max;
    UINT page;
    int pos;
    int wantMax, wantPos;
    UINT wantPage;
  } cases[] = {
      {SIF_RANGE | SIF_PAGE, 0, 111, 12, 0, 111, 0, 12},
      {SIF_POS, 0, 0, 0, 500, 111, 100, 12},      // the thumb stops at max - page + 1
      {SIF_PAGE, 0, 0, 500, 0, 111, 0, 112},      // a page beyond the range is cut to it
      {SIF_RANGE, 10, 5, 0, 0, 10, 10, 1},        // max below min: an empty range at min
      {SIF_POS, 0, 0, 0, -4, 10, 10, 1},
  };
  for (const auto& c : cases) {
    SCROLLINFO in;
    in.fMask = c.mask, in.nMin = c.min, in.nMax = c.max, in.nPage = c.page, in.nPos = c.pos;
    SetScrollInfo(h, SB_VERT, in, false);
    SCROLLINFO out;
    out.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(h, SB_VERT, &out));
    EXPECT_EQ(out.nMax, c.wantMax) << c.mask;
    EXPECT_EQ(out.nPos, c.wantPos) << c.mask;
    EXPECT_EQ(out.nPage, c.wantPage) << c.mask;
  }
  EXPECT_EQ(GetScrollPos(h, SB_HORZ), 0);
  SCROLLINFO none;
  EXPECT_FALSE(GetScrollInfo(h, 2, &none));
  DestroyWindow(h);
  EXPECT_FALSE(GetScrollInfo(h, SB_VERT, &none));
}

}  // namespace
