// Fuzzes the wave reader: any bytes give a wave or none, never a read outside
// them; a wave read is written again and must read back with the same format
// and samples. Seeds: waves our writer made (media_test.cpp,
// MEDIA_WRITE_FUZZ_SEEDS=folder).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/media/wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const auto wave = media::ParseWave(std::span(data, size));
  if (!wave) return 0;
  if (wave->data.data() < data || wave->data.data() + wave->data.size() > data + size) __builtin_trap();
  const auto image = media::BuildWave(wave->format, wave->data);
  const auto back = media::ParseWave(image);
  if (!back || !(back->format == wave->format) || !std::equal(back->data.begin(), back->data.end(), wave->data.begin(), wave->data.end()))
    __builtin_trap();
  return 0;
}
