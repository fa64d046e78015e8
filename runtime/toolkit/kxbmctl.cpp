// The bitmap control (see kxbmctl.h).
#include "runtime/toolkit/kxbmctl.h"

#include <cmath>

#include "platform/clipboard.h"
#include "platform/gdi/clipobjects.h"

namespace kxctl {

namespace {

bool HasPixels(const kxobject::TKxBitmap* bitmap) {
  return bitmap && bitmap->Bitmap && bitmap->Bitmap->Width() > 0 && bitmap->Bitmap->Height() > 0;
}

}  // namespace

void TBitmapCtl::RegisterClass() {
  if (win::GetClassInfo(kClassName, nullptr)) return;
  win::WNDCLASS wc;
  wc.style = win::CS_DBLCLKS;
  wc.lpfnWndProc = win::DefWindowProc;
  wc.background = win::GetSysColor(win::COLOR_WINDOW);
  wc.lpszClassName = kClassName;
  win::RegisterClass(wc);
}

TBitmapCtl::TBitmapCtl(fw::TWindow* parent, const char* title, std::unique_ptr<kxobject::TKxBitmap> bitmap)
    : fw::TControl(parent, 0, title, 0, 0, 0, 0, kClassName, 0) {
  RegisterClass();
  Take(std::move(bitmap));
}

TBitmapCtl::TBitmapCtl(fw::TWindow* parent, int id, int x, int y, int w, int h,
                       std::unique_ptr<kxobject::TKxBitmap> bitmap)
    : fw::TControl(parent, id, "", x, y, w, h, kClassName, 0) {
  RegisterClass();
  Take(std::move(bitmap));
}

TBitmapCtl::TBitmapCtl(fw::TWindow* parent, int resourceId, std::unique_ptr<kxobject::TKxBitmap> bitmap)
    : fw::TControl(parent, resourceId, kClassName) {
  RegisterClass();
  Take(std::move(bitmap));
}

void TBitmapCtl::Take(std::unique_ptr<kxobject::TKxBitmap> bitmap) {
  Bitmap = std::move(bitmap);
  BitmapInfo = Bitmap && Bitmap->Bitmap ? win::GetObject(*Bitmap->Bitmap) : win::BITMAP{};
}

void TBitmapCtl::SetBitmap(std::unique_ptr<kxobject::TKxBitmap> bitmap, bool redraw) {
  Take(std::move(bitmap));
  if (redraw && GetHandle()) Invalidate(true);
}

std::unique_ptr<kxobject::TKxBitmap> TBitmapCtl::DetachBitmap() {
  std::unique_ptr<kxobject::TKxBitmap> taken = std::move(Bitmap);
  Take(nullptr);
  return taken;
}

bool TBitmapCtl::CopyToClipboard() {
  if (!HasPixels(Bitmap.get()) || !win::OpenClipboard(GetHandle().id)) return false;
  const bool put = win::SetClipboardBitmap(std::make_shared<win::Bitmap>(*Bitmap->Bitmap));
  win::CloseClipboard();
  return put;
}

bool TBitmapCtl::CutToClipboard() {
  if (!HasPixels(Bitmap.get()) || !win::OpenClipboard(GetHandle().id)) return false;
  const bool put = win::SetClipboardBitmap(Bitmap->Bitmap);
  win::CloseClipboard();
  if (!put) return false;
  Take(nullptr);
  if (GetHandle()) Invalidate(true);
  return true;
}

bool TBitmapCtl::PasteFromClipboard() {
  if (!win::OpenClipboard(GetHandle().id)) return false;
  bool taken = false;
  if (const std::shared_ptr<const win::Bitmap> held = win::GetClipboardBitmap()) {
    Take(std::make_unique<kxobject::TKxBitmap>(std::make_shared<win::Bitmap>(*held)));
    taken = HasPixels(Bitmap.get());
  }
  win::CloseClipboard();
  if (taken && GetHandle()) Invalidate(true);
  return taken;
}

bool TBitmapCtl::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_PAINT, &TBitmapCtl::EvPaint>()};
  return table.Search(e) || fw::TControl::Find(e);
}

void TBitmapCtl::EvPaint() {
  win::PAINTSTRUCT ps;
  if (win::Dc* dc = win::BeginPaint(GetHandle(), &ps)) {
    win::RECT client;
    win::GetClientRect(GetHandle(), &client);
    dc->IntersectClipRect(client.left, client.top, client.right, client.bottom);
    Paint(*dc, ps.fErase, ps.rcPaint);
  }
  win::EndPaint(GetHandle(), &ps);
}

void TBitmapCtl::Paint(win::Dc& dc, bool, win::RECT& rect) {
  dc.FillRect(rect, win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNFACE)));
  if (!HasPixels(Bitmap.get())) return;
  auto memory = win::Dc::CreateCompatible(&dc);
  memory->SelectBitmap(Bitmap->Bitmap);
  win::RECT client;
  win::GetClientRect(GetHandle(), &client);
  const int W = client.right, H = client.bottom;
  const int w = BitmapInfo.bmWidth, h = BitmapInfo.bmHeight;
  if (DisplayMode == 0) {
    const int x = w < W ? (W - w) / 2 : 0, y = h < H ? (H - h) / 2 : 0;
    win::BitBlt(dc, x, y, w, h, memory.get(), 0, 0, win::SRCCOPY);
  } else if (DisplayMode == 1) {
    const double sx = double(W) / w, sy = double(H) / h;
    const int tw = sx <= sy ? W : int(std::floor(w * sy + 0.5));
    const int th = sx <= sy ? int(std::floor(h * sx + 0.5)) : H;
    win::StretchBlt(dc, 0, 0, tw, th, memory.get(), 0, 0, w, h, win::SRCCOPY);
  } else {
    win::StretchBlt(dc, 0, 0, W, H, memory.get(), 0, 0, w, h, win::SRCCOPY);
  }
}

void TBitmapCtl::CleanupWindow() {
  Take(nullptr);
  fw::TControl::CleanupWindow();
}

}  // namespace kxctl
