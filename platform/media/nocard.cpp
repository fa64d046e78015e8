// The sound card sink of a program built without a sound service: silent,
// waiting as the silent sink does (see audio.h, rule 5).
#include "platform/media/audio.h"

namespace media {

std::unique_ptr<AudioSink> CreateSoundCardSink(const char*) { return std::make_unique<SilentSink>(); }

}  // namespace media
