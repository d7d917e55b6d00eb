// The resource archive: a read-only container of files in a directory tree, one file on disk
// ("corvalith.qvxr" beside the executable). This header defines the byte layout's constants, the
// Archive that opens a file, builds the tree in memory, resolves paths and walks every file, its
// entries (ArchiveDirectory, ArchiveFile) and ArchivePath, the '/'-separated path of the archive.
//
// Layout (little-endian, absolute offsets, no alignment, regions in any order):
//   header       bytes 0..3 magic (never read), int64 table_offset at 4, int64 table_length at 12
//   extent table table_length / 24 entries: uint32 flags (0 directory, 1 file, else an empty
//                slot), int32 idx, int64 offset, int64 length
//   file data    `length` raw bytes at `offset`
//   directory    `length` / 64 records: int32 index into the extent table, then a 60-byte name,
//                zero-terminated and zero-padded (at most 59 bytes); "." and ".." may be listed
// Entry 0 is the root directory.
//
// Opening validates what it sizes or reads from against the file's size, so a truncated or
// hostile archive ends in a runtime error (logged at ERROR) rather than a crash, a hang or an
// oversized allocation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/archive/archive_io.h"

namespace base {

class Archive;
class ArchiveFile;

constexpr uint64_t kExtentTablePointerOffset = 4;
constexpr uint32_t kExtentTypeDirectory = 0;
constexpr uint32_t kExtentTypeFile = 1;
constexpr int64_t kExtentEntrySize = 24;
constexpr int64_t kDirectoryRecordSize = 64;
constexpr size_t kMaxNameLength = 59;  // a name's bytes, without the terminating zero

// One directory record, exactly as stored.
struct DirectoryRecord {
  int32_t index;
  char name[60];

  // The name up to its terminating zero.
  [[nodiscard]] std::string name_string() const;
  // Whether the name equals `key` byte for byte.
  [[nodiscard]] bool name_equals(const std::string& key) const;
};
static_assert(sizeof(DirectoryRecord) == kDirectoryRecordSize);

// A path inside an archive: components separated by '/', case-sensitive, never resolved for
// "." or "..". The operations are pure text rules; only trailing separators are normalised.
//   filename("/l10n/en.json") == "en.json", parent("/l10n") == "/", extension("a.tar.gz") == ".gz"
//   join("", "l10n") == "l10n", join("a//", "b") == "a/b", parent("//a") == "//" (its own parent)
class ArchivePath {
 public:
  ArchivePath() = default;
  ArchivePath(std::string text) : text_(std::move(text)) {}  // NOLINT: paths are text
  ArchivePath(const char* text) : text_(text) {}             // NOLINT

  [[nodiscard]] const std::string& str() const { return text_; }
  [[nodiscard]] bool empty() const { return text_.empty(); }
  bool operator==(const ArchivePath& other) const = default;

  // Non-empty and starting with '/'.
  [[nodiscard]] static bool is_absolute(const ArchivePath& path);
  // Trailing '/' removed while more than one character remains; paths shorter than two
  // characters and the two-separator path "//" are returned unchanged.
  [[nodiscard]] static ArchivePath without_trailing_separators(const ArchivePath& path);
  // The last component; "/" for "/" and "///", "//" for "//", empty for empty.
  [[nodiscard]] static ArchivePath filename(const ArchivePath& path);
  // The containing folder: "." for a single relative component, "/" under the root, "//" for
  // "//x".
  [[nodiscard]] static ArchivePath parent(const ArchivePath& path);
  // The last component from its last '.', inclusive; empty for "", "." and "..".
  [[nodiscard]] static ArchivePath extension(const ArchivePath& path);
  // The last component without its extension; "", "." and ".." are returned as they are.
  [[nodiscard]] static ArchivePath stem(const ArchivePath& path);
  // `base` without trailing separators, one '/' when both sides are non-empty and the base does
  // not already end in one, then `component` unchanged.
  [[nodiscard]] static ArchivePath join(const ArchivePath& base, const ArchivePath& component);

 private:
  std::string text_;
};

// An entry of the extent table. Entries belong to their Archive and never outlive it.
class ArchiveExtent {
 public:
  ArchiveExtent(Archive* archive, int32_t idx, int64_t offset, int64_t length)
      : archive_(archive), idx_(idx), offset_(offset), length_(length) {}
  virtual ~ArchiveExtent() = default;
  ArchiveExtent(const ArchiveExtent&) = delete;
  ArchiveExtent& operator=(const ArchiveExtent&) = delete;

  [[nodiscard]] virtual bool is_directory() const { return false; }
  [[nodiscard]] virtual bool is_file() const { return false; }

  [[nodiscard]] Archive* archive() const { return archive_; }
  [[nodiscard]] int32_t idx() const { return idx_; }
  [[nodiscard]] int64_t offset() const { return offset_; }
  [[nodiscard]] int64_t length() const { return length_; }

 protected:
  Archive* archive_;
  int32_t idx_;
  int64_t offset_;
  int64_t length_;
};

class ArchiveDirectory final : public ArchiveExtent {
 public:
  using ArchiveExtent::ArchiveExtent;

  bool is_directory() const override { return true; }
  bool is_file() const override { return false; }

  // The entry named by the first record whose name equals `name` ("." and ".." included), or
  // null when there is no such record or it names an empty slot.
  [[nodiscard]] ArchiveExtent* find(const std::string& name) const;
  // Whether a record with that name exists, whatever it names.
  [[nodiscard]] bool contains(const std::string& name) const;
  [[nodiscard]] const std::vector<DirectoryRecord>& records() const { return records_; }

 private:
  friend class Archive;
  std::vector<DirectoryRecord> records_;
};

class ArchiveFile final : public ArchiveExtent {
 public:
  using ArchiveExtent::ArchiveExtent;

  bool is_directory() const override { return false; }
  bool is_file() const override { return true; }

  // Copies the whole file, length() bytes, into `ptr`. Returns true; a failed seek or read logs
  // "<call> failed" at ERROR and throws std::runtime_error. Not synchronised: reads share the
  // archive's one read position (the asset manager serialises them).
  bool read(void* ptr);
  // Copies `size` bytes starting `offset` bytes into the file. The range is not clipped to the
  // file; only the end of the archive stops it. Failures as above.
  bool read(void* ptr, size_t size, uint64_t offset);
};

// Called once per file reachable from the root, with its path relative to the root.
using WalkCallback = std::function<void(Archive*, ArchiveFile*, ArchivePath&)>;
// Called for every directory (the root excepted) and file, in walk order.
using EntryCallback = std::function<void(ArchiveExtent*, const ArchivePath&)>;

class Archive {
 public:
  // Opens the archive `name` through a StreamArchiveIO (beside the executable, then in the
  // resource folder). Throws std::runtime_error on every failure, after logging it at ERROR:
  // "Unable to open archive \"<name>\"", "<call> failed" for a failed seek or read, "bad archive"
  // for a name without its terminating zero, and "Archive \"<name>\" is damaged: ..." for
  // header fields that do not fit the file.
  explicit Archive(const std::string& name);
  // Opens an archive read through `io`; `name` is used in messages only. Same failures.
  Archive(const std::string& name, std::unique_ptr<ArchiveIO> io);
  virtual ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  [[nodiscard]] bool good() const { return io_ && io_->good(); }
  [[nodiscard]] ArchiveIO* io() const { return io_.get(); }
  [[nodiscard]] ArchiveDirectory* root() const { return root_; }
  [[nodiscard]] const std::string& name() const { return name_; }
  // The entry in slot `index`, or null for an empty slot or an index outside the table.
  [[nodiscard]] ArchiveExtent* extent(int64_t index) const;
  [[nodiscard]] size_t extent_count() const { return extents_.size(); }

  // The entry at an absolute path ("/" is the root), or null. A relative path logs
  // "relative paths are not supported" at ERROR and answers null; never throws.
  [[nodiscard]] ArchiveExtent* lookup(const ArchivePath& path) const;

  // Calls `callback` for every file reachable from the root, depth-first in record order,
  // skipping records named "." and "..". A file listed under two records is delivered twice.
  // Throws "unknown type" when a record names an empty slot, and a "damaged" error when a
  // directory is reached a second time (a cycle or a shared subtree).
  void walk(WalkCallback callback);
  // The same traversal, also reporting every directory before its contents.
  void walk_entries(const EntryCallback& callback);

 private:
  void open();
  [[noreturn]] void damaged(const std::string& what) const;
  void traverse(const EntryCallback& on_entry, const WalkCallback* on_file);

  std::string name_;
  std::unique_ptr<ArchiveIO> io_;
  std::vector<std::unique_ptr<ArchiveExtent>> extents_;
  ArchiveDirectory* root_ = nullptr;
};

}  // namespace base
