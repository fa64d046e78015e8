// The MDI client, DefFrameProc, DefMDIChildProc and TranslateMDISysAccel
// (see mdi.h).
#include "platform/win/mdi.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win/input.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace win {

namespace {

constexpr int kIconWidth = 160;

struct Client {
  HWND self, frame;
  HMENU windowMenu, frameMenu;
  UINT firstId = kFirstMdiChildId;
  std::vector<HWND> children;  // creation order = id order
  HWND active;
  std::unordered_map<uint32_t, RECT> normal;  // rectangles to restore, by child
  std::string frameTitle;
  int listed = 0;  // children listed in the window menu
  bool separator = false;
};

std::unordered_map<uint32_t, std::unique_ptr<Client>>& Clients() {
  static std::unordered_map<uint32_t, std::unique_ptr<Client>> clients;
  return clients;
}

// The state of a client, with children that died unannounced dropped.
Client* StateOf(HWND client) {
  auto it = Clients().find(client.id);
  if (it == Clients().end()) return nullptr;
  Client& c = *it->second;
  std::erase_if(c.children, [](HWND h) { return !IsWindow(h); });
  if (c.active && !IsWindow(c.active)) c.active = nullptr;
  return &c;
}

Client* StateOfChild(HWND child) { return StateOf(GetParent(child)); }

DWORD Style(HWND h) { return DWORD(GetWindowLongPtr(h, GWL_STYLE)); }
bool IsMaximized(HWND h) { return h && (Style(h) & WS_MAXIMIZE); }
bool IsMinimized(HWND h) { return h && (Style(h) & WS_MINIMIZE); }
void SetStyleBits(HWND h, DWORD set, DWORD clear) {
  SetWindowLongPtr(h, GWL_STYLE, intptr_t((Style(h) & ~clear) | set));
}

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  POINT tl{r.left, r.top};
  ScreenToClient(GetParent(h), &tl);
  return {tl.x, tl.y, tl.x + r.right - r.left, tl.y + r.bottom - r.top};
}
void Place(HWND h, const RECT& r) { MoveWindow(h, r.left, r.top, r.right - r.left, r.bottom - r.top); }

RECT ClientArea(const Client& c) {
  RECT r;
  GetClientRect(c.self, &r);
  return r;
}

// Rule 5: the frame shows its own title, and the maximized child's in brackets.
void ComposeTitle(const Client& c) {
  std::string text = c.frameTitle;
  if (IsMaximized(c.active)) text += " - [" + GetWindowText(c.active) + "]";
  if (IsWindow(c.frame) && GetWindowText(c.frame) != text)
    DefWindowProc(c.frame, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Rule 4: the list of children leaves the window menu...
void TakeOutList(Client& c) {
  if (IsMenu(c.windowMenu)) {
    for (int i = 0; i < c.listed; ++i) DeleteMenu(c.windowMenu, c.firstId + UINT(i), MF_BYCOMMAND);
    const int last = GetMenuItemCount(c.windowMenu) - 1;
    if (c.separator && last >= 0 && GetMenuItemID(c.windowMenu, last) == 0)
      DeleteMenu(c.windowMenu, UINT(last), MF_BYPOSITION);
  }
  c.listed = 0;
  c.separator = false;
}

// ...and comes back as it is now.
void RefreshWindowMenu(Client& c) {
  TakeOutList(c);
  if (!IsMenu(c.windowMenu) || c.children.empty()) return;
  c.separator = AppendMenuA(c.windowMenu, MF_SEPARATOR, 0, nullptr);
  for (HWND child : c.children) {
    const int n = c.listed + 1;
    const std::string text =
        (n <= 9 ? "&" + std::to_string(n) : std::to_string(n)) + " " + GetWindowText(child);
    AppendMenuA(c.windowMenu, child == c.active ? MF_CHECKED : MF_STRING, c.firstId + UINT(c.listed), text.c_str());
    ++c.listed;
  }
}

void Renumber(Client& c) {
  for (size_t i = 0; i < c.children.size(); ++i)
    SetWindowLongPtr(c.children[i], GWLP_ID, intptr_t(c.firstId + i));
}

void KeepNormal(Client& c, HWND child) {
  if (!IsMaximized(child) && !IsMinimized(child)) c.normal[child.id] = RectInParent(child);
}

void FitMaximized(const Client& c, HWND child) {
  const RECT area = ClientArea(c);
  const RECT in = NonClientInsets(Style(child), DWORD(GetWindowLongPtr(child, GWL_EXSTYLE)));
  Place(child, {area.left - in.left, area.top - in.top, area.right + in.right, area.bottom + in.bottom});
}

void Restore(Client& c, HWND child) {
  if (!IsMaximized(child) && !IsMinimized(child)) return;
  SetStyleBits(child, 0, WS_MAXIMIZE | WS_MINIMIZE);
  if (auto it = c.normal.find(child.id); it != c.normal.end()) Place(child, it->second);
  ComposeTitle(c);
}

void Maximize(Client& c, HWND child) {
  for (HWND other : c.children)
    if (other != child && IsMaximized(other)) Restore(c, other);
  KeepNormal(c, child);
  SetStyleBits(child, WS_MAXIMIZE, WS_MINIMIZE);
  FitMaximized(c, child);
  ComposeTitle(c);
}

void RedrawCaption(HWND h) {
  if (IsWindow(h)) RedrawWindow(h, nullptr, RDW_FRAME);
}

// Rule 2. `gone` is a child that is dying: it hears nothing more.
void Activate(Client& c, HWND child, HWND gone = HWND()) {
  if (child == c.active) return;
  const HWND old = c.active;
  const bool carryMaximize = IsMaximized(old) || (gone && IsMaximized(gone));
  c.active = child;
  if (old) SendMessage(old, WM_MDIACTIVATE, WPARAM(old.id), LPARAM(child.id));
  if (child && IsWindow(child)) {
    BringWindowToTop(child);
    if (carryMaximize && !IsMinimized(child)) Maximize(c, child);
    SendMessage(child, WM_MDIACTIVATE, WPARAM(old.id), LPARAM(child.id));
    if (IsWindow(child) && GetActiveWindow() && GetActiveWindow() == GetTopLevel(c.self)) SetFocus(child);
  }
  RedrawCaption(old);
  RedrawCaption(child);
  ComposeTitle(c);
  RefreshWindowMenu(c);
}

HWND CreateChild(Client& c, const MDICREATESTRUCT& mcs) {
  const int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  const RECT area = ClientArea(c);
  const int n = int(c.children.size());
  const int room = std::max(1, (area.bottom - area.top) / 4 / std::max(1, step) + 1);
  const int place = (n % room) * step;
  const int x = mcs.x == CW_USEDEFAULT ? place : mcs.x, y = mcs.y == CW_USEDEFAULT ? place : mcs.y;
  const int cx = mcs.cx == CW_USEDEFAULT ? (area.right - area.left) * 3 / 4 : mcs.cx;
  const int cy = mcs.cy == CW_USEDEFAULT ? (area.bottom - area.top) * 3 / 4 : mcs.cy;
  const bool maximize = (mcs.style & WS_MAXIMIZE) || IsMaximized(c.active);
  const DWORD style = (mcs.style & ~(WS_MAXIMIZE | WS_VISIBLE | WS_POPUP)) | WS_CHILD | WS_CLIPSIBLINGS |
                      WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  MDICREATESTRUCT params = mcs;
  const HWND child = CreateWindowEx(WS_EX_MDICHILD, mcs.szClass ? mcs.szClass : "", mcs.szTitle ? mcs.szTitle : "",
                                    style, x, y, cx, cy, c.self, c.firstId + UINT(n), &params);
  if (!child) return child;
  c.children.push_back(child);
  c.normal[child.id] = RectInParent(child);
  if (maximize) {
    SetStyleBits(child, WS_MAXIMIZE, 0);
    FitMaximized(c, child);
  }
  ShowWindow(child, SW_SHOWNA);
  if (IsWindow(child)) Activate(c, child);
  return child;
}

// A child is dying (its WM_DESTROY): the next one in z order takes over.
void ChildGone(Client& c, HWND child) {
  const auto at = std::find(c.children.begin(), c.children.end(), child);
  if (at == c.children.end()) return;
  c.children.erase(at);
  c.normal.erase(child.id);
  Renumber(c);
  if (c.active == child) {
    c.active = nullptr;
    HWND next;
    for (HWND h : GetChildren(c.self))
      if (h != child && std::find(c.children.begin(), c.children.end(), h) != c.children.end()) {
        next = h;
        break;
      }
    if (IsMaximized(child)) ComposeTitle(c);
    Activate(c, next, child);
  }
  ComposeTitle(c);
  RefreshWindowMenu(c);
}

// The children in z order (topmost first).
std::vector<HWND> ZOrder(const Client& c) {
  std::vector<HWND> list;
  for (HWND h : GetChildren(c.self))
    if (std::find(c.children.begin(), c.children.end(), h) != c.children.end()) list.push_back(h);
  return list;
}

void Next(Client& c, HWND from, bool previous) {
  const std::vector<HWND> z = ZOrder(c);
  if (z.size() < 2) return;
  const HWND current = from ? from : c.active;
  if (previous) {
    Activate(c, z.back());
    return;
  }
  const auto at = std::find(z.begin(), z.end(), current);
  const HWND target = at == z.end() || at + 1 == z.end() ? z.front() : *(at + 1);
  Activate(c, target);
  if (IsWindow(current)) SetWindowPos(current, GetChildren(c.self).back(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void ArrangeIcons(Client& c) {
  const RECT area = ClientArea(c);
  int x = 0;
  for (HWND h : c.children) {
    if (!IsMinimized(h)) continue;
    const RECT in = NonClientInsets(Style(h), 0);
    const int height = in.top + in.bottom;
    Place(h, {x, area.bottom - height, x + kIconWidth, area.bottom});
    x += kIconWidth;
  }
}

void Minimize(Client& c, HWND child) {
  if (IsMinimized(child)) return;
  if (IsMaximized(child)) Restore(c, child);
  KeepNormal(c, child);
  SetStyleBits(child, WS_MINIMIZE, 0);
  ArrangeIcons(c);
}

// The children that take part in tiling and cascading, topmost first.
std::vector<HWND> Arranged(Client& c, bool skipDisabled) {
  for (HWND h : c.children)
    if (IsMaximized(h)) Restore(c, h);
  std::vector<HWND> list;
  for (HWND h : ZOrder(c))
    if (IsWindowVisible(h) && !IsMinimized(h) && (!skipDisabled || IsWindowEnabled(h))) list.push_back(h);
  return list;
}

// Columns of about the square root of the count side by side (vertical) or
// rows of them one under another (horizontal); the later columns take the
// windows left over, one more each.
void Tile(Client& c, WPARAM how) {
  const std::vector<HWND> list = Arranged(c, how & MDITILE_SKIPDISABLED);
  if (list.empty()) return;
  RECT area = ClientArea(c);
  for (HWND h : c.children)
    if (IsMinimized(h)) area.bottom -= NonClientInsets(Style(h), 0).top + NonClientInsets(Style(h), 0).bottom;
  const bool horizontal = how & MDITILE_HORIZONTAL;
  const int n = int(list.size());
  const int lanes = std::max(1, int(std::sqrt(double(n))));
  const int across = horizontal ? area.bottom - area.top : area.right - area.left;
  const int along = horizontal ? area.right - area.left : area.bottom - area.top;
  size_t k = 0;
  for (int lane = 0; lane < lanes; ++lane) {
    const int per = n / lanes + (lane >= lanes - n % lanes ? 1 : 0);
    const int a0 = across * lane / lanes, a1 = across * (lane + 1) / lanes;
    for (int i = 0; i < per; ++i, ++k) {
      const int b0 = along * i / per, b1 = along * (i + 1) / per;
      const RECT r = horizontal ? RECT{area.left + b0, area.top + a0, area.left + b1, area.top + a1}
                                : RECT{area.left + a0, area.top + b0, area.left + a1, area.top + b1};
      Place(list[k], r);
    }
  }
}

// The bottom window first at the top left, the active one last, each a
// caption lower and further right, three quarters of the client in size.
void Cascade(Client& c, WPARAM how) {
  const std::vector<HWND> list = Arranged(c, how & MDITILE_SKIPDISABLED);
  const RECT area = ClientArea(c);
  const int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  const int w = (area.right - area.left) * 3 / 4, h = (area.bottom - area.top) * 3 / 4;
  const int room = std::max(1, (area.bottom - area.top - h) / std::max(1, step) + 1);
  int i = 0;
  for (auto it = list.rbegin(); it != list.rend(); ++it, ++i) {
    const int off = (i % room) * step;
    Place(*it, {off, off, off + w, off + h});
  }
}

LRESULT ClientProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    auto c = std::make_unique<Client>();
    c->self = hwnd;
    c->frame = GetParent(hwnd);
    const auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
    if (const auto* ccs = static_cast<const CLIENTCREATESTRUCT*>(cs->lpCreateParams)) {
      c->windowMenu = ccs->hWindowMenu;
      c->firstId = ccs->idFirstChild;
    }
    c->frameTitle = GetWindowText(c->frame);
    Clients()[hwnd.id] = std::move(c);
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    Clients().erase(hwnd.id);
    return DefWindowProc(hwnd, msg, wParam, lParam);
  }
  Client* c = StateOf(hwnd);
  if (!c) return DefWindowProc(hwnd, msg, wParam, lParam);
  const HWND child{uint32_t(wParam)};
  const bool ours = std::find(c->children.begin(), c->children.end(), child) != c->children.end();
  switch (msg) {
    case WM_MDICREATE:
      if (!lParam) return 0;
      return LRESULT(CreateChild(*c, *reinterpret_cast<const MDICREATESTRUCT*>(lParam)).id);
    case WM_MDIDESTROY:
      if (ours) DestroyWindow(child);
      return 0;
    case WM_MDIACTIVATE:
      if (ours) Activate(*c, child);
      return 0;
    case WM_MDIRESTORE:
      if (ours) Restore(*c, child);
      return 0;
    case WM_MDIMAXIMIZE:
      if (ours) {
        if (child != c->active) Activate(*c, child);
        Maximize(*c, child);
      }
      return 0;
    case WM_MDINEXT: Next(*c, ours ? child : HWND(), lParam != 0); return 0;
    case WM_MDITILE: Tile(*c, wParam); return 1;
    case WM_MDICASCADE: Cascade(*c, wParam); return 1;
    case WM_MDIICONARRANGE: ArrangeIcons(*c); return 0;
    case WM_MDIGETACTIVE:
      if (lParam) *reinterpret_cast<BOOL*>(lParam) = IsMaximized(c->active);
      return LRESULT(c->active.id);
    case WM_MDISETMENU: {
      const HMENU old = c->frameMenu;
      if (wParam) c->frameMenu = HMENU(uint32_t(wParam));
      if (lParam && HMENU(uint32_t(lParam)) != c->windowMenu) {
        TakeOutList(*c);
        c->windowMenu = HMENU(uint32_t(lParam));
        RefreshWindowMenu(*c);
      }
      return LRESULT(old.id);
    }
    case WM_MDIREFRESHMENU: RefreshWindowMenu(*c); return LRESULT(c->frameMenu.id);
    case WM_SIZE:
      if (IsMaximized(c->active)) FitMaximized(*c, c->active);
      ArrangeIcons(*c);
      return 0;
    case WM_SETFOCUS:
      if (c->active && IsWindowEnabled(c->active)) SetFocus(c->active);
      return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterMdiClientClass() {
  if (GetClassInfo(kMdiClientClass, nullptr)) return;
  WNDCLASS wc;
  wc.lpfnWndProc = ClientProc;
  wc.background = RGB(128, 128, 128);
  wc.lpszClassName = kMdiClientClass;
  RegisterClass(wc);
}

HWND CreateMdiClient(HWND frame, HMENU windowMenu, UINT idFirstChild) {
  RegisterMdiClientClass();
  RECT r{};
  GetClientRect(frame, &r);
  CLIENTCREATESTRUCT ccs;
  ccs.hWindowMenu = windowMenu;
  ccs.idFirstChild = idFirstChild;
  return CreateWindowEx(0, kMdiClientClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, r.right, r.bottom,
                        frame, 0, &ccs);
}

HMENU GetMdiFrameMenu(HWND client) {
  const Client* c = StateOf(client);
  return c ? c->frameMenu : HMENU();
}

LRESULT DefFrameProc(HWND frame, HWND client, UINT msg, WPARAM wParam, LPARAM lParam) {
  Client* c = StateOf(client);
  if (c) switch (msg) {
      case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        if (id >= c->firstId && id < c->firstId + c->children.size()) {
          const HWND child = c->children[id - c->firstId];
          if (IsMinimized(child)) Restore(*c, child);
          Activate(*c, child);
          return 0;
        }
        break;
      }
      case WM_SETTEXT:
        c->frameTitle = lParam ? reinterpret_cast<const char*>(lParam) : "";
        ComposeTitle(*c);
        return 1;
      case WM_SIZE: MoveWindow(client, 0, 0, LOWORD(uintptr_t(lParam)), HIWORD(uintptr_t(lParam))); return 0;
      case WM_SETFOCUS: SetFocus(client); return 0;
    }
  return DefWindowProc(frame, msg, wParam, lParam);
}

LRESULT DefMDIChildProc(HWND child, UINT msg, WPARAM wParam, LPARAM lParam) {
  Client* c = StateOfChild(child);
  if (c) switch (msg) {
      case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
          case SC_MAXIMIZE: SendMessage(c->self, WM_MDIMAXIMIZE, WPARAM(child.id), 0); return 0;
          case SC_RESTORE: SendMessage(c->self, WM_MDIRESTORE, WPARAM(child.id), 0); return 0;
          case SC_MINIMIZE: Minimize(*c, child); return 0;
          case SC_CLOSE: SendMessage(child, WM_CLOSE, 0, 0); return 0;
          case SC_NEXTWINDOW: SendMessage(c->self, WM_MDINEXT, WPARAM(child.id), 0); return 0;
          case SC_PREVWINDOW: SendMessage(c->self, WM_MDINEXT, WPARAM(child.id), 1); return 0;
        }
        return 0;
      case WM_CLOSE: SendMessage(c->self, WM_MDIDESTROY, WPARAM(child.id), 0); return 0;
      case WM_MOUSEACTIVATE:
        if (c->active != child) SendMessage(c->self, WM_MDIACTIVATE, WPARAM(child.id), 0);
        break;
      case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(child, msg, wParam, lParam);
        if (child == c->active) ComposeTitle(*c);
        RefreshWindowMenu(*c);
        return r;
      }
      case WM_NCPAINT:
        if (Dc* dc = GetWindowDC(child)) {
          DrawDefaultFrame(child, *dc, child == c->active && GetActiveWindow() == GetTopLevel(child));
          ReleaseDC(child, dc);
        }
        return 0;
      case WM_DESTROY: ChildGone(*c, child); return 0;
    }
  return DefWindowProc(child, msg, wParam, lParam);
}

bool TranslateMDISysAccel(HWND client, const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0) return false;
  const Client* c = StateOf(client);
  if (!c || !c->active || !IsWindowEnabled(c->active)) return false;
  WPARAM command = 0;
  if (msg.wParam == VK_F4) command = SC_CLOSE;
  else if (msg.wParam == VK_F6) command = GetKeyState(VK_SHIFT) < 0 ? SC_PREVWINDOW : SC_NEXTWINDOW;
  if (!command) return false;
  SendMessage(c->active, WM_SYSCOMMAND, command, 0);
  return true;
}

}  // namespace win
