// Small specialisations of the framework's edit and list box: an edit that
// leaves Tab to the dialog, the list edit that shows a separator-joined list
// one item per line, the big edit, the list box with tab stops and the list
// box whose double click is the dialog's OK.
//
// What always holds:
//   1. TNonTabEdit (and so TListEdit) never answers DLGC_WANTTAB: Tab moves
//      the focus on, also from a multi-line edit.
//   2. TListEdit's part of the transfer buffer is its text limit, in every
//      direction. Set: each separator of the buffer's list becomes a line
//      break, so n separators give n + 1 lines (a trailing separator a last
//      empty line); the caller's buffer is left as it was. Get: each line
//      break becomes one separator again, so a list reads back as it was set;
//      a text longer than the limit is cut, and a carriage return at the very
//      end becomes a final separator.
//   3. TTabbedListBox keeps its own copy of the tab stops it was given and
//      sets them when its window is set up; the positional form adds
//      LBS_USETABSTOPS, the resource form takes the resource's style.
//   4. A double click on an entry of a TSingleListbox sends its parent the
//      command IDOK from the parent's control 1, as a click on OK would.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/framework/dialog.h"

namespace kxctl {

class TNonTabEdit : public fw::TEdit {
 public:
  using fw::TEdit::TEdit;
  bool Find(fw::TEventInfo& e) override;
  win::LRESULT EvGetDlgCode(win::WPARAM wParam, win::LPARAM lParam);
};

// The list in the edit's lines and back (rule 2), without windows.
std::string ListToLines(std::string_view list, char separator);
std::string LinesToList(std::string_view text, char separator);

class TListEdit : public TNonTabEdit {
 public:
  TListEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, uint16_t textLimit, char separator);
  TListEdit(fw::TWindow* parent, int resourceId, uint16_t textLimit, char separator);
  size_t Transfer(void* data, fw::TTransferDirection direction) override;

  char Separator;
};

class TBigEdit : public fw::TEdit {
 public:
  TBigEdit(fw::TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool multiline);
};

class TTabbedListBox : public fw::TListBox {
 public:
  TTabbedListBox(fw::TWindow* parent, int id, int x, int y, int w, int h, const int32_t* tabStops, int32_t tabCount);
  TTabbedListBox(fw::TWindow* parent, int resourceId, const int32_t* tabStops, int32_t tabCount);
  void SetupWindow() override;

  std::vector<int32_t> TabStops;
};

class TSingleListbox : public fw::TListBox {
 public:
  using fw::TListBox::TListBox;
  bool Find(fw::TEventInfo& e) override;
  void EvDblClk();
};

}  // namespace kxctl
