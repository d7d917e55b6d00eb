#include "base/audio/opus_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/audio/audio_fixtures_for_testing.h"
#include "base/audio/wav_codec.h"
#include "base/logging.h"

namespace base {
namespace {

using namespace testing_audio;

// The decoder keeps the library's default noise-shaped dither on 16-bit output; the reference
// (`opusdec --no-dither`) rounds plainly. Both decode the same packets, so they differ only by
// the dither noise: a few units at most, near zero on average.
constexpr int kDitherPeak = 32;
constexpr double kDitherRms = 8.0;

double rms_difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    sum += d * d;
  }
  return a.empty() ? 0.0 : std::sqrt(sum / double(a.size()));
}

void expect_close_to_reference(const AudioBuffer& buffer, const std::vector<int16_t>& reference) {
  ASSERT_EQ(static_cast<size_t>(buffer.size), reference.size());
  const std::vector<int16_t> samples = samples_of(buffer);
  EXPECT_LE(max_difference(samples, reference), kDitherPeak);
  EXPECT_LE(rms_difference(samples, reference), kDitherRms);
}

struct OpusCase {
  const char* name;
  int channels;
};
const OpusCase kOpusFiles[] = {
    {"from44100_stereo.opus", 2},
    {"from16000_mono.opus", 1},
    {"chained_stereo.opus", 2},
};

TEST(OpusCodecTest, DecodesAtFortyEightKilohertzLikeTheIndependentDecoder) {
  for (const OpusCase& c : kOpusFiles) {
    SCOPED_TRACE(c.name);
    const std::string bytes = fixture(c.name);
    AudioBuffer buffer;
    decode_opus(bytes.data(), bytes.size(), buffer);
    EXPECT_EQ(buffer.sample_rate, 48000);
    EXPECT_EQ(buffer.channels, c.channels);
    EXPECT_EQ(buffer.capacity, buffer.size);  // grown exactly
    expect_close_to_reference(buffer, to_samples(fixture(std::string(c.name) + ".s16")));
  }
}

TEST(OpusCodecTest, ChainedStreamDecodesEveryLink) {
  const std::string first = fixture("from44100_stereo.opus");
  const std::string chained = fixture("chained_stereo.opus");
  AudioBuffer one, both;
  decode_opus(first.data(), first.size(), one);
  decode_opus(chained.data(), chained.size(), both);
  EXPECT_EQ(both.size, one.size + 2 * 19200);  // the second link holds 0.4 s
}

TEST(OpusCodecTest, StreamCutShortKeepsTheSamplesBeforeTheCut) {
  const std::string full_bytes = fixture("from44100_stereo.opus");
  const std::string cut = fixture("truncated_stereo.opus");
  AudioBuffer full, buffer;
  decode_opus(full_bytes.data(), full_bytes.size(), full);
  decode_opus(cut.data(), cut.size(), buffer);
  EXPECT_EQ(buffer.sample_rate, 48000);
  EXPECT_EQ(buffer.channels, 2);
  EXPECT_GT(buffer.size, 0);
  EXPECT_LT(buffer.size, full.size);
  // Same packets, same dither sequence: the kept part is exactly the start of the full decode.
  const std::vector<int16_t> all = samples_of(full);
  EXPECT_EQ(samples_of(buffer), std::vector<int16_t>(all.begin(), all.begin() + buffer.size));
  expect_close_to_reference(buffer, to_samples(fixture("truncated_stereo.opus.s16")));
}

TEST(OpusCodecTest, LinkWithAnotherChannelCountEndsTheStream) {
  const std::string mono = fixture("from16000_mono.opus");
  const std::string chained = fixture("chained_mono_then_stereo.opus");
  AudioBuffer alone, buffer;
  decode_opus(mono.data(), mono.size(), alone);
  testing::internal::CaptureStderr();
  decode_opus(chained.data(), chained.size(), buffer);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(buffer.channels, 1);
  EXPECT_EQ(samples_of(buffer), samples_of(alone));
}

TEST(OpusCodecTest, BytesThatAreNotOggOpusFailCleanlyAndLeaveTheBufferAlone) {
  std::string bad_header = fixture("from16000_mono.opus");
  bad_header[28 + 8] = 7;  // version byte of the identification header
  const std::string cases[] = {
      "",
      "hello, world",
      std::string(4096, '\0'),
      fixture("s16_stereo_44100.wav"),
      fixture("cbr128_stereo_44100.mp3"),
      fixture("from16000_mono.opus").substr(0, 40),  // identification header cut short
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 12));
    AudioBuffer buffer;
    buffer.sample_rate = 1234;
    testing::internal::CaptureStderr();
    try {
      decode_opus(bytes.data(), bytes.size(), buffer);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "op_open_memory() failed");
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find(")] op_open_memory() failed\r\n"), std::string::npos) << log;
    EXPECT_EQ(buffer.sample_rate, 1234);
    EXPECT_EQ(buffer.samples, nullptr);
  }
}

TEST(OpusCodecTest, DecodingIntoAFilledBufferReplacesItsContents) {
  const std::string stereo = fixture("from44100_stereo.opus");
  const std::string mono = fixture("from16000_mono.opus");
  AudioBuffer expected, buffer;
  decode_opus(mono.data(), mono.size(), expected);
  decode_opus(stereo.data(), stereo.size(), buffer);
  decode_opus(mono.data(), mono.size(), buffer);
  EXPECT_EQ(buffer.channels, 1);
  EXPECT_EQ(buffer.capacity, buffer.size);
  EXPECT_EQ(samples_of(buffer), samples_of(expected));
}

// A tone at `rate` Hz, `frames` long, in every channel.
AudioBuffer tone(int rate, int channels, int frames) {
  AudioBuffer buffer;
  buffer.sample_rate = rate;
  buffer.channels = channels;
  std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
  uint32_t noise = 12345;
  for (int i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    for (int c = 0; c < channels; ++c) {
      const double t = double(i) / rate;
      samples[size_t(i) * channels + c] =
          int16_t(8000 * std::sin(2 * M_PI * 440 * (c + 1) * t) + int16_t(noise >> 16) / 8);
    }
  }
  buffer.append(samples.data(), static_cast<int32_t>(samples.size()));
  return buffer;
}

double rms(const AudioBuffer& buffer) {
  double sum = 0;
  for (int i = 0; i < buffer.size; ++i) sum += double(buffer.samples[i]) * buffer.samples[i];
  return buffer.size ? std::sqrt(sum / buffer.size) : 0;
}

TEST(OpusCodecTest, EncodeRoundTripsThroughTheDecoderAndTheIndependentTool) {
  struct Case {
    int rate;
    int channels;
    int frames;
  } cases[] = {{48000, 2, 24000}, {44100, 2, 22050}, {16000, 1, 8000}, {8000, 1, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << "/" << c.channels << "/" << c.frames);
    const AudioBuffer input = tone(c.rate, c.channels, c.frames);
    void* out = nullptr;
    size_t out_size = 0;
    encode_opus(input, &out, &out_size);
    ASSERT_NE(out, nullptr);
    ASSERT_GT(out_size, 0u);

    AudioBuffer decoded;
    decode_opus(out, out_size, decoded);
    EXPECT_EQ(decoded.sample_rate, 48000);
    EXPECT_EQ(decoded.channels, c.channels);
    // Same duration at 48 kHz, to within one input frame.
    const double expected_frames = double(c.frames) * 48000 / c.rate;
    EXPECT_NEAR(decoded.frames(), expected_frames, 48000.0 / c.rate + 1);
    if (c.frames >= 8000) {
      EXPECT_NEAR(rms(decoded), rms(input), rms(input) * 0.2);
    }

    if (tool_available("opusdec")) {
      TempFile opus(".opus");
      TempFile raw(".raw");
      write_bytes(opus.path(), out, out_size);
      ASSERT_TRUE(run_command("opusdec --quiet --rate 48000 --no-dither " + opus.path() + " " +
                              raw.path()));
      expect_close_to_reference(decoded, to_samples(read_bytes(raw.path())));
    }
    free(out);
  }
}

// At a low rate a small input is a long sound: its pages outgrow the initial 64 KiB output.
TEST(OpusCodecTest, EncoderOutputGrowsPastItsInitialCapacity) {
  for (int frames : {32768, 40000}) {
    SCOPED_TRACE(frames);
    const AudioBuffer input = tone(2000, 1, frames);
    void* out = nullptr;
    size_t out_size = 0;
    encode_opus(input, &out, &out_size);
    EXPECT_GT(out_size, std::max<size_t>(65536, size_t(frames) * 2));
    AudioBuffer decoded;
    decode_opus(out, out_size, decoded);
    EXPECT_NEAR(decoded.frames(), frames * 24.0, 25);
    free(out);
  }
}

TEST(OpusCodecTest, EncoderThatCannotBeCreatedLogsTheLibraryTextThenFailsTheCheck) {
  struct Case {
    int rate;
    int channels;
    const char* text;  // the encoder library's text for its error code
  } cases[] = {
      {0, 1, "invalid argument"},
      {-1, 2, "invalid argument"},
      {48000, 0, "invalid argument"},
      {48000, 3, "request not implemented"},  // more than two channels needs another mapping
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << "/" << c.channels);
    AudioBuffer buffer;
    buffer.sample_rate = c.rate;
    buffer.channels = c.channels;
    void* out = nullptr;
    size_t out_size = 0;
    testing::internal::CaptureStderr();
    try {
      encode_opus(buffer, &out, &out_size);
      ADD_FAILURE() << "no exception";
    } catch (const CheckException& e) {
      EXPECT_NE(std::string(e.what()).find(" false check failed"), std::string::npos) << e.what();
    }
    const std::string log = testing::internal::GetCapturedStderr();
    const size_t text = log.find(std::string(")] ") + c.text + "\r\n");
    ASSERT_NE(text, std::string::npos) << log;
    EXPECT_LT(text, log.find("false check failed")) << log;
    EXPECT_NE(log.find("ERROR:opus_codec.cc("), std::string::npos) << log;
  }
}

}  // namespace
}  // namespace base
