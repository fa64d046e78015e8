#include "platform/gdi/region.h"

#include <algorithm>
#include <limits>

namespace win {
namespace {

using Span = Region::Span;
using Band = Region::Band;

// Sorts spans and merges those that overlap or touch.
std::vector<Span> Normalize(std::vector<Span> spans) {
  std::erase_if(spans, [](const Span& s) { return s.left >= s.right; });
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.left < b.left; });
  std::vector<Span> out;
  for (const Span& s : spans) {
    if (!out.empty() && s.left <= out.back().right)
      out.back().right = std::max(out.back().right, s.right);
    else
      out.push_back(s);
  }
  return out;
}

bool Apply(int op, bool inA, bool inB) {
  switch (op) {
    case RGN_AND: return inA && inB;
    case RGN_OR: return inA || inB;
    case RGN_XOR: return inA != inB;
    case RGN_DIFF: return inA && !inB;
    default: return inA;
  }
}

// The columns of one row set by op over two canonical span lists.
std::vector<Span> CombineSpans(const std::vector<Span>& a, const std::vector<Span>& b, int op) {
  std::vector<int32_t> xs;
  xs.reserve(2 * (a.size() + b.size()));
  for (const Span& s : a) xs.insert(xs.end(), {s.left, s.right});
  for (const Span& s : b) xs.insert(xs.end(), {s.left, s.right});
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::vector<Span> out;
  size_t ia = 0, ib = 0;
  for (size_t i = 0; i + 1 < xs.size(); ++i) {
    const int32_t x = xs[i];
    while (ia < a.size() && a[ia].right <= x) ++ia;
    while (ib < b.size() && b[ib].right <= x) ++ib;
    const bool inA = ia < a.size() && a[ia].left <= x;
    const bool inB = ib < b.size() && b[ib].left <= x;
    if (!Apply(op, inA, inB)) continue;
    if (!out.empty() && out.back().right == x)
      out.back().right = xs[i + 1];
    else
      out.push_back({x, xs[i + 1]});
  }
  return out;
}

const std::vector<Span> kNoSpans;

}  // namespace

Region::Region(const RECT& r) {
  if (r.left < r.right && r.top < r.bottom) bands_.push_back({r.top, r.bottom, {{r.left, r.right}}});
}

void Region::AppendBand(int32_t top, int32_t bottom, std::vector<Span>&& spans) {
  if (spans.empty() || top >= bottom) return;
  if (!bands_.empty() && bands_.back().bottom == top && bands_.back().spans == spans) {
    bands_.back().bottom = bottom;
    return;
  }
  bands_.push_back({top, bottom, std::move(spans)});
}

Region Region::FromRows(int32_t top, const std::vector<std::vector<Span>>& rows) {
  Region r;
  for (size_t i = 0; i < rows.size(); ++i) {
    const int32_t y = top + int32_t(i);
    r.AppendBand(y, y + 1, Normalize(rows[i]));
  }
  return r;
}

Region Region::FromBand(int32_t top, int32_t bottom, const std::vector<Span>& spans) {
  Region r;
  r.AppendBand(top, bottom, Normalize(spans));
  return r;
}

int Region::Kind() const {
  if (bands_.empty()) return NULLREGION;
  return bands_.size() == 1 && bands_[0].spans.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RECT Region::Box() const {
  if (bands_.empty()) return {};
  RECT box{std::numeric_limits<int32_t>::max(), bands_.front().top,
           std::numeric_limits<int32_t>::min(), bands_.back().bottom};
  for (const Band& b : bands_) {
    box.left = std::min(box.left, b.spans.front().left);
    box.right = std::max(box.right, b.spans.back().right);
  }
  return box;
}

bool Region::Contains(int32_t x, int32_t y) const {
  auto band = std::upper_bound(bands_.begin(), bands_.end(), y,
                               [](int32_t v, const Band& b) { return v < b.bottom; });
  if (band == bands_.end() || y < band->top) return false;
  auto span = std::upper_bound(band->spans.begin(), band->spans.end(), x,
                               [](int32_t v, const Span& s) { return v < s.right; });
  return span != band->spans.end() && x >= span->left;
}

bool Region::Intersects(const RECT& r) const {
  for (const Band& b : bands_) {
    if (b.bottom <= r.top) continue;
    if (b.top >= r.bottom) break;
    for (const Span& s : b.spans)
      if (s.left < r.right && s.right > r.left) return true;
  }
  return false;
}

void Region::Offset(int32_t dx, int32_t dy) {
  // Coordinates saturate at the ends of the 32-bit range.
  const auto move = [](int32_t v, int32_t d) {
    return int32_t(std::clamp<int64_t>(int64_t(v) + d, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
  };
  for (Band& b : bands_) {
    b.top = move(b.top, dy);
    b.bottom = move(b.bottom, dy);
    for (Span& s : b.spans) {
      s.left = move(s.left, dx);
      s.right = move(s.right, dx);
    }
  }
  // Saturation can squeeze bands or spans to nothing: rebuild the canonical form.
  std::vector<Band> moved = std::move(bands_);
  bands_.clear();
  for (Band& b : moved) {
    std::erase_if(b.spans, [](const Span& s) { return s.left >= s.right; });
    AppendBand(b.top, b.bottom, std::move(b.spans));
  }
}

int Region::Combine(const Region& a, const Region& b, int op) {
  if (op < RGN_AND || op > RGN_COPY) return ERROR_REGION;
  *this = Combined(a, b, op);
  return Kind();
}

Region Region::Combined(const Region& a, const Region& b, int op) {
  if (op == RGN_COPY) return a;
  std::vector<int32_t> ys;
  for (const Band& band : a.bands_) ys.insert(ys.end(), {band.top, band.bottom});
  for (const Band& band : b.bands_) ys.insert(ys.end(), {band.top, band.bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  Region out;
  size_t ia = 0, ib = 0;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    const int32_t y = ys[i];
    while (ia < a.bands_.size() && a.bands_[ia].bottom <= y) ++ia;
    while (ib < b.bands_.size() && b.bands_[ib].bottom <= y) ++ib;
    const auto& sa = ia < a.bands_.size() && a.bands_[ia].top <= y ? a.bands_[ia].spans : kNoSpans;
    const auto& sb = ib < b.bands_.size() && b.bands_[ib].top <= y ? b.bands_[ib].spans : kNoSpans;
    out.AppendBand(y, ys[i + 1], CombineSpans(sa, sb, op));
  }
  return out;
}

}  // namespace win
