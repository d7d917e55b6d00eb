#include "base/asset_manager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <regex>

#include <fmt/format.h>

#include "base/logging.h"

namespace base {

// --- Asset -------------------------------------------------------------------------------------

Asset::Asset(ArchiveFile* file, std::string path)
    : file_(file), path_(std::move(path)), data_(nullptr), length_(0) {
  // The length is a 32-bit count; larger files would be truncated, so refuse them before any
  // buffer is sized from them.
  const int64_t length = file->length();
  if (length < 0 || length > std::numeric_limits<int32_t>::max()) {
    THROW_ERROR(
        fmt::format("Asset \"{}\" is too large: {} bytes (the limit is 2 GiB - 1)", path_, length));
  }
  length_ = static_cast<int32_t>(length);
  data_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length_) + 1));
  if (data_ == nullptr) throw std::bad_alloc();
  try {
    file->read(data_);
  } catch (...) {
    std::free(data_);
    throw;
  }
  data_[length_] = 0;
}

Asset::Asset(std::string path, const void* bytes, int32_t length)
    : file_(nullptr), path_(std::move(path)), data_(nullptr), length_(length < 0 ? 0 : length) {
  data_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length_) + 1));
  if (data_ == nullptr) throw std::bad_alloc();
  if (length_ > 0) std::memcpy(data_, bytes, static_cast<size_t>(length_));
  data_[length_] = 0;
}

Asset::~Asset() { std::free(data_); }

std::string Asset::to_string() const {
  return std::string(reinterpret_cast<const char*>(data_), static_cast<size_t>(length_));
}

const char* Asset::c_str() const {
  CHECK(data_[length_] == '\0');
  return reinterpret_cast<const char*>(data_);
}

// --- AssetManager ------------------------------------------------------------------------------

AssetManager& AssetManager::instance() {
  static AssetManager manager;
  return manager;
}

void AssetManager::load_archive(const std::string& name) {
  if (archives_.count(name) != 0) return;
  register_archive(name, std::make_unique<Archive>(name));
}

void AssetManager::load_archive(const std::string& name, std::unique_ptr<ArchiveIO> io) {
  if (archives_.count(name) != 0) return;
  register_archive(name, std::make_unique<Archive>(name, std::move(io)));
}

void AssetManager::register_archive(const std::string& name, std::unique_ptr<Archive> archive) {
  // Collect the whole walk first: a walk that fails part-way must leave no key pointing into the
  // archive that is then destroyed.
  std::vector<std::pair<std::string, ArchiveFile*>> found;
  archive->walk([&found](Archive*, ArchiveFile* file, ArchivePath& path) {
    found.emplace_back(path.str(), file);
  });
  files_.reserve(files_.size() + 2 * found.size());
  for (auto& [path, file] : found) {
    files_[ArchivePath::join("/", path).str()] = file;
    files_[std::move(path)] = file;
  }
  archives_[name] = std::move(archive);
}

bool AssetManager::exists(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_.find(path) != files_.end();
}

std::shared_ptr<Asset> AssetManager::load(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = files_.find(path);
  if (found == files_.end()) THROW_ERROR(fmt::format("Unable to find asset \"{}\"", path));
  return std::make_shared<Asset>(found->second, path);
}

std::vector<std::shared_ptr<Asset>> AssetManager::load_matching(const std::string& pattern) {
  const std::regex expression(pattern, std::regex::ECMAScript);
  std::vector<std::shared_ptr<Asset>> assets;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [path, file] : files_) {
    if (std::regex_match(path, expression)) assets.push_back(std::make_shared<Asset>(file, path));
  }
  return assets;
}

const std::vector<std::string>& AssetManager::paths() {
  if (paths_.size() == files_.size()) return paths_;
  paths_.clear();
  paths_.reserve(files_.size());
  for (const auto& entry : files_) paths_.push_back(entry.first);
  std::sort(paths_.begin(), paths_.end());
  return paths_;
}

void AssetManager::clear() {
  // The cached list is dropped too: its count-only freshness test would otherwise take a new
  // archive with as many keys for the old one.
  paths_.clear();
  files_.clear();
  archives_.clear();
}

}  // namespace base
