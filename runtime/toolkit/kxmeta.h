// Metafile pictures (picture type 4): a metafile with its mapping mode and
// extent, read and written on a stream as a placeable metafile, exchanged
// with the clipboard as CF_METAFILEPICT and played into a rectangle.
//
// Placeable metafile header, 22 bytes, little-endian, then the metafile:
//
//   offset  size  field            written                   read
//   0       4     key              0x9AC6CDD7                ignored
//   4       2     handle           0                         ignored
//   6       2     left, signed     0                         width = right - left
//   8       2     top, signed      0                         height = bottom - top
//   10      2     right, signed    cx * 576 / 2540
//   12      2     bottom, signed   cy * 576 / 2540
//   14      2     units per inch   576                       divides the extent
//   16      4     reserved         0                         ignored
//   20      2     checksum         XOR of the words at 0-18  ignored
//
// Products and quotients are MulDiv's (rounded). What always holds:
//   1. Status is 1 exactly when Pict holds a metafile; then its extent is in
//      hundredths of a millimetre and its map mode is MM_ANISOTROPIC (8)
//      after reading.
//   2. The reader takes exactly the metafile's own length (its header's
//      size), never "the rest of the stream", since pictures also stand in
//      the middle of stored documents; it stops at the stream's end. A header
//      with 0 units per inch, or data that is no whole metafile, leaves
//      Status 0 (the stream is left after what was read).
//   3. The writer writes the header and exactly the metafile's bytes.
//   4. Draw on a DC that records a metafile (the print preview) draws only a
//      frame and a notice; the picture itself is played elsewhere within a
//      saved state, so the DC's state is unchanged afterwards.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/gdi/dc.h"
#include "platform/gdi/wmf/metafile.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace kxobject {

// The framework's metafile picture: a metafile handle (owned) with a map
// mode and an extent.
struct TMetaFilePict {
  TMetaFilePict(win::wmf::HMETAFILE handle, int16_t mm, int16_t cx, int16_t cy)
      : Handle(handle), MapMode(mm), Cx(cx), Cy(cy) {}
  ~TMetaFilePict() { win::wmf::DeleteMetaFile(Handle); }
  TMetaFilePict(const TMetaFilePict&) = delete;
  TMetaFilePict& operator=(const TMetaFilePict&) = delete;
  win::wmf::HMETAFILE Handle;
  int16_t MapMode, Cx, Cy;
};

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr int kPlaceableHeaderSize = 22;
constexpr int kMetaUnitsPerInch = 576;

class TMetaFile : public TKxObject {
 public:
  TMetaFile() = default;
  TMetaFile(const TMetaFile& other);
  explicit TMetaFile(TKxStream& stream);
  // Takes a recorded metafile (e.g. TMetaDC::Close) with its extent.
  TMetaFile(win::wmf::HMETAFILE handle, int16_t cx, int16_t cy);
  TMetaFile& operator=(const TMetaFile&) = delete;

  void Write(TKxStream& stream) const;
  uint32_t GetStreamSize() const;
  int CopyToClipboard() const;
  int PasteFromClipboard();
  void GetInfo(int16_t& mapMode, int16_t& cx, int16_t& cy) const;
  void Draw(win::Dc& reference, win::Dc& output, win::RECT& rect, int16_t mode) const;

  int16_t Status = 0;
  std::unique_ptr<TMetaFilePict> Pict;
};

}  // namespace kxobject
