// Bitmap buttons and the buttons that move entries between two list boxes:
// the three-dimensional frame routine, the owner-drawn TBitmapButton with its
// transparent bitmap, TWinButton on the system's own button class, and the
// insert, delete, insert-all and delete-all buttons.
//
// What always holds:
//   1. DrawFrame draws state 1 and 2 raised, 0 and 3 sunken, and nothing for
//      other states, inside x .. x + width - 1 and y .. y + height - 1: the
//      outer lines white and black, one grey line inside on the shadow side.
//   2. A TBitmapButton paints itself (face, frame, bitmap, focus) whenever its
//      window is painted; its window text is never drawn. The colour of the
//      bitmap's top-left pixel is transparent: the face shows through every
//      pixel of that colour, and the bitmap is the same after drawing as
//      before. A pressed button draws its bitmap 2 pixels right and down.
//   3. A double click on a bitmap button is a second press, never lost.
//   4. The target list of the transfer buttons ends with one entry of empty
//      text, the insertion mark: no move takes it to the source list, and
//      inserting all puts the entries in front of it. An entry's text is read
//      whole, whatever its length.
//   5. A move whose list to move from has nothing selected moves nothing and
//      leaves both selections as they were.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/dialog.h"
#include "runtime/toolkit/kxdib.h"

namespace kxctl {

struct TFrameRec {
  int16_t x, y, width, height, state;
};
void DrawFrame(const TFrameRec& frame, win::Dc& dc);

class TBitmapButton : public fw::TButton {
 public:
  // bitmapId 0: no bitmap. The button is owner-drawn (BS_OWNERDRAW).
  TBitmapButton(fw::TWindow* parent, int id, const char* text, int x, int y, int w, int h, int bitmapId,
                bool isDefault);
  // Aliases a push button of the dialog resource, which gives it BS_OWNERDRAW.
  TBitmapButton(fw::TWindow* parent, int resourceId, int bitmapId);

  bool Find(fw::TEventInfo& e) override;
  void DrawItem(win::DRAWITEMSTRUCT& item) override;
  void EvLButtonDblClk(win::UINT modifiers, win::POINT point);
  void EvPaint();

  std::unique_ptr<kxobject::TKxBitmap> Bitmap;
};

class TWinButton : public fw::TButton {
 public:
  using fw::TButton::TButton;

 protected:
  const char* GetClassName() override { return "Button"; }
};

// What the list moves need of a list box. Indexes are the list's; Selected
// answers the selected indexes in ascending order.
class TListSide {
 public:
  virtual ~TListSide() = default;
  virtual int Count() const = 0;
  virtual std::string Text(int index) const = 0;
  virtual std::vector<int> Selected() const = 0;
  virtual void Insert(int index, const std::string& text) = 0;
  // Adds where the list puts new entries (its sorted place when it sorts).
  virtual void Add(const std::string& text) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual void SelectOnly(int index) = 0;
  virtual void AddToSelection(int index) = 0;
};

enum class TListMove { Insert, InsertAll, Delete, DeleteAll };
// Moves entries between source and target (the lists of rules 4 and 5).
void MoveListEntries(TListMove move, TListSide& source, TListSide& target);

// A framework list box as a side of the moves, by its messages; a list box
// with single selection answers its current entry as its selection.
class TListBoxSide : public TListSide {
 public:
  explicit TListBoxSide(fw::TListBox& list) : list_(list) {}
  int Count() const override;
  std::string Text(int index) const override;
  std::vector<int> Selected() const override;
  void Insert(int index, const std::string& text) override;
  void Add(const std::string& text) override;
  void Delete(int index) override;
  void Clear() override;
  void SelectOnly(int index) override;
  void AddToSelection(int index) override;

 private:
  bool Multiple() const;
  fw::TListBox& list_;
};

class TListBoxButton : public TBitmapButton {
 public:
  using TBitmapButton::TBitmapButton;
  fw::TListBox* TargetList = nullptr;
  fw::TListBox* SourceList = nullptr;

 protected:
  void Move(TListMove move);
};

class TInsertButton : public TListBoxButton {
 public:
  using TListBoxButton::TListBoxButton;
  void BNClicked() override { Move(TListMove::Insert); }
};

class TDeleteButton : public TListBoxButton {
 public:
  using TListBoxButton::TListBoxButton;
  void BNClicked() override { Move(TListMove::Delete); }
};

class TInsertAllButton : public TListBoxButton {
 public:
  using TListBoxButton::TListBoxButton;
  void BNClicked() override { Move(TListMove::InsertAll); }
};

class TDeleteAllButton : public TListBoxButton {
 public:
  using TListBoxButton::TListBoxButton;
  void BNClicked() override { Move(TListMove::DeleteAll); }
};

}  // namespace kxctl
