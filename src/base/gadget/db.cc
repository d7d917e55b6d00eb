#include "base/gadget/db.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "base/logging.h"

namespace gadget {
namespace {

constexpr const char* kDatabaseName = "gadget/gadget.db";

// The default file system, kept beside ours for the methods we pass through.
sqlite3_vfs* default_vfs = nullptr;
sqlite3_vfs archive_vfs;
bool vfs_registered = false;

bool db_opened = false;
sqlite3* db_handle = nullptr;
bool db_overridden = false;
sqlite3* db_override = nullptr;

ArchiveVfsFile* archive_file(sqlite3_file* file) {
  return std::launder(reinterpret_cast<ArchiveVfsFile*>(file));
}

// --- file methods ---------------------------------------------------------------------------

int file_close(sqlite3_file* file) {
  // The engine frees the object's memory; the asset reference is ours to drop.
  archive_file(file)->~ArchiveVfsFile();
  file->pMethods = nullptr;
  return SQLITE_OK;
}

int file_read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  const base::Asset& asset = *archive_file(file)->asset;
  const sqlite3_int64 length = asset.length();
  if (offset < 0 || amount < 0 || offset > length) {
    return SQLITE_IOERR_READ;
  }
  const sqlite3_int64 copied = std::min<sqlite3_int64>(amount, length - offset);
  if (copied > 0) {
    std::memcpy(buffer, asset.data() + offset, static_cast<size_t>(copied));
  }
  if (copied < amount) {
    // The engine relies on the unread rest being zero after a short read.
    std::memset(static_cast<char*>(buffer) + copied, 0, static_cast<size_t>(amount - copied));
    return SQLITE_IOERR_SHORT_READ;
  }
  return SQLITE_OK;
}

int file_write(sqlite3_file*, const void*, int, sqlite3_int64) { return SQLITE_IOERR_WRITE; }

int file_truncate(sqlite3_file*, sqlite3_int64) { return SQLITE_IOERR_TRUNCATE; }

int file_sync(sqlite3_file*, int) { return SQLITE_OK; }

int file_size(sqlite3_file* file, sqlite3_int64* size) {
  *size = archive_file(file)->asset->length();
  return SQLITE_OK;
}

int file_lock(sqlite3_file*, int) { return SQLITE_OK; }

int file_unlock(sqlite3_file*, int) { return SQLITE_OK; }

int file_check_reserved_lock(sqlite3_file*, int* reserved) {
  *reserved = 0;
  return SQLITE_OK;
}

// No operation is handled here. Answering SQLITE_OK would tell the engine that PRAGMA statements
// were handled by the file (they would all answer nothing), so every operation is "not found".
int file_control(sqlite3_file*, int, void*) { return SQLITE_NOTFOUND; }

int file_sector_size(sqlite3_file*) { return 0; }

int file_device_characteristics(sqlite3_file*) { return SQLITE_IOCAP_IMMUTABLE; }

const sqlite3_io_methods archive_io_methods = {
    1,  // iVersion: no shared memory, no memory mapping
    file_close,
    file_read,
    file_write,
    file_truncate,
    file_sync,
    file_size,
    file_lock,
    file_unlock,
    file_check_reserved_lock,
    file_control,
    file_sector_size,
    file_device_characteristics,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// --- file-system methods --------------------------------------------------------------------
// No exception may unwind through the engine's frames: every method that calls the asset
// manager catches and answers with an error code.

int vfs_open(sqlite3_vfs*, const char* name, sqlite3_file* file, int, int* out_flags) {
  file->pMethods = nullptr;  // the engine closes only files whose methods are set
  if (name == nullptr) {
    return SQLITE_CANTOPEN;  // nameless temporary files are not served
  }
  try {
    std::shared_ptr<base::Asset> asset = base::AssetManager::instance().load(name);
    auto* opened = new (file) ArchiveVfsFile{};
    opened->asset = std::move(asset);
    opened->base.pMethods = &archive_io_methods;
  } catch (...) {
    return SQLITE_CANTOPEN;
  }
  if (out_flags != nullptr) {
    *out_flags = SQLITE_OPEN_READONLY;
  }
  return SQLITE_OK;
}

int vfs_delete(sqlite3_vfs*, const char*, int) { return SQLITE_OK; }

int vfs_access(sqlite3_vfs*, const char* name, int flags, int* result) {
  if (flags == SQLITE_ACCESS_READWRITE) {
    *result = 0;
    return SQLITE_OK;
  }
  try {
    *result = base::AssetManager::instance().exists(name) ? 1 : 0;
  } catch (...) {
    *result = 0;
    return SQLITE_IOERR_ACCESS;
  }
  return SQLITE_OK;
}

int vfs_full_pathname(sqlite3_vfs*, const char* name, int size, char* out) {
  if (size <= 0) {
    return SQLITE_CANTOPEN;
  }
  // Names are asset paths and stay as they are; a name that does not fit is cut short and still
  // terminated.
  const size_t length = std::min(std::strlen(name), static_cast<size_t>(size) - 1);
  std::memcpy(out, name, length);
  out[length] = '\0';
  return SQLITE_OK;
}

void* vfs_dl_open(sqlite3_vfs*, const char* name) {
  return default_vfs->xDlOpen(default_vfs, name);
}

void vfs_dl_error(sqlite3_vfs*, int size, char* message) {
  default_vfs->xDlError(default_vfs, size, message);
}

void (*vfs_dl_sym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
  return default_vfs->xDlSym(default_vfs, handle, symbol);
}

void vfs_dl_close(sqlite3_vfs*, void* handle) { default_vfs->xDlClose(default_vfs, handle); }

int vfs_randomness(sqlite3_vfs*, int size, char* out) {
  return default_vfs->xRandomness(default_vfs, size, out);
}

int vfs_sleep(sqlite3_vfs*, int microseconds) {
  return default_vfs->xSleep(default_vfs, microseconds);
}

int vfs_current_time(sqlite3_vfs*, double* now) {
  return default_vfs->xCurrentTime(default_vfs, now);
}

int vfs_get_last_error(sqlite3_vfs*, int size, char* out) {
  return default_vfs->xGetLastError(default_vfs, size, out);
}

}  // namespace

void register_archive_vfs() {
  if (vfs_registered) {
    return;
  }
  vfs_registered = true;
  default_vfs = sqlite3_vfs_find(nullptr);
  archive_vfs = sqlite3_vfs{};
  archive_vfs.iVersion = 1;
  archive_vfs.szOsFile = sizeof(ArchiveVfsFile);
  archive_vfs.mxPathname = default_vfs->mxPathname;
  archive_vfs.zName = "archive";
  archive_vfs.pAppData = nullptr;
  archive_vfs.xOpen = vfs_open;
  archive_vfs.xDelete = vfs_delete;
  archive_vfs.xAccess = vfs_access;
  archive_vfs.xFullPathname = vfs_full_pathname;
  archive_vfs.xDlOpen = vfs_dl_open;
  archive_vfs.xDlError = vfs_dl_error;
  archive_vfs.xDlSym = vfs_dl_sym;
  archive_vfs.xDlClose = vfs_dl_close;
  archive_vfs.xRandomness = vfs_randomness;
  archive_vfs.xSleep = vfs_sleep;
  archive_vfs.xCurrentTime = vfs_current_time;
  archive_vfs.xGetLastError = vfs_get_last_error;
  sqlite3_vfs_register(&archive_vfs, 0);
}

sqlite3* gadget_db() {
  if (db_overridden) {
    return db_override;
  }
  if (!db_opened) {
    db_opened = true;
    db_handle = internal::open_archive_database(kDatabaseName);
  }
  return db_handle;
}

namespace internal {

sqlite3* open_archive_database(const char* name) {
  register_archive_vfs();
  sqlite3* db = nullptr;
  const int result = sqlite3_open_v2(name, &db, SQLITE_OPEN_READONLY, "archive");
  if (result != SQLITE_OK) {
    LOG(ERROR) << "sqlite3_open() failed with error code " << result;
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

void set_gadget_db_override(sqlite3* db) {
  db_overridden = true;
  db_override = db;
}

void clear_gadget_db_override() {
  db_overridden = false;
  db_override = nullptr;
}

void sql_call_failed(sqlite3* db, const char* call, int result, const char* file, int line) {
  const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(result);
  base::LogEntry(file, line, base::kLogError).stream() << call << " failed " << result;
  base::LogEntry(file, line, base::kLogError).stream() << message;
  throw std::runtime_error(message);
}

}  // namespace internal
}  // namespace gadget
