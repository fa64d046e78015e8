// The gadget list of a tool bar (see gadgets.h).
#include "runtime/forms/gadgets.h"

#include <algorithm>

namespace forms {

kxobject::TSize TKxButtonGadget::GetDesiredSize() const {
  if (!Glyph || !Glyph->IsOK()) return TGadget::GetDesiredSize();
  return {Glyph->Width() + 7, Glyph->Height() + 6};
}

int32_t TGadgetWindow::IndexOf(const TGadget* gadget) const {
  for (size_t i = 0; i < Gadgets.size(); ++i)
    if (Gadgets[i].get() == gadget) return int32_t(i);
  return -1;
}

void TGadgetWindow::Insert(std::unique_ptr<TGadget> gadget, Placement placement, TGadget* sibling) {
  const int32_t at = IndexOf(sibling);
  const size_t index = at < 0 ? Gadgets.size() : size_t(at + (placement == kAfter ? 1 : 0));
  gadget->Window = this;
  Gadgets.insert(Gadgets.begin() + std::ptrdiff_t(index), std::move(gadget));
}

std::unique_ptr<TGadget> TGadgetWindow::Remove(TGadget* gadget) {
  const int32_t at = IndexOf(gadget);
  if (at < 0) return nullptr;
  std::unique_ptr<TGadget> taken = std::move(Gadgets[size_t(at)]);
  Gadgets.erase(Gadgets.begin() + at);
  taken->Window = nullptr;
  return taken;
}

TGadget* TGadgetWindow::GadgetWithId(int32_t id) const {
  for (const auto& gadget : Gadgets)
    if (gadget->GetId() == id) return gadget.get();
  return nullptr;
}

TGadget* TGadgetWindow::NextGadget(const TGadget* gadget) const {
  const int32_t at = IndexOf(gadget);
  return at < 0 || size_t(at + 1) >= Gadgets.size() ? nullptr : Gadgets[size_t(at + 1)].get();
}

int32_t TGadgetWindow::LayoutSession() {
  int32_t height = 0;
  for (const auto& gadget : Gadgets) height = std::max(height, gadget->GetDesiredSize().cy);
  int32_t x = 0;
  for (const auto& gadget : Gadgets) {
    const kxobject::TSize size = gadget->GetDesiredSize();
    gadget->Bounds = {x, 0, x + size.cx, gadget->ShrinkWrapHeight ? size.cy : height};
    x += size.cx;
  }
  return x;
}

}  // namespace forms
