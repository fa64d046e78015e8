// The bitmap control: one device bitmap shown on the three-dimensional face
// colour at its natural size, scaled with its aspect ratio kept, or stretched,
// and exchanged with the clipboard as CF_BITMAP. And the bitmap list box: an
// owner-drawn list whose entries each carry a bitmap left of their text.
//
// What always holds:
//   1. The control owns at most one bitmap; BitmapInfo describes it (all
//      zero without one) and is read again whenever the control takes a new
//      one. The bitmap dies when it is replaced and when the window is
//      cleaned up; DetachBitmap and CutToClipboard give it away instead.
//   2. A paint fills the asked rectangle with the face colour, then draws
//      the bitmap inside the client area only: mode 0 centred (from the
//      top-left corner on an axis where it is larger, clipped), mode 1 from
//      the top-left corner scaled by the smaller of the two ratios (sizes
//      rounded half up), any other mode stretched to the whole client area.
//      A bitmap without pixels (no surface, or a side of 0) draws nothing.
//   3. The clipboard operations change only CF_BITMAP and answer false, with
//      nothing changed, when there is nothing to put or take or the
//      clipboard cannot be opened. Copy and paste hand over copies: the
//      control and the clipboard never share a bitmap that one of them
//      could change.
//   4. A TBmListBox entry's item data is its bitmap (null: none); with
//      OwnsBitmaps the bitmap dies with its entry (deleted, list cleared,
//      window cleaned up), without it the caller keeps it. An entry is as
//      high as its bitmap while it is added (21 pixels without one) and
//      measured again as the bitmap's height + 10; its text is read whole.
//   5. Drag start: after a left press, the first move of 6 pixels or more
//      in x or y releases the capture and posts the parent one WM_COMMAND
//      with the notification kDragNotification; smaller moves, and moves
//      after that one until the next press, post nothing.
#pragma once

#include <cstdint>
#include <memory>

#include <optional>
#include <string>

#include "platform/framework/dialog.h"
#include "runtime/toolkit/kxdib.h"

namespace kxctl {

class TBitmapCtl : public fw::TControl {
 public:
  static constexpr const char* kClassName = "kxBitmapCtl";
  // Registers the window class, so that dialog resources can name it.
  static void RegisterClass();

  TBitmapCtl(fw::TWindow* parent, const char* title, std::unique_ptr<kxobject::TKxBitmap> bitmap);
  TBitmapCtl(fw::TWindow* parent, int id, int x, int y, int w, int h, std::unique_ptr<kxobject::TKxBitmap> bitmap);
  TBitmapCtl(fw::TWindow* parent, int resourceId, std::unique_ptr<kxobject::TKxBitmap> bitmap);

  void SetBitmap(std::unique_ptr<kxobject::TKxBitmap> bitmap, bool redraw);
  // The caller takes the bitmap over.
  std::unique_ptr<kxobject::TKxBitmap> DetachBitmap();
  kxobject::TKxBitmap* GetBitmap() const { return Bitmap.get(); }
  void SetDisplayMode(int16_t mode) { DisplayMode = mode; }
  void GetBitmapSize(win::SIZE& size) const { size = {BitmapInfo.bmWidth, BitmapInfo.bmHeight}; }

  bool CopyToClipboard();
  bool CutToClipboard();
  bool PasteFromClipboard();

  bool Find(fw::TEventInfo& e) override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;
  void CleanupWindow() override;
  void EvPaint();

  win::BITMAP BitmapInfo;
  int16_t DisplayMode = 0;

 private:
  void Take(std::unique_ptr<kxobject::TKxBitmap> bitmap);
  std::unique_ptr<kxobject::TKxBitmap> Bitmap;
};

class TBmListBox : public fw::TListBox {
 public:
  static constexpr win::UINT kDragNotification = 100;
  static constexpr int kDragDistance = 6;

  TBmListBox(fw::TWindow* parent, int id, int x, int y, int w, int h, bool ownsBitmaps);
  TBmListBox(fw::TWindow* parent, int resourceId, bool ownsBitmaps);
  ~TBmListBox() override;

  int16_t AddItem(kxobject::TKxBitmap* bitmap, const char* text);
  int16_t InsertItem(kxobject::TKxBitmap* bitmap, const char* text, int16_t index);
  // Answers the text's length, or a negative LB_ERR for no such entry.
  int GetItem(kxobject::TKxBitmap*& bitmap, std::string& text, int16_t index) const;
  int16_t SetItemText(const char* text, int16_t index);
  int DeleteString(int index);
  void ClearList();
  kxobject::TKxBitmap* ItemBitmap(int index) const;

  void MeasureItem(win::MEASUREITEMSTRUCT& item) override;
  void DrawItem(win::DRAWITEMSTRUCT& item) override;
  bool Find(fw::TEventInfo& e) override;
  void CleanupWindow() override;
  void EvLButtonDown(win::UINT modifiers, win::POINT point);
  void EvMouseMove(win::UINT modifiers, win::POINT point);
  void EvLButtonUp(win::UINT modifiers, win::POINT point);

  std::unique_ptr<win::Dc> MemDC;
  win::POINT DownPos{-1, -1};
  bool OwnsBitmaps;
  // The bitmap of the entry being added; none outside AddItem/InsertItem.
  std::optional<kxobject::TKxBitmap*> PendingBitmap;

 private:
  void DeleteAllBitmaps();
};

}  // namespace kxctl
