// Runs the built qvxr on real folders in a temporary directory.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "base/archive/archive.h"
#include "base/json.h"

namespace fs = std::filesystem;

namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Every file under `root` with its contents, by relative path; folders map to "<dir>".
std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).generic_string();
    files[relative] = entry.is_directory() ? "<dir>" : read_file(entry.path());
  }
  return files;
}

class QvxrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("qvxr_test_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result qvxr(const std::vector<std::string>& args) {
    std::string command = quote(std::string(CORVALITH_BIN_DIR) + "/qvxr");
    for (const std::string& arg : args) command += " " + quote(arg);
    const fs::path out = dir_ / "stdout";
    const fs::path err = dir_ / "stderr";
    command += " >" + quote(out.string()) + " 2>" + quote(err.string());
    const int raw = std::system(command.c_str());
    Result run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
  }

  // A folder with nested folders, an empty folder, an empty file, binary bytes and a name of
  // exactly 59 bytes.
  fs::path sample() {
    const fs::path src = dir_ / "src";
    write_file(src / "l10n" / "en.json", R"({"greeting": "hello"})");
    write_file(src / "l10n" / "de.json", R"({"greeting": "hallo"})");
    write_file(src / "data" / "deep" / "bytes.bin", std::string("\0\1\2\xff", 4));
    write_file(src / "data" / "empty.txt", "");
    write_file(src / "B-upper.txt", "upper case sorts first");
    write_file(src / std::string(59, 'n'), "long name");
    fs::create_directories(src / "empty_folder");
    return src;
  }

  fs::path dir_;
};

TEST_F(QvxrTest, CreateListCatExtractRoundTrip) {
  const fs::path src = sample();
  const std::string archive = (dir_ / "out.qvxr").string();
  Result run = qvxr({"create", archive, src.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(archive + ".tmp-" + std::to_string(::getpid())));

  run = qvxr({"list", archive});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "B-upper.txt\ndata/deep/bytes.bin\ndata/empty.txt\nl10n/de.json\n"
            "l10n/en.json\n" +
                std::string(59, 'n') + "\n");

  run = qvxr({"list", "-l", archive});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("           4 data/deep/bytes.bin\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("           0 data/empty.txt\n"), std::string::npos) << run.out;

  for (const char* path : {"data/deep/bytes.bin", "/data/deep/bytes.bin"}) {
    SCOPED_TRACE(path);
    run = qvxr({"cat", archive, path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string("\0\1\2\xff", 4));
  }

  const fs::path copy = dir_ / "copy";
  run = qvxr({"extract", archive, copy.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(tree(copy), tree(src));

  // The same folder always gives the same bytes.
  const std::string again = (dir_ / "again.qvxr").string();
  ASSERT_EQ(qvxr({"create", again, copy.string()}).status, 0);
  EXPECT_EQ(read_file(again), read_file(archive));
}

TEST_F(QvxrTest, CreateExcludesAndAddsFiles) {
  const fs::path src = sample();
  write_file(dir_ / "generated.db", "generated");
  const std::string archive = (dir_ / "out.qvxr").string();
  Result run =
      qvxr({"create", "--exclude", "l10n", "--exclude", "data/deep/", "--add",
            "gadget/gadget.db=" + (dir_ / "generated.db").string(), archive, src.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  run = qvxr({"list", archive});
  EXPECT_EQ(run.out,
            "B-upper.txt\ndata/empty.txt\ngadget/gadget.db\n" + std::string(59, 'n') + "\n");
  EXPECT_EQ(qvxr({"cat", archive, "gadget/gadget.db"}).out, "generated");
}

TEST_F(QvxrTest, CreateRefusesBadInputAndLeavesNothingBehind) {
  const std::string archive = (dir_ / "out.qvxr").string();
  write_file(dir_ / "outside.txt", "secret");
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> prepare;
    std::string message;  // expected in standard error
  };
  const Case cases[] = {
      {"long name", [](const fs::path& src) { write_file(src / std::string(60, 'x'), ""); },
       "the name is longer than 59 bytes"},
      {"link outside",
       [&](const fs::path& src) { fs::create_symlink(dir_ / "outside.txt", src / "link"); },
       "the symbolic link leads outside"},
      {"link loop", [](const fs::path& src) { fs::create_directory_symlink(src, src / "loop"); },
       "the symbolic link makes a loop"},
      {"dangling link",
       [](const fs::path& src) { fs::create_symlink(src / "missing", src / "dangling"); },
       "the symbolic link leads nowhere"},
      {"fifo", [](const fs::path& src) { ASSERT_EQ(::mkfifo((src / "pipe").c_str(), 0600), 0); },
       "not a regular file or folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path src = dir_ / "bad";
    fs::remove_all(src);
    write_file(src / "ok.txt", "ok");
    c.prepare(src);
    const Result run = qvxr({"create", archive, src.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("qvxr: " + src.string() + "/", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(archive));
    // No temporary file is left either.
    for (const auto& entry : fs::directory_iterator(dir_)) {
      EXPECT_EQ(entry.path().filename().string().find("out.qvxr"), std::string::npos);
    }
  }
  // Links that stay inside the folder are followed.
  const fs::path src = dir_ / "links";
  write_file(src / "real" / "file.txt", "real");
  fs::create_symlink(src / "real" / "file.txt", src / "alias.txt");
  ASSERT_EQ(qvxr({"create", archive, src.string()}).status, 0);
  EXPECT_EQ(qvxr({"cat", archive, "alias.txt"}).out, "real");
}

TEST_F(QvxrTest, UnreadableFilesAreRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const fs::path src = dir_ / "src";
  write_file(src / "locked.txt", "x");
  fs::permissions(src / "locked.txt", fs::perms::none);
  const Result run = qvxr({"create", (dir_ / "out.qvxr").string(), src.string()});
  fs::permissions(src / "locked.txt", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "qvxr: " + (src / "locked.txt").string() + ": cannot read the file\n");
}

TEST_F(QvxrTest, ExtractRefusesNamesThatEscape) {
  // Archives built by hand: each holds one file whose record name would climb out.
  const std::string escapes[] = {"../evil.txt", "a/../../evil.txt", "/abs.txt", "a//b.txt"};
  for (const std::string& name : escapes) {
    SCOPED_TRACE(name);
    std::string bytes(20, '\0');
    auto put = [&](size_t at, uint64_t value, int width) {
      for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
    };
    bytes += "evil";
    auto record = [](int32_t index, const std::string& n) {
      std::string r(64, '\0');
      std::memcpy(&r[0], &index, 4);
      std::memcpy(&r[4], n.data(), n.size());
      return r;
    };
    auto entry = [](uint32_t flags, int64_t offset, int64_t length) {
      std::string e(24, '\0');
      std::memcpy(&e[0], &flags, 4);
      std::memcpy(&e[8], &offset, 8);
      std::memcpy(&e[16], &length, 8);
      return e;
    };
    const size_t block = bytes.size();
    bytes += record(0, ".") + record(0, "..") + record(1, name);
    const size_t table = bytes.size();
    bytes += entry(0, block, 192) + entry(1, 20, 4);
    put(4, table, 8);
    put(12, 48, 8);
    const fs::path archive = dir_ / "evil.qvxr";
    write_file(archive, bytes);
    const fs::path out = dir_ / "box" / "inner";
    const Result run = qvxr({"extract", archive.string(), out.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("would lead outside"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "box" / "evil.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "evil.txt"));
    EXPECT_TRUE(fs::is_empty(out));
  }
  // An existing link inside the target folder is not written through.
  const fs::path src = dir_ / "src";
  write_file(src / "sub" / "f.txt", "f");
  const std::string archive = (dir_ / "ok.qvxr").string();
  ASSERT_EQ(qvxr({"create", archive, src.string()}).status, 0);
  const fs::path out = dir_ / "linked";
  fs::create_directories(out);
  fs::create_directories(dir_ / "elsewhere");
  fs::create_directory_symlink(dir_ / "elsewhere", out / "sub");
  const Result run = qvxr({"extract", archive, out.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("refusing to write through the symbolic link"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere" / "f.txt"));
}

TEST_F(QvxrTest, UsageAndErrors) {
  Result run = qvxr({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* word : {"create", "list", "cat", "extract", "59 bytes"}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
  const fs::path src = sample();
  const std::string archive = (dir_ / "out.qvxr").string();
  ASSERT_EQ(qvxr({"create", archive, src.string()}).status, 0);
  write_file(dir_ / "junk.qvxr", "not an archive at all");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "qvxr: no command given\n"},
      {{"frobnicate"}, "qvxr: unknown command \"frobnicate\"\n"},
      {{"list"}, "qvxr: list needs ARCHIVE (see qvxr --help)\n"},
      {{"create", archive}, "qvxr: create needs ARCHIVE and DIR (see qvxr --help)\n"},
      {{"create", archive, src.string(), "--exclude"}, "qvxr: --exclude needs a value\n"},
      {{"create", "--add", "nofile", archive, src.string()},
       "qvxr: --add expects ARCHIVE_PATH=FILE, not \"nofile\"\n"},
      {{"create", archive, (dir_ / "nowhere").string()},
       "qvxr: " + (dir_ / "nowhere").string() + ": not a folder\n"},
      {{"list", (dir_ / "missing.qvxr").string()},
       "qvxr: " + (dir_ / "missing.qvxr").string() + ": cannot open the archive\n"},
      {{"list", (dir_ / "junk.qvxr").string()},
       "qvxr: Archive \"" + (dir_ / "junk.qvxr").string() +
           "\" is damaged: the extent table (offset "},
      {{"cat", archive, "l10n"}, "qvxr: " + archive + ": no file \"l10n\" in the archive\n"},
      {{"cat", archive, "nope.txt"},
       "qvxr: " + archive + ": no file \"nope.txt\" in the archive\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    run = qvxr(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(run.out, "");
  }
  // A failed create keeps the archive that was there.
  const std::string before = read_file(archive);
  EXPECT_EQ(qvxr({"create", archive, (dir_ / "nowhere").string()}).status, 1);
  EXPECT_EQ(read_file(archive), before);
}

}  // namespace

namespace {

TEST(BuiltArchiveTest, HoldsTheEnglishCatalogue) {
  const std::string file = std::string(CORVALITH_BIN_DIR) + "/corvalith.qvxr";
  base::Archive archive(file, base::StreamArchiveIO::at_path(file));
  auto* catalogue = archive.lookup("/l10n/en.json");
  ASSERT_NE(catalogue, nullptr);
  ASSERT_TRUE(catalogue->is_file());
  std::string text(static_cast<size_t>(catalogue->length()), '\0');
  static_cast<base::ArchiveFile*>(catalogue)->read(text.data());
  EXPECT_EQ(text, read_file(std::string(CORVALITH_SOURCE_DIR) + "/resources/l10n/en.json"));
  const base::JsonValue document = base::JsonValue::parse(text);
  for (const char* key :
       {"console_error_missing_arch_argument", "error_console_arch", "error_console_launch"}) {
    EXPECT_FALSE(document.get(key).as_string().empty()) << key;
  }
}

}  // namespace
