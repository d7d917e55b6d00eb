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
#include "base/logging.h"

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

}  // namespace base
