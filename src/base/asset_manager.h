// The process-wide registry of every file in every loaded resource archive, and Asset, the
// loaded contents of one file.
//
//   AssetManager& assets = AssetManager::instance();
//   assets.load_archive("corvalith.qvxr");                 // at start-up, before other threads
//   if (assets.exists("l10n/en.json")) {
//     std::shared_ptr<Asset> text = assets.load("l10n/en.json");  // also "/l10n/en.json"
//     puts(text->c_str());
//   }
//
// Every file is registered under its archive path ("l10n/en.json") and the same path with a
// leading '/'. Keys match exactly: no normalisation, case-sensitive; folders are not registered.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/archive/archive.h"

namespace base {

struct AudioBuffer;               // base/audio/audio_buffer.h
enum ImageFormat : std::int32_t;  // base/image.h
template <typename T>
class Image;
template <typename T>
class RawImage;

// The whole contents of one archived file, shared and never changed after construction. The
// buffer comes from malloc and holds length() + 1 bytes, the last always 0, so text assets are
// NUL-terminated.
class Asset {
 public:
  // Reads the whole of `file` (registered under `path`). Files of 2 GiB or more are refused with
  // a runtime error before any buffer is sized; read failures propagate (see ArchiveFile::read).
  Asset(ArchiveFile* file, std::string path);
  // An asset over a copy of `length` bytes at `bytes`, read from no archive (file() is null).
  Asset(std::string path, const void* bytes, int32_t length);
  ~Asset();
  Asset(const Asset&) = delete;
  Asset& operator=(const Asset&) = delete;

  // The file it was read from; dangles once the manager is cleared.
  [[nodiscard]] ArchiveFile* file() const { return file_; }
  // The key it was loaded under.
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] const uint8_t* data() const { return data_; }
  [[nodiscard]] int32_t length() const { return length_; }
  // Exactly length() bytes.
  [[nodiscard]] std::string to_string() const;
  // The bytes as a NUL-terminated string; CHECKs the terminator first.
  [[nodiscard]] const char* c_str() const;

 private:
  ArchiveFile* file_;
  std::string path_;
  uint8_t* data_;
  int32_t length_;
};

class AssetManager {
 public:
  // The single instance, created on first use (thread-safe) and destroyed at exit.
  [[nodiscard]] static AssetManager& instance();

  // Opens the archive file `name` (beside the executable, else in the resource folder) and
  // registers its files; a later archive answers for paths it shares with an earlier one.
  // Loading a name again does nothing. A failure (see Archive) propagates and registers nothing.
  // Takes no lock: call it before other threads use the manager.
  void load_archive(const std::string& name);
  // The same for an archive read through `io` (an archive in memory, a file elsewhere); `name`
  // identifies it as above.
  void load_archive(const std::string& name, std::unique_ptr<ArchiveIO> io);

  // Whether `path` is a registered key. Never fails.
  [[nodiscard]] bool exists(const std::string& path);
  // A new Asset holding the whole file. Throws "Unable to find asset \"<path>\"" (logged at
  // ERROR) for an unknown key. Nothing is cached: every call reads the file again.
  [[nodiscard]] std::shared_ptr<Asset> load(const std::string& path);
  // A new Asset for every key the ECMAScript expression `pattern` matches in full, in the map's
  // order; a file whose two keys both match comes twice. A malformed pattern throws
  // std::regex_error.
  [[nodiscard]] std::vector<std::shared_ptr<Asset>> load_matching(const std::string& pattern);
  // Every key in ascending byte order (so '/'-prefixed keys come first). Takes no lock.
  [[nodiscard]] const std::vector<std::string>& paths();
  // Forgets every file and closes every archive. Assets handed out keep their bytes. No lock.
  void clear();

  // Media loaders (defined in media_assets.cc, library base_media): load the asset, then decode
  // it outside the lock with the decoder its extension selects. Failures of load and of the
  // decoders pass through; an extension that selects no decoder throws (logged at ERROR).
  // Sound: ".wav", ".opus" or ".mp3", compared case-sensitively; otherwise
  // "Unsupported audio format \"<extension>\"" (the extension may be empty).
  [[nodiscard]] AudioBuffer load_audio(const std::string& path);
  // Picture: ".jpeg" or ".jpg" (JPEG) and ".png" (PNG), compared case-sensitively, decoded with
  // `format` and `alignment` as given; otherwise "Unsupported image format \"<extension>\"".
  [[nodiscard]] Image<uint8_t> load_image(const std::string& path, ImageFormat format,
                                          int alignment);
  // Camera raw: the extension, lower-cased first, must be ".dng"; otherwise
  // "Unsupported HDR image format \"<lower-cased extension>\"".
  [[nodiscard]] RawImage<uint16_t> load_hdr_image(const std::string& path, int alignment);

 private:
  AssetManager() = default;
  void register_archive(const std::string& name, std::unique_ptr<Archive> archive);
  std::shared_ptr<Asset> make_asset(ArchiveFile* file, const std::string& path);

  std::mutex mutex_;
  std::unordered_map<std::string, std::unique_ptr<Archive>> archives_;
  std::unordered_map<std::string, ArchiveFile*> files_;
  std::vector<std::string> paths_;
};

}  // namespace base
