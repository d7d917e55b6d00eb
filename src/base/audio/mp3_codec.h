// MP3 (MPEG audio) decoding into an AudioBuffer, from memory.
#pragma once

#include <cstddef>

#include "base/audio/audio_buffer.h"

namespace base {

// Decodes an MPEG audio stream held in `data` at its own rate and channel count. Bytes that are
// not MPEG audio throw CheckException (false). A decoding error or a cut mid-stream ends the
// stream: `buffer` keeps the frames decoded before it. The buffer grows to exactly the samples
// decoded.
void decode_mp3(const void* data, size_t length, AudioBuffer& buffer);

}  // namespace base
