// The picture control: TDibControl shows one TKxPicture scaled into its
// client area and exchanges a bitmap with its dialog through the transfer
// buffer; ImportPictureFile is what its "open" button does with a chosen
// file: decide how the picture joins the document (embed, link, or copy
// into the picture folder and link), copy, and load.
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
//      its preset is link when linking is allowed, else copy and link when
//      there is a picture folder, else embed.
//   4. Copying never copies a file onto itself: a file already in the
//      picture folder (names compared without case and with either
//      separator) is linked where it lies. After any failure the control
//      keeps its previous picture.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/framework/window.h"
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

}  // namespace kxobject
