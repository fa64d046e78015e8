#include "runtime/toolkit/kxdibctl.h"

#include <cstring>

#include "platform/dialogs/provider.h"
#include "platform/win/backend.h"
#include "platform/win/winuser.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxstring.h"
#include "runtime/toolkit/kxutil.h"

namespace kxobject {

namespace {

constexpr int kMaxPath = 259;
constexpr int kMaxFilter = 255;
constexpr uint32_t kNoClipboardPicture = 52900, kPastePictureCaption = 52901, kEmbeddedLabel = 52902;
constexpr int kEmbedButton = 101;

// Rule 4: the same file whatever the case and the separators.
bool SamePath(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    const char x = *a == '\\' ? '/' : kxstring::CharUpperGerman(*a);
    const char y = *b == '\\' ? '/' : kxstring::CharUpperGerman(*b);
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

TImportOffer OfferImport(const TImportOptions& options) {
  TImportOffer offer;
  offer.Available[int(TImportChoice::Embed)] = options.AllowEmbed;
  offer.Available[int(TImportChoice::Link)] = options.AllowLink;
  offer.Available[int(TImportChoice::CopyAndLink)] = !options.PictureDir.empty();
  offer.Preset = options.AllowLink              ? TImportChoice::Link
                 : !options.PictureDir.empty() ? TImportChoice::CopyAndLink
                                               : TImportChoice::Embed;
  offer.Ask = int(offer.Available[0]) + int(offer.Available[1]) + int(offer.Available[2]) >= 2;
  return offer;
}

std::unique_ptr<TKxPicture> ImportPictureFile(const char* path, const TImportOptions& options,
                                              const TAskImportChoice& ask, const TShowImportFailure& fail) {
  char chosen[kMaxPath + 1];
  kxstring::StrLCopy(chosen, path, kMaxPath);
  const TImportOffer offer = OfferImport(options);
  TImportChoice choice = offer.Preset;
  if (offer.Ask) {
    const std::optional<TImportChoice> answer = ask(offer);
    if (!answer) return nullptr;
    choice = *answer;
  }
  if (choice == TImportChoice::CopyAndLink) {
    char target[kMaxPath + 1], name[kMaxPath + 1];
    kxstring::StrLCopy(target, options.PictureDir.c_str(), kMaxPath);
    kxstring::AddBackslash(target, kMaxPath);
    kxstring::StrLCat(target, kxstring::GetNameExt(name, chosen, kMaxPath), kMaxPath);
    if (!SamePath(target, chosen) && kxutil::CopyFiles(options.PictureDir.c_str(), chosen, nullptr, 0) < 0) {
      fail("Could not copy file.", "Copy");
      return nullptr;
    }
    kxstring::StrLCopy(chosen, target, kMaxPath);
  }
  std::unique_ptr<TKxGraphic> graphic = LoadGraphicFile(chosen);
  if (!graphic || graphic->GetStatus() < 0) {
    fail("Could not read the image.", "Reading Image");
    return nullptr;
  }
  auto picture = std::make_unique<TKxPicture>();
  picture->Graphic = std::move(graphic);
  picture->FileName.Assign(chosen, -1);
  picture->Embedded = choice == TImportChoice::Embed ? 1 : 0;
  return picture;
}

TDibControl::TDibControl(fw::TWindow* parent, int id, const char* title, int x, int y, int w, int h)
    : TWindow(parent, title) {
  Attr.Id = id;
  Attr.X = x, Attr.Y = y, Attr.W = w, Attr.H = h;
  EnableTransfer();
}

TDibControl::TDibControl(fw::TWindow* parent, int resourceId) : TWindow(parent, resourceId) {
  RegisterWindowClass();  // the dialog template makes the window by this class
  EnableTransfer();
}

void TDibControl::Changed() {
  if (GetHandle()) Invalidate(true);
  if (NameLabel) NameLabel->SetCaption(LabelText().c_str());
}

void TDibControl::SetPicture(std::unique_ptr<TKxPicture> picture) {
  Picture = std::move(picture);
  Changed();
}

void TDibControl::SetDib(std::unique_ptr<TKxDib> dib) {
  if (!Picture) Picture = std::make_unique<TKxPicture>();
  Picture->SetGraphic(std::make_unique<TKxDibGraphic>(std::move(dib), kPictureBmp));
  Changed();
}

TKxDib* TDibControl::GetDib() {
  auto* graphic = Picture ? dynamic_cast<TKxDibGraphic*>(Picture->GetGraphic()) : nullptr;
  return graphic ? graphic->Dib.get() : nullptr;
}

std::string TDibControl::LabelText() const {
  if (!Picture) return "";
  if (Picture->Embedded) return kxstring::TKxString(kEmbeddedLabel).CStr();
  return Picture->FileName.CStr();
}

bool TDibControl::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_PAINT, &TDibControl::EvPaint>()};
  return table.Search(e) || TWindow::Find(e);
}

void TDibControl::Paint(win::Dc& dc, bool, win::RECT&) {
  win::RECT r;
  win::GetClientRect(GetHandle(), &r);
  dc.FillRect(r, win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNFACE)));
  if (Picture) Picture->Print(dc, dc, TRect{r.left, r.top, r.right, r.bottom}, DisplayMode);
}

size_t TDibControl::Transfer(void* data, fw::TTransferDirection direction) {
  TKxDib* held = nullptr;  // the buffer's pointer, which may lie unaligned
  if (direction == fw::TTransferDirection::GetData) {
    TKxDib* dib = GetDib();
    if (!dib) throw xmsg("Wrong Type");
    std::memcpy(&held, data, sizeof held);
    delete held;
    held = new TKxDib(*dib);
    std::memcpy(data, &held, sizeof held);
  } else if (direction == fw::TTransferDirection::SetData) {
    std::memcpy(&held, data, sizeof held);
    if (held) SetDib(std::make_unique<TKxDib>(*held));
  }
  return sizeof held;
}

// --- the buttons ---

TDibControlButton::TDibControlButton(fw::TWindow* parent, int resourceId, TDibControl* control)
    : TButton(parent, resourceId), Control(control) {}

void TDibControlButton::Clicked() { win::MessageBeep(0); }

void TDibFromFileBtn::Clicked() {
  char filter[kMaxFilter + 1];
  BuildPictureFilter(filter, kMaxFilter, TypeMask);
  fw::TOpenSaveData data;
  data.Flags = fw::OFN_FILEMUSTEXIST | fw::OFN_HIDEREADONLY;
  data.MaxPath = kMaxPath + 1;
  data.FileName = std::make_unique<char[]>(size_t(data.MaxPath));
  data.Filter = filter;
  fw::TWindow* owner = GetParent();
  if (fw::ExecuteFileOpen(owner, data, nullptr) != win::IDOK) return;
  auto picture = ImportPictureFile(
      data.FileName.get(), Options,
      [owner](const TImportOffer& offer) { return TDibImportOptionsDlg(owner, offer).Ask(); },
      [owner](const char* text, const char* caption) {
        win::MessageBox(owner ? owner->GetHandle() : win::HWND(), text, caption, win::MB_OK | win::MB_ICONEXCLAMATION);
      });
  if (picture) Control->SetPicture(std::move(picture));
}

void TDibFromClipboardBtn::Clicked() {
  auto dib = std::make_unique<TKxDib>(TKxDib::FromClipboard{}, GetHandle().id);
  if (!dib->IsOK()) {
    kxapp::AppMessageBox(GetHandle(), kNoClipboardPicture, kPastePictureCaption, win::MB_ICONEXCLAMATION, 0);
    return;
  }
  Control->SetDib(std::move(dib));
}

void TDibClearBtn::Clicked() { Control->SetPicture(std::make_unique<TKxPicture>()); }

// --- the dialogs ---

TDibImportOptionsDlg::TDibImportOptionsDlg(fw::TWindow* parent, const TImportOffer& offer)
    : TCenteredDlg(parent, kResource, nullptr, kResource), offer_(offer) {
  for (int id = kEmbedButton; id < kEmbedButton + 3; ++id) new fw::TRadioButton(this, id);
  buffer_.Choice[int(offer.Preset)] = 1;
  SetTransferBuffer(&buffer_, sizeof buffer_);
}

void TDibImportOptionsDlg::SetupWindow() {
  TCenteredDlg::SetupWindow();
  for (int choice = 0; choice < 3; ++choice)
    win::EnableWindow(win::GetDlgItem(GetHandle(), kEmbedButton + choice), offer_.Available[choice]);
}

std::optional<TImportChoice> TDibImportOptionsDlg::Ask() {
  if (Execute() != win::IDOK) return std::nullopt;
  for (int choice = 0; choice < 3; ++choice)
    if (buffer_.Choice[choice] == 1 && offer_.Available[choice]) return TImportChoice(choice);
  return std::nullopt;
}

TOpenPictureDlg::TOpenPictureDlg(fw::TWindow* parent, const platform::ResId& resource)
    : TCenteredDlg(parent, resource, nullptr, kResource),
      DibControl(new TDibControl(this, 1000)),
      FromFileBtn(new TDibFromFileBtn(this, 1001, DibControl)),
      FromClipboardBtn(new TDibFromClipboardBtn(this, 1002, DibControl)),
      ClearBtn(new TDibClearBtn(this, 1003, DibControl)),
      NameEdit(new fw::TEdit(this, 1004)),
      LinkCheckBox(new fw::TCheckBox(this, 1005)) {
  DibControl->NameLabel = NameEdit;
  DibControl->LinkCheckBox = LinkCheckBox;
}

}  // namespace kxobject
