// AudioBuffer: the one in-memory form of decoded sound, interleaved signed 16-bit PCM with its
// sample rate and channel count, filled by the decoders in wav_codec.h, opus_codec.h and
// mp3_codec.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace base {

// Interleaved 16-bit samples (frame after frame, channels in the file's order). `samples` comes
// from malloc/realloc and is freed by the destructor. A default buffer is all zeros with no
// allocation. Movable, not copyable; a moved-from buffer is empty.
struct AudioBuffer {
  int32_t size = 0;         // samples held: frames x channels
  int32_t capacity = 0;     // samples the allocation can hold
  int32_t sample_rate = 0;  // frames per second
  int32_t channels = 0;     // samples per frame
  int16_t* samples = nullptr;

  AudioBuffer() = default;
  ~AudioBuffer();
  AudioBuffer(AudioBuffer&& other) noexcept;
  AudioBuffer& operator=(AudioBuffer&& other) noexcept;
  AudioBuffer(const AudioBuffer&) = delete;
  AudioBuffer& operator=(const AudioBuffer&) = delete;

  // Number of whole frames held (0 when `channels` is 0).
  [[nodiscard]] int32_t frames() const { return channels > 0 ? size / channels : 0; }

  // Frees the allocation and sets `size` and `capacity` to 0; rate and channels stay.
  void reset();

  // Appends `count` samples, growing the allocation to exactly `size` + `count` when it is too
  // small. Throws std::bad_alloc ("bad allocation") when memory runs out or the total would not
  // fit in 32 bits; the buffer is unchanged then.
  void append(const int16_t* data, int32_t count);
};

// malloc that throws std::bad_alloc with the text "bad allocation" instead of returning null.
// A request of 0 bytes still returns a distinct block.
[[nodiscard]] void* allocate_or_throw(size_t bytes);

// realloc that throws like allocate_or_throw; on failure `block` is left untouched.
[[nodiscard]] void* reallocate_or_throw(void* block, size_t bytes);

// Throws the std::bad_alloc ("bad allocation") that the two functions above throw.
[[noreturn]] void throw_bad_allocation();

}  // namespace base
