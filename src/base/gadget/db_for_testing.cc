#include "base/gadget/db_for_testing.h"

#include <gtest/gtest.h>

#include "base/archive/archive_io.h"
#include "base/archive/archive_writer.h"
#include "base/asset_manager.h"
#include "base/gadget/db.h"

namespace gadget {

SqliteHandle fixture_database(const std::string& sql) {
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open(":memory:", &raw);
  SqliteHandle db(raw);
  if (opened != SQLITE_OK) {
    ADD_FAILURE() << "cannot open an in-memory database: " << opened;
    return db;
  }
  char* error = nullptr;
  if (sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    ADD_FAILURE() << "fixture SQL failed: " << (error != nullptr ? error : "?");
    sqlite3_free(error);
  }
  return db;
}

std::string database_bytes(sqlite3* db) {
  sqlite3_int64 size = 0;
  unsigned char* bytes = sqlite3_serialize(db, "main", &size, 0);
  if (bytes == nullptr) {
    return {};
  }
  std::string image(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  sqlite3_free(bytes);
  return image;
}

void load_fixture_archive(const std::string& name,
                          const std::map<std::string, std::string>& files) {
  base::ArchiveWriter writer;
  for (const auto& [path, contents] : files) {
    writer.add_file(path, contents);
  }
  base::AssetManager& assets = base::AssetManager::instance();
  assets.clear();
  assets.load_archive(name, std::make_unique<base::MemoryArchiveIO>(writer.bytes()));
}

ScopedGadgetDb::ScopedGadgetDb(sqlite3* db) { internal::set_gadget_db_override(db); }

ScopedGadgetDb::~ScopedGadgetDb() { internal::clear_gadget_db_override(); }

}  // namespace gadget
