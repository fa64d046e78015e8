// Picture files by type, and the BMP and PCX formats.
//
// BMP (little-endian): a 14-byte file header ("BM", bfSize, two reserved
// words, bfOffBits), an info header of biSize bytes (40 or longer; only the
// first 40 are kept), the bit-field masks or the colour table, and the rows
// at bfOffBits. The reader keeps the DIB's header at 40 bytes: a longer
// header's masks are moved behind it and the colour table is read from where
// the file's header ends. Nothing in the header is trusted for sizes: the
// bit count, the colour count (at most 256), the compression (BI_RGB, or
// BI_BITFIELDS at 16 and 32 bits) and a size of at least 1 x 1 rows stored
// bottom-up are checked, the image size is computed from the header, and
// the rows must be in the stream before memory is taken for them.
//
// PCX (ZSoft): a 128-byte header, then scan lines, run-length encoded when
// the encoding byte is 1 (a byte of 0xC0 or more repeats the next byte
// byte - 0xC0 times; runs may cross lines), each line holding its planes one
// after the other, bytes-per-line long each; 8-bit pictures end with the byte
// 12 and 768 bytes of palette. The four layouts read are 1 plane of 1 bit,
// 4 planes of 1 bit, 1 plane of 8 bits and 3 planes of 8 bits. Lines are
// decoded one at a time into a line buffer and converted into their DIB row;
// bytes of a line that do not fit the row are dropped.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxpicio.h"

namespace kxobject {

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kPcxHeader = 128;

// The static colours of a 256-colour display's system palette; the entries
// between them are black.
void SystemPalette(uint8_t* table, int entries) {
  static const uint8_t low[10][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},
                                     {0, 0, 128},   {128, 0, 128}, {0, 128, 128},   {192, 192, 192},
                                     {192, 220, 192}, {166, 202, 240}};
  static const uint8_t high[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                      {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                      {0, 255, 255},   {255, 255, 255}};
  for (int i = 0; i < entries; ++i) {
    const uint8_t* rgb = i < 10 ? low[i] : i >= 246 ? high[i - 246] : nullptr;
    if (!rgb) continue;
    table[4 * i] = rgb[2], table[4 * i + 1] = rgb[1], table[4 * i + 2] = rgb[0];
  }
}

// Run-length decoding of PCX data, one scan line at a time.
class PcxLines {
 public:
  PcxLines(const std::vector<uint8_t>& data, bool encoded) : data_(data), encoded_(encoded) {}
  // Fills line; false when the data ends first.
  bool Next(std::vector<uint8_t>& line) {
    size_t at = 0;
    if (!encoded_) {
      if (data_.size() - src_ < line.size()) return false;
      std::memcpy(line.data(), data_.data() + src_, line.size());
      src_ += line.size();
      return true;
    }
    while (at < line.size()) {
      if (run_ > 0) {
        const size_t n = std::min(run_, line.size() - at);
        std::memset(line.data() + at, value_, n);
        at += n, run_ -= n;
        continue;
      }
      if (src_ >= data_.size()) return false;
      const uint8_t b = data_[src_++];
      if (b < 0xC0) {
        line[at++] = b;
      } else if (b > 0xC0) {  // 0xC0 is a run of nothing: the next byte is a new code
        if (src_ >= data_.size()) return false;
        value_ = data_[src_++];
        run_ = size_t(b - 0xC0);
      }
    }
    return true;
  }

 private:
  const std::vector<uint8_t>& data_;
  bool encoded_;
  size_t src_ = 0, run_ = 0;
  uint8_t value_ = 0;
};

bool HasExtension(const std::string& name, const char* ext) {
  const size_t n = std::strlen(ext);
  if (name.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(name[name.size() - n + i])) != ext[i]) return false;
  return true;
}

}  // namespace

void TKxDib::ReadFile(const char* fileName) {
  if (!fileName || !*fileName) {
    Status = -23;
    return;
  }
  const std::string name(fileName);
  void (TKxDib::*reader)(TKxStream&) = nullptr;
  if (HasExtension(name, ".BMP") || HasExtension(name, ".DIB"))
    reader = &TKxDib::ReadBmp;
  else if (HasExtension(name, ".PCX"))
    reader = &TKxDib::ReadPcx;
  else if (HasExtension(name, ".GIF"))
    reader = &TKxDib::ReadGif;
  if (!reader) {
    Status = -22;
    return;
  }
  TKxFileStream stream(fileName, kFileRead);
  (this->*reader)(stream);
}

void TKxDib::ReadBmp(TKxStream& stream) {
  CheckEmpty();
  if (stream.Status != 0) {
    Status = -1;
    return;
  }
  const int64_t p = stream.GetPos();
  uint8_t file[kFileHeader], raw[40];
  if (!ReadExact(stream, file, kFileHeader)) {
    Status = -2;
    return;
  }
  if (file[0] != 'B' || file[1] != 'M') {
    Status = -11;
    return;
  }
  const uint32_t bfSize = Le32(file + 2), bfOffBits = Le32(file + 10);
  if (!ReadExact(stream, raw, sizeof raw)) {
    Status = -3;
    return;
  }
  BITMAPINFOHEADER h;
  std::memcpy(&h, raw, sizeof h);
  const bool bitfields = h.biCompression == win::BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32);
  if (h.biClrUsed == 0) h.biClrUsed = uint32_t(std::max(0, ColorsForBitCount(h.biBitCount)));
  if (h.biSize < 40 || ColorsForBitCount(h.biBitCount) < 0 || (h.biCompression != win::BI_RGB && !bitfields) ||
      h.biClrUsed > 256) {
    Status = -3;
    return;
  }
  // Masks sit inside a header of 52 bytes or more, behind a 40-byte one.
  uint8_t masks[12] = {};
  if (bitfields) {
    if (h.biSize < 52) stream.Seek(int32_t(p + kFileHeader + h.biSize));
    if (!ReadExact(stream, masks, sizeof masks)) {
      Status = -6;
      return;
    }
    h.biClrUsed = 0;
  }
  const uint32_t entries = bitfields ? 3 : h.biClrUsed;
  DibBuilder dib;
  if (const int started = dib.Start(h.biWidth, h.biHeight, h.biBitCount, entries); started != 1) {
    Status = int16_t(started);
    return;
  }
  const size_t image = dib.stride * size_t(h.biHeight);
  if (int64_t(stream.GetSize()) - p - bfOffBits < int64_t(image)) {
    Status = -10;
    return;
  }
  h.biSize = 40;
  h.biPlanes = 1;
  h.biSizeImage = uint32_t(image);
  dib.Header() = h;
  if (bitfields) {
    std::memcpy(dib.Table(), masks, sizeof masks);
  } else {
    // The colour table follows the header, whose stated size may point
    // anywhere: a table that would lie past the stream's end is not read.
    const int64_t table = p + kFileHeader + int64_t(Le32(raw));
    if (table + 4 * int64_t(entries) > int64_t(stream.GetSize())) {
      Status = -6;
      return;
    }
    stream.Seek(int32_t(table));
    if (!ReadExact(stream, dib.Table(), 4 * entries)) {
      Status = -6;
      return;
    }
  }
  stream.Seek(int32_t(p + bfOffBits));
  if (!ReadExact(stream, dib.Row(0), uint32_t(image))) {
    Status = -10;
    return;
  }
  Adopt(dib.Finish(), true);
  // Past the picture's own length, but never past the stream's end.
  const int64_t end = std::min<int64_t>(p + int64_t(bfSize), stream.GetSize());
  if (Status == 1 && stream.GetPos() < end) stream.Seek(int32_t(end));
}

void TKxDib::ReadPcx(TKxStream& stream) {
  CheckEmpty();
  if (stream.Status != 0) {
    Status = -1;
    return;
  }
  const int64_t p = stream.GetPos();
  uint8_t hdr[kPcxHeader];
  if (!ReadExact(stream, hdr, sizeof hdr)) {
    Status = -2;
    return;
  }
  if (hdr[0] != 10) {
    Status = -11;
    return;
  }
  const int bitsPlane = hdr[3], planes = hdr[65];
  const int bits = bitsPlane * planes;
  const bool layout = (bitsPlane == 1 && (planes == 1 || planes == 4)) || (bitsPlane == 8 && (planes == 1 || planes == 3));
  const int32_t xMin = Le16(hdr + 4), yMin = Le16(hdr + 6), xMax = Le16(hdr + 8), yMax = Le16(hdr + 10);
  const size_t perLine = Le16(hdr + 66);
  if (!layout || xMax < xMin || yMax < yMin || perLine == 0) {
    Status = -3;
    return;
  }
  const int32_t width = xMax - xMin + 1, height = yMax - yMin + 1;
  const int64_t length = int64_t(stream.GetSize()) - p - int64_t(kPcxHeader) - (bits == 8 ? 769 : 0);
  if (length < 0) {
    Status = -4;
    return;
  }
  const uint32_t colors = bits < 24 ? 1u << bits : 0;
  DibBuilder dib;
  if (const int started = dib.Start(width, height, bits, colors); started != 1) {
    Status = int16_t(started);
    return;
  }
  const bool encoded = hdr[2] == 1;
  if (!encoded && size_t(length) / perLine / size_t(planes) < size_t(height)) {
    Status = -6;
    return;
  }
  std::vector<uint8_t> data(static_cast<size_t>(length));
  if (!ReadExact(stream, data.data(), uint32_t(length))) {
    Status = -6;
    return;
  }
  uint8_t* table = dib.Table();
  if (bits < 24) {
    if (hdr[1] == 3) {
      if (bits == 1)
        std::memset(table + 4, 0xFF, 3);
      else
        SystemPalette(table, int(colors));
    } else {
      uint8_t trailer[769];
      const uint8_t* rgb = hdr + 16;
      if (bits == 8) {
        if (!ReadExact(stream, trailer, sizeof trailer) || trailer[0] != 12) {
          Status = -12;
          return;
        }
        rgb = trailer + 1;
      }
      for (uint32_t i = 0; i < colors; ++i)
        table[4 * i] = rgb[3 * i + 2], table[4 * i + 1] = rgb[3 * i + 1], table[4 * i + 2] = rgb[3 * i];
    }
  }
  PcxLines lines(data, encoded);
  std::vector<uint8_t> line(perLine * size_t(planes));
  const size_t stride = dib.stride;
  for (int32_t y = 0; y < height; ++y) {
    if (!lines.Next(line)) {
      Status = -9;
      return;
    }
    uint8_t* row = dib.Row(height - 1 - y);
    switch (bits) {
      case 1:
      case 8:
        std::memcpy(row, line.data(), std::min(perLine, stride));
        break;
      case 4:
        for (size_t x = 0; x < perLine && 4 * x < stride; ++x)
          for (int k = 0; k < 8; ++k) {
            int v = 0;
            for (int plane = 3; plane >= 0; --plane) v = v << 1 | ((line[size_t(plane) * perLine + x] >> (7 - k)) & 1);
            row[4 * x + size_t(k / 2)] |= uint8_t(k % 2 ? v : v << 4);
          }
        break;
      default:  // 24
        for (size_t x = 0; x < perLine && 3 * x + 3 <= stride; ++x) {
          row[3 * x] = line[2 * perLine + x];
          row[3 * x + 1] = line[perLine + x];
          row[3 * x + 2] = line[x];
        }
        break;
    }
  }
  Adopt(dib.Finish(), true);
}

void TKxDib::WriteBmp(TKxStream& stream) const {
  if (!IsOK()) return;
  const uint32_t header = uint32_t(HeaderSize()), image = uint32_t(ComputeImageSize());
  uint8_t file[kFileHeader] = {'B', 'M'};
  PutLe32(file + 2, uint32_t(kFileHeader) + header + image);
  PutLe32(file + 10, uint32_t(kFileHeader) + header);
  stream.Write(file, kFileHeader);
  Info->biSizeImage = image;
  stream.WriteHuge(Info, header + image);
}

}  // namespace kxobject
