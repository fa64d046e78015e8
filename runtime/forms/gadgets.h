// A tool bar as a list of gadgets: the model a tool-bar filter rebuilds and
// a gadget window lays out and draws. Gadgets are buttons (a command id and
// an optional picture of their own) and separators (a gap of a given size).
//
// What always holds:
//   1. The window owns the gadgets in its list; Remove hands the gadget back
//      to the caller, who then owns it. A gadget stands in at most one
//      window, and its Window points to that window (null outside).
//   2. Order is the list order; Insert places a gadget before or after a
//      sibling that stands in the list, or at the end without a sibling.
//   3. LayoutSession places the gadgets left to right from x 0, each as
//      wide as it wants to be; a gadget that shrink-wraps its height takes
//      its own height, the others the height of the tallest gadget. It
//      answers the width of the laid-out bar.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxobject.h"

namespace forms {

class TGadgetWindow;

class TGadget {
 public:
  explicit TGadget(int32_t id) : Id(id) {}
  virtual ~TGadget() = default;
  TGadget(const TGadget&) = delete;
  TGadget& operator=(const TGadget&) = delete;

  int32_t GetId() const { return Id; }
  virtual kxobject::TSize GetDesiredSize() const { return {23, 22}; }
  TGadgetWindow* GetWindow() const { return Window; }

  bool ShrinkWrapWidth = false;
  bool ShrinkWrapHeight = false;
  kxobject::TRect Bounds{};

 private:
  friend class TGadgetWindow;
  int32_t Id;
  TGadgetWindow* Window = nullptr;
};

// A gap of size pixels; id 0.
class TSeparatorGadget : public TGadget {
 public:
  explicit TSeparatorGadget(int32_t size) : TGadget(0), Size(size) {}
  kxobject::TSize GetDesiredSize() const override { return {Size, Size}; }

 private:
  int32_t Size;
};

// The tool bar's separator: 2 pixels, its height wrapped to itself.
class TKxSeparatorGadget : public TSeparatorGadget {
 public:
  TKxSeparatorGadget() : TSeparatorGadget(2) { ShrinkWrapHeight = true; }
};

// A button that shows a picture of its own (owned).
class TKxButtonGadget : public TGadget {
 public:
  TKxButtonGadget(std::unique_ptr<kxobject::TKxDib> glyph, int32_t id) : TGadget(id), Glyph(std::move(glyph)) {}
  kxobject::TSize GetDesiredSize() const override;
  const kxobject::TKxDib* GetGlyph() const { return Glyph.get(); }

 private:
  std::unique_ptr<kxobject::TKxDib> Glyph;
};

class TGadgetWindow {
 public:
  enum Placement { kBefore, kAfter };

  TGadgetWindow() = default;
  TGadgetWindow(const TGadgetWindow&) = delete;
  TGadgetWindow& operator=(const TGadgetWindow&) = delete;

  // Takes the gadget; without a sibling in the list it goes to the end.
  void Insert(std::unique_ptr<TGadget> gadget, Placement placement = kAfter, TGadget* sibling = nullptr);
  // Null when the gadget does not stand here.
  std::unique_ptr<TGadget> Remove(TGadget* gadget);
  TGadget* GadgetWithId(int32_t id) const;
  int32_t GadgetCount() const { return int32_t(Gadgets.size()); }
  TGadget* GadgetAt(int32_t index) const { return Gadgets[size_t(index)].get(); }
  TGadget* FirstGadget() const { return Gadgets.empty() ? nullptr : Gadgets.front().get(); }
  TGadget* NextGadget(const TGadget* gadget) const;
  int32_t LayoutSession();

 private:
  int32_t IndexOf(const TGadget* gadget) const;
  std::vector<std::unique_ptr<TGadget>> Gadgets;
};

}  // namespace forms
