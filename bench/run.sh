#!/usr/bin/env bash
# Measures Kavelo beside the mpv player and prints every figure with its target and PASS/FAIL.
#   bench/run.sh [BUILD_DIR]      (default: build)
# Builds Kavelo and the benchmark, authors the sample disc, the film disc (a title with subtitle
# streams), the angle disc and the realistic disc (10 minutes of D1 MPEG-2 with AC-3, cached in
# BUILD_DIR/realistic-disc) and runs everything under a private Xvfb server (no window manager)
# with software OpenGL, with a private profile folder. The start is also measured with four busy
# loops of the benchmark's own running (a load of 4), for that row only.
# KAVELO_BENCH_SAMPLES (default 15) and KAVELO_BENCH_CYCLES (default 50) shorten a trial run;
# KAVELO_BENCH_ONLY=start measures the start alone; =title3 stops after the sample disc's title 3,
# =kinds after the subtitle and angle titles, =engine after the whole table of this program.
# The mutant walk over 320 damaged discs comes last (a few minutes).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
build=$(cd "$(dirname "$build")" && pwd)/$(basename "$build")

for tool in mpv Xvfb ffmpeg dvdauthor spumux; do
  command -v "$tool" >/dev/null || {
    echo "$0: $tool is missing: run scripts/install-deps.sh" >&2
    exit 1
  }
done

echo "load before building: $(uptime)"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target kavelo_dvd_bench
bash "$root/scripts/make-sample-disc.sh" "$build/sample-disc"
bash "$root/scripts/make-realistic-disc.sh" "$build/realistic-disc"
bash "$root/scripts/make-film-disc.sh" "$build/film-disc"
python3 "$root/scripts/make-angle-disc.py" "$build/angle-disc"

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
# The table goes to the terminal and BUILD_DIR/bench/report.txt; what libdvdread and libmpv print
# by themselves goes to BUILD_DIR/bench/kavelo_dvd_bench.log.
log="$build/bench/kavelo_dvd_bench.log"
report="$build/bench/report.txt"
echo "load at start: $(uptime)"
status=0
XDG_CONFIG_HOME="$profile" HOME="$profile" KAVELO_XVFB_SCREEN=1920x1080x24 \
  "$root/scripts/with-xvfb.sh" "$build/bench/kavelo_dvd_bench" "$build/kavelo" \
  "$build/bench/kavelo_bare_window" "$build/sample-disc" "$build/realistic-disc" \
  "$build/film-disc" "$build/angle-disc" "$(command -v mpv)" 2>"$log" | tee "$report" || status=$?

if [ -n "${KAVELO_BENCH_ONLY:-}" ]; then
  echo "load at end: $(uptime)"
  exit "$status"
fi

# The main window's memory over Stop/Play as a user makes them, from the keyboard.
XDG_CONFIG_HOME="$profile" HOME="$profile" \
  "$root/scripts/with-xvfb.sh" --wm "$root/bench/window-growth.sh" "$build/kavelo" \
  "$build/sample-disc" 20 2>>"$log" | tee -a "$report" || status=$?

# Disc menus: a table of their own, measured on the menu disc beside the mpv player.
cmake --build "$build" -j"$(nproc)" --target kavelo_menu_bench
bash "$root/scripts/make-menu-disc.sh" "$build/menu-disc"
XDG_CONFIG_HOME="$profile" HOME="$profile" KAVELO_XVFB_SCREEN=1920x1080x24 \
  "$root/scripts/with-xvfb.sh" "$build/bench/kavelo_menu_bench" "$build/menu-disc" \
  "$(command -v mpv)" 2>>"$log" | tee -a "$report" || status=$?
# The mutant walk: damaged copies of the menu, film and sample discs walked through the engine.
cmake --build "$build" -j"$(nproc)" --target kavelo_mutant_walk_bench
python3 "$root/scripts/make-disc-mutants.py" --all "$build/bench/walk-mutants" 20261207 \
  menu="$build/menu-disc:120" film="$build/film-disc:120" sample="$build/sample-disc:80"
echo "load before the mutant walk: $(uptime)" | tee -a "$report"
XDG_CONFIG_HOME="$profile" HOME="$profile" \
  "$root/scripts/with-xvfb.sh" "$build/bench/kavelo_mutant_walk_bench" "$build/bench/walk-mutants" \
  2>>"$log" | tee -a "$report" || status=$?
echo "load at end: $(uptime)"
if [ "$status" -ne 0 ]; then
  tail -20 "$log" >&2
  exit "$status"
fi
