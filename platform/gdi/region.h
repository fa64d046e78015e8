// Regions: sets of device pixels kept as y-x bands, the form clipping and the
// shape painters of the drawing layer share.
//
// A region is a list of bands. Each band covers the rows top <= y < bottom
// and, within them, the columns of its spans (left <= x < right).
//
// What always holds (the canonical form; every operation restores it):
//   1. Bands ascend and do not overlap: band[i].bottom <= band[i+1].top.
//   2. A band has at least one span; its spans ascend, are non-empty and
//      neither overlap nor touch (left of the next > right of the one before).
//   3. Two bands that touch vertically (bottom == next top) hold different
//      spans; equal ones are merged into one band.
// Because the form is canonical, two regions cover the same pixels exactly
// when their bands are equal, and the bounding box is the first band's top,
// the last band's bottom and the extreme spans.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/wingdi.h"

namespace win {

class Region {
 public:
  struct Span {
    int32_t left, right;
    friend bool operator==(const Span&, const Span&) = default;
  };
  struct Band {
    int32_t top, bottom;
    std::vector<Span> spans;
    friend bool operator==(const Band&, const Band&) = default;
  };

  Region() = default;
  // The rectangle's pixels; an empty or inverted rectangle gives an empty region.
  explicit Region(const RECT& r);

  // Rows of spans: row y holds rows[y - top]; each row's spans may come in
  // any order and may overlap.
  static Region FromRows(int32_t top, const std::vector<std::vector<Span>>& rows);
  // One band of rows top <= y < bottom; its spans as FromRows takes a row's.
  static Region FromBand(int32_t top, int32_t bottom, const std::vector<Span>& spans);

  bool Empty() const { return bands_.empty(); }
  // NULLREGION, SIMPLEREGION (one rectangle) or COMPLEXREGION.
  int Kind() const;
  RECT Box() const;  // (0,0,0,0) when empty
  bool Contains(int32_t x, int32_t y) const;
  // True when any pixel of r is in the region.
  bool Intersects(const RECT& r) const;
  void Offset(int32_t dx, int32_t dy);
  const std::vector<Band>& Bands() const { return bands_; }

  // Sets *this to a op b (RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY = a)
  // and answers the kind of the result, ERROR_REGION for an unknown op.
  int Combine(const Region& a, const Region& b, int op);
  static Region Combined(const Region& a, const Region& b, int op);

  friend bool operator==(const Region&, const Region&) = default;

 private:
  void AppendBand(int32_t top, int32_t bottom, std::vector<Span>&& spans);
  std::vector<Band> bands_;
};

}  // namespace win
