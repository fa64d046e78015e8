// Response tables: how a framework object finds the member that answers a
// message.
//
// What always holds:
//   1. Each class answers in its own `Find`: it searches its own table and,
//      when nothing there matches, calls its base class's Find ("the Find
//      slot"). A message no table takes goes to DefaultProcessing, the proc
//      the object's window had before the framework bound it.
//   2. An entry matches a message number and, for WM_COMMAND, a command id
//      (and for notifications the notification code). A table is searched
//      in order; the first match answers.
//   3. MsgCracker<M> turns (wParam, lParam) into typed arguments for the
//      messages the windows use; any other message reaches its member as
//      (WPARAM, LPARAM) with an LRESULT answer.
//   4. A table is static data built once; searching it allocates nothing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/win/winuser.h"

namespace fw {

using win::HWND;
using win::LPARAM;
using win::LRESULT;
using win::UINT;
using win::WPARAM;

class TEventHandler;

// Command routing's private messages: the search for an enabler, and the
// notification a control's own table sees first.
constexpr UINT kCommandEnableMsg = 0x7FF0;

struct TEventInfo {
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  int id = 0;     // WM_COMMAND: the command or control id
  UINT code = 0;  // WM_COMMAND: the notification code
  TEventHandler* object = nullptr;
  LRESULT result = 0;
  void* enabler = nullptr;  // kCommandEnableMsg: the TCommandEnabler
  bool probe = false;       // only ask whether an entry matches; run nothing
};

struct TResponseEntry {
  UINT msg = 0;
  int id = -1;     // -1: any
  int code = -1;   // -1: any
  void (*call)(TEventInfo&) = nullptr;
};

class TResponseTable {
 public:
  TResponseTable(std::initializer_list<TResponseEntry> entries) : entries_(entries) {}
  // Runs the first matching entry's member; false when none matches.
  bool Search(TEventInfo& e) const {
    for (const TResponseEntry& entry : entries_)
      if (entry.msg == e.msg && (entry.id < 0 || entry.id == e.id) && (entry.code < 0 || UINT(entry.code) == e.code)) {
        if (!e.probe) entry.call(e);
        return true;
      }
    return false;
  }
  size_t Size() const { return entries_.size(); }

 private:
  std::vector<TResponseEntry> entries_;
};

namespace detail {
template <class M>
struct MemberClass;
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...)> {
  using type = C;
};
template <auto Method>
using ClassOf = typename MemberClass<decltype(Method)>::type;
}  // namespace detail

// Raw form: LRESULT Member(WPARAM, LPARAM).
template <UINT M>
struct MsgCracker {
  template <class T, class F>
  static LRESULT Call(T& object, F method, TEventInfo& e) {
    return (object.*method)(e.wParam, e.lParam);
  }
};

#define FW_CRACK(MSG, ...)                                   \
  template <>                                                 \
  struct MsgCracker<MSG> {                                    \
    template <class T, class F>                               \
    static LRESULT Call(T& o, F m, [[maybe_unused]] TEventInfo& e) { __VA_ARGS__ } \
  };

inline win::POINT PointOf(LPARAM l) { return {win::GET_X_LPARAM(l), win::GET_Y_LPARAM(l)}; }

FW_CRACK(win::WM_PAINT, (o.*m)(); return 0;)
FW_CRACK(win::WM_CLOSE, (o.*m)(); return 0;)
FW_CRACK(win::WM_DESTROY, (o.*m)(); return 0;)
FW_CRACK(win::WM_SIZE, (o.*m)(UINT(e.wParam), win::SIZE{win::LOWORD(uintptr_t(e.lParam)), win::HIWORD(uintptr_t(e.lParam))}); return 0;)
FW_CRACK(win::WM_MOVE, (o.*m)(PointOf(e.lParam)); return 0;)
FW_CRACK(win::WM_TIMER, (o.*m)(UINT(e.wParam)); return 0;)
FW_CRACK(win::WM_SETFOCUS, (o.*m)(HWND(uint32_t(e.wParam))); return 0;)
FW_CRACK(win::WM_KILLFOCUS, (o.*m)(HWND(uint32_t(e.wParam))); return 0;)
FW_CRACK(win::WM_ENABLE, (o.*m)(e.wParam != 0); return 0;)
FW_CRACK(win::WM_SHOWWINDOW, (o.*m)(e.wParam != 0, UINT(e.lParam)); return 0;)
FW_CRACK(win::WM_ACTIVATE, (o.*m)(UINT(win::LOWORD(e.wParam)), HWND(uint32_t(e.lParam))); return 0;)
FW_CRACK(win::WM_ERASEBKGND, return (o.*m)(*reinterpret_cast<win::Dc*>(e.wParam)) ? 1 : 0;)
FW_CRACK(win::WM_KEYDOWN, (o.*m)(UINT(e.wParam), UINT(e.lParam & 0xFFFF), UINT(uintptr_t(e.lParam) >> 16)); return 0;)
FW_CRACK(win::WM_KEYUP, (o.*m)(UINT(e.wParam), UINT(e.lParam & 0xFFFF), UINT(uintptr_t(e.lParam) >> 16)); return 0;)
FW_CRACK(win::WM_CHAR, (o.*m)(UINT(e.wParam), UINT(e.lParam & 0xFFFF), UINT(uintptr_t(e.lParam) >> 16)); return 0;)
FW_CRACK(win::WM_MOUSEMOVE, (o.*m)(UINT(e.wParam), PointOf(e.lParam)); return 0;)
FW_CRACK(win::WM_LBUTTONDOWN, (o.*m)(UINT(e.wParam), PointOf(e.lParam)); return 0;)
FW_CRACK(win::WM_LBUTTONUP, (o.*m)(UINT(e.wParam), PointOf(e.lParam)); return 0;)
FW_CRACK(win::WM_LBUTTONDBLCLK, (o.*m)(UINT(e.wParam), PointOf(e.lParam)); return 0;)
FW_CRACK(win::WM_RBUTTONDOWN, (o.*m)(UINT(e.wParam), PointOf(e.lParam)); return 0;)
FW_CRACK(win::WM_RBUTTONUP, (o.*m)(UINT(e.wParam), PointOf(e.lParam)); return 0;)
FW_CRACK(win::WM_HSCROLL, (o.*m)(UINT(win::LOWORD(e.wParam)), int(int16_t(win::HIWORD(e.wParam))), HWND(uint32_t(e.lParam))); return 0;)
FW_CRACK(win::WM_VSCROLL, (o.*m)(UINT(win::LOWORD(e.wParam)), int(int16_t(win::HIWORD(e.wParam))), HWND(uint32_t(e.lParam))); return 0;)
FW_CRACK(win::WM_WININICHANGE, (o.*m)(reinterpret_cast<const char*>(e.lParam)); return 0;)
#undef FW_CRACK

// An entry for message M answered by Method through MsgCracker<M>.
template <UINT M, auto Method>
TResponseEntry OnWm() {
  using T = detail::ClassOf<Method>;
  return {M, -1, -1, [](TEventInfo& e) { e.result = MsgCracker<M>::Call(static_cast<T&>(*e.object), Method, e); }};
}

// A command (menu, accelerator, button click with any code): void Method().
template <int Id, auto Method>
TResponseEntry OnCommand() {
  using T = detail::ClassOf<Method>;
  return {win::WM_COMMAND, Id, -1, [](TEventInfo& e) { (static_cast<T&>(*e.object).*Method)(); }};
}

// A control's notification (id, code): void Method().
template <int Id, UINT Code, auto Method>
TResponseEntry OnNotify() {
  using T = detail::ClassOf<Method>;
  return {win::WM_COMMAND, Id, int(Code), [](TEventInfo& e) { (static_cast<T&>(*e.object).*Method)(); }};
}

class TCommandEnabler;
// An enabler of a command: void Method(TCommandEnabler&).
template <int Id, auto Method>
TResponseEntry OnCommandEnable() {
  using T = detail::ClassOf<Method>;
  return {kCommandEnableMsg, Id, -1, [](TEventInfo& e) {
            (static_cast<T&>(*e.object).*Method)(*static_cast<TCommandEnabler*>(e.enabler));
          }};
}

// The root of everything that answers messages and commands.
class TEventHandler {
 public:
  virtual ~TEventHandler() = default;
  // Searches the object's response tables (rule 1); sets e.object first.
  virtual bool Find(TEventInfo& e) { (void)e; return false; }
  // Searches with e.object set to this.
  bool Dispatch(TEventInfo& e) {
    e.object = this;
    return Find(e);
  }
};

// Asked along the command route whether a command can run now.
class TCommandEnabler {
 public:
  explicit TCommandEnabler(int id) : id_(id) {}
  virtual ~TCommandEnabler() = default;
  int GetId() const { return id_; }
  virtual void Enable(bool enable) { enabled_ = enable, handled_ = true; }
  virtual void SetCheck(int state) { check_ = state; }
  bool Enabled() const { return enabled_; }
  bool Handled() const { return handled_; }
  int Check() const { return check_; }

 private:
  int id_;
  bool enabled_ = false, handled_ = false;
  int check_ = 0;
};

}  // namespace fw
