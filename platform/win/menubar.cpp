// Menu bars (see menubar.h).
#include "platform/win/menubar.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/win/paint.h"
#include "platform/win/system_internal.h"
#include "platform/win/window.h"

namespace win {

using detail::Window;

namespace {

constexpr int kItemPadding = 8;

LOGFONT MenuFont() {
  LOGFONT font{};
  font.lfHeight = -11;
  font.lfWeight = FW_NORMAL;
  std::strcpy(font.lfFaceName, "MS Sans Serif");
  return font;
}

std::string ItemText(HMENU menu, int position) {
  std::string text(size_t(GetMenuStringA(menu, UINT(position), nullptr, 0, MF_BYPOSITION)), '\0');
  GetMenuStringA(menu, UINT(position), text.data(), int(text.size()) + 1, MF_BYPOSITION);
  return text;
}

// The text as shown: "&" marks the next character, "&&" shows one "&".
std::string Shown(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out.push_back(text[i]);
  }
  return out;
}

// The bar's row in window coordinates: under the caption, inside the frame.
RECT BarRow(const Window& w) {
  const RECT in = NonClientInsets(w.style, w.exStyle & ~WS_EX_CLIENTEDGE);
  const int height = MenuBarHeight(w);
  return {in.left, in.top, w.rect.right - w.rect.left - in.right, in.top + height};
}

// Each item's box on the bar, in window coordinates.
std::vector<RECT> BarItems(const Window& w, Dc& dc) {
  std::vector<RECT> boxes;
  const RECT row = BarRow(w);
  const LOGFONT old = dc.SelectFont(MenuFont());
  int x = row.left;
  for (int i = 0; i < GetMenuItemCount(w.menu); ++i) {
    SIZE size{};
    dc.GetTextExtentPoint32(Shown(ItemText(w.menu, i)), &size);
    boxes.push_back({x, row.top, x + size.cx + 2 * kItemPadding, row.bottom});
    x = boxes.back().right;
  }
  dc.SelectFont(old);
  return boxes;
}

std::vector<RECT> BarItems(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  if (!w || !MenuBarHeight(*w)) return {};
  Dc* dc = GetWindowDC(hwnd);
  if (!dc) return {};
  std::vector<RECT> boxes = BarItems(*w, *dc);
  ReleaseDC(hwnd, dc);
  return boxes;
}

void FrameChanged(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return;
  detail::RecalcClient(*w);
  RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
              MAKELPARAM(uint16_t(w->client.right - w->client.left), uint16_t(w->client.bottom - w->client.top)));
}

}  // namespace

namespace detail {

int MenuBarHeight(const Window& w) { return !w.IsChild() && IsMenu(w.menu) ? GetSystemMetrics(SM_CYMENU) : 0; }

void PaintMenuBar(const Window& w, Dc& dc) {
  if (!MenuBarHeight(w)) return;
  dc.FillRect(BarRow(w), CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
  const std::vector<RECT> boxes = BarItems(w, dc);
  const LOGFONT old = dc.SelectFont(MenuFont());
  dc.SetBkMode(TRANSPARENT);
  for (size_t i = 0; i < boxes.size(); ++i) {
    const UINT state = GetMenuState(w.menu, UINT(i), MF_BYPOSITION);
    dc.SetTextColor(GetSysColor(state & (MF_GRAYED | MF_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    RECT box = boxes[i];
    dc.DrawText(ItemText(w.menu, int(i)), &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  dc.SelectFont(old);
}

int MenuBarItemAt(HWND hwnd, POINT p) {
  const std::vector<RECT> boxes = BarItems(hwnd);
  for (size_t i = 0; i < boxes.size(); ++i)
    if (p.x >= boxes[i].left && p.x < boxes[i].right && p.y >= boxes[i].top && p.y < boxes[i].bottom) return int(i);
  return -1;
}

void OpenMenuBarItem(HWND hwnd, int position) {
  const HMENU bar = GetMenu(hwnd);
  const UINT state = GetMenuState(bar, UINT(position), MF_BYPOSITION);
  if (state == UINT(-1) || (state & (MF_GRAYED | MF_DISABLED))) return;
  const HMENU sub = GetSubMenu(bar, position);
  if (!sub) {
    SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(uint16_t(GetMenuItemID(bar, position)), 0), 0);
    return;
  }
  const std::vector<RECT> boxes = BarItems(hwnd);
  RECT frame;
  GetWindowRect(hwnd, &frame);
  const RECT& item = boxes[size_t(position)];
  detail::ShowPopup(sub, TPM_LEFTALIGN, {frame.left + item.left, frame.top + item.bottom}, hwnd, UINT(position));
}

int MenuBarMnemonic(HWND hwnd, uint8_t character) {
  const HMENU bar = GetMenu(hwnd);
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    const std::string text = ItemText(bar, i);
    for (size_t k = 0; k + 1 < text.size(); ++k) {
      if (text[k] != '&') continue;
      if (text[k + 1] != '&' && FoldChar(uint8_t(text[k + 1])) == FoldChar(character)) return i;
      ++k;
    }
  }
  return -1;
}

}  // namespace detail

bool SetMenu(HWND hwnd, HMENU menu) {
  Window* w = detail::Resolve(hwnd);
  if (!w || w->IsChild() || (menu && !IsMenu(menu))) return false;
  w->menu = menu;
  FrameChanged(hwnd);
  return true;
}

HMENU GetMenu(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  return w && IsMenu(w->menu) ? w->menu : HMENU();
}

bool DrawMenuBar(HWND hwnd) {
  if (!detail::Resolve(hwnd)) return false;
  RedrawWindow(hwnd, nullptr, RDW_FRAME);
  return true;
}

namespace {

bool AppendItems(HMENU menu, const std::vector<platform::MenuItem>& items) {
  for (const platform::MenuItem& item : items) {
    const UINT state = item.flags & (MF_GRAYED | MF_CHECKED);
    if (item.flags & platform::MF_POPUP) {
      const HMENU sub = CreatePopupMenu();
      if (!AppendItems(sub, item.items) || !AppendMenuA(menu, MF_POPUP | state, sub.id, item.text.c_str())) {
        DestroyMenu(sub);
        return false;
      }
    } else if (item.flags & platform::MF_SEPARATOR) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuA(menu, MF_STRING | state, item.id, item.text.c_str());
    }
  }
  return true;
}

}  // namespace

HMENU LoadMenuA(const platform::ResId& id) {
  std::vector<platform::MenuItem> items;
  if (!platform::LoadMenuTemplate(id, items)) return HMENU();
  const HMENU menu = CreateMenu();
  if (!AppendItems(menu, items)) {
    DestroyMenu(menu);
    return HMENU();
  }
  return menu;
}

}  // namespace win
