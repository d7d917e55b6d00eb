// WAV (RIFF) decoding into an AudioBuffer and encoding from one, entirely in memory.
#pragma once

#include <cstddef>

#include "base/audio/audio_buffer.h"

namespace base {

// Decodes a 16-bit PCM WAV file held in `data`.
// - Bytes that are not a WAV file: logs "drwav_init_memory() failed" at ERROR and returns with
//   `buffer` untouched; no exception.
// - Any sample width but 16 bits: CheckException (wav.bitsPerSample == 16).
// - More samples than fit in 32 bits: CheckException.
// When `buffer.size` already equals the file's sample count, its allocation is reused; otherwise
// it is replaced by one of exactly that size. A file whose data chunk ends early yields the
// frames present (`size` is what was read).
void decode_wav(const void* data, size_t length, AudioBuffer& buffer);

// Writes `buffer` as a 16-bit PCM WAV file. On return `*out` is a malloc block the caller frees
// and `*out_size` its byte count. A rate or channel count the format cannot hold is a
// CheckException; running out of memory throws std::bad_alloc.
void encode_wav(const AudioBuffer& buffer, void** out, size_t* out_size);

}  // namespace base
