// The tool-tip control's procedure (see tooltip.h).
#include "platform/controls/tooltip.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "platform/controls/pertable.h"
#include "platform/fonts/font.h"
#include "platform/gdi/dc.h"
#include "platform/win/input.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace win {

namespace {

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kPopTimer = 2;
constexpr int kPadding = 2;       // inside the border, around the text
constexpr int kBelowCursor = 20;  // the tip's top below the mouse

struct Tool {
  UINT flags = 0;
  HWND hwnd;
  UINT_PTR id = 0;
  RECT rect;
  bool callback = false;
  std::string text;
  LPARAM lParam = 0;

  bool Same(const TOOLINFO& ti) const { return hwnd == ti.hwnd && id == ti.uId; }
  bool Under(HWND window, POINT p) const {
    if (flags & TTF_IDISHWND) return HWND(uint32_t(id)) == window;
    return hwnd == window && p.x >= rect.left && p.x < rect.right && p.y >= rect.top && p.y < rect.bottom;
  }
};

struct Tip {
  std::vector<Tool> tools;
  int hover = -1;          // the tool under the mouse, -1 none
  bool pressed = false;    // a button went down on the hover tool (rule 2)
  bool active = true;
  UINT initial = kToolTipInitialDelay, autoPop = kToolTipAutoPopDelay;
  std::deque<MSG> relayed;
  LOGFONT font;
};

PerWindow<Tip>& Tips() {
  static PerWindow<Tip> table;
  return table;
}

// The tip's own font: the small sans-serif face of the system's tips.
LOGFONT TipFont() {
  LOGFONT lf;
  lf.lfHeight = -11;
  SetFaceName(lf, "MS Sans Serif");
  return lf;
}

void Hide(HWND hwnd) {
  KillTimer(hwnd, kShowTimer);
  KillTimer(hwnd, kPopTimer);
  ShowWindow(hwnd, SW_HIDE);
}

std::string TextOf(HWND hwnd, const Tool& tool) {
  if (!tool.callback) return tool.text;
  NMTTDISPINFO info;
  info.hdr.hwndFrom = hwnd;
  info.hdr.idFrom = tool.id;
  info.hdr.code = TTN_GETDISPINFO;
  info.uFlags = tool.flags;
  info.lParam = tool.lParam;
  SendMessage(tool.hwnd, WM_NOTIFY, tool.id, reinterpret_cast<LPARAM>(&info));
  if (info.lpszText && info.lpszText != LPSTR_TEXTCALLBACK) return info.lpszText;
  info.szText[sizeof info.szText - 1] = 0;
  return info.szText;
}

void Show(HWND hwnd, Tip& tip) {
  KillTimer(hwnd, kShowTimer);
  if (tip.hover < 0) return;
  const std::string text = TextOf(hwnd, tip.tools[size_t(tip.hover)]);
  if (text.empty()) return;
  const auto font = platform::fonts::Font::Create(tip.font);
  const int width = font->TextWidth(text) + 2 * (kPadding + 1);
  const int height = font->Metrics().tmHeight + 2 * (kPadding + 1);
  const POINT at = GetCursorPos();
  const int x = std::clamp(at.x, 0, std::max(0, GetSystemMetrics(SM_CXSCREEN) - width));
  int y = at.y + kBelowCursor;
  if (y + height > GetSystemMetrics(SM_CYSCREEN)) y = std::max(0, at.y - height);
  SetWindowText(hwnd, text);
  SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd, SW_SHOWNA);
  InvalidateRect(hwnd, nullptr, true);
  SetTimer(hwnd, kPopTimer, tip.autoPop);
}

void Relay(HWND hwnd, Tip& tip, const MSG& m) {
  tip.relayed.push_back(m);
  if (tip.relayed.size() > kRelayRecord) tip.relayed.pop_front();
  if (!tip.active) return;
  if (m.message != WM_MOUSEMOVE) {
    if (m.message >= WM_LBUTTONDOWN && m.message <= WM_MBUTTONDBLCLK) {
      tip.pressed = tip.hover >= 0;
      Hide(hwnd);
    }
    return;
  }
  const POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
  int now = -1;
  for (size_t i = 0; i < tip.tools.size() && now < 0; ++i)
    if (tip.tools[i].Under(m.hwnd, p)) now = int(i);
  if (now == tip.hover) return;
  Hide(hwnd);
  tip.hover = now;
  tip.pressed = false;
  if (now >= 0) SetTimer(hwnd, kShowTimer, tip.initial);
}

void PaintTip(HWND hwnd, const Tip& tip) {
  PAINTSTRUCT ps;
  if (Dc* dc = BeginPaint(hwnd, &ps)) {
    RECT r;
    GetClientRect(hwnd, &r);
    dc->FillRect(r, CreateSolidBrush(GetSysColor(COLOR_INFOBK)));
    dc->FrameRect(r, CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME)));
    dc->SelectFont(tip.font);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(GetSysColor(COLOR_INFOTEXT));
    RECT text{r.left + 1 + kPadding, r.top + 1 + kPadding, r.right - 1, r.bottom - 1};
    dc->DrawText(GetWindowText(hwnd), &text, DT_SINGLELINE | DT_NOPREFIX);
  }
  EndPaint(hwnd, &ps);
}

LRESULT ToolTipProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) Tips().Make(hwnd).font = TipFont();
  Tip* tip = Tips().Of(hwnd);
  if (!tip) return DefWindowProc(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_NCDESTROY: Tips().Erase(hwnd); break;
    case WM_SETFONT:
      if (wParam) tip->font = *reinterpret_cast<const LOGFONT*>(wParam);
      return 0;
    case WM_NCHITTEST: return HTNOWHERE;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case TTM_ADDTOOL: {
      const auto* ti = reinterpret_cast<const TOOLINFO*>(lParam);
      if (!ti) return 0;
      std::erase_if(tip->tools, [&](const Tool& t) { return t.Same(*ti); });
      Tool tool{ti->uFlags, ti->hwnd, ti->uId, ti->rect, ti->lpszText == LPSTR_TEXTCALLBACK, {}, ti->lParam};
      if (!tool.callback && ti->lpszText) tool.text = ti->lpszText;
      tip->tools.push_back(std::move(tool));
      return 1;
    }
    case TTM_DELTOOL: {
      const auto* ti = reinterpret_cast<const TOOLINFO*>(lParam);
      if (!ti) return 0;
      Hide(hwnd);
      tip->hover = -1;
      std::erase_if(tip->tools, [&](const Tool& t) { return t.Same(*ti); });
      return 0;
    }
    case TTM_GETTOOLCOUNT: return LRESULT(tip->tools.size());
    case TTM_ACTIVATE:
      tip->active = wParam != 0;
      if (!tip->active) {
        Hide(hwnd);
        tip->hover = -1;
      }
      return 0;
    case TTM_SETDELAYTIME: {
      const UINT ms = lParam < 0 ? 0 : UINT(lParam);
      if (wParam == TTDT_INITIAL) tip->initial = lParam < 0 ? kToolTipInitialDelay : ms;
      if (wParam == TTDT_AUTOPOP) tip->autoPop = lParam < 0 ? kToolTipAutoPopDelay : ms;
      return 0;
    }
    case TTM_RELAYEVENT:
      if (lParam) Relay(hwnd, *tip, *reinterpret_cast<const MSG*>(lParam));
      return 0;
    case TTM_POP: Hide(hwnd); return 0;
    case WM_TIMER:
      if (wParam == kShowTimer && !tip->pressed) Show(hwnd, *tip);
      else Hide(hwnd);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintTip(hwnd, *tip); return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterToolTipClass() {
  if (GetClassInfo(kToolTipClass, nullptr)) return;
  WNDCLASS wc;
  wc.lpfnWndProc = ToolTipProc;
  wc.lpszClassName = kToolTipClass;
  RegisterClass(wc);
}

std::vector<MSG> RelayedMessages(HWND tooltip) {
  const Tip* tip = Tips().Of(tooltip);
  return tip ? std::vector<MSG>(tip->relayed.begin(), tip->relayed.end()) : std::vector<MSG>{};
}

}  // namespace win
