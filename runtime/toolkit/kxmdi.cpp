// Document windows, their client and the client's print jobs (see kxmdi.h).
#include "runtime/toolkit/kxmdi.h"

#include <cstring>

#include "engine/base/engassert.h"
#include "platform/dialogs/provider.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxstring.h"

namespace kxmdi {

namespace {

TSpoolerMaker* spoolerMaker = nullptr;

std::optional<std::string> NameOf(const char* name) {
  return name && *name ? std::optional<std::string>(name) : std::nullopt;
}

}  // namespace

void SetSpoolerMaker(TSpoolerMaker* maker) { spoolerMaker = maker; }

TKxMdiChild::TKxMdiChild(fw::TMDIClient* parent, const char* title, const char* name, int16_t kind)
    : fw::TMDIChild(parent, title), Kind(kind), name_(NameOf(name)) {}

void TKxMdiChild::GetName(char* buffer, int maxLength) const {
  if (!buffer || maxLength < 0) return;
  const std::string& name = name_ ? *name_ : std::string();
  const size_t n = std::min(name.size(), size_t(maxLength));
  std::memcpy(buffer, name.data(), n);
  buffer[n] = 0;
}

void TKxMdiChild::SetName(const char* name) { name_ = NameOf(name); }

void TKxMdiChild::EnableWindowCounted(bool enable) {
  if (enable) {
    if (--DisableCount == 0) win::EnableWindow(GetHandle(), true);
  } else if (DisableCount++ == 0) {
    win::EnableWindow(GetHandle(), false);
  }
}

bool TKxMdiChild::CanClose() {
  if (!fw::TMDIChild::CanClose()) return false;
  const fw::TWindow* client = GetParent();
  return !client || win::SendMessage(client->GetHandle(), WM_CHILDMAYCLOSE, win::WPARAM(intptr_t(Kind)),
                                     reinterpret_cast<win::LPARAM>(this)) == 0;
}

void TKxMdiChild::Print(int32_t, const char* caption) {
  kxapp::AppMessageBox(GetHandle(), 52800, caption, win::MB_ICONEXCLAMATION, 0);
}

void TKxMdiChild::NotifyActivated() {
  if (const fw::TWindow* client = GetParent())
    win::SendMessage(client->GetHandle(), WM_CHILDACTIVATED, win::WPARAM(intptr_t(Kind)),
                     win::LPARAM(GetHandle().id));
}

win::LRESULT TKxMdiChild::WindowProc(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  switch (msg) {
    case win::WM_DESTROY:
      if (const fw::TWindow* client = GetParent())
        win::SendMessage(client->GetHandle(), WM_CHILDDESTROYED, win::WPARAM(intptr_t(Kind)),
                         reinterpret_cast<win::LPARAM>(this));
      break;
    case win::WM_MDIACTIVATE: {
      const win::LRESULT r = fw::TMDIChild::WindowProc(msg, wParam, lParam);
      if (GetHandle() && win::LPARAM(GetHandle().id) == lParam) NotifyActivated();
      return r;
    }
    case win::WM_MOUSEACTIVATE: NotifyActivated(); break;
  }
  return fw::TMDIChild::WindowProc(msg, wParam, lParam);
}

TKxMdiClient::TKxMdiClient(fw::TWindow* frame, win::HMENU windowMenu) : fw::TMDIClient(frame, windowMenu) {}

TKxMdiChild* TKxMdiClient::FindChild(int16_t kind, const char* name) const {
  for (fw::TMDIChild* c : GetMDIChildren()) {
    auto* child = dynamic_cast<TKxMdiChild*>(c);
    if (!child || child->Kind != kind) continue;
    const auto& own = child->Name();
    if (!name ? !own : own && kxstring::StrEqualNoCase(own->c_str(), name)) return child;
  }
  return nullptr;
}

win::HWND TKxMdiClient::AddChild(TKxMdiChild* child) {
  win::BOOL maximized = false;
  win::SendMessage(GetHandle(), win::WM_MDIGETACTIVE, 0, reinterpret_cast<win::LPARAM>(&maximized));
  if (maximized) child->Attr.Style |= win::WS_MAXIMIZE;
  return CreateChild(child);
}

void TKxMdiClient::EnableChildren(bool enable) {
  for (fw::TMDIChild* c : GetMDIChildren())
    if (auto* child = dynamic_cast<TKxMdiChild*>(c)) child->EnableWindowCounted(enable);
}

bool TKxMdiClient::RunPrintDestinationDlg(const char* docName, const char* caption) {
  kxprndest::TPrintPreviewDlg dialog(GetParent(), &Printer, docName, caption, &PrintDestination);
  return dialog.Execute() == win::IDOK;
}

TSpooler* TKxMdiClient::CreateSpooler(int16_t destination, const char* name, const char* fileName, int16_t format) {
  if (destination == kxprndest::kToFile) {
    if (format < kxprndest::kPrinterData || format > kxprndest::kTextStream3) format = kxprndest::kWindowsText;
    if (!fileName || !*fileName) destination = kxprndest::kToPreview;
  }
  if (!spoolerMaker) return nullptr;
  if (destination == kxprndest::kToPrinter) {
    Spooler = spoolerMaker->MakePrinterSpooler(name, "", Printer);
  } else if (destination == kxprndest::kToPreview) {
    win::BOOL maximized = false;
    win::SendMessage(GetHandle(), win::WM_MDIGETACTIVE, 0, reinterpret_cast<win::LPARAM>(&maximized));
    ActiveWasZoomed = maximized;
    SpoolWnd = spoolerMaker->MakePreviewWindow(*this, name);
    SpoolWnd->Attr.Style |= win::WS_MAXIMIZE;
    Spooler = spoolerMaker->MakeWindowSpooler(name, *SpoolWnd, Printer);
    EnableChildren(false);
    AddChild(SpoolWnd);
  } else if (destination == kxprndest::kToFile) {
    static constexpr int kStreamType[] = {1, 0, 2, 3};  // formats 2-5
    if (format == kxprndest::kPrinterData) Spooler = spoolerMaker->MakePrinterSpooler(name, fileName, Printer);
    else Spooler = spoolerMaker->MakeStreamSpooler(name, fileName, kStreamType[format - 2], Printer);
  }
  if (Spooler && !Spooler->Ready()) Spooler.reset();
  if (!Spooler && SpoolWnd) EndPreview();
  return Spooler.get();
}

void TKxMdiClient::EndPreview() {
  EnableChildren(true);
  delete SpoolWnd;
  SpoolWnd = nullptr;
  win::BOOL maximized = false;
  const win::HWND active{uint32_t(
      win::SendMessage(GetHandle(), win::WM_MDIGETACTIVE, 0, reinterpret_cast<win::LPARAM>(&maximized)))};
  if (active && !ActiveWasZoomed) win::SendMessage(GetHandle(), win::WM_MDIRESTORE, win::WPARAM(active.id), 0);
}

void TKxMdiClient::DeleteSpooler() {
  ZET_ASSERT(Spooler, "Spooler != NULL");
  if (SpoolWnd) EndPreview();
  Spooler.reset();
}

}  // namespace kxmdi
