// The asset manager's media loaders: an archive path in, decoded media out. They live apart
// from asset_manager.cc so that programs which never decode media do not link the codecs.
#include <fmt/format.h>

#include <memory>
#include <string>

#include "base/archive/archive.h"
#include "base/asset_manager.h"
#include "base/audio/audio_buffer.h"
#include "base/audio/mp3_codec.h"
#include "base/audio/opus_codec.h"
#include "base/audio/wav_codec.h"
#include "base/image.h"
#include "base/image_codec.h"
#include "base/image_dng.h"
#include "base/logging.h"
#include "base/strings.h"

namespace base {

AudioBuffer AssetManager::load_audio(const std::string& path) {
  // load() holds the lock only for the read; decoding below runs in the caller's thread.
  const std::shared_ptr<Asset> asset = load(path);
  const std::string extension = ArchivePath::extension(path).str();
  AudioBuffer buffer;
  if (extension == ".opus") {
    decode_opus(asset->data(), static_cast<size_t>(asset->length()), buffer);
  } else if (extension == ".mp3") {
    decode_mp3(asset->data(), static_cast<size_t>(asset->length()), buffer);
  } else if (extension == ".wav") {
    decode_wav(asset->data(), static_cast<size_t>(asset->length()), buffer);
  } else {
    THROW_ERROR(fmt::format("Unsupported audio format \"{}\"", extension));
  }
  return buffer;
}

Image<uint8_t> AssetManager::load_image(const std::string& path, ImageFormat format,
                                        int alignment) {
  const std::shared_ptr<Asset> asset = load(path);
  const std::string extension = ArchivePath::extension(path).str();
  if (extension == ".jpeg" || extension == ".jpg") {
    return decode_jpeg(asset->data(), asset->length(), format, alignment);
  }
  if (extension == ".png") return decode_png(asset->data(), asset->length(), format, alignment);
  THROW_ERROR(fmt::format("Unsupported image format \"{}\"", extension));
}

RawImage<uint16_t> AssetManager::load_hdr_image(const std::string& path, int alignment) {
  const std::shared_ptr<Asset> asset = load(path);
  const std::string extension = strings::to_lower(ArchivePath::extension(path).str());
  if (extension == ".dng") return decode_dng(asset->data(), asset->length(), alignment);
  THROW_ERROR(fmt::format("Unsupported HDR image format \"{}\"", extension));
}

}  // namespace base
