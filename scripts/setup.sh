#!/usr/bin/env bash
# Installs the Debian packages that building, testing, benchmarking and fuzzing need.
# Idempotent: quiet when everything is present, runs apt-get update only when something is missing.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config make clang libclang-rt-14-dev clang-format
  # libraries
  libfmt-dev libjansson-dev libsqlite3-dev sqlite3 libjemalloc-dev
  libjpeg62-turbo-dev libturbojpeg0-dev libpng-dev zlib1g-dev
  libopus-dev libopusfile-dev libopusenc-dev
  libraw-dev libtiff-dev libsndfile1-dev libmpg123-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev hyperfine
  # independent tools the tests cross-check against
  imagemagick libjpeg-turbo-progs sox libsox-fmt-mp3 mpg123 opus-tools lame
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
