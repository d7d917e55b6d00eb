#include "base/archive/archive_io.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/archive/archive.h"
#include "base/archive/archive_for_testing.h"
#include "base/platform/fake_platform_for_testing.h"

namespace base {
namespace {

namespace fs = std::filesystem;

// A folder standing in for the executable's: the fake reports an executable inside it, and
// existence answers come from the fake's list, so each case says which candidates exist.
class StreamArchiveIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(testing::TempDir()) / ("archive_io_test_" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    locations_.executable = (folder_ / "corvalith").string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string write_archive(const std::string& name, const std::string& bytes) {
    const std::string file = (folder_ / name).string();
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  fs::path folder_;
  platform::FakeLocations locations_;
};

TEST_F(StreamArchiveIOTest, OpensTheArchiveBesideTheExecutable) {
  const std::string file = write_archive("corvalith.qvxr", testing_archive::example_archive());
  locations_.existing.insert(file);
  testing::internal::CaptureStderr();
  Archive archive("corvalith.qvxr");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(archive.good());
  EXPECT_EQ(archive.io()->size(), 353u);
  auto* file_entry = static_cast<ArchiveFile*>(archive.lookup("/docs/hello.txt"));
  ASSERT_NE(file_entry, nullptr);
  char text[6] = {};
  file_entry->read(text);
  EXPECT_STREQ(text, "hello");
}

TEST_F(StreamArchiveIOTest, MissingArchiveWarnsTwiceAndFailsToOpen) {
  const std::string candidate = (folder_ / "corvalith.qvxr").string();
  testing::internal::CaptureStderr();
  try {
    Archive archive("corvalith.qvxr");
    ADD_FAILURE() << "opened";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unable to open archive \"corvalith.qvxr\"");
  }
  const std::string log = testing::internal::GetCapturedStderr();
  const size_t first = log.find(":WARNING:archive_io.cc(");
  const size_t second = log.find("] Could not open archive file at " + candidate + "\r\n");
  const size_t error = log.find(":ERROR:archive.cc(");
  EXPECT_NE(log.find("] Could not find archive\r\n"), std::string::npos) << log;
  ASSERT_NE(first, std::string::npos) << log;
  ASSERT_NE(second, std::string::npos) << log;
  ASSERT_NE(error, std::string::npos) << log;
  EXPECT_LT(first, second);
  EXPECT_LT(second, error);
}

TEST_F(StreamArchiveIOTest, ExistingButUnopenableArchiveWarnsOnce) {
  // The status query says it is there, but opening fails.
  const std::string candidate = (folder_ / "gone.qvxr").string();
  locations_.existing.insert(candidate);
  testing::internal::CaptureStderr();
  StreamArchiveIO io("gone.qvxr");
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(io.good());
  EXPECT_EQ(io.size(), 0u);
  EXPECT_EQ(log.find("Could not find archive"), std::string::npos) << log;
  EXPECT_NE(log.find("] Could not open archive file at " + candidate + "\r\n"), std::string::npos)
      << log;
}

TEST_F(StreamArchiveIOTest, ReadsSeeksAndStaysFailed) {
  const std::string file = write_archive("bytes.bin", "0123456789");
  for (int kind = 0; kind < 2; ++kind) {
    SCOPED_TRACE(kind == 0 ? "stream" : "memory");
    std::unique_ptr<ArchiveIO> io;
    if (kind == 0) {
      io = StreamArchiveIO::at_path(file);
    } else {
      io = std::make_unique<MemoryArchiveIO>("0123456789");
    }
    ASSERT_TRUE(io->good());
    EXPECT_EQ(io->size(), 10u);
    char buffer[4] = {};
    EXPECT_TRUE(io->seek(6));
    EXPECT_TRUE(io->read(buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_TRUE(io->seek(2));
    EXPECT_TRUE(io->read(buffer, 0));
    EXPECT_TRUE(io->seek(100));         // seeking past the end is allowed...
    EXPECT_FALSE(io->read(buffer, 1));  // ...reading there is not
    EXPECT_FALSE(io->good());
    EXPECT_FALSE(io->seek(0));  // and the failure sticks
    EXPECT_FALSE(io->read(buffer, 1));
  }
  auto io = StreamArchiveIO::at_path(file);
  EXPECT_FALSE(io->seek(uint64_t{1} << 63));  // no file has such an offset
  EXPECT_FALSE(io->good());
  io = StreamArchiveIO::at_path(file);
  char buffer[4] = {};
  EXPECT_TRUE(io->seek(8));
  EXPECT_FALSE(io->read(buffer, 4));  // a short read fails but copies what there was
  EXPECT_EQ(std::string(buffer, 2), "89");
}

}  // namespace
}  // namespace base
