#include "base/archive/archive_writer.h"

#include <cstring>
#include <functional>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include "base/archive/archive.h"
#include "base/logging.h"

namespace base {
namespace {

// Splits `path` into components, checking each against the archive's name rules.
std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
    if (part.empty() || part == "." || part == "..") {
      THROW_ERROR(
          fmt::format("Cannot add \"{}\" to the archive: empty, \".\" and \"..\" "
                      "components are not allowed",
                      path));
    }
    if (part.size() > kMaxNameLength) {
      THROW_ERROR(
          fmt::format("Cannot add \"{}\" to the archive: the name \"{}\" is longer than "
                      "{} bytes",
                      path, part, kMaxNameLength));
    }
    if (part.find('\0') != std::string::npos) {
      std::string shown;  // a zero byte would cut the message short
      for (char c : path) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
      THROW_ERROR(
          fmt::format("Cannot add \"{}\" to the archive: names cannot hold a zero byte", shown));
    }
    parts.push_back(std::move(part));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

void put_u32(std::string& out, uint32_t value) { out.append(reinterpret_cast<char*>(&value), 4); }
void put_i64(std::string& out, int64_t value) { out.append(reinterpret_cast<char*>(&value), 8); }

}  // namespace

ArchiveWriter::ArchiveWriter() = default;
ArchiveWriter::~ArchiveWriter() = default;

ArchiveWriter::Node* ArchiveWriter::folder_for(const std::string& path, bool create_last) {
  const std::vector<std::string> parts = components(path);
  Node* node = &root_;
  const size_t folders = create_last ? parts.size() : parts.size() - 1;
  for (size_t i = 0; i < folders; ++i) {
    std::unique_ptr<Node>& child = node->children[parts[i]];
    if (!child) child = std::make_unique<Node>();
    if (!child->is_directory) {
      THROW_ERROR(fmt::format("Cannot add \"{}\" to the archive: \"{}\" is a file", path,
                              fmt::join(parts.begin(), parts.begin() + i + 1, "/")));
    }
    node = child.get();
  }
  return node;
}

void ArchiveWriter::add_directory(const std::string& path) { folder_for(path, true); }

void ArchiveWriter::add_file(const std::string& path, std::string contents) {
  Node* folder = folder_for(path, false);
  const std::string name = path.substr(path.rfind('/') + 1);
  std::unique_ptr<Node>& child = folder->children[name];
  if (child)
    THROW_ERROR(fmt::format("Cannot add \"{}\" to the archive: it is already there", path));
  child = std::make_unique<Node>();
  child->is_directory = false;
  child->contents = std::move(contents);
}

void ArchiveWriter::write(std::ostream& out) const {
  struct Entry {
    const Node* node;
    int32_t parent;
    int64_t offset = 0;
    int64_t length = 0;
  };
  // Depth-first numbering; the root is entry 0 and is its own parent.
  std::vector<Entry> entries;
  entries.push_back({&root_, 0});
  // child_indexes[i]: the entry numbers of folder i's children, in name order.
  std::vector<std::vector<int32_t>> child_indexes(1);
  std::function<void(int32_t)> number = [&](int32_t folder) {
    const Node* node = entries[folder].node;
    for (const auto& [name, child] : node->children) {
      const int32_t index = static_cast<int32_t>(entries.size());
      entries.push_back({child.get(), folder});
      child_indexes.emplace_back();
      child_indexes[folder].push_back(index);
      if (child->is_directory) number(index);
    }
  };
  number(0);

  // Layout: header, file contents, folder blocks, extent table.
  constexpr int64_t kHeaderSize = 20;
  int64_t position = kHeaderSize;
  for (Entry& entry : entries) {
    if (entry.node->is_directory) continue;
    entry.offset = position;
    entry.length = static_cast<int64_t>(entry.node->contents.size());
    position += entry.length;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].node->is_directory) continue;
    entries[i].offset = position;
    entries[i].length = static_cast<int64_t>(2 + child_indexes[i].size()) * kDirectoryRecordSize;
    position += entries[i].length;
  }
  const int64_t table_offset = position;

  std::string header(kMagic, sizeof(kMagic));
  put_i64(header, table_offset);
  put_i64(header, static_cast<int64_t>(entries.size()) * kExtentEntrySize);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  for (const Entry& entry : entries) {
    if (entry.node->is_directory) continue;
    out.write(entry.node->contents.data(), static_cast<std::streamsize>(entry.length));
  }
  auto record = [](int32_t index, const std::string& name) {
    DirectoryRecord r;
    std::memset(&r, 0, sizeof(r));
    r.index = index;
    std::memcpy(r.name, name.data(), name.size());
    return r;
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].node->is_directory) continue;
    std::vector<DirectoryRecord> block;
    block.push_back(record(static_cast<int32_t>(i), "."));
    block.push_back(record(entries[i].parent, ".."));
    size_t k = 0;
    for (const auto& [name, child] : entries[i].node->children) {
      block.push_back(record(child_indexes[i][k++], name));
    }
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size() * sizeof(DirectoryRecord)));
  }
  std::string table;
  table.reserve(entries.size() * kExtentEntrySize);
  for (size_t i = 0; i < entries.size(); ++i) {
    put_u32(table, entries[i].node->is_directory ? kExtentTypeDirectory : kExtentTypeFile);
    put_u32(table, static_cast<uint32_t>(i));
    put_i64(table, entries[i].offset);
    put_i64(table, entries[i].length);
  }
  out.write(table.data(), static_cast<std::streamsize>(table.size()));
  out.flush();
  if (!out.good()) THROW_ERROR("Writing the archive failed");
}

std::string ArchiveWriter::bytes() const {
  std::ostringstream out(std::ios::binary);
  write(out);
  return std::move(out).str();
}

}  // namespace base
