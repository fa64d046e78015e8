// Form pages and group pages (see maskpage.h).
#include "runtime/forms/maskpage.h"

#include <cstdio>
#include <cstring>

#include "engine/interface/include/zetcore.h"
#include "runtime/dataviews/datasrc.h"
#include "runtime/forms/mask.h"
#include "runtime/reports/sgmlctx.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrFree;

namespace {

constexpr int kBlackPen = 7;

// Width classes of the page kinds: 0 none; A, B, C as 1, 2, 3.
int WidthClass(uint16_t kind) {
  static const int classes[8] = {3, 3, 2, 2, 1, 1, 0, 0};
  return kind < 8 ? classes[kind] : 0;
}

// Names compare without case on their first 255 characters.
bool SameName(const char* a, const char* b) {
  char x[256], y[256];
  kxstring::StrLCopy(x, a, 255);
  kxstring::StrLCopy(y, b, 255);
  return kxstring::StrEqualNoCase(x, y);
}

void Line(reports::TSgmlContext& context, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  context.MoveTo(x1, y1);
  context.LineTo(x2, y2);
}

}  // namespace

TMaskPage::TMaskPage(TMask* owner) : kxobject::TKxCollection(10, 10), Owner(owner) {}

TMaskPage::TMaskPage(TMask* owner, bool) : TMaskPage(owner) {
  Color = 0;
  Width = Height = 0;
}

TMaskPage::~TMaskPage() {
  StrFree(Selection);
  StrFree(Caption);
  FreeAll();
}

void TMaskPage::Error(int code, int32_t info) {
  char text[80];
  std::snprintf(text, sizeof text, "Mask page error: Code=%d, Info=%d.", code, int(info));
  throw kxobject::xmsg(text);
}

void TMaskPage::FreeItem(void* item) { delete static_cast<TMaskElement*>(item); }

void TMaskPage::ForEachElement(ElementAction action, void* arg) {
  for (int32_t i = 0; i < Count; ++i) action(ElementAt(i), arg);
}

void TMaskPage::Layout(TRect* out) {
  if (PageMode != kPageFlow) {
    if (out) *out = TRect{};
    return;
  }
  int32_t x = Margin;
  for (int32_t i = 0; i < Count; ++i) {
    TMaskElement* element = ElementAt(i);
    TRect r;
    element->GetBounds(r);
    element->SetBounds(x, r.top, x + r.right - r.left, r.bottom);
    x = Margin + x + r.right - r.left;
  }
  if (out) *out = TRect{0, 0, Width, Height};
}

void TMaskPage::MakeAbsolute(const char* base) {
  for (int32_t i = 0; i < Count; ++i) ElementAt(i)->MakeAbsolute(base);
}

void TMaskPage::MakeRelative(const char* base) {
  for (int32_t i = 0; i < Count; ++i) ElementAt(i)->MakeRelative(base);
}

void TMaskPage::PrepareSelection(dataviews::TDataSource* source) {
  std::memset(SelectionTokens, 0, sizeof SelectionTokens);
  if (source && Selection) source->Tokenize(SelectionTokens, Selection);
}

int32_t TMaskPage::Read(TKxStream& stream, int16_t version) {
  StrFree(Caption);
  Caption = version >= 20 ? stream.ReadString() : nullptr;
  const kxobject::TSize size = stream.ReadSize();
  Width = size.cx;
  Height = size.cy;
  Color = ReadLong(stream);
  PageMode = kPageFree;
  Margin = GetDefaultMargin();
  if (version >= 21) {
    PageMode = ReadWord(stream);
    Margin = ReadWord(stream);
  }
  StrFree(Selection);
  Selection = version >= 25 ? stream.ReadString() : nullptr;
  Flag = 0;
  if (version > 34) stream.Read(&Flag, 1);
  return stream.Status;
}

void TMaskPage::Write(TKxStream& stream) const {
  WriteWord(stream, Kind);
  stream.WriteString(Caption);
  stream.WriteSize(kxobject::TSize{Width, Height});
  WriteLong(stream, uint32_t(Color));
  WriteWord(stream, PageMode);
  WriteWord(stream, Margin);
  stream.WriteString(Selection);
  stream.Write(&Flag, 1);
}

void TMaskPage::SetCaption(const char* caption) { kxstring::StrReplaceDup(Caption, caption); }

void TMaskPage::SetSelection(const char* text) { kxstring::StrReplaceDup(Selection, text); }

int32_t TMaskPage::EvalSelection() const {
  dataviews::TDataSource* source = Owner ? Owner->GetDataSource() : nullptr;
  return ZetEvalSelection(source ? source->GetTableHandle() : 0, SelectionTokens);
}

void TMaskPage::SetPageMode(uint16_t mode) {
  if (mode == PageMode) return;
  PageMode = mode;
  if (mode == kPageFlow && Count > 0) {
    TRect r;
    ElementAt(0)->GetBounds(r);
    MoveElement(ElementAt(0), r, nullptr);
  }
}

void TMaskPage::FitWidthToElements() {
  if (PageMode != kPageFlow) return;
  if (Count == 0) {
    Width = 0;
    return;
  }
  TRect r;
  ElementAt(Count - 1)->GetBounds(r);
  Width = Margin + r.right;
}

void TMaskPage::InsertElement(int32_t index, TMaskElement* element) {
  if (index >= 0 && index < Count)
    AtInsert(index, element);
  else
    AtInsert(Count, element);
  element->SetOwner(this);
  TRect r;
  element->GetBounds(r);
  MoveElement(element, r, nullptr);
}

TMaskElement* TMaskPage::RemoveElement(int32_t index) {
  if (index < 0 || index >= Count) return nullptr;
  TMaskElement* element = ElementAt(index);
  AtDelete(index);
  if (PageMode == kPageFlow && index < Count) {
    TRect gone, next;
    element->GetBounds(gone);
    TMaskElement* follower = ElementAt(index);
    follower->GetBounds(next);
    const int32_t dx = gone.left - next.left, dy = gone.top - next.top;
    MoveElement(follower, TRect{next.left + dx, next.top + dy, next.right + dx, next.bottom + dy}, nullptr);
  }
  return element;
}

void TMaskPage::MoveElement(TMaskElement* element, const TRect& bounds, TRect* repaint) {
  if (PageMode != kPageFlow) {
    if (repaint) element->GetBounds(*repaint);
    element->SetBounds(bounds.left, bounds.top, bounds.right, bounds.bottom);
    if (repaint)
      *repaint = TRect{std::min(repaint->left, bounds.left), std::min(repaint->top, bounds.top),
                       std::max(repaint->right, bounds.right), std::max(repaint->bottom, bounds.bottom)};
    return;
  }
  const int32_t at = IndexOf(element);
  if (at >= 0) AtDelete(at);
  int32_t index = 0;
  for (; index < Count; ++index) {
    TRect r;
    ElementAt(index)->GetBounds(r);
    if (r.left >= bounds.left) break;
  }
  AtInsert(index, element);
  element->SetBounds(bounds.left, bounds.top, bounds.right, bounds.bottom);
  if (index > 0) {
    TMaskElement* before = ElementAt(index - 1);
    TRect r;
    before->GetBounds(r);
    before->SetBounds(r.left, r.top, bounds.left - Margin, r.bottom);
  }
  for (int32_t i = 0; i < Count; ++i) {
    TRect r;
    ElementAt(i)->GetBounds(r);
    ElementAt(i)->SetBounds(r.left, bounds.top, r.right, bounds.top + r.bottom - r.top);
  }
  Layout(repaint);
}

TMaskElement* TMaskPage::FindElementByName(const char* name) const {
  for (int32_t i = 0; i < Count; ++i) {
    const char* own = ElementAt(i)->GetName();
    if (own && name && SameName(own, name)) return ElementAt(i);
  }
  return nullptr;
}

bool TMaskPage::SharesHeight(uint16_t kindA, uint16_t kindB, uint16_t printMode) {
  if (kindA == kindB || printMode >= 4) return true;
  const auto border = [](uint16_t k) { return k == kPageLeftBorder || k == kPageRightBorder; };
  return border(kindA) && border(kindB);
}

bool TMaskPage::SharesWidth(uint16_t kindA, uint16_t kindB, uint16_t printMode) {
  if (kindA == kindB || printMode >= 4) return true;
  const int a = std::min(WidthClass(kindA), WidthClass(kindB)), b = std::max(WidthClass(kindA), WidthClass(kindB));
  if (a == 0) return false;
  if (a == b) return true;
  if (a == 1 && b == 2) return printMode == 1 || printMode == 3;  // A with B
  if (a == 2 && b == 3) return printMode == 2 || printMode == 3;  // B with C
  return printMode == 3;                                          // A with C
}

int32_t TMaskPage::GridBetween(const TMaskElement& a, const TMaskElement& b) {
  TRect ra, rb;
  a.GetBounds(ra);
  b.GetBounds(rb);
  return (ra.right + rb.left) / 2;
}

void TMaskPage::Paint(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, const TRect& clip,
                      bool drawElements, uint8_t style, bool design) {
  if (PageMode == kPageFlow) {
    Line(context, 0, 0, 0, Height);
    for (int32_t i = 0; i + 1 < Count; ++i) {
      const int32_t gx = GridBetween(*ElementAt(i), *ElementAt(i + 1));
      Line(context, gx, 0, gx, Height);
    }
    Line(context, Width, 0, Width, Height);
    Line(context, 0, 0, Width, 0);
    Line(context, 0, Height, Width, Height);
  }
  if (!drawElements) return;
  for (int32_t i = 0; i < Count; ++i) {
    TRect r;
    ElementAt(i)->GetBounds(r);
    if (r.left < clip.right && clip.left < r.right && r.top < clip.bottom && clip.top < r.bottom) {
      TPoint ignored;
      ElementAt(i)->Draw(context, x, y, ignored, true, style, design);
    }
  }
  extent = TPoint{x + Width, y + Height};
}

void TMaskPage::Print(reports::TSgmlContext& context, int32_t& index, TPrintParams& params) {
  if (index > 0 && index < Count) {
    TRect r;
    ElementAt(index)->GetBounds(r);
    params.Top -= r.top;
  }
  const int32_t left = params.Left, top = params.Top, right = params.Right, bottom = params.Bottom;
  const bool flow = PageMode == kPageFlow;
  if (flow) context.BeginRow();
  while (index < Count) {
    TMaskElement* element = ElementAt(index);
    TRect r;
    element->GetBounds(r);
    if (params.Top + r.bottom > bottom) break;
    params.Right = right;
    params.Bottom = bottom;
    if (flow) context.BeginCell(Width > 0 ? (r.right - r.left) * 100 / Width : 0);
    element->Print(context, params);
    if (flow) context.EndCell();
    if (params.Bottom > params.Top + r.bottom) params.Top += params.Bottom - (params.Top + r.bottom);
    if (params.Continuation) break;
    ++index;
  }
  if (flow) context.EndRow();
  params.Right = params.Left + Width;
  if (!params.Continuation) params.Bottom = params.Top + Height;
  if (!flow) return;
  context.SelectStockObject(kBlackPen);
  Line(context, left, top, left, params.Bottom);
  for (int32_t i = 0; i + 1 < Count; ++i) {
    const int32_t gx = left + GridBetween(*ElementAt(i), *ElementAt(i + 1));
    Line(context, gx, top + 0, gx, params.Bottom);
  }
  Line(context, params.Right, top, params.Right, params.Bottom);
  Line(context, left, top, params.Right, top);
  Line(context, left, params.Bottom, params.Right, params.Bottom);
}

// --- TGroupPage ---

TGroupPage::TGroupPage(TMask* owner) : TMaskPage(owner) { Kind = kPageGroup; }

TGroupPage::TGroupPage(TMask* owner, bool forReading) : TMaskPage(owner, forReading) { Kind = kPageGroup; }

TGroupPage::~TGroupPage() { StrFree(GroupExpression); }

void TGroupPage::PrepareSelection(dataviews::TDataSource* source) {
  TMaskPage::PrepareSelection(source);
  std::memset(GroupTokens, 0, sizeof GroupTokens);
  if (source && GroupExpression) source->Tokenize(GroupTokens, GroupExpression);
}

int32_t TGroupPage::Read(TKxStream& stream, int16_t version) {
  TMaskPage::Read(stream, version);
  StrFree(GroupExpression);
  GroupExpression = stream.ReadString();
  std::memset(GroupTokens, 0, sizeof GroupTokens);
  return stream.Status;
}

void TGroupPage::Write(TKxStream& stream) const {
  TMaskPage::Write(stream);
  stream.WriteString(GroupExpression);
}

char* TGroupPage::GetGroupExpression(char* buffer, int32_t size) const {
  return kxstring::StrLCopyOrEmpty(buffer, GroupExpression, size);
}

void TGroupPage::SetGroupExpression(const char* text) { kxstring::StrReplaceDup(GroupExpression, text); }

int32_t TGroupPage::SolveExpression(char* out, int32_t size) {
  if (!Owner) return -1;
  return Owner->Solve(GroupTokens, out, size, 3);
}

}  // namespace forms
