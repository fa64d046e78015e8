// The browse buttons and the question-mark button (see kxbrowse.h).
#include "runtime/toolkit/kxbrowse.h"

#include <cstring>

#include "platform/resources/resources.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxdialogs.h"

namespace kxbrowse {

namespace {

constexpr int kPathBuffer = 260;
constexpr int kFolderBuffer = 256;

}  // namespace

std::string DriveAndDirectory(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) return path.substr(0, slash + 1);
  return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

TBrowseButton::TBrowseButton(fw::TWindow* parent, int resourceId, fw::TOpenSaveData* fileData, fw::TEdit* edit,
                             bool dirOnly)
    : fw::TButton(parent, resourceId), Edit(edit), FileData(fileData), DirOnly(dirOnly) {}

void TBrowseButton::BNClicked() {
  if (!FileData || !Edit) return;
  FileData->FileName = std::make_unique<char[]>(kPathBuffer);
  FileData->MaxPath = kPathBuffer;
  std::string text = Edit->GetText();
  if (text.size() > size_t(kPathBuffer - 1)) text.resize(kPathBuffer - 1);
  const std::string start = DriveAndDirectory(text);
  std::memcpy(FileData->FileName.get(), start.c_str(), start.size() + 1);
  FileData->Flags |= fw::OFN_HIDEREADONLY;
  FileData->InitialDir = FileData->FileName.get();
  if (fw::ExecuteFileOpen(GetParent(), *FileData, kxapp::LoadText(53806).c_str()) != win::IDOK) return;
  const std::string chosen = FileData->FileName.get();
  Edit->SetText((DirOnly ? DriveAndDirectory(chosen) : chosen).c_str());
}

TFolderBtn::TFolderBtn(fw::TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault,
                       fw::TEdit* edit)
    : fw::TButton(parent, id, text, x, y, w, h, isDefault), Edit(edit) {}

TFolderBtn::TFolderBtn(fw::TWindow* parent, int resourceId, fw::TEdit* edit)
    : fw::TButton(parent, resourceId), Edit(edit) {}

void TFolderBtn::BNClicked() {
  char folder[kFolderBuffer];
  const win::HWND owner = GetParent() ? GetParent()->GetHandle() : win::HWND();
  if (kxdlg::BrowseForFolder(owner, kxapp::LoadText(53807).c_str(), folder, kFolderBuffer - 1) && Edit)
    Edit->SetText(folder);
}

TListBtn::TListBtn(fw::TWindow* parent, int id, int x, int y, int w, int h) : fw::TWindow(parent) {
  Attr.Style = win::WS_CHILD | win::WS_VISIBLE | win::WS_BORDER;
  Attr.X = x, Attr.Y = y, Attr.W = w, Attr.H = h;
  Attr.Id = id;
}

void TListBtn::GetWindowClass(win::WNDCLASS& wc) {
  fw::TWindow::GetWindowClass(wc);
  wc.background = win::GetSysColor(win::COLOR_BTNFACE);
}

bool TListBtn::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_LBUTTONDOWN, &TListBtn::EvLButtonDown>()};
  return table.Search(e) || fw::TWindow::Find(e);
}

void TListBtn::EvLButtonDown(win::UINT, win::POINT) {
  const win::HWND parent = GetParent() ? GetParent()->GetHandle() : win::GetParent(GetHandle());
  win::PostMessage(parent, win::WM_COMMAND, win::WPARAM(uint16_t(Attr.Id)), win::LPARAM(GetHandle().id));
}

void TListBtn::SetPressed(bool pressed) {
  if (Pressed == pressed) return;
  Pressed = pressed;
  Invalidate(true);
  UpdateWindow();
}

void TListBtn::Paint(win::Dc& dc, bool, win::RECT&) {
  win::RECT r;
  win::GetClientRect(GetHandle(), &r);
  const win::Pen gray = win::CreatePen(win::PS_SOLID, 1, win::RGB(128, 128, 128));
  const win::Pen old = dc.SelectPen(gray);
  win::RECT text = r;
  if (!Pressed) {
    dc.SelectPen(win::CreatePen(win::PS_SOLID, 1, win::RGB(255, 255, 255)));
    dc.MoveToEx(r.left, r.bottom - 1);
    dc.LineTo(r.left, r.top);
    dc.LineTo(r.right - 1, r.top);
    dc.SelectPen(gray);
    dc.LineTo(r.right - 1, r.bottom - 1);
    dc.LineTo(r.left - 1, r.bottom - 1);
  } else {
    dc.MoveToEx(r.left, r.bottom);
    dc.LineTo(r.left, r.top);
    dc.LineTo(r.right, r.top);
    text = {r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
  }
  dc.SelectPen(win::CreatePen(win::PS_SOLID, 1, win::RGB(0, 0, 0)));
  dc.SetBkMode(win::TRANSPARENT);
  dc.DrawText("&?", &text, win::DT_CENTER | win::DT_VCENTER | win::DT_SINGLELINE);
  dc.SelectPen(old);
}

}  // namespace kxbrowse
