// Gadget windows and their gadgets (see gadgets.h).
#include "platform/framework/gadgets.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/gdi/dib.h"
#include "platform/win/input.h"
#include "platform/win/message.h"

namespace fw {

namespace {

constexpr int kRepeatEveryMs = 100;  // a held framework button after its first repeat

uint32_t ReadU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// One-pixel-per-border 3-D frame on r: raised (light top/left) or sunken.
void Frame3d(win::Dc& dc, const win::RECT& r, const win::RECT& borders, bool raised) {
  const auto light = win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNHIGHLIGHT));
  const auto dark = win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNSHADOW));
  const win::Brush& topLeft = raised ? light : dark;
  const win::Brush& bottomRight = raised ? dark : light;
  dc.FillRect({r.left, r.top, r.right, r.top + borders.top}, topLeft);
  dc.FillRect({r.left, r.top, r.left + borders.left, r.bottom}, topLeft);
  dc.FillRect({r.left, r.bottom - borders.bottom, r.right, r.bottom}, bottomRight);
  dc.FillRect({r.right - borders.right, r.top, r.right, r.bottom}, bottomRight);
}

}  // namespace

// ---------------------------------------------------------------- TDib

TDib::TDib(std::span<const uint8_t> info, std::span<const uint8_t> bits)
    : info_(info.begin(), info.end()), bits_(bits.begin(), bits.end()) {
  Parse();
}

TDib::TDib(const platform::ResId& id) {
  std::string_view bytes;
  if (!platform::FindResource(platform::RT_BITMAP, id, bytes) || bytes.size() < win::kBitmapInfoHeaderSize) return;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  info_.assign(data, data + bytes.size());
  Parse();
}

void TDib::Parse() {
  width_ = height_ = 0;
  const auto format = win::ParseDibInfo(info_, win::DIB_RGB_COLORS, nullptr);
  if (!format) return;
  // A packed DIB from a resource holds its rows after the table.
  const size_t headerPart = ReadU32(info_, 0) + 4 * format->colors.size() +
                            (ReadU32(info_, 16) == win::BI_BITFIELDS ? 12 : 0);
  if (bits_.empty() && info_.size() >= headerPart) {
    bits_.assign(info_.begin() + std::ptrdiff_t(headerPart), info_.end());
    info_.resize(headerPart);
  }
  if (bits_.size() < format->stride * size_t(format->height)) return;
  width_ = format->width;
  height_ = format->height;
}

void TDib::MapUIColors() {
  if (!IsOK() || ReadU32(info_, 16) != win::BI_RGB) return;
  const auto format = win::ParseDibInfo(info_, win::DIB_RGB_COLORS, nullptr);
  const struct {
    uint32_t rgb;
    int sysColor;
  } map[] = {{0x000000, win::COLOR_BTNTEXT},
             {0x808080, win::COLOR_BTNSHADOW},
             {0xC0C0C0, win::COLOR_BTNFACE},
             {0xFFFFFF, win::COLOR_BTNHIGHLIGHT}};
  const size_t table = ReadU32(info_, 0);
  for (size_t i = 0; i < format->colors.size(); ++i) {
    uint8_t* entry = info_.data() + table + 4 * i;
    const uint32_t rgb = uint32_t(entry[2]) << 16 | uint32_t(entry[1]) << 8 | entry[0];
    for (const auto& m : map)
      if (rgb == m.rgb) {
        const win::COLORREF c = win::GetSysColor(m.sysColor);
        entry[0] = win::GetBValue(c), entry[1] = win::GetGValue(c), entry[2] = win::GetRValue(c);
        break;
      }
  }
}

void TDib::Draw(win::Dc& dc, int x, int y, int width, int height) const {
  if (IsOK())
    win::StretchDIBits(dc, x, y, width ? width : width_, height ? height : height_, 0, 0, width_, height_, bits_,
                       info_, win::DIB_RGB_COLORS, win::SRCCOPY);
}

// ---------------------------------------------------------------- TGadget

win::SIZE TGadget::GetDesiredSize() {
  return {Borders.left + Borders.right, Borders.top + Borders.bottom};
}

void TGadget::Paint(win::Dc& dc) {
  if (Borders.left || Borders.top || Borders.right || Borders.bottom) Frame3d(dc, Bounds, Borders, true);
}

void TGadget::Invalidate(bool erase) {
  if (window_ && window_->GetHandle()) win::InvalidateRect(window_->GetHandle(), &Bounds, erase);
}

void TGadget::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Invalidate();
}

// ---------------------------------------------------------------- TButtonGadget

TButtonGadget::TButtonGadget(const platform::ResId& glyphId, int id, TType type, bool enabled, TState state,
                             bool repeat)
    : TButtonGadget(std::make_unique<TDib>(glyphId), id, type, enabled, state, repeat) {}

TButtonGadget::TButtonGadget(std::unique_ptr<TDib> glyph, int id, TType type, bool enabled, TState state,
                             bool repeat)
    : TGadget(id), glyph_(glyph && glyph->IsOK() ? std::move(glyph) : nullptr), type_(type), state_(state),
      repeat_(repeat) {
  Borders = {2, 2, 2, 2};
  SetEnabled(enabled);
}

win::SIZE TButtonGadget::GetDesiredSize() {
  const win::SIZE frame = TGadget::GetDesiredSize();
  if (!glyph_) return {23, 22};
  return {frame.cx + glyph_->Width() + 3, frame.cy + glyph_->Height() + 2};
}

const TDib* TButtonGadget::GetGlyphDib() { return glyph_.get(); }

void TButtonGadget::Paint(win::Dc& dc) {
  dc.FillRect(Bounds, win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNFACE)));
  const bool sunk = pressed_ || state_ == kDown;
  if (const TDib* glyph = GetGlyphDib()) {
    const int x = (Bounds.left + Bounds.right - glyph->Width()) / 2 + (sunk ? 1 : 0);
    const int y = (Bounds.top + Bounds.bottom - glyph->Height()) / 2 + (sunk ? 1 : 0);
    glyph->Draw(dc, x, y);
  }
  if (Borders.left || Borders.top || Borders.right || Borders.bottom) Frame3d(dc, Bounds, Borders, !sunk);
}

void TButtonGadget::SetButtonState(TState state) {
  if (state_ == state) return;
  state_ = state;
  Invalidate(false);
}

void TButtonGadget::SendCommand() {
  TGadgetWindow* w = GetWindow();
  if (!w || !w->GetHandle()) return;
  const HWND target = win::GetParent(w->GetHandle());
  win::PostMessage(target ? target : w->GetHandle(), win::WM_COMMAND, WPARAM(uint16_t(GetId())), 0);
}

void TButtonGadget::LButtonDown(win::POINT) {
  pressed_ = true;
  Invalidate(false);
  if (!repeat_) return;
  SendCommand();
  if (TGadgetWindow* w = GetWindow()) w->StartRepeat(400);
}

void TButtonGadget::MouseMove(win::POINT p) {
  if (pressed_ == PtIn(p)) return;
  pressed_ = PtIn(p);
  Invalidate(false);
}

void TButtonGadget::RepeatTimer() {
  if (!pressed_) return;
  SendCommand();
  if (TGadgetWindow* w = GetWindow()) w->StartRepeat(kRepeatEveryMs);
}

void TButtonGadget::LButtonUp(win::POINT p) {
  const bool inside = pressed_ && PtIn(p);
  pressed_ = false;
  if (inside) {
    if (type_ == kExclusive) state_ = kDown;
    else if (type_ == kNonExclusive) state_ = state_ == kDown ? kUp : kDown;
    if (!repeat_) SendCommand();
  }
  Invalidate(false);
}

// ---------------------------------------------------------------- TTextGadget

TTextGadget::TTextGadget(int id, TBorderStyle style, TAlign align, int numChars, const char* text)
    : TGadget(id), style_(style), align_(align), numChars_(std::max(numChars, 0)), text_(text ? text : "") {
  const int b = style == kNone ? 0 : 1;
  Borders = {b, b, b, b};
  ShrinkWrapHeight = true;
}

win::SIZE TTextGadget::GetDesiredSize() {
  const win::SIZE frame = TGadget::GetDesiredSize();
  const win::SIZE cell = GetWindow() ? GetWindow()->FontCell() : win::SIZE{0, 0};
  return {frame.cx + numChars_ * cell.cx + (numChars_ ? 4 : 0), frame.cy + cell.cy + 2};
}

void TTextGadget::Paint(win::Dc& dc) {
  dc.FillRect(Bounds, win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNFACE)));
  if (style_ == kRecessed || style_ == kEmbossed || style_ == kRaised) {
    // Recessed: shadow top-left; embossed and raised: highlight top-left.
    Frame3d(dc, Bounds, Borders, style_ != kRecessed);
  } else if (style_ == kPlain) {
    dc.FrameRect(Bounds, win::CreateSolidBrush(win::GetSysColor(win::COLOR_WINDOWFRAME)));
  }
  if (text_.empty() || !GetWindow()) return;
  dc.SelectFont(GetWindow()->GetFont());
  dc.SetBkMode(win::TRANSPARENT);
  dc.SetTextColor(win::GetSysColor(win::COLOR_BTNTEXT));
  win::RECT r{Bounds.left + Borders.left + 2, Bounds.top + Borders.top, Bounds.right - Borders.right - 2,
              Bounds.bottom - Borders.bottom};
  const uint32_t h = align_ == kCenter ? win::DT_CENTER : align_ == kRight ? win::DT_RIGHT : win::DT_LEFT;
  dc.DrawText(text_, &r, h | win::DT_SINGLELINE | win::DT_VCENTER | win::DT_NOPREFIX);
}

void TTextGadget::SetText(const char* text) {
  const std::string next = text ? text : "";
  if (next == text_) return;
  text_ = next;
  Invalidate();
}

// ---------------------------------------------------------------- TGadgetWindow

win::LOGFONT GadgetWindowFont(int pointSize, bool bold, bool italic) {
  win::LOGFONT font;
  font.lfHeight = -(pointSize * 96 + 36) / 72;
  font.lfWeight = bold ? 700 : 400;
  font.lfItalic = italic ? 1 : 0;
  std::strncpy(font.lfFaceName, "MS Sans Serif", sizeof font.lfFaceName - 1);
  return font;
}

TGadgetWindow::TGadgetWindow(TWindow* parent, TDirection direction, const win::LOGFONT& font)
    : TWindow(parent, static_cast<const char*>(nullptr)), direction_(direction), font_(font) {
  if (direction == kVertical) ShrinkWrapWidth = true, ShrinkWrapHeight = false;
}

TGadgetWindow::~TGadgetWindow() { hot_ = captured_ = nullptr; }

void TGadgetWindow::GetWindowClass(win::WNDCLASS& wc) {
  TWindow::GetWindowClass(wc);
  wc.background = win::GetSysColor(win::COLOR_BTNFACE);
}

int TGadgetWindow::IndexOf(const TGadget* gadget) const {
  for (size_t i = 0; i < gadgets_.size(); ++i)
    if (gadgets_[i].get() == gadget) return int(i);
  return -1;
}

void TGadgetWindow::Insert(std::unique_ptr<TGadget> gadget, TPlacement placement, TGadget* sibling) {
  const int at = IndexOf(sibling);
  const size_t index = at >= 0                 ? size_t(at + (placement == kAfter ? 1 : 0))
                       : placement == kBefore ? 0
                                               : gadgets_.size();
  gadget->window_ = this;
  gadgets_.insert(gadgets_.begin() + std::ptrdiff_t(index), std::move(gadget));
}

std::unique_ptr<TGadget> TGadgetWindow::Remove(TGadget* gadget) {
  const int at = IndexOf(gadget);
  if (at < 0) return nullptr;
  if (hot_ == gadget) hot_ = nullptr;
  if (captured_ == gadget) GadgetReleaseCapture(gadget);
  std::unique_ptr<TGadget> taken = std::move(gadgets_[size_t(at)]);
  gadgets_.erase(gadgets_.begin() + at);
  taken->window_ = nullptr;
  return taken;
}

TGadget* TGadgetWindow::GadgetWithId(int id) const {
  for (const auto& gadget : gadgets_)
    if (gadget->GetId() == id) return gadget.get();
  return nullptr;
}

TGadget* TGadgetWindow::NextGadget(const TGadget* gadget) const {
  const int at = IndexOf(gadget);
  return at < 0 || size_t(at + 1) >= gadgets_.size() ? nullptr : gadgets_[size_t(at + 1)].get();
}

TGadget* TGadgetWindow::GadgetFromPoint(win::POINT p) const {
  for (const auto& gadget : gadgets_)
    if (gadget->PtIn(p)) return gadget.get();
  return nullptr;
}

win::SIZE TGadgetWindow::FontCell() const {
  auto dc = win::Dc::CreateCompatible(nullptr);
  dc->SelectFont(font_);
  win::TEXTMETRIC tm{};
  dc->GetTextMetrics(&tm);
  return {tm.tmAveCharWidth, tm.tmHeight};
}

win::SIZE TGadgetWindow::GetDesiredSize() {
  int along = 0, across = 0;
  for (const auto& gadget : gadgets_) {
    const win::SIZE s = gadget->GetDesiredSize();
    along += direction_ == kHorizontal ? s.cx : s.cy;
    across = std::max(across, direction_ == kHorizontal ? s.cy : s.cx);
  }
  const win::RECT insets = win::NonClientInsets(Attr.Style, Attr.ExStyle);
  const int mx = Margins.left + Margins.right + insets.left + insets.right;
  const int my = Margins.top + Margins.bottom + insets.top + insets.bottom;
  return direction_ == kHorizontal ? win::SIZE{along + mx, across + my} : win::SIZE{across + mx, along + my};
}

win::RECT TGadgetWindow::GetInnerRect() const {
  win::RECT client{0, 0, Attr.W, Attr.H};
  if (GetHandle()) win::GetClientRect(GetHandle(), &client);
  return {client.left + Margins.left, client.top + Margins.top, client.right - Margins.right,
          client.bottom - Margins.bottom};
}

int TGadgetWindow::LayoutSession() {
  if (GetHandle() && (ShrinkWrapWidth || ShrinkWrapHeight)) {
    const win::SIZE want = GetDesiredSize();
    win::RECT r;
    win::GetWindowRect(GetHandle(), &r);
    const int w = ShrinkWrapWidth ? want.cx : r.right - r.left;
    const int h = ShrinkWrapHeight ? want.cy : r.bottom - r.top;
    if (w != r.right - r.left || h != r.bottom - r.top)
      win::SetWindowPos(GetHandle(), HWND(), 0, 0, w, h, win::SWP_NOMOVE | win::SWP_NOZORDER);
  }
  int across = 0;
  for (const auto& gadget : gadgets_) {
    const win::SIZE s = gadget->GetDesiredSize();
    across = std::max(across, direction_ == kHorizontal ? s.cy : s.cx);
  }
  // What the inner rectangle leaves over goes to the first gadget that is
  // as wide as possible (a message text).
  int spare = 0;
  if (GetHandle() && direction_ == kHorizontal) {
    const win::RECT inner = GetInnerRect();
    int along = 0;
    for (const auto& gadget : gadgets_) along += gadget->GetDesiredSize().cx;
    spare = std::max(0, int(inner.right - inner.left) - along);
  }
  int pos = direction_ == kHorizontal ? Margins.left : Margins.top;
  const int start = pos;
  for (const auto& gadget : gadgets_) {
    win::SIZE s = gadget->GetDesiredSize();
    if (gadget->WideAsPossible) s.cx += std::exchange(spare, 0);
    if (direction_ == kHorizontal) {
      gadget->Bounds = {pos, Margins.top, pos + s.cx, Margins.top + (gadget->ShrinkWrapHeight ? s.cy : across)};
      pos += s.cx;
    } else {
      gadget->Bounds = {Margins.left, pos, Margins.left + (gadget->ShrinkWrapWidth ? s.cx : across), pos + s.cy};
      pos += s.cy;
    }
  }
  if (GetHandle()) Invalidate();
  return pos - start;
}

void TGadgetWindow::Paint(win::Dc& dc, bool, win::RECT&) {
  for (const auto& gadget : gadgets_) {
    const int saved = dc.SaveDC();
    dc.IntersectClipRect(gadget->Bounds.left, gadget->Bounds.top, gadget->Bounds.right, gadget->Bounds.bottom);
    gadget->Paint(dc);
    dc.RestoreDC(saved);
  }
}

bool TGadgetWindow::Find(TEventInfo& e) {
  static const TResponseTable table{OnWm<win::WM_MOUSEMOVE, &TGadgetWindow::EvMouseMove>(),
                                    OnWm<win::WM_MOUSELEAVE, &TGadgetWindow::EvMouseLeave>(),
                                    OnWm<win::WM_LBUTTONDOWN, &TGadgetWindow::EvLButtonDown>(),
                                    OnWm<win::WM_LBUTTONDBLCLK, &TGadgetWindow::EvLButtonDown>(),
                                    OnWm<win::WM_LBUTTONUP, &TGadgetWindow::EvLButtonUp>(),
                                    OnWm<win::WM_TIMER, &TGadgetWindow::EvTimer>()};
  return table.Search(e) || TWindow::Find(e);
}

void TGadgetWindow::SetHot(TGadget* gadget) {
  if (hot_ == gadget) return;
  TGadget* left = hot_;
  hot_ = gadget;
  if (left) left->MouseLeave();
  if (gadget) gadget->MouseEnter();
}

void TGadgetWindow::EvMouseMove(UINT, win::POINT p) {
  if (captured_) {
    captured_->MouseMove(p);
    return;
  }
  TGadget* under = GadgetFromPoint(p);
  SetHot(under && under->IsEnabled() ? under : nullptr);
  win::TrackMouseLeave(GetHandle());
}

LRESULT TGadgetWindow::EvMouseLeave(WPARAM, LPARAM) {
  if (!captured_) SetHot(nullptr);
  return 0;
}

void TGadgetWindow::EvLButtonDown(UINT, win::POINT p) {
  TGadget* under = GadgetFromPoint(p);
  if (!under || !under->IsEnabled()) return;
  GadgetSetCapture(under);
  under->LButtonDown(p);
}

void TGadgetWindow::EvLButtonUp(UINT, win::POINT p) {
  if (TGadget* gadget = captured_) {
    GadgetReleaseCapture(gadget);
    gadget->LButtonUp(p);
    SetHot(gadget->PtIn(p) ? gadget : nullptr);
  }
}

void TGadgetWindow::EvTimer(UINT id) {
  if (id != kRepeatTimer) {
    DefaultProcessing();
    return;
  }
  win::KillTimer(GetHandle(), kRepeatTimer);
  if (captured_) captured_->RepeatTimer();
}

void TGadgetWindow::GadgetSetCapture(TGadget* gadget) {
  captured_ = gadget;
  if (GetHandle()) win::SetCapture(GetHandle());
}

void TGadgetWindow::GadgetReleaseCapture(TGadget* gadget) {
  if (captured_ != gadget) return;
  captured_ = nullptr;
  if (GetHandle()) {
    win::KillTimer(GetHandle(), kRepeatTimer);
    if (win::GetCapture() == GetHandle()) win::ReleaseCapture();
  }
}

void TGadgetWindow::StartRepeat(unsigned ms) {
  if (GetHandle()) win::SetTimer(GetHandle(), kRepeatTimer, ms);
}

// ---------------------------------------------------------------- bars

TControlBar::TControlBar(TWindow* parent, TDirection direction, const win::LOGFONT& font)
    : TGadgetWindow(parent, direction, font) {}

TMessageBar::TMessageBar(TWindow* parent, const win::LOGFONT& font) : TGadgetWindow(parent, kHorizontal, font) {
  auto message = std::make_unique<TTextGadget>(0, TTextGadget::kNone, TTextGadget::kLeft, 0);
  message->WideAsPossible = true;
  message_ = message.get();
  TGadgetWindow::Insert(std::move(message));
}

void TMessageBar::SetText(const char* text) { message_->SetText(text); }

TStatusBar::TStatusBar(TWindow* parent, TTextGadget::TBorderStyle style, unsigned modeIndicators,
                       const win::LOGFONT& font)
    : TMessageBar(parent, font), style_(style) {
  const struct {
    unsigned bit;
    int vk;
    const char* sample;
  } modes[] = {{kCapsLock, win::VK_CAPITAL, "CAPS"}, {kNumLock, win::VK_NUMLOCK, "NUM"},
               {kScrollLock, win::VK_SCROLL, "SCRL"}};
  for (const auto& mode : modes) {
    if (!(modeIndicators & mode.bit)) continue;
    auto gadget = std::make_unique<TTextGadget>(0, style, TTextGadget::kCenter, int(std::strlen(mode.sample)));
    indicators_.push_back({gadget.get(), mode.vk, mode.sample});
    TGadgetWindow::Insert(std::move(gadget));
  }
}

void TStatusBar::Insert(std::unique_ptr<TGadget> gadget, TPlacement placement, TGadget* sibling) {
  if (!sibling && !indicators_.empty()) {
    sibling = indicators_.front().gadget;
    placement = kBefore;
  }
  TGadgetWindow::Insert(std::move(gadget), placement, sibling);
}

void TStatusBar::Paint(win::Dc& dc, bool erase, win::RECT& rect) {
  for (const Indicator& mode : indicators_) mode.gadget->SetText((win::GetKeyState(mode.vk) & 1) ? mode.text : "");
  TMessageBar::Paint(dc, erase, rect);
}

}  // namespace fw
