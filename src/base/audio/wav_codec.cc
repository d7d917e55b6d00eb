#include "base/audio/wav_codec.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/audio/sndfile_memory.h"
#include "base/logging.h"

namespace base {
namespace {

using audio_internal::MemorySink;
using audio_internal::MemorySource;
using audio_internal::SoundFile;

// What the decoder needs of a WAV file's fmt chunk, named after its fields.
struct WavFormat {
  int bitsPerSample;
  int channels;
  sf_count_t totalPCMFrameCount;
};

bool is_riff_wave(int format) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
      return true;
    default:
      return false;
  }
}

int bits_per_sample(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    case SF_FORMAT_PCM_24:
      return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 32;
    case SF_FORMAT_DOUBLE:
      return 64;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
      return 4;
    default:
      return 0;
  }
}

}  // namespace

void decode_wav(const void* data, size_t length, AudioBuffer& buffer) {
  MemorySource source(data, length);
  SF_INFO info;
  SoundFile file(source.open(info));
  if (!file || !is_riff_wave(info.format) || info.channels <= 0) {
    LOG(ERROR) << "drwav_init_memory() failed";
    return;
  }
  const WavFormat wav = {bits_per_sample(info.format), info.channels, info.frames};
  CHECK(wav.bitsPerSample == 16);
  // The buffer counts samples in 32 bits; a longer file cannot be held.
  CHECK(wav.totalPCMFrameCount <= std::numeric_limits<int32_t>::max() / wav.channels);
  // A header may claim more frames than the bytes hold; size the buffer by what can be there.
  const sf_count_t present = static_cast<sf_count_t>(length / sizeof(int16_t)) / wav.channels;
  const sf_count_t frames = std::min(wav.totalPCMFrameCount, present);
  const int32_t total = static_cast<int32_t>(frames) * wav.channels;

  if (buffer.size == total && buffer.samples != nullptr) {
    buffer.sample_rate = info.samplerate;
    buffer.channels = wav.channels;
  } else {
    buffer.reset();
    buffer.samples =
        static_cast<int16_t*>(allocate_or_throw(static_cast<size_t>(total) * sizeof(int16_t)));
    buffer.size = total;
    buffer.capacity = total;
    buffer.sample_rate = info.samplerate;
    buffer.channels = wav.channels;
  }
  const sf_count_t read = frames > 0 ? sf_readf_short(file.get(), buffer.samples, frames) : 0;
  // A data chunk that ends early: keep only what is really there.
  if (read < frames) buffer.size = static_cast<int32_t>(read < 0 ? 0 : read) * wav.channels;
}

void encode_wav(const AudioBuffer& buffer, void** out, size_t* out_size) {
  SF_INFO info = {};
  info.samplerate = buffer.sample_rate;
  info.channels = buffer.channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  MemorySink sink;
  SoundFile file(buffer.sample_rate > 0 && buffer.channels > 0 ? sink.open(info) : nullptr);
  if (!file) CHECK(false);

  const sf_count_t frames = buffer.size / buffer.channels;
  const sf_count_t written = frames > 0 ? sf_writef_short(file.get(), buffer.samples, frames) : 0;
  const int status = file.close();  // finalises the header sizes
  if (sink.out_of_memory()) throw_bad_allocation();
  CHECK(written == frames && status == 0);
  sink.release(out, out_size);
}

}  // namespace base
