// Wave files: the RIFF image of PCM sound, as sounds are stored in documents
// and blob fields and as the media player's temporary files hold them.
//
// Layout (little-endian):
//
//   offset  size  field
//   0       4     "RIFF"
//   4       4     size of everything after this field (image length - 8)
//   8       4     "WAVE"
//   12      ...   chunks: 4-byte id, u32 size, size bytes, one pad byte
//                 when size is odd. "fmt " (at least 16 bytes): format tag
//                 (1 = PCM), channels, samples per second, bytes per second,
//                 block align, bits per sample. "data": the samples.
//
// What always holds:
//   1. RiffImageLength reads only the first 8 bytes; ParseWave never reads
//      outside the image it is given, whatever its chunk sizes claim: a
//      chunk that runs past the end is cut to the end.
//   2. A Wave that ParseWave answers is playable: PCM, 1 or 2 channels, 8 or
//      16 bits, a rate of 1 to 384,000, block align = channels x bytes per
//      sample; its data span lies inside the image and holds whole frames.
//   3. BuildWave writes what ParseWave reads back: the same format and the
//      same samples.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace media {

struct WaveFormat {
  uint16_t formatTag = 1;
  uint16_t channels = 1;
  uint32_t samplesPerSec = 8000;
  uint32_t avgBytesPerSec = 8000;
  uint16_t blockAlign = 1;
  uint16_t bitsPerSample = 8;
  bool operator==(const WaveFormat&) const = default;
};

struct Wave {
  WaveFormat format;
  std::span<const uint8_t> data;
};

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint32_t kRiffHeaderSize = 8;

// The length of the image its header announces (the size field + 8), or 0
// when the bytes do not begin with "RIFF" and a size.
uint64_t RiffImageLength(std::span<const uint8_t> head);

// The PCM sound of a wave image, or nothing when it is not one (rule 2).
std::optional<Wave> ParseWave(std::span<const uint8_t> image);

// How long the samples play, in milliseconds (rounded up).
uint64_t DurationMs(const WaveFormat& format, uint64_t bytes);
// The byte offset of a time into the samples, on a frame boundary.
uint64_t OffsetOfMs(const WaveFormat& format, uint64_t ms);

// A PCM format from channels, rate and bits, with the derived fields set.
WaveFormat PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits);
// The wave image of the samples (rule 3).
std::vector<uint8_t> BuildWave(const WaveFormat& format, std::span<const uint8_t> samples);

}  // namespace media
