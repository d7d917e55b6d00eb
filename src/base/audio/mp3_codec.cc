#include "base/audio/mp3_codec.h"

#include <sndfile.h>

#include <cstdint>

#include "base/audio/sndfile_memory.h"
#include "base/logging.h"

namespace base {
namespace {

constexpr int kScratchSamples = 4096;

}  // namespace

void decode_mp3(const void* data, size_t length, AudioBuffer& buffer) {
  audio_internal::MemorySource source(data, length);
  SF_INFO info;
  audio_internal::SoundFile file(source.open(info));
  // The library also opens WAV, AIFF and others from the same call; only MPEG audio is ours.
  if (!file || (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG || info.channels <= 0 ||
      info.channels > kScratchSamples) {
    file.close();
    CHECK(false);
  }
  // Decoded MPEG audio may overshoot full scale; clip instead of wrapping around.
  sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

  if (buffer.size != 0) buffer.reset();
  buffer.sample_rate = info.samplerate;
  buffer.channels = info.channels;

  alignas(32) int16_t scratch[kScratchSamples] = {};
  const sf_count_t frames_per_read = kScratchSamples / info.channels;
  for (;;) {
    const sf_count_t frames = sf_readf_short(file.get(), scratch, frames_per_read);
    if (frames <= 0) break;
    buffer.append(scratch, static_cast<int32_t>(frames) * info.channels);
  }
}

}  // namespace base
