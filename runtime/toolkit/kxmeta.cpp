#include "runtime/toolkit/kxmeta.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/clipboard.h"
#include "platform/gdi/wmf/records.h"

namespace kxobject {

namespace {

// Rounds a fitted edge to the 16-bit coordinates the picture keeps; a
// picture whose stored extent is far from the box's shape would otherwise
// give an edge no coordinate can hold, so the edge stops at the limit.
int16_t RoundedEdge(double edge) {
  return int16_t(std::clamp(std::floor(edge + 0.5), -32768.0, 32767.0));
}

const win::wmf::HMETAFILE kNone = 0;

int16_t Get16(const uint8_t* b, size_t at) { return int16_t(b[at] | b[at + 1] << 8); }

}  // namespace

TMetaFile::TMetaFile(const TMetaFile& other) : TKxObject(), Status(other.Status) {
  if (other.Pict)
    Pict = std::make_unique<TMetaFilePict>(win::wmf::CopyMetaFile(other.Pict->Handle), other.Pict->MapMode,
                                           other.Pict->Cx, other.Pict->Cy);
}

TMetaFile::TMetaFile(win::wmf::HMETAFILE handle, int16_t cx, int16_t cy) {
  if (!win::wmf::GetMetaFileBits(handle)) return;
  Pict = std::make_unique<TMetaFilePict>(handle, int16_t(win::MM_ANISOTROPIC), cx, cy);
  Status = 1;
}

TMetaFile::TMetaFile(TKxStream& stream) {
  uint8_t header[kPlaceableHeaderSize];
  if (stream.Read(header, sizeof header) != sizeof header || stream.Status != 0) return;
  const int inch = uint16_t(Get16(header, 14));
  if (inch == 0) return;
  const int32_t width = int32_t(Get16(header, 10)) - Get16(header, 6);
  const int32_t height = int32_t(Get16(header, 12)) - Get16(header, 8);
  // The metafile's own header gives its length.
  std::vector<uint8_t> data(win::wmf::kHeaderBytes);
  if (stream.Read(data.data(), uint16_t(data.size())) != data.size()) return;
  const auto size = win::wmf::MetaFileSize(data);
  const int64_t rest = int64_t(stream.GetSize()) - stream.GetPos();
  if (!size || rest < 0 || int64_t(*size) - int64_t(data.size()) > rest) return;
  data.resize(*size);
  const uint32_t more = uint32_t(*size - win::wmf::kHeaderBytes);
  if (stream.ReadHuge(data.data() + win::wmf::kHeaderBytes, more) != more) return;
  const win::wmf::HMETAFILE handle = win::wmf::SetMetaFileBitsEx(data);
  if (handle == kNone) return;
  Pict = std::make_unique<TMetaFilePict>(handle, int16_t(win::MM_ANISOTROPIC),
                                         int16_t(win::MulDiv(width, 2540, inch)),
                                         int16_t(win::MulDiv(height, 2540, inch)));
  Status = 1;
}

void TMetaFile::Write(TKxStream& stream) const {
  const std::vector<uint8_t>* bytes = Pict ? win::wmf::GetMetaFileBits(Pict->Handle) : nullptr;
  uint16_t words[11] = {};
  words[0] = uint16_t(kPlaceableKey);
  words[1] = uint16_t(kPlaceableKey >> 16);
  if (Pict) {
    words[5] = uint16_t(win::MulDiv(Pict->Cx, kMetaUnitsPerInch, 2540));
    words[6] = uint16_t(win::MulDiv(Pict->Cy, kMetaUnitsPerInch, 2540));
  }
  words[7] = kMetaUnitsPerInch;
  for (int i = 0; i < 10; ++i) words[10] ^= words[i];
  uint8_t header[kPlaceableHeaderSize];
  for (int i = 0; i < 11; ++i) header[2 * i] = uint8_t(words[i]), header[2 * i + 1] = uint8_t(words[i] >> 8);
  stream.Write(header, sizeof header);
  if (bytes) stream.WriteHuge(bytes->data(), uint32_t(bytes->size()));
}

uint32_t TMetaFile::GetStreamSize() const {
  const std::vector<uint8_t>* bytes = Pict ? win::wmf::GetMetaFileBits(Pict->Handle) : nullptr;
  return uint32_t(bytes ? bytes->size() : 0) + kPlaceableHeaderSize;
}

int TMetaFile::CopyToClipboard() const {
  if (!win::OpenClipboard(0)) return 0;
  if (Pict) {
    const win::HGLOBAL block = win::GlobalAlloc(win::GMEM_MOVEABLE, sizeof(win::METAFILEPICT));
    if (auto* p = static_cast<win::METAFILEPICT*>(win::GlobalLock(block))) {
      *p = {Pict->MapMode, Pict->Cx, Pict->Cy, win::wmf::CopyMetaFile(Pict->Handle)};
      win::GlobalUnlock(block);
      win::SetClipboardData(win::CF_METAFILEPICT, block);
    }
  }
  win::CloseClipboard();
  return 0;
}

int TMetaFile::PasteFromClipboard() {
  if (!win::OpenClipboard(0)) return -1;
  int result = -1;
  const win::HGLOBAL block{win::GetClipboardData(win::CF_METAFILEPICT)};
  if (const auto* p = static_cast<const win::METAFILEPICT*>(win::GlobalLock(block))) {
    const win::wmf::HMETAFILE copy = win::wmf::CopyMetaFile(p->hMF);
    if (copy != kNone) {
      Pict = std::make_unique<TMetaFilePict>(copy, int16_t(p->mm), int16_t(p->xExt), int16_t(p->yExt));
      Status = 1;
      result = 0;
    }
    win::GlobalUnlock(block);
  }
  win::CloseClipboard();
  return result;
}

void TMetaFile::GetInfo(int16_t& mapMode, int16_t& cx, int16_t& cy) const {
  if (!Pict) return;
  mapMode = Pict->MapMode;
  cx = Pict->Cx;
  cy = Pict->Cy;
}

void TMetaFile::Draw(win::Dc& reference, win::Dc& output, win::RECT& rect, int16_t mode) const {
  if (output.GetDeviceCaps(win::TECHNOLOGY) == win::DT_METAFILE) {
    output.Rectangle(rect.left, rect.top, rect.right, rect.bottom);
    win::LOGFONT lf;
    lf.lfHeight = 20;
    lf.lfWeight = 400;
    lf.lfCharSet = 1;
    win::SetFaceName(lf, "Arial");
    const win::LOGFONT old = output.SelectFont(lf);
    output.TextOut(rect.left, rect.top, "Meta-Datei in Druckvorschau nicht sichtbar.");
    output.SelectFont(old);
    return;
  }
  if (!Pict) return;
  if (mode == 0) mode = 1;
  if (mode == 1 && rect.right != rect.left && rect.bottom != rect.top) {
    const double sx = double(Pict->Cx) / (rect.right - rect.left);
    const double sy = double(Pict->Cy) / (rect.bottom - rect.top);
    if (sx > sy)
      rect.bottom = RoundedEdge(rect.top + Pict->Cy / sx);
    else if (sy != 0)
      rect.right = RoundedEdge(rect.left + Pict->Cx / sy);
  }
  const int saved = output.SaveDC();
  output.SetMapMode(Pict->MapMode);
  if (Pict->MapMode == win::MM_ISOTROPIC || Pict->MapMode == win::MM_ANISOTROPIC) {
    win::POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    reference.LPtoDP(corners);
    output.SetViewportOrgEx(corners[0].x, corners[0].y);
    output.SetViewportExtEx(corners[1].x - corners[0].x, corners[1].y - corners[0].y);
  }
  win::wmf::PlayMetaFile(output, Pict->Handle);
  output.RestoreDC(saved);
}

}  // namespace kxobject
