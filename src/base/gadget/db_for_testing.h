// Test helpers for the device database: fixture databases built from SQL in memory, their file
// bytes, fixture archives holding them, and a scope that points every lookup at a fixture.
#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>

namespace gadget {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

// A new in-memory database after running `sql` on it; a failing statement fails the test
// (ADD_FAILURE) and the database holds what ran before it.
[[nodiscard]] SqliteHandle fixture_database(const std::string& sql);

// The database file image of `db` (its main schema) as bytes.
[[nodiscard]] std::string database_bytes(sqlite3* db);

// Clears the asset manager and loads one in-memory archive holding `files` (archive path to
// contents) under the name `name`.
void load_fixture_archive(const std::string& name, const std::map<std::string, std::string>& files);

// While alive, gadget_db() answers with `db` (which may be null: "could not be opened").
class ScopedGadgetDb {
 public:
  explicit ScopedGadgetDb(sqlite3* db);
  ~ScopedGadgetDb();
  ScopedGadgetDb(const ScopedGadgetDb&) = delete;
  ScopedGadgetDb& operator=(const ScopedGadgetDb&) = delete;
};

}  // namespace gadget
