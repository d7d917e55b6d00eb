#include "base/audio/sndfile_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/audio/audio_buffer.h"

namespace base::audio_internal {
namespace {

// The new position for a seek, or -1 when it would be negative or the origin is unknown.
sf_count_t seek_target(sf_count_t offset, int whence, sf_count_t position, sf_count_t length) {
  sf_count_t origin;
  switch (whence) {
    case SEEK_SET:
      origin = 0;
      break;
    case SEEK_CUR:
      origin = position;
      break;
    case SEEK_END:
      origin = length;
      break;
    default:
      return -1;
  }
  if (offset < 0 ? origin < -offset : offset > INT64_MAX - origin) return -1;
  return origin + offset;
}

}  // namespace

int SoundFile::close() {
  if (file_ == nullptr) return 0;
  const int status = sf_close(file_);
  file_ = nullptr;
  return status;
}

SNDFILE* MemoryFile::open_virtual(int mode, SF_INFO& info) {
  static SF_VIRTUAL_IO io = {get_length_callback, seek_callback, read_callback, write_callback,
                             tell_callback};
  return sf_open_virtual(&io, mode, &info, this);
}

sf_count_t MemoryFile::get_length_callback(void* user) {
  return static_cast<MemoryFile*>(user)->length_;
}

sf_count_t MemoryFile::seek_callback(sf_count_t offset, int whence, void* user) {
  auto* self = static_cast<MemoryFile*>(user);
  const sf_count_t target = seek_target(offset, whence, self->position_, self->length_);
  if (target < 0) return -1;
  self->position_ = target;  // past the end reads nothing, as with a file
  return target;
}

sf_count_t MemoryFile::read_callback(void* ptr, sf_count_t count, void* user) {
  auto* self = static_cast<MemoryFile*>(user);
  if (count <= 0 || self->position_ >= self->length_) return 0;
  const sf_count_t n = std::min(count, self->length_ - self->position_);
  std::memcpy(ptr, self->bytes_ + self->position_, static_cast<size_t>(n));
  self->position_ += n;
  return n;
}

sf_count_t MemoryFile::write_callback(const void* ptr, sf_count_t count, void* user) {
  return static_cast<MemoryFile*>(user)->write(ptr, count);
}

sf_count_t MemoryFile::tell_callback(void* user) {
  return static_cast<MemoryFile*>(user)->position_;
}

SNDFILE* MemorySource::open(SF_INFO& info) {
  info = SF_INFO{};
  position_ = 0;
  return open_virtual(SFM_READ, info);
}

MemorySink::~MemorySink() { std::free(data_); }

void MemorySink::release(void** out, size_t* out_size) {
  if (data_ == nullptr) data_ = static_cast<uint8_t*>(allocate_or_throw(0));
  *out = data_;
  *out_size = static_cast<size_t>(length_);
  data_ = nullptr;
  bytes_ = nullptr;
  capacity_ = length_ = position_ = 0;
}

sf_count_t MemorySink::write(const void* ptr, sf_count_t count) {
  if (count <= 0) return 0;
  if (count > INT64_MAX / 2 - position_) return 0;
  const sf_count_t end = position_ + count;
  if (end > capacity_) {
    // Called from inside the library: report a short write instead of throwing through it.
    const sf_count_t grown = std::max(end, capacity_ * 2);
    void* block = std::realloc(data_, static_cast<size_t>(grown));
    if (block == nullptr) {
      out_of_memory_ = true;
      return 0;
    }
    data_ = static_cast<uint8_t*>(block);
    bytes_ = data_;
    capacity_ = grown;
  }
  // A seek past the end leaves a gap, which reads as zeros.
  if (position_ > length_) {
    std::memset(data_ + length_, 0, static_cast<size_t>(position_ - length_));
  }
  std::memcpy(data_ + position_, ptr, static_cast<size_t>(count));
  position_ = end;
  length_ = std::max(length_, end);
  return count;
}

}  // namespace base::audio_internal
