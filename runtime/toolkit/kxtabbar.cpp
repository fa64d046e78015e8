// The tab bar (see kxtabbar.h).
#include "runtime/toolkit/kxtabbar.h"

#include <memory>

#include "platform/controls/scrollbar.h"
#include "platform/framework/dialog.h"
#include "platform/win/paint.h"
#include "runtime/toolkit/kxstring.h"

namespace kxctl {

namespace {

constexpr win::COLORREF kGray = win::RGB(128, 128, 128);
constexpr win::COLORREF kBlack = win::RGB(0, 0, 0);
constexpr win::COLORREF kWhite = win::RGB(255, 255, 255);

// The stock proportional font the labels use until WM_SETFONT names one.
win::LOGFONT AnsiVarFont() {
  win::LOGFONT lf;
  lf.lfHeight = -11;
  lf.lfWeight = win::FW_NORMAL;
  win::SetFaceName(lf, "MS Sans Serif");
  return lf;
}

win::RECT ClientRect(win::HWND hwnd) {
  win::RECT r{0, 0, 0, 0};
  win::GetClientRect(hwnd, &r);
  return r;
}

}  // namespace

TTabBar::TTabBar(fw::TWindow* parent, int id, const char* labels, int x, int y, int w, int h)
    : fw::TWindow(parent, labels),
      TextColor(kBlack),
      TabColor(win::GetSysColor(win::COLOR_BTNFACE)),
      TabFont(AnsiVarFont()),
      ScrollBar(new fw::TControl(this, kScrollBarId, "", 0, 0, 10, 10, win::kScrollBarClass, win::SBS_HORZ)) {
  Attr.Style = win::WS_CHILD | win::WS_VISIBLE;
  Attr.Id = id;
  Attr.X = x, Attr.Y = y, Attr.W = w, Attr.H = h;
}

void TTabBar::GetWindowClass(win::WNDCLASS& wc) {
  fw::TWindow::GetWindowClass(wc);
  wc.style &= ~win::CS_DBLCLKS;  // quick clicks on tabs are clicks, each one
  wc.background = kGray;
}

bool TTabBar::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_LBUTTONDOWN, &TTabBar::EvLButtonDown>(),
                                        fw::OnWm<win::WM_SETFONT, &TTabBar::EvSetFont>(),
                                        fw::OnWm<win::WM_SIZE, &TTabBar::EvSize>(),
                                        fw::OnWm<win::WM_HSCROLL, &TTabBar::EvHScroll>()};
  return table.Search(e) || fw::TWindow::Find(e);
}

void TTabBar::SetSelection(int index) {
  Selection = int16_t(index);
  if (GetHandle()) Invalidate(true);
}

std::vector<std::string> TTabBar::Labels() const {
  const std::string title = GetCaption();
  std::vector<std::string> labels;
  if (title.empty()) return labels;
  const int32_t n = kxstring::CountTokens(title.c_str(), ',');
  char label[kLabelBound + 1];
  for (int32_t i = 0; i < n && kxstring::GetToken(title.c_str(), ',', i, label, kLabelBound); ++i)
    labels.emplace_back(label);
  return labels;
}

std::vector<win::RECT> TTabBar::Layout(win::Dc& dc, const std::vector<std::string>& labels) const {
  dc.SelectFont(*TabFont);
  const win::RECT client = ClientRect(GetHandle());
  std::vector<win::RECT> rects;
  int x = 10;
  for (size_t i = size_t(FirstTab < 0 ? 0 : FirstTab); i < labels.size(); ++i) {
    win::SIZE extent{0, 0};
    dc.GetTextExtentPoint32(labels[i], &extent);
    rects.push_back({x, 5, x + extent.cx + 10, client.bottom - 5});
    x += extent.cx + 10;
  }
  return rects;
}

std::vector<win::RECT> TTabBar::Layout() {
  const std::unique_ptr<win::Dc> screen = win::Dc::CreateCompatible(nullptr);
  return Layout(*screen, Labels());
}

bool TTabBar::GetTabRect(int index, win::RECT& rect) {
  const std::vector<win::RECT> rects = Layout();
  const int at = index - FirstTab;
  if (at < 0 || at >= int(rects.size())) {
    rect = ClientRect(GetHandle());
    return false;
  }
  rect = rects[size_t(at)];
  return true;
}

void TTabBar::Paint(win::Dc& dc, bool, win::RECT&) {
  const std::vector<std::string> labels = Labels();
  const win::RECT client = ClientRect(GetHandle());
  win::RECT first;
  GetTabRect(FirstTab, first);
  const int y = first.bottom;
  const win::Pen oldPen = dc.SelectPen(win::Pen{win::PS_SOLID, 1, kBlack});
  dc.MoveToEx(client.left, y);
  dc.LineTo(client.right, y);
  dc.SelectPen(win::Pen{win::PS_SOLID, 1, kWhite});
  dc.MoveToEx(client.left, y + 1);
  dc.LineTo(client.right, y + 1);
  dc.SelectPen(oldPen);
  for (int i = int(labels.size()) - 1; i >= FirstTab; --i)
    if (i != Selection) PaintTab(dc, labels, i, false);
  PaintTab(dc, labels, Selection, true);
}

void TTabBar::PaintTab(win::Dc& dc, const std::vector<std::string>& labels, int index, bool selected) {
  const std::vector<win::RECT> rects = Layout(dc, labels);
  const int at = index - FirstTab;
  if (at < 0 || at >= int(rects.size())) return;
  win::RECT r = rects[size_t(at)];
  const win::RECT client = ClientRect(GetHandle());
  const win::Pen tabPen{win::PS_SOLID, 1, TabColor};
  const win::Brush tabBrush = win::SolidBrush(TabColor);
  const win::Pen oldPen = dc.SelectPen(tabPen);
  const win::Brush oldBrush = dc.SelectBrush(tabBrush);
  // The page strip under the tabs.
  dc.FillRect({client.left, r.bottom + 2, client.right, client.bottom}, tabBrush);
  dc.SelectPen(win::Pen{win::PS_SOLID, 1, kBlack});
  dc.SelectBrush(selected ? tabBrush : win::SolidBrush(kWhite));
  const win::POINT p[4] = {{r.left - 3, r.bottom}, {r.left + 3, r.top}, {r.right - 3, r.top}, {r.right + 3, r.bottom}};
  dc.Polygon(p);
  if (selected) {
    dc.SelectPen(win::Pen{win::PS_SOLID, 1, kWhite});
    dc.MoveToEx(p[0].x + 1, p[0].y);
    dc.LineTo(p[1].x + 1, p[1].y + 1);
    dc.LineTo(p[2].x, p[2].y + 1);
    dc.SelectPen(win::Pen{win::PS_SOLID, 1, kGray});
    dc.LineTo(p[3].x - 1, p[3].y);
    // Take the base line away under the tab, so that it opens into the strip.
    dc.SelectPen(tabPen);
    for (int dy : {0, 1}) {
      dc.MoveToEx(p[0].x + 2, p[0].y + dy);
      dc.LineTo(p[3].x - 1, p[3].y + dy);
    }
  }
  dc.SetBkColor(selected ? TabColor : kWhite);
  const win::COLORREF oldText = dc.SetTextColor(TextColor);
  const int oldMode = dc.SetBkMode(win::TRANSPARENT);
  r.left += 5, r.right -= 5, r.top += 1, r.bottom -= 1;
  dc.DrawText(labels[size_t(index)], &r, win::DT_CENTER | win::DT_VCENTER | win::DT_SINGLELINE);
  dc.SetBkMode(oldMode);
  dc.SetTextColor(oldText);
  dc.SelectBrush(oldBrush);
  dc.SelectPen(oldPen);
}

void TTabBar::EvLButtonDown(win::UINT, win::POINT point) {
  const std::vector<win::RECT> rects = Layout();
  for (size_t at = 0; at < rects.size(); ++at) {
    const win::RECT& r = rects[at];
    if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom) {
      const int index = FirstTab + int(at);
      win::SendMessage(win::GetParent(GetHandle()), win::WM_COMMAND,
                       win::MAKEWPARAM(uint16_t(Attr.Id), uint16_t(index)), win::LPARAM(GetHandle().id));
      return;
    }
  }
}

void TTabBar::EvSize(win::UINT, win::SIZE size) {
  DefaultProcessing();
  const int arrows = 2 * win::GetSystemMetrics(win::SM_CXHSCROLL);
  const win::HWND bar = ScrollBar->GetHandle();
  win::SetWindowPos(bar, nullptr, size.cx - arrows, size.cy - 5 - win::GetSystemMetrics(win::SM_CYHSCROLL), 30, 15,
                    win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  const std::vector<win::RECT> rects = Layout();
  // The last tab must end left of the scroll bar for the bar to go away.
  const bool fits = FirstTab == 0 && (rects.empty() || rects.back().right <= size.cx - arrows);
  win::EnableWindow(bar, !fits);
  win::ShowWindow(bar, fits ? win::SW_HIDE : win::SW_SHOW);
}

win::LRESULT TTabBar::EvSetFont(win::WPARAM font, win::LPARAM redraw) {
  TabFont = font ? *reinterpret_cast<const win::LOGFONT*>(font) : AnsiVarFont();
  if (redraw) Invalidate(true);
  const win::RECT client = ClientRect(GetHandle());
  EvSize(0, {client.right, client.bottom});
  return 0;
}

void TTabBar::EvHScroll(win::UINT code, int, win::HWND) {
  if (code == win::SB_LINEUP && FirstTab > 0) {
    --FirstTab;
    Invalidate(true);
  } else if (code == win::SB_LINEDOWN && FirstTab < int(Labels().size()) - 1) {
    ++FirstTab;
    Invalidate(true);
  }
}

}  // namespace kxctl
