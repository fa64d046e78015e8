// The tool-bar filter of a form: the buttons of the main window's tool bar
// while the form is active, in their new order; each a standard button by
// command id, a separator, or a button with a picture of its own.
//
// What always holds:
//   1. The filter owns its definitions; a definition owns its glyph (a DIB,
//      or none: then the standard button with its id is meant) and its
//      command name, which only an additional command (id -2) keeps.
//   2. Reading never trusts the file: a count below -1 or one whose buttons
//      cannot fit in the bytes left, an old bitmap whose rows do not fit in
//      the bytes left, a negative size, or a glyph the picture reader
//      refuses mark the stream failed before anything is allocated by them.
//      Ids from files before version 19 are translated like the menu
//      filter's.
//   3. Writing always gives the current layout: id, then 99 and the picture
//      for a glyph that holds one, else 0, then the name.
//   4. BuildGadgets leaves exactly the filter's buttons in the tool bar, in
//      the filter's order: standard buttons the filter names are moved (a
//      missing one is skipped), the others are deleted.
//
// The record: count i16 (-1 unfiltered); per button: id u16; from version
// 17 a glyph marker u16 (99: a BMP image follows), before it a 14-byte
// device bitmap header (type, width, height, bytes per row i16; planes,
// bits per pixel u8; 4 unused bytes) and, for a width other than 0, its
// rows (top row first); then the command name string.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/framework/gadgets.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/forms/menufilt.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace forms {

using kxobject::TKxStream;

constexpr uint16_t kGlyphMarker = 99;
constexpr int16_t kToolGlyphVersion = 17;  // the DIB layout from this version

// The header of an old device bitmap.
struct TDeviceBitmapHeader {
  int16_t type = 0, width = 0, height = 0, bytesPerRow = 0;
  uint8_t planes = 1, bitsPerPixel = 1;
};

// A DIB of a device bitmap's rows (top row first, bytesPerRow each): one
// plane of 1, 4, 8 or 24 bits per pixel, device colours taken as the 16
// standard colours (then greys). Null for any other layout or size.
std::unique_ptr<kxobject::TKxDib> DibFromDeviceRows(const TDeviceBitmapHeader& header, const uint8_t* rows);

class TToolDef : public kxobject::TKxObject {
 public:
  TToolDef(int16_t id, std::unique_ptr<kxobject::TKxDib> glyph, const char* name);
  TToolDef(const TToolDef& other);
  TToolDef& operator=(const TToolDef&) = delete;
  ~TToolDef() override;

  virtual void Write(TKxStream& stream) const;
  bool HasPicture() const { return Glyph && Glyph->IsOK(); }

  int16_t Id;
  std::unique_ptr<kxobject::TKxDib> Glyph;
  char* Name = nullptr;
};

class TToolbarFilter : public TFilterCollection {
 public:
  explicit TToolbarFilter(int32_t limit = 10, int32_t delta = 10);
  TToolbarFilter(const TToolbarFilter& other);
  // One definition per gadget, in order (its id); unfiltered.
  explicit TToolbarFilter(const fw::TGadgetWindow& window);
  ~TToolbarFilter() override { FreeAll(); }

  void FreeItem(void* item) override;
  virtual void Read(TKxStream& stream, int16_t version);

  TToolDef* DefAt(int32_t index) const { return static_cast<TToolDef*>(At(index)); }

  // Filtered only: rebuilds the window's gadgets and lays it out again;
  // answers the layout's result (0 when unfiltered).
  int32_t BuildGadgets(fw::TGadgetWindow& window) const;

 private:
  void WriteItem(TKxStream& stream, int32_t index) const override { DefAt(index)->Write(stream); }
};

}  // namespace forms
