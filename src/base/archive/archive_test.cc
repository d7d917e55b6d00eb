#include "base/archive/archive.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/archive/archive_for_testing.h"
#include "base/archive/archive_writer.h"

namespace base {
namespace {

using testing_archive::entry;
using testing_archive::example_archive;
using testing_archive::put_le;
using testing_archive::record;
using testing_archive::ScriptedIO;

std::unique_ptr<Archive> open_bytes(const std::string& bytes) {
  return std::make_unique<Archive>("test.qvxr", std::make_unique<MemoryArchiveIO>(bytes));
}

std::vector<std::string> walked(Archive& archive) {
  std::vector<std::string> paths;
  archive.walk([&](Archive*, ArchiveFile*, ArchivePath& path) { paths.push_back(path.str()); });
  return paths;
}

// The message a failing open throws, or "" when it opens.
std::string open_error(const std::string& bytes) {
  try {
    open_bytes(bytes);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

TEST(ArchiveTest, WorkedExampleOpensWalksLooksUpAndReads) {
  const std::string bytes = example_archive();
  ASSERT_EQ(bytes.size(), 353u);
  auto archive = open_bytes(bytes);
  ASSERT_EQ(archive->extent_count(), 3u);
  EXPECT_TRUE(archive->good());
  EXPECT_TRUE(archive->extent(0)->is_directory());
  EXPECT_TRUE(archive->extent(1)->is_directory());
  EXPECT_TRUE(archive->extent(2)->is_file());
  EXPECT_EQ(archive->root(), archive->extent(0));
  EXPECT_EQ(archive->extent(2)->idx(), 2);
  EXPECT_EQ(archive->extent(2)->offset(), 20);
  EXPECT_EQ(archive->extent(2)->length(), 5);

  std::vector<ArchiveFile*> files;
  std::vector<std::string> paths;
  archive->walk([&](Archive* a, ArchiveFile* file, ArchivePath& path) {
    EXPECT_EQ(a, archive.get());
    files.push_back(file);
    paths.push_back(path.str());
  });
  EXPECT_EQ(paths, std::vector<std::string>{"docs/hello.txt"});
  EXPECT_EQ(files, std::vector<ArchiveFile*>{static_cast<ArchiveFile*>(archive->extent(2))});

  EXPECT_EQ(archive->lookup("/docs/hello.txt"), archive->extent(2));
  EXPECT_EQ(archive->lookup("/docs"), archive->extent(1));
  EXPECT_EQ(archive->lookup("/docs/"), archive->extent(1));

  char text[6] = {};
  EXPECT_TRUE(files[0]->read(text));
  EXPECT_STREQ(text, "hello");
  char part[3] = {};
  EXPECT_TRUE(files[0]->read(part, 2, 2));
  EXPECT_STREQ(part, "ll");
}

TEST(ArchiveTest, WriterLaysOutTheExampleTreeWithDotRecordsInEveryFolder) {
  ArchiveWriter writer;
  writer.add_file("docs/hello.txt", "hello");
  // The example's layout, except that docs too lists "." and ".." first.
  std::string expected(ArchiveWriter::kMagic, 4);
  expected += std::string(16, '\0');
  put_le(expected, 4, 409, 8);
  put_le(expected, 12, 72, 8);
  expected += "hello";
  expected += record(0, ".") + record(0, "..") + record(1, "docs");
  expected += record(1, ".") + record(0, "..") + record(2, "hello.txt");
  expected += entry(0, 0, 25, 192) + entry(0, 1, 217, 192) + entry(1, 2, 20, 5);
  EXPECT_EQ(writer.bytes(), expected);
}

TEST(ArchiveTest, WriterRoundTripsATreeInNameOrder) {
  ArchiveWriter writer;
  writer.add_file("b.txt", "bee");
  writer.add_file("a/z.bin", std::string("\0\1\2", 3));
  writer.add_file("a/B", "upper sorts before lower");
  writer.add_file("a/a", "");
  writer.add_directory("empty");
  writer.add_directory("a");  // already there: no-op
  const std::string bytes = writer.bytes();
  EXPECT_EQ(bytes, writer.bytes());  // deterministic
  auto archive = open_bytes(bytes);
  EXPECT_EQ(walked(*archive), (std::vector<std::string>{"a/B", "a/a", "a/z.bin", "b.txt"}));
  std::vector<std::string> entries;
  archive->walk_entries([&](ArchiveExtent* e, const ArchivePath& path) {
    entries.push_back((e->is_directory() ? "d:" : "f:") + path.str());
  });
  EXPECT_EQ(entries,
            (std::vector<std::string>{"d:a", "f:a/B", "f:a/a", "f:a/z.bin", "f:b.txt", "d:empty"}));
  auto* bin = static_cast<ArchiveFile*>(archive->lookup("/a/z.bin"));
  ASSERT_NE(bin, nullptr);
  std::string data(3, 'x');
  bin->read(data.data());
  EXPECT_EQ(data, std::string("\0\1\2", 3));
  // Every folder lists "." (itself) and ".." (its parent) first.
  auto* a = static_cast<ArchiveDirectory*>(archive->lookup("/a"));
  EXPECT_EQ(a->find("."), a);
  EXPECT_EQ(a->find(".."), archive->root());
  EXPECT_EQ(archive->root()->find(".."), archive->root());
}

TEST(ArchiveTest, WriterRefusesBadNames) {
  const std::string long_name(60, 'n');
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {"", "Cannot add \"\" to the archive: empty, \".\" and \"..\" components are not allowed"},
      {"a//b",
       "Cannot add \"a//b\" to the archive: empty, \".\" and \"..\" components are not "
       "allowed"},
      {"/abs",
       "Cannot add \"/abs\" to the archive: empty, \".\" and \"..\" components are not "
       "allowed"},
      {"a/../b",
       "Cannot add \"a/../b\" to the archive: empty, \".\" and \"..\" components are "
       "not allowed"},
      {"d/" + long_name, "Cannot add \"d/" + long_name + "\" to the archive: the name \"" +
                             long_name + "\" is longer than 59 bytes"},
      {std::string("nul\0x", 5),
       "Cannot add \"nul\\0x\" to the archive: names cannot hold a "
       "zero byte"},
      {"f.txt", "Cannot add \"f.txt\" to the archive: it is already there"},
      {"f.txt/g", "Cannot add \"f.txt/g\" to the archive: \"f.txt\" is a file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ArchiveWriter writer;
    writer.add_file("f.txt", "x");
    try {
      writer.add_file(c.path, "y");
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
  // 59 bytes is the longest name that fits, and it reads back whole.
  ArchiveWriter writer;
  const std::string name(59, 'm');
  writer.add_file(name, "ok");
  auto archive = open_bytes(writer.bytes());
  EXPECT_EQ(walked(*archive), std::vector<std::string>{name});
}

TEST(ArchivePathTest, FilenameParentExtensionTable) {
  const struct {
    const char* input;
    const char* filename;
    const char* parent;
    const char* extension;
  } cases[] = {
      {"/l10n/en.json", "en.json", "/l10n", ".json"},
      {"l10n/en.json/", "en.json", "l10n", ".json"},
      {"/l10n", "l10n", "/", ""},
      {"/", "/", "/", ""},
      {"a", "a", ".", ""},
      {"a//b", "b", "a", ""},
      {"///", "/", "/", ""},
      {"//a", "a", "//", ""},
      {"/img/.png", ".png", "/img", ".png"},
      {"/x/a.tar.gz", "a.tar.gz", "/x", ".gz"},
      {"", "", ".", ""},
      {"//", "//", "//", ""},
      {"/x/..", "..", "/x", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(ArchivePath::filename(c.input).str(), c.filename);
    EXPECT_EQ(ArchivePath::parent(c.input).str(), c.parent);
    EXPECT_EQ(ArchivePath::extension(c.input).str(), c.extension);
  }
}

TEST(ArchivePathTest, JoinStemTrailingAndAbsolute) {
  const struct {
    const char* base;
    const char* component;
    const char* joined;
  } joins[] = {{"", "l10n", "l10n"},   {"l10n", "en.json", "l10n/en.json"},
               {"/", "l10n", "/l10n"}, {"a//", "b", "a/b"},
               {"a", "", "a"},         {"//", "a", "//a"}};
  for (const auto& c : joins) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.component);
    EXPECT_EQ(ArchivePath::join(c.base, c.component).str(), c.joined);
  }
  const std::pair<const char*, const char*> stems[] = {
      {"/x/a.tar.gz", "a.tar"}, {"/img/.png", ""}, {"noext", "noext"}, {"..", ".."}, {"", ""}};
  for (const auto& [input, stem] : stems) {
    SCOPED_TRACE(input);
    EXPECT_EQ(ArchivePath::stem(input).str(), stem);
  }
  const std::pair<const char*, const char*> trailing[] = {
      {"", ""}, {"/", "/"}, {"//", "//"}, {"///", "/"}, {"a/", "a"}, {"a//", "a"}, {"/a/", "/a"}};
  for (const auto& [input, stripped] : trailing) {
    SCOPED_TRACE(input);
    EXPECT_EQ(ArchivePath::without_trailing_separators(input).str(), stripped);
  }
  EXPECT_TRUE(ArchivePath::is_absolute("/a"));
  EXPECT_FALSE(ArchivePath::is_absolute("a/"));
  EXPECT_FALSE(ArchivePath::is_absolute(""));
}

TEST(ArchiveTest, LookupEdgeCases) {
  auto archive = open_bytes(example_archive());
  EXPECT_EQ(archive->lookup("/"), archive->root());
  EXPECT_EQ(archive->lookup("/docs/hello.txt/more"), nullptr);  // continues through a file
  EXPECT_EQ(archive->lookup("/nothing"), nullptr);
  EXPECT_EQ(archive->lookup("/Docs"), nullptr);  // case-sensitive
  // "//" is its own parent: the lookup must end, and finds nothing.
  EXPECT_EQ(archive->lookup("//"), nullptr);
  EXPECT_EQ(archive->lookup("//docs"), nullptr);
  EXPECT_EQ(archive->lookup("///docs"), nullptr);
  // Records named "." and ".." are found like any other name.
  EXPECT_EQ(archive->lookup("/docs/.."), nullptr);  // the docs block has no ".." record
  EXPECT_EQ(archive->lookup("/."), archive->root());
  EXPECT_EQ(archive->root()->find("."), archive->root());

  testing::internal::CaptureStderr();
  EXPECT_EQ(archive->lookup("docs/hello.txt"), nullptr);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find(":ERROR:"), std::string::npos) << log;
  EXPECT_NE(log.find("] relative paths are not supported\r\n"), std::string::npos) << log;
}

TEST(ArchiveTest, RemaindersOfTablesAndBlocksAreIgnored) {
  std::string bytes = example_archive();
  put_le(bytes, 12, 72 + 23, 8);                                     // a partial fourth entry
  put_le(bytes, testing_archive::kExampleEntry0 + 16, 192 + 63, 8);  // a partial fourth record
  bytes += std::string(40, '\0');                                    // keep both inside the file
  auto archive = open_bytes(bytes);
  EXPECT_EQ(archive->extent_count(), 3u);
  EXPECT_EQ(archive->root()->records().size(), 3u);
  EXPECT_EQ(walked(*archive), std::vector<std::string>{"docs/hello.txt"});
}

TEST(ArchiveTest, EmptySlotsAndOutOfRangeIndexes) {
  const struct {
    const char* what;
    uint32_t flags;
    int32_t index;
  } cases[] = {{"flags 2", 2, 2},
               {"flags 0xffffffff", 0xffffffffu, 2},
               {"index past the table", 1, 99},
               {"negative index", 1, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = example_archive();
    put_le(bytes, testing_archive::kExampleEntry2, c.flags, 4);
    put_le(bytes, testing_archive::kExampleDocsRecord, static_cast<uint32_t>(c.index), 4);
    auto archive = open_bytes(bytes);  // still opens
    auto* docs = static_cast<ArchiveDirectory*>(archive->lookup("/docs"));
    ASSERT_NE(docs, nullptr);
    EXPECT_TRUE(docs->contains("hello.txt"));
    EXPECT_EQ(docs->find("hello.txt"), nullptr);
    EXPECT_EQ(archive->lookup("/docs/hello.txt"), nullptr);
    try {
      walked(*archive);
      ADD_FAILURE() << "walk passed an empty slot";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "unknown type");
    }
  }
}

TEST(ArchiveTest, DuplicateNamesFindTheFirstAndWalkBoth) {
  std::string bytes(20, '\0');
  bytes += "onetwo";  // file 1 at 20, file 2 at 23
  const size_t block = bytes.size();
  bytes += record(0, ".") + record(0, "..") + record(1, "x") + record(2, "x");
  const size_t table = bytes.size();
  bytes += entry(0, 0, block, 256) + entry(1, 1, 20, 3) + entry(1, 2, 23, 3);
  put_le(bytes, 4, table, 8);
  put_le(bytes, 12, 72, 8);
  auto archive = open_bytes(bytes);
  EXPECT_EQ(archive->root()->find("x"), archive->extent(1));
  EXPECT_EQ(walked(*archive), (std::vector<std::string>{"x", "x"}));
}

TEST(ArchiveTest, EmptyCallbackFailsAtTheFirstFile) {
  auto archive = open_bytes(example_archive());
  EXPECT_THROW(archive->walk(WalkCallback()), std::bad_function_call);
}

TEST(ArchiveTest, FoldersReachedTwiceFailInsteadOfLooping) {
  const struct {
    const char* what;
    int32_t index;
    const char* message;
  } cases[] = {
      {"cycle to the root", 0,
       "Archive \"test.qvxr\" is damaged: the folder \"docs/back\" is reached a second time"},
      {"cycle to itself", 1,
       "Archive \"test.qvxr\" is damaged: the folder \"docs/back\" is reached a second time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = example_archive();
    // Turn docs' only record into a folder record pointing back up.
    std::string patched = bytes;
    patched.replace(testing_archive::kExampleDocsRecord, 64, record(c.index, "back"));
    testing::internal::CaptureStderr();
    auto archive = open_bytes(patched);
    try {
      walked(*archive);
      ADD_FAILURE() << "walk ended without an error";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), std::string(c.message));
    }
    testing::internal::GetCapturedStderr();
  }
  // One folder listed under two names in the root is refused the same way.
  std::string bytes = example_archive();
  bytes.replace(testing_archive::kExampleRootRecords + 64, 64, record(1, "again"));
  auto archive = open_bytes(bytes);
  testing::internal::CaptureStderr();
  EXPECT_THROW(walked(*archive), std::runtime_error);
  testing::internal::GetCapturedStderr();
}

TEST(ArchiveTest, DeepTreesWalkWithoutRecursion) {
  ArchiveWriter writer;
  std::string path;
  for (int i = 0; i < 3000; ++i) path += "d/";
  writer.add_file(path + "leaf", "x");
  auto archive = open_bytes(writer.bytes());
  EXPECT_EQ(walked(*archive), std::vector<std::string>{path + "leaf"});
}

TEST(ArchiveTest, BrokenArchivesFailWithClearMessages) {
  const std::string example = example_archive();
  auto patched = [&](size_t at, uint64_t value, int width) {
    std::string bytes = example;
    put_le(bytes, at, value, width);
    return bytes;
  };
  std::string long_name = example;
  std::memset(&long_name[testing_archive::kExampleDocsRecord + 4], 'n', 60);
  const std::string damaged = "Archive \"test.qvxr\" is damaged: ";
  const struct {
    const char* what;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"empty file", "", "io_->read(&table_offset) failed"},
      {"11 bytes", example.substr(0, 11), "io_->read(&table_offset) failed"},
      {"19 bytes", example.substr(0, 19), "io_->read(&table_length) failed"},
      {"table_length 2^40", patched(12, uint64_t{1} << 40, 8),
       damaged + "the extent table (offset 281, length 1099511627776) lies outside the file of "
                 "353 bytes"},
      {"negative table_offset", patched(4, static_cast<uint64_t>(-24), 8),
       damaged + "the extent table (offset -24, length 72) lies outside the file of 353 bytes"},
      {"negative table_length", patched(12, static_cast<uint64_t>(-1), 8),
       damaged + "the extent table (offset 281, length -1) lies outside the file of 353 bytes"},
      {"table past the end", patched(4, 300, 8),
       damaged + "the extent table (offset 300, length 72) lies outside the file of 353 bytes"},
      {"truncated table", example.substr(0, 340),
       damaged + "the extent table (offset 281, length 72) lies outside the file of 340 bytes"},
      {"empty table", patched(12, 23, 8), damaged + "the extent table is empty"},
      {"root is a file", patched(testing_archive::kExampleEntry0, 1, 4),
       damaged + "entry 0 is not a directory"},
      {"root is an empty slot", patched(testing_archive::kExampleEntry0, 7, 4),
       damaged + "entry 0 is not a directory"},
      {"folder block past the end", patched(testing_archive::kExampleEntry1 + 8, 320, 8),
       damaged + "entry 1 (offset 320, length 64) lies outside the file of 353 bytes"},
      {"huge file length", patched(testing_archive::kExampleEntry2 + 16, uint64_t{1} << 62, 8),
       damaged + "entry 2 (offset 20, length 4611686018427387904) lies outside the file of 353 "
                 "bytes"},
      {"negative file offset", patched(testing_archive::kExampleEntry2 + 8, -1, 8),
       damaged + "entry 2 (offset -1, length 5) lies outside the file of 353 bytes"},
      {"name without its zero", long_name, "bad archive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_error(c.bytes), c.message);
    const std::string log = testing::internal::GetCapturedStderr();
    // Failed operations are logged; "bad archive" is thrown without a log entry.
    if (c.message != "bad archive") {
      EXPECT_NE(log.find(":ERROR:"), std::string::npos) << log;
      EXPECT_NE(log.find(c.message), std::string::npos) << log;
    } else {
      EXPECT_EQ(log, "");
    }
  }
}

TEST(ArchiveTest, SharedFolderBlocksCannotMultiplyMemory) {
  // 200 folder entries all naming one 4 KiB block: far more records than the file holds.
  std::string bytes(20, '\0');
  const size_t block = bytes.size();
  bytes += record(0, ".") + record(0, "..");
  bytes += std::string(4096 - 128, '\0');
  const size_t table = bytes.size();
  for (int i = 0; i < 200; ++i) bytes += entry(0, i, block, 4096);
  put_le(bytes, 4, table, 8);
  put_le(bytes, 12, 200 * 24, 8);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_error(bytes),
            "Archive \"test.qvxr\" is damaged: its directories hold more "
            "records than a file of " +
                std::to_string(bytes.size()) + " bytes can");
  testing::internal::GetCapturedStderr();
}

TEST(ArchiveTest, FailedReadsAndSeeksNameTheCall) {
  const struct {
    int fail_read;
    int fail_seek;
    const char* message;
  } cases[] = {
      {-1, 0, "io_->seek(kExtentTablePointerOffset) failed"},
      {0, -1, "io_->read(&table_offset) failed"},
      {1, -1, "io_->read(&table_length) failed"},
      {-1, 1, "io_->seek(table_offset) failed"},
      {2, -1, "io_->read(&flags) failed"},
      {3, -1, "io_->read(&idx) failed"},
      {4, -1, "io_->read(&offset) failed"},
      {5, -1, "io_->read(&length) failed"},
      {-1, 2, "io_->seek(directory->offset()) failed"},
      {14, -1, "io_->read(&record) failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    auto io = std::make_unique<ScriptedIO>(example_archive());
    io->fail_read = c.fail_read;
    io->fail_seek = c.fail_seek;
    testing::internal::CaptureStderr();
    try {
      Archive archive("test.qvxr", std::move(io));
      ADD_FAILURE() << "opened";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    testing::internal::GetCapturedStderr();
  }
}

TEST(ArchiveTest, MissingIOFailsWithTheName) {
  testing::internal::CaptureStderr();
  try {
    Archive archive("gone.qvxr", nullptr);
    ADD_FAILURE() << "opened";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unable to open archive \"gone.qvxr\"");
  }
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Unable to open archive"),
            std::string::npos);
}

TEST(ArchiveFileTest, EmptyFilesAndRangesPastTheFile) {
  ArchiveWriter writer;
  writer.add_file("empty", "");
  writer.add_file("text", "abcdef");
  const std::string bytes = writer.bytes();
  auto archive = open_bytes(bytes);
  auto* empty = static_cast<ArchiveFile*>(archive->lookup("/empty"));
  auto* text = static_cast<ArchiveFile*>(archive->lookup("/text"));
  char sentinel = '#';
  EXPECT_TRUE(empty->read(&sentinel));
  EXPECT_EQ(sentinel, '#');

  // A range past the file but inside the archive reads the bytes that follow the file.
  const size_t after = static_cast<size_t>(text->offset() + text->length());
  std::string range(4, '\0');
  EXPECT_TRUE(text->read(range.data(), 4, 4));
  EXPECT_EQ(range, "ef" + bytes.substr(after, 2));

  // A range past the end of the archive fails, and the archive stays failed afterwards.
  testing::internal::CaptureStderr();
  std::string big(bytes.size(), '\0');
  try {
    text->read(big.data(), big.size(), 0);
    ADD_FAILURE() << "read past the end";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "archive_->io()->read(ptr, size) failed");
  }
  try {
    text->read(range.data());
    ADD_FAILURE() << "read after a failure";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "archive_->io()->seek(offset_) failed");
  }
  try {
    text->read(range.data(), 1, 0);
    ADD_FAILURE() << "range read after a failure";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "archive_->io()->seek(offset_ + offset) failed");
  }
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("] archive_->io()->read(ptr, size) failed\r\n"), std::string::npos) << log;
  EXPECT_FALSE(archive->good());
}

TEST(ArchiveFileTest, WholeReadFailureNamesTheCall) {
  auto io = std::make_unique<ScriptedIO>(example_archive());
  ScriptedIO* script = io.get();
  Archive archive("test.qvxr", std::move(io));
  auto* file = static_cast<ArchiveFile*>(archive.lookup("/docs/hello.txt"));
  script->fail_read = script->reads;
  char buffer[5];
  testing::internal::CaptureStderr();
  try {
    file->read(buffer);
    ADD_FAILURE() << "read";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "archive_->io()->read(ptr, length_) failed");
  }
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace base
