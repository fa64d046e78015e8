// Helpers of the picture tests: the picture files that make_pictures.py
// writes with Pillow (made once per test program, in a temporary folder),
// the pixels Pillow decodes from them, memory streams over bytes and a
// packer of LZW codes for hand-made GIFs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxstream.h"

namespace pictest {

using Bytes = std::vector<uint8_t>;

inline Bytes FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The folder of generated pictures; empty when the generator failed. The
// path is never destroyed, so the exit handler that removes the folder can
// still read it after static objects are gone.
inline const std::filesystem::path& Pictures() {
  static const std::filesystem::path* folder = [] {
    const auto dir = std::filesystem::temp_directory_path() / ("kxpictures_" + std::to_string(::getpid()));
    const std::string command = "/usr/bin/python3 " ZET_TOOLKIT_TESTS_DIR "/make_pictures.py " + dir.string();
    if (std::system(command.c_str()) != 0) return new std::filesystem::path();
    std::atexit([] { std::filesystem::remove_all(Pictures()); });
    return new std::filesystem::path(dir);
  }();
  return *folder;
}

// Pixels as Pillow decodes them, 0xFFRRGGBB, top row first.
struct Reference {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

inline Reference ReadReference(const std::string& name) {
  const Bytes b = FileBytes(Pictures() / (name + ".rgb"));
  Reference r;
  if (b.size() < 8) return r;
  r.width = int32_t(b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24);
  r.height = int32_t(b[4] | b[5] << 8 | b[6] << 16 | b[7] << 24);
  for (size_t i = 8; i + 2 < b.size(); i += 3) r.pixels.push_back(0xFF000000u | b[i] << 16 | b[i + 1] << 8 | b[i + 2]);
  return r;
}

// A memory stream holding bytes, positioned at 0.
inline std::unique_ptr<kxobject::TMemStream> StreamOf(const Bytes& bytes) {
  auto s = std::make_unique<kxobject::TMemStream>(uint32_t(bytes.size() + 1), 1024);
  if (!bytes.empty()) s->WriteHuge(bytes.data(), uint32_t(bytes.size()));
  s->Seek(0);
  return s;
}

// The largest channel difference between the DIB and the reference (255 +
// 1 when the sizes differ).
inline int MaxDifference(const kxobject::TKxDib& dib, const Reference& ref) {
  if (dib.Width() != ref.width || dib.Height() != ref.height) return 256;
  int worst = 0;
  for (int32_t y = 0; y < ref.height; ++y)
    for (int32_t x = 0; x < ref.width; ++x) {
      const uint32_t a = dib.PixelAt(x, y), b = ref.At(x, y);
      for (int shift = 0; shift < 24; shift += 8)
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    }
  return worst;
}

// GIF image data: codes packed least significant bit first, their width
// following the decoder's rule (one more bit once the next free code passes
// the largest of the current width), cut into sub-blocks and terminated.
inline Bytes LzwData(int minCodeSize, const std::vector<uint32_t>& codes) {
  const uint32_t clear = 1u << minCodeSize, end = clear + 1;
  int width = minCodeSize + 1;
  uint32_t next = clear + 2;
  bool first = true;
  Bytes packed;
  uint64_t acc = 0;
  int bits = 0;
  for (uint32_t code : codes) {
    acc |= uint64_t(code) << bits;
    bits += width;
    while (bits >= 8) packed.push_back(uint8_t(acc)), acc >>= 8, bits -= 8;
    if (code == clear) {
      width = minCodeSize + 1, next = clear + 2, first = true;
    } else if (code != end) {
      if (!first && next < 4096) ++next;
      first = false;
      if (next > (1u << width) - 1 && width < 12) ++width;
    }
  }
  if (bits > 0) packed.push_back(uint8_t(acc));
  Bytes out{uint8_t(minCodeSize)};
  for (size_t at = 0; at < packed.size(); at += 255) {
    const size_t n = std::min<size_t>(255, packed.size() - at);
    out.push_back(uint8_t(n));
    out.insert(out.end(), packed.begin() + long(at), packed.begin() + long(at + n));
  }
  out.push_back(0);
  return out;
}

// A GIF 89a of one image with a global table of `colors` entries (grey
// levels 0, 1, 2 ... times 10), the given image data and the trailer.
inline Bytes MakeGif(uint16_t width, uint16_t height, int colors, const Bytes& data, bool interlaced = false,
                     const char* version = "89a") {
  int s = 0;
  while ((2 << s) < colors) ++s;
  Bytes g{'G', 'I', 'F', uint8_t(version[0]), uint8_t(version[1]), uint8_t(version[2]), uint8_t(width),
          uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8), uint8_t(0x80 | s), 0, 0};
  for (int i = 0; i < (2 << s); ++i) g.insert(g.end(), 3, uint8_t(i * 10));
  const Bytes desc{0x2C, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8),
                   uint8_t(interlaced ? 0x40 : 0)};
  g.insert(g.end(), desc.begin(), desc.end());
  g.insert(g.end(), data.begin(), data.end());
  g.push_back(0x3B);
  return g;
}

}  // namespace pictest
