#include "base/audio/opus_codec.h"

#include <opus/opusenc.h>
#include <opus/opusfile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fmt/format.h>

#include "base/logging.h"

namespace base {
namespace {

// The longest Opus frame: 120 ms at 48 kHz, per channel.
constexpr int kMaxFrameSamples = 5760;
constexpr int kDecodedRate = 48000;

struct OpusFileDeleter {
  void operator()(OggOpusFile* file) const { op_free(file); }
};
struct CommentsDeleter {
  void operator()(OggOpusComments* comments) const { ope_comments_destroy(comments); }
};
struct EncoderDeleter {
  void operator()(OggOpusEnc* encoder) const { ope_encoder_destroy(encoder); }
};

// The encoder's output: a malloc block that grows as pages arrive.
struct OpusSink {
  uint8_t* data = nullptr;
  size_t capacity = 0;
  size_t written = 0;
  size_t size = 0;
  bool out_of_memory = false;

  ~OpusSink() { std::free(data); }

  // Called from inside the encoder library: reports failure instead of throwing through it.
  static int write(void* user, const unsigned char* page, opus_int32 length) {
    auto* sink = static_cast<OpusSink*>(user);
    if (length < 0) return 1;
    const size_t needed = sink->written + static_cast<size_t>(length);
    if (needed > sink->capacity) {
      const size_t grown = needed > sink->capacity * 2 ? needed : sink->capacity * 2;
      void* block = std::realloc(sink->data, grown);
      if (block == nullptr) {
        sink->out_of_memory = true;
        return 1;
      }
      sink->data = static_cast<uint8_t*>(block);
      sink->capacity = grown;
    }
    std::memcpy(sink->data + sink->written, page, static_cast<size_t>(length));
    sink->written = needed;
    return 0;
  }

  static int close(void* user) {
    auto* sink = static_cast<OpusSink*>(user);
    sink->size = sink->written;
    return 0;
  }
};

}  // namespace

void decode_opus(const void* data, size_t length, AudioBuffer& buffer) {
  std::unique_ptr<OggOpusFile, OpusFileDeleter> file(
      op_open_memory(static_cast<const unsigned char*>(data), length, nullptr));
  if (file == nullptr) THROW_ERROR("op_open_memory() failed");
  const int channels = op_channel_count(file.get(), -1);

  if (buffer.size != 0) buffer.reset();
  buffer.sample_rate = kDecodedRate;
  buffer.channels = channels;

  std::vector<opus_int16> scratch(static_cast<size_t>(channels) * kMaxFrameSamples);
  for (;;) {
    int link = 0;
    const int frames = op_read(file.get(), scratch.data(), static_cast<int>(scratch.size()), &link);
    if (frames <= 0) break;  // end of stream and errors alike
    if (op_channel_count(file.get(), link) != channels) {
      // One buffer holds one channel layout; the samples of this link are not ours to mix.
      LOG(WARNING) << "Opus link " << link << " changes the channel count; decoding stops";
      break;
    }
    buffer.append(scratch.data(), frames * channels);
  }
}

void encode_opus(const AudioBuffer& buffer, void** out, size_t* out_size) {
  OpusSink sink;
  sink.capacity = buffer.size <= 32768 ? 65536 : static_cast<size_t>(buffer.size) * 2;
  sink.data = static_cast<uint8_t*>(allocate_or_throw(sink.capacity));
  const OpusEncCallbacks callbacks = {OpusSink::write, OpusSink::close};

  std::unique_ptr<OggOpusComments, CommentsDeleter> comments(ope_comments_create());
  if (comments == nullptr) throw_bad_allocation();
  int error = OPE_OK;
  std::unique_ptr<OggOpusEnc, EncoderDeleter> encoder(ope_encoder_create_callbacks(
      &callbacks, &sink, comments.get(), buffer.sample_rate, buffer.channels, 0, &error));
  if (encoder == nullptr) {
    LOG(ERROR) << ope_strerror(error);
    CHECK(false);
  }

  const int frames = buffer.size / buffer.channels;
  error = frames > 0 ? ope_encoder_write(encoder.get(), buffer.samples, frames) : OPE_OK;
  if (error == OPE_OK) error = ope_encoder_drain(encoder.get());
  encoder.reset();
  if (sink.out_of_memory) throw_bad_allocation();
  if (error != OPE_OK) THROW_ERROR(fmt::format("Opus encoding failed: {}", ope_strerror(error)));

  *out = sink.data;
  *out_size = sink.size;
  sink.data = nullptr;
}

}  // namespace base
