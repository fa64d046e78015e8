// The bitmap control (see kxbmctl.h).
#include "runtime/toolkit/kxbmctl.h"

#include <cmath>
#include <cstdlib>

#include "platform/clipboard.h"
#include "platform/controls/dialog.h"
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

// --- TBmListBox ---

namespace {

constexpr int kDefaultItemHeight = 21;

}  // namespace

TBmListBox::TBmListBox(fw::TWindow* parent, int id, int x, int y, int w, int h, bool ownsBitmaps)
    : fw::TListBox(parent, id, x, y, w, h),
      MemDC(win::Dc::CreateCompatible(&kxobject::ScreenDc())),
      OwnsBitmaps(ownsBitmaps) {
  Attr.Style = (Attr.Style & ~win::LBS_SORT) | win::LBS_OWNERDRAWVARIABLE | win::LBS_HASSTRINGS;
}

TBmListBox::TBmListBox(fw::TWindow* parent, int resourceId, bool ownsBitmaps)
    : fw::TListBox(parent, resourceId),
      MemDC(win::Dc::CreateCompatible(&kxobject::ScreenDc())),
      OwnsBitmaps(ownsBitmaps) {}

TBmListBox::~TBmListBox() = default;

kxobject::TKxBitmap* TBmListBox::ItemBitmap(int index) const {
  const win::LRESULT data = win::SendMessage(GetHandle(), win::LB_GETITEMDATA, win::WPARAM(index));
  return data == win::LB_ERR ? nullptr : reinterpret_cast<kxobject::TKxBitmap*>(data);
}

int16_t TBmListBox::AddItem(kxobject::TKxBitmap* bitmap, const char* text) {
  PendingBitmap = bitmap;
  const int index = AddString(text);
  PendingBitmap.reset();
  SendMessage(win::LB_SETITEMDATA, win::WPARAM(index), reinterpret_cast<win::LPARAM>(bitmap));
  return int16_t(index);
}

int16_t TBmListBox::InsertItem(kxobject::TKxBitmap* bitmap, const char* text, int16_t at) {
  PendingBitmap = bitmap;
  const int index = int(SendMessage(win::LB_INSERTSTRING, win::WPARAM(intptr_t(at)),
                                    reinterpret_cast<win::LPARAM>(text ? text : "")));
  PendingBitmap.reset();
  SendMessage(win::LB_SETITEMDATA, win::WPARAM(index), reinterpret_cast<win::LPARAM>(bitmap));
  if (HasPixels(bitmap)) SendMessage(win::LB_SETITEMHEIGHT, win::WPARAM(index), bitmap->Bitmap->Height());
  return int16_t(index);
}

int TBmListBox::GetItem(kxobject::TKxBitmap*& bitmap, std::string& text, int16_t index) const {
  bitmap = ItemBitmap(index);
  const win::LRESULT n = win::SendMessage(GetHandle(), win::LB_GETTEXTLEN, win::WPARAM(intptr_t(index)));
  text = GetString(index);
  return int(n);
}

int16_t TBmListBox::SetItemText(const char* text, int16_t index) {
  kxobject::TKxBitmap* bitmap = ItemBitmap(index);
  win::LRESULT result = SendMessage(win::LB_DELETESTRING, win::WPARAM(intptr_t(index)));
  if (result >= 0) {
    result = SendMessage(win::LB_INSERTSTRING, win::WPARAM(intptr_t(index)), reinterpret_cast<win::LPARAM>(text ? text : ""));
    if (result >= 0) SendMessage(win::LB_SETITEMDATA, win::WPARAM(result), reinterpret_cast<win::LPARAM>(bitmap));
  }
  return int16_t(result);
}

int TBmListBox::DeleteString(int index) {
  kxobject::TKxBitmap* bitmap = ItemBitmap(index);
  const int result = int(SendMessage(win::LB_DELETESTRING, win::WPARAM(intptr_t(index))));
  if (result >= 0 && OwnsBitmaps) delete bitmap;
  return result;
}

void TBmListBox::DeleteAllBitmaps() {
  if (!OwnsBitmaps || !GetHandle()) return;
  for (int i = 0; i < GetCount(); ++i) {
    delete ItemBitmap(i);
    SendMessage(win::LB_SETITEMDATA, win::WPARAM(i), 0);
  }
}

void TBmListBox::ClearList() {
  DeleteAllBitmaps();
  fw::TListBox::ClearList();
}

void TBmListBox::CleanupWindow() {
  DeleteAllBitmaps();
  fw::TListBox::CleanupWindow();
}

void TBmListBox::MeasureItem(win::MEASUREITEMSTRUCT& item) {
  item.itemWidth = 100;
  item.itemHeight = kDefaultItemHeight;
  if (PendingBitmap && HasPixels(*PendingBitmap)) {
    item.itemHeight = win::UINT((*PendingBitmap)->Bitmap->Height());
  } else if (int(item.itemID) >= 0) {
    if (const kxobject::TKxBitmap* bitmap = ItemBitmap(int(item.itemID)); HasPixels(bitmap))
      item.itemHeight = win::UINT(bitmap->Bitmap->Height() + 10);
  }
}

void TBmListBox::DrawItem(win::DRAWITEMSTRUCT& item) {
  win::Dc& dc = *item.hDC;
  const int index = int(item.itemID);
  const int c = win::LOWORD(uintptr_t(win::GetDialogBaseUnits()));
  kxobject::TKxBitmap* bitmap = index >= 0 ? ItemBitmap(index) : nullptr;
  if (!HasPixels(bitmap)) bitmap = nullptr;
  win::RECT text = item.rcItem;
  if (bitmap) text.left += bitmap->Bitmap->Width() + c;
  const bool selected = item.itemState & win::ODS_SELECTED;
  dc.FillRect(text, win::CreateSolidBrush(selected ? win::GetSysColor(win::COLOR_HIGHLIGHT) : dc.Current().bkColor));
  if (bitmap) {
    MemDC->SelectBitmap(bitmap->Bitmap);
    const int h = bitmap->Bitmap->Height();
    win::BitBlt(dc, item.rcItem.left + c / 2, (item.rcItem.top + item.rcItem.bottom - h) / 2, bitmap->Bitmap->Width(), h,
                MemDC.get(), 0, 0, win::SRCCOPY);
  }
  if (item.itemState & win::ODS_FOCUS) dc.DrawFocusRect(text);
  if (index < 0) return;
  const std::string entry = GetString(index);
  const win::COLORREF oldText = selected ? dc.SetTextColor(win::GetSysColor(win::COLOR_HIGHLIGHTTEXT)) : dc.Current().textColor;
  dc.SetBkMode(win::TRANSPARENT);
  text.left += c / 2;
  dc.DrawText(entry, &text, win::DT_SINGLELINE | win::DT_VCENTER);
  dc.SetBkMode(win::OPAQUE);
  dc.SetTextColor(oldText);
}

bool TBmListBox::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_LBUTTONDOWN, &TBmListBox::EvLButtonDown>(),
                                        fw::OnWm<win::WM_MOUSEMOVE, &TBmListBox::EvMouseMove>(),
                                        fw::OnWm<win::WM_LBUTTONUP, &TBmListBox::EvLButtonUp>()};
  return table.Search(e) || fw::TListBox::Find(e);
}

void TBmListBox::EvLButtonDown(win::UINT, win::POINT point) {
  DefaultProcessing();
  DownPos = point;
}

void TBmListBox::EvMouseMove(win::UINT, win::POINT point) {
  DefaultProcessing();
  if (DownPos.x == -1 && DownPos.y == -1) return;
  if (std::abs(point.x - DownPos.x) < kDragDistance && std::abs(point.y - DownPos.y) < kDragDistance) return;
  win::ReleaseCapture();
  DownPos = {-1, -1};
  if (fw::TWindow* parent = GetParent(); parent && parent->GetHandle())
    win::PostMessage(parent->GetHandle(), win::WM_COMMAND, win::MAKEWPARAM(uint16_t(Attr.Id), uint16_t(kDragNotification)),
                     win::LPARAM(GetHandle().id));
}

void TBmListBox::EvLButtonUp(win::UINT, win::POINT) {
  DefaultProcessing();
  win::ReleaseCapture();
  DownPos = {-1, -1};
}

}  // namespace kxctl
