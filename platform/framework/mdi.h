// TMDIFrame, TMDIClient and TMDIChild: the framework's objects over a frame
// with document windows (platform/win/mdi.h).
//
// What always holds:
//   1. A TMDIChild is made by its client: Create sends WM_MDICREATE to the
//      client's window, so the child gets its place, its id and the
//      maximized look from the client, and the object is bound to the new
//      window before its first message. What the child's tables leave goes
//      to DefMDIChildProc.
//   2. A TMDIClient is a child object of its frame and fills the frame's
//      client area; the frame owns it like any child object. What the
//      client's tables leave goes to the client class of the window system.
//   3. A TMDIFrame's unhandled messages go to DefFrameProc with its client,
//      and its message pre-translation tries the document keys (Ctrl+F4,
//      Ctrl+F6) before the base's.
//   4. The client answers its children as objects only for windows bound to
//      a framework object; the window system's active child is the one
//      truth about activation.
#pragma once

#include <vector>

#include "platform/framework/window.h"
#include "platform/win/mdi.h"

namespace fw {

class TMDIChild;

class TMDIClient : public TWindow {
 public:
  // windowMenu: the pop-up that lists the children, or null.
  explicit TMDIClient(TWindow* frame, win::HMENU windowMenu = win::HMENU());

  // The active child's object, or null.
  TMDIChild* GetActiveMDIChild() const;
  // The child windows bound to objects, in the client's creation order.
  std::vector<TMDIChild*> GetMDIChildren() const;
  // Makes the child (its parent must be this client); null on refusal.
  virtual HWND CreateChild(TMDIChild* child);
  virtual void CascadeChildren() { SendMessage(win::WM_MDICASCADE); }
  virtual void TileChildren(int how = win::MDITILE_VERTICAL) { SendMessage(win::WM_MDITILE, win::WPARAM(how)); }
  virtual void ArrangeIcons() { SendMessage(win::WM_MDIICONARRANGE); }

 protected:
  const char* GetClassName() override { return win::kMdiClientClass; }
  HWND DoCreate(HWND parent, bool hidden) override;

 private:
  win::HMENU windowMenu_;
};

class TMDIChild : public TWindow {
 public:
  TMDIChild(TMDIClient* parent, const char* title);

 protected:
  const char* GetClassName() override { return "QmkMDIChild"; }
  void GetWindowClass(win::WNDCLASS& wc) override;
  HWND DoCreate(HWND parent, bool hidden) override;
};

class TMDIFrame : public TWindow {
 public:
  // The client is the TMDIClient made with this frame as its parent.
  explicit TMDIFrame(const char* title);
  TMDIClient* GetClientWindow() const;
  bool PreProcessMsg(win::MSG& msg) override;

 protected:
  const char* GetClassName() override { return "QmkMDIFrame"; }
  void GetWindowClass(win::WNDCLASS& wc) override;
};

}  // namespace fw
