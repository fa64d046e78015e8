// Update regions, BeginPaint/EndPaint, window DCs, scrolling, the default
// frame and the compositor (see paint.h).
#include "platform/win/paint.h"

#include <algorithm>
#include <cstring>

#include "platform/win/message.h"
#include "platform/win/system_internal.h"
#include "platform/win/window.h"

namespace win {

using detail::Find;
using detail::Sys;
using detail::Window;

namespace {

struct LiveDc {
  std::unique_ptr<Dc> dc;
  HWND hwnd;
};
std::vector<LiveDc>& LiveDcs() {
  static std::vector<LiveDc> dcs;
  return dcs;
}

RECT Offset(RECT r, int dx, int dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

RECT ClientBox(const Window& w) { return {0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top}; }

// Adds region (client coordinates of w) to w's update region and to the
// overlapped part of its visible descendants.
void AddUpdate(Window& w, const Region& region, bool erase) {
  Region r = Region::Combined(region, Region(ClientBox(w)), RGN_AND);
  if (r.Empty()) return;
  w.update.Combine(w.update, r, RGN_OR);
  if (w.painting) w.invalidatedWhilePainting.Combine(w.invalidatedWhilePainting, r, RGN_OR);
  w.erase = w.erase || erase;
  for (HWND child : w.children) {
    Window* c = Find(child);
    if (!c || !(c->style & WS_VISIBLE)) continue;
    if (!r.Intersects(c->rect)) continue;
    const RECT inner = c->client;
    if (inner.left > 0 || inner.top > 0 || inner.right < c->rect.right - c->rect.left ||
        inner.bottom < c->rect.bottom - c->rect.top)
      c->frameDirty = true;
    Region part = r;
    part.Offset(-(c->rect.left + c->client.left), -(c->rect.top + c->client.top));
    AddUpdate(*c, part, erase);
  }
}

// A DC on the window's top-level surface with origin at `origin` (top-level
// coordinates) clipped to `clip` (top-level coordinates).
Dc* MakeDc(Window& w, POINT origin, const Region& clip) {
  Window& top = detail::TopOf(w);
  if (!top.surface) return nullptr;
  auto dc = std::make_unique<Dc>(top.surface);
  dc->SetViewportOrgEx(origin.x, origin.y);
  dc->SelectClipRgn(&clip);
  Dc* raw = dc.get();
  LiveDcs().push_back({std::move(dc), w.Handle()});
  return raw;
}

// Takes off what the visible siblings above the window cover, when it (or
// the ancestor on that level) clips its siblings (WS_CLIPSIBLINGS).
void ClipSiblings(const Window& w, Region& clip) {
  for (const Window* p = &w; p->IsChild();) {
    const Window* parent = Find(p->parent);
    if (!parent) break;
    if (p->style & WS_CLIPSIBLINGS)
      for (HWND h : parent->children) {
        if (h == p->Handle()) break;
        if (const Window* s = Find(h); s && (s->style & WS_VISIBLE))
          clip.Combine(clip, Region(detail::WindowInTop(*s)), RGN_DIFF);
      }
    p = parent;
  }
}

Region VisibleClientRegion(const Window& w) {
  Region clip(detail::VisibleClientInTop(w));
  ClipSiblings(w, clip);
  return clip;
}

POINT ClientOriginInTop(const Window& w) {
  const RECT r = detail::ClientInTop(w);
  return {r.left, r.top};
}

}  // namespace

namespace detail {

void ScreenChanged(const RECT& r) {
  System& s = Sys();
  s.screenDirty.Combine(s.screenDirty, Region(r), RGN_OR);
}

void ScreenChangedForWindow(const Window& top) { ScreenChanged(top.rect); }

}  // namespace detail

bool InvalidateRgn(HWND hwnd, const Region* region, bool erase) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  AddUpdate(*w, region ? *region : Region(ClientBox(*w)), erase);
  return true;
}

bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  const Region r(rect ? *rect : ClientBox(*w));
  return InvalidateRgn(hwnd, &r, erase);
}

bool ValidateRect(HWND hwnd, const RECT* rect) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  if (!rect) w->update = Region();
  else w->update.Combine(w->update, Region(*rect), RGN_DIFF);
  if (w->update.Empty()) w->erase = false;
  return true;
}

bool RedrawWindow(HWND hwnd, const RECT* rect, UINT flags) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  if (flags & RDW_FRAME) w->frameDirty = true;
  if (flags & RDW_INVALIDATE) InvalidateRect(hwnd, rect, (flags & RDW_ERASE) != 0);
  if (flags & RDW_UPDATENOW) UpdateWindow(hwnd);
  return true;
}

bool UpdateWindow(HWND hwnd) {
  if (!Find(hwnd)) return false;
  // Each round paints one window; a proc that keeps invalidating itself
  // ends after a bounded number of rounds.
  // WM_PAINT is sent here, not taken from the queue: no get-message hook sees it.
  for (int round = 0; round < 100000; ++round) {
    const HWND next = detail::NextPaint(hwnd);
    if (!next) break;
    MSG msg;
    msg.hwnd = next;
    msg.message = WM_PAINT;
    DispatchMessage(&msg);
  }
  return true;
}

bool GetUpdateRect(HWND hwnd, RECT* rect, bool) {
  const Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  if (rect) *rect = w->update.Box();
  return !w->update.Empty();
}

bool GetUpdateRgn(HWND hwnd, Region* region) {
  const Window* w = detail::Resolve(hwnd);
  if (!w) return false;
  if (region) *region = w->update;
  return !w->update.Empty();
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return nullptr;
  if (w->frameDirty) {
    w->frameDirty = false;
    SendMessage(hwnd, WM_NCPAINT, 1, 0);
    if (!(w = Find(hwnd))) return nullptr;
  }
  Region update = w->update;
  const bool erase = w->erase;
  w->update = Region();
  w->erase = false;
  const POINT origin = ClientOriginInTop(*w);
  Region clip = update;
  clip.Offset(origin.x, origin.y);
  clip.Combine(clip, VisibleClientRegion(*w), RGN_AND);
  Dc* dc = MakeDc(*w, origin, clip);
  bool mustErase = false;
  if (erase && dc) mustErase = SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
  if (ps) {
    ps->hdc = dc;
    ps->fErase = mustErase;
    ps->rcPaint = update.Box();
  }
  return dc;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps) { return ps && ReleaseDC(hwnd, ps->hdc) != 0; }

HDC GetDC(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return nullptr;
  return MakeDc(*w, ClientOriginInTop(*w), VisibleClientRegion(*w));
}

HDC GetWindowDC(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return nullptr;
  const RECT r = detail::WindowInTop(*w);
  Region clip(r);
  if (w->IsChild())
    if (const Window* p = Find(w->parent)) clip.Combine(clip, VisibleClientRegion(*p), RGN_AND);
  ClipSiblings(*w, clip);
  return MakeDc(*w, {r.left, r.top}, clip);
}

int ReleaseDC(HWND hwnd, HDC dc) {
  auto& dcs = LiveDcs();
  for (auto it = dcs.begin(); it != dcs.end(); ++it)
    if (it->dc.get() == dc) {
      dcs.erase(it);
      if (Window* w = Find(hwnd)) detail::ScreenChangedForWindow(detail::TopOf(*w));
      return 1;
    }
  return 0;
}

int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* rect, const RECT* clip, Region* update, RECT* updateBox,
                   UINT flags) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return ERROR_REGION;
  const RECT area = rect ? *rect : ClientBox(*w);
  Region limit(area);
  if (clip) limit.Combine(limit, Region(*clip), RGN_AND);
  // Pixels move within limit: the part of the source that lands inside it.
  Region moved(Offset(area, dx, dy));
  moved.Combine(moved, limit, RGN_AND);
  moved.Combine(moved, Region(ClientBox(*w)), RGN_AND);
  Window& top = detail::TopOf(*w);
  const POINT origin = ClientOriginInTop(*w);
  if (top.surface && !moved.Empty()) {
    Bitmap& surface = *top.surface;
    const Bitmap before = surface;
    Region target = moved;
    target.Offset(origin.x, origin.y);
    target.Combine(target, VisibleClientRegion(*w), RGN_AND);
    for (const auto& band : target.Bands())
      for (int32_t y = band.top; y < band.bottom; ++y)
        for (const auto& span : band.spans)
          for (int32_t x = span.left; x < span.right; ++x) {
            const int32_t sx = x - dx, sy = y - dy;
            if (sx >= 0 && sy >= 0 && sx < surface.Width() && sy < surface.Height() && x >= 0 && y >= 0 &&
                x < surface.Width() && y < surface.Height())
              surface.Set(x, y, before.Get(sx, sy));
          }
    detail::ScreenChangedForWindow(top);
  }
  // The pending update moves along.
  if (!w->update.Empty()) {
    Region inside = Region::Combined(w->update, limit, RGN_AND);
    Region outside = Region::Combined(w->update, limit, RGN_DIFF);
    inside.Offset(dx, dy);
    inside.Combine(inside, limit, RGN_AND);
    w->update = Region::Combined(outside, inside, RGN_OR);
  }
  Region uncovered = Region::Combined(limit, moved, RGN_DIFF);
  if (flags & SW_SCROLLCHILDREN)
    for (HWND child : std::vector<HWND>(w->children))
      if (Window* c = Find(child)) {
        c->rect = Offset(c->rect, dx, dy);
        SendMessage(child, WM_MOVE, 0, MAKELPARAM(uint16_t(c->rect.left), uint16_t(c->rect.top)));
      }
  if (flags & SW_INVALIDATE) InvalidateRgn(hwnd, &uncovered, (flags & SW_ERASE) != 0);
  if (update) *update = uncovered;
  if (updateBox) *updateBox = uncovered.Box();
  return uncovered.Kind();
}

void DrawDefaultFrame(HWND hwnd, Dc& dc, bool active) {
  const Window* w = detail::Resolve(hwnd);
  if (!w) return;
  const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
  const RECT insets = NonClientInsets(w->style, w->exStyle);
  const auto line = [&](int x0, int y0, int x1, int y1, int color) {
    dc.FillRect({x0, y0, x1, y1}, CreateSolidBrush(GetSysColor(color)));
  };
  int edge = insets.left;
  if (w->exStyle & WS_EX_CLIENTEDGE) edge -= 2;
  if (edge == 1) {
    dc.FrameRect({0, 0, width, height}, CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME)));
  } else if (edge > 1) {
    dc.FillRect({0, 0, width, edge}, CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    dc.FillRect({0, height - edge, width, height}, CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    dc.FillRect({0, 0, edge, height}, CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    dc.FillRect({width - edge, 0, width, height}, CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    // Raised: light outside on the top and left, dark outside on the bottom and right.
    line(0, 0, width - 1, 1, COLOR_BTNFACE);
    line(0, 0, 1, height - 1, COLOR_BTNFACE);
    line(1, 1, width - 2, 2, COLOR_BTNHIGHLIGHT);
    line(1, 1, 2, height - 2, COLOR_BTNHIGHLIGHT);
    line(0, height - 1, width, height, COLOR_3DDKSHADOW);
    line(width - 1, 0, width, height, COLOR_3DDKSHADOW);
    line(1, height - 2, width - 1, height - 1, COLOR_BTNSHADOW);
    line(width - 2, 1, width - 1, height - 1, COLOR_BTNSHADOW);
  }
  if ((w->style & WS_CAPTION) == WS_CAPTION) {
    const int captionHeight = GetSystemMetrics(SM_CYCAPTION) - 1;
    const RECT bar{edge, edge, width - edge, edge + captionHeight};
    dc.FillRect(bar, CreateSolidBrush(GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION)));
    line(edge, bar.bottom, width - edge, bar.bottom + 1, COLOR_BTNFACE);
    RECT textBox{bar.left + 3, bar.top, bar.right - 2, bar.bottom};
    if (w->style & WS_SYSMENU) {
      // The close box: a raised square with a cross.
      const int side = captionHeight - 4;
      const RECT box{bar.right - 2 - side - 2, bar.top + 2, bar.right - 2, bar.top + 2 + side};
      dc.FillRect(box, CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
      line(box.left, box.top, box.right, box.top + 1, COLOR_BTNHIGHLIGHT);
      line(box.left, box.top, box.left + 1, box.bottom, COLOR_BTNHIGHLIGHT);
      line(box.left, box.bottom - 1, box.right, box.bottom, COLOR_3DDKSHADOW);
      line(box.right - 1, box.top, box.right, box.bottom, COLOR_3DDKSHADOW);
      const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2, arm = side / 4;
      for (int i = -arm; i <= arm; ++i) {
        line(cx + i - 1, cy + i, cx + i + 1, cy + i + 1, COLOR_WINDOWTEXT);
        line(cx + i - 1, cy - i, cx + i + 1, cy - i + 1, COLOR_WINDOWTEXT);
      }
      textBox.right = box.left - 2;
    }
    LOGFONT font{};
    font.lfHeight = -11;
    font.lfWeight = FW_BOLD;
    std::strcpy(font.lfFaceName, "MS Sans Serif");
    const LOGFONT old = dc.SelectFont(font);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    dc.DrawText(w->text, &textBox, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    dc.SelectFont(old);
  }
  detail::PaintMenuBar(*w, dc);
  if (w->exStyle & WS_EX_CLIENTEDGE) {
    const RECT c = w->client;
    line(c.left - 2, c.top - 2, c.right + 2, c.top - 1, COLOR_BTNSHADOW);
    line(c.left - 2, c.top - 2, c.left - 1, c.bottom + 2, COLOR_BTNSHADOW);
    line(c.left - 1, c.top - 1, c.right + 1, c.top, COLOR_3DDKSHADOW);
    line(c.left - 1, c.top - 1, c.left, c.bottom + 1, COLOR_3DDKSHADOW);
    line(c.left - 2, c.bottom + 1, c.right + 2, c.bottom + 2, COLOR_BTNHIGHLIGHT);
    line(c.right + 1, c.top - 2, c.right + 2, c.bottom + 2, COLOR_BTNHIGHLIGHT);
    line(c.left - 1, c.bottom, c.right + 1, c.bottom + 1, COLOR_BTNFACE);
    line(c.right, c.top - 1, c.right + 1, c.bottom + 1, COLOR_BTNFACE);
  }
}

std::shared_ptr<Bitmap> WindowSurface(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  return w ? detail::TopOf(*w).surface : nullptr;
}

const Bitmap& ComposeScreen() {
  detail::System& s = Sys();
  if (!s.screen || s.screen->Width() != s.screenWidth || s.screen->Height() != s.screenHeight) {
    s.screen = Bitmap::Create(s.screenWidth, s.screenHeight, 32);
    s.screenDirty = Region(RECT{0, 0, s.screenWidth, s.screenHeight});
  }
  if (s.screenDirty.Empty()) return *s.screen;
  Bitmap& screen = *s.screen;
  screen.Fill(ToPixel(GetSysColor(COLOR_BACKGROUND)));
  for (auto it = s.tops.rbegin(); it != s.tops.rend(); ++it) {
    const Window* t = Find(*it);
    if (!t || !(t->style & WS_VISIBLE) || !t->surface) continue;
    const Bitmap& src = *t->surface;
    for (int32_t y = std::max(0, -t->rect.top); y < src.Height() && t->rect.top + y < screen.Height(); ++y) {
      const int32_t x0 = std::max(0, -t->rect.left);
      const int32_t x1 = std::min(src.Width(), screen.Width() - t->rect.left);
      if (x1 > x0)
        std::memcpy(screen.Row(t->rect.top + y) + t->rect.left + x0, src.Row(y) + x0, size_t(x1 - x0) * 4);
    }
  }
  return screen;
}

std::shared_ptr<Bitmap> Snapshot(HWND hwnd) {
  Window* w = detail::Resolve(hwnd);
  if (!w) return nullptr;
  UpdateWindow(detail::TopOf(*w).Handle());
  if (!(w = Find(hwnd))) return nullptr;
  const auto surface = detail::TopOf(*w).surface;
  const RECT r = detail::WindowInTop(*w);
  auto shot = Bitmap::Create(std::max(1, r.right - r.left), std::max(1, r.bottom - r.top), 32);
  if (!shot || !surface) return shot;
  for (int32_t y = 0; y < shot->Height(); ++y)
    for (int32_t x = 0; x < shot->Width(); ++x) {
      const int32_t sx = r.left + x, sy = r.top + y;
      if (sx >= 0 && sy >= 0 && sx < surface->Width() && sy < surface->Height()) shot->Set(x, y, surface->Get(sx, sy));
    }
  return shot;
}

}  // namespace win
