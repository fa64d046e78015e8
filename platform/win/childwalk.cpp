// The walk over a window's descendants and the mapping of points between
// windows (see window.h).
#include <functional>

#include "platform/win/window.h"

namespace win {

bool EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param) {
  if (!parent || !IsWindow(parent)) return false;
  std::vector<HWND> all;
  const std::function<void(HWND)> collect = [&](HWND h) {
    for (HWND child : GetChildren(h)) {
      all.push_back(child);
      collect(child);
    }
  };
  collect(parent);
  for (HWND h : all)
    if (IsWindow(h) && !proc(h, param)) return false;
  return true;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  const POINT a = from ? ClientOrigin(from) : POINT{0, 0};
  const POINT b = to ? ClientOrigin(to) : POINT{0, 0};
  const int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; i < count; ++i) points[i].x += dx, points[i].y += dy;
  return int(uint16_t(int16_t(dx))) | (int(uint16_t(int16_t(dy))) << 16);
}

}  // namespace win
