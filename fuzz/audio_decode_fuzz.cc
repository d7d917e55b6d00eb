// One libFuzzer body for the three audio decoders; AUDIO_DECODER names the one a target runs.
// Every input must end in a decoded buffer or one of the decoders' documented exceptions, with
// no memory fault, leak or undefined behaviour; what is decoded must be self-consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "base/audio/audio_buffer.h"
#include "base/audio/mp3_codec.h"
#include "base/audio/opus_codec.h"
#include "base/audio/wav_codec.h"
#include "base/logging.h"

// The Ogg Opus library (0.12) loses the comment headers it parsed when opening fails with
// OP_EBADTIMESTAMP; the handle never reaches the caller, so the decoder cannot free them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libopusfile.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  base::set_min_severity(base::kLogFatal + 1);  // failures are expected; keep the output quiet
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  base::AudioBuffer buffer;
  try {
    AUDIO_DECODER(data, size, buffer);
  } catch (const std::exception&) {
    // Checks, failed operations and allocation failures are the decoders' answers to bad bytes.
  }
  if (buffer.size < 0 || buffer.size > buffer.capacity) std::abort();
  if (buffer.size > 0 && (buffer.channels <= 0 || buffer.samples == nullptr)) std::abort();
  // Touch every sample so that the sanitizers see any that lie outside the allocation.
  int64_t sum = 0;
  for (int32_t i = 0; i < buffer.size; ++i) sum += buffer.samples[i];
  return sum == INT64_MIN ? 1 : 0;
}
