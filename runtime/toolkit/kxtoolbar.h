// The main frame's tool bar, built from "KXTOOLBAR" resources; its flat
// buttons and etched separators; the light tool buttons drawn into a host
// window (with auto-repeat); and the status bar with layout fields.
//
// What always holds:
//   1. A KXTOOLBAR resource is u16 n, then n entries of u16 bitmap id (0 =
//      separator), u16 command id, u16 flags (bit 0: repeats). One whose size
//      is not 2 + 6n is refused whole: the bar gets no new gadgets. An entry
//      whose glyph bitmap does not exist is skipped.
//   2. After SetResource every gadget of a horizontal bar has the height of
//      the tallest one (vertical: the width of the widest), none shrink-wraps,
//      and a separator is 2 pixels wide whatever its command word holds.
//   3. A TKxButtonGadget shows its flat 3-D frame only while it is enabled
//      and hot (raised) or down (sunken).
//   4. A TToolButton sends WM_COMMAND (posted, its Id) to the target it is
//      given: a plain one once, on a release inside it; an auto-repeat one
//      (style 0x20) at the press inside, then on timer 134 of the host after
//      400 ms, every 200 ms, and every 40 ms from the sixth repeat, never
//      after the release. The mouse is captured for the host from press to
//      release.
//   5. TKxStatusBar keeps one text field per "|"-ended segment of its layout
//      (the last segment may lack its "|"), as many characters wide as the
//      segment; setting the same layout again keeps the fields and their
//      texts. SetText(n >= 1) writes field n, SetText(0) the message text;
//      any other index does nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/gadgets.h"
#include "platform/resources/resources.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace kxtoolbar {

using kxobject::TKxStream;

// A flat button: no borders, a hot flag, an optional own glyph.
class TKxButtonGadget : public fw::TButtonGadget {
 public:
  TKxButtonGadget(const platform::ResId& glyphId, int id, TType type = kCommand, bool enabled = true,
                  TState state = kUp, bool repeat = false);
  // A command button with a glyph of its own (owned), as the forms' tool-bar
  // filter makes them.
  TKxButtonGadget(int id, std::unique_ptr<kxobject::TKxDib> glyph);

  win::SIZE GetDesiredSize() override;
  const fw::TDib* GetGlyphDib() override;
  void MouseEnter() override;
  void MouseLeave() override;
  void Paint(win::Dc& dc) override;
  bool IsHot() const { return hot_; }

 private:
  void SetHot(bool hot);
  bool hot_ = false;
  std::unique_ptr<fw::TDib> ownGlyph_;
  std::unique_ptr<fw::TDib> mapped_;  // ownGlyph_ in the system colours
};

// A separator 2 pixels wide with an etched line over its height.
class TKxSeparatorGadget : public fw::TSeparatorGadget {
 public:
  explicit TKxSeparatorGadget(int height = 2);
  win::SIZE GetDesiredSize() override { return {2, height_}; }
  void Paint(win::Dc& dc) override;

 private:
  int height_;
};

class TToolbar : public fw::TControlBar {
 public:
  explicit TToolbar(fw::TWindow* parent = nullptr, const platform::ResId& resId = platform::ResId());

  const platform::ResId& GetResId() const { return resId_; }
  void SetResId(const platform::ResId& id) { resId_ = id; }
  // Appends one gadget per entry of the resource (rule 1).
  void LoadResource();
  // Null for an entry that cannot be made.
  std::unique_ptr<fw::TGadget> CreateGadget(uint16_t bitmapId, uint16_t commandId, uint16_t flags);
  // Rebuilds the bar from resource id, sizes its buttons equally (rule 2)
  // and repaints it.
  void SetResource(const platform::ResId& id);
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;

 protected:
  const char* GetClassName() override { return "kxToolbar"; }

 private:
  void EqualizeGadgets();
  platform::ResId resId_;
};

// One tool drawn into a host window; the base answers nothing.
class TTool : public kxobject::TKxObject {
 public:
  explicit TTool(fw::TWindow* host) : Host(host) {}
  virtual void SetDown(bool) {}
  virtual int GetWidth() const { return 0; }
  virtual int GetHeight() const { return 0; }
  virtual int GetId() const { return 0; }
  virtual bool HitTest(int, int) const { return false; }
  virtual void Paint(win::Dc&) {}
  virtual void LButtonDown(win::HWND, int, int) {}
  virtual void MouseMove(int, int) {}
  virtual void LButtonUp(win::HWND, int, int) {}
  virtual bool HasId(int) const { return false; }
  virtual void Enable(bool) {}
  virtual void MoveTo(int, int) {}
  virtual void Offset(int, int) {}
  virtual void Read(TKxStream&) {}
  virtual void Write(TKxStream&) const {}

  fw::TWindow* Host;
};

class TToolButton : public TTool {
 public:
  static constexpr unsigned kRepeatTimer = 134;
  enum : uint16_t {
    kBitmapRight = 1, kBitmapHCenter = 2, kBitmapBottom = 4, kBitmapVCenter = 8, kStaysDown = 0x10,
    kAutoRepeat = 0x20
  };

  // The bitmap resource bitmapName (a name or number); without one the
  // button is 4 x 4.
  TToolButton(fw::TWindow* host, int x, int y, int id, const platform::ResId& bitmapName);
  TToolButton(fw::TWindow* host, int x, int y, int id, std::unique_ptr<fw::TDib> bitmap);

  void SetDown(bool down) override;
  int GetWidth() const override { return Bounds.right - Bounds.left; }
  int GetHeight() const override { return Bounds.bottom - Bounds.top; }
  int GetId() const override { return Id; }
  bool HitTest(int x, int y) const override;
  void Paint(win::Dc& dc) override;
  void LButtonDown(win::HWND target, int x, int y) override;
  void MouseMove(int x, int y) override;
  void LButtonUp(win::HWND target, int x, int y) override;
  bool HasId(int id) const override { return id == Id; }
  void Enable(bool enabled) override;
  void MoveTo(int x, int y) override;
  void Offset(int dx, int dy) override;
  void Read(TKxStream& stream) override;
  void Write(TKxStream& stream) const override;
  // Timer 134 of the host: the next repeat.
  void RepeatCommand(win::HWND target);
  void SetStyleFlag(uint16_t bits, bool on) { Style = on ? uint16_t(Style | bits) : uint16_t(Style & ~bits); }
  void SetBounds(int left, int top, int right, int bottom) { Bounds = {left, top, right, bottom}; }

  uint16_t Style = 0;
  std::unique_ptr<fw::TDib> Bitmap;
  uint16_t Id;
  int32_t RepeatCount = 0;
  bool Tracking = false;
  bool Pressed = false;
  bool Enabled = true;
  bool Down = false;
  win::RECT Bounds{};

 private:
  void SetPressed(bool pressed);
  void InvalidateBounds(bool erase);
  void Post(win::HWND target) const;
};

class TKxStatusBar : public fw::TStatusBar {
 public:
  TKxStatusBar(fw::TWindow* parent, const char* layout);

  const std::string& GetLayout() const { return layout_; }
  // Rebuilds the layout fields when the text differs (rule 5).
  void SetLayout(const char* layout);
  void SetText(int index, const char* text);
  int FieldCount() const { return int(fields_.size()); }
  fw::TTextGadget* Field(int n) const { return n >= 1 && n <= FieldCount() ? fields_[size_t(n - 1)] : nullptr; }

 private:
  std::string layout_;
  std::vector<fw::TTextGadget*> fields_;
};

}  // namespace kxtoolbar
