#!/usr/bin/env bash
# Authors a DVD-Video folder OUTDIR/VIDEO_TS shaped like a real film disc, for the benchmark:
#   one title of SECONDS (default 600) s, D1 720x576 PAL MPEG-2 at about 6 Mbit/s with a
#   moving, noisy picture, AC-3 stereo at 192 kbit/s, a chapter every 60 s.
# Every picture carries its frame number twice: as text for the eye ("F 1234  00:00:49.09")
# and as a strip of 17 blocks 40x32 at x = 24 + 40*k, y = 528 in the 720x576 picture:
# block 0 white, block 1 black, blocks 2..16 the frame number's bits 0..14 (white = 1).
# Skips the work when OUTDIR already holds a complete disc of the same length; prints the
# authoring time in seconds otherwise. Exits non-zero on failure.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 OUTDIR [SECONDS]" >&2
  exit 2
fi

out=$1
secs=${2:-600}
stamp="$out/.kavelo-realistic-disc"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$secs" ] && [ -s "$out/VIDEO_TS/VIDEO_TS.IFO" ] &&
  [ -s "$out/VIDEO_TS/VTS_01_0.IFO" ]; then
  exit 0
fi

. "$(dirname "$0")/disc-common.sh"
disc_begin "$out"
started=$(date +%s.%N)

# The frame-number strip: a black band, the white anchor, then one white box per set bit.
strip="drawbox=x=16:y=520:w=696:h=48:color=black:t=fill,drawbox=x=24:y=528:w=40:h=32:color=white:t=fill"
for bit in $(seq 0 14); do
  x=$((24 + 40 * (bit + 2)))
  strip="$strip,drawbox=x=$x:y=528:w=40:h=32:color=white:t=fill:enable='eq(mod(floor(n/$((1 << bit))),2),1)'"
done
label=$(disc_label 44 0.7 40 40 'F %{frame_num}  %{pts\:hms}')

chapters=0
for ((m = 1; m * 60 < secs; m++)); do
  chapters="$chapters,$((m / 60)):$(printf %02d $((m % 60))):00"
done

# One chapter tone per minute, so a listener hears where the chapters are.
disc_piece title testsrc2 "$secs" 0.2 "330+55*mod(floor(t/60)\\,8)" "noise=alls=14:allf=t,${label},${strip}" \
  -b:v 6000k -minrate 5000k -maxrate 8000k -bufsize 1835k -g 12 -c:a ac3 -b:a 192k

cat >"$work/disc.xml" <<EOF
<dvdauthor dest="$work/disc">
  <vmgm />
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <audio format="ac3" lang="en" />
      <pgc>
        <vob file="$work/title.mpg" chapters="$chapters" />
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
EOF
disc_author
echo "$secs" >"$stamp"
awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "realistic disc authored in %.0f s\n", b - a }'
