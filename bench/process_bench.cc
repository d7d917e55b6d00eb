// Launching and awaiting a trivial child through launch_process/wait_for_exit against a raw
// posix_spawn + waitpid of the same child. The two are interleaved in one loop so that machine
// noise hits both alike; the "ratio" counter is launcher time over raw time (goal: <= 1.05).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>

#include "base/logging.h"
#include "base/process.h"

extern char** environ;

namespace {

constexpr const char* kChild = "/bin/true";

double raw_spawn() {
  const auto start = std::chrono::steady_clock::now();
  char* argv[] = {const_cast<char*>(kChild), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, kChild, nullptr, nullptr, argv, environ) != 0) std::abort();
  int status = 0;
  waitpid(pid, &status, 0);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double through_process_layer() {
  const auto start = std::chrono::steady_clock::now();
  Process process(kChild);
  ProcessHandle handle;
  if (!launch_process(process, &handle)) std::abort();
  wait_for_exit(&handle);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_LaunchVersusRawSpawn(benchmark::State& state) {
  base::set_min_severity(base::kLogError);  // as the launcher runs
  double raw = 0;
  double launched = 0;
  for (auto _ : state) {
    raw += raw_spawn();
    launched += through_process_layer();
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["raw_ms"] = raw / n * 1e3;
  state.counters["launch_ms"] = launched / n * 1e3;
  state.counters["ratio"] = launched / raw;
}
BENCHMARK(BM_LaunchVersusRawSpawn)->Iterations(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
