#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/archive/archive_io.h"
#include "base/asset_manager.h"
#include "base/audio/audio_buffer.h"
#include "base/audio/mp3_codec.h"
#include "base/audio/opus_codec.h"
#include "base/audio/wav_codec.h"
#include "base/image.h"
#include "base/image_codec.h"
#include "base/image_dng.h"
#include "base/logging.h"

namespace base {
namespace {

namespace fs = std::filesystem;

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path testdata(const std::string& name) {
  return fs::path(CORVALITH_SOURCE_DIR) / "testdata" / name;
}

std::vector<int16_t> samples_of(const AudioBuffer& buffer) {
  return std::vector<int16_t>(buffer.samples, buffer.samples + buffer.size);
}

// Files copied under the names the loaders see, packed by the qvxr tool into one archive that
// the asset manager loads for the suite; forgotten again afterwards.
class MediaAssetsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_suite();
    root_ = fs::path(::testing::TempDir()) /
            ("corvalith_media_" + std::string(info->name()) + "_" + std::to_string(getpid()));
    fs::remove_all(root_);
    const fs::path tree = root_ / "tree";
    const struct {
      const char* archive_path;
      const char* fixture;
    } files[] = {
        {"sounds/tone.wav", kWav},
        {"sounds/tone.WAV", kWav},
        {"sounds/voice.opus", kOpus},
        {"sounds/voice.Opus", kOpus},
        {"sounds/music.mp3", kMp3},
        {"sounds/music.MP3", kMp3},
        {"sounds/tone", kWav},
        {"sounds/.wav", kShortWav},
        {"sounds.d/tone", kWav},
        {"sounds/tone.wav.bak", kWav},
        {"sounds/eight_bit.wav", "audio/u8_mono_8000.wav"},
        {"sounds/not_opus.opus", kShortWav},
        {"sounds/not_mp3.mp3", kShortWav},
        {"sounds/not_wav.wav", kOpus},
        {"pictures/photo.jpg", kJpeg},
        {"pictures/photo.jpeg", kJpeg},
        {"pictures/photo.JPG", kJpeg},
        {"pictures/icon.png", kPng},
        {"pictures/icon.PNG", kPng},
        {"pictures/.png", kPng},
        {"pictures/icon", kPng},
        {"pictures/raw.dng", kDng},
        {"pictures/broken.png", kShortWav},
        {"raw/a.dng", kDng},
        {"raw/a.DNG", kDng},
        {"raw/b.Dng", kDng},
        {"raw/c.tiff", kDng},
        {"raw/d.TIFF", kDng},
        {"raw/e", kDng},
        {"raw/photo.jpg", kJpeg},
        {"raw/broken.dng", kPng},
    };
    for (const auto& f : files) {
      fs::create_directories((tree / f.archive_path).parent_path());
      fs::copy_file(testdata(f.fixture), tree / f.archive_path);
    }
    const fs::path archive = root_ / "media.qvxr";
    const std::string qvxr = std::string(CORVALITH_BIN_DIR) + "/qvxr";
    ASSERT_EQ(std::system(("'" + qvxr + "' create '" + archive.string() + "' '" + tree.string() +
                           "' >/dev/null")
                              .c_str()),
              0);
    AssetManager::instance().load_archive("media_assets_test",
                                          std::make_unique<MemoryArchiveIO>(read_bytes(archive)));
  }

  static void TearDownTestSuite() {
    AssetManager::instance().clear();
    fs::remove_all(root_);
  }

  static constexpr const char* kWav = "audio/s16_stereo_44100.wav";
  static constexpr const char* kShortWav = "audio/s16_mono_8000.wav";
  static constexpr const char* kOpus = "audio/from16000_mono.opus";
  static constexpr const char* kMp3 = "audio/cbr128_stereo_44100.mp3";
  static constexpr const char* kJpeg = "images/baseline.jpg";
  static constexpr const char* kPng = "images/rgba.png";
  static constexpr const char* kDng = "media/bayer_24x24.dng";

  static AudioBuffer decoded(void (*decoder)(const void*, size_t, AudioBuffer&),
                             const std::string& fixture) {
    const std::string bytes = read_bytes(testdata(fixture));
    AudioBuffer buffer;
    decoder(bytes.data(), bytes.size(), buffer);
    return buffer;
  }

  // Runs `f`, expecting std::runtime_error with exactly `message`, logged at ERROR.
  template <typename F>
  static void expect_failure(F&& f, const std::string& message) {
    testing::internal::CaptureStderr();
    try {
      f();
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("ERROR:"), std::string::npos) << log;
    EXPECT_NE(log.find(")] " + message + "\r\n"), std::string::npos) << log;
  }

  static fs::path root_;
};

fs::path MediaAssetsTest::root_;

TEST_F(MediaAssetsTest, LoadAudioPicksTheDecoderByExtension) {
  AssetManager& assets = AssetManager::instance();
  const AudioBuffer wav = decoded(decode_wav, kWav);
  const AudioBuffer opus = decoded(decode_opus, kOpus);
  const AudioBuffer mp3 = decoded(decode_mp3, kMp3);
  const AudioBuffer short_wav = decoded(decode_wav, kShortWav);
  const struct {
    const char* path;
    const AudioBuffer& expected;
  } cases[] = {
      {"sounds/tone.wav", wav},
      {"/sounds/tone.wav", wav},
      {"sounds/voice.opus", opus},
      {"sounds/music.mp3", mp3},
      {"/sounds/music.mp3", mp3},
      {"sounds/.wav", short_wav},  // a last component that is all extension
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const AudioBuffer buffer = assets.load_audio(c.path);
    EXPECT_EQ(buffer.sample_rate, c.expected.sample_rate);
    EXPECT_EQ(buffer.channels, c.expected.channels);
    EXPECT_GT(buffer.size, 0);
    EXPECT_EQ(samples_of(buffer), samples_of(c.expected));
  }
}

TEST_F(MediaAssetsTest, LoadAudioRefusesOtherExtensionsAfterFindingTheAsset) {
  AssetManager& assets = AssetManager::instance();
  const struct {
    const char* path;
    const char* message;
  } cases[] = {
      // Extensions compare case-sensitively.
      {"sounds/tone.WAV", "Unsupported audio format \".WAV\""},
      {"sounds/voice.Opus", "Unsupported audio format \".Opus\""},
      {"sounds/music.MP3", "Unsupported audio format \".MP3\""},
      // No extension at all, also when a folder name has a dot.
      {"sounds/tone", "Unsupported audio format \"\""},
      {"sounds.d/tone", "Unsupported audio format \"\""},
      {"sounds/tone.wav.bak", "Unsupported audio format \".bak\""},
      // A missing path fails in the lookup first, whatever its extension.
      {"sounds/missing.wav", "Unable to find asset \"sounds/missing.wav\""},
      {"sounds/missing", "Unable to find asset \"sounds/missing\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    expect_failure([&] { (void)assets.load_audio(c.path); }, c.message);
  }
}

TEST_F(MediaAssetsTest, AudioDecoderFailuresPassThrough) {
  AssetManager& assets = AssetManager::instance();
  testing::internal::CaptureStderr();
  EXPECT_THROW((void)assets.load_audio("sounds/eight_bit.wav"), CheckException);
  EXPECT_THROW((void)assets.load_audio("sounds/not_mp3.mp3"), CheckException);
  testing::internal::GetCapturedStderr();
  expect_failure([&] { (void)assets.load_audio("sounds/not_opus.opus"); },
                 "op_open_memory() failed");

  // The WAV decoder's own answer to bytes it cannot read: a log line and an empty buffer.
  testing::internal::CaptureStderr();
  const AudioBuffer empty = assets.load_audio("sounds/not_wav.wav");
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("drwav_init_memory() failed"), std::string::npos) << log;
  EXPECT_EQ(empty.size, 0);
  EXPECT_EQ(empty.samples, nullptr);
}

TEST_F(MediaAssetsTest, LoadAudioFromManyThreadsAtOnce) {
  const AudioBuffer opus = decoded(decode_opus, kOpus);
  const AudioBuffer mp3 = decoded(decode_mp3, kMp3);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        const bool odd = (t + i) % 2 == 1;
        const AudioBuffer buffer =
            AssetManager::instance().load_audio(odd ? "sounds/voice.opus" : "sounds/music.mp3");
        if (samples_of(buffer) != samples_of(odd ? opus : mp3)) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << t;
}

template <typename T>
void expect_same_image(const Image<T>& actual, const Image<T>& expected) {
  ASSERT_EQ(actual.width(), expected.width());
  ASSERT_EQ(actual.height(), expected.height());
  ASSERT_EQ(actual.stride(), expected.stride());
  EXPECT_EQ(actual.format(), expected.format());
  EXPECT_GT(actual.width(), 0);
  for (int y = 0; y < actual.height(); ++y) {
    ASSERT_TRUE(std::equal(actual.row(y), actual.row(y) + actual.width() * actual.channels(),
                           expected.row(y)))
        << "row " << y;
  }
}

TEST_F(MediaAssetsTest, LoadImagePicksTheDecoderAndPassesFormatAndAlignment) {
  AssetManager& assets = AssetManager::instance();
  const std::string jpeg = read_bytes(testdata(kJpeg));
  const std::string png = read_bytes(testdata(kPng));
  const struct {
    const char* path;
    ImageFormat format;
    int alignment;
    bool is_png;
  } cases[] = {
      {"pictures/photo.jpg", kImageFormatRGB, 1, false},
      {"pictures/photo.jpeg", kImageFormatRGBA, 64, false},
      {"/pictures/photo.jpg", kImageFormatGrayscale, 16, false},
      {"pictures/icon.png", kImageFormatNative, 1, true},
      {"pictures/icon.png", kImageFormatBGRA, 32, true},
      {"pictures/.png", kImageFormatRGB, 8, true},  // a last component that is all extension
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " " << c.format << " " << c.alignment);
    const std::string& bytes = c.is_png ? png : jpeg;
    const Image<uint8_t> expected =
        c.is_png ? decode_png(bytes.data(), int(bytes.size()), c.format, c.alignment)
                 : decode_jpeg(bytes.data(), int(bytes.size()), c.format, c.alignment);
    const Image<uint8_t> image = assets.load_image(c.path, c.format, c.alignment);
    EXPECT_EQ(image.alignment(), c.alignment);
    expect_same_image(image, expected);
  }
}

TEST_F(MediaAssetsTest, LoadImageRefusesOtherExtensionsCaseSensitively) {
  AssetManager& assets = AssetManager::instance();
  const struct {
    const char* path;
    const char* message;
  } cases[] = {
      {"pictures/icon.PNG", "Unsupported image format \".PNG\""},
      {"pictures/photo.JPG", "Unsupported image format \".JPG\""},
      {"pictures/raw.dng", "Unsupported image format \".dng\""},
      {"pictures/icon", "Unsupported image format \"\""},
      {"pictures/missing.png", "Unable to find asset \"pictures/missing.png\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    expect_failure([&] { (void)assets.load_image(c.path, kImageFormatRGB, 1); }, c.message);
  }
  // The decoder's own failure passes through unchanged.
  testing::internal::CaptureStderr();
  try {
    (void)assets.load_image("pictures/broken.png", kImageFormatRGB, 1);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("PNGCodec: ", 0), 0u) << e.what();
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(MediaAssetsTest, LoadHdrImageLowerCasesTheExtension) {
  AssetManager& assets = AssetManager::instance();
  const std::string dng = read_bytes(testdata(kDng));
  for (int alignment : {1, 32}) {
    const RawImage<uint16_t> expected = decode_dng(dng.data(), int(dng.size()), alignment);
    for (const char* path : {"raw/a.dng", "raw/a.DNG", "raw/b.Dng", "/raw/a.dng"}) {
      SCOPED_TRACE(testing::Message() << path << " " << alignment);
      const RawImage<uint16_t> image = assets.load_hdr_image(path, alignment);
      EXPECT_EQ(image.alignment(), alignment);
      expect_same_image<uint16_t>(image, expected);
      EXPECT_EQ(image.black_level(), expected.black_level());
      EXPECT_EQ(image.white_level(), expected.white_level());
      EXPECT_EQ(image.white_balance(), expected.white_balance());
      EXPECT_EQ(image.color_correction(), expected.color_correction());
      EXPECT_EQ(image.color_filter_array(), expected.color_filter_array());
    }
  }
}

TEST_F(MediaAssetsTest, LoadHdrImageRefusesOtherExtensions) {
  AssetManager& assets = AssetManager::instance();
  const struct {
    const char* path;
    const char* message;
  } cases[] = {
      {"raw/c.tiff", "Unsupported HDR image format \".tiff\""},
      {"raw/d.TIFF", "Unsupported HDR image format \".tiff\""},  // named lower-cased
      {"raw/e", "Unsupported HDR image format \"\""},
      {"raw/photo.jpg", "Unsupported HDR image format \".jpg\""},
      {"raw/missing.dng", "Unable to find asset \"raw/missing.dng\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    expect_failure([&] { (void)assets.load_hdr_image(c.path, 1); }, c.message);
  }
  testing::internal::CaptureStderr();
  EXPECT_ANY_THROW((void)assets.load_hdr_image("raw/broken.dng", 1));
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace base
