#include "base/audio/mp3_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/audio/audio_fixtures_for_testing.h"
#include "base/logging.h"

namespace base {
namespace {

using namespace testing_audio;

struct Mp3Case {
  const char* name;
  int channels;
  int rate;
};
const Mp3Case kMp3Files[] = {
    {"cbr128_stereo_44100.mp3", 2, 44100},
    {"cbr32_mono_16000.mp3", 1, 16000},
    {"vbr_stereo_48000.mp3", 2, 48000},
    {"vbr_mono_22050.mp3", 1, 22050},
};

// The reference samples were written by `mpg123 -s`, which follows the same rules (16-bit
// output, encoder delay and padding removed), so they agree sample for sample.
TEST(Mp3CodecTest, DecodesLikeTheIndependentDecoder) {
  for (const Mp3Case& c : kMp3Files) {
    SCOPED_TRACE(c.name);
    const std::string bytes = fixture(c.name);
    AudioBuffer buffer;
    decode_mp3(bytes.data(), bytes.size(), buffer);
    EXPECT_EQ(buffer.channels, c.channels);
    EXPECT_EQ(buffer.sample_rate, c.rate);
    EXPECT_EQ(buffer.capacity, buffer.size);  // grown exactly
    EXPECT_EQ(samples_of(buffer), to_samples(fixture(std::string(c.name) + ".s16")));
  }
}

TEST(Mp3CodecTest, StreamCutShortKeepsTheFramesBeforeTheCut) {
  const std::string full_bytes = fixture("cbr128_stereo_44100.mp3");
  AudioBuffer full;
  decode_mp3(full_bytes.data(), full_bytes.size(), full);

  const std::string cut = fixture("truncated_stereo_44100.mp3");
  AudioBuffer buffer;
  decode_mp3(cut.data(), cut.size(), buffer);
  EXPECT_EQ(buffer.channels, 2);
  EXPECT_EQ(buffer.sample_rate, 44100);
  EXPECT_GT(buffer.size, 0);
  EXPECT_LT(buffer.size, full.size);
  const std::vector<int16_t> all = samples_of(full);
  EXPECT_EQ(samples_of(buffer), std::vector<int16_t>(all.begin(), all.begin() + buffer.size));
  EXPECT_EQ(samples_of(buffer), to_samples(fixture("truncated_stereo_44100.mp3.s16")));
}

TEST(Mp3CodecTest, DecodingIntoAFilledBufferReplacesItsContents) {
  const std::string stereo = fixture("cbr128_stereo_44100.mp3");
  const std::string mono = fixture("cbr32_mono_16000.mp3");
  AudioBuffer buffer;
  decode_mp3(stereo.data(), stereo.size(), buffer);
  decode_mp3(mono.data(), mono.size(), buffer);
  EXPECT_EQ(buffer.channels, 1);
  EXPECT_EQ(buffer.sample_rate, 16000);
  EXPECT_EQ(buffer.capacity, buffer.size);
  EXPECT_EQ(samples_of(buffer), to_samples(fixture("cbr32_mono_16000.mp3.s16")));
}

TEST(Mp3CodecTest, BytesThatAreNotMpegAudioFailTheCheck) {
  const std::string cases[] = {
      "",
      "hello, world",
      std::string(4096, '\0'),
      fixture("s16_stereo_44100.wav"),
      fixture("from16000_mono.opus"),
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 12));
    AudioBuffer buffer;
    testing::internal::CaptureStderr();
    try {
      decode_mp3(bytes.data(), bytes.size(), buffer);
      ADD_FAILURE() << "no exception";
    } catch (const CheckException& e) {
      EXPECT_NE(std::string(e.what()).find("mp3_codec.cc:"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(" false check failed"), std::string::npos) << e.what();
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(buffer.samples, nullptr);
    EXPECT_EQ(buffer.size, 0);
  }
}

}  // namespace
}  // namespace base
