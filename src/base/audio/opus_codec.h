// Ogg Opus decoding into an AudioBuffer and encoding from one, entirely in memory.
#pragma once

#include <cstddef>

#include "base/audio/audio_buffer.h"

namespace base {

// Decodes an Ogg Opus stream held in `data`; the result is always at 48000 Hz, with the channel
// count of the first link. Bytes that cannot be opened as Ogg Opus throw std::runtime_error
// ("op_open_memory() failed", logged at ERROR) and leave `buffer` untouched. A decoding error
// mid-stream, or a later link with another channel count, ends the stream: `buffer` keeps what
// was decoded before it. The buffer grows to exactly the samples decoded.
void decode_opus(const void* data, size_t length, AudioBuffer& buffer);

// Encodes `buffer` as Ogg Opus with the encoder library's default settings (its rate is passed
// through and resampled as needed). On return `*out` is a malloc block the caller frees and
// `*out_size` its byte count. An encoder that cannot be created (unsupported rate or channel
// count) logs the library's error text at ERROR and throws CheckException; a failure while
// encoding throws std::runtime_error; running out of memory throws std::bad_alloc.
void encode_opus(const AudioBuffer& buffer, void** out, size_t* out_size);

}  // namespace base
