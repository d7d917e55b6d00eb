#include "base/path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/platform/fake_platform_for_testing.h"

namespace {

constexpr PathStyle kWin = PathStyle::kWindows;
constexpr PathStyle kPosix = PathStyle::kPosix;

struct Case {
  const char* input;
  const char* result;
};

TEST(PathTest, WindowsWithoutTrailingSeparators) {
  const Case cases[] = {
      {"C:\\dir\\\\", "C:\\dir"},
      {"C:\\", "C:\\"},
      {"\\", "\\"},
      {"\\\\", "\\\\"},
      {"\\\\\\", "\\"},
      {"C:\\\\", "C:\\\\"},
      {"C:", "C:"},
      {"a/b//", "a/b"},
      {"", ""},
      {"C:\\\\\\", "C:\\"},
      {"x", "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(path::without_trailing_separators(c.input, kWin), c.result);
  }
}

TEST(PathTest, WindowsJoin) {
  struct Join {
    const char* a;
    const char* b;
    const char* result;
  } cases[] = {
      {"C:\\suite\\", "w.exe", "C:\\suite\\w.exe"},
      {"C:\\suite", "", "C:\\suite"},
      {"C:", "x", "C:x"},
      {"", "x", "x"},
      {"C:\\", "x", "C:\\x"},
      {"a", "\\b", "a\\\\b"},
      {"a/", "b", "a\\b"},
      {"\\\\", "srv", "\\\\srv"},
  };
  for (const Join& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " + " << c.b);
    EXPECT_EQ(path::join(c.a, c.b, kWin), c.result);
  }
}

TEST(PathTest, WindowsParentFilenameExtension) {
  const Case parents[] = {
      {"name", "."},         {"C:\\", "C:\\"},
      {"C:name", "C:"},      {"C:\\name", "C:\\"},
      {"\\name", "\\"},      {"\\\\server", "\\\\"},
      {"C:\\a\\b", "C:\\a"}, {"C:\\a\\b\\", "C:\\a"},
      {"a/b", "a"},          {"", "."},
  };
  for (const Case& c : parents) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(path::parent(c.input, kWin), c.result);
  }
  const Case filenames[] = {
      {"C:\\suite\\app.exe", "app.exe"}, {"C:\\", "\\"}, {"C:", ""}, {"a/b/", "b"}, {"x", "x"},
  };
  for (const Case& c : filenames) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(path::filename(c.input, kWin), c.result);
  }
  const Case extensions[] = {
      {"a.b\\c", ""}, {"c.tar.gz", ".gz"}, {".profile", ".profile"},
      {"..", ""},     {".", ""},           {"dir\\x.DNG", ".DNG"},
  };
  for (const Case& c : extensions) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(path::extension(c.input, kWin), c.result);
  }
  EXPECT_EQ(path::without_extension("c.tar.gz", kWin), "c.tar");
  EXPECT_EQ(path::without_extension("a.b\\c", kWin), "a.b\\c");
}

TEST(PathTest, WindowsIsAbsolute) {
  EXPECT_TRUE(path::is_absolute("C:\\x", kWin));
  EXPECT_TRUE(path::is_absolute("z:/x", kWin));
  EXPECT_TRUE(path::is_absolute("\\\\srv", kWin));
  EXPECT_FALSE(path::is_absolute("C:", kWin));
  EXPECT_FALSE(path::is_absolute("\\x", kWin));
  EXPECT_FALSE(path::is_absolute("1:\\x", kWin));
  EXPECT_TRUE(path::is_separator('\\', kWin));
  EXPECT_FALSE(path::is_separator('\\', kPosix));
}

TEST(PathTest, PosixRules) {
  struct Row {
    const char* input;
    const char* parent;
    const char* filename;
    const char* extension;
  } rows[] = {
      {"/opt/suite/corvalith", "/opt/suite", "corvalith", ""},
      {"/", "/", "/", ""},
      {"/x", "/", "x", ""},
      {"name.tar.gz", ".", "name.tar.gz", ".gz"},
      {"a\\b.c", ".", "a\\b.c", ".c"},  // backslash is an ordinary character
      {"C:x", ".", "C:x", ""},          // no drive prefix
      {"/a/b///", "/a", "b", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.input);
    EXPECT_EQ(path::parent(r.input, kPosix), r.parent);
    EXPECT_EQ(path::filename(r.input, kPosix), r.filename);
    EXPECT_EQ(path::extension(r.input, kPosix), r.extension);
  }
  EXPECT_EQ(path::join("/opt/suite", "corvalith_avx2.exe"), "/opt/suite/corvalith_avx2.exe");
  EXPECT_EQ(path::join("/", "x"), "/x");
  EXPECT_EQ(path::join("C:", "x"), "C:/x");
  EXPECT_TRUE(path::is_absolute("/x"));
  EXPECT_FALSE(path::is_absolute("x/y"));
}

class WellKnownPathTest : public ::testing::Test {
 protected:
  void TearDown() override { clear_well_known_path_overrides(); }
  base::platform::FakeLocations locations_;
};

TEST_F(WellKnownPathTest, KindsDeriveFromTheExecutable) {
  locations_.executable = "/opt/suite/app";
  locations_.profile = "/home/u";
  locations_.temp = "/tmp/";
  EXPECT_EQ(well_known_path(kPathExecutableFile), "/opt/suite/app");
  EXPECT_EQ(well_known_path(kPathExecutableFolder), "/opt/suite");
  EXPECT_EQ(well_known_path(kPathAlternateFolder), "/opt/suite");
  EXPECT_EQ(well_known_path(kPathResourceFolder), "/opt/suite");
  EXPECT_EQ(well_known_path(kPathUserProfile), "/home/u");
  EXPECT_EQ(well_known_path(kPathTemp), "/tmp/");
  EXPECT_EQ(well_known_path(0), "");
  EXPECT_EQ(well_known_path(7), "");
  locations_.executable = "/app";
  EXPECT_EQ(well_known_path(kPathExecutableFolder), "/");
}

TEST_F(WellKnownPathTest, OverrideOfTheFolderLeavesTheFile) {
  locations_.executable = "/opt/suite/app";
  set_well_known_path(kPathExecutableFolder, "/elsewhere");
  EXPECT_EQ(well_known_path(kPathExecutableFolder), "/elsewhere");
  EXPECT_EQ(well_known_path(kPathAlternateFolder), "/elsewhere");
  EXPECT_EQ(well_known_path(kPathResourceFolder), "/elsewhere");
  EXPECT_EQ(well_known_path(kPathExecutableFile), "/opt/suite/app");
}

TEST_F(WellKnownPathTest, CreateDirectoriesMakesOnlyWhatIsMissing) {
  locations_.existing = {"C:\\", "C:\\a"};
  EXPECT_TRUE(path::create_directories("C:\\a\\b\\c", kWin));
  EXPECT_EQ(locations_.made, (std::vector<std::string>{"C:\\a\\b", "C:\\a\\b\\c"}));
  locations_.made.clear();
  EXPECT_TRUE(path::create_directories("C:\\a\\b", kWin));
  EXPECT_TRUE(locations_.made.empty());
  locations_.unmakeable = {"C:\\x"};
  EXPECT_FALSE(path::create_directories("C:\\x\\y", kWin));
  EXPECT_TRUE(locations_.made.empty());
}

TEST(PathLinuxTest, RealExecutableAndFolders) {
  const std::string exe = well_known_path(kPathExecutableFile);
  EXPECT_TRUE(path::is_absolute(exe));
  EXPECT_EQ(path::filename(exe), "base_tests");
  EXPECT_TRUE(path::exists(well_known_path(kPathExecutableFolder)));
  const std::string temp = well_known_path(kPathTemp);
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '/');

  const std::string root = testing::TempDir() + "corvalith_path_test";
  std::filesystem::remove_all(root);
  EXPECT_TRUE(path::create_directories(root + "/a/b/c"));
  EXPECT_TRUE(std::filesystem::is_directory(root + "/a/b/c"));
  EXPECT_TRUE(path::create_directories(root + "/a/b/c"));
  std::filesystem::remove_all(root);
}

}  // namespace
