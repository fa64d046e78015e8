// The picture control and its dialogs: TDibControl shows one TKxPicture
// scaled into its client area and exchanges a bitmap with its dialog
// through the transfer buffer; three buttons act on it (open a picture
// file, paste a bitmap from the clipboard, clear it); TOpenPictureDlg "Bild
// öffnen" puts them together. ImportPictureFile is what the open button does
// with a chosen file: decide how the picture joins the document (embed,
// link, or copy into the picture folder and link), copy, and load; the
// options dialog TDibImportOptionsDlg asks for that decision.
//
// What always holds:
//   1. The control owns its picture (or has none); the label window, when
//      set, shows where the picture comes from: nothing without a picture,
//      "Eingebettet" for an embedded one, else the file name.
//   2. Transfer out hands the dialog a copy of the bitmap of any raster
//      picture (BMP, PCX, GIF, JPEG alike, since all are held as DIBs);
//      only another kind raises xmsg "Wrong Type". Transfer in takes a copy
//      of the dialog's bitmap. The buffer holds one TKxDib pointer.
//   3. The options dialog is asked only when at least two ways are open;
//      it offers only those (the others disabled) with the preset checked:
//      link when linking is allowed, else copy and link when there is a
//      picture folder, else embed. Its Cancel ends the whole import.
//   4. Copying never copies a file onto itself: a file already in the
//      picture folder (names compared without case and with either
//      separator) is linked where it lies. After any failure, cancel, or a
//      clipboard without a usable bitmap the control keeps its previous
//      picture.
//   5. A button acts on its control only on its own BN_CLICKED; the base
//      button only beeps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/framework/dialog.h"
#include "runtime/toolkit/kxdialogs.h"
#include "runtime/toolkit/kxpicture.h"

namespace kxobject {

enum class TImportChoice { Embed = 0, Link = 1, CopyAndLink = 2 };

struct TImportOptions {
  bool AllowLink = true;
  bool AllowEmbed = true;
  std::string PictureDir;  // empty: copy and link is not offered
};

struct TImportOffer {
  bool Available[3] = {};  // by TImportChoice
  TImportChoice Preset = TImportChoice::Embed;
  bool Ask = false;  // rule 3
};

TImportOffer OfferImport(const TImportOptions& options);

// The options dialog: the chosen way, or nothing for Cancel.
using TAskImportChoice = std::function<std::optional<TImportChoice>(const TImportOffer& offer)>;
// A failure's message box (text, caption).
using TShowImportFailure = std::function<void(const char* text, const char* caption)>;

// The picture for a chosen file, or null when the user cancelled or a
// failure was shown (rule 4).
std::unique_ptr<TKxPicture> ImportPictureFile(const char* path, const TImportOptions& options,
                                              const TAskImportChoice& ask, const TShowImportFailure& fail);

class TDibControl : public fw::TWindow {
 public:
  TDibControl(fw::TWindow* parent, int id, const char* title, int x, int y, int w, int h);
  TDibControl(fw::TWindow* parent, int resourceId);

  void SetPicture(std::unique_ptr<TKxPicture> picture);
  // Gives the picture (made when there is none) the bitmap as a type 1
  // graphic, which empties its file name.
  void SetDib(std::unique_ptr<TKxDib> dib);
  // The bitmap of a raster picture, else null.
  TKxDib* GetDib();
  TKxPicture* GetPicture() const { return Picture.get(); }
  std::string LabelText() const;

  bool Find(fw::TEventInfo& e) override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;
  size_t Transfer(void* data, fw::TTransferDirection direction) override;

  fw::TWindow* NameLabel = nullptr;
  fw::TWindow* LinkCheckBox = nullptr;
  uint16_t DisplayMode = kDrawFit;

 protected:
  const char* GetClassName() override { return "TKxDibControl"; }

 private:
  void Changed();
  std::unique_ptr<TKxPicture> Picture;
};

class TDibControlButton : public fw::TButton {
 public:
  TDibControlButton(fw::TWindow* parent, int resourceId, TDibControl* control);
  void BNClicked() override { Clicked(); }
  virtual void Clicked();

  TDibControl* Control;
  uint32_t TypeMask = 0xFFFFFFFF;  // bit n: picture type n may be opened
};

class TDibFromFileBtn : public TDibControlButton {
 public:
  using TDibControlButton::TDibControlButton;
  void Clicked() override;
  void SetImportOptions(bool allowLink, bool allowEmbed) {
    Options.AllowLink = allowLink;
    Options.AllowEmbed = allowEmbed;
  }

  TImportOptions Options;
};

class TDibFromClipboardBtn : public TDibControlButton {
 public:
  using TDibControlButton::TDibControlButton;
  void Clicked() override;
};

class TDibClearBtn : public TDibControlButton {
 public:
  using TDibControlButton::TDibControlButton;
  void Clicked() override;
};

// How a file joins the document: radio buttons 101 "Einbetten", 102
// "Verknüpfen", 103 "Kopieren und Verknüpfen"; the transfer buffer is three
// 16-bit words in that order, 1 for the chosen one.
class TDibImportOptionsDlg : public kxdlg::TCenteredDlg {
 public:
  static constexpr int kResource = 12901;
  TDibImportOptionsDlg(fw::TWindow* parent, const TImportOffer& offer);
  void SetupWindow() override;
  // Runs the dialog: the chosen way, or nothing for Cancel.
  std::optional<TImportChoice> Ask();

 private:
  TImportOffer offer_;
#pragma pack(push, 1)
  struct Buffer {
    uint16_t Choice[3];  // by the order of the buttons: embed, link, copy and link
  } buffer_{};
#pragma pack(pop)
  static_assert(sizeof(Buffer) == 6);
};

// "Bild öffnen": the picture (1000) with its label (1004, read-only) and
// the unused link check box (1005, hidden), the buttons open (1001), paste
// (1002, hidden) and clear (1003); OK, Cancel, Help.
class TOpenPictureDlg : public kxdlg::TCenteredDlg {
 public:
  static constexpr int kResource = 12900;
  explicit TOpenPictureDlg(fw::TWindow* parent, const platform::ResId& resource = kResource);

  TDibControl* DibControl;
  TDibFromFileBtn* FromFileBtn;
  TDibFromClipboardBtn* FromClipboardBtn;
  TDibClearBtn* ClearBtn;
  fw::TEdit* NameEdit;
  fw::TCheckBox* LinkCheckBox;
};

}  // namespace kxobject
