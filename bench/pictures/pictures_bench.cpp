// Decoding a 4000 x 3000 JPEG and a 4000 x 3000 GIF held in memory: our
// readers (TKxDib from a memory stream, as pictures are read from
// documents) against libjpeg-turbo's tjDecompress2 and giflib's DGifSlurp.
// Both JPEG sides write bottom-up BGR rows padded to 4 bytes, the DIB's
// layout, with the accurate integer DCT, each run into a new picture.
// Prints the best of several runs per side and the ratio ours / theirs (goal:
// JPEG within 1.1, GIF at most 1.0), and for reference TurboJPEG into one
// reused buffer (the cost of faulting in a new picture's memory left out).
// At the end it compares the decoded pixels of both sides and fails when a
// GIF pixel differs or a JPEG channel differs by more than 1.
#include <gif_lib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bench/pictures/photo.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxstream.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 4000, kHeight = 3000, kRuns = 5;
// The most a JPEG channel may differ between the two decoders.
constexpr int kJpegTolerance = 1;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "pictures_bench: %s failed\n", what);
  std::exit(1);
}

double Best(const std::function<void()>& run) {
  double best = 1e9;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

std::vector<uint8_t> MakeJpeg() {
  const std::vector<uint8_t> rgb = bench::PhotoRgb(kWidth, kHeight);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (tjCompress2(tj, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &out, &size, TJSAMP_420, 85, 0) != 0)
    Fail("tjCompress2");
  std::vector<uint8_t> jpeg(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

int WriteMemory(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + count);
  return count;
}

// A drawing-like picture of 256 colours: bands, shapes and some noise.
std::vector<uint8_t> MakeGif() {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteMemory, &error);
  if (!gif) Fail("EGifOpen");
  GifColorType colors[256];
  for (int i = 0; i < 256; ++i) colors[i] = {GifByteType(i), GifByteType(255 - i), GifByteType(i * 7)};
  ColorMapObject* map = GifMakeMapObject(256, colors);
  if (EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map) == GIF_ERROR ||
      EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr) == GIF_ERROR)
    Fail("EGifPut...Desc");
  std::vector<GifPixelType> line(kWidth);
  uint32_t seed = 7;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525 + 1013904223;
      const bool speck = (seed >> 24) < 24;
      line[size_t(x)] = GifPixelType(speck ? seed >> 16 : ((x / 37) ^ (y / 23)) * 13 + (x * y) / 50000);
    }
    if (EGifPutLine(gif, line.data(), kWidth) == GIF_ERROR) Fail("EGifPutLine");
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) == GIF_ERROR) Fail("EGifCloseFile");
  return out;
}

struct Reader {
  const std::vector<uint8_t>* bytes;
  size_t at = 0;
};

int ReadMemory(GifFileType* gif, GifByteType* data, int count) {
  auto* r = static_cast<Reader*>(gif->UserData);
  const size_t n = std::min(size_t(count), r->bytes->size() - r->at);
  std::memcpy(data, r->bytes->data() + r->at, n);
  r->at += n;
  return int(n);
}

// How far two decodings of one picture lie apart: pixels whose colours
// differ and the largest difference of a channel.
struct Difference {
  long pixels = 0;
  int largest = 0;
  void Add(const uint8_t* a, const uint8_t* b) {  // three channels each
    int d = 0;
    for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(int(a[c]) - int(b[c])));
    pixels += d != 0;
    largest = std::max(largest, d);
  }
};

// Our decoding of the picture, read once more.
std::unique_ptr<kxobject::TKxDib> Decode(const std::vector<uint8_t>& bytes, uint16_t type) {
  kxobject::TMemStream stream(uint32_t(bytes.size()), 4096);
  stream.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  stream.Seek(0);
  auto dib = std::make_unique<kxobject::TKxDib>(stream, type);
  if (dib->Status != 1 || dib->Width() != kWidth || dib->Height() != kHeight) Fail("our reader");
  return dib;
}

// Our 24-bit rows (bottom up, BGR) against TurboJPEG's into the same layout.
Difference CompareJpeg(const kxobject::TKxDib& dib, const uint8_t* theirs, int pitch) {
  if (dib.BitCount() != 24) Fail("our JPEG bit count");
  Difference d;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const size_t at = size_t(y) * size_t(pitch) + size_t(x) * 3;
      d.Add(dib.Bits + at, theirs + at);
    }
  return d;
}

// Our 8-bit rows (bottom up, a colour table of B, G, R, 0) against giflib's
// first image (top down, indexes into the screen's colour map).
Difference CompareGif(const kxobject::TKxDib& dib, const GifFileType& g) {
  if (dib.BitCount() != 8 || g.ImageCount < 1 || !g.SColorMap) Fail("our GIF bit count");
  const uint8_t* table = dib.InfoBytes().data() + sizeof(kxobject::BITMAPINFOHEADER);
  const size_t colors = (dib.InfoBytes().size() - sizeof(kxobject::BITMAPINFOHEADER)) / 4;
  const int stride = (kWidth + 3) & ~3;
  const GifByteType* raster = g.SavedImages[0].RasterBits;
  Difference d;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const uint8_t ours = dib.Bits[size_t(kHeight - 1 - y) * stride + x];
      const GifByteType index = raster[size_t(y) * kWidth + x];
      const uint8_t a[3] = {ours < colors ? table[4 * ours + 2] : uint8_t(0),
                            ours < colors ? table[4 * ours + 1] : uint8_t(0), ours < colors ? table[4 * ours] : uint8_t(0)};
      const GifColorType c = index < g.SColorMap->ColorCount ? g.SColorMap->Colors[index] : GifColorType{0, 0, 0};
      const uint8_t b[3] = {c.Red, c.Green, c.Blue};
      d.Add(a, b);
    }
  return d;
}

void Report(const char* what, const Difference& d, int allowed) {
  if (d.pixels == 0)
    std::printf("%s: decoded pixels equal\n", what);
  else
    std::printf("%s: %ld pixels differ, by at most %d in a channel\n", what, d.pixels, d.largest);
  if (d.largest > allowed) Fail("equal decoding");
}

double Ours(const std::vector<uint8_t>& bytes, uint16_t type) {
  kxobject::TMemStream stream(uint32_t(bytes.size()), 4096);
  stream.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  return Best([&] {
    stream.Seek(0);
    kxobject::TKxDib dib(stream, type);
    if (dib.Status != 1 || dib.Width() != kWidth || dib.Height() != kHeight) Fail("our reader");
  });
}

}  // namespace

int main() {
  const std::vector<uint8_t> jpeg = MakeJpeg(), gif = MakeGif();
  std::printf("JPEG %dx%d, %zu bytes, 4:2:0, quality 85, accurate integer DCT; GIF %dx%d, %zu bytes, 256 colours\n",
              kWidth, kHeight, jpeg.size(), kWidth, kHeight, gif.size());
  std::printf("best of %d runs each\n\n", kRuns);

  const double oursJpeg = Ours(jpeg, kxobject::kPictureJpeg);
  // Each run decodes into a new picture, as a reader must.
  tjhandle tj = tjInitDecompress();
  const int pitch = (kWidth * 3 + 3) & ~3;
  const double theirsJpeg = Best([&] {
    std::unique_ptr<uint8_t[]> bgr(new uint8_t[size_t(pitch) * kHeight]);
    if (tjDecompress2(tj, jpeg.data(), jpeg.size(), bgr.get(), kWidth, pitch, kHeight, TJPF_BGR, TJFLAG_BOTTOMUP) != 0)
      Fail("tjDecompress2");
  });
  // For reference: into one buffer reused by every run (no new memory to
  // fault in), which no reader of new pictures can do.
  std::vector<uint8_t> reused(size_t(pitch) * kHeight);
  const double reusedJpeg = Best([&] {
    if (tjDecompress2(tj, jpeg.data(), jpeg.size(), reused.data(), kWidth, pitch, kHeight, TJPF_BGR,
                      TJFLAG_BOTTOMUP) != 0)
      Fail("tjDecompress2");
  });
  tjDestroy(tj);

  const double oursGif = Ours(gif, kxobject::kPictureGif);
  const double theirsGif = Best([&] {
    Reader r{&gif};
    int error = 0;
    GifFileType* g = DGifOpen(&r, ReadMemory, &error);
    if (!g || DGifSlurp(g) == GIF_ERROR) Fail("DGifSlurp");
    DGifCloseFile(g, &error);
  });

  std::printf("%-6s %12s %12s %8s\n", "", "ours (ms)", "theirs (ms)", "ratio");
  std::printf("%-6s %12.1f %12.1f %8.2f   (tjDecompress2)\n", "JPEG", oursJpeg * 1e3, theirsJpeg * 1e3,
              oursJpeg / theirsJpeg);
  std::printf("%-6s %12.1f %12.1f %8.2f   (giflib DGifSlurp)\n", "GIF", oursGif * 1e3, theirsGif * 1e3,
              oursGif / theirsGif);
  std::printf("\nreference: tjDecompress2 into a reused buffer %.1f ms\n", reusedJpeg * 1e3);

  // Both sides must decode the same pictures: a GIF exactly; a JPEG within
  // the rounding that IDCT implementations may differ by.
  Report("JPEG", CompareJpeg(*Decode(jpeg, kxobject::kPictureJpeg), reused.data(), pitch), kJpegTolerance);
  Reader r{&gif};
  int error = 0;
  GifFileType* g = DGifOpen(&r, ReadMemory, &error);
  if (!g || DGifSlurp(g) == GIF_ERROR) Fail("DGifSlurp");
  Report("GIF", CompareGif(*Decode(gif, kxobject::kPictureGif), *g), 0);
  DGifCloseFile(g, &error);
  return 0;
}
