// Text edits and list boxes (see kxedits.h).
#include "runtime/toolkit/kxedits.h"

#include <cstring>

namespace kxctl {

namespace {

std::vector<int32_t> CopyStops(const int32_t* stops, int32_t count) {
  return stops && count > 0 ? std::vector<int32_t>(stops, stops + count) : std::vector<int32_t>{};
}

}  // namespace

bool TNonTabEdit::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_GETDLGCODE, &TNonTabEdit::EvGetDlgCode>()};
  return table.Search(e) || fw::TEdit::Find(e);
}

win::LRESULT TNonTabEdit::EvGetDlgCode(win::WPARAM, win::LPARAM) {
  return DefaultProcessing() & ~win::DLGC_WANTTAB;
}

std::string ListToLines(std::string_view list, char separator) {
  std::string text;
  for (char c : list) {
    if (c == separator) text += "\r\n";
    else text += c;
  }
  return text;
}

std::string LinesToList(std::string_view text, char separator) {
  std::string list;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      list += text[i];
      continue;
    }
    list += separator;
    ++i;  // the line feed of the break
  }
  return list;
}

TListEdit::TListEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, uint16_t textLimit, char separator)
    : TNonTabEdit(parent, id, "", x, y, w, h, textLimit), Separator(separator) {
  Attr.Style |= win::ES_MULTILINE | win::ES_AUTOVSCROLL;
}

TListEdit::TListEdit(fw::TWindow* parent, int resourceId, uint16_t textLimit, char separator)
    : TNonTabEdit(parent, resourceId, textLimit), Separator(separator) {}

size_t TListEdit::Transfer(void* data, fw::TTransferDirection direction) {
  const int limit = GetTextLimit();
  if (limit <= 0) return 0;
  char* buffer = static_cast<char*>(data);
  if (direction == fw::TTransferDirection::GetData) {
    win::GetWindowText(GetHandle(), buffer, limit);
    const std::string list = LinesToList(buffer, Separator);
    std::memcpy(buffer, list.c_str(), list.size() + 1);  // never longer than what was read
  } else if (direction == fw::TTransferDirection::SetData) {
    win::SetWindowText(GetHandle(), ListToLines(std::string_view(buffer, strnlen(buffer, size_t(limit))), Separator));
  }
  return size_t(limit);
}

TBigEdit::TBigEdit(fw::TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool multiline)
    : fw::TEdit(parent, id, text, x, y, w, h, 0) {
  Attr.Style |= win::ES_NOHIDESEL | (multiline ? win::ES_MULTILINE : 0);
}

TTabbedListBox::TTabbedListBox(fw::TWindow* parent, int id, int x, int y, int w, int h, const int32_t* tabStops,
                               int32_t tabCount)
    : fw::TListBox(parent, id, x, y, w, h), TabStops(CopyStops(tabStops, tabCount)) {
  Attr.Style |= win::LBS_USETABSTOPS;
}

TTabbedListBox::TTabbedListBox(fw::TWindow* parent, int resourceId, const int32_t* tabStops, int32_t tabCount)
    : fw::TListBox(parent, resourceId), TabStops(CopyStops(tabStops, tabCount)) {}

void TTabbedListBox::SetupWindow() {
  fw::TListBox::SetupWindow();
  SendMessage(win::LB_SETTABSTOPS, win::WPARAM(TabStops.size()), reinterpret_cast<win::LPARAM>(TabStops.data()));
}

bool TSingleListbox::Find(fw::TEventInfo& e) {
  if (e.msg == win::WM_COMMAND && e.code == win::LBN_DBLCLK && e.id == Attr.Id && e.lParam) {
    if (!e.probe) EvDblClk();
    return true;
  }
  return fw::TListBox::Find(e);
}

void TSingleListbox::EvDblClk() {
  fw::TWindow* parent = GetParent();
  if (!parent || !parent->GetHandle()) return;
  const win::HWND ok = win::GetDlgItem(parent->GetHandle(), win::IDOK);
  win::SendMessage(parent->GetHandle(), win::WM_COMMAND, win::IDOK, win::LPARAM(ok.id));
}

}  // namespace kxctl
