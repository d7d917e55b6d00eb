#include "base/audio/audio_buffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace base {
namespace {

class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

}  // namespace

void throw_bad_allocation() { throw BadAllocation(); }

void* allocate_or_throw(size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw BadAllocation();
  return block;
}

void* reallocate_or_throw(void* block, size_t bytes) {
  void* grown = std::realloc(block, bytes == 0 ? 1 : bytes);
  if (grown == nullptr) throw BadAllocation();
  return grown;
}

AudioBuffer::~AudioBuffer() { std::free(samples); }

AudioBuffer::AudioBuffer(AudioBuffer&& other) noexcept
    : size(std::exchange(other.size, 0)),
      capacity(std::exchange(other.capacity, 0)),
      sample_rate(std::exchange(other.sample_rate, 0)),
      channels(std::exchange(other.channels, 0)),
      samples(std::exchange(other.samples, nullptr)) {}

AudioBuffer& AudioBuffer::operator=(AudioBuffer&& other) noexcept {
  if (this != &other) {
    std::free(samples);
    size = std::exchange(other.size, 0);
    capacity = std::exchange(other.capacity, 0);
    sample_rate = std::exchange(other.sample_rate, 0);
    channels = std::exchange(other.channels, 0);
    samples = std::exchange(other.samples, nullptr);
  }
  return *this;
}

void AudioBuffer::reset() {
  std::free(samples);
  samples = nullptr;
  size = 0;
  capacity = 0;
}

void AudioBuffer::append(const int16_t* data, int32_t count) {
  if (count <= 0) return;
  if (count > std::numeric_limits<int32_t>::max() - size) throw BadAllocation();
  const int32_t needed = size + count;
  if (needed > capacity) {
    samples = static_cast<int16_t*>(
        reallocate_or_throw(samples, static_cast<size_t>(needed) * sizeof(int16_t)));
    capacity = needed;
  }
  std::memcpy(samples + size, data, static_cast<size_t>(count) * sizeof(int16_t));
  size = needed;
}

}  // namespace base
