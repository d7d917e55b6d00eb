// In-memory sources and sinks for the sound-file library's virtual I/O, shared by the WAV and
// MP3 codecs. Internal to src/base/audio.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>

namespace base::audio_internal {

// Closes a sound-file handle when it goes out of scope.
class SoundFile {
 public:
  explicit SoundFile(SNDFILE* file) : file_(file) {}
  ~SoundFile() { close(); }
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;

  [[nodiscard]] SNDFILE* get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }
  // Closes now (finalising a file being written); answers the library's status, 0 on success.
  int close();

 private:
  SNDFILE* file_;
};

// A file in memory behind the library's virtual I/O: reads, seeks (also past the end, as with
// a file) and the length are common; writing is up to the subclass.
class MemoryFile {
 public:
  MemoryFile() = default;
  virtual ~MemoryFile() = default;
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

 protected:
  // Opens a handle on this file in `mode` (SFM_READ or SFM_WRITE); null when the library
  // refuses. The object must outlive the handle.
  [[nodiscard]] SNDFILE* open_virtual(int mode, SF_INFO& info);
  virtual sf_count_t write(const void* ptr, sf_count_t count) = 0;

  const uint8_t* bytes_ = nullptr;
  sf_count_t length_ = 0;
  sf_count_t position_ = 0;

 private:
  static sf_count_t get_length_callback(void* user);
  static sf_count_t seek_callback(sf_count_t offset, int whence, void* user);
  static sf_count_t read_callback(void* ptr, sf_count_t count, void* user);
  static sf_count_t write_callback(const void* ptr, sf_count_t count, void* user);
  static sf_count_t tell_callback(void* user);
};

// Bytes in memory read as a file. The bytes must outlive any handle opened on it.
class MemorySource : public MemoryFile {
 public:
  MemorySource(const void* data, size_t length) {
    bytes_ = static_cast<const uint8_t*>(data);
    length_ = static_cast<sf_count_t>(length);
  }

  // Opens the bytes read-only; null when the library does not recognise them. `info` receives
  // the format.
  [[nodiscard]] SNDFILE* open(SF_INFO& info);

 protected:
  sf_count_t write(const void*, sf_count_t) override { return 0; }
};

// A growable output file in memory. Its bytes come from malloc; release() hands them over.
class MemorySink : public MemoryFile {
 public:
  MemorySink() = default;
  ~MemorySink() override;

  // Opens the sink for writing with `info`'s format; null when the library refuses the format.
  [[nodiscard]] SNDFILE* open(SF_INFO& info) { return open_virtual(SFM_WRITE, info); }

  // True when a write could not get memory; the file is then incomplete.
  [[nodiscard]] bool out_of_memory() const { return out_of_memory_; }

  // Gives up ownership of the written bytes (never null, even when nothing was written).
  void release(void** out, size_t* out_size);

 protected:
  sf_count_t write(const void* ptr, sf_count_t count) override;

 private:
  uint8_t* data_ = nullptr;
  sf_count_t capacity_ = 0;
  bool out_of_memory_ = false;
};

}  // namespace base::audio_internal
