#include "base/archive/archive.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>

#include "base/logging.h"

namespace base {

// --- DirectoryRecord ---------------------------------------------------------------------------

std::string DirectoryRecord::name_string() const {
  return std::string(name, strnlen(name, sizeof(name)));
}

bool DirectoryRecord::name_equals(const std::string& key) const {
  const size_t length = strnlen(name, sizeof(name));
  return length == key.size() && std::memcmp(name, key.data(), length) == 0;
}

// --- ArchivePath -------------------------------------------------------------------------------

bool ArchivePath::is_absolute(const ArchivePath& path) {
  return !path.text_.empty() && path.text_[0] == '/';
}

ArchivePath ArchivePath::without_trailing_separators(const ArchivePath& path) {
  std::string text = path.text_;
  if (text.size() < 2 || text == "//") return text;
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

ArchivePath ArchivePath::filename(const ArchivePath& path) {
  std::string q = without_trailing_separators(path).text_;
  const size_t slash = q.rfind('/');
  if (slash == std::string::npos || slash + 1 == q.size()) return q;
  return q.substr(slash + 1);
}

ArchivePath ArchivePath::parent(const ArchivePath& path) {
  const std::string q = without_trailing_separators(path).text_;
  const size_t slash = q.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  if (slash == 1 && q[0] == '/') return "//";
  return without_trailing_separators(q.substr(0, slash));
}

namespace {
bool is_dot_name(const std::string& name) { return name.empty() || name == "." || name == ".."; }
}  // namespace

ArchivePath ArchivePath::extension(const ArchivePath& path) {
  const std::string f = filename(path).text_;
  if (is_dot_name(f)) return "";
  const size_t dot = f.rfind('.');
  return dot == std::string::npos ? std::string() : f.substr(dot);
}

ArchivePath ArchivePath::stem(const ArchivePath& path) {
  const std::string f = filename(path).text_;
  if (is_dot_name(f)) return f;
  return f.substr(0, f.rfind('.'));
}

ArchivePath ArchivePath::join(const ArchivePath& base, const ArchivePath& component) {
  std::string r = without_trailing_separators(base).text_;
  if (!component.text_.empty() && !r.empty() && r.back() != '/') r += '/';
  r += component.text_;
  return r;
}

// --- entries -----------------------------------------------------------------------------------

ArchiveExtent* ArchiveDirectory::find(const std::string& name) const {
  for (const DirectoryRecord& record : records_) {
    if (record.name_equals(name)) return archive_->extent(record.index);
  }
  return nullptr;
}

bool ArchiveDirectory::contains(const std::string& name) const {
  for (const DirectoryRecord& record : records_) {
    if (record.name_equals(name)) return true;
  }
  return false;
}

bool ArchiveFile::read(void* ptr) {
  CHECK_CALL(archive_->io()->seek(offset_));
  CHECK_CALL(archive_->io()->read(ptr, length_));
  return true;
}

bool ArchiveFile::read(void* ptr, size_t size, uint64_t offset) {
  CHECK_CALL(archive_->io()->seek(offset_ + offset));
  CHECK_CALL(archive_->io()->read(ptr, size));
  return true;
}

// --- Archive -----------------------------------------------------------------------------------

Archive::Archive(const std::string& name) : name_(name) {
  auto io = std::make_unique<StreamArchiveIO>(name);
  if (io->good()) io_ = std::move(io);
  open();
}

Archive::Archive(const std::string& name, std::unique_ptr<ArchiveIO> io) : name_(name) {
  if (io && io->good()) io_ = std::move(io);
  open();
}

Archive::~Archive() {
  extents_.clear();
  io_.reset();
}

void Archive::damaged(const std::string& what) const {
  THROW_ERROR(fmt::format("Archive \"{}\" is damaged: {}", name_, what));
}

namespace {
// Whether [offset, offset + length) lies inside a file of `size` bytes.
bool fits(int64_t offset, int64_t length, uint64_t size) {
  return offset >= 0 && length >= 0 && static_cast<uint64_t>(offset) <= size &&
         static_cast<uint64_t>(length) <= size - static_cast<uint64_t>(offset);
}
}  // namespace

void Archive::open() {
  if (!io_) THROW_ERROR(fmt::format("Unable to open archive \"{}\"", name_));

  int64_t table_offset = 0;
  int64_t table_length = 0;
  CHECK_CALL(io_->seek(kExtentTablePointerOffset));
  CHECK_CALL(io_->read(&table_offset));
  CHECK_CALL(io_->read(&table_length));
  CHECK_CALL(io_->good());

  // Everything sized from the header is checked against the file first, so a hostile length
  // can neither reserve memory nor send the reader past the end.
  const uint64_t file_size = io_->size();
  if (!fits(table_offset, table_length, file_size)) {
    damaged(fmt::format("the extent table (offset {}, length {}) lies outside the file of {} bytes",
                        table_offset, table_length, file_size));
  }
  const int64_t entry_count = table_length / kExtentEntrySize;
  if (entry_count == 0) damaged("the extent table is empty");
  if (entry_count > std::numeric_limits<int32_t>::max()) damaged("the extent table is too long");

  CHECK_CALL(io_->seek(table_offset));
  extents_.reserve(static_cast<size_t>(entry_count));
  for (int64_t i = 0; i < entry_count; ++i) {
    uint32_t flags = 0;
    int32_t idx = 0;
    int64_t offset = 0;
    int64_t length = 0;
    CHECK_CALL(io_->read(&flags));
    CHECK_CALL(io_->read(&idx));
    CHECK_CALL(io_->read(&offset));
    CHECK_CALL(io_->read(&length));
    if (flags != kExtentTypeFile && flags != kExtentTypeDirectory) {
      extents_.emplace_back();
      continue;
    }
    if (!fits(offset, length, file_size)) {
      damaged(fmt::format("entry {} (offset {}, length {}) lies outside the file of {} bytes", i,
                          offset, length, file_size));
    }
    if (flags == kExtentTypeFile) {
      extents_.push_back(std::make_unique<ArchiveFile>(this, idx, offset, length));
    } else {
      extents_.push_back(std::make_unique<ArchiveDirectory>(this, idx, offset, length));
    }
  }
  if (!extents_[0] || !extents_[0]->is_directory()) damaged("entry 0 is not a directory");

  // Valid directory blocks are disjoint parts of the file; entries that share or overlap blocks
  // could otherwise multiply the records held in memory far beyond the file's size.
  uint64_t directory_bytes = 0;
  for (const auto& extent : extents_) {
    if (!extent || !extent->is_directory()) continue;
    auto* directory = static_cast<ArchiveDirectory*>(extent.get());
    const int64_t record_count = directory->length() / kDirectoryRecordSize;
    directory_bytes += static_cast<uint64_t>(record_count * kDirectoryRecordSize);
    if (directory_bytes > file_size) {
      damaged(
          fmt::format("its directories hold more records than a file of {} bytes can", file_size));
    }
    directory->records_.reserve(static_cast<size_t>(record_count));
    CHECK_CALL(io_->seek(directory->offset()));
    for (int64_t i = 0; i < record_count; ++i) {
      DirectoryRecord record;
      CHECK_CALL(io_->read(&record));
      if (record.name[sizeof(record.name) - 1] != '\0') throw std::runtime_error("bad archive");
      directory->records_.push_back(record);
    }
  }
  root_ = static_cast<ArchiveDirectory*>(extents_[0].get());
}

ArchiveExtent* Archive::extent(int64_t index) const {
  if (index < 0 || static_cast<uint64_t>(index) >= extents_.size()) return nullptr;
  return extents_[static_cast<size_t>(index)].get();
}

ArchiveExtent* Archive::lookup(const ArchivePath& path) const {
  if (!ArchivePath::is_absolute(path)) {
    LOG(ERROR) << "relative paths are not supported";
    return nullptr;
  }
  if (path.str() == "/") return root_;
  const ArchivePath parent = ArchivePath::parent(path);
  // "//" is its own parent; it names nothing, and recursing on it would never end.
  if (parent == path) return nullptr;
  ArchiveExtent* folder = lookup(parent);
  if (folder == nullptr || !folder->is_directory()) return nullptr;
  return static_cast<ArchiveDirectory*>(folder)->find(ArchivePath::filename(path).str());
}

void Archive::walk(WalkCallback callback) { traverse(EntryCallback(), &callback); }

void Archive::walk_entries(const EntryCallback& callback) { traverse(callback, nullptr); }

void Archive::traverse(const EntryCallback& on_entry, const WalkCallback* on_file) {
  struct Frame {
    const ArchiveDirectory* directory;
    ArchivePath base;
    size_t next;
  };
  // An explicit stack keeps deep trees off the call stack; the visited marks make a directory
  // that is reached twice (a cycle, or a subtree listed under two names) an error, so the walk
  // costs at most one visit per record.
  std::vector<bool> visited(extents_.size(), false);
  visited[0] = true;
  std::vector<Frame> stack;
  stack.push_back({root_, ArchivePath(), 0});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.directory->records_.size()) {
      stack.pop_back();
      continue;
    }
    const DirectoryRecord& record = frame.directory->records_[frame.next++];
    if (record.name_equals(".") || record.name_equals("..")) continue;
    ArchiveExtent* entry = extent(record.index);
    ArchivePath path = ArchivePath::join(frame.base, record.name_string());
    if (entry != nullptr && entry->is_directory()) {
      if (visited[static_cast<size_t>(record.index)]) {
        damaged(fmt::format("the folder \"{}\" is reached a second time", path.str()));
      }
      visited[static_cast<size_t>(record.index)] = true;
      if (on_entry) on_entry(entry, path);
      stack.push_back({static_cast<ArchiveDirectory*>(entry), std::move(path), 0});
    } else if (entry != nullptr && entry->is_file()) {
      if (on_entry) on_entry(entry, path);
      if (on_file != nullptr) (*on_file)(this, static_cast<ArchiveFile*>(entry), path);
    } else {
      throw std::runtime_error("unknown type");
    }
  }
}

}  // namespace base
