// Bitmap buttons and list-transfer buttons (see kxbtns.h).
#include "runtime/toolkit/kxbtns.h"

#include <algorithm>

namespace kxctl {

namespace {

constexpr win::DWORD kBsOwnerDraw = 0xB;

constexpr win::COLORREF kGray = win::RGB(128, 128, 128);

void Polyline3(win::Dc& dc, const win::Pen& pen, win::POINT a, win::POINT b, win::POINT c) {
  dc.SelectPen(pen);
  dc.MoveToEx(a.x, a.y);
  dc.LineTo(b.x, b.y);
  dc.LineTo(c.x, c.y);
}

std::unique_ptr<kxobject::TKxBitmap> LoadBitmap(int bitmapId) {
  if (bitmapId == 0) return nullptr;
  const kxobject::TKxDib dib(kxobject::TKxDib::FromResource{}, platform::ResId(uint32_t(bitmapId)));
  return std::make_unique<kxobject::TKxBitmap>(dib, nullptr);
}

// Draws bitmap at (x, y) on dc with its top-left colour transparent, through
// a monochrome mask; the bitmap gets its pixels back at the end.
void DrawTransparent(win::Dc& dc, const std::shared_ptr<win::Bitmap>& bitmap, int x, int y) {
  const int w = bitmap->Width(), h = bitmap->Height();
  auto memory = win::Dc::CreateCompatible(&dc);
  memory->SelectBitmap(bitmap);
  const win::COLORREF transparent = memory->GetPixel(0, 0);
  auto maskDc = win::Dc::CreateCompatible(&dc);
  maskDc->SelectBitmap(win::CreateBitmap(w, h, 1));
  memory->SetBkColor(transparent);
  win::BitBlt(*maskDc, 0, 0, w, h, memory.get(), 0, 0, win::SRCCOPY);
  memory->SetBkColor(win::RGB(0, 0, 0));
  memory->SetTextColor(win::RGB(255, 255, 255));
  win::BitBlt(*memory, 0, 0, w, h, maskDc.get(), 0, 0, win::SRCAND);
  const win::COLORREF oldBk = dc.SetBkColor(win::RGB(255, 255, 255));
  const win::COLORREF oldText = dc.SetTextColor(win::RGB(0, 0, 0));
  win::BitBlt(dc, x, y, w, h, maskDc.get(), 0, 0, win::SRCAND);
  win::BitBlt(dc, x, y, w, h, memory.get(), 0, 0, win::SRCPAINT);
  dc.SetBkColor(oldBk);
  dc.SetTextColor(oldText);
  memory->SetBkColor(transparent);
  memory->SetTextColor(win::RGB(0, 0, 0));
  win::BitBlt(*memory, 0, 0, w, h, maskDc.get(), 0, 0, win::SRCPAINT);
}

}  // namespace

void DrawFrame(const TFrameRec& f, win::Dc& dc) {
  const bool raised = f.state == 1 || f.state == 2;
  if (!raised && f.state != 0 && f.state != 3) return;
  const int x = f.x, y = f.y, r = f.x + f.width - 1, b = f.y + f.height - 1;
  const win::Pen white = win::CreatePen(win::PS_SOLID, 0, win::RGB(255, 255, 255));
  const win::Pen black = win::CreatePen(win::PS_SOLID, 0, win::RGB(0, 0, 0));
  const win::Pen old = dc.Current().pen;
  Polyline3(dc, raised ? white : black, {x, b}, {x, y}, {r, y});
  Polyline3(dc, raised ? black : white, {x, b}, {r, b}, {r, y});
  if (raised) Polyline3(dc, win::CreatePen(win::PS_SOLID, 1, kGray), {x + 1, b - 1}, {r - 1, b - 1}, {r - 1, y + 1});
  else Polyline3(dc, win::CreatePen(win::PS_SOLID, 1, kGray), {x + 1, b - 1}, {x + 1, y + 1}, {r - 1, y + 1});
  dc.SelectPen(old);
}

// --- TBitmapButton ---

TBitmapButton::TBitmapButton(fw::TWindow* parent, int id, const char* text, int x, int y, int w, int h,
                             int bitmapId, bool isDefault)
    : fw::TButton(parent, id, text, x, y, w, h, isDefault), Bitmap(LoadBitmap(bitmapId)) {
  Attr.Style = (Attr.Style & ~win::BS_TYPEMASK) | kBsOwnerDraw;
}

TBitmapButton::TBitmapButton(fw::TWindow* parent, int resourceId, int bitmapId)
    : fw::TButton(parent, resourceId), Bitmap(LoadBitmap(bitmapId)) {}

bool TBitmapButton::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{fw::OnWm<win::WM_LBUTTONDBLCLK, &TBitmapButton::EvLButtonDblClk>(),
                                        fw::OnWm<win::WM_PAINT, &TBitmapButton::EvPaint>()};
  return table.Search(e) || fw::TButton::Find(e);
}

void TBitmapButton::EvLButtonDblClk(win::UINT modifiers, win::POINT point) {
  win::PostMessage(GetHandle(), win::WM_LBUTTONDOWN, modifiers,
                   win::MAKELPARAM(uint16_t(point.x), uint16_t(point.y)));
}

void TBitmapButton::EvPaint() {
  win::PAINTSTRUCT ps;
  if (win::Dc* dc = win::BeginPaint(GetHandle(), &ps)) {
    win::DRAWITEMSTRUCT item;
    item.CtlType = win::ODT_BUTTON;
    item.CtlID = win::UINT(Attr.Id);
    item.itemAction = win::ODA_DRAWENTIRE;
    item.hwndItem = GetHandle();
    item.hDC = dc;
    win::GetClientRect(GetHandle(), &item.rcItem);
    const win::LRESULT state = SendMessage(win::BM_GETSTATE);
    if (state & win::BST_PUSHED) item.itemState |= win::ODS_SELECTED;
    if (win::GetFocus() == GetHandle()) item.itemState |= win::ODS_FOCUS;
    if (!win::IsWindowEnabled(GetHandle())) item.itemState |= win::ODS_DISABLED;
    DrawItem(item);
  }
  win::EndPaint(GetHandle(), &ps);
}

void TBitmapButton::DrawItem(win::DRAWITEMSTRUCT& item) {
  win::Dc& dc = *item.hDC;
  win::RECT r = item.rcItem;
  const win::Pen oldPen = dc.SelectPen(win::NullPen());
  const win::Brush oldBrush = dc.SelectBrush(win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNFACE)));
  dc.Rectangle(r.left, r.top, r.right, r.bottom);
  const bool selected = item.itemState & win::ODS_SELECTED;
  DrawFrame({int16_t(r.left), int16_t(r.top), int16_t(r.right - r.left), int16_t(r.bottom - r.top),
             int16_t(selected ? 0 : 1)},
            dc);
  if (selected) r = {r.left + 2, r.top + 2, r.right + 2, r.bottom + 2};
  if (Bitmap && Bitmap->Bitmap) {
    const int x = r.left + (r.right - r.left - Bitmap->Bitmap->Width()) / 2;
    const int y = r.top + (r.bottom - r.top - Bitmap->Bitmap->Height()) / 2;
    DrawTransparent(dc, Bitmap->Bitmap, x, y);
  }
  if (item.itemState & win::ODS_FOCUS) {
    dc.SelectPen(win::CreatePen(win::PS_SOLID, 0, win::RGB(0, 0, 0)));
    dc.SelectBrush(win::CreateSolidBrush(win::RGB(255, 255, 255)));
    dc.DrawFocusRect({item.rcItem.left + 2, item.rcItem.top + 2, item.rcItem.right - 2, item.rcItem.bottom - 2});
  }
  dc.SelectPen(oldPen);
  dc.SelectBrush(oldBrush);
}

// --- the list moves ---

void MoveListEntries(TListMove move, TListSide& source, TListSide& target) {
  switch (move) {
    case TListMove::Insert: {
      const std::vector<int> moved = source.Selected();
      if (source.Count() == 0 || moved.empty()) return;
      const std::vector<int> marked = target.Selected();
      const int at = marked.empty() ? 0 : marked.back();
      for (size_t i = 0; i < moved.size(); ++i) target.Insert(at + int(i), source.Text(moved[i]));
      for (auto it = moved.rbegin(); it != moved.rend(); ++it) source.Delete(*it);
      if (source.Count() > 0) source.SelectOnly(std::min(moved.back(), source.Count() - 1));
      if (target.Count() > 0) target.SelectOnly(at + int(moved.size()));
      return;
    }
    case TListMove::InsertAll:
      for (int i = 0; i < source.Count(); ++i) target.Insert(target.Count() - 1, source.Text(i));
      if (target.Count() > 0) {
        source.Clear();
        target.AddToSelection(0);
      }
      return;
    case TListMove::Delete: {
      const std::vector<int> marked = target.Selected();
      if (marked.empty()) return;
      for (auto it = marked.rbegin(); it != marked.rend(); ++it) {
        const std::string text = target.Text(*it);
        if (text.empty()) continue;
        target.Delete(*it);
        source.Add(text);
      }
      if (target.Count() > 0) target.AddToSelection(std::min(marked.front(), target.Count() - 1));
      return;
    }
    case TListMove::DeleteAll:
      for (int i = 0; i < target.Count(); ++i)
        if (std::string text = target.Text(i); !text.empty()) source.Add(text);
      if (source.Count() > 0) {
        target.Clear();
        target.Add("");
        source.AddToSelection(0);
      }
      return;
  }
}

bool TListBoxSide::Multiple() const {
  return win::GetWindowLongPtr(list_.GetHandle(), win::GWL_STYLE) & (win::LBS_MULTIPLESEL | win::LBS_EXTENDEDSEL);
}

int TListBoxSide::Count() const { return list_.GetCount(); }
std::string TListBoxSide::Text(int index) const { return list_.GetString(index); }

std::vector<int> TListBoxSide::Selected() const {
  if (!Multiple()) {
    const int current = list_.GetSelIndex();
    return current < 0 ? std::vector<int>{} : std::vector<int>{current};
  }
  const win::LRESULT n = win::SendMessage(list_.GetHandle(), win::LB_GETSELCOUNT);
  if (n <= 0) return {};
  std::vector<int> items(static_cast<size_t>(n));
  const win::LRESULT got = win::SendMessage(list_.GetHandle(), win::LB_GETSELITEMS, win::WPARAM(n),
                                            reinterpret_cast<win::LPARAM>(items.data()));
  items.resize(size_t(std::clamp<win::LRESULT>(got, 0, n)));
  std::sort(items.begin(), items.end());
  return items;
}

void TListBoxSide::Insert(int index, const std::string& text) {
  win::SendMessage(list_.GetHandle(), win::LB_INSERTSTRING, win::WPARAM(intptr_t(index)),
                   reinterpret_cast<win::LPARAM>(text.c_str()));
}

void TListBoxSide::Add(const std::string& text) { list_.AddString(text.c_str()); }
void TListBoxSide::Delete(int index) { win::SendMessage(list_.GetHandle(), win::LB_DELETESTRING, win::WPARAM(index)); }
void TListBoxSide::Clear() { list_.ClearList(); }

void TListBoxSide::SelectOnly(int index) {
  if (!Multiple()) {
    list_.SetSelIndex(index);
    return;
  }
  win::SendMessage(list_.GetHandle(), win::LB_SETSEL, 0, -1);
  AddToSelection(index);
}

void TListBoxSide::AddToSelection(int index) {
  if (!Multiple()) list_.SetSelIndex(index);
  else win::SendMessage(list_.GetHandle(), win::LB_SETSEL, 1, index);
}

void TListBoxButton::Move(TListMove move) {
  if (!SourceList || !TargetList) return;
  TListBoxSide source(*SourceList), target(*TargetList);
  MoveListEntries(move, source, target);
}

}  // namespace kxctl
