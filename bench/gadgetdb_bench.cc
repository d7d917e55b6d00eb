// Speed of the device database read out of the resource archive, measured in the same run:
//  - FromBrand: CPUModel::from_brand on the shipped database through the "archive" file system
//    against the same database opened from a plain file with the engine's default file system
//    (counters "archive_ns", "plain_ns", "ratio"; goal ratio <= 1.1);
//  - OpenShipped: what the first gadget_db() does for the shipped database, opening it out of
//    the archive and reading its schema with the first lookup (counter "db_bytes");
//  - OpenSynthetic/N: the same for databases of N processor rows, to show the cost against size.
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/archive/archive_io.h"
#include "base/archive/archive_writer.h"
#include "base/asset_manager.h"
#include "base/gadget/cpu_model.h"
#include "base/gadget/db.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kArchive = std::string(CORVALITH_BIN_DIR) + "/corvalith.qvxr";
const char* const kBrands[] = {
    "AMD Ryzen 7 1700 Eight-Core Processor",
    "Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz",
    "13th Gen Intel(R) Core(TM) i9-13900K",
    "AMD EPYC 7763 64-Core Processor",
    "Unknown processor",
};

// The shipped archive, loaded once into the asset manager; the database's bytes.
const std::string& shipped_db_bytes() {
  static const std::string bytes = [] {
    base::AssetManager& assets = base::AssetManager::instance();
    assets.load_archive(kArchive, base::StreamArchiveIO::at_path(kArchive));
    return assets.load("gadget/gadget.db")->to_string();
  }();
  return bytes;
}

// The shipped database written to a plain file, removed at exit.
const std::string& plain_db_path() {
  static const std::string path = [] {
    std::string p =
        (fs::temp_directory_path() / ("gadgetdb_bench_" + std::to_string(::getpid()) + ".db"))
            .string();
    std::ofstream(p, std::ios::binary) << shipped_db_bytes();
    std::atexit([] { fs::remove(plain_db_path()); });
    return p;
  }();
  return path;
}

double lookups_ns(sqlite3* db, int rounds) {
  gadget::internal::set_gadget_db_override(db);
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    for (const char* brand : kBrands) benchmark::DoNotOptimize(CPUModel::from_brand(brand));
  }
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  gadget::internal::clear_gadget_db_override();
  return ns / (rounds * static_cast<double>(std::size(kBrands)));
}

void FromBrand(benchmark::State& state) {
  (void)shipped_db_bytes();
  sqlite3* archived = gadget::internal::open_archive_database("gadget/gadget.db");
  sqlite3* plain = nullptr;
  sqlite3_open_v2(plain_db_path().c_str(), &plain, SQLITE_OPEN_READONLY, nullptr);
  double archive_total = 0;
  double plain_total = 0;
  for (auto _ : state) {
    // Alternating keeps both sides under the same machine load.
    const double archive_ns = lookups_ns(archived, 200);
    const double plain_ns = lookups_ns(plain, 200);
    archive_total += archive_ns;
    plain_total += plain_ns;
    state.SetIterationTime(archive_ns * 1e-9);
  }
  state.counters["archive_ns"] = archive_total / state.iterations();
  state.counters["plain_ns"] = plain_total / state.iterations();
  state.counters["ratio"] = archive_total / plain_total;
  sqlite3_close(archived);
  sqlite3_close(plain);
}
BENCHMARK(FromBrand)->UseManualTime()->Iterations(50);

// Opens "gadget/gadget.db" of the loaded archives and makes the first lookup, as the first
// gadget_db() and the first from_brand of a launch do.
void open_and_first_lookup() {
  sqlite3* db = gadget::internal::open_archive_database("gadget/gadget.db");
  gadget::internal::set_gadget_db_override(db);
  benchmark::DoNotOptimize(CPUModel::from_brand(kBrands[0]));
  gadget::internal::clear_gadget_db_override();
  sqlite3_close(db);
}

void OpenShipped(benchmark::State& state) {
  const std::string& bytes = shipped_db_bytes();
  for (auto _ : state) open_and_first_lookup();
  state.counters["db_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(OpenShipped)->Unit(benchmark::kMicrosecond);

// A database of `rows` processors with the shipped tables, as file bytes.
std::string synthetic_db(int rows) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  std::string sql =
      "PRAGMA page_size = 1024; CREATE TABLE processors (id INTEGER PRIMARY KEY, name, "
      "description, family, cores, threads, frequency, codename, package); CREATE TABLE "
      "processor_identifiers (cpu_brand PRIMARY KEY, processor_id) WITHOUT ROWID; WITH RECURSIVE "
      "n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(rows) +
      ") INSERT INTO processors SELECT i, 'Processor ' || i, 'An 8-core desktop processor', "
      "'Family', 8, 16, 3000, 'Code name', 'LGA1700' FROM n; INSERT INTO processor_identifiers "
      "SELECT 'Vendor(R) Processor(TM) model ' || id || ' CPU @ 3.00GHz', id FROM processors; "
      "VACUUM;";
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_int64 size = 0;
  unsigned char* image = sqlite3_serialize(db, "main", &size, 0);
  std::string bytes(reinterpret_cast<const char*>(image), static_cast<size_t>(size));
  sqlite3_free(image);
  sqlite3_close(db);
  return bytes;
}

void OpenSynthetic(benchmark::State& state) {
  const std::string bytes = synthetic_db(static_cast<int>(state.range(0)));
  base::ArchiveWriter writer;
  writer.add_file("gadget/gadget.db", bytes);
  base::AssetManager& assets = base::AssetManager::instance();
  assets.clear();
  assets.load_archive("synthetic", std::make_unique<base::MemoryArchiveIO>(writer.bytes()));
  for (auto _ : state) open_and_first_lookup();
  state.counters["db_bytes"] = static_cast<double>(bytes.size());
  assets.clear();
}
BENCHMARK(OpenSynthetic)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
