// Messages and loops: sending, posting, the queue's retrieval order, timers,
// blocking waits and nested modal loops.
//
// What always holds:
//   1. SendMessage calls the window's proc at once, on the caller's stack; a
//      proc may send again, to a depth of kMaxSendDepth, beyond which the
//      send is refused (answers 0) instead of overflowing the stack.
//      PostMessage only queues: the proc runs when a loop takes the message.
//   2. One queue per process (one UI thread). A retrieval takes, in this
//      order: posted messages (first in, first out); input (mouse and keys,
//      routed when taken); WM_QUIT once PostQuitMessage was called; WM_PAINT
//      for a window with a non-empty update region, parents before children,
//      top-level windows topmost first; WM_TIMER for a due timer. A filter
//      (window, first..last message) skips what it does not take.
//   3. Timers run on the current Clock. A timer is due at its period after it
//      was set or last taken from the queue; however many periods pass, it
//      yields one WM_TIMER (coalesced) and is re-armed when that message is
//      removed. Killing a timer takes it out at once.
//   4. PeekMessage never blocks. GetMessage blocks in WaitForWork until a
//      message is there: the display backend waits for its events, wait
//      sources (pidfds, sockets) and the next timer. A headless backend runs
//      the test script's next step, or moves a virtual clock to the next
//      timer, or throws UiDeadlock naming the open loops: a test never hangs.
//   5. Loops nest. Each open loop has a name (LoopScope); RunModal is one.
//      EndModal ends the innermost modal loop (or the one of a given
//      window); a WM_QUIT taken inside a modal loop ends it with -1 and is
//      posted again for the loops outside.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win/winuser.h"

namespace win {

constexpr int kMaxSendDepth = 1000;

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
void PostQuitMessage(int exitCode);
UINT RegisterWindowMessage(std::string_view name);
// How deep the sends on the stack reach now (0 outside any proc).
int SendDepth();

// filter: null takes every window's messages, else the window's and its
// descendants'; first = last = 0 takes every message.
bool PeekMessage(MSG* msg, HWND filter, UINT first, UINT last, UINT remove);
// False when the message taken is WM_QUIT.
bool GetMessage(MSG* msg, HWND filter, UINT first, UINT last);
bool TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);
// Blocks until there is something to take (see rule 4).
void WaitForWork();
// True when the queue holds something a retrieval would take now.
bool HasWork();

// Runs until a posted message, input, paint or due timer is left: a
// nested pump for code that must let the interface catch up.
void PumpWaiting();

// --- timers ---
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc = nullptr);
bool KillTimer(HWND hwnd, UINT_PTR id);
// Milliseconds until the next timer is due (0: one is due), -1 without timers.
int64_t NextTimerIn();

// --- loops ---
class UiDeadlock : public std::runtime_error {
 public:
  explicit UiDeadlock(const std::string& what) : std::runtime_error(what) {}
};

// Names a loop while it runs; WaitForWork's UiDeadlock lists them outermost first.
class LoopScope {
 public:
  explicit LoopScope(std::string name);
  ~LoopScope();
  LoopScope(const LoopScope&) = delete;
  LoopScope& operator=(const LoopScope&) = delete;
};
std::vector<std::string> OpenLoops();

// What a loop does with a message before translating and dispatching it
// (accelerators, dialog keys); true when it took the message. The framework
// installs one.
using MessageFilter = bool (*)(MSG& msg);
void SetMessageFilter(MessageFilter filter);
// Gives msg to the filter, else translates and dispatches it.
void ProcessMessage(MSG& msg);

// Runs a nested loop for window until EndModal; answers the EndModal value,
// or -1 when WM_QUIT ended it (the quit is posted again) or the window died.
// A filter sees each message first (the dialog keys of a dialog's own loop);
// what it takes is not processed further.
using ModalFilter = bool (*)(HWND window, MSG& msg);
int RunModal(HWND window, ModalFilter filter = nullptr);
// Ends the modal loop of window, or the innermost one for null.
bool EndModal(int result, HWND window = nullptr);
// Windows whose modal loops are open, innermost last.
std::vector<HWND> ModalWindows();

// --- wait sources (descriptors a blocking wait watches) ---
// The callback runs when fd becomes readable; it usually removes the source.
int AddWaitSource(int fd, std::function<void()> ready);
void RemoveWaitSource(int token);

// --- hooks ---
// A get-message hook sees every message a retrieval removes from the queue
// (GetMessage, PeekMessage with PM_REMOVE), before the caller gets it:
// proc(HC_ACTION, PM_REMOVE, MSG*). It may change the message (a hook that
// took it sets it to WM_NULL) and passes it on with CallNextHookEx. Hooks of
// the thread run newest first; the chain goes on only through
// CallNextHookEx, so a hook that does not call it ends the chain. Only
// thread hooks of the calling thread exist: another kind, a null proc or a
// thread other than GetCurrentThreadId() is refused (null). Hook handles are
// never reused, so unhooking twice, or calling on with a stale hook, does
// nothing.
struct HookTag;
using HHOOK = Handle<HookTag>;
using HOOKPROC = LRESULT (*)(int code, WPARAM wParam, LPARAM lParam);
constexpr int WH_GETMESSAGE = 3;
constexpr int HC_ACTION = 0;
DWORD GetCurrentThreadId();
HHOOK SetWindowsHookEx(int idHook, HOOKPROC proc, void* module, DWORD threadId);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
bool UnhookWindowsHookEx(HHOOK hook);

// --- observation (tests and tools) ---
// Sees every call of a window proc through SendMessage and DispatchMessage,
// before the proc runs, with the depth of sends.
using MessageObserver = void (*)(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool posted, void* context);
void SetMessageObserver(MessageObserver observer, void* context);

// Drops every window, timer, queued message, loop and hook: a clean state for
// the next test. Windows are dropped without messages; classes, registered
// messages and the handle counter stay.
void ResetWindowSystem();

}  // namespace win
