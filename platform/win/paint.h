// Painting: update regions, WM_PAINT with BeginPaint/EndPaint, window DCs,
// scrolling, and the compositor that builds the screen.
//
// What always holds:
//   1. Every top-level window owns one ARGB32 surface of its window size; its
//      children draw into the same surface at their offset. A DC of a window
//      maps (0, 0) to the client's top-left corner and clips to the client
//      area within every ancestor's client area; a window with
//      WS_CLIPSIBLINGS (or with such an ancestor) also leaves out what its
//      visible siblings above it cover, so overlapping document windows
//      show their z order whatever order they are painted in.
//   2. A window's update region lies in its client coordinates. Invalidating
//      a window also invalidates the overlapped part of its visible
//      descendants, so a parent repainting its background is followed by its
//      children (parents are painted first, rule 2 of message.h).
//   3. BeginPaint paints the frame when it is pending (WM_NCPAINT), erases
//      when asked (WM_ERASEBKGND), answers a DC clipped to the update
//      region and empties the region; EndPaint releases the DC. A WM_PAINT
//      that reaches DefWindowProc does the same with nothing drawn, so a
//      window never gets WM_PAINT for a region already handled.
//   4. The screen is the desktop colour with the visible top-level surfaces
//      over it, bottom of the z order first; what changed since the last
//      composition goes to the display backend as a dirty rectangle.
#pragma once

#include <memory>

#include "platform/gdi/dc.h"
#include "platform/gdi/raster.h"
#include "platform/gdi/region.h"
#include "platform/win/winuser.h"

namespace win {

using HDC = Dc*;

// rect: client coordinates, null for the whole client area.
bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase);
bool InvalidateRgn(HWND hwnd, const Region* region, bool erase);
bool ValidateRect(HWND hwnd, const RECT* rect);
bool RedrawWindow(HWND hwnd, const RECT* rect, UINT flags);
// Sends WM_PAINT at once to the window and its descendants that need it.
bool UpdateWindow(HWND hwnd);
bool GetUpdateRect(HWND hwnd, RECT* rect, bool erase);
bool GetUpdateRgn(HWND hwnd, Region* region);

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
// A DC of the client area (GetDC) or of the whole window (GetWindowDC).
HDC GetDC(HWND hwnd);
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);

// Moves the pixels of the client area (or rect within clip) by dx, dy;
// with SW_INVALIDATE the uncovered part is invalidated (SW_ERASE erases it),
// with SW_SCROLLCHILDREN the children move along. Answers the kind of the
// uncovered region and stores it and its box when asked.
int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* rect, const RECT* clip, Region* update,
                   RECT* updateBox, UINT flags);

// The default frame: border, 3-D edges and caption (active or inactive) of
// the window's style, drawn on dc in window coordinates.
void DrawDefaultFrame(HWND hwnd, Dc& dc, bool active);

// --- surfaces and screen ---
// The top-level surface a window draws into (null for a dead window).
std::shared_ptr<Bitmap> WindowSurface(HWND hwnd);
// Brings the screen up to date and answers it.
const Bitmap& ComposeScreen();
// The window's pixels after UpdateWindow: its part of the top-level surface.
std::shared_ptr<Bitmap> Snapshot(HWND hwnd);

}  // namespace win
