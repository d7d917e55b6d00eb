// Speed of the resource archive against plain baselines measured in the same run:
//  - AssetLoad64MiB: AssetManager::load of a 64 MiB asset against one read() of the same bytes
//    from a plain file into a fresh buffer (counter "ratio", goal <= 1.15);
//  - LoadArchive10k: load_archive of 10,000 files in 500 folders against the floor: one read of
//    the same extent-table and folder bytes plus inserting the same 20,000 keys into a hash map
//    (counter "ratio", goal <= 3);
//  - ExistsAndLoadSmall/N: exists + load of a small asset with N files registered (flat in N).
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/archive/archive.h"
#include "base/archive/archive_writer.h"
#include "base/asset_manager.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A scratch folder removed at exit.
const fs::path& scratch() {
  static const fs::path folder = [] {
    fs::path f = fs::temp_directory_path() / ("resources_bench_" + std::to_string(::getpid()));
    fs::create_directories(f);
    std::atexit([] {
      fs::remove_all(fs::temp_directory_path() / ("resources_bench_" + std::to_string(::getpid())));
    });
    return f;
  }();
  return folder;
}

void write_file(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

// One read() of the whole file into a fresh buffer, as a program without the archive would.
size_t plain_read(const std::string& file, size_t size) {
  const int fd = ::open(file.c_str(), O_RDONLY);
  char* buffer = static_cast<char*>(std::malloc(size + 1));
  const ssize_t got = ::read(fd, buffer, size);
  buffer[size] = 0;
  benchmark::DoNotOptimize(buffer);
  std::free(buffer);
  ::close(fd);
  return got < 0 ? 0 : static_cast<size_t>(got);
}

void AssetLoad64MiB(benchmark::State& state) {
  const size_t size = size_t{64} << 20;
  std::string contents(size, '\0');
  for (size_t i = 0; i < size; ++i) contents[i] = static_cast<char>(i * 131 + (i >> 12));
  const std::string plain = (scratch() / "plain.bin").string();
  const std::string archive = (scratch() / "big.qvxr").string();
  write_file(plain, contents);
  {
    base::ArchiveWriter writer;
    writer.add_file("data/big.bin", contents);
    std::ofstream out(archive, std::ios::binary);
    writer.write(out);
  }
  contents.clear();
  contents.shrink_to_fit();
  base::AssetManager& assets = base::AssetManager::instance();
  assets.clear();
  assets.load_archive("big", base::StreamArchiveIO::at_path(archive));

  double plain_time = 0;
  double asset_time = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    benchmark::DoNotOptimize(plain_read(plain, size));
    plain_time += seconds_since(start);
    start = Clock::now();
    auto asset = assets.load("data/big.bin");
    benchmark::DoNotOptimize(asset->data());
    asset.reset();
    const double took = seconds_since(start);
    asset_time += took;
    state.SetIterationTime(took);
  }
  state.counters["plain_ms"] = 1e3 * plain_time / static_cast<double>(state.iterations());
  state.counters["ratio"] = asset_time / plain_time;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  assets.clear();
}
BENCHMARK(AssetLoad64MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void LoadArchive10k(benchmark::State& state) {
  base::ArchiveWriter writer;
  std::vector<std::string> keys;
  for (int folder = 0; folder < 500; ++folder) {
    for (int file = 0; file < 20; ++file) {
      const std::string path =
          "folder" + std::to_string(folder) + "/file" + std::to_string(file) + ".dat";
      writer.add_file(path, "contents of " + path);
      keys.push_back(path);
      keys.push_back("/" + path);
    }
  }
  const std::string archive = (scratch() / "many.qvxr").string();
  const std::string bytes = writer.bytes();
  write_file(archive, bytes);
  // The folder blocks and the extent table are the archive's tail, after the file contents.
  base::Archive probe("many", std::make_unique<base::MemoryArchiveIO>(bytes));
  const int64_t tables_start = probe.root()->offset();
  const size_t tables_size = bytes.size() - static_cast<size_t>(tables_start);

  base::AssetManager& assets = base::AssetManager::instance();
  double floor_time = 0;
  double load_time = 0;
  for (auto _ : state) {
    assets.clear();
    auto start = Clock::now();
    {
      const int fd = ::open(archive.c_str(), O_RDONLY);
      std::vector<char> tables(tables_size);
      benchmark::DoNotOptimize(::pread(fd, tables.data(), tables_size, tables_start));
      ::close(fd);
      std::unordered_map<std::string, const void*> map;
      for (const std::string& key : keys) map[key] = &key;
      benchmark::DoNotOptimize(map.size());
    }
    floor_time += seconds_since(start);
    start = Clock::now();
    assets.load_archive("many", base::StreamArchiveIO::at_path(archive));
    const double took = seconds_since(start);
    load_time += took;
    state.SetIterationTime(took);
  }
  state.counters["floor_ms"] = 1e3 * floor_time / static_cast<double>(state.iterations());
  state.counters["ratio"] = load_time / floor_time;
  assets.clear();
}
BENCHMARK(LoadArchive10k)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void ExistsAndLoadSmall(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  base::ArchiveWriter writer;
  for (int i = 0; i < files; ++i) {
    writer.add_file("f" + std::to_string(i / 100) + "/a" + std::to_string(i), "small asset");
  }
  base::AssetManager& assets = base::AssetManager::instance();
  assets.clear();
  assets.load_archive("n", std::make_unique<base::MemoryArchiveIO>(writer.bytes()));
  const int middle = files / 2;
  const std::string key = "f" + std::to_string(middle / 100) + "/a" + std::to_string(middle);
  for (auto _ : state) {
    if (!assets.exists(key)) state.SkipWithError("missing key");
    benchmark::DoNotOptimize(assets.load(key)->length());
  }
  assets.clear();
}
BENCHMARK(ExistsAndLoadSmall)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
