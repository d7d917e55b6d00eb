#include "base/asset_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <stdexcept>
#include <thread>

#include "base/archive/archive_for_testing.h"
#include "base/archive/archive_writer.h"

namespace base {
namespace {

using testing_archive::entry;
using testing_archive::put_le;
using testing_archive::record;

// The manager is process-wide: every test starts and ends with it empty.
class AssetManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { AssetManager::instance().clear(); }
  void TearDown() override { AssetManager::instance().clear(); }

  static void load(const std::string& name, const ArchiveWriter& writer) {
    AssetManager::instance().load_archive(name, std::make_unique<MemoryArchiveIO>(writer.bytes()));
  }
  AssetManager& assets = AssetManager::instance();
};

TEST_F(AssetManagerTest, RegistersEveryFileUnderBothKeysOnly) {
  ArchiveWriter writer;
  writer.add_file("l10n/en.json", "{}");
  writer.add_file("top.txt", "top");
  load("one.qvxr", writer);
  const struct {
    const char* key;
    bool exists;
  } cases[] = {{"l10n/en.json", true},
               {"/l10n/en.json", true},
               {"top.txt", true},
               {"/top.txt", true},
               {"l10n", false},
               {"/l10n", false},
               {"./l10n/en.json", false},
               {"L10N/en.json", false},
               {"l10n/en.json/", false},
               {"//l10n/en.json", false},
               {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(assets.exists(c.key), c.exists);
  }
  EXPECT_EQ(assets.paths(),
            (std::vector<std::string>{"/l10n/en.json", "/top.txt", "l10n/en.json", "top.txt"}));
}

TEST_F(AssetManagerTest, LoadGivesAFreshNulTerminatedCopy) {
  ArchiveWriter writer;
  writer.add_file("text.txt", "line one\nline two");
  writer.add_file("empty", "");
  writer.add_file("binary", std::string("a\0b", 3));
  load("one.qvxr", writer);

  auto text = assets.load("/text.txt");
  EXPECT_EQ(text->to_string(), "line one\nline two");
  EXPECT_EQ(text->length(), 17);
  EXPECT_EQ(text->data()[17], 0);
  EXPECT_STREQ(text->c_str(), "line one\nline two");
  EXPECT_EQ(text->path(), "/text.txt");
  EXPECT_EQ(text->file(), assets.load("text.txt")->file());
  EXPECT_NE(assets.load("text.txt")->data(), text->data());  // nothing is cached

  auto empty = assets.load("empty");
  EXPECT_EQ(empty->length(), 0);
  EXPECT_EQ(empty->data()[0], 0);
  EXPECT_EQ(empty->to_string(), "");

  auto binary = assets.load("binary");
  EXPECT_EQ(binary->to_string(), std::string("a\0b", 3));
  EXPECT_EQ(binary->data()[3], 0);
}

TEST_F(AssetManagerTest, UnknownPathFailsWithItsName) {
  testing::internal::CaptureStderr();
  try {
    (void)assets.load("l10n/xx.json");
    ADD_FAILURE() << "loaded";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unable to find asset \"l10n/xx.json\"");
  }
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find(":ERROR:asset_manager.cc("), std::string::npos) << log;
  EXPECT_NE(log.find(")] Unable to find asset \"l10n/xx.json\"\r\n"), std::string::npos) << log;
}

// Counts reads so a test can see whether an archive was opened at all.
class CountingIO final : public ArchiveIO {
 public:
  CountingIO(std::string bytes, int* reads) : inner_(std::move(bytes)), reads_(reads) {}
  bool good() override { return inner_.good(); }
  bool read(void* ptr, size_t size) override {
    ++*reads_;
    return inner_.read(ptr, size);
  }
  bool seek(uint64_t pos) override { return inner_.seek(pos); }
  uint64_t size() override { return inner_.size(); }
  using ArchiveIO::read;

 private:
  MemoryArchiveIO inner_;
  int* reads_;
};

TEST_F(AssetManagerTest, SameNameLoadsOnceAndLaterArchivesWinSharedPaths) {
  ArchiveWriter first;
  first.add_file("shared.txt", "first");
  first.add_file("only_first.txt", "1");
  load("first.qvxr", first);

  int reads = 0;
  ArchiveWriter changed;
  changed.add_file("shared.txt", "changed");
  assets.load_archive("first.qvxr", std::make_unique<CountingIO>(changed.bytes(), &reads));
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(assets.load("shared.txt")->to_string(), "first");

  ArchiveWriter second;
  second.add_file("shared.txt", "second");
  load("second.qvxr", second);
  EXPECT_EQ(assets.load("shared.txt")->to_string(), "second");
  EXPECT_EQ(assets.load("/shared.txt")->to_string(), "second");
  EXPECT_EQ(assets.load("only_first.txt")->to_string(), "1");
  EXPECT_EQ(assets.paths().size(), 4u);
}

TEST_F(AssetManagerTest, FailedLoadsRegisterNothing) {
  ArchiveWriter good;
  good.add_file("kept.txt", "kept");
  load("good.qvxr", good);

  // A file the walk delivers before it meets an empty slot.
  std::string bytes(20, '\0');
  bytes += "abc";
  const size_t block = bytes.size();
  bytes += record(0, ".") + record(1, "a.txt") + record(2, "broken");
  const size_t table = bytes.size();
  bytes += entry(0, 0, block, 192) + entry(1, 1, 20, 3) + entry(9, 2, 0, 0);
  put_le(bytes, 4, table, 8);
  put_le(bytes, 12, 72, 8);
  EXPECT_THROW(assets.load_archive("bad.qvxr", std::make_unique<MemoryArchiveIO>(bytes)),
               std::runtime_error);
  EXPECT_FALSE(assets.exists("a.txt"));
  EXPECT_FALSE(assets.exists("/a.txt"));
  testing::internal::CaptureStderr();
  EXPECT_THROW(assets.load_archive("empty.qvxr", std::make_unique<MemoryArchiveIO>("")),
               std::runtime_error);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(assets.paths(), (std::vector<std::string>{"/kept.txt", "kept.txt"}));

  // A failed name is not remembered: a good archive under it loads later.
  ArchiveWriter fixed;
  fixed.add_file("a.txt", "fixed");
  load("bad.qvxr", fixed);
  EXPECT_EQ(assets.load("a.txt")->to_string(), "fixed");
}

TEST_F(AssetManagerTest, FilesOf2GiBOrMoreAreRefusedBeforeAllocating) {
  // An archive that claims 3 GiB: one file of exactly 2 GiB, one just below the limit is not
  // loaded (it would really allocate); the 2 GiB one must fail before any buffer is sized.
  const int64_t two_gib = int64_t{1} << 31;
  std::string prefix(20, '\0');
  const size_t block = prefix.size();
  prefix += record(0, ".") + record(1, "big.bin");
  const size_t table = prefix.size();
  prefix += entry(0, 0, block, 128) + entry(1, 1, 4096, two_gib);
  put_le(prefix, 4, table, 8);
  put_le(prefix, 12, 48, 8);
  assets.load_archive("huge.qvxr",
                      std::make_unique<testing_archive::SparseIO>(prefix, 3 * (uint64_t{1} << 30)));
  ASSERT_TRUE(assets.exists("big.bin"));
  testing::internal::CaptureStderr();
  try {
    (void)assets.load("big.bin");
    ADD_FAILURE() << "loaded";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(),
                 "Asset \"big.bin\" is too large: 2147483648 bytes (the limit is 2 GiB - 1)");
  }
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(assets.load_matching("nothing.*").empty());
}

TEST_F(AssetManagerTest, LoadMatchingUsesWholeMatches) {
  ArchiveWriter writer;
  writer.add_file("l10n/en.json", "en");
  writer.add_file("l10n/de.json", "de");
  writer.add_file("l10n/readme.txt", "txt");
  load("one.qvxr", writer);

  auto texts = [](const std::vector<std::shared_ptr<Asset>>& found) {
    std::vector<std::string> out;
    for (const auto& asset : found) out.push_back(asset->path() + "=" + asset->to_string());
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(texts(assets.load_matching("l10n/.*\\.json")),
            (std::vector<std::string>{"l10n/de.json=de", "l10n/en.json=en"}));
  EXPECT_EQ(texts(assets.load_matching("/?l10n/en\\.json")),
            (std::vector<std::string>{"/l10n/en.json=en", "l10n/en.json=en"}));
  EXPECT_TRUE(assets.load_matching("en").empty());  // a search would match; a full match does not
  EXPECT_THROW((void)assets.load_matching("(unclosed"), std::regex_error);
}

TEST_F(AssetManagerTest, PathsFollowLoadsAndClear) {
  ArchiveWriter a;
  a.add_file("b", "1");
  load("a.qvxr", a);
  EXPECT_EQ(assets.paths(), (std::vector<std::string>{"/b", "b"}));
  ArchiveWriter more;
  more.add_file("a", "2");
  load("more.qvxr", more);
  EXPECT_EQ(assets.paths(), (std::vector<std::string>{"/a", "/b", "a", "b"}));

  auto kept = assets.load("a");
  assets.clear();
  EXPECT_FALSE(assets.exists("a"));
  EXPECT_EQ(kept->to_string(), "2");  // handed-out assets keep their bytes
  // As many keys as before but different ones: the list must not be the stale one.
  ArchiveWriter other;
  other.add_file("x", "3");
  other.add_file("y", "4");
  load("a.qvxr", other);  // a cleared name loads again
  EXPECT_EQ(assets.paths(), (std::vector<std::string>{"/x", "/y", "x", "y"}));
}

TEST_F(AssetManagerTest, ConcurrentLoadsGetTheirOwnBytes) {
  ArchiveWriter writer;
  for (int i = 0; i < 8; ++i)
    writer.add_file("f" + std::to_string(i), std::string(1000 + i, 'a' + i));
  load("one.qvxr", writer);
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < 200; ++n) {
        const int i = (t + n) % 8;
        if (assets.load("f" + std::to_string(i))->to_string() != std::string(1000 + i, 'a' + i)) {
          ++wrong;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(AssetTest, FromBytesAndTheTerminatorCheck) {
  Asset asset("mem", "abc", 3);
  EXPECT_EQ(asset.file(), nullptr);
  EXPECT_STREQ(asset.c_str(), "abc");
  Asset empty("none", nullptr, 0);
  EXPECT_STREQ(empty.c_str(), "");
}

}  // namespace
}  // namespace base
