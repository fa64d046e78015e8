// Device-context pairs: TKxDC draws on an output DC (a window, a printer
// page, a metafile) and measures and answers queries on an attribute DC, so
// that measuring and drawing agree when they are different devices (a
// metafile recorded with a printer's metrics). TKxWindowDC makes the pair for
// a window, TKxCreatedDC for a named printer, TMetaDC for a metafile measured on a reference DC,
// with its own word wrapping; TKxGdiObject holds a drawing object.
//
// What always holds:
//   1. A state change goes to the attribute DC and, when the output is
//      another DC, to the output too; a value answered is the attribute's.
//      With one DC as both, each change is made once.
//   2. SelectClipRgn and drawing go to the output only.
//   3. Restore... selects again, on each DC, what was selected there before
//      the pair first selected an object of that kind (nothing when the pair
//      never did).
//   4. TMetaDC::DrawText reads at most `length` characters (-1: to the NUL)
//      and never reads past the text; a CR ends a line and an LF right after
//      it is skipped with it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/gdi/dc.h"
#include "platform/gdi/wmf/metafile.h"
#include "platform/print/printers.h"
#include "platform/win/paint.h"
#include "runtime/toolkit/kxobject.h"

namespace kxobject {

// Stock objects as SelectStockObject takes them.
constexpr int kWhiteBrush = 0, kLtGrayBrush = 1, kGrayBrush = 2, kDkGrayBrush = 3, kBlackBrush = 4, kNullBrush = 5,
              kWhitePen = 6, kBlackPen = 7, kNullPen = 8, kSystemFont = 13;

class TKxDC : public TKxObject {
 public:
  TKxDC() = default;
  TKxDC(win::Dc* output, win::Dc* attribute) : OutputDC(output), AttributeDC(attribute) {}

  virtual win::Dc* GetAttributeDC() { return AttributeDC; }
  virtual win::Dc* GetOutputDC() { return OutputDC; }
  // The output's own DrawText; the rectangle comes back as DrawText leaves it.
  virtual int DrawText(const char* text, int length, win::RECT& rect, win::UINT format);
  virtual win::COLORREF GetTextColor();
  virtual bool TextOut(int x, int y, const char* text, int length);

  void OffsetWindowOrg(int dx, int dy);
  void SetWindowOrg(int x, int y);
  void SetWindowExt(int cx, int cy);
  void SetViewportOrg(int x, int y);
  void SetViewportExt(int cx, int cy);
  int SetMapMode(int mode);
  win::COLORREF SetBkColor(win::COLORREF color);
  win::COLORREF SetTextColor(win::COLORREF color);
  win::UINT SetTextAlign(win::UINT align);
  int SetBkMode(int mode);
  void SelectBrush(const win::Brush& brush);
  void SelectPen(const win::Pen& pen);
  void SelectFont(const win::LOGFONT& font);
  void SelectPalette(std::shared_ptr<const win::Palette> palette, bool forceBackground);
  void SelectStockObject(int index);
  void RestoreBrush();
  void RestorePen();
  void RestoreFont();
  void RestorePalette();
  int SaveDC();
  bool RestoreDC(int level);
  int SelectClipRgn(const win::Region* region);
  int GetDeviceCaps(int index);
  // DrawText into a rectangle given by value (the caller's stays as it is).
  int DrawTextInRect(const char* text, win::RECT rect, win::UINT format) { return DrawText(text, -1, rect, format); }
  win::Dc* GetDC() { return OutputDC; }

  win::Dc* OutputDC = nullptr;
  win::Dc* AttributeDC = nullptr;

 private:
  // What a DC held before the pair first selected each kind (invariant 3).
  struct Originals {
    std::optional<win::Brush> brush;
    std::optional<win::Pen> pen;
    std::optional<win::LOGFONT> font;
    std::optional<std::shared_ptr<const win::Palette>> palette;
  };
  // Calls f on the attribute DC and, when it is another DC, on the output;
  // answers the attribute's answer.
  template <typename F>
  auto Both(F&& f);
  // Select: answers what it replaced, kept as the original once; Restore
  // selects the kept original again.
  template <typename T, typename Select>
  void SelectKept(std::optional<T> Originals::*kept, Select select);
  template <typename T, typename Select>
  void RestoreKept(std::optional<T> Originals::*kept, Select select);
  Originals attributeOriginals_, outputOriginals_;
};

// A pair of one DC of a window's client area, released with the pair.
class TKxWindowDC : public TKxDC {
 public:
  explicit TKxWindowDC(win::HWND window);
  ~TKxWindowDC() override;
  TKxWindowDC(const TKxWindowDC&) = delete;
  TKxWindowDC& operator=(const TKxWindowDC&) = delete;
  win::HWND Window;
};

// A pair of one DC for a named printer (a printer DC; null when the device
// is unknown, and then nothing is drawn).
class TKxCreatedDC : public TKxDC {
 public:
  TKxCreatedDC(const char* driver, const char* device, const char* port, const win::DevMode* mode);
  std::unique_ptr<win::Dc> Created;
};

class TMetaDC : public TKxDC {
 public:
  // A metafile measured on reference (not owned); with a file name the
  // metafile is also written there when it is closed.
  TMetaDC(const char* fileName, win::Dc* reference);
  // Word wrapping with alignment (see the file's invariants); answers 1.
  int DrawText(const char* text, int length, win::RECT& rect, win::UINT format) override;
  // Ends the recording: the metafile (the caller owns it), 0 after a first Close.
  win::wmf::HMETAFILE Close();

 private:
  std::unique_ptr<win::Dc> recording_;
  std::string fileName_;
};

// A drawing object's handle, deleted with the holder when owned.
class TKxGdiObject : public TKxObject {
 public:
  using Deleter = void (*)(uint32_t handle);
  TKxGdiObject() = default;
  // Owned only when autoDelete is exactly 1.
  TKxGdiObject(uint32_t handle, int autoDelete, Deleter deleter) : Handle(handle), AutoDelete(autoDelete == 1), deleter_(deleter) {}
  ~TKxGdiObject() override {
    if (AutoDelete && Handle && deleter_) deleter_(Handle);
  }
  TKxGdiObject(const TKxGdiObject&) = delete;
  TKxGdiObject& operator=(const TKxGdiObject&) = delete;
  uint32_t Handle = 0;
  bool AutoDelete = false;

 private:
  Deleter deleter_ = nullptr;
};

}  // namespace kxobject
