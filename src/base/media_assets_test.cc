#include <gtest/gtest.h>
#include <unistd.h>

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
#include "base/logging.h"

namespace base {
namespace {

namespace fs = std::filesystem;

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path audio_fixture(const std::string& name) {
  return fs::path(CORVALITH_SOURCE_DIR) / "testdata" / "audio" / name;
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
        {"sounds/tone.wav", "s16_stereo_44100.wav"},
        {"sounds/tone.WAV", "s16_stereo_44100.wav"},
        {"sounds/voice.opus", "from16000_mono.opus"},
        {"sounds/voice.Opus", "from16000_mono.opus"},
        {"sounds/music.mp3", "cbr128_stereo_44100.mp3"},
        {"sounds/music.MP3", "cbr128_stereo_44100.mp3"},
        {"sounds/tone", "s16_stereo_44100.wav"},
        {"sounds/.wav", "s16_mono_8000.wav"},
        {"sounds.d/tone", "s16_stereo_44100.wav"},
        {"sounds/tone.wav.bak", "s16_stereo_44100.wav"},
        {"sounds/eight_bit.wav", "u8_mono_8000.wav"},
        {"sounds/not_opus.opus", "s16_mono_8000.wav"},
        {"sounds/not_mp3.mp3", "s16_mono_8000.wav"},
        {"sounds/not_wav.wav", "from16000_mono.opus"},
    };
    for (const auto& f : files) {
      fs::create_directories((tree / f.archive_path).parent_path());
      fs::copy_file(audio_fixture(f.fixture), tree / f.archive_path);
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

  static AudioBuffer decoded(void (*decoder)(const void*, size_t, AudioBuffer&),
                             const std::string& fixture) {
    const std::string bytes = read_bytes(audio_fixture(fixture));
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
  const AudioBuffer wav = decoded(decode_wav, "s16_stereo_44100.wav");
  const AudioBuffer opus = decoded(decode_opus, "from16000_mono.opus");
  const AudioBuffer mp3 = decoded(decode_mp3, "cbr128_stereo_44100.mp3");
  const AudioBuffer short_wav = decoded(decode_wav, "s16_mono_8000.wav");
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

TEST_F(MediaAssetsTest, DecoderFailuresPassThrough) {
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
  const AudioBuffer opus = decoded(decode_opus, "from16000_mono.opus");
  const AudioBuffer mp3 = decoded(decode_mp3, "cbr128_stereo_44100.mp3");
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

}  // namespace
}  // namespace base
