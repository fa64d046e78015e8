// Decoding a 4000 x 3000 JPEG and a 4000 x 3000 GIF held in memory: our
// readers (TKxDib from a memory stream, as pictures are read from
// documents) against libjpeg-turbo's tjDecompress2 and giflib's DGifSlurp.
// Both JPEG sides write bottom-up BGR rows padded to 4 bytes, the DIB's
// layout, with the accurate integer DCT, each run into a new picture.
// Prints the best of several runs per side and the ratio ours / theirs (goal:
// JPEG within 1.1, GIF at most 1.0), and for reference TurboJPEG into one
// reused buffer (the cost of faulting in a new picture's memory left out).
#include <gif_lib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxstream.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 4000, kHeight = 3000, kRuns = 5;

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

// A photo-like picture: smooth gradients with some texture.
std::vector<uint8_t> Photo() {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  uint32_t seed = 1;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525 + 1013904223;
      uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
      const int noise = int(seed >> 28) - 8;
      p[0] = uint8_t(std::clamp((x * 255) / kWidth + noise, 0, 255));
      p[1] = uint8_t(std::clamp((y * 255) / kHeight + noise, 0, 255));
      p[2] = uint8_t(std::clamp(((x + y) / 16 % 2) * 120 + 60 + noise, 0, 255));
    }
  return rgb;
}

std::vector<uint8_t> MakeJpeg() {
  const std::vector<uint8_t> rgb = Photo();
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
  return 0;
}
