// TScroller: scrolling a window's contents in units, with the window's own
// scroll bars showing where the view stands.
//
// What always holds:
//   1. Positions run from 0 to the range in each direction (XPos in
//      0 .. XRange, YPos in 0 .. YRange); a range is never negative. One
//      unit is XUnit (YUnit) pixels.
//   2. A page is what the client shows, in whole units, at least 1; a
//      page request scrolls by XPage (YPage) units.
//   3. The total extent is kept beside the range (XTotalUnits,
//      YTotalUnits); the base scroller shows the range on the bars, a
//      derived one may show the total instead (SetSBarRange).
//   4. A bar is written only when its flag (HasHScrollBar, HasVScrollBar)
//      is set and the window exists; bar ranges are cut to 32767 units.
//   5. ScrollTo moves the pixels already drawn (ScrollWindowEx) and
//      leaves only the uncovered part to paint; with AutoOrg, BeginView
//      offsets a paint DC so that the window draws in content co-ordinates.
//   6. The scroller does not own its window; the window owns the scroller
//      and tells it of size changes and scroll requests.
#pragma once

#include "platform/win/paint.h"
#include "platform/win/winuser.h"

namespace fw {

class TWindow;

class TScroller {
 public:
  TScroller(TWindow* window, int xUnit, int yUnit, long xRange, long yRange);
  virtual ~TScroller() = default;
  TScroller(const TScroller&) = delete;
  TScroller& operator=(const TScroller&) = delete;

  void SetWindow(TWindow* window) { Window = window; }
  void SetUnits(int xUnit, int yUnit);
  virtual void SetRange(long xRange, long yRange);
  virtual void SetTotalRangeOfUnits(long xTotal, long yTotal);
  // Recomputes the pages from the client size (rule 2).
  virtual void SetPageSize();
  // Shows the range (or what a derived scroller chooses) on the bars.
  virtual void SetSBarRange();
  virtual void ScrollTo(long x, long y);
  void ScrollBy(long dx, long dy) { ScrollTo(XPos + dx, YPos + dy); }
  // WM_HSCROLL / WM_VSCROLL of the window: a request code and the thumb.
  void HScroll(win::UINT code, int thumb);
  void VScroll(win::UINT code, int thumb);
  // After a size change: pages, bars and the position within the range.
  void SizeChanged();
  // Offsets a paint DC by the position when AutoOrg is set.
  void BeginView(win::Dc& dc) const;

  TWindow* Window;
  long XPos = 0, YPos = 0;
  long XRange, YRange;
  long XTotalUnits, YTotalUnits;
  int XUnit, YUnit;
  long XPage = 1, YPage = 1;
  long XLine = 1, YLine = 1;
  bool AutoMode = true, TrackMode = true, AutoOrg = true;
  bool HasHScrollBar = true, HasVScrollBar = true;

 protected:
  // The window's handle when it exists, else null.
  win::HWND Handle() const;
  // Writes a bar's range and page when they differ from what it shows.
  void ShowOnBar(int bar, long max, long page);
  // The new position of a request on one direction.
  static long Request(win::UINT code, int thumb, long pos, long line, long page, long range);
};

}  // namespace fw
