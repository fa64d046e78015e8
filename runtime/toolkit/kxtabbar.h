// The tab bar: a strip of trapezoid tabs drawn by the toolkit, with a small
// scroll bar that shifts the tabs by whole tabs when they do not fit.
//
// What always holds:
//   1. The labels are the comma-separated fields of the window title, each
//      cut at 40 characters; an empty title has no tabs.
//   2. Tabs are laid out from x = 10, starting with FirstTab, each as wide as
//      its label plus 10, from y = 5 to the client bottom minus 5. A tab
//      before FirstTab is neither drawn nor hit.
//   3. The bar never changes Selection itself: a click on a tab is sent (not
//      posted) to the parent as WM_COMMAND (the bar's id, the tab's index)
//      with the bar's handle, and the parent answers with SetSelection.
//   4. FirstTab changes only by the scroll bar (child id 100), one tab a
//      step, never below 0 nor beyond the last tab. The scroll bar is shown
//      only when the tabs do not fit (or the bar is scrolled), decided on
//      WM_SIZE and WM_SETFONT.
//   5. SetTabColor takes effect on the next paint; it repaints nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/framework/window.h"

namespace kxctl {

class TTabBar : public fw::TWindow {
 public:
  static constexpr int kScrollBarId = 100;
  static constexpr int kLabelBound = 40;

  TTabBar(fw::TWindow* parent, int id, const char* labels, int x, int y, int w, int h);

  void SetSelection(int index);
  int GetSelection() const { return Selection; }
  int GetFirstTab() const { return FirstTab; }
  void SetTabColor(win::COLORREF color) { TabColor = color; }
  win::SIZE GetTabMargin() const { return {5, 5}; }
  // Whether tab index is shown, and its rectangle (the client rectangle
  // when it is not).
  bool GetTabRect(int index, win::RECT& rect);
  // The labels of the current title (rule 1).
  std::vector<std::string> Labels() const;
  fw::TWindow* GetScrollBar() const { return ScrollBar; }

  bool Find(fw::TEventInfo& e) override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;
  void EvLButtonDown(win::UINT keys, win::POINT point);
  void EvSize(win::UINT kind, win::SIZE size);
  void EvHScroll(win::UINT code, int position, win::HWND control);
  win::LRESULT EvSetFont(win::WPARAM font, win::LPARAM redraw);

  win::COLORREF TextColor;

 protected:
  const char* GetClassName() override { return "KxTabBar"; }
  void GetWindowClass(win::WNDCLASS& wc) override;

 private:
  void PaintTab(win::Dc& dc, const std::vector<std::string>& labels, int index, bool selected);
  // The rectangles of the shown tabs, from FirstTab on, measured with
  // TabFont on the given DC.
  std::vector<win::RECT> Layout(win::Dc& dc, const std::vector<std::string>& labels) const;
  std::vector<win::RECT> Layout();

  int16_t FirstTab = 0;
  int16_t Selection = 0;
  win::COLORREF TabColor;
  std::optional<win::LOGFONT> TabFont;
  fw::TWindow* ScrollBar;
};

}  // namespace kxctl
