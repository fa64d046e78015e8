// TDialog and the control objects (see dialog.h).
#include "platform/framework/dialog.h"

#include <algorithm>
#include <cstring>

#include "platform/dialogs/provider.h"

namespace fw {

TDialog::TDialog(TWindow* parent, const platform::ResId& resource) : TWindow(parent), resource_(resource) {
  Attr.Style = win::WS_POPUP | win::WS_VISIBLE;
}

bool TDialog::Find(TEventInfo& e) {
  static const TResponseTable table{OnCommand<win::IDOK, &TDialog::CmOk>(),
                                    OnCommand<win::IDCANCEL, &TDialog::CmCancel>()};
  return table.Search(e) || TWindow::Find(e);
}

HWND TDialog::DoCreate(HWND parent, bool hidden) {
  platform::DialogTemplate t;
  if (!platform::LoadDialogTemplate(resource_, t)) return nullptr;
  if (hidden) t.style &= ~win::WS_VISIBLE;
  return win::CreateDialogIndirectParam(t, parent, nullptr, 0);
}

LRESULT TDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case win::WM_CREATE: return DefaultProcessing();  // the controls come later: set up on WM_INITDIALOG
    case win::WM_INITDIALOG: {
      RunSetup();
      return DefaultProcessing();
    }
    case win::WM_CLOSE: CmCancel(); return 0;
  }
  return TWindow::WindowProc(msg, wParam, lParam);
}

bool TDialog::PreProcessMsg(win::MSG& msg) { return win::IsDialogMessage(GetHandle(), &msg); }

void TDialog::CmOk() {
  if (!CanClose()) return;
  TransferData(TTransferDirection::GetData);
  Destroy(win::IDOK);
}

void TDialog::CmCancel() { Destroy(win::IDCANCEL); }

TControl::TControl(TWindow* parent, int id, const char* text, int x, int y, int w, int h, const char* className,
                   win::DWORD style)
    : TWindow(parent, text), className_(className) {
  win::RegisterControlClasses();
  Attr.Style = win::WS_CHILD | win::WS_VISIBLE | style;
  Attr.X = x, Attr.Y = y, Attr.W = w, Attr.H = h;
  Attr.Id = id;
}

bool TControl::Find(TEventInfo& e) {
  if (e.msg != win::WM_PAINT) return TWindow::Find(e);
  if (!e.probe) e.result = DefaultProcessing();
  return true;
}

TControl::TControl(TWindow* parent, int resourceId, const char* className)
    : TWindow(parent, resourceId), className_(className) {
  win::RegisterControlClasses();
}

namespace {

// A text control's part of the transfer buffer: limit bytes, NUL included.
size_t TransferText(HWND hwnd, int limit, void* data, TTransferDirection direction) {
  if (limit <= 0) return 0;
  char* text = static_cast<char*>(data);
  if (direction == TTransferDirection::GetData) {
    win::GetWindowText(hwnd, text, limit);
  } else if (direction == TTransferDirection::SetData) {
    win::SetWindowText(hwnd, std::string(text, strnlen(text, size_t(limit - 1))));
  }
  return size_t(limit);
}

}  // namespace

TStatic::TStatic(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit)
    : TControl(parent, id, text, x, y, w, h, win::kStaticClass, 0), textLimit_(textLimit) {}

TStatic::TStatic(TWindow* parent, int resourceId, int textLimit)
    : TControl(parent, resourceId, win::kStaticClass), textLimit_(textLimit) {}

size_t TStatic::Transfer(void* data, TTransferDirection direction) {
  return TransferText(GetHandle(), textLimit_, data, direction);
}

TButton::TButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault)
    : TControl(parent, id, text, x, y, w, h, win::kButtonClass,
               win::WS_TABSTOP | (isDefault ? win::BS_DEFPUSHBUTTON : win::BS_PUSHBUTTON)) {}

TButton::TButton(TWindow* parent, int resourceId) : TControl(parent, resourceId, win::kButtonClass) {}

bool TButton::Find(TEventInfo& e) {
  if (e.msg == win::WM_COMMAND && e.code == win::BN_CLICKED && e.id == Attr.Id && e.lParam) {
    if (!e.probe) BNClicked();
    return true;
  }
  return TControl::Find(e);
}

TCheckBox::TCheckBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h, win::DWORD kind)
    : TControl(parent, id, text, x, y, w, h, win::kButtonClass, win::WS_TABSTOP | kind) {
  EnableTransfer();
}

TCheckBox::TCheckBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h)
    : TCheckBox(parent, id, text, x, y, w, h, win::BS_AUTOCHECKBOX) {}

TCheckBox::TCheckBox(TWindow* parent, int resourceId) : TControl(parent, resourceId, win::kButtonClass) {
  EnableTransfer();
}

size_t TCheckBox::Transfer(void* data, TTransferDirection direction) {
  uint16_t state = 0;
  if (direction == TTransferDirection::GetData) {
    state = GetCheck();
    std::memcpy(data, &state, sizeof state);
  } else if (direction == TTransferDirection::SetData) {
    std::memcpy(&state, data, sizeof state);
    SetCheck(state);
  }
  return sizeof state;
}

TRadioButton::TRadioButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h)
    : TCheckBox(parent, id, text, x, y, w, h, win::BS_AUTORADIOBUTTON) {}

TEdit::TEdit(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit)
    : TControl(parent, id, text, x, y, w, h, win::kEditClass, win::WS_TABSTOP | win::WS_BORDER | win::ES_AUTOHSCROLL),
      textLimit_(textLimit) {
  EnableTransfer();
}

TEdit::TEdit(TWindow* parent, int resourceId, int textLimit)
    : TControl(parent, resourceId, win::kEditClass), textLimit_(textLimit) {
  EnableTransfer();
}

void TEdit::SetupWindow() {
  TControl::SetupWindow();
  if (textLimit_ > 0) SendMessage(win::EM_LIMITTEXT, WPARAM(textLimit_ - 1));
}

size_t TEdit::Transfer(void* data, TTransferDirection direction) {
  return TransferText(GetHandle(), textLimit_, data, direction);
}

int ExecuteFileOpen(TWindow* parent, TOpenSaveData& data, const char* title) {
  dialogs::OpenFileRequest request;
  request.owner = parent ? parent->GetHandle() : HWND();
  request.title = title ? title : "";
  request.filter = data.Filter;
  request.initialDir = data.InitialDir ? data.InitialDir : "";
  request.fileName = data.FileName ? data.FileName.get() : "";
  request.flags = data.Flags;
  if (!dialogs::AskOpenFile(request)) return win::IDCANCEL;
  if (data.FileName && data.MaxPath > 0) {
    const size_t n = std::min(request.chosen.size(), size_t(data.MaxPath - 1));
    std::memcpy(data.FileName.get(), request.chosen.data(), n);
    data.FileName[n] = 0;
  }
  return win::IDOK;
}

TListBox::TListBox(TWindow* parent, int id, int x, int y, int w, int h)
    : TControl(parent, id, nullptr, x, y, w, h, win::kListBoxClass,
               win::WS_TABSTOP | win::WS_BORDER | win::LBS_NOTIFY) {}

TListBox::TListBox(TWindow* parent, int resourceId) : TControl(parent, resourceId, win::kListBoxClass) {}

int TListBox::AddString(const char* text) {
  return int(win::SendMessage(GetHandle(), win::LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

int TListBox::GetCount() const { return int(win::SendMessage(GetHandle(), win::LB_GETCOUNT)); }
int TListBox::GetSelIndex() const { return int(win::SendMessage(GetHandle(), win::LB_GETCURSEL)); }
int TListBox::SetSelIndex(int index) {
  return int(win::SendMessage(GetHandle(), win::LB_SETCURSEL, WPARAM(intptr_t(index))));
}

std::string TListBox::GetString(int index) const {
  const LRESULT n = win::SendMessage(GetHandle(), win::LB_GETTEXTLEN, WPARAM(index));
  if (n < 0) return {};
  std::string text(size_t(n) + 1, '\0');
  win::SendMessage(GetHandle(), win::LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(size_t(n));
  return text;
}

void TListBox::ClearList() { win::SendMessage(GetHandle(), win::LB_RESETCONTENT); }

}  // namespace fw
