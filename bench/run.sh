#!/usr/bin/env bash
# Measures Kavelo's DVD engine beside the mpv player on the sample disc and prints a table.
#   bench/run.sh [BUILD_DIR]      (default: build)
# Installs the mpv player when it is missing, builds the benchmark, authors the sample disc
# and runs everything under a private Xvfb server with software OpenGL.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

if ! command -v mpv >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get install -y --no-install-recommends mpv
fi

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target kavelo_dvd_bench
bash "$root/scripts/make-sample-disc.sh" "$build/sample-disc"

# libdvdread writes to stdout and stderr by itself: keep everything in a log, show the table.
log="$build/bench/kavelo_dvd_bench.log"
"$root/scripts/with-xvfb.sh" "$build/bench/kavelo_dvd_bench" "$build/sample-disc" "$(command -v mpv)" \
  >"$log" 2>&1 || { tail -20 "$log" >&2; exit 1; }
sed -n '/^measure /,$p' "$log"
