// Paged dialogs: dialog pages (TPageDlg), the frame that shows one page at a
// time (TMultiDlg), the bar of command buttons (TButtonBar) and the tabbed
// frame with a tab bar on top and a button bar below (TKxTabbedDlg).
//
// What always holds:
//   1. Every page is a child dialog of the frame, made from its dialog
//      resource when the frame is set up. Exactly one page, CurrentPage, is
//      shown and enabled, placed as the frame's client between the top and
//      the bottom decorations; every other page is hidden and disabled.
//      CurrentPage is -1 only before the first selection.
//   2. The frame leaves a page only when that page agrees (its CanClose):
//      next, previous, tab clicks and OK alike. A refusal changes nothing.
//   3. OK (CloseWindow) transfers the data out of every page, in page order,
//      and ends the frame with the value given; Cancel (Destroy) ends it
//      with its value and transfers nothing. Execute answers that value.
//   4. Next after the last page is page 0; previous before page 0 is the
//      last page.
//   5. Help asked anywhere in the frame without a context of its own gets
//      the shown page's help id + 10000 (a page with help id 0 adds none).
//   6. A page's keys: Ctrl+Tab is next page, Ctrl+Shift+Tab previous page,
//      Enter is OK unless the focused control wants all keys, Escape is
//      Cancel; everything else goes to the dialog manager.
//   7. The tab bar's labels are the page captions in page order, one tab a
//      page: a "," in a caption becomes ";", an empty caption "Page n"
//      (n counted from 1), and each is cut at 40 characters. The selected
//      tab is CurrentPage.
//   8. The button bar shows, from left to right, Apply, OK, Cancel and Help,
//      each present one taking the next place from the right edge.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/framework/dialog.h"
#include "runtime/toolkit/kxtabbar.h"

namespace kxdlg {

class TMultiDlg;

class TPageDlg : public fw::TDialog {
 public:
  TPageDlg(fw::TWindow* parent, const platform::ResId& resource, const char* caption, uint16_t helpId);

  void SetupWindow() override;
  bool Find(fw::TEventInfo& e) override;
  bool PreProcessMsg(win::MSG& msg) override;
  void CmPageOk();
  void CmPageCancel();
  // The frame the page belongs to, or null.
  TMultiDlg* Frame() const;

  uint16_t HelpId;
  std::string Caption;  // empty: none

 protected:
  win::HWND DoCreate(win::HWND parent, bool hidden) override;
};

class TMultiDlg : public fw::TWindow {
 public:
  static constexpr int kCmNextPage = 18;
  static constexpr int kCmPrevPage = 19;

  TMultiDlg(fw::TWindow* parent, const char* title);

  void AddPage(TPageDlg* page, const char* caption = nullptr);
  TPageDlg* GetPage(int index) const;
  int GetPageCount() const { return int(Pages.size()); }
  int GetCurrentPage() const { return CurrentPage; }
  TPageDlg* GetClientPage() const { return GetPage(CurrentPage); }
  const win::LOGFONT& GetFont() const { return Font; }

  bool Find(fw::TEventInfo& e) override;
  void SetupWindow() override;
  bool CanClose() override;
  void CloseWindow(int retVal = 0) override;
  void Destroy(int retVal) { fw::TWindow::Destroy(retVal); }
  // Runs the frame modally (rule 3).
  int Execute() { return fw::TWindow::Execute(); }
  // Execute with the top-level window above the parent disabled meanwhile.
  int ExecuteDisablingTop();
  bool TransferData(fw::TTransferDirection direction) override;
  virtual void NextPage();
  virtual void PrevPage();
  virtual void SelectPage(int index);
  virtual void FitPage(TPageDlg* page);

  win::LRESULT EvHelp(win::WPARAM wParam, win::LPARAM lParam);
  void EvKeyDown(win::UINT key, win::UINT repeat, win::UINT flags);
  void EvSize(win::UINT kind, win::SIZE size);
  void CmNext() { NextPage(); }
  void CmPrev() { PrevPage(); }
  void CmHelp();

 protected:
  const char* GetClassName() override { return "KxMultiDlg"; }
  void GetWindowClass(win::WNDCLASS& wc) override;
  // A decoration: a child laid out across the frame's top or bottom edge,
  // at its own height; the shown page fills what is left between them.
  void InsertDecoration(fw::TWindow* decoration, bool top);
  // Lays out the decorations and the shown page in the client area.
  void Layout();
  // Whether the shown page agrees to be left (true when none is shown).
  bool PageAgrees();

  int16_t CurrentPage = -1;
  std::vector<TPageDlg*> Pages;  // child windows of the frame, owned by it as children
  win::LOGFONT Font;

 private:
  std::vector<std::pair<fw::TWindow*, bool>> decorations_;
};

class TButtonBar : public fw::TWindow {
 public:
  static constexpr uint16_t kOk = 1, kCancel = 2, kHelp = 4, kApply = 8;

  TButtonBar(fw::TWindow* parent, int id, int x, int y, int w, uint16_t flags);

  bool Find(fw::TEventInfo& e) override;
  void SetupWindow() override;
  void EvSize(win::UINT kind, win::SIZE size);
  void CmOk();
  void CmCancel();
  void CmHelp() { PassOn(win::IDHELP); }
  void CmApply() { PassOn(kApplyId); }
  static constexpr int kApplyId = 10;

 protected:
  const char* GetClassName() override { return "KxButtonBar"; }
  void GetWindowClass(win::WNDCLASS& wc) override;

 private:
  // Sends the command to the parent, naming the bar.
  void PassOn(int id);
  uint16_t flags_;
};

class TKxTabbedDlg : public TMultiDlg {
 public:
  static constexpr int kTabBarId = 900;
  static constexpr int kButtonBarId = 901;

  TKxTabbedDlg(fw::TWindow* parent, const char* title, uint16_t buttonFlags);

  bool Find(fw::TEventInfo& e) override;
  void SetupWindow() override;
  void SelectPage(int index) override;
  void FitPage(TPageDlg* page) override;
  // The tab bar's click on tab index.
  void TabClicked(int index);

  kxctl::TTabBar* TabBar;
  TButtonBar* ButtonBar;
};

}  // namespace kxdlg
