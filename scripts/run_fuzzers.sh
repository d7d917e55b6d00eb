#!/usr/bin/env bash
# Runs every libFuzzer binary in DIR for SECONDS each, starting from its seed corpus
# (fuzz/corpus/<target>/, copied to a scratch folder so the tree stays untouched).
set -euo pipefail
dir=${1:-build-fuzz/fuzzers}
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
targets=("$dir"/*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets built"
  exit 0
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in "${targets[@]}"; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$scratch/$name"
  mkdir -p "$corpus"
  if [ -d "$root/fuzz/corpus/$name" ]; then cp -r "$root/fuzz/corpus/$name/." "$corpus/"; fi
  echo "fuzz: $name for ${seconds}s"
  (cd "$scratch" && "$root/$target" -max_total_time="$seconds" -rss_limit_mb=4096 \
     -print_final_stats=0 "$corpus" >"$scratch/$name.log" 2>&1) || {
    tail -n 60 "$scratch/$name.log"
    echo "fuzz: $name FAILED"
    exit 1
  }
  grep -E '^Done|^#[0-9]+ +DONE' "$scratch/$name.log" | tail -n 1 || true
done
echo "fuzz: all targets clean"
