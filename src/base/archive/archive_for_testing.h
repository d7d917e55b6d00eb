// Helpers shared by the archive tests: the 353-byte example archive, byte patching, and I/O
// objects that fail on cue or pretend to be larger than the bytes they hold.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "base/archive/archive_io.h"

namespace base::testing_archive {

inline void put_le(std::string& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

inline std::string record(int32_t index, const std::string& name) {
  std::string r(64, '\0');
  put_le(r, 0, static_cast<uint32_t>(index), 4);
  std::memcpy(&r[4], name.data(), name.size());
  return r;
}

inline std::string entry(uint32_t flags, int32_t idx, int64_t offset, int64_t length) {
  std::string e(24, '\0');
  put_le(e, 0, flags, 4);
  put_le(e, 4, static_cast<uint32_t>(idx), 4);
  put_le(e, 8, static_cast<uint64_t>(offset), 8);
  put_le(e, 16, static_cast<uint64_t>(length), 8);
  return e;
}

// One folder "docs" holding "hello.txt" ("hello"): header, contents at 20, root block at 25
// (".", "..", "docs"), docs block at 217, extent table of three entries at 281.
inline std::string example_archive() {
  std::string bytes(20, '\0');
  put_le(bytes, 4, 281, 8);
  put_le(bytes, 12, 72, 8);
  bytes += "hello";
  bytes += record(0, ".") + record(0, "..") + record(1, "docs");
  bytes += record(2, "hello.txt");
  bytes += entry(0, 0, 25, 192) + entry(0, 1, 217, 64) + entry(1, 2, 20, 5);
  return bytes;
}

// Offsets of the example's extent entries and records, for patching.
constexpr size_t kExampleEntry0 = 281;
constexpr size_t kExampleEntry1 = 305;
constexpr size_t kExampleEntry2 = 329;
constexpr size_t kExampleRootRecords = 25;
constexpr size_t kExampleDocsRecord = 217;

// Reads from memory, failing the n-th read or seek (counted from 0) when asked to.
class ScriptedIO final : public ArchiveIO {
 public:
  explicit ScriptedIO(std::string bytes) : inner_(std::move(bytes)) {}
  int fail_read = -1;
  int fail_seek = -1;
  int reads = 0;
  int seeks = 0;
  bool good() override { return !failed_ && inner_.good(); }
  bool read(void* ptr, size_t size) override {
    if (reads++ == fail_read) failed_ = true;
    return !failed_ && inner_.read(ptr, size);
  }
  bool seek(uint64_t pos) override {
    if (seeks++ == fail_seek) failed_ = true;
    return !failed_ && inner_.seek(pos);
  }
  uint64_t size() override { return inner_.size(); }
  using ArchiveIO::read;

 private:
  MemoryArchiveIO inner_;
  bool failed_ = false;
};

// Claims `size` bytes but holds only a prefix; reads past the prefix give zero bytes. Lets a
// test describe a huge archive without holding it.
class SparseIO final : public ArchiveIO {
 public:
  SparseIO(std::string prefix, uint64_t size) : prefix_(std::move(prefix)), size_(size) {}
  bool good() override { return good_; }
  bool read(void* ptr, size_t size) override {
    if (!good_ || pos_ > size_ || size > size_ - pos_) return good_ = false;
    auto* out = static_cast<char*>(ptr);
    for (size_t i = 0; i < size; ++i, ++pos_) out[i] = pos_ < prefix_.size() ? prefix_[pos_] : 0;
    return true;
  }
  bool seek(uint64_t pos) override {
    pos_ = pos;
    return good_;
  }
  uint64_t size() override { return size_; }
  using ArchiveIO::read;

 private:
  std::string prefix_;
  uint64_t size_;
  uint64_t pos_ = 0;
  bool good_ = true;
};

}  // namespace base::testing_archive
