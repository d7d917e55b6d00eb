// The device database "gadget/gadget.db", read by the database engine straight out of the
// resource archive through the "archive" file system, and the process-wide connection to it.
//
//   sqlite3* db = gadget::gadget_db();  // null when the database could not be opened
//
// The "archive" file system serves every name the engine opens from the asset manager: the whole
// file is loaded into one Asset when the engine opens it and every page read copies out of it.
// It is read-only: writes, truncation and nameless temporary files are refused.
#pragma once

#include <sqlite3.h>

#include <memory>

#include "base/asset_manager.h"

namespace gadget {

// The engine's file object for a file of the "archive" file system: the engine's header (its
// method table) followed by the asset holding the whole file. The file system declares this
// object's size to the engine, which allocates it; the asset reference is dropped on close.
struct ArchiveVfsFile {
  sqlite3_file base;
  std::shared_ptr<base::Asset> asset;
};

// Registers the "archive" file system with the engine, not as the default. Runs once per
// process; later calls do nothing. Call it on one thread before others use the engine.
void register_archive_vfs();

// The shared read-only connection to "gadget/gadget.db" of the loaded archives. The first call
// registers the file system and opens the database; when that fails it logs
// "sqlite3_open() failed with error code <code>" at ERROR and the answer is null. Either way the
// result is kept: later calls return it and never retry. The connection is never closed. The
// first call must happen on one thread before other threads use the connection.
[[nodiscard]] sqlite3* gadget_db();

namespace internal {

// Opens `name` read-only through the "archive" file system as gadget_db() does, with its
// logging; null on failure. Every call opens a new connection, which the caller owns.
[[nodiscard]] sqlite3* open_archive_database(const char* name);

// Tests only (see db_for_testing.h): after set, gadget_db() answers with `db` (null included)
// instead of the process-wide connection, until clear.
void set_gadget_db_override(sqlite3* db);
void clear_gadget_db_override();

// Logs "<call> failed <result>" and then the connection's error message at ERROR, both at
// `file`:`line`, and throws std::runtime_error with that message. A null connection gives the
// engine's text for `result`.
[[noreturn]] void sql_call_failed(sqlite3* db, const char* call, int result, const char* file,
                                  int line);

}  // namespace internal
}  // namespace gadget

// Runs the engine call `call` on connection `db`; any result but SQLITE_OK and SQLITE_DONE is a
// failure reported with the call's source text (see internal::sql_call_failed). A null `db` (the
// database could not be opened) fails with SQLITE_MISUSE without calling the engine, which would
// not survive a null connection.
#define GADGET_SQL_CALL(db, call)                                                              \
  do {                                                                                         \
    const int gadget_sql_result = (db) == nullptr ? SQLITE_MISUSE : (call);                    \
    if (gadget_sql_result != SQLITE_OK && gadget_sql_result != SQLITE_DONE) {                  \
      ::gadget::internal::sql_call_failed((db), #call, gadget_sql_result, __FILE__, __LINE__); \
    }                                                                                          \
  } while (false)
