// The tool-bar filter (see toolfilt.h).
#include "runtime/forms/toolfilt.h"

#include <cstring>
#include <vector>

#include "runtime/forms/maskelem.h"
#include "runtime/forms/menufilt.h"
#include "runtime/toolkit/kxfont.h"
#include "runtime/toolkit/kxstring.h"
#include "runtime/toolkit/kxtoolbar.h"

namespace forms {

using kxobject::TKxDib;
using kxstring::StrDup;

namespace {

constexpr int32_t kMinDefBytes = 6;  // id, an empty glyph word, an empty name

std::unique_ptr<TKxDib> ReadOldGlyph(TKxStream& stream) {
  TDeviceBitmapHeader header;
  header.type = int16_t(stream.ReadInt());
  header.width = int16_t(stream.ReadInt());
  header.height = int16_t(stream.ReadInt());
  header.bytesPerRow = int16_t(stream.ReadInt());
  uint8_t bytes[6] = {};
  stream.Read(bytes, 6);
  header.planes = bytes[0];
  header.bitsPerPixel = bytes[1];
  if (stream.Status != 0 || header.width == 0) return nullptr;
  const int64_t size = int64_t(header.bytesPerRow) * header.height;
  if (header.width < 0 || header.height < 0 || header.bytesPerRow < 0 ||
      size > int64_t(stream.GetSize()) - stream.GetPos()) {
    stream.Error(kxobject::kStreamReadError, 0);
    return nullptr;
  }
  std::vector<uint8_t> rows(static_cast<size_t>(size));
  if (size > 0) stream.ReadHuge(rows.data(), uint32_t(size));
  if (stream.Status != 0) return nullptr;
  return DibFromDeviceRows(header, rows.data());
}

std::unique_ptr<TKxDib> ReadGlyph(TKxStream& stream) {
  if (ReadWord(stream) != kGlyphMarker || stream.Status != 0) return nullptr;
  auto glyph = std::make_unique<TKxDib>();
  glyph->ReadBmp(stream);
  if (!glyph->IsOK()) {
    stream.Error(kxobject::kStreamReadError, 0);
    return nullptr;
  }
  return glyph;
}

}  // namespace

std::unique_ptr<TKxDib> DibFromDeviceRows(const TDeviceBitmapHeader& header, const uint8_t* rows) {
  const int bits = header.bitsPerPixel;
  if (header.planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 24) || header.width <= 0 ||
      header.height <= 0 || header.bytesPerRow < (header.width * bits + 7) / 8)
    return nullptr;
  kxobject::DibBuilder builder;
  const uint32_t colors = uint32_t(kxobject::ColorsForBitCount(bits));
  if (builder.Start(header.width, header.height, bits, colors) != 1) return nullptr;
  for (uint32_t i = 0; i < colors; ++i) {
    const kxfont::COLORREF c = bits == 1 ? (i ? 0xFFFFFFu : 0u)
                               : i < 16  ? kxfont::IndexToColor(int32_t(i))
                                         : i * 0x010101u;
    uint8_t* entry = builder.Table() + 4 * i;
    entry[0] = uint8_t(c >> 16);
    entry[1] = uint8_t(c >> 8);
    entry[2] = uint8_t(c);
    entry[3] = 0;
  }
  const size_t rowBytes = size_t(header.width * bits + 7) / 8;
  for (int32_t y = 0; y < header.height; ++y)
    std::memcpy(builder.Row(header.height - 1 - y), rows + size_t(y) * size_t(header.bytesPerRow), rowBytes);
  auto dib = std::make_unique<TKxDib>(builder.Finish(), true);
  return dib->IsOK() ? std::move(dib) : nullptr;
}

TToolDef::TToolDef(int16_t id, std::unique_ptr<TKxDib> glyph, const char* name)
    : Id(id), Glyph(std::move(glyph)), Name(id == -2 ? StrDup(name) : nullptr) {}

TToolDef::TToolDef(const TToolDef& other)
    : Id(other.Id), Glyph(other.HasPicture() ? std::make_unique<TKxDib>(*other.Glyph) : nullptr),
      Name(StrDup(other.Name)) {}

TToolDef::~TToolDef() { delete[] Name; }

void TToolDef::Write(TKxStream& stream) const {
  WriteWord(stream, uint16_t(Id));
  if (HasPicture()) {
    WriteWord(stream, kGlyphMarker);
    Glyph->WriteBmp(stream);
  } else {
    WriteWord(stream, 0);
  }
  stream.WriteString(Name);
}

TToolbarFilter::TToolbarFilter(int32_t limit, int32_t delta) : TFilterCollection(limit, delta) {}

TToolbarFilter::TToolbarFilter(const TToolbarFilter& other) : TToolbarFilter() {
  Unfiltered = other.Unfiltered;
  for (int32_t i = 0; i < other.Count; ++i) AtInsert(Count, new TToolDef(*other.DefAt(i)));
}

TToolbarFilter::TToolbarFilter(const fw::TGadgetWindow& window) : TToolbarFilter() {
  for (fw::TGadget* gadget = window.FirstGadget(); gadget; gadget = window.NextGadget(gadget))
    AtInsert(Count, new TToolDef(int16_t(gadget->GetId()), nullptr, nullptr));
}

void TToolbarFilter::FreeItem(void* item) { delete static_cast<TToolDef*>(item); }

void TToolbarFilter::Read(TKxStream& stream, int16_t version) {
  const int16_t count = ReadCount(stream, kMinDefBytes);
  for (int32_t i = 0; i < count && stream.Status == 0; ++i) {
    const auto id = int16_t(TranslateOldCommandId(ReadWord(stream), version));
    std::unique_ptr<TKxDib> glyph = version >= kToolGlyphVersion ? ReadGlyph(stream) : ReadOldGlyph(stream);
    std::unique_ptr<char[]> name(stream.ReadString());
    if (stream.Status == 0) AtInsert(Count, new TToolDef(id, std::move(glyph), name.get()));
  }
}

int32_t TToolbarFilter::BuildGadgets(fw::TGadgetWindow& window) const {
  if (Unfiltered) return 0;
  auto owned = std::make_unique<fw::TSeparatorGadget>(0);
  fw::TGadget* marker = owned.get();
  window.Insert(std::move(owned), fw::TGadgetWindow::kBefore, window.FirstGadget());
  for (int32_t i = 0; i < Count; ++i) {
    const TToolDef* def = DefAt(i);
    std::unique_ptr<fw::TGadget> gadget;
    if (def->Id == 0) {
      gadget = std::make_unique<kxtoolbar::TKxSeparatorGadget>();
    } else if (!def->HasPicture()) {
      fw::TGadget* standard = window.GadgetWithId(def->Id);
      if (!standard || standard == marker) continue;
      gadget = window.Remove(standard);
    } else {
      gadget = std::make_unique<kxtoolbar::TKxButtonGadget>(def->Id, std::make_unique<TKxDib>(*def->Glyph));
    }
    window.Insert(std::move(gadget), fw::TGadgetWindow::kBefore, marker);
  }
  while (fw::TGadget* rest = window.NextGadget(marker)) window.Remove(rest);
  window.Remove(marker);
  return window.LayoutSession();
}

}  // namespace forms
