// Byte sources for resource archives: the abstract ArchiveIO through which an Archive reads every
// byte, StreamArchiveIO over the archive file on disk, and MemoryArchiveIO over bytes held in
// memory (tests, fuzzing, archives built on the fly).
//
// Contract every implementation keeps:
//  - one read position, set absolutely by seek() and advanced by read();
//  - a failed seek or read leaves the object not good for good: every later call fails too;
//  - seeking past the end succeeds, and the next read that runs off the end fails;
//  - size() answers the total byte count and never changes the read position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace base {

class ArchiveIO {
 public:
  virtual ~ArchiveIO() = default;

  // The source is open and no seek or read has failed yet.
  [[nodiscard]] virtual bool good() = 0;
  // Reads exactly `size` bytes at the current position into `ptr`; answers good() afterwards,
  // so a short read answers false (the bytes it did copy stay in `ptr`).
  [[nodiscard]] virtual bool read(void* ptr, size_t size) = 0;
  // Sets the read position to `pos` bytes from the start; answers good() afterwards.
  [[nodiscard]] virtual bool seek(uint64_t pos) = 0;
  // Total size of the source in bytes (0 when it is not open). Readers check header fields
  // against it before sizing anything from them.
  [[nodiscard]] virtual uint64_t size() = 0;

  // Reads one value of trivially copyable type, byte for byte (the archive is little-endian, as
  // is every host we build for).
  template <class T>
  [[nodiscard]] bool read(T* value) {
    return read(static_cast<void*>(value), sizeof(T));
  }
};

// The archive file on disk, read through a binary input file stream.
class StreamArchiveIO final : public ArchiveIO {
 public:
  // Locates the archive whose base name is `name`: beside the running executable, else in the
  // resource folder. Never throws: a missing archive logs the WARNING "Could not find archive";
  // a file that cannot be opened logs "Could not open archive file at <path>" and leaves the
  // object not good.
  explicit StreamArchiveIO(const std::string& name);
  // Opens the file at exactly `file_path` (tools that are given an archive's path). A file that
  // cannot be opened logs the second warning above; the object is then not good.
  [[nodiscard]] static std::unique_ptr<StreamArchiveIO> at_path(const std::string& file_path);

  bool good() override;
  bool read(void* ptr, size_t size) override;
  bool seek(uint64_t pos) override;
  uint64_t size() override { return size_; }
  using ArchiveIO::read;

 private:
  struct AtPath {};
  StreamArchiveIO(const std::string& file_path, AtPath);
  void open(const std::string& file_path);

  std::ifstream stream_;
  uint64_t size_ = 0;
};

// An archive image held in memory; owns its bytes.
class MemoryArchiveIO final : public ArchiveIO {
 public:
  explicit MemoryArchiveIO(std::string bytes) : bytes_(std::move(bytes)) {}

  bool good() override { return good_; }
  bool read(void* ptr, size_t size) override;
  bool seek(uint64_t pos) override;
  uint64_t size() override { return bytes_.size(); }
  using ArchiveIO::read;

 private:
  std::string bytes_;
  uint64_t pos_ = 0;
  bool good_ = true;
};

}  // namespace base
