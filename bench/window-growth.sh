#!/usr/bin/env bash
# The main window's memory over Stop/Play cycles as a user makes them (Ctrl+S, Ctrl+P), run
# under with-xvfb.sh --wm by bench/run.sh:
#   bench/window-growth.sh KAVELO DISC_DIR [CYCLES]
# Each Play counts once the program has spent 0.3 s of processor time playing (within 5 s);
# a Play that does not is a failure. Prints one row of the bench's table.
set -euo pipefail
program=$1
disc=$2
cycles=${3:-20}
cd "$disc"
"$program" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  xdotool search --pid "$pid" --onlyvisible >/dev/null 2>&1 && break
  sleep 0.1
done
window=$(xdotool search --pid "$pid" --onlyvisible | head -1)
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
rss() { awk '/VmRSS/{print $2}' "/proc/$pid/status"; }
hz=$(getconf CLK_TCK)
failures=0
play() {
  local before deadline
  before=$(ticks)
  xdotool key ctrl+p
  deadline=$((SECONDS + 5))
  while [ $(($(ticks) - before)) -lt $((hz * 3 / 10)) ]; do
    if [ $SECONDS -ge $deadline ]; then
      failures=$((failures + 1))
      return
    fi
    sleep 0.05
  done
}
# Both measures are taken with a title playing for a second and a half, its pictures and
# sound under way.
play
sleep 1.5
first=$(rss)
for _ in $(seq "$cycles"); do
  xdotool key ctrl+s
  sleep 0.3
  play
done
sleep 1.5
last=$(rss)
growth=$(awk -v a="$first" -v b="$last" 'BEGIN { printf "%.1f", (b - a) / 1024 }')
result=PASS
if [ "$failures" -ne 0 ] || awk -v g="$growth" 'BEGIN { exit !(g > 15) }'; then result=FAIL; fi
printf '%-44s %-24s %-24s %-7s %-10s %s\n' \
  "memory growth, $cycles Stop/Play from the window" "$growth MiB ($failures failed)" \
  "$((first / 1024)) MiB at first Play" "-" "<= 15 MiB" "$result"
[ "$result" = PASS ]
