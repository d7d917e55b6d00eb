// The audio decoders against the libraries they sit on, each pair interleaved in one loop so
// that machine noise hits both alike. Inputs are 60 seconds of stereo sound made at start-up.
// Counters: "ours_ms" and "base_ms" per iteration and "ratio" = ours / base; read the median
// of the repetitions, as the machine may be shared.
//   decode_wav  vs the sound-file library's sf_readf_short in one call    (goal <= 1.10)
//   decode_opus vs a plain op_read loop writing into a presized buffer   (goal <= 1.05)
//   decode_mp3  vs the MPEG decoding library used directly, 16-bit out   (reported)
//   encode_opus: "realtime_factor" = seconds of sound encoded per second
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <opus/opusfile.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/audio/audio_buffer.h"
#include "base/audio/mp3_codec.h"
#include "base/audio/opus_codec.h"
#include "base/audio/sndfile_memory.h"
#include "base/audio/wav_codec.h"
#include "base/logging.h"

namespace {

constexpr int kSeconds = 60;
constexpr int kChannels = 2;

// Two tones and a little noise: enough content that the compressed codecs do real work.
base::AudioBuffer make_sound(int rate) {
  const int frames = rate * kSeconds;
  std::vector<int16_t> samples(size_t(frames) * kChannels);
  uint32_t noise = 1;
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    noise = noise * 1664525u + 1013904223u;
    const double n = int16_t(noise >> 16) / 16.0;
    samples[2 * size_t(i)] = int16_t(9000 * std::sin(2 * M_PI * 440 * t) + n);
    samples[2 * size_t(i) + 1] = int16_t(7000 * std::sin(2 * M_PI * 554.37 * t) - n);
  }
  base::AudioBuffer buffer;
  buffer.sample_rate = rate;
  buffer.channels = kChannels;
  buffer.append(samples.data(), int32_t(samples.size()));
  return buffer;
}

std::string take(void* out, size_t size) {
  std::string bytes(static_cast<const char*>(out), size);
  std::free(out);
  return bytes;
}

const std::string& wav_file() {
  static const std::string bytes = [] {
    void* out = nullptr;
    size_t size = 0;
    base::encode_wav(make_sound(44100), &out, &size);
    return take(out, size);
  }();
  return bytes;
}

const std::string& opus_file() {
  static const std::string bytes = [] {
    void* out = nullptr;
    size_t size = 0;
    base::encode_opus(make_sound(48000), &out, &size);
    return take(out, size);
  }();
  return bytes;
}

const std::string& mp3_file() {
  static const std::string bytes = [] {
    const base::AudioBuffer sound = make_sound(44100);
    SF_INFO info = {};
    info.samplerate = sound.sample_rate;
    info.channels = sound.channels;
    info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    base::audio_internal::MemorySink sink;
    base::audio_internal::SoundFile file(sink.open(info));
    if (!file) std::abort();
    sf_writef_short(file.get(), sound.samples, sound.frames());
    file.close();
    void* out = nullptr;
    size_t size = 0;
    sink.release(&out, &size);
    return take(out, size);
  }();
  return bytes;
}

template <typename F>
double seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(benchmark::State& state, double ours, double base) {
  const auto n = double(state.iterations());
  state.counters["ours_ms"] = ours / n * 1e3;
  state.counters["base_ms"] = base / n * 1e3;
  state.counters["ratio"] = ours / base;
}

void BM_DecodeWav(benchmark::State& state) {
  const std::string& bytes = wav_file();
  double ours = 0, base = 0;
  for (auto _ : state) {
    base += seconds([&] {
      base::audio_internal::MemorySource source(bytes.data(), bytes.size());
      SF_INFO info;
      base::audio_internal::SoundFile file(source.open(info));
      auto* samples = static_cast<int16_t*>(std::malloc(size_t(info.frames) * info.channels * 2));
      benchmark::DoNotOptimize(sf_readf_short(file.get(), samples, info.frames));
      std::free(samples);
    });
    ours += seconds([&] {
      base::AudioBuffer buffer;
      base::decode_wav(bytes.data(), bytes.size(), buffer);
      benchmark::DoNotOptimize(buffer.samples);
    });
  }
  report(state, ours, base);
}
BENCHMARK(BM_DecodeWav)
    ->Iterations(300)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_DecodeOpus(benchmark::State& state) {
  const std::string& bytes = opus_file();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  double ours = 0, base = 0;
  for (auto _ : state) {
    ours += seconds([&] {
      base::AudioBuffer buffer;
      base::decode_opus(bytes.data(), bytes.size(), buffer);
      benchmark::DoNotOptimize(buffer.samples);
    });
    base += seconds([&] {
      OggOpusFile* file = op_open_memory(data, bytes.size(), nullptr);
      const int channels = op_channel_count(file, -1);
      std::vector<opus_int16> out(size_t(op_pcm_total(file, -1) + 5760) * channels);
      size_t at = 0;
      for (;;) {
        const int n =
            op_read(file, out.data() + at, int(std::min<size_t>(out.size() - at, 11520)), nullptr);
        if (n <= 0) break;
        at += size_t(n) * channels;
      }
      benchmark::DoNotOptimize(out.data());
      op_free(file);
    });
  }
  report(state, ours, base);
}
BENCHMARK(BM_DecodeOpus)
    ->Iterations(4)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_DecodeMp3(benchmark::State& state) {
  const std::string& bytes = mp3_file();
  double ours = 0, base = 0;
  for (auto _ : state) {
    ours += seconds([&] {
      base::AudioBuffer buffer;
      base::decode_mp3(bytes.data(), bytes.size(), buffer);
      benchmark::DoNotOptimize(buffer.samples);
    });
    base += seconds([&] {
      mpg123_handle* handle = mpg123_new(nullptr, nullptr);
      mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
      mpg123_format_none(handle);
      mpg123_format(handle, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
      mpg123_open_feed(handle);
      mpg123_feed(handle, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
      std::vector<int16_t> out;
      unsigned char chunk[16384];
      for (;;) {
        size_t done = 0;
        const int status = mpg123_read(handle, chunk, sizeof(chunk), &done);
        const auto* samples = reinterpret_cast<const int16_t*>(chunk);
        out.insert(out.end(), samples, samples + done / 2);
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT) break;
      }
      benchmark::DoNotOptimize(out.data());
      mpg123_delete(handle);
    });
  }
  report(state, ours, base);
}
BENCHMARK(BM_DecodeMp3)
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_EncodeOpus(benchmark::State& state) {
  const base::AudioBuffer sound = make_sound(48000);
  for (auto _ : state) {
    void* out = nullptr;
    size_t size = 0;
    base::encode_opus(sound, &out, &size);
    std::free(out);
  }
  state.counters["realtime_factor"] = benchmark::Counter(
      double(kSeconds) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeOpus)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  base::set_min_severity(base::kLogError);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
