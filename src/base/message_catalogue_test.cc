#include "base/message_catalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/archive/archive_writer.h"
#include "base/asset_manager.h"

namespace base {
namespace {

class MessageCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { AssetManager::instance().clear(); }
  void TearDown() override { AssetManager::instance().clear(); }

  // Loads an archive holding the given (path, contents) files.
  static void archive(const std::vector<std::pair<std::string, std::string>>& files) {
    ArchiveWriter writer;
    for (const auto& [path, contents] : files) writer.add_file(path, contents);
    AssetManager::instance().load_archive("catalogue.qvxr",
                                          std::make_unique<MemoryArchiveIO>(writer.bytes()));
  }
};

TEST_F(MessageCatalogueTest, FormatsPlaceholders) {
  archive({{"l10n/en.json", R"({
    "cost": "Cost: $$5 for $1",
    "all": "$4 $3 $2 $1",
    "trailing": "100$",
    "other": "$0 $5 $x $",
    "reuse": "$1$1",
    "null": null,
    "nested": "[$1]"
  })"}});
  MessageCatalogue catalogue;
  ASSERT_TRUE(catalogue.load("l10n/en.json"));
  const struct {
    const char* key;
    const char* a1;
    const char* expected;
  } cases[] = {
      {"cost", "two", "Cost: $5 for two"},
      {"all", "a", "d c b a"},
      {"trailing", "", "100"},
      {"other", "", "$0 $5 $x "},  // "$" before anything else stays as written
      {"reuse", "ab", "abab"},
      {"null", "ignored", ""},
      {"nested", "$2 and $$", "[$2 and $$]"},  // arguments are not substituted again
      {"x", "whatever", "x"},                  // an unknown key is its own text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(catalogue.format(c.key, c.a1, "b", "c", "d"), c.expected);
  }
  EXPECT_EQ(catalogue.lookup("cost"), "Cost: $$5 for $1");
  EXPECT_EQ(catalogue.lookup("missing"), "missing");
  EXPECT_EQ(catalogue.format_wide("cost", L"zwei", L"", L"", L""), L"Cost: $5 for zwei");
}

TEST_F(MessageCatalogueTest, FormatWideWidensUtf8Text) {
  archive({{"l10n/en.json", "{\"accent\": \"caf\xc3\xa9 $1\"}"}});
  MessageCatalogue catalogue;
  ASSERT_TRUE(catalogue.load("l10n/en.json"));
  EXPECT_EQ(catalogue.format_wide("accent", L"\u00fcber", L"", L"", L""), L"caf\u00e9 \u00fcber");
}

TEST_F(MessageCatalogueTest, LaterLoadsOverrideKeyByKey) {
  archive({{"l10n/en.json", R"({"a": "A1", "b": "B1"})"},
           {"l10n/de.json", R"({"a": "A2"})"},
           {"l10n/bad.json", R"({"c": "C", "n": 5, "d": "D"})"},
           {"l10n/list.json", R"(["not", "an", "object"])"},
           {"l10n/broken.json", R"({"a": )"}});
  MessageCatalogue catalogue;
  EXPECT_FALSE(catalogue.load("l10n/none.json"));
  EXPECT_EQ(catalogue.lookup("a"), "a");
  EXPECT_TRUE(catalogue.load("l10n/en.json"));
  EXPECT_TRUE(catalogue.load_language("de"));
  EXPECT_EQ(catalogue.lookup("a"), "A2");
  EXPECT_EQ(catalogue.lookup("b"), "B1");
  EXPECT_TRUE(catalogue.load_language("fr"));  // no French: English again
  EXPECT_EQ(catalogue.lookup("a"), "A1");

  const struct {
    const char* path;
    const char* message;
  } failures[] = {
      {"l10n/bad.json", "JSON value is not a string"},
      {"l10n/list.json", "JSON value is not an object"},
      {"l10n/broken.json", "json_loads() error: unexpected token near end of file"},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.path);
    try {
      catalogue.load(f.path);
      ADD_FAILURE() << "loaded";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), f.message);
    }
  }
  // Members stored before the bad one stay.
  EXPECT_EQ(catalogue.lookup("c"), "C");
  EXPECT_EQ(catalogue.lookup("d"), "d");
}

TEST_F(MessageCatalogueTest, ShippedEnglishTextsFillTheLaunchersMessages) {
  AssetManager::instance().load_archive(
      "en.json archive", std::make_unique<MemoryArchiveIO>([] {
        ArchiveWriter writer;
        std::ifstream in(std::string(CORVALITH_SOURCE_DIR) + "/resources/l10n/en.json");
        std::stringstream text;
        text << in.rdbuf();
        writer.add_file("l10n/en.json", text.str());
        return writer.bytes();
      }()));
  MessageCatalogue catalogue;
  ASSERT_TRUE(catalogue.load("l10n/en.json"));
  const char* keys[] = {"console_error_missing_arch_argument",
                        "error_console_arch",
                        "error_console_launch",
                        "boolean_true",
                        "boolean_false",
                        "sysinfo_processor",
                        "sysinfo_processors",
                        "sysinfo_core",
                        "sysinfo_cores",
                        "sysinfo_thread",
                        "sysinfo_threads"};
  for (const char* key : keys) {
    SCOPED_TRACE(key);
    EXPECT_NE(catalogue.lookup(key), key);
  }
  const std::string arch = catalogue.format("error_console_arch", "avx2", "", "", "");
  EXPECT_NE(arch.find("corvalith_avx2.exe"), std::string::npos) << arch;
  const std::string launch = catalogue.format("error_console_launch", "x86_64", "", "", "");
  EXPECT_NE(launch.find("corvalith_x86_64.exe"), std::string::npos) << launch;
  EXPECT_NE(catalogue.lookup("console_error_missing_arch_argument").find("--arch"),
            std::string::npos);
}

TEST_F(MessageCatalogueTest, CreationLoadsEnglishAndRetriesAfterAFailure) {
  // The catalogue is created once per process, so this runs in a fresh one.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        AssetManager::instance().clear();
        archive({{"l10n/en.json", R"({"a": 5})"}});
        try {
          (void)MessageCatalogue::instance();
          std::exit(2);
        } catch (const std::runtime_error& e) {
          if (std::string(e.what()) != "JSON value is not a string") std::exit(3);
        }
        ArchiveWriter writer;
        writer.add_file("l10n/en.json", R"({"a": "A $1"})");
        AssetManager::instance().load_archive("fixed.qvxr",
                                              std::make_unique<MemoryArchiveIO>(writer.bytes()));
        std::exit(MessageCatalogue::instance().format("a", "1", "", "", "") == "A 1" ? 0 : 4);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(MessageCatalogueTest, InstanceStartsFromTheEnglishAsset) {
  // The process-wide catalogue is created once; whichever test makes it first decides its
  // contents, so only check that it answers unknown keys with themselves.
  EXPECT_EQ(MessageCatalogue::instance().format("no_such_key_anywhere", "", "", "", ""),
            "no_such_key_anywhere");
}

}  // namespace
}  // namespace base
