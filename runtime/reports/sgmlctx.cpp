#include "runtime/reports/sgmlctx.h"

#include <array>
#include <utility>

#include "platform/win/window.h"
#include "platform/win/winuser.h"
#include "runtime/reports/formtext.h"

namespace reports {

TSgmlContext::TSgmlContext(const char* name) : Name(name ? name : "") {}

TSgmlContext::~TSgmlContext() = default;

kxfont::TKxFormat* TSgmlContext::GetFormat(int index) const {
  return index >= 0 && index < Formats.Count() ? Formats.At(index) : nullptr;
}

void TSgmlContext::AddFormat(std::unique_ptr<kxfont::TKxFormat> format) { Formats.Insert(format.release()); }

void TSgmlContext::EndDocument() {
  if (SelectedFormat >= 0) SelectFormat(-1);
}

void TSgmlContext::BeginListItem(int level) {
  while (ListDepth < level) BeginList();
}

void TSgmlContext::SetLink(const char* target, const char* fragment) {
  LinkPending = true;
  LinkTarget.Assign(target ? target : "", -1);
  LinkFragment.Assign(fragment ? fragment : "", -1);
}

void TSgmlContext::EndLink() {
  LinkTarget.Clear();
  LinkFragment.Clear();
}

void TSgmlContext::SetAnchor(const char* name) {
  AnchorPending = true;
  AnchorName.Assign(name ? name : "", -1);
}

bool TSgmlContext::MoveTo(int x, int y) {
  CurrentX = x;
  CurrentY = y;
  return false;
}

namespace {

constexpr TColor kWhite = 0xFFFFFF, kGrey = 0x808080, kBlack = 0;

struct FramePens {
  win::Pen topLeft, bottomRight;
};

// The bevel (or, for styles 7 and 8, the bottom edge) of one frame.
void DrawFrameEdges(TSgmlContext& context, const TRect& r, int style, const FramePens& pens) {
  if (style == 7 || style == 8) {
    context.SelectPen(pens.bottomRight);
    context.MoveTo(r.left, r.bottom);
    context.LineTo(r.right, r.bottom);
  } else {
    context.SelectPen(pens.topLeft);
    context.MoveTo(r.left, r.bottom);
    context.LineTo(r.left, r.top);
    context.LineTo(r.right, r.top);
    context.SelectPen(pens.bottomRight);
    context.LineTo(r.right, r.bottom);
    context.LineTo(r.left, r.bottom);
  }
  context.SelectStockObject(kxobject::kBlackPen);
}

FramePens OuterPens(int style, TColor color, bool flat) {
  auto one = [](win::Pen pen) { return FramePens{pen, pen}; };
  if (style < 1) return one(win::CreatePen(win::PS_DOT, 1, color));
  if (flat) return one(win::CreatePen(win::PS_SOLID, 0, kBlack));
  if (style >= 5 && style <= 8) return one(win::CreatePen(win::PS_SOLID, 0, color));
  auto two = [](TColor a, TColor b) {
    return FramePens{win::CreatePen(win::PS_SOLID, 0, a), win::CreatePen(win::PS_SOLID, 0, b)};
  };
  if (style <= 4) return style % 2 == 0 ? two(kWhite, kGrey) : two(kGrey, kWhite);
  if (style == 9 || style == 10) return two(kGrey, kWhite);
  return two(kWhite, kGrey);
}

bool HasInnerFrame(int style) {
  switch (style) {
    case 3: case 4: case 6: case 8: case 9: case 10: case 11: return true;
    default: return false;
  }
}

// Moves the rectangle's edges by device units (dl, dt, dr, db) and back.
TRect MoveInDevice(TSgmlContext& context, const TRect& r, int dl, int dt, int dr, int db) {
  std::array<win::POINT, 2> points{{{r.left, r.top}, {r.right, r.bottom}}};
  context.LPtoDP(points.data(), 2);
  points[0].x += dl;
  points[0].y += dt;
  points[1].x += dr;
  points[1].y += db;
  context.DPtoLP(points.data(), 2);
  return {points[0].x, points[0].y, points[1].x, points[1].y};
}

}  // namespace

void DrawFrame3D(TSgmlContext& context, const TRect& rect, int style, TColor color, bool flat) {
  FramePens pens = OuterPens(style, color, flat);
  TRect outer = MoveInDevice(context, rect, 0, 0, -1, -1);
  DrawFrameEdges(context, outer, style, pens);
  if (!HasInnerFrame(style)) return;
  int side = style == 8 ? 0 : 1;
  TRect inner = MoveInDevice(context, outer, side, 1, -side, -1);
  if (style == 9) {
    pens = {win::CreatePen(win::PS_SOLID, 0, kBlack), win::CreatePen(win::PS_SOLID, 0, win::GetSysColor(win::COLOR_BTNFACE))};
  } else if (style == 10 || style == 11) {
    std::swap(pens.topLeft, pens.bottomRight);
  }
  DrawFrameEdges(context, inner, style, pens);
}

}  // namespace reports
