// Sending, posting, the queue's retrieval order, timers, waits and nested
// loops (see message.h).
#include "platform/win/message.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "platform/clock.h"
#include "platform/win/backend.h"
#include "platform/win/input.h"
#include "platform/win/clock.h"
#include "platform/win/paint.h"
#include "platform/win/system_internal.h"

namespace win {

using detail::Find;
using detail::Sys;
using detail::Window;

namespace {

RealClock realClock;
Clock* currentClock = &realClock;
Backend* currentBackend = nullptr;

bool Matches(HWND hwnd, HWND filter, UINT msg, UINT first, UINT last) {
  if (filter && hwnd != filter && !IsChild(filter, hwnd)) return false;
  if (first == 0 && last == 0) return true;
  return msg >= first && msg <= last;
}

MSG Make(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m;
  m.hwnd = hwnd, m.message = message, m.wParam = wParam, m.lParam = lParam;
  m.time = DWORD(detail::NowMs());
  m.pt = GetCursorPos();
  return m;
}

// The first window in paint order (top-level windows topmost first, each
// before its descendants) that needs painting and passes the filter.
HWND NeedsPaint(const std::vector<HWND>& list, HWND filter) {
  for (HWND h : list) {
    const Window* w = Find(h);
    if (!w || !(w->style & WS_VISIBLE)) continue;
    if ((!w->update.Empty() || w->frameDirty) && Matches(h, filter, WM_PAINT, 0, 0)) return h;
    if (HWND c = NeedsPaint(w->children, filter)) return c;
  }
  return nullptr;
}

detail::Timer* DueTimer(HWND filter) {
  const uint64_t now = detail::NowMs();
  detail::Timer* best = nullptr;
  for (detail::Timer& t : Sys().timers)
    if (t.due <= now && Matches(t.hwnd, filter, WM_TIMER, 0, 0) && (!best || t.due < best->due)) best = &t;
  return best;
}

bool InRange(UINT msg, UINT first, UINT last) { return (first == 0 && last == 0) || (msg >= first && msg <= last); }

}  // namespace

namespace detail {

HWND NextPaint(HWND filter) { return NeedsPaint(Sys().tops, filter); }

uint64_t NowMs() { return currentClock->Now(); }

LRESULT CallProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam, bool posted) {
  System& s = Sys();
  if (s.depth >= kMaxSendDepth) return 0;
  const HWND hwnd = w.Handle();
  if (s.observer) s.observer(hwnd, msg, wParam, lParam, posted, s.observerContext);
  ++s.depth;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{s.depth};
  return w.proc(hwnd, msg, wParam, lParam);
}

}  // namespace detail

Clock& CurrentClock() { return *currentClock; }
void SetClock(Clock* clock) { currentClock = clock ? clock : &realClock; }
uint64_t RealClock::Now() const { return platform::TickCountMs(); }
Backend* CurrentBackend() { return currentBackend; }
void SetBackend(Backend* backend) {
  currentBackend = backend;
  if (backend) SetScreenSize(backend->ScreenWidth(), backend->ScreenHeight());
}

void MessageBeep(UINT) {
  if (currentBackend) currentBackend->Beep();
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = detail::Resolve(hwnd);
  return w ? detail::CallProc(*w, msg, wParam, lParam, false) : 0;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto& s = Sys();
  if (!proc || s.depth >= kMaxSendDepth) return 0;
  ++s.depth;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{s.depth};
  return proc(hwnd, msg, wParam, lParam);
}

int SendDepth() { return Sys().depth; }

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !detail::Resolve(hwnd)) return false;
  Sys().posted.push_back(Make(hwnd, msg, wParam, lParam));
  return true;
}

void PostQuitMessage(int exitCode) {
  Sys().quit = true;
  Sys().quitCode = exitCode;
}

UINT RegisterWindowMessage(std::string_view name) {
  auto& names = Sys().registered;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return UINT(WM_REGISTERED_FIRST + i);
  names.emplace_back(name);
  return UINT(WM_REGISTERED_FIRST + names.size() - 1);
}

namespace {

bool Retrieve(MSG* msg, HWND filter, UINT first, UINT last, UINT remove);

}  // namespace

bool PeekMessage(MSG* msg, HWND filter, UINT first, UINT last, UINT remove) {
  if (!Retrieve(msg, filter, first, last, remove)) return false;
  if ((remove & PM_REMOVE) && !Sys().hooks.empty())
    Sys().hooks.back().proc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(msg));
  return true;
}

DWORD GetCurrentThreadId() {
  // The kernel's id of the calling thread: the one number every caller of
  // this process agrees on, as a hook's owner.
  static thread_local const DWORD id = DWORD(gettid());
  return id;
}

HHOOK SetWindowsHookEx(int idHook, HOOKPROC proc, void*, DWORD threadId) {
  if (idHook != WH_GETMESSAGE || !proc || threadId != GetCurrentThreadId()) return nullptr;
  auto& s = Sys();
  const HHOOK handle(s.nextHookId++);
  s.hooks.push_back({handle, proc});
  return handle;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  const auto& hooks = Sys().hooks;
  const auto it = std::find_if(hooks.begin(), hooks.end(), [&](const detail::Hook& h) { return h.handle == hook; });
  if (it == hooks.end() || it == hooks.begin()) return 0;
  return std::prev(it)->proc(code, wParam, lParam);
}

bool UnhookWindowsHookEx(HHOOK hook) {
  return std::erase_if(Sys().hooks, [&](const detail::Hook& h) { return h.handle == hook; }) > 0;
}

namespace {

bool Retrieve(MSG* msg, HWND filter, UINT first, UINT last, UINT remove) {
  detail::System& s = Sys();
  const bool take = (remove & PM_REMOVE) != 0;
  // 1. Posted messages.
  for (auto it = s.posted.begin(); it != s.posted.end(); ++it)
    if (Matches(it->hwnd, filter, it->message, first, last)) {
      *msg = *it;
      if (take) s.posted.erase(it);
      return true;
    }
  // 2. Input, routed as it is taken; input for no one is dropped.
  while (!s.input.empty()) {
    MSG routed;
    const detail::RawInput raw = s.input.front();
    if (!detail::RouteInput(raw, routed, false)) {
      s.input.pop_front();
      continue;
    }
    if (!Matches(routed.hwnd, filter, routed.message, first, last)) break;
    if (take) {
      s.input.pop_front();
      detail::RouteInput(raw, routed, true);
    }
    *msg = routed;
    return true;
  }
  // 3. WM_QUIT.
  if (s.quit && !filter && InRange(WM_QUIT, first, last)) {
    *msg = Make(nullptr, WM_QUIT, WPARAM(s.quitCode), 0);
    if (take) s.quit = false;
    return true;
  }
  // 4. WM_PAINT, parents first.
  if (InRange(WM_PAINT, first, last))
    if (HWND h = NeedsPaint(s.tops, filter)) {
      *msg = Make(h, WM_PAINT, 0, 0);
      return true;
    }
  // 5. WM_TIMER, re-armed when removed.
  if (InRange(WM_TIMER, first, last))
    if (detail::Timer* t = DueTimer(filter)) {
      *msg = Make(t->hwnd, WM_TIMER, t->id, reinterpret_cast<LPARAM>(t->proc));
      if (take) t->due = detail::NowMs() + t->period;
      return true;
    }
  return false;
}

}  // namespace

bool HasWork() {
  MSG m;
  return PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE);
}

bool GetMessage(MSG* msg, HWND filter, UINT first, UINT last) {
  while (!PeekMessage(msg, filter, first, last, PM_REMOVE)) WaitForWork();
  return msg->message != WM_QUIT;
}

bool TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) || !msg->character) return false;
  const UINT charMsg = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  MSG c = *msg;
  c.message = charMsg;
  c.wParam = msg->character;
  c.character = 0;
  Sys().posted.push_front(c);
  return true;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, UINT_PTR(msg->wParam), msg->time);
    return 0;
  }
  Window* w = Find(msg->hwnd);
  if (!w) return 0;
  if (msg->message != WM_PAINT) return detail::CallProc(*w, msg->message, msg->wParam, msg->lParam, true);
  // A proc that does not paint would be asked again at once: what was
  // pending counts as painted. What the proc invalidates meanwhile stays.
  const bool frame = w->frameDirty;
  const bool nested = w->painting;
  w->painting = true;
  const LRESULT r = detail::CallProc(*w, msg->message, msg->wParam, msg->lParam, true);
  if ((w = Find(msg->hwnd)) && !nested) {
    w->painting = false;
    w->update = std::move(w->invalidatedWhilePainting);
    w->invalidatedWhilePainting = Region();
    if (w->update.Empty()) w->erase = false;
    if (frame) w->frameDirty = false;
  }
  return r;
}

void ProcessMessage(MSG& msg) {
  if (Sys().filter && Sys().filter(msg)) return;
  TranslateMessage(&msg);
  DispatchMessage(&msg);
}

void PumpWaiting() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));
      return;
    }
    ProcessMessage(msg);
  }
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc) {
  if (hwnd && !Find(hwnd)) return 0;
  auto& timers = Sys().timers;
  if (!hwnd) {  // a thread timer gets an id of its own
    UINT_PTR next = 1;
    for (const auto& t : timers)
      if (!t.hwnd && t.id >= next) next = t.id + 1;
    id = next;
  }
  const uint64_t due = detail::NowMs() + std::max<UINT>(ms, 1);
  for (auto& t : timers)
    if (t.hwnd == hwnd && t.id == id) {
      t.period = std::max<UINT>(ms, 1), t.due = due, t.proc = proc;
      return id ? id : 1;
    }
  timers.push_back({hwnd, id, std::max<UINT>(ms, 1), due, proc});
  return id ? id : 1;
}

bool KillTimer(HWND hwnd, UINT_PTR id) {
  return std::erase_if(Sys().timers, [&](const detail::Timer& t) { return t.hwnd == hwnd && t.id == id; }) > 0;
}

int64_t NextTimerIn() {
  const auto& timers = Sys().timers;
  if (timers.empty()) return -1;
  uint64_t due = UINT64_MAX;
  for (const auto& t : timers) due = std::min(due, t.due);
  const uint64_t now = detail::NowMs();
  return due <= now ? 0 : int64_t(due - now);
}

LoopScope::LoopScope(std::string name) { Sys().loops.push_back(std::move(name)); }
LoopScope::~LoopScope() {
  if (!Sys().loops.empty()) Sys().loops.pop_back();
}
std::vector<std::string> OpenLoops() { return Sys().loops; }

void SetMessageFilter(MessageFilter filter) { Sys().filter = filter; }

bool WaitDefault(int64_t timeoutMs) {
  auto& s = Sys();
  Clock& clock = *currentClock;
  if (!s.sources.empty()) {
    std::vector<pollfd> fds;
    for (const auto& src : s.sources) fds.push_back({src.fd, POLLIN, 0});
    // With a virtual clock a timer is no reason to block: look, then jump.
    const int wait = clock.IsVirtual() && timeoutMs >= 0 ? 0 : int(std::min<int64_t>(timeoutMs, INT32_MAX));
    const int n = poll(fds.data(), fds.size(), wait);
    if (n > 0) {
      std::vector<int> ready;
      for (size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents) ready.push_back(s.sources[i].token);
      for (int token : ready)
        for (auto& src : s.sources)
          if (src.token == token) {
            auto callback = src.ready;
            callback();
            break;
          }
      return true;
    }
    if (!clock.IsVirtual()) return true;
  }
  if (timeoutMs < 0) return !s.sources.empty();
  if (clock.IsVirtual()) clock.AdvanceTo(clock.Now() + uint64_t(timeoutMs));
  else std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
  return true;
}

void WaitForWork() {
  if (HasWork()) return;
  auto& s = Sys();
  if (currentBackend) {
    const Bitmap& screen = ComposeScreen();
    if (!s.screenDirty.Empty()) {
      currentBackend->Present(screen, s.screenDirty.Box());
      s.screenDirty = Region();
    }
  }
  const int64_t timeout = NextTimerIn();
  const bool more = currentBackend ? currentBackend->Wait(timeout) : WaitDefault(timeout);
  if (more) return;
  std::string names;
  for (const std::string& loop : s.loops) names += (names.empty() ? "" : " > ") + loop;
  throw UiDeadlock("nothing can happen any more; open loops: " + (names.empty() ? std::string("none") : names));
}

int RunModal(HWND window, ModalFilter filter) {
  auto& s = Sys();
  if (!Find(window)) return -1;
  s.modals.push_back({window});
  const size_t level = s.modals.size() - 1;
  std::string name = "RunModal " + GetClassName(window);
  if (const std::string title = GetWindowText(window); !title.empty()) name += " \"" + title + "\"";
  LoopScope scope(name);
  struct Pop {
    detail::System& s;
    size_t level;
    ~Pop() { s.modals.resize(level); }
  } pop{s, level};
  // The end is looked at after every message and every wait, so an EndModal
  // from a script step or a wait source ends the loop without a message.
  while (!s.modals[level].ended) {
    MSG msg;
    if (!PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      WaitForWork();
      continue;
    }
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));
      return -1;
    }
    if (filter && filter(window, msg)) continue;
    ProcessMessage(msg);
  }
  return s.modals[level].result;
}

bool EndModal(int result, HWND window) {
  auto& modals = Sys().modals;
  for (auto it = modals.rbegin(); it != modals.rend(); ++it)
    if (!it->ended && (!window || it->window == window)) {
      it->ended = true;
      it->result = result;
      return true;
    }
  return false;
}

std::vector<HWND> ModalWindows() {
  std::vector<HWND> list;
  for (const auto& m : Sys().modals)
    if (!m.ended) list.push_back(m.window);
  return list;
}

int AddWaitSource(int fd, std::function<void()> ready) {
  auto& s = Sys();
  const int token = s.nextSource++;
  s.sources.push_back({token, fd, std::move(ready)});
  return token;
}

void RemoveWaitSource(int token) {
  std::erase_if(Sys().sources, [&](const detail::WaitSource& src) { return src.token == token; });
}

void SetMessageObserver(MessageObserver observer, void* context) {
  Sys().observer = observer;
  Sys().observerContext = context;
}

void ResetWindowSystem() {
  auto& s = Sys();
  const int width = s.screenWidth, height = s.screenHeight;
  // Ids stay unique across resets; classes and registered messages stay.
  const uint32_t nextId = s.nextWindowId, nextHook = s.nextHookId;
  auto classes = std::move(s.classes);
  auto classNames = std::move(s.classNames);
  auto registered = std::move(s.registered);
  s.~System();
  new (&s) detail::System();
  s.nextWindowId = nextId;
  s.nextHookId = nextHook;
  s.classes = std::move(classes);
  s.classNames = std::move(classNames);
  s.registered = std::move(registered);
  s.screenWidth = width, s.screenHeight = height;
}

}  // namespace win
