// The tab bar, the paged and tabbed dialogs and the wizard, driven headless
// with real windows and messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/controls/scrollbar.h"
#include "platform/win/input.h"
#include "runtime/toolkit/kxpagedlg.h"
#include "runtime/toolkit/kxtabbar.h"
#include "runtime/toolkit/kxwizard.h"
#include "runtime/toolkit/tests/toolkit_ui.h"

namespace {

using namespace kxdlg;

constexpr int kTabBarId = 77;

win::RECT Rect(int l, int t, int r, int b) { return {l, t, r, b}; }

// The test font at a height where "A" is 7 pixels wide.
win::LOGFONT TabFont() {
  win::LOGFONT lf;
  lf.lfHeight = 14;
  win::SetFaceName(lf, "Arial");
  return lf;
}

// A page that may refuse to be left, with a transfer buffer of its own.
class Page : public TPageDlg {
 public:
  Page(fw::TWindow* parent, int resource, const char* caption, uint16_t helpId) : TPageDlg(parent, resource, caption, helpId) {}
  bool CanClose() override { return agree && TPageDlg::CanClose(); }
  bool agree = true;
};

class EditPage : public Page {
 public:
  EditPage(fw::TWindow* parent, const char* caption, uint16_t helpId = 0) : Page(parent, 30001, caption, helpId) {
    new fw::TEdit(this, 101, 20);
    SetTransferBuffer(name, sizeof name);
    std::strcpy(name, "Alt");
  }
  char name[20];
};

class CheckPage : public Page {
 public:
  CheckPage(fw::TWindow* parent, const char* caption) : Page(parent, 30003, caption, 0) {
    new fw::TCheckBox(this, 301);
    SetTransferBuffer(&check, sizeof check);
  }
  uint16_t check = 0;
};

class kxpaged : public toolkittest::DialogTest {
 protected:
  win::HWND Item(fw::TWindow* page, int id) { return win::GetDlgItem(page->GetHandle(), id); }
  // The last WM_COMMAND the spy saw.
  static zettest::SpiedMessage LastCommand(const zettest::MessageSpy& spy) {
    zettest::SpiedMessage found{};
    for (const auto& m : spy.Entries())
      if (m.message == win::WM_COMMAND) found = m;
    return found;
  }
};

// --- the tab bar ---

TEST_F(kxpaged, TabsAreLaidOutHitAndScrolledByWholeTabs) {
  auto* bar = new kxctl::TTabBar(owner_, kTabBarId, "A,BB", 0, 0, 200, 30);
  ASSERT_TRUE(bar->Create());
  const win::LOGFONT font = TabFont();
  bar->SendMessage(win::WM_SETFONT, reinterpret_cast<win::WPARAM>(&font), 1);
  win::RECT r;
  ASSERT_TRUE(bar->GetTabRect(0, r));
  EXPECT_TRUE(r == Rect(10, 5, 27, 25));
  ASSERT_TRUE(bar->GetTabRect(1, r));
  EXPECT_TRUE(r == Rect(27, 5, 51, 25));
  EXPECT_FALSE(bar->GetTabRect(2, r));
  EXPECT_FALSE(win::IsWindowVisible(bar->GetScrollBar()->GetHandle()));

  auto& spy = Spy(owner_->GetHandle());
  struct Hit {
    int x, y;
    int index;  // -1: nothing is sent
  } clicks[] = {{30, 10, 1}, {12, 10, 0}, {60, 10, -1}, {30, 26, -1}, {9, 10, -1}};
  for (const Hit& c : clicks) {
    spy.Clear();
    Click(bar->GetHandle(), c.x, c.y);
    const auto sent = spy.Messages({win::WM_COMMAND});
    if (c.index < 0) {
      EXPECT_TRUE(sent.empty()) << c.x;
      continue;
    }
    ASSERT_EQ(sent.size(), 1u) << c.x;
    const zettest::SpiedMessage m = LastCommand(spy);
    EXPECT_EQ(m.wParam, win::MAKEWPARAM(kTabBarId, uint16_t(c.index))) << c.x;
    EXPECT_EQ(m.lParam, win::LPARAM(bar->GetHandle().id));
    EXPECT_FALSE(m.posted);
  }
  EXPECT_EQ(bar->GetSelection(), 0);  // only the parent selects
  bar->SetSelection(1);
  EXPECT_EQ(bar->GetSelection(), 1);
  EXPECT_TRUE(MatchesWindowGolden(bar->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "tabbar_a_bb"));

  bar->SendMessage(win::WM_HSCROLL, win::SB_LINEDOWN);
  ASSERT_TRUE(bar->GetTabRect(1, r));
  EXPECT_EQ(r.left, 10);
  EXPECT_FALSE(bar->GetTabRect(0, r));
  bar->SendMessage(win::WM_HSCROLL, win::SB_LINEDOWN);  // already at the last tab
  EXPECT_EQ(bar->GetFirstTab(), 1);
  spy.Clear();
  Click(bar->GetHandle(), 12, 10);
  ASSERT_EQ(spy.Messages({win::WM_COMMAND}).size(), 1u);
  EXPECT_EQ(win::HIWORD(LastCommand(spy).wParam), 1);
  bar->SendMessage(win::WM_HSCROLL, win::SB_LINEUP);
  bar->SendMessage(win::WM_HSCROLL, win::SB_LINEUP);
  EXPECT_EQ(bar->GetFirstTab(), 0);
}

TEST_F(kxpaged, TheScrollBarShowsOnlyWhileTabsOverflowAndScrollsThem) {
  auto* bar = new kxctl::TTabBar(owner_, kTabBarId, "Adresse,Bank,Notizen,Konten,Termine", 0, 0, 120, 30);
  ASSERT_TRUE(bar->Create());
  const win::LOGFONT font = TabFont();
  bar->SendMessage(win::WM_SETFONT, reinterpret_cast<win::WPARAM>(&font), 1);
  const win::HWND scroll = bar->GetScrollBar()->GetHandle();
  EXPECT_TRUE(win::IsWindowVisible(scroll));
  win::RECT r;
  win::GetClientRect(scroll, &r);
  Click(scroll, r.right - 2, 3);
  EXPECT_EQ(bar->GetFirstTab(), 1);
  Click(scroll, 2, 3);
  EXPECT_EQ(bar->GetFirstTab(), 0);
  // Wide enough for every tab: the bar goes away.
  win::MoveWindow(bar->GetHandle(), 0, 0, 600, 30);
  EXPECT_FALSE(win::IsWindowVisible(scroll));
}

TEST_F(kxpaged, AnEmptyTitleHasNoTabs) {
  auto* bar = new kxctl::TTabBar(owner_, kTabBarId, "", 0, 0, 100, 30);
  ASSERT_TRUE(bar->Create());
  win::RECT r;
  EXPECT_FALSE(bar->GetTabRect(0, r));
  EXPECT_TRUE(r == Rect(0, 0, 100, 30));
  auto& spy = Spy(owner_->GetHandle());
  Click(bar->GetHandle(), 15, 10);
  EXPECT_TRUE(spy.Messages({win::WM_COMMAND}).empty());
  win::UpdateWindow(bar->GetHandle());  // paints without tabs
}

// --- paged and tabbed dialogs ---

struct Tabbed {
  explicit Tabbed(fw::TWindow* owner, uint16_t flags) : dlg(new TKxTabbedDlg(owner, "Optionen", flags)) {
    first = new EditPage(dlg, "Allgemein", 12);
    second = new Page(dlg, 30002, "", 0);
    third = new CheckPage(dlg, "a,b");
    for (TPageDlg* p : {static_cast<TPageDlg*>(first), static_cast<TPageDlg*>(second), static_cast<TPageDlg*>(third)})
      dlg->AddPage(p);
  }
  ~Tabbed() { delete dlg; }
  TKxTabbedDlg* dlg;
  EditPage* first;
  Page* second;
  CheckPage* third;
};

TEST_F(kxpaged, PagesCycleAndTabsNameThem) {
  Tabbed t(owner_, TButtonBar::kCancel | TButtonBar::kHelp);
  Then([&] {
    TKxTabbedDlg& d = *t.dlg;
    EXPECT_EQ(d.TabBar->GetCaption(), "Allgemein,Page 2,a;b");
    EXPECT_EQ(d.TabBar->Labels().size(), 3u);
    EXPECT_EQ(d.GetCurrentPage(), 0);
    EXPECT_TRUE(MatchesWindowGolden(d.GetHandle(), ZET_TOOLKIT_TESTS_DIR, "tabbed_dlg"));
    std::vector<int> seen;
    for (int i = 0; i < 3; ++i) {
      d.NextPage();
      seen.push_back(d.GetCurrentPage());
    }
    d.PrevPage();
    seen.push_back(d.GetCurrentPage());
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 2}));
    EXPECT_EQ(d.TabBar->GetSelection(), 2);
    EXPECT_FALSE(win::IsWindowVisible(t.first->GetHandle()));
    EXPECT_TRUE(win::IsWindowVisible(t.third->GetHandle()));
    EXPECT_FALSE(win::IsWindowEnabled(t.first->GetHandle()));
    // Ctrl+Tab in a page is the next page, Ctrl+Shift+Tab the previous one.
    win::SetFocus(Item(t.third, 301));
    win::InjectKey(win::VK_CONTROL, true);
    Key(win::VK_TAB);
    EXPECT_EQ(d.GetCurrentPage(), 0);
    win::InjectKey(win::VK_SHIFT, true);
    Key(win::VK_TAB);
    win::InjectKey(win::VK_SHIFT, false);
    win::InjectKey(win::VK_CONTROL, false);
    Settle();
    EXPECT_EQ(d.GetCurrentPage(), 2);
    // A tab click selects its page.
    win::RECT r;
    ASSERT_TRUE(d.TabBar->GetTabRect(1, r));
    Click(d.TabBar->GetHandle(), r.left + 2, r.top + 2);
    EXPECT_EQ(d.GetCurrentPage(), 1);
    // Cancel left of Help, both at the right edge; no OK, no Apply.
    const win::HWND bar = d.ButtonBar->GetHandle();
    ASSERT_FALSE(win::GetDlgItem(bar, win::IDOK));
    ASSERT_FALSE(win::GetDlgItem(bar, 10));
    win::RECT cancel, help, client;
    win::GetWindowRect(win::GetDlgItem(bar, win::IDCANCEL), &cancel);
    win::GetWindowRect(win::GetDlgItem(bar, win::IDHELP), &help);
    win::GetClientRect(bar, &client);
    win::POINT origin = win::ClientOrigin(bar);
    const int bx = 8;
    EXPECT_EQ(help.left - origin.x, client.right - 11 * bx);
    EXPECT_EQ(cancel.left - origin.x, client.right - 22 * bx);
    Click(win::GetDlgItem(bar, win::IDCANCEL), 3, 3);
  });
  EXPECT_EQ(t.dlg->Execute(), win::IDCANCEL);
  EXPECT_STREQ(t.first->name, "Alt");  // Cancel transfers nothing
}

TEST_F(kxpaged, ARefusingPageBlocksPageChangesAndOkUntilItAgrees) {
  Tabbed t(owner_, TButtonBar::kOk | TButtonBar::kCancel);
  Then([&] {
    TKxTabbedDlg& d = *t.dlg;
    EXPECT_EQ(win::GetWindowText(Item(t.first, 101)), "Alt");
    win::SetWindowText(Item(t.first, 101), "Neu");
    t.first->agree = false;
    d.NextPage();
    d.PrevPage();
    win::RECT r;
    ASSERT_TRUE(d.TabBar->GetTabRect(2, r));
    Click(d.TabBar->GetHandle(), r.left + 2, r.top + 2);
    Click(win::GetDlgItem(d.ButtonBar->GetHandle(), win::IDOK), 3, 3);
    EXPECT_EQ(Modal(), d.GetHandle());
    EXPECT_EQ(d.GetCurrentPage(), 0);
    EXPECT_EQ(d.TabBar->GetSelection(), 0);
    t.first->agree = true;
    d.NextPage();
    d.NextPage();
    win::CheckDlgButton(t.third->GetHandle(), 301, 1);
    Click(win::GetDlgItem(d.ButtonBar->GetHandle(), win::IDOK), 3, 3);
  });
  EXPECT_EQ(t.dlg->Execute(), win::IDOK);
  EXPECT_STREQ(t.first->name, "Neu");  // OK reads every page, not only the shown one
  EXPECT_EQ(t.third->check, 1);
}

TEST_F(kxpaged, EnterInAnEditThatWantsItStaysAndElsewhereCloses) {
  Tabbed t(owner_, TButtonBar::kOk);
  Then([&] {
    TKxTabbedDlg& d = *t.dlg;
    d.NextPage();
    win::SetFocus(Item(t.second, 201));
    Key(win::VK_RETURN);
    EXPECT_EQ(Modal(), d.GetHandle());
    d.PrevPage();
    win::SetFocus(Item(t.first, 101));
    Key(win::VK_RETURN);
  });
  EXPECT_EQ(t.dlg->Execute(), win::IDOK);
}

TEST_F(kxpaged, HelpOnAPageCarriesItsContext) {
  Tabbed t(owner_, TButtonBar::kHelp | TButtonBar::kCancel);
  Then([&] {
    TKxTabbedDlg& d = *t.dlg;
    win::SetFocus(Item(t.first, 101));
    Key(win::VK_F1);
    Click(win::GetDlgItem(d.ButtonBar->GetHandle(), win::IDHELP), 3, 3);
    d.NextPage();  // help id 0: the request keeps its own context
    win::SetFocus(Item(t.second, 201));
    Key(win::VK_F1);
    Key(win::VK_ESCAPE);
  });
  EXPECT_EQ(t.dlg->Execute(), win::IDCANCEL);
  ASSERT_EQ(owner_->contexts.size(), 3u);
  EXPECT_EQ(owner_->contexts[0], 10012u);
  EXPECT_EQ(owner_->contexts[1], 10012u);
  EXPECT_EQ(owner_->contexts[2], 0u);
}

// --- wizards ---

class WizardPage : public TAssistentDlg {
 public:
  WizardPage(fw::TWindow* parent, uint16_t helpId) : TAssistentDlg(parent, 30010, 12800, helpId) {}
  void LeavePage() override { ++left; }
  int left = 0;
};

class Wizard : public TAssistentWnd {
 public:
  Wizard(fw::TWindow* parent, const char* title, int pages, int skip = -1)
      : TAssistentWnd(parent, title), skip_(skip) {
    for (int i = 0; i < pages; ++i) {
      auto* page = new WizardPage(this, uint16_t(12800 + i));
      AddPage(page, i < 3 ? std::vector<const char*>{"Start", "Spalten", "Felder"}[size_t(i)] : nullptr);
      pages_.push_back(page);
    }
  }
  int GetNextPage() override { return CurrentPage + 1 == skip_ ? skip_ + 1 : CurrentPage + 1; }
  std::vector<WizardPage*> pages_;

 private:
  int skip_;
};

TEST_F(kxpaged, BackReturnsAlongThePathTakenAndCaptionsNameThePage) {
  Wizard w(owner_, "Import: Seite 1", 4, 2);
  w.SetPagesFlag(true);
  Then([&] {
    EXPECT_EQ(win::GetWindowText(w.GetHandle()), "Import: Start");
    EXPECT_FALSE(win::IsWindowEnabled(w.pages_[0]->BackBtn->GetHandle()));
    EXPECT_TRUE(MatchesWindowGolden(w.GetHandle(), ZET_TOOLKIT_TESTS_DIR, "wizard_page"));
    Click(w.pages_[0]->NextBtn->GetHandle(), 3, 3);
    EXPECT_EQ(win::GetWindowText(w.GetHandle()), "Import: Spalten");
    EXPECT_TRUE(win::IsWindowEnabled(w.pages_[1]->BackBtn->GetHandle()));
    win::SetFocus(Item(w.pages_[1], 101));
    Key(win::VK_RETURN);  // Enter is Next: page 2 is skipped
    EXPECT_EQ(w.GetCurrentPage(), 3);
    EXPECT_EQ(win::GetWindowText(w.GetHandle()), "Import: 44");  // untitled: strings 27000/27001 are empty
    EXPECT_EQ(w.GetHistory(), (std::vector<int16_t>{0, 1}));
    Click(w.pages_[3]->BackBtn->GetHandle(), 3, 3);
    EXPECT_EQ(w.GetCurrentPage(), 1);
    w.PrevPage();
    w.PrevPage();  // nothing left to go back to
    EXPECT_EQ(w.GetCurrentPage(), 0);
    EXPECT_EQ(w.pages_[0]->left + w.pages_[1]->left, 2);
    Click(w.pages_[0]->HelpBtn->GetHandle(), 3, 3);
    Click(w.pages_[0]->CancelBtn->GetHandle(), 3, 3);
  });
  EXPECT_EQ(w.Execute(), win::IDCANCEL);
  EXPECT_EQ(owner_->contexts, (std::vector<uintptr_t>{22800}));
}

TEST_F(kxpaged, AOnePageWizardEndsWithOkOnNext) {
  Wizard w(owner_, "Assistent", 1);
  Then([&] {
    w.PrevPage();
    EXPECT_EQ(Modal(), w.GetHandle());
    EXPECT_FALSE(win::IsWindowVisible(w.pages_[0]->HelpBtn->GetHandle()));
    Click(w.pages_[0]->NextBtn->GetHandle(), 3, 3);
  });
  EXPECT_EQ(w.Execute(), win::IDOK);
}

TEST_F(kxpaged, PageControlsMoveRightToMakeRoomForThePicture) {
  auto* plain = new Page(owner_, 30010, "", 0);
  Wizard w(owner_, "Assistent", 1);
  ASSERT_TRUE(plain->Create());
  Then([&] {
    for (int id : {100, 101}) {
      win::RECT a, b;
      win::GetWindowRect(Item(plain, id), &a);
      win::GetWindowRect(Item(w.pages_[0], id), &b);
      const win::POINT pa = win::ClientOrigin(plain->GetHandle()), pb = win::ClientOrigin(w.pages_[0]->GetHandle());
      EXPECT_EQ((b.left - pb.x) - (a.left - pa.x), 130) << id;
      EXPECT_EQ(b.top - pb.y, a.top - pa.y) << id;
    }
    win::RECT picture;
    win::GetWindowRect(w.pages_[0]->SideBitmap->GetHandle(), &picture);
    EXPECT_EQ(picture.left - win::ClientOrigin(w.pages_[0]->GetHandle()).x, 15);
    EXPECT_EQ(picture.right - picture.left, 100);
    EXPECT_EQ(picture.bottom - picture.top, 200);
    Key(win::VK_ESCAPE);
  });
  EXPECT_EQ(w.Execute(), win::IDCANCEL);
}

TEST_F(kxpaged, ALongForwardPathKeepsItsWholeHistory) {
  constexpr int kPages = 26;
  Wizard w(owner_, "Lang", kPages);
  Then([&] {
    for (int i = 0; i < kPages - 1; ++i) w.NextPage();
    ASSERT_EQ(w.GetHistory().size(), size_t(kPages - 1));
    std::vector<int> back;
    for (int i = 0; i < kPages - 1; ++i) {
      w.PrevPage();
      back.push_back(w.GetCurrentPage());
    }
    for (int i = 0; i < kPages - 1; ++i) EXPECT_EQ(back[size_t(i)], kPages - 2 - i);
    Key(win::VK_ESCAPE);
  });
  EXPECT_EQ(w.Execute(), win::IDCANCEL);
}

}  // namespace
