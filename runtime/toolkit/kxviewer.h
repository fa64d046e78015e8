// Picture viewers: TPictureViewer, a scrolling child window that shows one
// graphic and offers the clipboard through a context menu and the edit
// messages; TScreenViewer, a pop-up over the whole screen that shows a
// viewer's graphic until the first click or key.
//
// What always holds:
//   1. The viewer owns its graphic (null: empty) from SetPicture until the
//      graphic is replaced, released or the viewer dies.
//   2. The scroll range is (graphic - client) in natural size (mode 0) and
//      (0, 0) otherwise, or when there is no graphic or it has no pixel
//      size (metafiles, sounds); the page step is a tenth of the range, or
//      half the client where the client is narrower than that.
//   3. Modified becomes 1 when cut, paste or delete changes the picture;
//      only the viewer's user clears it. A paste that finds no picture on
//      the clipboard says so and changes nothing.
//   4. A read-only viewer changes its picture neither by command nor by
//      WM_CUT, WM_PASTE or WM_CLEAR; copying stays allowed.
//   5. A screen viewer shows a graphic it does not own; the viewer closes
//      it before the graphic changes or goes, so it never shows a freed one.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/framework/scroller.h"
#include "platform/framework/window.h"
#include "platform/win/menu.h"
#include "runtime/toolkit/kxpicture.h"

namespace kxobject {

// Commands of the viewer.
constexpr int kCmDisplayMode = 10800;
constexpr int kCmEditCut = 24322;
constexpr int kCmEditCopy = 24323;
constexpr int kCmEditPaste = 24324;
constexpr int kCmEditDelete = 24326;

// Range and page step of one direction (rule 2): picture and client extent.
struct TViewerScroll {
  long Range = 0, Page = 1;
};
TViewerScroll ViewerScroll(int picture, int client);

class TScreenViewer : public fw::TWindow {
 public:
  TScreenViewer(fw::TWindow* parent, TKxGraphic* graphic);

  void SetGraphic(TKxGraphic* graphic);
  void SetupWindow() override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;
  bool Find(fw::TEventInfo& e) override;

  fw::TScroller Scroller;
  TKxGraphic* Graphic;

 protected:
  const char* GetClassName() override { return "WZETScreenViewer"; }

 private:
  void UpdateScroller();
  void EvSize(win::UINT kind, win::SIZE size);
  void EvLButtonDown(win::UINT keys, win::POINT p);
  void EvKeyDown(win::UINT key, win::UINT repeat, win::UINT flags);
  void EvHScroll(win::UINT code, int thumb, win::HWND bar);
  void EvVScroll(win::UINT code, int thumb, win::HWND bar);
};

class TPictureViewer : public fw::TWindow {
 public:
  explicit TPictureViewer(fw::TWindow* parent, const char* title = nullptr);
  ~TPictureViewer() override;

  virtual void SetPicture(std::unique_ptr<TKxGraphic> graphic);
  // A new pop-up menu with "Cut", "Copy", "Paste" and "Delete"; the caller
  // destroys it.
  virtual win::HMENU CreatePopupMenu();
  std::unique_ptr<TKxGraphic> ReleasePicture();
  void SetDisplayMode(uint16_t mode);
  void SetReadOnly(bool readOnly) { ReadOnly = readOnly ? 1 : 0; }
  void ShowFullScreen();
  TScreenViewer* GetScreenViewer() const { return screen_; }

  void Cut();
  void Copy();
  void Paste();
  void Delete();

  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;
  bool Find(fw::TEventInfo& e) override;

  uint8_t Modified = 0;
  uint8_t ReadOnly = 0;
  uint16_t DisplayMode = 0;
  std::unique_ptr<TKxGraphic> Graphic;
  fw::TScroller Scroller;

 protected:
  const char* GetClassName() override { return "WZETPictureViewer"; }
  void GetWindowClass(win::WNDCLASS& wc) override;
  void UpdateScroller();

 private:
  void CloseScreenViewer();
  void EvRButtonDown(win::UINT keys, win::POINT p);
  void EvSize(win::UINT kind, win::SIZE size);
  void EvHScroll(win::UINT code, int thumb, win::HWND bar);
  void EvVScroll(win::UINT code, int thumb, win::HWND bar);
  win::LRESULT EvCut(win::WPARAM, win::LPARAM);
  win::LRESULT EvCopy(win::WPARAM, win::LPARAM);
  win::LRESULT EvPaste(win::WPARAM, win::LPARAM);
  win::LRESULT EvClear(win::WPARAM, win::LPARAM);
  void CmDisplayMode();
  void CeChange(fw::TCommandEnabler& ce);
  void CeCopy(fw::TCommandEnabler& ce);
  void CePaste(fw::TCommandEnabler& ce);

  TScreenViewer* screen_ = nullptr;
};

}  // namespace kxobject
