// Windows: classes, creation and destruction, the tree, data, placement and
// the special windows (see window.h).
#include "platform/win/window.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/settings/profile.h"
#include "platform/win/backend.h"
#include "platform/win/paint.h"
#include "platform/win/system_internal.h"

namespace win {

using detail::Find;
using detail::Sys;
using detail::Window;
using detail::System;

namespace detail {

System& Sys() {
  static System system;
  return system;
}

Window* Find(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto& windows = Sys().windows;
  auto it = windows.find(hwnd.id);
  return it != windows.end() ? it->second.get() : nullptr;
}

Window* Resolve(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w && hwnd) {  // only a stale handle pays for looking at the setting
    const char* strict = std::getenv("QMK_STRICT_HANDLES");
    if (strict && std::strcmp(strict, "1") == 0) std::abort();
  }
  return w;
}

Window& TopOf(Window& w) {
  Window* p = &w;
  while (p->IsChild()) {
    Window* up = Find(p->parent);
    if (!up) break;
    p = up;
  }
  return *p;
}

RECT WindowInTop(const Window& w) {
  if (!w.IsChild()) return {0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
  const Window* parent = Find(w.parent);
  const RECT pc = parent ? ClientInTop(*parent) : RECT{};
  return {pc.left + w.rect.left, pc.top + w.rect.top, pc.left + w.rect.right, pc.top + w.rect.bottom};
}

RECT ClientInTop(const Window& w) {
  const RECT r = WindowInTop(w);
  return {r.left + w.client.left, r.top + w.client.top, r.left + w.client.right, r.top + w.client.bottom};
}

static RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) return {};
  return r;
}

RECT VisibleClientInTop(const Window& w) {
  RECT r = ClientInTop(w);
  for (const Window* p = &w; p->IsChild();) {
    p = Find(p->parent);
    if (!p) break;
    r = Intersect(r, ClientInTop(*p));
  }
  return r;
}

void ForgetWindow(HWND hwnd) {
  System& s = Sys();
  if (s.focus == hwnd) s.focus = nullptr;
  if (s.capture == hwnd) s.capture = nullptr;
  if (s.active == hwnd) s.active = nullptr;
  if (s.lastClickWindow == hwnd) s.lastClickWindow = nullptr;
  std::erase_if(s.posted, [&](const MSG& m) { return m.hwnd == hwnd; });
  std::erase_if(s.timers, [&](const Timer& t) { return t.hwnd == hwnd; });
  for (Modal& m : s.modals)
    if (m.window == hwnd) m.ended = true;
}

void RecalcClient(Window& w) {
  RECT r{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
  CallProc(w, WM_NCCALCSIZE, 0, reinterpret_cast<LPARAM>(&r), false);
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  w.client = r;
}

}  // namespace detail

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldChar(uint8_t(x)) == FoldChar(uint8_t(y));
         });
}

int FindClass(std::string_view name) {
  const auto& names = Sys().classNames;
  for (size_t i = 0; i < names.size(); ++i)
    if (SameName(names[i], name)) return int(i);
  return -1;
}

std::vector<HWND>& Siblings(Window& w) {
  if (w.IsChild()) {
    if (Window* p = Find(w.parent)) return p->children;
  }
  return Sys().tops;
}

void Unlink(Window& w) {
  auto& list = Siblings(w);
  std::erase(list, w.Handle());
}

// Windows a top-level window owns, any depth.
std::vector<HWND> OwnedBy(HWND owner) {
  std::vector<HWND> owned;
  for (HWND top : Sys().tops)
    if (Window* w = Find(top); w && w->owner == owner) owned.push_back(top);
  return owned;
}

void SendDestroy(Window& w) {
  w.destroying = true;
  detail::CallProc(w, WM_DESTROY, 0, 0, false);
  for (HWND child : std::vector<HWND>(w.children))
    if (Window* c = Find(child)) SendDestroy(*c);
}

void SendNcDestroyAndFree(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return;
  for (HWND child : std::vector<HWND>(w->children)) SendNcDestroyAndFree(child);
  w = Find(hwnd);
  if (!w) return;
  detail::CallProc(*w, WM_NCDESTROY, 0, 0, false);
  w = Find(hwnd);
  if (!w) return;
  Unlink(*w);
  DestroyMenu(w->menu);
  detail::ForgetWindow(hwnd);
  Sys().windows.erase(hwnd.id);
}

void InvalidateBelow(Window& w) {
  if (w.IsChild()) {
    if (Window* p = Find(w.parent)) {
      RECT r = w.rect;
      InvalidateRect(p->Handle(), &r, true);
    }
  } else {
    detail::ScreenChanged(w.rect);
  }
}

}  // namespace

namespace {

CreateHook createHook = nullptr;

// A write to WIN.INI reaches every top-level window as WM_WININICHANGE with
// the section's name, as the settings announce it.
void BroadcastWinIniChange(const char* section) {
  for (HWND top : std::vector<HWND>(Sys().tops))
    SendMessage(top, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(section));
}
const bool winIniHooked = (platform::SetWinIniChangedHook(&BroadcastWinIniChange), true);

}  // namespace

void SetCreateHook(CreateHook hook) { createHook = hook; }

uint8_t FoldChar(uint8_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return uint8_t(c + 32);
  return c;
}

bool RegisterClass(const WNDCLASS& wc) {
  if (!wc.lpfnWndProc || !wc.lpszClassName || !*wc.lpszClassName) return false;
  if (FindClass(wc.lpszClassName) >= 0) return false;
  Sys().classNames.emplace_back(wc.lpszClassName);
  Sys().classes.push_back(wc);
  return true;
}

bool UnregisterClass(std::string_view name) {
  const int i = FindClass(name);
  if (i < 0) return false;
  Sys().classNames.erase(Sys().classNames.begin() + i);
  Sys().classes.erase(Sys().classes.begin() + i);
  return true;
}

bool GetClassInfo(std::string_view name, WNDCLASS* wc) {
  const int i = FindClass(name);
  if (i < 0) return false;
  if (wc) *wc = Sys().classes[size_t(i)];
  return true;
}

std::string GetClassName(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  return w ? w->className : std::string();
}

HWND CreateWindowEx(DWORD exStyle, std::string_view className, std::string_view title, DWORD style, int x, int y,
                    int width, int height, HWND parent, UINT_PTR id, void* param) {
  const int ci = FindClass(className);
  if (ci < 0) return nullptr;
  Window* parentWindow = Find(parent);
  if ((style & WS_CHILD) && !parentWindow) return nullptr;
  System& s = Sys();
  const WNDCLASS& wc = s.classes[size_t(ci)];
  auto owned = std::make_unique<Window>();
  Window& w = *owned;
  w.id = s.nextWindowId++;
  w.className = s.classNames[size_t(ci)];
  w.classStyle = wc.style;
  w.background = wc.background;
  w.proc = wc.lpfnWndProc;
  w.style = style & ~WS_VISIBLE;
  w.exStyle = exStyle;
  w.extra.assign(size_t(std::max(0, wc.cbWndExtra)), 0);
  w.text = std::string(title);
  if (x == CW_USEDEFAULT) x = 0, y = 0;
  if (width == CW_USEDEFAULT) width = s.screenWidth / 2, height = s.screenHeight / 2;
  w.rect = {x, y, x + std::max(0, width), y + std::max(0, height)};
  if (style & WS_CHILD) {
    w.parent = parent;
    w.ctrlId = id;
  } else if (parentWindow) {
    w.owner = detail::TopOf(*parentWindow).Handle();
  }
  const HWND hwnd = w.Handle();
  s.windows.emplace(w.id, std::move(owned));
  auto& siblings = Siblings(w);
  siblings.insert(siblings.begin(), hwnd);
  if (!w.IsChild()) w.surface = Bitmap::Create(std::max(1, width), std::max(1, height), 32);

  CREATESTRUCT cs;
  cs.lpCreateParams = param;
  cs.hMenu = id;
  cs.hwndParent = parent;
  cs.x = x, cs.y = y, cs.cx = width, cs.cy = height;
  cs.style = style;
  const std::string titleCopy(title), classCopy(className);
  cs.lpszName = titleCopy.c_str();
  cs.lpszClass = classCopy.c_str();
  cs.dwExStyle = exStyle;
  const auto fail = [&] {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    return HWND();
  };
  if (createHook) createHook(hwnd);
  if (!Find(hwnd)) return nullptr;
  if (!detail::CallProc(*Find(hwnd), WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs), false)) return fail();
  Window* live = Find(hwnd);
  if (!live) return nullptr;
  detail::RecalcClient(*live);
  if (!Find(hwnd) || detail::CallProc(*Find(hwnd), WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs), false) == -1)
    return fail();
  live = Find(hwnd);
  if (!live) return nullptr;
  SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
              MAKELPARAM(uint16_t(live->client.right - live->client.left),
                         uint16_t(live->client.bottom - live->client.top)));
  if (!Find(hwnd)) return nullptr;
  SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(uint16_t(x), uint16_t(y)));
  if (Find(hwnd) && (style & WS_VISIBLE)) ShowWindow(hwnd, SW_SHOW);
  return Find(hwnd) ? hwnd : HWND();
}

bool DestroyWindow(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  if (!w || w->destroying) return false;
  if (!w->IsChild())
    for (HWND owned : OwnedBy(hwnd)) DestroyWindow(owned);
  w = Find(hwnd);
  if (!w) return false;
  if (w->style & WS_VISIBLE) ShowWindow(hwnd, SW_HIDE);
  w = Find(hwnd);
  if (!w) return false;
  System& s = Sys();
  // The special windows leave with the window and its descendants.
  const auto inside = [&](HWND h) { return h && (h == hwnd || IsChild(hwnd, h)); };
  if (inside(s.capture)) ReleaseCapture();
  if (inside(s.focus)) s.focus = nullptr;
  const bool wasActive = s.active == hwnd;
  const HWND ownerOfDead = w->owner;
  SendDestroy(*w);
  SendNcDestroyAndFree(hwnd);
  if (wasActive) {
    s.active = nullptr;
    HWND next = IsWindow(ownerOfDead) ? ownerOfDead : HWND();
    for (HWND top : s.tops) {
      Window* t = Find(top);
      if (!next && t && (t->style & WS_VISIBLE) && !(t->style & WS_DISABLED)) next = top;
    }
    if (next) SetActiveWindow(next);
  }
  return true;
}

bool IsWindow(HWND hwnd) {
  if (!hwnd) return false;
  return Sys().windows.count(hwnd.id) != 0;
}

HWND GetParent(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  if (!w) return nullptr;
  return w->IsChild() ? w->parent : w->owner;
}

HWND GetOwner(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  return w ? w->owner : HWND();
}

HWND GetTopLevel(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  return w ? detail::TopOf(*w).Handle() : HWND();
}

bool IsChild(HWND parent, HWND hwnd) {
  for (Window* w = Find(hwnd); w && w->IsChild();) {
    if (w->parent == parent) return true;
    w = Find(w->parent);
  }
  return false;
}

std::vector<HWND> GetChildren(HWND parent) {
  if (!parent) return Sys().tops;
  const Window* w = Find(parent);
  return w ? w->children : std::vector<HWND>();
}

HWND GetDlgItem(HWND parent, int id) {
  const Window* w = Find(parent);
  if (!w) return nullptr;
  for (HWND child : w->children)
    if (const Window* c = Find(child); c && c->ctrlId == UINT_PTR(id)) return child;
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  return w && w->IsChild() ? int(w->ctrlId) : 0;
}

namespace {

HWND DeepestAt(HWND hwnd, POINT screen) {
  Window* w = detail::Resolve(hwnd);
  const POINT origin = ClientOrigin(hwnd);
  const POINT p{screen.x - origin.x, screen.y - origin.y};
  if (p.x >= 0 && p.y >= 0 && p.x < w->client.right - w->client.left && p.y < w->client.bottom - w->client.top)
    for (HWND child : w->children) {
      const Window* c = Find(child);
      if (c && (c->style & WS_VISIBLE) && p.x >= c->rect.left && p.x < c->rect.right && p.y >= c->rect.top &&
          p.y < c->rect.bottom)
        return DeepestAt(child, screen);
    }
  return hwnd;
}

}  // namespace

HWND WindowFromPoint(POINT screen) {
  for (HWND top : Sys().tops) {
    const Window* t = Find(top);
    if (t && (t->style & WS_VISIBLE) && screen.x >= t->rect.left && screen.x < t->rect.right &&
        screen.y >= t->rect.top && screen.y < t->rect.bottom)
      return DeepestAt(top, screen);
  }
  return nullptr;
}

intptr_t GetWindowLongPtr(HWND hwnd, int index) {
  const Window* w = detail::Resolve(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<intptr_t>(w->proc);
    case GWLP_ID: return intptr_t(w->ctrlId);
    case GWL_STYLE: return intptr_t(w->style);
    case GWL_EXSTYLE: return intptr_t(w->exStyle);
    case GWLP_USERDATA: return w->userData;
  }
  if (index < 0 || size_t(index) + sizeof(intptr_t) > w->extra.size()) return 0;
  intptr_t v;
  std::memcpy(&v, w->extra.data() + index, sizeof v);
  return v;
}

intptr_t SetWindowLongPtr(HWND hwnd, int index, intptr_t value) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return 0;
  const intptr_t old = GetWindowLongPtr(hwnd, index);
  switch (index) {
    case GWLP_WNDPROC:
      if (value) w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWLP_ID: w->ctrlId = UINT_PTR(value); return old;
    case GWL_STYLE: w->style = DWORD(value); return old;
    case GWL_EXSTYLE: w->exStyle = DWORD(value); return old;
    case GWLP_USERDATA: w->userData = value; return old;
  }
  if (index < 0 || size_t(index) + sizeof(intptr_t) > w->extra.size()) return 0;
  std::memcpy(w->extra.data() + index, &value, sizeof value);
  return old;
}

void* GetWindowObject(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  return w ? w->object : nullptr;
}

void SetWindowObject(HWND hwnd, void* object) {
  if (Window* w = Find(hwnd)) w->object = object;
}

bool SetProp(HWND hwnd, std::string_view name, intptr_t value) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  for (auto& [key, v] : w->props)
    if (SameName(key, name)) return v = value, true;
  w->props.emplace_back(std::string(name), value);
  return true;
}

intptr_t GetProp(HWND hwnd, std::string_view name) {
  const Window* w = detail::Resolve(hwnd);
  if (!w) return 0;
  for (const auto& [key, v] : w->props)
    if (SameName(key, name)) return v;
  return 0;
}

intptr_t RemoveProp(HWND hwnd, std::string_view name) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return 0;
  for (auto it = w->props.begin(); it != w->props.end(); ++it)
    if (SameName(it->first, name)) {
      const intptr_t v = it->second;
      w->props.erase(it);
      return v;
    }
  return 0;
}

bool SetWindowText(HWND hwnd, std::string_view text) {
  const std::string copy(text);
  return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str())) != 0;
}

int GetWindowText(HWND hwnd, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = 0;
  return int(SendMessage(hwnd, WM_GETTEXT, WPARAM(size), reinterpret_cast<LPARAM>(buffer)));
}

std::string GetWindowText(HWND hwnd) {
  const int n = GetWindowTextLength(hwnd);
  std::string text(size_t(n) + 1, '\0');
  text.resize(size_t(GetWindowText(hwnd, text.data(), n + 1)));
  return text;
}

int GetWindowTextLength(HWND hwnd) { return int(SendMessage(hwnd, WM_GETTEXTLENGTH)); }

bool GetWindowRect(HWND hwnd, RECT* rect) {
  const Window* w = detail::Resolve(hwnd);
  if (!w || !rect) return false;
  POINT o{w->rect.left, w->rect.top};
  if (w->IsChild()) {
    const POINT po = ClientOrigin(w->parent);
    o = {po.x + o.x, po.y + o.y};
  }
  *rect = {o.x, o.y, o.x + w->rect.right - w->rect.left, o.y + w->rect.bottom - w->rect.top};
  return true;
}

bool GetClientRect(HWND hwnd, RECT* rect) {
  const Window* w = detail::Resolve(hwnd);
  if (!w || !rect) return false;
  *rect = {0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  return true;
}

POINT ClientOrigin(HWND hwnd) {
  RECT r;
  const Window* w = Find(hwnd);
  if (!w || !GetWindowRect(hwnd, &r)) return {};
  return {r.left + w->client.left, r.top + w->client.top};
}

bool ClientToScreen(HWND hwnd, POINT* p) {
  if (!Find(hwnd) || !p) return false;
  const POINT o = ClientOrigin(hwnd);
  p->x += o.x, p->y += o.y;
  return true;
}

bool ScreenToClient(HWND hwnd, POINT* p) {
  if (!Find(hwnd) || !p) return false;
  const POINT o = ClientOrigin(hwnd);
  p->x -= o.x, p->y -= o.y;
  return true;
}

bool SetWindowPos(HWND hwnd, HWND after, int x, int y, int width, int height, UINT flags) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  RECT r = w->rect;
  if (!(flags & SWP_NOMOVE)) r = {x, y, x + r.right - r.left, y + r.bottom - r.top};
  if (!(flags & SWP_NOSIZE)) r.right = r.left + std::max(0, width), r.bottom = r.top + std::max(0, height);
  if (!(flags & SWP_NOZORDER)) {
    auto& list = Siblings(*w);
    std::erase(list, hwnd);
    auto at = std::find(list.begin(), list.end(), after);
    list.insert(after && at != list.end() ? at + 1 : list.begin(), hwnd);
  }
  const bool moved = r.left != w->rect.left || r.top != w->rect.top;
  const bool sized = r.right - r.left != w->rect.right - w->rect.left || r.bottom - r.top != w->rect.bottom - w->rect.top;
  if (!moved && !sized) {
    if (!(flags & SWP_NOZORDER) && (w->style & WS_VISIBLE)) InvalidateBelow(*w);
    return true;
  }
  if (w->style & WS_VISIBLE) InvalidateBelow(*w);
  w->rect = r;
  if (sized) {
    if (!w->IsChild()) w->surface = Bitmap::Create(std::max(1, r.right - r.left), std::max(1, r.bottom - r.top), 32);
    detail::RecalcClient(*w);
  }
  if (!(w = Find(hwnd))) return false;
  if (w->style & WS_VISIBLE) {
    RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    InvalidateBelow(*w);
  }
  if (moved) SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(uint16_t(r.left), uint16_t(r.top)));
  if (sized && (w = Find(hwnd)))
    SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
                MAKELPARAM(uint16_t(w->client.right - w->client.left), uint16_t(w->client.bottom - w->client.top)));
  return IsWindow(hwnd);
}

bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool BringWindowToTop(HWND hwnd) { return SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

bool ShowWindow(HWND hwnd, int command) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  const bool was = (w->style & WS_VISIBLE) != 0;
  const bool show = command != SW_HIDE;
  if (was == show) return was;
  SendMessage(hwnd, WM_SHOWWINDOW, show, 0);
  if (!(w = Find(hwnd))) return was;
  if (show) {
    w->style |= WS_VISIBLE;
    RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    if (!w->IsChild() && command != SW_SHOWNA && !(w->style & WS_DISABLED)) SetActiveWindow(hwnd);
  } else {
    InvalidateBelow(*w);
    w->style &= ~WS_VISIBLE;
    if (Sys().focus && (Sys().focus == hwnd || IsChild(hwnd, Sys().focus))) SetFocus(nullptr);
  }
  return was;
}

bool IsWindowVisible(HWND hwnd) {
  for (const Window* w = Find(hwnd); w; w = w->IsChild() ? Find(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return false;
  return Find(hwnd) != nullptr;
}

bool EnableWindow(HWND hwnd, bool enable) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  const bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (wasDisabled != enable) return wasDisabled;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    System& s = Sys();
    if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus))) SetFocus(nullptr);
    if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture))) ReleaseCapture();
  }
  SendMessage(hwnd, WM_ENABLE, enable, 0);
  return wasDisabled;
}

bool IsWindowEnabled(HWND hwnd) {
  const Window* w = detail::Resolve(hwnd);
  return w && !(w->style & WS_DISABLED);
}

HWND SetActiveWindow(HWND hwnd) {
  System& s = Sys();
  Window* w = Find(hwnd);
  if (w) hwnd = detail::TopOf(*w).Handle();
  const HWND old = s.active;
  if (old == hwnd) return old;
  if (Find(old)) {
    SendMessage(old, WM_NCACTIVATE, false, 0);
    SendMessage(old, WM_ACTIVATE, MAKEWPARAM(uint16_t(WA_INACTIVE), 0), LPARAM(hwnd.id));
  }
  s.active = Find(hwnd) ? hwnd : HWND();
  if (s.active) {
    BringWindowToTop(hwnd);
    SendMessage(hwnd, WM_NCACTIVATE, true, 0);
    SendMessage(hwnd, WM_ACTIVATE, MAKEWPARAM(uint16_t(WA_ACTIVE), 0), LPARAM(old.id));
  }
  return old;
}

HWND GetActiveWindow() { return Sys().active; }

bool SetForegroundWindow(HWND hwnd) {
  if (!Find(hwnd)) return false;
  SetActiveWindow(hwnd);
  return true;
}

HWND SetFocus(HWND hwnd) {
  System& s = Sys();
  const HWND original = s.focus;
  if (hwnd && !Find(hwnd)) return original;
  if (hwnd == original) return original;
  // Activation may move the focus itself (to the window activated).
  if (hwnd && GetTopLevel(hwnd) != s.active) SetActiveWindow(hwnd);
  const HWND old = s.focus;
  if (old == hwnd) return original;
  if (Find(old)) {
    s.focus = nullptr;
    SendMessage(old, WM_KILLFOCUS, WPARAM(hwnd.id), 0);
  }
  s.focus = Find(hwnd) ? hwnd : HWND();
  if (s.focus) SendMessage(hwnd, WM_SETFOCUS, WPARAM(old.id), 0);
  return original;
}

HWND GetFocus() { return Sys().focus; }

HWND SetCapture(HWND hwnd) {
  System& s = Sys();
  const HWND old = s.capture;
  if (!Find(hwnd)) return old;
  s.capture = hwnd;
  if (Find(old) && old != hwnd) SendMessage(old, WM_CAPTURECHANGED, 0, LPARAM(hwnd.id));
  return old;
}

bool ReleaseCapture() {
  System& s = Sys();
  const HWND old = s.capture;
  s.capture = nullptr;
  if (Find(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return Sys().capture; }

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return Sys().screenWidth;
    case SM_CYSCREEN: return Sys().screenHeight;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CYCAPTION:
    case SM_CYMENU: return 19;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXHSCROLL:
    case SM_CYHSCROLL: return 16;
  }
  return 0;
}

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_BACKGROUND: return RGB(0, 128, 128);
    case COLOR_ACTIVECAPTION: return RGB(0, 0, 128);
    case COLOR_INACTIVECAPTION: return RGB(128, 128, 128);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(192, 192, 192);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_INACTIVECAPTIONTEXT: return RGB(192, 192, 192);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 0, 128);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_INFOTEXT: return RGB(0, 0, 0);
    case COLOR_INFOBK: return RGB(255, 255, 225);
  }
  return RGB(0, 0, 0);
}

void SetScreenSize(int width, int height) {
  System& s = Sys();
  s.screenWidth = std::max(1, width);
  s.screenHeight = std::max(1, height);
  s.screen.reset();
}

RECT NonClientInsets(DWORD style, DWORD exStyle) {
  int edge = 0;
  if (style & WS_THICKFRAME) edge = GetSystemMetrics(SM_CXFRAME);
  else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) edge = GetSystemMetrics(SM_CXDLGFRAME);
  else if (style & WS_BORDER) edge = 1;
  if (exStyle & WS_EX_CLIENTEDGE) edge += 2;
  const int caption = (style & WS_CAPTION) == WS_CAPTION ? GetSystemMetrics(SM_CYCAPTION) : 0;
  return {edge, edge + caption, edge, edge};
}

}  // namespace win
