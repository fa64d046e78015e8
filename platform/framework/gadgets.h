// Gadget windows: a window that lays out a row (or column) of gadgets,
// light objects that are no windows of their own (buttons with a glyph,
// separators, text fields), paints them and hands them the mouse. Tool
// bars (TControlBar) and status bars (TMessageBar, TStatusBar) are such
// windows.
//
// What always holds:
//   1. A gadget window owns the gadgets in its list; Remove hands a gadget
//      back to the caller, who then owns it. A gadget stands in at most one
//      window, and its Window points to that window (null outside).
//   2. Order is list order. Insert places a gadget before or after a sibling
//      that stands in the list; without one, kAfter appends and kBefore
//      puts it first (a status bar: before its mode indicators).
//   3. LayoutSession tiles the gadgets from the margins in the window's
//      direction, each as long as it wants to be; across the direction a
//      gadget that shrink-wraps there takes its own extent, the others the
//      largest one. It answers the length of the tiled row. A window that
//      shrink-wraps a direction asks for its desired extent there.
//   4. The window works without a window handle too (tiling, lists); what it
//      draws needs one. Painting draws the face, then every gadget in its
//      Bounds (window client coordinates).
//   5. The mouse: the gadget under the pointer is entered and left
//      (MouseEnter/MouseLeave) as the pointer moves, also when it leaves the
//      window. A press on an enabled gadget captures the mouse for it until
//      the release; meanwhile it alone gets the moves and the release.
//   6. A button sends its command (WM_COMMAND, id, posted) to the window's
//      parent: a plain button on a release inside it, a repeating one at the
//      press and then on the window's repeat timer while it is held.
//   7. A glyph is a packed DIB (TDib) that the button owns; MapUIColors turns
//      its black, dark grey, light grey and white table entries into the
//      current button text, shadow, face and highlight colours.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/framework/window.h"
#include "platform/resources/resources.h"

namespace fw {

// A packed device-independent bitmap: header and colour table, then rows.
class TDib {
 public:
  TDib(std::span<const uint8_t> info, std::span<const uint8_t> bits);
  // The bitmap resource id; empty (not IsOK) when there is none.
  explicit TDib(const platform::ResId& id);
  bool IsOK() const { return width_ > 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Colour table entries 0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF become the
  // system colours button text, shadow, face and highlight.
  void MapUIColors();
  // The whole picture at (x, y), stretched to width x height (0: its own).
  void Draw(win::Dc& dc, int x, int y, int width = 0, int height = 0) const;

 private:
  void Parse();
  std::vector<uint8_t> info_, bits_;
  int width_ = 0, height_ = 0;
};

class TGadgetWindow;

class TGadget {
 public:
  explicit TGadget(int id = 0) : id_(id) {}
  virtual ~TGadget() = default;
  TGadget(const TGadget&) = delete;
  TGadget& operator=(const TGadget&) = delete;

  int GetId() const { return id_; }
  TGadgetWindow* GetWindow() const { return window_; }
  virtual win::SIZE GetDesiredSize();
  virtual void Paint(win::Dc& dc);
  // Repaints the gadget's bounds when it stands in a window with a handle.
  void Invalidate(bool erase = true);
  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool PtIn(win::POINT p) const {
    return p.x >= Bounds.left && p.x < Bounds.right && p.y >= Bounds.top && p.y < Bounds.bottom;
  }

  // The mouse (rule 5); points in window client coordinates.
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  virtual void LButtonDown(win::POINT) {}
  virtual void MouseMove(win::POINT) {}
  virtual void LButtonUp(win::POINT) {}
  // The window's repeat timer while the mouse is captured for this gadget.
  virtual void RepeatTimer() {}

  bool ShrinkWrapWidth = false;
  bool ShrinkWrapHeight = false;
  // Takes what the window's width leaves over (horizontal windows).
  bool WideAsPossible = false;
  win::RECT Bounds{};
  // Thickness of the gadget's own 3-D frame on each side.
  win::RECT Borders{};

 private:
  friend class TGadgetWindow;
  int id_;
  bool enabled_ = true;
  TGadgetWindow* window_ = nullptr;
};

// A gap of size pixels in both directions; id 0.
class TSeparatorGadget : public TGadget {
 public:
  explicit TSeparatorGadget(int size = 6) : TGadget(0), size_(size) {}
  win::SIZE GetDesiredSize() override { return {size_, size_}; }

 private:
  int size_;
};

class TButtonGadget : public TGadget {
 public:
  enum TType { kCommand, kExclusive, kNonExclusive };
  enum TState { kUp, kDown, kIndeterminate };

  // The glyph comes from the bitmap resource glyphId; a missing one leaves
  // the button without a glyph.
  TButtonGadget(const platform::ResId& glyphId, int id, TType type = kCommand, bool enabled = true,
                TState state = kUp, bool repeat = false);
  TButtonGadget(std::unique_ptr<TDib> glyph, int id, TType type = kCommand, bool enabled = true,
                TState state = kUp, bool repeat = false);

  // The glyph and borders, or 23 x 22 without a glyph.
  win::SIZE GetDesiredSize() override;
  void Paint(win::Dc& dc) override;
  // The glyph painted: the button's own, mapped to the system colours.
  virtual const TDib* GetGlyphDib();
  TState GetButtonState() const { return state_; }
  void SetButtonState(TState state);
  bool IsPressed() const { return pressed_; }
  bool IsRepeating() const { return repeat_; }
  TType GetType() const { return type_; }

  void LButtonDown(win::POINT p) override;
  void MouseMove(win::POINT p) override;
  void LButtonUp(win::POINT p) override;
  void RepeatTimer() override;

 protected:
  const TDib* OwnGlyph() const { return glyph_.get(); }

 private:
  void SendCommand();
  std::unique_ptr<TDib> glyph_;
  TType type_;
  TState state_;
  bool repeat_;
  bool pressed_ = false;
};

// A text field: a border style, an alignment and a width in characters.
class TTextGadget : public TGadget {
 public:
  enum TBorderStyle { kNone = 0, kPlain = 1, kRaised = 2, kRecessed = 3, kEmbossed = 4 };
  enum TAlign { kLeft, kCenter, kRight };

  TTextGadget(int id = 0, TBorderStyle style = kRecessed, TAlign align = kLeft, int numChars = 10,
              const char* text = nullptr);
  win::SIZE GetDesiredSize() override;
  void Paint(win::Dc& dc) override;
  const std::string& GetText() const { return text_; }
  void SetText(const char* text);
  int GetNumChars() const { return numChars_; }

 private:
  TBorderStyle style_;
  TAlign align_;
  int numChars_;
  std::string text_;
};

// A font of the gadget windows: pointSize points at 96 dpi, "MS Sans Serif".
win::LOGFONT GadgetWindowFont(int pointSize, bool bold = false, bool italic = false);

class TGadgetWindow : public TWindow {
 public:
  enum TDirection { kHorizontal, kVertical };
  enum TPlacement { kBefore, kAfter };

  explicit TGadgetWindow(TWindow* parent = nullptr, TDirection direction = kHorizontal,
                         const win::LOGFONT& font = GadgetWindowFont(8));
  ~TGadgetWindow() override;

  // Takes the gadget (rule 2).
  virtual void Insert(std::unique_ptr<TGadget> gadget, TPlacement placement = kAfter, TGadget* sibling = nullptr);
  // Null when the gadget does not stand here.
  virtual std::unique_ptr<TGadget> Remove(TGadget* gadget);
  TGadget* GadgetWithId(int id) const;
  int GadgetCount() const { return int(gadgets_.size()); }
  TGadget* GadgetAt(int index) const { return gadgets_[size_t(index)].get(); }
  TGadget* FirstGadget() const { return gadgets_.empty() ? nullptr : gadgets_.front().get(); }
  TGadget* NextGadget(const TGadget* gadget) const;
  TGadget* GadgetFromPoint(win::POINT p) const;
  // Tiles the gadgets (rule 3), resizes a shrink-wrapping window and
  // repaints; answers the tiled length.
  virtual int LayoutSession();

  TDirection GetDirection() const { return direction_; }
  const win::LOGFONT& GetFont() const { return font_; }
  // The average character width and the height of the font.
  win::SIZE FontCell() const;
  // Margins and tiled gadgets.
  virtual win::SIZE GetDesiredSize();
  // The client area less the margins.
  win::RECT GetInnerRect() const;

  win::RECT Margins{2, 2, 2, 2};
  bool ShrinkWrapWidth = false;
  bool ShrinkWrapHeight = true;

  // The mouse capture of a gadget (rule 5); the repeat timer of a held button.
  void GadgetSetCapture(TGadget* gadget);
  void GadgetReleaseCapture(TGadget* gadget);
  void StartRepeat(unsigned ms);
  static constexpr unsigned kRepeatTimer = 0x7F01;

  bool Find(TEventInfo& e) override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;

 protected:
  void GetWindowClass(win::WNDCLASS& wc) override;
  const char* GetClassName() override { return "QmkGadgetWindow"; }

 private:
  int IndexOf(const TGadget* gadget) const;
  void EvMouseMove(UINT, win::POINT p);
  LRESULT EvMouseLeave(WPARAM, LPARAM);
  void EvLButtonDown(UINT, win::POINT p);
  void EvLButtonUp(UINT, win::POINT p);
  void EvTimer(UINT id);
  void SetHot(TGadget* gadget);

  TDirection direction_;
  win::LOGFONT font_;
  std::vector<std::unique_ptr<TGadget>> gadgets_;
  TGadget* hot_ = nullptr;
  TGadget* captured_ = nullptr;
};

// A tool bar: a horizontal gadget window with the 8-point font.
class TControlBar : public TGadgetWindow {
 public:
  explicit TControlBar(TWindow* parent = nullptr, TDirection direction = kHorizontal,
                       const win::LOGFONT& font = GadgetWindowFont(8));
};

// A bar whose first gadget shows a message text (menu hints and the like).
class TMessageBar : public TGadgetWindow {
 public:
  explicit TMessageBar(TWindow* parent = nullptr, const win::LOGFONT& font = GadgetWindowFont(8));
  void SetText(const char* text);
  TTextGadget* MessageGadget() const { return message_; }

 protected:
  TTextGadget* message_;
};

// A status bar: the message text, fields inserted after it, and the
// keyboard mode indicators at the end.
class TStatusBar : public TMessageBar {
 public:
  enum TModeIndicator { kCapsLock = 2, kNumLock = 4, kScrollLock = 8 };

  TStatusBar(TWindow* parent = nullptr, TTextGadget::TBorderStyle style = TTextGadget::kRecessed,
             unsigned modeIndicators = 0, const win::LOGFONT& font = GadgetWindowFont(8));
  TTextGadget::TBorderStyle GetBorderStyle() const { return style_; }
  int ModeIndicatorCount() const { return int(indicators_.size()); }
  // Without a sibling a gadget goes before the mode indicators.
  void Insert(std::unique_ptr<TGadget> gadget, TPlacement placement = kAfter, TGadget* sibling = nullptr) override;
  // The indicators show the toggled keys (GetKeyState).
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;

 private:
  TTextGadget::TBorderStyle style_;
  struct Indicator {
    TTextGadget* gadget;
    int vk;            // the toggled key it shows
    const char* text;  // shown while the key is toggled
  };
  std::vector<Indicator> indicators_;
};

}  // namespace fw
