// TWindow: the framework's object over a window: creation, the response
// tables' dispatch, setup and cleanup, closing, command routing and
// enabling, modal runs, and data transfer to and from its controls.
//
// What always holds:
//   1. An object is bound to at most one window and a window to at most one
//      object (win's object slot). The binding is made before the window's
//      first message (the create hook) or, for an alias of a control made
//      from a resource, when the parent is set up; it ends with
//      WM_NCDESTROY, after which the object has no handle and may be
//      created again or deleted.
//   2. A parent object owns its child objects: they are deleted with it.
//      Children are kept in creation order, which is also the order of the
//      transfer buffer.
//   3. SetupWindow runs once per window, on WM_CREATE: it creates the
//      auto-create children in order and then transfers data into them
//      (TransferData(SetData)). CleanupWindow runs first on WM_DESTROY.
//   4. CanClose is the AND over the window's own answer and its children's;
//      CloseWindow closes only when CanClose allows it. A modal window ends
//      its loop with the value given; others are destroyed.
//   5. Commands travel from GetCommandTarget() (the focus window's object,
//      or the nearest bound ancestor) up the parent chain, then to the
//      application; the first table that has the command answers it.
//      Enablers follow the same route; a command no table on the route
//      handles is disabled, one handled without an enabler is enabled.
//   6. Transfer: each child that takes part takes consecutive, unpadded
//      bytes of the buffer in creation order (Transfer answers its size);
//      a buffer too small for the children is refused whole (nothing is
//      read or written) instead of overrun.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/framework/response.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace fw {

class TApplication;

enum class TTransferDirection { GetData, SetData, SizeData };

class TWindow : public TEventHandler {
 public:
  struct TAttr {
    win::DWORD Style = win::WS_CHILD | win::WS_VISIBLE;
    win::DWORD ExStyle = 0;
    int X = 0, Y = 0, W = 0, H = 0;
    int Id = 0;
  };

  // A window of its own; a null parent makes it top-level (overlapped).
  explicit TWindow(TWindow* parent, const char* title = nullptr);
  // An alias of the control with resourceId in the parent's window, bound
  // when the parent is set up.
  TWindow(TWindow* parent, int resourceId);
  ~TWindow() override;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  TAttr Attr;
  HWND GetHandle() const { return handle_; }
  TWindow* GetParent() const { return parent_; }
  const std::vector<TWindow*>& Children() const { return children_; }
  static TWindow* FromHandle(HWND hwnd);
  TApplication* GetApplication() const;

  // Creates the window (and through SetupWindow its children); false when
  // the window system refused.
  bool Create();
  void Destroy(int retVal = 0);
  // Runs the window modally: creates it, disables the parent, runs the loop
  // and answers the value CloseWindow ended it with (-1 when it ended
  // otherwise).
  int Execute();
  virtual void CloseWindow(int retVal = 0);
  virtual bool CanClose();
  bool IsModal() const { return modal_; }

  bool Find(TEventInfo& e) override;
  // The proc the window had before the framework took it over, with the
  // message being handled.
  LRESULT DefaultProcessing();
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // Translation before dispatch (accelerators, dialog keys), tried from the
  // message's window up to the top; true when taken.
  virtual bool PreProcessMsg(win::MSG& msg);
  // The filter of a modal loop: the PreProcessMsg chain, when no
  // application's filter runs it already.
  static bool ModalPreProcess(HWND window, win::MSG& msg);

  virtual void SetupWindow();
  virtual void CleanupWindow();
  virtual void Paint(win::Dc& dc, bool erase, win::RECT& rect);

  // --- commands ---
  TEventHandler* GetCommandTarget();
  // Routes a command as rule 5 says; false when nobody handled it.
  bool RouteCommand(int id);
  // Asks the route about a command; the enabler tells the answer.
  void RouteCommandEnable(TCommandEnabler& enabler);

  // --- transfer ---
  void SetTransferBuffer(void* buffer, size_t size);
  // Moves the children's data; answers false when the buffer is too small.
  virtual bool TransferData(TTransferDirection direction);
  // A control's part of the buffer: answers its size (0: it takes no part).
  virtual size_t Transfer(void* data, TTransferDirection direction);
  bool TransferEnabled() const { return transfer_; }
  void EnableTransfer(bool on = true) { transfer_ = on; }
  void SetAutoCreate(bool on) { autoCreate_ = on; }

  // --- thin wrappers ---
  bool Show(int command) { return win::ShowWindow(handle_, command); }
  void Invalidate(bool erase = true) { win::InvalidateRect(handle_, nullptr, erase); }
  void UpdateWindow() { win::UpdateWindow(handle_); }
  void SetCaption(const char* title);
  std::string GetCaption() const { return handle_ ? win::GetWindowText(handle_) : title_; }
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return win::SendMessage(handle_, msg, wParam, lParam);
  }

 protected:
  // The class the window is made of, registered on first use.
  virtual const char* GetClassName() { return "QmkWindow"; }
  virtual void GetWindowClass(win::WNDCLASS& wc);
  // Registers GetClassName() with GetWindowClass on first use; a control
  // that dialog templates make by its class name calls it before the
  // template is used.
  void RegisterWindowClass();
  // Makes the window under the parent's handle (the object is bound to the
  // first window made meanwhile); a modal run asks for it hidden.
  virtual HWND DoCreate(HWND parent, bool hidden);
  // SetupWindow, once per window.
  void RunSetup();
  void EvPaint();
  void EvClose();
  void EvDestroy();

 private:
  static LRESULT StdWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static void BindNewWindow(HWND hwnd);
  // The objects a command travels through, from the target up.
  std::vector<TEventHandler*> CommandRoute();
  void Bind(HWND hwnd);
  void Unbind();
  void CreateChildren();
  void EvCommand(TEventInfo& e);

  HWND handle_;
  TWindow* parent_;
  std::vector<TWindow*> children_;
  std::string title_;
  int resourceId_ = 0;  // an alias when not 0
  win::WNDPROC oldProc_ = nullptr;
  bool autoCreate_ = true;
  bool transfer_ = false;
  bool modal_ = false;
  bool setupDone_ = false;
  void* transferBuffer_ = nullptr;
  size_t transferSize_ = 0;
  // The message being handled, for DefaultProcessing.
  struct Current {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  Current* current_ = nullptr;
};

}  // namespace fw
