#!/usr/bin/env bash
# What the launcher costs on top of the worker it starts, measured with hyperfine in one run:
#   worker           the worker (exits at once) started directly
#   floor            the same worker started by spawn_floor (static posix_spawn + waitpid)
#   launcher --arch  build/bin/corvalith --arch x86_64
#   launcher detect  build/bin/corvalith (detects the build; starts the avx2 worker where it can)
# and reports each one's added time over the direct start, the launcher's added time as a ratio
# of the floor's (goal: at most 1.5), and the launcher's peak resident memory (goal: < 8 MiB).
#
# Usage: bench/launcher_overhead.sh [BUILD_DIR]     (default build; RUNS=300 by default)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${RUNS:-300}
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

json=$(mktemp)
trap 'rm -f "$json"' EXIT

hyperfine -N --warmup 30 --runs "$runs" --export-json "$json" \
  -n worker "$worker" \
  -n floor "$floor $worker" \
  -n "launcher --arch" "$bin/corvalith --arch x86_64" \
  -n "launcher detect" "$bin/corvalith"

python3 - "$json" "$bin/corvalith" "$floor" "$worker" <<'PY'
import json, statistics, subprocess, sys

results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
launcher, floor, worker = sys.argv[2], sys.argv[3], sys.argv[4]

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

print()
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
added_floor = ms("floor", "mean") - ms("worker", "mean")
worst = max(ms(n, "mean") - ms("worker", "mean") for n in ("launcher --arch", "launcher detect"))
print("goal (added time <= 1.5x floor):", "met" if worst <= 1.5 * added_floor else "missed",
      f"(x{worst / added_floor:.2f})")
print("goal (peak RSS < 8 MiB):", "met" if max(rss, rss_detect) < 8192 else "missed")
PY
