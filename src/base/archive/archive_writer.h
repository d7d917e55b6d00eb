// Builds resource archives (see archive.h for the layout) from a tree of files held in memory.
// The same tree always gives the same bytes: entries are numbered depth-first with each folder's
// children in byte-wise name order, every folder lists "." and ".." first, and the image is laid
// out as header, file contents, folder blocks, extent table. Used by the qvxr tool and by tests
// that need fixture archives:
//
//   ArchiveWriter writer;
//   writer.add_file("l10n/en.json", R"({"greeting": "Hello"})");
//   AssetManager::instance().load_archive("test",
//   std::make_unique<MemoryArchiveIO>(writer.bytes()));
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

namespace base {

class ArchiveWriter {
 public:
  // The first four bytes of every archive we write. Readers ignore them.
  static constexpr char kMagic[4] = {'Q', 'V', 'X', 'R'};

  ArchiveWriter();
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Adds a file with its contents, creating missing parent folders. `path` is relative and
  // '/'-separated; every component is 1 to 59 bytes, holds no zero byte and is not "." or "..".
  // Throws std::runtime_error (logged at ERROR) naming the path when a component breaks those
  // rules or the path is already taken, or when a parent is a file.
  void add_file(const std::string& path, std::string contents);
  // Adds a folder, possibly empty, and its missing parents. Adding an existing folder is a no-op.
  // Same failures as add_file.
  void add_directory(const std::string& path);

  // Writes the archive image to `out`; throws std::runtime_error when the stream fails.
  void write(std::ostream& out) const;
  // The archive image as bytes.
  [[nodiscard]] std::string bytes() const;

 private:
  struct Node {
    bool is_directory = true;
    std::string contents;
    std::map<std::string, std::unique_ptr<Node>> children;  // byte-wise name order
  };
  Node* folder_for(const std::string& path, bool create_last);

  Node root_;
};

}  // namespace base
