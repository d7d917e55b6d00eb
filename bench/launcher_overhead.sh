#!/usr/bin/env bash
# What the launcher costs on top of the worker it starts, measured with hyperfine in one run:
#   worker           the worker (exits at once) started directly
#   floor            the same worker started by spawn_floor (static posix_spawn + waitpid)
#   launcher --arch  build/bin/corvalith --arch x86_64
#   launcher detect  build/bin/corvalith (detects the build; starts the avx2 worker where it can)
# and reports each one's added time over the direct start, the launcher's added time as a ratio
# of the floor's (goal: at most 1.5), and the launcher's peak resident memory (goal: < 8 MiB).
#
# The four commands are interleaved: hyperfine runs them in turn ROUNDS times (RUNS runs each per
# round), so a change in the machine's load during the run touches all of them alike.
#
# Usage: bench/launcher_overhead.sh [BUILD_DIR]     (default build; ROUNDS=6, RUNS=50)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rounds=${ROUNDS:-6}
runs=${RUNS:-50}
bin=$build/bin
floor=$build/bench-tools/spawn_floor
worker=$bin/corvalith_x86_64.exe

for program in "$bin/corvalith" "$worker" "$floor"; do
  if [[ ! -x $program ]]; then
    echo "missing $program: build first (cmake --build --preset default)" >&2
    exit 1
  fi
done
if ! command -v hyperfine >/dev/null; then
  echo "hyperfine is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi

results_dir=$(mktemp -d)
trap 'rm -rf "$results_dir"' EXIT

for round in $(seq "$rounds"); do
  echo "round $round of $rounds"
  hyperfine -N --warmup 10 --runs "$runs" --style basic \
    --export-json "$results_dir/round$round.json" \
    -n worker "$worker" \
    -n floor "$floor $worker" \
    -n "launcher --arch" "$bin/corvalith --arch x86_64" \
    -n "launcher detect" "$bin/corvalith" >/dev/null
done

python3 - "$bin/corvalith" "$floor" "$worker" "$results_dir"/round*.json <<'PY'
import json, statistics, subprocess, sys

launcher, floor, worker = sys.argv[1], sys.argv[2], sys.argv[3]
# All rounds merged per command: every run's wall time, and the mean user and system times.
results = {}
for path in sys.argv[4:]:
    for r in json.load(open(path))["results"]:
        merged = results.setdefault(r["command"], {"times": [], "user": [], "system": []})
        merged["times"] += r["times"]
        merged["user"].append(r["user"])
        merged["system"].append(r["system"])
for r in results.values():
    r["mean"] = statistics.mean(r["times"])
    r["user"] = statistics.mean(r["user"])
    r["system"] = statistics.mean(r["system"])

def ms(name, key):
    r = results[name]
    return (statistics.median(r["times"]) if key == "median" else r["mean"]) * 1000

def peak_rss_kib(argv, times=20):
    peak = 0
    for _ in range(times):
        run = subprocess.run([floor, "--peak-rss", *argv], stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, text=True, check=False)
        for line in run.stderr.splitlines():
            if line.startswith("peak_rss_kib "):
                peak = max(peak, int(line.split()[1]))
    return peak

def cpu_ms(name):
    r = results[name]
    return (r["user"] + r["system"]) * 1000

print(f"{len(results['worker']['times'])} runs of each command in {len(sys.argv) - 4} rounds")
for key in ("mean", "median"):
    base = ms("worker", key)
    added_floor = ms("floor", key) - base
    print(f"{key}: worker {base:.3f} ms; added: floor {added_floor:.3f} ms", end="")
    for name in ("launcher --arch", "launcher detect"):
        added = ms(name, key) - base
        print(f", {name} {added:.3f} ms (x{added / added_floor:.2f} of floor)", end="")
    print()

base = cpu_ms("worker")
added_floor_cpu = cpu_ms("floor") - base
print(f"cpu (user+system): worker {base:.3f} ms; added: floor {added_floor_cpu:.3f} ms", end="")
for name in ("launcher --arch", "launcher detect"):
    added = cpu_ms(name) - base
    print(f", {name} {added:.3f} ms (x{added / added_floor_cpu:.2f} of floor)", end="")
print()

rss = peak_rss_kib([launcher, "--arch", "x86_64"])
rss_detect = peak_rss_kib([launcher])
rss_floor = peak_rss_kib([floor, worker])
rss_worker = peak_rss_kib([worker])
print(f"peak RSS: launcher --arch {rss} KiB, launcher detect {rss_detect} KiB, "
      f"floor {rss_floor} KiB, worker {rss_worker} KiB")
added_floor = ms("floor", "median") - ms("worker", "median")
worst = max(ms(n, "median") - ms("worker", "median")
            for n in ("launcher --arch", "launcher detect"))
print("goal (added median time <= 1.5x floor):",
      "met" if worst <= 1.5 * added_floor else "missed", f"(x{worst / added_floor:.2f})")
print("goal (peak RSS < 8 MiB):", "met" if max(rss, rss_detect) < 8192 else "missed")
PY
