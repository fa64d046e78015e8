// Wizards: a frame (TAssistentWnd) that shows one page (TAssistentDlg) at a
// time, with a picture on the left of every page and Help, Back, Next and
// Cancel at the bottom; and MoveRight, which shifts a page's controls to make
// room for the picture.
//
// What always holds:
//   1. The history holds the pages the user went forward from, in order,
//      and grows as far as the path goes: Back returns along the path taken
//      (a page that GetNextPage skipped is skipped on the way back too) and
//      does nothing when the history is empty.
//   2. Next leaves a page only when it agrees (CanClose); then its data is
//      read and LeavePage runs. When GetNextPage names no page, the wizard
//      ends with IDOK if CanFinish agrees and stays otherwise. Cancel ends it
//      with IDCANCEL. Enter on a page is Next.
//   3. After every selection Back is enabled on every page but the first,
//      the data of all pages is written into them, PageSelected runs, and
//      the caption is the frame's title up to its last ':' (the whole title
//      without one), ": " and the page's title (or, for an untitled page,
//      strings 27000 and 27001 around its number and the page count), at
//      most 255 characters.
//   4. Every control of a page lies 130 pixels right of where its resource
//      puts it; the picture fills 100 x 200 at x = 15, centred vertically;
//      the buttons lie on one row at the bottom.
//   5. Help on a page asks for its help id + 10000.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/objects.h"
#include "runtime/toolkit/kxbmctl.h"
#include "runtime/toolkit/kxbtns.h"
#include "runtime/toolkit/kxpagedlg.h"

namespace kxdlg {

// Moves child right by the low 16 bits (signed) of distance, within its
// parent; answers true so that a walk over the children goes on.
bool MoveRight(win::HWND child, win::LPARAM distance);

class TAssistentWnd;

class TAssistentDlg : public TPageDlg {
 public:
  static constexpr int kBackId = 61, kNextId = 62, kCancelId = 63, kHelpId = 9, kPictureId = 60;
  static constexpr int kPictureWidth = 100, kPictureHeight = 200, kMargin = 15;
  static constexpr int kShift = 2 * kMargin + kPictureWidth;

  TAssistentDlg(fw::TWindow* parent, const platform::ResId& resource, const platform::ResId& picture,
                uint16_t helpId);

  bool SetWithHelp(bool flag);
  void DisableBack(bool flag);
  void DisableNext(bool flag);
  // Runs when the user goes on from the page.
  virtual void LeavePage() {}

  bool Find(fw::TEventInfo& e) override;
  void SetupWindow() override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;
  void EvSize(win::UINT kind, win::SIZE size);
  win::LRESULT EvCtlColor(win::WPARAM dc, win::LPARAM control);
  void CmBack();
  void CmNext();
  void CmCancel();
  void CmHelp();

  kxctl::TBitmapButton* BackBtn;
  kxctl::TBitmapButton* NextBtn;
  kxctl::TWinButton* CancelBtn;
  kxctl::TWinButton* HelpBtn;
  kxctl::TBitmapCtl* SideBitmap;
  win::Brush FaceBrush;
  bool WithHelp = false;

 private:
  TAssistentWnd* Wizard() const;
};

class TAssistentWnd : public TMultiDlg {
 public:
  static constexpr int kUntitledBefore = 27000, kUntitledBetween = 27001;

  TAssistentWnd(fw::TWindow* parent, const char* title) : TMultiDlg(parent, title) {}

  void SetPagesFlag(bool flag);
  const std::vector<int16_t>& GetHistory() const { return History; }

  bool Find(fw::TEventInfo& e) override;
  void SetupWindow() override;
  void NextPage() override;
  void PrevPage() override;
  void SelectPage(int index) override;
  virtual void PageSelected(int index) { (void)index; }
  virtual int GetNextPage() { return CurrentPage + 1; }
  virtual bool CanFinish() { return true; }
  void CmCancel();

 protected:
  std::vector<int16_t> History;
};

// A ready-made page that moves entries from one list (101) into another
// (102) with the list-transfer buttons (103 to 106) of its resource.
class TInsertColumnsDlg : public TAssistentDlg {
 public:
  TInsertColumnsDlg(fw::TWindow* parent, const platform::ResId& resource, const platform::ResId& picture);
  bool Find(fw::TEventInfo& e) override;
  void SetupWindow() override;
  void EvSourceDblClk();
  void EvTargetDblClk();

  fw::TListBox* SourceList;
  fw::TListBox* TargetList;
  kxctl::TInsertButton* InsertBtn;
  kxctl::TDeleteButton* DeleteBtn;
};

}  // namespace kxdlg
