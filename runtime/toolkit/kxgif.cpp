// GIF reader: the first image of a GIF 87a or 89a file as an 8-bit DIB with
// a 256-entry colour table, through our own variable-width LZW decoder.
//
// File (little-endian): "GIF87a"/"GIF89a"; a 7-byte screen descriptor whose
// flags say whether a global colour table of 2^(s+1) RGB triples follows;
// extension blocks (0x21, label, data sub-blocks, a 0 size byte); the 9-byte
// image descriptor (left, top, width, height, flags: 0x80 local table, 0x40
// interlaced); the LZW minimum code size; the image data in sub-blocks of at
// most 255 bytes, ended by a 0 size byte; more blocks; the trailer 0x3B.
//
// Decoding. Codes are packed least significant bit first and start one bit
// wider than the minimum code size (at most 11, so codes stay within 12
// bits). The string table holds 4096 codes; code c >= clear + 2 is the string
// of prefix[c] followed by suffix[c]. What always holds:
//   1. Every code read is checked before use: a code above the next free one
//      (or a string code before the first root) ends the decoding; a code equal
//      to the next free one is the previous string plus its own first
//      character. A full table stops growing until the next clear code.
//   2. A string is unwound on a stack of 4096 + 1 bytes: a chain visits each
//      table entry at most once, so it cannot overflow.
//   3. Pixels go straight into their DIB row: the stored row j of the file is
//      display row j, or for interlaced images the row of its pass (0, 8, 16,
//      ...; 4, 12, ...; 2, 6, ...; 1, 3, ...), and DIB row h - 1 - display
//      row. Pixels past width x height are dropped; rows the data never
//      reaches stay 0. The DIB is whole whatever the data holds.
//   4. Decoding stops at the end code, at the end of the data (a 0 size byte
//      or the end of the stream) or when the picture is full; the reader
//      then passes the rest of the picture up to and with its trailer, so the
//      stream stands after the GIF. Nothing is read past the stream's size.
// Short or corrupt image data still gives a DIB (status 1).
#include <array>
#include <cstring>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxpicio.h"

namespace kxobject {

namespace {

constexpr int kMaxCodes = 4096;

// The image data's sub-blocks as a stream of bits.
class CodeReader {
 public:
  explicit CodeReader(TKxStream& stream) : stream_(stream) {}
  // False at the end of the data.
  bool Read(int width, uint32_t& code) {
    while (bits_ < width) {
      if (at_ == filled_ && !Refill()) return false;
      acc_ |= uint32_t(block_[at_++]) << bits_;
      bits_ += 8;
    }
    code = acc_ & ((1u << width) - 1);
    acc_ >>= width;
    bits_ -= width;
    return true;
  }
  // Passes the sub-blocks not yet read and their terminator.
  void SkipRest() {
    while (Refill()) {
    }
  }

 private:
  bool Refill() {
    if (ended_) return false;
    uint8_t size = 0;
    if (BoundedRead(stream_, &size, 1) != 1 || size == 0) {
      ended_ = true;
      return false;
    }
    filled_ = BoundedRead(stream_, block_.data(), size);
    at_ = 0;
    if (filled_ < size) ended_ = true;
    return filled_ > 0;
  }

  TKxStream& stream_;
  std::array<uint8_t, 255> block_{};
  uint32_t filled_ = 0, at_ = 0;
  uint32_t acc_ = 0;
  int bits_ = 0;
  bool ended_ = false;
};

// Places decoded pixels in their DIB rows.
class PixelSink {
 public:
  PixelSink(DibBuilder& dib, int32_t width, int32_t height, bool interlaced)
      : dib_(dib), width_(width), height_(height), interlaced_(interlaced) {
    row_ = dib_.Row(height_ - 1);
  }
  bool Full() const { return row_ == nullptr; }
  void Put(const uint8_t* pixels, size_t count) {
    while (count > 0 && row_) {
      const size_t n = std::min(count, size_t(width_ - x_));
      std::memcpy(row_ + x_, pixels, n);
      pixels += n, count -= n, x_ += int32_t(n);
      if (x_ == width_) NextRow();
    }
  }

 private:
  int32_t Display(int32_t j) const {
    if (!interlaced_) return j;
    const int32_t a = (height_ - 1) >> 3, b = (height_ - 1) >> 2, c = (height_ - 1) >> 1;
    if (j <= a) return 8 * j;
    if (j <= b) return 8 * (j - a - 1) + 4;
    if (j <= c) return 4 * (j - b - 1) + 2;
    return 2 * (j - c - 1) + 1;
  }
  void NextRow() {
    x_ = 0;
    row_ = ++j_ < height_ ? dib_.Row(height_ - 1 - Display(j_)) : nullptr;
  }

  DibBuilder& dib_;
  int32_t width_, height_;
  bool interlaced_;
  int32_t x_ = 0, j_ = 0;
  uint8_t* row_;
};

void DecodeLzw(CodeReader& codes, int minCodeSize, PixelSink& sink) {
  std::array<uint16_t, kMaxCodes> prefix;
  std::array<uint8_t, kMaxCodes> suffix;
  std::array<uint8_t, kMaxCodes + 1> stack;
  const uint32_t clear = 1u << minCodeSize, end = clear + 1;
  int width = minCodeSize + 1;
  uint32_t next = clear + 2, largest = (1u << width) - 1;
  int32_t prev = -1;
  uint8_t first = 0;
  uint32_t code;
  while (!sink.Full() && codes.Read(width, code)) {
    if (code == clear) {
      width = minCodeSize + 1;
      next = clear + 2, largest = (1u << width) - 1;
      prev = -1;
      continue;
    }
    if (code == end) return;
    if (prev < 0) {
      if (code > clear) return;
      first = uint8_t(code);
      sink.Put(&first, 1);
      prev = int32_t(code);
      continue;
    }
    if (code > next) return;
    size_t top = stack.size();
    uint32_t c = code;
    if (code == next) {
      if (next >= kMaxCodes) return;
      stack[--top] = first;
      c = uint32_t(prev);
    }
    while (c > end) {
      stack[--top] = suffix[c];
      c = prefix[c];
    }
    stack[--top] = uint8_t(c);
    first = uint8_t(c);
    sink.Put(stack.data() + top, stack.size() - top);
    if (next < kMaxCodes) {
      prefix[next] = uint16_t(prev);
      suffix[next] = first;
      ++next;
    }
    prev = int32_t(code);
    if (next > largest && width < 12) {
      ++width;
      largest = (1u << width) - 1;
    }
  }
}

bool ReadByte(TKxStream& stream, uint8_t& b) { return BoundedRead(stream, &b, 1) == 1; }

void SkipSubBlocks(TKxStream& stream) {
  uint8_t size;
  while (ReadByte(stream, size) && size != 0) {
    const int64_t to = std::min<int64_t>(int64_t(stream.GetPos()) + size, stream.GetSize());
    stream.Seek(int32_t(to));
  }
}

// Passes the blocks after the first image up to and with the trailer.
void SkipToTrailer(TKxStream& stream) {
  uint8_t b;
  while (ReadByte(stream, b)) {
    if (b == 0x3B) return;
    if (b == 0x21) {
      if (!ReadByte(stream, b)) return;
      SkipSubBlocks(stream);
    } else if (b == 0x2C) {
      uint8_t d[9];
      if (BoundedRead(stream, d, 9) != 9) return;
      if (d[8] & 0x80) stream.Seek(int32_t(std::min<int64_t>(stream.GetPos() + 3 * (2 << (d[8] & 7)), stream.GetSize())));
      if (!ReadByte(stream, b)) return;
      SkipSubBlocks(stream);
    } else {
      stream.Seek(stream.GetPos() - 1);  // not ours: leave it
      return;
    }
  }
}

}  // namespace

void TKxDib::ReadGif(TKxStream& stream) {
  CheckEmpty();
  if (stream.Status != 0) {
    Status = -1;
    return;
  }
  uint8_t head[13];
  if (BoundedRead(stream, head, 6) != 6 || std::memcmp(head, "GIF", 3) != 0) {
    Status = -11;
    return;
  }
  if (std::memcmp(head + 3, "87a", 3) != 0 && std::memcmp(head + 3, "89a", 3) != 0) {
    Status = -3;
    return;
  }
  uint8_t colors[768] = {};
  if (BoundedRead(stream, head + 6, 7) != 7) {
    Status = -2;
    return;
  }
  if (head[10] & 0x80) {
    const uint32_t bytes = 3u * (2u << (head[10] & 7));
    if (BoundedRead(stream, colors, bytes) != bytes) {
      Status = -6;
      return;
    }
  }
  uint8_t b = 0;
  bool ok = ReadByte(stream, b);
  while (ok && b == 0x21) {
    ok = ReadByte(stream, b);
    SkipSubBlocks(stream);
    ok = ok && ReadByte(stream, b);
  }
  uint8_t desc[9];
  if (!ok || BoundedRead(stream, desc, 9) != 9) {
    Status = -6;
    return;
  }
  if (desc[8] & 0x80) {
    const uint32_t bytes = 3u * (2u << (desc[8] & 7));
    if (BoundedRead(stream, colors, bytes) != bytes) {
      Status = -6;
      return;
    }
  }
  const int32_t width = Le16(desc + 4), height = Le16(desc + 6);
  DibBuilder dib;
  if (const int started = dib.Start(width, height, 8, 256); started != 1) {
    Status = int16_t(started);
    return;
  }
  dib.Header().biXPelsPerMeter = dib.Header().biYPelsPerMeter = 10000;
  uint8_t* table = dib.Table();
  for (int i = 0; i < 256; ++i)
    table[4 * i] = colors[3 * i + 2], table[4 * i + 1] = colors[3 * i + 1], table[4 * i + 2] = colors[3 * i];

  uint8_t minCodeSize = 0;
  ok = ReadByte(stream, minCodeSize);
  while (ok && minCodeSize == 0x21) {  // a stray extension before the data
    uint8_t size = 0;
    ok = ReadByte(stream, b) && ReadByte(stream, size);
    if (ok) stream.Seek(int32_t(std::min<int64_t>(stream.GetPos() + size, stream.GetSize())));
    ok = ok && ReadByte(stream, minCodeSize);
  }
  if (ok) {
    CodeReader codes(stream);
    if (minCodeSize >= 1 && minCodeSize <= 11) {
      PixelSink sink(dib, width, height, desc[8] & 0x40);
      DecodeLzw(codes, minCodeSize, sink);
    }
    codes.SkipRest();
    SkipToTrailer(stream);
  }
  Adopt(dib.Finish(), true);
}

}  // namespace kxobject
