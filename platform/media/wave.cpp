#include "platform/media/wave.h"

#include <algorithm>
#include <cstring>

namespace media {

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return uint32_t(Get16(p)) | uint32_t(Get16(p + 2)) << 16; }

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v);
  Put16(out, v >> 16);
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

constexpr uint32_t kFormatChunkSize = 16;
constexpr uint32_t kMaxRate = 384000;

bool Playable(const WaveFormat& f) {
  return f.formatTag == kWaveFormatPcm && (f.channels == 1 || f.channels == 2) &&
         (f.bitsPerSample == 8 || f.bitsPerSample == 16) && f.samplesPerSec >= 1 && f.samplesPerSec <= kMaxRate &&
         f.blockAlign == f.channels * (f.bitsPerSample / 8);
}

}  // namespace

uint64_t RiffImageLength(std::span<const uint8_t> head) {
  if (head.size() < kRiffHeaderSize || std::memcmp(head.data(), "RIFF", 4) != 0) return 0;
  return uint64_t(Get32(head.data() + 4)) + kRiffHeaderSize;
}

std::optional<Wave> ParseWave(std::span<const uint8_t> image) {
  if (RiffImageLength(image) == 0 || image.size() < 12 || std::memcmp(image.data() + 8, "WAVE", 4) != 0) return {};
  const size_t end = size_t(std::min<uint64_t>(image.size(), RiffImageLength(image)));
  std::optional<WaveFormat> format;
  size_t pos = 12;
  while (pos + 8 <= end) {
    const uint8_t* chunk = image.data() + pos;
    const size_t size = std::min<size_t>(Get32(chunk + 4), end - pos - 8);
    const uint8_t* body = chunk + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= kFormatChunkSize) {
      format = WaveFormat{Get16(body), Get16(body + 2), Get32(body + 4), Get32(body + 8), Get16(body + 12),
                          Get16(body + 14)};
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!format || !Playable(*format)) return {};
      return Wave{*format, std::span<const uint8_t>(body, size - size % format->blockAlign)};
    }
    pos += 8 + size + (size & 1);
  }
  return {};
}

uint64_t DurationMs(const WaveFormat& format, uint64_t bytes) {
  const uint64_t perSecond = uint64_t(format.samplesPerSec) * std::max<uint16_t>(format.blockAlign, 1);
  return perSecond ? (bytes * 1000 + perSecond - 1) / perSecond : 0;
}

uint64_t OffsetOfMs(const WaveFormat& format, uint64_t ms) {
  return ms * format.samplesPerSec / 1000 * format.blockAlign;
}

WaveFormat PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  const uint16_t align = uint16_t(channels * (bits / 8));
  return WaveFormat{kWaveFormatPcm, channels, rate, rate * align, align, bits};
}

std::vector<uint8_t> BuildWave(const WaveFormat& format, std::span<const uint8_t> samples) {
  std::vector<uint8_t> out;
  const uint32_t pad = samples.size() & 1;
  out.reserve(44 + samples.size() + pad);
  PutTag(out, "RIFF");
  Put32(out, uint32_t(36 + samples.size() + pad));
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, kFormatChunkSize);
  Put16(out, format.formatTag);
  Put16(out, format.channels);
  Put32(out, format.samplesPerSec);
  Put32(out, format.avgBytesPerSec);
  Put16(out, format.blockAlign);
  Put16(out, format.bitsPerSample);
  PutTag(out, "data");
  Put32(out, uint32_t(samples.size()));
  out.insert(out.end(), samples.begin(), samples.end());
  if (pad) out.push_back(0);
  return out;
}

}  // namespace media
