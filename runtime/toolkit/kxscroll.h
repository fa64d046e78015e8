// The toolkit's scrollers on the framework's TScroller.
//
// TKxScroller keeps the total extent and the range of each direction bound
// together and shows proportional thumbs:
//   1. total units = range + page + 1 in each direction, whichever of the
//      two was set last (SetRange sets the total, SetTotalRangeOfUnits the
//      range); a page change keeps the total and moves the range.
//   2. A bar shows 0 .. total (cut to 32767) with a page of
//      total - range + 1, so its thumb runs from 0 to the range; a bar is
//      written only when one of those three values changes.
//
// TRectScroller scrolls one rectangle of its window (ScrollRect) and leaves
// the rest standing:
//   3. A move of less than a page (without AutoOrg) moves the pixels of
//      ScrollRect only and repaints the strip uncovered there; a move of a
//      page or more repaints the whole window instead of scrolling.
//   4. Positions stay within 0 .. range; the stored position is the one
//      scrolled to, and the window is updated at once.
#pragma once

#include "platform/framework/scroller.h"
#include "runtime/toolkit/kxobject.h"

namespace kxobject {

class TKxScroller : public fw::TScroller {
 public:
  TKxScroller(fw::TWindow* window, int xUnit, int yUnit, long xRange, long yRange);

  void SetPageSize() override;
  void SetSBarRange() override;
  void SetRange(long xRange, long yRange) override;
  void SetTotalRangeOfUnits(long xTotal, long yTotal) override;
};

class TRectScroller : public fw::TScroller {
 public:
  using fw::TScroller::TScroller;

  void ScrollTo(long x, long y) override;

  win::RECT ScrollRect;
};

}  // namespace kxobject
