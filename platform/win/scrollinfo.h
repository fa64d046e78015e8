// Scroll information of a window's own scroll bars (SB_HORZ, SB_VERT): the
// range, page and position a scroller keeps there.
//
// What always holds:
//   1. Each window carries one record per bar, all zero when it is made;
//      only a live window's record is read or written.
//   2. After every write the position lies in min .. max - page + 1 (at
//      least min), and the page in 0 .. max - min + 1, as a real bar
//      keeps them; a write names by its mask (SIF_*) the fields it sets.
//   3. A write with redraw asks for the window's frame to be painted
//      again (the bars belong to the non-client area).
#pragma once

#include "platform/win/winuser.h"

namespace win {

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;

constexpr UINT SIF_RANGE = 0x0001;
constexpr UINT SIF_PAGE = 0x0002;
constexpr UINT SIF_POS = 0x0004;
constexpr UINT SIF_TRACKPOS = 0x0010;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

// Scroll request codes of WM_HSCROLL and WM_VSCROLL (low word of wParam).
constexpr UINT SB_LINEUP = 0;
constexpr UINT SB_LINEDOWN = 1;
constexpr UINT SB_PAGEUP = 2;
constexpr UINT SB_PAGEDOWN = 3;
constexpr UINT SB_THUMBPOSITION = 4;
constexpr UINT SB_THUMBTRACK = 5;
constexpr UINT SB_TOP = 6;
constexpr UINT SB_BOTTOM = 7;
constexpr UINT SB_ENDSCROLL = 8;

struct SCROLLINFO {
  UINT cbSize = sizeof(SCROLLINFO);
  UINT fMask = 0;
  int nMin = 0;
  int nMax = 0;
  UINT nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};

// Fill the fields the mask names; false for a dead window or another bar.
bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info);
// Answers the new position (rule 2); 0 for a dead window or another bar.
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& info, bool redraw);
int GetScrollPos(HWND hwnd, int bar);
// Answers the former position.
int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw);

}  // namespace win
