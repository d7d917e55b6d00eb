#include "base/audio/wav_codec.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/audio/audio_fixtures_for_testing.h"
#include "base/logging.h"

namespace base {
namespace {

using namespace testing_audio;

// A 16-bit PCM WAV image with the given header fields and payload.
std::string wav_image(int channels, int rate, uint32_t data_size, const std::string& payload,
                      int bits = 16) {
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  const int block = channels * bits / 8;
  std::string fmt = u16(1) + u16(channels) + u32(rate) + u32(rate * block) + u16(block) + u16(bits);
  std::string body = "WAVEfmt " + u32(16) + fmt + "data" + u32(data_size) + payload;
  return "RIFF" + u32(static_cast<uint32_t>(body.size())) + body;
}

struct WavCase {
  const char* name;
  int channels;
  int rate;
  int frames;
};
const WavCase kWavFiles[] = {
    {"s16_stereo_44100.wav", 2, 44100, 1000},
    {"s16_mono_8000.wav", 1, 8000, 400},
    {"s16_mono_22050.wav", 1, 22050, 1103},
    {"s16_stereo_48000.wav", 2, 48000, 2400},
};

// Reference samples were written by sox from the same files.
TEST(WavCodecTest, DecodesSixteenBitFilesLikeTheIndependentDecoder) {
  for (const WavCase& c : kWavFiles) {
    SCOPED_TRACE(c.name);
    const std::string bytes = fixture(c.name);
    AudioBuffer buffer;
    decode_wav(bytes.data(), bytes.size(), buffer);
    EXPECT_EQ(buffer.channels, c.channels);
    EXPECT_EQ(buffer.sample_rate, c.rate);
    EXPECT_EQ(buffer.size, c.frames * c.channels);
    EXPECT_EQ(buffer.capacity, buffer.size);
    EXPECT_EQ(samples_of(buffer), to_samples(fixture(std::string(c.name) + ".s16")));
  }
}

TEST(WavCodecTest, SecondDecodeOfTheSameSizeReusesTheAllocation) {
  const std::string stereo = fixture("s16_stereo_44100.wav");
  AudioBuffer buffer;
  decode_wav(stereo.data(), stereo.size(), buffer);
  ASSERT_EQ(buffer.size, 2000);
  int16_t* block = buffer.samples;
  buffer.samples[0] = 12345;  // must be overwritten by the file's sample
  decode_wav(stereo.data(), stereo.size(), buffer);
  EXPECT_EQ(buffer.samples, block);
  EXPECT_EQ(buffer.size, 2000);
  EXPECT_EQ(samples_of(buffer), to_samples(fixture("s16_stereo_44100.wav.s16")));

  // Another size: a fresh, exactly sized allocation with the new format.
  const std::string mono = fixture("s16_mono_8000.wav");
  decode_wav(mono.data(), mono.size(), buffer);
  EXPECT_EQ(buffer.size, 400);
  EXPECT_EQ(buffer.capacity, 400);
  EXPECT_EQ(buffer.channels, 1);
  EXPECT_EQ(buffer.sample_rate, 8000);
}

TEST(WavCodecTest, OtherSampleWidthsFailTheBitsPerSampleCheck) {
  for (const char* name : {"u8_mono_8000.wav", "s24_stereo_44100.wav", "f32_mono_44100.wav"}) {
    SCOPED_TRACE(name);
    const std::string bytes = fixture(name);
    AudioBuffer buffer;
    testing::internal::CaptureStderr();
    try {
      decode_wav(bytes.data(), bytes.size(), buffer);
      ADD_FAILURE() << "no exception";
    } catch (const CheckException& e) {
      EXPECT_NE(std::string(e.what()).find("wav.bitsPerSample == 16 check failed"),
                std::string::npos)
          << e.what();
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(buffer.samples, nullptr);
  }
}

TEST(WavCodecTest, BytesThatAreNotWavLogAndLeaveTheBufferAlone) {
  const std::string cases[] = {
      "",
      "hello, world",
      std::string(64, '\0'),
      "RIFF\x10\0\0\0WAVE",  // header cut short
      fixture("cbr128_stereo_44100.mp3"),
      fixture("from16000_mono.opus"),
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 12));
    AudioBuffer fresh;
    testing::internal::CaptureStderr();
    decode_wav(bytes.data(), bytes.size(), fresh);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("ERROR:wav_codec.cc("), std::string::npos) << log;
    EXPECT_NE(log.find(")] drwav_init_memory() failed\r\n"), std::string::npos) << log;
    EXPECT_EQ(fresh.size, 0);
    EXPECT_EQ(fresh.capacity, 0);
    EXPECT_EQ(fresh.sample_rate, 0);
    EXPECT_EQ(fresh.channels, 0);
    EXPECT_EQ(fresh.samples, nullptr);
  }

  // A buffer that already holds sound keeps it.
  const std::string good = fixture("s16_mono_8000.wav");
  AudioBuffer held;
  decode_wav(good.data(), good.size(), held);
  int16_t* block = held.samples;
  testing::internal::CaptureStderr();
  decode_wav("junk", 4, held);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(held.samples, block);
  EXPECT_EQ(held.size, 400);
  EXPECT_EQ(held.sample_rate, 8000);
}

TEST(WavCodecTest, DataCutShortKeepsOnlyTheFramesPresent) {
  const std::string full = fixture("s16_stereo_44100.wav");
  const std::vector<int16_t> reference = to_samples(fixture("s16_stereo_44100.wav.s16"));
  // 44-byte header, then cut after 100 frames and a half.
  const std::string cut = full.substr(0, 44 + 100 * 4 + 2);
  AudioBuffer buffer;
  decode_wav(cut.data(), cut.size(), buffer);
  ASSERT_EQ(buffer.channels, 2);
  ASSERT_EQ(buffer.size % 2, 0);
  EXPECT_GE(buffer.size, 198);
  EXPECT_LE(buffer.size, 200);
  EXPECT_EQ(samples_of(buffer),
            std::vector<int16_t>(reference.begin(), reference.begin() + buffer.size));
}

TEST(WavCodecTest, SampleCountBeyondThirtyTwoBitsIsRefused) {
  // An RF64 file whose data chunk holds 2^31 + 8 mono samples. The bytes live in a reserved,
  // untouched mapping: the check must fire before any sample is read.
  const uint64_t data_bytes = (uint64_t{1} << 32) + 16;
  auto u64 = [](uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  const std::string fmt = u16(1) + u16(1) + u32(8000) + u32(16000) + u16(2) + u16(16);
  std::string header = "RF64" + u32(0xFFFFFFFFu) + "WAVE" + "ds64" + u32(28);
  header += u64(data_bytes + 72) + u64(data_bytes) + u64(data_bytes / 2) + u32(0);
  header += "fmt " + u32(16) + fmt + "data" + u32(0xFFFFFFFFu);
  const size_t length = header.size() + data_bytes;
  void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (map == MAP_FAILED) GTEST_SKIP() << "cannot reserve address space";
  std::memcpy(map, header.data(), header.size());
  AudioBuffer buffer;
  testing::internal::CaptureStderr();
  try {
    decode_wav(map, length, buffer);
    ADD_FAILURE() << "no exception";
  } catch (const CheckException& e) {
    EXPECT_NE(std::string(e.what()).find("wav.totalPCMFrameCount <="), std::string::npos)
        << e.what();
  }
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(buffer.samples, nullptr);
  munmap(map, length);
}

TEST(WavCodecTest, HeaderClaimingMoreThanThePayloadIsSizedByThePayload) {
  const std::string over = wav_image(1, 8000, 100000, std::string(20, '\2'));
  AudioBuffer buffer;
  decode_wav(over.data(), over.size(), buffer);
  EXPECT_EQ(buffer.size, 10);
  EXPECT_LE(buffer.capacity, 20);
  for (int i = 0; i < buffer.size; ++i) EXPECT_EQ(buffer.samples[i], 0x0202) << i;
}

TEST(WavCodecTest, EncodeRoundTripsThroughTheDecoderAndTheIndependentTool) {
  for (const WavCase& c : kWavFiles) {
    SCOPED_TRACE(c.name);
    const std::string bytes = fixture(c.name);
    AudioBuffer decoded;
    decode_wav(bytes.data(), bytes.size(), decoded);

    void* out = nullptr;
    size_t out_size = 0;
    encode_wav(decoded, &out, &out_size);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out_size, 44u + decoded.size * 2u);  // canonical header, then the samples
    AudioBuffer again;
    decode_wav(out, out_size, again);
    EXPECT_EQ(again.sample_rate, c.rate);
    EXPECT_EQ(again.channels, c.channels);
    EXPECT_EQ(samples_of(again), samples_of(decoded));

    if (tool_available("sox")) {
      TempFile wav(".wav");
      TempFile raw(".raw");
      write_bytes(wav.path(), out, out_size);
      ASSERT_TRUE(run_command("sox " + wav.path() + " -t raw -e signed -b 16 -L " + raw.path()));
      EXPECT_EQ(to_samples(read_bytes(raw.path())), samples_of(decoded));
      // sox reads back the same rate and channel count.
      ASSERT_TRUE(run_command("test \"$(soxi -r " + wav.path() + ")\" = " + std::to_string(c.rate) +
                              " && test \"$(soxi -c " + wav.path() +
                              ")\" = " + std::to_string(c.channels)));
    }
    free(out);
  }
}

TEST(WavCodecTest, EncodeEdgeCases) {
  // No samples: a valid, empty file.
  AudioBuffer empty;
  empty.sample_rate = 16000;
  empty.channels = 1;
  void* out = nullptr;
  size_t out_size = 0;
  encode_wav(empty, &out, &out_size);
  ASSERT_NE(out, nullptr);
  AudioBuffer back;
  decode_wav(out, out_size, back);
  EXPECT_EQ(back.size, 0);
  EXPECT_EQ(back.sample_rate, 16000);
  EXPECT_EQ(back.channels, 1);
  free(out);

  // A format the writer cannot take fails the check before dividing by the channel count.
  struct Bad {
    int rate;
    int channels;
  } bad[] = {{44100, 0}, {0, 2}, {-8000, 1}, {44100, -1}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(testing::Message() << b.rate << "/" << b.channels);
    AudioBuffer buffer;
    buffer.sample_rate = b.rate;
    buffer.channels = b.channels;
    testing::internal::CaptureStderr();
    try {
      encode_wav(buffer, &out, &out_size);
      ADD_FAILURE() << "no exception";
    } catch (const CheckException& e) {
      EXPECT_NE(std::string(e.what()).find(" false check failed"), std::string::npos) << e.what();
    }
    testing::internal::GetCapturedStderr();
  }
}

}  // namespace
}  // namespace base
