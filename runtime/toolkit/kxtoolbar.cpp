// The tool bar, tool buttons and the status bar (see kxtoolbar.h).
#include "runtime/toolkit/kxtoolbar.h"

#include <algorithm>

#include "platform/win/message.h"
#include "platform/win/paint.h"

namespace kxtoolbar {

namespace {

bool IsNone(const platform::ResId& id) { return id.number == 0 && id.name.empty(); }

// The button face with a raised or sunken frame of the border metrics.
void FlatFrame(win::Dc& dc, const win::RECT& r, bool sunken) {
  const int bx = win::GetSystemMetrics(win::SM_CXBORDER), by = win::GetSystemMetrics(win::SM_CYBORDER);
  const auto light = win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNHIGHLIGHT));
  const auto dark = win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNSHADOW));
  const win::Brush& topLeft = sunken ? dark : light;
  const win::Brush& bottomRight = sunken ? light : dark;
  dc.FillRect({r.left, r.top, r.right - 1, r.top + by}, topLeft);
  dc.FillRect({r.left, r.top, r.left + bx, r.bottom - 1}, topLeft);
  dc.FillRect({r.left, r.bottom - 1 - by, r.right - 1, r.bottom - 1}, bottomRight);
  dc.FillRect({r.right - 1 - bx, r.top, r.right - 1, r.bottom - 1}, bottomRight);
}

void Line(win::Dc& dc, const win::Pen& pen, std::initializer_list<win::POINT> points) {
  const win::Pen old = dc.SelectPen(pen);
  dc.Polyline(std::vector<win::POINT>(points));
  dc.SelectPen(old);
}

}  // namespace

// ---------------------------------------------------------------- gadgets

TKxButtonGadget::TKxButtonGadget(const platform::ResId& glyphId, int id, TType type, bool enabled, TState state,
                                 bool repeat)
    : fw::TButtonGadget(glyphId, id, type, enabled, state, repeat) {
  Borders = {0, 0, 0, 0};
}

TKxButtonGadget::TKxButtonGadget(int id, std::unique_ptr<kxobject::TKxDib> glyph)
    : fw::TButtonGadget(std::unique_ptr<fw::TDib>(), id) {
  Borders = {0, 0, 0, 0};
  if (glyph && glyph->IsOK()) {
    ownGlyph_ = std::make_unique<fw::TDib>(glyph->InfoBytes(), glyph->BitsBytes());
    if (!ownGlyph_->IsOK()) ownGlyph_.reset();
  }
}

const fw::TDib* TKxButtonGadget::GetGlyphDib() {
  if (!ownGlyph_) return fw::TButtonGadget::GetGlyphDib();
  // Mapped afresh, so a change of the system colours shows at the next paint.
  mapped_ = std::make_unique<fw::TDib>(*ownGlyph_);
  mapped_->MapUIColors();
  return mapped_.get();
}

win::SIZE TKxButtonGadget::GetDesiredSize() {
  win::SIZE size = fw::TButtonGadget::GetDesiredSize();
  const fw::TDib* glyph = ownGlyph_ ? ownGlyph_.get() : OwnGlyph();
  if (!glyph) return size;
  if (!ShrinkWrapWidth) size.cx = 4 * win::GetSystemMetrics(win::SM_CXBORDER) + glyph->Width();
  if (!ShrinkWrapHeight) size.cy = 4 * win::GetSystemMetrics(win::SM_CYBORDER) + glyph->Height();
  return size;
}

void TKxButtonGadget::SetHot(bool hot) {
  hot_ = hot;
  if (GetButtonState() != kDown) Invalidate();
}

void TKxButtonGadget::MouseEnter() { SetHot(true); }
void TKxButtonGadget::MouseLeave() { SetHot(false); }

void TKxButtonGadget::Paint(win::Dc& dc) {
  fw::TButtonGadget::Paint(dc);
  const bool down = GetButtonState() == kDown || IsPressed();
  if (IsEnabled() && (hot_ || down)) FlatFrame(dc, Bounds, down);
}

TKxSeparatorGadget::TKxSeparatorGadget(int height) : fw::TSeparatorGadget(2), height_(height) {
  ShrinkWrapHeight = true;
}

void TKxSeparatorGadget::Paint(win::Dc& dc) {
  const int w = Bounds.right - Bounds.left;
  const int x = Bounds.left + w / 2 - 1;
  dc.FillRect({x, Bounds.top, x + 1, Bounds.bottom}, win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNSHADOW)));
  dc.FillRect({x + 1, Bounds.top, x + 2, Bounds.bottom},
              win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNHIGHLIGHT)));
}

// ---------------------------------------------------------------- TToolbar

TToolbar::TToolbar(fw::TWindow* parent, const platform::ResId& resId)
    : fw::TControlBar(parent, kHorizontal, fw::GadgetWindowFont(10)), resId_(resId) {
  if (!IsNone(resId_)) LoadResource();
}

void TToolbar::LoadResource() {
  std::vector<platform::ToolbarEntry> entries;
  if (!platform::LoadToolbar(resId_, entries)) return;
  for (const platform::ToolbarEntry& entry : entries)
    if (auto gadget = CreateGadget(entry.bitmap, entry.command, entry.flags)) Insert(std::move(gadget));
}

std::unique_ptr<fw::TGadget> TToolbar::CreateGadget(uint16_t bitmapId, uint16_t commandId, uint16_t flags) {
  if (bitmapId == 0) {
    // The bar's inner height; a bar that wraps its height to the buttons
    // gives the separator theirs when it sizes them equally.
    const win::RECT inner = GetInnerRect();
    return std::make_unique<TKxSeparatorGadget>(ShrinkWrapHeight ? 0 : std::max(0, int(inner.bottom - inner.top)));
  }
  auto button = std::make_unique<TKxButtonGadget>(platform::ResId(bitmapId), commandId,
                                                  fw::TButtonGadget::kCommand, true, fw::TButtonGadget::kUp,
                                                  (flags & 1) != 0);
  if (!button->GetGlyphDib()) return nullptr;
  return button;
}

void TToolbar::SetResource(const platform::ResId& id) {
  while (fw::TGadget* gadget = FirstGadget()) Remove(gadget);
  SetResId(id);
  if (!IsNone(id)) LoadResource();
  EqualizeGadgets();
  if (GetHandle()) Invalidate();
}

void TToolbar::EqualizeGadgets() {
  int width = 0, height = 0;
  for (fw::TGadget* g = FirstGadget(); g; g = NextGadget(g)) {
    const win::SIZE s = g->GetDesiredSize();
    width = std::max(width, int(s.cx));
    height = std::max(height, int(s.cy));
  }
  LayoutSession();
  for (fw::TGadget* g = FirstGadget(); g; g = NextGadget(g)) {
    g->ShrinkWrapWidth = g->ShrinkWrapHeight = false;
    if (GetDirection() == kHorizontal) g->Bounds.bottom = g->Bounds.top + height;
    else g->Bounds.right = g->Bounds.left + width;
  }
}

void TToolbar::Paint(win::Dc& dc, bool erase, win::RECT& rect) {
  fw::TControlBar::Paint(dc, erase, rect);
  win::RECT client;
  win::GetClientRect(GetHandle(), &client);
  dc.FillRect({0, 0, client.right, 1}, win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNSHADOW)));
  dc.FillRect({0, 1, client.right, 2}, win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNHIGHLIGHT)));
}

// ---------------------------------------------------------------- TToolButton

TToolButton::TToolButton(fw::TWindow* host, int x, int y, int id, const platform::ResId& bitmapName)
    : TToolButton(host, x, y, id, std::make_unique<fw::TDib>(bitmapName)) {}

TToolButton::TToolButton(fw::TWindow* host, int x, int y, int id, std::unique_ptr<fw::TDib> bitmap)
    : TTool(host), Bitmap(std::move(bitmap)), Id(uint16_t(id)) {
  const int w = Bitmap && Bitmap->IsOK() ? Bitmap->Width() : 0;
  const int h = Bitmap && Bitmap->IsOK() ? Bitmap->Height() : 0;
  Bounds = {x, y, x + w + 4, y + h + 4};
}

bool TToolButton::HitTest(int x, int y) const {
  return x >= Bounds.left && x < Bounds.right && y >= Bounds.top && y < Bounds.bottom;
}

void TToolButton::InvalidateBounds(bool erase) {
  if (Host && Host->GetHandle()) win::InvalidateRect(Host->GetHandle(), &Bounds, erase);
}

void TToolButton::SetPressed(bool pressed) {
  if (Pressed == pressed) return;
  Pressed = pressed;
  InvalidateBounds(false);
}

void TToolButton::Post(win::HWND target) const { win::PostMessage(target, win::WM_COMMAND, Id, 0); }

void TToolButton::SetDown(bool down) {
  Down = down;
  InvalidateBounds(false);
}

void TToolButton::Enable(bool enabled) {
  if (Enabled == enabled) return;
  Enabled = enabled;
  InvalidateBounds(true);
}

void TToolButton::MoveTo(int x, int y) { Offset(x - Bounds.left, y - Bounds.top); }

void TToolButton::Offset(int dx, int dy) { Bounds = {Bounds.left + dx, Bounds.top + dy, Bounds.right + dx, Bounds.bottom + dy}; }

void TToolButton::Read(TKxStream& stream) {
  uint8_t flag = 0;
  stream.Read(&flag, 1);
  Enabled = flag != 0;
}

void TToolButton::Write(TKxStream& stream) const {
  const uint8_t flag = Enabled ? 1 : 0;
  stream.Write(&flag, 1);
}

void TToolButton::LButtonDown(win::HWND target, int x, int y) {
  const win::HWND host = Host ? Host->GetHandle() : win::HWND();
  Pressed = false;
  Tracking = true;
  win::SetCapture(host);
  if (!HitTest(x, y) || !Enabled) return;
  SetPressed(true);
  if (!(Style & kAutoRepeat)) return;
  Post(target);
  win::SetTimer(host, kRepeatTimer, 400);
  RepeatCount = 0;
}

void TToolButton::RepeatCommand(win::HWND target) {
  if (!Tracking) return;
  ++RepeatCount;
  Post(target);
  const win::HWND host = Host ? Host->GetHandle() : win::HWND();
  if (RepeatCount == 1) win::SetTimer(host, kRepeatTimer, 200);
  else if (RepeatCount == 6) win::SetTimer(host, kRepeatTimer, 40);
}

void TToolButton::MouseMove(int x, int y) {
  if (Tracking) SetPressed(HitTest(x, y));
}

void TToolButton::LButtonUp(win::HWND target, int x, int y) {
  if (!Tracking) return;
  const win::HWND host = Host ? Host->GetHandle() : win::HWND();
  // The timer stops whatever the release point: a held button never repeats
  // past its release.
  if (Style & kAutoRepeat) win::KillTimer(host, kRepeatTimer);
  if (HitTest(x, y) && Enabled) {
    if (!(Style & kAutoRepeat)) Post(target);
    SetPressed((Style & kStaysDown) != 0);
  } else {
    SetPressed(false);
  }
  Tracking = false;
  win::ReleaseCapture();
}

void TToolButton::Paint(win::Dc& dc) {
  const int left = Bounds.left, top = Bounds.top, right = Bounds.right, bottom = Bounds.bottom;
  const win::Brush oldBrush = dc.SelectBrush(win::CreateSolidBrush(win::RGB(192, 192, 192)));
  dc.Rectangle(left, top, right, bottom);
  dc.SelectBrush(oldBrush);
  const auto grey = win::CreatePen(win::PS_SOLID, 1, win::RGB(128, 128, 128));
  const auto white = win::CreatePen(win::PS_SOLID, 1, win::RGB(255, 255, 255));
  const auto black = win::CreatePen(win::PS_SOLID, 1, win::RGB(0, 0, 0));
  int inset;
  if (Pressed || Down) {
    Line(dc, grey, {{left, bottom - 1}, {left, top}, {right - 1, top}});
    Line(dc, white, {{left, bottom - 1}, {right - 1, bottom - 1}, {right - 1, top}});
    inset = 3;
  } else {
    Line(dc, white, {{left, bottom - 1}, {left, top}, {right - 1, top}});
    Line(dc, black, {{left, bottom - 1}, {right - 1, bottom - 1}, {right - 1, top}});
    Line(dc, grey, {{left + 1, bottom - 2}, {right - 2, bottom - 2}, {right - 2, top}});
    inset = 2;
  }
  if (!Bitmap || !Bitmap->IsOK()) return;
  const int bw = Bitmap->Width(), bh = Bitmap->Height();
  // Wider than bitmap + 4: the bitmap keeps its size and is placed by the
  // style bits; otherwise it is stretched to the button less 4.
  auto place = [](int extent, int bitmap, uint16_t style, uint16_t far, uint16_t centre, int& offset, int& size) {
    offset = 0, size = bitmap;
    if (extent > bitmap + 4) {
      const int room = extent - bitmap - 4;
      if (style & far) offset = room;
      else if (style & centre) offset = room / 2;
    } else {
      size = extent - 4;
    }
  };
  int dx, dy, w, h;
  place(GetWidth(), bw, Style, kBitmapRight, kBitmapHCenter, dx, w);
  place(GetHeight(), bh, Style, kBitmapBottom, kBitmapVCenter, dy, h);
  Bitmap->Draw(dc, left + inset + dx, top + inset + dy, w, h);
}

// ---------------------------------------------------------------- TKxStatusBar

TKxStatusBar::TKxStatusBar(fw::TWindow* parent, const char* layout)
    : fw::TStatusBar(parent, fw::TTextGadget::kRecessed, kCapsLock | kNumLock | kScrollLock, fw::GadgetWindowFont(8)),
      layout_(layout ? layout : "") {
  const win::SIZE want = GetDesiredSize();
  Attr.H = want.cy;
}

void TKxStatusBar::SetLayout(const char* layout) {
  const std::string next = layout ? layout : "";
  if (next == layout_) return;
  for (fw::TTextGadget* field : fields_) Remove(field);
  fields_.clear();
  layout_ = next;
  size_t start = 0;
  while (start < layout_.size()) {
    size_t end = layout_.find('|', start);
    if (end == std::string::npos) end = layout_.size();
    auto field = std::make_unique<fw::TTextGadget>(0, fw::TTextGadget::kEmbossed, fw::TTextGadget::kLeft,
                                                   int(end - start));
    fields_.push_back(field.get());
    Insert(std::move(field), kBefore);
    start = end + 1;
  }
  LayoutSession();
}

void TKxStatusBar::SetText(int index, const char* text) {
  if (index == 0) fw::TStatusBar::SetText(text);
  else if (fw::TTextGadget* field = Field(index)) field->SetText(text);
}

}  // namespace kxtoolbar
