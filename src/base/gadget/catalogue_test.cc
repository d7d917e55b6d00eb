// Checks the shipped device database inside the built resource archive.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/archive/archive_io.h"
#include "base/asset_manager.h"
#include "base/gadget/architecture.h"
#include "base/gadget/cpu_model.h"
#include "base/gadget/db.h"
#include "base/gadget/db_for_testing.h"
#include "base/gadget/mac_model.h"
#include "base/strings.h"

namespace gadget {
namespace {

const std::string kArchive = std::string(CORVALITH_BIN_DIR) + "/corvalith.qvxr";

class ShippedCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kArchive)) << kArchive << " is built with the tests";
    base::AssetManager::instance().clear();
    base::AssetManager::instance().load_archive(kArchive, base::StreamArchiveIO::at_path(kArchive));
    db_.reset(internal::open_archive_database("gadget/gadget.db"));
    ASSERT_NE(db_, nullptr);
  }
  void TearDown() override { base::AssetManager::instance().clear(); }

  // Every row of `sql`, each column as text ("" for NULL).
  std::vector<std::vector<std::string>> rows(const char* sql) {
    std::vector<std::vector<std::string>> out;
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_.get(), sql, -1, &stmt, nullptr), SQLITE_OK) << sql;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const unsigned char* text = sqlite3_column_text(stmt, i);
        row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
      }
      out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return out;
  }

  SqliteHandle db_;
};

// Printable ASCII without leading, trailing or doubled spaces.
bool clean_text(const std::string& text) {
  for (char c : text) {
    if (c < 0x20 || c > 0x7e) {
      return false;
    }
  }
  return text == strings::trim(text) && text.find("  ") == std::string::npos &&
         (text.empty() || (text.front() != ' ' && text.back() != ' '));
}

TEST_F(ShippedCatalogueTest, HoldsExactlyTheTablesTheLookupsRead) {
  std::set<std::string> tables;
  for (const auto& row : rows("SELECT name FROM sqlite_master WHERE type = 'table'")) {
    tables.insert(row[0]);
  }
  EXPECT_EQ(tables, (std::set<std::string>{"processors", "processor_identifiers", "macs",
                                           "android_devices", "android_device_identifiers",
                                           "ios_devices", "ios_device_identifiers"}));
  EXPECT_EQ(rows("PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
}

TEST_F(ShippedCatalogueTest, EveryProcessorRowIsConsistent) {
  const auto processors = rows(
      "SELECT id, name, description, family, cores, threads, frequency, codename, package, "
      "typeof(cores), typeof(threads), typeof(frequency) FROM processors ORDER BY id");
  EXPECT_GE(processors.size(), 300u);
  std::set<std::string> ids;
  std::set<std::string> names;
  for (const auto& p : processors) {
    SCOPED_TRACE(p[0] + " " + p[1]);
    ids.insert(p[0]);
    EXPECT_TRUE(names.insert(p[1]).second) << "name listed twice";
    for (int text : {1, 2, 3, 7, 8}) {
      EXPECT_TRUE(clean_text(p[text])) << "'" << p[text] << "'";
    }
    for (int text : {1, 2, 3}) {
      EXPECT_FALSE(p[text].empty());
    }
    for (int type : {9, 10, 11}) {
      EXPECT_EQ(p[type], "integer");
    }
    const long cores = std::stol(p[4]);
    const long threads = std::stol(p[5]);
    EXPECT_GE(cores, 1);
    EXPECT_GE(threads, cores);
    EXPECT_LE(threads, 2 * cores);
    EXPECT_GE(std::stol(p[6]), 0);
    EXPECT_LT(std::stol(p[6]), 6000);
  }

  const auto identifiers = rows("SELECT cpu_brand, processor_id FROM processor_identifiers");
  EXPECT_GE(identifiers.size(), 300u);
  std::set<std::string> brands;
  for (const auto& identifier : identifiers) {
    SCOPED_TRACE(identifier[0]);
    EXPECT_TRUE(brands.insert(identifier[0]).second) << "brand listed twice";
    EXPECT_FALSE(identifier[0].empty());
    EXPECT_TRUE(clean_text(identifier[0]));
    EXPECT_EQ(ids.count(identifier[1]), 1u) << "identifier of no processor";
  }
}

TEST_F(ShippedCatalogueTest, DeviceRowsPointAtExistingEntries) {
  const char* orphans[] = {
      "SELECT model FROM macs WHERE processor_id NOT IN (SELECT id FROM processors)",
      "SELECT name FROM android_devices WHERE processor_id NOT IN (SELECT id FROM processors)",
      "SELECT model FROM android_device_identifiers WHERE android_device_id NOT IN "
      "(SELECT id FROM android_devices)",
      "SELECT model FROM ios_device_identifiers WHERE ios_device_id NOT IN "
      "(SELECT id FROM ios_devices)",
  };
  for (const char* sql : orphans) {
    SCOPED_TRACE(sql);
    EXPECT_TRUE(rows(sql).empty());
  }
  for (const char* sql : {"SELECT count(*) FROM macs", "SELECT count(*) FROM android_devices",
                          "SELECT count(*) FROM ios_devices"}) {
    SCOPED_TRACE(sql);
    EXPECT_GT(std::stoi(rows(sql)[0][0]), 0);
  }
}

TEST_F(ShippedCatalogueTest, KnownDevicesAreFound) {
  ScopedGadgetDb scope(db_.get());
  std::shared_ptr<CPUModel> ryzen = CPUModel::from_brand("AMD Ryzen 7 1700 Eight-Core Processor  ");
  ASSERT_NE(ryzen, nullptr);
  EXPECT_EQ(ryzen->name(), "AMD Ryzen 7 1700");
  EXPECT_EQ(ryzen->cores(), 8);
  EXPECT_EQ(ryzen->threads(), 16);
  EXPECT_EQ(ryzen->frequency(), 3000);

  std::shared_ptr<MacModel> mac = MacModel::from_model_id_and_brand(
      "MacBookPro16,1", "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz");
  ASSERT_NE(mac, nullptr);
  EXPECT_EQ(mac->processor_name(), "Intel Core i9-9880H");
}

// The brand string of the processor running the tests, from CPUID leaves 0x80000002-4.
std::string own_brand() {
  if (cpuid(0x80000000).eax < 0x80000004) {
    return "";
  }
  char text[49] = {};
  for (std::uint32_t i = 0; i < 3; ++i) {
    const CpuidRegisters r = cpuid(0x80000002 + i);
    std::memcpy(text + 16 * i, &r.eax, 4);
    std::memcpy(text + 16 * i + 4, &r.ebx, 4);
    std::memcpy(text + 16 * i + 8, &r.ecx, 4);
    std::memcpy(text + 16 * i + 12, &r.edx, 4);
  }
  return text;
}

TEST_F(ShippedCatalogueTest, FindsThisMachinesProcessor) {
  const std::string brand = own_brand();
  ASSERT_FALSE(brand.empty());
  ScopedGadgetDb scope(db_.get());
  std::shared_ptr<CPUModel> cpu = CPUModel::from_brand(brand);
  ASSERT_NE(cpu, nullptr) << "no catalogue row for \"" << strings::trim(brand) << "\"";
  EXPECT_FALSE(cpu->name().empty());
}

}  // namespace
}  // namespace gadget
