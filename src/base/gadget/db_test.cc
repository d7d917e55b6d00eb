#include "base/gadget/db.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/asset_manager.h"
#include "base/gadget/cpu_model.h"
#include "base/gadget/db_for_testing.h"

namespace gadget {
namespace {

constexpr const char* kFixture = R"sql(
PRAGMA page_size = 1024;
CREATE TABLE processors (id INTEGER PRIMARY KEY, name, description, family, cores, threads,
                         frequency, codename, package);
CREATE TABLE processor_identifiers (processor_id, cpu_brand);
INSERT INTO processors VALUES (1, 'Alpha 100', 'Four cores', 'Alpha', 4, 8, 3000, 'Ridge', 'S1');
INSERT INTO processor_identifiers VALUES (1, 'Alpha 100 CPU');
)sql";

// The fixture database's file bytes.
std::string fixture_bytes() {
  SqliteHandle db = fixture_database(kFixture);
  return database_bytes(db.get());
}

sqlite3_vfs* archive_vfs() {
  register_archive_vfs();
  return sqlite3_vfs_find("archive");
}

// An engine file object as the engine would allocate it for the archive file system.
struct OpenFile {
  explicit OpenFile(sqlite3_vfs* vfs)
      : vfs(vfs), memory(static_cast<sqlite3_file*>(std::calloc(1, vfs->szOsFile))) {}
  ~OpenFile() {
    if (memory->pMethods != nullptr) {
      memory->pMethods->xClose(memory);
    }
    std::free(memory);
  }
  int open(const char* name) { return vfs->xOpen(vfs, name, memory, open_flags, &out_flags); }
  const sqlite3_io_methods& io() const { return *memory->pMethods; }

  sqlite3_vfs* vfs;
  sqlite3_file* memory;
  int open_flags = SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_READONLY;
  int out_flags = -1;
};

class ArchiveVfsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = fixture_bytes();
    ASSERT_EQ(bytes_.size(), 3072u);  // three pages of 1024 bytes
    load_fixture_archive("gadget_fixture", {{"gadget/gadget.db", bytes_}, {"empty.db", ""}});
  }
  void TearDown() override { base::AssetManager::instance().clear(); }
  std::string bytes_;
};

TEST_F(ArchiveVfsTest, RegisteredOnceAndNotAsDefault) {
  sqlite3_vfs* vfs = archive_vfs();
  ASSERT_NE(vfs, nullptr);
  register_archive_vfs();
  EXPECT_EQ(sqlite3_vfs_find("archive"), vfs);
  sqlite3_vfs* fallback = sqlite3_vfs_find(nullptr);
  EXPECT_NE(fallback, vfs);
  EXPECT_EQ(vfs->iVersion, 1);
  EXPECT_EQ(vfs->szOsFile, static_cast<int>(sizeof(ArchiveVfsFile)));
  EXPECT_EQ(vfs->mxPathname, fallback->mxPathname);
  EXPECT_STREQ(vfs->zName, "archive");
  EXPECT_EQ(vfs->pAppData, nullptr);
}

TEST_F(ArchiveVfsTest, FileMethodsServeTheAssetAndRefuseChanges) {
  OpenFile file(archive_vfs());
  ASSERT_EQ(file.open("gadget/gadget.db"), SQLITE_OK);
  EXPECT_EQ(file.out_flags, SQLITE_OPEN_READONLY);
  EXPECT_EQ(file.io().iVersion, 1);
  auto* archived = reinterpret_cast<ArchiveVfsFile*>(file.memory);
  EXPECT_EQ(archived->asset->to_string(), bytes_);

  sqlite3_int64 size = 0;
  EXPECT_EQ(file.io().xFileSize(file.memory, &size), SQLITE_OK);
  EXPECT_EQ(size, 3072);

  std::vector<char> page(1024, '?');
  EXPECT_EQ(file.io().xRead(file.memory, page.data(), 1024, 1024), SQLITE_OK);
  EXPECT_EQ(std::string(page.data(), 1024), bytes_.substr(1024, 1024));

  // The engine asks for more than remains: the rest, then zeros, and a short read.
  std::vector<char> tail(1024, '?');
  EXPECT_EQ(file.io().xRead(file.memory, tail.data(), 1024, 2560), SQLITE_IOERR_SHORT_READ);
  EXPECT_EQ(std::string(tail.data(), 512), bytes_.substr(2560));
  EXPECT_EQ(std::string(tail.data() + 512, 512), std::string(512, '\0'));

  std::vector<char> at_end(16, '?');
  EXPECT_EQ(file.io().xRead(file.memory, at_end.data(), 16, 3072), SQLITE_IOERR_SHORT_READ);
  EXPECT_EQ(std::string(at_end.data(), 16), std::string(16, '\0'));
  EXPECT_EQ(file.io().xRead(file.memory, at_end.data(), 16, 3073), SQLITE_IOERR_READ);
  EXPECT_EQ(SQLITE_IOERR_READ, 266);
  EXPECT_EQ(SQLITE_IOERR_SHORT_READ, 522);

  EXPECT_EQ(file.io().xWrite(file.memory, "x", 1, 0), SQLITE_IOERR_WRITE);
  EXPECT_EQ(SQLITE_IOERR_WRITE, 778);
  EXPECT_EQ(file.io().xTruncate(file.memory, 0), SQLITE_IOERR_TRUNCATE);
  EXPECT_EQ(SQLITE_IOERR_TRUNCATE, 1546);
  EXPECT_EQ(archived->asset->to_string(), bytes_);

  EXPECT_EQ(file.io().xSync(file.memory, SQLITE_SYNC_NORMAL), SQLITE_OK);
  EXPECT_EQ(file.io().xLock(file.memory, SQLITE_LOCK_EXCLUSIVE), SQLITE_OK);
  EXPECT_EQ(file.io().xUnlock(file.memory, SQLITE_LOCK_NONE), SQLITE_OK);
  int reserved = -1;
  EXPECT_EQ(file.io().xCheckReservedLock(file.memory, &reserved), SQLITE_OK);
  EXPECT_EQ(reserved, 0);
  EXPECT_EQ(file.io().xFileControl(file.memory, SQLITE_FCNTL_PRAGMA, nullptr), SQLITE_NOTFOUND);
  EXPECT_EQ(file.io().xSectorSize(file.memory), 0);
  EXPECT_EQ(file.io().xDeviceCharacteristics(file.memory), SQLITE_IOCAP_IMMUTABLE);
  EXPECT_EQ(SQLITE_IOCAP_IMMUTABLE, 0x2000);
}

TEST_F(ArchiveVfsTest, AnEmptyAssetReadsAsZeros) {
  OpenFile file(archive_vfs());
  ASSERT_EQ(file.open("empty.db"), SQLITE_OK);
  sqlite3_int64 size = -1;
  EXPECT_EQ(file.io().xFileSize(file.memory, &size), SQLITE_OK);
  EXPECT_EQ(size, 0);
  char header[100];
  std::memset(header, '?', sizeof header);
  EXPECT_EQ(file.io().xRead(file.memory, header, 100, 0), SQLITE_IOERR_SHORT_READ);
  EXPECT_EQ(std::string(header, 100), std::string(100, '\0'));
}

TEST_F(ArchiveVfsTest, OpenRefusesMissingAndNamelessFilesWithoutThrowing) {
  for (const char* name : {"missing.db", "/gadget", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(name != nullptr ? name : "(temporary)");
    OpenFile file(archive_vfs());
    testing::internal::CaptureStderr();
    EXPECT_EQ(file.open(name), SQLITE_CANTOPEN);
    (void)testing::internal::GetCapturedStderr();
    EXPECT_EQ(file.memory->pMethods, nullptr);  // the engine must not close it
  }
}

TEST_F(ArchiveVfsTest, FileSystemMethods) {
  sqlite3_vfs* vfs = archive_vfs();
  struct Case {
    const char* name;
    int flags;
    int answer;
  } cases[] = {
      {"gadget/gadget.db", SQLITE_ACCESS_EXISTS, 1},
      {"/gadget/gadget.db", SQLITE_ACCESS_READ, 1},
      {"gadget/gadget.db", SQLITE_ACCESS_READWRITE, 0},
      {"gadget/gadget.db-journal", SQLITE_ACCESS_EXISTS, 0},
      {"gadget", SQLITE_ACCESS_EXISTS, 0},  // folders are not assets
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.flags));
    int answer = -1;
    EXPECT_EQ(vfs->xAccess(vfs, c.name, c.flags, &answer), SQLITE_OK);
    EXPECT_EQ(answer, c.answer);
  }

  char out[32];
  EXPECT_EQ(vfs->xFullPathname(vfs, "gadget/./gadget.db", sizeof out, out), SQLITE_OK);
  EXPECT_STREQ(out, "gadget/./gadget.db");  // names are asset paths: not resolved
  EXPECT_EQ(vfs->xFullPathname(vfs, "gadget/gadget.db", 7, out), SQLITE_OK);
  EXPECT_STREQ(out, "gadget");  // cut to the buffer, still terminated

  EXPECT_EQ(vfs->xDelete(vfs, "gadget/gadget.db", 0), SQLITE_OK);
  EXPECT_TRUE(base::AssetManager::instance().exists("gadget/gadget.db"));

  // Passed through to the default file system.
  double now = 0;
  EXPECT_EQ(vfs->xCurrentTime(vfs, &now), SQLITE_OK);
  EXPECT_GT(now, 2440587.5);  // after 1970 as a Julian day
  char random[16] = {};
  EXPECT_EQ(vfs->xRandomness(vfs, sizeof random, random), 16);
  EXPECT_GE(vfs->xSleep(vfs, 1), 0);
}

TEST_F(ArchiveVfsTest, ConnectionReadsTheArchivedDatabase) {
  SqliteHandle db(internal::open_archive_database("gadget/gadget.db"));
  ASSERT_NE(db, nullptr);
  ScopedGadgetDb scope(db.get());
  std::shared_ptr<CPUModel> cpu = CPUModel::from_brand(" Alpha 100 CPU");
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(cpu->name(), "Alpha 100");
  EXPECT_EQ(cpu->threads(), 8);

  // Pragmas reach the engine (the file does not claim them).
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.get(), "PRAGMA integrity_check", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok");
  sqlite3_finalize(stmt);

  // Writing is refused and changes nothing.
  EXPECT_EQ(sqlite3_exec(db.get(), "DELETE FROM processors", nullptr, nullptr, nullptr),
            SQLITE_READONLY);
  EXPECT_NE(CPUModel::from_id(1), nullptr);
}

TEST_F(ArchiveVfsTest, ReadWriteOpenStillGivesAReadOnlyConnection) {
  register_archive_vfs();
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2("gadget/gadget.db", &raw, SQLITE_OPEN_READWRITE, "archive"), SQLITE_OK);
  SqliteHandle db(raw);
  EXPECT_EQ(sqlite3_db_readonly(raw, "main"), 1);
  EXPECT_EQ(sqlite3_exec(raw, "INSERT INTO processors (id) VALUES (7)", nullptr, nullptr, nullptr),
            SQLITE_READONLY);
}

TEST_F(ArchiveVfsTest, MissingDatabaseLogsTheOpenFailure) {
  testing::internal::CaptureStderr();
  sqlite3* db = internal::open_archive_database("gadget/none.db");
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(db, nullptr);
  EXPECT_NE(log.find(")] Unable to find asset \"gadget/none.db\"\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(")] sqlite3_open() failed with error code 14\r\n"), std::string::npos) << log;
}

TEST_F(ArchiveVfsTest, DamagedDatabasesFailLookupsCleanly) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;  // empty: any engine message
  } cases[] = {
      {"empty", "", "no such table: processors"},
      {"not a database", std::string(4096, 'x'), "file is not a database"},
      {"header only", bytes_.substr(0, 100), ""},
      {"truncated", bytes_.substr(0, 1500), ""},
      {"first page only", bytes_.substr(0, 1024), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    load_fixture_archive("damaged", {{"gadget/gadget.db", c.bytes}});
    SqliteHandle db(internal::open_archive_database("gadget/gadget.db"));
    ScopedGadgetDb scope(db.get());
    testing::internal::CaptureStderr();
    std::string thrown;
    try {
      (void)CPUModel::from_brand("Alpha 100 CPU");
    } catch (const std::runtime_error& error) {
      thrown = error.what();
    }
    (void)testing::internal::GetCapturedStderr();
    if (c.message[0] != '\0') {
      EXPECT_EQ(thrown, c.message);
    }
  }
}

// The process-wide connection is opened once; each case runs in a child process of its own.
TEST(GadgetDbTest, OpensOnceAndNeverRetries) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        load_fixture_archive("fixture", {{"gadget/gadget.db", fixture_bytes()}});
        sqlite3* first = gadget_db();
        base::AssetManager::instance().clear();
        const bool same = gadget_db() == first;
        std::exit(first != nullptr && same && CPUModel::from_id(1) != nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        load_fixture_archive("no database", {{"other.txt", "x"}});
        sqlite3* first = gadget_db();
        load_fixture_archive("fixture", {{"gadget/gadget.db", fixture_bytes()}});
        std::exit(first == nullptr && gadget_db() == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "sqlite3_open\\(\\) failed with error code 14");
}

}  // namespace
}  // namespace gadget
