#include "base/archive/archive_io.h"

#include <cstring>
#include <limits>

#include "base/logging.h"
#include "base/path.h"

namespace base {

StreamArchiveIO::StreamArchiveIO(const std::string& name) {
  std::string file_path = path::join(well_known_path(kPathExecutableFolder), name);
  if (!path::exists(file_path)) {
    file_path = path::join(well_known_path(kPathResourceFolder), name);
    if (!path::exists(file_path)) LOG(WARNING) << "Could not find archive";
  }
  open(file_path);
}

StreamArchiveIO::StreamArchiveIO(const std::string& file_path, AtPath) { open(file_path); }

std::unique_ptr<StreamArchiveIO> StreamArchiveIO::at_path(const std::string& file_path) {
  return std::unique_ptr<StreamArchiveIO>(new StreamArchiveIO(file_path, AtPath{}));
}

void StreamArchiveIO::open(const std::string& file_path) {
  stream_.open(file_path, std::ios::in | std::ios::binary);
  // The size is taken once; a folder opens on some systems but fails the seek to its end.
  if (stream_.good()) {
    stream_.seekg(0, std::ios::end);
    const std::streamoff end = stream_.tellg();
    stream_.seekg(0, std::ios::beg);
    if (end >= 0) size_ = static_cast<uint64_t>(end);
  }
  if (!stream_.good()) {
    LOG(WARNING) << "Could not open archive file at " << file_path;
    stream_.close();
    size_ = 0;
  }
}

bool StreamArchiveIO::good() { return stream_.is_open() && stream_.good(); }

bool StreamArchiveIO::read(void* ptr, size_t size) {
  if (size > static_cast<size_t>(std::numeric_limits<std::streamsize>::max())) {
    stream_.setstate(std::ios::failbit);
    return false;
  }
  stream_.read(static_cast<char*>(ptr), static_cast<std::streamsize>(size));
  return good();
}

bool StreamArchiveIO::seek(uint64_t pos) {
  // Positions past the largest signed offset cannot name a byte of any file.
  if (pos > static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max())) {
    stream_.setstate(std::ios::failbit);
    return false;
  }
  stream_.seekg(static_cast<std::streamoff>(pos), std::ios::beg);
  return good();
}

bool MemoryArchiveIO::read(void* ptr, size_t size) {
  if (!good_) return false;
  const uint64_t available = pos_ < bytes_.size() ? bytes_.size() - pos_ : 0;
  const size_t copied = size < available ? size : static_cast<size_t>(available);
  if (copied > 0) std::memcpy(ptr, bytes_.data() + pos_, copied);
  pos_ += copied;
  if (copied < size) good_ = false;
  return good_;
}

bool MemoryArchiveIO::seek(uint64_t pos) {
  if (!good_) return false;
  pos_ = pos;
  return true;
}

}  // namespace base
