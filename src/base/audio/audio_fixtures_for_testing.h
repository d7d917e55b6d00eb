// Test helpers for the audio codecs: fixture files, reference samples written by independent
// decoders, and running those decoders on files the tests produce.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/audio/audio_buffer.h"

namespace base::testing_audio {

inline std::string fixture_path(const std::string& name) {
  return std::string(CORVALITH_SOURCE_DIR) + "/testdata/audio/" + name;
}

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void write_bytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string fixture(const std::string& name) { return read_bytes(fixture_path(name)); }

// Raw interleaved little-endian 16-bit samples, as the reference files hold them.
inline std::vector<int16_t> to_samples(const std::string& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

inline std::vector<int16_t> samples_of(const AudioBuffer& buffer) {
  return std::vector<int16_t>(buffer.samples, buffer.samples + buffer.size);
}

// A temporary file name unique to this test; removed by the destructor.
class TempFile {
 public:
  explicit TempFile(const std::string& suffix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = ::testing::TempDir() + "corvalith_audio_" + info->test_suite_name() + "_" +
            info->name() + "_" + std::to_string(counter()++) + suffix;
  }
  ~TempFile() { std::filesystem::remove(path_); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  static int& counter() {
    static int n = 0;
    return n;
  }
  std::string path_;
};

// Runs a shell command quietly; true when it exits with status 0.
inline bool run_command(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool tool_available(const std::string& tool) { return run_command("command -v " + tool); }

// Largest absolute difference between two equally long sample vectors.
inline int max_difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int d = std::abs(int(a[i]) - int(b[i]));
    if (d > worst) worst = d;
  }
  return worst;
}

}  // namespace base::testing_audio
