// The recording output: Dc calls written as metafile records (records.h),
// with the object slots of metafile.h invariant 2.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/gdi/wmf/metafile.h"
#include "platform/gdi/wmf/records.h"

namespace win::wmf {

namespace {

constexpr uint16_t Word(int64_t v) { return uint16_t(int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX))); }

class Recorder final : public DcOutput {
 public:
  Recorder() { Clear(); }

  std::vector<uint8_t> Finish() {
    Emit(kEof, std::span<const uint16_t>());
    std::vector<uint8_t> out = std::move(bytes_);
    const size_t words = out.size() / 2;
    Put(out, 6, uint32_t(words));
    Put(out, 10, uint16_t(slots_.size()));
    Put(out, 12, maxRecord_);
    Clear();
    return out;
  }

  // The state of dc as records, so that a new recording starts where the
  // last one ended.
  void Begin(const Dc& dc) {
    const Dc::State& s = dc.Current();
    State(kSetMapMode, {s.mapMode});
    State(kSetWindowOrg, {s.windowOrg.y, s.windowOrg.x});
    State(kSetViewportOrg, {s.viewportOrg.y, s.viewportOrg.x});
    if (s.mapMode == MM_ISOTROPIC || s.mapMode == MM_ANISOTROPIC) {
      State(kSetWindowExt, {s.windowExt.cy, s.windowExt.cx});
      State(kSetViewportExt, {s.viewportExt.cy, s.viewportExt.cx});
    }
    State(kSetTextColor, {int32_t(s.textColor)});
    State(kSetBkColor, {int32_t(s.bkColor)});
    State(kSetBkMode, {s.bkMode});
    State(kSetRop2, {s.rop2});
    State(kSetPolyFillMode, {s.polyFillMode});
    State(kSetStretchBltMode, {s.stretchMode});
    State(kSetTextAlign, {int32_t(s.textAlign)});
    State(kMoveTo, {s.pos.y, s.pos.x});
    PenSelected(s.pen);
    BrushSelected(s.brush);
    FontSelected(s.font);
    ClipSelected(s.clip ? &*s.clip : nullptr);
  }

  void State(uint16_t function, std::initializer_list<int32_t> params) override {
    std::vector<uint16_t> words;
    if (function == kSetTextColor || function == kSetBkColor) {
      const uint32_t c = uint32_t(*params.begin());
      words = {uint16_t(c), uint16_t(c >> 16)};
    } else {
      for (const int32_t v : params) words.push_back(Word(v));
    }
    Emit(function, words);
  }

  void PenSelected(const Pen& pen) override {
    Replace(pen_, Create(kCreatePenIndirect, {uint16_t(pen.style), Word(pen.width), 0, Lo(pen.color), Hi(pen.color)}));
  }
  void BrushSelected(const Brush& brush) override { Replace(brush_, CreateBrush(brush)); }
  void FontSelected(const LOGFONT& f) override {
    std::vector<uint16_t> w = {Word(f.lfHeight), Word(f.lfWidth), Word(f.lfEscapement), Word(f.lfOrientation),
                               Word(f.lfWeight), uint16_t(f.lfItalic | f.lfUnderline << 8),
                               uint16_t(f.lfStrikeOut | f.lfCharSet << 8),
                               uint16_t(f.lfOutPrecision | f.lfClipPrecision << 8),
                               uint16_t(f.lfQuality | f.lfPitchAndFamily << 8)};
    char face[32] = {};
    std::memcpy(face, f.lfFaceName, std::min(sizeof face, sizeof f.lfFaceName));
    face[31] = 0;
    for (size_t i = 0; i < 32; i += 2) w.push_back(uint16_t(uint8_t(face[i]) | uint8_t(face[i + 1]) << 8));
    Replace(font_, Create(kCreateFontIndirect, w));
  }
  void ClipSelected(const Region* region) override {
    if (!region) {
      Emit(kSelectClipRegion, {0xFFFF});
      return;
    }
    const int slot = CreateRegion(*region);
    Emit(kSelectClipRegion, {uint16_t(slot)});
    Delete(slot);
  }

  void LineTo(const Dc&, POINT, POINT to) override { Emit(kLineTo, {Word(to.y), Word(to.x)}); }
  void Poly(const Dc&, bool closed, std::span<const POINT> points) override {
    const size_t n = std::min<size_t>(points.size(), 0x7FFF);
    std::vector<uint16_t> w = {uint16_t(n)};
    for (size_t i = 0; i < n; ++i) w.insert(w.end(), {Word(points[i].x), Word(points[i].y)});
    Emit(closed ? kPolygon : kPolyline, w);
  }
  void Box(const Dc&, uint16_t kind, const RECT& r, int w, int h) override {
    std::vector<uint16_t> words;
    if (kind == kRoundRect) words = {Word(h), Word(w)};
    words.insert(words.end(), {Word(r.bottom), Word(r.right), Word(r.top), Word(r.left)});
    Emit(kind, words);
  }
  void SetPixel(const Dc&, int x, int y, COLORREF c) override { Emit(kSetPixel, {Lo(c), Hi(c), Word(y), Word(x)}); }
  void FillRegion(const Dc&, uint16_t kind, const Region& region, const Brush* brush, int w, int h) override {
    const int r = CreateRegion(region);
    const int b = brush ? Create(kCreateBrushIndirect, BrushWords(*brush)) : -1;
    if (kind == kFrameRegion)
      Emit(kind, {uint16_t(r), uint16_t(b), Word(h), Word(w)});
    else if (brush)
      Emit(kind, {uint16_t(r), uint16_t(b)});
    else
      Emit(kind, {uint16_t(r)});
    if (b >= 0) Delete(b);
    Delete(r);
  }
  void PatBlt(const Dc&, int x, int y, int width, int height, DWORD rop) override {
    Emit(kPatBlt, {uint16_t(rop), uint16_t(rop >> 16), Word(height), Word(width), Word(y), Word(x)});
  }
  void Text(const Dc&, int x, int y, UINT options, const RECT* rect, std::string_view text, const int* dx) override {
    text = text.substr(0, 0x7FFF);
    if (!rect) options &= ~UINT(ETO_OPAQUE | ETO_CLIPPED);
    std::vector<uint16_t> w = {Word(y), Word(x), uint16_t(text.size()), uint16_t(options)};
    if (options & (ETO_OPAQUE | ETO_CLIPPED))
      w.insert(w.end(), {Word(rect->left), Word(rect->top), Word(rect->right), Word(rect->bottom)});
    AppendBytes(w, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    if (dx)
      for (size_t i = 0; i < text.size(); ++i) w.push_back(Word(dx[i]));
    Emit(kExtTextOut, w);
  }
  void Dib(const Dc&, const RECT& dst, const RECT& src, std::span<const uint8_t> info, std::span<const uint8_t> bits,
           UINT usage, DWORD rop) override {
    std::vector<uint16_t> w = {uint16_t(rop),
                               uint16_t(rop >> 16),
                               uint16_t(usage),
                               Word(int64_t(src.bottom) - src.top),
                               Word(int64_t(src.right) - src.left),
                               Word(src.top),
                               Word(src.left),
                               Word(int64_t(dst.bottom) - dst.top),
                               Word(int64_t(dst.right) - dst.left),
                               Word(dst.top),
                               Word(dst.left)};
    std::vector<uint8_t> dib(info.begin(), info.end());
    dib.insert(dib.end(), bits.begin(), bits.end());
    AppendBytes(w, dib);
    Emit(kStretchDib, w);
  }

 private:
  static uint16_t Lo(COLORREF c) { return uint16_t(c); }
  static uint16_t Hi(COLORREF c) { return uint16_t(c >> 16); }
  template <typename T>
  static void Put(std::vector<uint8_t>& out, size_t at, T v) {
    for (size_t i = 0; i < sizeof(T); ++i) out[at + i] = uint8_t(uint64_t(v) >> (8 * i));
  }
  static void AppendBytes(std::vector<uint16_t>& w, std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); i += 2)
      w.push_back(uint16_t(bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0)));
  }
  static std::vector<uint16_t> BrushWords(const Brush& b) {
    // A pattern brush has no record here; it is written as a solid brush
    // of its colour.
    const int style = b.style == BS_PATTERN ? BS_SOLID : b.style;
    return {uint16_t(style), Lo(b.color), Hi(b.color), uint16_t(b.hatch)};
  }

  void Clear() {
    bytes_.assign(kHeaderBytes, 0);
    Put(bytes_, 0, uint16_t(1));
    Put(bytes_, 2, uint16_t(9));
    Put(bytes_, 4, uint16_t(0x0300));
    slots_.clear();
    maxRecord_ = 0;
    pen_ = brush_ = font_ = -1;
  }

  void Emit(uint16_t function, std::span<const uint16_t> words) {
    const uint32_t size = uint32_t(kRecordHeaderWords + words.size());
    maxRecord_ = std::max(maxRecord_, size);
    const size_t at = bytes_.size();
    bytes_.resize(at + size_t(size) * 2);
    Put(bytes_, at, size);
    Put(bytes_, at + 4, function);
    for (size_t i = 0; i < words.size(); ++i) Put(bytes_, at + 6 + 2 * i, words[i]);
  }
  void Emit(uint16_t function, std::initializer_list<uint16_t> words) {
    Emit(function, std::span<const uint16_t>(words.begin(), words.size()));
  }

  int Create(uint16_t function, std::span<const uint16_t> words) {
    const auto free = std::find(slots_.begin(), slots_.end(), false);
    const int slot = int(free - slots_.begin());
    if (free == slots_.end())
      slots_.push_back(true);
    else
      *free = true;
    Emit(function, words);
    return slot;
  }
  int Create(uint16_t function, std::initializer_list<uint16_t> words) {
    return Create(function, std::span<const uint16_t>(words.begin(), words.size()));
  }
  int CreateBrush(const Brush& b) { return Create(kCreateBrushIndirect, BrushWords(b)); }
  int CreateRegion(const Region& region) {
    std::vector<uint16_t> scans;
    size_t count = 0, maxScan = 0;
    for (const Region::Band& band : region.Bands()) {
      const uint16_t n = uint16_t(std::min<size_t>(band.spans.size() * 2, 0x7FFE));
      scans.insert(scans.end(), {n, Word(band.top), Word(band.bottom)});
      for (size_t i = 0; i < n / 2u; ++i) scans.insert(scans.end(), {Word(band.spans[i].left), Word(band.spans[i].right)});
      scans.push_back(n);
      maxScan = std::max<size_t>(maxScan, n / 2u);
      ++count;
    }
    const RECT box = region.Box();
    std::vector<uint16_t> w = {0, 6, 0, uint16_t(std::min<size_t>(22 + scans.size() * 2, 0xFFFF)),
                               uint16_t(std::min<size_t>(count, 0xFFFF)), uint16_t(maxScan),
                               Word(box.left), Word(box.top), Word(box.right), Word(box.bottom)};
    w.insert(w.end(), scans.begin(), scans.end());
    return Create(kCreateRegion, w);
  }
  void Select(int slot) { Emit(kSelectObject, {uint16_t(slot)}); }
  void Delete(int slot) {
    Emit(kDeleteObject, {uint16_t(slot)});
    slots_[size_t(slot)] = false;
  }
  // Selects the new object and deletes the one it replaces.
  void Replace(int& current, int created) {
    Select(created);
    if (current >= 0) Delete(current);
    current = created;
  }

  std::vector<uint8_t> bytes_;
  std::vector<bool> slots_;
  uint32_t maxRecord_ = 0;
  int pen_ = -1, brush_ = -1, font_ = -1;
};

}  // namespace

std::unique_ptr<DcOutput> CreateRecorder() { return std::make_unique<Recorder>(); }

std::unique_ptr<Dc> CreateRecordingDC(const DeviceCaps& caps) {
  auto dc = std::make_unique<Dc>(Bitmap::Create(1, 1, 32), caps);
  dc->SetOutput(CreateRecorder());
  return dc;
}

std::unique_ptr<Dc> CreateMetaFileDC(const Dc* reference) {
  DeviceCaps caps;
  if (reference) {
    caps = reference->Caps();
  } else {
    caps.width = 1024;
    caps.height = 768;
  }
  caps.technology = DT_METAFILE;
  return CreateRecordingDC(caps);
}

std::vector<uint8_t> TakeRecording(Dc& dc) {
  auto* recorder = dynamic_cast<Recorder*>(dc.Output());
  if (!recorder) return {};
  std::vector<uint8_t> bytes = recorder->Finish();
  recorder->Begin(dc);
  return bytes;
}

std::vector<uint8_t> CloseMetaFile(Dc& dc) {
  auto* recorder = dynamic_cast<Recorder*>(dc.Output());
  if (!recorder) return {};
  std::vector<uint8_t> bytes = recorder->Finish();
  dc.SetOutput(nullptr);
  return bytes;
}

}  // namespace win::wmf
