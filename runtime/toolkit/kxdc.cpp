#include "runtime/toolkit/kxdc.h"

#include <cstring>
#include <fstream>
#include <utility>

#include "platform/print/job.h"

namespace kxobject {

template <typename F>
auto TKxDC::Both(F&& f) {
  if (OutputDC && OutputDC != AttributeDC) f(*OutputDC, outputOriginals_);
  using Answer = decltype(f(*AttributeDC, attributeOriginals_));
  if (!AttributeDC) return Answer{};
  return f(*AttributeDC, attributeOriginals_);
}

int TKxDC::DrawText(const char* text, int length, win::RECT& rect, win::UINT format) {
  if (!OutputDC || !text) return 0;
  const size_t n = length < 0 ? std::strlen(text) : strnlen(text, size_t(length));
  return OutputDC->DrawText(std::string_view(text, n), &rect, format);
}

win::COLORREF TKxDC::GetTextColor() { return AttributeDC ? AttributeDC->Current().textColor : 0; }

bool TKxDC::TextOut(int x, int y, const char* text, int length) {
  if (!OutputDC || !text) return false;
  const size_t n = length < 0 ? std::strlen(text) : strnlen(text, size_t(length));
  return OutputDC->TextOut(x, y, std::string_view(text, n));
}

void TKxDC::OffsetWindowOrg(int dx, int dy) {
  Both([&](win::Dc& dc, Originals&) { return dc.OffsetWindowOrgEx(dx, dy); });
}
void TKxDC::SetWindowOrg(int x, int y) {
  Both([&](win::Dc& dc, Originals&) { return dc.SetWindowOrgEx(x, y); });
}
void TKxDC::SetWindowExt(int cx, int cy) {
  Both([&](win::Dc& dc, Originals&) { return dc.SetWindowExtEx(cx, cy); });
}
void TKxDC::SetViewportOrg(int x, int y) {
  Both([&](win::Dc& dc, Originals&) { return dc.SetViewportOrgEx(x, y); });
}
void TKxDC::SetViewportExt(int cx, int cy) {
  Both([&](win::Dc& dc, Originals&) { return dc.SetViewportExtEx(cx, cy); });
}
int TKxDC::SetMapMode(int mode) {
  return Both([&](win::Dc& dc, Originals&) { return dc.SetMapMode(mode); });
}
win::COLORREF TKxDC::SetBkColor(win::COLORREF color) {
  return Both([&](win::Dc& dc, Originals&) { return dc.SetBkColor(color); });
}
win::COLORREF TKxDC::SetTextColor(win::COLORREF color) {
  return Both([&](win::Dc& dc, Originals&) { return dc.SetTextColor(color); });
}
win::UINT TKxDC::SetTextAlign(win::UINT align) {
  return Both([&](win::Dc& dc, Originals&) { return dc.SetTextAlign(align); });
}
int TKxDC::SetBkMode(int mode) {
  return Both([&](win::Dc& dc, Originals&) { return dc.SetBkMode(mode); });
}
template <typename T, typename Select>
void TKxDC::SelectKept(std::optional<T> Originals::*kept, Select select) {
  Both([&](win::Dc& dc, Originals& o) {
    T old = select(dc);
    if (!(o.*kept)) o.*kept = std::move(old);
    return true;
  });
}

template <typename T, typename Select>
void TKxDC::RestoreKept(std::optional<T> Originals::*kept, Select select) {
  Both([&](win::Dc& dc, Originals& o) {
    if (o.*kept) select(dc, *std::exchange(o.*kept, std::nullopt));
    return true;
  });
}

void TKxDC::SelectBrush(const win::Brush& brush) {
  SelectKept(&Originals::brush, [&](win::Dc& dc) { return dc.SelectBrush(brush); });
}
void TKxDC::SelectPen(const win::Pen& pen) {
  SelectKept(&Originals::pen, [&](win::Dc& dc) { return dc.SelectPen(pen); });
}
void TKxDC::SelectFont(const win::LOGFONT& font) {
  SelectKept(&Originals::font, [&](win::Dc& dc) { return dc.SelectFont(font); });
}
void TKxDC::SelectPalette(std::shared_ptr<const win::Palette> palette, bool /*forceBackground*/) {
  SelectKept(&Originals::palette, [&](win::Dc& dc) { return dc.SelectPalette(palette); });
}

void TKxDC::SelectStockObject(int index) {
  switch (index) {
    case kWhiteBrush: SelectBrush(win::CreateSolidBrush(win::RGB(255, 255, 255))); break;
    case kLtGrayBrush: SelectBrush(win::CreateSolidBrush(win::RGB(192, 192, 192))); break;
    case kGrayBrush: SelectBrush(win::CreateSolidBrush(win::RGB(128, 128, 128))); break;
    case kDkGrayBrush: SelectBrush(win::CreateSolidBrush(win::RGB(64, 64, 64))); break;
    case kBlackBrush: SelectBrush(win::CreateSolidBrush(win::RGB(0, 0, 0))); break;
    case kNullBrush: SelectBrush(win::NullBrush()); break;
    case kWhitePen: SelectPen(win::CreatePen(win::PS_SOLID, 0, win::RGB(255, 255, 255))); break;
    case kBlackPen: SelectPen(win::CreatePen(win::PS_SOLID, 0, win::RGB(0, 0, 0))); break;
    case kNullPen: SelectPen(win::NullPen()); break;
    case kSystemFont: SelectFont(win::SystemFont()); break;
    default: break;
  }
}
void TKxDC::RestoreBrush() {
  RestoreKept(&Originals::brush, [](win::Dc& dc, const win::Brush& b) { dc.SelectBrush(b); });
}
void TKxDC::RestorePen() {
  RestoreKept(&Originals::pen, [](win::Dc& dc, const win::Pen& p) { dc.SelectPen(p); });
}
void TKxDC::RestoreFont() {
  RestoreKept(&Originals::font, [](win::Dc& dc, const win::LOGFONT& f) { dc.SelectFont(f); });
}
void TKxDC::RestorePalette() {
  RestoreKept(&Originals::palette,
              [](win::Dc& dc, const std::shared_ptr<const win::Palette>& p) { dc.SelectPalette(p); });
}
int TKxDC::SaveDC() {
  return Both([&](win::Dc& dc, Originals&) { return dc.SaveDC(); });
}
bool TKxDC::RestoreDC(int level) {
  return Both([&](win::Dc& dc, Originals&) { return dc.RestoreDC(level); });
}
int TKxDC::SelectClipRgn(const win::Region* region) { return OutputDC ? OutputDC->SelectClipRgn(region) : 0; }
int TKxDC::GetDeviceCaps(int index) { return AttributeDC ? AttributeDC->GetDeviceCaps(index) : 0; }

TKxWindowDC::TKxWindowDC(win::HWND window) : Window(window) { OutputDC = AttributeDC = win::GetDC(window); }

TKxWindowDC::~TKxWindowDC() {
  if (OutputDC) win::ReleaseDC(Window, OutputDC);
}

TKxCreatedDC::TKxCreatedDC(const char* driver, const char* device, const char* port, const win::DevMode* mode)
    : Created(win::CreateDC(driver, device, port, mode)) {
  OutputDC = AttributeDC = Created.get();
}

TMetaDC::TMetaDC(const char* fileName, win::Dc* reference)
    : recording_(win::wmf::CreateMetaFileDC(reference)), fileName_(fileName ? fileName : "") {
  OutputDC = recording_.get();
  AttributeDC = reference ? reference : recording_.get();
}

win::wmf::HMETAFILE TMetaDC::Close() {
  if (!recording_ || !OutputDC) return 0;
  const std::vector<uint8_t> bytes = win::wmf::CloseMetaFile(*recording_);
  OutputDC = nullptr;
  if (!fileName_.empty()) {
    std::ofstream(fileName_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  return win::wmf::SetMetaFileBitsEx(bytes);
}

int TMetaDC::DrawText(const char* text, int length, win::RECT& rect, win::UINT format) {
  if (!OutputDC || !AttributeDC || !text) return 1;
  const size_t end = length < 0 ? std::strlen(text) : strnlen(text, size_t(length));
  const std::string_view all(text, end);
  win::Dc& out = *OutputDC;
  const int saved = out.SaveDC();
  win::TEXTMETRIC tm;
  AttributeDC->GetTextMetrics(&tm);
  int x = rect.left;
  if (format & win::DT_RIGHT) {
    out.SetTextAlign(win::TA_RIGHT);
    x = rect.right;
  } else if (format & win::DT_CENTER) {
    out.SetTextAlign(win::TA_CENTER);
    x = (rect.left + rect.right) / 2;
  } else {
    out.SetTextAlign(win::TA_LEFT);
  }
  if (!(format & win::DT_NOCLIP)) out.IntersectClipRect(rect.left, rect.top, rect.right, rect.bottom);
  const int step = tm.tmHeight + tm.tmInternalLeading + (format & win::DT_EXTERNALLEADING ? tm.tmExternalLeading : 0);
  int y = rect.top;
  size_t lineStart = 0, breakAt = 0, scan = 0;
  const auto drawLine = [&](size_t from, size_t to) {
    out.TextOut(x, y, all.substr(from, to - from));
    y += step;
  };
  while (lineStart < end || scan < end) {
    const char c = scan < end ? all[scan] : '\0';
    if (c == ' ' || c == '-' || scan >= end) {
      win::SIZE size{};
      AttributeDC->GetTextExtentPoint32(all.substr(lineStart, scan - lineStart), &size);
      if (size.cx > rect.right - rect.left) {
        if (breakAt <= lineStart) {
          if (scan < end) ++scan;
          breakAt = scan;
        }
        drawLine(lineStart, breakAt);
        lineStart = breakAt;
        if (lineStart >= end) break;
        continue;  // the same character again, on the new line
      }
      if (scan >= end) {
        drawLine(lineStart, end);
        break;
      }
      breakAt = ++scan;
    } else if (c == '\r') {
      drawLine(lineStart, scan);
      scan += scan + 1 < end && all[scan + 1] == '\n' ? 2 : 1;
      lineStart = breakAt = scan;
    } else {
      ++scan;
    }
  }
  out.RestoreDC(saved);
  return 1;
}

}  // namespace kxobject
